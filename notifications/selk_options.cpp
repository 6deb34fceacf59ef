#include "notifications/selk_options.h"

#include <unistd.h>

#include <map>
#include <set>

#include "common/case_conv.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "io/console.h"
#include "io/diags_open.h"
#include "io/file_utils.h"
#include "io/option_lookup.h"
#include "io/option_parser.h"
#include "io/output_guard.h"
#include "io/path_source.h"
#include "io/path_target.h"

namespace {

// The first bytes of every report: the banner line the driver writes first.
const char* const kReportBanner = "selk - ";

// Switches that take the word after them as their value, and those that stand alone: a value switch
// followed by another switch (or by nothing) was given no value.
const char* const kValueSwitches[] = {"-db",
                                      "-out",
                                      "-outfile",
                                      "-diags",
                                      "-alias",
                                      "-aliaspath",
                                      "-threads",
                                      "-zlibex",
                                      "-sqlite_log",
                                      "-sqlite",
                                      "-signal",
                                      "-hostname",
                                      "-username",
                                      "-cpuinst",
                                      "-cpu",
                                      "-fragment_files",
                                      "-outdir",
                                      "-enumdir",
                                      "-num_subdirs",
                                      "-filter_skip",
                                      "-filter",
                                      "-filter_path",
                                      "-filter_sig",
                                      "-cmd_start_time",
                                      "-cmd_stop_time",
                                      "-csv_separator",
                                      "-dateformat",
                                      "-timeformat"};
const char* const kFlagSwitches[] = {"-pair_datetime",
                                     "-l2",
                                     "-l3",
                                     "-csv",
                                     "-csvgen",
                                     "-csvl2t",
                                     "-bodyfile",
                                     "-xml",
                                     "-multiline",
                                     "-gzip",
                                     "-zlib",
                                     "-split_pathfile",
                                     "-separate_files",
                                     "-profile",
                                     "-pipe",
                                     "-base10",
                                     "-base16",
                                     "-enable_quoted_csv_fields",
                                     "-no_whitespace",
                                     "-verbose",
                                     "-v",
                                     "-quiet",
                                     "-all_fields",
                                     "-verify",
                                     "-carve",
                                     "-incl_slack",
                                     "-incl_settings",
                                     "-parse_chunk"};

// Common switches that selk takes no action on: each is refused by name rather than taken and ignored, so
// that no examiner believes the report was written as such a switch asks.
const char* const kUnusedSwitches[] = {"-pair_datetime",
                                       "-l2",
                                       "-l3",
                                       "-csvgen",
                                       "-xml",
                                       "-multiline",
                                       "-alias",
                                       "-aliaspath",
                                       "-gzip",
                                       "-zlib",
                                       "-zlibex",
                                       "-threads",
                                       "-sqlite_log",
                                       "-sqlite",
                                       "-signal",
                                       "-split_pathfile",
                                       "-cpuinst",
                                       "-cpu",
                                       "-fragment_files",
                                       "-separate_files",
                                       "-outdir",
                                       "-filter_skip",
                                       "-verbose",
                                       "-v"};
// The output forms, of which one at most may be chosen; the same for the bases of numbers.
const char* const kOutputForms[] = {"-csv", "-csvl2t", "-bodyfile"};
const char* const kNumberBases[] = {"-base10", "-base16"};

bool is_one_of(const std::string& word, const char* const* names, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::string a = word, b = names[i];
        if (equals_nocase(a, b)) return true;
    }
    return false;
}

bool is_value_switch(const std::string& word) {
    return is_one_of(word, kValueSwitches, sizeof(kValueSwitches) / sizeof(kValueSwitches[0]));
}

bool is_known_switch(const std::string& word) {
    return is_value_switch(word) ||
           is_one_of(word, kFlagSwitches, sizeof(kFlagSwitches) / sizeof(kFlagSwitches[0]));
}

// Names the switches of one choice (each as first spelled, in command-line order) when more than one was
// given. 1 when they were named, else 0.
int choice_fault(const std::vector<std::string>& given) {
    if (given.size() < 2) return 0;
    std::string list;
    for (std::size_t k = 0; k < given.size(); ++k)
        list += (k == 0 ? "" : k + 1 == given.size() ? " and " : ", ") + given[k];
    error_printf("only one of %s may be given\n", list.c_str());
    return 1;
}

