#include "sqlite_format/page_dump.h"

#include <cstring>
#include <map>
#include <set>

#include "io/fileio.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/database_paths.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/schema_reader.h"

namespace {

// A page kept whole: its offset, number and bytes.
sqlite_artifact raw_page(const std::uint8_t* bytes, std::uint32_t length, std::uint64_t offset,
                         std::uint32_t page_size) {
    sqlite_artifact a;
    a.kind = kArtifactRawPage;
    a.file_offset = offset;
    a.page_number = offset / page_size + 1;
    a.bytes.assign(bytes, bytes + length);
    return a;
}

// The file of the database at `path`, through a source opened from the path, into `file`; false when it
// does not open.
bool open_database_file(uni::fileio& file, const std::string& path) {
    database_source source;
    return !path.empty() && source.open(path) && source.files().open_database(file);
}

// Opens the file of the database at `path` (open_database_file) and gives its size and page size: the
// database header's own, or for a file without a header (or with a damaged one) the page size the caller
// names. 0 when it does not open or neither is a valid page size.
int open_with_page_size(uni::fileio& file, std::uint64_t* size, std::uint32_t* page_size,
                        std::uint8_t* reserved, const std::string& path, std::uint32_t fallback) {
    if (!open_database_file(file, path)) return 0;
    db_header_bytes bytes{};
    const bool database = check_db_file_header(file, bytes) != 0;
    const database_header header = decode_database_header(bytes);
    *reserved = database ? header.reserved : 0;
    *page_size = database ? header.page_size : page_size_from_field(fallback);
    *size = file.size();
    return *page_size != 0 ? 1 : 0;
}

// The root page of the table `name`, from the schema table walked from page 1 down through every interior
// level. Leaves are parsed with the file at hand so that a schema row whose SQL text continues on overflow
// pages is read whole. Only a "table" row counts: an index row carries the name of its table as well. Each
// leaf is read once, so a damaged tree whose pages repeat still ends. 0 when not found.
std::uint32_t find_table_root(uni::fileio& file, const std::vector<std::uint8_t>& page1,
                              std::uint32_t page_size, std::uint64_t file_size, const std::string& name) {
    const std::uint64_t pages = file_size / page_size;
    const std::uint8_t reserved = decode_database_header(page1.data(), page1.size()).reserved;
    std::vector<std::uint64_t> children;
    sqlite_artifact first;
    if (parse_page_in_memory(first, page1.data(), page1.size(), 0, 0, page_size, &file, false, false,
                             text_encoding::utf8, reserved)) {
        for (const auto& c : first.cells) children.push_back(child_page_of(c.second));
    } else {
        children.push_back(1);  // page 1 is a leaf: its own only child
    }
    std::set<std::uint64_t> visited;
    std::vector<std::uint8_t> page(page_size);
    for (std::uint64_t child : children) {
        if (child == 0 || child > pages) continue;
        std::vector<sqlite_artifact> interiors;
        std::map<std::uint64_t, sqlite_artifact> unused;
        if (!collect_btree_interior_pages(interiors, unused, file, (child - 1) * page_size, page_size, true,
                                          text_encoding::utf8, nullptr, nullptr, reserved))
            continue;
        for (const sqlite_artifact& parent : interiors) {
            for (const auto& c : parent.cells) {
                const std::uint64_t leaf = child_page_of(c.second);
                if (leaf == 0 || leaf > pages || !visited.insert(leaf).second) continue;
                const std::uint64_t offset = (leaf - 1) * page_size;
                if (!read_file_exact(file, offset, page_size, page.data())) continue;
                artifact_map found;
                leaf_page_options options(page_size, &file);
                options.reserved = reserved;
                if (!parse_table_page(found, page.data(), page_size, offset, offset, options)) continue;
                for (const auto& a : found) {
                    const sqlite_artifact& s = a.second;
                    if (s.kind == kArtifactSchemaTable && s.table_name == name && s.root_page != 0 &&
                        s.root_page <= UINT32_MAX)
                        return static_cast<std::uint32_t>(s.root_page);
                }
            }
        }
    }
    return 0;
}

std::string join_values(const std::vector<std::string>& values) {
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) line += " | ";
        line += values[i];
    }
    return line;
}

}  // namespace

