#include "io/diags_open.h"

#include <fstream>

#include "io/diags_log.h"
#include "io/fileio.h"

int open_diagnostics_log(cmd_params& options, const std::string& path) {
    // Copied first: path may be options.diagnostics_path itself, which is emptied on failure.
    const std::string wanted = path;
    if (options.diagnostics != nullptr) {
        options.diagnostics->close();
        delete options.diagnostics;
    }
    options.diagnostics = nullptr;
    options.diagnostics_on = false;

    options.diagnostics_path = wanted;
    // A stream would create a missing log with mode 0666 less the umask; the file object creates it 0644.
    uni::fileio create;
    if (create.open_append(wanted, false) != 0) create.close();
    std::ofstream* stream = new std::ofstream(wanted, std::ios::out | std::ios::trunc);
    if (!stream->good()) {
        options.diagnostics_path.clear();
        delete stream;
        return 0;
    }
    options.diagnostics = stream;
    options.diagnostics_on = true;
    write_log_line(options, options.command_line);
    return 1;
}
