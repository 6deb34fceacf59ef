// bodyfile output: one line of the bodyfile 3 format per record
// (md5|name|inode|mode_as_string|UID|GID|size|atime|mtime|ctime|crtime), so that timeline tools can sort
// the record's times together with file-system times.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "common/text_runs.h"
#include "io/cmd_params.h"
#include "sqlite_binding/data_log.h"  // write_bodyfile_header
#include "time/macb.h"

// The fields of one bodyfile line.
class bodyfile_v3_context {
  public:
    // The defaults of clear().
    bodyfile_v3_context();

    // Texts empty, numbers 0, the MACB input cleared with its kind 8 (Unix seconds), time zone "UTC", no run
    // log, no options.
    void clear();

    std::string md5;  // printed as "0" when empty
    std::string name;
    // When set, the rest of the name after `name`, in pieces, for a text too long to copy: the line is
    // written around it, and the name goes to the stream in pieces (a run log takes it whole).
    const text_source* name_tail;
    std::string inode;  // printed as "0" when empty
    std::string mode;   // mode as text
    std::uint64_t uid;
    std::uint64_t gid;
    std::uint64_t size;
    macb_input macb;            // the four times M, A, C, B in Unix seconds
    std::string time_zone;      // "UTC" (not printed)
    sqlite_data_log* run_log;   // not owned; null in this tool
    const cmd_params* options;  // not owned; null unless the caller sets it
};

// Writes the header while it is pending (clearing the caller's switch), then the record's line,
// the times in the bodyfile order atime, mtime, ctime, crtime. Returns 1, or 0 when the output stream
// failed.
int write_bodyfile_record(bool& header_pending, std::ostream& os, bodyfile_v3_context& ctx);
