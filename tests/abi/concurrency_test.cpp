// Many threads calling every exported operation at once, with varied inputs:
// each outcome must equal the one the same call gave on a single thread.
// The table below lists one entry per call; an operation gets several
// entries with different arguments (successes and each kind of failure).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "host.hpp"
#include "vectors.hpp"

using namespace host;

namespace {

struct Call {
    std::string label;
    std::function<Outcome()> run;
};
using Table = std::vector<Call>;

std::string describe(const Outcome& o) {
    return "code " + std::to_string(o.code) + " variant " + std::to_string(o.variant) + " message [" + o.message +
           "] value [" + o.value + "]";
}

bool same(const Outcome& a, const Outcome& b) {
    return a.code == b.code && a.variant == b.variant && a.message == b.message && a.value == b.value;
}

int env_int(const char* name, int fallback) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return fallback;
    return std::max(1, std::atoi(v));
}

// Arguments are kept as values and become fresh buffers at each call.
RustBuffer lower(const std::string& s) { return buf(s); }
RustBuffer lower(const char* s) { return buf(s); }
template <class T>
T lower(T v) {
    return v;
}

// An entry calling fn(args...) for a buffer result, or R for an integer one
// (recorded as text, so that every entry compares alike).
template <class R = RustBuffer, class F, class... A>
void add(Table& t, std::string label, F fn, A... args) {
    t.push_back({std::move(label), [=] {
                     if constexpr (std::is_same_v<R, RustBuffer>) {
                         return call(fn, lower(args)...);
                     } else {
                         auto [r, o] = call_int<R>(fn, lower(args)...);
                         if (o.ok()) o.value = std::to_string(r);
                         return o;
                     }
                 }});
}

Outcome buffer_status(RustBuffer b, RustCallStatus& st) {
    Outcome o;
    read_status(st, o);
    if (st.code == 0 && (b.data != nullptr || b.capacity != 0))
        o.value = std::to_string(b.capacity) + "/" + std::to_string(b.len) + ":" + take(b);
    return o;
}

// ---- the table ----------------------------------------------------------------

void add_buffer_calls(Table& t) {
    for (uint64_t size : {uint64_t{0}, uint64_t{64}, uint64_t{4096}, uint64_t{1} << 63}) {
        t.push_back({"rustbuffer_alloc " + std::to_string(size), [size] {
                         RustCallStatus st = fresh_status();
                         RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_alloc(size, &st);
                         return buffer_status(b, st);
                     }});
    }
    for (const std::string& text : {std::string(), std::string("abc"), std::string(1000, 'x')}) {
        for (uint64_t additional : {0u, 10u, 5000u}) {
            t.push_back(
                {"reserve " + std::to_string(text.size()) + "+" + std::to_string(additional), [text, additional] {
                     RustCallStatus st = fresh_status();
                     RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_reserve(buf(text), additional, &st);
                     return buffer_status(b, st);
                 }});
        }
    }
    t.push_back({"rustbuffer_free inconsistent", [] {
                     RustCallStatus st = fresh_status();
                     ffi_quorent_sdk_uniffi_rustbuffer_free(RustBuffer{4, 0, nullptr}, &st);
                     return buffer_status(RustBuffer{0, 0, nullptr}, st);
                 }});
    t.push_back({"contract_version and a checksum", [] {
                     Outcome o;
                     o.value = std::to_string(ffi_quorent_sdk_uniffi_uniffi_contract_version()) + " " +
                               std::to_string(uniffi_quorent_sdk_uniffi_checksum_func_normalize_origin());
                     return o;
                 }});
}

void add_origin_calls(Table& t) {
    for (const std::string& origin :
         {std::string("https://API.Shop.test"), std::string("http://localhost:80"),
          std::string("https://[2001:DB8::1]:443/"),
          std::string("https://B\xC3\x9C"
                      "CHER.test"),
          std::string("https://user@host/x"), std::string("https://[::1]x"), std::string("https://a:b:c"),
          std::string("https://host:8o"), std::string(), "https://" + std::string(3000, 'A') + ".test:8443"})
        add(t, "normalize_origin " + origin.substr(0, 30), uniffi_quorent_sdk_uniffi_fn_func_normalize_origin, origin);
}

