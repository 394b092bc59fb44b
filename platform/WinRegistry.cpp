#include "platform/WinRegistry.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "platform/CodePage.h"
#include "platform/RegFile.h"
#include "platform/SetupError.h"
#include "platform/Utf16.h"

namespace win {

// An open key: its path below HKEY_CURRENT_USER, components separated by single backslashes.
struct HKEY__ {
    std::u16string path;
};
namespace {

using regfile::Key;
using regfile::UserReg;
using regfile::Value;

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

// True when name is path or lies below it.
bool IsWithin(std::u16string_view name, std::u16string_view path) {
    if (path.empty()) return true;
    if (name.size() < path.size() || !SameName(name.substr(0, path.size()), path)) return false;
    return name.size() == path.size() || name[path.size()] == u'\\';
}

bool KeyExists(const UserReg& reg, std::u16string_view path) {
    return path.empty() || std::any_of(reg.keys.begin(), reg.keys.end(),
                                       [&](const Key& key) { return IsWithin(key.path, path); });
}

std::vector<std::u16string_view> Components(std::u16string_view path) {
    std::vector<std::u16string_view> components;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find(u'\\', start), path.size());
        if (end > start) components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

std::u16string Join(const std::vector<std::u16string_view>& components) {
    std::u16string path;
    for (const auto component : components) {
        if (!path.empty()) path += u'\\';
        path += component;
    }
    return path;
}

// path with each component that already exists spelt as the file spells it, so that a key
// opened as "MicroSoft" is written below the existing "Microsoft".
std::u16string ExistingSpelling(const UserReg& reg, std::u16string_view path) {
    std::vector<std::u16string_view> spelt = Components(path);
    size_t best = 0;
    for (const Key& key : reg.keys) {
        const auto have = Components(key.path);
        size_t common = 0;
        while (common < have.size() && common < spelt.size() &&
               SameName(have[common], spelt[common])) {
            ++common;
        }
        if (common > best) {
            std::copy_n(have.begin(), common, spelt.begin());
            best = common;
        }
    }
    return Join(spelt);
}

// ---- Handles ----

std::set<HKEY>& OpenKeys() {
    static std::set<HKEY> keys;
    return keys;
}

std::optional<std::u16string> PathOf(HKEY key) {
    if (key == HKEY_CURRENT_USER) return std::u16string();
    if (OpenKeys().count(key) == 0) return std::nullopt;
    return key->path;
}

HKEY NewHandle(std::u16string path) {
    HKEY key = new HKEY__{std::move(path)};
    OpenKeys().insert(key);
    return key;
}

// parent joined with subKey (code page 936), empty components dropped.
std::optional<std::u16string> FullPath(const std::u16string& parent, const char* subKey) {
    std::u16string sub;
    try {
        sub = cp936::ToUtf16(subKey ? subKey : "");
    } catch (const SetupError&) {
        return std::nullopt;
    }
    auto components = Components(parent);
    for (const auto component : Components(sub)) components.push_back(component);
    return Join(components);
}

std::string ValueText(const Value& value) {
    const bool text =
        value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (!text) return std::string(value.data.begin(), value.data.end());
    std::u16string wide(value.data.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(value.data[2 * i] | value.data[2 * i + 1] << 8);
    }
    return Utf16ToGbk(wide);
}

}  // namespace

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM, const void*,
                     HKEY* result, DWORD* disposition) {
    const auto parent = PathOf(key);
    if (!parent) return ERROR_INVALID_HANDLE;
    const auto path = FullPath(*parent, subKey);
    if (!path || !result) return ERROR_INVALID_PARAMETER;
    LONG error = ERROR_SUCCESS;
    auto reg = regfile::Load(error);
    if (!reg && error != ERROR_FILE_NOT_FOUND) return error;
    if (!reg) reg = regfile::NewFile();
    const bool exists = KeyExists(*reg, *path);
    std::u16string spelt = ExistingSpelling(*reg, *path);
    if (!exists) {
        if (const LONG written = regfile::AppendKey(*reg, spelt); written != ERROR_SUCCESS) {
            return written;
        }
    }
    *result = NewHandle(std::move(spelt));
    if (disposition) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM, HKEY* result) {
    const auto parent = PathOf(key);
    if (!parent) return ERROR_INVALID_HANDLE;
    const auto path = FullPath(*parent, subKey);
    if (!path || !result) return ERROR_INVALID_PARAMETER;
    LONG error = ERROR_SUCCESS;
    const auto reg = regfile::Load(error);
    if (!reg && !(error == ERROR_FILE_NOT_FOUND && path->empty())) return error;
    if (reg && !KeyExists(*reg, *path)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(reg ? ExistingSpelling(*reg, *path) : *path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    const auto path = PathOf(key);
    if (!path) return ERROR_INVALID_HANDLE;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    std::u16string name;
    try {
        name = cp936::ToUtf16(valueName ? valueName : "");
    } catch (const SetupError&) {
        return ERROR_FILE_NOT_FOUND;
    }
    LONG error = ERROR_SUCCESS;
    const auto reg = regfile::Load(error);
    if (!reg) return error;
    for (const Key& candidate : reg->keys) {
        if (!SameName(candidate.path, *path)) continue;
        for (const Value& value : candidate.values) {
            if (!SameName(value.name, name)) continue;
            std::string bytes;
            try {
                bytes = ValueText(value);
            } catch (const SetupError&) {
                // Too big a guess never hurts a caller that only asks for the size.
                if (data) return ERROR_NO_UNICODE_TRANSLATION;
                bytes.resize(value.data.size());
            }
            if (type) *type = value.type;
            const DWORD needed = static_cast<DWORD>(bytes.size());
            if (data && *dataSize < needed) {
                *dataSize = needed;
                return ERROR_MORE_DATA;
            }
            if (data) std::memcpy(data, bytes.data(), bytes.size());
            if (dataSize) *dataSize = needed;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    if (OpenKeys().erase(key) == 0) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

std::size_t OpenKeyCount() { return OpenKeys().size(); }

}  // namespace win
