// Deeds of users whose account is a smart-contract wallet (EIP-1271), and the
// decoding of the wallet address and signature texts such deeds carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent/sovereign.hpp"

namespace quorent::user1271 {

// Wallet hex text: one leading "0x" or "0X" is removed, the rest must be an
// even number of hex digits of either case (kind Input with the hex
// decoder's message otherwise). Any length, including zero.
Result<Bytes> decode_wallet_hex(std::string_view text);

// A wallet address by the same rule, which must be 20 bytes (kind Input,
// "address must be 20 bytes"); returned as 40 lower-case hex digits.
Result<std::string> decode_wallet_address(std::string_view text);

// The smart-wallet pseudonym: lower-case hex of SHA-256 of
// "quorent-sovereign-user-1271-sub-v1|tenant:T|origin:O|wallet:W".
std::string smartwallet_sub(std::uint64_t tenant, std::string_view canonical_origin, std::string_view wallet_hex);

// A user-1271 deed carrying the wallet contract's signature over the user
// binding. Checks in order: origin, address, signature. The signature is
// carried, not verified.
Result<sovereign::Deed> mint_user_1271_deed(std::string_view signer_addr_hex, std::string_view wallet_sig_hex,
                                            std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                            std::string_view challenge, std::uint64_t exp);

}  // namespace quorent::user1271
