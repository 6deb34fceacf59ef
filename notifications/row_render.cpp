#include "notifications/row_render.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string_view>

#include "common/formatters.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "notifications/row_run_log.h"
#include "time/qm_time.h"
#include "time/time_text.h"

namespace {

// Whether a field's first double quote opens it for a reader: not after a padded separator such as " | ",
// whose blank comes before it.
bool separator_opens_field(const std::string& separator) {
    return separator.size() <= 1 || separator.back() != ' ';
}

// Whether a field as written (its padding and leading blank included) must be quoted to read back whole: it
// holds the separator, or it begins with a double quote where that opens a field.
bool field_needs_quotes(std::string_view field, const std::string& separator, bool opens_field) {
    if (opens_field && !field.empty() && field.front() == '"') return true;
    if (separator.empty() || field.size() < separator.size()) return false;
    // Padded fields are mostly blanks: the search keys on the separator's first other character.
    const std::size_t key = std::min(separator.find_first_not_of(' '), separator.size() - 1);
    const char* p = field.data() + key;
    const char* const end = field.data() + field.size() - (separator.size() - 1 - key);
    while (p < end && (p = static_cast<const char*>(
                           std::memchr(p, separator[key], static_cast<std::size_t>(end - p)))) != nullptr) {
        if (std::memcmp(p - key, separator.data(), separator.size()) == 0) return true;
        ++p;
    }
    return false;
}

// Quotes the field that begins at `start` of `line` when it needs it (RFC 4180, padding inside the quotes).
void quote_field_from(std::string& line, std::size_t start, const std::string& separator, bool opens_field) {
    const std::string_view field(line.data() + start, line.size() - start);
    if (!field_needs_quotes(field, separator, opens_field)) return;
    std::string quoted;
    append_quoted_cell(quoted, std::string(field));
    line.replace(start, std::string::npos, quoted);
}

double u64_bits_to_double(std::uint64_t v) {
    double d = 0;
    static_assert(sizeof d == sizeof v, "double is 64 bits");
    std::memcpy(&d, &v, sizeof d);
    return d;
}

// The time of a cell value: Safari types under kCellDouble read the value as a double.
qm::time time_of_value(std::uint64_t value, int type, std::uint32_t flags, bool* negative_double) {
    if (negative_double != nullptr) *negative_double = false;
    const qm::type_time kind = kind_of_type(type);
    if (kind == qm::type_safari && (flags & kCellDouble) != 0) {
        const double d = u64_bits_to_double(value);
        if (negative_double != nullptr) *negative_double = d < 0;
        return qm::time(d, qm::type_safari);
    }
    return qm::time(static_cast<unsigned long long>(value), kind);
}

// The options' format word, filled from the default patterns when it was never compiled, and without
// sub-second digits when asked.
date_time_format effective_format(const date_time_format& given, bool no_sub_second) {
    date_time_format f = given;
    if (f.flags == 0) parse_date_time_format(f, kDefaultDatePattern, kDefaultTimePattern, false);
    if (no_sub_second) f.flags &= ~dtf_fraction_mask;
    return f;
}

// The text of one row as it is built: a string with the little of an output stream's state that the cells
// use (field width, fill, alignment, number base). A stream per row costs a locale look-up for every
// number and field; this keeps the same layout rules without one.
class line_builder {
  public:
    explicit line_builder(std::string& out) : out_(out) {}

    // The width of the next field only, as std::setw: shorter fields are padded, longer ones kept whole.
    void width(unsigned long long w) { width_ = w; }
    void fill(char c) { fill_ = c; }
    void right() { right_ = true; }
    void left() { right_ = false; }
    void hex() { hex_ = true; }
    void dec() { hex_ = false; }

