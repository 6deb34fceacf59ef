#include "notifications/selk_options.h"

#include "io/console.h"
#include "io/file_utils.h"
#include "io/option_lookup.h"
#include "io/option_parser.h"

namespace {

// Refuses the run when "-out" or "-diags" would write over the database or one of its companions;
// true when the outputs are clear of it.
bool outputs_clear_of_input(const std::string& out_file, const std::string& diags_path,
                            const std::string& db_path) {
    std::string input;
    const char* option = output_on_input(out_file, diags_path, db_path, input);
    if (option == nullptr) return true;
    error_printf("refusing %s %s: it would write over %s, which this run reads\n", option,
                 std::string(option) == "-out" ? out_file.c_str() : diags_path.c_str(), input.c_str());
    return false;
}

// The values of "-db", "-out" (or "-outfile", as the common parser expands it) and "-diags", read without
// taking them, so that the outputs can be checked before the common parser opens either file.
bool outputs_clear_of_input(const std::vector<std::string>& args) {
    std::string db, out, diags;
    get_option_value("-db", db, args, false);
    if (get_option_value("-out", out, args, false) || get_option_value("-outfile", out, args, false)) {
        std::string copy;
        expand_environment_variables(copy, out, true);
        for (char& c : out) {
            if (c == '\\') c = '/';
        }
    }
    get_option_value("-diags", diags, args, false);
    return outputs_clear_of_input(out, diags, db);
}

// The last checks of an accepted command line, then the diagnostics log is opened: a refused command line
// changes no file.
int accept_options(selk_options& options) {
    if (!options.pipe && options.enumdir_given && options.enumdir_folder.empty()) {
        error_printf("no folder given to -enumdir\n");
        return 0;
    }
    if (!outputs_clear_of_input(options.out_file, options.diagnostics_path, options.db_path)) return 0;
    open_tested_diagnostics_log(options);
    return 1;
}

}  // namespace

const char* output_on_input(const std::string& out_file, const std::string& diags_path,
                            const std::string& db_path, std::string& input) {
    input.clear();
    if (db_path.empty()) return nullptr;
    for (const char* suffix : {"", "-wal", "-journal"}) {
        const std::string candidate = db_path + suffix;
        const char* option = nullptr;
        if (paths_name_same_file(out_file, candidate)) {
            option = "-out";
        } else if (paths_name_same_file(diags_path, candidate)) {
            option = "-diags";
        }
        if (option != nullptr) {
            input = candidate;
            return option;
        }
    }
    return nullptr;
}

const char* own_output_named(const cmd_params& options, const std::string& path) {
    if (paths_name_same_file(path, options.out_file)) return "results";
    if (paths_name_same_file(path, options.diagnostics_path)) return "diagnostics";
    return nullptr;
}

selk_options::selk_options()
    : cmd_params(),
      report_stream(nullptr),
      switches{0, 0, 0, 0, 0, 0, 0, 0},
      page_size(0),
      recogniser_switches(-1),
      current_table_type(0),
      app_name_width(kDefaultAppNameWidth),
      verify(0) {
    clear();
}

// The members go in reverse order; the binding's own destructor closes an open database.
selk_options::~selk_options() = default;

void selk_options::clear() {
    spare_text.clear();
    report_stream = nullptr;
    sql_pull.clear();
    for (std::uint8_t& s : switches) s = 0;
    page_size = 0;
    recogniser_switches = -1;
    table_names[kSchemaNotification] = "notification";
    table_names[kSchemaHandler] = "notificationhandler";
    table_names[kSchemaPushChannel] = "wnspushchannel";
    table_names[kSchemaHandlerSettings] = "handlersettings";
    verify = 0;
    notification_sink = nullptr;
    notification_flush = nullptr;
    clear_after_each_iteration();
}

void selk_options::clear_after_each_iteration() {
    if (sqlite.is_open) sqlite.close_and_unload();
    for (table_schema& s : schemas) s.clear();
    current_table_type = 0;
    column_names.clear();
    notifications.clear();
    handlers.clear();
    push_channels.clear();
    settings.clear();
    referenced_handlers.clear();
    handler_index.clear();
    push_channel_index.clear();
    settings_index.clear();
    row_sizes.clear();
    app_name_width = kDefaultAppNameWidth;
    tables_incomplete = 0;
    row_signature = signature_cache();
    switches[kSwitchInput] = 0;
}

int parse_selk_options(selk_options& options, std::vector<std::string>& args) {
    const bool no_whitespace_given = has_option("-no_whitespace", args, true);
    if (!outputs_clear_of_input(args)) return 0;
    if (!parse_common_options(options, args, false)) return 0;

    // Date and time always share one column in timeline output. Delimited "-csv" output stays padded, with a
    // blank before time columns, unless "-no_whitespace" asked otherwise.
    options.pair_datetime = true;
    options.padded_separator = false;
    if (options.csv && !no_whitespace_given) {
        options.no_whitespace = false;
        options.padded_separator = true;
    }

    if (take_option_flag("-all_fields", args, false)) options.switches[kSwitchAllFields] = 1;
    if (take_option_flag("-verify", args, false)) options.verify = 1;

    // Loose pages have no tables to carve or settings to read: those switches are taken and ignored.
    const bool carve = take_option_flag("-carve", args, false);
    const bool slack = take_option_flag("-incl_slack", args, false);
    const bool settings = take_option_flag("-incl_settings", args, false);
    if (take_option_flag("-parse_chunk", args, false)) {
        options.switches[kSwitchParseChunk] = 1;
    } else {
        if (carve) {
            options.switches[kSwitchCarve] = 1;
            options.switches[kSwitchSlack] = 1;
            options.switches[kSwitchSlackCopy] = 1;
        }
        if (slack) {
            options.switches[kSwitchSlack] = 1;
            options.switches[kSwitchSlackCopy] = 1;
        }
        if (settings) options.switches[kSwitchSettings] = 1;
    }

    std::string path;
    const bool db_given = take_option_value("-db", path, args);
    // Whatever is left was neither a switch nor a switch's value: a mistyped switch must stop the run,
    // not leave it to go on without what the examiner asked for.
    if (args.size() > 1) {
        for (std::size_t i = 1; i < args.size(); ++i) error_printf("unknown argument: %s\n", args[i].c_str());
        return 0;
    }
    if (options.pipe || options.enumdir_given) {
        options.switches[kSwitchInput] = 1;
        return accept_options(options);
    }
    if (db_given) {
        options.db_path = path;
        options.switches[kSwitchInput] = 1;
        return accept_options(options);
    }
    return 0;
}
