#include "platform/RegText.h"

#include <chrono>
#include <cstdio>

namespace win::regtext {
namespace {

// C escapes for the control characters that have one; "." for those written in octal.
constexpr std::string_view kControlEscapes = ".......abtnvfr.............e....";

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
    if (c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

std::string Printf(const char* format, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

std::string FileHeader() {
    // No "#arch=" line: Wine refuses a prefix whose registry names the other architecture,
    // and this file cannot know which Wine will run the prefix.
    return std::string(kFileSignature) +
           "\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n";
}

std::string KeyHeader(std::u16string_view path) {
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
    // Windows file time: 100 ns units since 1601.
    const unsigned long long fileTime =
        (static_cast<unsigned long long>(seconds) + 11644473600ULL) * 10000000ULL;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "] %lld\n#time=%llx\n", seconds, fileTime);
    std::string header = "[";
    header += Escape(path, "[]");
    header += stamp;
    return header;
}

std::string Escape(std::u16string_view text, std::string_view specials) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool nextIsAscii = i + 1 < text.size() && text[i + 1] < 128;
        const char next = nextIsAscii ? static_cast<char>(text[i + 1]) : ' ';
        if (c < 32) {
            if (kControlEscapes[c] != '.') out += {'\\', kControlEscapes[c]};
            // A following octal digit would be read as part of a short octal escape.
            else
                out += Printf(next >= '0' && next <= '7' ? "\\%03o" : "\\%o", c);
        } else if (c > 127) {
            // Likewise a following hex digit forces the full four digits.
            out += Printf(IsHexDigit(next) ? "\\x%04x" : "\\x%x", c);
        } else {
            const char ascii = static_cast<char>(c);
            if (ascii == '\\' || specials.find(ascii) != std::string_view::npos) out += '\\';
            out += ascii;
        }
    }
    return out;
}

std::optional<std::u16string> Unescape(std::string_view line, size_t& pos, char terminator) {
    std::u16string out;
    while (pos < line.size() && line[pos] != terminator) {
        const char c = line[pos];
        if (c != '\\' || pos + 1 >= line.size()) {
            out += static_cast<char16_t>(static_cast<unsigned char>(c));
            ++pos;
            continue;
        }
        const char e = line[pos + 1];
        pos += 2;
        const auto control = kControlEscapes.find(e);
        if (e == 'x') {
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && pos < line.size() && IsHexDigit(line[pos])) {
                value = value * 16 + static_cast<unsigned>(HexValue(line[pos++]));
                ++digits;
            }
            out += digits ? static_cast<char16_t>(value) : u'x';
        } else if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int digits = 1;
                 digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                 ++digits) {
                value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
            }
            out += static_cast<char16_t>(value);
        } else if (e != '.' && control != std::string_view::npos) {
            out += static_cast<char16_t>(control);
        } else {
            out += static_cast<char16_t>(static_cast<unsigned char>(e));
        }
    }
    if (pos >= line.size()) return std::nullopt;
    return out;
}

}  // namespace win::regtext
