#include "common/byte_search.h"

#include <cstring>

namespace {

// Calls `hit(pos)` for every non-overlapping match; stops when `hit` returns false.
template <class Hit>
void search_plain(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pat, std::size_t len,
                  Hit hit) {
    for (std::size_t pos = 0; pos + len <= size;) {
        if (std::memcmp(buf + pos, pat, len) == 0) {
            if (!hit(pos)) return;
            pos += len;
        } else {
            ++pos;
        }
    }
}

template <class Hit>
void search_horspool(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pat, std::size_t len,
                     Hit hit) {
    std::size_t shift[256];
    for (std::size_t& s : shift) s = len;
    for (std::size_t i = 0; i + 1 < len; ++i) shift[pat[i]] = len - 1 - i;
    for (std::size_t pos = 0; pos + len <= size;) {
        std::size_t k = len;
        while (k > 0 && buf[pos + k - 1] == pat[k - 1]) --k;
        if (k == 0) {
            if (!hit(pos)) return;
            pos += len;
        } else {
            pos += shift[buf[pos + len - 1]];
        }
    }
}

template <class Hit>
void search(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pat, std::size_t len,
            bool skip_table, Hit hit) {
    if (!buf || !pat || size == 0 || len == 0 || len > size) return;
    if (skip_table)
        search_horspool(buf, size, pat, len, hit);
    else
        search_plain(buf, size, pat, len, hit);
}

std::size_t round_up(std::size_t v, std::size_t align) { return (v / align + 1) * align; }

// Visits positions as the aligned searches step: multiples of the alignment, or every position of
// a block with blocks starting at multiples of the alignment. Stops when `visit` returns false.
template <class Visit>
void step_positions(std::size_t last, std::size_t block_size, std::size_t alignment, Visit visit) {
    std::size_t pos = 0;
    std::size_t block_start = 0;
    while (pos <= last) {
        if (!visit(pos)) return;
        if (block_size == 0) {
            pos = round_up(pos, alignment);
        } else if (++pos - block_start >= block_size) {
            pos = pos % alignment == 0 ? pos : round_up(pos, alignment);
            block_start = pos;
        }
    }
}

template <class T>
int find_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size, T value,
                std::size_t stride, bool stop) {
    offsets.clear();
    stride -= stride % sizeof(T);
    if (!buf || stride < sizeof(T)) return 0;
    const auto* b = static_cast<const std::uint8_t*>(buf);
    for (std::size_t pos = 0; pos + sizeof(T) <= size; pos += stride) {
        T v;
        std::memcpy(&v, b + pos, sizeof v);
        if (v == value) {
            offsets.push_back(pos);
            if (stop) break;
        }
    }
    return offsets.empty() ? 0 : 1;
}

template <class T>
int find_values_multi(std::vector<std::vector<std::uint64_t>>& offsets, const void* buf, std::size_t size,
                      const std::vector<T>& values, std::size_t stride, bool stop) {
    offsets.assign(values.size(), {});
    bool any = false;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (find_values(offsets[i], buf, size, values[i], stride, stop)) any = true;
    return any ? 1 : 0;
}

bool printable(std::uint8_t c, bool control) {
    return (c >= 32 && c <= 126) || (control && (c == 9 || c == 10 || c == 13));
}

bool punctuation(std::uint8_t c) {
    return (c >= 32 && c <= 46) || (c >= 58 && c <= 64) || (c >= 92 && c <= 96) || (c >= 124 && c <= 126);
}

struct run_collector {
    std::size_t min_length;
    bool skip_punctuation;
    bool content_test;  // keep a run ended by a break only when it holds more than LF, CR and blanks
    std::vector<std::string>& strings;
    std::vector<std::uint64_t>& offsets;
    std::string run;

    void add(std::uint8_t c) {
        if (run.empty() && (c == ' ' || (skip_punctuation && punctuation(c)))) return;
        run.push_back(static_cast<char>(c));
    }
    // The run ends at byte position `end`; `width` bytes per character.
    void finish(std::uint64_t base, std::size_t end, std::size_t width, bool at_break) {
        if (!run.empty() && run.size() >= min_length &&
            (!at_break || !content_test || run.find_first_not_of("\r\n ") != std::string::npos)) {
            strings.push_back(run);
            offsets.push_back(base + end - width * run.size());
        }
        run.clear();
    }
};

int extract_bytes(const std::uint8_t* buf, std::size_t size, run_collector& rc, std::uint64_t base,
                  bool control) {
    if (!buf || size < 1) return 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (printable(buf[i], control))
            rc.add(buf[i]);
        else
            rc.finish(base, i, 1, true);
    }
    rc.finish(base, size, 1, false);
    return 1;
}

