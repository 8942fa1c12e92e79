// PKCE through the exported functions: the generated pair as a record of two
// texts (the challenge vectors and authorize URLs are the core's).
#include "host.hpp"

using namespace host;

TEST(PkceAbi, GeneratedPairIsARecordOfTwoTexts) {
    std::string verifiers[2];
    for (auto& verifier : verifiers) {
        const Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_generate_pkce);
        ASSERT_TRUE(o.ok()) << o.message;
        Cursor c(o.value);
        verifier = c.str();
        const std::string challenge = c.str();
        EXPECT_TRUE(c.done());
        EXPECT_EQ(verifier.size(), 43u);
        EXPECT_EQ(challenge.size(), 43u);
        EXPECT_EQ(verifier.find_first_of("=+/"), std::string::npos);
        EXPECT_EQ(challenge.find_first_of("=+/"), std::string::npos);
        EXPECT_EQ(call(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, buf(verifier)).value, challenge);
    }
    EXPECT_NE(verifiers[0], verifiers[1]);
}

// The authorize URL is opened by the host in a browser or web view: only
// http and https issuers are accepted, whatever the parser would take. The
// parser strips leading blanks and removes tabs, so those spellings count too.
TEST(PkceAbi, AuthorizeUrlRefusesIssuersThatAreNotHttp) {
    const char* refused[] = {
        "javascript:alert(document.cookie)//",
        "JAVASCRIPT:alert(1)",
        " \t javascript:alert(1)",
        "java\tscript:alert(1)",
        "data:text/html,<script>alert(1)</script>",
        "file:///etc/passwd",
        "blob:https://issuer.example/uuid",
        "ftp://issuer.example/",
        "ws://issuer.example/",
        "wss://issuer.example/",
        "mailto:x",
        "com.example.app://callback",
        "httpx://issuer.example/",
    };
    for (const char* issuer : refused) {
        const Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url, buf(issuer), buf("c"), buf("r"),
                               buf("s"), buf("n"), buf("cc"));
        EXPECT_EQ(o.code, 1) << issuer;
        EXPECT_EQ(o.variant, 1) << issuer;
        EXPECT_EQ(o.message, "input: issuer must be an http or https URL") << issuer;
    }
    // Both accepted schemes, in any case and with the blanks the parser drops.
    const struct {
        const char* issuer;
        const char* prefix;
    } accepted[] = {
        {"HTTPS://192.0.2.1:443/x", "https://192.0.2.1/authorize?"},
        {" \thttp://localhost:8080/realms/a", "http://localhost:8080/authorize?"},
    };
    for (const auto& a : accepted) {
        const Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url, buf(a.issuer), buf("c"), buf("r"),
                               buf("s"), buf("n"), buf("cc"));
        ASSERT_TRUE(o.ok()) << a.issuer << ": " << o.message;
        EXPECT_EQ(o.value.rfind(a.prefix, 0), 0u) << o.value;
    }
}
