#include "sdk.hpp"

#include <climits>
#include <initializer_list>
#include <stdexcept>

namespace quorent_cli {

namespace {

RustCallStatus fresh_status() { return RustCallStatus{0, RustBuffer{0, 0, nullptr}}; }

// Big-endian bytes of an unsigned integer, and back.
template <class U>
void put_be(std::string& out, U v) {
    for (int shift = static_cast<int>(8 * sizeof(U)) - 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

template <class U>
U get_be(std::string_view bytes) {
    U v = 0;
    for (char c : bytes) v = static_cast<U>((v << 8) | static_cast<uint8_t>(c));
    return v;
}

}  // namespace

Args::~Args() {
    for (Arg& a : items_)
        if (a.buf.data != nullptr || a.buf.capacity != 0) take(a.buf);
}

void Args::add_bytes(std::string_view bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) throw HostFault("argument longer than 2^31 - 1 bytes");
    RustCallStatus st = fresh_status();
    RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
        ForeignBytes{static_cast<int32_t>(bytes.size()), reinterpret_cast<const uint8_t*>(bytes.data())}, &st);
    if (st.code != 0) {
        Outcome o;
        read_status(st, o);
        throw HostFault("rustbuffer_from_bytes failed: " + o.message);
    }
    Arg a;
    a.buf = b;
    items_.push_back(a);
}

std::string take(RustBuffer b) {
    std::string out;
    if (b.data != nullptr) out.assign(reinterpret_cast<const char*>(b.data), static_cast<std::size_t>(b.len));
    RustCallStatus st = fresh_status();
    ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
    if (st.code != 0 && st.error_buf.data != nullptr) {
        // The library refused the buffer back; release its complaint and go on.
        RustCallStatus st2 = fresh_status();
        ffi_quorent_sdk_uniffi_rustbuffer_free(st.error_buf, &st2);
    }
    return out;
}

std::string_view variant_name(int32_t variant) {
    switch (variant) {
        case 1: return "Sdk";
        case 2: return "InsecureOrigin";
        default: return "unknown";
    }
}

void read_status(RustCallStatus& st, Outcome& out) {
    out.code = st.code;
    if (st.code == 0) return;
    const std::string payload = take(st.error_buf);
    st.error_buf = RustBuffer{0, 0, nullptr};
    if (st.code == 1) {
        Cursor c(payload);
        out.variant = c.i32();
        out.message = c.str();
        c.finish();
        if (out.variant != 1 && out.variant != 2) throw HostFault("unknown SdkError variant");
    } else {
        out.message = payload;
    }
}

// ---- nested forms ---------------------------------------------------------------

void put_i32(std::string& out, int32_t v) { put_be(out, static_cast<uint32_t>(v)); }

void put_u64(std::string& out, uint64_t v) { put_be(out, v); }

void put_str(std::string& out, std::string_view s) {
    if (s.size() > static_cast<std::size_t>(INT32_MAX)) throw HostFault("text longer than 2^31 - 1 bytes");
    put_i32(out, static_cast<int32_t>(s.size()));
    out.append(s);
}

void put_opt_str(std::string& out, const std::optional<std::string>& s) {
    if (!s) {
        out.push_back('\0');
        return;
    }
    out.push_back('\1');
    put_str(out, *s);
}

std::string_view Cursor::need(std::size_t n) {
    if (bytes_.size() - pos_ < n) throw HostFault("result buffer is shorter than its declared form");
    auto v = bytes_.substr(pos_, n);
    pos_ += n;
    return v;
}

uint8_t Cursor::u8() { return static_cast<uint8_t>(need(1)[0]); }

int32_t Cursor::i32() { return static_cast<int32_t>(get_be<uint32_t>(need(4))); }

uint64_t Cursor::u64() { return get_be<uint64_t>(need(8)); }

std::string Cursor::str() {
    const int32_t n = i32();
    if (n < 0) throw HostFault("negative length in result buffer");
    return std::string(need(static_cast<std::size_t>(n)));
}

bool Cursor::present() {
    switch (u8()) {
        case 0: return false;
        case 1: return true;
        default: throw HostFault("bad option tag in result buffer");
    }
}

std::optional<std::string> Cursor::opt_str() { return present() ? std::optional(str()) : std::nullopt; }

std::optional<uint64_t> Cursor::opt_u64() { return present() ? std::optional(u64()) : std::nullopt; }

void Cursor::finish() const {
    if (pos_ != bytes_.size()) throw HostFault("result buffer has bytes left over");
}

// ---- records ----------------------------------------------------------------------

namespace {

// The eleven optional text fields of a Deed, after its seven fixed ones.
constexpr const char* kDeedOptional[] = {
    "root",          "proof",  "pubkey", "signature", "credential_pubkey", "authenticator_data", "client_data_json",
    "assertion_sig", "signer", "grants", "delegations"};

Json opt_json(const std::optional<std::string>& v) { return v ? Json(*v) : Json(nullptr); }
Json opt_json(const std::optional<uint64_t>& v) { return v ? Json(*v) : Json(nullptr); }

// A record made only of text fields, in this order.
Json read_texts(std::string_view bytes, std::initializer_list<const char*> names) {
    Cursor c(bytes);
    Json j;
    for (const char* name : names) j[name] = c.str();
    c.finish();
    return j;
}

}  // namespace

Json read_app_key(std::string_view bytes) { return read_texts(bytes, {"secret_key_hex", "pubkey_hex"}); }

Json read_claims(std::string_view bytes) {
    Cursor c(bytes);
    Json j;
    j["iss"] = c.str();
    j["sub"] = c.str();
    j["aud"] = c.str();
    j["exp"] = c.u64();
    j["iat"] = c.u64();
    j["tid"] = opt_json(c.opt_u64());
    j["nonce"] = opt_json(c.opt_str());
    c.finish();
    return j;
}

Json read_deed(std::string_view bytes) {
    Cursor c(bytes);
    Json j;
    j["v"] = c.u8();
    j["mode"] = c.str();
    j["tenant"] = c.u64();
    j["sub"] = c.str();
    j["aud"] = c.str();
    j["challenge"] = c.str();
    j["exp"] = c.u64();
    for (const char* name : kDeedOptional) j[name] = opt_json(c.opt_str());
    c.finish();
    return j;
}

Json read_pkce(std::string_view bytes) { return read_texts(bytes, {"verifier", "challenge"}); }

std::string write_deed(const Json& deed) {
    if (!deed.is_object()) throw std::invalid_argument("a deed must be a JSON object");
    for (const auto& [key, value] : deed.items()) {
        static const char* known[] = {"v", "mode", "tenant", "sub", "aud", "challenge", "exp"};
        bool ok = false;
        for (const char* k : known) ok = ok || key == k;
        for (const char* k : kDeedOptional) ok = ok || key == k;
        if (!ok) throw std::invalid_argument("unknown deed field '" + key + "'");
        (void)value;
    }
    auto refuse = [](const char* key, const std::string& what) {
        return std::invalid_argument(std::string("deed field '") + key + "' " + what);
    };
    auto required = [&](const char* key) -> const Json& {
        auto it = deed.find(key);
        if (it == deed.end() || it->is_null()) throw refuse(key, "is missing");
        return *it;
    };
    auto text = [&](const char* key) {
        const Json& v = required(key);
        if (!v.is_string()) throw refuse(key, "must be a string");
        return v.get<std::string>();
    };
    auto number = [&](const char* key, uint64_t max) {
        const Json& v = required(key);
        if (!v.is_number_unsigned() || v.get<uint64_t>() > max)
            throw refuse(key, "must be an integer from 0 to " + std::to_string(max));
        return v.get<uint64_t>();
    };
    std::string out;
    out.push_back(static_cast<char>(number("v", 255)));
    put_str(out, text("mode"));
    put_u64(out, number("tenant", UINT64_MAX));
    put_str(out, text("sub"));
    put_str(out, text("aud"));
    put_str(out, text("challenge"));
    put_u64(out, number("exp", UINT64_MAX));
    for (const char* key : kDeedOptional) {
        auto it = deed.find(key);
        if (it == deed.end() || it->is_null()) {
            put_opt_str(out, std::nullopt);
        } else if (it->is_string()) {
            put_opt_str(out, it->get<std::string>());
        } else {
            throw refuse(key, "must be a string or null");
        }
    }
    return out;
}

// ---- hex --------------------------------------------------------------------------

std::string to_hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

std::optional<std::string> from_hex(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

}  // namespace quorent_cli
