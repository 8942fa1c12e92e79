// The secret-handling operations, run under valgrind's memcheck with every
// secret byte marked undefined (VALGRIND_MAKE_MEM_UNDEFINED) before the call:
// memcheck then reports each branch taken and each memory address computed
// from a secret, in our code and in whatever it calls that is not declared
// proved constant-time (core/src/ct.hpp). scripts/test.d/40-valgrind.sh runs
// this with --error-exitcode; outside valgrind the marks do nothing and only
// the results are checked.
//
// The library operations go through the exported C functions and the buffer
// protocol, against the build of the library that links the check's marks;
// the CLI wallet's host code is compiled in with the same marks.
#include <valgrind/memcheck.h>

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cctype>
#include <cstring>
#include <string>

#include "../abi/host.hpp"
#include "vectors.hpp"
#include "wallet.hpp"

using namespace host;

namespace {

// An argument buffer whose bytes memcheck treats as secret.
RustBuffer secret_buf(const std::string& bytes) {
    RustBuffer b = buf(bytes);
    if (b.data != nullptr) VALGRIND_MAKE_MEM_UNDEFINED(b.data, b.len);
    return b;
}

// Bytes [from, from + len) of a result that legitimately derive from the
// secrets and are what the operation returns (a root seed, an app key's
// secret): declared public here, at the boundary, once. Everything else in a
// result (lengths, public keys, signatures) must already come back defined.
struct Returned {
    std::size_t from = 0, len = 0;
};

// Calls an operation returning a buffer, as host::call does, after declaring
// the returned secret public.
template <class F, class... Args>
Outcome call_returning(Returned secret, F fn, Args... args) {
    RustCallStatus st = fresh_status();
    RustBuffer r = fn(args..., &st);
    if (st.code == 0 && r.data != nullptr && secret.len != 0) {
        EXPECT_LE(secret.from + secret.len, r.len);
        VALGRIND_MAKE_MEM_DEFINED(r.data + secret.from, secret.len);
    }
    Outcome out;
    read_status(st, out);
    if (st.code == 0) out.value = take(r);
    return out;
}
template <class F, class... Args>
Outcome call_public(F fn, Args... args) {
    return call_returning(Returned{}, fn, args...);
}

constexpr std::uint64_t kIssuedAt = 1700000000;
const std::string kOrigin = "https://shop.test";

// ---- the library's operations ---------------------------------------------------------

TEST(ConstantTime, DeriveRootSeedFromSecretSignatures) {
    const Returned seed_hex{0, 64};
    const Outcome o = call_returning(seed_hex, uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed, buf(kOrigin),
                                     secret_buf(vectors::kRootSig), secret_buf(vectors::kRootSig));
    ASSERT_TRUE(o.ok()) << o.message;
    EXPECT_EQ(o.value, vectors::kRootSeed);
    // Two signatures that differ: the one bit "they are equal" is revealed.
    std::string other = vectors::kRootSig;
    other[7] = other[7] == '0' ? '1' : '0';
    EXPECT_SDK_ERROR(call_public(uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed, buf(kOrigin),
                                 secret_buf(vectors::kRootSig), secret_buf(other)),
                     1, "crypto: wallet signing is non-deterministic; unsupported");
}

TEST(ConstantTime, DeriveAppKeyFromSecretSeed) {
    // AppKey record: i32 length, the secret's 64 hex digits, then the public key.
    const Returned secret_hex{4, 64};
    for (const std::string& seed : {vectors::kRootSeed, upper(vectors::kRootSeed)}) {
        const Outcome o = call_returning(secret_hex, uniffi_quorent_sdk_uniffi_fn_func_derive_app_key,
                                         secret_buf(seed), std::uint64_t{7}, buf(kOrigin));
        ASSERT_TRUE(o.ok()) << o.message;
        EXPECT_EQ(o.value, nested(vectors::kAppKey) + nested(vectors::kAppPub));
    }
}

TEST(ConstantTime, MintUserDeedWithSecretKey) {
    const Deed d = Deed::read(call_public(uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed,
                                          secret_buf(vectors::kAppKey), std::uint64_t{7}, buf("app"), buf(kOrigin),
                                          buf("c1"), kIssuedAt));
    EXPECT_EQ(d.sub, vectors::kSub);
    EXPECT_EQ(d.pubkey, vectors::kAppPub);
    EXPECT_EQ(d.signature, vectors::kDeedSig);
}

TEST(ConstantTime, SignClientAssertionWithSecretKey) {
    for (const auto& k : vectors::kKeys) {
        const std::string expected = std::string("0x") + k.sigs[vectors::kTextAssertion];
        for (const std::string& key : {std::string(k.key), "0x" + upper(k.key), "0x0x" + std::string(k.key)}) {
            const Outcome o = call_public(uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion, secret_buf(key),
                                          buf("shop.test"), std::uint64_t{7}, buf("n-1"), kIssuedAt);
            ASSERT_TRUE(o.ok()) << o.message;
            EXPECT_EQ(o.value, expected);
        }
    }
}

// The verifier's random bytes are secret inside the library until their text
// is handed back: the encoder must not branch on them or index by them.
TEST(ConstantTime, GeneratePkceEncodesSecretBytes) {
    const Outcome o = call_public(uniffi_quorent_sdk_uniffi_fn_func_generate_pkce);
    ASSERT_TRUE(o.ok()) << o.message;
    Cursor c(o.value);
    const std::string verifier = c.str(), challenge = c.str();
    EXPECT_TRUE(c.done());
    ASSERT_EQ(verifier.size(), 43u);
    for (char ch : verifier) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_') << ch;
    // The challenge is base64url(SHA-256(verifier)), here from libcrypto.
    unsigned char digest[32], text[48];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    std::string want(reinterpret_cast<const char*>(text), static_cast<std::size_t>(EVP_EncodeBlock(text, digest, 32)));
    for (char& ch : want) ch = ch == '+' ? '-' : ch == '/' ? '_' : ch;
    EXPECT_EQ(challenge, want.substr(0, 43));
}

// A secret that is refused: the check reveals one bit (valid or not), and only
// then is the fault located for the message, which stays as it always was.
TEST(ConstantTime, RefusedSecretsRevealOnlyTheirFault) {
    const std::string seed = vectors::kRootSeed;
    auto app_key = [](const std::string& s) {
        return call_public(uniffi_quorent_sdk_uniffi_fn_func_derive_app_key, secret_buf(s), std::uint64_t{7},
                           buf(kOrigin));
    };
    EXPECT_SDK_ERROR(app_key(seed.substr(0, 9) + "g" + seed.substr(10)), 1,
                     "crypto: Invalid character 'g' at position 9");
    EXPECT_SDK_ERROR(app_key(seed + "0"), 1, "crypto: Odd number of digits");
    EXPECT_SDK_ERROR(app_key(seed + "00"), 1, "input: rootSeedHex must decode to exactly 32 bytes");
    EXPECT_SDK_ERROR(app_key(seed.substr(0, 62) + "\xC3\xA9"), 1,
                     "crypto: Invalid character '\xC3\x83' at position 62");
    EXPECT_SDK_ERROR(app_key(seed.substr(0, 63) + "\xC3"), 1, "input: root_seed_hex is not valid UTF-8");

    auto mint = [](const std::string& key) {
        return call_public(uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed, secret_buf(key), std::uint64_t{7},
                           buf("app"), buf(kOrigin), buf("c1"), kIssuedAt);
    };
    EXPECT_SDK_ERROR(mint(vectors::kOrder), 1, "crypto: signature error");  // not a scalar below n
    EXPECT_SDK_ERROR(mint(std::string(64, '0')), 1, "crypto: signature error");
    EXPECT_SDK_ERROR(call_public(uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion, secret_buf("0x0xq1"),
                                 buf("shop.test"), std::uint64_t{7}, buf("n-1"), kIssuedAt),
                     1, "input: Invalid character 'q' at position 0");
}

// ---- the CLI's test wallet (host code) -------------------------------------------------

TEST(ConstantTime, CliWalletSignsWithSecretKey) {
    for (const auto& k : vectors::kKeys) {
        for (const std::string& text : {std::string(k.key), " \t0X" + upper(k.key) + "\r\n"}) {
            std::string key = text;
            VALGRIND_MAKE_MEM_UNDEFINED(key.data(), key.size());
            EXPECT_EQ(quorent_cli::wallet::personal_sign(key, vectors::kTexts[vectors::kTextHello]),
                      k.sigs[vectors::kTextHello]);
            VALGRIND_MAKE_MEM_UNDEFINED(key.data(), key.size());
            EXPECT_EQ(quorent_cli::wallet::address_of(key), k.address);
        }
    }
    std::string bad = std::string(63, '1') + "g";
    VALGRIND_MAKE_MEM_UNDEFINED(bad.data(), bad.size());
    EXPECT_THROW(quorent_cli::wallet::personal_sign(bad, "hello"), std::invalid_argument);
}

}  // namespace
