// Absolute URLs as web browsers read and write them (the WHATWG URL
// Standard's parser and serializer, without relative resolution), the
// application/x-www-form-urlencoded byte serializer, and the IPv6 address
// parser the origin policy shares.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quorent/error.hpp"

namespace quorent::url {

// The reasons a parse fails with (the detail of its CoreError, kind Input).
inline constexpr const char* kEmptyHost = "empty host";
inline constexpr const char* kIdnaError = "invalid international domain name";
inline constexpr const char* kInvalidPort = "invalid port number";
inline constexpr const char* kInvalidIpv4 = "invalid IPv4 address";
inline constexpr const char* kInvalidIpv6 = "invalid IPv6 address";
inline constexpr const char* kInvalidDomainCharacter = "invalid domain character";
inline constexpr const char* kRelativeWithoutBase = "relative URL without a base";
inline constexpr const char* kRelativeWithOpaqueBase = "relative URL with a cannot-be-a-base base";
inline constexpr const char* kTooLong = "URLs more than 4 GB are not supported";

// A parsed URL. Every component is held in its serialized (ASCII,
// percent-encoded) form.
struct Url {
    std::string scheme;                   // lower case, without the ":"
    std::string username;                 // percent-encoded, may be empty
    std::string password;                 // percent-encoded, may be empty
    std::optional<std::string> host;      // domain, dotted IPv4, "[IPv6]", opaque host or ""; none if absent
    std::optional<std::uint16_t> port;    // none when absent or the scheme's default
    std::string path;                     // "/seg/seg..." (empty for no segments), or the opaque path
    bool opaque_path = false;             // path is a single opaque string (e.g. "mailto:x")
    std::optional<std::string> query;     // without the "?"
    std::optional<std::string> fragment;  // without the "#"

    // The serialization (the whole URL text).
    std::string href() const;

    // The components as the web's URL interface presents them.
    std::string protocol() const { return scheme + ":"; }
    std::string host_and_port() const;  // "host" with ":port" when a port is set
    std::string hostname() const { return host.value_or(std::string()); }
    std::string port_text() const;  // "" when no port
    const std::string& pathname() const noexcept { return path; }
    std::string search() const;  // "" when the query is absent or empty, else "?" + query
    std::string hash() const;    // "" when the fragment is absent or empty, else "#" + fragment

    bool operator==(const Url&) const = default;
};

// Parses an absolute URL. Leading and trailing C0 controls and spaces are
// dropped and tabs and line breaks removed first. Fails with a CoreError of
// kind Input whose detail is one of the reasons above.
Result<Url> parse(std::string_view input);

// application/x-www-form-urlencoded byte serializer: ASCII letters, digits
// and "*-._" unchanged, space as "+", every other byte as "%XX" (upper case).
void form_urlencode_append(std::string& out, std::string_view text);

// The eight 16-bit pieces of an IPv6 address.
using Ipv6Address = std::array<std::uint16_t, 8>;

// Parses IPv6 address text (what stands between a literal's brackets):
// eight groups of one to four hex digits of either case separated by ":",
// one "::" standing for one or more zero groups, and optionally a tail of
// four decimal octets (0-255, no leading zeros) in place of the last two.
// Nothing else is accepted: no zone, prefix length or brackets.
std::optional<Ipv6Address> parse_ipv6(std::string_view text) noexcept;

}  // namespace quorent::url
