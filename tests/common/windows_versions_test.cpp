#include "common/windows_versions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(WindowsBuildName, ranges_and_their_edges) {
    // Taken as 16 bits: 68,136 (65,536 + 2,600) reads as 2600.
    const struct {
        std::uint32_t build;
        const char* name;
    } cases[] = {{2600, "WinXP"},       {2601, "Win03"},      {3790, "Win03"},   {3791, "Vista"},
                 {6002, "Vista"},       {6003, "Win7"},       {7601, "Win7"},    {7602, "Win8"},
                 {9600, "Win8"},        {9601, "Win10"},      {19045, "Win10"},  {19046, "post Win10"},
                 {22000, "post Win10"}, {2599, "post Win10"}, {0, "post Win10"}, {68136, "WinXP"}};
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(windows_build_name(out, c.build), c.name) << c.build;
    }
}

TEST(WindowsBuildClass, ranges_and_their_edges) {
    const struct {
        std::uint32_t build;
        std::uint32_t code;
    } cases[] = {{2600, 256},  {2601, 260},  {3790, 260},    {3791, 4096},   {6002, 4096},   {6003, 4112},
                 {7601, 4112}, {7602, 4128}, {9600, 4128},   {9601, 4144},   {19044, 4144},  {19045, 1},
                 {2599, 1},    {21999, 1},   {22000, 22000}, {22621, 22000}, {100000, 22000}};
    for (const auto& c : cases) EXPECT_EQ(windows_build_class(c.build), c.code) << c.build;
}

TEST(WindowsVersionName, table_with_server_and_ambiguous_flags) {
    const struct {
        std::uint32_t platform, major, minor;
        bool server, amb_a, amb_b;
        std::uint32_t build;
        const char* name;
        std::uint32_t code;
    } cases[] = {
        {1, 6, 1, true, true, true, 7601, "Win9x", 2},
        {0, 5, 1, false, false, false, 0, "Win9x", 2},
        {2, 4, 9, true, true, false, 0, "NT4", 16},
        {2, 5, 0, false, false, false, 0, "Win2k", 17},
        {2, 5, 1, false, false, false, 0, "WinXP", 256},
        {2, 5, 1, true, false, false, 0, "WinXP", 257},
        {2, 5, 1, true, false, true, 0, "WinXP", 258},
        {2, 5, 2, true, true, false, 0, "Win03 or WinXP64", 262},
        {2, 5, 3, false, false, false, 0, "<unk>", 1},
        {2, 6, 0, false, false, false, 0, "Vista", 4096},
        {2, 6, 0, true, false, false, 0, "Vista", 4097},
        {2, 6, 0, true, false, true, 0, "Vista or Win2008", 4098},
        {2, 6, 0, false, false, false, 6001, "Vista", 4100},
        {2, 6, 0, true, false, false, 6001, "Vista", 4103},
        {2, 6, 0, true, true, false, 6001, "Vista or Win2008", 4104},
        {2, 6, 0, false, false, false, 6002, "Vista", 4099},
        {2, 6, 0, true, false, false, 7601, "Vista", 4101},
        {2, 6, 0, true, true, true, 6000, "Vista or Win2008", 4102},
        {2, 6, 1, false, false, false, 7601, "Win7", 4116},
        {2, 6, 1, true, false, false, 7601, "Win7", 4119},
        {2, 6, 1, true, true, false, 7601, "Win7 or Win2008/R2", 4120},
        {2, 6, 1, false, false, false, 7600, "Win7", 4115},
        {2, 6, 1, true, false, false, 7600, "Win7", 4117},
        {2, 6, 1, true, false, true, 7600, "Win7 or Win2008/R2", 4118},
        {2, 6, 1, true, false, false, 0, "Win7", 4113},
        {2, 6, 2, true, true, false, 9200, "Win8 or Win2012/R1", 4130},
        {2, 6, 3, true, false, false, 0, "Win8.1", 4137},
        {2, 6, 3, true, false, true, 0, "Win8.1 or Win2012/R2", 4138},
        {2, 6, 4, true, false, true, 0, "<unk>", 1},
        {2, 10, 0, false, false, false, 0, "Win10", 4144},
        {2, 10, 0, true, true, true, 0, "Win10 or Win2016", 4146},
        {2, 10, 1, true, true, true, 0, "Post Win10", 22000},
        {2, 3, 51, false, false, false, 0, "<unk>", 1},
        {2, 7, 0, false, false, false, 0, "<unk>", 1},
        {2, 11, 0, false, false, false, 0, "<unk>", 1},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(
            windows_version_name(out, c.platform, c.major, c.minor, c.server, c.amb_a, c.amb_b, c.build),
            c.code)
            << c.major << "." << c.minor << " build " << c.build;
        EXPECT_EQ(out, c.name) << c.major << "." << c.minor << " build " << c.build;
    }
}

