#include "sqlite_format/carver.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <utility>

#include "common/case_conv.h"
#include "io/db_companions.h"
#include "io/evidence.h"
#include "io/fileio.h"
#include "platform/ordered_stage.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/carved_values.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/format.h"
#include "sqlite_format/freespace.h"
#include "sqlite_format/journal.h"
#include "sqlite_format/page_claims.h"
#include "sqlite_format/page_reach.h"
#include "sqlite_format/record.h"
#include "sqlite_format/schema_reader.h"
#include "sqlite_format/wal.h"

namespace {

// The typed classifier of an untyped one and the context it is handed.
candidate_finder bind_classifier(record_classifier classifier, void* options) {
    if (!classifier) return nullptr;
    return [classifier, options](std::vector<recovered_record>& candidates, const std::uint8_t* chunk,
                                 std::uint32_t length, std::uint64_t offset) {
        return classifier(candidates, chunk, length, offset, 0, options);
    };
}

std::uint64_t candidate_start(const recovered_record& c, bool from_position) {
    return from_position ? c.position : c.record_offset;
}

// Decodes a whole table leaf page; false when a row's column count is outside the bounds, so the
// classifier must look at the chunk instead.
bool walk_leaf_page(std::vector<recovered_record>& out, const std::uint8_t* chunk, std::uint32_t length,
                    std::uint64_t p, const page_walk_options& walk, uni::fileio& file,
                    const table_schema& schema, std::uint32_t min_columns, std::uint32_t max_columns) {
    const std::uint32_t code = walk.source_code;
    artifact_map artifacts;
    leaf_page_options leaf(walk.page_size, &file);
    leaf.encoding = walk.encoding;
    leaf.reserved = walk.reserved;
    leaf.raw_blob = true;
    leaf.skip_overflow = true;
    leaf.keep_header = true;
    leaf.without_rowid = schema.without_rowid != 0;
    parse_table_page(artifacts, chunk, length, p, p, leaf);
    for (auto& entry : artifacts) {
        sqlite_artifact& artifact = entry.second;
        if (artifact.rows.empty()) continue;
        for (const auto& row_entry : artifact.rows) {
            const sqlite_row_artifact& row = row_entry.second;
            const auto columns = static_cast<std::uint32_t>(row.values.size());
            if (columns > max_columns || columns < min_columns) return false;
            recovered_record rec;
            rec.values = row.values;
            rec.column_flags = row.codes;
            rec.record_offset = row.file_offset;
            rec.rowid = 0;
            rec.flags = code << kSourceShift;
            rec.column_count = static_cast<std::uint8_t>(columns & 0xFF);
            rec.header_bytes = row.header_bytes;
            out.push_back(std::move(rec));
        }
    }
    return true;
}

// The end (in the chunk) of the free region of a whole b-tree page that holds the byte at `at`; 0 when
// no free region holds it.
std::uint64_t free_region_end(const region_map& free, std::uint64_t at) {
    auto it = free.upper_bound(at);
    if (it == free.begin()) return 0;
    --it;
    return at - it->first < it->second ? it->first + it->second : 0;
}

// What classify_chunk keeps from chunk to chunk (a walk classifies many thousands of them), held by the walk
// or by one helper's worker. Not thread_local: one with a destructor makes the C library allocate on a
// thread's first touch and end the process when it cannot, where a growing container throws std::bad_alloc.
struct chunk_scratch {
    std::vector<recovered_record> candidates;
    carved_decode decoded;
    region_map free;
};

void classify_chunk(std::vector<recovered_record>& out, chunk_scratch& scratch, const std::uint8_t* chunk,
                    std::uint32_t length, std::uint64_t p, const page_walk_options& walk,
                    std::uint32_t max_columns, std::uint64_t page_limit) {
    if (!walk.classify) return;
    const std::uint32_t code = walk.source_code;
    std::vector<recovered_record>& candidates = scratch.candidates;
    carved_decode& decoded = scratch.decoded;
    region_map& free = scratch.free;
    candidates.clear();
    if (!walk.classify(candidates, chunk, length, p)) return;
    const std::size_t n = candidates.size();
    // A whole b-tree page holds live cells and free space side by side. A record whose header lies in a
    // free block or the unallocated gap is an older one: the bytes after that free region were written
    // later (a live cell, or another free block with its header), so they are not its values.
    free.clear();
    if (length == walk.page_size && length <= static_cast<std::uint32_t>(INT32_MAX))
        (void)collect_page_slack(free, chunk, static_cast<std::int32_t>(length), 0, false, page_limit,
                                 length > walk.reserved ? length - walk.reserved : 0);
    for (std::size_t i = 0; i < n; ++i) {
        const recovered_record& c = candidates[i];
        const bool from_position = c.position != 0;
        const std::uint64_t s = candidate_start(c, from_position);
        // A start outside the chunk names nothing that was read.
        if (s >= length) continue;
        std::uint64_t available = length - s;
        if (i + 1 < n) {
            const std::uint64_t next = candidate_start(candidates[i + 1], from_position);
            if (next >= s && next - s < available) available = next - s;
        }
        if (s > 0 && !free.empty()) {
            const std::uint64_t end = free_region_end(free, s - 1);  // the header-length byte's region
            if (end != 0) available = end > s ? std::min(available, end - s) : 0;
        }
        if (available == 0) continue;
        const std::uint32_t columns = c.column_count ? c.column_count : max_columns;
        const bool deferred = (c.table_kind & walk.deferred_kinds) != 0;
        if (!decode_carved_record(decoded, chunk + s, static_cast<std::uint32_t>(available), columns,
                                  !deferred, c.texts))
            continue;
        // The rowid is read only where the cell's payload size before it still gives the record's length: a
        // free block's header written over the cell's start leaves other bytes there.
        std::uint64_t rowid = 0;
        if (c.prefix_flag == 0 && s >= 2 && chunk[s - 1] < 0x80) {
            std::uint64_t record_length = chunk[s - 1];
            for (std::uint32_t size : decoded.sizes) record_length += size;
            rowid = rowid_before_record(chunk, s - 1, record_length);
        }
        out.emplace_back();
        recovered_record& rec = out.back();
        if (deferred) {
            rec.deferred_values = static_cast<std::uint32_t>(decoded.codes.size());
        } else {
            rec.values = std::move(decoded.values);
            rec.column_flags = std::move(decoded.codes);
            rec.truncated = decoded.truncated;
        }
        rec.rowid = rowid;
        rec.record_offset = p + s;
        rec.flags = code << kSourceShift;
        rec.table_kind = c.table_kind;
        rec.column_count = c.column_count;
        rec.carried = c.carried;
        rec.texts = c.texts;
        rec.decode_length = static_cast<std::uint32_t>(available);
        rec.decode_columns = columns;
        if (!c.header_bytes.empty()) rec.header_bytes = c.header_bytes;
    }
    if (!out.empty() && walk.on_records) walk.on_records(out);
}

// Adds to `free_space` every page of the main file that no sound link of the state the carve reads reaches
// and that is not free (the leaves below a damaged interior page, say): their rows come from neither the
// tables nor the free-space map, so each is walked whole, as a free page is, instead of its slack alone; the
// committed frames of the log that hold such pages go to `frames`, walked whole too. A page the free list
// names that a tree of that state keeps (a damaged free list) is walked for its slack alone, as the live page
// it is. Only when page 1 of the state binds. The trees are found by their root page numbers alone, which
// read whatever the header says of the texts' encoding; who owns each page is the tree check's (the run's
// verdict where it judged that state, `view`).
void add_unreached_pages(region_map& free_space, region_map& frames, uni::fileio& file,
                         const database_source& source, const database_verdict* verdict, database_view view,
                         std::uint32_t page_size) {
    uni::fileio state;
    std::vector<std::uint8_t> page(page_size);
    sqlite_page bound;
    if (!source.open_view(view, state) || !read_file_exact(state, 0, page_size, page.data()) ||
        !bind_sqlite_page(bound, page.data(), page.size(), page_size, 0))
        return;
    std::vector<std::uint32_t> roots;
    (void)read_schema_roots(roots, state, page_size);
    std::vector<listed_tree> trees;
    for (const std::uint32_t root : roots) trees.push_back(listed_tree{root, std::string(), false});
    // The owners take some bytes per page of the state (its pages present, whatever the header claims):
    // memory that runs out for them ends the run as out of memory, never as a carve without these pages.
    state_reach reach;
    if (!reach_state(reach, source, verdict, view, trees)) return;
    const database_header& header = source.header();
    for (auto it = free_space.begin(); it != free_space.end();) {
        const std::uint64_t p = it->first / page_size + 1;
        if (it->second != page_size || it->first % page_size != 0 || p > reach.pages ||
            reach.kept.get(p) == 0) {
            ++it;
            continue;
        }
        it = free_space.erase(it);
        if (read_file_exact(file, (p - 1) * page_size, page_size, page.data()))
            (void)collect_page_slack(free_space, page.data(), static_cast<std::int32_t>(page_size),
                                     (p - 1) * page_size, true, file.size() / page_size, header.usable);
    }
    for (const std::uint64_t offset : reach.main) {
        auto it = free_space.lower_bound(offset);
        while (it != free_space.end() && it->first < offset + page_size) it = free_space.erase(it);
        free_space.emplace(offset, page_size);
    }
    for (const std::uint64_t offset : reach.frames) frames.emplace(offset, page_size);
}

// The end of a region, up to the end of the file; its start when the file ends before it.
std::uint64_t region_end_in_file(const region_map::value_type& region, std::uint64_t file_end) {
    const std::uint64_t o = region.first;
    if (o >= file_end) return o;
    return region.second < file_end - o ? o + region.second : file_end;
}

// The bytes of `regions` a walk goes over: each region up to the end of the file.
std::uint64_t walked_bytes(const region_map& regions, std::uint64_t file_end) {
    std::uint64_t total = 0;
    for (const auto& region : regions) total += region_end_in_file(region, file_end) - region.first;
    return total;
}

// Below this many whole pages a walk classifies on its own thread: threads would cost more than they save.
constexpr std::uint64_t kParallelChunks = 64;

// Whether the helpers are worth their cost on `regions`: pages enough, and mostly whole ones. The slack of
// live pages (many small regions, each a chunk of its own) is read faster through the file's read window on
// the walk's thread than a system call a chunk on the helpers.
bool worth_helpers(const region_map& regions, std::uint64_t file_end, std::uint32_t page_size) {
    std::uint64_t bytes = 0;
    std::uint64_t chunks = 0;
    for (const auto& region : regions) {
        const std::uint64_t length = region_end_in_file(region, file_end) - region.first;
        bytes += length;
        chunks += length / page_size + (length % page_size != 0 ? 1 : 0);
    }
    return bytes / page_size >= kParallelChunks && bytes >= chunks * (page_size / 2);
}
// Chunks classified together by one helper, and groups in flight per helper.
constexpr std::uint32_t kGroupChunks = 32;
constexpr std::size_t kGroupsPerThread = 4;

// The chunks of a walk read and classified on helper threads, a group of them at a time: the walk names the
// chunks of each group, and the records of each group reach the sink on the walk's thread in the walk's order
// (an ordered_stage), as reading and classifying them one after another gives them.
class parallel_classifier {
  public:
    parallel_classifier(const page_walk_options& walk, std::uint32_t max_columns, std::uint64_t page_limit,
                        uni::fileio& file, std::uint64_t& handed)
        : stage_(
              walk.threads * kGroupsPerThread, kGroupChunks,
              [&walk, &file, max_columns, page_limit] {
                  auto scratch = std::make_shared<chunk_scratch>();
                  return [&walk, &file, max_columns, page_limit, scratch](
                             group& in, std::vector<recovered_record>& out) {
                      out.clear();
                      in.bytes.resize(walk.page_size);
                      for (std::uint32_t i = 0; i < in.count; ++i) {
                          const std::uint32_t length =
                              uni::read_shared(file, in.bytes.data(), in.lengths[i], in.offsets[i]);
                          if (length != 0)
                              classify_chunk(out, *scratch, in.bytes.data(), length, in.offsets[i], walk,
                                             max_columns, page_limit);
                      }
                  };
              },
              [&walk, &file, &handed](group&, std::vector<recovered_record>& out) {
                  if (out.empty()) return;
                  handed += out.size();
                  walk.sink(out, file);
                  out.clear();
              }) {
        stage_.start(walk.threads);
    }

