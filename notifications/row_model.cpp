#include "notifications/row_model.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "common/encoding.h"
#include "common/formatters.h"
#include "common/text_numbers.h"
#include "common/text_rewrite.h"
#include "time/qm_time.h"
#include "time/time_text.h"

namespace {

constexpr int kMaxType = 31;
constexpr unsigned kMaxCells = 255;

// The quoting rule: every text is wrapped in double quotes, each double quote inside doubled, so a CSV
// reader gets it back whole. A JSON-looking text is no exception: its bare quotes would break the field.
// `out` takes the result (its storage is reused); it must not be `text` itself.
void assign_quoted(std::string& out, const std::string& text, std::uint32_t flags) {
    if ((flags & kCellQuote) == 0) {
        out.assign(text);
        return;
    }
    out.clear();
    append_quoted_cell(out, text);
}

std::string quote_text(const std::string& text, std::uint32_t flags) {
    std::string quoted;
    assign_quoted(quoted, text, flags);
    return quoted;
}

// A double as u64 without undefined conversions: values of 2^63 and above convert as unsigned,
// negative ones through the signed form, values outside both ranges saturate.
std::uint64_t double_to_u64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 18446744073709551616.0) return UINT64_MAX;
    if (d >= 9223372036854775808.0) return static_cast<std::uint64_t>(d);
    if (d >= -9223372036854775808.0) return static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
    return static_cast<std::uint64_t>(INT64_MIN);
}

}  // namespace

bool is_two_slot(int type) { return type == 12 || type == 15 || type == 17 || type == 19 || type == 21; }

qm::type_time kind_of_type(int type) {
    switch (type) {
        case 12:
        case 13:
        case 23:
        case 24:
            return qm::type_filetime;
        case 15:
        case 16:
        case 25:
        case 26:
            return qm::type_unix;
        case 17:
        case 18:
            return qm::type_chrome;
        case 19:
        case 20:
            return qm::type_firefox;
        case 21:
        case 22:
            return qm::type_safari;
        default:
            return qm::type_none;
    }
}

// ---------------------------------------------------------------- construction

variant_row::variant_row() : valid(0), count(0), row_flags(0) { init(0, false); }

variant_row::variant_row(unsigned int n, bool text_init) : valid(0), count(0), row_flags(0) {
    init(n, text_init);
}

variant_row::variant_row(unsigned int n, bool text_init, unsigned int flags)
    : valid(0), count(0), row_flags(0) {
    init(n, text_init);
    row_flags = flags;
}

variant_row make_variant_row(unsigned int n, bool text_init) { return variant_row(n, text_init); }

variant_row make_variant_row(unsigned int n, bool text_init, unsigned int flags) {
    return variant_row(n, text_init, flags);
}

void variant_row::init(unsigned int n, bool text_init) {
    valid = 0;
    count = 0;
    row_flags = 0;
    fields.clear();
    if (n == 0 || n > kMaxCells) return;
    try {
        fields.resize(n);
    } catch (...) {
        fields.clear();
        return;
    }
    valid = 1;
    count = n;
    if (text_init) {
        for (qm_variant_lite& cell : fields) {
            cell.type = 11;
            cell.flags = 0;
        }
    }
}

void variant_row::clear() {
    if (valid != 1) {
        init(0, false);
        return;
    }
    for (qm_variant_lite& cell : fields) cell.clear();
}

qm_variant_lite* variant_row::take_cell(int i, int type) {
    if (valid != 1 || i < 0 || static_cast<unsigned>(i) >= count ||
        static_cast<std::size_t>(i) >= fields.size()) {
        return nullptr;
    }
    if (type < 0 || type > kMaxType) return nullptr;
    qm_variant_lite* cell = &fields[static_cast<std::size_t>(i)];
    cell->clear();
    return cell;
}

bool variant_row::blank_next(int i) {
    const std::size_t next = static_cast<std::size_t>(i) + 1;
    if (next >= count || next >= fields.size()) return false;
    qm_variant_lite& cell = fields[next];
    cell.value = 0;
    cell.values.clear();
    cell.type = 0;
    cell.flags = 0;
    return true;
}

