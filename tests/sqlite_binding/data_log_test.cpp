#include "sqlite_binding/data_log.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class DataLog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/data_log_XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        ASSERT_NE(nullptr, mkdtemp(buf.data()));
        dir_ = buf.data();
        path_ = dir_ + "/sub/run.db";
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    // Reads the run-log database through a connection of its own.
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        sqlite3* db = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
        auto cb = [](void* ctx, int n, char** v, char**) -> int {
            std::vector<std::string> row;
            for (int i = 0; i < n; ++i) row.emplace_back(v[i] ? v[i] : "NULL");
            static_cast<std::vector<std::vector<std::string>>*>(ctx)->push_back(row);
            return 0;
        };
        char* err = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), cb, &out, &err)) << (err ? err : "") << " " << sql;
        sqlite3_free(err);
        sqlite3_close(db);
        return out;
    }
    std::string one(const std::string& sql) {
        const auto r = rows(sql);
        return r.empty() || r[0].empty() ? std::string("<none>") : r[0][0];
    }

    std::string dir_;
    std::string path_;
};

TEST_F(DataLog, FirstRunIsWrittenUnderItsRunId) {
    sqlite_data_log log;
    sqlite_metadata_row row;
    row.toolname = "selk";
    ASSERT_TRUE(log.open(0, path_, row, "", true));
    EXPECT_EQ("generic_data", row.data_tbl_name);
    EXPECT_EQ("generic_data", log.run_row.data_tbl_name);
    ASSERT_TRUE(log.commit_run(false));
    EXPECT_EQ("0", one("select count(*) from metadata;")) << "no run row has runtime 0 to rewrite";
    const std::uint64_t run = log.run_id;
    ASSERT_NE(0u, run);

    std::ostringstream line;
    line << "first line";
    EXPECT_EQ(0, log.add_data_row(line, 1, 2, "s1", "s2", 3, 4, 5));
    log.add_data_row(std::string("second line"), 6, 7, "", "", 0, 0, 0);
    EXPECT_EQ(2, log.pending_row_count());
    ASSERT_TRUE(log.flush_data_rows());
    EXPECT_EQ(0, log.pending_row_count());

    EXPECT_EQ(
        (std::vector<std::vector<std::string>>{{std::to_string(run), "1", "2", "s1", "s2", "first line"},
                                               {std::to_string(run), "6", "7", "", "", "second line"}}),
        rows("select metaref, val1, val2, str1, str2, desired_output from generic_data order by rowid;"));
    EXPECT_EQ(
        (std::vector<std::vector<std::string>>{{std::to_string(run), "1", "2", "selk", "generic_data"}}),
        rows("select runtime, row_data_start, row_data_end, toolname, data_tbl_name from metadata;"));
    EXPECT_EQ("2", one("select last_rowid from ref where table_name = 'generic_data';"));
    EXPECT_EQ("1", one("select last_rowid from ref where table_name = 'metadata';"));
}

TEST_F(DataLog, RunsBatchesReopenAndThreads) {
    std::uint64_t run1 = 0;
    std::uint64_t run2 = 0;
    {
        sqlite_data_log log;
        sqlite_metadata_row row;
        ASSERT_TRUE(log.open(0, path_, row, "", true));
        ASSERT_TRUE(log.commit_run(false));
        run1 = log.run_id;
        for (int i = 0; i < 3; ++i) log.add_data_row("r1-" + std::to_string(i), i, 0, "", "", 0, 0, 0);
        ASSERT_TRUE(log.flush_data_rows());
        log.add_data_row("r1-3", 3, 0, "", "", 0, 0, 0);
        // The next run writes the rows still pending for this one first.
        ASSERT_TRUE(log.commit_run(true));
        run2 = log.run_id;
        EXPECT_GT(run2, run1);

        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < 50; ++i) log.add_data_row("t" + std::to_string(t), t, i, "", "", 0, 0, 0);
            });
        }
        for (std::thread& th : threads) th.join();
        EXPECT_EQ(200, log.pending_row_count());
        EXPECT_FALSE(log.flush_data_rows_min(201));
        ASSERT_TRUE(log.flush_data_rows_min(200));
        log.add_data_row("left for the destructor", 9, 9, "", "", 0, 0, 0);
    }
    EXPECT_EQ(
        (std::vector<std::vector<std::string>>{
            {std::to_string(run1), "0", "0", "1", "4"},
            {std::to_string(run2), "1", std::to_string(run1), "5", "205"}}),
        rows("select runtime, chunk, parent, row_data_start, row_data_end from metadata order by runtime;"));
    EXPECT_EQ("4", one("select count(*) from generic_data where metaref = " + std::to_string(run1) + ";"));
    EXPECT_EQ("201", one("select count(*) from generic_data where metaref = " + std::to_string(run2) + ";"));

    // Reopen: the tables are found, rows go on after the last ones.
    sqlite_data_log again;
    sqlite_metadata_row row;
    ASSERT_TRUE(again.open(0, path_, row, "", true));
    ASSERT_TRUE(again.commit_run(false));
    again.add_data_row("after reopen", 0, 0, "", "", 0, 0, 0);
    ASSERT_TRUE(again.flush_data_rows());
    EXPECT_EQ("206", one("select max(rowid) from generic_data;"));
    EXPECT_EQ("206", one("select last_rowid from ref where table_name = 'generic_data';"));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"206", "206"}}),
              rows("select row_data_start, row_data_end from metadata where runtime = " +
                   std::to_string(again.run_id) + ";"));
}

