// Column-signature matching of raw record headers found in free space, and character-class checks
// of the column text pulled out of them, so that random bytes are not taken for a record.
//
// A column pattern is a text of alternatives tried left to right: a digit matches a one-byte serial
// type of that value; '+' one blob serial type (even, and at least 12 when a single byte); '-' one
// text serial type (odd, and at least 13 when a single byte); 'x' followed by hex digits one byte of
// that value (0 never matches), and ends the pattern. A signature is one pattern per column.
//
// "Bytes available before" a position counts the bytes that may be read before it: pos[-1] down to
// pos[-available]. Backward matchers return the offset (negative) of the byte before the first
// varint they matched, 0 when nothing matched. Nothing here reads outside the bounds it is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_format/layout.h"

// Character class mask bits for column text.
constexpr std::uint32_t kTextPrintable = 1;      // 32..126
constexpr std::uint32_t kTextHexDigit = 2;       // 0-9, a-f, A-F
constexpr std::uint32_t kTextLowerAlpha = 4;     // a-z
constexpr std::uint32_t kTextHexLetter = 8;      // a-f, A-F
constexpr std::uint32_t kTextExemptBreaks = 16;  // TAB, LF and CR pass without the other tests

// The UTF-16 byte orders a column text is read in where its bytes do not pass as they stand (bits).
constexpr std::uint32_t kUtf16LittleEndian = 1;
constexpr std::uint32_t kUtf16BigEndian = 2;
// With either order: the bytes are not tried as they stand, only as UTF-16.
constexpr std::uint32_t kUtf16Only = 4;
// The orders to try for a database whose texts are stored in `encoding` (as its header or its schema
// says): big-endian for UTF-16be, else little-endian, as the recognisers have always read them.
std::uint32_t utf16_orders_for(text_encoding encoding);

// Bytes spanned from `bytes` by `count` text (flag set) or blob serial types; 0 when they are not there.
std::uint32_t match_typed_varints_fwd(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t count,
                                      bool text);
// Walking back from `pos` (a varint's last byte): offset of the byte before the first of `count` text
// or blob serial types; 0 when they are not there.
std::int64_t match_typed_varints_bwd(const std::uint8_t* pos, std::uint32_t available, std::uint32_t count,
                                     bool text);
// Minus the bytes taken by `count` varints ending at `pos`; 0 when they are not there.
std::int64_t skip_varints_bwd(const std::uint8_t* pos, std::uint32_t available, std::uint32_t count);
// Number of varints that decode one after another within length - 1 bytes.
std::uint32_t count_serial_types(const std::uint8_t* bytes, std::uint32_t length);

// Matches columns first..columns-1 of `patterns` forward from `bytes`; the header bytes matched, 0
// when a column fails.
std::uint32_t match_header_signature_fwd(const std::uint8_t* bytes, std::uint32_t length,
                                         std::uint32_t columns, std::uint32_t first,
                                         const char* const* patterns);
// `pos` holds the last serial-type byte of `column`; matches that column down to column 0 backward.
// The offset of the byte before column 0's serial type (where the header-size varint ends), 0 when a
// column fails.
std::int64_t match_header_signature_bwd(const std::uint8_t* pos, std::uint32_t available,
                                        std::uint32_t columns, std::uint32_t column,
                                        const char* const* patterns);
// Matches every pattern in turn forward (digits, '+' and '-'); the bytes matched, 0 when one fails.
std::uint32_t match_header_signature(const std::uint8_t* bytes, std::uint32_t length,
                                     const std::vector<std::string>& patterns);

// Column text of a record (header-size varint at `record`, or `header_size` when non-zero) accepted
// only when every character passes `mask`, as bytes or else as UTF-16 in the orders of `utf16`
// (little-endian first). With `truncated` a value cut by the end of the record, or longer than `max_chars`,
// is checked as far as it goes. 1 with the text, and with `read_as` the encoding it passed in (UTF-8 for
// the bytes as they stand), else 0 with `out` empty and `read_as` untouched.
int get_column_text_checked(std::string& out, const std::uint8_t* record, std::uint32_t length,
                            std::uint32_t column, std::uint32_t max_chars, std::uint32_t mask,
                            std::uint32_t header_size, bool blob, bool truncated,
                            std::uint32_t utf16 = kUtf16LittleEndian, text_encoding* read_as = nullptr);
// The same; a cut value's accepted prefix is enough when it holds at least `min_chars` characters.
int get_column_text_checked_ex(std::string& out, const std::uint8_t* record, std::uint32_t length,
                               std::uint32_t column, std::uint32_t min_chars, std::uint32_t max_chars,
                               std::uint32_t mask, std::uint32_t header_size, bool blob, bool truncated,
                               std::uint32_t utf16 = kUtf16LittleEndian, text_encoding* read_as = nullptr);

// 1 with `out` = the bytes when every one passes `mask` (0 for none).
int text_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t mask);
// The same over count / 2 UTF-16 units (little-endian, or big-endian with `big_endian`); `out` is their
// UTF-8 form.
int utf16_text_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t count,
                           std::uint32_t mask, bool big_endian = false);
// Up to the first failing character: 1 with the accepted characters when there are at least `min_chars`.
int text_prefix_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t min_chars,
                            std::uint32_t count, std::uint32_t mask);
int utf16_prefix_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t min_chars,
                             std::uint32_t count, std::uint32_t mask, bool big_endian = false);

// 1 when the payload-size varint before the record (behind the rowid) equals the record's length
// (header size plus the content sizes its serial types give). `before` bytes may be read before
// `header`, `available` from it on.
int check_record_length_bwd(std::uint64_t* payload_size, std::uint64_t* record_length,
                            const std::uint8_t* header, std::uint32_t available, std::uint32_t before);
// Position and size of `column` in a record; when it runs past the bytes, *cut is 1 and the size is
// what remains. 1 in those cases, 0 when the header cannot be read up to the column.
int locate_column(std::uint32_t* position, std::uint32_t* size, std::uint8_t* cut, const std::uint8_t* record,
                  std::uint32_t length, std::uint32_t column);
