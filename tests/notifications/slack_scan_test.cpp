// The slack scan of a notification database and its companions, and the parser of loose pages, on
// databases written with the SQLite library.
#include "notifications/slack_scan.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "notifications/library_path.h"
#include "notifications/records.h"
#include "notifications/recovered.h"
#include "notifications/report_writer.h"
#include "notifications/row_pipeline.h"
#include "notifications/selk_options.h"
#include "recovery_fixtures.h"
#include "sqlite_format/database_source.h"
#include "test_run.h"
#include "thread_start_failure.h"

namespace {

using namespace recovery_fixtures;
using notification_fixtures::copy_file;
using notification_fixtures::exists;
using notification_fixtures::open_db;
using notification_fixtures::read_all;
using notification_fixtures::temp_dir;
using notification_fixtures::write_all;

const std::string kFixture = std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db";

void quiet(test_run& o) { o.show_progress = false; }

// The first recovered notification that carries `payload`; null when none does.
std::unique_ptr<notification_record> with_payload(const std::string& payload, test_run& o) {
    for (const notification_record& n : recovered(o))
        if (n.payload == payload) return std::make_unique<notification_record>(n);
    return nullptr;
}

std::set<unsigned> sources_of(const std::string& payload, test_run& o) {
    std::set<unsigned> s;
    for (const notification_record& n : recovered(o))
        if (n.payload == payload) s.insert(n.source_code());
    return s;
}

std::string describe(test_run& o) {
    std::string s;
    for (const notification_record& n : recovered(o))
        s += std::to_string(n.source_code()) + " rowid " + std::to_string(n.rowid) + " trunc " +
             std::to_string(n.truncated) + " @" + std::to_string(n.record_offset) + " " + n.type + " " +
             n.payload + "\n";
    return s;
}

// A database of two handlers and `rows` notifications (Order and Id from 1, payload_for(Order)).
void fill_db(sqlite3* db, int rows) {
    notification_fixtures::create_tables(db);
    insert_handler(db, 1, "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
    insert_handler(db, 2, "Windows.SystemToast.Calling");
    insert_push_channel(db, "1;5f6d2b8a", 1);
    for (int i = 1; i <= rows; ++i) insert_notification(db, i, 100 + i, 1 + i % 2, "toast", payload_for(i));
}

// ---------------------------------------------------------------------------------------------

TEST(ScanSlackRecords, DeletedNotificationsComeBackFromTheMainFile) {
    temp_dir dir;
    const std::string path = dir.file("wpndatabase.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    fill_db(db, 6);
    exec(db, "DELETE FROM Notification WHERE [Order] IN (2, 4);");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    ASSERT_FALSE(exists(path + "-journal"));

    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(path, false, 0, 0, 0, &o), 1);
    for (int deleted : {2, 4}) {
        const std::unique_ptr<notification_record> found = with_payload(payload_for(deleted), o);
        ASSERT_NE(found, nullptr) << deleted << "\n" << describe(o);
        const notification_record& n = *found;
        EXPECT_EQ(n.source_code(), kSourceMainSlack);
        EXPECT_EQ(n.type, "toast");
        EXPECT_EQ(n.id, 100u + deleted);
        EXPECT_EQ(n.handler_id, 1u + deleted % 2);
        EXPECT_EQ(n.arrival_time, static_cast<std::uint64_t>(kArrival + deleted));
        EXPECT_EQ(n.payload_type, "Xml");
        EXPECT_EQ(n.column_mask, kNotificationMask14);
        EXPECT_GT(n.record_offset, 4096u);
        // The freeblock header has overwritten the cell's start, so no rowid is guessed.
        EXPECT_EQ(n.rowid, 0u);
        EXPECT_EQ(n.order, 0u);
    }
    // Live rows are not slack.
    EXPECT_EQ(sources_of(payload_for(1), o), std::set<unsigned>{});
}

// The page of the Notification table's root (a leaf here): its bytes and its page number.
std::vector<std::uint8_t> notification_root_page(const std::string& path, sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    int root = 0;
    if (sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = 'Notification';", -1, &st,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        root = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    const std::vector<std::uint8_t> file = read_all(path);
    if (root < 2 || file.size() < static_cast<std::size_t>(root) * 4096) return {};
    return std::vector<std::uint8_t>(file.begin() + (root - 1) * 4096, file.begin() + root * 4096);
}

bool holds(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end,
           const std::string& text) {
    if (end > bytes.size() || begin >= end) return false;
    return std::search(bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(end),
                       text.begin(), text.end()) != bytes.begin() + static_cast<long>(end);
}

TEST(ScanSlackRecords, EveryDeletedRowOfALeafComesBackOnce) {
    // The rows are inserted from the page end downwards, so the highest Order sits at the start of the
    // content area. Deleting 11 and 12 folds both into the gap before the content; 3 and 7 become
    // freeblocks. Deleting every row leaves a leaf with no cells and its old content in place.
    struct leaf_case {
        const char* name;
        int rows;
        std::vector<int> deleted;
    };
    for (const leaf_case& c :
         {leaf_case{"freeblocks and gap", 12, {3, 7, 11, 12}}, leaf_case{"emptied leaf", 4, {1, 2, 3, 4}}}) {
        temp_dir dir;
        const std::string path = dir.file("wpndatabase.db");
        sqlite3* db = open_db(path);
        ASSERT_NE(db, nullptr);
        exec(db, "PRAGMA page_size=4096;");
        fill_db(db, c.rows);
        std::string in;
        for (int d : c.deleted) in += (in.empty() ? "" : ", ") + std::to_string(d);
        exec(db, "DELETE FROM Notification WHERE [Order] IN (" + in + ");");
        const std::vector<std::uint8_t> page = notification_root_page(path, db);
        ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
        // The page is what the case says.
        ASSERT_EQ(page.size(), 4096u) << c.name;
        ASSERT_EQ(page[0], 13) << c.name;
        const std::size_t cells = (page[3] << 8) | page[4];
        const std::size_t content = (page[5] << 8) | page[6];
        const std::size_t first_freeblock = (page[1] << 8) | page[2];
        EXPECT_EQ(cells, static_cast<std::size_t>(c.rows) - c.deleted.size()) << c.name;
        if (cells != 0) {
            EXPECT_NE(first_freeblock, 0u) << c.name;
            EXPECT_TRUE(holds(page, 8 + 2 * cells, content, payload_for(12))) << c.name;
        }

        test_run o;
        quiet(o);
        ASSERT_EQ(scan_slack_records(path, false, 0, 0, 0, &o), 1) << c.name;
        for (int d : c.deleted) {
            int found = 0;
            for (const notification_record& n : recovered(o)) {
                if (n.payload != payload_for(d)) continue;
                ++found;
                EXPECT_EQ(n.source_code(), kSourceMainSlack) << c.name << " " << d;
                EXPECT_EQ(n.type, "toast");
                EXPECT_EQ(n.id, 100u + d);
                EXPECT_EQ(n.arrival_time, static_cast<std::uint64_t>(kArrival + d));
            }
            EXPECT_EQ(found, 1) << c.name << " " << d << "\n" << describe(o);
        }
        for (int live = 1; live <= c.rows; ++live) {
            if (std::find(c.deleted.begin(), c.deleted.end(), live) != c.deleted.end()) continue;
            EXPECT_EQ(with_payload(payload_for(live), o), nullptr) << c.name << " " << live;
        }
    }
}

TEST(ScanSlackRecords, EachScanStartsFromAnEmptyNotificationVector) {
    temp_dir dir;
    const std::string path = dir.file("wpndatabase.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    fill_db(db, 4);
    exec(db, "DELETE FROM Notification WHERE [Order] = 3;");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);

    test_run o;
    quiet(o);
    o.store.notifications.push_back(notification_record());
    ASSERT_EQ(scan_slack_records(path, false, 0, 0, 0, &o), 1);
    const std::size_t first = o.store.notifications.size();
    ASSERT_GE(first, 1u);
    ASSERT_EQ(scan_slack_records(path, false, 0, 0, 0, &o), 1);
    EXPECT_EQ(o.store.notifications.size(), first);
    // With keep the second scan adds to the first.
    ASSERT_EQ(scan_slack_records(path, true, 0, 0, 0, &o), 1);
    EXPECT_EQ(o.store.notifications.size(), 2 * first);
}

TEST(ScanSlackRecords, NothingToScan) {
    temp_dir dir;
    test_run o;
    quiet(o);
    EXPECT_EQ(scan_slack_records("", false, 0, 0, 0, &o), 0);
    EXPECT_EQ(scan_slack_records(dir.file("absent.db"), false, 0, 0, 0, &o), 0);
    EXPECT_EQ(scan_slack_records(dir.file("absent.db"), false, 0, 0, 0, nullptr), 0);
    // A database with nothing deleted has no slack records.
    const std::string path = dir.file("clean.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    fill_db(db, 3);
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    EXPECT_EQ(scan_slack_records(path, false, 0, 0, 0, &o), 0) << describe(o);
    EXPECT_TRUE(o.store.notifications.empty());
}

// Rows that live only in the log: the tables are checkpointed empty, then commit 1 writes rows 1-3 and
// commit 2 rewrites the same page (row 4 added, then row 2 deleted). The writer stays open so the log stays.
class WalCompanion : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("wpndatabase.db");
        db_ = open_db(path_);
        ASSERT_NE(db_, nullptr);
        exec(db_, "PRAGMA page_size=4096;");
        exec(db_, "PRAGMA journal_mode=WAL;");
        exec(db_, "PRAGMA wal_autocheckpoint=0;");
        notification_fixtures::create_tables(db_);
        insert_handler(db_, 1, "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
        exec(db_, "PRAGMA wal_checkpoint(TRUNCATE);");
        exec(db_, "BEGIN;");
        for (int i = 1; i <= 3; ++i) insert_notification(db_, i, 200 + i, 1, "toast", payload_for(i));
        exec(db_, "COMMIT;");
        exec(db_, "BEGIN;");
        insert_notification(db_, 4, 204, 1, "badge", payload_for(4));
        exec(db_, "DELETE FROM Notification WHERE [Order] = 2;");
        exec(db_, "COMMIT;");
        ASSERT_TRUE(exists(path_ + "-wal"));
    }
    void TearDown() override {
        if (db_ != nullptr) sqlite3_close(db_);
    }

    temp_dir dir_;
    std::string path_;
    sqlite3* db_ = nullptr;
};

TEST_F(WalCompanion, SupersededFramesAndSlackOfValidPagesAreCarved) {
    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(path_, false, 0, 0, 0, &o), 1);
    // Commit 1's image of the page, superseded by commit 2's, holds rows 1-3 with their rowids.
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(sources_of(payload_for(i), o).count(kSourceWalSuperseded), 1u) << i << "\n" << describe(o);
    for (const notification_record& n : recovered(o)) {
        if (n.source_code() != kSourceWalSuperseded) continue;
        EXPECT_EQ(n.order, n.arrival_time - static_cast<std::uint64_t>(kArrival)) << describe(o);
        EXPECT_EQ(n.truncated, 0u);
    }
    // Row 2 was freed in the valid image of the page: its freeblock header hides the rowid.
    EXPECT_EQ(sources_of(payload_for(2), o).count(kSourceWalSlack), 1u) << describe(o);
    for (const notification_record& n : recovered(o)) {
        if (n.source_code() != kSourceWalSlack) continue;
        EXPECT_EQ(n.rowid, 0u);
        EXPECT_EQ(n.id, 202u);
    }
    // Without the valid-frames flag no valid frame is walked.
    for (const notification_record& n : recovered(o)) EXPECT_NE(n.source_code(), kSourceWalValid);
    EXPECT_TRUE(sources_of(payload_for(4), o).empty()) << describe(o);
}

TEST_F(WalCompanion, ValidFramesAreWalkedWithTheCarveFlag) {
    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(path_, false, 0, 0, 1, &o), 1);
    for (int live : {1, 3, 4}) {
        const std::set<unsigned> s = sources_of(payload_for(live), o);
        EXPECT_EQ(s.count(kSourceWalValid), 1u) << live << "\n" << describe(o);
    }
    for (const notification_record& n : recovered(o)) {
        if (n.source_code() != kSourceWalValid || n.payload != payload_for(4)) continue;
        EXPECT_EQ(n.type, "badge");
        EXPECT_EQ(n.order, 4u);
        EXPECT_EQ(n.id, 204u);
    }
    EXPECT_TRUE(sources_of(payload_for(2), o).count(kSourceWalSuperseded));
}

// What a run holds after a scan: its records and the schemas the sorting left.
std::string state_of(test_run& o) {
    std::string s = describe(o) + (o.store.notifications.empty() ? "" : recovered(o)[0].signature_text) +
                    " " + std::to_string(o.store.handlers.size()) + " handlers\n";
    for (const table_schema& schema : o.layout.schemas)
        s += std::to_string(schema.column_mask) + "/" + std::to_string(schema.column_count) + "/" +
             std::to_string(schema.fields.size()) + "/" + std::to_string(schema.field_map.size()) + "\n";
    return s;
}

TEST_F(WalCompanion, ScanOnAThreadOfItsOwnGivesWhatTheScanGives) {
    // Sorted on the scan's thread, against the schemas as they were when it started (the reading of the
    // tables leaves them as they are), with and without a schema that a read gave column names.
    for (const bool change : {false, true}) {
        for (const bool carve : {false, true}) {
            test_run serial, threaded;
            quiet(serial);
            quiet(threaded);
            // A schema with column names (as a read gives), whose mask the carved rows share.
            const auto change_schema = [change](test_run& o) {
                if (change)
                    match_notification_record(o.layout.schemas[kSchemaNotification], kNotificationMask14,
                                              true);
            };
            change_schema(serial);
            ASSERT_EQ(scan_slack_records(path_, false, carve, &serial), 1);
            threaded.store.notifications.push_back(notification_record());  // emptied, as the scan empties it
            change_schema(threaded);
            slack_scan_task task;
            database_source source;
            ASSERT_TRUE(source.open(path_));
            ASSERT_TRUE(task.start(source, carve, threaded));
            EXPECT_FALSE(task.start(source, carve, threaded));
            EXPECT_EQ(task.finish(&threaded), 1);
            EXPECT_EQ(state_of(threaded), state_of(serial)) << carve << change;
        }
    }
    // Progress output keeps the scan on the caller's thread.
    test_run shown;
    slack_scan_task task;
    database_source source;
    ASSERT_TRUE(source.open(path_));
    EXPECT_FALSE(task.start(source, false, shown));
    EXPECT_FALSE(task.started());
}

// The run's state once the tables of `db` are read as the tool reads them and the slack scan's records are
// sorted in: on a thread of its own while the tables are read (`threaded`), or after them.
std::string state_after_tables_and_scan(const std::string& db, const std::vector<std::string>& extra,
                                        bool threaded) {
    test_run t;
    std::vector<std::string> args = {"selk", "-db", db, "-quiet", "-incl_slack"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(parse_selk_options(t, args), 1);
    database_source source;
    EXPECT_TRUE(source.open(db));
    slack_scan_task task;
    std::ostringstream os;
    record_writer live(os, t);
    row_pipeline rows(os, t, live, 0);
    std::shared_ptr<const database_verdict> verdict;
    const auto tables_begin = [&](std::shared_ptr<const database_verdict> judged) {
        verdict = std::move(judged);
        if (threaded) {
            EXPECT_TRUE(task.start(source, t.carve_switch != 0, t, verdict));
        }
    };
    table_read_events events;
    events.flush = [&rows] { rows.drain(); };
    events.tables_begin = tables_begin;
    EXPECT_EQ(read_database_tables(t, source, rows, events), 1);
    rows.finish();
    const int found =
        threaded ? task.finish(&t) : scan_slack_records(source, false, t.carve_switch != 0, &t, verdict);
    // "-verify" names the schemas' fields and gives them a signature digest.
    std::string verified;
    for (const table_schema& schema : t.layout.schemas) {
        verified += schema.signature_digest_text;
        for (const table_field& field : schema.fields) verified += " " + field.name;
        verified += "\n";
    }
    return std::to_string(found) + "\n" + state_of(t) + verified;
}

// Deleted rows of a notification table whose first rows have fewer columns than its schema (columns added
// later), next to a handler table with nothing deleted whose one row also has fewer columns.
void make_db_of_fewer_columns(const std::string& path) {
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA secure_delete=OFF;");
    std::string table = notification_fixtures::notification_table_sql();
    const std::string later = "[BootId] INT64 DEFAULT '0', [ExpiresOnReboot] BOOLEAN DEFAULT 'FALSE', ";
    ASSERT_NE(table.find(later), std::string::npos);
    table.erase(table.find(later), later.size());
    std::string handlers = notification_fixtures::handler_table_sql();
    const std::string added = ", [ContainerSid] TEXT COLLATE NOCASE";
    ASSERT_NE(handlers.find(added), std::string::npos);
    handlers.erase(handlers.find(added), added.size());
    exec(db, handlers);
    exec(db, table);
    exec(db,
         "INSERT INTO NotificationHandler VALUES(1, 'Microsoft.Windows.Photos_8wekyb3d8bbwe!App', NULL, "
         "'app:desktop', 7, NULL, '2020-12-11 19:09:13', '2020-12-11 19:10:14', NULL);");
    exec(db, "ALTER TABLE NotificationHandler ADD COLUMN [ContainerSid] TEXT COLLATE NOCASE;");
    for (int i = 1; i <= 6; ++i)
        exec(db,
             "INSERT INTO Notification([Order], Id, HandlerId, Type, Payload, Tag, [Group], ExpiryTime, "
             "ArrivalTime, DataVersion, PayloadType) VALUES(" +
                 std::to_string(i) + ", " + std::to_string(100 + i) + ", 1, 'toast', CAST('" +
                 payload_for(i) + "' AS BLOB), '', '', " + std::to_string(kArrival + 864000000000LL) + ", " +
                 std::to_string(kArrival + i) + ", 0, 'Xml');");
    exec(db, "ALTER TABLE Notification ADD COLUMN [BootId] INT64 DEFAULT '0';");
    exec(db, "ALTER TABLE Notification ADD COLUMN [ExpiresOnReboot] BOOLEAN DEFAULT 'FALSE';");
    for (int i = 7; i <= 12; ++i) insert_notification(db, i, 100 + i, 1, "toast", payload_for(i));
    exec(db, "DELETE FROM Notification WHERE [Order] IN (2, 5, 8, 11);");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
}

// The slack scan on a thread of its own, sorting while the tables are read, leaves the run as the scan after
// the tables does: with "-verify", after an own-reader walk of rows of fewer columns, and where a table (or
// every table) has no recovered rows.
TEST_F(WalCompanion, ThreadedSlackSortLeavesTheRunAsTheSerialOne) {
    const std::string fewer = dir_.file("fewer.db");
    ASSERT_NO_FATAL_FAILURE(make_db_of_fewer_columns(fewer));
    const std::string clean = dir_.file("clean.db");
    sqlite3* db = open_db(clean);
    ASSERT_NE(db, nullptr);
    fill_db(db, 3);
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    const std::vector<std::vector<std::string>> forms = {{}, {"-verify"}, {"-carve"}, {"-carve", "-verify"}};
    for (const std::string& path : {path_, fewer, clean}) {
        for (const std::vector<std::string>& form : forms) {
            std::string name = path;
            for (const std::string& f : form) name += " " + f;
            const std::string serial = state_after_tables_and_scan(path, form, false);
            EXPECT_EQ(state_after_tables_and_scan(path, form, true), serial) << name;
        }
    }
}

// A scan thread that cannot start leaves the scan to the caller; one that runs out of memory says so in
// finish().
TEST_F(WalCompanion, ScanThreadThatCannotStartOrFailsNeverEndsTheRunUnsaid) {
    for (const thread_start_outcome how : {thread_start_outcome::refuse, thread_start_outcome::fail}) {
        test_run o;
        quiet(o);
        slack_scan_task task;
        database_source source;
        ASSERT_TRUE(source.open(path_));
        {
            thread_start_failure::scope hook(1, how);
            EXPECT_EQ(task.start(source, false, o), how == thread_start_outcome::fail);
        }
        EXPECT_EQ(task.started(), how == thread_start_outcome::fail);
        if (task.started()) {
            EXPECT_THROW(task.finish(&o), std::bad_alloc);
        }
    }
}

TEST_F(WalCompanion, ALogFileParsesAsLoosePagesFrameByFrame) {
    const std::string chunk = dir_.file("frames.bin");
    ASSERT_TRUE(copy_file(path_ + "-wal", chunk));
    test_run o;
    quiet(o);
    std::string p = chunk;
    ASSERT_EQ(parse_chunk_file(&o, p), 1);
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(sources_of(payload_for(i), o).empty()) << i << "\n" << describe(o);
    for (const notification_record& n : recovered(o)) EXPECT_EQ(n.source_code(), kSourceCarveBlob);
}

// ---------------------------------------------------------------------------------------------

TEST(ScanSlackRecords, HotJournalOfADeletingTransactionIsCarved) {
    temp_dir dir;
    const std::string path = dir.file("live.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA journal_mode=DELETE;");
    fill_db(db, 5);
    exec(db, "INSERT INTO HandlerSettings VALUES(1, 's:toast', 1);");
    exec(db, "BEGIN;");
    exec(db, "DELETE FROM Notification;");
    exec(db, "DELETE FROM NotificationHandler;");
    // A third table's page is journalled too.
    exec(db, "DELETE FROM HandlerSettings;");
    ASSERT_TRUE(exists(path + "-journal"));
    const std::string copy = dir.file("caught.db");
    ASSERT_TRUE(copy_file(path, copy));
    ASSERT_TRUE(copy_file(path + "-journal", copy + "-journal"));
    exec(db, "ROLLBACK;");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);

    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(copy, false, 0, 0, 0, &o), 1);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(sources_of(payload_for(i), o).count(kSourceCarveJournal), 1u) << i << "\n" << describe(o);
    }
    for (const notification_record& n : recovered(o)) {
        if (n.source_code() != kSourceCarveJournal) continue;
        EXPECT_EQ(n.order, n.arrival_time - static_cast<std::uint64_t>(kArrival));
    }
    // The journalled handlers come back too.
    bool photos = false;
    for (const handler_entry& h : o.store.handlers)
        if (h.source_code() == kSourceCarveJournal &&
            h.primary_id() == "Microsoft.Windows.Photos_8wekyb3d8bbwe!App")
            photos = h.record_id == 1;
    EXPECT_TRUE(photos);
}

