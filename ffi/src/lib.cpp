// The exported operations, one line each: the frame lifts the arguments the
// interface table declares, calls the operation's core function and lowers
// its result or its error.
#include <cstdint>

#include "frame.hpp"
#include "quorent/adminsig.hpp"
#include "quorent/assertion.hpp"
#include "quorent/capability.hpp"
#include "quorent/discovery.hpp"
#include "quorent/originvouch.hpp"
#include "quorent/pkce.hpp"
#include "quorent/token.hpp"
#include "quorent/user1271.hpp"
#include "quorent/userpasskey.hpp"
#include "quorent/usersig.hpp"
#include "quorent_sdk_uniffi.h"

using namespace quorent;
using quorent::ffi::export_call;

extern "C" {

// ---- origins -------------------------------------------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(RustBuffer origin, RustCallStatus* status) {
    return export_call<"normalize_origin">(status, &discovery::normalize_origin, origin);
}

// ---- wallet signatures, registry call, origin vouches, client assertion --------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata(uint64_t tenant_id,
                                                                                    RustBuffer signer_hex,
                                                                                    uint64_t epoch,
                                                                                    RustCallStatus* status) {
    return export_call<"is_origin_voucher_calldata">(status, &originvouch::is_origin_voucher_calldata, tenant_id,
                                                     signer_hex, epoch);
}

