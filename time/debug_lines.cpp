#include "time/debug_lines.h"

#include <iomanip>
#include <sstream>

#include "time/qm_time.h"
#include "time/time_text.h"

namespace {

// Offset, " : ", label and ": ": the part every line shares. Leaves the stream in hex with fill '0'.
void write_line_head(std::ostream& os, const char* label, unsigned long long offset, int width) {
    os << std::hex << std::right << std::setfill('0') << std::setw(8) << offset << " : ";
    os << std::left << std::setfill(' ') << std::setw(width < 0 ? 0 : width) << label << ": ";
    os << std::setfill('0');
}

void write_line_tail(std::ostream& os, const char* comment) {
    if (comment != nullptr) os << " [" << comment << "]";
    os << std::endl;
}

template <class T>
unsigned write_number_line(std::ostream& os, const char* label, T value, unsigned long long offset, int width,
                           const char* comment, unsigned long size) {
    if (label == nullptr) return 0;
    const unsigned long bytes = size != 0 ? size : sizeof(T);
    write_line_head(os, label, offset, width);
    os << std::right << std::setw(static_cast<int>(2 * bytes)) << value;
    write_line_tail(os, comment);
    return static_cast<unsigned>(bytes);
}

std::string time_comment(const qm::time& t) {
    std::ostringstream text;
    write_time(text, t);
    return text.str();
}

std::string dos_comment(std::uint32_t dos) {
    const unsigned short words[2] = {static_cast<unsigned short>(dos & 0xFFFF),
                                     static_cast<unsigned short>(dos >> 16)};
    return time_comment(qm::time(words, true));
}

std::string filetime_comment(std::uint64_t filetime) {
    return time_comment(qm::time(static_cast<unsigned long long>(filetime), qm::type_filetime));
}

}  // namespace

unsigned debug_output(std::ostream& os, const char* label, const std::string& value,
                      unsigned long long offset, int width, const char* comment, unsigned long size) {
    if (label == nullptr) return 0;
    write_line_head(os, label, offset, width);
    os << value;
    write_line_tail(os, comment);
    return static_cast<unsigned>(size != 0 ? size : 8);
}

unsigned debug_output(std::ostream& os, const char* label, unsigned long long value,
                      unsigned long long offset, int width, const char* comment, unsigned long size) {
    return write_number_line(os, label, value, offset, width, comment, size);
}

unsigned debug_output(std::ostream& os, const char* label, unsigned int value, unsigned long long offset,
                      int width, const char* comment, unsigned long size) {
    return write_number_line(os, label, value, offset, width, comment, size);
}

unsigned debug_dos_time_line_to(std::ostream* os, const char* label, std::uint32_t dos,
                                unsigned long long offset, int width) {
    if (os == nullptr) return 0;
    const std::string comment = dos_comment(dos);
    return debug_output(*os, label, static_cast<unsigned int>(dos), offset, width, comment.c_str(), 0);
}

unsigned debug_dos_time_line(const debug_sink& sink, const char* label, std::uint32_t dos,
                             unsigned long long offset, int width) {
    if (!sink.enabled) return 0;
    return debug_dos_time_line_to(sink.stream, label, dos, offset, width);
}

unsigned debug_filetime_line_to(std::ostream* os, const char* label, std::uint64_t filetime,
                                unsigned long long offset, int width) {
    if (os == nullptr) return 0;
    const std::string comment = filetime_comment(filetime);
    return debug_output(*os, label, static_cast<unsigned long long>(filetime), offset, width, comment.c_str(),
                        0);
}

unsigned debug_filetime_line(const debug_sink& sink, const char* label, std::uint64_t filetime,
                             unsigned long long offset, int width) {
    if (!sink.enabled) return 0;
    return debug_filetime_line_to(sink.stream, label, filetime, offset, width);
}
