// The library path: one notification database read through its tables, with the SQLite library and with
// the own reader ("-carve"), on the real Windows database and on databases made here. The notifications are
// read as a run reads them: through the row pipeline into the report, whose cells the tests read back.
#include "notifications/library_path.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "csv_reader.h"
#include "notification_db_fixtures.h"
#include "notifications/notification_row.h"
#include "notifications/row_pipeline.h"
#include "report_records.h"
#include "sqlite_binding/column_values.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/format.h"
#include "test_run.h"
#include "time/fixed_dates.h"

namespace {

using namespace notification_fixtures;

const std::string kFixture = std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db";

// Options as a quiet run has them.
void quiet(test_run& o) { o.show_progress = false; }

// Sends the options' diagnostics log to a file of the folder; returns its path.
std::string log_to_file(test_run& o, const temp_dir& dir) {
    o.diagnostics_path = dir.file("diags.txt");
    o.diagnostics = new std::ofstream(o.diagnostics_path, std::ios::trunc);
    o.diagnostics_on = true;
    return o.diagnostics_path;
}

std::string log_text(test_run& o) {
    if (o.diagnostics != nullptr) o.diagnostics->flush();
    const std::vector<std::uint8_t> bytes = read_all(o.diagnostics_path);
    return std::string(bytes.begin(), bytes.end());
}

// The report of a quoted "-csv -all_fields" run: every cell reads back whole.
void csv_report(test_run& o) {
    ASSERT_TRUE(report_records::parse(
        o, {"-db", "evidence.db", "-quiet", "-csv", "-all_fields", "-enable_quoted_csv_fields"}));
}

// One notification of the report: its cells by column name.
using report_row = std::map<std::string, std::string>;

// The notifications of a csv_report.
std::vector<report_row> report_rows(const std::string& report) {
    std::vector<csv_reader::record> records;
    std::string error;
    EXPECT_TRUE(csv_reader::read(report, ',', true, records, error)) << error;
    std::vector<report_row> out;
    for (std::size_t i = 1; i < records.size(); ++i) {
        report_row row;
        for (std::size_t c = 0; c < records[0].size() && c < records[i].size(); ++c)
            row[records[0][c]] = records[i][c];
        out.push_back(row);
    }
    return out;
}

// The tables of a database as a run reads them: the handlers, channels and settings in the run's store, the
// notifications written through the row pipeline (with the run's formatter threads) into `report`.
struct tables_read {
    int result = 0;       // what read_database_tables returned
    unsigned source = 0;  // the source code it gave
    std::string report;
    std::size_t handed_on = 0;  // notification rows the pipeline took

    std::vector<report_row> rows() const { return report_rows(report); }
};

tables_read read_tables(test_run& o, std::string& path) {
    tables_read r;
    std::ostringstream os;
    {
        record_writer live(os, o);
        row_pipeline rows(os, o, live);
        table_read_events events;
        events.flush = [&rows] { rows.drain(); };
        r.result = read_database_tables(o, path, rows, events, &r.source);
        rows.finish();
        r.handed_on = rows.rows_seen();
    }
    r.report = os.str();
    return r;
}

// The label of the source a report row names in its misc data cell.
std::string source_of(const report_row& row) {
    const std::string& misc = row.at("Misc data");
    const std::string key = "{\"src\":\"";
    if (misc.compare(0, key.size(), key) != 0) return std::string();
    return misc.substr(key.size(), misc.find('"', key.size()) - key.size());
}

// An ActivityId as the report prints it: empty for sixteen zero bytes, else the GUID text.
std::string guid_text(const std::string& bytes) {
    if (bytes == std::string(16, '\0')) return std::string();
    _16_byte_block b;
    b.set(reinterpret_cast<const unsigned char*>(bytes.data()));
    return b.to_string(false);
}

// A small notification database: two handlers, three notifications (one of them with a 16-byte ActivityId
// holding zero bytes), a push channel and two settings.
void make_small_db(const std::string& path, bool with_push = true) {
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    create_tables(db, with_push);
    insert_handler(db, 1, "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
    insert_handler(db, 2, "Windows.SystemToast.Calling");
    insert_notification(db, 1, 101, 1, "toast", "<toast><text>one</text></toast>");
    insert_notification(db, 2, 102, 1, "badge", "<badge value=\"2\"/>",
                        {0, 1, 0, 2, 0, 0, 0, 3, 4, 0, 5, 0, 0, 6, 0, 0});
    insert_notification(db, 3, 103, 2, "tile", "<tile/>");
    if (with_push)
        exec(db,
             "INSERT INTO WNSPushChannel VALUES('chan1', 1, 'https://push', 132521873530000000, "
             "132521873530000000, 2);");
    exec(db, "INSERT INTO HandlerSettings VALUES(1, 's:toast', 1);");
    exec(db, "INSERT INTO HandlerSettings VALUES(2, 's:banner', 0);");
    sqlite3_close(db);
}

// Each kind of HandlerSettings Value, one to a handler, as the settings cell shows it: an integer as its
// number (0 not at all), a text as its text, a real as the library's text, a blob as blob cells are shown.
TEST(LibraryPath, SettingsShowEachValueAsStored) {
    const std::string huge(16u << 20, 'x');
    const struct {
        const char* value;  // an SQL expression
        std::string shown;  // the cell, or "" for none of the setting
    } cases[] = {
        {"7", "7"},
        {"0", ""},
        {"'abc'", "abc"},
        {"2.5", "2.5"},
        {"1.0/3", "0.333333333333333"},
        {"1e20", "1.0e+20"},
        {"-1.5e-7", "-1.5e-07"},
        {"x'41420A43'", "ABC"},
        {"replace(hex(zeroblob(16777216)), '00', 'x')", huge},
    };
    temp_dir dir;
    const std::string db = dir.file("settings.db");
    sqlite3* handle = open_db(db);
    ASSERT_NE(handle, nullptr);
    create_tables(handle, true);
    int id = 0;
    for (const auto& c : cases) {
        ++id;
        insert_handler(handle, id, "App" + std::to_string(id));
        insert_notification(handle, id, 100 + id, id, "toast", "<toast/>");
        exec(handle, "INSERT INTO HandlerSettings VALUES(" + std::to_string(id) + ", 'k', " + c.value + ");");
    }
    sqlite3_close(handle);
    for (int carve = 0; carve < 2; ++carve) {
        SCOPED_TRACE(carve ? "carve" : "library");
        test_run o;
        csv_report(o);
        o.switches[kSwitchSettings] = 1;
        o.switches[kSwitchCarve] = static_cast<std::uint8_t>(carve);
        std::string path = db;
        const tables_read read = read_tables(o, path);
        ASSERT_EQ(read.result, 1);
        const std::vector<report_row> rows = read.rows();
        ASSERT_EQ(rows.size(), std::size(cases));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string& shown = cases[i].shown;
            const std::string want = shown.empty() ? "[]" : "[\"k\":\"" + shown + "\"]";
            EXPECT_EQ(rows[i].at("Settings").size(), want.size()) << cases[i].value;
            EXPECT_TRUE(rows[i].at("Settings") == want) << cases[i].value;
        }
    }
}

// ---------------------------------------------------------------- the real Windows database

class FixtureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!exists(kFixture)) GTEST_SKIP() << "fixture database absent: " << kFixture;
    }
};

