// The boundary as a binding sees it: buffer functions, the status protocol
// (every call made through host.hpp also checks that success leaves the
// status untouched), and every operation's exported function, checksum and
// description blob, looked up in the loaded library.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>

#include "dynsym_size.hpp"
#endif

#include <climits>
#include <cstdlib>

#include "host.hpp"
#include "quorent_operations.hpp"

using namespace host;

namespace {

RustBuffer alloc(uint64_t size, Outcome* out = nullptr) {
    auto [b, o] = call_int<RustBuffer>(ffi_quorent_sdk_uniffi_rustbuffer_alloc, size);
    if (out) *out = o;
    return b;
}

RustBuffer reserve(RustBuffer b, uint64_t additional, Outcome* out = nullptr) {
    auto [r, o] = call_int<RustBuffer>(ffi_quorent_sdk_uniffi_rustbuffer_reserve, b, additional);
    if (out) *out = o;
    return r;
}

RustBuffer from_bytes(ForeignBytes bytes, Outcome* out = nullptr) {
    auto [r, o] = call_int<RustBuffer>(ffi_quorent_sdk_uniffi_rustbuffer_from_bytes, bytes);
    if (out) *out = o;
    return r;
}

Outcome free_buffer(RustBuffer b) {
    RustCallStatus st = fresh_status();
    ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
    Outcome o;
    read_status(st, o);
    return o;
}

}  // namespace

TEST(Buffers, AllocAndFromBytesGiveExactCapacity) {
    RustBuffer five = alloc(5);
    EXPECT_EQ(std::make_pair(five.capacity, five.len), std::make_pair(uint64_t{5}, uint64_t{5}));
    EXPECT_EQ(take(five), std::string(5, '\0'));
    const uint8_t bytes[] = {1, 2, 3};
    Outcome o;
    RustBuffer b = from_bytes(ForeignBytes{3, bytes}, &o);
    EXPECT_EQ(b.capacity, 3u);
    EXPECT_EQ(take(b), std::string("\x01\x02\x03"));
    for (RustBuffer empty : {alloc(0), from_bytes(ForeignBytes{0, nullptr})}) {
        EXPECT_EQ(empty.data, nullptr);
        EXPECT_TRUE(free_buffer(empty).ok());
    }
}

// Every buffer function refuses what breaks the buffer invariants with code 2
// and consumes the buffers it was given even then (a leak checker shows it).
TEST(Buffers, InvariantViolationsAreInternalFailures) {
    const uint8_t bytes[] = {1, 2, 3};
    uint8_t stack[3] = {};
    Outcome o;
    auto refused = [&](RustBuffer r, const char* message) {
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(o.code, 2);
        EXPECT_EQ(o.message.rfind(message, 0), 0u) << o.message;
    };
    refused(alloc(uint64_t{1} << 63, &o), "capacity overflow");
    refused(from_bytes(ForeignBytes{3, nullptr}, &o), "null ForeignBytes had non-zero length");
    refused(from_bytes(ForeignBytes{-1, bytes}, &o), "bytes length negative or overflowed");
    refused(reserve(buf("x"), UINT64_MAX, &o), "capacity overflow");
    refused(reserve(RustBuffer{1, 2, stack}, 1, &o), "RustBuffer length exceeds capacity");
    const std::pair<RustBuffer, const char*> bad_frees[] = {
        {RustBuffer{4, 0, nullptr}, "null RustBuffer had non-zero capacity"},
        {RustBuffer{0, 2, nullptr}, "null RustBuffer had non-zero length"},
        {RustBuffer{2, 3, stack}, "RustBuffer length exceeds capacity"},
    };
    for (const auto& [b, message] : bad_frees) {
        o = free_buffer(b);
        refused(RustBuffer{}, message);
    }
    // Capacity 0 owns nothing: a placeholder pointer is never released.
    EXPECT_TRUE(free_buffer(RustBuffer{0, 0, stack}).ok());
}

