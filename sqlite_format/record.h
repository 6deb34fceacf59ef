// Record decoding: a cell payload (or a fragment of one found in slack) into one type code, one
// size and one text per column, with the raw bytes of every blob and any timestamp recognised.
// Values are cut at the end of the bytes given; nothing is read past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sqlite_format/layout.h"

// Column type codes: the low four bits give the kind.
constexpr std::uint32_t kColNull = 1;
constexpr std::uint32_t kColInteger = 2;
constexpr std::uint32_t kColText = 3;
constexpr std::uint32_t kColReal = 4;
constexpr std::uint32_t kColConst0 = 5;
constexpr std::uint32_t kColConst1 = 6;
constexpr std::uint32_t kColBlob = 7;
constexpr std::uint32_t kColKindMask = 0xF;
// Set when a timestamp was recognised in the column; bits 12 and up then hold its time kind.
constexpr std::uint32_t kColTimeFlag = 16;
constexpr std::uint32_t kColTimeKindShift = 12;

// The decoded columns of one record.
class base_rowdata {
  public:
    std::vector<std::uint32_t> codes;              // column type code per column
    std::vector<std::uint32_t> sizes;              // content size the header gives per column
    std::map<std::uint32_t, std::uint64_t> times;  // column index -> FILETIME recognised in it
    std::map<std::uint32_t, std::vector<std::uint8_t>>
        blobs;                        // column index -> blob bytes (as far as present)
    std::vector<std::string> values;  // text value per column, in column order

    void clear();
};

// A blob as a text cell shows it: the hex view of its first kBlobPreviewBytes bytes on one line (hex pairs,
// then the bytes as characters), followed by " ..." when the blob is longer; empty for no bytes. Every
// decoder that gives a blob as text gives this.
constexpr std::size_t kBlobPreviewBytes = 16;
std::string blob_preview(const std::uint8_t* bytes, std::size_t n);

// The `n` bytes of a text stored in `encoding` as UTF-8, into `text` (its storage reused): UTF-8 as it
// stands, UTF-16 up to its first zero unit. Every reader that gives a text column gives this.
void stored_text(std::string& text, const std::uint8_t* data, std::size_t n, text_encoding encoding);

// Serial types SQLite reserves and never writes: a header holding one is refused, never decoded.
constexpr std::uint32_t kSerialReserved10 = 10;
constexpr std::uint32_t kSerialReserved11 = 11;

// Column type code and content size of a serial type (size clipped to 32 bits); a reserved type has code
// 0 and size 0.
void serial_type_code_and_size(std::uint64_t serial_type, std::uint32_t* code, std::uint32_t* size);

// Reads a whole record header: the header-size varint, then serial types up to the header's end
// or the end of the payload; a type negative as 32 bits ends them, or with `as_library` (a record a
// table stores) each is read as the library reads it, a type past 32 bits as 0xFFFFFFFF (a length past
// any payload). Both vectors are cleared first. 1 when at least one serial type was
// read and none is reserved; *header_size is the header-size varint's value (0 on failure). Never reads
// past `length`.
int decode_record_header(std::uint32_t* header_size, std::vector<std::uint32_t>& codes,
                         std::vector<std::uint32_t>& sizes, const std::uint8_t* payload, std::size_t length,
                         bool as_library = false);

// Reads exactly `count` serial types from the start of `bytes` (a fragment whose header-size varint
// is gone); *consumed is the bytes they took. 1 only when all `count` were read and none is reserved;
// 0 (*consumed 0, both vectors empty) otherwise, also for a null buffer, zero length or zero count.
int decode_record_header_n(std::uint32_t* consumed, std::vector<std::uint32_t>& codes,
                           std::vector<std::uint32_t>& sizes, const std::uint8_t* bytes, std::size_t length,
                           std::uint32_t count);

// Decodes a whole record into `row`, its serial types read as the library reads a stored record's
// (decode_record_header with `as_library`). `unused_count` is not consulted; `file_offset` only labels the
// trace. With `annotate_time` a recognised time follows its value in brackets; with `raw_blob`
// blobs are their bytes, else a hex view of their first 16 bytes; `encoding` says how text is stored.
// Returns 1 when decoded, also when the header cannot be read (nothing decoded,
// *consumed 0), and 0 when the header size exceeds the payload. *consumed is the header plus the
// data taken. With `values_only` (and no annotation) only codes, sizes and values are filled: no time is
// recognised and no blob is kept apart, for callers that read nothing else.
int decode_record_payload(base_rowdata& row, std::uint32_t* consumed, std::ostream* trace,
                          const std::uint8_t* payload, std::size_t length, std::uint32_t unused_count,
                          std::uint64_t file_offset, bool annotate_time, bool raw_blob,
                          text_encoding encoding, bool values_only = false);

// A value of a record that decode_record_values leaves for its caller to take out of the payload's own
// storage, rather than copy: the longest of at least `from` bytes of those that read as they are stored (a
// blob under raw_blob, a text in UTF-8).
struct taken_value {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t from = kNone;   // the least length taken
    std::size_t index = kNone;  // its place among the values, left empty there; kNone when none is taken
    std::size_t at = 0;         // where its bytes begin in the payload
    std::size_t size = 0;       // how many
};

// The values decode_record_payload gives with `values_only` (and no annotation), into `values`, `codes`
// and `sizes`, whose storage is reused from record to record. Returns 0 where it returns 0; a header that
// does not decode leaves no value and returns 1, as there. With `take`, the value it names is left to the
// caller (its index set, or kNone).
int decode_record_values(std::vector<std::string>& values, std::vector<std::uint32_t>& codes,
                         std::vector<std::uint32_t>& sizes, const std::uint8_t* payload, std::size_t length,
                         bool raw_blob, text_encoding encoding, taken_value* take = nullptr);
