#include "io/path_target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "io/fileio_test_support.h"

namespace {

TEST(PathTarget, is_the_file_an_open_would_reach) {
    fileio_test::temp_folder tmp("path_target");
    ASSERT_TRUE(tmp.ok());
    char real[PATH_MAX];
    ASSERT_NE(realpath(tmp.path().c_str(), real), nullptr);
    const std::string dir = real;
    const auto at = [&dir](const std::string& name) { return dir + "/" + name; };
    ASSERT_TRUE(fileio_test::write_file(at("f.db"), "x"));
    ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("f.db", at("link").c_str()), 0);
    ASSERT_EQ(symlink("link", at("chain").c_str()), 0);
    ASSERT_EQ(symlink("f.db-journal", at("dangling").c_str()), 0);
    ASSERT_EQ(symlink("sub/..", at("up").c_str()), 0);
    // (spelling, target)
    const std::vector<std::pair<std::string, std::string>> cases = {
        {at("f.db"), at("f.db")},
        {at("f.db") + "/", at("f.db")},
        {at("f.db") + "\\", at("f.db")},
        {at("f.db") + "//\\", at("f.db")},
        {dir + "/./f.db", at("f.db")},
        {dir + "/sub/../f.db", at("f.db")},
        {dir + "/missing/../f.db", at("f.db")},
        {dir + "/up/f.db-wal", at("f.db-wal")},
        {at("link"), at("f.db")},
        {at("chain"), at("f.db")},
        {at("dangling"), at("f.db-journal")},
        {at("sub"), at("sub")},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(path_target(c.first), c.second) << c.first;

    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof(saved)), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    const std::string relative = path_target("sub/../dangling");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(relative, at("f.db-journal"));
}

}  // namespace
