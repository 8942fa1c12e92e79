// The deed: the exported record form (`Deed` across the interface).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorent::sovereign {

// The exported record `Deed`, field for field in wire order. Grants and
// delegations travel as JSON text.
struct DeedRecord {
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
    std::optional<std::string> grants;
    std::optional<std::string> delegations;

    bool operator==(const DeedRecord&) const = default;
};

}  // namespace quorent::sovereign
