// PKCE pairs (S256) and the OAuth authorization-request URL.
#pragma once

#include <string>
#include <string_view>

#include "quorent/error.hpp"
#include "quorent/secure_wipe.hpp"

namespace quorent::pkce {

// A PKCE pair. The verifier is the secret of the exchange: the library's
// copy of its text is wiped when it goes.
struct Pkce {
    std::string verifier;
    std::string challenge;

    Pkce() = default;
    Pkce(const Pkce&) = default;
    Pkce(Pkce&&) = default;
    Pkce& operator=(const Pkce&) = default;
    Pkce& operator=(Pkce&&) = default;
    ~Pkce() { secure_wipe(verifier); }
    bool operator==(const Pkce&) const = default;
};

// A fresh pair: the verifier is 32 bytes from the operating system's random
// source in unpadded base64url (43 characters). A failure of the random
// source is kind Internal, "rng: " and the reason.
Result<Pkce> generate_pkce();

// Unpadded base64url of SHA-256 over the verifier's bytes, as given.
std::string pkce_challenge(std::string_view verifier);

// The issuer's "/authorize" URL with the authorization-code request
// parameters appended to its query. Fails with kind Input carrying the URL
// parser's reason when the issuer is not an absolute URL, and with "issuer
// must be an http or https URL" when its parsed scheme is anything else
// (javascript:, data:, file:, blob:, ftp:, ws:, mailto:, custom schemes):
// the URL is meant to be opened in a browser, so no other scheme is passed on.
Result<std::string> build_authorize_url(std::string_view issuer, std::string_view client_id,
                                        std::string_view redirect_uri, std::string_view state, std::string_view nonce,
                                        std::string_view code_challenge);

}  // namespace quorent::pkce
