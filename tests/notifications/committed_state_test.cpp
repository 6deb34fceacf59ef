// The selk executable on the state each form reads beside a log and a hot journal: the library's form checks
// and reads the committed state (the rollback's pages under the log's, the rest after a break-off from the
// same bytes), "-carve" checks the trees it walks (the main file, or the log's image with the log's page 1),
// and the committed header is the log's page 1 where the log commits one, the rollback's where it does not.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "companion_fixtures.h"
#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "sqlite_format/wal_fixtures.h"
#include "tree_bytes.h"

namespace {

namespace fx = notification_fixtures;
namespace cf = companion_fixtures;
using namespace tree_bytes;

constexpr std::size_t kFrameHeader = 24;

// The offset in `log` (pages of `page_size` bytes) of the last frame of `page`; 0 when it holds none.
std::size_t last_frame(const std::vector<std::uint8_t>& log, std::uint32_t page, std::size_t page_size) {
    std::size_t at = 0;
    for (std::size_t f = 32; f + kFrameHeader + page_size <= log.size(); f += kFrameHeader + page_size)
        if (be32(log, f) == page) at = f;
    return at;
}

// A database in write-ahead-log mode (4 KiB pages): three handlers and the notifications of Orders 1 to
// `checkpointed` in the file, those up to `logged` committed to the log in one transaction, each payload
// long enough for a serial type of two bytes. Without `file_tables` only the handler table is checkpointed.
// Copied with its log while the writer is open; the notification table's root page in *root.
void make_log_db(const fx::temp_dir& work, const std::string& db, std::uint32_t* root, int checkpointed,
                 int logged, bool file_tables = true) {
    const std::string live = work.file(db.substr(db.rfind('/') + 1) + ".live");
    sqlite3* h = fx::open_db(live);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::exec(h, fx::handler_table_sql());
    if (!file_tables) fx::exec(h, "PRAGMA wal_checkpoint(TRUNCATE);");
    fx::exec(h, fx::settings_table_sql());
    fx::exec(h, fx::notification_table_sql());
    for (int i = 1; i <= 3; ++i) fx::insert_handler(h, 67 + i, "Contoso.App" + std::to_string(i) + "!App");
    for (int i = 1; i <= logged; ++i) {
        if (i == 1 || i == checkpointed + 1) fx::exec(h, "BEGIN;");
        fx::insert_notification(h, i, 1000 + i, 67 + i % 3 + 1, "toast",
                                "<toast>row " + std::to_string(i) + " " + std::string(60, 'p') + "</toast>");
        if (i == checkpointed || i == logged) fx::exec(h, "COMMIT;");
        if (i == checkpointed && file_tables) fx::exec(h, "PRAGMA wal_checkpoint(TRUNCATE);");
    }
    ASSERT_TRUE(fx::copy_file(live, db) && fx::copy_file(live + "-wal", db + "-wal"));
    *root = root_of(live, "Notification");
    ASSERT_EQ(root_of(live, "NotificationHandler"), 2u);
    sqlite3_close(h);
}

// The first child link of the interior page at offset `page_at` of `b` set to `child`.
void relink_first_child(std::vector<std::uint8_t>& b, std::size_t page_at, std::uint32_t child) {
    put32(b, page_at + be16(b, page_at + 12), child);
}

struct state_case {
    std::string name;
    std::string db;
    std::vector<std::string> form;
    std::size_t rows;  // the data rows of its "-csv -all_fields" report
    int status;
    std::string said;  // on standard error ("": nothing at all)
};

TEST(CommittedState, EachFormChecksAndReadsTheStateItReads) {
    fx::temp_dir work;
    fx::temp_dir dir;
    std::vector<state_case> cases;
    {
        // A hot journal, and beside it a log whose one commit holds page 1 and the notification root with
        // its first child link set to its second child: the rollback's pages lie under the log's.
        const fx::temp_dir hot_work;
        const std::string db = dir.file("hot_damaged_log.db");
        ASSERT_NO_FATAL_FAILURE(cf::make_hot_evidence(hot_work, db));
        const std::string committed = hot_work.file("hot_live.db");
        std::vector<std::uint8_t> log = cf::log_over(hot_work, committed, "PRAGMA user_version=7;");
        ASSERT_EQ(log.size(), 32u + kFrameHeader + 1024) << "one frame, of page 1";
        const std::uint32_t root = root_of(committed, "Notification");
        const std::vector<std::uint8_t> state = fx::read_all(committed);
        std::vector<std::uint8_t> frame(log.begin() + 32, log.end());
        std::copy_n(state.begin() + (root - 1) * 1024, 1024, frame.begin() + kFrameHeader);
        relink_first_child(frame, kFrameHeader, links_of(state, root, 1024).child.at(1));
        put32(frame, 0, root);
        put32(log, 36, 0);  // page 1's frame is no longer the commit
        log.insert(log.end(), frame.begin(), frame.end());
        reader_fixtures::reseal_wal(log);
        ASSERT_TRUE(fx::write_all(db + "-wal", log));
        cases.push_back({"beside a hot journal a log of a damaged root",
                         db,
                         {},
                         189,
                         255,
                         "prob reading table notification of " + db + ": page " + std::to_string(root)});
    }
    {
        // 50 rows in the file, 50 in the log; row 80's Payload type (in a log frame) claims 8,185 bytes, its
        // record's length kept: the library breaks off at row 80, the rest read from its bytes.
        const std::string db = dir.file("break_off.db");
        std::uint32_t root = 0;
        ASSERT_NO_FATAL_FAILURE(make_log_db(work, db, &root, 50, 100));
        std::vector<std::uint8_t> log = fx::read_all(db + "-wal");
        std::size_t claimed = 0;
        for (std::size_t f = 32; f + kFrameHeader + 4096 <= log.size(); f += kFrameHeader + 4096) {
            const std::size_t p = f + kFrameHeader;
            for (std::size_t i = 0; log.at(p) == 0x0D && i < be16(log, p + 3); ++i) {
                std::size_t length = 0;
                const std::size_t rowid = rowid_at(log, p, i, &length);
                // The record's header size, then the types of Order, Id, HandlerId, ActivityId and Type.
                if (varint(log, rowid, &length) == 80) claimed = rowid + length + 6;
            }
        }
        ASSERT_NE(claimed, 0u);
        ASSERT_GE(log.at(claimed), 0x80) << "a Payload type of two bytes";
        log.at(claimed) = 0xFF;  // 16382: a blob of 8,185 bytes
        log.at(claimed + 1) = 0x7E;
        reader_fixtures::reseal_wal(log);
        ASSERT_TRUE(fx::write_all(db + "-wal", log));
        cases.push_back({"the rest after a break-off in the log",
                         db,
                         {},
                         100,
                         255,
                         "prob reading table notification of " + db + ": "});
    }
    {
        // 100 rows in the file, 100 in the log (with a newer, sound root); the file's root's first child
        // link set to the handler table's root leaf: "-carve" walks the file, and checks it.
        const std::string db = dir.file("carve_file.db");
        std::uint32_t root = 0;
        ASSERT_NO_FATAL_FAILURE(make_log_db(work, db, &root, 100, 200));
        std::vector<std::uint8_t> file = fx::read_all(db);
        relink_first_child(file, (root - 1) * 4096, 2);
        ASSERT_TRUE(fx::write_all(db, file));
        cases.push_back({"-carve of a damaged file beside a log",
                         db,
                         {"-carve"},
                         288,
                         255,
                         "child page number 2 is the root page of NotificationHandler"});
    }
    {
        // The committed header beside a hot journal and a log is the log's page 1 where the log commits
        // one, else the rollback's. A log of its header alone beside a file whose page 1 the pager spilled
        // (counting more pages than the file holds, for a change counter one up): the library reads the
        // rollback's 200 rows.
        const fx::temp_dir hot_work;
        const std::string db = dir.file("spilled_page_1.db");
        ASSERT_NO_FATAL_FAILURE(cf::make_hot_evidence(hot_work, db));
        const std::vector<std::uint8_t> log =
            cf::log_over(hot_work, hot_work.file("hot_live.db"), "PRAGMA user_version=7;");
        ASSERT_TRUE(fx::write_all(db + "-wal", std::vector<std::uint8_t>(log.begin(), log.begin() + 32)));
        std::vector<std::uint8_t> file = fx::read_all(db);
        put32(file, 28, static_cast<std::uint32_t>(file.size() / 1024 + 5));
        put32(file, 24, be32(file, 24) + 1);
        put32(file, 92, be32(file, 24));
        ASSERT_TRUE(fx::write_all(db, file));
        EXPECT_EQ(cf::library_reads(db, "SELECT count(*) FROM Notification;"), 200);
        cases.push_back({"a spilled page 1 beside a log of its header alone", db, {}, 200, 0, ""});
    }
    {
        // A free list in the committed state, and a log whose one commit of 200 rows takes every free page:
        // its page 1 names no trunk.
        const fx::temp_dir hot_work;
        const std::string db = dir.file("free_list_taken.db");
        ASSERT_NO_FATAL_FAILURE(cf::make_hot_evidence(
            hot_work, db, 1024, false,
            "CREATE TABLE scratch(x); INSERT INTO scratch VALUES(zeroblob(6000)); DROP TABLE scratch;"));
        const std::string committed = hot_work.file("hot_live.db");
        ASSERT_NE(be32(fx::read_all(committed), 32), 0u) << "a free list";
        const std::vector<std::uint8_t> log = cf::log_over(
            hot_work, committed,
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 199) INSERT INTO "
            "Notification([Order], Id, HandlerId, Type, Payload, PayloadType) SELECT 1000 + i, 2000 + i, 68, "
            "'toast', CAST('<toast>logged ' || i || '</toast>' AS BLOB), 'Xml' FROM n;");
        const std::size_t page_1 = last_frame(log, 1, 1024);
        ASSERT_NE(page_1, 0u);
        ASSERT_EQ(be32(log, page_1 + kFrameHeader + 32), 0u) << "no free list left";
        ASSERT_TRUE(fx::write_all(db + "-wal", log));
        EXPECT_EQ(cf::library_reads(db, "SELECT count(*) FROM Notification;"), 400);
        cases.push_back({"a log that takes every free page", db, {}, 400, 0, ""});
    }
    for (const bool current : {true, false}) {
        // Page 1 and the handler table in the file, the rest only in the log; the file's page 1 zeroed past
        // its header, so that "-carve" reads the log's image; there the notification root's first child
        // link set to the handler root leaf. Without `current` the log's page 1 counts its pages for another
        // change counter.
        const std::string db = dir.file(current ? "image.db" : "image_stale_count.db");
        std::uint32_t root = 0;
        ASSERT_NO_FATAL_FAILURE(make_log_db(work, db, &root, 0, 290, false));
        std::vector<std::uint8_t> file = fx::read_all(db), log = fx::read_all(db + "-wal");
        ASSERT_EQ(file.size(), 2u * 4096);
        std::fill(file.begin() + 100, file.begin() + 4096, 0);
        const std::size_t at = last_frame(log, root, 4096) + kFrameHeader;
        ASSERT_EQ(log.at(at), 5) << "an interior root";
        relink_first_child(log, at, 2);
        if (!current) put32(log, last_frame(log, 1, 4096) + kFrameHeader + 92, 12345);
        reader_fixtures::reseal_wal(log);
        ASSERT_TRUE(fx::write_all(db, file) && fx::write_all(db + "-wal", log));
        // 262 live rows, the 28 below the link it replaced from the log's frame of their leaf, which no sound
        // link reaches, and 28 from the slack of the log's frames.
        cases.push_back({std::string("-carve of the log's image") + (current ? "" : ", its count stale"),
                         db,
                         {"-carve"},
                         318,
                         255,
                         "prob reading table notification of " + db + ": page " + std::to_string(root)});
    }
    for (const state_case& c : cases) {
        SCOPED_TRACE(c.name);
        const selk_process::result r = run_form(c.db, c.form);
        EXPECT_EQ(driver_checks::data_rows(r.out).size(), c.rows);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.said.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        }
    }
}

}  // namespace