TEST(ScanSlackRecords, RowsOfATransactionThatNeverCommittedComeBackFromTheMainFile) {
    // Beside a hot journal the live rows are those of the rolled-back state; the rows the open transaction
    // wrote into the file exist nowhere else.
    temp_dir dir;
    const std::string path = dir.file("live.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;");
    fill_db(db, 5);
    exec(db, "PRAGMA cache_size=2; BEGIN;");
    for (int i = 6; i <= 60; ++i) insert_notification(db, i, 100 + i, 1, "toast", payload_for(i));
    const std::string copy = dir.file("caught.db");
    ASSERT_TRUE(copy_file(path, copy));
    ASSERT_TRUE(copy_file(path + "-journal", copy + "-journal"));
    exec(db, "ROLLBACK;");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);

    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(copy, false, 0, 0, 1, &o), 1);
    // Rows still in the page cache never reached the file; every other one comes back.
    const std::vector<std::uint8_t> file = read_all(copy);
    int written = 0;
    for (int i = 6; i <= 60; ++i) {
        const std::string p = payload_for(i);
        if (std::search(file.begin(), file.end(), p.begin(), p.end()) == file.end()) continue;
        ++written;
        EXPECT_EQ(sources_of(p, o).count(kSourceMainSlack), 1u) << i << "\n" << describe(o);
    }
    EXPECT_GT(written, 30);
}

