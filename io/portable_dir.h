// Folder listing of the portable directory layer: one folder through the POSIX directory calls, folder
// wildcards ("/*/" stands for every sub-folder), a name.extension pattern, level-by-level walks and a
// wildcard file search. Names are file-system bytes: the UTF-8 entries carry them unchanged and the wide
// entries carry them in the byte-preserving path form of platform/path_text.h. Links are never followed
// (entries are examined with lstat), so no walk can enter a link loop.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "io/filter_entry.h"

class cmd_params;

namespace qmportdir {

// One listing entry (path bytes).
struct subdir_node {
    // Sets long_path from the path.
    subdir_node(const std::string& path, const std::string& name, bool is_dir, std::int32_t level);

    std::string
        path;  // listed folder (ending with its separator) + entry name; a folder's ends with the separator
    std::string name;    // entry name for a file; empty for a folder
    bool is_dir;         // the entry is a folder
    bool long_path;      // path has at least 5 bytes and begins with "\\?\"
    std::int32_t level;  // listing level for files, that level + 1 for folders
    // A link to a folder (listed as a file, never entered): the target as the link holds it; else empty.
    std::string folder_link;
};

// One listing entry, wide form.
struct subdir_node_utf16 {
    // Sets long_path for a path of at least 5 characters that begins with two backslashes and, when such a
    // path is longer than 46 characters, globalroot when "globalroot" (any case) stands at index 4.
    subdir_node_utf16(const std::wstring& path, const std::wstring& name, bool is_dir, std::int32_t level);

    std::wstring path;        // as subdir_node::path
    std::wstring name;        // as subdir_node::name
    bool is_dir;              // the entry is a folder
    bool long_path;           // two leading backslashes
    bool globalroot;          // a long path that names a global root
    std::int32_t level;       // as subdir_node::level
    std::string folder_link;  // as subdir_node::folder_link
};

// Path and name converted byte for byte, is_dir, level and folder_link copied, long_path and globalroot
// false.
subdir_node_utf16 subdir_node_to_utf16(const subdir_node& node);

}  // namespace qmportdir

// Appends the entries of `folder` (which ends with its separator) in readdir order, skipping "." and "..".
// A folder (by lstat) gets the separator ('/' with forward_slash, else '\') appended, an empty name and
// level + 1; anything else, a link included, is a file entry at `level` unless folders_only (a link whose
// target is a folder carries that target in folder_link). An entry whose status cannot be read is listed as a
// file. True when at least one entry was appended; false
// also when the folder cannot be opened (then `open_error`, when given, gets the errno value; else 0).
bool read_folder_entries(const std::string& folder, std::vector<qmportdir::subdir_node>& out,
                         std::uint32_t level, bool folders_only, bool forward_slash,
                         int* open_error = nullptr);

// A folder a listing could not open: its path (without a trailing separator) and why.
struct unlisted_folder {
    std::string path;
    std::string why;
};

// One pass: every non-empty path holding the component "/*/" ("\*\" without forward_slash) becomes one path
// per sub-folder of the text before the '*' (with the rest appended), or empty when there is none.
// True when any path changed.
bool expand_folder_wildcards(std::vector<std::string>& paths, bool forward_slash);

// Lists `folder` (folder wildcards expanded) and keeps every folder entry and the file entries that match
// `pattern` ("name.ext", either part "*"; empty means "*.*"; compared ignoring case). `out` is emptied.
void list_folder(const std::string& folder, const std::string& pattern,
                 std::vector<qmportdir::subdir_node>& out, std::vector<unlisted_folder>* unlisted = nullptr);
// list_folder on the byte forms; entries converted and appended (out is not emptied). Each folder listed
// (after wildcards) that cannot be opened goes to `unlisted` when given.
void list_folder_wide(const std::wstring& folder, const std::wstring& pattern,
                      std::vector<qmportdir::subdir_node_utf16>& out,
                      std::vector<unlisted_folder>* unlisted = nullptr);

