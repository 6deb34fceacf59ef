#include "time/time_guess.h"

#include <climits>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include "common/byte_vectors.h"
#include "time/time_text.h"

namespace {

constexpr std::uint32_t kGuessMask = 0xC004F;  // FILETIME, Chrome, Firefox, Unix, NTP, Safari, HFS+

std::uint64_t bswap64(std::uint64_t v) {
    std::uint64_t r = 0;
    for (int i = 0; i < 8; ++i) {
        r = (r << 8) | (v & 0xFF);
        v >>= 8;
    }
    return r;
}

std::uint32_t read_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t read_be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[3]) | (static_cast<std::uint32_t>(p[2]) << 8) |
           (static_cast<std::uint32_t>(p[1]) << 16) | (static_cast<std::uint32_t>(p[0]) << 24);
}

std::uint64_t read_le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(read_le32(p)) | (static_cast<std::uint64_t>(read_le32(p + 4)) << 32);
}

std::uint64_t read_be64(const std::uint8_t* p) {
    return (static_cast<std::uint64_t>(read_be32(p)) << 32) | read_be32(p + 4);
}

// The FILETIMEs of local midnight of 1 January of each year, remembered for the last pair asked: a scan
// calls with the same years for every value, and building the bounds asks the C library for the local
// offset.
struct guess_window {
    bool set = false;
    std::uint32_t lo_year = 0;
    std::uint32_t hi_year = 0;
    std::uint64_t min_ft = 0;
    std::uint64_t max_ft = 0;
};

void window_for(std::uint32_t lo_year, std::uint32_t hi_year, std::uint64_t& min_ft, std::uint64_t& max_ft) {
    thread_local guess_window cache;
    if (!cache.set || cache.lo_year != lo_year || cache.hi_year != hi_year) {
        const std::string lo_text = "01/01/" + std::to_string(lo_year);
        const std::string hi_text = "01/01/" + std::to_string(hi_year);
        const qm::time lo(lo_text.c_str(), false);
        const qm::time hi(hi_text.c_str(), false);
        cache.min_ft = lo.valid ? lo.filetime : 0;
        cache.max_ft = hi.valid ? hi.filetime : 0;
        cache.lo_year = lo_year;
        cache.hi_year = hi_year;
        cache.set = true;
    }
    min_ft = cache.min_ft;
    max_ft = cache.max_ft;
}

std::int64_t as_max(std::uint64_t max_ft) {
    return max_ft > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(max_ft);
}

}  // namespace

bool guess_time_kind(std::uint64_t* filetime, std::uint32_t* kind, std::uint64_t value,
                     std::uint32_t year_from, std::uint32_t year_to, std::uint32_t unused) {
    (void)unused;
    if (filetime != nullptr) *filetime = 0;
    if (kind != nullptr) *kind = 0;
    if (value < 0x1000000) return false;
    // Callers pass the later year first as often as not.
    const std::uint32_t lo_year = year_from < year_to ? year_from : year_to;
    const std::uint32_t hi_year = year_from < year_to ? year_to : year_from;
    std::uint64_t min_ft = 0;
    std::uint64_t max_ft = 0;
    window_for(lo_year, hi_year, min_ft, max_ft);
    if (max_ft == 0) return false;
    time_candidate_map readings;
    bool found = test_time_candidates(readings, value, as_max(max_ft), min_ft, 0, 1, false, kGuessMask);
    if (found && !readings.empty()) {
        const time_stats& first = readings.begin()->second;
        if (filetime != nullptr) *filetime = first.filetime;
        if (kind != nullptr) *kind = first.kind;
        if (first.filetime != 0) return true;
    }
    if (test_time_candidates(readings, bswap64(value), as_max(max_ft), min_ft, 0, 0, false, kGuessMask)) {
        found = true;
        const time_stats& first = readings.begin()->second;
        if (filetime != nullptr) *filetime = first.filetime;
        if (kind != nullptr) *kind = first.kind;
    }
    return found;
}

bool guess_time_kind_filetime(std::uint64_t* filetime, std::uint64_t value, std::uint32_t year_from,
                              std::uint32_t year_to, std::uint32_t unused) {
    std::uint32_t kind = 0;
    return guess_time_kind(filetime, &kind, value, year_from, year_to, unused);
}

