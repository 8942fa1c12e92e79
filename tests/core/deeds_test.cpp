// User keys and the kinds of deed minted from host-supplied signatures,
// against the fixed vectors of vectors.hpp and a few more computed the same
// way (app keys for other tenants and origins, another user deed).
#include <gtest/gtest.h>

#include <string>

#include "quorent/encoding.hpp"
#include "quorent/userpasskey.hpp"
#include "quorent/usersig.hpp"
#include "quorent/wallet.hpp"
#include "vectors.hpp"

using namespace quorent;
using namespace vectors;

namespace {

const std::string kDash = "\xE2\x80\x94";
const std::string kShopRootBinding =
    "https://shop.test is asking you to sign in.\n\nSigning this message derives your private sign-in key for "
    "https://shop.test,\nand nothing else. Only sign it if you are on https://shop.test right now " +
    kDash +
    "\nsigning it on any other site lets that site sign in as you here.\n\nThis is not a transaction and cannot "
    "move your funds.\n\nOrigin: https://shop.test\n\nquorent-sovereign-user-root-v2";

Bytes hex(std::string_view text) {
    auto r = hex_decode(text, ErrorKind::Input);
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : Bytes{};
}

std::array<std::uint8_t, 32> arr32(std::string_view text) {
    const Bytes b = hex(text);
    std::array<std::uint8_t, 32> a{};
    std::copy(b.begin(), b.end(), a.begin());
    return a;
}

wallet::SecretKey key(std::string_view text) {
    auto r = wallet::SecretKey::from_bytes(hex(text));
    if (!r.ok()) throw std::runtime_error("bad test key");
    return std::move(r).value();
}

// A signing source that hands out the given signatures in turn and records
// the messages it was asked to sign.
struct Source {
    std::vector<Bytes> sigs;
    std::vector<std::string> asked;
    usersig::SigningSource fn() {
        return [this](std::string_view m) -> Result<Bytes> {
            asked.emplace_back(m);
            return sigs.at(asked.size() - 1);
        };
    }
};

void expect_error(const CoreError& e, ErrorKind kind, const std::string& detail) {
    EXPECT_EQ(e.kind, kind);
    EXPECT_EQ(e.detail, detail);
}

const std::string& kPathError = kOriginPath;

}  // namespace

// ---- root binding and root seed -------------------------------------------------

TEST(UserRootBinding, ExactTextOverTheCanonicalOrigin) {
    EXPECT_EQ(usersig::user_root_binding("https://shop.test").value(), kShopRootBinding);
    EXPECT_EQ(usersig::user_root_binding("https://Shop.test:443/").value(), kShopRootBinding);
    auto bad = usersig::user_root_binding("https://shop.test/x");
    ASSERT_FALSE(bad.ok());
    expect_error(bad.error(), ErrorKind::Input, kPathError);
}

TEST(DeriveRootSeed, HashesTheWalletSignatureOfTheRootBinding) {
    // The fixed signature is the wallet's real signature over the binding.
    auto signer = wallet::recover_signer(kShopRootBinding, hex(kRootSig));
    ASSERT_TRUE(signer.ok());
    EXPECT_EQ(wallet::format_address(*signer), kWalletAddr);

    Source src{{hex(kRootSig), hex(kRootSig)}, {}};
    auto seed = usersig::derive_root_seed("https://SHOP.test", src.fn());
    ASSERT_TRUE(seed.ok());
    EXPECT_EQ(hex_encode(seed->bytes().data(), 32), kRootSeed);
    ASSERT_EQ(src.asked.size(), 2u);
    EXPECT_EQ(src.asked[0], kShopRootBinding);
    EXPECT_EQ(src.asked[1], kShopRootBinding);
}

TEST(DeriveRootSeed, TakesAnySignatureBytesAndPassesFailuresThrough) {
    const Bytes sig = hex(kRootSig);
    // Not parsed or length-checked (only an empty signature is refused).
    Source one{{{0x01}, {0x01}}, {}};
    EXPECT_EQ(hex_encode(usersig::derive_root_seed("https://shop.test", one.fn())->bytes().data(), 32),
              "4bf5122f344554c53bde2ebb8cd2b7e3d1600ad631c385a5d7cce23c7785459a");

    // A malformed origin fails before the wallet is asked; a failing wallet
    // fails the derivation.
    Source unused{{sig, sig}, {}};
    EXPECT_FALSE(usersig::derive_root_seed("https://user@shop.test", unused.fn()).ok());
    EXPECT_TRUE(unused.asked.empty());
    const usersig::SigningSource refusing = [](std::string_view) -> Result<Bytes> {
        return CoreError{ErrorKind::Crypto, "user rejected"};
    };
    expect_error(usersig::derive_root_seed("https://shop.test", refusing).error(), ErrorKind::Crypto, "user rejected");
}

// ---- app key and pseudonym ------------------------------------------------------

