// User keys and user-sig deeds: the root binding a wallet signs, the root seed
// and the per-(tenant, origin) app key derived from it, the user pseudonym,
// and the user binding that an app key signs into a deed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent/sovereign.hpp"
#include "quorent/wallet.hpp"

namespace quorent::usersig {

// The per-(tenant, origin) app key: secret scalar and compressed public key,
// hex. The library's copy of the secret's text is wiped when it goes.
struct AppKey {
    std::string secret_key_hex;
    std::string pubkey_hex;

    AppKey() = default;
    AppKey(std::string secret, std::string pubkey) : secret_key_hex(std::move(secret)), pubkey_hex(std::move(pubkey)) {}
    AppKey(const AppKey&) = default;
    AppKey(AppKey&&) = default;
    AppKey& operator=(const AppKey&) = default;
    AppKey& operator=(AppKey&&) = default;
    ~AppKey() { secure_wipe(secret_key_hex); }
    bool operator==(const AppKey&) const = default;
};

// 32 secret bytes (a root seed), wiped on destruction and when moved from.
using RootSeed = SecretArray<32>;

// An app key as derived: the secret scalar (wiped with the key) and k*G.
struct DerivedKey {
    wallet::SecretKey secret;
    wallet::PublicKey pubkey;
};

// Hands out the wallet's signature over a message, or a failure.
using SigningSource = std::function<Result<Bytes>(std::string_view message)>;

// The prose message whose wallet signature yields the root seed of an origin.
// Canonicalises the origin first (kind Input on a malformed one).
Result<std::string> user_root_binding(std::string_view origin);

// The root binding message of an origin that is already canonical.
std::string root_binding_message(std::string_view canonical_origin);

// SHA-256 of the wallet's signature over the origin's root binding. The
// source is asked twice; results differing in length or any byte fail with
// kind Crypto, "wallet signing is non-deterministic; unsupported"; two
// empty results fail with kind Crypto, "wallet signature is empty". The
// signature is otherwise not parsed or checked.
Result<RootSeed> derive_root_seed(std::string_view origin, const SigningSource& wallet_sign);
// The same from the two signatures as plain hex, decoded (kind Crypto on a
// fault) before the origin is looked at; the seed as lower-case hex. Every
// copy of the signatures and of the seed is wiped.
Result<std::string> derive_root_seed(std::string_view origin, std::string_view signature1_hex,
                                     std::string_view signature2_hex);

// HKDF-SHA-256 from the root seed with info "tenant:T|origin:O|ctr:C" and a
// retry counter C = 0..63 until the output is a valid secret scalar. The
// origin is canonicalised first.
Result<DerivedKey> derive_app_key(const std::array<std::uint8_t, 32>& root_seed, std::uint64_t tenant,
                                  std::string_view origin);
// The same from the seed as plain hex: a hex fault is kind Crypto, another
// length than 32 bytes kind Input; both before the origin is looked at.
Result<AppKey> derive_app_key(std::string_view root_seed_hex, std::uint64_t tenant_id, std::string_view origin);

// The exported form of an app key: lower-case hex of the 32-byte scalar and
// of the 33-byte compressed public key.
AppKey app_key_record(const DerivedKey& key);

// The user pseudonym of a public key: lower-case hex of
// SHA-256("quorent-sovereign-user-sub-v1" || compressed key).
std::string user_sub(const wallet::PublicKey& key);
// The same for a key given as plain hex (kind Crypto on a hex fault or a key
// that is not a point of the curve).
Result<std::string> user_sub(std::string_view pubkey_hex);

// "quorent-sovereign-user-v1|tenant:T|aud:A|origin:O|challenge:C|exp:E". The
// origin is taken as given; callers pass a canonical one.
std::string user_binding_message(std::uint64_t tenant, std::string_view aud, std::string_view origin,
                                 std::string_view challenge, std::uint64_t exp);

// The user binding over the canonicalised origin, as lower-case hex of its bytes.
Result<std::string> user_binding(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                 std::string_view challenge, std::uint64_t exp);

// A user-sig deed: the app key signs SHA-256 of the user binding over the
// canonicalised origin; the deed carries r || s, the compressed public key
// and the user pseudonym.
Result<sovereign::Deed> mint_user_deed(const wallet::SecretKey& key, std::uint64_t tenant, std::string_view aud,
                                       std::string_view origin, std::string_view challenge, std::uint64_t exp);
// The same for a secret key given as plain hex: the key is decoded (kind
// Crypto on a fault) and checked before the origin; every copy is wiped.
Result<sovereign::Deed> mint_user_deed(std::string_view secret_key_hex, std::uint64_t tenant_id, std::string_view aud,
                                       std::string_view origin, std::string_view challenge, std::uint64_t exp);

}  // namespace quorent::usersig
