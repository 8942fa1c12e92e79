// The host's side of the buffer protocol, shared by the command-line tool,
// the host-level tests, the benchmarks and the fuzz targets. Header-only and
// never compiled into the library: it reaches the library through its
// exported buffer functions alone.
//
//   - argument buffers come from ffi_quorent_sdk_uniffi_rustbuffer_from_bytes;
//   - every received buffer is copied out and released exactly once;
//   - nested forms: big-endian integers, i32 length prefixes, a 0/1 tag byte
//     for optional values;
//   - a code-1 error buffer holds the serialized SdkError (i32 variant, then
//     the message as a nested text); a code-2 one holds raw UTF-8.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "../../core/include/quorent/secure_wipe.hpp"
#include "quorent_sdk_uniffi.h"

namespace quorent_host {

// A buffer that does not hold the form it should, or a buffer function that
// refused its input.
struct BufferError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline RustCallStatus fresh_status() { return RustCallStatus{0, RustBuffer{0, 0, nullptr}}; }

// Overwrites bytes in a way the compiler keeps (for secrets once used): the
// library's own wipe, compiled into the host.
using quorent::secure_wipe;

// ---- buffers -------------------------------------------------------------------------

// Releases a received buffer (and whatever complaint the release itself made).
// Returns the release's status code: 0 unless the library refused the buffer.
inline std::int8_t release(RustBuffer b) {
    RustCallStatus st = fresh_status();
    ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
    if (st.code != 0 && st.error_buf.data != nullptr) {
        RustCallStatus st2 = fresh_status();
        ffi_quorent_sdk_uniffi_rustbuffer_free(st.error_buf, &st2);
    }
    return st.code;
}

// Copies a received buffer out and releases it. *free_code, when given,
// receives the release's status code.
inline std::string take(RustBuffer b, std::int8_t* free_code = nullptr) {
    std::string out;
    if (b.data != nullptr) out.assign(reinterpret_cast<const char*>(b.data), static_cast<std::size_t>(b.len));
    const std::int8_t code = release(b);
    if (free_code != nullptr) *free_code = code;
    return out;
}

// An argument buffer from the library's allocator holding these bytes; on
// failure st says why (and the returned buffer is empty).
inline RustBuffer to_buffer(std::string_view bytes, RustCallStatus& st) {
    st = fresh_status();
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        st.code = 2;
        return RustBuffer{0, 0, nullptr};
    }
    return ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
        ForeignBytes{static_cast<std::int32_t>(bytes.size()), reinterpret_cast<const std::uint8_t*>(bytes.data())},
        &st);
}

// The same, for callers that treat a refusal as a fault of their own.
inline RustBuffer to_buffer(std::string_view bytes) {
    RustCallStatus st = fresh_status();
    RustBuffer b = to_buffer(bytes, st);
    if (st.code != 0) {
        if (st.error_buf.data != nullptr) release(st.error_buf);
        throw BufferError("rustbuffer_from_bytes refused " + std::to_string(bytes.size()) + " bytes");
    }
    return b;
}

// ---- nested forms, written ---------------------------------------------------------

