#include "common/host_facts.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <sstream>
#include <string>

namespace {

TEST(HostFacts, this_host_reads_as_linux_with_a_version) {
    os_version_info info;
    ASSERT_EQ(get_os_version_info(info, "/usr/local/bin/tool_x86"), 1);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.name, "Linux");
    EXPECT_FALSE(info.version.empty());
    EXPECT_FALSE(info.release.empty());
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    EXPECT_EQ(info.release, u.release);
    EXPECT_EQ(info.node_name, u.nodename);
    EXPECT_EQ(info.is_64bit, std::string(u.machine).find("64") != std::string::npos);
    EXPECT_EQ(info.program_path, "/usr/local/bin/tool_x86");
    EXPECT_EQ(info.program_name, "tool");
    // The test program lives in the build tree, on a local disk of this machine.
    EXPECT_FALSE(info.on_nonlocal_volume);
    EXPECT_FALSE(info.short_release);
    EXPECT_EQ(info.file_id, 0u);

    ASSERT_EQ(get_os_version_info(info, "/usr/local/bin/tool"), 1);
    EXPECT_EQ(info.program_name, "");
    ASSERT_EQ(get_os_version_info(info, "tool_x86"), 1);  // no '/': no program name
    EXPECT_EQ(info.program_name, "");
    ASSERT_EQ(get_os_version_info(info, "/opt/a_b/selk_tool_2"), 1);  // only the file name counts
    EXPECT_EQ(info.program_name, "selk");
}

TEST(HostFacts, executable_path_names_the_test_binary) {
    const std::string path = get_executable_path();
    const std::string tail = "/common_host_facts_test";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    const std::wstring wide = get_executable_path_wide();
    EXPECT_EQ(wide, std::wstring(path.begin(), path.end()));
}

TEST(HostFacts, host_name_matches_the_system) {
    char buf[256] = {};
    ASSERT_EQ(gethostname(buf, sizeof(buf) - 1), 0);
    EXPECT_EQ(get_host_name(), std::string(buf));
    EXPECT_NE(get_host_name(), "<unk>");
}

TEST(HostFacts, writer_escapes_the_separator_inside_fields) {
    os_version_info info;
    info.name = "Linux";
    info.node_name = "box;1";
    info.version = "#1 SMP; build";
    info.release = "6.1.0";
    info.is_64bit = true;
    std::ostringstream out;
    write_os_version_info(info, out, ";", "_", false, false);
    EXPECT_EQ(out.str(), "Linux;#1 SMP_ build;6.1.0;64");

    std::ostringstream with_all;
    info.program_path = "/Usr/Bin/Selk";
    info.file_id = 0xABC;
    info.is_64bit = false;
    write_os_version_info(info, with_all, ";", "_", true, true);
    EXPECT_EQ(with_all.str(), "Linux;box_1;#1 SMP_ build;6.1.0;32;/usr/bin/selk;abc");
    with_all << 255;
    EXPECT_EQ(with_all.str().substr(with_all.str().size() - 2), "ff");  // left in hex mode

    std::ostringstream no_path;
    info.program_path.clear();
    info.file_id = 0;
    write_os_version_info(info, no_path, "|", "/", false, true);
    EXPECT_EQ(no_path.str(), "Linux|#1 SMP; build|6.1.0|32");
}

TEST(HostFacts, short_release_cuts_after_one_character_past_the_last_dot) {
    os_version_info info;
    info.short_release = true;
    for (const auto& c : {std::pair<std::string, std::string>{"10.15", "10.1"},
                          {"23.1.0", "23.1.0"},
                          {"6.1.0-13-amd64", "6.1.0"},
                          {"5", "5"},
                          {"5.", "5."}}) {
        info.release = c.first;
        std::ostringstream out;
        write_os_version_info(info, out, ",", ".", false, false);
        EXPECT_EQ(out.str(), ",," + c.second + ",32") << c.first;
    }
}

TEST(HostFacts, windows_version_codes) {
    std::string t = "Win8.1 Pro";
    EXPECT_EQ(windows_version_code(t), 4136);
    EXPECT_EQ(t, "win8.1 pro");
    const std::pair<const char*, int> cases[] = {
        {"WIN10", 4144}, {"win8", 4128}, {"Win7 SP1", 4112}, {"Vista", 4096},    {"win03", 260},
        {"WinXP", 256},  {"win2k", 17},  {"NT4", 16},        {"Server 2003", 1}, {"", 1}};
    for (const auto& c : cases) {
        std::string text = c.first;
        EXPECT_EQ(windows_version_code(text), c.second) << c.first;
    }
}

TEST(HostFacts, clear_empties_everything) {
    os_version_info info;
    ASSERT_EQ(get_os_version_info(info, "/x/y_z"), 1);
    info.note = "n";
    info.file_id = 3;
    info.short_release = true;
    info.clear();
    EXPECT_FALSE(info.valid || info.is_64bit || info.short_release || info.on_nonlocal_volume ||
                 info.on_removable_media);
    EXPECT_TRUE(info.name.empty() && info.version.empty() && info.release.empty() && info.node_name.empty() &&
                info.program_path.empty() && info.program_name.empty() && info.note.empty());
    EXPECT_EQ(info.file_id, 0u);
    EXPECT_FALSE(is_exe_on_nonlocal_volume());
}

}  // namespace
