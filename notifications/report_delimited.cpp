#include "notifications/report_delimited.h"

#include <new>

#include "common/digest.h"
#include "notifications/row_render.h"
#include "sqlite_format/record_source.h"

namespace {

// Label words: the three tables, the four times.
const char* const kWordNotification = "Notification";
const char* const kWordHandler = "Handler";
const char* const kWordPushChannel = "PushChannel";
const char* const kWordArrival = "ArrivalTime";
const char* const kWordExpiry = "ExpiryTime";
const char* const kWordCreated = "CreatedTime";
const char* const kWordModified = "ModifiedTime";

// Header cell types: time columns are announced as one-column times, every other label as plain text.
constexpr int kHeaderTimeType = 16;

// Row cell types of the delimited row model.
constexpr int kCellFiletime = 13;
constexpr int kCellInt4 = 4;
constexpr int kCellInt8 = 8;
constexpr int kCellText = 11;
constexpr int kCellGuid = 27;

constexpr std::uint64_t kMiscDataWidth = 12;

// A text cell of this many bytes or more goes to the line in pieces from where it is held (the record's
// reader or the store), never copied into the row.
constexpr std::size_t kLargeCellBytes = kLargeRowBytes;

// A text held elsewhere, handed on whole.
class view_text : public text_source {
  public:
    std::string_view text;
    void put_to(text_sink& out) const override { out.put(text.data(), text.size()); }
};

// The settings cell of a handler in pieces: its settings text in brackets.
class settings_cell_text : public text_source {
  public:
    settings_cell_text(const notification_store& store, std::uint64_t handler_id)
        : store_(store), handler_id_(handler_id) {}
    void put_to(text_sink& out) const override {
        out.put('[');
        store_.put_settings_text(out, handler_id_);
        out.put(']');
    }

  private:
    const notification_store& store_;
    std::uint64_t handler_id_;
};

// Counts what it is given.
class length_sink : public text_sink {
  public:
    void put(const char*, std::size_t n) override { length += n; }
    using text_sink::put;
    std::size_t length = 0;
};

// The cells of one row that go to the line in pieces.
class streamed_cells {
  public:
    // Streams the text cell `index` from `text` where it is large, else sets it from the text.
    void set_view(variant_row& row, int index, std::string_view text) {
        if (index < 0 || text.empty()) return;
        if (text.size() < kLargeCellBytes || used_ == kMax) {
            row.set_string_view(index, text, kCellText, 0);
            return;
        }
        views_[used_].text = text;
        add(index, &views_[used_]);
    }
    void add(int index, const text_source* text) {
        if (used_ == kMax) return;
        cells_[used_].index = index;
        cells_[used_].text = text;
        ++used_;
    }
    const streamed_text_cell* cells() const { return cells_; }
    std::size_t count() const { return used_; }

  private:
    static constexpr std::size_t kMax = 12;
    streamed_text_cell cells_[kMax];
    view_text views_[kMax];
    std::size_t used_ = 0;
};
constexpr std::uint64_t kMiscDataSlackWidth = 73;

std::string two_words(const char* table_word, const char* second) {
    return std::string(table_word) + " " + second;
}

// Walks the report's columns in template order; `add` receives each present column with its label, width
// and whether it is a time column, and returns the position it was given.
template <class Add>
delimited_columns walk_columns(bool all_fields, bool incl_settings, std::uint64_t time_width,
                               std::uint64_t app_width, std::uint64_t misc_width, std::uint64_t db_width,
                               Add add) {
    delimited_columns c;
    c.arrival_time = add(two_words(kWordNotification, kWordArrival), time_width, true);
    c.expiry_time = add(two_words(kWordNotification, kWordExpiry), time_width, true);
    c.handler_created = add(two_words(kWordHandler, kWordCreated), time_width, true);
    c.handler_modified = add(two_words(kWordHandler, kWordModified), time_width, true);
    c.channel_created = add(two_words(kWordPushChannel, kWordCreated), time_width, true);
    c.channel_expiry = add(two_words(kWordPushChannel, kWordExpiry), time_width, true);
    c.type = add("Type", 5, false);
    c.app_name = add(std::string("Source of ") + kWordNotification, app_width, false);
    if (all_fields) {
        c.order = add("Order", 6, false);
        c.id = add("Id", 6, false);
        c.handler_id = add("HandlerId", 9, false);
        c.activity_id = add("ActivityId", 36, false);
        c.tag = add("Tag", 12, false);
        c.group = add("Group", 11, false);
        c.data_version = add("DataVersion", 11, false);
        c.payload_type = add("PayloadType", 11, false);
    }
    c.misc_data = add("Misc data", misc_width, false);
    if (all_fields) {
        c.handler_type = add("HandlerType", 16, false);
        c.wnf_event_name = add("WNFEventName", 17, false);
        c.primary_id = add(two_words(kWordHandler, "PrimaryId"), 89, false);
        c.wns_id = add(two_words(kWordHandler, "WNSId"), 13, false);
    }
    c.db = add("DB", db_width, false);
    c.payload = add("Payload", 36, false);
    c.channel_uri = add(two_words(kWordPushChannel, "Uri"), 15, false);
    if (incl_settings) c.settings = add("Settings", 50, false);
    return c;
}

bool all_fields_on(const selk_options& options) { return options.switches[kSwitchAllFields] != 0; }
bool settings_on(const selk_options& options) { return options.switches[kSwitchSettings] != 0; }

bool guid_is_zero(const _16_byte_block& guid) {
    const unsigned char* b = guid.bytes();
    for (int i = 0; i < 16; ++i) {
        if (b[i] != 0) return false;
    }
    return true;
}

}  // namespace

