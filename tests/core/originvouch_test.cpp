// Origin vouches: message, signer recovery and registry call data (the
// example vouch and the registry's answer: the interface tests).
//
// The signatures over the vouch are the wallet vectors (vectors.hpp); the call
// data was produced with ethers v6 (Interface.encodeFunctionData for
// "function isOriginVoucher(uint256 tenant, address signer, uint64 epoch)").
#include <gtest/gtest.h>

#include <string>

#include "quorent/encoding.hpp"
#include "quorent/originvouch.hpp"
#include "quorent/wallet.hpp"
#include "vectors.hpp"

using namespace quorent;
using namespace quorent::originvouch;

namespace {

Bytes hex(std::string_view text) {
    auto r = hex_decode(strip_0x_prefixes(text), ErrorKind::Input);
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : Bytes{};
}

std::size_t count(const std::string& hay, std::string_view needle) {
    std::size_t n = 0;
    for (auto pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1)) ++n;
    return n;
}

}  // namespace

TEST(OriginVouch, ArgumentsInsertedAsPassed) {
    // The origin is checked but not replaced by its canonical text.
    auto m = origin_vouch_binding(0, "", "https://Shop.test/", 0, UINT64_MAX, false);
    ASSERT_TRUE(m.ok()) << m.error().display();
    EXPECT_EQ(count(m.value(), "https://Shop.test/"), 5u);
    EXPECT_EQ(count(m.value(), "https://shop.test"), 0u);
    EXPECT_NE(m.value().find("tenant 0.\n"), std::string::npos);
    EXPECT_NE(m.value().find("\nTenant: 0\nAudience: \nOrigin: "), std::string::npos);
    EXPECT_NE(m.value().find("\nExpires (unix seconds): 18446744073709551615\n\nquorent-origin-v1"), std::string::npos);
    EXPECT_EQ(m.value().back(), '1');  // no final line feed

    // aud is not escaped.
    auto odd = origin_vouch_binding(1, "a\nb|c", "https://shop.test", 1, 1, false);
    ASSERT_TRUE(odd.ok());
    EXPECT_NE(odd.value().find("\nAudience: a\nb|c\nOrigin: "), std::string::npos);
}

TEST(OriginVouch, BindingAppliesOriginPolicy) {
    auto refused = origin_vouch_binding(7, "web", "http://localhost:3000", 3, 4, false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(),
              (CoreError{ErrorKind::InsecureOrigin, "http://localhost:3000: scheme must be https in production"}));
    auto allowed = origin_vouch_binding(7, "web", "http://localhost:3000", 3, 4, true);
    ASSERT_TRUE(allowed.ok());
    EXPECT_EQ(allowed.value(), vouch_message(7, "web", "http://localhost:3000", 3, 4));

    EXPECT_EQ(origin_vouch_binding(7, "web", "https://a/b", 3, 4, true).error(),
              (CoreError{ErrorKind::Input, vectors::kOriginPath}));
}

TEST(OriginVouch, SignerRecoversIndependentSignatures) {
    for (const auto& kv : vectors::kKeys) {
        auto a = origin_vouch_signer(7, "web", "https://shop.test", 3, 1700000000, hex(kv.sigs[vectors::kTextVouch]));
        ASSERT_TRUE(a.ok()) << a.error().display();
        EXPECT_EQ(wallet::format_address(a.value()), kv.address);
    }
}

TEST(OriginVouch, SignerOfOwnSignatureAndAnyArgumentChange) {
    auto key = wallet::SecretKey::from_bytes(hex(vectors::kKeys[1].key));
    ASSERT_TRUE(key.ok());
    const std::string origin = "http://localhost:8080";  // accepted by the signer operation
    auto msg = origin_vouch_binding(9, "aud", origin, 2, 1800000000, true);
    ASSERT_TRUE(msg.ok());
    const auto sig = wallet::eip191_sign(key.value(), msg.value());
    const Bytes sb(sig.begin(), sig.end());

    auto same = origin_vouch_signer(9, "aud", origin, 2, 1800000000, sb);
    ASSERT_TRUE(same.ok()) << same.error().display();
    EXPECT_EQ(wallet::format_address(same.value()), vectors::kKeys[1].address);

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

TEST(RegistryCall, CalldataMatchesAbiEncoder) {
    struct Case {
        std::uint64_t tenant;
        const char* signer;
        std::uint64_t epoch;
        const char* expected;
    };
    const Case cases[] = {
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
        EXPECT_EQ(hex_encode_var(data), c.expected);
    }
}
