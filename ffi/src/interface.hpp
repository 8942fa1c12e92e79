// The one declarative description of the exported interface. The
// interface-description blobs and the checksums that bindings compare at
// load are both computed from it at compile time, so they can never disagree
// with each other; quorent_reference (bindings/reference.cpp) writes it, with
// what the blobs leave out (argument help, results, errors, secret marks), to
// bindings/interface.json, from which the bindings are generated.
#pragma once

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>

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

// `secret` marks a value that is a secret key, a seed, a PKCE verifier or
// the signatures a seed comes from. It is not part of the blob: the
// interface description (bindings/interface.json, written by
// quorent_reference) carries it to the bindings, which redact such values
// in their printed forms and wipe their own copies of them.
struct Arg {
    std::string_view name;
    Type type;
    std::string_view help;  // one line for option lists and references; not part of the blob
    // Where the operation checks UTF-8, a secret's check does not branch on
    // its bytes (is_utf8, where public texts take is_utf8_var).
    bool secret = false;
};

struct Field {
    std::string_view name;
    Type type;
    std::string_view doc;
    bool secret = false;
};

// An operation's result type; secret(type) marks a secret result (a seed).
struct Returns {
    Type type;
    bool secret = false;
    constexpr Returns(Type t) : type(t) {}  // NOLINT: a plain type is a public result
    constexpr Returns(Type t, bool s) : type(t), secret(s) {}
};
constexpr Returns secret(Type t) { return Returns(t, true); }

// ---- the table as written ----------------------------------------------------
// Each row's argument (or field) list is an array whose length the compiler
// counts; the rows are then gathered into arrays of one type each, whose
// list bound is the longest list of any row. No count or bound is typed.

// `{}` as a row's argument list: an empty list has no length to deduce.
struct NoArgs {};

template <std::size_t N>
struct Op {
    std::string_view name;
    std::array<Arg, N> args;
    Type result;
    bool secret_result;  // not part of the blob
    bool fallible;       // declares SdkError
    std::string_view doc;

    template <std::size_t M>
        requires(M == N)
    constexpr Op(std::string_view n, const Arg (&a)[M], Returns r, bool f, std::string_view d)
        : name(n), args(std::to_array(a)), result(r.type), secret_result(r.secret), fallible(f), doc(d) {}
    constexpr Op(std::string_view n, NoArgs, Returns r, bool f, std::string_view d)
        requires(N == 0)
        : name(n), args{}, result(r.type), secret_result(r.secret), fallible(f), doc(d) {}
};
template <std::size_t N>
Op(std::string_view, const Arg (&)[N], Returns, bool, std::string_view) -> Op<N>;
Op(std::string_view, NoArgs, Returns, bool, std::string_view) -> Op<0>;

template <std::size_t N>
struct Rec {
    std::string_view name;
    std::array<Field, N> fields;
    std::string_view doc;

    template <std::size_t M>
        requires(M == N)
    constexpr Rec(std::string_view n, const Field (&f)[M], std::string_view d)
        : name(n), fields(std::to_array(f)), doc(d) {}
};
template <std::size_t N>
Rec(std::string_view, const Field (&)[N], std::string_view) -> Rec<N>;

using T = Type;

// Arguments that several operations take alike: one definition each.
namespace args {
inline constexpr Arg aud{"aud", T::String, "audience"};
inline constexpr Arg challenge{"challenge", T::String, "the relying party's challenge"};
inline constexpr Arg credential_pubkey_hex{
    "credential_pubkey_hex", T::String, "the passkey credential public key, hex"};
inline constexpr Arg domain{"domain", T::String, "the client's domain"};
inline constexpr Arg epoch_label_hex{"epoch_label_hex", T::String, "epoch label, 32 bytes as hex"};
inline constexpr Arg epoch{"epoch", T::U64, "epoch number"};
inline constexpr Arg exp{"exp", T::U64, "expiry, unix seconds"};
inline constexpr Arg grants_json{"grants_json", T::String, "JSON array of grants"};
inline constexpr Arg issued_at{"issued_at", T::U64, "issue time, unix seconds"};
inline constexpr Arg iss{"iss", T::String, "the delegator"};
inline constexpr Arg nonce{"nonce", T::String, "nonce"};
inline constexpr Arg origin{"origin", T::String, "web origin, scheme://host[:port]"};
inline constexpr Arg parent_ref_hash_hex{"parent_ref_hash_hex", T::String, "parent-reference hash, 32 bytes as hex"};
inline constexpr Arg secret_key_hex{"secret_key_hex", T::String, "secp256k1 secret key, hex", true};
inline constexpr Arg signature_hex{"signature_hex", T::String, "signature, hex"};
inline constexpr Arg signer_addr_hex{"signer_addr_hex", T::String, "the smart-contract wallet's address, hex"};
inline constexpr Arg tenant_id{"tenant_id", T::U64, "tenant id"};
inline constexpr Arg to{"to", T::String, "the delegate"};
inline constexpr Arg wallet_sig_hex{"wallet_sig_hex", T::String, "the wallet's signature, hex"};
}  // namespace args

