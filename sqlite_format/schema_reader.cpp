#include "sqlite_format/schema_reader.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "io/fileio.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/freespace.h"
#include "sqlite_format/page_parallel.h"
#include "sqlite_format/record.h"
#include "sqlite_format/wal.h"

namespace {

constexpr std::int64_t kNoLimit = -1;

// Reads page 1 of `file` whole into `buf`; false when fewer bytes arrive.
bool read_page1(std::vector<std::uint8_t>& buf, uni::fileio& file, std::uint32_t page_size) {
    buf.assign(page_size, 0);
    return read_file_exact(file, 0, page_size, buf.data());
}

// Binds page 1 in `buf`, whose header (when it has one) is `header`, decoded from it.
bool bind_page1(sqlite_page& page, const std::vector<std::uint8_t>& buf, std::uint32_t page_size,
                std::uint8_t reserved, const database_header& header) {
    return bind_sqlite_page(page, buf.data(), buf.size(), page_size, reserved, header) != 0;
}

// The rows of the schema table's b-tree below child page `child` of page 1, each record read whole (its
// overflow chain followed, as a table's rows are): those that read as a table or index (kinds 2, 3 and 5)
// into `schema`, the others that decode into `others` (kind 6). Of a leaf that holds both, parse_table_page
// keeps no other row it decodes before a table or index row: in a sound schema those are views and triggers,
// which have no root page to miss.
void read_schema_rows(artifact_map& schema, artifact_map& others, uni::fileio& file, std::uint64_t child,
                      std::uint32_t page_size, std::uint8_t reserved, text_encoding encoding) {
    if (child == 0 || child > file.size() / page_size) return;
    std::vector<sqlite_artifact> interiors;
    std::map<std::uint64_t, sqlite_artifact> unused;
    if (!collect_btree_interior_pages(interiors, unused, file, (child - 1) * page_size, page_size, true,
                                      encoding, nullptr, nullptr, reserved))
        return;
    artifact_map table_rows, index_rows, other;
    (void)walk_table_pages(table_rows, index_rows, other, interiors, file, page_size, false, encoding, true,
                           reserved);
    for (auto& entry : other) {
        const std::uint64_t kind = entry.second.kind;
        if (kind >= kArtifactSchemaTable && kind <= kArtifactSchemaAutoIndex) schema.insert(std::move(entry));
    }
    for (auto& entry : table_rows) others.insert(std::move(entry));
}

// Every row of the schema table whose page 1 (bound) is in `page1`, read from `file` as read_schema_rows
// reads them, from each child of page 1 (page 1 itself when it is a leaf), the texts in `encoding`, every
// page with `reserved` bytes at its end (page 1 as its header says).
void read_schema_table(artifact_map& schema, artifact_map& others, uni::fileio& file,
                       const std::vector<std::uint8_t>& page1, std::uint32_t page_size, std::uint8_t reserved,
                       text_encoding encoding) {
    schema.clear();
    others.clear();
    sqlite_artifact top;
    if (!parse_page_in_memory(top, page1.data(), page_size, 0, 0, page_size, &file, false, false, encoding,
                              reserved)) {
        read_schema_rows(schema, others, file, 1, page_size, reserved, encoding);  // page 1 is a leaf
        return;
    }
    std::set<std::uint64_t> seen;  // a child listed twice is read once
    for (const auto& entry : top.cells) {
        const std::uint64_t child = child_page_of(entry.second);
        if (child == 1 || !seen.insert(child).second) continue;
        read_schema_rows(schema, others, file, child, page_size, reserved, encoding);
    }
}

std::size_t row_count(const artifact_map& rows) {
    std::size_t n = 0;
    for (const auto& entry : rows) n += entry.second.rows.size();
    return n;
}

}  // namespace

std::string text_encoding_name(std::uint32_t field) {
    switch (field) {
        case 1:
            return "UTF-8";
        case 2:
            return "UTF-16le";
        case 3:
            return "UTF-16be";
        default:
            return "not a text encoding";
    }
}

