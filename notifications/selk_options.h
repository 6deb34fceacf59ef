// The options object that carries one run of the tool: the common options, the tool's own switches, the
// SQLite binding, the four table schemas of the notification database and the four record vectors that
// the analysis fills and the report prints.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "aux/sql_types/sql_pull_types.h"
#include "io/cmd_params.h"
#include "notifications/records.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "sqlite_format/table_schema.h"

// Indexes of selk_options::switches.
constexpr int kSwitchInput = 0;       // a database path is at hand ("-db", "-pipe", "-enumdir", or read)
constexpr int kSwitchAllFields = 1;   // "-all_fields"
constexpr int kSwitchSlack = 2;       // slack recovery ("-incl_slack" or "-carve"); the driver reads this one
constexpr int kSwitchSlackCopy = 3;   // second copy of kSwitchSlack, set with it
constexpr int kSwitchSettings = 4;    // "-incl_settings": handler settings read and reported too
constexpr int kSwitchCarve = 5;       // "-carve": tables read with the own page reader
constexpr int kSwitchParseChunk = 6;  // "-parse_chunk"
constexpr int kSwitchPerTableFiles = 7;  // per-table report files; no switch sets it

// Positions of the four table schemas and table names.
constexpr int kSchemaNotification = 0;
constexpr int kSchemaHandler = 1;
constexpr int kSchemaPushChannel = 2;
constexpr int kSchemaHandlerSettings = 3;

// Width of the derived application-name column before any handler widens it.
constexpr std::uint32_t kDefaultAppNameWidth = 22;

// Besides its columns each table schema holds, for this tool: column_mask, the columns the queries and
// fillers take (bit i = column i of the record kind); column_count, the number of bits in that mask;
// user_value_a, the file offset of the table's root page; user_value_b, the root page number (0 when the
// table was not found).
class selk_options : public cmd_params {
  public:
    // cmd_params, every own member, then clear().
    selk_options();
    ~selk_options() override;
    selk_options(const selk_options&) = delete;
    selk_options& operator=(const selk_options&) = delete;

    // Everything of the tool back to its start state (then clear_after_each_iteration).
    void clear();
    // Ready for the next database: closes the binding when open, clears the schemas, the table type, the
    // column names, the record vectors, the set and maps, the name width, the incomplete-tables mark, and
    // switch [kSwitchInput] only.
    void clear_after_each_iteration();

    sqlite_wrapper sqlite;                  // the binding; sqlite.is_open while a database is open
    std::string db_path;                    // "-db" value, or the current path of a "-pipe"/"-enumdir" run
    std::string spare_text;                 // emptied by clear
    std::stringstream messages;             // SQL error texts of the library path
    std::ostream* report_stream;            // the results file's stream when "-out" names one; else null
    generic_sql_pull sql_pull;              // never filled by this tool
    std::uint8_t switches[8];               // kSwitch* bytes
    std::uint32_t page_size;                // of the current database (header value 1 is 65536)
    std::int64_t recogniser_switches;       // bit 0 notification rows, 1 handler rows, 2 push-channel rows
    table_schema schemas[4];                // kSchema* order
    std::uint32_t current_table_type;       // kTable* of the rows the row callback receives; 0 after a reset
    std::vector<std::string> column_names;  // column names of the first notification row
    std::vector<notification_record> notifications;
    std::set<std::uint64_t> referenced_handlers;  // handler ids that some notification refers to
    std::vector<notification_handler_record> handlers;
    std::map<std::uint64_t, std::size_t> handler_index;  // handler id -> index in handlers (first kept)
    std::uint32_t app_name_width;  // longest derived name of a referenced handler in padded output
    std::vector<wns_push_channel_record> push_channels;
    std::multimap<std::uint64_t, std::size_t> push_channel_index;  // handler id -> index in push_channels
    std::vector<handler_settings_record> settings;
    std::multimap<std::uint64_t, std::size_t> settings_index;  // handler id -> index in settings
    std::string table_names[4];       // "notification", "notificationhandler", "wnspushchannel",
                                      // "handlersettings"
    std::uint8_t verify;              // "-verify"
    std::vector<unsigned> row_sizes;  // byte length of each value of the row handed to the row callback
    // Set when the library failed part of the way through a table of the current database: the rows it
    // delivered are kept and printed, but the run did not read everything. Cleared for each database.
    std::uint8_t tables_incomplete = 0;
    // When set, the reading of the tables hands each notification to this sink as it is read, after the
    // other tables, instead of keeping it in `notifications` (which then stays empty, unless the table could
    // not be read that way). The caller sets and clears it; the per-database reset keeps it.
    std::function<void(notification_record&)> notification_sink;
    // When set, called before a failure is said on standard error, so that every notification handed to the
    // sink before it is in the report first.
    std::function<void()> notification_flush;
    notification_record notification_scratch;  // the notification being handed to the sink

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

// Reads the tool's switches after the common options. 1 when the options are usable: "-pipe" or
// "-enumdir" (with a folder) is on, or "-db" has a value; 0 when the common options are refused, no input
// is named, an argument is left that is neither a known switch nor a switch's value (each such argument is
// named on standard error), or "-out" or "-diags" names the database or its "-wal" or "-journal" companion
// (checked before either file is opened, with a message). The "-diags" log is opened only once everything
// is accepted, so a refused command line changes no file. Switches taken are removed from `args`.
int parse_selk_options(selk_options& options, std::vector<std::string>& args);

// Which output would land on what a run reads: "-out" or "-diags" when that file is `db_path` or its
// "-wal" or "-journal" companion (same device and inode, or, where neither exists, the same absolute
// path); `input` then names the file it would write over. Null, `input` empty, when neither does or
// `db_path` is empty.
const char* output_on_input(const std::string& out_file, const std::string& diags_path,
                            const std::string& db_path, std::string& input);
// "results" or "diagnostics" when a listed path is the run's results file or diagnostics log; else null.
const char* own_output_named(const cmd_params& options, const std::string& path);
