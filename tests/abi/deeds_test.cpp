// User keys and deeds through the exported C functions, as a host calls them,
// against the fixed vectors of vectors.hpp. Signatures made by the library are
// also checked here with libsecp256k1.
#include <secp256k1.h>

#include <string>

#include "host.hpp"
#include "vectors.hpp"

using namespace host;
using namespace vectors;

namespace {

const std::string kPathError = "input: " + kOriginPath;

// ECDSA verification with libsecp256k1 itself (which refuses a high s).
bool secp256k1_verifies(const std::string& pubkey_hex, const std::string& rs_hex, const std::string& digest_hex) {
    secp256k1_context* ctx = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
    const std::string pub = unhex(pubkey_hex), rs = unhex(rs_hex), digest = unhex(digest_hex);
    secp256k1_pubkey pk;
    secp256k1_ecdsa_signature sig;
    const bool ok =
        rs.size() == 64 && digest.size() == 32 &&
        secp256k1_ec_pubkey_parse(ctx, &pk, reinterpret_cast<const unsigned char*>(pub.data()), pub.size()) &&
        secp256k1_ecdsa_signature_parse_compact(ctx, &sig, reinterpret_cast<const unsigned char*>(rs.data())) &&
        secp256k1_ecdsa_verify(ctx, &sig, reinterpret_cast<const unsigned char*>(digest.data()), &pk);
    secp256k1_context_destroy(ctx);
    return ok;
}

Outcome root_binding(const std::string& origin) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_user_root_binding, buf(origin));
}
Outcome root_seed(const std::string& origin, const std::string& s1, const std::string& s2) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed, buf(origin), buf(s1), buf(s2));
}
Outcome app_key(const std::string& seed, uint64_t tenant, const std::string& origin) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_derive_app_key, buf(seed), tenant, buf(origin));
}
Outcome user_sub(const std::string& pub) { return call(uniffi_quorent_sdk_uniffi_fn_func_user_sub, buf(pub)); }
Outcome user_binding(uint64_t t, const std::string& aud, const std::string& origin, const std::string& ch,
                     uint64_t exp) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_user_binding, t, buf(aud), buf(origin), buf(ch), exp);
}
Outcome mint_user(const std::string& key, const std::string& origin, uint64_t t = 7) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed, buf(key), t, buf("app"), buf(origin), buf("c1"),
                uint64_t{1700000000});
}
Outcome mint_1271(const std::string& addr, const std::string& sig, const std::string& origin) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed, buf(addr), buf(sig), uint64_t{7}, buf("app"),
                buf(origin), buf("c1"), uint64_t{9});
}
Outcome mint_admin(const std::string& sig, const std::string& challenge = "c1") {
    return call(uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed, buf(sig), uint64_t{7}, buf("console"),
                buf(challenge), uint64_t{1700000000});
}
Outcome mint_passkey(const std::string& cred, const std::string& origin) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed, buf(cred), buf("ABCD"), buf("eyJ0"),
                buf("3045"), uint64_t{7}, buf("app"), buf(origin), buf("c1"), uint64_t{9});
}

}  // namespace

