// The asynchronous-call handle protocol, driven through the exported functions
// over test work created with the internal API.
#include "future.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quorent::ffi::future;

RustBuffer malloc_buffer(const std::string& bytes) {
    auto* data = static_cast<std::uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(data, bytes.data(), bytes.size());
    return RustBuffer{bytes.size(), bytes.size(), data};
}

std::string take_text(RustBuffer& buf) {
    std::string out(reinterpret_cast<const char*>(buf.data), buf.len);
    std::free(buf.data);
    buf = RustBuffer{};
    return out;
}

// Finishes with `result` (or throws) after `pending` pending advances, each
// of which keeps the waker in `*keep` when given and wakes it when asked to.
struct TestWork : Work {
    int pending = 0;
    Outcome result;
    bool wake_self = false, throws = false;
    std::optional<Waker>* keep = nullptr;
    std::mutex* keep_mutex = nullptr;
    std::atomic<int>* destroyed = nullptr;

    std::optional<Outcome> advance(const Waker& waker) override {
        if (pending > 0) {
            --pending;
            if (keep != nullptr) {
                std::unique_lock<std::mutex> lock;
                if (keep_mutex != nullptr) lock = std::unique_lock(*keep_mutex);
                *keep = waker;
            }
            if (wake_self) waker.wake();
            return std::nullopt;
        }
        if (throws) throw std::runtime_error("work broke");
        return std::exchange(result, Outcome{});
    }
    ~TestWork() override {
        release_buffers(result);
        if (destroyed != nullptr) ++*destroyed;
    }
};

std::unique_ptr<TestWork> work_with(int pending, Outcome result, std::optional<Waker>* keep = nullptr) {
    auto work = std::make_unique<TestWork>();
    work->pending = pending;
    work->result = result;
    work->keep = keep;
    return work;
}

Outcome u32_value(std::uint32_t v) { return Outcome::success(Value(std::in_place_type<std::uint32_t>, v)); }

using Calls = std::vector<std::pair<std::uint64_t, int>>;
Calls g_calls;
void record(std::uint64_t data, std::int8_t code) { g_calls.emplace_back(data, code); }

struct CountedOperation : Operation {
    CountedOperation(std::unique_ptr<Work> work, std::atomic<int>& counter) : Operation(std::move(work)), n(counter) {}
    ~CountedOperation() override { ++n; }
    std::atomic<int>& n;
};

class FutureTest : public ::testing::Test {
protected:
    void SetUp() override { g_calls.clear(); }
    RustCallStatus status{0, RustBuffer{}};
};

// Waked, Set and ready, each poll answered once; a second poll while one is
// stored releases the earlier callback; collecting twice finds nothing (3).
TEST_F(FutureTest, PollWakeAndCollect) {
    std::optional<Waker> waker;
    const auto h = make_handle(work_with(3, u32_value(42), &waker));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    EXPECT_TRUE(g_calls.empty());
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 2);  // releases 1 as ready to poll again
    waker->wake();                                              // delivers 2
    waker->wake();                                              // none stored: remembered
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 3);  // still pending, answered at once
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 4);  // finishes
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 5);  // stays ready, work not advanced
    EXPECT_EQ(g_calls, (Calls{{1, 0}, {2, 1}, {3, 1}, {4, 0}, {5, 0}}));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 42u);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.error_buf.data, nullptr);
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 0u);
    EXPECT_EQ(status.code, kStatusCancelled);
    waker.reset();
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);

    // Work that wakes itself is polled again at once.
    g_calls.clear();
    auto self_waking = work_with(1, u32_value(7));
    self_waking->wake_self = true;
    const auto h2 = make_handle(std::move(self_waking));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h2, record, 1);
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h2, record, 2);
    EXPECT_EQ(g_calls, (Calls{{1, 1}, {2, 0}}));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h2, &status), 7u);
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h2);
}

TEST_F(FutureTest, CancelOrEarlyCompleteFindsNoOutcome) {
    std::optional<Waker> waker;
    const auto h = make_handle(work_with(1, u32_value(9), &waker));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);  // releases the stored callback
    waker->wake();                                     // stays cancelled
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 2);
    EXPECT_EQ(g_calls, (Calls{{1, 0}, {2, 0}}));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 0u);
    EXPECT_EQ(status.code, kStatusCancelled);
    EXPECT_EQ(status.error_buf.data, nullptr);
    waker.reset();
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);

    const auto h2 = make_handle(work_with(3, u32_value(5)));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h2, &status), 0u);
    EXPECT_EQ(status.code, kStatusCancelled);
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h2);
}

