#include "sqlite_binding/sqlite_wrapper.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "io/evidence.h"
#include "sqlite_binding/evidence_vfs.h"
#include "sqlite_format/database_source.h"

namespace {

// A unique folder under the build tree's test area, removed with everything in it at the end.
class temp_dir {
  public:
    temp_dir() {
        std::string templ = std::string(SELK_TEST_TMP) + "/sqlite_wrapper_XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
    }
    ~temp_dir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

void exec_or_fail(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err)) << (err ? err : "");
    sqlite3_free(err);
}

void make_db(const std::string& path, const std::vector<std::string>& sqls) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    for (const std::string& s : sqls) exec_or_fail(db, s);
    sqlite3_close(db);
}

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool copy_bytes(const std::string& from, const std::string& to) {
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << read_all(from);
    return static_cast<bool>(out);
}

std::set<std::string> list_dir(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.insert(n);
        }
        closedir(d);
    }
    return names;
}

// Bytes, size, modification and change times of every file in a folder.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (const std::string& n : list_dir(dir)) {
        struct stat st;
        const std::string p = dir + "/" + n;
        if (stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out[n] = read_all(p) + "|" + std::to_string(st.st_size) + "|" + std::to_string(st.st_mtim.tv_sec) +
                 "." + std::to_string(st.st_mtim.tv_nsec) + "|" + std::to_string(st.st_ctim.tv_sec) + "." +
                 std::to_string(st.st_ctim.tv_nsec);
    }
    return out;
}

bool all_entries_null() {
    const void* const* entries = reinterpret_cast<const void* const*>(&sqlite_api);
    for (int i = 0; i < 24; ++i) {
        if (entries[i] != nullptr) return false;
    }
    return true;
}

std::vector<std::string> column_values(sqlite_wrapper& w, const std::string& sql) {
    std::vector<std::string> out;
    auto cb = [](void* ctx, int n, char** v, char**) -> int {
        for (int i = 0; i < n; ++i)
            static_cast<std::vector<std::string>*>(ctx)->emplace_back(v[i] ? v[i] : "NULL");
        return 0;
    };
    char* err = nullptr;
    const int rc = sqlite_api.exec(w.db, sql.c_str(), cb, &out, &err);
    if (rc != SQLITE_OK) out.push_back(std::string("error: ") + (err ? err : ""));
    sqlite_free_error_text(err);
    return out;
}

