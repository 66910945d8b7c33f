// Type information built from member tables, the type library object, name lookup and the
// type-information-driven invoke that calls a member through its function-table slot.
#include "platform/OleAuto.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using quillax::ComPtr;

// ----- member model -----------------------------------------------------------------------

struct Param {
    std::u16string name;
    VARTYPE vt;
};

struct Member {
    std::u16string name;
    std::vector<Param> params;
    DISPID dispid;
    UINT slot;
    CALLCONV cc;
    WORD flags;
    VARTYPE vtReturn;

    // A property get returning a status hands its value back through its last parameter.
    bool HasRetval() const {
        return vtReturn == VT_HRESULT && (flags & DISPATCH_PROPERTYGET) && !params.empty() &&
               (params.back().vt & VT_BYREF);
    }
    UINT InputCount() const { return static_cast<UINT>(params.size()) - (HasRetval() ? 1 : 0); }
};

constexpr UINT kMaxParams = 8;

// Parameters must travel in integer registers: integers, strings, interfaces, pointers.
bool IsPassableByValue(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_BOOL:
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return true;
    default:
        return false;
    }
}

bool IsPassable(VARTYPE vt) {
    if (vt & VT_BYREF) {
        const VARTYPE base = vt & ~VT_BYREF;
        return IsPassableByValue(base) || base == VT_VARIANT || base == VT_R8;
    }
    return IsPassableByValue(vt) || vt == VT_R8;
}

// A double passed by value travels in a floating-point register: such a member is called with
// that one parameter alone (a property setter), never mixed with integer-class ones.
bool TakesOneDouble(const std::vector<Param>& params) {
    return params.size() == 1 && params[0].vt == VT_R8;
}

bool IsCallable(const std::vector<Param>& params) {
    return TakesOneDouble(params) ||
           std::none_of(params.begin(), params.end(), [](const Param& p) { return p.vt == VT_R8; });
}

char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

bool SameName(std::u16string_view a, const OLECHAR* b) {
    if (!b) return false;
    std::size_t i = 0;
    for (; i < a.size(); ++i)
        if (!b[i] || FoldCase(a[i]) != FoldCase(b[i])) return false;
    return b[i] == 0;
}

