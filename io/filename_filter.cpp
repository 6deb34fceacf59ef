#include "io/filename_filter.h"

#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/text_ops.h"
#include "io/cmd_params.h"
#include "io/file_utils.h"
#include "io/fileio.h"
#include "io/wide_split.h"
#include "platform/path_text.h"
#include "time/time_kinds.h"

namespace {

// The time kind file_stats gives Unix seconds that do not fit in 32 bits (before 1970 or after 2106).
constexpr std::uint64_t kUnixSecondsWide = 16;

// Removes the '*' characters of text one at a time, always the first one left: one at index 0 sets
// ends_with (the text was "*x"), one at the last index sets starts_with ("x*"), others go without a flag.
void strip_wildcards(std::wstring& text, bool& ends_with, bool& starts_with) {
    for (;;) {
        const std::size_t at = text.find(L'*');
        if (at == std::wstring::npos) return;
        if (at == 0) {
            ends_with = true;
        } else if (at == text.size() - 1) {
            starts_with = true;
        }
        text.erase(at, 1);
    }
}

// The name tests by the two flags: contains, ends with (first occurrence), begins with, or equals.
bool text_test(const std::wstring& subject, const std::wstring& pattern, bool ends_with, bool starts_with) {
    if (ends_with && starts_with) return subject.find(pattern) != std::wstring::npos;
    if (ends_with) {
        const std::size_t at = subject.find(pattern);
        return at != std::wstring::npos && at + pattern.size() == subject.size();
    }
    if (starts_with)
        return subject.compare(0, pattern.size(), pattern) == 0 && subject.size() >= pattern.size();
    return subject == pattern;
}

// Opens the file read-only and compares the signature bytes at their offset. Reads only those bytes.
bool signature_matches(const std::wstring& path, const filename_filter& entry, bool* could_not_check) {
    uni::fileio file;
    if (file.open(path, false, false, false) == 0) {
        if (could_not_check != nullptr) *could_not_check = true;
        return false;
    }
    bool match = false;
    const std::uint64_t size = file.size();
    const std::uint64_t length = entry.signature.size();
    if (entry.signature_offset <= size && length <= size - entry.signature_offset) {
        std::vector<std::uint8_t> bytes;
        if (file.read_range(bytes, length, entry.signature_offset) != 0 && bytes == entry.signature)
            match = true;
    }
    file.close();
    return match;
}

// The time window of the options; true when the path may go on to the name tests. A record whose time
// kind is 0 is filled from the path first. Unix times (kinds 8 and 16) are signed seconds, so a file of
// 1960 lies before one of 1970 and one of 2200 after both; a birth time of 0 is one the file system does
// not keep, and only the modify time then decides.
bool window_passes(const cmd_params* options, const std::wstring& path, file_stats* stats) {
    if (stats == nullptr || options == nullptr) return true;
    if (!options->start_time_set && !options->stop_time_set) return true;
    if (stats->time_kind == 0 && get_file_stats(*stats, path) == 0) return false;
    const bool born = stats->birth_time != 0;
    if (stats->time_kind == qm::type_unix || stats->time_kind == kUnixSecondsWide) {
        const std::int64_t modified = static_cast<std::int64_t>(stats->modify_time);
        const std::int64_t birth = static_cast<std::int64_t>(stats->birth_time);
        if (options->start_time_set && modified < options->start_unix_seconds &&
            (!born || birth < options->start_unix_seconds))
            return false;
        return !options->stop_time_set ||
               (modified <= options->stop_unix_seconds && (!born || birth <= options->stop_unix_seconds));
    }
    if (stats->time_kind != qm::type_filetime) return false;
    if (options->start_time_set && stats->modify_time < options->start_filetime &&
        (!born || stats->birth_time < options->start_filetime))
        return false;
    return !options->stop_time_set || (stats->modify_time <= options->stop_filetime &&
                                       (!born || stats->birth_time <= options->stop_filetime));
}

// The stream rule of an entry: -1 skip the entry, 0 the stream test failed, 1 go on to the name tests.
int stream_rule(const filename_filter& entry, bool has_stream_name, const std::wstring& stream_name) {
    if (!has_stream_name) return (entry.has_stream && !entry.any_stream) ? -1 : 1;
    if (!entry.has_stream) return -1;
    if (entry.any_stream) return 1;
    return text_test(stream_name, entry.stream_text, entry.stream_ends_with, entry.stream_starts_with) ? 1
                                                                                                       : 0;
}

// The name flags' test; with neither flag set, equality with a non-empty name_text.
bool name_rule(const filename_filter& entry, const std::wstring& name, bool& try_signature) {
    try_signature = false;
    if (entry.match_all) return true;
    if (entry.name_ends_with || entry.name_starts_with) {
        return text_test(name, entry.name_text, entry.name_ends_with, entry.name_starts_with);
    }
    if (!entry.name_text.empty() && name == entry.name_text) return true;
    try_signature = !entry.signature.empty();
    return false;
}

void split_stream_name(std::wstring& name, bool stream_names, bool& has_stream_name,
                       std::wstring& stream_name) {
    has_stream_name = false;
    stream_name.clear();
    if (!stream_names) return;
    const std::size_t colon = name.find(L':');
    if (colon == std::wstring::npos) return;
    has_stream_name = true;
    stream_name = name.substr(colon + 1);
    name.erase(colon);
}

bool single_match_all(const std::vector<filename_filter>& filters) {
    return filters.size() == 1 && filters[0].match_all;
}

// Folder entry test: name_text found in the folder, ending at its end or followed by '/'.
bool folder_matches(const filename_filter& entry, std::wstring& folder) {
    const std::wstring& want = entry.name_text;
    auto fits = [&](std::size_t at) {
        return at != std::wstring::npos &&
               (at + want.size() == folder.size() || folder[at + want.size()] == L'/');
    };
    std::size_t at = folder.find(want);
    if (at == std::wstring::npos && !want.empty()) {
        const wchar_t other = want[0] == L'/' ? L'\\' : L'/';
        if (folder.find(other) != std::wstring::npos) {
            replace_wchar(folder, other, want[0], false);
            at = folder.find(want);
        }
    }
    return fits(at);
}

}  // namespace

