// The files of one database read, opened once: the database and the "-wal" and "-journal" beside the file its
// path reaches (companions_of), read-only and without touching their access time where the system allows it.
// Every reader of that database (the own reader, the library's VFS, the tree check, the carver) reads through
// a duplicate of these descriptors, so all of them see the same files whatever happens to the paths
// meanwhile. A duplicate shares the file position with the others: readers use positioned reads only.
#pragma once

#include <string>

#include "io/db_companions.h"
#include "io/fileio.h"

// Why the file at `path` cannot be read: empty when it opens read-only (as evidence is opened, never
// waiting for a writer) and its first byte reads; else the system's reason, "a link to nothing" or "it is a
// FIFO".
std::string unreadable_reason(const std::string& path);

class evidence {
  public:
    evidence() = default;
    evidence(const evidence&) = delete;
    evidence& operator=(const evidence&) = delete;

    // Opens the database at `path` (already expanded) and its companions, each as far as it opens; what was
    // open before is closed first. True when the database opened.
    bool open(const std::string& path);
    void close();

    const std::string& path() const { return path_; }
    const db_companions& names() const { return names_; }

    // A reader of its own (`out`, closed first) over the database, the log or the journal: a duplicate of the
    // descriptor, with the path and the size measured at the opening. 1, or 0 when that file is not open.
    int open_database(uni::fileio& out) const { return out.open_duplicate(database_); }
    int open_wal(uni::fileio& out) const { return out.open_duplicate(wal_); }
    int open_journal(uni::fileio& out) const { return out.open_duplicate(journal_); }
    // The descriptors themselves (-1 when not open), for a reader that duplicates them itself.
    int database_descriptor() const { return database_.descriptor; }
    int wal_descriptor() const { return wal_.descriptor; }
    int journal_descriptor() const { return journal_.descriptor; }

    // Whether a "-wal" is there beside the file (a name in the folder, a link included), read or not.
    bool wal_there() const { return wal_.is_open() || !wal_why_.empty(); }

    // Whether each companion that is there (a name in the folder, a link included) could be read: 1; else 0
    // with the first that could not (its path beside the file the database's path reaches), and why (as
    // unreadable_reason tells it).
    int companions_readable(std::string* companion, std::string* why) const;

  private:
    // Opens the companion `name` into `file` when it is there; why it cannot be read into `why_`.
    void open_companion(uni::fileio& file, const std::string& name, std::string& why);

    std::string path_;
    db_companions names_;
    uni::fileio database_;
    uni::fileio wal_;
    uni::fileio journal_;
    std::string wal_why_;  // empty when the log is absent or readable
    std::string journal_why_;
};
