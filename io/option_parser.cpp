#include "io/option_parser.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/formatters.h"
#include "common/int_parsers.h"
#include "common/number_lists.h"
#include "common/split_join.h"
#include "common/text_numbers.h"
#include "common/text_ops.h"
#include "io/console.h"
#include "io/diags_log.h"
#include "io/diags_open.h"
#include "io/file_utils.h"
#include "io/fileio.h"
#include "io/filename_filter.h"
#include "io/option_lookup.h"
#include "io/path_prefixes.h"
#include "platform/file_status.h"
#include "time/calendar.h"
#include "time/format_word.h"
#include "time/qm_time.h"
#include "time/time_parse.h"
#include "time/time_text.h"

namespace {

// Percent references are expanded while the text is at most this long.
const std::size_t kExpandLimit = 512;
// Replacements allowed in one expansion: a chain that does not grow (a variable whose value is a reference
// to itself) would otherwise never pass the length limit.
const int kMaxReplacements = 4096;

const char kImbalancedAlias[] = "imbalanced alias to true pathfiles";

bool path_exists(const std::string& path) {
    stat_record record;
    return platform_lstat(path.c_str(), &record) == 0;
}

// Joins the arguments by single blanks, an argument holding a blank between double quote characters.
std::string command_line_of(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i != 0) line += ' ';
        if (args[i].find(' ') != std::string::npos) {
            line += '"' + args[i] + '"';
        } else {
            line += args[i];
        }
    }
    return line;
}

std::string tool_name_of(const std::string& program) {
    std::string name = program;
    const std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string expanded(std::string text) {
    std::string copy;
    expand_environment_variables(copy, text, true);
    return text;
}

// Clears the other five output formats; the caller then sets its own.
void only_format(cmd_params& o, bool cmd_params::*format) {
    o.xml = o.csv = o.csvl2t = o.csvgen = o.bodyfile = o.multiline = false;
    o.*format = true;
}

void set_separator_text(cmd_params& o, const char* text) {
    std::string t = text;
    set_csv_separator(o, t, false);
}

// "-diags": only tests here that the log file can be written, without changing it; the log is opened (and
// truncated) once the whole command line has been accepted, so a refused command line leaves no trace.
// With `probe` false nothing is tested: the caller opens and checks the file itself.
void test_diagnostics_path(cmd_params& o, std::vector<std::string>& args, bool& diags_ok, bool probe) {
    std::string value;
    if (!take_option_value("-diags", value, args)) return;
    // A path option: environment references are expanded, as in "-db" and "-out".
    value = expanded(value);
    if (o.diagnostics != nullptr) {
        o.diagnostics->close();
        delete o.diagnostics;
        o.diagnostics = nullptr;
    }
    o.diagnostics_on = false;
    o.diagnostics_path = value;
    diags_ok = true;
    if (probe) {
        const bool existed = path_exists(value);
        {
            std::ofstream file(value, std::ios::out | std::ios::app);
            diags_ok = file.good();
        }
        if (!existed && path_exists(value)) std::remove(value.c_str());
    }
    if (!diags_ok) {
        o.diagnostics_path.clear();
        return;
    }
    if (take_option_flag("-l2", args, false)) {
        o.log_level = 2;
    } else if (take_option_flag("-l3", args, false)) {
        o.log_level = 3;
    }
}

void open_diagnostics(cmd_params& o) {
    if (open_diagnostics_log(o, o.diagnostics_path) == 0) o.log_level = 0;
}

// Splits an alias value at the bar; false when the split itself fails (an empty value).
bool split_pairs(const std::string& value, std::vector<std::string>& pieces) {
    return split_string(value, '|', pieces, true, false, false) != 0;
}

bool parse_alias(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (!take_option_value("-alias", value, args)) return true;
    std::vector<std::string> pieces;
    split_pairs(value, pieces);
    if (pieces.empty() || pieces.size() % 2 != 0) {
        message_printf("%s, aborting\n", kImbalancedAlias);
        return false;
    }
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        std::string alias = expanded(pieces[i]);
        const std::string path = expanded(pieces[i + 1]);
        string_to_lower(alias);
        o.aliases.insert(std::make_pair(alias, path));
    }
    return true;
}

