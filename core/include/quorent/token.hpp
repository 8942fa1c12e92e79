// ES256 token verification and JWK thumbprints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quorent/error.hpp"
#include "quorent/json.hpp"

namespace quorent::token {

// Verified claims of a token.
struct Claims {
    std::string iss;
    std::string sub;
    std::string aud;
    std::uint64_t exp = 0;
    std::uint64_t iat = 0;
    std::optional<std::uint64_t> tid;
    std::optional<std::string> nonce;
    bool operator==(const Claims&) const = default;
};

// Reads a token payload: a JSON object (or the array of the seven values in
// field order, of which iat, tid and nonce may be left off). iss, sub, aud
// and exp are required; iat is 0 when missing; tid and nonce are absent when
// missing or null; unknown claims are skipped. A failure carries `kind` and
// the reader's message.
Result<Claims> claims_from_json(std::string_view payload, ErrorKind kind = ErrorKind::Jwt);

// RFC 7638 thumbprint of an EC public JWK: SHA-256 of
// {"crv":CRV,"kty":"EC","x":X,"y":Y} with the member strings inserted as
// read, as 64 lower-case hex digits. Other members are ignored. Failures are
// kind BadKey: the reader's message, "missing kty", "unsupported kty",
// "missing crv", "missing x", "missing y" (checked in that order).
Result<std::string> jwk_thumbprint(std::string_view jwk_json);
// The same for a JWK already read (a key of a JWKS, for instance).
Result<std::string> jwk_thumbprint(const json::Value& jwk);

}  // namespace quorent::token
