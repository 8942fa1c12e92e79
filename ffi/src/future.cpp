// Asynchronous-call handles: scheduler, operation object and the exported
// poll / cancel / complete / free functions for each result type.
#include "future.hpp"

#include "buffer.hpp"

#include <exception>
#include <string_view>
#include <type_traits>
#include <utility>

namespace quorent::ffi::future {
namespace {

// Released as every library buffer is: wiped, then freed.
void free_buffer(RustBuffer& buf) noexcept {
    release_buffer(buf);
    buf = RustBuffer{};
}

// Where the C++ runtime has exceptions, one thrown from advance() finishes the
// work as a failure.
std::optional<Outcome> advance_guarded(Work& work, const Waker& waker) noexcept {
#if defined(__cpp_exceptions)
    try {
        return work.advance(waker);
    } catch (const std::exception& e) {
        return Outcome::failure(2, make_buffer(e.what()));
    } catch (...) {
        return Outcome::failure(2, make_buffer("Unknown panic!"));
    }
#else
    return work.advance(waker);
#endif
}

}  // namespace

void release_buffers(Outcome& outcome) noexcept {
    if (auto* buf = std::get_if<RustBuffer>(&outcome.value)) free_buffer(*buf);
    outcome.value = std::monostate{};
    free_buffer(outcome.error_buf);
    outcome.code = 0;
}

// ---- Waker ------------------------------------------------------------------

Waker::Waker(Operation* op) noexcept : op_(op) { op_->retain(); }
Waker::Waker(const Waker& other) noexcept : op_(other.op_) { op_->retain(); }
Waker::Waker(Waker&& other) noexcept : op_(std::exchange(other.op_, nullptr)) {}
Waker& Waker::operator=(Waker other) noexcept {
    std::swap(op_, other.op_);
    return *this;
}
Waker::~Waker() {
    if (op_ != nullptr) op_->release();
}
void Waker::wake() const noexcept {
    if (op_ != nullptr) op_->wake();
}

// ---- Scheduler ----------------------------------------------------------------

void Scheduler::store(UniffiRustFutureContinuationCallback callback, std::uint64_t data) {
    std::lock_guard lock(mutex_);
    switch (state_) {
        case State::Empty:
            state_ = State::Set;
            callback_ = callback;
            data_ = data;
            break;
        case State::Waked:
            state_ = State::Empty;
            callback(data, kPollMaybeReady);
            break;
        case State::Set:
            // A second poll while one is pending: release the earlier poller.
            callback_(data_, kPollReady);
            callback_ = callback;
            data_ = data;
            break;
        case State::Cancelled: callback(data, kPollReady); break;
    }
}

void Scheduler::wake() {
    std::lock_guard lock(mutex_);
    if (state_ == State::Empty) {
        state_ = State::Waked;
    } else if (state_ == State::Set) {
        state_ = State::Empty;
        auto callback = std::exchange(callback_, nullptr);
        callback(std::exchange(data_, 0), kPollMaybeReady);
    }
}

void Scheduler::cancel() {
    std::lock_guard lock(mutex_);
    const State previous = std::exchange(state_, State::Cancelled);
    if (previous == State::Set) {
        auto callback = std::exchange(callback_, nullptr);
        callback(std::exchange(data_, 0), kPollReady);
    }
}

bool Scheduler::is_cancelled() {
    std::lock_guard lock(mutex_);
    return state_ == State::Cancelled;
}

// ---- Operation ----------------------------------------------------------------

Operation::~Operation() {
    if (outcome_) release_buffers(*outcome_);
}

void Operation::retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }

void Operation::release() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void Operation::poll(UniffiRustFutureContinuationCallback callback, std::uint64_t data) {
    if (scheduler_.is_cancelled()) {
        callback(data, kPollReady);
        return;
    }
    bool ready;
    {
        std::lock_guard lock(work_mutex_);
        if (!finished_ && work_) {
            const Waker waker(this);
            if (auto outcome = advance_guarded(*work_, waker)) {
                outcome_ = *outcome;
                finished_ = true;
            }
        }
        ready = finished_;
    }
    if (ready) {
        callback(data, kPollReady);
        return;
    }
    scheduler_.store(callback, data);
}