// The rows as the SQLite library gives them, read straight from the fixture without touching it.
struct fixture_rows {
    std::vector<std::vector<std::string>> notifications;
    std::vector<std::vector<std::string>> handlers;
    std::size_t settings = 0;
    std::size_t push = 0;
};

fixture_rows select_fixture() {
    fixture_rows out;
    sqlite3* db = nullptr;
    const std::string uri = "file:" + kFixture + "?immutable=1";
    if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open the fixture";
        return out;
    }
    auto rows = [db](const char* sql) {
        std::vector<std::vector<std::string>> r;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return r;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> cols;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const void* p = sqlite3_column_blob(st, i);
                const int n = sqlite3_column_bytes(st, i);
                cols.emplace_back(p != nullptr
                                      ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
                                      : "");
            }
            r.push_back(cols);
        }
        sqlite3_finalize(st);
        return r;
    };
    out.notifications = rows(
        "SELECT [Order], Id, HandlerId, ActivityId, Type, Payload, ArrivalTime, PayloadType "
        "FROM Notification");
    out.handlers = rows("SELECT RecordId, PrimaryId, HandlerType, CreatedTime FROM NotificationHandler");
    out.settings = rows("SELECT * FROM HandlerSettings").size();
    out.push = rows("SELECT * FROM WNSPushChannel").size();
    sqlite3_close(db);
    return out;
}

std::string cleaned(const std::string& bytes) {
    std::string out;
    bool stopped = false;
    column_bytes_to_text(out, stopped, bytes.data(), static_cast<std::uint32_t>(bytes.size()), true, true,
                         true);
    return out;
}

void expect_fixture_records(const test_run& o, const tables_read& read, unsigned source_code) {
    const fixture_rows want = select_fixture();
    ASSERT_EQ(want.notifications.size(), 6u);
    EXPECT_EQ(read.source, source_code);
    const std::vector<report_row> rows = read.rows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(o.store.handlers.size(), 68u);
    EXPECT_EQ(o.store.push_channels.size(), 0u);
    EXPECT_EQ(want.push, 0u);
    EXPECT_EQ(o.store.settings.size(), 1632u);
    EXPECT_EQ(want.settings, 1632u);
    EXPECT_EQ(o.layout.schemas[kSchemaNotification].column_mask, 16383u);
    EXPECT_EQ(o.layout.schemas[kSchemaHandler].column_mask, 2043u);
    EXPECT_EQ(o.layout.schemas[kSchemaPushChannel].column_mask, 63u);
    EXPECT_EQ(o.layout.schemas[kSchemaHandlerSettings].column_mask, 7u);

    ASSERT_NE(o.store.handler_for(68), nullptr);
    const handler_entry& h68 = *o.store.handler_for(68);
    for (std::size_t i = 0; i < 6; ++i) {
        const report_row& n = rows[i];
        const std::vector<std::string>& w = want.notifications[i];
        EXPECT_EQ(n.at("Order"), w[0]);
        EXPECT_EQ(n.at("Id"), w[1]);
        EXPECT_EQ(n.at("HandlerId"), "68");
        EXPECT_EQ(n.at("Handler PrimaryId"), h68.primary_id());
        ASSERT_EQ(w[3].size(), 16u);
        EXPECT_EQ(n.at("ActivityId"), guid_text(w[3]));
        EXPECT_EQ(n.at("Type"), "toast");
        EXPECT_EQ(n.at("Payload"), cleaned(w[5]));
        EXPECT_EQ(n.at("Payload").compare(0, 6, "<toast"), 0) << n.at("Payload");
        std::string arrival;
        filetime_to_text_by_pattern(arrival, std::stoull(w[6]), "yyyy-mm-dd", "hh:mm:ss.xxx");
        EXPECT_EQ(n.at("Notification ArrivalTime"), " " + arrival);
        EXPECT_EQ(n.at("PayloadType"), "Xml");
        EXPECT_EQ(source_of(n), record_source_label(source_code));
    }
    for (std::size_t i = 0; i < o.store.handlers.size() && i < want.handlers.size(); ++i) {
        const handler_entry& h = o.store.handlers[i];
        EXPECT_EQ(std::to_string(h.record_id), want.handlers[i][0]);
        EXPECT_EQ(h.primary_id(), want.handlers[i][1]);
        EXPECT_EQ(h.handler_type(), want.handlers[i][2]);
        EXPECT_EQ(h.created_time(), want.handlers[i][3]);
        if (!h.created_time().empty()) {
            EXPECT_NE(h.created_filetime, 0u) << h.created_time();
        }
        EXPECT_EQ(h.source_code(), source_code);
    }
    EXPECT_EQ(o.store.app_name_width,
              std::max<std::uint32_t>(22, static_cast<std::uint32_t>(h68.app_name().size())));
}

TEST_F(FixtureTest, LibraryReadsWhatSelectShows) {
    test_run o;
    csv_report(o);
    o.switches[kSwitchSettings] = 1;
    std::string path = kFixture;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(o.input_read, 1);
    EXPECT_EQ(o.layout.page_size, 4096u);
    expect_fixture_records(o, read, kSourceSqliteLib);
    EXPECT_EQ(o.layout.column_names.size(), 14u);
}

