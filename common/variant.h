// qm_variant_lite: the typed cell of report rows and header lines, and its compact serialised form.
#ifndef SELK_COMMON_VARIANT_H
#define SELK_COMMON_VARIANT_H

#include <cstdint>
#include <string>
#include <vector>

// One field of an output row or header line. Only type codes 0 (empty), 1, 2, 4 (unsigned 8, 16,
// 32 bits) and 11 (text) are fixed here; the row writers give every other code its meaning.
// Copies are deep.
class qm_variant_lite {
  public:
    // Flag set by the two text-and-width constructors: the cell is a header label of a given width.
    static constexpr std::uint32_t kWidthFlag = 0x80;
    // Flags value under which the 8-byte codes carry the whole `values` list when serialised.
    static constexpr std::uint32_t kListFlags = 0x4000;

    qm_variant_lite();
    qm_variant_lite(std::uint8_t v);
    qm_variant_lite(std::uint16_t v);
    qm_variant_lite(std::uint32_t v);
    qm_variant_lite(unsigned long long v, int type_code);
    qm_variant_lite(const std::string& s);
    qm_variant_lite(const std::string& s, unsigned long long field_width, int type_code, int field_flags);
    qm_variant_lite(const std::string& s, unsigned long long field_width);
    // Copies `length` bytes at `data` (none for a null pointer or a length below 1).
    qm_variant_lite(const unsigned char* data, int length, int type_code);

    qm_variant_lite(const qm_variant_lite& other);
    qm_variant_lite& operator=(const qm_variant_lite& other);
    ~qm_variant_lite();

    // Back to the reset state: type 0, max_length 20, every number 0, vectors and text empty.
    void clear();

    std::uint16_t type;                      // type code
    std::uint16_t max_length;                // characters the row writer keeps when it cuts texts
    std::uint32_t flags;                     // layout and kind bits; kWidthFlag for header labels
    unsigned long long width;                // display width of the field
    unsigned long long extra;                // second numeric slot, carried only
    std::vector<unsigned char> bytes;        // byte payload (hex, GUID and raw-byte codes)
    std::string text;                        // text payload
    unsigned long long value;                // integer payload, narrow integers zero-extended
    std::vector<unsigned long long> values;  // list payload
};

// Appends the cell's serialised record (little-endian: type u16, flags u32, payload) to `out`.
// Returns 1, or 0 with nothing appended for a type code that has no payload form
// (5, 6, 7, 9, 10, 14, 19, 20 and codes above 31).
int pack_bytes(const qm_variant_lite& cell, std::vector<unsigned char>& out);

// Resets the cell, then reads one record at `offset`. Returns the record's length in bytes, or 0
// (cell left reset) when the record does not lie wholly inside `in` or its type code has no
// payload form. Never reads outside `in`.
int unpack_bytes(qm_variant_lite& cell, const std::vector<unsigned char>& in, unsigned offset);

// Empties `out` unless `append` is set, then packs every cell in order (refused cells are
// skipped). Returns 1 when `out` is non-empty afterwards.
int pack_variant_list(std::vector<unsigned char>& out, const std::vector<qm_variant_lite>& cells,
                      bool append);

// Empties `cells` unless `append` is set, then reads records from offset 0 until one fails to read
// or the input is used up, keeping the cells read. Returns 1 when `cells` holds at least one cell.
int unpack_variant_list(std::vector<qm_variant_lite>& cells, const std::vector<unsigned char>& in,
                        bool append);

#endif  // SELK_COMMON_VARIANT_H
