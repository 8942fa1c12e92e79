// Origin vouches: message, signer recovery, registry call data and answer.
//
// Fixed signatures and call data were produced independently with ethers v6
// on Node.js (Wallet.signMessageSync over the message text below, and
// Interface.encodeFunctionData for
// "function isOriginVoucher(uint256 tenant, address signer, uint64 epoch)").
#include <gtest/gtest.h>

#include <string>

#include "quorent/encoding.hpp"
#include "quorent/originvouch.hpp"
#include "quorent/wallet.hpp"

using namespace quorent;
using namespace quorent::originvouch;

namespace {

Bytes hex(std::string_view text) {
    auto r = hex_decode(strip_0x_prefixes(text), ErrorKind::Input);
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : Bytes{};
}

const std::string kExample =
    "https://shop.test is claiming to act for Quorent tenant 7.\n"
    "\n"
    "Signing this authorises https://shop.test to ask people and agents for deeds\n"
    "belonging to the tenant below. Only sign it if you administer that\n"
    "tenant AND you control https://shop.test \xE2\x80\x94 anyone holding this signature can\n"
    "make holders believe https://shop.test speaks for you.\n"
    "\n"
    "Tenant: 7\n"
    "Audience: web\n"
    "Origin: https://shop.test\n"
    "Epoch: 3\n"
    "Expires (unix seconds): 1700000000\n"
    "\n"
    "quorent-origin-v1";

// ethers: key 4c0883a6...362318 (address 0x2c7536e3605d9c16a7a3d7b1898e529396a65c23)
// and key 1 (address 0x7e5f4552091a69125d5dfcb7b8c2659029395bdf), both over kExample.
constexpr std::string_view kSigKeyA =
    "7eac74802c2830316c04e24dd89742e6706af414ce127ea43aa354f2ec66c01862f7ef5bb5a7cab5dd94e37242a297666e123033c0da7e358d978836ef552ee61c";
constexpr std::string_view kAddrA = "0x2c7536e3605d9c16a7a3d7b1898e529396a65c23";
constexpr std::string_view kSigKeyOne =
    "be8ac548c9d6c3fc912ee0f1d7991c1d02130fdfcf4658046a4f0541527a090309fd5a349bb801a638677a9a45296f6741b52be5cf399b5ed1e404af5139bab01b";
constexpr std::string_view kAddrOne = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";

std::size_t count(const std::string& hay, std::string_view needle) {
    std::size_t n = 0;
    for (auto pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1)) ++n;
    return n;
}

}  // namespace

TEST(OriginVouch, MessageExample) {
    auto m = origin_vouch_binding(7, "web", "https://shop.test", 3, 1700000000, false);
    ASSERT_TRUE(m.ok()) << m.error().display();
    EXPECT_EQ(m.value(), kExample);
}

TEST(OriginVouch, ArgumentsInsertedAsPassed) {
    // The origin is checked but not replaced by its canonical text.
    auto m = origin_vouch_binding(0, "", "https://Shop.test/", 0, UINT64_MAX, false);
    ASSERT_TRUE(m.ok()) << m.error().display();
    EXPECT_EQ(count(m.value(), "https://Shop.test/"), 5u);
    EXPECT_EQ(count(m.value(), "https://shop.test"), 0u);
    EXPECT_NE(m.value().find("tenant 0.\n"), std::string::npos);
    EXPECT_NE(m.value().find("\nTenant: 0\nAudience: \nOrigin: "), std::string::npos);
    EXPECT_NE(m.value().find("\nExpires (unix seconds): 18446744073709551615\n\nquorent-origin-v1"),
              std::string::npos);
    EXPECT_EQ(m.value().back(), '1');  // no final line feed

    // aud is not escaped.
    auto odd = origin_vouch_binding(1, "a\nb|c", "https://shop.test", 1, 1, false);
    ASSERT_TRUE(odd.ok());
    EXPECT_NE(odd.value().find("\nAudience: a\nb|c\nOrigin: "), std::string::npos);
}

TEST(OriginVouch, BindingAppliesOriginPolicy) {
    auto refused = origin_vouch_binding(7, "web", "http://localhost:3000", 3, 4, false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), (CoreError{ErrorKind::InsecureOrigin,
                                          "http://localhost:3000: scheme must be https in production"}));
    auto allowed = origin_vouch_binding(7, "web", "http://localhost:3000", 3, 4, true);
    ASSERT_TRUE(allowed.ok());
    EXPECT_EQ(allowed.value(), vouch_message(7, "web", "http://localhost:3000", 3, 4));

    const CoreError path{ErrorKind::Input,
                         "origin: must be scheme://host[:port], optionally with one trailing slash, and no path"};
    EXPECT_EQ(origin_vouch_binding(7, "web", "https://a/b", 3, 4, true).error(), path);
}

TEST(OriginVouch, SignerRecoversIndependentSignatures) {
    auto a = origin_vouch_signer(7, "web", "https://shop.test", 3, 1700000000, hex(kSigKeyA));
    ASSERT_TRUE(a.ok()) << a.error().display();
    EXPECT_EQ(wallet::format_address(a.value()), kAddrA);
    auto one = origin_vouch_signer(7, "web", "https://shop.test", 3, 1700000000, hex(kSigKeyOne));
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(wallet::format_address(one.value()), kAddrOne);
}