bool parse_alias_path(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (!take_option_value("-aliaspath", value, args)) return true;
    std::vector<std::string> pieces;
    if (!split_pairs(value, pieces)) {
        // One true folder for every alias.
        o.alias_paths.insert(std::make_pair(std::string("*"), expanded(value)));
        return true;
    }
    if (pieces.size() % 2 != 0) {
        message_printf("%s, aborting\n", kImbalancedAlias);
        return false;
    }
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        std::string alias = expanded(pieces[i]);
        std::string path = expanded(pieces[i + 1]);
        string_to_lower(alias);
        if (!alias.empty() && alias.back() == '/') alias.pop_back();
        remove_char(path, '"');
        if (!path.empty() && path.back() == '/') path.pop_back();
        o.alias_paths.insert(std::make_pair(alias, path));
    }
    return true;
}

// "-out": the results file must be writable. An existing file is opened without truncation and left as it
// was; a file that the test had to create is removed again, so the test never destroys or leaves anything.
// With `probe` false nothing is opened: the caller opens and checks the file itself.
bool test_results_file(cmd_params& o, std::vector<std::string>& args, bool probe) {
    std::string value;
    if (!take_option_value("-out", value, args) && !take_option_value("-outfile", value, args)) return true;
    o.out_file = expanded(value);
    replace_char(o.out_file, '\\', '/', false);
    o.out_file_given = true;
    if (!probe) return true;
    // "-append" changes nothing here: the test never truncates, whether the caller appends or not.
    const bool existed = path_exists(o.out_file);
    uni::fileio file;
    const bool opened = file.open(o.out_file, true, false, !existed) != 0;
    if (!opened) {
        message_printf("prob opening file %s for output, aborting\n", o.out_file.c_str());
        return false;
    }
    file.close();
    if (!existed) std::remove(o.out_file.c_str());
    return true;
}

void parse_filter_lists(std::vector<std::string>& args, const char* option,
                        std::vector<filename_filter>& target) {
    std::string value;
    while (take_option_value(option, value, args)) {
        std::vector<filename_filter> built;
        if (build_filename_filters(built, value)) target.insert(target.end(), built.begin(), built.end());
    }
    // The folder condition holds for every name of the list, whichever "-filter" gave it.
    std::string folder;
    if (!target.empty() && take_option_value("-filter_path", folder, args)) {
        // Lower-cased as the folders it is looked for in are.
        std::wstring wide = utf8_to_wstring(folder);
        wstring_to_lower(wide);
        for (filename_filter& f : target) {
            f.path_text = wide;
            f.path_text_length = static_cast<std::uint32_t>(wide.size());
        }
    }
}

void parse_signature_filters(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    while (take_option_value("-filter_sig", value, args)) {
        std::vector<std::string> pieces;
        if (value.find('|') != std::string::npos) split_string(value, '|', pieces, true, false, false);
        if (value.find(',') != std::string::npos) split_string(value, ',', pieces, true, false, false);
        if (pieces.empty()) pieces.push_back(value);
        std::vector<std::uint8_t> bytes;
        parse_byte_list(bytes, pieces[0], ' ', true);
        std::uint64_t offset = 0;
        if (pieces.size() == 2 && !cstr_to_u64(pieces[1].c_str(), &offset)) offset = 0;
        if (bytes.empty()) continue;
        filename_filter entry;
        entry.signature = bytes;
        entry.signature_offset = offset;
        o.include_filters.push_back(entry);
    }
}

// Cuts a window value at its first blank into date and time.
void split_date_time(const std::string& value, std::string& date, std::string& time) {
    const std::size_t blank = value.find(' ');
    if (blank == std::string::npos) {
        date = value;
        time.clear();
    } else {
        date = value.substr(0, blank);
        time = value.substr(blank + 1);
    }
}