TEST(Buffers, ReserveGrowsByTheRule) {
    RustBuffer r = reserve(buf("abc"), 10);
    EXPECT_EQ(std::make_pair(r.capacity, r.len), std::make_pair(uint64_t{13}, uint64_t{3}));
    EXPECT_EQ(take(r), "abc");
    r = reserve(buf("abc"), 1);  // at least 8
    EXPECT_EQ(r.capacity, 8u);
    take(r);
    r = reserve(alloc(100), 1);  // at least doubled
    EXPECT_EQ(std::make_pair(r.capacity, r.len), std::make_pair(uint64_t{200}, uint64_t{100}));
    // Enough spare room: the very same buffer comes back.
    RustBuffer same = reserve(r, 100);
    EXPECT_EQ(same.data, r.data);
    EXPECT_EQ(same.capacity, 200u);
    take(same);
    r = reserve(RustBuffer{0, 0, nullptr}, 0);
    EXPECT_EQ(r.capacity, 0u);
    r = reserve(r, 1);
    EXPECT_EQ(r.capacity, 8u);
    take(r);
}

TEST(Status, DeclaredErrorsCarryTheSerializedSdkError) {
    RustCallStatus st = fresh_status();
    RustBuffer r = uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(buf("https://:80"), &st);
    EXPECT_EQ(r.data, nullptr);
    ASSERT_EQ(st.code, 1);
    EXPECT_EQ(take(st.error_buf), sdk_error_bytes(1, "input: origin: host must not be empty"));
}

TEST(Status, InconsistentArgumentBufferIsAnInternalFailure) {
    Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin, RustBuffer{0, 5, nullptr});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.message, "null RustBuffer had non-zero length");
}

// A fallible operation refuses a text that is not UTF-8 before any check of
// its own (the arguments before it here would fail those checks), naming the
// first such argument; an operation that cannot fail still takes the bytes.
TEST(Status, TextsThatAreNotUtf8AreRefusedFirst) {
    const std::string bad = "\xC3(", hex32(64, 'a');
    struct Case {
        Outcome outcome;
        const char* arg;
    };
    const Case cases[] = {
        {call(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin, buf("https://a\xFF"
                                                                      "b")),
         "origin"},
        {call(uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed, buf("zz"), uint64_t{1}, buf(bad), buf("https://a/b"),
              buf(bad), uint64_t{2}),
         "aud"},
        {call(uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed, buf(""), buf(""), buf(""), buf(""), uint64_t{1},
              buf(""), buf("bad origin"), buf("\xF0\x9F\x98"), uint64_t{2}),
         "challenge"},
        {call(uniffi_quorent_sdk_uniffi_fn_func_verify_token_at, buf("x.y.z"), buf("{}"), buf("iss"), buf("\x80"),
              uint64_t{0}),
         "expected_aud"},
        {call(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding, uint64_t{1}, buf(bad), buf("http://x"),
              uint64_t{0}, uint64_t{0}, int8_t{0}),
         "aud"},
    };
    for (const Case& c : cases) EXPECT_SDK_ERROR(c.outcome, 1, std::string("input: ") + c.arg + " is not valid UTF-8");

    // A failed conversion comes first.
    Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding, uint64_t{1}, buf(bad), buf("x"),
                     uint64_t{0}, uint64_t{0}, int8_t{2});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.message, "Failed to convert arg 'allow_insecure_origin':\nunexpected byte for Boolean");

    EXPECT_EQ(call(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge, buf(bad)).code, 0);
    EXPECT_EQ(call(uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root, buf(bad)).value, sha256_hex(bad));
    EXPECT_EQ(
        call(uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion, buf(bad), uint64_t{1}, buf(bad), uint64_t{2})
            .code,
        0);
}

