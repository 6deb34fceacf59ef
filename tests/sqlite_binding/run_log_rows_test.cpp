#include "sqlite_binding/run_log_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "time/clock_tz.h"

namespace {

std::vector<std::string> run_texts() {
    return {"131000000000000000",
            "1",
            "5",
            "cmd",
            "gen",
            "a|b",
            "varchar|varchar",
            "x",
            "host",
            "user",
            "file",
            "other",
            "259",
            "|",
            "notes",
            "tool",
            "art",
            "tbl",
            "7",
            "9"};
}

TEST(RunLogRows, DefaultRunRowAndItsClock) {
    const std::uint64_t before = get_current_time().filetime;
    sqlite_metadata_row row;
    const std::uint64_t after = get_current_time().filetime;
    EXPECT_GE(row.runtime, before);
    EXPECT_LE(row.runtime, after);
    EXPECT_EQ(261u, row.output_option);
    EXPECT_TRUE(row.number_data_columns);
    EXPECT_FALSE(row.keep_long_column_names);
    EXPECT_EQ(0u, row.chunk);
    EXPECT_TRUE(row.cmdline.empty());
    EXPECT_TRUE(row.column_list.empty());
}

TEST(RunLogRows, RunRowFromTexts) {
    sqlite_metadata_row row;
    ASSERT_TRUE(row.assign_from_strings(run_texts(), false));
    EXPECT_EQ(131000000000000000ull, row.runtime);
    EXPECT_EQ(1u, row.chunk);
    EXPECT_EQ(5u, row.parent);
    EXPECT_EQ("a|b", row.col_hdrs);
    EXPECT_EQ("host", row.host);
    EXPECT_EQ(259u, row.output_option);
    EXPECT_EQ("|", row.separator);
    EXPECT_EQ("tbl", row.data_tbl_name);
    EXPECT_EQ(7u, row.row_data_start);
    EXPECT_EQ(9u, row.row_data_end);

    // Wrong count with keep_current: nothing changes.
    std::vector<std::string> short_row = run_texts();
    short_row.pop_back();
    EXPECT_FALSE(row.assign_from_strings(short_row, true));
    EXPECT_EQ("tbl", row.data_tbl_name);
    EXPECT_EQ(9u, row.row_data_end);
    // Without it the row is cleared first.
    EXPECT_FALSE(row.assign_from_strings(short_row, false));
    EXPECT_TRUE(row.data_tbl_name.empty());
    EXPECT_EQ(261u, row.output_option);
}

TEST(RunLogRows, GenericRowNeedsNineTexts) {
    sqlite_generic_data_row row;
    const std::vector<std::string> nine = {"10", "1", "2", "3", "4", "0x10", "s1", "s2", "line"};
    ASSERT_TRUE(row.assign_from_strings(nine));
    EXPECT_EQ(10u, row.metaref);
    EXPECT_EQ(16u, row.val5);
    EXPECT_EQ("line", row.desired_output);

    std::vector<std::string> eight(nine.begin(), nine.end() - 1);
    EXPECT_FALSE(row.assign_from_strings(eight));
    EXPECT_EQ(0u, row.metaref);
    EXPECT_TRUE(row.desired_output.empty());
    std::vector<std::string> ten = nine;
    ten.push_back("extra");
    EXPECT_FALSE(row.assign_from_strings(ten));
    EXPECT_TRUE(row.str1.empty());
}

TEST(RunLogRows, SchemaFieldOrder) {
    schema_t s;
    s.name = "t";
    s.push_back("metaref", "integer");
    s.push_back("path", "varchar");
    EXPECT_EQ(0u, s.get_field_order("path"));  // pushed only, never entered in the order map
    s.field_order["path"] = 2;
    EXPECT_EQ(2u, s.get_field_order("path"));
    EXPECT_EQ(0u, s.get_field_order(""));
    EXPECT_EQ(0u, s.get_field_order("none"));
    s.run_key = 5;
    s.clear();
    EXPECT_TRUE(s.fields.empty());
    EXPECT_GE(s.fields.capacity(), 100u);
    EXPECT_EQ(0u, s.run_key);
}

TEST(RunLogRows, LogRecordCopyFixesTheTimeKind) {
    log_record src;
    src.modify_time = 5;
    src.time_kind = 0;
    src.source_flags = 4;
    log_record dst;
    dst.copy(src);
    EXPECT_EQ(1u, dst.time_kind);
    src.source_flags = 2;
    dst.copy(src);
    EXPECT_EQ(8u, dst.time_kind);
    src.time_kind = 16;
    dst.copy(src);
    EXPECT_EQ(16u, dst.time_kind);

    sqlite_log_record queued;
    EXPECT_EQ(0u, queued.copied);
    EXPECT_EQ(0u, queued.read_extended_attributes);
    sqlite_log_record_custom custom;
    EXPECT_TRUE(custom.values.empty());
    sqlite_ref_row ref;
    EXPECT_EQ(0u, ref.last_rowid);
    EXPECT_EQ(0u, ref.last_update);
}

}  // namespace
