// The JSON engine: canonical writing, number classification, every syntax
// fault with its position, the nesting limit and hostile input sizes.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "quorent/json.hpp"
#include "json_reader.hpp"
#include "quorent/token.hpp"

namespace json = quorent::json;
using json::Value;

namespace {

std::string write_double(double d) {
    std::string out;
    json::write_double(out, d);
    return out;
}

std::string write_string(std::string_view s) {
    std::string out;
    json::write_string(out, s);
    return out;
}

// The canonical text of a parsed value, or "ERR " and the reader's message.
std::string reparse(std::string_view text) {
    auto v = json::parse(text);
    return v.ok() ? json::to_string(v.value()) : "ERR " + v.error().detail;
}

}  // namespace

TEST(JsonWrite, DoublesTakeTheShortestFormShapedByExponentAndReadBack) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "1.0"},
        {100.0, "100.0"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e16"},
        {1.5e16, "1.5e16"},
        {1.2345e17, "1.2345e17"},
        {123456789012345680.0, "1.2345678901234568e17"},
        {12.34, "12.34"},
        {2.5, "2.5"},
        {0.001234, "0.001234"},
        {0.00001, "0.00001"},
        {1e-6, "1e-6"},
        {1.234e-7, "1.234e-7"},
        {0.1, "0.1"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {-2.5, "-2.5"},
        {-1e300, "-1e300"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e308"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& [d, want] : cases) EXPECT_EQ(write_double(d), want);
    for (double d : {0.1, 1.0 / 3, 2.0 / 3e20, 6.02214076e23, 1e-300, 4.9e-324, 123.456, 9007199254740993.0}) {
        auto v = json::parse(write_double(d));
        ASSERT_TRUE(v.ok() && v->as_double() != nullptr) << d;
        EXPECT_EQ(*v->as_double(), d);
    }
}

TEST(JsonWrite, StringsEscapeOnlyWhatJsonRequires) {
    EXPECT_EQ(write_string("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(write_string("\b\t\n\f\r"), R"("\b\t\n\f\r")");
    EXPECT_EQ(write_string(std::string("\x00\x01\x1f", 3)), R"("\u0000\u0001\u001f")");
    // Solidus, DEL and non-ASCII stay raw.
    EXPECT_EQ(write_string("/\x7f\xc3\xa9\xf0\x9f\x98\x80"), "\"/\x7f\xc3\xa9\xf0\x9f\x98\x80\"");
}

TEST(JsonWrite, EveryByteNeedingCareIsFoundAnywhereInALongString) {
    // Strings are scanned in blocks: a byte to escape, or a byte above
    // ASCII, at every offset of the first blocks and of the tail, is written
    // as it must be and read back.
    auto escaped = [](std::string_view text) {
        std::string out = "\"";
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += ch;
            } else if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : esc;
            } else {
                out += ch;
            }
        }
        return out + "\"";
    };
    for (std::size_t at = 0; at < 44; ++at) {
        for (const char* special : {"\"", "\\", "\x01", "\x1f", "\n", "\t", " ", "\x7f", "\xc3\xa9", "\xf0\x9f\x98\x80"}) {
            std::string text(48, 'a');
            text.replace(at, 1, special);
            std::string out;
            json::write_string(out, text);
            ASSERT_EQ(out, escaped(text)) << at;
            const auto back = json::parse(out);
            ASSERT_TRUE(back.ok() && back->as_string() != nullptr) << at;
            EXPECT_EQ(*back->as_string(), text) << at;
        }
    }
}

TEST(JsonRead, ValuesReadBackCanonically) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"b":1,"a":{"d":2.50,"c":true}})", R"({"a":{"c":true,"d":2.5},"b":1})"},
        // Byte order: "" < "A" < "a" < "aa" < "b" < "z" < DEL < "é" (0xC3 0xA9).
        {"{\"\\u00e9\":0,\"\\u007f\":1,\"z\":2,\"b\":3,\"aa\":4,\"a\":5,\"A\":6,\"\":7}",
         "{\"\":7,\"A\":6,\"a\":5,\"aa\":4,\"b\":3,\"z\":2,\"\x7f\":1,\"\xc3\xa9\":0}"},
        {" [ 1 , { } , [ ] , \"\\/\" ] ", R"([1,{},[],"/"])"},
        // A repeated key of a free-form object keeps its last value.
        {R"({"k":1,"j":[],"k":{"x":2}})", R"({"j":[],"k":{"x":2}})"},
        // Escapes, surrogate pairs included, are resolved.
        {R"(["\u00e9\ud83d\ude00\/\t\u0000"])", "[\"\xc3\xa9\xf0\x9f\x98\x80/\\t\\u0000\"]"},
        {"[2.50,25e-1,0.25E1,1E+2,-0,-0.0,1e-400,-9223372036854775808,18446744073709551615]",
         "[2.5,2.5,2.5,100.0,-0.0,-0.0,0.0,-9223372036854775808,18446744073709551615]"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(reparse(text), want) << text;
}

