// The selk executable and the files beside a database: its write-ahead log or hot journal is found beside the
// file the given path reaches, however the path is spelled; an old journal whose page size reads 0, one of
// 8 KiB pages and one whose playback a checksum ends roll back as SQLite rolls them back, and one that names
// a super-journal is taken as SQLite takes it; the pages of a transaction that never committed are carved
// whole; no run of the own reader moves the access time of the database, its log or its journal, and no walk
// of "-enumdir" that of a folder it lists.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "companion_fixtures.h"
#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"
#include "sqlite_format/wal_fixtures.h"

namespace {

namespace fx = notification_fixtures;
using companion_fixtures::make_hot_evidence;
using driver_checks::file_times;
using driver_checks::set_file_times;
using driver_checks::utc_seconds;
using selk_process::run;

// A database in write-ahead-log mode: 80 rows checkpointed into the file; its log deletes every third,
// retypes every fourth and adds 20 (copied while the writer is open, as a crash leaves them).
void make_wal_evidence(const fx::temp_dir& work, const std::string& db) {
    const std::string live = work.file("wal_live.db");
    sqlite3* h = fx::open_db(live);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(h);
    fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(h, "BEGIN;");
    for (int i = 0; i < 80; ++i)
        fx::insert_notification(h, 200 + i, 300 + i, 68, "toast",
                                "<toast>checkpointed " + std::to_string(i) + "</toast>");
    fx::exec(h, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);");
    fx::exec(h,
             "DELETE FROM Notification WHERE [Order] % 3 = 0; UPDATE Notification SET Type = 'tile' WHERE "
             "[Order] % 4 = 0;");
    for (int i = 80; i < 100; ++i)
        fx::insert_notification(h, 200 + i, 300 + i, 68, "badge",
                                "<badge>logged " + std::to_string(i) + "</badge>");
    ASSERT_TRUE(fx::copy_file(live, db));
    ASSERT_TRUE(fx::copy_file(live + "-wal", db + "-wal"));
    sqlite3_close(h);
}

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b.at(at)) << 24) | (std::uint32_t(b.at(at + 1)) << 16) |
           (std::uint32_t(b.at(at + 2)) << 8) | b.at(at + 3);
}

// The file offset of each page record of a journal of pages of `page_size` bytes, in file order (and of each
// segment's header into `headers`, when given): each segment's header at a multiple of the first header's
// sector size, its counted records after that sector.
std::vector<std::size_t> journal_records(const std::vector<std::uint8_t>& j, std::size_t page_size,
                                         std::vector<std::size_t>* headers = nullptr) {
    std::vector<std::size_t> records;
    const std::size_t sector = be32(j, 20);
    for (std::size_t h = 0; h + sector <= j.size() && be32(j, h) == 0xD9D505F9u;) {
        if (headers != nullptr) headers->push_back(h);
        std::size_t r = h + sector;
        for (std::uint32_t k = be32(j, h + 8); k > 0 && r + page_size + 8 <= j.size();
             --k, r += page_size + 8)
            records.push_back(r);
        h = (r + sector - 1) / sector * sector;
    }
    return records;
}

// The live rows of a "-csv" report (those read from the tables) of hot evidence: of the committed state
// ("committed N"), and those the uncommitted transaction wrote ("uncommitted N", "grown N").
struct live_rows {
    int committed = 0;
    int uncommitted = 0;
};
live_rows live_rows_of(const std::string& out) {
    live_rows rows;
    for (const std::string& line : selk_process::lines(out)) {
        const std::vector<std::string> cells = selk_process::split(line, ",");
        if (cells.size() != 12u || (cells[8].find("\"src\":\"sqlite lib\"") == std::string::npos &&
                                    cells[8].find("\"src\":\"carve main\"") == std::string::npos))
            continue;
        if (cells[10].find(">committed ") != std::string::npos) ++rows.committed;
        if (cells[10].find(">uncommitted ") != std::string::npos ||
            cells[10].find(">grown ") != std::string::npos)
            ++rows.uncommitted;
    }
    return rows;
}