int extract_utf16(const std::uint8_t* buf, std::size_t size, run_collector& rc, std::uint64_t base,
                  bool control) {
    if (!buf || size < 1) return 0;
    std::size_t i = 0;
    while (i + 1 < size) {
        if (printable(buf[i], control) && buf[i + 1] == 0) {
            rc.add(buf[i]);
            i += 2;
        } else {
            rc.finish(base, i, 2, true);
            ++i;  // resynchronise one byte on, so text at odd offsets is found too
        }
    }
    rc.finish(base, i, 2, false);
    return 1;
}

}  // namespace

int find_all_byte_pattern(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pattern,
                          std::size_t pattern_length, std::vector<std::uint64_t>& offsets, std::uint64_t base,
                          bool skip_table, bool stop_at_first) {
    offsets.clear();
    search(buf, size, pattern, pattern_length, skip_table, [&](std::size_t pos) {
        offsets.push_back(base + pos);
        return !stop_at_first;
    });
    return offsets.empty() ? 0 : 1;
}

int find_all_byte_pattern_vec(const std::uint8_t* buf, std::size_t size,
                              const std::vector<std::uint8_t>& pattern, std::vector<std::uint64_t>& offsets,
                              std::uint64_t base, bool skip_table) {
    return find_all_byte_pattern(buf, size, pattern.data(), pattern.size(), offsets, base, skip_table, false);
}

int find_first_byte_pattern(const std::uint8_t* buf, std::size_t size,
                            const std::vector<std::uint8_t>& pattern, std::uint64_t& offset,
                            std::uint64_t base, bool skip_table) {
    std::vector<std::uint64_t> found;
    if (!find_all_byte_pattern(buf, size, pattern.data(), pattern.size(), found, base, skip_table, true))
        return 0;
    offset = found.front();
    return 1;
}

int find_byte_pattern_first(const std::uint8_t* buf, std::size_t size, const char* pattern,
                            std::size_t pattern_length, std::uint64_t& offset, bool skip_table) {
    std::vector<std::uint64_t> found;
    if (!find_all_byte_pattern(buf, size, reinterpret_cast<const std::uint8_t*>(pattern), pattern_length,
                               found, 0, skip_table, true))
        return 0;
    offset = found.front();
    return 1;
}

int find_all_byte_pattern_u32(const std::uint8_t* buf, std::uint32_t size, const std::uint8_t* pattern,
                              std::uint32_t pattern_length, std::vector<std::uint32_t>& offsets,
                              bool skip_table, bool stop_at_first) {
    offsets.clear();
    search(buf, size, pattern, pattern_length, skip_table, [&](std::size_t pos) {
        offsets.push_back(static_cast<std::uint32_t>(pos));
        return !stop_at_first;
    });
    return offsets.empty() ? 0 : 1;
}

int find_pattern_horspool(std::uint64_t& offset, const std::uint8_t* buf, std::size_t size,
                          const std::uint8_t* pattern, std::size_t pattern_length) {
    bool found = false;
    search(buf, size, pattern, pattern_length, true, [&](std::size_t pos) {
        offset = pos;
        found = true;
        return false;
    });
    return found ? 1 : 0;
}

int find_last_byte_pattern(const std::uint8_t* buf, std::size_t size, const std::uint8_t* pattern,
                           std::size_t pattern_length, std::uint64_t distance, std::uint64_t& offset) {
    if (!buf || !pattern || pattern_length == 0 || distance == 0 || pattern_length > size) return 0;
    const std::size_t lowest = distance >= size ? 0 : size - static_cast<std::size_t>(distance);
    for (std::size_t pos = size - pattern_length + 1; pos-- > lowest;) {
        if (std::memcmp(buf + pos, pattern, pattern_length) == 0) {
            offset = pos;
            return 1;
        }
    }
    return 0;
}

int find_aligned_byte_pattern(std::vector<std::uint64_t>& offsets, const std::uint8_t* buf, std::size_t size,
                              const std::uint8_t* pattern, std::size_t pattern_length, std::size_t block_size,
                              std::size_t alignment, bool stop_at_first) {
    if (alignment == 0 || !buf || !pattern || pattern_length == 0 || pattern_length > size) return 0;
    bool any = false;
    step_positions(size - pattern_length, block_size, alignment, [&](std::size_t pos) {
        if (std::memcmp(buf + pos, pattern, pattern_length) != 0) return true;
        offsets.push_back(pos);
        any = true;
        return !stop_at_first;
    });
    return any ? 1 : 0;
}

