// ES256 token verification. The first byte picks the form of the input:
//  - raw: a token text and a key-set text (separated by a NUL byte), taken
//    as they are: nothing may crash and every refusal carries a known kind;
//  - signed: a header JSON text, a payload JSON text, the expected issuer
//    and audience (NUL-separated) after a clock value and a flag byte (bit 0:
//    corrupt the signature, bit 1: key without "kid", bit 2: "@T" in the
//    header is the key's thumbprint); the target encodes and
//    signs them with a fixed P-256 key and a key set holding that key, and
//    the outcome must be exactly the one the checks prescribe, in their
//    order; the exported function must return the same claims record.
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>
#include <openssl/sha.h>

#include <cstring>
#include <optional>

#include "check.hpp"
#include "host.hpp"
#include "quorent/encoding.hpp"
#include "quorent/json.hpp"
#include "quorent/token.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

using namespace quorent;

namespace {

struct Signer {
    EVP_PKEY* key = nullptr;
    std::string x, y;        // base64url coordinates
    std::string thumbprint;  // RFC 7638, lower-case hex
};

const Signer& signer() {
    static const Signer s = [] {
        Signer out;
        std::uint8_t d[32];
        for (int i = 0; i < 32; ++i) d[i] = static_cast<std::uint8_t>(0x11 * (i % 7) + 1);
        EC_GROUP* group = EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1);
        BIGNUM* priv = BN_bin2bn(d, 32, nullptr);
        EC_POINT* pub = EC_POINT_new(group);
        EC_POINT_mul(group, pub, priv, nullptr, nullptr, nullptr);
        std::uint8_t oct[65];
        EC_POINT_point2oct(group, pub, POINT_CONVERSION_UNCOMPRESSED, oct, sizeof oct, nullptr);
        OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
        OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
        OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, oct, sizeof oct);
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_PRIV_KEY, priv);
        OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
        FUZZ_CHECK(EVP_PKEY_fromdata_init(ctx) > 0 && EVP_PKEY_fromdata(ctx, &out.key, EVP_PKEY_KEYPAIR, params) > 0,
                   "fixed P-256 key");
        EVP_PKEY_CTX_free(ctx);
        OSSL_PARAM_free(params);
        OSSL_PARAM_BLD_free(bld);
        EC_POINT_free(pub);
        BN_free(priv);
        EC_GROUP_free(group);
        out.x = base64url_encode_var(oct + 1, 32);
        out.y = base64url_encode_var(oct + 33, 32);
        const std::string t = R"({"crv":"P-256","kty":"EC","x":")" + out.x + R"(","y":")" + out.y + R"("})";
        std::uint8_t h[32];
        SHA256(reinterpret_cast<const unsigned char*>(t.data()), t.size(), h);
        out.thumbprint = hex_encode_var(h, 32);
        return out;
    }();
    return s;
}

// r || s of an ES256 signature over the signing input.
std::string sign(std::string_view input) {
    std::uint8_t digest[32];
    SHA256(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(signer().key, nullptr);
    unsigned char der[80];
    std::size_t der_len = sizeof der;
    FUZZ_CHECK(EVP_PKEY_sign_init(ctx) > 0 && EVP_PKEY_sign(ctx, der, &der_len, digest, 32) > 0, "sign");
    EVP_PKEY_CTX_free(ctx);
    const unsigned char* p = der;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der_len));
    std::uint8_t rs[64];
    BN_bn2binpad(ECDSA_SIG_get0_r(sig), rs, 32);
    BN_bn2binpad(ECDSA_SIG_get0_s(sig), rs + 32, 32);
    ECDSA_SIG_free(sig);
    return std::string(reinterpret_cast<char*>(rs), 64);
}

