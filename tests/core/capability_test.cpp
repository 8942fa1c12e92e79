// Grants, caveats and delegation links: tolerant reading with exact
// messages, canonical writing, the delegation binding and chaining hashes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorent/capability.hpp"

using namespace quorent;
using namespace quorent::capability;

namespace {

const std::string kZeros64(64, '0');

template <class T>
std::string shown(const Result<T>& r, std::string (*write)(const T&)) {
    return r.ok() ? write(r.value()) : "ERR " + r.error().detail;
}

std::string text_of(const std::string& s) { return s; }

// Through the records, checked against the writing straight from the text
// (the exported operations' path), message for message.
std::string grants_roundtrip(std::string_view text) {
    const std::string owned = shown(grants_from_json(text), grants_to_json);
    EXPECT_EQ(shown(canonical_grants(text), text_of), owned) << text;
    return owned;
}

std::string delegation_roundtrip(std::string_view text) {
    const auto d = delegation_from_json(text);
    const std::string owned = shown(d, delegation_to_json);
    const auto hash = parent_ref_hash_link(text);
    EXPECT_EQ(hash.ok() ? "" : "ERR " + hash.error().detail, d.ok() ? "" : owned) << text;
    if (d.ok()) {
        EXPECT_EQ(hash.value(), hex_encode_var(parent_ref_hash_link(d.value()).data(), 32)) << text;
        EXPECT_EQ(shown(canonical_delegations("[" + std::string(text) + "]"), text_of), "[" + owned + "]") << text;
    }
    return owned;
}

std::string link_text(std::string_view extra = "", std::string_view label = kZeros64) {
    return R"({"iss":"a","to":"b","grants":[],"exp":1,"epoch_label":")" + std::string(label) +
           R"(","epoch":2,"sig":"ab")" + std::string(extra) + "}";
}

Grant simple_grant(std::string res, std::vector<std::string> act) {
    Grant g;
    g.res = std::move(res);
    g.act = std::move(act);
    return g;
}

}  // namespace

