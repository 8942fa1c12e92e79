// The exported operations: each lifts its arguments inside the call frame,
// applies the argument rules of the exported layer, calls the core and
// hands back the result or the mapped error.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame.hpp"
#include "quorent/adminsig.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
#include "quorent/sovereign.hpp"
#include "quorent/user1271.hpp"
#include "quorent/userpasskey.hpp"
#include "quorent/usersig.hpp"
#include "quorent/wallet.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

using namespace quorent;
using namespace quorent::ffi;

namespace {

using Views1 = std::array<std::string_view, 1>;

// Plain hex (no prefix) of an argument that holds a secret, decoded into
// storage that is wiped when it goes out of scope, even on a decoding
// failure. Decoding failures are of kind Crypto.
Status decode_secret_hex(std::string_view text, SecretBytes& out) {
    std::string message;
    if (!hex_decode(text, out.get(), message)) return CoreError{ErrorKind::Crypto, std::move(message)};
    return {};
}

}  // namespace

extern "C" {

// ---- origins -----------------------------------------------------------------

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(RustBuffer origin, RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{origin},
                                 [](const auto& a) { return discovery::normalize_origin(a[0]); });
}

// ---- wallet signatures, registry call, origin vouches, client assertion -------

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
            QUORENT_TRY(const sovereign::Deed deed,
                        usersig::mint_user_deed(key, tenant_id, a[1], canonical, a[3], exp));
            return sovereign::deed_to_record(deed);
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
            QUORENT_TRY(const sovereign::Deed deed,
                        user1271::mint_user_1271_deed(a[0], a[1], tenant_id, a[2], canonical, a[4], exp));
            return sovereign::deed_to_record(deed);
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed(RustBuffer wallet_sig_hex, uint64_t tenant_id,
                                                                       RustBuffer aud, RustBuffer challenge,
                                                                       uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{wallet_sig_hex, aud, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            QUORENT_TRY(const Bytes sig, hex_decode(strip_0x_prefixes(a[0]), ErrorKind::Input));
            QUORENT_TRY(const sovereign::Deed deed, adminsig::mint_admin_deed(sig, tenant_id, a[1], a[2], exp));
            return sovereign::deed_to_record(deed);
        });
}

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet(
    RustBuffer signer_addr_hex, RustBuffer wallet_sig_hex, uint64_t tenant_id, RustBuffer aud, RustBuffer challenge,
    uint64_t exp, RustCallStatus* status) {
    return call_with<RustBuffer>(
        status, std::array{signer_addr_hex, wallet_sig_hex, aud, challenge},
        [tenant_id, exp](const auto& a) -> Result<sovereign::DeedRecord> {
            QUORENT_TRY(const sovereign::Deed deed,
                        adminsig::mint_admin_deed_smartwallet(a[0], a[1], tenant_id, a[2], a[3], exp));
            return sovereign::deed_to_record(deed);
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
            QUORENT_TRY(const sovereign::Deed deed,
                        userpasskey::mint_user_passkey_deed(a[0], a[1], a[2], a[3], tenant_id, a[4], canonical,
                                                            a[6], exp));
            return sovereign::deed_to_record(deed);
        });
}

// ---- capabilities, delegation, issuer key id ------------------------------

// ---- PKCE, authorize URL, token verification --------------------------------

}  // extern "C"
