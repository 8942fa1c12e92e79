// The mutex of the asynchronous-call handles (future.hpp). A C++ runtime
// without threads (LLVM's libc++ for WebAssembly, where a module instance
// runs on one thread) has no std::mutex, and nothing to exclude.
#pragma once

#include <mutex>  // std::lock_guard, and the C++ runtime's configuration

#if defined(_LIBCPP_HAS_NO_THREADS)
namespace quorent::ffi {
struct Mutex {
    void lock() noexcept {}
    void unlock() noexcept {}
};
}  // namespace quorent::ffi
#else
namespace quorent::ffi {
using Mutex = std::mutex;
}  // namespace quorent::ffi
#endif
