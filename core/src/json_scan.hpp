// Scanning string content eight bytes at a time, shared by the JSON reader
// and writer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorent::json::scan {

// The first offset from i on (or n) whose byte a JSON string cannot hold as
// it is: a quote, a backslash, a control character, and, when `ascii`, any
// byte from 0x80 on.
[[gnu::always_inline]] inline std::size_t plain_run(const unsigned char* s, std::size_t i, std::size_t n, bool ascii) noexcept {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    auto has_zero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        std::uint64_t bad =
            ((w - kOnes * 0x20) & ~w & kHigh) | has_zero(w ^ (kOnes * '"')) | has_zero(w ^ (kOnes * '\\'));
        if (ascii) bad |= w & kHigh;
        if (bad != 0) {
            // The lowest flagged lane is exact (a borrow only reaches lanes
            // above it): on a little-endian machine it is the first such byte.
            if constexpr (std::endian::native == std::endian::little)
                return i + static_cast<std::size_t>(std::countr_zero(bad) >> 3);
            break;
        }
    }
    for (; i < n; ++i) {
        const unsigned char c = s[i];
        if (c < 0x20 || c == '"' || c == '\\' || (ascii && c >= 0x80)) break;
    }
    return i;
}

}  // namespace quorent::json::scan
