#include "io/file_stats.h"

#include <cwctype>
#include <iomanip>
#include <sstream>

#include "common/case_conv.h"
#include "common/path_split.h"
#include "io/file_utils.h"
#include "platform/path_text.h"
#include "time/qm_time.h"
#include "time/time_text.h"

namespace {

constexpr std::uint32_t kTypeMask = 0xF000u;
constexpr std::uint32_t kTypeFolder = 0x4000u;
constexpr std::uint64_t kMaskUnixTimes = 2;
constexpr std::uint64_t kMaskFiletimes = 4;
constexpr std::uint64_t kMaskFolder = 8;

std::string lower_copy(const std::string& s) {
    std::string copy = s;
    string_to_lower(copy);
    return copy;
}

// Copies `text` into a fixed wide buffer, cut to leave room for the terminating NUL.
void copy_to_buffer(wchar_t* dest, const std::wstring& text) {
    const std::size_t n =
        text.size() < file_entry_w::kNameChars - 1 ? text.size() : file_entry_w::kNameChars - 1;
    for (std::size_t i = 0; i < n; ++i) dest[i] = text[i];
    dest[n] = L'\0';
}

std::wstring buffer_text(const wchar_t* buf) {
    std::size_t n = 0;
    while (n < file_entry_w::kNameChars && buf[n] != L'\0') ++n;
    return std::wstring(buf, n);
}

std::uint64_t unix_to_filetime(std::uint64_t seconds) {
    const qm::time t(static_cast<unsigned long long>(seconds), qm::type_unix);
    return t.filetime;
}

bool mode_is_dir(std::uint32_t mode, bool posix_flags) {
    if (mode < 9) return (mode & 2u) != 0;
    // Without POSIX flags the mode means nothing that can be tested; such an entry is not taken as a folder.
    if (!posix_flags) return false;
    return (mode & kTypeMask) == kTypeFolder;
}

// Splits `path` into folder, base name and extension; false when it cannot be split.
bool split_three(const std::string& path, std::string& folder, std::string& base, std::string& ext) {
    return split_path_ext(path.c_str(), folder, base, ext) == 1;
}

std::wstring lower_wide(const std::wstring& s) {
    std::wstring out = s;
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return out;
}

}  // namespace

// ---------------------------------------------------------------- file_stats and log_record

file_stats::file_stats() { clear(); }

void file_stats::clear() {
    name.clear();
    inode = 0;
    sequence = 0;
    size = 0;
    modify_time = 0;
    birth_time = 0;
    change_time = 0;
    access_time = 0;
    mode = 0;
    time_kind = 0;
    is_folder = false;
    folder_wanted = false;
    raw_read = 0;
    offset = 0;
    notes.clear();
}

log_record::log_record() : file_stats(), source_flags(0), has_attributes(0) {}

log_record::log_record(const std::wstring& path, const stat_record* status, const std::string& extra)
    : log_record() {
    fill_log_record(*this, path, status, extra);
}

void log_record::clear() {
    file_stats::clear();
    source_flags = 0;
    has_attributes = 0;
    attribute_names.clear();
    attribute_values.clear();
}

void log_record::copy(const log_record& other) {
    *this = other;
    if (time_kind == 0 && modify_time >= 1) {
        time_kind = (source_flags & (0x01 | 0x04 | 0x10 | 0x20)) != 0 ? 1 : 8;
    }
}

bool fill_file_stats(log_record& record, const std::wstring& path, const std::string& extra) {
    if (get_file_stats(record, path) != 1) return false;
    record.name = wide_to_path(path);
    if (record.is_folder) record.source_flags |= kMaskFolder;
    if (record.time_kind == 8 || record.time_kind == 16) record.source_flags |= kMaskUnixTimes;
    if (record.time_kind == 1) record.source_flags |= kMaskFiletimes;
    if (!extra.empty()) record.notes = extra;
    return true;
}

bool fill_file_stats_narrow(log_record& record, const std::string& path, const std::string& extra) {
    if (!fill_file_stats(record, path_to_wide(path), extra)) return false;
    record.name = path;
    return true;
}

bool fill_log_record(log_record& record, const std::wstring& path, const stat_record* status,
                     const std::string& extra) {
    record.clear();
    if (path.empty()) return false;
    if (status == nullptr) return fill_file_stats(record, path, extra);
    record.name = wide_to_path(path);
    record.inode = status->inode;
    record.size = status->size;
    record.modify_time = static_cast<std::uint64_t>(status->modify_time.seconds);
    record.change_time = static_cast<std::uint64_t>(status->change_time.seconds);
    record.access_time = static_cast<std::uint64_t>(status->access_time.seconds);
    record.mode = status->mode & 0xFFFFu;
    record.source_flags |= kMaskUnixTimes;
    if ((status->mode & kTypeMask) == kTypeFolder) {
        record.source_flags |= kMaskFolder;
        record.is_folder = true;
    }
    record.notes = extra;
    return true;
}