TEST_F(DataLog, LockedDatabaseFailsTheBatchAndKeepsItsRows) {
    sqlite_data_log log;
    sqlite_metadata_row row;
    ASSERT_TRUE(log.open(0, path_, row, "", true));
    ASSERT_TRUE(log.commit_run(false));
    log.add_data_row("kept", 1, 0, "", "", 0, 0, 0);
    log.add_data_row("kept too", 2, 0, "", "", 0, 0, 0);

    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path_.c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "begin exclusive;", nullptr, nullptr, nullptr));
    EXPECT_FALSE(log.flush_data_rows());
    EXPECT_EQ(2, log.pending_row_count());
    EXPECT_FALSE(log.commit_run(false)) << "the next run must not start over unwritten rows";
    EXPECT_EQ(2, log.pending_row_count());
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "rollback;", nullptr, nullptr, nullptr));

    // The same connection then writes everything: the failed batch left no transaction open.
    log.add_data_row("later", 3, 0, "", "", 0, 0, 0);
    ASSERT_TRUE(log.flush_data_rows());
    EXPECT_EQ(0, log.pending_row_count());
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"kept"}, {"kept too"}, {"later"}}),
              rows("select desired_output from generic_data order by rowid;"));

    // A failure inside the batch (the table is locked after the run row is written) rolls it back whole.
    log.add_data_row("x", 0, 0, "", "", 0, 0, 0);
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "begin immediate;", nullptr, nullptr, nullptr));
    EXPECT_FALSE(log.flush_data_rows());
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "rollback;", nullptr, nullptr, nullptr));
    EXPECT_EQ("3", one("select count(*) from generic_data;"));
    EXPECT_TRUE(log.flush_data_rows());
    EXPECT_EQ("4", one("select count(*) from generic_data;"));
    sqlite3_close(other);
}

TEST_F(DataLog, NamedTableFromColumnHeaders) {
    sqlite_data_log log;
    sqlite_metadata_row row;
    row.col_hdrs = "date|time|description text";
    ASSERT_TRUE(log.open(0, path_, row, "", false));
    EXPECT_EQ("data", row.data_tbl_name) << "the default name is applied before the copy";
    EXPECT_EQ("data", log.run_row.data_tbl_name);
    EXPECT_EQ("0", one("select last_rowid from ref where table_name = 'data';"));
    ASSERT_TRUE(log.commit_run(false));
    log.add_data_row("2024-01-01|10:00|hello", 0, 0, "", "", 0, 0, 0);
    log.add_data_row("short", 0, 0, "", "", 0, 0, 0);
    ASSERT_TRUE(sqlite_data_log::add_table_record_row(5, {"a"}, nullptr) == false);
    ASSERT_TRUE(log.flush_data_rows());
    EXPECT_EQ(
        (std::vector<std::vector<std::string>>{{std::to_string(log.run_id), "2024-01-01", "10:00", "hello"},
                                               {std::to_string(log.run_id), "short", "0", "0"}}),
        rows("select [metaref], [1-date], [2-time], [3-descript] from data order by rowid;"));
}

TEST_F(DataLog, NamedTableWithoutHeadersIsNeverWritten) {
    sqlite_data_log log;
    sqlite_metadata_row row;
    row.data_tbl_name = "named";
    ASSERT_TRUE(log.open(0, path_, row, "", false));
    log.add_data_row("a|b", 0, 0, "", "", 0, 0, 0);
    EXPECT_FALSE(log.flush_data_rows());
    EXPECT_EQ(1, log.pending_row_count());
    EXPECT_EQ("0", one("select count(*) from sqlite_master where name = 'named';"));
    log.clear_pending();
}