// Laid out by hand, one argument or field per line.
// clang-format off
inline constexpr std::tuple kOperationRows{
    Op{"build_authorize_url",
       {{"issuer", T::String, "the issuer's base URL"},
        {"client_id", T::String, "OAuth client id"},
        {"redirect_uri", T::String, "the client's redirect URI"},
        {"state", T::String, "OAuth state"},
        args::nonce,
        {"code_challenge", T::String, "PKCE S256 challenge"}},
       T::String, true,
       "The issuer's /authorize URL for an authorization-code request with PKCE (S256): the issuer parsed as a WHATWG "
       "URL, its path replaced by /authorize, seven form-encoded query parameters appended."},
    Op{"build_client_assertion",
       {args::domain,
        args::tenant_id,
        args::nonce,
        args::issued_at},
       T::String, false,
       "The five-line client-credentials assertion text that a client signs with EIP-191."},
    Op{"decode_bool_return",
       {{"ret", T::ByteSeq, "the raw bytes the registry call returned, hex"}},
       T::Bool, true,
       "Decodes the 32-byte answer of isOriginVoucher; any other length is an error, never false."},
    Op{"delegate",
       {args::tenant_id,
        args::iss,
        args::to,
        args::grants_json,
        args::exp,
        args::epoch_label_hex,
        args::epoch,
        args::parent_ref_hash_hex,
        {"pubkey_hex", T::OptionalString, "public key, hex"},
        args::signature_hex},
       T::String, true,
       "Assembles a signed delegation link from the delegator's precomputed signature over its binding; returns the "
       "link's canonical JSON."},
    Op{"delegation_binding",
       {args::tenant_id,
        args::iss,
        args::to,
        args::grants_json,
        args::exp,
        args::epoch_label_hex,
        args::epoch,
        args::parent_ref_hash_hex},
       T::String, true,
       "The bytes a delegator signs for one delegation link, as lower-case hex."},
    Op{"derive_app_key",
       {{"root_seed_hex", T::String, "the 32-byte root seed, hex", true},
        args::tenant_id,
        args::origin},
       T::AppKey, true,
       "Derives the per-(tenant, origin) secp256k1 app key from a 32-byte root seed with HKDF-SHA-256."},
    Op{"derive_root_seed",
       {args::origin,
        {"signature1_hex", T::String, "the wallet's first signature over the root binding, hex", true},
        {"signature2_hex", T::String, "the wallet's second signature over the same text, hex", true}},
       secret(T::String), true,
       "The 32-byte root seed (hex): SHA-256 of the wallet's signature over the root binding, given twice to prove the "
       "wallet signs deterministically."},
    Op{"generate_pkce",
       {},
       T::Pkce, false,
       "Fresh PKCE pair."},
    Op{"issuer_key_id",
       {{"jwk_json", T::String, "an EC public key as a JWK (JSON)"}},
       T::String, true,
       "The RFC 7638 thumbprint of an EC JWK as lower-case hex: the issuer key id."},
    Op{"is_origin_voucher_calldata",
       {args::tenant_id,
        {"signer_hex", T::String, "the signer's 20-byte address, hex"},
        args::epoch},
       T::ByteSeq, true,
       "Call data of isOriginVoucher(uint256,address,uint64) for a read-only call to the origin registry."},
    Op{"mint_admin_deed",
       {args::wallet_sig_hex,
        args::tenant_id,
        args::aud,
        args::challenge,
        args::exp},
       T::Deed, true,
       "An admin-sig deed whose subject is the wallet account recovered from an EIP-191 signature over the admin "
       "message."},
    Op{"mint_admin_deed_smartwallet",
       {args::signer_addr_hex,
        args::wallet_sig_hex,
        args::tenant_id,
        args::aud,
        args::challenge,
        args::exp},
       T::Deed, true,
       "An admin-sig deed for a smart-contract wallet: carries the contract's address and its opaque signature."},
    Op{"mint_capability_deed",
       {{"base_deed", T::Deed, "the deed to extend, as the JSON a mint command prints"},
        args::grants_json,
        {"delegation_chain_json", T::String, "JSON array of delegation links (as `delegate` prints them)"}},
       T::Deed, true,
       "Attaches grants and a delegation chain to an already minted deed, replacing any it carried."},
    Op{"mint_user_1271_deed",
       {args::signer_addr_hex,
        args::wallet_sig_hex,
        args::tenant_id,
        args::aud,
        args::origin,
        args::challenge,
        args::exp},
       T::Deed, true,
       "A user-1271 deed for a smart-contract wallet that signed the user binding."},
    Op{"mint_user_deed",
       {args::secret_key_hex,
        args::tenant_id,
        args::aud,
        args::origin,
        args::challenge,
        args::exp},
       T::Deed, true,
       "A user-sig deed: the app key signs SHA-256 of the user binding for the canonical origin."},
    Op{"mint_user_passkey_deed",
       {args::credential_pubkey_hex,
        {"authenticator_data_hex", T::String, "the assertion's authenticator data, hex"},
        {"client_data_json_b64url", T::String, "the assertion's clientDataJSON, base64url"},
        {"assertion_sig_hex", T::String, "the WebAuthn assertion signature (DER), hex"},
        args::tenant_id,
        args::aud,
        args::origin,
        args::challenge,
        args::exp},
       T::Deed, true,
       "A user-passkey deed carrying a WebAuthn assertion's pieces unchanged, with the passkey pseudonym as subject."},
    Op{"normalize_origin",
       {args::origin},
       T::String, true,
       "The canonical text scheme://host[:port] of a web origin, or the rule it breaks."},
    Op{"origin_vouch_binding",
       {args::tenant_id,
        args::aud,
        args::origin,
        args::epoch,
        args::exp,
        {"allow_insecure_origin", T::Bool, "accept plain-HTTP and non-routable origins (local development only)"}},
       T::String, true,
       "The prose message a tenant administrator signs to vouch that an origin speaks for the tenant; insecure origins "
       "are refused unless allowed."},
    Op{"origin_vouch_max_ttl_secs",
       {},
       T::U64, false,
       "The longest lifetime a holder accepts for an origin vouch, in seconds."},
    Op{"origin_vouch_signer",
       {args::tenant_id,
        args::aud,
        args::origin,
        args::epoch,
        args::exp,
        args::signature_hex},
       T::String, true,
       "Recovers the address that signed an origin vouch for the holder's own observed origin."},
    Op{"parent_ref_hash_link",
       {{"parent_link_json", T::String, "the previous delegation link (JSON)"}},
       T::String, true,
       "Parent-reference hash of a later delegation link: SHA-256 of the previous link's canonical JSON, hex."},
    Op{"parent_ref_hash_root",
       {{"root_id", T::String, "the root principal's identity (the identity deed's sub)"}},
       T::String, false,
       "Parent-reference hash of the first delegation link: SHA-256 of the root principal's identity, hex."},
    Op{"passkey_sub",
       {args::tenant_id,
        args::origin,
        args::credential_pubkey_hex},
       T::String, false,
       "The passkey pseudonym for a tenant, an already canonical origin and a credential public key."},
    Op{"pkce_challenge",
       {{"verifier", T::String, "PKCE verifier", true}},
       T::String, false,
       "The S256 challenge of a PKCE verifier."},
    Op{"sign_client_assertion",
       {args::secret_key_hex,
        args::domain,
        args::tenant_id,
        args::nonce,
        args::issued_at},
       T::String, true,
       "Signs the client-credentials assertion with EIP-191; returns 0x and 130 hex digits."},
    Op{"user_binding",
       {args::tenant_id,
        args::aud,
        args::origin,
        args::challenge,
        args::exp},
       T::String, true,
       "The bytes an app key signs for a user-sig deed, as hex, with the origin canonicalised."},
    Op{"user_root_binding",
       {args::origin},
       T::String, true,
       "The prose message a user's wallet signs to derive the root seed for an origin."},
    Op{"user_sub",
       {{"pubkey_hex", T::String, "public key, hex"}},
       T::String, true,
       "The user pseudonym of an app key's public key."},
    Op{"verify_token_at",
       {{"jwt", T::String, "the compact ES256 token"},
        {"jwks_json", T::String, "the issuer's JWKS document (JSON)"},
        {"expected_iss", T::String, "the issuer the token must carry"},
        {"expected_aud", T::String, "the audience the token must carry"},
        {"now_unix", T::U64, "the current time, unix seconds"}},
       T::Claims, true,
       "Verifies an ES256 token against a JWKS at the given time and returns its claims."},
};

