#include "io/portable_dir_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "io/cmd_params.h"
#include "io/filename_filter.h"
#include "platform/path_text.h"
#include "portable_dir_test_support.h"

namespace {

using pdir_test::exists;
using pdir_test::is_folder;
using pdir_test::read_all;
using pdir_test::temp_tree;

mode_t current_umask() {
    const mode_t m = umask(0);
    umask(m);
    return m;
}

TEST(FileExists, empty_missing_present_and_odd_names) {
    temp_tree t("po_exists");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("\xFF") && t.link("nowhere", "dangling"));
    EXPECT_FALSE(file_exists(""));
    EXPECT_FALSE(file_exists_wide(L""));
    EXPECT_TRUE(file_exists(t.at("\xFF")));
    EXPECT_TRUE(file_exists_wide(path_to_wide(t.at("\xFF"))));
    EXPECT_TRUE(file_exists(t.root()));
    EXPECT_FALSE(file_exists(t.at("missing")));
    EXPECT_FALSE(file_exists(t.at("dangling")));  // the status of a link is its target's
}

TEST(MakeDirectory, makes_every_parent_and_leaves_the_umask_alone) {
    temp_tree t("po_mkdir");
    ASSERT_TRUE(t.ok());
    const mode_t before = umask(022);
    ASSERT_TRUE(make_directory_path(t.at("a/b/c")));
    EXPECT_EQ(current_umask(), 022u);
    EXPECT_TRUE(is_folder(t.at("a")) && is_folder(t.at("a/b")) && is_folder(t.at("a/b/c")));
    struct stat st {};
    ASSERT_EQ(stat(t.at("a/b/c").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);              // made under a umask of 0
    EXPECT_TRUE(make_directory_path(t.at("a/b/c")));  // already there
    EXPECT_TRUE(make_directory_path(t.at("a/b/c/")));
    EXPECT_TRUE(make_directory_path("\"" + t.at("q/r") + "\""));  // quotes are dropped first
    EXPECT_TRUE(is_folder(t.at("q/r")));
    EXPECT_TRUE(make_directory_path(t.at("back\\slash\\x")));  // '\' reads as '/'
    EXPECT_TRUE(is_folder(t.at("back/slash/x")));
    EXPECT_TRUE(make_directory_path(path_to_wide(t.at("w\xFF/v"))));
    EXPECT_TRUE(is_folder(t.at("w\xFF/v")));
    EXPECT_FALSE(make_directory_path(""));
    EXPECT_FALSE(make_directory_path("\"\""));
    EXPECT_FALSE(make_directory_path(std::wstring()));

    // A drive part is never made: with no folder "C:", its sub-folder cannot be made either.
    EXPECT_FALSE(make_directory_path(t.at("C:/x/y")));
    EXPECT_FALSE(exists(t.at("C:")));
    ASSERT_TRUE(t.file("plain"));
    EXPECT_FALSE(make_directory_path(t.at("plain/sub")));  // stops at a file in the way
    EXPECT_EQ(current_umask(), 022u);

    EXPECT_TRUE(make_directory(t.at("single")));
    EXPECT_TRUE(make_directory(t.at("single")));
    EXPECT_TRUE(make_directory(path_to_wide(t.at("single2"))));
    EXPECT_FALSE(make_directory(t.at("none/deeper")));
    EXPECT_FALSE(make_directory(std::string()));
    EXPECT_EQ(current_umask(), 022u);
    umask(before);
}

TEST(MakeDirectory, long_path_prefix_is_kept_at_the_start) {
    temp_tree t("po_prefix");
    ASSERT_TRUE(t.ok());
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(t.root().c_str()), 0);
    // The four characters go to the front of the built path and are not turned into '/'.
    const bool made = make_directory_path("\\\\?\\p/q");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_TRUE(made);
    EXPECT_TRUE(is_folder(t.at("\\\\?\\p/q")));
}