    // The next chunk: `length` bytes (at most a page) from file offset `offset`.
    void add(std::uint32_t length, std::uint64_t offset) {
        stage_.add([length, offset](group& g) {
            g.lengths[g.count] = length;
            g.offsets[g.count] = offset;
            ++g.count;
        });
    }
    // Hands every record on; throws what a helper or the sink threw.
    void finish() { stage_.end(); }

  private:
    struct group {
        std::vector<std::uint8_t> bytes;  // the chunk being classified (the helper's)
        std::uint32_t lengths[kGroupChunks] = {};
        std::uint64_t offsets[kGroupChunks] = {};
        std::uint32_t count = 0;
        void clear() { count = 0; }
    };

    ordered_stage<group, std::vector<recovered_record>> stage_;
};

}  // namespace

bool decode_carved_record(carved_decode& d, const std::uint8_t* bytes, std::uint32_t length,
                          std::uint32_t columns, bool values, text_encoding texts) {
    d.values.clear();
    d.truncated = 0;
    if (!decode_record_header_n(&d.consumed, d.codes, d.sizes, bytes, length, columns)) return false;
    if (d.consumed > length) return false;
    if (!values) return true;
    d.truncated = 1;  // the values may stop short of the last column
    return decode_record_values(nullptr, d.values, bytes + d.consumed, length - d.consumed, d.codes, d.sizes,
                                nullptr, true, &d.truncated, texts) != 0;
}

