#include "platform/WinRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/RegText.h"
#include "platform/SetupError.h"
#include "platform/Utf16.h"
#include "platform/WinPaths.h"

namespace fs = std::filesystem;

namespace win {

// An open key: its path below HKEY_CURRENT_USER, components separated by single backslashes.
struct HKEY__ {
    std::u16string path;
};
namespace {

// ---- The file's contents ----

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;  // text types as UTF-16LE with their NUL, as Windows keeps them
};

struct Key {
    std::u16string path;
    std::vector<Value> values;
};

struct UserReg {
    std::string text;  // the file as read, byte for byte
    std::vector<Key> keys;
};

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

// True when name is path or lies below it.
bool IsWithin(std::u16string_view name, std::u16string_view path) {
    if (path.empty()) return true;
    if (name.size() < path.size() || !SameName(name.substr(0, path.size()), path)) return false;
    return name.size() == path.size() || name[path.size()] == u'\\';
}

void AppendUtf16(std::vector<BYTE>& data, std::u16string_view text) {
    for (const char16_t c : text) {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
}

bool ParseHexBytes(std::string_view text, std::vector<BYTE>& data) {
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
        if (pos + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[pos])) ||
            !std::isxdigit(static_cast<unsigned char>(text[pos + 1]))) {
            return false;
        }
        data.push_back(static_cast<BYTE>(std::stoi(std::string(text.substr(pos, 2)), nullptr, 16)));
        pos += 2;
        skipBlanks();
        if (pos < text.size() && text[pos] != ',') return false;
        ++pos;
        skipBlanks();
    }
    return true;
}

bool ParseQuoted(std::string_view text, size_t pos, std::vector<BYTE>& data) {
    const auto string = regtext::Unescape(text, ++pos, '"');
    if (!string || text.find_first_not_of(" \t", pos + 1) != std::string_view::npos) return false;
    AppendUtf16(data, *string);
    AppendUtf16(data, std::u16string(1, u'\0'));
    return true;
}

// Reads "type(n):" (or "type:" for the default n) at the start of text.
std::optional<DWORD> TypePrefix(std::string_view& text, std::string_view word, DWORD plain) {
    if (text.substr(0, word.size()) != word) return std::nullopt;
    text.remove_prefix(word.size());
    if (!text.empty() && text[0] == ':') {
        text.remove_prefix(1);
        return plain;
    }
    unsigned type = 0;
    int consumed = 0;
    const std::string rest(text.substr(0, 16));
    if (std::sscanf(rest.c_str(), "(%x):%n", &type, &consumed) != 1 || consumed == 0) return std::nullopt;
    text.remove_prefix(static_cast<size_t>(consumed));
    return type;
}

// The data after "=": "text", str(n):"text", dword:xxxxxxxx, hex:.. or hex(n):..
bool ParseData(std::string_view text, Value& value) {
    if (!text.empty() && text[0] == '"') {
        value.type = REG_SZ;
        return ParseQuoted(text, 0, value.data);
    }
    if (const auto type = TypePrefix(text, "str", REG_SZ)) {
        value.type = *type;
        return !text.empty() && text[0] == '"' && ParseQuoted(text, 0, value.data);
    }
    if (text.substr(0, 6) == "dword:") {
        const std::string digits(text.substr(6));
        if (digits.size() != 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        const auto number = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<BYTE>(number >> shift));
        return true;
    }
    if (const auto type = TypePrefix(text, "hex", REG_BINARY)) {
        value.type = *type;
        return ParseHexBytes(text, value.data);
    }
    return false;
}

// A value line, with its continuation lines already joined: "name"=data or @=data.
bool ParseValue(std::string_view line, Value& value) {
    size_t pos = 0;
    if (line[0] == '"') {
        const auto name = regtext::Unescape(line, ++pos, '"');
        if (!name) return false;
        value.name = *name;
        ++pos;
    } else {
        pos = 1;  // "@", the default value
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    return ParseData(line.substr(pos + 1), value);
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The keys of the file; nullopt when any line is not what Wine writes.
std::optional<std::vector<Key>> Parse(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text);
    if (lines.empty() || lines[0] != regtext::kFileSignature) return std::nullopt;
    std::vector<Key> keys;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t pos = 1;
            auto path = regtext::Unescape(line, pos, ']');
            if (!path) return std::nullopt;
            keys.push_back(Key{std::move(*path), {}});
        } else if ((line[0] == '"' || line[0] == '@') && !keys.empty()) {
            std::string joined(line);
            // Long hex data goes on over the next lines, each one ending in "\".
            while (joined.back() == '\\' && i + 1 < lines.size()) {
                joined.pop_back();
                joined += lines[++i];
            }
            Value value;
            if (!ParseValue(joined, value)) return std::nullopt;
            keys.back().values.push_back(std::move(value));
        } else {
            return std::nullopt;
        }
    }
    return keys;
}

fs::path UserRegPath() { return PrefixRoot() / "user.reg"; }

// The file: nullopt with ERROR_FILE_NOT_FOUND when there is none, ERROR_ACCESS_DENIED when
// it cannot be read (so that it is never taken for missing and replaced), ERROR_BADDB when
// it cannot be parsed.
std::optional<UserReg> Load(LONG& error) {
    int failure = 0;
    auto text = ReadWholeFile(UserRegPath(), failure);
    if (!text) {
        error = failure == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    auto keys = Parse(*text);
    if (!keys) {
        error = ERROR_BADDB;
        return std::nullopt;
    }
    error = ERROR_SUCCESS;
    return UserReg{std::move(*text), std::move(*keys)};
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
        while (common < have.size() && common < spelt.size() && SameName(have[common], spelt[common])) {
            ++common;
        }
        if (common > best) {
            std::copy_n(have.begin(), common, spelt.begin());
            best = common;
        }
    }
    return Join(spelt);
}

LONG ErrorOfWrite(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED : ERROR_CANTWRITE;
}

// The new text replaces the file in one rename; the file keeps its permissions.
LONG WriteBack(const std::string& text) {
    const int error = ReplaceFile(UserRegPath(), text, 0644, true);
    return error == 0 ? ERROR_SUCCESS : ErrorOfWrite(error);
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
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
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
    auto reg = Load(error);
    if (!reg && error != ERROR_FILE_NOT_FOUND) return error;
    if (!reg) reg = UserReg{regtext::FileHeader(), {}};
    const bool exists = KeyExists(*reg, *path);
    std::u16string spelt = ExistingSpelling(*reg, *path);
    if (!exists) {
        std::string text = reg->text;
        if (!text.empty() && text.back() != '\n') text += '\n';
        text += '\n';
        text += regtext::KeyHeader(spelt);
        if (const LONG written = WriteBack(text); written != ERROR_SUCCESS) return written;
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
    const auto reg = Load(error);
    if (!reg && !(error == ERROR_FILE_NOT_FOUND && path->empty())) return error;
    if (reg && !KeyExists(*reg, *path)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(reg ? ExistingSpelling(*reg, *path) : *path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
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
    const auto reg = Load(error);
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
