#include "platform/RecordDigest.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <optional>

#include "platform/HexText.h"
#include "platform/Sha256.h"
#include "platform/Xxh128Kernel.h"

namespace {

// Chosen once: the processor does not change while the program runs.
const Xxh128Kernel& Kernel() {
#if defined(__x86_64__)
    static const Xxh128Kernel& kernel =
        __builtin_cpu_supports("avx2") ? kXxh128Avx2 : kXxh128Baseline;
    return kernel;
#else
    return kXxh128Baseline;
#endif
}

class Xxh128 {
public:
    Xxh128() : kernel_(Kernel()), state_(kernel_.create()) {
        if (!state_) throw std::bad_alloc();
    }
    ~Xxh128() { kernel_.destroy(state_); }
    Xxh128(const Xxh128&) = delete;
    Xxh128& operator=(const Xxh128&) = delete;

    void Update(const char* data, std::size_t length) { kernel_.update(state_, data, length); }
    std::string HexDigest() {
        unsigned char digest[16];
        kernel_.digest(state_, digest);
        return HexDigits(digest, sizeof digest);
    }

private:
    const Xxh128Kernel& kernel_;
    void* state_;
};

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::string_view DigestColumn(DigestKind kind) {
    return kind == DigestKind::Xxh128 ? "XXH128" : "SHA256";
}

std::string_view DigestName(DigestKind kind) {
    return kind == DigestKind::Xxh128 ? "XXH3-128" : "SHA-256";
}

bool IsDigestText(DigestKind kind, std::string_view text) {
    const std::size_t digits = kind == DigestKind::Xxh128 ? 32 : 64;
    return text.size() == digits && std::all_of(text.begin(), text.end(), IsHexDigit);
}

bool SameDigest(std::string_view stored, std::string_view hexDigest) {
    return std::equal(stored.begin(), stored.end(), hexDigest.begin(), hexDigest.end(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// One of the two, by the kind asked for.
struct RecordDigest::State {
    std::optional<Xxh128> xxh128;
    std::optional<Sha256> sha256;
};

RecordDigest::RecordDigest(DigestKind kind) : kind_(kind), state_(std::make_unique<State>()) {
    if (kind == DigestKind::Xxh128)
        state_->xxh128.emplace();
    else
        state_->sha256.emplace();
}

RecordDigest::~RecordDigest() = default;

void RecordDigest::Update(const char* data, std::size_t length) {
    if (state_->xxh128)
        state_->xxh128->Update(data, length);
    else
        state_->sha256->Update(data, length);
}

std::string RecordDigest::HexDigest() {
    return state_->xxh128 ? state_->xxh128->HexDigest() : state_->sha256->HexDigest();
}
