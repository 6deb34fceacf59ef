#include "io/file_streams.h"

#include "common/encoding.h"
#include "platform/path_text.h"

namespace uni {

std::string narrow_file_name(const std::wstring& name) { return wide_to_path(name); }

std::string narrow_file_name(const std::vector<std::uint8_t>& utf8_name) {
    return bytes_to_string(utf8_name);
}

std::string narrow_file_name(const utf16le_name& name) { return utf16le_bytes_to_path(name.bytes); }

// An empty name is handed on too, so that the standard stream fails to open it and shows why.
ofstream::ofstream() = default;

ofstream::ofstream(const std::string& name, std::ios_base::openmode mode) : std::ofstream(name, mode) {}

ofstream::ofstream(const std::wstring& name, std::ios_base::openmode mode)
    : std::ofstream(narrow_file_name(name), mode) {}

ofstream::ofstream(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode)
    : std::ofstream(narrow_file_name(utf8_name), mode) {}

ofstream::ofstream(const utf16le_name& name, std::ios_base::openmode mode)
    : std::ofstream(narrow_file_name(name), mode) {}

ofstream::~ofstream() = default;

void ofstream::open(const std::string& name, std::ios_base::openmode mode) {
    std::ofstream::open(name, mode);
}

void ofstream::open(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode) {
    std::ofstream::open(narrow_file_name(utf8_name), mode);
}

void ofstream::open(const std::wstring& name) {
    std::ofstream::open(narrow_file_name(name), std::ios_base::out | std::ios_base::trunc);
}

void ofstream::open(const utf16le_name& name) {
    std::ofstream::open(narrow_file_name(name), std::ios_base::out | std::ios_base::trunc);
}

ifstream::ifstream() = default;

ifstream::ifstream(const std::wstring& name, std::ios_base::openmode mode)
    : std::ifstream(narrow_file_name(name), mode) {}

ifstream::ifstream(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode)
    : std::ifstream(narrow_file_name(utf8_name), mode) {}

ifstream::ifstream(const utf16le_name& name, std::ios_base::openmode mode)
    : std::ifstream(narrow_file_name(name), mode) {}

ifstream::~ifstream() = default;

void ifstream::open(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode) {
    std::ifstream::open(narrow_file_name(utf8_name), mode);
}

void ifstream::open(const utf16le_name& name, std::ios_base::openmode mode) {
    std::ifstream::open(narrow_file_name(name), mode);
}

utf8_locale::utf8_locale() : first(0), second(0) {}

utf8_locale::~utf8_locale() = default;

const std::string file_streams_newline = "\n";
const std::string file_streams_empty;
utf8_locale global_utf8_locale;

}  // namespace uni
