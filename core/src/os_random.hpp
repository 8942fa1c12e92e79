#pragma once

#include <cstddef>

namespace quorent {

// Fills buf with len bytes from the operating system's random source
// (getentropy; BCryptGenRandom with the system's preferred generator on
// Windows). len is at most 256. Returns false if the source failed, with
// errno saying why (EIO on Windows).
bool os_random(void* buf, std::size_t len) noexcept;

// The source's name, for error messages.
extern const char* const os_random_source;

}  // namespace quorent
