// Compiled by scripts/portable.sh into the Keccak-only subset of Crypto++.
// Crypto++ defines its IntToString<word64> specialisation (declared in
// misc.h) in integer.cpp, which also holds its big-integer arithmetic, with
// static Integer objects and <iostream> that bring ASN.1, filters and the
// C++ locale machinery (about 0.4 MB) into the library. Keccak uses it only
// for the message of HashTransformation::ThrowIfInvalidTruncatedSize, so it
// is defined here alone, with integer.cpp's behaviour: digits in the base
// given, upper case when the base carries the high bit.
#include "cryptopp/misc.h"

namespace CryptoPP {

template <>
std::string IntToString<word64>(word64 value, unsigned int base) {
    const unsigned int upper = 1U << 31;
    const char letter = (base & upper) ? 'A' : 'a';
    base &= ~upper;
    if (value == 0) return "0";
    std::string result;
    while (value > 0) {
        const word64 digit = value % base;
        result.insert(result.begin(), static_cast<char>(digit < 10 ? '0' + digit : letter + (digit - 10)));
        value /= base;
    }
    return result;
}

}  // namespace CryptoPP
