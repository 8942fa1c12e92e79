// ES256 token verification and JWK thumbprints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

}  // namespace quorent::token
