/*
 * quorent_sdk_uniffi.h: the exported C interface of libquorent_sdk_uniffi,
 * a client-side identity and authorization library: canonical web origins
 * and a fail-closed origin policy, wallet signatures, signed identity deeds,
 * capability grants and delegation chains, origin vouches, and OAuth helpers.
 *
 * THREADS AND STATE. No function does I/O, reads a clock, logs or keeps
 * state between calls, and every function may be called from any thread,
 * concurrently. Every operation is a pure function of its arguments except
 * generate_pkce, which reads 32 bytes from the operating system's random
 * source (getentropy; BCryptGenRandom on Windows) per call. The first
 * operation that signs or recovers with secp256k1 also reads 32 bytes from
 * it, once per process, to blind the shared signing context against side
 * channels (no result depends on them).
 *
 * CALLING AN OPERATION. Every operation is uniffi_quorent_sdk_uniffi_fn_func_<name>:
 * its arguments in their direct forms (integers by value: u64 = uint64_t,
 * bool = int8_t 0 or 1; everything else in a RustBuffer: a String as its
 * UTF-8 bytes, Option<String>, Vec<u8> and records in their nested forms),
 * then a pointer to a RustCallStatus that the caller has set to
 * { code 0, error_buf all zero } before the call.
 *
 * STATUS CODES, as the call leaves them in RustCallStatus.code:
 *   0  success; the status is left exactly as the caller set it, and the
 *      result is the function's return value.
 *   1  the operation's declared error: error_buf holds a serialized SdkError
 *      (i32 big-endian variant: 1 = Sdk, 2 = InsecureOrigin; then the message
 *      as an i32 big-endian length and UTF-8 bytes). InsecureOrigin means the
 *      fail-closed origin policy refused the origin; Sdk is every other
 *      failure. The return value is the empty value of its type.
 *   2  unexpected failure: error_buf holds the message, raw UTF-8. An
 *      argument that could not be read gives "Failed to convert arg '<name>':"
 *      and a line with the reason.
 *   3  only from ffi_quorent_sdk_uniffi_rust_future_complete_*: the handle has
 *      no outcome (it was cancelled, or its work has not finished); error_buf
 *      is empty.
 *
 * BUFFERS. Argument buffers are consumed by every call, whatever its outcome:
 * the caller must not use or free them afterwards. Result buffers and error
 * buffers belong to the caller, who releases each exactly once with
 * ffi_quorent_sdk_uniffi_rustbuffer_free. A buffer the caller makes for an
 * argument comes from ffi_quorent_sdk_uniffi_rustbuffer_from_bytes (a copy of
 * the caller's bytes) or ffi_quorent_sdk_uniffi_rustbuffer_alloc (zeroed, to
 * be filled), and may be grown with ffi_quorent_sdk_uniffi_rustbuffer_reserve
 * (which consumes the buffer it is given and returns its replacement). Every
 * buffer the library releases (an argument it consumed, a buffer passed to
 * rustbuffer_free or rustbuffer_reserve, and the buffers an asynchronous
 * handle holds when it is freed) is wiped before its memory is released:
 * secret keys, root seeds and signatures travel in them.
 *
 * ASYNCHRONOUS HANDLES. No operation is asynchronous; the
 * ffi_quorent_sdk_uniffi_rust_future_* functions exist for bindings that
 * expect them. Their continuation callback receives poll code 0 (ready: call
 * complete) or 1 (maybe ready: poll again).
 *
 * VERSIONS. QUORENT_SDK_VERSION_* (quorent_sdk_version.h) is the library's
 * version; ffi_quorent_sdk_uniffi_uniffi_contract_version() returns the
 * version of this calling convention (30), and the checksum functions below
 * let a binding check that each operation is the one it was generated for.
 */
/* clang-format off */
#ifndef QUORENT_SDK_UNIFFI_H
#define QUORENT_SDK_UNIFFI_H

#include <stdint.h>

