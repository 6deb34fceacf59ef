#include "sqlite_format/freespace.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/byte_search.h"
#include "sqlite_format/artifacts.h"
#include "sqlite_format/format.h"
#include "sqlite_format/record.h"

namespace {

// A chain that loops meets an offset again; the second such meeting ends the walk.
constexpr int kDuplicateBudget = 2;
constexpr std::int32_t kMinPageLength = kMinPageSize;
constexpr std::size_t kMinTextRun = 10;           // printable characters that make a run worth carving
constexpr std::uint64_t kMaxHeaderLookBack = 32;  // bytes before a run searched for its record header
constexpr std::uint64_t kMaxHeaderDistance = 240;
constexpr std::size_t kHeaderDecodeLimit = 1024;
constexpr std::uint64_t kMaxCellPrefix = 7;  // payload-size and rowid varints in front of a record

constexpr std::uint64_t kChildPageBytes = 4;  // a table interior cell: child page number, then rowid varint
constexpr std::uint64_t kMaxVarintBytes = 9;
// The fewest bytes a cell takes (the format pads a smaller one); a run of fewer holds none, as a fragment.
constexpr std::uint64_t kMinCellBytes = 4;

// The start of the run of table interior cells that ends at `end` and begins no lower than `floor`: each
// a child page number from 1 to `page_limit`, then a whole rowid varint that ends where the next cell
// begins. `end` when no such cell ends there.
std::uint64_t interior_cells_start(const std::uint8_t* page, std::uint64_t floor, std::uint64_t end,
                                   std::uint64_t page_limit) {
    std::uint64_t start = end;
    for (bool found = true; found;) {
        found = false;
        for (std::uint64_t length = kChildPageBytes + 1;
             length <= kChildPageBytes + kMaxVarintBytes && length <= start - floor; ++length) {
            const std::uint64_t at = start - length;
            std::uint32_t child = 0;
            if (!read_be32(byte_view(page + at, kChildPageBytes), 0, &child) || child == 0 ||
                child > page_limit)
                continue;
            std::uint64_t rowid = 0;
            std::uint32_t used = 0;
            const std::size_t varint_length = static_cast<std::size_t>(length - kChildPageBytes);
            if (!read_varint_complete(byte_view(page + at + kChildPageBytes, varint_length), 0, &rowid,
                                      &used) ||
                used != varint_length)
                continue;
            start = at;
            found = true;
            break;
        }
    }
    return start;
}

// The page offset past the cell at `at` of a b-tree page of type `type`, as the format lays it out on a page
// of `end` usable bytes (a cell takes 4 bytes at least); 0 when it does not decode inside them. `fits` is the
// largest payload found to lie on the page whole, kept from cell to cell of one page: the split, which a
// payload up to some size passes whole, is then asked only of larger ones.
std::uint64_t cell_end(const std::uint8_t* page, std::uint64_t at, std::uint64_t end, std::uint8_t type,
                       std::uint64_t& fits) {
    const byte_view bytes(page, static_cast<std::size_t>(end));
    std::uint64_t p = at + (type == kPageTableInterior || type == kPageIndexInterior ? kChildPointerSize : 0);
    std::uint64_t payload = 0;
    std::uint32_t used = 0;
    if (p >= end || !read_varint_complete(bytes, static_cast<std::size_t>(p), &payload, &used)) return 0;
    p += used;
    if (type != kPageTableInterior) {  // a table interior cell holds a key alone
        std::uint64_t rowid = 0;
        if (type == kPageTableLeaf) {
            if (p >= end || !read_varint_complete(bytes, static_cast<std::size_t>(p), &rowid, &used))
                return 0;
            p += used;
        }
        std::uint64_t local = payload;
        if (payload > fits) {
            if (!local_payload_bytes(payload, static_cast<std::uint32_t>(end), type == kPageTableLeaf,
                                     &local))
                return 0;
            if (local == payload) fits = payload;
        }
        p += local + (local < payload ? kOverflowPointerSize : 0);
    }
    p = std::max<std::uint64_t>(p, at + kMinCellBytes);
    return p <= end ? p : 0;
}

// Adds to `local` the runs of the content area [from, end) of the page in `page` (header `head`) that no
// sound cell (its pointer inside the area, its bytes decoding inside it) and no free block of `blocks`
// covers, where they come to more bytes than the fragments its header counts: a cell whose pointer is damaged
// (set into the header or the pointer array, past the usable bytes, or to another cell's) still stands there
// whole. On a sound page the runs are those fragments, each under 4 bytes, and nothing is added.
void add_uncovered_runs(region_map& local, const std::uint8_t* page, std::size_t page_length,
                        const btree_page_header& head, std::uint64_t from, std::uint64_t end,
                        const region_map& blocks) {
    if (from >= end || end > kMaxPageSize) return;  // no page is larger
    // One bit a byte, set where a cell or free block lies: no sort of the cells, which need not lie in order.
    std::uint64_t covered[kMaxPageSize / 64];
    const std::uint64_t words = (end + 63) / 64;
    std::fill(covered, covered + words, 0);
    const auto cover = [&covered](std::uint64_t s, std::uint64_t e) {
        if (s >= e) return;
        const std::uint64_t first = s / 64, last = (e - 1) / 64;
        const std::uint64_t head_bits = ~0ull << (s % 64), tail_bits = ~0ull >> (63 - (e - 1) % 64);
        if (first == last) {
            covered[first] |= head_bits & tail_bits;
            return;
        }
        covered[first] |= head_bits;
        for (std::uint64_t w = first + 1; w < last; ++w) covered[w] = ~0ull;
        covered[last] |= tail_bits;
    };
    const byte_view bytes(page, page_length);
    std::uint64_t fits = 0;
    for (std::size_t i = 0; i < head.cell_count; ++i) {
        std::uint16_t ptr = 0;
        if (!read_be16(bytes, head.cell_pointers() + 2 * i, &ptr)) break;
        if (ptr < from || ptr >= end) continue;
        cover(ptr, cell_end(page, ptr, end, head.type, fits));  // nothing for a cell that does not decode
    }
    for (const auto& b : blocks) cover(b.first, std::min<std::uint64_t>(b.first + b.second, end));
    std::uint64_t uncovered = 0;
    for (std::uint64_t w = from / 64; w < words; ++w) {
        std::uint64_t free = ~covered[w];
        if (w == from / 64) free &= ~0ull << (from % 64);
        if (w == words - 1 && end % 64 != 0) free &= (1ull << (end % 64)) - 1;
        if (free != 0) uncovered += static_cast<std::uint64_t>(__builtin_popcountll(free));
    }
    if (uncovered <= page[head.at + kFragmentedOffset]) return;
    const auto is_covered = [&covered](std::uint64_t at) { return (covered[at / 64] >> (at % 64) & 1) != 0; };
    for (std::uint64_t s = from; s < end;) {
        if (is_covered(s)) {
            ++s;
            continue;
        }
        std::uint64_t e = s + 1;
        while (e < end && !is_covered(e)) ++e;
        if (e - s >= kMinCellBytes) local.emplace(s, e);
        s = e;
    }
}

}  // namespace

