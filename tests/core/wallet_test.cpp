// Wallet-signature primitives, against the vectors of vectors.hpp and the
// message hashes below (ethers v6: ethers.keccak256, ethers.hashMessage).
#include <gtest/gtest.h>

#include <string>

#include "quorent/encoding.hpp"
#include "quorent/wallet.hpp"
#include "vectors.hpp"

using namespace quorent;
using namespace quorent::wallet;
using namespace vectors;

namespace {

Bytes hex(std::string_view text) {
    auto r = hex_decode(strip_0x_prefixes(text), ErrorKind::Input);
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : Bytes{};
}

template <std::size_t N>
std::string hex_of(const std::array<std::uint8_t, N>& a) {
    return hex_encode_var(a.data(), a.size());
}

SecretKey key_from_hex(std::string_view text) {
    auto r = SecretKey::from_bytes(hex(text));
    if (!r.ok()) throw std::runtime_error("bad test key");
    return std::move(r).value();
}

// n/2 (rounded down), big-endian hex.
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

// Keccak-256 of each EIP-191 message over kTexts.
const char* const kHashes[] = {
    "5f35dce98ba4fba25530a026ed80b2cecdaa31091ba4958b99b52ea1d068adad",
    "50b2c43fd39106bafbba0da34fc430e1f91e3c96ea2acee2bc34119f92b37750",
    "6a37e0b91509decb144d44cf932ba38dd926594952faf4817922845f01fa2908",
    "eaf0ae302cc6d3717829b5e845fbc56cbc6d90faf55af4ed30e444c0ba56397a",
    "e3e40db5d6401dcbee26194e2c8135a221d029fdb3c5ccad7f6ad3e0edbbf167",
    "d1544eeccec7f649f5ef31002213d9516e7062ed68853a7f24092aa0167e6bc8",
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
    // Among them the empty text and one of 1000 bytes (a four-digit length).
    for (std::size_t i = 0; i < std::size(kTexts); ++i) EXPECT_EQ(hex_of(eip191_hash(kTexts[i])), kHashes[i]) << i;
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
    // The other parity, or another message, recovers a different key, not an error.
    for (std::uint8_t v : {28, 1}) {
        sig[64] = v;
        auto other = recover_signer("hello", sig);
        ASSERT_TRUE(other.ok());
        EXPECT_NE(format_address(other.value()), addr);
    }
    sig[64] = 27;
    EXPECT_NE(format_address(recover_signer("hello!", sig).value()), addr);
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
