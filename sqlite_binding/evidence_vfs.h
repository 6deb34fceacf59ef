// The library's way to the evidence: a SQLite VFS of the program's own through which a database is read
// without anything on disk changing or being made, whatever ends the run.
//
// The database and the "-wal" and "-journal" beside it (links followed, as companions_of finds them) are
// opened read-only, without touching their access time where the system allows it. Whatever the library
// writes while it reads stays in memory and goes with the connection: the pages a hot journal rolls back,
// the deletion of that journal, the log's index (its "-shm", never opened) and any temporary file. So the
// library still applies the log or rolls the journal back itself and reads the committed state, while
// only the blocks it wrote cost memory. A companion that is there but cannot be opened counts as absent.
// Locks are never taken on the evidence: each connection has the files of its own, and only it sees what
// its library wrote.
#pragma once

// The name to give sqlite3_open_v2 (the VFS is registered on the first call, never as the default); null
// when the library would not register it.
const char* evidence_vfs_name();
