#include "time/time_setters.h"

#include <cmath>
#include <cstring>

namespace {

std::uint16_t read_le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t read_le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t read_le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(read_le32(p)) | (static_cast<std::uint64_t>(read_le32(p + 4)) << 32);
}

// 1601-01-01 on the GUID scale (100-ns ticks since 1582-10-15).
constexpr std::uint64_t kGuidTicksAt1601 = 5748192000000000ull;

}  // namespace

namespace qm {

time::time(const std::vector<unsigned char>& bytes, type_time kind) {
    zero_all();
    set_from_bytes(bytes, 0, kind);
}

time::time(const std::vector<unsigned char>& bytes, std::uint32_t offset, type_time kind) {
    zero_all();
    set_from_bytes(bytes, offset, kind);
}

bool time::set_from_bytes(const std::vector<unsigned char>& bytes, std::uint32_t offset, type_time kind) {
    clear();
    const std::uint64_t n = bytes.size();
    const std::uint64_t remain = n > offset ? n - offset : 0;
    const unsigned char* p = remain > 0 ? bytes.data() + offset : nullptr;

    if (remain >= 16 && (kind == type_systemtime || kind == type_systemtime_local)) {
        struct tm t;
        std::memset(&t, 0, sizeof t);
        t.tm_year = static_cast<int>(read_le16(p)) - 1900;
        t.tm_mon = static_cast<int>(read_le16(p + 2)) - 1;
        t.tm_mday = read_le16(p + 6);
        t.tm_hour = read_le16(p + 8);
        t.tm_min = read_le16(p + 10);
        t.tm_sec = read_le16(p + 12);
        return set_from_tm(t, read_le16(p + 14), kind == type_systemtime);
    }

    if (remain < 8) {
        if (remain < 4) return false;
        const std::uint32_t v = read_le32(p);
        switch (kind) {
            case type_vhd:
            case type_unix_ms:
                *this = time(static_cast<unsigned long long>(v), kind);
                return valid;
            case type_unix:
                if (v == 0) return false;
                *this = time(static_cast<unsigned long long>(v), kind);
                return valid;
            default:
                return false;
        }
    }

    const std::uint64_t v = read_le64(p);
    switch (kind) {
        case type_filetime:
        case type_chrome:
        case type_firefox:
        case type_unix:
        case type_unix_ms:
        case type_dotnet:
        case type_snowflake:
            *this = time(static_cast<unsigned long long>(v), kind);
            return valid;
        case type_ole: {
            double d = 0.0;
            std::memcpy(&d, &v, sizeof d);
            *this = time(d, type_ole);
            return valid;
        }
        case type_guid: {
            if (remain < 16) return false;
            std::uint64_t ft = 0;
            std::uint16_t cs = 0;
            std::vector<unsigned char> node;
            if (!guid_v1_to_filetime(ft, cs, node, p)) return false;
            return set_filetime(ft);
        }
        case type_filetime_block: {
            if (remain < 16) return false;
            std::uint64_t ft = 0;
            std::uint32_t a = 0, b = 0;
            if (!embedded_filetime_block(ft, b, a, p)) return false;
            return set_filetime(ft);
        }
        default:
            return false;
    }
}

bool time::set_from_tm(const struct tm& t, int milliseconds, bool direct) {
    local = t;
    std::uint64_t ft = 0;
    if (direct) {
        ft = date_parts_to_filetime(t, static_cast<std::uint64_t>(static_cast<std::int64_t>(milliseconds)));
        if (ft == 0) return false;
    } else {
        struct tm copy = t;
        std::int64_t u = static_cast<std::int64_t>(std::mktime(&copy));
        if (u < 1) return false;
        u += get_local_bias_seconds();
        ft = static_cast<std::uint64_t>(u) * kTicksPerSecond + kFiletimeUnix;
        if (milliseconds != 0)
            ft += static_cast<std::uint64_t>(static_cast<std::int64_t>(milliseconds)) * 10000;
    }
    windows_filetime.set_windows_filetime(ft);
    if (!set_filetime(ft)) return false;
    valid = true;
    return true;
}

time::time(const _windows_systemtime& st) {
    zero_all();
    set_from_tm(systemtime_to_tm(st), st.milliseconds, true);
}

time::time(const struct tm& t, bool direct) {
    zero_all();
    set_from_tm(t, 0, direct);
}

time::time(const unsigned short dos[2], bool direct) {
    zero_all();
    if (dos == nullptr) return;
    const unsigned date = dos[0];
    const unsigned tod = dos[1];
    const unsigned day = date & 31u;
    const unsigned month = (date >> 5) & 15u;
    const unsigned year = (date >> 9) + 1980u;
    const unsigned second = (tod & 31u) * 2;
    const unsigned minute = (tod >> 5) & 63u;
    const unsigned hour = tod >> 11;
    if (day == 0 || month < 1 || month > 12 || second >= 60 || minute >= 60 || hour >= 24) return;
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = static_cast<int>(year) - 1900;
    t.tm_mon = static_cast<int>(month) - 1;
    t.tm_mday = static_cast<int>(day);
    t.tm_hour = static_cast<int>(hour);
    t.tm_min = static_cast<int>(minute);
    t.tm_sec = static_cast<int>(second);
    set_from_tm(t, 0, direct);
}

time::time(std::uint32_t unix_seconds_value) {
    zero_all();
    if (unix_seconds_value == 0) return;
    *this = time(static_cast<unsigned long long>(unix_seconds_value), type_unix);
}

time::time(const _windows_filetime& ft) {
    zero_all();
    set_filetime(ft.value());
}

time::time(const std::int32_t pair[2], type_time kind) {
    zero_all();
    if (pair == nullptr || kind != type_unix || pair[0] <= 0) return;
    *this = time(static_cast<long long>(pair[0]), type_unix);
    add_microseconds(pair[1]);
}

time::time(std::uint64_t base_filetime, std::uint64_t start_count, std::uint64_t count,
           std::uint64_t frequency, std::uint32_t kind) {
    zero_all();
    if (frequency == 0) return;
    double factor = 0.0;
    if (kind == type_qpc) {
        factor = 1e7 / static_cast<double>(frequency);
    } else if (kind == type_qpc_us) {
        factor = 10.0 / static_cast<double>(frequency);
    }
    const double end = std::trunc(static_cast<double>(count) * factor);
    const double start = std::trunc(static_cast<double>(start_count) * factor);
    // Ticks beyond 64 bits have no FILETIME; converting them would be undefined.
    if (!(end < 18446744073709551616.0) || !(start < 18446744073709551616.0)) return;
    set_filetime(base_filetime + static_cast<std::uint64_t>(end) - static_cast<std::uint64_t>(start));
}

}  // namespace qm

