#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <new>
#include <stdexcept>
#include <thread>

#include "thread_start_failure.h"

namespace {

// What became of one start: did a thread run, did the work run, and what reached the failure handler.
TEST(PlatformStartThread, RefusedStartsAndFailingWorkNeverEscapeAsExceptions) {
    struct start_case {
        thread_start_outcome outcome;
        bool work_throws;
        bool started;  // a thread ran
        bool work_ran;
        int failure;  // 0 none, 1 std::bad_alloc, 2 the work's own exception
    };
    const start_case cases[] = {
        {thread_start_outcome::start, false, true, true, 0},
        {thread_start_outcome::start, true, true, true, 2},
        {thread_start_outcome::refuse, false, false, false, 0},
        {thread_start_outcome::fail, false, true, false, 1},
    };
    for (const start_case& c : cases) {
        thread_start_failure::scope hook(1, c.outcome);
        std::atomic<bool> ran{false};
        std::atomic<int> failure{0};
        std::thread t;
        const bool started = platform_start_thread(
            t,
            [&ran, &c] {
                ran = true;
                if (c.work_throws) throw std::runtime_error("work failed");
            },
            [&failure](std::exception_ptr e) {
                try {
                    std::rethrow_exception(e);
                } catch (const std::bad_alloc&) {
                    failure = 1;
                } catch (const std::runtime_error&) {
                    failure = 2;
                }
            });
        const int at = static_cast<int>(&c - cases);
        EXPECT_EQ(started, c.started) << at;
        EXPECT_EQ(t.joinable(), c.started) << at;
        if (t.joinable()) t.join();
        EXPECT_EQ(ran.load(), c.work_ran) << at;
        EXPECT_EQ(failure.load(), c.failure) << at;
        EXPECT_EQ(hook.started(), 1) << at;
    }
}

}  // namespace