int walk_freeblocks(region_map& map, const std::uint8_t* page, std::int32_t page_length,
                    std::uint32_t first_offset, std::uint64_t base_offset, bool keep) {
    if (!keep) map.clear();
    if (page == nullptr || page_length < kMinPageLength || first_offset == 0 ||
        first_offset > static_cast<std::uint32_t>(page_length))
        return 0;
    const byte_view bytes(page, static_cast<std::size_t>(page_length));
    int budget = kDuplicateBudget;
    int result = 0;
    std::uint32_t offset = first_offset & 0xFFFFu;
    for (;;) {
        std::uint16_t next = 0;
        std::uint16_t size = 0;
        // A header that would pass the page end is damage: end here rather than read past the page.
        if (!read_be16(bytes, offset, &next) || !read_be16(bytes, offset + 2, &size)) return result;
        if (size < 4) return result;
        if (!map.emplace(base_offset + offset, size).second) {
            if (budget == 1) return 1;
            --budget;
        }
        if (next == 0 || next >= static_cast<std::uint32_t>(page_length)) return 1;
        result = 1;
        offset = next;
    }
}

int collect_page_slack(region_map& map, const std::uint8_t* page, std::int32_t page_length,
                       std::uint64_t base_offset, bool keep, std::uint64_t page_limit, std::uint32_t usable) {
    if (!keep) map.clear();
    const std::size_t before = map.size();
    if (page == nullptr || page_length < kMinPageLength) return 0;
    // The header at the page's start: page 1, whose header follows the database header, gives none.
    btree_page_header head;
    if (read_btree_page_header(head, page, static_cast<std::size_t>(page_length), 0, 0) !=
        page_header_verdict::sound)
        return 0;
    const std::uint16_t first_freeblock = head.first_freeblock;
    const std::uint16_t cells = head.cell_count;
    const std::uint16_t content_start = head.content_start;
    const std::uint8_t type = head.type;
    const std::uint64_t header_size = head.cell_pointers();
    const std::uint64_t page_end = usable != 0 && usable < static_cast<std::uint32_t>(page_length)
                                       ? usable
                                       : static_cast<std::uint64_t>(page_length);

    // Regions inside the page as (start, end). Nothing past the page end is claimed: those bytes belong
    // to the next page, which is read on its own; nor are the reserved bytes before it.
    region_map local;
    if (cells == 0) {
        // An emptied page keeps the cells it held anywhere after its header; its content start and
        // freeblocks no longer say where.
        local.emplace(header_size, page_end);
    } else {
        // The gap between the cell pointers and the content start: a freed cell that lay at the start of
        // the content area is folded into it whole.
        const std::uint64_t begin = header_size + 2ull * cells;
        std::uint64_t end = std::min<std::uint64_t>(content_start, page_end);
        // The bytes of interior cells the page held below its content start are no record's values.
        if (type == kPageTableInterior && page_limit != 0 && end > begin)
            end = interior_cells_start(page, begin, end, page_limit);
        if (end > begin) local.emplace(begin, end);
        region_map blocks;
        if (first_freeblock != 0) {
            (void)walk_freeblocks(blocks, page, page_length, first_freeblock, 0, true);
            for (const auto& b : blocks) {
                if (b.first >= page_end) continue;
                const std::uint64_t block_end = std::min<std::uint64_t>(b.first + b.second, page_end);
                auto it = local.find(b.first);
                if (it == local.end())
                    local.emplace(b.first, block_end);
                else
                    it->second = std::max(it->second, block_end);
            }
        }
        // A cell no sound pointer names: its bytes are the page's free space too.
        const std::uint64_t area =
            std::max<std::uint64_t>(begin, content_start == 0 ? 65536u : content_start);
        add_uncovered_runs(local, page, static_cast<std::size_t>(page_length), head, area, page_end, blocks);
    }

    // Overlapping regions (a damaged chain) are cut so that no byte is walked twice: a record found
    // twice would be reported twice.
    std::uint64_t covered = 0;
    for (const auto& r : local) {
        const std::uint64_t start = std::max(r.first, covered);
        if (r.second <= start) continue;
        map.emplace(base_offset + start, r.second - start);
        covered = r.second;
    }
    return map.size() > before ? 1 : 0;
}

