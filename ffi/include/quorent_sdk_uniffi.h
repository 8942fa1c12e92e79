/*
 * quorent_sdk_uniffi.h — the exported C interface of libquorent_sdk_uniffi.
 *
 * Every operation is `uniffi_quorent_sdk_uniffi_fn_func_<name>`: arguments in
 * their direct forms (integers by value, everything else in a RustBuffer),
 * then a pointer to a RustCallStatus that the caller has set to
 * { code 0, error_buf all zero } before the call.
 *
 *   code 0  success; the status is left exactly as the caller set it
 *   code 1  the operation's declared error: error_buf holds a serialized
 *           SdkError (i32 BE variant: 1 = Sdk, 2 = InsecureOrigin; then the
 *           message as i32 BE length + UTF-8 bytes)
 *   code 2  unexpected failure: error_buf holds the message, raw UTF-8
 *
 * Argument buffers are consumed by every call, whatever its outcome. Result
 * buffers and error buffers belong to the caller, who releases each exactly
 * once with ffi_quorent_sdk_uniffi_rustbuffer_free.
 */
#ifndef QUORENT_SDK_UNIFFI_H
#define QUORENT_SDK_UNIFFI_H

#include <stdint.h>

#include "quorent_sdk_version.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORENT_BUILDING_LIBRARY)
#define QUORENT_API __attribute__((visibility("default")))
#else
#define QUORENT_API
#endif

typedef struct RustBuffer {
    uint64_t capacity;
    uint64_t len;
    uint8_t* data;
} RustBuffer;

typedef struct ForeignBytes {
    int32_t len;
    const uint8_t* data;
} ForeignBytes;

typedef struct RustCallStatus {
    int8_t code;
    RustBuffer error_buf;
} RustCallStatus;

/* Continuation callback of the asynchronous-call handles: (data, poll code). */
typedef void (*UniffiRustFutureContinuationCallback)(uint64_t data, int8_t poll_result);

/* ---- buffers, version ---------------------------------------------------- */
QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_alloc(uint64_t size, RustCallStatus* status);
QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(ForeignBytes bytes, RustCallStatus* status);
QUORENT_API void ffi_quorent_sdk_uniffi_rustbuffer_free(RustBuffer buf, RustCallStatus* status);
QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_reserve(RustBuffer buf, uint64_t additional, RustCallStatus* status);
QUORENT_API uint32_t ffi_quorent_sdk_uniffi_uniffi_contract_version(void);

