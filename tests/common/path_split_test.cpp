#include "common/path_split.h"

#include <gtest/gtest.h>

namespace {

struct narrow_case {
    const char* path;
    const char* folder;
    const char* name;
};

}  // namespace

TEST(SplitPath, narrow_cases) {
    const narrow_case cases[] = {
        {"a/b/c.txt", "a/b", "c.txt"},
        {"a\\b/c", "a", "b/c"},  // the backslash decides
        {"c.txt", ".", "c.txt"},
        {"/x", ".", "/x"},
        {"\\x", ".", "\\x"},
        {"\\x/y", ".", "\\x/y"},  // a backslash at 0 sends the path to the no-separator case
        {"a/b/", "a/b", ""},
        {"a/..", "a//..", "."},
        {"a\\..", "a\\..", "."},
        {"..", ".", ".."},
        {"a/b..", "a", "b.."},
        {"C:\\dir\\sub\\file.db", "C:\\dir\\sub", "file.db"},
    };
    for (const narrow_case& c : cases) {
        std::string folder = "stale", name = "stale";
        EXPECT_EQ(split_path(c.path, folder, name), 1) << c.path;
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(name, c.name) << c.path;

        std::string f2, n2;
        EXPECT_EQ(split_path_cstr(c.path, f2, n2), 1);
        EXPECT_EQ(f2, folder);
        EXPECT_EQ(n2, name);

        // The wide split gives the same parts for the same ASCII path.
        std::string p(c.path);
        std::wstring wf = L"stale", wn = L"stale";
        EXPECT_EQ(split_path_wide(std::wstring(p.begin(), p.end()), wf, wn), 1) << c.path;
        EXPECT_EQ(wf, std::wstring(folder.begin(), folder.end())) << c.path;
        EXPECT_EQ(wn, std::wstring(name.begin(), name.end())) << c.path;
    }
}

TEST(SplitPath, empty_and_null) {
    std::string folder = "f", name = "n";
    EXPECT_EQ(split_path("", folder, name), 0);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, "");
    folder = "f";
    EXPECT_EQ(split_path_cstr(nullptr, folder, name), 0);
    EXPECT_EQ(folder, "f");
    std::wstring wf = L"f", wn = L"n";
    EXPECT_EQ(split_path_wide(L"", wf, wn), 0);
    EXPECT_EQ(wf, L"f");  // the wide form leaves its outputs alone
    EXPECT_EQ(wn, L"n");
}

TEST(SplitPath, wide_non_ascii) {
    std::wstring folder, name;
    std::wstring path = {L'd', wchar_t(0xE9), L'/', wchar_t(0x1F600), L'.', L'x'};
    EXPECT_EQ(split_path_wide(path, folder, name), 1);
    EXPECT_EQ(folder, (std::wstring{L'd', wchar_t(0xE9)}));
    EXPECT_EQ(name, (std::wstring{wchar_t(0x1F600), L'.', L'x'}));
}

TEST(SplitPathExt, narrow_three_parts) {
    std::string folder, base, ext;
    EXPECT_EQ(split_path_ext("a/b/c.txt", folder, base, ext), 1);
    EXPECT_EQ(folder, "a/b");
    EXPECT_EQ(base, "c");
    EXPECT_EQ(ext, "txt");
    EXPECT_EQ(split_path_ext(".profile", folder, base, ext), 1);
    EXPECT_EQ(folder, ".");
    EXPECT_EQ(base, "");
    EXPECT_EQ(ext, "profile");
    EXPECT_EQ(split_path_ext("dir/file.", folder, base, ext), 1);
    EXPECT_EQ(base, "file");
    EXPECT_EQ(ext, "");
    EXPECT_EQ(split_path_ext("x/a.tar.gz", folder, base, ext), 1);
    EXPECT_EQ(base, "a.tar");
    EXPECT_EQ(ext, "gz");
    ext = "stale";
    EXPECT_EQ(split_path_ext("noext", folder, base, ext), 1);
    EXPECT_EQ(base, "noext");
    EXPECT_EQ(ext, "");
    EXPECT_EQ(split_path_ext("", folder, base, ext), 0);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(base, "");
    base = "b";
    EXPECT_EQ(split_path_ext(nullptr, folder, base, ext), 0);
    EXPECT_EQ(base, "");
}

TEST(SplitPathExt, wide_writes_extension_only_when_dot_present) {
    std::wstring folder, base, ext;
    EXPECT_EQ(split_path_ext_wide(L"a\\b\\c.txt", folder, base, ext), 1);
    EXPECT_EQ(folder, L"a\\b");
    EXPECT_EQ(base, L"c");
    EXPECT_EQ(ext, L"txt");
    EXPECT_EQ(split_path_ext_wide(L"a\\noext", folder, base, ext), 1);
    EXPECT_EQ(base, L"noext");
    EXPECT_EQ(ext, L"txt");  // left from the previous call, as the wide form specifies
    EXPECT_EQ(split_path_ext_wide(L".profile", folder, base, ext), 1);
    EXPECT_EQ(folder, L".");
    EXPECT_EQ(base, L"");
    EXPECT_EQ(ext, L"profile");
    base = L"b";
    folder = L"f";
    EXPECT_EQ(split_path_ext_wide(L"", folder, base, ext), 0);
    EXPECT_EQ(base, L"b");
    EXPECT_EQ(folder, L"f");
}