#include "quorent_sdk_version.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORENT_BUILDING_LIBRARY) && defined(_WIN32)
#define QUORENT_API __declspec(dllexport)
#elif defined(QUORENT_BUILDING_LIBRARY)
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
QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_reserve(RustBuffer buf, uint64_t additional,
                                                                 RustCallStatus* status);
QUORENT_API uint32_t ffi_quorent_sdk_uniffi_uniffi_contract_version(void);

/* ---- operations: generated from the interface table ---- */

/* build_authorize_url
 *
 * The issuer's /authorize URL for an authorization-code request with PKCE (S256): the issuer parsed
 * as a WHATWG URL, its path replaced by /authorize, seven form-encoded query parameters appended.
 *
 * Args:    issuer          the issuer's base URL (String)
 *          client_id       OAuth client id (String)
 *          redirect_uri    the client's redirect URI (String)
 *          state           OAuth state (String)
 *          nonce           nonce (String)
 *          code_challenge  PKCE S256 challenge (String)
 * Returns: the URL text (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (issuer, client_id, redirect_uri, state, nonce, code_challenge)
 *            Sdk "input: <reason>" where the issuer is not an absolute URL; reason is one of "empty
 *              host", "invalid international domain name", "invalid port number", "invalid IPv4
 *              address", "invalid IPv6 address", "invalid domain character", "relative URL without
 *              a base", "URLs more than 4 GB are not supported"
 *            Sdk "input: issuer must be an http or https URL" for any other scheme (javascript:,
 *              data:, file:, ...)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url(RustBuffer issuer, RustBuffer client_id, RustBuffer redirect_uri, RustBuffer state, RustBuffer nonce, RustBuffer code_challenge, RustCallStatus* status);

/* build_client_assertion
 *
 * The five-line client-credentials assertion text that a client signs with EIP-191.
 *
 * Args:    domain     the client's domain (String)
 *          tenant_id  tenant id (u64)
 *          nonce      nonce (String)
 *          issued_at  issue time, unix seconds (u64)
 * Returns: the assertion text, five lines joined by line feeds (String)
 * Errors:  none (never sets code 1)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion(RustBuffer domain, uint64_t tenant_id, RustBuffer nonce, uint64_t issued_at, RustCallStatus* status);

/* decode_bool_return
 *
 * Decodes the 32-byte answer of isOriginVoucher; any other length is an error, never false.
 *
 * Args:    ret  the raw bytes the registry call returned, hex (Vec<u8>)
 * Returns: 1 when byte 31 of the 32-byte answer is non-zero, else 0 (bool)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: isOriginVoucher returned N bytes, expected 32"
 */
QUORENT_API int8_t uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return(RustBuffer ret, RustCallStatus* status);

