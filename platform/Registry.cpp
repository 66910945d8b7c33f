// The registry store: a tree of keys with string values, kept in a text file.
//
// File format (UTF-8), one key per "[path]" line followed by its values:
//   [CLSID\{6A358604-6623-4CD5-A879-3DF0EABE5F83}\InprocServer32]
//   @="/usr/lib/libKemrin_Quillax.so"
//   "ThreadingModel"="Both"
// '%', '"', control characters and line breaks inside paths, names and values are written
// as %XX (UTF-8 bytes). Every change locks the store (a lock file beside it), reads the
// file, applies the change and replaces the file through a temporary file and a rename, so
// readers in other processes see either the old or the new store, never half of one.
#include "platform/Registry.h"
#include "platform/AnsiCodePage.h"
#include "platform/Utf8.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// ----- text helpers -------------------------------------------------------------------------

std::string Encode(std::u16string_view s) {
    std::string out;
    for (char c : quillax::Utf16ToUtf8Replacing(s)) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == '%' || b == '"' || b == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", b);
            out += hex;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::u16string Decode(std::string_view s) {
    std::string bytes;
    for (std::size_t i = 0; i < s.size(); ++i) {
        int hi = -1, lo = -1;
        if (s[i] == '%' && i + 2 < s.size()) {
            hi = HexValue(s[i + 1]);
            lo = HexValue(s[i + 2]);
        }
        if (hi >= 0 && lo >= 0) {
            bytes.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            bytes.push_back(s[i]);
        }
    }
    return quillax::Utf8ToUtf16Replacing(bytes);
}

// Names compare without regard to case (ASCII and Latin-1 letters).
std::u16string Fold(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 0x20;
    return out;
}

// "a\\b\" -> "a\b": separators collapsed, none at either end.
std::u16string NormalisePath(std::u16string_view path) {
    std::u16string out;
    for (char16_t c : path) {
        if (c == u'\\' && (out.empty() || out.back() == u'\\')) continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == u'\\') out.pop_back();
    return out;
}

std::u16string Join(const std::u16string& parent, std::u16string_view sub) {
    const std::u16string tail = NormalisePath(sub);
    if (parent.empty()) return tail;
    if (tail.empty()) return parent;
    return parent + u'\\' + tail;
}

// ----- the tree -------------------------------------------------------------------------------

struct Key {
    std::u16string path;                                                        // as first written
    std::map<std::u16string, std::pair<std::u16string, std::u16string>> values; // folded name
};

// Keys by folded path; the root (HKEY_CLASSES_ROOT) is the empty path and always exists.
using Tree = std::map<std::u16string, Key>;

bool ReadTree(const std::string& file, Tree* tree) {
    tree->clear();
    std::ifstream in(file, std::ios::binary);
    if (!in) return !fs::exists(file);
    std::string line;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            const std::u16string path = NormalisePath(Decode(line.substr(1, line.size() - 2)));
            current = &(*tree)[Fold(path)];
            current->path = path;
        } else if (current && !line.empty() && (line[0] == '@' || line[0] == '"')) {
            std::u16string name;
            std::size_t pos = 1;
            if (line[0] == '"') {
                const std::size_t close = line.find('"', 1);
                if (close == std::string::npos) continue;
                name = Decode(std::string_view(line).substr(1, close - 1));
                pos = close + 1;
            }
            if (line.compare(pos, 2, "=\"") != 0 || line.back() != '"') continue;
            const std::u16string value =
                Decode(std::string_view(line).substr(pos + 2, line.size() - pos - 3));
            current->values[Fold(name)] = {name, value};
        }
    }
    return true;
}

