// The notification row as either reader hands it on (the library's values, or a row of the own table walk
// with the mapping of its values to the schema's fields), and the filler that makes it a record wherever
// the row pipeline formats it, on the reading thread or a formatter thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "notifications/records.h"
#include "sqlite_format/record_source.h"
#include "sqlite_format/table_schema.h"

// How the values of a row of the own table walk map to the notification schema's fields, as
// map_row_columns gives it for rows of that many values, with the signature text a record of the row is
// stamped with. The walk works it out and hands it on with the row.
struct row_columns {
    std::vector<std::uint32_t> order;  // the values to hand over, in field-bit order
    std::uint64_t fill_mask = 0;       // the mask to fill with
    std::string signature;             // the schema's field abbreviations for that mask
};

// The row_columns of the rows of one walk of a table: a row of as many values as the row before maps as
// that one did (the mapping is a function of the count), so it is worked out again only when the count
// changes.
struct row_column_map {
    row_columns current;  // for rows of `count` values, when `known`
    std::size_t count = 0;
    bool known = false;

    // Maps rows of `columns` values (map_row_columns with `mask_hint`); false when such a row is refused.
    bool map(const table_schema& schema, std::size_t columns, std::uint64_t mask_hint);
};

// One notification row as either reader hands it on, before it is a record: the library's values, or a row
// of the own table walk with the mapping of its values to the schema's fields. It points to what the reader
// holds for the row.
struct notification_row {
    // A row of the library: `count` values (null for SQL NULL) of the lengths in `sizes`.
    int count = 0;
    char** values = nullptr;
    std::vector<unsigned>* sizes = nullptr;
    // A row of the own walk (null for a row of the library) and its column mapping. A receiver may swap the
    // row's values out.
    table_record* walked = nullptr;
    const row_columns* columns = nullptr;
};

// Makes the notification record of a live row of either reader, where the row pipeline fills it: the one
// place a live notification row becomes a record (a recovered one becomes one by fill_recovered_notification,
// recovered_list.h). Only reads what it points to (of the schema, its digest text, which a read does not
// change), so the pipeline may fill rows later, on another thread.
struct notification_row_filler {
    std::uint64_t mask = 0;                   // the notification schema's column mask, stamped on each record
    unsigned source_code = kSourceSqliteLib;  // of the rows: 1 library, 3 own walk, 12 own walk of the log
    const table_schema* schema = nullptr;     // the notification schema
    std::string signature;                    // its signature text, for the library's rows
    // Payload values of at least this many bytes are referenced where the reader holds them, not copied
    // (notification_record::payload_reference_from): the row pipeline sets it and writes such rows at once.
    std::size_t large_value = static_cast<std::size_t>(-1);

    // True when a row of the library is refused before it is filled (fewer values than the mask has bits).
    bool refuses(const notification_row& row) const;
    // Resets `n` and fills it from `row`; false when refused.
    bool fill(notification_record& n, const notification_row& row) const;
    // The same fill of the columns up to HandlerId alone, which is all the width of the padded name column
    // is found from, at a fraction of the cost: `n` then holds those, its other fields left as they were
    // (and no stamp); false when fill refuses the row.
    bool fill_through_handler(notification_record& n, const notification_row& row) const;

  private:
    // Fills `n`, reset by the caller as far as `columns` go, from `row`, of the columns in `columns` only;
    // the record is stamped with its schema when `stamp`.
    bool fill_columns(notification_record& n, const notification_row& row, std::uint64_t columns,
                      bool stamp) const;
};
