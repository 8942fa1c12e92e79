// What a host binding does around every call: builds argument buffers with
// the library's own buffer functions, checks the status, reads the nested
// forms back and frees every buffer it receives.
#pragma once

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "quorent_host.hpp"
#include "quorent_sdk_uniffi.h"

namespace host {

using quorent_host::be32;
using quorent_host::be64;
using quorent_host::fresh_status;
using quorent_host::nested;
using quorent_host::opt;

inline RustBuffer buf(const std::string& bytes) {
    RustCallStatus st = fresh_status();
    RustBuffer b = quorent_host::to_buffer(bytes, st);
    EXPECT_EQ(st.code, 0);
    return b;
}

inline std::string take(RustBuffer b) {
    std::int8_t code = 0;
    std::string out = quorent_host::take(b, &code);
    EXPECT_EQ(code, 0);
    return out;
}

// Reads nested forms from bytes it keeps.
struct KeptBytes {
    std::string bytes;
};
class Cursor : private KeptBytes, public quorent_host::Reader {
public:
    explicit Cursor(std::string bytes) : KeptBytes{std::move(bytes)}, Reader(KeptBytes::bytes) {}
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
};

// The outcome of one call as a host sees it: the status (code; variant and
// message of a failure) and, on success of a buffer result, its raw bytes.
struct Outcome : quorent_host::Status {
    std::string value;
};

// Reads and frees whatever the status holds after a call.
inline void read_status(RustCallStatus& st, Outcome& out) {
    if (st.code == 0) {
        EXPECT_EQ(st.error_buf.data, nullptr) << "status touched on success";
        EXPECT_EQ(st.error_buf.len, 0u);
        EXPECT_EQ(st.error_buf.capacity, 0u);
    }
    static_cast<quorent_host::Status&>(out) = quorent_host::read_status(st);
}

// Calls an operation returning a RustBuffer: call(fn, args..., &status).
template <class F, class... Args>
Outcome call(F fn, Args... args) {
    RustCallStatus st = fresh_status();
    RustBuffer r = fn(args..., &st);
    Outcome out;
    read_status(st, out);
    if (st.code == 0) {
        out.value = take(r);
    } else {
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(r.len, 0u);
    }
    return out;
}

// Calls an operation returning an integer.
template <class R, class F, class... Args>
std::pair<R, Outcome> call_int(F fn, Args... args) {
    RustCallStatus st = fresh_status();
    R r = fn(args..., &st);
    Outcome out;
    read_status(st, out);
    return {r, out};
}

inline std::string sdk_error_bytes(int32_t variant, const std::string& message) {
    return be32(variant) + nested(message);
}

// The exported Deed record, field for field: its nested form, and the record
// read back from a call's result.
struct Deed {
    uint8_t v = 1;
    std::string mode = "user-sig", sub = "sub", aud = "aud", challenge = "ch";
    uint64_t tenant = 7, exp = 99;
    std::optional<std::string> root, proof, pubkey = std::string("02ab"), signature = std::string("cd"),
                                            credential_pubkey, authenticator_data, client_data_json, assertion_sig,
                                            signer, grants, delegations;

    template <class Self>
    static auto optionals(Self& d) {
        return std::array{&d.root,
                          &d.proof,
                          &d.pubkey,
                          &d.signature,
                          &d.credential_pubkey,
                          &d.authenticator_data,
                          &d.client_data_json,
                          &d.assertion_sig,
                          &d.signer,
                          &d.grants,
                          &d.delegations};
    }
    std::string nested_form() const {
        std::string s(1, static_cast<char>(v));
        s += nested(mode) + be64(tenant) + nested(sub) + nested(aud) + nested(challenge) + be64(exp);
        for (const auto* f : optionals(*this)) s += opt(*f);
        return s;
    }
    static Deed read(const Outcome& o) {
        Deed d;
        EXPECT_TRUE(o.ok()) << o.message;
        if (!o.ok()) return d;
        Cursor c(o.value);
        d.v = c.u8();
        d.mode = c.str();
        d.tenant = c.u64();
        d.sub = c.str();
        d.aud = c.str();
        d.challenge = c.str();
        d.exp = c.u64();
        for (auto* f : optionals(d)) *f = c.opt_str();
        EXPECT_TRUE(c.done());
        return d;
    }
    bool operator==(const Deed&) const = default;
};

// ---- texts for the checks --------------------------------------------------------

inline std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

inline std::string hex_of(const std::string& bytes) { return quorent_host::to_hex(bytes); }

inline std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

inline std::string sha256_hex(const std::string& data) {
    unsigned char d[32];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), d);
    return hex_of(std::string(reinterpret_cast<const char*>(d), 32));
}

}  // namespace host

// Convenience: an expected code-1 SdkError.
#define EXPECT_SDK_ERROR(outcome, var, msg) \
    do {                                    \
        const auto& o_ = (outcome);         \
        EXPECT_EQ(o_.code, 1);              \
        EXPECT_EQ(o_.variant, (var));       \
        EXPECT_EQ(o_.message, (msg));       \
    } while (0)
