// Wallet-signature primitives: Keccak-256, the EIP-191 personal-message hash,
// deterministic secp256k1 signing with a recovery id, signer recovery and
// account addresses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/encoding.hpp"
#include "quorent/error.hpp"

namespace quorent::wallet {

using Hash32 = std::array<std::uint8_t, 32>;
// The 32-byte digest that is signed or recovered against.
using Prehash = Hash32;

// An account identifier: the last 20 bytes of the Keccak-256 of a public key.
struct Address {
    std::array<std::uint8_t, 20> bytes{};
    bool operator==(const Address&) const = default;
};

// A secp256k1 scalar k, 1 <= k < n, 32 bytes big-endian. Only made through
// the checked constructors below; wiped on destruction.
class SecretKey {
public:
    // Accepts 32 bytes, or 24 to 31 bytes left-padded with zero bytes to 32;
    // the value must be in 1 .. n-1. Any other length or value fails with
    // kind Crypto, "signature error".
    static Result<SecretKey> from_bytes(const std::uint8_t* data, std::size_t len);
    static Result<SecretKey> from_bytes(const Bytes& b) { return from_bytes(b.data(), b.size()); }

    const std::array<std::uint8_t, 32>& bytes() const noexcept { return bytes_.bytes(); }

private:
    SecretKey() = default;
    SecretArray<32> bytes_;
};

// A point of secp256k1 other than infinity.
class PublicKey {
public:
    // k*G for a valid secret key.
    static PublicKey from_secret(const SecretKey& key);
    // SEC1: 33 bytes compressed (02/03 + X) or 65 bytes uncompressed
    // (04 + X + Y) of a point on the curve. Anything else, including the
    // hybrid forms 06/07, fails with kind Crypto, "signature error".
    static Result<PublicKey> parse(const std::uint8_t* data, std::size_t len);
    static Result<PublicKey> parse(const Bytes& b) { return parse(b.data(), b.size()); }

    std::array<std::uint8_t, 33> compressed() const;
    std::array<std::uint8_t, 65> uncompressed() const;

    bool operator==(const PublicKey& other) const;

private:
    friend struct PublicKeyAccess;
    PublicKey() = default;
    std::array<unsigned char, 64> raw_{};  // libsecp256k1's opaque representation
};

// r, s (32 bytes big-endian each) and the recovery id.
struct RecoverableSignature {
    std::array<std::uint8_t, 32> r{};
    std::array<std::uint8_t, 32> s{};
    int recovery_id = 0;
};

// Keccak-256 with Keccak's own padding (as Ethereum uses it), not SHA3-256.
Hash32 keccak256(const void* data, std::size_t len);
inline Hash32 keccak256(std::string_view text) { return keccak256(text.data(), text.size()); }

// Keccak-256 of 0x19 "Ethereum Signed Message:\n" + decimal length + message.
Prehash eip191_hash(const void* message, std::size_t len);
inline Prehash eip191_hash(std::string_view message) { return eip191_hash(message.data(), message.size()); }

// ECDSA over secp256k1 on the prehash: RFC 6979 nonce (no extra entropy),
// low s, recovery id.
RecoverableSignature sign_recoverable(const SecretKey& key, const Prehash& prehash);

// r || s || (27 + recovery id) over the EIP-191 hash of the message.
std::array<std::uint8_t, 65> eip191_sign(const SecretKey& key, std::string_view message);

Address address_of(const PublicKey& key);

// The address whose key signed the EIP-191 hash of the message. Checks, in
// order: 65 bytes (Input "signature must be 65 bytes"); r and s in 1 .. n-1
// (Crypto "signature error"); v in {0, 1, 27, 28} (Input "recovery id must
// be 0, 1, 27, or 28"); a key is recoverable and s is not above n/2 (Crypto
// "signature error").
Result<Address> recover_signer(std::string_view message, const std::uint8_t* sig, std::size_t sig_len);
inline Result<Address> recover_signer(std::string_view message, const Bytes& sig) {
    return recover_signer(message, sig.data(), sig.size());
}

// "0x" + 40 lower-case hex digits.
std::string format_address(const Address& address);

}  // namespace quorent::wallet
