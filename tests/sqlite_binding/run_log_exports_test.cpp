#include "sqlite_binding/run_log_exports.h"

#include <algorithm>

#include "run_log_fixture.h"
#include "sqlite_binding/run_log_readers.h"

namespace {

using RunLogExports = RunLogDb;

TEST_F(RunLogExports, library_and_own_reader_exports_agree_and_repeat_exactly) {
    write_runs();
    sqlite3_adt adt;
    ASSERT_TRUE(adt.open_read_only(path_, ""));
    std::vector<std::string> written;
    ASSERT_TRUE(collect_data_outputs(&adt, written, dir_ + "/lib"));
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0], dir_ + "/lib/selk_wpn_database.db_notif_rows_" + std::to_string(runs_[0]) + ".txt");
    EXPECT_EQ(export_generic_data_carved(dir_ + "/own", path_), 0);

    const auto lib = files_in(dir_ + "/lib");
    ASSERT_EQ(lib.size(), 2u);
    EXPECT_EQ(lib.begin()->second, "date|text\nrun 0 line 0\nrun 0 line 1\n");
    EXPECT_EQ(lib.rbegin()->second, "date|text\nrun 1 line 0\nrun 1 line 1\nrun 1 line 2\n");
    EXPECT_EQ(files_in(dir_ + "/own"), lib);

    // A longer stale file is replaced, not overwritten in part.
    std::ofstream(written[1], std::ios::app) << std::string(100, 'x');
    std::ofstream(dir_ + "/own/" + lib.rbegin()->first, std::ios::app) << std::string(100, 'x');
    ASSERT_TRUE(collect_data_outputs(&adt, written, dir_ + "/lib"));
    EXPECT_EQ(export_generic_data_carved(dir_ + "/own", path_), 0);
    EXPECT_EQ(files_in(dir_ + "/lib"), lib);
    EXPECT_EQ(files_in(dir_ + "/own"), lib);
}

TEST_F(RunLogExports, data_tables_export_once_per_folder) {
    write_runs();
    ASSERT_TRUE(export_data_tables_carved(dir_ + "/csv", path_, false));
    const auto first = files_in(dir_ + "/csv");
    ASSERT_EQ(first.count("events.csv"), 1u);
    EXPECT_EQ(first.at("events.csv"),
              "date|desc|tool used|orig runtime|artifact type|\n2020|first|selk|9|events|\n");
    EXPECT_EQ(first.at("generic_data.csv").substr(0, first.at("generic_data.csv").find('\n')),
              "date|text|||||||tool used|orig runtime|artifact type|");
    EXPECT_EQ(std::count(first.at("generic_data.csv").begin(), first.at("generic_data.csv").end(), '\n'), 6);
    ASSERT_TRUE(export_data_tables_carved(dir_ + "/csv", path_, false));
    EXPECT_EQ(files_in(dir_ + "/csv"), first);
    EXPECT_FALSE(export_data_tables_carved(dir_ + "/csv", dir_ + "/absent.db", false));
}

TEST_F(RunLogExports, callback_refuses_bad_rows_and_continues_a_run_that_comes_back) {
    sql_file_results r;
    char key_a[] = "7", key_b[] = "8", key_c[] = "9", line1[] = "a1", line2[] = "b1", line3[] = "a2";
    char* row_a1[] = {key_a, line1};
    char* row_b1[] = {key_b, line2};
    char* row_a2[] = {key_a, line3};
    char* row_c[] = {key_c, line1};
    char* row_null[] = {key_a, nullptr};
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 2, row_a1, nullptr), -1);  // no runs, no folder
    r.folder = dir_;
    sqlite_metadata_row run;
    run.toolname = "t";
    run.artifact_type = "a b";
    run.col_hdrs = "hdr";
    r.runs[7] = run;
    run.file = "/x/y z";
    run.separator = "|";
    r.runs[8] = run;
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 1, row_a1, nullptr), -1);
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(nullptr, 2, row_a1, nullptr), -1);
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 2, row_a1, nullptr), 0);
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 2, row_b1, nullptr), 0);
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 2, row_a2, nullptr), 0);
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 2, row_null, nullptr), 0);
    EXPECT_EQ(sql_file_results::sql_generic_data_cb(&r, 2, row_c, nullptr), -1);
    r.output.reset();
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[0], dir_ + "/t___a_b_7.txt");
    EXPECT_EQ(r.files[1], dir_ + "/t_y_z_a_b_8.csv");
    EXPECT_EQ(read(r.files[0]), "hdr\na1\na2\n\n");
    EXPECT_EQ(read(r.files[1]), "hdr\nb1\n");
}

}  // namespace
