// Positioned reads of a descriptor: the one loop through which the readers of a file take its bytes.
#pragma once

#include <cstdint>

// Reads `length` bytes at `offset` of the descriptor `fd` into `out` with positioned reads, which leave the
// descriptor's offset alone, so that any number of threads may read one descriptor. A call a signal
// interrupted is made again, and a short one is followed by another for the rest, until every byte arrived
// or the file has no more (it ends there, or shrank since it was measured). *got receives the bytes that
// arrived, also on failure; nothing is written past `out + length`. Returns 0, or -1 with errno set when a
// read failed or the range passes the largest file offset; -1 (EINVAL) also for a null `got`, or a null
// `out` with a length.
int platform_read_at(int fd, void* out, std::uint64_t length, std::uint64_t offset, std::uint64_t* got);
