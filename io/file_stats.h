// File metadata records: `file_stats` (what the file layer reports of a path), the run-log record
// `log_record` that begins with it, and the file-entry records of the portable directory layer in a
// UTF-8 and a wide form. They are filled from the status of a path; times are seconds since 1970 UTC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_status.h"

// A file's metadata as the file layer reports it.
struct file_stats {
    file_stats();
    file_stats(const file_stats&) = default;
    file_stats& operator=(const file_stats&) = default;
    ~file_stats() = default;

    // Empties both texts and sets every number and flag to 0.
    void clear();

    std::string name;           // the file's full path, when a filler sets it
    std::uint64_t inode;        // inode number
    std::uint16_t sequence;     // sequence number (two flag bytes; cleared with the inode)
    std::uint64_t size;         // bytes
    std::uint64_t modify_time;  // seconds since 1970 (or FILETIME when time_kind is 1)
    std::uint64_t birth_time;   // creation; 0 where the file system keeps none
    std::uint64_t change_time;  // status change
    std::uint64_t access_time;  // last access
    std::uint64_t mode;         // the 16-bit st_mode
    std::uint64_t time_kind;    // qm::type_time code of the times: 8 Unix seconds, 16 when the modify time
                                // does not fit in 32 bits, 1 FILETIME, 0 none
    bool is_folder;             // mode & 0xF000 is 0x4000
    bool folder_wanted;         // a caller's flag: the path was asked for as a folder
    std::uint8_t raw_read;      // a caller's flag: the file was read raw
    std::uint64_t offset;       // a caller's value; cleared, never filled here
    std::string notes;          // a caller's note (the extra text of the fillers)
};

// A file's record in a run log: the file_stats part, then what the run log adds.
struct log_record : file_stats {
    log_record();
    log_record(const log_record&) = default;
    log_record& operator=(const log_record&) = default;
    // The constructor form of fill_log_record: a fresh record filled from `path` (and `status` when given).
    log_record(const std::wstring& path, const stat_record* status, const std::string& extra);
    ~log_record() = default;

    // Clears the file_stats part, source_flags and has_attributes, and empties both lists.
    void clear();
    // Assignment, then a time kind of 0 with a modify time of at least 1 becomes 1 (FILETIME) when
    // source_flags has any of 0x01, 0x04, 0x10, 0x20, else 8 (Unix seconds).
    void copy(const log_record& other);

    std::uint64_t source_flags;                 // 2 Unix or Unix-ms times, 4 FILETIME times, 8 folder,
                                                // 0x80 extended attributes read
    std::uint8_t has_attributes;                // extended attributes were read
    std::vector<std::string> attribute_names;   // extended attribute names
    std::vector<std::string> attribute_values;  // their values, parallel to attribute_names
};

// Fills `record` from the status of `path` (get_file_stats), sets `name` to the path and adds to the mask
// 8 for a folder, 2 for time kind 8 or 16, 4 for time kind 1; a non-empty `extra` becomes `notes`.
// False when the status cannot be read.
bool fill_file_stats(log_record& record, const std::wstring& path, const std::string& extra);
bool fill_file_stats_narrow(log_record& record, const std::string& path, const std::string& extra);

// Clears `record` (an empty path gives false). With `status`: path, inode, size, modify, change and
// access time and mode are taken from it (birth time and time kind stay 0), the mask gains 2, and 8 more
// with the folder flag for a folder. Without it, fill_file_stats. The extra text is stored.
bool fill_log_record(log_record& record, const std::wstring& path, const stat_record* status,
                     const std::string& extra);
bool fill_log_record(log_record& record, const std::string& path, const stat_record* status,
                     const std::string& extra);

// ---------------------------------------------------------------- status of a path

// Size, mode and three times of `path`; every out is zeroed first. False for an empty path or an
// unreadable status.
bool stat_file(const std::wstring& path, std::uint64_t* size, std::uint32_t* mode, std::uint64_t* change_time,
               std::uint64_t* modify_time, std::uint64_t* access_time);
bool stat_file_utf8(const std::string& path, std::uint64_t* size, std::uint32_t* mode,
                    std::uint64_t* change_time, std::uint64_t* modify_time, std::uint64_t* access_time);
bool stat_file_cstr(const char* path, std::uint64_t* size, std::uint32_t* mode, std::uint64_t* change_time,
                    std::uint64_t* modify_time, std::uint64_t* access_time);
// As stat_file with the three times as FILETIME values.
bool stat_file_filetime(const std::wstring& path, std::uint64_t* size, std::uint32_t* mode,
                        std::uint64_t* change_time, std::uint64_t* modify_time, std::uint64_t* access_time);
bool stat_file_filetime_utf8(const std::string& path, std::uint64_t* size, std::uint32_t* mode,
                             std::uint64_t* change_time, std::uint64_t* modify_time,
                             std::uint64_t* access_time);

// ---------------------------------------------------------------- file entries

// One file of a listing, UTF-8 form.
struct file_entry {
    file_entry();
    // Explicit values (file_entry_set).
    file_entry(const std::wstring& path, std::uint64_t size, std::uint64_t value64, std::uint32_t value32,
               std::uint32_t mode, std::uint64_t created, std::uint64_t altered, std::uint64_t entry_changed,
               std::uint64_t accessed, std::uint32_t permissions);
    // Converted from a wide entry (file_entry_from_wide).
    explicit file_entry(const struct file_entry_w& wide);
    file_entry& operator=(const struct file_entry_w& wide);
    file_entry(const file_entry&) = default;
    file_entry& operator=(const file_entry&) = default;

