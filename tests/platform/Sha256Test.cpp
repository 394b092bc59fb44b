// SHA-256 against the test vectors of FIPS 180-2, fed whole and in uneven pieces.

#include <gtest/gtest.h>

#include <string>

#include "platform/Sha256.h"

namespace {

TEST(Sha256, GivesTheStandardDigestsHoweverTheBytesArrive) {
    const struct {
        const char* what;
        std::string message;
        const char* digest;
    } vectors[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"a million a", std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    Sha256 sha;
    for (const auto& v : vectors) {
        sha.Update(v.message.data(), v.message.size());
        EXPECT_EQ(sha.HexDigest(), v.digest) << v.what << ", whole";
        // Pieces of 1, 2, 3, ... bytes cross every block boundary in a different place.
        std::size_t at = 0;
        for (std::size_t piece = 1; at < v.message.size(); ++piece) {
            const std::size_t length = std::min(piece, v.message.size() - at);
            sha.Update(v.message.data() + at, length);
            at += length;
        }
        EXPECT_EQ(sha.HexDigest(), v.digest) << v.what << ", in pieces";
    }
}

}  // namespace