// The FILETIME of signed Unix seconds and milliseconds; 0 before 1601, where no FILETIME lies.
std::uint64_t window_filetime(std::int64_t unix_seconds, std::uint32_t milliseconds) {
    const std::int64_t since_1601 = unix_seconds + static_cast<std::int64_t>(kFiletimeUnix / kTicksPerSecond);
    if (since_1601 < 0) return 0;
    return static_cast<std::uint64_t>(since_1601) * kTicksPerSecond + milliseconds * 10000ull;
}

}  // namespace

window_reading read_window_value(const std::string& value, bool stop, window_point* point) {
    std::string date, time;
    split_date_time(value, date, time);
    if (stop && time.empty()) time = "23:59:59";
    if (date.empty() || (date.find('/') == std::string::npos && date.find('-') == std::string::npos))
        return window_reading::no_date_form;
    const char sep = date.find('/') != std::string::npos ? '/' : '-';
    std::uint32_t day = 0, month = 0, year = 0, hour = 0, minute = 0;
    double seconds = 0;
    if (!parse_ordered_date(date.c_str(), "YMD", sep, &day, &month, &year))
        return window_reading::no_date_form;
    if (!time.empty() && !parse_time_text(time.c_str(), &hour, &minute, &seconds))
        return window_reading::no_date_form;
    // The fields read, but a day past the month's end or an hour of 24 would roll into the next: the
    // window would then start or stop elsewhere than written.
    std::int64_t unix_seconds = 0;
    if (!civil_to_unix_seconds(year, month, day, 0, 0, 0, unix_seconds)) return window_reading::no_such_date;
    const double whole = std::floor(seconds);
    if (!civil_to_unix_seconds(year, month, day, hour, minute, static_cast<unsigned>(whole), unix_seconds))
        return window_reading::no_such_time;
    const double fraction = (seconds - whole) * 1000.0 + 0.5;
    const std::uint32_t milliseconds = fraction >= 999 ? 999u : static_cast<std::uint32_t>(fraction);
    if (point != nullptr) {
        point->unix_seconds = unix_seconds;
        point->filetime = window_filetime(unix_seconds, milliseconds);
    }
    return window_reading::time;
}

namespace {

// Reads one end of the time window into `set`, `filetime` and `unix_seconds`; false only for a date
// without '/' or '-' (the parser then refuses the command line).
bool read_window_end(const std::string& value, bool stop, bool& set, std::uint64_t& filetime,
                     std::int64_t& unix_seconds) {
    window_point point;
    set = read_window_value(value, stop, &point) == window_reading::time;
    filetime = set ? point.filetime : 0;
    unix_seconds = set ? point.unix_seconds : 0;
    std::string date, time;
    split_date_time(value, date, time);
    return date.find_first_of("/-") != std::string::npos;
}

bool parse_time_window(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (take_option_value("-cmd_start_time", value, args)) {
        if (!read_window_end(value, false, o.start_time_set, o.start_filetime, o.start_unix_seconds))
            return false;
        if (!o.start_time_set) {
            o.stop_time_set = false;
            o.stop_filetime = 0;
            o.stop_unix_seconds = 0;
            message_printf("invalid start time, ignoring\n");
        } else {
            // Open at its end until a stop is given: no file time lies after it.
            o.stop_time_set = true;
            o.stop_filetime = ~std::uint64_t{0};
            o.stop_unix_seconds = std::numeric_limits<std::int64_t>::max();
        }
    }
    if (take_option_value("-cmd_stop_time", value, args)) {
        if (!read_window_end(value, true, o.stop_time_set, o.stop_filetime, o.stop_unix_seconds))
            return false;
        if (!o.stop_time_set || (o.start_time_set && o.stop_unix_seconds < o.start_unix_seconds)) {
            o.stop_time_set = false;
            o.stop_filetime = 0;
            o.stop_unix_seconds = 0;
            message_printf("invalid stop time, ignoring\n");
        }
    }
    return true;
}

// `text` without a leading "0x" or "0X", and whether it had one.
std::string without_hex_prefix(const std::string& text, bool& had) {
    had = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    return had ? text.substr(2) : text;
}

bool all_of_digits(const std::string& text, bool hex) {
    if (text.empty()) return false;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (hex ? std::isxdigit(u) == 0 : std::isdigit(u) == 0) return false;
    }
    return true;
}