TEST(ScanSlackRecords, EveryRecordOfAJournalOfManySegmentsComesBackWhole) {
    // A small page cache makes the deleting transaction spill again and again: each spill starts a new
    // segment of the journal with a header of its own.
    temp_dir dir;
    const std::string path = dir.file("live.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;");
    constexpr int kRows = 400;
    exec(db, "BEGIN;");
    fill_db(db, kRows);
    exec(db, "COMMIT;");
    exec(db, "PRAGMA cache_size=8; BEGIN;");
    exec(db, "UPDATE Notification SET Payload = zeroblob(length(Payload)), ArrivalTime = 0;");
    exec(db, "DELETE FROM Notification;");
    const std::string copy = dir.file("caught.db");
    ASSERT_TRUE(copy_file(path, copy));
    ASSERT_TRUE(copy_file(path + "-journal", copy + "-journal"));
    exec(db, "ROLLBACK;");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    const std::vector<std::uint8_t> journal = read_all(copy + "-journal");
    int headers = 0;
    for (std::size_t at = 0; at + 8 <= journal.size(); at += 512)
        headers += journal[at] == 0xD9 && journal[at + 1] == 0xD5 ? 1 : 0;
    ASSERT_GT(headers, 2);

    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(copy, false, 0, 0, 0, &o), 1);
    std::set<std::uint64_t> whole;
    for (const notification_record& n : recovered(o)) {
        if (n.source_code() != kSourceCarveJournal || n.truncated != 0) continue;
        EXPECT_EQ(n.arrival_time, static_cast<std::uint64_t>(kArrival) + n.order) << describe(o);
        EXPECT_EQ(n.payload, payload_for(static_cast<int>(n.order)));
        whole.insert(n.order);
    }
    for (int i = 1; i <= kRows; ++i) EXPECT_EQ(whole.count(i), 1u) << i;
}

