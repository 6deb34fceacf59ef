#include "time/ntp_time.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace {

std::uint32_t load_be32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

void store_be32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::uint32_t bswap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

// A u32 whose memory bytes are big-endian, read in host order.
std::uint32_t stored_to_host(std::uint32_t stored) {
    unsigned char b[4];
    std::memcpy(b, &stored, 4);
    return load_be32(b);
}

int clamp_count(int n, int fallback) { return (n < 1 || n > 4) ? fallback : n; }

}  // namespace

std::uint32_t ntp_seconds(const ntp_stamp& v) { return load_be32(v.seconds); }
std::uint32_t ntp_fraction(const ntp_stamp& v) { return load_be32(v.fraction); }
void ntp_store_seconds(ntp_stamp& v, std::uint32_t seconds) { store_be32(v.seconds, seconds); }
void ntp_store_fraction(ntp_stamp& v, std::uint32_t fraction) { store_be32(v.fraction, fraction); }

ntp_stamp ntp_from_u64(std::uint64_t stored) {
    ntp_stamp v;
    std::memcpy(v.seconds, &stored, 4);
    std::memcpy(v.fraction, reinterpret_cast<const unsigned char*>(&stored) + 4, 4);
    return v;
}

std::uint64_t ntp_to_u64(const ntp_stamp& v) {
    std::uint64_t out = 0;
    std::memcpy(&out, v.seconds, 4);
    std::memcpy(reinterpret_cast<unsigned char*>(&out) + 4, v.fraction, 4);
    return out;
}

bool filetime_to_ntp(std::int64_t filetime, std::uint64_t& ntp) {
    ntp = 0;
    if (filetime < 0) return false;
    const std::uint64_t x = static_cast<std::uint64_t>(filetime) - kFiletimeNtp;
    const std::uint32_t seconds = static_cast<std::uint32_t>(x / kTicksPerSecond);
    const std::uint32_t fraction =
        static_cast<std::uint32_t>(((x % kTicksPerSecond) << 32) / kTicksPerSecond);
    ntp_stamp v;
    ntp_store_seconds(v, seconds);
    ntp_store_fraction(v, fraction);
    ntp = ntp_to_u64(v);
    return true;
}

std::uint64_t filetime_to_ntp_value(std::int64_t filetime) {
    std::uint64_t ntp = 0;
    return filetime_to_ntp(filetime, ntp) ? ntp : 0;
}

bool windows_filetime_to_ntp(const _windows_filetime& filetime, std::uint64_t& ntp) {
    return filetime_to_ntp(static_cast<std::int64_t>(filetime.value()), ntp);
}

bool systemtime_to_ntp(const _windows_systemtime& st, std::uint64_t& ntp) {
    return windows_filetime_to_ntp(_windows_filetime(st), ntp);
}

bool ntp_to_filetime_parts(std::uint64_t ntp, std::uint64_t& filetime, std::uint64_t& whole_seconds_filetime,
                           double& fraction_ticks) {
    const ntp_stamp v = ntp_from_u64(ntp);
    whole_seconds_filetime = kFiletimeNtp + static_cast<std::uint64_t>(ntp_seconds(v)) * kTicksPerSecond;
    fraction_ticks = static_cast<double>(ntp_fraction(v)) * 1e7 / 4294967296.0;
    filetime = whole_seconds_filetime + static_cast<std::uint64_t>(fraction_ticks);
    return true;
}

bool ntp_to_filetime(std::uint64_t ntp, std::uint64_t& filetime) {
    std::uint64_t whole = 0;
    double fraction = 0.0;
    return ntp_to_filetime_parts(ntp, filetime, whole, fraction);
}

bool ntp_to_date_parts(const std::uint64_t& ntp, date_parts& parts) {
    std::uint64_t ft = 0;
    ntp_to_filetime(ntp, ft);
    return filetime_to_date_parts(parts, ft);
}

std::uint64_t get_current_ntp_value() {
    const std::time_t now = std::time(nullptr);
    ntp_stamp v;
    ntp_store_seconds(v, static_cast<std::uint32_t>(static_cast<std::uint64_t>(now) + 2208988800ull));
    return ntp_to_u64(v);
}

std::uint64_t ntp_to_host_u64(const std::uint32_t ntp[2]) {
    if (ntp == nullptr) return 0;
    return (static_cast<std::uint64_t>(stored_to_host(ntp[1])) << 32) + stored_to_host(ntp[0]);
}