bool fill_log_record(log_record& record, const std::string& path, const stat_record* status,
                     const std::string& extra) {
    if (path.empty()) {
        record.clear();
        return false;
    }
    if (!fill_log_record(record, path_to_wide(path), status, extra)) return false;
    record.name = path;
    return true;
}

// ---------------------------------------------------------------- status of a path

bool stat_file(const std::wstring& path, std::uint64_t* size, std::uint32_t* mode, std::uint64_t* change_time,
               std::uint64_t* modify_time, std::uint64_t* access_time) {
    if (size) *size = 0;
    if (mode) *mode = 0;
    if (change_time) *change_time = 0;
    if (modify_time) *modify_time = 0;
    if (access_time) *access_time = 0;
    if (path.empty()) return false;
    stat_record st;
    if (!stat_wide(&st, path)) return false;
    if (size) *size = st.size;
    if (mode) *mode = st.mode;
    if (change_time) *change_time = static_cast<std::uint64_t>(st.change_time.seconds);
    if (modify_time) *modify_time = static_cast<std::uint64_t>(st.modify_time.seconds);
    if (access_time) *access_time = static_cast<std::uint64_t>(st.access_time.seconds);
    return true;
}

bool stat_file_utf8(const std::string& path, std::uint64_t* size, std::uint32_t* mode,
                    std::uint64_t* change_time, std::uint64_t* modify_time, std::uint64_t* access_time) {
    if (path.empty()) {
        return stat_file(std::wstring(), size, mode, change_time, modify_time, access_time);
    }
    return stat_file(path_to_wide(path), size, mode, change_time, modify_time, access_time);
}

bool stat_file_cstr(const char* path, std::uint64_t* size, std::uint32_t* mode, std::uint64_t* change_time,
                    std::uint64_t* modify_time, std::uint64_t* access_time) {
    return stat_file_utf8(path == nullptr ? std::string() : std::string(path), size, mode, change_time,
                          modify_time, access_time);
}

bool stat_file_filetime(const std::wstring& path, std::uint64_t* size, std::uint32_t* mode,
                        std::uint64_t* change_time, std::uint64_t* modify_time, std::uint64_t* access_time) {
    std::uint64_t c = 0, m = 0, a = 0;
    const bool ok = stat_file(path, size, mode, &c, &m, &a);
    if (change_time) *change_time = ok ? unix_to_filetime(c) : 0;
    if (modify_time) *modify_time = ok ? unix_to_filetime(m) : 0;
    if (access_time) *access_time = ok ? unix_to_filetime(a) : 0;
    return ok;
}

bool stat_file_filetime_utf8(const std::string& path, std::uint64_t* size, std::uint32_t* mode,
                             std::uint64_t* change_time, std::uint64_t* modify_time,
                             std::uint64_t* access_time) {
    return stat_file_filetime(path_to_wide(path), size, mode, change_time, modify_time, access_time);
}

// ---------------------------------------------------------------- file_entry

file_entry::file_entry() { reset(); }

file_entry::file_entry(const std::wstring& p, std::uint64_t sz, std::uint64_t v64, std::uint32_t v32,
                       std::uint32_t md, std::uint64_t cr, std::uint64_t al, std::uint64_t ec,
                       std::uint64_t ac, std::uint32_t perms) {
    file_entry_set(*this, p, sz, v64, v32, md, cr, al, ec, ac, perms);
}

file_entry::file_entry(const file_entry_w& wide) { file_entry_from_wide(*this, wide); }

file_entry& file_entry::operator=(const file_entry_w& wide) {
    file_entry_from_wide(*this, wide);
    return *this;
}

void file_entry::reset() {
    path.clear();
    path_lower.clear();
    folder.clear();
    name.clear();
    extension.clear();
    value64 = 0;
    value32 = 0;
    size = 0;
    mode = 0;
    created = 0;
    altered = 0;
    entry_changed = 0;
    accessed = 0;
    permissions = 0;
    m_using_st_mode_flags = true;
}

file_entry_w::file_entry_w() { reset(); }