TEST_F(FixtureTest, CarveReadsTheSameRecordsWithItsOwnSource) {
    test_run lib;
    csv_report(lib);
    lib.switches[kSwitchSettings] = 1;
    std::string path = kFixture;
    const tables_read by_library = read_tables(lib, path);
    ASSERT_EQ(by_library.result, 1);

    test_run carve;
    csv_report(carve);
    carve.switches[kSwitchSettings] = 1;
    carve.switches[kSwitchCarve] = 1;
    path = kFixture;
    const tables_read by_walk = read_tables(carve, path);
    ASSERT_EQ(by_walk.result, 1);
    EXPECT_EQ(carve.carve_switch, 1);
    expect_fixture_records(carve, by_walk, kSourceCarveMain);

    // Every cell the same but the source, which the walk gives with the record's offset.
    std::vector<report_row> a = by_library.rows(), b = by_walk.rows();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].at("Misc data"), "{\"src\":\"sqlite lib\"}");
        EXPECT_EQ(b[i].at("Misc data").find("\"record offset\":\"0x0\""), std::string::npos);
        EXPECT_NE(b[i].at("Misc data").find("\"record offset\":\"0x"), std::string::npos)
            << b[i].at("Misc data");
        a[i].erase("Misc data");
        b[i].erase("Misc data");
        EXPECT_EQ(a[i], b[i]);
    }
    for (std::size_t i = 0; i < lib.store.handlers.size() && i < carve.store.handlers.size(); ++i) {
        const handler_entry& a = lib.store.handlers[i];
        const handler_entry& b = carve.store.handlers[i];
        EXPECT_EQ(a.record_id, b.record_id);
        EXPECT_EQ(a.primary_id(), b.primary_id());
        EXPECT_EQ(a.wns_id(), b.wns_id());
        EXPECT_EQ(a.handler_type(), b.handler_type());
        EXPECT_EQ(a.wnf_event_name, b.wnf_event_name);
        EXPECT_EQ(a.modified_time(), b.modified_time());
        EXPECT_EQ(a.modified_filetime, b.modified_filetime);
        EXPECT_EQ(a.app_name(), b.app_name());
    }
    for (std::size_t i = 0; i < lib.store.settings.size() && i < carve.store.settings.size(); ++i) {
        EXPECT_EQ(lib.store.settings[i].handler_id, carve.store.settings[i].handler_id);
        EXPECT_EQ(lib.store.settings[i].setting_key(), carve.store.settings[i].setting_key());
        EXPECT_EQ(lib.store.settings[i].value, carve.store.settings[i].value);
    }
}

TEST_F(FixtureTest, SettingsAreReadOnlyWhenAskedFor) {
    test_run o;
    quiet(o);
    std::string path = kFixture;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.handed_on, 6u);
    EXPECT_TRUE(o.store.settings.empty());
    EXPECT_EQ(o.layout.schemas[kSchemaHandlerSettings].column_mask, 0u);
}

// ---------------------------------------------------------------- databases made here

TEST(LibraryPath, ReadsASmallDatabaseBothWays) {
    temp_dir dir;
    const std::string db = dir.file("small.db");
    make_small_db(db);
    for (int carve = 0; carve < 2; ++carve) {
        SCOPED_TRACE(carve ? "carve" : "library");
        test_run o;
        csv_report(o);
        o.switches[kSwitchSettings] = 1;
        o.switches[kSwitchCarve] = static_cast<std::uint8_t>(carve);
        std::string path = db;
        const tables_read read = read_tables(o, path);
        ASSERT_EQ(read.result, 1);
        const std::vector<report_row> rows = read.rows();
        ASSERT_EQ(rows.size(), 3u);
        ASSERT_EQ(o.store.handlers.size(), 2u);
        ASSERT_EQ(o.store.push_channels.size(), 1u);
        ASSERT_EQ(o.store.settings.size(), 2u);
        EXPECT_EQ(rows[0].at("Payload"), "<toast><text>one</text></toast>");
        EXPECT_EQ(rows[1].at("Type"), "badge");
        EXPECT_EQ(
            rows[1].at("ActivityId"),
            guid_text(std::string("\x00\x01\x00\x02\x00\x00\x00\x03\x04\x00\x05\x00\x00\x06\x00\x00", 16)));
        EXPECT_EQ(rows[0].at("ActivityId"), "");
        EXPECT_EQ(rows[2].at("Tag"), "tag1");
        EXPECT_EQ(rows[2].at("Group"), "group1");
        // Each joined with its handler, the handler's push channel and settings.
        EXPECT_EQ(rows[1].at("Handler PrimaryId"), "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
        EXPECT_EQ(rows[2].at("Handler PrimaryId"), "Windows.SystemToast.Calling");
        EXPECT_EQ(rows[0].at("PushChannel Uri"), "https://push");
        EXPECT_EQ(rows[2].at("PushChannel Uri"), "");
        EXPECT_EQ(rows[0].at("Settings"), "[\"s:toast\":\"1\"]");
        EXPECT_EQ(o.store.handlers[0].app_name(), "Microsoft.Windows.Photos");
        EXPECT_EQ(o.store.handlers[0].created_filetime, 132521873530000000ull);
        EXPECT_EQ(o.store.push_channels[0].uri(), "https://push");
        EXPECT_EQ(o.store.push_channels[0].expiry_time, 132521873530000000ull);
        EXPECT_EQ(o.store.settings[1].setting_key(), "s:banner");
        EXPECT_EQ(o.store.push_channel_for(1), &o.store.push_channels[0]);
        EXPECT_EQ(source_of(rows[0]), record_source_label(carve ? kSourceCarveMain : kSourceSqliteLib));
        EXPECT_EQ(o.store.settings[0].source_code(), carve ? kSourceCarveMain : kSourceSqliteLib);
        EXPECT_EQ(o.db_path, db);
    }
}

// Disabled until page 1 of a 64 KiB database binds in the own reader: its header stores the size as 1,
// which the page binding takes as the page size, so the schema table of such a database cannot be read.
TEST(LibraryPath, SixtyFourKibPagesPlaceTheRootPagesRight) {
    temp_dir dir;
    const std::string db = dir.file("big_pages.db");
    {
        sqlite3* h = open_db(db);
        ASSERT_NE(h, nullptr);
        exec(h, "PRAGMA page_size=65536;");
        create_tables(h);
        insert_handler(h, 1, "App_x");
        insert_notification(h, 1, 1, 1, "toast", "<toast>big page</toast>");
        sqlite3_close(h);
    }
    // The header stores 65536 as 1.
    const std::vector<std::uint8_t> header = read_all(db);
    ASSERT_GT(header.size(), 17u);
    ASSERT_EQ(header[16], 0);
    ASSERT_EQ(header[17], 1);
    test_run o;
    csv_report(o);
    o.switches[kSwitchCarve] = 1;
    std::string path = db;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(o.layout.page_size, 65536u);
    EXPECT_EQ(o.layout.roots[kSchemaNotification].offset % 65536u, 0u);
    EXPECT_GT(o.layout.roots[kSchemaNotification].offset, 0u);
    // The walk maps each row's columns without writing the schema: it stays as the schema table gave it.
    EXPECT_TRUE(o.layout.schemas[kSchemaNotification].field_map.empty());
    EXPECT_EQ(o.layout.schemas[kSchemaNotification].column_count,
              static_cast<std::uint32_t>(count_bits60(o.layout.schemas[kSchemaNotification].column_mask)));
    const std::vector<report_row> rows = read.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("Payload"), "<toast>big page</toast>");
    ASSERT_EQ(o.store.handlers.size(), 1u);
    EXPECT_EQ(o.store.handlers[0].primary_id(), "App_x");
}

