// Origin canonicalisation and the origin policy on arbitrary text, directly
// and through the exported function: a canonical origin canonicalises to
// itself and keeps the invariants of its form; every refusal names one of
// the rules; the policy agrees with canonicalisation and looks only at the
// canonical text.
#include <array>

#include "check.hpp"
#include "host.hpp"
#include "quorent/discovery.hpp"
#include "quorent/encoding.hpp"
#include "quorent_sdk_uniffi.h"

using namespace quorent;

namespace {

constexpr std::array<std::string_view, 10> kRules = {
    "origin: must start with https:// or http://",
    "origin: must be scheme://host[:port], optionally with one trailing slash, and no path",
    "origin: contains a forbidden character \xE2\x80\x94 userinfo ('@'), query ('?'), fragment ('#') and "
    "percent-encoding ('%') are not allowed in a bare scheme://host[:port] origin",
    "origin: unterminated IPv6 literal \xE2\x80\x94 missing ']'",
    "origin: empty IPv6 literal '[]'",
    "origin: port must be all-digit after an IPv6 literal",
    "origin: unexpected characters after an IPv6 literal's ']'",
    "origin: a bare host must not contain more than one ':' \xE2\x80\x94 wrap an IPv6 literal in '[...]'",
    "origin: port must be all-digit",
    "origin: host must not be empty",
};

struct Exported {
    std::int8_t code;
    std::string bytes;  // result, or error_buf
};

Exported call_exported(std::string_view text) {
    RustCallStatus st = quorent_host::fresh_status();
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(fuzz::arg(text), &st);
    return Exported{st.code, fuzz::take(st.code == 0 ? r : st.error_buf)};
}

std::string be32(std::size_t v) { return quorent_host::be32(static_cast<std::int32_t>(v)); }

// The host part of a canonical https origin, as the policy names it.
std::string_view host_of(std::string_view c) {
    std::string_view a = c.substr(8);
    if (!a.empty() && a[0] == '[') return a.substr(0, a.find(']') + 1);
    return a.substr(0, a.find(':'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in = fuzz::text(data, size);
    const auto r = discovery::normalize_origin(in);

    if (r.ok()) {
        const std::string& c = r.value();
        const std::string_view scheme = fuzz::starts_with(c, "https://") ? "https://" : "http://";
        FUZZ_CHECK(fuzz::starts_with(c, scheme) && fuzz::starts_with(in, scheme), fuzz::show(in) + " -> " + c);
        const std::string_view rest = std::string_view(c).substr(scheme.size());
        FUZZ_CHECK(!rest.empty(), fuzz::show(in));
        for (unsigned char ch : rest) {
            FUZZ_CHECK(ch != '/' && ch != '@' && ch != '?' && ch != '#' && ch != '%' && ch != '\\' && ch != '|' &&
                           ch > 0x20 && ch != 0x7F && !(ch >= 'A' && ch <= 'Z'),
                       fuzz::show(in) + " -> " + fuzz::show(c));
        }
        const auto again = discovery::normalize_origin(c);
        FUZZ_CHECK(again.ok() && again.value() == c, fuzz::show(in) + " -> " + fuzz::show(c));
    } else {
        FUZZ_CHECK(r.error().kind == ErrorKind::Input, fuzz::show(in));
        bool known = false;
        for (auto rule : kRules) known = known || r.error().detail == rule;
        FUZZ_CHECK(known, fuzz::show(in) + " -> " + r.error().detail);
    }

    // Through the exported function: the same answer, as a host reads it.
    if (size <= 0x7FFFFFFF) {
        const Exported e = call_exported(in);
        if (!is_utf8_var(in)) {
            // Refused by the exported operation before canonicalisation.
            const std::string msg = "input: origin is not valid UTF-8";
            FUZZ_CHECK(e.code == 1 && e.bytes == std::string("\0\0\0\x01", 4) + be32(msg.size()) + msg, fuzz::show(in));
        } else if (r.ok()) {
            FUZZ_CHECK(e.code == 0 && e.bytes == r.value(), fuzz::show(in));
        } else {
            const std::string msg = "input: " + r.error().detail;
            FUZZ_CHECK(e.code == 1 && e.bytes == std::string("\0\0\0\x01", 4) + be32(msg.size()) + msg, fuzz::show(in));
        }
    }

    // The policy: allowed, it is canonicalisation; refused, it says why.
    const auto lax = discovery::check_origin_policy(in, true);
    FUZZ_CHECK(lax.ok() == r.ok(), fuzz::show(in));
    if (!r.ok())
        FUZZ_CHECK(lax.error().kind == r.error().kind && lax.error().detail == r.error().detail, fuzz::show(in));

    const auto strict = discovery::check_origin_policy(in, false);
    if (!r.ok()) {
        FUZZ_CHECK(!strict.ok() && strict.error().kind == ErrorKind::Input && strict.error().detail == r.error().detail,
                   fuzz::show(in));
        return 0;
    }
    const std::string& c = r.value();
    if (strict.ok()) {
        FUZZ_CHECK(fuzz::starts_with(c, "https://"), fuzz::show(c));
        const std::string_view h = host_of(c);
        FUZZ_CHECK(h != "localhost" && !fuzz::ends_with(h, ".localhost") && !fuzz::ends_with(h, ".local") &&
                       h != "0.0.0.0" && h != "127.0.0.1" && h != "[::1]" && h != "[::]",
                   fuzz::show(c));
    } else {
        FUZZ_CHECK(strict.error().kind == ErrorKind::InsecureOrigin, fuzz::show(in));
        const std::string& d = strict.error().detail;
        if (fuzz::starts_with(c, "https://")) {
            const std::string want = c + ": host '" + std::string(host_of(c)) +
                                     "' is not routable in production (loopback/private/link-local/mDNS)";
            FUZZ_CHECK(d == want, fuzz::show(c) + " -> " + d);
        } else {
            FUZZ_CHECK(d == c + ": scheme must be https in production", fuzz::show(c) + " -> " + d);
        }
    }
    // The policy depends on the canonical text only.
    const auto on_canonical = discovery::check_origin_policy(c, false);
    FUZZ_CHECK(on_canonical.ok() == strict.ok(), fuzz::show(in));
    if (!strict.ok()) FUZZ_CHECK(on_canonical.error().detail == strict.error().detail, fuzz::show(in));
    return 0;
}