int dump_page_headers(std::ostream* listing, sqlite_db_extract* extract, std::uint32_t& page_size,
                      const std::uint8_t* bytes, std::uint32_t length, std::uint64_t offset) {
    if (bytes == nullptr || length == 0) return 0;
    if (extract != nullptr) extract->clear();
    const byte_view b(bytes, length);
    std::uint8_t reserved = 0;
    std::uint64_t header_at = 0;
    if (offset == 0) {
        std::uint32_t size = 0;
        if (listing == nullptr) {
            if (!starts_with_magic(bytes, length) || !read_u8(b, kDbReservedOffset, &reserved)) return 0;
            size = db_header_page_size(bytes, length);
            if (size == 0) return 0;
        } else {
            if (!read_page_size_from_header(&size, bytes, length) || size == 0) return 0;
            const std::string rule(25, '-');
            *listing << "first page of SQLite File\n" << rule << "\n" << size << "\n";
        }
        page_size = size;
        header_at = kDbHeaderSize;
    } else if (page_size_from_field(page_size) == 0) {
        return 0;  // no page number can be computed, and nothing can be bound, without a page size
    }
    sqlite_page page;
    if (!bind_sqlite_page(page, bytes, length, page_size, reserved)) return 0;
    if (listing != nullptr && !write_page_heading(*listing, bytes, length, page_size, offset)) return 0;
    if (extract != nullptr) {
        extract->page_size = page_size;
        extract->reserved = reserved;
        const std::uint64_t at = header_at + offset;
        extract->unparsed.emplace(at, raw_page(bytes, length, at, page_size));
    }
    return 1;
}

int extract_page_into(sqlite_db_extract& extract, const std::uint8_t* bytes, std::uint32_t length,
                      std::uint64_t offset, bool annotate_time, uni::fileio* file) {
    if (bytes == nullptr || length == 0) return 0;
    if (offset == 0) {
        if (!starts_with_magic(bytes, length) || !extract.header_known || length < kDbHeaderSize) return 0;
        if (extract.page_size == 0) {
            extract.page_size = db_header_page_size(bytes, length);
            extract.reserved = bytes[kDbReservedOffset];
        }
        extract.header_bytes.assign(bytes, bytes + kDbHeaderSize);
        extract.header_known = 1;
    }
    const std::uint32_t page_size = extract.page_size;
    if (page_size_from_field(page_size) == 0) return 0;
    sqlite_page page;
    if (!bind_sqlite_page(page, bytes, length, page_size, extract.reserved)) {
        extract.unparsed.emplace(offset, raw_page(bytes, length, offset, page_size));
        return 0;
    }
    artifact_map found;
    leaf_page_options leaf(page_size, file);
    leaf.annotate_time = annotate_time;
    leaf.reserved = extract.reserved;
    if (parse_table_page(found, bytes, length, offset, offset, leaf)) {
        for (auto& a : found) {
            sqlite_artifact& art = a.second;
            if (art.kind == kArtifactSchemaPage || art.kind == kArtifactTableRows) {
                extract.tables.emplace(offset, art);
            } else if (art.kind == kArtifactIndexRows) {
                extract.indexes.emplace(offset, art);
            } else {
                extract.other.emplace(offset, art);
            }
        }
        return 1;
    }
    sqlite_artifact interior;
    if (parse_page_in_memory(interior, bytes, length, offset, offset, page_size, file, annotate_time, false,
                             text_encoding::utf8, extract.reserved)) {
        extract.interior.emplace(offset, interior);
    } else {
        extract.unbound.emplace(offset, raw_page(bytes, length, offset, page_size));
    }
    return 1;
}

int dump_page_chunk(uni::fileio* file, void* context, const std::uint8_t* bytes, std::uint32_t length,
                    std::uint32_t /*overlap*/, std::uint64_t offset) {
    page_chunk_context* ctx = static_cast<page_chunk_context*>(context);
    if (file == nullptr || ctx == nullptr || !ctx->active) return -1;
    if (ctx->extract != nullptr) {
        extract_page_into(*ctx->extract, bytes, length, offset, ctx->annotate_time, file);
    } else {
        dump_page_headers(ctx->listing, nullptr, ctx->page_size, bytes, length, offset);
    }
    return 0;
}

int dump_db_pages(std::ostream* listing, const std::string& path) {
    uni::fileio file;
    std::uint64_t size = 0;
    std::uint32_t page_size = 0;
    std::uint8_t reserved = 0;
    if (!read_db_page_params(file, &size, &page_size, &reserved, path)) return 0;
    page_chunk_context ctx;
    ctx.active = true;
    ctx.page_size = page_size;
    ctx.reserved = reserved;
    ctx.file = &file;
    ctx.listing = listing;
    return file.scan_chunks(dump_page_chunk, &ctx, page_size, 0, 0);
}

