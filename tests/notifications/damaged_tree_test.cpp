// The selk executable on damaged b-trees and files cut short: every form (the library's, "-carve" and
// "-incl_slack") gives the same verdict on the same file: it names the table, the page and why on standard
// error and exits 255, prints no schema row as a notification, no rowid twice as a live row and no value read
// through a damaged overflow chain as if whole; and the handlers are read whatever becomes of the
// notification read.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"
#include "sqlite_format/btree.h"
#include "tree_bytes.h"

namespace {

namespace fx = notification_fixtures;
using namespace tree_bytes;
using selk_process::run;
using selk_process::split;

constexpr std::size_t kPage = 4096;
constexpr int kLongRow = 100;  // the row whose payload overflows onto two pages
constexpr int kHugeRow = 150;  // the row whose payload length needs a varint of three bytes
constexpr int kNoCut = -1;

// The payload of notification `i` of make_damage_db.
std::string payload_of(int i, bool huge = true) {
    std::string text = "msg " + std::to_string(i);
    if (i == kLongRow) text = "long " + std::string(9000, 'x');
    if (i == kHugeRow && huge) text = "huge " + std::string(20000, 'y');
    return "<toast><text>" + text + "</text></toast>";
}

// 200 notifications on 4 KiB pages, every third deleted again (134 left); row kLongRow's payload overflows
// onto two pages, and with `huge` row kHugeRow's onto five (else the last page is a leaf of the table).
void make_damage_db(const std::string& path, bool huge = true) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::insert_handler(db, 69, "Fabrikam.Chat_1a2b!App");
    fx::exec(db, "BEGIN;");
    for (int i = 0; i < 200; ++i)
        fx::insert_notification(db, 200 + i, 300 + i, i % 2 == 0 ? 68 : 69, "toast", payload_of(i, huge), {},
                                132521874959020000LL + i * 10000000LL);
    fx::exec(db, "COMMIT; DELETE FROM Notification WHERE ([Order] - 200) % 3 = 2;");
    sqlite3_close(db);
}

// A cell of a table leaf: its page, its offset in the page, and its payload length and that varint's size.
struct leaf_cell {
    std::uint32_t page = 0;
    std::size_t at = 0;
    std::uint64_t payload = 0;
    std::size_t length = 0;
};

// The cell of the notification table whose rowid is `order`.
leaf_cell cell_of(const std::vector<std::uint8_t>& b, std::uint32_t root, std::int64_t order) {
    std::vector<std::uint32_t> pages = {root};
    while (!pages.empty()) {
        const std::uint32_t page = pages.back();
        pages.pop_back();
        const std::size_t p = (page - 1) * kPage;
        const std::size_t cells = be16(b, p + 3);
        if (b.at(p) == 5) {
            for (std::size_t i = 0; i < cells; ++i) pages.push_back(be32(b, p + be16(b, p + 12 + 2 * i)));
            pages.push_back(be32(b, p + 8));
            continue;
        }
        for (std::size_t i = 0; i < cells; ++i) {
            leaf_cell c;
            c.page = page;
            c.at = be16(b, p + 8 + 2 * i);
            c.payload = varint(b, p + c.at, &c.length);
            std::size_t n = 0;
            if (static_cast<std::int64_t>(varint(b, p + c.at + c.length, &n)) == order) return c;
        }
    }
    return leaf_cell();
}

// The first overflow page of an overflowing cell (local part as the format splits a 4 KiB page).
std::size_t overflow_link_at(const std::vector<std::uint8_t>& b, const leaf_cell& c) {
    const std::uint64_t u = kPage, x = u - 35, m = (u - 12) * 32 / 255 - 23;
    const std::uint64_t k = m + (c.payload - m) % (u - 4);
    std::size_t rowid = 0;
    (void)varint(b, (c.page - 1) * kPage + c.at + c.length, &rowid);
    return (c.page - 1) * kPage + c.at + c.length + rowid + (k <= x ? k : m);
}

// The record of an overflowing cell as far as its page holds it.
std::string record_bytes(const std::vector<std::uint8_t>& b, const leaf_cell& c) {
    std::size_t rowid = 0;
    const std::size_t record = (c.page - 1) * kPage + c.at + c.length;
    (void)varint(b, record, &rowid);
    return std::string(b.begin() + static_cast<long>(record + rowid),
                       b.begin() + static_cast<long>(overflow_link_at(b, c)));
}

// The Payload printed for the live row of Order `order` ("" when there is none).
std::string printed_payload(const std::string& out, int order) {
    for (const std::string& row : driver_checks::data_rows(out)) {
        const std::vector<std::string> cells = split(row, ",");
        if (cells.size() > 22 && cells[8] == std::to_string(order) &&
            (cells[16].find("\"sqlite lib\"") != std::string::npos ||
             cells[16].find("\"carve main\"") != std::string::npos))
            return cells[22];
    }
    return std::string();
}

