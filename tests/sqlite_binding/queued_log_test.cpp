#include "sqlite_binding/queued_log.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <string>
#include <thread>
#include <vector>

#include "io/cmd_params.h"

namespace {

using rows_t = std::vector<std::vector<std::string>>;

class QueuedLog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/queued_log_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir_ = templ;
        path_ = dir_ + "/log.db";
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }

    rows_t rows(const std::string& sql) {
        rows_t out;
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        auto cb = [](void* ctx, int n, char** v, char**) -> int {
            std::vector<std::string> row;
            for (int i = 0; i < n; ++i) row.emplace_back(v[i] ? v[i] : "NULL");
            static_cast<rows_t*>(ctx)->push_back(row);
            return 0;
        };
        char* err = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), cb, &out, &err), SQLITE_OK) << (err ? err : "") << " " << sql;
        sqlite3_free(err);
        sqlite3_close(db);
        return out;
    }
    std::string count(const std::string& table) { return rows("select count(*) from " + table + ";")[0][0]; }

    std::string dir_;
    std::string path_;
};

TEST_F(QueuedLog, log_records_are_written_with_their_columns) {
    {
        sqlite_log log;
        const std::map<std::string, std::uint64_t> masks = {
            {"files", 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x8000}};
        ASSERT_TRUE(log.open(path_, nullptr, &masks, false));
        log_record file;
        file.name = "/ev/report.final.txt";
        file.size = 5;
        file.modify_time = 1609459199;
        file.time_kind = 16;  // seconds beyond 32 bits, as the file layer marks them
        file.notes = "n";
        file.attribute_names = {"k", "k", "j"};
        file.attribute_values = {"1", "2", "3"};
        ASSERT_TRUE(log.add_log_record("files", "", 0, &file));
        EXPECT_TRUE(file.name.empty());  // the given record is taken over and cleared
        log_record dot;
        dot.name = "/ev/b.";
        ASSERT_TRUE(log.add_log_record("files", "", 0, &dot));
        log_record folder;
        folder.name = "/ev/sub";
        folder.is_folder = true;
        folder.folder_wanted = true;
        ASSERT_TRUE(log.add_log_record("files", "", 0, &folder));
        log_record unwanted = folder;
        unwanted.folder_wanted = false;
        ASSERT_TRUE(log.add_log_record("files", "", 0, &unwanted));
        log_record nameless;
        ASSERT_TRUE(log.add_log_record("files", "", 0, &nameless));
        EXPECT_FALSE(log.add_log_record("other", "/x", 0, nullptr));
    }
    EXPECT_EQ(rows("select path, name, extension, is_dir, size, modified, notes from files order by rowid;"),
              (rows_t{{"/ev/", "report.final.txt", "txt", "NULL", "5", "2020-12-31 23:59:59",
                       "extra_attributes={\"k\":\"1;2\";\"j\":\"3\"};notes={\"n\"}"},
                      {"/ev/", "b.", "NULL", "NULL", "0", "NULL", "NULL"},
                      {"/ev/sub", "", "NULL", "1", "0", "NULL", "NULL"}}));
    EXPECT_EQ(rows("select last_rowid from ref where table_name = 'files';"), (rows_t{{"3"}}));
}

TEST_F(QueuedLog, custom_rows_flush_past_the_threshold_and_run_rows_close) {
    cmd_params options;
    options.tool_name = "selk";
    {
        sqlite_log log;
        ASSERT_TRUE(log.open(path_, &options, nullptr, false));
        bool existed = true;
        ASSERT_TRUE(log.create_table_from_columns(existed, "custom", {"tick", "a", "b"}));
        EXPECT_FALSE(existed);
        ASSERT_TRUE(log.create_table_from_columns(existed, "custom", {"tick", "a", "b"}));
        EXPECT_TRUE(existed);
        ASSERT_TRUE(log.create_table_from_names(existed, "named", {"z", "m"}));
        EXPECT_FALSE(log.create_table_from_columns(existed, "empty", {}));
        for (int i = 0; i < 256; ++i) ASSERT_TRUE(log.add_custom_row("custom", {"x", std::to_string(i)}));
        EXPECT_EQ(count("custom"), "0");  // 256 rows stay queued
        ASSERT_TRUE(log.add_custom_rows("custom", {{"x", "256", "beyond the columns"}}));
        EXPECT_EQ(count("custom"), "257");
        const std::vector<std::string> texts = {"only"};
        const int add = 2;
        EXPECT_EQ(sqlite_log::log_command(&log, "named", &texts, nullptr, nullptr, &add), 0);
        const int flush = 4;
        EXPECT_EQ(sqlite_log::log_command(&log, nullptr, nullptr, nullptr, nullptr, &flush), -1);
        EXPECT_EQ(sqlite_log::log_command(nullptr, "named", &texts, nullptr, nullptr, &add), -1);
        EXPECT_EQ(count("named"), "1");
    }
    EXPECT_EQ(rows("select a, b from custom where rowid = 257;"), (rows_t{{"x", "256"}}));
    // Sorted names: "m" takes the tick, "z" the text.
    EXPECT_EQ(rows("select z from named where m > 0;"), (rows_t{{"only"}}));

    // Run rows: one per table, with distinct keys, closed at the tables' last rowids.
    {
        sqlite_log log;
        const std::map<std::string, std::uint64_t> masks = {{"a_files", 0x2}, {"b_files", 0x2}};
        ASSERT_TRUE(log.open(path_, &options, &masks, true));
        ASSERT_TRUE(log.add_log_record("a_files", "/etc/hostname", 0, nullptr));
        ASSERT_NE(log.schemas.at("a_files").run_key, log.schemas.at("b_files").run_key);
    }
    EXPECT_EQ(rows("select data_tbl_name, row_data_start, row_data_end, toolname from metadata"
                   " where data_tbl_name like '%_files' order by data_tbl_name;"),
              (rows_t{{"a_files", "1", "1", "selk"}, {"b_files", "0", "0", "selk"}}));
}

TEST_F(QueuedLog, unusable_tables_are_refused_without_ending_the_process) {
    sqlite_log log;
    const std::map<std::string, std::uint64_t> masks = {{"attrs", 0x2 | 0x100000}};
    EXPECT_FALSE(log.open(path_, nullptr, &masks, false));
    EXPECT_FALSE(log.open("", nullptr, nullptr, false));
    ASSERT_TRUE(log.open(path_, nullptr, nullptr, false));
    bool existed = false;
    EXPECT_FALSE(log.create_record_table(existed, "zero", 0));
    EXPECT_EQ(log.schemas.count("zero"), 0u);
    ASSERT_TRUE(log.create_record_table(existed, "names", 0x2));
    // Rows added from several threads all arrive.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 100; ++i) {
                log_record r;
                r.name = "/t" + std::to_string(t) + "/" + std::to_string(i);
                log.add_log_record("names", "", 0, &r);
            }
        });
    }
    for (auto& th : threads) th.join();
    ASSERT_TRUE(log.flush_all());
    EXPECT_EQ(count("names"), "400");
    EXPECT_EQ(rows("select count(distinct metaref) from names;"), (rows_t{{"400"}}));
}

}  // namespace