/* ---- operations ------------------------------------------------------------
 * Types: u64 = uint64_t; bool = int8_t (0/1); String = RustBuffer of UTF-8;
 * Option<String>, Vec<u8> and records = RustBuffer holding the nested form.
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url(RustBuffer issuer, RustBuffer client_id, RustBuffer redirect_uri, RustBuffer state, RustBuffer nonce, RustBuffer code_challenge, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion(RustBuffer domain, uint64_t tenant_id, RustBuffer nonce, uint64_t issued_at, RustCallStatus* status);
QUORENT_API int8_t uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return(RustBuffer ret, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegate(uint64_t tenant_id, RustBuffer iss, RustBuffer to, RustBuffer grants_json, uint64_t exp, RustBuffer epoch_label_hex, uint64_t epoch, RustBuffer parent_ref_hash_hex, RustBuffer pubkey_hex, RustBuffer signature_hex, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegation_binding(uint64_t tenant_id, RustBuffer iss, RustBuffer to, RustBuffer grants_json, uint64_t exp, RustBuffer epoch_label_hex, uint64_t epoch, RustBuffer parent_ref_hash_hex, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_app_key(RustBuffer root_seed_hex, uint64_t tenant_id, RustBuffer origin, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed(RustBuffer origin, RustBuffer signature1_hex, RustBuffer signature2_hex, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_generate_pkce(RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id(RustBuffer jwk_json, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata(uint64_t tenant_id, RustBuffer signer_hex, uint64_t epoch, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed(RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer challenge, uint64_t exp, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet(RustBuffer signer_addr_hex, RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer challenge, uint64_t exp, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed(RustBuffer base_deed, RustBuffer grants_json, RustBuffer delegation_chain_json, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed(RustBuffer signer_addr_hex, RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(RustBuffer secret_key_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed(RustBuffer credential_pubkey_hex, RustBuffer authenticator_data_hex, RustBuffer client_data_json_b64url, RustBuffer assertion_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(RustBuffer origin, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding(uint64_t tenant_id, RustBuffer aud, RustBuffer origin, uint64_t epoch, uint64_t exp, int8_t allow_insecure_origin, RustCallStatus* status);
QUORENT_API uint64_t uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs(RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer(uint64_t tenant_id, RustBuffer aud, RustBuffer origin, uint64_t epoch, uint64_t exp, RustBuffer signature_hex, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link(RustBuffer parent_link_json, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root(RustBuffer root_id, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_passkey_sub(uint64_t tenant_id, RustBuffer origin, RustBuffer credential_pubkey_hex, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge(RustBuffer verifier, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion(RustBuffer secret_key_hex, RustBuffer domain, uint64_t tenant_id, RustBuffer nonce, uint64_t issued_at, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_binding(uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_root_binding(RustBuffer origin, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_sub(RustBuffer pubkey_hex, RustCallStatus* status);
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(RustBuffer jwt, RustBuffer jwks_json, RustBuffer expected_iss, RustBuffer expected_aud, uint64_t now_unix, RustCallStatus* status);

/* ---- checksums (FNV-1a 64 over each operation's description blob, folded to 16 bits) ---- */
#define QUORENT_CHECKSUM(name) QUORENT_API uint16_t uniffi_quorent_sdk_uniffi_checksum_func_##name(void);
QUORENT_CHECKSUM(build_authorize_url)
QUORENT_CHECKSUM(build_client_assertion)
QUORENT_CHECKSUM(decode_bool_return)
QUORENT_CHECKSUM(delegate)
QUORENT_CHECKSUM(delegation_binding)
QUORENT_CHECKSUM(derive_app_key)
QUORENT_CHECKSUM(derive_root_seed)
QUORENT_CHECKSUM(generate_pkce)
QUORENT_CHECKSUM(issuer_key_id)
QUORENT_CHECKSUM(is_origin_voucher_calldata)
QUORENT_CHECKSUM(mint_admin_deed)
QUORENT_CHECKSUM(mint_admin_deed_smartwallet)
QUORENT_CHECKSUM(mint_capability_deed)
QUORENT_CHECKSUM(mint_user_1271_deed)
QUORENT_CHECKSUM(mint_user_deed)
QUORENT_CHECKSUM(mint_user_passkey_deed)
QUORENT_CHECKSUM(normalize_origin)
QUORENT_CHECKSUM(origin_vouch_binding)
QUORENT_CHECKSUM(origin_vouch_max_ttl_secs)
QUORENT_CHECKSUM(origin_vouch_signer)
QUORENT_CHECKSUM(parent_ref_hash_link)
QUORENT_CHECKSUM(parent_ref_hash_root)
QUORENT_CHECKSUM(passkey_sub)
QUORENT_CHECKSUM(pkce_challenge)
QUORENT_CHECKSUM(sign_client_assertion)
QUORENT_CHECKSUM(user_binding)
QUORENT_CHECKSUM(user_root_binding)
QUORENT_CHECKSUM(user_sub)
QUORENT_CHECKSUM(verify_token_at)
#undef QUORENT_CHECKSUM

/* ---- asynchronous-call handles (no operation of this library is asynchronous) ---- */
#define QUORENT_FUTURE(suffix, ret)                                                                   \
    QUORENT_API void ffi_quorent_sdk_uniffi_rust_future_poll_##suffix(uint64_t handle,                \
        UniffiRustFutureContinuationCallback callback, uint64_t callback_data);                      \
    QUORENT_API void ffi_quorent_sdk_uniffi_rust_future_cancel_##suffix(uint64_t handle);             \
    QUORENT_API ret ffi_quorent_sdk_uniffi_rust_future_complete_##suffix(uint64_t handle,             \
        RustCallStatus* status);                                                                      \
    QUORENT_API void ffi_quorent_sdk_uniffi_rust_future_free_##suffix(uint64_t handle);
QUORENT_FUTURE(u8, uint8_t)
QUORENT_FUTURE(i8, int8_t)
QUORENT_FUTURE(u16, uint16_t)
QUORENT_FUTURE(i16, int16_t)
QUORENT_FUTURE(u32, uint32_t)
QUORENT_FUTURE(i32, int32_t)
QUORENT_FUTURE(u64, uint64_t)
QUORENT_FUTURE(i64, int64_t)
QUORENT_FUTURE(f32, float)
QUORENT_FUTURE(f64, double)
QUORENT_FUTURE(rust_buffer, RustBuffer)
QUORENT_FUTURE(void, void)
#undef QUORENT_FUTURE

#ifdef __cplusplus
}
#endif

#endif /* QUORENT_SDK_UNIFFI_H */
