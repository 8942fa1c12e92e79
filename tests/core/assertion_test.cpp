// Client-credentials assertion.
//
// The fixed signatures were produced independently with ethers v6 on Node.js
// (new Wallet(key).signMessageSync(message)).
#include <gtest/gtest.h>

#include <string>

#include "quorent/assertion.hpp"
#include "quorent/encoding.hpp"
#include "quorent/wallet.hpp"

using namespace quorent;
using namespace quorent::assertion;

namespace {

constexpr std::string_view kKeyA = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318";
constexpr std::string_view kKeyB = "00c0ffee00112233445566778899aabbccddeeff00112233445566778899aabb";
constexpr std::string_view kSigA =
    "0x655366ced13172cc01374d3596a811fffd689606e8b07391c1516fda863a9ea93f4b2d3b7c7f319b778da9b95c21ab209dbd915a09608cb2acbc80f4e810d8e21c";
constexpr std::string_view kSigB =
    "0x5c46eb257a1b26cf35c47629dd2eecc7e071ff756e33d3b811827da0ec46714752821c42c2ba59d805649ac66fdd8da8f6f3a6c5c8e2d8fdfe7fb6a02b574d1e1b";

std::string sign(std::string_view key) { 
    auto r = sign_client_assertion(key, "shop.test", 7, "n-1", 1700000000);
    EXPECT_TRUE(r.ok()) << r.error().display();
    return r.ok() ? r.value() : std::string();
}

CoreError error_of(std::string_view key) {
    auto r = sign_client_assertion(key, "shop.test", 7, "n-1", 1700000000);
    EXPECT_FALSE(r.ok());
    return r.ok() ? CoreError{} : r.error();
}

}  // namespace

TEST(ClientAssertion, Message) {
    EXPECT_EQ(build_client_assertion("shop.test", 7, "n-1", 1700000000),
              "Quorent client-credentials\ndomain: shop.test\ntenant: 7\nnonce: n-1\nissued-at: 1700000000");
    EXPECT_EQ(build_client_assertion("", 0, "", UINT64_MAX),
              "Quorent client-credentials\ndomain: \ntenant: 0\nnonce: \nissued-at: 18446744073709551615");
    EXPECT_EQ(build_client_assertion("d", 1, "a\nb", 2),
              "Quorent client-credentials\ndomain: d\ntenant: 1\nnonce: a\nb\nissued-at: 2");
}

TEST(ClientAssertion, SignatureMatchesIndependentVectors) {
    EXPECT_EQ(sign(kKeyA), kSigA);
    EXPECT_EQ(sign(kKeyB), kSigB);
    const std::string s = sign(kKeyA);
    EXPECT_EQ(s.size(), 132u);
    EXPECT_EQ(s, sign(kKeyA));
}

TEST(ClientAssertion, KeyTextForms) {
    const std::string a(kKeyA);
    EXPECT_EQ(sign("0x" + a), kSigA);
    EXPECT_EQ(sign("0x0x" + a), kSigA);
    std::string upper = a;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(sign(upper), kSigA);
    // 31 bytes sign like the same value padded to 32.
    EXPECT_EQ(sign(kKeyB.substr(2)), kSigB);

    EXPECT_EQ(error_of("0X" + a), (CoreError{ErrorKind::Input, "Invalid character 'X' at position 1"}));
    EXPECT_EQ(error_of(a.substr(1)), (CoreError{ErrorKind::Input, "Odd number of digits"}));
    EXPECT_EQ(error_of("zz" + a.substr(2)), (CoreError{ErrorKind::Input, "Invalid character 'z' at position 0"}));
}

TEST(ClientAssertion, BadKeys) {
    const CoreError sig_error{ErrorKind::Crypto, "signature error"};
    EXPECT_EQ(error_of(std::string(46, '1')), sig_error);  // 23 bytes
    EXPECT_EQ(error_of(std::string(66, '1')), sig_error);  // 33 bytes
    EXPECT_EQ(error_of(""), sig_error);
    EXPECT_EQ(error_of(std::string(64, '0')), sig_error);
    EXPECT_EQ(error_of("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141"), sig_error);  // n
}

TEST(ClientAssertion, RecoversToSigningKey) {
    const std::string msg = build_client_assertion("api.example", 42, "nonce-\xE2\x9C\x93", 1234567890);
    auto sig = sign_client_assertion(kKeyB, "api.example", 42, "nonce-\xE2\x9C\x93", 1234567890);
    ASSERT_TRUE(sig.ok());
    auto bytes = hex_decode(std::string_view(sig.value()).substr(2), ErrorKind::Input);
    ASSERT_TRUE(bytes.ok());
    EXPECT_TRUE(bytes.value()[64] == 27 || bytes.value()[64] == 28);
    auto signer = wallet::recover_signer(msg, bytes.value());
    ASSERT_TRUE(signer.ok());
    EXPECT_EQ(wallet::format_address(signer.value()), "0x451404437014ff5e18039586011da042780833a6");
}
