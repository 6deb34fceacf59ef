#include "notifications/row_pipeline.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "notifications/library_path.h"
#include "test_run.h"
#include "thread_start_failure.h"

namespace fx = notification_fixtures;

namespace {

// Enough notifications, with payloads of many lengths, that the rows outnumber the serial start and the
// table spans more leaves than a walk decodes on one thread.
constexpr int kRows = static_cast<int>(row_pipeline::kSerialRows) + 3000;

void make_large_db(const std::string& path) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA secure_delete=OFF;");
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::insert_handler(db, 69, "Fabrikam.Chat_8wekyb3d8bbwe!App");
    fx::exec(
        db, "INSERT INTO HandlerSettings VALUES(68, 's:toast', 1), (68, 's:banner', 0), (68, 's:badge', 7);");
    fx::exec(db, "BEGIN;");
    for (int i = 0; i < kRows; ++i) {
        // Handler 70 (not in its table) only past the rows written before the formatter threads start.
        const int handler = i > kRows - 1000 && i % 100 == 0 ? 70 : i % 3 == 0 ? 69 : 68;
        fx::insert_notification(
            db, 1 + i, 5000 + i, handler, i % 5 == 0 ? "tile" : "toast",
            "<toast><text>row " + std::to_string(i) + std::string(i % 97, 'x') + "</text></toast>", {},
            132521874959020000LL + i * 7777777LL);
    }
    fx::exec(db, "COMMIT;");
    // Deleted rows leave free blocks for the slack scan of "-carve".
    fx::exec(db, "DELETE FROM Notification WHERE [Order] % 50 = 7;");
    sqlite3_close(db);
}

// The right-most leaf under the notification table's root no longer reads as a page: the library breaks off
// part-way through the table.
void break_last_notification_leaf(const std::string& db) {
    std::uint32_t root = 0;
    {
        sqlite3* conn = fx::open_db(db);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(conn, "SELECT rootpage FROM sqlite_master WHERE name = 'Notification';",
                                     -1, &st, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(conn);
    }
    std::vector<std::uint8_t> bytes = fx::read_all(db);
    const std::size_t root_at = (root - 1) * 4096u;
    ASSERT_EQ(bytes.at(root_at), 5);
    const std::uint32_t last = (bytes[root_at + 8] << 24) | (bytes[root_at + 9] << 16) |
                               (bytes[root_at + 10] << 8) | bytes[root_at + 11];
    bytes.at((last - 1) * 4096u) = 0x44;
    ASSERT_TRUE(fx::write_all(db, bytes));
}

struct report {
    std::string text;             // the whole report stream
    std::string at_flush;         // the report when a failure was about to be said (empty when none)
    unsigned threads = 0;         // formatter threads that ran
    std::uint8_t incomplete = 0;  // a table broke off
};

// The report of one database as the tool writes it, with `threads` formatter threads: the notification rows
// of either reader reach the pipeline as their values and are filled where they are formatted; those of
// `large_row` bytes and more are written at once, their payloads in pieces.
report run(const std::string& db, const std::vector<std::string>& extra, int threads,
           std::size_t large_row = kLargeRowBytes) {
    test_run t;
    t.large_row_bytes = large_row;
    std::vector<std::string> args = {"selk", "-db", db, "-quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(parse_selk_options(t, args), 1);
    report r;
    std::ostringstream os;
    {
        record_writer live(os, t);
        row_pipeline rows(os, t, live, threads);
        std::string path = db;
        unsigned source_code = 0;
        table_read_events events;
        events.flush = [&rows, &r, &os] {
            rows.drain();
            r.at_flush = os.str();
        };
        EXPECT_EQ(read_database_tables(t, path, rows, events, &source_code), 1);
        rows.finish();
        // Every notification of the table went through the pipeline.
        EXPECT_GT(rows.rows_seen(), row_pipeline::kSerialRows);
        EXPECT_TRUE(t.store.notifications.empty());
        r.threads = rows.threads_started();
    }
    r.text = os.str();
    r.incomplete = t.tables_incomplete;
    return r;
}

TEST(RowPipeline, ParallelReportEqualsTheSerialOne) {
    fx::temp_dir dir;
    const std::string db = dir.file("large.db");
    make_large_db(db);
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"-csv", "-all_fields"}, {"-carve"}, {"-csvl2t"}, {"-bodyfile"}}) {
        const report serial = run(db, extra, 0);
        const report parallel = run(db, extra, 3);
        EXPECT_EQ(serial.threads, 0u);
        EXPECT_EQ(parallel.threads, 3u) << (extra.empty() ? "default" : extra[0]);
        EXPECT_GT(serial.text.size(), static_cast<std::size_t>(kRows) * 100);
        EXPECT_TRUE(serial.text == parallel.text) << (extra.empty() ? "default" : extra[0]);
    }
}

