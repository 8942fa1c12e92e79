// URL hosts: domains through UTS #46 (idna.cpp), opaque hosts, and the
// dispatch to the IP address forms.
#include <cstddef>

#include "quorent/encoding.hpp"
#include "unicode.hpp"
#include "url_internal.hpp"

namespace quorent::url {

using namespace detail;

namespace {

// Code points that may not appear in an opaque host, and in addition in a
// domain.
constexpr CharSet kForbiddenHost = CharSet{}.with(std::string_view("\0\t\n\r #/:<>?@[\\]^|", 17));
constexpr CharSet make_forbidden_domain() {
    CharSet s = kForbiddenHost.with("%");
    for (int c = 0; c < 0x20; ++c) s.add(static_cast<unsigned char>(c));
    s.add(0x7F);
    return s;
}
constexpr CharSet kForbiddenDomain = make_forbidden_domain();

// Whether a domain needs UTS #46 processing: it has a non-ASCII byte or a
// label starting with "xn--". Other domains only need lower-casing.
bool needs_idna(std::string_view domain) {
    bool label_start = true;
    for (std::size_t i = 0; i < domain.size(); ++i) {
        const auto c = static_cast<unsigned char>(domain[i]);
        if (c >= 0x80) return true;
        if (label_start && i + 4 <= domain.size() && (c == 'x' || c == 'X') &&
            (domain[i + 1] == 'n' || domain[i + 1] == 'N') && domain[i + 2] == '-' && domain[i + 3] == '-')
            return true;
        label_start = c == '.';
    }
    return false;
}

Reason domain_to_ascii(std::string_view domain, std::string& out) {
    if (!needs_idna(domain)) {
        out.resize(domain.size());
        for (std::size_t i = 0; i < domain.size(); ++i) out[i] = to_lower(domain[i]);
    } else if (!unicode::domain_to_ascii(domain, out)) {
        return kIdnaError;
    }
    if (out.empty()) return kEmptyHost;
    for (char c : out)
        if (kForbiddenDomain.has(static_cast<unsigned char>(c))) return kInvalidDomainCharacter;
    return nullptr;
}

void percent_decode(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size()) {
            const int hi = hex_digit_value_var(static_cast<unsigned char>(in[i + 1]));
            const int lo = hex_digit_value_var(static_cast<unsigned char>(in[i + 2]));
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += in[i];
    }
}

}  // namespace

Reason detail::parse_host(std::string_view input, bool special, std::string& out) {
    out.clear();
    if (!input.empty() && input.front() == '[') {
        if (input.size() < 2 || input.back() != ']') return kInvalidIpv6;
        const auto address = parse_ipv6(input.substr(1, input.size() - 2));
        if (!address) return kInvalidIpv6;
        serialize_ipv6(out, *address);
        return nullptr;
    }
    if (!special) {
        // Opaque host.
        for (char c : input)
            if (kForbiddenHost.has(static_cast<unsigned char>(c))) return kInvalidDomainCharacter;
        append_encoded(out, input, kC0ControlSet);
        return nullptr;
    }
    std::string decoded;
    percent_decode(input, decoded);
    if (Reason r = domain_to_ascii(decoded, out)) return r;
    if (ends_in_a_number(out)) {
        std::uint32_t address = 0;
        if (Reason r = parse_ipv4(out, address)) return r;
        out.clear();
        serialize_ipv4(out, address);
    }
    return nullptr;
}

}  // namespace quorent::url
