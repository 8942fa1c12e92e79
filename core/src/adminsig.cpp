#include "quorent/adminsig.hpp"

#include "quorent/user1271.hpp"
#include "quorent/wallet.hpp"

namespace quorent::adminsig {

namespace {

constexpr std::string_view kAdmin2 =
    " is requesting administrative access to your Quorent tenant.\n\n"
    "Signing this message grants FULL ADMINISTRATIVE ACCESS to the tenant\n"
    "below. Only sign it if you are on ";
constexpr std::string_view kAdmin4 =
    " right now \xE2\x80\x94 signing it on any\n"
    "other site lets that site's operator administer your tenant.\n\nTenant: ";
constexpr std::string_view kChallenge = "\nChallenge: ";
constexpr std::string_view kExpires = "\nExpires (unix seconds): ";
constexpr std::string_view kTag = "\n\nquorent-sovereign-admin-v1";

sovereign::Deed admin_deed(std::uint64_t tenant, std::string sub, std::string_view aud, std::string_view challenge,
                           std::uint64_t exp, std::string signature) {
    sovereign::Deed deed = sovereign::minted_deed("admin-sig", tenant, std::move(sub), aud, challenge, exp);
    deed.signature = std::move(signature);
    return deed;
}

}  // namespace

std::string admin_binding(std::string_view aud, std::uint64_t tenant, std::string_view challenge, std::uint64_t exp) {
    const DecimalDigits t(tenant), e(exp);
    std::string m;
    m.reserve(2 * aud.size() + kAdmin2.size() + kAdmin4.size() + t.len + kChallenge.size() + challenge.size() +
              kExpires.size() + e.len + kTag.size());
    m.append(aud).append(kAdmin2).append(aud).append(kAdmin4).append(t.view());
    m.append(kChallenge).append(challenge);
    m.append(kExpires).append(e.view());
    m.append(kTag);
    return m;
}

Result<sovereign::Deed> mint_admin_deed(const std::uint8_t* signature, std::size_t signature_len, std::uint64_t tenant,
                                        std::string_view aud, std::string_view challenge, std::uint64_t exp) {
    const std::string message = admin_binding(aud, tenant, challenge, exp);
    QUORENT_TRY(const wallet::Address signer, wallet::recover_signer(message, signature, signature_len));
    return admin_deed(tenant, wallet::format_address(signer), aud, challenge, exp,
                      hex_encode_var(signature, signature_len));
}

Result<sovereign::Deed> mint_admin_deed(std::string_view wallet_sig_hex, std::uint64_t tenant_id, std::string_view aud,
                                        std::string_view challenge, std::uint64_t exp) {
    QUORENT_TRY(const Bytes signature, hex_decode(strip_0x_prefixes_var(wallet_sig_hex), ErrorKind::Input));
    return mint_admin_deed(signature, tenant_id, aud, challenge, exp);
}

Result<sovereign::Deed> mint_admin_deed_smartwallet(std::string_view signer_addr_hex, std::string_view wallet_sig_hex,
                                                    std::uint64_t tenant_id, std::string_view aud,
                                                    std::string_view challenge, std::uint64_t exp) {
    QUORENT_TRY(std::string wallet, user1271::decode_wallet_address(signer_addr_hex));
    QUORENT_TRY(const Bytes signature, user1271::decode_wallet_hex(wallet_sig_hex));
    sovereign::Deed deed = admin_deed(tenant_id, "0x" + wallet, aud, challenge, exp, hex_encode_var(signature));
    deed.signer = std::move(wallet);
    return deed;
}

}  // namespace quorent::adminsig
