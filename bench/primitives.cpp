// The bare primitives, and for each operation that uses public-key
// cryptography its floor: the primitives it cannot avoid, run back to back on
// precomputed inputs of the same sizes. "floor/<op>" pairs with "op/<op>".
#include <cstring>

#include "support.hpp"

using namespace bench;

namespace {

std::string text(std::size_t n) { return repeat("abcdefghij", n / 10 + 1).substr(0, n); }

// ---- primitives ---------------------------------------------------------------

void primitive_sha256_100(benchmark::State& state) {
    const std::string m = text(100);
    for (auto _ : state) benchmark::DoNotOptimize(sha256(m));
}
BENCHMARK(primitive_sha256_100)->Name("primitive/sha256_100B");

void primitive_hmac_100(benchmark::State& state) {
    const std::string m = text(100);
    const Digest key = sha256(std::string_view("k"));
    for (auto _ : state) benchmark::DoNotOptimize(hmac_sha256(key.data(), key.size(), m.data(), m.size()));
}
BENCHMARK(primitive_hmac_100)->Name("primitive/hmac_sha256_100B");

void primitive_hkdf(benchmark::State& state) {
    const Digest ikm = sha256(std::string_view("seed"));
    for (auto _ : state)
        benchmark::DoNotOptimize(hkdf_sha256(ikm.data(), ikm.size(), "tenant:7|origin:https://app.example.com|ctr:0"));
}
BENCHMARK(primitive_hkdf)->Name("primitive/hkdf_sha256_32B");

void primitive_keccak_100(benchmark::State& state) {
    const std::string m = text(100);
    for (auto _ : state) benchmark::DoNotOptimize(keccak256(m.data(), m.size()));
}
BENCHMARK(primitive_keccak_100)->Name("primitive/keccak256_100B");

void primitive_pubkey_create(benchmark::State& state) {
    const Digest& k = fixtures().secret;
    for (auto _ : state) benchmark::DoNotOptimize(pubkey_create(k));
}
BENCHMARK(primitive_pubkey_create)->Name("primitive/secp256k1_pubkey_create");

void primitive_sign(benchmark::State& state) {
    const Digest& k = fixtures().secret;
    const Digest h = sha256(std::string_view("message"));
    for (auto _ : state) benchmark::DoNotOptimize(sign_recoverable(k, h));
}
BENCHMARK(primitive_sign)->Name("primitive/secp256k1_sign_recoverable");

void primitive_recover(benchmark::State& state) {
    const Digest& k = fixtures().secret;
    const Digest h = sha256(std::string_view("message"));
    const auto sig = sign_recoverable(k, h);
    std::uint8_t out[65];
    for (auto _ : state) benchmark::DoNotOptimize(recover(sig.data(), h, out));
}
BENCHMARK(primitive_recover)->Name("primitive/secp256k1_recover_low_s");

void primitive_parse(benchmark::State& state) {
    const auto pk = pubkey_create(fixtures().secret);
    std::uint8_t out[33];
    for (auto _ : state) benchmark::DoNotOptimize(pubkey_parse_compressed(pk.data(), out));
}
BENCHMARK(primitive_parse)->Name("primitive/secp256k1_pubkey_parse_33B");

void primitive_p256(benchmark::State& state) {
    const Fixtures& f = fixtures();
    const Digest d = sha256(f.token_signing_input);
    for (auto _ : state) {
        if (!p256_verify(f.p256_x.data(), f.p256_y.data(), f.token_sig.data(), d)) {
            state.SkipWithError("P-256 verification failed");
            break;
        }
    }
}
BENCHMARK(primitive_p256)->Name("primitive/p256_verify_key_per_call");

// ---- floors of the operations -------------------------------------------------

// SHA-256 of the binding, the signature, and the subject's SHA-256 over the
// tag and the compressed key; the public key is computed once.
void floor_mint_user_deed(benchmark::State& state) {
    const Digest& k = fixtures().secret;
    const std::string binding =
        "quorent-sovereign-user-v1|tenant:7|aud:app.example.com|origin:https://app.example.com"
        "|challenge:c-0123456789abcdef0123456789abcdef|exp:1700000300";
    for (auto _ : state) {
        const auto pk = pubkey_create(k);
        const auto sig = sign_recoverable(k, sha256(binding));
        std::uint8_t sub_in[62];
        std::memcpy(sub_in, "quorent-sovereign-user-sub-v1", 29);
        std::memcpy(sub_in + 29, pk.data(), 33);
        benchmark::DoNotOptimize(sig);
        benchmark::DoNotOptimize(sha256(sub_in, sizeof sub_in));
    }
}
BENCHMARK(floor_mint_user_deed)->Name("floor/mint_user_deed");

// HKDF as two HMACs (extract, one expand block), then the public key.
void floor_derive_app_key(benchmark::State& state) {
    const Digest seed = sha256(std::string_view("root seed"));
    const std::string info = "tenant:7|origin:https://app.example.com|ctr:0\x01";
    const std::uint8_t zero[32] = {};
    for (auto _ : state) {
        const Digest prk = hmac_sha256(zero, sizeof zero, seed.data(), seed.size());
        const Digest okm = hmac_sha256(prk.data(), prk.size(), info.data(), info.size());
        benchmark::DoNotOptimize(pubkey_create(okm));
    }
}
BENCHMARK(floor_derive_app_key)->Name("floor/derive_app_key");

void floor_user_sub(benchmark::State& state) {
    const auto pk = pubkey_create(fixtures().secret);
    for (auto _ : state) {
        std::uint8_t sub_in[62];
        std::memcpy(sub_in, "quorent-sovereign-user-sub-v1", 29);
        pubkey_parse_compressed(pk.data(), sub_in + 29);
        benchmark::DoNotOptimize(sha256(sub_in, sizeof sub_in));
    }
}
BENCHMARK(floor_user_sub)->Name("floor/user_sub");

// EIP-191 hash, recovery with the low-s test, the address's Keccak-256.
void recover_floor(benchmark::State& state, const std::string& message, const std::string& sig_hex) {
    std::uint8_t sig[65];
    for (int i = 0; i < 65; ++i) sig[i] = static_cast<std::uint8_t>(std::stoi(sig_hex.substr(2 * i, 2), nullptr, 16));
    std::uint8_t pub[65];
    for (auto _ : state) {
        if (!recover(sig, eip191_hash(message), pub)) {
            state.SkipWithError("recovery failed");
            break;
        }
        benchmark::DoNotOptimize(keccak256(pub + 1, 64));
    }
}

void floor_mint_admin_deed(benchmark::State& state) {
    recover_floor(state, fixtures().admin_message, fixtures().admin_sig_hex);
}
BENCHMARK(floor_mint_admin_deed)->Name("floor/mint_admin_deed");

void floor_origin_vouch_signer(benchmark::State& state) {
    const std::string o = "https://app.example.com";
    const std::string message = o + " is claiming to act for Quorent tenant 7.\n\nSigning this authorises " + o +
                                " to ask people and agents for deeds\nbelonging to the tenant below. Only sign it if "
                                "you administer that\ntenant AND you control " +
                                o + " \xE2\x80\x94 anyone holding this signature can\nmake holders believe " + o +
                                " speaks for you.\n\nTenant: 7\nAudience: app.example.com\nOrigin: " + o +
                                "\nEpoch: 3\nExpires (unix seconds): 1700000300\n\nquorent-origin-v1";
    recover_floor(state, message, fixtures().vouch_sig_hex);
}
BENCHMARK(floor_origin_vouch_signer)->Name("floor/origin_vouch_signer");

void floor_sign_client_assertion(benchmark::State& state) {
    const Digest& k = fixtures().secret;
    const std::string message =
        "Quorent client-credentials\ndomain: app.example.com\ntenant: 7\nnonce: "
        "n-0123456789abcdef0123456789abcdef\nissued-at: 1700000000";
    for (auto _ : state) benchmark::DoNotOptimize(sign_recoverable(k, eip191_hash(message)));
}
BENCHMARK(floor_sign_client_assertion)->Name("floor/sign_client_assertion");

// SHA-256 of the signing input and P-256 verification with the key built
// from its coordinates on every call.
void floor_verify_token_at(benchmark::State& state) {
    const Fixtures& f = fixtures();
    for (auto _ : state) {
        if (!p256_verify(f.p256_x.data(), f.p256_y.data(), f.token_sig.data(), sha256(f.token_signing_input))) {
            state.SkipWithError("P-256 verification failed");
            break;
        }
    }
}
BENCHMARK(floor_verify_token_at)->Name("floor/verify_token_at");

// The machine's own scaling on this primitive, for comparison with the
// operations' 1-versus-2-thread throughput.
void threads_primitive_sign(benchmark::State& state) {
    const Digest& k = fixtures().secret;
    Digest h = sha256(std::string_view("message"));
    h[0] = static_cast<std::uint8_t>(state.thread_index());
    for (auto _ : state) benchmark::DoNotOptimize(sign_recoverable(k, h));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(threads_primitive_sign)->Name("threads/secp256k1_sign_recoverable")->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
