// The class factory of Quillax, made when the library is loaded: it enters itself in the
// server's list and lives until the library is unloaded.
#include "object/UQuillax.h"

#include <memory>

namespace quillax {

namespace {

TComObject* CreateQuillax() {
    return new TQuillax;
}

// A class that does not match the type library leaves no factory: the class is then not
// available, and the server keeps the reason.
std::unique_ptr<TAutoObjectFactory> MakeQuillaxFactory() {
    try {
        return std::make_unique<TAutoObjectFactory>(
            ComServer(), &CreateQuillax, CLSID_Quillax, TClassInstancing::ciMultiInstance,
            TThreadingModel::tmBoth, "TQuillax", IID_IQuillax2);
    } catch (const std::exception& e) {
        ComServer().SetLoadError(e.what());
        return nullptr;
    }
}

const std::unique_ptr<TAutoObjectFactory> QuillaxFactory = MakeQuillaxFactory();

} // namespace

} // namespace quillax
