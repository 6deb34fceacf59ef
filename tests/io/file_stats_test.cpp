#include "io/file_stats.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "fileio_test_support.h"
#include "platform/path_text.h"

namespace {

using fileio_test::temp_folder;
using fileio_test::write_file;

constexpr std::uint64_t kEpoch = 116444736000000000ull;  // 1970-01-01 as FILETIME

class FileStatsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        ASSERT_TRUE(dir_.ok());
    }
    std::string make(const std::string& name, const std::string& data, std::int64_t mtime,
                     std::int64_t atime) {
        const std::string p = dir_.file(name);
        EXPECT_TRUE(write_file(p, data));
        struct timespec t[2] = {{static_cast<time_t>(atime), 0}, {static_cast<time_t>(mtime), 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, p.c_str(), t, 0), 0);
        return p;
    }
    temp_folder dir_{"file_stats"};
};

TEST_F(FileStatsTest, records_start_cleared_and_clear_again) {
    log_record r;
    EXPECT_TRUE(r.name.empty());
    EXPECT_EQ(r.inode, 0u);
    EXPECT_EQ(r.time_kind, 0u);
    EXPECT_EQ(r.source_flags, 0u);
    r.name = "x";
    r.inode = 1;
    r.sequence = 2;
    r.size = 3;
    r.modify_time = r.birth_time = r.change_time = r.access_time = 4;
    r.mode = 5;
    r.time_kind = 8;
    r.is_folder = r.folder_wanted = true;
    r.raw_read = 1;
    r.offset = 9;
    r.notes = "n";
    r.source_flags = 10;
    r.has_attributes = 1;
    r.attribute_names = {"a"};
    r.attribute_values = {"b"};
    r.clear();
    EXPECT_TRUE(r.name.empty() && r.notes.empty() && r.attribute_names.empty() && r.attribute_values.empty());
    EXPECT_EQ(r.inode + r.sequence + r.size + r.modify_time + r.birth_time + r.change_time + r.access_time +
                  r.mode + r.time_kind + r.offset + r.source_flags + r.has_attributes + r.raw_read,
              0u);
    EXPECT_FALSE(r.is_folder || r.folder_wanted);
}

TEST_F(FileStatsTest, copy_infers_the_time_kind_from_the_source_flags) {
    log_record src;
    src.modify_time = 5;
    src.source_flags = 4;
    src.attribute_names = {"user.x"};
    log_record dst;
    dst.copy(src);
    EXPECT_EQ(dst.time_kind, 1u);
    EXPECT_EQ(dst.attribute_names, src.attribute_names);
    src.source_flags = 2;
    dst.copy(src);
    EXPECT_EQ(dst.time_kind, 8u);
    src.time_kind = 16;
    dst.copy(src);
    EXPECT_EQ(dst.time_kind, 16u);
    src.time_kind = 0;
    src.modify_time = 0;
    dst.copy(src);
    EXPECT_EQ(dst.time_kind, 0u);
    log_record plain;
    src.modify_time = 5;
    plain = src;  // plain assignment adjusts nothing
    EXPECT_EQ(plain.time_kind, 0u);
}

TEST_F(FileStatsTest, fill_file_stats_sets_name_mask_and_notes) {
    const std::string p = make("a\xff.db", "hello", 1500000000, 1600000000);
    log_record r;
    ASSERT_TRUE(fill_file_stats(r, path_to_wide(p), "note"));
    EXPECT_EQ(r.name, p);
    EXPECT_EQ(r.size, 5u);
    EXPECT_EQ(r.modify_time, 1500000000u);
    EXPECT_EQ(r.time_kind, 8u);
    EXPECT_EQ(r.source_flags, 2u);
    EXPECT_EQ(r.notes, "note");

    log_record d;
    ASSERT_TRUE(fill_file_stats_narrow(d, dir_.path(), ""));
    EXPECT_EQ(d.name, dir_.path());
    EXPECT_TRUE(d.is_folder);
    EXPECT_EQ(d.source_flags, 2u | 8u);
    EXPECT_TRUE(d.notes.empty());
    EXPECT_FALSE(fill_file_stats_narrow(d, dir_.file("missing"), "x"));
}

