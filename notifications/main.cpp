// The process entry: the whole run lives in the driver; its result is the exit status (-1 gives 255).
#include <cstdio>
#include <cstdlib>
#include <new>

#include "notifications/driver.h"
#include "platform/threads.h"

namespace {

// More than the C++ library's reserve for exceptions, which it allocates as the process starts: where this
// much cannot be had that reserve may be missing, and the first std::bad_alloc would end the process in
// std::terminate instead of reaching the run's handler.
constexpr std::size_t kStartRoom = std::size_t{256} << 10;

void say_out_of_memory() { std::fputs("out of memory: the report is incomplete\n", stderr); }

}  // namespace

int main(int argc, char* argv[]) {
    void* room = std::malloc(kStartRoom);
    if (room == nullptr) {
        say_out_of_memory();
        return -1;
    }
    std::free(room);
    // Before any thread: the run's threads then fit where the serial run fits.
    platform_prepare_threads();
    try {
        return selk_main(argc, argv);
    } catch (const std::bad_alloc&) {
        // Memory that ran out outside the run (reading the command line, say): said without allocating.
        say_out_of_memory();
        return -1;
    }
}
