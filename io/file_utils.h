// Whole-file and path operations built on the file object: reading a file into memory, overwriting a file
// with zeros, path status and file_stats, and absolute paths. Nothing here prints; each reports 1/0 or a
// value. (The file object's own utility members are declared in io/fileio.h.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/file_stats.h"
#include "io/fileio.h"
#include "platform/file_status.h"

// Reads at most `limit` bytes from the start of the file at `path` into `out` (emptied first). 0 for an
// empty path, a limit of 0, a file that does not open and an empty file.
int read_file_to_vector(std::vector<std::uint8_t>& out, const std::string& path, std::uint32_t limit);
// The same with the path first, as the SQLite layers call it.
int read_file_to_vector(const std::string& path, std::vector<std::uint8_t>& out, std::uint32_t limit);
// The same into a string.
int read_file_to_string(std::string& out, const std::string& path, std::uint32_t limit);

// Overwrites an existing file with zeros over its whole size. 1, or 0 when it does not open or a write fails.
int zero_fill_file(const std::string& path);
// Writes a 512-byte block of zeros at every multiple of 512 below the file's size (a size that is not a
// multiple of 512 grows to the next one). 0 when the file does not open, is empty or a write fails.
int overwrite_with_zeros(const std::wstring& path);
int overwrite_with_zeros(const std::string& path);
// As overwrite_with_zeros; with a non-empty marker, each multiple of 4,096 then receives the marker and a
// 4-byte little-endian counter (0 for the first marked block, then 1, 2, ...).
int overwrite_with_zeros_marked(const std::wstring& path, const std::vector<std::uint8_t>& marker);
int overwrite_with_zeros_marked(const std::string& path, const std::vector<std::uint8_t>& marker);

// Status of a path (following links): identity, times and size are cleared first. 0 or -1.
int stat_path(const char* path, stat_record* record);
int stat_wide_cstr(const wchar_t* path, stat_record* record);
// True when the status of the path can be read.
bool stat_wide(stat_record* record, const std::wstring& path);
// As stat_wide after removing trailing '/' and '\' from the path.
bool stat_utf8(stat_record* record, const std::string& path);
// True when the status can be read and the path is a folder.
bool is_directory_utf8(const std::string& path);
bool is_directory_wide(const std::wstring& path);
// The inode number, 0 when the status cannot be read.
std::uint64_t get_file_inode(const std::wstring& path);
std::uint64_t get_file_inode_utf8(const std::string& path);
// Clears `record` and fills it from the status of `path`: mode, inode, size, the four times in seconds,
// the folder flag and the time kind (16 when the modify time does not fit in 32 bits, else 8). 0 for an
// empty path or an unreadable status.
int get_file_stats(file_stats& record, const std::wstring& path);

// The process's current folder; empty when it cannot be read.
std::string get_current_dir();
std::wstring get_current_dir_wide();
// Turns a relative path into an absolute one against the current folder, with `default_separator` when
// the path holds neither '/' nor '\'.
std::string make_absolute_path(const std::string& path, char default_separator);
std::wstring make_absolute_path(const std::wstring& path, wchar_t default_separator);

// True when the two paths name one file: by device and inode where both exist; where neither exists, by
// their absolute forms (an existing folder resolved through its links, "." and ".." applied), so that
// creating one would create the other. A path that exists never names the same file as one that does not.
// False for an empty path. Reads status only; opens nothing.
bool paths_name_same_file(const std::string& a, const std::string& b);
