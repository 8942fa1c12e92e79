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

// The nested forms the operations write, and the lifting failures they
// meet with their arguments, are checked through the interface (tests/abi);
// here are the cases no exported operation reaches.
TEST(Values, FaultsNoOperationReaches) {
    EXPECT_EQ(to_sdk_error(CoreError{ErrorKind::BadDelegation, "x"}).message, "bad delegation: x");
    EXPECT_EQ(lift_failure([] { lift_optional_string("", "pubkey_hex"); }),
              "Failed to convert arg 'pubkey_hex':\nnot enough bytes remaining in buffer (0 < 1)");
    EXPECT_EQ(lift_failure([] { lift_optional_string(std::string("\x01\x80\0\0\0", 5), "pubkey_hex"); }),
              "Failed to convert arg 'pubkey_hex':\nout of range integral type conversion attempted");
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

TEST(Frame, OversizedNestedLengthIsAnInternalFailure) {
    Writer w;
    try {
        w.length(std::size_t{1} << 31);
        FAIL() << "accepted a length of 2^31";
    } catch (const InternalFailure& f) {
        EXPECT_EQ(f.message.rfind("called `Result::unwrap()` on an `Err` value", 0), 0u);
    }
}