// A signature offset: decimal, or "0x" and hexadecimal; false for any other text or one of 2^63 or more,
// where no file offset lies.
bool read_signature_offset(const std::string& text, std::uint64_t& out) {
    bool hex = false;
    const std::string digits = without_hex_prefix(text, hex);
    if (!all_of_digits(digits, hex)) return false;
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t base = hex ? 16 : 10;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const std::uint64_t digit =
            std::isdigit(static_cast<unsigned char>(c)) != 0
                ? static_cast<std::uint64_t>(c - '0')
                : static_cast<std::uint64_t>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        if (value > (limit - digit) / base) return false;
        value = value * base + digit;
    }
    out = value;
    return true;
}

// A date pattern that the format word can compile: its day, month and year tokens in an order it prints.
bool date_pattern_compiles(const std::string& lower) {
    date_time_format word;
    return parse_date_time_format(word, lower, std::string(), false);
}

// The time library always prints hours, minutes and seconds in that order, then x fraction digits; a
// pattern that asks for anything else would be printed otherwise than it reads.
bool time_pattern_printable(const std::string& lower) {
    const std::string fixed = "hh:mm:ss";
    if (lower.compare(0, fixed.size(), fixed) != 0) return false;
    if (lower.size() == fixed.size()) return true;
    if (lower[fixed.size()] != '.') return false;
    return lower.find_first_not_of('x', fixed.size() + 1) == std::string::npos;
}

void warn_default_format(const std::string& value) {
    message_printf("%s\n", ("invalid " + value + ", using default format").c_str());
}

std::string lower_case(std::string text) {
    string_to_lower(text);
    return text;
}

void parse_formats_text(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (take_option_value("-dateformat", value, args)) {
        if (date_format_usable(value)) {
            o.date_format = lower_case(value);
        } else {
            warn_default_format(value);
        }
    }
    if (take_option_value("-timeformat", value, args)) {
        if (time_format_usable(value)) {
            o.time_format = lower_case(value);
        } else {
            warn_default_format(value);
        }
    }
}

void read_os_version(cmd_params& o) {
    std::string version;
    if (!read_host_os_version(version)) return;
    o.os_product_version = version;
    if (version.empty()) return;
    std::vector<std::string> pieces;
    split_string(version, '.', pieces, true, false, false);
    if (pieces.size() >= 1) cstr_to_uint(pieces[0].c_str(), &o.os_major);
    if (pieces.size() >= 2) cstr_to_uint(pieces[1].c_str(), &o.os_minor);
    if (pieces.size() >= 3) cstr_to_uint(pieces[2].c_str(), &o.os_patch);
}

