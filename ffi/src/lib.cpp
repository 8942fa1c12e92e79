// The exported operations: each lifts its arguments inside the call frame,
// applies the argument rules of the exported layer, calls the core and
// hands back the result or the mapped error.
#include <cstdint>
#include <string>
#include <string_view>

#include "frame.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
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

}  // extern "C"
