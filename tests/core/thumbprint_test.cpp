// Token pieces: the JWK thumbprint (issuer key id) and the claims reader.
#include <gtest/gtest.h>

#include "quorent/token.hpp"

using namespace quorent;
using namespace quorent::token;

namespace {

// EC public keys exported by an independent JOSE implementation, with the
// thumbprints that implementation computed for them.
struct Vector {
    const char* jwk;
    const char* thumbprint;
} const kVectors[] = {
    {R"({"kty":"EC","x":"oL9km5uBw0ny4G8YQ0vAdxINwQskA9dluInE5u-_01Q","y":"hAZ-3Cm2_Vkn68tsn9ssZbquwYd708Vi9uDNrzf6A8s","crv":"P-256"})",
     "6af6f9646ed25620e5348137599540494e4246cecb8fbe6c93941ce948d0d3a1"},
    {R"({"kty":"EC","x":"Ja3x5CssQQK5zQvXA8nNlZ2jtSW4dRujPj2mavEuE-UbGM8jJXaBr5o5rUnU8sQL","y":"WHT-m968jHSLgbCRTxu6CmVCJZau7ywcdiv4xbc9Q7hE-I_pEEo1XSo1GWx2h7Wy","crv":"P-384"})",
     "9755aca6678fdaff7553b23a1d1459f47fe9a77453d298e1b3ed749d905086a4"},
    {R"({"kty":"EC","x":"AQLUzTdoX57Oeg_tT0O7WP1aulvlTHOe5aS3mJ4HBY131vKv6Zsk87bM5uYz2YZkSPIN54TwKRE6YXd_AsVs3bBs","y":"AJwx2mbYijU3ied_O3ljgSJTT7T7exlXowddQSbuPi_J4KlEZ9Jp61s_zsQWmUqnraCfCbiidAOOa8RpuOjY8lVA","crv":"P-521"})",
     "3048020ec2409e2c2d3c4e4244d3f78461c397966f79963a46c7f64c03052d3c"},
};

std::string thumb(std::string_view jwk) {
    auto t = jwk_thumbprint(jwk);
    return t.ok() ? t.value() : t.error().display();
}

}  // namespace

TEST(JwkThumbprint, MatchesAnIndependentImplementation) {
    for (const auto& v : kVectors) EXPECT_EQ(thumb(v.jwk), v.thumbprint) << v.jwk;
}

TEST(JwkThumbprint, OnlyTheRequiredMembersCount) {
    const char* p256 = kVectors[0].thumbprint;
    // Other member order, white space, extra members (a private "d" too),
    // and a JSON escape in the curve name change nothing.
    EXPECT_EQ(thumb(R"( { "crv" : "P-256", "y":"hAZ-3Cm2_Vkn68tsn9ssZbquwYd708Vi9uDNrzf6A8s",
        "kid":"k1","use":"sig","alg":"ES256","d":"secret",
        "x":"oL9km5uBw0ny4G8YQ0vAdxINwQskA9dluInE5u-_01Q", "kty":"EC" } )"),
              p256);
    EXPECT_EQ(
        thumb(
            R"({"kty":"EC","x":"oL9km5uBw0ny4G8YQ0vAdxINwQskA9dluInE5u-_01Q","y":"hAZ-3Cm2_Vkn68tsn9ssZbquwYd708Vi9uDNrzf6A8s","crv":"P\u002d256"})"),
        p256);
    // Neither the curve nor the coordinates are checked.
    EXPECT_EQ(thumb(R"({"kty":"EC","crv":"X","x":"not base64!","y":""})").size(), 64u);
}

TEST(JwkThumbprint, RefusalsInCheckingOrder) {
    // RFC 7638's worked example is an RSA key, which has no thumbprint here.
    EXPECT_EQ(
        thumb(
            R"({"kty":"RSA","n":"0vx7agoebGcQSuuPiLJXZptN9nndrQmbXEps2aiAFbWhM78LhWx4cbbfAAtVT86zwu1RK7aPFFxuhDR1L6tSoc_BJECPebWKRXjBZCiFV4n3oknjhMstn64tZ_2W-5JsGY4Hc5n9yBXArwl93lqt7_RN5w6Cf0h4QyQ5v-65YGjQR0_FDW2QvzqY368QQMicAtaSqzs8KJZgnYb9c7d0zgdAZHzu6qMQvRL5hajrn1n91CbOpbISD08qNLyrdkt-bFTWhAI4vMQFh6WeZu0fM4lFd2NcRwr3XPksINHaQ-G_xBniIqbw0Ls1jF44-csFCur-kEgU8awapJzKnqDKgw","e":"AQAB","alg":"RS256","kid":"2011-04-29"})"),
        "bad key: unsupported kty");
    EXPECT_EQ(thumb(R"({"kty":"ec","crv":"P-256","x":"a","y":"b"})"), "bad key: unsupported kty");
    EXPECT_EQ(thumb(R"({"kty":1,"crv":"P-256","x":"a","y":"b"})"), "bad key: missing kty");
    EXPECT_EQ(thumb(R"(["kty","EC"])"), "bad key: missing kty");
    EXPECT_EQ(thumb(R"("EC")"), "bad key: missing kty");
    EXPECT_EQ(thumb(R"({"kty":"EC","x":"a","y":"b"})"), "bad key: missing crv");
    EXPECT_EQ(thumb(R"({"kty":"EC","crv":"P-256","x":null,"y":"b"})"), "bad key: missing x");
    EXPECT_EQ(thumb(R"({"kty":"EC","crv":"P-256","x":"a"})"), "bad key: missing y");
    EXPECT_EQ(thumb(R"({"kty":"EC",})"), "bad key: trailing comma at line 1 column 13");
    EXPECT_EQ(thumb(""), "bad key: EOF while parsing a value at line 1 column 0");
}