// Names each switch of kUnusedSwitches given (once) and takes it and its value out of `args`; names more
// than one output form, and both bases. The number of faults.
int switch_choice_faults(std::vector<std::string>& args) {
    int faults = 0;
    std::set<std::string> named;
    std::vector<std::string> forms;  // each form once, as first spelled, in command-line order
    std::vector<std::string> bases;  // the same for the bases
    for (std::size_t i = 1; i < args.size();) {
        std::string word = args[i];
        string_to_lower(word);
        if (is_one_of(word, kOutputForms, sizeof(kOutputForms) / sizeof(kOutputForms[0])) &&
            named.insert(word).second)
            forms.push_back(args[i]);
        if (is_one_of(word, kNumberBases, sizeof(kNumberBases) / sizeof(kNumberBases[0])) &&
            named.insert(word).second)
            bases.push_back(args[i]);
        if (!is_one_of(word, kUnusedSwitches, sizeof(kUnusedSwitches) / sizeof(kUnusedSwitches[0]))) {
            ++i;
            continue;
        }
        if (named.insert(word).second) {
            error_printf("%s is not used by selk\n", args[i].c_str());
            ++faults;
        }
        const bool with_value = is_value_switch(word) && i + 1 < args.size() && !is_known_switch(args[i + 1]);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + (with_value ? 2 : 1)));
    }
    return faults + choice_fault(forms) + choice_fault(bases);
}

// A control character other than TAB, which stays a separator: no such byte of the data reaches the report
// raw (show_control_bytes), so none may stand between its cells.
bool holds_control_character(const std::string& text) {
    std::string rest = text;
    remove_char(rest, '\t');
    return has_control_bytes(rest);
}

// A value that the common parser would take for another or drop: a "-num_subdirs" that is no number, a
// date or time pattern that cannot be printed, an empty separator or one that cannot separate cells. True
// when refused (named on standard error).
bool value_refused(const std::string& word, const std::string& option, const std::string& value) {
    if (word == "-num_subdirs" &&
        (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)) {
        error_printf("refusing %s %s: the depth must be a number of folder levels\n", option.c_str(),
                     value.c_str());
        return true;
    }
    if (word == "-dateformat" && !date_format_usable(value)) {
        error_printf("refusing %s %s: it is no date pattern such as mm/dd/yyyy or yyyy-mm-dd\n",
                     option.c_str(), value.c_str());
        return true;
    }
    if (word == "-timeformat" && !time_format_usable(value)) {
        error_printf("refusing %s %s: it is no time pattern such as hh:mm:ss or hh:mm:ss.xxx\n",
                     option.c_str(), value.c_str());
        return true;
    }
    if (word == "-filter_sig") {
        if (const char* why = read_signature_value(value, nullptr, nullptr)) {
            error_printf("refusing %s '%s': %s\n", option.c_str(), value.c_str(), why);
            return true;
        }
        return false;
    }
    // An empty name or folder text would pass no file, or every one.
    if ((word == "-filter" || word == "-filter_path") && value.empty()) {
        error_printf("refusing an empty %s\n", option.c_str());
        return true;
    }
    if (word != "-csv_separator") return false;
    if (value.empty()) {
        error_printf("refusing an empty -csv_separator\n");
        return true;
    }
    if (value.find_first_of("\"\r\n") != std::string::npos) {
        error_printf("refusing %s '%s': a double quote, CR or LF cannot separate cells\n", option.c_str(),
                     value.c_str());
        return true;
    }
    if (holds_control_character(value)) {
        error_printf("refusing %s '%s': a control character other than TAB cannot separate cells\n",
                     option.c_str(), value.c_str());
        return true;
    }
    // Every other byte of a report is valid UTF-8 (show_control_bytes).
    std::string rest = value;
    remove_char(rest, '\t');
    if (first_byte_to_show(rest.data(), rest.size()) != rest.size()) {
        error_printf("refusing %s '%s': a byte that is not UTF-8 cannot separate cells\n", option.c_str(),
                     value.c_str());
        return true;
    }
    return false;
}

// Value switches that may be given more than once: each adds to a list.
const char* const kRepeatableSwitches[] = {"-filter", "-filter_skip", "-filter_sig"};

// The name a value switch is counted under: "-outfile" is another spelling of "-out".
std::string counted_name(const std::string& lower) { return lower == "-outfile" ? "-out" : lower; }