void add_oauth_calls(Table& t) {
    for (const std::string& verifier :
         {std::string(), std::string("dBjftJeZ4CVP-mJ0DCMSpTTnCF6OSNYpv9gRU0jNfOlc8kU"), std::string(4096, 'v')})
        add(t, "pkce_challenge " + verifier.substr(0, 20), uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, verifier);
    // Random, so not comparable with an earlier answer: the pair must be
    // consistent with pkce_challenge instead.
    t.push_back({"generate_pkce consistent", [] {
                     Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_generate_pkce);
                     if (!o.ok()) return o;
                     Cursor c(o.value);
                     const std::string verifier = c.str(), challenge = c.str();
                     const Outcome check = call(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, buf(verifier));
                     Outcome summary;
                     summary.value = verifier.size() == 43 && c.done() && check.ok() && check.value == challenge
                                         ? "consistent"
                                         : "inconsistent: " + o.value;
                     return summary;
                 }});
    for (const char* issuer : {"HTTPS://192.0.2.1:443/x/y?tenant=1#top",
                               "https://B\xC3\x9C"
                               "CHER.example/realms/x",
                               "idp.example", "https://idp.example:99999/", "https://[::1/"})
        add(t, std::string("build_authorize_url ") + issuer, uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url,
            issuer, "client", "https://192.0.2.9/cb?a=b", "s t\xC3\xA9", "n~+", "*-._");
}

const std::string kKey = std::string(62, '0') + "2a";  // a valid secret scalar
const std::string kAddr = "0x" + std::string(40, 'a');
const uint64_t kT = 1700000000;

// An EIP-191 signature made through the interface itself, to recover from.
std::string wallet_signature(const std::string& nonce) {
    Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion, buf(kKey), buf("shop.test"), uint64_t{7},
                     buf(nonce), kT);
    EXPECT_TRUE(o.ok()) << o.message;
    return o.value.substr(2);  // without its "0x"
}

void add_wallet_calls(Table& t) {
    const std::string sig = wallet_signature("a");
    const std::string high_v = sig.substr(0, sig.size() - 2) + "1d";
    for (const std::string& key : {kKey, "0x" + kKey, std::string(64, '0'), std::string("abc"), std::string(62, 'f')})
        for (const std::string& nonce : {std::string("n1"), std::string(500, 'n')})
            add(t, "sign_client_assertion " + key + " " + nonce.substr(0, 8),
                uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion, key, "shop.test", uint64_t{7}, nonce, kT);
    for (uint64_t tenant : {uint64_t{0}, UINT64_MAX})
        add(t, "build_client_assertion " + std::to_string(tenant),
            uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion, "shop.test", tenant, "n\xC3\xA9", kT);
    for (const std::string& signer : {kAddr, "0x" + std::string(38, '1'), kAddr + "00"})
        add(t, "is_origin_voucher_calldata " + signer, uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata,
            uint64_t{3}, signer, uint64_t{9});
    for (const std::string& ret : {be32(32) + std::string(31, '\0') + "\x01", be32(32) + std::string(32, '\0'),
                                   be32(31) + std::string(31, '\0'), std::string("\x80\0\0\0", 4)})
        add<int8_t>(t, "decode_bool_return " + std::to_string(ret.size()),
                    uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return, ret);
    for (const std::string& origin : {std::string("https://shop.test"), std::string("http://shop.test"),
                                      std::string("https://localhost:8443"), std::string("https://a/b")}) {
        for (int8_t allow : {int8_t{0}, int8_t{1}, int8_t{2}})
            add(t, "origin_vouch_binding " + origin + " " + std::to_string(allow),
                uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding, uint64_t{7}, "web", origin, uint64_t{3}, kT,
                allow);
        for (const std::string& s : {sig, high_v, std::string(130, '0'), "0x" + sig})
            add(t, "origin_vouch_signer " + origin + " " + s.substr(0, 8),
                uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer, uint64_t{7}, "web", origin, uint64_t{3}, kT, s);
    }
    add<uint64_t>(t, "origin_vouch_max_ttl_secs", uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs);
    for (const std::string& s : {sig, high_v, sig.substr(0, 128), "0x0x" + sig, std::string("zz")})
        add(t, "mint_admin_deed " + s.substr(0, 8), uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed, s, uint64_t{7},
            "admin.shop.test", "c1", kT);
    for (const std::string& addr : {kAddr, std::string(40, 'B'), std::string("0x12")})
        add(t, "mint_admin_deed_smartwallet " + addr, uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet,
            addr, sig, uint64_t{7}, "admin.shop.test", "c1", kT);
}

