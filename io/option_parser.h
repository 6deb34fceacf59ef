// The common option parser: turns the common command-line options into the members of a cmd_params,
// taking every recognised option (and its value) out of the argument list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/cmd_params.h"

// Parses the common options in their fixed order (not command-line order). Unrecognised words stay in args.
// False for an empty list, an imbalanced "-alias"/"-aliaspath", a results file that cannot be written, or a
// "-cmd_start_time"/"-cmd_stop_time" date without '/' or '-'; the caller then prints its usage text.
// A refused command line leaves the disk as it was: neither the results file nor the diagnostics file is
// created or changed.
bool parse_common_options(cmd_params& options, std::vector<std::string>& args);
// The same; with open_log false neither "-out" nor "-diags" is tested or touched (out_file and
// diagnostics_path set, the log still off): the caller opens and checks both itself, so that it can refuse
// the command line before a byte of either changes.
bool parse_common_options(cmd_params& options, std::vector<std::string>& args, bool open_log);
// Opens (truncating) the log that a parse with open_log false has tested and writes the command line as its
// first line. True when the log is on.
bool open_tested_diagnostics_log(cmd_params& options);

// How a "-cmd_start_time" or "-cmd_stop_time" value reads.
enum class window_reading {
    time,          // a date (and time of day) that exists
    no_date_form,  // not written as a date "yyyy-mm-dd" or "yyyy/mm/dd", with an optional time
    no_such_date,  // written so, but the calendar has no such day (2020-02-30)
    no_such_time,  // written so, but the day has no such time (24:00:00, 10:60:00)
};
// One end of the time window, read as UTC.
struct window_point {
    std::int64_t unix_seconds = 0;  // seconds since 1970-01-01 00:00:00 UTC, negative before
    std::uint64_t filetime = 0;     // the same instant as a FILETIME; 0 before 1601
};
// Reads a "-cmd_start_time" value, or with `stop` a "-cmd_stop_time" value (a date alone then stands for
// its last second), as parse_common_options reads it; `point` (may be null) is set only when the value
// reads as a time. parse_common_options refuses the command line for no_date_form and ignores the value
// for the other faults.
window_reading read_window_value(const std::string& value, bool stop, window_point* point);

// Reads a "-filter_sig" value strictly: hexadecimal bytes cut by blanks ("53 51 4c"; one or two digits
// each, "0x" allowed), then optionally '|' or ',' and the offset of the bytes in the file (decimal or "0x"
// hexadecimal, below 2^63). Null when it reads so (`bytes` and `offset`, each may be null, then set); else
// why not, outputs untouched. parse_common_options reads every value that reads so alike, and guesses at
// the others.
const char* read_signature_value(const std::string& value, std::vector<std::uint8_t>* bytes,
                                 std::uint64_t* offset);

// Whether a "-dateformat" value is one the parser takes (8 or 10 characters, day, month and year in an order
// the time library prints), and a "-timeformat" value (8, or 12 to 18, characters: "hh:mm:ss", then
// optionally '.' and fraction digits "x"); the parser keeps the default format for any other.
bool date_format_usable(const std::string& value);
bool time_format_usable(const std::string& value);

// Replaces every %NAME% in text by the value of that environment variable (with vss, an unset %vss% by the
// shadow copy device prefix); text changes in place, out receives a copy and is returned. Unset names stay
// as written. Expansion stops once the text passes 512 characters, and after a bounded number of
// replacements, so a variable that refers to itself cannot keep it going.
std::string& expand_environment_variables(std::string& out, std::string& text, bool vss);
// The same for wide text (through UTF-8, vss off).
std::wstring& expand_environment_variables_wide(std::wstring& out, std::wstring& text);

// The path a run opens for a path it was given: the path as written when something exists there, so that a
// name holding "%...%" is never read in place of another file; else the path with its environment references
// expanded (vss off). Empty for an empty path.
std::string path_opened(const std::string& path);

// name = "" when the default locale name is usable, else the expansion of %LC_TIME%, else of %LANG%, each
// only when usable; false (name empty) when none is.
bool select_time_locale_name(std::string& name);

// '\' becomes '/', optionally environment references are expanded, then "." pieces are dropped and one pass
// removes "piece/.." pairs. False only for an empty path.
bool normalize_path(std::string& path, bool expand_env);

// The host's OS version text: the ProductVersion of "/System/Library/CoreServices/SystemVersion.plist"
// where that file exists, else VERSION_ID of "/etc/os-release" (the same fact on Linux). False, version
// empty, when neither can be read.
bool read_host_os_version(std::string& version);
// The ProductVersion string of a SystemVersion.plist text; false when there is none.
bool os_version_from_plist_text(const std::string& text, std::string& version);
// The VERSION_ID value of an os-release text, without its quotes; false when there is none.
bool os_version_from_os_release_text(const std::string& text, std::string& version);

// separator = text; then the character that must not appear inside values and its replacement: "|" gives
// '|' by ';'; "," gives ',' by ' ' (';' with semicolon); "tab" or "\t" gives a TAB separator and no
// replacement; anything else no replacement. With quoted CSV fields there is never a replacement.
// text is lower-cased in place.
void set_csv_separator(cmd_params& options, std::string& text, bool semicolon);