// Each kind of damage the library reads past without a word: in every form the run says the table, the page
// and why and exits 255, prints no schema row and no rowid twice as a live row, and of a row whose overflow
// chain is damaged only the bytes of its own pages.
TEST(DamagedTree, EveryFormSaysTheDamageAndPrintsNoForeignOrRepeatedRow) {
    fx::temp_dir dir("tree");
    const std::string intact_path = dir.file("intact.db");
    make_damage_db(intact_path);
    const std::uint32_t root = root_of(intact_path, "Notification");
    const std::uint32_t handlers = root_of(intact_path, "NotificationHandler");
    const std::vector<std::uint8_t> intact = fx::read_all(intact_path);
    const std::size_t r = (root - 1) * kPage;
    ASSERT_EQ(intact.at(r), 5) << "the notification table has more than one leaf";
    const leaf_cell long_row = cell_of(intact, root, 200 + kLongRow);
    const leaf_cell huge_row = cell_of(intact, root, 200 + kHugeRow);
    ASSERT_GT(long_row.payload, 9000u);
    ASSERT_EQ(huge_row.length, 3u);
    const leaf_cell small_row = cell_of(intact, root, 200);
    ASSERT_EQ(small_row.length, 1u);
    ASSERT_EQ(intact.at(r + 3), 0);
    ASSERT_GT(intact.at(r + 4), 2) << "the root has several cells";
    const std::size_t first_overflow = overflow_link_at(intact, long_row);
    const std::uint32_t chain = be32(intact, first_overflow);
    const std::uint32_t pages = static_cast<std::uint32_t>(intact.size() / kPage);
    std::vector<std::uint32_t> huge_chain = {be32(intact, overflow_link_at(intact, huge_row))};
    while (be32(intact, (huge_chain.back() - 1) * kPage) != 0)
        huge_chain.push_back(be32(intact, (huge_chain.back() - 1) * kPage));
    ASSERT_GT(huge_chain.size(), 2u);
    // The root's first key; the last rowid of the child before it, the first of the child after it and the
    // key after; cell 1 of the first leaf.
    std::size_t key_length = 0, length = 0;
    const std::size_t key_at = r + be16(intact, r + 12) + 4;
    const std::string low = std::to_string(varint(intact, key_at, &key_length));
    const std::uint64_t high = varint(intact, r + be16(intact, r + 14) + 4, &length);
    const std::size_t before_leaf = (be32(intact, key_at - 4) - 1) * kPage;
    const std::size_t last_rowid = rowid_at(intact, before_leaf, be16(intact, before_leaf + 3) - 1, &length);
    ASSERT_EQ(length, key_length);
    const std::size_t next_leaf = (be32(intact, r + be16(intact, r + 14)) - 1) * kPage;
    const std::size_t first_rowid = rowid_at(intact, next_leaf, 0, &length);
    ASSERT_EQ(length, key_length);
    const std::size_t small_leaf = (small_row.page - 1) * kPage;
    std::size_t length_0 = 0;
    ASSERT_EQ(be16(intact, small_leaf + 8), small_row.at) << "Order 200 is cell 0 of its leaf";
    const std::size_t rowid_0 = rowid_at(intact, small_leaf, 0, &length_0);
    const std::size_t rowid_1 = rowid_at(intact, small_leaf, 1, &length);
    ASSERT_EQ(length, length_0);

    struct damage_case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        std::uint32_t page;          // the page the damage is told on
        int cut;                     // the row whose overflow chain is damaged (kNoCut: none)
        std::uint64_t sound = 0;     // the pages of its chain that are its own: only their bytes are printed
        const char* kept = nullptr;  // the Order of a sound row beside the damage, printed in every form
        std::string said = std::string();  // what is said of the damage, in every form
    };
    const std::vector<damage_case> cases = {
        {"right child 1", [&](std::vector<std::uint8_t>& b) { put32(b, r + 8, 1); }, root, kNoCut},
        {"right child self", [&](std::vector<std::uint8_t>& b) { put32(b, r + 8, root); }, root, kNoCut},
        {"right child another root", [&](std::vector<std::uint8_t>& b) { put32(b, r + 8, handlers); }, root,
         kNoCut},
        {"first child the right child",
         [&](std::vector<std::uint8_t>& b) { put32(b, r + be16(b, r + 12), be32(b, r + 8)); }, root, kNoCut},
        {"overflow chain to itself",
         [&](std::vector<std::uint8_t>& b) { put32(b, (chain - 1) * kPage, chain); }, long_row.page, kLongRow,
         1},
        {"overflow chain past the end",
         [&](std::vector<std::uint8_t>& b) { put32(b, (chain - 1) * kPage, pages + 40); }, long_row.page,
         kLongRow, 1},
        {"overflow chain to page 1", [&](std::vector<std::uint8_t>& b) { put32(b, (chain - 1) * kPage, 1); },
         long_row.page, kLongRow, 1},
        // 0xffff7f: 2,097,151 bytes, more than all the file's pages hold.
        {"huge payload length",
         [&](std::vector<std::uint8_t>& b) {
             const std::size_t at = (huge_row.page - 1) * kPage + huge_row.at;
             b.at(at) = 0xff;
             b.at(at + 1) = 0xff;
             b.at(at + 2) = 0x7f;
         },
         huge_row.page, kNoCut},
        // Found by a sweep of random damage that PRAGMA quick_check judged: cells and children hidden, a cell
        // shrunk, which the library reads past without a word.
        {"cell count of the root cut short", [&](std::vector<std::uint8_t>& b) { b.at(r + 4) = 1; }, root,
         kNoCut},
        {"cell count of a leaf cut short",
         [&](std::vector<std::uint8_t>& b) { b.at((small_row.page - 1) * kPage + 4) -= 2; }, small_row.page,
         kNoCut},
        {"payload length shrunk",
         [&](std::vector<std::uint8_t>& b) { b.at((small_row.page - 1) * kPage + small_row.at) -= 7; },
         small_row.page, kNoCut},
        // 8f ff ff 7f over the payload length and rowid of a cell near the end of its page: the library gives
        // an all-empty row.
        {"payload length past the page",
         [&](std::vector<std::uint8_t>& b) {
             const std::size_t at = (small_row.page - 1) * kPage + small_row.at;
             b.at(at) = 0x8f;
             b.at(at + 1) = b.at(at + 2) = 0xff;
             b.at(at + 3) = 0x7f;
         },
         small_row.page, kNoCut},
        {"an index's type byte on the root", [&](std::vector<std::uint8_t>& b) { b.at(r) = 2; }, root,
         kNoCut},
        // The library gives Order 200 twice; the repeat is not printed, the cell it repeats is.
        {"cell pointer repeated",
         [&](std::vector<std::uint8_t>& b) {
             const std::size_t array = (small_row.page - 1) * kPage + 8;
             b.at(array + 2) = b.at(array);
             b.at(array + 3) = b.at(array + 1);
         },
         small_row.page, kNoCut, 0, "200"},
        // The rowid of a child's first cell on the key that bounds it from below (the last row of the child
        // before it set to the key as well, as the row the key came from, since deleted), and the rowid of a
        // leaf's cell 1 on that of its cell 0: the library prints the Order twice.
        {"rowid on its parent's key",
         [&](std::vector<std::uint8_t>& b) {
             for (const std::size_t at : {last_rowid, first_rowid})
                 std::copy_n(intact.begin() + static_cast<long>(key_at), key_length,
                             b.begin() + static_cast<long>(at));
         },
         static_cast<std::uint32_t>(next_leaf / kPage + 1), kNoCut, 0, low.c_str(),
         "cell 0 skipped: its rowid " + low + " is out of order: page " + std::to_string(root) +
             " gives this page the rowids above " + low + " up to " + std::to_string(high)},
        {"rowid repeated by the next cell",
         [&](std::vector<std::uint8_t>& b) {
             std::copy_n(intact.begin() + static_cast<long>(rowid_0), length_0,
                         b.begin() + static_cast<long>(rowid_1));
         },
         small_row.page, kNoCut, 0, "200",
         "cell 1 skipped: its rowid 200 does not follow rowid 200 of the cell before it"},
        // The huge row's chain runs into the long row's: its last page but one links to the long row's first
        // overflow page, which links on. Whichever row is walked first, the huge row's own pages are all but
        // its last.
        {"overflow chain into another row's",
         [&](std::vector<std::uint8_t>& b) {
             put32(b, (huge_chain[huge_chain.size() - 2] - 1) * kPage, chain);
         },
         huge_row.page, kHugeRow, huge_chain.size() - 1},
    };
    for (const damage_case& c : cases) {
        std::vector<std::uint8_t> bytes = intact;
        c.damage(bytes);
        const std::string db = dir.file(std::string(c.name) + ".db");
        ASSERT_TRUE(fx::write_all(db, bytes));
        // Of a row whose chain is damaged: the payload bytes read (those on its page and on the sound pages
        // of its chain), and the record's bytes before its Payload.
        const leaf_cell& cut = c.cut == kLongRow ? long_row : huge_row;
        const std::string local = record_bytes(intact, cut);
        const std::size_t read = local.size() + c.sound * (kPage - 4);
        const std::size_t before = local.find("<toast>");
        for (const std::vector<std::string>& form : kForms) {
            const selk_process::result got = run_form(db, form);
            const std::string label = std::string(c.name) + " " + form_name(form);
            EXPECT_EQ(got.status, 255) << label;
            EXPECT_NE(got.err.find("prob reading table notification of " + db + ": page " +
                                   std::to_string(c.page) + " ("),
                      std::string::npos)
                << label << ": " << got.err;
            EXPECT_EQ(got.out.find("CREATE TABLE"), std::string::npos) << label;
            const std::vector<std::string> orders = live_orders(got.out);
            EXPECT_EQ(std::set<std::string>(orders.begin(), orders.end()).size(), orders.size()) << label;
            EXPECT_FALSE(orders.empty()) << label;
            if (c.kept != nullptr) {
                EXPECT_NE(std::find(orders.begin(), orders.end(), c.kept), orders.end()) << label;
            }
            if (!c.said.empty()) {
                EXPECT_NE(got.err.find(c.said), std::string::npos) << label << ": " << got.err;
            }
            // No row is printed with bytes of another (a chain not followed at all is marked); a row whose
            // chain is damaged, with its own bytes up to where its chain stops being its own.
            for (const int row : {kLongRow, kHugeRow}) {
                std::string printed = printed_payload(got.out, 200 + row);
                const std::string marker = kOverflowSkippedMarker;
                if (printed.size() >= marker.size() &&
                    printed.substr(printed.size() - marker.size()) == marker)
                    printed.resize(printed.size() - marker.size());
                EXPECT_EQ(payload_of(row).compare(0, printed.size(), printed), 0) << label << ": row " << row;
            }
            if (c.cut != kNoCut) {
                const std::string printed = printed_payload(got.out, 200 + c.cut);
                EXPECT_TRUE(printed == payload_of(c.cut).substr(0, read - before))
                    << label << ": " << printed.size() << " bytes printed where " << read - before
                    << " are the row's own";
                EXPECT_NE(got.err.find(": " + std::to_string(read) + " of its " +
                                       std::to_string(cut.payload) + " payload bytes are read\n"),
                          std::string::npos)
                    << label << ": " << got.err;
            }
        }
    }
}

