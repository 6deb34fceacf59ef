#include "sqlite_format/artifacts.h"

void sqlite_row_artifact::clear() {
    base_rowdata::clear();
    rowid = file_offset = payload_page_offset = payload_file_offset = page_number = 0;
    cell = cell_metadata();
    header_bytes.clear();
    user_value = 0;
}

void sqlite_ptr_artifact::clear() {
    base_rowdata::clear();
    page_offset = file_offset = 0;
    cell = cell_metadata();
    for (std::uint64_t& v : values) v = 0;
    chunks.clear();
    state = 1;
}

void sqlite_artifact::clear() {
    kind = file_offset = page_number = root_page = without_rowid = 0;
    name.clear();
    table_name.clear();
    sql.clear();
    sql_lower.clear();
    cell = cell_metadata();
    rows.clear();
    cells.clear();
    bytes.clear();
}

void sqlite_db_extract::clear() {
    header_bytes.clear();
    unparsed.clear();
    other.clear();
    indexes.clear();
    tables.clear();
    interior.clear();
    unbound.clear();
    page_size = 0;
    reserved = header_known = 0;
    file_size = 0;
    path.clear();
}

bool _special_sorted_pattern::operator<(const _special_sorted_pattern& other) const {
    if (bytes.size() != other.bytes.size()) return bytes.size() < other.bytes.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned a = bytes[i] >> 4, b = other.bytes[i] >> 4;
        if (a != b) return a < b;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned a = bytes[i] & 0xF, b = other.bytes[i] & 0xF;
        if (a != b) return a < b;
    }
    return false;
}

namespace {

// Serial types 0-11 are their own class; blobs are 12 and texts 13 whatever their length.
unsigned serial_type_class(std::uint64_t t) {
    if (t < 12) return static_cast<unsigned>(t);
    return (t & 1) ? 13 : 12;
}

}  // namespace

std::uint8_t pack_serial_type_code(std::uint64_t serial_type, unsigned run_length) {
    return static_cast<std::uint8_t>(((run_length & 0xF) << 4) | serial_type_class(serial_type));
}

std::vector<std::uint64_t> stored_serial_types(const std::uint8_t* header, std::size_t length) {
    std::vector<std::uint64_t> types;
    const byte_view b(header, length);
    std::size_t pos = 1;
    while (pos < b.size) {
        std::uint64_t v;
        std::uint32_t n;
        if (!read_varint_complete(b, pos, &v, &n)) break;
        types.push_back(v);
        pos += n;
    }
    return types;
}

std::vector<std::uint8_t> compress_serial_types(const std::vector<std::uint64_t>& serial_types) {
    std::vector<std::uint8_t> out;
    unsigned run = 0;
    unsigned cls = 0;
    for (std::uint64_t t : serial_types) {
        const unsigned c = serial_type_class(t);
        // A run stops at 15: the high four bits hold no more, so a longer run continues in a new byte.
        if (run != 0 && c == cls && run < 15) {
            ++run;
            continue;
        }
        if (run != 0) out.push_back(static_cast<std::uint8_t>((run << 4) | cls));
        cls = c;
        run = 1;
    }
    if (run != 0) out.push_back(static_cast<std::uint8_t>((run << 4) | cls));
    return out;
}

bool header_pattern_of_record(std::vector<std::uint8_t>& out, const sqlite_metadata& record) {
    out = compress_serial_types(stored_serial_types(record.header_bytes.data(), record.header_bytes.size()));
    return !out.empty();
}

bool record_pattern(std::vector<std::uint8_t>& prefix, std::vector<std::uint8_t>& prefix_and_pattern,
                    const sqlite_metadata& record) {
    prefix.clear();
    prefix_and_pattern.clear();
    if (record.table_kind != 0) {
        unsigned bit = 0;
        while (((record.table_kind >> bit) & 1u) == 0) ++bit;
        prefix.push_back(static_cast<std::uint8_t>(bit + 1));
    }
    if (record.column_mask != 0)
        for (unsigned i = 0; i < 4; ++i)
            prefix.push_back(static_cast<std::uint8_t>(record.column_mask >> (8 * i)));
    std::string sig;
    for (char c : record.signature_text)
        if (c != '-') sig.push_back(c);
    prefix.push_back(static_cast<std::uint8_t>(sig.size()));
    for (char c : sig) prefix.push_back(static_cast<std::uint8_t>(c - 'a'));
    std::vector<std::uint8_t> pattern;
    if (!record.header_bytes.empty() && header_pattern_of_record(pattern, record)) {
        prefix_and_pattern = prefix;
        prefix_and_pattern.insert(prefix_and_pattern.end(), pattern.begin(), pattern.end());
    }
    return prefix.size() > 1;
}

sqlite_metadata_ex::sqlite_metadata_ex(const sqlite_metadata& record, unsigned list, int pattern_kind) {
    if (list >= 1 && list <= 3) {
        lists[list - 1].push_back(record);
        rowids[list - 1][record.rowid].push_back(lists[list - 1].size() - 1);
    }
    header_lengths[record.header_bytes.size()] = 1;
    if (pattern_kind == 2 || pattern_kind == 4) {
        record_pattern(prefix, prefix_and_pattern, record);
        if (prefix_and_pattern.size() > prefix.size()) {
            patterns.clear();
            patterns.insert(_special_sorted_pattern(std::vector<std::uint8_t>(
                prefix_and_pattern.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                prefix_and_pattern.end())));
        }
    }
}

void sqlite_metadata_ex::clear() {
    for (auto& l : lists) l.clear();
    for (auto& m : rowids) m.clear();
    prefix.clear();
    prefix_and_pattern.clear();
    patterns.clear();
    pattern_text.clear();
    header_lengths.clear();
}

void diags_container::clear() {
    identifier = 0;
    name.clear();
    for (auto& s : rowids) s.clear();
    for (auto& c : counts) c = 0;
    groups.clear();
}