int find_any_pattern(std::vector<std::uint64_t>& offsets, std::vector<std::uint32_t>& pattern_indices,
                     const std::uint8_t* buf, std::size_t size,
                     const std::vector<std::vector<std::uint8_t>>& patterns, std::size_t block_size,
                     std::size_t alignment, bool stop_at_first) {
    offsets.clear();
    pattern_indices.clear();
    if (alignment == 0 || !buf || size == 0 || patterns.empty()) return 0;
    step_positions(size - 1, block_size, alignment, [&](std::size_t pos) {
        for (std::size_t k = 0; k < patterns.size(); ++k) {
            const std::vector<std::uint8_t>& p = patterns[k];
            if (p.empty() || p.size() > size - pos || std::memcmp(buf + pos, p.data(), p.size()) != 0)
                continue;
            offsets.push_back(pos);
            pattern_indices.push_back(static_cast<std::uint32_t>(k));
            return !stop_at_first;
        }
        return true;
    });
    return offsets.empty() ? 0 : 1;
}

int find_u16_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                    std::uint16_t value, std::size_t stride) {
    return find_values<std::uint16_t>(offsets, buf, size, value, stride, false);
}

int find_u32_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                    std::uint32_t value, std::size_t stride, bool stop_at_first) {
    return find_values<std::uint32_t>(offsets, buf, size, value, stride, stop_at_first);
}

int find_u64_values(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                    std::uint64_t value, std::size_t stride, bool stop_at_first) {
    return find_values<std::uint64_t>(offsets, buf, size, value, stride, stop_at_first);
}

int find_u64_values_at_4(std::vector<std::uint64_t>& offsets, const void* buf, std::size_t size,
                         std::uint64_t value, bool stop_at_first) {
    offsets.clear();
    if (!buf || size < 4) return 0;
    const auto* b = static_cast<const std::uint8_t*>(buf);
    for (std::size_t pos = 0; pos + 8 <= size; pos += 4) {
        if (std::memcmp(b + pos, &value, 8) == 0) {
            offsets.push_back(pos);
            if (stop_at_first) break;
        }
    }
    return offsets.empty() ? 0 : 1;
}

int find_u32_values_multi(std::vector<std::vector<std::uint64_t>>& offsets, const void* buf, std::size_t size,
                          const std::vector<std::uint32_t>& values, std::size_t stride, bool stop_at_first) {
    return find_values_multi(offsets, buf, size, values, stride, stop_at_first);
}

int find_u64_values_multi(std::vector<std::vector<std::uint64_t>>& offsets, const void* buf, std::size_t size,
                          const std::vector<std::uint64_t>& values, std::size_t stride, bool stop_at_first) {
    return find_values_multi(offsets, buf, size, values, stride, stop_at_first);
}

int find_nonzero_blocks(std::vector<std::uint64_t>& offsets, const std::uint8_t* buf, std::size_t size,
                        std::size_t block_size, bool stop_at_first, std::uint64_t base) {
    offsets.clear();
    if (!buf) return 0;
    if (block_size < 512) block_size = 512;
    for (std::size_t start = 0; start < size; start += block_size) {
        const std::size_t end = block_size < size - start ? start + block_size : size;
        bool nonzero = false;
        for (std::size_t i = start; i < end && !nonzero; ++i) nonzero = buf[i] != 0;
        if (nonzero) {
            offsets.push_back(base + start);
            if (stop_at_first) break;
        }
    }
    return offsets.empty() ? 0 : 1;
}

int extract_utf16_strings(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                          std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets,
                          std::uint64_t base, bool append, bool control) {
    if (!buf || size < 1) return 0;
    if (!append) {
        strings.clear();
        offsets.clear();
    }
    run_collector rc{min_length, false, false, strings, offsets, {}};
    return extract_utf16(buf, size, rc, base, control);
}

int extract_utf16_words(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                        std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets, bool control,
                        bool skip_punctuation) {
    strings.clear();
    offsets.clear();
    run_collector rc{min_length, skip_punctuation, false, strings, offsets, {}};
    return extract_utf16(buf, size, rc, 0, control);
}

int extract_ascii_strings_at(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                             std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets,
                             std::uint64_t base, bool append, bool control) {
    if (!buf || size < 1) return 0;
    if (!append) {
        strings.clear();
        offsets.clear();
    }
    run_collector rc{min_length, false, false, strings, offsets, {}};
    return extract_bytes(buf, size, rc, base, control);
}

int extract_ascii_strings(const std::uint8_t* buf, std::size_t size, std::size_t min_length,
                          std::vector<std::string>& strings, std::vector<std::uint64_t>& offsets,
                          bool control, bool skip_punctuation) {
    strings.clear();
    offsets.clear();
    run_collector rc{min_length, skip_punctuation, true, strings, offsets, {}};
    return extract_bytes(buf, size, rc, 0, control);
}
