#include "io/path_prefixes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(path_prefixes, shadow_copy_prefix_forms) {
    EXPECT_EQ(shadow_copy_prefix(true, true), "\\\\?\\globalroot\\device\\harddiskvolumeshadowcopy");
    EXPECT_EQ(shadow_copy_prefix(false, true), "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy");
    EXPECT_EQ(shadow_copy_prefix(false, false), "\\Device\\HarddiskVolumeShadowCopy");
    EXPECT_EQ(shadow_copy_prefix(true, false), "\\device\\harddiskvolumeshadowcopy");
}

TEST(path_prefixes, long_prefix_keeps_drive_form_only_when_asked) {
    std::string p = "\\\\?\\C:\\dir";
    strip_long_path_prefix(p, true, false);
    EXPECT_EQ(p, "\\\\?\\C:\\dir");
    strip_long_path_prefix(p, false, false);
    EXPECT_EQ(p, "\\C:\\dir");
    std::string unc = "\\\\?\\UNC\\host\\share";
    strip_long_path_prefix(unc, true, false);
    EXPECT_EQ(unc, "\\UNC\\host\\share");
}

TEST(path_prefixes, shadow_copy_form_strips_only_global_paths) {
    const std::string shadow = shadow_copy_prefix(false, true) + "1\\Windows";
    ASSERT_GE(shadow.size(), 47u);
    std::string p = shadow;
    strip_long_path_prefix(p, false, true);
    EXPECT_EQ(p, shadow.substr(3));
    std::string other = "\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x";
    ASSERT_GE(other.size(), 47u);
    const std::string before = other;
    strip_long_path_prefix(other, false, true);
    EXPECT_EQ(other, before);
    // Short paths are not judged by their "global" part.
    std::string short_path = "\\\\?\\C:\\x";
    strip_long_path_prefix(short_path, false, true);
    EXPECT_EQ(short_path, "\\C:\\x");
}

TEST(path_prefixes, device_prefix_and_plain_paths) {
    std::string dev = "\\\\.\\C:";
    strip_long_path_prefix(dev, true, false);
    EXPECT_EQ(dev, "\\\\.\\C:");
    strip_long_path_prefix(dev, false, false);
    EXPECT_EQ(dev, "\\C:");
    std::string pipe = "\\\\.\\pipe\\x";
    strip_long_path_prefix(pipe, true, false);
    EXPECT_EQ(pipe, "\\pipe\\x");
    std::string plain = "C:\\Windows";
    strip_long_path_prefix(plain, false, false);
    EXPECT_EQ(plain, "C:\\Windows");
    std::string tiny = "\\\\?\\";
    strip_long_path_prefix(tiny, true, true);
    EXPECT_EQ(tiny, "\\");
}

}  // namespace

namespace {

TEST(path_prefixes, normalize_service_command_lines) {
    std::string out;
    EXPECT_EQ(normalize_windows_path("%SystemRoot%\\system32\\svchost.exe -k netsvcs", out, "C:\\Windows"),
              1);
    EXPECT_EQ(out, "c:\\windows\\system32\\svchost.exe");
    EXPECT_EQ(normalize_windows_path("C:\\Prog\\App.exe /Service", out, "C:\\Windows"), 1);
    EXPECT_EQ(out, "c:\\prog\\app.exe");
    EXPECT_EQ(normalize_windows_path("\\SystemRoot\\System32\\drivers\\a.sys", out, "C:\\Windows"), 1);
    EXPECT_EQ(out, "c:\\windows\\system32\\drivers\\a.sys");
}

TEST(path_prefixes, normalize_relative_system32_keeps_the_folder_case) {
    std::string out;
    EXPECT_EQ(normalize_windows_path("System32\\drivers\\x.sys", out, "C:\\Windows"), 1);
    EXPECT_EQ(out, "C:\\Windows\\system32\\drivers\\x.sys");
}

TEST(path_prefixes, normalize_object_and_shadow_prefixes) {
    std::string out;
    EXPECT_EQ(normalize_windows_path("\\??\\C:\\Temp\\a.exe", out, "C:\\Windows"), 1);
    EXPECT_EQ(out, "c:\\temp\\a.exe");
    EXPECT_EQ(normalize_windows_path("%VSS%1\\x", out, "C:\\Windows"), 1);
    // The inserted "\\?\" prefix loses its "\?\" part in the next step, as a long-path prefix does.
    EXPECT_EQ(out, "\\globalroot\\device\\harddiskvolumeshadowcopy1\\x");
    out = "stale";
    EXPECT_EQ(normalize_windows_path(nullptr, out, "C:\\Windows"), 0);
    EXPECT_TRUE(out.empty());
}

}  // namespace