int read_master_table(std::vector<std::string>& names, std::vector<std::string>& sqls,
                      std::vector<std::uint32_t>& roots, uni::fileio& file, std::uint32_t& page_size,
                      const std::string& path, std::uint8_t& wal_image, schema_text_encoding* encoding,
                      const database_source* source_db) {
    names.clear();
    sqls.clear();
    roots.clear();
    if (encoding != nullptr) *encoding = schema_text_encoding();
    // The path form reads through a source of its own, opened from the path where it is first needed.
    database_source own;
    const bool path_form = source_db == nullptr && !path.empty();
    const auto database = [&]() -> const database_source* {
        if (path_form && own.path().empty()) (void)own.open(path);
        return path_form ? &own : source_db;
    };
    std::uint8_t reserved = 0;
    if (!file.is_open() && database() != nullptr) {
        db_header_bytes header{};
        if (!database()->files().open_database(file) || !check_db_file_header(file, header)) {
            file.close();
            if (path_form) page_size = 0;  // as the page parameters read from a path leave it
            return 0;
        }
        const database_header facts = decode_database_header(header);
        page_size = facts.page_size;
        reserved = facts.reserved;
    }
    if (!file.is_open() || page_size == 0) return 0;
    // A page size the format cannot have would misplace every page; 1 stands for 65536.
    if (page_size_from_field(page_size) == 0) return 0;
    page_size = page_size_from_field(page_size);

    std::vector<std::uint8_t> buf;
    if (!read_page1(buf, file, page_size)) return 0;
    // Page 1's header, decoded once from the page read (the file's, or the log image's): the page size,
    // the reserved bytes and the text encoding the schema is read with.
    database_header header = decode_database_header(buf.data(), buf.size());
    sqlite_page page1;
    uni::fileio local;
    uni::fileio* source = &file;
    if (bind_page1(page1, buf, page_size, reserved, header)) {
        wal_image = 0;
    } else {
        // Page 1 is not a b-tree page in the main file: take it from the log image.
        const database_source* db = database();
        if (db != nullptr && path_ends_with(db->files().names().database, "-wal")) return 0;
        source = wal_image ? &file : &local;
        // Without a database to image (no source, no path) the file that was to become the image is closed.
        if (db == nullptr) source->close();
        if (db == nullptr || !db->open_view(database_view::log_image, *source)) return 0;
        if (!read_page1(buf, *source, page_size)) return 0;
        header = decode_database_header(buf.data(), buf.size());
        if (!bind_page1(page1, buf, page_size, reserved, header)) return 0;
    }
    if (page_size_from_field(page1.page_size) != page_size) return 0;
    schema_text_encoding read;
    read.header = header.encoding_field;
    read.encoding = page1.encoding;
    const std::uint8_t reserved_bytes = header.reserved;

    artifact_map schema, others;
    read_schema_table(schema, others, *source, buf, page_size, reserved_bytes, read.encoding);
    if (schema.empty() && !others.empty()) {
        // Nothing reads as a table or index in the header's encoding: the header may be what is wrong. The
        // first other encoding that reads the schema is taken, and the caller is told.
        const text_encoding header_encoding = read.encoding;
        for (const text_encoding other :
             {text_encoding::utf8, text_encoding::utf16le, text_encoding::utf16be}) {
            if (other == header_encoding) continue;
            artifact_map other_schema, other_others;
            read_schema_table(other_schema, other_others, *source, buf, page_size, reserved_bytes, other);
            if (other_schema.empty()) continue;
            schema.swap(other_schema);
            read.encoding = other;
            read.against_header = true;
            break;
        }
        if (schema.empty()) read.rows = row_count(others);
    }
    for (const auto& entry : schema) {
        const sqlite_artifact& a = entry.second;
        names.push_back(a.name.empty() ? std::string("<noname>") : a.name);
        roots.push_back(static_cast<std::uint32_t>(a.root_page));
        sqls.push_back(a.sql);
    }
    if (encoding != nullptr) *encoding = read;
    return names.empty() ? 0 : 1;
}

