// Windows path prefixes met in artefacts: the volume shadow copy device prefix and the long-path
// ("\\?\") and device ("\\.\") prefixes. All text is narrow; backslash is the separator.
#pragma once

#include <string>

// "\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy" with the root part, "\Device\HarddiskVolumeShadowCopy"
// without it; lower-cased when asked. The shadow copy number that follows it in a path is not included.
std::string shadow_copy_prefix(bool lower_case, bool with_root);

// The one normal form of a Windows path met in an artefact: command-line arguments cut off (" /..." and
// " -k ..."), the first system-root placeholder replaced by windows_folder, "%vss%" by the shadow copy
// prefix, the NT object prefix removed, everything lower-cased, and a path that starts with "system32"
// put under windows_folder (which keeps its own case). 1; 0 with an empty out for a null raw path.
int normalize_windows_path(const char* raw_path, std::string& out, const char* windows_folder);

// Removes the first three characters of a "\\?\" (else "\\.\") prefix, leaving one backslash. With
// keep_drive_form a prefix followed by a drive ("\\?\C:") stays; with shadow_copy_form a "\\?\" path of
// 47 characters or more is stripped only when "global" follows the prefix. Paths without a prefix stay.
void strip_long_path_prefix(std::string& path, bool keep_drive_form, bool shadow_copy_form);
