// The system's random bytes on macOS (built in place of ../os_random.cpp):
// getentropy, which macOS declares in <sys/random.h> rather than <unistd.h>.
// Like everywhere, at most 256 bytes a call (os_random.hpp).
#include "../os_random.hpp"

#include <sys/random.h>

namespace quorent {

const char* const os_random_source = "getentropy";

bool os_random(void* buf, std::size_t len) noexcept { return getentropy(buf, len) == 0; }

}  // namespace quorent