    line_builder& operator<<(const std::string& s) {
        field(s.data(), s.size());
        return *this;
    }
    line_builder& operator<<(const char* s) {
        field(s, std::strlen(s));
        return *this;
    }
    line_builder& operator<<(char c) {
        field(&c, 1);
        return *this;
    }
    line_builder& operator<<(unsigned long long v) {
        char digits[24];
        const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v, hex_ ? 16 : 10);
        field(digits, static_cast<std::size_t>(r.ptr - digits));
        return *this;
    }
    // Several texts as one field (the width covers them all).
    void joined(const std::string& a, char b, const std::string& c) {
        pad_before(a.size() + 1 + c.size());
        out_ += a;
        out_ += b;
        out_ += c;
        pad_after();
    }
    // Blanks that are not a field: the width stays for the next field.
    void indent(unsigned n) { out_.append(n, ' '); }
    // A quoted text (it begins and ends with a double quote) as one field, padded inside its quotes: a CSV
    // reader takes neither a blank before an opening quote nor text after a closing one.
    void quoted_field(const std::string& q) {
        const std::size_t pad = width_ > q.size() ? static_cast<std::size_t>(width_ - q.size()) : 0;
        width_ = 0;
        if (right_) {
            out_ += '"';
            out_.append(pad, fill_);
            out_.append(q, 1, std::string::npos);
        } else {
            out_.append(q, 0, q.size() - 1);
            out_.append(pad, fill_);
            out_ += '"';
        }
    }

    // Where the field being written begins, and its end: the field is quoted there when a reader would
    // split it at the separator or take its first double quote for an opening one.
    void begin_field() { field_start_ = out_.size(); }
    void end_field(const std::string& separator, bool opens_field) {
        quote_field_from(out_, field_start_, separator, opens_field);
    }

    const std::string& text() const { return out_; }

  private:
    void field(const char* p, std::size_t n) {
        pad_before(n);
        out_.append(p, n);
        pad_after();
    }
    void pad_before(std::size_t n) {
        pending_ = width_ > n ? static_cast<std::size_t>(width_ - n) : 0;
        width_ = 0;
        if (right_ && pending_ != 0) {
            out_.append(pending_, fill_);
            pending_ = 0;
        }
    }
    void pad_after() {
        if (pending_ != 0) out_.append(pending_, fill_);
        pending_ = 0;
    }

    std::string& out_;
    std::size_t field_start_ = 0;
    unsigned long long width_ = 0;
    std::size_t pending_ = 0;
    char fill_ = ' ';
    bool right_ = false;
    bool hex_ = false;
};

// Everything the renderer reads from the options once per row.
struct render_ctx {
    const cmd_params* options;
    const std::vector<qm_variant_lite>* header;
    std::string blank;  // " ", or empty under no-whitespace
    bool padded;        // widths apply
    bool multiline;
    bool opens_field;      // separator_opens_field of the options' separator
    row_buffers* buffers;  // the texts of recent times, or null
};

// The end of a field of a one-line row; the multiline form has no separators to guard.
void end_field(line_builder& os, const render_ctx& c) {
    if (!c.multiline) os.end_field(c.options->separator, c.opens_field);
}

unsigned long long header_width(const render_ctx& c, std::size_t i) {
    // Cells beyond the template have no column width of their own.
    return i < c.header->size() ? (*c.header)[i].width : 0;
}

// Date and time texts of a valid time (blank texts for an invalid one).
void date_time_texts(const render_ctx& c, const qm::time& t, bool format_anyway, bool no_sub_second,
                     std::string& date, std::string& time) {
    date.clear();
    time.clear();
    if (t.valid || format_anyway) {
        const date_time_format f = effective_format(c.options->format_word, no_sub_second);
        format_date_time_by_format(date, time, t, f);
    }
    if (date.empty() && time.empty()) {
        date = c.blank;
        time = c.blank;
    }
}

// The same for a FILETIME, without building a whole time value; true when the time is valid.
bool filetime_date_time_texts(const render_ctx& c, std::uint64_t filetime, bool no_sub_second,
                              std::string& date, std::string& time) {
    const date_time_format f = effective_format(c.options->format_word, no_sub_second);
    if (c.buffers != nullptr)
        c.buffers->filetime_texts(filetime, f, date, time);
    else
        format_filetime_by_format(date, time, filetime, f);
    // Every valid time has a time text, whatever the word says of the date.
    const bool valid = !time.empty();
    if (date.empty() && time.empty()) {
        date = c.blank;
        time = c.blank;
    }
    return valid;
}