// The journal of `db` (pages of 1 KiB) as a transaction over several databases leaves it once it names its
// super-journal `name`: at the next multiple of the sector size the lock-byte page's number, the name, its
// length, the sum of its bytes taken as signed chars, and the magic.
void name_super_journal(const std::string& db, const std::string& name) {
    std::vector<std::uint8_t> j = fx::read_all(db + "-journal");
    ASSERT_GE(j.size(), 512u);
    const std::size_t sector = be32(j, 20);
    j.resize((j.size() + sector - 1) / sector * sector, 0);
    std::uint32_t sum = 0;
    for (const char c : name) sum += static_cast<std::uint32_t>(static_cast<signed char>(c));
    const auto put = [&j](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) j.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    put(0x40000000u / 1024 + 1);
    j.insert(j.end(), name.begin(), name.end());
    put(static_cast<std::uint32_t>(name.size()));
    put(sum);
    const std::uint8_t magic[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
    j.insert(j.end(), magic, magic + 8);
    ASSERT_TRUE(fx::write_all(db + "-journal", j));
}

// The journal of `db` as a SQLite that wrote 0 for the page size would have left it: the field of every
// header that carries the magic is 0.
void zero_journal_page_size(const std::string& db) {
    std::vector<std::uint8_t> journal = fx::read_all(db + "-journal");
    const std::uint8_t magic[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
    int headers = 0;
    for (std::size_t at = 0; at + 512 <= journal.size(); at += 512) {
        if (!std::equal(magic, magic + 8, journal.begin() + static_cast<long>(at))) continue;
        ASSERT_EQ(journal[at + 26], 0x04) << "a page size of 1024";
        journal[at + 26] = 0;
        ++headers;
    }
    ASSERT_GT(headers, 0);
    ASSERT_TRUE(fx::write_all(db + "-journal", journal));
}

// A report as two spellings of one database are compared: without the line that echoes the command, the path
// as given replaced by "<db>" (the "DB" cells), each cell without the padding the path's length sets.
std::vector<std::vector<std::string>> comparable(const std::string& out, const std::string& spelled,
                                                 const std::string& separator) {
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> all = selk_process::lines(out);
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i == 1) continue;
        std::string line = all[i];
        for (std::size_t at = line.find(spelled); at != std::string::npos; at = line.find(spelled, at + 4))
            line.replace(at, spelled.size(), "<db>");
        std::vector<std::string> cells;
        for (const std::string& cell : selk_process::split(line, separator))
            cells.push_back(selk_process::trim(cell));
        rows.push_back(cells);
    }
    return rows;
}

struct form {
    std::vector<std::string> args;
    std::string separator;
};
const std::vector<form> kForms = {{{"-carve", "-csv"}, ","}, {{"-incl_slack", "-csv"}, ","}, {{}, " | "}};

selk_process::result run_form(const std::string& db, const form& f) {
    std::vector<std::string> args = {"-db", db, "-quiet"};
    args.insert(args.end(), f.args.begin(), f.args.end());
    return run(args);
}

TEST(SelkProcess, EverySpellingOfADatabaseReadsItsCompanions) {
    fx::temp_dir work;
    fx::temp_dir dir;
    for (const char* folder : {"wal", "hot", "links", "links/deeper"})
        ASSERT_EQ(::mkdir(dir.file(folder).c_str(), 0755), 0);
    const std::string wal = dir.file("wal/evidence.db"), hot = dir.file("hot/evidence.db");
    make_wal_evidence(work, wal);
    make_hot_evidence(work, hot);
    const std::map<std::string, std::string> links = {
        {"links/wal.db", wal},
        {"links/wal_hop.db", "wal.db"},
        {"links/wal_chain.db", "wal_hop.db"},
        {"links/deeper/wal.db", "../../wal/evidence.db"},
        {"links/hot.db", hot},
        {"links/hot_hop.db", "hot.db"},
        {"links/hot_chain.db", "hot_hop.db"},
        {"links/deeper/hot.db", "../../hot/evidence.db"},
    };
    for (const auto& l : links)
        ASSERT_EQ(::symlink(l.second.c_str(), dir.file(l.first).c_str()), 0) << l.first;

    struct spelling {
        const char* what;
        std::string path;
        std::string same_as;  // the file whose report it must give
    };
    const std::vector<spelling> cases = {
        {"a link in another folder to a database with a log", dir.file("links/wal.db"), wal},
        {"a chain of links to it", dir.file("links/wal_chain.db"), wal},
        {"a relative link through ..", dir.file("links/deeper/wal.db"), wal},
        {"a link in another folder to a database with a hot journal", dir.file("links/hot.db"), hot},
        {"a chain of links to it", dir.file("links/hot_chain.db"), hot},
        {"a relative link through ..", dir.file("links/deeper/hot.db"), hot},
    };
    for (const form& f : kForms) {
        std::map<std::string, selk_process::result> expected;
        for (const std::string& db : {wal, hot}) {
            expected[db] = run_form(db, f);
            ASSERT_EQ(expected[db].status, 0) << db << " " << f.separator << ": " << expected[db].err;
        }
        // What the companions add: rows from the log, or from the journal and the uncommitted pages.
        const bool carved = !f.args.empty();
        EXPECT_EQ(carved,
                  expected[wal].out.find("main db page to be overwritten from wal") != std::string::npos)
            << f.separator;
        EXPECT_EQ(carved, expected[hot].out.find("carve journal") != std::string::npos) << f.separator;
        for (const spelling& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " " + (f.args.empty() ? "default" : f.args[0]));
            const selk_process::result r = run_form(c.path, f);
            EXPECT_EQ(r.status, expected[c.same_as].status);
            EXPECT_EQ(comparable(r.out, c.path, f.separator),
                      comparable(expected[c.same_as].out, c.same_as, f.separator));
        }
    }
}

