// What the rows of a report read of the run, and nothing they may change: the settings, the path of the
// database, the header template the rows are laid out by, the tables' join columns and the store of
// records as it stands. The reading thread makes it; the rows' writers take only this, so a formatter
// thread can read the run and write none of it.
#pragma once

#include <string>
#include <vector>

#include "common/variant.h"
#include "notifications/database_state.h"
#include "notifications/selk_options.h"

struct report_view {
    explicit report_view(const selk_run& run)
        : options(run.options),
          db_path(run.db_path),
          header_fields(run.header_fields),
          layout(run.layout),
          store(run.store) {}

    const selk_options& options;
    const std::string& db_path;                         // the database being read, as its read expanded it
    const std::vector<qm_variant_lite>& header_fields;  // the template of the header line the rows follow
    const table_layout& layout;                         // the tables' join columns
    const notification_store& store;                    // the records and their indexes
};
