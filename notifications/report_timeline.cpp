#include "notifications/report_timeline.h"

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "notifications/bodyfile_output.h"
#include "notifications/l2t_output.h"
#include "notifications/report_delimited.h"
#include "notifications/timeline.h"
#include "time/macb_output.h"
#include "time/time_kinds.h"

namespace {

const char* const kSourceText = "SELK_DB";
const char* const kSourceType = "PushNotification artifact";
const char* const kSourceTypeRecovered = "PushNotification artifact [recovered data]";
const char* const kTimeZone = "UTC";

constexpr std::uint64_t kTypeBit = column_bit(kNotificationType);        // the table has a Type column
constexpr std::uint64_t kPayloadBit = column_bit(kNotificationPayload);  // the table has a Payload column

// A text in pieces: a label, a text held elsewhere, then, where `between` is given, it and `last`'s text.
class labelled_text : public text_source {
  public:
    labelled_text(std::string_view label, std::string_view text, const char* between, const text_source* last)
        : label_(label), text_(text), between_(between), last_(last) {}
    void put_to(text_sink& out) const override {
        out.put(label_.data(), label_.size());
        out.put(text_.data(), text_.size());
        if (between_ == nullptr) return;
        out.put(between_, std::strlen(between_));
        if (last_ != nullptr) last_->put_to(out);
    }

  private:
    std::string_view label_, text_;
    const char* between_;
    const text_source* last_;
};

}  // namespace

int write_notification_l2t(std::ostream& os, selk_run& run, const notification_record& n,
                           const handler_entry* handler) {
    const report_view report(run);
    timeline_row_writer rows(report);
    return rows.write(os, report, run.header_on, n, handler);
}

int write_notification_bodyfile(std::ostream& os, selk_run& run, const notification_record& n,
                                const handler_entry* handler) {
    const report_view report(run);
    timeline_row_writer rows(report);
    return rows.write(os, report, run.header_on, n, handler);
}

timeline_row_writer::timeline_row_writer(const report_view& report) {
    bodyfile_.time_zone = kTimeZone;
    bodyfile_.options = &report.options;
    l2t_.set_from_settings(&report.options);
    l2t_.macb.set_labels("Last Modified", "Last Access", "ExpiryTime", "ArrivalTime");
    l2t_.source = kSourceText;
    l2t_.time_zone = kTimeZone;
}

int timeline_row_writer::write(std::ostream& os, const report_view& report, bool& header_pending,
                               const notification_record& n, const handler_entry* handler) {
    if (report.options.bodyfile) return write_bodyfile(os, header_pending, n, handler);
    return write_l2t(os, report, header_pending, n, handler);
}