int read_schema_roots(std::vector<std::uint32_t>& roots, uni::fileio& file, std::uint32_t page_size) {
    roots.clear();
    if (!file.is_open() || page_size_from_field(page_size) != page_size) return 0;
    std::vector<std::uint8_t> buf;
    sqlite_page page1;
    if (!read_page1(buf, file, page_size)) return 0;
    const database_header header = decode_database_header(buf.data(), buf.size());
    if (!bind_page1(page1, buf, page_size, 0, header)) return 0;
    artifact_map schema, others;
    read_schema_table(schema, others, file, buf, page_size, header.reserved, page1.encoding);
    std::set<std::uint32_t> found;
    for (const auto& entry : schema) {
        const std::uint64_t root = entry.second.root_page;
        if (root != 0 && root <= UINT32_MAX) found.insert(static_cast<std::uint32_t>(root));
    }
    // A row whose texts do not read still has its root page: an integer in its fourth column.
    for (const auto& entry : others) {
        for (const auto& row_entry : entry.second.rows) {
            const sqlite_row_artifact& row = row_entry.second;
            if (row.values.size() < 5 || row.codes.size() != row.values.size() ||
                (row.codes[3] & kColKindMask) != kColInteger)
                continue;
            const std::string& text = row.values[3];
            const std::uint64_t root = std::strtoull(text.c_str(), nullptr, 10);
            if (!text.empty() && text[0] != '-' && root != 0 && root <= UINT32_MAX)
                found.insert(static_cast<std::uint32_t>(root));
        }
    }
    roots.assign(found.begin(), found.end());
    return roots.empty() ? 0 : 1;
}

namespace {

// Tells walk.reporter (when given) of a page of the walk that is not read, or of the cells `cells` of a
// leaf that are not or only partly read: where and why. The walk goes on with the next page.
void tell_skipped(const table_walk_options& walk, std::uint64_t offset, const std::string& what,
                  const std::string& why, const dropped_cell* cells = nullptr) {
    if (walk.reporter == nullptr) return;
    const std::uint32_t page_size = walk.page_size;
    skipped_span span = make_skipped_span(offset / page_size + 1, offset, page_size, what, why);
    if (cells != nullptr) {
        span.cells = cells->cells;
        span.cut = cells->cut;
        span.kept = cells->kept;
    }
    walk.reporter->skipped(span);
}

// How the walk decodes a leaf of the table (`without_rowid` for a WITHOUT ROWID one): to the values a
// table_record carries, each damaged overflow chain read only as far as the verdict found it sound.
leaf_page_options walk_leaf_options(uni::fileio& file, const table_walk_options& walk, bool without_rowid) {
    leaf_page_options leaf(walk.page_size, &file);
    leaf.raw_blob = walk.raw_blob;
    leaf.keep_header = walk.keep_header;
    leaf.encoding = walk.encoding;
    leaf.reserved = walk.reserved;
    leaf.without_rowid = without_rowid;
    leaf.rowid_alias = walk.rowid_alias;
    leaf.values_only = true;  // a table_record carries nothing else
    if (walk.verdict != nullptr) leaf.sound_payload = &walk.verdict->sound_payload;
    return leaf;
}

// The file offsets of the leaves below the lowest interior pages `interiors`, in the order of the walk: those
// whose keys may hold rowids from walk.first_rowid on, each once. A link the verdict refused is not followed;
// one to no page of the file, or to a leaf reached before, is told and not followed.
std::vector<std::uint64_t> walk_leaves(const uni::fileio& file, const table_walk_options& walk,
                                       const std::vector<sqlite_artifact>& interiors) {
    const std::uint32_t page_size = walk.page_size;
    const std::uint64_t page_count = walk_page_count(file, page_size);
    std::set<std::uint64_t> visited;  // a leaf shared by two parents is read once
    std::vector<std::uint64_t> leaves;
    for (const sqlite_artifact& node : interiors) {
        for (auto entry = node.cells.begin(); entry != node.cells.end(); ++entry) {
            if (entry->first != kRightmostChildKey && walk.first_rowid > entry->first) continue;
            if (walk.verdict != nullptr &&
                walk.verdict->refused_links.count(child_link_of(node, entry->second)) != 0)
                continue;
            const std::uint64_t child = child_page_of(entry->second);
            const std::string fault = child_page_fault(child, page_count);
            if (!fault.empty()) {
                const std::uint64_t at =
                    entry->second.file_offset != 0 ? entry->second.file_offset : node.file_offset;
                tell_skipped(walk, at, "interior page", fault);
                continue;
            }
            if (!visited.insert(child).second) {
                tell_skipped(walk, (child - 1) * page_size, "leaf page",
                             "reached a second time (a shared page)");
                continue;
            }
            leaves.push_back((child - 1) * page_size);
        }
    }
    return leaves;
}

// Hands the rows of the decoded leaves of a walk to its visitor, in the decoder's storage, and tells each
// leaf's fault and dropped cells: no row of a cell the verdict refused, none past the last rowid a count
// asks for.
class row_handover {
  public:
    row_handover(const table_walk_options& walk, const table_record_visitor& visit)
        : walk_(walk),
          visit_(visit),
          limited_(walk.count != kNoLimit),
          last_rowid_(limited_ ? walk.first_rowid + static_cast<std::uint64_t>(walk.count) : 0) {}