TEST(LibraryPath, MissingPushChannelTableLeavesItsVectorEmpty) {
    temp_dir dir;
    const std::string db = dir.file("nopush.db");
    make_small_db(db, false);
    for (int carve = 0; carve < 2; ++carve) {
        SCOPED_TRACE(carve ? "carve" : "library");
        test_run o;
        quiet(o);
        log_to_file(o, dir);
        o.switches[kSwitchCarve] = static_cast<std::uint8_t>(carve);
        std::string path = db;
        const tables_read read = read_tables(o, path);
        ASSERT_EQ(read.result, 1);
        EXPECT_EQ(read.handed_on, 3u);
        EXPECT_EQ(o.store.handlers.size(), 2u);
        EXPECT_TRUE(o.store.push_channels.empty());
        EXPECT_EQ(o.layout.schemas[kSchemaPushChannel].column_mask, 0u);
        // A table that is not there is neither queried nor walked, so nothing is reported about it.
        EXPECT_EQ(log_text(o).find("wnspushchannel"), std::string::npos);
        EXPECT_EQ(o.messages.str(), "");
    }
}

TEST(LibraryPath, PayloadWithAZeroByteEndsThereAndIsTagged) {
    temp_dir dir;
    const std::string db = dir.file("nul.db");
    sqlite3* h = open_db(db);
    ASSERT_NE(h, nullptr);
    create_tables(h);
    insert_handler(h, 1, "App_x");
    insert_notification(h, 1, 1, 1, "toast", std::string("<toast>abc\0trailing bytes", 25));
    sqlite3_close(h);
    for (int carve = 0; carve < 2; ++carve) {
        SCOPED_TRACE(carve ? "carve" : "library");
        test_run o;
        csv_report(o);
        o.switches[kSwitchCarve] = static_cast<std::uint8_t>(carve);
        std::string path = db;
        const tables_read read = read_tables(o, path);
        ASSERT_EQ(read.result, 1);
        const std::vector<report_row> rows = read.rows();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].at("Payload"), "<toast>abc [corrupted data detected]");
    }
}

TEST(LibraryPath, FilesThatAreNotSqliteAreRefusedBeforeTheSchema) {
    temp_dir dir;
    const std::string text_file = dir.file("notes.db");
    ASSERT_TRUE(write_all(text_file, std::vector<std::uint8_t>(200, 'x')));
    test_run o;
    o.show_progress = true;
    std::string path = text_file;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_tables(o, path).result, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("prob processing file " + text_file + "\n"), std::string::npos) << err;
    EXPECT_TRUE(o.layout.schemas[kSchemaNotification].fields.empty());
    EXPECT_EQ(o.input_read, 0);

    // A header too short to hold the page size is a failed read.
    const std::string stub = dir.file("stub.db");
    std::string magic("SQLite format 3\0", 16);
    ASSERT_TRUE(write_all(stub, std::vector<std::uint8_t>(magic.begin(), magic.end())));
    path = stub;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_tables(o, path).result, 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("prob accessing file " + stub), std::string::npos);

    path = dir.file("absent.db");
    o.show_progress = false;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_tables(o, path).result, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    std::string empty;
    EXPECT_EQ(read_tables(o, empty).result, 0);
}

TEST(LibraryPath, DatabaseWithoutTheNotificationTableIsRefused) {
    temp_dir dir;
    const std::string db = dir.file("other.db");
    sqlite3* h = open_db(db);
    ASSERT_NE(h, nullptr);
    exec(h, handler_table_sql());
    sqlite3_close(h);
    test_run o;
    quiet(o);
    log_to_file(o, dir);
    std::string path = db;
    EXPECT_EQ(read_tables(o, path).result, 0);
    EXPECT_NE(log_text(o).find("->prob finding schemas that should be present"), std::string::npos);
}

TEST(LibraryPath, TablesWithoutKnownColumnsAreRefused) {
    temp_dir dir;
    const std::string db = dir.file("odd.db");
    sqlite3* h = open_db(db);
    ASSERT_NE(h, nullptr);
    exec(h, handler_table_sql());
    exec(h, "CREATE TABLE Notification(a TEXT, b TEXT);");
    sqlite3_close(h);
    test_run o;
    quiet(o);
    log_to_file(o, dir);
    std::string path = db;
    EXPECT_EQ(read_tables(o, path).result, 0);
    EXPECT_NE(log_text(o).find("->prob getting masks for schemas"), std::string::npos);
}

TEST(LibraryPath, PathIsExpandedFromTheEnvironment) {
    temp_dir dir;
    make_small_db(dir.file("env.db"));
    ASSERT_EQ(::setenv("H12_NOTIFICATION_DIR", dir.path().c_str(), 1), 0);
    test_run o;
    quiet(o);
    std::string path = "%H12_NOTIFICATION_DIR%/env.db";
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(path, dir.file("env.db"));
    EXPECT_EQ(o.db_path, path);
    EXPECT_EQ(read.handed_on, 3u);
    ::unsetenv("H12_NOTIFICATION_DIR");
}

TEST(LibraryPath, ApplicationNameWidthFollowsReferencedHandlersInPaddedOutput) {
    temp_dir dir;
    const std::string db = dir.file("width.db");
    sqlite3* h = open_db(db);
    ASSERT_NE(h, nullptr);
    create_tables(h);
    insert_handler(h, 1, "Short_x");
    insert_handler(h, 2, "AnApplicationNameLongerThanAnyOther.NotReferenced_pub");
    insert_handler(h, 3, "Referenced.Application.Name.Longer_pub!App");
    insert_notification(h, 1, 1, 1, "toast", "<toast/>");
    insert_notification(h, 2, 2, 3, "toast", "<toast/>");
    sqlite3_close(h);

    // The handlers are read first and the width found before any row is written: the name cell of every
    // line of the padded report is that wide, both ways.
    const std::size_t width = std::string("Referenced.Application.Name.Longer").size();
    for (const bool carve : {false, true}) {
        SCOPED_TRACE(carve ? "carve" : "library");
        test_run padded;
        quiet(padded);
        padded.switches[kSwitchCarve] = carve ? 1 : 0;
        std::string path = db;
        const tables_read read = read_tables(padded, path);
        ASSERT_EQ(read.result, 1);
        EXPECT_EQ(padded.store.app_name_width, width);
        const std::vector<std::string> lines = report_records::lines_of(read.report);
        ASSERT_EQ(lines.size(), 3u);  // the header and the two notifications
        for (const std::string& line : lines) {
            // The name is the eighth cell.
            std::size_t at = 0;
            for (int cell = 0; cell < 7; ++cell) at = line.find(" | ", at) + 3;
            EXPECT_EQ(line.find(" | ", at) - at, width) << line;
        }
    }

    test_run unpadded;
    quiet(unpadded);
    unpadded.no_whitespace = true;
    std::string path = db;
    ASSERT_EQ(read_tables(unpadded, path).result, 1);
    EXPECT_EQ(unpadded.store.app_name_width, kDefaultAppNameWidth);
}