bool guid_v1_to_filetime(std::uint64_t& filetime, std::uint16_t& clock_sequence,
                         std::vector<unsigned char>& node, const unsigned char* guid) {
    filetime = 0;
    clock_sequence = 0;
    node.clear();
    if (guid == nullptr) return false;
    const std::uint64_t first = read_le64(guid);
    if ((first >> 60) != 1) return false;
    const std::uint64_t ts = first & 0x0fffffffffffffffull;
    if (ts < kGuidTicksAt1601) return false;
    filetime = ts - kGuidTicksAt1601;
    clock_sequence = static_cast<std::uint16_t>(((guid[8] << 8) | guid[9]) & 0x3fff);
    node.assign(guid + 10, guid + 16);
    return true;
}

bool guid_bytes_to_filetime(std::uint64_t& filetime, std::uint16_t& clock_sequence,
                            std::vector<unsigned char>& node, const std::vector<unsigned char>& bytes,
                            std::uint32_t offset) {
    filetime = 0;
    clock_sequence = 0;
    node.clear();
    const std::uint64_t n = bytes.size();
    if (n < 8 || offset > n - 8) return false;
    std::uint64_t start = 0;
    if (n > 8) {
        if (offset != 0) {
            start = offset;
        } else if (bytes[0] == '{') {
            start = 1;
        }
    }
    if (n - start < 16) return false;
    return guid_v1_to_filetime(filetime, clock_sequence, node, bytes.data() + start);
}

bool embedded_filetime_block(std::uint64_t& filetime, std::uint32_t& b, std::uint32_t& a,
                             const unsigned char* block) {
    filetime = 0;
    if (block == nullptr) return false;
    const std::uint64_t ft = read_le64(block + 8);
    const qm::time t(static_cast<unsigned long long>(ft), qm::type_filetime);
    if (!t.valid) return false;
    filetime = ft;
    a = read_le32(block);
    b = read_le32(block + 4);
    return true;
}

bool scan_buffer_for_unix_seconds(const unsigned char* buffer, std::uint64_t length,
                                  std::vector<qm::time>& times, std::vector<std::uint64_t>& offsets) {
    times.clear();
    offsets.clear();
    if (buffer == nullptr || length < 8) return false;
    for (std::uint64_t off = 0; off + 4 <= length; ++off) {
        const qm::time t(read_le32(buffer + off));
        if (t.valid) {
            times.push_back(t);
            offsets.push_back(off);
        }
    }
    return true;
}

bool scan_buffer_for_unix_or_filetime(const unsigned char* buffer, std::uint64_t length,
                                      std::vector<qm::time>& times, std::vector<std::uint64_t>& offsets) {
    times.clear();
    offsets.clear();
    if (buffer == nullptr || length < 8) return false;
    for (std::uint64_t off = 0; off + 8 <= length; ++off) {
        const std::uint64_t v = read_le64(buffer + off);
        const qm::time as_unix(static_cast<long long>(v), qm::type_unix);
        if (as_unix.valid) {
            times.push_back(as_unix);
            offsets.push_back(off);
        }
        const qm::time as_ft(static_cast<unsigned long long>(v), qm::type_filetime);
        if (as_ft.valid) {
            times.push_back(as_ft);
            offsets.push_back(off);
        }
    }
    return true;
}
