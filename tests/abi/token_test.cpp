// verify_token_at through the exported function: the Claims record's nested
// form (the refusals are the core's, with their kind prefix).
#include "host.hpp"
#include "vectors.hpp"

using namespace host;

TEST(VerifyTokenAt, ReturnsTheClaimsRecord) {
    const auto verify = [](uint64_t now) {
        return call(uniffi_quorent_sdk_uniffi_fn_func_verify_token_at, buf(vectors::kTokKid), buf(vectors::kJwks),
                    buf("https://auth.quorent.test/"), buf("app"), now);
    };
    Outcome o = verify(1700000060);
    ASSERT_TRUE(o.ok()) << o.message;
    Cursor c(o.value);
    EXPECT_EQ(c.str(), "https://auth.quorent.test/");
    EXPECT_EQ(c.str(), "user-42");
    EXPECT_EQ(c.str(), "app");
    EXPECT_EQ(c.u64(), 1700000000u);
    EXPECT_EQ(c.u64(), 1699990000u);
    EXPECT_EQ(c.opt_u64(), std::optional<uint64_t>(7));
    EXPECT_EQ(c.opt_str(), std::optional<std::string>("n-1"));
    EXPECT_TRUE(c.done());
    EXPECT_SDK_ERROR(verify(1700000061), 1, "claim: expired");
}
