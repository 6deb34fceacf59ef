#include "platform/threads.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <new>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define SELK_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SELK_THREAD_SANITIZER 1
#endif
#endif

namespace {

std::atomic<thread_start_hook> start_hook{nullptr};

}  // namespace

bool platform_start_thread(std::thread& thread, std::function<void()> body,
                           std::function<void(std::exception_ptr)> failed) {
    const thread_start_hook hook = start_hook.load();
    const thread_start_outcome outcome = hook != nullptr ? hook() : thread_start_outcome::start;
    if (outcome == thread_start_outcome::refuse) return false;
    const bool fail_at_once = outcome == thread_start_outcome::fail;
    try {
        // std::thread throws std::system_error when the system has no thread, std::bad_alloc when the copies
        // of the work cannot be made.
        thread = std::thread([body = std::move(body), failed = std::move(failed), fail_at_once] {
            try {
                if (fail_at_once) throw std::bad_alloc();
                body();
            } catch (...) {
                failed(std::current_exception());
            }
        });
    } catch (...) {
        return false;
    }
    return true;
}

unsigned platform_helper_threads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? cores - 1 : 0;
}

void platform_set_thread_start_hook(thread_start_hook hook) { start_hook.store(hook); }

void platform_prepare_threads() {
#ifdef M_ARENA_MAX
    rlimit space{}, data{};
    const bool limited = (getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) ||
                         (getrlimit(RLIMIT_DATA, &data) == 0 && data.rlim_cur != RLIM_INFINITY);
    if (limited) (void)mallopt(M_ARENA_MAX, 1);
#endif
#ifdef SELK_THREAD_SANITIZER
    // The race detector keeps each thread's state in static TLS, carved from the thread's stack and larger
    // than the small stacks: with them no thread would start, and the run would never be checked threaded.
    return;
#endif
    // A failure leaves the default stacks: the threads then need more address space, nothing else changes.
    pthread_attr_t attr;
    if (pthread_getattr_default_np(&attr) != 0) return;
    if (pthread_attr_setstacksize(&attr, kThreadStackSize) == 0) (void)pthread_setattr_default_np(&attr);
    pthread_attr_destroy(&attr);
}
