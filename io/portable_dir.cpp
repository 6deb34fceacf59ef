#include "io/portable_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>

#include "common/case_conv.h"
#include "common/text_ops.h"
#include "io/file_stats.h"
#include "io/fileio.h"
#include "io/filename_filter.h"
#include "io/option_parser.h"
#include "platform/path_text.h"

namespace {

constexpr std::size_t kShortPathLimit = 46;

bool has_long_prefix(const std::string& path) {
    return path.size() >= 5 && path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\';
}

// Number of "/*/" components (separator, '*', separator; neighbours may share a separator).
std::size_t count_wildcard_components(const std::string& path, char sep) {
    std::size_t count = 0;
    for (std::size_t i = 1; i + 1 < path.size(); ++i) {
        if (path[i] == '*' && path[i - 1] == sep && path[i + 1] == sep) ++count;
    }
    return count;
}

// Expands until a pass changes nothing. A folder that is itself named "*" would bring its component back
// with every pass, so the passes are capped at the number of components the seed held.
void expand_all_wildcards(std::vector<std::string>& paths, bool forward_slash) {
    const char sep = forward_slash ? '/' : '\\';
    std::size_t passes = 0;
    for (const std::string& p : paths) passes = std::max(passes, count_wildcard_components(p, sep));
    for (std::size_t i = 0; i < passes; ++i) {
        if (!expand_folder_wildcards(paths, forward_slash)) break;
    }
}

// '/' when the folder holds one; '\' when it holds only backslashes. A bare name ("evidence") is a folder
// of this platform and takes '/', so that it can be opened at all.
char folder_separator(const std::string& folder) {
    if (folder.find('/') != std::string::npos) return '/';
    if (folder.find('\\') != std::string::npos) return '\\';
    return '/';
}

// Pattern name and extension, lower-case; an empty part is "*".
void split_pattern(const std::string& pattern, std::string& name, std::string& ext) {
    std::string p = pattern.empty() ? std::string("*.*") : pattern;
    string_to_lower(p);
    const std::size_t dot = p.rfind('.');
    if (dot == std::string::npos) {
        name = p;
        ext.clear();
    } else {
        name = p.substr(0, dot);
        ext = p.substr(dot + 1);
    }
    if (name.empty()) name = "*";
    if (ext.empty()) ext = "*";
}

bool entry_matches(const qmportdir::subdir_node& entry, const std::string& pname, const std::string& pext) {
    if (entry.is_dir) return true;
    if (entry.name.empty()) return true;  // nothing to split: the entry stays in
    std::string lower = entry.name;
    string_to_lower(lower);
    const std::size_t dot = lower.rfind('.');
    const std::string base = dot == std::string::npos ? lower : lower.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : lower.substr(dot + 1);
    return (pname == "*" || pname == base) && (pext == "*" || pext == ext);
}

// Reads one folder literally (no wildcard expansion) and keeps what the pattern allows; a folder that does
// not open goes to `unlisted` when given.
void list_one_folder(const std::string& folder, char sep, const std::string& pname, const std::string& pext,
                     std::vector<qmportdir::subdir_node>& out, std::vector<unlisted_folder>* unlisted) {
    std::vector<qmportdir::subdir_node> entries;
    int open_error = 0;
    if (!read_folder_entries(folder, entries, 0, false, sep == '/', &open_error) && open_error != 0 &&
        unlisted != nullptr) {
        std::string path = folder;
        if (path.size() > 1 && path.back() == sep) path.pop_back();
        unlisted->push_back(unlisted_folder{path, std::strerror(open_error)});
    }
    for (qmportdir::subdir_node& e : entries) {
        if (entry_matches(e, pname, pext)) out.push_back(std::move(e));
    }
}

std::string with_separator(const std::string& folder, char* sep_out) {
    const char sep = folder_separator(folder);
    std::string f = folder;
    if (f.empty() || f.back() != sep) f.push_back(sep);
    *sep_out = sep;
    return f;
}

}  // namespace

namespace qmportdir {

subdir_node::subdir_node(const std::string& path_in, const std::string& name_in, bool is_dir_in,
                         std::int32_t level_in)
    : path(path_in), name(name_in), is_dir(is_dir_in), long_path(has_long_prefix(path_in)), level(level_in) {}

subdir_node_utf16::subdir_node_utf16(const std::wstring& path_in, const std::wstring& name_in, bool is_dir_in,
                                     std::int32_t level_in)
    : path(path_in), name(name_in), is_dir(is_dir_in), long_path(false), globalroot(false), level(level_in) {
    if (path.size() >= 5 && path[0] == L'\\' && path[1] == L'\\') {
        long_path = true;
        if (path.size() > kShortPathLimit) {
            std::wstring lower = path;
            wstring_to_lower(lower);
            globalroot = lower.compare(4, 10, L"globalroot") == 0;
        }
    }
}

subdir_node_utf16 subdir_node_to_utf16(const subdir_node& node) {
    subdir_node_utf16 wide(path_to_wide(node.path), path_to_wide(node.name), node.is_dir, node.level);
    wide.folder_link = node.folder_link;
    wide.long_path = false;
    wide.globalroot = false;
    return wide;
}

}  // namespace qmportdir

