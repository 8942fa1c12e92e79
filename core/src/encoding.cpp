#include "quorent/encoding.hpp"

#include "ct.hpp"
#include "unicode.hpp"

#include <bit>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorent {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The two digits of every byte value (public bytes; secrets are encoded by
// arithmetic, see hex_encode_secret).
struct HexPairs {
    char v[256][2];
    constexpr HexPairs() : v{} {
        for (int i = 0; i < 256; ++i) {
            v[i][0] = kHexDigits[i >> 4];
            v[i][1] = kHexDigits[i & 15];
        }
    }
};
constexpr HexPairs kHexPairs;

// Value of each byte as a hex digit, -1 for a byte that is not one (the URL
// parser's digits; secrets are decoded by arithmetic, see hex_decode).
struct HexTable {
    signed char v[256];
    constexpr HexTable() : v{} {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 10; ++i) v['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) {
            v['a' + i] = static_cast<signed char>(10 + i);
            v['A' + i] = static_cast<signed char>(10 + i);
        }
    }
};
constexpr HexTable kHex;

// ---- constant-time pieces ----------------------------------------------------
// Secret keys, seeds and signatures are hex-encoded, hex-decoded and checked
// as UTF-8 here: these compute on every byte with arithmetic alone, no branch
// and no table indexed by a byte, and reveal only their one-bit verdict.
// Masks are all ones (true) or zero (false); >> of a negative int is arithmetic.

// All ones when 0 <= x < limit (x in -256 .. 511, limit in 1 .. 256).
constexpr unsigned in_range(int x, int limit) noexcept {
    return static_cast<unsigned>(((x - limit) & ~x) >> 16);
}

// The value of a hex digit of either case, and all ones in *bad when c is not one.
constexpr unsigned hex_value_ct(unsigned char c, unsigned& bad) noexcept {
    const int digit = static_cast<int>(c) - '0';
    const int letter = (static_cast<int>(c) | 0x20) - 'a';
    const unsigned is_digit = in_range(digit, 10);
    const unsigned is_letter = in_range(letter, 6);
    bad |= ~(is_digit | is_letter);
    return (static_cast<unsigned>(digit) & is_digit) | (static_cast<unsigned>(letter + 10) & is_letter);
}

// All ones when x != 0 (x below 2^31).
constexpr unsigned nonzero(unsigned x) noexcept { return 0u - ((0u - x) >> 31); }

// The lower-case hex digit of a nibble: '0' + n, plus 39 to reach 'a' above 9.
constexpr char hex_digit_ct(unsigned n) noexcept {
    return static_cast<char>('0' + n + (static_cast<unsigned>((9 - static_cast<int>(n)) >> 8) & 39u));
}

// The offending byte, read as the character of the same code point, quoted
// and escaped the way a character literal is shown: '\n', '\'', '\u{1}'.
std::string quoted_char(unsigned char c) {
    std::string out = "'";
    switch (c) {
        case '\0': out += "\\0"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\'': out += "\\'"; break;
        case '\\': out += "\\\\"; break;
        default:
            // Control characters, the no-break space and the soft hyphen are
            // not printable and are shown by their code point.
            if (c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD) {
                char buf[8] = {'\\', 'u', '{'};
                char* end = std::to_chars(buf + 3, buf + sizeof buf - 1, static_cast<unsigned>(c), 16).ptr;
                *end++ = '}';
                out.append(buf, end);
            } else {
                unicode::append_utf8(out, c);
            }
    }
    out += "'";
    return out;
}

constexpr char kB64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

struct B64Table {
    signed char v[256];
    constexpr B64Table() : v{} {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kB64Alphabet[i])] = static_cast<signed char>(i);
    }
};
constexpr B64Table kB64;

std::string invalid_symbol(std::size_t offset, unsigned char b) {
    return "Invalid symbol " + std::to_string(b) + ", offset " + std::to_string(offset) + ".";
}

