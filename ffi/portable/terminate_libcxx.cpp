// Used by the builds that link Zig's libc++abi statically (musl, macOS). Its
// default terminate handler names the uncaught exception's type, demangled,
// before it aborts, and so links the C++ demangler (about 110 KB). The handler
// variables are defined here, so that libc++abi's file of defaults (the
// demangling handler among them) is never taken from its archive. No exception
// leaves an exported function of this library, so the handler is never reached
// by design; this one ends the same way, without the message.
#include <cstdlib>

namespace {
[[noreturn]] void quiet_terminate() noexcept { std::abort(); }
}  // namespace

extern "C" {
[[gnu::visibility("hidden")]] void (*__cxa_terminate_handler)() = quiet_terminate;
[[gnu::visibility("hidden")]] void (*__cxa_unexpected_handler)() = quiet_terminate;
[[gnu::visibility("hidden")]] void (*__cxa_new_handler)() = nullptr;
}
