#include "quorent/token.hpp"

#include "quorent/digest.hpp"
#include "quorent/encoding.hpp"

namespace quorent::token {

namespace {

using json::Field;
using json::Reader;
using json::Record;

constexpr Field kClaimsFields[] = {{"iss", true}, {"sub", true},  {"aud", true},   {"exp", true},
                                   {"iat", false}, {"tid", false}, {"nonce", false}};
constexpr Record kClaims{"Claims", kClaimsFields, 4};

}  // namespace

Result<Claims> claims_from_json(std::string_view payload, ErrorKind kind) {
    return json::read_text<Claims>(payload, kind, [](Reader& r, Claims& c) {
        return r.record(kClaims, [&](std::size_t i) -> Status {
            switch (i) {
                case 0: return r.string(c.iss);
                case 1: return r.string(c.sub);
                case 2: return r.string(c.aud);
                case 3: return r.u64(c.exp);
                case 4: return r.u64(c.iat);
                case 5: return r.optional_u64(c.tid);
                default: return r.optional_string(c.nonce);
            }
        });
    });
}

Result<std::string> jwk_thumbprint(const json::Value& jwk) {
    const std::string* kty = jwk.find_string("kty");
    if (kty == nullptr) return make_error(ErrorKind::BadKey, "missing kty");
    if (*kty != "EC") return make_error(ErrorKind::BadKey, "unsupported kty");
    const std::string* crv = jwk.find_string("crv");
    if (crv == nullptr) return make_error(ErrorKind::BadKey, "missing crv");
    const std::string* x = jwk.find_string("x");
    if (x == nullptr) return make_error(ErrorKind::BadKey, "missing x");
    const std::string* y = jwk.find_string("y");
    if (y == nullptr) return make_error(ErrorKind::BadKey, "missing y");
    // The members are inserted as read, without escaping.
    const Digest32 digest = Sha256()
                                .update("{\"crv\":\"")
                                .update(*crv)
                                .update("\",\"kty\":\"EC\",\"x\":\"")
                                .update(*x)
                                .update("\",\"y\":\"")
                                .update(*y)
                                .update("\"}")
                                .finish();
    return hex_encode(digest.data(), digest.size());
}

Result<std::string> jwk_thumbprint(std::string_view jwk_json) {
    QUORENT_TRY(const json::Value jwk, json::parse(jwk_json, ErrorKind::BadKey));
    return jwk_thumbprint(jwk);
}

}  // namespace quorent::token
