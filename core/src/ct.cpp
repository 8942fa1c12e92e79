#include "ct.hpp"

#ifdef QUORENT_CT_CHECK
#include <valgrind/memcheck.h>
#endif

#include <cstring>

namespace quorent::ct {

#ifdef QUORENT_CT_CHECK

namespace {

// memcheck's validity bits of the bytes (one bit set per undefined bit);
// false when they cannot be read (not running under valgrind).
bool read_marks(const void* data, std::size_t len, unsigned char* marks) noexcept {
    std::memset(marks, 0, len);
    return VALGRIND_GET_VBITS(data, marks, len) == 1;
}

bool any_set(const unsigned char* marks, std::size_t len) noexcept {
    unsigned char any = 0;
    for (std::size_t i = 0; i < len; ++i) any |= marks[i];
    return any != 0;
}

}  // namespace

void reveal(const void* data, std::size_t len) noexcept { VALGRIND_MAKE_MEM_DEFINED(data, len); }

bool is_secret(const void* data, std::size_t len) noexcept {
    unsigned char marks[64];
    for (std::size_t at = 0; at < len; at += sizeof marks) {
        const std::size_t n = len - at < sizeof marks ? len - at : sizeof marks;
        if (read_marks(static_cast<const unsigned char*>(data) + at, n, marks) && any_set(marks, n)) return true;
    }
    return false;
}

void mark_secret(const void* data, std::size_t len) noexcept { VALGRIND_MAKE_MEM_UNDEFINED(data, len); }

ProvedCall::ProvedCall(const void* data, std::size_t len) noexcept
    : data_(data), len_(len < sizeof marks_ ? len : sizeof marks_) {
    secret_ = read_marks(data_, len_, marks_) && any_set(marks_, len_);
    VALGRIND_MAKE_MEM_DEFINED(data_, len_);
}

ProvedCall::~ProvedCall() {
    if (secret_) VALGRIND_SET_VBITS(data_, marks_, len_);
}

#else

void reveal(const void*, std::size_t) noexcept {}
bool is_secret(const void*, std::size_t) noexcept { return false; }
void mark_secret(const void*, std::size_t) noexcept {}
ProvedCall::ProvedCall(const void* data, std::size_t len) noexcept : data_(data), len_(len) {}
ProvedCall::~ProvedCall() {}

#endif

}  // namespace quorent::ct