void strip_long_path_prefix(std::wstring& path) {
    if (path.size() < 5 || path[0] != L'\\' || path[1] != L'\\') return;
    if (path.size() > kShortPathLimit) {
        std::wstring lower = path;
        wstring_to_lower(lower);
        if (lower.compare(4, 6, L"global") == 0) return;
    }
    path.erase(0, 4);
}

namespace {

// Where the link `path` points, as it holds it, when that is a folder; else empty. The target is only looked
// at (its status), never opened.
std::string folder_link_target(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
    std::vector<char> target(256);
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) return std::string();
        if (static_cast<std::size_t>(n) < target.size())
            return std::string(target.data(), static_cast<std::size_t>(n));
        target.resize(target.size() * 2);
    }
}

}  // namespace

bool read_folder_entries(const std::string& folder, std::vector<qmportdir::subdir_node>& out,
                         std::uint32_t level, bool folders_only, bool forward_slash, int* open_error) {
    if (open_error != nullptr) *open_error = 0;
    // Opened as the evidence files are, so that listing a folder leaves its access time as it is.
    const int fd = uni::open_keeping_access_time(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        const int why = errno != 0 ? errno : EIO;
        if (fd >= 0) ::close(fd);
        if (open_error != nullptr) *open_error = why;
        return false;
    }
    const std::int32_t file_level = static_cast<std::int32_t>(level);
    bool appended = false;
    while (struct dirent* d = readdir(dir)) {
        const std::string name(d->d_name);
        if (name == "." || name == "..") continue;
        const std::string full = folder + name;
        struct stat st {};
        // lstat: a link is listed as itself, never entered, so a link loop cannot trap a walk.
        const bool known = lstat(full.c_str(), &st) == 0;
        if (known && (st.st_mode & 0xF000) == 0x4000) {
            out.emplace_back(full + (forward_slash ? '/' : '\\'), std::string(), true, file_level + 1);
            appended = true;
        } else if (!folders_only) {
            out.emplace_back(full, name, false, file_level);
            if (known && S_ISLNK(st.st_mode)) out.back().folder_link = folder_link_target(full);
            appended = true;
        }
    }
    closedir(dir);
    return appended;
}

bool expand_folder_wildcards(std::vector<std::string>& paths, bool forward_slash) {
    const std::string component = forward_slash ? "/*/" : "\\*\\";
    bool changed = false;
    const std::size_t count = paths.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (paths[i].empty()) continue;
        const std::size_t at = paths[i].find(component);
        if (at == std::string::npos) continue;
        const std::string parent = paths[i].substr(0, at + 1);
        const std::string rest = paths[i].substr(at + 3);
        std::vector<qmportdir::subdir_node> subs;
        read_folder_entries(parent, subs, 0, true, forward_slash);
        changed = true;
        if (subs.empty()) {
            paths[i].clear();
            continue;
        }
        paths[i] = subs[0].path + rest;
        for (std::size_t k = 1; k < subs.size(); ++k) paths.push_back(subs[k].path + rest);
    }
    return changed;
}

void list_folder(const std::string& folder, const std::string& pattern,
                 std::vector<qmportdir::subdir_node>& out, std::vector<unlisted_folder>* unlisted) {
    out.clear();
    if (folder.empty()) return;
    char sep = '/';
    std::vector<std::string> paths{with_separator(folder, &sep)};
    expand_all_wildcards(paths, sep == '/');
    std::string pname, pext;
    split_pattern(pattern, pname, pext);
    for (const std::string& p : paths) {
        if (p.empty()) continue;
        const std::size_t star = p.find('*');
        list_one_folder(star == std::string::npos ? p : p.substr(0, star), sep, pname, pext, out, unlisted);
    }
}

void list_folder_wide(const std::wstring& folder, const std::wstring& pattern,
                      std::vector<qmportdir::subdir_node_utf16>& out,
                      std::vector<unlisted_folder>* unlisted) {
    std::vector<qmportdir::subdir_node> entries;
    list_folder(wide_to_path(folder), wide_to_path(pattern), entries, unlisted);
    for (const qmportdir::subdir_node& e : entries) out.push_back(qmportdir::subdir_node_to_utf16(e));
}