// Points TMPDIR at a folder of the test, and restores it.
class tmpdir_guard {
  public:
    explicit tmpdir_guard(const std::string& dir) {
        const char* old = std::getenv("TMPDIR");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~tmpdir_guard() {
        if (had_) {
            setenv("TMPDIR", old_.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

  private:
    bool had_ = false;
    std::string old_;
};

TEST(SqliteWrapper, BindAndUnbindResults) {
    sqlite_wrapper w;
    EXPECT_TRUE(all_entries_null());
    EXPECT_TRUE(w.bind(reinterpret_cast<void*>(0x1234)));
    EXPECT_TRUE(sqlite_api_bound());
    EXPECT_EQ(&sqlite3_exec, sqlite_api.exec);
    EXPECT_EQ(&sqlite3_clear_bindings, sqlite_api.clear_bindings);
    EXPECT_FALSE(w.unbind());
    EXPECT_TRUE(all_entries_null());
    EXPECT_EQ(nullptr, w.handle);
}

TEST(SqliteWrapper, MissingOrEmptyPathFailsBeforeBinding) {
    temp_dir tmp;
    sqlite_wrapper w;
    EXPECT_FALSE(w.open_read_only(tmp.path() + "/absent.db", ""));
    EXPECT_TRUE(all_entries_null());
    EXPECT_EQ(nullptr, w.db);
    EXPECT_FALSE(w.is_open);
    EXPECT_TRUE(list_dir(tmp.path()).empty()) << "a failed open must not create the file";
    EXPECT_FALSE(w.open_read_only("", ""));
    EXPECT_TRUE(all_entries_null());
    // Nothing to close: both calls leave the failed state as it is.
    w.close_and_unload();
    w.close_db();
    EXPECT_FALSE(w.is_open);
}

TEST(SqliteWrapper, OpenReadOnlyReadsAndCloseUnbinds) {
    temp_dir tmp;
    const std::string path = tmp.path() + "/plain.db";
    make_db(path,
            {"create table t(a, b);", "insert into t values(1, 'x');", "insert into t values(2, NULL);"});
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(path, ""));
    EXPECT_TRUE(w.is_open);
    EXPECT_TRUE(w.read_only);
    EXPECT_EQ(path, w.db_path);
    EXPECT_EQ((std::vector<std::string>{"1", "x", "2", "NULL"}),
              column_values(w, "select a, b from t order by a;"));
    // A write is refused: the evidence is read-only.
    EXPECT_NE(0u, column_values(w, "insert into t values(3, 'y');").size());
    w.close_and_unload();
    EXPECT_TRUE(all_entries_null());
    EXPECT_EQ(nullptr, w.handle);
    EXPECT_EQ(nullptr, w.db);
    EXPECT_TRUE(w.db_path.empty());
    EXPECT_FALSE(w.is_open);
}

// Memory the library runs out of as it opens is no file it cannot open: the run is to say it ran out.
TEST(SqliteWrapper, AnOpenThatRunsOutOfMemoryThrowsBadAlloc) {
    temp_dir tmp;
    const std::string path = tmp.path() + "/plain.db";
    make_db(path, {"create table t(a);"});
    sqlite_wrapper w;
    const sqlite3_int64 limit = sqlite3_hard_heap_limit64(1);
    EXPECT_THROW((void)w.open_read_only(path, ""), std::bad_alloc);
    sqlite3_hard_heap_limit64(limit);
    EXPECT_TRUE(w.open_read_only(path, ""));
}

TEST(SqliteWrapper, NamesWithUriSpecialCharactersOpenTheFileTheyName) {
    temp_dir tmp;
    const std::string dir = tmp.path() + "/f #?%\xFF";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    const std::string path = dir + "/n #?%\xFF x.db";
    make_db(path, {"create table t(v);", "insert into t values('named');"});
    // A decoy at the name a careless URI would open ("n " before the '#').
    make_db(dir + "/n ", {"create table t(v);", "insert into t values('decoy');"});
    const auto before = snapshot(dir);

    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(path, ""));
    EXPECT_EQ(std::vector<std::string>{"named"}, column_values(w, "select v from t;"));
    w.close_and_unload();
    EXPECT_EQ(before, snapshot(dir)) << "the evidence and its folder must not change";

    // A relative path works too.
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(dir.c_str()));
    sqlite_wrapper rel;
    const bool opened = rel.open_read_only("n #?%\xFF x.db", "");
    const std::vector<std::string> rows =
        opened ? column_values(rel, "select v from t;") : std::vector<std::string>();
    rel.close_and_unload();
    ASSERT_EQ(0, chdir(cwd));
    EXPECT_TRUE(opened);
    EXPECT_EQ(std::vector<std::string>{"named"}, rows);
}

// Evidence of a database whose newest rows exist only in its write-ahead log: the files as a running
// writer left them, copied while it was still open.
void make_wal_evidence(const std::string& dir) {
    const std::string live = dir + "/live.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(live.c_str(), &db));
    exec_or_fail(db, "pragma journal_mode=wal;");
    exec_or_fail(db, "pragma wal_autocheckpoint=0;");
    exec_or_fail(db, "create table t(v);");
    exec_or_fail(db, "insert into t values('old');");
    exec_or_fail(db, "pragma wal_checkpoint(truncate);");
    exec_or_fail(db, "insert into t values('new1');");
    exec_or_fail(db, "insert into t values('new2');");
    ASSERT_EQ(0, mkdir((dir + "/ev").c_str(), 0755));
    ASSERT_TRUE(copy_bytes(live, dir + "/ev/e.db"));
    ASSERT_TRUE(copy_bytes(live + "-wal", dir + "/ev/e.db-wal"));
    sqlite3_close(db);
}

TEST(SqliteWrapper, WalEvidenceShowsCommittedRowsWithoutACopy) {
    temp_dir tmp;
    make_wal_evidence(tmp.path());
    const std::string ev = tmp.path() + "/ev";
    ASSERT_GT(read_all(ev + "/e.db-wal").size(), 0u);
    const std::string copies = tmp.path() + "/copies";
    ASSERT_EQ(0, mkdir(copies.c_str(), 0755));
    tmpdir_guard guard(copies);
    const auto before = snapshot(ev);

    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(ev + "/e.db", ""));
    EXPECT_EQ((std::vector<std::string>{"old", "new1", "new2"}),
              column_values(w, "select v from t order by rowid;"));
    EXPECT_TRUE(list_dir(copies).empty()) << "nothing in the temporary folder while open";
    w.close_and_unload();
    EXPECT_EQ(before, snapshot(ev)) << "no -shm, no checkpoint, no change beside the evidence";

