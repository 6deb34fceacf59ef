#include "io/cmd_params.h"

#include "common/case_conv.h"
#include "io/diags_log.h"
#include "time/time_text.h"

namespace {

// Who runs, where the results go and how values are laid out: names, aliases, patterns and separators.
void copy_names_and_layout(cmd_params& to, const cmd_params& o) {
    to.owner = o.owner;
    to.command_line = o.command_line;
    to.tool_name = o.tool_name;
    to.tool_text = o.tool_text;
    to.out_file = o.out_file;
    to.out_dir = o.out_dir;
    to.user_name = o.user_name;
    to.host_name = o.host_name;
    to.source_type = o.source_type;
    to.reserved_word_1 = o.reserved_word_1;
    to.reserved_word_2 = o.reserved_word_2;
    to.reserved_text_1 = o.reserved_text_1;
    to.reserved_text_2 = o.reserved_text_2;
    to.alias_paths = o.alias_paths;
    to.aliases = o.aliases;
    to.reserved_list_1 = o.reserved_list_1;
    to.reserved_list_2 = o.reserved_list_2;
    to.date_format = o.date_format;
    to.time_format = o.time_format;
    to.format_word = o.format_word;
    to.value_char = o.value_char;
    to.value_char_replacement = o.value_char_replacement;
    to.reserved_word_3 = o.reserved_word_3;
    to.separator = o.separator;
    to.no_whitespace = o.no_whitespace;
    to.padded_separator = o.padded_separator;
    to.base16 = o.base16;
    to.username_given = o.username_given;
    to.hostname_given = o.hostname_given;
    to.split_pathfile = o.split_pathfile;
    to.reserved_flag_1 = o.reserved_flag_1;
    to.reserved_flag_2 = o.reserved_flag_2;
    to.reserved_count = o.reserved_count;
    to.reserved_wide_list = o.reserved_wide_list;
    to.reserved_word_4 = o.reserved_word_4;
}

// How the run works: compression, the SQLite output, the CPU, the files the results are split into, the
// run-log callback, the output format and what it tells on the way.
void copy_run_settings(cmd_params& to, const cmd_params& o) {
    to.compressed = o.compressed;
    to.gzip = o.gzip;
    to.zlib = o.zlib;
    to.zlibex = o.zlibex;
    to.zlibex_text = o.zlibex_text;
    to.sqlite_on = o.sqlite_on;
    to.sqlite_path = o.sqlite_path;
    to.out_dir_given = o.out_dir_given;
    to.out_file_given = o.out_file_given;
    to.cpu_instance = o.cpu_instance;
    to.cpu = o.cpu;
    to.separate_files = o.separate_files;
    to.fragment_count = o.fragment_count;
    to.reserved_flag_3 = o.reserved_flag_3;
    to.reserved_word_6 = o.reserved_word_6;
    to.reserved_word_7 = o.reserved_word_7;
    to.sqlite_log_path = o.sqlite_log_path;
    to.run_log_callback_on = o.run_log_callback_on;
    to.run_log_callback = o.run_log_callback;
    to.run_log_callback_context = o.run_log_callback_context;
    to.xml = o.xml;
    to.csv = o.csv;
    to.csvl2t = o.csvl2t;
    to.csvgen = o.csvgen;
    to.bodyfile = o.bodyfile;
    to.multiline = o.multiline;
    for (int i = 0; i < 4; ++i) to.reserved_flags[i] = o.reserved_flags[i];
    to.verbose = o.verbose;
    to.show_progress = o.show_progress;
    to.sqlite_off = o.sqlite_off;
    to.pair_datetime = o.pair_datetime;
    to.header_on = o.header_on;
}

// What the log has said and where it goes, the header fields, the filters, the folder enumerated, the host's
// version and the time window.
void copy_log_filters_and_window(cmd_params& to, const cmd_params& o) {
    to.log_counter = o.log_counter;
    to.log_texts[0] = o.log_texts[0];
    to.header_fields = o.header_fields;
    to.diagnostics_path = o.diagnostics_path;
    to.log_text_1 = o.log_text_1;
    to.log_text_2 = o.log_text_2;
    to.signal_text = o.signal_text;
    to.include_filters = o.include_filters;
    to.skip_filters = o.skip_filters;
    to.pipe = o.pipe;
    to.enumdir_folder = o.enumdir_folder;
    to.num_subdirs = o.num_subdirs;
    to.enumdir_given = o.enumdir_given;
    to.os_product_version = o.os_product_version;
    to.os_major = o.os_major;
    to.os_minor = o.os_minor;
    to.os_patch = o.os_patch;
    to.os_reserved = o.os_reserved;
    to.profile = o.profile;
    to.reserved_word_9 = o.reserved_word_9;
    to.start_time_set = o.start_time_set;
    to.start_filetime = o.start_filetime;
    to.start_unix_seconds = o.start_unix_seconds;
    to.stop_time_set = o.stop_time_set;
    to.stop_filetime = o.stop_filetime;
    to.stop_unix_seconds = o.stop_unix_seconds;
}

}  // namespace