TEST(RowPipeline, RowsBeforeABrokenLeafAreInTheReportBeforeTheFailure) {
    fx::temp_dir dir;
    const std::string db = dir.file("damaged.db");
    make_large_db(db);
    ASSERT_NO_FATAL_FAILURE(break_last_notification_leaf(db));

    const report serial = run(db, {}, 0);
    const report parallel = run(db, {}, 3);
    EXPECT_EQ(parallel.threads, 3u);
    EXPECT_EQ(serial.incomplete, 1);
    EXPECT_EQ(parallel.incomplete, 1);
    EXPECT_GT(serial.text.size(), static_cast<std::size_t>(row_pipeline::kSerialRows) * 100);
    EXPECT_TRUE(serial.text == parallel.text);
    // Every row read before the failure was in the report when the failure was said.
    EXPECT_TRUE(parallel.at_flush == parallel.text);
}

// Rows of the library and of the own reader ("-carve") handed on unfilled, filled where they are formatted:
// one line for each live row of the table (the delimited forms), the same on one thread and on three.
TEST(RowPipeline, RawRowsGiveTheSameReport) {
    fx::temp_dir dir;
    const std::string db = dir.file("large.db");
    make_large_db(db);
    std::size_t live = 0;
    for (int order = 1; order <= kRows; ++order) live += order % 50 == 7 ? 0 : 1;
    for (const std::vector<std::string>& extra : {std::vector<std::string>{},
                                                  {"-csv", "-all_fields"},
                                                  {"-csv", "-no_whitespace"},
                                                  {"-csv", "-incl_settings"},
                                                  {"-csvl2t"},
                                                  {"-csvl2t", "-enable_quoted_csv_fields"},
                                                  {"-bodyfile"},
                                                  {"-carve"},
                                                  {"-carve", "-csv", "-no_whitespace"},
                                                  {"-carve", "-csvl2t"},
                                                  {"-carve", "-bodyfile"}}) {
        const std::string name = extra.empty() ? "default" : extra[0] + (extra.size() > 1 ? extra[1] : "");
        // An l2t line for each distinct time of a row; one line a row in the other forms.
        const bool l2t = std::find(extra.begin(), extra.end(), "-csvl2t") != extra.end();
        const report serial = run(db, extra, 0);
        const report parallel = run(db, extra, 3);
        EXPECT_EQ(parallel.threads, 3u) << name;
        EXPECT_TRUE(parallel.text == serial.text) << name;
        if (!l2t) {
            const std::size_t lines =
                static_cast<std::size_t>(std::count(serial.text.begin(), serial.text.end(), '\n'));
            EXPECT_EQ(lines, live + 1) << name;  // the header and each row
        }
        if (extra.size() > 1 && extra[1] == "-incl_settings") {
            EXPECT_NE(parallel.text.rfind(",Contoso.Mail,"), std::string::npos);
            EXPECT_NE(parallel.text.rfind(",[\"s:toast\":\"1\"; \"s:badge\":\"7\"]\n"), std::string::npos);
        }
    }
}

