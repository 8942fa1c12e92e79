// Hex decoding of arbitrary text against an independent statement of the
// rule, the round trip through the encoder, and prefix stripping; the
// constant-time forms (encoder, prefix stripping, UTF-8 check) agree with the
// variable-time ones.
#include <cctype>

#include "check.hpp"
#include "quorent/encoding.hpp"

using namespace quorent;

namespace {

bool is_hex(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in = fuzz::text(data, size);
    Bytes out;
    std::string message;
    const bool ok = hex_decode(in, out, message);

    std::size_t bad = in.size();
    for (std::size_t i = 0; i < in.size(); ++i)
        if (!is_hex(static_cast<unsigned char>(in[i]))) {
            bad = i;
            break;
        }
    if (in.size() % 2 != 0) {
        FUZZ_CHECK(!ok && message == "Odd number of digits", fuzz::show(in) + " -> " + message);
    } else if (bad < in.size()) {
        FUZZ_CHECK(!ok, fuzz::show(in));
        FUZZ_CHECK(fuzz::starts_with(message, "Invalid character '") &&
                       fuzz::ends_with(message, "' at position " + std::to_string(bad)),
                   fuzz::show(in) + " -> " + message);
    } else {
        FUZZ_CHECK(ok && out.size() == in.size() / 2, fuzz::show(in));
        std::string lower(in);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        FUZZ_CHECK(hex_encode_var(out) == lower, fuzz::show(in));
    }

    // The Result form carries the same outcome with the chosen kind.
    auto r = hex_decode(in, ErrorKind::Crypto);
    FUZZ_CHECK(r.ok() == ok, fuzz::show(in));
    if (ok) FUZZ_CHECK(r.value() == out, fuzz::show(in));
    else FUZZ_CHECK(r.error().kind == ErrorKind::Crypto && r.error().detail == message, fuzz::show(in));

    // Any bytes survive encoding and decoding.
    const std::string enc = hex_encode_var(data, size);
    FUZZ_CHECK(enc.size() == 2 * size, "encoded length");
    Bytes back;
    FUZZ_CHECK(hex_decode(enc, back, message) && back == Bytes(data, data + size), "round trip");

    // Only whole leading "0x" pairs go, all of them.
    const std::string_view stripped = strip_0x_prefixes_var(in);
    FUZZ_CHECK(!fuzz::starts_with(stripped, "0x"), fuzz::show(in));
    const std::size_t removed = in.size() - stripped.size();
    FUZZ_CHECK(removed % 2 == 0 && in.substr(removed) == stripped, fuzz::show(in));
    for (std::size_t i = 0; i < removed; i += 2) FUZZ_CHECK(in.substr(i, 2) == "0x", fuzz::show(in));

    // The constant-time forms give the variable-time forms' results.
    FUZZ_CHECK(hex_encode(data, size) == enc, fuzz::show(in));
    FUZZ_CHECK(strip_0x_prefixes(in) == stripped, fuzz::show(in));
    FUZZ_CHECK(is_utf8(in) == is_utf8_var(in), fuzz::show(in));
    return 0;
}