cmd_params::cmd_params(std::uint64_t owner_word, bool make_log_buffer)
    : owner(0),
      reserved_word_1(0),
      reserved_word_2(0),
      value_char('|'),
      value_char_replacement(';'),
      reserved_word_3(0),
      no_whitespace(false),
      padded_separator(true),
      base16(true),
      username_given(false),
      hostname_given(false),
      split_pathfile(false),
      quoted_csv_fields(false),
      reserved_flag_1(false),
      reserved_flag_2(true),
      reserved_count(16),
      reserved_word_4(0),
      compressed(false),
      gzip(false),
      zlib(false),
      zlibex(false),
      threads(0),
      sqlite_on(false),
      reserved_word_5(0),
      out_dir_given(false),
      out_file_given(false),
      cpu_instance(-1),
      cpu(0),
      separate_files(false),
      fragment_count(0),
      reserved_flag_3(false),
      reserved_word_6(0),
      reserved_word_7(0),
      run_log_callback_on(false),
      reserved_word_8(0),
      run_log_callback(nullptr),
      run_log_callback_context(nullptr),
      xml(false),
      csv(false),
      csvl2t(false),
      csvgen(false),
      bodyfile(false),
      multiline(false),
      reserved_flags{false, false, false, false},
      verbose(true),
      show_progress(true),
      sqlite_off(true),
      pair_datetime(false),
      header_on(true),
      log_counter(0),
      log_words{0, 0},
      diagnostics_on(false),
      log_level(0),
      log_buffer(nullptr),
      diagnostics(nullptr),
      profile(false),
      reserved_word_9(0),
      pipe(false),
      num_subdirs(0),
      enumdir_given(false),
      os_major(0),
      os_minor(0),
      os_patch(0),
      os_reserved(0),
      start_time_set(false),
      start_filetime(0),
      start_unix_seconds(0),
      stop_time_set(false),
      stop_filetime(0),
      stop_unix_seconds(0) {
    reset();
    owner = owner_word;
    if (make_log_buffer) log_buffer = new std::ostringstream();
    reset_log_state();
}

cmd_params::cmd_params(const cmd_params& other) : cmd_params(0, false) { copy_from(other); }

cmd_params& cmd_params::operator=(const cmd_params& other) {
    if (this != &other) copy_from(other);
    return *this;
}

cmd_params::~cmd_params() { release_streams(); }

void cmd_params::release_streams() {
    if (diagnostics != nullptr) {
        diagnostics->close();
        delete diagnostics;
        diagnostics = nullptr;
    }
    diagnostics_on = false;
    delete log_buffer;
    log_buffer = nullptr;
}

