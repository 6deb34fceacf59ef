#include "sqlite_format/artifacts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;

TEST(Artifacts, PointerArtifactStateAfterConstructionAndClear) {
    sqlite_ptr_artifact p;
    EXPECT_EQ(p.state, 0u);
    p.values[2] = 9;
    p.chunks.push_back({1, 2});
    p.cell.rowid = 4;
    p.base_rowdata::values.push_back("v");
    p.clear();
    EXPECT_EQ(p.state, 1u);
    EXPECT_EQ(p.values[2], 0u);
    EXPECT_TRUE(p.chunks.empty());
    EXPECT_EQ(p.cell.rowid, 0u);
    EXPECT_TRUE(p.base_rowdata::values.empty());
}

TEST(Artifacts, CopyingAnArtifactCopiesItsRowsAndCellsDeeply) {
    sqlite_artifact a;
    a.kind = 6;
    a.name = "t";
    sqlite_row_artifact row;
    row.values = {"1", "x"};
    row.codes = {2, 3};
    row.rowid = 1;
    row.blobs[1] = {1, 2, 3};
    a.rows.emplace("0000000000000001", row);
    sqlite_ptr_artifact cell;
    cell.file_offset = 4096;
    a.cells.emplace(4096, cell);
    sqlite_artifact copy = a;
    a.rows.begin()->second.values[1] = "changed";
    a.cells.clear();
    ASSERT_EQ(copy.rows.size(), 1u);
    EXPECT_EQ(copy.rows.begin()->second.values[1], "x");
    EXPECT_EQ(copy.rows.begin()->second.blobs.at(1), (bytes{1, 2, 3}));
    ASSERT_EQ(copy.cells.size(), 1u);
    EXPECT_EQ(copy.cells.begin()->second.file_offset, 4096u);
    sqlite_artifact assigned;
    assigned = copy;
    EXPECT_EQ(assigned.rows.size(), 1u);
    assigned.clear();
    EXPECT_EQ(assigned.kind, 0u);
    EXPECT_TRUE(assigned.rows.empty());
    EXPECT_TRUE(assigned.name.empty());
    EXPECT_EQ(copy.kind, 6u);
}

TEST(Artifacts, RowArtifactAndExtractClear) {
    sqlite_row_artifact row;
    row.values = {"a"};
    row.times[0] = 5;
    row.header_bytes = {2, 1};
    row.user_value = 3;
    row.clear();
    EXPECT_TRUE(row.values.empty());
    EXPECT_TRUE(row.times.empty());
    EXPECT_TRUE(row.header_bytes.empty());
    EXPECT_EQ(row.user_value, 0u);
    sqlite_db_extract x;
    x.page_size = 4096;
    x.tables.emplace(1, sqlite_artifact());
    x.path = "p";
    x.clear();
    EXPECT_EQ(x.page_size, 0u);
    EXPECT_TRUE(x.tables.empty());
    EXPECT_TRUE(x.path.empty());
}

TEST(SortedPattern, OrdersByLengthThenRunLengthsThenClasses) {
    const _special_sorted_pattern a(bytes{0x13}), b(bytes{0x21}), c(bytes{0x1D}), two(bytes{0x11, 0x11});
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(a < c);
    EXPECT_TRUE(b < two);
    EXPECT_TRUE(c < two);
    EXPECT_FALSE(a < a);
    // Run lengths decide before any class does.
    EXPECT_TRUE(_special_sorted_pattern(bytes{0x1F, 0x20}) < _special_sorted_pattern(bytes{0x20, 0x1F}));
    std::set<_special_sorted_pattern> set = {two, b, a, c, a};
    EXPECT_EQ(set.size(), 4u);
    EXPECT_EQ(set.begin()->bytes, (bytes{0x13}));
}

