// VARIANT life cycle (init, clear, copy) and type changes.
#include "platform/OleAuto.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

bool IsValidBaseType(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_VARIANT:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

// A non-owning view of the value a byref variant points at (one level; a byref VARIANT
// is followed to the variant it names, and on to a byref value there, but never to another
// byref VARIANT, which could name the first and so make a loop).
bool Dereference(const VARIANT& src, VARIANT* view) {
    VariantInit(view);
    if (!(src.vt & VT_BYREF)) {
        *view = src;
        return true;
    }
    if (!src.byref) return false;
    const VARTYPE base = src.vt & ~VT_BYREF;
    view->vt = base;
    if (base & VT_ARRAY) {
        view->parray = *src.pparray;
        return true;
    }
    switch (base) {
    case VT_VARIANT:
        if (src.pvarVal->vt == (VT_VARIANT | VT_BYREF)) return false;
        if (src.pvarVal->vt & VT_BYREF) return Dereference(*src.pvarVal, view);
        *view = *src.pvarVal;
        return true;
    case VT_I1:
    case VT_UI1:
        view->bVal = *src.pbVal;
        return true;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        view->iVal = *src.piVal;
        return true;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
        view->lVal = *src.plVal;
        return true;
    case VT_R8:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
    case VT_CY:
        view->llVal = *reinterpret_cast<const LONGLONG*>(src.byref);
        return true;
    case VT_BSTR:
        view->bstrVal = *src.pbstrVal;
        return true;
    case VT_UNKNOWN:
        view->punkVal = *src.ppunkVal;
        return true;
    case VT_DISPATCH:
        view->pdispVal = *src.ppdispVal;
        return true;
    default:
        return false;
    }
}

// ----- numbers ---------------------------------------------------------------------------

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// Text to a number: optional sign, digits with an optional fraction and exponent, or &H
// (hexadecimal) / &O (octal) integers; spaces around are allowed. nullopt: not a number;
// an infinite result: out of range.
std::optional<double> ParseNumber(std::u16string_view text) {
    text = Trim(text);
    if (text.empty()) return std::nullopt;
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7F) return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    if (ascii.size() > 2 && ascii[0] == '&' &&
        (ascii[1] == 'H' || ascii[1] == 'h' || ascii[1] == 'O' || ascii[1] == 'o')) {
        const int base = (ascii[1] == 'H' || ascii[1] == 'h') ? 16 : 8;
        std::uint64_t value = 0;
        const char* first = ascii.data() + 2;
        const char* last = ascii.data() + ascii.size();
        auto [end, ec] = std::from_chars(first, last, value, base);
        if (end != last) return std::nullopt;
        if (ec == std::errc::result_out_of_range || value > 0xFFFFFFFFu)
            return std::numeric_limits<double>::infinity();
        // Hexadecimal literals are 32-bit patterns: &HFFFFFFFF is -1.
        if (value > 0xFFFF && value <= 0xFFFFFFFFu)
            return static_cast<double>(
                static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
        return static_cast<double>(value);
    }
    std::size_t pos = 0;
    bool negative = false;
    if (ascii[pos] == '+' || ascii[pos] == '-') negative = ascii[pos++] == '-';
    // Validate the grammar ourselves: from_chars would also take "inf" and "nan".
    const std::size_t start = pos;
    std::size_t digits = 0;
    while (pos < ascii.size() && IsDigit(ascii[pos]))
        ++pos, ++digits;
    if (pos < ascii.size() && ascii[pos] == '.') {
        ++pos;
        while (pos < ascii.size() && IsDigit(ascii[pos]))
            ++pos, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (pos < ascii.size() && (ascii[pos] == 'e' || ascii[pos] == 'E')) {
        ++pos;
        if (pos < ascii.size() && (ascii[pos] == '+' || ascii[pos] == '-')) ++pos;
        std::size_t expDigits = 0;
        while (pos < ascii.size() && IsDigit(ascii[pos]))
            ++pos, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (pos != ascii.size()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(ascii.data() + start, ascii.data() + pos, value);
    if (ec == std::errc::result_out_of_range) {
        // Too large is out of range; too small (a negative exponent) is simply zero.
        const auto e = ascii.find_first_of("eE");
        if (e != std::string::npos && ascii[e + 1] == '-') return 0.0;
        return std::numeric_limits<double>::infinity();
    }
    if (end != ascii.data() + pos) return std::nullopt;
    return negative ? -value : value;
}

// Rounds to nearest, halves to even, and checks the range of the target.
HRESULT ToInteger(double value, double lo, double hi, LONGLONG* out) {
    if (std::isnan(value)) return DISP_E_OVERFLOW;
    const double rounded = std::nearbyint(value);
    if (!(rounded >= lo && rounded <= hi)) return DISP_E_OVERFLOW;
    *out = static_cast<LONGLONG>(rounded);
    return S_OK;
}

std::u16string Widen(const std::string& s) {
    return {s.begin(), s.end()};
}

std::u16string FormatDouble(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    return Widen(buffer);
}

// ----- the conversion ---------------------------------------------------------------------

// What a (non-byref) source holds, reduced to one of three kinds.
struct Scalar {
    enum Kind { Number, Text, Object } kind = Number;
    double number = 0;
    bool isBool = false;
    std::u16string_view text;
};

HRESULT ScalarOf(const VARIANT& v, Scalar* s) {
    switch (v.vt) {
    case VT_EMPTY:
        s->number = 0;
        return S_OK;
    case VT_I1:
        s->number = static_cast<signed char>(v.cVal);
        return S_OK;
    case VT_UI1:
        s->number = v.bVal;
        return S_OK;
    case VT_I2:
        s->number = v.iVal;
        return S_OK;
    case VT_UI2:
        s->number = v.uiVal;
        return S_OK;
    case VT_I4:
        s->number = v.lVal;
        return S_OK;
    case VT_INT:
        s->number = v.intVal;
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        s->number = v.ulVal;
        return S_OK;
    case VT_R4:
        s->number = v.fltVal;
        return S_OK;
    case VT_R8:
    case VT_DATE:
        s->number = v.dblVal;
        return S_OK;
    case VT_I8:
        s->number = static_cast<double>(v.llVal);
        return S_OK;
    case VT_BOOL:
        s->number = v.boolVal ? -1 : 0;
        s->isBool = true;
        return S_OK;
    case VT_BSTR:
        s->kind = Scalar::Text;
        s->text = std::u16string_view(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal));
        return S_OK;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        s->kind = Scalar::Object;
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// The default value of an automation object (its DISPID_VALUE property).
HRESULT DefaultValue(IDispatch* disp, VARIANT* out) {
    if (!disp) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(out);
    const HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
    if (FAILED(hr)) {
        VariantClear(out);
        return DISP_E_TYPEMISMATCH;
    }
    if (out->vt == VT_DISPATCH || out->vt == VT_UNKNOWN) {
        VariantClear(out);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT ConvertInterface(const VARIANT& src, VARTYPE vt, VARIANT* result) {
    IUnknown* unk = src.vt == VT_EMPTY ? nullptr : src.punkVal;
    result->vt = vt;
    result->punkVal = nullptr;
    if (!unk) return S_OK;
    if (vt == VT_DISPATCH) {
        void* p = nullptr;
        if (FAILED(unk->QueryInterface(IID_IDispatch, &p))) return DISP_E_TYPEMISMATCH;
        result->pdispVal = static_cast<IDispatch*>(p);
    } else {
        unk->AddRef();
        result->punkVal = unk;
    }
    return S_OK;
}

HRESULT ConvertScalar(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT* result) {
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (src.vt != VT_EMPTY && src.vt != VT_UNKNOWN && src.vt != VT_DISPATCH)
            return DISP_E_TYPEMISMATCH;
        return ConvertInterface(src, vt, result);
    }
    if (src.vt == VT_DISPATCH) {
        if (flags & VARIANT_NOVALUEPROP) return DISP_E_TYPEMISMATCH;
        VARIANT value;
        HRESULT hr = DefaultValue(src.pdispVal, &value);
        if (FAILED(hr)) return hr;
        hr = ConvertScalar(value, vt, flags, result);
        VariantClear(&value);
        return hr;
    }
    Scalar s;
    if (FAILED(ScalarOf(src, &s)) || s.kind == Scalar::Object) return DISP_E_TYPEMISMATCH;

    if (vt == VT_BSTR) {
        std::u16string text;
        if (s.kind == Scalar::Text)
            text = s.text;
        else if (s.isBool)
            text = s.number ? u"True" : u"False";
        else if (src.vt == VT_EMPTY)
            text.clear();
        else if (src.vt == VT_R8 || src.vt == VT_R4 || src.vt == VT_DATE)
            text = FormatDouble(s.number);
        else if (src.vt == VT_I8) // all 64 bits: the double holds only 53
            text = Widen(std::to_string(src.llVal));
        else
            text = Widen(std::to_string(static_cast<LONGLONG>(s.number)));
        BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!b) return E_OUTOFMEMORY;
        result->vt = VT_BSTR;
        result->bstrVal = b;
        return S_OK;
    }

    double number = s.number;
    if (s.kind == Scalar::Text) {
        if (vt == VT_BOOL && EqualsNoCase(Trim(s.text), u"True")) {
            number = -1;
        } else if (vt == VT_BOOL && EqualsNoCase(Trim(s.text), u"False")) {
            number = 0;
        } else {
            const auto parsed = ParseNumber(s.text);
            if (!parsed) return DISP_E_TYPEMISMATCH;
            if (std::isinf(*parsed)) return DISP_E_OVERFLOW;
            number = *parsed;
        }
    }

    LONGLONG integer = 0;
    HRESULT hr = S_OK;
    switch (vt) {
    case VT_BOOL:
        result->vt = VT_BOOL;
        result->boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case VT_R8:
        result->vt = VT_R8;
        result->dblVal = number;
        return S_OK;
    case VT_UI1:
        // A true boolean is the byte 255, as its 16-bit pattern truncated.
        if (s.isBool) number = s.number ? 255 : 0;
        hr = ToInteger(number, 0, 255, &integer);
        if (FAILED(hr)) return hr;
        result->vt = VT_UI1;
        result->bVal = static_cast<BYTE>(integer);
        return S_OK;
    case VT_I2:
        hr = ToInteger(number, -32768, 32767, &integer);
        if (FAILED(hr)) return hr;
        result->vt = VT_I2;
        result->iVal = static_cast<SHORT>(integer);
        return S_OK;
    case VT_I4:
    case VT_INT:
        hr = ToInteger(number, -2147483648.0, 2147483647.0, &integer);
        if (FAILED(hr)) return hr;
        result->vt = vt;
        result->lVal = static_cast<LONG>(integer);
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        } else if (!IsValidBaseType(vt & VT_TYPEMASK)) {
            return DISP_E_BADVARTYPE;
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsValidBaseType(pvargSrc->vt & VT_TYPEMASK)) return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    const VARTYPE vt = pvargSrc->vt;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR && pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                 SysStringByteLen(pvargSrc->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvargSrc->punkVal) {
            pvargSrc->punkVal->AddRef();
        }
    }
    const HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    VARIANT view;
    if (!Dereference(*pvargSrc, &view)) return DISP_E_BADVARTYPE;
    if (pvarDest == pvargSrc) {
        VARIANT copy;
        VariantInit(&copy);
        const HRESULT hr = VariantCopy(&copy, &view);
        if (FAILED(hr)) return hr;
        *pvarDest = copy; // a byref variant owns nothing: overwriting frees nothing
        return S_OK;
    }
    return VariantCopy(pvarDest, &view);
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (vt & VT_BYREF) return DISP_E_BADVARTYPE;
    VARIANT view;
    if (!Dereference(*pvarSrc, &view)) return DISP_E_BADVARTYPE;

    VARIANT result;
    VariantInit(&result);
    HRESULT hr = S_OK;
    if (view.vt == vt) {
        hr = VariantCopy(&result, &view);
    } else if (vt == VT_EMPTY) {
        hr = S_OK;
    } else if ((view.vt & VT_ARRAY) || (vt & VT_ARRAY) || view.vt == VT_NULL || vt == VT_NULL) {
        hr = DISP_E_TYPEMISMATCH;
    } else if (!IsValidBaseType(vt)) {
        hr = DISP_E_BADVARTYPE;
    } else {
        hr = ConvertScalar(view, vt, wFlags, &result);
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    if (pvargDest == pvarSrc && (pvarSrc->vt & VT_BYREF)) {
        *pvargDest = result; // the byref source owned nothing
        return S_OK;
    }
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID, USHORT wFlags,
                            VARTYPE vt) {
    return VariantChangeType(pvargDest, pvarSrc, wFlags, vt);
}
