#include "platform/Sha256.h"

#include <algorithm>
#include <cctype>

Sha256::Sha256() { sha256_init(&context_); }

void Sha256::Update(const char* data, std::size_t length) {
    sha256_update(&context_, length, reinterpret_cast<const std::uint8_t*>(data));
}

std::string Sha256::HexDigest() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context_, sizeof digest, digest);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

bool SameDigest(std::string_view stored, std::string_view hexDigest) {
    return std::equal(stored.begin(), stored.end(), hexDigest.begin(), hexDigest.end(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}
