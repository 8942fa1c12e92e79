/* Time per call of normalize_origin and mint_user_deed through the C ABI
 * itself, as a host written in C pays it: argument buffers built with
 * rustbuffer_from_bytes, the call, the result buffer freed. The baseline
 * that the bindings' benchmarks subtract. Prints one JSON object:
 * {"normalize_origin": µs, "mint_user_deed": µs}: CPU time per call, best of
 * ROUNDS rounds (CPU time, so that other work on a shared machine weighs less).
 *
 *   cc -O2 -I ffi/include -I build/include abi_time.c -L build -lquorent_sdk_uniffi -o abi_time
 */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "quorent_sdk_uniffi.h"

#define ROUNDS 5

static RustBuffer arg(const char* s) {
    RustCallStatus st = {0};
    return ffi_quorent_sdk_uniffi_rustbuffer_from_bytes((ForeignBytes){(int32_t)strlen(s), (const uint8_t*)s}, &st);
}

static void drop(RustBuffer b) {
    RustCallStatus st = {0};
    ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
}

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static const char* kKey = "d1f1e27216d52ba4d0e041d5b813917833be63f827e4e7d0b6f0f3f8fd56c2f0";

static int normalize(void) {
    RustCallStatus st = {0};
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(arg("https://Shop.Example:443/"), &st);
    if (st.code != 0) return 1;
    drop(r);
    return 0;
}

static int mint(void) {
    RustCallStatus st = {0};
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(
        arg(kKey), 7, arg("shop-api"), arg("https://shop.example"), arg("rp-challenge-8f14e45f"), 1700000300, &st);
    if (st.code != 0) return 1;
    drop(r);
    return 0;
}

static double best(int (*fn)(void), int n) {
    double best_us = 1e30;
    for (int round = 0; round < ROUNDS; ++round) {
        const double t0 = now_us();
        for (int i = 0; i < n; ++i)
            if (fn()) return -1;
        const double per = (now_us() - t0) / n;
        if (per < best_us) best_us = per;
    }
    return best_us;
}

int main(void) {
    const double norm = best(normalize, 200000), deed = best(mint, 4000);
    if (norm < 0 || deed < 0) {
        fprintf(stderr, "a call failed\n");
        return 1;
    }
    printf("{\"normalize_origin\": %.3f, \"mint_user_deed\": %.3f}\n", norm, deed);
    return 0;
}