void replace_wchar(std::wstring& text, wchar_t from, wchar_t to, bool both_cases) {
    const wchar_t lower = both_cases ? wchar_to_lower(from) : from;
    const wchar_t upper = both_cases ? wchar_to_upper(from) : from;
    for (wchar_t& c : text) {
        if (c == from || c == lower || c == upper) c = to;
    }
}

bool build_filename_filters(std::vector<filename_filter>& out, std::string& text) {
    out.clear();
    string_to_lower(text);
    const std::wstring wide = utf8_to_wstring(text);
    std::vector<std::wstring> items;
    if (wide.find(L'|') != std::wstring::npos) split_wstring(wide, L'|', items, true, false);
    if (wide.find(L',') != std::wstring::npos) split_wstring(wide, L',', items, true, false);
    if (items.empty()) items.push_back(wide);

    out.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::wstring& item = items[i];
        if (item == L"*") {
            out.resize(1);
            out[0].match_all = true;
            out[0].pattern = L"*";
            out[0].name_text = L"*";
            break;
        }
        filename_filter& entry = out[i];
        entry.pattern = item;
        entry.name_text = item;
        const std::size_t colon = entry.name_text.find(L':');
        if (colon != std::wstring::npos) {
            entry.has_stream = true;
            entry.stream_text = entry.name_text.substr(colon + 1);
            entry.name_text.erase(colon);
            if (entry.stream_text == L"*") {
                entry.any_stream = true;
            } else {
                strip_wildcards(entry.stream_text, entry.stream_ends_with, entry.stream_starts_with);
            }
            if (entry.name_text == L"*") {
                entry.match_all = true;
                continue;
            }
        }
        strip_wildcards(entry.name_text, entry.name_ends_with, entry.name_starts_with);
        if (!entry.name_text.empty() && entry.name_text[0] == L'/') entry.is_folder = true;
    }
    return !out.empty();
}

