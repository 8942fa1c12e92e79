#include "quorent/token.hpp"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <utility>

#include "quorent/digest.hpp"
#include "quorent/encoding.hpp"
#include "quorent/fault.hpp"

#include "json_reader.hpp"

namespace quorent::token {

namespace {

using json::Member;
using json::Reader;

constexpr Member<Claims> kClaims[] = {
    {{"iss", true}, [](Reader& r, Claims& c) { return r.string(c.iss); }},
    {{"sub", true}, [](Reader& r, Claims& c) { return r.string(c.sub); }},
    {{"aud", true}, [](Reader& r, Claims& c) { return r.string(c.aud); }},
    {{"exp", true}, [](Reader& r, Claims& c) { return r.u64(c.exp); }},
    {{"iat", false}, [](Reader& r, Claims& c) { return r.u64(c.iat); }},
    {{"tid", false}, [](Reader& r, Claims& c) { return r.optional_u64(c.tid); }},
    {{"nonce", false}, [](Reader& r, Claims& c) { return r.optional_string(c.nonce); }},
};

// The members of a JWK that matter here, each present only when it is a
// string (a repeated member keeps its last value): owned, or borrowed from
// the text being read.
template <class S>
struct Jwk {
    std::optional<S> kty, crv, x, y, kid;
};
using JwkFields = Jwk<std::string>;

// Reads one JWK's members into `k`; any value that is no object leaves all
// of them absent.
template <class S>
Status read_jwk(Reader& r, Jwk<S>& k) {
    k = Jwk<S>{};
    bool object = false;
    return r.members(object, [&](std::string_view name) -> Status {
        std::optional<S>* field = name == "kty" ? &k.kty
                                  : name == "crv" ? &k.crv
                                  : name == "x"   ? &k.x
                                  : name == "y"   ? &k.y
                                  : name == "kid" ? &k.kid
                                                  : nullptr;
        if (field == nullptr) return r.skip();
        if constexpr (std::is_same_v<S, std::string>) return r.loose_string(*field);
        else return r.loose_view(*field);
    });
}

template <class S>
Result<std::string> thumbprint(const Jwk<S>& jwk) {
    if (!jwk.kty) return make_error(ErrorKind::BadKey, "missing kty");
    if (*jwk.kty != "EC") return make_error(ErrorKind::BadKey, "unsupported kty");
    if (!jwk.crv) return make_error(ErrorKind::BadKey, "missing crv");
    if (!jwk.x) return make_error(ErrorKind::BadKey, "missing x");
    if (!jwk.y) return make_error(ErrorKind::BadKey, "missing y");
    // The members are inserted as read, without escaping.
    const Digest32 digest = Sha256()
                                .update("{\"crv\":\"")
                                .update(*jwk.crv)
                                .update("\",\"kty\":\"EC\",\"x\":\"")
                                .update(*jwk.x)
                                .update("\",\"y\":\"")
                                .update(*jwk.y)
                                .update("\"}")
                                .finish();
    return hex_encode_var(digest.data(), digest.size());
}

}  // namespace

Result<Claims> claims_from_json(std::string_view payload, ErrorKind kind) {
    return json::read_text<Claims>(payload, kind,
                                   [](Reader& r, Claims& c) { return r.record("Claims", kClaims, 4, c); });
}

Result<std::string> jwk_thumbprint(const json::Value& jwk) {
    JwkFields k;
    for (auto [name, field] : {std::pair{"kty", &k.kty}, {"crv", &k.crv}, {"x", &k.x}, {"y", &k.y}})
        if (const std::string* v = jwk.find_string(name)) *field = *v;
    return thumbprint(k);
}

Result<std::string> jwk_thumbprint(std::string_view jwk_json) {
    Reader r(jwk_json, ErrorKind::BadKey);
    Jwk<std::string_view> jwk;
    if (Status s = read_jwk(r, jwk); !s.ok()) return std::move(s).error();
    if (Status s = r.end(); !s.ok()) return std::move(s).error();
    return thumbprint(jwk);
}

// ---- ES256 verification -------------------------------------------------------

namespace {

CoreError jwt_error(std::string detail) { return CoreError{ErrorKind::Jwt, std::move(detail)}; }
CoreError bad_key(std::string detail) { return CoreError{ErrorKind::BadKey, std::move(detail)}; }

Result<Bytes> decode_segment(std::string_view text) {
    Bytes out;
    std::string message;
    if (!base64url_decode_var(text, out, message)) return jwt_error("base64: " + message);
    return out;
}

// The order n of P-256, big-endian.
constexpr std::uint8_t kP256Order[32] = {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff,
                                         0xff, 0xff, 0xff, 0xff, 0xff, 0xbc, 0xe6, 0xfa, 0xad, 0xa7, 0x17,
                                         0x9e, 0x84, 0xf3, 0xb9, 0xca, 0xc2, 0xfc, 0x63, 0x25, 0x51};

bool in_scalar_range(const std::uint8_t* v) noexcept {
    bool zero = true;
    for (int i = 0; i < 32; ++i) zero = zero && v[i] == 0;
    if (zero) return false;
    return std::memcmp(v, kP256Order, 32) < 0;
}

// P-256 domain parameters, made once. Building the curve group is a large
// part of turning a JWK into a key; duplicating a ready one is cheap.
EVP_PKEY* make_p256_parameters() noexcept {
    EVP_PKEY* p = nullptr;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    if (ctx == nullptr || EVP_PKEY_paramgen_init(ctx) <= 0 || EVP_PKEY_CTX_set_group_name(ctx, "P-256") <= 0 ||
        EVP_PKEY_paramgen(ctx, &p) <= 0) {
        EVP_PKEY_free(p);
        p = nullptr;
    }
    EVP_PKEY_CTX_free(ctx);
    return p;
}

const EVP_PKEY* p256_parameters() noexcept {
    static EVP_PKEY* const params = make_p256_parameters();
    return params;
}

struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const noexcept { EVP_PKEY_CTX_free(p); }
};
struct SigFree {
    void operator()(ECDSA_SIG* p) const noexcept { ECDSA_SIG_free(p); }
};

}  // namespace