inline constexpr std::tuple kRecordRows{
    Rec{"AppKey",
        {{"secret_key_hex", T::String, "The secret scalar, 64 lower-case hex digits.", true},
         {"pubkey_hex", T::String, "The SEC1 compressed public key, 66 lower-case hex digits."}},
        "A per-(tenant, origin) secp256k1 app key."},
    Rec{"Claims",
        {{"iss", T::String, "Issuer."},
         {"sub", T::String, "Subject."},
         {"aud", T::String, "Audience."},
         {"exp", T::U64, "Expiry, unix seconds."},
         {"iat", T::U64, "Issued-at, unix seconds; 0 when absent."},
         {"tid", T::OptionalU64, "Tenant id, when the issuer includes one."},
         {"nonce", T::OptionalString, "Nonce echoed by the issuer."}},
        "Claims of a verified token."},
    Rec{"Deed",
        {{"v", T::U8, "Format version."},
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
         {"delegations", T::OptionalString, "Delegation chain, as JSON."}},
        "A short-lived signed identity deed."},
    Rec{"Pkce",
        {{"verifier", T::String, "43 base64url characters of 32 random bytes.", true},
         {"challenge", T::String, "base64url of SHA-256 of the verifier."}},
        "A PKCE verifier and its S256 challenge."},
};
// clang-format on

