// PKCE pairs (S256).
#pragma once

#include <string>

namespace quorent::pkce {

struct Pkce {
    std::string verifier;
    std::string challenge;
    bool operator==(const Pkce&) const = default;
};

}  // namespace quorent::pkce