int walk_db_pages(std::vector<recovered_record>& out, const region_map& regions, uni::fileio& file,
                  const table_schema& schema, record_classifier classifier, std::uint32_t source_code,
                  std::uint32_t page_size, std::uint32_t min_columns, std::uint32_t max_columns,
                  bool frame_flag, bool btree_flag, bool progress, void* options, records_callback callback) {
    page_walk_options walk;
    walk.schema = &schema;
    walk.classify = bind_classifier(classifier, options);
    walk.source_code = source_code;
    walk.page_size = page_size;
    walk.min_columns = min_columns;
    walk.max_columns = max_columns;
    walk.frame_flag = frame_flag;
    walk.btree_flag = btree_flag;
    walk.progress = progress;
    if (callback)
        walk.on_records = [callback, options](std::vector<recovered_record>& records) {
            callback(records, options);
        };
    return walk_db_pages(out, regions, file, walk);
}

int walk_db_pages(std::vector<recovered_record>& out, const region_map& regions, uni::fileio& file,
                  const page_walk_options& walk) {
    static const table_schema no_schema;
    const table_schema& schema = walk.schema != nullptr ? *walk.schema : no_schema;
    const std::uint32_t page_size = walk.page_size;
    std::uint32_t min_columns = walk.min_columns;
    std::uint32_t max_columns = walk.max_columns;
    const bool frame_flag = walk.frame_flag;
    const bool btree_flag = walk.btree_flag;
    const std::size_t start_count = out.size();
    // With a sink the records of one chunk at a time; else they gather in `out`.
    std::vector<recovered_record> chunk_records;
    std::vector<recovered_record>& found = walk.sink ? chunk_records : out;
    std::uint64_t handed = 0;  // records given to the sink
    // Nothing past the end of the file can be read: the walk stops there, whatever a region claims.
    const std::uint64_t file_end = file.file_size;
    // The progress counts every region's bytes, also where the walk stops early, so that it reaches the end.
    std::unique_ptr<progress_meter> own_meter;
    progress_meter* meter = walk.meter;
    if (walk.progress && meter == nullptr) {
        own_meter = std::make_unique<progress_meter>(walked_bytes(regions, file_end));
        meter = own_meter.get();
    }
    const auto done = [&](int result) {
        if (own_meter) own_meter->finish();
        return result;
    };
    const auto skipped = [&] {
        if (meter != nullptr) meter->add(walked_bytes(regions, file_end));
        return done(0);
    };
    if (regions.empty() || page_size == 0) return skipped();
    if (!schema.fields.empty()) {
        max_columns = static_cast<std::uint32_t>(schema.fields.size());
        const int min_fields = schema.min_fields();
        min_columns = min_fields > 0 ? static_cast<std::uint32_t>(min_fields) : 0;
    } else if (max_columns == 0 && btree_flag) {
        return skipped();
    }
    std::vector<std::uint8_t> chunk(page_size);
    chunk_scratch scratch;
    const std::uint64_t page_limit = walk.page_limit != 0 ? walk.page_limit : file_end / page_size;
    std::unique_ptr<parallel_classifier> helpers;
    if (walk.threads != 0 && walk.sink && !walk.on_records && !btree_flag && walk.classify &&
        file.descriptor >= 0 && !file.in_memory && worth_helpers(regions, file_end, page_size))
        helpers = std::make_unique<parallel_classifier>(walk, max_columns, page_limit, file, handed);
    for (const auto& region : regions) {
        const std::uint64_t o = region.first;
        const std::uint64_t length = region.second;
        std::uint64_t e = o + length;
        if (e < o) e = UINT64_MAX;  // a hostile length must not wrap
        const std::uint64_t counted_end = region_end_in_file(region, file_end);
        std::uint64_t counted = o;  // the region's bytes counted on the meter end here
        std::uint64_t p = o;
        while (p < e && p < file_end) {
            const std::uint64_t chunk_start = p;
            if (frame_flag) {
                if (length == page_size) e += kWalFrameHeaderSize;
                if (p > UINT64_MAX - kWalFrameHeaderSize) break;
                p += kWalFrameHeaderSize;
                if (p >= e) break;
            }
            const std::uint64_t left = e - p;
            std::uint32_t chunk_length = left < page_size ? static_cast<std::uint32_t>(left) : page_size;
            if (helpers) {
                helpers->add(chunk_length, p);
            } else if (file.read_at(chunk.data(), &chunk_length, p) && chunk_length > 0) {
                const bool whole_leaf = btree_flag && chunk_length == page_size &&
                                        chunk[0] == kPageTableLeaf &&
                                        walk_leaf_page(found, chunk.data(), chunk_length, p, walk, file,
                                                       schema, min_columns, max_columns);
                if (!whole_leaf)
                    classify_chunk(found, scratch, chunk.data(), chunk_length, p, walk, max_columns,
                                   page_limit);
                if (walk.sink && !chunk_records.empty()) {
                    handed += chunk_records.size();
                    walk.sink(chunk_records, file);
                    chunk_records.clear();
                }
            }
            if (p > UINT64_MAX - page_size || p + page_size <= chunk_start) break;
            p += page_size;
            if (meter != nullptr && p > counted && counted < counted_end) {
                const std::uint64_t reached = p < counted_end ? p : counted_end;
                meter->add(reached - counted);
                counted = reached;
            }
        }
        if (meter != nullptr && counted < counted_end) meter->add(counted_end - counted);
    }
    if (helpers) helpers->finish();
    return done(out.size() > start_count || handed != 0 ? 1 : 0);
}

