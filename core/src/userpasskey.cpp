#include "quorent/userpasskey.hpp"

#include "quorent/digest.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
#include "unicode.hpp"

namespace quorent::userpasskey {

namespace {

std::string sub_of_lowered(std::uint64_t tenant, std::string_view origin, std::string_view lowered_key) {
    const Digest32 digest = Sha256()
                                .update("quorent-sovereign-user-passkey-sub-v1|tenant:")
                                .update(DecimalDigits(tenant).view())
                                .update("|origin:")
                                .update(origin)
                                .update("|pubkey:")
                                .update(lowered_key)
                                .finish();
    return hex_encode_var(digest.data(), digest.size());
}

}  // namespace

Result<std::string> lower_key_text(std::string_view text) {
    std::string out(text);
    bool ascii = true;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        else if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    }
    if (ascii) return out;
    return unicode::to_lower(text);
}

Result<std::string> passkey_sub(std::uint64_t tenant_id, std::string_view origin,
                                std::string_view credential_pubkey_hex) {
    QUORENT_TRY(const std::string key, lower_key_text(credential_pubkey_hex));
    return sub_of_lowered(tenant_id, origin, key);
}

Result<sovereign::Deed> mint_user_passkey_deed(std::string_view credential_pubkey_hex,
                                               std::string_view authenticator_data_hex,
                                               std::string_view client_data_json_b64url,
                                               std::string_view assertion_sig_hex, std::uint64_t tenant_id,
                                               std::string_view aud, std::string_view origin,
                                               std::string_view challenge, std::uint64_t exp) {
    QUORENT_TRY(const std::string canonical, discovery::normalize_origin(origin));

    QUORENT_TRY(std::string key, lower_key_text(credential_pubkey_hex));
    sovereign::Deed deed = sovereign::minted_deed("user-passkey", tenant_id, sub_of_lowered(tenant_id, canonical, key),
                                                  aud, challenge, exp);
    deed.credential_pubkey = std::move(key);
    deed.authenticator_data = std::string(authenticator_data_hex);
    deed.client_data_json = std::string(client_data_json_b64url);
    deed.assertion_sig = std::string(assertion_sig_hex);
    return deed;
}

}  // namespace quorent::userpasskey
