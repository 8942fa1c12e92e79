// The work of every exported operation that reads JSON, on inputs shaped to
// be costly, counted in instructions: doubling a shape may at most double
// the work it adds to a call. The library is driven through its exported C
// functions only, as a host does.
//
// Runs under callgrind (scripts/test.d/40-valgrind.sh):
//   QUORENT_COST_DIR=D valgrind --tool=callgrind --callgrind-out-file=D/cost.%p
//     --cache-sim=no --branch-sim=no json_cost_test
// Each call is bracketed by client requests that zero the counters and dump
// them to D/cost.<pid>.<n>; the test reads the dump's total back and removes
// it. Anywhere else it reports itself skipped (exit code 77).
//
// Environment: QUORENT_COST_MAX_DEPTH caps the nesting depth (a library that
// is exponential in it is measured at small depths), QUORENT_COST_BYTES sets
// the size n of the flat shapes, QUORENT_COST_ONLY keeps the rows whose
// "operation place shape" holds the text it holds.
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "quorent_host.hpp"

namespace {

using namespace quorent_host;
using Call = std::function<RustBuffer(RustCallStatus*)>;

// Linear work is W(n) = W0 + a*n, W0 the call's work on a minimal input, so
// the work a shape adds, W(n) - W0, doubles with it exactly. Allowed:
//   W(2n) - W0 <= kGrowth * (W(n) - W0) + C,  C = 1000 + W0 / 200.
// kGrowth is 2.2, not 2: buffers grow by doubling, so a shape twice as
// large may cross one more growth; up to 2.15 is seen on linear code.
// C covers what varies regardless of the shape: 1000 instructions for where
// allocations land and which path of memcpy an alignment takes, and 0.5% of
// the call for the token's ECDSA verification, whose work varies with the
// signature by up to 0.18% (once in W0, once in W(2n)).
constexpr double kGrowth = 2.2;
double allowance(double w0) { return 1000 + w0 / 200; }

std::string repeat(std::string_view s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    while (n-- > 0) out += s;
    return out;
}

std::size_t env_size(const char* name, std::size_t fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtoul(v, nullptr, 10) : fallback;
}

// ---- shapes: a JSON value, by depth (nested) or by about that many bytes (flat) ----

// `depth` arrays/objects: `open` around `inner` (one level) depth-1 times.
std::string nest(std::size_t depth, std::string_view open, const std::string& inner, const std::string& close) {
    return repeat(open, depth - 1) + inner + repeat(close, depth - 1);
}

std::string members(std::size_t count, bool descending) {
    std::string out = "{";
    char key[32];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(key, sizeof key, "%s\"k%06zu\":0", i == 0 ? "" : ",", descending ? count - 1 - i : i);
        out += key;
    }
    return out + "}";
}

struct Shape {
    const char* name;
    bool nested;
    std::string (*make)(std::size_t size);
};

// Each nested level holds its child first, then the member that sends an
// object off the plain path: a key seen before, an escaped key, a 17th
// member, a key before the last.
const Shape kShapes[] = {
    {"repeated-key", true, [](std::size_t d) { return nest(d, R"({"a":)", R"({"a":0,"a":0})", R"(,"a":0})"); }},
    {"escaped-key", true,
     [](std::size_t d) { return nest(d, R"({"a":)", R"({"a":0,"\u0062":0})", R"(,"\u0062":0})"); }},
    {"17-members", true,
     [](std::size_t d) {
         std::string more;
         for (char c = 'b'; c <= 'q'; ++c) more += std::string(",\"") + c + "\":0";
         return nest(d, R"({"a":)", R"({"a":0)" + more + "}", more + "}");
     }},
    {"descending-keys", true, [](std::size_t d) { return nest(d, R"({"b":)", R"({"b":0,"a":0})", R"(,"a":0})"); }},
    {"arrays", true, [](std::size_t d) { return nest(d, "[", "[0]", ",0]"); }},
    {"escapes", false,
     [](std::size_t n) { return "\"" + repeat(R"(a\"\\\n\u00e9\ud83d\ude00/)", n / 26) + "\""; }},
    {"members-descending", false, [](std::size_t n) { return members(n / 12, true); }},
    {"members-ascending", false, [](std::size_t n) { return members(n / 12, false); }},
    {"long-fraction", false, [](std::size_t n) { return "0." + repeat("1234567890", n / 10); }},
    {"fractions", false,
     [](std::size_t n) { return "[" + repeat("0.10000,1.5e3,12345678901234567890,-2.5E-7,", n / 43) + "0]"; }},
};

