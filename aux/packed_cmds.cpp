#include "aux/packed_cmds.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "common/encoding.h"
#include "common/int_parsers.h"
#include "common/split_join.h"
#include "common/string_lists.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "io/file_utils.h"
#include "io/option_lookup.h"
#include "io/portable_dir_ops.h"
#include "io/wide_split.h"
#include "time/calendar.h"
#include "time/time_parse.h"

const char g_record_start_char[] = "!record";
const char g_cmd_terminator_char[] = "!end";

namespace {

// Command files are read up to this size.
constexpr std::uint32_t kMaxCommandFile = 16777216;
constexpr std::uint64_t kTicksPerSecondValue = 10000000ull;
constexpr std::uint64_t kMonthTicks = 25920000000000ull;  // 30 days
constexpr std::uint64_t kWeekTicks = 6048000000000ull;
constexpr std::uint64_t kDayTicks = 864000000000ull;
// The length of "!run-MM/DD/YYYY::HH:MM:SS".
constexpr std::size_t kRunFieldLength = 25;

bool starts_with(const std::wstring& s, const wchar_t* prefix) {
    const std::size_t n = std::wcslen(prefix);
    return s.size() >= n && s.compare(0, n, prefix) == 0;
}

std::wstring trimmed(std::wstring s) {
    trim_wide(s);
    return s;
}

std::uint32_t wide_number(const std::wstring& text) {
    std::uint32_t v = 0;
    if (!wstring_to_uint(trimmed(text), &v)) v = 0;
    return v;
}

std::vector<std::wstring> to_wide(const std::vector<std::string>& in) {
    std::vector<std::wstring> out;
    if (!in.empty()) utf8_list_to_wide(out, in);
    return out;
}

std::vector<std::string> to_utf8(const std::vector<std::wstring>& in) {
    std::vector<std::string> out;
    if (!in.empty()) wide_list_to_utf8(out, in);
    return out;
}

std::string read_text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// ---------------------------------------------------------------- construction

PackedCmds::PackedCmds(const void* const* table, bool wide) { load_table(table, wide); }

PackedCmds::PackedCmds(const std::string& path, bool ensure_name) {
    std::vector<std::uint8_t> bytes;
    if (read_file_to_vector(bytes, path, kMaxCommandFile))
        loaded_ = load_command_text(read_text(bytes), "", {}, ensure_name);
}

PackedCmds::PackedCmds(const std::wstring& path, bool ensure_name) {
    std::vector<std::uint8_t> bytes;
    if (read_file_bytes_w(bytes, path, kMaxCommandFile))
        loaded_ = load_command_text(read_text(bytes), "", {}, ensure_name);
}

PackedCmds::PackedCmds(const std::vector<std::uint8_t>& text, bool ensure_name) {
    if (!text.empty()) loaded_ = load_command_text(read_text(text), "", {}, ensure_name);
}

PackedCmds::PackedCmds(const std::vector<std::uint8_t>& text, const std::vector<std::string>& tags,
                       bool ensure_name) {
    if (!text.empty()) loaded_ = load_command_text_with_elements(read_text(text), "", tags, {}, ensure_name);
}

PackedCmds::PackedCmds(const std::wstring& path, const std::vector<std::string>& tags, bool ensure_name) {
    std::vector<std::uint8_t> bytes;
    if (read_file_bytes_w(bytes, path, kMaxCommandFile))
        loaded_ = load_command_text_with_elements(read_text(bytes), "", tags, {}, ensure_name);
}

PackedCmds::PackedCmds(const std::vector<std::string>& tokens) { load_tokens(to_wide(tokens)); }
PackedCmds::PackedCmds(const std::vector<std::wstring>& tokens) { load_tokens(tokens); }
PackedCmds::PackedCmds(const std::vector<std::wstring>& tokens, bool split_lines) {
    load_token_lines(tokens, split_lines);
}
PackedCmds::PackedCmds(const std::vector<std::string>& tokens, bool split_lines) {
    load_token_lines(to_wide(tokens), split_lines);
}
PackedCmds::PackedCmds(const std::vector<std::wstring>& tokens, const std::vector<std::wstring>& tags,
                       bool split_lines) {
    load_token_lines_with_elements(tokens, tags, split_lines);
}

void PackedCmds::clear() {
    records_.clear();
    field_pointers_.clear();
    run_texts_.clear();
    run_times_.clear();
    repeat_texts_.clear();
    repeat_intervals_.clear();
    timeouts_.clear();
    dirs_.clear();
    names_.clear();
    comments_.clear();
    spawns_.clear();
    customs_.clear();
    max_fields_ = 0;
    loaded_ = false;
}

void PackedCmds::rebuild_pointers() {
    field_pointers_.assign(records_.size(), std::vector<const wchar_t*>());
    for (std::size_t r = 0; r < records_.size(); ++r) {
        for (const std::wstring& f : records_[r]) field_pointers_[r].push_back(f.c_str());
    }
}

void PackedCmds::finish_records(bool trim) {
    if (trim) {
        for (auto& record : records_) {
            for (std::wstring& f : record) trim_wide(f);
        }
    }
    rebuild_pointers();
}

// ---------------------------------------------------------------- packed tables

void PackedCmds::load_table(const void* const* table, bool wide) {
    clear();
    if (table == nullptr) return;
    const void* start = table[0];
    const void* end = table[1];
    std::vector<std::vector<std::wstring>> found;
    std::size_t i = 2;
    while (table[i] != end) {
        if (table[i] != start) {  // nulls (and anything else) between records
            ++i;
            continue;
        }
        std::vector<std::string> narrow;
        std::vector<std::wstring> fields;
        for (++i; table[i] != nullptr && table[i] != start && table[i] != end; ++i) {
            if (wide) {
                fields.emplace_back(static_cast<const wchar_t*>(table[i]));
            } else {
                narrow.emplace_back(static_cast<const char*>(table[i]));
            }
        }
        if (!wide) fields = to_wide(narrow);
        if (fields.size() > max_fields_) max_fields_ = fields.size();
        found.push_back(fields);
    }
    for (auto& fields : found) {
        parse_directives(fields);
        records_.push_back(fields);
    }
    rebuild_pointers();
    loaded_ = true;
}

bool PackedCmds::find_packed_record(const void* const* table, int n, std::size_t& count,
                                    const void* const*& first) {
    count = 0;
    first = nullptr;
    if (table == nullptr || n < 0) return false;
    const void* start = table[0];
    const void* end = table[1];
    int record = -1;
    for (std::size_t i = 2; table[i] != end;) {
        if (table[i] != start) {
            ++i;
            continue;
        }
        ++record;
        std::size_t k = i + 1;
        while (table[k] != nullptr && table[k] != start && table[k] != end) ++k;
        if (record == n) {
            count = k - i - 1;
            first = table + i + 1;
            return count != 0;
        }
        i = k;
    }
    return false;
}

// ---------------------------------------------------------------- directives

bool PackedCmds::apply_directive(const std::wstring& f, std::size_t index) {
    auto value_of = [&](const wchar_t* directive) { return f.substr(std::wcslen(directive)); };
    if (starts_with(f, L"!run-")) {
        const std::wstring v = value_of(L"!run-");
        if (v.find(L"now") != std::wstring::npos) {
            run_texts_[index] = L"now";
            run_times_[index] = 0;
        } else if (v.find(L"never") != std::wstring::npos) {
            run_texts_[index] = L"never";
            run_times_[index] = kRunNever;
        } else if (f.size() == kRunFieldLength) {
            const std::wstring date = v.substr(0, 10);
            const std::wstring time = v.substr(12, 8);
            _windows_systemtime st;
            std::uint64_t ft = 0;
            if (parse_date_time_text_w(date.c_str(), time.c_str(), &st) &&
                filetime_to_u64(_windows_filetime(st), ft)) {
                run_texts_[index] = v;
                run_times_[index] = ft;
            }
        }
    } else if (starts_with(f, L"!custom-")) {
        if (f.size() >= 9) customs_[index] = trimmed(value_of(L"!custom-"));
    } else if (starts_with(f, L"!spawn-")) {
        if (f.size() >= 8) spawns_[index] = trimmed(value_of(L"!spawn-"));
    } else if (starts_with(f, L"!comment-")) {
        if (f.size() >= 10) comments_[index] = trimmed(value_of(L"!comment-"));
    } else if (starts_with(f, L"!name-")) {
        if (f.size() >= 7) names_[index] = trimmed(value_of(L"!name-"));
    } else if (starts_with(f, L"!dir-")) {
        if (f.size() >= 6) dirs_[index] = trimmed(value_of(L"!dir-"));
    } else if (starts_with(f, L"!timeout-")) {
        if (f.size() >= 10 && f.size() <= 13) timeouts_[index] = wide_number(value_of(L"!timeout-"));
    } else if (starts_with(f, L"!repeat-")) {
        if (f == L"!repeat-monthly") {
            repeat_texts_[index] = L"monthly";
            repeat_intervals_[index] = kMonthTicks;
        } else if (f == L"!repeat-weekly") {
            repeat_texts_[index] = L"weekly";
            repeat_intervals_[index] = kWeekTicks;
        } else if (f == L"!repeat-daily") {
            repeat_texts_[index] = L"daily";
            repeat_intervals_[index] = kDayTicks;
        } else if (f.size() >= 9) {
            repeat_texts_[index] = value_of(L"!repeat-");
            repeat_intervals_[index] =
                static_cast<std::uint64_t>(wide_number(value_of(L"!repeat-"))) * kTicksPerSecondValue;
        }
    } else {
        return false;
    }
    return true;
}

bool PackedCmds::parse_directives(std::vector<std::wstring>& fields) {
    const std::size_t index = run_texts_.size();
    run_texts_.emplace_back();
    run_times_.push_back(0);
    repeat_texts_.emplace_back();
    repeat_intervals_.push_back(0);
    timeouts_.push_back(0);
    dirs_.emplace_back();
    names_.emplace_back();
    comments_.emplace_back();
    spawns_.emplace_back();
    customs_.emplace_back();
    if (fields.empty()) return false;
    std::vector<std::wstring> kept;
    for (const std::wstring& f : fields) {
        if (!apply_directive(trimmed(f), index)) kept.push_back(f);
    }
    fields.swap(kept);
    return true;
}

bool PackedCmds::parse_directives(std::vector<std::string>& fields) {
    std::vector<std::wstring> wide;
    for (const std::string& f : fields) wide.push_back(trimmed(utf8_to_wstring(f)));
    const bool ok = parse_directives(wide);
    fields = to_utf8(wide);
    return ok;
}

// ---------------------------------------------------------------- accessors

bool PackedCmds::get_fields(int n, std::vector<std::wstring>& out) const {
    if (!valid_index(n)) return false;
    out = records_[static_cast<std::size_t>(n)];
    return true;
}

bool PackedCmds::get_fields(int n, std::vector<std::string>& out) const {
    if (!valid_index(n)) return false;
    out = to_utf8(records_[static_cast<std::size_t>(n)]);
    return true;
}

std::size_t PackedCmds::field_count(int n) const {
    return valid_index(n) ? field_pointers_[static_cast<std::size_t>(n)].size() : 0;
}

bool PackedCmds::get_field_pointers(int n, std::size_t& count, const wchar_t* const*& pointers) const {
    if (!valid_index(n)) return false;
    const auto& p = field_pointers_[static_cast<std::size_t>(n)];
    count = p.size();
    pointers = p.data();
    return true;
}

bool PackedCmds::get_attributes(int n, std::uint64_t& run_time, std::uint64_t& repeat_interval,
                                std::uint32_t& timeout, std::wstring& dir, std::wstring& name,
                                std::wstring& comment, std::wstring& spawn, std::wstring& custom) const {
    if (!valid_index(n)) return false;
    const std::size_t i = static_cast<std::size_t>(n);
    run_time = run_times_[i];
    repeat_interval = repeat_intervals_[i];
    timeout = timeouts_[i];
    dir = dirs_[i];
    name = names_[i];
    comment = comments_[i];
    spawn = spawns_[i];
    custom = customs_[i];
    return true;
}

bool PackedCmds::get_attributes(int n, std::uint64_t& run_time, std::uint64_t& repeat_interval,
                                std::uint32_t& timeout, std::string& dir, std::string& name,
                                std::string& comment, std::string& spawn, std::string& custom) const {
    std::wstring d, na, c, s, cu;
    if (!get_attributes(n, run_time, repeat_interval, timeout, d, na, c, s, cu)) return false;
    dir = wstring_to_utf8(d);
    name = wstring_to_utf8(na);
    comment = wstring_to_utf8(c);
    spawn = wstring_to_utf8(s);
    custom = wstring_to_utf8(cu);
    return true;
}

bool PackedCmds::set_attributes(int n, std::uint64_t run_time, std::uint64_t repeat_interval,
                                std::uint32_t timeout, const std::wstring& dir, const std::wstring& name,
                                const std::wstring& comment, const std::wstring& spawn,
                                const std::wstring& custom) {
    if (!valid_index(n)) return false;
    const std::size_t i = static_cast<std::size_t>(n);
    run_times_[i] = run_time;
    repeat_intervals_[i] = repeat_interval;
    timeouts_[i] = timeout;
    dirs_[i] = dir;
    names_[i] = name;
    comments_[i] = comment;
    spawns_[i] = spawn;
    customs_[i] = custom;
    return true;
}

bool PackedCmds::set_attributes(int n, std::uint64_t run_time, std::uint64_t repeat_interval,
                                std::uint32_t timeout, const std::string& dir, const std::string& name,
                                const std::string& comment, const std::string& spawn,
                                const std::string& custom) {
    return set_attributes(n, run_time, repeat_interval, timeout, utf8_to_wstring(dir), utf8_to_wstring(name),
                          utf8_to_wstring(comment), utf8_to_wstring(spawn), utf8_to_wstring(custom));
}

bool PackedCmds::reset_schedule(int n) {
    if (!valid_index(n)) return false;
    run_times_[static_cast<std::size_t>(n)] = kRunNever;
    repeat_intervals_[static_cast<std::size_t>(n)] = 0;
    return true;
}

bool PackedCmds::any_due_before(std::int64_t t) const {
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (run_times_[i] == kRunNever) continue;
        if (static_cast<std::int64_t>(run_times_[i]) < t) return true;
    }
    return false;
}