TEST(WindowsVersionName, simple_form_names_both_when_server) {
    std::string out;
    EXPECT_EQ(windows_version_name_simple(out, 2, 6, 1, true), 4114u);
    EXPECT_EQ(out, "Win7 or Win2008/R2");
    EXPECT_EQ(windows_version_name_simple(out, 2, 6, 1, false), 4112u);
    EXPECT_EQ(out, "Win7");
}

TEST(WriteSystemInfo, labelled_lines_node_name_only_when_known) {
    os_version_info info;
    info.name = "Linux";
    info.node_name = "host1";
    info.version = "#1 SMP";
    info.release = "6.1.0";
    info.is_64bit = true;
    std::ostringstream os;
    write_system_info(info, os);
    EXPECT_EQ(os.str(),
              "os       : Linux\nnodename : host1\nversion  : #1 SMP\nbuild    : 6.1.0\nmachine  : 64 bit\n");
    info.node_name.clear();
    info.is_64bit = false;
    std::ostringstream no_node;
    write_system_info(info, no_node);
    EXPECT_EQ(no_node.str(), "os       : Linux\nversion  : #1 SMP\nbuild    : 6.1.0\nmachine  : 32 bit\n");
}

TEST(WriteSystemInfo, facts_of_this_host) {
    os_version_info info;
    ASSERT_EQ(get_os_version_info(info, "/usr/bin/selk"), 1);
    std::ostringstream os;
    write_system_info(info, os);
    EXPECT_EQ(os.str().rfind("os       : " + info.name + "\n", 0), 0u);
    EXPECT_NE(os.str().find("build    : " + info.release + "\n"), std::string::npos);
}

TEST(StripLongPathPrefixWide, prefixes_drive_and_shadow_forms) {
    const std::wstring shadow = L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\x";  // 49 characters
    const std::wstring other47 = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}";     // 48
    const struct {
        std::wstring in;
        bool keep_drive, shadow;
        std::wstring out;
    } cases[] = {
        {L"\\\\?\\C:\\dir", true, false, L"\\\\?\\C:\\dir"},
        {L"\\\\?\\C:\\dir", false, false, L"\\C:\\dir"},
        {L"\\\\?\\UNC\\srv", true, false, L"\\UNC\\srv"},
        {L"\\\\?\\C", true, false, L"\\C"},
        {L"\\\\?\\C:", true, false, L"\\\\?\\C:"},
        {shadow, false, true, shadow.substr(3)},
        {other47, false, true, other47},
        {L"\\\\?\\short", false, true, L"\\short"},
        {L"\\\\.\\C:\\dir", true, false, L"\\\\.\\C:\\dir"},
        {L"\\\\.\\PhysicalDrive0", true, true, L"\\PhysicalDrive0"},
        {L"x\\\\.\\C:", false, false, L"x\\C:"},
        {L"C:\\plain", true, true, L"C:\\plain"},
        {L"", false, false, L""},
    };
    for (const auto& c : cases) {
        std::wstring path = c.in;
        strip_long_path_prefix_wide(path, c.keep_drive, c.shadow);
        EXPECT_EQ(path, c.out);
    }
}

}  // namespace
