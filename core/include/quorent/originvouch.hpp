// Origin vouches: the message a tenant administrator signs to vouch that an
// origin speaks for the tenant, recovery of its signer, and the call data and
// answer decoding of the registry lookup that confirms the signer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent/wallet.hpp"

namespace quorent::originvouch {

// The longest lifetime (exp minus now, in seconds) a holder accepts: 90 days.
inline constexpr std::uint64_t ORIGIN_VOUCH_MAX_TTL_SECS = 7776000;

// The first four bytes of keccak256("isOriginVoucher(uint256,address,uint64)").
inline constexpr std::array<std::uint8_t, 4> IS_ORIGIN_VOUCHER_SELECTOR = {0x04, 0xe8, 0xe8, 0xda};

// The vouch message for these arguments, origin and aud inserted as passed.
// Both origin_vouch_binding and origin_vouch_signer compose it here.
std::string vouch_message(std::uint64_t tenant_id, std::string_view aud, std::string_view origin, std::uint64_t epoch,
                          std::uint64_t exp);

// Applies the origin policy (with the caller's opt-out for local development)
// and returns the message to be signed.
Result<std::string> origin_vouch_binding(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                         std::uint64_t epoch, std::uint64_t exp, bool allow_insecure_origin);

// The address that signed the vouch message for these arguments. Only the
// well-formedness of the origin is enforced; the signature is checked as
// wallet::recover_signer does.
Result<wallet::Address> origin_vouch_signer(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                            std::uint64_t epoch, std::uint64_t exp, const std::uint8_t* signature,
                                            std::size_t signature_len);
inline Result<wallet::Address> origin_vouch_signer(std::uint64_t tenant_id, std::string_view aud,
                                                   std::string_view origin, std::uint64_t epoch, std::uint64_t exp,
                                                   const Bytes& signature) {
    return origin_vouch_signer(tenant_id, aud, origin, epoch, exp, signature.data(), signature.size());
}

// The same for a signature given as plain hex (kind Crypto on a hex
// fault, which is reported before anything else); the signer's address as
// "0x" and 40 lower-case hex digits.
Result<std::string> origin_vouch_signer(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                        std::uint64_t epoch, std::uint64_t exp, std::string_view signature_hex);

// The longest lifetime of a vouch, ORIGIN_VOUCH_MAX_TTL_SECS.
inline std::uint64_t origin_vouch_max_ttl_secs() { return ORIGIN_VOUCH_MAX_TTL_SECS; }

// The 100 bytes of call data for isOriginVoucher(uint256,address,uint64).
Bytes is_origin_voucher_calldata(std::uint64_t tenant_id, const wallet::Address& signer, std::uint64_t epoch);
// The same for the signer's address as hex: every leading "0x" is removed,
// a hex fault is kind Crypto, another length than 20 bytes kind Input
// "signer must be a 20-byte address".
Result<Bytes> is_origin_voucher_calldata(std::uint64_t tenant_id, std::string_view signer_hex, std::uint64_t epoch);

// The registry's answer: exactly 32 bytes, true when the last byte is
// non-zero. Any other length is an error (kind Input), never false.
Result<bool> decode_bool_return(const std::uint8_t* ret, std::size_t len);
inline Result<bool> decode_bool_return(const Bytes& ret) { return decode_bool_return(ret.data(), ret.size()); }

}  // namespace quorent::originvouch
