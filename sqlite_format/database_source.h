// One database opened once into one object whose facts every reader shares: the evidence's descriptors (the
// database and the "-wal" and "-journal" beside it), its header read once, the committed state beside a log
// or a hot journal. The driver opens it, and it is never written after; every reader (the library's VFS, the
// own table walk, the tree check, the carver, the slack scan) takes it by const reference and reads through
// readers of its own (duplicated descriptors, or an overlay of a state, which any number of them may share),
// so that no reader derives a fact of the database for itself, and threads may read it at once.
//
// What the file claims (a page count, a log frame's database size, a journal's initial size) sizes nothing:
// a state is an overlay whose size is the claim and whose bytes are the pieces present, and present_pages
// bounds whatever a reader keeps per page.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "io/evidence.h"
#include "io/fileio.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/journal.h"
#include "sqlite_format/wal.h"

namespace uni {
class file_overlay;
}

// Which bytes of the database a reader reads.
enum class database_view : std::uint8_t {
    file,       // the main file as it stands
    own,        // as "-carve" reads the tables: the file, beside a hot journal as its rollback leaves it
    committed,  // as the library reads them: `own` (the file, beside a hot journal as it rolls back), and
                // beside a log its committed frames over that (none when it commits nothing)
    log_image,  // the log's own image: page 1 of the file and every page the log's committed frames hold at
                // its place, the rest zeros (read where page 1 of the file does not bind)
};

class database_source {
  public:
    database_source();
    ~database_source();
    database_source(const database_source&) = delete;
    database_source& operator=(const database_source&) = delete;

    // Opens the database at `path` (already expanded) with the log or journal beside the file the path
    // reaches (companions_of), reads the main file's header, the log's committed frames as the library takes
    // them and the journal's verdict, and lays out the states over them; with `every_frame` (for a run that
    // carves) the log's frames that are not committed are mapped too, for the carver. What was open before is
    // closed first. 1 when the database opened (whatever its bytes are); 0 otherwise, the source then empty
    // but for the path.
    int open(const std::string& path, bool every_frame = true);
    void close();
    bool is_open() const;

    const std::string& path() const;
    const evidence& files() const;
    // The main file as opened: its size, and its header.
    std::uint64_t file_size() const;
    const database_header& header() const;

    // The log beside it: page -> offset of the frame of its committed version (the frames the library
    // takes), and the database's pages after the last commit. Empty and 0 when it commits nothing or there
    // is none.
    const wal_frame_map& log_frames() const;
    std::uint64_t log_pages() const;
    bool log_commits() const { return log_pages() != 0; }
    // Whether a log is there at all (not empty), and every one of its frames as the library sorts them.
    bool log_present() const;
    const wal_sort& log_sort() const;
    // The journal beside it, judged as the library judges it, and what a hot one rolls back. The library
    // plays a hot journal before it opens a log beside it: the committed view is the rolled-back state with
    // the log's commits over it, while "-carve" reads the rolled-back state alone.
    const journal_verdict& journal() const;
    bool journal_rolls_back() const;  // hot or unknown, and its header gives a state
    const rollback_journal& journal_records() const;

    // A reader of its own over `view` (`out` closed first): a duplicate of the file's descriptor, or the
    // state's overlay. 1, or 0 when the view has no bytes (a file that did not open; the log image without a
    // log that commits a frame, or when page 1 of the file is no database header the image can take).
    int open_view(database_view view, uni::fileio& out) const;
    // Whether `view` is another state than the file as it stands.
    bool has_state(database_view view) const;
    // The header of page 1 as `view` holds it (the main file's where the view does not change page 1).
    const database_header& header_of(database_view view) const;
    // The pages `view` has, as the file or its companion claims them: beside a log that commits, the last
    // commit's count; beside a hot journal, its initial size; else the header's count where it is kept up to
    // date, else the pages the bytes hold. A claim: it sizes nothing.
    std::uint64_t pages(database_view view) const;
    // The pages of `view` whose bytes are there (the main file's whole and partial pages, at most pages()):
    // whatever a reader keeps per page is kept densely for these only.
    std::uint64_t present_pages(database_view view) const;

  private:
    // Whether `view` is the hot journal's state.
    bool rolls_back(database_view view) const;

    struct facts;
    std::unique_ptr<facts> facts_;
};

// ---------------------------------------------------------------------------------------------
// The states, as their builders lay them out; the path forms open a source of their own.