TEST(GrantJson, ReadingIsTolerantAndWritingCanonical) {
    const std::string canonical = R"([{"res":"r","act":["read"],"cav":{}}])";
    EXPECT_EQ(grants_roundtrip(R"([{"cav":{},"act":["read"],"res":"r"}])"), canonical);
    EXPECT_EQ(grants_roundtrip("[\n  {\n    \"cav\": {},\r\n\t\"act\": [ \"read\" ],\n    \"res\": \"r\"\n  }\n]\n"),
              canonical);
    // Unknown keys are read for well-formedness and dropped.
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","note":{"x":[1,{"y":null}]},"act":["read"],"cav":{}}])"), canonical);
    // Null optional caveats and an empty nb vanish.
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","act":["read"],"cav":{"exp":null,"max_uses":null,"nb":{}}}])"),
              canonical);
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","act":[],"cav":{"nb":{"b":1,"a":{"d":2.50,"c":true}}}}])"),
              R"([{"res":"r","act":[],"cav":{"nb":{"a":{"c":true,"d":2.5},"b":1}}}])");
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","act":[],"cav":{"nb":{"k":1,"k":[2]}, "max_uses":3,"exp":4}}])"),
              R"([{"res":"r","act":[],"cav":{"exp":4,"max_uses":3,"nb":{"k":[2]}}}])");
    // nb in key order at every level, whatever order, escapes, repeats and
    // number of members the text has.
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","act":[],"cav":{"nb":{"t":"x","r":0.250,"s":{"z":1E2,"y":[{"b":0,"a":-0}]}}}}])"),
              R"([{"res":"r","act":[],"cav":{"nb":{"r":0.25,"s":{"y":[{"a":-0.0,"b":0}],"z":100.0},"t":"x"}}}])");
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","act":[],"cav":{"nb":{"b":1,"\u0061":2,"c":3,"b":4}}}])"),
              R"([{"res":"r","act":[],"cav":{"nb":{"a":2,"b":4,"c":3}}}])");
    std::string many = R"([{"res":"r","act":[],"cav":{"nb":{)", many_sorted;
    for (char c = 'z'; c >= 'a'; --c) many += std::string(c == 'z' ? "" : ",") + '"' + c + "\":" + (c == 'q' ? "[]" : "0");
    for (char c = 'a'; c <= 'z'; ++c) many_sorted += std::string(c == 'a' ? "" : ",") + '"' + c + "\":" + (c == 'q' ? "[]" : "0");
    EXPECT_EQ(grants_roundtrip(many + "}}}]"), R"([{"res":"r","act":[],"cav":{"nb":{)" + many_sorted + "}}}]");
    // Many strings with escapes, and one longer than the reader's blocks for
    // decoded strings: each keeps its own bytes.
    std::string acts, acts_canonical;
    for (int i = 0; i < 1500; ++i) {
        acts += std::string(i == 0 ? "" : ",") + "\"\\u00e9" + std::to_string(i) + "\"";
        acts_canonical += std::string(i == 0 ? "" : ",") + "\"\xc3\xa9" + std::to_string(i) + "\"";
    }
    const std::string long_res(5000, 'r');
    EXPECT_EQ(grants_roundtrip(R"([{"res":"\/)" + long_res + R"(","act":[)" + acts + R"(],"cav":{}}])"),
              R"([{"res":"/)" + long_res + R"(","act":[)" + acts_canonical + R"(],"cav":{}}])");
    // Strings: a tab and U+0001 escaped, é and the solidus raw.
    EXPECT_EQ(grants_roundtrip(R"([{"res":"\t\u0001\u00e9\/","act":[],"cav":{}}])"),
              "[{\"res\":\"\\t\\u0001\xc3\xa9/\",\"act\":[],\"cav\":{}}]");
    EXPECT_EQ(grants_roundtrip("[]"), "[]");
    EXPECT_EQ(grants_roundtrip(R"([{"res":"r","act":[],"cav":{"max_uses":18446744073709551615}}])"),
              R"([{"res":"r","act":[],"cav":{"max_uses":18446744073709551615}}])");
    // The documented grant: 43 characters.
    const std::string text = grants_to_json({simple_grant("r", {"read", "write"})});
    EXPECT_EQ(text, R"([{"res":"r","act":["read","write"],"cav":{}}])");
    EXPECT_EQ(text.size(), 2u + 43u);
}