// ---- the table as read ----------------------------------------------------------

inline constexpr std::size_t kMaxArgs =
    std::apply([](const auto&... op) { return std::max({std::size_t{0}, op.args.size()...}); }, kOperationRows);
inline constexpr std::size_t kMaxFields =
    std::apply([](const auto&... rec) { return std::max({std::size_t{0}, rec.fields.size()...}); }, kRecordRows);
static_assert(kMaxArgs <= 0xFF && kMaxFields <= 0xFF, "a blob gives an argument or field count as one byte");

struct Func {
    std::string_view name;
    std::array<Arg, kMaxArgs> args;  // the first arg_count are the operation's
    std::size_t arg_count;
    Type result;
    bool secret_result;  // not part of the blob
    bool fallible;       // declares SdkError
    std::string_view doc;
};

struct Record {
    std::string_view name;
    std::array<Field, kMaxFields> fields;  // the first field_count are the record's
    std::size_t field_count;
    std::string_view doc;
};

template <std::size_t N>
constexpr Func to_func(const Op<N>& op) {
    Func f{op.name, {}, N, op.result, op.secret_result, op.fallible, op.doc};
    std::copy(op.args.begin(), op.args.end(), f.args.begin());
    return f;
}

template <std::size_t N>
constexpr Record to_record(const Rec<N>& rec) {
    Record r{rec.name, {}, N, rec.doc};
    std::copy(rec.fields.begin(), rec.fields.end(), r.fields.begin());
    return r;
}

inline constexpr auto kFunctions =
    std::apply([](const auto&... op) { return std::array{to_func(op)...}; }, kOperationRows);
inline constexpr auto kRecords =
    std::apply([](const auto&... rec) { return std::array{to_record(rec)...}; }, kRecordRows);

inline constexpr std::size_t kFunctionCount = kFunctions.size();
static_assert(kFunctionCount == 29);

// ---- blob encoding ----------------------------------------------------------

// The codes of the interface-description blobs, named once for the library.
// A binding generator names the same codes in its own language
// (bindings/generator/model.py) and reads them back from the exported blobs.
enum class Kind : std::uint8_t {  // what a blob describes: its first byte
    Function = 0,
    Record = 2,
    Error = 3,
    Namespace = 6,
};
enum class Code : std::uint8_t {  // a type
    U8 = 0,
    U64 = 3,
    Bool = 10,
    String = 11,
    Optional = 12,  // then the inner type
    Record = 13,    // then the module and the record's name
    Error = 14,     // then the module and the error's name
    Sequence = 17,  // then the element type
    Result = 23,    // then the value type and the error type
};

