#include "sqlite_binding/result_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ResultSet : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/result_set_XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        ASSERT_NE(nullptr, mkdtemp(buf.data()));
        dir_ = buf.data();
        ASSERT_TRUE(w_.open_read_write(0, dir_ + "/r.db", ""));
    }
    void TearDown() override {
        w_.close_and_unload();
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    bool run(const std::vector<std::string>& cmds) {
        results_.clear();
        return run_commands(&results_, &w_, cmds, sql_results_row_cb);
    }

    std::string dir_;
    sqlite_wrapper w_;
    sql_results results_;
};

TEST_F(ResultSet, CreatingAnExistingTableReportsOnlyTheMessage) {
    ASSERT_TRUE(run({"create table t(a);"}));
    EXPECT_FALSE(run({"create table t(a);"}));
    EXPECT_TRUE(results_.already_exists);
    EXPECT_EQ("table t already exists\n", results_.errors.str());
}

TEST_F(ResultSet, FirstFailureStopsTheRun) {
    EXPECT_FALSE(run({"create table a(x); insert into a values(1);", "insert into nowhere values(1);",
                      "create table c(x);"}));
    ASSERT_EQ(1u, results_.rowids.size());
    EXPECT_EQ(1u, results_.rowids[0]);
    EXPECT_FALSE(results_.already_exists);
    EXPECT_EQ("Cmd Used: insert into nowhere values(1);\n Error: no such table: nowhere\n",
              results_.errors.str());
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(select_all_rows(rows, w_.db, "select count(*) from sqlite_master where name = 'c';"));
    EXPECT_EQ("0", rows.at(0).at(0)) << "the third command never ran";
    EXPECT_FALSE(run_commands(&results_, nullptr, {"select 1;"}, sql_results_row_cb));
    EXPECT_FALSE(run_commands(&results_, &w_, {}, sql_results_row_cb));
    EXPECT_FALSE(run_commands(nullptr, &w_, {"select 1;"}, sql_results_row_cb));
}

TEST_F(ResultSet, RowCallbackCollectsOrPrints) {
    ASSERT_TRUE(
        run({"create table t(a, b);", "insert into t values(1, 'x');", "insert into t values(2, NULL);"}));
    ASSERT_TRUE(run({"select a, b from t order by a;"}));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), results_.column_names);
    ASSERT_EQ(2u, results_.rows.size());
    EXPECT_EQ((std::vector<std::string>{"2", ""}), results_.rows[1]);

    std::ostringstream out;
    results_.clear();
    results_.output = &out;
    ASSERT_TRUE(run_commands(&results_, &w_,
                             {"select a, b from t order by a;", "select a, b from t where a = 1;"},
                             sql_results_row_cb));
    EXPECT_EQ("a | b\n1 | x\n2 | \n1 | x\n", out.str()) << "the header is printed once";
    EXPECT_TRUE(results_.rows.empty());
}

TEST_F(ResultSet, TableColumnSelect) {
    ASSERT_TRUE(
        run({"create table e(a, b);", "create table f(c1, c2, c3, c4, c5);",
             "insert into f values(1, 2, 3, 4, NULL);", "insert into f values('x', 'y', 'z', 'w', 'v');"}));
    std::vector<std::vector<std::string>> rows(3);
    std::vector<std::string> cols = {"a"};
    EXPECT_FALSE(select_table_columns(&w_, rows, cols, "e"));
    EXPECT_TRUE(rows.empty());

    cols = {"*"};
    ASSERT_TRUE(select_table_columns(&w_, rows, cols, "f"));
    EXPECT_EQ((std::vector<std::string>{"c1", "c2", "c3", "c4", "c5"}), cols);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "4", ""}), rows[0]);

    cols = {"c3", "c1"};
    ASSERT_TRUE(select_table_columns(&w_, rows, cols, "f"));
    EXPECT_EQ((std::vector<std::string>{"z", "x"}), rows[1]);
    EXPECT_FALSE(select_table_columns(&w_, rows, cols, ""));
    cols = {"nosuch"};
    EXPECT_FALSE(select_table_columns(&w_, rows, cols, "f"));
}

