// The reference half of the interface table: for every operation, what its
// result holds and every error it can return. Together with the table's
// summary and argument help it is the one source of the public header's
// comment blocks, of docs/operations.md and of the interface description
// bindings/interface.json (bindings/reference.cpp renders them; its --check,
// run by ctest, fails when a committed file differs). None of it is in the
// interface-description blobs.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "interface.hpp"

namespace quorent::ffi::iface {

struct Reference {
    std::string_view name;
    std::string_view returns;
    std::array<std::string_view, 16> errors;  // "<variant> <message>", in the order the checks run
};

// Message families several operations share, written once.
#define QUORENT_REF_ORIGIN "Sdk \"input: origin: ...\": any refusal of normalize_origin"
#define QUORENT_REF_HEX(kind, arg) \
    "Sdk \"" kind ": Odd number of digits\" or \"" kind ": Invalid character 'c' at position p\" (" arg " is not hex)"
#define QUORENT_REF_JSON(prefix, arg) "Sdk \"" prefix ": <reader message> at line L column C\" (" arg " does not read)"
#define QUORENT_REF_SIG65 \
    "Sdk \"input: signature must be 65 bytes\"", "Sdk \"input: recovery id must be 0, 1, 27, or 28\""

// clang-format off
inline constexpr Reference kReferences[] = {
    {"build_authorize_url", "the URL text",
     {"Sdk \"input: <reason>\" where the issuer is not an absolute URL; reason is one of \"empty host\", "
      "\"invalid international domain name\", \"invalid port number\", \"invalid IPv4 address\", "
      "\"invalid IPv6 address\", \"invalid domain character\", \"relative URL without a base\", "
      "\"URLs more than 4 GB are not supported\"",
      "Sdk \"input: issuer must be an http or https URL\" for any other scheme (javascript:, data:, file:, ...)"}},
    {"build_client_assertion", "the assertion text, five lines joined by line feeds", {}},
    {"decode_bool_return", "1 when byte 31 of the 32-byte answer is non-zero, else 0",
     {"Sdk \"input: isOriginVoucher returned N bytes, expected 32\""}},
    {"delegate", "the link's canonical JSON text",
     {QUORENT_REF_JSON("input", "grants_json"), QUORENT_REF_HEX("crypto", "epoch_label_hex"),
      "Sdk \"expected 32 bytes of hex\" (epoch_label_hex, no prefix)", QUORENT_REF_HEX("crypto", "parent_ref_hash_hex"),
      "Sdk \"expected 32 bytes of hex\" (parent_ref_hash_hex)", QUORENT_REF_HEX("crypto", "signature_hex")}},
    {"delegation_binding", "the binding bytes as lower-case hex",
     {QUORENT_REF_JSON("input", "grants_json"), QUORENT_REF_HEX("crypto", "epoch_label_hex"),
      "Sdk \"expected 32 bytes of hex\" (epoch_label_hex, no prefix)", QUORENT_REF_HEX("crypto", "parent_ref_hash_hex"),
      "Sdk \"expected 32 bytes of hex\" (parent_ref_hash_hex)"}},
    {"derive_app_key", "an AppKey record (secret key and compressed public key, hex)",
     {QUORENT_REF_HEX("crypto", "root_seed_hex"), "Sdk \"input: rootSeedHex must decode to exactly 32 bytes\"",
      QUORENT_REF_ORIGIN, "Sdk \"crypto: could not derive a valid app key\""}},
    {"derive_root_seed", "the 32-byte root seed as 64 lower-case hex digits",
     {QUORENT_REF_HEX("crypto", "signature1_hex"), QUORENT_REF_HEX("crypto", "signature2_hex"), QUORENT_REF_ORIGIN,
      "Sdk \"crypto: wallet signing is non-deterministic; unsupported\" (the two signatures differ)",
      "Sdk \"crypto: wallet signature is empty\""}},
    {"generate_pkce", "a Pkce record; a failing random source is status code 2 \"rng: ...\"", {}},
    {"issuer_key_id", "64 lower-case hex digits",
     {QUORENT_REF_JSON("bad key", "jwk_json"), "Sdk \"bad key: missing kty\"", "Sdk \"bad key: unsupported kty\"",
      "Sdk \"bad key: missing crv\"", "Sdk \"bad key: missing x\"", "Sdk \"bad key: missing y\""}},
    {"is_origin_voucher_calldata", "the 100 bytes of call data",
     {QUORENT_REF_HEX("crypto", "signer_hex after leading \"0x\" are removed"),
      "Sdk \"input: signer must be a 20-byte address\""}},
    {"mint_admin_deed", "a Deed record, mode admin-sig",
     {QUORENT_REF_HEX("input", "wallet_sig_hex after leading \"0x\" are removed"), QUORENT_REF_SIG65,
      "Sdk \"crypto: signature error\" (no key recovers, or s is high)"}},
    {"mint_admin_deed_smartwallet", "a Deed record, mode admin-sig, with signer",
     {QUORENT_REF_HEX("input", "signer_addr_hex"), "Sdk \"input: address must be 20 bytes\"",
      QUORENT_REF_HEX("input", "wallet_sig_hex")}},
    {"mint_capability_deed", "the base Deed with grants and delegations replaced",
     {QUORENT_REF_JSON("input", "the base deed's grants or delegations"), QUORENT_REF_JSON("input", "grants_json"),
      QUORENT_REF_JSON("input", "delegation_chain_json")}},
    {"mint_user_1271_deed", "a Deed record, mode user-1271",
     {QUORENT_REF_ORIGIN, QUORENT_REF_HEX("input", "signer_addr_hex"), "Sdk \"input: address must be 20 bytes\"",
      QUORENT_REF_HEX("input", "wallet_sig_hex")}},
    {"mint_user_deed", "a Deed record, mode user-sig",
     {QUORENT_REF_HEX("crypto", "secret_key_hex"),
      "Sdk \"crypto: signature error\" (key shorter than 24 or longer than 32 bytes, zero, or not below n)",
      QUORENT_REF_ORIGIN}},
    {"mint_user_passkey_deed", "a Deed record, mode user-passkey", {QUORENT_REF_ORIGIN}},
    {"normalize_origin", "the canonical origin text",
     {"Sdk \"input: origin: must start with https:// or http://\"",
      "Sdk \"input: origin: must be scheme://host[:port], optionally with one trailing slash, and no path\"",
      "Sdk \"input: origin: contains a forbidden character — userinfo ('@'), query ('?'), fragment ('#') and "
      "percent-encoding ('%') are not allowed in a bare scheme://host[:port] origin\"",
      "Sdk \"input: origin: unterminated IPv6 literal — missing ']'\"",
      "Sdk \"input: origin: empty IPv6 literal '[]'\"",
      "Sdk \"input: origin: port must be all-digit after an IPv6 literal\"",
      "Sdk \"input: origin: unexpected characters after an IPv6 literal's ']'\"",
      "Sdk \"input: origin: a bare host must not contain more than one ':' — wrap an IPv6 literal in '[...]'\"",
      "Sdk \"input: origin: port must be all-digit\"", "Sdk \"input: origin: host must not be empty\""}},
    {"origin_vouch_binding", "the vouch message text",
     {QUORENT_REF_ORIGIN, "InsecureOrigin \"<origin>: scheme must be https in production\"",
      "InsecureOrigin \"<origin>: host '<host>' is not routable in production (loopback/private/link-local/mDNS)\""}},
    {"origin_vouch_max_ttl_secs", "the ceiling in seconds", {}},
    {"origin_vouch_signer", "the signer's account address, \"0x\" and 40 lower-case hex digits",
     {QUORENT_REF_ORIGIN, QUORENT_REF_HEX("crypto", "signature_hex"), QUORENT_REF_SIG65,
      "Sdk \"crypto: signature error\""}},
    {"parent_ref_hash_link", "64 lower-case hex digits", {QUORENT_REF_JSON("input", "parent_link_json")}},
    {"parent_ref_hash_root", "64 lower-case hex digits", {}},
    {"passkey_sub", "the pseudonym, 64 lower-case hex digits", {}},
    {"pkce_challenge", "43 base64url characters", {}},
    {"sign_client_assertion", "\"0x\" and 130 lower-case hex digits (r, s, v = 27 or 28)",
     {QUORENT_REF_HEX("input", "secret_key_hex after leading \"0x\" are removed"),
      "Sdk \"crypto: signature error\" (key shorter than 24 or longer than 32 bytes, zero, or not below n)"}},
    {"user_binding", "the binding bytes as lower-case hex", {QUORENT_REF_ORIGIN}},
    {"user_root_binding", "the message text", {QUORENT_REF_ORIGIN}},
    {"user_sub", "the pseudonym, 64 lower-case hex digits",
     {QUORENT_REF_HEX("crypto", "pubkey_hex"), "Sdk \"crypto: signature error\" (not a point on secp256k1)"}},
    {"verify_token_at", "the token's Claims",
     {"Sdk \"jwt: not a 3-part JWT\"", "Sdk \"jwt: base64: <decoder message>\" (any segment, or x/y of the key)",
      "Sdk \"jwt: <reader message> at line L column C\" (header or payload)", "Sdk \"jwt: alg must be ES256\"",
      "Sdk \"bad key: <reader message> at line L column C\"", "Sdk \"bad key: no keys\"",
      "Sdk \"bad key: no matching key\"", "Sdk \"bad key: no x\" / \"bad key: no y\"",
      "Sdk \"bad key: x/y must be 32 bytes\"", "Sdk \"bad key: signature error\" (not a P-256 point)",
      "Sdk \"jwt: signature error\" (not 64 bytes, or r or s out of range)", "Sdk \"jwt: bad signature\"",
      "Sdk \"claim: iss mismatch\"", "Sdk \"claim: aud mismatch\"", "Sdk \"claim: expired\" (now > exp + 60)"}},
};
// clang-format on

#undef QUORENT_REF_ORIGIN
#undef QUORENT_REF_HEX
#undef QUORENT_REF_JSON
#undef QUORENT_REF_SIG65

static_assert(sizeof(kReferences) / sizeof(kReferences[0]) == kFunctionCount);
constexpr bool references_follow_table() {
    for (std::size_t i = 0; i < kFunctionCount; ++i)
        if (kReferences[i].name != kFunctions[i].name) return false;
    return true;
}
static_assert(references_follow_table(), "one reference per operation, in the table's order");

}  // namespace quorent::ffi::iface
