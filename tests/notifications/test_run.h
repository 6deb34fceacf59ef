// A run the tests drive as one object: the settings and the state of the current database side by side,
// so that a test sets a switch and reads a record through the same name.
#pragma once

#include "notifications/database_state.h"
#include "notifications/selk_options.h"

struct test_run : selk_options, selk_run {
    test_run() : selk_options(), selk_run(static_cast<selk_options&>(*this)) {}
};
