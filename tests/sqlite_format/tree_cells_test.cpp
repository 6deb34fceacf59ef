#include "sqlite_format/tree_cells.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "reader_fixtures.h"
#include "tree_fixtures.h"

namespace {

namespace rf = reader_fixtures;
using tree_fixtures::check;
using tree_fixtures::make_table;
using tree_fixtures::root_of_t;
using tree_fixtures::texts;

// A cell the library would read past the end of its page (a pointer past it, a cell or child page number
// that runs past it, a pointer array that runs past it, a pointer past `fit` that points past it) is told as
// the readers tell it, a cell of the page refused; one it reads inside the page as it stands (a pointer into
// the header) is left to the readers.
TEST(TreeCells, ACellTheLibraryWouldReadPastItsPageIsTold) {
    rf::temp_dir dir;
    const std::string path = make_table(dir, 60);
    const std::vector<std::uint8_t> intact = rf::read_all(path);
    const std::uint32_t root = root_of_t(path);
    const std::size_t r = (root - 1) * 1024u;
    ASSERT_EQ(intact.at(r), 5);
    const std::uint32_t leaf = rf::get_be32(intact, r + rf::get_be16(intact, r + 12));
    const std::size_t l = (leaf - 1) * 1024u;
    ASSERT_EQ(intact.at(l), 13);
    const std::uint32_t cells = rf::get_be16(intact, l + 3);
    ASSERT_GE(cells, 2u);
    const std::string leaf_text =
        "page " + std::to_string(leaf) + " (leaf page, file offset " + std::to_string(l) + ") ";
    const std::string root_text = "page " + std::to_string(root) + " (root page, file offset " +
                                  std::to_string(r) + ") cell 0 skipped: ";
    const std::string last = std::to_string(cells - 1);
    const std::string array_end = std::to_string(8 + 2 * (cells - 1));
    struct damage_case {
        const char* name;
        std::size_t at;  // a 16-bit field set to `value`
        std::uint32_t value;
        std::vector<std::string> said;
        std::set<std::uint64_t> refused;
    };
    const std::vector<damage_case> cases = {
        {"leaf pointer past the page",
         l + 8,
         0xffff,
         {leaf_text + "cell 0 skipped: its pointer 65535 lies past the end of the page (1024 bytes)"},
         {}},
        {"leaf cell on the last byte",
         l + 8,
         1023,
         {leaf_text + "cell 0 skipped: its rowid at page offset 1023 does not decode"},
         {l + 1023}},
        {"leaf pointer array past the page",
         l + 3,
         0xffff,
         {leaf_text + "skipped: its cell count 65535 is more than the page can hold: its pointer array would "
                      "run past the end of the page"},
         {}},
        {"root pointer past the page",
         r + 12,
         0xffff,
         {root_text + "its pointer 65535 lies past the end of the page (1024 bytes)"},
         {}},
        {"root child page number past the page",
         r + 12,
         1022,
         {root_text + "its child page number at page offset 1022 runs past the end of the page"},
         {}},
        // The last pointer lies in the cell content its header gives: read there, it points past the page.
        {"pointer in the cell content past the page",
         l + 5,
         8 + 2 * (cells - 1),
         {leaf_text + "cell " + last + " skipped: the cell count " + std::to_string(cells) +
          " is more than the page can hold: its pointer array would run into the cell content at offset " +
          array_end},
         {}},
        {"leaf pointer into the header", l + 8, 2, {}, {}},
    };
    for (const damage_case& c : cases) {
        std::vector<std::uint8_t> b = intact;
        rf::put_be16(b, c.at, c.value);
        if (c.at == l + 5) rf::put_be16(b, l + 8 + 2 * (cells - 1), 0xffff);
        ASSERT_TRUE(rf::write_all(path, b));
        const database_verdict verdict = check(path, root, 0);
        ASSERT_EQ(verdict.trees.size(), 1u) << c.name;
        EXPECT_EQ(texts(verdict.trees[0]), c.said) << c.name;
        EXPECT_EQ(verdict.trees[0].refused_cells, c.refused) << c.name;
        EXPECT_TRUE(verdict.trees[0].refused_links.empty()) << c.name;
    }
}

}  // namespace