// One end of the time window as given: its words and the time it reads as.
struct window_end {
    std::string option;
    std::string value;
    window_point point;
};

// Why a window value that reads as no time is refused.
const char* window_fault(window_reading reading) {
    switch (reading) {
        case window_reading::no_such_date:
            return "the calendar has no such day";
        case window_reading::no_such_time:
            return "a day has no such time (hours run to 23, minutes and seconds to 59)";
        default:
            return "the date must be written yyyy-mm-dd or yyyy/mm/dd";
    }
}

// Switches that choose which listed or found files are read, and how deep the walk goes: they act on the
// paths of "-pipe" and "-enumdir" ("-num_subdirs" on "-enumdir" alone).
const char* const kSelectionSwitches[] = {"-filter",         "-filter_path",   "-filter_sig",
                                          "-cmd_start_time", "-cmd_stop_time", "-num_subdirs"};

// One such switch as given.
struct selection_given {
    std::string word;    // lower-case
    std::string option;  // as spelled
    std::string value;
};

// Names each switch of `given` (once, and not when `refused_values` holds it: its value was named) that
// would act on nothing: any of them with "-db" alone, "-num_subdirs" with "-pipe" alone, "-filter_path"
// without a "-filter". Each is added to `refused_values`; the number of faults.
int selection_faults(const std::vector<selection_given>& given, bool db, bool pipe, bool enumdir,
                     std::vector<std::string>& refused_values) {
    const bool db_alone = db && !pipe && !enumdir;
    const bool pipe_alone = pipe && !db && !enumdir;
    bool filter = false;
    for (const selection_given& g : given) filter = filter || g.word == "-filter";
    int faults = 0;
    std::set<std::string> named(refused_values.begin(), refused_values.end());
    for (const selection_given& g : given) {
        if (!named.insert(g.word).second) continue;
        const char* why = nullptr;
        if (db_alone)
            why = "it chooses among the files of -pipe and -enumdir, and -db names the one file read";
        else if (pipe_alone && g.word == "-num_subdirs")
            why = "it is the depth of the folder walk of -enumdir, and -pipe walks no folder";
        else if (g.word == "-filter_path" && !filter)
            why = "it narrows the names of -filter, and no -filter is given";
        if (why == nullptr) continue;
        error_printf("refusing %s %s: %s\n", g.option.c_str(), g.value.c_str(), why);
        refused_values.push_back(g.word);
        ++faults;
    }
    return faults;
}

// The output forms a switch of kFormSwitches acts on.
constexpr unsigned kDefaultForm = 1, kCsvForm = 2, kL2tForm = 4, kBodyfileForm = 8;
constexpr unsigned kDelimitedForms = kDefaultForm | kCsvForm, kCellForms = kDelimitedForms | kL2tForm;

// A switch that acts on some output forms only: what it does there, and why it does nothing in another
// (after the name of that form when `of_form`).
struct form_switch {
    const char* word;
    unsigned forms;
    const char* acts;
    bool of_form;
    const char* elsewhere;
};
const char* const kTimelineColumns = "writes the columns of a timeline";
const char* const kNoL2t = "no -csvl2t is given";
const char* const kBodyfileTimes = "-bodyfile writes its times as Unix seconds";
const char* const kBodyfileNumbers = "-bodyfile writes its numbers in decimal";
const form_switch kFormSwitches[] = {
    {"-all_fields", kDelimitedForms, "it adds columns to the default form and -csv", true, kTimelineColumns},
    {"-incl_settings", kDelimitedForms, "it adds a settings column to the default form and -csv", true,
     kTimelineColumns},
    {"-username", kL2tForm, "it fills the user column of -csvl2t", false, kNoL2t},
    {"-hostname", kL2tForm, "it fills the host column of -csvl2t", false, kNoL2t},
    {"-enable_quoted_csv_fields", kCellForms, "it quotes the cells of the default form, -csv and -csvl2t",
     false, "-bodyfile quotes nothing"},
    {"-dateformat", kCellForms, "it is the pattern of the dates of the default form, -csv and -csvl2t", false,
     kBodyfileTimes},
    {"-timeformat", kCellForms, "it is the pattern of the times of the default form, -csv and -csvl2t", false,
     kBodyfileTimes},
    {"-csv_separator", kCellForms, "it separates the cells of the default form, -csv and -csvl2t", false,
     "-bodyfile separates its fields by |"},
    {"-no_whitespace", kCellForms, "it removes the blanks of the default form, -csv and -csvl2t", false,
     "-bodyfile has none"},
    {"-base10", kCellForms,
     "it writes the handler's WNFEventName and the record offset of -csvl2t in decimal", false,
     kBodyfileNumbers},
    {"-base16", kCellForms,
     "it writes the handler's WNFEventName and the record offset of -csvl2t in hexadecimal", false,
     kBodyfileNumbers},
};