TEST(WriteAndRead, write_into_a_new_folder_and_read_back_with_a_cap) {
    temp_tree t("po_write");
    ASSERT_TRUE(t.ok());
    std::string data(100, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
    ASSERT_TRUE(write_file_in_folder(t.at("n1/n2/f.bin").c_str(), data.data(), data.size()));
    EXPECT_EQ(read_all(t.at("n1/n2/f.bin")), data);
    ASSERT_TRUE(write_file_in_folder(t.at("n1/n2/f.bin").c_str(), "ab", 2));  // truncates
    EXPECT_EQ(read_all(t.at("n1/n2/f.bin")), "ab");
    ASSERT_TRUE(write_file_in_folder(t.at("n1/empty").c_str(), nullptr, 5));
    EXPECT_TRUE(exists(t.at("n1/empty")));
    EXPECT_EQ(read_all(t.at("n1/empty")), "");
    ASSERT_TRUE(write_file_in_folder(path_to_wide(t.at("w/\xFF")), "z", 1));
    EXPECT_EQ(read_all(t.at("w/\xFF")), "z");
    EXPECT_FALSE(write_file_in_folder(static_cast<const char*>(nullptr), "z", 1));
    EXPECT_FALSE(write_file_in_folder(t.at("n1/n2").c_str(), "z", 1));  // a folder cannot be opened as a file

    ASSERT_TRUE(t.file("hundred", data));
    std::vector<std::uint8_t> out = {1, 2, 3};
    ASSERT_TRUE(read_file_bytes(out, t.at("hundred"), 16));
    EXPECT_EQ(std::string(out.begin(), out.end()), data.substr(0, 16));
    ASSERT_TRUE(read_file_bytes(out, t.at("hundred"), 1000));
    EXPECT_EQ(out.size(), 100u);
    ASSERT_TRUE(t.file("zero", ""));
    EXPECT_FALSE(read_file_bytes(out, t.at("zero"), 16));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(read_file_bytes(out, t.at("hundred"), 0));
    EXPECT_FALSE(read_file_bytes(out, "", 16));
    EXPECT_FALSE(read_file_bytes(out, t.at("missing"), 16));
    ASSERT_TRUE(read_file_bytes_w(out, path_to_wide(t.at("w/\xFF")), 16));
    EXPECT_EQ(out, std::vector<std::uint8_t>{'z'});
    EXPECT_FALSE(read_file_bytes_w(out, L"", 16));
}

TEST(DeleteRenameMove, delete_rename_and_moves) {
    temp_tree t("po_move");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("del") && t.file("old", "payload") && t.file("src.db", "db"));
    EXPECT_TRUE(delete_file(t.at("del")));
    EXPECT_FALSE(exists(t.at("del")));
    EXPECT_FALSE(delete_file(t.at("del")));
    EXPECT_FALSE(delete_file(std::string()));
    ASSERT_TRUE(t.file("\xFF"));
    EXPECT_TRUE(delete_file(path_to_wide(t.at("\xFF"))));
    EXPECT_FALSE(exists(t.at("\xFF")));

    EXPECT_TRUE(rename_file(t.at("old"), t.at("new"), true));
    EXPECT_EQ(read_all(t.at("new")), "payload");
    EXPECT_FALSE(rename_file(t.at("old"), t.at("new2"), false));
    EXPECT_TRUE(rename_file(path_to_wide(t.at("new")), path_to_wide(t.at("new\xFF"))));
    EXPECT_TRUE(exists(t.at("new\xFF")));

    std::string out = "stale";
    ASSERT_TRUE(move_file_to_folder(out, t.at("into/here"), t.at("src.db")));
    EXPECT_EQ(out, t.at("into/here") + "/src.db");
    EXPECT_EQ(read_all(out), "db");
    EXPECT_FALSE(exists(t.at("src.db")));  // moved, not copied
    EXPECT_FALSE(move_file_to_folder(out, t.at("into"), t.at("src.db")));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(move_file_to_folder(out, "", t.at("into/here/src.db")));
    EXPECT_FALSE(move_file_to_folder(out, t.at("into"), ""));
}

TEST(DeleteRenameMove, relative_paths_are_made_absolute_before_delete) {
    temp_tree t("po_rel");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("rel_file"));
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(t.root().c_str()), 0);
    const bool deleted = delete_file("rel_file");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(exists(t.at("rel_file")));
}

