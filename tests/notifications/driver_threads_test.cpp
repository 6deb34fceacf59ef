// The selk executable run under limits on its address space, from less than the serial run needs to more
// than the threaded run needs, on many rows and on one large payload: its threads never change the report
// and never end the run in an abort; neither a value a record claims nor rows that wait to be formatted cost
// more than their bytes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "selk_process.h"
#include "tree_bytes.h"

namespace {

namespace fx = notification_fixtures;

// More notifications than are written before the formatter threads start, over more leaves than a walk
// decodes on one thread, and deleted rows for the slack scan's thread.
void make_large_db(const std::string& path) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA secure_delete=OFF;");
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(db, "BEGIN;");
    for (int i = 0; i < 6000; ++i)
        fx::insert_notification(
            db, 1 + i, 5000 + i, 68, "toast",
            "<toast><text>row " + std::to_string(i) + std::string(i % 61, 'x') + "</text></toast>", {},
            132521874959020000LL + i * 7777777LL);
    fx::exec(db, "COMMIT;");
    fx::exec(db, "DELETE FROM Notification WHERE [Order] % 40 = 3;");
    sqlite3_close(db);
}

// One notification (Order 9) of a payload of `bytes` among a few small ones, its record over an overflow
// chain.
void make_large_payload_db(const std::string& path, std::size_t bytes) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    for (int i = 0; i < 5; ++i)
        fx::insert_notification(db, 1 + i, 5000 + i, 68, "toast", "<toast>small</toast>");
    std::string payload = "<toast><text>";
    while (payload.size() < bytes) payload += "a large, \"quoted\" |text| ";
    fx::insert_notification(db, 9, 5009, 68, "toast", payload + "</text></toast>");
    sqlite3_close(db);
}

// Large handler tables as an examiner may meet them: `handlers` handlers, each with a push channel, two
// settings and two notifications.
void make_handler_tables_db(const std::string& path, int handlers) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::create_tables(db);
    fx::exec(db, "BEGIN;");
    fx::exec(db, "CREATE TEMP TABLE n(i INTEGER PRIMARY KEY);");
    fx::exec(db, "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < " +
                     std::to_string(handlers) + ") INSERT INTO n SELECT i FROM c;");
    fx::exec(
        db,
        "INSERT INTO NotificationHandler(RecordId, PrimaryId, WNSId, HandlerType, WNFEventName, CreatedTime, "
        "ModifiedTime) SELECT i, 'Vendor' || i || '.App_8wekyb3d8bbwe!App', 'wns-' || i, 'app:desktop', "
        "i, '2021-02-01 10:00:00', '2021-02-02 10:00:00' FROM n;");
    fx::exec(
        db,
        "INSERT INTO WNSPushChannel SELECT 'chan-' || i, i, 'https://db5p.notify.windows.com/?token=AwYAAAB' "
        "|| i, 132521873530000000, 132521873530000000, 0 FROM n;");
    fx::exec(db, "INSERT INTO HandlerSettings SELECT i, 's:toast', i % 2 FROM n;");
    fx::exec(db, "INSERT INTO HandlerSettings SELECT i, 's:banner', 1 FROM n;");
    fx::exec(db,
             "INSERT INTO Notification([Order], Id, HandlerId, Type, Payload, ExpiryTime, ArrivalTime, "
             "PayloadType) SELECT 2 * i + k, 2 * i + k, i, 'toast', '<toast><text>a message ' || i || "
             "'</text></toast>', 0, 132521873530000000 + i, 'Xml' FROM n, (SELECT 0 AS k UNION SELECT 1);");
    fx::exec(db, "COMMIT;");
    sqlite3_close(db);
}

// selk with `args` under "ulimit -v" of `kilobytes`.
selk_process::result run_limited(const std::vector<std::string>& args, int kilobytes,
                                 const std::string& input = std::string()) {
    std::vector<std::string> shell = {
        "-c", "ulimit -v " + std::to_string(kilobytes) + " && exec \"$0\" \"$@\"", selk_process::selk_path()};
    shell.insert(shell.end(), args.begin(), args.end());
    return selk_process::run(shell, input, "/bin/sh");
}

// The report of the unlimited run `full`, or exit 255 with "out of memory"; never an abort.
void expect_report_or_out_of_memory(const selk_process::result& r, const selk_process::result& full,
                                    const std::string& at) {
    ASSERT_TRUE(r.started) << at;
    EXPECT_EQ(r.err.find("terminate"), std::string::npos) << at << ": " << r.err;
    if (r.status == 0) {
        EXPECT_TRUE(r.out == full.out) << at;
    } else {
        EXPECT_EQ(r.status, 255) << at << ": " << r.err;
        EXPECT_NE(r.err.find("out of memory"), std::string::npos) << at << ": " << r.err;
    }
}