struct seen_rows {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> names;
    std::uint32_t flag = 0;
    std::uint64_t a = 0;
    std::uint64_t b = 0;
};

int plain_row(void* ctx, std::vector<std::string>& row, std::uint32_t flag, std::uint64_t a,
              std::uint64_t b) {
    auto* s = static_cast<seen_rows*>(ctx);
    s->rows.push_back(row);
    s->flag = flag;
    s->a = a;
    s->b = b;
    return 0;
}

int named_row(void* ctx, std::vector<std::string>& row, std::vector<std::string>& names, std::uint32_t,
              std::uint64_t, std::uint64_t) {
    auto* s = static_cast<seen_rows*>(ctx);
    s->rows.push_back(row);
    s->names = names;
    return 0;
}

TEST_F(ResultSet, SteppingSelectsTurnValuesIntoText) {
    ASSERT_TRUE(run({"create table v(i, f, t, b, n);",
                     "insert into v values(-7, 2.5, 'te' || char(0) || 'xt', x'00ff00', NULL);",
                     "insert into v values(9223372036854775807, 1.0/3, '', x'', NULL);"}));
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(select_all_rows(rows, w_.db, "select i, f, t, b, n from v order by rowid;"));
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(
        (std::vector<std::string>{"-7", "2.5", std::string("te\0xt", 5), std::string("\0\xff\0", 3), "0"}),
        rows[0]);
    EXPECT_EQ("9223372036854775807", rows[1][0]);
    EXPECT_EQ("0.333333", rows[1][1]);

    std::vector<std::string> names;
    select_all_rows_with_names(rows, names, w_.db, "select f, n from v order by rowid;");
    EXPECT_EQ((std::vector<std::string>{"f", "n"}), names);
    EXPECT_EQ((std::vector<std::string>{"2.5", ""}), rows[0]);
    EXPECT_EQ("0.333333333333333", rows[1][0]) << "floats as the library's text";

    seen_rows seen;
    ASSERT_TRUE(select_rows_to_callback(&seen, 3, 4, 5, w_.db, "select n from v;", plain_row));
    EXPECT_EQ(2u, seen.rows.size());
    EXPECT_EQ("0", seen.rows[0][0]);
    EXPECT_EQ(3u, seen.flag);
    EXPECT_EQ(4u, seen.a);
    EXPECT_EQ(5u, seen.b);

    seen_rows named;
    ASSERT_TRUE(select_rows_with_names_to_callback(
        &named, 0, 0, 0, w_.db, "select f as ff, n from v order by rowid;", named_row, false));
    EXPECT_EQ((std::vector<std::string>{"ff", "n"}), named.names);
    EXPECT_EQ("", named.rows[0][1]);
    EXPECT_EQ("0.333333", named.rows[1][0]);
    ASSERT_TRUE(select_rows_with_names_to_callback(&named, 0, 0, 0, w_.db, "select f from v order by rowid;",
                                                   named_row, true));
    EXPECT_EQ("0.333333333333333", named.rows.back()[0]);

    EXPECT_FALSE(select_all_rows(rows, nullptr, "select 1;"));
    EXPECT_FALSE(select_all_rows(rows, w_.db, "select from;"));
    EXPECT_FALSE(select_rows_to_callback(&seen, 0, 0, 0, w_.db, "nonsense", plain_row));
}

TEST_F(ResultSet, PrintShowsTextColumnsAsHex) {
    sql_results r;
    r.column_names = {"a", "b"};
    r.column_types = {1, 3};
    r.rows = {{"1", "\xE9z"}, {"2"}};
    std::ostringstream out;
    print_results(r, out);
    EXPECT_EQ("a | b | \n\n1 | e9 7a  | \n2 | \n", out.str());
}

TEST_F(ResultSet, SchemaQueryRuns) {
    std::stringstream q;
    q << "stale";
    ASSERT_TRUE(build_schema_query(q));
    EXPECT_EQ("select `sql` from sqlite_master where type='table';", q.str());
    ASSERT_TRUE(run({"create table s(x);", q.str()}));
    ASSERT_EQ(1u, results_.rows.size());
    EXPECT_EQ("CREATE TABLE s(x)", results_.rows[0][0]);
}

}  // namespace