// Payloads whose text each form rewrites (separators, quotes, line breaks and the blanks after them, control
// bytes, a zero byte, nothing left at all) in rows before and after the formatter threads start, some of
// them long enough to run over many pages (and to take the storage of the own walk's payload).
void make_payload_db(const std::string& path) {
    static const char* const kPayloads[] = {"<toast><text>commas, and more,</text></toast>",
                                            "\"opens with a quote\" and \"\"",
                                            "pipes|and || a | separator",
                                            "line\nnext\r\n   last\r\t\tend",
                                            "\x01\x1b[31m\x7f \xC2\x85 \xC2\xA0 caf\xC3\xA9 \xC2",
                                            "\t\t\r\n",
                                            "stops\0 at a zero byte",
                                            "x"};
    constexpr int kCount = sizeof kPayloads / sizeof kPayloads[0];
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=1024; PRAGMA secure_delete=OFF;");
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(db, "INSERT INTO HandlerSettings VALUES(68, 's:toast', 1);");
    fx::exec(db, "BEGIN;");
    for (int i = 0; i < static_cast<int>(row_pipeline::kSerialRows) + 400; ++i) {
        const char* p = kPayloads[i % kCount];
        // sizeof of a literal would count its zero bytes too: the one inside, not the closing one.
        std::string payload(p, i % kCount == 6 ? 22 : std::strlen(p));
        if (i % 9 == 4) payload += std::string(static_cast<std::size_t>(900 + 300 * (i % 5)), 'y') + p;
        if (i % 97 == 13) payload = std::string(70000 + i, 'z') + payload + std::string(5000, ',');
        fx::insert_notification(db, 1 + i, 5000 + i, 68, "toast", payload, {}, 132521874959020000LL + i);
    }
    fx::exec(db, "COMMIT;");
    sqlite3_close(db);
}

// A row too large to copy is written from the reader's bytes, on the reading thread, its payload in pieces:
// the report is the one the rows copied whole give, in every form, whichever rows are large and whether
// threads format the others.
TEST(RowPipeline, RowsTooLargeToCopyGiveTheReportOfTheRowsCopied) {
    fx::temp_dir dir;
    const std::string db = dir.file("payloads.db");
    ASSERT_NO_FATAL_FAILURE(make_payload_db(db));
    for (const std::vector<std::string>& extra : {std::vector<std::string>{},
                                                  {"-csv"},
                                                  {"-csv", "-enable_quoted_csv_fields"},
                                                  {"-csv", "-no_whitespace", "-all_fields", "-incl_settings"},
                                                  {"-csvl2t"},
                                                  {"-csvl2t", "-enable_quoted_csv_fields"},
                                                  {"-bodyfile"},
                                                  {"-carve"},
                                                  {"-carve", "-csvl2t"}}) {
        std::string name;
        for (const std::string& e : extra) name += e;
        const report copied = run(db, extra, 0, static_cast<std::size_t>(-1));
        EXPECT_GT(copied.text.size(), 600000u) << name;
        for (const int threads : {0, 3}) {
            for (const std::size_t large : {std::size_t{1}, std::size_t{2000}, kLargeRowBytes}) {
                const report r = run(db, extra, threads, large);
                EXPECT_TRUE(r.text == copied.text) << name << " threads " << threads << " large " << large;
            }
        }
    }
}

// A batch on a formatter thread points to the column mapping of its walked rows while the reading thread
// adds more: none may move.
TEST(ColumnMappingList, AMappingKeepsItsPlaceWhileMoreAreAdded) {
    column_mapping_list list;
    std::vector<const row_columns*> added;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        row_columns columns;
        columns.order = {i, i + 1};
        columns.fill_mask = i;
        columns.signature = "fields " + std::to_string(i);
        added.push_back(&list.add(columns));
        // The mapping of the row before is kept, not added again.
        EXPECT_EQ(&list.add(columns), added.back());
    }
    for (std::uint32_t i = 0; i < added.size(); ++i) {
        ASSERT_EQ(added[i]->fill_mask, i);
        ASSERT_EQ(added[i]->order, (std::vector<std::uint32_t>{i, i + 1}));
        ASSERT_EQ(added[i]->signature, "fields " + std::to_string(i));
    }
}

// The own reader ("-carve") says the page it skips once every row before it is in the report.
TEST(RowPipeline, RawRowsBeforeAFailureAreInTheReportBeforeIt) {
    fx::temp_dir dir;
    const std::string db = dir.file("damaged.db");
    make_large_db(db);
    ASSERT_NO_FATAL_FAILURE(break_last_notification_leaf(db));
    const report serial = run(db, {"-carve"}, 0);
    const report parallel = run(db, {"-carve"}, 3);
    EXPECT_EQ(parallel.incomplete, 1);
    EXPECT_FALSE(parallel.at_flush.empty());
    EXPECT_TRUE(parallel.text == serial.text);
    EXPECT_TRUE(parallel.at_flush == parallel.text);
}