// Notification rows 1-2 reach the database file; rows 3-4 and handler 2 live only in its "-wal".
void make_wal_only_rows(const temp_dir& work, const std::string& target_db) {
    const std::string db = work.file("live.db");
    sqlite3* h = open_db(db);
    ASSERT_NE(h, nullptr);
    exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    create_tables(h);
    insert_handler(h, 1, "App_x");
    insert_notification(h, 1, 1, 1, "toast", "<toast>checkpointed 1</toast>");
    insert_notification(h, 2, 2, 1, "toast", "<toast>checkpointed 2</toast>");
    exec(h, "PRAGMA wal_checkpoint(TRUNCATE);");
    insert_handler(h, 2, "Later_x");
    insert_notification(h, 3, 3, 2, "toast", "<toast>only in the log 3</toast>");
    insert_notification(h, 4, 4, 2, "badge", "<badge value=\"4\"/>");
    // Copy while the connection is open: closing would move the log into the database.
    ASSERT_TRUE(copy_file(db, target_db));
    ASSERT_TRUE(copy_file(db + "-wal", target_db + "-wal"));
    sqlite3_close(h);
}

TEST(LibraryPath, WriteAheadLogRowsAreReadAndTheEvidenceIsLeftAlone) {
    temp_dir work;
    temp_dir evidence("wal #?%b \xff");
    ASSERT_FALSE(evidence.path().empty());
    const std::string db = evidence.file("wal db.db");
    make_wal_only_rows(work, db);
    ASSERT_GT(read_all(db + "-wal").size(), 0u);
    const folder_snapshot before = folder_snapshot::take(evidence.path());

    test_run o;
    csv_report(o);
    std::string path = db;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    const std::vector<report_row> rows = read.rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2].at("Payload"), "<toast>only in the log 3</toast>");
    EXPECT_EQ(rows[3].at("Type"), "badge");
    EXPECT_EQ(rows[3].at("Handler PrimaryId"), "Later_x");
    EXPECT_EQ(o.store.handlers.size(), 2u);
    o.selk_run::clear_after_each_iteration();
    EXPECT_FALSE(o.sqlite.is_open);
    EXPECT_TRUE(before == folder_snapshot::take(evidence.path()));
    EXPECT_FALSE(exists(db + "-shm"));

    // The own walk reads the database file, whose page 1 is sound: only the checkpointed rows, as "carve
    // main".
    test_run c;
    csv_report(c);
    c.switches[kSwitchCarve] = 1;
    path = db;
    const tables_read walked = read_tables(c, path);
    ASSERT_EQ(walked.result, 1);
    const std::vector<report_row> walked_rows = walked.rows();
    ASSERT_EQ(walked_rows.size(), 2u);
    EXPECT_EQ(source_of(walked_rows[0]), record_source_label(kSourceCarveMain));
    EXPECT_EQ(c.carve_switch, 1);
    EXPECT_TRUE(before == folder_snapshot::take(evidence.path()));
}

TEST(LibraryPath, CarveTakesTheSchemaFromTheLogWhenPageOneIsDamaged) {
    temp_dir work;
    temp_dir evidence;
    const std::string db = evidence.file("damaged.db");
    {
        const std::string live = work.file("live.db");
        sqlite3* h = open_db(live);
        ASSERT_NE(h, nullptr);
        exec(h, "PRAGMA page_size=4096; CREATE TABLE Metadata([Key] TEXT, [Value] INT64);");
        exec(h, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
        create_tables(h);
        insert_handler(h, 1, "App_x");
        insert_notification(h, 1, 1, 1, "toast", "<toast>from the log</toast>");
        ASSERT_TRUE(copy_file(live, db));
        ASSERT_TRUE(copy_file(live + "-wal", db + "-wal"));
        sqlite3_close(h);
    }
    // Page 1 of the database file no longer holds a b-tree page; its 100-byte header stays.
    std::vector<std::uint8_t> bytes = read_all(db);
    ASSERT_GE(bytes.size(), 4096u);
    std::fill(bytes.begin() + 100, bytes.begin() + 4096, 0);
    ASSERT_TRUE(write_all(db, bytes));

    test_run o;
    csv_report(o);
    o.switches[kSwitchCarve] = 1;
    std::string path = db;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.source, kSourceCarveMainFromWal);
    const std::vector<report_row> rows = read.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("Payload"), "<toast>from the log</toast>");
    EXPECT_EQ(source_of(rows[0]), record_source_label(kSourceCarveMainFromWal));
    ASSERT_EQ(o.store.handlers.size(), 1u);
    EXPECT_EQ(o.store.handlers[0].source_code(), kSourceCarveMainFromWal);
    // The slack scan of this database sees "-carve" cleared; the option itself stays.
    EXPECT_EQ(o.carve_switch, 0);
}

TEST(LibraryPath, HotJournalShowsOnlyTheCommittedRows) {
    temp_dir work;
    temp_dir evidence;
    const std::string db = evidence.file("hot.db");
    {
        const std::string live = work.file("live.db");
        sqlite3* h = open_db(live);
        ASSERT_NE(h, nullptr);
        exec(h, "PRAGMA page_size=1024;");
        create_tables(h);
        insert_handler(h, 1, "App_x");
        exec(h, "BEGIN;");
        for (int i = 1; i <= 150; ++i)
            insert_notification(h, i, i, 1, "toast",
                                "<toast>committed " + std::to_string(i) + std::string(80, '.') + "</toast>");
        exec(h, "COMMIT;");
        // A tiny cache makes the open transaction write its changed pages into the database file.
        exec(h,
             "PRAGMA cache_size=2; BEGIN; UPDATE Notification SET Payload = 'UNCOMMITTED', Type = 'tile';");
        ASSERT_TRUE(exists(live + "-journal"));
        ASSERT_TRUE(copy_file(live, db));
        ASSERT_TRUE(copy_file(live + "-journal", db + "-journal"));
        exec(h, "ROLLBACK;");
        sqlite3_close(h);
    }
    const folder_snapshot before = folder_snapshot::take(evidence.path());

    test_run o;
    csv_report(o);
    std::string path = db;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    const std::vector<report_row> rows = read.rows();
    ASSERT_EQ(rows.size(), 150u);
    for (const report_row& n : rows) {
        EXPECT_EQ(n.at("Type"), "toast");
        EXPECT_EQ(n.at("Payload").compare(0, 17, "<toast>committed "), 0) << n.at("Payload");
    }
    o.selk_run::clear_after_each_iteration();
    EXPECT_TRUE(before == folder_snapshot::take(evidence.path()));
}

