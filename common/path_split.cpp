#include "common/path_split.h"

namespace {

// The split shared by both widths; outputs are already empty and path is not.
template <class S>
void split_common(const S& path, S& folder, S& name, const S& dot, const S& dotdot, const S& back_suffix,
                  const S& slash_suffix) {
    using C = typename S::value_type;
    std::size_t p = path.rfind(static_cast<C>('\\'));
    const S* suffix = &back_suffix;
    if (p == S::npos) {
        p = path.rfind(static_cast<C>('/'));
        suffix = &slash_suffix;
    }
    // A separator only at position 0 does not count: "/x" names a file "/x" in ".".
    if (p == S::npos || p == 0) {
        folder = dot;
        name = path;
        return;
    }
    folder = path.substr(0, p);
    name = path.substr(p + 1);
    if (name == dotdot) {
        name = dot;
        folder += *suffix;
    }
}

template <class S>
void split_ext(const S& name, S& base, S& ext, bool always_write_ext) {
    using C = typename S::value_type;
    std::size_t d = name.rfind(static_cast<C>('.'));
    if (d == S::npos) {
        base = name;
        if (always_write_ext) ext.clear();
        return;
    }
    base = name.substr(0, d);
    ext = name.substr(d + 1);
}

}  // namespace

int split_path(const std::string& path, std::string& folder, std::string& name) {
    folder.clear();
    name.clear();
    if (path.empty()) return 0;
    split_common<std::string>(path, folder, name, ".", "..", "\\..", "//..");
    return 1;
}

int split_path_cstr(const char* path, std::string& folder, std::string& name) {
    if (path == nullptr) return 0;
    return split_path(std::string(path), folder, name);
}

int split_path_wide(const std::wstring& path, std::wstring& folder, std::wstring& name) {
    if (path.empty()) return 0;
    folder.clear();
    name.clear();
    split_common<std::wstring>(path, folder, name, L".", L"..", L"\\..", L"//..");
    return 1;
}

int split_path_ext(const char* path, std::string& folder, std::string& base, std::string& ext) {
    folder.clear();
    base.clear();
    ext.clear();
    if (path == nullptr) return 0;
    std::string name;
    if (!split_path(std::string(path), folder, name)) return 0;
    split_ext(name, base, ext, true);
    return 1;
}

int split_path_ext_wide(const std::wstring& path, std::wstring& folder, std::wstring& base,
                        std::wstring& ext) {
    if (path.empty()) return 0;
    base.clear();
    std::wstring name;
    if (!split_path_wide(path, folder, name)) return 0;
    split_ext(name, base, ext, false);
    return 1;
}