/* delegate
 *
 * Assembles a signed delegation link from the delegator's precomputed signature over its binding;
 * returns the link's canonical JSON.
 *
 * Args:    tenant_id            tenant id (u64)
 *          iss                  the delegator (String)
 *          to                   the delegate (String)
 *          grants_json          JSON array of grants (String)
 *          exp                  expiry, unix seconds (u64)
 *          epoch_label_hex      epoch label, 32 bytes as hex (String)
 *          epoch                epoch number (u64)
 *          parent_ref_hash_hex  parent-reference hash, 32 bytes as hex (String)
 *          pubkey_hex           public key, hex (Option<String>)
 *          signature_hex        signature, hex (String)
 * Returns: the link's canonical JSON text (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (iss, to, grants_json, epoch_label_hex, parent_ref_hash_hex, signature_hex)
 *            Sdk "input: <reader message> at line L column C" (grants_json does not read)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (epoch_label_hex is not hex)
 *            Sdk "expected 32 bytes of hex" (epoch_label_hex, no prefix)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (parent_ref_hash_hex is not hex)
 *            Sdk "expected 32 bytes of hex" (parent_ref_hash_hex)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (signature_hex is not hex)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegate(uint64_t tenant_id, RustBuffer iss, RustBuffer to, RustBuffer grants_json, uint64_t exp, RustBuffer epoch_label_hex, uint64_t epoch, RustBuffer parent_ref_hash_hex, RustBuffer pubkey_hex, RustBuffer signature_hex, RustCallStatus* status);

/* delegation_binding
 *
 * The bytes a delegator signs for one delegation link, as lower-case hex.
 *
 * Args:    tenant_id            tenant id (u64)
 *          iss                  the delegator (String)
 *          to                   the delegate (String)
 *          grants_json          JSON array of grants (String)
 *          exp                  expiry, unix seconds (u64)
 *          epoch_label_hex      epoch label, 32 bytes as hex (String)
 *          epoch                epoch number (u64)
 *          parent_ref_hash_hex  parent-reference hash, 32 bytes as hex (String)
 * Returns: the binding bytes as lower-case hex (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (iss, to, grants_json, epoch_label_hex, parent_ref_hash_hex)
 *            Sdk "input: <reader message> at line L column C" (grants_json does not read)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (epoch_label_hex is not hex)
 *            Sdk "expected 32 bytes of hex" (epoch_label_hex, no prefix)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (parent_ref_hash_hex is not hex)
 *            Sdk "expected 32 bytes of hex" (parent_ref_hash_hex)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegation_binding(uint64_t tenant_id, RustBuffer iss, RustBuffer to, RustBuffer grants_json, uint64_t exp, RustBuffer epoch_label_hex, uint64_t epoch, RustBuffer parent_ref_hash_hex, RustCallStatus* status);

/* derive_app_key
 *
 * Derives the per-(tenant, origin) secp256k1 app key from a 32-byte root seed with HKDF-SHA-256.
 *
 * Args:    root_seed_hex  the 32-byte root seed, hex (String, secret)
 *          tenant_id      tenant id (u64)
 *          origin         web origin, scheme://host[:port] (String)
 * Returns: an AppKey record (secret key and compressed public key, hex) (AppKey)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (root_seed_hex, origin)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (root_seed_hex is not hex)
 *            Sdk "input: rootSeedHex must decode to exactly 32 bytes"
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 *            Sdk "crypto: could not derive a valid app key"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_app_key(RustBuffer root_seed_hex, uint64_t tenant_id, RustBuffer origin, RustCallStatus* status);

/* derive_root_seed
 *
 * The 32-byte root seed (hex): SHA-256 of the wallet's signature over the root binding, given twice
 * to prove the wallet signs deterministically.
 *
 * Args:    origin          web origin, scheme://host[:port] (String)
 *          signature1_hex  the wallet's first signature over the root binding, hex (String, secret)
 *          signature2_hex  the wallet's second signature over the same text, hex (String, secret)
 * Returns: the 32-byte root seed as 64 lower-case hex digits (String, secret)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (origin, signature1_hex, signature2_hex)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (signature1_hex is not hex)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (signature2_hex is not hex)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 *            Sdk "crypto: wallet signing is non-deterministic; unsupported" (the two signatures
 *              differ)
 *            Sdk "crypto: wallet signature is empty"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed(RustBuffer origin, RustBuffer signature1_hex, RustBuffer signature2_hex, RustCallStatus* status);

/* generate_pkce
 *
 * Fresh PKCE pair.
 *
 * Returns: a Pkce record; a failing random source is status code 2 "rng: ..." (Pkce)
 * Errors:  none (never sets code 1)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_generate_pkce(RustCallStatus* status);

/* issuer_key_id
 *
 * The RFC 7638 thumbprint of an EC JWK as lower-case hex: the issuer key id.
 *
 * Args:    jwk_json  an EC public key as a JWK (JSON) (String)
 * Returns: 64 lower-case hex digits (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (jwk_json)
 *            Sdk "bad key: <reader message> at line L column C" (jwk_json does not read)
 *            Sdk "bad key: missing kty"
 *            Sdk "bad key: unsupported kty"
 *            Sdk "bad key: missing crv"
 *            Sdk "bad key: missing x"
 *            Sdk "bad key: missing y"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id(RustBuffer jwk_json, RustCallStatus* status);

/* is_origin_voucher_calldata
 *
 * Call data of isOriginVoucher(uint256,address,uint64) for a read-only call to the origin registry.
 *
 * Args:    tenant_id   tenant id (u64)
 *          signer_hex  the signer's 20-byte address, hex (String)
 *          epoch       epoch number (u64)
 * Returns: the 100 bytes of call data (Vec<u8>)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (signer_hex)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (signer_hex after leading "0x" are removed is not hex)
 *            Sdk "input: signer must be a 20-byte address"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata(uint64_t tenant_id, RustBuffer signer_hex, uint64_t epoch, RustCallStatus* status);

/* mint_admin_deed
 *
 * An admin-sig deed whose subject is the wallet account recovered from an EIP-191 signature over
 * the admin message.
 *
 * Args:    wallet_sig_hex  the wallet's signature, hex (String)
 *          tenant_id       tenant id (u64)
 *          aud             audience (String)
 *          challenge       the relying party's challenge (String)
 *          exp             expiry, unix seconds (u64)
 * Returns: a Deed record, mode admin-sig (Deed)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (wallet_sig_hex, aud, challenge)
 *            Sdk "input: Odd number of digits" or "input: Invalid character 'c' at position p"
 *              (wallet_sig_hex after leading "0x" are removed is not hex)
 *            Sdk "input: signature must be 65 bytes"
 *            Sdk "input: recovery id must be 0, 1, 27, or 28"
 *            Sdk "crypto: signature error" (no key recovers, or s is high)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed(RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer challenge, uint64_t exp, RustCallStatus* status);

/* mint_admin_deed_smartwallet
 *
 * An admin-sig deed for a smart-contract wallet: carries the contract's address and its opaque
 * signature.
 *
 * Args:    signer_addr_hex  the smart-contract wallet's address, hex (String)
 *          wallet_sig_hex   the wallet's signature, hex (String)
 *          tenant_id        tenant id (u64)
 *          aud              audience (String)
 *          challenge        the relying party's challenge (String)
 *          exp              expiry, unix seconds (u64)
 * Returns: a Deed record, mode admin-sig, with signer (Deed)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (signer_addr_hex, wallet_sig_hex, aud, challenge)
 *            Sdk "input: Odd number of digits" or "input: Invalid character 'c' at position p"
 *              (signer_addr_hex is not hex)
 *            Sdk "input: address must be 20 bytes"
 *            Sdk "input: Odd number of digits" or "input: Invalid character 'c' at position p"
 *              (wallet_sig_hex is not hex)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet(RustBuffer signer_addr_hex, RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer challenge, uint64_t exp, RustCallStatus* status);

/* mint_capability_deed
 *
 * Attaches grants and a delegation chain to an already minted deed, replacing any it carried.
 *
 * Args:    base_deed              the deed to extend, as the JSON a mint command prints (Deed)
 *          grants_json            JSON array of grants (String)
 *          delegation_chain_json  JSON array of delegation links (as `delegate` prints them)
 *                                 (String)
 * Returns: the base Deed with grants and delegations replaced (Deed)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (grants_json, delegation_chain_json)
 *            Sdk "input: <reader message> at line L column C" (the base deed's grants or
 *              delegations does not read)
 *            Sdk "input: <reader message> at line L column C" (grants_json does not read)
 *            Sdk "input: <reader message> at line L column C" (delegation_chain_json does not read)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed(RustBuffer base_deed, RustBuffer grants_json, RustBuffer delegation_chain_json, RustCallStatus* status);

/* mint_user_1271_deed
 *
 * A user-1271 deed for a smart-contract wallet that signed the user binding.
 *
 * Args:    signer_addr_hex  the smart-contract wallet's address, hex (String)
 *          wallet_sig_hex   the wallet's signature, hex (String)
 *          tenant_id        tenant id (u64)
 *          aud              audience (String)
 *          origin           web origin, scheme://host[:port] (String)
 *          challenge        the relying party's challenge (String)
 *          exp              expiry, unix seconds (u64)
 * Returns: a Deed record, mode user-1271 (Deed)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (signer_addr_hex, wallet_sig_hex, aud, origin, challenge)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 *            Sdk "input: Odd number of digits" or "input: Invalid character 'c' at position p"
 *              (signer_addr_hex is not hex)
 *            Sdk "input: address must be 20 bytes"
 *            Sdk "input: Odd number of digits" or "input: Invalid character 'c' at position p"
 *              (wallet_sig_hex is not hex)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed(RustBuffer signer_addr_hex, RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);

/* mint_user_deed
 *
 * A user-sig deed: the app key signs SHA-256 of the user binding for the canonical origin.
 *
 * Args:    secret_key_hex  secp256k1 secret key, hex (String, secret)
 *          tenant_id       tenant id (u64)
 *          aud             audience (String)
 *          origin          web origin, scheme://host[:port] (String)
 *          challenge       the relying party's challenge (String)
 *          exp             expiry, unix seconds (u64)
 * Returns: a Deed record, mode user-sig (Deed)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (secret_key_hex, aud, origin, challenge)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (secret_key_hex is not hex)
 *            Sdk "crypto: signature error" (key shorter than 24 or longer than 32 bytes, zero, or
 *              not below n)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(RustBuffer secret_key_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);

/* mint_user_passkey_deed
 *
 * A user-passkey deed carrying a WebAuthn assertion's pieces unchanged, with the passkey pseudonym
 * as subject.
 *
 * Args:    credential_pubkey_hex    the passkey credential public key, hex (String)
 *          authenticator_data_hex   the assertion's authenticator data, hex (String)
 *          client_data_json_b64url  the assertion's clientDataJSON, base64url (String)
 *          assertion_sig_hex        the WebAuthn assertion signature (DER), hex (String)
 *          tenant_id                tenant id (u64)
 *          aud                      audience (String)
 *          origin                   web origin, scheme://host[:port] (String)
 *          challenge                the relying party's challenge (String)
 *          exp                      expiry, unix seconds (u64)
 * Returns: a Deed record, mode user-passkey (Deed)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (credential_pubkey_hex, authenticator_data_hex, client_data_json_b64url,
 *              assertion_sig_hex, aud, origin, challenge)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed(RustBuffer credential_pubkey_hex, RustBuffer authenticator_data_hex, RustBuffer client_data_json_b64url, RustBuffer assertion_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);

/* normalize_origin
 *
 * The canonical text scheme://host[:port] of a web origin, or the rule it breaks.
 *
 * Args:    origin  web origin, scheme://host[:port] (String)
 * Returns: the canonical origin text (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (origin)
 *            Sdk "input: origin: must start with https:// or http://"
 *            Sdk "input: origin: must be scheme://host[:port], optionally with one trailing slash,
 *              and no path"
 *            Sdk "input: origin: contains a forbidden character — userinfo ('@'), query ('?'),
 *              fragment ('#') and percent-encoding ('%') are not allowed in a bare
 *              scheme://host[:port] origin"
 *            Sdk "input: origin: unterminated IPv6 literal — missing ']'"
 *            Sdk "input: origin: empty IPv6 literal '[]'"
 *            Sdk "input: origin: port must be all-digit after an IPv6 literal"
 *            Sdk "input: origin: unexpected characters after an IPv6 literal's ']'"
 *            Sdk "input: origin: a bare host must not contain more than one ':' — wrap an IPv6
 *              literal in '[...]'"
 *            Sdk "input: origin: port must be all-digit"
 *            Sdk "input: origin: host must not be empty"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(RustBuffer origin, RustCallStatus* status);

/* origin_vouch_binding
 *
 * The prose message a tenant administrator signs to vouch that an origin speaks for the tenant;
 * insecure origins are refused unless allowed.
 *
 * Args:    tenant_id              tenant id (u64)
 *          aud                    audience (String)
 *          origin                 web origin, scheme://host[:port] (String)
 *          epoch                  epoch number (u64)
 *          exp                    expiry, unix seconds (u64)
 *          allow_insecure_origin  accept plain-HTTP and non-routable origins (local development
 *                                 only) (bool)
 * Returns: the vouch message text (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (aud, origin)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 *            InsecureOrigin "<origin>: scheme must be https in production"
 *            InsecureOrigin "<origin>: host '<host>' is not routable in production
 *              (loopback/private/link-local/mDNS)"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding(uint64_t tenant_id, RustBuffer aud, RustBuffer origin, uint64_t epoch, uint64_t exp, int8_t allow_insecure_origin, RustCallStatus* status);

/* origin_vouch_max_ttl_secs
 *
 * The longest lifetime a holder accepts for an origin vouch, in seconds.
 *
 * Returns: the ceiling in seconds (u64)
 * Errors:  none (never sets code 1)
 */
