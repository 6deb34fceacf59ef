// Byte buffer with hex views: qm::binary_data owns a private copy of bytes or refers to bytes the caller
// keeps, and renders a range of them as hex rows (with or without addresses), plain hex, text lines or raw
// bytes. Free renderers give the same row formats over byte runs, vectors and strings.
//
// Hex row: [address ":  "] sixteen "xx " byte pairs with one extra blank before the ninth, then one blank
// and the bytes as characters (32-126 as they are, else '.'). Every view leaves the caller's stream flags,
// fill and width as it found them.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace qm {

class binary_data {
  public:
    // View flag bits.
    static const std::uint32_t kViewSpaced = 1;     // spaced text lines / hex rows without addresses
    static const std::uint32_t kViewHex = 2;        // hex
    static const std::uint32_t kViewAddresses = 4;  // rows carry addresses
    static const std::uint32_t kViewRaw = 8;        // raw text allowed

    // Empty, owning, view flags 2.
    binary_data();
    // count bytes at data, copied (owning) or referred to (the caller keeps them alive). A null pointer or
    // a count of 0 gives the empty buffer.
    binary_data(const unsigned char* data, std::uint32_t count, bool copy);
    // The same over a vector's bytes; without copy the vector must outlive the buffer and stay unchanged.
    binary_data(const std::vector<unsigned char>& bytes, bool copy);
    // An owning buffer of count copies of fill.
    binary_data(std::uint32_t count, unsigned char fill);
    // An owning buffer of count zero bytes.
    explicit binary_data(std::uint32_t count);
    virtual ~binary_data();

    // A non-owning buffer points at the caller's bytes and an owning one may be referred to by others.
    binary_data(const binary_data&) = delete;
    binary_data& operator=(const binary_data&) = delete;

    std::uint32_t get_size() const { return m_num_data; }
    std::uint32_t get_view_flags() const { return m_view_flags; }
    void set_view_flags(std::uint16_t flags) { m_view_flags = flags; }
    bool owns_data() const { return m_owns != 0; }

    // Changing operations work on owning buffers only and return 0 (nothing changed) otherwise.
    // Empties the buffer.
    int clear();
    // Adds count bytes at the end; 0 also for a null pointer or a size that would pass 2^32 - 1.
    int append(const unsigned char* data, std::uint32_t count);
    int push_back(unsigned char byte);
    // Removes [pos, pos + count) clamped to the end; 0 when pos is not below the size.
    int erase(std::uint32_t pos, std::uint32_t count);
    // Replaces the contents with min(length, file size - offset) bytes read at offset. 0 (unchanged) when the
    // file cannot be opened or read, its size is not greater than offset, or memory runs out.
    int read_file(const std::string& path, std::uint32_t offset, std::uint32_t length);

    // The byte at index / a pointer to it. An index not below get_size() is a caller bug: the program stops
    // with "index < m_num_data" rather than read outside the buffer.
    unsigned char operator[](std::uint32_t index) const;
    const unsigned char* get_ptr(std::uint32_t index) const;
    // The first byte, or null for an empty buffer.
    const unsigned char* data() const;

    // Writes bytes [start, start + n), n = length clamped to the bytes after start, in the view chosen by the
    // flags; rows with addresses start at `base`. Nothing when no byte is in range.
    void output_view(std::ostream& os, std::uint32_t start, std::uint32_t length, std::uint64_t base) const;
    // The whole buffer: without hex, spaced text lines (addresses set) or raw bytes; with hex, hex rows with
    // addresses from 0 (addresses set) or plain hex.
    void output_whole_view(std::ostream& os) const;
    // Replaces the file with output_whole_view. 0 when it cannot be opened or written, else 1.
    int write_view_to_file(const std::string& path) const;

  private:
    std::uint32_t m_num_data = 0;           // bytes held
    std::vector<unsigned char> m_own;       // own copy, used when m_owns
    std::uint32_t m_view_flags = 2;         // kView* bits
    unsigned char m_owns = 1;               // 1: bytes are in m_own; 0: m_data refers to the caller's bytes
    const unsigned char* m_data = nullptr;  // caller's bytes when not owning
};

}  // namespace qm

