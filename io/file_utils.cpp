#include "io/file_utils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/int_parsers.h"
#include "common/path_split.h"
#include "common/text_ops.h"
#include "platform/path_text.h"

namespace {

constexpr std::uint64_t kCopyPiece = 0x1000000;      // bytes per read in copy_to (16 MiB)
constexpr std::uint64_t kMaxMemoryCopy = 0x8000000;  // memory images this large are not copied out (128 MiB)
constexpr std::uint64_t kZeroBlock = 512;            // overwrite_with_zeros block
constexpr std::uint64_t kMarkEvery = 4096;           // overwrite_with_zeros_marked spacing
constexpr std::uint32_t kTypeMask = 0xF000u;
constexpr std::uint32_t kTypeFolder = 0x4000u;

// Opens an existing file for writing without truncation, once more when the first try fails.
bool open_existing_for_writing(uni::fileio& f, const std::wstring& path) {
    if (f.open(path, true, false, false) == 1) return true;
    return f.open(path, true, false, false) == 1;
}

int overwrite_impl(const std::wstring& path, const std::vector<std::uint8_t>& marker) {
    uni::fileio f;
    if (!open_existing_for_writing(f, path)) return 0;
    const std::uint64_t size = f.size();
    if (size == 0) return 0;
    const std::vector<std::uint8_t> zeros(kZeroBlock, 0);
    bool ok = true;
    for (std::uint64_t off = 0; off < size && ok; off += kZeroBlock) {
        ok = f.write_bytes_at(zeros, static_cast<std::int64_t>(off)) == 1;
    }
    // Marks go after the zeros so that no zero block covers a marker longer than the block.
    if (ok && !marker.empty()) {
        std::uint32_t counter = 0;
        for (std::uint64_t off = 0; off < size && ok; off += kMarkEvery, ++counter) {
            std::vector<std::uint8_t> mark = marker;
            for (int i = 0; i < 4; ++i)
                mark.push_back(static_cast<std::uint8_t>((counter >> (8 * i)) & 0xFF));
            ok = f.write_bytes_at(mark, static_cast<std::int64_t>(off)) == 1;
        }
    }
    f.flush_stream();
    return ok ? 1 : 0;
}

// Opens the destination of copy_to: appending, or created and truncated.
bool open_destination(uni::fileio& dest, const std::wstring& path, bool append, bool text_mode) {
    if (append) return dest.open_append_wide(path, text_mode) == 1;
    return dest.open(path, true, text_mode, true) == 1;
}

}  // namespace

// ---------------------------------------------------------------- whole files

namespace {

// The first `limit` bytes of the file at `path` into `out` (cleared) through `read` (a fileio range read).
template <typename Buffer, typename Read>
int read_file_start(Buffer& out, const std::string& path, std::uint32_t limit, Read read) {
    out.clear();
    if (path.empty() || limit == 0) return 0;
    uni::fileio f(path, false, true, false);
    if (!f.is_open()) return 0;
    // The whole 64-bit size counts: a file of 4 GiB or more is read up to the limit, not by its low bits.
    const std::uint64_t size = f.query_size();
    if (size == 0) return 0;
    return (f.*read)(out, size < limit ? size : limit, 0);
}

}  // namespace

int read_file_to_vector(std::vector<std::uint8_t>& out, const std::string& path, std::uint32_t limit) {
    return read_file_start(out, path, limit, &uni::fileio::read_range);
}

int read_file_to_vector(const std::string& path, std::vector<std::uint8_t>& out, std::uint32_t limit) {
    return read_file_to_vector(out, path, limit);
}

int read_file_to_string(std::string& out, const std::string& path, std::uint32_t limit) {
    return read_file_start(out, path, limit, &uni::fileio::read_range_string);
}

int zero_fill_file(const std::string& path) {
    uni::fileio f;
    if (f.open(path, true, false, false) != 1) return 0;
    const std::uint64_t size = f.size();
    std::vector<std::uint8_t> zeros(static_cast<std::size_t>(size < kCopyPiece ? size : kCopyPiece), 0);
    for (std::uint64_t off = 0; off < size;) {
        const std::uint64_t n = size - off < zeros.size() ? size - off : zeros.size();
        if (f.write_at(zeros.data(), static_cast<std::uint32_t>(n), static_cast<std::int64_t>(off)) != 1)
            return 0;
        off += n;
    }
    return 1;
}

int overwrite_with_zeros(const std::wstring& path) { return overwrite_impl(path, {}); }

int overwrite_with_zeros(const std::string& path) { return overwrite_impl(path_to_wide(path), {}); }

int overwrite_with_zeros_marked(const std::wstring& path, const std::vector<std::uint8_t>& marker) {
    return overwrite_impl(path, marker);
}

int overwrite_with_zeros_marked(const std::string& path, const std::vector<std::uint8_t>& marker) {
    const std::vector<std::uint8_t> copy = marker;
    return overwrite_impl(path_to_wide(path), copy);
}

// ---------------------------------------------------------------- members of the file object