// The canonical writer against the value model, which holds objects as
// ordered maps: the same text, or the same refusal.
void expect_canonical_as_value_model(const std::string& text) {
    const auto value = json::parse(text);
    const auto direct = json::canonical_text(text);
    ASSERT_EQ(direct.ok(), value.ok()) << text;
    if (!value.ok()) {
        EXPECT_EQ(direct.error(), value.error()) << text;
        return;
    }
    EXPECT_EQ(direct.value(), json::to_string(value.value())) << text;
    if (text.find_first_not_of(" \t\r\n") != std::string::npos && text[text.find_first_not_of(" \t\r\n")] == '{') {
        // Kept by a record reader as an object.
        json::Reader r(text);
        std::string_view kept;
        bool empty = false;
        ASSERT_TRUE(r.canonical_object(kept, empty).ok()) << text;
        EXPECT_TRUE(r.end().ok()) << text;
        EXPECT_EQ(kept, direct.value()) << text;
        EXPECT_EQ(empty, kept == "{}") << text;
    }
}

TEST(JsonRead, CanonicalTextIsTheValueModelsText) {
    // Fractions written from their text when it is already canonical,
    // converted otherwise; objects in order, out of order, with repeated and
    // escaped keys, nested in one another and in arrays.
    const std::string tiny = "0." + std::string(400, '0') + "1";
    std::string sixteen = "{", seventeen;
    for (int i = 15; i >= 0; --i) sixteen += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + (i ? "," : "}");
    seventeen = R"({"z":0,)" + sixteen.substr(1);
    const std::string texts[] = {
        "{}", " {\t} ", "[]", "\"\\u00e9\"", "-0", "1e400", "[1,2",
        R"({"a":0.25,"b":-12.50,"c":[1.0,0.000001,0.00001,-0.0]})",
        R"({"z":0.1234567890123456789,"y":{"x":[123456789012345.6,1234567890123456.7]},"a":100.000})",
        "{\"t\":" + tiny + ",\"n\":-" + tiny + ",\"big\":1" + std::string(290, '0') + ".5}",
        R"({"k\u0041":2.50,"k":[0.10,{"q":1.5e3}],"k":3.0})",
        "[0.5,{\"b\":2.25,\"a\":-0.75}]",
        R"({ "b" : "x" , "a" : -5 })", sixteen, seventeen,
        R"({"a":1,"b":2,"a":3})",
        R"({"k\u0041":1,"kA":2,"j":0})",
        R"({"s":"\u00e9","t":"a\"b","u":"Ã©","\u00e9":"\/"})",
        R"({"i":18446744073709551615,"j":-9223372036854775808,"k":12345678901234567890123,"l":-0,"m":-123456789012345678})",
        R"({"m":1.000,"n":0.000001,"o":0.00001,"p":-0.0,"q":123456789012345.6,"r":1234567890123456.7,"s":2.5e0})",
        R"({"o":{"b":1,"a":2},"a":[1,"x",2.50],"t":true,"f":false,"n":null})",
        // A dropped member holding objects out of order; a kept one too.
        R"({"d":{"y":{"b":1,"a":2},"x":0},"c":[{"q":1,"p":2}],"d":{"z":{"d":1,"c":2},"a":[{"b":1,"a":0}]}})",
        R"({"a":{"a":{"a":{"a":0,"a":1},"a":2},"a":3},"a":{"a":{"b":0,"a":0},"a":4}})",
    };
    for (const std::string& text : texts) expect_canonical_as_value_model(text);
}

