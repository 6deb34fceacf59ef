// The selk executable on the page map every form shares: the rows a bad link of the committed state cuts off
// come back, recovered, from where that state's bytes of their leaf lie (a frame of the log, or the main
// file), a page a tree keeps is never carved as a free page whatever the free list says, and a free list that
// loops is said.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "sqlite_format/wal_fixtures.h"
#include "tree_bytes.h"

namespace {

namespace fx = notification_fixtures;
using namespace tree_bytes;

constexpr std::size_t kPage = 512;
constexpr std::size_t kFrame = 24 + kPage;

// The Order and the "src" label of every row of a "-csv -all_fields" report.
std::vector<std::pair<std::string, std::string>> rows_by_label(const std::string& out) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const std::string& row : driver_checks::data_rows(out)) {
        const std::vector<std::string> cells = split(row, ",");
        if (cells.size() < 17) continue;
        const std::size_t src = cells[16].find("\"src\":\"");
        const std::string label = src == std::string::npos ? "" : cells[16].substr(src + 7);
        rows.emplace_back(cells[8], label.substr(0, label.find('"')));
    }
    return rows;
}

// The rowids of the table leaf `page` (a page's bytes).
std::set<std::uint64_t> leaf_rowids(const std::vector<std::uint8_t>& page) {
    std::set<std::uint64_t> rowids;
    for (std::size_t i = 0; i < be16(page, 3); ++i) {
        std::size_t length = 0;
        rowids.insert(varint(page, rowid_at(page, 0, i, &length), &length));
    }
    return rowids;
}

// A database of 512-byte pages with the notification tables: 1500 notifications in the file, then, in log
// mode, 300 more in six commits, each also rewriting a row of the upper half, so that the log holds the
// newest versions of the trees' right-hand pages and leaves the file does not have. Copied with its log
// while the writer is open.
void make_logged_db(const fx::temp_dir& work, const std::string& db) {
    const std::string live = work.file("live.db");
    sqlite3* h = fx::open_db(live);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=512;");
    fx::create_tables(h);
    fx::insert_handler(h, 1, "Contoso.App1_8wekyb3d8bbwe!App");
    fx::exec(h, "BEGIN;");
    for (int i = 1; i <= 1800; ++i) {
        if (i == 1501) fx::exec(h, "COMMIT; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; BEGIN;");
        fx::insert_notification(h, 10 * i, i, 1, "toast", "<toast>n" + std::to_string(i) + "</toast>");
        if (i > 1500 && i % 50 == 0)
            fx::exec(h, "UPDATE Notification SET Tag = 'again' WHERE [Order] = " +
                            std::to_string(10 * (i - 700)) + "; COMMIT; BEGIN;");
    }
    fx::exec(h, "COMMIT;");
    ASSERT_TRUE(fx::copy_file(live, db) && fx::copy_file(live + "-wal", db + "-wal"));
    sqlite3_close(h);
}

// Each form's rows of `db` by label, and its exit status and standard error.
struct form_run {
    std::vector<std::pair<std::string, std::string>> rows;
    selk_process::result got;
};
form_run run_in(const std::string& db, const std::vector<std::string>& form) {
    form_run r;
    r.got = run_form(db, form);
    r.rows = rows_by_label(r.got.out);
    return r;
}

}  // namespace

// A link of the log's newest committed frame of an interior page set to name a sibling leaf: the rows of the
// leaf it named before, which no sound link of the committed state reaches, come back in "-incl_slack" from
// where their bytes lie: the log's frame of the leaf ("wal file valid page"), or the main file where the log
// holds none ("main db slack"); "-carve", which reads the file without the log, has them as before.
TEST(PageMap, RowsABadLinkOfTheLogCutsOffComeBackFromWhereTheirBytesLie) {
    fx::temp_dir work;
    const std::string sound_db = work.file("sound.db");
    ASSERT_NO_FATAL_FAILURE(make_logged_db(work, sound_db));
    const std::vector<std::uint8_t> file = fx::read_all(sound_db),
                                    sound_log = fx::read_all(sound_db + "-wal");
    const std::vector<std::string> library = orders_of(sound_db);
    ASSERT_EQ(library.size(), 1800u);
    // The newest frame of each page.
    std::vector<std::size_t> newest(file.size() / kPage + sound_log.size() / kFrame + 2, 0);
    for (std::size_t f = 32; f + kFrame <= sound_log.size(); f += kFrame) newest.at(be32(sound_log, f)) = f;
    struct cut_case {
        const char* name;
        bool in_log;  // the leaf cut off lies in a frame of the log (else in the main file alone)
        const char* label;
    };
    const cut_case cases[] = {{"a leaf only the log holds", true, "wal file valid page"},
                              {"a leaf of the main file the log does not supersede", false, "main db slack"}};
    for (const cut_case& c : cases) {
        SCOPED_TRACE(c.name);
        // A child of an interior page's newest frame that lies where the case says, set to its right-hand
        // sibling.
        std::size_t interior = 0, i = 0;
        interior_links links;
        for (std::size_t f = 32; interior == 0 && f + kFrame <= sound_log.size(); f += kFrame) {
            if (sound_log.at(f + 24) != 5 || newest[be32(sound_log, f)] != f ||
                be32(sound_log, f) == root_of(sound_db, "Notification"))
                continue;
            links = links_of(std::vector<std::uint8_t>(sound_log.begin() + static_cast<long>(f + 24),
                                                       sound_log.begin() + static_cast<long>(f + kFrame)),
                             1, kPage);
            for (i = 0; i + 1 < links.child.size(); ++i)
                if ((newest.at(links.child[i]) != 0) == c.in_log) {
                    interior = f + 24;
                    break;
                }
        }
        ASSERT_NE(interior, 0u) << "no interior page of the log names such a leaf";
        const std::uint32_t leaf = links.child[i];
        const std::vector<std::uint8_t> bytes =
            c.in_log ? std::vector<std::uint8_t>(sound_log.begin() + static_cast<long>(newest[leaf] + 24),
                                                 sound_log.begin() + static_cast<long>(newest[leaf] + kFrame))
                     : std::vector<std::uint8_t>(file.begin() + static_cast<long>((leaf - 1) * kPage),
                                                 file.begin() + static_cast<long>(leaf * kPage));
        ASSERT_EQ(bytes.at(0), 13);
        const std::set<std::uint64_t> cut = leaf_rowids(bytes);
        std::vector<std::uint8_t> log = sound_log;
        put32(log, interior + links.at[i], links.child[i + 1]);
        reader_fixtures::reseal_wal(log);
        const std::string db = work.file(c.in_log ? "log_leaf.db" : "file_leaf.db");
        ASSERT_TRUE(fx::write_all(db, file) && fx::write_all(db + "-wal", log));
        std::vector<std::string> live;
        for (const std::string& order : library)
            if (cut.count(std::stoull(order)) == 0) live.push_back(order);
        for (const std::vector<std::string>& form : kForms) {
            SCOPED_TRACE(form_name(form));
            const form_run r = run_in(db, form);
            std::vector<std::string> printed_live;
            std::set<std::uint64_t> recovered;
            for (const auto& row : r.rows) {
                if (row.second == "sqlite lib" || row.second == "carve main")
                    printed_live.push_back(row.first);
                if (cut.count(std::stoull(row.first)) != 0 &&
                    (form.empty() || form[0] == "-carve" || row.second == c.label))
                    recovered.insert(std::stoull(row.first));
            }
            if (form.empty() || form[0] == "-incl_slack") {
                EXPECT_EQ(r.got.status, 255);
                EXPECT_NE(r.got.err.find("child page number " + std::to_string(links.child[i + 1])),
                          std::string::npos)
                    << r.got.err;
                EXPECT_EQ(printed_live, live);
            }
            // Every cut-off row comes back where rows are recovered; none in the default form.
            EXPECT_EQ(recovered, form.empty() ? std::set<std::uint64_t>() : cut);
        }
    }
}

