// The asynchronous-call handle protocol, driven through the exported functions
// over test work created with the internal API.
#include "future.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace quorent::ffi::future;

RustBuffer malloc_buffer(const std::string& bytes) {
    auto* data = static_cast<std::uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(data, bytes.data(), bytes.size());
    return RustBuffer{bytes.size(), bytes.size(), data};
}

std::string text_of(const RustBuffer& buf) { return std::string(reinterpret_cast<const char*>(buf.data), buf.len); }

// Finishes with `result` on the advance after `pending` pending ones. Each
// pending advance keeps the waker in `*keep` (when given) and optionally wakes.
struct TestWork : Work {
    int pending = 0;
    Outcome result;
    bool wake_self = false;
    std::optional<Waker>* keep = nullptr;
    std::mutex* keep_mutex = nullptr;
    bool throws = false;
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

std::unique_ptr<TestWork> work_with(int pending, Outcome result) {
    auto work = std::make_unique<TestWork>();
    work->pending = pending;
    work->result = result;
    return work;
}

Outcome u32_value(std::uint32_t v) { return Outcome::success(Value(std::in_place_type<std::uint32_t>, v)); }

// Records every callback invocation as (data, code).
std::vector<std::pair<std::uint64_t, int>> g_calls;
void record(std::uint64_t data, std::int8_t code) { g_calls.emplace_back(data, code); }

using Calls = std::vector<std::pair<std::uint64_t, int>>;

class FutureTest : public ::testing::Test {
protected:
    void SetUp() override { g_calls.clear(); }
    RustCallStatus status{0, RustBuffer{}};
};

TEST_F(FutureTest, WakeAfterStoredCallbackThenReady) {
    std::optional<Waker> waker;
    auto work = work_with(2, u32_value(42));
    work->keep = &waker;
    const auto h = make_handle(std::move(work));

    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    EXPECT_TRUE(g_calls.empty());  // Set: waiting for a wake-up
    waker->wake();
    EXPECT_EQ(g_calls, (Calls{{1, 1}}));
    waker->wake();  // no callback stored: remembered as Waked
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 2);  // still pending, Waked
    EXPECT_EQ(g_calls, (Calls{{1, 1}, {2, 1}}));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 3);  // finishes
    EXPECT_EQ(g_calls, (Calls{{1, 1}, {2, 1}, {3, 0}}));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 4);  // stays ready, work not advanced
    EXPECT_EQ(g_calls.back(), (std::pair<std::uint64_t, int>{4, 0}));

    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 42u);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.error_buf.data, nullptr);
    // The outcome was taken: a second collection finds none.
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 0u);
    EXPECT_EQ(status.code, 3);
    waker.reset();
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
}

TEST_F(FutureTest, SelfWakingWorkGetsImmediateMaybeReady) {
    auto work = work_with(1, u32_value(7));
    work->wake_self = true;
    const auto h = make_handle(std::move(work));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 2);
    EXPECT_EQ(g_calls, (Calls{{1, 1}, {2, 0}}));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 7u);
    EXPECT_EQ(status.code, 0);
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
}

TEST_F(FutureTest, SecondPollReleasesEarlierCallback) {
    std::optional<Waker> waker;
    auto work = work_with(5, u32_value(1));
    work->keep = &waker;
    const auto h = make_handle(std::move(work));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 2);
    EXPECT_EQ(g_calls, (Calls{{1, 0}}));
    waker->wake();
    EXPECT_EQ(g_calls, (Calls{{1, 0}, {2, 1}}));
    waker.reset();
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
}

