#include <openssl/evp.h>

#include <atomic>
#include <cstring>

#include "quorent/fault.hpp"
#include "keccak.hpp"

namespace quorent::keccak {

namespace {

// Fetched once for the process, as SHA-256 is (core/src/digest.cpp).
const EVP_MD* keccak256_md() noexcept {
    static const EVP_MD* const md = EVP_MD_fetch(nullptr, "KECCAK-256", nullptr);
    if (md == nullptr) record_fault("Keccak-256 is not available from libcrypto");
    return md;
}

// A fresh context costs two allocations and their wiping, a sixth of a short
// hash: one context is kept and reset instead. A call that finds it taken
// (another thread has it) uses one of its own; the kept one is never freed.
// What it last hashed (public keys, messages to sign) is nothing secret.
std::atomic<EVP_MD_CTX*> kept{nullptr};

}  // namespace

// A failure of libcrypto is recorded (quorent/fault.hpp); the hash is then zeros.
void hash256(std::initializer_list<Part> parts, std::uint8_t* out) {
    const EVP_MD* md = keccak256_md();
    EVP_MD_CTX* ctx = kept.exchange(nullptr, std::memory_order_acquire);
    if (ctx == nullptr) ctx = EVP_MD_CTX_new();
    bool ok = md != nullptr && ctx != nullptr && EVP_DigestInit_ex2(ctx, md, nullptr) == 1;
    for (const Part& p : parts) ok = ok && EVP_DigestUpdate(ctx, p.data, p.size) == 1;
    unsigned int n = 0;
    ok = ok && EVP_DigestFinal_ex(ctx, out, &n) == 1 && n == 32;
    EVP_MD_CTX* none = nullptr;
    if (!ok || !kept.compare_exchange_strong(none, ctx, std::memory_order_release)) EVP_MD_CTX_free(ctx);
    if (!ok) {
        record_fault("Keccak-256 failed");
        std::memset(out, 0, 32);
    }
}

}  // namespace quorent::keccak
