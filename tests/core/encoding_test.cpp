// The constant-time encodings that secrets go through give, over every short
// input, exactly what an independent statement of each rule gives, and what
// their variable-time forms give. (The vector kernels behind the
// variable-time forms are compared with their scalar references in
// simd_test.cpp.)
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

TEST(Hex, EncodesEveryByteAtEveryLength) {
    // Every byte, in one text long enough for every lane of the word-wide
    // path and for the byte-wise tail.
    Bytes all(259);
    std::string expected;
    for (std::size_t b = 0; b < all.size(); ++b) {
        all[b] = static_cast<std::uint8_t>(b * 7 + 3);
        char two[3];
        std::snprintf(two, sizeof two, "%02x", all[b]);
        expected += two;
    }
    for (std::size_t len = 0; len <= all.size(); len += len < 40 ? 1 : 37) {
        ASSERT_EQ(hex_encode(all.data(), len), expected.substr(0, 2 * len)) << len;
        ASSERT_EQ(hex_encode_var(all.data(), len), expected.substr(0, 2 * len)) << len;
    }
    std::string out = "0x";
    append_hex_var(out, all.data() + 5, 20);
    EXPECT_EQ(out, "0x" + expected.substr(10, 40));
}

TEST(Hex, DecodesEveryDigitPairInEveryPlace) {
    // Every pair of bytes in place of a pair of valid digits: in the first
    // word, at the start of the second, and in the byte-wise tail; the
    // variable-time decoder of fixed lengths agrees.
    const std::string fill = "0123456789abcdefAB";
    for (std::size_t at : {0u, 6u, 8u, 16u}) {
        for (int hi = 0; hi < 256; ++hi) {
            for (int lo = 0; lo < 256; ++lo) {
                std::string text = fill;
                text[at] = static_cast<char>(hi);
                text[at + 1] = static_cast<char>(lo);
                Bytes out;
                std::string message;
                const bool ok = hex_decode(text, out, message);
                const int h = plain_digit(static_cast<unsigned char>(hi));
                const int l = plain_digit(static_cast<unsigned char>(lo));
                ASSERT_EQ(ok, h >= 0 && l >= 0) << hi << " " << lo << " at " << at;
                std::uint8_t fixed[9];
                ASSERT_EQ(hex_decode_var(text, fixed, 9), ok) << hi << " " << lo << " at " << at;
                if (ok) {
                    Bytes expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xab};
                    expected[at / 2] = static_cast<std::uint8_t>(h * 16 + l);
                    ASSERT_EQ(out, expected) << hi << " " << lo << " at " << at;
                    ASSERT_EQ(Bytes(fixed, fixed + 9), expected) << hi << " " << lo << " at " << at;
                } else {
                    ASSERT_TRUE(message.starts_with("Invalid character '")) << message;
                    ASSERT_TRUE(message.ends_with(" at position " + std::to_string(h < 0 ? at : at + 1))) << message;
                }
            }
        }
    }
    std::uint8_t out[3];
    EXPECT_FALSE(hex_decode_var("0aF9B", out, 3));
    EXPECT_FALSE(hex_decode_var("0aF9B1c", out, 3));
    EXPECT_TRUE(hex_decode_var("", out, 0));
}

TEST(Hex, PrefixStripsAgree) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},       {"0", "0"},       {"0x", ""},       {"0x0", "0"},   {"0x0x", ""},         {"0x0xab", "ab"},
        {"0X12", "0X12"}, {"x0x0", "x0x0"}, {"00x1", "00x1"}, {"0x0X0x", "0X0x"}, {"ab0x", "ab0x"},
    };
    for (const auto& [text, stripped] : cases) {
        EXPECT_EQ(strip_0x_prefixes(text), stripped) << text;
        EXPECT_EQ(strip_0x_prefixes_var(text), stripped) << text;
    }
}

TEST(Utf8, FaultsAfterLongAsciiRunsArePlacedExactly) {
    // ASCII is skipped in blocks: a fault, or a valid sequence, at every
    // offset of the first blocks and of the tail is found where it is.
    for (std::size_t at = 0; at < 100; ++at) {
        for (std::size_t len = at + 4; len < 110; len += 7) {
            std::string text(len, 'a');
            text[at] = '\xff';
            const auto fault = first_utf8_fault_var(text);
            ASSERT_TRUE(fault.has_value()) << at << " " << len;
            EXPECT_EQ(fault->valid_up_to, at) << at << " " << len;
            EXPECT_EQ(fault->error_len, 1u);
            text.replace(at, 2, "\xc3\xa9");
            EXPECT_FALSE(first_utf8_fault_var(text).has_value()) << at << " " << len;
            text[at + 1] = 'a';  // a lead byte without its continuation
            ASSERT_TRUE(first_utf8_fault_var(text).has_value());
            EXPECT_EQ(first_utf8_fault_var(text)->valid_up_to, at);
        }
    }
}

// Every text of one or two bytes, every three-byte text that starts with a
// lead byte, and four-byte texts over the boundary values of each position,
// after an ASCII byte and on their own.
TEST(Utf8, ConstantTimeVerdictMatchesTheWalker) {
    auto same = [](const std::string& t) {
        ASSERT_EQ(is_utf8(t), is_utf8_var(t)) << testing::PrintToString(t);
        ASSERT_EQ(is_utf8("a" + t), is_utf8_var("a" + t)) << testing::PrintToString(t);
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

// Every six-bit value in every position of a group, and every length of
// tail: the arithmetic encoder writes the alphabet of RFC 4648 section 5.
TEST(Base64url, ConstantTimeEncoderWritesTheAlphabet) {
    EXPECT_EQ(base64url_encode(nullptr, 0), "");
    const std::uint8_t all64[] = {0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8b, 0x30, 0xd3, 0x8f,
                                  0x41, 0x14, 0x93, 0x51, 0x55, 0x97, 0x61, 0x96, 0x9b, 0x71, 0xd7, 0x9f,
                                  0x82, 0x18, 0xa3, 0x92, 0x59, 0xa7, 0xa2, 0x9a, 0xab, 0xb2, 0xdb, 0xaf,
                                  0xc3, 0x1c, 0xb3, 0xd3, 0x5d, 0xb7, 0xe3, 0x9e, 0xbb, 0xf3, 0xdf, 0xbf};
    EXPECT_EQ(base64url_encode(all64, sizeof all64),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
    Bytes bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 151 + 7);
    for (std::size_t len = 0; len <= bytes.size(); ++len)
        ASSERT_EQ(base64url_encode(bytes.data(), len), base64url_encode_var(bytes.data(), len)) << len;
    EXPECT_EQ(base64url_encode(reinterpret_cast<const std::uint8_t*>("\xfb\xff"), 2), "-_8");
}

}  // namespace