TEST(JwksJson, TheKeyIsChosenAsIfTheWholeSetWereRead) {
    // A repeated member keeps its last value, a member that is no string
    // counts as absent, and a key matches by its own kid or its thumbprint.
    const std::string thumb_of_second = thumb(R"({"kty":"EC","crv":"P-256","x":"AA","y":"AA"})");
    struct Case {
        std::string jwks;
        std::optional<std::string> kid;
        const char* message;
    } const cases[] = {
        {R"({"keys":[{"kid":"a","x":"AA","y":"AA"}],"keys":[]})", std::nullopt, "bad key: no matching key"},
        {R"({"keys":[{"kid":"a","x":1,"y":"AA"}]})", "a", "bad key: no x"},
        {R"({"keys":[{"kid":"a","x":"AA","x":null,"y":"AA"}]})", "a", "bad key: no x"},
        {R"({"keys":[{"kid":"b","x":"AA","y":"AA"},{"kid":"a","x":"AA"}]})", "a", "bad key: no y"},
        {R"({"keys":[{"kid":"a","kid":1,"x":"AA"},{"kty":"EC","crv":"P-256","x":"AA","y":"AA"}]})", "a",
         "bad key: no matching key"},
        {R"({"keys":[{"kid":"a","x":"AA"},{"kty":"EC","crv":"P-256","x":"AA","y":"AA"}]})", thumb_of_second,
         "bad key: x/y must be 32 bytes"},
        {R"({"keys":[1,{"kid":"a"}]})", std::nullopt, "bad key: no x"},
        // Members after the chosen key are still checked.
        {R"({"keys":[{"kid":"a","x":"AA"},{"kid":"b",}]})", "a", "bad key: trailing comma at line 1 column 42"},
        {R"({"keys":[{"kid":"a","x":"AA"}],"z":[1 2]})", "a", "bad key: expected `,` or `]` at line 1 column 39"},
    };
    for (const auto& c : cases) {
        auto key = find_jwk(c.jwks, c.kid);
        ASSERT_FALSE(key.ok()) << c.jwks;
        EXPECT_EQ(key.error().display(), c.message) << c.jwks;
    }
}

TEST(ClaimsJson, RequiredOptionalAndDefaultedClaims) {
    auto c = claims_from_json(R"({"aud":"a","exp":5,"sub":"s","iss":"i","extra":[1,{"x":null}]})");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.value(), (Claims{"i", "s", "a", 5, 0, std::nullopt, std::nullopt}));

    c = claims_from_json(
        R"({"iss":"i","sub":"s","aud":"a","exp":18446744073709551615,"iat":3,"tid":null,"nonce":"n"})");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.value(), (Claims{"i", "s", "a", UINT64_MAX, 3, std::nullopt, "n"}));

    c = claims_from_json(R"(["i","s","a",5,1,2,"n"])");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.value(), (Claims{"i", "s", "a", 5, 1, 2, "n"}));
    c = claims_from_json(R"(["i","s","a",5])");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c->iat, 0u);
}

TEST(ClaimsJson, Refusals) {
    auto msg = [](std::string_view text) {
        auto c = claims_from_json(text);
        return c.ok() ? std::string("OK") : c.error().display();
    };
    EXPECT_EQ(msg(R"({"iss":"i","sub":"s","aud":["a"],"exp":5})"),
              "jwt: invalid type: sequence, expected a string at line 1 column 27");
    EXPECT_EQ(msg(R"({"sub":"s","exp":5})"), "jwt: missing field `iss` at line 1 column 19");
    EXPECT_EQ(msg(R"({"iss":"i","sub":"s","exp":5})"), "jwt: missing field `aud` at line 1 column 29");
    EXPECT_EQ(msg(R"({"iss":"i","iss":"j"})"), "jwt: duplicate field `iss` at line 1 column 16");
    EXPECT_EQ(msg(R"({"iss":"i","sub":"s","aud":"a","exp":-5})"),
              "jwt: invalid type: integer `-5`, expected u64 at line 1 column 39");
    EXPECT_EQ(msg(R"({"iss":"i","sub":"s","aud":"a","exp":5,"iat":null})"),
              "jwt: invalid type: null, expected u64 at line 1 column 49");
    EXPECT_EQ(msg(R"({"iss":"i","sub":"s","aud":"a","exp":5,"tid":"7"})"),
              "jwt: invalid type: string \"7\", expected u64 at line 1 column 48");
    EXPECT_EQ(msg(R"(["i","s","a"])"),
              "jwt: invalid length 3, expected struct Claims with 7 elements at line 1 column 13");
    EXPECT_EQ(msg(R"(["i","s","a",5,1,2,"n",3])"), "jwt: trailing characters at line 1 column 24");
    EXPECT_EQ(claims_from_json("{", ErrorKind::Input).error().display(),
              "input: EOF while parsing an object at line 1 column 1");
}
