// Pins the whole report of every output form, byte for byte, on the real database and on two generated ones,
// against the files in tests/notifications/golden/. Work on speed must not change a byte of them.
//
// When a change of output is intended, write the files again and review their diff before committing:
//   SELK_REPIN=1 build/tests/notifications/notifications_pinned_output_test
// (the real database's files are written only where it is present).
//
// selk runs inside the database's folder with a relative path, and its own path in the echoed command line
// reads "selk", so the reports do not depend on where the build or the temporary folder lies.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;

const char* const kFixtureName = "windows_notifications.db";
constexpr std::int64_t kArrival = 132521873530000000LL;  // 2020-12-11 19:09:13 UTC
constexpr std::int64_t kHour = 36000000000LL;

struct form {
    const char* name;
    std::vector<std::string> args;
};

const form kForms[] = {
    {"default", {}},
    {"csv", {"-csv"}},
    {"csvl2t", {"-csvl2t"}},
    // RFC 4180 quoting: JSON-looking cells too, and every log2timeline cell that holds ',' or '"'.
    {"csv_quoted", {"-csv", "-enable_quoted_csv_fields"}},
    {"csvl2t_quoted", {"-csvl2t", "-enable_quoted_csv_fields"}},
    {"bodyfile", {"-bodyfile"}},
    {"carve", {"-carve"}},
    {"incl_slack", {"-incl_slack"}},
    // Every cell kind of the row model: GUID, integers, settings.
    {"all_fields", {"-csv", "-all_fields", "-incl_settings"}},
};

