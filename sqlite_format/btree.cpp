#include "sqlite_format/btree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "io/fileio.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/record.h"

const char kOverflowSkippedMarker[] = " [overflow page reqd/skipped] ";

namespace {

constexpr std::size_t kSchemaColumns = 5;  // type, name, tbl_name, rootpage, sql

// One page located inside a caller's buffer.
struct page_view {
    const std::uint8_t* data = nullptr;  // first byte of the page
    std::uint32_t size = 0;              // page size; `data` holds this many bytes
    btree_page_header head;              // its b-tree header (at 100 on page 1)
    std::uint8_t reserved = 0;           // reserved bytes at its end (page 1: its database header's)
    std::uint64_t offset = 0;            // file offset of the page
    std::uint64_t number = 0;            // page number
};

// Places the page at `page_offset` inside the bytes and finds its b-tree header: at the page start
// when it is plausible, else at 100 when the page starts with the database magic. `reserved` is the
// database's reserved bytes a page; page 1 takes its own header's.
bool locate_page(page_view& v, const std::uint8_t* bytes, std::uint64_t count, std::uint64_t bytes_offset,
                 std::uint64_t page_offset, std::uint32_t page_size, std::uint8_t reserved) {
    if (bytes == nullptr || page_size < kMinPageSize || count < 4 || page_offset < bytes_offset) return false;
    const std::uint64_t delta = page_offset - bytes_offset;
    if (delta > count || count - delta < page_size) return false;
    v.data = bytes + delta;
    v.size = page_size;
    v.offset = page_offset;
    v.number = page_offset / page_size + 1;
    if (read_btree_page_header(v.head, v.data, page_size, 0, page_size) == page_header_verdict::sound) {
        v.reserved = reserved;
        return true;
    }
    if (!starts_with_magic(v.data, page_size)) return false;
    // Page 1's header is taken as it stands: the walks judge its type themselves.
    (void)read_btree_page_header(v.head, v.data, page_size, kDbHeaderSize, page_size);
    v.reserved = decode_database_header(v.data, page_size).reserved;
    return true;
}

std::string key_text(std::uint64_t key) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(key));
    return buf;
}

// A rowid (or integer key) is a signed 64-bit number kept in its two's-complement bits: it reads "-5", as
// the library gives it, not 18446744073709551611.
std::string key_number(std::uint64_t key) { return std::to_string(static_cast<std::int64_t>(key)); }

std::uint64_t to_unsigned(const std::string& text) {
    return static_cast<std::uint64_t>(std::strtoull(text.c_str(), nullptr, 10));
}

std::string lower_copy(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The local part of a cell's payload: from `start` (offset in the page) to the end of the local
// bytes, the overflow pointer included when the cell overflows. False when the cell's header parts
// were not read or do not fit in its extent (such a cell is skipped).
bool local_payload(const page_view& v, const cell_metadata& c, std::size_t header_parts, std::size_t* start,
                   std::size_t* length) {
    if (c.payload_size_length == 0 || c.extent < header_parts) return false;
    const std::size_t s = static_cast<std::size_t>(c.cell_offset) + header_parts;
    if (s > v.size) return false;
    std::size_t n = (c.overflow && c.local_payload_size != 0) ? c.local_payload_size + kOverflowPointerSize
                                                              : c.extent - header_parts;
    n = std::min<std::size_t>(n, v.size - s);
    *start = s;
    *length = n;
    return true;
}

// Builds the payload of a cell from its local bytes: without overflow the bytes as they stand;
// with overflow the pointer is dropped and the chain appended (cut to the payload size) when a
// file is open, the marker when the chain fails or `skip` is set. `payload` is replaced; its storage is
// reused from cell to cell. Returns how many of the payload's bytes are the cell's (the marker not counted).
// The bytes at `p` in place of `out`'s, or after them: for a string, as chars (its iterator form copies one
// byte at a time).
void assign_bytes(std::vector<std::uint8_t>& out, const std::uint8_t* p, std::size_t n) {
    out.assign(p, p + n);
}
void assign_bytes(std::string& out, const std::uint8_t* p, std::size_t n) {
    out.assign(reinterpret_cast<const char*>(p), n);
}
void append_bytes(std::vector<std::uint8_t>& out, const char* p, std::size_t n) {
    out.insert(out.end(), p, p + n);
}
void append_bytes(std::string& out, const char* p, std::size_t n) { out.append(p, n); }

template <typename Bytes>
std::size_t assemble_payload_into(Bytes& payload, const page_view& v, const cell_metadata& c,
                                  std::size_t start, std::size_t length, uni::fileio* file, bool skip,
                                  std::uint64_t sound = ~0ull) {
    const std::uint8_t* local = v.data + start;
    if (!c.overflow) {
        assign_bytes(payload, local, length);
        return length;
    }
    const std::string marker(kOverflowSkippedMarker);
    if (skip && length > kOverflowPointerSize) {
        assign_bytes(payload, local, length - kOverflowPointerSize);
        append_bytes(payload, marker.data(), marker.size());
        return length - kOverflowPointerSize;
    }
    const std::size_t kept = length >= kOverflowPointerSize ? length - kOverflowPointerSize : 0;
    assign_bytes(payload, local, kept);
    if (file == nullptr || !file->is_open()) return kept;
    std::uint32_t first = 0;
    if (length >= kOverflowPointerSize)
        (void)read_be32(byte_view(local, length), length - kOverflowPointerSize, &first);
    // A chain the tree check found damaged is read only as far as it is sound.
    const std::uint64_t whole = std::min<std::uint64_t>(c.payload_size, sound);
    const std::uint64_t needed = whole > kept ? whole - kept : 0;
    const std::uint32_t usable = v.size > v.reserved ? v.size - v.reserved : 0;
    if (needed != 0 && v.size != 0 && usable > kOverflowLinkSize) {
        // Room for the chain at once (its last page is appended whole), as far as the file can hold it: a
        // claimed length sizes nothing more. Grown page by page, the payload would be copied as it doubles.
        const std::uint64_t could = file->size() / v.size * (usable - kOverflowLinkSize);
        payload.reserve(kept + static_cast<std::size_t>(std::min(needed + usable, could)));
    }
    // The chain goes straight on after the local bytes, and is taken back where it fails.
    if (needed != 0 && follow_overflow_chain(payload, *file, first, v.size, needed, usable)) {
        if (payload.size() > whole) payload.resize(static_cast<std::size_t>(whole));
        return payload.size();
    }
    payload.resize(kept);
    append_bytes(payload, marker.data(), marker.size());
    return kept;
}

// The same into a new vector.
std::vector<std::uint8_t> assemble_payload(const page_view& v, const cell_metadata& c, std::size_t start,
                                           std::size_t length, uni::fileio* file, bool skip) {
    std::vector<std::uint8_t> payload;
    assemble_payload_into(payload, v, c, start, length, file, skip);
    return payload;
}

// The record header as stored: the header-size varint's value in bytes, cut at the payload end.
std::vector<std::uint8_t> stored_header(const std::uint8_t* payload, std::size_t length) {
    std::uint64_t size = 0;
    std::uint32_t n = 0;
    if (length == 0 || !read_sqlite_varint(&size, &n, payload, length)) return {};
    const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(size, length));
    return std::vector<std::uint8_t>(payload, payload + len);
}