// ---- where a shape goes: the texts an operation reads, and its call ---------------

RustBuffer arg(std::string_view s) { return to_buffer(s); }

const std::string kHex32(64, '0');

// In a grant's free-form `nb` caveats (4 levels: list, grant, cav, nb), or
// in an unknown member of the grant (2 levels), which is skipped.
std::string grants_nb(const std::string& v) { return R"([{"res":"r","act":["a"],"cav":{"nb":{"v":)" + v + "}}}]"; }
std::string grants_member(const std::string& v) { return R"([{"res":"r","act":["a"],"cav":{},"x":)" + v + "}]"; }
std::string link(const std::string& grants, const std::string& extra = "") {
    return R"({"iss":"a","to":"b","grants":)" + grants + R"(,"exp":2,"epoch_label":")" + kHex32 +
           R"(","epoch":3,"sig":"ab")" + extra + "}";
}

Call binding(const std::string& grants) {
    RustBuffer iss = arg("a"), to = arg("b"), g = arg(grants), label = arg(kHex32), parent = arg(kHex32);
    return [=](RustCallStatus* st) {
        return uniffi_quorent_sdk_uniffi_fn_func_delegation_binding(1, iss, to, g, 2, label, 3, parent, st);
    };
}

Call delegate(const std::string& grants) {
    RustBuffer iss = arg("a"), to = arg("b"), g = arg(grants), label = arg(kHex32), parent = arg(kHex32),
               pubkey = arg(opt(std::nullopt)), sig = arg("abcd");
    return [=](RustCallStatus* st) {
        return uniffi_quorent_sdk_uniffi_fn_func_delegate(1, iss, to, g, 2, label, 3, parent, pubkey, sig, st);
    };
}

Call link_hash(const std::string& json) {
    RustBuffer l = arg(json);
    return [=](RustCallStatus* st) { return uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link(l, st); };
}

// The exported Deed record's nested form, a user-sig deed carrying `grants`.
std::string deed(const std::optional<std::string>& grants) {
    std::string s(1, '\1');
    put_str(s, "user-sig");
    put_u64(s, 7);
    for (const char* f : {"sub", "aud", "ch"}) put_str(s, f);
    put_u64(s, 99);
    // root, proof, pubkey, signature, credential_pubkey, authenticator_data,
    // client_data_json, assertion_sig, signer, grants, delegations
    const std::optional<std::string> none;
    for (const auto& f : {none, none, std::optional<std::string>("02ab"), std::optional<std::string>("cd"), none,
                          none, none, none, none, grants, none})
        put_opt_str(s, f);
    return s;
}

Call mint(const std::optional<std::string>& base_grants, const std::string& grants, const std::string& chain) {
    RustBuffer d = arg(deed(base_grants)), g = arg(grants), c = arg(chain);
    return [=](RustCallStatus* st) { return uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed(d, g, c, st); };
}

// ES256 tokens signed with a key made once, and that key as a JWK.
std::string b64url(std::string_view in) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char c : in) {
        acc = (acc << 8) | c;
        for (bits += 8; bits >= 6; bits -= 6) out += kAlphabet[(acc >> (bits - 6)) & 63];
    }
    if (bits > 0) out += kAlphabet[(acc << (6 - bits)) & 63];
    return out;
}

