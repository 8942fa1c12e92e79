// Strict unpadded base64url: whatever the decoder accepts is the encoder's
// own output for the decoded bytes (one text per byte string), every refusal
// carries one of the decoder's messages, and any bytes survive a round trip;
// the constant-time encoder writes what the table-driven one writes.
#include "check.hpp"
#include "quorent/encoding.hpp"

using namespace quorent;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in = fuzz::text(data, size);
    Bytes out;
    std::string message;
    if (base64url_decode_var(in, out, message)) {
        FUZZ_CHECK(base64url_encode_var(out) == in, fuzz::show(in));
        FUZZ_CHECK(in.size() % 4 != 1, fuzz::show(in));
        FUZZ_CHECK(out.size() == in.size() * 3 / 4, fuzz::show(in));
    } else {
        const bool known = fuzz::starts_with(message, "Invalid symbol ") ||
                           fuzz::starts_with(message, "Invalid input length: ") ||
                           fuzz::starts_with(message, "Invalid last symbol ") || message == "Invalid padding";
        FUZZ_CHECK(known, fuzz::show(in) + " -> " + message);
        // A text made only of alphabet symbols with a valid length can fail
        // only on its final symbol's spare bits.
        bool alphabet = true;
        for (unsigned char c : in)
            alphabet = alphabet && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                    c == '-' || c == '_');
        if (alphabet && in.size() % 4 != 1)
            FUZZ_CHECK(fuzz::starts_with(message, "Invalid last symbol "), fuzz::show(in) + " -> " + message);
    }

    const std::string enc = base64url_encode_var(data, size);
    FUZZ_CHECK(base64url_encode(data, size) == enc, "constant-time encoder");
    Bytes back;
    FUZZ_CHECK(base64url_decode_var(enc, back, message), enc + " -> " + message);
    FUZZ_CHECK(back == Bytes(data, data + size), "round trip");
    return 0;
}
