// The exported operations: each lifts its arguments inside the call frame,
// applies the argument rules of the exported layer, calls the core and
// hands back the result or the mapped error.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame.hpp"
#include "quorent/assertion.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
#include "quorent/originvouch.hpp"
#include "quorent/wallet.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

using namespace quorent;
using namespace quorent::ffi;

namespace {

using Views1 = std::array<std::string_view, 1>;

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

// ---- capabilities, delegation, issuer key id ------------------------------

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

}  // extern "C"
