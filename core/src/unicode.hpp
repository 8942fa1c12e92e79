// Unicode pieces the library needs without a Unicode library: UTF-8
// conversion, character properties, NFC, full lower-casing (unicode.cpp),
// and UTS #46 domain-to-ASCII (idna.cpp). Tables: unicode_tables.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorent::unicode {

// Bidi classes as the IDNA Bidi rule distinguishes them.
enum class BidiClass : std::uint8_t { Other, L, R, AL, AN, EN, ES, CS, ET, ON, BN, NSM };
enum class JoiningType : std::uint8_t { U, D, L, R, C, T };

struct Properties {
    std::uint32_t word;
    BidiClass bidi() const { return static_cast<BidiClass>(word & 15); }
    JoiningType joining() const { return static_cast<JoiningType>((word >> 4) & 7); }
    std::uint8_t combining_class() const { return static_cast<std::uint8_t>((word >> 7) & 0xFF); }
    bool mark() const { return (word >> 15) & 1; }
    bool cased() const { return (word >> 16) & 1; }
    bool case_ignorable() const { return (word >> 17) & 1; }
    bool nfc_maybe_not() const { return (word >> 18) & 1; }
};
Properties properties(char32_t c);

// Strict UTF-8 to code points (no surrogates, overlongs or values past
// U+10FFFF); false on any ill-formed sequence.
bool decode_utf8(std::string_view in, std::u32string& out);
void append_utf8(std::string& out, char32_t c);

// Normalization Form C, in place; false when the text passed the quick
// check and was left as it was.
bool to_nfc(std::u32string& text);
bool is_nfc(std::u32string_view text);

// Full lower-casing, language-independent: simple mappings, SpecialCasing's
// unconditional entries and the Final_Sigma rule. Bytes of ill-formed UTF-8
// are copied unchanged.
std::string to_lower(std::string_view utf8);

// UTS #46 ToASCII with the URL Standard's options (no STD3 rules, no hyphen
// or DNS length checks, CheckBidi, CheckJoiners, nontransitional). False on
// any error, including ill-formed UTF-8.
bool domain_to_ascii(std::string_view utf8, std::string& out);

}  // namespace quorent::unicode
