#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "io/cmd_params.h"
#include "notifications/sql_pull_types.h"
#include "sqlite_binding/sqlite_wrapper.h"

namespace {

class SqlPull : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/sql_pull_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir_ = templ;
        db_ = dir_ + "/pull.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(db_.c_str(), &db), SQLITE_OK);
        // 2020-12-31 23:59:59 UTC as FILETIME and Unix seconds; the DOS words of 23:59:58 that day.
        const char* sql =
            "create table items (id text, \"when\" integer, u integer, d integer, g blob, h blob, n integer, "
            "t text);"
            "insert into items values ('r1', 132539327990000000, 1609459199, 1369423741,"
            " x'00112233445566778899aabbccddeeff', x'0a0b', 42, NULL);"
            "insert into items values ('row2', 0, 0, 0, x'01', x'', 7, 'last');"
            "create table \"odd]name\" (\"col`q\" text);"
            "insert into \"odd]name\" values ('quoted');";
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
        sqlite3_close(db);
        std::ofstream(dir_ + "/cmds.txt")
            << "!cmd, -sqlite_select, -name, items, id, when|FileTime, u|unixtime, d|DOSTIME, g|guid, h|md5,"
               " n|value, t\n"
               "!cmd, -sqlite_select, -name, odd]name, col`q\n"
               "!cmd, -name, not_a_pull, a\n"
               "!cmd, -sqlite_select, -name, missing, a\n";
        ASSERT_TRUE(wrapper_.open_read_only(db_, ""));
    }
    void TearDown() override {
        wrapper_.close_and_unload();
        ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }
    std::string dir_;
    std::string db_;
    sqlite_wrapper wrapper_;
};

TEST_F(SqlPull, command_file_tables_are_selected_and_printed) {
    generic_sql_pull pull;
    ASSERT_TRUE(pull.load_from_command_file(dir_ + "/cmds.txt"));
    ASSERT_EQ(pull.tables.size(), 3u);
    const generic_sql_table& items = pull.tables[0];
    EXPECT_EQ(items.statement, "select `id`,`when`,`u`,`d`,`g`,`h`,`n`,`t` from [items];");
    EXPECT_EQ(items.column_types, (std::vector<std::string>{"text", "filetime", "unixtime", "dostime", "guid",
                                                            "md5", "value", "text"}));
    EXPECT_EQ(items.comment, "items");
    EXPECT_EQ(pull.tables[1].statement, "select `col``q` from `odd]name`;");

    testing::internal::CaptureStderr();
    ASSERT_TRUE(pull.run_all(&wrapper_));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "probs with select select `a` from [missing];\n");
    EXPECT_EQ(pull.tables[2].error_text,
              "no such table: missing [Prob calling cmd: select `a` from [missing];]");
    ASSERT_EQ(items.rows.size(), 2u);
    EXPECT_EQ(items.rows[0][7], "");  // NULL
    // Blobs come back whole, zero bytes included.
    EXPECT_EQ(items.column_widths, (std::vector<std::uint32_t>{4, 18, 10, 10, 16, 2, 2, 4}));
    EXPECT_EQ(pull.tables[1].rows, (std::vector<std::vector<std::string>>{{"quoted"}}));

    cmd_params options;
    std::ostringstream os;
    pull.print_all(os, options);
    const std::string dashes = " " + std::string(67, '-') + " \n";
    EXPECT_EQ(
        os.str(),
        dashes +
            "SQL statement: select `id`,`when`,`u`,`d`,`g`,`h`,`n`,`t` from [items];\n"
            " id  | when [date] | when [time]  |  u [date]  |   u [time]   |  d [date]  |   d [time]   |"
            "                  g                   |  h   | n  |  t  \n"
            "r1   | 2020-12-31  |  23:59:59.000 | 2020-12-31 |  23:59:59     | 2020-12-31 |  23:59:58.000 |"
            " 33221100-5544-7766-8899-aabbccddeeff | 0a ... | 0x2a |     \n"
            "row2 |             |               |            |               |            |               |"
            "                                      |  | 0x7 | last\n" +
            dashes + "SQL statement: select `col``q` from `odd]name`;\ncol`q \nquoted\n" + dashes +
            "SQL statement: select `a` from [missing];\n");
}

TEST_F(SqlPull, paired_dates_and_extra_result_columns) {
    generic_sql_table t;
    ASSERT_TRUE(t.build_from_fields({"-sqlite_select", "-name", "items", "d|dostime", "n|value"}));
    ASSERT_TRUE(t.run(&wrapper_));
    // A result wider than described widens nothing and is printed as text.
    char v0[] = "1369423741", v1[] = "5", v2[] = "extra";
    char* values[] = {v0, v1, v2};
    EXPECT_EQ(generic_sql_table::add_row(&t, 3, values, nullptr), 0);
    EXPECT_EQ(t.column_widths, (std::vector<std::uint32_t>{10, 2}));
    cmd_params options;
    options.pair_datetime = true;
    options.header_on = true;
    std::ostringstream os;
    t.print(os, options);
    EXPECT_EQ(
        os.str(),
        "SQL statement: select `d`,`n` from [items];\n           d            | n \n"
        " 2020-12-31 23:59:58.000 | 0x2a\n                         | 0x7\n 2020-12-31 23:59:58.000 | 0x5\n");

    EXPECT_FALSE(t.build_from_fields({"-name", "items", "a"}));
    EXPECT_FALSE(t.build_from_fields({"-sqlite_select", "a"}));
    ASSERT_TRUE(t.build_from_fields({"-sqlite_select", "-name", "items"}));
    EXPECT_EQ(t.statement, "select  from [items];");
    EXPECT_FALSE(t.valid());
    EXPECT_EQ(generic_sql_table::add_row(&t, 0, nullptr, nullptr), 1);
    generic_sql_pull pull;
    pull.tables.push_back(t);
    EXPECT_FALSE(pull.run_all(&wrapper_));
}

}  // namespace