TEST(DeleteRenameMove, move_into_named_folder_with_companions) {
    temp_tree t("po_named");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.dir("case") && t.file("case/evidence.db", "main") &&
                t.file("case/evidence.db-wal", "wal") && t.file("case/evidence.db-journal", "j") &&
                t.file("case/other.db", "o"));
    std::string out;
    ASSERT_TRUE(
        move_into_named_folder(out, t.at("case/evidence.db"), {"*.db-wal", "*.db-journal", "*.db"}, true));
    EXPECT_EQ(out, t.at("case/evidence/evidence.db"));
    EXPECT_EQ(read_all(out), "main");
    EXPECT_EQ(read_all(t.at("case/evidence/evidence.db-wal")), "wal");
    EXPECT_EQ(read_all(t.at("case/evidence/evidence.db-journal")), "j");
    EXPECT_TRUE(exists(t.at("case/other.db")));  // does not hold the stem

    // Already in a folder named after it.
    EXPECT_FALSE(move_into_named_folder(out, t.at("case/evidence/evidence.db"), {}, false));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(exists(t.at("case/evidence/evidence.db")));

    ASSERT_TRUE(t.file("case/solo.txt", "s") && t.file("case/solo.log", "l"));
    ASSERT_TRUE(move_into_named_folder(out, t.at("case/solo.txt"), {"*.log"}, false));
    EXPECT_TRUE(exists(t.at("case/solo/solo.txt")));
    EXPECT_TRUE(exists(t.at("case/solo.log")));  // companions stay without move_companions

    ASSERT_TRUE(t.dir("case/v1.2") && t.file("case/v1.2/noext", "n"));
    // The only '.' is in a folder name: there is no extension, nothing moves.
    EXPECT_FALSE(move_into_named_folder(out, t.at("case/v1.2/noext"), {}, false));
    EXPECT_TRUE(exists(t.at("case/v1.2/noext")));
    EXPECT_FALSE(exists(t.at("case/v1")));
    EXPECT_FALSE(move_into_named_folder(out, t.at("case/missing.db"), {}, false));
    EXPECT_FALSE(move_into_named_folder(out, "", {}, false));
}

TEST(RelativePath, documented_examples_and_limits) {
    std::string out = "stale";
    ASSERT_TRUE(relative_path(out, "/a/b/c", "/a/b/c/d/e", 260));
    EXPECT_EQ(out, "d/e");
    ASSERT_TRUE(relative_path(out, "/a/b/x/y", "/a/b/z", 260));
    EXPECT_EQ(out, "../../z");
    ASSERT_TRUE(relative_path(out, "/a/b/", "/a/b/c.db", 260));
    EXPECT_EQ(out, "c.db");
    ASSERT_TRUE(relative_path(out, "/abc/d", "xyz/q", 260));  // first characters differ
    EXPECT_EQ(out, "xyz/q");
    ASSERT_TRUE(relative_path(out, "/a/bc/d", "/a/b", 260));
    EXPECT_EQ(out, "../../b");
    EXPECT_FALSE(relative_path(out, "/a/", "/a/b/c", 260));  // from shorter than 4
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(relative_path(out, "/a/b/c", "/a/b/c/d/e", 8));     // to longer than the limit
    EXPECT_FALSE(relative_path(out, "/a/b/x/y/z/w", "/a/b/q", 12));  // "../../../../q" would not fit
    ASSERT_TRUE(relative_path(out, "/a/b/x/y/z/w", "/a/b/q", 16));
    EXPECT_EQ(out, "../../../../q");
}

TEST(StreamsAndSmallHelpers, stream_sizes_restore_the_position) {
    std::stringstream s;
    s << "0123456789";
    s.seekp(3);
    EXPECT_EQ(output_stream_size(s), 10u);
    EXPECT_EQ(static_cast<long long>(s.tellp()), 3);
    std::istringstream in("abcdef");
    char c = 0;
    in.get(c);
    EXPECT_EQ(input_stream_size(in), 6u);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 1);
    in.setstate(std::ios::failbit);
    EXPECT_EQ(input_stream_size(in), 6u);  // the state is cleared first
    EXPECT_TRUE(in.good());

    std::string sp = "x";
    EXPECT_FALSE(short_path_name(sp, "/tmp"));
    EXPECT_TRUE(sp.empty());
    EXPECT_TRUE(strings_equal("a", "a"));
    EXPECT_FALSE(strings_equal("a", "b"));
    EXPECT_TRUE(string_less("a", "b"));
    EXPECT_FALSE(string_less("b", "a"));
    std::vector<std::string> list = {"a", "b"};
    EXPECT_FALSE(clear_string_list(list));
    EXPECT_TRUE(list.empty());

    const std::string self = executable_path();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(exists(self));
    EXPECT_EQ(self.substr(self.rfind('/') + 1), "io_portable_dir_ops_test");
    EXPECT_EQ(wide_to_path(executable_path_wide()), self);
}

