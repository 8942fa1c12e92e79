// The vector kernels of the library, each beside its scalar reference, behind
// one interface: scalar:: holds the portable code every machine can run,
// sse2:: the same functions sixteen bytes a step (x86-64), and native:: names
// the one this build uses. A vector kernel does its whole blocks and hands the
// rest to its scalar reference; for every input both give the same result,
// which tests/core/simd_test.cpp checks on whatever machine runs it.
//
// Every kernel here is variable-time (`_var`): it reads public bytes only.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorent::simd {

namespace detail {

constexpr char kHexDigits[] = "0123456789abcdef";

// The two digits of every byte value.
struct HexPairs {
    char v[256][2];
    constexpr HexPairs() : v{} {
        for (int i = 0; i < 256; ++i) {
            v[i][0] = kHexDigits[i >> 4];
            v[i][1] = kHexDigits[i & 15];
        }
    }
};
inline constexpr HexPairs kHexPairs;

// The value of each byte as a hex digit of either case, -1 for any other.
struct HexValues {
    signed char v[256];
    constexpr HexValues() : v{} {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 10; ++i) v['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) {
            v['a' + i] = static_cast<signed char>(10 + i);
            v['A' + i] = static_cast<signed char>(10 + i);
        }
    }
};
inline constexpr HexValues kHexValues;

}  // namespace detail

namespace scalar {

// Writes the lower-case hex of n bytes at out (room for 2 * n): a table
// indexed by each byte.
inline void hex_encode_var(char* out, const std::uint8_t* in, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) std::memcpy(out + 2 * i, detail::kHexPairs.v[in[i]], 2);
}

// Decodes the 2 * n hex digits (either case) at s into out[0..n); false when
// any of them is not a digit (out is then unspecified). By table.
inline bool hex_decode_var(const unsigned char* s, std::uint8_t* out, std::size_t n) noexcept {
    int bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int hi = detail::kHexValues.v[s[2 * i]];
        const int lo = detail::kHexValues.v[s[2 * i + 1]];
        bad |= hi | lo;
        out[i] = static_cast<std::uint8_t>((hi << 4) | (lo & 15));
    }
    return bad >= 0;
}

// The first offset from i on (or n) of a byte from 0x80 on: 32, then eight
// bytes a step, then byte by byte.
inline std::size_t ascii_run_var(const unsigned char* s, std::size_t i, std::size_t n) noexcept {
    constexpr std::uint64_t high = 0x8080808080808080ull;
    for (; i + 32 <= n; i += 32) {
        std::uint64_t w[4];
        std::memcpy(w, s + i, 32);
        if (((w[0] | w[1] | w[2] | w[3]) & high) != 0) break;
    }
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        if ((w & high) != 0) break;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

// The first offset from i on (or n) whose byte a JSON string cannot hold as
// it is: a quote, a backslash, a control character, and, when `ascii`, any
// byte from 0x80 on. Eight bytes a step, then byte by byte.
[[gnu::always_inline]] inline std::size_t plain_run_var(const unsigned char* s, std::size_t i, std::size_t n,
                                                        bool ascii) noexcept {
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

}  // namespace scalar

#if defined(__SSE2__)
namespace sse2 {

namespace detail {

// The lower-case digits of sixteen nibbles: '0' + n, plus 39 above 9.
inline __m128i hex_digits(__m128i n) noexcept {
    return _mm_add_epi8(_mm_add_epi8(n, _mm_set1_epi8('0')),
                        _mm_and_si128(_mm_cmpgt_epi8(n, _mm_set1_epi8(9)), _mm_set1_epi8(39)));
}

// The values of sixteen hex digits; `ok` keeps all-ones in the lanes that
// hold one.
inline __m128i hex_nibbles(__m128i v, __m128i& ok) noexcept {
    const __m128i d = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
    const __m128i l = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(l, _mm_set1_epi8(5)), l);
    ok = _mm_and_si128(ok, _mm_or_si128(is_digit, is_letter));
    return _mm_or_si128(_mm_and_si128(is_digit, d), _mm_and_si128(is_letter, _mm_add_epi8(l, _mm_set1_epi8(10))));
}

// Sixteen pairs of digit values (high digit first) as sixteen bytes, each in
// the low byte of a 16-bit lane.
inline __m128i hex_pairs(__m128i n) noexcept {
    return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(n, _mm_set1_epi16(0x00FF)), 4), _mm_srli_epi16(n, 8));
}

}  // namespace detail

// scalar::hex_encode_var, sixteen bytes a step: the high and low digits of
// each byte are computed apart and interleaved.
inline void hex_encode_var(char* out, const std::uint8_t* in, std::size_t n) noexcept {
    const __m128i low4 = _mm_set1_epi8(0x0F);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i hi = detail::hex_digits(_mm_and_si128(_mm_srli_epi16(b, 4), low4));
        const __m128i lo = detail::hex_digits(_mm_and_si128(b, low4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(hi, lo));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), _mm_unpackhi_epi8(hi, lo));
    }
    scalar::hex_encode_var(out + 2 * i, in + i, n - i);
}

// scalar::hex_decode_var, thirty-two digits into sixteen bytes a step.
inline bool hex_decode_var(const unsigned char* s, std::uint8_t* out, std::size_t n) noexcept {
    __m128i ok = _mm_set1_epi8(-1);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i a = detail::hex_nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i)), ok);
        const __m128i b = detail::hex_nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i + 16)), ok);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(detail::hex_pairs(a), detail::hex_pairs(b)));
    }
    if (_mm_movemask_epi8(ok) != 0xFFFF) return false;
    return scalar::hex_decode_var(s + 2 * i, out + i, n - i);
}

// scalar::ascii_run_var, sixty-four bytes a step.
inline std::size_t ascii_run_var(const unsigned char* s, std::size_t i, std::size_t n) noexcept {
    for (; i + 64 <= n; i += 64) {
        const auto* p = reinterpret_cast<const __m128i*>(s + i);
        const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                                         _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
        if (_mm_movemask_epi8(any) != 0) break;
    }
    return scalar::ascii_run_var(s, i, n);
}

// scalar::plain_run_var, sixteen bytes a step: a signed comparison below 0x20
// also flags every byte from 0x80 on, which the unsigned test
// (min(c, 0x1F) == c) does not.
[[gnu::always_inline]] inline std::size_t plain_run_var(const unsigned char* s, std::size_t i, std::size_t n,
                                                        bool ascii) noexcept {
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
    return scalar::plain_run_var(s, i, n, ascii);
}

}  // namespace sse2
namespace native = sse2;
#else
namespace native = scalar;
#endif

}  // namespace quorent::simd
