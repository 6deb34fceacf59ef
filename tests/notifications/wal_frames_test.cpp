// The selk executable beside a log whose last commit frame fails its checksum: every form reads the state the
// library reads (the log ends for it before that frame), and the transaction the frame would have committed
// is recovered from the log as superseded frames.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;

constexpr std::size_t kFrame = 24 + 1024;
const std::string kSuperseded = "wal file page superceded by new page";

// A database in write-ahead-log mode: its tables checkpointed into the file, then a log of two transactions,
// 100 rows "kept N" and 10 rows "late N" (copied while the writer is open). Returns the offset of the last
// commit frame and sets `root` to the Notification table's root page.
std::size_t make_log_evidence(const fx::temp_dir& work, const std::string& db, std::uint32_t& root) {
    const std::string live = work.file("live.db");
    sqlite3* h = fx::open_db(live);
    fx::exec(h, "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(h);
    fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(h, "PRAGMA wal_checkpoint(TRUNCATE); BEGIN;");
    for (int i = 0; i < 100; ++i)
        fx::insert_notification(h, 200 + i, 300 + i, 68, "toast",
                                "<toast>kept " + std::to_string(i) + "</toast>");
    fx::exec(h, "COMMIT; BEGIN;");
    for (int i = 0; i < 10; ++i)
        fx::insert_notification(h, 400 + i, 500 + i, 68, "toast",
                                "<toast>late " + std::to_string(i) + "</toast>");
    fx::exec(h, "COMMIT;");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, "SELECT rootpage FROM sqlite_master WHERE name = 'Notification'", -1, &st,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    EXPECT_TRUE(fx::copy_file(live, db));
    EXPECT_TRUE(fx::copy_file(live + "-wal", db + "-wal"));
    sqlite3_close(h);
    const std::vector<std::uint8_t> log = fx::read_all(db + "-wal");
    std::size_t last = 0;
    for (std::size_t f = 32; f + kFrame <= log.size(); f += kFrame)
        if (log[f + 4] != 0 || log[f + 5] != 0 || log[f + 6] != 0 || log[f + 7] != 0) last = f;
    return last;
}

// The payloads of the notifications the library reads from a copy of `db` and its log.
std::multiset<std::string> library_payloads(const std::string& db) {
    fx::temp_dir copy;
    const std::string at = copy.file("library.db");
    EXPECT_TRUE(fx::copy_file(db, at));
    EXPECT_TRUE(fx::copy_file(db + "-wal", at + "-wal"));
    std::multiset<std::string> payloads;
    sqlite3* h = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(at.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(h, "SELECT CAST(Payload AS TEXT) FROM Notification", -1, &st, nullptr) ==
            SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            payloads.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(h);
    return payloads;
}

// The payloads of a "-csv" report by the source its rows name.
std::map<std::string, std::multiset<std::string>> payloads_by_source(const std::string& out) {
    std::map<std::string, std::multiset<std::string>> by;
    for (const std::string& line : selk_process::lines(out)) {
        const std::vector<std::string> cells = selk_process::split(line, ",");
        const std::size_t src = cells.size() == 12u ? cells[8].find("{\"src\":\"") : std::string::npos;
        if (src == std::string::npos) continue;
        by[cells[8].substr(src + 8, cells[8].find('"', src + 8) - src - 8)].insert(cells[10]);
    }
    return by;
}

}  // namespace

TEST(SelkProcess, EveryFormReadsTheCommitsTheLibraryTakesFromALogWhoseLastCommitFails) {
    struct damage {
        const char* name;
        std::size_t at;  // in the last commit frame
        bool root;       // the commit size edited to the Notification root's page; else the byte flipped
    };
    const damage damages[] = {{"its commit size edited", 4, true}, {"its checksum flipped", 16, false}};
    for (const damage& d : damages) {
        fx::temp_dir work, dir;
        const std::string db = dir.file("log.db");
        std::uint32_t root = 0;
        const std::size_t last = make_log_evidence(work, db, root);
        std::vector<std::uint8_t> log = fx::read_all(db + "-wal");
        ASSERT_GT(last, 0u);
        ASSERT_GT(root, 1u);
        if (d.root) {
            // A claim of fewer pages than the tree's leaves: read as committed, no leaf would be reached.
            for (int i = 0; i < 4; ++i)
                log[last + d.at + i] = static_cast<std::uint8_t>(root >> (24 - 8 * i));
        } else {
            log[last + d.at] ^= 1;
        }
        ASSERT_TRUE(fx::write_all(db + "-wal", log));
        const std::multiset<std::string> library = library_payloads(db);
        ASSERT_EQ(library.size(), 100u);
        std::set<std::string> late;
        for (int i = 0; i < 10; ++i) late.insert("<toast>late " + std::to_string(i) + "</toast>");

        for (const char* form : {"", "-incl_slack", "-carve"}) {
            SCOPED_TRACE(std::string(d.name) + " " + form);
            std::vector<std::string> args = {"-db", db, "-quiet", "-csv"};
            if (*form != 0) args.push_back(form);
            const selk_process::result r = selk_process::run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            // "-carve" says once that its "carve main" rows are the main file's, without the log's commits.
            const std::string note = "note: " + db + ": the log beside it holds the committed versions of ";
            EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), r.err);
            EXPECT_EQ(r.err.compare(0, note.size(), note) == 0, std::string(form) == "-carve") << r.err;
            auto by = payloads_by_source(r.out);
            // The late transaction comes only as recovered frames of the log, every row of it, and only where
            // recovery is asked for.
            const std::set<std::string> superseded(by[kSuperseded].begin(), by[kSuperseded].end());
            by.erase(kSuperseded);
            if (*form == 0)
                EXPECT_TRUE(superseded.empty());
            else
                EXPECT_TRUE(std::includes(superseded.begin(), superseded.end(), late.begin(), late.end()));
            std::multiset<std::string> live;
            for (const auto& source : by) live.insert(source.second.begin(), source.second.end());
            for (const std::string& payload : late) EXPECT_EQ(live.count(payload), 0u) << payload;
            if (std::string(form) == "-carve") {
                for (const std::string& payload : library) EXPECT_GE(live.count(payload), 1u) << payload;
            } else {
                EXPECT_EQ(by["sqlite lib"], library);
            }
        }
    }
}
