#include "common/wide_args.h"

#include "common/text_ops.h"

namespace {

int remove_entry(int index, int* count, wchar_t** array) {
    if (count == nullptr || array == nullptr || index < 0 || index >= *count) return 0;
    for (int i = index; i + 1 < *count; ++i) array[i] = array[i + 1];
    --*count;
    return 1;
}

// The index of the first entry from 1 equal to name ignoring case, or -1. The comparison lower-cases
// copies: the entries are the caller's arguments (paths among them) and must keep their case.
int find_switch(const wchar_t* name, const int* count, wchar_t* const* array) {
    if (name == nullptr || count == nullptr || array == nullptr) return -1;
    for (int i = 1; i < *count; ++i) {
        if (array[i] == nullptr) continue;
        std::wstring wanted = name;
        std::wstring entry = array[i];
        if (wide_equal_nocase(wanted, entry)) return i;
    }
    return -1;
}

// Takes the `n` entries after the switch into values and removes the switch and them.
int take_with_values(const wchar_t* name, std::wstring* const* values, int n, int* count, wchar_t** array) {
    const int at = find_switch(name, count, array);
    if (at < 0 || *count - 1 - at < n) return 0;
    for (int k = 0; k < n; ++k) *values[k] = array[at + 1 + k] != nullptr ? array[at + 1 + k] : L"";
    for (int k = 0; k <= n; ++k) remove_entry(at, count, array);
    return 1;
}

}  // namespace

int remove_arg_entry(int index, int* count, wchar_t** array) { return remove_entry(index, count, array); }

int remove_arg_entry(std::uint32_t index, std::uint32_t* count, wchar_t** array) {
    if (count == nullptr || array == nullptr || index >= *count) return 0;
    for (std::uint32_t i = index; i + 1 < *count; ++i) array[i] = array[i + 1];
    --*count;
    return 1;
}

int take_wide_switch(const wchar_t* name, int* count, wchar_t** array) {
    return take_with_values(name, nullptr, 0, count, array);
}

int take_wide_switch_value(const wchar_t* name, std::wstring& value, int* count, wchar_t** array) {
    value.clear();
    std::wstring* const values[] = {&value};
    return take_with_values(name, values, 1, count, array);
}

int take_wide_switch_values2(const wchar_t* name, std::wstring& value1, std::wstring& value2, int* count,
                             wchar_t** array) {
    std::wstring* const values[] = {&value1, &value2};
    return take_with_values(name, values, 2, count, array);
}

int take_wide_switch_values3(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                             std::wstring& value3, int* count, wchar_t** array) {
    std::wstring* const values[] = {&value1, &value2, &value3};
    return take_with_values(name, values, 3, count, array);
}

int take_wide_switch_values4(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                             std::wstring& value3, std::wstring& value4, int* count, wchar_t** array) {
    std::wstring* const values[] = {&value1, &value2, &value3, &value4};
    return take_with_values(name, values, 4, count, array);
}