// Names each switch of kFormSwitches (once) that acts on nothing in the output form chosen: none when
// more than one form is given (named already), nor a switch given again or without its value, or whose
// value is refused (in `refused_values`, which gets each value switch named here). The number of faults.
int form_faults(const std::vector<std::string>& args, const std::set<std::string>& repeated,
                std::vector<std::string>& refused_values) {
    std::set<std::string> forms;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string word = args[i];
        string_to_lower(word);
        if (is_one_of(word, kOutputForms, sizeof(kOutputForms) / sizeof(kOutputForms[0]))) forms.insert(word);
    }
    if (forms.size() > 1) return 0;
    const std::string form = forms.empty() ? std::string() : *forms.begin();
    const unsigned chosen = form.empty()        ? kDefaultForm
                            : form == "-csv"    ? kCsvForm
                            : form == "-csvl2t" ? kL2tForm
                                                : kBodyfileForm;
    int faults = 0;
    std::set<std::string> named(refused_values.begin(), refused_values.end());
    named.insert(repeated.begin(), repeated.end());
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string word = args[i];
        string_to_lower(word);
        const form_switch* found = nullptr;
        for (const form_switch& f : kFormSwitches) {
            if (word == f.word) found = &f;
        }
        if (found == nullptr || (found->forms & chosen) != 0) continue;
        const bool valued = is_value_switch(word);
        if (valued && (i + 1 >= args.size() || is_known_switch(args[i + 1]))) continue;  // named already
        const std::string value = valued ? args[i + 1] : std::string();
        if (valued) ++i;
        if (!named.insert(word).second) continue;
        std::string shown = args[i - (valued ? 1 : 0)];
        if (valued) shown += word == "-csv_separator" ? " '" + value + "'" : " " + value;
        const std::string why = (found->of_form ? form + " " : std::string()) + found->elsewhere;
        error_printf("refusing %s: %s, and %s\n", shown.c_str(), found->acts, why.c_str());
        if (valued) refused_values.push_back(word);
        ++faults;
    }
    return faults;
}