// As list_folder_wide for a folder found on disk: its name is taken literally (a folder named "*" is
// not a wildcard). The walks list the folders they discover this way.
void list_folder_exact_wide(const std::wstring& folder, const std::wstring& pattern,
                            std::vector<qmportdir::subdir_node_utf16>& out,
                            std::vector<unlisted_folder>* unlisted = nullptr);

// Appends the entries' paths; folders only when include_folders.
void list_folder_paths(const std::string& folder, const std::string& pattern, std::vector<std::string>& out,
                       bool include_folders);
// list_folder_paths with include_folders true; a null pattern means every entry. Null folder: nothing.
void list_folder_paths_cstr(const char* folder, const char* pattern, std::vector<std::string>& out);
void list_folder_paths_cstr(const char* folder, std::vector<std::string>& out);
void list_folder_paths_wide(const std::wstring& folder, const std::wstring& pattern,
                            std::vector<std::wstring>& out);
// Empties out, then appends the paths of the file entries only.
void list_files(const std::string& folder, std::vector<std::string>& out);
// Appends the paths of the folder entries only (out is not emptied).
void list_subfolders(const std::string& folder, std::vector<std::string>& out);

// out becomes the path alone, then its "/*/" components are expanded (a path with no sub-folder for a
// component becomes empty); true (false only for a null path).
bool expand_folder_pattern(const char* path, std::vector<std::string>& out);
// expand_folder_pattern, then each path on a line of its own.
bool print_folder_pattern(const char* path, std::ostream& out);
bool expand_folder_pattern_wide(const std::wstring& path, std::vector<std::wstring>& out);
// Every entry of the folder as "LLL: path" (level in hexadecimal, 3 digits). False for a null folder.
bool print_folder_listing(const char* folder, std::ostream& out);

// Level-by-level walk: level 0 lists the start folder, each further level the folders found one level
// up, for `depth` levels (0 lists nothing). File paths are appended in listing order, a long-path file
// without its first four characters.
void collect_files(std::vector<std::string>& out, const std::string& folder, const std::string& pattern,
                   std::uint32_t depth);
void collect_files_wide(const std::wstring& folder, const std::wstring& pattern,
                        std::vector<std::wstring>& out, std::uint32_t depth);

// Called once per reported entry of walk_folder_with_callback: (path, is_folder, context, options).
using folder_walk_callback = void (*)(const std::wstring& path, bool is_folder, void* context,
                                      cmd_params* options);

// The level-by-level walk with the file-name filter: each folder of a level (before it is listed) and each
// file is tested (path_passes_filters with options and a file_stats record, or the default test without
// options); one that passes or whose signature file could not be opened is handed to the callback without
// its long-path prefix. Folders are listed whether or not they pass. Nothing for an empty folder.
void walk_folder_with_callback(const std::wstring& folder, const std::vector<filename_filter>& filters,
                               folder_walk_callback callback, void* context, cmd_params* options,
                               std::uint32_t depth);
// Fronts that first replace environment-variable names between percent signs in the folder by their
// values (unset names stay as written). The wide front expands the path bytes, so that a name that is
// not UTF-8 survives.
void walk_folder_with_callback_utf8(const std::string& folder, const std::vector<filename_filter>& filters,
                                    folder_walk_callback callback, void* context, cmd_params* options,
                                    std::uint32_t depth);
void walk_folder_with_callback_expanded(const std::wstring& folder,
                                        const std::vector<filename_filter>& filters,
                                        folder_walk_callback callback, void* context, cmd_params* options,
                                        std::uint32_t depth);

// Files of the folder whose lower-case name matches the last component of `path` (a '?' run stands for any
// text between a prefix and a suffix), as (full path, lower-case name). True when any matched.
bool find_matching_files(const std::string& path, std::map<std::string, std::string>& out);

// The long-path rule shared by the walks: a path of at least 5 characters that begins with two backslashes
// loses its first four characters when it is at most 46 characters long, or when it is longer and
// "global" (any case) does not stand at index 4.
void strip_long_path_prefix(std::wstring& path);
