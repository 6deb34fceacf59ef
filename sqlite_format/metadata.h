// The record base `sqlite_metadata` of every record read from a database (its source codes and their
// labels are in record_source.h), the operations that stamp a record with its table's identity and those
// that hand a row of column texts to the record's own filler; and `recovered_record`, one carved record.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sqlite_format/layout.h"
#include "sqlite_format/record_source.h"
#include "sqlite_format/table_schema.h"

// One carved record: the fields of a table_record, then the carving's own.
class recovered_record : public table_record {
  public:
    std::uint32_t flags = 0;        // bits 2 and up: the source code (flags = code * 4)
    std::uint8_t truncated = 0;     // 1 when the data ran out before the last column
    std::uint32_t table_kind = 0;   // the classifier's tag of the candidate (the table its header matched)
    std::uint8_t column_count = 0;  // serial types in the record header; 0 when not known
    std::uint64_t carried = 0;      // carried from the candidate (the column mask of the classifier)
    // How its texts are stored: the classifier's, carried from the candidate; its values are decoded in it.
    text_encoding texts = text_encoding::utf8;
    // How the walk decoded it (classify_chunk), so that it can be decoded again from its file: the bytes from
    // record_offset the decode could take and the serial types it read.
    std::uint32_t decode_length = 0;
    std::uint32_t decode_columns = 0;
    // Non-zero where the walk left the values undecoded (a table kind it was told to defer): how many the
    // record has. `values` and `column_flags` are then empty and `truncated` is not known.
    std::uint32_t deferred_values = 0;

    unsigned source_code() const { return flags >> kSourceShift; }
};

// The base of every record that comes out of a database, whichever way it was read.
class sqlite_metadata {
  public:
    std::int64_t identifier = -1;            // set by the derived classes
    std::uint64_t recovered = 0;             // 1 when the own reader gave it (recovered, or "-carve" live)
    std::uint64_t record_offset = 0;         // file offset of the record, 0 = none
    std::uint32_t flags = 0;                 // bits 2 and up: source code
    std::vector<std::uint8_t> header_bytes;  // the record header as stored, empty when unknown
    std::uint64_t column_mask = 0;           // one bit per table field present
    std::uint8_t truncated = 0;              // 1 when the record was cut short
    std::uint32_t table_kind = 0;            // 1, 2, 4, 8 for the four notification tables
    std::uint64_t rowid = 0;                 // the record's rowid
    std::uint64_t fingerprint[2] = {0, 0};   // value fingerprint, compared by the cross-check
    std::string value_text;                  // set by the derived classes, printed by the cross-check
    std::string signature_text;              // the table's field abbreviations
    std::string signature_digest_text;       // the table schema's digest in GUID form

    sqlite_metadata() { reset(); }
    sqlite_metadata(const sqlite_metadata&) = default;
    sqlite_metadata& operator=(const sqlite_metadata&) = default;
    sqlite_metadata(sqlite_metadata&&) noexcept = default;
    sqlite_metadata& operator=(sqlite_metadata&&) noexcept = default;
    virtual ~sqlite_metadata() = default;

    // Gives every field its initial value (identifier -1, everything else zero or empty).
    void reset();
    unsigned source_code() const { return flags >> kSourceShift; }

    // Fill a record from column texts; the base refuses every row (0).
    virtual int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                                std::uint64_t record_offset, std::uint64_t column_mask, int minimum_count,
                                unsigned source_code);
    virtual int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                                   std::vector<unsigned>& column_flags, bool flag,
                                   std::uint64_t record_offset, std::uint64_t column_mask, int minimum_count,
                                   unsigned source_code);
    virtual int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                                std::uint64_t record_offset, std::uint64_t column_mask, std::uint64_t extra,
                                int minimum_count, unsigned source_code);
    virtual int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                                   std::vector<unsigned>& column_flags, bool flag,
                                   std::uint64_t record_offset, std::uint64_t column_mask,
                                   std::uint64_t extra, int minimum_count, unsigned source_code);

    // {name={"src":"...", "record offset":"0x..", "truncated":"true", "rowid":N}}; see the .cpp.
    virtual void output_extra_data(std::ostream& os, const std::string& name, bool braces, bool with_offset,
                                   bool with_rowid, bool with_source);
    // {name={"rowid":N}}
    virtual void output_rowid_data(std::ostream& os, const std::string& name, bool braces);
};

// The text output_extra_data writes for the base part of a record.
std::string extra_data_text(const sqlite_metadata& record, const std::string& name, bool braces,
                            bool with_offset, bool with_rowid, bool with_source);