template <class U>
void put_be(std::string& out, U v) {
    for (int shift = static_cast<int>(8 * sizeof(U)) - 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}
inline void put_i32(std::string& out, std::int32_t v) { put_be(out, static_cast<std::uint32_t>(v)); }
inline void put_u64(std::string& out, std::uint64_t v) { put_be(out, v); }
// A text or a byte sequence: i32 length, then the bytes.
inline void put_str(std::string& out, std::string_view s) {
    if (s.size() > static_cast<std::size_t>(INT32_MAX)) throw BufferError("value longer than 2^31 - 1 bytes");
    put_i32(out, static_cast<std::int32_t>(s.size()));
    out.append(s);
}
inline void put_opt_str(std::string& out, const std::optional<std::string>& s) {
    out.push_back(s ? '\1' : '\0');
    if (s) put_str(out, *s);
}

inline std::string be32(std::int32_t v) {
    std::string s;
    put_i32(s, v);
    return s;
}
inline std::string be64(std::uint64_t v) {
    std::string s;
    put_u64(s, v);
    return s;
}
inline std::string nested(std::string_view s) {
    std::string out;
    put_str(out, s);
    return out;
}
inline std::string opt(const std::optional<std::string>& s) {
    std::string out;
    put_opt_str(out, s);
    return out;
}

// ---- nested forms, read ---------------------------------------------------------------

// Reads nested forms from a received buffer's bytes (which it does not own);
// a short or malformed form is a BufferError.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    std::uint8_t u8() { return static_cast<std::uint8_t>(need(1)[0]); }
    std::int32_t i32() { return static_cast<std::int32_t>(get_be<std::uint32_t>(need(4))); }
    std::uint64_t u64() { return get_be<std::uint64_t>(need(8)); }
    std::string str() {
        const std::int32_t n = i32();
        if (n < 0) throw BufferError("negative length in a buffer");
        return std::string(need(static_cast<std::size_t>(n)));
    }
    std::optional<std::string> opt_str() { return present() ? std::optional<std::string>(str()) : std::nullopt; }
    std::optional<std::uint64_t> opt_u64() { return present() ? std::optional<std::uint64_t>(u64()) : std::nullopt; }
    bool done() const { return pos_ == bytes_.size(); }
    void finish() const {
        if (!done()) throw BufferError("a buffer has bytes left over");
    }

private:
    template <class U>
    static U get_be(std::string_view b) {
        U v = 0;
        for (char c : b) v = static_cast<U>((v << 8) | static_cast<std::uint8_t>(c));
        return v;
    }
    std::string_view need(std::size_t n) {
        if (bytes_.size() - pos_ < n) throw BufferError("a buffer is shorter than its declared form");
        const std::string_view v = bytes_.substr(pos_, n);
        pos_ += n;
        return v;
    }
    bool present() {
        switch (u8()) {
            case 0: return false;
            case 1: return true;
            default: throw BufferError("bad option tag in a buffer");
        }
    }
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// ---- call status ------------------------------------------------------------------------

inline std::string_view variant_name(std::int32_t variant) {
    switch (variant) {
        case 1: return "Sdk";
        case 2: return "InsecureOrigin";
        default: return "unknown";
    }
}

// What the status of one call said. The error buffer has been read and released.
struct Status {
    std::int8_t code = 0;
    std::int32_t variant = 0;  // code 1: 1 = Sdk, 2 = InsecureOrigin
    std::string message;       // code 1 and 2
    bool ok() const { return code == 0; }
};

// The serialized SdkError of a code-1 error buffer: i32 variant, nested message.
inline Status read_sdk_error(std::string_view bytes) {
    Reader r(bytes);
    Status s;
    s.code = 1;
    s.variant = r.i32();
    s.message = r.str();
    r.finish();
    return s;
}

// Reads and releases whatever the status holds after a call; st's error
// buffer is emptied. A malformed SdkError is a BufferError.
inline Status read_status(RustCallStatus& st) {
    Status s;
    s.code = st.code;
    if (st.code == 0) return s;
    const RustBuffer err = st.error_buf;
    st.error_buf = RustBuffer{0, 0, nullptr};
    const std::string payload = take(err);
    if (st.code == 1) return read_sdk_error(payload);
    s.message = payload;
    return s;
}

// ---- hex ------------------------------------------------------------------------------

// Lower-case hex. Each digit is computed ('0' + n, plus 39 above 9) rather
// than looked up, so that no table is indexed by a byte: the tool prints a
// fresh secret key with it.
inline std::string to_hex(std::string_view bytes) {
    auto digit = [](unsigned n) {
        return static_cast<char>('0' + n + (static_cast<unsigned>((9 - static_cast<int>(n)) >> 8) & 39u));
    };
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        out.push_back(digit(b >> 4));
        out.push_back(digit(b & 0xFu));
    }
    return out;
}

}  // namespace quorent_host