// A cell pointer past the end of its page: the library would read that cell from whatever follows the page
// in its memory, which differs from run to run (a row of nothing now and then, else no row at all). Every
// form reads the table with the own walk instead: every row but the damaged cell's, the page and the cell
// named, exit 255, the same report every time.
TEST(DamagedTree, CellPastItsPageIsSkippedTheSameWayEveryTime) {
    fx::temp_dir dir("cells");
    struct damage_case {
        const char* name;
        int notifications;  // of the generated bench database; 0 for make_damage_db's
        std::uint64_t
            pointer;  // file offset of the cell pointer made 0xFFFF (0: of the first leaf's first cell)
    };
    const std::vector<damage_case> cases = {{"bench 20000", 20000, 771 * 4096 + 36},
                                            {"bench 3000", 3000, 63 * 4096 + 18},
                                            {"first cell of the first leaf", 0, 0}};
    for (const damage_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string db = dir.file(std::string(c.name) + ".db");
        if (c.notifications != 0) {
            const selk_process::result made =
                run({db, std::to_string(c.notifications)}, std::string(),
                    selk_process::build_root() + "/notifications/tools/selk_make_bench_db");
            ASSERT_EQ(made.status, 0) << made.err;
        } else {
            make_damage_db(db);
        }
        std::vector<std::uint8_t> bytes = fx::read_all(db);
        std::size_t pointer = c.pointer;
        if (pointer == 0) {
            const std::size_t r = (root_of(db, "Notification") - 1) * kPage;
            ASSERT_EQ(bytes.at(r), 5) << "the root is an interior page";
            pointer = (be32(bytes, r + be16(bytes, r + 12)) - 1) * kPage + 8;
        }
        const std::size_t page = pointer / kPage * kPage;
        ASSERT_EQ(bytes.at(page), 0x0D) << "a table leaf";
        // Every row but the damaged cell's.
        std::size_t length = 0;
        const std::size_t cell = page + be16(bytes, pointer);
        (void)varint(bytes, cell, &length);
        const std::string lost = std::to_string(varint(bytes, cell + length, &length));
        std::vector<std::string> expected = orders_of(db);
        const auto at = std::find(expected.begin(), expected.end(), lost);
        ASSERT_NE(at, expected.end());
        expected.erase(at);
        bytes.at(pointer) = bytes.at(pointer + 1) = 0xFF;
        ASSERT_TRUE(fx::write_all(db, bytes));
        const std::string said = "prob reading table notification of " + db + ": page " +
                                 std::to_string(page / kPage + 1) + " (leaf page, file offset " +
                                 std::to_string(page) + ") cell " + std::to_string((pointer - page - 8) / 2) +
                                 " skipped: its pointer 65535 lies past the end of the page (4096 bytes)\n";
        for (const std::vector<std::string>& form : kForms) {
            const selk_process::result got = run_form(db, form);
            EXPECT_EQ(got.status, 255) << form_name(form);
            EXPECT_NE(got.err.find(said), std::string::npos) << form_name(form) << ": " << got.err;
            EXPECT_EQ(live_orders(got.out), expected) << form_name(form);
            // Not a row of the library: the own walk read the table.
            EXPECT_EQ(got.out.find("sqlite lib"), std::string::npos) << form_name(form);
        }
        const selk_process::result first = run({"-db", db, "-quiet"});
        EXPECT_EQ(first.status, 255);
        EXPECT_EQ(driver_checks::data_rows(first.out).size(), expected.size());
        for (int i = 0; i < 30; ++i) {
            const selk_process::result again = run({"-db", db, "-quiet"});
            ASSERT_EQ(again.status, first.status) << "run " << i;
            ASSERT_EQ(again.out, first.out) << "run " << i;
            ASSERT_EQ(again.err, first.err) << "run " << i;
        }
    }
}

// A file cut short by one byte: every form says which page is partial and that the file is short, and exits
// 255; the own reader reads every cell that lies wholly in the bytes that are there, the library's form too.
// Beside a hot journal whose committed state explains the size nothing is said.
TEST(DamagedTree, AFileCutShortIsSaidAndOnlyItsWholeCellsRead) {
    fx::temp_dir dir("cut");
    const std::string intact_path = dir.file("intact.db");
    make_damage_db(intact_path, false);
    std::vector<std::uint8_t> bytes = fx::read_all(intact_path);
    const std::size_t pages = bytes.size() / kPage;
    bytes.pop_back();
    const std::string db = dir.file("cut.db");
    ASSERT_TRUE(fx::write_all(db, bytes));
    const std::string said = "prob reading " + db + ": page " + std::to_string(pages) +
                             " is partial: the file is cut short: it holds " + std::to_string(bytes.size()) +
                             " bytes where its header counts " + std::to_string(pages) +
                             " pages of 4096 bytes\n";
    for (const std::vector<std::string>& form : kForms) {
        const selk_process::result got = run_form(db, form);
        EXPECT_EQ(got.status, 255) << form_name(form);
        EXPECT_NE(got.err.find(said), std::string::npos) << form_name(form) << ": " << got.err;
        // The last byte of the file is the last byte of the first cell written to the last page.
        EXPECT_NE(
            got.err.find("page " + std::to_string(pages) + " (leaf page, file offset " +
                         std::to_string((pages - 1) * kPage) + ") cell 0 skipped: it runs past the end"),
            std::string::npos)
            << form_name(form) << ": " << got.err;
        EXPECT_EQ(live_orders(got.out).size(), 133u) << form_name(form);
    }

    // Beside a log the committed state decides: a checkpoint that wrote page 1 (which counts the pages the
    // log added) and stopped leaves the file shorter than its header, but the log holds the pages it lacks.
    const std::string live = dir.file("wal_live.db");
    sqlite3* h = fx::open_db(live);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(h);
    fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(h, "PRAGMA wal_checkpoint(TRUNCATE);");
    for (int i = 0; i < 40; ++i)
        fx::insert_notification(h, 200 + i, 300 + i, 68, "toast",
                                "<toast>" + std::string(900, 'w') + "</toast>");
    const std::string wal_db = dir.file("wal.db");
    std::vector<std::uint8_t> main_file = fx::read_all(live);
    const std::vector<std::uint8_t> log = fx::read_all(live + "-wal");
    ASSERT_TRUE(fx::copy_file(live + "-wal", wal_db + "-wal"));
    sqlite3_close(h);
    std::size_t page1 = 0;
    for (std::size_t f = 32; f + 24 + kPage <= log.size(); f += 24 + kPage)
        if (be32(log, f) == 1) page1 = f + 24;
    ASSERT_NE(page1, 0u);
    std::copy(log.begin() + static_cast<long>(page1), log.begin() + static_cast<long>(page1 + kPage),
              main_file.begin());
    ASSERT_GT(be32(main_file, 28) * kPage, main_file.size())
        << "the header counts more pages than the file has";
    ASSERT_TRUE(fx::write_all(wal_db, main_file));
    for (const std::vector<std::string>& form : kForms) {
        std::vector<std::string> args = {"-db", wal_db, "-quiet", "-csv", "-all_fields"};
        args.insert(args.end(), form.begin(), form.end());
        const selk_process::result got = run(args);
        EXPECT_EQ(got.status, 0) << form_name(form) << ": " << got.err;
        // "-carve" reads the main file, and says that the log beside it commits pages.
        EXPECT_EQ(got.err, form == kForms[1] ? driver_checks::log_beside_note(wal_db) : "")
            << form_name(form);
    }
}