TEST(DeriveAppKey, MatchesIndependentHkdfVectors) {
    struct Case {
        std::string_view seed;
        std::uint64_t tenant;
        std::string_view origin, secret, pub;
    } cases[] = {
        {kRootSeed, 7, "https://shop.test", kAppKey, kAppPub},
        {kRootSeed, 7, "https://SHOP.test:443/", kAppKey, kAppPub},
        {kRootSeed, 1, "https://shop.test", "ad1c63ceab14757d11db02b7120921017224e30f8d4c3ef63e10d767f279bd7d",
         "03ecd91cd59cce4a2b1112a005bd2cea90ed23704be37111b43208f005ebdcfb11"},
        {kRootSeed, 2, "https://shop.test", "0f522d3f644bfa254bbb935ff6f85911fb56b40306a38cd9f6b8e75799fa6a80",
         "030c3f85e4e72f5e2118e0dfd79143a470ee97c6b6f408c73bd424f74d104f6dd7"},
        {kRootSeed, 7, "https://other.test", "377c43800b7a415b84f624fd045251ed64d6b1556bffda54bda7a98a077f1eb4",
         "038995bf4d5e74c7b47cd07c0a4f788a7dcaef44326cfe6632ac94830b57d51ef2"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 0, "http://localhost:8080",
         "e951b16a1f528018ac687daed319fc84429b75361bd0b24637092e2b202fe3cb",
         "0231aade541dc26592d953ff372aed4dfacdbafea14e1ab5a8c26e0bc38e57a0dc"},
    };
    for (const auto& c : cases) {
        auto k = usersig::derive_app_key(arr32(c.seed), c.tenant, c.origin);
        ASSERT_TRUE(k.ok()) << c.origin;
        const usersig::AppKey rec = usersig::app_key_record(*k);
        EXPECT_EQ(rec.secret_key_hex, c.secret) << c.tenant << " " << c.origin;
        EXPECT_EQ(rec.pubkey_hex, c.pub) << c.tenant << " " << c.origin;
    }
}

// ---- user binding and user-sig deed -----------------------------------------------

TEST(UserBinding, CopiesTextsWithoutEscapingOrCanonicalising) {
    EXPECT_EQ(usersig::user_binding_message(1, "a|b:c", "https://X/", "|", 2),
              "quorent-sovereign-user-v1|tenant:1|aud:a|b:c|origin:https://X/|challenge:||exp:2");
}

TEST(MintUserDeed, MatchesIndependentSignatureAndPseudonym) {
    // Tenant 0, empty texts, the largest exp (the interface test signs in with kAppKey).
    auto k = key("e951b16a1f528018ac687daed319fc84429b75361bd0b24637092e2b202fe3cb");
    auto d = usersig::mint_user_deed(k, 0, "", "http://localhost:8080", "", UINT64_MAX);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d->mode, "user-sig");
    EXPECT_EQ(d->signature,
              "24e6d00ab828461202b2b828117935c4cdd59d65cf0387cc964d4ffe56591ceb16d4ec37e4b4d59e1ac5d"
              "cbbf232d250980975048c4d7b6fcda790dec7c784d3");
    EXPECT_EQ(d->sub, "e6466f7c7cf34145a340a42d360151c338a84c868869abce33ce1aecd2b9dec7");
    EXPECT_FALSE(d->signer || d->credential_pubkey || d->root || d->proof || d->grants || d->delegations);
}

// ---- user-passkey ------------------------------------------------------------------------

TEST(PasskeySub, LowerCasingIsUnicodeAndKeepsBytesThatAreNotUtf8) {
    EXPECT_EQ(userpasskey::lower_key_text("04\xC3\x84"
                                          "B")
                  .value(),
              "04\xC3\xA4"
              "b");                                                           // Ä -> ä
    EXPECT_EQ(userpasskey::lower_key_text("\xC4\xB0").value(), "i\xCC\x87");  // İ -> i + combining dot
    EXPECT_EQ(userpasskey::lower_key_text("A\xFF"
                                          "B\xC3")
                  .value(),
              "a\xFF"
              "b\xC3");
    EXPECT_EQ(userpasskey::passkey_sub(7, "https://shop.test",
                                       "04\xC3\x84"
                                       "B")
                  .value(),
              userpasskey::passkey_sub(7, "https://shop.test",
                                       "04\xC3\xA4"
                                       "b")
                  .value());
}

TEST(MintUserPasskeyDeed, EmptyAssertionTextsArePresentAndEmpty) {
    auto d = userpasskey::mint_user_passkey_deed("", "", "", "", 7, "", "https://shop.test", "", 0);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d->credential_pubkey, "");
    EXPECT_EQ(d->authenticator_data, "");
    EXPECT_EQ(d->client_data_json, "");
    EXPECT_EQ(d->assertion_sig, "");
}
