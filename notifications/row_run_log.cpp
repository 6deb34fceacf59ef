#include "notifications/row_run_log.h"

#include "notifications/row_model.h"
#include "sqlite_binding/data_log.h"

// ---------------------------------------------------------------- generic_hdr

generic_hdr::generic_hdr() : event_time(0), spare_numbers{0, 0, 0, 0} {}
generic_hdr::~generic_hdr() = default;

void feed_generic_hdr(generic_hdr& hdr, const qm_variant_lite& cell, const std::string& line) {
    const std::uint32_t slot = cell.flags & kCellHdrSlotMask;
    if (slot & 1) hdr.event_time = cell.value;
    for (int i = 0; i < 4; ++i)
        if (slot & (2u << i)) hdr.spare_numbers[i] = cell.value;
    if ((slot & (32 | 64)) == 0) return;
    const bool bytes_type = cell.type == 27 || cell.type == 28 || cell.type == 29;
    const std::string& text = bytes_type ? line : cell.text;
    if (slot & 32) hdr.str1 = text;
    if (slot & 64) hdr.str2 = text;
}

sqlite_data_log* open_run_log(const cmd_params& options) {
    if (!options.sqlite_on) return nullptr;
    sqlite_data_log* log = get_options_data_log(&options);
    // A log that is set but not open takes nothing: the lines go to the stream rather than nowhere.
    return log != nullptr && log->is_open ? log : nullptr;
}

void log_header_line(sqlite_data_log& log, const std::string& artifact_type, const std::string& line) {
    log.set_artifact_type(artifact_type.c_str());
    log.set_col_hdrs(line.c_str());
    log.commit_run(false);
}

void log_row_line(sqlite_data_log& log, const std::string& line, const generic_hdr& hdr) {
    sqlite_generic_data_row prepared;
    prepared.val1 = hdr.event_time;
    prepared.val2 = hdr.spare_numbers[0];
    prepared.val3 = hdr.spare_numbers[1];
    prepared.val4 = hdr.spare_numbers[2];
    prepared.val5 = hdr.spare_numbers[3];
    prepared.str1 = hdr.str1;
    prepared.str2 = hdr.str2;
    log.add_data_row_ex(line, prepared);
}
