#include "quorent/digest.hpp"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include "quorent/fault.hpp"

namespace quorent {

namespace {

// Fetching an algorithm costs as much as hashing a short message, so each
// is fetched once for the process; the fetched objects are immutable. Where
// libcrypto lacks one, each use records that (quorent/fault.hpp).
const EVP_MD* sha256_md() noexcept {
    static const EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    if (md == nullptr) record_fault("SHA-256 is not available from libcrypto");
    return md;
}

EVP_MD_CTX* md_ctx(void* p) { return static_cast<EVP_MD_CTX*>(p); }

}  // namespace

Digest32 sha256(const void* data, std::size_t len) {
    Digest32 out{};
    unsigned int n = 0;
    const EVP_MD* md = sha256_md();
    if (md == nullptr || EVP_Digest(data, len, out.data(), &n, md, nullptr) != 1 || n != out.size()) {
        record_fault("SHA-256 failed");
        out.fill(0);
    }
    return out;
}

// A context that failed is released at once (ctx_ == nullptr): the later
// steps do nothing and finish() yields zeros, the failure recorded.
Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
    const EVP_MD* md = sha256_md();
    if (ctx_ == nullptr || md == nullptr || EVP_DigestInit_ex2(md_ctx(ctx_), md, nullptr) != 1) fail("SHA-256 init failed");
}

Sha256::~Sha256() { EVP_MD_CTX_free(md_ctx(ctx_)); }

Sha256& Sha256::update(const void* data, std::size_t len) {
    if (ctx_ != nullptr && EVP_DigestUpdate(md_ctx(ctx_), data, len) != 1) fail("SHA-256 failed");
    return *this;
}

Digest32 Sha256::finish() {
    Digest32 out{};
    unsigned int n = 0;
    if (ctx_ == nullptr || EVP_DigestFinal_ex(md_ctx(ctx_), out.data(), &n) != 1 || n != out.size()) {
        fail("SHA-256 failed");
        out.fill(0);
    }
    return out;
}

void Sha256::fail(const char* what) noexcept {
    EVP_MD_CTX_free(md_ctx(ctx_));
    ctx_ = nullptr;
    record_fault(what);
}

namespace {

// An HMAC-SHA-256 context with its algorithm and digest already resolved,
// made once for the process and never changed: every use duplicates it, so
// the lookups are not repeated per call.
struct HmacTemplate {
    EVP_MAC_CTX* ctx = nullptr;
    const char* fault = nullptr;
};

HmacTemplate make_hmac_template() noexcept {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (mac == nullptr) return {nullptr, "HMAC is not available from libcrypto"};
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    EVP_MAC_free(mac);  // the context keeps its own reference
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (ctx == nullptr || EVP_MAC_CTX_set_params(ctx, params) != 1) {
        EVP_MAC_CTX_free(ctx);
        return {nullptr, "HMAC-SHA-256 is not available from libcrypto"};
    }
    return {ctx, nullptr};
}

const EVP_MAC_CTX* hmac_template() noexcept {
    static const HmacTemplate tmpl = make_hmac_template();
    if (tmpl.ctx == nullptr) record_fault(tmpl.fault);
    return tmpl.ctx;
}

EVP_MAC_CTX* mac_ctx(void* p) { return static_cast<EVP_MAC_CTX*>(p); }

}  // namespace

Hmac::Hmac(const std::uint8_t* key, std::size_t key_len) : ctx_(nullptr) {
    const EVP_MAC_CTX* tmpl = hmac_template();
    if (tmpl != nullptr) ctx_ = EVP_MAC_CTX_dup(tmpl);
    if (ctx_ == nullptr || EVP_MAC_init(mac_ctx(ctx_), key, key_len, nullptr) != 1) fail();
}

Hmac::~Hmac() { EVP_MAC_CTX_free(mac_ctx(ctx_)); }

Hmac& Hmac::update(const void* data, std::size_t len) {
    if (ctx_ != nullptr && EVP_MAC_update(mac_ctx(ctx_), static_cast<const unsigned char*>(data), len) != 1) fail();
    return *this;
}

void Hmac::finish(Digest32& out) {
    std::size_t n = 0;
    if (ctx_ == nullptr || EVP_MAC_final(mac_ctx(ctx_), out.data(), &n, out.size()) != 1 || n != out.size()) {
        fail();
        out.fill(0);
    }
}

void Hmac::fail() noexcept {
    EVP_MAC_CTX_free(mac_ctx(ctx_));
    ctx_ = nullptr;
    record_fault("HMAC-SHA-256 failed");
}

}  // namespace quorent