// ---------------------------------------------------------------- writing back

bool PackedCmds::record_as_quoted_line(int n, std::wstring& out) const {
    out.clear();
    if (!valid_index(n)) return false;
    for (const std::wstring& f : records_[static_cast<std::size_t>(n)]) {
        if (!out.empty()) out += L" ";
        out += L"\"" + f + L"\"";
    }
    return true;
}

bool PackedCmds::record_as_quoted_line(int n, std::string& out) const {
    std::wstring w;
    const bool ok = record_as_quoted_line(n, w);
    out = wstring_to_utf8(w);
    return ok;
}

bool PackedCmds::record_as_command_line(int n, std::string& out) const {
    out.clear();
    if (!valid_index(n)) return false;
    const std::size_t i = static_cast<std::size_t>(n);
    out = "!cmd";
    auto add = [&](const char* directive, const std::wstring& value) {
        if (!value.empty()) out += std::string(", ") + directive + wstring_to_utf8(value);
    };
    add("!spawn-", spawns_[i]);
    add("!custom-", customs_[i]);
    add("!name-", names_[i]);
    add("!comment-", comments_[i]);
    add("!dir-", dirs_[i]);
    if (timeouts_[i] != 0) out += ", !timeout-" + std::to_string(timeouts_[i]);
    add("!repeat-", repeat_texts_[i]);
    add("!run-", run_texts_[i]);
    for (const std::wstring& f : records_[i]) {
        if (f != L"!cmd") out += ", \"" + wstring_to_utf8(f) + "\"";
    }
    return true;
}

