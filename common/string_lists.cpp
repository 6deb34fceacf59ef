#include "common/string_lists.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "common/encoding.h"
#include "common/text_ops.h"

namespace {

template <typename S>
int erase_entry(int index, std::vector<S>& v) {
    if (index < 0) return 1;
    if (static_cast<std::size_t>(index) >= v.size()) return 0;
    v.erase(v.begin() + index);
    return 1;
}

template <typename S>
void dedupe_keep_order(std::vector<S>& v) {
    std::map<S, std::size_t> first;
    for (std::size_t i = 0; i < v.size(); ++i) first.emplace(v[i], i);
    if (first.size() == v.size()) return;
    std::vector<std::size_t> keep;
    keep.reserve(first.size());
    for (const auto& kv : first) keep.push_back(kv.second);
    std::sort(keep.begin(), keep.end());
    std::vector<S> rebuilt;
    rebuilt.reserve(keep.size());
    for (std::size_t i : keep) rebuilt.push_back(std::move(v[i]));
    v.swap(rebuilt);
}

// Index of the first entry equal to the switch ignoring case, or -1. Entries are compared through
// copies, so the list itself is not changed.
long find_switch(const char* name, const std::vector<std::wstring>& args) {
    if (name == nullptr) return -1;
    std::wstring wanted = utf8_to_wstring(name);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::wstring a = wanted;
        std::wstring b = args[i];
        if (wide_equal_nocase(a, b)) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace

int cstr_array_to_vector(std::vector<std::string>& out, unsigned count, const char* const* argv) {
    if (argv != nullptr)
        for (unsigned i = 0; i < count; ++i) out.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return out.empty() ? 0 : 1;
}

int wcstr_array_to_vector(std::vector<std::string>& out, unsigned count, const wchar_t* const* argv) {
    if (argv != nullptr)
        for (unsigned i = 0; i < count; ++i) out.push_back(wide_cstr_to_string(argv[i]));
    return out.empty() ? 0 : 1;
}

int cstr_array_to_wvector(std::vector<std::wstring>& out, int count, const char* const* argv) {
    if (argv != nullptr)
        for (int i = 0; i < count; ++i)
            out.push_back(argv[i] != nullptr ? utf8_to_wstring(argv[i]) : std::wstring());
    return out.empty() ? 0 : 1;
}

void strings_to_wstrings(std::vector<std::wstring>& out, const std::vector<std::string>& in) {
    std::vector<std::wstring> result;
    result.reserve(in.size());
    for (const auto& s : in) result.push_back(utf8_to_wstring(s));
    out.swap(result);
}

void convert_strings_to_wstrings(const std::vector<std::string>& in, std::vector<std::wstring>& out) {
    strings_to_wstrings(out, in);
}

void wstrings_to_strings(std::vector<std::string>& out, const std::vector<std::wstring>& in) {
    std::vector<std::string> result;
    result.reserve(in.size());
    for (const auto& s : in) result.push_back(wstring_to_utf8(s));
    out.swap(result);
}

void convert_wstrings_to_strings(const std::vector<std::wstring>& in, std::vector<std::string>& out) {
    wstrings_to_strings(out, in);
}

std::string wide_cstr_to_string(const wchar_t* text) {
    std::string out;
    return wide_cstr_to_utf8(text, out);
}

std::string& wide_cstr_to_utf8(const wchar_t* text, std::string& out) {
    out.clear();
    if (text != nullptr) out = wstring_to_utf8(text);
    return out;
}

int erase_vector_entry(int index, std::vector<std::string>& v) { return erase_entry(index, v); }

int erase_wvector_entry(int index, std::vector<std::wstring>& v) { return erase_entry(index, v); }

int join_command_line(std::string& out, const std::vector<std::string>& args, int quote) {
    out.clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].find(' ') != std::string::npos) {
            out.push_back(static_cast<char>(quote));
            out += args[i];
            out.push_back(static_cast<char>(quote));
        } else {
            out += args[i];
        }
        if (i + 1 < args.size()) out.push_back(' ');
    }
    return 1;
}

