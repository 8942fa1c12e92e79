// secure_wipe on macOS (quorent/secure_wipe.hpp), which has no explicit_bzero:
// memset_s, C11 Annex K's memset that the compiler may not remove as a dead
// store (libSystem, macOS 10.9 and later). <string.h> declares it only where
// __STDC_WANT_LIB_EXT1__ was defined before its first inclusion, which a
// header cannot ensure: it is declared here, as <string.h> declares it
// (errno_t is int, rsize_t is size_t on macOS).
#pragma once

#include <cstddef>

extern "C" int memset_s(void* s, std::size_t smax, int c, std::size_t n);

namespace quorent::macos {

inline void secure_zero(void* data, std::size_t len) noexcept { memset_s(data, len, 0, len); }

}  // namespace quorent::macos
