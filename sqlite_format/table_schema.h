// A table's layout parsed from its CREATE TABLE text (`table_schema`, one `table_field` per column)
// and `table_record`, one row of the own table walk as text values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "common/digest.h"

// Type classes of a column.
constexpr std::uint32_t kFieldInteger = 16;
constexpr std::uint32_t kFieldText = 32;
constexpr std::uint32_t kFieldBlob = 64;
constexpr std::uint32_t kFieldReal = 128;
constexpr std::uint32_t kFieldNumeric = 256;

// Column constraint flags.
constexpr std::uint32_t kFieldNotNull = 1;
constexpr std::uint32_t kFieldPrimaryKey = 2;
constexpr std::uint32_t kFieldAutoincrement = 4;
constexpr std::uint32_t kFieldDefault = 8;

// Returned by rowid_alias_column for a table whose rowid no column stands for.
constexpr std::size_t kNoRowidAlias = static_cast<std::size_t>(-1);

// One column of a table.
class table_field {
  public:
    std::string definition;         // the column's text as split from the statement
    std::string name;               // the name as written, without brackets
    std::string name_lower;         // the name lower-cased
    std::uint32_t type_class = 0;   // kField* type class, 0 before classification
    std::uint32_t constraints = 0;  // kField* constraint flags
    std::string default_value;      // text after DEFAULT, quotes removed
    std::uint8_t optional = 0;      // set by the schema's user: the column may be missing
    std::uint8_t present = 0;       // set by the schema's user: the column takes part in the field map
    std::uint64_t column_bit = 0;   // set by the schema's user: the column's bit in a column mask
    std::uint64_t user_value = 0;   // kept for the schema's user

    void clear();
};

// A table's columns and identity.
class table_schema {
  public:
    std::string name;                                  // table name, brackets and quotes removed
    std::vector<table_field> fields;                   // columns in statement order
    std::uint32_t index_flag = 0;                      // 1 when the text was a CREATE INDEX statement
    std::uint64_t column_mask = 0;                     // mask the field map was built for
    std::uint32_t column_count = 0;                    // column count the field map was built for
    std::map<std::uint64_t, std::uint32_t> field_map;  // column bit -> column index
    std::uint8_t without_rowid = 0;                    // 1 for a WITHOUT ROWID table
    std::size_t rowid_alias = kNoRowidAlias;           // rowid_alias_column of the statement
    _16_byte_block signature_digest;                   // digest of the signature text
    std::string signature_digest_text;                 // that digest in GUID form

    table_schema() { clear(); }
    void clear();

    // Number of fields a row must have at least: every field less the optional ones.
    int min_fields() const;

    // Writes the first `chars_per_field` characters of each (lower-cased) field name joined by "-";
    // only the fields the cached column mask counts when it counts fewer than all.
    void output_schema_fields_abbreviations(std::ostream& os, int chars_per_field) const;
    // The same for the fields `mask` counts instead of the cached column mask.
    void output_schema_fields_abbreviations(std::ostream& os, int chars_per_field, std::uint64_t mask) const;
};

// One row of the own table walk.
class table_record {
  public:
    std::vector<std::string> values;          // column values
    std::vector<std::uint32_t> column_flags;  // one word per column (bit 28: value continues on overflow)
    std::uint64_t rowid = 0;                  // the row's rowid
    std::uint64_t record_offset = 0;          // file offset of the cell
    std::uint64_t position = 0;               // position of the record within the buffer searched
    std::vector<std::uint8_t> header_bytes;   // the record header as stored
    std::uint32_t prefix_flag = 0;            // 0 when a cell prefix precedes the record

    table_record() = default;
    table_record(const std::vector<std::string>& column_values, std::uint64_t row_id, std::uint64_t offset)
        : values(column_values), rowid(row_id), record_offset(offset) {}
};

// Bit 28 of a column flag: the value continues on an overflow page.
constexpr std::uint32_t kColumnOverflowFlag = 1u << 28;

// True when a lower-cased CREATE TABLE text declares a table WITHOUT ROWID.
bool declares_without_rowid(const std::string& sql_lower);

// The column (its place among the columns of the CREATE TABLE statement) that stands for the rowid, as
// SQLite takes it: the table's one primary-key column, declared exactly INTEGER (not INTEGER PRIMARY KEY
// DESC, which SQLite keeps as a column of its own). Its record holds NULL there, and the library gives the
// row's rowid wherever that column stands. kNoRowidAlias for a table WITHOUT ROWID, one whose key is another
// type or several columns, or a statement that does not read.
std::size_t rowid_alias_column(const std::string& statement);

// Parses a CREATE TABLE statement from `start`. *keyword_end is the index just after "create
// table". With `guid_as_blob` a "guid" column is a blob, else text. Returns 1 when at least one
// column was kept; fields added before a failure stay in the schema.
int parse_table_schema(table_schema& schema, std::uint32_t* keyword_end, const std::string& statement,
                       std::uint32_t start, std::uint8_t guid_as_blob);

// Returned by find_table_schema when no entry names the table.
constexpr std::size_t kNoTableSchema = static_cast<std::size_t>(-1);

// Finds the table `name` (in any case) in a schema table's listing, `names` and `statements` side by side
// as read_master_table gives them, and parses its statement into `schema` (guid columns as blobs): the first
// entry so named whose statement gives a column, failing that the first so named, parsed as it stands.
// Returns that entry's index; kNoTableSchema, `schema` untouched, when no entry names the table.
std::size_t find_table_schema(table_schema& schema, const std::vector<std::string>& names,
                              const std::vector<std::string>& statements, const std::string& name);
