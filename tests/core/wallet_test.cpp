// Wallet-signature primitives.
//
// The fixed vectors below were produced independently with ethers v6 on
// Node.js: ethers.keccak256, ethers.hashMessage, new Wallet(key) with
// .address, .signingKey.compressedPublicKey / .publicKey and
// .signMessageSync(text).
#include <gtest/gtest.h>

#include <string>

#include "quorent/encoding.hpp"
#include "quorent/wallet.hpp"

using namespace quorent;
using namespace quorent::wallet;

namespace {

Bytes hex(std::string_view text) {
    auto r = hex_decode(strip_0x_prefixes(text), ErrorKind::Input);
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : Bytes{};
}

template <std::size_t N>
std::string hex_of(const std::array<std::uint8_t, N>& a) {
    return hex_encode(a.data(), a.size());
}

SecretKey key_from_hex(std::string_view text) {
    auto r = SecretKey::from_bytes(hex(text));
    if (!r.ok()) throw std::runtime_error("bad test key");
    return std::move(r).value();
}

// secp256k1 group order n and n/2 (rounded down), big-endian hex.
constexpr std::string_view kOrder = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";
constexpr std::string_view kHalfOrder = "7fffffffffffffffffffffffffffffff5d576e7357a4501ddfe92f46681b20a0";

// n - s, for a 32-byte big-endian s < n.
std::array<std::uint8_t, 32> negate_mod_n(const std::uint8_t* s) {
    const Bytes n = hex(kOrder);
    std::array<std::uint8_t, 32> out{};
    int borrow = 0;
    for (int i = 31; i >= 0; --i) {
        int d = n[i] - s[i] - borrow;
        borrow = d < 0;
        out[i] = static_cast<std::uint8_t>(d + (borrow ? 256 : 0));
    }
    return out;
}

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

const std::string kTexts[] = {
    "",
    "hello",
    std::string(1000, 'x'),
    "h\xC3\xA9llo \xE2\x80\x94 w\xC3\xB6rld",
    kVouch,
    "Quorent client-credentials\ndomain: shop.test\ntenant: 7\nnonce: n-1\nissued-at: 1700000000",
};

const char* const kHashes[] = {
    "5f35dce98ba4fba25530a026ed80b2cecdaa31091ba4958b99b52ea1d068adad",
    "50b2c43fd39106bafbba0da34fc430e1f91e3c96ea2acee2bc34119f92b37750",
    "6a37e0b91509decb144d44cf932ba38dd926594952faf4817922845f01fa2908",
    "eaf0ae302cc6d3717829b5e845fbc56cbc6d90faf55af4ed30e444c0ba56397a",
    "e3e40db5d6401dcbee26194e2c8135a221d029fdb3c5ccad7f6ad3e0edbbf167",
    "d1544eeccec7f649f5ef31002213d9516e7062ed68853a7f24092aa0167e6bc8",
};

struct KeyVector {
    const char* key;
    const char* address;
    const char* compressed;
    const char* uncompressed;
    const char* sigs[6];  // signatures over kTexts, in order
};

const KeyVector kKeys[] = {
    {"0000000000000000000000000000000000000000000000000000000000000001",
     "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf",
     "0279be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798",
     "0479be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"
     "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8",
     {"0ac02a3eb3039b7a3ebb6a35f1e0dd31a4ed51781205a2c193354752a25edad50593868baf38c519b78bdc61a23c3f55e058c29f8b83d79ae48cc47d931afaed1b",
      "e5ddc160e4c8f92de507c7db9b982d4f9b7197bfa421864aeadc586bc96b09ae0ba0c5b131650ae4994cff1839341d00f3735ef5abc62ac8fe2cf50f65208e2a1b",
      "e59e37ef2dd87341e53da2881da1ca14b4105aee170f37762b290da92a083dc6699ed859ea26c4824fb5328f1981eb0a2d41de380e26af41b255bc4e61b513521c",
      "75882172a506600978c51f543da3a9db8725b66fc612a3cb12db02bbacf6e5cb39595238cf608e53ae35eafd6a002d31279dfcb7fbc8dfcbcef4e02539db09651b",
      "be8ac548c9d6c3fc912ee0f1d7991c1d02130fdfcf4658046a4f0541527a090309fd5a349bb801a638677a9a45296f6741b52be5cf399b5ed1e404af5139bab01b",
      "1d6793b54a51a36f59d5aad5c53a83ce5ef982dcc9d04e63169ce49d7b4a34522f3ff3a4064ec95efee567cdda19468fd8a149de4afd3a045abcdfd7315c01691b"}},
    {"4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318",
     "0x2c7536e3605d9c16a7a3d7b1898e529396a65c23",
     "024e3b81af9c2234cad09d679ce6035ed1392347ce64ce405f5dcd36228a25de6e",
     "044e3b81af9c2234cad09d679ce6035ed1392347ce64ce405f5dcd36228a25de6e"
     "47fd35c4215d1edf53e6f83de344615ce719bdb0fd878f6ed76f06dd277956de",
     {"8a68b4e66cd2b575338e16069d7b65f6f67c7ceae8945dccf8cb7bdb06278d933dd9c888f3444ca4698464079a067ad3cfffe96d493b8ecf56885169d0fdfe7d1b",
      "a5d58782075bdf09490159d634d1aae66a8f6777c7247d2f233e9511cfd7c64c34f288cdbcea5370e4863fdbe9f4d86654c2ba1d86589e9ebb64494c649008591b",
      "1c9d56750c30e2e28f902d5fe53ca8b1f644c509692532acd45b886929ecc2f8190784864c68353345d54ce0aab9364d3a004e2b1c3904cb87ad72ca2ae74a771b",
      "1b32dac944a8fc0bed6ae53ad3690c83aca8aeae899bd3d4568f205def08f36e10887613f4d858dff81e64f91dde1add86d536a687a16f4700a2173f07aea4441b",
      "7eac74802c2830316c04e24dd89742e6706af414ce127ea43aa354f2ec66c01862f7ef5bb5a7cab5dd94e37242a297666e123033c0da7e358d978836ef552ee61c",
      "655366ced13172cc01374d3596a811fffd689606e8b07391c1516fda863a9ea93f4b2d3b7c7f319b778da9b95c21ab209dbd915a09608cb2acbc80f4e810d8e21c"}},
    {"fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140",
     "0x80c0dbf239224071c59dd8970ab9d542e3414ab2",
     "0379be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798",
     "0479be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"
     "b7c52588d95c3b9aa25b0403f1eef75702e84bb7597aabe663b82f6f04ef2777",
     {"7f0369ff554ebf5e11da5d6a7fac510d4d61a4635b14c2b70062c048b9b882b02b3d3c67492573d59fc2ae7739a14b2204775306623bda6bf7832b982c17abcd1c",
      "8648246ef6426fcf581e12142a8ca3ff42ba15e5c01c8e64c184aa2a12883df24ccae02753833791cdf68e695fbfbc50f1a812f2485e735286d530bfdea9e47e1b",
      "123d9976429fb51cc4c414328659119805437d3e234cc5314ae2f82e9fa652853ecf604ec057bb5ad50eb39c1c46d4adf61a0d4f8e72473fe9212639c280479c1c",
      "bddc6be19e36095a7cacc01859dbffd0267017715b45597aa9d02f8b48dd94da3e288367b99126e066ae2abc07555d71e4329b55656af9523e4b36165800a2661c",
      "6adcd5e41f73fd1ecc8147856d280d5973e2c51f862d714e3d90a0c8f9d163584408f85b0c9e59c7bc6f9d96692f1372d60a4c6fdface72d0dbe2e8da57b4e831b",
      "b77311ddbdf80bc212610d39cfa0117f3848038eb4ad1859cc655764b01d106b00e028e26b2fbb12851d6775b797a96bec192f46b16f09d3d27b79a0907af99e1b"}},
    {"00c0ffee00112233445566778899aabbccddeeff00112233445566778899aabb",
     "0x451404437014ff5e18039586011da042780833a6",
     "039b7c0a015115e14c8a3321a905f588c78715850b36543961262932a05c1ae36c",
     "049b7c0a015115e14c8a3321a905f588c78715850b36543961262932a05c1ae36c"
     "0dda7b90d5d926bf7898f21e13421554701100b3e686d67dd71fc4ebb40a6005",
     {"b1e28b9938be35602604644860a5d716b890dbad24a8b8ada043a25e5bfd3cc847a3164bb303a6c051de83d50a18cb8d1ba462e6e3a91d70784cb1616ba517121c",
      "959340fb13f2c9b18e56079be69c38650aa542cff877f8e4a336066337e6c38a3d15a8a538245451c98dc2cc4755d71725a1c4eb3fcccc544a887f38975117ca1c",
      "0160a7020974c4e5926426d61c43bf5e9d3e7308f16d584886409b095f1b7bb4077f6da352c1d87e33c1a13bbf1980f78cf8d69eb6810e07869b1238bf58ebf31c",
      "e5157d481b8c383e6211b497e26a493622e18a0231108a7e7f315de477561a5218042edf34855feeeb7747fd2afbb7e978a5a0cb18ae86813b6e3b55695928b21c",
      "365d9b378199a60ab3e4aab081196009321e195b5487a2b38f36e31c42114d742d66dda403afd7cdf5e614e687f5e2a10779698388c61fe7f48ad9da837a8b741c",
      "5c46eb257a1b26cf35c47629dd2eecc7e071ff756e33d3b811827da0ec46714752821c42c2ba59d805649ac66fdd8da8f6f3a6c5c8e2d8fdfe7fb6a02b574d1e1b"}},
};

const CoreError kSigError{ErrorKind::Crypto, "signature error"};
const CoreError kLenError{ErrorKind::Input, "signature must be 65 bytes"};
const CoreError kRecIdError{ErrorKind::Input, "recovery id must be 0, 1, 27, or 28"};

}  // namespace

