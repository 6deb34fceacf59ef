// The options object that carries the settings of one run of the tool: the common options and the tool's
// own switches. What reading a database builds lives apart from it (database_state.h).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "aux/sql_types/sql_pull_types.h"
#include "io/cmd_params.h"

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

    std::string db_path;                    // "-db" value (the run keeps the path it is reading)
    std::string spare_text;                 // emptied by clear
    std::ostream* report_stream;            // the results file's stream when "-out" names one; else null
    generic_sql_pull sql_pull;              // never filled by this tool
    std::uint8_t switches[8];               // kSwitch* bytes
    std::int64_t recogniser_switches;       // bit 0 notification rows, 1 handler rows, 2 push-channel rows
    std::uint8_t verify;                    // "-verify"
};

// Reads the tool's switches after the common options. 1 when the options are usable: "-pipe" or
// "-enumdir" (with a folder) is on, or "-db" has a value; 0 when the common options are refused, no input
// is named, an argument is left that is neither a known switch nor a switch's value (each such argument is
// named on standard error), or "-out" or "-diags" names the database or its "-wal" or "-journal" companion
// (checked before either file is opened, with a message). The "-diags" log is opened only once everything
// is accepted, so a refused command line changes no file. Switches taken are removed from `args`.
int parse_selk_options(selk_options& options, std::vector<std::string>& args);

// Which output would land on what a run reads: "-out" or "-diags" when that file is `db_path` or its
// "-wal" or "-journal" companion (same device and inode, or, where neither exists, the same absolute
// path); `input` then names the file it would write over. Null, `input` empty, when neither does or
// `db_path` is empty.
const char* output_on_input(const std::string& out_file, const std::string& diags_path,
                            const std::string& db_path, std::string& input);
// "results" or "diagnostics" when a listed path is the run's results file or diagnostics log; else null.
const char* own_output_named(const cmd_params& options, const std::string& path);
