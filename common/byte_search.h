// Searches over raw buffers (byte patterns, straightforward or with a Horspool skip table; the last
// occurrence near the end; aligned positions; several patterns; 16-, 32- and 64-bit values at a
// stride; non-zero blocks) and extraction of printable text runs (single-byte and UTF-16LE) with
// their offsets. A base offset, where given, is added to each reported offset. Nothing is read
// past the size given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Pattern searches. Unless noted the offsets are emptied first; 1 when any offset results.
// Matches never overlap: the search resumes right after a match.

int find_all_byte_pattern(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pattern,
                          std::size_t pattern_length, std::vector<std::uint64_t>& offsets, std::uint64_t base,
                          bool skip_table, bool stop_at_first);
int find_all_byte_pattern_vec(const std::uint8_t* buf, std::size_t size,
                              const std::vector<std::uint8_t>& pattern, std::vector<std::uint64_t>& offsets,
                              std::uint64_t base, bool skip_table);
int find_first_byte_pattern(const std::uint8_t* buf, std::size_t size,
                            const std::vector<std::uint8_t>& pattern, std::uint64_t& offset,
                            std::uint64_t base, bool skip_table);
int find_byte_pattern_first(const std::uint8_t* buf, std::size_t size, const char* pattern,
                            std::size_t pattern_length, std::uint64_t& offset, bool skip_table);
int find_all_byte_pattern_u32(const std::uint8_t* buf, std::uint32_t size, const std::uint8_t* pattern,
                              std::uint32_t pattern_length, std::vector<std::uint32_t>& offsets,
                              bool skip_table, bool stop_at_first);
// The first match by the skip-table method.
int find_pattern_horspool(std::uint64_t& offset, const std::uint8_t* buf, std::size_t size,
                          const std::uint8_t* pattern, std::size_t pattern_length);
// The last occurrence that starts within `distance` bytes of the end (windows ending at the end included).
int find_last_byte_pattern(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pattern,
                           std::size_t pattern_length, std::uint64_t distance, std::uint64_t& offset);
// Offsets are not emptied first; 0 for an alignment of 0. With block size 0 only multiples of the
// alignment are tried; with a block size every position of a block, the next block starting at
// the following multiple of the alignment.
int find_aligned_byte_pattern(std::vector<std::uint64_t>& offsets, const std::uint8_t* buf, std::size_t size,
                              const std::uint8_t* pattern, std::size_t pattern_length, std::size_t block_size,
                              std::size_t alignment, bool stop_at_first);
// At each position (stepped as above) the first pattern in list order that matches.
int find_any_pattern(std::vector<std::uint64_t>& offsets, std::vector<std::uint32_t>& pattern_indices,
                     const std::uint8_t* buf, std::size_t size,
                     const std::vector<std::vector<std::uint8_t>>& patterns, std::size_t block_size,
                     std::size_t alignment, bool stop_at_first);

// ---- Value searches (host byte order; the stride is cut down to whole elements).
int find_u16_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                    std::uint16_t value, std::size_t stride);
int find_u32_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                    std::uint32_t value, std::size_t stride, bool stop_at_first);
int find_u64_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                    std::uint64_t value, std::size_t stride, bool stop_at_first);
// Compares 8 bytes at every multiple of 4.
int find_u64_values_at_4(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                         std::uint64_t value, bool stop_at_first);
// Per value the offsets where it occurs; with the stop flag each value's list ends at its first hit.
int find_u32_values_multi(std::vector<std::vector<std::uint64_t>>& offsets, const void* buf, std::size_t size,
                          const std::vector<std::uint32_t>& values, std::size_t stride, bool stop_at_first);
int find_u64_values_multi(std::vector<std::vector<std::uint64_t>>& offsets, const void* buf, std::size_t size,
                          const std::vector<std::uint64_t>& values, std::size_t stride, bool stop_at_first);
// One offset (base + block start) per block holding a non-zero byte; block size below 512 means 512.
int find_nonzero_blocks(std::vector<std::uint64_t>& offsets, const std::uint8_t* buf, std::size_t size,
                        std::size_t block_size, bool stop_at_first, std::uint64_t base);

// The indices of the records whose embedded list is non-empty (a record offers it through empty());
// 1 when any. The first argument is not consulted.
template <class Records>
int indices_of_nonempty_entries(const void* /*unused*/, std::vector<std::uint32_t>& indices,
                                const Records& records) {
    indices.clear();
    std::uint32_t i = 0;
    for (const auto& r : records) {
        if (!r.empty()) indices.push_back(i);
        ++i;
    }
    return indices.empty() ? 0 : 1;
}

// ---- Printable-string extraction: runs of bytes 32-126 (with `control`, also TAB, LF, CR) of at
// least `min_length` characters, without leading blanks. All return 1, or 0 for a null buffer or a
// size below 1.

// UTF-16LE (a printable byte followed by a zero byte); offset = base + end - 2 * length.
int extract_utf16_strings(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                          std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets,
                          std::uint64_t base, bool append, bool control);
// As above without a base, always clearing; with skip_punctuation leading punctuation is dropped too.
int extract_utf16_words(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                        std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets, bool control,
                        bool skip_punctuation);
// Single bytes; offset = base + end - length.
int extract_ascii_strings_at(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                             std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets,
                             std::uint64_t base, bool append, bool control);
// Single bytes, always clearing; a run ended by a break is kept only when it holds a character
// other than LF, CR and blank.
int extract_ascii_strings(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                          std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets,
                          bool control, bool skip_punctuation);
