#include "support.hpp"

#include <cryptopp/keccak.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/param_build.h>
#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <cstring>
#include <stdexcept>

namespace bench {

namespace {

const secp256k1_context* secp() {
    static secp256k1_context* ctx = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
    return ctx;
}

EVP_MD* md_sha256() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

EVP_MAC* mac_hmac() {
    static EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    return mac;
}

EVP_KDF* kdf_hkdf() {
    static EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
    return kdf;
}

void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

}  // namespace

Digest sha256(const void* data, std::size_t len) {
    Digest out;
    unsigned int n = 0;
    EVP_Digest(data, len, out.data(), &n, md_sha256(), nullptr);
    return out;
}

Digest hmac_sha256(const void* key, std::size_t key_len, const void* data, std::size_t len) {
    Digest out;
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac_hmac());
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_END};
    std::size_t n = 0;
    EVP_MAC_init(ctx, static_cast<const unsigned char*>(key), key_len, params);
    EVP_MAC_update(ctx, static_cast<const unsigned char*>(data), len);
    EVP_MAC_final(ctx, out.data(), &n, out.size());
    EVP_MAC_CTX_free(ctx);
    return out;
}

Digest hkdf_sha256(const void* ikm, std::size_t ikm_len, std::string_view info) {
    Digest out;
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf_hkdf());
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<void*>(ikm), ikm_len),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info.data()), info.size()),
        OSSL_PARAM_END};
    EVP_KDF_derive(ctx, out.data(), out.size(), params);
    EVP_KDF_CTX_free(ctx);
    return out;
}

Digest keccak256(const void* data, std::size_t len) {
    Digest out;
    CryptoPP::Keccak_256 k;
    k.Update(static_cast<const CryptoPP::byte*>(data), len);
    k.Final(out.data());
    return out;
}

Digest eip191_hash(std::string_view message) {
    CryptoPP::Keccak_256 k;
    const std::string prefix =
        "\x19"
        "Ethereum Signed Message:\n" +
        std::to_string(message.size());
    k.Update(reinterpret_cast<const CryptoPP::byte*>(prefix.data()), prefix.size());
    k.Update(reinterpret_cast<const CryptoPP::byte*>(message.data()), message.size());
    Digest out;
    k.Final(out.data());
    return out;
}

std::array<std::uint8_t, 33> pubkey_create(const Digest& secret) {
    std::array<std::uint8_t, 33> out{};
    secp256k1_pubkey pk;
    if (!secp256k1_ec_seckey_verify(secp(), secret.data()) || !secp256k1_ec_pubkey_create(secp(), &pk, secret.data()))
        return out;
    std::size_t n = out.size();
    secp256k1_ec_pubkey_serialize(secp(), out.data(), &n, &pk, SECP256K1_EC_COMPRESSED);
    return out;
}

std::array<std::uint8_t, 65> sign_recoverable(const Digest& secret, const Digest& prehash) {
    std::array<std::uint8_t, 65> out{};
    secp256k1_ecdsa_recoverable_signature sig;
    secp256k1_ecdsa_sign_recoverable(secp(), &sig, prehash.data(), secret.data(), nullptr, nullptr);
    int recid = 0;
    secp256k1_ecdsa_recoverable_signature_serialize_compact(secp(), out.data(), &recid, &sig);
    out[64] = static_cast<std::uint8_t>(recid);
    return out;
}

bool recover(const std::uint8_t sig65[65], const Digest& prehash, std::uint8_t out65[65]) {
    int recid = sig65[64] >= 27 ? sig65[64] - 27 : sig65[64];
    secp256k1_ecdsa_recoverable_signature rsig;
    if (!secp256k1_ecdsa_recoverable_signature_parse_compact(secp(), &rsig, sig65, recid)) return false;
    secp256k1_ecdsa_signature plain;
    secp256k1_ecdsa_recoverable_signature_convert(secp(), &plain, &rsig);
    // A high s is refused, as verification would.
    if (secp256k1_ecdsa_signature_normalize(secp(), nullptr, &plain)) return false;
    secp256k1_pubkey pk;
    if (!secp256k1_ecdsa_recover(secp(), &pk, &rsig, prehash.data())) return false;
    std::size_t n = 65;
    secp256k1_ec_pubkey_serialize(secp(), out65, &n, &pk, SECP256K1_EC_UNCOMPRESSED);
    return true;
}

