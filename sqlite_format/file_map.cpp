#include "sqlite_format/file_map.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <set>

#include "io/fileio.h"
#include "sqlite_format/format.h"
#include "sqlite_format/freespace.h"

namespace {

constexpr std::uint64_t kMinDbFileSize = kMinPageSize;  // a database holds one page at least

// Byte offset of page `page` (1-based) in 64 bits, so a large page number cannot wrap.
std::uint64_t page_offset(std::uint64_t page, std::uint32_t page_size) { return (page - 1) * page_size; }

}  // namespace

bool read_file_exact(uni::fileio& file, std::uint64_t offset, std::uint32_t length, std::uint8_t* out) {
    if (!file.is_open() || out == nullptr) return false;
    if (length == 0) return true;
    std::uint32_t got = length;
    if (!file.read_at(out, &got, offset)) return false;
    return got == length;
}

int read_whole_file(std::vector<std::uint8_t>& out, uni::fileio& file) {
    out.clear();
    if (file.size() > UINT32_MAX) return 0;
    try {
        out.resize(static_cast<std::size_t>(file.size()));
    } catch (const std::bad_alloc&) {
        out.clear();
        return 0;
    }
    if (!read_file_exact(file, 0, static_cast<std::uint32_t>(out.size()), out.data())) {
        out.clear();
        return 0;
    }
    return 1;
}

int check_db_file_header(uni::fileio& file, db_header_bytes& header) {
    header.fill(0);
    return file.is_open() && file.size() >= kMinDbFileSize &&
                   read_file_exact(file, 0, static_cast<std::uint32_t>(header.size()), header.data()) &&
                   decode_database_header(header).readable()
               ? 1
               : 0;
}

int read_page_size_field(std::uint32_t* page_size, uni::fileio& file) {
    if (page_size == nullptr || !file.is_open() || file.size() < kDbHeaderSize) return 0;
    db_header_bytes header{};
    if (!read_file_exact(file, 0, static_cast<std::uint32_t>(header.size()), header.data())) return 0;
    const std::uint32_t size = decode_database_header(header).page_size;
    if (size == 0) return 0;
    *page_size = size;
    return 1;
}

void collect_free_list(region_map& free_list, uni::fileio& file, const database_header& header) {
    if (!file.is_open() || !header.readable()) return;
    const std::uint32_t page_size = header.page_size;
    const std::uint64_t page_count = file.size() / page_size;
    std::vector<std::uint8_t> page(page_size);
    const byte_view view(page.data(), page.size());
    std::set<std::uint32_t> visited;
    std::uint32_t trunk = header.freelist_trunk;
    while (trunk != 0 && trunk <= page_count && visited.insert(trunk).second) {
        const std::uint64_t offset = page_offset(trunk, page_size);
        free_list.emplace(offset, page_size);
        if (!read_file_exact(file, offset, page_size, page.data())) break;
        std::uint32_t leaves = 0;
        std::uint32_t next = 0;
        (void)read_be32(view, kTrunkCountOffset, &leaves);
        (void)read_be32(view, kTrunkNextOffset, &next);
        if (static_cast<std::uint64_t>(leaves) * 4 + kTrunkLeavesOffset <= page_size) {
            for (std::uint32_t i = 0; i < leaves; ++i) {
                std::uint32_t leaf = 0;
                if (!read_be32(view, kTrunkLeavesOffset + 4ull * i, &leaf)) break;
                if (leaf == 0 || leaf > page_count) continue;  // damaged entry: not a page of this file
                free_list.emplace(page_offset(leaf, page_size), page_size);
            }
        }
        trunk = next;
    }
}

int map_db_pages(region_map& out, uni::fileio& file, const database_header& header) {
    if (!file.is_open() || !header.readable()) return 0;
    const std::uint32_t page_size = header.page_size;
    const std::uint64_t page_count = file.size() / page_size;
    std::vector<std::uint8_t> page(page_size);

    // Free list: trunks and their leaves are whole free pages.
    region_map free_list;
    collect_free_list(free_list, file, header);

    // Slack of every other page; page 1 (header at 100) is never examined.
    for (std::uint64_t k = 2; k <= page_count; ++k) {
        const std::uint64_t offset = page_offset(k, page_size);
        if (free_list.count(offset) != 0) continue;
        if (!read_file_exact(file, offset, page_size, page.data())) break;
        (void)collect_page_slack(out, page.data(), static_cast<std::int32_t>(page_size), offset, true,
                                 page_count, header.usable);
    }

    out.insert(free_list.begin(), free_list.end());  // an offset already present keeps its length
    return out.empty() ? 0 : 1;
}

int map_db_pages(region_map& out, uni::fileio& file, const db_header_bytes& header) {
    return map_db_pages(out, file, decode_database_header(header));
}

bool path_ends_with(const std::string& path, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return path.size() >= n && path.compare(path.size() - n, n, suffix) == 0;
}

namespace {

// Appends `n` bytes at `p`: to a string as chars (its iterator form copies one byte at a time).
void append_page_bytes(std::vector<std::uint8_t>& out, const std::uint8_t* p, std::size_t n) {
    out.insert(out.end(), p, p + n);
}
void append_page_bytes(std::string& out, const std::uint8_t* p, std::size_t n) {
    out.append(reinterpret_cast<const char*>(p), n);
}

template <typename Bytes>
int follow_chain(Bytes& out, uni::fileio& file, std::uint32_t first_page, std::uint32_t page_size,
                 std::uint64_t needed, std::uint32_t usable) {
    if (!file.is_open() || page_size == 0 || page_size_from_field(page_size) != page_size) return 0;
    if (usable == 0 || usable > page_size) usable = page_size;
    if (usable <= kOverflowLinkSize) return 0;
    const std::uint64_t file_size = file.size();
    const std::uint64_t page_count = file_size / page_size;
    std::vector<std::uint8_t> page(page_size);
    std::set<std::uint32_t> visited;
    std::uint64_t appended = 0;
    int result = 0;
    for (std::uint32_t p = first_page; p != 0;) {
        if (p > page_count || !visited.insert(p).second) break;
        if (!read_file_exact(file, page_offset(p, page_size), page_size, page.data())) break;
        // A b-tree page is not an overflow page: the link was damaged.
        if (is_btree_page_header(page.data(), page.size(), page_size)) break;
        append_page_bytes(out, page.data() + kOverflowLinkSize, usable - kOverflowLinkSize);
        appended += usable - kOverflowLinkSize;
        result = 1;
        if (needed != 0 && appended >= needed) break;
        std::uint32_t next = 0;
        (void)read_be32(byte_view(page.data(), page.size()), 0, &next);
        p = next;
    }
    return result;
}

}  // namespace

int follow_overflow_chain(std::vector<std::uint8_t>& out, uni::fileio& file, std::uint32_t first_page,
                          std::uint32_t page_size, std::uint64_t needed, std::uint32_t usable) {
    return follow_chain(out, file, first_page, page_size, needed, usable);
}

int follow_overflow_chain(std::string& out, uni::fileio& file, std::uint32_t first_page,
                          std::uint32_t page_size, std::uint64_t needed, std::uint32_t usable) {
    return follow_chain(out, file, first_page, page_size, needed, usable);
}