file_entry_w::file_entry_w(const wchar_t* n, std::uint64_t v64, std::uint64_t sz, std::uint32_t md,
                           std::uint64_t cr, std::uint64_t al, std::uint64_t ec, std::uint64_t ac,
                           std::uint32_t perms) {
    file_entry_w_set(*this, n, v64, sz, md, cr, al, ec, ac, perms);
}

file_entry_w::file_entry_w(const wchar_t* n, std::uint64_t sz, std::uint32_t md, std::uint64_t cr,
                           std::uint64_t al, std::uint64_t ec, std::uint64_t ac, std::uint32_t perms) {
    file_entry_w_set(*this, n, sz, md, cr, al, ec, ac, perms);
}

void file_entry_w::reset() {
    for (std::size_t i = 0; i < kNameChars; ++i) {
        folder[i] = L'\0';
        name[i] = L'\0';
    }
    extension.clear();
    value64 = 0;
    mode = 0;
    size = 0;
    created = 0;
    altered = 0;
    entry_changed = 0;
    accessed = 0;
    permissions = 0;
    m_using_st_mode_flags = true;
    flag_a = false;
    flag_b = false;
}

std::wstring file_entry_w::folder_text() const { return buffer_text(folder); }

std::wstring file_entry_w::name_text() const { return buffer_text(name); }

namespace {

// Status and name parts shared by the two fillers: false when the status cannot be read.
bool read_entry_parts(const char* path, std::uint64_t* size, std::uint32_t* mode, std::uint64_t* created,
                      std::uint64_t* altered, std::uint64_t* accessed, std::string& folder, std::string& name,
                      std::string& ext) {
    if (!stat_file_cstr(path, size, mode, created, altered, accessed)) return false;
    std::string base;
    if (!split_three(path, folder, base, ext)) {
        folder = ".";
        name = path;
        ext.clear();
        return true;
    }
    if (mode_is_dir(*mode, true)) {
        name = base + "." + ext;
        ext.clear();
    } else {
        name = base;
    }
    return true;
}

}  // namespace

bool file_entry_fill(const char* path, file_entry& entry) {
    entry.reset();
    if (path == nullptr) return false;
    entry.path = path;
    entry.path_lower = lower_copy(entry.path);
    // The created slot receives the status-change time; entry changed stays 0.
    return read_entry_parts(path, &entry.size, &entry.mode, &entry.created, &entry.altered, &entry.accessed,
                            entry.folder, entry.name, entry.extension);
}

bool file_entry_w_fill(const char* path, file_entry_w& entry) {
    entry.reset();
    if (path == nullptr) return false;
    std::string folder, name, ext;
    if (!read_entry_parts(path, &entry.size, &entry.mode, &entry.created, &entry.altered, &entry.accessed,
                          folder, name, ext)) {
        return false;
    }
    copy_to_buffer(entry.folder, path_to_wide(folder));
    copy_to_buffer(entry.name, path_to_wide(name));
    entry.extension = path_to_wide(ext);
    return true;
}

void file_entry_w_set(file_entry_w& entry, const wchar_t* name, std::uint64_t value64, std::uint64_t size,
                      std::uint32_t mode, std::uint64_t created, std::uint64_t altered,
                      std::uint64_t entry_changed, std::uint64_t accessed, std::uint32_t permissions) {
    entry.reset();
    if (name != nullptr) {
        const std::wstring text(name);
        if (text.size() < file_entry_w::kNameChars) {
            copy_to_buffer(entry.name, text);
            const std::size_t dot = text.rfind(L'.');
            if (dot != std::wstring::npos) entry.extension = text.substr(dot + 1);
        }
    }
    entry.value64 = value64;
    entry.size = size;
    entry.mode = mode;
    entry.created = created;
    entry.altered = altered;
    entry.entry_changed = entry_changed;
    entry.accessed = accessed;
    entry.permissions = permissions;
}

void file_entry_w_set(file_entry_w& entry, const wchar_t* name, std::uint64_t size, std::uint32_t mode,
                      std::uint64_t created, std::uint64_t altered, std::uint64_t entry_changed,
                      std::uint64_t accessed, std::uint32_t permissions) {
    file_entry_w_set(entry, name, 0, size, mode, created, altered, entry_changed, accessed, permissions);
}

bool file_entry_is_dir(const file_entry& entry) {
    return mode_is_dir(entry.mode, entry.m_using_st_mode_flags);
}

bool file_entry_is_dir(const file_entry_w& entry) {
    return mode_is_dir(entry.mode, entry.m_using_st_mode_flags);
}