bool is_recovered_record(const sqlite_metadata& record) { return record.recovered != 0; }

std::string record_db_text(const sqlite_metadata& record, const std::string& db_path) {
    if (is_recovered_record(record) && source_in_wal(record.source_code())) return db_path + "-wal";
    return db_path;
}

delimited_columns delimited_column_positions(bool all_fields, bool incl_settings) {
    int next = 0;
    return walk_columns(all_fields, incl_settings, 0, 0, 0, 0,
                        [&next](const std::string&, std::uint64_t, bool) { return next++; });
}

void build_delimited_header_template(selk_run& run) {
    std::vector<qm_variant_lite>& header = run.header_fields;
    header.clear();
    const std::uint64_t time_width = run.options.date_format.size() + run.options.time_format.size() + 2;
    const std::uint64_t misc_width =
        run.options.switches[kSwitchSlack] != 0 ? kMiscDataSlackWidth : kMiscDataWidth;
    walk_columns(all_fields_on(run.options), settings_on(run.options), time_width, run.store.app_name_width,
                 misc_width, run.db_path.size(),
                 [&header](const std::string& label, std::uint64_t width, bool is_time) {
                     if (is_time)
                         header.push_back(qm_variant_lite(label, width, kHeaderTimeType, 0));
                     else
                         header.push_back(qm_variant_lite(label, width));
                     return static_cast<int>(header.size() - 1);
                 });
    if (run.options.no_whitespace || run.options.csv) {
        for (qm_variant_lite& cell : header) cell.width = 0;
    }
}

int write_delimited_header(std::ostream& os, selk_run& run) {
    build_delimited_header_template(run);
    return write_header_row(os, run.options, run.header());
}

int write_delimited_row(std::ostream& os, const report_view& report, const notification_record& n,
                        const handler_entry* handler, const channel_entry* channel) {
    delimited_row_writer writer(report);
    return writer.write(os, report, n, handler, channel);
}

delimited_row_writer::delimited_row_writer(const report_view& report)
    : columns_(delimited_column_positions(all_fields_on(report.options), settings_on(report.options))) {}