// Eight bytes at a time: each 64-bit word holds eight lanes of one byte, and
// no lane's arithmetic carries into the next (little-endian lanes: the first
// byte in memory is the lowest lane).
constexpr std::uint64_t kLanes01 = 0x0101010101010101ull;
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The eight digits of four bytes.
std::uint64_t hex_digits_of4(std::uint32_t w) noexcept {
    std::uint64_t x = w;  // b0 b1 b2 b3 spread to lanes 0, 2, 4, 6
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
    x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
    const std::uint64_t n = ((x >> 4) & 0x000F000F000F000Full) | ((x & 0x000F000F000F000Full) << 8);
    const std::uint64_t above9 = ((n + kLanes01 * 6) >> 4) & kLanes01;
    return n + kLanes01 * '0' + above9 * 39;
}

// The four bytes of eight hex digits; *bad gets lane bits set for any lane
// that is not a digit.
std::uint32_t hex_value_of8(std::uint64_t c, std::uint64_t& bad) noexcept {
    constexpr std::uint64_t high = kLanes01 * 0x80;
    // With bit 7 clear in every lane (checked), (c | 0x80) - k and
    // (k | 0x80) - c stay within their lane and keep bit 7 set exactly when
    // c >= k, respectively c <= k.
    auto at_least = [&](std::uint64_t v, unsigned k) { return ((v | high) - kLanes01 * k) & high; };
    auto at_most = [&](std::uint64_t v, unsigned k) { return ((kLanes01 * k | high) - v) & high; };
    const std::uint64_t ascii = c & ~high;
    const std::uint64_t folded = ascii | (kLanes01 * 0x20);
    const std::uint64_t digit = at_least(ascii, '0') & at_most(ascii, '9');
    const std::uint64_t letter = at_least(folded, 'a') & at_most(folded, 'f');
    bad |= (c & high) | (~(digit | letter) & high);
    const std::uint64_t v = (c & (kLanes01 * 0x0F)) + (letter >> 7) * 9;
    std::uint64_t x = ((v & 0x00FF00FF00FF00FFull) << 4) | ((v >> 8) & 0x00FF00FF00FF00FFull);
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
    x = (x | (x >> 16)) & 0xFFFFFFFFull;
    return static_cast<std::uint32_t>(x);
}

}  // namespace

void append_hex(std::string& out, const void* data, std::size_t len) {
    const std::size_t at = out.size();
    out.resize(at + len * 2);
    hex_encode_into(out.data() + at, data, len);
}

void hex_encode_into(char* p, const void* data, std::size_t len) noexcept {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step: each nibble becomes '0' + n, plus 39 above 9
    // ('a' - '0' - 10), and the high and low digits are interleaved.
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i gap = _mm_set1_epi8(39);
    auto digits = [&](__m128i n) { return _mm_add_epi8(_mm_add_epi8(n, zero), _mm_and_si128(_mm_cmpgt_epi8(n, nine), gap)); };
    for (; i + 16 <= len; i += 16, p += 32) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i hi = digits(_mm_and_si128(_mm_srli_epi16(b, 4), low4));
        const __m128i lo = digits(_mm_and_si128(b, low4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi8(hi, lo));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi8(hi, lo));
    }
#endif
    for (; i < len; ++i, p += 2) std::memcpy(p, kHexPairs.v[bytes[i]], 2);
}

std::string hex_encode(const std::uint8_t* data, std::size_t len) {
    std::string out;
    append_hex(out, data, len);
    return out;
}

std::string hex_encode_secret(const std::uint8_t* data, std::size_t len) {
    std::string out(len * 2, '\0');
    char* p = out.data();
    std::size_t i = 0;
    if constexpr (kLittleEndian) {
        for (; i + 4 <= len; i += 4) {
            std::uint32_t w;
            std::memcpy(&w, data + i, 4);
            const std::uint64_t digits = hex_digits_of4(w);
            std::memcpy(p + 2 * i, &digits, 8);
        }
    }
    for (; i < len; ++i) {
        p[2 * i] = hex_digit_ct(data[i] >> 4);
        p[2 * i + 1] = hex_digit_ct(data[i] & 15u);
    }
    return out;
}

int hex_digit_value(unsigned char c) noexcept { return kHex.v[c]; }

