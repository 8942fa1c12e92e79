#include "values.hpp"

#include <cstring>
#include <limits>

#include "buffer.hpp"
#include "frame.hpp"

namespace quorent::ffi {

namespace {

constexpr std::size_t kMaxLength = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

std::string not_enough(std::size_t remaining, std::size_t needed) {
    return "not enough bytes remaining in buffer (" + std::to_string(remaining) + " < " + std::to_string(needed) + ")";
}

}  // namespace

void Writer::i32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
                               static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
    raw(b, 4);
}

void Writer::u64(std::uint64_t v) {
    std::uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
    raw(b, 8);
}

void Writer::raw(const void* data, std::size_t len) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + len);
}

void Writer::length(std::size_t len) {
    if (len > kMaxLength)
        throw InternalFailure{"called `Result::unwrap()` on an `Err` value: TryFromIntError(())"};
    i32(static_cast<std::int32_t>(len));
}

RustBuffer Writer::release() {
    RustBuffer out = make_buffer(bytes_.data(), bytes_.size());
    // Records may carry a secret (AppKey): the library's copy goes wiped.
    secure_wipe(bytes_.data(), bytes_.size());
    bytes_.clear();
    return out;
}

void write(Writer& w, std::uint64_t v) { w.u64(v); }

void write(Writer& w, std::string_view text) {
    w.length(text.size());
    w.raw(text.data(), text.size());
}

void write(Writer& w, const std::optional<std::string>& v) {
    if (!v) return w.u8(0);
    w.u8(1);
    write(w, std::string_view(*v));
}

void write(Writer& w, const std::optional<std::uint64_t>& v) {
    if (!v) return w.u8(0);
    w.u8(1);
    w.u64(*v);
}

void write(Writer& w, const Bytes& bytes) {
    w.length(bytes.size());
    w.raw(bytes.data(), bytes.size());
}

void write(Writer& w, const usersig::AppKey& v) {
    write(w, v.secret_key_hex);
    write(w, v.pubkey_hex);
}

void write(Writer& w, const token::Claims& v) {
    write(w, v.iss);
    write(w, v.sub);
    write(w, v.aud);
    w.u64(v.exp);
    w.u64(v.iat);
    write(w, v.tid);
    write(w, v.nonce);
}

void write(Writer& w, const pkce::Pkce& v) {
    write(w, v.verifier);
    write(w, v.challenge);
}

void write(Writer& w, const sovereign::DeedRecord& v) {
    w.u8(v.v);
    write(w, v.mode);
    w.u64(v.tenant);
    write(w, v.sub);
    write(w, v.aud);
    write(w, v.challenge);
    w.u64(v.exp);
    write(w, v.root);
    write(w, v.proof);
    write(w, v.pubkey);
    write(w, v.signature);
    write(w, v.credential_pubkey);
    write(w, v.authenticator_data);
    write(w, v.client_data_json);
    write(w, v.assertion_sig);
    write(w, v.signer);
    write(w, v.grants);
    write(w, v.delegations);
}

std::string_view Reader::take(std::size_t n) {
    if (rest_.size() < n) throw ReadError{not_enough(rest_.size(), n)};
    std::string_view out = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return out;
}

std::uint8_t Reader::u8() { return static_cast<std::uint8_t>(take(1)[0]); }

std::int32_t Reader::i32() {
    const std::string_view b = take(4);
    std::uint32_t u = 0;
    for (char c : b) u = (u << 8) | static_cast<std::uint8_t>(c);
    return static_cast<std::int32_t>(u);
}

std::uint64_t Reader::u64() {
    const std::string_view b = take(8);
    std::uint64_t u = 0;
    for (char c : b) u = (u << 8) | static_cast<std::uint8_t>(c);
    return u;
}

std::string Reader::string() {
    const std::int32_t len = i32();
    if (len < 0) throw ReadError{"out of range integral type conversion attempted"};
    const std::string_view bytes = take(static_cast<std::size_t>(len));
    if (auto fault = utf8_fault(bytes)) throw ReadError{std::move(*fault)};
    return std::string(bytes);
}

std::optional<std::string> Reader::optional_string() {
    switch (u8()) {
        case 0: return std::nullopt;
        case 1: return string();
        default: throw ReadError{"unexpected tag byte for Option"};
    }
}

std::optional<std::string_view> Reader::optional_text() {
    switch (u8()) {
        case 0: return std::nullopt;
        case 1: {
            const std::int32_t len = i32();
            if (len < 0) throw ReadError{"out of range integral type conversion attempted"};
            return take(static_cast<std::size_t>(len));
        }
        default: throw ReadError{"unexpected tag byte for Option"};
    }
}