bool read_text_file(const char* path, std::string& text) {
    std::vector<std::uint8_t> bytes;
    if (!read_file_to_vector(bytes, path, 0xffffffffu) || bytes.empty()) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

// The output format switches: each clears the other formats and brings its header and separator (of several
// given, the one taken last here wins).
void take_output_format(cmd_params& o, std::vector<std::string>& args) {
    if (take_option_flag("-csv", args, false)) {
        only_format(o, &cmd_params::csv);
        set_separator_text(o, ",");
        o.no_whitespace = !o.pair_datetime;
    }
    if (take_option_flag("-csvgen", args, false)) {
        only_format(o, &cmd_params::csvgen);
        set_separator_text(o, ",");
        o.no_whitespace = true;
    }
    if (take_option_flag("-csvl2t", args, false)) {
        only_format(o, &cmd_params::csvl2t);
        o.header_on = true;
        set_separator_text(o, ",");
    }
    if (take_option_flag("-bodyfile", args, false)) {
        only_format(o, &cmd_params::bodyfile);
        o.header_on = true;
        set_separator_text(o, "|");
    }
    if (take_option_flag("-xml", args, false)) {
        only_format(o, &cmd_params::xml);
        o.header_on = false;
        set_separator_text(o, "");
    }
    if (take_option_flag("-multiline", args, false)) {
        only_format(o, &cmd_params::multiline);
        o.header_on = true;
        o.separator.clear();
        o.value_char = 0;
        o.value_char_replacement = 0;
    }
}

// The switches of the run itself: compression, threads, the SQLite output and its log, the signal text, the
// host and user names, the CPU and how the results are split into files.
void take_run_settings(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (take_option_flag("-gzip", args, false)) o.compressed = o.gzip = true;
    if (take_option_flag("-zlib", args, false)) o.compressed = o.zlib = true;
    if (take_option_value("-threads", value, args)) cstr_to_int(value.c_str(), &o.threads);
    if (take_option_value("-zlibex", value, args)) {
        o.compressed = o.zlibex = true;
        o.zlibex_text = value;
    }
    if (take_option_value("-sqlite_log", value, args)) o.sqlite_log_path = value;
    if (take_option_value("-sqlite", value, args)) {
        o.sqlite_on = true;
        o.sqlite_off = false;
        o.sqlite_path = value;
    }
    if (take_option_value("-signal", value, args)) o.signal_text = value;
    if (take_option_value("-hostname", value, args)) {
        o.host_name = value;
        o.hostname_given = true;
    }
    if (take_option_flag("-split_pathfile", args, false)) o.split_pathfile = true;
    if (take_option_value("-username", value, args)) {
        o.user_name = value;
        o.username_given = true;
    }
    if (take_option_value("-cpuinst", value, args)) {
        std::uint32_t n = 0;
        cstr_to_uint(value.c_str(), &n);
        o.cpu_instance = static_cast<std::int32_t>(n);
    }
    if (take_option_value("-cpu", value, args)) cstr_to_uint(value.c_str(), &o.cpu);
    if (take_option_value("-fragment_files", value, args)) {
        cstr_to_uint(value.c_str(), &o.fragment_count);
        o.separate_files = true;
    }
    if (take_option_flag("-separate_files", args, false)) o.separate_files = true;
}

// The folders: where the results go, and the folder enumerated and how deep.
void take_folders(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (take_option_value("-outdir", value, args)) {
        o.out_dir = expanded(value);
        o.out_dir_given = true;
    }
    if (take_option_value("-enumdir", value, args)) {
        o.enumdir_folder = path_opened(value);
        o.enumdir_given = true;
    }
    if (take_option_value("-num_subdirs", value, args)) cstr_to_uint(value.c_str(), &o.num_subdirs);
}

// How values are written: the number base, the CSV separator and quoting, the blanks around separators and
// the date and time patterns.
void take_value_layout(cmd_params& o, std::vector<std::string>& args) {
    std::string value;
    if (take_option_flag("-base10", args, false)) o.base16 = false;
    if (take_option_flag("-base16", args, false)) o.base16 = true;
    if (take_option_value("-csv_separator", value, args)) set_csv_separator(o, value, false);
    if (take_option_flag("-enable_quoted_csv_fields", args, false)) {
        o.quoted_csv_fields = true;
        if (o.separator.find('\t') == std::string::npos) trim_whitespace(o.separator);
        o.padded_separator = false;
        o.value_char = 0;
    }
    if (take_option_flag("-no_whitespace", args, false)) {
        o.no_whitespace = true;
        o.padded_separator = false;
        remove_char(o.separator, ' ');
    }
    parse_formats_text(o, args);
}

}  // namespace

