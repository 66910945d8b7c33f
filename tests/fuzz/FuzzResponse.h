// The Response of DispatchFuzz's pages: it records what ShowBarcode sends, may fail any one
// call, and checks what a ShowBarcode that returned a status must have sent.
#pragma once

#include "FuzzObject.h"

#include "apps/page/ComponentHost.h"

#include <string>

namespace quillax::fuzz {

// A page's Response: records every call, and fails the call numbered failAt (from 1) with
// failure, as a host whose client went away would.
class TFuzzResponse final : public host::TResponseSink {
public:
    TFuzzResponse(int failAt, HRESULT failure) : failAt_(failAt), failure_(failure) {}

    HRESULT Expires(LONG) override { return Next(); }
    HRESULT AddHeader(const std::string& name, const std::string& value) override {
        if (name == "Content-Length") contentLength_ = value;
        return Next();
    }
    HRESULT ContentType(const std::string& type) override {
        contentType_ = type;
        return Next();
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        written_ += bytes.size();
        return Next();
    }
    HRESULT Flush() override { return Next(); }

    // Starts a new ShowBarcode call.
    void Begin() {
        calls_ = 0, written_ = 0, failed_ = false;
        contentLength_.clear(), contentType_.clear();
    }
    // What a ShowBarcode that returned hr (through Invoke, with the exception's scode)
    // must have done to this Response.
    void Check(HRESULT hr, const EXCEPINFO* info) const {
        if (failed_) {
            if (hr != DISP_E_EXCEPTION)
                Fail("DispatchFuzz", "a failed Response call did not fail ShowBarcode", hr);
            if (info && info->scode != failure_)
                Fail("DispatchFuzz", "ShowBarcode lost the host's status", hr);
        } else if (hr == S_OK && calls_ > 0) {
            if (contentLength_ != std::to_string(written_))
                Fail("DispatchFuzz", "Content-Length differs from the bytes written",
                     long(written_));
            if (contentType_ != "image/bmp" && contentType_ != "image/png" &&
                contentType_ != "image/jpeg" && contentType_ != "image/svg+xml")
                Fail("DispatchFuzz", "unknown content type");
        }
    }

private:
    HRESULT Next() {
        if (++calls_ != failAt_) return S_OK;
        failed_ = true;
        return failure_;
    }
    int failAt_;
    HRESULT failure_;
    int calls_ = 0;
    std::size_t written_ = 0;
    bool failed_ = false;
    std::string contentLength_, contentType_;
};

} // namespace quillax::fuzz
