#include "quorent/digest.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

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

Digest32 hmac_sha256(const void* key, std::size_t key_len, const void* data, std::size_t len) {
    Digest32 out{};
    unsigned int n = 0;
    if (HMAC(sha256_md(), key, static_cast<int>(key_len), static_cast<const unsigned char*>(data), len, out.data(),
             &n) == nullptr ||
        n != out.size())
        throw std::runtime_error("HMAC-SHA-256 failed");
    return out;
}

}  // namespace quorent
