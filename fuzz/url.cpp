// The URL parser and the authorize URL on arbitrary text. A parsed URL's
// serialization parses to the same URL (the serialization is a fixed
// point); every refusal carries one of the parser's reasons; the authorize
// URL keeps the issuer's scheme, credentials, host, port, query and fragment,
// has the path /authorize and appends exactly the seven form-encoded pairs,
// and the exported function returns the same bytes.
#include <array>
#include <vector>

#include "check.hpp"
#include "host.hpp"
#include "quorent/encoding.hpp"
#include "quorent/pkce.hpp"
#include "quorent/url.hpp"
#include "quorent_sdk_uniffi.h"

using namespace quorent;

namespace {

constexpr std::array<std::string_view, 9> kReasons = {
    url::kEmptyHost,
    url::kIdnaError,
    url::kInvalidPort,
    url::kInvalidIpv4,
    url::kInvalidIpv6,
    url::kInvalidDomainCharacter,
    url::kRelativeWithoutBase,
    url::kRelativeWithOpaqueBase,
    url::kTooLong,
};

// The form serializer, restated.
std::string form(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
            c == '.' || c == '_') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

using fuzz::arg;
using fuzz::take;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const std::string_view all = fuzz::text(data, size);
    // issuer \0 client_id \0 redirect_uri \0 state \0 nonce \0 code_challenge
    const auto f = fuzz::fields<6>(all);
    const std::string_view issuer = f[0];

    const auto parsed = url::parse(issuer);
    if (parsed.ok()) {
        const url::Url& u = parsed.value();
        const std::string href = u.href();
        const auto again = url::parse(href);
        FUZZ_CHECK(again.ok(), fuzz::show(issuer) + " -> " + fuzz::show(href) +
                                   " fails: " + (again.ok() ? "" : again.error().detail));
        FUZZ_CHECK(again.value().href() == href,
                   fuzz::show(issuer) + " -> " + fuzz::show(href) + " -> " + fuzz::show(again.value().href()));
        FUZZ_CHECK(again.value() == u, fuzz::show(issuer) + " -> " + fuzz::show(href) + ": components differ");
        // Opaque paths keep spaces; nothing else outside printable ASCII survives.
        for (unsigned char c : href) FUZZ_CHECK(c >= 0x20 && c < 0x7F, fuzz::show(href) + " is not printable ASCII");
    } else {
        FUZZ_CHECK(parsed.error().kind == ErrorKind::Input, fuzz::show(issuer));
        bool known = false;
        for (auto r : kReasons) known = known || parsed.error().detail == r;
        FUZZ_CHECK(known, fuzz::show(issuer) + " -> " + parsed.error().detail);
    }

    const auto built = pkce::build_authorize_url(f[0], f[1], f[2], f[3], f[4], f[5]);
    const bool web = parsed.ok() && (parsed.value().scheme == "https" || parsed.value().scheme == "http");
    FUZZ_CHECK(built.ok() == web, fuzz::show(issuer));
    if (built.ok()) {
        const url::Url& u = parsed.value();
        const auto a = url::parse(built.value());
        FUZZ_CHECK(a.ok(), fuzz::show(built.value()));
        const url::Url& v = a.value();
        const std::string pairs = "response_type=code&client_id=" + form(f[1]) + "&redirect_uri=" + form(f[2]) +
                                  "&state=" + form(f[3]) + "&nonce=" + form(f[4]) + "&code_challenge=" + form(f[5]) +
                                  "&code_challenge_method=S256";
        const std::string want_query = u.query && !u.query->empty() ? *u.query + "&" + pairs : pairs;
        FUZZ_CHECK(v.path == "/authorize" && !v.opaque_path, fuzz::show(built.value()));
        FUZZ_CHECK(v.query == want_query, fuzz::show(built.value()));
        FUZZ_CHECK(v.scheme == u.scheme && v.username == u.username && v.password == u.password && v.port == u.port &&
                       v.fragment == u.fragment,
                   fuzz::show(issuer) + " -> " + fuzz::show(built.value()));
        // A URL without a host gains none, except that a path now starting
        // with "/" makes an empty-host "file:" URL print "//".
        FUZZ_CHECK(v.host == u.host || (!u.host && v.host && v.host->empty()),
                   fuzz::show(issuer) + " -> " + fuzz::show(built.value()));
    } else {
        const std::string want = parsed.ok() ? "issuer must be an http or https URL" : parsed.error().detail;
        FUZZ_CHECK(built.error().detail == want, fuzz::show(issuer));
    }

    // Through the exported function: the same bytes or the same message.
    RustCallStatus st{0, {0, 0, nullptr}};
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url(arg(f[0]), arg(f[1]), arg(f[2]), arg(f[3]),
                                                                         arg(f[4]), arg(f[5]), &st);
    const char* names[] = {"issuer", "client_id", "redirect_uri", "state", "nonce", "code_challenge"};
    const char* not_utf8 = nullptr;
    for (std::size_t i = 0; i < 6 && not_utf8 == nullptr; ++i)
        if (!is_utf8_var(f[i])) not_utf8 = names[i];
    if (not_utf8 != nullptr) {
        // Refused by the exported operation before the issuer is parsed.
        const std::string e = take(st.error_buf);
        FUZZ_CHECK(st.code == 1 && e.substr(8) == "input: " + std::string(not_utf8) + " is not valid UTF-8",
                   fuzz::show(e));
    } else if (built.ok()) {
        FUZZ_CHECK(st.code == 0 && take(r) == built.value(), fuzz::show(issuer));
    } else {
        FUZZ_CHECK(st.code == 1 && r.data == nullptr, fuzz::show(issuer));
        const std::string e = take(st.error_buf);
        const std::string msg = "input: " + built.error().detail;
        FUZZ_CHECK(e.size() == 8 + msg.size() && e.substr(0, 4) == std::string("\0\0\0\x01", 4) && e.substr(8) == msg,
                   fuzz::show(e));
    }

    // The form serializer on its own.
    std::string encoded = "=";
    url::form_urlencode_append(encoded, all);
    FUZZ_CHECK(encoded == "=" + form(all), fuzz::show(all));
    return 0;
}