bool hex_decode(std::string_view text, Bytes& out, std::string& message) {
    if (text.size() % 2 != 0) {
        message = "Odd number of digits";
        return false;
    }
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    out.resize(text.size() / 2);
    unsigned bad = 0;
    std::size_t i = 0;
    if constexpr (kLittleEndian) {
        std::uint64_t bad8 = 0;
        for (; 2 * i + 8 <= text.size(); i += 4) {
            std::uint64_t c;
            std::memcpy(&c, s + 2 * i, 8);
            const std::uint32_t w = hex_value_of8(c, bad8);
            std::memcpy(out.data() + i, &w, 4);
        }
        bad = static_cast<unsigned>(nonzero(static_cast<unsigned>((bad8 | (bad8 >> 32)) >> 7) & 0x01010101u));
    }
    for (; i < out.size(); ++i) {
        const unsigned hi = hex_value_ct(s[2 * i], bad);
        const unsigned lo = hex_value_ct(s[2 * i + 1], bad);
        out[i] = static_cast<std::uint8_t>((hi << 4) | lo);
    }
    // The one bit revealed: whether every byte was a digit.
    if (ct::reveal((bad & 1u) == 0)) return true;
    // Not hex, so not a secret: the first offending character is named.
    ct::reveal(text.data(), text.size());
    std::size_t at = 0;
    while (hex_digit_value(s[at]) >= 0) ++at;
    message = "Invalid character " + quoted_char(s[at]) + " at position " + std::to_string(at);
    return false;
}

#if defined(__SSE2__)
namespace {

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

}  // namespace
#endif

bool hex_decode_public(std::string_view text, std::uint8_t* out, std::size_t len) noexcept {
    if (text.size() != 2 * len) return false;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    int bad = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Thirty-two digits into sixteen bytes a step.
    __m128i ok = _mm_set1_epi8(-1);
    for (; i + 16 <= len; i += 16) {
        const __m128i a = hex_nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i)), ok);
        const __m128i b = hex_nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i + 16)), ok);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(hex_pairs(a), hex_pairs(b)));
    }
    if (_mm_movemask_epi8(ok) != 0xFFFF) return false;
#endif
    for (; i < len; ++i) {
        const int hi = kHex.v[s[2 * i]];
        const int lo = kHex.v[s[2 * i + 1]];
        bad |= hi | lo;
        out[i] = static_cast<std::uint8_t>((hi << 4) | (lo & 15));
    }
    return bad >= 0;
}

Result<Bytes> hex_decode(std::string_view text, ErrorKind kind) {
    Bytes out;
    std::string message;
    if (!hex_decode(text, out, message)) return CoreError{kind, std::move(message)};
    return out;
}

std::string_view strip_0x_prefixes(std::string_view text) noexcept {
    while (text.size() >= 2 && text[0] == '0' && text[1] == 'x') text.remove_prefix(2);
    return text;
}

std::string_view strip_secret_0x_prefixes(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    unsigned run = ~0u;
    std::size_t prefixes = 0;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        run &= in_range(s[i] - '0', 1) & in_range(s[i + 1] - 'x', 1);
        prefixes += run & 1u;
    }
    // Revealed: how many prefixes there are, which digits never look like.
    text.remove_prefix(2 * ct::reveal(prefixes));
    return text;
}

std::optional<Utf8Fault> first_utf8_fault(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto is_cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    std::size_t i = 0;
    while (i < n) {
        // Runs of ASCII are skipped 64 (with SSE2), 32, then eight bytes at
        // a time.
#if defined(__SSE2__)
        while (i + 64 <= n) {
            const auto* p = reinterpret_cast<const __m128i*>(s + i);
            const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                                             _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
            if (_mm_movemask_epi8(any) != 0) break;
            i += 64;
        }
#endif
        while (i + 32 <= n) {
            std::uint64_t w[4];
            std::memcpy(w, s + i, 32);
            if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ull) != 0) break;
            i += 32;
        }
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ull) != 0) break;
            i += 8;
        }
        if (i == n) break;
        const unsigned char b0 = s[i];
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        // The sequence's length from its first byte; the second byte's range
        // excludes overlong forms, surrogates and values above U+10FFFF.
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

