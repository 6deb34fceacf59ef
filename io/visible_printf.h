// printf-style formatting for the message layer (console and diagnostics log) in which every text argument
// (%s, %c) has its control bytes made visible (show_control_bytes), so that a path or a value from a
// database never writes a raw ESC, line break or other control byte to the terminal or the log. The format
// itself is the program's own and is kept as it stands, line ends and all.
#pragma once

#include <cstdarg>
#include <string>

// out = the formatted text (replaced). false when the format is null or a conversion cannot be formatted;
// out then holds what was formatted before it.
bool format_visible(std::string& out, const char* format, va_list args);