void write_hex_bytes(line_builder& os, const std::vector<unsigned char>& bytes, unsigned long long w,
                     bool shorten, const std::string& blank, bool padded) {
    if (bytes.empty()) {
        if (padded) os.width(w);
        os << blank;
        return;
    }
    static const char kHexDigits[] = "0123456789abcdef";
    std::string text;
    // Shortened: bytes 0..n are shown, then "..." when more remain.
    long long n = 16;
    if (w != 0) n = static_cast<long long>(w / 3) - 2;
    if (n < 0) n = 0;
    for (std::size_t b = 0; b < bytes.size(); ++b) {
        text += kHexDigits[bytes[b] >> 4];
        text += kHexDigits[bytes[b] & 15];
        if (!shorten) continue;
        if (b + 1 < bytes.size()) text += ' ';
        if (static_cast<long long>(b) == n && b + 1 < bytes.size()) {
            text += "...";
            break;
        }
    }
    if (padded) os.width(w);
    os << text;
}

// An integer cell. The cell may be turned into an empty text (zero-blank rule).
void write_integer(line_builder& os, const render_ctx& c, qm_variant_lite& cell, unsigned long long w,
                   unsigned p) {
    const std::uint32_t fl = cell.flags;
    const unsigned long long value = cell.value;
    os.right();
    // The padded width of the hex digits, else the type's own hex width (none for type 3).
    auto hex_width = [&]() -> long long {
        if (c.padded && p + 2 <= w) return static_cast<long long>(w - p - 2);
        switch (cell.type) {
            case 1:
                return 2;
            case 2:
                return 4;
            case 4:
            case 8:
                return 8;
            default:
                return -1;
        }
    };
    // "0x" and the value in hexadecimal, zero-filled to the width of its type when that is known.
    const auto write_fixed_hex = [&]() {
        os << "0x";
        os.fill('0');
        const long long hw = hex_width();
        if (hw >= 0) os.width(static_cast<unsigned long long>(hw));
        os.hex();
        os << value;
        os.dec();
        os.fill(' ');
    };
    if ((fl & kCellZeroBlank) != 0 && value == 0) {
        if (c.padded && p <= w) os.width(w - p);
        os << c.blank;
        cell.clear();
        cell.type = 11;
        return;
    }
    if ((fl & kCellHexBare) != 0) {
        os.fill(' ');
        if (c.padded && p <= w) os.width(w - p);
        os.hex();
        os << value;
        os.dec();
        return;
    }
    if ((fl & kCellHex) != 0) {
        os << "0x";
        os.fill('0');
        if (c.padded && p + 2 <= w) os.width(w - p - 2);
        os.hex();
        os << value;
        os.dec();
        os.fill(' ');
        return;
    }
    if ((fl & kCellHexDec) != 0) {
        write_fixed_hex();
        os << " [" << value << "]";
        return;
    }
    if (!c.options->base16 || (fl & kCellDecimal) != 0) {
        os.fill(' ');
        if (c.padded && p < w) os.width(w - p);
        os << value;
        return;
    }
    write_fixed_hex();
}

// True when it wrote a field that is quoted already.
bool write_text(line_builder& os, const render_ctx& c, qm_variant_lite& cell, unsigned long long w,
                unsigned p) {
    const std::uint32_t fl = cell.flags;
    if ((fl & kCellRight) != 0)
        os.right();
    else
        os.left();
    const cmd_params& o = *c.options;
    if (o.value_char != 0) replace_char(cell.text, o.value_char, o.value_char_replacement, false);
    // Line breaks and other control bytes from the data never reach the output raw, in any form: they
    // would split the row or drive the terminal.
    show_control_bytes(cell.text);
    // A text the setters quoted is one field already. A plain cell that still holds the separator is quoted
    // as a whole field, padding included, once it is written (end_field); the cell itself keeps its unquoted
    // text, so that writing it again quotes it once.
    const std::string& text = cell.text;
    const bool quoted =
        (fl & kCellQuote) != 0 && text.size() >= 2 && text.front() == '"' && text.back() == '"';
    const unsigned long long len = text.size();
    if ((fl & kCellCut) != 0 && len > cell.max_length) {
        if (c.padded && p <= w) os.width(w - p);
        os << text.substr(0, cell.max_length);
    } else if ((fl & kCellCentre) != 0 && c.padded && p + len < w) {
        const unsigned long long k = (w - p - len) / 2;
        os.fill(' ');
        os.indent(static_cast<unsigned>(k));
        os.width(w - (k + p));
        os << text;
    } else {
        if (c.padded && p <= w) os.width(w - p);
        // Padded inside its quotes, not quoted again.
        if (quoted)
            os.quoted_field(text);
        else
            os << text;
    }
    return quoted;
}