void add_user_calls(Table& t) {
    for (const std::string origin : {"https://Shop.test:443/", "http://localhost:8080", "https://a/b", "ftp://x"}) {
        add(t, "user_root_binding " + origin, uniffi_quorent_sdk_uniffi_fn_func_user_root_binding, origin);
        add(t, "user_binding " + origin, uniffi_quorent_sdk_uniffi_fn_func_user_binding, uint64_t{7}, "app", origin,
            "c1", kT);
        for (const std::string& seed : {std::string(64, '1'), std::string(62, '2'), std::string("0x11")})
            add(t, "derive_app_key " + origin + " " + seed.substr(0, 4),
                uniffi_quorent_sdk_uniffi_fn_func_derive_app_key, seed, uint64_t{7}, origin);
        for (const std::string& key : {kKey, kKey.substr(2), std::string(64, '0'), "0x" + kKey})
            add(t, "mint_user_deed " + origin + " " + key.substr(0, 4),
                uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed, key, uint64_t{7}, "app", origin, "c1", kT);
        add(t, "mint_user_1271_deed " + origin, uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed, kAddr, "0xabcd",
            uint64_t{7}, "app", origin, "c1", kT);
        add(t, "mint_user_passkey_deed " + origin, uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed, "04AB",
            "49960d", "eyJ0eXBlIjoid2ViYXV0aG4uZ2V0In0", "3045", uint64_t{7}, "app", origin, "c1", kT);
        add(t, "passkey_sub " + origin, uniffi_quorent_sdk_uniffi_fn_func_passkey_sub, uint64_t{7}, origin, "04AB");
    }
    for (const auto& [s1, s2] :
         std::vector<std::pair<std::string, std::string>>{{"aabb", "AABB"},
                                                          {"aabb", "aabc"},
                                                          {"", ""},
                                                          {"abc", "abc"},
                                                          {std::string(130, 'e'), std::string(130, 'e')}})
        add(t, "derive_root_seed " + s1.substr(0, 6) + "/" + s2.substr(0, 6),
            uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed, "https://shop.test", s1, s2);
    const vectors::KeyVector& g = vectors::kKeys[0];
    for (const std::string& pk : {std::string(g.compressed), std::string(g.uncompressed),
                                  "04" + std::string(g.compressed).substr(2), std::string("x")})
        add(t, "user_sub " + pk.substr(0, 6), uniffi_quorent_sdk_uniffi_fn_func_user_sub, pk);
}

void add_capability_calls(Table& t) {
    const std::string zero32(64, '0');
    const std::string grants[] = {
        R"([{"res":"r","act":["read","write"],"cav":{}}])",
        "[\n {\"cav\":{\"nb\":{\"b\":1,\"a\":{\"d\":2.50}}},\"act\":[],\"res\":\"r\"}\n]",
        R"([{"res":"r","act":["x"]}])",
        R"([{"res":"r")",
    };
    for (const std::string& gr : grants) {
        for (const std::string& label : {zero32, std::string(60, '0'), "0x" + zero32.substr(2), std::string(63, 'a')})
            add(t, "delegation_binding " + gr.substr(0, 12) + " " + label.substr(0, 4),
                uniffi_quorent_sdk_uniffi_fn_func_delegation_binding, uint64_t{1}, "a", "b", gr, uint64_t{2}, label,
                uint64_t{3}, zero32);
        for (const std::string& pubkey : {std::string(1, '\0'), std::string("\x01") + be32(4) + "abcd",
                                          std::string("\x02"), std::string("\0\0", 2)})
            for (const std::string& sig : {std::string("0x0xab"), std::string(130, 'c'), std::string("zz")})
                add(t, "delegate " + gr.substr(0, 12) + " " + std::to_string(pubkey.size()) + " " + sig.substr(0, 4),
                    uniffi_quorent_sdk_uniffi_fn_func_delegate, uint64_t{1}, "a", "b", gr, uint64_t{2}, zero32,
                    uint64_t{3}, zero32, pubkey, sig);
    }
    const std::string link =
        R"({"iss":"a","to":"b","grants":[],"exp":2,"epoch_label":")" + zero32 + R"(","epoch":3,"sig":"00"})";
    for (const std::string& l :
         {link, "[\"a\",\"b\",[],2,\"" + zero32 + "\",3,\"00\"]", std::string("{}"), link.substr(0, 20), std::string()})
        add(t, "parent_ref_hash_link " + l.substr(0, 12), uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link, l);
    for (const std::string& root : {std::string(), kAddr, std::string(5000, 'r')})
        add(t, "parent_ref_hash_root " + root.substr(0, 8), uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root,
            root);
    // A base deed minted here, with and without lists of its own.
    const Outcome minted = call(uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed, buf(kAddr), buf("ab"),
                                uint64_t{7}, buf("app"), buf("https://shop.test"), buf("c1"), kT);
    EXPECT_TRUE(minted.ok()) << minted.message;
    const std::string base = minted.value;
    const std::string with_bad_lists = base.substr(0, base.size() - 2) + "\x01" + be32(1) + "[" + std::string(1, '\0');
    for (const std::string& deed : {base, with_bad_lists, base + "x", base.substr(0, 10)})
        for (const std::string& chain : {std::string("[]"), "[" + link + "," + link + "]", std::string("{")})
            add(t, "mint_capability_deed " + std::to_string(deed.size()) + " " + chain.substr(0, 6),
                uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed, deed, grants[0], chain);
}

