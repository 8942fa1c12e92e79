// Nested byte forms of the values that cross the interface: big-endian
// integers, i32-length-prefixed texts and sequences, tagged optionals, and
// records as their fields in declaration order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorent/encoding.hpp"
#include "quorent/pkce.hpp"
#include "quorent/sovereign.hpp"
#include "quorent/token.hpp"
#include "quorent/usersig.hpp"
#include "quorent_sdk_uniffi.h"

namespace quorent::ffi {

// An argument that failed to convert: code 2 with
// "Failed to convert arg '<arg>':\n<description>".
struct LiftError {
    std::string arg;
    std::string description;
};
// The first conversion failure of a call's arguments, if any.
using LiftFailure = std::optional<LiftError>;

// A record's nested form, written into storage that becomes the caller's
// buffer. Storage left behind (when it grows, or is not handed over) is
// wiped before it is freed: records may carry a secret (AppKey).
class Writer {
public:
    // Room for any record of this interface at typical sizes: growing the
    // storage byte by byte costs more than the rest of a short call.
    Writer() : Writer(1024) {}
    // Room for exactly `capacity` bytes (not zero), when the size is known.
    explicit Writer(std::size_t capacity);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void u8(std::uint8_t v) {
        room(1);
        data_[len_++] = v;
    }
    void i32(std::int32_t v);
    void u64(std::uint64_t v);
    void raw(const void* data, std::size_t len);
    void reserve(std::size_t len) { room(len); }
    // The i32 prefix. Longer than 2^31 - 1 is an internal failure: recorded
    // (quorent/fault.hpp), nothing written, false returned.
    bool length(std::size_t len);
    // The bytes as a buffer of the caller's (capacity == length): the
    // storage itself when it is exactly full, else a copy.
    RustBuffer release();
    std::string_view bytes() const noexcept { return {reinterpret_cast<const char*>(data_), len_}; }

private:
    void room(std::size_t n) {
        if (cap_ - len_ < n) grow(n);
    }
    void grow(std::size_t n);
    void drop() noexcept;  // wipes and frees the storage

    std::uint8_t* data_;
    std::size_t len_ = 0;
    std::size_t cap_;
};

// The size of a deed record's nested form.
std::size_t nested_size(const sovereign::DeedRecord& v);

void write(Writer& w, std::uint64_t v);
void write(Writer& w, std::string_view text);
inline void write(Writer& w, const std::string& text) { write(w, std::string_view(text)); }
void write(Writer& w, const std::optional<std::string>& v);
void write(Writer& w, const std::optional<std::uint64_t>& v);
void write(Writer& w, const Bytes& bytes);
void write(Writer& w, const usersig::AppKey& v);
void write(Writer& w, const token::Claims& v);
void write(Writer& w, const pkce::Pkce& v);
void write(Writer& w, const sovereign::DeedRecord& v);

// Reads with a cursor over the unread remainder; every read first checks
// that enough bytes remain. The first failure is kept (error()); every read
// after it yields an empty value and reads nothing.
class Reader {
public:
    explicit Reader(std::string_view bytes) noexcept : rest_(bytes) {}
    std::uint8_t u8();
    std::uint64_t u64();
    std::int32_t i32();
    // A nested String, checked to be UTF-8; text() views the read bytes.
    std::string_view text();
    std::string string();
    std::optional<std::string> optional_string();
    std::optional<std::string_view> optional_text();
    Bytes bytes();
    sovereign::DeedRecord deed();
    // Any byte left over after a whole argument fails the read.
    void finish();
    // The description of the first failure (the argument's name is added by lift_*).
    const std::optional<std::string>& error() const noexcept { return error_; }

private:
    std::string_view take(std::size_t n);
    void fail(std::string description);
    std::string_view rest_;
    std::optional<std::string> error_;
};

// Checks UTF-8; on failure returns the description of the fault.
std::optional<std::string> utf8_fault(std::string_view bytes);
inline bool utf8_valid(std::string_view bytes) { return !utf8_fault(bytes).has_value(); }

// Argument lifting: each returns the value, or sets `failure` (naming the
// argument) and returns an empty one. Once `failure` is set, each returns an
// empty value at once: the first failure of a call is the one reported.
bool lift_bool(std::int8_t v, const char* arg, LiftFailure& failure);
std::optional<std::string> lift_optional_string(std::string_view buf, const char* arg, LiftFailure& failure);
// The same, viewing the text in buf.
std::optional<std::string_view> lift_optional_text(std::string_view buf, const char* arg, LiftFailure& failure);
Bytes lift_bytes(std::string_view buf, const char* arg, LiftFailure& failure);
sovereign::DeedRecord lift_deed(std::string_view buf, const char* arg, LiftFailure& failure);

}  // namespace quorent::ffi