// A list of times joined by "; " (kCellTimeList).
void write_time_list(line_builder& os, const render_ctx& c, const qm_variant_lite& cell,
                     unsigned long long w) {
    if (is_two_slot(cell.type)) return;
    std::string joined;
    const bool no_sub = (cell.flags & kCellNoSubSecond) != 0;
    for (std::size_t k = 0; k < cell.values.size(); ++k) {
        std::string date;
        std::string time;
        bool negative = false;
        const qm::time t = time_of_value(cell.values[k], cell.type, cell.flags, &negative);
        date_time_texts(c, t, negative, no_sub, date, time);
        if (k != 0) joined += "; ";
        joined += date + " " + time;
    }
    if (c.options->padded_separator) os << c.blank;
    if (c.padded) os.width(w);
    os << joined;
}

// Time cells that are not lists. May advance i into the cell that holds the time of a two-slot pair.
void write_time_slot(line_builder& os, const render_ctx& c, const variant_row& row, unsigned& i,
                     unsigned long long w) {
    const qm_variant_lite& cell = row.fields[i];
    const int type = cell.type;
    bool negative = false;
    bool valid = false;
    const bool unix_kind = type == 15 || type == 16 || type == 25 || type == 26;
    // Unix seconds never show sub-second digits.
    const bool no_sub_second = unix_kind || (cell.flags & kCellNoSubSecond) != 0;
    std::string date;
    std::string time;
    if (kind_of_type(type) == qm::type_filetime) {
        valid = filetime_date_time_texts(c, cell.value, no_sub_second, date, time);
    } else {
        const qm::time t = time_of_value(cell.value, type, cell.flags, &negative);
        valid = t.valid;
        date_time_texts(c, t, negative, no_sub_second, date, time);
    }
    const std::string& sep = c.options->separator;
    const bool lead = c.options->padded_separator;
    // The date of a two-slot time is a field of its own: it ends at the separator written here.
    const auto date_field = [&] {
        if (c.padded) os.width(w);
        os << date;
        end_field(os, c);
        os << sep;
        os.begin_field();
    };
    switch (type) {
        case 12:
        case 15:
        case 17:
        case 19:
        case 21:
            date_field();
            ++i;
            if (i < row.count) {
                if (lead) os << c.blank;
                if (c.padded) os.width(header_width(c, i));
                os << time;
            }
            break;
        case 13:
        case 16:
        case 18:
        case 20:
        case 22:
            // An invalid time is one blank cell, not a blank date, a joiner and a blank time.
            if (lead) os << c.blank;
            if (c.padded) os.width(w);
            if (valid || negative)
                os.joined(date, ' ', time);
            else
                os << c.blank;
            break;
        case 23:
        case 25:
            date_field();
            break;
        case 24:
        case 26:
            if (lead) os << c.blank;
            if (c.padded) os.width(w);
            os << time;
            break;
        default:
            break;
    }
}

void align(line_builder& os, bool right) {
    if (right)
        os.right();
    else
        os.left();
}

