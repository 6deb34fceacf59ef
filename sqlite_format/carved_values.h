// Column texts of a record found in free space, whose body may stop before its last column.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sqlite_format/layout.h"

// Added to a column's type code when the body ran out before the column's bytes.
constexpr std::uint32_t kColTruncatedMark = 0x10000000u;

// Turns a record body into one text per column from the header's type codes and content sizes.
// `count` is set to 0 and `values` emptied first. With *truncated non-zero on entry a body shorter
// than the sizes' sum is allowed; on return *truncated is 1 when the body ran out before the end of
// a column that needed bytes (that column gets kColTruncatedMark, and every later one an empty text
// and the mark). Integers are big-endian two's complement; a number cut by the end of the body is an empty
// text (its first bytes are not its value); a text or blob cut by the end of the body loses its last
// four bytes. Texts are stored in `encoding` and given as UTF-8 (stored_text). With `raw_blob` blobs are
// their bytes, else their blob_preview. Codes outside 1..7 are skipped, so `values` can be shorter than
// `codes`. A listing line per column goes to `listing` when given. Result 1, or 0 when the codes and sizes
// differ in number, or when truncation is not allowed and the body is missing or shorter than the sizes say.
// Never reads past `body_length`.
int decode_record_values(std::uint32_t* count, std::vector<std::string>& values, const std::uint8_t* body,
                         std::uint32_t body_length, std::vector<std::uint32_t>& codes,
                         const std::vector<std::uint32_t>& sizes, std::ostream* listing, bool raw_blob,
                         std::uint8_t* truncated, text_encoding encoding = text_encoding::utf8);
