#include "io/portable_dir_ops.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>

#include "common/path_split.h"
#include "common/random_sets.h"
#include "common/text_ops.h"
#include "io/diags_log.h"
#include "io/file_stats.h"
#include "io/file_utils.h"
#include "io/fileio.h"
#include "io/option_parser.h"
#include "io/portable_dir.h"
#include "platform/exe_path.h"
#include "platform/path_text.h"

namespace {

constexpr std::size_t kShortPathLimit = 46;

bool starts_with_global_at_4(const std::string& path) {
    if (path.size() < 10) return false;
    std::string word = path.substr(4, 6);
    std::transform(word.begin(), word.end(), word.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return word == "global";
}

// A path longer than 2 characters whose second character is not ':' is made absolute.
std::string absolute_for_file_op(const std::string& path) {
    if (path.size() > 2 && path[1] != ':') return make_absolute_path(path, '/');
    return path;
}

}  // namespace

bool file_exists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool file_exists_wide(const std::wstring& path) {
    if (path.empty()) return false;
    return file_exists(wide_to_path(path));
}

bool make_directory(const std::string& path) {
    if (path.empty()) return false;
    const mode_t saved = umask(0);
    const int rc = mkdir(path.c_str(), 0777);
    const int error = errno;
    umask(saved);
    return rc == 0 || error == EEXIST;
}

bool make_directory(const std::wstring& path) {
    if (path.empty()) return false;
    return make_directory(wide_to_path(path));
}

bool make_directory_path(const std::string& path_in) {
    std::string path = path_in;
    path.erase(std::remove(path.begin(), path.end(), '"'), path.end());
    if (path.empty()) return false;
    std::string built;
    if (path.size() >= 5 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
        path[3] == '\\') {
        if (path.size() <= kShortPathLimit || !starts_with_global_at_4(path)) {
            built = path.substr(0, 4);
            path.erase(0, 4);
        }
    }
    std::replace(path.begin(), path.end(), '\\', '/');
    char sep = '/';
    std::size_t at = path.find('/', 1);
    if (at == std::string::npos) {
        sep = '\\';
        at = path.find('\\', 1);
    }
    while (at != std::string::npos) {
        const std::string part = path.substr(0, at);
        built += part;
        const bool after_drive = !built.empty() && built.back() == ':';
        if (at != 0 && !after_drive) {
            if (!make_directory(built)) return false;
        }
        path.erase(0, at + 1);
        built.push_back(sep);
        at = path.find(sep);
    }
    built += path;
    return make_directory(built);
}

bool make_directory_path(const std::wstring& path) {
    if (path.empty()) return false;
    return make_directory_path(wide_to_path(path));
}

bool write_file_in_folder(const char* path, const void* data, std::uint64_t length) {
    std::string folder, name;
    if (split_path_cstr(path, folder, name) == 0) return false;
    if (!make_directory_path(folder)) return false;
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    const bool good = out.good();
    if (good && data != nullptr && length != 0) {
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    }
    out.close();
    return good;
}

bool write_file_in_folder(const std::wstring& path, const void* data, std::uint64_t length) {
    const std::string narrow = wide_to_path(path);
    return write_file_in_folder(narrow.c_str(), data, length);
}

bool read_file_bytes(std::vector<std::uint8_t>& out, const std::string& path, std::uint32_t cap) {
    out.clear();
    if (path.empty()) return false;
    uni::fileio file;
    if (file.open(path, false, false, false) == 0) return false;
    const std::uint64_t count = std::min<std::uint64_t>(file.size(), cap);
    if (count > 0) {
        if (file.read_range(out, count, 0) == 0) out.clear();
    }
    file.close();
    return !out.empty();
}

bool read_file_bytes_w(std::vector<std::uint8_t>& out, const std::wstring& path, std::uint32_t cap) {
    out.clear();
    if (path.empty()) return false;
    return read_file_bytes(out, wide_to_path(path), cap);
}

bool delete_file(const std::string& path) {
    if (path.empty()) return false;
    return std::remove(absolute_for_file_op(path).c_str()) == 0;
}

bool delete_file(const std::wstring& path) {
    if (path.empty()) return false;
    return delete_file(wide_to_path(path));
}

bool rename_file(const std::string& old_path, const std::string& new_path, bool clean_up) {
    if (old_path.empty() || new_path.empty()) return false;
    const std::string from = clean_up ? absolute_for_file_op(old_path) : old_path;
    const std::string to = clean_up ? absolute_for_file_op(new_path) : new_path;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool rename_file(const std::wstring& old_path, const std::wstring& new_path) {
    return rename_file(wide_to_path(old_path), wide_to_path(new_path), false);
}

bool move_file_to_folder(std::string& out, const std::string& folder, const std::string& source) {
    out.clear();
    if (source.empty() || folder.empty() || !file_exists(source)) return false;
    if (!make_directory_path(folder)) return false;
    const std::size_t sep = source.find_last_of("/\\");
    out = folder + '/' + (sep == std::string::npos ? source : source.substr(sep + 1));
    return rename_file(source, out, false);
}

bool move_into_named_folder(std::string& out, const std::string& source,
                            const std::vector<std::string>& patterns, bool move_companions) {
    out.clear();
    if (source.empty() || !file_exists(source)) return false;
    const std::size_t slash = source.rfind('/');
    const std::size_t dot = source.rfind('.');
    if (slash == std::string::npos || dot == std::string::npos) return false;
    // A '.' only in a folder name ("/a.b/c") gives no extension to strip: cutting there would move the
    // file to a folder beside its parent.
    if (dot < slash) return false;
    const std::string folder = source.substr(0, slash);
    const std::string stem = source.substr(slash + 1, dot - slash - 1);
    if (folder.find(stem) != std::string::npos) return false;
    const std::string new_folder = source.substr(0, dot);
    if (!make_directory_path(new_folder)) return false;
    out = new_folder + source.substr(slash);
    if (!rename_file(source, out, false)) return false;
    if (move_companions) {
        for (const std::string& pattern : patterns) {
            std::vector<std::string> paths;
            list_folder_paths(folder, pattern, paths, false);
            for (const std::string& p : paths) {
                if (p.find(stem) == std::string::npos) continue;
                const std::size_t cut = p.find_last_of("/\\");
                const std::string name = cut == std::string::npos ? p : p.substr(cut + 1);
                // A companion that cannot be moved stays where it is; the main file has moved.
                (void)rename_file(p, new_folder + '/' + name, false);
            }
        }
    }
    return true;
}

std::string executable_path() {
    std::vector<char> buffer(1024, '\0');
    std::uint32_t size = 1023;
    if (platform_executable_path(buffer.data(), &size) != 0) return std::string();
    return std::string(buffer.data());
}

std::wstring executable_path_wide() { return path_to_wide(executable_path()); }

bool relative_path(std::string& out, const std::string& from, const std::string& to,
                   std::int32_t max_length) {
    out.clear();
    const std::int64_t max = max_length;
    const std::int64_t from_len = static_cast<std::int64_t>(from.size());
    const std::int64_t to_len = static_cast<std::int64_t>(to.size());
    if (from_len > max || to_len > max || from_len < 4 || to_len < 4) return false;
    if (from[0] != to[0]) {
        out = to;
        return true;
    }
    std::size_t run = 3;
    while (run < from.size() && run < to.size() && from[run] == to[run]) ++run;
    if (run == from.size()) {
        if (run < to.size() && to[run] == '/') {
            out = to.substr(run + 1);
            return true;
        }
        if (to[run - 1] == '/') {
            out = to.substr(run);
            return true;
        }
    }
    std::int64_t levels = 1;
    for (std::size_t i = run; i + 1 < from.size(); ++i) {
        if (from[i] == '/') ++levels;
    }
    std::int64_t slash = static_cast<std::int64_t>(std::min(run, to.size() - 1));
    while (slash >= 0 && to[static_cast<std::size_t>(slash)] != '/') --slash;
    if (to_len + 3 * levels - 3 - slash + 2 > max) return false;
    for (std::int64_t i = 0; i < levels; ++i) out += "../";
    out += to.substr(static_cast<std::size_t>(slash + 1));
    return true;
}

std::uint64_t output_stream_size(std::ostream& stream) {
    stream.clear();
    const std::streampos here = stream.tellp();
    stream.seekp(0, std::ios::end);
    const std::streampos end = stream.tellp();
    stream.seekp(here);
    stream.clear();
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

std::uint64_t input_stream_size(std::istream& stream) {
    stream.clear();
    const std::streampos here = stream.tellg();
    stream.seekg(0, std::ios::end);
    const std::streampos end = stream.tellg();
    stream.seekg(here);
    stream.clear();
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

bool short_path_name(std::string& out, const std::string& /*path*/) {
    out.clear();
    return false;
}

bool open_c_file(std::FILE*& out, const std::wstring& path, bool create, std::uint64_t /*unused*/, bool write,
                 bool byte_mode) {
    out = nullptr;
    const std::string narrow = wide_to_path(path);
    if (narrow.empty()) return false;
    const char* mode = (create || write) ? "w+" : (byte_mode ? "rb" : "r");
    out = std::fopen(narrow.c_str(), mode);
    return out != nullptr;
}

bool open_c_file_for_writing(std::FILE*& out, const std::wstring& path, bool byte_mode) {
    return open_c_file(out, path, true, 0, true, byte_mode);
}

bool open_c_file_for_reading(std::FILE*& out, const std::wstring& path, bool byte_mode) {
    return open_c_file(out, path, false, 0, false, byte_mode);
}

bool strings_equal(const std::string& a, const std::string& b) { return a == b; }

bool string_less(const std::string& a, const std::string& b) { return a < b; }

bool clear_string_list(std::vector<std::string>& list) {
    list.clear();
    return false;
}

namespace {

constexpr std::uint32_t kSearchPiece = 16384;

bool contains(const std::vector<std::uint8_t>& hay, const std::vector<std::uint8_t>& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

// Searches [start, end) of the file in pieces of 16384 bytes; consecutive pieces share pattern length - 1
// bytes so that a pattern across a piece boundary is found.
bool region_holds(uni::fileio& file, std::uint64_t start, std::uint64_t end,
                  const std::vector<std::uint8_t>& pattern) {
    end = std::min(end, file.size());
    if (start >= end || end - start < pattern.size()) return false;
    const std::uint64_t step = kSearchPiece - std::min<std::uint64_t>(pattern.size() - 1, kSearchPiece / 2);
    std::vector<std::uint8_t> piece;
    for (std::uint64_t at = start; at < end; at += step) {
        const std::uint64_t count = std::min<std::uint64_t>(kSearchPiece, end - at);
        if (count < pattern.size()) break;
        if (file.read_range(piece, count, at) == 0) return false;
        if (contains(piece, pattern)) return true;
        if (at + count >= end) break;
    }
    return false;
}

bool tail_holds(uni::fileio& file, std::uint32_t length, const std::vector<std::uint8_t>& pattern) {
    if (length >= kSearchPiece) return false;
    const std::uint64_t size = file.size();
    const std::uint64_t count = std::min<std::uint64_t>(length, size);
    return region_holds(file, size - count, size, pattern);
}

bool blocks_hold(uni::fileio& file, std::uint32_t length, const std::vector<std::uint8_t>& pattern) {
    if (length >= 512 || length < pattern.size()) return false;
    for (std::uint64_t at = 0; at < file.size(); at += 512) {
        if (region_holds(file, at, at + length, pattern)) return true;
    }
    return false;
}

bool criterion_holds(const std::string& path, const file_entry_w& entry, const content_criterion& c) {
    if (c.not_before != 0 && entry.created < c.not_before && entry.altered < c.not_before) return false;
    if (entry.size < c.min_size || (c.max_size != 0 && entry.size > c.max_size)) return false;
    if (!c.extension.empty()) {
        std::wstring want = c.extension;
        std::wstring have = entry.extension;
        wstring_to_lower(want);
        wstring_to_lower(have);
        if (want != have) return false;
    }
    if (c.region_pattern.empty() && c.tail_pattern.empty() && c.block_pattern.empty()) return true;
    uni::fileio file;
    if (file.open(path, false, false, false) == 0) return false;
    bool holds = true;
    if (!c.region_pattern.empty()) holds = region_holds(file, c.region_start, c.region_end, c.region_pattern);
    if (holds && !c.tail_pattern.empty()) holds = tail_holds(file, c.tail_length, c.tail_pattern);
    if (holds && !c.block_pattern.empty()) holds = blocks_hold(file, c.block_length, c.block_pattern);
    file.close();
    return holds;
}

}  // namespace

bool filter_files_by_content(std::vector<std::string>& paths,
                             const std::vector<content_criterion>& criteria) {
    if (paths.empty()) return false;
    if (criteria.empty()) return true;
    std::vector<std::string> kept;
    for (const std::string& p : paths) {
        file_entry_w entry;
        if (!file_entry_w_fill(p.c_str(), entry)) continue;
        for (const content_criterion& c : criteria) {
            if (criterion_holds(p, entry, c)) {
                kept.push_back(p);
                break;
            }
        }
    }
    paths.swap(kept);
    return !paths.empty();
}

namespace {

// The folder named by "%TEMP%"; the text stays as written when the variable is not set.
std::string temp_folder_path() {
    std::string text = "%TEMP%";
    std::string out;
    return expand_environment_variables(out, text, false);
}

// Four random characters from 33 to 126 without '/', so that the new name stays in its folder.
std::string random_wipe_name() {
    std::string name;
    while (name.size() < 4) {
        const char c = static_cast<char>(random_byte(33, 126));
        if (c != '/') name.push_back(c);
    }
    return name;
}

std::string folder_of(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string name_of(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Removes the file at exactly this path. delete_file() first tidies a path (quotes become blanks), so a
// random wipe name holding '"' would name another file, and the wiped file would stay behind.
bool remove_exact(const std::string& path) { return !path.empty() && std::remove(path.c_str()) == 0; }

// rename() that never replaces an existing file: a random name that is taken counts as a failed step.
bool rename_without_replacing(const std::string& from, const std::string& to) {
    if (file_exists(to)) return false;
    return rename_file(from, to, false);
}

// Opens for writing with truncation, one retry; leaves one byte 'a'.
bool truncate_to_marker(const std::string& path) {
    uni::fileio file;
    if (file.open(path, true, false, true) == 0 && file.open(path, true, false, true) == 0) return false;
    const bool written = file.write("a", 1) != 0;
    file.close();
    return written;
}

struct wipe_walk {
    std::map<std::wstring, std::uint32_t> status;  // 1 folder; files: 2 not wiped, 6 wiped, then 8|16|32|64
};

bool progress_on(const cmd_params* options) { return options != nullptr && options->show_progress; }

void record_for_wipe(const std::wstring& path, bool is_folder, void* context, cmd_params* options) {
    wipe_walk& walk = *static_cast<wipe_walk*>(context);
    if (is_folder) {
        walk.status[path] = 1;
        return;
    }
    const std::string narrow = wide_to_path(path);
    const bool wiped = overwrite_with_zeros(path) != 0;
    walk.status[path] = wiped ? 6 : 2;
    diag_printf(options, wiped ? "wipe: %s" : "not wiped: %s", narrow.c_str());
    if (progress_on(options)) std::fprintf(stderr, wiped ? "wiped: %s\n" : "not wiped: %s\n", narrow.c_str());
}

}  // namespace

bool wipe_file(const std::wstring& path) {
    if (path.empty()) return false;
    std::string current = wide_to_path(path);
    (void)overwrite_with_zeros(path);
    if (!truncate_to_marker(current)) return false;
    const std::string name = random_wipe_name();
    const std::string renamed = folder_of(current) + name;
    if (rename_without_replacing(current, renamed)) current = renamed;
    const std::string moved = temp_folder_path() + '/' + name_of(current);
    if (rename_without_replacing(current, moved)) current = moved;
    (void)remove_exact(current);
    return true;
}

bool wipe_folder(const std::wstring& folder, const std::vector<filename_filter>& filters, std::uint32_t depth,
                 cmd_params* options) {
    if (folder.empty()) return false;
    wipe_walk walk;
    walk_folder_with_callback(folder, filters, record_for_wipe, &walk, options, depth);
    if (walk.status.empty()) return false;
    const bool progress = progress_on(options);
    const std::string temp = temp_folder_path();
    std::uint32_t position = 0;
    for (auto it = walk.status.rbegin(); it != walk.status.rend(); ++it) {
        if (it->second == 1) continue;
        std::string current = wide_to_path(it->first);
        diag_printf(options, "-----------");
        diag_printf(options, "resize: %s", current.c_str());
        if (!truncate_to_marker(current)) {
            if (progress) std::fprintf(stderr, "can't access: %s\n", current.c_str());
            ++position;
            continue;
        }
        it->second |= 8;
        const std::string renamed = folder_of(current) + random_alnum_string(4) + std::to_string(position);
        if (rename_without_replacing(current, renamed)) {
            it->second |= 16;
            diag_printf(options, "rename: %s => %s", current.c_str(), renamed.c_str());
            current = renamed;
        }
        const std::string moved = temp + '/' + name_of(current);
        if (rename_without_replacing(current, moved)) {
            it->second |= 32;
            diag_printf(options, "move: %s => %s", current.c_str(), moved.c_str());
            current = moved;
        }
        const bool deleted = remove_exact(current);
        if (deleted) it->second |= 64;
        if (progress) {
            diag_printf(options, "delete: %s", current.c_str());
            std::fprintf(stderr, "deleted: %s - %s", current.c_str(), deleted ? "success\n" : "failed\n");
        }
        ++position;
    }
    if (filters.empty() || filters.front().match_all) {
        for (auto it = walk.status.rbegin(); it != walk.status.rend(); ++it) {
            if (it->second != 1) continue;
            std::string path = wide_to_path(it->first);
            while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
            if (rmdir(path.c_str()) == 0) {
                it->second |= 64;
                if (progress) std::fprintf(stderr, "deleted: %s\n", path.c_str());
            }
        }
    }
    return true;
}
