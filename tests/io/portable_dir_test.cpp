#include "io/portable_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "io/cmd_params.h"
#include "io/filename_filter.h"
#include "platform/path_text.h"
#include "portable_dir_test_support.h"

namespace {

using pdir_test::raw_listing;
using pdir_test::temp_tree;

std::set<std::string> paths_of(const std::vector<qmportdir::subdir_node>& v) {
    std::set<std::string> out;
    for (const auto& e : v) out.insert(e.path);
    return out;
}

template <class T>
std::set<T> as_set(const std::vector<T>& v) {
    return std::set<T>(v.begin(), v.end());
}

TEST(FolderListing, read_folder_entries_levels_separators_and_links) {
    temp_tree t("pd_read");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.dir("a") && t.dir("b") && t.file("f") && t.link(".", "self"));
    std::vector<qmportdir::subdir_node> out;
    ASSERT_TRUE(read_folder_entries(t.root() + "/", out, 3, false, true));
    ASSERT_EQ(out.size(), 4u);
    for (const auto& e : out) {
        if (e.path == t.at("a/") || e.path == t.at("b/")) {
            EXPECT_TRUE(e.is_dir);
            EXPECT_TRUE(e.name.empty());
            EXPECT_EQ(e.level, 4);
        } else {
            // The link to the folder itself is a file entry: walks never enter it.
            EXPECT_TRUE(e.path == t.at("f") || e.path == t.at("self")) << e.path;
            EXPECT_FALSE(e.is_dir);
            EXPECT_EQ(e.path, t.root() + "/" + e.name);
            EXPECT_EQ(e.level, 3);
        }
        EXPECT_FALSE(e.long_path);
    }
    // Order is readdir's own.
    std::vector<std::string> names;
    for (const auto& e : raw_listing(t.root()))
        names.push_back(t.root() + "/" + e.name + (e.is_dir ? "/" : ""));
    std::vector<std::string> got;
    for (const auto& e : out) got.push_back(e.path);
    EXPECT_EQ(got, names);

    std::vector<qmportdir::subdir_node> dirs = {qmportdir::subdir_node("kept", "", false, 0)};
    ASSERT_TRUE(read_folder_entries(t.root() + "/", dirs, 0, true, false));
    EXPECT_EQ(paths_of(dirs), (std::set<std::string>{"kept", t.root() + "/a\\", t.root() + "/b\\"}));

    std::vector<qmportdir::subdir_node> none;
    EXPECT_FALSE(read_folder_entries(t.at("missing/"), none, 0, false, true));
    EXPECT_TRUE(none.empty());
    ASSERT_TRUE(t.dir("empty"));
    EXPECT_FALSE(read_folder_entries(t.at("empty/"), none, 0, false, true));
}

TEST(FolderListing, node_flags) {
    EXPECT_TRUE(qmportdir::subdir_node("\\\\?\\C", "", false, 0).long_path);
    EXPECT_FALSE(qmportdir::subdir_node("\\\\?\\", "", false, 0).long_path);
    EXPECT_FALSE(qmportdir::subdir_node("\\\\.\\C:", "", false, 0).long_path);
    const qmportdir::subdir_node_utf16 shortish(L"\\\\.\\GLOBALROOT\\x", L"", false, 0);
    EXPECT_TRUE(shortish.long_path);
    EXPECT_FALSE(shortish.globalroot);  // not longer than 46 characters
    const std::wstring g = L"\\\\?\\GlobalRoot\\Device\\HarddiskVolumeShadowCopy12\\";
    ASSERT_GT(g.size(), 46u);
    const qmportdir::subdir_node_utf16 global(g, L"", true, 1);
    EXPECT_TRUE(global.long_path);
    EXPECT_TRUE(global.globalroot);
    EXPECT_FALSE(qmportdir::subdir_node_utf16(L"/x/\\\\", L"", false, 0).long_path);

    const qmportdir::subdir_node narrow("\\\\?\\dir\\\xFF", "\xFF", false, 7);
    ASSERT_TRUE(narrow.long_path);
    const qmportdir::subdir_node_utf16 wide = qmportdir::subdir_node_to_utf16(narrow);
    EXPECT_FALSE(wide.long_path);
    EXPECT_FALSE(wide.globalroot);
    EXPECT_EQ(wide.level, 7);
    EXPECT_EQ(wide.name, std::wstring(L"\xDCFF"));
    EXPECT_EQ(wide_to_path(wide.path), narrow.path);
}