int delimited_row_writer::write(std::ostream& os, const report_view& report, const notification_record& n,
                                const handler_entry* handler, const channel_entry* channel) {
    const delimited_columns& c = columns_;
    // Only the cells of "-all_fields" read the record's mask: which of its table's columns the row had.
    const bool all_fields = c.order >= 0 || c.id >= 0 || c.handler_id >= 0;
    const std::uint64_t mask = all_fields ? n.column_mask : 0;
    // "-enable_quoted_csv_fields" leaves separators inside values, so every text cell is quoted instead.
    const std::uint32_t row_flags = report.options.quoted_csv_fields ? kCellQuote : 0;
    const unsigned cells = static_cast<unsigned>(report.header_fields.size());
    variant_row& row = row_;
    if (row.valid != 1 || row.count != cells) {
        row.init(cells, true);
        // The row stays invalid only when its cells cannot be had (a header never has more than a row holds):
        // it would render as nothing, and the record would be left out without a word.
        if (row.valid != 1 && cells != 0) throw std::bad_alloc();
    } else {
        // As a new row of empty texts, with the storage of every cell kept.
        for (qm_variant_lite& cell : row.fields) {
            cell.clear();
            cell.type = 11;
        }
    }
    row.row_flags = row_flags;

    if (n.arrival_time != 0) row.set_u64(c.arrival_time, n.arrival_time, kCellFiletime, kCellRight);
    if (n.expiry_time != 0) row.set_u64(c.expiry_time, n.expiry_time, kCellFiletime, 0);
    if (handler != nullptr && handler->created_filetime != 0)
        row.set_u64(c.handler_created, handler->created_filetime, kCellFiletime, 0);
    if (handler != nullptr && handler->modified_filetime != 0)
        row.set_u64(c.handler_modified, handler->modified_filetime, kCellFiletime, 0);
    if (channel != nullptr && channel->created_time != 0)
        row.set_u64(c.channel_created, channel->created_time, kCellFiletime, 0);
    if (channel != nullptr && channel->expiry_time != 0)
        row.set_u64(c.channel_expiry, channel->expiry_time, kCellFiletime, 0);
    streamed_cells streamed;
    if (!n.type.empty()) row.set_string(c.type, n.type, kCellText, 0);
    if (handler != nullptr) streamed.set_view(row, c.app_name, handler->app_name());

    // The cells of "-all_fields" (positions -1 otherwise, which the setters ignore).
    const std::uint32_t decimal_right = kCellRight | kCellDecimal;
    if (mask & column_bit(kNotificationOrder)) row.set_u64(c.order, n.order, kCellInt4, decimal_right);
    if (mask & column_bit(kNotificationId)) row.set_u64(c.id, n.id, kCellInt4, decimal_right);
    if (mask & column_bit(kNotificationHandlerId))
        row.set_u64(c.handler_id, n.handler_id, kCellInt4, decimal_right);
    if (!guid_is_zero(n.activity_id)) row.set_bytes(c.activity_id, n.activity_id.bytes(), 16, kCellGuid, 0);
    // A Tag or Group too long to copy goes to the line in pieces, from where the reader holds it.
    const tag_text tag(n.tag, n.large_tag), group(n.group, n.large_group);
    if (n.large_tag.bytes != nullptr)
        streamed.add(c.tag, &tag);
    else if (!n.tag.empty())
        row.set_string(c.tag, n.tag, kCellText, 0);
    if (n.large_group.bytes != nullptr)
        streamed.add(c.group, &group);
    else if (!n.group.empty())
        row.set_string(c.group, n.group, kCellText, 0);
    if (n.data_version != 0) row.set_u64(c.data_version, n.data_version, kCellInt4, decimal_right);
    if (!n.payload_type.empty()) row.set_string(c.payload_type, n.payload_type, kCellText, 0);

    misc_.clear();
    append_extra_data_text(misc_, n, std::string(), true, true, false, true);
    row.set_string(c.misc_data, misc_, kCellText, 0);

    if (handler != nullptr) {
        streamed.set_view(row, c.handler_type, handler->handler_type());
        if (handler->wnf_event_name != 0)
            row.set_u64(c.wnf_event_name, handler->wnf_event_name, kCellInt8, 0);
        streamed.set_view(row, c.primary_id, handler->primary_id());
        streamed.set_view(row, c.wns_id, handler->wns_id());
    }

    if (is_recovered_record(n) && source_in_wal(n.source_code()))
        row.set_string(c.db, record_db_text(n, report.db_path), kCellText, 0);
    else
        row.set_string(c.db, report.db_path, kCellText, 0);
    // A payload too long to copy goes to the line in pieces, from where the reader holds it.
    const payload_text payload(n);
    if (n.large_payload.bytes != nullptr)
        streamed.add(c.payload, &payload);
    else if (!n.payload.empty())
        row.set_string(c.payload, n.payload, kCellText, 0);
    if (channel != nullptr) streamed.set_view(row, c.channel_uri, channel->uri());

    // A settings text too long to copy (a setting's value of any length is kept as stored) goes to the line
    // in pieces, from the store.
    const settings_cell_text settings(report.store, handler != nullptr ? handler->record_id : 0);
    if (settings_on(report.options) && handler != nullptr && c.settings >= 0) {
        length_sink length;
        settings.put_to(length);
        if (length.length >= kLargeCellBytes) {
            streamed.add(c.settings, &settings);
        } else {
            settings_.clear();
            string_text_sink to_settings(settings_);
            settings.put_to(to_settings);
            row.set_string(c.settings, settings_, kCellText, 0);
        }
    }
    return write_variant_row(os, row, report.options, report.header_fields, buffers_, streamed.cells(),
                             streamed.count());
}
