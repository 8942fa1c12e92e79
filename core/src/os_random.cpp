#include "os_random.hpp"

#include <cerrno>

#ifdef _WIN32
#include "quorent/win_types.hpp"
// The Windows types first: bcrypt.h needs them.
#include <bcrypt.h>
#else
#include <unistd.h>
#endif

namespace quorent {

#ifdef _WIN32
const char* const os_random_source = "BCryptGenRandom";

bool os_random(void* buf, std::size_t len) noexcept {
    if (len > 256) {
        errno = EIO;
        return false;
    }
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(buf), static_cast<ULONG>(len),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        errno = EIO;
        return false;
    }
    return true;
}
#else
const char* const os_random_source = "getentropy";

bool os_random(void* buf, std::size_t len) noexcept { return getentropy(buf, len) == 0; }
#endif

}  // namespace quorent