TEST(FolderListing, pattern_keeps_folders_and_matching_files_ignoring_case) {
    temp_tree t("pd_pattern");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("x.db") && t.file("Y.DB") && t.file("x.dbx") && t.file("abc.txt") &&
                t.file("abcd.txt") && t.file("noext") && t.file("a*.db") && t.dir("sub.d"));
    std::vector<qmportdir::subdir_node> out;
    list_folder(t.root(), "*.db", out);
    EXPECT_EQ(paths_of(out),
              (std::set<std::string>{t.at("x.db"), t.at("Y.DB"), t.at("a*.db"), t.at("sub.d/")}));
    list_folder(t.root(), "ABC.*", out);
    EXPECT_EQ(paths_of(out), (std::set<std::string>{t.at("abc.txt"), t.at("sub.d/")}));
    list_folder(t.root(), "", out);  // every entry
    EXPECT_EQ(out.size(), 8u);
    list_folder(t.root(), "noext", out);  // no '.': the extension is free
    EXPECT_EQ(paths_of(out), (std::set<std::string>{t.at("noext"), t.at("sub.d/")}));
    list_folder(t.root(), "a*.db", out);  // a '*' inside a name is a plain character
    EXPECT_EQ(paths_of(out), (std::set<std::string>{t.at("a*.db"), t.at("sub.d/")}));
    list_folder("", "*.*", out);
    EXPECT_TRUE(out.empty());

    std::vector<std::string> files = {"stale"};
    list_files(t.root(), files);
    EXPECT_EQ(files.size(), 7u);
    EXPECT_EQ(std::count(files.begin(), files.end(), t.at("sub.d/")), 0);
    std::vector<std::string> subs = {"kept"};
    list_subfolders(t.root(), subs);
    EXPECT_EQ(subs, (std::vector<std::string>{"kept", t.at("sub.d/")}));
    std::vector<std::string> both;
    list_folder_paths(t.root(), "*.db", both, false);
    EXPECT_EQ(both.size(), 3u);
    std::vector<std::string> cstr;
    list_folder_paths_cstr(t.root().c_str(), "*.db", cstr);
    EXPECT_EQ(cstr.size(), 4u);
    cstr.clear();
    list_folder_paths_cstr(t.root().c_str(), cstr);
    EXPECT_EQ(cstr.size(), 8u);
    list_folder_paths_cstr(nullptr, cstr);
    EXPECT_EQ(cstr.size(), 8u);
}

TEST(FolderListing, folder_wildcards_reach_every_subfolder_that_has_the_rest) {
    temp_tree t("pd_wild");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.dir("base") && t.dir("base/u1") && t.dir("base/u1/logs") && t.file("base/u1/logs/l1.txt") &&
                t.dir("base/u2") && t.dir("base/u3") && t.dir("base/u3/logs") &&
                t.file("base/u3/logs/l3.txt") && t.file("base/u2/not_logs.txt"));
    std::vector<qmportdir::subdir_node> out;
    list_folder(t.at("base/*/logs/"), "*.*", out);
    EXPECT_EQ(paths_of(out),
              (std::set<std::string>{t.at("base/u1/logs/l1.txt"), t.at("base/u3/logs/l3.txt")}));

    std::vector<std::string> expanded;
    ASSERT_TRUE(expand_folder_pattern(t.at("base/*/logs/").c_str(), expanded));
    std::set<std::string> live;
    for (const auto& p : expanded) {
        if (!p.empty()) live.insert(p);
    }
    EXPECT_EQ(live,
              (std::set<std::string>{t.at("base/u1/logs/"), t.at("base/u2/logs/"), t.at("base/u3/logs/")}));
    EXPECT_FALSE(expand_folder_pattern(nullptr, expanded));

    std::vector<std::string> one = {t.at("base/*/")};
    EXPECT_TRUE(expand_folder_wildcards(one, true));
    EXPECT_EQ(as_set(one), (std::set<std::string>{t.at("base/u1/"), t.at("base/u2/"), t.at("base/u3/")}));
    EXPECT_FALSE(expand_folder_wildcards(one, true));
    std::vector<std::string> gone = {t.at("base/u2/*/x")};
    EXPECT_TRUE(expand_folder_wildcards(gone, true));
    EXPECT_EQ(gone, std::vector<std::string>{""});

    std::ostringstream printed;
    ASSERT_TRUE(print_folder_pattern(t.at("base/*/").c_str(), printed));
    const std::string lines = printed.str();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3);

    std::vector<std::wstring> wide;
    ASSERT_TRUE(expand_folder_pattern_wide(path_to_wide(t.at("base/*/logs/")), wide));
    EXPECT_EQ(wide.size(), 3u);
}

