// PKCE and the authorize URL through the exported functions, as a host calls them.
#include "host.hpp"

using namespace host;

namespace {

Outcome challenge_of(const std::string& verifier) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, buf(verifier));
}

Outcome authorize(const std::string& issuer, const std::string& client_id, const std::string& redirect_uri,
                  const std::string& state, const std::string& nonce, const std::string& code_challenge) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url, buf(issuer), buf(client_id), buf(redirect_uri),
                buf(state), buf(nonce), buf(code_challenge));
}

}  // namespace

TEST(PkceAbi, GeneratedPairIsARecordOfTwoTexts) {
    std::string verifiers[2];
    for (auto& verifier : verifiers) {
        RustCallStatus st = fresh_status();
        RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_generate_pkce(&st);
        Outcome o;
        read_status(st, o);
        ASSERT_EQ(o.code, 0) << o.message;
        Cursor c(take(r));
        verifier = c.str();
        const std::string challenge = c.str();
        EXPECT_TRUE(c.done());
        EXPECT_EQ(verifier.size(), 43u);
        EXPECT_EQ(challenge.size(), 43u);
        EXPECT_EQ(verifier.find_first_of("=+/"), std::string::npos);
        EXPECT_EQ(challenge_of(verifier).value, challenge);
    }
    EXPECT_NE(verifiers[0], verifiers[1]);
}

TEST(PkceAbi, ChallengeOfAnyText) {
    EXPECT_EQ(challenge_of("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk").value,
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const Outcome empty = challenge_of("");
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.value, "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU");
}

TEST(PkceAbi, AuthorizeUrl) {
    const Outcome o = authorize("HTTPS://192.0.2.1:443/x/y?tenant=1#top", "c", "https://192.0.2.9/cb?a=b", "s t", "",
                                "abc");
    ASSERT_TRUE(o.ok()) << o.message;
    EXPECT_EQ(o.value,
              "https://192.0.2.1/authorize?tenant=1&response_type=code&client_id=c&redirect_uri=https%3A%2F%2F192.0.2.9"
              "%2Fcb%3Fa%3Db&state=s+t&nonce=&code_challenge=abc&code_challenge_method=S256#top");
    EXPECT_EQ(authorize("https://192.0.2.1:8443/realms/a/", "v", "v", "v", "v", "v").value,
              "https://192.0.2.1:8443/authorize?response_type=code&client_id=v&redirect_uri=v&state=v&nonce=v"
              "&code_challenge=v&code_challenge_method=S256");
}

TEST(PkceAbi, UnparsableIssuerIsAnInputError) {
    EXPECT_SDK_ERROR(authorize("issuer.example", "v", "v", "v", "v", "v"), 1, "input: relative URL without a base");
    EXPECT_SDK_ERROR(authorize("https://issuer.example:99999", "v", "v", "v", "v", "v"), 1,
                     "input: invalid port number");

    RustCallStatus st = fresh_status();
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url(buf("https://"), buf(""), buf(""), buf(""),
                                                                         buf(""), buf(""), &st);
    EXPECT_EQ(r.data, nullptr);
    ASSERT_EQ(st.code, 1);
    EXPECT_EQ(take(st.error_buf), sdk_error_bytes(1, "input: empty host"));
}
