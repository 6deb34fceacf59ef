// Makes one thread start of a test fail, as the system does when it has no thread to give or as a thread
// that runs out of memory at once, through the hook every stage starts its threads by.
#pragma once

#include <atomic>

#include "platform/threads.h"

namespace thread_start_failure {

inline std::atomic<int> starts{0};         // starts asked for since the scope began
inline std::atomic<int> failing_start{0};  // which one fails (from 1); 0 none
inline std::atomic<thread_start_outcome> failure{thread_start_outcome::refuse};

inline thread_start_outcome nth_start() {
    const int n = ++starts;
    const int failing = failing_start.load();
    return failing == n || failing < 0 ? failure.load() : thread_start_outcome::start;
}

// While it lives, start `n` (counted from 1) of the process ends as `how`, and every start with -1; with 0
// every start is real and the starts are only counted.
class scope {
  public:
    scope(int n, thread_start_outcome how) {
        starts = 0;
        failing_start = n;
        failure = how;
        platform_set_thread_start_hook(&nth_start);
    }
    ~scope() { platform_set_thread_start_hook(nullptr); }
    scope(const scope&) = delete;
    scope& operator=(const scope&) = delete;
    int started() const { return starts.load(); }
};

}  // namespace thread_start_failure
