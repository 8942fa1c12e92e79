// User keys and the four kinds of deed minted from host-supplied signatures.
//
// Fixed vectors were computed independently on Node.js 20 with
// @noble/secp256k1 2.x and @noble/hashes 1.x (sha256, keccak_256, hmac) and
// node:crypto's hkdfSync('sha256', seed, <empty salt>, info, 32):
//   wallet key  = sha256("quorent deeds test wallet")
//   root_sig    = EIP-191 signature (r||s||27+recid) of the root binding of
//                 "https://shop.test" by the wallet key
//   root_seed   = sha256(root_sig)
//   app keys    = first HKDF output below n over "tenant:T|origin:O|ctr:C"
//   deed sig    = sign(sha256(user binding), app key), low s, compact r||s
//   subs        = sha256 over the texts each pseudonym is defined by.
#include <gtest/gtest.h>

#include <string>

#include "quorent/adminsig.hpp"
#include "quorent/encoding.hpp"
#include "quorent/userpasskey.hpp"
#include "quorent/usersig.hpp"
#include "quorent/wallet.hpp"

using namespace quorent;

namespace {

constexpr std::string_view kWalletKey = "515f865eee2a65001ce8d7cce20da3d21d62dcde6f80504fd26658201004dcb0";
constexpr std::string_view kWalletAddr = "0xd13d5d041e07f8eba188caf4c08038b12deef1a1";
constexpr std::string_view kRootSig =
    "1f8ab2c9ddb85c1f6a2464238dd41ab5b7b29db585a9772738c07173c2c0101b385bd6f78c9747ba86c4284c0fe4557d1daad2ccc1c7cdb"
    "1c24478f6d0a70b701c";
constexpr std::string_view kRootSeed = "8a264ff0ab04bfcf9442a85523c405fcb236d8d10638749e1895dc5838773949";
constexpr std::string_view kAppKey7 = "31cad8dbab63f6074a3806889fb570e1493b8840c0c71b0c051c64f46a9832a4";
constexpr std::string_view kAppPub7 = "031ebd157e5e7a6763dcea8069159baf0e9e9dbe3c1eef59dbeda0e332e77a6c83";
constexpr std::string_view kSub7 = "7f57b5cf13c37e2ec05640a5d224eecbc68d38333a241db3efba9350eb814281";
constexpr std::string_view kDeedSig7 =
    "b1df2d3adc0503b4bcd1f61f6b963e9fadbcfa5c19e7b0916f542124199b613843fb0dc97892704239218c8ef670194eb9ee26f68f1ba214e"
    "3015794ba002871";
constexpr std::string_view kAdminSig =
    "89fca02614ee0d3e6b31161579dd57bc90578e9dbc10f44d6de3c843e3968bc86ca42aeb84678acccda42c87d48ab8f04458b0f31ffc7d6"
    "73b04c11814eb558e1b";

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

const std::string kPathError =
    "origin: must be scheme://host[:port], optionally with one trailing slash, and no path";

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

TEST(DeriveRootSeed, RefusesDifferingSignaturesAndPassesFailuresThrough) {
    const Bytes sig = hex(kRootSig);
    Bytes flipped = sig;
    flipped[10] ^= 1;
    const Bytes shorter(sig.begin(), sig.end() - 1);
    for (const Bytes& other : {flipped, shorter}) {
        Source src{{sig, other}, {}};
        auto r = usersig::derive_root_seed("https://shop.test", src.fn());
        ASSERT_FALSE(r.ok());
        expect_error(r.error(), ErrorKind::Crypto, "wallet signing is non-deterministic; unsupported");
    }
    // Not parsed or length-checked, but an empty signature would give every
    // user the same public seed (SHA-256 of nothing).
    Source one{{{0x01}, {0x01}}, {}};
    EXPECT_EQ(hex_encode(usersig::derive_root_seed("https://shop.test", one.fn())->bytes().data(), 32),
              "4bf5122f344554c53bde2ebb8cd2b7e3d1600ad631c385a5d7cce23c7785459a");
    Source empty{{{}, {}}, {}};
    expect_error(usersig::derive_root_seed("https://shop.test", empty.fn()).error(), ErrorKind::Crypto,
                 "wallet signature is empty");

    // A malformed origin fails before the wallet is asked; a failing wallet
    // fails the derivation.
    Source unused{{sig, sig}, {}};
    EXPECT_FALSE(usersig::derive_root_seed("https://user@shop.test", unused.fn()).ok());
    EXPECT_TRUE(unused.asked.empty());
    const usersig::SigningSource refusing = [](std::string_view) -> Result<Bytes> {
        return CoreError{ErrorKind::Crypto, "user rejected"};
    };
    expect_error(usersig::derive_root_seed("https://shop.test", refusing).error(), ErrorKind::Crypto,
                 "user rejected");
}

// ---- app key and pseudonym ------------------------------------------------------

TEST(DeriveAppKey, MatchesIndependentHkdfVectors) {
    struct Case {
        std::string_view seed;
        std::uint64_t tenant;
        std::string_view origin, secret, pub;
    } cases[] = {
        {kRootSeed, 7, "https://shop.test", kAppKey7, kAppPub7},
        {kRootSeed, 7, "https://SHOP.test:443/", kAppKey7, kAppPub7},
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
    auto bad = usersig::derive_app_key(arr32(kRootSeed), 7, "shop.test");
    ASSERT_FALSE(bad.ok());
    expect_error(bad.error(), ErrorKind::Input, "origin: must start with https:// or http://");
}

// ---- user binding and user-sig deed -----------------------------------------------

TEST(UserBinding, CopiesTextsWithoutEscapingOrCanonicalising) {
    EXPECT_EQ(usersig::user_binding(1, "a|b:c", "https://X/", "|", 2),
              "quorent-sovereign-user-v1|tenant:1|aud:a|b:c|origin:https://X/|challenge:||exp:2");
}

TEST(MintUserDeed, MatchesIndependentSignatureAndPseudonym) {
    const wallet::SecretKey k = key(kAppKey7);
    auto deed = usersig::mint_user_deed(k, 7, "app", "https://Shop.test/", "c1", 1700000000);
    ASSERT_TRUE(deed.ok());
    EXPECT_EQ(deed->v, 1);
    EXPECT_EQ(deed->mode, "user-sig");
    EXPECT_EQ(deed->sub, kSub7);
    EXPECT_EQ(deed->pubkey, kAppPub7);
    EXPECT_EQ(deed->signature, kDeedSig7);
    EXPECT_FALSE(deed->signer || deed->credential_pubkey || deed->root || deed->proof || deed->grants ||
                 deed->delegations);

    // Tenant 0, empty texts, the largest exp.
    auto k3 = key("e951b16a1f528018ac687daed319fc84429b75361bd0b24637092e2b202fe3cb");
    auto d3 = usersig::mint_user_deed(k3, 0, "", "http://localhost:8080", "", UINT64_MAX);
    ASSERT_TRUE(d3.ok());
    EXPECT_EQ(d3->signature, "24e6d00ab828461202b2b828117935c4cdd59d65cf0387cc964d4ffe56591ceb16d4ec37e4b4d59e1ac5d"
                             "cbbf232d250980975048c4d7b6fcda790dec7c784d3");
    EXPECT_EQ(d3->sub, "e6466f7c7cf34145a340a42d360151c338a84c868869abce33ce1aecd2b9dec7");

    expect_error(usersig::mint_user_deed(k, 7, "app", "https://shop.test/a", "c1", 1).error(), ErrorKind::Input,
                 kPathError);
}

// ---- admin-sig ----------------------------------------------------------------------------

TEST(AdminBinding, ExactText) {
    const std::string m = adminsig::admin_binding("console", 7, "c1", 1700000000);
    EXPECT_EQ(m,
              "console is requesting administrative access to your Quorent tenant.\n\nSigning this message grants "
              "FULL ADMINISTRATIVE ACCESS to the tenant\nbelow. Only sign it if you are on console right now " +
                  kDash +
                  " signing it on any\nother site lets that site's operator administer your tenant.\n\nTenant: "
                  "7\nChallenge: c1\nExpires (unix seconds): 1700000000\n\nquorent-sovereign-admin-v1");
    EXPECT_EQ(hex_encode(wallet::eip191_hash(m).data(), 32),
              "b2d3df9348816b800bdd010d7d5e2aef6ecb7f9cd34b806fc1464d69e30246b2");
}

TEST(MintAdminDeed, RecoversTheAccountThatSignedTheseTerms) {
    const Bytes sig = hex(kAdminSig);
    auto d = adminsig::mint_admin_deed(sig, 7, "console", "c1", 1700000000);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d->sub, kWalletAddr);
    // The same signature over other terms names some other account.
    auto other = adminsig::mint_admin_deed(sig, 7, "console", "c2", 1700000000);
    ASSERT_TRUE(other.ok());
    EXPECT_NE(other->sub, kWalletAddr);
}

// ---- user-passkey ------------------------------------------------------------------------

TEST(PasskeySub, LowerCasingIsUnicodeAndKeepsBytesThatAreNotUtf8) {
    EXPECT_EQ(userpasskey::lower_key_text("04\xC3\x84" "B"), "04\xC3\xA4" "b");  // Ä -> ä
    EXPECT_EQ(userpasskey::lower_key_text("\xC4\xB0"), "i\xCC\x87");             // İ -> i + combining dot
    EXPECT_EQ(userpasskey::lower_key_text("A\xFF" "B\xC3"), "a\xFF" "b\xC3");
    EXPECT_EQ(userpasskey::passkey_sub(7, "https://shop.test", "04\xC3\x84" "B"),
              userpasskey::passkey_sub(7, "https://shop.test", "04\xC3\xA4" "b"));
}

TEST(MintUserPasskeyDeed, EmptyAssertionTextsArePresentAndEmpty) {
    auto d = userpasskey::mint_user_passkey_deed("", "", "", "", 7, "", "https://shop.test", "", 0);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d->credential_pubkey, "");
    EXPECT_EQ(d->authenticator_data, "");
    EXPECT_EQ(d->client_data_json, "");
    EXPECT_EQ(d->assertion_sig, "");
}
