// Library-owned byte buffers: creation, the ownership invariants, release.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quorent_sdk_uniffi.h"

namespace quorent::ffi {

inline constexpr RustBuffer kEmptyBuffer{0, 0, nullptr};

// A new buffer holding a copy of len bytes (capacity == len; no storage when
// len == 0). Running out of memory ends the process (out_of_memory).
RustBuffer make_buffer(const void* data, std::size_t len) noexcept;
inline RustBuffer make_buffer(std::string_view bytes) noexcept { return make_buffer(bytes.data(), bytes.size()); }

// Storage for a buffer of the given capacity (not zero), from the allocator
// release_buffer() frees into. Running out of memory ends the process.
std::uint8_t* allocate_storage(std::size_t size) noexcept;

// The invariant violation of a buffer handed back to the library, if any.
std::optional<std::string_view> buffer_violation(const RustBuffer& buf) noexcept;

// Releases a consistent buffer's storage.
void release_buffer(const RustBuffer& buf) noexcept;

inline std::string_view buffer_view(const RustBuffer& buf) noexcept {
    return buf.data == nullptr ? std::string_view()
                               : std::string_view(reinterpret_cast<const char*>(buf.data), buf.len);
}

}  // namespace quorent::ffi
