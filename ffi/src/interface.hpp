// The one declarative description of the exported interface. The
// interface-description blobs that binding generators read, and the
// checksums that bindings compare at load, are both computed from it at
// compile time, so they can never disagree with each other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorent::ffi::iface {

inline constexpr std::string_view kModule = "quorent_sdk_uniffi";
inline constexpr std::uint32_t kContractVersion = 30;

enum class Type : std::uint8_t {
    U8,
    U64,
    Bool,
    String,
    OptionalString,
    OptionalU64,
    ByteSeq,
    AppKey,
    Claims,
    Deed,
    Pkce
};

struct Arg {
    std::string_view name;
    Type type;
    std::string_view help;  // one line for option lists and references; not part of the blob
    // A secret key, seed or the signatures a seed comes from: checked without
    // branching on its bytes (is_utf8_secret); not part of the blob.
    bool secret = false;
};

struct Func {
    std::string_view name;
    std::array<Arg, 10> args;
    std::size_t arg_count;
    Type result;
    bool fallible;  // declares SdkError
    std::string_view doc;
};

struct Field {
    std::string_view name;
    Type type;
    std::string_view doc;
};

struct Record {
    std::string_view name;
    std::array<Field, 18> fields;
    std::size_t field_count;
    std::string_view doc;
};

using T = Type;

