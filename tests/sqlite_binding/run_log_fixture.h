// A run-log database written by the data writer, for the export and reader tests: two generic runs
// (two and three lines) and one run of a named data table "events".
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite_binding/data_log.h"

class RunLogDb : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/run_log_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir_ = templ;
        path_ = dir_ + "/run.db";
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }

    // Writes the runs; runs_ receives the generic runs' keys in order.
    void write_runs() {
        {
            sqlite_data_log log;
            sqlite_metadata_row row;
            row.toolname = "selk";
            row.file = "/evidence/wpn database.db";
            row.artifact_type = "notif rows";
            row.col_hdrs = "date|text";
            row.notes = "0123456789abc";
            ASSERT_TRUE(log.open(0, path_, row, "", true));
            for (int run = 0; run < 2; ++run) {
                ASSERT_TRUE(log.commit_run(false));
                runs_.push_back(log.run_id);
                for (int i = 0; i <= run + 1 && i < 3; ++i) {
                    log.add_data_row("run " + std::to_string(run) + " line " + std::to_string(i), 1, 2, "s1",
                                     "s2", 3, 4, 5);
                }
                ASSERT_TRUE(log.flush_data_rows());
            }
        }
        sqlite_data_log log;
        sqlite_metadata_row row;
        row.toolname = "selk";
        row.artifact_type = "events";
        row.data_tbl_name = "events";
        row.col_hdrs = "date|desc";
        row.notes = "0123456789";
        row.file = "out.txt";
        ASSERT_TRUE(log.open(0, path_, row, "", false));
        ASSERT_TRUE(log.commit_run(false));
        log.add_data_row(std::string("2020|first"), 0, 0, "", "", 0, 0, 0);
        ASSERT_TRUE(log.flush_data_rows());
    }

    void exec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        char* err = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
        sqlite3_free(err);
        sqlite3_close(db);
    }

    // File name -> contents of every file in a folder.
    static std::map<std::string, std::string> files_in(const std::string& folder) {
        std::map<std::string, std::string> out;
        DIR* d = opendir(folder.c_str());
        if (d == nullptr) return out;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            out[name] = read(folder + "/" + name);
        }
        closedir(d);
        return out;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
    std::string path_;
    std::vector<std::uint64_t> runs_;
};
