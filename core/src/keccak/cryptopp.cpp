#include <cryptopp/keccak.h>

#include "keccak.hpp"

namespace quorent::keccak {

void hash256(std::initializer_list<Part> parts, std::uint8_t* out) {
    CryptoPP::Keccak_256 h;
    for (const Part& p : parts) h.Update(static_cast<const CryptoPP::byte*>(p.data), p.size);
    h.Final(out);
}

}  // namespace quorent::keccak
