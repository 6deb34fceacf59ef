// Facts about the machine and the running program for the output header: host name, operating system
// name, version and release, 64-bit or not, the executable's path, and whether it lies on a non-local or a
// removable volume. Every fact has a fixed fallback instead of an error; nothing is printed.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

struct os_version_info {
    os_version_info();
    // Every text empty, every flag false, the number 0.
    void clear();

    bool valid;                // true after a successful fill
    bool is_64bit;             // the machine name (lower-cased) contains "64"
    std::string name;          // operating-system name
    std::string version;       // the kernel's version text
    std::string release;       // the kernel's release text
    std::string node_name;     // network node name
    bool short_release;        // asks the writer to shorten `release`; set only by callers
    std::string program_path;  // path of the running program, as given to the fill
    std::string program_name;  // file name of the program up to its first underscore
    std::uint64_t file_id;     // written in hex by the writer when non-zero; set only by callers
    std::string note;          // a further text for callers
    bool on_nonlocal_volume;   // the executable lies on a network or user-space file system
    bool on_removable_media;   // the executable lies on a removable disk
};

// Fills `info` from uname and the volume tests. 1, or 0 when the kernel facts cannot be read (then
// `valid` is false and only `name` is set).
int get_os_version_info(os_version_info& info, const std::string& program_path);

// Appends the facts to `out`, each text with every `separator` inside it replaced by `replacement` and
// followed by the separator: name, node name (when asked), version, release, then "64" or "32"; then,
// when asked and known, the separator and the lower-cased program path; when file_id is non-zero, the
// separator and file_id in lower-case hex (the stream is left in hex mode).
void write_os_version_info(const os_version_info& info, std::ostringstream& out, const std::string& separator,
                           const std::string& replacement, bool with_node_name, bool with_program_path);

// Absolute path of the running executable; empty on failure.
std::string get_executable_path();
std::wstring get_executable_path_wide();
// The host name; "<unk>" on failure.
std::string get_host_name();
// True when the executable lies on a network or user-space file system.
bool is_exe_on_nonlocal_volume();
// True when the executable lies on a block device the kernel marks removable.
bool is_exe_on_removable_media();

// Lower-cases `text` in place and maps a Windows version name to its code (4144 for "win10" ... 16 for
// "nt4"); 1 for anything else.
int windows_version_code(std::string& text);
