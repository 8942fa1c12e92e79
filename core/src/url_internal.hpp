// Pieces the URL module's sources share: character classes, the
// percent-encode sets, and the host parser's parts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quorent/url.hpp"

namespace quorent::url::detail {

using Reason = const char*;  // nullptr: success

inline constexpr int kEof = -1;

struct CharSet {
    std::uint64_t w[4]{};
    constexpr bool has(unsigned char c) const { return ((w[c >> 6] >> (c & 63)) & 1) != 0; }
    constexpr void add(unsigned char c) { w[c >> 6] |= std::uint64_t{1} << (c & 63); }
    constexpr CharSet with(std::string_view chars) const {
        CharSet r = *this;
        for (char c : chars) r.add(static_cast<unsigned char>(c));
        return r;
    }
};

constexpr CharSet make_c0_control_set() {
    CharSet s;
    for (int c = 0; c < 0x20; ++c) s.add(static_cast<unsigned char>(c));
    for (int c = 0x7F; c < 0x100; ++c) s.add(static_cast<unsigned char>(c));
    return s;
}

// The percent-encode sets.
inline constexpr CharSet kC0ControlSet = make_c0_control_set();
inline constexpr CharSet kFragmentSet = kC0ControlSet.with(" \"<>`");
inline constexpr CharSet kQuerySet = kC0ControlSet.with(" \"#<>");
inline constexpr CharSet kSpecialQuerySet = kQuerySet.with("'");
inline constexpr CharSet kPathSet = kQuerySet.with("?`{}");
inline constexpr CharSet kUserinfoSet = kPathSet.with("/:;=@[\\]^|");

constexpr bool is_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr char to_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline void append_percent(std::string& out, unsigned char b) {
    constexpr char kUpperHex[] = "0123456789ABCDEF";
    out += '%';
    out += kUpperHex[b >> 4];
    out += kUpperHex[b & 15];
}

inline void append_encoded(std::string& out, int c, const CharSet& set) {
    const auto b = static_cast<unsigned char>(c);
    if (set.has(b)) append_percent(out, b);
    else out += static_cast<char>(b);
}

inline void append_encoded(std::string& out, std::string_view text, const CharSet& set) {
    for (char c : text) append_encoded(out, static_cast<unsigned char>(c), set);
}

// The host parser: input is the raw host text between the authority's "@"
// (if any) and its end; the serialized host is written to out.
Reason parse_host(std::string_view input, bool special, std::string& out);

// IPv4 in the number forms the URL Standard reads (url_ip.cpp).
bool ends_in_a_number(std::string_view domain);
Reason parse_ipv4(std::string_view input, std::uint32_t& address);
void serialize_ipv4(std::string& out, std::uint32_t address);
void serialize_ipv6(std::string& out, const Ipv6Address& address);

}  // namespace quorent::url::detail
