// The exported operations: each lifts its arguments inside the call frame,
// applies the argument rules of the exported layer, calls the core and
// hands back the result or the mapped error.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame.hpp"
#include "quorent/adminsig.hpp"
#include "quorent/assertion.hpp"
#include "quorent/capability.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
#include "quorent/originvouch.hpp"
#include "quorent/pkce.hpp"
#include "quorent/sovereign.hpp"
#include "quorent/token.hpp"
#include "quorent/user1271.hpp"
#include "quorent/userpasskey.hpp"
#include "quorent/usersig.hpp"
#include "quorent/wallet.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

using namespace quorent;
using namespace quorent::ffi;

namespace {

// Plain hex (no prefix) of an argument that holds a secret, decoded into
// storage that is wiped when it goes out of scope, even on a decoding
// failure. Decoding failures are of kind Crypto.
Status decode_secret_hex(std::string_view text, SecretBytes& out) {
    std::string message;
    if (!hex_decode(text, out.get(), message)) return CoreError{ErrorKind::Crypto, std::move(message)};
    return {};
}

// A 32-byte hex argument (no prefix): a decoding fault is kind Crypto; a
// well-formed text of another length is the bare message below.
Result<capability::Bytes32> decode_hex32(std::string_view text) {
    QUORENT_TRY(const Bytes bytes, hex_decode(text, ErrorKind::Crypto));
    if (bytes.size() != 32) throw SdkError{SdkVariant::Sdk, "expected 32 bytes of hex"};
    capability::Bytes32 out;
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

std::string digest_hex(const capability::Bytes32& digest) { return hex_encode(digest.data(), digest.size()); }

}  // namespace

extern "C" {

// ---- origins -----------------------------------------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(RustBuffer origin, RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{origin},
                                 [](const auto& a) { return discovery::normalize_origin(a[0]); });
}

// ---- wallet signatures, registry call, origin vouches, client assertion -------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata(uint64_t tenant_id,
                                                                                    RustBuffer signer_hex,
                                                                                    uint64_t epoch,
                                                                                    RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{signer_hex}, [&](const auto& a) -> Result<Bytes> {
        QUORENT_TRY(const Bytes signer, hex_decode(strip_0x_prefixes(a[0]), ErrorKind::Crypto));
        if (signer.size() != 20) return CoreError{ErrorKind::Input, "signer must be a 20-byte address"};
        wallet::Address address;
        std::copy(signer.begin(), signer.end(), address.bytes.begin());
        return originvouch::is_origin_voucher_calldata(tenant_id, address, epoch);
    });
}

QUORENT_API int8_t uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return(RustBuffer ret, RustCallStatus* status) {
    return call_with<std::int8_t>(status, std::array{ret}, [](const auto& a) {
        return originvouch::decode_bool_return(lift_bytes(a[0], "ret"));
    });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding(uint64_t tenant_id, RustBuffer aud,
                                                                              RustBuffer origin, uint64_t epoch,
                                                                              uint64_t exp,
                                                                              int8_t allow_insecure_origin,
                                                                              RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{aud, origin}, [&](const auto& a) {
        const bool allow = lift_bool(allow_insecure_origin, "allow_insecure_origin");
        return originvouch::origin_vouch_binding(tenant_id, a[0], a[1], epoch, exp, allow);
    });
}