// 1 KiB pages, 1200 notifications and a free list. A free-list leaf entry set to a live notification leaf:
// the free list's damage is said in a note and the leaf's rows print once, live, never again as free-page
// rows. The first trunk naming itself: said as the free list's damage, in a note.
TEST(PageMap, AFreeListNeverTakesALivePageAndItsLoopIsSaid) {
    fx::temp_dir work;
    const std::string sound_db = work.file("free.db");
    {
        sqlite3* h = fx::open_db(sound_db);
        ASSERT_NE(h, nullptr);
        fx::exec(h, "PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;");
        fx::create_tables(h);
        fx::insert_handler(h, 1, "Contoso.App1_8wekyb3d8bbwe!App");
        fx::exec(h, "CREATE TABLE Scratch(b BLOB); BEGIN;");
        for (int i = 1; i <= 1200; ++i)
            fx::insert_notification(h, i, i, 1, "toast", "<toast>n" + std::to_string(i) + " padding</toast>");
        fx::exec(h, "INSERT INTO Scratch SELECT zeroblob(3000) FROM Notification LIMIT 20; COMMIT;");
        fx::exec(h, "DROP TABLE Scratch;");
        sqlite3_close(h);
    }
    const std::vector<std::uint8_t> sound = fx::read_all(sound_db);
    const std::uint32_t trunk = be32(sound, 32);
    const std::size_t trunk_at = (trunk - 1) * 1024;
    ASSERT_GT(be32(sound, trunk_at + 4), 0u) << "the free list has leaves";
    const interior_links root = links_of(sound, root_of(sound_db, "Notification"), 1024);
    const std::uint32_t leaf = root.child.at(1);
    ASSERT_EQ(sound.at((leaf - 1) * 1024), 13);
    const std::string note = "note: DB: damage that costs no row: the free list: ";
    struct free_case {
        const char* name;
        std::size_t at;  // set to `page`
        std::uint32_t page;
        std::string said;
    };
    const free_case cases[] = {
        {"a free-list leaf naming a notification leaf", trunk_at + 8, leaf,
         note + "trunk page " + std::to_string(trunk) + " lists page " + std::to_string(leaf) +
             ", a page of Notification\n"},
        {"the first trunk naming itself", trunk_at, trunk,
         note + "trunk page " + std::to_string(trunk) + " names trunk page " + std::to_string(trunk) +
             ", a page the free list reached before (a second reference)\n"},
    };
    std::vector<form_run> sound_runs;
    for (const std::vector<std::string>& form : kForms) sound_runs.push_back(run_in(sound_db, form));
    for (const free_case& c : cases) {
        std::vector<std::uint8_t> bytes = sound;
        put32(bytes, c.at, c.page);
        const std::string db = work.file("damaged.db");
        ASSERT_TRUE(fx::write_all(db, bytes));
        std::string said = c.said;
        said.replace(said.find("DB"), 2, db);
        for (std::size_t f = 0; f < kForms.size(); ++f) {
            SCOPED_TRACE(std::string(c.name) + ", " + form_name(kForms[f]));
            const form_run r = run_in(db, kForms[f]);
            EXPECT_EQ(r.got.status, 0) << r.got.err;
            EXPECT_EQ(r.got.err, said);
            // The sound file's rows, live and recovered: none of the page the free list names again.
            EXPECT_EQ(r.rows, sound_runs[f].rows);
        }
    }
}
