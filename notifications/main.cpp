// The process entry: the whole run lives in the driver; its result is the exit status (-1 gives 255).
#include "notifications/driver.h"
#include "platform/threads.h"

int main(int argc, char* argv[]) {
    // Before any thread: the run's threads then fit where the serial run fits.
    platform_prepare_threads();
    return selk_main(argc, argv);
}
