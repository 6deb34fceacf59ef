// What reading one database builds, kept apart from the run's settings: the layout of its tables (where
// they are, their schemas and the columns taken), the store of the records read or recovered with their
// indexes, and the run that holds both with the library connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "notifications/joined_tables.h"
#include "notifications/records.h"
#include "notifications/recovered_list.h"
#include "notifications/row_render.h"
#include "notifications/selk_options.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "sqlite_format/table_schema.h"

// Width of the derived application-name column before any handler widens it.
constexpr std::uint32_t kDefaultAppNameWidth = 22;

// Where a table's b-tree starts.
struct table_root {
    std::uint32_t page = 0;    // the root page number (0 when the table was not found)
    std::uint64_t offset = 0;  // that page's file offset
};

// The tables of the current database. Besides its columns each table schema holds, for this tool:
// column_mask, the columns the queries and fillers take (bit i = column i of the record kind);
// column_count, the number of bits in that mask. The schemas are set once the schema table is read and stay
// as they are for the whole read of the database: how a row's values map to the fields is worked out for
// the row (map_row_columns), the report reads each record's own mask, and the sorting of recovered records
// rebuilds schemas of its own.
class table_layout {
  public:
    table_layout();
    // The schemas, roots, the page size and the column names back to their start; the table names stay.
    void clear();

    table_schema schemas[4];      // kSchema* order
    table_root roots[4];          // kSchema* order
    std::string table_names[4];   // "notification", "notificationhandler", "wnspushchannel",
                                  // "handlersettings"
    std::uint32_t page_size = 0;  // of the current database (header value 1 is 65536)
    std::uint8_t reserved = 0;    // bytes reserved at the end of its every page, as its header says
    // The encoding the own reader reads texts in: the one the schema's texts read in.
    text_encoding texts = text_encoding::utf8;
    std::vector<std::string> column_names;  // column names of the first notification row
    // Every b-tree the schema table lists, in its order: root page and name (the tree check walks them all).
    std::vector<std::uint32_t> tree_roots;
    std::vector<std::string> tree_names;
    // The columns of each table as the report's joins count them: a notification is joined with its handler
    // or push channel only while that table has some. The schema's column count at first; once recovered
    // records of the table were merged, the count of the schema they were sorted with last.
    std::uint32_t join_columns[4] = {0, 0, 0, 0};
};

// A text of a handler, push channel or setting of this many bytes or more is taken into the store from
// where its reader holds it, never copied on the way.
constexpr std::size_t kLargeTextBytes = 64 * 1024;

// The records of the current database and their joins: handler by id, push channel by handler, settings
// by handler. The handlers, push channels and settings are kept as entries (joined_tables.h) whose texts
// the store holds once; the entries stay in place while more are added (double-ended queues). Each table's
// index is an array of its entries' positions ordered by handler id, then position, sorted on the first
// join after an entry was added: entries are added only on the reading thread while no formatter joins, and
// the first join sorts under a lock, so the formatters that join at once find the arrays sorted.
class notification_store {
  public:
    notification_store() = default;
    notification_store(const notification_store&) = delete;
    notification_store& operator=(const notification_store&) = delete;

    // Every record and index gone, the name width back to its default.
    void clear();

    // The record a row of `table_type` (kTableHandler, kTablePushChannel or kTableHandlerSettings; checked by
    // the callers) is filled into, new, as the tables are read; keep() then keeps it.
    sqlite_metadata& fresh_record(std::uint32_t table_type);
    // Keeps the record fresh_record gave last as an entry of its table and indexes it by its handler id.
    void keep(std::uint32_t table_type);
    // The same for a record filled elsewhere.
    void add_handler(const notification_handler_record& handler);
    void add_channel(const wns_push_channel_record& channel);
    void add_setting(const handler_settings_record& setting);

    // The joins of a handler id: its handler (the first added) and its first push channel added; null when
    // the id has none.
    const handler_entry* handler_for(std::uint64_t handler_id) const;
    const channel_entry* push_channel_for(std::uint64_t handler_id) const;
    // The settings text of a handler id, of its settings in the order they were added (put_setting_text);
    // empty when it has none.
    std::string settings_text(std::uint64_t handler_id) const;
    // The same text in pieces.
    void put_settings_text(text_sink& out, std::uint64_t handler_id) const;