HRESULT HandString(const std::u16string& text, BSTR* out) {
    if (!out) return S_OK;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CopyMembers(const INTERFACEDATA& data, std::vector<Member>* members) {
    if (data.cMembers && !data.pmethdata) return E_INVALIDARG;
    try {
        for (UINT i = 0; i < data.cMembers; ++i) {
            const METHODDATA& m = data.pmethdata[i];
            if (!m.szName || m.cArgs > kMaxParams || (m.cArgs && !m.ppdata)) return E_INVALIDARG;
            if (m.vtReturn != VT_HRESULT && m.vtReturn != VT_VOID && m.vtReturn != VT_EMPTY)
                return E_INVALIDARG;
            Member member{m.szName, {}, m.dispid, m.iMeth, m.cc, m.wFlags, m.vtReturn};
            for (UINT p = 0; p < m.cArgs; ++p) {
                if (!IsPassable(m.ppdata[p].vt)) return E_INVALIDARG;
                member.params.push_back(
                    {m.ppdata[p].szName ? m.ppdata[p].szName : u"", m.ppdata[p].vt});
            }
            if (!IsCallable(member.params)) return E_INVALIDARG;
            members->push_back(std::move(member));
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// The members of an interface and of the interfaces it derives from, the most basic first.
HRESULT CopyInterfaceMembers(const quillax::InterfaceDescription& iface,
                             std::vector<Member>* members) {
    constexpr int kMaxDepth = 16; // a chain longer than this is a cycle
    std::vector<const quillax::InterfaceDescription*> chain;
    for (const auto* d = &iface; d != nullptr; d = d->base) {
        if (chain.size() == kMaxDepth) return E_INVALIDARG;
        chain.push_back(d);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (const HRESULT hr = CopyMembers((*it)->members, members); FAILED(hr)) return hr;
    }
    return S_OK;
}

// ----- invoke -------------------------------------------------------------------------------

using Word = std::intptr_t;

// Calls slot `slot` of the object's function table with integer-class arguments.
HRESULT CallSlot(void* self, UINT slot, const Word* a, std::size_t n) {
    void* fn = (*static_cast<void***>(self))[slot];
    switch (n) {
    case 0:
        return reinterpret_cast<HRESULT (*)(void*)>(fn)(self);
    case 1:
        return reinterpret_cast<HRESULT (*)(void*, Word)>(fn)(self, a[0]);
    case 2:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word)>(fn)(self, a[0], a[1]);
    case 3:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word, Word)>(fn)(self, a[0], a[1], a[2]);
    case 4:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word, Word, Word)>(fn)(self, a[0], a[1],
                                                                                a[2], a[3]);
    case 5:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word, Word, Word, Word)>(fn)(
            self, a[0], a[1], a[2], a[3], a[4]);
    case 6:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word, Word, Word, Word, Word)>(fn)(
            self, a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word, Word, Word, Word, Word, Word)>(fn)(
            self, a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    default:
        return reinterpret_cast<HRESULT (*)(void*, Word, Word, Word, Word, Word, Word, Word, Word)>(
            fn)(self, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    }
}

// Calls slot `slot` of the object's function table with one double.
HRESULT CallDoubleSlot(void* self, UINT slot, double value) {
    void* fn = (*static_cast<void***>(self))[slot];
    return reinterpret_cast<HRESULT (*)(void*, double)>(fn)(self, value);
}

// The integer-register form of a converted value.
Word WordOf(const VARIANT& v) {
    switch (v.vt) {
    case VT_I2:
        return v.iVal;
    case VT_BOOL:
        return v.boolVal;
    case VT_UI1:
        return v.bVal;
    case VT_I4:
    case VT_INT:
        return v.lVal;
    default:
        return reinterpret_cast<Word>(v.byref);
    }
}

// One parameter's argument as it is passed, and what must happen after the call.
struct Slot {
    VARIANT temp;                 // converted value or storage for an output
    VARIANT* writeBack = nullptr; // a byref VARIANT that receives the output afterwards
    Word word = 0;
    Slot() { VariantInit(&temp); }
    ~Slot() { VariantClear(&temp); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
};

// Prepares the argument `arg` for a parameter of type `vt`.
HRESULT PrepareArgument(VARIANT* arg, VARTYPE vt, Slot* slot) {
    if (!(vt & VT_BYREF)) {
        const HRESULT hr = VariantChangeType(&slot->temp, arg, 0, vt);
        if (FAILED(hr)) return hr;
        slot->word = WordOf(slot->temp);
        return S_OK;
    }
    const VARTYPE base = vt & ~VT_BYREF;
    if (arg->vt == vt) { // exactly the parameter's type: the caller's storage
        slot->word = reinterpret_cast<Word>(arg->byref);
        return S_OK;
    }
    if (base == VT_VARIANT) {
        slot->word = reinterpret_cast<Word>(arg);
        return S_OK;
    }
    VARIANT* target = nullptr;
    if (arg->vt == (VT_VARIANT | VT_BYREF)) {
        target = arg->pvarVal;
        if (target && target->vt == vt) {
            slot->word = reinterpret_cast<Word>(target->byref);
            return S_OK;
        }
        slot->writeBack = target;
    }
    // A value to start from: the argument's own, converted; strings and interfaces start
    // empty so that an output written by the member is never mixed with an input.
    slot->temp.vt = base;
    if (base != VT_BSTR && base != VT_UNKNOWN && base != VT_DISPATCH) {
        VARIANT converted;
        VariantInit(&converted);
        const HRESULT hr = VariantChangeType(&converted, target ? target : arg, 0, base);
        if (FAILED(hr) && !target) return hr;
        if (SUCCEEDED(hr)) slot->temp = converted;
    }
    slot->word = reinterpret_cast<Word>(&slot->temp.llVal);
    return S_OK;
}

void FillException(HRESULT failure, EXCEPINFO* info) {
    std::memset(info, 0, sizeof *info);
    info->scode = failure;
    ComPtr<IErrorInfo> record;
    if (GetErrorInfo(0, record.GetAddressOf()) != S_OK || !record) return;
    record->GetSource(&info->bstrSource);
    record->GetDescription(&info->bstrDescription);
    record->GetHelpFile(&info->bstrHelpFile);
    record->GetHelpContext(&info->dwHelpContext);
}

HRESULT InvokeMember(const Member& m, void* self, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* excep, UINT* argErr) {
    const UINT inputs = m.InputCount();
    if (params->cArgs > inputs) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs) ||
        (params->cArgs && !params->rgvarg))
        return E_INVALIDARG;

    // Which argument (index into rgvarg) goes to which parameter.
    std::vector<int> source(inputs, -1);
    const UINT positional = params->cArgs - params->cNamedArgs;
    for (UINT i = 0; i < positional; ++i)
        source[i] = static_cast<int>(params->cArgs - 1 - i);
    for (UINT j = 0; j < params->cNamedArgs; ++j) {
        const DISPID id = params->rgdispidNamedArgs[j];
        UINT target = inputs;
        if (id == DISPID_PROPERTYPUT && (m.flags & DISPATCH_PROPERTYPUT) && inputs > 0)
            target = inputs - 1;
        else if (id >= 0 && static_cast<UINT>(id) < inputs)
            target = static_cast<UINT>(id);
        if (target >= inputs || source[target] >= 0) {
            if (argErr) *argErr = j;
            return DISP_E_PARAMNOTFOUND;
        }
        source[target] = static_cast<int>(j);
    }
    for (UINT i = 0; i < inputs; ++i)
        if (source[i] < 0) return DISP_E_BADPARAMCOUNT;

    std::vector<Slot> slots(m.params.size());
    std::vector<Word> words(m.params.size());
    for (UINT i = 0; i < inputs; ++i) {
        VARIANT* arg = &params->rgvarg[source[i]];
        if (arg->vt == VT_ERROR && arg->scode == DISP_E_PARAMNOTFOUND) {
            if (argErr) *argErr = static_cast<UINT>(source[i]);
            return DISP_E_PARAMNOTOPTIONAL;
        }
        const HRESULT hr = PrepareArgument(arg, m.params[i].vt, &slots[i]);
        if (FAILED(hr)) {
            if (argErr) *argErr = static_cast<UINT>(source[i]);
            return hr;
        }
        words[i] = slots[i].word;
    }
    VARIANT* retval = nullptr;
    if (m.HasRetval()) {
        retval = &slots.back().temp;
        retval->vt = m.params.back().vt & ~VT_BYREF;
        words.back() = reinterpret_cast<Word>(&retval->llVal);
    }

    HRESULT status = S_OK;
    try {
        if (TakesOneDouble(m.params))
            status = CallDoubleSlot(self, m.slot, slots[0].temp.dblVal);
        else
            status = CallSlot(self, m.slot, words.data(), words.size());
    } catch (...) {
        status = E_UNEXPECTED; // members must not throw; never let it cross this frame
    }
    if (m.vtReturn != VT_HRESULT) status = S_OK;

    // Outputs written by the member go back into the caller's variants, success or not.
    for (Slot& slot : slots) {
        if (!slot.writeBack) continue;
        if (SUCCEEDED(VariantClear(slot.writeBack))) {
            *slot.writeBack = slot.temp;
            VariantInit(&slot.temp);
        }
    }
    if (FAILED(status)) {
        if (excep) FillException(status, excep);
        return DISP_E_EXCEPTION;
    }
    if (retval && result && SUCCEEDED(VariantClear(result))) {
        *result = *retval;
        VariantInit(retval);
    }
    return S_OK;
}

