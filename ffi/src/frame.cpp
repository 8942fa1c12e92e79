#include "frame.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quorent::ffi {

void out_of_memory(std::size_t size) noexcept {
    if (size != 0) std::fprintf(stderr, "memory allocation of %zu bytes failed\n", size);
    else std::fprintf(stderr, "memory allocation of an unknown number of bytes failed\n");
    std::abort();
}

void write_status(RustCallStatus* status, std::int8_t code, std::string_view bytes) noexcept {
    if (status == nullptr) return;
    status->code = code;
    if (bytes.empty()) {
        status->error_buf = kEmptyBuffer;
        return;
    }
    void* p = std::malloc(bytes.size());
    if (p == nullptr) return;
    std::memcpy(p, bytes.data(), bytes.size());
    status->error_buf = RustBuffer{bytes.size(), bytes.size(), static_cast<std::uint8_t*>(p)};
}

SdkError to_sdk_error(const CoreError& error) {
    if (error.kind == ErrorKind::InsecureOrigin) return SdkError{SdkVariant::InsecureOrigin, error.detail};
    return SdkError{SdkVariant::Sdk, error.display()};
}

void fail_with(RustCallStatus* status, const CoreError& error) noexcept {
    if (error.kind == ErrorKind::Internal) return fail_internal(status, error.detail);
    auto report = [&] { write_status(status, 1, serialize_sdk_error(to_sdk_error(error))); };
    detail::guarded<void>(status, report);  // running out of memory ends as everywhere
}

std::string serialize_sdk_error(const SdkError& error) {
    Writer w;
    w.i32(static_cast<std::int32_t>(error.variant));
    write(w, std::string_view(error.message));
    const auto& b = w.bytes();
    return std::string(b.begin(), b.end());
}

}  // namespace quorent::ffi
