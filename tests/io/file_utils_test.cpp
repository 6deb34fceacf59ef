#include "io/file_utils.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <climits>
#include <string>
#include <vector>

#include "fileio_test_support.h"
#include "platform/path_text.h"

namespace {

using fileio_test::file_size;
using fileio_test::pattern;
using fileio_test::read_file;
using fileio_test::temp_folder;
using fileio_test::write_file;

TEST(FileUtilsWhole, read_file_to_vector_honours_the_limit_and_refuses_empty_files) {
    temp_folder dir("fu_read");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("k");
    const std::string data = pattern(1000);
    ASSERT_TRUE(write_file(p, data));
    std::vector<std::uint8_t> out = {9};
    ASSERT_EQ(read_file_to_vector(out, p, 100), 1);
    EXPECT_EQ(std::string(out.begin(), out.end()), data.substr(0, 100));
    ASSERT_EQ(read_file_to_vector(p, out, 5000), 1);
    EXPECT_EQ(out.size(), 1000u);
    std::string text;
    ASSERT_EQ(read_file_to_string(text, p, 10), 1);
    EXPECT_EQ(text, data.substr(0, 10));

    const std::string empty = dir.file("empty");
    ASSERT_TRUE(write_file(empty, ""));
    EXPECT_EQ(read_file_to_vector(out, empty, 100), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(read_file_to_vector(out, p, 0), 0);
    EXPECT_EQ(read_file_to_vector(out, "", 10), 0);
    EXPECT_EQ(read_file_to_vector(out, dir.file("missing"), 10), 0);
    EXPECT_EQ(read_file_to_string(text, empty, 10), 0);
    EXPECT_TRUE(text.empty());
}

TEST(FileUtilsWhole, overwrite_with_zeros_rounds_up_to_512) {
    temp_folder dir("fu_zero");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("z");
    ASSERT_TRUE(write_file(p, std::string(1000, 'x')));
    ASSERT_EQ(overwrite_with_zeros(p), 1);
    EXPECT_EQ(read_file(p), std::string(1024, '\0'));
    const std::string e = dir.file("e");
    ASSERT_TRUE(write_file(e, ""));
    EXPECT_EQ(overwrite_with_zeros(e), 0);
    EXPECT_EQ(overwrite_with_zeros(dir.file("missing")), 0);
    EXPECT_EQ(file_size(dir.file("missing")), -1);  // not created

    const std::string q = dir.file("q");
    ASSERT_TRUE(write_file(q, std::string(700, 'y')));
    ASSERT_EQ(zero_fill_file(q), 1);
    EXPECT_EQ(read_file(q), std::string(700, '\0'));
    EXPECT_EQ(zero_fill_file(dir.file("missing")), 0);
}

TEST(FileUtilsWhole, marked_overwrite_puts_marker_and_counter_every_4096_bytes) {
    temp_folder dir("fu_mark");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("m");
    ASSERT_TRUE(write_file(p, std::string(8192, 'x')));
    ASSERT_EQ(overwrite_with_zeros_marked(p, {'M', 'A', 'R', 'K'}), 1);
    std::string expected(8192, '\0');
    expected.replace(0, 8, std::string("MARK\0\0\0\0", 8));
    expected.replace(4096, 8, std::string("MARK\1\0\0\0", 8));
    EXPECT_EQ(read_file(p), expected);

    ASSERT_TRUE(write_file(p, std::string(600, 'x')));
    ASSERT_EQ(overwrite_with_zeros_marked(path_to_wide(p), {}), 1);
    EXPECT_EQ(read_file(p), std::string(1024, '\0'));
}

TEST(FileUtilsCopy, copy_from_the_current_position_and_the_empty_cases) {
    temp_folder dir("fu_copy");
    ASSERT_TRUE(dir.ok());
    const std::string src = dir.file("src");
    ASSERT_TRUE(write_file(src, "0123456789"));
    uni::fileio f(src, false, false, false);
    ASSERT_EQ(f.seek(4), 4);
    ASSERT_EQ(f.copy_to(dir.file("tail"), false, false), 1);
    EXPECT_EQ(read_file(dir.file("tail")), "456789");
    ASSERT_EQ(f.seek(8), 8);
    ASSERT_EQ(f.copy_to(dir.file("tail"), true, false), 1);
    EXPECT_EQ(read_file(dir.file("tail")), "45678989");

    ASSERT_EQ(f.seek_from_end(0), 10);
    EXPECT_EQ(f.copy_to(dir.file("none"), false, false), 0);
    EXPECT_EQ(file_size(dir.file("none")), -1);
    ASSERT_EQ(f.copy_to(dir.file("none"), false, true), 1);
    EXPECT_EQ(file_size(dir.file("none")), 0);

    // A destination that cannot be opened is a failed copy.
    ASSERT_EQ(f.seek(0), 0);
    EXPECT_EQ(f.copy_to(dir.file("no/such/folder"), false, false), 0);

    uni::fileio mem(std::vector<std::uint8_t>{'m', 'e', 'm'}, false, false);
    ASSERT_EQ(mem.copy_to(path_to_wide(dir.file("memcopy")), false, false), 1);
    EXPECT_EQ(read_file(dir.file("memcopy")), "mem");
    uni::fileio empty_mem;
    ASSERT_EQ(empty_mem.open_memory(0, false, false), 1);
    EXPECT_EQ(empty_mem.copy_to(dir.file("m0"), false, false), 0);
    EXPECT_EQ(empty_mem.copy_to(dir.file("m0"), false, true), 1);
    EXPECT_EQ(file_size(dir.file("m0")), 0);
    uni::fileio closed;
    EXPECT_EQ(closed.copy_to(dir.file("c"), false, true), 0);
}

TEST(FileUtilsCopy, open_wide_converts_the_path_and_keeps_every_byte) {
    temp_folder dir("fu_open_wide");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("w\xff\xc3\xa9");
    ASSERT_TRUE(write_file(p, "wide"));
    uni::fileio f;
    ASSERT_EQ(f.open_wide(p, false, false, false), 1);
    EXPECT_EQ(f.size(), 4u);
    EXPECT_EQ(f.path.back(), L'\u00e9');
    EXPECT_EQ(f.open_wide("", false, false, false), 0);
    uni::fileio g;
    ASSERT_EQ(g.open_append_wide(path_to_wide(p) + L"/", false), 1);
    EXPECT_EQ(g.tell(), 0u);  // the wide form does not move to the end
    ASSERT_EQ(g.write("!", 1), 1);
    g.close();
    EXPECT_EQ(read_file(p), "wide!");
}

TEST(FileUtilsCopy, memory_image_saved_to_disk) {
    temp_folder dir("fu_save");
    ASSERT_TRUE(dir.ok());
    uni::fileio mem;
    ASSERT_EQ(mem.open_memory_copy({'a', 'b', 'c'}, true, false), 1);
    EXPECT_EQ(mem.tell(), 3u);
    ASSERT_EQ(mem.save_to_file(dir.file("saved")), 1);
    EXPECT_EQ(read_file(dir.file("saved")), "abc");
    EXPECT_EQ(mem.save_to_file(""), 0);
    uni::fileio disk(dir.file("saved"), false, false, false);
    EXPECT_EQ(disk.save_to_file(dir.file("again")), 0);  // only memory images
    uni::fileio zero;
    ASSERT_EQ(zero.open_memory(0, false, false), 1);
    EXPECT_EQ(zero.save_to_file(dir.file("zero")), 0);
}

TEST(FileUtilsStatus, folders_devices_sockets_inodes_and_trailing_slashes) {
    temp_folder dir("fu_status");
    ASSERT_TRUE(dir.ok());
    EXPECT_TRUE(is_directory_utf8(dir.path()));
    EXPECT_TRUE(is_directory_utf8(dir.path() + "//"));
    EXPECT_TRUE(is_directory_wide(path_to_wide(dir.path())));
    EXPECT_FALSE(is_directory_utf8("/dev/null"));
    // The root folder is all separators; it must not be stripped to nothing.
    EXPECT_TRUE(is_directory_utf8("/"));
    EXPECT_TRUE(is_directory_utf8("///"));
    EXPECT_FALSE(is_directory_utf8(dir.file("missing")));
    const std::string sock = dir.file("s");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_FALSE(is_directory_utf8(sock));
    close(s);
    for (const char* dev : {"/dev/loop0", "/dev/vda", "/dev/sda"}) {
        stat_record st;
        if (stat_path(dev, &st) == 0 && (st.mode & 0xF000u) == 0x6000u) {
            EXPECT_FALSE(is_directory_utf8(dev));
        }
    }

    const std::string f = dir.file("f\xff");
    ASSERT_TRUE(write_file(f, "12"));
    struct stat real {};
    ASSERT_EQ(::stat(f.c_str(), &real), 0);
    EXPECT_EQ(get_file_inode_utf8(f), static_cast<std::uint64_t>(real.st_ino));
    EXPECT_EQ(get_file_inode(path_to_wide(f)), static_cast<std::uint64_t>(real.st_ino));
    EXPECT_EQ(get_file_inode_utf8(dir.file("missing")), 0u);
    stat_record st;
    EXPECT_TRUE(stat_utf8(&st, f + "/"));
    EXPECT_EQ(st.size, 2u);
    const std::wstring wide = path_to_wide(f);
    EXPECT_EQ(stat_wide_cstr(wide.c_str(), &st), 0);
    EXPECT_EQ(stat_wide_cstr(nullptr, &st), -1);
    EXPECT_EQ(stat_path(nullptr, &st), -1);
    st.size = 7;
    EXPECT_EQ(stat_path(dir.file("missing").c_str(), &st), -1);
    EXPECT_EQ(st.size, 0u);
}

TEST(FileUtilsStatus, file_stats_from_times_set_by_utimensat) {
    temp_folder dir("fu_stats");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("t\xff.db");
    ASSERT_TRUE(write_file(p, "abcdef"));
    struct timespec times[2] = {{1600000000, 0}, {1500000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    file_stats fs;
    fs.notes = "stale";
    ASSERT_EQ(get_file_stats(fs, path_to_wide(p)), 1);
    EXPECT_EQ(fs.size, 6u);
    EXPECT_EQ(fs.modify_time, 1500000000u);
    EXPECT_EQ(fs.access_time, 1600000000u);
    EXPECT_GT(fs.change_time, 1500000000u);
    EXPECT_EQ(fs.mode & 0xF000u, 0x8000u);
    EXPECT_EQ(fs.time_kind, 8u);
    EXPECT_FALSE(fs.is_folder);
    EXPECT_TRUE(fs.notes.empty());
    EXPECT_NE(fs.inode, 0u);

    // A modify time beyond 32 bits of seconds: time kind 16.
    struct timespec far[2] = {{1600000000, 0}, {5000000000LL, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), far, 0), 0);
    ASSERT_EQ(get_file_stats(fs, path_to_wide(p)), 1);
    EXPECT_EQ(fs.modify_time, 5000000000u);
    EXPECT_EQ(fs.time_kind, 16u);

    ASSERT_EQ(get_file_stats(fs, path_to_wide(dir.path())), 1);
    EXPECT_TRUE(fs.is_folder);
    EXPECT_EQ(get_file_stats(fs, path_to_wide(dir.file("missing"))), 0);
    EXPECT_EQ(fs.size, 0u);
    EXPECT_FALSE(fs.is_folder);
    EXPECT_EQ(fs.time_kind, 0u);
    EXPECT_EQ(get_file_stats(fs, L""), 0);
}

TEST(FileUtilsMembers, permissions_companion_stream_and_reset) {
    temp_folder dir("fu_members");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("doc");
    ASSERT_TRUE(write_file(p, "x"));
    uni::fileio f(p, false, false, false);
    ASSERT_TRUE(f.is_open());
    ASSERT_EQ(f.set_permissions("640"), 1);
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(f.set_permissions("no digits"), 1);
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0u);
    chmod(p.c_str(), 0644);

    std::vector<std::string> streams = {"stale"};
    EXPECT_FALSE(f.list_alternate_streams(streams));
    EXPECT_TRUE(streams.empty());
    ASSERT_TRUE(write_file(p + ":Zone.Identifier", "[ZoneTransfer]"));
    ASSERT_TRUE(f.list_alternate_streams(streams));
    EXPECT_EQ(streams, (std::vector<std::string>{p + ":Zone.Identifier"}));
    uni::fileio other;
    ASSERT_TRUE(other.list_alternate_streams(streams, p));
    EXPECT_FALSE(other.list_alternate_streams(streams, dir.file("missing")));
    EXPECT_EQ(f.flush_stream(), -1);

    uni::fileio mem;
    ASSERT_EQ(mem.open_memory(4, true, false), 1);
    EXPECT_EQ(mem.set_permissions("600"), 1);
    uni::fileio closed;
    EXPECT_EQ(closed.set_permissions("600"), 0);

    const int fd = f.descriptor;
    f.reset();  // forgets the descriptor without closing it
    EXPECT_FALSE(f.is_open());
    EXPECT_NE(fcntl(fd, F_GETFD), -1);
    ::close(fd);
}

TEST(FileUtilsPaths, absolute_paths_against_the_current_folder) {
    const std::string cwd = get_current_dir();
    ASSERT_FALSE(cwd.empty());
    char real[PATH_MAX];
    ASSERT_NE(getcwd(real, sizeof(real)), nullptr);
    EXPECT_EQ(cwd, std::string(real));
    EXPECT_EQ(get_current_dir_wide(), path_to_wide(cwd));

    EXPECT_EQ(make_absolute_path("/abs/x.db", '/'), "/abs/x.db");
    EXPECT_EQ(make_absolute_path("x.db", '/'), cwd + "/x.db");
    EXPECT_EQ(make_absolute_path("  \"x.db\"  ", '/'), cwd + "/x.db");
    EXPECT_EQ(make_absolute_path("'x y.db'", '/'), cwd + "/x y.db");
    EXPECT_EQ(make_absolute_path("a/b/c.db", '/'), cwd + "/a/b/c.db");
    EXPECT_EQ(make_absolute_path("./a/c.db", '/'), cwd + "/a/c.db");
    EXPECT_EQ(make_absolute_path("./c.db", '/'), cwd + "/c.db");
    EXPECT_EQ(make_absolute_path("", '/'), "");
    EXPECT_EQ(make_absolute_path(" \t", '/'), "");

    const std::string parent = cwd.substr(0, cwd.rfind('/'));
    EXPECT_EQ(make_absolute_path("../c.db", '/'), parent + "/c.db");
    EXPECT_EQ(make_absolute_path("../sib/c.db", '/'), parent + "/sib/c.db");
    EXPECT_EQ(make_absolute_path("a/../b/c.db", '/'), cwd + "/b/c.db");
    // ".." never climbs above the root.
    std::string climb;
    for (char c : cwd) climb += (c == '/') ? "../" : "";
    EXPECT_EQ(make_absolute_path(climb + "../../x", '/'), "/x");
    EXPECT_EQ(make_absolute_path(std::wstring(L"x\u00e9.db"), L'/'), path_to_wide(cwd) + L"/x\u00e9.db");
}

TEST(FileUtilsPaths, same_file_by_identity_where_it_exists_else_by_absolute_path) {
    temp_folder dir("fu_same");
    ASSERT_TRUE(dir.ok());
    const std::string db = dir.file("case.db");
    ASSERT_TRUE(write_file(db, "x"));
    ASSERT_TRUE(write_file(dir.file("other.db"), "x"));
    ASSERT_EQ(::link(db.c_str(), dir.file("hard.db").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("sub/up").c_str()), 0);
    struct row {
        std::string a, b;
        bool same;
    };
    const std::vector<row> rows = {
        {db, db, true},
        {db, dir.file("hard.db"), true},  // one inode, two names
        {db, dir.file("sub/../case.db"), true},
        {db, dir.file("sub/up/case.db"), true},  // through a linked folder
        {db, dir.file("other.db"), false},
        {dir.file("case.db-wal"), dir.file("./sub/../case.db-wal"), true},  // neither exists
        {dir.file("case.db-wal"), dir.file("sub/up/case.db-wal"), true},
        {dir.file("case.db-wal"), dir.file("case.db-journal"), false},
        {db, dir.file("case.db-wal"), false},  // one exists, the other does not
        {db, "", false},
        {"", "", false},
    };
    for (const row& r : rows) {
        EXPECT_EQ(paths_name_same_file(r.a, r.b), r.same) << r.a << " | " << r.b;
        EXPECT_EQ(paths_name_same_file(r.b, r.a), r.same) << r.b << " | " << r.a;
    }
    EXPECT_EQ(file_size(dir.file("case.db-wal")), -1);  // nothing was created
}

TEST(FileUtilsPaths, current_folder_deeper_than_512_bytes) {
    temp_folder dir("fu_deep");
    ASSERT_TRUE(dir.ok());
    const std::string saved = get_current_dir();
    std::string deep = dir.path();
    const std::string part(100, 'd');
    for (int i = 0; i < 6; ++i) {
        deep += "/" + part;
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    ASSERT_EQ(chdir(deep.c_str()), 0);
    const std::string got = get_current_dir();
    ASSERT_EQ(chdir(saved.c_str()), 0);
    EXPECT_EQ(got, deep);
    EXPECT_GT(got.size(), 512u);
}

}  // namespace