// Faults of the command line that the common parser would take silently or wrongly, each named on
// standard error: a value switch without its value or given twice, more than one input mode, a window time
// that reads as no time or a window that ends before it starts, a value that value_refused refuses, a
// switch that selection_faults or form_faults finds acting on nothing. The number of faults; `repeated` gets
// (lower-case) each switch given again, `refused_values` each switch whose value is refused.
int command_line_faults(const std::vector<std::string>& args, std::set<std::string>& repeated,
                        std::vector<std::string>& refused_values) {
    int faults = 0;
    bool db = false, pipe = false, enumdir = false;
    std::map<std::string, std::string> given;  // counted name -> the spelling given first
    std::vector<selection_given> selections;
    window_end start, stop;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string word = args[i];
        string_to_lower(word);
        if (word == "-pipe") pipe = true;
        if (!is_value_switch(word)) {
            if (is_known_switch(word) && !given.emplace(word, args[i]).second) {
                error_printf("%s may be given only once\n", args[i].c_str());
                repeated.insert(word);
                ++faults;
            }
            continue;
        }
        if (i + 1 >= args.size() || is_known_switch(args[i + 1])) {
            error_printf("%s needs a value\n", args[i].c_str());
            ++faults;
            continue;
        }
        const std::string& value = args[++i];
        // The common parser reads the first value and leaves the later one as an unknown word.
        if (!is_one_of(word, kRepeatableSwitches,
                       sizeof(kRepeatableSwitches) / sizeof(kRepeatableSwitches[0]))) {
            const auto first = given.emplace(counted_name(word), args[i - 1]);
            if (!first.second) {
                std::string earlier = first.first->second;
                string_to_lower(earlier);
                if (earlier == word)
                    error_printf("%s may be given only once\n", args[i - 1].c_str());
                else
                    error_printf("only one of %s and %s may be given\n", first.first->second.c_str(),
                                 args[i - 1].c_str());
                repeated.insert(word);
                ++faults;
                continue;
            }
        }
        if (word == "-db") db = true;
        if (word == "-enumdir") enumdir = true;
        bool refused = false;
        if (word == "-cmd_start_time" || word == "-cmd_stop_time") {
            window_end& end = word == "-cmd_start_time" ? start : stop;
            end.option = args[i - 1];
            end.value = value;
            const window_reading reading = read_window_value(value, &end == &stop, &end.point);
            if (reading != window_reading::time) {
                error_printf("refusing %s %s: %s\n", args[i - 1].c_str(), value.c_str(),
                             window_fault(reading));
                end.option.clear();
                refused = true;
            }
        }
        if (!refused && value_refused(word, args[i - 1], value)) refused = true;
        if (refused) {
            refused_values.push_back(word);
            ++faults;
        }
        if (is_one_of(word, kSelectionSwitches, sizeof(kSelectionSwitches) / sizeof(kSelectionSwitches[0])))
            selections.push_back({word, args[i - 1], value});
    }
    // The common parser would drop the stop and read everything after the start.
    if (!start.option.empty() && !stop.option.empty() && stop.point.unix_seconds < start.point.unix_seconds) {
        error_printf("refusing %s %s: it is before %s %s\n", stop.option.c_str(), stop.value.c_str(),
                     start.option.c_str(), start.value.c_str());
        refused_values.push_back("-cmd_stop_time");
        ++faults;
    }
    if (static_cast<int>(db) + static_cast<int>(pipe) + static_cast<int>(enumdir) > 1) {
        error_printf("only one of -db, -pipe and -enumdir may name the input\n");
        ++faults;
    }
    faults += selection_faults(selections, db, pipe, enumdir, refused_values);
    return faults + form_faults(args, repeated, refused_values);
}

// A "-csv_separator" that quoted fields or unpadded output leave without a character is refused: cells
// would run together. True when something of it is left (else named on standard error).
bool separator_left(const cmd_params& options, const std::string& given) {
    if (!options.separator.empty()) return true;
    std::string trimmed = given;
    trim_whitespace(trimmed);
    const char* by =
        options.quoted_csv_fields && trimmed.empty() ? "-enable_quoted_csv_fields" : "-no_whitespace";
    error_printf("refusing -csv_separator '%s': nothing of it is left once %s removes its blanks\n",
                 given.c_str(), by);
    return false;
}