double ntp_elapsed_seconds(const ntp_stamp& a, const ntp_stamp& b) {
    const double x =
        static_cast<double>(ntp_seconds(a)) + static_cast<double>(ntp_fraction(a)) / 4294967296.0;
    const double y =
        static_cast<double>(ntp_seconds(b)) + static_cast<double>(ntp_fraction(b)) / 4294967296.0;
    return std::fabs(x - y);
}

bool ntp_less(const ntp_stamp& a, const ntp_stamp& b) {
    if (ntp_seconds(a) != ntp_seconds(b)) return ntp_seconds(a) < ntp_seconds(b);
    return ntp_fraction(a) < ntp_fraction(b);
}

bool signed_ntp_less(const signed_ntp_stamp& a, const signed_ntp_stamp& b) {
    const bool an = a.negative != 0, bn = b.negative != 0;
    if (an != bn) return an;
    if (an) return ntp_less(b.value, a.value);
    return ntp_less(a.value, b.value);
}

void ntp_subtract_seconds(ntp_stamp& v, std::uint32_t s) {
    const std::uint32_t secs = ntp_seconds(v);
    ntp_store_seconds(v, s > secs ? 0 : secs - s);
}

std::uint32_t ntp_add_fraction(ntp_stamp& v, std::uint32_t add, bool host_order) {
    const std::uint32_t a = host_order ? add : stored_to_host(add);
    ntp_store_fraction(v, ntp_fraction(v) + a);
    std::uint32_t stored = 0;
    std::memcpy(&stored, v.fraction, 4);
    return stored;
}

namespace {

// Writes `extra` into the last n bytes of the fraction: little-endian within them, or all four as a u32
// in stored order (byte-swapped when swap is set).
void write_fraction_extra(ntp_stamp& v, std::uint32_t extra, int n, bool swap) {
    n = clamp_count(n, 1);
    if (n == 4) {
        ntp_store_fraction(v, swap ? bswap32(extra) : extra);
        return;
    }
    for (int i = 0; i < n; ++i) v.fraction[4 - n + i] = static_cast<unsigned char>(extra >> (8 * i));
}

}  // namespace

void ntp_set_fraction(ntp_stamp& v, std::uint32_t fraction, std::uint32_t extra, std::uint32_t precision,
                      bool swap) {
    if (precision < 1 || precision > 4) precision = 4;
    ntp_store_fraction(v, fraction);
    write_fraction_extra(v, extra, static_cast<int>(4 - precision), swap);
}

void ntp_set_fraction_ns(ntp_stamp& v, std::uint32_t ns, std::uint32_t extra, bool swap) {
    ntp_set_fraction(v, static_cast<std::uint32_t>((static_cast<std::uint64_t>(ns) << 32) / 1000000000ull),
                     extra, 3, swap);
}

void ntp_set_fraction_us(ntp_stamp& v, std::uint32_t us, std::uint32_t extra, bool swap) {
    ntp_set_fraction(v, static_cast<std::uint32_t>((static_cast<std::uint64_t>(us) << 32) / 1000000ull),
                     extra, 2, swap);
}

void ntp_set_fraction_ms(ntp_stamp& v, std::uint32_t ms, std::uint32_t extra, bool swap) {
    ntp_set_fraction(v, static_cast<std::uint32_t>((static_cast<std::uint64_t>(ms) << 32) / 1000ull), extra,
                     1, swap);
}

void append_seconds_bytes(const ntp_stamp& v, std::vector<unsigned char>& out, int n) {
    n = clamp_count(n, 4);
    out.insert(out.end(), v.seconds + 4 - n, v.seconds + 4);
}

void append_fraction_bytes(const ntp_stamp& v, std::vector<unsigned char>& out, int n) {
    n = clamp_count(n, 4);
    out.insert(out.end(), v.fraction + 4 - n, v.fraction + 4);
}

void copy_fraction_bytes(unsigned char* dst, const unsigned char* src, int n) {
    if (dst == nullptr || src == nullptr) return;
    n = clamp_count(n, 1);
    std::memcpy(dst + 4 - n, src, static_cast<std::size_t>(n));
}

void set_fraction_bytes(ntp_stamp& v, const unsigned char* src, int n) {
    copy_fraction_bytes(v.fraction, src, n);
}

int read_fraction_bytes(ntp_stamp& v, const std::vector<unsigned char>& bytes, int index, int n) {
    if (index < 0 || static_cast<std::size_t>(index) >= bytes.size()) return 0;
    n = clamp_count(n, 4);
    int read = 0;
    for (int i = 0; i < n && static_cast<std::size_t>(index) + i < bytes.size(); ++i) {
        v.fraction[4 - n + i] = bytes[static_cast<std::size_t>(index) + i];
        ++read;
    }
    return read;
}