TEST(SelkProcess, UnderAnAddressSpaceLimitTheReportIsTheUnlimitedOneOrTheRunSaysItRanOutOfMemory) {
#ifdef SELK_TEST_SANITIZER_MAPS
    GTEST_SKIP()
        << "the address and thread sanitizers reserve far more address space than the limits tried here";
#endif
    fx::temp_dir dir;
    const std::string db = dir.file("large.db");
    ASSERT_NO_FATAL_FAILURE(make_large_db(db));
    for (const std::vector<std::string>& form : {std::vector<std::string>{},
                                                 {"-carve"},
                                                 {"-incl_slack"},
                                                 {"-csvl2t"},
                                                 {"-bodyfile", "-incl_slack"}}) {
        std::vector<std::string> args = {"-db", db, "-quiet"};
        args.insert(args.end(), form.begin(), form.end());
        const std::string name = form.empty() ? "default" : form[0];
        const selk_process::result full = selk_process::run(args);
        ASSERT_EQ(full.status, 0) << name << full.err;
        ASSERT_GT(selk_process::lines(full.out).size(), 5000u) << name;
        for (const int megabytes : {16, 24, 32, 48, 64, 96, 128, 192, 256, 512, 1024}) {
            const selk_process::result r = run_limited(args, megabytes * 1024);
            const std::string at = name + " at " + std::to_string(megabytes) + " MB";
            expect_report_or_out_of_memory(r, full, at);
            // Room for the serial run is room for the threaded one.
            if (megabytes >= 64) {
                EXPECT_EQ(r.status, 0) << at << ": " << r.err;
            }
        }
        if (!form.empty()) continue;
        // Just above the least room in which the process starts at all (below it the loader fails with 127
        // before any of selk runs), where what is built before main, the C++ library's reserve for exceptions
        // and the SQLite library's first allocations run out.
        int start = 4096;
        while (start < 64 * 1024 && run_limited(args, start).status == 127) start += 64;
        for (int kilobytes = start - 64; kilobytes < start + 512; kilobytes += 8) {
            const selk_process::result r = run_limited(args, kilobytes);
            if (r.status != 127)
                expect_report_or_out_of_memory(r, full, "at " + std::to_string(kilobytes) + " KB");
        }
    }
    // A payload of 16 MiB: a row's bytes are copied once (the library's own copy, or the own walk's), so a
    // limit of a few times the payload is room for every form; below it the run says it ran out of memory.
    const std::string payload_db = dir.file("payload.db");
    ASSERT_NO_FATAL_FAILURE(make_large_payload_db(payload_db, 16u << 20));
    for (const std::vector<std::string>& form : {std::vector<std::string>{},
                                                 {"-carve"},
                                                 {"-incl_slack"},
                                                 {"-csvl2t"},
                                                 {"-bodyfile", "-incl_slack"}}) {
        std::vector<std::string> args = {"-db", payload_db, "-quiet"};
        args.insert(args.end(), form.begin(), form.end());
        const std::string name = "payload " + (form.empty() ? std::string("default") : form[0]);
        const selk_process::result full = selk_process::run(args);
        ASSERT_EQ(full.status, 0) << name << full.err;
        ASSERT_GT(full.out.size(), 16u << 20) << name;
        for (const int megabytes : {24, 32, 48, 80}) {
            const selk_process::result r = run_limited(args, megabytes * 1024);
            const std::string at = name + " at " + std::to_string(megabytes) + " MB";
            expect_report_or_out_of_memory(r, full, at);
            if (megabytes >= 80) {
                EXPECT_EQ(r.status, 0) << at << ": " << r.err;
            }
        }
    }
    // A list of paths larger than the limit, read whole before the run starts.
    std::string list;
    for (int i = 0; i < 300000; ++i) list += dir.file(std::to_string(i) + std::string(80, 'p') + ".db\n");
    const selk_process::result listed = run_limited({"-pipe", "-quiet"}, 16 * 1024, list);
    EXPECT_EQ(listed.status, 255) << listed.err;
    EXPECT_NE(listed.err.find("out of memory"), std::string::npos) << listed.err;
}

