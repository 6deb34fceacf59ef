// One ordered, bounded parallel stage: inputs go in on the calling thread, workers on the stage's threads
// turn each into its output, and the outputs come back on the calling thread in the order the inputs went
// in. A worker is a function of its input: it writes only the slot it was given (input and output) and state
// of its own thread; whatever reads or changes shared state belongs to the delivery, which runs on the
// calling thread. So the outputs, and their order, never depend on how the threads are scheduled.
//
// At most `bound` inputs are in flight (being filled, queued, worked, or worked and not yet delivered); their
// slots keep their storage from use to use. An exception of a worker reaches the caller where that input's
// output would have been delivered: the outputs before it are delivered first, none after it (every later
// call throws it again). An exception of the delivery leaves through the call that delivered. A thread that
// cannot start is no failure: fewer threads do the same work, and with none every input is worked on the
// calling thread as it is submitted, giving the same outputs in the same order. A thread that fails outside
// its work (out of memory as it starts) makes the next call of the caller throw that failure.
//
// A caller either fills each input itself (next(), then submit()) or hands the stage items one at a time
// (add()), which gathers them into batches, a batch an input: a hand-over (a lock, a wake-up) is then paid
// once a batch, not once an item.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/threads.h"

template <typename Input, typename Output>
class ordered_stage {
  public:
    // The work of one thread: fills `out` from `in`.
    using worker = std::function<void(Input& in, Output& out)>;
    // Makes the worker of one thread (called on the calling thread, once per thread started, or once for the
    // calling thread when none starts).
    using worker_maker = std::function<worker()>;
    // Takes one output, on the calling thread, in input order.
    using delivery = std::function<void(Input& in, Output& out)>;

    ordered_stage(std::size_t bound, worker_maker make, delivery deliver)
        : slots_(bound == 0 ? 1 : bound), make_(std::move(make)), deliver_(std::move(deliver)) {}
    // A stage whose inputs are batches of up to `batch` items each, filled through add(). Input then has a
    // `clear()` that empties it for a new batch, keeping its storage (a std::vector of the items will do).
    ordered_stage(std::size_t bound, std::size_t batch, worker_maker make, delivery deliver)
        : ordered_stage(bound, std::move(make), std::move(deliver)) {
        batch_ = batch == 0 ? 1 : batch;
    }
    ~ordered_stage() { stop(); }
    ordered_stage(const ordered_stage&) = delete;
    ordered_stage& operator=(const ordered_stage&) = delete;

    // Starts up to `threads` threads through platform_start_thread; how many started. Call once, before
    // the first input.
    unsigned start(unsigned threads) {
        threads_.reserve(threads);
        for (unsigned i = 0; i < threads; ++i) {
            worker work = make_();
            std::thread t;
            if (!platform_start_thread(
                    t, [this, work]() mutable { run(work); },
                    [this](std::exception_ptr e) { fail(std::move(e)); }))
                break;
            threads_.push_back(std::move(t));
        }
        if (threads_.empty()) inline_ = make_();
        return static_cast<unsigned>(threads_.size());
    }

    // Puts one item into the batch being filled: `put(in)` adds it to `in`, which is the batch of a slot
    // taken and cleared first when none is being filled (waiting for room, delivering what is done
    // meanwhile). `put` adds exactly one item, or throws having added none. The batch is submitted once it
    // holds `batch` items; finish() and end() submit one that holds fewer. Not mixed with next().
    template <typename Put>
    void add(Put&& put) {
        if (filling_ == nullptr) {
            Input& in = next();
            in.clear();
            filling_ = &in;
        }
        put(*filling_);
        if (++filled_ == batch_) submit_filling();
    }

    // Submits the batch add() is filling, if any, before it holds `batch` items: the caller's own measure of
    // it says it is full.
    void submit_batch() {
        if (filled_ != 0) submit_filling();
    }

    // The input of the next slot, to be filled and then submitted; waits for room, delivering what is done
    // meanwhile.
    Input& next() {
        throw_if_failed();
        deliver_done();
        while (submitted_ - delivered_ == slots_.size()) deliver_head();
        return slots_[submitted_ % slots_.size()].in;
    }

