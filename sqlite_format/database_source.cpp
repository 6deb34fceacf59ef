#include "sqlite_format/database_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "io/file_overlay.h"
#include "sqlite_format/format.h"
#include "sqlite_format/layout.h"

namespace {

// The page size in a log's own header; 0 when the header cannot be read or is not valid.
std::uint32_t log_header_page_size(uni::fileio& wal) {
    std::uint8_t header[kWalHeaderSize] = {};
    std::uint32_t size = 0;
    if (!read_file_exact(wal, 0, sizeof header, header) || !wal_header_valid(header, sizeof header, &size))
        return 0;
    return size;
}

// The log image of `wal` (its committed frames `frames`, in pages of `page_size`) beside `db` (null, or a
// file that does not read as a database: the log alone sizes the image), as open_wal_state lays it.
int lay_log_image(uni::fileio& file, uni::fileio* db, uni::fileio& wal, const wal_frame_map& frames,
                  std::uint32_t page_size) {
    if (file.is_open()) file.close();
    if (frames.empty() || page_size == 0) return 0;
    const std::uint64_t highest = frames.rbegin()->first;
    db_header_bytes db_header{};
    const bool with_db = db != nullptr && check_db_file_header(*db, db_header);
    const std::uint32_t db_page_size = with_db ? decode_database_header(db_header).page_size : 0;
    const std::uint64_t size = with_db ? std::max(db->size(), highest * db_page_size) : highest * page_size;
    if (size == 0) return 0;
    auto pieces = std::make_shared<uni::file_overlay>();
    pieces->size = size;
    const int log = pieces->add_source(wal.descriptor);
    if (log < 0) return 0;
    // Of the database only page 1 is taken; the log supplies the other pages it holds.
    if (with_db) {
        const int main = pieces->add_source(db->descriptor);
        if (main < 0 || !pieces->lay(0, std::min<std::uint64_t>(db_page_size, size), main, 0)) return 0;
    }
    for (const auto& entry : frames) {
        const std::uint64_t target = (entry.first - 1) * page_size;
        if (target > size || page_size > size - target) continue;
        if (!pieces->lay(target, page_size, log, entry.second + kWalFrameHeaderSize)) return 0;
    }
    return file.open_overlay(std::move(pieces));
}

// The state a hot journal `journal` (read from `jfile`) rolls `db` back to: the file cut or zero-extended to
// the journal's initial size, with every played record's page laid over it in file order, read in place;
// null when its header gives none.
std::shared_ptr<const uni::file_overlay> lay_journal_state(uni::fileio& db, uni::fileio& jfile,
                                                           const rollback_journal& journal) {
    if (journal.page_size == 0 || !journal.live_magic || journal.initial_pages == 0) return nullptr;
    // The size the journal's header claims: the overlay costs only its pieces, so any claim is played.
    const std::uint64_t size = static_cast<std::uint64_t>(journal.initial_pages) * journal.page_size;
    auto pieces = std::make_shared<uni::file_overlay>();
    pieces->size = size;
    const int main = pieces->add_source(db.descriptor);
    const int original = pieces->add_source(jfile.descriptor);
    if (main < 0 || original < 0) return nullptr;
    // The file as it is, cut to the size before the transaction; pages past its end stay zero, as SQLite's
    // rollback extends the file.
    if (!pieces->lay(0, std::min<std::uint64_t>(db.size(), size), main, 0)) return nullptr;
    for (const journal_record& r : journal.records) {
        if (!r.played) continue;
        const std::uint64_t target = static_cast<std::uint64_t>(r.page - 1) * journal.page_size;
        if (!pieces->lay(target, journal.page_size, original, r.image_offset)) return nullptr;
    }
    return pieces;
}

// The header of page 1 as the file `file` holds it.
database_header header_in(uni::fileio& file) {
    std::uint8_t bytes[kDbHeaderSize] = {};
    std::uint32_t got = sizeof bytes;
    if (!file.is_open() || file.size() == 0 || !file.read_at(bytes, &got, 0)) got = 0;
    return decode_database_header(bytes, got);
}

std::uint64_t pages_held(std::uint64_t size, std::uint32_t page_size) {
    return page_size == 0 ? 0 : (size + page_size - 1) / page_size;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

struct database_source::facts {
    std::string path;
    evidence files;
    bool open = false;
    std::uint64_t file_size = 0;
    database_header header;  // the main file's
    // The log's frames sorted as the library takes them (sorted once, for every reader); its committed
    // frames and the pages of its last commit, none when it commits nothing.
    wal_sort log;
    std::uint64_t log_pages = 0;
    std::uint32_t log_page_size = 0;   // in its own header
    bool log_present = false;          // a log is there (and opens), whatever it commits
    bool log_page1 = false;            // the log commits a version of page 1
    database_header committed_header;  // page 1 as the log's committed frames hold it
    journal_verdict journal;
    rollback_journal records;
    std::shared_ptr<const uni::file_overlay> rolled_back;  // the hot journal's state; null when none
    database_header rolled_back_header;
};

database_source::database_source() : facts_(std::make_unique<facts>()) {}
database_source::~database_source() = default;

void database_source::close() { facts_ = std::make_unique<facts>(); }

int database_source::open(const std::string& path, bool every_frame) {
    close();
    facts& f = *facts_;
    f.path = path;
    if (!f.files.open(path)) return 0;
    f.open = true;
    uni::fileio db;
    if (!f.files.open_database(db)) return 0;
    f.file_size = db.size();
    f.header = header_in(db);
    f.committed_header = f.header;
    f.rolled_back_header = f.header;
    uni::fileio wal;
    // An empty log is none: the library takes a log only where it has a byte.
    if (f.files.open_wal(wal) && wal.size() > 0) {
        f.log_present = true;
        (void)sort_wal_log(f.log, wal, every_frame);
        if (f.log.committed_pages != 0 && !f.log.valid.empty()) f.log_pages = f.log.committed_pages;
        f.log_page_size = f.log.page_size;
        const auto first = f.log.valid.find(1);
        if (f.log_pages != 0 && first != f.log.valid.end()) {
            std::uint8_t bytes[kDbHeaderSize] = {};
            if (read_file_exact(wal, first->second + kWalFrameHeaderSize, sizeof bytes, bytes)) {
                f.committed_header = decode_database_header(bytes, sizeof bytes);
                f.log_page1 = true;
            }
        }
    }
    uni::fileio jfile;
    if (!f.files.open_journal(jfile)) return 1;
    f.journal = judge_journal(db, jfile);
    if (f.journal.hotness == journal_hotness::not_hot) return 1;
    (void)read_rollback_journal(f.records, jfile, f.header.page_size);
    f.rolled_back = lay_journal_state(db, jfile, f.records);
    if (f.rolled_back) {
        uni::fileio state;
        if (state.open_overlay(f.rolled_back)) f.rolled_back_header = header_in(state);
        // The library plays a hot journal before it opens the log beside it: page 1 is the rollback's where
        // the log commits no version of it.
        if (!f.log_page1) f.committed_header = f.rolled_back_header;
    }
    return 1;
}

bool database_source::is_open() const { return facts_->open; }
const std::string& database_source::path() const { return facts_->path; }
const evidence& database_source::files() const { return facts_->files; }
std::uint64_t database_source::file_size() const { return facts_->file_size; }
const database_header& database_source::header() const { return facts_->header; }
const wal_frame_map& database_source::log_frames() const {
    static const wal_frame_map kNone;
    return facts_->log_pages != 0 ? facts_->log.valid : kNone;
}
bool database_source::log_present() const { return facts_->log_present; }
const wal_sort& database_source::log_sort() const { return facts_->log; }
std::uint64_t database_source::log_pages() const { return facts_->log_pages; }
const journal_verdict& database_source::journal() const { return facts_->journal; }
bool database_source::journal_rolls_back() const { return facts_->rolled_back != nullptr; }
const rollback_journal& database_source::journal_records() const { return facts_->records; }

bool database_source::has_state(database_view view) const {
    switch (view) {
        case database_view::file:
            return false;
        case database_view::own:
            return journal_rolls_back();
        case database_view::committed:
            return log_commits() || journal_rolls_back();
        case database_view::log_image:
            return true;
    }
    return false;
}

const database_header& database_source::header_of(database_view view) const {
    switch (view) {
        case database_view::own:
            return facts_->rolled_back_header;
        case database_view::committed:
            return facts_->committed_header;
        case database_view::log_image:
            // Page 1 of the file, or the log's version of it over it.
            return facts_->log_page1 ? facts_->committed_header : facts_->header;
        default:
            return facts_->header;
    }
}

int database_source::open_view(database_view view, uni::fileio& out) const {
    out.close();
    const facts& f = *facts_;
    if (!f.open) return 0;
    if (view == database_view::committed && log_commits()) {
        committed_state handles;
        if (!open_committed_state(handles, *this, view)) return 0;
        return open_state_image(out, handles.bytes(), f.log_pages, f.header.page_size);
    }
    if (view == database_view::log_image) {
        uni::fileio db;
        uni::fileio wal;
        if (!f.files.open_wal(wal) || log_frames().empty()) return 0;
        const bool with_db = f.files.open_database(db);
        return lay_log_image(out, with_db ? &db : nullptr, wal, log_frames(), f.log_page_size);
    }
    if (rolls_back(view)) return out.open_overlay(f.rolled_back);
    return f.files.open_database(out);
}

std::uint64_t database_source::pages(database_view view) const {
    const facts& f = *facts_;
    if (view == database_view::committed && log_commits()) return f.log_pages;
    if (view == database_view::log_image && log_commits()) {
        // The image is as large as the file, or as the highest page the log holds.
        const std::uint64_t highest = f.log.valid.rbegin()->first * f.log_page_size;
        return header_of(view).pages_for(std::max(f.file_size, highest));
    }
    if (rolls_back(view)) return header_of(view).pages_for(f.rolled_back->size);
    return f.header.pages_for(f.file_size);
}

std::uint64_t database_source::present_pages(database_view view) const {
    const std::uint32_t page_size = header_of(view).page_size;
    return std::min(pages(view), pages_held(facts_->file_size, page_size));
}

bool database_source::rolls_back(database_view view) const {
    const facts& f = *facts_;
    if (!f.rolled_back) return false;
    return view == database_view::own || view == database_view::committed;
}

// ---------------------------------------------------------------------------------------------

std::size_t state_pages::read(std::uint64_t page, std::uint8_t* out) const {
    std::memset(out, 0, page_size_);
    if (page == 0) return 0;
    if (bytes_.frames != nullptr && bytes_.log != nullptr) {
        const auto frame = bytes_.frames->find(page);
        if (frame != bytes_.frames->end())
            return read_file_exact(*bytes_.log, frame->second + kWalFrameHeaderSize, page_size_, out)
                       ? page_size_
                       : 0;
    }
    const std::uint64_t offset = (page - 1) * page_size_;
    if (bytes_.file == nullptr || offset >= bytes_.file->size()) return 0;
    std::uint32_t got =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(page_size_, bytes_.file->size() - offset));
    if (!bytes_.file->read_at(out, &got, offset)) return 0;
    return got;
}

bool state_pages::link_of_whole(std::uint64_t page, std::uint32_t* next) const {
    std::uint8_t head[kOverflowLinkSize] = {};
    if (bytes_.frames != nullptr && bytes_.log != nullptr) {
        const auto frame = bytes_.frames->find(page);
        if (frame != bytes_.frames->end()) {
            if (!read_file_exact(*bytes_.log, frame->second + kWalFrameHeaderSize, sizeof head, head))
                return false;
            return read_be32(byte_view(head, sizeof head), 0, next);
        }
    }
    const std::uint64_t offset = (page - 1) * page_size_;
    if (bytes_.file == nullptr || bytes_.file->size() < offset + page_size_ ||
        !read_file_exact(*bytes_.file, offset, sizeof head, head))
        return false;
    return read_be32(byte_view(head, sizeof head), 0, next);
}

bool state_pages::type_of(std::uint64_t page, std::uint8_t* type) const {
    std::uint32_t head = 0;
    if (page <= 1 || !link_of_whole(page, &head)) return false;
    *type = static_cast<std::uint8_t>(head >> 24);
    return true;
}

database_bytes committed_state::bytes() {
    database_bytes b;
    b.file = &file;
    if (log_pages != 0 && frames != nullptr && !frames->empty()) {
        b.log = &log;
        b.frames = frames;
        b.log_pages = log_pages;
    }
    b.size_frames = size_frames;
    b.size_pages = size_pages;
    b.present_pages = present_pages;
    return b;
}

int open_committed_state(committed_state& state, const database_source& source, database_view view) {
    state.frames = nullptr;
    state.log_pages = 0;
    state.size_frames = nullptr;
    state.size_pages = 0;
    state.log.close();
    state.present_pages = source.present_pages(view);
    if (view == database_view::committed && source.log_commits()) {
        // The log's commits lie over the state a hot journal rolls the file back to, as the library plays the
        // journal before it opens the log.
        const bool base = source.journal_rolls_back() ? source.open_view(database_view::own, state.file)
                                                      : source.files().open_database(state.file);
        if (!base || !source.files().open_wal(state.log)) return 0;
        state.frames = &source.log_frames();
        state.log_pages = source.log_pages();
        return 1;
    }
    if (!source.open_view(view, state.file)) return 0;
    // The main file read without its log: the log's commits may still explain a file shorter than its
    // header says.
    if (view != database_view::log_image && source.log_commits()) {
        state.size_frames = &source.log_frames();
        state.size_pages = source.log_pages();
    }
    return 1;
}

int open_state_image(uni::fileio& image, const database_bytes& bytes, std::uint64_t pages,
                     std::uint32_t page_size) {
    if (page_size == 0 || bytes.file == nullptr) return 0;
    const std::uint64_t size = pages * page_size;
    auto pieces = std::make_shared<uni::file_overlay>();
    pieces->size = size;
    // The file, or the state it is an image of (a hot journal's rollback), under the log's frames.
    const std::uint64_t base = std::min(bytes.file->size(), size);
    if (bytes.file->overlay) {
        if (!pieces->lay_overlay(*bytes.file->overlay, base)) return 0;
    } else {
        const int main = pieces->add_source(bytes.file->descriptor);
        if (main < 0 || !pieces->lay(0, base, main, 0)) return 0;
    }
    if (bytes.frames != nullptr && bytes.log != nullptr) {
        const int log = pieces->add_source(bytes.log->descriptor);
        if (log < 0) return 0;
        const std::uint64_t log_size = bytes.log->size();
        for (const auto& frame : *bytes.frames) {
            if (frame.first == 0 || frame.first > pages) continue;
            const std::uint64_t from = frame.second + kWalFrameHeaderSize;
            // A frame the log does not hold whole reads as a page of zeros, as the check read it.
            const bool whole = from <= log_size && page_size <= log_size - from;
            if (!pieces->lay((frame.first - 1) * page_size, page_size, whole ? log : -1, from)) return 0;
        }
    }
    return image.open_overlay(std::move(pieces));
}

int open_wal_state(uni::fileio& file, uni::fileio* db, uni::fileio& wal) {
    if (file.is_open()) file.close();
    if (!wal.is_open()) return 0;
    const std::uint32_t page_size = log_header_page_size(wal);
    wal_frame_map frames;
    std::uint64_t committed_pages = 0;
    if (page_size == 0 || !map_wal_commits(frames, committed_pages, wal)) return 0;
    return lay_log_image(file, db, wal, frames, page_size);
}

int open_wal_companion(uni::fileio& file, const std::string& db_path) {
    if (file.is_open()) file.close();
    if (db_path.empty()) return 0;
    database_source source;
    (void)source.open(db_path);
    // A path that reaches the log itself: the log alone sizes the image.
    if (path_ends_with(source.files().names().database, "-wal")) {
        uni::fileio wal;
        return source.files().open_database(wal) ? open_wal_state(file, nullptr, wal) : 0;
    }
    return source.open_view(database_view::log_image, file);
}

int build_wal_db_image(std::vector<std::uint8_t>& image, const std::string& path) {
    image.clear();
    uni::fileio state;
    return open_wal_companion(state, path) ? read_whole_file(image, state) : 0;
}

int map_uncommitted_pages(region_map& out, const database_source& source, std::uint32_t page_size) {
    out.clear();
    const rollback_journal& journal = source.journal_records();
    if (page_size == 0 || source.journal().hotness == journal_hotness::not_hot) return 0;
    if (journal.page_size != page_size || !journal.live_magic) return 0;
    const std::uint64_t pages = source.file_size() / page_size;
    for (const journal_record& r : journal.records)
        if (r.played && r.page <= pages)
            out.emplace(static_cast<std::uint64_t>(r.page - 1) * page_size, page_size);
    for (std::uint64_t page = static_cast<std::uint64_t>(journal.initial_pages) + 1; page <= pages; ++page)
        out.emplace((page - 1) * page_size, page_size);
    return out.empty() ? 0 : 1;
}
