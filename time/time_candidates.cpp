#include "time/time_candidates.h"

#include <algorithm>
#include <cstring>

#include "time/time_setters.h"

namespace {

bool plausible(const qm::time& t, std::int64_t max_ft, std::uint64_t min_ft) {
    return t.valid && t.filetime >= min_ft && static_cast<std::int64_t>(t.filetime) <= max_ft;
}

std::uint32_t bswap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// Builds the reading of `value` as `kind` and records it when plausible.
bool try_kind(time_candidate_map& map, const qm::time& t, std::uint64_t value, std::uint32_t kind,
              std::int64_t max_ft, std::uint64_t min_ft, std::uint64_t offset, int little_endian,
              std::uint32_t size) {
    if (!plausible(t, max_ft, min_ft)) return false;
    map.emplace(offset, time_stats(&value, t.filetime, offset, kind, little_endian != 0 ? 1 : 0, size));
    return true;
}

}  // namespace

time_stats::time_stats() : filetime(0), offset(0), kind(0), little_endian(1), size(0) {}

time_stats::time_stats(const void* value, std::uint64_t filetime_value, std::uint64_t offset_value,
                       std::uint32_t kind_value, std::uint32_t little_endian_value, std::uint32_t size_value)
    : time_stats() {
    if (value == nullptr) return;
    const unsigned char* p = static_cast<const unsigned char*>(value);
    bytes.assign(p, p + size_value);
    if (little_endian_value == 0) std::reverse(bytes.begin(), bytes.end());
    filetime = filetime_value;
    offset = offset_value;
    kind = kind_value;
    little_endian = little_endian_value;
    size = size_value;
}

void time_stats::clear() {
    bytes.clear();
    filetime = 0;
    offset = 0;
    kind = 0;
    little_endian = 1;
    size = 0;
}

bool test_time_candidates(time_candidate_map& map, std::uint64_t value, std::int64_t max_filetime,
                          std::uint64_t min_filetime, std::uint64_t offset, int little_endian,
                          bool clear_first, std::uint32_t mask) {
    if (clear_first) map.clear();
    const std::uint32_t size = value > 0xFFFFFFFFull ? 8 : 4;
    bool found = false;
    auto attempt = [&](std::uint32_t kind, const qm::time& t) {
        found |= try_kind(map, t, value, kind, max_filetime, min_filetime, offset, little_endian, size);
    };
    // A reading whose FILETIME lies outside the window cannot be plausible: most values are not times, and
    // they are turned away before a whole time value is built for them.
    auto in_window = [&](std::uint64_t ft) {
        return ft >= min_filetime && static_cast<std::int64_t>(ft) <= max_filetime;
    };
    // The reading of a kind is plausible when its FILETIME lies in the window and makes a valid time (Unix
    // kinds also refuse values of their own), as the time value of that kind would be.
    auto record = [&](std::uint32_t kind, std::uint64_t ft) {
        map.emplace(offset, time_stats(&value, ft, offset, kind, little_endian != 0 ? 1 : 0, size));
        found = true;
    };
    auto attempt_kind = [&](std::uint32_t kind) {
        if ((mask & kind) == 0) return;
        const std::uint64_t ft =
            qm::time::filetime_of(static_cast<unsigned long long>(value), static_cast<qm::type_time>(kind));
        if (!in_window(ft)) return;
        const bool refused = (kind == qm::type_unix && static_cast<std::int64_t>(value) < 1) ||
                             (kind == qm::type_unix_ms && value <= 999);
        if (refused || !qm::time::valid_filetime(ft)) return;
        record(kind, ft);
    };
    if (size == 8) {
        for (std::uint32_t kind : {qm::type_filetime, qm::type_chrome, qm::type_firefox}) attempt_kind(kind);
        if (mask & qm::type_ntp) {
            // Big-endian seconds since 1900 in the first four bytes, the fraction in the next four.
            const std::uint64_t seconds = bswap32(static_cast<std::uint32_t>(value));
            const std::uint64_t fraction = bswap32(static_cast<std::uint32_t>(value >> 32));
            const std::uint64_t ft =
                kFiletimeNtp + seconds * kTicksPerSecond + (fraction * kTicksPerSecond >> 32);
            if (in_window(ft) && qm::time::valid_filetime(ft)) record(qm::type_ntp, ft);
        }
        for (std::uint32_t kind : {qm::type_dotnet, qm::type_safari, qm::type_snowflake}) attempt_kind(kind);
    }
    for (std::uint32_t kind : {qm::type_unix, qm::type_unix_ms}) attempt_kind(kind);
    if (size == 4) {
        if (mask & qm::type_dos) {
            const unsigned short dos[2] = {static_cast<unsigned short>(value >> 16),
                                           static_cast<unsigned short>(value & 0xFFFF)};
            attempt(qm::type_dos, qm::time(dos, true));
        }
        for (std::uint32_t kind : {qm::type_hfs, qm::type_safari}) attempt_kind(kind);
    }
    return found;
}