TEST(ScanSlackRecords, OldRecordsUnderLaterBytesGiveNoInventedValues) {
    // The table's root leaf splits inside the log: the root becomes an interior page whose few cells are
    // written over the end of the leaf cells it held, which stay behind in its unallocated gap. The record
    // whose header survives there has its last values under those cells.
    temp_dir dir;
    const std::string live = dir.file("live.db");
    const std::string path = dir.file("caught.db");
    constexpr int kRows = 60;
    sqlite3* db = open_db(live);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fill_db(db, 0);
    exec(db, "PRAGMA wal_checkpoint(TRUNCATE); BEGIN;");
    for (int i = 1; i <= kRows; ++i) insert_notification(db, i, 100 + i, 1, "toast", payload_for(i));
    exec(db, "COMMIT;");
    ASSERT_TRUE(copy_file(live, path));
    ASSERT_TRUE(copy_file(live + "-wal", path + "-wal"));
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);

    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(path, false, 0, 0, 1, &o), 1);
    bool cut = false;
    for (const notification_record& n : recovered(o)) {
        if (n.arrival_time != 0) {
            EXPECT_GT(n.arrival_time, static_cast<std::uint64_t>(kArrival)) << describe(o);
            EXPECT_LE(n.arrival_time, static_cast<std::uint64_t>(kArrival) + kRows) << describe(o);
        }
        if (n.source_code() == kSourceWalValid && n.truncated != 0 && n.arrival_time == 0) cut = true;
    }
    EXPECT_TRUE(cut) << describe(o);
}