// The optional text of delegate is a nested String: bytes that are not UTF-8
// fail its conversion (code 2) with the reader's description, before any
// check of the operation (a direct text argument that is not UTF-8 included).
TEST(Status, NestedTextThatIsNotUtf8FailsConversion) {
    const std::string hex32(64, 'a');
    const std::pair<std::string, const char*> cases[] = {
        {"\x80", "invalid utf-8 sequence of 1 bytes from index 0"},          // a lone continuation byte
        {"0\xE2\x82", "incomplete utf-8 byte sequence from index 1"},        // a truncated sequence
        {"\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // an encoded surrogate
        {"02ab\xC3\xA9\xF0\x9F\x98\x80\xC3(",
         "invalid utf-8 sequence of 1 bytes from index 10"},  // after valid text
    };
    for (const auto& [text, description] : cases) {
        const Outcome o = call(uniffi_quorent_sdk_uniffi_fn_func_delegate, uint64_t{1}, buf("i\xFF"), buf("t"),
                               buf("not json"), uint64_t{2}, buf(hex32), uint64_t{3}, buf(hex32), buf(opt(text)),
                               buf("zz"));
        EXPECT_EQ(o.code, 2) << description;
        EXPECT_EQ(o.message, std::string("Failed to convert arg 'pubkey_hex':\n") + description);
    }
}

namespace {

#ifdef _WIN32
// An exported name of the loaded DLL, as GetProcAddress finds it.
void* exported(const std::string& symbol) {
    HMODULE dll = GetModuleHandleA("quorent_sdk_uniffi.dll");
    return dll == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(dll, symbol.c_str()));
}

// A PE export table records addresses, not sizes: the first n bytes of an
// exported description blob.
std::string blob_of(const std::string& symbol, std::size_t n) {
    const void* p = exported(symbol);
    if (p == nullptr) {
        ADD_FAILURE() << symbol << " not found";
        return {};
    }
    return std::string(static_cast<const char*>(p), n);
}
#else
void* exported(const std::string& symbol) { return dlsym(RTLD_DEFAULT, symbol.c_str()); }

// An exported description blob, as a binding generator finds it: its bytes
// (the symbol's size from the dynamic symbol table), at most the first n.
std::string blob_of(const std::string& symbol, std::size_t n) {
    void* p = dlsym(RTLD_DEFAULT, symbol.c_str());
#ifdef __GLIBC__
    Dl_info info;
    void* entry = nullptr;
    if (p == nullptr || dladdr1(p, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) {
        ADD_FAILURE() << symbol << " not found";
        return {};
    }
    const std::size_t size = static_cast<const ElfW(Sym)*>(entry)->st_size;
#else
    const auto found = dynsym::size_of(p);
    if (!found) {
        ADD_FAILURE() << symbol << " not found";
        return {};
    }
    const std::size_t size = *found;
#endif
    return std::string(static_cast<const char*>(p), size < n ? size : n);
}
#endif

}  // namespace

#if !defined(_WIN32) && defined(__GLIBC__)
// The lookup musl builds use (the file's dynamic symbol table) finds what
// glibc's dladdr1 finds, and nothing for an address that is no symbol.
TEST(Blobs, FileSymbolTableAgreesWithTheLoader) {
    for (const char* name : {"UNIFFI_META_NAMESPACE_QUORENT_SDK_UNIFFI", "ffi_quorent_sdk_uniffi_rustbuffer_alloc"}) {
        void* p = dlsym(RTLD_DEFAULT, name);
        ASSERT_NE(p, nullptr) << name;
        Dl_info info;
        void* entry = nullptr;
        ASSERT_NE(dladdr1(p, &info, &entry, RTLD_DL_SYMENT), 0) << name;
        EXPECT_EQ(dynsym::size_of(p), std::optional<std::size_t>(static_cast<const ElfW(Sym)*>(entry)->st_size)) << name;
    }
    EXPECT_EQ(dynsym::size_of(static_cast<const char*>(dlsym(RTLD_DEFAULT, "UNIFFI_META_NAMESPACE_QUORENT_SDK_UNIFFI")) + 1),
              std::nullopt);
    EXPECT_EQ(dynsym::size_of(nullptr), std::nullopt);
}
#endif

// Every operation of the interface table can be found the way a binding
// looks for it: its function, its checksum function, and a description blob
// that names it in the namespace. (The blobs' content and checksums are
// checked against each other by the binding generator's tests.)
TEST(Blobs, EveryOperationIsExportedWithItsBlobAndChecksum) {
    for (const auto& f : quorent_host::ops::iface::kFunctions) {
        const std::string op(f.name);
        EXPECT_NE(exported("uniffi_quorent_sdk_uniffi_checksum_func_" + op), nullptr) << op;
        EXPECT_NE(exported("uniffi_quorent_sdk_uniffi_fn_func_" + op), nullptr) << op;
        EXPECT_EQ(blob_of("UNIFFI_META_QUORENT_SDK_UNIFFI_FUNC_" + upper(op), 21 + op.size()),
                  std::string("\x00\x12quorent_sdk_uniffi", 20) + static_cast<char>(op.size()) + op)
            << op;
    }
    const std::string namespace_blob = std::string("\x06\x12quorent_sdk_uniffi\x12quorent_sdk_uniffi", 39);
    EXPECT_EQ(blob_of("UNIFFI_META_NAMESPACE_QUORENT_SDK_UNIFFI", namespace_blob.size()), namespace_blob);
}
