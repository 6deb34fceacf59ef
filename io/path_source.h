// The source of the paths a run processes: the lines of standard input ("-pipe") or the files found by
// walking a folder tree to a given depth ("-enumdir" with "-num_subdirs"), one path per read. Walked names
// keep their file-system bytes: the narrow read hands them out unchanged, the wide read in the
// byte-preserving path form of platform/path_text.h.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "io/filter_entry.h"
#include "io/std_streams.h"

class cmd_params;

namespace qmportdir {

// One pending folder of a walk.
struct _folder_level {
    _folder_level();
    _folder_level(const std::wstring& path, std::uint32_t level);

    std::wstring path;    // the folder's full path
    std::uint32_t level;  // 0 for the start folder, 1 for its sub-folders, ...
};

class stdin_stream_ex : public uni::stdin_stream {
  public:
    // Standard input underneath; options (not owned, may be null) is kept until the next init.
    explicit stdin_stream_ex(const cmd_params* options);
    ~stdin_stream_ex() override;

    // Empties both stacks and the filters, level_limit 1, standard-input mode, options null.
    void clear();
    // Standard-input mode from an empty state. Returns the ready flag.
    bool init_to_stdin(bool prepare);
    // Folder-walk mode from an empty state: files of `folder` and of the folders down to num_subdirs levels
    // below it that pass `filters` (the default filter, without a time window). The folder is not tested
    // here; one that cannot be opened makes the first read return false (told to on_unlisted_folder). True.
    bool init_to_enumdir(const std::wstring& folder, std::uint32_t num_subdirs,
                         const std::vector<filename_filter>& filters);
    // False for an empty folder (nothing changes); else the wide form on the folder's path bytes.
    bool init_to_enumdir(const std::string& folder, std::uint32_t num_subdirs,
                         const std::vector<filename_filter>& filters);

    // The next path: in folder-walk mode the next file (its path bytes; out untouched on false); otherwise
    // the next entry of standard input. Where standard input holds a NUL byte (as "find -print0" writes),
    // only NUL bytes end an entry, which is kept whole, line ends included; else a line end ends it, and
    // trailing CR and LF are removed when trim is set. False when nothing is left.
    bool read(std::string& out, bool trim) override;
    bool read(std::wstring& out, bool trim) override;

    // One walk step: every file of a folder is handed out (last listed first) before the next folder is
    // listed; folders are taken last pushed first and dropped when deeper than level_limit.
    bool get_next_file(std::wstring& out);
    // For a file, the include filter (a file whose signature could not be checked stays in); then, for any
    // path, the long-path prefix rule. False means that the file is dropped.
    bool fixup_directory_or_file(std::wstring& path, bool is_directory);

    bool in_enumdir_mode() const { return enumdir_mode; }

    // Told of each folder of a walk that cannot be listed (its path without the trailing separator, and
    // why) as the walk passes it over; the walk then goes on with the next. Kept by clear() and the inits.
    std::function<void(const std::string& folder, const std::string& why)> on_unlisted_folder;
    // Told of each link to a folder that a walk lists (its path, and its target as the link holds it), which
    // it neither enters nor hands out as a file: an absolute target names the examiner's own machine, a
    // relative one may lead out of the evidence. Kept by clear() and the inits.
    std::function<void(const std::string& link, const std::string& target)> on_folder_link;
    // The files the walk has listed since its init, those the filters dropped included.
    std::uint64_t files_listed() const { return files_met; }
    std::uint32_t get_level_limit() const { return level_limit; }

  private:
    // One entry of standard input into `out`, as read() describes.
    bool read_listed_path(std::string& out, bool trim);
    // Reads standard input into `ahead` up to its first NUL byte (nul_separated then set) or its end.
    void look_ahead();
    // The next byte of standard input, those of `ahead` first; EOF at the end.
    int next_byte();

    std::deque<_folder_level> pending_folders;  // folders still to list, used as a stack
    std::deque<std::wstring> pending_files;     // files still to hand out, used as a stack
    std::uint32_t level_limit;                  // deepest folder level that is listed
    std::vector<filename_filter> filters;       // own copy of the include list
    bool enumdir_mode;                          // folder-walk mode
    const cmd_params* options;                  // the run's options; not owned, may be null
    std::string ahead;                          // standard input read ahead by look_ahead
    std::size_t ahead_at;                       // the next byte of `ahead` to hand out
    bool looked_ahead;                          // look_ahead has run since the last clear
    bool nul_separated;                         // standard input holds a NUL byte
    std::uint64_t files_met;                    // files the walk listed, before the filters
};

}  // namespace qmportdir
