// Deeds of tenant administrators: the admin message their wallet signs, and
// admin-sig deeds for wallet accounts and for smart-contract wallets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent/sovereign.hpp"

namespace quorent::adminsig {

// The prose message an administrator's wallet signs (EIP-191) for an
// admin-sig deed. aud and challenge are copied verbatim.
std::string admin_binding(std::string_view aud, std::uint64_t tenant, std::string_view challenge, std::uint64_t exp);

// An admin-sig deed whose subject is the account recovered from a 65-byte
// EIP-191 signature over the admin message (failures as recover_signer
// reports them). The signature is stored as given, v byte included.
Result<sovereign::Deed> mint_admin_deed(const std::uint8_t* signature, std::size_t signature_len, std::uint64_t tenant,
                                        std::string_view aud, std::string_view challenge, std::uint64_t exp);
inline Result<sovereign::Deed> mint_admin_deed(const Bytes& signature, std::uint64_t tenant, std::string_view aud,
                                               std::string_view challenge, std::uint64_t exp) {
    return mint_admin_deed(signature.data(), signature.size(), tenant, aud, challenge, exp);
}
// The same for the signature as hex, every leading "0x" removed (kind Input
// on a hex fault).
Result<sovereign::Deed> mint_admin_deed(std::string_view wallet_sig_hex, std::uint64_t tenant_id, std::string_view aud,
                                        std::string_view challenge, std::uint64_t exp);

// An admin-sig deed for a smart-contract wallet: the address names the
// contract, the signature is carried without being looked at. Address and
// signature texts follow the wallet hex rule of user1271; the address is
// checked first.
Result<sovereign::Deed> mint_admin_deed_smartwallet(std::string_view signer_addr_hex, std::string_view wallet_sig_hex,
                                                    std::uint64_t tenant_id, std::string_view aud,
                                                    std::string_view challenge, std::uint64_t exp);

}  // namespace quorent::adminsig
