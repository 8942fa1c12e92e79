// Tokens whose header carries a large member nothing reads, through the
// exported verify_token_at: "json/token_header/<shape>/<MB>". Each call
// verifies a correctly signed token, so the whole path runs: base64url
// decoding, reading the header, the key set, the signature and the claims.
// Counters: bytes per second of header, and "peak_x", the growth of peak
// resident memory during one call (measured in a child process) divided by
// the token's size. The peak includes the argument buffers the host builds.
#include <malloc.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support.hpp"

using namespace bench;

namespace {

struct SignedToken {
    std::string token;
    std::string jwks;
    std::size_t header_size = 0;
};

// The member's value: about `size` bytes of the given shape.
std::string filler(int shape, std::size_t size) {
    std::string out;
    out.reserve(size + 16);
    switch (shape) {
        case 0:  // array of numbers
            out += "[1";
            while (out.size() < size) out += ",1";
            out += ']';
            break;
        case 1:  // array of small objects
            out += "[{\"a\":1}";
            while (out.size() < size) out += ",{\"a\":1}";
            out += ']';
            break;
        case 2: {  // object with many keys
            out += "{";
            for (std::size_t i = 0; out.size() < size; ++i) {
                if (i != 0) out += ',';
                out += "\"k";
                out += std::to_string(i);
                out += "\":1";
            }
            out += '}';
            break;
        }
        default:  // one long string
            out += '"';
            out.append(size, 'x');
            out += '"';
    }
    return out;
}

SignedToken make_token(int shape, std::size_t size) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (key == nullptr) throw std::runtime_error("P-256 key");
    BIGNUM* bx = nullptr;
    BIGNUM* by = nullptr;
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_X, &bx);
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_Y, &by);
    std::uint8_t x[32], y[32];
    BN_bn2binpad(bx, x, 32);
    BN_bn2binpad(by, y, 32);
    BN_free(bx);
    BN_free(by);

    SignedToken t;
    const std::string header = R"({"alg":"ES256","typ":"JWT","x":)" + filler(shape, size) + R"(,"kid":"k1"})";
    t.header_size = header.size();
    const std::string input =
        b64url(header) + "." +
        b64url(R"({"iss":"https://idp.example.com","sub":"user-0123456789","aud":"app.example.com",)"
               R"("exp":4102444800,"iat":1700000000,"tid":7})");
    const Digest digest = sha256(input);
    EVP_PKEY_CTX* sctx = EVP_PKEY_CTX_new(key, nullptr);
    unsigned char der[80];
    std::size_t der_len = sizeof der;
    if (EVP_PKEY_sign_init(sctx) <= 0 || EVP_PKEY_sign(sctx, der, &der_len, digest.data(), digest.size()) <= 0)
        throw std::runtime_error("ES256 sign");
    EVP_PKEY_CTX_free(sctx);
    const unsigned char* p = der;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der_len));
    std::uint8_t rs[64];
    BN_bn2binpad(ECDSA_SIG_get0_r(sig), rs, 32);
    BN_bn2binpad(ECDSA_SIG_get0_s(sig), rs + 32, 32);
    ECDSA_SIG_free(sig);
    EVP_PKEY_free(key);

    t.token = input + "." + b64url(rs, 64);
    t.jwks = R"({"keys":[{"kty":"EC","crv":"P-256","kid":"k1","x":")" + b64url(x, 32) + R"(","y":")" + b64url(y, 32) +
             R"("}]})";
    return t;
}

RustBuffer verify(const SignedToken& t, RustCallStatus* st) {
    return uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(arg(t.token), arg(t.jwks), arg("https://idp.example.com"),
                                                             arg("app.example.com"), 1700000000, st);
}

// A field of /proc/self/status, in kB.
long status_kb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kb = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::strncmp(line, field, n) == 0) kb = std::strtol(line + n, nullptr, 10);
    std::fclose(f);
    return kb;
}

// Peak resident memory growth, in bytes, of one call made in a child
// process: free heap memory is handed back and the peak reset first.
long peak_growth(const SignedToken& t) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        malloc_trim(0);
        if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        const long before = status_kb("VmRSS:");
        RustCallStatus st{0, {0, 0, nullptr}};
        release(verify(t, &st));
        const long after = status_kb("VmHWM:");
        long growth = st.code == 0 && before >= 0 && after >= 0 ? (after - before) * 1024 : -1;
        if (write(fds[1], &growth, sizeof growth) != sizeof growth) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    long growth = -1;
    if (pid < 0 || read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    return growth;
}

void json_token_header(benchmark::State& state) {
    const SignedToken t = make_token(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)) << 20);
    run(state, [&](RustCallStatus* st) { return verify(t, st); });
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.header_size));
    const long growth = peak_growth(t);
    state.counters["peak_x"] = growth < 0 ? -1.0 : static_cast<double>(growth) / static_cast<double>(t.token.size());
}

const char* const kShapes[] = {"numbers", "objects", "keys", "string"};

[[maybe_unused]] const bool registered = [] {
    for (int shape = 0; shape < 4; ++shape)
        for (int mb : {1, 4, 16})
            benchmark::RegisterBenchmark(
                (std::string("json/token_header/") + kShapes[shape] + "/" + std::to_string(mb)).c_str(),
                json_token_header)
                ->Args({shape, mb})
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
    return true;
}();

}  // namespace

// The hashing the JSON operations of the interface need, bare: issuer_key_id
// hashes the key's required members, parent_ref_hash_link the link's
// canonical text (which the benchmark's link already is). delegation_binding
// and mint_capability_deed hash nothing.
namespace {

void floor_json_issuer_key_id(benchmark::State& state) {
    const Fixtures& f = fixtures();
    const std::string members = R"({"crv":"P-256","kty":"EC","x":")" + b64url(f.p256_x.data(), 32) + R"(","y":")" +
                                b64url(f.p256_y.data(), 32) + R"("})";
    for (auto _ : state) benchmark::DoNotOptimize(sha256(members));
}
BENCHMARK(floor_json_issuer_key_id)->Name("floor/json/issuer_key_id");

void floor_json_parent_ref_hash_link(benchmark::State& state) {
    const std::string link = json_inputs::link(1);
    for (auto _ : state) benchmark::DoNotOptimize(sha256(link));
}
BENCHMARK(floor_json_parent_ref_hash_link)->Name("floor/json/parent_ref_hash_link");

}  // namespace