bool is_utf8_secret(std::string_view text) noexcept {
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
    // one (narrower after E0, ED, F0, F4, as in first_utf8_fault).
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

std::string base64url_encode(const std::uint8_t* data, std::size_t len) {
    std::string out;
    out.reserve((len * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= len; i += 3) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        out += kB64Alphabet[(n >> 18) & 63];
        out += kB64Alphabet[(n >> 12) & 63];
        out += kB64Alphabet[(n >> 6) & 63];
        out += kB64Alphabet[n & 63];
    }
    if (len - i == 1) {
        const std::uint32_t n = std::uint32_t{data[i]} << 16;
        out += kB64Alphabet[(n >> 18) & 63];
        out += kB64Alphabet[(n >> 12) & 63];
    } else if (len - i == 2) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8);
        out += kB64Alphabet[(n >> 18) & 63];
        out += kB64Alphabet[(n >> 12) & 63];
        out += kB64Alphabet[(n >> 6) & 63];
    }
    return out;
}

bool base64url_decode(std::string_view in, Bytes& out, std::string& message) {
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    const std::size_t rem = n % 4;
    // A lone trailing symbol that is not even in the alphabet is reported as
    // that symbol rather than as a length fault.
    if (rem == 1 && s[n - 1] != '=' && kB64.v[s[n - 1]] < 0) {
        message = invalid_symbol(n - 1, s[n - 1]);
        return false;
    }
    // Every complete quad but the last is decoded here; the final group
    // (complete or not) may carry padding and is handled below.
    std::size_t body = n - rem;
    if (rem == 0 && body >= 4) body -= 4;
    out.clear();
    out.reserve(n / 4 * 3 + 3);
    for (std::size_t i = 0; i < body; i += 4) {
        std::uint32_t acc = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const int v = kB64.v[s[i + j]];
            if (v < 0) {
                message = invalid_symbol(i + j, s[i + j]);
                return false;
            }
            acc = (acc << 6) | static_cast<std::uint32_t>(v);
        }
        out.push_back(static_cast<std::uint8_t>(acc >> 16));
        out.push_back(static_cast<std::uint8_t>(acc >> 8));
        out.push_back(static_cast<std::uint8_t>(acc));
    }
    std::size_t morsels = 0, padding = 0, first_pad = 0;
    unsigned char last_symbol = 0;
    std::uint8_t m[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; body + k < n; ++k) {
        const unsigned char b = s[body + k];
        if (b == '=') {
            if (k < 2) {
                message = invalid_symbol(body + k, b);
                return false;
            }
            if (padding == 0) first_pad = k;
            ++padding;
            continue;
        }
        if (padding > 0) {
            message = invalid_symbol(body + first_pad, '=');
            return false;
        }
        last_symbol = b;
        const int v = kB64.v[b];
        if (v < 0) {
            message = invalid_symbol(body + k, b);
            return false;
        }
        m[morsels++] = static_cast<std::uint8_t>(v);
    }
    if (n != 0 && morsels < 2) {
        message = "Invalid input length: " + std::to_string(body + morsels);
        return false;
    }
    if (padding > 0) {
        message = "Invalid padding";
        return false;
    }
    if (morsels == 0) return true;
    const std::size_t extra = morsels * 6 / 8;
    const std::uint32_t num = (std::uint32_t{m[0]} << 26) | (std::uint32_t{m[1]} << 20) | (std::uint32_t{m[2]} << 14) |
                              (std::uint32_t{m[3]} << 8);
    const std::uint32_t mask = ~0u >> (extra * 8);
    if ((num & mask) != 0) {
        message = "Invalid last symbol " + std::to_string(last_symbol) + ", offset " +
                  std::to_string(body + morsels - 1) + ".";
        return false;
    }
    for (std::size_t k = 0; k < extra; ++k) out.push_back(static_cast<std::uint8_t>(num >> (24 - 8 * k)));
    return true;
}

std::string decimal(std::uint64_t value) { return std::string(DecimalDigits(value).view()); }

}  // namespace quorent
