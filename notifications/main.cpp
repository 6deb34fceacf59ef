// The process entry: the whole run lives in the driver; its result is the exit status (-1 gives 255).
#include "notifications/driver.h"

int main(int argc, char* argv[]) { return selk_main(argc, argv); }