TEST(SignIn, EndToEndThroughTheCInterface) {
    const Outcome origin = call(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin, buf("https://Shop.test:443/"));
    ASSERT_TRUE(origin.ok());
    ASSERT_EQ(origin.value, "https://shop.test");

    // The prose the wallet signs; the fixed signature was made over exactly it.
    const Outcome prose = root_binding(origin.value);
    ASSERT_TRUE(prose.ok());
    EXPECT_EQ(sha256_hex(prose.value), "ec9a89aa8a433356c50efadf85e4e2cdba0d65a88e1ff1cbb6b6289191ed1a3f");
    EXPECT_EQ(prose.value.substr(0, 44), "https://shop.test is asking you to sign in.\n");

    // The wallet signed twice; hex of either case decodes to the same bytes.
    const Outcome seed = root_seed(origin.value, kRootSig, upper(kRootSig));
    ASSERT_TRUE(seed.ok()) << seed.message;
    EXPECT_EQ(seed.value, kRootSeed);

    const Outcome key = app_key(seed.value, 7, origin.value);
    ASSERT_TRUE(key.ok()) << key.message;
    Cursor kc(key.value);
    const std::string secret = kc.str(), pub = kc.str();
    EXPECT_TRUE(kc.done());
    EXPECT_EQ(secret, kAppKey);
    EXPECT_EQ(pub, kAppPub);

    const Deed deed = Deed::read(mint_user(secret, origin.value));
    EXPECT_EQ(deed.v, 1);
    EXPECT_EQ(deed.mode, "user-sig");
    EXPECT_EQ(deed.tenant, 7u);
    EXPECT_EQ(deed.aud, "app");
    EXPECT_EQ(deed.challenge, "c1");
    EXPECT_EQ(deed.exp, 1700000000u);
    EXPECT_EQ(deed.pubkey, pub);
    EXPECT_EQ(deed.signature, kDeedSig);
    EXPECT_EQ(deed.sub, kSub);
    EXPECT_FALSE(deed.root || deed.proof || deed.signer || deed.credential_pubkey || deed.grants || deed.delegations);

    // What a verifier does: the signature verifies under the deed's key over
    // SHA-256 of the user binding, and the subject is that key's pseudonym.
    const Outcome binding = user_binding(7, "app", origin.value, "c1", 1700000000);
    ASSERT_TRUE(binding.ok());
    EXPECT_TRUE(secp256k1_verifies(*deed.pubkey, *deed.signature, sha256_hex(unhex(binding.value))));
    EXPECT_FALSE(
        secp256k1_verifies(*deed.pubkey, *deed.signature,
                           sha256_hex(unhex(user_binding(7, "app", "https://evil.test", "c1", 1700000000).value))));
    EXPECT_EQ(user_sub(*deed.pubkey).value, deed.sub);
}

TEST(DeriveRootSeed, HexRulesAndCheckOrder) {
    const std::string sig = kRootSig;
    EXPECT_SDK_ERROR(root_seed("https://shop.test", "0x" + sig, sig), 1, "crypto: Invalid character 'x' at position 1");
    EXPECT_SDK_ERROR(root_seed("https://shop.test", sig, sig + "0"), 1, "crypto: Odd number of digits");
    // Both signatures are decoded, the first first, before the origin is read.
    EXPECT_SDK_ERROR(root_seed("ftp://x", "zz", "abc"), 1, "crypto: Invalid character 'z' at position 0");
    EXPECT_SDK_ERROR(root_seed("ftp://x", sig, "abc"), 1, "crypto: Odd number of digits");
    EXPECT_SDK_ERROR(root_seed("ftp://x", sig, sig), 1, "input: origin: must start with https:// or http://");
    EXPECT_SDK_ERROR(root_seed("https://shop.test", sig, sig.substr(0, 128)), 1,
                     "crypto: wallet signing is non-deterministic; unsupported");
    EXPECT_SDK_ERROR(root_seed("https://shop.test", "", ""), 1, "crypto: wallet signature is empty");
    EXPECT_SDK_ERROR(root_seed("https://shop.test", "", "00"), 1,
                     "crypto: wallet signing is non-deterministic; unsupported");
}

TEST(DeriveAppKey, SeedRulesAndScoping) {
    const std::string seed = kRootSeed;
    EXPECT_SDK_ERROR(app_key(seed.substr(2), 7, "https://shop.test"), 1,
                     "input: rootSeedHex must decode to exactly 32 bytes");
    EXPECT_SDK_ERROR(app_key(seed + "00", 7, "https://shop.test"), 1,
                     "input: rootSeedHex must decode to exactly 32 bytes");
    EXPECT_SDK_ERROR(app_key(seed + "0", 7, "https://shop.test"), 1, "crypto: Odd number of digits");
    EXPECT_SDK_ERROR(app_key("0x" + seed.substr(2), 7, "https://shop.test"), 1,
                     "crypto: Invalid character 'x' at position 1");
    EXPECT_SDK_ERROR(app_key(seed.substr(2), 7, "bad"), 1, "input: rootSeedHex must decode to exactly 32 bytes");
    EXPECT_SDK_ERROR(app_key(seed, 7, "bad"), 1, "input: origin: must start with https:// or http://");

    EXPECT_EQ(app_key(upper(seed), 7, "https://SHOP.test/").value, app_key(seed, 7, "https://shop.test").value);
}

