#include "quorent/wallet.hpp"

#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <cstring>

#include "quorent/fault.hpp"

#include "ct.hpp"
#include "keccak/keccak.hpp"
#include "os_random.hpp"

namespace quorent::wallet {

namespace {

void ignore_callback(const char*, void*) {}

secp256k1_context* make_context() {
    secp256k1_context* ctx = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
    // A misuse of the library's interface must come back as a failed call,
    // never as an abort.
    secp256k1_context_set_illegal_callback(ctx, ignore_callback, nullptr);
    // Blinding against side channels, seeded once for the process. If the
    // random source is unavailable the context stays unblinded, which only
    // affects that hardening, never a result.
    unsigned char seed[32];
    if (os_random(seed, sizeof seed) && !secp256k1_context_randomize(ctx, seed)) {
        // Randomisation cannot fail for a fresh context; nothing to undo.
    }
    secure_wipe(seed, sizeof seed);
    return ctx;
}

// One context for the process, created on first use. Every call below only
// reads it, which libsecp256k1 allows from any number of threads. It is never
// destroyed, so a thread still running at exit cannot see it freed.
const secp256k1_context* context() {
    static secp256k1_context* const ctx = make_context();
    return ctx;
}

CoreError signature_error() { return CoreError{ErrorKind::Crypto, "signature error"}; }

// Runs one libsecp256k1 call on a secret key. libsecp256k1 proves its key
// check, public-key computation and signing constant-time itself, the way
// the constant-time check does (its own test runs them under memcheck with
// the key undefined), so the key is declared public for that call alone;
// what the call returns (validity, public key, signature) is public.
template <class Call>
auto with_secret_key(const std::array<std::uint8_t, 32>& key, Call call) {
    const ct::ProvedCall proved(key.data(), key.size());
    return call(key.data());
}

constexpr char kEip191Prefix[] =
    "\x19"
    "Ethereum Signed Message:\n";

}  // namespace

struct PublicKeyAccess {
    static secp256k1_pubkey get(const PublicKey& key) {
        secp256k1_pubkey pk;
        static_assert(sizeof pk.data == sizeof key.raw_);
        std::memcpy(pk.data, key.raw_.data(), sizeof pk.data);
        return pk;
    }
    static PublicKey make(const secp256k1_pubkey& pk) {
        PublicKey key;
        std::memcpy(key.raw_.data(), pk.data, sizeof pk.data);
        return key;
    }
    // The SEC1 encoding of N bytes (33 compressed, 65 uncompressed).
    template <std::size_t N>
    static std::array<std::uint8_t, N> serialize(const PublicKey& key, unsigned int flags) {
        std::array<std::uint8_t, N> out;
        std::size_t len = out.size();
        const secp256k1_pubkey pk = get(key);
        secp256k1_ec_pubkey_serialize(context(), out.data(), &len, &pk, flags);
        return out;
    }
};

// ---- Keccak-256 and EIP-191 -------------------------------------------------

Hash32 keccak256(const void* data, std::size_t len) {
    Hash32 out;
    keccak::hash256({{data, len}}, out.data());
    return out;
}

Prehash eip191_hash(const void* message, std::size_t len) {
    const DecimalDigits digits(len);
    Prehash out;
    keccak::hash256({{kEip191Prefix, sizeof kEip191Prefix - 1}, {digits.buf, digits.len}, {message, len}}, out.data());
    return out;
}

// ---- keys ---------------------------------------------------------------------

Result<SecretKey> SecretKey::from_bytes(const std::uint8_t* data, std::size_t len) {
    if (len < 24 || len > 32) return signature_error();
    SecretKey key;
    std::memcpy(key.bytes_.bytes().data() + (32 - len), data, len);
    const auto valid = [](const unsigned char* k) { return secp256k1_ec_seckey_verify(context(), k); };
    if (!with_secret_key(key.bytes_.bytes(), valid)) return signature_error();
    return key;
}

PublicKey PublicKey::from_secret(const SecretKey& key) {
    secp256k1_pubkey pk{};
    const auto create = [&](const unsigned char* k) { return secp256k1_ec_pubkey_create(context(), &pk, k); };
    // A failure no checked key causes: recorded (quorent/fault.hpp), the key all zeros.
    if (!with_secret_key(key.bytes(), create)) {
        record_fault("public key of a checked secret key could not be computed");
        return PublicKey{};
    }
    return PublicKeyAccess::make(pk);
}

Result<PublicKey> PublicKey::parse(const std::uint8_t* data, std::size_t len) {
    // libsecp256k1 also accepts the hybrid encodings 06/07; only the
    // compressed and uncompressed forms are public-key encodings here.
    const bool compressed = len == 33 && (data[0] == 0x02 || data[0] == 0x03);
    const bool uncompressed = len == 65 && data[0] == 0x04;
    if (!compressed && !uncompressed) return signature_error();
    secp256k1_pubkey pk;
    if (!secp256k1_ec_pubkey_parse(context(), &pk, data, len)) return signature_error();
    return PublicKeyAccess::make(pk);
}

std::array<std::uint8_t, 33> PublicKey::compressed() const {
    return PublicKeyAccess::serialize<33>(*this, SECP256K1_EC_COMPRESSED);
}

std::array<std::uint8_t, 65> PublicKey::uncompressed() const {
    return PublicKeyAccess::serialize<65>(*this, SECP256K1_EC_UNCOMPRESSED);
}

bool PublicKey::operator==(const PublicKey& other) const {
    const secp256k1_pubkey a = PublicKeyAccess::get(*this);
    const secp256k1_pubkey b = PublicKeyAccess::get(other);
    return secp256k1_ec_pubkey_cmp(context(), &a, &b) == 0;
}

// ---- signing ------------------------------------------------------------------

RecoverableSignature sign_recoverable(const SecretKey& key, const Prehash& prehash) {
    // Default nonce function (RFC 6979 with HMAC-SHA-256) and no extra data:
    // deterministic. libsecp256k1 returns s <= n/2 and flips the recovery
    // id's parity bit when it negates s.
    secp256k1_ecdsa_recoverable_signature sig;
    if (!with_secret_key(key.bytes(), [&](const unsigned char* k) {
            return secp256k1_ecdsa_sign_recoverable(context(), &sig, prehash.data(), k, nullptr, nullptr);
        })) {
        // A failure no checked key causes: recorded (quorent/fault.hpp), the signature all zeros.
        record_fault("signing with a checked secret key failed");
        return RecoverableSignature{};
    }
    unsigned char compact[64];
    RecoverableSignature out;
    secp256k1_ecdsa_recoverable_signature_serialize_compact(context(), compact, &out.recovery_id, &sig);
    std::memcpy(out.r.data(), compact, 32);
    std::memcpy(out.s.data(), compact + 32, 32);
    return out;
}

std::array<std::uint8_t, 65> eip191_sign(const SecretKey& key, std::string_view message) {
    const RecoverableSignature sig = sign_recoverable(key, eip191_hash(message));
    std::array<std::uint8_t, 65> out;
    std::memcpy(out.data(), sig.r.data(), 32);
    std::memcpy(out.data() + 32, sig.s.data(), 32);
    out[64] = static_cast<std::uint8_t>(27 + sig.recovery_id);
    return out;
}

// ---- addresses and recovery ---------------------------------------------------

Address address_of(const PublicKey& key) {
    const auto point = key.uncompressed();
    const Hash32 digest = keccak256(point.data() + 1, 64);
    Address out;
    std::memcpy(out.bytes.data(), digest.data() + 12, 20);
    return out;
}

Result<Address> recover_signer(std::string_view message, const std::uint8_t* sig, std::size_t sig_len) {
    if (sig_len != 65) return CoreError{ErrorKind::Input, "signature must be 65 bytes"};
    // r and s must each lie in 1 .. n-1, exactly the range of a secret key.
    if (!secp256k1_ec_seckey_verify(context(), sig) || !secp256k1_ec_seckey_verify(context(), sig + 32))
        return signature_error();
    const std::uint8_t v = sig[64];
    int recid;
    if (v == 0 || v == 1) {
        recid = v;
    } else if (v == 27 || v == 28) {
        recid = v - 27;
    } else {
        return CoreError{ErrorKind::Input, "recovery id must be 0, 1, 27, or 28"};
    }
    const Prehash h = eip191_hash(message);

    secp256k1_ecdsa_recoverable_signature rsig;
    if (!secp256k1_ecdsa_recoverable_signature_parse_compact(context(), &rsig, sig, recid)) return signature_error();
    secp256k1_pubkey pk;
    if (!secp256k1_ecdsa_recover(context(), &pk, &rsig, h.data())) return signature_error();
    // A recovered key always verifies the signature it came from, except that
    // verification refuses a high s; test that directly instead of verifying.
    secp256k1_ecdsa_signature plain;
    secp256k1_ecdsa_recoverable_signature_convert(context(), &plain, &rsig);
    if (secp256k1_ecdsa_signature_normalize(context(), nullptr, &plain)) return signature_error();
    return address_of(PublicKeyAccess::make(pk));
}

std::string format_address(const Address& address) {
    std::string out = "0x";
    out += hex_encode_var(address.bytes.data(), address.bytes.size());
    return out;
}

}  // namespace quorent::wallet
