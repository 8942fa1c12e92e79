// Buffers that held secrets are wiped before their memory is released: the
// result of derive_app_key and derive_root_seed, every argument buffer a call
// consumes, any buffer the host frees, and the old block of a buffer that
// rustbuffer_reserve moves; and no block the library releases during a call
// still holds the secret text of its result (an app key's secret key, a PKCE
// verifier). The test stands between the library and the C library's free()
// and looks at each watched block as it is released.
//
// A plain program rather than a gtest suite: it replaces free(), which
// sanitizer runs own, so there it reports itself skipped.
#ifdef _WIN32
// The DLL calls the C runtime's free() through its own import table, which a
// program cannot replace by defining free(): there is nothing to stand in.
#include <cstdio>

int main() {
    std::puts("skipped: a Windows program cannot replace the free() a DLL imports");
    return 77;
}
#else
#include <dlfcn.h>
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "quorent_sdk_uniffi.h"

namespace {

using FreeFn = void (*)(void*);
FreeFn real_free = nullptr;

// The block being watched, and what was seen when it was released.
const void* watched = nullptr;
std::size_t watched_len = 0;
enum class Seen { Nothing, Wiped, Readable } seen = Seen::Nothing;

[[maybe_unused]] void watch(const void* p, std::size_t len) {
    watched = p;
    watched_len = len;
    seen = Seen::Nothing;
}

// Every block released while recording, as it was: a result's secret is
// known only once the call has returned.
bool recording = false;
unsigned char released[1 << 22];
std::size_t released_len = 0;
bool released_overflow = false;

void record(const void* p) {
    const std::size_t n = malloc_usable_size(const_cast<void*>(p));
    if (n > sizeof released - released_len) {
        released_overflow = true;
        return;
    }
    std::memcpy(released + released_len, p, n);
    released_len += n;
}

// Whether any 16-byte piece of the secret is in a block released while recording.
[[maybe_unused]] bool released_holds(std::string_view secret) {
    const std::string_view all(reinterpret_cast<const char*>(released), released_len);
    for (std::size_t i = 0; i + 16 <= secret.size(); ++i)
        if (all.find(secret.substr(i, 16)) != std::string_view::npos) return true;
    return released_overflow;
}

int failures = 0;
[[maybe_unused]] void expect(bool ok, const char* what) {
    std::printf("%s  %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++failures;
}

[[maybe_unused]] RustBuffer text(const std::string& s) {
    RustCallStatus st{};
    return ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
        ForeignBytes{static_cast<int32_t>(s.size()), reinterpret_cast<const uint8_t*>(s.data())}, &st);
}

[[maybe_unused]] void release(RustBuffer b) {
    RustCallStatus st{};
    ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
}

}  // namespace

// Visible whatever the build's default visibility (clang hides it under
// -fvisibility=hidden, gcc does not): the library's calls must find it.
extern "C" [[gnu::visibility("default")]] void free(void* p) {
    if (p != nullptr && p == watched) {
        const auto* bytes = static_cast<const unsigned char*>(p);
        bool zero = true;
        for (std::size_t i = 0; i < watched_len; ++i) zero = zero && bytes[i] == 0;
        seen = zero ? Seen::Wiped : Seen::Readable;
        watched = nullptr;
    }
    if (recording && p != nullptr) record(p);
    if (real_free != nullptr) real_free(p);  // before set-up: leaked, never reused
}

int main() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    std::puts("skipped: the sanitizer owns free()");
    return 77;
#else
    real_free = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
    if (real_free == nullptr) return 1;
    const std::string seed = std::string(62, '0') + "2a";

    // A buffer the host frees.
    RustBuffer b = text(seed);
    watch(b.data, b.capacity);
    release(b);
    expect(seen == Seen::Wiped, "rustbuffer_free wipes the bytes it releases");

    // An argument buffer consumed by a call, and the secret-bearing result.
    RustCallStatus st{};
    RustBuffer arg = text(seed);
    watch(arg.data, arg.capacity);
    RustBuffer origin = text("https://app.example");
    recording = true;
    RustBuffer key = uniffi_quorent_sdk_uniffi_fn_func_derive_app_key(arg, 7, origin, &st);
    recording = false;
    expect(st.code == 0 && seen == Seen::Wiped, "a consumed argument holding a root seed is wiped");
    // The record: the secret key's i32 length and its 64 hex digits first.
    expect(key.len > 68 && !released_holds(std::string_view(reinterpret_cast<const char*>(key.data) + 4, 64)),
           "no block released in derive_app_key holds the secret key's text");
    watch(key.data, key.capacity);
    release(key);
    expect(seen == Seen::Wiped, "an AppKey result holding a secret key is wiped when freed");

    // A PKCE pair, whose verifier is the secret of the exchange.
    released_len = 0;
    recording = true;
    RustBuffer pair = uniffi_quorent_sdk_uniffi_fn_func_generate_pkce(&st);
    recording = false;
    expect(st.code == 0 && pair.len > 47 &&
               !released_holds(std::string_view(reinterpret_cast<const char*>(pair.data) + 4, 43)),
           "no block released in generate_pkce holds the verifier's text");
    release(pair);

    // A buffer that reserve moves to a larger block.
    RustBuffer small = text(seed);
    watch(small.data, small.capacity);
    RustBuffer grown = ffi_quorent_sdk_uniffi_rustbuffer_reserve(small, 1 << 20, &st);
    expect(st.code == 0 && seen == Seen::Wiped, "rustbuffer_reserve wipes the block it leaves");
    expect(grown.len == seed.size() && std::memcmp(grown.data, seed.data(), seed.size()) == 0,
           "rustbuffer_reserve keeps the bytes");
    release(grown);

    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
#endif
}
#endif  // _WIN32