    // The rows of one decoded leaf to the visitor; false once the walk is to stop.
    bool take(leaf_rows& page) {
        if (!page.fault.empty()) tell_skipped(walk_, page.offset, "leaf page", page.fault);
        for (const dropped_cell& cells : page.dropped)
            tell_skipped(walk_, page.offset, "leaf page", cells.why, &cells);
        for (std::size_t i = 0; i < page.count; ++i) {
            table_record& rec = page.rows[i];
            if (limited_ && rec.rowid > last_rowid_) continue;
            if (walk_.verdict != nullptr && walk_.verdict->refused_cells.count(rec.record_offset) != 0)
                continue;
            const std::uint64_t rowid = rec.rowid;
            any_ = true;
            if (!visit_(rec)) done_ = true;
            if (limited_ && rowid == last_rowid_) done_ = true;
            if (done_) return false;
        }
        return true;
    }

    // Whether a row was handed on.
    bool any() const { return any_; }

  private:
    const table_walk_options& walk_;
    const table_record_visitor& visit_;
    const bool limited_;
    const std::uint64_t last_rowid_;
    bool any_ = false;
    bool done_ = false;
};

// Decodes the leaves at the file offsets `leaves` of `file` on this thread, in turn, each to `handover`
// until it stops the walk.
void decode_leaves_here(uni::fileio& file, const std::vector<std::uint64_t>& leaves,
                        const leaf_page_options& leaf, row_handover& handover) {
    const std::uint32_t page_size = leaf.page_size;
    std::vector<std::uint8_t> buf(page_size);
    leaf_rows page;
    leaf_row_buffers buffers;
    for (const std::uint64_t offset : leaves) {
        page.offset = offset;
        page.dropped.clear();
        if (!read_walk_page(file, offset / page_size + 1, page_size, buf.data())) {
            page.count = 0;
            page.fault = "cannot be read";
        } else {
            page.count = decode_leaf_rows(page.rows, buffers, buf.data(), offset, leaf);
            page.fault = buffers.fault;
            page.dropped.swap(buffers.dropped);
        }
        if (!handover.take(page)) break;
    }
}

}  // namespace

int visit_table_records(uni::fileio& file, const table_walk_options& walk,
                        std::vector<sqlite_artifact>& interiors, const table_record_visitor& visit) {
    const std::uint32_t page_size = walk.page_size;
    if (!file.is_open() || page_size == 0) return 0;
    if (walk.verdict != nullptr && walk.verdict->refused_root) return 0;
    if (interiors.empty()) {
        std::map<std::uint64_t, sqlite_artifact> unused;
        (void)collect_btree_interior_pages(
            interiors, unused, file, walk.root_offset, page_size, true, walk.encoding, walk.reporter,
            walk.verdict != nullptr ? &walk.verdict->refused_links : nullptr, walk.reserved);
        if (interiors.empty()) return 0;
    }
    const leaf_page_options leaf = walk_leaf_options(file, walk, interiors.front().without_rowid != 0);
    const std::vector<std::uint64_t> leaves = walk_leaves(file, walk, interiors);
    row_handover handover(walk, visit);
    // The decoding threads read whole pages only: a file cut short is decoded here.
    const unsigned threads =
        leaves.size() >= kParallelLeafPages && file.size() % page_size == 0 ? walk.threads : 0;
    if (!decode_leaf_rows_in_order(file, leaves, leaf, threads,
                                   [&handover](leaf_rows& page) { return handover.take(page); }))
        decode_leaves_here(file, leaves, leaf, handover);
    return handover.any() ? 1 : 0;
}