// ---------------------------------------------------------------------------------------------

TEST(ParseChunkFile, PagesCutFromADatabaseParseAsLoosePages) {
    temp_dir dir;
    const std::string path = dir.file("source.db");
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA page_size=4096;");
    fill_db(db, 5);
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    const std::vector<std::uint8_t> file = read_all(path);
    ASSERT_GT(file.size(), 4096u * 2);
    // Everything after the first page: no database header.
    const std::string chunk = dir.file("pages.bin");
    ASSERT_TRUE(write_all(chunk, std::vector<std::uint8_t>(file.begin() + 4096, file.end())));

    test_run o;
    quiet(o);
    o.store.notifications.push_back(notification_record());
    std::string p = chunk;
    ASSERT_EQ(parse_chunk_file(&o, p), 1);
    EXPECT_EQ(o.db_path, chunk);
    ASSERT_EQ(o.store.notifications.size(), 5u) << describe(o);
    for (const notification_record& n : recovered(o)) {
        EXPECT_EQ(n.source_code(), kSourceCarveBlob);
        EXPECT_EQ(n.payload, payload_for(static_cast<int>(n.order))) << describe(o);
        EXPECT_EQ(n.id, 100u + n.order);
        EXPECT_EQ(n.truncated, 0u);
        // The offset is that of the record header in the chunk file.
        const std::vector<std::uint8_t> bytes = read_all(chunk);
        ASSERT_LT(n.record_offset, bytes.size());
        EXPECT_EQ(bytes[n.record_offset], 0u);
    }
    ASSERT_EQ(o.store.handlers.size(), 2u);
    EXPECT_EQ(o.store.handlers[0].record_id + o.store.handlers[1].record_id, 3u);
    ASSERT_EQ(o.store.push_channels.size(), 1u);
    EXPECT_EQ(o.store.push_channels[0].channel_id(), "1;5f6d2b8a");
    EXPECT_EQ(o.store.push_channels[0].handler_id, 1u);
}

