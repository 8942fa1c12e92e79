// What the benchmarks share: the bare primitives (each algorithm fetched or
// each context created once, as a careful caller would), fixtures made with
// them, and the host's side of a call through the exported functions.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quorent_host.hpp"

namespace bench {

using Bytes = std::vector<std::uint8_t>;
using Digest = std::array<std::uint8_t, 32>;

// ---- primitives -------------------------------------------------------------

Digest sha256(const void* data, std::size_t len);
inline Digest sha256(std::string_view s) { return sha256(s.data(), s.size()); }
Digest hmac_sha256(const void* key, std::size_t key_len, const void* data, std::size_t len);
Digest hkdf_sha256(const void* ikm, std::size_t ikm_len, std::string_view info);
Digest keccak256(const void* data, std::size_t len);
Digest eip191_hash(std::string_view message);

// secp256k1 with one context for the process.
// Secret-key check, public key, compressed serialisation (33 bytes).
std::array<std::uint8_t, 33> pubkey_create(const Digest& secret);
// RFC 6979 recoverable signature with compact serialisation: r || s || recid.
std::array<std::uint8_t, 65> sign_recoverable(const Digest& secret, const Digest& prehash);
// Recovery with the low-s test, uncompressed serialisation (65 bytes).
bool recover(const std::uint8_t sig65[65], const Digest& prehash, std::uint8_t out65[65]);
// Parse of a compressed key and its compressed serialisation.
bool pubkey_parse_compressed(const std::uint8_t in33[33], std::uint8_t out33[33]);

// P-256: verification of a raw r || s over a SHA-256 digest, with the key
// built from its coordinates on every call.
bool p256_verify(const std::uint8_t x[32], const std::uint8_t y[32], const std::uint8_t rs[64], const Digest& digest);

std::string hex(const std::uint8_t* data, std::size_t len);
template <std::size_t N>
std::string hex(const std::array<std::uint8_t, N>& a) {
    return hex(a.data(), N);
}
std::string b64url(const std::uint8_t* data, std::size_t len);
inline std::string b64url(std::string_view s) {
    return b64url(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// ---- fixtures -----------------------------------------------------------------

struct Fixtures {
    Digest secret;  // an app key's secret scalar
    std::string secret_hex;
    std::string pubkey_hex;     // compressed
    std::string admin_message;  // what an administrator's wallet signs
    std::string admin_sig_hex;  // EIP-191 signature over it, v = 27/28
    std::string vouch_sig_hex;  // EIP-191 signature over an origin vouch
    std::string token;          // ES256 token
    std::string jwks;           // its key set
    std::array<std::uint8_t, 32> p256_x, p256_y;
    std::array<std::uint8_t, 64> token_sig;
    std::string token_signing_input;
};
const Fixtures& fixtures();

// The JSON argument texts of the benchmarks, n times their typical size.
namespace json_inputs {
std::string grants(std::size_t n);  // n grants
std::string link(std::size_t n);    // one delegation link holding n grants
std::string chain(std::size_t n);   // n links of one grant each
std::string jwk(std::size_t n);     // an EC key whose "kid" is n times longer
// Shapes as hosts send them: three grants (caveats with exp, max_uses and an
// nb object holding a decimal number and a string; with exp and nb; empty),
// a link holding them (with or without a pubkey), and a chain of two such
// links, the second with a pubkey.
std::string mixed_grants();
std::string mixed_link(bool pubkey);
std::string mixed_chain();
}  // namespace json_inputs

// ---- host side ----------------------------------------------------------------

// Argument buffers from the library's allocator; a refused one stays empty
// (and the call then fails, which stops the benchmark).
inline RustBuffer arg(std::string_view bytes) {
    RustCallStatus st = quorent_host::fresh_status();
    return quorent_host::to_buffer(bytes, st);
}
inline void release(RustBuffer b) { quorent_host::release(b); }
inline void release(std::uint64_t) {}
inline void release(std::int8_t) {}
using quorent_host::take;
// The message of a failed call (and frees its error buffer).
inline std::string failure(RustCallStatus& st) {
    const quorent_host::Status s = quorent_host::read_status(st);
    return "call failed with code " + std::to_string(s.code) + ": " + s.message;
}

std::string repeat(std::string_view s, std::size_t n);

// Runs call(&status) in the benchmark loop; the first failure stops the
// benchmark with its message. The argument buffers are built inside call, as
// a host builds them for every call.
template <class Call>
void run(benchmark::State& state, Call&& call) {
    for (auto _ : state) {
        RustCallStatus st{0, {0, 0, nullptr}};
        auto r = call(&st);
        if (st.code != 0) {
            state.SkipWithError(failure(st).c_str());
            break;
        }
        benchmark::DoNotOptimize(r);
        release(r);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace bench
