// A run the tests drive as one object: the settings and the state of the current database side by side,
// so that a test sets a switch and reads a record through the same name. Where both hold a member of one
// name, the name means the run's: the path being read and the report's header state.
#pragma once

#include "notifications/database_state.h"
#include "notifications/selk_options.h"
#include "platform/threads.h"

struct test_run : selk_options, selk_run {
    // With the helper threads the driver gives a run, so that the tests read as the tool does.
    test_run() : selk_options(), selk_run(static_cast<selk_options&>(*this)) {
        selk_run::threads = share_helper_threads(platform_helper_threads());
    }

    using selk_run::db_path;
    using selk_run::header_fields;
    using selk_run::header_on;
};