const char* read_signature_value(const std::string& value, std::vector<std::uint8_t>* bytes,
                                 std::uint64_t* offset) {
    // Cut as the common parser cuts it: at ',' where the value holds one, else at '|'.
    std::vector<std::string> pieces;
    split_string(value, value.find(',') != std::string::npos ? ',' : '|', pieces, true, true, false);
    if (pieces.empty() || pieces.size() > 2)
        return "it must be written 'HEX BYTES|OFFSET', e.g. '53 51 4c|0'";
    std::vector<std::string> fields;
    split_string(pieces[0], ' ', fields, true, false, false);
    std::vector<std::uint8_t> read;
    for (const std::string& field : fields) {
        bool hex = false;
        const std::string digits = without_hex_prefix(field, hex);
        if (digits.size() > 2 || !all_of_digits(digits, true))
            return "the bytes must be hexadecimal, one or two digits each, e.g. 53 51 4c";
        read.push_back(static_cast<std::uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
    }
    if (read.empty()) return "it names no bytes";
    std::uint64_t at = 0;
    if (pieces.size() == 2 && !read_signature_offset(pieces[1], at))
        return "the offset must be a number of bytes from the file's start (decimal or 0x hexadecimal, below "
               "2^63)";
    if (bytes != nullptr) *bytes = read;
    if (offset != nullptr) *offset = at;
    return nullptr;
}

// A pattern of an accepted length that cannot be honoured is refused like one of a wrong length, so that
// no date or time is printed in another form than the one asked for without a word.
bool date_format_usable(const std::string& value) {
    return (value.size() == 8 || value.size() == 10) && date_pattern_compiles(lower_case(value));
}

bool time_format_usable(const std::string& value) {
    const std::size_t n = value.size();
    return (n == 8 || (n >= 12 && n <= 18)) && value.find(':') != std::string::npos &&
           time_pattern_printable(lower_case(value));
}

bool os_version_from_plist_text(const std::string& text, std::string& version) {
    version.clear();
    const std::size_t key = text.find(">ProductVersion<");
    if (key == std::string::npos) return false;
    const std::size_t open = text.find("<string>", key + 16);
    if (open == std::string::npos) return false;
    const std::size_t start = open + 8;
    const std::size_t end = text.find("</s", start);
    version = end == std::string::npos ? text.substr(start) : text.substr(start, end - start);
    return true;
}

bool os_version_from_os_release_text(const std::string& text, std::string& version) {
    version.clear();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        trim_whitespace(line);
        if (line.compare(0, 11, "VERSION_ID=") != 0) continue;
        version = line.substr(11);
        if (version.size() >= 2 && (version[0] == '"' || version[0] == '\'') &&
            version.back() == version[0]) {
            version = version.substr(1, version.size() - 2);
        }
        return true;
    }
    return false;
}

bool read_host_os_version(std::string& version) {
    version.clear();
    std::string text;
    if (read_text_file("/System/Library/CoreServices/SystemVersion.plist", text)) {
        return os_version_from_plist_text(text, version);
    }
    if (read_text_file("/etc/os-release", text)) return os_version_from_os_release_text(text, version);
    if (read_text_file("/usr/lib/os-release", text)) return os_version_from_os_release_text(text, version);
    return false;
}

std::string& expand_environment_variables(std::string& out, std::string& text, bool vss) {
    std::size_t p = 0;
    int replacements = 0;
    while (text.size() <= kExpandLimit && replacements < kMaxReplacements) {
        const std::size_t open = text.find('%', p);
        if (open == std::string::npos) break;
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) break;
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value != nullptr) {
            text.replace(open, close - open + 1, value);
            ++replacements;
            // The inserted value is examined again.
            p = open;
            continue;
        }
        std::string lower = name;
        string_to_lower(lower);
        if (vss && lower == "vss") {
            text.replace(open, close - open + 1, shadow_copy_prefix(false, true));
            ++replacements;
        }
        p = close + 1;
    }
    out = text;
    return out;
}

std::string path_opened(const std::string& path) {
    if (path.empty() || path_exists(path)) return path;
    std::string expanded = path, copy;
    expand_environment_variables(copy, expanded, false);
    return expanded;
}

std::wstring& expand_environment_variables_wide(std::wstring& out, std::wstring& text) {
    std::string narrow;
    wide_to_utf8(narrow, text);
    std::string copy;
    expand_environment_variables(copy, narrow, false);
    utf8_to_wide(text, narrow);
    out = text;
    return out;
}