// ---------------------------------------------------------------- setters

int variant_row::set_u64(int i, std::uint64_t value, int type, std::uint32_t flags) {
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 1;
    cell->value = value;
    cell->type = static_cast<std::uint16_t>(type);
    cell->flags = flags | row_flags;
    if (is_two_slot(type) && blank_next(i)) return 2;
    return 1;
}

int variant_row::set_double(int i, int type, std::uint32_t flags, double value) {
    std::uint64_t v = double_to_u64(value);
    if (type == 21 || type == 22) {
        const qm::time t(value, qm::type_safari);
        v = t.valid ? t.filetime : 0;
        type = type == 21 ? 12 : 13;
    }
    return set_u64(i, v, type, flags);
}

int variant_row::set_u64_list(int i, const qm_variant_lite& source, int type, std::uint32_t flags) {
    // Copied first: the source may be a cell of this very row.
    std::vector<unsigned long long> list = source.values;
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 1;
    if (list.empty()) list.push_back(0);
    cell->flags = flags | row_flags;
    cell->type = static_cast<std::uint16_t>(type);
    cell->value = (cell->flags & kCellListLast) != 0 ? list.back() : list.front();
    cell->values = std::move(list);
    blank_next(i);
    return (type == 12 || type == 15 || type == 17 || type == 21) ? 2 : 1;
}

int variant_row::set_bytes(int i, const unsigned char* data, int length, int type, std::uint32_t flags) {
    if (data == nullptr || length < 1) return 1;
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 1;
    cell->type = static_cast<std::uint16_t>(type);
    cell->flags = flags | row_flags;
    if (type == 11) {
        cell->text = quote_text(
            std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)), cell->flags);
    } else {
        cell->bytes.assign(data, data + length);
    }
    return 1;
}

int variant_row::set_byte_vector(int i, const std::vector<unsigned char>& data, int type,
                                 std::uint32_t flags) {
    if (data.size() > static_cast<std::size_t>(INT32_MAX)) return 1;
    return set_bytes(i, data.data(), static_cast<int>(data.size()), type, flags);
}

int variant_row::set_text(int i, const std::string& text, std::uint32_t flags) {
    qm_variant_lite* cell = take_cell(i, 11);
    if (cell == nullptr) return 1;
    cell->type = 11;
    cell->flags = flags | row_flags;
    cell->text = quote_text(text, cell->flags);
    return 1;
}

int variant_row::set_string(int i, const std::string& text, int type, std::uint32_t flags) {
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 1;
    cell->type = static_cast<std::uint16_t>(type);
    cell->flags = flags | row_flags;
    if (cell->flags == kCellFlatten) {
        std::string t = text;
        flatten_line_endings(t);
        assign_quoted(cell->text, t, cell->flags);
    } else {
        assign_quoted(cell->text, text, cell->flags);
    }
    return 1;
}

int variant_row::set_string_view(int i, std::string_view text, int type, std::uint32_t flags) {
    if (((flags | row_flags) & kCellQuote) != 0 || (flags | row_flags) == kCellFlatten)
        return set_string(i, std::string(text), type, flags);
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 1;
    cell->type = static_cast<std::uint16_t>(type);
    cell->flags = flags | row_flags;
    cell->text.assign(text.data(), text.size());
    return 1;
}

int variant_row::set_wide_string(int i, const std::wstring& text, int type, std::uint32_t flags) {
    return set_string(i, wstring_to_utf8(text), type, flags);
}

namespace {
int stream_text_into(qm_variant_lite* cell, const std::string& text, int type, std::uint32_t flags) {
    switch (type) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 12:
        case 13:
        case 15:
        case 16:
        case 17:
        case 18:
        case 21:
        case 22:
        case 23:
        case 24:
        case 25:
        case 26: {
            std::uint64_t v = 0;
            string_to_u64(text, &v);
            cell->value = v;
            break;
        }
        case 11:
        case 30: {
            std::string t = text;
            if (flags == kCellFlatten) flatten_line_endings(t);
            cell->text = quote_text(t, flags);
            break;
        }
        default:
            return 0;
    }
    cell->type = static_cast<std::uint16_t>(type);
    cell->flags = flags;
    return 1;
}
}  // namespace

