// Windows release names and version classes from the version and build numbers found in artefacts, the
// host's facts (os_version_info of common/host_facts.h) as labelled lines, and the wide form of the
// long-path prefix removal (the narrow form is strip_long_path_prefix in io/path_prefixes.h).
//
// Version classes: 1 not recognised, 2 the 9x family, 16 NT4, 17 Windows 2000, 256-258 XP, 260-262 2003
// and XP 64-bit, 4096-4104 Vista and 2008, 4112-4120 Windows 7 and 2008 R2, 4128-4130 Windows 8 and 2012,
// 4136-4138 Windows 8.1 and 2012 R2, 4144-4146 Windows 10 and 2016, 22000 later than Windows 10. Within a
// family the base code is the workstation form, base + 1 the server form, base + 2 the form naming both.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "common/host_facts.h"

// out = the short name of a build number, taken as unsigned 16-bit: 2600 "WinXP", 2601-3790 "Win03",
// 3791-6002 "Vista", 6003-7601 "Win7", 7602-9600 "Win8", 9601-19045 "Win10", everything else (from 19046,
// and below 2600) "post Win10". Returns out.
std::string& windows_build_name(std::string& out, std::uint32_t build);

// The version class of a build number: 2600 256, 2601-3790 260, 3791-6002 4096, 6003-7601 4112,
// 7602-9600 4128, 9601-19044 4144, any other number below 22000 1, from 22000 on 22000.
std::uint32_t windows_build_class(std::uint32_t build);

// The name and version class of platform id (2 is the NT platform; any other gives "Win9x" and 2), major
// and minor version. out starts as "<unk>" (class 1) and becomes the name when one is known. Without
// server_family the base code results; with it, base + 1 when neither ambiguous flag is set, else base + 2
// with the server name appended (" or Win2008" and so on). For 6.0 and 6.1 a non-zero build refines the
// code (6001 / 7601 give 4100, 4103, 4104 / 4116, 4119, 4120; other builds 4099, 4101, 4102 / 4115, 4117,
// 4118).
std::uint32_t windows_version_name(std::string& out, std::uint32_t platform_id, std::uint32_t major,
                                   std::uint32_t minor, bool server_family, bool ambiguous_a,
                                   bool ambiguous_b, std::uint32_t build);
// windows_version_name with ambiguous_b set and build 0: server_family always names both forms.
std::uint32_t windows_version_name_simple(std::string& out, std::uint32_t platform_id, std::uint32_t major,
                                          std::uint32_t minor, bool server_family);

// Writes "os       : " name, "nodename : " node name (only when not empty), "version  : " version,
// "build    : " release and "machine  : " "64 bit" or "32 bit", one line each.
void write_system_info(const os_version_info& info, std::ostream& os);

// Removes the first three characters of a "\\?\" (else "\\.\") prefix, leaving one backslash. With
// keep_drive_form a prefix followed by a drive letter and ':' stays; otherwise, with shadow_copy_form, a
// "\\?\" path of 47 characters or more is stripped only when "global" (any case) follows the prefix.
// Paths without a prefix stay. Never looks past the end of the path.
void strip_long_path_prefix_wide(std::wstring& path, bool keep_drive_form, bool shadow_copy_form);