namespace uni {

int fileio::save_to_file(const std::string& target) {
    if (!in_memory || file_size == 0 || target.empty()) return 0;
    fileio out(target, true, true, true);
    if (!out.is_open()) return 0;
    const int ok = out.write_bytes(buffer);
    out.close();
    return ok;
}

int fileio::copy_to(const std::wstring& destination, bool append, bool create_when_empty) {
    if (!is_open()) return 0;
    fileio dest;
    if (in_memory) {
        if (file_size >= kMaxMemoryCopy) return 0;
        if (file_size == 0 || buffer.empty()) {
            if (!create_when_empty) return 0;
            return open_destination(dest, destination, append, text_mode) ? 1 : 0;
        }
        if (!open_destination(dest, destination, append, text_mode)) return 0;
        const std::uint64_t n = file_size < buffer.size() ? file_size : buffer.size();
        return dest.write(buffer.data(), static_cast<std::uint32_t>(n));
    }
    const off_t here = lseek(descriptor, 0, SEEK_CUR);
    if (here < 0) return 0;
    const std::uint64_t end = query_size();
    std::uint64_t remaining =
        end > static_cast<std::uint64_t>(here) ? end - static_cast<std::uint64_t>(here) : 0;
    if (remaining == 0) {
        if (!create_when_empty) return 0;
        return open_destination(dest, destination, append, text_mode) ? 1 : 0;
    }
    // A destination that does not open or a write that fails is a failed copy, never a success.
    if (!open_destination(dest, destination, append, text_mode)) return 0;
    std::vector<std::uint8_t> piece;
    try {
        piece.resize(static_cast<std::size_t>(remaining < kCopyPiece ? remaining : kCopyPiece));
    } catch (const std::exception&) {
        return 0;
    }
    while (remaining > 0) {
        std::uint32_t len = static_cast<std::uint32_t>(remaining < piece.size() ? remaining : piece.size());
        if (read(piece.data(), &len) != 1) return 0;
        if (len == 0) break;  // the file shrank: what was there has been copied
        if (dest.write(piece.data(), len) != 1) return 0;
        remaining -= len;
    }
    return 1;
}

int fileio::copy_to(const std::string& destination, bool append, bool create_when_empty) {
    return copy_to(path_to_wide(destination), append, create_when_empty);
}

int fileio::set_permissions(const std::string& text) {
    if (in_memory) return 1;
    if (descriptor == -1) return 0;
    // The "O" prefix makes the parser read the text as octal: 644 means 0644.
    std::int32_t mode = 0;
    if (string_to_int("O" + text, &mode) != 1) mode = 0;
    return fchmod(descriptor, static_cast<mode_t>(mode & 07777)) == 0 ? 1 : 0;
}

bool fileio::list_alternate_streams(std::vector<std::string>& out) {
    out.clear();
    if (!is_open() || path.empty()) return false;
    const std::string companion = wide_to_path(path) + ":" + "Zone.Identifier";
    stat_record st;
    if (stat_utf8(&st, companion)) out.push_back(companion);
    return !out.empty();
}

bool fileio::list_alternate_streams(std::vector<std::string>& out, const std::string& file_path) {
    out.clear();
    if (open(file_path, false, false, false) != 1) return false;
    return list_alternate_streams(out);
}

}  // namespace uni

// ---------------------------------------------------------------- path status

int stat_path(const char* path, stat_record* record) {
    if (record == nullptr) return -1;
    uni::clear_stat_record(record);
    if (path == nullptr) return -1;
    return platform_stat(path, record);
}

int stat_wide_cstr(const wchar_t* path, stat_record* record) {
    if (path == nullptr) {
        if (record != nullptr) uni::clear_stat_record(record);
        return -1;
    }
    return stat_path(wide_to_path(path).c_str(), record);
}

bool stat_wide(stat_record* record, const std::wstring& path) {
    return stat_path(wide_to_path(path).c_str(), record) == 0;
}

bool stat_utf8(stat_record* record, const std::string& path) {
    std::wstring wide = path_to_wide(path);
    uni::strip_path_separators(wide);
    return stat_wide(record, wide);
}

bool is_directory_utf8(const std::string& path) {
    stat_record st;
    return stat_utf8(&st, path) && (st.mode & kTypeMask) == kTypeFolder;
}

bool is_directory_wide(const std::wstring& path) {
    stat_record st;
    return stat_wide(&st, path) && (st.mode & kTypeMask) == kTypeFolder;
}

std::uint64_t get_file_inode(const std::wstring& path) {
    stat_record st;
    return stat_wide(&st, path) ? st.inode : 0;
}

std::uint64_t get_file_inode_utf8(const std::string& path) {
    stat_record st;
    return stat_utf8(&st, path) ? st.inode : 0;
}