int carve_database(std::vector<recovered_record>& out, const std::string& path, const std::string& table_name,
                   record_classifier classifier, bool keep, bool companions, std::uint32_t min_columns,
                   std::uint32_t max_columns, bool valid_frames, bool btree_flag, bool progress,
                   void* options) {
    carve_options carve;
    carve.table_name = table_name;
    carve.classify = bind_classifier(classifier, options);
    carve.keep = keep;
    carve.companions = companions;
    carve.min_columns = min_columns;
    carve.max_columns = max_columns;
    carve.valid_frames = valid_frames;
    carve.btree_flag = btree_flag;
    carve.progress = progress;
    return carve_database(out, path, carve);
}

namespace {

const region_map kNoRegions;
const wal_frame_map kNoFrames;

// The companion beside a database, where the library finds it (the log first; the journal only when there
// is no log), and the regions it gives. Each is walked in the page size its own header gives, so a damaged
// main header does not misplace its pages.
struct companion_regions {
    explicit companion_regions(uni::fileio& opened) : file(opened) {}
    uni::fileio& file;            // open when a companion was read
    std::string path;             // the companion read
    std::uint32_t page_size = 0;  // from its own header; 0 leaves the database's
    region_map overwritten;       // pages of the main file the log replaces
    // The log's frames as the source sorted them once (empty without a log).
    const region_map* superseded = &kNoRegions;
    const wal_frame_map* valid = &kNoFrames;
    wal_sort own_sort;  // the log's sort where the source kept only its committed frames
    region_map slack;
    journal_page_map journal;
    region_map whole_pages;  // the journal's page images or the log's valid frames, as they are walked
    region_map unreached;    // the log's committed frames of pages no sound link of the state reaches
};

// Maps the companion of the database of `source`; `page_size` is the database's (a journal's 0 stands for
// it). Up to `threads` helpers read a log's valid frames.
void read_companion(companion_regions& c, const database_source& source, std::uint32_t page_size,
                    unsigned threads) {
    const evidence& files = source.files();
    // An empty log is none: the library then rolls back a hot journal beside it.
    if (files.open_wal(c.file) && c.file.size() == 0) c.file.close();
    if (c.file.is_open()) {
        c.path = files.names().wal;
        // The source's sort of the log, where it mapped every frame; else one of the carve's own.
        wal_sort own;
        const bool sorted = source.log_sort().every_frame;
        if (!sorted) (void)sort_wal_log(own, c.file);
        c.own_sort = std::move(own);
        const wal_sort& sort = sorted ? source.log_sort() : c.own_sort;
        if (sort.read && (!sort.valid.empty() || !sort.superseded.empty())) {
            c.valid = &sort.valid;
            c.superseded = &sort.superseded;
            map_wal_regions(c.overwritten, c.slack, sort, c.file, threads, source.header().reserved);
            c.page_size = sort.page_size;
        } else {
            c.file.close();
        }
    } else if (files.open_journal(c.file)) {
        c.path = files.names().journal;
        std::uint32_t journal_page_size = page_size;
        if (parse_rollback_journal(c.journal, journal_page_size, c.file))
            c.page_size = journal_page_size;
        else
            c.file.close();
    }
}

// The regions of the main file walked as free space: its free space, the pages no b-tree walk reaches
// (`header_page_size`: the header gave the page size) and, beside a hot journal, the pages the transaction
// that never committed wrote, whole. Pages the log replaces are left out: they are walked whole under their
// own code.
region_map main_file_regions(uni::fileio& main_file, const database_source& source,
                             const database_verdict* verdict, const database_header& header,
                             std::uint32_t page_size, bool header_page_size, companion_regions& c) {
    region_map free_space;
    map_db_pages(free_space, main_file, header);
    // Beside a hot journal the file holds a transaction that never committed, which the live rows (read
    // from the rolled-back state) do not show: the pages it wrote are walked whole as well.
    region_map uncommitted;
    if (!c.journal.empty()) (void)map_uncommitted_pages(uncommitted, source, page_size);
    if (header_page_size)
        add_unreached_pages(free_space, c.unreached, main_file, source, verdict,
                            verdict != nullptr ? verdict->view : database_view::committed, page_size);
    const region_map* const walked_whole[] = {&c.overwritten, &uncommitted};
    for (const region_map* whole : walked_whole) {
        for (const auto& o : *whole) {
            auto it = free_space.lower_bound(o.first);
            while (it != free_space.end() && it->first < o.first + o.second) it = free_space.erase(it);
        }
    }
    for (const auto& u : uncommitted) free_space.emplace(u.first, u.second);
    return free_space;
}

// The schema of `table` as the schema table of the main file lists it; false when the schema table does
// not read. No table (empty) leaves `schema` empty.
bool schema_of_table(table_schema& schema, uni::fileio& main_file, const database_source& source,
                     std::uint32_t page_size, const std::string& table) {
    if (table.empty()) return true;
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    std::uint8_t wal_image = 0;
    if (!read_master_table(names, sqls, roots, main_file, page_size, source.path(), wal_image, nullptr,
                           &source))
        return false;
    (void)find_table_schema(schema, names, sqls, table);
    return true;
}

// Walks the regions of one carve: every region the same way but for its source code, its file's page size
// and its schema. The walks are queued first and run together, so that one progress line goes over all of
// them, rising from the main file's first region to the companion's last.
class carve_walk {
  public:
    carve_walk(std::vector<recovered_record>& out, const carve_options& carve)
        : out_(out), clock_(carve.progress_clock) {
        walk_.classify = carve.classify;
        walk_.min_columns = carve.min_columns;
        walk_.max_columns = carve.max_columns;
        walk_.btree_flag = carve.btree_flag;
        walk_.progress = carve.progress;
        walk_.sink = carve.sink;
        walk_.deferred_kinds = carve.deferred_kinds;
        walk_.threads = carve.threads;
    }

