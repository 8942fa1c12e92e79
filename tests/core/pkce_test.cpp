#include "quorent/pkce.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quorent;
using pkce::build_authorize_url;

constexpr const char* kSuffix = "code_challenge_method=S256";

TEST(Pkce, ChallengeVectors) {
    // RFC 7636, Appendix B.
    EXPECT_EQ(pkce::pkce_challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    // SHA-256 of no bytes; any text is accepted, unnormalized.
    EXPECT_EQ(pkce::pkce_challenge(""), "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU");
    EXPECT_NE(pkce::pkce_challenge(" x"), pkce::pkce_challenge("x"));
}

TEST(Pkce, AuthorizeUrl) {
    auto url = build_authorize_url("HTTPS://192.0.2.1:443/x/y?tenant=1#top", "c", "https://192.0.2.9/cb?a=b", "s t", "",
                                   "abc");
    ASSERT_TRUE(url.ok());
    EXPECT_EQ(url.value(),
              "https://192.0.2.1/authorize?tenant=1&response_type=code&client_id=c&redirect_uri=https%3A%2F%2F192.0.2.9"
              "%2Fcb%3Fa%3Db&state=s+t&nonce=&code_challenge=abc&code_challenge_method=S256#top");

    const std::string params =
        "response_type=code&client_id=v&redirect_uri=v&state=v&nonce=v&code_challenge=v&code_challenge_method=S256";
    EXPECT_EQ(build_authorize_url("https://192.0.2.1/", "v", "v", "v", "v", "v").value(),
              "https://192.0.2.1/authorize?" + params);
    EXPECT_EQ(build_authorize_url("https://192.0.2.1:8443/realms/a/", "v", "v", "v", "v", "v").value(),
              "https://192.0.2.1:8443/authorize?" + params);
    // No path at all, an empty query, user information, an international host.
    EXPECT_EQ(build_authorize_url("https://issuer.example", "v", "v", "v", "v", "v").value(),
              "https://issuer.example/authorize?" + params);
    EXPECT_EQ(build_authorize_url("https://issuer.example/p?#f", "v", "v", "v", "v", "v").value(),
              "https://issuer.example/authorize?" + params + "#f");
    EXPECT_EQ(build_authorize_url(" http://u:p@B\xC3\xBC"
                                  "cher.example:8080/r ",
                                  "v", "v", "v", "v", "v")
                  .value(),
              "http://u:p@xn--bcher-kva.example:8080/authorize?" + params);
}

TEST(Pkce, AuthorizeUrlValueEncoding) {
    const auto url = build_authorize_url("https://i.example/", "*-._~", "\xC3\xA9+", "a b", "&=", "%");
    ASSERT_TRUE(url.ok());
    EXPECT_EQ(url.value(),
              "https://i.example/authorize?response_type=code&client_id=*-._%7E&redirect_uri=%C3%A9%2B&state=a+b"
              "&nonce=%26%3D&code_challenge=%25&" +
                  std::string(kSuffix));
}

TEST(Pkce, AuthorizeUrlFailures) {
    const struct {
        const char* issuer;
        const char* detail;
    } cases[] = {
        // The URL parser's reasons (all of them in its own test), as Input failures.
        {"issuer.example", "relative URL without a base"},
        {"https://issuer.example:99999/", "invalid port number"},
        {"https://user@/x", "empty host"},
    };
    for (const auto& c : cases) {
        const auto url = build_authorize_url(c.issuer, "v", "v", "v", "v", "v");
        ASSERT_FALSE(url.ok()) << c.issuer;
        EXPECT_EQ(url.error().kind, ErrorKind::Input) << c.issuer;
        EXPECT_EQ(url.error().display(), std::string("input: ") + c.detail) << c.issuer;
    }
}

}  // namespace
