#include "quorent/error.hpp"

namespace quorent {

const char* kind_prefix(ErrorKind kind) noexcept {
    switch (kind) {
        case ErrorKind::Jwt: return "jwt: ";
        case ErrorKind::BadKey: return "bad key: ";
        case ErrorKind::Claim: return "claim: ";
        case ErrorKind::Crypto: return "crypto: ";
        case ErrorKind::Input: return "input: ";
        case ErrorKind::InsecureOrigin: return "insecure origin: ";
        case ErrorKind::Plain:
        case ErrorKind::Internal: return "";
    }
    return "";
}

std::string CoreError::display() const { return kind_prefix(kind) + detail; }

}  // namespace quorent
