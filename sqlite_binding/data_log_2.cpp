// Setting up the run-log data writer from the common options.
#include <cstdio>

#include "io/option_parser.h"
#include "sqlite_binding/data_log.h"

bool init_sqlite_output(sqlite_data_log* log, std::uint64_t value, const std::string& gen_text,
                        cmd_params* options) {
    if (options == nullptr) return false;
    set_options_data_log(options, log);
    if (!options->sqlite_on) return true;
    if (options->sqlite_path.empty() || log == nullptr) return false;
    std::string bar = "|";
    set_csv_separator(*options, bar, false);
    options->no_whitespace = true;
    options->padded_separator = false;

    sqlite_metadata_row row;
    row.fill_from_options(*options);
    row.data_tbl_name = kGenericDataTableName;
    bool generic = true;
    // "-multiline" and "-csvgen" have no column layout of their own: their rows go to a table "unk".
    const bool first_further = options->multiline;
    const bool second_further = options->csvgen;
    if (first_further || second_further) {
        row.col_hdrs.clear();
        row.data_tbl_name = "unk";
        generic = false;
    } else if (options->bodyfile) {
        std::ostringstream hdr;
        write_bodyfile_header(hdr);
        row.col_hdrs = hdr.str();
        row.gen_hdrs = gen_text;
        options->header_on = true;
    } else if (options->csvl2t) {
        std::ostringstream hdr;
        write_log2timeline_header(hdr, options->separator, false, options->pair_datetime);
        row.col_hdrs = hdr.str();
        row.gen_hdrs = gen_text;
        options->header_on = true;
    } else if (options->csv) {
        row.gen_hdrs = gen_text;
        options->header_on = true;
    } else {
        const bool ok = log->open_read_only(options->sqlite_path, "");
        if (!ok) std::fputs("Issue opening db for read, aborting\n", stderr);
        return ok;
    }
    const bool ok = second_further ? log->open_read_write(value, options->sqlite_path, "")
                                   : log->open(value, options->sqlite_path, row, "", generic);
    if (!ok) std::fputs("Issue with initializing SQLite, aborting\n", stderr);
    return ok;
}
