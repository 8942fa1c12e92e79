// Unpadded base64url (RFC 4648 section 5), with the exact decoder messages
// callers see.
//
// base64url_encode is constant-time; the functions ending in _var are faster
// and variable-time: a secret must never reach them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/bytes.hpp"

namespace quorent {

// Unpadded base64url of secret bytes: each symbol is computed by arithmetic,
// no branch or table lookup on the bytes.
std::string base64url_encode(const std::uint8_t* data, std::size_t len);

// The same text by table (reveals the bytes through the addresses it reads).
std::string base64url_encode_var(const std::uint8_t* data, std::size_t len);
inline std::string base64url_encode_var(const Bytes& b) { return base64url_encode_var(b.data(), b.size()); }

// Strict unpadded base64url decoding, by table, stopping at the first fault
// (reveals the text). On failure returns false and sets message to one of
// "Invalid symbol B, offset O.", "Invalid input length: L",
// "Invalid last symbol B, offset O." or "Invalid padding".
bool base64url_decode_var(std::string_view text, Bytes& out, std::string& message);

}  // namespace quorent