TEST(SelkProcess, AHotJournalWhosePageSizeReadsZeroRollsBackAsWithItsPageSize) {
    fx::temp_dir work;
    fx::temp_dir dir;
    const std::string set = dir.file("set.db"), zeroed = dir.file("zeroed.db");
    make_hot_evidence(work, set);
    ASSERT_TRUE(fx::copy_file(set, zeroed));
    ASSERT_TRUE(fx::copy_file(set + "-journal", zeroed + "-journal"));
    zero_journal_page_size(zeroed);
    for (const form& f : kForms) {
        SCOPED_TRACE(f.args.empty() ? "default" : f.args[0]);
        const selk_process::result expected = run_form(set, f), r = run_form(zeroed, f);
        EXPECT_EQ(expected.status, 0) << expected.err;
        EXPECT_EQ(f.args.empty(), expected.out.find("carve journal") == std::string::npos);
        EXPECT_EQ(r.status, expected.status);
        EXPECT_EQ(comparable(r.out, zeroed, f.separator), comparable(expected.out, set, f.separator));
    }
}

// Every form reads beside a hot journal the state SQLite's rollback leaves: with 8 KiB pages (two blocks of
// the library's reader a page) the rolled-back file; where a record's checksum fails or a segment's header
// lacks its magic, the half-rolled-back tree at which SQLite's rollback stops (rows of the transaction left
// in it), its damage said, never the records after it laid over it, nor their pages carved as the
// transaction's.
TEST(SelkProcess, EveryFormReadsTheStateTheRollbackLeaves) {
    struct rollback_case {
        const char* name;
        int page_size;
        int flipped;  // the record (from 1) whose checksum is flipped; 0: none
        int zeroed;   // the segment (from 1) whose header's magic is zeroed; 0: none
        int status;   // 255: the tree check names the damage
        live_rows rows;
        std::size_t carved;  // the rows "-carve" and "-incl_slack" print in all
    };
    const rollback_case cases[] = {
        {"8 KiB pages", 8192, 0, 0, 0, {200, 0}, 0},
        {"the 9th record's checksum flipped", 1024, 9, 0, 255, {78, 18}, 503},
        {"the 4th segment's magic zeroed", 1024, 0, 4, 255, {95, 24}, 0},
    };
    for (const rollback_case& c : cases) {
        fx::temp_dir work;
        fx::temp_dir dir;
        const std::string db = dir.file("hot.db");
        make_hot_evidence(work, db, c.page_size);
        if (c.flipped != 0 || c.zeroed != 0) {
            std::vector<std::uint8_t> journal = fx::read_all(db + "-journal");
            std::vector<std::size_t> headers;
            const std::vector<std::size_t> records = journal_records(journal, c.page_size, &headers);
            ASSERT_GT(records.size(), 20u);
            ASSERT_GT(headers.size(), 4u);
            if (c.flipped != 0) {
                ASSERT_GT(records[c.flipped - 1] - records[0], (c.flipped - 1) * (c.page_size + 8u))
                    << "headers between them";
                journal[records[c.flipped - 1] + 4 + c.page_size] ^= 1;
            } else {
                std::fill_n(journal.begin() + static_cast<long>(headers[c.zeroed - 1]), 8, 0);
            }
            ASSERT_TRUE(fx::write_all(db + "-journal", journal));
        }
        for (const char* mode : {"", "-carve", "-incl_slack"}) {
            SCOPED_TRACE(std::string(c.name) + " " + mode);
            std::vector<std::string> args = {"-db", db, "-quiet", "-csv"};
            if (*mode != 0) args.push_back(mode);
            const selk_process::result r = run(args);
            EXPECT_EQ(r.status, c.status) << r.err;
            const live_rows rows = live_rows_of(r.out);
            EXPECT_EQ(rows.committed, c.rows.committed);
            EXPECT_EQ(rows.uncommitted, c.rows.uncommitted);
            if (*mode != 0 && c.carved != 0) {
                EXPECT_EQ(driver_checks::data_rows(r.out).size(), c.carved);
            }
            if (c.status == 0) {
                EXPECT_EQ(r.err, "");
                continue;
            }
            EXPECT_NE(r.err.find("prob reading table notification of " + db + ": page "), std::string::npos)
                << r.err;
            EXPECT_NE(r.err.find(" skipped: "), std::string::npos) << r.err;
        }
    }
}

