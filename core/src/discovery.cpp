#include "quorent/discovery.hpp"

#include <array>
#include <cstdint>
#include <optional>

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

constexpr std::uint32_t kIllFormed = 0xFFFFFFFF;

bool forbidden(std::uint32_t cp) noexcept {
    switch (cp) {
        case '@': case '?': case '#': case '%': case '\\': case '|': case ' ':
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        case kIllFormed:
            return true;
        default: break;
    }
    if (cp <= 0x1F || (cp >= 0x7F && cp <= 0x9F)) return true;
    return cp >= 0x2000 && cp <= 0x200A;
}

// Decodes one scalar value at text[i]; advances i. Ill-formed UTF-8 yields
// kIllFormed: bytes that are not text cannot be part of a bare origin.
std::uint32_t next_scalar(std::string_view text, std::size_t& i) noexcept {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    auto cont = [&](std::size_t k) -> int {
        if (i + k >= text.size()) return -1;
        const auto b = static_cast<unsigned char>(text[i + k]);
        return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        const int c1 = cont(1);
        if (c1 >= 0) {
            i += 2;
            return ((b0 & 0x1Fu) << 6) | static_cast<std::uint32_t>(c1);
        }
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        const int c1 = cont(1), c2 = cont(2);
        if (c1 >= 0 && c2 >= 0) {
            const std::uint32_t cp = ((b0 & 0x0Fu) << 12) | (static_cast<std::uint32_t>(c1) << 6) |
                                     static_cast<std::uint32_t>(c2);
            if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
                i += 3;
                return cp;
            }
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        const int c1 = cont(1), c2 = cont(2), c3 = cont(3);
        if (c1 >= 0 && c2 >= 0 && c3 >= 0) {
            const std::uint32_t cp = ((b0 & 0x07u) << 18) | (static_cast<std::uint32_t>(c1) << 12) |
                                     (static_cast<std::uint32_t>(c2) << 6) | static_cast<std::uint32_t>(c3);
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                i += 4;
                return cp;
            }
        }
    }
    ++i;
    return kIllFormed;
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

// RFC 4291 textual IPv6 address (with "::" and a dotted-quad tail).
std::optional<std::array<std::uint16_t, 8>> parse_ipv6(std::string_view s) noexcept {
    std::array<std::uint16_t, 8> words{};
    int count = 0;
    int gap = -1;  // index where "::" stands
    std::size_t i = 0;
    if (s.size() >= 2 && s[0] == ':' && s[1] == ':') {
        gap = 0;
        i = 2;
        if (i == s.size()) return words;
    } else if (!s.empty() && s[0] == ':') {
        return std::nullopt;
    }
    while (i < s.size()) {
        if (count == 8) return std::nullopt;
        // A dotted-quad tail takes the last two words.
        std::size_t j = i;
        while (j < s.size() && s[j] != ':') ++j;
        const std::string_view piece = s.substr(i, j - i);
        if (piece.find('.') != std::string_view::npos) {
            if (j != s.size() || count > 6) return std::nullopt;
            auto quad = parse_dotted_quad(piece);
            if (!quad) return std::nullopt;
            words[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(((*quad)[0] << 8) | (*quad)[1]);
            words[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(((*quad)[2] << 8) | (*quad)[3]);
            i = j;
            break;
        }
        if (piece.empty() || piece.size() > 4) return std::nullopt;
        unsigned value = 0;
        for (char c : piece) {
            unsigned d;
            if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
            else return std::nullopt;
            value = value * 16 + d;
        }
        words[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(value);
        i = j;
        if (i == s.size()) break;
        // At a ':'.
        if (i + 1 < s.size() && s[i + 1] == ':') {
            if (gap >= 0) return std::nullopt;
            gap = count;
            i += 2;
            if (i == s.size()) break;
        } else {
            ++i;
            if (i == s.size()) return std::nullopt;  // trailing single ':'
        }
    }
    if (gap < 0) {
        if (count != 8) return std::nullopt;
        return words;
    }
    if (count >= 8) return std::nullopt;  // "::" must stand for at least one word
    std::array<std::uint16_t, 8> out{};
    const int tail = count - gap;
    for (int k = 0; k < gap; ++k) out[static_cast<std::size_t>(k)] = words[static_cast<std::size_t>(k)];
    for (int k = 0; k < tail; ++k)
        out[static_cast<std::size_t>(8 - tail + k)] = words[static_cast<std::size_t>(gap + k)];
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
        auto addr = parse_ipv6(host.substr(1, host.size() - 2));
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
    for (std::size_t i = 0; i < rest.size();)
        if (forbidden(next_scalar(rest, i))) return input(kForbidden);

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