// Damage at the edge of what is there, in every form: a row whose last overflow page the end of the file cuts
// (its bytes up to its last whole page printed, the cut said), and a cell that runs into the bytes reserved
// at the end of its page (skipped, as the library would read it from past the page).
TEST(DamagedTree, ACellOrChainPastWhatItsPageOrFileHoldsIsSaidAndOnlyItsBytesRead) {
    fx::temp_dir dir("edge");
    struct edge_case {
        std::string name;
        std::string db;
        std::string said;          // in standard error
        std::size_t rows = 0;      // the live rows printed
        int cut = 0;               // the Order of the row cut short, 0: none
        std::string printed = {};  // its Payload as printed
    };
    std::vector<edge_case> cases;
    {
        // Four rows on 4 KiB pages, the last one's 10 KB on two overflow pages, the second the file's last.
        edge_case c{"the last overflow page cut", dir.file("chain.db"), ""};
        sqlite3* h = fx::open_db(c.db);
        ASSERT_NE(h, nullptr);
        fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
        fx::create_tables(h);
        fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
        const std::string long_payload = "<toast>" + std::string(10000, 'z') + "</toast>";
        for (int i = 0; i < 4; ++i)
            fx::insert_notification(h, 200 + i, 300 + i, 68, "toast", i == 3 ? long_payload : payload_of(i));
        sqlite3_close(h);
        std::vector<std::uint8_t> bytes = fx::read_all(c.db);
        const leaf_cell row = cell_of(bytes, root_of(c.db, "Notification"), 203);
        const std::uint32_t first = be32(bytes, overflow_link_at(bytes, row));
        ASSERT_EQ(be32(bytes, (first - 1) * kPage), bytes.size() / kPage) << "the chain ends the file";
        bytes.resize(bytes.size() - kPage + 2000);
        ASSERT_TRUE(fx::write_all(c.db, bytes));
        const std::string local = record_bytes(bytes, row);
        const std::size_t read = local.size() + kPage - 4;
        c.said = " cut short: its overflow chain from page " + std::to_string(first) + " reaches page " +
                 std::to_string(first + 1) + ", which the file does not hold whole: " + std::to_string(read) +
                 " of its " + std::to_string(row.payload) + " payload bytes are read\n";
        c.rows = 4;
        c.cut = 203;
        c.printed = long_payload.substr(0, read - local.find("<toast>"));
        cases.push_back(c);
    }
    {
        // Twelve rows on one leaf of 1 KiB pages with 32 bytes reserved; cell 0's payload length raised so
        // that the cell ends 10 bytes into them.
        edge_case c{"a cell into the reserved bytes", dir.file("reserved.db"), ""};
        sqlite3* h = fx::open_db(c.db);
        ASSERT_NE(h, nullptr);
        int reserved = 32;
        fx::exec(h, "PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;");
        ASSERT_EQ(sqlite3_file_control(h, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved), SQLITE_OK);
        fx::create_tables(h);
        for (int i = 0; i < 12; ++i) fx::insert_notification(h, 200 + i, 300 + i, 68, "toast", "<t/>");
        sqlite3_close(h);
        std::vector<std::uint8_t> bytes = fx::read_all(c.db);
        const std::size_t leaf = (root_of(c.db, "Notification") - 1) * 1024;
        ASSERT_EQ(bytes.at(leaf), 0x0D) << "one leaf";
        ASSERT_EQ(be16(bytes, leaf + 3), 12u);
        const std::size_t ptr = be16(bytes, leaf + 8);
        std::size_t length = 0, rowid = 0;
        const std::uint64_t payload = varint(bytes, leaf + ptr, &length);
        (void)varint(bytes, leaf + ptr + length, &rowid);
        ASSERT_EQ(ptr + length + rowid + payload, 1024u - 32u) << "cell 0 ends the usable bytes";
        ASSERT_EQ(length, 1u);
        bytes.at(leaf + ptr) = static_cast<std::uint8_t>(payload + 10);
        ASSERT_LT(bytes.at(leaf + ptr), 0x80);
        ASSERT_TRUE(fx::write_all(c.db, bytes));
        c.said = ") cell 0 skipped: its payload of " + std::to_string(payload + 10) +
                 " bytes at page offset " + std::to_string(ptr) + " runs past the end of the page\n";
        c.rows = 11;
        cases.push_back(c);
    }
    for (const edge_case& c : cases)
        for (const std::vector<std::string>& form : kForms) {
            SCOPED_TRACE(c.name + ", " + form_name(form));
            const selk_process::result got = run_form(c.db, form);
            EXPECT_EQ(got.status, 255);
            EXPECT_NE(got.err.find(c.said), std::string::npos) << got.err;
            EXPECT_EQ(live_orders(got.out).size(), c.rows);
            if (c.cut != 0) {
                EXPECT_EQ(printed_payload(got.out, c.cut), c.printed);
            }
        }
}

// Beside a log that commits pages the library's form reads a damaged table with the own walk in the committed
// state, every page of the log's last commit laid over the file: a leaf of the main file whose cell 1 repeats
// cell 0's rowid costs that cell alone, the rows the log added are all there, and the damage is all it says.
TEST(DamagedTree, BesideALogADamagedTableIsWalkedInTheCommittedState) {
    fx::temp_dir work, dir("log");
    const std::string live = work.file("live.db"), db = dir.file("log.db");
    sqlite3* h = fx::open_db(live);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(h);
    fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(h, "BEGIN;");
    for (int i = 0; i < 100; ++i) fx::insert_notification(h, 200 + i, 300 + i, 68, "toast", payload_of(i));
    fx::exec(h, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE); BEGIN;");
    for (int i = 100; i < 200; ++i) fx::insert_notification(h, 200 + i, 300 + i, 68, "toast", payload_of(i));
    fx::exec(h, "COMMIT;");
    ASSERT_TRUE(fx::copy_file(live, db));
    ASSERT_TRUE(fx::copy_file(live + "-wal", db + "-wal"));
    const std::vector<std::string> library = orders_of(live);
    sqlite3_close(h);
    ASSERT_EQ(library.size(), 200u);
    std::vector<std::uint8_t> bytes = fx::read_all(db);
    const std::size_t r = (root_of(db, "Notification") - 1) * kPage;
    ASSERT_EQ(bytes.at(r), 5) << "the checkpointed table has more than one leaf";
    const std::size_t leaf = (be32(bytes, r + be16(bytes, r + 12)) - 1) * kPage;
    std::size_t length_0 = 0, length_1 = 0;
    const std::size_t rowid_0 = rowid_at(bytes, leaf, 0, &length_0);
    const std::size_t rowid_1 = rowid_at(bytes, leaf, 1, &length_1);
    ASSERT_EQ(length_0, length_1);
    std::copy_n(bytes.begin() + static_cast<long>(rowid_0), length_0,
                bytes.begin() + static_cast<long>(rowid_1));
    ASSERT_TRUE(fx::write_all(db, bytes));
    std::vector<std::string> expected = library;
    expected.erase(expected.begin() + 1);
    const std::string said = "prob reading table notification of " + db + ": page " +
                             std::to_string(leaf / kPage + 1) + " (leaf page, file offset " +
                             std::to_string(leaf) + ") cell 1 skipped: its rowid " + library[0] +
                             " does not follow rowid " + library[0] + " of the cell before it\n";
    for (const std::vector<std::string>& form : {kForms[0], kForms[2]}) {
        const selk_process::result got = run_form(db, form);
        EXPECT_EQ(got.status, 255) << form_name(form);
        EXPECT_EQ(got.err, said) << form_name(form);
        EXPECT_EQ(live_orders(got.out), expected) << form_name(form);
    }
}