TEST(FolderListing, a_folder_named_star_does_not_expand_forever) {
    temp_tree t("pd_star");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.dir("base") && t.dir("base/*") && t.file("base/*/in_star") && t.dir("base/u") &&
                t.file("base/u/in_u"));
    std::vector<qmportdir::subdir_node> out;
    list_folder(t.at("base/*/"), "*.*", out);  // returns: the expansion passes are capped
    EXPECT_EQ(paths_of(out).count(t.at("base/u/in_u")), 1u);
    std::vector<std::string> expanded;
    ASSERT_TRUE(expand_folder_pattern(t.at("base/*/").c_str(), expanded));
    EXPECT_EQ(expanded.size(), 2u);

    // A walk lists the folder "*" it finds by its own name.
    std::vector<std::string> files;
    collect_files(files, t.at("base"), "*.*", 3);
    EXPECT_EQ(as_set(files), (std::set<std::string>{t.at("base/*/in_star"), t.at("base/u/in_u")}));
}

TEST(FolderListing, a_bare_folder_name_is_listed_relative_to_the_current_folder) {
    temp_tree t("pd_bare");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.dir("evidence") && t.file("evidence/n.db") && t.file("here.db"));
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(t.root().c_str()), 0);
    std::vector<qmportdir::subdir_node> out;
    list_folder("evidence", "*.*", out);
    std::map<std::string, std::string> found;
    const bool any = find_matching_files("here.db", found);
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(paths_of(out), (std::set<std::string>{"evidence/n.db"}));
    EXPECT_TRUE(any);
    EXPECT_EQ(found, (std::map<std::string, std::string>{{"./here.db", "here.db"}}));
}

TEST(FolderWalk, collect_files_by_depth) {
    temp_tree t("pd_collect");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("top.db") && t.file("top.txt") && t.dir("s") && t.file("s/mid.db") && t.dir("s/d") &&
                t.file("s/d/low.db") && t.link("..", "s/up"));
    std::vector<std::string> out;
    collect_files(out, t.root(), "*.*", 0);
    EXPECT_TRUE(out.empty());
    collect_files(out, t.root(), "*.*", 1);
    EXPECT_EQ(as_set(out), (std::set<std::string>{t.at("top.db"), t.at("top.txt")}));
    out.clear();
    collect_files(out, t.root(), "*.*", 2);
    EXPECT_EQ(as_set(out),
              (std::set<std::string>{t.at("top.db"), t.at("top.txt"), t.at("s/mid.db"), t.at("s/up")}));
    out.clear();
    collect_files(out, t.root(), "*.db", 50);
    EXPECT_EQ(as_set(out), (std::set<std::string>{t.at("top.db"), t.at("s/mid.db"), t.at("s/d/low.db")}));
    std::vector<std::wstring> wide;
    collect_files_wide(path_to_wide(t.root()), L"*.DB", wide, 50);
    EXPECT_EQ(wide.size(), 3u);
}

struct seen_entry {
    std::wstring path;
    bool is_folder;
};

void record(const std::wstring& path, bool is_folder, void* context, cmd_params*) {
    static_cast<std::vector<seen_entry>*>(context)->push_back({path, is_folder});
}

TEST(FolderWalk, callback_walk_filters_files_and_folders_but_lists_every_folder) {
    temp_tree t("pd_callback");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("a.db") && t.file("b.txt") && t.dir("s") && t.file("s/c.db") && t.file("s/\xFF.db"));
    std::vector<seen_entry> seen;
    walk_folder_with_callback(path_to_wide(t.root()), {}, record, &seen, nullptr, 2);
    std::set<std::string> files, folders;
    for (const auto& e : seen) (e.is_folder ? folders : files).insert(wide_to_path(e.path));
    EXPECT_EQ(folders, (std::set<std::string>{t.root(), t.at("s/")}));
    EXPECT_EQ(files, (std::set<std::string>{t.at("a.db"), t.at("b.txt"), t.at("s/c.db"), t.at("s/\xFF.db")}));
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen.front().is_folder);  // a folder is reported before its entries

    std::vector<filename_filter> db;
    std::string text = "*.db";
    ASSERT_TRUE(build_filename_filters(db, text));
    seen.clear();
    cmd_params options;
    walk_folder_with_callback(path_to_wide(t.root()), db, record, &seen, &options, 2);
    files.clear();
    for (const auto& e : seen) {
        EXPECT_FALSE(e.is_folder);  // folder paths fail "*.db" but are still listed
        files.insert(wide_to_path(e.path));
    }
    EXPECT_EQ(files, (std::set<std::string>{t.at("a.db"), t.at("s/c.db"), t.at("s/\xFF.db")}));

    seen.clear();
    walk_folder_with_callback(L"", {}, record, &seen, nullptr, 2);
    walk_folder_with_callback(path_to_wide(t.root()), {}, record, &seen, nullptr, 0);
    EXPECT_TRUE(seen.empty());
}