    // The database's pages bound child page numbers in every file walked.
    void set_main_pages(std::uint64_t pages) { main_pages_ = pages; }
    // The database's reserved bytes a page and text encoding hold in every file walked (its log's and
    // journal's page images are its pages).
    void set_page_format(std::uint8_t reserved, text_encoding encoding) {
        walk_.reserved = reserved;
        walk_.encoding = encoding;
    }

    // Queues the walk of `regions` of `file`; both (and the schema) must stay until run().
    void walk(const region_map& regions, uni::fileio& file, const table_schema* schema, std::uint32_t code,
              std::uint32_t size, bool frames) {
        queued_walk q{&regions, &file, walk_};
        q.options.schema = schema;
        q.options.source_code = code;
        q.options.page_size = size;
        q.options.frame_flag = frames;
        // The database may have more pages than the log holds frames: the larger of both files bounds them.
        q.options.page_limit = std::max(main_pages_, size != 0 ? file.size() / size : 0);
        queued_.push_back(std::move(q));
    }

    // Walks every queued region in turn; true when a walk found a record.
    bool run() {
        std::unique_ptr<progress_meter> meter;
        if (walk_.progress) {
            std::uint64_t total = 0;
            for (const queued_walk& q : queued_) total += walked_bytes(*q.regions, q.file->file_size);
            meter = std::make_unique<progress_meter>(total, clock_);
        }
        bool found = false;
        for (queued_walk& q : queued_) {
            q.options.meter = meter.get();
            found = walk_db_pages(out_, *q.regions, *q.file, q.options) != 0 || found;
        }
        queued_.clear();
        if (meter) meter->finish();
        return found;
    }