// Prints cell i by its type; i may advance past the second slot of a pair. True when the field it wrote
// last is quoted already.
bool write_cell(line_builder& os, const render_ctx& c, variant_row& row, unsigned& i, unsigned p) {
    qm_variant_lite& cell = row.fields[i];
    const unsigned long long w = header_width(c, i);
    const bool right = (cell.flags & kCellRight) != 0;
    switch (cell.type) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 8:
            write_integer(os, c, cell, w, p);
            break;
        case 11:
            if (write_text(os, c, cell, w, p)) {
                os.fill(' ');
                os.left();
                return true;
            }
            break;
        case 12:
        case 13:
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
        case 22:
        case 23:
        case 24:
            align(os, right);
            if (cell.flags == kCellTimeList && !cell.values.empty()) {
                write_time_list(os, c, cell, w);
            } else {
                write_time_slot(os, c, row, i, w);
            }
            break;
        case 14: {
            std::string v;
            if (c.options->base16 || cell.flags == kCellHex) {
                char digits[17];
                const std::to_chars_result r = std::to_chars(digits, digits + 16, cell.value, 16);
                const std::size_t n = static_cast<std::size_t>(r.ptr - digits);
                v = "0x";
                v.append(16 - n, '0');
                v.append(digits, n);
            } else {
                v = std::to_string(cell.value);
            }
            if (c.options->padded_separator) os << c.blank;
            if (c.padded) os.width(w);
            os << v;
            break;
        }
        case 15:
        case 16:
        case 25:
        case 26:
            align(os, right);
            write_time_slot(os, c, row, i, w);
            break;
        case 27:
            align(os, right);
            if (c.padded) os.width(w);
            if (cell.bytes.size() < 16) {
                os << c.blank;
            } else {
                os << guid_to_string(cell.bytes.data());
            }
            break;
        case 28:
        case 29:
            align(os, right);
            write_hex_bytes(os, cell.bytes, w, cell.type == 28, c.blank, c.padded);
            break;
        case 30:
            os << cell.text;
            break;
        default:
            break;
    }
    os.fill(' ');
    os.left();
    return false;
}

// The text of a streamed cell in pieces, as set_string and write_text make a cell's text: quoted under
// kCellQuote, the value character replaced, control bytes shown. How many bytes the source gave.
std::size_t put_cell_text(const render_ctx& c, const text_source& source, std::uint32_t flags,
                          text_sink& out) {
    const cmd_params& o = *c.options;
    control_byte_sink shown(out);
    char_replace_sink replaced(shown, o.value_char, o.value_char_replacement);
    text_sink& into = o.value_char != 0 ? static_cast<text_sink&>(replaced) : shown;
    std::size_t given = 0;
    if ((flags & kCellQuote) != 0) {
        into.put('"');
        quote_doubling_sink doubled(into);
        counting_sink counted(doubled);
        source.put_to(counted);
        given = counted.count();
        into.put('"');
    } else {
        counting_sink counted(into);
        source.put_to(counted);
        given = counted.count();
    }
    shown.end();
    return given;
}

// Writes the streamed cell at row cell `i` as write_text and end_field would write it were its text whole:
// what the line holds so far goes to `os`, then the cell in pieces (one pass over the text to learn its
// length and whether the field needs quotes, one to write it). False, with nothing written, for an empty
// text: the row's own cell is then written.
bool write_streamed_cell(line_builder& line, std::string& text, std::ostream& os, const render_ctx& c,
                         const streamed_text_cell& cell, const variant_row& row, unsigned i, unsigned p) {
    const std::uint32_t flags = (cell.flags | row.row_flags) & kCellQuote;
    text_facts_sink facts(c.multiline ? std::string() : c.options->separator);
    if (put_cell_text(c, *cell.text, flags, facts) == 0) return false;
    const unsigned long long w = header_width(c, i);
    const std::size_t length = facts.length();
    const bool quoted = flags != 0 && length >= 2 && facts.first() == '"' && facts.last() == '"';
    const unsigned long long width = c.padded && p <= w ? w - p : 0;
    const std::string pad(width > length ? static_cast<std::size_t>(width - length) : 0, ' ');
    // The field as the line would hold it, the text and then its padding, quoted where a reader would split
    // it (end_field).
    bool field_quotes = false;
    if (!quoted && !c.multiline) {
        facts.put(pad);
        field_quotes = (c.opens_field && facts.first() == '"') || facts.holds_separator();
    }
    os << text;
    text.clear();
    {
        stream_text_sink out(os);
        if (quoted) {
            // Padded inside its quotes.
            last_byte_dropping_sink all_but_last(out);
            put_cell_text(c, *cell.text, flags, all_but_last);
            out.put(pad);
            out.put('"');
        } else if (field_quotes) {
            out.put('"');
            quote_doubling_sink doubled(out);
            put_cell_text(c, *cell.text, flags, doubled);
            doubled.put(pad);
            out.put('"');
        } else {
            put_cell_text(c, *cell.text, flags, out);
            out.put(pad);
        }
    }
    line.fill(' ');
    line.left();
    return true;
}

