#include <cmath>
#include <cstring>

#include "time/calendar.h"
#include "time/qm_time.h"

namespace qm {

const char* type_time_name(std::uint32_t kind) {
    switch (kind) {
        case type_filetime:
            return "filetime";
        case type_chrome:
            return "chrome";
        case type_firefox:
            return "firefox3";
        case type_unix:
            return "unix time";
        case type_unix_ms:
            return "unix millisec time";
        case type_dos:
            return "dos time";
        case type_ntp:
            return "ntp";
        case type_guid:
            return "guid";
        case type_ole:
            return "ole";
        case type_systemtime:
            return "system time";
        case type_systemtime_local:
            return "system time";
        case type_vhd:
            return "VHD time";
        case type_qpc:
            return "QPC time";
        case type_dotnet:
            return "c# time";
        case type_snowflake:
            return "snowflake time";
        case type_safari:
            return "safari time";
        case type_hfs:
            return "hfs+ time";
        default:
            return "";
    }
}

bool time::set_unix_kind(std::uint64_t ft, bool rejected) {
    if (rejected) {
        // A rejected Unix value still shows what it would have given, but stays invalid.
        filetime = ft;
        unix_seconds = 0;
        valid = false;
        return false;
    }
    windows_filetime.set_windows_filetime(ft);
    return set_filetime(ft);
}

std::uint64_t time::filetime_of(unsigned long long value, type_time kind) {
    std::uint64_t ft = 0;
    switch (kind) {
        case type_filetime:
            return value;
        case type_chrome:
            chrome_to_filetime(value, ft);
            return ft;
        case type_firefox:
            firefox_to_filetime(static_cast<std::int64_t>(value), ft);
            return ft;
        case type_unix:
            return value * kTicksPerSecond + kFiletimeUnix;
        case type_unix_ms:
            return (value / 1000) * kTicksPerSecond + kFiletimeUnix + (value % 1000) * 10000;
        case type_vhd:
            vhd_to_filetime(value, ft);
            return ft;
        case type_dotnet:
            net_ticks_to_filetime(value, ft);
            return ft;
        case type_snowflake:
            snowflake_to_filetime(value, ft);
            return ft;
        case type_safari:
            safari_to_filetime_unsigned(value, ft);
            return ft;
        case type_hfs:
            return value * kTicksPerSecond + kFiletimeHfs;
        default:
            return 0;
    }
}

time::time(unsigned long long value, type_time kind) {
    zero_all();
    const std::uint64_t ft = filetime_of(value, kind);
    switch (kind) {
        case type_unix:
            set_unix_kind(ft, static_cast<std::int64_t>(value) < 1);
            break;
        case type_unix_ms:
            set_unix_kind(ft, value <= 999);
            break;
        case type_filetime:
        case type_chrome:
        case type_firefox:
        case type_vhd:
        case type_dotnet:
        case type_snowflake:
        case type_safari:
        case type_hfs:
            set_filetime(ft);
            break;
        default:
            break;
    }
}

time::time(long long value, type_time kind) {
    zero_all();
    const std::uint64_t u = static_cast<std::uint64_t>(value);
    std::uint64_t ft = 0;
    switch (kind) {
        case type_filetime:
            set_filetime(u);
            break;
        case type_chrome:
            chrome_to_filetime(u, ft);
            set_filetime(ft);
            break;
        case type_firefox:
            firefox_to_filetime(value, ft);
            set_filetime(ft);
            break;
        case type_unix:
            set_unix_kind(u * kTicksPerSecond + kFiletimeUnix, value < 1);
            break;
        case type_unix_ms: {
            const std::int64_t whole = value / 1000;
            const std::int64_t rest = value % 1000;
            ft = static_cast<std::uint64_t>(whole) * kTicksPerSecond + kFiletimeUnix +
                 static_cast<std::uint64_t>(rest) * 10000;
            set_unix_kind(ft, value <= 999);
            break;
        }
        case type_ole:
            set_filetime(u * kTicksPerDay + kFiletimeOle);
            break;
        case type_vhd:
            vhd_to_filetime(u, ft);
            set_filetime(ft);
            break;
        case type_snowflake:
            snowflake_to_filetime(u, ft);
            set_filetime(ft);
            break;
        case type_safari:
            safari_to_filetime(value, ft);
            set_filetime(ft);
            break;
        case type_hfs:
            set_filetime(u * kTicksPerSecond + kFiletimeHfs);
            break;
        default:
            break;
    }
}

time::time(double value, type_time kind) {
    zero_all();
    std::uint64_t ft = 0;
    switch (kind) {
        case type_unix:
        case type_unix_ms:
            // A floating kind-16 value is read as seconds as well, not divided by 1000.
            if (seconds_double_to_filetime(value, kFiletimeUnix, ft)) set_filetime(ft);
            break;
        case type_safari:
            if (seconds_double_to_filetime(value, kFiletimeSafari, ft)) set_filetime(ft);
            break;
        case type_ole: {
            if (!std::isfinite(value)) break;
            const double ticks = (value * 86400.0 + 9435312000.0) * 1e7;
            // Negative or oversized results have no FILETIME; converting them would be undefined.
            if (!(ticks >= 0.0 && ticks < 18446744073709551616.0)) break;
            set_filetime(static_cast<std::uint64_t>(ticks));
            break;
        }
        default:
            break;
    }
}

time::time(unsigned long long ft, double sub_ticks) {
    zero_all();
    if (!std::isfinite(sub_ticks) || sub_ticks < 0.0 || sub_ticks >= 1e7) return;
    set_filetime_parts(ft + static_cast<std::uint64_t>(sub_ticks), true, sub_ticks);
}

time::time(unsigned long long value, keyname_filter filter, bool floating) {
    zero_all();
    if (!filter.is_set) return;
    if (filter.has_flag(knf_bit_tf) || filter.has_flag(knf_bit_13)) {
        *this = time(value, type_filetime);
    } else if (filter.has_flag(knf_bit_ts)) {
        // Only eight bytes are at hand and a SYSTEMTIME needs sixteen: the raw-byte setter refuses it.
        std::vector<unsigned char> bytes(8);
        for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
        set_from_bytes(bytes, 0, type_systemtime);
    } else if (filter.has_flag(knf_bit_taa)) {
        if (floating) {
            double d = 0.0;
            static_assert(sizeof d == sizeof value, "double must be 64 bits");
            std::memcpy(&d, &value, sizeof d);
            *this = time(d, type_safari);
        } else {
            *this = time(value, type_safari);
        }
    } else if (filter.has_flag(knf_bit_th)) {
        *this = time(value, type_hfs);
    } else if (filter.has_flag(knf_bit_tu)) {
        *this = time(value, type_unix);
    } else if (filter.has_flag(knf_bit_tc)) {
        *this = time(value, type_chrome);
    } else if (filter.has_flag(knf_bit_tmz)) {
        *this = time(value, type_firefox);
    }
}

bool time::guess_from_double(std::uint32_t& kind, std::uint16_t max_year, std::uint16_t min_year,
                             std::uint32_t mask, double value) {
    zero_all();
    clear();
    if (mask == 0) return false;
    for (unsigned i = 0; i < 32; ++i) {
        const std::uint32_t bit = 1u << i;
        if ((mask & bit) == 0) continue;
        kind = bit;
        const time t(value, static_cast<type_time>(bit));
        if (t.valid && t.utc.year >= min_year && t.utc.year <= max_year) {
            *this = t;
            return true;
        }
    }
    return false;
}

}  // namespace qm

std::uint64_t keyname_filter_filetime(unsigned long long value, keyname_filter filter, bool floating) {
    const qm::time t(value, filter, floating);
    return t.valid ? t.filetime : 0;
}
