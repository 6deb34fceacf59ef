// The delimited row model: one report line as a fixed number of typed cells (`qm_variant_lite`), filled
// through the setters of `variant_row`. The row is rendered against a header template (row_render.h), so
// that every row lines up under the column header.
//
// Cell type codes (what a cell holds and how it prints):
//   1, 2, 3, 4, 8   unsigned integer in `value` (byte width 1, 2, 4, 8; 3 has no default hex width)
//   11              text
//   12 / 13         FILETIME: date and time in two slots / in one column
//   14              64-bit number
//   15 / 16         Unix seconds: two slots / one column
//   17 / 18         Chrome time: two slots / one column
//   19 / 20         Firefox time: two slots / one column
//   21 / 22         Safari time (a double's bit pattern under kCellDouble): two slots / one column
//   23 / 24         FILETIME: date only followed by the separator / time only
//   25 / 26         Unix seconds: date only followed by the separator / time only
//   27              16-byte GUID in `bytes`
//   28 / 29         bytes as hex, shortened to the column / all of them, no separators
//   30              text printed unchanged, without width
//   31              header template only: a label outside the multiline label width
// A two-slot cell prints its time into the next cell's column.
#pragma once

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "time/format_word.h"
#include "time/time_kinds.h"

// Cell flag bits.
constexpr std::uint32_t kCellHdrSlotMask = 0xff;       // run-log generic header slot (see generic_hdr)
constexpr std::uint32_t kCellTextCallback1 = 0x100;    // set_text_by_header: first text callback
constexpr std::uint32_t kCellListLast = 0x2000;        // set_u64_list: value = last entry of the list
constexpr std::uint32_t kCellTimeList = 0x4000;        // exactly this: print every time of the list
constexpr std::uint32_t kCellQuote = 0x8000;           // setters quote texts (inner quotes doubled)
constexpr std::uint32_t kCellFlatten = 0x10000;        // exactly this: setters flatten line breaks
constexpr std::uint32_t kCellTextCallback2 = 0x20000;  // set_text_by_header: second text callback
constexpr std::uint32_t kCellDouble = 0x40000;         // the value is a double's bit pattern
constexpr std::uint32_t kCellRight = 0x80000;          // right-align text, time, GUID, hex bytes
constexpr std::uint32_t kCellHexDec = 0x100000;        // integer as "0x" hex and " [" decimal "]"
constexpr std::uint32_t kCellHex = 0x400000;           // integer as "0x" hex
constexpr std::uint32_t kCellCut = 0x1000000;          // cut text to the cell's max_length
constexpr std::uint32_t kCellCentre = 0x2000000;       // centre text in its column
constexpr std::uint32_t kCellZeroBlank = 0x4000000;    // integer 0 prints as a blank cell
constexpr std::uint32_t kCellNoSubSecond = 0x8000000;  // times without sub-second digits
constexpr std::uint32_t kCellArrow = 0x10000000;       // prefix "->"
constexpr std::uint32_t kCellSpace = 0x20000000;       // prefix " "
constexpr std::uint32_t kCellDecimal = 0x40000000;     // integer always decimal
constexpr std::uint32_t kCellHexBare = 0x80000000;     // integer as hex without "0x"

// Writes the cell text of set_text_by_header from the given text; the result is not used.
typedef int (*variant_text_callback)(std::string& cell_text, const std::string& text);

// One report line. A setter given a bad index (row invalid, i < 0, i >= count) or a type above 31 stores
// nothing and leaves the cell as it was.
class variant_row {
  public:
    // Count 0: an invalid row.
    variant_row();
    // init(count, text_init) with row flags 0, or the given row flags.
    variant_row(unsigned int count, bool text_init);
    variant_row(unsigned int count, bool text_init, unsigned int flags);

    // Sizes the row: a count of 0 or above 255 leaves it invalid and empty. With text_init every cell
    // becomes an empty text (type 11).
    void init(unsigned int count, bool text_init);
    // A valid row keeps its size and clears each cell; an invalid one is initialised again with count 0.
    void clear();