bool WriteTree(const std::string& file, const Tree& tree) {
    std::error_code ec;
    const fs::path target(file);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    std::random_device random;
    const std::string temp = file + ".tmp" + std::to_string(random());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << quillax::kRegistryStoreFirstLine << '\n';
        for (const auto& [folded, key] : tree) {
            if (folded.empty() && key.values.empty()) continue;
            out << '[' << Encode(key.path) << "]\n";
            for (const auto& [n, entry] : key.values) {
                if (entry.first.empty())
                    out << '@';
                else
                    out << '"' << Encode(entry.first) << '"';
                out << "=\"" << Encode(entry.second) << "\"\n";
            }
        }
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool HasChildren(const Tree& tree, const std::u16string& folded) {
    const std::u16string prefix = folded.empty() ? folded : folded + u'\\';
    auto it = tree.upper_bound(folded);
    return it != tree.end() && it->first.compare(0, prefix.size(), prefix) == 0 &&
           it->first.size() > prefix.size();
}

// ----- the store --------------------------------------------------------------------------

std::string DefaultStoreFile() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/quillax/registry";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/quillax/registry";
    return "quillax-registry";
}

struct Store {
    std::mutex mutex; // one change at a time in this process
    std::string file = DefaultStoreFile();
    std::set<HKEY> handles; // open key handles (each a heap-allocated path)
};

Store& TheStore() {
    static Store store;
    return store;
}

// Holds the lock file beside the store for the duration of a change.
class FileLock {
public:
    explicit FileLock(const std::string& file) : path_(file + ".lock") {
        std::error_code ec;
        const fs::path p(path_);
        if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::FILE* f = std::fopen(path_.c_str(), "wx")) {
                std::fclose(f);
                held_ = true;
                return;
            }
            // A lock older than ten seconds was left by a process that died holding it.
            const auto written = fs::last_write_time(p, ec);
            if (!ec && fs::file_time_type::clock::now() - written > std::chrono::seconds(10))
                fs::remove(p, ec);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~FileLock() {
        std::error_code ec;
        if (held_) fs::remove(path_, ec);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return held_; }

private:
    std::string path_;
    bool held_ = false;
};

const std::u16string* PathOf(Store& store, HKEY key) {
    if (key == HKEY_CLASSES_ROOT) {
        static const std::u16string root;
        return &root;
    }
    if (!store.handles.count(key)) return nullptr;
    return reinterpret_cast<const std::u16string*>(key);
}

HKEY NewHandle(Store& store, std::u16string path) {
    auto* p = new std::u16string(std::move(path));
    HKEY key = reinterpret_cast<HKEY>(p);
    store.handles.insert(key);
    return key;
}

// Reads the store, lets `change` edit it, and writes it back when it reports a change.
LSTATUS Modify(Store& store, const std::function<LSTATUS(Tree&, bool*)>& change) {
    FileLock lock(store.file);
    if (!lock.Held()) return ERROR_REGISTRY_IO_FAILED;
    Tree tree;
    if (!ReadTree(store.file, &tree)) return ERROR_REGISTRY_IO_FAILED;
    bool changed = false;
    const LSTATUS status = change(tree, &changed);
    if (status == ERROR_SUCCESS && changed && !WriteTree(store.file, tree))
        return ERROR_REGISTRY_IO_FAILED;
    return status;
}