void file_entry_from_wide(file_entry& entry, const file_entry_w& wide) {
    entry.reset();
    entry.folder = wide_to_path(wide.folder_text());
    entry.name = wide_to_path(wide.name_text());
    entry.extension = wide_to_path(wide.extension);
    entry.path = entry.folder + "\\" + entry.name + "." + entry.extension;
    entry.path_lower = lower_copy(entry.path);
    entry.value64 = wide.value64;
    entry.size = wide.size;
    entry.mode = wide.mode;
    entry.created = wide.created;
    entry.altered = wide.altered;
    entry.entry_changed = wide.entry_changed;
    entry.accessed = wide.accessed;
    entry.permissions = wide.permissions;
    entry.value32 = 0;
}

void file_entry_set(file_entry& entry, const std::wstring& path, std::uint64_t size, std::uint64_t value64,
                    std::uint32_t value32, std::uint32_t mode, std::uint64_t created, std::uint64_t altered,
                    std::uint64_t entry_changed, std::uint64_t accessed, std::uint32_t permissions) {
    entry.reset();
    entry.path = wide_to_path(path);
    entry.path_lower = lower_copy(entry.path);
    std::string base;
    if (split_three(entry.path, entry.folder, base, entry.extension))
        entry.name = base + "." + entry.extension;
    entry.size = size;
    entry.value64 = value64;
    entry.value32 = value32;
    entry.mode = mode;
    entry.created = created;
    entry.altered = altered;
    entry.entry_changed = entry_changed;
    entry.accessed = accessed;
    entry.permissions = permissions;
}

void file_entry_set(file_entry& entry, const char* path, std::uint64_t size, std::uint64_t value64,
                    std::uint32_t value32, std::uint32_t mode, std::uint64_t created, std::uint64_t altered,
                    std::uint64_t entry_changed, std::uint64_t accessed, std::uint32_t permissions) {
    file_entry_set(entry, path == nullptr ? std::wstring() : path_to_wide(path), size, value64, value32, mode,
                   created, altered, entry_changed, accessed, permissions);
}

void file_entry_set(file_entry& entry, const std::wstring& path, std::uint64_t size, std::uint32_t mode,
                    std::uint64_t created, std::uint64_t altered, std::uint64_t entry_changed,
                    std::uint64_t accessed, std::uint32_t permissions) {
    file_entry_set(entry, path, size, 0, 0, mode, created, altered, entry_changed, accessed, permissions);
}

bool file_entry_w_name_equal(const file_entry_w& a, const file_entry_w& b) {
    return lower_wide(a.name_text()) == lower_wide(b.name_text());
}

bool file_entry_w_name_less(const file_entry_w& a, const file_entry_w& b) {
    return lower_wide(a.name_text()) < lower_wide(b.name_text());
}

bool file_entry_w_created_less(const file_entry_w& a, const file_entry_w& b) { return a.created < b.created; }

// ---------------------------------------------------------------- printing

namespace {

void put_hex(std::ostringstream& s, std::uint64_t value, int digits) {
    s << std::hex << std::setw(digits) << std::setfill('0') << std::right << value << std::dec;
}

const char* mode_kind(std::uint32_t mode) {
    switch (mode & kTypeMask) {
        case 0x2000u:
            return "char special";
        case 0x8000u:
            return "regular";
        case 0x4000u:
            return "directory";
        default:
            return "";
    }
}

void put_time_line(std::ostringstream& s, const char* label, std::uint64_t seconds) {
    s << label;
    put_hex(s, seconds, 16);
    const qm::time t(static_cast<unsigned long long>(seconds), qm::type_unix);
    std::string text;
    append_time_text(text, t);
    s << " [" << text << "]\n";
}

}  // namespace

void file_entry_print(const file_entry& entry, std::string& out) {
    std::ostringstream s;
    s << "path:         " << entry.path << "\n";
    s << "filename:     " << entry.name << "\n";
    s << "ext:          " << entry.extension << "\n";
    s << "file size     ";
    put_hex(s, entry.size, 8);
    s << "\n";
    s << "flags:        ";
    put_hex(s, entry.mode, 4);
    s << " [" << mode_kind(entry.mode) << "]\n";
    put_time_line(s, "created:      ", entry.created);
    put_time_line(s, "altered:      ", entry.altered);
    put_time_line(s, "mft changed:  ", entry.entry_changed);
    put_time_line(s, "accessed:     ", entry.accessed);
    s << "permissions:  ";
    put_hex(s, entry.permissions, 8);
    s << "\n";
    out += s.str();
}
