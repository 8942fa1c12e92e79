// Writing URLs: the serialization of a parsed URL and its components, and
// the application/x-www-form-urlencoded byte serializer.
#include <string>

#include "url_internal.hpp"

namespace quorent::url {

using detail::append_percent;
using detail::is_alpha;
using detail::is_digit;

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

void form_urlencode_append(std::string& out, std::string_view text) {
    // Runs of bytes that pass unchanged are appended whole.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (kFormSafe.v[b]) continue;
        out.append(text.data() + run, i - run);
        if (b == ' ') out += '+';
        else append_percent(out, b);
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

}  // namespace quorent::url
