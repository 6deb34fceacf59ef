#include "sqlite_binding/run_log_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

namespace {

// An in-memory database to check that each statement is valid SQL and does what it says.
class RunLogDb : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db_)); }
    void TearDown() override { sqlite3_close(db_); }

    int exec(const std::string& sql) {
        char* err = nullptr;
        const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
        last_error_ = err != nullptr ? err : "";
        sqlite3_free(err);
        return rc;
    }
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        auto cb = [](void* ctx, int n, char** v, char**) -> int {
            std::vector<std::string> row;
            for (int i = 0; i < n; ++i) row.emplace_back(v[i] ? v[i] : "NULL");
            static_cast<std::vector<std::vector<std::string>>*>(ctx)->push_back(row);
            return 0;
        };
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), cb, &out, nullptr)) << sql;
        return out;
    }
    // Prepares, binds texts (or integers for texts starting with '#') in order, steps once.
    int insert(const std::string& sql, const std::vector<std::string>& values) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return -1;
        int i = 1;
        for (const std::string& v : values) {
            if (!v.empty() && v[0] == '#') {
                sqlite3_bind_int64(st, i++, std::stoll(v.substr(1)));
            } else {
                sqlite3_bind_text(st, i++, v.c_str(), -1, SQLITE_TRANSIENT);
            }
        }
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        return rc;
    }

    sqlite3* db_ = nullptr;
    std::string last_error_;
};

TEST_F(RunLogDb, ReferenceTableStatements) {
    EXPECT_EQ(
        "create table `ref` (`table_name` varchar primary key  not null, `last_rowid` integer, "
        "`last_update` integer);",
        sql_create_ref_table(kRefTableDefaultName));
    ASSERT_EQ(SQLITE_OK, exec(sql_create_ref_table("ref")));
    EXPECT_NE(SQLITE_OK, exec(sql_create_ref_table("ref")));
    EXPECT_NE(std::string::npos, last_error_.find("already exists"));
    EXPECT_EQ(SQLITE_DONE, insert(sql_insert_ref_row("ref"), {"data", "#4", "#100"}));
    EXPECT_EQ(SQLITE_DONE, insert(sql_update_ref_row("ref"), {"#9", "#200", "data"}));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"9"}}), rows(sql_select_last_rowid("ref", "data")));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"data", "9"}}), rows(sql_select_ref_rows("ref")));
}

TEST_F(RunLogDb, RunTableStatements) {
    ASSERT_EQ(kRunTableColumnCount, run_table_columns().size());
    ASSERT_EQ(SQLITE_OK, exec(sql_create_run_table("metadata")));
    std::vector<std::string> values;
    for (std::size_t i = 0; i < kRunTableColumnCount; ++i) {
        values.push_back(run_table_columns()[i].second == "integer" ? "#" + std::to_string(i + 1)
                                                                    : "t" + std::to_string(i));
    }
    values[0] = "#131000000000000001";
    ASSERT_EQ(SQLITE_DONE, insert(sql_insert_run_row("metadata"), values));
    // Looked up with the runtime in quotes: integer affinity makes the comparison numeric.
    EXPECT_EQ(1u, rows(sql_select_run_row("metadata", 131000000000000001ull)).size());
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"20"}}),
              rows(sql_select_row_data_end("metadata", 131000000000000001ull)));

    const std::string update = sql_update_run_row("metadata", 131000000000000001ull);
    EXPECT_EQ(std::string::npos, update.find("row_data_end")) << update;
    EXPECT_NE(std::string::npos, update.find(" where runtime='131000000000000001';"));
    std::vector<std::string> rewrite(values.begin(), values.end() - 1);
    rewrite[0] = "#131000000000000002";
    ASSERT_EQ(SQLITE_DONE, insert(update, rewrite));
    ASSERT_EQ(SQLITE_DONE, insert(sql_set_row_data_start("metadata"), {"#11", "#131000000000000002"}));
    ASSERT_EQ(SQLITE_DONE, insert(sql_set_row_data_end("metadata"), {"#12", "#131000000000000002"}));
    const auto all = rows(sql_select_run_rows("metadata"));
    ASSERT_EQ(1u, all.size());
    EXPECT_EQ("131000000000000002", all[0][0]);
    EXPECT_EQ("11", all[0][18]);
    EXPECT_EQ("12", all[0][19]);
    sqlite_metadata_row back;
    EXPECT_TRUE(back.assign_from_strings(all[0], false));
    EXPECT_EQ(12u, back.row_data_end);
}