TEST(JsonRead, CanonicalTextOfGeneratedObjectsIsTheValueModelsText) {
    // Objects of up to 166 members, from few to many, keys drawn from a
    // small alphabet so that they share prefixes, repeat, end inside one
    // another and sometimes carry an escape; values nest such objects.
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&](std::uint64_t bound) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return state % bound;
    };
    auto key = [&] {
        static const char* const pieces[] = {"a", "b", "\xc3\xa9"};
        std::string k;
        for (std::uint64_t i = 0, n = next(5); i < n; ++i) k += pieces[next(3)];
        return next(8) == 0 ? "\\u0061" + k : k;
    };
    std::function<std::string(int)> value = [&](int depth) -> std::string {
        if (depth == 0 || next(3) != 0) return std::to_string(next(100)) + (next(4) == 0 ? ".50" : "");
        if (next(4) == 0) return "[" + value(depth - 1) + "," + value(depth - 1) + "]";
        std::string o = "{";
        const std::uint64_t members = next(4) == 0 ? 17 + next(150) : next(6);
        for (std::uint64_t i = 0; i < members; ++i) o += (i ? ",\"" : "\"") + key() + "\":" + value(depth - 1);
        return o + "}";
    };
    for (int i = 0; i < 200; ++i) {
        const std::string text = value(4);
        ASSERT_TRUE(json::parse(text).ok()) << text;
        expect_canonical_as_value_model(text);
    }
}

TEST(JsonRead, NumbersAreClassifiedByTheirSpelling) {
    const std::pair<const char*, Value::Type> cases[] = {
        {"0", Value::Type::U64},
        {"18446744073709551615", Value::Type::U64},
        {"18446744073709551616", Value::Type::Double},
        {"-1", Value::Type::I64},
        {"-9223372036854775808", Value::Type::I64},
        {"-9223372036854775809", Value::Type::Double},
        {"1.0", Value::Type::Double},
        {"1e2", Value::Type::Double},
        {"-0", Value::Type::Double},  // not a negative integer
    };
    for (const auto& [text, type] : cases) {
        auto v = json::parse(text);
        ASSERT_TRUE(v.ok()) << text;
        EXPECT_EQ(v->type(), type) << text;
    }
    // Short integers are read digit by digit, longer ones by the library.
    const std::pair<const char*, std::uint64_t> values[] = {
        {"0", 0},
        {"7", 7},
        {"1700000300", 1700000300},
        {"9999999999999999999", 9999999999999999999ull},
        {"10000000000000000000", 10000000000000000000ull},
        {"18446744073709551615", 18446744073709551615ull},
    };
    for (const auto& [text, want] : values) {
        auto v = json::parse(text);
        ASSERT_TRUE(v.ok() && v->as_u64() != nullptr) << text;
        EXPECT_EQ(*v->as_u64(), want) << text;
    }
}

