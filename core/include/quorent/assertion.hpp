// The client-credentials assertion: a short canonical text naming domain,
// tenant, nonce and time of issue, signed with EIP-191 by the client's key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/error.hpp"

namespace quorent::assertion {

// The five-line message; domain and nonce are inserted as passed.
std::string build_client_assertion(std::string_view domain, std::uint64_t tenant_id, std::string_view nonce,
                                   std::uint64_t issued_at);

// "0x" + the 65-byte EIP-191 signature (v = 27 or 28) over that message, in
// lower-case hex. The key text loses every leading "0x"; a hex fault is kind
// Input, a key of the wrong length (not 24..32 bytes) or out of range is
// kind Crypto "signature error".
Result<std::string> sign_client_assertion(std::string_view secret_key_hex, std::string_view domain,
                                          std::uint64_t tenant_id, std::string_view nonce, std::uint64_t issued_at);

}  // namespace quorent::assertion