bool PackedCmds::record_as_command_line(int n, std::wstring& out) const {
    std::string s;
    const bool ok = record_as_command_line(n, s);
    out = utf8_to_wstring(s);
    return ok;
}

bool PackedCmds::write_c_table(std::ostream& os) const {
    if (records_.empty()) return false;
    os << "const int NUM_FIELDS_PER_RECORD = " << (max_fields_ + 1) << "\n\n"
       << "const char * reg_cmds[][NUM_FIELDS_PER_RECORD] =\n{\n   {\n"
       << "      g_record_start_char, g_cmd_terminator_char\n   },\n\n";
    for (const auto& record : records_) {
        os << "   {\n      g_record_start_char,\n";
        for (std::size_t k = 0; k < record.size(); ++k) {
            os << "     \"" << wstring_to_utf8(record[k]) << "\"" << (k + 1 < record.size() ? "," : "")
               << "\n";
        }
        os << "   },\n\n";
    }
    os << "   { g_cmd_terminator_char }\n};\n";
    return true;
}

bool PackedCmds::write_c_table() const { return write_c_table(std::cout); }

bool PackedCmds::write_schedule_listing(std::ostream& os) const {
    if (records_.empty()) return false;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const std::uint64_t run = run_times_[i];
        std::printf("0x%llx\n", static_cast<unsigned long long>(run));
        os << "!cmd, ";
        for (const std::wstring& f : records_[i]) os << wstring_to_utf8(f) << ", ";
        char text[64];
        if (run == kRunNever) {
            os << "!run-never, ";
        } else if (static_cast<std::int64_t>(run) > 0) {
            _windows_filetime ft;
            (void)make_windows_filetime(ft, run, 1);
            const _windows_systemtime st(ft.value());
            std::snprintf(text, sizeof text, "!run-%02d/%02d/%04d::%02d:%02d:%02d, ", st.month, st.day,
                          st.year, st.hour, st.minute, st.second);
            os << text;
        } else {
            os << "!run-now, ";
        }
        const std::int64_t v = static_cast<std::int64_t>(repeat_intervals_[i]);
        if (v <= 35999999999ll) {
            os << "!repeat-none";
        } else if (v < 1728000000000ll) {
            os << "!repeat-daily";
        } else if (v > 6911999999999ll) {
            os << "!repeat-monthly";
        } else {
            os << "!repeat-weekly";
        }
        os << "\n";
    }
    os << "\n";
    return true;
}