TEST(GrantJson, RecordFaultsCarryTheirMessageAndPosition) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {R"([{"res":"r","act":[]}])", "missing field `cav` at line 1 column 21"},
        {R"([{"cav":{}}])", "missing field `res` at line 1 column 11"},
        {"[{\"res\":\"r\",\"act\":[],\n \"res\":\"s\",\"cav\":{}}]", "duplicate field `res` at line 2 column 6"},
        {R"([{"res":"r","res" :"s"}])", "duplicate field `res` at line 1 column 18"},
        {R"([{"res":1,"act":[],"cav":{}}])", "invalid type: integer `1`, expected a string at line 1 column 9"},
        // Unsigned integers must fit 64 bits and be spelled as integers.
        {R"([{"res":"r","act":[],"cav":{"max_uses":18446744073709551616}}])",
         "invalid type: floating point `1.8446744073709552e19`, expected u64 at line 1 column 59"},
        {R"([{"res":"r","act":[],"cav":{"exp":-1}}])", "invalid type: integer `-1`, expected u64 at line 1 column 36"},
        {R"([{"res":"r","act":[],"cav":{"exp":1.5}}])",
         "invalid type: floating point `1.5`, expected u64 at line 1 column 37"},
        {R"([{"res":"r","act":[],"cav":{"exp":1e2}}])",
         "invalid type: floating point `100.0`, expected u64 at line 1 column 37"},
        {R"([{"res":"r","act":[],"cav":{"exp":-0}}])",
         "invalid type: floating point `-0.0`, expected u64 at line 1 column 36"},
        {R"([{"res":"r","act":[],"cav":{"exp":"5"}}])", "invalid type: string \"5\", expected u64 at line 1 column 37"},
        {R"([{"res":"r","act":"x","cav":{}}])", "invalid type: string \"x\", expected a sequence at line 1 column 21"},
        {R"([{"res":"r","act":{},"cav":{}}])", "invalid type: map, expected a sequence at line 1 column 18"},
        {R"([{"res":"r","act":[null],"cav":{}}])", "invalid type: null, expected a string at line 1 column 23"},
        {R"([{"res":"r","act":[true],"cav":{}}])",
         "invalid type: boolean `true`, expected a string at line 1 column 23"},
        {R"([{"res":"r","act":["a"],"cav":null}])", "invalid type: null, expected struct Caveats at line 1 column 34"},
        {R"([{"res":"r","act":["a"],"cav":{"nb":null}}])", "invalid type: null, expected a map at line 1 column 40"},
        {R"([{"res":"r","act":["a"],"cav":{"nb":[]}}])", "invalid type: sequence, expected a map at line 1 column 36"},
        {R"({})", "invalid type: map, expected a sequence at line 1 column 0"},
        {R"(null)", "invalid type: null, expected a sequence at line 1 column 4"},
        {R"(["x"])", "invalid type: string \"x\", expected struct Grant at line 1 column 4"},
        {R"([{"res":"a\"b\n","act":1}])", "invalid type: integer `1`, expected a sequence at line 1 column 24"},
        // The first fault from the left wins over a later syntax fault.
        {R"([{"res":7,"act":[)", "invalid type: integer `7`, expected a string at line 1 column 9"},
        {R"([{"res":"r","act":["a"],"cav":{}} x)", "expected `,` or `]` at line 1 column 35"},
        {R"([{"res":"r","act":["a"],"cav":{}}] x)", "trailing characters at line 1 column 36"},
    };
    for (const auto& c : cases) {
        auto g = grants_from_json(c.text);
        ASSERT_FALSE(g.ok()) << c.text;
        EXPECT_EQ(g.error().kind, ErrorKind::Input);
        EXPECT_EQ(g.error().detail, c.message) << c.text;
        EXPECT_EQ(g.error().display(), std::string("input: ") + c.message);
    }
}

TEST(GrantJson, FaultsInsideNbAreThoseOfTheObjectReadAlone) {
    // The free-form object is read where it stands: its faults, and their
    // places, are what reading it alone finds, shifted by what precedes it,
    // on the record path and on the direct path alike.
    const std::string head = R"([{"res":"r","act":["a"],"cav":{"nb":)";
    const std::string tail = "}}]";
    const std::string hex32(64, '0');
    for (const std::string& nb : std::vector<std::string>{R"({"a":1e400})", "{\"a\":\"x\x01\"}", R"({"a":1,})", R"({"a" 1})", R"({"a":[1 2]})",
                                 R"({"\u12g4":1})", R"({"b":1,"a":0.5,"c":{"d":tru}})", R"({"a":01})"}) {
        const auto alone = quorent::json::parse(nb);
        ASSERT_FALSE(alone.ok()) << nb;
        const std::string& m = alone.error().detail;
        const std::size_t at = m.rfind(" column ");
        const std::string want =
            m.substr(0, at + 8) + std::to_string(std::stoul(m.substr(at + 8)) + head.size());
        const std::string text = head + nb + tail;
        auto g = grants_from_json(text);
        ASSERT_FALSE(g.ok()) << text;
        EXPECT_EQ(g.error().detail, want) << text;
        auto b = delegation_binding(1, "i", "t", text, 2, hex32, 3, hex32);
        ASSERT_FALSE(b.ok()) << text;
        EXPECT_EQ(b.error().detail, want) << text;
    }
}

TEST(GrantJson, ArrayFormOfTheRecords) {
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"],{}]])"), R"([{"res":"r","act":["a"],"cav":{}}])");
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"],[1,null]]])"), R"([{"res":"r","act":["a"],"cav":{"exp":1}}])");
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"],[1,2,{"z":1}]]])"),
              R"([{"res":"r","act":["a"],"cav":{"exp":1,"max_uses":2,"nb":{"z":1}}}])");
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"]]])"),
              "ERR invalid length 2, expected struct Grant with 3 elements at line 1 column 12");
    EXPECT_EQ(grants_roundtrip(R"([[]])"),
              "ERR invalid length 0, expected struct Grant with 3 elements at line 1 column 3");
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"],[1]]])"),
              "ERR invalid length 1, expected struct Caveats with 3 elements at line 1 column 15");
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"],{} , 1]])"), "ERR trailing characters at line 1 column 18");
    EXPECT_EQ(grants_roundtrip(R"([["r",["a"],{},]])"), "ERR trailing comma at line 1 column 16");
}