// The results path as the common parser keeps it: environment references expanded, '\' made '/'.
std::string results_path_kept(const std::string& value) {
    std::string path = value, copy;
    expand_environment_variables(copy, path, true);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The diagnostics path as the common parser keeps it: environment references expanded.
std::string diagnostics_path_kept(const std::string& value) {
    std::string path = value, copy;
    expand_environment_variables(copy, path, true);
    return path;
}

// For each of `places`, the listed or found path, or a companion of one, that writing there would write
// over or create; empty where none is.
std::vector<std::string> listed_members_at(const std::vector<output_place>& places,
                                           const std::vector<std::string>& listed) {
    std::vector<std::string> members(places.size());
    for (const std::string& path : listed) family_members_at(places, path_opened(path), members);
    return members;
}

// Why the file the shell opened on `descriptor` must not be written (see standard_output_unsafe).
std::string standard_stream_unsafe(int descriptor, const std::string& db_path,
                                   const std::vector<std::string>& listed, bool earlier_allowed) {
    held_output held;
    if (hold_open_file(held, descriptor) == 0) return std::string();
    const std::string db = db_path.empty() ? std::string() : path_opened(db_path);
    for (const std::string& member : evidence_family(db)) {
        if (held_output_is(held, member)) return "it is " + member + ", which this run reads";
    }
    if (const char* kind = held_evidence_header(held)) return std::string("it holds ") + kind;
    if (!listed.empty()) {
        const std::string member = listed_members_at({place_of_held(held)}, listed)[0];
        if (!member.empty() && !(earlier_allowed && held_earlier_output(held, kReportBanner)))
            return "it is " + member + ", which this run reads";
    }
    const std::string path = descriptor_target(descriptor);
    if (path.empty()) return std::string();
    if (named_like_shared_memory(path))
        return "a name ending in -shm is that of the shared-memory file beside a database";
    const std::string beside = file_beside_as_companion(path);
    if (!beside.empty()) return "it lies beside " + beside + " as its companion";
    return std::string();
}

void refuse_output_on_input(const char* option, const std::string& output, const std::string& member) {
    error_printf("refusing %s %s: it would write over %s, which this run reads\n", option, output.c_str(),
                 member.c_str());
}

// Refuses, before anything is opened, an output that reaches the database of "-db" or a companion of it,
// is named like a "-shm" file, or would lie beside an existing file as its "-wal" or "-journal". True
// when refused (with the reason on standard error).
bool output_refused_by_name(const char* option, const std::string& output, const std::string& db) {
    const std::string member = db.empty() ? std::string() : family_member_at(output, db);
    if (!member.empty()) {
        refuse_output_on_input(option, output, member);
        return true;
    }
    const std::string target = path_target(output);
    if (named_like_shared_memory(output) || named_like_shared_memory(target)) {
        error_printf(
            "refusing %s %s: a name ending in -shm is that of the shared-memory file beside a database\n",
            option, output.c_str());
        return true;
    }
    const std::string beside = file_beside_as_companion(target);
    if (!beside.empty()) {
        error_printf("refusing %s %s: it would lie beside %s as its companion\n", option, output.c_str(),
                     beside.c_str());
        return true;
    }
    return false;
}

// Before anything is opened: each output by output_refused_by_name, and both naming one file. True when
// clear; each fault is named.
bool outputs_clear_by_name(const std::string& out, const std::string& diags, const std::string& db) {
    bool clear = true;
    if (!out.empty() && output_refused_by_name("-out", out, db)) clear = false;
    if (!diags.empty() && output_refused_by_name("-diags", diags, db)) clear = false;
    if (clear && paths_reach_same_file(out, diags)) {
        error_printf("refusing -diags %s: it is the file -out names\n", diags.c_str());
        clear = false;
    }
    return clear;
}

// The values of "-db", "-out" (or "-outfile") and "-diags", read without taking them, so that the outputs
// can be checked before anything is opened.
bool outputs_clear_by_name(const std::vector<std::string>& args) {
    std::string db, out, diags;
    if (get_option_value("-db", db, args, false)) db = path_opened(db);
    if (get_option_value("-out", out, args, false) || get_option_value("-outfile", out, args, false)) {
        out = results_path_kept(out);
    }
    if (get_option_value("-diags", diags, args, false)) diags = diagnostics_path_kept(diags);
    return outputs_clear_by_name(out, diags, db);
}

// Refuses a held output that turns out, by the identity of the opened file, to be the database or a
// companion, to hold what only evidence holds, or to be the other output. True when refused.
bool held_output_refused(const char* option, const held_output& held, const std::string& db,
                         const held_output* other) {
    const std::string member = db.empty() ? std::string() : family_member_at(held.target, db);
    if (!member.empty()) {
        refuse_output_on_input(option, held.spelled, member);
        return true;
    }
    if (!held.created) {
        if (const char* kind = held_evidence_header(held)) {
            error_printf("refusing %s %s: it holds %s\n", option, held.spelled.c_str(), kind);
            return true;
        }
    }
    // The other output is the results file, or standard output's file (known by its identity alone).
    if (other != nullptr && (other->device != 0 || other->inode != 0) && other->device == held.device &&
        other->inode == held.inode) {
        error_printf(other->spelled.empty() ? "refusing %s %s: it is the file standard output writes to\n"
                                            : "refusing %s %s: it is the file -out names\n",
                     option, held.spelled.c_str());
        return true;
    }
    return false;
}

// Refuses each held output that is a listed or found path, or a companion of one, unless this run may write
// over it (held_earlier_output): the run then passes over that path. True when one is refused.
bool held_outputs_on_listed(const std::vector<std::string>& listed, const held_output& out,
                            const held_output& diags) {
    std::vector<const held_output*> held;
    std::vector<const char*> names;
    std::vector<output_place> places;
    if (out.descriptor != -1) {
        held.push_back(&out);
        names.push_back("-out");
    }
    if (diags.descriptor != -1) {
        held.push_back(&diags);
        names.push_back("-diags");
    }
    if (held.empty() || listed.empty()) return false;
    for (const held_output* h : held) places.push_back(place_of_held(*h));
    const std::vector<std::string> members = listed_members_at(places, listed);
    bool refused = false;
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (members[i].empty() || held_earlier_output(*held[i], kReportBanner)) continue;
        refuse_output_on_input(names[i], held[i]->spelled, members[i]);
        refused = true;
    }
    return refused;
}

