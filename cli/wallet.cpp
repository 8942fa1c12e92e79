#include "wallet.hpp"

#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <cryptopp/keccak.h>

#include <array>
#include <stdexcept>

#include "sdk.hpp"

namespace quorent_cli::wallet {

namespace {

const secp256k1_context* context() {
    static secp256k1_context* const ctx = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
    return ctx;
}

std::array<unsigned char, 32> keccak256(std::string_view data) {
    CryptoPP::Keccak_256 h;
    h.Update(reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    std::array<unsigned char, 32> out{};
    h.Final(out.data());
    return out;
}

std::array<unsigned char, 32> secret(std::string_view hex) {
    const auto bytes = from_hex(hex);
    if (!bytes || bytes->size() != 32) throw std::invalid_argument("a wallet key is 32 bytes of hex");
    std::array<unsigned char, 32> key{};
    std::copy(bytes->begin(), bytes->end(), key.begin());
    if (!secp256k1_ec_seckey_verify(context(), key.data())) throw std::invalid_argument("invalid wallet key");
    return key;
}

}  // namespace

std::string personal_sign(std::string_view secret_key_hex, std::string_view message) {
    const auto key = secret(secret_key_hex);
    const std::string prefixed =
        std::string("\x19" "Ethereum Signed Message:\n") + std::to_string(message.size()) + std::string(message);
    const auto digest = keccak256(prefixed);
    secp256k1_ecdsa_recoverable_signature sig;
    if (!secp256k1_ecdsa_sign_recoverable(context(), &sig, digest.data(), key.data(), nullptr, nullptr))
        throw std::invalid_argument("signing failed");
    std::array<unsigned char, 65> out{};
    int recid = 0;
    secp256k1_ecdsa_recoverable_signature_serialize_compact(context(), out.data(), &recid, &sig);
    out[64] = static_cast<unsigned char>(27 + recid);
    return to_hex(std::string_view(reinterpret_cast<const char*>(out.data()), out.size()));
}

std::string address_of(std::string_view secret_key_hex) {
    const auto key = secret(secret_key_hex);
    secp256k1_pubkey pub;
    if (!secp256k1_ec_pubkey_create(context(), &pub, key.data())) throw std::invalid_argument("invalid wallet key");
    std::array<unsigned char, 65> raw{};
    size_t len = raw.size();
    secp256k1_ec_pubkey_serialize(context(), raw.data(), &len, &pub, SECP256K1_EC_UNCOMPRESSED);
    const auto digest = keccak256(std::string_view(reinterpret_cast<const char*>(raw.data()) + 1, 64));
    return "0x" + to_hex(std::string_view(reinterpret_cast<const char*>(digest.data()) + 12, 20));
}

}  // namespace quorent_cli::wallet