    // Through a symbolic link the log beside the target still counts.
    const std::string link = tmp.path() + "/link.db";
    ASSERT_EQ(0, symlink((ev + "/e.db").c_str(), link.c_str()));
    ASSERT_TRUE(w.open_read_only(link, ""));
    EXPECT_EQ((std::vector<std::string>{"old", "new1", "new2"}),
              column_values(w, "select v from t order by rowid;"));
    w.close_and_unload();
    EXPECT_EQ(before, snapshot(ev));
}

TEST(SqliteWrapper, EmptyWalIsReadInPlace) {
    temp_dir tmp;
    const std::string path = tmp.path() + "/w.db";
    make_db(path, {"pragma journal_mode=wal;", "create table t(v);", "insert into t values(7);"});
    { std::ofstream(path + "-wal", std::ios::binary); }
    const std::string copies = tmp.path() + "/copies";
    ASSERT_EQ(0, mkdir(copies.c_str(), 0755));
    tmpdir_guard guard(copies);
    const auto before = snapshot(tmp.path());
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(path, ""));
    EXPECT_TRUE(list_dir(copies).empty());
    EXPECT_EQ(std::vector<std::string>{"7"}, column_values(w, "select v from t;"));
    w.close_and_unload();
    EXPECT_EQ(before, snapshot(tmp.path()));
}

// Evidence of a database left mid-transaction: ten committed rows, and beside them the hot journal of a
// transaction whose uncommitted pages reached the file.
void make_journal_evidence_of(const std::string& dir, int committed, int page_size = 4096) {
    const std::string live = dir + "/j.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(live.c_str(), &db));
    exec_or_fail(db, "pragma page_size=" + std::to_string(page_size) + ";");
    exec_or_fail(db, "pragma journal_mode=delete;");
    exec_or_fail(db, "pragma cache_size=2;");
    exec_or_fail(db, "create table t(v);");
    exec_or_fail(db, "begin;");
    for (int i = 0; i < committed; ++i) exec_or_fail(db, "insert into t values('committed');");
    exec_or_fail(db, "commit;");
    exec_or_fail(db, "begin;");
    exec_or_fail(db, "update t set v = 'uncommitted';");
    for (int i = 0; i < 300; ++i) exec_or_fail(db, "insert into t values(randomblob(1000));");
    ASSERT_EQ(SQLITE_OK, sqlite3_db_cacheflush(db));  // the uncommitted pages reach the database file
    // The crash image: database and hot journal as they stand mid-transaction.
    const std::string ev = dir + "/ev";
    ASSERT_EQ(0, mkdir(ev.c_str(), 0755));
    ASSERT_TRUE(copy_bytes(live, ev + "/j.db"));
    ASSERT_TRUE(copy_bytes(live + "-journal", ev + "/j.db-journal"));
    exec_or_fail(db, "rollback;");
    sqlite3_close(db);
}

void make_journal_evidence(const std::string& dir) { make_journal_evidence_of(dir, 10); }

