#include <gtest/gtest.h>

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
    EXPECT_EQ(normalize_origin("https://B\xC3\x9C" "CHER.test").value(), "https://b\xC3\x9C" "cher.test");
}

TEST(Origin, RulesRunInOrder) {
    const std::pair<std::string, std::string> cases[] = {
        {"HTTPS://shop.test", kScheme}, {"Http://shop.test", kScheme}, {"ftp://x", kScheme}, {"", kScheme},
        {"https:/", kScheme},
        {"https://", kPath}, {"https:///", kPath}, {"https://a/b", kPath}, {"https://a//", kPath},
        {"https://user@host/x", kPath},
        {"https://user@host", kForbidden}, {"https://host?x", kForbidden}, {"https://host#f", kForbidden},
        {"https://a%20b", kForbidden}, {"https://host ", kForbidden}, {"https://a\\b", kForbidden},
        {"https://host|x", kForbidden}, {"https://a\tb", kForbidden}, {"https://a\x7f", kForbidden},
        {"https://a\xC2\x85", kForbidden}, {"https://a\xC2\xA0", kForbidden}, {"https://a\xE3\x80\x80", kForbidden},
        {"https://a\xE2\x80\x8A", kForbidden}, {"https://a\xE2\x80\xA8", kForbidden},
        {"https://a\xFF" "b", kForbidden},  // bytes that are not UTF-8
        {"https://host:", kPort}, {"https://host:/", kPort}, {"https://host:8o", kPort},
        {"https://:80", kEmptyHost}, {"https://:", kPort},
        {"https://a:b:c", kColons}, {"https://::1", kColons},
        {"https://[::1", kUnterminated}, {"https://[]", kEmptyV6},
        {"https://[::1]x", kAfterV6}, {"https://[::1]]", kAfterV6},
        {"https://[::1]:", kV6Port}, {"https://[::1]:x", kV6Port}, {"https://[::1]:80:80", kV6Port},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(refusal(in), want) << in;
    // Zero-width and other non-space characters are not white space.
    EXPECT_TRUE(normalize_origin("https://a\xE2\x80\x8B" "b").ok());
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
    EXPECT_EQ(policy("https://shop.test"), "ok");
    EXPECT_EQ(policy("http://shop.test"), "insecure: http://shop.test: scheme must be https in production");
    EXPECT_EQ(policy("https://LOCALHOST:8443/"), host_refusal("https://localhost:8443", "localhost"));
    EXPECT_EQ(policy("https://app.localhost"), host_refusal("https://app.localhost", "app.localhost"));
    EXPECT_EQ(policy("https://printer.local"), host_refusal("https://printer.local", "printer.local"));
    EXPECT_EQ(policy("https://localhost."), "ok");
    for (const char* host : {"0.0.0.0", "127.0.0.1", "172.31.0.1", "192.168.1.1", "169.254.0.1", "10.255.255.255",
                             "172.16.0.0"})
        EXPECT_EQ(policy(std::string("https://") + host), host_refusal(std::string("https://") + host, host));
    EXPECT_EQ(policy("https://10.1.2.3:444"), host_refusal("https://10.1.2.3:444", "10.1.2.3"));
    for (const char* ok : {"https://172.32.0.1", "https://100.64.0.1", "https://203.0.113.5", "https://127.1",
                           "https://0177.0.0.1", "https://127.0.0.01", "https://127.0.0.1.", "https://256.0.0.1",
                           "https://[2001:db8::1]", "https://[::ffff:127.0.0.1]", "https://[zz]",
                           "https://[fec0::1]", "https://[ff02::1]", "https://[::2]", "https://[1::]"})
        EXPECT_EQ(policy(ok), "ok") << ok;
    EXPECT_EQ(policy("https://[::1]"), host_refusal("https://[::1]", "[::1]"));
    EXPECT_EQ(policy("https://[::]"), host_refusal("https://[::]", "[::]"));
    EXPECT_EQ(policy("https://[fe80::1]"), host_refusal("https://[fe80::1]", "[fe80::1]"));
    EXPECT_EQ(policy("https://[febf::1]"), host_refusal("https://[febf::1]", "[febf::1]"));
    EXPECT_EQ(policy("https://[FD00::1]:8443"), host_refusal("https://[fd00::1]:8443", "[fd00::1]"));
    EXPECT_EQ(policy("https://[0:0:0:0:0:0:0:1]"), host_refusal("https://[0:0:0:0:0:0:0:1]", "[0:0:0:0:0:0:0:1]"));
    EXPECT_EQ(policy("https://[::0.0.0.1]"), host_refusal("https://[::0.0.0.1]", "[::0.0.0.1]"));
    EXPECT_EQ(policy("https://host/path"), "input: " + kPath);
}

TEST(OriginPolicy, AllowFlagStillRequiresAWellFormedOrigin) {
    EXPECT_EQ(policy("http://localhost", true), "ok");
    EXPECT_EQ(policy("https://[::1]", true), "ok");
    EXPECT_EQ(policy("https://host/path", true), "input: " + kPath);
}
