// Capabilities and delegation: grants with caveats, signed delegation links,
// their canonical JSON, the bytes a delegator signs and the parent-reference
// hashes that chain links together.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quorent/digest.hpp"
#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent/json.hpp"

namespace quorent::sovereign {
struct Deed;
struct DeedRecord;
}  // namespace quorent::sovereign

namespace quorent::capability {

using Bytes32 = std::array<std::uint8_t, 32>;

// Restrictions on a grant; carried, never interpreted here.
struct Caveats {
    std::optional<std::uint64_t> exp;
    std::optional<std::uint64_t> max_uses;
    json::TextObject nb;  // further named caveats: each value's canonical JSON text; empty when none
    bool operator==(const Caveats&) const = default;
};

// One capability: the actions permitted on a resource.
struct Grant {
    std::string res;
    std::vector<std::string> act;
    Caveats cav;
    bool operator==(const Grant&) const = default;
};

// One signed link of a delegation chain.
struct Delegation {
    std::string iss;
    std::string to;
    std::vector<Grant> grants;
    std::uint64_t exp = 0;
    Bytes32 epoch_label{};
    std::uint64_t epoch = 0;
    std::string sig;
    std::optional<std::string> pubkey;
    std::optional<std::string> kind;
    std::optional<std::string> proof;
    std::optional<std::string> root;
    std::optional<std::string> salt;
    bool operator==(const Delegation&) const = default;
};

// ---- JSON ----------------------------------------------------------------------
// Reading is tolerant (white space, key order, unknown keys, the array form
// of each record); a failure is a CoreError of kind Input carrying the
// reader's message. Writing is canonical and cannot fail.

Result<std::vector<Grant>> grants_from_json(std::string_view text);
std::string grants_to_json(const std::vector<Grant>& grants);
Result<Delegation> delegation_from_json(std::string_view text);
std::string delegation_to_json(const Delegation& link);
Result<std::vector<Delegation>> delegations_from_json(std::string_view text);
std::string delegations_to_json(const std::vector<Delegation>& links);

// A text read as above, written canonically (what the reading functions
// followed by the writing ones give, without building the records).
Result<std::string> canonical_grants(std::string_view text);
Result<std::string> canonical_delegations(std::string_view text);

// Appending forms of the writers.
void write_grant(std::string& out, const Grant& grant);
void write_grants(std::string& out, const std::vector<Grant>& grants);
void write_delegation(std::string& out, const Delegation& link);

// ---- chaining --------------------------------------------------------------------

// What a link chains to: the root principal's identity (the `sub` of the
// identity deed) for the first link, the immediately preceding link for a
// later one. The hash is SHA-256 of the root identity's bytes, or of the
// previous link's canonical JSON; no tag, no length prefix.
Bytes32 parent_ref_hash_link(const Delegation& link);
// As lower-case hex; the link's text is read first (kind Input), and its
// canonical form, not the caller's text, is hashed.
Result<std::string> parent_ref_hash_link(std::string_view parent_link_json);
std::string parent_ref_hash_root(std::string_view root_id);

// The bytes a delegator signs for one link: "quorent-deleg-v1", tenant,
// |iss| iss, |to| to, |G| G (G the canonical JSON of the grants), exp, the
// epoch label, epoch, the parent-reference hash; integers 8 bytes big-endian.
Bytes delegation_binding(std::uint64_t tenant, std::string_view iss, std::string_view to,
                         const std::vector<Grant>& grants, std::uint64_t exp, const Bytes32& epoch_label,
                         std::uint64_t epoch, const Bytes32& parent_ref_hash);
// The same from the texts, as lower-case hex. Checks in order: the grants
// (kind Input with the reader's message), the epoch label, the parent hash
// (each plain hex, kind Crypto on a fault, "expected 32 bytes of hex" on
// another length).
Result<std::string> delegation_binding(std::uint64_t tenant_id, std::string_view iss, std::string_view to,
                                       std::string_view grants_json, std::uint64_t exp,
                                       std::string_view epoch_label_hex, std::uint64_t epoch,
                                       std::string_view parent_ref_hash_hex);

// Produces the signature over a binding.
using Signer = std::function<Result<Bytes>(const Bytes& binding)>;

// Builds a signed link: computes the binding, has `signer` sign it, and
// records the signature as lower-case hex. `pubkey` is stored as given.
Result<Delegation> delegate(std::uint64_t tenant, std::string iss, std::string to, std::vector<Grant> grants,
                            std::uint64_t exp, const Bytes32& epoch_label, std::uint64_t epoch,
                            const Bytes32& parent_ref_hash, std::optional<std::string> pubkey, const Signer& signer);
// A link from the texts and a signature the delegator made beforehand; its
// canonical JSON. Checks as delegation_binding, then the signature's hex
// (every leading "0x" removed; kind Crypto on a fault). The signature is
// taken on trust: neither its length nor its validity is examined.
Result<std::string> delegate(std::uint64_t tenant_id, std::string_view iss, std::string_view to,
                             std::string_view grants_json, std::uint64_t exp, std::string_view epoch_label_hex,
                             std::uint64_t epoch, std::string_view parent_ref_hash_hex,
                             std::optional<std::string_view> pubkey_hex, std::string_view signature_hex);

// The base deed with these grants and this chain, canonically (both present
// afterwards, even when empty); every other field unchanged. The base deed's
// own lists must read although they are replaced; then the grants, then the
// chain are read (kind Input with the reader's message).
Result<sovereign::Deed> mint_capability_deed(sovereign::DeedRecord&& base_deed, std::string_view grants_json,
                                             std::string_view delegation_chain_json);

}  // namespace quorent::capability
