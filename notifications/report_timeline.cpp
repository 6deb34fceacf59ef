#include "notifications/report_timeline.h"

#include <sstream>
#include <string>

#include "common/hex_text.h"
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

// A text built of pieces that each end in "; ", without the last "; " (an empty text stays empty).
std::string without_tail(std::ostringstream& os) {
    erase_stream_tail(os, 2, true);
    return os.str();
}

}  // namespace

int write_notification_l2t(std::ostream& os, selk_run& run, const notification_record& n,
                           const notification_handler_record* handler) {
    log2timeline_context_ex ctx;
    ctx.set_from_settings(&run.options);
    ctx.macb.set_labels("Last Modified", "Last Access", "ExpiryTime", "ArrivalTime");

    const bool recovered = is_recovered_record(n);
    const bool show_type = (n.column_mask & kTypeBit) != 0;
    const bool show_payload = (n.column_mask & kPayloadBit) != 0;
    ctx.sourcetype = recovered ? kSourceTypeRecovered : kSourceType;
    ctx.source = kSourceText;

    if (handler != nullptr) {
        ctx.short_text = handler->app_name;
        if (show_type) ctx.short_text += " (" + n.type + ")";
    } else if (show_type) {
        ctx.short_text = n.type;
    }
    if (show_payload) ctx.desc = n.payload;
    if (handler != nullptr) ctx.notes = "PrimaryID: " + handler->primary_id;

    std::ostringstream extra;
    if (recovered) {
        extra << output_json_src_offset(n.source_code(), n.record_offset, run.options.base16, true) << "; ";
    }
    if (!run.db_path.empty()) extra << "db: " << record_db_text(n, run.db_path) << "; ";
    ctx.extra = without_tail(extra);
    ctx.time_zone = kTimeZone;

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
    return write_log2timeline_events(run.header_on, os, ctx);
}

int write_notification_bodyfile(std::ostream& os, selk_run& run, const notification_record& n,
                                const notification_handler_record* handler) {
    bodyfile_v3_context ctx;
    ctx.macb.set_times(0, 0, 0, n.arrival_time, qm::type_filetime);
    ctx.time_zone = kTimeZone;

    const bool show_type = (n.column_mask & kTypeBit) != 0;
    const bool show_payload = (n.column_mask & kPayloadBit) != 0;
    std::ostringstream name;
    if (is_recovered_record(n)) name << "Recovered Data; ";
    name << kSourceType << "; ";
    if (show_type) name << "Type: " << n.type << "; ";
    if (handler != nullptr) name << "PrimaryID: " << handler->primary_id << "; ";
    if (show_payload) name << "Payload: " << n.payload << "; ";
    ctx.name = without_tail(name);
    ctx.options = &run.options;
    return write_bodyfile_record(run.header_on, os, ctx);
}
