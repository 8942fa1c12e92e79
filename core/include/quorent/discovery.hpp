// Origins: the one canonical text of a web origin, and the fail-closed policy.
#pragma once

#include <string>
#include <string_view>

#include "quorent/error.hpp"

namespace quorent::discovery {

// Canonical "<scheme>://<host>[:<port>]" of an origin, or kind Input with the
// rule that refused it.
Result<std::string> normalize_origin(std::string_view origin);

// Refuses malformed origins always; with allow_insecure_origin false also
// plain http and hosts that only resolve locally (kind InsecureOrigin).
Status check_origin_policy(std::string_view origin, bool allow_insecure_origin);

}  // namespace quorent::discovery