std::optional<Outcome> Operation::take_outcome() {
    std::lock_guard lock(work_mutex_);
    return std::exchange(outcome_, std::nullopt);
}

void Operation::free() {
    std::unique_ptr<Work> work;
    std::optional<Outcome> outcome;
    {
        std::lock_guard lock(work_mutex_);
        work = std::move(work_);
        outcome = std::exchange(outcome_, std::nullopt);
    }
    work.reset();  // may drop wakers, never the last reference: the caller holds one
    if (outcome) release_buffers(*outcome);
    release();
}

namespace {

// Holds a reference to the operation for the duration of an exported call.
class CallRef {
public:
    explicit CallRef(std::uint64_t handle) noexcept : op_(operation_of(handle)) { op_->retain(); }
    CallRef(const CallRef&) = delete;
    CallRef& operator=(const CallRef&) = delete;
    ~CallRef() { op_->release(); }
    Operation* operator->() const noexcept { return op_; }

private:
    Operation* op_;
};

void poll(std::uint64_t handle, UniffiRustFutureContinuationCallback callback, std::uint64_t data) noexcept {
    CallRef op(handle);
    op->poll(callback, data);
}

void cancel(std::uint64_t handle) noexcept {
    CallRef op(handle);
    op->cancel();
}

void free_handle(std::uint64_t handle) noexcept {
    CallRef op(handle);
    op->free();
}

template <class T>
using Alternative = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

template <class T>
T complete(std::uint64_t handle, RustCallStatus* status) noexcept {
    std::optional<Outcome> outcome;
    {
        CallRef op(handle);
        outcome = op->take_outcome();
    }
    if (!outcome) {
        status->code = kStatusCancelled;
        status->error_buf = RustBuffer{};
    } else if (outcome->code != 0) {
        status->code = outcome->code;
        status->error_buf = outcome->error_buf;
    } else if (auto* value = std::get_if<Alternative<T>>(&outcome->value)) {
        if constexpr (!std::is_void_v<T>) return *value;
    } else {
        // Collected through the complete function of another type.
        release_buffers(*outcome);
        status->code = 2;
        status->error_buf = make_buffer("asynchronous result collected as the wrong type");
    }
    if constexpr (!std::is_void_v<T>) return T{};
}

}  // namespace
}  // namespace quorent::ffi::future

namespace qf = quorent::ffi::future;

// The exported functions forward to noexcept helpers: a fault inside them ends
// the process rather than crossing the boundary.
#define QUORENT_FUTURE_DEFINE(suffix, ret)                                                              \
    void ffi_quorent_sdk_uniffi_rust_future_poll_##suffix(                                              \
        uint64_t handle, UniffiRustFutureContinuationCallback callback, uint64_t callback_data) {       \
        qf::poll(handle, callback, callback_data);                                                      \
    }                                                                                                   \
    void ffi_quorent_sdk_uniffi_rust_future_cancel_##suffix(uint64_t handle) { qf::cancel(handle); }    \
    ret ffi_quorent_sdk_uniffi_rust_future_complete_##suffix(uint64_t handle, RustCallStatus* status) { \
        return qf::complete<ret>(handle, status);                                                       \
    }                                                                                                   \
    void ffi_quorent_sdk_uniffi_rust_future_free_##suffix(uint64_t handle) { qf::free_handle(handle); }

extern "C" {
QUORENT_FUTURE_DEFINE(u8, uint8_t)
QUORENT_FUTURE_DEFINE(i8, int8_t)
QUORENT_FUTURE_DEFINE(u16, uint16_t)
QUORENT_FUTURE_DEFINE(i16, int16_t)
QUORENT_FUTURE_DEFINE(u32, uint32_t)
QUORENT_FUTURE_DEFINE(i32, int32_t)
QUORENT_FUTURE_DEFINE(u64, uint64_t)
QUORENT_FUTURE_DEFINE(i64, int64_t)
QUORENT_FUTURE_DEFINE(f32, float)
QUORENT_FUTURE_DEFINE(f64, double)
QUORENT_FUTURE_DEFINE(rust_buffer, RustBuffer)
QUORENT_FUTURE_DEFINE(void, void)
}

#undef QUORENT_FUTURE_DEFINE
