#include "notifications/notification_row.h"

#include "sqlite_format/format.h"
#include "sqlite_format/metadata.h"

namespace {

// The reused record back to a new record's state, its texts keeping their storage (a copy from an empty
// record reuses it; a move would not).
void reset_scratch(notification_record& n) {
    static const notification_record empty;
    n = empty;
}

}  // namespace

bool notification_row_filler::refuses(const notification_row& row) const {
    return row.walked == nullptr && (row.count < count_bits60(mask) || row.values == nullptr);
}

bool notification_row_filler::fill(notification_record& n, const notification_row& row) const {
    reset_scratch(n);
    n.payload_reference_from = large_value;
    return fill_columns(n, row, ~std::uint64_t{0}, true);
}

bool notification_row_filler::fill_through_handler(notification_record& n,
                                                   const notification_row& row) const {
    // A row's values are taken in column order, so the columns before HandlerId place it as a whole fill
    // does. Only the columns filled start afresh: resetting the whole record would cost more than the fill.
    n.order = n.id = n.handler_id = 0;
    return fill_columns(n, row, column_bit(kNotificationHandlerId + 1) - 1, false);
}

bool notification_row_filler::fill_columns(notification_record& n, const notification_row& row,
                                           std::uint64_t columns, bool stamp) const {
    if (row.walked != nullptr) {
        const table_record& walked = *row.walked;
        if (!populate_record_in_order(n, walked.values, row.columns->order, true, walked.record_offset,
                                      row.columns->fill_mask & columns, source_code))
            return false;
        if (stamp)
            set_metadata_from_table_record(n, walked, mask, kTableNotification, *schema,
                                           row.columns->signature);
        return true;
    }
    // The count a whole row must have, also when fewer columns are filled.
    if (!n.populate_record(row.count, row.values, *row.sizes, false, 0, mask & columns, count_bits60(mask),
                           source_code))
        return false;
    if (stamp) set_metadata_from_schema(n, mask, kTableNotification, *schema, signature);
    return true;
}

bool row_column_map::map(const table_schema& schema, std::size_t columns, std::uint64_t mask_hint) {
    if (known && columns == count) return true;
    count = columns;
    known = map_row_columns(schema, columns, mask_hint, current.order, current.fill_mask);
    if (known) current.signature = schema_signature_text(schema, current.fill_mask);
    return known;
}