TEST(OriginVouch, SignerOfOwnSignatureAndAnyArgumentChange) {
    auto key = wallet::SecretKey::from_bytes(hex("4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"));
    ASSERT_TRUE(key.ok());
    const std::string origin = "http://localhost:8080";  // accepted by the signer operation
    auto msg = origin_vouch_binding(9, "aud", origin, 2, 1800000000, true);
    ASSERT_TRUE(msg.ok());
    const auto sig = wallet::eip191_sign(key.value(), msg.value());
    const Bytes sb(sig.begin(), sig.end());

    auto same = origin_vouch_signer(9, "aud", origin, 2, 1800000000, sb);
    ASSERT_TRUE(same.ok()) << same.error().display();
    EXPECT_EQ(wallet::format_address(same.value()), kAddrA);

    const Result<wallet::Address> changed[] = {
        origin_vouch_signer(10, "aud", origin, 2, 1800000000, sb),
        origin_vouch_signer(9, "aud2", origin, 2, 1800000000, sb),
        origin_vouch_signer(9, "aud", "http://localhost:8081", 2, 1800000000, sb),
        origin_vouch_signer(9, "aud", "http://LOCALHOST:8080", 2, 1800000000, sb),
        origin_vouch_signer(9, "aud", origin, 3, 1800000000, sb),
        origin_vouch_signer(9, "aud", origin, 2, 1800000001, sb),
    };
    for (const auto& r : changed) {
        ASSERT_TRUE(r.ok());
        EXPECT_NE(r.value(), same.value());
    }
}

TEST(OriginVouch, SignerFailures) {
    const Bytes good = hex(kSigKeyA);
    const CoreError path{ErrorKind::Input,
                         "origin: must be scheme://host[:port], optionally with one trailing slash, and no path"};
    EXPECT_EQ(origin_vouch_signer(7, "web", "https://a/b", 3, 1700000000, good).error(), path);
    EXPECT_EQ(origin_vouch_signer(7, "web", "https://shop.test", 3, 1700000000, Bytes(good.begin(), good.end() - 1))
                  .error(),
              (CoreError{ErrorKind::Input, "signature must be 65 bytes"}));
    Bytes bad_v = good;
    bad_v[64] = 2;
    EXPECT_EQ(origin_vouch_signer(7, "web", "https://shop.test", 3, 1700000000, bad_v).error(),
              (CoreError{ErrorKind::Input, "recovery id must be 0, 1, 27, or 28"}));
    EXPECT_EQ(origin_vouch_signer(7, "web", "https://shop.test", 3, 1700000000, Bytes(65, 0)).error(),
              (CoreError{ErrorKind::Crypto, "signature error"}));
}

TEST(OriginVouch, MaxTtl) { EXPECT_EQ(ORIGIN_VOUCH_MAX_TTL_SECS, 7776000u); }

TEST(RegistryCall, SelectorIsKeccakOfSignature) {
    const auto h = wallet::keccak256("isOriginVoucher(uint256,address,uint64)");
    EXPECT_TRUE(std::equal(IS_ORIGIN_VOUCHER_SELECTOR.begin(), IS_ORIGIN_VOUCHER_SELECTOR.end(), h.begin()));
}

TEST(RegistryCall, CalldataMatchesAbiEncoder) {
    struct Case {
        std::uint64_t tenant;
        const char* signer;
        std::uint64_t epoch;
        const char* expected;
    };
    const Case cases[] = {
        {1, "1111111111111111111111111111111111111111", 2,
         "04e8e8da0000000000000000000000000000000000000000000000000000000000000001"
         "0000000000000000000000001111111111111111111111111111111111111111"
         "0000000000000000000000000000000000000000000000000000000000000002"},
        {UINT64_MAX, "7e5f4552091a69125d5dfcb7b8c2659029395bdf", UINT64_MAX,
         "04e8e8da000000000000000000000000000000000000000000000000ffffffffffffffff"
         "0000000000000000000000007e5f4552091a69125d5dfcb7b8c2659029395bdf"
         "000000000000000000000000000000000000000000000000ffffffffffffffff"},
        {7, "abcdefabcdef0123456789abcdef0123456789ab", 3,
         "04e8e8da0000000000000000000000000000000000000000000000000000000000000007"
         "000000000000000000000000abcdefabcdef0123456789abcdef0123456789ab"
         "0000000000000000000000000000000000000000000000000000000000000003"},
    };
    for (const auto& c : cases) {
        wallet::Address a;
        const Bytes s = hex(c.signer);
        std::copy(s.begin(), s.end(), a.bytes.begin());
        const Bytes data = is_origin_voucher_calldata(c.tenant, a, c.epoch);
        EXPECT_EQ(data.size(), 100u);
        EXPECT_EQ(hex_encode(data), c.expected);
    }
}

TEST(RegistryCall, DecodeBoolReturn) {
    Bytes word(32, 0);
    EXPECT_EQ(decode_bool_return(word).value(), false);
    word[31] = 1;
    EXPECT_EQ(decode_bool_return(word).value(), true);
    word[31] = 2;
    EXPECT_EQ(decode_bool_return(word).value(), true);
    word[31] = 0;
    word[0] = 1;  // only the last byte decides
    EXPECT_EQ(decode_bool_return(word).value(), false);

    EXPECT_EQ(decode_bool_return(Bytes{}).error(),
              (CoreError{ErrorKind::Input, "isOriginVoucher returned 0 bytes, expected 32"}));
    EXPECT_EQ(decode_bool_return(Bytes(31, 1)).error(),
              (CoreError{ErrorKind::Input, "isOriginVoucher returned 31 bytes, expected 32"}));
    EXPECT_EQ(decode_bool_return(Bytes(64, 1)).error(),
              (CoreError{ErrorKind::Input, "isOriginVoucher returned 64 bytes, expected 32"}));
}
