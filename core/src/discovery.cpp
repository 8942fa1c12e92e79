#include "quorent/discovery.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "quorent/encoding.hpp"
#include "quorent/url.hpp"

namespace quorent::discovery {

namespace {

constexpr std::string_view kBadScheme = "origin: must start with https:// or http://";
constexpr std::string_view kPath =
    "origin: must be scheme://host[:port], optionally with one trailing slash, and no path";
constexpr std::string_view kForbidden =
    "origin: contains a forbidden character \xE2\x80\x94 userinfo ('@'), query ('?'), fragment ('#') and "
    "percent-encoding ('%') are not allowed in a bare scheme://host[:port] origin";
constexpr std::string_view kUnterminated = "origin: unterminated IPv6 literal \xE2\x80\x94 missing ']'";
constexpr std::string_view kEmptyV6 = "origin: empty IPv6 literal '[]'";
constexpr std::string_view kV6Port = "origin: port must be all-digit after an IPv6 literal";
constexpr std::string_view kAfterV6 = "origin: unexpected characters after an IPv6 literal's ']'";
constexpr std::string_view kColons =
    "origin: a bare host must not contain more than one ':' \xE2\x80\x94 wrap an IPv6 literal in '[...]'";
constexpr std::string_view kPort = "origin: port must be all-digit";
constexpr std::string_view kEmptyHost = "origin: host must not be empty";

CoreError input(std::string_view message) { return CoreError{ErrorKind::Input, std::string(message)}; }

bool all_digits(std::string_view s) noexcept {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The forbidden characters above ASCII: C1 controls and white space.
bool forbidden_non_ascii(std::uint32_t cp) noexcept {
    switch (cp) {
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000: return true;
        default: break;
    }
    return cp <= 0x9F || (cp >= 0x2000 && cp <= 0x200A);
}

// Whether the text holds a character a bare origin may not: "@?#%\|", a
// control character or white space. Bytes that are not UTF-8 cannot be part
// of a bare origin either.
bool has_forbidden_character(std::string_view text) noexcept {
    // The forbidden ASCII characters as a bit mask: controls, space, '#',
    // '%', '?', '@', '\', '|' and DEL.
    constexpr std::uint64_t kLow = 0xFFFFFFFFull | (1ull << ' ') | (1ull << '#') | (1ull << '%') | (1ull << '?');
    constexpr std::uint64_t kHigh = (1ull << ('@' - 64)) | (1ull << ('\\' - 64)) | (1ull << ('|' - 64)) | (1ull << 63);
    std::size_t first_non_ascii = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80) first_non_ascii = std::min(first_non_ascii, i);
        else if ((((b < 64 ? kLow : kHigh) >> (b & 63)) & 1) != 0) return true;
    }
    text.remove_prefix(first_non_ascii);
    if (!is_utf8_var(text)) return true;
    // The non-ASCII characters, in text now known to be well-formed.
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned b0 = s[i];
        if (b0 < 0x80) {
            i += 1;
        } else if (b0 < 0xE0) {
            if (forbidden_non_ascii(((b0 & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu))) return true;
            i += 2;
        } else if (b0 < 0xF0) {
            if (forbidden_non_ascii(((b0 & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu))) return true;
            i += 3;
        } else {
            i += 4;  // nothing forbidden lies above U+FFFF
        }
    }
    return false;
}

// Strict dotted quad: four decimal octets 0-255, no leading zeros.
std::optional<std::array<std::uint8_t, 4>> parse_dotted_quad(std::string_view s) noexcept {
    std::array<std::uint8_t, 4> out{};
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= s.size() || s[pos] != '.') return std::nullopt;
            ++pos;
        }
        const std::size_t start = pos;
        unsigned value = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - start < 3) {
            value = value * 10 + static_cast<unsigned>(s[pos] - '0');
            ++pos;
        }
        const std::size_t len = pos - start;
        if (len == 0 || value > 255 || (len > 1 && s[start] == '0')) return std::nullopt;
        out[static_cast<std::size_t>(part)] = static_cast<std::uint8_t>(value);
    }
    if (pos != s.size()) return std::nullopt;
    return out;
}

