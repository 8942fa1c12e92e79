// The demo wallet: a stand-in for the user's and the administrator's wallet
// in host code. It signs with EIP-191 (personal_sign) using one fixed,
// publicly known key. Nothing here is part of the library.
#pragma once

#include <string>
#include <string_view>

namespace quorent_cli::wallet {

// The demo key, 32 bytes as hex. Publicly known: never use it for real funds.
inline constexpr std::string_view kDemoKeyHex = "de40de40de40de40de40de40de40de40de40de40de40de40de40de40de40de40";
inline constexpr std::string_view kDemoKeyLabel =
    "DEMO WALLET KEY (publicly known, for demonstration only; never use it for real funds)";

// EIP-191 personal_sign of message with the 32-byte secret key: 65 bytes
// r || s || v (v = 27 + recovery id), as lower-case hex without prefix.
// Throws std::invalid_argument for an invalid key.
std::string personal_sign(std::string_view secret_key_hex, std::string_view message);

// The account address of a secret key: "0x" + 40 lower-case hex digits.
std::string address_of(std::string_view secret_key_hex);

}  // namespace quorent_cli::wallet
