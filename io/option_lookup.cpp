#include "io/option_lookup.h"

#include "common/case_conv.h"

namespace {

// Compares copies, so neither the caller's name nor the list entry changes case.
bool name_matches(const std::string& name, const std::string& entry) {
    std::string a = name;
    std::string b = entry;
    return equals_nocase(a, b);
}

// Index of the first entry equal to `name` at or after `from`, or -1.
long find_entry(const std::string& name, const std::vector<std::string>& args, std::size_t from) {
    for (std::size_t i = from; i < args.size(); ++i) {
        if (name_matches(name, args[i])) return static_cast<long>(i);
    }
    return -1;
}

// Takes the `n` entries after the first match of `name` into outs and removes the n + 1 entries.
bool take_values(const std::string& name, std::string* const* outs, std::size_t n,
                 std::vector<std::string>& args) {
    const long found = find_entry(name, args, 0);
    if (found < 0) return false;
    const std::size_t i = static_cast<std::size_t>(found);
    if (args.size() - i <= n) return false;
    for (std::size_t k = 0; k < n; ++k) *outs[k] = args[i + 1 + k];
    for (std::size_t k = 0; k <= n; ++k) erase_vector_entry(i, args);
    return true;
}

int find_argv(const char* name, const int* count, char** array) {
    if (name == nullptr || count == nullptr || array == nullptr) return -1;
    const std::string wanted(name);
    for (int j = 1; j < *count; ++j) {
        if (array[j] != nullptr && name_matches(wanted, array[j])) return j;
    }
    return -1;
}

bool take_values_argv(const char* name, std::string* const* outs, int n, bool remove, int* count,
                      char** array) {
    const int j = find_argv(name, count, array);
    if (j < 0) return false;
    if (j + n >= *count) return false;
    for (int k = 0; k < n; ++k) *outs[k] = array[j + 1 + k] != nullptr ? array[j + 1 + k] : "";
    if (remove) {
        for (int k = 0; k <= n; ++k) remove_argv_entry(j, count, array);
    }
    return true;
}

}  // namespace

bool erase_vector_entry(std::size_t index, std::vector<std::string>& list) {
    if (index >= list.size()) return false;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool remove_argv_entry(int index, int* count, char** array) {
    if (count == nullptr || array == nullptr || index < 0 || index >= *count) return false;
    for (int k = index; k + 1 < *count; ++k) array[k] = array[k + 1];
    --*count;
    return true;
}

bool equals_nocase(std::string& a, std::string& b) {
    if (a.size() != b.size()) return false;
    string_to_lower(a);
    string_to_lower(b);
    return a == b;
}

bool take_option_flag(const char* name, std::vector<std::string>& args, bool keep) {
    if (name == nullptr) return false;
    const long found = find_entry(name, args, 0);
    if (found < 0) return false;
    if (!keep) erase_vector_entry(static_cast<std::size_t>(found), args);
    return true;
}

bool take_option_value(const char* name, std::string& out, std::vector<std::string>& args) {
    if (name == nullptr) return false;
    return take_option_value_str(name, out, args);
}

bool take_option_value_str(const std::string& name, std::string& out, std::vector<std::string>& args) {
    std::string* outs[] = {&out};
    return take_values(name, outs, 1, args);
}

bool take_option_values2(const char* name, std::string& out1, std::string& out2,
                         std::vector<std::string>& args) {
    if (name == nullptr) return false;
    std::string* outs[] = {&out1, &out2};
    return take_values(name, outs, 2, args);
}

bool take_option_values3(const char* name, std::string& out1, std::string& out2, std::string& out3,
                         std::vector<std::string>& args) {
    if (name == nullptr) return false;
    std::string* outs[] = {&out1, &out2, &out3};
    return take_values(name, outs, 3, args);
}

bool take_option_word(const char* name, std::string& out, std::vector<std::string>& args) {
    if (name == nullptr) return false;
    const long found = find_entry(name, args, 0);
    if (found < 0) return false;
    out = args[static_cast<std::size_t>(found)];
    erase_vector_entry(static_cast<std::size_t>(found), args);
    return true;
}

bool take_packed_option(std::uint64_t packed, std::vector<std::string>& args, bool keep) {
    std::string name = "-";
    for (int shift = 56; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((packed >> shift) & 0xff);
        if (c >= 'a' && c <= 'z') name += c;
    }
    return take_option_flag(name.c_str(), args, keep);
}

bool get_option_value(const char* name, std::string& out, const std::vector<std::string>& args,
                      bool skip_first) {
    if (name == nullptr) return false;
    const long found = find_entry(name, args, skip_first ? 1 : 0);
    if (found < 0) return false;
    const std::size_t i = static_cast<std::size_t>(found);
    if (i + 1 >= args.size()) return false;
    out = args[i + 1];
    return true;
}

bool has_option(const char* name, const std::vector<std::string>& args, bool skip_first) {
    if (name == nullptr) return false;
    return find_entry(name, args, skip_first ? 1 : 0) >= 0;
}

bool take_option_flag_argv(const char* name, int* count, char** array, bool keep) {
    const int j = find_argv(name, count, array);
    if (j < 0) return false;
    if (!keep) remove_argv_entry(j, count, array);
    return true;
}

bool has_option_argv(const char* name, int* count, char** array) {
    return take_option_flag_argv(name, count, array, true);
}

bool take_option_value_argv(const char* name, std::string& out, int* count, char** array) {
    std::string* outs[] = {&out};
    return take_values_argv(name, outs, 1, true, count, array);
}

bool get_option_value_argv(const char* name, std::string& out, int* count, char** array) {
    std::string* outs[] = {&out};
    return take_values_argv(name, outs, 1, false, count, array);
}

bool take_option_values2_argv(const char* name, std::string& out1, std::string& out2, int* count,
                              char** array) {
    std::string* outs[] = {&out1, &out2};
    return take_values_argv(name, outs, 2, true, count, array);
}

bool take_option_values3_argv(const char* name, std::string& out1, std::string& out2, std::string& out3,
                              int* count, char** array) {
    std::string* outs[] = {&out1, &out2, &out3};
    return take_values_argv(name, outs, 3, true, count, array);
}

bool take_option_values4_argv(const char* name, std::string& out1, std::string& out2, std::string& out3,
                              std::string& out4, int* count, char** array) {
    std::string* outs[] = {&out1, &out2, &out3, &out4};
    return take_values_argv(name, outs, 4, true, count, array);
}
