// The frame and the value forms from the inside: nested encodings, every
// read failure's description, and how internal failures are reported.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "frame.hpp"
#include "values.hpp"

using namespace quorent;
using namespace quorent::ffi;

namespace {

std::string bytes_of(const Writer& w) { return std::string(w.bytes().begin(), w.bytes().end()); }

RustBuffer owned(const std::string& s) { return make_buffer(s); }

std::string drain(RustCallStatus& st) {
    std::string out(reinterpret_cast<const char*>(st.error_buf.data), st.error_buf.len);
    release_buffer(st.error_buf);
    return out;
}

template <class F>
std::string lift_failure(F f) {
    try {
        f();
    } catch (const LiftError& e) {
        return "Failed to convert arg '" + e.arg + "':\n" + e.description;
    }
    return "lifted";
}

}  // namespace

TEST(Values, NestedForms) {
    Writer w;
    write(w, std::string_view("abc"));
    EXPECT_EQ(bytes_of(w), std::string("\0\0\0\x03" "abc", 7));

    Writer p;
    write(p, pkce::Pkce{"ab", "c"});
    EXPECT_EQ(bytes_of(p), std::string("\0\0\0\x02" "ab\0\0\0\x01" "c", 11));

    Writer o;
    write(o, std::optional<std::string>());
    write(o, std::optional<std::string>(""));
    EXPECT_EQ(bytes_of(o), std::string("\0\x01\0\0\0\0", 6));

    Writer c;
    write(c, token::Claims{"i", "s", "a", 1, 2, std::nullopt, std::nullopt});
    EXPECT_EQ(bytes_of(c).substr(bytes_of(c).size() - 2), std::string("\0\0", 2));
    Writer t;
    write(t, std::optional<std::uint64_t>(7));
    EXPECT_EQ(bytes_of(t), std::string("\x01\0\0\0\0\0\0\0\x07", 9));

    Writer e;
    e.i32(1);
    write(e, std::string_view("expected 32 bytes of hex"));
    EXPECT_EQ(serialize_sdk_error(SdkError{SdkVariant::Sdk, "expected 32 bytes of hex"}), bytes_of(e));

    Writer s;
    write(s, Bytes{0xAA, 0xBB});
    EXPECT_EQ(bytes_of(s), std::string("\0\0\0\x02\xAA\xBB", 6));
}

TEST(Values, CoreErrorsMapToSdkErrors) {
    EXPECT_EQ(serialize_sdk_error(to_sdk_error(CoreError{ErrorKind::InsecureOrigin, "d"})),
              std::string("\0\0\0\x02\0\0\0\x01" "d", 9));
    EXPECT_EQ(serialize_sdk_error(to_sdk_error(CoreError{ErrorKind::Input, "d"})),
              std::string("\0\0\0\x01\0\0\0\x08" "input: d", 16));
    EXPECT_EQ(to_sdk_error(CoreError{ErrorKind::BadDelegation, "x"}).message, "bad delegation: x");
}

TEST(Values, ReadFailuresDescribeTheFault) {
    EXPECT_EQ(lift_failure([] { lift_bytes(std::string("\0\0\0\x02\xAA", 5), "ret"); }),
              "Failed to convert arg 'ret':\nnot enough bytes remaining in buffer (0 < 1)");
    EXPECT_EQ(lift_failure([] { lift_bytes(std::string("\0\0", 2), "ret"); }),
              "Failed to convert arg 'ret':\nnot enough bytes remaining in buffer (2 < 4)");
    EXPECT_EQ(lift_failure([] { lift_bytes(std::string("\xFF\xFF\xFF\xFF", 4), "ret"); }),
              "Failed to convert arg 'ret':\nout of range integral type conversion attempted");
    EXPECT_EQ(lift_failure([] { lift_optional_string("\x02", "pubkey_hex"); }),
              "Failed to convert arg 'pubkey_hex':\nunexpected tag byte for Option");
    EXPECT_EQ(lift_failure([] { lift_optional_string(std::string("\0\xFF", 2), "pubkey_hex"); }),
              "Failed to convert arg 'pubkey_hex':\njunk data left in buffer after lifting (count: 1)");
    EXPECT_EQ(lift_failure([] { lift_optional_string("", "pubkey_hex"); }),
              "Failed to convert arg 'pubkey_hex':\nnot enough bytes remaining in buffer (0 < 1)");
    EXPECT_EQ(lift_failure([] { lift_optional_string(std::string("\x01\x80\0\0\0", 5), "pubkey_hex"); }),
              "Failed to convert arg 'pubkey_hex':\nout of range integral type conversion attempted");
    EXPECT_EQ(lift_failure([] { lift_bool(2, "allow_insecure_origin"); }),
              "Failed to convert arg 'allow_insecure_origin':\nunexpected byte for Boolean");
    EXPECT_FALSE(lift_bool(0, "b"));
    EXPECT_TRUE(lift_bool(1, "b"));
    EXPECT_EQ(*lift_optional_string(std::string("\x01\0\0\0\x02hi", 7), "p"), "hi");
    // A truncated Deed record reports the first field that runs short.
    EXPECT_EQ(lift_failure([] { lift_deed(std::string("\x01\0\0\0\x08user", 9), "base_deed"); }),
              "Failed to convert arg 'base_deed':\nnot enough bytes remaining in buffer (4 < 8)");
}