int extract_table_records_ex(std::vector<table_record>& rows, uni::fileio& file, std::uint64_t root_offset,
                             std::uint32_t page_size, std::uint64_t first_rowid, std::int64_t count,
                             bool raw_blob, bool keep_header, text_encoding encoding,
                             std::vector<sqlite_artifact>& interiors, std::uint8_t reserved) {
    rows.clear();
    table_walk_options walk;
    walk.root_offset = root_offset;
    walk.page_size = page_size;
    walk.first_rowid = first_rowid;
    walk.count = count;
    walk.raw_blob = raw_blob;
    walk.keep_header = keep_header;
    walk.encoding = encoding;
    walk.reserved = reserved;
    (void)visit_table_records(file, walk, interiors, [&rows](table_record& rec) {
        rows.push_back(std::move(rec));
        return true;
    });
    return rows.empty() ? 0 : 1;
}

int extract_table_records(std::vector<table_record>& rows, uni::fileio& file, std::uint64_t root_offset,
                          std::uint32_t page_size, std::uint64_t first_rowid, std::int64_t count,
                          bool raw_blob, bool keep_header, text_encoding encoding, std::uint8_t reserved) {
    std::vector<sqlite_artifact> interiors;
    return extract_table_records_ex(rows, file, root_offset, page_size, first_rowid, count, raw_blob,
                                    keep_header, encoding, interiors, reserved);
}

int carve_blob(artifact_map& out, const std::uint8_t* bytes, std::uint64_t length, bool annotate_time,
               std::uint64_t base_offset, std::uint32_t page_size) {
    out.clear();
    if (bytes == nullptr || length == 0) return 0;
    std::uint64_t start = 0;
    std::uint32_t found_size = 0;
    std::uint64_t found_at = 0;
    if (find_page_header(&found_size, &found_at, bytes, length) && found_at < length) {
        start = found_at;
        if (page_size == 0) page_size = found_size;
    }
    // No usable page size: guess one from the bytes rather than divide by zero.
    if (page_size_from_field(page_size) != page_size || page_size == 0) {
        std::uint32_t guessed = 0;
        (void)guess_page_size(&guessed, bytes + start, length - start);
        page_size = page_size_from_field(guessed) != 0 ? page_size_from_field(guessed) : 1024;
    }
    const std::uint64_t remaining_all = length - start;
    std::uint64_t pages = remaining_all / page_size;
    if (pages == 0 && remaining_all > 0) pages = 1;
    std::uint64_t remaining = remaining_all;
    for (std::uint64_t i = 0; i < pages; ++i, remaining -= std::min<std::uint64_t>(remaining, page_size)) {
        const std::uint8_t* page = bytes + start + i * page_size;
        const std::uint64_t offset = base_offset + start + i * page_size;
        const std::uint32_t slack_length =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, page_size));
        sqlite_page bound;
        if (!bind_sqlite_page(bound, page, static_cast<std::size_t>(remaining), 0, 0)) {
            (void)carve_strings_in_slack(out, page, slack_length, offset, page_size);
            continue;
        }
        artifact_map found;
        if (parse_table_page(found, page, remaining, offset, offset, page_size, nullptr, annotate_time, false,
                             false, false, text_encoding::utf8, false)) {
            for (auto& a : found) out.emplace(a.first, std::move(a.second));
        } else {
            sqlite_artifact interior;
            if (parse_page_in_memory(interior, page, remaining, offset, offset, page_size, nullptr,
                                     annotate_time, false, text_encoding::utf8))
                out.emplace(offset, std::move(interior));
        }
        (void)carve_strings_in_slack(out, page, slack_length, offset, page_size);
    }
    return out.empty() ? 0 : 1;
}
