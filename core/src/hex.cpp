#include "quorent/hex.hpp"

#include "ct.hpp"
#include "simd.hpp"
#include "unicode.hpp"

#include <bit>
#include <charconv>
#include <cstring>

namespace quorent {

namespace {

// ---- constant-time pieces ----------------------------------------------------
// Secret keys, seeds and signatures are hex-encoded and hex-decoded here:
// these compute on every byte with arithmetic alone, no branch and no table
// indexed by a byte, and reveal only their one-bit verdict.

// The value of a hex digit of either case, and all ones in *bad when c is not one.
constexpr unsigned hex_value_ct(unsigned char c, unsigned& bad) noexcept {
    const int digit = static_cast<int>(c) - '0';
    const int letter = (static_cast<int>(c) | 0x20) - 'a';
    const unsigned is_digit = ct::in_range(digit, 10);
    const unsigned is_letter = ct::in_range(letter, 6);
    bad |= ~(is_digit | is_letter);
    return (static_cast<unsigned>(digit) & is_digit) | (static_cast<unsigned>(letter + 10) & is_letter);
}

// The lower-case hex digit of a nibble: '0' + n, plus 39 to reach 'a' above 9.
constexpr char hex_digit_ct(unsigned n) noexcept {
    return static_cast<char>('0' + n + (static_cast<unsigned>((9 - static_cast<int>(n)) >> 8) & 39u));
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

}  // namespace

// ---- constant-time -------------------------------------------------------------

std::string hex_encode(const std::uint8_t* data, std::size_t len) {
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
        bad = ct::nonzero(static_cast<unsigned>((bad8 | (bad8 >> 32)) >> 7) & 0x01010101u);
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
    while (hex_digit_value_var(s[at]) >= 0) ++at;
    message = "Invalid character " + quoted_char(s[at]) + " at position " + std::to_string(at);
    return false;
}

Result<Bytes> hex_decode(std::string_view text, ErrorKind kind) {
    Bytes out;
    std::string message;
    if (!hex_decode(text, out, message)) return CoreError{kind, std::move(message)};
    return out;
}

std::string_view strip_0x_prefixes(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    unsigned run = ~0u;
    std::size_t prefixes = 0;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        run &= ct::in_range(s[i] - '0', 1) & ct::in_range(s[i + 1] - 'x', 1);
        prefixes += run & 1u;
    }
    // Revealed: how many prefixes there are, which digits never look like.
    text.remove_prefix(2 * ct::reveal(prefixes));
    return text;
}

// ---- variable-time -------------------------------------------------------------

void hex_encode_into_var(char* out, const void* data, std::size_t len) noexcept {
    simd::native::hex_encode_var(out, static_cast<const std::uint8_t*>(data), len);
}

void append_hex_var(std::string& out, const void* data, std::size_t len) {
    const std::size_t at = out.size();
    out.resize(at + len * 2);
    hex_encode_into_var(out.data() + at, data, len);
}

std::string hex_encode_var(const std::uint8_t* data, std::size_t len) {
    std::string out;
    append_hex_var(out, data, len);
    return out;
}

int hex_digit_value_var(unsigned char c) noexcept { return simd::detail::kHexValues.v[c]; }

bool hex_decode_var(std::string_view text, std::uint8_t* out, std::size_t len) noexcept {
    if (text.size() != 2 * len) return false;
    return simd::native::hex_decode_var(reinterpret_cast<const unsigned char*>(text.data()), out, len);
}

std::string_view strip_0x_prefixes_var(std::string_view text) noexcept {
    while (text.size() >= 2 && text[0] == '0' && text[1] == 'x') text.remove_prefix(2);
    return text;
}

}  // namespace quorent
