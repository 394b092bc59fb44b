#pragma once
// Bytes as lower-case hexadecimal digits, two a byte.

#include <cstddef>
#include <string>

inline std::string HexDigits(const unsigned char* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (std::size_t i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}