// The notification read cannot even start: the handlers, push channels and settings are read all the same,
// so that every row recovery finds is joined with its handler, as "-carve" joins it.
TEST(DamagedTree, TheOtherTablesAreReadWhenTheNotificationReadCannotStart) {
    fx::temp_dir dir("start");
    const std::string intact_path = dir.file("bench.db");
    const selk_process::result made =
        run({intact_path, "3000"}, std::string(),
            selk_process::build_root() + "/notifications/tools/selk_make_bench_db");
    ASSERT_EQ(made.status, 0) << made.err;
    const std::vector<std::uint8_t> intact = fx::read_all(intact_path);
    const std::uint32_t root = root_of(intact_path, "Notification");
    const std::size_t r = (root - 1) * kPage;
    ASSERT_EQ(intact.at(r), 5);
    const std::size_t first_cell = r + be16(intact, r + 12);
    const std::size_t first_leaf = (be32(intact, first_cell) - 1) * kPage;
    struct damage {
        const char* name;
        std::size_t at;
        bool child;  // a child pointer set to 0x7fffffff, else a page's type byte to 0x44
    };
    for (const damage& d : {damage{"first child past the end", first_cell, true},
                            damage{"first leaf no b-tree page", first_leaf, false}}) {
        std::vector<std::uint8_t> bytes = intact;
        if (d.child) {
            put32(bytes, d.at, 0x7fffffff);
        } else {
            bytes.at(d.at) = 0x44;
        }
        const std::string db = dir.file(std::string(d.name) + ".db");
        ASSERT_TRUE(fx::write_all(db, bytes));
        for (const char* form : {"-incl_slack", "-carve"}) {
            const selk_process::result got = run({"-db", db, "-quiet", "-csv", form});
            EXPECT_EQ(got.status, 255) << d.name << " " << form;
            const std::vector<std::string> rows = driver_checks::data_rows(got.out);
            EXPECT_GT(rows.size(), 2900u) << d.name << " " << form;
            std::size_t unjoined = 0;
            for (const std::string& row : rows) unjoined += split(row, ",").at(7).empty() ? 1 : 0;
            EXPECT_EQ(unjoined, 0u) << d.name << " " << form;
        }
    }
}

// A record whose header needs more bytes than its payload length gives (the Payload's serial type raised by
// 20: ten bytes more): every form says the cell damaged and exits 255, and the forms that read the table with
// the own walk print its row, its values read as the bytes stand.
TEST(DamagedTree, ARecordThatNeedsMoreThanItsPayloadIsSaidDamagedAndPrinted) {
    fx::temp_dir dir("record");
    const std::string db = dir.file("record.db");
    make_damage_db(db);
    std::vector<std::uint8_t> bytes = fx::read_all(db);
    const leaf_cell row = cell_of(bytes, root_of(db, "Notification"), 200);
    const std::size_t leaf = (row.page - 1) * kPage;
    ASSERT_EQ(be16(bytes, leaf + 8), row.at) << "Order 200 is cell 0 of its leaf";
    // The record's header: its size, then a serial type for each column, the Payload's the sixth.
    std::size_t length = 0;
    std::size_t at = rowid_at(bytes, leaf, 0, &length) + length;
    for (int column = 0; column < 6; ++column) {
        (void)varint(bytes, at, &length);
        at += length;
    }
    ASSERT_EQ(varint(bytes, at, &length), 12 + 2 * payload_of(0).size());
    bytes.at(at) += 20;
    ASSERT_LT(bytes.at(at), 0x80);
    ASSERT_TRUE(fx::write_all(db, bytes));
    const std::string said = "prob reading table notification of " + db + ": page " +
                             std::to_string(row.page) + " (leaf page, file offset " + std::to_string(leaf) +
                             ") cell 0 damaged: its record at page offset " + std::to_string(row.at) +
                             " needs " + std::to_string(row.payload + 10) +
                             " bytes where its payload length is " + std::to_string(row.payload) +
                             " (its values are read as the bytes stand)\n";
    for (const std::vector<std::string>& form : kForms) {
        const selk_process::result got = run_form(db, form);
        EXPECT_EQ(got.status, 255) << form_name(form);
        EXPECT_NE(got.err.find(said), std::string::npos) << form_name(form) << ": " << got.err;
        if (form.empty()) continue;  // the library refuses the table at its first row
        const std::vector<std::string> orders = live_orders(got.out);
        EXPECT_EQ(orders.size(), 134u) << form_name(form);
        EXPECT_NE(std::find(orders.begin(), orders.end(), "200"), orders.end()) << form_name(form);
    }
}

// Damage in the handler table (its root's right child set to page 1): every form names the table, the page
// and why and exits 255, and prints every notification, joined with its handler but where the handler lay on
// the leaf that is lost.
TEST(DamagedTree, DamageInTheHandlerTableIsSaidInEveryForm) {
    fx::temp_dir dir("handlers");
    const std::string db = dir.file("handlers.db");
    sqlite3* h = fx::open_db(db);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
    fx::create_tables(h);
    fx::exec(h, "BEGIN;");
    for (int i = 1; i <= 300; ++i)
        fx::insert_handler(h, i, "Contoso.App" + std::to_string(i) + "_8wekyb3d8bbwe!App");
    std::size_t notifications = 0;
    for (int i = 1; i <= 300; i += 7, ++notifications)
        fx::insert_notification(h, i, 1000 + i, i, "toast", "<toast/>");
    fx::exec(h, "COMMIT;");
    sqlite3_close(h);
    std::vector<std::uint8_t> bytes = fx::read_all(db);
    const std::uint32_t root = root_of(db, "NotificationHandler");
    const std::size_t r = (root - 1) * kPage;
    ASSERT_EQ(bytes.at(r), 5) << "the handler table has more than one leaf";
    // The handlers above the root's last key lie on its right child.
    std::size_t length = 0;
    const std::uint64_t last =
        varint(bytes, r + be16(bytes, r + 12 + 2 * (be16(bytes, r + 3) - 1)) + 4, &length);
    ASSERT_LT(last, 295u);
    put32(bytes, r + 8, 1);
    ASSERT_TRUE(fx::write_all(db, bytes));
    const std::string said = "prob reading table notificationhandler of " + db + ": page " +
                             std::to_string(root) + " (interior page, file offset " + std::to_string(r) +
                             ") skipped: child page number 1 is page 1, the root of the schema table\n";
    for (const std::vector<std::string>& form : kForms) {
        const selk_process::result got = run_form(db, form);
        EXPECT_EQ(got.status, 255) << form_name(form);
        EXPECT_NE(got.err.find(said), std::string::npos) << form_name(form) << ": " << got.err;
        const std::vector<std::string> rows = driver_checks::data_rows(got.out);
        EXPECT_EQ(rows.size(), notifications) << form_name(form);
        for (const std::string& row : rows) {
            const std::vector<std::string> cells = split(row, ",");
            ASSERT_GT(cells.size(), 8u) << row;
            const std::uint64_t order = std::stoull(cells[8]);
            EXPECT_EQ(cells[7], order <= last ? "Contoso.App" + cells[8] : "")
                << form_name(form) << ": " << row;
        }
    }
}

