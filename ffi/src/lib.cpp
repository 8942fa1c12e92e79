// The exported operations: each lifts its arguments inside the call frame,
// applies the argument rules of the exported layer, calls the core and
// hands back the result or the mapped error.
#include <cstdint>
#include <string>
#include <string_view>

#include "frame.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
#include "quorent/pkce.hpp"
#include "quorent/token.hpp"
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

QUORENT_API RustBuffer uniffi_quorent_sdk_uniffi_fn_func_verify_token_at(RustBuffer jwt, RustBuffer jwks_json,
                                                                         RustBuffer expected_iss,
                                                                         RustBuffer expected_aud, uint64_t now_unix,
                                                                         RustCallStatus* status) {
    return call_with<RustBuffer>(status, std::array{jwt, jwks_json, expected_iss, expected_aud}, [&](const auto& a) {
        return token::verify_token(a[0], a[1], a[2], a[3], now_unix);
    });
}

}  // extern "C"
