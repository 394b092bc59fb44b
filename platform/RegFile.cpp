#include "platform/RegFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/PrefixRoot.h"
#include "platform/RegText.h"

namespace fs = std::filesystem;

namespace win::regfile {
namespace {

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
    if (std::sscanf(rest.c_str(), "(%x):%n", &type, &consumed) != 1 || consumed == 0)
        return std::nullopt;
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
        if (digits.size() != 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        const auto number = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8)
            value.data.push_back(static_cast<BYTE>(number >> shift));
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

LONG ErrorOfWrite(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED
                                                               : ERROR_CANTWRITE;
}

// The new text replaces the file in one rename; the file keeps its permissions.
LONG WriteBack(const std::string& text) {
    const int error = ReplaceFile(UserRegPath(), text, 0644, true);
    return error == 0 ? ERROR_SUCCESS : ErrorOfWrite(error);
}

}  // namespace

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

UserReg NewFile() { return UserReg{regtext::FileHeader(), {}}; }

LONG AppendKey(const UserReg& reg, std::u16string_view path) {
    std::string text = reg.text;
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += '\n';
    text += regtext::KeyHeader(path);
    return WriteBack(text);
}

}  // namespace win::regfile