TEST(LibraryPath, CarveBesideAHotJournalReadsTheRowsTheLibraryReads) {
    // The open transaction deletes, adds and grows rows through a cache of two pages, so the database file
    // holds split leaves and a rewritten tree that the journal undoes.
    temp_dir work;
    temp_dir evidence;
    const std::string db = evidence.file("hot.db");
    const std::string alone = work.file("alone.db");
    {
        const std::string live = work.file("live.db");
        sqlite3* h = open_db(live);
        ASSERT_NE(h, nullptr);
        exec(h, "PRAGMA page_size=1024;");
        create_tables(h);
        insert_handler(h, 1, "App_x");
        exec(h, "BEGIN;");
        for (int i = 1; i <= 300; ++i)
            insert_notification(h, i, i, 1, "toast", "<toast>committed " + std::to_string(i) + "</toast>", {},
                                132521873530000000LL + i);
        exec(h, "COMMIT;");
        exec(h, "PRAGMA cache_size=2; BEGIN; DELETE FROM Notification WHERE [Order] % 3 = 0;");
        for (int i = 301; i <= 500; ++i)
            insert_notification(h, i, i, 1, "tile", "<tile>uncommitted " + std::string(200, '.') + "</tile>");
        exec(h,
             "UPDATE Notification SET Payload = CAST(printf('<toast>grown %d %.300c</toast>', [Order], '-') "
             "AS "
             "BLOB) WHERE [Order] % 3 = 1;");
        ASSERT_TRUE(copy_file(live, db));
        ASSERT_TRUE(copy_file(live + "-journal", db + "-journal"));
        ASSERT_TRUE(copy_file(live, alone));
        exec(h, "ROLLBACK;");
        sqlite3_close(h);
    }
    const folder_snapshot before = folder_snapshot::take(evidence.path());
    struct read_rows {
        std::vector<std::string> rows;
        std::set<std::string> orders;
        std::string source;
    };
    auto read = [](const std::string& file, bool carve) {
        test_run o;
        csv_report(o);
        o.switches[kSwitchCarve] = carve ? 1 : 0;
        std::string path = file;
        read_rows r;
        const tables_read tables = read_tables(o, path);
        EXPECT_EQ(tables.result, 1);
        for (const report_row& n : tables.rows()) {
            r.rows.push_back(n.at("Order") + " " + n.at("Type") + " " + n.at("Notification ArrivalTime") +
                             " " + n.at("Payload"));
            EXPECT_TRUE(r.orders.insert(n.at("Order")).second) << "row " << n.at("Order") << " twice";
            r.source = source_of(n);
        }
        o.selk_run::clear_after_each_iteration();
        return r;
    };
    const read_rows library = read(db, false);
    const read_rows own = read(db, true);
    ASSERT_EQ(library.rows.size(), 300u);
    EXPECT_EQ(own.rows, library.rows);
    EXPECT_EQ(own.source, record_source_label(kSourceCarveMain));
    // The file alone holds another tree: the journal is what makes the difference.
    EXPECT_NE(read(alone, true).rows, library.rows);
    EXPECT_TRUE(before == folder_snapshot::take(evidence.path()));
}

TEST(LibraryPath, FailedSelectOfAnOptionalTableGoesToTheDiagnosticsLog) {
    // The schema page of the database file still lists the push-channel table; the log drops it, so the
    // library cannot select it.
    temp_dir work;
    temp_dir evidence;
    const std::string db = evidence.file("dropped.db");
    {
        const std::string live = work.file("live.db");
        sqlite3* h = open_db(live);
        ASSERT_NE(h, nullptr);
        exec(h, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
        create_tables(h);
        insert_handler(h, 1, "App_x");
        insert_notification(h, 1, 1, 1, "toast", "<toast/>");
        exec(h, "PRAGMA wal_checkpoint(TRUNCATE); DROP TABLE WNSPushChannel;");
        ASSERT_TRUE(copy_file(live, db));
        ASSERT_TRUE(copy_file(live + "-wal", db + "-wal"));
        sqlite3_close(h);
    }
    test_run o;
    quiet(o);
    log_to_file(o, evidence);
    std::string path = db;
    const tables_read read = read_tables(o, path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.handed_on, 1u);
    EXPECT_TRUE(o.store.push_channels.empty());
    const std::string expected =
        "->Prob calling cmd: select `ChannelId`,`HandlerId`,`Uri`,`ExpiryTime`,`CreatedTime`,`DeviceVersion` "
        "from "
        "wnspushchannel;, error: no such table: wnspushchannel";
    EXPECT_NE(log_text(o).find(expected), std::string::npos) << log_text(o);
    EXPECT_NE(o.messages.str().find("no such table: wnspushchannel\n"), std::string::npos);
}

// ---------------------------------------------------------------- a table the library breaks off

// A database on 1024-byte pages of `count` handlers, each with one notification and one push channel
// ("chan" and its number), rows long enough that a leaf holds three: with 1000, both tables have three
// levels. `push_table` declares the push-channel table in place of Windows' statement.
void make_channel_db(const std::string& path, int count, const char* push_table = push_channel_table_sql()) {
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA page_size=1024;");
    create_tables(db, false);
    exec(db, push_table);
    exec(db, "BEGIN;");
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        insert_handler(db, i, "App" + n);
        insert_notification(db, i, 1000 + i, i, "toast", "<toast>" + n + "</toast>" + std::string(250, 'x'));
        exec(db,
             "INSERT INTO WNSPushChannel(ChannelId, HandlerId, Uri, ExpiryTime, CreatedTime, DeviceVersion) "
             "VALUES('chan" +
                 n + "', " + n + ", 'https://push/" + std::string(250, 'u') + "', 1, 2, 0);");
    }
    exec(db, "COMMIT;");
    sqlite3_close(db);
}