bool pubkey_parse_compressed(const std::uint8_t in33[33], std::uint8_t out33[33]) {
    secp256k1_pubkey pk;
    if (!secp256k1_ec_pubkey_parse(secp(), &pk, in33, 33)) return false;
    std::size_t n = 33;
    secp256k1_ec_pubkey_serialize(secp(), out33, &n, &pk, SECP256K1_EC_COMPRESSED);
    return true;
}

bool p256_verify(const std::uint8_t x[32], const std::uint8_t y[32], const std::uint8_t rs[64], const Digest& digest) {
    std::uint8_t point[65];
    point[0] = 0x04;
    std::memcpy(point + 1, x, 32);
    std::memcpy(point + 33, y, 32);
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
                           OSSL_PARAM_END};
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    EVP_PKEY* key = nullptr;
    bool ok =
        kctx && EVP_PKEY_fromdata_init(kctx) > 0 && EVP_PKEY_fromdata(kctx, &key, EVP_PKEY_PUBLIC_KEY, params) > 0;
    EVP_PKEY_CTX_free(kctx);
    if (!ok) return false;

    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(rs, 32, nullptr), BN_bin2bn(rs + 32, 32, nullptr));
    unsigned char der[80];
    unsigned char* p = der;
    const int der_len = i2d_ECDSA_SIG(sig, &p);
    ECDSA_SIG_free(sig);

    EVP_PKEY_CTX* vctx = EVP_PKEY_CTX_new(key, nullptr);
    ok = vctx && EVP_PKEY_verify_init(vctx) > 0 &&
         EVP_PKEY_verify(vctx, der, static_cast<std::size_t>(der_len), digest.data(), digest.size()) == 1;
    EVP_PKEY_CTX_free(vctx);
    EVP_PKEY_free(key);
    return ok;
}

std::string hex(const std::uint8_t* data, std::size_t len) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * len);
    for (std::size_t i = 0; i < len; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::string b64url(const std::uint8_t* data, std::size_t len) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::size_t i = 0; i < len; ++i) {
        acc = (acc << 8) | data[i];
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(acc >> bits) & 63];
        }
    }
    if (bits > 0) out += kAlphabet[(acc << (6 - bits)) & 63];
    return out;
}

namespace {

// An ES256 token and its key set, made with OpenSSL.
void make_token(Fixtures& f) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    require(key != nullptr, "P-256 key");
    BIGNUM* bx = nullptr;
    BIGNUM* by = nullptr;
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_X, &bx);
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_Y, &by);
    BN_bn2binpad(bx, f.p256_x.data(), 32);
    BN_bn2binpad(by, f.p256_y.data(), 32);
    BN_free(bx);
    BN_free(by);

    const std::string header = b64url(R"({"alg":"ES256","typ":"JWT","kid":"k1"})");
    const std::string payload =
        b64url(R"({"iss":"https://idp.example.com","sub":"user-0123456789","aud":"app.example.com","exp":4102444800,)"
               R"("iat":1700000000,"tid":7,"nonce":"n-0123456789abcdef"})");
    f.token_signing_input = header + "." + payload;

    const Digest digest = sha256(f.token_signing_input);
    EVP_PKEY_CTX* sctx = EVP_PKEY_CTX_new(key, nullptr);
    unsigned char der[80];
    std::size_t der_len = sizeof der;
    require(EVP_PKEY_sign_init(sctx) > 0 && EVP_PKEY_sign(sctx, der, &der_len, digest.data(), digest.size()) > 0,
            "ES256 sign");
    EVP_PKEY_CTX_free(sctx);
    const unsigned char* p = der;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der_len));
    BN_bn2binpad(ECDSA_SIG_get0_r(sig), f.token_sig.data(), 32);
    BN_bn2binpad(ECDSA_SIG_get0_s(sig), f.token_sig.data() + 32, 32);
    ECDSA_SIG_free(sig);
    EVP_PKEY_free(key);

    f.token = f.token_signing_input + "." + b64url(f.token_sig.data(), f.token_sig.size());
    f.jwks = R"({"keys":[{"kty":"EC","crv":"P-256","use":"sig","alg":"ES256","kid":"k1","x":")" +
             b64url(f.p256_x.data(), 32) + R"(","y":")" + b64url(f.p256_y.data(), 32) + R"("}]})";
}

