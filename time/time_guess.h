// Finding plausible readings of raw values whose time kind is not recorded: guess_time_kind picks the
// first kind under which one 64-bit value falls between 1 January of two years (the page parser uses it
// on integer cells), and the buffer scanners test every position of a buffer under every enabled kind
// and byte order and print each hit as one line.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "time/time_candidates.h"

// The state of a scan driven through scan_buffer_callback.
struct time_scan_context {
    std::ostream* os = nullptr;      // where hits are printed (null: counted only)
    std::uint64_t min_filetime = 0;  // window of plausible FILETIMEs
    std::uint64_t max_filetime = 0;
    std::uint32_t kind_mask = 0;  // kinds to try
    std::uint32_t hits = 0;       // running count of hits
};

// Both outputs 0 first (either may be null). False for a value below 0x1000000. Otherwise the value is
// tried as stored, then byte-swapped, under FILETIME, Chrome, Firefox, Unix seconds, NTP, Safari and
// HFS+; true with the FILETIME and kind of the first reading between 1 January of the two years (given in
// either order). The last argument has no effect.
bool guess_time_kind(std::uint64_t* filetime, std::uint32_t* kind, std::uint64_t value,
                     std::uint32_t year_from, std::uint32_t year_to, std::uint32_t unused);
bool guess_time_kind_filetime(std::uint64_t* filetime, std::uint64_t value, std::uint32_t year_from,
                              std::uint32_t year_to, std::uint32_t unused);

// Tests every position of buf (4-byte and 8-byte values in both byte orders, doubles, GUIDs, SYSTEMTIMEs,
// snowflakes, as kind_mask enables them) for a reading within [min_ft, max_ft]; prints each reading with
// print_time_stats to os (when not null) in ascending offset order. Returns the number of readings. Never
// reads past len bytes.
int scan_buffer_for_times(std::ostream* os, const std::uint8_t* buf, int len, std::uint64_t min_ft,
                          std::uint64_t max_ft, std::uint64_t base_offset, std::uint32_t kind_mask);
// As above, then the varint at the buffer's start (most and least significant group first) scanned as an
// 8-byte value, its hits under "Variable int BE" / "Variable int LE". The total of all hits.
int scan_buffer_for_times_with_varints(std::ostream* os, const std::uint8_t* buf, int len,
                                       std::uint64_t min_ft, std::uint64_t max_ft, std::uint64_t base_offset,
                                       std::uint32_t kind_mask);
int scan_vector_for_times(std::ostream* os, const std::vector<std::uint8_t>& bytes, std::uint64_t min_ft,
                          std::uint64_t max_ft, std::uint64_t base_offset, std::uint32_t kind_mask);
int scan_vector_for_times_with_varints(std::ostream* os, const std::vector<std::uint8_t>& bytes,
                                       std::uint64_t min_ft, std::uint64_t max_ft, std::uint64_t base_offset,
                                       std::uint32_t kind_mask);
// -1 for a null buffer, length 0 or a null context; else adds the hits of scan_buffer_for_times (with the
// context's stream, window and mask) to ctx->hits and returns 0. The first and fifth arguments have no
// effect.
int scan_buffer_callback(void* unused, time_scan_context* ctx, const std::uint8_t* buf, std::uint32_t len,
                         std::uint64_t unused_value, std::uint64_t base_offset);
// One line: offset (hex, 6 digits at least), LE/BE, kind name padded to 10, date and time with nine
// fraction digits and " UTC" (" LOC" for DOS time), then the raw bytes in hex.
void print_time_stats(const time_stats& s, std::ostream& os);
