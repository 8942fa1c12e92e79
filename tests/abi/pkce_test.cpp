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