TEST(Keccak, KeccakPaddingNotSha3) {
    EXPECT_EQ(hex_of(keccak256("")), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
    EXPECT_EQ(hex_of(keccak256("abc")), "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45");
}

TEST(Eip191, HashMatchesIndependentVectors) {
    for (std::size_t i = 0; i < std::size(kTexts); ++i) EXPECT_EQ(hex_of(eip191_hash(kTexts[i])), kHashes[i]) << i;
    // The empty message is the 26-byte prefix and the digit 0; 1000 bytes
    // carry the four digits "1000".
    EXPECT_EQ(eip191_hash(""), keccak256(std::string("\x19" "Ethereum Signed Message:\n0")));
    EXPECT_EQ(eip191_hash(kTexts[2]), keccak256("\x19" "Ethereum Signed Message:\n1000" + kTexts[2]));
}

TEST(Keys, PublicKeyAndAddressMatchIndependentVectors) {
    for (const auto& kv : kKeys) {
        const SecretKey key = key_from_hex(kv.key);
        const PublicKey pub = PublicKey::from_secret(key);
        EXPECT_EQ(hex_of(pub.compressed()), kv.compressed);
        EXPECT_EQ(hex_of(pub.uncompressed()), kv.uncompressed);
        EXPECT_EQ(format_address(address_of(pub)), kv.address);

        // Both SEC1 forms parse back to the same point.
        auto c = PublicKey::parse(hex(kv.compressed));
        auto u = PublicKey::parse(hex(kv.uncompressed));
        ASSERT_TRUE(c.ok());
        ASSERT_TRUE(u.ok());
        EXPECT_TRUE(c.value() == pub);
        EXPECT_TRUE(u.value() == pub);
    }
}

TEST(Keys, SecretKeyLengthAndRange) {
    // 24..31 bytes are left-padded: the key 00c0ffee... written without its
    // leading zero byte is the same key.
    const Bytes full = hex(kKeys[3].key);
    auto short_key = SecretKey::from_bytes(Bytes(full.begin() + 1, full.end()));
    ASSERT_TRUE(short_key.ok());
    EXPECT_EQ(short_key.value().bytes(), key_from_hex(kKeys[3].key).bytes());
    EXPECT_TRUE(SecretKey::from_bytes(Bytes(24, 0x01)).ok());

    EXPECT_EQ(SecretKey::from_bytes(Bytes(23, 0x01)).error(), kSigError);
    EXPECT_EQ(SecretKey::from_bytes(Bytes(33, 0x01)).error(), kSigError);
    EXPECT_EQ(SecretKey::from_bytes(Bytes{}).error(), kSigError);
    EXPECT_EQ(SecretKey::from_bytes(Bytes(32, 0x00)).error(), kSigError);
    EXPECT_EQ(SecretKey::from_bytes(hex(kOrder)).error(), kSigError);
    EXPECT_EQ(SecretKey::from_bytes(Bytes(32, 0xff)).error(), kSigError);
}

TEST(Keys, ParseRefusesWrongFormsAndPointsOffTheCurve) {
    Bytes comp = hex(kKeys[1].compressed);
    Bytes unc = hex(kKeys[1].uncompressed);
    Bytes bad = unc;
    bad[0] = 0x02;  // 65 bytes with a compressed tag
    EXPECT_EQ(PublicKey::parse(bad).error(), kSigError);
    bad = comp;
    bad[0] = 0x04;  // 33 bytes with the uncompressed tag
    EXPECT_EQ(PublicKey::parse(bad).error(), kSigError);
    bad = unc;
    bad[0] = 0x06 | (unc[64] & 1);  // hybrid form: not accepted
    EXPECT_EQ(PublicKey::parse(bad).error(), kSigError);
    bad = unc;
    bad[64] ^= 1;  // Y no longer matches X
    EXPECT_EQ(PublicKey::parse(bad).error(), kSigError);
    EXPECT_EQ(PublicKey::parse(Bytes{0x00}).error(), kSigError);
    EXPECT_EQ(PublicKey::parse(Bytes{}).error(), kSigError);
    EXPECT_EQ(PublicKey::parse(Bytes(64, 0x11)).error(), kSigError);
}

TEST(Eip191, SignMatchesIndependentVectorsAndRecovers) {
    for (const auto& kv : kKeys) {
        const SecretKey key = key_from_hex(kv.key);
        for (std::size_t i = 0; i < std::size(kTexts); ++i) {
            const auto sig = eip191_sign(key, kTexts[i]);
            EXPECT_EQ(hex_of(sig), kv.sigs[i]) << kv.key << " text " << i;
            auto signer = recover_signer(kTexts[i], sig.data(), sig.size());
            ASSERT_TRUE(signer.ok()) << signer.error().display();
            EXPECT_EQ(format_address(signer.value()), kv.address);
        }
    }
}

TEST(Eip191, SignaturesAreDeterministicAndLowS) {
    const SecretKey key = key_from_hex(kKeys[1].key);
    const Bytes half = hex(kHalfOrder);
    for (int i = 0; i < 200; ++i) {
        const std::string msg = "message " + std::to_string(i);
        const auto sig = eip191_sign(key, msg);
        EXPECT_EQ(sig, eip191_sign(key, msg));
        EXPECT_TRUE(sig[64] == 27 || sig[64] == 28);
        EXPECT_LE(Bytes(sig.begin() + 32, sig.begin() + 64), half) << msg;
    }
}

TEST(Recover, RecoveryIdForms) {
    Bytes sig = hex(kKeys[1].sigs[1]);  // over "hello", v = 27
    ASSERT_EQ(sig[64], 27);
    const std::string addr = kKeys[1].address;
    for (std::uint8_t v : {27, 0}) {
        sig[64] = v;
        EXPECT_EQ(format_address(recover_signer("hello", sig).value()), addr);
    }
    // The other parity recovers a different key, not an error.
    for (std::uint8_t v : {28, 1}) {
        sig[64] = v;
        auto other = recover_signer("hello", sig);
        ASSERT_TRUE(other.ok());
        EXPECT_NE(format_address(other.value()), addr);
    }
    for (std::uint8_t v : {2, 3, 26, 29, 255}) {
        sig[64] = v;
        EXPECT_EQ(recover_signer("hello", sig).error(), kRecIdError) << int(v);
    }
}

TEST(Recover, LengthIsCheckedFirst) {
    const Bytes sig = hex(kKeys[0].sigs[1]);
    Bytes short_sig(sig.begin(), sig.end() - 1);
    Bytes long_sig = sig;
    long_sig.push_back(0);
    EXPECT_EQ(recover_signer("hello", short_sig).error(), kLenError);
    EXPECT_EQ(recover_signer("hello", long_sig).error(), kLenError);
    EXPECT_EQ(recover_signer("hello", Bytes{}).error(), kLenError);
    EXPECT_EQ(recover_signer("hello", Bytes(64, 0)).error(), kLenError);
}

TEST(Recover, HighSIsRefused) {
    for (const auto& kv : kKeys) {
        Bytes sig = hex(kv.sigs[1]);
        const auto high = negate_mod_n(sig.data() + 32);
        std::copy(high.begin(), high.end(), sig.begin() + 32);
        sig[64] = sig[64] == 27 ? 28 : 27;
        EXPECT_EQ(recover_signer("hello", sig).error(), kSigError);
    }
}

TEST(Recover, ScalarRangeIsCheckedBeforeRecoveryId) {
    const Bytes good = hex(kKeys[1].sigs[1]);
    // All zero: r = 0 is refused before the bad v is looked at.
    EXPECT_EQ(recover_signer("hello", Bytes(65, 0)).error(), kSigError);

    const Bytes n = hex(kOrder);
    for (int part : {0, 32}) {
        Bytes sig = good;
        std::fill(sig.begin() + part, sig.begin() + part + 32, 0);  // zero
        EXPECT_EQ(recover_signer("hello", sig).error(), kSigError);
        sig[64] = 5;
        EXPECT_EQ(recover_signer("hello", sig).error(), kSigError);
        sig = good;
        std::copy(n.begin(), n.end(), sig.begin() + part);  // exactly n
        EXPECT_EQ(recover_signer("hello", sig).error(), kSigError);
        std::fill(sig.begin() + part, sig.begin() + part + 32, 0xff);  // above n
        EXPECT_EQ(recover_signer("hello", sig).error(), kSigError);
    }
}

TEST(Recover, NoPointForR) {
    // x = 5 is not the x-coordinate of any point on secp256k1 (5^3 + 7 = 132 is
    // not a square modulo p), so nothing can be recovered.
    Bytes sig(65, 0);
    sig[31] = 5;
    sig[63] = 1;
    sig[64] = 27;
    EXPECT_EQ(recover_signer("hello", sig).error(), kSigError);
}

TEST(Recover, OtherMessageGivesOtherSigner) {
    const Bytes sig = hex(kKeys[1].sigs[1]);
    auto other = recover_signer("hello!", sig);
    ASSERT_TRUE(other.ok());
    EXPECT_NE(format_address(other.value()), kKeys[1].address);
}

TEST(Address, FormatIsLowerCase) {
    Address a;
    for (std::size_t i = 0; i < 20; ++i) a.bytes[i] = static_cast<std::uint8_t>(0xA0 + i % 6 * 0x11);
    const std::string text = format_address(a);
    EXPECT_EQ(text.size(), 42u);
    EXPECT_EQ(text.substr(0, 2), "0x");
    EXPECT_EQ(text.find_first_of("ABCDEFX"), std::string::npos);
}
