// Every exported operation through its C function, as a host calls it: the
// argument buffers are built and the result freed inside the timed loop.
// Operations without public-key cryptography run at 1x, 10x and 100x their
// typical input size ("op/<name>/<factor>"); the others run at typical size
// ("op/<name>") beside their floor. "threads/<name>" measures throughput on
// one and on two threads.
#include "support.hpp"

using namespace bench;

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

std::string be32(std::size_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string be64(std::uint64_t v) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (56 - 8 * i));
    return s;
}
std::string nested(const std::string& s) { return be32(s.size()) + s; }

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

// ---- operations without public-key cryptography, at 1x, 10x, 100x ---------------

void op_normalize_origin(benchmark::State& state) {
    const std::string origin = "https://" + repeat("App.Example.", scale(state)) + "com:443/";
    run(state, [&](RustCallStatus* st) { return FN(normalize_origin)(arg(origin), st); });
}
BENCHMARK(op_normalize_origin)->Name("op/normalize_origin")->Arg(1)->Arg(10)->Arg(100);

void op_pkce_challenge(benchmark::State& state) {
    const std::string verifier = repeat("dBjftJeZ4CVP-mJ0DCMSpTTnCF6OSNYpv9gRU0jNfOl", scale(state));
    run(state, [&](RustCallStatus* st) { return FN(pkce_challenge)(arg(verifier), st); });
}
BENCHMARK(op_pkce_challenge)->Name("op/pkce_challenge")->Arg(1)->Arg(10)->Arg(100);

void op_generate_pkce(benchmark::State& state) {
    run(state, [&](RustCallStatus* st) { return FN(generate_pkce)(st); });
}
BENCHMARK(op_generate_pkce)->Name("op/generate_pkce")->Arg(1);

void op_build_authorize_url(benchmark::State& state) {
    const std::size_t n = scale(state);
    const std::string issuer = "https://idp.example.com" + repeat("/realms/main", n) + "/";
    const std::string client = repeat("app-client", n);
    const std::string redirect = "https://app.example.com/" + repeat("callback/", n);
    const std::string st8 = repeat("st-0123456789abcdef", n);
    const std::string nonce = repeat("n-0123456789abcdef", n);
    const std::string challenge = repeat("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM", n);
    run(state, [&](RustCallStatus* st) {
        return FN(build_authorize_url)(arg(issuer), arg(client), arg(redirect), arg(st8), arg(nonce), arg(challenge), st);
    });
}
BENCHMARK(op_build_authorize_url)->Name("op/build_authorize_url")->Arg(1)->Arg(10)->Arg(100);

void op_user_binding(benchmark::State& state) {
    const std::string aud = repeat(kAud, scale(state));
    const std::string challenge = repeat(kChallenge, scale(state));
    run(state, [&](RustCallStatus* st) {
        return FN(user_binding)(kTenant, arg(aud), arg(kOrigin), arg(challenge), kExp, st);
    });
}
BENCHMARK(op_user_binding)->Name("op/user_binding")->Arg(1)->Arg(10)->Arg(100);

void op_user_root_binding(benchmark::State& state) {
    const std::string origin = "https://" + repeat("app.example.", scale(state)) + "com";
    run(state, [&](RustCallStatus* st) { return FN(user_root_binding)(arg(origin), st); });
}
BENCHMARK(op_user_root_binding)->Name("op/user_root_binding")->Arg(1)->Arg(10)->Arg(100);

void op_derive_root_seed(benchmark::State& state) {
    const std::string sig = repeat(fixtures().admin_sig_hex, scale(state));
    run(state, [&](RustCallStatus* st) { return FN(derive_root_seed)(arg(kOrigin), arg(sig), arg(sig), st); });
}
BENCHMARK(op_derive_root_seed)->Name("op/derive_root_seed")->Arg(1)->Arg(10)->Arg(100);

void op_parent_ref_hash_root(benchmark::State& state) {
    const std::string root = repeat(kHex32, scale(state));
    run(state, [&](RustCallStatus* st) { return FN(parent_ref_hash_root)(arg(root), st); });
}
BENCHMARK(op_parent_ref_hash_root)->Name("op/parent_ref_hash_root")->Arg(1)->Arg(10)->Arg(100);

void op_passkey_sub(benchmark::State& state) {
    const std::string key = repeat("04" + repeat("AB", 64), scale(state));
    run(state, [&](RustCallStatus* st) { return FN(passkey_sub)(kTenant, arg(kOrigin), arg(key), st); });
}
BENCHMARK(op_passkey_sub)->Name("op/passkey_sub")->Arg(1)->Arg(10)->Arg(100);

