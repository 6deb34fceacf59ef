#include "sqlite_format/metadata.h"

#include <iomanip>
#include <sstream>

#include "common/case_conv.h"
#include "common/hex_text.h"
#include "common/string_lists.h"
#include "sqlite_format/record.h"

// ---------------------------------------------------------------------------------------------
// sqlite_metadata

void sqlite_metadata::reset() {
    identifier = -1;
    recovered = 0;
    record_offset = 0;
    flags = 0;
    header_bytes.clear();
    column_mask = 0;
    truncated = 0;
    table_kind = 0;
    rowid = 0;
    fingerprint[0] = fingerprint[1] = 0;
    value_text.clear();
    signature_text.clear();
    signature_digest_text.clear();
}

int sqlite_metadata::populate_record(int, char**, std::vector<unsigned>&, bool, std::uint64_t, std::uint64_t,
                                     int, unsigned) {
    return 0;
}

int sqlite_metadata::populate_record_ex(int, char**, std::vector<unsigned>&, std::vector<unsigned>&, bool,
                                        std::uint64_t, std::uint64_t, int, unsigned) {
    return 0;
}

int sqlite_metadata::populate_record(int, char**, std::vector<unsigned>&, bool, std::uint64_t, std::uint64_t,
                                     std::uint64_t, int, unsigned) {
    return 0;
}

int sqlite_metadata::populate_record_ex(int, char**, std::vector<unsigned>&, std::vector<unsigned>&, bool,
                                        std::uint64_t, std::uint64_t, std::uint64_t, int, unsigned) {
    return 0;
}

void sqlite_metadata::output_extra_data(std::ostream& os, const std::string& name, bool braces,
                                        bool with_offset, bool with_rowid, bool with_source) {
    os << extra_data_text(*this, name, braces, with_offset, with_rowid, with_source) << std::dec;
}

std::string extra_data_text(const sqlite_metadata& record, const std::string& name, bool braces,
                            bool with_offset, bool with_rowid, bool with_source) {
    std::string out;
    append_extra_data_text(out, record, name, braces, with_offset, with_rowid, with_source);
    return out;
}

void append_extra_data_text(std::string& out, const sqlite_metadata& record, const std::string& name,
                            bool braces, bool with_offset, bool with_rowid, bool with_source) {
    if (braces) out += '{';
    if (!name.empty()) out += name + "={";
    const char* joiner = "";
    if (with_source) {
        out += joiner;
        out += "\"src\":\"";
        out += record_source_label(record.source_code());
        out += '"';
        joiner = "; ";
    }
    if (with_offset && record.record_offset != 0) {
        std::string hex;
        number_to_text(hex, record.record_offset, true, 1);  // width 1: the digits as they are, no zero fill
        out += joiner;
        out += "\"record offset\":\"";
        out += hex;
        out += '"';
        joiner = "; ";
    }
    if (record.truncated) {
        out += joiner;
        out += "\"truncated\":\"true\"";
        joiner = "; ";
    }
    if (with_rowid) {
        out += joiner;
        out += "\"rowid\":" + std::to_string(record.rowid);
    }
    if (!name.empty()) out += '}';
    if (braces) out += '}';
}

void sqlite_metadata::output_rowid_data(std::ostream& os, const std::string& name, bool braces) {
    if (braces) os << "{";
    os << name << "={\"rowid\":" << std::dec << rowid << "}";
    if (braces) os << "}";
}

// ---------------------------------------------------------------------------------------------
// Stamping a record with its table.