TEST(HeaderPatterns, CompressedRunsOfSerialTypeClasses) {
    EXPECT_EQ(compress_serial_types({1, 1, 1, 23, 23, 0}), (bytes{0x31, 0x2D, 0x10}));
    EXPECT_EQ(compress_serial_types({12}), (bytes{0x1C}));
    EXPECT_EQ(compress_serial_types({400}), (bytes{0x1C}));
    EXPECT_EQ(compress_serial_types({}), bytes{});
    // Runs longer than 15 continue in a new byte instead of overflowing the four bits.
    EXPECT_EQ(compress_serial_types(std::vector<std::uint64_t>(17, 13)), (bytes{0xFD, 0x2D}));
    EXPECT_EQ(pack_serial_type_code(25, 3), 0x3D);
    EXPECT_EQ(pack_serial_type_code(7, 1), 0x17);

    sqlite_metadata r;
    bytes out;
    EXPECT_FALSE(header_pattern_of_record(out, r));
    r.header_bytes = {7, 1, 1, 1, 0x81, 0x01, 23, 0};  // a two-byte text type in the middle
    ASSERT_TRUE(header_pattern_of_record(out, r));
    EXPECT_EQ(out, (bytes{0x31, 0x2D, 0x10}));
    r.header_bytes = {3, 0x81};  // a varint cut by the end stops the read
    EXPECT_FALSE(header_pattern_of_record(out, r));
}

sqlite_metadata sample_record() {
    sqlite_metadata r;
    r.table_kind = 4;
    r.column_mask = 0x0102030405ull;
    r.signature_text = "id-pa";
    r.header_bytes = {4, 1, 23, 12};
    r.rowid = 7;
    return r;
}

TEST(HeaderPatterns, RecordPatternPrefix) {
    bytes prefix, full;
    ASSERT_TRUE(record_pattern(prefix, full, sample_record()));
    EXPECT_EQ(prefix, (bytes{3, 0x05, 0x04, 0x03, 0x02, 4, 8, 3, 15, 0}));
    bytes expect = prefix;
    expect.insert(expect.end(), {0x11, 0x1D, 0x1C});
    EXPECT_EQ(full, expect);
    sqlite_metadata bare;
    EXPECT_FALSE(record_pattern(prefix, full, bare));
    EXPECT_EQ(prefix, (bytes{0}));  // only the signature length
    EXPECT_TRUE(full.empty());
}

TEST(MetadataEx, ConstructionFilesTheRecordAndItsPattern) {
    const sqlite_metadata r = sample_record();
    const sqlite_metadata_ex g(r, 2, 2);
    EXPECT_TRUE(g.lists[0].empty());
    ASSERT_EQ(g.lists[1].size(), 1u);
    EXPECT_EQ(g.lists[1][0].rowid, 7u);
    EXPECT_EQ(g.rowids[1].at(7), (std::vector<std::uint64_t>{0}));
    EXPECT_EQ(g.header_lengths.at(4), 1u);
    ASSERT_EQ(g.patterns.size(), 1u);
    EXPECT_EQ(g.patterns.begin()->bytes, (bytes{0x11, 0x1D, 0x1C}));
    const sqlite_metadata_ex one(r, 1, 1);  // kinds 1 and 3 build no pattern
    EXPECT_TRUE(one.prefix.empty());
    EXPECT_TRUE(one.patterns.empty());
    EXPECT_EQ(one.lists[0].size(), 1u);
    const sqlite_metadata_ex none(r, 9, 4);
    for (const auto& l : none.lists) EXPECT_TRUE(l.empty());
    sqlite_metadata_ex copy = g;
    copy.clear();
    EXPECT_TRUE(copy.lists[1].empty());
    EXPECT_TRUE(copy.patterns.empty());
    EXPECT_EQ(g.lists[1].size(), 1u);
}

TEST(DiagsContainer, ConstructAndClear) {
    diags_container d(8, "handlersettings");
    EXPECT_EQ(d.identifier, 8u);
    EXPECT_EQ(d.name, "handlersettings");
    d.rowids[0].insert(3);
    d.counts[2] = 5;
    d.groups.emplace("p", sqlite_metadata_ex(sample_record(), 1, 2));
    diags_container copy = d;
    d.clear();
    EXPECT_EQ(d.identifier, 0u);
    EXPECT_TRUE(d.name.empty());
    EXPECT_TRUE(d.rowids[0].empty());
    EXPECT_EQ(d.counts[2], 0u);
    EXPECT_TRUE(d.groups.empty());
    EXPECT_EQ(copy.groups.size(), 1u);
    EXPECT_EQ(copy.counts[2], 5u);
}

}  // namespace