bool repinning() {
    const char* v = std::getenv("SELK_REPIN");
    return v != nullptr && std::string(v) == "1";
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void bind_text_or_null(sqlite3_stmt* st, int i, const char* text) {
    if (text == nullptr)
        sqlite3_bind_null(st, i);
    else
        sqlite3_bind_text(st, i, text, -1, SQLITE_TRANSIENT);
}

// Handlers whose names carry the separators, quotes, line breaks and non-ASCII text a report must carry.
void insert_handlers(sqlite3* db) {
    static const char* const kNames[] = {"Contoso.Mail_8wekyb3d8bbwe!App",
                                         "Fabrikam, Inc.|\"Chat\"_1a2b!App",
                                         "Caf\xC3\xA9.Z\xC3\xBCrich_\xE6\x97\xA5\xE6\x9C\xAC!App",
                                         ("windows.immersivecontrolpanel_cw5n1h2txyewy!microsoft.windows."
                                          "immersivecontrolpanel"),
                                         "Line\nBreak.App!App",
                                         "Removed.Later!App"};
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(
                  db, "INSERT INTO NotificationHandler VALUES(?, ?, ?, ?, ?, NULL, ?, ?, NULL, NULL);", -1,
                  &st, nullptr),
              SQLITE_OK);
    for (int id = 1; id <= 6; ++id) {
        const std::string wns = "wns," + std::to_string(id);
        const std::string created = "2020-12-1" + std::to_string(id % 10) + " 19:09:1" + std::to_string(id);
        sqlite3_bind_int(st, 1, id);
        sqlite3_bind_text(st, 2, kNames[id - 1], -1, SQLITE_STATIC);
        bind_text_or_null(st, 3, id % 2 == 0 ? wns.c_str() : nullptr);
        sqlite3_bind_text(st, 4, id % 3 == 0 ? "app:desktop" : "app:immersive", -1, SQLITE_STATIC);
        sqlite3_bind_int64(st, 5, 0x41C64E6DA3BC0075LL + id);
        sqlite3_bind_text(st, 6, created.c_str(), -1, SQLITE_TRANSIENT);
        bind_text_or_null(st, 7, id == 5 ? nullptr : created.c_str());
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    // Handler 1 has two channels; handler 4 has none.
    fx::exec(db,
             "INSERT INTO WNSPushChannel VALUES('chan-1b', 1, 'https://db5.notify.windows.com/?token=a,b|c', "
             "132524465530000000, 132521873530000000, 0),"
             "('chan-1a', 1, 'https://db5.notify.windows.com/?token=second', 132524465540000000, 0, 0),"
             "('chan-2', 2, 'https://db5.notify.windows.com/?token=\"q\"', 0, 132521873540000000, 1),"
             "('chan-3', 3, NULL, 132524465550000000, 132521873550000000, 0),"
             "('chan-5', 5, 'https://db5.notify.windows.com/?token=\xC3\xBC', 132524465560000000, 1, 0);");
    fx::exec(db,
             "INSERT INTO HandlerSettings VALUES(1, 's:toast', 1), (1, 's:banner', 0), (1, 's:badge', 7),"
             "(2, 's:toast', 1), (3, 's:lock', 2), (3, 's:sound', 1), (5, 's:toast', 0);");
}

// A payload of row `i`: plain and special texts in turn, and now and then one long enough to overflow.
std::string payload_of(int i) {
    const std::string n = std::to_string(i);
    if (i % 97 == 50) return "<toast><text>long " + n + " " + std::string(5000, 'x') + "</text></toast>";
    switch (i % 8) {
        case 0:
            return "<toast><visual><binding template=\"ToastGeneric\"><text>Message " + n +
                   "</text></binding></visual></toast>";
        case 1:
            return "<toast><text>commas, " + n + ", and more,</text></toast>";
        case 2:
            return "<toast launch=\"q" + n + "\"><text>'single' \"double\" \"\"</text></toast>";
        case 3:
            return "<toast><text>pipes|" + n + "||end|</text></toast>";
        case 4:
            return "<toast><text>line " + n + "\nnext\r\nlast\r</text></toast>";
        case 5:
            return "<toast><text>Gr\xC3\xBC\xC3\x9F\x65 " + n +
                   " \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80</text></toast>";
        case 6:
            return "<badge value=\"" + n + "\"/>";
        default:
            return "<tile><visual><binding template=\"TileWide\"><text id=\"1\">tab\t" + n +
                   "</text></binding></visual></tile>";
    }
}

// Arrival times, with the edges of the date range now and then: none, the FILETIME epoch, before 1970,
// the first second of 1970, the far future and a negative value.
std::int64_t arrival_of(int i) {
    switch (i % 53) {
        case 7:
            return 0;
        case 14:
            return 1;
        case 21:
            return 94354848000000000LL;  // 1900-01-01
        case 28:
            return 116444736005000000LL;  // 1970-01-01 00:00:00.5
        case 35:
            return 2650467743990000000LL;  // 9999-12-31 23:59:59
        case 42:
            return -5;
        default:
            return kArrival + i * kHour + (i % 10) * 1234567;
    }
}

// Notifications `from`..`to` (inclusive) as rows `Order` = i, `Id` = 1000 + i.
void insert_notifications(sqlite3* db, int from, int to) {
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(
                  db, "INSERT INTO Notification VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'Xml', 0, 'FALSE');",
                  -1, &st, nullptr),
              SQLITE_OK);
    static const char* const kTypes[] = {"toast", "toast", "toast", "toast",
                                         "toast", "toast", "badge", "tile"};
    for (int i = from; i <= to; ++i) {
        std::uint8_t activity[16];
        for (int k = 0; k < 16; ++k) activity[k] = static_cast<std::uint8_t>(i * 31 + k * 17);
        const std::string payload = payload_of(i);
        const std::string tag = i % 5 == 0 ? "tag, " + std::to_string(i) : "t" + std::to_string(i);
        const std::int64_t arrival = arrival_of(i);
        sqlite3_bind_int(st, 1, i);
        sqlite3_bind_int(st, 2, 1000 + i);
        sqlite3_bind_int(st, 3, i % 13 == 0 ? 99 : 1 + i % 6);  // 99: a handler that does not exist
        if (i % 4 == 0)
            sqlite3_bind_null(st, 4);
        else
            sqlite3_bind_blob(st, 4, activity, 16, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 5, kTypes[i % 8], -1, SQLITE_STATIC);
        sqlite3_bind_blob(st, 6, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
        bind_text_or_null(st, 7, i % 3 == 0 ? nullptr : tag.c_str());
        sqlite3_bind_text(st, 8, i % 2 == 0 ? "" : "group|1", -1, SQLITE_STATIC);
        if (i % 11 == 0)
            sqlite3_bind_int64(st, 9, 0);
        else
            sqlite3_bind_int64(st, 9, arrival + 24 * kHour);
        sqlite3_bind_int64(st, 10, arrival);
        sqlite3_bind_int(st, 11, i % 3);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}

// 205 notifications in a rollback-journal database; some rows and a handler deleted again.
void make_mixed_db(const std::string& path) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
    fx::create_tables(db);
    fx::exec(db, "BEGIN;");
    insert_handlers(db);
    insert_notifications(db, 1, 200);
    // Values of other storage classes than Windows writes: text and real times, text keys, short blobs,
    // negative numbers, a text payload and missing ones.
    fx::exec(
        db,
        "INSERT INTO Notification VALUES"
        "(201, 1201, 1, NULL, 'toast', x'3C746F6173742F3E', 't', 'g', 'not a time', '132521873530000000', "
        "1, 'Xml', 0, 0),"
        "(202, 1202, 2, NULL, 'tile', x'3C74696C652F3E', '', '', 1607713895.25, 132521873530000000, 2.5, "
        "'Xml', 0, 0),"
        "(203, 1203, 'x3', x'0102030405060708', 'badge', 'text payload, \"quoted\" | piped', x'4142', "
        "x'00', 132524465530000000, 132521873530000000, 1, 'Xml', 0, 0),"
        "(204, -7, 4, '0123456789abcdef', 'toast', NULL, NULL, NULL, -1, -132521873530000000, -1, "
        "'Xml', -1, 1),"
        "(205, 1205, 5, x'', 'Toast', x'', '', '', 9223372036854775807, 9223372036854775807, 0, 'Json', "
        "0, 'TRUE');");
    fx::exec(db, "COMMIT;");
    fx::exec(db,
             "DELETE FROM Notification WHERE [Order] % 9 = 4; DELETE FROM NotificationHandler WHERE RecordId "
             "= 6;");
    sqlite3_close(db);
}

// A database in write-ahead-log mode whose last commits live only in the log beside it: rows added,
// deleted and rewritten after a checkpoint.
void make_wal_db(const std::string& work, const std::string& path) {
    const std::string live = work + "/live.db";
    sqlite3* db = fx::open_db(live);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(db);
    fx::exec(db, "BEGIN;");
    insert_handlers(db);
    insert_notifications(db, 1, 30);
    fx::exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);");
    insert_notifications(db, 31, 60);
    fx::exec(db, "DELETE FROM Notification WHERE [Order] % 7 = 3;");
    fx::exec(db,
             "UPDATE Notification SET Payload = CAST('<toast><text>rewritten</text></toast>' AS BLOB) "
             "WHERE [Order] IN (10, 40);");
    // Copied while the writer is open: closing would checkpoint the log into the file and remove it.
    ASSERT_TRUE(fx::copy_file(live, path));
    ASSERT_TRUE(fx::copy_file(live + "-wal", path + "-wal"));
    sqlite3_close(db);
}

