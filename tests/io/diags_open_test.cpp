#include "io/diags_open.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class diags_open_test : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::string(SELK_TEST_TMP) + "/diags_open_XXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
        options_.command_line = "selk -db x";
    }
    std::string dir_;
    cmd_params options_;
};

TEST_F(diags_open_test, opens_truncating_and_writes_the_command_line) {
    const std::string path = dir_ + "/a.log";
    {
        std::ofstream old(path);
        old << "stale\n";
    }
    EXPECT_EQ(open_diagnostics_log(options_, path), 1);
    EXPECT_TRUE(options_.diagnostics_on);
    EXPECT_EQ(options_.diagnostics_path, path);
    EXPECT_EQ(contents(path), "->selk -db x\n");
}

TEST_F(diags_open_test, second_log_closes_the_first) {
    const std::string first = dir_ + "/a.log", second = dir_ + "/b.log";
    ASSERT_EQ(open_diagnostics_log(options_, first), 1);
    *options_.diagnostics << "unflushed";
    ASSERT_EQ(open_diagnostics_log(options_, second), 1);
    // Closing flushed what was pending in the first log.
    EXPECT_EQ(contents(first), "->selk -db x\nunflushed");
    EXPECT_EQ(contents(second), "->selk -db x\n");
    // Reopening the same path passed by the option object's own member starts the file afresh.
    ASSERT_EQ(open_diagnostics_log(options_, options_.diagnostics_path), 1);
    EXPECT_EQ(contents(second), "->selk -db x\n");
}

TEST_F(diags_open_test, missing_folder_leaves_the_log_off) {
    ASSERT_EQ(open_diagnostics_log(options_, dir_ + "/a.log"), 1);
    EXPECT_EQ(open_diagnostics_log(options_, dir_ + "/no/such/dir/b.log"), 0);
    EXPECT_FALSE(options_.diagnostics_on);
    EXPECT_EQ(options_.diagnostics, nullptr);
    EXPECT_EQ(options_.diagnostics_path, "");
}

}  // namespace