QUORENT_API uint64_t uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs(RustCallStatus* status) {
    return call<std::uint64_t>(status, [] { return originvouch::ORIGIN_VOUCH_MAX_TTL_SECS; });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer(uint64_t tenant_id, RustBuffer aud,
                                                                             RustBuffer origin, uint64_t epoch,
                                                                             uint64_t exp, RustBuffer signature_hex,
                                                                             RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{aud, origin, signature_hex},
                                 [&](const auto& a) -> Result<std::string> {
                                     QUORENT_TRY(const Bytes sig, hex_decode(a[2], ErrorKind::Crypto));
                                     QUORENT_TRY(const wallet::Address signer,
                                                 originvouch::origin_vouch_signer(tenant_id, a[0], a[1], epoch, exp,
                                                                                  sig));
                                     return wallet::format_address(signer);
                                 });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion(RustBuffer domain, uint64_t tenant_id,
                                                                                RustBuffer nonce, uint64_t issued_at,
                                                                                RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{domain, nonce}, [&](const auto& a) {
        return assertion::build_client_assertion(a[0], tenant_id, a[1], issued_at);
    });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion(RustBuffer secret_key_hex,
                                                                               RustBuffer domain, uint64_t tenant_id,
                                                                               RustBuffer nonce, uint64_t issued_at,
                                                                               RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{secret_key_hex, domain, nonce}, [&](const auto& a) {
        return assertion::sign_client_assertion(a[0], a[1], tenant_id, a[2], issued_at);
    });
}