    // Stores value, type and flags. A two-slot type (12, 15, 17, 19, 21) also blanks cell i+1 when it
    // exists: 2 then, else 1 (also 1 when nothing was stored).
    int set_u64(int i, std::uint64_t value, int type, std::uint32_t flags);
    // The double as an unsigned integer; for 21/22 the double is Safari seconds and the cell becomes the
    // FILETIME of that time as type 12/13. Then as set_u64.
    int set_double(int i, int type, std::uint32_t flags, double value);
    // The source's value list (a single 0 when empty); value = its last entry under kCellListLast, else the
    // first. Blanks cell i+1 when it exists; 2 for types 12, 15, 17, 21, else 1.
    int set_u64_list(int i, const qm_variant_lite& source, int type, std::uint32_t flags);
    // Type 11: the bytes as the text (quoting rule); other types: the byte vector. A null pointer or a
    // length below 1 leaves the cell as it was. Always 1.
    int set_bytes(int i, const unsigned char* data, int length, int type, std::uint32_t flags);
    int set_byte_vector(int i, const std::vector<unsigned char>& data, int type, std::uint32_t flags);
    // Type 11 text with the quoting rule. Always 1.
    int set_text(int i, const std::string& text, std::uint32_t flags);
    // Text of the given type: quoting rule; line breaks flattened when the flags are exactly kCellFlatten.
    int set_string(int i, const std::string& text, int type, std::uint32_t flags);
    // The same for a text held elsewhere, copied only into the cell.
    int set_string_view(int i, std::string_view text, int type, std::uint32_t flags);
    int set_wide_string(int i, const std::wstring& text, int type, std::uint32_t flags);
    // Integer and time types: the stream's text parsed as an unsigned number; 11 and 30: the text (quoting,
    // flattening). 1, or 0 for a bad index or any other type (the cell then left cleared).
    int set_stream_text(int i, const std::ostringstream& stream, int type, std::uint32_t flags);
    int set_stream_text(int i, const std::stringstream& stream, int type, std::uint32_t flags);
    // One-column time types 13, 16, 18, 20, 22: a valid time becomes the text date + " " + time (type 11).
    // -1 for a bad index, a two-slot type (cell cleared) or any other type (value and type stored).
    int set_time_text(int i, std::uint64_t value, int type, std::uint32_t flags,
                      const date_time_format* format);
    // Cell i becomes template cell i with the given text, converted by the template's type. -1 for a bad
    // index or a template shorter than i + 1 cells, else 1.
    int set_text_by_header(int i, const std::string& text, const std::vector<qm_variant_lite>& header,
                           const date_time_format* format, variant_text_callback first,
                           variant_text_callback second);

    // Writes the row's own cells like a header line (their labels in their own widths): a blank before
    // types 13, 18, 24 with leading_blank, no widths with unpadded, separator between cells, a line break
    // at the end. Returns 1, or 0 when the stream failed.
    static int write_row(std::ostream& os, const variant_row& row, const std::string& separator,
                         bool leading_blank, bool unpadded);

    std::uint32_t valid;                  // 1 when sized successfully
    std::uint32_t count;                  // number of cells, 1..255 while valid
    std::vector<qm_variant_lite> fields;  // exactly count cells while valid
    std::uint32_t row_flags;              // ORed into the flags of every cell a setter stores

  private:
    // The cell at i, cleared, or null for a bad index or a type above 31.
    qm_variant_lite* take_cell(int i, int type);
    // Cell i+1 loses value, list, type and flags (two-slot partner); true when it exists.
    bool blank_next(int i);
};

variant_row make_variant_row(unsigned int count, bool text_init);
variant_row make_variant_row(unsigned int count, bool text_init, unsigned int flags);

// True for the types whose time prints into the next cell's column too (12, 15, 17, 19, 21).
bool is_two_slot(int type);
// The time kind of a time cell type; qm::type_none for a type that holds no time.
qm::type_time kind_of_type(int type);