TEST_F(FileStatsTest, fill_log_record_from_a_given_status_or_the_path) {
    const std::string p = make("b.db", "abc", 1400000000, 1400000001);
    stat_record st;
    ASSERT_EQ(platform_stat(p.c_str(), &st), 0);
    log_record r;
    r.notes = "old";
    ASSERT_TRUE(fill_log_record(r, path_to_wide(p), &st, "extra"));
    EXPECT_EQ(r.name, p);
    EXPECT_EQ(r.size, 3u);
    EXPECT_EQ(r.inode, st.inode);
    EXPECT_EQ(r.modify_time, 1400000000u);
    EXPECT_EQ(r.access_time, 1400000001u);
    EXPECT_EQ(r.birth_time, 0u);
    EXPECT_EQ(r.time_kind, 0u);
    EXPECT_EQ(r.source_flags, 2u);
    EXPECT_EQ(r.notes, "extra");

    stat_record dst;
    ASSERT_EQ(platform_stat(dir_.path().c_str(), &dst), 0);
    ASSERT_TRUE(fill_log_record(r, dir_.path(), &dst, ""));
    EXPECT_TRUE(r.is_folder);
    EXPECT_EQ(r.source_flags, 10u);

    ASSERT_TRUE(fill_log_record(r, p, nullptr, ""));
    EXPECT_EQ(r.time_kind, 8u);
    EXPECT_FALSE(fill_log_record(r, std::string(), &st, "x"));
    EXPECT_TRUE(r.name.empty());
    EXPECT_EQ(r.size, 0u);

    const log_record built(path_to_wide(p), nullptr, "ctor");
    EXPECT_EQ(built.size, 3u);
    EXPECT_EQ(built.notes, "ctor");
}

TEST_F(FileStatsTest, stat_file_outs_in_seconds_and_filetime) {
    const std::string p = make("c.db", "12345678", 1000000000, 1000000100);
    std::uint64_t size = 9, change = 9, modify = 9, access = 9;
    std::uint32_t mode = 9;
    ASSERT_TRUE(stat_file_utf8(p, &size, &mode, &change, &modify, &access));
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(mode & 0xF000u, 0x8000u);
    EXPECT_EQ(modify, 1000000000u);
    EXPECT_EQ(access, 1000000100u);
    ASSERT_TRUE(stat_file_filetime_utf8(p, &size, &mode, &change, &modify, &access));
    EXPECT_EQ(modify, kEpoch + 1000000000ull * 10000000ull);
    EXPECT_EQ(access, kEpoch + 1000000100ull * 10000000ull);
    EXPECT_GT(change, kEpoch);

    EXPECT_FALSE(stat_file(L"", &size, &mode, &change, &modify, &access));
    EXPECT_EQ(size + mode + change + modify + access, 0u);
    size = 1;
    EXPECT_FALSE(stat_file_cstr(nullptr, &size, &mode, &change, &modify, &access));
    EXPECT_EQ(size, 0u);
    size = 1;
    EXPECT_FALSE(
        stat_file_filetime(path_to_wide(dir_.file("missing")), &size, &mode, &change, &modify, &access));
    EXPECT_EQ(size + modify, 0u);
}

TEST_F(FileStatsTest, file_entry_fill_splits_names_of_files_and_folders) {
    const std::string file = make("a.tar.gz", "z", 1100000000, 1100000000);
    file_entry e;
    ASSERT_TRUE(file_entry_fill(file.c_str(), e));
    EXPECT_EQ(e.path, file);
    EXPECT_EQ(e.folder, dir_.path());
    EXPECT_EQ(e.name, "a.tar");
    EXPECT_EQ(e.extension, "gz");
    EXPECT_EQ(e.altered, 1100000000u);
    EXPECT_EQ(e.accessed, 1100000000u);
    EXPECT_GT(e.created, 0u);  // the status-change time
    EXPECT_EQ(e.entry_changed, 0u);
    EXPECT_FALSE(file_entry_is_dir(e));

    const std::string xd = dir_.file("x.d");
    ASSERT_EQ(mkdir(xd.c_str(), 0755), 0);
    ASSERT_TRUE(file_entry_fill(xd.c_str(), e));
    EXPECT_EQ(e.name, "x.d");
    EXPECT_EQ(e.extension, "");
    EXPECT_TRUE(file_entry_is_dir(e));
    const std::string x = dir_.file("X");
    ASSERT_EQ(mkdir(x.c_str(), 0755), 0);
    ASSERT_TRUE(file_entry_fill(x.c_str(), e));
    EXPECT_EQ(e.name, "X.");
    std::string lowered = x;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(e.path_lower, lowered);
    EXPECT_EQ(e.path, x);

    file_entry_w w;
    ASSERT_TRUE(file_entry_w_fill(file.c_str(), w));
    EXPECT_EQ(w.folder_text(), path_to_wide(dir_.path()));
    EXPECT_EQ(w.name_text(), L"a.tar");
    EXPECT_EQ(w.extension, L"gz");
    EXPECT_FALSE(file_entry_fill(nullptr, e));
    EXPECT_FALSE(file_entry_fill(dir_.file("missing").c_str(), e));
    EXPECT_FALSE(file_entry_w_fill(dir_.file("missing").c_str(), w));
}

