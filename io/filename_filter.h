// File-name filter lists: building them from option values and testing paths against them (name patterns,
// folders, stream names, byte signatures) together with the start and stop time window of the options.
#pragma once

#include <string>
#include <vector>

#include "io/file_stats.h"
#include "io/filter_entry.h"

class cmd_params;

// Builds a list from one option value; the text is lower-cased in place. Items are cut at '|', or at ','
// when the text holds one (',' wins). True when the list holds at least one entry.
bool build_filename_filters(std::vector<filename_filter>& out, std::string& text);
// The same; a non-empty path_text (lower-cased in place) becomes every entry's folder condition.
bool build_filename_filters(std::vector<filename_filter>& out, std::string& text, std::string& path_text);

// The full test of one path. stats may be null (no time window); when it is given options must be given too,
// and a zero modify time is first filled from the path. could_not_check (may be null) is set when a
// signature test could not open the file. An empty list passes every path that the time window lets through.
bool path_passes_filters(const cmd_params* options, bool* could_not_check, const std::wstring& path,
                         const std::vector<filename_filter>& filters, file_stats* stats, bool stream_names);
// False for an empty path; else the test above on the path's wide form. An empty list passes unless the
// time window of options applies to stats.
bool path_passes_filters_utf8(const cmd_params* options, bool* could_not_check, const std::string& path,
                              const std::vector<filename_filter>& filters, file_stats* stats,
                              bool stream_names);
// False for an empty path, true for an empty list, else the test with a default option set and no stats.
bool path_passes_filters_default(bool* could_not_check, const std::wstring& path,
                                 const std::vector<filename_filter>& filters, bool stream_names);
// The test for a folder and a name held apart: name and stream tests, the entries' folder condition
// (path_text), no folder entries and no signature tests.
bool folder_and_name_pass_filters(const cmd_params* options, bool* could_not_check,
                                  const std::wstring& folder, const std::wstring& name,
                                  const std::vector<filename_filter>& filters, file_stats* stats,
                                  bool stream_names);

// Replaces every `from` in text by `to`; with both_cases the lower- and upper-case forms of from alike.
void replace_wchar(std::wstring& text, wchar_t from, wchar_t to, bool both_cases);
