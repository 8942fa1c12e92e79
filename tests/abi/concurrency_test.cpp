// Many threads calling every exported operation at once, with varied inputs:
// each outcome must equal the one the same call gave on a single thread.
// The table below lists one entry per call; an operation gets several
// entries with different arguments (successes and each kind of failure).
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host.hpp"

using namespace host;

namespace {

struct Call {
    std::string label;
    std::function<Outcome()> run;
};

std::string describe(const Outcome& o) {
    return "code " + std::to_string(o.code) + " variant " + std::to_string(o.variant) + " message [" + o.message +
           "] value [" + o.value + "]";
}

bool same(const Outcome& a, const Outcome& b) {
    return a.code == b.code && a.variant == b.variant && a.message == b.message && a.value == b.value;
}

// An integer result recorded as text, so that every entry compares alike.
template <class R, class F, class... Args>
Outcome call_number(F fn, Args... args) {
    auto [r, o] = call_int<R>(fn, args...);
    if (o.ok()) o.value = std::to_string(r);
    return o;
}

int env_int(const char* name, int fallback) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return fallback;
    return std::max(1, std::atoi(v));
}

// ---- the table ----------------------------------------------------------------

void add_buffer_calls(std::vector<Call>& t) {
    for (uint64_t size : {0u, 1u, 64u, 4096u}) {
        t.push_back({"rustbuffer_alloc " + std::to_string(size), [size] {
                         RustCallStatus st = fresh_status();
                         RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_alloc(size, &st);
                         Outcome o;
                         read_status(st, o);
                         o.value = std::to_string(b.capacity) + "/" + std::to_string(b.len) + ":" + take(b);
                         return o;
                     }});
    }
    t.push_back({"rustbuffer_alloc overflow", [] {
                     RustCallStatus st = fresh_status();
                     ffi_quorent_sdk_uniffi_rustbuffer_alloc(uint64_t{1} << 63, &st);
                     Outcome o;
                     read_status(st, o);
                     return o;
                 }});
    for (const std::string& text : std::vector<std::string>{"", "abc", std::string(1000, 'x')}) {
        for (uint64_t additional : {0u, 1u, 10u, 5000u}) {
            t.push_back({"from_bytes+reserve " + std::to_string(text.size()) + "+" + std::to_string(additional),
                         [text, additional] {
                             RustCallStatus st = fresh_status();
                             RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_reserve(buf(text), additional, &st);
                             Outcome o;
                             read_status(st, o);
                             o.value = std::to_string(b.capacity) + "/" + std::to_string(b.len) + ":" + take(b);
                             return o;
                         }});
        }
    }
    t.push_back({"rustbuffer_free inconsistent", [] {
                     RustCallStatus st = fresh_status();
                     ffi_quorent_sdk_uniffi_rustbuffer_free(RustBuffer{4, 0, nullptr}, &st);
                     Outcome o;
                     read_status(st, o);
                     return o;
                 }});
    t.push_back({"contract_version", [] {
                     Outcome o;
                     o.value = std::to_string(ffi_quorent_sdk_uniffi_uniffi_contract_version());
                     return o;
                 }});
}

void add_origin_calls(std::vector<Call>& t) {
    const char* origins[] = {
        "https://API.Shop.test",  "https://api.shop.test:443/", "http://localhost:80", "https://[2001:DB8::1]:443/",
        "https://B\xC3\x9C" "CHER.test", "HTTPS://shop.test",   "https://user@host/x",  "https://a%20b",
        "https://[::1]x",         "https://:80",                "https://a:b:c",        "https://[]",
        "https://[::1]:x",        "https://host:8o",            "",
    };
    for (const char* origin : origins) {
        const std::string text = origin;
        t.push_back({"normalize_origin " + text, [text] {
                         return call(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin, buf(text));
                     }});
    }
    t.push_back({"normalize_origin long host", [] {
                     return call(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin,
                                 buf("https://" + std::string(3000, 'A') + ".test:8443"));
                 }});
    t.push_back({"checksum normalize_origin", [] {
                     Outcome o;
                     o.value = std::to_string(uniffi_quorent_sdk_uniffi_checksum_func_normalize_origin());
                     return o;
                 }});
}

void add_oauth_calls(std::vector<Call>& t) {
    for (const std::string& verifier : std::vector<std::string>{
             "", "dBjftJeZ4CVP-mJ0DCMSpTTnCF6OSNYpv9gRU0jNfOlc8kU", std::string(4096, 'v'), "\xC3\xA9"}) {
        t.push_back({"pkce_challenge " + verifier.substr(0, 20), [verifier] {
                         return call(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, buf(verifier));
                     }});
    }
    // Random, so not comparable with an earlier answer: the pair must be
    // consistent with pkce_challenge instead.
    t.push_back({"generate_pkce consistent", [] {
                     Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_generate_pkce);
                     if (!o.ok()) return o;
                     Cursor c(o.value);
                     const std::string verifier = c.str();
                     const std::string challenge = c.str();
                     Outcome check = call(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, buf(verifier));
                     Outcome summary;
                     summary.value = verifier.size() == 43 && c.done() && check.ok() && check.value == challenge
                                         ? "consistent"
                                         : "inconsistent: " + o.value;
                     return summary;
                 }});
    const std::vector<std::vector<std::string>> authorize = {
        {"HTTPS://192.0.2.1:443/x/y?tenant=1#top", "c", "https://192.0.2.9/cb?a=b", "s t", "", "abc"},
        {"https://192.0.2.1:8443/realms/a/", "v", "v", "v", "v", "v"},
        {"https://idp.example/", "client", "https://app.example/cb", "st\xC3\xA9", "n~+", "*-._"},
        {"https://B\xC3\x9C" "CHER.example/realms/x", "c", "r", "s", "n", "cc"},
        {"idp.example", "c", "r", "s", "n", "cc"},
        {"https://idp.example:99999/", "c", "r", "s", "n", "cc"},
        {"https://[::1/", "c", "r", "s", "n", "cc"},
    };
    for (const auto& a : authorize) {
        t.push_back({"build_authorize_url " + a[0], [a] {
                         return call(uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url, buf(a[0]), buf(a[1]),
                                     buf(a[2]), buf(a[3]), buf(a[4]), buf(a[5]));
                     }});
    }
}

std::vector<Call> table() {
    std::vector<Call> t;
    add_buffer_calls(t);
    add_origin_calls(t);
    add_oauth_calls(t);
    return t;
}

}  // namespace

TEST(Concurrency, EveryCallGivesItsSingleThreadedAnswerUnderContention) {
    const std::vector<Call> calls = table();
    std::vector<Outcome> expected;
    expected.reserve(calls.size());
    for (const Call& c : calls) expected.push_back(c.run());
    // The answers must be stable on one thread before they mean anything on many.
    for (size_t i = 0; i < calls.size(); ++i) ASSERT_TRUE(same(calls[i].run(), expected[i])) << calls[i].label;

    const int threads = env_int("QUORENT_CONCURRENCY_THREADS", 8);
    const int rounds = env_int("QUORENT_CONCURRENCY_ROUNDS", 20);
    std::atomic<long> checked{0};
    std::atomic<long> mismatches{0};
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
