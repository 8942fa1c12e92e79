#include "quorent/fault.hpp"

namespace quorent {

namespace {
thread_local const char* first_fault = nullptr;
}  // namespace

void record_fault(const char* what) noexcept {
    if (first_fault == nullptr) first_fault = what;
}

const char* take_fault() noexcept {
    const char* what = first_fault;
    first_fault = nullptr;
    return what;
}

}  // namespace quorent