// The root page of table `name`.
std::uint32_t root_page(const std::string& path, const std::string& name) {
    sqlite3* db = open_db(path);
    sqlite3_stmt* st = nullptr;
    std::uint32_t root = 0;
    if (sqlite3_prepare_v2(db, ("SELECT rootpage FROM sqlite_master WHERE name = '" + name + "';").c_str(),
                           -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return root;
}

std::uint32_t big_endian(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

// The pages below `page` of a table b-tree on 1024-byte pages, in key order: its leaves, and its interior
// pages.
void tree_pages(const std::vector<std::uint8_t>& b, std::uint32_t page, std::vector<std::uint32_t>& leaves,
                std::vector<std::uint32_t>& interiors) {
    const std::size_t at = (page - 1) * 1024u;
    if (b.at(at) == 0x0d) {
        leaves.push_back(page);
        return;
    }
    const std::uint32_t cells = big_endian(b, at + 3, 2);
    for (std::uint32_t i = 0; i <= cells; ++i) {
        const std::uint32_t child =
            i < cells ? big_endian(b, at + big_endian(b, at + 12 + 2 * i, 2), 4) : big_endian(b, at + 8, 4);
        if (b.at((child - 1) * 1024u) == 0x05) interiors.push_back(child);
        tree_pages(b, child, leaves, interiors);
    }
}

// With "-incl_slack" the rest of a table the library broke off comes from the own walk, from where the
// library stopped: every row the walk reads ("-carve" gives them) is in the store, none from both readers
// and none twice from the walk, whether or not the table's first column is its rowid, also where the
// library gave a row twice (two cell pointers equal).
TEST(LibraryPath, RestOfATableTheLibraryBrokeOffComesFromWhereItStopped) {
    temp_dir dir;
    const std::string live = dir.file("live.db");
    make_channel_db(live, 1000);
    const std::uint32_t roots[2] = {root_page(live, "WNSPushChannel"), root_page(live, "Notification")};
    const std::vector<std::uint8_t> intact = read_all(live);

    struct damage_case {
        const char* name;
        bool notifications;  // else the push channels, whose first column is not the rowid
        int repeat_leaf;     // a leaf whose cell pointer `repeat_cell` (-1 the last) takes cell 0's value
        int repeat_cell;
        int zero_leaf;      // a leaf whose type byte is zeroed
        int zero_interior;  // an interior page below the root whose type byte is zeroed
    };
    const std::vector<damage_case> cases = {
        {"repeated pointer, next leaf unreadable", false, 5, 1, 6, -1},
        {"repeated last pointer, next leaf unreadable", false, 5, -1, 6, -1},
        {"interior page unreadable", false, -1, 0, -1, 1},
        {"first leaf unreadable", false, -1, 0, 0, -1},
        {"rowid first, repeated pointer, next leaf unreadable", true, 5, 1, 6, -1},
        {"rowid first, repeated last pointer, next leaf unreadable", true, 5, -1, 6, -1},
    };
    for (const damage_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> leaves, interiors;
        tree_pages(intact, roots[c.notifications ? 1 : 0], leaves, interiors);
        ASSERT_GE(interiors.size(), 3u);
        std::vector<std::uint8_t> bytes = intact;
        if (c.repeat_leaf >= 0) {
            const std::size_t at = (leaves.at(c.repeat_leaf) - 1) * 1024u;
            ASSERT_GE(big_endian(bytes, at + 3, 2), 3u) << "a row between the last cell and the first";
            const int cell = c.repeat_cell >= 0 ? c.repeat_cell : int(big_endian(bytes, at + 3, 2)) - 1;
            bytes.at(at + 8 + 2 * cell) = bytes.at(at + 8);
            bytes.at(at + 9 + 2 * cell) = bytes.at(at + 9);
        }
        if (c.zero_leaf >= 0) bytes.at((leaves.at(c.zero_leaf) - 1) * 1024u) = 0;
        if (c.zero_interior >= 0) bytes.at((interiors.at(c.zero_interior) - 1) * 1024u) = 0;
        const std::string db = dir.file("damaged.db");
        ASSERT_TRUE(write_all(db, bytes));

        // The rows of the damaged table by reader: (library rows, own walk's rows) as their keys.
        const auto read = [&](bool carve) {
            test_run o;
            csv_report(o);
            o.switches[kSwitchSlack] = o.switches[kSwitchSlackCopy] = 1;
            o.switches[kSwitchCarve] = carve ? 1 : 0;
            log_to_file(o, dir);
            std::string path = db;
            const tables_read tables = read_tables(o, path);
            EXPECT_EQ(tables.result, 1);
            EXPECT_NE(o.tables_incomplete, 0);
            // Every row the library gave was asked for again: nothing may repeat them.
            const std::string log = log_text(o);
            EXPECT_NE(log.find("prob reading table"), std::string::npos) << log;
            EXPECT_EQ(log.find("may repeat"), std::string::npos) << log;
            std::pair<std::vector<std::string>, std::vector<std::string>> keys;
            const auto add = [&keys](bool library, const std::string& key) {
                (library ? keys.first : keys.second).push_back(key);
            };
            if (c.notifications) {
                for (const report_row& n : tables.rows())
                    add(source_of(n) == record_source_label(kSourceSqliteLib), n.at("Order"));
            }
            for (const channel_entry& p : o.store.push_channels)
                if (!c.notifications) add(p.source_code() == kSourceSqliteLib, std::string(p.channel_id()));
            return keys;
        };
        const auto carved = read(true);
        const auto slack = read(false);
        const std::set<std::string> every(carved.second.begin(), carved.second.end());
        const std::set<std::string> own(slack.second.begin(), slack.second.end());
        std::set<std::string> both(slack.first.begin(), slack.first.end());
        EXPECT_FALSE(own.empty());
        EXPECT_EQ(own.size(), slack.second.size()) << "a row of the walk given twice";
        for (const std::string& key : own) EXPECT_EQ(both.count(key), 0u) << key << " given by both readers";
        both.insert(own.begin(), own.end());
        std::vector<std::string> lost, extra;
        std::set_difference(every.begin(), every.end(), both.begin(), both.end(), std::back_inserter(lost));
        std::set_difference(both.begin(), both.end(), every.begin(), every.end(), std::back_inserter(extra));
        EXPECT_EQ(lost, std::vector<std::string>());
        EXPECT_EQ(extra, std::vector<std::string>());
    }
}

// Where each name of the rowid is a column of the table, the library's rows cannot be found again in the
// walk: every row the walk reads comes back, and the run says that they may repeat the library's.
TEST(LibraryPath, RestOfATableWithoutARowidNameComesWholeAndIsSaid) {
    temp_dir dir;
    const std::string db = dir.file("names.db");
    make_channel_db(
        db, 100,
        "CREATE TABLE WNSPushChannel(ChannelId TEXT PRIMARY KEY, HandlerId INTEGER, Uri TEXT, "
        "ExpiryTime INT64, CreatedTime INT64, DeviceVersion INT64, rowid INT, _rowid_ INT, oid INT);");
    std::vector<std::uint8_t> bytes = read_all(db);
    std::vector<std::uint32_t> leaves, interiors;
    tree_pages(bytes, root_page(db, "WNSPushChannel"), leaves, interiors);
    const std::size_t at = (leaves.at(5) - 1) * 1024u;
    const std::uint32_t unreadable = big_endian(bytes, at + 3, 2);  // its cells
    bytes.at(at) = 0;
    ASSERT_TRUE(write_all(db, bytes));
    test_run o;
    quiet(o);
    log_to_file(o, dir);
    o.switches[kSwitchSlack] = o.switches[kSwitchSlackCopy] = 1;
    std::string path = db;
    ASSERT_EQ(read_tables(o, path).result, 1);
    std::set<std::string> own;
    int library = 0;
    for (const channel_entry& p : o.store.push_channels) {
        if (p.source_code() == kSourceSqliteLib)
            ++library;
        else
            own.insert(std::string(p.channel_id()));
    }
    EXPECT_GT(library, 0);
    EXPECT_EQ(own.size(), 100u - unreadable);
    EXPECT_NE(
        log_text(o).find("prob reading table wnspushchannel: no name of its rowid is free of its columns: "
                         "rows of the own reader may repeat the " +
                         std::to_string(library) + " rows the library gave"),
        std::string::npos)
        << log_text(o);
}

// ---------------------------------------------------------------- the row callback and the command runner

TEST(RowCallback, RowsAreRefusedOrTakenByTheCurrentTable) {
    temp_dir dir;
    make_small_db(dir.file("cb.db"));
    test_run o;
    csv_report(o);
    std::ostringstream report;
    record_writer writer(report, o);
    row_pipeline rows(report, o, writer, 0);
    const database_source none;
    row_reader r(o, none, rows);
    EXPECT_EQ(sql_row_to_record(nullptr, 0, nullptr, nullptr), 1);
    std::vector<std::string> texts = {"5", "6", "7"};
    std::vector<char*> values = {&texts[0][0], &texts[1][0], &texts[2][0]};
    // No open binding: stop.
    EXPECT_EQ(sql_row_to_record(&r, 3, values.data(), nullptr), 1);

    ASSERT_TRUE(o.sqlite.open_read_only(dir.file("cb.db"), ""));
    notification_row_filler filler;
    filler.schema = &o.layout.schemas[kSchemaNotification];
    filler.mask = 16383;
    rows.set_row_filler(filler);
    r.current_table_type = kTableNotification;
    // Fewer values than the filler's mask asks for: not handed on, and the statement goes on.
    EXPECT_EQ(sql_row_to_record(&r, 3, values.data(), nullptr), 0);
    EXPECT_EQ(rows.rows_seen(), 0u);

    filler.mask = 7;
    rows.set_row_filler(filler);
    char name0[] = "Order", name1[] = "Id";
    char* names[] = {name0, name1, nullptr};
    EXPECT_EQ(sql_row_to_record(&r, 3, values.data(), names), 0);
    EXPECT_EQ(rows.rows_seen(), 1u);
    EXPECT_EQ(o.layout.column_names, (std::vector<std::string>{"Order", "Id", ""}));

    // An unknown table type takes nothing.
    r.current_table_type = 3;
    EXPECT_EQ(sql_row_to_record(&r, 3, values.data(), names), 0);
    EXPECT_EQ(rows.rows_seen(), 1u);

    // Handlers: the first record of an identifier stays in the map.
    r.current_table_type = kTableHandler;
    o.layout.schemas[kSchemaHandler].column_mask = 1;
    EXPECT_EQ(sql_row_to_record(&r, 1, values.data(), names), 0);
    EXPECT_EQ(sql_row_to_record(&r, 1, values.data(), names), 0);
    ASSERT_EQ(o.store.handlers.size(), 2u);
    EXPECT_EQ(o.store.handler_for(5), &o.store.handlers[0]);
    EXPECT_TRUE(o.store.notifications.empty());

    // The notification, in the report as the filler made it.
    rows.finish();
    const std::vector<report_row> written = report_rows(report.str());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].at("Order"), "5");
    EXPECT_EQ(written[0].at("Id"), "6");
    EXPECT_EQ(written[0].at("HandlerId"), "7");
    EXPECT_EQ(source_of(written[0]), record_source_label(kSourceSqliteLib));
}

TEST(CommandRunner, ErrorsAreKeptInTheMessageStream) {
    temp_dir dir;
    make_small_db(dir.file("cmd.db"));
    test_run o;
    csv_report(o);
    std::ostringstream report;
    record_writer writer(report, o);
    row_pipeline rows(report, o, writer, 0);
    const database_source none;
    row_reader r(o, none, rows);
    EXPECT_EQ(run_sql_command(&r, &o.sqlite, "select 1;", sql_row_to_record), 0);
    ASSERT_TRUE(o.sqlite.open_read_only(dir.file("cmd.db"), ""));
    EXPECT_EQ(run_sql_command(nullptr, &o.sqlite, "select 1;", sql_row_to_record), 0);
    EXPECT_EQ(run_sql_command(&r, nullptr, "select 1;", sql_row_to_record), 0);
    EXPECT_EQ(run_sql_command(&r, &o.sqlite, "", sql_row_to_record), 0);

    EXPECT_EQ(run_sql_command(&r, &o.sqlite, "selec nothing;", sql_row_to_record), 0);
    EXPECT_EQ(o.messages.str(), "Prob calling cmd: selec nothing;, error: near \"selec\": syntax error\n");
    o.messages.str("");
    EXPECT_EQ(run_sql_command(&r, &o.sqlite, "create table Notification(a);", sql_row_to_record), 0);
    EXPECT_EQ(o.messages.str(), "table Notification already exists\n");

    // Values reach the callback with their byte lengths.
    r.current_table_type = kTableNotification;
    notification_row_filler filler;
    filler.schema = &o.layout.schemas[kSchemaNotification];
    filler.mask = 1u << 3;
    rows.set_row_filler(filler);
    EXPECT_EQ(run_sql_command(&r, &o.sqlite, "select ActivityId from notification where [Order] = 2;",
                              sql_row_to_record),
              1);
    rows.finish();
    const std::vector<report_row> written = report_rows(report.str());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].at("ActivityId"),
              guid_text(std::string("\x00\x01\x00\x02\x00\x00\x00\x03\x04\x00\x05\x00\x00\x06\x00\x00", 16)));
}

}  // namespace