bool select_time_locale_name(std::string& name) {
    name.clear();
    if (is_locale_name_valid("")) return true;
    std::string text = "%LC_TIME%";
    std::string copy;
    expand_environment_variables(copy, text, false);
    if (is_locale_name_valid(text.c_str())) {
        name = text;
        return true;
    }
    text = "%LANG%";
    expand_environment_variables(copy, text, false);
    if (is_locale_name_valid(text.c_str())) {
        name = text;
        return true;
    }
    name.clear();
    return false;
}

bool normalize_path(std::string& path, bool expand_env) {
    if (path.empty()) return false;
    replace_char(path, '\\', '/', true);
    if (expand_env) {
        std::string copy;
        expand_environment_variables(copy, path, true);
    }
    if (path.find('.') == std::string::npos) return true;
    std::vector<std::string> pieces;
    split_string(path, '/', pieces, true, true, false);
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i == 0) {
            if (pieces[i] != ".") kept.push_back(pieces[i]);
        } else if (!pieces[i].empty() && pieces[i] != ".") {
            kept.push_back(pieces[i]);
        }
    }
    std::string rebuilt;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i == 0 && kept[i].empty()) {
            rebuilt += '/';
        } else if (i + 1 < kept.size() && kept[i + 1] == "..") {
            ++i;
        } else {
            rebuilt += kept[i];
            if (i + 1 < kept.size()) rebuilt += '/';
        }
    }
    path = rebuilt;
    return true;
}

void set_csv_separator(cmd_params& options, std::string& text, bool semicolon) {
    options.separator = text;
    if (options.quoted_csv_fields) {
        options.value_char = 0;
        options.value_char_replacement = 0;
        return;
    }
    string_to_lower(text);
    if (text.find('|') != std::string::npos) {
        options.value_char = '|';
        options.value_char_replacement = ';';
    } else if (text.find(',') != std::string::npos) {
        options.value_char = ',';
        options.value_char_replacement = semicolon ? ';' : ' ';
    } else if (text == "tab" || text == "\\t") {
        options.separator = "\t";
        options.value_char = 0;
        options.value_char_replacement = 0;
    } else {
        options.value_char = 0;
        options.value_char_replacement = 0;
    }
}

bool parse_common_options(cmd_params& o, std::vector<std::string>& args) {
    return parse_common_options(o, args, true);
}

bool open_tested_diagnostics_log(cmd_params& o) {
    if (o.diagnostics == nullptr && !o.diagnostics_path.empty()) open_diagnostics(o);
    return o.diagnostics_on;
}

bool parse_common_options(cmd_params& o, std::vector<std::string>& args, bool open_log) {
    // The time library prints locale dates through the chooser of this layer.
    set_time_locale_selector(select_time_locale_name);
    if (args.empty()) return false;
    if (o.command_line.empty()) o.command_line = command_line_of(args);
    if (o.tool_name.empty()) o.tool_name = tool_name_of(args[0]);

    if (take_option_flag("-pair_datetime", args, false)) o.pair_datetime = true;
    bool diags_ok = false;
    test_diagnostics_path(o, args, diags_ok, open_log);

    take_output_format(o, args);
    if (!parse_alias(o, args)) return false;
    if (!parse_alias_path(o, args)) return false;
    take_run_settings(o, args);
    if (!test_results_file(o, args, open_log)) return false;
    take_folders(o, args);
    if (take_option_flag("-profile", args, false)) o.profile = true;
    if (take_option_flag("-pipe", args, false)) o.pipe = true;
    parse_filter_lists(args, "-filter_skip", o.skip_filters);
    parse_filter_lists(args, "-filter", o.include_filters);
    parse_signature_filters(o, args);
    if (!parse_time_window(o, args)) return false;
    take_value_layout(o, args);
    if (take_option_flag("-verbose", args, false) || take_option_flag("-v", args, false)) o.verbose = true;
    if (take_option_flag("-quiet", args, false)) o.show_progress = false;
    parse_date_time_format(o.format_word, o.date_format, o.time_format, o.pair_datetime);
    read_os_version(o);
    if (diags_ok && open_log) open_diagnostics(o);
    return true;
}