int scan_buffer_for_times(std::ostream* os, const std::uint8_t* buf, int len, std::uint64_t min_ft,
                          std::uint64_t max_ft, std::uint64_t base_offset, std::uint32_t kind_mask) {
    if (buf == nullptr || len <= 0) return 0;
    const std::size_t n = static_cast<std::size_t>(len);
    const std::int64_t max = as_max(max_ft);
    time_candidate_map readings;

    if (kind_mask & (qm::type_dos | qm::type_unix | qm::type_hfs | qm::type_safari)) {
        const std::uint32_t mask4 = kind_mask & 0xC0028u;
        for (std::size_t i = 0; i + 3 < n; ++i)
            test_time_candidates(readings, read_le32(buf + i), max, min_ft, base_offset + i, 1, false, mask4);
        for (std::size_t i = 0; i + 3 < n; ++i)
            test_time_candidates(readings, read_be32(buf + i), max, min_ft, base_offset + i, 0, false, mask4);
    }
    if (kind_mask & (qm::type_filetime | qm::type_chrome | qm::type_firefox | qm::type_ole | qm::type_ntp |
                     qm::type_safari | qm::type_hfs | qm::type_dotnet)) {
        const std::uint32_t mask8 = kind_mask & 0xC8047u;
        for (std::size_t i = 0; i + 7 < n; ++i) {
            test_time_candidates(readings, read_le64(buf + i), max, min_ft, base_offset + i, 1, false, mask8);
            // The double reading belongs to the OLE kind; it is tried only when that kind is asked for.
            if (kind_mask & qm::type_ole) {
                double d = 0;
                std::memcpy(&d, buf + i, sizeof d);
                test_ole_candidate(readings, max, min_ft, base_offset + i, false, d);
            }
        }
        for (std::size_t i = 0; i + 7 < n; ++i)
            test_time_candidates(readings, read_be64(buf + i), max, min_ft, base_offset + i, 0, false, mask8);
    }
    if (kind_mask & qm::type_guid) {
        for (std::size_t i = 0; i + 15 < n; ++i)
            test_guid_candidate(readings, buf + i, max, static_cast<std::int64_t>(min_ft & INT64_MAX),
                                base_offset + i, false);
    }
    if (kind_mask & (qm::type_systemtime | qm::type_systemtime_local)) {
        for (std::size_t i = 0; i + 15 < n; ++i)
            test_systemtime_candidates(readings, buf + i, max_ft,
                                       static_cast<std::int64_t>(min_ft & INT64_MAX), base_offset + i, false);
    }
    if (kind_mask & qm::type_snowflake) {
        for (std::size_t i = 0; i + 7 < n; ++i) {
            const std::int64_t v = static_cast<std::int64_t>(read_le64(buf + i));
            test_snowflake_candidate(readings, &v, max, min_ft, base_offset + i, false);
        }
    }
    const int hits = static_cast<int>(readings.size() > INT_MAX ? INT_MAX : readings.size());
    if (os != nullptr && hits > 0) {
        for (const auto& r : readings) print_time_stats(r.second, *os);
    }
    return hits;
}

int scan_buffer_for_times_with_varints(std::ostream* os, const std::uint8_t* buf, int len,
                                       std::uint64_t min_ft, std::uint64_t max_ft, std::uint64_t base_offset,
                                       std::uint32_t kind_mask) {
    int hits = scan_buffer_for_times(os, buf, len, min_ft, max_ft, base_offset, kind_mask);
    if (buf == nullptr || len <= 0) return hits;
    struct varint_form {
        const char* heading;
        int (*decode)(std::uint64_t&, const unsigned char*, int);
    };
    const varint_form forms[2] = {{"Variable int BE", decode_varint_msb_first},
                                  {"Variable int LE", decode_varint_lsb_first}};
    for (const varint_form& form : forms) {
        std::uint64_t value = 0;
        if (!form.decode(value, buf, len)) continue;
        std::uint8_t bytes[8];
        std::memcpy(bytes, &value, sizeof bytes);
        std::ostringstream text;
        const int more = scan_buffer_for_times(&text, bytes, 8, min_ft, max_ft, base_offset, kind_mask);
        if (more > 0) {
            if (os != nullptr) *os << form.heading << '\n' << text.str();
            hits += more;
        }
    }
    return hits;
}

int scan_vector_for_times(std::ostream* os, const std::vector<std::uint8_t>& bytes, std::uint64_t min_ft,
                          std::uint64_t max_ft, std::uint64_t base_offset, std::uint32_t kind_mask) {
    if (bytes.empty()) return 0;
    const int len =
        bytes.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes.size());
    return scan_buffer_for_times(os, bytes.data(), len, min_ft, max_ft, base_offset, kind_mask);
}

int scan_vector_for_times_with_varints(std::ostream* os, const std::vector<std::uint8_t>& bytes,
                                       std::uint64_t min_ft, std::uint64_t max_ft, std::uint64_t base_offset,
                                       std::uint32_t kind_mask) {
    if (bytes.empty()) return 0;
    const int len =
        bytes.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes.size());
    return scan_buffer_for_times_with_varints(os, bytes.data(), len, min_ft, max_ft, base_offset, kind_mask);
}

int scan_buffer_callback(void* unused, time_scan_context* ctx, const std::uint8_t* buf, std::uint32_t len,
                         std::uint64_t unused_value, std::uint64_t base_offset) {
    (void)unused;
    (void)unused_value;
    if (buf == nullptr || len == 0 || ctx == nullptr) return -1;
    const int n = len > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(len);
    ctx->hits += static_cast<std::uint32_t>(scan_buffer_for_times(
        ctx->os, buf, n, ctx->min_filetime, ctx->max_filetime, base_offset, ctx->kind_mask));
    return 0;
}

void print_time_stats(const time_stats& s, std::ostream& os) {
    const std::ios::fmtflags flags = os.flags();
    const char fill = os.fill();
    std::string date;
    std::string time;
    const qm::time t(static_cast<unsigned long long>(s.filetime), qm::type_filetime);
    format_date_time_or_default(date, time, t, "yyyy-mm-dd", "hh:mm:ss.xxxxxxxxx");
    os << std::hex << std::right << std::setfill('0') << std::setw(6) << s.offset << ", "
       << (s.little_endian ? "LE" : "BE") << ", " << std::left << std::setfill(' ') << std::setw(10)
       << qm::type_time_name(s.kind) << ", " << date << ' ' << time
       << (s.kind == qm::type_dos ? " LOC" : " UTC") << ", " << std::right << std::setfill('0');
    const std::size_t count = s.size < s.bytes.size() ? s.size : s.bytes.size();
    for (std::size_t i = 0; i < count; ++i) os << std::setw(2) << static_cast<unsigned>(s.bytes[i]) << ' ';
    os << '\n';
    os.flags(flags);
    os.fill(fill);
}