TEST_F(FutureTest, CancelReleasesCallbackAndCompleteReportsCancelled) {
    std::optional<Waker> waker;
    auto work = work_with(1, u32_value(9));
    work->keep = &waker;
    const auto h = make_handle(std::move(work));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);
    ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);
    EXPECT_EQ(g_calls, (Calls{{1, 0}}));
    waker->wake();  // stays cancelled
    ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);
    // Polling a cancelled operation answers ready without advancing the work.
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 2);
    EXPECT_EQ(g_calls, (Calls{{1, 0}, {2, 0}}));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 0u);
    EXPECT_EQ(status.code, 3);
    EXPECT_EQ(status.error_buf.data, nullptr);
    EXPECT_EQ(status.error_buf.len, 0u);
    waker.reset();
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
}

TEST_F(FutureTest, CompleteBeforeFinishReportsCancelled) {
    const auto h = make_handle(work_with(3, u32_value(5)));
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status), 0u);
    EXPECT_EQ(status.code, 3);
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
}

TEST_F(FutureTest, FailuresAreCopiedIntoStatus) {
    const std::string sdk_error("\0\0\0\1\0\0\0\4oops", 12);
    struct Case {
        std::int8_t code;
        std::string payload;
        bool throws;
    };
    for (const auto& c : {Case{1, sdk_error, false}, Case{2, "internal fault", false}, Case{2, "work broke", true}}) {
        auto work = work_with(0, c.throws ? Outcome{} : Outcome::failure(c.code, malloc_buffer(c.payload)));
        work->throws = c.throws;
        const auto h = make_handle(std::move(work));
        ffi_quorent_sdk_uniffi_rust_future_poll_rust_buffer(h, record, 1);
        status = RustCallStatus{0, RustBuffer{}};
        const RustBuffer result = ffi_quorent_sdk_uniffi_rust_future_complete_rust_buffer(h, &status);
        EXPECT_EQ(result.data, nullptr);
        EXPECT_EQ(result.capacity, 0u);
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(text_of(status.error_buf), c.payload);
        std::free(status.error_buf.data);
        ffi_quorent_sdk_uniffi_rust_future_free_rust_buffer(h);
    }
    EXPECT_EQ(g_calls, (Calls{{1, 0}, {1, 0}, {1, 0}}));
}

TEST_F(FutureTest, ValuesOfOtherTypes) {
    const auto hb = make_handle(work_with(0, Outcome::success(malloc_buffer("payload"))));
    ffi_quorent_sdk_uniffi_rust_future_poll_rust_buffer(hb, record, 1);
    const RustBuffer buf = ffi_quorent_sdk_uniffi_rust_future_complete_rust_buffer(hb, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(text_of(buf), "payload");
    std::free(buf.data);
    ffi_quorent_sdk_uniffi_rust_future_free_rust_buffer(hb);

    const auto hd = make_handle(work_with(0, Outcome::success(Value(std::in_place_type<double>, -2.5))));
    ffi_quorent_sdk_uniffi_rust_future_poll_f64(hd, record, 2);
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_f64(hd, &status), -2.5);
    ffi_quorent_sdk_uniffi_rust_future_free_f64(hd);

    const auto hv = make_handle(work_with(0, Outcome::success(std::monostate{})));
    ffi_quorent_sdk_uniffi_rust_future_poll_void(hv, record, 3);
    ffi_quorent_sdk_uniffi_rust_future_complete_void(hv, &status);
    EXPECT_EQ(status.code, 0);
    ffi_quorent_sdk_uniffi_rust_future_free_void(hv);

    // Collected through the wrong type: reported, and the value is released.
    const auto hw = make_handle(work_with(0, Outcome::success(malloc_buffer("x"))));
    ffi_quorent_sdk_uniffi_rust_future_poll_u8(hw, record, 4);
    EXPECT_EQ(ffi_quorent_sdk_uniffi_rust_future_complete_u8(hw, &status), 0);
    EXPECT_EQ(status.code, 2);
    std::free(status.error_buf.data);
    ffi_quorent_sdk_uniffi_rust_future_free_u8(hw);
}

// Counts destructions of the operation object.
struct CountedOperation : Operation {
    CountedOperation(std::unique_ptr<Work> work, std::atomic<int>& counter) : Operation(std::move(work)), n(counter) {}
    ~CountedOperation() override { ++n; }
    std::atomic<int>& n;
};