// The multiline form's one-time label preparation.
void prepare_multiline_template(std::vector<qm_variant_lite>& header_fields) {
    std::size_t longest = 0;
    for (qm_variant_lite& cell : header_fields) {
        if (cell.type == 31) continue;
        cell.text += ":";
        if (cell.text.size() > longest) longest = cell.text.size();
    }
    for (qm_variant_lite& cell : header_fields) {
        if (cell.type != 31) cell.width = longest + 1;
    }
}

void write_label(std::ostream& os, const std::string& label, unsigned long long w, bool padded) {
    if (padded && w > label.size()) {
        const unsigned long long k = (w - label.size()) / 2;
        write_indent(os, static_cast<unsigned>(k));
        os << std::left;
        os.width(static_cast<std::streamsize>(w - k));
    } else {
        os << std::left;
    }
    os << label;
}

int stream_ok(const std::ostream& os) { return os.fail() ? 0 : 1; }

}  // namespace

// ---------------------------------------------------------------- writers

int write_header_row(std::ostream& os, cmd_params& options) {
    return write_header_row(os, options, report_header{&options.header_on, &options.header_fields});
}

int write_header_row(std::ostream& os, const cmd_params& options, report_header state) {
    *state.header_on = false;
    const bool padded = !options.no_whitespace;
    const std::string blank = options.no_whitespace ? std::string() : std::string(" ");
    std::ostringstream line;
    line << std::dec << std::setfill(' ') << std::left;
    const std::vector<qm_variant_lite>& header = *state.header_fields;
    const bool opens_field = separator_opens_field(options.separator);
    for (std::size_t i = 0; i < header.size(); ++i) {
        const qm_variant_lite& cell = header[i];
        // Each label is a field as the rows' cells are: quoted where it holds the separator.
        std::ostringstream field;
        if ((cell.type == 13 || cell.type == 18 || cell.type == 24) && options.padded_separator)
            field << blank;
        write_label(field, cell.text, cell.width, padded);
        std::string text = field.str();
        if (!options.multiline) quote_field_from(text, 0, options.separator, opens_field);
        line << text;
        if (i + 1 < header.size()) line << options.separator;
    }
    sqlite_data_log* log = open_run_log(options);
    if (log != nullptr) {
        log_header_line(*log, options.source_type, line.str());
        return 1;
    }
    line << '\n';
    os << line.str();
    return stream_ok(os);
}

// ---------------------------------------------------------------- row_buffers

namespace {

constexpr std::size_t kTimeSlots = 1024;

// write_variant_row with the caller's buffers, or with a line of its own when there are none: the header
// first while it is pending, then the row.
int write_row_with(std::ostream& os, variant_row& row, const cmd_params& options, report_header state,
                   row_buffers* buffers);
// The row rendered against `header` and written (to the run log when one is open), with the `count` cells of
// `streamed` in pieces.
int render_row(std::ostream& os, variant_row& row, const cmd_params& options,
               const std::vector<qm_variant_lite>& header, row_buffers* buffers,
               const streamed_text_cell* streamed = nullptr, std::size_t count = 0);

// The options' own header state.
report_header own_header(cmd_params& options) {
    return report_header{&options.header_on, &options.header_fields};
}

}  // namespace

row_buffers::row_buffers() = default;