// A hot journal that names a super-journal, taken in every form as SQLite takes it: one that is not there
// means that the transaction committed (the file as it stands is read, as beside a journal whose magic was
// zeroed); one there that reads is rolled back as without the name; one there that cannot be read (a folder)
// leaves the state unknown, which is said (its name's control bytes as text), and the run ends with 255 after
// the rows as the journal rolls them back.
TEST(SelkProcess, AHotJournalThatNamesASuperJournalIsTakenAsSQLiteTakesIt) {
    fx::temp_dir work;
    fx::temp_dir dir;
    const std::string hot = dir.file("hot.db"), committed = dir.file("committed.db");
    make_hot_evidence(work, hot, 1024, true);
    std::vector<std::uint8_t> journal = fx::read_all(hot + "-journal");
    std::fill(journal.begin(), journal.begin() + 8, 0);
    ASSERT_TRUE(fx::copy_file(hot, committed));
    ASSERT_TRUE(fx::write_all(committed + "-journal", journal));
    enum class super { absent, file, folder, long_name };
    struct super_case {
        const char* name;
        super made;
        std::string same_as;  // the evidence whose report it gives
        int status;
    };
    const super_case cases[] = {
        {"absent", super::absent, committed, 0},
        {"file", super::file, hot, 0},
        {"folder", super::folder, hot, 255},
        // A name longer than the library takes (a file reached through 3000 slashes) is no name: the journal
        // is hot, and the name is never read into the library's page-sized buffer.
        {"long", super::long_name, hot, 0},
    };
    for (const super_case& c : cases) {
        const std::string db = dir.file(std::string(c.name) + ".db");
        const std::string named = dir.file(std::string("super\x01") + c.name);
        ASSERT_TRUE(fx::copy_file(hot, db));
        ASSERT_TRUE(fx::copy_file(hot + "-journal", db + "-journal"));
        name_super_journal(
            db, c.made == super::long_name ? dir.path() + std::string(3000, '/') + "super" : named);
        // A super-journal lists the journals of its transaction, each ending in a zero byte.
        const std::string listed = db + "-journal";
        const std::vector<std::uint8_t> list(listed.c_str(), listed.c_str() + listed.size() + 1);
        if (c.made == super::file) {
            ASSERT_TRUE(fx::write_all(named, list));
        } else if (c.made == super::long_name) {
            ASSERT_TRUE(fx::write_all(dir.file("super"), list));
        } else if (c.made == super::folder) {
            ASSERT_EQ(::mkdir(named.c_str(), 0755), 0);
        }
        const std::string said = "prob reading companion " + db + "-journal of " + db +
                                 ": the super-journal it names, " + dir.file("super[0x01]") + c.name +
                                 ", cannot be read (Is a directory): the state of the database is unknown " +
                                 "(its rows are read as the journal rolls them back)\n";
        for (const form& f : kForms) {
            SCOPED_TRACE(std::string(c.name) + " " + (f.args.empty() ? "default" : f.args[0]));
            const selk_process::result r = run_form(db, f), expected = run_form(c.same_as, f);
            EXPECT_EQ(expected.status, 0) << expected.err;
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.err, c.status == 0 ? "" : said);
            EXPECT_EQ(comparable(r.out, db, f.separator), comparable(expected.out, c.same_as, f.separator));
        }
        // Nothing was written to the super-journal, nor made in its place.
        EXPECT_EQ(fx::exists(named), c.made == super::file || c.made == super::folder);
        if (c.made == super::file) {
            EXPECT_EQ(fx::read_all(named), list);
        }
    }
}

