// A row behind a broken cell pointer: the damage is said as before in every form, and the record, which
// stands whole in its page, comes back from the page's free space with "-incl_slack" and "-carve", once.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "tree_bytes.h"

namespace {

namespace fx = notification_fixtures;
using namespace tree_bytes;

constexpr std::size_t kPage = 4096;
constexpr int kReserved = 32;  // bytes at the end of every page, so a pointer can lie past the usable ones

std::string payload_of(int order) {
    return "<toast><text>row " + std::to_string(order) + " of the leaf</text></toast>";
}

// Ten notifications (Order 1 to 10) on one leaf of 4 KiB pages with reserved bytes.
void make_leaf_db(const std::string& path) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
    int reserved = kReserved;
    ASSERT_EQ(sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved), SQLITE_OK);
    fx::create_tables(db);
    fx::insert_handler(db, 1, "Contoso.Mail_8wekyb3d8bbwe!App");
    for (int i = 1; i <= 10; ++i) fx::insert_notification(db, i, 100 + i, 1, "toast", payload_of(i));
    sqlite3_close(db);
}

TEST(BrokenCellPointer, TheRowBehindItComesBackFromSlackOnce) {
    fx::temp_dir dir("pointer");
    const std::string intact_path = dir.file("intact.db");
    make_leaf_db(intact_path);
    const std::vector<std::uint8_t> intact = fx::read_all(intact_path);
    const std::size_t leaf = (root_of(intact_path, "Notification") - 1) * kPage;
    ASSERT_EQ(intact.at(leaf), 13) << "the table is one leaf";
    ASSERT_EQ(be16(intact, leaf + 3), 10u);
    // Cell 4 (Order 5) is the one whose pointer breaks; its record starts after its payload length and rowid.
    constexpr std::size_t kCell = 4;
    const std::size_t pointer = leaf + 8 + 2 * kCell;
    const std::size_t cell = leaf + be16(intact, pointer);
    std::size_t length = 0, rowid_length = 0;
    (void)varint(intact, cell, &length);
    ASSERT_EQ(varint(intact, cell + length, &rowid_length), 5u);
    const std::size_t record = cell + length + rowid_length;

    struct pointer_case {
        const char* name;
        std::size_t value;  // the pointer's new value
        std::string said;   // what the run says of the damage, in every form
    };
    const std::string page = "page 5 (leaf page, file offset " + std::to_string(leaf) + ") ";
    const std::size_t repeated = be16(intact, pointer - 2);
    const std::vector<pointer_case> cases = {
        {"into the page header", 4,
         "cell 4 skipped: its pointer 4 lies inside the page header or cell-pointer array (which end at "
         "offset "
         "28)"},
        {"into the pointer array", 8,
         "cell 4 skipped: its pointer 8 lies inside the page header or cell-pointer array (which end at "
         "offset "
         "28)"},
        {"past the usable bytes", kPage - kReserved + 8,
         "cell 4 skipped: its rowid at page offset 4072 does not decode"},
        {"repeating cell 3's", repeated,
         "cell 4 skipped: its pointer " + std::to_string(repeated) + " is that of cell 3"},
    };
    std::ostringstream offset;
    offset << "\"record offset\":\"0x" << std::hex << record + 1 << "\"";  // its first serial type's
    for (const pointer_case& c : cases) {
        std::vector<std::uint8_t> bytes = intact;
        bytes.at(pointer) = static_cast<std::uint8_t>(c.value >> 8);
        bytes.at(pointer + 1) = static_cast<std::uint8_t>(c.value & 0xFF);
        const std::string db = dir.file(std::string(c.name) + ".db");
        ASSERT_TRUE(fx::write_all(db, bytes));
        for (const std::vector<std::string>& form : kForms) {
            const selk_process::result got = run_form(db, form);
            const std::string label = std::string(c.name) + " " + form_name(form);
            EXPECT_EQ(got.status, 255) << label;
            EXPECT_NE(got.err.find("prob reading table notification of " + db + ": " + page + c.said + "\n"),
                      std::string::npos)
                << label << ": " << got.err;
            // Each row once: the others live, Order 5 from the page's free space where free space is read.
            std::map<std::string, std::vector<std::string>> printed;  // payload -> the rows' sources
            for (const std::string& row : driver_checks::data_rows(got.out)) {
                const std::vector<std::string> cells = split(row, ",");
                if (cells.size() > 22) printed[cells[22]].push_back(cells[16]);
            }
            for (int order = 1; order <= 10; ++order) {
                const std::vector<std::string>& sources = printed[payload_of(order)];
                if (order == 5 && form.empty()) {
                    EXPECT_TRUE(sources.empty()) << label;
                    continue;
                }
                EXPECT_EQ(sources.size(), 1u) << label << ": Order " << order;
                if (sources.size() != 1u) continue;
                if (order != 5) {
                    EXPECT_NE(sources[0].find("\"carve main\""), std::string::npos)
                        << label << ": " << sources[0];
                } else {
                    EXPECT_EQ(sources[0], "{\"src\":\"main db slack\"; " + offset.str() + "}") << label;
                }
            }
        }
    }
}

}  // namespace
