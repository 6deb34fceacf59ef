// The common option model: every setting of a run that the common command-line options can give.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/variant.h"
#include "io/file_stats.h"
#include "io/filter_entry.h"
#include "time/format_word.h"

// Run-log callback: (context, text, number, pointer to a 32-bit code or a word, the run-log record or
// null, a last argument that is always 0) -> the callback's own result.
typedef std::uint64_t (*run_log_callback_fn)(void* context, const std::string& text, std::uint64_t number,
                                             void* code, log_record* record, std::uint64_t reserved);

// Filled once by parse_common_options (io/option_parser.h) before any work and only read afterwards.
// Owns the diagnostics file stream and the in-memory log buffer. Members marked reserved are neither set
// nor read by the common options; they keep their place and default.
class cmd_params {
  public:
    // Every member at its default; when make_log_buffer is set an empty in-memory log buffer is created.
    explicit cmd_params(std::uint64_t owner = 0, bool make_log_buffer = false);
    // Copies the settings; the copy opens its own diagnostics stream on the same path (appending) and
    // gets its own empty log buffer when the source has one.
    cmd_params(const cmd_params& other);
    cmd_params& operator=(const cmd_params& other);
    // Closes and deletes the diagnostics stream, deletes the log buffer.
    virtual ~cmd_params();

    // Back to the defaults, except owner, the two log streams, the three log_texts and two log_words.
    // An open diagnostics file stays open, but diagnostics_on becomes false.
    void reset();
    // Zeroes the log counter and words, empties the log texts, empties log_buffer and clears run_log.
    void reset_log_state();

    // The true path of an aliased path: out when an alias applies (out is filled), else path itself.
    const std::string& resolve_alias_path(std::string& out, const std::string& path) const;