// ---- user keys and deeds ----------------------------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_root_binding(RustBuffer origin, RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{origin},
                                 [](const auto& a) { return usersig::user_root_binding(a[0]); });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed(RustBuffer origin, RustBuffer signature1_hex,
                                                                        RustBuffer signature2_hex,
                                                                        RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{origin, signature1_hex, signature2_hex}, [](const auto& a) -> Result<std::string> {
            // The signatures are what the seed is made from: wiped once used.
            SecretBytes sig1, sig2;
            QUORENT_CHECK(decode_secret_hex(a[1], sig1));
            QUORENT_CHECK(decode_secret_hex(a[2], sig2));
            int calls = 0;
            const usersig::SigningSource source = [&](std::string_view) -> Result<Bytes> {
                return std::move((calls++ == 0 ? sig1 : sig2).get());
            };
            QUORENT_TRY(const usersig::RootSeed seed, usersig::derive_root_seed(a[0], source));
            return hex_encode(seed.bytes().data(), seed.bytes().size());
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_derive_app_key(RustBuffer root_seed_hex, uint64_t tenant_id,
                                                                      RustBuffer origin, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{root_seed_hex, origin}, [tenant_id](const auto& a) -> Result<usersig::AppKey> {
            SecretBytes decoded;
            QUORENT_CHECK(decode_secret_hex(a[0], decoded));
            if (decoded.get().size() != 32)
                return CoreError{ErrorKind::Input, "rootSeedHex must decode to exactly 32 bytes"};
            usersig::RootSeed seed;
            std::copy(decoded.get().begin(), decoded.get().end(), seed.bytes().begin());
            decoded.wipe();
            QUORENT_TRY(const usersig::DerivedKey key, usersig::derive_app_key(seed.bytes(), tenant_id, a[1]));
            return usersig::app_key_record(key);
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_sub(RustBuffer pubkey_hex, RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{pubkey_hex}, [](const auto& a) -> Result<std::string> {
        QUORENT_TRY(const Bytes bytes, hex_decode(a[0], ErrorKind::Crypto));
        QUORENT_TRY(const wallet::PublicKey key, wallet::PublicKey::parse(bytes));
        return usersig::user_sub(key);
    });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_user_binding(uint64_t tenant_id, RustBuffer aud,
                                                                    RustBuffer origin, RustBuffer challenge,
                                                                    uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{aud, origin, challenge}, [tenant_id, exp](const auto& a) -> Result<std::string> {
            QUORENT_TRY(const std::string canonical, discovery::normalize_origin(a[1]));
            const std::string binding = usersig::user_binding(tenant_id, a[0], canonical, a[2], exp);
            return hex_encode(reinterpret_cast<const std::uint8_t*>(binding.data()), binding.size());
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(RustBuffer secret_key_hex, uint64_t tenant_id,
                                                                      RustBuffer aud, RustBuffer origin,
                                                                      RustBuffer challenge, uint64_t exp,
                                                                      RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{secret_key_hex, aud, origin, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            // The key is examined before the origin.
            SecretBytes raw;
            QUORENT_CHECK(decode_secret_hex(a[0], raw));
            QUORENT_TRY(const wallet::SecretKey key, wallet::SecretKey::from_bytes(raw.get()));
            raw.wipe();
            QUORENT_TRY(const std::string canonical, discovery::normalize_origin(a[2]));
            QUORENT_TRY(sovereign::Deed deed,
                        usersig::mint_user_deed(key, tenant_id, a[1], canonical, a[3], exp));
            return sovereign::deed_to_record(std::move(deed));
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed(RustBuffer signer_addr_hex,
                                                                           RustBuffer wallet_sig_hex,
                                                                           uint64_t tenant_id, RustBuffer aud,
                                                                           RustBuffer origin, RustBuffer challenge,
                                                                           uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{signer_addr_hex, wallet_sig_hex, aud, origin, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            QUORENT_TRY(const std::string canonical, discovery::normalize_origin(a[3]));
            QUORENT_TRY(sovereign::Deed deed,
                        user1271::mint_user_1271_deed(a[0], a[1], tenant_id, a[2], canonical, a[4], exp));
            return sovereign::deed_to_record(std::move(deed));
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed(RustBuffer wallet_sig_hex, uint64_t tenant_id,
                                                                       RustBuffer aud, RustBuffer challenge,
                                                                       uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{wallet_sig_hex, aud, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            QUORENT_TRY(const Bytes sig, hex_decode(strip_0x_prefixes(a[0]), ErrorKind::Input));
            QUORENT_TRY(sovereign::Deed deed, adminsig::mint_admin_deed(sig, tenant_id, a[1], a[2], exp));
            return sovereign::deed_to_record(std::move(deed));
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet(
    RustBuffer signer_addr_hex, RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer challenge,
    uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{signer_addr_hex, wallet_sig_hex, aud, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            QUORENT_TRY(sovereign::Deed deed,
                        adminsig::mint_admin_deed_smartwallet(a[0], a[1], tenant_id, a[2], a[3], exp));
            return sovereign::deed_to_record(std::move(deed));
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_passkey_sub(uint64_t tenant_id, RustBuffer origin,
                                                                   RustBuffer credential_pubkey_hex,
                                                                   RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{origin, credential_pubkey_hex}, [tenant_id](const auto& a) {
        return userpasskey::passkey_sub(tenant_id, a[0], a[1]);
    });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed(
    RustBuffer credential_pubkey_hex, RustBuffer authenticator_data_hex, RustBuffer client_data_json_b64url,
    RustBuffer assertion_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer origin, RustBuffer challenge,
    uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status,
        std::array{credential_pubkey_hex, authenticator_data_hex, client_data_json_b64url, assertion_sig_hex, aud,
                   origin, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            QUORENT_TRY(const std::string canonical, discovery::normalize_origin(a[5]));
            QUORENT_TRY(sovereign::Deed deed,
                        userpasskey::mint_user_passkey_deed(a[0], a[1], a[2], a[3], tenant_id, a[4], canonical,
                                                            a[6], exp));
            return sovereign::deed_to_record(std::move(deed));
        });
}

// ---- capabilities, delegation, issuer key id ------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegation_binding(uint64_t tenant_id, RustBuffer iss,
                                                                           RustBuffer to, RustBuffer grants_json,
                                                                           uint64_t exp, RustBuffer epoch_label_hex,
                                                                           uint64_t epoch,
                                                                           RustBuffer parent_ref_hash_hex,
                                                                           RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{iss, to, grants_json, epoch_label_hex, parent_ref_hash_hex},
        [&](const auto& a) -> Result<std::string> {
            QUORENT_TRY(const std::vector<capability::Grant> grants, capability::grants_from_json(a[2]));
            QUORENT_TRY(const capability::Bytes32 label, decode_hex32(a[3]));
            QUORENT_TRY(const capability::Bytes32 parent, decode_hex32(a[4]));
            return hex_encode(capability::delegation_binding(tenant_id, a[0], a[1], grants, exp, label, epoch, parent));
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_delegate(uint64_t tenant_id, RustBuffer iss, RustBuffer to,
                                                                 RustBuffer grants_json, uint64_t exp,
                                                                 RustBuffer epoch_label_hex, uint64_t epoch,
                                                                 RustBuffer parent_ref_hash_hex, RustBuffer pubkey_hex,
                                                                 RustBuffer signature_hex, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{iss, to, grants_json, epoch_label_hex, parent_ref_hash_hex, pubkey_hex, signature_hex},
        [&](const auto& a) -> Result<std::string> {
            // Argument conversion comes before every check of the operation.
            std::optional<std::string> pubkey = lift_optional_string(a[5], "pubkey_hex");
            QUORENT_TRY(std::vector<capability::Grant> grants, capability::grants_from_json(a[2]));
            QUORENT_TRY(const capability::Bytes32 label, decode_hex32(a[3]));
            QUORENT_TRY(const capability::Bytes32 parent, decode_hex32(a[4]));
            // The precomputed signature is taken on trust: neither its
            // length nor its validity is examined.
            QUORENT_TRY(const Bytes signature, hex_decode(strip_0x_prefixes(a[6]), ErrorKind::Crypto));
            QUORENT_TRY(const capability::Delegation link,
                        capability::delegate(tenant_id, std::string(a[0]), std::string(a[1]), std::move(grants), exp,
                                             label, epoch, parent, std::move(pubkey),
                                             [&](const Bytes&) -> Result<Bytes> { return signature; }));
            return capability::delegation_to_json(link);
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root(RustBuffer root_id,
                                                                             RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{root_id}, [](const auto& a) {
        return digest_hex(capability::parent_ref_hash_root(a[0]));
    });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link(RustBuffer parent_link_json,
                                                                             RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{parent_link_json}, [](const auto& a) -> Result<std::string> {
        // The canonical form of the link is hashed, not the caller's text.
        QUORENT_TRY(const capability::Delegation link, capability::delegation_from_json(a[0]));
        return digest_hex(capability::parent_ref_hash_link(link));
    });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed(RustBuffer base_deed,
                                                                             RustBuffer grants_json,
                                                                             RustBuffer delegation_chain_json,
                                                                             RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{base_deed, grants_json, delegation_chain_json},
        [](const auto& a) -> Result<sovereign::DeedRecord> {
            const sovereign::DeedRecord record = lift_deed(a[0], "base_deed");
            // The base deed's own lists must read, although they are replaced.
            QUORENT_TRY(sovereign::Deed deed, sovereign::record_to_deed(record));
            QUORENT_TRY(std::vector<capability::Grant> grants, capability::grants_from_json(a[1]));
            QUORENT_TRY(std::vector<capability::Delegation> chain, capability::delegations_from_json(a[2]));
            return sovereign::deed_to_record(
                capability::with_capabilities(std::move(deed), std::move(grants), std::move(chain)));
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id(RustBuffer jwk_json, RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{jwk_json},
                                 [](const auto& a) { return token::jwk_thumbprint(std::string_view(a[0])); });
}

// ---- PKCE, authorize URL, token verification --------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_generate_pkce(RustCallStatus* status) {
    // A failing random source throws ("rng: ..."), which the frame reports
    // as an internal failure.
    return call<RustBuffer>(status, [] { return pkce::generate_pkce(); });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge(RustBuffer verifier, RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{verifier},
                                 [](const auto& a) { return pkce::pkce_challenge(a[0]); });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url(RustBuffer issuer, RustBuffer client_id,
                                                                             RustBuffer redirect_uri, RustBuffer state,
                                                                             RustBuffer nonce, RustBuffer code_challenge,
                                                                             RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{issuer, client_id, redirect_uri, state, nonce, code_challenge},
        [](const auto& a) { return pkce::build_authorize_url(a[0], a[1], a[2], a[3], a[4], a[5]); });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(RustBuffer jwt, RustBuffer jwks_json,
                                                                         RustBuffer expected_iss,
                                                                         RustBuffer expected_aud, uint64_t now_unix,
                                                                         RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{jwt, jwks_json, expected_iss, expected_aud}, [&](const auto& a) {
        return token::verify_token(a[0], a[1], a[2], a[3], now_unix);
    });
}

}  // extern "C"
