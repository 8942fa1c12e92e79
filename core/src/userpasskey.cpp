#include "quorent/userpasskey.hpp"

#include <unicode/ucasemap.h>

#include <climits>

#include "quorent/digest.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"

namespace quorent::userpasskey {

namespace {

// Root-locale case mapping, made once for the process and only read after;
// null when the Unicode tables are unavailable.
const UCaseMap* root_case_map() {
    static const UCaseMap* const map = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCaseMap* m = ucasemap_open("", 0, &status);
        return U_FAILURE(status) ? nullptr : m;
    }();
    return map;
}

Result<std::string> unicode_lower(std::string_view text) {
    if (root_case_map() == nullptr) return CoreError{ErrorKind::Internal, "Unicode case mapping is not available"};
    if (text.size() > static_cast<std::size_t>(INT32_MAX / 2))
        return CoreError{ErrorKind::Internal, "credential key text too long to lower-case"};
    const auto src_len = static_cast<std::int32_t>(text.size());
    // Lower-casing rarely grows a text; if it outgrows this guess, the
    // needed size is reported and the mapping is redone once.
    std::string out(text.size() + text.size() / 2 + 16, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const std::int32_t n = ucasemap_utf8ToLower(root_case_map(), out.data(), static_cast<std::int32_t>(out.size()),
                                                    text.data(), src_len, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && n > 0 && attempt == 0) {
            out.assign(static_cast<std::size_t>(n), '\0');
            continue;
        }
        if (U_FAILURE(status) || n < 0) break;
        out.resize(static_cast<std::size_t>(n));
        return out;
    }
    return CoreError{ErrorKind::Internal, "Unicode lower-casing failed"};
}

std::string sub_of_lowered(std::uint64_t tenant, std::string_view origin, std::string_view lowered_key) {
    const Digest32 digest = Sha256()
                                .update("quorent-sovereign-user-passkey-sub-v1|tenant:")
                                .update(DecimalDigits(tenant).view())
                                .update("|origin:")
                                .update(origin)
                                .update("|pubkey:")
                                .update(lowered_key)
                                .finish();
    return hex_encode(digest.data(), digest.size());
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
    return unicode_lower(text);
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
