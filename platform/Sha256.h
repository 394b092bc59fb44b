#pragma once
// SHA-256 of a byte stream fed in pieces: the digest payloads of earlier builds carry.

#include <cstddef>
#include <memory>
#include <string>

struct sha256_ctx;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const char* data, std::size_t length);
    // The digest as 64 lower-case hexadecimal digits; the object then starts afresh.
    std::string HexDigest();

private:
    std::unique_ptr<sha256_ctx> context_;
};