// Neither a tree no form reads nor the free list ever takes a page of the notification table, nor another
// table the run reads: an index walked before the notification table whose right child is set to a leaf of
// it, a free list that lists one of its leaves or overflow pages, cost no row in any form, and each is said
// as its own damage in a note, the exit status left as it is. Where two tables that are read link to one
// leaf, it is the one's whose keys its rowids fit: the handler table's link to a notification leaf is the
// handler table's damage, and the notification table's link to a handler leaf the notification table's, each
// said as such, costing only the rows below the damaged link.
TEST(DamagedTree, ATreeNoFormReadsNeverTakesAPageOfATableThatIs) {
    fx::temp_dir dir("index");
    const std::string db = dir.file("index.db");
    sqlite3* h = fx::open_db(db);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE; PRAGMA secure_delete=OFF;");
    fx::exec(h, fx::handler_table_sql());
    fx::exec(h, "CREATE UNIQUE INDEX [byHandlerName] ON [NotificationHandler] ([PrimaryId]);");
    fx::exec(h, fx::notification_table_sql());
    fx::exec(h, "CREATE TABLE Scratch(b BLOB); BEGIN;");
    for (int i = 1; i <= 300; ++i)
        fx::insert_handler(h, i, "Contoso.App" + std::to_string(i) + "_8wekyb3d8bbwe!App");
    for (int i = 1; i <= 300; ++i)
        fx::insert_notification(h, i, 1000 + i, i, "toast",
                                "<toast>" + std::string(i == 300 ? 9000 : 100, 'n') + "</toast>");
    fx::exec(h, "INSERT INTO Scratch SELECT zeroblob(3000) FROM Notification LIMIT 20; COMMIT;");
    fx::exec(h, "DROP TABLE Scratch;");  // its pages make the free list
    sqlite3_close(h);
    const std::vector<std::uint8_t> sound = fx::read_all(db);
    const std::size_t index = (root_of(db, "byHandlerName") - 1) * kPage;
    const std::size_t handlers = (root_of(db, "NotificationHandler") - 1) * kPage;
    const std::uint32_t notifications = root_of(db, "Notification");
    const std::size_t table = (notifications - 1) * kPage;
    const std::size_t trunk = (be32(sound, 32) - 1) * kPage;
    ASSERT_EQ(sound.at(index), 2) << "the index has more than one leaf";
    ASSERT_EQ(sound.at(handlers), 5) << "the handler table has more than one leaf";
    ASSERT_EQ(sound.at(table), 5) << "the notification table has more than one leaf";
    ASSERT_GT(be32(sound, trunk + 4), 0u) << "the free list has leaves";
    const std::uint32_t leaf = be32(sound, table + be16(sound, table + 12));  // the table's first leaf
    const std::uint32_t overflow = be32(sound, overflow_link_at(sound, cell_of(sound, notifications, 300)));
    const std::uint32_t handler_leaf = be32(sound, handlers + be16(sound, handlers + 12));
    // The rows of each table's right-most leaf, which a damaged right child loses, and of the handler
    // table's first, all of whose rowids the notification table's first leaf holds too.
    const std::size_t last_handlers = be16(sound, (be32(sound, handlers + 8) - 1) * kPage + 3);
    const std::size_t last_notifications = be16(sound, (be32(sound, table + 8) - 1) * kPage + 3);
    const std::size_t first_handlers = be16(sound, (handler_leaf - 1) * kPage + 3);
    const std::size_t first_link = handlers + be16(sound, handlers + 12);
    ASSERT_GE(first_handlers, be16(sound, (leaf - 1) * kPage + 3)) << "the keys of either link fit the leaf";
    const std::vector<std::string> library = orders_of(db);
    ASSERT_EQ(library.size(), 300u);
    const std::string note = "note: DB: damage that costs no row: ";
    struct link_case {
        const char* name;
        std::size_t at;  // the link set to `page`
        std::uint32_t page;
        std::string said;  // on standard error in every form, "DB" for the evidence
        int status;
        std::size_t lost = 0;     // the library's last rows not printed
        std::size_t unnamed = 0;  // printed rows whose handler is lost
    };
    const link_case cases[] = {
        {"the index's right child", index + 8, leaf,
         note + "byHandlerName: page " + std::to_string(index / kPage + 1) + " (interior page, file offset " +
             std::to_string(index) + "): child page number " + std::to_string(leaf) +
             ", a page of Notification\n",
         0},
        {"the free list's first leaf", trunk + 8, leaf,
         note + "the free list: trunk page " + std::to_string(trunk / kPage + 1) + " lists page " +
             std::to_string(leaf) + ", a page of Notification\n",
         0},
        {"the free list's first trunk", 32, leaf,
         note + "the free list: the database header names trunk page " + std::to_string(leaf) +
             ", a page of Notification\n",
         0},
        {"the free list's first leaf, an overflow page", trunk + 8, overflow,
         note + "the free list: trunk page " + std::to_string(trunk / kPage + 1) + " lists page " +
             std::to_string(overflow) + ", an overflow page of Notification\n",
         0},
        {"the handler table's right child", handlers + 8, leaf,
         "prob reading table notificationhandler of DB: page " + std::to_string(handlers / kPage + 1) +
             " (interior page, file offset " + std::to_string(handlers) + ") skipped: child page number " +
             std::to_string(leaf) + " is a page of Notification\n",
         255, 0, last_handlers},
        // Both links give keys the leaf's rowids fit: the notification table, read first, keeps it.
        {"the handler table's first child", first_link, leaf,
         "prob reading table notificationhandler of DB: page " + std::to_string(handlers / kPage + 1) +
             " (interior page, file offset " + std::to_string(first_link) + ") skipped: child page number " +
             std::to_string(leaf) + " is a page of Notification\n",
         255, 0, first_handlers},
        {"the notification table's right child", table + 8, handler_leaf,
         "prob reading table notification of DB: page " + std::to_string(notifications) +
             " (interior page, file offset " + std::to_string(table) + ") skipped: child page number " +
             std::to_string(handler_leaf) + " is a page of NotificationHandler\n",
         255, last_notifications, 0},
    };
    for (const link_case& c : cases) {
        std::vector<std::uint8_t> bytes = sound;
        put32(bytes, c.at, c.page);
        ASSERT_TRUE(fx::write_all(db, bytes));
        std::string said = c.said;
        said.replace(said.find("DB"), 2, db);
        for (const std::vector<std::string>& form : kForms) {
            SCOPED_TRACE(std::string(c.name) + ", " + form_name(form));
            const selk_process::result got = run_form(db, form);
            EXPECT_EQ(got.status, c.status) << got.err;
            EXPECT_EQ(got.err, said);
            const std::vector<std::string> orders = live_orders(got.out);
            EXPECT_EQ(orders, std::vector<std::string>(library.begin(), library.end() - c.lost));
            const auto rows = live_rows(got.out);
            const auto named =
                std::count_if(rows.begin(), rows.end(), [](const std::vector<std::string>& cells) {
                    return std::any_of(cells.begin(), cells.end(),
                                       [](const std::string& cell) { return cell.find("Contoso.App") == 0; });
                });
            EXPECT_EQ(static_cast<std::size_t>(named), orders.size() - c.unnamed);
        }
    }
}

}  // namespace