namespace {

std::string signature_of(const table_schema& schema) {
    std::ostringstream os;
    schema.output_schema_fields_abbreviations(os, 2);
    std::string s = os.str();
    string_to_lower(s);
    return s;
}

struct c_arrays {
    std::vector<char*> pointers;
    std::vector<unsigned> lengths;
};

// The columns as C arrays in the given order (all columns in order when `order` is empty); an empty column
// is a null pointer, as SQL NULL reaches the fillers.
bool build_arrays(c_arrays& out, const std::vector<std::string>& columns,
                  const std::map<std::uint64_t, std::uint32_t>* order) {
    if (columns.empty()) return false;
    out.pointers.reserve(columns.size());
    out.lengths.reserve(columns.size());
    // The fillers take char** but only read: the pointers refer to the caller's strings.
    auto add = [&out](const std::string& column) {
        out.pointers.push_back(column.empty() ? nullptr : const_cast<char*>(column.data()));
        out.lengths.push_back(static_cast<unsigned>(column.size()));
    };
    if (!order || order->empty()) {
        for (const std::string& column : columns) add(column);
        return true;
    }
    for (const auto& entry : *order) {
        if (entry.second >= columns.size()) continue;  // an entry for a column this row lacks
        add(columns[entry.second]);
    }
    return !out.pointers.empty();
}

// Rebuilds or reuses the schema's field map for `count` columns; the mask to hand on.
std::uint64_t prepare_field_map(table_schema& schema, std::size_t count, std::uint64_t mask_hint) {
    if (!schema.field_map.empty() && mask_hint == schema.column_mask && count == schema.column_count)
        return mask_hint;
    schema.field_map.clear();
    std::uint64_t mask = 0;
    std::uint32_t next = 0;
    for (const table_field& f : schema.fields) {
        if (next >= count) break;
        if (!f.present) continue;
        schema.field_map[f.column_bit] = next++;
        mask |= f.column_bit;
    }
    // The top byte of a stored mask carries flags of the schema's user; keep them.
    if ((schema.column_mask >> 56) != 0) mask |= schema.column_mask & 0xFF00000000000000ull;
    if (schema.field_map.empty()) return mask_hint;
    schema.column_mask = mask;
    schema.column_count = static_cast<std::uint32_t>(count);
    return mask;
}

}  // namespace

std::string schema_signature_text(const table_schema& schema) { return signature_of(schema); }

std::string schema_signature_text(const table_schema& schema, std::uint64_t column_mask) {
    std::ostringstream os;
    schema.output_schema_fields_abbreviations(os, 2, column_mask);
    std::string s = os.str();
    string_to_lower(s);
    return s;
}

void set_metadata_from_schema(sqlite_metadata& record, std::uint64_t column_mask, std::uint32_t table_kind,
                              const table_schema& schema, const std::string& signature_text) {
    if (column_mask != 0) record.column_mask = column_mask;
    record.table_kind = table_kind;
    record.signature_text = signature_text;
    if (!schema.signature_digest_text.empty()) record.signature_digest_text = schema.signature_digest_text;
}

void set_metadata_from_schema(sqlite_metadata& record, std::uint64_t column_mask, std::uint32_t table_kind,
                              const table_schema& schema) {
    set_metadata_from_schema(record, column_mask, table_kind, schema, signature_of(schema));
}

void set_metadata_from_row_artifact(sqlite_metadata& record, const recovered_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema, const std::string& signature_text) {
    if (!row.header_bytes.empty()) record.header_bytes = row.header_bytes;
    if (row.rowid != 0) record.rowid = row.rowid;
    record.truncated = row.truncated;
    set_metadata_from_schema(record, column_mask, table_kind, schema, signature_text);
}

void set_metadata_from_row_artifact(sqlite_metadata& record, const recovered_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema) {
    set_metadata_from_row_artifact(record, row, column_mask, table_kind, schema, signature_of(schema));
}

void set_metadata_from_table_record(sqlite_metadata& record, const table_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema, const std::string& signature_text) {
    if (!row.header_bytes.empty()) record.header_bytes = row.header_bytes;
    if (row.rowid != 0) record.rowid = row.rowid;
    set_metadata_from_schema(record, column_mask, table_kind, schema, signature_text);
}

void set_metadata_from_table_record(sqlite_metadata& record, const table_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema) {
    set_metadata_from_table_record(record, row, column_mask, table_kind, schema, signature_of(schema));
}

// ---------------------------------------------------------------------------------------------
// Handing rows to the record's filler.

std::uint8_t populate_record_from_strings(sqlite_metadata& record, const std::vector<std::string>& columns,
                                          bool flag, std::uint64_t record_offset, std::uint64_t column_mask,
                                          unsigned source_code) {
    c_arrays a;
    if (!build_arrays(a, columns, nullptr)) return 0;
    const int r =
        record.populate_record(static_cast<int>(columns.size()), a.pointers.data(), a.lengths, flag,
                               record_offset, column_mask, static_cast<int>(a.lengths.size()), source_code);
    return static_cast<std::uint8_t>(r);
}

