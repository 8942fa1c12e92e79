// IP addresses in URL hosts: IPv4 in the number forms the URL Standard reads
// (decimal, octal and hex parts, fewer than four parts), and IPv6 text with
// "::" compression and a dotted-quad tail, parsed and serialized.
#include <charconv>
#include <cstddef>
#include <utility>

#include "quorent/encoding.hpp"
#include "url_internal.hpp"

namespace quorent::url {

using detail::is_digit;
using detail::kEof;
using detail::Reason;

namespace {

// Parses one part of an IPv4 address (decimal, "0" octal or "0x" hex).
// Values above 2^32 are clamped: they are invalid in every position.
bool parse_ipv4_number(std::string_view part, std::uint64_t& value) {
    if (part.empty()) return false;
    unsigned radix = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        part.remove_prefix(2);
        radix = 16;
    } else if (part.size() >= 2 && part[0] == '0') {
        part.remove_prefix(1);
        radix = 8;
    }
    value = 0;
    constexpr std::uint64_t kClamp = std::uint64_t{1} << 40;
    for (char ch : part) {
        const int d = hex_digit_value_var(static_cast<unsigned char>(ch));
        if (d < 0 || static_cast<unsigned>(d) >= radix) return false;
        value = value * radix + static_cast<unsigned>(d);
        if (value > kClamp) value = kClamp;
    }
    return true;
}

}  // namespace

// Whether a domain's last label (ignoring one trailing empty label) is a
// number, which makes the whole domain an IPv4 address.
bool detail::ends_in_a_number(std::string_view domain) {
    if (!domain.empty() && domain.back() == '.') {
        domain.remove_suffix(1);
        if (domain.empty()) return false;  // the domain was "."
    }
    const std::size_t dot = domain.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? domain : domain.substr(dot + 1);
    if (!last.empty()) {
        bool digits = true;
        for (char c : last) digits = digits && is_digit(c);
        if (digits) return true;
    }
    std::uint64_t ignored = 0;
    return parse_ipv4_number(last, ignored);
}

Reason detail::parse_ipv4(std::string_view input, std::uint32_t& address) {
    if (!input.empty() && input.back() == '.' && input.size() > 1) input.remove_suffix(1);
    std::uint64_t numbers[4];
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = input.find('.', start);
        const std::string_view part =
            input.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (count == 4) return kInvalidIpv4;
        if (!parse_ipv4_number(part, numbers[count])) return kInvalidIpv4;
        ++count;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    for (std::size_t i = 0; i + 1 < count; ++i)
        if (numbers[i] > 255) return kInvalidIpv4;
    const std::uint64_t last = numbers[count - 1];
    if (last >= (std::uint64_t{1} << (8 * (5 - count)))) return kInvalidIpv4;
    std::uint64_t ipv4 = last;
    for (std::size_t i = 0; i + 1 < count; ++i) ipv4 += numbers[i] << (8 * (3 - i));
    address = static_cast<std::uint32_t>(ipv4);
    return nullptr;
}

void detail::serialize_ipv4(std::string& out, std::uint32_t address) {
    char buf[4];
    for (int i = 3; i >= 0; --i) {
        auto r = std::to_chars(buf, buf + sizeof buf, (address >> (8 * i)) & 0xFF);
        out.append(buf, r.ptr);
        if (i != 0) out += '.';
    }
}

// ---- IPv6 ---------------------------------------------------------------

std::optional<Ipv6Address> parse_ipv6(std::string_view in) noexcept {
    Ipv6Address address{};
    const std::size_t n = in.size();
    std::size_t p = 0;
    auto at = [&](std::size_t i) -> int { return i < n ? static_cast<unsigned char>(in[i]) : kEof; };
    int piece = 0;
    int compress = -1;
    if (at(p) == ':') {
        if (at(p + 1) != ':') return std::nullopt;
        p += 2;
        compress = ++piece;
    }
    while (at(p) != kEof) {
        if (piece == 8) return std::nullopt;
        if (at(p) == ':') {
            if (compress >= 0) return std::nullopt;
            ++p;
            compress = ++piece;
            continue;
        }
        unsigned value = 0;
        std::size_t length = 0;
        while (length < 4 && hex_digit_value_var(static_cast<unsigned char>(at(p))) >= 0) {
            value = value * 16 + static_cast<unsigned>(hex_digit_value_var(static_cast<unsigned char>(at(p))));
            ++p;
            ++length;
        }
        if (at(p) == '.') {
            // An embedded IPv4 address in the last two pieces.
            if (length == 0) return std::nullopt;
            p -= length;
            if (piece > 6) return std::nullopt;
            int numbers_seen = 0;
            while (at(p) != kEof) {
                int ipv4_piece = -1;
                if (numbers_seen > 0) {
                    if (at(p) == '.' && numbers_seen < 4) ++p;
                    else return std::nullopt;
                }
                if (!is_digit(at(p))) return std::nullopt;
                while (is_digit(at(p))) {
                    const int number = at(p) - '0';
                    if (ipv4_piece < 0) ipv4_piece = number;
                    else if (ipv4_piece == 0) return std::nullopt;
                    else ipv4_piece = ipv4_piece * 10 + number;
                    if (ipv4_piece > 255) return std::nullopt;
                    ++p;
                }
                address[piece] = static_cast<std::uint16_t>(address[piece] * 0x100 + ipv4_piece);
                ++numbers_seen;
                if (numbers_seen == 2 || numbers_seen == 4) ++piece;
            }
            if (numbers_seen != 4) return std::nullopt;
            break;
        }
        if (at(p) == ':') {
            ++p;
            if (at(p) == kEof) return std::nullopt;
        } else if (at(p) != kEof) {
            return std::nullopt;
        }
        address[piece] = static_cast<std::uint16_t>(value);
        ++piece;
    }
    if (compress >= 0) {
        int swaps = piece - compress;
        piece = 7;
        while (piece != 0 && swaps > 0) {
            std::swap(address[piece], address[compress + swaps - 1]);
            --piece;
            --swaps;
        }
    } else if (piece != 8) {
        return std::nullopt;
    }
    return address;
}

void detail::serialize_ipv6(std::string& out, const Ipv6Address& a) {
    // The first longest run of two or more zero pieces is compressed.
    int compress = -1;
    int best = 1;
    for (int i = 0; i < 8;) {
        if (a[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && a[j] == 0) ++j;
        if (j - i > best) {
            best = j - i;
            compress = i;
        }
        i = j;
    }
    out += '[';
    char buf[4];
    for (int i = 0; i < 8; ++i) {
        if (i == compress) {
            out += i == 0 ? "::" : ":";
            i += best - 1;
            continue;
        }
        auto r = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned>(a[i]), 16);
        out.append(buf, r.ptr);
        if (i != 7) out += ':';
    }
    out += ']';
}

}  // namespace quorent::url