namespace {

constexpr std::size_t kSmallPage = 512;

// 512-byte pages, the tables as Windows declares them with the handler index, and a free list: 1000
// handlers, each with a push channel (rowid = handler) and a setting, and 3000 notifications, Order 10 to
// 30000, handler (i mod 1000) + 1; every tree but the settings' three levels deep. With `added_column` the
// handler table's last column is added after its rows were written, as an upgrade adds one (its records
// hold 9 values where it declares 10), and the Orders are 13 to 30003, so that the keys of the notification
// links cut across the handler leaves (five handlers each).
void make_link_db(const std::string& path, bool added_column = false) {
    sqlite3* h = fx::open_db(path);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=512; PRAGMA journal_mode=DELETE;");
    fx::create_tables(h);
    if (added_column) {
        fx::exec(h, "DROP TABLE NotificationHandler;");
        std::string narrower = fx::handler_table_sql();
        narrower.replace(narrower.find(", [ContainerSid]"), std::string::npos, ");");
        fx::exec(h, narrower);
    }
    fx::exec(h, "CREATE UNIQUE INDEX [byHandlerName] ON [NotificationHandler] ([PrimaryId]);");
    fx::exec(h, "CREATE TABLE Scratch(b BLOB); BEGIN;");
    for (int i = 1; i <= 1000; ++i) {
        const std::string n = std::to_string(i);
        fx::insert_handler(h, i, "Contoso.App" + n + "_8wekyb3d8bbwe!App");
        fx::exec(h,
                 "INSERT INTO WNSPushChannel(ChannelId, HandlerId, Uri, ExpiryTime, CreatedTime) VALUES('c" +
                     n + "', " + n + ", 'https://wns.example/" + n +
                     "', 132521874959020000, 132521874959020000); INSERT INTO HandlerSettings(HandlerId, "
                     "SettingKey, Value) VALUES(" +
                     n + ", 's" + n + "', " + n + ");");
    }
    for (int i = 0; i < 3000; ++i)
        fx::insert_notification(h, 10 * (i + 1) + (added_column ? 3 : 0), i + 1, i % 1000 + 1, "toast",
                                "<toast>n" + std::to_string(i) + " " + std::string(60, 'x') + "</toast>");
    fx::exec(h, "INSERT INTO Scratch SELECT zeroblob(3000) FROM Notification LIMIT 20; COMMIT;");
    fx::exec(h, "DROP TABLE Scratch;");
    if (added_column)
        fx::exec(h, "ALTER TABLE NotificationHandler ADD COLUMN [ContainerSid] TEXT COLLATE NOCASE;");
    sqlite3_close(h);
}

// A link set to name a page another link keeps.
struct link_case {
    const char* name;
    std::size_t at;  // the link set to `page`
    std::uint32_t page;
    std::string bad;           // the table whose link it is, "" for a structure no form reads
    std::uint32_t lost = 0;    // the page it named: the rows below it are lost to the walk
    std::uint32_t parent = 0;  // the page that holds the link
    bool settings = false;     // read with "-incl_settings"
};

// Every form of `sound` (the bytes of make_link_db, whose notification table the library reads as
// `library`) with the link of `c` set: the rows the library reads under the sound links, each with the
// handler and the push channel the library joins it to, the damage said once as the bad link's tree's, and
// the exit status it gives.
void expect_sound_links_read(const fx::temp_dir& dir, const std::vector<std::uint8_t>& sound,
                             const std::vector<std::string>& library, const link_case& c) {
    std::vector<std::uint8_t> bytes = sound;
    put32(bytes, c.at, c.page);
    const std::string damaged = dir.file("damaged.db");
    ASSERT_TRUE(fx::write_all(damaged, bytes));
    const std::set<std::uint64_t> lost =
        c.lost != 0 ? rowids_below(sound, c.lost, kSmallPage) : std::set<std::uint64_t>();
    std::vector<std::string> orders;
    for (const std::string& order : library)
        if (c.bad != "notification" || lost.count(std::stoull(order)) == 0) orders.push_back(order);
    for (std::vector<std::string> form : kForms) {
        if (c.settings) form.push_back("-incl_settings");
        SCOPED_TRACE(std::string(c.name) + ", " + form_name(form));
        const selk_process::result got = run_form(damaged, form);
        EXPECT_EQ(got.status, c.bad.empty() ? 0 : 255) << got.err;
        // Said once, and as the bad link's tree's alone.
        for (const std::string& line : selk_process::lines(got.err)) {
            const std::string said = c.bad.empty()
                                         ? "note: " + damaged + ": damage that costs no row: "
                                         : "prob reading table " + c.bad + " of " + damaged + ": page " +
                                               std::to_string(c.parent) + " (interior page, ";
            EXPECT_EQ(line.compare(0, said.size(), said), 0) << line;
            const std::string page = std::to_string(c.page);
            EXPECT_TRUE(line.find("child page number " + page) != std::string::npos ||
                        line.find("lists page " + page) != std::string::npos)
                << line;
        }
        EXPECT_EQ(selk_process::lines(got.err).size(), 1u) << got.err;
        EXPECT_EQ(live_orders(got.out), orders);
        std::size_t unjoined = 0;
        for (const std::vector<std::string>& cells : live_rows(got.out)) {
            ASSERT_GT(cells.size(), 23u);
            const std::string handler = cells[10];
            const bool handler_lost = c.bad == "notificationhandler" && lost.count(std::stoull(handler)) != 0;
            unjoined += handler_lost ? 1 : 0;
            EXPECT_EQ(cells[7], handler_lost ? "" : "Contoso.App" + handler) << cells[8];
            EXPECT_EQ(cells[23], "https://wns.example/" + handler) << cells[8];
        }
        if (c.bad == "notificationhandler") {
            EXPECT_GT(unjoined, 0u);
        }
    }
}

}  // namespace

// A link that names a page another link keeps, of its own tree or of another: every form reads the rows the
// library reads under the sound links (each notification with the handler and the push channel the library
// joins it to), says the damage as the bad link's tree's and fails; a link of a structure no form reads is
// its own damage, said in a note that leaves the exit status. The rows below the page the bad link named
// before are lost to the walk alone.
TEST(DamagedTree, APageTwoLinksNameIsTheSoundLinksInEveryForm) {
    fx::temp_dir dir("links");
    const std::string db = dir.file("links.db");
    make_link_db(db);
    const std::vector<std::uint8_t> sound = fx::read_all(db);
    const std::vector<std::string> library = orders_of(db);
    ASSERT_EQ(library.size(), 3000u);
    const interior_links root = links_of(sound, root_of(db, "Notification"), kSmallPage);
    const interior_links handlers = links_of(sound, root_of(db, "NotificationHandler"), kSmallPage);
    const interior_links settings = links_of(sound, root_of(db, "HandlerSettings"), kSmallPage);
    const interior_links channels = links_of(sound, root_of(db, "WNSPushChannel"), kSmallPage);
    const interior_links index = links_of(sound, root_of(db, "byHandlerName"), kSmallPage, false);
    const interior_links a0 = links_of(sound, root.child[0], kSmallPage),
                         a = links_of(sound, root.child[1], kSmallPage);
    const interior_links a2 = links_of(sound, root.child[2], kSmallPage);
    const interior_links h0 = links_of(sound, handlers.child[0], kSmallPage);
    const std::uint32_t handler_leaf = h0.child[0];
    const std::set<std::uint64_t> h0_rows = rowids_below(sound, handlers.child[0], kSmallPage);
    ASSERT_LE(*h0_rows.rbegin(), root.keys[0]) << "the handlers of the first interior page fit either link";
    ASSERT_LE(*rowids_below(sound, handler_leaf, kSmallPage).rbegin(), a0.keys[0])
        << "so do those of its first leaf";
    const std::size_t trunk = (be32(sound, 32) - 1) * kSmallPage;
    ASSERT_GT(be32(sound, trunk + 4), 0u) << "the free list has leaves";
    const link_case cases[] = {
        // The walk, from the right, meets the bad link before the sound one.
        {"a page two links of one tree name", a2.at[0], root.child[1], "notification", a2.child[0],
         root.child[2]},
        // Both at the depth of the tree's leaves: the keys tell them apart.
        {"a leaf two links of one tree name", a2.at[0], a.child[1], "notification", a2.child[0],
         root.child[2]},
        {"a notification link into a handler interior page", a.at[0], handlers.child[1], "notification",
         a.child[0], root.child[1]},
        {"a notification link into a handler interior page whose keys fit it", root.at[0], handlers.child[0],
         "notification", root.child[0], root_of(db, "Notification")},
        {"a notification link into a handler leaf whose rowids fit it", a0.at[0], handler_leaf,
         "notification", a0.child[0], root.child[0]},
        {"a right child into a handler leaf", a.at.back(), handler_leaf, "notification", a.child.back(),
         root.child[1]},
        {"a handler link into a notification interior page", handlers.at[0], root.child[1],
         "notificationhandler", handlers.child[0], root_of(db, "NotificationHandler")},
        {"a handler link into a notification leaf", h0.at[0], a.child[0], "notificationhandler", h0.child[0],
         handlers.child[0]},
        {"a settings link into a push-channel interior page", settings.at[0], channels.child[1],
         "handlersettings", settings.child[0], root_of(db, "HandlerSettings"), true},
        {"a free-list leaf naming a notification interior page", trunk + 8, root.child[1], ""},
        {"an index link into a notification interior page", index.at[0], root.child[1], ""},
    };
    for (const link_case& c : cases) expect_sound_links_read(dir, sound, library, c);
}