QUORENT_API int8_t uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return(RustBuffer ret, RustCallStatus* status) {
    return export_call<"decode_bool_return">(status, &originvouch::decode_bool_return, ret);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding(uint64_t tenant_id, RustBuffer aud,
                                                                              RustBuffer origin, uint64_t epoch,
                                                                              uint64_t exp,
                                                                              int8_t allow_insecure_origin,
                                                                              RustCallStatus* status) {
    return export_call<"origin_vouch_binding">(status, &originvouch::origin_vouch_binding, tenant_id, aud, origin,
                                               epoch, exp, allow_insecure_origin);
}

QUORENT_API uint64_t uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs(RustCallStatus* status) {
    return export_call<"origin_vouch_max_ttl_secs">(status, &originvouch::origin_vouch_max_ttl_secs);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer(uint64_t tenant_id, RustBuffer aud,
                                                                             RustBuffer origin, uint64_t epoch,
                                                                             uint64_t exp, RustBuffer signature_hex,
                                                                             RustCallStatus* status) {
    return export_call<"origin_vouch_signer">(status, &originvouch::origin_vouch_signer, tenant_id, aud, origin, epoch,
                                              exp, signature_hex);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion(RustBuffer domain, uint64_t tenant_id,
                                                                                RustBuffer nonce, uint64_t issued_at,
                                                                                RustCallStatus* status) {
    return export_call<"build_client_assertion">(status, &assertion::build_client_assertion, domain, tenant_id, nonce,
                                                 issued_at);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion(RustBuffer secret_key_hex,
                                                                               RustBuffer domain, uint64_t tenant_id,
                                                                               RustBuffer nonce, uint64_t issued_at,
                                                                               RustCallStatus* status) {
    return export_call<"sign_client_assertion">(status, &assertion::sign_client_assertion, secret_key_hex, domain,
                                                tenant_id, nonce, issued_at);
}

// ---- user keys and deeds -------------------------------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_root_binding(RustBuffer origin, RustCallStatus* status) {
    return export_call<"user_root_binding">(status, &usersig::user_root_binding, origin);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed(RustBuffer origin, RustBuffer signature1_hex,
                                                                          RustBuffer signature2_hex,
                                                                          RustCallStatus* status) {
    return export_call<"derive_root_seed">(status, &usersig::derive_root_seed, origin, signature1_hex, signature2_hex);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_app_key(RustBuffer root_seed_hex, uint64_t tenant_id,
                                                                        RustBuffer origin, RustCallStatus* status) {
    return export_call<"derive_app_key">(status, &usersig::derive_app_key, root_seed_hex, tenant_id, origin);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_sub(RustBuffer pubkey_hex, RustCallStatus* status) {
    return export_call<"user_sub">(status, &usersig::user_sub, pubkey_hex);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_binding(uint64_t tenant_id, RustBuffer aud,
                                                                      RustBuffer origin, RustBuffer challenge,
                                                                      uint64_t exp, RustCallStatus* status) {
    return export_call<"user_binding">(status, &usersig::user_binding, tenant_id, aud, origin, challenge, exp);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(RustBuffer secret_key_hex, uint64_t tenant_id,
                                                                        RustBuffer aud, RustBuffer origin,
                                                                        RustBuffer challenge, uint64_t exp,
                                                                        RustCallStatus* status) {
    return export_call<"mint_user_deed">(status, &usersig::mint_user_deed, secret_key_hex, tenant_id, aud, origin,
                                         challenge, exp);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed(RustBuffer signer_addr_hex,
                                                                             RustBuffer wallet_sig_hex,
                                                                             uint64_t tenant_id, RustBuffer aud,
                                                                             RustBuffer origin, RustBuffer challenge,
                                                                             uint64_t exp, RustCallStatus* status) {
    return export_call<"mint_user_1271_deed">(status, &user1271::mint_user_1271_deed, signer_addr_hex, wallet_sig_hex,
                                              tenant_id, aud, origin, challenge, exp);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed(RustBuffer wallet_sig_hex, uint64_t tenant_id,
                                                                         RustBuffer aud, RustBuffer challenge,
                                                                         uint64_t exp, RustCallStatus* status) {
    return export_call<"mint_admin_deed">(status, &adminsig::mint_admin_deed, wallet_sig_hex, tenant_id, aud, challenge,
                                          exp);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet(RustBuffer signer_addr_hex,
                                                                                     RustBuffer wallet_sig_hex,
                                                                                     uint64_t tenant_id, RustBuffer aud,
                                                                                     RustBuffer challenge, uint64_t exp,
                                                                                     RustCallStatus* status) {
    return export_call<"mint_admin_deed_smartwallet">(status, &adminsig::mint_admin_deed_smartwallet, signer_addr_hex,
                                                      wallet_sig_hex, tenant_id, aud, challenge, exp);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_passkey_sub(uint64_t tenant_id, RustBuffer origin,
                                                                     RustBuffer credential_pubkey_hex,
                                                                     RustCallStatus* status) {
    return export_call<"passkey_sub">(status, &userpasskey::passkey_sub, tenant_id, origin, credential_pubkey_hex);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed(
    RustBuffer credential_pubkey_hex, RustBuffer authenticator_data_hex, RustBuffer client_data_json_b64url,
    RustBuffer assertion_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge,
    uint64_t exp, RustCallStatus* status) {
    return export_call<"mint_user_passkey_deed">(status, &userpasskey::mint_user_passkey_deed, credential_pubkey_hex,
                                                 authenticator_data_hex, client_data_json_b64url, assertion_sig_hex,
                                                 tenant_id, aud, origin, challenge, exp);
}

// ---- capabilities, delegation, issuer key id -----------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegation_binding(
    uint64_t tenant_id, RustBuffer iss, RustBuffer to, RustBuffer grants_json, uint64_t exp, RustBuffer epoch_label_hex,
    uint64_t epoch, RustBuffer parent_ref_hash_hex, RustCallStatus* status) {
    return export_call<"delegation_binding">(status, &capability::delegation_binding, tenant_id, iss, to, grants_json,
                                             exp, epoch_label_hex, epoch, parent_ref_hash_hex);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegate(uint64_t tenant_id, RustBuffer iss, RustBuffer to,
                                                                  RustBuffer grants_json, uint64_t exp,
                                                                  RustBuffer epoch_label_hex, uint64_t epoch,
                                                                  RustBuffer parent_ref_hash_hex, RustBuffer pubkey_hex,
                                                                  RustBuffer signature_hex, RustCallStatus* status) {
    return export_call<"delegate">(status, &capability::delegate, tenant_id, iss, to, grants_json, exp, epoch_label_hex,
                                   epoch, parent_ref_hash_hex, pubkey_hex, signature_hex);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root(RustBuffer root_id,
                                                                              RustCallStatus* status) {
    return export_call<"parent_ref_hash_root">(status, &capability::parent_ref_hash_root, root_id);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link(RustBuffer parent_link_json,
                                                                              RustCallStatus* status) {
    return export_call<"parent_ref_hash_link">(status, &capability::parent_ref_hash_link, parent_link_json);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed(RustBuffer base_deed,
                                                                              RustBuffer grants_json,
                                                                              RustBuffer delegation_chain_json,
                                                                              RustCallStatus* status) {
    return export_call<"mint_capability_deed">(status, &capability::mint_capability_deed, base_deed, grants_json,
                                               delegation_chain_json);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id(RustBuffer jwk_json, RustCallStatus* status) {
    return export_call<"issuer_key_id">(status, &token::issuer_key_id, jwk_json);
}

// ---- PKCE, authorize URL, token verification -----------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_generate_pkce(RustCallStatus* status) {
    return export_call<"generate_pkce">(status, &pkce::generate_pkce);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge(RustBuffer verifier, RustCallStatus* status) {
    return export_call<"pkce_challenge">(status, &pkce::pkce_challenge, verifier);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url(RustBuffer issuer, RustBuffer client_id,
                                                                             RustBuffer redirect_uri, RustBuffer state,
                                                                             RustBuffer nonce,
                                                                             RustBuffer code_challenge,
                                                                             RustCallStatus* status) {
    return export_call<"build_authorize_url">(status, &pkce::build_authorize_url, issuer, client_id, redirect_uri,
                                              state, nonce, code_challenge);
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(RustBuffer jwt, RustBuffer jwks_json,
                                                                         RustBuffer expected_iss,
                                                                         RustBuffer expected_aud, uint64_t now_unix,
                                                                         RustCallStatus* status) {
    return export_call<"verify_token_at">(status, &token::verify_token_at, jwt, jwks_json, expected_iss, expected_aud,
                                          now_unix);
}

}  // extern "C"