    // Hands on the input that next() gave.
    void submit() {
        slot& s = slots_[submitted_ % slots_.size()];
        if (threads_.empty()) work_on(inline_, s);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (threads_.empty()) s.done = true;
            ++submitted_;
        }
        if (threads_.empty())
            deliver_done();
        else
            queued_.notify_one();
    }

    // Submits the batch add() is filling, if any, and delivers every output still in flight; throws what a
    // worker, or a thread, failed with. The threads stay for more inputs.
    void finish() {
        if (filled_ != 0) submit_filling();
        while (delivered_ != submitted_) deliver_head();
        std::lock_guard<std::mutex> lock(mutex_);
        if (error_) std::rethrow_exception(error_);
    }

    // finish(), then stop() and throw_if_failed(): the end of a stage that is not used again. With the
    // threads joined, a thread that failed before taking any input (out of memory as it started) fails the
    // call even when the others did all the work first, so the outcome never depends on how the threads were
    // scheduled.
    void end() {
        finish();
        stop();
        throw_if_failed();
    }

    // Stops and joins the threads; what is in flight is dropped. Throws nothing.
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_all();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

    // Throws what made a thread fail outside its work, if one did (once the threads are stopped, also a
    // failure after its thread's last input).
    void throw_if_failed() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (error_) std::rethrow_exception(error_);
    }

    unsigned threads() const { return static_cast<unsigned>(threads_.size()); }

  private:
    struct slot {
        Input in;
        Output out;
        bool done = false;
        std::exception_ptr error;  // what its worker threw
    };

    // Submits the batch add() filled. Forgotten first: should the delivery throw, no later call submits it
    // again.
    void submit_filling() {
        filling_ = nullptr;
        filled_ = 0;
        submit();
    }

    // Works one slot; its worker's exception is kept in it.
    static void work_on(worker& work, slot& s) {
        try {
            work(s.in, s.out);
        } catch (...) {
            s.error = std::current_exception();
        }
    }

    // A thread: takes the inputs in order and works them until stopped.
    void run(worker& work) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return stopping_ || taken_ != submitted_; });
            if (stopping_) return;
            const std::uint64_t index = taken_++;
            slot& s = slots_[index % slots_.size()];
            lock.unlock();
            work_on(work, s);
            lock.lock();
            s.done = true;
            if (index == delivered_) done_.notify_one();
        }
    }

    void fail(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::move(error);
        done_.notify_all();
    }

    // Delivers the oldest input's output once it is done.
    void deliver_head() {
        slot& s = slots_[delivered_ % slots_.size()];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            done_.wait(lock, [this, &s] { return s.done || error_; });
            take(s);
        }
        deliver_(s.in, s.out);
    }

    // Delivers the outputs that are done, oldest first, without waiting.
    void deliver_done() {
        while (delivered_ != submitted_) {
            slot& s = slots_[delivered_ % slots_.size()];
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!s.done && !error_) return;
                take(s);
            }
            deliver_(s.in, s.out);
        }
    }

    // Counts `s`, which is done, as delivered; throws the stage's failure, or its worker's exception, which
    // then becomes the stage's: nothing after it is delivered. `mutex_` is held.
    void take(slot& s) {
        if (error_) std::rethrow_exception(error_);
        s.done = false;
        ++delivered_;
        if (s.error) {
            error_ = std::exchange(s.error, nullptr);
            std::rethrow_exception(error_);
        }
    }

    std::vector<slot> slots_;   // input i in slot i % size
    std::size_t batch_ = 1;     // items in a batch that add() submits
    Input* filling_ = nullptr;  // the batch add() fills, in the slot next() gave; null when none is
    std::size_t filled_ = 0;    // items add() put into it
    worker_maker make_;
    delivery deliver_;
    worker inline_;  // the work of the calling thread, when no thread started
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable queued_;  // an input was submitted, or the threads are to stop
    std::condition_variable done_;    // the oldest input in flight was worked, or a thread failed
    std::uint64_t submitted_ = 0;     // inputs submitted (changed by the calling thread, under the lock)
    std::uint64_t taken_ = 0;         // inputs a thread took
    std::uint64_t delivered_ = 0;     // outputs delivered (changed by the calling thread, under the lock)
    bool stopping_ = false;
    std::exception_ptr error_;  // what made a thread fail outside its work
};