std::uint32_t fraction_tail(const ntp_stamp& v, int n, bool swap) {
    n = clamp_count(n, 4);
    std::uint32_t out = 0;
    for (int i = 0; i < n; ++i) out |= static_cast<std::uint32_t>(v.fraction[4 - n + i]) << (24 - 8 * i);
    return swap ? bswap32(out) : out;
}

void split_fraction(const ntp_stamp& v, std::uint32_t& lead, std::uint32_t& rest, int n) {
    n = clamp_count(n, 4);
    const std::uint32_t f = ntp_fraction(v);
    const std::uint32_t mask = n == 4 ? 0xffffffffu : ((1u << (8 * n)) - 1);
    rest = f & mask;
    lead = f & ~mask;
}

bool ntp_divide(ntp_stamp& v, std::uint32_t n) {
    if (n == 0) return false;
    const std::uint32_t s = ntp_seconds(v);
    const std::uint32_t f = ntp_fraction(v);
    ntp_store_seconds(v, s / n);
    ntp_store_fraction(v, (s % n) + f / n);
    return true;
}

bool signed_ntp_divide(signed_ntp_stamp& v, std::uint32_t n) { return ntp_divide(v.value, n); }

std::uint16_t pack_time_set(const std::vector<std::uint64_t>& times, std::vector<unsigned char>& out,
                            bool milliseconds) {
    const std::size_t count = times.size();
    if (count == 0 || count > 8) return 0;
    std::size_t ref = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // The reference keeps 60 bits; a larger time (after the year 5254) would come back corrupted.
        if (times[i] >= (1ull << 60)) return 0;
        if (times[i] != 0 && times[i] > times[ref]) ref = i;
    }
    std::vector<std::uint64_t> diffs;
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i == ref) continue;
        std::uint64_t d = times[i] > times[ref] ? times[i] - times[ref] : times[ref] - times[i];
        if (milliseconds) d = static_cast<std::uint64_t>(static_cast<double>(d) / 1e4);
        diffs.push_back(d);
        if (d > largest) largest = d;
    }
    unsigned width = 1;
    if (largest >= (1ull << 48)) {
        width = 8;
    } else if (largest >= (1ull << 32)) {
        width = 6;
    } else if (largest >= (1ull << 16)) {
        width = 4;
    } else if (largest >= 256) {
        width = 2;
    }
    out.push_back(static_cast<unsigned char>((count - 1) | (ref << 3) | (milliseconds ? 0x40u : 0u)));
    const std::uint64_t head =
        (times[ref] & 0x0fffffffffffffffull) | (static_cast<std::uint64_t>(width - 1) << 60);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(head >> (8 * i)));
    for (std::uint64_t d : diffs) {
        for (unsigned i = 0; i < width; ++i) out.push_back(static_cast<unsigned char>(d >> (8 * i)));
    }
    return static_cast<std::uint16_t>(9 + (count - 1) * width);
}

std::uint32_t unpack_time_set(const unsigned char* data, std::uint32_t length,
                              std::vector<std::uint64_t>& times) {
    times.clear();
    if (data == nullptr || length <= 8) return 0;
    const unsigned header = data[0];
    const unsigned count = (header & 7u) + 1;
    const unsigned ref_index = (header >> 3) & 7u;
    const bool milliseconds = (header & 0x40u) != 0;
    std::uint64_t head = 0;
    for (int i = 7; i >= 0; --i) head = (head << 8) | data[1 + i];
    const std::uint64_t ref = head & 0x0fffffffffffffffull;
    const unsigned width = static_cast<unsigned>((head >> 60) & 7u) + 1;
    const std::uint32_t total = 9 + (count - 1) * width;
    if (length < total) return 0;
    // The writer only produces widths 1, 2, 4, 6 and 8; other widths keep their place but give no time.
    const bool readable = width == 1 || width == 2 || width == 4 || width == 6 || width == 8;
    std::uint32_t pos = 9;
    for (unsigned i = 0; i < count; ++i) {
        if (i == ref_index) {
            times.push_back(ref);
            continue;
        }
        // A reference index past the count would otherwise ask for one difference more than announced.
        if (pos + width > total) break;
        std::uint64_t d = 0;
        for (unsigned k = 0; k < width; ++k) d |= static_cast<std::uint64_t>(data[pos + k]) << (8 * k);
        pos += width;
        if (!readable) continue;
        if (milliseconds) d *= 10000ull;
        times.push_back(ref - d);
    }
    return total;
}
