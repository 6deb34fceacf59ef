// Standard file streams that also take their file name as a wide string, as UTF-8 bytes or as UTF-16
// little-endian bytes. Every form becomes the narrow path bytes the standard stream opens; apart from that
// they behave exactly as std::ofstream and std::ifstream.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace uni {

// A file name held as UTF-16 little-endian bytes, told apart from one held as UTF-8 bytes.
struct utf16le_name {
    std::vector<std::uint8_t> bytes;  // the units, low byte first
};

// The narrow path of each name form: wide and UTF-16 names by the byte-preserving path conversion (an
// empty name when a UTF-16 name is shorter than 2 bytes), UTF-8 bytes unchanged.
std::string narrow_file_name(const std::wstring& name);
std::string narrow_file_name(const std::vector<std::uint8_t>& utf8_name);
std::string narrow_file_name(const utf16le_name& name);

class ofstream : public std::ofstream {
  public:
    ofstream();
    ofstream(const std::string& name, std::ios_base::openmode mode);
    ofstream(const std::wstring& name, std::ios_base::openmode mode);
    ofstream(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode);
    ofstream(const utf16le_name& name, std::ios_base::openmode mode);
    ~ofstream() override;

    using std::ofstream::open;
    void open(const std::string& name, std::ios_base::openmode mode);
    void open(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode);
    // The wide and UTF-16 forms always open for writing with truncation.
    void open(const std::wstring& name);
    void open(const utf16le_name& name);
};

class ifstream : public std::ifstream {
  public:
    ifstream();
    ifstream(const std::wstring& name, std::ios_base::openmode mode);
    ifstream(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode);
    ifstream(const utf16le_name& name, std::ios_base::openmode mode);
    ~ifstream() override;

    using std::ifstream::open;
    void open(const std::vector<std::uint8_t>& utf8_name, std::ios_base::openmode mode);
    void open(const utf16le_name& name, std::ios_base::openmode mode);
};

// A marker class of which one program-wide instance exists.
class utf8_locale {
  public:
    utf8_locale();
    virtual ~utf8_locale();

    std::uint32_t first;   // 0 after construction
    std::uint32_t second;  // 0 after construction
};

extern const std::string file_streams_newline;  // "\n"
extern const std::string file_streams_empty;    // ""
extern utf8_locale global_utf8_locale;          // the one instance

}  // namespace uni
