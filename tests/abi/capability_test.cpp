// Capabilities and delegation through the exported C functions: the binding
// a delegator signs, link assembly from a precomputed signature, chaining
// hashes and capability deeds.
#include <string>

#include "host.hpp"

using namespace host;

namespace {

const std::string kZero32(64, '0');
const std::string kGrants = R"([{"res":"r","act":["x"],"cav":{}}])";

std::string text(const Outcome& o) {
    EXPECT_TRUE(o.ok()) << o.message;
    return o.ok() ? o.value : std::string();
}

Outcome binding(uint64_t tenant, const std::string& iss, const std::string& to, const std::string& grants, uint64_t exp,
                const std::string& label, uint64_t epoch, const std::string& parent) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_delegation_binding, tenant, buf(iss), buf(to), buf(grants), exp,
                buf(label), epoch, buf(parent));
}

Outcome delegate(const std::string& grants, const std::string& label, const std::string& parent,
                 const std::string& pubkey_nested, const std::string& sig, const std::string& iss = "a",
                 const std::string& to = "b", uint64_t tenant = 1, uint64_t exp = 2, uint64_t epoch = 3) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_delegate, tenant, buf(iss), buf(to), buf(grants), exp, buf(label),
                epoch, buf(parent), buf(pubkey_nested), buf(sig));
}

Outcome root_hash(const std::string& id) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root, buf(id));
}
Outcome link_hash(const std::string& json) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link, buf(json));
}

Outcome mint(const Deed& base, const std::string& grants, const std::string& chain) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed, buf(base.nested_form()), buf(grants),
                buf(chain));
}

}  // namespace

TEST(DelegationBindingAbi, TheMinimalBinding) {
    const std::string tail = "00000000000000025b5d"
                             "0000000000000002" +
                             kZero32 + "0000000000000003" + kZero32;
    const std::string expected = hex_of("quorent-deleg-v1") + "0000000000000001" + "000000000000000161" +
                                 "000000000000000162" + tail;
    EXPECT_EQ(text(binding(1, "a", "b", "[]", 2, kZero32, 3, kZero32)), expected);
    EXPECT_EQ(expected.size(), 2u * 132u);
    // Empty texts arrive as buffers without storage: only their length prefixes.
    EXPECT_EQ(text(binding(1, "", "", "[]", 2, kZero32, 3, kZero32)),
              hex_of("quorent-deleg-v1") + "0000000000000001" + std::string(32, '0') + tail);
}

TEST(DelegationBindingAbi, HexArgumentsAndFaultsInOrder) {
    // Hex of either case decodes to the same bytes.
    const std::string label = "ABCDEF" + std::string(58, '0');
    EXPECT_EQ(text(binding(5, "iss", "to", kGrants, 9, label, 1, kZero32)),
              text(binding(5, "iss", "to", kGrants, 9, "abcdef" + std::string(58, '0'), 1, kZero32)));

    EXPECT_SDK_ERROR(binding(1, "a", "b", R"([{"res":"r","act":[]}])", 2, "zz", 3, "zz"), 1,
                     "input: missing field `cav` at line 1 column 21");
    EXPECT_SDK_ERROR(binding(1, "a", "b", "[]", 2, "0x" + std::string(62, '0'), 3, kZero32), 1,
                     "crypto: Invalid character 'x' at position 1");
    EXPECT_SDK_ERROR(binding(1, "a", "b", "[]", 2, std::string(62, '0'), 3, "zz"), 1, "expected 32 bytes of hex");
    EXPECT_SDK_ERROR(binding(1, "a", "b", "[]", 2, kZero32, 3, std::string(63, '0')), 1,
                     "crypto: Odd number of digits");
    EXPECT_SDK_ERROR(binding(1, "a", "b", "[]", 2, kZero32, 3, ""), 1, "expected 32 bytes of hex");
}

TEST(DelegateAbi, AssemblesTheLinkFromAPrecomputedSignature) {
    const std::string link = text(delegate(kGrants, kZero32, kZero32, opt(std::nullopt), "0x0xABcd"));
    EXPECT_EQ(link, R"({"iss":"a","to":"b","grants":[{"res":"r","act":["x"],"cav":{}}],"exp":2,"epoch_label":")" +
                        kZero32 + R"(","epoch":3,"sig":"abcd"})");
    for (const char* empty : {"", "0x"})
        EXPECT_NE(text(delegate("[]", kZero32, kZero32, opt(std::nullopt), empty)).find(R"("sig":"")"),
                  std::string::npos);
    // The public key is carried as given, upper case included.
    EXPECT_NE(text(delegate("[]", kZero32, kZero32, opt("Ed25519PUBKEY"), "00"))
                  .find(R"("sig":"00","pubkey":"Ed25519PUBKEY"})"),
              std::string::npos);
}

