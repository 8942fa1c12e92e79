// ES256 token verification and JWK thumbprints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <openssl/types.h>

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

// The issuer key id: the thumbprint of the issuer's JWK.
inline Result<std::string> issuer_key_id(std::string_view jwk_json) { return jwk_thumbprint(jwk_json); }

// Tokens are accepted up to this many seconds after their exp.
inline constexpr std::uint64_t kLeewaySecs = 60;

// A P-256 public key taken from a JWK.
class P256Key {
public:
    explicit P256Key(EVP_PKEY* key) noexcept;
    P256Key(P256Key&& other) noexcept;
    P256Key& operator=(P256Key&&) = delete;
    P256Key(const P256Key&) = delete;
    ~P256Key();
    EVP_PKEY* get() const noexcept { return key_; }

private:
    EVP_PKEY* key_;
};

// Selects the key of a JWKS: the first without a kid; with one, the first
// whose "kid" equals it or, failing that, whose thumbprint equals it.
// Failures: BadKey (the reader's message, "no keys", "no matching key",
// "no x", "no y", "x/y must be 32 bytes", "signature error" for a point
// that is not on P-256), Jwt "base64: ..." for undecodable coordinates.
Result<P256Key> find_jwk(std::string_view jwks_json, const std::optional<std::string>& kid);

// ES256: whether `signature` (r || s, 64 bytes big-endian, each in [1, n-1])
// is a valid ECDSA P-256 signature over SHA-256 of `message` under `key`.
// Any other length or range is refused.
bool verify_es256(const P256Key& key, std::string_view message, std::span<const std::uint8_t> signature);

// Verifies a compact ES256 token against a JWKS at time `now` and returns
// its claims. The signature is checked before any claim is read.
Result<Claims> verify_token(std::string_view jwt, std::string_view jwks_json, std::string_view expected_iss,
                            std::string_view expected_aud, std::uint64_t now);
inline Result<Claims> verify_token_at(std::string_view jwt, std::string_view jwks_json, std::string_view expected_iss,
                                      std::string_view expected_aud, std::uint64_t now_unix) {
    return verify_token(jwt, jwks_json, expected_iss, expected_aud, now_unix);
}

}  // namespace quorent::token