void add_token_calls(Table& t) {
    const std::string& token = vectors::kTokKid;
    for (const std::string& jwt : {token, token.substr(0, token.size() - 2) + "AA", std::string("x.y"), token + "="})
        for (const char* iss : {"https://auth.quorent.test/", "https://auth.quorent.test"})
            for (uint64_t now : {uint64_t{1700000060}, uint64_t{1700000061}})
                add(t, "verify_token_at " + jwt.substr(jwt.size() - 3) + " " + iss + " " + std::to_string(now),
                    uniffi_quorent_sdk_uniffi_fn_func_verify_token_at, jwt, vectors::kJwks, iss, "app", now);
    add(t, "verify_token_at no keys", uniffi_quorent_sdk_uniffi_fn_func_verify_token_at, token, "{\"keys\":[]}", "i",
        "a", uint64_t{0});
    for (
        const char* jwk :
        {R"({"kty":"EC","crv":"P-256","x":"k5-XxpXdSyWx_3A1JXXIbCFd9gqJdYTB-V6IBIzD3FQ","y":"brnI8VcEyQL78KgT2c0VP-4U7V_qorEmt9ztIEefHGM"})",
         "{ \"y\":\"b\", \"x\":\"a\", \"kty\":\"EC\", \"crv\":\"P\\u002d256\", \"kid\":\"k\" }",
         R"({"kty":"ec","crv":"P-256","x":"a","y":"b"})", R"({"kty":1})", R"({"kty":"EC","crv":"P-256","x":"a"})",
         R"([1,2)"})
        add(t, std::string("issuer_key_id ") + jwk, uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id, jwk);
}

Table table() {
    Table t;
    add_buffer_calls(t);
    add_origin_calls(t);
    add_oauth_calls(t);
    add_wallet_calls(t);
    add_user_calls(t);
    add_capability_calls(t);
    add_token_calls(t);
    return t;
}

}  // namespace

TEST(Concurrency, EveryCallGivesItsSingleThreadedAnswerUnderContention) {
    const Table calls = table();
    std::vector<Outcome> expected;
    expected.reserve(calls.size());
    for (const Call& c : calls) expected.push_back(c.run());
    // QUORENT_CONCURRENCY_SHOW=1 lists the table with its answers, to review new entries.
    if (std::getenv("QUORENT_CONCURRENCY_SHOW"))
        for (size_t i = 0; i < calls.size(); ++i)
            std::printf("%s => %s\n", calls[i].label.c_str(), describe(expected[i]).substr(0, 120).c_str());
    // The answers must be stable on one thread before they mean anything on many.
    for (size_t i = 0; i < calls.size(); ++i) ASSERT_TRUE(same(calls[i].run(), expected[i])) << calls[i].label;

    const int threads = env_int("QUORENT_CONCURRENCY_THREADS", 8);
    const int rounds = env_int("QUORENT_CONCURRENCY_ROUNDS", 20);
    std::atomic<long> checked{0}, mismatches{0};
    std::mutex first_mutex;
    std::string first;
    std::atomic<bool> go{false};

    std::vector<std::thread> pool;
    for (int k = 0; k < threads; ++k) {
        pool.emplace_back([&, k] {
            std::vector<size_t> order(calls.size());
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::mt19937 rng(static_cast<unsigned>(k) * 7919u + 1u);
            while (!go.load()) std::this_thread::yield();
            for (int r = 0; r < rounds; ++r) {
                std::shuffle(order.begin(), order.end(), rng);
                for (size_t i : order) {
                    Outcome got = calls[i].run();
                    ++checked;
                    if (!same(got, expected[i])) {
                        ++mismatches;
                        std::lock_guard<std::mutex> lock(first_mutex);
                        if (first.empty())
                            first = calls[i].label + ": got " + describe(got) + ", expected " + describe(expected[i]);
                    }
                }
            }
        });
    }
    go.store(true);
    for (auto& th : pool) th.join();

    EXPECT_EQ(checked.load(), static_cast<long>(threads) * rounds * static_cast<long>(calls.size()));
    EXPECT_EQ(mismatches.load(), 0) << first;
}
