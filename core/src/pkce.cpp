#include "quorent/pkce.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "quorent/digest.hpp"
#include "quorent/encoding.hpp"
#include "quorent/url.hpp"
#include "ct.hpp"
#include "os_random.hpp"

namespace quorent::pkce {

Result<Pkce> generate_pkce() {
    // The verifier's bytes: wiped when they go, also when the source fails
    // part way.
    SecretArray<32> bytes;
    if (!os_random(bytes.bytes().data(), bytes.bytes().size()))
        return CoreError{ErrorKind::Internal,
                         std::string("rng: ") + os_random_source + " failed: " + std::strerror(errno)};
    // The bytes are secret until their text is handed back (the constant-time
    // check sees whether the encoding branches on them or indexes by them).
    ct::mark_secret(bytes.bytes().data(), bytes.bytes().size());
    Pkce pair;
    pair.verifier = base64url_encode(bytes.bytes().data(), bytes.bytes().size());
    ct::reveal(pair.verifier.data(), pair.verifier.size());
    pair.challenge = pkce_challenge(pair.verifier);
    return pair;
}

std::string pkce_challenge(std::string_view verifier) {
    const Digest32 digest = sha256(verifier);
    return base64url_encode_var(digest.data(), digest.size());
}

Result<std::string> build_authorize_url(std::string_view issuer, std::string_view client_id,
                                        std::string_view redirect_uri, std::string_view state, std::string_view nonce,
                                        std::string_view code_challenge) {
    QUORENT_TRY(url::Url url, url::parse(issuer));
    // The result is opened by the host in a browser or web view: a scheme that
    // runs code or reads local data (javascript:, data:, file:, ...) is never
    // handed back. Plain http stays allowed for local and loopback issuers.
    if (url.scheme != "https" && url.scheme != "http")
        return CoreError{ErrorKind::Input, "issuer must be an http or https URL"};

    // The issuer's path is replaced, not extended. A URL with an opaque path
    // (e.g. "mailto:x") gets "/authorize" in its place as well.
    url.path = "/authorize";
    url.opaque_path = false;

    const std::pair<std::string_view, std::string_view> params[] = {
        {"response_type", "code"},
        {"client_id", client_id},
        {"redirect_uri", redirect_uri},
        {"state", state},
        {"nonce", nonce},
        {"code_challenge", code_challenge},
        {"code_challenge_method", "S256"},
    };
    std::string& query = url.query ? *url.query : url.query.emplace();
    bool first = query.empty();
    for (const auto& [name, value] : params) {
        if (!first) query += '&';
        first = false;
        url::form_urlencode_append(query, name);
        query += '=';
        url::form_urlencode_append(query, value);
    }
    return url.href();
}

}  // namespace quorent::pkce