void cmd_params::reset() {
    command_line.clear();
    tool_name.clear();
    tool_text.clear();
    out_file.clear();
    out_dir.clear();
    user_name.clear();
    host_name.clear();
    source_type.clear();
    reserved_word_1 = 0;
    reserved_word_2 = 0;
    reserved_text_1.clear();
    reserved_text_2.clear();
    alias_paths.clear();
    aliases.clear();
    reserved_list_1.clear();
    reserved_list_2.clear();
    date_format = kDefaultDatePattern;
    time_format = kDefaultTimePattern;
    format_word.flags = 0;
    format_word.min_year = 1900;
    format_word.max_year = 2600;
    format_word.reserved = 0;
    value_char = '|';
    value_char_replacement = ';';
    reserved_word_3 = 0;
    separator = " | ";
    no_whitespace = false;
    padded_separator = true;
    base16 = true;
    username_given = false;
    hostname_given = false;
    split_pathfile = false;
    quoted_csv_fields = false;
    reserved_flag_1 = false;
    reserved_flag_2 = true;
    reserved_count = 16;
    reserved_wide_list.clear();
    reserved_word_4 = 0;
    compressed = false;
    gzip = false;
    zlib = false;
    zlibex = false;
    zlibex_text.clear();
    threads = 0;
    sqlite_on = false;
    sqlite_path.clear();
    reserved_word_5 = 0;
    out_dir_given = false;
    out_file_given = false;
    cpu_instance = -1;
    cpu = 0;
    separate_files = false;
    fragment_count = 0;
    reserved_flag_3 = false;
    reserved_word_6 = 0;
    reserved_word_7 = 0;
    sqlite_log_path.clear();
    run_log_callback_on = false;
    reserved_word_8 = 0;
    run_log_callback = nullptr;
    run_log_callback_context = nullptr;
    run_log.clear();
    xml = csv = csvl2t = csvgen = bodyfile = multiline = false;
    for (bool& f : reserved_flags) f = false;
    verbose = true;
    show_progress = true;
    sqlite_off = true;
    pair_datetime = false;
    header_on = true;
    log_counter = 0;
    header_fields.clear();
    diagnostics_on = false;
    log_level = 0;
    diagnostics_path.clear();
    log_text_1.clear();
    log_text_2.clear();
    profile = false;
    reserved_word_9 = 0;
    signal_text.clear();
    include_filters.clear();
    skip_filters.clear();
    pipe = false;
    enumdir_folder.clear();
    num_subdirs = 0;
    enumdir_given = false;
    os_product_version.clear();
    os_major = os_minor = os_patch = os_reserved = 0;
    start_time_set = false;
    start_filetime = 0;
    start_unix_seconds = 0;
    stop_time_set = false;
    stop_filetime = 0;
    stop_unix_seconds = 0;
}

void cmd_params::reset_log_state() {
    log_counter = 0;
    log_words[0] = log_words[1] = 0;
    for (std::string& t : log_texts) t.clear();
    log_text_1.clear();
    log_text_2.clear();
    if (log_buffer != nullptr) {
        log_buffer->clear();
        log_buffer->str(std::string());
    }
    run_log.clear();
}

void cmd_params::copy_from(const cmd_params& o) {
    // An assignment target's own earlier streams are closed: the copy ends with streams of its own.
    release_streams();
    reset();
    reset_log_state();

    copy_names_and_layout(*this, o);
    copy_run_settings(*this, o);
    copy_log_filters_and_window(*this, o);

    if (o.diagnostics != nullptr && o.diagnostics_on && !o.diagnostics_path.empty()) {
        // Appending: the source may already have written lines to this file and may still write more.
        std::ofstream* stream = new std::ofstream(o.diagnostics_path, std::ios::out | std::ios::app);
        if (stream->good()) {
            diagnostics = stream;
            diagnostics_on = true;
            write_log_line(*this, command_line);
            log_level = o.log_level;
        } else {
            diagnostics_path.clear();
            delete stream;
        }
    }
    if (o.log_buffer != nullptr) log_buffer = new std::ostringstream();
}

const std::string& cmd_params::resolve_alias_path(std::string& out, const std::string& path) const {
    out.clear();
    if (aliases.empty() && alias_paths.empty()) return path;
    std::string key = path;
    string_to_lower(key);
    if (!aliases.empty()) {
        const auto hit = aliases.find(key);
        if (hit != aliases.end()) {
            out = hit->second;
            return out;
        }
    }
    if (path.empty()) return path;
    for (auto it = alias_paths.rbegin(); it != alias_paths.rend(); ++it) {
        const std::string& prefix = it->first;
        if (prefix.size() >= key.size()) continue;
        const std::size_t p = key.find(prefix);
        if (p == std::string::npos) continue;
        out = it->second + path.substr(p + prefix.size());
        return out;
    }
    return path;
}
