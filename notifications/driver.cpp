#include "notifications/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>

#include "common/string_lists.h"
#include "common/text_rewrite.h"
#include "io/console.h"
#include "io/diags_log.h"
#include "io/diags_stream.h"
#include "io/file_utils.h"
#include "io/fileio.h"
#include "io/fileio_output.h"
#include "io/filename_filter.h"
#include "io/line_counter.h"
#include "io/option_lookup.h"
#include "io/option_parser.h"
#include "io/output_guard.h"
#include "io/run_context.h"
#include "notifications/library_path.h"
#include "notifications/report_writer.h"
#include "notifications/row_pipeline.h"
#include "notifications/selk_options.h"
#include "notifications/slack_scan.h"
#include "platform/threads.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/format.h"

const char* const kSelkVersion = "1.0.0";

namespace {

const char* const kToolName = "selk";
const char* const kEchoLabel = "command line";

// Bytes of report collected before they go to standard output (when that is not a terminal).
constexpr int kStdoutBufferSize = 1 << 20;

// Column at which the "=" of an option line stands (counting from 1).
constexpr std::size_t kUsageEqualsColumn = 35;

void no_cleanup(std::string*) {}

// One option line of the usage text: the option padded so that "=" stands in its column.
void usage_option(std::ostream& os, const std::string& option, const char* text) {
    std::string line = "  " + option;
    if (line.size() < kUsageEqualsColumn - 1) line.resize(kUsageEqualsColumn - 1, ' ');
    os << line << "= " << text << "\n";
}

// The whole file filter, the time window of "-cmd_start_time"/"-cmd_stop_time" included, also when no
// "-filter" was given.
bool path_passes_file_filters(const selk_options& options, const std::string& path) {
    if (path.empty()) return false;
    file_stats stats;
    return path_passes_filters_utf8(&options, nullptr, path, options.include_filters, &stats, false);
}

// Why a path that was asked for could not be read: no file, a folder, a FIFO, a file that does not open, one
// that is not a SQLite database (loose pages of "-parse_chunk" need no database header), else `fallback`. The
// file examined is the one the run opened for the path.
std::string unreadable_reason(const selk_options& options, const std::string& path, bool pages,
                              const char* fallback) {
    const std::string opened = input_path_opened(options, path);
    struct stat st;
    if (::stat(opened.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    // Not opened: a FIFO holds no file, and what a writer put into it would be taken out by the read.
    if (S_ISFIFO(st.st_mode)) return "it is a FIFO";
    // Evidence: its access time stays where the system allows.
    const int fd = uni::open_keeping_access_time(opened, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    std::uint8_t head[kDbMagicLength] = {};
    const ssize_t n = ::read(fd, head, sizeof(head));
    ::close(fd);
    if (n < 0) return std::strerror(errno);
    if (!pages && !starts_with_magic(head, static_cast<std::size_t>(n))) return "not a SQLite database";
    return fallback;
}

// Names on standard error a path that was asked for and could not be read, with the reason: the library's
// own where it refused the connection, else `why` where the reading said one.
void say_unreadable(const selk_run& run, const std::string& path, bool pages,
                    const std::string& why = std::string()) {
    const char* fallback = !why.empty() ? why.c_str()
                           : pages      ? "problem parsing chunk"
                                        : "problem selecting tables";
    const std::string reason = !run.sqlite.open_failure.empty()
                                   ? run.sqlite.open_failure
                                   : unreadable_reason(run.options, path, pages, fallback);
    error_printf("prob processing file %s: %s\n", path.c_str(), reason.c_str());
}

// Writes what one analysis left in the notification vector and empties it.
void write_and_empty(std::ostream& os, selk_run& run) {
    if (run.store.notifications.empty()) return;
    write_records(os, run, run.store.notifications);
    run.store.notifications.clear();
}

// What one database gave: its tables (else why not), recovered records.
struct database_read {
    bool tables_read = false;
    bool recovered = false;
    std::string why;  // why the tables could not be read
};

// The library path of one database, then the slack scan when asked. The live notifications are written as
// they are read, through the row pipeline; the recovered ones after them. `announce` logs the two counts
// (one database only). Recovered records are written also when the tables could not be read.
database_read run_database(std::ostream& os, selk_run& run, const std::string& db_path, bool announce) {
    const selk_options& options = run.options;
    std::string path = db_path;
    const bool scan = options.switches[kSwitchSlack] != 0;
    // The database and its companions, opened once for every reader of this read (the scan's thread
    // included, which is joined before the source closes).
    database_source source;
    // The log's frames that are not committed are mapped only for a run that carves them.
    (void)source.open(input_path_opened(options, path), scan);
    // Declared before the writers: should a write throw, the writers' threads stop before the scan is joined.
    slack_scan_task early_scan;
    record_writer live(os, run);
    row_pipeline rows(os, run, live);
    table_read_events events;
    events.flush = [&rows] { rows.drain(); };
    // The slack scan needs nothing the tables give: it carves while they are read, with the tree check's
    // owners of every page where they are the file's.
    std::shared_ptr<const database_verdict> verdict;
    events.tables_begin = [&](std::shared_ptr<const database_verdict> judged) {
        verdict = std::move(judged);
        if (scan) (void)early_scan.start(source, run.carve_switch != 0, run, verdict);
    };
    database_read read;
    events.unread = [&read](const std::string& why) { read.why = why; };
    read.tables_read = read_database_tables(run, source, rows, events) != 0;
    rows.finish();
    if (read.tables_read) {
        const std::size_t found = rows.rows_seen();
        if (announce && found != 0) diag_printf_ex(options, "%d records found", static_cast<int>(found));
    } else {
        write_log_line(options, "problem selecting tables" + (read.why.empty() ? "" : ": " + read.why));
    }
    if (scan) {
        // Live rows read from the log's image already hold what its valid frames hold (carve_switch is then
        // 0).
        const int found = early_scan.started()
                              ? early_scan.finish(&run)
                              : scan_slack_records(source, false, run.carve_switch != 0, &run, verdict);
        if (found != 0) {
            if (announce)
                diag_printf_ex(options, "%d slack recs found",
                               static_cast<int>(run.store.notifications.size()));
            read.recovered = !run.store.notifications.empty();
            write_records(os, run, run.store.notifications);
        }
    }
    return read;
}

// One file of loose pages: true when its pages were walked.
bool run_chunk(std::ostream& os, selk_run& run, const std::string& chunk_path) {
    std::string path = chunk_path;
    if (parse_chunk_file(&run, path) == 0) {
        write_log_line(run.options, "problem parsing chunk");
        return false;
    }
    write_and_empty(os, run);
    return true;
}

// "-db": one database or one file of pages.
int run_single(std::ostream& os, selk_run& run, const std::string& program_path) {
    const selk_options& options = run.options;
    if (options.switches[kSwitchParseChunk] != 0) {
        // A recovered record that could not be read again when printed leaves the report incomplete.
        if (run_chunk(os, run, options.db_path)) return run.tables_incomplete ? -1 : 0;
        say_unreadable(run, options.db_path, true);
        return -1;
    }
    if (options.switches[kSwitchInput] == 0) {
        print_usage(program_path);
        return -1;
    }
    // A database whose tables cannot be read is a failure the caller must see, not an empty success, also
    // when records were recovered from it.
    run.sqlite.open_failure.clear();  // a reason left from before is not this database's
    const database_read read = run_database(os, run, options.db_path, true);
    if (!read.tables_read) {
        say_unreadable(run, options.db_path, false, read.why);
        return -1;
    }
    // The rows read were printed, but a table broke off: the report is not the whole database.
    return run.tables_incomplete ? -1 : 0;
}

// "-pipe" and "-enumdir": every path of the source as one database (or one file of pages). Each path that
// could not be read is named with its reason (a database whose tables could not be read but gave recovered
// records counts as not read whole); after every path was tried the result is 0 only when every path asked
// for was read whole, else -1 (also when none was left to read).
int run_path_stream(std::ostream& os, selk_run& run) {
    const selk_options& options = run.options;
    run.sqlite.close_and_unload();
    // A folder that is not there would list nothing and end the run without a word. A folder given with
    // wildcards is only known once they are expanded.
    if (!options.pipe && options.enumdir_folder.find('*') == std::string::npos &&
        !is_directory_utf8(options.enumdir_folder)) {
        error_printf("prob accessing folder %s\n", options.enumdir_folder.c_str());
        return -1;
    }
    // Every path was gathered before the outputs were opened, so that none of them was written.
    if (!options.paths_ready) return -1;
    bool tried = false;
    // Files were listed or found, whether or not any passes the filters.
    const bool listed = !options.listed_paths.empty() || options.files_found;
    bool unread = false;
    bool incomplete = false;
    // A folder of the walk that cannot be listed hides whatever it holds: it is named, and the run fails.
    const bool unlisted = !options.unlisted_folders.empty();
    for (const auto& folder : options.unlisted_folders) {
        error_printf("prob accessing folder %s: %s\n", folder.first.c_str(), folder.second.c_str());
        write_log_line(options, "prob accessing folder " + folder.first + ": " + folder.second);
    }
    // A link to a folder is not followed, and what lies beyond it is not read: said, without failing the run.
    for (const auto& link : options.folder_links) {
        const std::string note = link.first + ": a folder link to " + link.second + ": not followed";
        error_printf("note: %s\n", note.c_str());
        write_log_line(options, "note: " + note);
    }
    std::string path;
    for (const std::string& listed_path : options.listed_paths) {
        path = listed_path;
        if (!path_passes_file_filters(options, path)) continue;
        // A log, journal or shared-memory file found beside its database is read with it, not on its own.
        if (!options.pipe && !file_beside_as_companion(path).empty()) continue;
        if (const char* output = own_output_named(options, path)) {
            error_printf("skipping %s: it is the %s file of this run\n", path.c_str(), output);
            continue;
        }
        run.db_path = path;
        write_log_line(options, path);
        run.sqlite.open_failure.clear();  // a reason left from the path before is not this one's
        const bool pages = options.switches[kSwitchParseChunk] != 0;
        database_read read;
        if (pages)
            read.tables_read = run_chunk(os, run, path);
        else
            read = run_database(os, run, path, false);
        incomplete = incomplete || run.tables_incomplete != 0;
        path.clear();
        run.sqlite.close_and_unload();
        tried = true;
        if (!read.tables_read) {
            say_unreadable(run, run.db_path, pages, read.why);
            (read.recovered ? incomplete : unread) = true;
        }
        // Once the report cannot be written there is no point in reading more databases.
        if (os.bad()) break;
    }
    if (!tried) {
        // A folder that could not be listed was named already: that is why nothing was found.
        if (listed || !unlisted)
            error_printf(listed ? "no listed or found file passes the file filter and time window\n"
                                : "no database path was given or found\n");
        return -1;
    }
    if (unread) error_printf("not every listed or found file could be read\n");
    return unread || incomplete || unlisted ? -1 : 0;
}

// Moves everything still buffered to the report destination; false when any part of it was lost.
bool flush_report(std::ostream& os, bool to_file) {
    if (to_file) {
        auto* buffer = dynamic_cast<uni::fileio_ostream*>(os.rdbuf());
        const bool flushed = buffer != nullptr && buffer->flush() == 0;
        return flushed && !os.fail();
    }
    if (auto* buffer = dynamic_cast<uni::stream_forward_buffer*>(os.rdbuf())) {
        const bool flushed = buffer->flush() == 0 && !os.fail();
        std::cout.flush();
        return flushed && !std::cout.fail();
    }
    os.flush();
    return !os.fail();
}

// Standard error is refused: pointed at /dev/null, the reason said on standard output alone, without the
// header block, unless standard output is itself a file that must not be written.
int refuse_standard_error(const std::string& why, const std::string& db_path,
                          const std::vector<std::string>& listed) {
    silence_descriptor(STDERR_FILENO);
    if (standard_output_unsafe(db_path, listed, false).empty()) {
        std::cout << "refusing standard error: " << why << "\n";
        std::cout.flush();
    }
    return -1;
}

// A command line whose options were refused: the header and the usage text, where they may be written.
int refuse_options(const selk_options& options, const std::string& header, const std::string& named_db,
                   const std::string& program_path) {
    if (!options.standard_error_refused.empty())
        return refuse_standard_error(options.standard_error_refused, named_db, options.listed_paths);
    // Standard output that the shell opened on the evidence gets not even the header of a refused run.
    if (standard_output_unsafe(named_db, options.listed_paths).empty()) {
        std::cout << header << "\n";
        std::cout.flush();
    }
    print_usage(program_path);
    return -1;
}

// Where the report goes: the results file of "-out", else standard output, collected in a large buffer
// when nobody reads it as it comes.
struct report_destination {
    uni::fileio results;                                    // the results file, when "-out" names one
    std::unique_ptr<uni::stream_forward_output> collected;  // standard output's buffer, when one is used
    std::ostream* stream = &std::cout;                      // what the report is written to
    bool to_file = false;
};

// Opens the report's destination for `options`; false, said on standard error, when the results file is no
// longer the one that was checked and emptied while the options were accepted.
bool open_report(report_destination& report, const selk_options& options) {
    report.to_file = !options.out_file.empty();
    if (!report.to_file && ::isatty(STDOUT_FILENO) == 0) {
        // Nobody reads the report as it comes: it collects in a large buffer and goes out in few writes.
        report.collected = std::make_unique<uni::stream_forward_output>(&std::cout, kStdoutBufferSize);
        if (report.collected->good()) report.stream = report.collected.get();
    }
    if (!report.to_file) return true;
    uni::fileio_output* stream = nullptr;
    // The file that was checked and emptied while the options were accepted, opened at its target without
    // creating or emptying anything, and written only while it is still that file.
    const held_output& held = options.results_held;
    stat_record st;
    if (report.results.open(held.target, true, false, false) != 0 && report.results.get_stat(&st) == 1 &&
        st.device == held.device && st.inode == held.inode) {
        stream = report.results.open_output_stream();
    }
    if (stream == nullptr) {
        error_printf("prob opening results file: %s for writing\n", options.out_file.c_str());
        return false;
    }
    report.stream = stream;
    return true;
}

// The run of the inputs the options name, its rows written to `rows_out`: -1 also when memory ran out or an
// internal error stopped it (said on standard error; what was written stays).
int run_inputs(std::ostream& rows_out, selk_run& run, const std::string& program_path) {
    const selk_options& options = run.options;
    try {
        if (!options.pipe && !options.enumdir_given) return run_single(rows_out, run, program_path);
        return run_path_stream(rows_out, run);
    } catch (const std::bad_alloc&) {
        // Out of memory, on the reading thread or a helper thread of the run: what was written stays, the run
        // fails.
        error_printf("out of memory: the report is incomplete\n");
    } catch (const std::exception& e) {
        error_printf("run stopped by an internal error (%s): the report is incomplete\n", e.what());
    }
    return -1;
}

// Ends the report: `result`, or -1 when the report or the diagnostics log was cut short (said on standard
// error). `counted` holds the state of the rows' writes when they went through it.
int end_report(report_destination& report, const selk_options& options, const line_counting_output& counted,
               int result) {
    // A report that was cut short must not pass for a complete one.
    if (!flush_report(*report.stream, report.to_file) || counted.fail()) {
        if (report.to_file)
            error_printf("prob writing results file: %s\n", options.out_file.c_str());
        else
            error_printf("prob writing results to standard output\n");
        result = -1;
    }
    // A log cut short must not pass for a complete one either.
    if (diagnostics_write_failed(options)) {
        const std::string& log = options.diags_held.spelled;
        error_printf("prob writing diagnostics log: %s\n",
                     (log.empty() ? options.diagnostics_path : log).c_str());
        result = -1;
    }
    return result;
}

// The report of the run with `options`: the header, the rows of every input, the last status line.
int write_report(report_destination& report, const selk_options& options, const std::string& header,
                 const std::string& program_path) {
    *report.stream << header << "\n";
    // The lines after the banner, counted as they reach the report where the status line is to end with its
    // rows; elsewhere the rows go straight on, the count costing nothing.
    const bool count_rows = options.show_progress && status_line_on_stderr();
    line_counting_output counted(*report.stream);
    std::ostream& rows_out = count_rows ? static_cast<std::ostream&>(counted) : *report.stream;

    selk_run run(options);
    const bool header_due = run.header_on;
    // The helper threads of the whole run, shared out once among the steps that run in parallel.
    run.threads = share_helper_threads(platform_helper_threads());
    const int result = end_report(report, options, counted, run_inputs(rows_out, run, program_path));
    if (count_rows) {
        // Every line after the banner is a row but the header, which comes before the first row.
        const bool header_written = header_due && !run.header_on;
        const std::uint64_t rows = counted.lines() - (header_written && counted.lines() != 0 ? 1 : 0);
        print_last_status_line("rows written: " + std::to_string(rows));
    }
    report.results.close();
    return result;
}

}  // namespace

std::string& selk_program_name() {
    static std::string name = kToolName;
    return name;
}

void selk_static_init() { selk_program_name() = kToolName; }

void print_usage(const std::string& program_path) {
    (void)program_path;
    std::ostringstream os;
    os << std::string(77, '-') << "\n\n";
    os << selk_program_name() << "\n\n";
    os << "Usage\n"
       << " \n"
       << "  selk -db <selkdatabase.db> [options]\n"
       << "  find /home -name *selkdatabase.db -type f | selk -pipe [options]\n"
       << "  ls /home/<folder>/*selkdatabase.db | selk -pipe [options] > ./results\n"
       << "  selk -enumdir <folder> -num_subdirs <#> [options]\n"
       << " \n"
       << " Basic options\n";
    usage_option(os, "-csv", "output in CSV format");
    usage_option(os, "-csvl2t", "log2timeline output");
    usage_option(os, "-bodyfile", "sleuthkit output");
    os << "\n Additional options\n";
    usage_option(os, "-all_fields", "show all fields for -csv output");
    usage_option(os, "-username <name>", "for -csvl2t output");
    usage_option(os, "-hostname <name>", "for -csvl2t output");
    usage_option(os, "-csv_separator \"|\"", "use a pipe char for csv separator");
    usage_option(os, "-dateformat mm/dd/yyyy", "\"yyyy-mm-dd\" is the default");
    usage_option(os, "-timeformat hh:mm:ss", "\"hh:mm:ss\" is the default");
    usage_option(os, "-no_whitespace", "remove whitespace between csv delimiter");
    usage_option(os, "-pipe", "pipe db's into tool for processing");
    usage_option(os, "-quiet", "no progress shown");
    os << "\n Experimental options\n";
    usage_option(os, "-incl_slack", "analyze slack space");
    usage_option(os, "-carve", "bypass SQLite lib during parse");
    usage_option(os, "-parse_chunk", "requires at least 1 db page");
    os << "\n Usage Examples\n"
       << "  selk -db <db file>               = use only SQLite lib for parse\n"
       << "  selk -db <db file> -incl_slack   = use SQLite and Quillmar libs for parse\n"
       << "  selk -db <db file> -carve        = use only Quillmar libs for parse\n"
       << "  selk -db <db page> -parse_chunk  = use only Quillmar libs for parse\n"
       << "\n";
    std::cerr << os.str();
    std::cerr.flush();
}

int process_command_line(const std::vector<std::string>& args, std::ostream& header) {
    const std::string program_path = args.empty() ? std::string() : args[0];
    if (args.size() == 1 || has_option("-h", args, true) || has_option("-help", args, true) ||
        has_option("/?", args, true) || has_option("--help", args, true)) {
        print_usage(program_path);
        return 0;
    }
    std::string& name = selk_program_name();
    name = std::string(kToolName) + " - " + kSelkVersion;
    header << name << "\n";
    header << '"' << kEchoLabel << ": ";
    if (has_option("-pipe", args, true)) header << "<filelist> ... | ";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i != 0) header << ' ';
        // A path may hold line breaks or control bytes: the echo shows them as text.
        std::string arg = args[i];
        show_control_bytes(arg);
        // The line is one quoted CSV field: a double quote inside it is doubled.
        replace_all_in_place(arg, "\"", "\"\"");
        if (arg.find(' ') != std::string::npos)
            header << '\'' << arg << '\'';
        else
            header << arg;
    }
    header << "\"\n";
    return 1;
}

int selk_main(int argc, char* argv[]) {
    selk_static_init();
    std::vector<std::string> args;
    if (argc > 0 && argv != nullptr) cstr_array_to_vector(args, static_cast<unsigned>(argc), argv);
    // Standard error that the shell opened on the evidence (or on a file no output may be) gets nothing, not
    // even the usage text.
    std::string named_db;
    get_option_value("-db", named_db, args, true);
    const std::string error_unsafe = standard_error_unsafe(named_db);
    if (!error_unsafe.empty()) return refuse_standard_error(error_unsafe, named_db, {});
    cmdline_ctx context;
    std::ostringstream header;
    if (process_command_line(args, header) == 0) return 0;
    const std::string program_path = args.empty() ? std::string() : args[0];

    selk_options parsed;
    if (parse_selk_options(parsed, args, true) == 0)
        return refuse_options(parsed, header.str(), named_db, program_path);
    init_cmdline_ctx(context, parsed, no_cleanup);
    // Nothing writes the options once they are taken: the run reads them as they were parsed.
    const selk_options& options = parsed;
    report_destination report;
    if (!open_report(report, options)) return -1;
    return write_report(report, options, header.str(), program_path);
}