TEST(SqliteWrapper, HotJournalIsRolledBackInMemoryOnly) {
    temp_dir tmp;
    make_journal_evidence(tmp.path());
    const std::string ev = tmp.path() + "/ev";
    ASSERT_NE(0u, read_all(ev + "/j.db-journal").size());
    {
        // Without its journal the image shows the uncommitted change: the test really needs the rollback.
        const std::string bare = tmp.path() + "/bare.db";
        ASSERT_TRUE(copy_bytes(ev + "/j.db", bare));
        sqlite3* b = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(bare.c_str(), &b));
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(SQLITE_OK,
                  sqlite3_prepare_v2(b, "select count(*) from t where v = 'committed';", -1, &st, nullptr));
        // Corrupt (mid-transaction file size) or showing the change: either way not the committed state.
        const int rc = sqlite3_step(st);
        EXPECT_TRUE(rc != SQLITE_ROW || sqlite3_column_int(st, 0) != 10) << "bare image read as committed";
        sqlite3_finalize(st);
        sqlite3_close(b);
    }

    const std::string copies = tmp.path() + "/copies";
    ASSERT_EQ(0, mkdir(copies.c_str(), 0755));
    tmpdir_guard guard(copies);
    const auto before = snapshot(ev);
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(ev + "/j.db", ""));
    EXPECT_EQ((std::vector<std::string>{"10", "10"}),
              column_values(w, "select count(*), sum(v = 'committed') from t;"));
    EXPECT_TRUE(list_dir(copies).empty()) << "nothing in the temporary folder while open";
    // The rolled-back pages are the journal's own bytes: they are read from it, not copied into memory.
    EXPECT_LT(evidence_vfs_bytes_held(), 4u * 4096)
        << "of a rollback of " << read_all(ev + "/j.db-journal").size();
    w.close_and_unload();
    EXPECT_EQ(before, snapshot(ev)) << "the hot journal stays, the database keeps its bytes";
    EXPECT_TRUE(list_dir(copies).empty());
}

TEST(SqliteWrapper, RolledBackPagesAreReadFromTheJournal) {
    temp_dir tmp;
    make_journal_evidence_of(tmp.path(), 2000);  // the rollback writes back every page of the table
    const std::string ev = tmp.path() + "/ev";
    const std::uint64_t journal = read_all(ev + "/j.db-journal").size();
    ASSERT_GT(journal, 8u * 4096);
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(ev + "/j.db", ""));
    EXPECT_EQ((std::vector<std::string>{"2000"}), column_values(w, "select sum(v = 'committed') from t;"));
    // The original pages written back are the journal's own bytes: read from it, not copied into memory.
    EXPECT_LT(evidence_vfs_bytes_held(), 4u * 4096) << "beside a journal of " << journal << " bytes";
    w.close_and_unload();
}

// Pages smaller than the blocks kept are written back in memory: they count while the connection is open,
// and nothing is held once it closed.
TEST(SqliteWrapper, BytesHeldAreWhatOpenConnectionsKeep) {
    temp_dir tmp;
    make_journal_evidence_of(tmp.path(), 2000, 1024);
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(tmp.path() + "/ev/j.db", ""));
    EXPECT_EQ((std::vector<std::string>{"2000"}), column_values(w, "select sum(v = 'committed') from t;"));
    EXPECT_GT(evidence_vfs_bytes_held(), 0u);
    w.close_and_unload();
    EXPECT_EQ(evidence_vfs_bytes_held(), 0u);
}

TEST(SqliteWrapper, ASourceIsReadWhereverItsPathsWent) {
    temp_dir tmp;
    make_journal_evidence(tmp.path());
    const std::string db = tmp.path() + "/ev/j.db";
    database_source files;
    ASSERT_TRUE(files.open(db));
    // Once opened, the files are read through their descriptors: the paths are never opened again.
    ASSERT_EQ(0, std::rename(db.c_str(), (tmp.path() + "/away.db").c_str()));
    ASSERT_EQ(0, std::rename((db + "-journal").c_str(), (tmp.path() + "/away.db-journal").c_str()));
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(db, files));
    // The committed state: the journal lent with the database is rolled back.
    EXPECT_EQ((std::vector<std::string>{"10", "10"}),
              column_values(w, "select count(*), sum(v = 'committed') from t;"));
    w.close_and_unload();
}