std::string b64(std::string_view s) {
    return base64url_encode_var(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

void raw(std::string_view in) {
    const std::size_t cut = in.find('\0');
    const std::string_view jwt = in.substr(0, cut);
    const std::string_view jwks = cut == std::string_view::npos ? std::string_view() : in.substr(cut + 1);
    const auto r = token::verify_token(jwt, jwks, "i", "a", 0);
    if (!r.ok()) {
        const ErrorKind k = r.error().kind;
        FUZZ_CHECK(k == ErrorKind::Jwt || k == ErrorKind::BadKey || k == ErrorKind::Claim, r.error().detail);
    }
}

// The outcome the checks prescribe for a correctly signed token.
std::optional<std::string> expected_failure(std::string_view header, std::string_view payload, std::string_view iss,
                                            std::string_view aud, std::uint64_t now, bool corrupt, bool key_has_kid,
                                            token::Claims& claims) {
    const auto h = json::parse(header, ErrorKind::Jwt);
    if (!h.ok()) return "jwt: " + h.error().detail;
    const std::string* alg = h.value().find_string("alg");
    if (alg == nullptr || *alg != "ES256") return std::string("jwt: alg must be ES256");
    const std::string* kid = h.value().find_string("kid");
    if (kid != nullptr && !(key_has_kid && *kid == "k1") && *kid != signer().thumbprint)
        return std::string("bad key: no matching key");
    if (corrupt) return std::string("jwt: bad signature");
    const auto c = token::claims_from_json(payload);
    if (!c.ok()) return "jwt: " + c.error().detail;
    claims = c.value();
    if (claims.iss != iss) return std::string("claim: iss mismatch");
    if (claims.aud != aud) return std::string("claim: aud mismatch");
    const std::uint64_t limit = claims.exp > UINT64_MAX - 60 ? UINT64_MAX : claims.exp + 60;
    if (now > limit) return std::string("claim: expired");
    return std::nullopt;
}

using fuzz::arg;
using fuzz::take;

void signed_token(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return;
    std::uint64_t now = 0;
    for (int i = 0; i < 8; ++i) now = (now << 8) | data[i];
    const std::uint8_t flags = data[8];
    const auto [header_in, payload, iss, aud] = fuzz::fields<4>(fuzz::text(data + 9, size - 9));
    const bool corrupt = flags & 1;
    // With flag 4, "@T" in the header stands for the key's thumbprint.
    std::string header(header_in);
    if (flags & 4)
        for (std::size_t at = header.find("@T"); at != std::string::npos; at = header.find("@T", at))
            header.replace(at, 2, signer().thumbprint);

    const std::string input = b64(header) + "." + b64(payload);
    std::string rs = sign(input);
    if (corrupt) rs[31] = static_cast<char>(rs[31] ^ 1);  // r stays in range
    const std::string jwt = input + "." + b64(rs);
    // With flag 2 the key has no kid member: only the thumbprint can match.
    const std::string kid_member = (flags & 2) ? "" : R"("kid":"k1",)";
    const std::string jwks = R"({"keys":[{"kty":"EC","crv":"P-256",)" + kid_member + R"("x":")" + signer().x +
                             R"(","y":")" + signer().y + R"("}]})";

    token::Claims want_claims;
    const auto want = expected_failure(header, payload, iss, aud, now, corrupt, (flags & 2) == 0, want_claims);

    const auto got = token::verify_token(jwt, jwks, iss, aud, now);
    if (want) {
        FUZZ_CHECK(!got.ok(), fuzz::show(jwt) + " verified; expected " + *want);
        FUZZ_CHECK(got.error().display() == *want, fuzz::show(jwt) + ": " + got.error().display() + " / " + *want);
    } else {
        FUZZ_CHECK(got.ok(), fuzz::show(jwt) + ": " + got.error().display());
        FUZZ_CHECK(got.value() == want_claims, fuzz::show(jwt));
    }

    // The exported function: the Claims record, or the same message.
    RustCallStatus st{0, {0, 0, nullptr}};
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(arg(jwt), arg(jwks), arg(iss), arg(aud), now, &st);
    std::string not_utf8;
    const std::pair<const char*, std::string_view> texts[] = {
        {"jwt", jwt}, {"jwks_json", jwks}, {"expected_iss", iss}, {"expected_aud", aud}};
    for (const auto& [name, text] : texts)
        if (not_utf8.empty() && !is_utf8_var(text)) not_utf8 = name;
    if (!not_utf8.empty()) {
        // Refused by the exported operation before anything else.
        FUZZ_CHECK(st.code == 1 && take(st.error_buf).substr(8) == "input: " + not_utf8 + " is not valid UTF-8",
                   fuzz::show(jwt));
    } else if (got.ok()) {
        FUZZ_CHECK(st.code == 0, "exported call failed");
        ffi::Writer w;
        ffi::write(w, got.value());
        FUZZ_CHECK(take(r) == std::string(w.bytes().begin(), w.bytes().end()), "exported claims differ");
    } else {
        FUZZ_CHECK(st.code == 1, "code " + std::to_string(st.code));
        const std::string e = take(st.error_buf);
        FUZZ_CHECK(e.size() >= 8 && e.substr(8) == got.error().display(), fuzz::show(e));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) return 0;
    if (data[0] & 1) signed_token(data + 1, size - 1);
    else raw(fuzz::text(data + 1, size - 1));
    return 0;
}