bool map_row_columns(const table_schema& schema, std::size_t count, std::uint64_t column_mask_hint,
                     std::vector<std::uint32_t>& order, std::uint64_t& fill_mask) {
    order.clear();
    if (count > schema.fields.size()) return false;
    // The field map prepare_field_map builds, made here without storing it.
    std::map<std::uint64_t, std::uint32_t> field_map;
    std::uint64_t mask = 0;
    std::uint32_t next = 0;
    for (const table_field& f : schema.fields) {
        if (next >= count) break;
        if (!f.present) continue;
        field_map[f.column_bit] = next++;
        mask |= f.column_bit;
    }
    if ((schema.column_mask >> 56) != 0) mask |= schema.column_mask & 0xFF00000000000000ull;
    fill_mask = field_map.empty() ? column_mask_hint : mask;
    if (count == 0) return false;
    // No field map: every column in order, as build_arrays takes them.
    if (field_map.empty()) {
        for (std::size_t i = 0; i < count; ++i) order.push_back(static_cast<std::uint32_t>(i));
        return true;
    }
    for (const auto& entry : field_map) {
        if (entry.second < count) order.push_back(entry.second);
    }
    return !order.empty();
}

int populate_record_in_order(sqlite_metadata& record, const std::vector<std::string>& columns,
                             const std::vector<std::uint32_t>& order, bool flag, std::uint64_t record_offset,
                             std::uint64_t fill_mask, unsigned source_code) {
    // Called for every row of a table walk, on the formatter threads too. Not thread_local: one with a
    // destructor makes the C library allocate on a thread's first touch and end the process when it cannot,
    // where these throw std::bad_alloc.
    c_arrays a;
    a.pointers.reserve(order.size());
    a.lengths.reserve(order.size());
    for (const std::uint32_t i : order) {
        if (i >= columns.size()) return 0;
        const std::string& column = columns[i];
        // The fillers take char** but only read: the pointers refer to the caller's strings.
        a.pointers.push_back(column.empty() ? nullptr : const_cast<char*>(column.data()));
        a.lengths.push_back(static_cast<unsigned>(column.size()));
    }
    if (a.pointers.empty()) return 0;
    return record.populate_record(static_cast<int>(a.pointers.size()), a.pointers.data(), a.lengths, flag,
                                  record_offset, fill_mask, static_cast<int>(a.lengths.size()), source_code);
}

int populate_record_mapped(sqlite_metadata& record, const std::vector<std::string>& columns, bool flag,
                           std::uint64_t record_offset, std::uint64_t column_mask_hint, unsigned source_code,
                           table_schema& schema) {
    if (columns.size() > schema.fields.size()) return 0;
    const std::uint64_t mask = prepare_field_map(schema, columns.size(), column_mask_hint);
    if (columns.empty()) return 0;
    std::vector<std::uint32_t> order;  // not thread_local, as in populate_record_in_order
    order.reserve(columns.size());
    if (schema.field_map.empty()) {
        for (std::size_t i = 0; i < columns.size(); ++i) order.push_back(static_cast<std::uint32_t>(i));
    } else {
        for (const auto& entry : schema.field_map)
            if (entry.second < columns.size()) order.push_back(entry.second);
    }
    if (order.empty()) return 0;
    return populate_record_in_order(record, columns, order, flag, record_offset, mask, source_code);
}

int populate_record_from_row(sqlite_metadata& record, const recovered_record& row, bool flag,
                             table_schema& schema) {
    if (row.values.size() > schema.fields.size()) return 0;
    const std::uint64_t mask = prepare_field_map(schema, row.values.size(), row.carried);
    c_arrays a;
    if (!build_arrays(a, row.values, &schema.field_map)) return 0;
    const int count = static_cast<int>(a.pointers.size());
    const int lengths = static_cast<int>(a.lengths.size());
    if (row.column_flags.empty())
        return record.populate_record(count, a.pointers.data(), a.lengths, flag, row.record_offset, mask,
                                      lengths, row.source_code());
    std::vector<unsigned> column_flags(row.column_flags.begin(), row.column_flags.end());
    return record.populate_record_ex(count, a.pointers.data(), a.lengths, column_flags, flag,
                                     row.record_offset, row.carried, lengths, row.source_code());
}

bool prepare_row_schema(table_schema& schema, std::size_t count, std::uint64_t carried) {
    // The steps of populate_record_from_row up to build_arrays, with its refusals.
    if (count > schema.fields.size()) return false;
    (void)prepare_field_map(schema, count, carried);
    if (count == 0) return false;
    if (schema.field_map.empty()) return true;
    for (const auto& entry : schema.field_map)
        if (entry.second < count) return true;
    return false;
}

