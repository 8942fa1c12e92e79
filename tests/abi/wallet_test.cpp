// Registry call and origin vouches through the exported functions: the hex
// rules of the arguments, byte sequences and booleans across the boundary.
#include "host.hpp"
#include "vectors.hpp"

using namespace host;

namespace {

// Key 4c0883a6...362318 over the vouch, and its address.
const std::string kVouchSig = vectors::kKeys[1].sigs[vectors::kTextVouch];
const std::string kVouchSigner = vectors::kKeys[1].address;
const std::string kPathError = "input: " + vectors::kOriginPath;

Outcome calldata(uint64_t tenant, const std::string& signer_hex, uint64_t epoch) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata, tenant, buf(signer_hex), epoch);
}

std::pair<int8_t, Outcome> decode(const std::string& ret_buffer) {
    return call_int<int8_t>(uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return, buf(ret_buffer));
}

std::string word(uint8_t first, uint8_t last) {
    std::string w(32, '\0');
    w[0] = static_cast<char>(first);
    w[31] = static_cast<char>(last);
    return w;
}

Outcome binding(const std::string& origin, int8_t allow) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding, uint64_t{7}, buf("web"), buf(origin),
                uint64_t{3}, uint64_t{1700000000}, allow);
}

Outcome signer(const std::string& origin, const std::string& sig_hex) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer, uint64_t{7}, buf("web"), buf(origin),
                uint64_t{3}, uint64_t{1700000000}, buf(sig_hex));
}

}  // namespace

TEST(RegistryCallAbi, CalldataIsASequenceOfBytes) {
    const std::string signer(40, '1');
    const Outcome o = calldata(1, "0x" + signer, 2);
    ASSERT_TRUE(o.ok()) << o.message;
    const std::string expected = std::string("\x04\xe8\xe8\xda", 4) + std::string(31, '\0') + '\x01' +
                                 std::string(12, '\0') + std::string(20, '\x11') + std::string(31, '\0') + '\x02';
    EXPECT_EQ(o.value, be32(100) + expected);
    // Bare, one or two prefixes, either case of digits: the same bytes.
    EXPECT_EQ(calldata(1, signer, 2).value, o.value);
    EXPECT_EQ(calldata(1, "0x0x" + signer, 2).value, o.value);
    const std::string mixed = "abCDef0123456789ABCDEFabcdef0123456789aB";
    EXPECT_EQ(calldata(5, mixed, 6).value, calldata(5, "0x" + upper(mixed), 6).value);

    const Outcome max = calldata(UINT64_MAX, signer, 0);
    ASSERT_TRUE(max.ok());
    EXPECT_EQ(max.value.substr(4 + 4, 24), std::string(24, '\0'));
    EXPECT_EQ(max.value.substr(4 + 28, 8), std::string(8, '\xff'));
}

TEST(RegistryCallAbi, SignerTextFailures) {
    for (const std::string& bad : {std::string(42, '1'), std::string()})
        EXPECT_SDK_ERROR(calldata(1, bad, 2), 1, "input: signer must be a 20-byte address");
    EXPECT_SDK_ERROR(calldata(1, "0X" + std::string(40, '1'), 2), 1, "crypto: Invalid character 'X' at position 1");
    EXPECT_SDK_ERROR(calldata(1, std::string(39, '1'), 2), 1, "crypto: Odd number of digits");
}

// True and false, the empty answer, and the boolean argument's byte 2 are
// shared cases; here the word's other bytes and the argument's byte forms.
TEST(RegistryCallAbi, DecodeBoolReturn) {
    EXPECT_EQ(decode(be32(32) + word(1, 0)).first, 0);
    EXPECT_EQ(decode(be32(32) + word(0, 2)).first, 1);
    const auto conv = [](const std::string& bytes, const std::string& description) {
        auto [v, o] = decode(bytes);
        EXPECT_EQ(v, 0);
        EXPECT_EQ(o.code, 2);
        EXPECT_EQ(o.message, "Failed to convert arg 'ret':\n" + description);
    };
    conv(std::string("\x00\x00\x00\x02\xaa", 5), "not enough bytes remaining in buffer (0 < 1)");
    conv("", "not enough bytes remaining in buffer (0 < 4)");
    conv(be32(1) + "ab", "junk data left in buffer after lifting (count: 1)");
    conv(be32(-1), "out of range integral type conversion attempted");
}

TEST(OriginVouchAbi, BindingTextAndBoolArgument) {
    EXPECT_EQ(binding("https://shop.test", 0).value, vectors::kVouchText);
    const Outcome o = binding("https://shop.test", -1);
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.message, "Failed to convert arg 'allow_insecure_origin':\nunexpected byte for Boolean");
}

TEST(OriginVouchAbi, Signer) {
    const Outcome o = signer("https://shop.test", kVouchSig);
    ASSERT_TRUE(o.ok()) << o.message;
    EXPECT_EQ(o.value, kVouchSigner);
    EXPECT_EQ(signer("https://shop.test", upper(kVouchSig)).value, kVouchSigner);
    // Another origin text recovers some other address, not an error.
    const Outcome other = signer("https://shop.test:443", kVouchSig);
    ASSERT_TRUE(other.ok());
    EXPECT_NE(other.value, kVouchSigner);
}

TEST(OriginVouchAbi, SignerFailuresInOrder) {
    EXPECT_SDK_ERROR(signer("https://shop.test", "0x" + kVouchSig), 1, "crypto: Invalid character 'x' at position 1");
    // Hex is decoded before the origin is examined.
    EXPECT_SDK_ERROR(signer("https://a/b", kVouchSig + "0"), 1, "crypto: Odd number of digits");
    EXPECT_SDK_ERROR(signer("https://a/b", kVouchSig), 1, kPathError);
    // The origin policy does not apply here; only the origin's form does.
    EXPECT_TRUE(signer("http://localhost", kVouchSig).ok());
    // The signature rules are the recovery's (its own test).
    EXPECT_SDK_ERROR(signer("https://shop.test", kVouchSig.substr(2)), 1, "input: signature must be 65 bytes");
}
