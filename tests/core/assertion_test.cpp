// Client-credentials assertion: the message, and its signature by keys given
// as hex text. Every expected value is fixed text: the message as written
// out, the signatures made with ethers v6 (signMessageSync) over the
// assertion for ("shop.test", 7, "n-1", 1700000000).
#include <gtest/gtest.h>

#include <string>

#include "quorent/assertion.hpp"

using namespace quorent::assertion;

namespace {

constexpr const char* kKey = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318";
constexpr const char* kKeyUpper = "4C0883A69102937D6231471B5DBB6204FE5129617082792AE468D01A3F362318";
constexpr const char* kSig =
    "0x655366ced13172cc01374d3596a811fffd689606e8b07391c1516fda863a9ea93f4b2d3b7c7f319b778da9b95c21ab209dbd915a0960"
    "8cb2acbc80f4e810d8e21c";
// A key whose first byte is zero, and the same key without that byte.
constexpr const char* kShortKey = "c0ffee00112233445566778899aabbccddeeff00112233445566778899aabb";
constexpr const char* kShortSig =
    "0x5c46eb257a1b26cf35c47629dd2eecc7e071ff756e33d3b811827da0ec46714752821c42c2ba59d805649ac66fdd8da8f6f3a6c5c8e2"
    "d8fdfe7fb6a02b574d1e1b";

TEST(ClientAssertion, Message) {
    EXPECT_EQ(build_client_assertion("shop.test", 7, "n-1", 1700000000),
              "Quorent client-credentials\ndomain: shop.test\ntenant: 7\nnonce: n-1\nissued-at: 1700000000");
    EXPECT_EQ(build_client_assertion("", 0, "", UINT64_MAX),
              "Quorent client-credentials\ndomain: \ntenant: 0\nnonce: \nissued-at: 18446744073709551615");
    EXPECT_EQ(build_client_assertion("d", 1, "a\nb", 2),
              "Quorent client-credentials\ndomain: d\ntenant: 1\nnonce: a\nb\nissued-at: 2");
}

TEST(ClientAssertion, KeyTextFormsAndRefusals) {
    const std::string key = kKey;
    const std::pair<std::string, std::string> cases[] = {
        {key, kSig},
        {"0x" + key, kSig},
        {"0x0x" + key, kSig},
        {kKeyUpper, kSig},
        {std::string("00") + kShortKey, kShortSig},
        {kShortKey, kShortSig},  // 31 bytes sign like the same value padded to 32
        {"0X" + key, "input: Invalid character 'X' at position 1"},
        {key.substr(1), "input: Odd number of digits"},
        {"zz" + key.substr(2), "input: Invalid character 'z' at position 0"},
        {std::string(46, '1'), "crypto: signature error"},  // 23 bytes
        {std::string(66, '1'), "crypto: signature error"},  // 33 bytes
        {"", "crypto: signature error"},
        {std::string(64, '0'), "crypto: signature error"},
        {"fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141", "crypto: signature error"},  // n
    };
    for (const auto& [text, want] : cases) {
        auto r = sign_client_assertion(text, "shop.test", 7, "n-1", 1700000000);
        EXPECT_EQ(r.ok() ? r.value() : r.error().display(), want) << text;
    }
}

}  // namespace
