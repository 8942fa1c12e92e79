// The constant-time hex and UTF-8 code that secrets go through gives, over
// every short input, exactly what the plain definitions give.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "quorent/encoding.hpp"

using namespace quorent;

namespace {

int plain_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

TEST(ConstantTimeEncoding, HexOfEveryByteAndEveryDigitPair) {
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t byte = static_cast<std::uint8_t>(b);
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02x", b);
        ASSERT_EQ(hex_encode(&byte, 1), expected) << b;
    }
    // Every pair of bytes, behind a valid digit pair so that a fault's
    // position is not always 0.
    for (int hi = 0; hi < 256; ++hi) {
        for (int lo = 0; lo < 256; ++lo) {
            const std::string text = std::string("a0") + static_cast<char>(hi) + static_cast<char>(lo);
            Bytes out;
            std::string message;
            const bool ok = hex_decode(text, out, message);
            const int h = plain_digit(static_cast<unsigned char>(hi)), l = plain_digit(static_cast<unsigned char>(lo));
            ASSERT_EQ(ok, h >= 0 && l >= 0) << hi << " " << lo;
            if (ok) {
                ASSERT_EQ(out, (Bytes{0xa0, static_cast<std::uint8_t>(h * 16 + l)}));
            } else {
                ASSERT_EQ(message.substr(0, 19), "Invalid character '");
                ASSERT_TRUE(message.ends_with(h < 0 ? "at position 2" : "at position 3")) << message;
            }
        }
    }
}

TEST(ConstantTimeEncoding, SecretPrefixStripMatchesThePlainOne) {
    for (const std::string text : {"", "0", "0x", "0x0", "0x0x", "0x0xab", "0X12", "x0x0", "00x1", "0x0X0x", "ab0x"})
        EXPECT_EQ(strip_secret_0x_prefixes(text), strip_0x_prefixes(text)) << text;
}

// Every text of one or two bytes, every three-byte text that starts with a
// lead byte, and four-byte texts over the boundary values of each position,
// after an ASCII byte and on their own.
TEST(ConstantTimeEncoding, Utf8VerdictMatchesTheWalker) {
    auto same = [](const std::string& t) {
        ASSERT_EQ(is_utf8_secret(t), is_utf8(t)) << testing::PrintToString(t);
        ASSERT_EQ(is_utf8_secret("a" + t), is_utf8("a" + t)) << testing::PrintToString(t);
    };
    for (int a = 0; a < 256; ++a) {
        same(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b) same({static_cast<char>(a), static_cast<char>(b)});
    }
    for (int a = 0xC0; a < 0x100; ++a)
        for (int b = 0; b < 256; ++b)
            for (int c = 0; c < 256; ++c)
                same({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
    const int edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xF4, 0xFF};
    for (int a = 0xE0; a < 0x100; ++a)
        for (int b : edges)
            for (int c : edges)
                for (int d : edges)
                    same({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)});
}

}  // namespace
