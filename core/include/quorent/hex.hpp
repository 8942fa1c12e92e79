// Lower-case hex without a prefix, and hex of either case read back, with
// the exact decoder messages callers see.
//
// The unmarked functions are constant-time: they compute on every byte with
// arithmetic alone, no branch and no table indexed by a byte, and reveal only
// what their comments say. Those ending in _var are faster and variable-time:
// a secret must never reach them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/bytes.hpp"
#include "quorent/error.hpp"

namespace quorent {

// ---- constant-time -------------------------------------------------------------

// Two lower-case digits per byte.
std::string hex_encode(const std::uint8_t* data, std::size_t len);

// Decodes hex digits of either case into out. Only whether all of them are
// digits is revealed; the offending one is looked for after that. On failure
// returns false and sets message to "Odd number of digits" or
// "Invalid character 'c' at position i" (i a zero-based byte index; the
// character is shown between single quotes with control characters escaped).
bool hex_decode(std::string_view text, Bytes& out, std::string& message);

// hex_decode reporting its failure as a CoreError of the given kind.
Result<Bytes> hex_decode(std::string_view text, ErrorKind kind);

// Removes every leading "0x" (lower-case x only), repeatedly. Every byte pair
// is read; only the number of prefixes is revealed.
std::string_view strip_0x_prefixes(std::string_view text) noexcept;

// ---- variable-time: public bytes only ------------------------------------------

// hex_encode by table (and sixteen bytes a step where the machine allows):
// reveals the bytes through the addresses it reads.
std::string hex_encode_var(const std::uint8_t* data, std::size_t len);
inline std::string hex_encode_var(const Bytes& bytes) { return hex_encode_var(bytes.data(), bytes.size()); }

// Appends the hex of len bytes to out, as hex_encode_var (reveals the bytes).
void append_hex_var(std::string& out, const void* data, std::size_t len);
// Writes the hex of len bytes at out, which has room for 2 * len, as
// hex_encode_var (reveals the bytes).
void hex_encode_into_var(char* out, const void* data, std::size_t len) noexcept;

// The value of one hex digit of either case, or -1 for any other byte, by
// table (reveals the byte).
int hex_digit_value_var(unsigned char c) noexcept;

// Decodes exactly 2 * len hex digits of either case into out[0..len), by
// table; false (out then unspecified) for any other text, which hex_decode
// then describes. Reveals the digits.
bool hex_decode_var(std::string_view text, std::uint8_t* out, std::size_t len) noexcept;

// strip_0x_prefixes stopping at the first byte that is not part of a prefix
// (reveals where the prefixes end by when it stops).
std::string_view strip_0x_prefixes_var(std::string_view text) noexcept;

}  // namespace quorent
