// Hex and base64url (RFC 4648 section 5), the two text encodings the library
// writes itself, with the exact decoder messages callers see.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorent/error.hpp"
#include "quorent/secure_wipe.hpp"

namespace quorent {

using Bytes = std::vector<std::uint8_t>;

// Lower-case hex, two digits per byte, no prefix (of public bytes: a table
// is indexed by each byte).
std::string hex_encode(const std::uint8_t* data, std::size_t len);
inline std::string hex_encode(const Bytes& bytes) { return hex_encode(bytes.data(), bytes.size()); }

// The same for secret bytes: computed without a branch or a table lookup on them.
std::string hex_encode_secret(const std::uint8_t* data, std::size_t len);

// Appends the lower-case hex of len bytes to out.
void append_hex(std::string& out, const void* data, std::size_t len);
// Writes the lower-case hex of len bytes at out, which has room for 2 * len.
void hex_encode_into(char* out, const void* data, std::size_t len) noexcept;

// The value of one hex digit of either case, or -1 for any other byte.
int hex_digit_value(unsigned char c) noexcept;

// Decodes hex digits of either case into out. The digits are read without a
// branch or a table lookup on them (secrets are decoded here); only whether
// all of them are digits is revealed, and the offending one is looked for
// after that. On failure returns false and
// sets message to "Odd number of digits" or
// "Invalid character 'c' at position i" (i a zero-based byte index; the
// character is shown between single quotes with control characters escaped).
bool hex_decode(std::string_view text, Bytes& out, std::string& message);

// hex_decode reporting its failure as a CoreError of the given kind.
Result<Bytes> hex_decode(std::string_view text, ErrorKind kind);

// Decodes exactly 2 * len hex digits of either case of a public value into
// out[0..len), by table; false (out then undefined) for any other text, which
// hex_decode then describes.
bool hex_decode_public(std::string_view text, std::uint8_t* out, std::size_t len) noexcept;

// Removes every leading "0x" (lower-case x only), repeatedly.
std::string_view strip_0x_prefixes(std::string_view text) noexcept;
// The same for a text that may hold a secret: every byte pair is read, with
// no branch on it; only the number of prefixes is revealed.
std::string_view strip_secret_0x_prefixes(std::string_view text) noexcept;

// Where a text stops being UTF-8: the length of its valid prefix, and the
// length of the ill-formed sequence found there (1 to 3 bytes), or 0 when
// the text ends inside a sequence that could still be completed.
struct Utf8Fault {
    std::size_t valid_up_to;
    std::size_t error_len;
};

// The first fault of a text as UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF), or none when the whole text is well-formed.
std::optional<Utf8Fault> first_utf8_fault(std::string_view text) noexcept;
inline bool is_utf8(std::string_view text) noexcept { return !first_utf8_fault(text).has_value(); }

// The same verdict as is_utf8 for a text that may hold a secret (a hex
// secret: valid ones are ASCII): every byte is read, with no branch or table
// lookup on it; only whether the text is ASCII and the verdict are revealed.
bool is_utf8_secret(std::string_view text) noexcept;

// Unpadded base64url.
std::string base64url_encode(const std::uint8_t* data, std::size_t len);
inline std::string base64url_encode(const Bytes& b) { return base64url_encode(b.data(), b.size()); }

// Strict unpadded base64url decoding. On failure returns false and sets
// message to one of "Invalid symbol B, offset O.", "Invalid input length: L",
// "Invalid last symbol B, offset O." or "Invalid padding".
bool base64url_decode(std::string_view text, Bytes& out, std::string& message);

// Decimal text of an unsigned 64-bit value, no sign or leading zeros.
std::string decimal(std::uint64_t value);

// The same digits held on the stack, for texts assembled without allocating.
struct DecimalDigits {
    char buf[20];
    std::size_t len;
    explicit DecimalDigits(std::uint64_t value) noexcept
        : len(static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf)) {}
    std::string_view view() const noexcept { return {buf, len}; }
};

// Bytes that hold a secret; wiped on destruction.
class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(Bytes bytes) : bytes_(std::move(bytes)) {}
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes() { wipe(); }
    Bytes& get() noexcept { return bytes_; }
    const Bytes& get() const noexcept { return bytes_; }
    void wipe() noexcept { secure_wipe(bytes_.data(), bytes_.capacity()); }

private:
    Bytes bytes_;
};

// N secret bytes in place; wiped on destruction and when moved from.
template <std::size_t N>
class SecretArray {
public:
    SecretArray() = default;
    explicit SecretArray(const std::array<std::uint8_t, N>& bytes) noexcept : bytes_(bytes) {}
    SecretArray(SecretArray&& other) noexcept : bytes_(other.bytes_) { other.wipe(); }
    SecretArray& operator=(SecretArray&& other) noexcept {
        if (this != &other) {
            bytes_ = other.bytes_;
            other.wipe();
        }
        return *this;
    }
    SecretArray(const SecretArray&) = delete;
    SecretArray& operator=(const SecretArray&) = delete;
    ~SecretArray() { wipe(); }

    std::array<std::uint8_t, N>& bytes() noexcept { return bytes_; }
    const std::array<std::uint8_t, N>& bytes() const noexcept { return bytes_; }

private:
    void wipe() noexcept { secure_wipe(bytes_.data(), bytes_.size()); }
    std::array<std::uint8_t, N> bytes_{};
};

}  // namespace quorent
