#include "quorent/originvouch.hpp"

#include <cstring>

#include "quorent/discovery.hpp"

namespace quorent::originvouch {

namespace {

constexpr std::string_view kLine1 = " is claiming to act for Quorent tenant ";
constexpr std::string_view kLine3a = ".\n\nSigning this authorises ";
constexpr std::string_view kLine3b =
    " to ask people and agents for deeds\n"
    "belonging to the tenant below. Only sign it if you administer that\n"
    "tenant AND you control ";
constexpr std::string_view kLine5b = " \xE2\x80\x94 anyone holding this signature can\nmake holders believe ";
constexpr std::string_view kLine6b = " speaks for you.\n\nTenant: ";
constexpr std::string_view kAudience = "\nAudience: ";
constexpr std::string_view kOrigin = "\nOrigin: ";
constexpr std::string_view kEpoch = "\nEpoch: ";
constexpr std::string_view kExpires = "\nExpires (unix seconds): ";
constexpr std::string_view kTag = "\n\nquorent-origin-v1";

void put_u64_word(std::uint8_t* word, std::uint64_t value) noexcept {
    std::memset(word, 0, 24);
    for (int i = 0; i < 8; ++i) word[24 + i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
}

}  // namespace

std::string vouch_message(std::uint64_t tenant_id, std::string_view aud, std::string_view origin, std::uint64_t epoch,
                          std::uint64_t exp) {
    const DecimalDigits t(tenant_id), e(epoch), x(exp);
    std::string m;
    m.reserve(5 * origin.size() + 2 * t.len + aud.size() + e.len + x.len + kLine1.size() + kLine3a.size() +
              kLine3b.size() + kLine5b.size() + kLine6b.size() + kAudience.size() + kOrigin.size() + kEpoch.size() +
              kExpires.size() + kTag.size());
    m.append(origin).append(kLine1).append(t.view());
    m.append(kLine3a).append(origin).append(kLine3b);
    m.append(origin).append(kLine5b);
    m.append(origin).append(kLine6b).append(t.view());
    m.append(kAudience).append(aud);
    m.append(kOrigin).append(origin);
    m.append(kEpoch).append(e.view());
    m.append(kExpires).append(x.view());
    m.append(kTag);
    return m;
}

Result<std::string> origin_vouch_binding(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                         std::uint64_t epoch, std::uint64_t exp, bool allow_insecure_origin) {
    QUORENT_CHECK(discovery::check_origin_policy(origin, allow_insecure_origin));
    return vouch_message(tenant_id, aud, origin, epoch, exp);
}

Result<wallet::Address> origin_vouch_signer(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                            std::uint64_t epoch, std::uint64_t exp, const std::uint8_t* signature,
                                            std::size_t signature_len) {
    QUORENT_CHECK(discovery::check_origin_policy(origin, true));
    return wallet::recover_signer(vouch_message(tenant_id, aud, origin, epoch, exp), signature, signature_len);
}

Result<std::string> origin_vouch_signer(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                        std::uint64_t epoch, std::uint64_t exp, std::string_view signature_hex) {
    QUORENT_TRY(const Bytes signature, hex_decode(signature_hex, ErrorKind::Crypto));
    QUORENT_TRY(const wallet::Address signer, origin_vouch_signer(tenant_id, aud, origin, epoch, exp, signature));
    return wallet::format_address(signer);
}

Result<Bytes> is_origin_voucher_calldata(std::uint64_t tenant_id, std::string_view signer_hex, std::uint64_t epoch) {
    QUORENT_TRY(const Bytes bytes, hex_decode(strip_0x_prefixes_var(signer_hex), ErrorKind::Crypto));
    if (bytes.size() != 20) return CoreError{ErrorKind::Input, "signer must be a 20-byte address"};
    wallet::Address signer;
    std::memcpy(signer.bytes.data(), bytes.data(), 20);
    return is_origin_voucher_calldata(tenant_id, signer, epoch);
}

Bytes is_origin_voucher_calldata(std::uint64_t tenant_id, const wallet::Address& signer, std::uint64_t epoch) {
    Bytes out(100);
    std::memcpy(out.data(), IS_ORIGIN_VOUCHER_SELECTOR.data(), 4);
    put_u64_word(out.data() + 4, tenant_id);
    std::memset(out.data() + 36, 0, 12);
    std::memcpy(out.data() + 48, signer.bytes.data(), 20);
    put_u64_word(out.data() + 68, epoch);
    return out;
}

Result<bool> decode_bool_return(const std::uint8_t* ret, std::size_t len) {
    if (len != 32)
        return CoreError{ErrorKind::Input, "isOriginVoucher returned " + decimal(len) + " bytes, expected 32"};
    return ret[31] != 0;
}

}  // namespace quorent::originvouch
