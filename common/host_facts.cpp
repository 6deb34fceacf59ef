#include "common/host_facts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "common/case_conv.h"
#include "common/text_rewrite.h"
#include "platform/exe_path.h"
#include "platform/file_status.h"
#include "platform/path_text.h"
#include "platform/volume_facts.h"

namespace {

// The name reported before uname has answered: the system this program runs on.
constexpr const char* kDefaultOsName = "Linux";

std::string escaped(const std::string& text, const std::string& separator, const std::string& replacement) {
    std::string out;
    replace_all(out, text, separator, replacement);
    // replace_all leaves the output empty for an empty pattern; the text then stands as it is.
    if (out.empty() && separator.empty()) out = text;
    return out;
}

// The path from the platform into a buffer of `buffer_size` bytes of which `offered` are offered.
std::string executable_path_in(std::size_t buffer_size, std::uint32_t offered) {
    std::vector<char> buf;
    try {
        buf.assign(buffer_size, '\0');
    } catch (const std::exception&) {
        return std::string();
    }
    std::uint32_t size = offered;
    if (platform_executable_path(buf.data(), &size) < 0) return std::string();
    return std::string(buf.data());
}

}  // namespace

os_version_info::os_version_info() { clear(); }

void os_version_info::clear() {
    valid = false;
    is_64bit = false;
    name.clear();
    version.clear();
    release.clear();
    node_name.clear();
    short_release = false;
    program_path.clear();
    program_name.clear();
    file_id = 0;
    note.clear();
    on_nonlocal_volume = false;
    on_removable_media = false;
}

int get_os_version_info(os_version_info& info, const std::string& program_path) {
    info.clear();
    info.name = kDefaultOsName;
    struct utsname u {};
    if (uname(&u) != 0) {
        info.valid = false;
        return 0;
    }
    info.name = u.sysname;
    info.version = u.version;
    info.release = u.release;
    info.node_name = u.nodename;
    std::string machine = u.machine;
    string_to_lower(machine);
    info.is_64bit = machine.find("64") != std::string::npos;
    info.program_path = program_path;
    const std::size_t slash = program_path.rfind('/');
    if (slash != std::string::npos) {
        const std::string file = program_path.substr(slash + 1);
        const std::size_t underscore = file.find('_');
        if (underscore != std::string::npos) info.program_name = file.substr(0, underscore);
    }
    info.on_removable_media = is_exe_on_removable_media();
    info.on_nonlocal_volume = is_exe_on_nonlocal_volume();
    info.valid = true;
    return 1;
}

void write_os_version_info(const os_version_info& info, std::ostringstream& out, const std::string& separator,
                           const std::string& replacement, bool with_node_name, bool with_program_path) {
    out << escaped(info.name, separator, replacement) << separator;
    if (with_node_name) out << escaped(info.node_name, separator, replacement) << separator;
    out << escaped(info.version, separator, replacement) << separator;
    std::string release = info.release;
    if (info.short_release) {
        const std::size_t dot = release.rfind('.');
        // Cut to one character after the last '.' when at least two follow it (10.15 becomes 10.1).
        if (dot != std::string::npos && release.size() - dot - 1 >= 2) release.erase(dot + 2);
    }
    out << escaped(release, separator, replacement) << separator;
    out << (info.is_64bit ? "64" : "32");
    if (with_program_path && !info.program_path.empty()) {
        std::string lowered = info.program_path;
        string_to_lower(lowered);
        out << separator << lowered;
    }
    if (info.file_id != 0) out << separator << std::hex << info.file_id;
}

std::string get_executable_path() { return executable_path_in(2048, 2047); }

std::wstring get_executable_path_wide() {
    const std::string path = executable_path_in(4096, 1023);
    return path_to_wide(path);
}

std::string get_host_name() {
    std::string name = "<unk>";
    std::vector<char> buf(4096, '\0');
    if (gethostname(buf.data(), buf.size() - 1) != -1) name = buf.data();
    return name;
}

bool is_exe_on_nonlocal_volume() {
    const std::string path = get_executable_path();
    if (path.size() < 2) return false;
    bool local = true;
    if (platform_is_local_volume(path.c_str(), &local) != 0) return false;
    return !local;
}

bool is_exe_on_removable_media() {
    const std::string path = get_executable_path();
    if (path.size() < 2) return false;
    stat_record st;
    if (platform_lstat(path.c_str(), &st) != 0) return false;
    bool removable = false;
    if (platform_is_removable_device(st.device, &removable) != 0) return false;
    return removable;
}

int windows_version_code(std::string& text) {
    string_to_lower(text);
    struct entry {
        const char* name;
        int code;
    };
    static const entry kCodes[] = {{"win10", 4144}, {"win8.1", 4136}, {"win8", 4128},
                                   {"win7", 4112},  {"vista", 4096},  {"win03", 260},
                                   {"winxp", 256},  {"win2k", 17},    {"nt4", 16}};
    for (const entry& e : kCodes) {
        if (text.find(e.name) != std::string::npos) return e.code;
    }
    return 1;
}