struct Signer {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    std::string x, y;
    Signer() {
        for (auto [name, out] : {std::pair{OSSL_PKEY_PARAM_EC_PUB_X, &x}, std::pair{OSSL_PKEY_PARAM_EC_PUB_Y, &y}}) {
            BIGNUM* bn = nullptr;
            unsigned char b[32];
            if (key == nullptr || EVP_PKEY_get_bn_param(key, name, &bn) != 1 || BN_bn2binpad(bn, b, 32) != 32)
                throw std::runtime_error("P-256 key");
            BN_free(bn);
            *out = b64url({reinterpret_cast<char*>(b), 32});
        }
    }
    std::string jwk(const std::string& v) const {
        return R"({"kty":"EC","crv":"P-256","kid":"k1","x":")" + x + R"(","y":")" + y + R"(","ext":)" + v + "}";
    }
    std::string token(const std::string& header, const std::string& payload) const {
        const std::string input = b64url(header) + "." + b64url(payload);
        unsigned char der[80], rs[64];
        std::size_t len = sizeof der;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        const bool ok = EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, key) == 1 &&
                        EVP_DigestSign(ctx, der, &len, reinterpret_cast<const unsigned char*>(input.data()),
                                       input.size()) == 1;
        EVP_MD_CTX_free(ctx);
        const unsigned char* p = der;
        ECDSA_SIG* sig = ok ? d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(len)) : nullptr;
        if (sig == nullptr) throw std::runtime_error("ES256 signing");
        BN_bn2binpad(ECDSA_SIG_get0_r(sig), rs, 32);
        BN_bn2binpad(ECDSA_SIG_get0_s(sig), rs + 32, 32);
        ECDSA_SIG_free(sig);
        return input + "." + b64url({reinterpret_cast<char*>(rs), 64});
    }
};

const Signer& signer() {
    static const Signer s;
    return s;
}

// A token carrying the shape in its header, its claims or its key set.
Call verify(const std::string& header_v, const std::string& claims_v, const std::string& key_v) {
    const std::string jwt = signer().token(
        R"({"alg":"ES256","kid":"k1","ext":)" + header_v + "}",
        R"({"iss":"https://idp.test","sub":"s","aud":"app","exp":4102444800,"iat":1700000000,"ext":)" + claims_v +
            "}");
    RustBuffer t = arg(jwt), keys = arg(R"({"keys":[)" + signer().jwk(key_v) + "]}"), iss = arg("https://idp.test"),
               aud = arg("app");
    return [=](RustCallStatus* st) {
        return uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(t, keys, iss, aud, 1700000000, st);
    };
}

struct Place {
    const char* op;
    const char* where;
    std::size_t levels;  // the arrays/objects around the shape
    Call (*prepare)(const std::string& v);
};

const Place kPlaces[] = {
    {"delegation_binding", "grant nb", 4, [](const std::string& v) { return binding(grants_nb(v)); }},
    {"delegation_binding", "grant member", 2, [](const std::string& v) { return binding(grants_member(v)); }},
    {"delegate", "grant nb", 4, [](const std::string& v) { return delegate(grants_nb(v)); }},
    {"parent_ref_hash_link", "grant nb", 5, [](const std::string& v) { return link_hash(link(grants_nb(v))); }},
    {"parent_ref_hash_link", "link member", 1,
     [](const std::string& v) { return link_hash(link("[]", R"(,"x":)" + v)); }},
    {"mint_capability_deed", "base grant nb", 4, [](const std::string& v) { return mint(grants_nb(v), "[]", "[]"); }},
    {"mint_capability_deed", "grant nb", 4,
     [](const std::string& v) { return mint(std::nullopt, grants_nb(v), "[]"); }},
    {"mint_capability_deed", "chain nb", 6,
     [](const std::string& v) { return mint(std::nullopt, "[]", "[" + link(grants_nb(v)) + "]"); }},
    {"issuer_key_id", "jwk member", 1,
     [](const std::string& v) {
         RustBuffer k = arg(signer().jwk(v));
         return Call([=](RustCallStatus* st) { return uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id(k, st); });
     }},
    {"verify_token_at", "header member", 1, [](const std::string& v) { return verify(v, "0", "0"); }},
    {"verify_token_at", "claims member", 1, [](const std::string& v) { return verify("0", v, "0"); }},
    {"verify_token_at", "jwks key member", 3, [](const std::string& v) { return verify("0", "0", v); }},
};

// ---- measuring ----------------------------------------------------------------------

std::string g_dir = ".";
unsigned g_dumps = 0;

