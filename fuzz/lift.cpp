// Lifting of the composite arguments (the Deed record, the optional text, the
// byte sequence, the boolean) from arbitrary bytes. An independent reader
// written from the byte forms decides what must happen; a successful lift
// lowers back to exactly the bytes it came from. The same bytes then go to
// the exported function that takes such an argument: a conversion failure is
// code 2 with its message, anything else reaches the operation.
#include <optional>

#include "check.hpp"
#include "host.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

using namespace quorent;
using namespace quorent::ffi;

namespace {

// Reference reader: the byte forms, restated. A fault is the description the
// lift must report; UTF-8 faults are only classified.
struct Ref {
    std::string_view rest;
    std::optional<std::string> fault;

    bool need(std::size_t n) {
        if (fault) return false;
        if (rest.size() < n) {
            fault = "not enough bytes remaining in buffer (" + std::to_string(rest.size()) + " < " + std::to_string(n) +
                    ")";
            return false;
        }
        return true;
    }
    void skip(std::size_t n) {
        if (need(n)) rest.remove_prefix(n);
    }
    long i32() {
        if (!need(4)) return 0;
        const auto* p = reinterpret_cast<const unsigned char*>(rest.data());
        const std::uint32_t u =
            (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
        rest.remove_prefix(4);
        return static_cast<std::int32_t>(u);
    }
    void string() {
        const long n = i32();
        if (fault) return;
        if (n < 0) {
            fault = "out of range integral type conversion attempted";
            return;
        }
        if (!need(static_cast<std::size_t>(n))) return;
        if (!valid_utf8(rest.substr(0, static_cast<std::size_t>(n)))) fault = "utf8";
        else rest.remove_prefix(static_cast<std::size_t>(n));
    }
    void optional_string() {
        if (!need(1)) return;
        const unsigned char tag = static_cast<unsigned char>(rest[0]);
        rest.remove_prefix(1);
        if (tag == 1) string();
        else if (tag != 0) fault = "unexpected tag byte for Option";
    }
    void bytes() {
        const long n = i32();
        if (fault) return;
        if (n < 0) {
            fault = "out of range integral type conversion attempted";
            return;
        }
        for (long i = 0; i < n && !fault; ++i) skip(1);
    }
    void deed() {
        skip(1);
        string();
        skip(8);
        string();
        string();
        string();
        skip(8);
        for (int i = 0; i < 11; ++i) optional_string();
    }
    void finish() {
        if (!fault && !rest.empty())
            fault = "junk data left in buffer after lifting (count: " + std::to_string(rest.size()) + ")";
    }

    // Code points by their scalar value: no overlong forms, no surrogates,
    // nothing above U+10FFFF.
    static bool valid_utf8(std::string_view s) {
        std::size_t i = 0;
        while (i < s.size()) {
            const unsigned char b = static_cast<unsigned char>(s[i]);
            std::size_t len;
            std::uint32_t cp;
            if (b < 0x80) {
                len = 1;
                cp = b;
            } else if ((b & 0xE0) == 0xC0) {
                len = 2;
                cp = b & 0x1F;
            } else if ((b & 0xF0) == 0xE0) {
                len = 3;
                cp = b & 0x0F;
            } else if ((b & 0xF8) == 0xF0) {
                len = 4;
                cp = b & 0x07;
            } else return false;
            if (i + len > s.size()) return false;
            for (std::size_t k = 1; k < len; ++k) {
                const unsigned char c = static_cast<unsigned char>(s[i + k]);
                if ((c & 0xC0) != 0x80) return false;
                cp = (cp << 6) | (c & 0x3F);
            }
            static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
            i += len;
        }
        return true;
    }
};

template <class Lift, class Lower>
void check(std::string_view in, const char* arg, void (Ref::*read)(), Lift lift, Lower lower) {
    Ref ref{in, std::nullopt};
    (ref.*read)();
    ref.finish();
    LiftFailure failure;
    auto value = lift(in, arg, failure);
    if (!failure) {
        FUZZ_CHECK(!ref.fault, fuzz::show(in) + " lifted; reference says " + *ref.fault);
        Writer w;
        lower(w, value);
        const std::string again(w.bytes().begin(), w.bytes().end());
        FUZZ_CHECK(again == in, fuzz::show(in) + " re-lowered as " + fuzz::show(again));
        return;
    }
    const LiftError& e = *failure;
    FUZZ_CHECK(e.arg == arg, e.arg);
    FUZZ_CHECK(ref.fault.has_value(), fuzz::show(in) + " refused: " + e.description);
    if (*ref.fault == "utf8") {
        FUZZ_CHECK(fuzz::starts_with(e.description, "invalid utf-8 sequence of ") ||
                       fuzz::starts_with(e.description, "incomplete utf-8 byte sequence from index "),
                   fuzz::show(in) + " -> " + e.description);
    } else {
        FUZZ_CHECK(e.description == *ref.fault, fuzz::show(in) + " -> " + e.description + " / " + *ref.fault);
    }
}

// ---- the same bytes through the exported functions that take them ----------------

using fuzz::take;
RustBuffer buf(std::string_view s) { return fuzz::arg(s); }

// A conversion failure is code 2 with the conversion message; anything else
// reached the operation (code 0 or 1). Returns the result bytes on success.
template <class Lift>
std::optional<std::string> outcome(RustCallStatus& st, RustBuffer result, std::string_view in, const char* arg,
                                   Lift lift) {
    std::optional<std::string> fault;
    LiftFailure failure;
    lift(in, arg, failure);
    if (failure) fault = "Failed to convert arg '" + failure->arg + "':\n" + failure->description;
    if (fault) {
        FUZZ_CHECK(st.code == 2 && result.data == nullptr, fuzz::show(in) + " code " + std::to_string(st.code));
        FUZZ_CHECK(take(st.error_buf) == *fault, fuzz::show(in));
        return std::nullopt;
    }
    FUZZ_CHECK(st.code == 0 || st.code == 1, fuzz::show(in) + " code " + std::to_string(st.code));
    if (st.code == 1) {
        take(st.error_buf);
        return std::nullopt;
    }
    return take(result);
}

const std::string kHex32(64, 'a');

void exported(std::uint8_t mode, std::string_view in, std::int8_t flag) {
    RustCallStatus st{0, {0, 0, nullptr}};
    switch (mode) {
        case 0: {
            const std::string msg = "web";
            std::string out = take(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding(
                7, buf(msg), buf("https://shop.test"), 3, 9, flag, &st));
            if (flag == 0 || flag == 1) FUZZ_CHECK(st.code == 0 && !out.empty(), std::to_string(flag));
            else
                FUZZ_CHECK(
                    st.code == 2 && take(st.error_buf) ==
                                        "Failed to convert arg 'allow_insecure_origin':\nunexpected byte for Boolean",
                    std::to_string(flag));
            break;
        }
        case 1: {
            RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_delegate(7, buf("a"), buf("b"), buf("[]"), 9, buf(kHex32),
                                                                      3, buf(kHex32), buf(in), buf("00"), &st);
            // Tag, length and UTF-8 are all conversion (code 2).
            const auto link = outcome(st, r, in, "pubkey_hex", lift_optional_text);
            if (link) {
                LiftFailure failure;
                const auto pubkey = lift_optional_text(in, "pubkey_hex", failure);
                FUZZ_CHECK((link->find("\"pubkey\":") != std::string::npos) == pubkey.has_value(), *link);
            }
            break;
        }
        case 2: {
            const std::int8_t v = uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return(buf(in), &st);
            // A bool result travels as an integer, not a buffer.
            if (outcome(st, RustBuffer{0, 0, nullptr}, in, "ret", lift_bytes))
                FUZZ_CHECK(v == 0 || v == 1, fuzz::show(in));
            else FUZZ_CHECK(v == 0, fuzz::show(in));
            break;
        }
        default: {
            RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed(buf(in), buf("[]"), buf("[]"), &st);
            const auto out = outcome(st, r, in, "base_deed", lift_deed);
            if (out) {
                // Every field is the base deed's except the two lists.
                LiftFailure failure;
                auto want = lift_deed(in, "base_deed", failure);
                want.grants = "[]";
                want.delegations = "[]";
                FUZZ_CHECK(lift_deed(*out, "result", failure) == want && !failure, fuzz::show(in));
            }
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view in = fuzz::text(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0: {
            const auto v = static_cast<std::int8_t>(size > 1 ? data[1] : 0);
            LiftFailure failure;
            const bool b = lift_bool(v, "allow_insecure_origin", failure);
            if (!failure) {
                FUZZ_CHECK(v == (b ? 1 : 0), std::to_string(v));
            } else {
                FUZZ_CHECK(v != 0 && v != 1 && failure->arg == "allow_insecure_origin" &&
                               failure->description == "unexpected byte for Boolean",
                           std::to_string(v));
            }
            break;
        }
        case 1:
            check(in, "pubkey_hex", &Ref::optional_string, lift_optional_string,
                  [](Writer& w, const std::optional<std::string>& v) { write(w, v); });
            break;
        case 2: check(in, "ret", &Ref::bytes, lift_bytes, [](Writer& w, const Bytes& v) { write(w, v); }); break;
        default:
            check(in, "base_deed", &Ref::deed, lift_deed,
                  [](Writer& w, const sovereign::DeedRecord& v) { write(w, v); });
            break;
    }
    exported(data[0] % 4, in, static_cast<std::int8_t>(size > 1 ? data[1] : 0));
    return 0;
}