// The same text appended to `out`.
void append_extra_data_text(std::string& out, const sqlite_metadata& record, const std::string& name,
                            bool braces, bool with_offset, bool with_rowid, bool with_source);

// Stamps a record with its table's identity: a non-zero mask, the table kind, the signature text
// and a non-empty digest text.
void set_metadata_from_schema(sqlite_metadata& record, std::uint64_t column_mask, std::uint32_t table_kind,
                              const table_schema& schema);
// The same with the schema's signature text (schema_signature_text) worked out once by the caller, for
// the rows of one table read in a row.
void set_metadata_from_schema(sqlite_metadata& record, std::uint64_t column_mask, std::uint32_t table_kind,
                              const table_schema& schema, const std::string& signature_text);
// The signature text of a schema: its field abbreviations, lower-cased.
std::string schema_signature_text(const table_schema& schema);
// The same for the fields `column_mask` counts (as a row that map_row_columns gave that mask is stamped).
std::string schema_signature_text(const table_schema& schema, std::uint64_t column_mask);
// The same for a recovered record, also taking its header bytes, rowid and truncated flag.
void set_metadata_from_row_artifact(sqlite_metadata& record, const recovered_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema);
void set_metadata_from_row_artifact(sqlite_metadata& record, const recovered_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema, const std::string& signature_text);
// The same for a row of the own table walk, taking its header bytes and rowid.
void set_metadata_from_table_record(sqlite_metadata& record, const table_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema);
void set_metadata_from_table_record(sqlite_metadata& record, const table_record& row,
                                    std::uint64_t column_mask, std::uint32_t table_kind,
                                    const table_schema& schema, const std::string& signature_text);

// Hands all columns in order to the record's populate_record; its result as a byte.
std::uint8_t populate_record_from_strings(sqlite_metadata& record, const std::vector<std::string>& columns,
                                          bool flag, std::uint64_t record_offset, std::uint64_t column_mask,
                                          unsigned source_code);
// Hands the columns to populate_record in the order of the schema's field map (rebuilt when the
// mask or the column count changed). 0 when there are more columns than fields.
int populate_record_mapped(sqlite_metadata& record, const std::vector<std::string>& columns, bool flag,
                           std::uint64_t record_offset, std::uint64_t column_mask_hint, unsigned source_code,
                           table_schema& schema);
// How the values of a row of `count` columns map to the schema's fields, without changing the schema (a
// function of its fields and `count`): in `order` the indices of the values to hand over, in field-bit order,
// and in `fill_mask` the mask to fill with (`column_mask_hint` where no field maps); false when the row is
// refused (no values, more values than fields). populate_record_in_order then fills the record.
bool map_row_columns(const table_schema& schema, std::size_t count, std::uint64_t column_mask_hint,
                     std::vector<std::uint32_t>& order, std::uint64_t& fill_mask);
int populate_record_in_order(sqlite_metadata& record, const std::vector<std::string>& columns,
                             const std::vector<std::uint32_t>& order, bool flag, std::uint64_t record_offset,
                             std::uint64_t fill_mask, unsigned source_code);
// As populate_record_mapped for a recovered record; populate_record_ex when it has column flags.
int populate_record_from_row(sqlite_metadata& record, const recovered_record& row, bool flag,
                             table_schema& schema);
// What populate_record_from_row does to `schema` for a row of `count` values carrying the mask `carried`,
// without a record: the field map made ready as it makes it. False where it would hand the record no value
// (no values, more values than fields, no field of the map among the values); the record's own filler may
// still refuse a row it is handed.
bool prepare_row_schema(table_schema& schema, std::size_t count, std::uint64_t carried);
// All columns of a recovered record in order, without a schema.
int populate_record_from_row_unmapped(sqlite_metadata& record, const recovered_record& row, bool flag);

// Record output helpers.
int constant_column_text(std::string& out, std::uint32_t code);
void write_trunc_state(const sqlite_metadata& record, std::ostream& os);
void write_record_indent(std::ostream& os, unsigned n);
void write_printable_prefix(std::ostream& os, const std::string& text, std::size_t n);
std::size_t match_digit_text(const std::uint8_t* bytes, std::size_t length, const std::string& digits);
void write_hex_value(std::ostream& os, std::uint64_t value);
void write_column_type_label(std::ostream& os, std::uint32_t code, std::uint32_t size);
void write_printable_or_hex(std::ostream& os, const std::uint8_t* bytes, std::size_t n);
int write_letter_pairs(std::ostream& os, const std::vector<std::uint8_t>& pattern, int kind);
