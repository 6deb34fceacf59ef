#include "sqlite_format/wal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/database_source.h"
#include "thread_start_failure.h"
#include "wal_fixtures.h"

using namespace reader_fixtures;

namespace {

// Builds a log by hand: a header, then frames appended one by one, every checksum as the library writes it.
class wal_builder {
  public:
    explicit wal_builder(std::uint32_t page_size, std::uint32_t salt1 = 0x11111111,
                         std::uint32_t salt2 = 0x22222222)
        : page_size_(page_size), bytes_(32, 0) {
        put_be32(bytes_, 0, 0x377F0682);
        put_be32(bytes_, 4, 3007000);
        put_be32(bytes_, 8, page_size);
        put_be32(bytes_, 16, salt1);
        put_be32(bytes_, 20, salt2);
        reseal_wal(bytes_);
    }
    // Appends a frame whose page image is filled with `fill`; returns its offset.
    std::uint64_t frame(std::uint32_t page, std::uint32_t commit, std::uint8_t fill,
                        std::uint32_t salt1 = 0x11111111, std::uint32_t salt2 = 0x22222222) {
        const std::uint64_t at = bytes_.size();
        bytes_.resize(bytes_.size() + 24 + page_size_, fill);
        put_be32(bytes_, at, page);
        put_be32(bytes_, at + 4, commit);
        put_be32(bytes_, at + 8, salt1);
        put_be32(bytes_, at + 12, salt2);
        reseal_wal(bytes_);
        return at;
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    std::uint32_t page_size_;
    std::vector<std::uint8_t> bytes_;
};

struct wal_maps {
    region_map overwritten, superseded, slack;
    wal_frame_map valid;
    int result = -1;
};

wal_maps parse_bytes(const temp_dir& dir, const std::vector<std::uint8_t>& bytes) {
    const std::string p = dir.file("test.db-wal");
    write_all(p, bytes);
    wal_maps m;
    m.result = parse_wal_path(m.overwritten, m.valid, m.superseded, m.slack, p);
    return m;
}

}  // namespace

TEST(WalHeader, magic_version_and_page_size) {
    wal_builder w(1024);
    std::uint32_t ps = 0;
    EXPECT_EQ(wal_header_valid(w.bytes().data(), 32, &ps), 1);
    EXPECT_EQ(ps, 1024u);
    EXPECT_EQ(wal_header_valid(w.bytes().data(), 31, &ps), 0);
    auto b = w.bytes();
    b[3] = 0x83;
    EXPECT_EQ(wal_header_valid(b.data(), 32, &ps), 1);
    b[3] = 0x84;
    EXPECT_EQ(wal_header_valid(b.data(), 32, &ps), 0);
    b = w.bytes();
    put_be32(b, 4, 0);
    EXPECT_EQ(wal_header_valid(b.data(), 32, &ps), 0);
    // 65536 is a page size of the format; the others are not.
    b = w.bytes();
    put_be32(b, 8, 65536);
    EXPECT_EQ(wal_header_valid(b.data(), 32, &ps), 1);
    EXPECT_EQ(ps, 65536u);
    for (std::uint32_t bad : {0u, 1u, 256u, 1000u, 0x10200u, 131072u}) {
        put_be32(b, 8, bad);
        EXPECT_EQ(wal_header_valid(b.data(), 32, &ps), 0) << bad;
    }
}

TEST(ParseWal, frames_without_commit_are_all_superseded) {
    temp_dir dir;
    wal_builder w(512);
    const auto f1 = w.frame(2, 0, 0xAA);
    const auto f2 = w.frame(3, 0, 0xBB);
    auto m = parse_bytes(dir, w.bytes());
    EXPECT_EQ(m.result, 1);
    EXPECT_TRUE(m.valid.empty());
    EXPECT_EQ(m.superseded, (region_map{{f1 + 24, 512}, {f2 + 24, 512}}));
    EXPECT_TRUE(m.overwritten.empty());
}

TEST(ParseWal, later_commit_supersedes_the_earlier_frame) {
    temp_dir dir;
    wal_builder w(512);
    const auto f1 = w.frame(5, 5, 0x01);
    const auto f2 = w.frame(5, 5, 0x02);
    auto m = parse_bytes(dir, w.bytes());
    EXPECT_EQ(m.result, 1);
    EXPECT_EQ(m.valid, (wal_frame_map{{5, f2}}));
    EXPECT_EQ(m.superseded, (region_map{{f1 + 24, 512}}));
    EXPECT_EQ(m.overwritten, (region_map{{4 * 512, 512}}));
}

TEST(ParseWal, page_written_twice_in_one_transaction_keeps_the_newer_frame) {
    temp_dir dir;
    wal_builder w(512);
    const auto f1 = w.frame(2, 0, 0x01);
    const auto f2 = w.frame(3, 0, 0x02);
    const auto f3 = w.frame(2, 3, 0x03);  // commit frame rewrites page 2
    auto m = parse_bytes(dir, w.bytes());
    EXPECT_EQ(m.valid, (wal_frame_map{{2, f3}, {3, f2}}));
    // The older version of page 2 is not lost: it is superseded.
    EXPECT_EQ(m.superseded, (region_map{{f1 + 24, 512}}));
}

TEST(ParseWal, foreign_salts_and_foreign_commits) {
    temp_dir dir;
    wal_builder w(512);
    const auto f1 = w.frame(2, 2, 0x01);                          // committed
    const auto f2 = w.frame(3, 0, 0x02);                          // pending
    const auto f3 = w.frame(4, 0, 0x03, 0x11111111, 0x99999999);  // salt-2 differs: foreign
    const auto f4 = w.frame(5, 5, 0x04, 0x77777777, 0x22222222);  // foreign commit
    const auto f5 = w.frame(6, 0, 0x05);                          // pending after the foreign commit
    auto m = parse_bytes(dir, w.bytes());
    EXPECT_EQ(m.valid, (wal_frame_map{{2, f1}}));
    EXPECT_EQ(m.superseded, (region_map{{f2 + 24, 512}, {f3 + 24, 512}, {f4 + 24, 512}, {f5 + 24, 512}}));
}

TEST(ParseWal, frame_with_one_salt_changed_stays_superseded_before_a_matching_commit) {
    // Either salt alone differing makes a frame foreign and ends the log there, as for the library: a later
    // commit of the current salts makes neither valid nor lays them into a rebuilt image.
    for (const auto& salts :
         {std::pair<std::uint32_t, std::uint32_t>{0x11111111, 0x99999999}, {0x77777777, 0x22222222}}) {
        temp_dir dir;
        wal_builder w(512);
        const auto foreign = w.frame(2, 0, 0xAA, salts.first, salts.second);
        const auto commit = w.frame(3, 3, 0xBB);
        auto m = parse_bytes(dir, w.bytes());
        EXPECT_TRUE(m.valid.empty()) << std::hex << salts.first;
        EXPECT_EQ(m.superseded, (region_map{{foreign + 24, 512}, {commit + 24, 512}}));
        EXPECT_TRUE(m.overwritten.empty());
        std::vector<std::uint8_t> image;
        EXPECT_EQ(build_wal_db_image(image, dir.file("test.db-wal")), 0);
    }
}

TEST(ParseWal, walk_ends_at_page_zero_and_at_a_truncated_tail) {
    temp_dir dir;
    wal_builder w(512);
    const auto f1 = w.frame(2, 2, 0x01);
    const auto zero = w.frame(0, 0, 0x02);
    const auto after = w.frame(3, 3, 0x03);  // after the zero page: past the log's end, carved only
    auto m = parse_bytes(dir, w.bytes());
    EXPECT_EQ(m.valid, (wal_frame_map{{2, f1}}));
    EXPECT_EQ(m.superseded, (region_map{{zero + 24, 512}, {after + 24, 512}}));

    wal_builder t(512);
    const auto g1 = t.frame(2, 2, 0x01);
    t.frame(3, 3, 0x03);
    auto cut = t.bytes();
    cut.resize(cut.size() - 100);  // the last frame's image is cut
    m = parse_bytes(dir, cut);
    EXPECT_EQ(m.valid, (wal_frame_map{{2, g1}}));
    EXPECT_TRUE(m.superseded.empty());
    cut.resize(32 + 10);  // not even one frame header
    m = parse_bytes(dir, cut);
    EXPECT_EQ(m.result, 0);
}

// Which frames count, as the library's recovery of a log takes them: the valid prefix (page number, the
// header's salts, the checksum chained from the header's) up to its last commit frame; every other frame is
// superseded, none lost. The log: F0 page 2; F1 page 3, commit; F2 page 2; F3 page 4, commit; F4 page 5.
TEST(ParseWal, frames_are_taken_up_to_the_last_commit_before_the_first_that_fails) {
    struct prefix_case {
        const char* name;
        std::size_t at;          // offset in the log of the bytes edited
        std::uint32_t value;     // written there, big-endian
        bool flip;               // instead: the byte at `at` flipped
        bool reseal;             // the checksums written afresh after the edit
        std::vector<int> taken;  // the frame of each of pages 2, 3, 4 taken (-1: none)
        std::uint64_t pages;     // the last taken commit's size
    };
    const std::size_t f1 = 32 + 536, f2 = 32 + 2 * 536, f3 = 32 + 3 * 536;
    const prefix_case cases[] = {
        {"intact: the frame after the last commit is not taken", 0, 0x377F0682, false, false, {2, 1, 3}, 4},
        {"big-endian checksums", 0, 0x377F0683, false, true, {2, 1, 3}, 4},
        {"header checksum", 28, 0, true, false, {-1, -1, -1}, 0},
        {"format version the library refuses", 4, 3007001, false, true, {-1, -1, -1}, 0},
        {"first commit's checksum", f1 + 16, 0, true, false, {-1, -1, -1}, 0},
        {"F2's checksum", f2 + 20, 0, true, false, {0, 1, -1}, 3},
        {"F2's salt-1", f2 + 8, 0x12345678, false, true, {0, 1, -1}, 3},
        {"F2's salt-2", f2 + 12, 0x12345678, false, true, {0, 1, -1}, 3},
        {"F2's page number 0", f2, 0, false, true, {0, 1, -1}, 3},
        {"the last commit's size edited", f3 + 4, 9, false, false, {0, 1, -1}, 3},
    };
    for (const prefix_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        wal_builder w(512);
        std::vector<std::uint64_t> frames;
        for (const auto& f : {std::pair<std::uint32_t, std::uint32_t>{2, 0}, {3, 3}, {2, 0}, {4, 4}, {5, 0}})
            frames.push_back(w.frame(f.first, f.second, static_cast<std::uint8_t>(frames.size() + 1)));
        auto b = w.bytes();
        if (c.flip)
            b[c.at] ^= 1;
        else
            put_be32(b, c.at, c.value);
        if (c.reseal) reseal_wal(b);
        const wal_maps m = parse_bytes(dir, b);
        EXPECT_EQ(m.result, 1);
        wal_frame_map valid;
        region_map superseded;
        for (const std::uint64_t f : frames) superseded.emplace(f + 24, 512);
        for (std::uint32_t page = 2; page <= 4; ++page) {
            const int frame = c.taken[page - 2];
            if (frame < 0) continue;
            valid.emplace(page, frames[static_cast<std::size_t>(frame)]);
            superseded.erase(frames[static_cast<std::size_t>(frame)] + 24);
        }
        EXPECT_EQ(m.valid, valid);
        EXPECT_EQ(m.superseded, superseded);
        uni::fileio file;
        ASSERT_TRUE(file.open(dir.file("test.db-wal"), false, false, false));
        wal_frame_map commits;
        std::uint64_t pages = 99;
        EXPECT_EQ(map_wal_commits(commits, pages, file), 1);
        EXPECT_EQ(commits, valid);
        EXPECT_EQ(pages, c.pages);
        EXPECT_EQ(wal_committed_pages(file), c.pages);
    }
}

TEST(ParseWal, bad_headers_and_files_fail) {
    temp_dir dir;
    wal_builder w(512);
    w.frame(2, 2, 0x01);
    auto b = w.bytes();
    put_be32(b, 8, 65536 + 512);
    EXPECT_EQ(parse_bytes(dir, b).result, 0);
    b = w.bytes();
    put_be32(b, 4, 0);
    EXPECT_EQ(parse_bytes(dir, b).result, 0);
    wal_maps m;
    EXPECT_EQ(parse_wal_path(m.overwritten, m.valid, m.superseded, m.slack, ""), 0);
    EXPECT_EQ(parse_wal_path(m.overwritten, m.valid, m.superseded, m.slack, dir.file("none-wal")), 0);
    uni::fileio closed;
    EXPECT_EQ(parse_wal_file(m.overwritten, m.valid, m.superseded, m.slack, closed), 0);
}

TEST(ParseWal, slack_of_valid_frames_is_mapped_in_the_log) {
    temp_dir dir;
    wal_builder w(512);
    const auto f1 = w.frame(2, 2, 0x00);
    // Page image: a leaf with 3 cells and content start 100, so a gap from 14 to 100; its cells end where the
    // database's 8 reserved bytes begin, which hold none.
    auto& b = w.bytes();
    b[f1 + 24] = 13;
    put_be16(b, f1 + 24 + 3, 3);
    put_be16(b, f1 + 24 + 5, 100);
    ASSERT_EQ(lay_cells(b, f1 + 24, 100, {4, 4, 396}), 504u);
    reseal_wal(b);
    auto m = parse_bytes(dir, b);
    const std::uint64_t image = f1 + 24;
    EXPECT_EQ(m.slack, (region_map{{image + 14, 86}, {image + 504, 8}}));
    uni::fileio file;
    ASSERT_TRUE(file.open(dir.file("test.db-wal"), false, false, false));
    wal_sort sort;
    ASSERT_EQ(sort_wal_log(sort, file), 1);
    region_map overwritten;
    map_wal_regions(overwritten, m.slack, sort, file, 0, 8);
    EXPECT_EQ(m.slack, (region_map{{image + 14, 86}}));
}

TEST(BuildWalDbImage, from_the_log_path_holds_only_log_pages) {
    temp_dir dir;
    wal_builder w(512);
    w.frame(3, 0, 0x33);
    w.frame(1, 3, 0x11);
    const std::string p = dir.file("x.db-wal");
    write_all(p, w.bytes());
    std::vector<std::uint8_t> image{9};
    ASSERT_EQ(build_wal_db_image(image, p), 1);
    ASSERT_EQ(image.size(), 3u * 512);
    EXPECT_EQ(image[0], 0x11);
    EXPECT_EQ(image[511], 0x11);
    EXPECT_EQ(image[512], 0);  // page 2 is not in the log
    EXPECT_EQ(image[1024], 0x33);
    EXPECT_EQ(image[1535], 0x33);
}

TEST(BuildWalDbImage, refused_logs_leave_the_image_empty) {
    temp_dir dir;
    std::vector<std::uint8_t> image{1, 2};
    EXPECT_EQ(build_wal_db_image(image, ""), 0);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(build_wal_db_image(image, dir.file("absent.db")), 0);
    // No valid frame.
    wal_builder w(512);
    w.frame(2, 0, 0x01);
    write_all(dir.file("n.db-wal"), w.bytes());
    EXPECT_EQ(build_wal_db_image(image, dir.file("n.db-wal")), 0);
    // A valid page far out would make an image past the 2 GiB cap: refused, nothing allocated.
    wal_builder far(65536);
    far.frame(0x10000, 0x10000, 0x01);  // 65536 pages x 65536 bytes = 4 GiB
    write_all(dir.file("far.db-wal"), far.bytes());
    EXPECT_EQ(build_wal_db_image(image, dir.file("far.db-wal")), 0);
    EXPECT_TRUE(image.empty());
    wal_builder huge(512);
    huge.frame(0xFFFFFFFFu, 1, 0x01);
    write_all(dir.file("huge.db-wal"), huge.bytes());
    EXPECT_EQ(build_wal_db_image(image, dir.file("huge.db-wal")), 0);
    EXPECT_TRUE(image.empty());
}

TEST(BuildWalDbImage, database_without_readable_header_takes_the_log_pages) {
    // The main file of a database that never reached a checkpoint can be empty: the image is then
    // built from the log alone instead of failing silently.
    temp_dir dir;
    const std::string db = dir.file("empty.db");
    write_all(db, {});
    wal_builder w(512);
    w.frame(2, 2, 0x22);
    write_all(db + "-wal", w.bytes());
    std::vector<std::uint8_t> image;
    ASSERT_EQ(build_wal_db_image(image, db), 1);
    ASSERT_EQ(image.size(), 1024u);
    EXPECT_EQ(image[600], 0x22);
}

namespace {

// A database in WAL mode whose log holds several commits, copied while the connection is open so
// that no checkpoint empties the log.
void make_wal_db(const temp_dir& dir, std::string* db_copy) {
    const std::string live = dir.file("live.db");
    sqlite3* db = open_db(live);
    ASSERT_NE(db, nullptr);
    exec(db,
         "PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA "
         "wal_autocheckpoint=0;");
    exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);");
    for (int c = 0; c < 5; ++c) {
        std::string sql = "BEGIN;";
        for (int i = 0; i < 20; ++i)
            sql +=
                "INSERT INTO t(v) VALUES('commit " + std::to_string(c) + " row " + std::to_string(i) + "');";
        sql += "UPDATE t SET v = v || ' updated' WHERE id % 5 = 0; COMMIT;";
        exec(db, sql);
        // The first commit reaches the file: a log that gives nothing leaves rows to read.
        if (c == 0) exec(db, "PRAGMA wal_checkpoint(TRUNCATE);");
    }
    exec(db, "DELETE FROM t WHERE id % 4 = 0;");
    *db_copy = dir.file("copy.db");
    ASSERT_TRUE(copy_file(live, *db_copy));
    ASSERT_TRUE(copy_file(live + "-wal", *db_copy + "-wal"));
    sqlite3_close(db);
}

using rows_of_t = std::vector<std::vector<std::string>>;

// The rows of t in the state our readers take from `db` beside `log`: the rebuilt image, or the file alone
// where the log gives no frame; and the rows the library reads from a copy of both, each in a folder of its
// own, in rollback mode so that neither looks for a log beside it.
std::pair<rows_of_t, rows_of_t> our_and_library_rows(const std::string& db,
                                                     const std::vector<std::uint8_t>& log) {
    temp_dir ours, library;
    const std::string ours_db = ours.file("ours.db"), library_db = library.file("library.db");
    EXPECT_TRUE(write_all(ours_db + "-wal", log));
    EXPECT_TRUE(copy_file(db, ours_db));
    std::vector<std::uint8_t> image;
    if (!build_wal_db_image(image, ours_db)) image = read_all(db);
    image[18] = image[19] = 1;
    EXPECT_TRUE(write_all(ours_db + "-state", image));
    EXPECT_TRUE(copy_file(db, library_db));
    EXPECT_TRUE(write_all(library_db + "-wal", log));
    const char* sql = "SELECT id, v FROM t ORDER BY id";
    return {query(ours_db + "-state", sql), query(library_db, sql)};
}

}  // namespace