void list_folder_exact_wide(const std::wstring& folder, const std::wstring& pattern,
                            std::vector<qmportdir::subdir_node_utf16>& out,
                            std::vector<unlisted_folder>* unlisted) {
    const std::string narrow = wide_to_path(folder);
    if (narrow.empty()) return;
    char sep = '/';
    const std::string f = with_separator(narrow, &sep);
    std::string pname, pext;
    split_pattern(wide_to_path(pattern), pname, pext);
    std::vector<qmportdir::subdir_node> entries;
    list_one_folder(f, sep, pname, pext, entries, unlisted);
    for (const qmportdir::subdir_node& e : entries) out.push_back(qmportdir::subdir_node_to_utf16(e));
}

void list_folder_paths(const std::string& folder, const std::string& pattern, std::vector<std::string>& out,
                       bool include_folders) {
    std::vector<qmportdir::subdir_node> entries;
    list_folder(folder, pattern, entries);
    for (const qmportdir::subdir_node& e : entries) {
        if (!e.is_dir || include_folders) out.push_back(e.path);
    }
}

void list_folder_paths_cstr(const char* folder, const char* pattern, std::vector<std::string>& out) {
    if (folder == nullptr) return;
    list_folder_paths(folder, pattern == nullptr ? std::string() : std::string(pattern), out, true);
}

void list_folder_paths_cstr(const char* folder, std::vector<std::string>& out) {
    list_folder_paths_cstr(folder, nullptr, out);
}

void list_folder_paths_wide(const std::wstring& folder, const std::wstring& pattern,
                            std::vector<std::wstring>& out) {
    std::vector<std::string> paths;
    list_folder_paths(wide_to_path(folder), wide_to_path(pattern), paths, true);
    for (const std::string& p : paths) out.push_back(path_to_wide(p));
}

void list_files(const std::string& folder, std::vector<std::string>& out) {
    out.clear();
    list_folder_paths(folder, "*.*", out, false);
}

void list_subfolders(const std::string& folder, std::vector<std::string>& out) {
    std::vector<qmportdir::subdir_node> entries;
    list_folder(folder, "*.*", entries);
    for (const qmportdir::subdir_node& e : entries) {
        if (e.is_dir) out.push_back(e.path);
    }
}

bool expand_folder_pattern(const char* path, std::vector<std::string>& out) {
    if (path == nullptr) return false;
    const std::string seed(path);
    out.assign(1, seed);
    expand_all_wildcards(out, seed.find('/') != std::string::npos);
    return true;
}

bool print_folder_pattern(const char* path, std::ostream& out) {
    std::vector<std::string> paths;
    if (!expand_folder_pattern(path, paths)) return false;
    for (const std::string& p : paths) out << p << '\n';
    return true;
}

bool expand_folder_pattern_wide(const std::wstring& path, std::vector<std::wstring>& out) {
    std::vector<std::string> paths;
    const std::string narrow = wide_to_path(path);
    expand_folder_pattern(narrow.c_str(), paths);
    out.clear();
    for (const std::string& p : paths) out.push_back(path_to_wide(p));
    return true;
}

bool print_folder_listing(const char* folder, std::ostream& out) {
    if (folder == nullptr) return false;
    std::vector<qmportdir::subdir_node> entries;
    list_folder(folder, "*.*", entries);
    for (const qmportdir::subdir_node& e : entries) {
        char level[16];
        std::snprintf(level, sizeof level, "%03x", static_cast<unsigned>(e.level));
        out << level << ": " << e.path << '\n';
    }
    return true;
}

namespace {

// The shared level-by-level walk; `on_entry` sees each entry of each listed folder in listing order and
// `on_folder` each folder of a level before it is listed. The start folder is listed with its wildcards;
// folders found on disk are listed as they are named (a folder named "*" is not a wildcard).
template <class OnFolder, class OnEntry>
void walk_levels(const std::string& folder, const std::string& pattern, std::uint32_t depth,
                 OnFolder on_folder, OnEntry on_entry) {
    if (folder.empty()) return;
    std::deque<std::string> current{folder};
    std::string pname, pext;
    split_pattern(pattern, pname, pext);
    for (std::uint32_t level = 0; level < depth; ++level) {
        std::deque<std::string> next;
        while (!current.empty()) {
            const std::string f = current.back();
            current.pop_back();
            on_folder(f);
            std::vector<qmportdir::subdir_node> entries;
            if (level == 0) {
                list_folder(f, pattern, entries);
            } else {
                char sep = '/';
                list_one_folder(with_separator(f, &sep), sep, pname, pext, entries, nullptr);
            }
            for (const qmportdir::subdir_node& e : entries) {
                if (e.is_dir) next.push_back(e.path);
                on_entry(e);
            }
        }
        if (next.empty()) break;
        current.swap(next);
    }
}

}  // namespace