    std::uint64_t owner;            // opaque word of the creator, never interpreted
    std::string command_line;       // arguments joined by blanks; those holding a blank quoted
    std::string tool_name;          // last path component of argument 0, before its last '.'
    std::string tool_text;          // free text slot of the tool
    std::string out_file;           // "-out"/"-outfile", '\' turned into '/'
    std::string out_dir;            // "-outdir"
    std::string user_name;          // "-username"
    std::string host_name;          // "-hostname"
    std::string source_type;        // free text slot of the tool
    std::uint64_t reserved_word_1;  // reserved
    std::uint64_t reserved_word_2;  // reserved
    std::string reserved_text_1;    // reserved
    std::string reserved_text_2;    // reserved
    std::map<std::string, std::string>
        alias_paths;                             // "-aliaspath": lower-case prefix -> true path ("*": all)
    std::map<std::string, std::string> aliases;  // "-alias": lower-case alias -> true path file
    std::vector<std::string> reserved_list_1;    // reserved
    std::vector<std::string> reserved_list_2;    // reserved
    std::string date_format;                     // "-dateformat", default "yyyy-mm-dd"
    std::string time_format;                     // "-timeformat", default "hh:mm:ss.xxx"
    date_time_format format_word;                // compiled form of the two patterns
    char value_char;                // separator character that must not appear in a value (0 = none)
    char value_char_replacement;    // what replaces value_char inside values
    std::uint64_t reserved_word_3;  // reserved
    std::string separator;          // text between output fields, default " | "
    bool no_whitespace;             // "-no_whitespace", also "-csv" and "-csvgen"
    bool padded_separator;          // separator with blanks around it
    bool base16;                    // numbers in hexadecimal
    bool username_given;            // "-username" seen
    bool hostname_given;            // "-hostname" seen
    bool split_pathfile;            // "-split_pathfile"
    bool quoted_csv_fields;         // "-enable_quoted_csv_fields"; never carried by a copy
    bool reserved_flag_1;           // reserved (false)
    bool reserved_flag_2;           // reserved (true)
    std::uint32_t reserved_count;   // reserved (16)
    std::vector<std::wstring> reserved_wide_list;  // reserved
    std::uint64_t reserved_word_4;                 // reserved
    bool compressed;                               // any of "-gzip", "-zlib", "-zlibex"
    bool gzip;                                     // "-gzip"
    bool zlib;                                     // "-zlib"
    bool zlibex;                                   // "-zlibex"
    std::string zlibex_text;                       // the "-zlibex" value
    std::int32_t threads;                          // "-threads"; never carried by a copy
    bool sqlite_on;                                // "-sqlite" seen
    std::string sqlite_path;                       // "-sqlite" value
    std::uint64_t reserved_word_5;                 // reserved; a copy leaves it 0
    bool out_dir_given;                            // "-outdir" seen
    bool out_file_given;                           // "-out"/"-outfile" seen
    std::int32_t cpu_instance;                     // "-cpuinst", default -1
    std::uint32_t cpu;                             // "-cpu"
    bool separate_files;                           // "-separate_files" or "-fragment_files"
    std::uint32_t fragment_count;                  // "-fragment_files" value
    bool reserved_flag_3;                          // reserved
    std::uint64_t reserved_word_6;                 // reserved
    std::uint64_t reserved_word_7;                 // reserved
    std::string sqlite_log_path;                   // "-sqlite_log" value
    bool run_log_callback_on;                      // the run-log callback is in use
    std::uint64_t reserved_word_8;                 // reserved; a copy leaves it 0
    run_log_callback_fn run_log_callback;          // the run-log callback (not owned)
    void* run_log_callback_context;                // handed back to the callback (not owned)
    log_record run_log;                            // embedded run-log record
    bool xml;                                      // output formats: at most one is set by the parser
    bool csv;
    bool csvl2t;
    bool csvgen;
    bool bodyfile;
    bool multiline;
    bool reserved_flags[4];      // reserved
    bool verbose;                // "-verbose"/"-v"
    bool show_progress;          // status and progress lines on standard error; "-quiet" clears
    bool sqlite_off;             // end rows with a newline; "-sqlite" clears
    bool pair_datetime;          // "-pair_datetime": date and time in one column
    bool header_on;              // output header pending
    std::uint64_t log_counter;   // cleared by reset_log_state
    std::string log_texts[3];    // cleared by reset_log_state; a copy carries the first only
    std::uint64_t log_words[2];  // cleared by reset_log_state; never carried by a copy
    std::vector<qm_variant_lite> header_fields;    // output header fields (filled by the tool)
    bool diagnostics_on;                           // true only while diagnostics points to a good stream
    std::uint32_t log_level;                       // 2 for "-l2", 3 for "-l3"
    std::ostringstream* log_buffer;                // owned in-memory log, or null
    std::ofstream* diagnostics;                    // owned "-diags" file stream, or null
    std::string diagnostics_path;                  // its path
    std::string log_text_1;                        // cleared by reset_log_state
    std::string log_text_2;                        // cleared by reset_log_state
    bool profile;                                  // "-profile": elapsed time on standard error
    std::uint64_t reserved_word_9;                 // reserved
    std::string signal_text;                       // "-signal" value, for the run context's end callback
    std::vector<filename_filter> include_filters;  // "-filter" and "-filter_sig" entries
    std::vector<filename_filter> skip_filters;     // "-filter_skip" entries
    bool pipe;                                     // "-pipe": paths from standard input
    std::string enumdir_folder;                    // "-enumdir" folder
    std::uint32_t num_subdirs;                     // "-num_subdirs" depth
    bool enumdir_given;                            // "-enumdir" seen
    std::string os_product_version;                // the host's OS version text
    std::uint32_t os_major;
    std::uint32_t os_minor;
    std::uint32_t os_patch;
    std::uint32_t os_reserved;  // reserved
    // The time window, read as UTC like the file times it is compared with. Before 1601 a FILETIME bound
    // is 0: every FILETIME lies after it.
    bool start_time_set;              // the time window has a start
    std::uint64_t start_filetime;     // start as FILETIME
    std::int64_t start_unix_seconds;  // start as seconds since 1970 (negative before)
    bool stop_time_set;               // the time window has a stop
    std::uint64_t stop_filetime;      // stop as FILETIME
    std::int64_t stop_unix_seconds;   // stop as seconds since 1970 (negative before)

  private:
    // Shared by the copy constructor and the assignment.
    void copy_from(const cmd_params& other);
    // Closes and deletes both owned streams.
    void release_streams();
};