TEST_F(FileStatsTest, is_dir_reads_attribute_words_and_modes) {
    file_entry e;
    e.mode = 2;
    EXPECT_TRUE(file_entry_is_dir(e));
    e.mode = 1;
    EXPECT_FALSE(file_entry_is_dir(e));
    e.mode = 0x41ED;
    EXPECT_TRUE(file_entry_is_dir(e));
    e.mode = 0x81A4;
    EXPECT_FALSE(file_entry_is_dir(e));
    e.m_using_st_mode_flags = false;
    e.mode = 0x41ED;
    EXPECT_FALSE(file_entry_is_dir(e));
    file_entry_w w;
    w.mode = 0x41ED;
    EXPECT_TRUE(file_entry_is_dir(w));
}

TEST_F(FileStatsTest, wide_entries_set_cut_and_convert) {
    file_entry_w w(L"Report.Final.DOC", 77, 10, 0x81A4, 1, 2, 3, 4, 0644);
    EXPECT_EQ(w.name_text(), L"Report.Final.DOC");
    EXPECT_EQ(w.extension, L"DOC");
    EXPECT_EQ(w.value64, 77u);
    EXPECT_EQ(w.entry_changed, 3u);
    const std::wstring long_name(600, L'n');
    file_entry_w_set(w, long_name.c_str(), 1, 0x81A4, 1, 2, 3, 4, 0);
    EXPECT_TRUE(w.name_text().empty());
    EXPECT_EQ(w.value64, 0u);
    const file_entry_w noext(L"README", 1, 0x81A4, 1, 2, 3, 4, 0);
    EXPECT_TRUE(noext.extension.empty());

    file_entry_w a(L"alpha.txt", 1, 0x81A4, 50, 0, 0, 0, 0);
    file_entry_w b(L"ALPHA.TXT", 1, 0x81A4, 40, 0, 0, 0, 0);
    file_entry_w c(L"beta.txt", 1, 0x81A4, 60, 0, 0, 0, 0);
    EXPECT_TRUE(file_entry_w_name_equal(a, b));
    EXPECT_FALSE(file_entry_w_name_less(a, b));
    EXPECT_TRUE(file_entry_w_name_less(b, c));
    EXPECT_TRUE(file_entry_w_created_less(b, a));

    std::wstring folder(L"C:\\data");
    std::copy(folder.begin(), folder.end(), a.folder);
    a.folder[folder.size()] = L'\0';
    a.name[5] = L'\0';  // "alpha"
    a.extension = L"txt";
    const file_entry e(a);
    EXPECT_EQ(e.path, "C:\\data\\alpha.txt");
    EXPECT_EQ(e.path_lower, "c:\\data\\alpha.txt");
    EXPECT_EQ(e.created, 50u);
    EXPECT_EQ(e.value32, 0u);
}

TEST_F(FileStatsTest, file_entry_set_and_print) {
    file_entry e;
    file_entry_set(e, std::wstring(L"/var/Data/notes.db"), 0x1234, 5, 6, 0x81A4, 0, 1000000000, 0, 1000000001,
                   0644);
    EXPECT_EQ(e.folder, "/var/Data");
    EXPECT_EQ(e.name, "notes.db");
    EXPECT_EQ(e.extension, "db");
    EXPECT_EQ(e.path_lower, "/var/data/notes.db");
    EXPECT_EQ(e.value64, 5u);
    EXPECT_EQ(e.value32, 6u);
    std::string out = "> ";
    file_entry_print(e, out);
    const std::string expected =
        "> path:         /var/Data/notes.db\n"
        "filename:     notes.db\n"
        "ext:          db\n"
        "file size     00001234\n"
        "flags:        81a4 [regular]\n"
        "created:      0000000000000000 [ ]\n"
        "altered:      000000003b9aca00 [2001-09-09 01:46:40.000]\n"
        "mft changed:  0000000000000000 [ ]\n"
        "accessed:     000000003b9aca01 [2001-09-09 01:46:41.000]\n"
        "permissions:  000001a4\n";
    EXPECT_EQ(out, expected);

    file_entry_set(e, std::wstring(L"/tmp/dir"), 0, 0x41ED, 7, 8, 9, 10, 0);
    EXPECT_EQ(e.value64, 0u);
    EXPECT_EQ(e.created, 7u);
    EXPECT_EQ(e.name, "dir.");
    std::string dir_out;
    file_entry_print(e, dir_out);
    EXPECT_NE(dir_out.find("flags:        41ed [directory]\n"), std::string::npos);
    file_entry_set(e, "/dev/x", 0, 0, 0, 0x2190, 0, 0, 0, 0, 0);
    std::string dev_out;
    file_entry_print(e, dev_out);
    EXPECT_NE(dev_out.find("[char special]"), std::string::npos);
}

}  // namespace
