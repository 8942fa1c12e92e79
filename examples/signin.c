/*
 * signin.c: one user-sig sign-in through the buffer protocol of
 * libquorent_sdk_uniffi, in plain C.
 *
 *   origin -> root binding -> (wallet signature) -> root seed -> app key -> deed
 *
 * The wallet is not part of the library: a host shows the root binding to
 * the user's wallet and gets back an EIP-191 signature. This example uses a
 * signature made beforehand by the publicly known demo wallet key of the
 * `quorent demo` tool over the root binding of https://shop.example.
 *
 * Build: cc signin.c $(pkg-config --cflags --libs quorent_sdk_uniffi)
 */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quorent_sdk_uniffi.h"

static const char* kOrigin = "https://Shop.Example:443/";
static const uint64_t kTenant = 7;
static const char* kAudience = "shop-api";
static const char* kChallenge = "rp-challenge-8f14e45f";
static const uint64_t kExpiry = 1700000300;
/* DEMO wallet's signature over the root binding of https://shop.example. */
static const char* kWalletSignature =
    "e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af7"
    "53c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b";

static RustCallStatus fresh_status(void) {
    RustCallStatus st;
    memset(&st, 0, sizeof st);
    return st;
}

static void release(RustBuffer buf) {
    RustCallStatus st = fresh_status();
    ffi_quorent_sdk_uniffi_rustbuffer_free(buf, &st);
}

/* A text argument: its UTF-8 bytes copied into a library-made buffer. */
static RustBuffer text(const char* s) {
    RustCallStatus st = fresh_status();
    ForeignBytes bytes = {(int32_t)strlen(s), (const uint8_t*)s};
    RustBuffer buf = ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(bytes, &st);
    if (st.code != 0) {
        fprintf(stderr, "rustbuffer_from_bytes failed\n");
        exit(3);
    }
    return buf;
}

/* Reports a failed call (and frees its error buffer); returns 1 on success. */
static int succeeded(const char* operation, RustCallStatus* st) {
    if (st->code == 0) return 1;
    const uint8_t* p = st->error_buf.data;
    uint64_t n = st->error_buf.len;
    if (st->code == 1 && n >= 8) {
        int32_t variant = (int32_t)((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]);
        uint32_t len = (uint32_t)p[4] << 24 | (uint32_t)p[5] << 16 | (uint32_t)p[6] << 8 | p[7];
        if (len > n - 8) len = (uint32_t)(n - 8);
        fprintf(stderr, "%s failed: SdkError::%s: %.*s\n", operation, variant == 2 ? "InsecureOrigin" : "Sdk", (int)len,
                (const char*)p + 8);
    } else {
        fprintf(stderr, "%s failed (status %d): %.*s\n", operation, st->code, (int)n, (const char*)p);
    }
    release(st->error_buf);
    return 0;
}

/* A text result as a NUL-terminated copy; the buffer is freed. */
static char* take_text(RustBuffer buf) {
    char* s = malloc(buf.len + 1);
    if (s == NULL) exit(3);
    if (buf.len > 0) memcpy(s, buf.data, buf.len);
    s[buf.len] = '\0';
    release(buf);
    return s;
}

/* Reading nested forms from a record result. */
typedef struct {
    const uint8_t* p;
    uint64_t left;
    int ok;
} Cursor;

static const uint8_t* need(Cursor* c, uint64_t n) {
    if (!c->ok || c->left < n) {
        c->ok = 0;
        return NULL;
    }
    const uint8_t* at = c->p;
    c->p += n;
    c->left -= n;
    return at;
}

static uint64_t read_u64(Cursor* c) {
    const uint8_t* b = need(c, 8);
    uint64_t v = 0;
    for (int i = 0; b != NULL && i < 8; ++i) v = v << 8 | b[i];
    return v;
}

static uint8_t read_u8(Cursor* c) {
    const uint8_t* b = need(c, 1);
    return b != NULL ? b[0] : 0;
}

static char* read_string(Cursor* c) {
    const uint8_t* b = need(c, 4);
    uint32_t len = b != NULL ? ((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]) : 0;
    const uint8_t* s = need(c, len);
    char* out = malloc((size_t)len + 1);
    if (out == NULL) exit(3);
    if (s != NULL) memcpy(out, s, len);
    out[s != NULL ? len : 0] = '\0';
    return out;
}

