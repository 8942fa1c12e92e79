// Absolute-URL parser and serializer following the URL Standard's state
// machine. Input is processed byte by byte: every byte of a non-ASCII UTF-8
// sequence falls in all the percent-encode sets, so encoding bytes one at a
// time gives the same text as encoding code points.
#include "quorent/url.hpp"

#include <unicode/uidna.h>

#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <stdexcept>

namespace quorent::url {

namespace {

using Reason = const char*;  // nullptr: success

constexpr int kEof = -1;

// ---- character classes --------------------------------------------------

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
constexpr CharSet kC0ControlSet = make_c0_control_set();
constexpr CharSet kFragmentSet = kC0ControlSet.with(" \"<>`");
constexpr CharSet kQuerySet = kC0ControlSet.with(" \"#<>");
constexpr CharSet kSpecialQuerySet = kQuerySet.with("'");
constexpr CharSet kPathSet = kQuerySet.with("?`{}");
constexpr CharSet kUserinfoSet = kPathSet.with("/:;=@[\\]^|");

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

constexpr char kUpperHex[] = "0123456789ABCDEF";

constexpr bool is_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr char to_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

int hex_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline void append_percent(std::string& out, unsigned char b) {
    out += '%';
    out += kUpperHex[b >> 4];
    out += kUpperHex[b & 15];
}

inline void append_encoded(std::string& out, int c, const CharSet& set) {
    const auto b = static_cast<unsigned char>(c);
    if (set.has(b))
        append_percent(out, b);
    else
        out += static_cast<char>(b);
}

void append_encoded(std::string& out, std::string_view text, const CharSet& set) {
    for (char c : text) append_encoded(out, static_cast<unsigned char>(c), set);
}

bool iequals_ascii(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (to_lower(a[i]) != lower[i]) return false;
    return true;
}

// ---- schemes ------------------------------------------------------------

// Default port of a special scheme, 0 for file, -1 for a non-special scheme.
int special_default_port(std::string_view scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    if (scheme == "ftp") return 21;
    if (scheme == "file") return 0;
    return -1;
}

// ---- IPv4 ---------------------------------------------------------------

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
        int d = hex_value(static_cast<unsigned char>(ch));
        if (d < 0 || static_cast<unsigned>(d) >= radix) return false;
        value = value * radix + static_cast<unsigned>(d);
        if (value > kClamp) value = kClamp;
    }
    return true;
}

