// The run log's share of a report: the numbers and texts a row's cells give its generic header, and the
// header line and rows that go to the options' run log, when one is open, instead of the report stream.
#pragma once

#include <cstdint>
#include <string>

#include "common/variant.h"
#include "io/cmd_params.h"

class sqlite_data_log;

// The run-log generic header of one row: a cell whose flags' low byte has bit 1 puts its value into
// event_time, bits 2, 4, 8 or 16 into spare_numbers[0..3], bit 32 or 64 its text into str1 or str2. They
// become the run log's val1..val5, str1 and str2.
class generic_hdr {
  public:
    generic_hdr();
    ~generic_hdr();

    std::uint64_t event_time;        // the timeline event's time (FILETIME), the one number the report gives
    std::uint64_t spare_numbers[4];  // slots 2, 4, 8 and 16, which no report of this tool fills
    std::string str1;
    std::string str2;
};

// Fills the generic header from a cell by its flags' low byte (kCellHdrSlotMask); `line` is the row's text,
// which the byte cells (GUID, hex bytes) give in place of their own.
void feed_generic_hdr(generic_hdr& hdr, const qm_variant_lite& cell, const std::string& line);

// The run log that takes the report's lines instead of the stream: the options' log when the run-log switch
// is on and a log is set and open; else null.
sqlite_data_log* open_run_log(const cmd_params& options);

// The header line into `log`, with the artifact type of the rows, as one committed run.
void log_header_line(sqlite_data_log& log, const std::string& artifact_type, const std::string& line);

// One row's text into `log`, with the numbers and texts its cells fed the generic header.
void log_row_line(sqlite_data_log& log, const std::string& line, const generic_hdr& hdr);