// What a record claims and how many rows wait to be formatted cost no more memory than the bytes there are:
// "-carve" on a payload of 70 KB whose record header claims a text of 300,000,000 bytes (the record's length
// kept) says the cell and prints the bytes there; 2,000 rows of 60 KB (each below the size of a large row, so
// batched) are handed to the formatters in batches capped in bytes. Each run's report is the unlimited one
// under a limit of 128 MiB.
TEST(SelkProcess, AClaimedValueOrManyRowsOfALargeSizeCostOnlyTheirBytes) {
#ifdef SELK_TEST_SANITIZER_MAPS
    GTEST_SKIP() << "the address and thread sanitizers reserve far more address space than the limit";
#endif
    using namespace tree_bytes;
    fx::temp_dir dir;
    const std::string claim = dir.file("claim.db"), rows = dir.file("rows.db");
    ASSERT_NO_FATAL_FAILURE(make_large_payload_db(claim, 70000));
    sqlite3* db = fx::open_db(claim);
    ASSERT_NE(db, nullptr);
    fx::exec(db,
             "UPDATE Notification SET Tag = printf('%.60c', 't'), [Group] = printf('%.60c', 'g') WHERE "
             "[Order] = 9;");
    sqlite3_close(db);
    std::vector<std::uint8_t> bytes = fx::read_all(claim);
    const std::size_t leaf = (root_of(claim, "Notification") - 1) * 4096;
    ASSERT_EQ(bytes.at(leaf), 0x0D) << "one leaf";
    std::size_t length = 0, header = 0, cell = 0;
    for (std::size_t i = 0; i < be16(bytes, leaf + 3); ++i) {
        const std::size_t rowid = rowid_at(bytes, leaf, i, &length);
        if (varint(bytes, rowid, &length) != 9) continue;
        header = rowid + length;
        cell = be16(bytes, leaf + 8 + 2 * i);
    }
    ASSERT_NE(header, 0u);
    // The types of the Payload (3 bytes), Tag and Group (2 each) become a text of 300,000,000 bytes (5) and
    // two nulls.
    const std::vector<std::uint8_t> types(bytes.begin() + header + 6, bytes.begin() + header + 13);
    ASSERT_TRUE(types[0] >= 0x80 && types[1] >= 0x80 && types[2] < 0x80 && types[3] >= 0x80 &&
                types[4] < 0x80 && types[5] >= 0x80 && types[6] < 0x80);
    const std::uint64_t text = 300000000ull * 2 + 13;
    for (int i = 0; i < 5; ++i)
        bytes.at(header + 6 + i) =
            static_cast<std::uint8_t>((text >> (7 * (4 - i))) & 0x7f) | (i < 4 ? 0x80 : 0);
    bytes.at(header + 11) = bytes.at(header + 12) = 0;
    ASSERT_TRUE(fx::write_all(claim, bytes));

    db = fx::open_db(rows);
    ASSERT_NE(db, nullptr);
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(
        db,
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) INSERT INTO "
        "Notification([Order], Id, HandlerId, Type, Payload, PayloadType) SELECT i, 1000 + i, 68, 'toast', "
        "CAST(printf('<toast>%d %.60000c</toast>', i, 'w') AS BLOB), 'Xml' FROM n;");
    sqlite3_close(db);

    struct memory_case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string said;     // on standard error ("": nothing)
        std::string printed;  // in the report
    };
    const memory_case cases[] = {
        {"a claimed text",
         {"-db", claim, "-quiet", "-carve"},
         255,
         " damaged: its record at page offset " + std::to_string(cell) +
             " needs 300000051 bytes where its payload length is ",
         "</text></toast>" + std::string(60, 't') + std::string(60, 'g')},
        {"many rows of 60 KB", {"-db", rows, "-quiet"}, 0, "", "<toast>2000 www"},
        {"many rows of 60 KB, -carve", {"-db", rows, "-quiet", "-carve"}, 0, "", "<toast>2000 www"},
    };
    for (const memory_case& c : cases) {
        SCOPED_TRACE(c.name);
        const selk_process::result full = selk_process::run(c.args), r = run_limited(c.args, 128 * 1024);
        EXPECT_EQ(full.status, c.status) << full.err;
        EXPECT_EQ(full.err.empty(), c.said.empty());
        EXPECT_NE(full.err.find(c.said), std::string::npos) << full.err;
        EXPECT_NE(full.out.find(c.printed), std::string::npos);
        EXPECT_EQ(r.status, full.status) << r.err;
        EXPECT_EQ(r.err, full.err);
        EXPECT_TRUE(r.out == full.out);
    }
}