TEST_F(FutureTest, LastReferenceDestroysTheObject) {
    std::atomic<int> works = 0, ops = 0;
    std::optional<Waker> waker;
    auto work = work_with(1, u32_value(1));
    work->keep = &waker;
    work->destroyed = &works;
    const auto h = handle_of(new CountedOperation(std::move(work), ops));
    ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, record, 1);  // the work keeps a waker
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
    EXPECT_EQ(works, 1);  // free drops the work at once
    EXPECT_EQ(ops, 0);    // the kept waker still references the object
    waker->wake();        // harmless after free: delivers the stored callback
    EXPECT_EQ(g_calls, (Calls{{1, 1}}));
    waker.reset();
    EXPECT_EQ(ops, 1);

    // A finished but uncollected buffer outcome is released with the object.
    const auto h2 = handle_of(new CountedOperation(work_with(0, Outcome::success(malloc_buffer("left"))), ops));
    ffi_quorent_sdk_uniffi_rust_future_poll_rust_buffer(h2, record, 2);
    ffi_quorent_sdk_uniffi_rust_future_free_rust_buffer(h2);
    EXPECT_EQ(ops, 2);
}

// Every poll's callback is invoked exactly once, whatever the interleaving of
// polls, wake-ups and a cancellation from several threads.
struct Ticket {
    std::atomic<int> calls{0};
    std::atomic<int> code{-1};
};
void ticket_callback(std::uint64_t data, std::int8_t code) {
    auto* t = reinterpret_cast<Ticket*>(static_cast<std::uintptr_t>(data));
    t->code.store(code);
    t->calls.fetch_add(1);
}

void run_threads(bool with_cancel) {
    std::atomic<int> ops = 0;
    std::mutex keep_mutex;
    std::optional<Waker> kept;
    auto work = work_with(2000, u32_value(77));
    work->keep = &kept;
    work->keep_mutex = &keep_mutex;
    const auto h = handle_of(new CountedOperation(std::move(work), ops));

    std::atomic<bool> stop = false;
    std::vector<std::thread> wakers;
    for (int i = 0; i < 2; ++i) {
        wakers.emplace_back([&] {
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
                ffi_quorent_sdk_uniffi_rust_future_poll_u32(h, ticket_callback, reinterpret_cast<std::uintptr_t>(t.get()));
                while (t->calls == 0) std::this_thread::yield();
                if (t->code == 0) break;
            }
        });
    }
    std::thread canceller;
    if (with_cancel) {
        canceller = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);
        });
    }
    // A poller released by the other's poll (code 0) stops early; once both
    // have stopped, cancelling flushes any callback still stored.
    for (auto& t : pollers) t.join();
    if (with_cancel) canceller.join();
    ffi_quorent_sdk_uniffi_rust_future_cancel_u32(h);
    stop = true;
    for (auto& t : wakers) t.join();

    std::size_t polls = 0;
    for (auto& mine : tickets) {
        for (auto& t : mine) EXPECT_EQ(t->calls, 1);
        polls += mine.size();
    }
    EXPECT_GE(polls, 2u);
    RustCallStatus status{0, RustBuffer{}};
    const auto value = ffi_quorent_sdk_uniffi_rust_future_complete_u32(h, &status);
    if (with_cancel) {
        EXPECT_TRUE((status.code == 0 && value == 77u) || (status.code == 3 && value == 0u));
    } else {
        EXPECT_EQ(status.code, 0);  // the last poller only stops once the work is ready
        EXPECT_EQ(value, 77u);
    }
    ffi_quorent_sdk_uniffi_rust_future_free_u32(h);
    kept.reset();
    EXPECT_EQ(ops, 1);
}

TEST_F(FutureTest, ConcurrentPollWakeCancel) {
    for (int round = 0; round < 5; ++round) {
        run_threads(false);
        run_threads(true);
    }
}

}  // namespace
