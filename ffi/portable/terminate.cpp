// Used only by the portable build, which links libstdc++ statically. Its
// default terminate handler names the uncaught exception's type, demangled,
// before it aborts, and so links the C++ demangler (about 50 KB). No exception
// leaves an exported function of this library, so the handler is never
// reached by design; this one ends the same way, without the message.
#include <cstdlib>

namespace __gnu_cxx {
[[gnu::visibility("hidden")]] void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