// Large handler tables cost what the joins need (a handler's texts in one span, settings by handler in one
// array): 100,000 handlers, each with a push channel, two settings and two notifications, stay within
// 1.5 x the file + 20 MiB in every form, and give the same report under an address-space limit of twice that
// (libraries and threads reserve address space they never touch). The reports go to files: a child's peak
// counts what the test program held when it started the child.
TEST(SelkProcess, LargeHandlerTablesStayWithinTheBudget) {
#ifdef SELK_TEST_SANITIZER_MAPS
    GTEST_SKIP() << "the address and thread sanitizers reserve far more address space than the limit";
#endif
    fx::temp_dir dir;
    const std::string db = dir.file("handlers.db"), report = dir.file("report.txt"),
                      unlimited = dir.file("unlimited.txt");
    ASSERT_NO_FATAL_FAILURE(make_handler_tables_db(db, 100000));
    const long budget_kb = static_cast<long>(fx::read_all(db).size() * 3 / 2 / 1024) + 20 * 1024;
    for (const std::vector<std::string>& form :
         {std::vector<std::string>{"-csv", "-all_fields", "-incl_settings"},
          {"-carve", "-incl_settings"},
          {"-incl_slack", "-incl_settings"},
          {"-csvl2t"}}) {
        SCOPED_TRACE(form[0] + " " + std::to_string(form.size()));
        std::vector<std::string> args = {"-db", db, "-quiet", "-out"};
        args.insert(args.end(), form.begin(), form.end());
        args.insert(args.begin() + 4, report);
        const selk_process::result r = selk_process::run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_LE(r.peak_kb, budget_kb);
        ASSERT_EQ(std::rename(report.c_str(), unlimited.c_str()), 0);
        EXPECT_EQ(run_limited(args, static_cast<int>(2 * budget_kb)).status, 0);
        const std::vector<std::uint8_t> text = fx::read_all(unlimited);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 200004);
        EXPECT_TRUE(fx::read_all(report) == text);
    }
}

