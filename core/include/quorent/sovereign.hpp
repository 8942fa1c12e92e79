// The deed: the core form that the minting operations build, and the
// exported record form (`Deed` across the interface).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorent/capability.hpp"
#include "quorent/error.hpp"

namespace quorent::sovereign {

// The fields that the exported record and the core deed share, in wire order.
struct DeedFields {
    std::uint8_t v = 1;
    std::string mode;
    std::uint64_t tenant = 0;
    std::string sub;
    std::string aud;
    std::string challenge;
    std::uint64_t exp = 0;
    std::optional<std::string> root;
    std::optional<std::string> proof;
    std::optional<std::string> pubkey;
    std::optional<std::string> signature;
    std::optional<std::string> credential_pubkey;
    std::optional<std::string> authenticator_data;
    std::optional<std::string> client_data_json;
    std::optional<std::string> assertion_sig;
    std::optional<std::string> signer;

    bool operator==(const DeedFields&) const = default;
};

// The exported record `Deed` (its fields are declared by the interface
// table): the shared fields, then grants and delegations as JSON text.
struct DeedRecord : DeedFields {
    std::optional<std::string> grants;
    std::optional<std::string> delegations;

    bool operator==(const DeedRecord&) const = default;
};

// The core deed: grants and delegations held as their canonical JSON text
// (as capability::grants_to_json and delegations_to_json write them). Both
// are absent on an identity-only deed.
struct Deed : DeedFields {
    std::optional<std::string> grants;
    std::optional<std::string> delegations;

    bool operator==(const Deed&) const = default;
};

// A freshly minted deed of this library: version 1, the mode, the subject
// and the caller's tenant, audience, challenge and expiry; every optional
// field absent.
Deed minted_deed(std::string_view mode, std::uint64_t tenant, std::string sub, std::string_view aud,
                 std::string_view challenge, std::uint64_t exp);

// Core deed to exported record. Cannot fail.
DeedRecord deed_to_record(const Deed& deed);
// The same, moving the texts out of a deed that is no longer needed.
DeedRecord deed_to_record(Deed&& deed);

// Exported record to core deed: the grants text, then the delegations text,
// are read and written canonically (kind Input with the reader's message on
// failure); nothing else is validated.
Result<Deed> record_to_deed(const DeedRecord& record);

}  // namespace quorent::sovereign
