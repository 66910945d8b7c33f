// Type library registration: the TypeLib\{LIBID}\major.minor keys and the Interface\{IID}
// keys of the library's automation-compatible interfaces.
#include "platform/OleAuto.h"
#include "platform/Registry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using quillax::BStr;
using quillax::ComPtr;
using quillax::GuidToWide;

// A key that closes itself.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::u16string Ascii(const char* text) {
    return {text, text + std::char_traits<char>::length(text)};
}

std::u16string VersionText(WORD major, WORD minor) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u.%u", unsigned{major}, unsigned{minor});
    return Ascii(buffer);
}

const char* SysKindName(SYSKIND kind) {
    switch (kind) {
    case SYS_WIN16:
        return "win16";
    case SYS_MAC:
        return "mac";
    case SYS_WIN64:
        return "win64";
    default:
        return "win32";
    }
}

// Creates `path` under the classes root and sets one of its values (null name: default).
bool WriteValue(const std::u16string& path, const char16_t* name, const std::u16string& value) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))) ==
           ERROR_SUCCESS;
}

bool ReadValue(const std::u16string& path, const char16_t* name, std::u16string* value) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::u16string buffer(size / 2 + 1, u'\0');
    if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return false;
    buffer.resize(size / 2);
    while (!buffer.empty() && buffer.back() == 0)
        buffer.pop_back();
    *value = buffer;
    return true;
}

bool IsAutomationInterface(ITypeInfo* info, GUID* iid, std::u16string* name) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return false;
    const bool automation =
        (attr->typekind == TKIND_DISPATCH || attr->typekind == TKIND_INTERFACE) &&
        (attr->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE));
    *iid = attr->guid;
    info->ReleaseTypeAttr(attr);
    BStr text;
    if (automation && SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, text.ReleaseAndGetAddressOf(),
                                                       nullptr, nullptr, nullptr)))
        *name = text.View();
    return automation;
}

} // namespace

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    if (!ptlib || !szFullPath) return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    const TLIBATTR lib = *attr;
    ptlib->ReleaseTLibAttr(attr);

    BStr name, doc;
    ptlib->GetDocumentation(-1, name.ReleaseAndGetAddressOf(), doc.ReleaseAndGetAddressOf(),
                            nullptr, nullptr);
    const std::u16string libid = GuidToWide(lib.guid);
    const std::u16string base =
        u"TypeLib\\" + libid + u"\\" + VersionText(lib.wMajorVerNum, lib.wMinorVerNum);
    char lcid[16];
    std::snprintf(lcid, sizeof lcid, "%x", unsigned{lib.lcid});

    bool ok = WriteValue(base, nullptr, std::u16string(doc.Length() ? doc.View() : name.View()));
    ok = ok && WriteValue(base + u"\\FLAGS", nullptr, Ascii(std::to_string(lib.wLibFlags).c_str()));
    if (szHelpDir) ok = ok && WriteValue(base + u"\\HELPDIR", nullptr, szHelpDir);
    ok = ok && WriteValue(base + u"\\" + Ascii(lcid) + u"\\" + Ascii(SysKindName(lib.syskind)),
                          nullptr, szFullPath);

    // Interfaces that the platform's automation marshaller can carry.
    for (UINT i = 0; ok && i < ptlib->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        if (FAILED(ptlib->GetTypeInfo(i, info.GetAddressOf()))) continue;
        GUID iid{};
        std::u16string interfaceName;
        if (!IsAutomationInterface(info.Get(), &iid, &interfaceName)) continue;
        const std::u16string key = u"Interface\\" + GuidToWide(iid);
        const std::u16string marshaller = GuidToWide(CLSID_PSOAInterface);
        ok = WriteValue(key, nullptr, interfaceName) &&
             WriteValue(key + u"\\ProxyStubClsid", nullptr, marshaller) &&
             WriteValue(key + u"\\ProxyStubClsid32", nullptr, marshaller) &&
             WriteValue(key + u"\\TypeLib", nullptr, libid) &&
             WriteValue(key + u"\\TypeLib", u"Version",
                        VersionText(lib.wMajorVerNum, lib.wMinorVerNum));
    }
    return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind) {
    const std::u16string libid = GuidToWide(libID);
    const std::u16string version = VersionText(wVerMajor, wVerMinor);
    const std::u16string base = u"TypeLib\\" + libid + u"\\" + version;
    {
        RegKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, base.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
    }

    // Interface keys that point back at this library and version.
    std::vector<std::u16string> interfaces;
    {
        RegKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Interface", 0, KEY_READ, key.Out()) ==
            ERROR_SUCCESS) {
            for (DWORD i = 0;; ++i) {
                char16_t buffer[256];
                DWORD chars = 256;
                if (RegEnumKeyExW(key.Get(), i, buffer, &chars, nullptr, nullptr, nullptr,
                                  nullptr) != ERROR_SUCCESS)
                    break;
                const std::u16string path = u"Interface\\" + std::u16string(buffer, chars);
                std::u16string owner, ownerVersion;
                GUID a{}, b{};
                if (ReadValue(path + u"\\TypeLib", nullptr, &owner) &&
                    ReadValue(path + u"\\TypeLib", u"Version", &ownerVersion) &&
                    ownerVersion == version && SUCCEEDED(CLSIDFromString(owner.c_str(), &a)) &&
                    SUCCEEDED(CLSIDFromString(libid.c_str(), &b)) && a == b)
                    interfaces.push_back(path);
            }
        }
    }
    for (const std::u16string& path : interfaces)
        RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());

    char lcidText[16];
    std::snprintf(lcidText, sizeof lcidText, "%x", unsigned{lcid});
    const std::u16string lcidKey = base + u"\\" + Ascii(lcidText);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (lcidKey + u"\\" + Ascii(SysKindName(syskind))).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, lcidKey.c_str());
    // The version key goes when no other locale remains registered under it.
    bool otherLocales = false;
    {
        RegKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, base.c_str(), 0, KEY_READ, key.Out()) ==
            ERROR_SUCCESS) {
            for (DWORD i = 0;; ++i) {
                char16_t buffer[256];
                DWORD chars = 256;
                if (RegEnumKeyExW(key.Get(), i, buffer, &chars, nullptr, nullptr, nullptr,
                                  nullptr) != ERROR_SUCCESS)
                    break;
                const std::u16string sub(buffer, chars);
                if (sub != u"FLAGS" && sub != u"HELPDIR") otherLocales = true;
            }
        }
    }
    if (!otherLocales) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, base.c_str());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, (u"TypeLib\\" + libid).c_str());
    }
    return S_OK;
}
