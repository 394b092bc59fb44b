#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>

#include "platform/SetupError.h"

namespace cp936 {
namespace {

// One iconv conversion of a whole text. iconv is told the exact input length, so embedded
// NUL bytes pass through unchanged.
std::string Convert(const char* to, const char* from, std::string_view input) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw SetupError(std::string("No conversion from ") + from + " to " + to);
    }
    std::string output(input.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    const int error = errno;
    iconv_close(cd);
    if (result == static_cast<size_t>(-1)) {
        const auto offset = std::to_string(input.size() - inLeft);
        throw SetupError(std::string(error == EILSEQ || error == EINVAL
                                         ? "Text cannot be converted from "
                                         : "Text conversion failed from ") +
                         from + " to " + to + " at byte " + offset);
    }
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace

bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

std::string ToUtf8(std::string_view gbk) { return Convert("UTF-8", "CP936", gbk); }

std::string FromUtf8(std::string_view utf8) { return Convert("CP936", "UTF-8", utf8); }

inline namespace literals {
std::string operator""_gbk(const char* utf8, std::size_t size) { return FromUtf8({utf8, size}); }
}  // namespace literals

std::u16string ToUtf16(std::string_view gbk) {
    const std::string bytes = Convert("UTF-16LE", "CP936", gbk);
    std::u16string result(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < result.size(); ++i) {
        result[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return result;
}

std::string_view::size_type LastDelimiter(std::string_view text, std::string_view delimiters) {
    auto found = std::string_view::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            ++i;  // the trail byte belongs to this character
        } else if (delimiters.find(text[i]) != std::string_view::npos) {
            found = i;
        }
    }
    return found;
}

std::string_view::size_type LastCharStart(std::string_view text) {
    auto start = std::string_view::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        start = i;
        if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
    }
    return start;
}

std::string TrimControl(std::string_view text) {
    auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isControl(text[begin])) ++begin;
    while (end > begin && isControl(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace cp936