// ----- type information objects ---------------------------------------------------------

class TypeLib;

class TypeInfo final : public ITypeInfo {
public:
    struct Attributes {
        TYPEKIND kind;
        GUID guid;
        WORD major, minor, flags;
        LCID lcid;
        std::u16string name, help;
    };

    TypeInfo(TypeLib* owner, UINT index, Attributes attributes, std::vector<Member> members)
        : owner_(owner), index_(index), attr_(std::move(attributes)), members_(std::move(members)) {
    }

    void SetDefaultInterface(TypeInfo* iface) { defaultInterface_ = iface; }
    const Attributes& Attr() const { return attr_; }
    bool HasName(const OLECHAR* name) const {
        if (SameName(attr_.name, name)) return true;
        for (const Member& m : members_)
            if (SameName(m.name, name)) return true;
        return false;
    }

    // IUnknown: a type library's entries share its reference count.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
            *ppv = static_cast<ITypeInfo*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override {
        if (!ppTypeAttr) return E_INVALIDARG;
        auto* a = static_cast<TYPEATTR*>(std::calloc(1, sizeof(TYPEATTR)));
        if (!a) return E_OUTOFMEMORY;
        a->guid = attr_.guid;
        a->lcid = attr_.lcid;
        a->memidConstructor = MEMBERID_NIL;
        a->memidDestructor = MEMBERID_NIL;
        a->typekind = attr_.kind;
        a->cFuncs = static_cast<WORD>(members_.size());
        a->cImplTypes = defaultInterface_ ? 1 : 0;
        UINT slots = attr_.kind == TKIND_COCLASS ? 0 : 7;
        for (const Member& m : members_)
            slots = std::max(slots, m.slot + 1);
        a->cbSizeVft = static_cast<WORD>(slots * sizeof(void*));
        a->cbAlignment = alignof(void*);
        a->cbSizeInstance = sizeof(void*);
        a->wTypeFlags = attr_.flags;
        a->wMajorVerNum = attr_.major;
        a->wMinorVerNum = attr_.minor;
        *ppTypeAttr = a;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** ppVarDesc) override {
        if (ppVarDesc) *ppVarDesc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                       UINT* pcNames) override {
        if (!rgBstrNames || !pcNames) return E_INVALIDARG;
        *pcNames = 0;
        const Member* m = Find(memid);
        if (!m) return TYPE_E_ELEMENTNOTFOUND;
        std::vector<const std::u16string*> names{&m->name};
        for (const Param& p : m->params)
            if (!p.name.empty()) names.push_back(&p.name);
        for (UINT i = 0; i < names.size() && i < cMaxNames; ++i) {
            if (FAILED(HandString(*names[i], &rgBstrNames[i]))) {
                for (UINT k = 0; k < i; ++k)
                    SysFreeString(rgBstrNames[k]);
                return E_OUTOFMEMORY;
            }
            *pcNames = i + 1;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override {
        if (!pRefType) return E_INVALIDARG;
        if (!defaultInterface_ || index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *pRefType = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
        if (!pImplTypeFlags) return E_INVALIDARG;
        if (!defaultInterface_ || index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *pImplTypeFlags = IMPLTYPEFLAG_FDEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                            MEMBERID* pMemId) override {
        if (!rgszNames || !pMemId) return E_INVALIDARG;
        for (UINT i = 0; i < cNames; ++i)
            pMemId[i] = DISPID_UNKNOWN;
        if (cNames == 0) return S_OK;
        std::vector<const Member*> matches;
        for (const Member& m : members_)
            if (SameName(m.name, rgszNames[0])) matches.push_back(&m);
        if (matches.empty()) return DISP_E_UNKNOWNNAME;
        pMemId[0] = matches.front()->dispid;
        HRESULT hr = S_OK;
        for (UINT i = 1; i < cNames; ++i) {
            for (const Member* m : matches)
                for (std::size_t p = 0; p < m->params.size() && pMemId[i] == DISPID_UNKNOWN; ++p)
                    if (!m->params[p].name.empty() && SameName(m->params[p].name, rgszNames[i]))
                        pMemId[i] = static_cast<MEMBERID>(p);
            if (pMemId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!pvInstance || !pDispParams) return E_INVALIDARG;
        bool known = false;
        for (const Member& m : members_) {
            if (m.dispid != memid) continue;
            known = true;
            if (m.flags & wFlags)
                return InvokeMember(m, pvInstance, pDispParams, pVarResult, pExcepInfo, puArgErr);
        }
        (void)known;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName,
                                               BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        const std::u16string* name = &attr_.name;
        const std::u16string* help = &attr_.help;
        static const std::u16string kNone;
        if (memid != MEMBERID_NIL) {
            const Member* m = Find(memid);
            if (!m) return TYPE_E_ELEMENTNOTFOUND;
            name = &m->name;
            help = &kNone;
        }
        if (pdwHelpContext) *pdwHelpContext = 0;
        if (pBstrHelpFile) *pBstrHelpFile = nullptr;
        if (pBstrDocString) *pBstrDocString = nullptr;
        if (FAILED(HandString(*name, pBstrName))) return E_OUTOFMEMORY;
        if (!help->empty() && FAILED(HandString(*help, pBstrDocString))) {
            if (pBstrName) SysFreeString(*pBstrName);
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (hRefType != 1 || !defaultInterface_) return TYPE_E_ELEMENTNOTFOUND;
        *ppTInfo = defaultInterface_;
        defaultInterface_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override {
        if (ppvObj) *ppvObj = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* pBstrMops) override {
        if (pBstrMops) *pBstrMops = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { std::free(pTypeAttr); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override { std::free(pFuncDesc); }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

private:
    friend class TypeLib;
    ~TypeInfo() = default;

    const Member* Find(MEMBERID memid) const {
        for (const Member& m : members_)
            if (m.dispid == memid) return &m;
        return nullptr;
    }

    TypeLib* owner_;
    UINT index_;
    std::atomic<ULONG> refs_{1}; // used only without an owning library
    Attributes attr_;
    std::vector<Member> members_;
    TypeInfo* defaultInterface_ = nullptr;
};

// FUNCDESC, its parameter descriptions and their pointee descriptions in one block.
HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
    if (!ppFuncDesc) return E_INVALIDARG;
    *ppFuncDesc = nullptr;
    if (index >= members_.size()) return TYPE_E_ELEMENTNOTFOUND;
    const Member& m = members_[index];
    const std::size_t n = m.params.size();
    const std::size_t bytes = sizeof(FUNCDESC) + n * (sizeof(ELEMDESC) + sizeof(TYPEDESC));
    auto* block = static_cast<unsigned char*>(std::calloc(1, bytes));
    if (!block) return E_OUTOFMEMORY;
    auto* fd = reinterpret_cast<FUNCDESC*>(block);
    auto* elems = reinterpret_cast<ELEMDESC*>(block + sizeof(FUNCDESC));
    auto* pointees = reinterpret_cast<TYPEDESC*>(block + sizeof(FUNCDESC) + n * sizeof(ELEMDESC));
    fd->memid = m.dispid;
    fd->lprgelemdescParam = n ? elems : nullptr;
    fd->funckind = FUNC_PUREVIRTUAL;
    fd->invkind = static_cast<INVOKEKIND>(m.flags & 0xF);
    fd->callconv = m.cc;
    fd->cParams = static_cast<SHORT>(n);
    fd->oVft = static_cast<SHORT>(m.slot * sizeof(void*));
    fd->elemdescFunc.tdesc.vt = m.vtReturn;
    for (std::size_t i = 0; i < n; ++i) {
        const VARTYPE vt = m.params[i].vt;
        if (vt & VT_BYREF) {
            pointees[i].vt = vt & ~VT_BYREF;
            elems[i].tdesc.vt = VT_PTR;
            elems[i].tdesc.lptdesc = &pointees[i];
            elems[i].paramdesc.wParamFlags = PARAMFLAG_FOUT;
            if (m.HasRetval() && i + 1 == n) elems[i].paramdesc.wParamFlags |= PARAMFLAG_FRETVAL;
        } else {
            elems[i].tdesc.vt = vt;
            elems[i].paramdesc.wParamFlags = PARAMFLAG_FIN;
        }
    }
    *ppFuncDesc = fd;
    return S_OK;
}

class TypeLib final : public ITypeLib {
public:
    explicit TypeLib(const quillax::TypeLibDescription& d)
        : name_(d.name ? d.name : u""), help_(d.helpString ? d.helpString : u"") {
        attr_.guid = d.libid;
        attr_.lcid = d.lcid;
        attr_.syskind = d.syskind;
        attr_.wMajorVerNum = d.majorVersion;
        attr_.wMinorVerNum = d.minorVersion;
    }
    ~TypeLib() {
        for (TypeInfo* t : entries_)
            delete t;
    }

    HRESULT Build(const quillax::TypeLibDescription& d) {
        try {
            for (UINT i = 0; i < d.interfaceCount; ++i) {
                const quillax::InterfaceDescription& iface = *d.interfaces[i];
                std::vector<Member> members;
                const HRESULT hr = CopyInterfaceMembers(iface, &members);
                if (FAILED(hr)) return hr;
                const bool dispatch = iface.typeFlags & TYPEFLAG_FDISPATCHABLE;
                Add(TypeInfo::Attributes{dispatch ? TKIND_DISPATCH : TKIND_INTERFACE, iface.iid,
                                         iface.majorVersion, iface.minorVersion, iface.typeFlags,
                                         d.lcid, Text(iface.name), Text(iface.helpString)},
                    std::move(members));
            }
            for (UINT i = 0; i < d.coclassCount; ++i) {
                const quillax::CoClassDescription& cls = *d.coclasses[i];
                TypeInfo* info =
                    Add(TypeInfo::Attributes{TKIND_COCLASS, cls.clsid, cls.majorVersion,
                                             cls.minorVersion, cls.typeFlags, d.lcid,
                                             Text(cls.name), Text(cls.helpString)},
                        {});
                if (cls.defaultInterface) {
                    TypeInfo* iface = FindGuid(cls.defaultInterface->iid);
                    if (!iface) return E_INVALIDARG;
                    info->SetDefaultInterface(iface);
                }
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            *ppv = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override {
        return static_cast<UINT>(entries_.size());
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (index >= entries_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *ppTInfo = entries_[index];
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (!pTKind) return E_INVALIDARG;
        if (index >= entries_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = entries_[index]->Attr().kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
        if (!ppTinfo) return E_INVALIDARG;
        *ppTinfo = FindGuid(guid);
        if (!*ppTinfo) return TYPE_E_ELEMENTNOTFOUND;
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (!ppTLibAttr) return E_INVALIDARG;
        auto* a = static_cast<TLIBATTR*>(std::malloc(sizeof(TLIBATTR)));
        if (!a) return E_OUTOFMEMORY;
        *a = attr_;
        *ppTLibAttr = a;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        if (index == -1) {
            if (pdwHelpContext) *pdwHelpContext = 0;
            if (pBstrHelpFile) *pBstrHelpFile = nullptr;
            if (pBstrDocString) *pBstrDocString = nullptr;
            if (FAILED(HandString(name_, pBstrName))) return E_OUTOFMEMORY;
            if (FAILED(HandString(help_, pBstrDocString))) {
                if (pBstrName) SysFreeString(*pBstrName);
                return E_OUTOFMEMORY;
            }
            return S_OK;
        }
        if (index < 0 || static_cast<std::size_t>(index) >= entries_.size())
            return TYPE_E_ELEMENTNOTFOUND;
        return entries_[index]->GetDocumentation(MEMBERID_NIL, pBstrName, pBstrDocString,
                                                 pdwHelpContext, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override {
        if (!szNameBuf || !pfName) return E_INVALIDARG;
        *pfName = FALSE;
        for (const TypeInfo* t : entries_)
            if (t->HasName(szNameBuf)) *pfName = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*,
                                       USHORT* pcFound) override {
        if (pcFound) *pcFound = 0;
        return E_NOTIMPL;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { std::free(pTLibAttr); }

    UINT IndexOf(const TypeInfo* t) const { return t->index_; }

private:
    static std::u16string Text(const OLECHAR* s) { return s ? s : u""; }
    TypeInfo* Add(TypeInfo::Attributes attributes, std::vector<Member> members) {
        entries_.reserve(entries_.size() + 1);
        auto* info = new TypeInfo(this, static_cast<UINT>(entries_.size()), std::move(attributes),
                                  std::move(members));
        entries_.push_back(info);
        return info;
    }
    TypeInfo* FindGuid(REFGUID guid) const {
        for (TypeInfo* t : entries_)
            if (t->Attr().guid == guid) return t;
        return nullptr;
    }

    std::atomic<ULONG> refs_{1};
    std::u16string name_, help_;
    TLIBATTR attr_{};
    std::vector<TypeInfo*> entries_;
};

ULONG TypeInfo::AddRef() {
    return owner_ ? owner_->AddRef() : ++refs_;
}

ULONG TypeInfo::Release() {
    if (owner_) return owner_->Release();
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
    if (!owner_) {
        if (ppTLib) *ppTLib = nullptr;
        return E_NOTIMPL;
    }
    if (ppTLib) {
        *ppTLib = owner_;
        owner_->AddRef();
    }
    if (pIndex) *pIndex = index_;
    return S_OK;
}

} // namespace

HRESULT CreateDispTypeInfo(INTERFACEDATA* pidata, LCID lcid, ITypeInfo** pptinfo) {
    if (!pidata || !pptinfo) return E_INVALIDARG;
    *pptinfo = nullptr;
    std::vector<Member> members;
    HRESULT hr = CopyMembers(*pidata, &members);
    if (FAILED(hr)) return hr;
    auto* info = new (std::nothrow) TypeInfo(
        nullptr, 0, {TKIND_INTERFACE, GUID_NULL, 0, 0, 0, lcid, u"", u""}, std::move(members));
    if (!info) return E_OUTOFMEMORY;
    *pptinfo = info;
    return S_OK;
}

HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, OLECHAR** rgszNames, UINT cNames, DISPID* rgdispid) {
    if (!ptinfo) return E_INVALIDARG;
    return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                   DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                   UINT* puArgErr) {
    if (!ptinfo) return E_INVALIDARG;
    return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}

HRESULT quillax::CreateTypeLibFromDescription(const TypeLibDescription& description,
                                              ITypeLib** pptlib) {
    if (!pptlib) return E_INVALIDARG;
    *pptlib = nullptr;
    if ((description.interfaceCount && !description.interfaces) ||
        (description.coclassCount && !description.coclasses))
        return E_INVALIDARG;
    auto* lib = new (std::nothrow) TypeLib(description);
    if (!lib) return E_OUTOFMEMORY;
    const HRESULT hr = lib->Build(description);
    if (FAILED(hr)) {
        lib->Release();
        return hr;
    }
    *pptlib = lib;
    return S_OK;
}