LSTATUS Read(Store& store, Tree* tree) {
    return ReadTree(store.file, tree) ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

// ----- operations on wide names --------------------------------------------------------

LSTATUS CreateKey(HKEY parent, std::u16string_view sub, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* base = PathOf(store, parent);
    if (!base) return ERROR_INVALID_HANDLE;
    const std::u16string path = Join(*base, sub);
    bool created = false;
    const LSTATUS status = Modify(store, [&](Tree& tree, bool* changed) {
        if (!base->empty() && !tree.count(Fold(*base))) return ERROR_KEY_DELETED;
        // Every missing key along the path is made.
        std::size_t pos = 0;
        while (true) {
            pos = path.find(u'\\', pos);
            const std::u16string part = path.substr(0, pos);
            Key& key = tree[Fold(part)];
            if (key.path.empty() && !part.empty()) {
                key.path = part;
                *changed = created = true;
            }
            if (pos == std::u16string::npos) break;
            ++pos;
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    *result = NewHandle(store, path);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS OpenKey(HKEY parent, std::u16string_view sub, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* base = PathOf(store, parent);
    if (!base) return ERROR_INVALID_HANDLE;
    const std::u16string path = Join(*base, sub);
    if (!path.empty()) {
        Tree tree;
        if (const LSTATUS status = Read(store, &tree); status != ERROR_SUCCESS) return status;
        auto it = tree.find(Fold(path));
        if (it == tree.end()) return ERROR_FILE_NOT_FOUND;
        *result = NewHandle(store, it->second.path);
        return ERROR_SUCCESS;
    }
    *result = NewHandle(store, path);
    return ERROR_SUCCESS;
}

LSTATUS SetValue(HKEY key, std::u16string_view name, std::u16string_view value) {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* path = PathOf(store, key);
    if (!path) return ERROR_INVALID_HANDLE;
    return Modify(store, [&](Tree& tree, bool* changed) {
        auto k = tree.find(Fold(*path));
        if (k == tree.end()) {
            if (!path->empty()) return ERROR_KEY_DELETED;
            k = tree.emplace(std::u16string(), Key{}).first;
        }
        k->second.values[Fold(name)] = {std::u16string(name), std::u16string(value)};
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS QueryValue(HKEY key, std::u16string_view name, std::u16string* value) {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* path = PathOf(store, key);
    if (!path) return ERROR_INVALID_HANDLE;
    Tree tree;
    if (const LSTATUS status = Read(store, &tree); status != ERROR_SUCCESS) return status;
    auto k = tree.find(Fold(*path));
    if (k == tree.end()) return path->empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    auto v = k->second.values.find(Fold(name));
    if (v == k->second.values.end()) return ERROR_FILE_NOT_FOUND;
    *value = v->second.second;
    return ERROR_SUCCESS;
}

LSTATUS DeleteValue(HKEY key, std::u16string_view name) {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* path = PathOf(store, key);
    if (!path) return ERROR_INVALID_HANDLE;
    return Modify(store, [&](Tree& tree, bool* changed) {
        auto k = tree.find(Fold(*path));
        if (k == tree.end()) return ERROR_FILE_NOT_FOUND;
        if (k->second.values.erase(Fold(name)) == 0) return ERROR_FILE_NOT_FOUND;
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS DeleteKey(HKEY parent, std::u16string_view sub, bool tree) {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* base = PathOf(store, parent);
    if (!base) return ERROR_INVALID_HANDLE;
    const std::u16string folded = Fold(Join(*base, sub));
    return Modify(store, [&](Tree& keys, bool* changed) {
        if (!folded.empty() && !keys.count(folded)) return ERROR_FILE_NOT_FOUND;
        if (!tree) {
            if (folded.empty()) return ERROR_ACCESS_DENIED;
            if (HasChildren(keys, folded)) return ERROR_ACCESS_DENIED;
            keys.erase(folded);
            *changed = true;
            return ERROR_SUCCESS;
        }
        // The whole subtree; a key named by an empty subkey keeps itself, as on the platform.
        const std::u16string prefix = folded.empty() ? folded : folded + u'\\';
        for (auto it = keys.begin(); it != keys.end();) {
            const bool below = it->first.size() > prefix.size() &&
                               it->first.compare(0, prefix.size(), prefix) == 0;
            if (below || (it->first == folded && !sub.empty())) {
                it = keys.erase(it);
                *changed = true;
            } else {
                ++it;
            }
        }
        if (sub.empty()) {
            auto self = keys.find(folded);
            if (self != keys.end() && !self->second.values.empty()) {
                self->second.values.clear();
                *changed = true;
            }
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS EnumKey(HKEY key, DWORD index, std::u16string* name) {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    const std::u16string* path = PathOf(store, key);
    if (!path) return ERROR_INVALID_HANDLE;
    Tree tree;
    if (const LSTATUS status = Read(store, &tree); status != ERROR_SUCCESS) return status;
    const std::u16string folded = Fold(*path);
    const std::u16string prefix = folded.empty() ? folded : folded + u'\\';
    DWORD seen = 0;
    for (const auto& [f, k] : tree) {
        if (f.size() <= prefix.size() || f.compare(0, prefix.size(), prefix) != 0) continue;
        if (f.find(u'\\', prefix.size()) != std::u16string::npos) continue;
        if (seen++ == index) {
            *name = k.path.substr(prefix.size());
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NO_MORE_ITEMS;
}

// ----- narrow/wide glue -----------------------------------------------------------------

std::u16string Wide(LPCSTR s) {
    return s ? quillax::AnsiToWide(s) : std::u16string();
}
std::u16string Wide(LPCWSTR s) {
    return s ? std::u16string(s) : std::u16string();
}

// REG_SZ data to text: the bytes as given, without the terminating zero.
LSTATUS DataToText(DWORD type, const BYTE* data, DWORD size, bool wide, std::u16string* out) {
    if (type != REG_SZ) return ERROR_INVALID_PARAMETER;
    if (size && !data) return ERROR_INVALID_PARAMETER;
    if (wide) {
        out->assign(reinterpret_cast<const char16_t*>(data), size / 2);
    } else {
        *out = quillax::AnsiToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    }
    if (!out->empty() && out->back() == 0) out->pop_back();
    return ERROR_SUCCESS;
}

LSTATUS TextToData(const std::u16string& text, bool wide, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = REG_SZ;
    std::string bytes;
    if (wide)
        bytes.assign(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
    else
        bytes = quillax::WideToAnsi(text) + '\0';
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

template <class Char>
LSTATUS HandName(const std::u16string& name, Char* buffer, LPDWORD chars) {
    if (!buffer || !chars) return ERROR_INVALID_PARAMETER;
    if (*chars < name.size() + 1) return ERROR_MORE_DATA;
    if constexpr (sizeof(Char) == 1) {
        const std::string ansi = quillax::WideToAnsi(name);
        std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    } else {
        std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Char));
    }
    *chars = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

} // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM,
                        LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return CreateKey(hKey, Wide(lpSubKey), phkResult, lpdwDisposition);
}
LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                        LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return CreateKey(hKey, Wide(lpSubKey), phkResult, lpdwDisposition);
}
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    return OpenKey(hKey, Wide(lpSubKey), phkResult);
}
LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    return OpenKey(hKey, Wide(lpSubKey), phkResult);
}
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    std::u16string text;
    if (const LSTATUS s = DataToText(dwType, lpData, cbData, false, &text); s != ERROR_SUCCESS)
        return s;
    return SetValue(hKey, Wide(lpValueName), text);
}
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    std::u16string text;
    if (const LSTATUS s = DataToText(dwType, lpData, cbData, true, &text); s != ERROR_SUCCESS)
        return s;
    return SetValue(hKey, Wide(lpValueName), text);
}
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    std::u16string text;
    if (const LSTATUS s = QueryValue(hKey, Wide(lpValueName), &text); s != ERROR_SUCCESS) return s;
    return TextToData(text, false, lpType, lpData, lpcbData);
}
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    std::u16string text;
    if (const LSTATUS s = QueryValue(hKey, Wide(lpValueName), &text); s != ERROR_SUCCESS) return s;
    return TextToData(text, true, lpType, lpData, lpcbData);
}
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return DeleteValue(hKey, Wide(lpValueName));
}
LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return DeleteValue(hKey, Wide(lpValueName));
}
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, Wide(lpSubKey), false);
}
LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, Wide(lpSubKey), false);
}
LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return DeleteKey(hKey, Wide(lpSubKey), true);
}
LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return DeleteKey(hKey, Wide(lpSubKey), true);
}
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR,
                      LPDWORD, PFILETIME) {
    std::u16string name;
    if (const LSTATUS s = EnumKey(hKey, dwIndex, &name); s != ERROR_SUCCESS) return s;
    return HandName(name, lpName, lpcchName);
}
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD, LPWSTR,
                      LPDWORD, PFILETIME) {
    std::u16string name;
    if (const LSTATUS s = EnumKey(hKey, dwIndex, &name); s != ERROR_SUCCESS) return s;
    return HandName(name, lpName, lpcchName);
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    if (!store.handles.erase(hKey)) return ERROR_INVALID_HANDLE;
    delete reinterpret_cast<std::u16string*>(hKey);
    return ERROR_SUCCESS;
}

void quillax::SetRegistryStoreFile(const std::string& path) {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    store.file = path;
}

std::string quillax::RegistryStoreFile() {
    Store& store = TheStore();
    std::lock_guard guard(store.mutex);
    return store.file;
}
