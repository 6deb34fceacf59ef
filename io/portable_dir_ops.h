// Whole-file operations of the portable directory layer: existence tests, folders made with their parents,
// writing a file into a folder made on the way, reading a whole file up to a cap, deleting, renaming and
// moving, the executable's path, relative paths, stream sizes, C streams, a content search and a secure
// wipe. Paths are file-system bytes; the wide forms convert byte for byte (platform/path_text.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "io/filter_entry.h"

class cmd_params;

// True when the path is not empty and its status can be read (links followed). No call for an empty path.
bool file_exists(const std::string& path);
bool file_exists_wide(const std::wstring& path);

// mkdir with mode 0777 under a umask of 0; the process umask is put back as it was. True when the folder
// was made or already exists; false for an empty path or any other failure.
bool make_directory(const std::string& path);
bool make_directory(const std::wstring& path);
// Makes the folder and every missing parent ('"' removed first; '\' read as '/'; a drive part such as "C:"
// is not made). Stops at the first folder it cannot make and leaves those made so far. The umask is left
// as it was found.
bool make_directory_path(const std::string& path);
bool make_directory_path(const std::wstring& path);

// Splits the path, makes its folder, creates or truncates the file and writes `length` bytes of `data`
// (nothing when either is zero). True when the file could be opened.
bool write_file_in_folder(const char* path, const void* data, std::uint64_t length);
bool write_file_in_folder(const std::wstring& path, const void* data, std::uint64_t length);

// Empties out and reads min(size, cap) bytes from the start of the file (opened read-only). True when
// something was read; false for an empty path, a file that does not open and an empty file.
bool read_file_bytes(std::vector<std::uint8_t>& out, const std::string& path, std::uint32_t cap);
bool read_file_bytes_w(std::vector<std::uint8_t>& out, const std::wstring& path, std::uint32_t cap);

// Removes the file; a path longer than 2 characters without ':' second is made absolute first.
bool delete_file(const std::string& path);
bool delete_file(const std::wstring& path);
// rename(); with clean_up both paths are made absolute first. The wide form passes clean_up false.
bool rename_file(const std::string& old_path, const std::string& new_path, bool clean_up);
bool rename_file(const std::wstring& old_path, const std::wstring& new_path);

// Moves `source` into `folder` (made when missing) under its own name; out = the new path. False for an
// empty source or folder, a missing source, or a failed step.
bool move_file_to_folder(std::string& out, const std::string& folder, const std::string& source);
// Moves "dir/stem.ext" into the new folder "dir/stem" (out = its new path), unless dir already holds the
// stem; with move_companions, files of dir listed by each pattern whose path holds the stem follow it.
bool move_into_named_folder(std::string& out, const std::string& source,
                            const std::vector<std::string>& patterns, bool move_companions);

// The running executable's path; empty when it cannot be read.
std::string executable_path();
std::wstring executable_path_wide();

// The path of `to` relative to `from` ('/'-separated; "../" for each level up). False when either path is
// shorter than 4 characters or longer than max_length, or the result would be longer than max_length.
bool relative_path(std::string& out, const std::string& from, const std::string& to, std::int32_t max_length);

// The end position of the stream; the put (get) position and the state are restored (cleared).
std::uint64_t output_stream_size(std::ostream& stream);
std::uint64_t input_stream_size(std::istream& stream);

// There are no short path names on this platform: out is emptied and the result is false.
bool short_path_name(std::string& out, const std::string& path);

// fopen of the path bytes: mode "w+" with create or write, else "rb" (byte_mode) or "r". `unused` plays
// no part. out is null unless a stream was opened.
bool open_c_file(std::FILE*& out, const std::wstring& path, bool create, std::uint64_t unused, bool write,
                 bool byte_mode);
bool open_c_file_for_writing(std::FILE*& out, const std::wstring& path, bool byte_mode);
bool open_c_file_for_reading(std::FILE*& out, const std::wstring& path, bool byte_mode);

// Small helpers for sorting and clearing string lists.
bool strings_equal(const std::string& a, const std::string& b);
bool string_less(const std::string& a, const std::string& b);
// Empties the list; always false.
bool clear_string_list(std::vector<std::string>& list);

// One criterion of filter_files_by_content. Every part that is set must hold, each pattern included.
struct content_criterion {
    std::uint64_t not_before =
        0;                       // created or altered time (seconds since 1970) must not be before it; 0 none
    std::uint64_t min_size = 0;  // smallest size accepted
    std::uint64_t max_size = 0;  // largest size accepted; 0 means no upper bound
    std::wstring extension;      // when not empty, the file's extension (any case)
    std::uint32_t region_start = 0;  // region searched for region_pattern: [region_start, region_end)
    std::uint32_t region_end = 0;
    std::vector<std::uint8_t> region_pattern;
    std::uint32_t tail_length = 0;  // tail_pattern is searched in the last tail_length bytes (below 16384)
    std::vector<std::uint8_t> tail_pattern;
    std::uint32_t block_length = 0;  // block_pattern is searched in the first block_length bytes (below 512)
    std::vector<std::uint8_t> block_pattern;  // of every 512-byte block
};

// Keeps, in order, the paths that satisfy at least one criterion (criteria are alternatives); a path whose
// status cannot be read is dropped. False for an empty path list or when none passed (the list is then
// emptied); true with the list untouched for an empty criteria list.
bool filter_files_by_content(std::vector<std::string>& paths, const std::vector<content_criterion>& criteria);

// Overwrites the file with zeros, truncates it to one byte, renames it to 4 random characters, moves it
// to the %TEMP% folder and deletes it. False for an empty path or a file that cannot be opened for writing.
bool wipe_file(const std::wstring& path);
// Wipes every file a filtered walk of `depth` levels finds, then (with no filter or a match-all filter)
// removes the folders. Messages go to the diagnostics log and, with progress on, to standard error.
// False for an empty folder or when the walk found nothing.
bool wipe_folder(const std::wstring& folder, const std::vector<filename_filter>& filters, std::uint32_t depth,
                 cmd_params* options);