// The instructions of one call, and of releasing its result; a failed call
// is a std::runtime_error with its message.
std::uint64_t measure(const Call& call) {
    RustCallStatus st = fresh_status();
    CALLGRIND_ZERO_STATS;
    const RustBuffer r = call(&st);
    if (st.code == 0) release(r);
    CALLGRIND_DUMP_STATS_AT("json cost");
    const std::string path = g_dir + "/cost." + std::to_string(getpid()) + "." + std::to_string(++g_dumps);
    std::ifstream in(path);
    std::uint64_t total = 0;
    bool found = false;
    for (std::string line; !found && std::getline(in, line);)
        for (const char* tag : {"totals:", "summary:"})
            if (line.rfind(tag, 0) == 0) {
                total = std::strtoull(line.c_str() + std::strlen(tag), nullptr, 10);
                found = true;
            }
    std::remove(path.c_str());
    if (st.code != 0) throw std::runtime_error("the call failed: " + read_status(st).message);
    if (!found) throw std::logic_error("no callgrind dump at " + path);
    return total;
}

}  // namespace

int main() {
    if (RUNNING_ON_VALGRIND == 0) {
        std::puts("json_cost_test: skipped, it counts instructions under valgrind --tool=callgrind");
        return 77;
    }
    if (const char* d = std::getenv("QUORENT_COST_DIR")) g_dir = d;
    const std::size_t max_depth = env_size("QUORENT_COST_MAX_DEPTH", 127);
    const std::size_t n = env_size("QUORENT_COST_BYTES", 4096);
    const std::string only = std::getenv("QUORENT_COST_ONLY") != nullptr ? std::getenv("QUORENT_COST_ONLY") : "";

    std::puts("ratio: W(2n)/W(n); growth: (W(2n) - W0)/(W(n) - W0); ins/B: W(2n) - W0 per byte of the shape at 2n");
    std::printf("%-20s %-15s %-18s %6s %7s %9s %10s %10s %6s %6s %7s\n", "operation", "place", "shape", "size",
                "bytes", "W0", "W(n)", "W(2n)", "ratio", "growth", "ins/B");
    int rows = 0, over = 0;
    try {
        for (const Place& place : kPlaces) {
            // The call on a minimal input, W0, measured after a first call
            // that does whatever is done once.
            measure(place.prepare("0"));
            const std::uint64_t w0 = measure(place.prepare("0"));
            for (const Shape& shape : kShapes) {
                const std::string row = std::string(place.op) + " " + place.where + " " + shape.name;
                if (row.find(only) == std::string::npos) continue;
                // Nested shapes at depth d and 2d, 2d within the nesting
                // limit of 127 arrays/objects counting those around them.
                const std::size_t size = shape.nested ? std::min(127 - place.levels, max_depth) / 2 : n;
                const std::string v1 = shape.make(size), v2 = shape.make(2 * size);
                std::uint64_t w1 = 0, w2 = 0;
                try {
                    w1 = measure(place.prepare(v1));
                    w2 = measure(place.prepare(v2));
                } catch (const std::runtime_error& e) {
                    std::printf("%s: %s\n", row.c_str(), e.what());
                    ++rows;
                    ++over;
                    continue;
                }
                const double added1 = static_cast<double>(w1) - static_cast<double>(w0);
                const double added2 = static_cast<double>(w2) - static_cast<double>(w0);
                const bool ok = added2 <= kGrowth * added1 + allowance(static_cast<double>(w0));
                ++rows;
                over += ok ? 0 : 1;
                std::printf("%-20s %-15s %-18s %6s %7zu %9llu %10llu %10llu %6.2f %6.2f %7.1f%s\n", place.op,
                            place.where, shape.name, ((shape.nested ? "d" : "n") + std::to_string(size)).c_str(),
                            v1.size(), static_cast<unsigned long long>(w0), static_cast<unsigned long long>(w1),
                            static_cast<unsigned long long>(w2), static_cast<double>(w2) / static_cast<double>(w1),
                            added1 > 0 ? added2 / added1 : 0.0, added2 / static_cast<double>(v2.size()),
                            ok ? "" : "  OVER");
                std::fflush(stdout);
            }
        }
    } catch (const std::logic_error& e) {
        std::printf("json_cost_test: skipped, %s (not under callgrind?)\n", e.what());
        return 77;
    } catch (const std::exception& e) {
        std::printf("json_cost_test: %s\n", e.what());
        return 1;
    }
    std::printf("%d of %d rows over W(2n) - W0 <= %.1f (W(n) - W0) + 1000 + W0/200\n", over, rows, kGrowth);
    return over == 0 ? 0 : 1;
}
