#pragma once
// The quoting of Wine's registry text files (user.reg): names and string data stand between
// quotes, "\" and the quote are escaped, control characters are written as C escapes or in
// octal, and characters beyond ASCII as \x followed by their UTF-16 code in hexadecimal.

#include <optional>
#include <string>
#include <string_view>

namespace win::regtext {

// The first line of every registry file Wine writes and reads (without its line feed).
constexpr std::string_view kFileSignature = "WINE REGISTRY Version 2";

// The opening lines of a new user.reg.
std::string FileHeader();

// The two lines that open a key: "[Software\\Wine] <seconds>" and "#time=<file time>", both
// stamped with the current time. path separates its components with single backslashes.
std::string KeyHeader(std::u16string_view path);

// The escaped form of text, without the surrounding quotes. specials are the characters
// that get a "\" in front besides "\" itself: "\"" in value lines, "[]" in key lines.
std::string Escape(std::u16string_view text, std::string_view specials);

// Reads an escaped text starting at pos up to the first unescaped terminator (not taken);
// pos is left on the terminator. nullopt when the terminator never comes.
std::optional<std::u16string> Unescape(std::string_view line, size_t& pos, char terminator);

}  // namespace win::regtext