void row_buffers::filetime_texts(std::uint64_t filetime, const date_time_format& format, std::string& date,
                                 std::string& time) {
    if (times_.empty()) times_.assign(kTimeSlots, time_texts{});
    std::uint64_t h = filetime * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    time_texts& slot = times_[static_cast<std::size_t>(h % kTimeSlots)];
    if (slot.used && slot.filetime == filetime && slot.flags == format.flags) {
        date.assign(slot.date, slot.date_length);
        time.assign(slot.time, slot.time_length);
        return;
    }
    format_filetime_by_format(date, time, filetime, format);
    // Texts longer than a slot holds are not kept (a format word makes none that long).
    if (date.size() > sizeof slot.date || time.size() > sizeof slot.time) return;
    slot.used = true;
    slot.filetime = filetime;
    slot.flags = format.flags;
    slot.date_length = static_cast<std::uint8_t>(date.size());
    slot.time_length = static_cast<std::uint8_t>(time.size());
    std::memcpy(slot.date, date.data(), date.size());
    std::memcpy(slot.time, time.data(), time.size());
}

// ---------------------------------------------------------------- writers (rows)

int write_variant_row(std::ostream& os, variant_row& row, cmd_params& options) {
    return write_row_with(os, row, options, own_header(options), nullptr);
}

int write_variant_row(std::ostream& os, variant_row& row, cmd_params& options, row_buffers& buffers) {
    return write_row_with(os, row, options, own_header(options), &buffers);
}

int write_variant_row(std::ostream& os, variant_row& row, const cmd_params& settings,
                      const std::vector<qm_variant_lite>& header_fields, row_buffers& buffers) {
    return render_row(os, row, settings, header_fields, &buffers);
}

int write_variant_row(std::ostream& os, variant_row& row, const cmd_params& settings,
                      const std::vector<qm_variant_lite>& header_fields, row_buffers& buffers,
                      const streamed_text_cell& streamed) {
    return render_row(os, row, settings, header_fields, &buffers, &streamed, 1);
}

int write_variant_row(std::ostream& os, variant_row& row, const cmd_params& settings,
                      const std::vector<qm_variant_lite>& header_fields, row_buffers& buffers,
                      const streamed_text_cell* streamed, std::size_t count) {
    return render_row(os, row, settings, header_fields, &buffers, streamed, count);
}

