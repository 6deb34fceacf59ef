#include "sqlite_format/page_reach.h"

#include <algorithm>

#include "sqlite_format/btree.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/format.h"
#include "sqlite_format/layout.h"
#include "sqlite_format/tree_check.h"

namespace {

// The first overflow page of the cell at offset `at` of the b-tree page `page` (of `type`, not a table
// interior page's); 0 when its payload fits on the page or its header does not decode inside the page.
std::uint32_t first_overflow_page(const std::vector<std::uint8_t>& page, std::uint8_t type, std::size_t at,
                                  std::uint32_t page_size, std::uint8_t reserved) {
    const std::uint8_t* cell = page.data() + at;
    const std::size_t left = page.size() - at;
    cell_metadata c;
    c.leaf = type == kPageTableLeaf || type == kPageIndexLeaf ? 1 : 0;
    c.table = type == kPageTableLeaf ? 1 : 0;
    std::size_t pos = c.leaf ? 0 : kChildPointerSize;
    std::uint64_t value = 0;
    std::uint32_t used = 0;
    if (pos >= left || !read_sqlite_varint(&value, &used, cell + pos, left - pos)) return 0;
    c.payload_size = value;
    c.payload_size_length = static_cast<std::uint16_t>(used);
    pos += used;
    if (c.table) {
        if (pos >= left || !read_sqlite_varint(&value, &used, cell + pos, left - pos)) return 0;
        c.rowid_length = static_cast<std::uint16_t>(used);
    }
    std::uint32_t local = 0, over = 0, first = 0;
    if (!compute_local_payload(&local, &over, &first, cell, left, c, page_size, reserved, false)) return 0;
    return over != 0 ? first : 0;
}

// The pages of a state of `pages` pages that its owners leave to nobody and that no overflow chain of a cell
// of a tree's page reaches: each tree page is read in page order (one a walk took unread that reads as no
// b-tree page is reached by nothing that reads), and each chain followed while its pages are nobody's and
// read as no b-tree page.
class chain_reach {
  public:
    chain_reach(const state_pages& state, const database_header& header, std::uint64_t pages,
                const page_values& owners)
        : state_(state),
          page_size_(header.page_size),
          reserved_(header.reserved),
          pages_(pages),
          owners_(owners),
          marks_(static_cast<std::size_t>(pages) + 1, 0),
          buf_(header.page_size) {}

    void follow_every_chain() {
        for (std::uint64_t page = 1; page <= pages_; ++page) {
            const std::uint32_t code = owners_.get(page);
            if (code < kOwnerFirstTree || (code & kOwnerOverflow) != 0) continue;
            btree_page_header head;
            if (!read_page(page, head)) {
                marks_[page] = kNoTreePage;
                continue;
            }
            if (head.type == kPageTableInterior) continue;
            const byte_view view(buf_.data(), buf_.size());
            for (std::size_t i = 0; i < head.cell_count; ++i) {
                std::uint16_t at = 0;
                if (!read_be16(view, head.cell_pointers() + 2 * i, &at)) break;
                if (at >= buf_.size()) continue;
                const std::uint32_t first = first_overflow_page(buf_, head.type, at, page_size_, reserved_);
                if (first != 0) chain_.push_back(first);
            }
            for (const std::uint32_t first : chain_) follow(first);
            chain_.clear();
        }
    }

    bool reached(std::uint64_t page) const {
        return marks_[page] == kReached || marks_[page] == kChained ||
               (owners_.get(page) != kOwnerNobody && marks_[page] != kNoTreePage);
    }
    // Kept by a tree: one of its b-tree pages that reads as one, or a page of one of its cells' chains.
    bool kept(std::uint64_t page) const {
        const std::uint32_t code = owners_.get(page);
        return (code >= kOwnerFirstTree && marks_[page] != kNoTreePage) || marks_[page] == kChained;
    }
    void set_aside(std::uint64_t page) {
        if (page != 0 && page <= pages_) marks_[page] = kReached;
    }

  private:
    // Page `page` into buf_ with its b-tree header: false where it is no sound b-tree page.
    bool read_page(std::uint64_t page, btree_page_header& head) {
        if (state_.read(page, buf_.data()) < page_size_) return false;
        return read_btree_page_header(head, buf_.data(), buf_.size(),
                                      btree_header_offset(buf_.data(), buf_.size()),
                                      page_size_) == page_header_verdict::sound;
    }