void op_build_client_assertion(benchmark::State& state) {
    const std::string domain = repeat(kAud, scale(state));
    const std::string nonce = repeat(kChallenge, scale(state));
    run(state, [&](RustCallStatus* st) {
        return FN(build_client_assertion)(arg(domain), kTenant, arg(nonce), 1700000000, st);
    });
}
BENCHMARK(op_build_client_assertion)->Name("op/build_client_assertion")->Arg(1)->Arg(10)->Arg(100);

void op_is_origin_voucher_calldata(benchmark::State& state) {
    run(state, [&](RustCallStatus* st) { return FN(is_origin_voucher_calldata)(kTenant, arg(kAddress), 3, st); });
}
BENCHMARK(op_is_origin_voucher_calldata)->Name("op/is_origin_voucher_calldata")->Arg(1);

void op_decode_bool_return(benchmark::State& state) {
    const std::string ret = be32(32) + std::string(31, '\0') + "\x01";
    run(state, [&](RustCallStatus* st) { return FN(decode_bool_return)(arg(ret), st); });
}
BENCHMARK(op_decode_bool_return)->Name("op/decode_bool_return")->Arg(1);

void op_origin_vouch_binding(benchmark::State& state) {
    const std::string aud = repeat(kAud, scale(state));
    run(state, [&](RustCallStatus* st) {
        return FN(origin_vouch_binding)(kTenant, arg(aud), arg(kOrigin), 3, kExp, 0, st);
    });
}
BENCHMARK(op_origin_vouch_binding)->Name("op/origin_vouch_binding")->Arg(1)->Arg(10)->Arg(100);

void op_origin_vouch_max_ttl_secs(benchmark::State& state) {
    run(state, [&](RustCallStatus* st) { return FN(origin_vouch_max_ttl_secs)(st); });
}
BENCHMARK(op_origin_vouch_max_ttl_secs)->Name("op/origin_vouch_max_ttl_secs")->Arg(1);

void op_issuer_key_id(benchmark::State& state) {
    const std::string jwk = json_inputs::jwk(scale(state));
    run(state, [&](RustCallStatus* st) { return FN(issuer_key_id)(arg(jwk), st); });
}
BENCHMARK(op_issuer_key_id)->Name("op/issuer_key_id")->Arg(1)->Arg(10)->Arg(100);

void op_delegation_binding(benchmark::State& state) {
    const std::string grants = json_inputs::grants(scale(state));
    run(state, [&](RustCallStatus* st) {
        return FN(delegation_binding)(kTenant, arg("did:example:alice"), arg("did:example:bob"), arg(grants), kExp,
                                      arg(kHex32), 3, arg(kHex32), st);
    });
}
BENCHMARK(op_delegation_binding)->Name("op/delegation_binding")->Arg(1)->Arg(10)->Arg(100);

void op_delegate(benchmark::State& state) {
    const std::string grants = json_inputs::grants(scale(state));
    const std::string absent(1, '\0');
    run(state, [&](RustCallStatus* st) {
        return FN(delegate)(kTenant, arg("did:example:alice"), arg("did:example:bob"), arg(grants), kExp, arg(kHex32), 3,
                            arg(kHex32), arg(absent), arg(kSig65), st);
    });
}
BENCHMARK(op_delegate)->Name("op/delegate")->Arg(1)->Arg(10)->Arg(100);

void op_parent_ref_hash_link(benchmark::State& state) {
    const std::string link = json_inputs::link(scale(state));
    run(state, [&](RustCallStatus* st) { return FN(parent_ref_hash_link)(arg(link), st); });
}
BENCHMARK(op_parent_ref_hash_link)->Name("op/parent_ref_hash_link")->Arg(1)->Arg(10)->Arg(100);

void op_mint_capability_deed(benchmark::State& state) {
    const std::string deed = deed_record();
    const std::string grants = json_inputs::grants(scale(state));
    const std::string chain = json_inputs::chain(scale(state));
    run(state, [&](RustCallStatus* st) { return FN(mint_capability_deed)(arg(deed), arg(grants), arg(chain), st); });
}
BENCHMARK(op_mint_capability_deed)->Name("op/mint_capability_deed")->Arg(1)->Arg(10)->Arg(100);

