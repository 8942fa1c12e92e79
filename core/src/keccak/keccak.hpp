// Keccak-256 with Keccak's own padding (as Ethereum uses it), not SHA3-256.
// One implementation is compiled in, chosen when configuring (QUORENT_KECCAK):
// cryptopp.cpp (Crypto++) or openssl.cpp (libcrypto 3.2 or later, which the
// portable builds link anyway); both give the same digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace quorent::keccak {

struct Part {
    const void* data;
    std::size_t size;
};

// The digest of the parts, concatenated, into out[0..31].
void hash256(std::initializer_list<Part> parts, std::uint8_t* out);

}  // namespace quorent::keccak