TEST(StreamsAndSmallHelpers, open_c_file_modes) {
    temp_tree t("po_cfile");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("existing", "keep"));
    std::FILE* f = reinterpret_cast<std::FILE*>(1);
    EXPECT_FALSE(open_c_file_for_reading(f, path_to_wide(t.at("missing")), true));
    EXPECT_EQ(f, nullptr);
    ASSERT_TRUE(open_c_file_for_reading(f, path_to_wide(t.at("existing")), true));
    char buf[8] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 4u);
    EXPECT_NE(std::fputc('x', f), 'x');  // read-only
    std::fclose(f);
    ASSERT_TRUE(open_c_file_for_writing(f, path_to_wide(t.at("new\xFF")), true));
    std::fputs("w", f);
    std::fclose(f);
    EXPECT_EQ(read_all(t.at("new\xFF")), "w");
    ASSERT_TRUE(open_c_file(f, path_to_wide(t.at("existing")), false, 99, true, false));  // "w+" truncates
    std::fclose(f);
    EXPECT_EQ(read_all(t.at("existing")), "");
    EXPECT_FALSE(open_c_file(f, L"", false, 0, false, false));
    EXPECT_EQ(f, nullptr);
}

TEST(ContentSearch, criteria_on_size_time_extension_and_patterns) {
    temp_tree t("po_content");
    ASSERT_TRUE(t.ok());
    std::string big(40000, 'z');
    big.replace(16380, 8, "NEEDLE!!");  // straddles the first 16384-byte piece
    big.replace(39990, 4, "TAIL");
    big.replace(1024 + 10, 3, "BLK");
    ASSERT_TRUE(t.file("big.bin", big) && t.file("small.txt", "tiny") &&
                t.file("mid.BIN", std::string(600, 'q')));
    const std::vector<std::string> all = {t.at("big.bin"), t.at("small.txt"), t.at("mid.BIN"),
                                          t.at("missing")};

    std::vector<std::string> paths;
    EXPECT_FALSE(filter_files_by_content(paths, {content_criterion{}}));
    paths = all;
    EXPECT_TRUE(filter_files_by_content(paths, {}));
    EXPECT_EQ(paths, all);

    content_criterion by_ext;
    by_ext.extension = L"bin";
    paths = all;
    ASSERT_TRUE(filter_files_by_content(paths, {by_ext}));
    EXPECT_EQ(paths, (std::vector<std::string>{t.at("big.bin"), t.at("mid.BIN")}));

    content_criterion by_size;
    by_size.min_size = 5;
    by_size.max_size = 1000;
    paths = all;
    ASSERT_TRUE(filter_files_by_content(paths, {by_size}));
    EXPECT_EQ(paths, std::vector<std::string>{t.at("mid.BIN")});

    content_criterion future;
    future.not_before = 0xFFFFFFFF0ull;
    paths = all;
    EXPECT_FALSE(filter_files_by_content(paths, {future}));
    EXPECT_TRUE(paths.empty());

    content_criterion region;
    region.region_start = 0;
    region.region_end = 20000;
    region.region_pattern = {'N', 'E', 'E', 'D', 'L', 'E'};
    paths = all;
    ASSERT_TRUE(filter_files_by_content(paths, {region}));
    EXPECT_EQ(paths, std::vector<std::string>{t.at("big.bin")});
    region.region_end = 16383;  // the needle no longer lies wholly inside
    paths = all;
    EXPECT_FALSE(filter_files_by_content(paths, {region}));

    content_criterion tail;
    tail.tail_length = 20;
    tail.tail_pattern = {'T', 'A', 'I', 'L'};
    paths = all;
    ASSERT_TRUE(filter_files_by_content(paths, {tail}));
    EXPECT_EQ(paths, std::vector<std::string>{t.at("big.bin")});
    tail.tail_length = 16384;  // too long a tail is refused
    paths = all;
    EXPECT_FALSE(filter_files_by_content(paths, {tail}));

    content_criterion block;
    block.block_length = 16;
    block.block_pattern = {'B', 'L', 'K'};
    paths = all;
    ASSERT_TRUE(filter_files_by_content(paths, {block}));
    EXPECT_EQ(paths, std::vector<std::string>{t.at("big.bin")});
    block.block_length = 12;  // "BLK" sits at 10..12 of its block
    paths = all;
    EXPECT_FALSE(filter_files_by_content(paths, {block}));

    // Criteria are alternatives; both patterns of one criterion must hold.
    content_criterion both = region;
    both.region_end = 20000;
    both.tail_length = 20;
    both.tail_pattern = {'N', 'O', 'P', 'E'};
    paths = all;
    EXPECT_FALSE(filter_files_by_content(paths, {both}));
    paths = all;
    ASSERT_TRUE(filter_files_by_content(paths, {both, by_size}));
    EXPECT_EQ(paths, std::vector<std::string>{t.at("mid.BIN")});
}

