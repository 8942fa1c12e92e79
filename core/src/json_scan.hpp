// Scanning string content eight bytes at a time, shared by the JSON reader
// and writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorent::json::scan {

// The first offset from i on (or n) whose byte a JSON string cannot hold as
// it is: a quote, a backslash, a control character, and, when `ascii`, any
// byte from 0x80 on.
inline std::size_t plain_run(const unsigned char* s, std::size_t i, std::size_t n, bool ascii) noexcept {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    auto has_zero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        std::uint64_t bad =
            ((w - kOnes * 0x20) & ~w & kHigh) | has_zero(w ^ (kOnes * '"')) | has_zero(w ^ (kOnes * '\\'));
        if (ascii) bad |= w & kHigh;
        if (bad != 0) break;
    }
    for (; i < n; ++i) {
        const unsigned char c = s[i];
        if (c < 0x20 || c == '"' || c == '\\' || (ascii && c >= 0x80)) break;
    }
    return i;
}

}  // namespace quorent::json::scan