TEST(UserSub, EncodingsOfOneKeyAndRefusedKeys) {
    const std::string compressed = kAppPub;
    // The same key uncompressed (Node: ProjectivePoint.fromHex(...).toRawBytes(false)).
    const std::string uncompressed =
        "041ebd157e5e7a6763dcea8069159baf0e9e9dbe3c1eef59dbeda0e332e77a6c83"
        "6e4f503bf5f2f07b9183749f80423cdedf3771fbc65d5d37dab5496cbc8176ef";
    EXPECT_EQ(user_sub(compressed).value, kSub);
    EXPECT_EQ(user_sub(uncompressed).value, kSub);

    EXPECT_SDK_ERROR(user_sub("04" + compressed.substr(2)), 1, "crypto: signature error");
    EXPECT_SDK_ERROR(user_sub("02" + uncompressed.substr(2)), 1, "crypto: signature error");
    EXPECT_SDK_ERROR(user_sub(compressed.substr(0, 64)), 1, "crypto: signature error");
    EXPECT_SDK_ERROR(user_sub("0x" + compressed.substr(2)), 1, "crypto: Invalid character 'x' at position 1");
}

TEST(UserBinding, CanonicalOriginAsHex) {
    EXPECT_EQ(unhex(user_binding(7, "app", "https://SHOP.test:443/", "c1", 1700000000).value),
              "quorent-sovereign-user-v1|tenant:7|aud:app|origin:https://shop.test|challenge:c1|exp:1700000000");
    EXPECT_EQ(unhex(user_binding(0, "", "http://h", "", UINT64_MAX).value),
              "quorent-sovereign-user-v1|tenant:0|aud:|origin:http://h|challenge:|exp:18446744073709551615");
    EXPECT_SDK_ERROR(user_binding(7, "app", "https://shop.test/p", "c1", 1), 1, kPathError);
}

TEST(MintUserDeed, KeyLengthsValuesAndCheckOrder) {
    const std::string key = kAppKey;
    const Deed base = Deed::read(mint_user(key, "https://shop.test"));
    EXPECT_EQ(Deed::read(mint_user(upper(key), "https://Shop.test/")), base);

    // The key rules are the secret key's (its own test): 24 to 31 bytes are
    // left-padded with zeros; other lengths and values are refused.
    const std::string k24 = std::string(16, '0') + key.substr(16);
    EXPECT_EQ(Deed::read(mint_user(k24.substr(16), "https://shop.test")),
              Deed::read(mint_user(k24, "https://shop.test")));
    EXPECT_SDK_ERROR(mint_user(key.substr(18), "https://shop.test"), 1, "crypto: signature error");  // 23 bytes
    EXPECT_SDK_ERROR(mint_user("0x" + key, "https://shop.test"), 1, "crypto: Invalid character 'x' at position 1");
    EXPECT_SDK_ERROR(mint_user(key + "0", "https://shop.test"), 1, "crypto: Odd number of digits");
    // The key is examined before the origin.
    EXPECT_SDK_ERROR(mint_user(std::string(64, '0'), "https://shop.test/p"), 1, "crypto: signature error");
    EXPECT_SDK_ERROR(mint_user(key, "https://shop.test/p"), 1, kPathError);
}

TEST(MintUser1271Deed, PrefixesLengthsAndOrder) {
    std::string w;
    for (int i = 0; i < 20; ++i) w += "ab";
    const Deed d = Deed::read(mint_1271("0X" + upper(w), "0xBEEF", "https://Shop.test/"));
    EXPECT_EQ(d.mode, "user-1271");
    EXPECT_EQ(d.signer, w);
    EXPECT_EQ(d.signature, "beef");
    EXPECT_EQ(d.sub, "17e3d49279b8a727cb91a68767af356b378cd06f5d741a92101bfd4e1612eafb");
    EXPECT_EQ(Deed::read(mint_1271(w, "beef", "https://shop.test")), d);
    EXPECT_EQ(Deed::read(mint_1271(w, "0x", "https://shop.test")).signature, "");
    EXPECT_SDK_ERROR(mint_1271("0x0x" + w, "", "https://shop.test"), 1,
                     "input: Invalid character 'x' at position 1");  // one prefix only

    EXPECT_SDK_ERROR(mint_1271(w.substr(2), "", "https://shop.test"), 1, "input: address must be 20 bytes");
    EXPECT_SDK_ERROR(mint_1271(w + "ab", "", "https://shop.test"), 1, "input: address must be 20 bytes");
    EXPECT_SDK_ERROR(mint_1271(w, "0xabc", "https://shop.test"), 1, "input: Odd number of digits");
    EXPECT_SDK_ERROR(mint_1271("ab", "zz", "https://shop.test/p"), 1, kPathError);
    EXPECT_SDK_ERROR(mint_1271("ab", "zz", "https://shop.test"), 1, "input: address must be 20 bytes");
}