bool PackedCmds::save_schedule_listing(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    if (records_.empty()) return true;
    return write_schedule_listing(out) && static_cast<bool>(out.flush());
}

bool PackedCmds::print_records() const {
    if (records_.empty()) return false;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        std::printf("----- record %d -----\n", static_cast<int>(i));
        // Through UTF-8, so the output does not depend on the locale of the process.
        for (const std::wstring& f : records_[i]) std::printf("%s\n", wstring_to_utf8(f).c_str());
    }
    return true;
}

// ---------------------------------------------------------------- command text

void PackedCmds::add_command_record(std::vector<std::string>& fields, const std::vector<std::string>& kept,
                                    const std::string& hive, const std::vector<std::string>& extra,
                                    bool ensure_name) {
    parse_directives(fields);
    fields.insert(fields.end(), kept.begin(), kept.end());
    std::string name;
    std::string comment;
    const bool has_name = get_option_value("-name", name, fields, true);
    const bool has_comment = get_option_value("-comment", comment, fields, true);
    if (has_name && !has_comment) {
        fields.push_back("-comment");
        fields.push_back(name);
    }
    if (ensure_name && !has_name) {
        fields.push_back("-name");
        if (has_comment) {
            for (char& c : comment) {
                if (c == ' ' || c == ',' || c == ';') c = '_';
            }
            fields.push_back(comment);
        } else {
            fields.push_back("unk_name");
        }
    }
    if (!hive.empty()) {
        std::string old;
        (void)take_option_value("-hive", old, fields);
        fields.push_back("-hive");
        fields.push_back(hive);
    }
    fields.insert(fields.end(), extra.begin(), extra.end());
    records_.push_back(to_wide(fields));
}