// The reader of a source reads that source whatever name the database is opened by: its file and the log
// beside it, not the file of that name.
TEST(SqliteWrapper, ASourceIsReadUnderAnyName) {
    temp_dir tmp;
    make_wal_evidence(tmp.path());
    const std::string other = tmp.path() + "/other.db";
    make_db(other, {"create table t(v);", "insert into t values('other');"});
    database_source files;
    ASSERT_TRUE(files.open(tmp.path() + "/ev/e.db"));
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(other, files));
    EXPECT_EQ((std::vector<std::string>{"old", "new1", "new2"}),
              column_values(w, "select v from t order by rowid;"));
    w.close_and_unload();
}

// What a read could change in a folder, by name: each file's times (its access time included), size and
// bytes (by digest, read without moving the access time), each subfolder's listing, and the folder's own
// modification time.
std::map<std::string, std::string> folder_state(const std::string& dir) {
    std::map<std::string, std::string> out;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        out["."] = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    for (const std::string& n : list_dir(dir)) {
        const std::string p = dir + "/" + n;
        if (stat(p.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            for (const std::string& inside : list_dir(p)) out[n] += inside + "|";
            continue;
        }
        for (const timespec& t : {st.st_atim, st.st_mtim, st.st_ctim})
            out[n] += std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec) + "|";
        std::string bytes;
        const int fd = open(p.c_str(), O_RDONLY | O_NOATIME);
        char buf[4096];
        for (ssize_t got; fd >= 0 && (got = read(fd, buf, sizeof buf)) > 0;) bytes.append(buf, got);
        if (fd >= 0) close(fd);
        out[n] += std::to_string(st.st_size) + "|" + std::to_string(std::hash<std::string>()(bytes));
    }
    return out;
}

// Evidence beside which the library has work to do, or none: it shows the committed rows, and no file is
// made or changed, nor read with a new access time, while the connection is open or after (TMPDIR lies
// inside the evidence's folder, where nothing may appear either).
TEST(SqliteWrapper, ReadingEvidenceMakesAndChangesNoFile) {
    const std::vector<std::string> ten(10, "committed");
    const std::vector<std::string> logged = {"old", "new1", "new2"};
    struct evidence_case {
        const char* name;
        void (*make)(const std::string& dir);  // writes dir/ev/<name>.db and what lies beside it
        std::vector<std::string> rows;
    };
    const std::vector<evidence_case> cases = {
        {"e", make_wal_evidence, logged},
        {"j", make_journal_evidence, ten},
        {"plain",
         [](const std::string& dir) {
             ASSERT_EQ(0, mkdir((dir + "/ev").c_str(), 0755));
             make_db(dir + "/ev/plain.db", {"create table t(v);", "insert into t values('p');"});
         },
         {"p"}},
        {"empty_wal",
         [](const std::string& dir) {
             ASSERT_EQ(0, mkdir((dir + "/ev").c_str(), 0755));
             make_db(dir + "/ev/empty_wal.db",
                     {"pragma journal_mode=wal;", "create table t(v);", "insert into t values('w');"});
             std::ofstream(dir + "/ev/empty_wal.db-wal", std::ios::binary);
         },
         {"w"}},
        {"cold",  // a journal whose transaction committed: its header zeroed
         [](const std::string& dir) {
             ASSERT_EQ(0, mkdir((dir + "/ev").c_str(), 0755));
             make_db(dir + "/ev/cold.db", {"create table t(v);", "insert into t values('c');"});
             std::ofstream(dir + "/ev/cold.db-journal", std::ios::binary) << std::string(512, '\0');
         },
         {"c"}},
    };
    for (const evidence_case& c : cases) {
        temp_dir tmp;
        c.make(tmp.path());
        const std::string ev = tmp.path() + "/ev";
        ASSERT_EQ(0, mkdir((ev + "/tmp").c_str(), 0755));
        tmpdir_guard guard(ev + "/tmp");
        // Access times far back: the system moves such a time on the next read.
        const timespec back[2] = {{946684800, 0}, {0, UTIME_OMIT}};
        for (const std::string& n : list_dir(ev))
            ASSERT_EQ(0, utimensat(AT_FDCWD, (ev + "/" + n).c_str(), back, 0));
        const auto before = folder_state(ev);
        sqlite_wrapper w;
        ASSERT_TRUE(w.open_read_only(ev + "/" + c.name + ".db", "")) << c.name;
        EXPECT_EQ(c.rows, column_values(w, "select v from t order by rowid;")) << c.name;
        EXPECT_EQ(before, folder_state(ev)) << c.name << ", while open";
        w.close_and_unload();
        EXPECT_EQ(before, folder_state(ev)) << c.name;
    }
}

