// The failed-status check and the owned BSTR, over the platform's error records and BSTRs.
#include "platform/AnsiCodePage.h"
#include "platform/OleAuto.h"
#include "platform/SysUtils.h"

#include <cstdio>
#include <new>

quillax::BStr::BStr(const OLECHAR* text) : s_(SysAllocString(text)) {
    if (text && !s_) throw std::bad_alloc();
}

void quillax::OleCheck(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    std::string message;
    ComPtr<IErrorInfo> record;
    if (GetErrorInfo(0, record.GetAddressOf()) == S_OK && record) {
        BStr description;
        if (SUCCEEDED(record->GetDescription(description.ReleaseAndGetAddressOf())))
            message = BstrToAnsi(description.Get());
    }
    if (message.empty()) message = SysErrorMessage(hr);
    if (message.empty()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "OLE error %.8x", static_cast<unsigned>(hr));
        message = buffer;
    }
    throw EOleSysError(message, hr);
}