TEST_F(DataLog, ClosedLogAndEdgeCases) {
    sqlite_data_log log;
    EXPECT_EQ(0, log.add_data_row("queued while closed", 0, 0, "", "", 0, 0, 0));
    EXPECT_EQ(1, log.pending_row_count());
    EXPECT_FALSE(log.flush_data_rows());
    EXPECT_FALSE(log.commit_run(false));
    EXPECT_EQ(1, log.pending_row_count());
    log.set_gen_hdrs("ignored while closed");
    EXPECT_TRUE(log.run_row.gen_hdrs.empty());
    EXPECT_FALSE(log.create_ref_table());
    EXPECT_EQ(0u, log.get_last_rowid("x"));
    log.clear_pending();

    sqlite_metadata_row row;
    ASSERT_TRUE(log.open(0, path_, row, "", true));
    EXPECT_FALSE(log.write_data_rows(log.run_id, {}));
    log.set_col_hdrs("a|b");
    log.set_artifact_type("art");
    EXPECT_EQ("a|b", log.run_row.col_hdrs);
    // Runs started within one clock tick still get distinct keys.
    const std::uint64_t future = 0x7000000000000000ull;
    ASSERT_TRUE(log.start_run(future, false));
    EXPECT_EQ(future + 1, log.run_id);
    ASSERT_TRUE(log.start_run(log.run_id, false));
    EXPECT_EQ(future + 2, log.run_id);
    EXPECT_TRUE(log.add_text_lines("one\ntwo\n", 1, 2, "s"));
    EXPECT_EQ(2, log.pending_row_count());
    EXPECT_FALSE(log.add_text_lines("", 1, 2, "s"));
    log.clear_pending();
    EXPECT_EQ(0u, log.get_max_rowid("generic_data"));
}

TEST_F(DataLog, RunRowOperationsAndSelects) {
    sqlite_data_log log;
    sqlite_metadata_row row;
    ASSERT_TRUE(log.open(0, path_, row, "", true));
    EXPECT_TRUE(log.create_ref_table()) << "a second create finds the table";
    EXPECT_TRUE(log.create_run_table());
    sqlite_metadata_row r;
    r.runtime = 500;
    r.cmdline = "cmd";
    ASSERT_TRUE(log.insert_run_row(r));
    EXPECT_TRUE(log.run_row_exists(500));
    EXPECT_FALSE(log.run_row_exists(501));
    r.cmdline = "changed";
    ASSERT_TRUE(log.update_run_row(500, 600, r));
    EXPECT_FALSE(log.run_row_exists(500));
    ASSERT_TRUE(log.set_row_data_end(600, 42, true));
    EXPECT_EQ(42u, log.get_row_data_end(600));
    ASSERT_TRUE(log.set_row_data_start(600, 40));
    sqlite_ref_row ref;
    ref.table_name = "metadata";
    EXPECT_FALSE(log.insert_ref_row(ref)) << "the run table already has its reference row";
    std::uint64_t found = 99;
    EXPECT_FALSE(log.find_last_rowid(found, "unknown"));
    EXPECT_EQ(0u, found);

    cmd_params options;
    const std::string diag = dir_ + "/diags.txt";
    options.diagnostics = new std::ofstream(diag);
    options.diagnostics_on = true;
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(log.generic_sql_select(names, rows, "select runtime, cmdline from metadata;", &options));
    EXPECT_EQ((std::vector<std::string>{"runtime", "cmdline"}), names);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"600", "changed"}}), rows);
    EXPECT_FALSE(log.generic_sql_select(names, rows, "select * from metadata where runtime = 1;", &options));
    EXPECT_FALSE(log.generic_sql_select(names, rows, "select nonsense from nowhere;", &options));
    EXPECT_FALSE(log.generic_sql_select(names, rows, "", &options));
    options.diagnostics->flush();
    std::ifstream in(diag);
    const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, logged.find("->sqlite3_adt::generic_sql_select: no rows returned"));
    EXPECT_NE(std::string::npos,
              logged.find("->sqlite3_adt::generic_sql_select: prob calling sql_transaction"));
    EXPECT_NE(std::string::npos, logged.find("no such table: nowhere"));
}