TEST(SqliteWrapper, ReadOnlyBindMount) {
    temp_dir tmp;
    const std::string src = tmp.path() + "/src";
    const std::string ro = tmp.path() + "/ro";
    ASSERT_EQ(0, mkdir(src.c_str(), 0755));
    ASSERT_EQ(0, mkdir(ro.c_str(), 0755));
    make_wal_evidence(src);
    make_db(src + "/plain.db", {"create table t(v);", "insert into t values('p');"});
    if (mount(src.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot make a bind mount here (" << std::strerror(errno) << ")";
    }
    if (mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        umount(ro.c_str());
        GTEST_SKIP() << "cannot remount the bind mount read-only (" << std::strerror(errno) << ")";
    }
    const std::string copies = tmp.path() + "/copies";
    ASSERT_EQ(0, mkdir(copies.c_str(), 0755));
    std::vector<std::string> plain_rows;
    std::vector<std::string> wal_rows;
    {
        tmpdir_guard guard(copies);
        sqlite_wrapper w;
        if (w.open_read_only(ro + "/plain.db", "")) plain_rows = column_values(w, "select v from t;");
        if (w.open_read_only(ro + "/ev/e.db", ""))
            wal_rows = column_values(w, "select v from t order by rowid;");
        w.close_and_unload();
    }
    umount(ro.c_str());
    EXPECT_EQ(std::vector<std::string>{"p"}, plain_rows);
    EXPECT_EQ((std::vector<std::string>{"old", "new1", "new2"}), wal_rows);
}

TEST(SqliteWrapper, SecondOpenClosesTheFirst) {
    temp_dir tmp;
    make_wal_evidence(tmp.path());
    const std::string plain = tmp.path() + "/plain.db";
    make_db(plain, {"create table t(v);", "insert into t values('second');"});
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(tmp.path() + "/ev/e.db", ""));
    w.run_id = 77;
    ASSERT_TRUE(w.open_read_only(plain, ""));
    EXPECT_EQ(0u, w.run_id);
    EXPECT_EQ(std::vector<std::string>{"second"}, column_values(w, "select v from t;"));
}

TEST(SqliteWrapper, SeveralWrappersShareTheTable) {
    temp_dir tmp;
    const std::string a = tmp.path() + "/a.db";
    const std::string b = tmp.path() + "/b.db";
    make_db(a, {"create table t(v);", "insert into t values('a');"});
    make_db(b, {"create table t(v);", "insert into t values('b');"});
    sqlite_wrapper wa;
    sqlite_wrapper wb;
    ASSERT_TRUE(wa.open_read_only(a, ""));
    ASSERT_TRUE(wb.open_read_only(b, ""));
    wb.close_and_unload();
    ASSERT_TRUE(sqlite_api_bound()) << "one wrapper's unbind must not strand another";
    EXPECT_EQ(std::vector<std::string>{"a"}, column_values(wa, "select v from t;"));
    {
        sqlite_wrapper failing;
        EXPECT_FALSE(failing.open_read_only(tmp.path() + "/none.db", ""));
    }
    EXPECT_TRUE(sqlite_api_bound());
    wa.close_and_unload();
    EXPECT_TRUE(all_entries_null());
}

