/* The C ABI's own time for the calls the Kotlin benchmark makes: argument
 * buffers built with rustbuffer_from_bytes, the call, the result freed.
 * Prints "<operation> <µs>" per line: CPU time per call, best of five rounds. */
#include <stdio.h>
#include <string.h>
#include <time.h>
#include "quorent_sdk_uniffi.h"

static RustBuffer arg(const char* s) {
    RustCallStatus st = {0};
    return ffi_quorent_sdk_uniffi_rustbuffer_from_bytes((ForeignBytes){(int32_t)strlen(s), (const uint8_t*)s}, &st);
}

static void done(RustBuffer out, RustCallStatus* st) {
    if (st->code != 0) { fprintf(stderr, "call failed\n"); return; }
    ffi_quorent_sdk_uniffi_rustbuffer_free(out, st);
}

static void normalize_origin(void) {
    RustCallStatus st = {0};
    done(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(arg("https://Shop.test:443/"), &st), &st);
}

static void mint_user_deed(void) {
    RustCallStatus st = {0};
    done(uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(
             arg("d1f1e27216d52ba4d0e041d5b813917833be63f827e4e7d0b6f0f3f8fd56c2f0"), 7, arg("shop-api"),
             arg("https://shop.example"), arg("rp-challenge-8f14e45f"), 1700000300, &st), &st);
}

static double best(void (*fn)(void), int n) {
    double b = 1e30;
    for (int round = 0; round < 5; round++) {
        struct timespec t0, t1;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
        for (int i = 0; i < n; i++) fn();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
        double us = ((t1.tv_sec - t0.tv_sec) * 1e9 + (t1.tv_nsec - t0.tv_nsec)) / 1e3 / n;
        if (us < b) b = us;
    }
    return b;
}

int main(void) {
    best(normalize_origin, 20000);
    printf("normalize_origin %.3f\n", best(normalize_origin, 20000));
    printf("mint_user_deed %.3f\n", best(mint_user_deed, 2000));
    return 0;
}