TEST(DelegationJson, OptionalFieldsAndFixedKeyOrder) {
    const std::string base =
        R"({"iss":"a","to":"b","grants":[],"exp":1,"epoch_label":")" + kZeros64 + R"(","epoch":2,"sig":"ab")";
    EXPECT_EQ(delegation_roundtrip(link_text()), base + "}");
    EXPECT_EQ(delegation_roundtrip(link_text(R"(,"pubkey":null)")), base + "}");
    EXPECT_EQ(delegation_roundtrip(link_text(R"(,"kind":"x")")), base + R"(,"kind":"x"})");
    EXPECT_EQ(delegation_roundtrip(link_text(R"(,"salt":"s","root":"r","proof":"p","kind":"k","pubkey":"P")")),
              base + R"(,"pubkey":"P","kind":"k","proof":"p","root":"r","salt":"s"})");
    // Keys in any order, white space anywhere.
    EXPECT_EQ(delegation_roundtrip(" {\"sig\" : \"ab\" ,\"epoch\":2,\n\"epoch_label\":\"" + kZeros64 +
                                   "\",\"exp\":1,\"grants\":[ ],\"to\":\"b\",\"iss\":\"a\"} "),
              base + "}");
}

TEST(DelegationJson, EpochLabelIs32BytesOfHex) {
    const std::string upper = "ABCDEF" + std::string(58, '0');
    EXPECT_NE(delegation_roundtrip(link_text("", upper)).find("\"epoch_label\":\"abcdef" + std::string(58, '0')),
              std::string::npos);
    EXPECT_EQ(delegation_roundtrip(link_text("", std::string(62, '0'))),
              "ERR epoch_label must be 32 bytes at line 1 column 118");
    EXPECT_EQ(delegation_roundtrip(link_text("", std::string(66, '0'))),
              "ERR epoch_label must be 32 bytes at line 1 column 122");
    EXPECT_EQ(delegation_roundtrip(link_text("", "0x" + std::string(62, '0'))),
              "ERR Invalid character 'x' at position 1 at line 1 column 120");
    EXPECT_EQ(delegation_roundtrip(link_text("", std::string(63, '0'))),
              "ERR Odd number of digits at line 1 column 119");
    // Sixty-four characters that are not all digits: the first fault named.
    EXPECT_EQ(delegation_roundtrip(link_text("", std::string(63, '0') + "g")),
              "ERR Invalid character 'g' at position 63 at line 1 column 120");
    EXPECT_EQ(delegation_roundtrip(link_text("", "0g" + std::string(61, '0') + "z")),
              "ERR Invalid character 'g' at position 1 at line 1 column 120");
    EXPECT_EQ(delegation_roundtrip(R"({"epoch_label":5})"),
              "ERR invalid type: integer `5`, expected a string at line 1 column 16");
    // Reported after the white space that follows the value, and past a
    // closing brace; in the array form past a comma and its white space.
    EXPECT_EQ(delegation_roundtrip(R"({"epoch_label":"0"  })"), "ERR Odd number of digits at line 1 column 21");
    EXPECT_EQ(delegation_roundtrip(R"(["a","b",[],1,"00" , 2,"ab"])"),
              "ERR epoch_label must be 32 bytes at line 1 column 21");
    EXPECT_EQ(delegation_roundtrip(R"(["a","b",[],1,"00"  ])"), "ERR epoch_label must be 32 bytes at line 1 column 21");
}