int populate_record_from_row_unmapped(sqlite_metadata& record, const recovered_record& row, bool flag) {
    c_arrays a;
    if (!build_arrays(a, row.values, nullptr)) return 0;
    const int count = static_cast<int>(a.pointers.size());
    const int lengths = static_cast<int>(a.lengths.size());
    if (row.column_flags.empty())
        return record.populate_record(count, a.pointers.data(), a.lengths, flag, row.record_offset,
                                      row.carried, lengths, row.source_code());
    std::vector<unsigned> column_flags(row.column_flags.begin(), row.column_flags.end());
    return record.populate_record_ex(count, a.pointers.data(), a.lengths, column_flags, flag,
                                     row.record_offset, row.carried, lengths, row.source_code());
}

// ---------------------------------------------------------------------------------------------
// Record output helpers.

int constant_column_text(std::string& out, std::uint32_t code) {
    switch (code & kColKindMask) {
        case kColNull:
            out.clear();
            return 1;
        case kColConst0:
            out = "0";
            return 1;
        case kColConst1:
            out = "1";
            return 1;
        default:
            return 0;
    }
}

void write_trunc_state(const sqlite_metadata& record, std::ostream& os) {
    os << (record.truncated ? "trunc" : "ok");
}

void write_record_indent(std::ostream& os, unsigned n) {
    if (n == 0) return;
    const char fill = os.fill();
    const std::ios::fmtflags flags = os.flags();
    os << std::setfill(' ') << std::setw(static_cast<int>(n)) << ' ';
    os.fill(fill);
    os.flags(flags);
}

void write_printable_prefix(std::ostream& os, const std::string& text, std::size_t n) {
    std::size_t written = 0;
    for (char ch : text) {
        if (written >= n) break;
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 32 && c <= 126) {
            os << ch;
            ++written;
        }
    }
}

std::size_t match_digit_text(const std::uint8_t* bytes, std::size_t length, const std::string& digits) {
    if (!bytes || digits.size() > length) return 0;
    for (std::size_t i = 0; i < digits.size(); ++i)
        if (static_cast<std::uint8_t>(digits[i] - '0') != bytes[i]) return 0;
    return digits.size();
}

void write_hex_value(std::ostream& os, std::uint64_t value) {
    // A sign-extended 32-bit value shows as its 32 bits.
    const bool sign_extended = ((value >> 31) & 0x1FFFFu) == 0x1FFFFu;
    os << std::hex << (sign_extended ? (value & 0xFFFFFFFFu) : value) << std::dec;
}

void write_column_type_label(std::ostream& os, std::uint32_t code, std::uint32_t size) {
    const char* label = nullptr;
    switch (code & kColKindMask) {
        case kColNull:
            os << "null:000";
            break;
        case kColReal:
            os << "real:008";
            break;
        case kColConst0:
            os << "cst0:000";
            break;
        case kColConst1:
            os << "cst1:000";
            break;
        case kColInteger:
            label = (code & 0xFF0u) == kColTimeFlag ? "time:" : "valu:";
            break;
        case kColText:
            label = "strg:";
            break;
        case kColBlob:
            label = "blob:";
            break;
        default:
            label = "unkn:";
            break;
    }
    if (label) os << label << std::dec << std::right << std::setfill('0') << std::setw(3) << size;
    os << std::setfill(' ') << std::left;
}

void write_printable_or_hex(std::ostream& os, const std::uint8_t* bytes, std::size_t n) {
    if (!bytes) return;
    bool any = false;
    for (std::size_t i = 0; i < n; ++i)
        if (bytes[i] >= 32 && bytes[i] <= 126) {
            os << static_cast<char>(bytes[i]);
            any = true;
        }
    if (any) return;
    const char fill = os.fill('0');
    for (std::size_t i = 0; i < n; ++i)
        os << std::hex << std::setw(2) << static_cast<unsigned>(bytes[i]) << ' ';
    os.fill(fill);
    os << std::dec;
}

int write_letter_pairs(std::ostream& os, const std::vector<std::uint8_t>& pattern, int kind) {
    if ((kind != 2 && kind != 4) || pattern.size() < 8 || pattern[5] == 0) return 0;
    const std::size_t pairs = (static_cast<std::size_t>(pattern[5]) + 1) / 2;
    for (std::size_t p = 0; p < pairs; ++p)
        for (std::size_t k = 0; k < 2; ++k) {
            const std::size_t i = 6 + 2 * p + k;
            if (i >= pattern.size()) return 1;  // a count larger than the pattern stops at its end
            os << static_cast<char>('a' + pattern[i]);
        }
    return 1;
}
