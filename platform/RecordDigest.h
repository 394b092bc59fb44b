#pragma once
// The digests a payload record can carry, each in a column of its own: XXH3-128 (column
// XXH128, 32 hexadecimal digits), which the payload tool writes, and SHA-256 (column SHA256,
// 64 digits), which payloads of earlier builds carry. Either guards against damage (a bad
// medium, a download cut short), not against a deliberate change: the digest travels in the
// same file as the bytes it covers, so a fast non-cryptographic hash protects as well.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

enum class DigestKind { Xxh128, Sha256 };

// In the order an installation prefers them.
inline constexpr DigestKind kDigestKinds[] = {DigestKind::Xxh128, DigestKind::Sha256};

// "XXH128" or "SHA256".
std::string_view DigestColumn(DigestKind kind);
// "XXH3-128" or "SHA-256", as messages name them.
std::string_view DigestName(DigestKind kind);
// True when text is exactly the digest's number of hexadecimal digits, of either case,
// with nothing around them.
bool IsDigestText(DigestKind kind, std::string_view text);
// True when a stored digest names this one: its hexadecimal digits may be of either case.
bool SameDigest(std::string_view stored, std::string_view hexDigest);

// A digest of a byte stream fed in pieces.
class RecordDigest {
public:
    explicit RecordDigest(DigestKind kind);
    ~RecordDigest();
    RecordDigest(const RecordDigest&) = delete;
    RecordDigest& operator=(const RecordDigest&) = delete;

    DigestKind Kind() const { return kind_; }
    void Update(const char* data, std::size_t length);
    // The digest in lower-case hexadecimal digits; the object then starts afresh.
    std::string HexDigest();

private:
    struct State;
    DigestKind kind_;
    std::unique_ptr<State> state_;
};
