#include "quorent/utf8.hpp"

#include "ct.hpp"
#include "simd.hpp"

#include <cstdint>
#include <cstring>

namespace quorent {

bool is_utf8(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    // Every secret the library takes is hex, so a valid one is all ASCII:
    // whether the text is ASCII is revealed (it says nothing about a valid
    // secret), and ASCII is valid UTF-8. Only other texts take the walk.
    std::uint64_t high = 0;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, s + at, 8);
        high |= word;
    }
    for (; at < text.size(); ++at) high |= s[at];
    if (ct::reveal((high & 0x8080808080808080ull) == 0)) return true;
    // need: continuation bytes still expected; lo, hi: the range of the next
    // one (narrower after E0, ED, F0, F4, as in first_utf8_fault_var).
    using ct::in_range;
    using ct::nonzero;
    unsigned need = 0, lo = 0x80, hi = 0xBF, bad = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int b = s[i];
        const unsigned cont = nonzero(need);
        const unsigned cont_ok = in_range(b - static_cast<int>(lo), static_cast<int>(hi - lo + 1));
        const unsigned two = in_range(b - 0xC2, 0xE0 - 0xC2);
        const unsigned three = in_range(b - 0xE0, 0x10);
        const unsigned four = in_range(b - 0xF0, 5);
        const unsigned lead_ok = in_range(b, 0x80) | two | three | four;
        const unsigned lead_need = (two & 1u) | (three & 2u) | (four & 3u);
        const unsigned lead_lo = 0x80u ^ (in_range(b - 0xE0, 1) & (0x80u ^ 0xA0u)) ^  // E0: A0..BF
                                 (in_range(b - 0xF0, 1) & (0x80u ^ 0x90u));           // F0: 90..BF
        const unsigned lead_hi = 0xBFu ^ (in_range(b - 0xED, 1) & (0xBFu ^ 0x9Fu)) ^  // ED: 80..9F
                                 (in_range(b - 0xF4, 1) & (0xBFu ^ 0x8Fu));           // F4: 80..8F
        bad |= (cont & ~cont_ok) | (~cont & ~lead_ok);
        need = (cont & (need - 1)) | (~cont & lead_need);
        lo = (cont & 0x80u) | (~cont & lead_lo);
        hi = (cont & 0xBFu) | (~cont & lead_hi);
    }
    bad |= nonzero(need);
    return ct::reveal((bad & 1u) == 0);
}

std::optional<Utf8Fault> first_utf8_fault_var(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto is_cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    std::size_t i = 0;
    while ((i = simd::native::ascii_run_var(s, i, n)) < n) {
        // The sequence's length from its first byte; the second byte's range
        // excludes overlong forms, surrogates and values above U+10FFFF.
        const unsigned char b0 = s[i];
        std::size_t width;
        bool second_ok;
        const unsigned char b1 = i + 1 < n ? s[i + 1] : 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            width = 2;
            second_ok = is_cont(b1);
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            width = 3;
            second_ok = b0 == 0xE0 ? (b1 >= 0xA0 && b1 <= 0xBF) : b0 == 0xED ? (b1 >= 0x80 && b1 <= 0x9F) : is_cont(b1);
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            width = 4;
            second_ok = b0 == 0xF0 ? (b1 >= 0x90 && b1 <= 0xBF) : b0 == 0xF4 ? (b1 >= 0x80 && b1 <= 0x8F) : is_cont(b1);
        } else {
            return Utf8Fault{i, 1};
        }
        for (std::size_t k = 1; k < width; ++k) {
            if (i + k >= n) return Utf8Fault{i, 0};
            if (!(k == 1 ? second_ok : is_cont(s[i + k]))) return Utf8Fault{i, k};
        }
        i += width;
    }
    return std::nullopt;
}

}  // namespace quorent
