#include "buffer.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#include "frame.hpp"

namespace quorent::ffi {

namespace {

constexpr std::uint64_t kMaxCapacity = std::uint64_t{1} << 63;

// A capacity that can be asked of the allocator: below kMaxCapacity, and a
// size_t without loss (on a 32-bit platform, WebAssembly, a larger one would
// be truncated into a smaller allocation than the buffer claims).
bool allocatable(std::uint64_t size) noexcept {
    return size < kMaxCapacity && static_cast<std::uint64_t>(static_cast<std::size_t>(size)) == size;
}

// Reports an internal failure; the call returns no buffer.
RustBuffer failed(RustCallStatus* status, std::string_view message) noexcept {
    fail_internal(status, message);
    return kEmptyBuffer;
}

}  // namespace

std::uint8_t* allocate_storage(std::size_t size) noexcept {
    auto* p = static_cast<std::uint8_t*>(std::malloc(size));
    if (p == nullptr) out_of_memory(size);
    return p;
}

RustBuffer make_buffer(const void* data, std::size_t len) noexcept {
    if (len == 0) return kEmptyBuffer;
    std::uint8_t* p = allocate_storage(len);
    std::memcpy(p, data, len);
    return RustBuffer{len, len, p};
}

std::optional<std::string_view> buffer_violation(const RustBuffer& buf) noexcept {
    if (buf.data == nullptr) {
        if (buf.capacity != 0) return std::string_view("null RustBuffer had non-zero capacity");
        if (buf.len != 0) return std::string_view("null RustBuffer had non-zero length");
        return std::nullopt;
    }
    if (buf.len > buf.capacity) return std::string_view("RustBuffer length exceeds capacity");
    return std::nullopt;
}

void release_buffer(const RustBuffer& buf) noexcept {
    // A capacity of 0 owns nothing; its data pointer may be a placeholder.
    if (buf.data == nullptr || buf.capacity == 0) return;
    // Buffers carry secret keys, seeds and signatures in both directions:
    // nothing leaves them readable in freed memory (the wipe is a call the
    // compiler may not remove).
    secure_wipe(buf.data, buf.capacity);
    std::free(buf.data);
}

}  // namespace quorent::ffi

using namespace quorent::ffi;

extern "C" {

QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_alloc(uint64_t size, RustCallStatus* status) {
    return call<RustBuffer>(status, [&]() -> RustBuffer {
        if (!allocatable(size)) return failed(status, "capacity overflow");
        if (size == 0) return kEmptyBuffer;
        auto* p = static_cast<std::uint8_t*>(std::calloc(size, 1));
        if (p == nullptr) out_of_memory(size);
        return RustBuffer{size, size, p};
    });
}

QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(ForeignBytes bytes, RustCallStatus* status) {
    return call<RustBuffer>(status, [&]() -> RustBuffer {
        if (bytes.data == nullptr) {
            if (bytes.len != 0) return failed(status, "null ForeignBytes had non-zero length");
            return kEmptyBuffer;
        }
        if (bytes.len < 0) return failed(status, "bytes length negative or overflowed: " + std::to_string(bytes.len));
        return make_buffer(bytes.data, static_cast<std::size_t>(bytes.len));
    });
}

QUORENT_API void ffi_quorent_sdk_uniffi_rustbuffer_free(RustBuffer buf, RustCallStatus* status) {
    call<void>(status, [&] {
        if (auto v = buffer_violation(buf)) return fail_internal(status, *v);
        release_buffer(buf);
    });
}

QUORENT_API RustBuffer ffi_quorent_sdk_uniffi_rustbuffer_reserve(RustBuffer buf, uint64_t additional,
                                                                 RustCallStatus* status) {
    return call<RustBuffer>(status, [&]() -> RustBuffer {
        if (auto v = buffer_violation(buf)) return failed(status, *v);
        if (buf.capacity - buf.len >= additional) return buf;
        const std::uint64_t required = buf.len + additional;
        if (required < buf.len || !allocatable(required)) {
            // The buffer was consumed by the call: it goes, like any argument.
            release_buffer(buf);
            return failed(status, "capacity overflow");
        }
        std::uint64_t capacity = required;
        if (buf.capacity <= (kMaxCapacity - 1) / 2 && buf.capacity * 2 > capacity && allocatable(buf.capacity * 2))
            capacity = buf.capacity * 2;
        if (capacity < 8) capacity = 8;
        // A new block rather than realloc: the old one may hold a secret and is
        // wiped before it is released (storage with capacity 0 is not ours).
        auto* p = static_cast<std::uint8_t*>(std::malloc(capacity));
        if (p == nullptr) out_of_memory(capacity);
        if (buf.len != 0) std::memcpy(p, buf.data, buf.len);
        release_buffer(buf);
        return RustBuffer{capacity, buf.len, p};
    });
}

}  // extern "C"