Bytes Reader::bytes() {
    const std::int32_t count = i32();
    if (count < 0) throw ReadError{"out of range integral type conversion attempted"};
    const std::size_t n = static_cast<std::size_t>(count);
    if (rest_.size() < n) {
        // Elements are read one by one: the first missing one is reported.
        throw ReadError{not_enough(0, 1)};
    }
    const std::string_view b = take(n);
    return Bytes(b.begin(), b.end());
}

sovereign::DeedRecord Reader::deed() {
    sovereign::DeedRecord d;
    d.v = u8();
    d.mode = string();
    d.tenant = u64();
    d.sub = string();
    d.aud = string();
    d.challenge = string();
    d.exp = u64();
    d.root = optional_string();
    d.proof = optional_string();
    d.pubkey = optional_string();
    d.signature = optional_string();
    d.credential_pubkey = optional_string();
    d.authenticator_data = optional_string();
    d.client_data_json = optional_string();
    d.assertion_sig = optional_string();
    d.signer = optional_string();
    d.grants = optional_string();
    d.delegations = optional_string();
    return d;
}

void Reader::finish() const {
    if (!rest_.empty())
        throw ReadError{"junk data left in buffer after lifting (count: " + std::to_string(rest_.size()) + ")"};
}

std::optional<std::string> utf8_fault(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto invalid = [](std::size_t len, std::size_t at) {
        return "invalid utf-8 sequence of " + std::to_string(len) + " bytes from index " + std::to_string(at);
    };
    auto incomplete = [](std::size_t at) { return "incomplete utf-8 byte sequence from index " + std::to_string(at); };
    auto is_cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    while (i < n) {
        const unsigned char b0 = s[i];
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::size_t width = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) width = 2;
        else if (b0 >= 0xE0 && b0 <= 0xEF) width = 3;
        else if (b0 >= 0xF0 && b0 <= 0xF4) width = 4;
        else return invalid(1, start);
        if (start + 1 >= n) return incomplete(start);
        const unsigned char b1 = s[start + 1];
        if (width == 2) {
            if (!is_cont(b1)) return invalid(1, start);
        } else if (width == 3) {
            const bool ok = (b0 == 0xE0 && b1 >= 0xA0 && b1 <= 0xBF) || (b0 >= 0xE1 && b0 <= 0xEC && is_cont(b1)) ||
                            (b0 == 0xED && b1 >= 0x80 && b1 <= 0x9F) || (b0 >= 0xEE && is_cont(b1));
            if (!ok) return invalid(1, start);
            if (start + 2 >= n) return incomplete(start);
            if (!is_cont(s[start + 2])) return invalid(2, start);
        } else {
            const bool ok = (b0 == 0xF0 && b1 >= 0x90 && b1 <= 0xBF) || (b0 >= 0xF1 && b0 <= 0xF3 && is_cont(b1)) ||
                            (b0 == 0xF4 && b1 >= 0x80 && b1 <= 0x8F);
            if (!ok) return invalid(1, start);
            if (start + 2 >= n) return incomplete(start);
            if (!is_cont(s[start + 2])) return invalid(2, start);
            if (start + 3 >= n) return incomplete(start);
            if (!is_cont(s[start + 3])) return invalid(3, start);
        }
        i = start + width;
    }
    return std::nullopt;
}

bool lift_bool(std::int8_t v, const char* arg) {
    if (v == 0) return false;
    if (v == 1) return true;
    throw LiftError{arg, "unexpected byte for Boolean"};
}

namespace {

template <class F>
auto lift(std::string_view buf, const char* arg, F read) {
    try {
        Reader r(buf);
        auto value = read(r);
        r.finish();
        return value;
    } catch (ReadError& e) {
        throw LiftError{arg, std::move(e.description)};
    }
}

}  // namespace

std::optional<std::string> lift_optional_string(std::string_view buf, const char* arg) {
    return lift(buf, arg, [](Reader& r) { return r.optional_string(); });
}

std::optional<std::string_view> lift_optional_text(std::string_view buf, const char* arg) {
    return lift(buf, arg, [](Reader& r) { return r.optional_text(); });
}

Bytes lift_bytes(std::string_view buf, const char* arg) {
    return lift(buf, arg, [](Reader& r) { return r.bytes(); });
}

sovereign::DeedRecord lift_deed(std::string_view buf, const char* arg) {
    return lift(buf, arg, [](Reader& r) { return r.deed(); });
}

}  // namespace quorent::ffi