TEST(Values, Utf8FaultsNameTheSequence) {
    EXPECT_FALSE(utf8_fault("plain \xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_EQ(*utf8_fault("ab\xFF"), "invalid utf-8 sequence of 1 bytes from index 2");
    EXPECT_EQ(*utf8_fault("a\xC0\x80"), "invalid utf-8 sequence of 1 bytes from index 1");
    EXPECT_EQ(*utf8_fault("a\xE2\x82" "A"), "invalid utf-8 sequence of 2 bytes from index 1");
    EXPECT_EQ(*utf8_fault("\xF0\x9F\x98" "A"), "invalid utf-8 sequence of 3 bytes from index 0");
    EXPECT_EQ(*utf8_fault("\xED\xA0\x80"), "invalid utf-8 sequence of 1 bytes from index 0");
    EXPECT_EQ(*utf8_fault("ok\xE2\x82"), "incomplete utf-8 byte sequence from index 2");
    EXPECT_EQ(*utf8_fault("\xF0"), "incomplete utf-8 byte sequence from index 0");
    EXPECT_EQ(lift_failure([] { lift_optional_string(std::string("\x01\0\0\0\x01\xFF", 6), "p"); }),
              "Failed to convert arg 'p':\ninvalid utf-8 sequence of 1 bytes from index 0");
}

TEST(Frame, InternalFailuresAreCode2WithTheirMessage) {
    RustCallStatus st{0, kEmptyBuffer};
    RustBuffer r = call_with<RustBuffer>(&st, std::array{owned("x"), owned("y")}, [](const auto&) -> RustBuffer {
        throw std::runtime_error("internal consistency check failed");
    });
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(st.code, 2);
    EXPECT_EQ(drain(st), "internal consistency check failed");

    st = RustCallStatus{0, kEmptyBuffer};
    std::uint64_t n = call<std::uint64_t>(&st, []() -> std::uint64_t { throw 42; });
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(st.code, 2);
    EXPECT_EQ(drain(st), "Unknown panic!");
}

TEST(Frame, ConversionFailureReleasesEveryArgumentAndSkipsTheBody) {
    bool ran = false;
    RustCallStatus st{0, kEmptyBuffer};
    // Run under a leak checker, this also shows both buffers are released.
    call_with<RustBuffer>(&st, std::array{owned("text"), owned("\x02")}, [&](const auto& a) -> RustBuffer {
        lift_optional_string(a[1], "pubkey_hex");
        ran = true;
        return kEmptyBuffer;
    });
    EXPECT_FALSE(ran);
    EXPECT_EQ(st.code, 2);
    EXPECT_EQ(drain(st), "Failed to convert arg 'pubkey_hex':\nunexpected tag byte for Option");
}

TEST(Frame, DeclaredErrorsAreCode1) {
    RustCallStatus st{0, kEmptyBuffer};
    std::int8_t b = call<std::int8_t>(&st, []() -> Result<bool> { return CoreError{ErrorKind::Input, "d"}; });
    EXPECT_EQ(b, 0);
    EXPECT_EQ(st.code, 1);
    EXPECT_EQ(drain(st), std::string("\0\0\0\x01\0\0\0\x08input: d", 16));

    st = RustCallStatus{0, kEmptyBuffer};
    call<RustBuffer>(&st, []() -> RustBuffer { throw SdkError{SdkVariant::Sdk, "expected 32 bytes of hex"}; });
    EXPECT_EQ(st.code, 1);
    EXPECT_EQ(drain(st), serialize_sdk_error(SdkError{SdkVariant::Sdk, "expected 32 bytes of hex"}));
}

TEST(Frame, OversizedNestedLengthIsAnInternalFailure) {
    Writer w;
    try {
        w.length(std::size_t{1} << 31);
        FAIL() << "accepted a length of 2^31";
    } catch (const InternalFailure& f) {
        EXPECT_EQ(f.message.rfind("called `Result::unwrap()` on an `Err` value", 0), 0u);
    }
}