// Fills the schema-row fields of `a` from a decoded row; false when the row is not a schema row.
bool fill_schema_row(sqlite_artifact& a, const sqlite_row_artifact& row) {
    if (row.values.size() < kSchemaColumns) return false;
    const std::string& type = row.values[0];
    if (type == "table") {
        a.kind = kArtifactSchemaTable;
    } else if (type == "index") {
        a.kind = row.values[1].find("sqlite_autoindex") != std::string::npos ? kArtifactSchemaAutoIndex
                                                                             : kArtifactSchemaIndex;
    } else {
        return false;
    }
    a.name = row.values[1];
    a.table_name = row.values[2];
    a.root_page = to_unsigned(row.values[3]);
    a.sql.clear();
    for (char ch : row.values[4])
        if (ch != '\t') a.sql.push_back(ch);
    a.sql_lower = lower_copy(a.sql);
    a.without_rowid = declares_without_rowid(a.sql_lower) ? 1 : 0;
    return true;
}

// The b-tree header of the page in `page`, wherever it stands, as it reads (its type byte 0 when the page
// is too short for it): the walks judge the type byte themselves.
btree_page_header header_of(const std::uint8_t* page, std::size_t length) {
    btree_page_header head;
    (void)read_btree_page_header(head, page, length, btree_header_offset(page, length), 0);
    return head;
}

std::string hex_byte(std::uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", static_cast<unsigned>(b));
    return buf;
}

// The cell pointers of a damaged page that name no cell, each told to `tell(cells, why)`: pointers past
// what the page can hold (its array would run into the cell content), past the page, into its header or
// pointer array, or repeating an earlier one. Returns how many pointers the page can hold. Only called once
// a cheap test found the page's pointers wrong, so it may take its time.
template <typename Tell>
std::size_t audit_cell_pointers(const page_view& v, Tell&& tell) {
    const byte_view page(v.data, v.size);
    const std::size_t array_start = v.head.cell_pointers();
    const std::size_t count = v.head.cell_count;
    std::string why;
    const std::size_t fit = cell_pointers_held(count, array_start, v.head.content_start, v.size, &why);
    if (fit < count) tell(cell_label(fit, count - 1), why);
    const std::size_t array_end = v.head.cell_pointers_end(fit);
    std::map<std::uint16_t, std::size_t> first_of;  // pointer -> first cell that holds it
    for (std::size_t i = 0; i < fit; ++i) {
        std::uint16_t ptr = 0;
        if (!read_be16(page, array_start + 2 * i, &ptr)) break;
        const std::string at = "its pointer " + std::to_string(ptr);
        if (ptr >= v.size) {
            tell(cell_label(i, i),
                 at + " lies past the end of the page (" + std::to_string(v.size) + " bytes)");
        } else if (ptr < array_end) {
            tell(cell_label(i, i),
                 at + " lies inside the page header or cell-pointer array (which end at offset " +
                     std::to_string(array_end) + ")");
        } else {
            const auto seen = first_of.emplace(ptr, i);
            if (!seen.second)
                tell(cell_label(i, i), at + " is that of cell " + std::to_string(seen.first->second));
        }
    }
    return fit;
}

// Collects what a leaf decode tells of its cells: the first kToldCellsPerPage one by one, then a count.
struct dropped_cells {
    explicit dropped_cells(std::vector<dropped_cell>& into) : list(into) { list.clear(); }
    void operator()(const std::string& cells, const std::string& why, bool cut = false, bool kept = false) {
        if (list.size() < kToldCellsPerPage) {
            list.push_back(dropped_cell{cells, why, cut, kept});
        } else {
            ++more;
        }
    }
    // The count of the cells not told one by one, as one more entry.
    void close() {
        if (more == 0) return;
        list.push_back(dropped_cell{std::to_string(more) + " more cells",
                                    "damaged as well (only " + std::to_string(kToldCellsPerPage) +
                                        " cells of a page are told one by one)",
                                    false, false});
        more = 0;
    }
    std::vector<dropped_cell>& list;
    std::size_t more = 0;
};

}  // namespace

