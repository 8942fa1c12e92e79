// A test wallet in host code: secp256k1 keys, account addresses and EIP-191
// personal-message signatures, made with libsecp256k1 and Keccak-256
// directly. It stands in for the user's and the administrator's wallet in the
// demo and behind `quorent wallet`. Nothing here is part of the library.
#pragma once

#include <string>
#include <string_view>

namespace quorent_cli::wallet {

// The demo key, 32 bytes as hex. Publicly known: never use it for real funds.
inline constexpr std::string_view kDemoKeyHex = "de40de40de40de40de40de40de40de40de40de40de40de40de40de40de40de40";
inline constexpr std::string_view kDemoKeyLabel =
    "DEMO WALLET KEY (publicly known, for demonstration only; never use it for real funds)";

// EIP-191 personal_sign of message with the 32-byte secret key (hex, an
// optional 0x): 65 bytes r || s || v (v = 27 + recovery id), as lower-case
// hex without prefix. Throws std::invalid_argument for an invalid key.
std::string personal_sign(std::string_view secret_key_hex, std::string_view message);

// The account address of a secret key: "0x" + 40 lower-case hex digits.
std::string address_of(std::string_view secret_key_hex);

// `quorent wallet <new|address|sign> [options]`; argv[0] is "wallet".
// Returns the tool's exit status (0 success, 2 usage or invalid input,
// 3 internal failure) and never throws.
int wallet_main(int argc, char** argv) noexcept;

}  // namespace quorent_cli::wallet