int timeline_row_writer::write_l2t(std::ostream& os, const report_view& report, bool& header_pending,
                                   const notification_record& n, const handler_entry* handler) {
    log2timeline_context_ex& ctx = l2t_;
    const bool recovered = is_recovered_record(n);
    const bool show_type = (n.column_mask & kTypeBit) != 0;
    const bool show_payload = (n.column_mask & kPayloadBit) != 0;
    ctx.sourcetype = recovered ? kSourceTypeRecovered : kSourceType;

    ctx.short_text.clear();
    if (handler != nullptr) {
        ctx.short_text.assign(handler->app_name().data(), handler->app_name().size());
        if (show_type) ctx.short_text += " (" + n.type + ")";
    } else if (show_type) {
        ctx.short_text = n.type;
    }
    ctx.desc.clear();
    // A payload too long to copy goes to the lines in pieces, from where the reader holds it.
    const payload_text payload(n);
    ctx.desc_pieces = show_payload && n.large_payload.bytes != nullptr ? &payload : nullptr;
    if (show_payload && ctx.desc_pieces == nullptr) ctx.desc = n.payload;
    ctx.notes.clear();
    // An identifier too long to copy goes to the lines in pieces, from the store.
    const labelled_text notes("PrimaryID: ", handler != nullptr ? handler->primary_id() : std::string_view(),
                              nullptr, nullptr);
    ctx.notes_pieces = nullptr;
    if (handler != nullptr && handler->primary_id().size() >= kLargeTextBytes) {
        ctx.notes_pieces = &notes;
    } else if (handler != nullptr) {
        ctx.notes = "PrimaryID: ";
        ctx.notes.append(handler->primary_id().data(), handler->primary_id().size());
    }

    // Its pieces joined by "; ", without a stream a row.
    ctx.extra.clear();
    if (recovered)
        ctx.extra = output_json_src_offset(n.source_code(), n.record_offset, report.options.base16, true);
    if (!report.db_path.empty()) {
        if (recovered) ctx.extra += "; ";
        ctx.extra += "db: ";
        ctx.extra += record_db_text(n, report.db_path);
    }

    ctx.events.clear();
    if (n.arrival_time != 0) {
        macb_output event(n.arrival_time, "B", "ArrivalTime", ctx.source.c_str(), nullptr, nullptr, nullptr,
                          nullptr, qm::type_filetime);
        if (event.valid) ctx.insert_event(event);
    }
    if (n.expiry_time != 0) {
        macb_output event(n.expiry_time, "C", "ExpiryTime", ctx.source.c_str(), nullptr, nullptr, nullptr,
                          nullptr, qm::type_filetime);
        if (event.valid) ctx.insert_event(event);
    }
    const int written = write_log2timeline_events(header_pending, os, ctx);
    ctx.desc_pieces = nullptr;
    ctx.notes_pieces = nullptr;
    return written;
}

int timeline_row_writer::write_bodyfile(std::ostream& os, bool& header_pending, const notification_record& n,
                                        const handler_entry* handler) {
    bodyfile_v3_context& ctx = bodyfile_;
    ctx.macb.set_times(0, 0, 0, n.arrival_time, qm::type_filetime);

    // What tells the record apart, so that a timeline tool that keeps one line of each (time, inode, name)
    // keeps every record: the notification's Order, and for every row but the library's its offset beside it
    // ("4744-24815"), in decimal, which is all mactime takes there.
    char digits[48];
    char* end = std::to_chars(digits, digits + 20, n.order).ptr;
    if (is_recovered_record(n)) {
        *end++ = '-';
        end = std::to_chars(end, digits + sizeof digits, n.record_offset).ptr;
    }
    ctx.inode.assign(digits, end);

    const bool show_type = (n.column_mask & kTypeBit) != 0;
    const bool show_payload = (n.column_mask & kPayloadBit) != 0;
    // Its pieces joined by "; ", without a stream a row.
    std::string& name = ctx.name;
    name.clear();
    if (is_recovered_record(n)) name += "Recovered Data; ";
    name += kSourceType;
    if (show_type) {
        name += "; Type: ";
        name += n.type;
    }
    const payload_text payload(n);
    ctx.name_tail = nullptr;
    // An identifier too long to copy goes to the line in pieces, from the store, and the payload after it.
    const bool large_id = handler != nullptr && handler->primary_id().size() >= kLargeTextBytes;
    const labelled_text tail(std::string_view(), large_id ? handler->primary_id() : std::string_view(),
                             show_payload ? "; Payload: " : nullptr, &payload);
    if (handler != nullptr) {
        name += "; PrimaryID: ";
        if (!large_id) name.append(handler->primary_id().data(), handler->primary_id().size());
    }
    if (large_id) {
        ctx.name_tail = &tail;
    } else if (show_payload) {
        name += "; Payload: ";
        // A payload too long to copy goes to the line in pieces, from where the reader holds it.
        if (n.large_payload.bytes != nullptr)
            ctx.name_tail = &payload;
        else
            name += n.payload;
    }
    const int written = write_bodyfile_record(header_pending, os, ctx);
    ctx.name_tail = nullptr;
    return written;
}
