// Timestamps that reach qm::time from raw bytes or broken-down records: version-1 GUIDs, 16-byte blocks
// with an embedded FILETIME, and scans of a byte buffer for plausible times. The qm::time members that do
// this are declared in qm_time.h and defined in time_setters.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "time/qm_time.h"

// FILETIME of a version-1 GUID (16 bytes in Windows order at `guid`). Outputs are cleared first; false
// unless the version nibble is 1 and the timestamp is not before 1601. Reads exactly 16 bytes.
bool guid_v1_to_filetime(std::uint64_t& filetime, std::uint16_t& clock_sequence,
                         std::vector<unsigned char>& node, const unsigned char* guid);
// As above on the 16 bytes of `bytes` from `offset` (or, at offset 0, after one leading '{' byte). False
// when fewer than 16 bytes are there; never reads past the vector.
bool guid_bytes_to_filetime(std::uint64_t& filetime, std::uint16_t& clock_sequence,
                            std::vector<unsigned char>& node, const std::vector<unsigned char>& bytes,
                            std::uint32_t offset);
// A 16-byte block: u32 a, u32 b, u64 FILETIME. True, with a and b, when the FILETIME gives a valid time;
// else filetime = 0 and false.
bool embedded_filetime_block(std::uint64_t& filetime, std::uint32_t& b, std::uint32_t& a,
                             const unsigned char* block);

// Every u32 of the buffer (at each byte offset) read as Unix seconds; valid times are appended with their
// offsets. False for a null buffer or fewer than 8 bytes.
bool scan_buffer_for_unix_seconds(const unsigned char* buffer, std::uint64_t length,
                                  std::vector<qm::time>& times, std::vector<std::uint64_t>& offsets);
// Every u64 of the buffer read as signed Unix seconds, then as FILETIME; each valid reading is appended
// (an offset may appear twice). False for a null buffer or fewer than 8 bytes.
bool scan_buffer_for_unix_or_filetime(const unsigned char* buffer, std::uint64_t length,
                                      std::vector<qm::time>& times, std::vector<std::uint64_t>& offsets);
