// Shared by the fuzz targets that call the exported functions: argument
// buffers made with the library's allocator, and results read and freed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "quorent_sdk_uniffi.h"

namespace fuzz {

inline RustBuffer arg(std::string_view s) {
    RustCallStatus st{0, {0, 0, nullptr}};
    return ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
        ForeignBytes{static_cast<std::int32_t>(s.size()), reinterpret_cast<const std::uint8_t*>(s.data())}, &st);
}

inline std::string take(RustBuffer b) {
    std::string out = b.data ? std::string(reinterpret_cast<char*>(b.data), b.len) : std::string();
    RustCallStatus st{0, {0, 0, nullptr}};
    ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
    FUZZ_CHECK(st.code == 0, "free");
    return out;
}

}  // namespace fuzz