TEST(MintAdminDeed, PrefixesAndRecoveryIds) {
    const std::string sig = kAdminSig;
    const Deed d = Deed::read(mint_admin(sig));
    EXPECT_EQ(d.mode, "admin-sig");
    EXPECT_EQ(d.sub, kWalletAddr);
    EXPECT_EQ(d.signature, sig);
    EXPECT_FALSE(d.signer || d.pubkey);
    EXPECT_EQ(Deed::read(mint_admin("0x0x" + upper(sig))), d);
    // The same signature over other terms names some other account.
    EXPECT_NE(Deed::read(mint_admin(sig, "c2")).sub, kWalletAddr);

    // v = 0 recovers the same account; the deed keeps the v byte as given.
    const Deed d0 = Deed::read(mint_admin(sig.substr(0, 128) + "00"));
    EXPECT_EQ(d0.sub, kWalletAddr);
    EXPECT_EQ(d0.signature, sig.substr(0, 128) + "00");

    EXPECT_SDK_ERROR(mint_admin("0X" + sig), 1, "input: Invalid character 'X' at position 1");
    EXPECT_SDK_ERROR(mint_admin(sig + "0"), 1, "input: Odd number of digits");
    EXPECT_SDK_ERROR(mint_admin(sig.substr(0, 128)), 1, "input: signature must be 65 bytes");
    EXPECT_SDK_ERROR(mint_admin(sig.substr(0, 128) + "1d"), 1, "input: recovery id must be 0, 1, 27, or 28");
    EXPECT_SDK_ERROR(mint_admin(std::string(130, '0')), 1, "crypto: signature error");
}

TEST(MintAdminDeedSmartwallet, NamesTheContract) {
    std::string w;
    for (int i = 0; i < 20; ++i) w += "0c";
    const Deed d = Deed::read(call(uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet, buf("0x" + w),
                                   buf("FF"), uint64_t{3}, buf("console"), buf("c"), uint64_t{5}));
    EXPECT_EQ(d.mode, "admin-sig");
    EXPECT_EQ(d.sub, "0x" + w);
    EXPECT_EQ(d.signer, w);
    EXPECT_EQ(d.signature, "ff");
    EXPECT_SDK_ERROR(call(uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet, buf(w + "0c"), buf("zz"),
                          uint64_t{3}, buf("console"), buf("c"), uint64_t{5}),
                     1, "input: address must be 20 bytes");
}

TEST(Passkey, SubCaseHandlingAndDeed) {
    const auto sub = [](const std::string& origin, const std::string& key) {
        return call(uniffi_quorent_sdk_uniffi_fn_func_passkey_sub, uint64_t{7}, buf(origin), buf(key));
    };
    const std::string s = sub("https://shop.test", "04AB").value;
    EXPECT_EQ(s, "324c9a3dd81f539394d0f5956b019b5d8345ae679e155e4089957bd374e265ca");
    EXPECT_EQ(sub("https://shop.test", "04ab").value, s);
    EXPECT_NE(sub("https://Shop.test/", "04ab").value, s);  // not canonicalised here
    EXPECT_TRUE(sub("not an origin", "zz").ok());
    // The deed canonicalises the origin first.
    EXPECT_EQ(Deed::read(mint_passkey("04AB", "https://Shop.test/")).sub, s);
    EXPECT_SDK_ERROR(mint_passkey("04ab", "https://shop.test/path"), 1, kPathError);
}