std::uint64_t rowid_before_record(const std::uint8_t* buf, std::uint64_t h, std::uint64_t record_length) {
    for (std::uint64_t k = 1; k <= kMaxCellPrefix && k <= h; ++k) {
        std::uint64_t value = 0;
        std::uint32_t len = 0;
        if (!read_sqlite_varint(&value, &len, buf + (h - k), static_cast<std::size_t>(k))) continue;
        // A table cell always holds a rowid, and it fills the bytes up to the header (a rowid equal to the
        // record's length reads as a payload size too).
        if (value != record_length || len >= k) continue;
        std::uint64_t rowid = 0;
        std::uint32_t rowid_len = 0;
        if (read_sqlite_varint(&rowid, &rowid_len, buf + (h - k) + len, static_cast<std::size_t>(k - len)) &&
            rowid_len == k - len)
            return rowid;
    }
    return 0;
}

int carve_strings_in_slack(std::multimap<std::uint64_t, sqlite_artifact>& out, const std::uint8_t* slack,
                           std::uint32_t length, std::uint64_t base_offset, std::uint32_t page_size) {
    std::vector<std::string> runs;
    std::vector<std::uint64_t> run_offsets;
    if (slack == nullptr || length == 0 ||
        !extract_ascii_strings(slack, length, kMinTextRun, runs, run_offsets, false, false))
        return 0;
    const std::size_t before = out.size();
    for (std::size_t r = 0; r < runs.size() && r < run_offsets.size(); ++r) {
        const std::uint64_t s = run_offsets[r];
        if (s >= length) continue;
        const std::uint64_t reach = std::min(std::min(s, kMaxHeaderDistance), kMaxHeaderLookBack);
        for (std::uint64_t j = 0; j < reach; ++j) {
            const std::uint64_t h = s - j;
            const std::uint8_t first = slack[h];
            if (first < 1 || first > 127 || first > j + 2) continue;
            std::uint32_t header_size = 0;
            std::vector<std::uint32_t> codes;
            std::vector<std::uint32_t> sizes;
            const std::size_t avail = std::min<std::size_t>(length - h, kHeaderDecodeLimit);
            if (!decode_record_header(&header_size, codes, sizes, slack + h, avail)) continue;
            std::uint64_t total = header_size;
            for (std::uint32_t n : sizes) total += n;
            if (runs[r].size() > total || header_size + 10ull > total) continue;

            sqlite_artifact a;
            a.kind = kArtifactSlackText;
            a.file_offset = base_offset + h;
            a.page_number = page_size != 0 ? (base_offset + h) / page_size : 0;
            const std::uint64_t rowid = rowid_before_record(slack, h, total);
            a.name = std::to_string(rowid);
            sqlite_row_artifact row;
            row.codes = codes;
            row.sizes = sizes;
            row.rowid = rowid;
            row.file_offset = a.file_offset;
            // Text columns, each cut at the end of the buffer.
            std::uint64_t pos = h + header_size;
            for (std::size_t c = 0; c < codes.size() && c < sizes.size(); ++c) {
                const std::uint64_t begin = std::min<std::uint64_t>(pos, length);
                const std::uint64_t end = std::min<std::uint64_t>(pos + sizes[c], length);
                if ((codes[c] & kColKindMask) == kColText)
                    row.values.emplace_back(reinterpret_cast<const char*>(slack + begin),
                                            static_cast<std::size_t>(end - begin));
                pos += sizes[c];
            }
            const std::uint64_t record_end = std::min<std::uint64_t>(h + total, length);
            a.bytes.assign(slack + h, slack + record_end);
            a.rows.emplace(a.name, row);
            out.emplace(a.file_offset, a);
            break;  // the first header that covers the run is the one used
        }
    }
    return out.size() > before ? 1 : 0;
}
