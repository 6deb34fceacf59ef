// The context of one read of a database's tables, which every reader of them hands its rows on with: the
// run, the source, the row pipeline and what the read keeps from row to row; with the order the tables are
// read in and the signature text a row of a table is stamped with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "notifications/database_state.h"
#include "notifications/records.h"
#include "sqlite_format/table_schema.h"

class database_source;
class row_pipeline;

// The row callback's context: the run it reads for, the pipeline its notification rows go to, and what the
// callback keeps from row to row.
struct row_reader {
    row_reader(selk_run& database_run, const database_source& database, row_pipeline& notification_rows);

    selk_run& run;                         // the settings, and the store and layout the other rows go to
    const database_source& source;         // the database read, opened once
    row_pipeline& rows;                    // takes the notification rows of both readers unfilled
    std::uint32_t current_table_type = 0;  // kTable* of the rows the callback receives
    std::vector<unsigned> row_sizes;       // byte length of each value of the row being handed over
    std::vector<int> row_types;            // the library's type of each (sql_row::types)
    // When set, called before a failure is said on standard error, so that every notification handed to the
    // pipeline before it is in the report first.
    std::function<void()> flush;
    // The library's values reach the callback unpacked, as exec_rows lends them (set while the
    // notification rows are read: the pipeline reads them by their sizes).
    bool borrow_values = false;

    // Of the table being read: the rows the callback was given, so that a read the library breaks off can
    // find them again and go on after the last one.
    std::uint64_t table_rows = 0;

    // The signature text of the last schema whose rows were stamped, with what it was worked out for.
    struct signature_cache {
        bool known = false;
        const table_schema* schema = nullptr;
        std::uint64_t mask = 0;
        std::size_t fields = 0;
        std::string text;
    };
    signature_cache row_signature;
};

// The tables in reading order.
constexpr std::uint32_t kTableOrder[4] = {kTableNotification, kTableHandler, kTablePushChannel,
                                          kTableHandlerSettings};

// The facts of a table type (types are checked by the callers: a kind of the four).
const table_facts& facts_of(std::uint32_t table_type);

// The signature text of `schema` for the row being stamped, worked out again only when the schema differs
// from the last row's.
const std::string& row_signature(row_reader& reader, const table_schema& schema);