const std::string kShortPayload = "<toast>n7</toast>";

// A log header, one frame header and a page whose notification record straddles file offset 4096.
std::vector<std::uint8_t> one_frame_log() {
    std::vector<std::uint8_t> f = {0x37, 0x7F, 0x06, 0x82, 0x00, 0x2D, 0xE2, 0x18, 0x00, 0x00, 0x10, 0x00};
    f.resize(32 + 24 + 4096, 0);
    const std::vector<std::uint8_t> c = cell(record(notification_cols("toast", kShortPayload)), 7);
    const std::size_t at = 4056;
    if (at + c.size() > f.size()) return {};
    std::copy(c.begin(), c.end(), f.begin() + static_cast<long>(at));
    return f;
}

TEST(ParseChunkFile, LogHeaderIsSkippedAndFramesStayAligned) {
    temp_dir dir;
    const std::string chunk = dir.file("one_frame.wal");
    ASSERT_TRUE(write_all(chunk, one_frame_log()));
    ASSERT_GT(read_all(chunk).size(), 4096u);
    test_run o;
    quiet(o);
    std::string p = chunk;
    ASSERT_EQ(parse_chunk_file(&o, p), 1);
    ASSERT_EQ(o.store.notifications.size(), 1u) << describe(o);
    EXPECT_EQ(recovered(o)[0].payload, kShortPayload);
    EXPECT_EQ(recovered(o)[0].truncated, 0u);
    EXPECT_EQ(recovered(o)[0].order, 7u);
}

TEST(ParseChunkFile, BigEndianPageSizeOf65536IsNotALogHeader) {
    temp_dir dir;
    std::vector<std::uint8_t> f = one_frame_log();
    ASSERT_GT(f.size(), 4096u);
    f[8] = 0x00;
    f[9] = 0x01;
    f[10] = 0x00;
    f[11] = 0x00;
    const std::string chunk = dir.file("not_a_log.bin");
    ASSERT_TRUE(write_all(chunk, f));
    test_run o;
    quiet(o);
    std::string p = chunk;
    ASSERT_EQ(parse_chunk_file(&o, p), 1);
    // Walked from offset 0, the first page ends inside the record: it comes back cut short.
    ASSERT_EQ(o.store.notifications.size(), 1u) << describe(o);
    EXPECT_EQ(recovered(o)[0].truncated, 1u);
    EXPECT_NE(recovered(o)[0].payload, kShortPayload);
}

TEST(ParseChunkFile, UnreadableOrEmptyInputs) {
    temp_dir dir;
    test_run o;
    quiet(o);
    std::string empty;
    EXPECT_EQ(parse_chunk_file(&o, empty), 0);
    std::string absent = dir.file("absent.bin");
    EXPECT_EQ(parse_chunk_file(&o, absent), 0);
    std::string p = dir.file("x.bin");
    EXPECT_EQ(parse_chunk_file(nullptr, p), 0);
    ASSERT_TRUE(write_all(p, {}));
    EXPECT_EQ(parse_chunk_file(&o, p), 0);
    // Pages without a record fail the walk.
    ASSERT_TRUE(write_all(p, std::vector<std::uint8_t>(8192, 0x20)));
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse_chunk_file(&o, p), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string message = "problem finding proper signatures to parse\n";
    ASSERT_GE(err.size(), message.size());
    EXPECT_EQ(err.substr(err.size() - message.size()), message);
}

TEST(ParseChunkFile, EnvironmentReferencesInThePathAreExpanded) {
    temp_dir dir;
    const std::string chunk = dir.file("env.bin");
    ASSERT_TRUE(write_all(chunk, one_frame_log()));
    ASSERT_GT(read_all(chunk).size(), 4096u);
    ASSERT_EQ(setenv("SELK_H15_CHUNK_DIR", dir.path().c_str(), 1), 0);
    test_run o;
    quiet(o);
    std::string p = "%SELK_H15_CHUNK_DIR%/env.bin";
    ASSERT_EQ(parse_chunk_file(&o, p), 1);
    EXPECT_EQ(p, chunk);
    EXPECT_EQ(o.db_path, chunk);
    EXPECT_EQ(o.store.notifications.size(), 1u);
}

// ---------------------------------------------------------------------------------------------

TEST(ScanSlackRecords, RealWindowsDatabaseGivesUpOldHandlerRows) {
    if (!exists(kFixture)) GTEST_SKIP() << "fixture " << kFixture << " is absent";
    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(kFixture, false, 0, 0, 0, &o), 1);
    // Its free space holds older copies of handler rows; the six notifications are all live.
    EXPECT_TRUE(o.store.notifications.empty()) << describe(o);
    ASSERT_GE(o.store.handlers.size(), 30u);
    for (const handler_entry& h : o.store.handlers) {
        EXPECT_EQ(h.source_code(), kSourceMainSlack);
        EXPECT_NE(h.record_id, 0u);
        EXPECT_TRUE(h.primary_id().rfind("Windows.", 0) == 0 || h.primary_id().rfind("Microsoft.", 0) == 0)
            << h.primary_id();
        EXPECT_EQ(h.created_time().size(), 19u);
        EXPECT_NE(h.record_offset, 0u);
    }
}

