// The database header and the schema table of one notification database, read with the own reader before
// any table is: the header checked for a SQLite database, the four tables found by name in the schema, their
// columns parsed and their roots kept in the run's layout; and, where either cannot be read, why.
#pragma once

#include <cstdint>
#include <string>

#include "io/fileio.h"
#include "sqlite_format/format.h"

class database_source;
class selk_run;

// The database header of the source's file into `header`, through `file` opened on it: with "-carve" beside a
// hot journal, the header of the committed state, as the own reader then reads the file (the journal's
// original pages laid over an image of it, not the half-written file). False, with why, when the file cannot
// be opened or read, or is no SQLite database (said on standard error when progress output is on).
bool read_database_header(const selk_run& run, const database_source& source, uni::fileio& file,
                          database_header& header, std::string& why);

// The tables of the layout found by name in the schema table of `file` (with `wal_image` set, `file` becomes
// the log's image where page 1 of the main file does not bind; `wal_image` is cleared when the main file
// served): the page size and reserved bytes from `header`, each table's schema parsed and its root kept.
// False, with why, when the schema table cannot be read or the notification or handler table is not in it or
// cannot be parsed (diagnostics log).
bool find_tables(selk_run& database_run, const database_source& source, uni::fileio& file,
                 const database_header& header, std::uint8_t& wal_image, std::string& why);
