#include "platform/exe_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExePath, names_this_test_program) {
    std::vector<char> buf(4096, 'z');
    std::uint32_t size = static_cast<std::uint32_t>(buf.size());
    ASSERT_EQ(platform_executable_path(buf.data(), &size), 0);
    const std::string path(buf.data());
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], '/');
    const std::string tail = "platform_exe_path_test";
    ASSERT_GE(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
}

TEST(ExePath, small_buffer_reports_the_size_needed_and_writes_nothing_past_it) {
    std::vector<char> full(4096);
    std::uint32_t full_size = static_cast<std::uint32_t>(full.size());
    ASSERT_EQ(platform_executable_path(full.data(), &full_size), 0);
    const std::size_t needed = std::string(full.data()).size() + 1;

    std::vector<char> small(needed + 4, 'z');
    std::uint32_t size = static_cast<std::uint32_t>(needed - 1);
    EXPECT_EQ(platform_executable_path(small.data(), &size), -1);
    EXPECT_EQ(size, needed);
    for (char c : small) EXPECT_EQ(c, 'z');

    size = static_cast<std::uint32_t>(needed);
    EXPECT_EQ(platform_executable_path(small.data(), &size), 0);
    EXPECT_EQ(std::string(small.data()), std::string(full.data()));
    EXPECT_EQ(small[needed], 'z');
}

TEST(ExePath, null_arguments_fail) {
    std::uint32_t size = 10;
    char c = 0;
    EXPECT_EQ(platform_executable_path(nullptr, &size), -1);
    EXPECT_EQ(platform_executable_path(&c, nullptr), -1);
}

}  // namespace
