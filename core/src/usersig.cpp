#include "quorent/usersig.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <stdexcept>

#include "ct.hpp"
#include "quorent/digest.hpp"
#include "quorent/discovery.hpp"

namespace quorent::usersig {

namespace {

constexpr int kAppKeyAttempts = 64;

// ---- texts --------------------------------------------------------------------

constexpr std::string_view kRoot2 =
    " is asking you to sign in.\n\nSigning this message derives your private sign-in key for ";
constexpr std::string_view kRoot4 = ",\nand nothing else. Only sign it if you are on ";
constexpr std::string_view kRoot6 =
    " right now \xE2\x80\x94\nsigning it on any other site lets that site sign in as you here.\n\n"
    "This is not a transaction and cannot move your funds.\n\nOrigin: ";
constexpr std::string_view kRootTag = "\n\nquorent-sovereign-user-root-v2";

constexpr std::string_view kSubTag = "quorent-sovereign-user-sub-v1";

constexpr std::string_view kBindTenant = "quorent-sovereign-user-v1|tenant:";
constexpr std::string_view kBindAud = "|aud:";
constexpr std::string_view kBindOrigin = "|origin:";
constexpr std::string_view kBindChallenge = "|challenge:";
constexpr std::string_view kBindExp = "|exp:";

}  // namespace

// ---- root seed ------------------------------------------------------------------

std::string root_binding_message(std::string_view o) {
    std::string m;
    m.reserve(4 * o.size() + kRoot2.size() + kRoot4.size() + kRoot6.size() + kRootTag.size());
    m.append(o).append(kRoot2).append(o).append(kRoot4).append(o).append(kRoot6).append(o).append(kRootTag);
    return m;
}

Result<std::string> user_root_binding(std::string_view origin) {
    QUORENT_TRY(const std::string canonical, discovery::normalize_origin(origin));
    return root_binding_message(canonical);
}

Result<RootSeed> derive_root_seed(std::string_view origin, const SigningSource& wallet_sign) {
    QUORENT_TRY(const std::string message, user_root_binding(origin));
    // The signature is the secret the seed is made from: both copies are
    // wiped whatever the outcome.
    SecretBytes first, second;
    { QUORENT_TRY(first.get(), wallet_sign(message)); }
    { QUORENT_TRY(second.get(), wallet_sign(message)); }
    const Bytes& a = first.get();
    const Bytes& b = second.get();
    // Compared in constant time; whether they are equal is revealed.
    if (a.size() != b.size() || (!a.empty() && ct::reveal(CRYPTO_memcmp(a.data(), b.data(), a.size()) != 0)))
        return CoreError{ErrorKind::Crypto, "wallet signing is non-deterministic; unsupported"};
    // No signature is no secret: the seed would be SHA-256 of nothing, the
    // same public value for everyone, and so would every key derived from it.
    if (a.empty()) return CoreError{ErrorKind::Crypto, "wallet signature is empty"};
    return RootSeed(sha256(a.data(), a.size()));
}

namespace {

// Plain hex of a secret, decoded into storage that is wiped when it goes,
// even on a decoding failure (kind Crypto).
Status decode_secret_hex(std::string_view text, SecretBytes& out) {
    std::string message;
    if (!hex_decode(text, out.get(), message)) return CoreError{ErrorKind::Crypto, std::move(message)};
    return {};
}

}  // namespace

Result<std::string> derive_root_seed(std::string_view origin, std::string_view signature1_hex,
                                     std::string_view signature2_hex) {
    // The signatures are what the seed is made from: wiped once used.
    SecretBytes sig1, sig2;
    QUORENT_CHECK(decode_secret_hex(signature1_hex, sig1));
    QUORENT_CHECK(decode_secret_hex(signature2_hex, sig2));
    int calls = 0;
    const SigningSource source = [&](std::string_view) -> Result<Bytes> {
        return std::move((calls++ == 0 ? sig1 : sig2).get());
    };
    QUORENT_TRY(const RootSeed seed, derive_root_seed(origin, source));
    return hex_encode(seed.bytes().data(), seed.bytes().size());
}

// ---- app key ---------------------------------------------------------------------

Result<DerivedKey> derive_app_key(const std::array<std::uint8_t, 32>& root_seed, std::uint64_t tenant,
                                  std::string_view origin) {
    QUORENT_TRY(const std::string canonical, discovery::normalize_origin(origin));

    // HKDF-Extract with no salt: the key is HashLen zero bytes.
    SecretArray<32> prk;
    {
        static constexpr std::uint8_t kZeroSalt[32] = {};
        Hmac extract(kZeroSalt, sizeof kZeroSalt);
        extract.update(root_seed.data(), root_seed.size()).finish(prk.bytes());
    }

    const DecimalDigits t(tenant);
    std::string info;
    info.reserve(7 + t.len + kBindOrigin.size() + canonical.size() + 5 + 2 + 1);
    info.append("tenant:").append(t.view()).append(kBindOrigin).append(canonical).append("|ctr:");
    const std::size_t base_len = info.size();

    for (int ctr = 0; ctr < kAppKeyAttempts; ++ctr) {
        info.resize(base_len);
        info.append(DecimalDigits(static_cast<std::uint64_t>(ctr)).view());
        info.push_back('\x01');
        // HKDF-Expand to 32 bytes is a single block: HMAC(PRK, info || 0x01).
        SecretArray<32> okm;
        Hmac expand(prk.bytes().data(), prk.bytes().size());
        expand.update(info.data(), info.size()).finish(okm.bytes());
        // A candidate of 0 or at least n is refused by the key check; the
        // next counter is tried.
        auto key = wallet::SecretKey::from_bytes(okm.bytes().data(), okm.bytes().size());
        if (key.ok()) {
            wallet::PublicKey pub = wallet::PublicKey::from_secret(*key);
            return DerivedKey{std::move(key).value(), pub};
        }
    }
    return CoreError{ErrorKind::Crypto, "could not derive a valid app key"};
}

Result<AppKey> derive_app_key(std::string_view root_seed_hex, std::uint64_t tenant_id, std::string_view origin) {
    SecretBytes decoded;
    QUORENT_CHECK(decode_secret_hex(root_seed_hex, decoded));
    if (decoded.get().size() != 32) return CoreError{ErrorKind::Input, "rootSeedHex must decode to exactly 32 bytes"};
    RootSeed seed;
    std::memcpy(seed.bytes().data(), decoded.get().data(), 32);
    decoded.wipe();
    QUORENT_TRY(const DerivedKey key, derive_app_key(seed.bytes(), tenant_id, origin));
    return app_key_record(key);
}

AppKey app_key_record(const DerivedKey& key) {
    const auto& secret = key.secret.bytes();
    const auto pub = key.pubkey.compressed();
    return AppKey{hex_encode(secret.data(), secret.size()), hex_encode_var(pub.data(), pub.size())};
}

// ---- pseudonym and binding ---------------------------------------------------------

namespace {

std::string sub_of_compressed(const std::array<std::uint8_t, 33>& compressed) {
    std::uint8_t buf[kSubTag.size() + 33];
    std::memcpy(buf, kSubTag.data(), kSubTag.size());
    std::memcpy(buf + kSubTag.size(), compressed.data(), compressed.size());
    const Digest32 digest = sha256(buf, sizeof buf);
    return hex_encode_var(digest.data(), digest.size());
}

}  // namespace

std::string user_sub(const wallet::PublicKey& key) { return sub_of_compressed(key.compressed()); }

Result<std::string> user_sub(std::string_view pubkey_hex) {
    QUORENT_TRY(const Bytes bytes, hex_decode(pubkey_hex, ErrorKind::Crypto));
    QUORENT_TRY(const wallet::PublicKey key, wallet::PublicKey::parse(bytes));
    return user_sub(key);
}

std::string user_binding_message(std::uint64_t tenant, std::string_view aud, std::string_view origin,
                                 std::string_view challenge, std::uint64_t exp) {
    const DecimalDigits t(tenant), e(exp);
    std::string b;
    b.reserve(kBindTenant.size() + t.len + kBindAud.size() + aud.size() + kBindOrigin.size() + origin.size() +
              kBindChallenge.size() + challenge.size() + kBindExp.size() + e.len);
    b.append(kBindTenant).append(t.view());
    b.append(kBindAud).append(aud);
    b.append(kBindOrigin).append(origin);
    b.append(kBindChallenge).append(challenge);
    b.append(kBindExp).append(e.view());
    return b;
}

Result<std::string> user_binding(std::uint64_t tenant_id, std::string_view aud, std::string_view origin,
                                 std::string_view challenge, std::uint64_t exp) {
    QUORENT_TRY(const std::string canonical, discovery::normalize_origin(origin));
    const std::string binding = user_binding_message(tenant_id, aud, canonical, challenge, exp);
    return hex_encode_var(reinterpret_cast<const std::uint8_t*>(binding.data()), binding.size());
}

// ---- user-sig deed ---------------------------------------------------------------

Result<sovereign::Deed> mint_user_deed(const wallet::SecretKey& key, std::uint64_t tenant, std::string_view aud,
                                       std::string_view origin, std::string_view challenge, std::uint64_t exp) {
    QUORENT_TRY(const std::string canonical, discovery::normalize_origin(origin));
    const std::string binding = user_binding_message(tenant, aud, canonical, challenge, exp);
    const wallet::Prehash h = sha256(binding.data(), binding.size());
    const wallet::RecoverableSignature sig = wallet::sign_recoverable(key, h);
    const wallet::PublicKey pub = wallet::PublicKey::from_secret(key);
    const auto compressed = pub.compressed();

    std::uint8_t rs[64];
    std::memcpy(rs, sig.r.data(), 32);
    std::memcpy(rs + 32, sig.s.data(), 32);

    sovereign::Deed deed =
        sovereign::minted_deed("user-sig", tenant, sub_of_compressed(compressed), aud, challenge, exp);
    deed.pubkey = hex_encode_var(compressed.data(), compressed.size());
    deed.signature = hex_encode_var(rs, sizeof rs);
    return deed;
}

Result<sovereign::Deed> mint_user_deed(std::string_view secret_key_hex, std::uint64_t tenant_id, std::string_view aud,
                                       std::string_view origin, std::string_view challenge, std::uint64_t exp) {
    // The key is examined before the origin.
    SecretBytes raw;
    QUORENT_CHECK(decode_secret_hex(secret_key_hex, raw));
    QUORENT_TRY(const wallet::SecretKey key, wallet::SecretKey::from_bytes(raw.get()));
    raw.wipe();
    return mint_user_deed(key, tenant_id, aud, origin, challenge, exp);
}

}  // namespace quorent::usersig
