// Overwriting memory so that a secret does not outlive its use. Header-only,
// so that the one definition is compiled into the library and into each host
// alike (the command-line tool and the host helpers of ffi/host reach the
// library only through its exported functions).
#pragma once

#include <cstddef>
#include <string>

#include "win_types.hpp"  // Windows: RtlSecureZeroMemory, which windows.h names SecureZeroMemory
#if defined(__APPLE__)
#include "macos/secure_zero.hpp"  // memset_s
#elif !defined(_WIN32)
#include <string.h>  // explicit_bzero
#endif

namespace quorent {

inline void secure_wipe(void* data, std::size_t len) noexcept {
    // explicit_bzero (glibc, musl), SecureZeroMemory (Windows) and memset_s
    // (macOS): a memset the
    // compiler may not remove as a dead store, and cheaper per call than
    // OPENSSL_cleanse's indirect memset.
    if (data == nullptr || len == 0) return;
#ifdef _WIN32
    RtlSecureZeroMemory(data, len);
#elif defined(__APPLE__)
    macos::secure_zero(data, len);
#else
    explicit_bzero(data, len);
#endif
}

// A string's whole allocation, past size() too; the string is left empty.
inline void secure_wipe(std::string& s) noexcept {
    secure_wipe(s.data(), s.capacity());
    s.clear();
}

}  // namespace quorent