TEST(JsonRead, TypedIntegersReadAsTheTokenizerReadsThem) {
    // A record's integer, from the common short one to the faults and the
    // other kinds, each with its message.
    auto read = [](const char* text, bool optional) -> std::string {
        auto r = json::read_text<std::optional<std::uint64_t>>(
            text, quorent::ErrorKind::Input, [&](json::Reader& rd, std::optional<std::uint64_t>& v) {
                if (optional) return rd.optional_u64(v);
                std::uint64_t u = 0;
                quorent::Status s = rd.u64(u);
                v = u;
                return s;
            });
        if (!r.ok()) return "ERR " + r.error().detail;
        return r.value() ? std::to_string(*r.value()) : "none";
    };
    const std::pair<const char*, const char*> cases[] = {
        {"0", "0"},
        {" 7\n", "7"},
        {"1700000300", "1700000300"},
        {"9999999999999999999", "9999999999999999999"},
        {"18446744073709551615", "18446744073709551615"},
        {"01", "ERR invalid number at line 1 column 2"},
        {"1.5", "ERR invalid type: floating point `1.5`, expected u64 at line 1 column 3"},
        {"1e3", "ERR invalid type: floating point `1000.0`, expected u64 at line 1 column 3"},
        {"2E", "ERR EOF while parsing a value at line 1 column 2"},
        {"-1", "ERR invalid type: integer `-1`, expected u64 at line 1 column 2"},
        {"12x", "ERR trailing characters at line 1 column 3"},
        {"", "ERR EOF while parsing a value at line 1 column 0"},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(read(text, false), want) << text;
        EXPECT_EQ(read(text, true), want) << text;
    }
    EXPECT_EQ(read("null", true), "none");
    EXPECT_EQ(read("null", false), "ERR invalid type: null, expected u64 at line 1 column 4");
}

TEST(JsonRead, SyntaxFaultsNameThePlaceWhereAStreamingReaderStops) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "EOF while parsing a value at line 1 column 0"},
        {"   \n ", "EOF while parsing a value at line 2 column 1"},
        {"[", "EOF while parsing a list at line 1 column 1"},
        {"[1,", "EOF while parsing a value at line 1 column 3"},
        {"{\"a\"", "EOF while parsing an object at line 1 column 4"},
        {"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
        {"\"abc", "EOF while parsing a string at line 1 column 4"},
        {"[\"\xc3", "EOF while parsing a string at line 1 column 3"},
        {"[1 2]", "expected `,` or `]` at line 1 column 4"},
        {"{\"a\":1 \"b\"}", "expected `,` or `}` at line 1 column 8"},
        {"{\"a\" 1}", "expected `:` at line 1 column 6"},
        {"{a:1}", "key must be a string at line 1 column 2"},
        {"{\"a\":1,]", "key must be a string at line 1 column 8"},
        {"{\"a\":1,}", "trailing comma at line 1 column 8"},
        {"[1,]", "trailing comma at line 1 column 4"},
        {"[1,}", "trailing comma at line 1 column 4"},
        {"[tru]", "expected ident at line 1 column 5"},
        {"[nulL]", "expected ident at line 1 column 5"},
        {"[x]", "expected value at line 1 column 2"},
        {"[01]", "invalid number at line 1 column 3"},
        {"[-]", "invalid number at line 1 column 3"},
        {"[1.]", "invalid number at line 1 column 4"},
        {"[1.5e]", "invalid number at line 1 column 6"},
        {"1e400", "number out of range at line 1 column 5"},
        {"[1e400]", "number out of range at line 1 column 6"},
        {"[\"\\q\"]", "invalid escape at line 1 column 4"},
        {"[\"\\u12g4\"]", "invalid escape at line 1 column 7"},
        {"[\"a\x01\"]", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
        {"[\"a\nb\"]", "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"},
        {"[\"\\ud800\"]", "unexpected end of hex escape at line 1 column 9"},
        {"[\"\\ud800\\u0041\"]", "unexpected end of hex escape at line 1 column 14"},
        {"[\"\\udc00\"]", "lone leading surrogate in hex escape at line 1 column 8"},
        {"[\"\xff\"]", "invalid unicode code point at line 1 column 3"},
        {"[\"\xed\xa0\x80\"]", "invalid unicode code point at line 1 column 4"},  // a surrogate in UTF-8
        {"[] x", "trailing characters at line 1 column 4"},
        {"1 2", "trailing characters at line 1 column 3"},
        {"\xef\xbb\xbf[]", "expected value at line 1 column 1"},
        {"[\r\n 1,\r\n x]", "expected value at line 3 column 2"},
        // Columns count bytes, not characters.
        {"[\"\xc3\xa9\xc3\xa9\", x]", "expected value at line 1 column 10"},
    };
    for (const auto& c : cases) {
        auto v = json::parse(c.text);
        ASSERT_FALSE(v.ok()) << c.text;
        EXPECT_EQ(v.error().detail, c.message) << c.text;
        EXPECT_EQ(v.error().kind, quorent::ErrorKind::Input);
    }
    EXPECT_EQ(json::parse("[", quorent::ErrorKind::BadKey).error().kind, quorent::ErrorKind::BadKey);
    EXPECT_EQ(json::parse(std::string_view{}).error().detail, "EOF while parsing a value at line 1 column 0");
}

