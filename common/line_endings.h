// Line-ending detection over byte and UTF-16 buffers, UTF-16 text held as host-order 16-bit units,
// printable-byte filters and single-byte to UTF-8 / wide conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Line-ending style codes (5 is not used).
enum : int {
    kLineEndingCrLf = 1,
    kLineEndingCr = 2,
    kLineEndingLf = 3,
    kLineEndingLfCr = 4,
    kLineEndingMixed = 6,
    kLineEndingNone = 7,
};

// A counted UTF-16 string with a buffer it may own. Lengths are in bytes.
struct _UNICODE_STRING_EX {
    std::uint16_t length;          // bytes of text in buffer
    std::uint16_t maximum_length;  // bytes the buffer holds
    std::uint16_t* buffer;         // 16-bit characters; may be null
    bool owns;                     // buffer is freed by the destructor

    // Borrows buffer; length 0 and the first unit set to 0 (when buffer holds at least one unit).
    _UNICODE_STRING_EX(std::uint16_t* buf, std::uint16_t max_length);
    // Borrows buffer with both lengths as given; the buffer is not touched.
    _UNICODE_STRING_EX(std::uint16_t* buf, std::uint16_t len, std::uint16_t max_length);
    // Allocates `count` units and owns them, first unit 0, maximum length 2 * count, length 0.
    // A count of 0, one whose byte size does not fit the 16-bit length, or a failed allocation leaves
    // no buffer, not owned, both lengths 0.
    explicit _UNICODE_STRING_EX(std::size_t count);
    virtual ~_UNICODE_STRING_EX();

    // An owned buffer must not be freed twice.
    _UNICODE_STRING_EX(const _UNICODE_STRING_EX&) = delete;
    _UNICODE_STRING_EX& operator=(const _UNICODE_STRING_EX&) = delete;
};

// Style code of the first `length` bytes. The first style met decides; a different one later gives 6.
// A break that is only the last byte is not seen. Null or empty gives 7.
int detect_line_ending(const std::uint8_t* p, std::uint32_t length);
// The same over length / 2 units.
int detect_line_ending_utf16(const std::uint16_t* p, std::uint32_t length_bytes);
// Searches the `remaining` units at p for the next line break; 0 when there is none (nothing changes).
// After CR LF, p moves past both units; a CR not followed by LF is skipped with the unit after it; at a
// lone LF, p is left ON the LF (a caller walking lines must step past it). Never reads p[remaining].
int advance_past_line_break_utf16(const std::uint16_t*& p, std::uint32_t& remaining);
// When detect_line_ending gives 3 (LF), out = the bytes with a CR before every LF and 1; else 0 (out
// untouched).
int lf_to_crlf(const std::uint8_t* p, std::uint32_t length, std::string& out);
// Clears out; 0 for a null pointer or count <= 0. Copies until a NUL or count bytes: 32-126 kept,
// CR/LF kept with keep_line_breaks, anything else replaced by `replacement` (dropped when it is 0). 1.
int printable_copy(std::string& out, const std::uint8_t* p, int count, bool keep_line_breaks,
                   char replacement);
// Clears out; 0 for a null pointer or count <= 0; else copies bytes while they are 32-126 and returns
// how many were copied.
int leading_printable(const std::uint8_t* p, int count, std::string& out);
// 1 when v is non-empty and every byte is TAB, LF, CR or 32-126.
int vector_is_text(const std::vector<std::uint8_t>& v);
// Number of leading bytes in 32-126.
int printable_prefix_length(const std::vector<std::uint8_t>& v);

// Units before the first 0 unit; 0 for null. The text must be 0-terminated.
std::size_t utf16_strlen(const std::uint16_t* p);
// Bounded form for buffers that may lack a terminator: reads at most `max_units` units and gives 0
// when no 0 unit is among them.
std::size_t utf16_strlen(const std::uint16_t* p, std::size_t max_units);
// As utf16_strlen, but 0 for a text longer than 512 units (reads at most 513 units).
std::size_t utf16_strlen_max512(const std::uint16_t* p);
// Bounded form: also reads no more than max_units units; no terminator within them gives 0.
std::size_t utf16_strlen_max512(const std::uint16_t* p, std::size_t max_units);
// Twice the number of units left after dropping trailing 0 units.
unsigned utf16_vector_byte_length(const std::vector<std::uint16_t>& v);
// The number of units, one less when the last unit is 0.
unsigned utf16_vector_length(const std::vector<std::uint16_t>& v);
// Units up to the first 0 unit or 768 units, each as one wide character, lower-cased. Empty for null.
std::wstring utf16z_to_lower_wide(const std::uint16_t* p);
// Bounded form: also stops after max_units units.
std::wstring utf16z_to_lower_wide(const std::uint16_t* p, std::size_t max_units);

// ISO-8859-1 C string (null gives empty) or one byte to UTF-8.
std::string latin1_to_utf8(const char* s);
std::string latin1_char_to_utf8(char c);
// One UTF-16 unit as 1-3 UTF-8 bytes; surrogate units are encoded on their own like any value.
std::string utf16_unit_to_utf8(std::uint16_t u);
// Each byte as one wide character, sign-extended (bytes from 128 become negative values). A null or
// empty C string leaves out untouched.
void narrow_to_wide(const char* s, std::wstring& out);
// As narrow_to_wide but always replaces out (null gives empty).
void cstr_to_wide(const char* s, std::wstring& out);
void string_to_wide(const std::string& s, std::wstring& out);
// Each wide character's low byte.
void wide_to_narrow(const std::wstring& w, std::string& out);
// Writes the bytes of s (sign-extended) and a final 0 into arr, which holds max_count elements; returns
// arr. Null (arr untouched but for its first element set to 0) when s and its terminator do not fit;
// null without writing for a null arr or max_count 0.
std::uint32_t* string_to_u32_array(const std::string& s, std::uint32_t* arr, std::size_t max_count);
