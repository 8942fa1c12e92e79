// Scanning JSON text, shared by the reader and the writer: white space, and
// string content sixteen bytes a step (SSE2) with its scalar reference,
// eight bytes a step, for other machines.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// byte from 0x80 on.
[[gnu::always_inline]] inline std::size_t plain_run(const unsigned char* s, std::size_t i, std::size_t n, bool ascii) noexcept {
#if defined(__SSE2__)
    // Sixteen bytes a step: a signed comparison below 0x20 also flags every
    // byte from 0x80 on, which the unsigned test (min(c, 0x1F) == c) does not.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i below_space = _mm_set1_epi8(0x1F);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i bad = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash));
        bad = _mm_or_si128(bad, ascii ? _mm_cmplt_epi8(v, space) : _mm_cmpeq_epi8(_mm_min_epu8(v, below_space), v));
        if (const int mask = _mm_movemask_epi8(bad); mask != 0)
            return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
#endif
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
