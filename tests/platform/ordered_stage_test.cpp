#include "platform/ordered_stage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <string>
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

// Items 0..n-1 added one at a time to a stage that batches them, for each batch size, item count and thread
// count: every batch holds `batch` items but the last, which end() submits, each batch a new one (cleared),
// and the outputs come back in order. finish() midway submits the batch being filled, and the stage goes on.
// With threads refused the outputs are the same; a worker that throws reaches the caller after the batches
// before its own, and a thread that failed as it started fails end(), also with no item added.
TEST(OrderedStage, AddBatchesItemsInOrder) {
    struct batch_case {
        std::size_t batch;
        int items;
        unsigned threads;
        int finish_at;  // items after which finish() is called; -1 never
        int failing_start;
        thread_start_outcome how;
        int throw_at;       // the item whose worker throws; -1 none
        bool thread_fails;  // the caller gets std::bad_alloc
    };
    std::vector<batch_case> cases;
    for (const std::size_t batch : {1, 7, 64})
        for (const int items : {0, 1, 63, 64, 65, 300})
            for (const unsigned threads : {0u, 1u, 4u})
                cases.push_back({batch, items, threads, -1, 0, thread_start_outcome::start, -1, false});
    cases.push_back({7, 300, 3, 100, 0, thread_start_outcome::start, -1, false});
    cases.push_back({7, 300, 0, 100, 0, thread_start_outcome::start, -1, false});
    cases.push_back({7, 300, 3, -1, -1, thread_start_outcome::refuse, -1, false});  // none starts
    cases.push_back({7, 300, 3, -1, 2, thread_start_outcome::refuse, -1, false});
    cases.push_back({7, 300, 3, -1, 0, thread_start_outcome::start, 150, false});
    cases.push_back({7, 300, 0, -1, 0, thread_start_outcome::start, 150, false});
    cases.push_back({7, 300, 3, -1, 1, thread_start_outcome::fail, -1, true});
    cases.push_back({7, 0, 3, -1, 1, thread_start_outcome::fail, -1, true});
    for (const batch_case& c : cases) {
        const std::string at = std::to_string(c.batch) + " x " + std::to_string(c.items) + " on " +
                               std::to_string(c.threads) + ", case " + std::to_string(&c - cases.data());
        thread_start_failure::scope hook(c.failing_start, c.how);
        std::vector<int> items;
        std::vector<long> outputs;
        std::vector<std::size_t> sizes;  // of the batches delivered
        ordered_stage<std::vector<int>, std::vector<long>> stage(
            3, c.batch,
            [&] {
                return [&c](std::vector<int>& in, std::vector<long>& out) {
                    out.clear();
                    for (const int i : in) {
                        if (i == c.throw_at) throw std::runtime_error("work failed");
                        out.push_back(static_cast<long>(i) * i);
                    }
                    if (in.front() % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
                };
            },
            [&](std::vector<int>& in, std::vector<long>& out) {
                ASSERT_EQ(out.size(), in.size());
                sizes.push_back(in.size());
                items.insert(items.end(), in.begin(), in.end());
                outputs.insert(outputs.end(), out.begin(), out.end());
            });
        (void)stage.start(c.threads);
        int failure = 0;  // 1 the worker's exception, 2 std::bad_alloc
        try {
            for (int i = 0; i < c.items; ++i) {
                if (i == c.finish_at) {
                    stage.finish();
                    ASSERT_EQ(static_cast<int>(items.size()), i) << at;
                }
                stage.add([i](std::vector<int>& batch) { batch.push_back(i); });
            }
            stage.end();
        } catch (const std::runtime_error&) {
            failure = 1;
        } catch (const std::bad_alloc&) {
            failure = 2;
        }
        EXPECT_EQ(failure, c.throw_at >= 0 ? 1 : c.thread_fails ? 2 : 0) << at;
        const int batch = static_cast<int>(c.batch);
        // Full batches, but where finish() or end() submitted one.
        std::vector<std::size_t> expected_sizes;
        for (int from = 0; from < c.items;) {
            const int upto = c.finish_at > from ? c.finish_at : c.items;
            const int size = std::min(batch, upto - from);
            expected_sizes.push_back(static_cast<std::size_t>(size));
            from += size;
        }
        const int delivered = static_cast<int>(items.size());
        if (c.throw_at >= 0) {
            EXPECT_EQ(delivered, c.throw_at / batch * batch) << at;
        } else if (!c.thread_fails) {
            EXPECT_EQ(delivered, c.items) << at;
        }
        ASSERT_LE(sizes.size(), expected_sizes.size()) << at;
        expected_sizes.resize(sizes.size());
        EXPECT_EQ(sizes, expected_sizes) << at;
        for (int i = 0; i < delivered; ++i) {
            ASSERT_EQ(items[i], i) << at;
            ASSERT_EQ(outputs[i], static_cast<long>(i) * i) << at;
        }
    }
}

}  // namespace
