// The C API: each call turns the binding page's exceptions into a return code and a message
// that the caller reads with quillax_message. Nothing is thrown across it.
#include "bindings/capi/quillax.h"

#include "bindings/capi/BindingPage.h"

#include <cstdlib>
#include <cstring>
#include <new>

struct quillax_barcode {
    quillax::binding::TBindingPage Page;
    std::string Message;
};

namespace {

using namespace quillax;

// Why this thread's last quillax_create failed.
thread_local std::string createFailure;

// Runs call, records its failure as the barcode's message and gives its return code.
template <class Call>
int Guarded(std::string& message, Call call) noexcept {
    try {
        message.clear();
        return call();
    } catch (const host::EUnknownProperty& e) {
        message = e.what();
        return QUILLAX_E_PROPERTY;
    } catch (const host::EUsageError& e) {
        message = e.what();
        return QUILLAX_E_VALUE;
    } catch (const std::bad_alloc&) {
        message = "out of memory";
        return QUILLAX_E_FAILED;
    } catch (const std::exception& e) {
        message = e.what();
        return QUILLAX_E_FAILED;
    } catch (...) {
        message = "unknown failure";
        return QUILLAX_E_FAILED;
    }
}

void Empty(quillax_image* image) {
    image->data = nullptr;
    image->size = 0;
    image->content_type = nullptr;
}

// The image handed over as one block: the bytes, then the content type with its NUL, so
// that one free releases both.
int HandOver(binding::TRenderedImage& rendered, quillax_image* out) {
    const std::size_t size = rendered.Bytes.size();
    const std::size_t typeSize = rendered.ContentType.size() + 1;
    auto* block = static_cast<unsigned char*>(std::malloc(size + typeSize));
    if (block == nullptr) throw std::bad_alloc();
    if (size != 0) std::memcpy(block, rendered.Bytes.data(), size);
    std::memcpy(block + size, rendered.ContentType.c_str(), typeSize);
    out->data = block;
    out->size = size;
    out->content_type = reinterpret_cast<const char*>(block + size);
    return static_cast<int>(rendered.Step);
}

} // namespace

extern "C" {

quillax_barcode* quillax_create(void) {
    std::string failure;
    quillax_barcode* barcode = nullptr;
    Guarded(failure, [&] {
        barcode = new quillax_barcode{};
        return QUILLAX_OK;
    });
    try {
        createFailure = std::move(failure);
    } catch (...) {
    }
    return barcode;
}

int quillax_set(quillax_barcode* barcode, const char* name, const char* value) {
    if (barcode == nullptr) return QUILLAX_E_ARGUMENT;
    return Guarded(barcode->Message, [&] {
        if (name == nullptr || value == nullptr) {
            barcode->Message = "quillax_set: the name and the value must not be NULL";
            return QUILLAX_E_ARGUMENT;
        }
        barcode->Page.Set(name, value);
        return QUILLAX_OK;
    });
}

int quillax_render(quillax_barcode* barcode, quillax_image* out) {
    if (out != nullptr) Empty(out);
    if (barcode == nullptr) return QUILLAX_E_ARGUMENT;
    return Guarded(barcode->Message, [&] {
        if (out == nullptr) {
            barcode->Message = "quillax_render: the image must not be NULL";
            return QUILLAX_E_ARGUMENT;
        }
        binding::TRenderedImage rendered = barcode->Page.Render();
        const int step = HandOver(rendered, out);
        barcode->Message = std::move(rendered.Message);
        return step;
    });
}

const char* quillax_message(const quillax_barcode* barcode) {
    return barcode != nullptr ? barcode->Message.c_str() : createFailure.c_str();
}

void quillax_image_free(quillax_image* image) {
    if (image == nullptr) return;
    std::free(image->data);
    Empty(image);
}

void quillax_destroy(quillax_barcode* barcode) {
    delete barcode;
}

} // extern "C"
