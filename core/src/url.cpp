// Absolute-URL parser following the URL Standard's state machine. Input is
// processed byte by byte: every byte of a non-ASCII UTF-8 sequence falls in
// all the percent-encode sets, so encoding bytes one at a time gives the same
// text as encoding code points. Hosts are parsed in url_host.cpp, IP
// addresses in url_ip.cpp, and URLs written back in url_serialize.cpp.
#include <cstddef>
#include <limits>

#include "url_internal.hpp"

namespace quorent::url {

using namespace detail;

namespace {

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
    auto ends_authority = [&](int c) {
        return c == kEof || c == '/' || c == '?' || c == '#' || (special && c == '\\');
    };
    auto is_slash = [&](int c) { return c == '/' || (special && c == '\\'); };

    for (;; ++p) {
        const int c = at(p);
        switch (state) {
            case State::SpecialAuthoritySlashes:
                state = State::SpecialAuthorityIgnoreSlashes;
                if (c == '/' && at(p + 1) == '/') ++p;
                else --p;
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
                        append_encoded(password_token_seen ? url.password : url.username, static_cast<unsigned char>(b),
                                       kUserinfoSet);
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
                        if (url.path.empty() && url.scheme == "file" && is_windows_drive_letter(buffer))
                            buffer[1] = ':';
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

}  // namespace quorent::url