bool ends_with(std::string_view s, std::string_view suffix) noexcept {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool not_routable(std::string_view host) noexcept {
    if (host == "localhost" || ends_with(host, ".localhost") || host == "0.0.0.0" || ends_with(host, ".local"))
        return true;
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 2 || host.back() != ']') return false;
        const auto addr = url::parse_ipv6(host.substr(1, host.size() - 2));
        if (!addr) return false;
        const auto& w = *addr;
        bool zero_head = true;
        for (int k = 0; k < 7; ++k) zero_head = zero_head && w[static_cast<std::size_t>(k)] == 0;
        if (zero_head && (w[7] == 0 || w[7] == 1)) return true;
        return (w[0] & 0xffc0) == 0xfe80 || (w[0] & 0xfe00) == 0xfc00;
    }
    auto quad = parse_dotted_quad(host);
    if (!quad) return false;
    const auto a = (*quad)[0], b = (*quad)[1];
    if (a == 10 || a == 127) return true;
    if (a == 172 && b >= 16 && b <= 31) return true;
    if (a == 192 && b == 168) return true;
    if (a == 169 && b == 254) return true;
    return a == 0 && b == 0 && (*quad)[2] == 0 && (*quad)[3] == 0;
}

}  // namespace

Result<std::string> normalize_origin(std::string_view origin) {
    std::string_view scheme;
    std::string_view rest;
    if (origin.substr(0, 8) == "https://") {
        scheme = "https";
        rest = origin.substr(8);
    } else if (origin.substr(0, 7) == "http://") {
        scheme = "http";
        rest = origin.substr(7);
    } else {
        return input(kBadScheme);
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (rest.empty() || rest.find('/') != std::string_view::npos) return input(kPath);
    if (has_forbidden_character(rest)) return input(kForbidden);

    std::string authority(rest);
    for (char& c : authority)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const std::string_view a = authority;

    std::string_view host, port;
    bool has_port = false;
    if (a.front() == '[') {
        const std::size_t close = a.find(']', 1);
        if (close == std::string_view::npos) return input(kUnterminated);
        if (close == 1) return input(kEmptyV6);
        host = a.substr(0, close + 1);
        if (close + 1 < a.size()) {
            if (a[close + 1] != ':') return input(kAfterV6);
            port = a.substr(close + 2);
            if (!all_digits(port)) return input(kV6Port);
            has_port = true;
        }
    } else {
        const std::size_t colon = a.find(':');
        if (colon != std::string_view::npos) {
            if (a.find(':', colon + 1) != std::string_view::npos) return input(kColons);
            host = a.substr(0, colon);
            port = a.substr(colon + 1);
            if (!all_digits(port)) return input(kPort);
            has_port = true;
        } else {
            host = a;
        }
        if (host.empty()) return input(kEmptyHost);
    }
    if (has_port && port == (scheme == "https" ? "443" : "80")) has_port = false;

    std::string out;
    out.reserve(scheme.size() + 3 + host.size() + (has_port ? port.size() + 1 : 0));
    out.append(scheme).append("://").append(host);
    if (has_port) out.append(":").append(port);
    return out;
}

Status check_origin_policy(std::string_view origin, bool allow_insecure_origin) {
    auto normalized = normalize_origin(origin);
    if (!normalized.ok()) return std::move(normalized).error();
    const std::string& canonical = normalized.value();
    if (allow_insecure_origin) return {};
    const std::string_view c = canonical;
    if (c.substr(0, 8) != "https://")
        return CoreError{ErrorKind::InsecureOrigin, canonical + ": scheme must be https in production"};
    const std::string_view a = c.substr(8);
    std::string_view host;
    if (!a.empty() && a.front() == '[') {
        host = a.substr(0, a.find(']') + 1);
    } else {
        host = a.substr(0, a.find(':'));
    }
    if (not_routable(host))
        return CoreError{ErrorKind::InsecureOrigin,
                         canonical + ": host '" + std::string(host) +
                             "' is not routable in production (loopback/private/link-local/mDNS)"};
    return {};
}

}  // namespace quorent::discovery
