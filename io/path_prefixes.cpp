#include "io/path_prefixes.h"

#include "common/case_conv.h"
#include "common/substrings.h"

namespace {

const char kLongPrefix[] = "\\\\?\\";    // \\?\ .
const char kDevicePrefix[] = "\\\\.\\";  // \\.\ .
const std::size_t kPrefixLength = 4;
// The drive test looks just after a drive letter that follows the prefix.
const std::size_t kDriveColumn = kPrefixLength + 1;
// Shadow copy paths are at least this long before their prefix is judged by its "global" part.
const std::size_t kShadowPathMin = 47;

// True when the character at the drive test position exists and is ':'.
bool drive_follows(const std::string& path, std::size_t prefix_at) {
    const std::size_t at = prefix_at + kDriveColumn;
    return at < path.size() && path[at] == ':';
}

void erase_prefix_head(std::string& path, std::size_t prefix_at) { path.erase(prefix_at, kPrefixLength - 1); }

}  // namespace

std::string shadow_copy_prefix(bool lower_case, bool with_root) {
    std::string text;
    if (with_root) {
        text += kLongPrefix;
        text += "GLOBALROOT";
    }
    text += "\\Device\\HarddiskVolumeShadowCopy";
    if (lower_case) string_to_lower(text);
    return text;
}

int normalize_windows_path(const char* raw_path, std::string& out, const char* windows_folder) {
    out.clear();
    if (raw_path == nullptr) return 0;
    out = raw_path;
    const std::string folder = windows_folder != nullptr ? windows_folder : "";
    erase_from_substring(out, " /", true);
    erase_from_substring(out, " -k", true);
    for (const char* placeholder : {"%SystemRoot%", "\\SystemRoot", "SystemRoot"}) {
        std::string old_text = placeholder;
        replace_first(out, old_text, folder, true);
    }
    std::string vss = "%vss%";
    replace_first(out, vss, shadow_copy_prefix(false, true), true);
    std::string nt_prefix = "\\??\\";
    erase_first(out, nt_prefix, false);
    std::string short_prefix = "\\?\\";
    erase_first(out, short_prefix, false);
    string_to_lower(out);
    if (out.compare(0, 8, "system32") == 0) out = folder + "\\" + out;
    return 1;
}

void strip_long_path_prefix(std::string& path, bool keep_drive_form, bool shadow_copy_form) {
    std::size_t at = path.find(kLongPrefix);
    if (at != std::string::npos) {
        if (keep_drive_form && path.size() > kDriveColumn) {
            if (drive_follows(path, at)) return;
        } else if (shadow_copy_form && path.size() >= kShadowPathMin) {
            std::string after = path.substr(at + kPrefixLength, 6);
            string_to_lower(after);
            if (after != "global") return;
        }
        erase_prefix_head(path, at);
        return;
    }
    at = path.find(kDevicePrefix);
    if (at == std::string::npos) return;
    if (keep_drive_form && path.size() >= kDriveColumn + 1 && drive_follows(path, at)) return;
    erase_prefix_head(path, at);
}
