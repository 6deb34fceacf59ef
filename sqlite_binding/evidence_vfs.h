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

// The name to give sqlite3_open_v2 (the VFS is registered on the first call, never as the default); null
// when the library would not register it.
const char* evidence_vfs_name();

// The bytes that the databases open now keep in memory for what the library wrote (a page that is a copy of a
// companion's bytes, such as an original page a rollback writes back from its journal, is kept as a reference
// to them and counts nothing).
std::uint64_t evidence_vfs_bytes_held();

class evidence;

// The files the next database this thread opens through the VFS takes its descriptors from (duplicated; the
// database's and its "-wal" and "-journal"), in place of opening the paths again; a companion they lack is
// absent. Used only for the database they were opened for (by the name the library gives it). Null: paths are
// opened.
void evidence_vfs_lend(const evidence* files);
