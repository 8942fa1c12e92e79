#include <gtest/gtest.h>

#include <vector>

#include "quorent/discovery.hpp"
#include "vectors.hpp"

using quorent::ErrorKind;
using quorent::discovery::check_origin_policy;
using quorent::discovery::normalize_origin;

namespace {

const std::string& kScheme = vectors::kOriginScheme;
const std::string& kPath = vectors::kOriginPath;
const std::string& kForbidden = vectors::kOriginForbidden;
const std::string kUnterminated = "origin: unterminated IPv6 literal \xE2\x80\x94 missing ']'";
const std::string kEmptyV6 = "origin: empty IPv6 literal '[]'";
const std::string kV6Port = "origin: port must be all-digit after an IPv6 literal";
const std::string kAfterV6 = "origin: unexpected characters after an IPv6 literal's ']'";
const std::string kColons =
    "origin: a bare host must not contain more than one ':' \xE2\x80\x94 wrap an IPv6 literal in '[...]'";
const std::string kPort = "origin: port must be all-digit";
const std::string kEmptyHost = "origin: host must not be empty";

std::string refusal(const std::string& origin) {
    auto r = normalize_origin(origin);
    if (r.ok()) return "accepted: " + r.value();
    EXPECT_EQ(r.error().kind, ErrorKind::Input);
    return r.error().detail;
}

}  // namespace

TEST(Origin, Canonicalises) {
    const std::pair<std::string, std::string> cases[] = {
        {"https://API.Shop.test", "https://api.shop.test"},
        {"https://api.shop.test/", "https://api.shop.test"},
        {"https://api.shop.test:443/", "https://api.shop.test"},
        {"http://localhost:80", "http://localhost"},
        {"https://api.shop.test:80", "https://api.shop.test:80"},
        {"http://host:443", "http://host:443"},
        {"https://api.shop.test:0443", "https://api.shop.test:0443"},
        {"https://h:99999", "https://h:99999"},
        {"https://[2001:DB8::1]:443/", "https://[2001:db8::1]"},
        {"https://[::1]:8080", "https://[::1]:8080"},
        {"https://[zz]", "https://[zz]"},
    };
    for (const auto& [in, want] : cases) {
        auto r = normalize_origin(in);
        ASSERT_TRUE(r.ok()) << in;
        EXPECT_EQ(r.value(), want);
        auto again = normalize_origin(r.value());
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(again.value(), want) << "canonical text must be a fixed point";
    }
    // Only ASCII letters are lowered.
    EXPECT_EQ(normalize_origin("https://B\u00DCCHER.test").value(), "https://b\u00DCcher.test");
}

TEST(Origin, RulesRunInOrder) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {kScheme, {"HTTPS://shop.test", "Http://shop.test", "ftp://x", "", "https:/"}},
        {kPath, {"https://", "https:///", "https://a/b", "https://a//", "https://user@host/x"}},
        {kForbidden,
         {"https://user@host", "https://host?x", "https://host#f", "https://a%20b", "https://host ", "https://a\\b",
          "https://host|x", "https://a\tb", "https://a\x7f", "https://a\xC2\x85", "https://a\xC2\xA0",
          "https://a\xE3\x80\x80", "https://a\xE2\x80\x8A", "https://a\xE2\x80\xA8", "https://\xC3\xA9x\xE2\x80\xA9",
          "https://a\xFF:1", "https://\xC3\xA9\xED\xA0\x80"}},  // the last two not UTF-8
        {kPort, {"https://host:", "https://host:/", "https://host:8o", "https://:"}},
        {kEmptyHost, {"https://:80"}},
        {kColons, {"https://a:b:c", "https://::1"}},
        {kUnterminated, {"https://[::1"}},
        {kEmptyV6, {"https://[]"}},
        {kAfterV6, {"https://[::1]x", "https://[::1]]"}},
        {kV6Port, {"https://[::1]:", "https://[::1]:x", "https://[::1]:80:80"}},
    };
    for (const auto& [want, inputs] : cases)
        for (const auto& in : inputs) EXPECT_EQ(refusal(in), want) << in;
    // Zero-width and other non-space characters are not white space.
    EXPECT_TRUE(normalize_origin("https://a\u200Bb").ok());
}

namespace {

std::string policy(const std::string& origin, bool allow = false) {
    auto s = check_origin_policy(origin, allow);
    if (s.ok()) return "ok";
    return (s.error().kind == ErrorKind::InsecureOrigin ? "insecure: " : "input: ") + s.error().detail;
}

std::string host_refusal(const std::string& canonical, const std::string& host) {
    return "insecure: " + canonical + ": host '" + host +
           "' is not routable in production (loopback/private/link-local/mDNS)";
}

}  // namespace

TEST(OriginPolicy, RefusesInsecureOriginsUnlessAllowed) {
    EXPECT_EQ(policy("http://shop.test"), "insecure: http://shop.test: scheme must be https in production");
    EXPECT_EQ(policy("https://host/path"), "input: " + kPath);
    // Refused hosts, and the host the message names.
    const std::pair<std::string, std::string> refused[] = {
        {"https://LOCALHOST:8443/", "localhost"},
        {"https://app.localhost", "app.localhost"},
        {"https://printer.local", "printer.local"},
        {"https://0.0.0.0", "0.0.0.0"},
        {"https://127.0.0.1", "127.0.0.1"},
        {"https://10.1.2.3:444", "10.1.2.3"},
        {"https://10.255.255.255", "10.255.255.255"},
        {"https://172.16.0.0", "172.16.0.0"},
        {"https://172.31.0.1", "172.31.0.1"},
        {"https://192.168.1.1", "192.168.1.1"},
        {"https://169.254.0.1", "169.254.0.1"},
        {"https://[::1]", "[::1]"},
        {"https://[::]", "[::]"},
        {"https://[fe80::1]", "[fe80::1]"},
        {"https://[febf::1]", "[febf::1]"},
        {"https://[FD00::1]:8443", "[fd00::1]"},
        {"https://[0:0:0:0:0:0:0:1]", "[0:0:0:0:0:0:0:1]"},
        {"https://[::0.0.0.1]", "[::0.0.0.1]"},
    };
    for (const auto& [origin, host] : refused)
        EXPECT_EQ(policy(origin), host_refusal(normalize_origin(origin).value(), host));
    // Routable addresses, names that only look like addresses, and bracketed
    // text that is not an IPv6 address.
    for (const char* ok : {"https://shop.test",    "https://localhost.",    "https://172.32.0.1",
                           "https://100.64.0.1",   "https://203.0.113.5",   "https://127.1",
                           "https://0177.0.0.1",   "https://127.0.0.01",    "https://127.0.0.1.",
                           "https://256.0.0.1",    "https://[2001:db8::1]", "https://[::ffff:127.0.0.1]",
                           "https://[zz]",         "https://[fec0::1]",     "https://[ff02::1]",
                           "https://[::2]",        "https://[1::]",         "https://[::1:0]",
                           "https://[::01.0.0.1]", "https://[fe80::1::]",   "https://[fe80:0:0:0:0:0:0:0:1]"})
        EXPECT_EQ(policy(ok), "ok") << ok;
}

TEST(OriginPolicy, AllowFlagStillRequiresAWellFormedOrigin) {
    EXPECT_EQ(policy("http://localhost", true), "ok");
    EXPECT_EQ(policy("https://[::1]", true), "ok");
    EXPECT_EQ(policy("https://host/path", true), "input: " + kPath);
}