TEST(ParseWal, real_log_with_several_commits) {
    temp_dir dir;
    std::string db;
    make_wal_db(dir, &db);
    wal_maps m;
    ASSERT_EQ(parse_wal_path(m.overwritten, m.valid, m.superseded, m.slack, db + "-wal"), 1);
    ASSERT_FALSE(m.valid.empty());
    EXPECT_FALSE(m.superseded.empty());  // pages rewritten by later commits
    EXPECT_EQ(m.overwritten.size(), m.valid.size());
    const auto wal_size = read_all(db + "-wal").size();
    for (const auto& v : m.valid) {
        EXPECT_EQ((v.second - 32) % (1024 + 24), 0u);
        EXPECT_EQ(m.overwritten.count((v.first - 1) * 1024), 1u);
        EXPECT_EQ(m.superseded.count(v.second + 24), 0u);  // a valid frame is never superseded
    }
    for (const auto& s : m.superseded) EXPECT_LE(s.first + s.second, wal_size);

    // The image holds the committed state: the library reads it as the same database.
    std::vector<std::uint8_t> image;
    ASSERT_EQ(build_wal_db_image(image, db), 1);
    const std::string image_path = dir.file("image.db");
    // The image's header still says WAL mode; a rollback-mode header lets the library read it alone.
    image[18] = 1;
    image[19] = 1;
    write_all(image_path, image);
    EXPECT_EQ(query(image_path, "SELECT id, v FROM t ORDER BY id"),
              query(db, "SELECT id, v FROM t ORDER BY id"));

    uni::fileio mem;
    ASSERT_TRUE(mem.open(db, false, false, false));
    ASSERT_EQ(open_wal_companion(mem, db), 1);
    EXPECT_TRUE(mem.overlay != nullptr);
    EXPECT_FALSE(mem.in_memory);
    EXPECT_EQ(mem.size(), image.size());
}