TEST(JsonRead, NumbersSkippedUnreadAreCheckedAsWhenRead) {
    // Skipping converts no fraction without exponent whose whole part is
    // short; its faults and verdicts are those of reading it.
    const std::string cases[] = {
        "0.25", "-12.5", "[1.0,2.5e3,-0.0,7]", "1" + std::string(298, '0') + ".5",
        "1" + std::string(310, '0') + ".5", "-1" + std::string(310, '0') + ".5", "0." + std::string(400, '0') + "1",
        "1e400", "1.5e-400", "[1.]", "[-0.x]", "{\"a\":[0.5,{\"b\":-3.25}]}",
    };
    for (const std::string& text : cases) {
        const auto read = json::parse(text);
        json::Reader r(text);
        quorent::Status s = r.skip();
        if (s.ok()) s = r.end();
        ASSERT_EQ(s.ok(), read.ok()) << text;
        if (!s.ok()) {
            EXPECT_EQ(s.error().detail, read.error().detail) << text;
        }
    }
}

TEST(JsonRead, NestingStopsAt127LevelsWhetherReadOrSkipped) {
    const std::string ok = std::string(127, '[') + std::string(127, ']');
    EXPECT_TRUE(json::parse(ok).ok());
    const std::string deep = std::string(128, '[') + std::string(128, ']');
    EXPECT_EQ(reparse(deep), "ERR recursion limit exceeded at line 1 column 128");
    std::string objects;
    for (int i = 0; i < 127; ++i) objects += "{\"a\":";
    objects += "[]" + std::string(127, '}');
    EXPECT_EQ(reparse(objects), "ERR recursion limit exceeded at line 1 column 636");
    // A million opening brackets: refused at the limit, without descending,
    // also inside a member that is skipped unread.
    EXPECT_EQ(reparse(std::string(1000000, '[')), "ERR recursion limit exceeded at line 1 column 128");
    EXPECT_EQ(reparse(std::string(1000000, '{')), "ERR key must be a string at line 1 column 2");
    const std::string skipped = "{\"z\":" + std::string(1000000, '[');
    EXPECT_EQ(quorent::token::jwk_thumbprint(std::string_view(skipped)).error().detail,
              "recursion limit exceeded at line 1 column 132");
}

TEST(JsonRead, LargeValuesReadWhole) {
    std::string wide = "[";
    for (int i = 0; i < 200000; ++i) wide += i ? ",1" : "1";
    wide += "]";
    auto v = json::parse(wide);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v->as_array()->size(), 200000u);
    const std::string long_string = "\"" + std::string(1 << 20, 'x') + "\"";
    EXPECT_EQ(json::to_string(json::parse(long_string).value()), long_string);
}
