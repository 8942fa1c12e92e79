// Every exported operation through its C function, as a host calls it: the
// argument buffers are built and the result freed inside the timed loop.
// Operations without public-key cryptography run at 1x, 10x and 100x their
// typical input size ("op/<name>/<factor>"); the others run at typical size
// ("op/<name>") beside their floor. Each operation is registered from the
// interface table (its name and argument types) with its inputs below.
// The JSON-reading operations also run with the mixed shapes hosts send
// ("op/<name>/mixed"). "threads/<name>" measures throughput on one and on
// two threads.
// Laid out by hand (one table row per operation):
// clang-format off
#include <stdexcept>
#include <variant>

#include "quorent_operations.hpp"
#include "support.hpp"

using namespace bench;
namespace ops = quorent_host::ops;

#define FN(name) uniffi_quorent_sdk_uniffi_fn_func_##name

namespace {

constexpr std::uint64_t kTenant = 7;
constexpr std::uint64_t kExp = 1700000300;
const std::string kAud = "app.example.com";
const std::string kOrigin = "https://app.example.com";
const std::string kChallenge = "c-0123456789abcdef0123456789abcdef";
const std::string kHex32 = repeat("0123456789abcdef", 4);
const std::string kAddress = "0x" + repeat("ab", 20);
const std::string kSig65 = repeat("11", 64) + "1b";

std::size_t scale(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

using quorent_host::be32;
using quorent_host::be64;
using quorent_host::nested;

// A user-sig Deed record in its nested form.
std::string deed_record() {
    std::string d = std::string(1, '\x01') + nested("user-sig") + be64(kTenant) + nested(kHex32) + nested(kAud) +
                    nested(kChallenge) + be64(kExp);
    for (int i = 0; i < 11; ++i) {
        if (i == 2) d += std::string(1, '\x01') + nested(repeat("02", 33));
        else if (i == 3) d += std::string(1, '\x01') + nested(repeat("22", 64));
        else d += std::string(1, '\0');
    }
    return d;
}

// ---- every operation, registered from the interface table ------------------------

// The benchmark's argument values of one operation, in the table's order:
// integers for u64 and bool arguments, bytes (a text, or a nested form) for
// every other argument.
using Value = std::variant<std::uint64_t, std::string>;
using Values = std::vector<Value>;

struct Inputs {
    std::string_view name;            // the operation
    std::vector<std::int64_t> sizes;  // registered as op/<name>/<size>; none: op/<name>
    Values (*make)(std::size_t n);    // the values at n times the typical size
};

const std::vector<std::int64_t> kScaled = {1, 10, 100};
const std::vector<std::int64_t> kOnce = {1};
const std::vector<std::int64_t> kTypical = {};

// In registration order: without public-key cryptography at 1x, 10x and
// 100x; with it at typical size, beside its floor.
const Inputs kInputs[] = {
    {"normalize_origin", kScaled, [](std::size_t n) { return Values{"https://" + repeat("App.Example.", n) + "com:443/"}; }},
    {"pkce_challenge", kScaled,
     [](std::size_t n) { return Values{repeat("dBjftJeZ4CVP-mJ0DCMSpTTnCF6OSNYpv9gRU0jNfOl", n)}; }},
    {"generate_pkce", kOnce, [](std::size_t) { return Values{}; }},
    {"build_authorize_url", kScaled,
     [](std::size_t n) {
         return Values{"https://idp.example.com" + repeat("/realms/main", n) + "/", repeat("app-client", n),
                       "https://app.example.com/" + repeat("callback/", n), repeat("st-0123456789abcdef", n),
                       repeat("n-0123456789abcdef", n), repeat("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM", n)};
     }},
    {"user_binding", kScaled,
     [](std::size_t n) { return Values{kTenant, repeat(kAud, n), kOrigin, repeat(kChallenge, n), kExp}; }},
    {"user_root_binding", kScaled, [](std::size_t n) { return Values{"https://" + repeat("app.example.", n) + "com"}; }},
    {"derive_root_seed", kScaled,
     [](std::size_t n) {
         const std::string sig = repeat(fixtures().admin_sig_hex, n);
         return Values{kOrigin, sig, sig};
     }},
    {"parent_ref_hash_root", kScaled, [](std::size_t n) { return Values{repeat(kHex32, n)}; }},
    {"passkey_sub", kScaled, [](std::size_t n) { return Values{kTenant, kOrigin, repeat("04" + repeat("AB", 64), n)}; }},
    {"build_client_assertion", kScaled,
     [](std::size_t n) { return Values{repeat(kAud, n), kTenant, repeat(kChallenge, n), std::uint64_t{1700000000}}; }},
    {"is_origin_voucher_calldata", kOnce, [](std::size_t) { return Values{kTenant, kAddress, std::uint64_t{3}}; }},
    {"decode_bool_return", kOnce, [](std::size_t) { return Values{be32(32) + std::string(31, '\0') + "\x01"}; }},
    {"origin_vouch_binding", kScaled,
     [](std::size_t n) { return Values{kTenant, repeat(kAud, n), kOrigin, std::uint64_t{3}, kExp, std::uint64_t{0}}; }},
    {"origin_vouch_max_ttl_secs", kOnce, [](std::size_t) { return Values{}; }},
    {"issuer_key_id", kScaled, [](std::size_t n) { return Values{json_inputs::jwk(n)}; }},
    {"delegation_binding", kScaled,
     [](std::size_t n) {
         return Values{kTenant, "did:example:alice", "did:example:bob", json_inputs::grants(n), kExp, kHex32,
                       std::uint64_t{3}, kHex32};
     }},
    {"delegate", kScaled,
     [](std::size_t n) {
         return Values{kTenant, "did:example:alice", "did:example:bob", json_inputs::grants(n), kExp, kHex32,
                       std::uint64_t{3}, kHex32, std::string(1, '\0'), kSig65};
     }},
    {"parent_ref_hash_link", kScaled, [](std::size_t n) { return Values{json_inputs::link(n)}; }},
    {"mint_capability_deed", kScaled,
     [](std::size_t n) { return Values{deed_record(), json_inputs::grants(n), json_inputs::chain(n)}; }},
    {"mint_user_1271_deed", kScaled,
     [](std::size_t n) { return Values{kAddress, repeat(kSig65, n), kTenant, kAud, kOrigin, kChallenge, kExp}; }},
    {"mint_admin_deed_smartwallet", kScaled,
     [](std::size_t n) { return Values{kAddress, repeat(kSig65, n), kTenant, kAud, kChallenge, kExp}; }},
    {"mint_user_passkey_deed", kScaled,
     [](std::size_t n) {
         const std::string client = b64url(
             R"({"type":"webauthn.get","challenge":"c-0123456789abcdef","origin":"https://app.example.com"})");
         return Values{"04" + repeat("ab", 64), repeat(repeat("49", 37), n), repeat(client, n), repeat("30", 71),
                       kTenant, kAud, kOrigin, kChallenge, kExp};
     }},
    {"mint_user_deed", kTypical,
     [](std::size_t) { return Values{fixtures().secret_hex, kTenant, kAud, kOrigin, kChallenge, kExp}; }},
    {"derive_app_key", kTypical, [](std::size_t) { return Values{kHex32, kTenant, kOrigin}; }},
    {"user_sub", kTypical, [](std::size_t) { return Values{fixtures().pubkey_hex}; }},
    {"mint_admin_deed", kTypical,
     [](std::size_t) { return Values{fixtures().admin_sig_hex, kTenant, kAud, kChallenge, kExp}; }},
    {"origin_vouch_signer", kTypical,
     [](std::size_t) { return Values{kTenant, kAud, kOrigin, std::uint64_t{3}, kExp, fixtures().vouch_sig_hex}; }},
    {"sign_client_assertion", kTypical,
     [](std::size_t) { return Values{fixtures().secret_hex, kAud, kTenant, kChallenge, std::uint64_t{1700000000}}; }},
    {"verify_token_at", kTypical,
     [](std::size_t) {
         const Fixtures& f = fixtures();
         return Values{f.token, f.jwks, "https://idp.example.com", kAud, std::uint64_t{1700000000}};
     }},
};

// The JSON-reading operations again with the mixed shapes hosts send
// (json_inputs::mixed_*), as "op/<name>/mixed".
const Inputs kMixed[] = {
    {"delegation_binding", kTypical,
     [](std::size_t) {
         return Values{kTenant, "did:example:alice", "did:example:bob", json_inputs::mixed_grants(), kExp, kHex32,
                       std::uint64_t{3}, kHex32};
     }},
    {"delegate", kTypical,
     [](std::size_t) {
         return Values{kTenant, "did:example:alice", "did:example:bob", json_inputs::mixed_grants(), kExp, kHex32,
                       std::uint64_t{3}, kHex32, std::string(1, '\0'), kSig65};
     }},
    {"issuer_key_id", kTypical, [](std::size_t) { return Values{json_inputs::jwk(1)}; }},
    {"parent_ref_hash_link", kTypical, [](std::size_t) { return Values{json_inputs::mixed_link(true)}; }},
    {"mint_capability_deed", kTypical,
     [](std::size_t) { return Values{deed_record(), json_inputs::mixed_grants(), json_inputs::mixed_chain()}; }},
};

enum class Slot { U64, Flag, Buffer };
constexpr std::size_t kMaxArgs = std::tuple_size_v<decltype(quorent::ffi::iface::Func::args)>;

Slot slot_of(quorent::ffi::iface::Type t) {
    using T = quorent::ffi::iface::Type;
    return t == T::U64 ? Slot::U64 : t == T::Bool ? Slot::Flag : Slot::Buffer;
}

// One operation through its exported function, as a host calls it: the
// argument buffers are built and the result released inside the timed loop.
void run_operation(benchmark::State& state, const ops::Entry& op, const Inputs& in) {
    const auto& f = op.func();
    const Values values = in.make(in.sizes.empty() ? 1 : scale(state));
    if (values.size() != f.arg_count) throw std::logic_error("benchmark inputs of " + std::string(f.name) +
                                                             " do not match its arguments");
    Slot slots[kMaxArgs];
    for (std::size_t i = 0; i < f.arg_count; ++i) {
        slots[i] = slot_of(f.args[i].type);
        if ((slots[i] == Slot::Buffer) != std::holds_alternative<std::string>(values[i]))
            throw std::logic_error("benchmark input " + std::string(f.args[i].name) + " of " + std::string(f.name) +
                                   " has the wrong kind");
    }
    const bool buffer_result = slot_of(f.result) == Slot::Buffer;
    for (auto _ : state) {
        ops::Lowered a[kMaxArgs];
        for (std::size_t i = 0; i < f.arg_count; ++i) {
            switch (slots[i]) {
                case Slot::U64: a[i].u64 = std::get<std::uint64_t>(values[i]); break;
                case Slot::Flag: a[i].flag = static_cast<std::int8_t>(std::get<std::uint64_t>(values[i]) != 0); break;
                case Slot::Buffer: a[i].buf = arg(std::get<std::string>(values[i])); break;
            }
        }
        ops::Raw r = op.invoke(a);
        if (r.status.code != 0) {
            state.SkipWithError(failure(r.status).c_str());
            break;
        }
        benchmark::DoNotOptimize(r.buf);
        benchmark::DoNotOptimize(r.integer);
        if (buffer_result) release(r.buf);
    }
    state.SetItemsProcessed(state.iterations());
}

[[maybe_unused]] const bool kRegistered = [] {
    for (const Inputs& in : kInputs) {
        const ops::Entry* op = ops::find(in.name);
        if (op == nullptr) throw std::logic_error("no operation named " + std::string(in.name));
        auto* b = benchmark::RegisterBenchmark(("op/" + std::string(in.name)).c_str(),
                                               [op, &in](benchmark::State& s) { run_operation(s, *op, in); });
        for (std::int64_t size : in.sizes) b->Arg(size);
    }
    for (const Inputs& in : kMixed) {
        const ops::Entry* op = ops::find(in.name);
        if (op == nullptr) throw std::logic_error("no operation named " + std::string(in.name));
        benchmark::RegisterBenchmark(("op/" + std::string(in.name) + "/mixed").c_str(),
                                     [op, &in](benchmark::State& s) { run_operation(s, *op, in); });
    }
    return true;
}();

// ---- throughput on one and two threads ------------------------------------------

void threads_mint_user_deed(benchmark::State& state) {
    const std::string& key = fixtures().secret_hex;
    const std::string challenge = kChallenge + std::to_string(state.thread_index());
    run(state, [&](RustCallStatus* st) {
        return FN(mint_user_deed)(arg(key), kTenant, arg(kAud), arg(kOrigin), arg(challenge), kExp, st);
    });
}
BENCHMARK(threads_mint_user_deed)->Name("threads/mint_user_deed")->Threads(1)->Threads(2)->UseRealTime();

// OpenSSL 3 looks algorithms and key types up under shared locks; a key is
// built for every token.
void threads_verify_token_at(benchmark::State& state) {
    const Fixtures& f = fixtures();
    run(state, [&](RustCallStatus* st) {
        return FN(verify_token_at)(arg(f.token), arg(f.jwks), arg("https://idp.example.com"), arg(kAud), 1700000000, st);
    });
}
BENCHMARK(threads_verify_token_at)->Name("threads/verify_token_at")->Threads(1)->Threads(2)->UseRealTime();

void threads_normalize_origin(benchmark::State& state) {
    run(state, [&](RustCallStatus* st) { return FN(normalize_origin)(arg("https://App.Example.com:443/"), st); });
}
BENCHMARK(threads_normalize_origin)->Name("threads/normalize_origin")->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
// clang-format on