// Each huge value other than the payload is held once, where its reader holds it or, for a handler's or push
// channel's text, in the store: in every form the run stays within 1.5 x the files + 20 MiB, prints the value
// whole (counted in the "-csv -all_fields" report) and gives the same report under an address-space limit of
// twice that.
TEST(SelkProcess, HugeValuesOtherThanThePayloadAreHeldOnce) {
#ifdef SELK_TEST_SANITIZER_MAPS
    GTEST_SKIP() << "the address and thread sanitizers reserve far more address space than the limit";
#endif
    const std::string small =
        "INSERT INTO Notification([Order], Id, HandlerId, Type, Payload, PayloadType, "
        "ArrivalTime, ExpiryTime) VALUES(2, 2, 1, 'toast', '<toast>2</toast>', 'Xml', "
        "132521873530000002, 132521873530000009);";
    const std::string tagged =
        "INSERT INTO Notification([Order], Id, HandlerId, Type, Payload, Tag, [Group], "
        "PayloadType, ArrivalTime) VALUES(1, 1, 1, 'toast', '<toast>1</toast>', ";
    struct huge_case {
        const char* name;
        std::string handler_id;  // the handler's PrimaryId
        std::string sql;         // the rest of the database
        bool in_log;             // `sql` committed in a log beside the file
        char fill;               // the byte the huge value is made of
        std::size_t printed;     // how many of it the "-csv -all_fields" report holds
    };
    const huge_case cases[] = {
        {"a 32 MiB Tag", "'Contoso.Mail_1!App'", tagged + "printf('%.33554432c', '#'), 'g', 'Xml', 1);",
         false, '#', 32u << 20},
        {"a 32 MiB Group", "'Contoso.Mail_1!App'", tagged + "'t', printf('%.33554432c', '^'), 'Xml', 1);",
         false, '^', 32u << 20},
        {"a 16 MiB PrimaryId named by three notifications",
         "'Contoso.Mail_1!App' || printf('%.16777216c', '~')",
         "INSERT INTO Notification SELECT [Order] + 10, Id + 10, HandlerId, ActivityId, Type, Payload, Tag, "
         "[Group], ExpiryTime, ArrivalTime, DataVersion, PayloadType, BootId, ExpiresOnReboot FROM "
         "Notification; INSERT INTO Notification SELECT [Order] + 20, Id + 20, HandlerId, ActivityId, Type, "
         "Payload, Tag, [Group], ExpiryTime, ArrivalTime, DataVersion, PayloadType, BootId, ExpiresOnReboot "
         "FROM Notification WHERE [Order] = 2;",
         false, '~', 3 * (16u << 20)},
        {"a 16 MiB push channel Uri", "'Contoso.Mail_1!App'",
         "INSERT INTO WNSPushChannel VALUES('chan-1', 1, 'https://x/?' || printf('%.16777216c', '@'), "
         "132521873530000000, 132521873530000000, 0);",
         false, '@', 16u << 20},
        {"a 32 MiB Tag committed in a log", "'Contoso.Mail_1!App'",
         tagged + "printf('%.33554432c', '#'), 'g', 'Xml', 1);", true, '#', 32u << 20},
    };
    for (const huge_case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::temp_dir dir;
        const std::string db = dir.file("huge.db"), report = dir.file("report.txt"),
                          unlimited = dir.file("unlimited.txt");
        sqlite3* h = fx::open_db(c.in_log ? dir.file("writer.db") : db);
        ASSERT_NE(h, nullptr);
        fx::create_tables(h);
        fx::exec(h, "INSERT INTO NotificationHandler(RecordId, PrimaryId, HandlerType) VALUES(1, " +
                        c.handler_id + ", 'app:desktop');" + small);
        if (c.in_log) {
            // The files copied while the writer holds the log open, as a crash leaves them.
            fx::exec(h, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; " + c.sql);
            ASSERT_TRUE(fx::copy_file(dir.file("writer.db"), db));
            ASSERT_TRUE(fx::copy_file(dir.file("writer.db-wal"), db + "-wal"));
        } else {
            fx::exec(h, c.sql);
        }
        sqlite3_close(h);
        std::uint64_t files = fx::read_all(db).size();
        if (c.in_log) files += fx::read_all(db + "-wal").size();
        const long budget_kb = static_cast<long>(files * 3 / 2 / 1024) + 20 * 1024;
        for (const std::vector<std::string>& form :
             {std::vector<std::string>{"-csv", "-all_fields", "-incl_settings"},
              {},
              {"-carve"},
              {"-incl_slack"},
              {"-csvl2t"},
              {"-bodyfile"}}) {
            SCOPED_TRACE(form.empty() ? "default" : form[0]);
            std::vector<std::string> args = {"-db", db, "-quiet", "-out", report};
            args.insert(args.end(), form.begin(), form.end());
            const selk_process::result r = selk_process::run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_LE(r.peak_kb, budget_kb);
            ASSERT_EQ(std::rename(report.c_str(), unlimited.c_str()), 0);
            EXPECT_EQ(run_limited(args, static_cast<int>(2 * budget_kb)).status, 0);
            const std::vector<std::uint8_t> text = fx::read_all(unlimited);
            if (form.size() == 3) {
                EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), c.fill)), c.printed);
            }
            EXPECT_TRUE(fx::read_all(report) == text);
        }
    }
}

// A thread_local with a destructor makes the C library allocate as a thread first touches it, and end the
// process when that fails ("failed to register TLS destructor"): selk has none.
TEST(SelkProcess, NoThreadLocalObjectWithADestructor) {
    const std::vector<std::uint8_t> image = fx::read_all(selk_process::selk_path());
    ASSERT_FALSE(image.empty());
    const std::string registration = "__cxa_thread_atexit";
    EXPECT_EQ(std::search(image.begin(), image.end(), registration.begin(), registration.end()), image.end());
}

// The count the diagnostics log gives of a table of more rows than are written before the formatter threads
// start is the table's own, whichever reader and form wrote them.
TEST(SelkProcess, RecordsFoundCountsEveryRowOfALargeTable) {
    fx::temp_dir dir;
    const std::string db = dir.file("large.db");
    ASSERT_NO_FATAL_FAILURE(make_large_db(db));
    sqlite3* conn = fx::open_db(db);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(conn, "SELECT count(*) FROM Notification;", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const std::string expected = "->" + std::to_string(sqlite3_column_int(st, 0)) + " records found\n";
    sqlite3_finalize(st);
    sqlite3_close(conn);
    int at = 0;
    for (const std::vector<std::string>& form :
         {std::vector<std::string>{}, {"-carve"}, {"-csv", "-all_fields"}}) {
        const std::string diags = dir.file("diags" + std::to_string(at++) + ".txt");
        std::vector<std::string> args = {"-db", db, "-quiet", "-diags", diags};
        args.insert(args.end(), form.begin(), form.end());
        const selk_process::result r = selk_process::run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::vector<std::uint8_t> log = fx::read_all(diags);
        const std::string text(log.begin(), log.end());
        EXPECT_NE(text.find(expected), std::string::npos) << expected << text;
    }
}

}  // namespace
