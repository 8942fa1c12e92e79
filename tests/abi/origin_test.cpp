// normalize_origin through the exported function, as a host calls it.
#include "host.hpp"

using namespace host;

namespace {

Outcome normalize(const std::string& origin) {
    return call(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin, buf(origin));
}

const std::string kForbidden =
    "input: origin: contains a forbidden character \xE2\x80\x94 userinfo ('@'), query ('?'), fragment ('#') and "
    "percent-encoding ('%') are not allowed in a bare scheme://host[:port] origin";

}  // namespace

TEST(NormalizeOrigin, CanonicalForms) {
    const std::pair<const char*, const char*> cases[] = {
        {"https://API.Shop.test", "https://api.shop.test"},
        {"https://api.shop.test:443/", "https://api.shop.test"},
        {"http://localhost:80", "http://localhost"},
        {"https://api.shop.test:80", "https://api.shop.test:80"},
        {"https://api.shop.test:0443", "https://api.shop.test:0443"},
        {"https://[2001:DB8::1]:443/", "https://[2001:db8::1]"},
        {"https://B\xC3\x9C" "CHER.test", "https://b\xC3\x9C" "cher.test"},
    };
    for (const auto& [in, want] : cases) {
        Outcome o = normalize(in);
        ASSERT_TRUE(o.ok()) << in << ": " << o.message;
        EXPECT_EQ(o.value, want);
        EXPECT_EQ(normalize(o.value).value, want) << "canonical text is a fixed point";
    }
}

TEST(NormalizeOrigin, RefusalsCrossAsSdkWithInputPrefix) {
    EXPECT_SDK_ERROR(normalize("HTTPS://shop.test"), 1, "input: origin: must start with https:// or http://");
    EXPECT_SDK_ERROR(normalize(""), 1, "input: origin: must start with https:// or http://");
    EXPECT_SDK_ERROR(normalize("https://user@host/x"), 1,
                     "input: origin: must be scheme://host[:port], optionally with one trailing slash, and no path");
    EXPECT_SDK_ERROR(normalize("https://a%20b"), 1, kForbidden);
    EXPECT_SDK_ERROR(normalize("https://[::1]x"), 1, "input: origin: unexpected characters after an IPv6 literal's ']'");
    // Bytes that are not UTF-8 are not a bare origin either.
    EXPECT_SDK_ERROR(normalize("https://a\xFF" "b"), 1, kForbidden);
}

TEST(NormalizeOrigin, ErrorBufferBytesAreTheSerializedSdkError) {
    RustCallStatus st = fresh_status();
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(buf("https://:80"), &st);
    EXPECT_EQ(r.data, nullptr);
    ASSERT_EQ(st.code, 1);
    EXPECT_EQ(take(st.error_buf), sdk_error_bytes(1, "input: origin: host must not be empty"));
}
