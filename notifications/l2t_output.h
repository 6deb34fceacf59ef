// log2timeline CSV output: a per-record context with the fixed texts of its lines, the merging of the
// record's time events into one line per (time, source) pair with the MACB letters of every time that
// falls on that instant, and the header and event lines.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "common/text_runs.h"
#include "io/cmd_params.h"
#include "sqlite_binding/data_log.h"  // write_log2timeline_header
#include "time/format_word.h"
#include "time/macb.h"
#include "time/macb_output.h"

// Output settings and fixed column texts of one record's log2timeline lines.
class log2timeline_context {
  public:
    // The defaults of clear().
    log2timeline_context();

    // Every field to its default: time zone "UTC", version 2, format "-csvl2t", separator ",", the
    // replacement of ',' by ' ', the default date and time patterns compiled, every switch and number 0,
    // every other text empty, no run log and no options.
    void clear();
    // Copies the output settings of the options and keeps the pointer; nothing for a null pointer. The
    // generic timeline writer may then rebuild the options' header template.
    void set_from_options(cmd_params* options);
    // The same for settings that stay read-only: no header template is kept.
    void set_from_settings(const cmd_params* settings);
    // Turns the extended columns on. A null text keeps the old one; a parent inode of 0xffffffffffff
    // (48 bits set) is stored as parent 5, parent seqnum 0.
    void set_extended_values(std::uint32_t ref, std::uint64_t parent, std::uint32_t parent_seq,
                             std::uint32_t inode_seq, std::uint64_t size, const char* ext,
                             const char* clusters_text);

    macb_input macb;        // the four times of the single-record writer
    std::string time_zone;  // "UTC"
    std::string source;     // default source text of the lines
    std::string sourcetype;
    std::string type;  // when set, the type column of every line
    std::string user;  // default user text
    std::string host;
    std::string short_text;
    std::string desc;
    // When set, the desc text in pieces instead of `desc`, for a text too long to copy: the lines are
    // written around it, and its cell goes to the stream in pieces (a run log takes it whole).
    const text_source* desc_pieces;
    std::uint32_t version;  // 2
    std::string filename;   // default filename text
    std::string inode;      // inode text (format_value_hex_or_dec)
    std::string notes;
    // When set, the notes text in pieces instead of `notes`, as desc_pieces is the desc's.
    const text_source* notes_pieces;
    std::string format;                  // "-csvl2t", or the tool name with " (quillmar)"
    std::string extra;                   // default extra text
    std::string date_pattern;            // "yyyy-mm-dd"
    std::string time_pattern;            // "hh:mm:ss.xxx"
    date_time_format format_word;        // compiled from the two patterns
    std::string separator;               // ","
    char replace_from;                   // ',': replaced inside texts (none when either is 0)
    char replace_to;                     // ' '
    std::uint8_t lower_macb;             // print the MACB letters in lower case
    std::uint8_t padded;                 // a blank before the time
    std::uint8_t unpadded;               // no blank before the time (wins over padded)
    std::uint8_t ext_hex;                // extended values and inode text in hexadecimal
    std::uint8_t no_size;                // generic timeline writer: no size and data-type columns
    std::uint8_t cluster_column;         // generic timeline writer: clusters column
    std::uint8_t header_info_column;     // generic timeline writer: header-info column
    std::uint8_t extracted_file_column;  // generic timeline writer: extracted-file column
    std::uint8_t one_column;             // date and time in one column
    std::uint8_t hash_md5;               // generic timeline writer: hash columns and their texts
    std::uint8_t hash_sha1;
    std::uint8_t hash_sha1_2;
    std::string md5_text;
    std::string sha1_text;
    std::string sha1_2_text;
    std::uint32_t ext_on;  // extended columns printed
    std::uint32_t ref_count;
    std::string extension;
    std::uint64_t size_data;
    std::uint32_t inode_seqnum;
    std::uint64_t parent_inode;
    std::uint32_t parent_seqnum;
    std::string clusters;
    std::vector<unsigned char> header_info;
    std::uint64_t hex_view_option;  // generic timeline writer: low byte an option of its hex view
    std::string relevant_data;      // generic timeline writer: last column text
    std::uint64_t date_start;       // FILETIME range of printed events; start 0: no range
    std::uint64_t date_end;
    sqlite_data_log* run_log;   // not owned; null in this tool
    const cmd_params* options;  // not owned; null until set from the options or settings
    cmd_params* header_owner;   // not owned: the options of set_from_options, whose header the generic
                                // timeline writer rebuilds; null otherwise
};

// The context with its events: FILETIME -> event, in time order, equal times in insertion order.
class log2timeline_context_ex : public log2timeline_context {
  public:
    log2timeline_context_ex();

    // Stores the event or merges it into a stored one of the same time and source text: 1. Refused (0,
    // nothing stored) when its time is 0 or not a valid FILETIME, its source or MACB text is empty, or the
    // MACB text does not start with one of M, A, C, B (either case). Upper-cases the event's MACB text.
    int insert_event(macb_output& event);

    std::multimap<std::uint64_t, macb_output> events;
};

// The context's inode text: "0x" and at least 8 hex digits under ext_hex, else decimal.
void format_value_hex_or_dec(log2timeline_context& ctx, std::uint64_t value);

// Writes the header while it is pending (clearing the caller's switch), then one line per valid
// event in range. Returns 1, or 0 when the output stream failed.
int write_log2timeline_events(bool& header_pending, std::ostream& os, log2timeline_context_ex& ctx);
// The same over events built from the context's own MACB input; no per-letter type fallback; line breaks
// in desc, notes and extra flattened.
int write_log2timeline_events_alt(bool& header_pending, std::ostream& os, log2timeline_context& ctx);
