#include "io/path_source.h"

#include <cstdio>

#include "io/file_stats.h"
#include "io/filename_filter.h"
#include "io/portable_dir.h"
#include "platform/path_text.h"

namespace qmportdir {

namespace {

// Standard input needs no preparation on this platform.
bool prepare_stdin() { return true; }

}  // namespace

_folder_level::_folder_level() : path(), level(0) {}

_folder_level::_folder_level(const std::wstring& path_in, std::uint32_t level_in)
    : path(path_in), level(level_in) {}

stdin_stream_ex::stdin_stream_ex(const cmd_params* options_in)
    : uni::stdin_stream(false),
      level_limit(1),
      enumdir_mode(false),
      options(nullptr),
      ahead_at(0),
      looked_ahead(false),
      nul_separated(false),
      files_met(0) {
    clear();
    options = options_in;
}

stdin_stream_ex::~stdin_stream_ex() = default;

void stdin_stream_ex::clear() {
    pending_folders.clear();
    pending_files.clear();
    level_limit = 1;
    filters.clear();
    enumdir_mode = false;
    options = nullptr;
    ahead.clear();
    ahead_at = 0;
    looked_ahead = false;
    nul_separated = false;
    files_met = 0;
}

bool stdin_stream_ex::init_to_stdin(bool prepare) {
    clear();
    ready = prepare ? prepare_stdin() : true;
    enumdir_mode = false;
    return ready;
}

bool stdin_stream_ex::init_to_enumdir(const std::wstring& folder, std::uint32_t num_subdirs,
                                      const std::vector<filename_filter>& filters_in) {
    clear();
    level_limit = num_subdirs;
    filters = filters_in;
    std::wstring start = folder;
    fixup_directory_or_file(start, true);
    pending_folders.emplace_back(start, 0);
    ready = true;
    enumdir_mode = true;
    return true;
}

bool stdin_stream_ex::init_to_enumdir(const std::string& folder, std::uint32_t num_subdirs,
                                      const std::vector<filename_filter>& filters_in) {
    if (folder.empty()) return false;
    return init_to_enumdir(path_to_wide(folder), num_subdirs, filters_in);
}

void stdin_stream_ex::look_ahead() {
    looked_ahead = true;
    int c;
    while ((c = std::getc(input)) != EOF) {
        ahead.push_back(static_cast<char>(c));
        if (c == '\0') {
            nul_separated = true;
            return;
        }
    }
}

int stdin_stream_ex::next_byte() {
    if (ahead_at < ahead.size()) return static_cast<unsigned char>(ahead[ahead_at++]);
    if (!ahead.empty()) {
        ahead.clear();
        ahead_at = 0;
    }
    return std::getc(input);
}

bool stdin_stream_ex::read_listed_path(std::string& out, bool trim) {
    out.clear();
    if (!ready || input == nullptr) return false;
    // Whether the list holds a NUL is known by the first one, or by the end of a list without one.
    if (!looked_ahead) look_ahead();
    bool any = false;
    int c;
    while ((c = next_byte()) != EOF) {
        any = true;
        if (c == '\0') break;
        out.push_back(static_cast<char>(c));
        if (c == '\n' && !nul_separated) break;
    }
    if (!any) return false;
    if (trim && !nul_separated) {
        while (!out.empty() && (out.back() == '\r' || out.back() == '\n')) out.pop_back();
    }
    return true;
}

bool stdin_stream_ex::read(std::string& out, bool trim) {
    if (!enumdir_mode) return read_listed_path(out, trim);
    std::wstring path;
    if (!get_next_file(path)) return false;
    out = wide_to_path(path);
    return true;
}

bool stdin_stream_ex::read(std::wstring& out, bool trim) {
    if (!enumdir_mode) {
        std::string narrow;
        if (!read_listed_path(narrow, trim)) return false;
        // Every byte of the path survives, valid UTF-8 or not.
        out = path_to_wide(narrow);
        return true;
    }
    return get_next_file(out);
}

bool stdin_stream_ex::get_next_file(std::wstring& out) {
    for (;;) {
        out.clear();
        if (!pending_files.empty()) {
            out = std::move(pending_files.back());
            pending_files.pop_back();
            return true;
        }
        if (pending_folders.empty()) return false;
        _folder_level folder = std::move(pending_folders.back());
        pending_folders.pop_back();
        bool found = true;
        while (folder.level > level_limit) {
            if (pending_folders.empty()) {
                found = false;
                break;
            }
            folder = std::move(pending_folders.back());
            pending_folders.pop_back();
        }
        if (!found) continue;
        fixup_directory_or_file(folder.path, true);
        std::vector<subdir_node_utf16> entries;
        std::vector<unlisted_folder> unlisted;
        // The start folder may carry folder wildcards; a folder found on disk is listed by its own name.
        if (folder.level == 0) {
            list_folder_wide(folder.path, L"*.*", entries, &unlisted);
        } else {
            list_folder_exact_wide(folder.path, L"*.*", entries, &unlisted);
        }
        if (on_unlisted_folder)
            for (const unlisted_folder& u : unlisted) on_unlisted_folder(u.path, u.why);
        for (subdir_node_utf16& entry : entries) {
            if (entry.is_dir) {
                pending_folders.emplace_back(entry.path, folder.level + 1);
                continue;
            }
            if (!entry.folder_link.empty()) {
                if (on_folder_link) on_folder_link(wide_to_path(entry.path), entry.folder_link);
                continue;
            }
            ++files_met;
            if (fixup_directory_or_file(entry.path, false)) {
                pending_files.push_back(std::move(entry.path));
            }
        }
    }
}

bool stdin_stream_ex::fixup_directory_or_file(std::wstring& path, bool is_directory) {
    if (!is_directory) {
        bool could_not_check = false;
        bool passes;
        if (options != nullptr) {
            file_stats stats;
            passes = path_passes_filters(options, &could_not_check, path, filters, &stats, false);
        } else {
            passes = path_passes_filters_default(&could_not_check, path, filters, false);
        }
        // A file whose signature could not be read is kept: the caller's own test decides about it.
        if (!passes && !could_not_check) return false;
    }
    strip_long_path_prefix(path);
    return true;
}

}  // namespace qmportdir
