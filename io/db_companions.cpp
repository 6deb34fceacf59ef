#include "io/db_companions.h"

#include "io/path_target.h"

db_companions companions_of(const std::string& path) {
    db_companions c;
    if (path.empty()) return c;
    c.database = path_target(path);
    if (c.database.empty()) return c;
    c.wal = c.database + "-wal";
    c.journal = c.database + "-journal";
    c.shm = c.database + "-shm";
    return c;
}