TEST(SqliteWrapper, OpenReadWriteCreatesMissingFolders) {
    temp_dir tmp;
    const std::string path = tmp.path() + "/one/two/new.db";
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_write(0, path, ""));
    EXPECT_FALSE(w.read_only);
    EXPECT_EQ(std::vector<std::string>{}, column_values(w, "create table t(v);"));
    w.close_and_unload();
    struct stat st;
    EXPECT_EQ(0, stat(path.c_str(), &st));
    EXPECT_TRUE(all_entries_null());
    // A folder that cannot be made: the open that follows fails and nothing stays bound.
    const std::string file_in_the_way = tmp.path() + "/plainfile";
    { std::ofstream(file_in_the_way) << "x"; }
    EXPECT_FALSE(w.open_read_write(0, file_in_the_way + "/sub/x.db", ""));
    EXPECT_TRUE(all_entries_null());
}

struct length_rows {
    std::vector<std::vector<std::string>> values;
    std::vector<std::vector<unsigned>> sizes;
    std::vector<unsigned>* current = nullptr;
};

int length_cb(void* ctx, int n, char** v, char**) {
    auto* rows = static_cast<length_rows*>(ctx);
    std::vector<std::string> row;
    for (int i = 0; i < n; ++i) {
        unsigned& size = (*rows->current)[i];
        if (v[i] != nullptr && size == kLentInteger) {
            // A lent integer: its 8 bytes, read here as the decimal text a copy gives.
            long long value = 0;
            std::memcpy(&value, v[i], sizeof value);
            row.push_back(std::to_string(value));
            size = static_cast<unsigned>(row.back().size());
            continue;
        }
        row.push_back(v[i] == nullptr ? std::string("<null>") : std::string(v[i], size));
    }
    rows->values.push_back(row);
    rows->sizes.push_back(*rows->current);
    return 0;
}

TEST(SqliteWrapper, ExecWithLengthsKeepsValuesWhole) {
    temp_dir tmp;
    const std::string path = tmp.path() + "/len.db";
    make_db(path, {"create table t(id blob, payload text, n);",
                   "insert into t values(x'00112233000000000000000000000001', 'ab' || char(0) || 'cd', 5);",
                   "insert into t values(NULL, '', NULL);"});
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(path, ""));
    length_rows rows;
    std::vector<unsigned> sizes;
    rows.current = &sizes;
    std::string error;
    ASSERT_EQ(SQLITE_OK, exec_with_lengths(w.db, "select id, payload, n from t order by rowid;", length_cb,
                                           &rows, &sizes, &error));
    // Lent values read by their sizes (integers by their 8 bytes) are the same values.
    length_rows lent;
    lent.current = &sizes;
    ASSERT_EQ(SQLITE_OK, exec_with_lengths(w.db, "select id, payload, n from t order by rowid;", length_cb,
                                           &lent, &sizes, &error, true));
    EXPECT_EQ(rows.values, lent.values);
    EXPECT_EQ(rows.sizes, lent.sizes);
    ASSERT_EQ(2u, rows.values.size());
    EXPECT_EQ((std::vector<unsigned>{16, 5, 1}), rows.sizes[0]);
    EXPECT_EQ(std::string("\x00\x11\x22\x33", 4) + std::string(11, '\0') + "\x01", rows.values[0][0]);
    EXPECT_EQ(std::string("ab\0cd", 5), rows.values[0][1]);
    EXPECT_EQ("5", rows.values[0][2]);
    EXPECT_EQ("<null>", rows.values[1][0]);
    EXPECT_EQ("", rows.values[1][1]);

    auto stop = [](void*, int, char**, char**) -> int { return 1; };
    EXPECT_EQ(SQLITE_ABORT, exec_with_lengths(w.db, "select 1;", stop, nullptr, nullptr, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(SQLITE_ERROR,
              exec_with_lengths(w.db, "select from nowhere;", length_cb, &rows, &sizes, &error));
    EXPECT_NE(std::string::npos, error.find("syntax error"));
    w.close_and_unload();
}

TEST(LibloadBase, LoadsLibrariesAndScansNames) {
    EXPECT_EQ(nullptr, qm_libload_base::open_library(""));
    EXPECT_FALSE(qm_libload_base::close_handle(nullptr));
    sqlite_wrapper w;
    EXPECT_FALSE(w.close_library());
    ASSERT_TRUE(w.load("libsqlite3.so.0"));
    EXPECT_TRUE(w.is_loaded());
    EXPECT_EQ("libsqlite3.so.0", w.library_path);
    EXPECT_NE(nullptr, qm_libload_base::get_symbol(w.handle, "sqlite3_libversion"));
    EXPECT_EQ(nullptr, qm_libload_base::get_symbol(w.handle, ""));
    EXPECT_TRUE(w.load("ignored"));  // already loaded
    void* h = w.handle;
    w.reset();
    EXPECT_FALSE(w.is_loaded());
    EXPECT_TRUE(w.library_path.empty());
    EXPECT_TRUE(qm_libload_base::close_handle(h));
    w.unbind();

    temp_dir tmp;
    const std::string file = tmp.path() + "/names.bin";
    {
        std::ofstream out(file, std::ios::binary);
        const char bytes[] =
            "abc_123\0hello.txt\0\x01_under\0"
            "9lives\0abc_123\0ok";
        out.write(bytes, sizeof bytes);
    }
    w.library_path = file;
    std::set<std::string> names;
    EXPECT_TRUE(w.scan_library_names(names, 1 << 20, 3, false));
    EXPECT_EQ((std::set<std::string>{"9lives", "_under", "abc_123"}), names);
    EXPECT_TRUE(w.scan_library_names(names, 1 << 20, 3, true));
    EXPECT_EQ(std::set<std::string>{"abc_123"}, names);
    EXPECT_FALSE(w.scan_library_names(names, 10, 3, false));
    EXPECT_TRUE(names.empty());
    w.library_path = tmp.path() + "/none";
    EXPECT_FALSE(w.scan_library_names(names, 1 << 20, 3, false));
    w.library_path.clear();
}

}  // namespace