TEST(DelegationJson, RequiredFieldsAndArrayForm) {
    EXPECT_EQ(delegation_roundtrip(R"({"iss":"a","grants":[],"exp":1,"epoch_label":")" + kZeros64 + "\"}"),
              "ERR missing field `to` at line 1 column 112");
    const std::string arr = R"(["a","b",[],1,")" + kZeros64 + R"(",2)";
    EXPECT_EQ(delegation_roundtrip(arr + R"(,"ab"])"), delegation_roundtrip(link_text()));
    EXPECT_EQ(delegation_roundtrip(arr + R"(,"ab",null,"k"])"), delegation_roundtrip(link_text(R"(,"kind":"k")")));
    EXPECT_EQ(delegation_roundtrip(arr + "]"),
              "ERR invalid length 6, expected struct Delegation with 12 elements at line 1 column 83");
    EXPECT_EQ(delegation_roundtrip(arr + R"(,"ab",null,null,null,null,null,7])"),
              "ERR trailing characters at line 1 column 114");
}

TEST(DelegationJson, ListsOfLinks) {
    auto links = delegations_from_json("[" + link_text() + "," + link_text(R"(,"pubkey":"P")") + "]");
    ASSERT_TRUE(links.ok());
    ASSERT_EQ(links->size(), 2u);
    EXPECT_EQ((*links)[1].pubkey, "P");
    EXPECT_EQ(delegations_to_json(links.value()), "[" + delegation_roundtrip(link_text()) + "," +
                                                      delegation_roundtrip(link_text(R"(,"pubkey":"P")")) + "]");
    EXPECT_EQ(delegations_to_json({}), "[]");
    EXPECT_FALSE(delegations_from_json(link_text()).ok());
}

TEST(DelegationBinding, LabelAndParentHashAre32BytesOfHexEitherCase) {
    const std::string grants = R"([{"res":"r","act":["x"],"cav":{}}])";
    const std::string lower = "0123456789abcdef" + std::string(48, 'e');
    const std::string upper = "0123456789ABCDEF" + std::string(48, 'E');
    const auto want = delegation_binding(1, "i", "t", grants, 2, lower, 3, lower);
    ASSERT_TRUE(want.ok());
    EXPECT_EQ(delegation_binding(1, "i", "t", grants, 2, upper, 3, lower).value(), want.value());
    EXPECT_EQ(delegation_binding(1, "i", "t", grants, 2, lower, 3, upper).value(), want.value());
    const std::string bad[] = {std::string(63, '0') + "g", "g" + std::string(63, '0'), std::string(62, '0') + "\xc3\xa9",
                               std::string(62, '0')};
    const char* messages[] = {"Invalid character 'g' at position 63", "Invalid character 'g' at position 0",
                              nullptr, "expected 32 bytes of hex"};
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        for (bool label : {true, false}) {
            const auto b = delegation_binding(1, "i", "t", grants, 2, label ? bad[i] : lower, 3, label ? lower : bad[i]);
            ASSERT_FALSE(b.ok()) << i;
            const auto plain = hex_decode(bad[i], ErrorKind::Crypto);
            const std::string expected = messages[i] != nullptr ? messages[i] : plain.error().detail;
            EXPECT_EQ(b.error().detail, expected) << i;
            EXPECT_EQ(b.error().kind, i + 1 == std::size(bad) ? ErrorKind::Plain : ErrorKind::Crypto) << i;
        }
    }
}

