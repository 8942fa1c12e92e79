/* Used only by the portable build (QUORENT_PORTABLE), which links gcc 12's
 * static libstdc++ into a library meant to run on glibc 2.31. That libstdc++
 * was built against a newer glibc and refers to two symbols glibc 2.31 lacks;
 * defining them here, hidden, keeps the library's glibc floor at 2.31:
 *   __libc_single_threaded (glibc 2.32): libstdc++ skips atomic reference
 *     counting while it is non-zero. 0 says "maybe several threads", which is
 *     always correct (only slightly slower than the exact answer).
 *   arc4random (glibc 2.36): std::random_device's "arc4random" source. Built
 *     on getrandom (glibc 2.25), which blocks only until the kernel's pool is
 *     first seeded.
 * The third, _dl_find_object (glibc 2.35, gcc 12's unwinder), is avoided by
 * linking the older unwinder instead (cmake/toolchains/portable-common.cmake). */
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/random.h>

#define QUORENT_HIDDEN __attribute__((visibility("hidden")))

QUORENT_HIDDEN char __libc_single_threaded = 0;

QUORENT_HIDDEN uint32_t arc4random(void) {
    uint32_t value;
    for (;;) {
        ssize_t n = getrandom(&value, sizeof value, 0);
        if (n == (ssize_t)sizeof value) return value;
        if (n < 0 && errno != EINTR) abort(); /* no randomness: do not go on without it */
    }
}