int get_file_stats(file_stats& record, const std::wstring& path) {
    record.clear();
    if (path.empty()) return 0;
    stat_record st;
    if (!stat_wide(&st, path)) return 0;
    record.mode = st.mode & 0xFFFFu;
    record.inode = st.inode;
    record.size = st.size;
    record.modify_time = static_cast<std::uint64_t>(st.modify_time.seconds);
    record.birth_time = static_cast<std::uint64_t>(st.birth_time.seconds);
    record.change_time = static_cast<std::uint64_t>(st.change_time.seconds);
    record.access_time = static_cast<std::uint64_t>(st.access_time.seconds);
    record.is_folder = (st.mode & kTypeMask) == kTypeFolder;
    record.time_kind = record.modify_time > 0xFFFFFFFFull ? 16 : 8;
    return 1;
}

// ---------------------------------------------------------------- current folder and absolute paths

std::string get_current_dir() {
    // Deep folders are longer than any fixed buffer; grow until the path fits.
    std::vector<char> buf(512);
    while (buf.size() <= (1u << 20)) {
        if (getcwd(buf.data(), buf.size()) != nullptr) return std::string(buf.data());
        if (errno != ERANGE) return std::string();
        buf.resize(buf.size() * 2);
    }
    return std::string();
}

std::wstring get_current_dir_wide() { return path_to_wide(get_current_dir()); }

namespace {

// Components of `text` between separators, empty ones dropped.
std::vector<std::string> components(const std::string& text, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool has_parent_component(const std::string& folder, char sep) {
    for (const std::string& c : components(folder, sep)) {
        if (c == "..") return true;
    }
    return false;
}

// The current folder with `folder` applied to it: "." parts dropped, each ".." removing one component
// (never going above the root).
std::string resolve_against_cwd(const std::string& cwd, const std::string& folder, char sep) {
    std::vector<std::string> parts = components(cwd, sep);
    for (const std::string& c : components(folder, sep)) {
        if (c == ".") continue;
        if (c == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(c);
    }
    std::string out;
    for (const std::string& p : parts) {
        out.push_back(sep);
        out += p;
    }
    return out;
}

}  // namespace

std::string make_absolute_path(const std::string& input, char default_separator) {
    std::string path = input;
    for (char& c : path) {
        if (c == '"') c = ' ';
    }
    std::size_t apostrophes = 0;
    for (char c : path) apostrophes += (c == '\'');
    if (apostrophes >= 2) {
        for (char& c : path) {
            if (c == '\'') c = ' ';
        }
    }
    trim_whitespace(path);
    if (path.empty()) return path;

    char sep = default_separator;
    if (path.find('/') != std::string::npos)
        sep = '/';
    else if (path.find('\\') != std::string::npos)
        sep = '\\';
    if (path[0] == sep) return path;

    std::string folder;
    std::string name;
    split_path_cstr(path.c_str(), folder, name);
    const std::string cwd = get_current_dir();
    const std::string name_part = (name == ".") ? std::string() : name;

    std::string result;
    if (folder == ".") {
        result = cwd + sep + name_part;
    } else if (has_parent_component(folder, sep)) {
        // ".." parts climb out of the current folder, wherever they stand in the folder text.
        result = resolve_against_cwd(cwd, folder, sep) + sep + name_part;
    } else if (folder.size() >= 2 && folder[0] == '.' && folder[1] == sep) {
        result = cwd + folder.substr(1) + sep + name;
    } else if (!folder.empty() && (folder[0] == sep || (folder.size() >= 2 && folder[1] == ':'))) {
        result = folder + sep + name;
    } else {
        result = cwd + sep + folder + sep + name;
    }

    const std::string doubled(2, sep);
    for (std::size_t at = result.find(doubled); at != std::string::npos; at = result.find(doubled)) {
        result.erase(at, 1);
    }
    if (result.empty() || result[0] != sep) result.insert(result.begin(), sep);
    return result;
}

std::wstring make_absolute_path(const std::wstring& path, wchar_t default_separator) {
    // Separators are ASCII; anything else falls back to '/'.
    const char sep =
        (default_separator > 0 && default_separator < 0x80) ? static_cast<char>(default_separator) : '/';
    return path_to_wide(make_absolute_path(wide_to_path(path), sep));
}

namespace {

// The absolute form of a path that need not exist: its folder resolved (links, "." and "..") when that
// folder exists, else resolved against the current folder by text alone; then the last component.
std::string absolute_form(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) != nullptr) {
        const std::string base = resolved;
        return (base == "/" ? std::string() : base) + "/" + name;
    }
    const std::string cwd = folder[0] == '/' ? std::string() : get_current_dir();
    return resolve_against_cwd(cwd, folder, '/') + "/" + name;
}

}  // namespace

bool paths_name_same_file(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    stat_record sa, sb;
    const bool a_exists = platform_stat(a.c_str(), &sa) == 0;
    const bool b_exists = platform_stat(b.c_str(), &sb) == 0;
    if (a_exists && b_exists) return sa.device == sb.device && sa.inode == sb.inode;
    // A file that exists is never the one that a missing path would create.
    if (a_exists || b_exists) return false;
    return absolute_form(a) == absolute_form(b);
}
