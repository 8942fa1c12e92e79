// The ES256 verifier against Wycheproof's ECDSA P-256 SHA-256 cases in the
// fixed-width r || s form: every valid case accepted, every invalid one
// refused. The cases are in tests/data/wycheproof.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "quorent/encoding.hpp"
#include "quorent/json.hpp"
#include "quorent/token.hpp"

using namespace quorent;

namespace {

constexpr const char* kFile = "ecdsa_secp256r1_sha256_p1363_test.json";

Bytes hex(const std::string* text) {
    Bytes out;
    std::string message;
    if (text == nullptr || !hex_decode(*text, out, message)) ADD_FAILURE() << "bad hex in the case file";
    return out;
}

TEST(Es256Wycheproof, AcceptsExactlyTheValidCases) {
    const std::string path = std::string(QUORENT_TESTDATA_DIR) + "/wycheproof/" + kFile;
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << path;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto doc = json::parse(text);
    ASSERT_TRUE(doc.ok()) << doc.error().detail;
    const json::Array* groups = doc.value().find("testGroups")->as_array();
    ASSERT_NE(groups, nullptr);

    std::uint64_t run = 0;
    std::uint64_t valid = 0;
    for (const json::Value& group : *groups) {
        // The key (04 || x || y) as a one-key JWKS, the way a token's key reaches the verifier.
        const json::Value* public_key = group.find("publicKey");
        ASSERT_NE(public_key, nullptr);
        const Bytes point = hex(public_key->find_string("uncompressed"));
        ASSERT_EQ(point.size(), 65u);
        const std::string jwks = "{\"keys\":[{\"x\":\"" + base64url_encode(point.data() + 1, 32) + "\",\"y\":\"" +
                                 base64url_encode(point.data() + 33, 32) + "\"}]}";
        auto key = token::find_jwk(jwks, std::nullopt);
        ASSERT_TRUE(key.ok()) << jwks << ": " << key.error().detail;
        for (const json::Value& c : *group.find("tests")->as_array()) {
            const Bytes msg = hex(c.find_string("msg"));
            const Bytes sig = hex(c.find_string("sig"));
            const std::string* result = c.find_string("result");
            ASSERT_TRUE(result != nullptr && (*result == "valid" || *result == "invalid"));
            const bool expected = *result == "valid";
            const bool got = token::verify_es256(
                key.value(), std::string_view(reinterpret_cast<const char*>(msg.data()), msg.size()), sig);
            std::ostringstream flags;
            if (const json::Value* f = c.find("flags")) flags << json::to_string(*f);
            EXPECT_EQ(got, expected) << "tcId " << *c.find("tcId")->as_u64() << " (" << *c.find_string("comment")
                                     << ", " << flags.str() << ")";
            ++run;
            valid += expected ? 1 : 0;
        }
    }
    EXPECT_EQ(run, *doc.value().find("numberOfTests")->as_u64());
    EXPECT_GT(valid, 0u);
    EXPECT_LT(valid, run);
}

}  // namespace
