// Starting the run's helper threads: a start the system refuses is a result, not an exception, and an
// exception that leaves a thread's work goes to a handler of the stage that started it, never to
// std::terminate. Also the allocator setting the threads need.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <thread>

// Starts `body` on a new thread held in `thread`. An exception that leaves `body` is handed to `failed`, on
// that thread; `failed` must not throw. `thread` holds no running thread on entry. False, with nothing
// started and `thread` untouched, when no thread can be had (the system refuses one, or there is no memory
// for it).
[[nodiscard]] bool platform_start_thread(std::thread& thread, std::function<void()> body,
                                         std::function<void(std::exception_ptr)> failed);

// The helper threads this machine gives a run besides its main thread: its cores less one (0 on one core).
unsigned platform_helper_threads();

// For tests: what a start does instead of the system's start. `refuse` fails it as the system does when it
// has no thread to give; `fail` starts a thread whose work throws std::bad_alloc before it begins, as when
// the thread runs out of memory.
enum class thread_start_outcome { start, refuse, fail };
using thread_start_hook = thread_start_outcome (*)();
// Sets the function asked before each start; null (the default) gives every start to the system.
void platform_set_thread_start_hook(thread_start_hook hook);

// Sets the C library up for the run's threads, so that they fit in the address space the serial run needs:
// stacks of kThreadStackSize for the threads started later (the default is the main thread's limit, 8 MiB),
// and, when the process has a limit on its address space or data, one allocator arena for all threads. A
// further arena reserves 64 MiB; where that cannot be had, each allocation of the thread became a mapping of
// its own. Without a limit the arenas stay, as threads allocating at once share one arena slowly. Call once
// at start, before any thread.
constexpr std::size_t kThreadStackSize = std::size_t{512} << 10;
void platform_prepare_threads();