// A hot journal beside a log is taken as SQLite takes it: the journal rolled back first, then the log opened
// over that state, whether the log holds only its header or commits a frame of page 1: every form reads the
// 200 committed rows and none of the transaction that never committed.
TEST(SelkProcess, AHotJournalBesideALogIsRolledBackBeforeTheLogIsRead) {
    fx::temp_dir work;
    fx::temp_dir dir;
    const std::string hot = dir.file("hot.db");
    make_hot_evidence(work, hot);
    // A log of the committed state that commits page 1 alone (a change of its user version).
    const std::vector<std::uint8_t> log =
        companion_fixtures::log_over(work, work.file("hot_live.db"), "PRAGMA user_version=7;");
    ASSERT_EQ(log.size(), 32u + 24 + 1024) << "one frame";
    ASSERT_EQ(be32(log, 32), 1u) << "of page 1";
    struct log_case {
        const char* name;
        std::vector<std::uint8_t> log;
    };
    const log_case cases[] = {{"its header alone", std::vector<std::uint8_t>(log.begin(), log.begin() + 32)},
                              {"a commit of page 1", log}};
    for (const log_case& c : cases) {
        const std::string db = dir.file(std::string(c.name) + ".db");
        ASSERT_TRUE(fx::copy_file(hot, db) && fx::copy_file(hot + "-journal", db + "-journal"));
        ASSERT_TRUE(fx::write_all(db + "-wal", c.log));
        // The library on a copy: 200 rows, every one committed.
        EXPECT_EQ(companion_fixtures::library_reads(
                      db,
                      "SELECT count(*) * 1000 + sum(CAST(Payload AS TEXT) LIKE '<toast>committed %') "
                      "FROM Notification;"),
                  200200)
            << c.name;
        for (const char* mode : {"", "-carve", "-incl_slack"}) {
            SCOPED_TRACE(std::string(c.name) + " " + mode);
            std::vector<std::string> args = {"-db", db, "-quiet", "-csv"};
            if (*mode != 0) args.push_back(mode);
            const selk_process::result r = run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            const bool note = std::string(mode) == "-carve" && c.log.size() > 32;
            EXPECT_EQ(r.err, note ? driver_checks::log_beside_note(db) : "");
            const live_rows rows = live_rows_of(r.out);
            EXPECT_EQ(rows.committed, 200);
            EXPECT_EQ(rows.uncommitted, 0);
        }
    }
}

// Also beside an empty "-wal", which the library takes for no log.
TEST(SelkProcess, PagesOfTheUncommittedTransactionBesideAHotJournalAreCarvedWhole) {
    fx::temp_dir work;
    fx::temp_dir dir;
    const std::string db = dir.file("hot.db"), empty_log = dir.file("empty_log.db");
    make_hot_evidence(work, db);
    ASSERT_TRUE(fx::copy_file(db, empty_log) && fx::copy_file(db + "-journal", empty_log + "-journal"));
    ASSERT_TRUE(fx::write_all(empty_log + "-wal", {}));
    for (const std::string& path : {db, empty_log})
        for (const char* mode : {"-carve", "-incl_slack"}) {
            SCOPED_TRACE(path);
            const selk_process::result r = run({"-db", path, "-quiet", "-csv", mode});
            EXPECT_EQ(r.status, 0) << mode << ": " << r.err;
            std::set<int> uncommitted;
            for (const std::string& line : selk_process::lines(r.out)) {
                const std::vector<std::string> cells = selk_process::split(line, ",");
                if (cells.size() != 12u || cells[8].find("\"src\":\"main db slack\"") == std::string::npos)
                    continue;
                const std::size_t at = cells[10].find("<tile>uncommitted ");
                if (at != std::string::npos) uncommitted.insert(std::atoi(cells[10].c_str() + at + 18));
            }
            // Each row the transaction added is a live cell of a page it wrote, and comes back recovered.
            EXPECT_EQ(uncommitted.size(), 100u) << mode;
        }
}

const char* const kSetpriv = "/usr/bin/setpriv";

