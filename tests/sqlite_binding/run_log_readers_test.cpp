#include "sqlite_binding/run_log_readers.h"

#include "io/cmd_params.h"
#include "run_log_fixture.h"
#include "sqlite_binding/run_log_exports.h"

namespace {

using RunLogReaders = RunLogDb;

TEST_F(RunLogReaders, run_rows_and_reference_table_read_back) {
    write_runs();
    sqlite3_adt adt;
    std::map<std::uint64_t, sqlite_metadata_row> runs;
    EXPECT_FALSE(adt.read_run_rows(runs));  // not open
    ASSERT_TRUE(adt.open_read_only(path_, ""));
    ASSERT_TRUE(adt.read_run_rows(runs));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs.at(runs_[1]).row_data_start, 3u);
    EXPECT_EQ(runs.at(runs_[1]).row_data_end, 5u);
    EXPECT_EQ(runs.at(runs_[1]).toolname, "selk");
    std::vector<std::string> tables;
    ASSERT_TRUE(adt.list_ref_tables(tables));
    EXPECT_EQ(tables, (std::vector<std::string>{"metadata", "generic_data", "events"}));
    std::map<std::string, std::uint64_t> ref;
    ASSERT_TRUE(adt.read_ref_table(ref));
    EXPECT_EQ(ref,
              (std::map<std::string, std::uint64_t>{{"events", 1}, {"generic_data", 5}, {"metadata", 3}}));

    int context = 0;
    EXPECT_TRUE(exec_statements(&context, &adt, {"select 1;"}, nullptr));
    EXPECT_FALSE(exec_statements(nullptr, &adt, {"select 1;"}, nullptr));
    EXPECT_FALSE(exec_statements(&context, &adt, {"select 1;", "select nothing from nowhere;"}, nullptr));
    adt.close_and_unload();

    // A run table of another width than the layout's is refused.
    exec("alter table metadata add column surplus integer;");
    sqlite3_adt wide;
    ASSERT_TRUE(wide.open_read_only(path_, ""));
    EXPECT_FALSE(wide.read_run_rows(runs));
}

TEST_F(RunLogReaders, csv_export_appends_run_columns_and_stops_at_an_unowned_row) {
    write_runs();
    exec("update events set [2-desc] = NULL; insert into events values (1, 'orphan', 'row');");
    sqlite3_adt adt;
    ASSERT_TRUE(adt.open_read_only(path_, ""));
    cmd_params options;
    options.show_progress = false;
    ASSERT_TRUE(export_data_tables_to_csv(&adt, 0, dir_ + "/csv", false, &options));
    const auto files = files_in(dir_ + "/csv");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("events.csv"),
              "date|desc|tool used|orig runtime|artifact type|csv src|artifact "
              "src\n2020||selk|9|events||out.txt\n");
    const std::string& generic = files.at("generic_data.csv");
    EXPECT_EQ(generic.substr(0, generic.find('\n')),
              "date|text|||||||tool used|orig runtime|artifact type|csv src|artifact src");
    EXPECT_NE(
        generic.find("\n1|2|3|4|5|s1|s2|run 1 line 2|selk|9abc|notif rows||/evidence/wpn database.db\n"),
        std::string::npos);

    options.separator = ";";
    options.value_char = '|';
    options.value_char_replacement = '/';
    ASSERT_TRUE(export_data_tables_to_csv(&adt, 0, dir_ + "/csv", true, &options));
    EXPECT_EQ(read(dir_ + "/csv/events.csv"),
              "date;desc;tool used;orig runtime;artifact type;csv src;artifact "
              "src\n2020;;selk;9;events;;out.txt\n");
    EXPECT_FALSE(export_data_tables_to_csv(&adt, 0, "", false, &options));
}

TEST_F(RunLogReaders, dump_marks_unprintable_cells_and_quotes_on_request) {
    write_runs();
    exec(
        "create table cells (a text, b text, c blob); insert into cells values ('caf\xc3\xa9', '{\"k\":1}', "
        "NULL);"
        "insert into cells values ('two\nlines', 'plain', x'000102');");
    sqlite3_adt adt;
    ASSERT_TRUE(adt.open_read_only(path_, ""));
    cmd_params options;
    options.separator = ",";
    std::ostringstream os;
    ASSERT_TRUE(dump_table(&adt, os, "cells", options, false));
    EXPECT_EQ(os.str(), "a,b,c\nhex={63 61 66 c3 a9},{\"k\":1},\ntwo[LF]lines,plain,hex={00 01 02}\n");
    options.quoted_csv_fields = true;
    std::ostringstream quoted;
    ASSERT_TRUE(dump_table(&adt, quoted, "cells", options, true));
    EXPECT_EQ(quoted.str(), "a,b,c\n\"caf\xc3\xa9\",{\"k\":1},\n\"two[LF]lines\",\"plain\",\"" +
                                std::string("\0\1\2", 3) + "\"\n");
    std::ostringstream none;
    EXPECT_FALSE(dump_table(&adt, none, "no'such", options, false));

    options.quoted_csv_fields = false;
    ASSERT_TRUE(dump_table_to_file(&adt, dir_ + "/dump.txt", "cells", 0, options));
    EXPECT_EQ(read(dir_ + "/dump.txt").substr(0, 6), "a,b,c\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(dump_table_to_file(&adt, dir_ + "/no/such/dump.txt", "cells", 0, options));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("prob accessing " + dir_ +
                                                          "/no/such/dump.txt, aborting\n"),
              std::string::npos);
}

}  // namespace