// clang-format off
inline constexpr Func kFunctions[] = {
    {"build_authorize_url", {{{"issuer", T::String, "the issuer's base URL"}, {"client_id", T::String, "OAuth client id"}, {"redirect_uri", T::String, "the client's redirect URI"}, {"state", T::String, "OAuth state"}, {"nonce", T::String, "nonce"}, {"code_challenge", T::String, "PKCE S256 challenge"}}}, 6, T::String, true,
     "The issuer's /authorize URL for an authorization-code request with PKCE (S256): the issuer parsed as a WHATWG URL, its path replaced by /authorize, seven form-encoded query parameters appended."},
    {"build_client_assertion", {{{"domain", T::String, "the client's domain"}, {"tenant_id", T::U64, "tenant id"}, {"nonce", T::String, "nonce"}, {"issued_at", T::U64, "issue time, unix seconds"}}}, 4, T::String, false,
     "The five-line client-credentials assertion text that a client signs with EIP-191."},
    {"decode_bool_return", {{{"ret", T::ByteSeq, "the raw bytes the registry call returned, hex"}}}, 1, T::Bool, true,
     "Decodes the 32-byte answer of isOriginVoucher; any other length is an error, never false."},
    {"delegate", {{{"tenant_id", T::U64, "tenant id"}, {"iss", T::String, "the delegator"}, {"to", T::String, "the delegate"}, {"grants_json", T::String, "JSON array of grants"}, {"exp", T::U64, "expiry, unix seconds"}, {"epoch_label_hex", T::String, "epoch label, 32 bytes as hex"}, {"epoch", T::U64, "epoch number"}, {"parent_ref_hash_hex", T::String, "parent-reference hash, 32 bytes as hex"}, {"pubkey_hex", T::OptionalString, "public key, hex"}, {"signature_hex", T::String, "signature, hex"}}}, 10, T::String, true,
     "Assembles a signed delegation link from the delegator's precomputed signature over its binding; returns the link's canonical JSON."},
    {"delegation_binding", {{{"tenant_id", T::U64, "tenant id"}, {"iss", T::String, "the delegator"}, {"to", T::String, "the delegate"}, {"grants_json", T::String, "JSON array of grants"}, {"exp", T::U64, "expiry, unix seconds"}, {"epoch_label_hex", T::String, "epoch label, 32 bytes as hex"}, {"epoch", T::U64, "epoch number"}, {"parent_ref_hash_hex", T::String, "parent-reference hash, 32 bytes as hex"}}}, 8, T::String, true,
     "The bytes a delegator signs for one delegation link, as lower-case hex."},
    {"derive_app_key", {{{"root_seed_hex", T::String, "the 32-byte root seed, hex", true}, {"tenant_id", T::U64, "tenant id"}, {"origin", T::String, "web origin, scheme://host[:port]"}}}, 3, T::AppKey, true,
     "Derives the per-(tenant, origin) secp256k1 app key from a 32-byte root seed with HKDF-SHA-256."},
    {"derive_root_seed", {{{"origin", T::String, "web origin, scheme://host[:port]"}, {"signature1_hex", T::String, "the wallet's first signature over the root binding, hex", true}, {"signature2_hex", T::String, "the wallet's second signature over the same text, hex", true}}}, 3, T::String, true,
     "The 32-byte root seed (hex): SHA-256 of the wallet's signature over the root binding, given twice to prove the wallet signs deterministically."},
    {"generate_pkce", {}, 0, T::Pkce, false,
     "Fresh PKCE pair."},
    {"issuer_key_id", {{{"jwk_json", T::String, "an EC public key as a JWK (JSON)"}}}, 1, T::String, true,
     "The RFC 7638 thumbprint of an EC JWK as lower-case hex: the issuer key id."},
    {"is_origin_voucher_calldata", {{{"tenant_id", T::U64, "tenant id"}, {"signer_hex", T::String, "the signer's 20-byte address, hex"}, {"epoch", T::U64, "epoch number"}}}, 3, T::ByteSeq, true,
     "Call data of isOriginVoucher(uint256,address,uint64) for a read-only call to the origin registry."},
    {"mint_admin_deed", {{{"wallet_sig_hex", T::String, "the wallet's signature, hex"}, {"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"challenge", T::String, "the relying party's challenge"}, {"exp", T::U64, "expiry, unix seconds"}}}, 5, T::Deed, true,
     "An admin-sig deed whose subject is the wallet account recovered from an EIP-191 signature over the admin message."},
    {"mint_admin_deed_smartwallet", {{{"signer_addr_hex", T::String, "the smart-contract wallet's address, hex"}, {"wallet_sig_hex", T::String, "the wallet's signature, hex"}, {"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"challenge", T::String, "the relying party's challenge"}, {"exp", T::U64, "expiry, unix seconds"}}}, 6, T::Deed, true,
     "An admin-sig deed for a smart-contract wallet: carries the contract's address and its opaque signature."},
    {"mint_capability_deed", {{{"base_deed", T::Deed, "the deed to extend, as the JSON a mint command prints"}, {"grants_json", T::String, "JSON array of grants"}, {"delegation_chain_json", T::String, "JSON array of delegation links (as `delegate` prints them)"}}}, 3, T::Deed, true,
     "Attaches grants and a delegation chain to an already minted deed, replacing any it carried."},
    {"mint_user_1271_deed", {{{"signer_addr_hex", T::String, "the smart-contract wallet's address, hex"}, {"wallet_sig_hex", T::String, "the wallet's signature, hex"}, {"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"challenge", T::String, "the relying party's challenge"}, {"exp", T::U64, "expiry, unix seconds"}}}, 7, T::Deed, true,
     "A user-1271 deed for a smart-contract wallet that signed the user binding."},
    {"mint_user_deed", {{{"secret_key_hex", T::String, "secp256k1 secret key, hex", true}, {"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"challenge", T::String, "the relying party's challenge"}, {"exp", T::U64, "expiry, unix seconds"}}}, 6, T::Deed, true,
     "A user-sig deed: the app key signs SHA-256 of the user binding for the canonical origin."},
    {"mint_user_passkey_deed", {{{"credential_pubkey_hex", T::String, "the passkey credential public key, hex"}, {"authenticator_data_hex", T::String, "the assertion's authenticator data, hex"}, {"client_data_json_b64url", T::String, "the assertion's clientDataJSON, base64url"}, {"assertion_sig_hex", T::String, "the WebAuthn assertion signature (DER), hex"}, {"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"challenge", T::String, "the relying party's challenge"}, {"exp", T::U64, "expiry, unix seconds"}}}, 9, T::Deed, true,
     "A user-passkey deed carrying a WebAuthn assertion's pieces unchanged, with the passkey pseudonym as subject."},
    {"normalize_origin", {{{"origin", T::String, "web origin, scheme://host[:port]"}}}, 1, T::String, true,
     "The canonical text scheme://host[:port] of a web origin, or the rule it breaks."},
    {"origin_vouch_binding", {{{"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"epoch", T::U64, "epoch number"}, {"exp", T::U64, "expiry, unix seconds"}, {"allow_insecure_origin", T::Bool, "accept plain-HTTP and non-routable origins (local development only)"}}}, 6, T::String, true,
     "The prose message a tenant administrator signs to vouch that an origin speaks for the tenant; insecure origins are refused unless allowed."},
    {"origin_vouch_max_ttl_secs", {}, 0, T::U64, false,
     "The longest lifetime a holder accepts for an origin vouch, in seconds."},
    {"origin_vouch_signer", {{{"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"epoch", T::U64, "epoch number"}, {"exp", T::U64, "expiry, unix seconds"}, {"signature_hex", T::String, "signature, hex"}}}, 6, T::String, true,
     "Recovers the address that signed an origin vouch for the holder's own observed origin."},
    {"parent_ref_hash_link", {{{"parent_link_json", T::String, "the previous delegation link (JSON)"}}}, 1, T::String, true,
     "Parent-reference hash of a later delegation link: SHA-256 of the previous link's canonical JSON, hex."},
    {"parent_ref_hash_root", {{{"root_id", T::String, "the root principal's identity (the identity deed's sub)"}}}, 1, T::String, false,
     "Parent-reference hash of the first delegation link: SHA-256 of the root principal's identity, hex."},
    {"passkey_sub", {{{"tenant_id", T::U64, "tenant id"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"credential_pubkey_hex", T::String, "the passkey credential public key, hex"}}}, 3, T::String, false,
     "The passkey pseudonym for a tenant, an already canonical origin and a credential public key."},
    {"pkce_challenge", {{{"verifier", T::String, "PKCE verifier"}}}, 1, T::String, false,
     "The S256 challenge of a PKCE verifier."},
    {"sign_client_assertion", {{{"secret_key_hex", T::String, "secp256k1 secret key, hex", true}, {"domain", T::String, "the client's domain"}, {"tenant_id", T::U64, "tenant id"}, {"nonce", T::String, "nonce"}, {"issued_at", T::U64, "issue time, unix seconds"}}}, 5, T::String, true,
     "Signs the client-credentials assertion with EIP-191; returns 0x and 130 hex digits."},
    {"user_binding", {{{"tenant_id", T::U64, "tenant id"}, {"aud", T::String, "audience"}, {"origin", T::String, "web origin, scheme://host[:port]"}, {"challenge", T::String, "the relying party's challenge"}, {"exp", T::U64, "expiry, unix seconds"}}}, 5, T::String, true,
     "The bytes an app key signs for a user-sig deed, as hex, with the origin canonicalised."},
    {"user_root_binding", {{{"origin", T::String, "web origin, scheme://host[:port]"}}}, 1, T::String, true,
     "The prose message a user's wallet signs to derive the root seed for an origin."},
    {"user_sub", {{{"pubkey_hex", T::String, "public key, hex"}}}, 1, T::String, true,
     "The user pseudonym of an app key's public key."},
    {"verify_token_at", {{{"jwt", T::String, "the compact ES256 token"}, {"jwks_json", T::String, "the issuer's JWKS document (JSON)"}, {"expected_iss", T::String, "the issuer the token must carry"}, {"expected_aud", T::String, "the audience the token must carry"}, {"now_unix", T::U64, "the current time, unix seconds"}}}, 5, T::Claims, true,
     "Verifies an ES256 token against a JWKS at the given time and returns its claims."},
};

inline constexpr Record kRecords[] = {
    {"AppKey", {{{"secret_key_hex", T::String, "The secret scalar, 64 lower-case hex digits."},
                 {"pubkey_hex", T::String, "The SEC1 compressed public key, 66 lower-case hex digits."}}}, 2,
     "A per-(tenant, origin) secp256k1 app key."},
    {"Claims", {{{"iss", T::String, "Issuer."},
                 {"sub", T::String, "Subject."},
                 {"aud", T::String, "Audience."},
                 {"exp", T::U64, "Expiry, unix seconds."},
                 {"iat", T::U64, "Issued-at, unix seconds; 0 when absent."},
                 {"tid", T::OptionalU64, "Tenant id, when the issuer includes one."},
                 {"nonce", T::OptionalString, "Nonce echoed by the issuer."}}}, 7,
     "Claims of a verified token."},
    {"Deed", {{{"v", T::U8, "Format version."},
               {"mode", T::String, "user-sig, user-1271, user-passkey, admin-sig or agent-zk."},
               {"tenant", T::U64, "Tenant id."},
               {"sub", T::String, "Subject: a pseudonym or an account."},
               {"aud", T::String, "Audience."},
               {"challenge", T::String, "The relying party's challenge."},
               {"exp", T::U64, "Expiry, unix seconds."},
               {"root", T::OptionalString, ""},
               {"proof", T::OptionalString, ""},
               {"pubkey", T::OptionalString, "user-sig: the signing key, compressed, hex."},
               {"signature", T::OptionalString, "The signature, hex."},
               {"credential_pubkey", T::OptionalString, "user-passkey: the credential public key, hex."},
               {"authenticator_data", T::OptionalString, "user-passkey: authenticator data, hex."},
               {"client_data_json", T::OptionalString, "user-passkey: clientDataJSON, base64url."},
               {"assertion_sig", T::OptionalString, "user-passkey: the assertion signature, hex."},
               {"signer", T::OptionalString, "The wallet contract's address, hex without prefix."},
               {"grants", T::OptionalString, "Capabilities, as JSON."},
               {"delegations", T::OptionalString, "Delegation chain, as JSON."}}}, 18,
     "A short-lived signed identity deed."},
    {"Pkce", {{{"verifier", T::String, "43 base64url characters of 32 random bytes."},
               {"challenge", T::String, "base64url of SHA-256 of the verifier."}}}, 2,
     "A PKCE verifier and its S256 challenge."},
};
// clang-format on

inline constexpr std::size_t kFunctionCount = sizeof(kFunctions) / sizeof(kFunctions[0]);
static_assert(kFunctionCount == 29);

// ---- blob encoding ----------------------------------------------------------

class ByteSink {
public:
    constexpr explicit ByteSink(std::uint8_t* out) : out_(out) {}
    constexpr void byte(std::uint8_t b) {
        if (out_ != nullptr) out_[n_] = b;
        ++n_;
    }
    constexpr void short_string(std::string_view s) {
        byte(static_cast<std::uint8_t>(s.size()));
        for (char c : s) byte(static_cast<std::uint8_t>(c));
    }
    constexpr void long_string(std::string_view s) {
        byte(static_cast<std::uint8_t>(s.size() & 0xFF));
        byte(static_cast<std::uint8_t>(s.size() >> 8));
        for (char c : s) byte(static_cast<std::uint8_t>(c));
    }
    constexpr void type(Type t) {
        switch (t) {
            case Type::U8: byte(0); break;
            case Type::U64: byte(3); break;
            case Type::Bool: byte(10); break;
            case Type::String: byte(11); break;
            case Type::OptionalString:
                byte(12);
                byte(11);
                break;
            case Type::OptionalU64:
                byte(12);
                byte(3);
                break;
            case Type::ByteSeq:
                byte(17);
                byte(0);
                break;
            case Type::AppKey: record("AppKey"); break;
            case Type::Claims: record("Claims"); break;
            case Type::Deed: record("Deed"); break;
            case Type::Pkce: record("Pkce"); break;
        }
    }
    constexpr std::size_t size() const { return n_; }

private:
    constexpr void record(std::string_view name) {
        byte(13);
        short_string(kModule);
        short_string(name);
    }
    std::uint8_t* out_;
    std::size_t n_ = 0;
};

constexpr void encode(ByteSink& s, const Func& f) {
    s.byte(0);
    s.short_string(kModule);
    s.short_string(f.name);
    s.byte(0);  // not asynchronous
    s.byte(static_cast<std::uint8_t>(f.arg_count));
    for (std::size_t i = 0; i < f.arg_count; ++i) {
        s.short_string(f.args[i].name);
        s.type(f.args[i].type);
        s.byte(0);  // no default
    }
    if (f.fallible) {
        s.byte(23);
        s.type(f.result);
        s.byte(14);
        s.short_string(kModule);
        s.short_string("SdkError");
    } else {
        s.type(f.result);
    }
    s.long_string(f.doc);
}

constexpr void encode(ByteSink& s, const Record& r) {
    s.byte(2);
    s.short_string(kModule);
    s.short_string(r.name);
    s.byte(static_cast<std::uint8_t>(r.field_count));
    for (std::size_t i = 0; i < r.field_count; ++i) {
        s.short_string(r.fields[i].name);
        s.type(r.fields[i].type);
        s.byte(0);
        s.long_string(r.fields[i].doc);
    }
    s.long_string(r.doc);
}

struct ErrorType {};
inline constexpr ErrorType kError{};
constexpr void encode(ByteSink& s, const ErrorType&) {
    s.byte(3);
    s.short_string(kModule);
    s.short_string("SdkError");
    s.byte(2);  // variants carry only a message
    s.byte(0);  // no discriminant type
    s.byte(2);
    s.short_string("Sdk");
    s.long_string("");
    s.short_string("InsecureOrigin");
    s.long_string("");
    s.byte(0);  // exhaustive
    s.long_string(
        "The error of every fallible operation: InsecureOrigin when the origin policy refused the origin, Sdk for "
        "every other failure.");
}

struct Namespace {};
inline constexpr Namespace kNamespace{};
constexpr void encode(ByteSink& s, const Namespace&) {
    s.byte(6);
    s.short_string(kModule);
    s.short_string(kModule);
}

template <class Item>
constexpr std::size_t blob_size(const Item& item) {
    ByteSink s(nullptr);
    encode(s, item);
    return s.size();
}

template <std::size_t N, class Item>
constexpr std::array<std::uint8_t, N> blob(const Item& item) {
    std::array<std::uint8_t, N> out{};
    ByteSink s(out.data());
    encode(s, item);
    return out;
}

template <std::size_t N>
constexpr std::uint16_t checksum(const std::array<std::uint8_t, N>& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return static_cast<std::uint16_t>(h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48));
}

constexpr const Func& function(std::string_view name) {
    for (const Func& f : kFunctions)
        if (f.name == name) return f;
    throw "unknown operation";  // not a constant expression: fails the build
}

constexpr const Record& record(std::string_view name) {
    for (const Record& r : kRecords)
        if (r.name == name) return r;
    throw "unknown record";
}

}  // namespace quorent::ffi::iface
