#pragma once
// SHA-256 of a byte stream fed in pieces: the checksum each payload record carries.

#include <nettle/sha2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
public:
    Sha256();

    void Update(const char* data, std::size_t length);
    // The digest as 64 lower-case hexadecimal digits; the object then starts afresh.
    std::string HexDigest();

private:
    sha256_ctx context_;
};

// True when a stored checksum names this digest: its hexadecimal digits may be of either case.
bool SameDigest(std::string_view stored, std::string_view hexDigest);
