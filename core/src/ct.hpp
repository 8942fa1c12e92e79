// Marks for the constant-time check (tests/consttime): the check runs the
// secret-handling operations under valgrind's memcheck with every secret
// byte marked undefined, so that memcheck reports each branch taken and each
// memory address computed from a secret.
//
// In the library these are calls to functions that do nothing (ct.cpp). The
// check's own build of the library links ct.cpp compiled with
// QUORENT_CT_CHECK, where they are memcheck client requests; nothing else in
// the library changes, and the library never depends on valgrind.
#pragma once

#include <cstddef>

namespace quorent::ct {

// Makes bytes computed from secrets public on purpose: the one bit that
// says whether a secret's encoding is valid, a result the operation returns.
void reveal(const void* data, std::size_t len) noexcept;

template <class T>
T reveal(T value) noexcept {
    reveal(&value, sizeof value);
    return value;
}

// True when any of the bytes is marked secret (always false outside the check).
bool is_secret(const void* data, std::size_t len) noexcept;

// Marks bytes secret (a result computed from secrets by a call declared below).
void mark_secret(const void* data, std::size_t len) noexcept;

// Declares up to 64 bytes public for one call into a library that proves its
// own code constant-time on them, and gives them back their previous marks
// when it goes. Use one per primitive, around that primitive's calls only.
class ProvedCall {
public:
    ProvedCall(const void* data, std::size_t len) noexcept;
    ~ProvedCall();
    ProvedCall(const ProvedCall&) = delete;
    ProvedCall& operator=(const ProvedCall&) = delete;
    // Whether the bytes were (in part) secret before the call.
    bool was_secret() const noexcept { return secret_; }

private:
    [[maybe_unused]] const void* data_;  // read only in the checking build
    [[maybe_unused]] std::size_t len_;
    bool secret_ = false;
    [[maybe_unused]] unsigned char marks_[64];
};

// ---- masks for constant-time code ----------------------------------------------
// All ones (true) or zero (false), computed without a branch; >> of a
// negative int is arithmetic.

// All ones when 0 <= x < limit (x in -256 .. 511, limit in 1 .. 256).
constexpr unsigned in_range(int x, int limit) noexcept {
    return static_cast<unsigned>(((x - limit) & ~x) >> 16);
}

// All ones when x != 0 (x below 2^31).
constexpr unsigned nonzero(unsigned x) noexcept { return 0u - ((0u - x) >> 31); }

}  // namespace quorent::ct