/* An optional text: NULL when absent. */
static char* read_optional(Cursor* c) {
    uint8_t tag = read_u8(c);
    if (tag == 1) return read_string(c);
    if (tag != 0) c->ok = 0;
    return NULL;
}

int main(void) {
    RustCallStatus st;
    int status = 1;
    char *origin = NULL, *message = NULL, *seed = NULL, *secret = NULL, *pubkey = NULL;

    printf("quorent C example: one user-sig sign-in (library contract version %" PRIu32 ")\n\n",
           ffi_quorent_sdk_uniffi_uniffi_contract_version());

    /* 1. The canonical origin, used everywhere after. */
    st = fresh_status();
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(text(kOrigin), &st);
    if (!succeeded("normalize_origin", &st)) goto done;
    origin = take_text(r);
    printf("origin:      %s -> %s\n", kOrigin, origin);

    /* 2. The root binding, which the user's wallet signs (twice). */
    st = fresh_status();
    r = uniffi_quorent_sdk_uniffi_fn_func_user_root_binding(text(origin), &st);
    if (!succeeded("user_root_binding", &st)) goto done;
    message = take_text(r);
    const char* last_line = strrchr(message, '\n');
    printf("root binding (%zu bytes) ends with: ...%s\n", strlen(message), last_line != NULL ? last_line + 1 : message);
    printf("wallet signature (DEMO key, made in advance): %.16s...\n", kWalletSignature);

    /* 3. The root seed from the two (identical) signatures. */
    st = fresh_status();
    r = uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed(text(origin), text(kWalletSignature), text(kWalletSignature),
                                                           &st);
    if (!succeeded("derive_root_seed", &st)) goto done;
    seed = take_text(r);
    printf("root seed:   %s\n", seed);

    /* 4. The app key for (tenant, origin): an AppKey record. */
    st = fresh_status();
    r = uniffi_quorent_sdk_uniffi_fn_func_derive_app_key(text(seed), kTenant, text(origin), &st);
    if (!succeeded("derive_app_key", &st)) goto done;
    {
        Cursor c = {r.data, r.len, 1};
        secret = read_string(&c);
        pubkey = read_string(&c);
        int ok = c.ok && c.left == 0;
        release(r);
        if (!ok) {
            fprintf(stderr, "derive_app_key: malformed AppKey record\n");
            status = 3;
            goto done;
        }
    }
    printf("app key:     pubkey %s\n", pubkey);

    /* 5. The deed, signed by the app key: a Deed record. */
    st = fresh_status();
    r = uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(text(secret), kTenant, text(kAudience), text(origin),
                                                         text(kChallenge), kExpiry, &st);
    memset(secret, 0, strlen(secret)); /* the host's copy of the secret is no longer needed */
    if (!succeeded("mint_user_deed", &st)) goto done;
    {
        static const char* optional_names[] = {"root",
                                               "proof",
                                               "pubkey",
                                               "signature",
                                               "credential_pubkey",
                                               "authenticator_data",
                                               "client_data_json",
                                               "assertion_sig",
                                               "signer",
                                               "grants",
                                               "delegations"};
        Cursor c = {r.data, r.len, 1};
        uint8_t v = read_u8(&c);
        char* mode = read_string(&c);
        uint64_t tenant = read_u64(&c);
        char* sub = read_string(&c);
        char* aud = read_string(&c);
        char* challenge = read_string(&c);
        uint64_t exp = read_u64(&c);
        printf("\ndeed:\n  v: %u\n  mode: %s\n  tenant: %" PRIu64
               "\n  sub: %s\n  aud: %s\n  challenge: %s\n"
               "  exp: %" PRIu64 "\n",
               v, mode, tenant, sub, aud, challenge, exp);
        for (size_t i = 0; i < sizeof optional_names / sizeof optional_names[0]; ++i) {
            char* value = read_optional(&c);
            if (value != NULL) printf("  %s: %s\n", optional_names[i], value);
            free(value);
        }
        status = c.ok && c.left == 0 && strcmp(mode, "user-sig") == 0 ? 0 : 3;
        if (status != 0) fprintf(stderr, "mint_user_deed: malformed Deed record\n");
        free(mode);
        free(sub);
        free(aud);
        free(challenge);
        release(r);
    }

done:
    free(origin);
    free(message);
    free(seed);
    free(secret);
    free(pubkey);
    return status;
}