// Each handle type hands over its value or the failure; a value collected
// through the wrong type is reported and released.
TEST_F(FutureTest, OutcomesOfEveryKindReachTheCaller) {
    auto finished = [&](Outcome outcome, bool throws = false) {
        auto work = work_with(0, outcome);
        work->throws = throws;
        const auto h = make_handle(std::move(work));
        ffi_quorent_sdk_uniffi_rust_future_poll_rust_buffer(h, record, 0);
        status = RustCallStatus{0, RustBuffer{}};
        return h;
    };
    const std::string sdk_error("\0\0\0\1\0\0\0\4oops", 12);
    struct Failure {
        Outcome outcome;
        bool throws;
        int code;
        std::string message;
    };
    for (auto& f : {Failure{Outcome::failure(1, malloc_buffer(sdk_error)), false, 1, sdk_error},
                    Failure{Outcome::failure(2, malloc_buffer("fault")), false, 2, "fault"},
                    Failure{Outcome{}, true, 2, "work broke"}}) {
        const auto h = finished(f.outcome, f.throws);
        RustBuffer r = ffi_quorent_sdk_uniffi_rust_future_complete_rust_buffer(h, &status);
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(status.code, f.code);
        EXPECT_EQ(take_text(status.error_buf), f.message);
        ffi_quorent_sdk_uniffi_rust_future_free_rust_buffer(h);
    }

    auto hb = finished(Outcome::success(malloc_buffer("payload")));
    RustBuffer b = ffi_quorent_sdk_uniffi_rust_future_complete_rust_buffer(hb, &status);
    EXPECT_EQ(take_text(b), "payload");
    ffi_quorent_sdk_uniffi_rust_future_free_rust_buffer(hb);

    auto hd = finished(Outcome::success(Value(std::in_place_type<double>, -2.5)));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_f64(hd, &status), -2.5);
    ffi_quorent_sdk_uniffi_rust_future_free_f64(hd);

    auto hv = finished(Outcome::success(std::monostate{}));
    ffi_quorent_sdk_uniffi_rust_future_complete_void(hv, &status);
    EXPECT_EQ(status.code, 0);
    ffi_quorent_sdk_uniffi_rust_future_free_void(hv);

    auto hw = finished(Outcome::success(malloc_buffer("x")));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u8(hw, &status), 0);
    EXPECT_EQ(status.code, 2);
    EXPECT_EQ(take_text(status.error_buf), "asynchronous result collected as the wrong type");
    ffi_quorent_sdk_uniffi_rust_future_free_u8(hw);
}

TEST_F(FutureTest, LastReferenceDestroysTheObject) {
    std::atomic<int> works = 0, ops = 0;
    std::optional<Waker> waker;
    auto work = work_with(1, u32_value(1), &waker);
    work->destroyed = &works;
    const auto h = handle_of(new CountedOperation(std::move(work), ops));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
    EXPECT_EQ(works, 1);  // free drops the work at once
    EXPECT_EQ(ops, 0);    // the kept waker still references the object
    waker->wake();        // harmless after free
    waker.reset();
    EXPECT_EQ(ops, 1);

    // A finished but uncollected buffer is released with the object (leak checker).
    const auto h2 = handle_of(new CountedOperation(work_with(0, Outcome::success(malloc_buffer("left"))), ops));
    ffi_quorent_sdk_uniffi_rust_future_poll_rust_buffer(h2, record, 2);
    ffi_quorent_sdk_uniffi_rust_future_free_rust_buffer(h2);
    EXPECT_EQ(ops, 2);
}

// Every poll's callback runs exactly once, whatever the interleaving of polls
// from two threads, wake-ups from two others and a cancellation.
TEST_F(FutureTest, ConcurrentPollWakeCancel) {
    struct Ticket {
        std::atomic<int> calls{0}, code{-1};
    };
    static auto callback = [](std::uint64_t data, std::int8_t code) {
        auto* t = reinterpret_cast<Ticket*>(static_cast<std::uintptr_t>(data));
        t->code.store(code);
        t->calls.fetch_add(1);
    };
    for (int round = 0; round < 10; ++round) {
        const bool with_cancel = round % 2 == 1;
        std::atomic<int> ops = 0;
        std::mutex keep_mutex;
        std::optional<Waker> kept;
        auto work = work_with(2000, u32_value(77), &kept);
        work->keep_mutex = &keep_mutex;
        const auto h = handle_of(new CountedOperation(std::move(work), ops));

        std::atomic<bool> stop = false;
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i) {
            threads.emplace_back([&] {
                while (!stop) {
                    std::optional<Waker> w;
                    {
                        std::lock_guard lock(keep_mutex);
                        w = kept;
                    }
                    if (w) w->wake();
                    std::this_thread::yield();
                }
            });
        }
        std::vector<std::unique_ptr<Ticket>> tickets[2];
        std::vector<std::thread> pollers;
        for (auto& mine : tickets) {
            pollers.emplace_back([&] {
                for (;;) {
                    auto& t = mine.emplace_back(std::make_unique<Ticket>());
                    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, callback, reinterpret_cast<std::uintptr_t>(t.get()));
                    while (t->calls == 0) std::this_thread::yield();
                    if (t->code == 0) break;
                }
            });
        }
        if (with_cancel) ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);
        for (auto& t : pollers) t.join();
        ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);  // flushes any callback still stored
        stop = true;
        for (auto& t : threads) t.join();

        for (auto& mine : tickets)
            for (auto& t : mine) EXPECT_EQ(t->calls, 1);
        status = RustCallStatus{0, RustBuffer{}};
        const auto value = ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status);
        if (with_cancel)
            EXPECT_TRUE((status.code == 0 && value == 77u) || (status.code == kStatusCancelled && value == 0u));
        else EXPECT_TRUE(status.code == 0 && value == 77u);
        ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
        kept.reset();
        EXPECT_EQ(ops, 1);
    }
}

}  // namespace
