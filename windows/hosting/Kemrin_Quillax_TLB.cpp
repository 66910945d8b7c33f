// The type library of the component: the compiled library (Kemrin_Quillax.idl) that the
// component's own file carries as its type library resource 1, loaded by the platform.
#include "hosting/Kemrin_Quillax_TLB.h"

#include "hosting/ComServ.h"
#include "platform/AnsiCodePage.h"

namespace quillax {

HRESULT LoadKemrin_QuillaxTypeLib(ITypeLib** pptlib) {
    if (pptlib == nullptr) return E_POINTER;
    *pptlib = nullptr;
    try {
        // Loading from the file itself finds the first type library resource.
        const OleString path = AnsiToWide(ComServer().GetServerFileName());
        return LoadTypeLibEx(path.c_str(), REGKIND_NONE, pptlib);
    } catch (const std::exception&) {
        return E_UNEXPECTED;
    }
}

} // namespace quillax
