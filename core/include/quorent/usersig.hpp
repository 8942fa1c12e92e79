// User keys and user-sig deeds.
#pragma once

#include <string>

namespace quorent::usersig {

// The per-(tenant, origin) app key: secret scalar and compressed public key, hex.
struct AppKey {
    std::string secret_key_hex;
    std::string pubkey_hex;
    bool operator==(const AppKey&) const = default;
};

}  // namespace quorent::usersig