// Every path of "-pipe" or "-enumdir", read whole before any output is opened: standard input to its end,
// or the walk to its depth with its filters.
void gather_listed_paths(selk_options& options) {
    options.listed_paths.clear();
    options.unlisted_folders.clear();
    qmportdir::stdin_stream_ex source(&options);
    source.on_unlisted_folder = [&options](const std::string& folder, const std::string& why) {
        options.unlisted_folders.emplace_back(folder, why);
    };
    options.folder_links.clear();
    source.on_folder_link = [&options](const std::string& link, const std::string& target) {
        options.folder_links.emplace_back(link, target);
    };
    options.paths_ready = options.pipe ? source.init_to_stdin(true)
                                       : source.init_to_enumdir(options.enumdir_folder, options.num_subdirs,
                                                                options.include_filters);
    std::string path;
    while (options.paths_ready && source.read(path, true)) {
        if (!path.empty()) options.listed_paths.push_back(path);
    }
    options.files_found = source.files_listed() != 0;
}

// Opens both outputs without emptying them, checks them against the database of "-db" and each other,
// and only then empties them and opens the log. On refusal nothing was written and a file this run
// created is removed again.
bool open_outputs(selk_options& options) {
    const std::string db = options.db_path.empty() ? std::string() : path_opened(options.db_path);
    held_output& out = options.results_held;
    held_output& diags = options.diags_held;
    out.spelled = options.out_file;
    diags.spelled = options.diagnostics_path;
    if (!options.listed_paths.empty()) {
        // Standard error first: once it is refused, not even the reason may reach it.
        const std::string why = standard_error_unsafe(options.db_path, options.listed_paths);
        if (!why.empty()) {
            silence_descriptor(STDERR_FILENO);
            options.standard_error_refused = why;
            return false;
        }
    }
    // Checked again by name here, with the database path as it is now kept, before anything is created.
    if (!outputs_clear_by_name(out.spelled, diags.spelled, db)) return false;
    if (out.spelled.empty()) {
        // The report goes to standard output, which the shell may have opened on a file ("selk ... >> f").
        const std::string why = standard_output_unsafe(options.db_path, options.listed_paths);
        if (!why.empty()) {
            error_printf("refusing standard output: %s\n", why.c_str());
            return false;
        }
        // Only its identity is kept, so that a listed path that is that file is skipped.
        if (hold_open_file(out, STDOUT_FILENO) == 1 && out.descriptor != -1) {
            ::close(out.descriptor);
            out.descriptor = -1;
        }
    }
    if (!out.spelled.empty() && hold_output(out) == 0) {
        error_printf("prob opening results file: %s for writing\n", out.spelled.c_str());
        return false;
    }
    if (!diags.spelled.empty() && hold_output(diags) == 0) {
        error_printf("prob opening diagnostics log: %s for writing\n", diags.spelled.c_str());
        drop_held_output(out);
        return false;
    }
    bool refused = out.descriptor != -1 && held_output_refused("-out", out, db, nullptr);
    if (diags.descriptor != -1 && held_output_refused("-diags", diags, db, &out)) refused = true;
    if (!refused && held_outputs_on_listed(options.listed_paths, out, diags)) refused = true;
    if (refused) {
        drop_held_output(diags);
        drop_held_output(out);
        return false;
    }
    for (held_output* held : {&out, &diags}) {
        if (held->descriptor != -1 && empty_held_output(*held) == 0) {
            error_printf("prob emptying %s for writing\n", held->spelled.c_str());
            return false;
        }
    }
    if (!diags.spelled.empty()) {
        // Opened at the file that was checked; a name that meanwhile leads elsewhere is not written.
        if (open_diagnostics_log(options, diags.target) == 0 || !held_output_is(diags, diags.target)) {
            error_printf("prob opening diagnostics log: %s for writing\n", diags.spelled.c_str());
            return false;
        }
    }
    return true;
}

