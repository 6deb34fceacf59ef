// Debug lines that show one field of a parsed structure: its offset, a label, the value and an optional
// bracketed comment, e.g. "00000010 : size        : 0000001f [note]". The DOS and FILETIME forms add the
// date of the value as the comment.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// Where debug lines go: written only when a stream is set and the flag is on.
struct debug_sink {
    std::ostream* stream = nullptr;  // not owned
    bool enabled = false;
};

// Writes the offset (8 hex digits), " : ", the label left-aligned in a blank field of `width`, ": ", the
// value, " [comment]" when a comment is given, and a line end (flushed). A string value stands as it is;
// a number is hexadecimal, zero-filled to 2 x (size, or the size of the value's type when size is 0)
// digits. The stream is left in hexadecimal mode with fill '0'. Returns size, or when size is 0 the value
// type's size (8; 4 for unsigned int). A null label writes nothing and returns 0.
unsigned debug_output(std::ostream& os, const char* label, const std::string& value,
                      unsigned long long offset, int width, const char* comment, unsigned long size);
unsigned debug_output(std::ostream& os, const char* label, unsigned long long value,
                      unsigned long long offset, int width, const char* comment, unsigned long size);
unsigned debug_output(std::ostream& os, const char* label, unsigned int value, unsigned long long offset,
                      int width, const char* comment, unsigned long size);
// std::uint64_t is unsigned long here: it takes the unsigned long long form, never an ambiguous call.
inline unsigned debug_output(std::ostream& os, const char* label, unsigned long value,
                             unsigned long long offset, int width, const char* comment, unsigned long size) {
    return debug_output(os, label, static_cast<unsigned long long>(value), offset, width, comment, size);
}

// A 32-bit DOS date/time: its low half as the FAT date word and its high half as the time word, the
// comment being the "yyyy-mm-dd hh:mm:ss.mmm" text of that pair. The result is debug_output's, or 0 when
// nothing is written (no stream, sink off).
unsigned debug_dos_time_line(const debug_sink& sink, const char* label, std::uint32_t dos,
                             unsigned long long offset, int width);
unsigned debug_dos_time_line_to(std::ostream* os, const char* label, std::uint32_t dos,
                                unsigned long long offset, int width);
// A FILETIME with the text of its date as the comment.
unsigned debug_filetime_line_to(std::ostream* os, const char* label, std::uint64_t filetime,
                                unsigned long long offset, int width);
unsigned debug_filetime_line(const debug_sink& sink, const char* label, std::uint64_t filetime,
                             unsigned long long offset, int width);
