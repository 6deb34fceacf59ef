// Path of the running executable.
#pragma once

#include <cstdint>

// Copies the absolute path of the running executable, NUL-terminated, into `buffer` of *size bytes.
// Returns 0 on success. When the buffer is too small, *size receives the bytes needed (path plus NUL)
// and the result is -1; -1 also when the path cannot be read or an argument is null. Never writes more
// than *size bytes.
int platform_executable_path(char* buffer, std::uint32_t* size);