TEST(DelegateAbi, ArgumentFaultsInOrder) {
    // The optional argument is converted before anything is checked.
    const Outcome o = delegate("not json", kZero32, kZero32, opt("k") + "x", "00");
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.message, "Failed to convert arg 'pubkey_hex':\njunk data left in buffer after lifting (count: 1)");

    EXPECT_SDK_ERROR(delegate("[", "zz", kZero32, opt(std::nullopt), "zz"), 1,
                     "input: EOF while parsing a list at line 1 column 1");
    EXPECT_SDK_ERROR(delegate("[]", "zz", kZero32, opt(std::nullopt), "zz"), 1,
                     "crypto: Invalid character 'z' at position 0");
    EXPECT_SDK_ERROR(delegate("[]", kZero32, "00", opt(std::nullopt), "zz"), 1, "expected 32 bytes of hex");
    EXPECT_SDK_ERROR(delegate("[]", kZero32, kZero32, opt(std::nullopt), "0X12"), 1,
                     "crypto: Invalid character 'X' at position 1");
    EXPECT_SDK_ERROR(delegate("[]", kZero32, kZero32, opt(std::nullopt), "0xabc"), 1, "crypto: Odd number of digits");
}

TEST(ParentRefAbi, RootAndLinkHashes) {
    // The root id is hashed as the bytes it is, UTF-8 or not.
    EXPECT_EQ(text(root_hash("sub\xff")), sha256_hex("sub\xff"));

    const std::string link = text(delegate(kGrants, kZero32, kZero32, opt("P"), "abcd"));
    const std::string hash = text(link_hash(link));
    EXPECT_EQ(hash, sha256_hex(link));
    const std::string reordered =
        "{\n  \"pubkey\": \"P\", \"sig\": \"ABCD\",\n  \"epoch\": 3, \"epoch_label\": \"" + kZero32 +
        "\", \"exp\": 2,\n  \"grants\": [[\"r\", [\"x\"], {}]], \"to\": \"b\", \"iss\": \"a\"\n}";
    // A different sig spelling is a different link; the same one matches.
    EXPECT_NE(text(link_hash(reordered)), hash);
    std::string same = reordered;
    same.replace(same.find("ABCD"), 4, "abcd");
    EXPECT_EQ(text(link_hash(same)), hash);
    EXPECT_SDK_ERROR(link_hash(R"({"iss":"a"})"), 1, "input: missing field `to` at line 1 column 11");
}

TEST(CapabilityDeedAbi, ChainBuiltLinkByLinkAttachesToADeed) {
    // First link: chained to the root principal, the identity deed's sub.
    const Deed base;
    const std::string root = text(root_hash(base.sub));
    const std::string grants1 = R"([{"res":"doc","act":["read","write"],"cav":{"max_uses":3}}])";
    const std::string to_sign1 = text(binding(base.tenant, base.sub, "agent", grants1, 50, kZero32, 1, root));
    ASSERT_EQ(to_sign1.size(), 2 * (128 + base.sub.size() + 5 + grants1.size()));
    const std::string link1 =
        text(delegate(grants1, kZero32, root, opt(std::nullopt), "11", base.sub, "agent", base.tenant, 50, 1));
    // Second link: chained to the first.
    const std::string parent2 = text(link_hash(link1));
    const std::string grants2 = R"([{"res":"doc","act":["read"],"cav":{}}])";
    const std::string link2 =
        text(delegate(grants2, kZero32, parent2, opt(std::nullopt), "22", "agent", "sub-agent", base.tenant, 40, 1));
    EXPECT_NE(text(binding(base.tenant, "agent", "sub-agent", grants2, 40, kZero32, 1, parent2)), to_sign1);

    const Deed out = Deed::read(mint(base, " " + grants2 + " ", "[" + link1 + ",\n" + link2 + "]"));
    Deed expect = base;
    expect.grants = grants2;
    expect.delegations = "[" + link1 + "," + link2 + "]";
    EXPECT_EQ(out, expect);
}

TEST(CapabilityDeedAbi, ListsAreReplacedNotMerged) {
    Deed base;
    base.mode = "agent-zk";
    base.root = "r";
    base.proof = "p";
    base.pubkey.reset();
    base.signature.reset();
    base.grants = kGrants;
    base.delegations = "[]";
    Deed expect = base;
    expect.grants = "[]";
    EXPECT_EQ(Deed::read(mint(base, "[]", "[]")), expect);
}

TEST(CapabilityDeedAbi, Faults) {
    Deed base;
    base.grants = "{}";
    base.delegations = "x";
    EXPECT_SDK_ERROR(mint(base, "[]", "[]"), 1, "input: invalid type: map, expected a sequence at line 1 column 0");
    base.grants.reset();
    EXPECT_SDK_ERROR(mint(base, "[]", "[]"), 1, "input: expected value at line 1 column 1");
    base.delegations.reset();
    EXPECT_SDK_ERROR(mint(base, R"([{"res":"r","res":"s"}])", "oops"), 1,
                     "input: duplicate field `res` at line 1 column 17");
    EXPECT_SDK_ERROR(mint(base, "[]", "[{}]"), 1, "input: missing field `iss` at line 1 column 3");
}