bool PackedCmds::load_command_text(const std::string& text, const std::string& hive,
                                   const std::vector<std::string>& extra, bool ensure_name) {
    return load_lines(text, hive, nullptr, extra, ensure_name);
}

bool PackedCmds::load_command_text_with_elements(const std::string& text, const std::string& hive,
                                                 const std::vector<std::string>& tags,
                                                 const std::vector<std::string>& extra, bool ensure_name) {
    return load_lines(text, hive, &tags, extra, ensure_name);
}

bool PackedCmds::load_lines(const std::string& text, const std::string& hive,
                            const std::vector<std::string>* tags, const std::vector<std::string>& extra,
                            bool ensure_name) {
    if (text.empty()) return false;
    // With elements the parts are trimmed and blank ones dropped; without, a blank part stays a field.
    const bool cutting = tags != nullptr;
    static const std::vector<std::string> kNoTags;
    const std::vector<std::string>& cut_tags = cutting ? *tags : kNoTags;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, 2, "//") == 0 || line.find("!cmd,") == std::string::npos) continue;
        std::vector<std::string> kept;
        for (const std::string& tag : cut_tags) {
            std::string element;
            if (cut_xml_element(element, line, tag)) kept.push_back(element);
        }
        const std::size_t at = line.find("!cmd,");
        const std::string rest = at == std::string::npos ? std::string() : line.substr(at + 5);
        std::vector<std::string> fields;
        split_string(rest, ',', fields, cutting, false, false);
        if (fields.empty()) fields.emplace_back();
        add_command_record(fields, kept, hive, extra, ensure_name);
    }
    finish_records(true);
    return true;
}