    // The recovered notifications (and those of loose pages), until they are written; the live ones go to
    // the report as they are read (row_pipeline).
    recovered_notifications notifications;
    // The entries in the order they were added; add them through add_handler, add_channel and add_setting.
    std::deque<handler_entry> handlers;
    std::deque<channel_entry> push_channels;
    std::deque<setting_entry> settings;
    // The padded name column's width: the longest derived name of a handler that a live notification refers
    // to (app_name_widening), found before the notifications are written.
    std::uint32_t app_name_width = kDefaultAppNameWidth;
    // The handlers' time texts that name no date, as said already (column, text and handler).
    std::set<std::string> noted_times;
    // Set once a handler, push channel or setting holds a text of kLargeTextBytes or more: the rows that
    // join it then go to the report in pieces from the reading thread (row_pipeline), never into a batch.
    bool large_texts = false;

  private:
    // The indexes sorted, when an entry was added since they last were.
    void sort_indexes() const;

    text_blocks texts_;  // the entries' texts
    // Positions in handlers, push_channels and settings, by handler id and position once sorted.
    mutable std::vector<std::uint32_t> handler_order_, channel_order_, setting_order_;
    mutable std::atomic<bool> sorted_{true};
    mutable std::mutex sorting_;
    // The records rows are filled into before they are kept.
    notification_handler_record handler_;
    wns_push_channel_record channel_;
    handler_settings_record setting_;
};

// The settings text of a handler in pieces (notification_store::put_settings_text).
class settings_text : public text_source {
  public:
    settings_text(const notification_store& store, std::uint64_t handler_id)
        : store_(store), handler_id_(handler_id) {}
    void put_to(text_sink& out) const override { store_.put_settings_text(out, handler_id_); }

  private:
    const notification_store& store_;
    std::uint64_t handler_id_;
};

// The helper threads of a run, shared out once by the driver from those the machine gives it
// (platform_helper_threads): each parallel step takes only its own share. The formatters and the decoders
// work at once only under "-carve", where the reading thread mostly waits on them, so their shares may add
// up to more than the helpers (measured: 4 formatters and 3 decoders on eight cores beat larger counts and
// lose little to smaller ones). 0 everywhere keeps all work on the reading thread. Threads never change the
// report.
struct thread_shares {
    unsigned formatters = 0;  // formatter threads of the notification rows (row_pipeline)
    unsigned decoders = 0;  // threads that decode the leaves of a large table (the own table walk); once the
                            // tables are read, they format recovered rows beside the formatters
    unsigned scan = 0;      // 1 when the slack scan may run on a thread of its own
    unsigned checkers = 0;  // threads that check the leaves of the trees, before any table is read
    unsigned carvers = 0;  // threads that look for records in the chunks the slack scan or -parse_chunk reads
};
// The shares of `helpers` helper threads.
thread_shares share_helper_threads(unsigned helpers);

// A notification row whose values come to this many bytes is too large to copy on its way to the report: it
// is written on the reading thread from where the reader holds it, its payload referenced, not copied.
constexpr std::size_t kLargeRowBytes = 64 * 1024;

// One run of the tool over its databases: the settings it was given, read-only, and what the run finds and
// changes as it goes: the state of the current database and the report's header.
class selk_run {
  public:
    explicit selk_run(const selk_options& run_options);
    selk_run(const selk_run&) = delete;
    selk_run& operator=(const selk_run&) = delete;

    // Ready for the next database: closes the binding when open, clears the layout and the store, the
    // incomplete-tables mark and input_read, and takes carve_switch from the options again.
    void clear_after_each_iteration();

    // Where the report's rows go through the row model: its header state below.
    report_header header() { return report_header{&header_on, &header_fields}; }

    const selk_options& options;  // the settings of the run, never written once parsed
    std::string db_path;          // the database (or file of pages) being read, as its read expanded it
    table_layout layout;
    notification_store store;
    sqlite_wrapper sqlite;       // the binding; sqlite.is_open while a database is open
    std::stringstream messages;  // SQL error texts of the library path
    // Set when the library failed part of the way through a table of the current database, the own reader
    // skipped a page of one, or a companion could not be read: the rows read are kept and printed, but the
    // run did not read everything.
    std::uint8_t tables_incomplete = 0;
    std::uint8_t input_read = 0;  // 1 once the tables of the current database were read
    // "-carve" as the slack scan of the current database is to take it: the option's value, cleared when the
    // live rows came from the log's image (their valid frames are then read already).
    std::uint8_t carve_switch = 0;
    bool header_on;                              // the report's header is still due (from the options)
    std::vector<qm_variant_lite> header_fields;  // the header template the report's rows are laid out by
    // The helper threads the run may start besides the reading thread, set once by the driver.
    thread_shares threads;
    // Where a notification row is too large to copy (kLargeRowBytes; the tests lower it).
    std::size_t large_row_bytes = kLargeRowBytes;
};
