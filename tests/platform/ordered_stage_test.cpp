#include "platform/ordered_stage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "thread_start_failure.h"

namespace {

// Inputs 0..n-1 through a stage; each output is its input's square, worked at uneven speed so that later
// inputs often finish first. The stage must deliver them in input order, never hold more than `bound` in
// flight, hand a worker's exception to the caller in the place of its output, and give the same outputs
// when threads cannot start.
TEST(OrderedStage, OrderBoundFailuresAndThreadsThatCannotStart) {
    struct stage_case {
        unsigned threads;
        std::size_t bound;
        int throw_at;  // the input whose worker throws; -1 none
        int failing_start;
        thread_start_outcome how;
        unsigned started;   // threads that start
        bool thread_fails;  // a thread fails outside its work: the caller gets std::bad_alloc
    };
    const stage_case cases[] = {
        {4, 6, -1, 0, thread_start_outcome::start, 4, false},
        {3, 1, -1, 0, thread_start_outcome::start, 3, false},
        {2, 3, 57, 0, thread_start_outcome::start, 2, false},
        {3, 5, -1, 2, thread_start_outcome::refuse, 1, false},   // starts stop at the refused one
        {3, 5, 20, -1, thread_start_outcome::refuse, 0, false},  // none: all on the calling thread
        {3, 5, -1, 1, thread_start_outcome::fail, 3, true},
    };
    constexpr int kInputs = 200;
    for (const stage_case& c : cases) {
        const int at = static_cast<int>(&c - cases);
        thread_start_failure::scope hook(c.failing_start, c.how);
        std::atomic<int> delivered_count{0};
        std::atomic<int> most_ahead{0};  // how far past the delivered outputs a worker got
        std::vector<int> inputs, outputs;
        ordered_stage<int, long> stage(
            c.bound,
            [&] {
                return [&, c](int& in, long& out) {
                    const int ahead = in - delivered_count.load();
                    int seen = most_ahead.load();
                    while (ahead > seen && !most_ahead.compare_exchange_weak(seen, ahead)) {
                    }
                    if (in == c.throw_at) throw std::runtime_error("work failed");
                    if (in % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                    out = static_cast<long>(in) * in;
                };
            },
            [&](int& in, long& out) {
                inputs.push_back(in);
                outputs.push_back(out);
                ++delivered_count;
            });
        EXPECT_EQ(stage.start(c.threads), c.started) << at;
        int failure = 0;  // 1 the worker's exception, 2 std::bad_alloc
        try {
            for (int i = 0; i < kInputs; ++i) {
                stage.next() = i;
                stage.submit();
            }
            stage.finish();
            stage.stop();
            stage.throw_if_failed();
        } catch (const std::runtime_error&) {
            failure = 1;
        } catch (const std::bad_alloc&) {
            failure = 2;
        }
        EXPECT_EQ(failure, c.throw_at >= 0 ? 1 : c.thread_fails ? 2 : 0) << at;
        const int delivered = static_cast<int>(inputs.size());
        const int expected = c.throw_at >= 0 ? c.throw_at : c.thread_fails ? delivered : kInputs;
        ASSERT_EQ(static_cast<int>(inputs.size()), expected) << at;
        for (int i = 0; i < expected; ++i) {
            ASSERT_EQ(inputs[i], i) << at;
            ASSERT_EQ(outputs[i], static_cast<long>(i) * i) << at;
        }
        EXPECT_LT(most_ahead.load(), static_cast<int>(c.bound)) << at;
    }
}

}  // namespace