bool test_guid_candidate(time_candidate_map& map, const unsigned char* bytes16, std::int64_t max_filetime,
                         std::int64_t min_filetime, std::uint64_t offset, bool clear_first) {
    if (clear_first) map.clear();
    if (bytes16 == nullptr) return false;
    std::uint64_t ft = 0;
    std::uint16_t clock_sequence = 0;
    std::vector<unsigned char> node;
    if (!guid_v1_to_filetime(ft, clock_sequence, node, bytes16)) {
        std::uint32_t a = 0, b = 0;
        if (!embedded_filetime_block(ft, b, a, bytes16)) return false;
    }
    const qm::time t(static_cast<unsigned long long>(ft), qm::type_filetime);
    const std::uint64_t min_ft = min_filetime < 0 ? 0 : static_cast<std::uint64_t>(min_filetime);
    if (!plausible(t, max_filetime, min_ft)) return false;
    map.emplace(offset, time_stats(bytes16, t.filetime, offset, qm::type_guid, 1, 16));
    return true;
}

bool test_snowflake_candidate(time_candidate_map& map, const std::int64_t* value, std::int64_t max_filetime,
                              std::uint64_t min_filetime, std::uint64_t offset, bool clear_first) {
    if (clear_first) map.clear();
    if (value == nullptr) return false;
    std::uint64_t ft = 0;
    snowflake_to_filetime(static_cast<std::uint64_t>(*value), ft);
    const qm::time t(static_cast<unsigned long long>(ft), qm::type_filetime);
    if (!plausible(t, max_filetime, min_filetime)) return false;
    map.emplace(offset, time_stats(value, t.filetime, offset, qm::type_snowflake, 1, 8));
    return true;
}

bool test_ole_candidate(time_candidate_map& map, std::int64_t max_filetime, std::uint64_t min_filetime,
                        std::uint64_t offset, bool clear_first, double value) {
    if (clear_first) map.clear();
    const qm::time t(value, qm::type_ole);
    if (!plausible(t, max_filetime, min_filetime)) return false;
    map.emplace(offset, time_stats(&value, t.filetime, offset, qm::type_ole, 1, 8));
    return true;
}

bool test_systemtime_candidates(time_candidate_map& map, const unsigned char* bytes16,
                                std::uint64_t max_filetime, std::int64_t min_filetime, std::uint64_t offset,
                                bool clear_first) {
    if (clear_first) map.clear();
    if (bytes16 == nullptr) return false;
    const std::int64_t max_ft =
        max_filetime > 0x7FFFFFFFFFFFFFFFull ? INT64_MAX : static_cast<std::int64_t>(max_filetime);
    const std::uint64_t min_ft = min_filetime < 0 ? 0 : static_cast<std::uint64_t>(min_filetime);
    const std::vector<unsigned char> stored(bytes16, bytes16 + 16);
    const std::vector<unsigned char> reversed(stored.rbegin(), stored.rend());
    bool found = false;
    const qm::time t1(stored, qm::type_systemtime);
    if (plausible(t1, max_ft, min_ft)) {
        map.emplace(offset, time_stats(stored.data(), t1.filetime, offset, qm::type_systemtime, 1, 16));
        found = true;
    }
    const qm::time t2(reversed, qm::type_systemtime);
    if (plausible(t2, max_ft, min_ft)) {
        // Handed over reversed with the flag clear, so the record holds the bytes as stored.
        map.emplace(offset, time_stats(reversed.data(), t2.filetime, offset, qm::type_systemtime, 0, 16));
        found = true;
    }
    return found;
}

bool scan_buffer_for_filetimes_in_range(std::vector<std::uint64_t>& offsets, const unsigned char* buffer,
                                        int length, std::uint64_t base_offset, std::uint64_t min_value,
                                        std::uint64_t max_value, int record_size) {
    offsets.clear();
    if (buffer == nullptr || length < 8 || record_size <= 0 || record_size % 8 != 0) return false;
    const std::uint64_t slots = static_cast<std::uint64_t>(length) / 8;
    std::uint64_t slot = 0;
    while (slot < slots) {
        std::uint64_t v = 0;
        for (int k = 7; k >= 0; --k) v = (v << 8) | buffer[slot * 8 + static_cast<std::uint64_t>(k)];
        if (v < min_value || v > max_value) {
            ++slot;
        } else {
            offsets.push_back(base_offset + slot * 8);
            slot += static_cast<std::uint64_t>(record_size) / 8;
        }
    }
    return !offsets.empty();
}

namespace qm {

bool time::guess_from_unsigned(std::uint32_t& kind, std::uint16_t max_year, std::uint16_t min_year,
                               std::uint64_t value, std::uint32_t mask) {
    zero_all();
    clear();
    if (mask == 0) return false;
    for (unsigned i = 0; i < 32; ++i) {
        const std::uint32_t bit = 1u << i;
        if ((mask & bit) == 0) continue;
        kind = bit;
        const time t(static_cast<unsigned long long>(value), static_cast<type_time>(bit));
        if (t.valid && t.utc.year >= min_year && t.utc.year <= max_year) {
            *this = t;
            return true;
        }
    }
    return false;
}

}  // namespace qm