// The handler table's records narrower than it declares (a column added after they were written), so that
// no declared column count tells its pages from the notification table's: a notification link set to a
// handler leaf whose rowids fit it all, whose first rowid alone fits it, or one level above its leaves. The
// handler table keeps its leaf in every case: the records of the table's other leaves, the depth and every
// rowid of the page tell whose it is.
TEST(DamagedTree, APageOfATableOfNarrowerRecordsIsItsTablesWhateverItsRowidsFit) {
    fx::temp_dir dir("narrow");
    const std::string db = dir.file("narrow.db");
    make_link_db(db, true);
    const std::vector<std::uint8_t> sound = fx::read_all(db);
    const std::vector<std::string> library = orders_of(db);
    ASSERT_EQ(library.size(), 3000u);
    const std::uint32_t notifications = root_of(db, "Notification");
    const interior_links root = links_of(sound, notifications, kSmallPage);
    const interior_links handlers = links_of(sound, root_of(db, "NotificationHandler"), kSmallPage);
    std::vector<std::set<std::uint64_t>> leaves;  // the rowids of each handler leaf, in rowid order
    std::vector<std::uint32_t> leaf_pages;
    for (const std::uint32_t child : handlers.child)
        for (const std::uint32_t leaf : links_of(sound, child, kSmallPage).child) {
            leaves.push_back(rowids_below(sound, leaf, kSmallPage));
            leaf_pages.push_back(leaf);
        }
    // A link at the depth of the notification leaves whose keys hold every rowid of a handler leaf, and one
    // whose keys hold its first rowid and not its last.
    link_case all_fit{"a notification leaf link into a handler leaf whose rowids all fit it", 0, 0,
                      "notification"};
    link_case first_fits{"a notification leaf link into a handler leaf whose first rowid alone fits it", 0, 0,
                         "notification"};
    for (std::size_t i = 0; i + 1 < root.child.size(); ++i) {
        const interior_links upper = links_of(sound, root.child[i], kSmallPage);
        for (std::size_t l = 0; l < upper.keys.size(); ++l) {
            const std::uint64_t low = l > 0 ? upper.keys[l - 1] : i > 0 ? root.keys[i - 1] : 0;
            const std::uint64_t high = upper.keys[l];
            for (std::size_t h = 0; h < leaves.size(); ++h) {
                const std::uint64_t first = *leaves[h].begin(), last = *leaves[h].rbegin();
                link_case* c = first > low && last <= high                   ? &all_fit
                               : first > low && first <= high && last > high ? &first_fits
                                                                             : nullptr;
                if (c == nullptr || c->page != 0) continue;
                c->at = upper.at[l];
                c->page = leaf_pages[h];
                c->lost = upper.child[l];
                c->parent = root.child[i];
            }
        }
    }
    ASSERT_NE(all_fit.page, 0u) << "no handler leaf fits a notification link";
    ASSERT_NE(first_fits.page, 0u) << "no handler leaf straddles a notification link's keys";
    ASSERT_LE(*leaves.back().rbegin(), root.keys[0]) << "the last handler leaf fits the root's first link";
    const link_case cases[] = {
        all_fit,
        first_fits,
        {"a notification link above the leaves into a handler leaf whose rowids fit it", root.at[0],
         leaf_pages.back(), "notification", root.child[0], notifications},
    };
    for (const link_case& c : cases) expect_sound_links_read(dir, sound, library, c);
}

// A record whose header claims more than its payload for one column (the Payload a blob near 2^63 bytes, or
// of serial type 2^31 - 1, the last column a text of 2^31 bytes): every form says the cell damaged with its
// page and cell and exits 255, and prints every live row, the damaged one with what decodes of it; where the
// library breaks off at it, the rows after it come from the own walk of the same bytes ("carve main").
TEST(DamagedTree, AHeaderThatClaimsMoreThanItsPayloadIsSaidAndTheRowsAfterItRead) {
    fx::temp_dir dir("claims");
    const std::string intact = dir.file("intact.db");
    {
        sqlite3* h = fx::open_db(intact);
        ASSERT_NE(h, nullptr);
        fx::exec(h, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
        fx::create_tables(h);
        fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
        for (int i = 0; i < 12; ++i) fx::insert_notification(h, 200 + i, 300 + i, 68, "toast", payload_of(i));
        sqlite3_close(h);
    }
    const std::vector<std::uint8_t> sound = fx::read_all(intact);
    const leaf_cell row = cell_of(sound, root_of(intact, "Notification"), 205);
    ASSERT_NE(row.page, 0u);
    std::size_t rowid = 0;
    (void)varint(sound, (row.page - 1) * kPage + row.at + row.length, &rowid);
    const std::size_t record = (row.page - 1) * kPage + row.at + row.length + rowid;
    const std::vector<std::string> library = orders_of(intact);
    struct claim_case {
        const char* name;
        std::size_t column;              // whose serial type is set
        std::vector<std::uint8_t> type;  // its varint
    };
    const claim_case cases[] = {
        {"a Payload of nearly 2^63 bytes", 5, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfe}},
        {"a Payload of serial type 2^31 - 1", 5, {0x87, 0xff, 0xff, 0xff, 0x7f}},
        {"a last column of 2^31 bytes", 13, {0x90, 0x80, 0x80, 0x80, 0x0d}},
    };
    for (const claim_case& c : cases) {
        // The header with the column's type replaced, the record's length kept: its last bytes give way.
        std::vector<std::uint8_t> bytes = sound;
        std::size_t length = 0;
        const std::size_t header = varint(sound, record, &length);
        ASSERT_EQ(length, 1u);
        std::vector<std::vector<std::uint8_t>> types;
        for (std::size_t at = record + 1; at < record + header; at += length) {
            (void)varint(sound, at, &length);
            types.emplace_back(sound.begin() + static_cast<long>(at),
                               sound.begin() + static_cast<long>(at + length));
        }
        ASSERT_EQ(types.size(), 14u);
        const std::size_t grown = c.type.size() - types[c.column].size();
        types[c.column] = c.type;
        std::vector<std::uint8_t> rebuilt = {static_cast<std::uint8_t>(header + grown)};
        for (const std::vector<std::uint8_t>& t : types) rebuilt.insert(rebuilt.end(), t.begin(), t.end());
        rebuilt.insert(rebuilt.end(), sound.begin() + static_cast<long>(record + header),
                       sound.begin() + static_cast<long>(record + row.payload - grown));
        std::copy(rebuilt.begin(), rebuilt.end(), bytes.begin() + static_cast<long>(record));
        const std::string db = dir.file("claim.db");
        ASSERT_TRUE(fx::write_all(db, bytes));
        const std::string said =
            "prob reading table notification of " + db + ": page " + std::to_string(row.page) +
            " (leaf page, file offset " + std::to_string((row.page - 1) * kPage) +
            ") cell 5 damaged: its record at page offset " + std::to_string(row.at) + " needs ";
        for (const std::vector<std::string>& form : kForms) {
            SCOPED_TRACE(std::string(c.name) + ", " + form_name(form));
            const selk_process::result got = run_form(db, form);
            EXPECT_EQ(got.status, 255);
            EXPECT_NE(got.err.find(said), std::string::npos) << got.err;
            EXPECT_EQ(live_orders(got.out), library);
            for (const std::vector<std::string>& cells : live_rows(got.out)) {
                const bool own = cells[16].find("\"carve main\"") != std::string::npos;
                // The library's rows end where it breaks off; the own walk's begin with the damaged one.
                EXPECT_EQ(own, form == kForms[1] || std::stoi(cells[8]) >= 205) << cells[8];
                if (cells[8] == "205") {
                    EXPECT_EQ(cells[6], "toast");
                }
            }
        }
    }
}