TEST(DelegationBinding, FieldsAreLengthPrefixedAndGrantsCanonical) {
    Bytes32 label{}, parent{};
    label[0] = 0xAA;
    parent[31] = 0xBB;
    const std::vector<Grant> grants = {simple_grant("r", {"x"})};
    const std::string g = grants_to_json(grants);
    const Bytes b = delegation_binding(0x0102030405060708, "iss\xc3\xa9", "", grants, UINT64_MAX, label, 0, parent);
    ASSERT_EQ(b.size(), 128u + 5u + 0u + g.size());
    EXPECT_EQ(hex_encode_var(Bytes(b.begin() + 16, b.begin() + 24)), "0102030405060708");
    EXPECT_EQ(hex_encode_var(Bytes(b.begin() + 24, b.begin() + 37)), "0000000000000005697373c3a9");
    EXPECT_EQ(hex_encode_var(Bytes(b.begin() + 37, b.begin() + 45)), "0000000000000000");
    EXPECT_EQ(std::string(b.begin() + 53, b.begin() + 53 + static_cast<long>(g.size())), g);
    EXPECT_EQ(b[b.size() - 1], 0xBB);

    // Any text that reads into the same grants gives the same binding.
    for (const char* text : {R"([{"res":"r","act":["x"],"cav":{}}])", R"([ {"cav":{ },"act":[ "x" ],"res":"r"} ])",
                             R"([{"res":"r","act":["x"],"cav":{"nb":{}},"extra":1}])", R"([["r",["x"],{}]])"}) {
        auto parsed = grants_from_json(text);
        ASSERT_TRUE(parsed.ok()) << text;
        EXPECT_EQ(
            delegation_binding(0x0102030405060708, "iss\xc3\xa9", "", parsed.value(), UINT64_MAX, label, 0, parent), b)
            << text;
    }
}

TEST(Delegate, SignsTheBindingAndBuildsTheLink) {
    Bytes32 label{}, parent{};
    label[5] = 7;
    const std::vector<Grant> grants = {simple_grant("r", {"x"})};
    Bytes seen;
    auto link = delegate(9, "a", "b", grants, 100, label, 4, parent, std::string("PubKEY"), [&](const Bytes& binding) {
        seen = binding;
        return Bytes{0xAB, 0xCD};
    });
    ASSERT_TRUE(link.ok());
    EXPECT_EQ(seen, delegation_binding(9, "a", "b", grants, 100, label, 4, parent));
    EXPECT_EQ(link->sig, "abcd");
    EXPECT_EQ(link->epoch_label, label);
    EXPECT_FALSE(link->kind || link->proof || link->root || link->salt);

    auto failed = delegate(9, "a", "b", {}, 1, label, 4, parent, std::nullopt,
                           [](const Bytes&) -> Result<Bytes> { return make_error(ErrorKind::Crypto, "no signer"); });
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().display(), "crypto: no signer");
}

TEST(GrantJson, StringsOfTheTextCopiedOthersEscaped) {
    // Strings without escapes are copied from the text as they stand (raw
    // UTF-8 and DEL included); the link's own fields come from arguments and
    // are escaped even where an argument's bytes lie inside the grants' text.
    const std::string grants = "[{\"res\":\"q\\\"\xc3\xa9\x7f\",\"act\":[\"\xc3\xa9\"],\"cav\":{}}]";
    EXPECT_EQ(grants_roundtrip(grants), "[{\"res\":\"q\\\"\xc3\xa9\x7f\",\"act\":[\"\xc3\xa9\"],\"cav\":{}}]");
    EXPECT_EQ(grants_roundtrip("[{\"res\":\"r\",\"act\":[],\"cav\":{\"nb\":{\"b\":[\"\xc3\xa9\x7f\",\"\"],\"a\":\"\\u00e9\\\"\"}}}]"),
              "[{\"res\":\"r\",\"act\":[],\"cav\":{\"nb\":{\"a\":\"\xc3\xa9\\\"\",\"b\":[\"\xc3\xa9\x7f\",\"\"]}}}]");
    delegation_roundtrip(link_text(",\"pubkey\":\"\xc3\xa9\x7f\",\"kind\":\"\\u0041\"").replace(7, 3, "\"\\\\\""));
    const std::string label(64, 'a');
    const std::string_view inside = std::string_view(grants).substr(grants.find("q\\\""), 3);  // q\"
    const auto want = delegate(1, std::string(inside), "t", grants, 2, label, 3, label, std::string(inside), "abcd");
    ASSERT_TRUE(want.ok());
    EXPECT_NE(want->find(R"("iss":"q\\\"")"), std::string::npos) << want.value();
    EXPECT_NE(want->find(R"("pubkey":"q\\\"")"), std::string::npos) << want.value();
    EXPECT_EQ(delegate(1, inside, "t", grants, 2, label, 3, label, inside, "abcd").value(), want.value());
}
