// Scanning JSON text, shared by the reader and the writer: white space, and
// string content by the vector kernel of simd.hpp.
#pragma once

#include <cstddef>
#include <string_view>

#include "simd.hpp"

namespace quorent::json {

inline constexpr bool is_ws(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The first offset from i on that is not JSON white space.
[[gnu::always_inline]] inline std::size_t ws_end(std::string_view text, std::size_t i) noexcept {
    // Every white-space byte is at most a space.
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ' && is_ws(text[i])) ++i;
    return i;
}

}  // namespace quorent::json

namespace quorent::json::scan {

// The first offset from i on (or n) whose byte a JSON string cannot hold as
// it is: a quote, a backslash, a control character, and, when `ascii`, any
// byte from 0x80 on (the kernel of this machine, simd.hpp).
using simd::native::plain_run_var;

}  // namespace quorent::json::scan
