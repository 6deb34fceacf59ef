#include "common/windows_versions.h"

#include "common/text_ops.h"

namespace {

constexpr std::uint32_t kNtPlatform = 2;
constexpr std::uint32_t kUnknownClass = 1;
constexpr std::uint32_t kWin9xClass = 2;
constexpr std::uint32_t kPostWin10Class = 22000;

// One NT release: its name, its three codes (workstation, server, both) and the server name that the
// "both" form appends (empty: nothing appended).
struct release_entry {
    const char* name;
    std::uint32_t codes[3];
    const char* server_name;
};

const release_entry kNt4 = {"NT4", {16, 16, 16}, ""};
const release_entry kWin2k = {"Win2k", {17, 17, 17}, ""};
const release_entry kWinXp = {"WinXP", {256, 257, 258}, ""};
const release_entry kWin03 = {"Win03", {260, 261, 262}, " or WinXP64"};
const release_entry kVista = {"Vista", {4096, 4097, 4098}, " or Win2008"};
const release_entry kWin7 = {"Win7", {4112, 4113, 4114}, " or Win2008/R2"};
const release_entry kWin8 = {"Win8", {4128, 4129, 4130}, " or Win2012/R1"};
const release_entry kWin81 = {"Win8.1", {4136, 4137, 4138}, " or Win2012/R2"};
const release_entry kWin10 = {"Win10", {4144, 4145, 4146}, " or Win2016"};
const release_entry kPostWin10 = {"Post Win10", {kPostWin10Class, kPostWin10Class, kPostWin10Class}, ""};

// Service-pack refinements of 6.0 and 6.1: the named build, then any other non-zero build.
const std::uint32_t kVistaSp1Codes[3] = {4100, 4103, 4104};
const std::uint32_t kVistaOtherCodes[3] = {4099, 4101, 4102};
const std::uint32_t kWin7Sp1Codes[3] = {4116, 4119, 4120};
const std::uint32_t kWin7OtherCodes[3] = {4115, 4117, 4118};

const release_entry* find_release(std::uint32_t major, std::uint32_t minor) {
    switch (major) {
        case 4:
            return &kNt4;
        case 5:
            if (minor == 0) return &kWin2k;
            if (minor == 1) return &kWinXp;
            if (minor == 2) return &kWin03;
            return nullptr;
        case 6:
            if (minor == 0) return &kVista;
            if (minor == 1) return &kWin7;
            if (minor == 2) return &kWin8;
            if (minor == 3) return &kWin81;
            return nullptr;
        case 10:
            return minor == 0 ? &kWin10 : &kPostWin10;
        default:
            return nullptr;
    }
}

const std::uint32_t* refined_codes(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    if (build == 0 || major != 6) return nullptr;
    if (minor == 0) return build == 6001 ? kVistaSp1Codes : kVistaOtherCodes;
    if (minor == 1) return build == 7601 ? kWin7Sp1Codes : kWin7OtherCodes;
    return nullptr;
}

}  // namespace

std::string& windows_build_name(std::string& out, std::uint32_t build) {
    const std::uint16_t b = static_cast<std::uint16_t>(build);
    if (b == 2600) {
        out = "WinXP";
    } else if (b > 2600 && b <= 3790) {
        out = "Win03";
    } else if (b > 3790 && b <= 6002) {
        out = "Vista";
    } else if (b > 6002 && b <= 7601) {
        out = "Win7";
    } else if (b > 7601 && b <= 9600) {
        out = "Win8";
    } else if (b > 9600 && b <= 19045) {
        out = "Win10";
    } else {
        // From 19046 on, and also below 2600: no range names those, and they share the last case.
        out = "post Win10";
    }
    return out;
}

std::uint32_t windows_build_class(std::uint32_t build) {
    if (build >= kPostWin10Class) return kPostWin10Class;
    if (build == 2600) return 256;
    if (build > 2600 && build <= 3790) return 260;
    if (build > 3790 && build <= 6002) return 4096;
    if (build > 6002 && build <= 7601) return 4112;
    if (build > 7601 && build <= 9600) return 4128;
    if (build > 9600 && build <= 19044) return 4144;
    return kUnknownClass;
}

std::uint32_t windows_version_name(std::string& out, std::uint32_t platform_id, std::uint32_t major,
                                   std::uint32_t minor, bool server_family, bool ambiguous_a,
                                   bool ambiguous_b, std::uint32_t build) {
    out = "<unk>";
    if (platform_id != kNtPlatform) {
        out = "Win9x";
        return kWin9xClass;
    }
    const release_entry* release = find_release(major, minor);
    if (release == nullptr) return kUnknownClass;
    out = release->name;
    const std::uint32_t* codes = refined_codes(major, minor, build);
    if (codes == nullptr) codes = release->codes;
    if (!server_family) return codes[0];
    if (!ambiguous_a && !ambiguous_b) return codes[1];
    out += release->server_name;
    return codes[2];
}

std::uint32_t windows_version_name_simple(std::string& out, std::uint32_t platform_id, std::uint32_t major,
                                          std::uint32_t minor, bool server_family) {
    return windows_version_name(out, platform_id, major, minor, server_family, false, true, 0);
}

void write_system_info(const os_version_info& info, std::ostream& os) {
    os << "os       : " << info.name << "\n";
    if (!info.node_name.empty()) os << "nodename : " << info.node_name << "\n";
    os << "version  : " << info.version << "\n";
    os << "build    : " << info.release << "\n";
    os << "machine  : " << (info.is_64bit ? "64 bit" : "32 bit") << "\n";
}

void strip_long_path_prefix_wide(std::wstring& path, bool keep_drive_form, bool shadow_copy_form) {
    const std::size_t prefix_length = 4;
    // The drive test looks just after a drive letter that follows the prefix.
    const std::size_t drive_column = prefix_length + 1;
    const std::size_t shadow_path_min = 47;
    auto drive_follows = [&](std::size_t prefix_at) {
        const std::size_t at = prefix_at + drive_column;
        return at < path.size() && path[at] == L':';
    };

    std::size_t at = path.find(L"\\\\?\\");
    if (at != std::wstring::npos) {
        if (keep_drive_form && path.size() > drive_column) {
            if (drive_follows(at)) return;
        } else if (shadow_copy_form && path.size() >= shadow_path_min) {
            std::wstring after = path.substr(at + prefix_length, 6);
            wstring_to_lower(after);
            if (after != L"global") return;
        }
        path.erase(at, prefix_length - 1);
        return;
    }
    at = path.find(L"\\\\.\\");
    if (at == std::wstring::npos) return;
    if (keep_drive_form && path.size() >= drive_column + 1 && drive_follows(at)) return;
    path.erase(at, prefix_length - 1);
}
