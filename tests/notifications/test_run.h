// A run the tests drive as one object: the settings and the state of the current database side by side,
// so that a test sets a switch and reads a record through the same name. Where both hold a member of one
// name, the name means the run's: the path being read and the report's header state.
#pragma once

#include <string>
#include <vector>

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

// The recovered notifications of the store as the report gets them (references decoded again from their
// files); one that does not decode again is a test failure, shown as a record with only its offset set.
inline std::vector<notification_record> recovered(selk_run& run) {
    std::vector<notification_record> out;
    std::string why, where;
    for (std::size_t i = 0; i < run.store.notifications.size(); ++i) {
        out.emplace_back();
        if (!run.store.notifications.record(i, out.back(), why, where)) {
            out.back() = notification_record();
            out.back().record_offset = run.store.notifications.reference(i).offset;
            out.back().payload = "not decoded again: " + why;
        }
    }
    return out;
}