class ByteSink {
public:
    constexpr explicit ByteSink(std::uint8_t* out) : out_(out) {}
    constexpr void byte(std::uint8_t b) {
        if (out_ != nullptr) out_[n_] = b;
        ++n_;
    }
    // A name's length is one byte, a doc's two: a longer text is refused
    // rather than cut. The blobs are encoded only in constant expressions
    // (their sizes are array bounds), where calling a function that is not
    // constexpr fails the build.
    static void name_longer_than_255_bytes() {}
    static void doc_longer_than_65535_bytes() {}
    constexpr void short_string(std::string_view s) {
        if (s.size() > 0xFF) name_longer_than_255_bytes();
        byte(static_cast<std::uint8_t>(s.size()));
        for (char c : s) byte(static_cast<std::uint8_t>(c));
    }
    constexpr void long_string(std::string_view s) {
        if (s.size() > 0xFFFF) doc_longer_than_65535_bytes();
        byte(static_cast<std::uint8_t>(s.size() & 0xFF));
        byte(static_cast<std::uint8_t>(s.size() >> 8));
        for (char c : s) byte(static_cast<std::uint8_t>(c));
    }
    constexpr void kind(Kind k) { byte(static_cast<std::uint8_t>(k)); }
    constexpr void code(Code c) { byte(static_cast<std::uint8_t>(c)); }
    constexpr void type(Type t) {
        switch (t) {
            case Type::U8: code(Code::U8); break;
            case Type::U64: code(Code::U64); break;
            case Type::Bool: code(Code::Bool); break;
            case Type::String: code(Code::String); break;
            case Type::OptionalString:
                code(Code::Optional);
                code(Code::String);
                break;
            case Type::OptionalU64:
                code(Code::Optional);
                code(Code::U64);
                break;
            case Type::ByteSeq:
                code(Code::Sequence);
                code(Code::U8);
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
        code(Code::Record);
        short_string(kModule);
        short_string(name);
    }
    std::uint8_t* out_;
    std::size_t n_ = 0;
};

// The one error type, declared by every fallible operation. Its variants
// carry only a message; a variant's wire number is its place here, from 1.
struct ErrorType {
    std::string_view name;
    std::array<std::string_view, 2> variants;
    std::string_view doc;
};
inline constexpr ErrorType kError{
    "SdkError",
    {"Sdk", "InsecureOrigin"},
    "The error of every fallible operation: InsecureOrigin when the origin policy refused the origin, Sdk for "
    "every other failure."};

constexpr void encode(ByteSink& s, const Func& f) {
    s.kind(Kind::Function);
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
        s.code(Code::Result);
        s.type(f.result);
        s.code(Code::Error);
        s.short_string(kModule);
        s.short_string(kError.name);
    } else {
        s.type(f.result);
    }
    s.long_string(f.doc);
}

constexpr void encode(ByteSink& s, const Record& r) {
    s.kind(Kind::Record);
    s.short_string(kModule);
    s.short_string(r.name);
    s.byte(static_cast<std::uint8_t>(r.field_count));
    for (std::size_t i = 0; i < r.field_count; ++i) {
        s.short_string(r.fields[i].name);
        s.type(r.fields[i].type);
        s.byte(0);  // no default
        s.long_string(r.fields[i].doc);
    }
    s.long_string(r.doc);
}

constexpr void encode(ByteSink& s, const ErrorType& e) {
    s.kind(Kind::Error);
    s.short_string(kModule);
    s.short_string(e.name);
    s.byte(2);  // variants carry only a message
    s.byte(0);  // no discriminant type
    s.byte(static_cast<std::uint8_t>(e.variants.size()));
    for (std::string_view v : e.variants) {
        s.short_string(v);
        s.long_string("");  // no variant documentation
    }
    s.byte(0);  // exhaustive
    s.long_string(e.doc);
}

struct Namespace {};
inline constexpr Namespace kNamespace{};
constexpr void encode(ByteSink& s, const Namespace&) {
    s.kind(Kind::Namespace);
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

constexpr std::uint16_t checksum(const std::uint8_t* bytes, std::size_t n) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= bytes[i];
        h *= 0x100000001b3ull;
    }
    return static_cast<std::uint16_t>(h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48));
}
template <std::size_t N>
constexpr std::uint16_t checksum(const std::array<std::uint8_t, N>& bytes) {
    return checksum(bytes.data(), N);
}

// Reached for a name that is not in the table: not constexpr, so that such a
// name fails the build where it is looked up at compile time; at run time (a
// host program's own lookup) the program ends.
[[noreturn]] inline void unknown_name() noexcept { std::abort(); }

constexpr const Func& function(std::string_view name) {
    for (const Func& f : kFunctions)
        if (f.name == name) return f;
    unknown_name();
}

constexpr const Record& record(std::string_view name) {
    for (const Record& r : kRecords)
        if (r.name == name) return r;
    unknown_name();
}

}  // namespace quorent::ffi::iface