int extract_db_file(sqlite_db_extract& extract, const std::string& path, bool accept_no_magic,
                    bool annotate_time) {
    extract.clear();
    uni::fileio file;
    if (!open_database_file(file, path)) return 0;
    const std::uint64_t size = file.size();
    db_header_bytes header{};
    if (size < 512 || !read_file_exact(file, 0, kDbHeaderSize, header.data())) return 0;
    extract.path = path;
    const bool magic = starts_with_magic(header.data(), header.size());
    std::uint32_t page_size = 0;
    if (magic) {
        page_size = db_header_page_size(header.data(), header.size());
    } else if (!accept_no_magic || !read_page_size_field(&page_size, file)) {
        return 0;
    }
    if (page_size_from_field(page_size) == 0) return 0;
    extract.file_size = size;
    extract.header_bytes.assign(header.begin(), header.end());
    extract.page_size = page_size;
    extract.reserved = header[kDbReservedOffset];
    extract.header_known = magic ? 1 : 0;
    page_chunk_context ctx;
    ctx.active = true;
    ctx.page_size = page_size;
    ctx.reserved = extract.reserved;
    ctx.file = &file;
    ctx.extract = &extract;
    ctx.annotate_time = annotate_time;
    const int result = file.scan_chunks(dump_page_chunk, &ctx, page_size, 0, 0);
    file.close();
    return result;
}

int extract_table_artifacts(sqlite_db_extract& extract, const std::string& path, std::uint32_t page_size,
                            std::uint32_t root_page, text_encoding encoding) {
    extract.clear();
    if (path.empty() || root_page == 0) return 0;
    uni::fileio file;
    std::uint64_t size = 0;
    std::uint32_t ps = 0;
    std::uint8_t reserved = 0;
    if (!open_with_page_size(file, &size, &ps, &reserved, path, page_size)) return 0;
    const std::uint64_t root_offset = (static_cast<std::uint64_t>(root_page) - 1) * ps;
    if (root_offset > size || ps > size - root_offset) return 0;
    extract.path = path;
    extract.page_size = ps;
    extract.reserved = reserved;
    extract.file_size = size;
    std::vector<sqlite_artifact> interiors;
    std::map<std::uint64_t, sqlite_artifact> by_offset;
    collect_btree_interior_pages(interiors, by_offset, file, root_offset, ps, false, encoding, nullptr,
                                 nullptr, reserved);
    for (const auto& e : by_offset) extract.interior.emplace(e.first, e.second);
    if (!interiors.empty())
        walk_table_pages(extract.tables, extract.indexes, extract.other, interiors, file, ps, false, encoding,
                         false, reserved);
    return extract.tables.empty() && extract.indexes.empty() && extract.other.empty() ? 0 : 1;
}

int export_table_rows(std::vector<std::string>& lines, std::uint32_t& root_page, const std::string& path,
                      const std::string& table_name, std::uint64_t first_rowid, std::int64_t count,
                      bool raw_blob) {
    lines.clear();
    if (path.empty() || (root_page == 0 && table_name.empty())) return 0;
    uni::fileio file;
    std::uint64_t size = 0;
    std::uint32_t page_size = 0;
    std::uint8_t reserved = 0;
    if (!read_db_page_params(file, &size, &page_size, &reserved, path)) return 0;
    std::vector<std::uint8_t> page1(page_size);
    sqlite_page bound;
    if (!read_file_exact(file, 0, page_size, page1.data()) ||
        !bind_sqlite_page(bound, page1.data(), page1.size(), page_size, reserved))
        return 0;
    if (root_page == 0) {
        root_page = find_table_root(file, page1, page_size, size, table_name);
        if (root_page == 0) return 0;
    }
    const std::uint64_t root_offset = (static_cast<std::uint64_t>(root_page) - 1) * page_size;
    if (root_offset > size || page_size > size - root_offset) return 0;
    std::vector<table_record> rows;
    if (!extract_table_records(rows, file, root_offset, page_size, first_rowid, count, raw_blob, false,
                               text_encoding::utf8, reserved))
        return 0;
    for (const table_record& r : rows) lines.push_back(join_values(r.values));
    return 1;
}

int print_table_rows(std::ostream& os, std::uint32_t& root_page, const std::string& path,
                     const std::string& table_name, std::uint64_t first_rowid, std::int64_t count,
                     bool raw_blob) {
    std::vector<std::string> lines;
    if (!export_table_rows(lines, root_page, path, table_name, first_rowid, count, raw_blob)) return 0;
    for (const std::string& line : lines) os << line << "\n";
    return 1;
}
