// Source codes: where a record came from. One table holds, for each code, its printed label and the file
// its records were read from; everything that names or sorts a source goes through it.
#pragma once

#include <string>

// Stored in bits 2 and up of a record's flags (flags = code << kSourceShift).
constexpr unsigned kSourceShift = 2;

constexpr unsigned kSourceSqliteLib = 1;
constexpr unsigned kSourceMainSlack = 2;
constexpr unsigned kSourceCarveMain = 3;
constexpr unsigned kSourceCarveBlob = 4;
constexpr unsigned kSourceWalOverwrites = 6;
constexpr unsigned kSourceWalSuperseded = 7;
constexpr unsigned kSourceWalSlack = 8;
constexpr unsigned kSourceWalValid = 9;
constexpr unsigned kSourceCarveWal = 10;
constexpr unsigned kSourceCarveJournal = 11;
constexpr unsigned kSourceCarveMainFromWal = 12;

// The file a source's records were read from.
enum class source_file {
    none,     // no such code
    main_db,  // the database file itself
    wal,      // the write-ahead log ("-wal")
    journal,  // the rollback journal ("-journal")
    loose,    // a file of loose pages or bytes
};

struct record_source {
    unsigned code;
    const char* label;
    source_file file;
};

// The row of `code`; for 5 and codes outside 1-12 a row with an empty label and source_file::none.
const record_source& record_source_of(unsigned code);

// The label of a source code; empty for 5 and for codes outside 1-12.
std::string record_source_label(unsigned code);
// True when the code's records came from the database file itself, or from the write-ahead log.
bool source_in_main_db(unsigned code);
bool source_in_wal(unsigned code);