// The generated databases, written once for all cases: name -> files (the database and its companions).
struct generated {
    std::map<std::string, std::map<std::string, std::vector<std::uint8_t>>> files;
};

const generated& generated_dbs() {
    static const generated g = [] {
        generated out;
        fx::temp_dir dir;
        make_mixed_db(dir.file("mixed.db"));
        out.files["mixed"]["mixed.db"] = fx::read_all(dir.file("mixed.db"));
        make_wal_db(dir.path(), dir.file("wal.db"));
        out.files["wal"]["wal.db"] = fx::read_all(dir.file("wal.db"));
        out.files["wal"]["wal.db-wal"] = fx::read_all(dir.file("wal.db-wal"));
        return out;
    }();
    return g;
}

// selk's report for `args`, run in `folder` on the database `name` given by its bare name.
selk_process::result run_in(const std::string& folder, const std::string& name,
                            const std::vector<std::string>& args) {
    std::vector<std::string> argv = {
        "-c",    "cd \"$1\" && shift && exec \"$@\"", "sh", folder, selk_process::selk_path(), "-db", name,
        "-quiet"};
    argv.insert(argv.end(), args.begin(), args.end());
    selk_process::result r = selk_process::run(argv, "", "/bin/sh");
    const std::size_t at = r.out.find(selk_process::selk_path());
    if (at != std::string::npos && at < r.out.find('\n', r.out.find('\n') + 1))
        r.out.replace(at, selk_process::selk_path().size(), "selk");
    return r;
}

// Where two texts first differ, as line number and both lines.
std::string first_difference(const std::string& want, const std::string& got) {
    const std::vector<std::string> a = selk_process::lines(want), b = selk_process::lines(got);
    for (std::size_t i = 0; i < a.size() || i < b.size(); ++i) {
        const std::string x = i < a.size() ? a[i] : "<end>", y = i < b.size() ? b[i] : "<end>";
        if (x != y) return "line " + std::to_string(i + 1) + "\n  pinned: " + x + "\n  now:    " + y;
    }
    return "line breaks at the end differ";
}

void check_against_golden(const std::string& db, const form& f, const selk_process::result& r) {
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string golden = std::string(SELK_GOLDEN_DIR) + "/" + db + "_" + f.name + ".txt";
    if (repinning()) {
        std::ofstream out(golden, std::ios::binary | std::ios::trunc);
        out << r.out;
        ASSERT_TRUE(static_cast<bool>(out)) << "cannot write " << golden;
        return;
    }
    struct stat st;
    ASSERT_EQ(::stat(golden.c_str(), &st), 0) << golden << " is missing; write it with SELK_REPIN=1";
    const std::string want = read_text(golden);
    if (want != r.out) ADD_FAILURE() << golden << " differs at " << first_difference(want, r.out);
}

class PinnedOutput : public ::testing::TestWithParam<form> {};

TEST_P(PinnedOutput, RealDatabase) {
    const std::string folder = SELK_FIXTURES_DIR;
    struct stat st;
    if (::stat((folder + "/" + kFixtureName).c_str(), &st) != 0)
        GTEST_SKIP() << "real notification database absent: " << folder << "/" << kFixtureName;
    check_against_golden("fixture", GetParam(), run_in(folder, kFixtureName, GetParam().args));
}

TEST_P(PinnedOutput, GeneratedDatabases) {
    for (const auto& db : generated_dbs().files) {
        // A fresh copy for every run, so that nothing one run leaves beside the database reaches the next.
        fx::temp_dir dir;
        for (const auto& file : db.second) ASSERT_TRUE(fx::write_all(dir.file(file.first), file.second));
        SCOPED_TRACE(db.first);
        check_against_golden(db.first, GetParam(), run_in(dir.path(), db.first + ".db", GetParam().args));
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, PinnedOutput, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<form>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
