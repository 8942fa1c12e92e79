// Lifting of the composite arguments (the Deed record, the optional text, the
// byte sequence, the boolean) from arbitrary bytes. An independent reader
// written from the byte forms decides what must happen; a successful lift
// lowers back to exactly the bytes it came from.
#include <optional>

#include "check.hpp"
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
            fault = "not enough bytes remaining in buffer (" + std::to_string(rest.size()) + " < " +
                    std::to_string(n) + ")";
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
        const std::uint32_t u = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                (std::uint32_t{p[2]} << 8) | p[3];
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
            if (b < 0x80) { len = 1; cp = b; }
            else if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; }
            else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; }
            else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; }
            else return false;
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
    try {
        auto value = lift(in, arg);
        FUZZ_CHECK(!ref.fault, fuzz::show(in) + " lifted; reference says " + *ref.fault);
        Writer w;
        lower(w, value);
        const std::string again(w.bytes().begin(), w.bytes().end());
        FUZZ_CHECK(again == in, fuzz::show(in) + " re-lowered as " + fuzz::show(again));
    } catch (const LiftError& e) {
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view in = fuzz::text(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0: {
            const auto v = static_cast<std::int8_t>(size > 1 ? data[1] : 0);
            try {
                const bool b = lift_bool(v, "allow_insecure_origin");
                FUZZ_CHECK(v == (b ? 1 : 0), std::to_string(v));
            } catch (const LiftError& e) {
                FUZZ_CHECK(v != 0 && v != 1 && e.arg == "allow_insecure_origin" &&
                               e.description == "unexpected byte for Boolean",
                           std::to_string(v));
            }
            break;
        }
        case 1:
            check(in, "pubkey_hex", &Ref::optional_string, lift_optional_string,
                  [](Writer& w, const std::optional<std::string>& v) { write(w, v); });
            break;
        case 2:
            check(in, "ret", &Ref::bytes, lift_bytes, [](Writer& w, const Bytes& v) { write(w, v); });
            break;
        default:
            check(in, "base_deed", &Ref::deed, lift_deed,
                  [](Writer& w, const sovereign::DeedRecord& v) { write(w, v); });
            break;
    }
    return 0;
}