// Whether a domain's last label (ignoring one trailing empty label) is a
// number, which makes the whole domain an IPv4 address.
bool ends_in_a_number(std::string_view domain) {
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

Reason parse_ipv4(std::string_view input, std::uint32_t& address) {
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

void serialize_ipv4(std::string& out, std::uint32_t address) {
    char buf[4];
    for (int i = 3; i >= 0; --i) {
        auto r = std::to_chars(buf, buf + sizeof buf, (address >> (8 * i)) & 0xFF);
        out.append(buf, r.ptr);
        if (i != 0) out += '.';
    }
}

// ---- IPv6 ---------------------------------------------------------------

Reason parse_ipv6(std::string_view in, std::array<std::uint16_t, 8>& address) {
    address.fill(0);
    const std::size_t n = in.size();
    std::size_t p = 0;
    auto at = [&](std::size_t i) -> int { return i < n ? static_cast<unsigned char>(in[i]) : kEof; };
    int piece = 0;
    int compress = -1;
    if (at(p) == ':') {
        if (at(p + 1) != ':') return kInvalidIpv6;
        p += 2;
        compress = ++piece;
    }
    while (at(p) != kEof) {
        if (piece == 8) return kInvalidIpv6;
        if (at(p) == ':') {
            if (compress >= 0) return kInvalidIpv6;
            ++p;
            compress = ++piece;
            continue;
        }
        unsigned value = 0;
        std::size_t length = 0;
        while (length < 4 && hex_value(at(p)) >= 0) {
            value = value * 16 + static_cast<unsigned>(hex_value(at(p)));
            ++p;
            ++length;
        }
        if (at(p) == '.') {
            // An embedded IPv4 address in the last two pieces.
            if (length == 0) return kInvalidIpv6;
            p -= length;
            if (piece > 6) return kInvalidIpv6;
            int numbers_seen = 0;
            while (at(p) != kEof) {
                int ipv4_piece = -1;
                if (numbers_seen > 0) {
                    if (at(p) == '.' && numbers_seen < 4)
                        ++p;
                    else
                        return kInvalidIpv6;
                }
                if (!is_digit(at(p))) return kInvalidIpv6;
                while (is_digit(at(p))) {
                    const int number = at(p) - '0';
                    if (ipv4_piece < 0)
                        ipv4_piece = number;
                    else if (ipv4_piece == 0)
                        return kInvalidIpv6;
                    else
                        ipv4_piece = ipv4_piece * 10 + number;
                    if (ipv4_piece > 255) return kInvalidIpv6;
                    ++p;
                }
                address[piece] = static_cast<std::uint16_t>(address[piece] * 0x100 + ipv4_piece);
                ++numbers_seen;
                if (numbers_seen == 2 || numbers_seen == 4) ++piece;
            }
            if (numbers_seen != 4) return kInvalidIpv6;
            break;
        }
        if (at(p) == ':') {
            ++p;
            if (at(p) == kEof) return kInvalidIpv6;
        } else if (at(p) != kEof) {
            return kInvalidIpv6;
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
        return kInvalidIpv6;
    }
    return nullptr;
}

void serialize_ipv6(std::string& out, const std::array<std::uint16_t, 8>& a) {
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

// ---- domains ------------------------------------------------------------

// The UTS #46 processor with the URL Standard's options (CheckBidi,
// CheckJoiners, nontransitional processing, no STD3 rules), opened once for
// the process; ICU allows concurrent use of one UIDNA object.
const UIDNA* uts46() {
    struct Holder {
        UIDNA* idna = nullptr;
        Holder() {
            UErrorCode err = U_ZERO_ERROR;
            idna = uidna_openUTS46(UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII |
                                       UIDNA_NONTRANSITIONAL_TO_UNICODE,
                                   &err);
            if (U_FAILURE(err) || idna == nullptr)
                throw std::runtime_error(std::string("ICU UTS #46 processing is unavailable: ") + u_errorName(err));
        }
        ~Holder() { uidna_close(idna); }
    };
    static const Holder holder;
    return holder.idna;
}

// Errors UTS #46 reports that the URL Standard does not apply: it sets
// CheckHyphens and VerifyDnsLength to false.
constexpr std::uint32_t kIgnoredIdnaErrors = UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG |
                                             UIDNA_ERROR_DOMAIN_NAME_TOO_LONG | UIDNA_ERROR_LEADING_HYPHEN |
                                             UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;

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
    } else {
        if (domain.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 4))
            return kIdnaError;
        const auto len = static_cast<std::int32_t>(domain.size());
        out.resize(domain.size() * 2 + 16);
        for (int attempt = 0; attempt < 2; ++attempt) {
            UErrorCode err = U_ZERO_ERROR;
            UIDNAInfo info = UIDNA_INFO_INITIALIZER;
            const std::int32_t written = uidna_nameToASCII_UTF8(uts46(), domain.data(), len, out.data(),
                                                                static_cast<std::int32_t>(out.size()), &info, &err);
            if (err == U_BUFFER_OVERFLOW_ERROR && attempt == 0) {
                out.resize(static_cast<std::size_t>(written));
                continue;
            }
            if (U_FAILURE(err) || (info.errors & ~kIgnoredIdnaErrors) != 0) return kIdnaError;
            out.resize(static_cast<std::size_t>(written));
            break;
        }
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
        if (in[i] == '%' && i + 2 < in.size() && hex_value(static_cast<unsigned char>(in[i + 1])) >= 0 &&
            hex_value(static_cast<unsigned char>(in[i + 2])) >= 0) {
            out += static_cast<char>(hex_value(static_cast<unsigned char>(in[i + 1])) * 16 +
                                     hex_value(static_cast<unsigned char>(in[i + 2])));
            i += 2;
        } else {
            out += in[i];
        }
    }
}

// The host parser: input is the raw host text between the authority's "@"
// (if any) and its end. The serialized host is written to out.
Reason parse_host(std::string_view input, bool special, std::string& out) {
    out.clear();
    if (!input.empty() && input.front() == '[') {
        if (input.size() < 2 || input.back() != ']') return kInvalidIpv6;
        std::array<std::uint16_t, 8> address{};
        if (Reason r = parse_ipv6(input.substr(1, input.size() - 2), address)) return r;
        serialize_ipv6(out, address);
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

// ---- paths --------------------------------------------------------------

bool is_single_dot(std::string_view s) { return s == "." || iequals_ascii(s, "%2e"); }

bool is_double_dot(std::string_view s) {
    return s == ".." || iequals_ascii(s, ".%2e") || iequals_ascii(s, "%2e.") || iequals_ascii(s, "%2e%2e");
}

bool is_windows_drive_letter(std::string_view s) {
    return s.size() == 2 && is_alpha(static_cast<unsigned char>(s[0])) && (s[1] == ':' || s[1] == '|');
}

// Removes the last path segment, except a file URL's lone drive letter.
void shorten_path(Url& url) {
    const std::string_view path = url.path;
    if (url.scheme == "file" && path.size() == 3 && path[0] == '/' && is_alpha(static_cast<unsigned char>(path[1])) &&
        path[2] == ':')
        return;
    const std::size_t slash = path.rfind('/');
    url.path.resize(slash == std::string_view::npos ? 0 : slash);
}

enum class State {
    SpecialAuthoritySlashes,
    SpecialAuthorityIgnoreSlashes,
    PathOrAuthority,
    Authority,
    Host,
    Port,
    File,
    FileSlash,
    FileHost,
    PathStart,
    Path,
    OpaquePath,
    Query,
    Fragment,
};

CoreError failure(Reason reason) { return CoreError{ErrorKind::Input, reason}; }

constexpr std::uint64_t kMaxUrlLength = std::numeric_limits<std::uint32_t>::max();

}  // namespace

bool Url::special() const noexcept { return special_default_port(scheme) >= 0; }

std::string Url::href() const {
    std::string out;
    out.reserve(scheme.size() + username.size() + password.size() + (host ? host->size() : 0) + path.size() +
                (query ? query->size() : 0) + (fragment ? fragment->size() : 0) + 16);
    out += scheme;
    out += ':';
    if (host) {
        out += "//";
        if (!username.empty() || !password.empty()) {
            out += username;
            if (!password.empty()) {
                out += ':';
                out += password;
            }
            out += '@';
        }
        out += *host;
        if (port) {
            out += ':';
            out += std::to_string(*port);
        }
    } else if (!opaque_path && path.size() > 1 && path[0] == '/' && path[1] == '/') {
        // Without a host, a path whose first segment is empty would read
        // back as an authority.
        out += "/.";
    }
    out += path;
    if (query) {
        out += '?';
        out += *query;
    }
    if (fragment) {
        out += '#';
        out += *fragment;
    }
    return out;
}

std::string Url::host_and_port() const {
    if (!host) return std::string();
    if (!port) return *host;
    return *host + ":" + std::to_string(*port);
}

std::string Url::port_text() const { return port ? std::to_string(*port) : std::string(); }

std::string Url::search() const { return query && !query->empty() ? "?" + *query : std::string(); }

std::string Url::hash() const { return fragment && !fragment->empty() ? "#" + *fragment : std::string(); }

Result<Url> parse(std::string_view raw) {
    if (raw.size() > kMaxUrlLength) return failure(kTooLong);

    // Drop leading and trailing C0 controls and spaces, then tabs and line
    // breaks anywhere.
    std::size_t begin = 0, end = raw.size();
    while (begin < end && static_cast<unsigned char>(raw[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(raw[end - 1]) <= 0x20) --end;
    std::string_view in = raw.substr(begin, end - begin);
    std::string cleaned;
    if (in.find_first_of("\t\n\r") != std::string_view::npos) {
        cleaned.reserve(in.size());
        for (char c : in)
            if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
        in = cleaned;
    }

    Url url;

    // Scheme: an ASCII letter, then letters, digits, "+", "-" or ".", then
    // ":". Anything else is a relative reference, which needs a base.
    std::size_t colon = 0;
    if (in.empty() || !is_alpha(static_cast<unsigned char>(in[0]))) return failure(kRelativeWithoutBase);
    while (true) {
        if (colon == in.size()) return failure(kRelativeWithoutBase);
        const auto c = static_cast<unsigned char>(in[colon]);
        if (c == ':') break;
        if (!is_alpha(c) && !is_digit(c) && c != '+' && c != '-' && c != '.') return failure(kRelativeWithoutBase);
        ++colon;
    }
    url.scheme.resize(colon);
    for (std::size_t i = 0; i < colon; ++i) url.scheme[i] = to_lower(in[i]);
    const int default_port = special_default_port(url.scheme);
    const bool special = default_port >= 0;

    const auto n = static_cast<std::ptrdiff_t>(in.size());
    std::ptrdiff_t p = static_cast<std::ptrdiff_t>(colon) + 1;
    auto at = [&](std::ptrdiff_t i) -> int { return i < n ? static_cast<unsigned char>(in[i]) : kEof; };

    State state;
    if (url.scheme == "file") {
        state = State::File;
    } else if (special) {
        state = State::SpecialAuthoritySlashes;
    } else if (at(p) == '/') {
        state = State::PathOrAuthority;
        ++p;
    } else {
        url.opaque_path = true;
        state = State::OpaquePath;
    }

    std::string buffer;
    std::string host;
    bool at_sign_seen = false;
    bool inside_brackets = false;
    bool password_token_seen = false;
    std::uint32_t port_value = 0;
    // Delimiters ending the authority, host and port: "/", "?", "#", and
    // "\" for special URLs.
    auto ends_authority = [&](int c) { return c == kEof || c == '/' || c == '?' || c == '#' || (special && c == '\\'); };
    auto is_slash = [&](int c) { return c == '/' || (special && c == '\\'); };

    for (;; ++p) {
        const int c = at(p);
        switch (state) {
            case State::SpecialAuthoritySlashes:
                state = State::SpecialAuthorityIgnoreSlashes;
                if (c == '/' && at(p + 1) == '/')
                    ++p;
                else
                    --p;
                break;

            case State::SpecialAuthorityIgnoreSlashes:
                if (c != '/' && c != '\\') {
                    state = State::Authority;
                    --p;
                }
                break;

            case State::PathOrAuthority:
                if (c == '/') {
                    state = State::Authority;
                } else {
                    state = State::Path;
                    --p;
                }
                break;

            case State::Authority:
                if (c == '@') {
                    if (at_sign_seen) buffer.insert(0, "%40");
                    at_sign_seen = true;
                    for (char b : buffer) {
                        if (b == ':' && !password_token_seen) {
                            password_token_seen = true;
                            continue;
                        }
                        append_encoded(password_token_seen ? url.password : url.username,
                                       static_cast<unsigned char>(b), kUserinfoSet);
                    }
                    buffer.clear();
                } else if (ends_authority(c)) {
                    if (at_sign_seen && buffer.empty()) return failure(kEmptyHost);
                    p -= static_cast<std::ptrdiff_t>(buffer.size()) + 1;
                    buffer.clear();
                    state = State::Host;
                } else {
                    buffer += static_cast<char>(c);
                }
                break;

            case State::Host:
                if (c == ':' && !inside_brackets) {
                    if (buffer.empty()) return failure(kEmptyHost);
                    if (Reason r = parse_host(buffer, special, host)) return failure(r);
                    url.host = std::move(host);
                    buffer.clear();
                    state = State::Port;
                } else if (ends_authority(c)) {
                    --p;
                    if (special && buffer.empty()) return failure(kEmptyHost);
                    if (Reason r = parse_host(buffer, special, host)) return failure(r);
                    url.host = std::move(host);
                    buffer.clear();
                    state = State::PathStart;
                } else {
                    if (c == '[') inside_brackets = true;
                    if (c == ']') inside_brackets = false;
                    buffer += static_cast<char>(c);
                }
                break;

            case State::Port:
                if (is_digit(c)) {
                    buffer += static_cast<char>(c);
                    port_value = port_value * 10 + static_cast<std::uint32_t>(c - '0');
                    if (port_value > 65535) return failure(kInvalidPort);
                } else if (ends_authority(c)) {
                    if (!buffer.empty()) {
                        if (static_cast<int>(port_value) != default_port)
                            url.port = static_cast<std::uint16_t>(port_value);
                        buffer.clear();
                    }
                    state = State::PathStart;
                    --p;
                } else {
                    return failure(kInvalidPort);
                }
                break;

            case State::File:
                url.host.emplace();
                if (c == '/' || c == '\\') {
                    state = State::FileSlash;
                } else {
                    state = State::Path;
                    --p;
                }
                break;

            case State::FileSlash:
                if (c == '/' || c == '\\') {
                    state = State::FileHost;
                } else {
                    state = State::Path;
                    --p;
                }
                break;

            case State::FileHost:
                if (c == kEof || c == '/' || c == '\\' || c == '?' || c == '#') {
                    --p;
                    if (is_windows_drive_letter(buffer)) {
                        // "file://C|/x": the drive letter stays in the
                        // buffer and becomes the first path segment.
                        state = State::Path;
                    } else if (buffer.empty()) {
                        url.host.emplace();
                        state = State::PathStart;
                    } else {
                        if (Reason r = parse_host(buffer, true, host)) return failure(r);
                        if (host == "localhost") host.clear();
                        url.host = std::move(host);
                        buffer.clear();
                        state = State::PathStart;
                    }
                } else {
                    buffer += static_cast<char>(c);
                }
                break;

            case State::PathStart:
                if (special) {
                    state = State::Path;
                    if (c != '/' && c != '\\') --p;
                } else if (c == '?') {
                    url.query.emplace();
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment.emplace();
                    state = State::Fragment;
                } else if (c != kEof) {
                    state = State::Path;
                    if (c != '/') --p;
                }
                break;

            case State::Path:
                if (c == kEof || is_slash(c) || c == '?' || c == '#') {
                    const bool slash = is_slash(c);
                    if (is_double_dot(buffer)) {
                        shorten_path(url);
                        if (!slash) url.path += '/';
                    } else if (is_single_dot(buffer)) {
                        if (!slash) url.path += '/';
                    } else {
                        if (url.path.empty() && url.scheme == "file" && is_windows_drive_letter(buffer)) buffer[1] = ':';
                        url.path += '/';
                        url.path += buffer;
                    }
                    buffer.clear();
                    if (c == '?') {
                        url.query.emplace();
                        state = State::Query;
                    } else if (c == '#') {
                        url.fragment.emplace();
                        state = State::Fragment;
                    }
                } else {
                    append_encoded(buffer, c, kPathSet);
                }
                break;

            case State::OpaquePath:
                if (c == '?') {
                    url.query.emplace();
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment.emplace();
                    state = State::Fragment;
                } else if (c != kEof) {
                    append_encoded(url.path, c, kC0ControlSet);
                }
                break;

            case State::Query:
                if (c == '#') {
                    url.fragment.emplace();
                    state = State::Fragment;
                } else if (c != kEof) {
                    append_encoded(*url.query, c, special ? kSpecialQuerySet : kQuerySet);
                }
                break;

            case State::Fragment:
                if (c != kEof) append_encoded(*url.fragment, c, kFragmentSet);
                break;
        }
        if (p >= n) break;
    }

    const std::uint64_t length = url.scheme.size() + url.username.size() + url.password.size() +
                                 (url.host ? url.host->size() : 0) + url.path.size() +
                                 (url.query ? url.query->size() : 0) + (url.fragment ? url.fragment->size() : 0) + 16;
    if (length > kMaxUrlLength) return failure(kTooLong);
    return url;
}

namespace {

// The bytes the form serializer writes unchanged.
struct FormSafe {
    bool v[256];
    constexpr FormSafe() : v{} {
        for (int c = 0; c < 256; ++c) v[c] = is_alpha(c) || is_digit(c) || c == '*' || c == '-' || c == '.' || c == '_';
    }
};
constexpr FormSafe kFormSafe;

}  // namespace

void form_urlencode_append(std::string& out, std::string_view text) {
    // Runs of bytes that pass unchanged are appended whole.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (kFormSafe.v[b]) continue;
        out.append(text.data() + run, i - run);
        if (b == ' ')
            out += '+';
        else
            append_percent(out, b);
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

}  // namespace quorent::url
