// The vector kernels (core/src/simd.hpp) against their scalar references, on
// whatever machine runs the tests: lengths around each vector width, every
// byte value at the edges of a block, a stop at every position, and
// pseudo-random texts. The scalar references are held to a plain statement
// of each rule first. Where the build has no vector kernel, native:: is the
// scalar one and the comparisons hold trivially.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "simd.hpp"

using namespace quorent::simd;

namespace {

using Text = std::vector<unsigned char>;

std::mt19937& rng() {
    static std::mt19937 r(20240611);
    return r;
}

Text random_text(std::size_t n, unsigned char lo = 0, unsigned char hi = 255) {
    std::uniform_int_distribution<int> d(lo, hi);
    Text t(n);
    for (auto& c : t) c = static_cast<unsigned char>(d(rng()));
    return t;
}

// The positions where a byte is tried: every one in short texts, the edges
// of each 16- and 64-byte block in long ones.
std::vector<std::size_t> positions(std::size_t n) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < n; ++i)
        if (n <= 40 || i % 16 <= 1 || i % 16 >= 14 || i + 2 >= n) at.push_back(i);
    return at;
}

constexpr std::size_t kLengths[] = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 79, 127, 128, 129, 200};

// ---- plain statements of the rules -------------------------------------------------

std::size_t ascii_run_plain(const Text& t, std::size_t i) {
    while (i < t.size() && t[i] < 0x80) ++i;
    return i;
}

std::size_t plain_run_plain(const Text& t, std::size_t i, bool ascii) {
    for (; i < t.size(); ++i) {
        const unsigned char c = t[i];
        if (c < 0x20 || c == '"' || c == '\\' || (ascii && c >= 0x80)) break;
    }
    return i;
}

// Both kernels and the plain rule on one text, from offset `from`.
void runs_agree(const Text& t, std::size_t from) {
    const unsigned char* s = t.data();
    ASSERT_EQ(scalar::ascii_run_var(s, from, t.size()), ascii_run_plain(t, from)) << testing::PrintToString(t);
    ASSERT_EQ(native::ascii_run_var(s, from, t.size()), ascii_run_plain(t, from)) << testing::PrintToString(t);
    for (bool ascii : {false, true}) {
        ASSERT_EQ(scalar::plain_run_var(s, from, t.size(), ascii), plain_run_plain(t, from, ascii))
            << ascii << testing::PrintToString(t);
        ASSERT_EQ(native::plain_run_var(s, from, t.size(), ascii), plain_run_plain(t, from, ascii))
            << ascii << testing::PrintToString(t);
    }
}

// Both hex decoders on one text of 2 * n digits.
void hex_decoders_agree(const std::string& digits) {
    const std::size_t n = digits.size() / 2;
    const auto* s = reinterpret_cast<const unsigned char*>(digits.data());
    std::vector<std::uint8_t> a(n + 1), b(n + 1);
    const bool ok = scalar::hex_decode_var(s, a.data(), n);
    ASSERT_EQ(native::hex_decode_var(s, b.data(), n), ok) << digits;
    if (ok) {
        ASSERT_EQ(a, b) << digits;
    }
}

TEST(Simd, HexEncodeMatchesScalar) {
    for (std::size_t n : kLengths) {
        for (int round = 0; round < 8; ++round) {
            Text in = random_text(n);
            if (round == 0)
                for (std::size_t i = 0; i < n; ++i) in[i] = static_cast<unsigned char>(i * 37 + 255);
            std::string want;
            for (unsigned char c : in) want += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
            std::string a(2 * n, '?'), b(2 * n, '?');
            scalar::hex_encode_var(a.data(), in.data(), n);
            native::hex_encode_var(b.data(), in.data(), n);
            ASSERT_EQ(a, want) << n;
            ASSERT_EQ(b, want) << n;
        }
    }
    // Every byte value in one call.
    Text all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
    std::string a(512, '?'), b(512, '?');
    scalar::hex_encode_var(a.data(), all.data(), all.size());
    native::hex_encode_var(b.data(), all.data(), all.size());
    EXPECT_EQ(a, b);
}

TEST(Simd, HexDecodeMatchesScalarWithAnyByteAnywhere) {
    const std::string pool = "0123456789abcdefABCDEF";
    for (std::size_t n : kLengths) {
        std::string base;
        for (std::size_t i = 0; i < 2 * n; ++i) base += pool[(i * 7 + n) % pool.size()];
        hex_decoders_agree(base);
        for (std::size_t at : positions(2 * n)) {
            for (int c = 0; c < 256; ++c) {
                std::string text = base;
                text[at] = static_cast<char>(c);
                hex_decoders_agree(text);
            }
        }
    }
    // The scalar reference by a plain rule.
    std::uint8_t out[2];
    EXPECT_TRUE(scalar::hex_decode_var(reinterpret_cast<const unsigned char*>("aF09"), out, 2));
    EXPECT_EQ(out[0], 0xAF);
    EXPECT_EQ(out[1], 0x09);
    EXPECT_FALSE(scalar::hex_decode_var(reinterpret_cast<const unsigned char*>("a:09"), out, 2));
    EXPECT_FALSE(scalar::hex_decode_var(reinterpret_cast<const unsigned char*>("aFg9"), out, 2));
    // Random digits, and random bytes (almost never all digits).
    for (int round = 0; round < 2000; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 70)(rng());
        std::string text;
        for (unsigned char c : random_text(2 * n, 0, static_cast<unsigned char>(pool.size() - 1))) text += pool[c];
        hex_decoders_agree(text);
        const Text noise = random_text(2 * n);
        hex_decoders_agree(std::string(noise.begin(), noise.end()));
    }
}

TEST(Simd, RunsStopWhereThePlainRuleStops) {
    for (std::size_t n : kLengths) {
        const Text plain(n, 'a');
        for (std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{7}})
            if (from <= n) runs_agree(plain, from);
        for (std::size_t at : positions(n)) {
            for (int c = 0; c < 256; ++c) {
                Text t = plain;
                t[at] = static_cast<unsigned char>(c);
                runs_agree(t, 0);
            }
        }
    }
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 200)(rng());
        // Mostly plain printable text, with a stop here and there.
        Text t = random_text(n, 0x23, 0x5B);
        const std::size_t stops = std::uniform_int_distribution<std::size_t>(0, 3)(rng());
        for (std::size_t k = 0; k < stops && n > 0; ++k)
            t[std::uniform_int_distribution<std::size_t>(0, n - 1)(rng())] = random_text(1)[0];
        runs_agree(t, n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n)(rng()));
    }
}

}  // namespace
