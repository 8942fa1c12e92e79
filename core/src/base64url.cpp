#include "quorent/base64url.hpp"

namespace quorent {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

struct Values {
    signed char v[256];
    constexpr Values() : v{} {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
};
constexpr Values kValues;

// The symbol of a six-bit value without a branch or a table: 'A' + v, moved
// on at each boundary of the alphabet ('a' from 26, '0' from 52, '-' at 62,
// '_' at 63) by a mask that is all ones past it (>> of a negative int is
// arithmetic).
constexpr char symbol_ct(unsigned v) noexcept {
    const int x = static_cast<int>(v);
    int shift = 'A';
    shift += ((25 - x) >> 8) & ('a' - 26 - 'A');
    shift -= ((51 - x) >> 8) & (('a' - 26) - ('0' - 52));
    shift -= ((61 - x) >> 8) & (('0' - 52) - ('-' - 62));
    shift += ((62 - x) >> 8) & (('_' - 63) - ('-' - 62));
    return static_cast<char>(x + shift);
}

// The length of the unpadded text of len bytes.
constexpr std::size_t encoded_length(std::size_t len) noexcept {
    return len / 3 * 4 + (len % 3 == 0 ? 0 : len % 3 + 1);
}

// Both encoders: every complete group of three bytes, then one or two left.
template <char (*Symbol)(unsigned)>
std::string encode(const std::uint8_t* data, std::size_t len) {
    std::string out(encoded_length(len), '\0');
    char* p = out.data();
    std::size_t i = 0;
    for (; i + 3 <= len; i += 3, p += 4) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        p[0] = Symbol((n >> 18) & 63);
        p[1] = Symbol((n >> 12) & 63);
        p[2] = Symbol((n >> 6) & 63);
        p[3] = Symbol(n & 63);
    }
    if (len - i == 1) {
        const std::uint32_t n = std::uint32_t{data[i]} << 16;
        p[0] = Symbol((n >> 18) & 63);
        p[1] = Symbol((n >> 12) & 63);
    } else if (len - i == 2) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8);
        p[0] = Symbol((n >> 18) & 63);
        p[1] = Symbol((n >> 12) & 63);
        p[2] = Symbol((n >> 6) & 63);
    }
    return out;
}

char symbol_by_table(unsigned v) { return kAlphabet[v]; }
char symbol_by_arithmetic(unsigned v) { return symbol_ct(v); }

std::string invalid_symbol(std::size_t offset, unsigned char b) {
    return "Invalid symbol " + std::to_string(b) + ", offset " + std::to_string(offset) + ".";
}

}  // namespace

std::string base64url_encode(const std::uint8_t* data, std::size_t len) {
    return encode<symbol_by_arithmetic>(data, len);
}

std::string base64url_encode_var(const std::uint8_t* data, std::size_t len) {
    return encode<symbol_by_table>(data, len);
}

bool base64url_decode_var(std::string_view in, Bytes& out, std::string& message) {
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    const std::size_t rem = n % 4;
    // A lone trailing symbol that is not even in the alphabet is reported as
    // that symbol rather than as a length fault.
    if (rem == 1 && s[n - 1] != '=' && kValues.v[s[n - 1]] < 0) {
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
            const int v = kValues.v[s[i + j]];
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
        const int v = kValues.v[b];
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
    // The bits of the last symbol that no byte takes must be zero: a text
    // has one encoding only, so no two texts decode to the same bytes.
    const std::uint32_t mask = ~0u >> (extra * 8);
    if ((num & mask) != 0) {
        message = "Invalid last symbol " + std::to_string(last_symbol) + ", offset " +
                  std::to_string(body + morsels - 1) + ".";
        return false;
    }
    for (std::size_t k = 0; k < extra; ++k) out.push_back(static_cast<std::uint8_t>(num >> (24 - 8 * k)));
    return true;
}

}  // namespace quorent
