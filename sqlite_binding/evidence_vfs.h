// The library's way to the evidence: a SQLite VFS of the program's own through which a database is read
// without anything on disk changing or being made, whatever ends the run.
//
// The database and the "-wal" and "-journal" beside it (links followed, as companions_of finds them) are
// opened read-only, without touching their access time where the system allows it. Whatever the library
// writes while it reads stays in memory and goes with the connection: the pages a hot journal rolls back,
// the deletion of that journal, the log's index (its "-shm", never opened) and any temporary file. So the
// library still applies the log or rolls the journal back itself and reads the committed state, while
// only the blocks it wrote cost memory, and of those the journal's original pages that the rollback writes
// back only a reference to where they lie in the journal. A companion that is there but cannot be opened
// counts as absent; whether the super-journal a hot journal names is there is answered as the own readers
// answer it (super_journal_exists), and one that cannot be read reads as empty. Locks are never taken on the
// evidence: each connection has the files of its own, and only it sees what its library wrote.
#pragma once

#include <cstdint>
#include <memory>

// The bytes that the databases open now keep in memory for what the library wrote (a page that is a copy of a
// companion's bytes, such as an original page a rollback writes back from its journal, is kept as a reference
// to them and counts nothing).
std::uint64_t evidence_vfs_bytes_held();

class database_source;

// A VFS of its own for the database `source` opened once, registered under a name of its own (never as the
// default) as it is made and unregistered when it goes, after every connection through it closed. It reads
// that one database: whatever name the library opens a main file by, it reads the source's descriptors
// (duplicated), the database's and its "-wal" and "-journal" (a companion the source lacks is absent), in
// place of opening the paths again, and keeps what the library writes to them in the instance, apart from
// every other VFS's. The source must outlive it.
class evidence_vfs {
  public:
    explicit evidence_vfs(const database_source& source);
    ~evidence_vfs();
    evidence_vfs(const evidence_vfs&) = delete;
    evidence_vfs& operator=(const evidence_vfs&) = delete;

    // The name to give sqlite3_open_v2; null when the library would not register it.
    const char* name() const;

    struct instance;

  private:
    std::unique_ptr<instance> instance_;
};
