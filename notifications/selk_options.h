// The options object that carries the settings of one run of the tool: the common options and the tool's
// own switches. What reading a database builds lives apart from it (database_state.h).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "io/cmd_params.h"
#include "io/output_guard.h"
#include "notifications/sql_pull_types.h"

// Indexes of selk_options::switches.
constexpr int kSwitchInput = 0;       // a database path is at hand ("-db", "-pipe", "-enumdir")
constexpr int kSwitchAllFields = 1;   // "-all_fields"
constexpr int kSwitchSlack = 2;       // slack recovery ("-incl_slack" or "-carve"); the driver reads this one
constexpr int kSwitchSlackCopy = 3;   // second copy of kSwitchSlack, set with it
constexpr int kSwitchSettings = 4;    // "-incl_settings": handler settings read and reported too
constexpr int kSwitchCarve = 5;       // "-carve": tables read with the own page reader
constexpr int kSwitchParseChunk = 6;  // "-parse_chunk"
constexpr int kSwitchPerTableFiles = 7;  // per-table report files; no switch sets it

class selk_options : public cmd_params {
  public:
    // cmd_params, every own member, then clear().
    selk_options();
    ~selk_options() override;
    selk_options(const selk_options&) = delete;
    selk_options& operator=(const selk_options&) = delete;

    // Everything of the tool back to its start state (then clear_after_each_iteration).
    void clear();
    // Ready for the next database: switch [kSwitchInput] only.
    void clear_after_each_iteration();

    std::string db_path;               // "-db" value (the run keeps the path it is reading)
    std::string spare_text;            // emptied by clear
    std::ostream* report_stream;       // null: the driver gives the report's stream to its writers
    generic_sql_pull sql_pull;         // never filled by this tool
    std::uint8_t switches[8];          // kSwitch* bytes
    std::int64_t recogniser_switches;  // bit 0 notification rows, 1 handler rows, 2 push-channel rows
    std::uint8_t verify;               // "-verify"
    // The results file and the log as checked and emptied: their identity, so that a listed path that is
    // one of them (or lies beside one as its companion) is known. Not held open past the check.
    held_output results_held;
    held_output diags_held;
    // "-pipe" and "-enumdir": every path listed on standard input or found by the walk, in reading order,
    // gathered whole before any output is opened; empty entries left out.
    std::vector<std::string> listed_paths;
    bool paths_ready;  // the list could be read (standard input or the walk could be set up)
    // The folders of the walk that could not be listed, each with why, in the order the walk met them.
    std::vector<std::pair<std::string, std::string>> unlisted_folders;
    // The links to folders the walk met and did not follow, each with its target, in the order it met them.
    std::vector<std::pair<std::string, std::string>> folder_links;
    // The walk listed at least one file, whether or not the filters kept it.
    bool files_found;
    // Why standard error was pointed at /dev/null and the run refused; empty when it was not.
    std::string standard_error_refused;
};

// Reads the tool's switches after the common options. 1 when the options are usable: "-pipe" or
// "-enumdir" (with a folder) is on, or "-db" has a value; 0 when the common options are refused, no input
// is named, more than one input mode or output form is, a common switch is given that the tool takes no
// action on or a switch that acts on nothing in the output form chosen, a value switch has no value, a window
// date, a "-num_subdirs" depth, a date or time pattern or the separator is unusable, an argument is left that
// is neither a known switch nor a switch's value, or an output may not be written (each fault named on
// standard error). The outputs are opened last, without emptying them, and refused when one reaches the
// database of "-db" or its "-wal", "-journal" or "-shm" companion (by path, through links, or by device and
// inode), holds the first bytes of a database, log or journal, is named like a "-shm" file, or both are one
// file; a report to standard output is refused when standard_output_unsafe says why. With `gather_paths`, the
// paths of "-pipe" or "-enumdir" are gathered into listed_paths first, and an output refused that is one of
// them or a companion of one, unless it holds nothing or an earlier report or log of the tool (the run then
// passes over that path); standard error on such a file (standard_error_unsafe) is pointed at /dev/null, and
// standard_error_refused says why. Only then are the outputs emptied and the log opened, so a refused command
// line changes no file (one it created is removed). Switches taken are removed from `args`.
int parse_selk_options(selk_options& options, std::vector<std::string>& args, bool gather_paths = false);

// The file the run opens for an input path: a file found by "-enumdir" exactly as found (it exists as
// written, so its name is never expanded); "-db" and a "-pipe" line as path_opened gives them.
std::string input_path_opened(const cmd_params& options, const std::string& path);

// Which output would land on what a run reads: "-out" or "-diags" when that file is `db_path` or its
// "-wal", "-journal" or "-shm" companion (family_member_at); `input` then names the file it would write
// over. Null, `input` empty, when neither does or `db_path` is empty. Opens nothing.
const char* output_on_input(const std::string& out_file, const std::string& diags_path,
                            const std::string& db_path, std::string& input);
// Why the report must not go to standard output: it is a file (opened by the shell, "selk ... >> f") that is
// the database `db_path` (as path_opened reads it) or a companion of it, that holds the first bytes
// of a database, log or journal, that is named like a "-shm" file or lies beside an existing file as its
// "-wal" or "-journal", or that is a path of `listed` (as path_opened reads it) or a
// companion of one, unless `earlier_allowed` and it holds nothing or an earlier report or log of the tool.
// Empty when it may (also when it is no file).
std::string standard_output_unsafe(const std::string& db_path,
                                   const std::vector<std::string>& listed = std::vector<std::string>(),
                                   bool earlier_allowed = true);
// Why nothing may be written to standard error: the same reasons, no earlier output let through.
std::string standard_error_unsafe(const std::string& db_path,
                                  const std::vector<std::string>& listed = std::vector<std::string>());
// "results" or "diagnostics" when a listed path (as path_opened reads it), or a companion of it, is the
// run's results file or diagnostics log; else null.
const char* own_output_named(const selk_options& options, const std::string& path);