QUORENT_API uint64_t uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs(RustCallStatus* status);

/* origin_vouch_signer
 *
 * Recovers the address that signed an origin vouch for the holder's own observed origin.
 *
 * Args:    tenant_id      tenant id (u64)
 *          aud            audience (String)
 *          origin         web origin, scheme://host[:port] (String)
 *          epoch          epoch number (u64)
 *          exp            expiry, unix seconds (u64)
 *          signature_hex  signature, hex (String)
 * Returns: the signer's account address, "0x" and 40 lower-case hex digits (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (aud, origin, signature_hex)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (signature_hex is not hex)
 *            Sdk "input: signature must be 65 bytes"
 *            Sdk "input: recovery id must be 0, 1, 27, or 28"
 *            Sdk "crypto: signature error"
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer(uint64_t tenant_id, RustBuffer aud, RustBuffer origin, uint64_t epoch, uint64_t exp, RustBuffer signature_hex, RustCallStatus* status);

/* parent_ref_hash_link
 *
 * Parent-reference hash of a later delegation link: SHA-256 of the previous link's canonical JSON,
 * hex.
 *
 * Args:    parent_link_json  the previous delegation link (JSON) (String)
 * Returns: 64 lower-case hex digits (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (parent_link_json)
 *            Sdk "input: <reader message> at line L column C" (parent_link_json does not read)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link(RustBuffer parent_link_json, RustCallStatus* status);

/* parent_ref_hash_root
 *
 * Parent-reference hash of the first delegation link: SHA-256 of the root principal's identity,
 * hex.
 *
 * Args:    root_id  the root principal's identity (the identity deed's sub) (String)
 * Returns: 64 lower-case hex digits (String)
 * Errors:  none (never sets code 1)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root(RustBuffer root_id, RustCallStatus* status);

/* passkey_sub
 *
 * The passkey pseudonym for a tenant, an already canonical origin and a credential public key.
 *
 * Args:    tenant_id              tenant id (u64)
 *          origin                 web origin, scheme://host[:port] (String)
 *          credential_pubkey_hex  the passkey credential public key, hex (String)
 * Returns: the pseudonym, 64 lower-case hex digits (String)
 * Errors:  none (never sets code 1)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_passkey_sub(uint64_t tenant_id, RustBuffer origin, RustBuffer credential_pubkey_hex, RustCallStatus* status);

/* pkce_challenge
 *
 * The S256 challenge of a PKCE verifier.
 *
 * Args:    verifier  PKCE verifier (String, secret)
 * Returns: 43 base64url characters (String)
 * Errors:  none (never sets code 1)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge(RustBuffer verifier, RustCallStatus* status);

/* sign_client_assertion
 *
 * Signs the client-credentials assertion with EIP-191; returns 0x and 130 hex digits.
 *
 * Args:    secret_key_hex  secp256k1 secret key, hex (String, secret)
 *          domain          the client's domain (String)
 *          tenant_id       tenant id (u64)
 *          nonce           nonce (String)
 *          issued_at       issue time, unix seconds (u64)
 * Returns: "0x" and 130 lower-case hex digits (r, s, v = 27 or 28) (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (secret_key_hex, domain, nonce)
 *            Sdk "input: Odd number of digits" or "input: Invalid character 'c' at position p"
 *              (secret_key_hex after leading "0x" are removed is not hex)
 *            Sdk "crypto: signature error" (key shorter than 24 or longer than 32 bytes, zero, or
 *              not below n)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion(RustBuffer secret_key_hex, RustBuffer domain, uint64_t tenant_id, RustBuffer nonce, uint64_t issued_at, RustCallStatus* status);

/* user_binding
 *
 * The bytes an app key signs for a user-sig deed, as hex, with the origin canonicalised.
 *
 * Args:    tenant_id  tenant id (u64)
 *          aud        audience (String)
 *          origin     web origin, scheme://host[:port] (String)
 *          challenge  the relying party's challenge (String)
 *          exp        expiry, unix seconds (u64)
 * Returns: the binding bytes as lower-case hex (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (aud, origin, challenge)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_binding(uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge, uint64_t exp, RustCallStatus* status);

/* user_root_binding
 *
 * The prose message a user's wallet signs to derive the root seed for an origin.
 *
 * Args:    origin  web origin, scheme://host[:port] (String)
 * Returns: the message text (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (origin)
 *            Sdk "input: origin: ...": any refusal of normalize_origin
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_root_binding(RustBuffer origin, RustCallStatus* status);

/* user_sub
 *
 * The user pseudonym of an app key's public key.
 *
 * Args:    pubkey_hex  public key, hex (String)
 * Returns: the pseudonym, 64 lower-case hex digits (String)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (pubkey_hex)
 *            Sdk "crypto: Odd number of digits" or "crypto: Invalid character 'c' at position p"
 *              (pubkey_hex is not hex)
 *            Sdk "crypto: signature error" (not a point on secp256k1)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_sub(RustBuffer pubkey_hex, RustCallStatus* status);

/* verify_token_at
 *
 * Verifies an ES256 token against a JWKS at the given time and returns its claims.
 *
 * Args:    jwt           the compact ES256 token (String)
 *          jwks_json     the issuer's JWKS document (JSON) (String)
 *          expected_iss  the issuer the token must carry (String)
 *          expected_aud  the audience the token must carry (String)
 *          now_unix      the current time, unix seconds (u64)
 * Returns: the token's Claims (Claims)
 * Errors:  code 1, an SdkError, in the order the checks run:
 *            Sdk "input: <argument> is not valid UTF-8" for the first text argument that is not
 *              (jwt, jwks_json, expected_iss, expected_aud)
 *            Sdk "jwt: not a 3-part JWT"
 *            Sdk "jwt: base64: <decoder message>" (any segment, or x/y of the key)
 *            Sdk "jwt: <reader message> at line L column C" (header or payload)
 *            Sdk "jwt: alg must be ES256"
 *            Sdk "bad key: <reader message> at line L column C"
 *            Sdk "bad key: no keys"
 *            Sdk "bad key: no matching key"
 *            Sdk "bad key: no x" / "bad key: no y"
 *            Sdk "bad key: x/y must be 32 bytes"
 *            Sdk "bad key: signature error" (not a P-256 point)
 *            Sdk "jwt: signature error" (not 64 bytes, or r or s out of range)
 *            Sdk "jwt: bad signature"
 *            Sdk "claim: iss mismatch"
 *            Sdk "claim: aud mismatch"
 *            Sdk "claim: expired" (now > exp + 60)
 */
QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(RustBuffer jwt, RustBuffer jwks_json, RustBuffer expected_iss, RustBuffer expected_aud, uint64_t now_unix, RustCallStatus* status);

/* ---- end of the generated operations ---- */

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
#define QUORENT_FUTURE(suffix, ret)                                                                                \
    QUORENT_API void ffi_quorent_sdk_uniffi_rust_future_poll_##suffix(                                             \
        uint64_t handle, UniffiRustFutureContinuationCallback callback, uint64_t callback_data);                   \
    QUORENT_API void ffi_quorent_sdk_uniffi_rust_future_cancel_##suffix(uint64_t handle);                          \
    QUORENT_API ret ffi_quorent_sdk_uniffi_rust_future_complete_##suffix(uint64_t handle, RustCallStatus* status); \
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
/* clang-format on */