    void follow(std::uint64_t page) {
        while (page != 0 && page <= pages_ && !reached(page)) {
            if (state_.read(page, buf_.data()) < kMinPageSize) return;
            if (is_btree_page_header(buf_.data(), kMinPageSize, page_size_)) return;  // the link was damaged
            marks_[page] = kChained;
            std::uint32_t next = 0;
            (void)read_be32(byte_view(buf_.data(), buf_.size()), 0, &next);
            page = next;
        }
    }

    const state_pages& state_;
    const std::uint32_t page_size_;
    const std::uint8_t reserved_;
    const std::uint64_t pages_;
    const page_values& owners_;
    static constexpr std::uint8_t kReached = 1;     // set aside by the format
    static constexpr std::uint8_t kNoTreePage = 2;  // a tree's page that reads as no b-tree page
    static constexpr std::uint8_t kChained = 3;     // reached by an overflow chain
    std::vector<std::uint8_t> marks_;
    std::vector<std::uint8_t> buf_;
    std::vector<std::uint32_t> chain_;
};

}  // namespace

int reach_state(state_reach& out, const database_source& source, const database_verdict* verdict,
                database_view view, const std::vector<listed_tree>& trees) {
    out = state_reach();
    const database_header& header = source.header_of(view);
    if (!header.magic || header.page_size == 0) return 0;
    const std::uint32_t page_size = header.page_size;
    // The owners of the state: the verdict's where it judged it, else a check of its own.
    database_verdict own;
    if (verdict == nullptr || verdict->view != view) {
        std::vector<listed_tree> unread = trees;
        for (listed_tree& tree : unread) tree.rows = false;
        if (!check_database_trees(own, source, view, unread)) return 0;
        verdict = &own;
    }
    committed_state opened;
    if (!open_committed_state(opened, source, view)) return 0;
    const database_bytes bytes = opened.bytes();
    if (bytes.file == nullptr) return 0;
    state_pages state(bytes, page_size);
    // Where each page's bytes lie: the log's committed frame of it, a hot journal's image of it, or the
    // main file (of the log's image, page 1 alone; its other pages are zeros).
    const bool log =
        view == database_view::log_image || (view == database_view::committed && source.log_commits());
    const wal_frame_map* frames = log ? &source.log_frames() : nullptr;
    const bool journal =
        source.journal_rolls_back() && (view == database_view::own || view == database_view::committed);
    const std::uint64_t file_pages = source.file_size() / page_size;
    std::uint64_t pages = file_pages;
    if (frames != nullptr && !frames->empty()) pages = std::max(pages, frames->rbegin()->first);
    pages = std::min<std::uint64_t>(pages, std::max<std::uint64_t>(verdict->pages, file_pages));
    chain_reach reach(state, header, pages, verdict->owners);
    // Pages the format sets aside: the lock-byte page, and with auto-vacuum the pointer-map pages (page 2
    // and one after every run of pages one map page describes; one moves past the lock-byte page).
    const std::uint64_t lock_page = kLockByteOffset / page_size + 1;
    reach.set_aside(lock_page);
    if (header.largest_root != 0) {
        const std::uint64_t per_map = header.usable / kPointerMapEntrySize + 1;
        for (std::uint64_t p = 2; p <= pages; p += per_map) reach.set_aside(p == lock_page ? p + 1 : p);
    }
    reach.follow_every_chain();
    out.pages = pages;
    out.kept = page_values(pages);
    std::vector<bool> in_journal;
    if (journal)
        for (const journal_record& r : source.journal_records().records)
            if (r.played && r.page <= pages) {
                in_journal.resize(static_cast<std::size_t>(pages) + 1, false);
                in_journal[r.page] = true;
            }
    for (std::uint64_t p = 1; p <= pages; ++p) {
        // Where the state's bytes of the page lie.
        bool in_file = p <= file_pages && !(p < in_journal.size() && in_journal[p]);
        const auto frame = frames != nullptr ? frames->find(p) : wal_frame_map::const_iterator();
        if (frames != nullptr && frame != frames->end())
            in_file = false;
        else if (view == database_view::log_image && p != 1)
            continue;
        if (in_file && reach.kept(p)) out.kept.set(p, 1);
        if (reach.reached(p)) continue;
        if (frames != nullptr && frame != frames->end())
            out.frames.push_back(frame->second);
        else if (in_file)
            out.main.push_back((p - 1) * page_size);
    }
    return 1;
}