    // Every text empty, every number 0, m_using_st_mode_flags true.
    void reset();

    std::string path;             // the full path
    std::string path_lower;       // lower-case copy of path
    std::string folder;           // folder part
    std::string name;             // file name (base name and extension for files of file_entry_fill)
    std::string extension;        // text after the last '.'
    std::uint64_t value64;        // a caller's value, stored unchanged
    std::uint32_t value32;        // a caller's value, stored unchanged
    std::uint64_t size;           // bytes
    std::uint32_t mode;           // POSIX mode, or below 9 an attribute word whose bit 1 marks a folder
    std::uint64_t created;        // seconds since 1970
    std::uint64_t altered;        // seconds since 1970
    std::uint64_t entry_changed;  // seconds since 1970
    std::uint64_t accessed;       // seconds since 1970
    std::uint32_t permissions;    // permission word
    bool m_using_st_mode_flags;   // mode holds POSIX type bits
};

// One file of a listing, wide form with fixed name buffers (text is cut at 512 characters).
struct file_entry_w {
    static constexpr std::size_t kNameChars = 512;

    file_entry_w();
    file_entry_w(const wchar_t* name, std::uint64_t value64, std::uint64_t size, std::uint32_t mode,
                 std::uint64_t created, std::uint64_t altered, std::uint64_t entry_changed,
                 std::uint64_t accessed, std::uint32_t permissions);
    file_entry_w(const wchar_t* name, std::uint64_t size, std::uint32_t mode, std::uint64_t created,
                 std::uint64_t altered, std::uint64_t entry_changed, std::uint64_t accessed,
                 std::uint32_t permissions);

    void reset();
    std::wstring folder_text() const;  // folder up to its NUL
    std::wstring name_text() const;    // name up to its NUL

    wchar_t folder[kNameChars];   // folder, NUL-terminated
    wchar_t name[kNameChars];     // name, NUL-terminated
    std::wstring extension;       // text after the name's last '.'
    std::uint64_t value64;        // a caller's value
    std::uint32_t mode;           // as in file_entry
    std::uint64_t size;           // bytes
    std::uint64_t created;        // seconds since 1970
    std::uint64_t altered;        // seconds since 1970
    std::uint64_t entry_changed;  // seconds since 1970
    std::uint64_t accessed;       // seconds since 1970
    std::uint32_t permissions;    // permission word
    bool m_using_st_mode_flags;   // mode holds POSIX type bits
    bool flag_a;                  // a caller's flag, false after reset
    bool flag_b;                  // a caller's flag, false after reset
};

// Resets `entry` and fills it from the status of `path`; false for null or an unreadable status.
bool file_entry_fill(const char* path, file_entry& entry);
bool file_entry_w_fill(const char* path, file_entry_w& entry);

// Resets `entry` and stores the name (when shorter than 512 characters), its extension and the values.
void file_entry_w_set(file_entry_w& entry, const wchar_t* name, std::uint64_t value64, std::uint64_t size,
                      std::uint32_t mode, std::uint64_t created, std::uint64_t altered,
                      std::uint64_t entry_changed, std::uint64_t accessed, std::uint32_t permissions);
void file_entry_w_set(file_entry_w& entry, const wchar_t* name, std::uint64_t size, std::uint32_t mode,
                      std::uint64_t created, std::uint64_t altered, std::uint64_t entry_changed,
                      std::uint64_t accessed, std::uint32_t permissions);

// A mode below 9 is an attribute word (folder when bit 1 is set); otherwise a POSIX mode, a folder when
// its type bits are 0x4000 (false when the entry does not carry POSIX flags).
bool file_entry_is_dir(const file_entry& entry);
bool file_entry_is_dir(const file_entry_w& entry);

// Resets `entry`, then takes folder, name and extension (as UTF-8) and the values of the wide entry;
// path = folder + '\' + name + "." + extension.
void file_entry_from_wide(file_entry& entry, const file_entry_w& wide);

// Resets `entry` and stores the path (with its lower-case copy and its parts) and the values unchanged.
void file_entry_set(file_entry& entry, const std::wstring& path, std::uint64_t size, std::uint64_t value64,
                    std::uint32_t value32, std::uint32_t mode, std::uint64_t created, std::uint64_t altered,
                    std::uint64_t entry_changed, std::uint64_t accessed, std::uint32_t permissions);
void file_entry_set(file_entry& entry, const char* path, std::uint64_t size, std::uint64_t value64,
                    std::uint32_t value32, std::uint32_t mode, std::uint64_t created, std::uint64_t altered,
                    std::uint64_t entry_changed, std::uint64_t accessed, std::uint32_t permissions);
// The form without the 32-bit value: the 64-bit value is 0 and the created time follows the mode.
void file_entry_set(file_entry& entry, const std::wstring& path, std::uint64_t size, std::uint32_t mode,
                    std::uint64_t created, std::uint64_t altered, std::uint64_t entry_changed,
                    std::uint64_t accessed, std::uint32_t permissions);

// Comparators of wide entries: by name ignoring case, and by created time.
bool file_entry_w_name_equal(const file_entry_w& a, const file_entry_w& b);
bool file_entry_w_name_less(const file_entry_w& a, const file_entry_w& b);
bool file_entry_w_created_less(const file_entry_w& a, const file_entry_w& b);

// Appends a block of "label value" lines describing `entry` to `out`.
void file_entry_print(const file_entry& entry, std::string& out);
