#pragma once
// Code page 936 (GBK) is the system's one text encoding: every text is a byte string in it.
// This module owns every conversion to and from Unicode, and the searches that must go by
// whole characters because a trail byte can equal "\" (誠 is D5 5C).

#include <cstddef>
#include <string>
#include <string_view>

namespace cp936 {

// A byte from 0x81 to 0xFE starts a double-byte character and takes the next byte with it.
bool IsLeadByte(unsigned char byte);

// Conversions at the edges: Qt widgets and SQLite take UTF-8, host file names are UTF-8,
// the shell-link writer wants UTF-16. A text that cannot be converted raises SetupError;
// nothing is silently replaced by "?".
std::string ToUtf8(std::string_view gbk);
std::string FromUtf8(std::string_view utf8);
std::u16string ToUtf16(std::string_view gbk);

// The one way to write a text in the source: "正在安装..."_gbk is the code page 936 form of a
// UTF-8 literal, made when it is evaluated. A character code page 936 lacks raises SetupError
// there, the first time the line runs. After "using namespace cp936::literals;".
inline namespace literals {
std::string operator""_gbk(const char* utf8, std::size_t size);
}  // namespace literals

// Offset of the last character (not trail byte) of text that is one of the single-byte
// delimiters; npos when there is none.
std::string_view::size_type LastDelimiter(std::string_view text, std::string_view delimiters);

// Offset of the first byte of the last character; npos for the empty text.
std::string_view::size_type LastCharStart(std::string_view text);

// The text without its leading and trailing bytes 0..32 (spaces and control characters).
// Bytes of a double-byte character are never below 0x40, so this cannot cut one in half.
std::string TrimControl(std::string_view text);

}  // namespace cp936