// The arguments of kSetpriv that run selk as the user nobody, who owns none of the test's files; empty where
// the test does not run as root or setpriv cannot drop to that user.
std::vector<std::string> nobody_selk() {
    const std::vector<std::string> nobody = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                             selk_process::selk_path()};
    if (::geteuid() != 0 || ::access(kSetpriv, X_OK) != 0) return {};
    if (run(nobody, std::string(), kSetpriv).err != driver_checks::usage_text("selk")) return {};
    return nobody;
}

TEST(SelkProcess, TheOwnReaderLeavesTheAccessTimesOfTheEvidence) {
    fx::temp_dir work;
    fx::temp_dir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string wal = dir.file("wal.db"), hot = dir.file("hot.db");
    make_wal_evidence(work, wal);
    make_hot_evidence(work, hot);
    const std::vector<std::string> files = {wal, wal + "-wal", hot, hot + "-journal"};
    for (const std::string& f : files) ASSERT_EQ(::chmod(f.c_str(), 0644), 0);
    // Run as the files' owner (or root) where the system keeps the access time; as anyone else it reads on.
    const std::vector<std::string> nobody = nobody_selk();
    const bool as_nobody = !nobody.empty();
    for (const std::string& db : {wal, hot}) {
        for (const char* mode : {"-carve", "-incl_slack"}) {
            SCOPED_TRACE(db + " " + mode);
            std::vector<std::vector<std::int64_t>> times;
            for (const std::string& f : files) set_file_times(f, utc_seconds(2000, 1, 1));
            for (const std::string& f : files) times.push_back(file_times(f));
            const std::vector<std::string> args = {"-db", db, "-quiet", "-csv", mode};
            const selk_process::result r = run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            for (std::size_t i = 0; i < files.size(); ++i)
                EXPECT_EQ(file_times(files[i]), times[i]) << files[i];
            if (!as_nobody) continue;
            std::vector<std::string> other = nobody;
            other.insert(other.end(), args.begin(), args.end());
            const selk_process::result o = run(other, std::string(), kSetpriv);
            EXPECT_EQ(o.status, 0) << o.err;
            EXPECT_EQ(comparable(o.out, db, ","), comparable(r.out, db, ","));
        }
    }
}

// A walk of "-enumdir" lists each folder of the tree as it opens the files, without moving its access time;
// one who owns neither the folders nor the files (nobody, where the test runs as root) still reads them all.
TEST(SelkProcess, AWalkLeavesTheAccessTimesOfTheFoldersItLists) {
    fx::temp_dir dir;
    const std::string top = dir.path();
    ASSERT_EQ(::chmod(top.c_str(), 0755), 0);
    std::vector<std::string> paths = {top, top + "/s1", top + "/s1/s2", top + "/s3"};
    for (std::size_t i = 1; i < paths.size(); ++i) ASSERT_EQ(::mkdir(paths[i].c_str(), 0755), 0);
    for (std::size_t i = 0, folders = paths.size(); i < folders; ++i) {
        paths.push_back(paths[i] + "/n.db");
        driver_checks::make_db(paths.back(), 1, "walked");
        ASSERT_EQ(::chmod(paths.back().c_str(), 0644), 0);
    }
    const std::vector<std::string> args = {"-enumdir", top, "-num_subdirs", "2", "-quiet", "-csv"};
    const auto rows = [](const std::string& out) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = out.find("walked 0", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    std::vector<std::vector<std::int64_t>> times;
    for (const std::string& p : paths) set_file_times(p, utc_seconds(2000, 1, 1));
    for (const std::string& p : paths) times.push_back(file_times(p));
    const selk_process::result r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rows(r.out), 4u) << r.out;
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(file_times(paths[i]), times[i]) << paths[i];
    std::vector<std::string> other = nobody_selk();
    if (other.empty()) return;
    other.insert(other.end(), args.begin(), args.end());
    const selk_process::result o = run(other, std::string(), kSetpriv);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(rows(o.out), 4u) << o.out;
}