TEST(FolderWalk, fronts_expand_environment_names_in_the_folder) {
    temp_tree t("pd_env");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.dir("in\xFF") && t.file("in\xFF/f.db"));
    ASSERT_EQ(setenv("PD_WALK_ROOT", t.root().c_str(), 1), 0);
    std::vector<seen_entry> seen;
    walk_folder_with_callback_utf8("%PD_WALK_ROOT%/in\xFF", {}, record, &seen, nullptr, 1);
    std::set<std::string> files;
    for (const auto& e : seen) {
        if (!e.is_folder) files.insert(wide_to_path(e.path));
    }
    EXPECT_EQ(files, std::set<std::string>{t.at("in\xFF/f.db")});
    seen.clear();
    walk_folder_with_callback_expanded(path_to_wide("%PD_WALK_ROOT%/in\xFF"), {}, record, &seen, nullptr, 1);
    files.clear();
    for (const auto& e : seen) {
        if (!e.is_folder) files.insert(wide_to_path(e.path));
    }
    EXPECT_EQ(files, std::set<std::string>{t.at("in\xFF/f.db")});
    seen.clear();
    walk_folder_with_callback_utf8("%PD_WALK_UNSET_NAME%/x", {}, record, &seen, nullptr, 1);
    for (const auto& e : seen) EXPECT_TRUE(e.is_folder);  // the unexpanded name lists nothing
    unsetenv("PD_WALK_ROOT");
}

TEST(FolderWalk, wide_listing_keeps_odd_bytes) {
    temp_tree t("pd_wide");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("\xFF\xFE.db") && t.dir("d\xFF"));
    std::vector<qmportdir::subdir_node_utf16> out = {qmportdir::subdir_node_utf16(L"kept", L"", false, 0)};
    list_folder_wide(path_to_wide(t.root()), L"*.*", out);
    ASSERT_EQ(out.size(), 3u);
    std::set<std::string> paths;
    for (std::size_t i = 1; i < out.size(); ++i) paths.insert(wide_to_path(out[i].path));
    EXPECT_EQ(paths, (std::set<std::string>{t.at("\xFF\xFE.db"), t.at("d\xFF/")}));
    std::vector<std::wstring> listed;
    list_folder_paths_wide(path_to_wide(t.root()), L"", listed);
    EXPECT_EQ(listed.size(), 2u);
    for (const auto& p : listed) EXPECT_TRUE(pdir_test::exists(wide_to_path(p)));
}

TEST(FolderListing, print_folder_listing_shows_levels) {
    temp_tree t("pd_print");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("f") && t.dir("d"));
    std::ostringstream os;
    ASSERT_TRUE(print_folder_listing(t.root().c_str(), os));
    const std::string text = os.str();
    EXPECT_NE(text.find("000: " + t.at("f") + "\n"), std::string::npos);
    EXPECT_NE(text.find("001: " + t.at("d/") + "\n"), std::string::npos);
    EXPECT_FALSE(print_folder_listing(nullptr, os));
}

TEST(FileSearch, question_marks_stand_for_any_text) {
    temp_tree t("pd_find");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("report.txt") && t.file("resort.txt") && t.file("rexxort.txt") &&
                t.file("REPORT2.txt") && t.file("report.log") && t.file("repo") && t.file("xreport.txt"));
    std::map<std::string, std::string> found;
    ASSERT_TRUE(find_matching_files(t.at("re?ort.txt"), found));
    EXPECT_EQ(found, (std::map<std::string, std::string>{{t.at("report.txt"), "report.txt"},
                                                         {t.at("resort.txt"), "resort.txt"},
                                                         {t.at("rexxort.txt"), "rexxort.txt"}}));
    EXPECT_FALSE(find_matching_files(t.at("repo?"), found));
    EXPECT_TRUE(found.empty());
    ASSERT_TRUE(find_matching_files(t.at("Report2.TXT"), found));
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(found.begin()->second, "report2.txt");
    ASSERT_TRUE(find_matching_files(t.at("?ort.txt"), found));  // no prefix: any name ending the suffix
    EXPECT_EQ(found.size(), 4u);
    EXPECT_EQ(found.count(t.at("xreport.txt")), 1u);
    ASSERT_TRUE(find_matching_files(t.at("re?.txt"), found));
    EXPECT_EQ(found.size(), 4u);
    EXPECT_EQ(found.count(t.at("REPORT2.txt")), 1u);
    EXPECT_EQ(found.count(t.at("report.log")), 0u);
    EXPECT_FALSE(find_matching_files(t.at("missing/re?.txt"), found));
    EXPECT_FALSE(find_matching_files("", found));
}

}  // namespace