TEST(ParseChunkFile, RealWindowsDatabaseReadAsLoosePages) {
    if (!exists(kFixture)) GTEST_SKIP() << "fixture " << kFixture << " is absent";
    test_run o;
    quiet(o);
    std::string p = kFixture;
    ASSERT_EQ(parse_chunk_file(&o, p), 1);
    // The six live notifications (the library shows the same), with their rowids from the cell prefixes.
    ASSERT_EQ(o.store.notifications.size(), 6u) << describe(o);
    std::set<std::uint64_t> orders;
    for (const notification_record& n : recovered(o)) {
        orders.insert(n.order);
        EXPECT_EQ(n.payload.rfind("<toast ", 0), 0u) << n.payload;
        EXPECT_EQ(n.source_code(), kSourceCarveBlob);
        EXPECT_EQ(n.type, "toast");
        EXPECT_EQ(n.handler_id, 68u);
        EXPECT_EQ(n.payload_type, "Xml");
        EXPECT_EQ(n.truncated, 0u);
    }
    EXPECT_EQ(orders, (std::set<std::uint64_t>{1, 2, 3, 4, 5, 6}));
    // All 68 live handlers and the older copies in free space.
    EXPECT_GE(o.store.handlers.size(), 68u);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Recovered notifications kept as references to their bytes, decoded again when printed.

namespace {

// Every recovered notification as the report gets it, field by field, and the schemas the sorting left.
std::string everything_of(test_run& o) {
    std::string s;
    for (const notification_record& n : recovered(o))
        s += std::to_string(n.record_offset) + " " + std::to_string(n.source_code()) + " " +
             std::to_string(n.rowid) + " " + std::to_string(n.order) + " " + std::to_string(n.id) + " " +
             std::to_string(n.handler_id) + " " + n.type + " " + n.payload + " " + n.tag + " " + n.group +
             " " + std::to_string(n.expiry_time) + " " + std::to_string(n.arrival_time) + " " +
             n.payload_type + " " + std::to_string(n.truncated) + " " + std::to_string(n.column_mask) + " " +
             n.signature_text + " " + n.signature_digest_text + "\n";
    for (const std::uint32_t columns : o.layout.join_columns) s += std::to_string(columns) + " ";
    return s + std::to_string(o.store.handlers.size()) + " " + std::to_string(o.store.push_channels.size());
}

// A database of `rows` notifications of which every third is deleted beside a log (in several commits) or in
// a hot journal, or (`plain`) in the file itself after rows of fewer columns.
std::string make_companion_db(temp_dir& dir, const std::string& kind, int rows) {
    const std::string path = dir.file(kind + ".db");
    if (kind == "fewer") {
        make_db_of_fewer_columns(path);
        return path;
    }
    sqlite3* db = open_db(path);
    if (db == nullptr) return std::string();
    exec(db, "PRAGMA page_size=4096; PRAGMA secure_delete=OFF;");
    exec(db, kind == "log" ? "PRAGMA journal_mode=WAL;" : "PRAGMA journal_mode=DELETE;");
    exec(db, "PRAGMA wal_autocheckpoint=0;");
    exec(db, "BEGIN;");
    fill_db(db, rows);
    exec(db, "COMMIT;");
    if (kind == "log") exec(db, "PRAGMA wal_checkpoint(TRUNCATE);");
    const std::string copy = dir.file(kind + "-caught.db");
    const std::string companion = kind == "log" ? "-wal" : "-journal";
    if (kind == "log") {
        for (int from = 0; from < rows; from += rows / 4)
            exec(db, "DELETE FROM Notification WHERE [Order] % 3 = 0 AND [Order] > " + std::to_string(from) +
                         " AND [Order] <= " + std::to_string(from + rows / 4) + ";");
    } else {
        exec(db, "PRAGMA cache_size=4; BEGIN;");
        exec(db, "DELETE FROM Notification WHERE [Order] % 3 = 0;");
    }
    const bool copied = copy_file(path, copy) && copy_file(path + companion, copy + companion);
    if (kind != "log") exec(db, "ROLLBACK;");
    sqlite3_close(db);
    return copied ? copy : std::string();
}

}  // namespace

// The road that keeps references gives the records, their order and everything the sorting stamps on them as
// the road that kept every carved record whole, beside a log, beside a hot journal and after rows of fewer
// columns (whose records are sorted against schemas of two masks in turn), in both carving modes.
TEST(StreamedRecovery, ReferencesGiveTheRecordsWholeRecordsGave) {
    temp_dir dir;
    for (const std::string kind : {"log", "journal", "fewer"}) {
        const std::string path = make_companion_db(dir, kind, 120);
        ASSERT_FALSE(path.empty()) << kind;
        for (const bool carve : {false, true}) {
            test_run streamed, whole;
            quiet(streamed);
            quiet(whole);
            ASSERT_EQ(scan_slack_records(path, false, carve, &streamed), 1) << kind;
            carve_options scan;
            scan.classify = recogniser_for(whole.options.recogniser_switches);
            scan.min_columns = scan.max_columns = 1;
            scan.valid_frames = carve;
            std::vector<recovered_record> records;
            ASSERT_EQ(carve_database(records, path, scan), 1) << kind;
            ASSERT_EQ(add_recovered_records(records, &whole), 1);
            EXPECT_GT(streamed.store.notifications.size(), kind == "fewer" ? 3u : 30u) << kind;
            EXPECT_EQ(everything_of(streamed), everything_of(whole)) << kind << " " << carve;
        }
    }
}

// 400 deleted notifications of 3 KB payloads: free pages enough for the carving helpers to take part.
void make_big_deleted_db(const std::string& path) {
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA secure_delete=OFF;");
    notification_fixtures::create_tables(db);
    insert_handler(db, 1, "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
    exec(db, "BEGIN;");
    const std::string text(3000, 'x');
    for (int i = 1; i <= 400; ++i) insert_notification(db, i, 100 + i, 1, "toast", payload_for(i) + text);
    exec(db, "COMMIT;");
    exec(db, "DELETE FROM Notification;");
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
}

// What the list holds follows the files, not the records: a reference a notification, whatever its payload.
TEST(StreamedRecovery, HeldBytesDoNotFollowTheRecords) {
    temp_dir dir;
    const std::string path = dir.file("big.db");
    ASSERT_NO_FATAL_FAILURE(make_big_deleted_db(path));
    test_run o;
    quiet(o);
    ASSERT_EQ(scan_slack_records(path, false, false, &o), 1);
    std::size_t payloads = 0;
    for (const notification_record& n : recovered(o)) payloads += n.payload.size();
    ASSERT_GT(o.store.notifications.size(), 300u);
    ASSERT_GT(payloads, 300u * 3000u);
    // One block of references and the schemas, where whole records would hold every payload.
    EXPECT_LT(o.store.notifications.retained_bytes(), 4096 * sizeof(recovered_reference) + 64 * 1024);
}

// A record whose bytes cannot be read again when it is to be printed (a reference past the end of its file)
// is named with its file and offset, the run is marked as not read whole, and nothing is printed for it.
TEST(StreamedRecovery, ARecordThatNoLongerReadsIsNamedNotPrinted) {
    temp_dir dir;
    const std::string path = dir.file("short.db");
    ASSERT_TRUE(write_all(path, std::vector<std::uint8_t>(4096, 0)));
    const auto files = std::make_shared<carved_files>();
    files->main_path = path;
    ASSERT_TRUE(files->main.open(path, false, false, false));
    test_run o;
    quiet(o);
    recovered_notifications& list = o.store.notifications;
    recovered_reference r;
    r.offset = 5000;
    r.length = 200;
    r.columns = 14;
    r.source = kSourceMainSlack;
    r.file = list.file_index(files, files->main);
    r.schema = list.schema_index(o.layout.schemas[kSchemaNotification], "");
    list.push_reference(r);
    std::ostringstream os;
    testing::internal::CaptureStderr();
    write_records(os, o, list);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "prob reading " + path +
                        ": the recovered record at file offset 5000 is not printed: its 200 bytes cannot be "
                        "read again\n");
    EXPECT_EQ(o.tables_incomplete, 1u);
    EXPECT_EQ(os.str().find("5000"), std::string::npos) << os.str();
}

// The helpers that look for records in the chunks: where none can start the scan gives the same records on
// its own thread; one that runs out of memory as it starts makes the scan fail with that.
TEST(StreamedRecovery, CarvingHelpersThatCannotStartChangeNothing) {
    temp_dir dir;
    const std::string path = dir.file("big.db");
    ASSERT_NO_FATAL_FAILURE(make_big_deleted_db(path));
    test_run helped;
    quiet(helped);
    ASSERT_GT(helped.selk_run::threads.carvers, 0u);
    ASSERT_EQ(scan_slack_records(path, false, false, &helped), 1);
    test_run alone;
    quiet(alone);
    {
        thread_start_failure::scope hook(-1, thread_start_outcome::refuse);
        ASSERT_EQ(scan_slack_records(path, false, false, &alone), 1);
        EXPECT_GT(hook.started(), 0);
    }
    EXPECT_EQ(everything_of(alone), everything_of(helped));
    test_run failed;
    quiet(failed);
    thread_start_failure::scope hook(1, thread_start_outcome::fail);
    EXPECT_THROW(scan_slack_records(path, false, false, &failed), std::bad_alloc);
}

// The recovered rows formatted on the formatter threads are the rows the reading thread formats, also where
// no thread starts; every record is decoded again once. A timeline form goes on the threads only once its
// header is out (a live row wrote it): without one, its first row writes it. Beside a log, "-carve" finds
// records at offsets already found, each printed once.
TEST(StreamedRecovery, RecoveredRowsOnFormatterThreadsAreTheSerialRows) {
    temp_dir dir;
    const std::string path = dir.file("big.db");
    ASSERT_NO_FATAL_FAILURE(make_big_deleted_db(path));
    const std::string logged = make_companion_db(dir, "log", 900);
    ASSERT_FALSE(logged.empty());
    const struct {
        const std::string& db;
        bool carve, csvl2t, bodyfile, header_due;
    } kForms[] = {{path, false, false, false, true}, {path, false, true, false, false},
                  {path, false, false, true, false}, {path, false, true, false, true},
                  {path, false, false, true, true},  {logged, true, false, false, true}};
    for (const auto& form : kForms) {
        const std::string name = form.db + (form.carve ? " -carve" : "") + (form.csvl2t ? " -csvl2t" : "") +
                                 (form.bodyfile ? " -bodyfile" : "") + (form.header_due ? " header due" : "");
        const auto report = [&form, &name](unsigned formatters, bool refused) {
            test_run o;
            quiet(o);
            o.csvl2t = form.csvl2t;
            o.bodyfile = form.bodyfile;
            o.selk_run::header_on = form.header_due;
            o.selk_run::threads.formatters = formatters;
            EXPECT_EQ(scan_slack_records(form.db, false, form.carve, &o), 1);
            // Enough for the threads, and, beside the log, offsets found twice.
            const recovered_notifications& list = o.store.notifications;
            std::set<std::pair<bool, std::uint64_t>> offsets;
            for (std::size_t i = 0; i < list.size(); ++i)
                offsets.emplace(source_in_main_db(list.reference(i).source), list.reference(i).offset);
            EXPECT_GE(offsets.size(), 256u) << name;
            EXPECT_EQ(offsets.size() < list.size(), form.carve) << name;
            std::ostringstream os;
            std::unique_ptr<thread_start_failure::scope> hook;
            if (refused)
                hook = std::make_unique<thread_start_failure::scope>(-1, thread_start_outcome::refuse);
            write_records(os, o, o.store.notifications);
            EXPECT_EQ(o.tables_incomplete, 0u);
            return os.str();
        };
        const std::string serial = report(0, false);
        EXPECT_GT(std::count(serial.begin(), serial.end(), '\n'), 300) << name;
        EXPECT_EQ(report(3, false), serial) << name;
        EXPECT_EQ(report(3, true), serial) << name;
    }
}