std::string cell_label(std::size_t first, std::size_t last) {
    return first == last ? "cell " + std::to_string(first)
                         : "cells " + std::to_string(first) + " to " + std::to_string(last);
}

std::size_t cell_pointers_held(std::size_t count, std::size_t array_start, std::size_t content_start,
                               std::size_t size, std::string* why) {
    const std::size_t content = content_start == 0 ? 65536u : content_start;
    std::size_t bound = std::min<std::size_t>(content, size);
    if (bound < array_start + 2) bound = size;  // a content start inside the header says nothing
    const std::size_t fit = std::min(count, bound > array_start ? (bound - array_start) / 2 : 0);
    if (fit < count && why != nullptr)
        *why = "the cell count " + std::to_string(count) +
               " is more than the page can hold: its pointer array " +
               (bound < size ? "would run into the cell content at offset " + std::to_string(bound)
                             : std::string("would run past the end of the page"));
    return fit;
}

skipped_span make_skipped_span(std::uint64_t page, std::uint64_t offset, std::uint64_t length,
                               const std::string& what, const std::string& why, const std::string& cells) {
    skipped_span span;
    span.page = page;
    span.offset = offset;
    span.length = length;
    span.what = what;
    span.why = why;
    span.cells = cells;
    return span;
}

std::string skipped_span_text(const skipped_span& span) {
    return "page " + std::to_string(span.page) + " (" + span.what + ", file offset " +
           std::to_string(span.offset) + ")" + (span.cells.empty() ? std::string() : " " + span.cells) +
           (span.cut    ? " cut short: "
            : span.kept ? " damaged: "
                        : " skipped: ") +
           span.why;
}

std::uint64_t child_page_of(const sqlite_ptr_artifact& entry) { return entry.values[0]; }

int parse_table_page(artifact_map& out, const std::uint8_t* bytes, std::uint64_t count,
                     std::uint64_t bytes_offset, std::uint64_t page_offset, std::uint32_t page_size,
                     uni::fileio* file, bool annotate_time, bool raw_blob, bool skip_overflow,
                     bool keep_header, text_encoding encoding, bool without_rowid) {
    leaf_page_options options(page_size, file);
    options.annotate_time = annotate_time;
    options.raw_blob = raw_blob;
    options.skip_overflow = skip_overflow;
    options.keep_header = keep_header;
    options.encoding = encoding;
    options.without_rowid = without_rowid;
    return parse_table_page(out, bytes, count, bytes_offset, page_offset, options);
}

int parse_table_page(artifact_map& out, const std::uint8_t* bytes, std::uint64_t count,
                     std::uint64_t bytes_offset, std::uint64_t page_offset,
                     const leaf_page_options& options) {
    const std::uint32_t page_size = options.page_size;
    uni::fileio* const file = options.file;
    const bool annotate_time = options.annotate_time;
    const bool raw_blob = options.raw_blob;
    const bool skip_overflow = options.skip_overflow;
    const bool keep_header = options.keep_header;
    const bool without_rowid = options.without_rowid;
    out.clear();
    page_view v;
    if (!locate_page(v, bytes, count, bytes_offset, page_offset, page_size, options.reserved)) return 0;
    cell_map cells;
    if (!parse_btree_page(cells, v.data, v.size, page_size, v.reserved, without_rowid)) return 0;

    sqlite_artifact current;
    sqlite_artifact schema_page;
    std::vector<std::uint8_t> payload;  // each cell's payload in turn, in storage reused
    for (const auto& entry : cells) {
        const cell_metadata& c = entry.second;
        if (c.cell_offset >= page_size) continue;
        if (v.head.interior()) break;  // interior pages give no rows
        if (!v.head.leaf()) continue;

        std::uint64_t key = without_rowid ? v.number * 256 + c.cell_index + 1 : c.cell_index + 1ull;
        const bool table = v.head.type == kPageTableLeaf;
        if (table && !without_rowid && c.rowid_length == 0) continue;  // the rowid did not decode
        const std::size_t header_parts = c.payload_size_length + (table ? c.rowid_length : 0u);
        std::size_t start = 0;
        std::size_t length = 0;
        if (!local_payload(v, c, header_parts, &start, &length)) continue;
        assemble_payload_into(payload, v, c, start, length, file, table && skip_overflow);

        sqlite_row_artifact row;
        std::uint32_t consumed = 0;
        const std::uint64_t cell_file_offset = page_offset + c.cell_offset;
        if (!decode_record_payload(row, &consumed, nullptr, payload.data(), payload.size(), 0,
                                   cell_file_offset, annotate_time, raw_blob, options.encoding,
                                   options.values_only))
            continue;
        if (table) {
            if (!without_rowid) key = c.rowid;
        } else if (row.values.size() >= 2) {
            key = to_unsigned(row.values[1]);
        }
        if (keep_header) row.header_bytes = stored_header(payload.data(), payload.size());
        if (row.codes.size() == row.values.size()) {
            for (std::size_t i = 0; i < row.values.size(); ++i)
                if ((row.codes[i] & kColKindMask) == kColNull)
                    row.values[i] = i == options.rowid_alias ? key_number(key) : std::string();
        }
        row.rowid = key;
        row.file_offset = cell_file_offset;
        row.payload_page_offset = start;
        row.payload_file_offset = page_offset + start;
        row.page_number = v.number;
        row.cell = c;

        sqlite_artifact schema_row;
        if (table && row.values.size() > 4 && fill_schema_row(schema_row, row)) {
            schema_row.file_offset = page_offset;
            schema_row.page_number = v.number;
            schema_row.cell = c;
            schema_row.rows.emplace(key_text(key), row);
            if (schema_page.kind != kArtifactSchemaPage) {
                schema_page.kind = kArtifactSchemaPage;
                schema_page.file_offset = page_offset;
                schema_page.page_number = v.number;
            }
            schema_page.rows.emplace(key_text(key), row);
            out.emplace(schema_row.root_page, schema_row);
            current.clear();
            continue;
        }
        current.kind = table ? kArtifactTableRows : kArtifactIndexRows;
        current.file_offset = page_offset;
        current.page_number = v.number;
        current.rows.emplace(key_text(key), std::move(row));
    }
    if (!current.rows.empty()) {
        out.emplace(0, std::move(current));
    } else if (!schema_page.rows.empty() || schema_page.kind == kArtifactSchemaPage) {
        out.emplace(schema_page.page_number, schema_page);
    }
    return out.empty() ? 0 : 1;
}

