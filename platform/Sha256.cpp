#include "platform/Sha256.h"

#include <nettle/sha2.h>

#include "platform/HexText.h"

Sha256::Sha256() : context_(std::make_unique<sha256_ctx>()) { sha256_init(context_.get()); }

Sha256::~Sha256() = default;

void Sha256::Update(const char* data, std::size_t length) {
    sha256_update(context_.get(), length, reinterpret_cast<const std::uint8_t*>(data));
}

std::string Sha256::HexDigest() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(context_.get(), sizeof digest, digest);
    return HexDigits(digest, sizeof digest);
}
