// The frame from the inside: failures that no real operation can be made to
// produce on demand, driven through export_call with stand-in core functions.
#include <gtest/gtest.h>

#include <stdexcept>

#include "frame.hpp"
#include "values.hpp"

using namespace quorent;
using namespace quorent::ffi;

namespace {

RustBuffer owned(const std::string& s) { return make_buffer(s); }

// The status code and the error buffer's bytes (released).
std::pair<int, std::string> drain(RustCallStatus& st) {
    std::string out(reinterpret_cast<const char*>(st.error_buf.data), st.error_buf.len);
    release_buffer(st.error_buf);
    return {st.code, out};
}

std::string sdk_error(std::string_view message) { return serialize_sdk_error({SdkVariant::Sdk, std::string(message)}); }

}  // namespace

TEST(Frame, EveryFailureOfTheCoreEndsInOneOfTwoCodes) {
    struct Case {
        Result<std::string> (*core)(std::string_view);
        int code;
        std::string message;
    };
    const Case cases[] = {
        {[](std::string_view) -> Result<std::string> { throw std::runtime_error("consistency check failed"); }, 2,
         "consistency check failed"},
        {[](std::string_view) -> Result<std::string> { throw 42; }, 2, "Unknown panic!"},
        // A failure of the machinery, recorded: it wins over what the core returned.
        {[](std::string_view) -> Result<std::string> {
             record_fault("SHA-256 failed");
             return std::string("a result made of zeros");
         },
         2, "SHA-256 failed"},
        {[](std::string_view) -> Result<std::string> {
             record_fault("Keccak-256 failed");
             return CoreError{ErrorKind::Crypto, "signature error"};
         },
         2, "Keccak-256 failed"},
        {[](std::string_view) -> Result<std::string> {
             return CoreError{ErrorKind::Internal, "rng: none"};
         },
         2, "rng: none"},
        {[](std::string_view) -> Result<std::string> {
             return CoreError{ErrorKind::Plain, "bare"};
         },
         1, sdk_error("bare")},
        {[](std::string_view) -> Result<std::string> {
             return CoreError{ErrorKind::Crypto, "x"};
         },
         1, sdk_error("crypto: x")},
    };
    for (const Case& c : cases) {
        RustCallStatus st{0, kEmptyBuffer};
        // Run under a leak checker, this also shows the argument is released.
        const RustBuffer r = export_call<"normalize_origin">(&st, c.core, owned("x"));
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(drain(st), std::make_pair(c.code, c.message));
    }
    // An operation declared unable to fail reports its core's failure as internal.
    RustCallStatus st{0, kEmptyBuffer};
    export_call<"generate_pkce">(&st, []() -> Result<pkce::Pkce> { return CoreError{ErrorKind::Internal, "rng: x"}; });
    EXPECT_EQ(drain(st), std::make_pair(2, std::string("rng: x")));
}

TEST(Frame, ConversionFailureReleasesEveryArgumentAndSkipsTheCore) {
    static bool ran = false;
    RustCallStatus st{0, kEmptyBuffer};
    const std::string hex32(64, 'a');
    export_call<"delegate">(
        &st,
        [](std::uint64_t, std::string_view, std::string_view, std::string_view, std::uint64_t, std::string_view,
           std::uint64_t, std::string_view, std::optional<std::string_view>, std::string_view) -> Result<std::string> {
            ran = true;
            return std::string();
        },
        std::uint64_t{1}, owned("a"), owned("b"), owned("[]"), std::uint64_t{2}, owned(hex32), std::uint64_t{3},
        owned(hex32), owned("\x02"), owned("00"));
    EXPECT_FALSE(ran);
    EXPECT_EQ(drain(st),
              std::make_pair(2, std::string("Failed to convert arg 'pubkey_hex':\nunexpected tag byte for Option")));
}

TEST(Frame, ATextResultIsWipedToItsCapacity) {
    // Bytes past size() are left from longer contents the text had before.
    std::string secret(100, 's');
    secret.resize(10);
    const std::size_t capacity = secret.capacity();
    const RustBuffer out = lower_return(std::move(secret));  // takes it by reference: the storage stays
    EXPECT_EQ(buffer_view(out), std::string(10, 's'));
    release_buffer(out);
    ASSERT_EQ(secret.capacity(), capacity);
    EXPECT_EQ(std::string_view(secret.data(), capacity), std::string(capacity, '\0'));
}