namespace {

// Places the page at `page_offset` for a leaf decode; false, with `fault` saying why, when it is no leaf.
bool locate_leaf(page_view& v, const std::uint8_t* page, std::uint64_t page_offset, std::uint32_t page_size,
                 std::uint8_t reserved, std::string& fault) {
    if (!locate_page(v, page, page_size, page_offset, page_offset, page_size, reserved)) {
        if (page != nullptr && page_size != 0)
            fault = "not a b-tree page (type byte " + hex_byte(header_of(page, page_size).type) + ")";
        return false;
    }
    if (!v.head.leaf()) {
        fault = "not a leaf page (type byte " + hex_byte(v.head.type) + ")";
        return false;
    }
    return true;
}

// Takes out of buffers.cells the cells read from pointers that name none, each told to `dropped`. The
// pointers past what the page can hold are cell bytes: mapped, they would cut the true cells short, so the
// page is mapped again from a copy whose cell count stops where the page is full (`v` then reads the copy).
void repair_cell_pointers(page_view& v, leaf_row_buffers& buffers, dropped_cells& dropped, bool skip_rowid) {
    const std::size_t cell_count = v.head.cell_count;
    const std::size_t fit = audit_cell_pointers(v, dropped);
    if (fit < cell_count) {
        const std::size_t count_at = v.head.at + kCellCountOffset;
        buffers.scratch.assign(v.data, v.data + v.size);
        buffers.scratch[count_at] = static_cast<std::uint8_t>(fit >> 8);
        buffers.scratch[count_at + 1] = static_cast<std::uint8_t>(fit & 0xff);
        v.data = buffers.scratch.data();
        buffers.cells.clear();
        (void)parse_btree_page(buffers.cells, v.data, v.size, v.size, v.reserved, skip_rowid);
    }
    buffers.cells.erase(buffers.cells.begin(), buffers.cells.lower_bound(v.head.cell_pointers_end(fit)));
}

// Maps the cells of the leaf `v` into buffers.cells, the pointers that name no cell left out; false, with
// buffers.fault saying why when the page has cells, when none maps.
bool map_leaf_cells(page_view& v, leaf_row_buffers& buffers, dropped_cells& dropped, bool skip_rowid) {
    buffers.cells.clear();
    const std::uint16_t cell_count = v.head.cell_count;
    if (!parse_btree_page(buffers.cells, v.data, v.size, v.size, v.reserved, skip_rowid)) {
        // A leaf without cells is sound (an emptied table's root); one whose cells do not map is not.
        if (cell_count != 0) buffers.fault = "its " + std::to_string(cell_count) + " cells do not map";
        return false;
    }
    // A sound page maps one cell per pointer, none below the pointer array; only a page that fails this
    // is looked at pointer by pointer.
    if (buffers.cells.size() != cell_count ||
        buffers.cells.begin()->first < v.head.cell_pointers_end(cell_count))
        repair_cell_pointers(v, buffers, dropped, skip_rowid);
    return true;
}

std::string at_page_offset(const cell_metadata& c) {
    return " at page offset " + std::to_string(c.cell_offset);
}

// The payload of one cell of a leaf into `payload`, its overflow chain followed as the options say; *got is
// how many of its bytes are the cell's. False, told to `dropped`, when the cell gives none.
bool leaf_cell_payload(std::string& payload, std::size_t* got, const page_view& v, const cell_metadata& c,
                       const leaf_page_options& options, dropped_cells& dropped) {
    const bool table = v.head.type == kPageTableLeaf;
    if (table && !options.without_rowid && c.rowid_length == 0) {
        dropped(cell_label(c.cell_index, c.cell_index), "its rowid" + at_page_offset(c) + " does not decode");
        return false;
    }
    const std::size_t header_parts = c.payload_size_length + (table ? c.rowid_length : 0u);
    std::size_t start = 0;
    std::size_t length = 0;
    // An overflowing cell whose local part could not be placed runs past the page: its overflow pointer
    // would be read from whatever lies there.
    if (!local_payload(v, c, header_parts, &start, &length) || (c.overflow && c.local_payload_size == 0)) {
        dropped(cell_label(c.cell_index, c.cell_index), "its payload of " + std::to_string(c.payload_size) +
                                                            " bytes" + at_page_offset(c) +
                                                            " runs past the end of the page");
        return false;
    }
    std::uint64_t sound = ~0ull;
    if (options.sound_payload != nullptr) {
        const auto limit = options.sound_payload->find(v.offset + c.cell_offset);
        if (limit != options.sound_payload->end()) sound = limit->second;
    }
    *got = assemble_payload_into(payload, v, c, start, length, options.file, table && options.skip_overflow,
                                 sound);
    return true;
}

// A value of a table row at least this long takes its payload's storage rather than a copy of its bytes.
constexpr std::size_t kTakenValueBytes = 64 * 1024;

// What became of one cell of a leaf.
enum class leaf_cell_outcome { dropped, row, schema_row };

// The row of one cell of a leaf from its payload (`got` of its bytes the cell's) into `row`: its values,
// key and offset. A record that does not decode is told to `dropped`, and so is a row whose overflow chain
// broke off before its record ends (the row is given, cut short).
leaf_cell_outcome decode_leaf_record(table_record& row, leaf_row_buffers& buffers, const page_view& v,
                                     const cell_metadata& c, std::size_t got, std::uint64_t page_offset,
                                     const leaf_page_options& options, dropped_cells& dropped) {
    const std::string& payload = buffers.payload;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
    const bool table = v.head.type == kPageTableLeaf;
    // A long value of a table row takes the payload's storage; storage a long value of an earlier row left
    // in this one goes first, so that rows reused from page to page keep none.
    taken_value take;
    take.from = table ? kTakenValueBytes : taken_value::kNone;
    for (std::string& value : row.values)
        if (value.capacity() >= kTakenValueBytes) std::string().swap(value);
    if (!decode_record_values(row.values, buffers.codes, buffers.sizes, bytes, payload.size(),
                              options.raw_blob, options.encoding, &take) ||
        row.values.empty()) {
        dropped(cell_label(c.cell_index, c.cell_index),
                "its record" + at_page_offset(c) + " does not decode");
        return leaf_cell_outcome::dropped;
    }
    if (!options.skip_overflow) {
        // Told only where the record needs bytes its payload does not give: those its chain did not give, or
        // more than its payload length holds (its values then end at the payload's end).
        std::uint64_t needed = 0;
        std::uint64_t header_size = 0;
        std::uint32_t n = 0;
        if (read_sqlite_varint(&header_size, &n, bytes, payload.size())) needed = header_size;
        for (const std::uint32_t size : buffers.sizes) needed += size;
        if (needed > got && c.overflow && got < c.payload_size) {
            dropped(cell_label(c.cell_index, c.cell_index),
                    "its overflow chain from page " + std::to_string(c.first_overflow_page) +
                        " breaks off after " + std::to_string(got) + " of its " +
                        std::to_string(c.payload_size) + " payload bytes",
                    true);
        } else if (needed > c.payload_size) {
            // Its payload length or its header is damaged: the values are read as the bytes after it stand.
            dropped(cell_label(c.cell_index, c.cell_index),
                    "its record" + at_page_offset(c) + " needs " + std::to_string(needed) +
                        " bytes where its payload length is " + std::to_string(c.payload_size) +
                        " (its values are read as the bytes stand)",
                    false, true);
        }
    }
    if (options.keep_header) row.header_bytes = stored_header(bytes, payload.size());
    if (take.index != taken_value::kNone) {
        // Moved, not copied: the value is the payload with the bytes before and after it cut off.
        std::string& value = row.values[take.index];
        value.swap(buffers.payload);
        value.erase(0, take.at);
        value.resize(take.size);
    }
    std::uint64_t key = options.without_rowid ? v.number * 256 + c.cell_index + 1 : c.cell_index + 1ull;
    if (table) {
        if (!options.without_rowid) key = c.rowid;
    } else if (row.values.size() >= 2) {
        key = to_unsigned(row.values[1]);
    }
    if (table && row.values.size() > 4 && (row.values[0] == "table" || row.values[0] == "index"))
        return leaf_cell_outcome::schema_row;
    if (buffers.codes.size() == row.values.size()) {
        for (std::size_t i = 0; i < row.values.size(); ++i)
            if ((buffers.codes[i] & kColKindMask) == kColNull) {
                if (i == options.rowid_alias)
                    row.values[i] = key_number(key);
                else
                    row.values[i].clear();
            }
    }
    row.rowid = key;
    row.record_offset = page_offset + c.cell_offset;
    return leaf_cell_outcome::row;
}

}  // namespace

