#include "quorent/user1271.hpp"

#include "quorent/digest.hpp"
#include "quorent/discovery.hpp"

namespace quorent::user1271 {

Result<Bytes> decode_wallet_hex(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    return hex_decode(text, ErrorKind::Input);
}

Result<std::string> decode_wallet_address(std::string_view text) {
    QUORENT_TRY(const Bytes bytes, decode_wallet_hex(text));
    if (bytes.size() != 20) return CoreError{ErrorKind::Input, "address must be 20 bytes"};
    return hex_encode_var(bytes);
}

std::string smartwallet_sub(std::uint64_t tenant, std::string_view canonical_origin, std::string_view wallet_hex) {
    const Digest32 digest = Sha256()
                                .update("quorent-sovereign-user-1271-sub-v1|tenant:")
                                .update(DecimalDigits(tenant).view())
                                .update("|origin:")
                                .update(canonical_origin)
                                .update("|wallet:")
                                .update(wallet_hex)
                                .finish();
    return hex_encode_var(digest.data(), digest.size());
}

Result<sovereign::Deed> mint_user_1271_deed(std::string_view signer_addr_hex, std::string_view wallet_sig_hex,
                                            std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                            std::string_view challenge, std::uint64_t exp) {
    QUORENT_TRY(const std::string canonical, discovery::normalize_origin(origin));
    QUORENT_TRY(std::string wallet, decode_wallet_address(signer_addr_hex));
    QUORENT_TRY(const Bytes signature, decode_wallet_hex(wallet_sig_hex));

    sovereign::Deed deed = sovereign::minted_deed("user-1271", tenant_id, smartwallet_sub(tenant_id, canonical, wallet),
                                                  aud, challenge, exp);
    deed.signature = hex_encode_var(signature);
    deed.signer = std::move(wallet);
    return deed;
}

}  // namespace quorent::user1271