  private:
    struct queued_walk {
        const region_map* regions;
        uni::fileio* file;
        page_walk_options options;
    };
    std::vector<recovered_record>& out_;
    page_walk_options walk_;  // what every walk shares
    progress_meter::clock clock_;
    std::uint64_t main_pages_ = 0;
    std::vector<queued_walk> queued_;
};

// Queues the walks of the companion's regions: superseded frames, the journal's page images or (with
// `valid_frames`) the log's valid frames, and the slack of the log.
void walk_companion(carve_walk& walk, companion_regions& c, std::uint32_t page_size, bool valid_frames) {
    const std::uint32_t size = c.page_size != 0 ? c.page_size : page_size;
    walk.walk(*c.superseded, c.file, nullptr, kSourceWalSuperseded, size, false);
    if (c.valid->empty() && !c.journal.empty()) {
        for (const auto& j : c.journal) c.whole_pages.emplace(j.second, size);
        walk.walk(c.whole_pages, c.file, nullptr, kSourceCarveJournal, size, false);
    } else if (!c.valid->empty() && valid_frames) {
        for (const auto& f : *c.valid) c.whole_pages.emplace(f.second, size);
        walk.walk(c.whole_pages, c.file, nullptr, kSourceWalValid, size, true);
    } else if (!c.valid->empty()) {
        walk.walk(c.unreached, c.file, nullptr, kSourceWalValid, size, true);
    }
    walk.walk(c.slack, c.file, nullptr, kSourceWalSlack, size, false);
}

}  // namespace

