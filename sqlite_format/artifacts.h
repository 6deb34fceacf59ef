// Value classes in which the page walks and the carving driver collect what they find: one page or
// region (`sqlite_artifact`), one decoded row (`sqlite_row_artifact`), one cell reached through a
// cell pointer (`sqlite_ptr_artifact`), a database's collection (`sqlite_db_extract`), and the
// cross-check groups (`diags_container`, `sqlite_metadata_ex`, `_special_sorted_pattern`).
// All are plain values: copyable, with a `clear` that returns them to their constructed state.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sqlite_format/format.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/record.h"

// One decoded row and the cell it came from.
class sqlite_row_artifact : public base_rowdata {
  public:
    std::uint64_t rowid = 0;                 // the row's rowid (or index key)
    std::uint64_t file_offset = 0;           // file offset of the record
    std::uint64_t payload_page_offset = 0;   // offset of the payload inside its page
    std::uint64_t payload_file_offset = 0;   // offset of the payload inside the file
    std::uint64_t page_number = 0;           // page the row was read from
    cell_metadata cell;                      // the cell the row was decoded from
    std::vector<std::uint8_t> header_bytes;  // the record header as stored, when kept
    std::uint64_t user_value = 0;            // kept for the walk's own use

    void clear();
};

// One cell reached through a cell pointer.
class sqlite_ptr_artifact : public base_rowdata {
  public:
    std::uint64_t page_offset = 0;                  // file offset of the cell's page
    std::uint64_t file_offset = 0;                  // file offset of the cell
    cell_metadata cell;                             // the cell
    std::uint64_t values[4] = {0, 0, 0, 0};         // kept for the walk's own use
    std::uint64_t state = 0;                        // 0 after construction, 1 after clear
    std::vector<std::vector<std::uint8_t>> chunks;  // byte runs belonging to the cell

    void clear();
};

// Artifact kinds (sqlite_artifact::kind).
constexpr std::uint64_t kArtifactSchemaPage = 1;       // a page of the schema table and its schema rows
constexpr std::uint64_t kArtifactSchemaTable = 2;      // schema row of type "table"
constexpr std::uint64_t kArtifactSchemaIndex = 3;      // schema row of type "index"
constexpr std::uint64_t kArtifactSchemaAutoIndex = 5;  // "index" row whose name holds "sqlite_autoindex"
constexpr std::uint64_t kArtifactTableRows = 6;        // rows of a table leaf page
constexpr std::uint64_t kArtifactIndexRows = 7;        // rows of an index leaf page
constexpr std::uint64_t kArtifactTableInterior = 8;    // table interior page with its children
constexpr std::uint64_t kArtifactIndexInterior = 9;    // index interior page with its children and keys
constexpr std::uint64_t kArtifactSlackText = 12;       // record carved from text in slack

// One page or region with the rows and cells found in it.
class sqlite_artifact {
  public:
    std::uint64_t kind = 0;                                   // artifact kind (schema page, table row, ...)
    std::uint64_t file_offset = 0;                            // file offset of the page
    std::uint64_t page_number = 0;                            // page number
    std::uint64_t root_page = 0;                              // root page of a schema row
    std::string name;                                         // schema row: object name
    std::string table_name;                                   // schema row: table name
    std::uint64_t without_rowid = 0;                          // 1 when the SQL text declares WITHOUT ROWID
    std::string sql;                                          // schema row: SQL text, tabs removed
    std::string sql_lower;                                    // that text lower-cased
    cell_metadata cell;                                       // the cell that produced this artifact
    std::multimap<std::string, sqlite_row_artifact> rows;     // rows found, by key text
    std::multimap<std::uint64_t, sqlite_ptr_artifact> cells;  // cells found, by file offset
    std::vector<std::uint8_t> bytes;                          // raw bytes kept with the artifact

    sqlite_artifact() { clear(); }
    void clear();
};

