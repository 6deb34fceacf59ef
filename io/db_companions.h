// Where the files that SQLite keeps beside a database lie. The library looks for them beside the file the
// database's path finally reaches (every link followed), not beside a link to it; every reader, the output
// guard and the library's opening all ask here, so that a database named through a link reads the same.
#pragma once

#include <string>

struct db_companions {
    std::string database;  // the file the path reaches (path_target): absolute, links followed
    std::string wal;       // database + "-wal": the write-ahead log
    std::string journal;   // database + "-journal": the rollback journal
    std::string shm;       // database + "-shm": the log's shared-memory index
};

// The companions of the database at `path` (already expanded); every member empty for an empty path.
db_companions companions_of(const std::string& path);