std::size_t decode_leaf_rows(std::vector<table_record>& rows, leaf_row_buffers& buffers,
                             const std::uint8_t* page, std::uint64_t page_offset,
                             const leaf_page_options& options) {
    buffers.fault.clear();
    buffers.dropped.clear();
    page_view v;
    if (!locate_leaf(v, page, page_offset, options.page_size, options.reserved, buffers.fault)) return 0;
    dropped_cells dropped(buffers.dropped);
    if (!map_leaf_cells(v, buffers, dropped, options.without_rowid)) return 0;
    std::size_t count = 0;
    bool sorted = true;
    for (const auto& entry : buffers.cells) {
        const cell_metadata& c = entry.second;
        if (c.cell_offset >= options.page_size) continue;
        std::size_t got = 0;
        if (!leaf_cell_payload(buffers.payload, &got, v, c, options, dropped)) continue;
        if (count == rows.size()) rows.emplace_back();
        table_record& row = rows[count];
        switch (decode_leaf_record(row, buffers, v, c, got, page_offset, options, dropped)) {
            case leaf_cell_outcome::dropped:
                continue;
            case leaf_cell_outcome::schema_row:
                count = 0;  // a row that reads as a schema row is no table row, and drops the rows before it
                continue;
            case leaf_cell_outcome::row:
                break;
        }
        if (count > 0 && rows[count - 1].rowid > row.rowid) sorted = false;
        ++count;
    }
    dropped.close();
    // Rows come out by key, rows of one key in cell order.
    if (!sorted)
        std::stable_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(count),
                         [](const table_record& a, const table_record& b) { return a.rowid < b.rowid; });
    return count;
}

