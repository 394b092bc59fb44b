#include "platform/Utf16.h"

#include "platform/CodePage.h"
#include "platform/SetupError.h"

namespace win {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string Utf16ToGbk(std::u16string_view text) {
    std::string utf8;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(utf8, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                 (static_cast<char32_t>(text[++i]) - 0xDC00));
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            throw SetupError("Text holds an unpaired surrogate at character " + std::to_string(i));
        } else {
            AppendUtf8(utf8, c);
        }
    }
    return cp936::FromUtf8(utf8);
}

}  // namespace win
