#include "sqlite_format/record.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <utility>

#include "common/binary_data.h"
#include "common/json_record.h"
#include "common/text_numbers.h"
#include "common/utf16_raw.h"
#include "sqlite_format/format.h"
#include "time/clock_tz.h"
#include "time/qm_time.h"
#include "time/time_guess.h"
#include "time/time_text.h"

void base_rowdata::clear() {
    codes.clear();
    sizes.clear();
    times.clear();
    blobs.clear();
    values.clear();
}

void serial_type_code_and_size(std::uint64_t t, std::uint32_t* code, std::uint32_t* size) {
    std::uint64_t n = serial_type_size(t);
    switch (t) {
        case 0:
            *code = kColNull;
            break;
        case 7:
            *code = kColReal;
            break;
        case 8:
            *code = kColConst0;
            break;
        case 9:
            *code = kColConst1;
            break;
        case kSerialReserved10:
        case kSerialReserved11:
            *code = 0;  // reserved: SQLite never writes them, so no value is read for them
            break;
        default:
            if (t <= 6)
                *code = kColInteger;
            else
                *code = (t & 1) ? kColText : kColBlob;
            break;
    }
    *size = n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

namespace {

// Reads serial types from `pos` while fewer than `type_bytes` bytes were taken (0 = no byte limit)
// and fewer than `max_count` types were read (0 = no limit). Each must be a whole varint inside the
// payload and non-negative as a signed 32-bit number; the first that is not ends the read. With
// `as_library` a type past 32 bits is read as the library reads the types of a record it stores, as
// 0xFFFFFFFF (a length past any payload), and no type ends the read.
std::uint32_t read_serial_types(std::vector<std::uint32_t>& raw, byte_view payload, std::size_t pos,
                                std::uint64_t type_bytes, std::uint32_t max_count, bool as_library = false) {
    std::uint32_t taken = 0;
    // A type takes a byte at least: that many (within the payload) is room enough.
    std::uint64_t room = payload.size > pos ? payload.size - pos : 0;
    if (type_bytes != 0 && type_bytes < room) room = type_bytes;
    if (max_count != 0 && max_count < room) room = max_count;
    raw.reserve(raw.size() + static_cast<std::size_t>(room));
    while (pos < payload.size && (type_bytes == 0 || taken < type_bytes) &&
           (max_count == 0 || raw.size() < max_count)) {
        std::uint64_t v;
        std::uint32_t n;
        if (!read_varint_complete(payload, pos, &v, &n)) break;
        if (as_library)
            v = std::min<std::uint64_t>(v, 0xFFFFFFFFu);
        else if (varint_negative32(v))
            break;
        raw.push_back(static_cast<std::uint32_t>(v));
        pos += n;
        taken += n;
    }
    return taken;
}

// A header with serial type 10 or 11 was not written by SQLite: its bytes are no record.
bool holds_reserved_type(const std::vector<std::uint32_t>& types) {
    for (const std::uint32_t t : types)
        if (t == kSerialReserved10 || t == kSerialReserved11) return true;
    return false;
}

void convert_serial_types(std::vector<std::uint32_t>& codes, std::vector<std::uint32_t>& sizes) {
    codes.reserve(sizes.size());
    for (std::uint32_t& s : sizes) {
        std::uint32_t code, size;
        serial_type_code_and_size(s, &code, &size);
        s = size;
        codes.push_back(code);
    }
}

}  // namespace

int decode_record_header(std::uint32_t* header_size, std::vector<std::uint32_t>& codes,
                         std::vector<std::uint32_t>& sizes, const std::uint8_t* payload, std::size_t length,
                         bool as_library) {
    *header_size = 0;
    codes.clear();
    sizes.clear();
    if (!payload || length == 0) return 0;
    const byte_view b(payload, length);
    std::uint64_t hs;
    std::uint32_t hs_len;
    if (!read_varint_complete(b, 0, &hs, &hs_len) || varint_negative32(hs)) return 0;
    *header_size = static_cast<std::uint32_t>(hs);
    // A header size smaller than its own varint holds no serial type.
    if (hs <= hs_len) return 0;
    read_serial_types(sizes, b, hs_len, hs - hs_len, 0, as_library);
    if (sizes.empty() || holds_reserved_type(sizes)) {
        *header_size = 0;
        sizes.clear();
        return 0;
    }
    convert_serial_types(codes, sizes);
    return 1;
}

int decode_record_header_n(std::uint32_t* consumed, std::vector<std::uint32_t>& codes,
                           std::vector<std::uint32_t>& sizes, const std::uint8_t* bytes, std::size_t length,
                           std::uint32_t count) {
    *consumed = 0;
    codes.clear();
    sizes.clear();
    if (!bytes || length == 0 || count == 0) return 0;
    const std::uint32_t taken = read_serial_types(sizes, byte_view(bytes, length), 0, 0, count);
    *consumed = taken;
    if (sizes.size() != count || holds_reserved_type(sizes)) {
        *consumed = 0;
        sizes.clear();
        return 0;
    }
    convert_serial_types(codes, sizes);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Whole records.

std::string blob_preview(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return std::string();
    std::ostringstream os;
    qm::binary_data view(bytes, static_cast<std::uint32_t>(n), false);
    view.set_view_flags(qm::binary_data::kViewHex | qm::binary_data::kViewSpaced);
    view.output_view(os, 0, kBlobPreviewBytes, 0);
    if (n > kBlobPreviewBytes) os << " ...";
    std::string text = os.str();
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n') out.push_back(c);
    return out;
}

// Big-endian units are swapped and read as little-endian ones are.
void stored_text(std::string& text, const std::uint8_t* data, std::size_t n, text_encoding encoding) {
    if (encoding == text_encoding::utf8) {
        text.assign(reinterpret_cast<const char*>(data), n);
        return;
    }
    const int len = n > static_cast<std::size_t>(INT_MAX) ? INT_MAX & ~1 : static_cast<int>(n);
    if (encoding == text_encoding::utf16le) {
        utf16_cstr_to_utf8(data, text, len, false);
        return;
    }
    std::vector<std::uint8_t> units(data, data + (len & ~1));
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) std::swap(units[i], units[i + 1]);
    utf16_cstr_to_utf8(units.data(), text, static_cast<int>(units.size()), false);
}

namespace {

constexpr std::uint32_t kIntegerTimeFromYear = 2004;
constexpr std::uint32_t kRealTimeFromYear = 2010;
constexpr std::uint32_t kRealTimeKinds = qm::type_unix | qm::type_safari;
constexpr unsigned kRealPrecision = 8;

// The latest year a recognised timestamp may fall in: this year + 2, worked out once per run.
std::uint32_t year_bound() {
    static const std::uint32_t bound = get_current_time().get_year() + 2;
    return bound;
}

// Notes a recognised time in the row and, with annotation, after the value's text.
void note_time(base_rowdata& row, std::uint32_t column, std::uint64_t filetime, std::uint32_t kind,
               bool annotate, std::string& text) {
    row.times[column] = filetime;
    row.codes[column] |= kColTimeFlag + (kind << kColTimeKindShift);
    if (!annotate) return;
    std::ostringstream os;
    os << text << " [";
    write_time(os, qm::time(static_cast<unsigned long long>(filetime), qm::type_filetime));
    os << "]";
    text = os.str();
}

void offer_integer_time(base_rowdata& row, std::uint32_t column, std::uint64_t value, bool annotate,
                        std::string& text) {
    std::uint64_t filetime = 0;
    std::uint32_t kind = 0;
    if (guess_time_kind(&filetime, &kind, value, year_bound(), kIntegerTimeFromYear, 1))
        note_time(row, column, filetime, kind, annotate, text);
}

// A real as the SQLite library gives it as text (its "%!.15g"): 15 significant digits, always with a
// decimal point, an infinity as "Inf".
void library_real_text(std::string& text, double d) {
    if (std::isinf(d)) {
        text.assign(d < 0 ? "-Inf" : "Inf");
        return;
    }
    if (d == 0) d = 0;  // no "-0.0": the library tests the sign by comparing with 0
    char digits[40];
    const std::to_chars_result r =
        std::to_chars(digits, digits + sizeof digits, d, std::chars_format::general, 15);
    text.assign(digits, r.ptr);
    const std::size_t e = text.find('e');
    if (text.find('.') == std::string::npos) text.insert(e == std::string::npos ? text.size() : e, ".0");
}

// A column's text alone, without time recognition or a kept blob, into `text` (its storage reused). A real
// read as the rows of a table are given (`raw_blob`) is the library's text of it.
void plain_column_text(std::string& text, std::uint32_t code, const std::uint8_t* data, std::size_t n,
                       bool raw_blob, text_encoding encoding) {
    switch (code & kColKindMask) {
        case kColInteger: {
            std::int64_t v = 0;
            if (!read_be_int(byte_view(data, n), 0, n, &v)) {
                text.assign("0");
                return;
            }
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;  // signed, as below
            text.assign(digits, end);
            return;
        }
        case kColText:
            stored_text(text, data, n, encoding);
            return;
        case kColReal: {
            double d = 0;
            if (n == 0)
                text.clear();
            else if (n != 8 || !decode_ieee_float_be(&d, std::vector<std::uint8_t>(data, data + n)))
                text.assign("NaN");
            else if (raw_blob)
                library_real_text(text, d);
            else
                double_to_text(text, kRealPrecision, d);
            return;
        }
        case kColConst0:
            text.assign("0");
            return;
        case kColConst1:
            text.assign("1");
            return;
        case kColBlob:
            if (raw_blob)
                text.assign(reinterpret_cast<const char*>(data), n);
            else
                text = blob_preview(data, n);
            return;
        default:
            text.clear();
            return;
    }
}

// `plain`: the value's text alone, without time recognition or a kept blob.
std::string column_value(base_rowdata& row, std::uint32_t column, const std::uint8_t* data, std::size_t n,
                         bool annotate, bool raw_blob, text_encoding encoding, bool plain) {
    const byte_view b(data, n);
    std::string text;
    if (plain) {
        plain_column_text(text, row.codes[column], data, n, raw_blob, encoding);
        return text;
    }
    switch (row.codes[column] & kColKindMask) {
        case kColNull:
            return text;
        case kColInteger: {
            // Two's complement, as SQLite stores it: a stored -1 in one byte reads -1, as the library gives
            // it.
            std::int64_t v = 0;
            if (!read_be_int(b, 0, n, &v)) return "0";
            text = std::to_string(v);
            // No time is negative: only a value of 0 and up is offered to the time guess.
            if (!plain && v >= 0)
                offer_integer_time(row, column, static_cast<std::uint64_t>(v), annotate, text);
            return text;
        }
        case kColText: {
            stored_text(text, data, n, encoding);
            if (plain) return text;
            const std::uint32_t size = row.sizes[column];
            std::uint64_t v = 0;
            if (size >= 17 && size <= 20 && string_to_u64(text, &v))
                offer_integer_time(row, column, v, annotate, text);
            return text;
        }
        case kColReal: {
            if (n == 0) return text;  // a column past the end of the payload
            // Only a whole 8-byte value is a number: 4 bytes of a cut double are not a binary32.
            double d = 0;
            if (n != 8 || !decode_ieee_float_be(&d, std::vector<std::uint8_t>(data, data + n))) return "NaN";
            double_to_text(text, kRealPrecision, d);
            if (plain) return text;
            qm::time t;
            std::uint32_t kind = 0;
            if (t.guess_from_double(kind, static_cast<std::uint16_t>(year_bound()), kRealTimeFromYear,
                                    kRealTimeKinds, d))
                note_time(row, column, t.filetime, kind, annotate, text);
            return text;
        }
        case kColConst0:
            return "0";
        case kColConst1:
            return "1";
        case kColBlob:
            if (!plain) row.blobs[column] = std::vector<std::uint8_t>(data, data + n);
            if (raw_blob) return std::string(reinterpret_cast<const char*>(data), n);
            return blob_preview(data, n);
        default:
            return text;
    }
}

void write_trace(std::ostream& os, const base_rowdata& row, std::uint64_t file_offset,
                 std::uint32_t header_size) {
    const std::ios::fmtflags flags = os.flags();
    const char fill = os.fill('0');
    os << std::hex << std::setw(8) << file_offset << " : header size  : 0x" << header_size << ", "
       << (row.codes.size() == 1 ? "data size [" : "data sizes [") << std::dec;
    for (std::size_t i = 0; i < row.codes.size(); ++i) {
        if (i) os << ", ";
        const std::uint32_t size = row.sizes[i];
        switch (row.codes[i] & kColKindMask) {
            case kColNull:
                os << "null:0";
                break;
            case kColInteger:
                os << "val:" << size;
                break;
            case kColText:
                os << "str:" << size;
                break;
            case kColReal:
                os << "real:8";
                break;
            case kColConst0:
                os << "cst0:0";
                break;
            case kColConst1:
                os << "cst1:0";
                break;
            case kColBlob:
                os << "blob:" << size;
                break;
            default:
                os << row.codes[i] << ":" << size;
                break;
        }
    }
    os << "]\n";
    for (std::size_t i = 0; i < row.codes.size(); ++i) {
        const std::string value = i < row.values.size() ? row.values[i] : std::string();
        const std::uint32_t size = row.sizes[i];
        switch (row.codes[i] & kColKindMask) {
            case kColNull:
                os << "nul:0x00 : -";
                break;
            case kColConst0:
                os << "cst:0x00 : 0";
                break;
            case kColConst1:
                os << "cst:0x00 : 1";
                break;
            case kColInteger:
                os << "val:0x" << std::hex << std::setw(2) << size << std::dec << " : " << value;
                break;
            case kColText:
                os << "str:0x" << std::hex << std::setw(2) << size << std::dec << " : " << value;
                break;
            case kColReal:
                os << "dbl:0x" << std::hex << std::setw(2) << size << std::dec << " : " << value;
                break;
            case kColBlob:
                os << "blb:0x" << std::hex << std::setw(2) << size << std::dec << " : " << value;
                break;
            default:
                continue;
        }
        os << "\n";
    }
    os << "\n";
    os.fill(fill);
    os.flags(flags);
}

}  // namespace

int decode_record_payload(base_rowdata& row, std::uint32_t* consumed, std::ostream* trace,
                          const std::uint8_t* payload, std::size_t length, std::uint32_t /*unused_count*/,
                          std::uint64_t file_offset, bool annotate_time, bool raw_blob,
                          text_encoding encoding, bool values_only) {
    row.clear();
    *consumed = 0;
    year_bound();
    std::uint32_t header_size = 0;
    if (!decode_record_header(&header_size, row.codes, row.sizes, payload, length, true)) {
        row.clear();
        return 1;
    }
    if (header_size > length) {
        row.clear();
        return 0;
    }
    std::size_t pos = header_size;
    std::size_t remaining = length - header_size;
    row.values.reserve(row.codes.size());
    for (std::uint32_t i = 0; i < row.codes.size(); ++i) {
        const std::uint32_t kind = row.codes[i] & kColKindMask;
        if (kind < kColNull || kind > kColBlob) continue;
        const std::size_t n = row.sizes[i] < remaining ? row.sizes[i] : remaining;
        row.values.push_back(column_value(row, i, payload + pos, n, annotate_time, raw_blob, encoding,
                                          values_only && !annotate_time));
        pos += n;
        remaining -= n;
    }
    *consumed = static_cast<std::uint32_t>(length - remaining);
    if (trace) write_trace(*trace, row, file_offset, header_size);
    return 1;
}

namespace {

// The value that `take` asks for among those of `codes` and `sizes` after a header of `header_size` in a
// payload of `length` bytes: its index among the values, where its bytes begin and how many they are.
void find_taken_value(taken_value& take, const std::vector<std::uint32_t>& codes,
                      const std::vector<std::uint32_t>& sizes, std::size_t header_size, std::size_t length,
                      bool raw_blob, text_encoding encoding) {
    take.index = taken_value::kNone;
    take.size = 0;
    std::size_t pos = header_size;
    std::size_t remaining = length - header_size;
    std::size_t count = 0;
    for (std::uint32_t i = 0; i < codes.size(); ++i) {
        const std::uint32_t kind = codes[i] & kColKindMask;
        if (kind < kColNull || kind > kColBlob) continue;
        const std::size_t n = sizes[i] < remaining ? sizes[i] : remaining;
        const bool as_stored =
            (kind == kColBlob && raw_blob) || (kind == kColText && encoding == text_encoding::utf8);
        if (as_stored && n >= take.from && n > take.size) {
            take.index = count;
            take.at = pos;
            take.size = n;
        }
        ++count;
        pos += n;
        remaining -= n;
    }
}

}  // namespace

int decode_record_values(std::vector<std::string>& values, std::vector<std::uint32_t>& codes,
                         std::vector<std::uint32_t>& sizes, const std::uint8_t* payload, std::size_t length,
                         bool raw_blob, text_encoding encoding, taken_value* take) {
    if (take != nullptr) take->index = taken_value::kNone;
    std::uint32_t header_size = 0;
    // A stored record's types as the library reads them: a length its payload cannot hold is then told by
    // the walk, never read as another.
    const bool decoded = decode_record_header(&header_size, codes, sizes, payload, length, true) != 0;
    if (!decoded || header_size > length) {
        const bool refused = decoded;
        values.clear();
        codes.clear();
        sizes.clear();
        return refused ? 0 : 1;
    }
    // No value of a shorter record is that long.
    if (take != nullptr && length >= take->from)
        find_taken_value(*take, codes, sizes, header_size, length, raw_blob, encoding);
    const std::size_t skipped = take != nullptr ? take->index : taken_value::kNone;
    std::size_t pos = header_size;
    std::size_t remaining = length - header_size;
    if (values.size() < codes.size()) values.resize(codes.size());
    std::size_t count = 0;
    for (std::uint32_t i = 0; i < codes.size(); ++i) {
        const std::uint32_t kind = codes[i] & kColKindMask;
        if (kind < kColNull || kind > kColBlob) continue;
        const std::size_t n = sizes[i] < remaining ? sizes[i] : remaining;
        if (count == skipped)
            values[count++].clear();
        else
            plain_column_text(values[count++], codes[i], payload + pos, n, raw_blob, encoding);
        pos += n;
        remaining -= n;
    }
    values.resize(count);
    return 1;
}