// Called after every row with the row's first position and the end position.
using hex_row_progress = void (*)(void* context, std::uint32_t row_start, std::uint32_t end);

// Hex rows of buf from start up to end (exclusive, clamped to the buffer), each ending with a newline, the
// first row at address base (addresses only when `addresses`).
void hex_rows_to_stream(std::ostream& os, const qm::binary_data& buf, std::uint32_t start, std::uint32_t end,
                        std::uint64_t base, bool addresses, hex_row_progress progress = nullptr,
                        void* context = nullptr);
// Hex rows with addresses of the vector's bytes from start.
void hex_rows_of_vector(std::ostream& os, const std::vector<unsigned char>& bytes, std::uint32_t start,
                        std::uint64_t base);
// When every byte from start to the end has one value, one line
// "0x<base, 6 digits> : value 0x<value> : 0x<count> bytes"; else hex_rows_of_vector. 0 (nothing written)
// when start is not inside the vector; else 1.
int hex_rows_or_run(std::ostream& os, const std::vector<unsigned char>& bytes, std::uint32_t start,
                    std::uint64_t base);
// Hex rows of count bytes at data, from start.
void hex_rows_of_bytes(std::ostream& os, const unsigned char* data, std::uint32_t count, std::uint32_t start,
                       std::uint64_t base, bool addresses);

// The hex rows appended to out with "\n" after each. Addresses: all four groups when bits 48-63 are set,
// else the group of bits 32-47 (when non-zero) with 1, 2 or 4 digits, then bits 16-31 and 0-15.
void hex_rows_to_string(std::string& out, const qm::binary_data& buf, std::uint32_t start, std::uint32_t end,
                        std::uint64_t base, bool addresses, hex_row_progress progress = nullptr,
                        void* context = nullptr);
// The same over count bytes at data: into out, with or without progress; returned by value, with or
// without progress; and the whole run from position 0 written to a stream.
void hex_rows_to_string(std::string& out, const unsigned char* data, std::uint32_t count, std::uint32_t start,
                        std::uint32_t end, std::uint64_t base, bool addresses, hex_row_progress progress,
                        void* context);
void hex_rows_to_string(std::string& out, const unsigned char* data, std::uint32_t count, std::uint32_t start,
                        std::uint32_t end, std::uint64_t base, bool addresses);
std::string hex_rows_as_string(const unsigned char* data, std::uint32_t count, std::uint32_t start,
                               std::uint32_t end, std::uint64_t base, bool addresses,
                               hex_row_progress progress, void* context);
std::string hex_rows_as_string(const unsigned char* data, std::uint32_t count, std::uint32_t start,
                               std::uint32_t end, std::uint64_t base, bool addresses);
void hex_rows_string_to_stream(std::ostream& os, const unsigned char* data, std::uint32_t count,
                               std::uint64_t base, bool addresses);

// Hex rows with addresses of count bytes from start, written to os as UTF-16LE text, rows ending CR LF.
void hex_rows_utf16(std::ostream& os, const qm::binary_data& buf, std::uint32_t start, std::uint32_t count,
                    std::uint64_t base);

// Text lines with addresses: rows of 48 characters (spaced: blanks before positions 4, 8, ... and two more
// before 16 and 32) or 64 (not spaced), each "<address>:  <characters>\n". The first writes one row only.
void text_row_with_address(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                           std::uint32_t count, std::uint64_t base, bool spaced);
void text_rows_with_address(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                            std::uint32_t count, std::uint64_t base, bool spaced);

// count bytes from start, unchanged.
void raw_bytes_to_stream(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                         std::uint32_t count);
// "xx " per byte, a newline after each byte whose buffer position + 1 is a multiple of 16, and a final
// newline. Nothing when no byte is in range.
void plain_hex_to_stream(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                         std::uint32_t count);
