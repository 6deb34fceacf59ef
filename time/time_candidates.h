// Plausible readings of raw bytes as a timestamp of unknown kind. Each reading that gives a valid time
// inside a FILETIME window becomes a time_stats record in a multimap keyed by the value's offset, so one
// offset may carry several readings (Unix seconds and Safari seconds, say). qm::time::guess_from_unsigned
// is declared in qm_time.h and defined in time_candidates.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "time/qm_time.h"

// One plausible reading of a raw value as a time.
struct time_stats {
    std::vector<unsigned char>
        bytes;                    // the raw value: in stored order when read little-endian, else reversed
    std::uint64_t filetime;       // the reading as FILETIME
    std::uint64_t offset;         // where the value was found
    std::uint32_t kind;           // qm::type_time of the reading
    std::uint32_t little_endian;  // 1 when read little-endian
    std::uint32_t size;           // 4, 8 or 16

    time_stats();
    // Copies `size` bytes of *value, in memory order when little_endian is non-zero, else reversed. A null
    // value leaves the record empty (little_endian 1, the numbers 0).
    time_stats(const void* value, std::uint64_t filetime, std::uint64_t offset, std::uint32_t kind,
               std::uint32_t little_endian, std::uint32_t size);
    // bytes emptied, the numbers 0, little_endian 1.
    void clear();
};

using time_candidate_map = std::multimap<std::uint64_t, time_stats>;

// Tries every kind of `mask` that suits the value's size (8 bytes when above 2^32 - 1, else 4) and records
// each reading whose time is valid and within [min_filetime, max_filetime] under `offset`. True when this
// call recorded something. The map is emptied first when clear_first is set.
bool test_time_candidates(time_candidate_map& map, std::uint64_t value, std::int64_t max_filetime,
                          std::uint64_t min_filetime, std::uint64_t offset, int little_endian,
                          bool clear_first, std::uint32_t mask);
// The 16 bytes as a version-1 GUID, or else as a block with an embedded FILETIME; one kind-128 record.
bool test_guid_candidate(time_candidate_map& map, const unsigned char* bytes16, std::int64_t max_filetime,
                         std::int64_t min_filetime, std::uint64_t offset, bool clear_first);
// A snowflake identifier; one kind-0x20000 record.
bool test_snowflake_candidate(time_candidate_map& map, const std::int64_t* value, std::int64_t max_filetime,
                              std::uint64_t min_filetime, std::uint64_t offset, bool clear_first);
// A double of OLE days; one kind-256 record holding the double's bytes. A non-finite value is no time.
bool test_ole_candidate(time_candidate_map& map, std::int64_t max_filetime, std::uint64_t min_filetime,
                        std::uint64_t offset, bool clear_first, double value);
// The 16 bytes as a SYSTEMTIME, then in reversed order; each plausible reading one kind-512 record of
// size 16 whose bytes are in stored order (little_endian 1 for the first reading, 0 for the reversed one).
bool test_systemtime_candidates(time_candidate_map& map, const unsigned char* bytes16,
                                std::uint64_t max_filetime, std::int64_t min_filetime, std::uint64_t offset,
                                bool clear_first);
// Offsets (base_offset + slot x 8) of the little-endian u64 slots whose value lies in [min_value,
// max_value]; after a hit the walk moves on record_size bytes, else one slot. False for a null buffer, a
// length below 8 or a record_size that is 0 or not a multiple of 8; else true when something was found.
bool scan_buffer_for_filetimes_in_range(std::vector<std::uint64_t>& offsets, const unsigned char* buffer,
                                        int length, std::uint64_t base_offset, std::uint64_t min_value,
                                        std::uint64_t max_value, int record_size);
