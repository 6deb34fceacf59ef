// A page-by-page view of a database file and a plain-text export of one table. The file is scanned in
// page-sized chunks; each chunk is either listed as a short header to a stream or parsed into a
// sqlite_db_extract. The table export finds the table's root page in the schema and writes each row as
// its values joined by " | ". The tool's own runs do not call these.
//
// Page sizes come from the file read and are refused below 512; every read of a chunk stays inside it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sqlite_format/artifacts.h"

namespace uni {
class fileio;
}

// Artifact kind of a page kept whole: file offset, page number and the page bytes.
constexpr std::uint64_t kArtifactRawPage = 11;

// What dump_page_chunk is handed for each chunk of a scan.
struct page_chunk_context {
    bool active = false;  // chunks are ignored while false
    std::uint32_t page_size = 0;
    std::uint8_t reserved = 0;
    uni::fileio* file = nullptr;           // the file scanned (overflow chains are read through it)
    std::ostream* listing = nullptr;       // page headers are listed here when there is no extract
    sqlite_db_extract* extract = nullptr;  // pages are parsed into this when set
    bool annotate_time = false;            // handed to the record decoder
};

// Lists the page headers of the database at `path` (or, without a stream, checks that every page binds).
// 0 when the page parameters cannot be read; else the result of the scan.
int dump_db_pages(std::ostream* listing, const std::string& path);

// Parses every page of the file at `path` into `extract` (cleared first). The file must open and hold at
// least 512 bytes; without the database magic it is read only with accept_no_magic (its page size field
// then taken as it stands). 0 when the page size is under 512 or not a power of two; else the scan's 1.
int extract_db_file(sqlite_db_extract& extract, const std::string& path, bool accept_no_magic,
                    bool annotate_time);

// The scan callback: all ones, doing nothing, without a file or an active context; else hands the chunk
// to extract_page_into (with an extract object) or dump_page_headers, and returns 0.
int dump_page_chunk(uni::fileio* file, void* context, const std::uint8_t* bytes, std::uint32_t length,
                    std::uint32_t overlap, std::uint64_t offset);

// One chunk at file offset `offset`. The chunk at 0 must hold a database header (without a stream it must
// begin with the magic); its page size is taken from it into `page_size`. Other chunks need a page size of
// 512 or more. With a stream: the page's heading ("first page of SQLite File" first for page 1); with an
// extract object (cleared first): the page size, reserved bytes and a kind-11 artifact of the page. 1 when
// the page binds as a b-tree page.
int dump_page_headers(std::ostream* listing, sqlite_db_extract* extract, std::uint32_t& page_size,
                      const std::uint8_t* bytes, std::uint32_t length, std::uint64_t offset);

// Parses one chunk into the extract's maps: table rows and schema pages, index rows, other artifacts,
// interior pages, and kind-11 artifacts of pages that do not bind (unparsed) or parse neither way
// (unbound). The chunk at 0 must begin with the magic and the header must be known. 1 when the page bound.
int extract_page_into(sqlite_db_extract& extract, const std::uint8_t* bytes, std::uint32_t length,
                      std::uint64_t offset, bool annotate_time, uni::fileio* file);

// The artifacts of the table b-tree at `root_page` (interior pages, table rows, index rows, others) into
// `extract` (cleared first). The page size of a database file is its own; `page_size` serves only a file
// without a database header. 1 when any of the row or other maps is non-empty.
int extract_table_artifacts(sqlite_db_extract& extract, const std::string& path, std::uint32_t page_size,
                            std::uint32_t root_page, text_encoding encoding);

// The rows of one table as lines of values joined by " | " (lines cleared first). A root page of 0 is
// looked up by table name in the schema (and returned); the first rowid and count bound the rows (count -1:
// all). 1 when rows were exported; 0 for an empty path, no root page and no name, a table not in the
// schema, a root page outside the file, or no rows.
int export_table_rows(std::vector<std::string>& lines, std::uint32_t& root_page, const std::string& path,
                      const std::string& table_name, std::uint64_t first_rowid, std::int64_t count,
                      bool raw_blob);
// export_table_rows, every line followed by a line end.
int print_table_rows(std::ostream& os, std::uint32_t& root_page, const std::string& path,
                     const std::string& table_name, std::uint64_t first_rowid, std::int64_t count,
                     bool raw_blob);
