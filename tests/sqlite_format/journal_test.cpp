#include "sqlite_format/journal.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/fileio.h"
#include "reader_fixtures.h"

using namespace reader_fixtures;

namespace {

// A journal header with a live magic, then `records` page records of `page_size` bytes.
std::vector<std::uint8_t> make_journal(std::uint32_t page_size, std::uint32_t records) {
  std::vector<std::uint8_t> b(512, 0);
  const std::uint8_t magic[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
  std::copy(magic, magic + 8, b.begin());
  put_be32(b, 8, records);
  put_be32(b, 12, 0x12345678);  // nonce
  put_be32(b, 16, 10);          // initial size in pages
  put_be32(b, 20, 512);         // sector size
  put_be32(b, 24, page_size);
  for (std::uint32_t k = 0; k < records; ++k) {
    const std::size_t at = b.size();
    b.resize(at + page_size + 8, static_cast<std::uint8_t>(k + 1));
    put_be32(b, at, k + 2);
  }
  return b;
}

int parse_bytes(const temp_dir& dir, const std::vector<std::uint8_t>& bytes, journal_page_map& pages,
                std::uint32_t& page_size) {
  const std::string p = dir.file("t.db-journal");
  write_all(p, bytes);
  uni::fileio f;
  if (!f.open(p, false, false, false)) return -1;
  return parse_rollback_journal(pages, page_size, f);
}

}  // namespace

TEST(ParseRollbackJournal, record_ending_at_the_file_end_is_read) {
  temp_dir dir;
  auto b = make_journal(1024, 3);
  ASSERT_EQ(b.size(), 512u + 3 * 1032);
  journal_page_map pages;
  std::uint32_t ps = 1024;
  ASSERT_EQ(parse_bytes(dir, b, pages, ps), 1);
  EXPECT_EQ(pages, (journal_page_map{{2, 516}, {3, 516 + 1032}, {4, 516 + 2 * 1032}}));
  // One byte short and the third record is not whole.
  b.pop_back();
  ASSERT_EQ(parse_bytes(dir, b, pages, ps), 1);
  EXPECT_EQ(pages.size(), 2u);
}

TEST(ParseRollbackJournal, journal_page_size_replaces_the_callers) {
  temp_dir dir;
  auto b = make_journal(1024, 4);
  journal_page_map pages;
  std::uint32_t ps = 4096;
  ASSERT_EQ(parse_bytes(dir, b, pages, ps), 1);
  EXPECT_EQ(ps, 1024u);
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(std::next(pages.begin())->second, 516u + 1032);
}

TEST(ParseRollbackJournal, zeroed_header_needs_a_plausible_first_page) {
  temp_dir dir;
  auto b = make_journal(512, 3);
  std::fill(b.begin(), b.begin() + 8, 0);
  journal_page_map pages;
  std::uint32_t ps = 0;
  put_be32(b, 512, 0);
  EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);
  EXPECT_TRUE(pages.empty());
  put_be32(b, 512, 0x1FFFFF);
  EXPECT_EQ(parse_bytes(dir, b, pages, ps), 1);
  EXPECT_EQ(pages.begin()->first, 3u);  // the records as stored; the first one's number is 0x1FFFFF
  EXPECT_EQ(pages.count(0x1FFFFF), 1u);
  put_be32(b, 512, 0x200000);
  EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);
}

TEST(ParseRollbackJournal, short_and_refused_journals) {
  temp_dir dir;
  auto b = make_journal(1024, 0);
  b.resize(515);
  journal_page_map pages;
  std::uint32_t ps = 1024;
  EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);  // the header passes, no record
  EXPECT_TRUE(pages.empty());
  b.resize(511);
  EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);
  // Page sizes that are not a power of two from 512 to 65536 are refused.
  for (std::uint32_t bad : {0u, 1u, 100u, 1000u, 131072u}) {
    auto j = make_journal(1024, 3);
    put_be32(j, 24, bad);
    std::uint32_t in = 1024;
    EXPECT_EQ(parse_bytes(dir, j, pages, in), 0) << bad;
    EXPECT_TRUE(pages.empty());
  }
  uni::fileio closed;
  EXPECT_EQ(parse_rollback_journal(pages, ps, closed), 0);
}

TEST(ParseRollbackJournal, hot_journal_holds_the_pages_before_the_transaction) {
  temp_dir dir;
  const std::string live = dir.file("live.db");
  std::string sql = "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);";
  sql += "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200) "
         "INSERT INTO t SELECT x, 'before ' || x FROM c;";
  make_db(live, 1024, sql);
  const auto before = read_all(live);
  sqlite3* db = open_db(live);
  ASSERT_NE(db, nullptr);
  exec(db, "PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;");
  exec(db, "BEGIN; UPDATE t SET v = 'after ' || id;");
  const auto journal = read_all(live + "-journal");
  exec(db, "ROLLBACK;");
  sqlite3_close(db);
  ASSERT_GT(journal.size(), 512u);
  const std::string copy = dir.file("copy.db-journal");
  write_all(copy, journal);
  uni::fileio f;
  ASSERT_TRUE(f.open(copy, false, false, false));
  journal_page_map pages;
  std::uint32_t ps = 0;
  ASSERT_EQ(parse_rollback_journal(pages, ps, f), 1);
  EXPECT_EQ(ps, 1024u);
  ASSERT_GT(pages.size(), 2u);
  for (const auto& p : pages) {
    ASSERT_GE(p.first, 1u);
    ASSERT_LE(p.first * 1024, before.size());
    ASSERT_LE(p.second + 1024, journal.size());
    // Each image is the page as it was before the update.
    EXPECT_TRUE(std::equal(journal.begin() + static_cast<long>(p.second),
                           journal.begin() + static_cast<long>(p.second) + 1024,
                           before.begin() + static_cast<long>((p.first - 1) * 1024)))
        << "page " << p.first;
  }
}