bool build_filename_filters(std::vector<filename_filter>& out, std::string& text, std::string& path_text) {
    const bool built = build_filename_filters(out, text);
    string_to_lower(path_text);
    if (!path_text.empty()) {
        const std::wstring wide = utf8_to_wstring(path_text);
        for (filename_filter& entry : out) {
            entry.path_text = wide;
            entry.path_text_length = static_cast<std::uint32_t>(wide.size());
        }
    }
    return built;
}

bool path_passes_filters(const cmd_params* options, bool* could_not_check, const std::wstring& path,
                         const std::vector<filename_filter>& filters, file_stats* stats, bool stream_names) {
    if (path.empty()) return false;
    if (could_not_check != nullptr) *could_not_check = false;
    if (!window_passes(options, path, stats)) return false;
    if (filters.empty() || single_match_all(filters)) return true;

    std::wstring folder = L".";
    std::wstring name = path;
    std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) cut = path.rfind(L'/');
    if (cut != std::wstring::npos) {
        folder = path.substr(0, cut);
        name = path.substr(cut + 1);
    }
    wstring_to_lower(name);
    bool has_stream_name = false;
    std::wstring stream_name;
    split_stream_name(name, stream_names, has_stream_name, stream_name);

    bool folder_lowered = false;
    for (const filename_filter& entry : filters) {
        if (!folder_lowered && (entry.is_folder || entry.path_text_length != 0)) {
            wstring_to_lower(folder);
            folder_lowered = true;
        }
        // "-filter_path": the entry holds only where the folder the path names holds the text; a bare
        // name names no folder.
        if (entry.path_text_length != 0 &&
            (cut == std::wstring::npos || folder.find(entry.path_text) == std::wstring::npos))
            continue;
        if (entry.is_folder && folder_matches(entry, folder)) return true;
        const int stream = stream_rule(entry, has_stream_name, stream_name);
        if (stream != 1) continue;
        bool try_signature = false;
        if (name_rule(entry, name, try_signature)) return true;
        if (try_signature && signature_matches(path, entry, could_not_check)) return true;
    }
    return false;
}

bool path_passes_filters_utf8(const cmd_params* options, bool* could_not_check, const std::string& path,
                              const std::vector<filename_filter>& filters, file_stats* stats,
                              bool stream_names) {
    if (path.empty()) return false;
    // The time window applies even without filters: an empty list must not wave a path past it.
    const bool window =
        stats != nullptr && options != nullptr && (options->start_time_set || options->stop_time_set);
    if (filters.empty() && !window) return true;
    // The path form that turns back into the same bytes, so that the file opens even when its name is not
    // UTF-8.
    return path_passes_filters(options, could_not_check, path_to_wide(path), filters, stats, stream_names);
}

bool path_passes_filters_default(bool* could_not_check, const std::wstring& path,
                                 const std::vector<filename_filter>& filters, bool stream_names) {
    if (path.empty()) return false;
    if (filters.empty()) return true;
    static cmd_params defaults;
    return path_passes_filters(&defaults, could_not_check, path, filters, nullptr, stream_names);
}

bool folder_and_name_pass_filters(const cmd_params* options, bool* could_not_check,
                                  const std::wstring& folder, const std::wstring& name,
                                  const std::vector<filename_filter>& filters, file_stats* stats,
                                  bool stream_names) {
    if (name.empty()) return false;
    if (folder.empty())
        return path_passes_filters(options, could_not_check, name, filters, stats, stream_names);
    if (!window_passes(options, folder + L"/" + name, stats)) return false;
    if (filters.empty() || single_match_all(filters)) return true;

    std::wstring lower_folder = folder;
    std::wstring lower_name = name;
    wstring_to_lower(lower_folder);
    wstring_to_lower(lower_name);
    bool has_stream_name = false;
    std::wstring stream_name;
    split_stream_name(lower_name, stream_names, has_stream_name, stream_name);

    for (const filename_filter& entry : filters) {
        if (has_stream_name ? !entry.has_stream : (entry.has_stream && !entry.any_stream)) continue;
        if (entry.path_text_length != 0 && lower_folder.find(entry.path_text) == std::wstring::npos) continue;
        if (stream_rule(entry, has_stream_name, stream_name) != 1) continue;
        bool unused = false;
        if (name_rule(entry, lower_name, unused)) return true;
    }
    return false;
}
