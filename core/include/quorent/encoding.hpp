// The text encodings the library writes itself, in one include: hex,
// UTF-8 checks, base64url, and decimal numbers; with the byte holders they
// work on.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/base64url.hpp"
#include "quorent/bytes.hpp"
#include "quorent/hex.hpp"
#include "quorent/utf8.hpp"

namespace quorent {

// Decimal digits of an unsigned 64-bit value held on the stack, no sign or
// leading zeros, for texts assembled without allocating.
struct DecimalDigits {
    char buf[20];
    std::size_t len;
    explicit DecimalDigits(std::uint64_t value) noexcept
        : len(static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf)) {}
    std::string_view view() const noexcept { return {buf, len}; }
};

// The same digits as a string.
inline std::string decimal(std::uint64_t value) { return std::string(DecimalDigits(value).view()); }

}  // namespace quorent
