#include "utils/mUtils.h"

std::string HexText(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        result += kDigits[byte >> 4];
        result += kDigits[byte & 0x0F];
    }
    return result;
}

std::string ScrambleText(std::string_view text, std::uint16_t key) {
    std::string scrambled(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto source = static_cast<unsigned char>(text[i]);
        const auto out = static_cast<unsigned char>(source ^ (key >> 8));
        key = static_cast<std::uint16_t>((key + out) * 11 + 12);
        // A zero would end the text where it is kept as a C string: the source byte stands
        // instead, after the key has taken the zero.
        scrambled[i] = static_cast<char>(out == 0 ? source : out);
    }
    return HexText(scrambled);
}

std::string EncodeFieldText(std::string_view text) {
    std::string decimals;
    for (const char c : text) {
        decimals += ',';
        decimals += std::to_string(static_cast<unsigned char>(c));
    }
    if (!decimals.empty()) decimals.erase(0, 1);

    std::string codes;
    codes.reserve(decimals.size() * 2);
    for (const char c : decimals) codes += std::to_string(static_cast<unsigned char>(c));
    return ScrambleText(codes, kFieldTextKey);
}
