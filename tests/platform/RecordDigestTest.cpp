// The payload records' digests: both XXH3-128 kernels against the xxHash library's own
// answers, SHA-256 through the same interface, and what counts as a stored digest.

#include <gtest/gtest.h>
#include <xxhash.h>

#include <string>
#include <vector>

#include "platform/HexText.h"
#include "platform/RecordDigest.h"
#include "platform/Xxh128Kernel.h"

namespace {

std::string LibraryXxh128(const std::string& bytes) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
    return HexDigits(canonical.digest, sizeof canonical.digest);
}

std::string KernelXxh128(const Xxh128Kernel& kernel, const std::string& bytes, std::size_t piece) {
    void* state = kernel.create();
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        kernel.update(state, bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    unsigned char digest[16];
    kernel.digest(state, digest);
    kernel.destroy(state);
    return HexDigits(digest, sizeof digest);
}

// Lengths on both sides of the hash's internal boundaries: short inputs, 128 and 240 bytes,
// its 1 KiB stripes and 64 KiB-scale blocks.
std::vector<std::string> Inputs() {
    std::vector<std::string> inputs;
    for (const std::size_t size :
         {0u, 1u, 3u, 16u, 17u, 128u, 129u, 240u, 241u, 1024u, 1025u, 70000u, (1u << 20) + 5u}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 251);
        inputs.push_back(std::move(bytes));
    }
    return inputs;
}

TEST(RecordDigest, BothXxh128KernelsGiveTheLibrarysDigestHoweverTheBytesArrive) {
    std::vector<std::pair<const char*, const Xxh128Kernel*>> kernels = {
        {"baseline", &kXxh128Baseline}};
    if (__builtin_cpu_supports("avx2")) kernels.emplace_back("avx2", &kXxh128Avx2);
    for (const auto& input : Inputs()) {
        const std::string expected = LibraryXxh128(input);
        for (const auto& [name, kernel] : kernels) {
            for (const std::size_t piece :
                 {std::size_t{1} << 20, std::size_t{7}, std::size_t{4096}}) {
                if (piece == 1 << 20 || input.size() < 100000) {
                    EXPECT_EQ(KernelXxh128(*kernel, input, piece), expected)
                        << name << ", " << input.size() << " bytes in pieces of " << piece;
                }
            }
        }
    }
}

TEST(RecordDigest, StartsAfreshAfterEachDigest) {
    const struct {
        DigestKind kind;
        const char* abc;
    } cases[] = {
        {DigestKind::Xxh128, nullptr},
        {DigestKind::Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    };
    for (const auto& c : cases) {
        RecordDigest digest(c.kind);
        digest.Update("abc", 3);
        const std::string first = digest.HexDigest();
        digest.Update("abc", 3);
        EXPECT_EQ(digest.HexDigest(), first) << DigestName(c.kind);
        EXPECT_EQ(first, c.abc ? std::string(c.abc) : LibraryXxh128("abc"));
    }
}

TEST(RecordDigest, AStoredDigestIsExactlyItsHexadecimalDigits) {
    const std::string xxh(32, 'a');
    const std::string sha(64, '0');
    const struct {
        DigestKind kind;
        std::string text;
        bool digest;
    } cases[] = {
        {DigestKind::Xxh128, xxh, true},
        {DigestKind::Xxh128, "0123456789ABCDEFabcdef0123456789", true},
        {DigestKind::Xxh128, xxh.substr(1), false},
        {DigestKind::Xxh128, xxh + "a", false},
        {DigestKind::Xxh128, " " + xxh.substr(1), false},
        {DigestKind::Xxh128, xxh.substr(1) + "\n", false},
        {DigestKind::Xxh128, xxh.substr(1) + "g", false},
        {DigestKind::Xxh128, sha, false},
        {DigestKind::Sha256, sha, true},
        {DigestKind::Sha256, xxh, false},
        {DigestKind::Sha256, "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsDigestText(c.kind, c.text), c.digest)
            << DigestName(c.kind) << " '" << c.text << "'";
    }
}

TEST(RecordDigest, AStoredDigestMatchesInEitherCase) {
    EXPECT_TRUE(SameDigest("00ABcd", "00abcd"));
    EXPECT_FALSE(SameDigest("00abce", "00abcd"));
    EXPECT_FALSE(SameDigest("00abc", "00abcd"));
}

}  // namespace