// A whole database's collection: its header and its pages sorted by what they held, each map keyed by
// the page's file offset.
class sqlite_db_extract {
  public:
    std::vector<std::uint8_t> header_bytes;                  // the database header, once read
    std::multimap<std::uint64_t, sqlite_artifact> unparsed;  // pages kept whole, not parsed (kind 11)
    std::multimap<std::uint64_t, sqlite_artifact> other;     // schema rows and other artifacts
    std::multimap<std::uint64_t, sqlite_artifact> indexes;   // index leaf rows
    std::multimap<std::uint64_t, sqlite_artifact> tables;    // table leaf rows and schema pages
    std::multimap<std::uint64_t, sqlite_artifact> interior;  // interior pages
    std::multimap<std::uint64_t, sqlite_artifact> unbound;   // pages that parse neither way (kind 11)
    std::uint32_t page_size = 0;
    std::uint8_t reserved = 0;  // bytes reserved at the end of each page
    std::uint64_t file_size = 0;
    std::uint8_t header_known = 0;  // 1 once a database header was read
    std::string path;

    void clear();
};

// A compressed record-header pattern (run length in the high four bits of each byte, type class
// in the low four), ordered for use as a set key.
class _special_sorted_pattern {
  public:
    std::vector<std::uint8_t> bytes;

    explicit _special_sorted_pattern(const std::vector<std::uint8_t>& b) : bytes(b) {}
    // Shorter first; then run lengths byte by byte; then type classes byte by byte.
    bool operator<(const _special_sorted_pattern& other) const;
};

// The byte of one run of a serial-type class: class in the low four bits, run length above.
std::uint8_t pack_serial_type_code(std::uint64_t serial_type, unsigned run_length);
// The serial types of a stored record header header[1, length), stopping at the first that does not
// decode inside it.
std::vector<std::uint64_t> stored_serial_types(const std::uint8_t* header, std::size_t length);
// The compressed pattern of a run of serial types (runs longer than 15 continue in a new byte).
std::vector<std::uint8_t> compress_serial_types(const std::vector<std::uint64_t>& serial_types);
// The compressed pattern of a record's stored header bytes (from the second byte); true when any.
bool header_pattern_of_record(std::vector<std::uint8_t>& out, const sqlite_metadata& record);
// The record pattern prefix, and the prefix followed by the header pattern when the record has
// stored header bytes. True when the prefix holds more than one byte.
bool record_pattern(std::vector<std::uint8_t>& prefix, std::vector<std::uint8_t>& prefix_and_pattern,
                    const sqlite_metadata& record);

// The records of one table and header shape from the three reading ways of the cross-check.
class sqlite_metadata_ex {
  public:
    std::vector<sqlite_metadata> lists[3];                          // SQL select, carve, signature
    std::map<std::uint64_t, std::vector<std::uint64_t>> rowids[3];  // rowid -> indices into each list
    std::vector<std::uint8_t> prefix;                               // record pattern prefix
    std::vector<std::uint8_t> prefix_and_pattern;                   // prefix + compressed header pattern
    std::set<_special_sorted_pattern> patterns;                     // header patterns of the group
    std::string pattern_text;                                       // the group's pattern text
    std::map<std::uint64_t, std::uint64_t> header_lengths;          // stored header length -> count

    sqlite_metadata_ex() = default;
    // A new group holding one record of list 1, 2 or 3 (other lists add nothing).
    sqlite_metadata_ex(const sqlite_metadata& record, unsigned list, int pattern_kind);
    void clear();
};

// The diagnostics of one table in the cross-check.
class diags_container {
  public:
    std::uint64_t identifier = 0;                           // the table key
    std::string name;                                       // the table name
    std::set<std::uint64_t> rowids[3];                      // rowids filed from lists 1, 2, 3
    std::uint32_t counts[3] = {0, 0, 0};                    // records filed from lists 1, 2, 3
    std::multimap<std::string, sqlite_metadata_ex> groups;  // pattern text -> group

    diags_container() = default;
    diags_container(std::uint64_t id, const std::string& table_name) : identifier(id), name(table_name) {}
    void clear();
};
