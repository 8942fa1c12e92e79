// Shared by the fuzz targets that call the exported functions: argument
// buffers made with the library's allocator, and results read and freed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "quorent_host.hpp"

namespace fuzz {

inline RustBuffer arg(std::string_view s) {
    RustCallStatus st = quorent_host::fresh_status();
    return quorent_host::to_buffer(s, st);
}

inline std::string take(RustBuffer b) {
    std::int8_t code = 0;
    std::string out = quorent_host::take(b, &code);
    FUZZ_CHECK(code == 0, "free");
    return out;
}

}  // namespace fuzz
