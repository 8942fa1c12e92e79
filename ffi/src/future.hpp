// Asynchronous-call handles: the reference-counted operation object behind the
// exported ffi_quorent_sdk_uniffi_rust_future_{poll,cancel,complete,free}_<type>
// functions.
//
// A handle is the address of an Operation, carrying one reference owned by the
// caller. An Operation holds pending Work, a result slot and a Scheduler. No
// exported operation of the library is asynchronous, so nothing hands out a
// handle today; make_handle is the way in for internal users.
#pragma once

#include "quorent_sdk_uniffi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

#include "mutex.hpp"

namespace quorent::ffi::future {

// The value of a finished operation; std::monostate for `void`. The alternative
// held must match the <type> of the complete function the caller uses.
using Value = std::variant<std::monostate, std::uint8_t, std::int8_t, std::uint16_t, std::int16_t, std::uint32_t,
                           std::int32_t, std::uint64_t, std::int64_t, float, double, RustBuffer>;

// The outcome of finished work: a value (code 0), or a failure with code 1
// (error_buf holds the serialized declared error) or code 2 (error_buf holds the
// message as raw UTF-8). Buffers are malloc'd with capacity equal to the
// allocation size and are owned by whoever holds the outcome.
struct Outcome {
    Value value;
    std::int8_t code = 0;
    RustBuffer error_buf{};

    static Outcome success(Value value) noexcept { return Outcome{value, 0, RustBuffer{}}; }
    static Outcome failure(std::int8_t code, RustBuffer error_buf) noexcept {
        return Outcome{std::monostate{}, code, error_buf};
    }
};

// Frees the buffers an outcome owns (a RustBuffer value, the error_buf) and
// leaves it empty.
void release_buffers(Outcome& outcome) noexcept;

class Operation;

// Lets work signal progress to its operation's scheduler. Each Waker holds a
// reference to the operation; work that wants to wake later keeps a copy. The
// operation drops its work on `free`, which breaks the cycle.
class Waker {
public:
    explicit Waker(Operation* op) noexcept;
    Waker(const Waker& other) noexcept;
    Waker(Waker&& other) noexcept;
    Waker& operator=(Waker other) noexcept;
    ~Waker();

    void wake() const noexcept;

private:
    Operation* op_;
};

// Pending work. advance() is called at most once per poll, under the
// operation's work mutex, until it returns an outcome. Where the C++ runtime
// has exceptions, one thrown from advance() finishes the work with a code 2
// failure carrying its message.
class Work {
public:
    virtual ~Work() = default;
    virtual std::optional<Outcome> advance(const Waker& waker) = 0;
};

// The continuation state: Empty, Waked (progress signalled while no callback was
// stored), Set (a stored callback and its data), Cancelled. Callbacks run with
// the scheduler's mutex held, so they must not poll or cancel the same handle.
class Scheduler {
public:
    void store(UniffiRustFutureContinuationCallback callback, std::uint64_t data);
    void wake();
    void cancel();
    bool is_cancelled();

private:
    enum class State { Empty, Waked, Set, Cancelled };
    Mutex mutex_;
    State state_ = State::Empty;
    UniffiRustFutureContinuationCallback callback_ = nullptr;
    std::uint64_t data_ = 0;
};

// Status code of a complete function that finds no outcome to hand over:
// the work was cancelled before it finished, or its outcome was already
// collected. error_buf is left empty.
inline constexpr std::int8_t kStatusCancelled = 3;

// Poll codes passed to continuation callbacks.
inline constexpr std::int8_t kPollReady = 0;
inline constexpr std::int8_t kPollMaybeReady = 1;

// The operation object. Created with one reference (the handle's); every
// method below expects its caller to hold a reference for the duration.
class Operation {
public:
    explicit Operation(std::unique_ptr<Work> work) noexcept : work_(std::move(work)) {}
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    void retain() noexcept;
    void release() noexcept;  // destroys the object with the last reference

    void poll(UniffiRustFutureContinuationCallback callback, std::uint64_t data);
    void cancel() { scheduler_.cancel(); }
    void wake() { scheduler_.wake(); }
    std::optional<Outcome> take_outcome();
    // Drops the pending work, any outcome not collected, and the caller's reference.
    void free();

protected:
    virtual ~Operation();

private:
    std::atomic<std::uint64_t> refs_{1};
    Mutex work_mutex_;
    std::unique_ptr<Work> work_;      // guarded by work_mutex_
    bool finished_ = false;           // guarded by work_mutex_
    std::optional<Outcome> outcome_;  // guarded by work_mutex_
    Scheduler scheduler_;
};

// The handle of a newly allocated operation, taking over its one reference.
inline std::uint64_t handle_of(Operation* op) noexcept {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(op));
}
inline Operation* operation_of(std::uint64_t handle) noexcept {
    return reinterpret_cast<Operation*>(static_cast<std::uintptr_t>(handle));
}

// Issues a handle for new work; the caller owns the handle's reference and
// releases it with one of the exported free functions.
inline std::uint64_t make_handle(std::unique_ptr<Work> work) { return handle_of(new Operation(std::move(work))); }

}  // namespace quorent::ffi::future