// A hard link shares the file's bytes, so it shows what the wipe left in them after the name is gone.
TEST(SecureWipe, wipe_file_overwrites_truncates_and_removes) {
    temp_tree t("po_wipe_file");
    temp_tree temp("po_wipe_temp");
    ASSERT_TRUE(t.ok() && temp.ok());
    ASSERT_EQ(setenv("TEMP", temp.root().c_str(), 1), 0);
    ASSERT_TRUE(t.file("secret\xFF", std::string(700, 'S')));
    ASSERT_EQ(link(t.at("secret\xFF").c_str(), t.at("witness").c_str()), 0);
    ASSERT_TRUE(wipe_file(path_to_wide(t.at("secret\xFF"))));
    EXPECT_FALSE(exists(t.at("secret\xFF")));
    EXPECT_EQ(read_all(t.at("witness")), "a");
    EXPECT_TRUE(pdir_test::raw_listing(temp.root()).empty());  // moved there, then deleted
    EXPECT_EQ(pdir_test::raw_listing(t.root()).size(), 1u);    // only the witness is left
    EXPECT_FALSE(wipe_file(L""));
    (void)wipe_file(path_to_wide(t.at("missing")));
    EXPECT_FALSE(exists(t.at("missing")));  // nothing is left behind for a name that was not there
    // Every random name goes, those holding quotes or other characters a path tidy-up would change
    // included: among 200 wipes such names all but surely come up.
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(t.file("f" + std::to_string(i), "data"));
        ASSERT_TRUE(wipe_file(path_to_wide(t.at("f" + std::to_string(i)))));
    }
    EXPECT_TRUE(pdir_test::raw_listing(temp.root()).empty());
    EXPECT_EQ(pdir_test::raw_listing(t.root()).size(), 1u);
}

TEST(SecureWipe, wipe_folder_wipes_every_file_then_removes_the_folders) {
    temp_tree t("po_wipe_dir");
    temp_tree temp("po_wipe_dir_temp");
    temp_tree keep("po_wipe_keep");
    ASSERT_TRUE(t.ok() && temp.ok() && keep.ok());
    ASSERT_EQ(setenv("TEMP", temp.root().c_str(), 1), 0);
    ASSERT_TRUE(t.dir("tree") && t.file("tree/a.db", "AAAA") && t.dir("tree/s") &&
                t.file("tree/s/b.txt", "BBBB"));
    ASSERT_EQ(link(t.at("tree/a.db").c_str(), keep.at("a").c_str()), 0);
    ASSERT_EQ(link(t.at("tree/s/b.txt").c_str(), keep.at("b").c_str()), 0);
    ASSERT_TRUE(wipe_folder(path_to_wide(t.at("tree")), {}, 2, nullptr));
    EXPECT_EQ(read_all(keep.at("a")), "a");
    EXPECT_EQ(read_all(keep.at("b")), "a");
    EXPECT_FALSE(exists(t.at("tree")));
    EXPECT_TRUE(pdir_test::raw_listing(temp.root()).empty());
    EXPECT_FALSE(wipe_folder(L"", {}, 2, nullptr));
}

TEST(SecureWipe, a_filter_limits_the_wipe_and_keeps_the_folders) {
    temp_tree t("po_wipe_filter");
    temp_tree temp("po_wipe_filter_temp");
    ASSERT_TRUE(t.ok() && temp.ok());
    ASSERT_EQ(setenv("TEMP", temp.root().c_str(), 1), 0);
    ASSERT_TRUE(t.dir("tree") && t.file("tree/a.db", "AAAA") && t.file("tree/b.txt", "BBBB") &&
                t.dir("tree/s") && t.file("tree/s/c.db", "CCCC"));
    std::vector<filename_filter> db;
    std::string text = "*.db";
    ASSERT_TRUE(build_filename_filters(db, text));
    cmd_params options;
    options.show_progress = false;
    ASSERT_TRUE(wipe_folder(path_to_wide(t.at("tree")), db, 2, &options));
    EXPECT_FALSE(exists(t.at("tree/a.db")));
    EXPECT_FALSE(exists(t.at("tree/s/c.db")));
    EXPECT_EQ(read_all(t.at("tree/b.txt")), "BBBB");
    EXPECT_TRUE(pdir_test::is_folder(t.at("tree/s")));
    // With depth 1 only the start folder is wiped.
    ASSERT_TRUE(t.file("tree/s/d.db", "DDDD") && t.file("tree/e.db", "EEEE"));
    ASSERT_TRUE(wipe_folder(path_to_wide(t.at("tree")), db, 1, &options));
    EXPECT_FALSE(exists(t.at("tree/e.db")));
    EXPECT_EQ(read_all(t.at("tree/s/d.db")), "DDDD");
}

}  // namespace