P256Key::P256Key(EVP_PKEY* key) noexcept : key_(key) {}
P256Key::P256Key(P256Key&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
P256Key::~P256Key() { EVP_PKEY_free(key_); }

namespace {

// The point 04 || x || y as a key: coordinates below the field prime, the
// point on the curve.
Result<P256Key> p256_key(const Bytes& x, const Bytes& y) {
    std::uint8_t point[65];
    point[0] = 0x04;
    std::memcpy(point + 1, x.data(), 32);
    std::memcpy(point + 33, y.data(), 32);
    const EVP_PKEY* params = p256_parameters();
    if (params == nullptr) return CoreError{ErrorKind::Internal, "P-256 is not available from libcrypto"};
    EVP_PKEY* k = EVP_PKEY_dup(const_cast<EVP_PKEY*>(params));
    if (k == nullptr) return CoreError{ErrorKind::Internal, "P-256 key could not be allocated"};
    P256Key key(k);
    if (EVP_PKEY_set1_encoded_public_key(k, point, sizeof point) != 1) {
        ERR_clear_error();
        return bad_key("signature error");
    }
    return key;
}

// ES256: ECDSA P-256 over SHA-256 of the signing input, r || s raw. A
// failure of libcrypto is recorded (quorent/fault.hpp) and verifies nothing.
bool es256_verify(const P256Key& key, std::string_view signing_input, const std::uint8_t* rs) {
    std::unique_ptr<ECDSA_SIG, SigFree> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(rs, 32, nullptr);
    BIGNUM* s = BN_bin2bn(rs + 32, 32, nullptr);
    if (!sig || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        record_fault("ECDSA signature could not be allocated");
        return false;
    }
    unsigned char der[80];
    unsigned char* p = der;
    const int der_len = i2d_ECDSA_SIG(sig.get(), &p);
    if (der_len <= 0 || der_len > static_cast<int>(sizeof der)) {
        record_fault("ECDSA signature encoding failed");
        return false;
    }
    const Digest32 digest = sha256(signing_input);
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) <= 0) {
        record_fault("ECDSA verification setup failed");
        return false;
    }
    const int ok = EVP_PKEY_verify(ctx.get(), der, static_cast<std::size_t>(der_len), digest.data(), digest.size());
    ERR_clear_error();
    return ok == 1;
}

}  // namespace

bool verify_es256(const P256Key& key, std::string_view message, std::span<const std::uint8_t> signature) {
    if (signature.size() != 64 || !in_scalar_range(signature.data()) || !in_scalar_range(signature.data() + 32))
        return false;
    return es256_verify(key, message, signature.data());
}

