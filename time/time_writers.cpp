#include "time/time_writers.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

#include "common/encoding.h"

namespace {

// Decimal with zero fill for the writer's duration; the fill is restored and the old flags ORed back.
template <class Stream>
class zero_fill_scope {
  public:
    explicit zero_fill_scope(Stream& os) : os_(os), flags_(os.flags()), fill_(os.fill()) {
        os_ << std::dec << std::right;
        os_.fill(os_.widen('0'));
    }
    ~zero_fill_scope() {
        os_.fill(fill_);
        os_.flags(os_.flags() | flags_);
    }
    zero_fill_scope(const zero_fill_scope&) = delete;
    zero_fill_scope& operator=(const zero_fill_scope&) = delete;

  private:
    Stream& os_;
    std::ios_base::fmtflags flags_;
    typename Stream::char_type fill_;
};

// The UTC parts of a valid time; zeros for an invalid one.
_windows_systemtime utc_parts(const qm::time& t) { return t.valid ? t.utc : _windows_systemtime(); }

}  // namespace

std::ostream& write_filetime_underscored(std::ostream& os, std::uint64_t filetime, bool with_hhmm,
                                         bool with_seconds, bool with_ms) {
    const _windows_systemtime u =
        utc_parts(qm::time(static_cast<unsigned long long>(filetime), qm::type_filetime));
    zero_fill_scope<std::ostream> scope(os);
    os << std::setw(4) << u.year << "_" << std::setw(2) << u.month << "_" << std::setw(2) << u.day;
    if (with_hhmm) os << "_" << std::setw(2) << u.hour << std::setw(2) << u.minute;
    if (with_seconds) os << "_" << std::setw(2) << u.second;
    if (with_ms) os << "_" << std::setw(3) << u.milliseconds;
    return os;
}

std::ostream& write_filetime_underscored(std::ostream& os, std::uint64_t filetime, bool all) {
    return write_filetime_underscored(os, filetime, all, all, all);
}

void filetime_underscored_w(std::wstring& out, std::uint64_t filetime, bool all) {
    std::ostringstream text;
    write_filetime_underscored(text, filetime, all);
    out = utf8_to_wstring(text.str());
}

std::ostream& write_date(std::ostream& os, const qm::time& t) {
    const _windows_systemtime u = utc_parts(t);
    zero_fill_scope<std::ostream> scope(os);
    return os << std::setw(4) << u.year << "-" << std::setw(2) << u.month << "-" << std::setw(2) << u.day;
}

namespace {

template <class Stream, class Char>
Stream& write_us(Stream& os, const qm::time& t, bool date_only, const Char* slash, const Char* mid,
                 const Char* colon, const Char* open, const Char* close) {
    const _windows_systemtime u = utc_parts(t);
    zero_fill_scope<Stream> scope(os);
    os << std::setw(2) << u.month << slash << std::setw(2) << u.day << slash << std::setw(4) << u.year;
    if (!date_only) {
        os << mid << std::setw(2) << u.hour << colon << std::setw(2) << u.minute << colon << std::setw(2)
           << u.second << open << std::setw(3) << u.milliseconds << close;
    }
    return os;
}

}  // namespace

std::ostream& write_date_time_us(std::ostream& os, const qm::time& t, bool date_only) {
    return write_us(os, t, date_only, "/", " : ", ":", " [ ", " ms ]");
}

std::wostream& write_date_time_us(std::wostream& os, const qm::time& t, bool date_only) {
    return write_us(os, t, date_only, L"/", L" : ", L":", L" [ ", L" ms ]");
}

std::ostream& write_hex_u64(std::ostream& os, std::uint64_t v) {
    const std::ios_base::fmtflags flags = os.flags();
    os << "0x" << std::hex << static_cast<std::uint32_t>(v >> 32) << static_cast<std::uint32_t>(v);
    os.flags(flags);
    return os;
}

std::string& u64_to_hex_text(std::string& out, std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%08x%08x", static_cast<unsigned>(v >> 32), static_cast<unsigned>(v));
    out = buf;
    return out;
}

std::ostream& write_u16_pair(std::ostream& os, const std::uint16_t v[2]) {
    zero_fill_scope<std::ostream> scope(os);
    return os << v[0] << " : " << v[1];
}

std::ostream& write_fixed_seconds(std::ostream& os, const std::uint16_t v[2]) {
    zero_fill_scope<std::ostream> scope(os);
    return os << (static_cast<double>(v[0]) + static_cast<double>(v[1]) / 65536.0) << " secs";
}

void write_line_if_enabled(const debug_sink& sink, const char* text) {
    if (!sink.enabled || sink.stream == nullptr || text == nullptr) return;
    *sink.stream << text << std::endl;
}

std::ostream& write_lines(std::ostream& os, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) os << line << std::endl;
    return os;
}

unsigned debug_output_byte(std::ostream& os, const char* label, std::uint8_t value, std::uint64_t offset,
                           std::uint32_t width, const char* note) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(value));
    return debug_output(os, label, std::string(hex), static_cast<unsigned long long>(offset),
                        static_cast<int>(width), note, 1);
}

unsigned debug_output_byte(const debug_sink& sink, const char* label, std::uint8_t value,
                           std::uint64_t offset, std::uint32_t width, const char* note) {
    if (!sink.enabled || sink.stream == nullptr) return 0;
    return debug_output_byte(*sink.stream, label, value, offset, width, note);
}