// Negative integers in a column read as text (the payload), before the formatter threads start and past it,
// print as the library gives them, not as the unsigned number of their bits.
TEST(RowPipeline, NegativeIntegersReadAsTextPrintAsTheLibraryGivesThem) {
    fx::temp_dir dir;
    const std::string db = dir.file("negative.db");
    make_large_db(db);
    sqlite3* conn = fx::open_db(db);
    // Order 11 is written before the threads start, the other two after.
    const std::string past = std::to_string(row_pipeline::kSerialRows + 905);
    const std::string farther = std::to_string(row_pipeline::kSerialRows + 1905);
    fx::exec(conn, "UPDATE Notification SET Payload = -5 WHERE [Order] IN (11, " + past + ");");
    fx::exec(conn, "UPDATE Notification SET Payload = -9223372036854775808 WHERE [Order] = " + farther + ";");
    sqlite3_close(conn);
    struct form_case {
        std::vector<std::string> extra;
        std::string small, smallest;  // the two payload cells as the form prints them
    };
    const std::vector<form_case> cases = {
        {{}, "| -5 ", "| -9223372036854775808 "},
        {{"-csv", "-all_fields"}, ",-5,", ",-9223372036854775808,"},
    };
    for (const form_case& c : cases) {
        const report r = run(db, c.extra, 3);
        EXPECT_EQ(r.threads, 3u);
        std::size_t small = 0;
        for (std::size_t at = r.text.find(c.small); at != std::string::npos;
             at = r.text.find(c.small, at + 1))
            ++small;
        EXPECT_EQ(small, 2u) << c.small;
        EXPECT_NE(r.text.find(c.smallest), std::string::npos) << c.smallest;
        EXPECT_EQ(r.text.find("18446744073709551611"), std::string::npos);
    }
}

// Whether a run with 3 formatter threads ends with std::bad_alloc; `text` gets what reached the report.
bool ends_out_of_memory(const std::string& db, const std::vector<std::string>& extra, std::string& text) {
    test_run t;
    std::vector<std::string> args = {"selk", "-db", db, "-quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(parse_selk_options(t, args), 1);
    std::ostringstream os;
    bool threw = false;
    try {
        record_writer live(os, t);
        row_pipeline rows(os, t, live, 3);
        std::string path = db;
        unsigned source_code = 0;
        table_read_events events;
        events.flush = [&rows] { rows.drain(); };
        (void)read_database_tables(t, path, rows, events, &source_code);
        rows.finish();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    text = os.str();
    return threw;
}

// Every start of a run's threads (the leaf decoders of "-carve", then the formatters) made to fail in turn: a
// thread that cannot be started leaves the report as one thread writes it; one that runs out of memory ends
// the run with std::bad_alloc after a first part of that report, and no thread is left running.
TEST(RowPipeline, ThreadsThatCannotStartOrThatFailNeverChangeTheReport) {
    fx::temp_dir dir;
    const std::string db = dir.file("large.db");
    make_large_db(db);
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"-carve"}, {"-csvl2t"}, {"-bodyfile"}, {"-carve", "-csvl2t"}}) {
        const std::string name = extra.empty() ? "default" : extra[0] + (extra.size() > 1 ? extra[1] : "");
        const report serial = run(db, extra, 0);
        int starts = 0;
        {
            thread_start_failure::scope counting(0, thread_start_outcome::refuse);
            EXPECT_TRUE(run(db, extra, 3).text == serial.text) << name;
            starts = counting.started();
        }
        EXPECT_GE(starts, 3) << name;
        for (int n = 1; n <= starts; ++n) {
            {
                thread_start_failure::scope refused(n, thread_start_outcome::refuse);
                const report r = run(db, extra, 3);
                EXPECT_TRUE(r.text == serial.text) << name << " start " << n;
            }
            thread_start_failure::scope failing(n, thread_start_outcome::fail);
            std::string partial;
            EXPECT_TRUE(ends_out_of_memory(db, extra, partial)) << name << " start " << n;
            EXPECT_EQ(serial.text.compare(0, partial.size(), partial), 0) << name << " start " << n;
        }
    }
}

}  // namespace
