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
    ASSERT_EQ(hex_encode(all), expected);
    ASSERT_EQ(hex_encode_secret(all.data(), all.size()), expected);
    for (std::size_t len = 0; len < 9; ++len)
        ASSERT_EQ(hex_encode_secret(all.data(), len), expected.substr(0, 2 * len));
    // Public hex, sixteen bytes a step and the rest byte by byte, appended
    // after what the text already holds, from every offset of a block.
    for (std::size_t from = 0; from < 17; ++from) {
        for (std::size_t len = 0; from + len <= all.size(); len += 13) {
            std::string out = "0x";
            append_hex(out, all.data() + from, len);
            ASSERT_EQ(out, "0x" + expected.substr(2 * from, 2 * len)) << from << " " << len;
        }
    }
    // Every pair of bytes in place of a pair of valid digits: in the first
    // word, at the start of the second, and in the byte-wise tail.
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
                if (ok) {
                    Bytes expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xab};
                    expected[at / 2] = static_cast<std::uint8_t>(h * 16 + l);
                    ASSERT_EQ(out, expected) << hi << " " << lo << " at " << at;
                } else {
                    ASSERT_TRUE(message.starts_with("Invalid character '")) << message;
                    ASSERT_TRUE(message.ends_with(" at position " + std::to_string(h < 0 ? at : at + 1))) << message;
                }
            }
        }
    }
}

TEST(ConstantTimeEncoding, SecretPrefixStripMatchesThePlainOne) {
    for (const std::string text : {"", "0", "0x", "0x0", "0x0x", "0x0xab", "0X12", "x0x0", "00x1", "0x0X0x", "ab0x"})
        EXPECT_EQ(strip_secret_0x_prefixes(text), strip_0x_prefixes(text)) << text;
}

TEST(PublicHex, DecodesExactlyWhatTheGeneralDecoderAccepts) {
    // Every pair of bytes in the first and in the last place of a text of
    // the expected length; any other length is refused.
    for (int hi = 0; hi < 256; ++hi) {
        for (int lo = 0; lo < 256; ++lo) {
            for (std::size_t at : {0u, 4u}) {
                std::string text = "0aF9B1";
                text[at] = static_cast<char>(hi);
                text[at + 1] = static_cast<char>(lo);
                Bytes general;
                std::string message;
                const bool ok = hex_decode(text, general, message);
                std::uint8_t out[3];
                ASSERT_EQ(hex_decode_public(text, out, 3), ok) << hi << " " << lo << " " << at;
                if (ok) {
                    ASSERT_EQ(Bytes(out, out + 3), general) << hi << " " << lo << " " << at;
                }
            }
        }
    }
    // Thirty-two and forty bytes (decoded sixteen a step where the machine
    // allows, the rest one by one): every byte value at the edges of each
    // step and in the rest.
    for (std::size_t len : {32u, 40u}) {
        std::string base;
        for (std::size_t i = 0; i < 2 * len; ++i) base += "0123456789abcdefABCDEF"[i % 22];
        for (std::size_t at : {0u, 15u, 16u, 31u, 32u, 47u, 63u, 64u, 79u}) {
            if (at >= base.size()) continue;
            for (int c = 0; c < 256; ++c) {
                std::string text = base;
                text[at] = static_cast<char>(c);
                Bytes general;
                std::string message;
                const bool ok = hex_decode(text, general, message);
                std::uint8_t wide[40];
                ASSERT_EQ(hex_decode_public(text, wide, len), ok) << len << " " << at << " " << c;
                if (ok) {
                    ASSERT_EQ(Bytes(wide, wide + len), general) << len << " " << at << " " << c;
                }
            }
        }
    }
    std::uint8_t out[3];
    EXPECT_FALSE(hex_decode_public("0aF9B", out, 3));
    EXPECT_FALSE(hex_decode_public("0aF9B1c", out, 3));
    EXPECT_TRUE(hex_decode_public("", out, 0));
}

TEST(Utf8, FaultsAfterLongAsciiRunsArePlacedExactly) {
    // ASCII is skipped in blocks: a fault, or a valid sequence, at every
    // offset of the first blocks and of the tail is found where it is.
    for (std::size_t at = 0; at < 100; ++at) {
        for (std::size_t len = at + 4; len < 110; len += 7) {
            std::string text(len, 'a');
            text[at] = '\xff';
            const auto fault = first_utf8_fault(text);
            ASSERT_TRUE(fault.has_value()) << at << " " << len;
            EXPECT_EQ(fault->valid_up_to, at) << at << " " << len;
            EXPECT_EQ(fault->error_len, 1u);
            text.replace(at, 2, "\xc3\xa9");
            EXPECT_FALSE(first_utf8_fault(text).has_value()) << at << " " << len;
            text[at + 1] = 'a';  // a lead byte without its continuation
            ASSERT_TRUE(first_utf8_fault(text).has_value());
            EXPECT_EQ(first_utf8_fault(text)->valid_up_to, at);
        }
    }
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