Result<P256Key> find_jwk(std::string_view jwks_json, const std::optional<std::string>& kid) {
    // Only the selected key is kept; every other member and key is checked
    // and skipped.
    struct Selection {
        bool keys = false;  // "keys" is an array
        bool chosen = false;
        JwkFields key;
    };
    auto read_keys = [&](Reader& r, Selection& sel) -> Status {
        sel = Selection{};
        if (!r.at_array()) return r.skip();
        sel.keys = true;
        JwkFields candidate;
        return r.array([&]() -> Status {
            if (sel.chosen) return r.skip();
            QUORENT_CHECK(read_jwk(r, candidate));
            bool match = !kid;
            if (kid && candidate.kid && *candidate.kid == *kid) match = true;
            if (kid && !match) {
                auto thumb = thumbprint(candidate);
                match = thumb.ok() && thumb.value() == *kid;
            }
            if (match) {
                sel.chosen = true;
                sel.key = std::move(candidate);
            } else if (!kid) {
                sel.chosen = true;
            }
            return {};
        });
    };
    QUORENT_TRY(const Selection sel,
                json::read_text<Selection>(jwks_json, ErrorKind::BadKey, [&](Reader& r, Selection& s) {
                    bool object = false;
                    return r.members(object, [&](std::string_view name) -> Status {
                        if (name == "keys") return read_keys(r, s);
                        return r.skip();
                    });
                }));
    if (!sel.keys) return bad_key("no keys");
    if (!sel.chosen) return bad_key("no matching key");
    if (!sel.key.x) return bad_key("no x");
    QUORENT_TRY(const Bytes x, decode_segment(*sel.key.x));
    if (!sel.key.y) return bad_key("no y");
    QUORENT_TRY(const Bytes y, decode_segment(*sel.key.y));
    if (x.size() != 32 || y.size() != 32) return bad_key("x/y must be 32 bytes");
    return p256_key(x, y);
}

Result<Claims> verify_token(std::string_view jwt, std::string_view jwks_json, std::string_view expected_iss,
                            std::string_view expected_aud, std::uint64_t now) {
    const std::size_t dot1 = jwt.find('.');
    const std::size_t dot2 = dot1 == std::string_view::npos ? dot1 : jwt.find('.', dot1 + 1);
    if (dot2 == std::string_view::npos || jwt.find('.', dot2 + 1) != std::string_view::npos)
        return jwt_error("not a 3-part JWT");
    const std::string_view header_b64 = jwt.substr(0, dot1);
    const std::string_view payload_b64 = jwt.substr(dot1 + 1, dot2 - dot1 - 1);
    const std::string_view signature_b64 = jwt.substr(dot2 + 1);

    QUORENT_TRY(const Bytes header_bytes, decode_segment(header_b64));
    // Only alg and kid are kept from the header.
    struct Header {
        std::optional<std::string> alg, kid;
    };
    QUORENT_TRY(const Header header,
                json::read_text<Header>(
                    std::string_view(reinterpret_cast<const char*>(header_bytes.data()), header_bytes.size()),
                    ErrorKind::Jwt, [](Reader& r, Header& h) {
                        bool object = false;
                        return r.members(object, [&](std::string_view name) -> Status {
                            if (name == "alg") return r.loose_string(h.alg);
                            if (name == "kid") return r.loose_string(h.kid);
                            return r.skip();
                        });
                    }));
    if (!header.alg || *header.alg != "ES256") return jwt_error("alg must be ES256");
    const std::optional<std::string>& kid = header.kid;

    auto key = find_jwk(jwks_json, kid);
    if (!key.ok()) return std::move(key).error();

    QUORENT_TRY(const Bytes signature, decode_segment(signature_b64));
    if (signature.size() != 64 || !in_scalar_range(signature.data()) || !in_scalar_range(signature.data() + 32))
        return jwt_error("signature error");
    if (!es256_verify(key.value(), jwt.substr(0, dot2), signature.data())) return jwt_error("bad signature");

    QUORENT_TRY(const Bytes payload, decode_segment(payload_b64));
    QUORENT_TRY(Claims claims,
                claims_from_json(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()),
                                 ErrorKind::Jwt));
    if (claims.iss != expected_iss) return CoreError{ErrorKind::Claim, "iss mismatch"};
    if (claims.aud != expected_aud) return CoreError{ErrorKind::Claim, "aud mismatch"};
    const std::uint64_t limit = claims.exp > UINT64_MAX - kLeewaySecs ? UINT64_MAX : claims.exp + kLeewaySecs;
    if (now > limit) return CoreError{ErrorKind::Claim, "expired"};
    return claims;
}

}  // namespace quorent::token