int variant_row::set_stream_text(int i, const std::ostringstream& stream, int type, std::uint32_t flags) {
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 0;
    return stream_text_into(cell, stream.str(), type, flags | row_flags);
}

int variant_row::set_stream_text(int i, const std::stringstream& stream, int type, std::uint32_t flags) {
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return 0;
    return stream_text_into(cell, stream.str(), type, flags | row_flags);
}

int variant_row::set_time_text(int i, std::uint64_t value, int type, std::uint32_t flags,
                               const date_time_format* format) {
    qm_variant_lite* cell = take_cell(i, type);
    if (cell == nullptr) return -1;
    if (is_two_slot(type)) return -1;
    cell->value = value;
    cell->type = static_cast<std::uint16_t>(type);
    cell->flags = 0;
    if (type != 13 && type != 16 && type != 18 && type != 20 && type != 22) return -1;
    const qm::time t(static_cast<unsigned long long>(value), kind_of_type(type));
    if (!t.valid) return 1;
    std::string date;
    std::string time;
    if (format != nullptr) {
        format_date_time_by_format(date, time, t, format);
    } else {
        format_date_time_ms(date, time, t, false);
    }
    cell->text = quote_text(date + " " + time, flags | row_flags);
    cell->type = 11;
    return 1;
}

int variant_row::set_text_by_header(int i, const std::string& text,
                                    const std::vector<qm_variant_lite>& header,
                                    const date_time_format* format, variant_text_callback first,
                                    variant_text_callback second) {
    if (valid != 1 || i < 0 || static_cast<unsigned>(i) >= count ||
        static_cast<std::size_t>(i) >= fields.size() || header.size() < static_cast<std::size_t>(i) + 1) {
        return -1;
    }
    const qm_variant_lite& tmpl = header[static_cast<std::size_t>(i)];
    qm_variant_lite& cell = fields[static_cast<std::size_t>(i)];
    cell = tmpl;
    cell.bytes.clear();
    cell.values.clear();
    cell.value = 0;
    cell.text = text;
    switch (cell.type) {
        case 13:
        case 16:
        case 18:
        case 20:
        case 22: {
            qm::time t;
            if ((cell.flags & kCellDouble) != 0) {
                char* end = nullptr;
                const double d = std::strtod(text.c_str(), &end);
                std::uint64_t bits = 0;
                std::memcpy(&bits, &d, sizeof bits);
                cell.value = bits;
                t = qm::time(d, kind_of_type(cell.type));
            } else {
                std::uint64_t v = 0;
                string_to_u64(text, &v);
                cell.value = v;
                t = qm::time(static_cast<unsigned long long>(v), kind_of_type(cell.type));
            }
            if (!t.valid) break;
            std::string date;
            std::string time;
            format_date_time_by_format(date, time, t, format);
            if (date.empty()) break;
            cell.text = quote_text(text + ": " + date + " " + time, cell.flags);
            break;
        }
        case 27:
            if (text.size() == 16)
                cell.text = guid_to_string(reinterpret_cast<const unsigned char*>(text.data()));
            break;
        case 28:
        case 29: {
            std::ostringstream hex;
            hex << std::hex << std::setfill('0');
            for (std::size_t k = 0; k < text.size(); ++k) {
                if (k != 0) hex << ' ';
                hex << std::setw(2) << static_cast<unsigned>(static_cast<unsigned char>(text[k]));
            }
            cell.text = hex.str();
            break;
        }
        case 11:
            if ((cell.flags & kCellTextCallback1) != 0 && first != nullptr) {
                cell.text.clear();
                first(cell.text, text);
            } else if ((cell.flags & kCellTextCallback2) != 0 && second != nullptr) {
                cell.text.clear();
                second(cell.text, text);
            }
            break;
        default:
            break;
    }
    return 1;
}