int parse_page_in_memory(sqlite_artifact& out, const std::uint8_t* bytes, std::uint64_t count,
                         std::uint64_t bytes_offset, std::uint64_t page_offset, std::uint32_t page_size,
                         uni::fileio* file, bool annotate_time, bool raw_blob, text_encoding encoding,
                         std::uint8_t reserved) {
    out.clear();
    page_view v;
    if (!locate_page(v, bytes, count, bytes_offset, page_offset, page_size, reserved)) return 0;
    out.file_offset = page_offset;
    out.page_number = v.number;
    if (v.head.type == kPageTableInterior) out.kind = kArtifactTableInterior;
    if (v.head.type == kPageIndexInterior) out.kind = kArtifactIndexInterior;
    cell_map cells;
    (void)parse_btree_page(cells, v.data, v.size, page_size, v.reserved, false);
    bool any_cell = false;
    for (const auto& entry : cells) {
        const cell_metadata& c = entry.second;
        if (c.cell_offset >= page_size) continue;
        any_cell = true;
        if (!v.head.interior()) break;
        sqlite_ptr_artifact child;
        child.page_offset = page_offset;
        child.file_offset = page_offset + c.cell_offset;
        child.cell = c;
        std::uint32_t child_page = 0;
        if (!read_be32(byte_view(v.data, v.size), c.cell_offset, &child_page)) continue;
        child.values[0] = child_page;
        if (v.head.type == kPageTableInterior) {
            if (c.payload_size_length == 0) continue;  // the rowid key did not decode
            out.cells.emplace(c.key, child);
            continue;
        }
        std::size_t start = 0;
        std::size_t length = 0;
        if (local_payload(v, c, kChildPointerSize + c.payload_size_length, &start, &length)) {
            const std::vector<std::uint8_t> payload = assemble_payload(v, c, start, length, file, false);
            std::uint32_t consumed = 0;
            (void)decode_record_payload(child, &consumed, nullptr, payload.data(), payload.size(), 0,
                                        child.file_offset, annotate_time, raw_blob, encoding);
        }
        out.cells.emplace(child_page, child);
    }
    if (any_cell && out.cells.empty()) return 0;
    if (!v.head.interior() || v.head.right_child == 0) return 0;
    sqlite_ptr_artifact right;
    right.page_offset = page_offset;
    right.values[0] = v.head.right_child;
    out.cells.emplace(kRightmostChildKey, right);
    return 1;
}

namespace {

// Reads one whole page (a last page the file holds in part with zeros for the rest); false when the page
// number is 0 or past the file, or the read fails.
bool read_page(uni::fileio& file, std::uint64_t page, std::uint32_t page_size, std::uint64_t page_count,
               std::vector<std::uint8_t>& buf) {
    if (page == 0 || page > page_count) return false;
    return read_walk_page(file, page, page_size, buf.data());
}

// The cells of the interior page in `buf` (parsed into `node`) that give no child, told to `tell(cells,
// why)`; children read from pointers that name no cell are dropped from `node`, so the walk does not follow
// bytes that are no link. A sound page has one child per cell and costs one pass over its child list.
template <typename Tell>
void audit_interior_cells(sqlite_artifact& node, const std::vector<std::uint8_t>& buf, std::uint64_t offset,
                          Tell&& tell) {
    page_view v;
    // Only the page's header and cell pointers are read: its reserved bytes do not matter.
    if (!locate_page(v, buf.data(), buf.size(), offset, offset, static_cast<std::uint32_t>(buf.size()), 0))
        return;
    const std::size_t count = v.head.cell_count;
    const std::size_t array_end = v.head.cell_pointers_end(count);
    std::size_t children = 0;
    bool low = false;
    for (const auto& entry : node.cells) {
        if (entry.first == kRightmostChildKey) continue;
        ++children;
        low = low || entry.second.cell.cell_offset < array_end;
    }
    if (children == count && !low) return;
    bool told = false;
    const std::size_t fit = audit_cell_pointers(v, [&](const std::string& cells, const std::string& why) {
        told = true;
        tell(cells, why);
    });
    const std::size_t fit_end = v.head.cell_pointers_end(fit);
    for (auto entry = node.cells.begin(); entry != node.cells.end();) {
        const cell_metadata& c = entry->second.cell;
        if (entry->first != kRightmostChildKey && (c.cell_index >= fit || c.cell_offset < fit_end)) {
            entry = node.cells.erase(entry);
        } else {
            ++entry;
        }
    }
    if (!told && children < count)
        tell(std::to_string(count - children) + " of its " + std::to_string(count) + " cells",
             "they give no child page (a key repeated or not decoded)");
}

// An interior page waiting in the walk, with its depth (the root's is 0).
struct queued_node {
    sqlite_artifact node;
    std::uint32_t depth = 0;
};

// The walk of collect_btree_interior_pages over one tree: the pages it parsed, and what it tells of those it
// skips.
class interior_walk {
  public:
    interior_walk(uni::fileio& file, std::uint32_t page_size, text_encoding encoding, std::uint8_t reserved,
                  skip_reporter* reporter, std::map<std::uint64_t, sqlite_artifact>* record,
                  const std::set<std::uint64_t>* refused)
        : file_(file),
          page_size_(page_size),
          page_count_(walk_page_count(file, page_size)),
          encoding_(encoding),
          reserved_(reserved),
          reporter_(reporter),
          record_(record),
          refused_(refused),
          buf_(page_size) {}