// The last checks of an accepted command line, then the paths of "-pipe" or "-enumdir" are gathered when
// asked and the outputs are opened: a refused command line changes no file.
int accept_options(selk_options& options, bool gather_paths) {
    if (!options.pipe && options.enumdir_given && options.enumdir_folder.empty()) {
        error_printf("no folder given to -enumdir\n");
        return 0;
    }
    if (gather_paths && (options.pipe || options.enumdir_given)) gather_listed_paths(options);
    return open_outputs(options) ? 1 : 0;
}

}  // namespace

std::string input_path_opened(const cmd_params& options, const std::string& path) {
    if (options.enumdir_given && !options.pipe) return path;
    return path_opened(path);
}

const char* output_on_input(const std::string& out_file, const std::string& diags_path,
                            const std::string& db_path, std::string& input) {
    input.clear();
    if (db_path.empty()) return nullptr;
    input = family_member_at(out_file, db_path);
    if (!input.empty()) return "-out";
    input = family_member_at(diags_path, db_path);
    if (!input.empty()) return "-diags";
    return nullptr;
}

std::string standard_output_unsafe(const std::string& db_path, const std::vector<std::string>& listed,
                                   bool earlier_allowed) {
    return standard_stream_unsafe(STDOUT_FILENO, db_path, listed, earlier_allowed);
}

std::string standard_error_unsafe(const std::string& db_path, const std::vector<std::string>& listed) {
    return standard_stream_unsafe(STDERR_FILENO, db_path, listed, false);
}

const char* own_output_named(const selk_options& options, const std::string& path) {
    for (const std::string& member : evidence_family(path_opened(path))) {
        if (held_output_is(options.results_held, member)) return "results";
        if (held_output_is(options.diags_held, member)) return "diagnostics";
    }
    return nullptr;
}

selk_options::selk_options()
    : cmd_params(),
      report_stream(nullptr),
      switches{0, 0, 0, 0, 0, 0, 0, 0},
      recogniser_switches(-1),
      verify(0),
      paths_ready(false),
      files_found(false) {
    clear();
}

selk_options::~selk_options() = default;

void selk_options::clear() {
    spare_text.clear();
    report_stream = nullptr;
    sql_pull.clear();
    for (std::uint8_t& s : switches) s = 0;
    recogniser_switches = -1;
    verify = 0;
    listed_paths.clear();
    unlisted_folders.clear();
    folder_links.clear();
    files_found = false;
    paths_ready = false;
    standard_error_refused.clear();
    clear_after_each_iteration();
}

void selk_options::clear_after_each_iteration() { switches[kSwitchInput] = 0; }

int parse_selk_options(selk_options& options, std::vector<std::string>& args, bool gather_paths) {
    const bool no_whitespace_given = has_option("-no_whitespace", args, true);
    // Every fault of the command line is named before it is refused, not only the first.
    bool faulty = switch_choice_faults(args) != 0;
    std::set<std::string> repeated;
    std::vector<std::string> refused_values;
    if (command_line_faults(args, repeated, refused_values) != 0) faulty = true;
    if (!outputs_clear_by_name(args)) faulty = true;
    // A refused value was named: the common parser would say it ignores it, or take another in its place.
    for (const std::string& option : refused_values) {
        std::string value;
        (void)take_option_value(option.c_str(), value, args);
    }
    std::string separator;
    const bool separator_given = get_option_value("-csv_separator", separator, args, false);
    if (!parse_common_options(options, args, false)) return 0;
    if (separator_given && !separator_left(options, separator)) faulty = true;

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
        for (std::size_t i = 1; i < args.size(); ++i) {
            // A value switch without its value, or given again (with its value), was named already.
            if (i + 1 == args.size() && is_value_switch(args[i])) continue;
            std::string lower = args[i];
            string_to_lower(lower);
            if (repeated.count(lower) != 0) {
                if (is_value_switch(lower)) ++i;
                continue;
            }
            error_printf("unknown argument: %s\n", args[i].c_str());
        }
        return 0;
    }
    if (faulty) return 0;
    if (options.pipe || options.enumdir_given) {
        options.switches[kSwitchInput] = 1;
        return accept_options(options, gather_paths);
    }
    if (db_given) {
        options.db_path = path;
        options.switches[kSwitchInput] = 1;
        return accept_options(options, false);
    }
    return 0;
}