Fixtures make() {
    Fixtures f;
    f.secret = sha256(std::string_view("quorent benchmark app key"));
    f.secret_hex = hex(f.secret);
    f.pubkey_hex = hex(pubkey_create(f.secret));

    const Digest wallet = sha256(std::string_view("quorent benchmark wallet"));
    f.admin_message =
        "app.example.com is requesting administrative access to your Quorent tenant.\n\nSigning this message grants "
        "FULL ADMINISTRATIVE ACCESS to the tenant\nbelow. Only sign it if you are on app.example.com right now "
        "\xE2\x80\x94 signing it on any\nother site lets that site's operator administer your tenant.\n\nTenant: "
        "7\nChallenge: c-0123456789abcdef0123456789abcdef\nExpires (unix seconds): 1700000300";
    auto sig = sign_recoverable(wallet, eip191_hash(f.admin_message));
    sig[64] = static_cast<std::uint8_t>(27 + sig[64]);
    f.admin_sig_hex = hex(sig);
    auto vouch = sign_recoverable(wallet, eip191_hash("an origin vouch"));
    vouch[64] = static_cast<std::uint8_t>(27 + vouch[64]);
    f.vouch_sig_hex = hex(vouch);

    make_token(f);
    return f;
}

}  // namespace

const Fixtures& fixtures() {
    static const Fixtures f = make();
    return f;
}

namespace json_inputs {

std::string grants(std::size_t n) {
    std::string out = "[";
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ",";
        out += R"({"res":"doc:)" + std::to_string(i) + R"(","act":["read","write"],"cav":{"exp":1700000300}})";
    }
    return out + "]";
}

std::string link(std::size_t n) {
    return R"({"iss":"did:example:alice","to":"did:example:bob","grants":)" + grants(n) +
           R"(,"exp":1700000300,"epoch_label":")" + repeat("0123456789abcdef", 4) + R"(","epoch":3,"sig":")" +
           repeat("11", 64) + R"(1b"})";
}

std::string chain(std::size_t n) {
    std::string out = "[";
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ",";
        out += link(1);
    }
    return out + "]";
}

std::string jwk(std::size_t n) {
    const Fixtures& f = fixtures();
    return R"({"kty":"EC","crv":"P-256","use":"sig","alg":"ES256","kid":")" + repeat("key-0123456789", n) +
           R"(","x":")" + b64url(f.p256_x.data(), 32) + R"(","y":")" + b64url(f.p256_y.data(), 32) + R"("})";
}

std::string mixed_grants() {
    return R"([{"res":"doc:invoices/2026","act":["read","write"],)"
           R"("cav":{"exp":1700000300,"max_uses":5,"nb":{"region":"eu-west-1","rate":0.25}}},)"
           R"({"res":"api:/v1/orders","act":["create"],"cav":{"exp":1700000300,"nb":{"limit":12.5,"tier":"gold"}}},)"
           R"({"res":"doc:public","act":["read"],"cav":{}}])";
}

std::string mixed_link(bool pubkey) {
    std::string out = R"({"iss":"did:example:alice","to":"did:example:bob","grants":)" + mixed_grants() +
                      R"(,"exp":1700000300,"epoch_label":")" + repeat("0123456789abcdef", 4) +
                      R"(","epoch":3,"sig":")" + repeat("11", 64) + R"(1b")";
    if (pubkey) out += R"(,"pubkey":")" + repeat("02", 1) + repeat("ab", 32) + '"';
    return out + "}";
}

std::string mixed_chain() {
    std::string out = "[";
    out += mixed_link(false);
    out += ',';
    out += mixed_link(true);
    return out + "]";
}

}  // namespace json_inputs

std::string repeat(std::string_view s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace bench