void op_mint_user_1271_deed(benchmark::State& state) {
    const std::string sig = repeat(kSig65, scale(state));
    run(state, [&](RustCallStatus* st) {
        return FN(mint_user_1271_deed)(arg(kAddress), arg(sig), kTenant, arg(kAud), arg(kOrigin), arg(kChallenge), kExp, st);
    });
}
BENCHMARK(op_mint_user_1271_deed)->Name("op/mint_user_1271_deed")->Arg(1)->Arg(10)->Arg(100);

void op_mint_admin_deed_smartwallet(benchmark::State& state) {
    const std::string sig = repeat(kSig65, scale(state));
    run(state, [&](RustCallStatus* st) {
        return FN(mint_admin_deed_smartwallet)(arg(kAddress), arg(sig), kTenant, arg(kAud), arg(kChallenge), kExp, st);
    });
}
BENCHMARK(op_mint_admin_deed_smartwallet)->Name("op/mint_admin_deed_smartwallet")->Arg(1)->Arg(10)->Arg(100);

void op_mint_user_passkey_deed(benchmark::State& state) {
    const std::size_t n = scale(state);
    const std::string cred = "04" + repeat("ab", 64);
    const std::string auth = repeat(repeat("49", 37), n);
    const std::string client = repeat(b64url(R"({"type":"webauthn.get","challenge":"c-0123456789abcdef","origin":"https://app.example.com"})"), n);
    const std::string sig = repeat("30", 71);
    run(state, [&](RustCallStatus* st) {
        return FN(mint_user_passkey_deed)(arg(cred), arg(auth), arg(client), arg(sig), kTenant, arg(kAud), arg(kOrigin),
                                          arg(kChallenge), kExp, st);
    });
}
BENCHMARK(op_mint_user_passkey_deed)->Name("op/mint_user_passkey_deed")->Arg(1)->Arg(10)->Arg(100);

// ---- operations with public-key cryptography, beside their floors ---------------

void op_mint_user_deed(benchmark::State& state) {
    const std::string& key = fixtures().secret_hex;
    run(state, [&](RustCallStatus* st) {
        return FN(mint_user_deed)(arg(key), kTenant, arg(kAud), arg(kOrigin), arg(kChallenge), kExp, st);
    });
}
BENCHMARK(op_mint_user_deed)->Name("op/mint_user_deed");

void op_derive_app_key(benchmark::State& state) {
    run(state, [&](RustCallStatus* st) { return FN(derive_app_key)(arg(kHex32), kTenant, arg(kOrigin), st); });
}
BENCHMARK(op_derive_app_key)->Name("op/derive_app_key");

void op_user_sub(benchmark::State& state) {
    const std::string& pk = fixtures().pubkey_hex;
    run(state, [&](RustCallStatus* st) { return FN(user_sub)(arg(pk), st); });
}
BENCHMARK(op_user_sub)->Name("op/user_sub");

void op_mint_admin_deed(benchmark::State& state) {
    const std::string& sig = fixtures().admin_sig_hex;
    run(state, [&](RustCallStatus* st) {
        return FN(mint_admin_deed)(arg(sig), kTenant, arg(kAud), arg(kChallenge), kExp, st);
    });
}
BENCHMARK(op_mint_admin_deed)->Name("op/mint_admin_deed");

void op_origin_vouch_signer(benchmark::State& state) {
    const std::string& sig = fixtures().vouch_sig_hex;
    run(state, [&](RustCallStatus* st) {
        return FN(origin_vouch_signer)(kTenant, arg(kAud), arg(kOrigin), 3, kExp, arg(sig), st);
    });
}
BENCHMARK(op_origin_vouch_signer)->Name("op/origin_vouch_signer");

void op_sign_client_assertion(benchmark::State& state) {
    const std::string& key = fixtures().secret_hex;
    run(state, [&](RustCallStatus* st) {
        return FN(sign_client_assertion)(arg(key), arg(kAud), kTenant, arg(kChallenge), 1700000000, st);
    });
}
BENCHMARK(op_sign_client_assertion)->Name("op/sign_client_assertion");

void op_verify_token_at(benchmark::State& state) {
    const Fixtures& f = fixtures();
    run(state, [&](RustCallStatus* st) {
        return FN(verify_token_at)(arg(f.token), arg(f.jwks), arg("https://idp.example.com"), arg(kAud), 1700000000, st);
    });
}
BENCHMARK(op_verify_token_at)->Name("op/verify_token_at");

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