// What a file claims costs nothing: a header that counts far more pages than the file holds, and a hot
// journal whose initial size passes 2 GiB. Each claim is read in every form as the library reads it (the
// pages missing said, or the journal played), within 1.5 times the files and 20 MiB, and a run under an
// address-space limit gives the same verdict.
TEST(SelkProcess, AClaimInTheFileSizesNothing) {
    fx::temp_dir work;
    fx::temp_dir dir;
    const auto put32 = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    struct claim_case {
        const char* name;
        std::string db;
        int status;
        std::string said;  // on standard error, in every form ("" for nothing)
        int committed;     // live rows of the committed state (-1: not counted)
    };
    std::vector<claim_case> cases;
    for (const std::uint32_t pages : {1u << 27, 1u << 31}) {
        const std::string db = dir.file("counts" + std::to_string(pages) + ".db");
        ASSERT_NO_FATAL_FAILURE(driver_checks::make_db(db, 40));
        std::vector<std::uint8_t> bytes = fx::read_all(db);
        put32(bytes, 28, pages);
        ASSERT_TRUE(fx::write_all(db, bytes));
        cases.push_back({"a header's page count", db, 255,
                         " are missing: the file is cut short: it holds " + std::to_string(bytes.size()) +
                             " bytes where its header counts " + std::to_string(pages) +
                             " pages of 4096 bytes",
                         -1});
    }
    for (const std::uint32_t pages : {1u << 27, 1u << 31}) {
        // The log's last commit frame claims it, its checksums written afresh as the library takes them.
        const std::string db = dir.file("commits" + std::to_string(pages) + ".db");
        const fx::temp_dir writer;
        ASSERT_NO_FATAL_FAILURE(make_wal_evidence(writer, db));
        std::vector<std::uint8_t> log = fx::read_all(db + "-wal");
        std::size_t last = 0;
        for (std::size_t f = 32; f + 24 + 1024 <= log.size(); f += 24 + 1024)
            if (be32(log, f + 4) != 0) last = f;
        ASSERT_NE(last, 0u);
        put32(log, last + 4, pages);
        reader_fixtures::reseal_wal(log);
        ASSERT_TRUE(fx::write_all(db + "-wal", log));
        cases.push_back({"a log's last commit", db, 255,
                         " are missing: the file is cut short: it holds " +
                             std::to_string(fx::read_all(db).size()) + " bytes where its header counts " +
                             std::to_string(pages) + " pages of 1024 bytes",
                         -1});
    }
    const std::string hot = dir.file("initial.db");
    ASSERT_NO_FATAL_FAILURE(make_hot_evidence(work, hot));
    std::vector<std::uint8_t> journal = fx::read_all(hot + "-journal");
    put32(journal, 16, 3000000);  // 3,000,000 pages of 1 KiB before the transaction
    ASSERT_TRUE(fx::write_all(hot + "-journal", journal));
    cases.push_back({"a journal's initial size", hot, 0, "", 200});
    for (const claim_case& c : cases) {
        std::uint64_t files = fx::read_all(c.db).size();
        for (const char* companion : {"-journal", "-wal"})
            if (fx::exists(c.db + companion)) files += fx::read_all(c.db + companion).size();
        for (const form& f : kForms) {
            SCOPED_TRACE(std::string(c.name) + " " + c.db + " " + (f.args.empty() ? "default" : f.args[0]));
            const selk_process::result r = run_form(c.db, f);
            EXPECT_EQ(r.status, c.status) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            // The library refuses a file its header counts far more pages of: the notification table that
            // cannot even be started fails the database, its rows recovered or not.
            const bool unread =
                c.name == std::string("a header's page count") && (f.args.empty() || f.args[0] != "-carve");
            EXPECT_EQ(r.err.find("table notification cannot be read") != std::string::npos, unread) << r.err;
            if (c.said.empty()) {
                EXPECT_EQ(r.err, "");
            }
            if (c.committed >= 0 && f.separator == ",") {
                EXPECT_EQ(live_rows_of(r.out).committed, c.committed);
                EXPECT_EQ(live_rows_of(r.out).uncommitted, 0);
            }
#ifndef SELK_TEST_SANITIZER_MAPS
            EXPECT_LE(static_cast<std::uint64_t>(r.peak_kb) * 1024, files * 3 / 2 + (20u << 20));
            std::vector<std::string> limited = {
                "-c",    "ulimit -v 524288 && exec \"$0\" \"$@\"", selk_process::selk_path(), "-db", c.db,
                "-quiet"};
            limited.insert(limited.end(), f.args.begin(), f.args.end());
            const selk_process::result under = selk_process::run(limited, std::string(), "/bin/sh");
            EXPECT_EQ(under.status, r.status) << under.err;
            EXPECT_EQ(under.err, r.err);
#endif
        }
    }
}

}  // namespace