TEST_F(RunLogDb, DataTableStatements) {
    ASSERT_EQ(SQLITE_OK, exec(sql_create_generic_data()));
    ASSERT_EQ(SQLITE_DONE,
              insert(sql_insert_generic_data(), {"#1", "#2", "#3", "#4", "#5", "#6", "a", "b", "line"}));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"1", "line"}}),
              rows(sql_select_export_columns("generic_data")));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"1"}}), rows(sql_select_max_rowid("generic_data")));

    const std::vector<std::string> cols =
        data_columns_from_headers("date | time|long column name|a#b", false, true);
    EXPECT_EQ((std::vector<std::string>{"[1-date]", "[2-time]", "[3-long_col]", "[4-ab]"}), cols);
    EXPECT_EQ(
        "create table [named] ([metaref] integer, [1-date] varchar, [2-time] varchar, [3-long_col] varchar, "
        "[4-ab] varchar);",
        sql_create_named_data_table("named", cols));
    ASSERT_EQ(SQLITE_OK, exec(sql_create_named_data_table("named", cols)));
    ASSERT_EQ(SQLITE_DONE, insert(sql_insert_named_data("named", cols), {"#7", "d", "t", "l", "x"}));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"7", "d", "t", "l", "x"}}),
              rows(sql_select_data_table("named")));
    EXPECT_EQ(1u, rows(sql_dump_table("named")).size());
}

TEST_F(RunLogDb, ColumnNameCleaning) {
    EXPECT_EQ("abcdefgh", clean_data_column_name("abcdefgh", false));
    EXPECT_EQ("abcdefgh", clean_data_column_name("abcdefghi", false));
    EXPECT_EQ("abcdefghi", clean_data_column_name("abcdefghi", true));
    EXPECT_EQ("a_b", clean_data_column_name(" [a b]\t", true));
    EXPECT_EQ((std::vector<std::string>{"[date]", "[x]"}), data_columns_from_headers("date|x", false, false));
    // A first name that already holds '[' keeps the whole list as it is.
    std::vector<std::string> kept = {"[mine]", "other name"};
    bracket_data_columns(kept, false, true);
    EXPECT_EQ((std::vector<std::string>{"[mine]", "other name"}), kept);
    EXPECT_TRUE(data_columns_from_headers("", false, true).empty());
}

TEST_F(RunLogDb, LogAndCustomTables) {
    schema_t s;
    s.name = "files";
    s.push_back("metaref", "integer");
    for (const log_record_column& c : log_record_columns()) s.push_back(c.name, c.type);
    EXPECT_EQ(std::string("inode"), log_record_columns()[10].name);
    EXPECT_EQ(std::string("copied"), log_record_columns()[12].name);
    ASSERT_EQ(SQLITE_OK, exec(sql_create_log_table(s)));
    std::vector<std::string> values(s.fields.size(), "v");
    values[0] = "#5";
    ASSERT_EQ(SQLITE_DONE, insert(sql_insert_log_rows(s), values));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"5", "v"}}),
              rows("select `metaref`, `offset` from files;"));
}

TEST(RowTicks, RowsOfOneTickCountUp) {
    row_tick_counter ticks;
    EXPECT_EQ(1000u, ticks.next_at(1000));
    EXPECT_EQ(1001u, ticks.next_at(1000));
    EXPECT_EQ(1002u, ticks.next_at(1000));
    EXPECT_EQ(2000u, ticks.next_at(2000));
    EXPECT_EQ(2001u, ticks.next_at(2000));
    const std::uint64_t a = ticks.next();
    const std::uint64_t b = ticks.next();
    EXPECT_NE(a, b);
}

}  // namespace