std::string& join_set(std::string& out, const std::set<std::string>& items, const std::string& sep,
                      bool skip_empty) {
    out.clear();
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (skip_empty && it->empty()) continue;
        out += *it;
        if (std::next(it) != items.end()) out += sep;
    }
    if (skip_empty && !sep.empty() && !out.empty() && out.back() == sep[0]) out.pop_back();
    return out;
}

int strings_to_c_arrays(std::vector<const char*>& ptrs, std::vector<std::uint32_t>& lengths,
                        const std::vector<std::string>& in) {
    ptrs.assign(in.size(), nullptr);
    lengths.assign(in.size(), 0);
    for (std::size_t i = 0; i < in.size(); ++i) {
        lengths[i] = static_cast<std::uint32_t>(in[i].size());
        if (!in[i].empty()) ptrs[i] = in[i].data();
    }
    return in.empty() ? 0 : 1;
}

int interleave_name_value_lists(std::vector<std::string>& out, const std::vector<std::string>& names,
                                const std::vector<std::string>& values) {
    out.clear();
    if (names.size() == values.size()) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i].empty()) {
                out.clear();
                break;
            }
            out.push_back(names[i]);
            if (!values[i].empty()) out.push_back(values[i]);
        }
    }
    return out.empty() ? 0 : 1;
}

void dedupe_strings_keep_order(std::vector<std::string>& v) { dedupe_keep_order(v); }

void dedupe_wstrings_keep_order(std::vector<std::wstring>& v) { dedupe_keep_order(v); }

int take_switch(const char* name, std::vector<std::wstring>& args, bool keep) {
    long i = find_switch(name, args);
    if (i < 0) return 0;
    if (!keep) args.erase(args.begin() + i);
    return 1;
}

int take_switch_with_value(const char* name, std::wstring& out, std::vector<std::wstring>& args) {
    long i = find_switch(name, args);
    if (i < 0 || static_cast<std::size_t>(i) + 1 >= args.size()) return 0;
    out = args[static_cast<std::size_t>(i) + 1];
    args.erase(args.begin() + i, args.begin() + i + 2);
    return 1;
}

int take_switch_with_two_values(const char* name, std::wstring& out1, std::wstring& out2,
                                std::vector<std::wstring>& args) {
    long i = find_switch(name, args);
    if (i < 0 || static_cast<std::size_t>(i) + 2 >= args.size()) return 0;
    out1 = args[static_cast<std::size_t>(i) + 1];
    out2 = args[static_cast<std::size_t>(i) + 2];
    args.erase(args.begin() + i, args.begin() + i + 3);
    return 1;
}

int has_switch(const char* name, const std::vector<std::wstring>& args, bool skip_first) {
    if (name == nullptr) return 0;
    std::wstring wanted = utf8_to_wstring(name);
    wstring_to_lower(wanted);
    for (std::size_t i = skip_first ? 1 : 0; i < args.size(); ++i) {
        std::wstring a = args[i];
        wstring_to_lower(a);
        if (a == wanted) return 1;
    }
    return 0;
}

int take_packed_switch(std::uint64_t code, std::vector<std::wstring>& args, bool keep) {
    std::string name = "-";
    for (int shift = 56; shift >= 0; shift -= 8) {
        char c = static_cast<char>((code >> shift) & 0xFF);
        if (c >= 'a' && c <= 'z') name.push_back(c);
    }
    return take_switch(name.c_str(), args, keep);
}

int check_vmdk_switch(const void* /*unused*/, std::vector<std::wstring>& /*args*/) { return 0; }

int set_named_lists(named_lists_record& record, const std::string& name,
                    const std::vector<std::string>& names, const std::vector<std::string>& values) {
    if (!names.empty() && names.size() == values.size()) {
        record.name = name;
        record.names = names;
        record.values = values;
        record.valid = 1;
    }
    return 0;
}
