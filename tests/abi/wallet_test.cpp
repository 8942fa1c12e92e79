// Registry call, origin vouches and the client assertion through the exported
// functions, as a host calls them.
//
// Fixed signatures were produced independently with ethers v6 on Node.js
// (new Wallet(key).signMessageSync(message)).
#include "host.hpp"

using namespace host;

namespace {

const std::string kVouch =
    "https://shop.test is claiming to act for Quorent tenant 7.\n"
    "\n"
    "Signing this authorises https://shop.test to ask people and agents for deeds\n"
    "belonging to the tenant below. Only sign it if you administer that\n"
    "tenant AND you control https://shop.test \xE2\x80\x94 anyone holding this signature can\n"
    "make holders believe https://shop.test speaks for you.\n"
    "\n"
    "Tenant: 7\n"
    "Audience: web\n"
    "Origin: https://shop.test\n"
    "Epoch: 3\n"
    "Expires (unix seconds): 1700000000\n"
    "\n"
    "quorent-origin-v1";

// Key 4c0883a6...362318 over kVouch, and its address.
const std::string kVouchSig =
    "7eac74802c2830316c04e24dd89742e6706af414ce127ea43aa354f2ec66c01862f7ef5bb5a7cab5dd94e37242a297666e123033c0da7e358d978836ef552ee61c";
const std::string kVouchSigner = "0x2c7536e3605d9c16a7a3d7b1898e529396a65c23";

const std::string kKey = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318";
// That key over the assertion for ("shop.test", 7, "n-1", 1700000000).
const std::string kAssertionSig =
    "0x655366ced13172cc01374d3596a811fffd689606e8b07391c1516fda863a9ea93f4b2d3b7c7f319b778da9b95c21ab209dbd915a09608cb2acbc80f4e810d8e21c";

const std::string kPathError =
    "input: origin: must be scheme://host[:port], optionally with one trailing slash, and no path";

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

Outcome sign_assertion(const std::string& key) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion, buf(key), buf("shop.test"), uint64_t{7},
                buf("n-1"), uint64_t{1700000000});
}

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
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
    EXPECT_SDK_ERROR(calldata(1, "0x" + std::string(38, '1'), 2), 1, "input: signer must be a 20-byte address");
    EXPECT_SDK_ERROR(calldata(1, std::string(42, '1'), 2), 1, "input: signer must be a 20-byte address");
    EXPECT_SDK_ERROR(calldata(1, "", 2), 1, "input: signer must be a 20-byte address");
    EXPECT_SDK_ERROR(calldata(1, "0X" + std::string(40, '1'), 2), 1, "crypto: Invalid character 'X' at position 1");
    EXPECT_SDK_ERROR(calldata(1, std::string(39, '1'), 2), 1, "crypto: Odd number of digits");
}

TEST(RegistryCallAbi, DecodeBoolReturn) {
    auto [f, fo] = decode(be32(32) + word(1, 0));
    EXPECT_TRUE(fo.ok());
    EXPECT_EQ(f, 0);
    auto [t, to] = decode(be32(32) + word(0, 2));
    EXPECT_TRUE(to.ok());
    EXPECT_EQ(t, 1);

    auto [e0, empty] = decode(be32(0));
    EXPECT_EQ(e0, 0);
    EXPECT_SDK_ERROR(empty, 1, "input: isOriginVoucher returned 0 bytes, expected 32");
    EXPECT_SDK_ERROR(decode(be32(64) + word(0, 1) + word(0, 1)).second, 1,
                     "input: isOriginVoucher returned 64 bytes, expected 32");
}

TEST(RegistryCallAbi, RetConversionFailures) {
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

TEST(OriginVouchAbi, Binding) {
    const Outcome o = binding("https://shop.test", 0);
    ASSERT_TRUE(o.ok()) << o.message;
    EXPECT_EQ(o.value, kVouch);

    EXPECT_SDK_ERROR(binding("http://localhost:3000", 0), 2, "http://localhost:3000: scheme must be https in production");
    const Outcome allowed = binding("http://localhost:3000", 1);
    ASSERT_TRUE(allowed.ok());
    EXPECT_EQ(allowed.value.substr(0, 22), "http://localhost:3000 ");
    EXPECT_SDK_ERROR(binding("https://a/b", 1), 1, kPathError);
}

TEST(OriginVouchAbi, BindingBoolConversion) {
    for (int8_t bad : {int8_t{2}, int8_t{-1}}) {
        const Outcome o = binding("https://shop.test", bad);
        EXPECT_EQ(o.code, 2);
        EXPECT_EQ(o.message, "Failed to convert arg 'allow_insecure_origin':\nunexpected byte for Boolean");
    }
}

TEST(OriginVouchAbi, MaxTtl) {
    auto [ttl, o] = call_int<uint64_t>(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs);
    EXPECT_TRUE(o.ok());
    EXPECT_EQ(ttl, 7776000u);
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
    EXPECT_SDK_ERROR(signer("https://shop.test", kVouchSig.substr(2)), 1, "input: signature must be 65 bytes");
    EXPECT_SDK_ERROR(signer("https://shop.test", kVouchSig.substr(0, 128) + "02"), 1,
                     "input: recovery id must be 0, 1, 27, or 28");
    EXPECT_SDK_ERROR(signer("https://shop.test", std::string(130, '0')), 1, "crypto: signature error");
}

TEST(ClientAssertionAbi, BuildNeverFails) {
    const Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion, buf("shop.test"), uint64_t{7},
                           buf("n-1"), uint64_t{1700000000});
    ASSERT_TRUE(o.ok());
    EXPECT_EQ(o.value, "Quorent client-credentials\ndomain: shop.test\ntenant: 7\nnonce: n-1\nissued-at: 1700000000");
    const Outcome empty =
        call(uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion, buf(""), uint64_t{0}, buf(""), uint64_t{0});
    EXPECT_EQ(empty.value, "Quorent client-credentials\ndomain: \ntenant: 0\nnonce: \nissued-at: 0");
}

TEST(ClientAssertionAbi, Sign) {
    EXPECT_EQ(sign_assertion(kKey).value, kAssertionSig);
    EXPECT_EQ(sign_assertion("0x0x" + kKey).value, kAssertionSig);
    EXPECT_SDK_ERROR(sign_assertion("0X" + kKey), 1, "input: Invalid character 'X' at position 1");
    EXPECT_SDK_ERROR(sign_assertion(kKey.substr(1)), 1, "input: Odd number of digits");
    EXPECT_SDK_ERROR(sign_assertion(kKey.substr(18)), 1, "crypto: signature error");  // 23 bytes
    EXPECT_SDK_ERROR(sign_assertion(kKey + "00"), 1, "crypto: signature error");     // 33 bytes
    EXPECT_SDK_ERROR(sign_assertion(std::string(64, '0')), 1, "crypto: signature error");
}