TEST_F(DataLog, SetUpFromTheOptions) {
    cmd_params options;
    sqlite_data_log log;
    // "-sqlite" off: the log is only remembered for the options.
    ASSERT_TRUE(init_sqlite_output(&log, 0, "gen", &options));
    EXPECT_EQ(&log, get_options_data_log(&options));
    EXPECT_FALSE(log.is_open);
    EXPECT_FALSE(sqlite_data_log::add_table_record_row(1, {"a"}, &options)) << "-sqlite is off";

    options.sqlite_on = true;
    EXPECT_FALSE(init_sqlite_output(&log, 0, "gen", &options)) << "no path";
    options.sqlite_path = path_;
    options.bodyfile = true;
    ASSERT_TRUE(init_sqlite_output(&log, 0, "general", &options));
    EXPECT_TRUE(log.is_open);
    EXPECT_EQ("|", options.separator);
    EXPECT_TRUE(options.no_whitespace);
    EXPECT_FALSE(options.padded_separator);
    EXPECT_EQ("general", log.run_row.gen_hdrs);
    EXPECT_EQ(0u, log.run_row.col_hdrs.find("md5|name|inode"));
    EXPECT_EQ("generic_data", log.run_row.data_tbl_name);
    EXPECT_EQ(260u, log.run_row.output_option);
    ASSERT_TRUE(sqlite_data_log::add_table_record_row(7, {"cell"}, &options));
    EXPECT_EQ(1, log.pending_row_count());
    log.clear_pending();
}

TEST_F(DataLog, SetUpWithoutAnOutputModeOpensForReading) {
    {
        sqlite_data_log writer;
        sqlite_metadata_row row;
        ASSERT_TRUE(writer.open(0, path_, row, "", true));
    }
    cmd_params options;
    options.sqlite_on = true;
    options.sqlite_path = path_;
    sqlite_data_log log;
    ASSERT_TRUE(init_sqlite_output(&log, 0, "gen", &options));
    EXPECT_TRUE(log.is_open);
    EXPECT_TRUE(log.read_only);
    options.sqlite_path = dir_ + "/absent.db";
    sqlite_data_log missing;
    EXPECT_FALSE(init_sqlite_output(&missing, 0, "gen", &options));

    // Modes without a column layout of their own go to a table "unk" with no headers.
    options.sqlite_path = path_;
    options.multiline = true;
    sqlite_data_log unk;
    ASSERT_TRUE(init_sqlite_output(&unk, 0, "gen", &options));
    EXPECT_EQ("unk", unk.run_row.data_tbl_name);
    EXPECT_TRUE(unk.run_row.col_hdrs.empty());
    EXPECT_FALSE(unk.read_only);
}

TEST(DataLogHeaders, HeaderTexts) {
    std::ostringstream body;
    write_bodyfile_header(body);
    EXPECT_EQ("md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time",
              body.str());
    std::ostringstream l2t;
    write_log2timeline_header(l2t, ",", false, true);
    EXPECT_EQ(
        "date/time,timezone,MACB,source,sourcetype,type,user,host,short,desc,version,filename,inode,notes,"
        "format,extra",
        l2t.str());
    std::ostringstream ext;
    write_log2timeline_header(ext, "|", true, false);
    EXPECT_EQ(0u, ext.str().find("date|time|timezone"));
    EXPECT_NE(std::string::npos,
              ext.str().find(
                  "|extra|ref count|extension|size data|inode seqnum|parent inode|parent seqnum|clusters|"
                  "header info"));
}

TEST(DataLogOptions, RunRowsFromOptions) {
    cmd_params options;
    options.command_line = "selk -db x";
    options.host_name = "examiner-host";
    options.user_name = "me";
    options.csvl2t = true;
    options.separator = "|";
    options.tool_name = "selk";
    options.source_type = "notifications";
    options.out_file = "/out/report.txt";
    options.compressed = true;
    sqlite_metadata_row row;
    row.fill_from_options(options);
    EXPECT_EQ("selk -db x", row.cmdline);
    EXPECT_EQ("examiner-host", row.host);
    EXPECT_EQ(259u, row.output_option);
    EXPECT_EQ("notifications", row.artifact_type);

    schema_t schema;
    schema.name = "files";
    schema.push_back("metaref", "integer");
    schema.push_back("path", "varchar");
    std::uint64_t runtime = 0;
    build_run_row(row, runtime, options, schema, 41);
    EXPECT_EQ(42u, row.row_data_start);
    EXPECT_EQ("not used", row.gen_hdrs);
    EXPECT_EQ("metaref|path", row.col_hdrs);
    EXPECT_EQ("integer|varchar", row.col_types);
    EXPECT_EQ("/out/report.txt [output]", row.file);
    EXPECT_EQ("gzip requested", row.file_other);
    EXPECT_EQ("files", row.data_tbl_name);
    EXPECT_EQ(row.runtime, runtime);
}

}  // namespace
