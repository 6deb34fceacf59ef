// Splitting a path into folder and last component, and a component into base name and extension,
// for narrow and wide text. Either '\' or '/' separates; when the path holds any '\', only the last
// '\' counts and forward slashes are not looked at.
#pragma once

#include <string>

// Empties both outputs; 0 for an empty path. Else folder = text before the deciding separator and
// name = text after it (empty when the path ends with it); a name of exactly ".." becomes "." and the
// folder gets "\.." or "//.." appended (after the separator style found). With no separator, or one
// only at the very start, folder is "." and name the whole path. Returns 1.
int split_path(const std::string& path, std::string& folder, std::string& name);
// 0 for a null pointer (outputs untouched); else split_path.
int split_path_cstr(const char* path, std::string& folder, std::string& name);
// As split_path, but an empty path returns 0 leaving both outputs as they were.
int split_path_wide(const std::wstring& path, std::wstring& folder, std::wstring& name);
// Empties all three outputs; 0 for a null or empty path. Else split_path, then the name splits at its
// last '.' into base and extension (no '.': base is the name, extension empty). Returns 1.
int split_path_ext(const char* path, std::string& folder, std::string& base, std::string& ext);
// Wide form. An empty path returns 0 with nothing touched. Only base is emptied at the start, and ext
// is written only when the name holds a '.': with no '.' ext keeps what the caller had in it.
int split_path_ext_wide(const std::wstring& path, std::wstring& folder, std::wstring& base,
                        std::wstring& ext);