// The bytes of a database as one reader sees them: a file (or an image of a state) and, beside a log, the
// log's committed frames laid over it.
struct database_bytes {
    uni::fileio* file = nullptr;
    uni::fileio* log = nullptr;             // with `frames`: the log whose frames lie over the file
    const wal_frame_map* frames = nullptr;  // page -> offset in `log` of the frame of its committed version
    std::uint64_t log_pages = 0;            // with a log: the pages of the committed state
    // A log beside a file that is read without it: its committed frames and pages, which may explain a file
    // shorter than its header says (the size alone is judged by them).
    const wal_frame_map* size_frames = nullptr;
    std::uint64_t size_pages = 0;
    // The pages whose bytes are there (0: those `file` holds): per-page maps are dense for these only.
    std::uint64_t present_pages = 0;
};

// The pages of a state, read whole: a frame of the log where it holds the page, else the file; the bytes past
// the state's end read as zeros, as the library reads them.
class state_pages {
  public:
    state_pages(const database_bytes& bytes, std::uint32_t page_size)
        : bytes_(bytes), page_size_(page_size) {}

    // Page `page` into `out` (page_size bytes); the bytes the state holds of it (0 when none).
    std::size_t read(std::uint64_t page, std::uint8_t* out) const;
    // The first four bytes of page `page` (an overflow page's link); false when the state does not hold the
    // page whole.
    bool link_of_whole(std::uint64_t page, std::uint32_t* next) const;
    // The type byte of page `page` (a page other than page 1); false when the state does not hold it.
    bool type_of(std::uint64_t page, std::uint8_t* type) const;

  private:
    const database_bytes& bytes_;
    const std::uint32_t page_size_;
};

// Readers of their own over one view of a database, for one thread: the file (or the state's overlay) and,
// beside a log, the log whose committed frames lie over it.
struct committed_state {
    uni::fileio file;
    uni::fileio log;
    const wal_frame_map* frames = nullptr;  // the source's committed frames (with `log`)
    std::uint64_t log_pages = 0;            // the pages of the last commit in the log; 0 when none is laid
    const wal_frame_map* size_frames = nullptr;  // the log's frames beside a file read without them
    std::uint64_t size_pages = 0;
    std::uint64_t present_pages = 0;

    database_bytes bytes();
};

// Opens `view` of `source` into `state`: for the committed view beside a log that commits, the main file (or
// beside a hot journal the state it rolls back to) and the log with its frames; for any other view, its file,
// with the log's frames kept for the size where the view is read without them. 1, or 0 when the view has no
// bytes.
int open_committed_state(committed_state& state, const database_source& source, database_view view);

// Turns `image` into a read-only file of the state in `bytes` (with `pages` pages of `page_size` bytes), for
// a walk of the same bytes the check judged: read in place from the file (or the pieces of the state it is
// an image of) and the log (overlay mode), never copied whole; its size is the claim, its pieces those
// present. 1, or 0 when `bytes` is not open on descriptors or an overlay, or memory runs out.
int open_state_image(uni::fileio& image, const database_bytes& bytes, std::uint64_t pages,
                     std::uint32_t page_size);

// The log image of the log `wal` beside the database `db` (null, or a file that does not read as one: the
// log alone sizes the image): page 1 of the database and every committed frame's page at its place, every
// other page zero; sized as the database file, raised to hold the highest committed page (without the
// database, the highest committed page in the log's page size). Read in place (overlay mode). `file` (closed
// first) becomes it: 1, or 0 with `file` closed when the log commits no frame.
int open_wal_state(uni::fileio& file, uni::fileio* db, uni::fileio& wal);

// The log image, as open_wal_state lays it, of the log beside the database at `db_path` (or of the log alone,
// where the path reaches a file ending in "-wal"), read through a source opened from the path. 1, or 0 with
// `file` closed.
int open_wal_companion(uni::fileio& file, const std::string& db_path);
// That image read whole into `image` (empty on failure, or when memory runs out).
int build_wal_db_image(std::vector<std::uint8_t>& image, const std::string& path);

// The pages of the database `source` holds that a transaction that never committed wrote: those the
// rollback of its hot journal writes back (every played record's page) and those it cuts off (past the
// initial size), as regions (offset -> `page_size`) inside the main file. `out` is cleared first. 1 when it
// is not empty; 0 when the journal is not hot or its page size is not `page_size` (the database's, which a
// journal page size of 0 stands for).
int map_uncommitted_pages(region_map& out, const database_source& source, std::uint32_t page_size);