int carve_database(std::vector<recovered_record>& out, const std::string& path, const carve_options& carve) {
    if (!carve.keep) out.clear();
    if (path.empty()) return 0;
    if (carve.table_name.empty() && carve.min_columns == 0 && carve.max_columns == 0) return 0;
    database_source source;
    (void)source.open(path);
    return carve_database(out, source, carve);
}

int carve_database(std::vector<recovered_record>& out, const database_source& source,
                   const carve_options& carve) {
    if (!carve.keep) out.clear();
    const evidence& files = source.files();
    if (files.path().empty()) return 0;
    if (carve.table_name.empty() && carve.min_columns == 0 && carve.max_columns == 0) return 0;
    carve_walk walk(out, carve);
    std::uint32_t page_size = 4096;
    // The files stay open past the carve only where the caller keeps them.
    const std::shared_ptr<carved_files> kept = carve.files ? carve.files : std::make_shared<carved_files>();
    uni::fileio& main_file = kept->main;
    kept->main_path = files.path();
    // The header the source read once: a database header of a file of one page at least.
    const database_header& facts = source.header();
    const bool main_header = files.open_database(main_file) && main_file.size() >= kMinPageSize &&
                             facts.length == kDbHeaderSize && facts.magic && facts.page_size != 0;
    const std::uint32_t p = main_header ? facts.page_size : 0;
    if (p) page_size = p;

    companion_regions companion(kept->companion);
    if (carve.companions) read_companion(companion, source, page_size, carve.threads);
    kept->companion_path = companion.path;

    region_map free_space;
    table_schema schema;
    if (main_header) {
        walk.set_main_pages(main_file.size() / page_size);
        walk.set_page_format(facts.reserved, facts.texts);
        free_space =
            main_file_regions(main_file, source, carve.verdict.get(), facts, page_size, p != 0, companion);
        if ((!free_space.empty() || !companion.overwritten.empty()) &&
            schema_of_table(schema, main_file, source, page_size, carve.table_name)) {
            walk.walk(free_space, main_file, &schema, kSourceMainSlack, page_size, false);
            walk.walk(companion.overwritten, main_file, &schema, kSourceWalOverwrites, page_size, false);
        }
    }

    if (companion.file.is_open()) walk_companion(walk, companion, page_size, carve.valid_frames);
    const bool found = walk.run();
    if (!carve.files) {
        main_file.close();
        companion.file.close();
    }
    return found || !out.empty() ? 1 : 0;
}

int carve_database_any_table(std::vector<recovered_record>& out, const std::string& path,
                             record_classifier classifier, bool keep, bool companions,
                             std::uint32_t min_columns, std::uint32_t max_columns, bool valid_frames,
                             bool btree_flag, bool progress, void* options) {
    if (min_columns == 0 && max_columns == 0) return 0;
    return carve_database(out, path, std::string(), classifier, keep, companions, min_columns, max_columns,
                          valid_frames, btree_flag, progress, options);
}