// The nested forms and the lifting failures the operations meet are checked
// through the interface (tests/abi); these are the ones no operation reaches.
TEST(Values, FaultsNoOperationReaches) {
    auto lift_failure = [](auto f) -> std::string {
        LiftFailure failure;
        f(failure);
        return failure ? failure->arg + ": " + failure->description : "lifted";
    };
    EXPECT_EQ(lift_failure([](LiftFailure& f) { lift_optional_text("", "p", f); }),
              "p: not enough bytes remaining in buffer (0 < 1)");
    EXPECT_EQ(lift_failure([](LiftFailure& f) { lift_optional_text(std::string("\x01\x80\0\0\0", 5), "p", f); }),
              "p: out of range integral type conversion attempted");
    // A truncated Deed record reports the first field that runs short.
    EXPECT_EQ(lift_failure([](LiftFailure& f) { lift_deed(std::string("\x01\0\0\0\x08user", 9), "base_deed", f); }),
              "base_deed: not enough bytes remaining in buffer (4 < 8)");
    // Once an argument failed, the later ones are not read.
    EXPECT_EQ(lift_failure([](LiftFailure& f) {
                  lift_bool(2, "a", f);
                  lift_bytes("", "b", f);
              }),
              "a: unexpected byte for Boolean");
    take_fault();
    Writer w;
    EXPECT_FALSE(w.length(std::size_t{1} << 31));
    EXPECT_EQ(w.bytes().size(), 0u);
    const char* fault = take_fault();
    ASSERT_NE(fault, nullptr);
    EXPECT_EQ(std::string_view(fault).rfind("called `Result::unwrap()` on an `Err` value", 0), 0u);
}

TEST(Values, RecordsGrowIntactAndLeaveAsBuffersOfTheirLength) {
    // Past the first storage, in pieces of every size: the bytes survive
    // each growth and the buffer handed out has capacity == length.
    Writer w;
    std::string want;
    for (std::size_t n = 0; want.size() < 5000; ++n) {
        const std::string piece(n, static_cast<char>('a' + n % 26));
        w.raw(piece.data(), piece.size());
        want += piece;
    }
    RustBuffer b = w.release();
    EXPECT_EQ(buffer_view(b), want);
    EXPECT_EQ(b.capacity, b.len);
    release_buffer(b);
    // A deed's size is known before it is written: its storage is filled
    // exactly, with every optional field absent and with all present.
    sovereign::DeedRecord deed;
    deed.mode = "user-sig";
    deed.sub = std::string(64, 'f');
    for (int present = 0; present < 2; ++present) {
        if (present) {
            for (auto* f : {&deed.root, &deed.proof, &deed.pubkey, &deed.signature, &deed.credential_pubkey,
                            &deed.authenticator_data, &deed.client_data_json, &deed.assertion_sig, &deed.signer})
                *f = std::string(70, '1');
            deed.grants = "[]";
            deed.delegations = std::string(3000, ' ');
        }
        Writer exact(nested_size(deed));
        write(exact, deed);
        Writer grown;
        write(grown, deed);
        EXPECT_EQ(exact.bytes(), grown.bytes());
        b = exact.release();
        EXPECT_EQ(b.len, nested_size(deed));
        EXPECT_EQ(b.capacity, b.len);
        release_buffer(b);
    }
}

TEST(Values, Utf8FaultsNameTheSequence) {
    EXPECT_FALSE(utf8_fault(""));
    EXPECT_FALSE(utf8_fault("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
    const std::pair<const char*, const char*> faults[] = {
        {"ab\xFF", "invalid utf-8 sequence of 1 bytes from index 2"},
        {"a\xC0\x80", "invalid utf-8 sequence of 1 bytes from index 1"},
        {"a\xE2\x82"
         "A",
         "invalid utf-8 sequence of 2 bytes from index 1"},
        {"\xF0\x9F\x98"
         "A",
         "invalid utf-8 sequence of 3 bytes from index 0"},
        {"\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},      // a surrogate
        {"a\xE0\x80\x80", "invalid utf-8 sequence of 1 bytes from index 1"},     // overlong
        {"\xF4\x90\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // above U+10FFFF
        {"ok\xE2\x82", "incomplete utf-8 byte sequence from index 2"},
        {"\xF0", "incomplete utf-8 byte sequence from index 0"},
    };
    for (const auto& [text, fault] : faults) EXPECT_EQ(utf8_fault(text).value_or("valid"), fault) << text;
    // Past runs of plain ASCII long enough to be skipped a word at a time.
    EXPECT_EQ(utf8_fault(std::string(40, 'a') + "\xFF").value_or("valid"),
              "invalid utf-8 sequence of 1 bytes from index 40");
    EXPECT_EQ(utf8_fault(std::string(37, 'a') + "\xE2\x82").value_or("valid"),
              "incomplete utf-8 byte sequence from index 37");
    EXPECT_FALSE(utf8_fault(std::string(33, 'a') + "\xC3\xA9" + std::string(70, 'b')));
    EXPECT_EQ(utf8_fault(std::string(19, 'a') + "\xC3\xA9" + std::string(19, 'a') +
                         "\xE2\x82"
                         "A")
                  .value_or("valid"),
              "invalid utf-8 sequence of 2 bytes from index 40");
}
