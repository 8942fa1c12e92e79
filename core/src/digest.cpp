#include "quorent/digest.hpp"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <new>
#include <stdexcept>

namespace quorent {

namespace {

// Fetching an algorithm costs as much as hashing a short message, so each
// is fetched once for the process; the fetched objects are immutable.
const EVP_MD* sha256_md() {
    static const EVP_MD* md = [] {
        EVP_MD* m = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        if (m == nullptr) throw std::runtime_error("SHA-256 is not available from libcrypto");
        return m;
    }();
    return md;
}

}  // namespace

Digest32 sha256(const void* data, std::size_t len) {
    Digest32 out{};
    unsigned int n = 0;
    if (EVP_Digest(data, len, out.data(), &n, sha256_md(), nullptr) != 1 || n != out.size())
        throw std::runtime_error("SHA-256 failed");
    return out;
}

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
    if (ctx_ == nullptr) throw std::bad_alloc();
    if (EVP_DigestInit_ex2(static_cast<EVP_MD_CTX*>(ctx_), sha256_md(), nullptr) != 1) {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_));
        throw std::runtime_error("SHA-256 init failed");
    }
}

Sha256::~Sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_)); }

Sha256& Sha256::update(const void* data, std::size_t len) {
    if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx_), data, len) != 1) throw std::runtime_error("SHA-256 failed");
    return *this;
}

Digest32 Sha256::finish() {
    Digest32 out{};
    unsigned int n = 0;
    if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx_), out.data(), &n) != 1 || n != out.size())
        throw std::runtime_error("SHA-256 failed");
    return out;
}

namespace {

// An HMAC-SHA-256 context with its algorithm and digest already resolved,
// made once for the process and never changed: every use duplicates it, so
// the lookups are not repeated per call.
const EVP_MAC_CTX* hmac_template() {
    static const EVP_MAC_CTX* const tmpl = [] {
        EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        if (mac == nullptr) throw std::runtime_error("HMAC is not available from libcrypto");
        EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
        EVP_MAC_free(mac);  // the context keeps its own reference
        char digest[] = "SHA256";
        const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
        if (ctx == nullptr || EVP_MAC_CTX_set_params(ctx, params) != 1)
            throw std::runtime_error("HMAC-SHA-256 is not available from libcrypto");
        return ctx;
    }();
    return tmpl;
}

EVP_MAC_CTX* mac_ctx(void* p) { return static_cast<EVP_MAC_CTX*>(p); }

}  // namespace

Hmac::Hmac(const std::uint8_t* key, std::size_t key_len) : ctx_(EVP_MAC_CTX_dup(hmac_template())) {
    if (ctx_ == nullptr || EVP_MAC_init(mac_ctx(ctx_), key, key_len, nullptr) != 1) fail();
}

Hmac::~Hmac() { EVP_MAC_CTX_free(mac_ctx(ctx_)); }

Hmac& Hmac::update(const void* data, std::size_t len) {
    if (EVP_MAC_update(mac_ctx(ctx_), static_cast<const unsigned char*>(data), len) != 1) fail();
    return *this;
}

void Hmac::finish(Digest32& out) {
    std::size_t n = 0;
    if (EVP_MAC_final(mac_ctx(ctx_), out.data(), &n, out.size()) != 1 || n != out.size()) fail();
}

void Hmac::fail() {
    EVP_MAC_CTX_free(mac_ctx(ctx_));
    ctx_ = nullptr;
    throw std::runtime_error("HMAC-SHA-256 failed");
}

}  // namespace quorent
