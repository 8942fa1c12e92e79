// Deeds of users who sign in with a passkey (a WebAuthn credential): the
// passkey pseudonym and the assembly of the assertion into a deed. Nothing
// of the assertion is decoded or verified here; that is the verifier's work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/error.hpp"
#include "quorent/sovereign.hpp"

namespace quorent::userpasskey {

// The credential key text as it is hashed and stored: every upper-case
// letter replaced by its lower-case form (Unicode default case mapping;
// bytes that are not UTF-8 are kept). Not decoded or validated. Does not
// fail: the case tables are compiled in.
Result<std::string> lower_key_text(std::string_view credential_pubkey_hex);

// The passkey pseudonym: lower-case hex of SHA-256 of
// "quorent-sovereign-user-passkey-sub-v1|tenant:T|origin:O|pubkey:K" with K
// the lower-cased key text. The origin is used exactly as given.
Result<std::string> passkey_sub(std::uint64_t tenant_id, std::string_view origin,
                                std::string_view credential_pubkey_hex);

// A user-passkey deed: the four assertion texts carried as given (the
// credential key lower-cased), the pseudonym over the canonicalised origin.
// Fails only on a malformed origin (or as lower_key_text does).
Result<sovereign::Deed> mint_user_passkey_deed(std::string_view credential_pubkey_hex,
                                               std::string_view authenticator_data_hex,
                                               std::string_view client_data_json_b64url,
                                               std::string_view assertion_sig_hex, std::uint64_t tenant_id,
                                               std::string_view aud, std::string_view origin,
                                               std::string_view challenge, std::uint64_t exp);

}  // namespace quorent::userpasskey
