// Domain-to-ASCII against the URL Standard's IDNA conformance data, and the
// Unicode lower-casing of credential keys.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "json_text.hpp"
#include "quorent/json.hpp"
#include "quorent/url.hpp"
#include "quorent/userpasskey.hpp"
#include "url_internal.hpp"

namespace {

// The host as the URL parser serializes it, or nullopt on failure. Inputs
// the URL parser would split or treat as something else than a host go
// through the host parser itself.
std::optional<std::string> host_of(const std::string& input) {
    if (input.empty() || input.find_first_of("/?#\\@:%") != std::string::npos) {
        std::string out;
        if (quorent::url::detail::parse_host(input, true, out) != nullptr) return std::nullopt;
        return out;
    }
    const auto url = quorent::url::parse("https://" + input + "/x");
    if (!url.ok()) return std::nullopt;
    return url.value().hostname();
}

// Cases where this library answers otherwise, and why.
const std::map<std::string, std::string> kExceptions = {
    // UTS #46 maps "" to "", but the URL host parser fails on an empty host.
    {"", "empty host"},
    // CJK Unified Ideographs Extension J (U+323B0..U+33479) is new in Unicode
    // 17.0 and valid in its IDNA mapping table; this data still treats it as
    // unassigned (V7).
    {"\xF0\xB2\xA4\xB1" "20.\xE9\x9F\xB3.\xEA\xA1\xA6" "1.", "U+32931 is valid in Unicode 17.0"},
    {"xn--20-9802c.xn--0w5a.xn--1-eg4e.", "U+32931 is valid in Unicode 17.0"},
    {"xn--9-i0j5967eg3qz.ss", "U+32B9A is valid in Unicode 17.0"},
};

void run_corpus(const std::string& name) {
    const std::string path = std::string(QUORENT_TESTDATA_DIR) + "/idna/" + name;
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "missing " << path;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const auto parsed = quorent::json::parse(testdata::replace_lone_surrogates(text));
    ASSERT_TRUE(parsed.ok()) << parsed.error().detail;
    ASSERT_NE(parsed.value().as_array(), nullptr);
    int cases = 0, agreed = 0, excepted = 0;
    for (const quorent::json::Value& entry : *parsed.value().as_array()) {
        if (entry.as_object() == nullptr) continue;  // comments
        ++cases;
        const std::string* input = entry.find_string("input");
        const quorent::json::Value* output = entry.find("output");
        ASSERT_TRUE(input != nullptr && output != nullptr);
        const std::optional<std::string> host = host_of(*input);
        if (kExceptions.count(*input) != 0) {
            ++excepted;
            continue;
        }
        if (output->is_null()) {
            EXPECT_FALSE(host) << "'" << *input << "' gave '" << *host << "', expected failure";
            agreed += !host;
        } else {
            ASSERT_NE(output->as_string(), nullptr);
            EXPECT_EQ(host.value_or("(failure)"), *output->as_string()) << "input '" << *input << "'";
            agreed += host == *output->as_string();
        }
    }
    EXPECT_GT(cases, 0);
    EXPECT_EQ(agreed + excepted, cases);
    std::cout << name << ": " << cases << " cases, " << agreed << " agree, " << excepted << " listed exceptions\n";
}

TEST(IdnaConformance, IdnaTestV2) { run_corpus("IdnaTestV2.json"); }
TEST(IdnaConformance, ToAscii) { run_corpus("toascii.json"); }

TEST(Idna, IllFormedUtf8AndOverlongLabelsFail) {
    for (const char* bad : {"a\xFF.com", "\xC3", "\xED\xA0\x80.com", "\xC0\xAF.com", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(host_of(bad)) << bad;
    // Percent-encoded bytes that decode to ill-formed UTF-8.
    EXPECT_FALSE(host_of("a%FF.com"));
    std::string long_label;
    for (int i = 0; i < 1001; ++i) long_label += "\xC3\xA9";
    EXPECT_FALSE(host_of(long_label));
    long_label.resize(2000);
    EXPECT_EQ(host_of(long_label).value_or("").substr(0, 8), "xn--9caa");
}

}  // namespace

namespace {

TEST(LowerKeyText, FinalSigmaAndFullMappings) {
    using quorent::userpasskey::lower_key_text;
    // Σ is final after a cased letter (case-ignorables between) unless a cased
    // letter follows.
    EXPECT_EQ(lower_key_text("\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3").value(), "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82");
    EXPECT_EQ(lower_key_text("\xCE\x91'\xCE\xA3'").value(), "\xCE\xB1'\xCF\x82'");
    EXPECT_EQ(lower_key_text("\xCE\xA3\xCE\x91").value(), "\xCF\x83\xCE\xB1");
    EXPECT_EQ(lower_key_text("\xCE\x91\xCE\xA3\xCE\x91").value(), "\xCE\xB1\xCF\x83\xCE\xB1");
    EXPECT_EQ(lower_key_text("1\xCE\xA3").value(), "1\xCF\x83");
    // ẞ -> ß; Deseret 𐐀 -> 𐐨 (four-byte forms).
    EXPECT_EQ(lower_key_text("\xE1\xBA\x9E").value(), "\xC3\x9F");
    EXPECT_EQ(lower_key_text("\xF0\x90\x90\x80").value(), "\xF0\x90\x90\xA8");
}

}  // namespace