// A log the library wrote, damaged: the state our readers take is the one the library reads, in either
// word order of its checksums. A log whose format version the library refuses gives no frame.
TEST(ParseWal, damaged_real_logs_give_the_state_the_library_reads) {
    temp_dir dir;
    std::string db;
    make_wal_db(dir, &db);
    const std::vector<std::uint8_t> intact = read_all(db + "-wal");
    std::vector<std::size_t> commits;  // of the commit frames
    for (std::size_t f = 32; f + 24 + 1024 <= intact.size(); f += 24 + 1024)
        if (get_be32(intact, f + 4) != 0) commits.push_back(f);
    ASSERT_GE(commits.size(), 4u);
    const std::size_t next = 24 + 1024;  // to the frame after
    struct real_case {
        const char* name;
        std::size_t at;
        std::uint32_t value;
        bool flip, reseal;
    };
    const real_case cases[] = {
        {"intact", 0, 0x377F0682, false, false},
        {"big-endian checksums", 0, 0x377F0683, false, true},
        {"header checksum", 24, 0, true, false},
        {"second commit's checksum", commits[1] + 16, 0, true, false},
        {"the last commit's size edited", commits.back() + 4, 3, false, false},
        {"salt-1 after the first commit", commits[0] + next + 8, 7, false, true},
        {"page number 0 after the second commit", commits[1] + next, 0, false, true},
        {"format version", 4, 3007001, false, true},
    };
    const rows_of_t all = our_and_library_rows(db, intact).second;
    ASSERT_FALSE(all.empty());
    for (const real_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> log = intact;
        if (c.flip)
            log[c.at] ^= 1;
        else
            put_be32(log, c.at, c.value);
        if (c.reseal) reseal_wal(log);
        const auto rows = our_and_library_rows(db, log);
        if (c.value == 3007001) {
            // The library refuses the database; our readers take the file alone.
            EXPECT_TRUE(rows.second.empty());
            EXPECT_FALSE(rows.first.empty());
            wal_maps m = parse_bytes(dir, log);
            EXPECT_TRUE(m.valid.empty());
            continue;
        }
        EXPECT_EQ(rows.first, rows.second);
        EXPECT_FALSE(rows.second.empty());
        EXPECT_EQ(rows.second == all, c.at < 4) << "the damage drops commits";
    }
}