bool PackedCmds::load_command_file(const std::string& path, const std::string& hive,
                                   const std::vector<std::string>& extra, bool ensure_name) {
    clear();
    std::vector<std::uint8_t> bytes;
    if (!read_file_to_vector(bytes, path, kMaxCommandFile)) return false;
    loaded_ = load_command_text(read_text(bytes), hive, extra, ensure_name);
    return loaded_;
}

// ---------------------------------------------------------------- tokens

bool PackedCmds::load_tokens(const std::vector<std::wstring>& tokens) {
    // The attribute lists go with the records, so that entry i still belongs to record i.
    clear();
    std::vector<std::vector<std::wstring>> found;
    std::set<std::wstring> seen;
    std::vector<std::wstring> open;
    bool any = false;
    auto close_record = [&]() {
        if (open.empty()) return;
        std::wstring joined;
        join_wide_strings(joined, open, L"", false);
        if (seen.insert(joined).second) found.push_back(open);
        open.clear();
    };
    for (const std::wstring& token : tokens) {
        if (token == L"!cmd") {
            close_record();
            open.push_back(trimmed(token));
            any = true;
        } else if (any) {
            open.push_back(trimmed(token));
        }
    }
    close_record();
    if (!any) return false;
    for (auto& fields : found) {
        parse_directives(fields);
        records_.push_back(fields);
    }
    rebuild_pointers();
    loaded_ = true;
    return true;
}

bool PackedCmds::load_token_lines(const std::vector<std::wstring>& tokens, bool split_lines) {
    return load_token_lines_with_elements(tokens, {}, split_lines);
}

bool PackedCmds::load_token_lines_with_elements(const std::vector<std::wstring>& tokens,
                                                const std::vector<std::wstring>& tags, bool split_lines) {
    if (!split_lines) return load_tokens(tokens);
    std::vector<std::wstring> unique = tokens;
    dedupe_wstrings_keep_order(unique);
    std::vector<std::wstring> parts;
    for (const std::wstring& token : unique) {
        std::vector<std::wstring> split;
        const bool ok = tags.empty() ? split_command_line(token.c_str(), split)
                                     : split_command_line_with_elements(token.c_str(), tags, split);
        if (ok) parts.insert(parts.end(), split.begin(), split.end());
    }
    return load_tokens(parts);
}

bool PackedCmds::split_command_line(const wchar_t* text, std::vector<std::wstring>& out) {
    out.clear();
    if (text == nullptr) return false;
    return split_wstring(text, L',', out, true, false) && !out.empty();
}

bool PackedCmds::split_command_line_with_elements(const wchar_t* text, const std::vector<std::wstring>& tags,
                                                  std::vector<std::wstring>& out) {
    out.clear();
    if (text == nullptr) return false;
    std::wstring rest = text;
    std::vector<std::wstring> kept;
    for (const std::wstring& tag : tags) {
        std::wstring element;
        if (cut_xml_element_w(element, rest, tag)) kept.push_back(element);
    }
    split_wstring(rest, L',', out, true, false);
    out.insert(out.end(), kept.begin(), kept.end());
    return !out.empty();
}

bool PackedCmds::split_fields(const std::string& text, std::vector<std::string>& out) {
    out.clear();
    if (text.empty()) return false;
    split_string(text, ',', out, true, false, false);
    return true;
}
