// Client-credentials assertion: the message, and its signature by keys given
// as hex text (the wallet vectors over the assertion text, vectors.hpp).
#include <gtest/gtest.h>

#include <string>

#include "quorent/assertion.hpp"
#include "vectors.hpp"

using namespace quorent;
using namespace quorent::assertion;
using vectors::kKeys;

TEST(ClientAssertion, Message) {
    EXPECT_EQ(build_client_assertion("", 0, "", UINT64_MAX),
              "Quorent client-credentials\ndomain: \ntenant: 0\nnonce: \nissued-at: 18446744073709551615");
    EXPECT_EQ(build_client_assertion("d", 1, "a\nb", 2),
              "Quorent client-credentials\ndomain: d\ntenant: 1\nnonce: a\nb\nissued-at: 2");
}

TEST(ClientAssertion, KeyTextFormsAndRefusals) {
    const std::string a = kKeys[1].key, b = kKeys[3].key;
    const std::string sig_a = "0x" + std::string(kKeys[1].sigs[vectors::kTextAssertion]);
    const std::string sig_b = "0x" + std::string(kKeys[3].sigs[vectors::kTextAssertion]);
    std::string upper = a;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::pair<std::string, std::string> cases[] = {
        {a, sig_a},
        {"0x" + a, sig_a},
        {"0x0x" + a, sig_a},
        {upper, sig_a},
        {b, sig_b},
        {b.substr(2), sig_b},  // 31 bytes sign like the same value padded to 32
        {"0X" + a, "input: Invalid character 'X' at position 1"},
        {a.substr(1), "input: Odd number of digits"},
        {"zz" + a.substr(2), "input: Invalid character 'z' at position 0"},
        {std::string(46, '1'), "crypto: signature error"},  // 23 bytes
        {std::string(66, '1'), "crypto: signature error"},  // 33 bytes
        {"", "crypto: signature error"},
        {std::string(64, '0'), "crypto: signature error"},
        {std::string(vectors::kOrder), "crypto: signature error"},
    };
    for (const auto& [key, want] : cases) {
        auto r = sign_client_assertion(key, "shop.test", 7, "n-1", 1700000000);
        EXPECT_EQ(r.ok() ? r.value() : r.error().display(), want) << key;
    }
}