TEST(ParseWal, helper_threads_and_one_walk_of_the_headers_give_the_maps_of_one_thread) {
    temp_dir dir;
    const std::string live = dir.file("many.db");
    sqlite3* db = open_db(live);
    ASSERT_NE(db, nullptr);
    exec(db,
         "PRAGMA secure_delete=OFF; PRAGMA page_size=512; PRAGMA journal_mode=WAL; PRAGMA "
         "wal_autocheckpoint=0;"
         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);");
    for (int c = 0; c < 4; ++c)
        exec(db,
             "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1600) "
             "INSERT INTO t(v) SELECT printf('row %d of commit " +
                 std::to_string(c) + " %.*c', i, 60, 'x') FROM n; COMMIT;");
    exec(db, "DELETE FROM t WHERE id % 3 = 0;");
    const std::string wal = dir.file("copy.db-wal");
    ASSERT_TRUE(copy_file(live + "-wal", wal));
    sqlite3_close(db);

    uni::fileio file;
    ASSERT_TRUE(file.open(wal, false, false, false));
    wal_maps one;
    ASSERT_EQ(parse_wal_file(one.overwritten, one.valid, one.superseded, one.slack, file), 1);
    ASSERT_GE(one.valid.size(), 1024u);  // enough frames for the helpers to take part
    ASSERT_FALSE(one.slack.empty());

    // Helpers started, and every start refused: the same maps. A helper that runs out of memory as it starts
    // ends the parse as memory running out, for the run to say so.
    for (const int failing : {0, -1}) {
        thread_start_failure::scope hook(failing, thread_start_outcome::refuse);
        wal_maps many;
        ASSERT_EQ(parse_wal_file(many.overwritten, many.valid, many.superseded, many.slack, file, 3), 1);
        EXPECT_GE(hook.started(), 1);
        EXPECT_EQ(many.slack, one.slack);
        EXPECT_EQ(many.valid, one.valid);
        EXPECT_EQ(many.superseded, one.superseded);
        EXPECT_EQ(many.overwritten, one.overwritten);
    }
    {
        thread_start_failure::scope hook(1, thread_start_outcome::fail);
        wal_maps many;
        EXPECT_THROW(parse_wal_file(many.overwritten, many.valid, many.superseded, many.slack, file, 3),
                     std::bad_alloc);
    }

    wal_frame_map valid;
    std::uint64_t pages = 0;
    EXPECT_EQ(map_wal_commits(valid, pages, file), 1);
    EXPECT_EQ(valid, one.valid);
    EXPECT_EQ(pages, wal_committed_pages(file));
    EXPECT_NE(pages, 0u);
}
