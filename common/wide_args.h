// Switches and their values taken out of an array of wide C strings with its count (entry 0 is the
// program). The array's pointers are moved, never the strings: arguments keep their case and bytes.
#pragma once

#include <cstdint>
#include <string>

// Removes entry `index`: later entries move down by one and *count drops by one. 0 (nothing changed) when
// index is negative or not below *count, or for a null count or array; else 1.
int remove_arg_entry(int index, int* count, wchar_t** array);
int remove_arg_entry(std::uint32_t index, std::uint32_t* count, wchar_t** array);

// Finds the first entry from index 1 equal to the switch ignoring case (compared on copies) and removes
// it. 1 when found; 0 when absent (also for a null switch, count or array).
int take_wide_switch(const wchar_t* name, int* count, wchar_t** array);
// value is cleared; the entry after the switch becomes the value and both are removed. 0 (array unchanged)
// when the switch is absent or last.
int take_wide_switch_value(const wchar_t* name, std::wstring& value, int* count, wchar_t** array);
// The two, three or four entries after the switch go to the values (not cleared first); all are removed.
// 0 (array and values unchanged) when the switch is absent or fewer entries follow it.
int take_wide_switch_values2(const wchar_t* name, std::wstring& value1, std::wstring& value2, int* count,
                             wchar_t** array);
int take_wide_switch_values3(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                             std::wstring& value3, int* count, wchar_t** array);
int take_wide_switch_values4(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                             std::wstring& value3, std::wstring& value4, int* count, wchar_t** array);