namespace {

int write_row_with(std::ostream& os, variant_row& row, const cmd_params& options, report_header state,
                   row_buffers* buffers) {
    os << std::dec << std::setfill(' ') << std::left;
    if (*state.header_on) {
        if (!options.multiline) {
            if (write_header_row(os, options, state) == 0) return 0;
        } else {
            *state.header_on = false;
            prepare_multiline_template(*state.header_fields);
        }
    }
    return render_row(os, row, options, *state.header_fields, buffers);
}

int render_row(std::ostream& os, variant_row& row, const cmd_params& options,
               const std::vector<qm_variant_lite>& header, row_buffers* buffers,
               const streamed_text_cell* streamed, std::size_t count) {
    std::string own_line;
    std::string& text = buffers != nullptr ? buffers->line : own_line;
    os << std::dec << std::setfill(' ') << std::left;
    render_ctx c;
    c.options = &options;
    c.header = &header;
    c.blank = options.no_whitespace ? std::string() : std::string(" ");
    c.padded = !options.no_whitespace;
    c.multiline = options.multiline;
    c.opens_field = separator_opens_field(options.separator);
    c.buffers = buffers;

    sqlite_data_log* log = open_run_log(options);
    const bool to_log = log != nullptr;
    // An invalid row renders as nothing at all, not even a line break.
    if (row.valid != 1) return stream_ok(os);
    // The streamed cell of each row cell (null for none): a cell named twice is streamed as named first.
    std::vector<const streamed_text_cell*> in_pieces_at;
    for (std::size_t k = 0; k < count && streamed != nullptr; ++k) {
        const streamed_text_cell& cell = streamed[k];
        if (cell.text == nullptr || cell.index < 0 ||
            static_cast<std::size_t>(cell.index) >= row.fields.size())
            continue;
        if (options.sqlite_on) {
            // A run log takes whole lines (and the generic header reads them): the text is made whole.
            std::string whole;
            string_text_sink to_whole(whole);
            cell.text->put_to(to_whole);
            if (!whole.empty()) row.set_string(cell.index, whole, 11, cell.flags);
            continue;
        }
        if (in_pieces_at.empty()) in_pieces_at.assign(row.fields.size(), nullptr);
        if (in_pieces_at[static_cast<std::size_t>(cell.index)] == nullptr)
            in_pieces_at[static_cast<std::size_t>(cell.index)] = &cell;
    }
    generic_hdr hdr;
    text.clear();
    line_builder line(text);
    {
        const unsigned n = static_cast<unsigned>(std::min<std::size_t>(row.count, row.fields.size()));
        for (unsigned i = 0; i < n; ++i) {
            if (c.multiline && i < c.header->size() && (*c.header)[i].type != 30) {
                line.left();
                line.fill(' ');
                line.width((*c.header)[i].width);
                line << (*c.header)[i].text;
            }
            line.fill(' ');
            line.left();
            unsigned p = 0;
            const std::uint32_t fl = row.fields[i].flags;
            line.begin_field();
            if ((fl & kCellArrow) != 0) {
                line << "->";
                p += 2;
            }
            if ((fl & kCellSpace) != 0) {
                line << " ";
                p += 1;
            }
            const unsigned start = i;
            // A cell in pieces ends its field itself.
            const bool in_pieces = i < in_pieces_at.size() && in_pieces_at[i] != nullptr &&
                                   write_streamed_cell(line, text, os, c, *in_pieces_at[i], row, i, p);
            if (!in_pieces && !write_cell(line, c, row, i, p)) end_field(line, c);
            if (options.sqlite_on) feed_generic_hdr(hdr, row.fields[start], text);
            if (!c.multiline) {
                if (i + 1 < n) line << options.separator;
            } else if (i < n && row.fields[i].type != 30) {
                line << '\n';
            }
        }
        // Rows end with a line break unless they go to an open run log without one.
        const bool ends_with_break = !text.empty() && text.back() == '\n';
        if (options.sqlite_off || (!to_log && !ends_with_break)) line << '\n';
    }
    if (to_log) {
        log_row_line(*log, text, hdr);
        return 1;
    }
    os << text;
    return stream_ok(os);
}

}  // namespace

int render_variant_row(std::ostream& os, variant_row& row, cmd_params& options) {
    return write_variant_row(os, row, options);
}

int write_variant_rows(std::ostream& os, std::vector<variant_row>& rows, cmd_params& options) {
    int ok = 1;
    for (variant_row& row : rows) {
        if (row.valid != 1) continue;
        if (write_variant_row(os, row, options) == 0) ok = 0;
    }
    return ok;
}

int write_variant_row_multiline(std::ostream& os, variant_row& row, cmd_params& options) {
    options.multiline = true;
    options.no_whitespace = true;
    options.value_char = 0;
    options.sqlite_off = false;
    return write_variant_row(os, row, options);
}

int variant_row::write_row(std::ostream& os, const variant_row& row, const std::string& separator,
                           bool leading_blank, bool unpadded) {
    std::ostringstream line;
    line << std::dec << std::setfill(' ') << std::left;
    const std::size_t n = row.valid == 1 ? std::min<std::size_t>(row.count, row.fields.size()) : 0;
    const bool opens_field = separator_opens_field(separator);
    for (std::size_t i = 0; i < n; ++i) {
        const qm_variant_lite& cell = row.fields[i];
        std::ostringstream field;
        if ((cell.type == 13 || cell.type == 24 || cell.type == 18) && leading_blank) field << ' ';
        write_label(field, cell.text, cell.width, !unpadded);
        std::string text = field.str();
        quote_field_from(text, 0, separator, opens_field);
        line << text;
        if (i + 1 < n) line << separator;
    }
    line << '\n';
    os << line.str();
    return stream_ok(os);
}