namespace {

TEST(SqliteWrapperFixture, ReadsTheFourTablesOfTheRealDatabase) {
    const std::string dir = SELK_FIXTURES_DIR;
    const std::string path = dir + "/windows_notifications.db";
    struct stat st;
    if (stat(path.c_str(), &st) != 0) GTEST_SKIP() << "fixture absent: " << path;
    const auto before = snapshot(dir);
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_read_only(path, ""));
    const std::string notification =
        "select "
        "`Order`,`Id`,`HandlerId`,`ActivityId`,`Type`,`Payload`,`Tag`,`Group`,`ExpiryTime`,`ArrivalTime`,"
        "`DataVersion`,`PayloadType`,`BootId`,`ExpiresOnReboot` from notification;";
    length_rows rows;
    std::vector<unsigned> sizes;
    rows.current = &sizes;
    std::string error;
    ASSERT_EQ(SQLITE_OK, exec_with_lengths(w.db, notification, length_cb, &rows, &sizes, &error)) << error;
    ASSERT_EQ(6u, rows.values.size());
    for (std::size_t i = 0; i < rows.values.size(); ++i) {
        EXPECT_EQ("toast", rows.values[i][4]);
        EXPECT_EQ("68", rows.values[i][2]);
        EXPECT_EQ(16u, rows.sizes[i][3]) << "ActivityId is a 16-byte blob";
        EXPECT_EQ(0u, rows.values[i][5].find('<')) << "payload is XML";
        EXPECT_EQ(rows.values[i][5].size(), rows.sizes[i][5]);
    }
    EXPECT_EQ(std::vector<std::string>{"68"},
              column_values(w,
                            "select count(*) from (select `RecordId`,`PrimaryId`,`WNSId`,`HandlerType`,"
                            "`WNFEventName`,`SystemDataPropertySet`,`CreatedTime`,`ModifiedTime`,`ParentId`,"
                            "`ContainerSid` from notificationhandler);"));
    EXPECT_EQ(std::vector<std::string>{"0"},
              column_values(w,
                            "select count(*) from (select `ChannelId`,`HandlerId`,`Uri`,`ExpiryTime`,"
                            "`CreatedTime`,`DeviceVersion` from wnspushchannel);"));
    EXPECT_EQ(std::vector<std::string>{"1632"},
              column_values(
                  w, "select count(*) from (select `HandlerId`,`SettingKey`,`Value` from handlersettings);"));
    w.close_and_unload();
    EXPECT_EQ(before, snapshot(dir));
}

}  // namespace
