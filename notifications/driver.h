// The tool's driver: the command-line prologue (usage, banner, echo of the command line), the options, the
// report destination, and the run of one database, one file of loose pages or a stream of database paths
// through the analysis paths, each followed by the report writer. The process entry (main.cpp) only calls
// selk_main, so the whole run can be driven from tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// The tool's version, shown in the banner line "selk - <version>".
extern const char* const kSelkVersion;

// The program-name text: "selk" until the prologue turns it into the banner line; the usage text prints it.
std::string& selk_program_name();
// Sets the program-name text back to "selk".
void selk_static_init();

// Writes the usage text to standard error. The program path is not part of the text.
void print_usage(const std::string& program_path);

// The prologue. With "-h", "-help", "/?" or "--help" anywhere after the program path (any case), or with
// the program path alone, prints the usage text and returns 0: the run ends with status 0. Otherwise writes
// the banner line and the echo of the command line into `header` and returns 1.
int process_command_line(const std::vector<std::string>& args, std::ostream& header);

// The whole run over the process arguments: 0 for success, -1 (exit status 255) for failure.
int selk_main(int argc, char* argv[]);
