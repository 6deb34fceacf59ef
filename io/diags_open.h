// Opening the "-diags" diagnostics log of an option object by path.
#pragma once

#include <string>

#include "io/cmd_params.h"

// Closes a log that is open, then creates (truncating; mode 0644 less the umask) the file at path as the new
// log: diagnostics_path = path, diagnostics_on set and the command line written as the first record. 1 when
// the log is open; 0 when the file cannot be created (diagnostics_path emptied, no stream, the log off).
int open_diagnostics_log(cmd_params& options, const std::string& path);