    // The root at `root_offset` as the walk's first node: an interior page parsed, or a leaf root as a node
    // whose only child is the root. False, told, when it reads as neither.
    bool read_root(sqlite_artifact& root, std::uint64_t root_offset) {
        const std::uint64_t root_page = root_offset / page_size_ + 1;
        if (!read_file_exact(file_, root_offset, page_size_, buf_.data())) {
            skip(root_page, root_offset, "root page",
                 "cannot be read (the file has " + std::to_string(page_count_) + " pages)");
            return false;
        }
        const btree_page_header head = header_of(buf_.data(), buf_.size());
        if (head.leaf()) {
            sqlite_ptr_artifact only;
            only.page_offset = root_offset;
            only.values[0] = root_page;
            root.file_offset = root_offset;
            root.page_number = root_page;
            root.cells.emplace(kRightmostChildKey, only);
            return true;
        }
        if (!head.interior()) {
            skip(root_page, root_offset, "root page",
                 "not a b-tree page (type byte " + hex_byte(head.type) + ")");
            return false;
        }
        if (!parse_interior(root, root_offset, "root page")) {
            skip(root_page, root_offset, "root page", "its child list does not decode");
            return false;
        }
        visited_.insert(root_page);
        ++parsed_;
        return true;
    }

    // Goes through the children of `item`: interior children are parsed and queued, damaged ones dropped and
    // told; the node keeps its leaves. Once a child reads as a leaf, its later siblings are leaves too in a
    // sound tree: the leaf walk reads them and says which is not. A damaged child is dropped and its
    // siblings still read (one bad page must not hide the subtrees after it).
    void sort_children(queued_node& item, std::deque<queued_node>& queue) {
        sqlite_artifact& node = item.node;
        const std::string parent = "child of page " + std::to_string(node.page_number);
        bool leaf_level = false;
        bool interior_children = false;
        for (auto entry = node.cells.begin(); entry != node.cells.end();) {
            // A link the tree check refused is not followed; the check says why.
            if (refused_ != nullptr && refused_->count(child_link_of(node, entry->second)) != 0) {
                entry = node.cells.erase(entry);
                continue;
            }
            if (leaf_level) {
                ++entry;
                continue;
            }
            const std::uint64_t child = child_page_of(entry->second);
            const std::string fault = child_page_fault(child, page_count_);
            if (!fault.empty()) {
                const std::uint64_t at =
                    entry->second.file_offset != 0 ? entry->second.file_offset : node.file_offset;
                skip(node.page_number, at, "interior page", fault);
                entry = node.cells.erase(entry);
                continue;
            }
            const std::uint64_t offset = (child - 1) * page_size_;
            if (!read_page(file_, child, page_size_, page_count_, buf_)) {
                skip(child, offset, parent, "cannot be read");
                entry = node.cells.erase(entry);
                continue;
            }
            const btree_page_header head = header_of(buf_.data(), buf_.size());
            if (head.leaf()) {
                leaf_level = !interior_children;
                ++entry;
                continue;
            }
            const std::string why = follow_interior(child, head, item.depth + 1, queue);
            if (why.empty())
                interior_children = true;
            else
                skip(child, offset, parent, why);
            entry = node.cells.erase(entry);
        }
    }

  private:
    // Parses the interior page in buf_ into `node`, audits its cells and keeps it when the caller records.
    bool parse_interior(sqlite_artifact& node, std::uint64_t offset, const std::string& what) {
        if (!parse_page_in_memory(node, buf_.data(), page_size_, offset, offset, page_size_, &file_, false,
                                  false, encoding_, reserved_))
            return false;
        audit_interior_cells(node, buf_, offset, [&](const std::string& cells, const std::string& why) {
            skip(offset / page_size_ + 1, offset, what, why, cells);
        });
        if (record_ != nullptr) (*record_)[offset] = node;
        return true;
    }

    // The verdict on a child in buf_ that is no leaf, at `depth`: empty when it is followed (parsed and
    // queued), else why not. A tree has fewer interior pages than the file has pages: however its links are
    // damaged, the walk parses no more than that, so a loop that got past the visited set still ends.
    std::string follow_interior(std::uint64_t child, const btree_page_header& head, std::uint32_t depth,
                                std::deque<queued_node>& queue) {
        if (!head.interior()) return "not a b-tree page (type byte " + hex_byte(head.type) + ")";
        if (!visited_.insert(child).second) return "reached a second time (a loop or a shared page)";
        if (depth >= kMaxTreeDepth) return "deeper than " + std::to_string(kMaxTreeDepth) + " levels";
        if (parsed_ >= page_count_) return "more interior pages than the file has pages";
        ++parsed_;
        sqlite_artifact inner;
        if (!parse_interior(inner, (child - 1) * page_size_, "interior page"))
            return "its child list does not decode";
        queue.push_back(queued_node{std::move(inner), depth});
        return std::string();
    }