void collect_files(std::vector<std::string>& out, const std::string& folder, const std::string& pattern,
                   std::uint32_t depth) {
    walk_levels(
        folder, pattern, depth, [](const std::string&) {},
        [&out](const qmportdir::subdir_node& e) {
            if (e.is_dir) return;
            if (e.long_path && e.path.size() > 4) {
                out.push_back(e.path.substr(4));
            } else {
                out.push_back(e.path);
            }
        });
}

void collect_files_wide(const std::wstring& folder, const std::wstring& pattern,
                        std::vector<std::wstring>& out, std::uint32_t depth) {
    std::vector<std::string> paths;
    collect_files(paths, wide_to_path(folder), wide_to_path(pattern), depth);
    for (const std::string& p : paths) out.push_back(path_to_wide(p));
}

void walk_folder_with_callback(const std::wstring& folder, const std::vector<filename_filter>& filters,
                               folder_walk_callback callback, void* context, cmd_params* options,
                               std::uint32_t depth) {
    if (folder.empty()) return;
    file_stats stats;
    auto report = [&](const std::string& narrow, bool is_folder) {
        std::wstring path = path_to_wide(narrow);
        bool could_not_check = false;
        bool passes;
        if (options != nullptr) {
            stats.modify_time = 0;
            passes = path_passes_filters(options, &could_not_check, path, filters, &stats, false);
        } else {
            passes = path_passes_filters_default(&could_not_check, path, filters, false);
        }
        if (!passes && !could_not_check) return;
        strip_long_path_prefix(path);
        if (callback != nullptr) callback(path, is_folder, context, options);
    };
    walk_levels(
        wide_to_path(folder), "*.*", depth, [&](const std::string& f) { report(f, true); },
        [&](const qmportdir::subdir_node& e) {
            if (!e.is_dir) report(e.path, false);
        });
}

void walk_folder_with_callback_utf8(const std::string& folder, const std::vector<filename_filter>& filters,
                                    folder_walk_callback callback, void* context, cmd_params* options,
                                    std::uint32_t depth) {
    std::string text = folder;
    std::string expanded;
    expand_environment_variables(expanded, text, false);
    walk_folder_with_callback(path_to_wide(expanded), filters, callback, context, options, depth);
}

void walk_folder_with_callback_expanded(const std::wstring& folder,
                                        const std::vector<filename_filter>& filters,
                                        folder_walk_callback callback, void* context, cmd_params* options,
                                        std::uint32_t depth) {
    // Through the path bytes rather than strict UTF-8, so that odd bytes in the folder survive.
    walk_folder_with_callback_utf8(wide_to_path(folder), filters, callback, context, options, depth);
}

bool find_matching_files(const std::string& path, std::map<std::string, std::string>& out) {
    out.clear();
    if (path.empty()) return false;
    std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) cut = path.rfind('\\');
    std::string folder;
    std::string pattern;
    if (cut == std::string::npos) {
        folder = "./";  // the current folder, in this platform's form
        pattern = path;
    } else {
        folder = path.substr(0, cut + 1);
        pattern = path.substr(cut + 1);
    }
    string_to_lower(pattern);
    const std::size_t dot = pattern.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : pattern.substr(dot + 1);
    const std::size_t first_q = pattern.find('?');
    const bool wild = first_q != std::string::npos;
    std::string prefix, suffix;
    if (wild) {
        const std::size_t last_q = pattern.rfind('?');
        prefix = pattern.substr(0, first_q);
        suffix = pattern.substr(last_q + 1);
        if (dot == std::string::npos || last_q > dot) ext.clear();
    }
    std::vector<std::string> paths;
    list_folder_paths(folder, ext.empty() ? std::string("*.*") : "*." + ext, paths, true);
    for (const std::string& p : paths) {
        std::size_t sep = p.find_last_of("/\\");
        std::string name = sep == std::string::npos ? p : p.substr(sep + 1);
        string_to_lower(name);
        bool match;
        if (wild) {
            match = !suffix.empty() && name.compare(0, prefix.size(), prefix) == 0 &&
                    name.size() >= suffix.size() && name.rfind(suffix) == name.size() - suffix.size();
        } else {
            match = name == pattern;
        }
        if (match) out.emplace(p, name);
    }
    return !out.empty();
}
