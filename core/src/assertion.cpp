#include "quorent/assertion.hpp"

#include "quorent/encoding.hpp"
#include "quorent/wallet.hpp"

namespace quorent::assertion {

namespace {

constexpr std::string_view kHead = "Quorent client-credentials\ndomain: ";
constexpr std::string_view kTenant = "\ntenant: ";
constexpr std::string_view kNonce = "\nnonce: ";
constexpr std::string_view kIssuedAt = "\nissued-at: ";

}  // namespace

std::string build_client_assertion(std::string_view domain, std::uint64_t tenant_id, std::string_view nonce,
                                   std::uint64_t issued_at) {
    const DecimalDigits t(tenant_id), i(issued_at);
    std::string m;
    m.reserve(kHead.size() + domain.size() + kTenant.size() + t.len + kNonce.size() + nonce.size() + kIssuedAt.size() +
              i.len);
    m.append(kHead).append(domain);
    m.append(kTenant).append(t.view());
    m.append(kNonce).append(nonce);
    m.append(kIssuedAt).append(i.view());
    return m;
}

Result<std::string> sign_client_assertion(std::string_view secret_key_hex, std::string_view domain,
                                          std::uint64_t tenant_id, std::string_view nonce, std::uint64_t issued_at) {
    const std::string message = build_client_assertion(domain, tenant_id, nonce, issued_at);
    SecretBytes raw;
    std::string hex_error;
    if (!hex_decode(strip_0x_prefixes(secret_key_hex), raw.get(), hex_error))
        return CoreError{ErrorKind::Input, std::move(hex_error)};
    QUORENT_TRY(const wallet::SecretKey key, wallet::SecretKey::from_bytes(raw.get()));
    raw.wipe();
    const auto sig = wallet::eip191_sign(key, message);
    std::string out = "0x";
    out += hex_encode_var(sig.data(), sig.size());
    return out;
}

}  // namespace quorent::assertion