    void skip(std::uint64_t page, std::uint64_t offset, const std::string& what, const std::string& why,
              const std::string& cells = std::string()) const {
        if (reporter_ == nullptr) return;
        reporter_->skipped(make_skipped_span(page, offset, page_size_, what, why, cells));
    }

    uni::fileio& file_;
    const std::uint32_t page_size_;
    const std::uint64_t page_count_;
    const text_encoding encoding_;
    const std::uint8_t reserved_;
    skip_reporter* const reporter_;
    std::map<std::uint64_t, sqlite_artifact>* const record_;  // every interior page parsed, when given
    const std::set<std::uint64_t>* const refused_;            // links the tree check refused, when given
    std::vector<std::uint8_t> buf_;                           // the page last read
    std::set<std::uint64_t> visited_;                         // interior pages already parsed
    std::uint64_t parsed_ = 0;
};

}  // namespace

std::uint64_t child_link_of(const sqlite_artifact& node, const sqlite_ptr_artifact& entry) {
    return entry.file_offset != 0 ? entry.file_offset : right_child_link(node.file_offset);
}

std::uint64_t right_child_link(std::uint64_t page_offset) { return page_offset + kRightChildOffset; }

std::uint64_t walk_page_count(const uni::fileio& file, std::uint32_t page_size) {
    return page_size == 0 ? 0 : (file.size() + page_size - 1) / page_size;
}

bool read_walk_page(uni::fileio& file, std::uint64_t page, std::uint32_t page_size, std::uint8_t* buf) {
    if (page == 0 || page_size == 0) return false;
    const std::uint64_t offset = (page - 1) * page_size;
    if (offset >= file.size()) return false;
    const std::uint64_t held = std::min<std::uint64_t>(page_size, file.size() - offset);
    if (held < page_size) std::memset(buf + held, 0, page_size - held);
    return read_file_exact(file, offset, static_cast<std::uint32_t>(held), buf);
}

std::string child_page_fault(std::uint64_t child, std::uint64_t page_count) {
    if (child == 0) return "child page number 0 is no page";
    if (child > page_count)
        return "child page number " + std::to_string(child) + " is past the end of the file (" +
               std::to_string(page_count) + " pages)";
    return std::string();
}

int collect_btree_interior_pages(std::vector<sqlite_artifact>& out,
                                 std::map<std::uint64_t, sqlite_artifact>& by_offset, uni::fileio& file,
                                 std::uint64_t root_offset, std::uint32_t page_size, bool do_not_record,
                                 text_encoding encoding, skip_reporter* reporter,
                                 const std::set<std::uint64_t>* refused, std::uint8_t reserved) {
    out.clear();
    by_offset.clear();
    if (page_size == 0 || !file.is_valid()) return 0;
    interior_walk walk(file, page_size, encoding, reserved, reporter, do_not_record ? nullptr : &by_offset,
                       refused);
    sqlite_artifact root;
    if (!walk.read_root(root, root_offset)) return 0;
    std::deque<queued_node> queue;
    queue.push_back(queued_node{std::move(root), 0});
    while (!queue.empty()) {
        queued_node item = std::move(queue.front());
        queue.pop_front();
        walk.sort_children(item, queue);
        // Interior children left the list, which keeps only leaves.
        if (!item.node.cells.empty()) out.push_back(std::move(item.node));
    }
    return out.empty() ? 0 : 1;
}

int walk_table_pages(artifact_map& table_rows, artifact_map& index_rows, artifact_map& other,
                     const std::vector<sqlite_artifact>& interiors, uni::fileio& file,
                     std::uint32_t page_size, bool table_rows_only, text_encoding encoding,
                     bool follow_overflow, std::uint8_t reserved) {
    table_rows.clear();
    index_rows.clear();
    other.clear();
    if (interiors.empty() || !file.is_valid() || page_size == 0) return 0;
    const std::uint64_t page_count = file.size() / page_size;
    std::vector<std::uint8_t> buf(page_size);
    std::set<std::uint64_t> visited;  // leaves already read
    artifact_map found;
    leaf_page_options leaf(page_size, follow_overflow ? &file : nullptr);
    leaf.encoding = encoding;
    leaf.reserved = reserved;
    for (const sqlite_artifact& node : interiors) {
        for (const auto& entry : node.cells) {
            const std::uint64_t child = child_page_of(entry.second);
            if (!visited.insert(child).second) continue;
            if (!read_page(file, child, page_size, page_count, buf)) continue;
            const std::uint64_t offset = (child - 1) * page_size;
            // A leaf that does not parse is skipped; its siblings may still hold rows.
            if (!parse_table_page(found, buf.data(), page_size, offset, offset, leaf)) continue;
            for (auto& a : found) {
                if (a.second.kind == kArtifactTableRows) {
                    table_rows.emplace(a.first, std::move(a.second));
                } else if (table_rows_only) {
                    continue;
                } else if (a.second.kind == kArtifactIndexRows) {
                    index_rows.emplace(a.first, std::move(a.second));
                } else {
                    other.emplace(a.first, std::move(a.second));
                }
            }
        }
    }
    if (!table_rows.empty()) return 1;
    if (table_rows_only) return 0;
    return !other.empty() || !index_rows.empty() ? 1 : 0;
}
