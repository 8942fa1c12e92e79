// Exported interface-description blobs and checksums, generated at compile
// time from the description in interface.hpp.
#include "interface.hpp"

#include "quorent_sdk_uniffi.h"

using namespace quorent::ffi::iface;

#define QUORENT_FUNC_META(lower, UPPER)                                                                     \
    extern "C" QUORENT_API const std::array<std::uint8_t, blob_size(function(#lower))>                      \
        UNIFFI_META_QUORENT_SDK_UNIFFI_FUNC_##UPPER = blob<blob_size(function(#lower))>(function(#lower));  \
    extern "C" QUORENT_API std::uint16_t uniffi_quorent_sdk_uniffi_checksum_func_##lower(void) {            \
        static constexpr std::uint16_t sum = checksum(blob<blob_size(function(#lower))>(function(#lower))); \
        return sum;                                                                                         \
    }

#define QUORENT_RECORD_META(Name, UPPER)                                            \
    extern "C" QUORENT_API const std::array<std::uint8_t, blob_size(record(#Name))> \
        UNIFFI_META_QUORENT_SDK_UNIFFI_RECORD_##UPPER = blob<blob_size(record(#Name))>(record(#Name));

QUORENT_FUNC_META(build_authorize_url, BUILD_AUTHORIZE_URL)
QUORENT_FUNC_META(build_client_assertion, BUILD_CLIENT_ASSERTION)
QUORENT_FUNC_META(decode_bool_return, DECODE_BOOL_RETURN)
QUORENT_FUNC_META(delegate, DELEGATE)
QUORENT_FUNC_META(delegation_binding, DELEGATION_BINDING)
QUORENT_FUNC_META(derive_app_key, DERIVE_APP_KEY)
QUORENT_FUNC_META(derive_root_seed, DERIVE_ROOT_SEED)
QUORENT_FUNC_META(generate_pkce, GENERATE_PKCE)
QUORENT_FUNC_META(issuer_key_id, ISSUER_KEY_ID)
QUORENT_FUNC_META(is_origin_voucher_calldata, IS_ORIGIN_VOUCHER_CALLDATA)
QUORENT_FUNC_META(mint_admin_deed, MINT_ADMIN_DEED)
QUORENT_FUNC_META(mint_admin_deed_smartwallet, MINT_ADMIN_DEED_SMARTWALLET)
QUORENT_FUNC_META(mint_capability_deed, MINT_CAPABILITY_DEED)
QUORENT_FUNC_META(mint_user_1271_deed, MINT_USER_1271_DEED)
QUORENT_FUNC_META(mint_user_deed, MINT_USER_DEED)
QUORENT_FUNC_META(mint_user_passkey_deed, MINT_USER_PASSKEY_DEED)
QUORENT_FUNC_META(normalize_origin, NORMALIZE_ORIGIN)
QUORENT_FUNC_META(origin_vouch_binding, ORIGIN_VOUCH_BINDING)
QUORENT_FUNC_META(origin_vouch_max_ttl_secs, ORIGIN_VOUCH_MAX_TTL_SECS)
QUORENT_FUNC_META(origin_vouch_signer, ORIGIN_VOUCH_SIGNER)
QUORENT_FUNC_META(parent_ref_hash_link, PARENT_REF_HASH_LINK)
QUORENT_FUNC_META(parent_ref_hash_root, PARENT_REF_HASH_ROOT)
QUORENT_FUNC_META(passkey_sub, PASSKEY_SUB)
QUORENT_FUNC_META(pkce_challenge, PKCE_CHALLENGE)
QUORENT_FUNC_META(sign_client_assertion, SIGN_CLIENT_ASSERTION)
QUORENT_FUNC_META(user_binding, USER_BINDING)
QUORENT_FUNC_META(user_root_binding, USER_ROOT_BINDING)
QUORENT_FUNC_META(user_sub, USER_SUB)
QUORENT_FUNC_META(verify_token_at, VERIFY_TOKEN_AT)

QUORENT_RECORD_META(AppKey, APPKEY)
QUORENT_RECORD_META(Claims, CLAIMS)
QUORENT_RECORD_META(Deed, DEED)
QUORENT_RECORD_META(Pkce, PKCE)

extern "C" QUORENT_API const std::array<std::uint8_t, blob_size(kError)> UNIFFI_META_QUORENT_SDK_UNIFFI_ERROR_SDKERROR =
    blob<blob_size(kError)>(kError);

extern "C" QUORENT_API const std::array<std::uint8_t, blob_size(kNamespace)> UNIFFI_META_NAMESPACE_QUORENT_SDK_UNIFFI =
    blob<blob_size(kNamespace)>(kNamespace);

extern "C" QUORENT_API uint32_t ffi_quorent_sdk_uniffi_uniffi_contract_version(void) { return kContractVersion; }
