#include "sqlite_format/wal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <set>

#include "io/fileio.h"
#include "platform/ordered_stage.h"
#include "sqlite_format/format.h"
#include "sqlite_format/freespace.h"

namespace {


void supersede(region_map& superseded, std::uint64_t frame_offset, std::uint32_t page_size) {
    superseded.emplace(frame_offset + kWalFrameHeaderSize, page_size);
}

// One frame of a log, as its header tells it.
struct wal_frame_head {
    std::uint64_t offset = 0;  // of the frame header in the log
    std::uint32_t page = 0;
    std::uint32_t commit = 0;  // the database's pages after a commit frame, else 0
    bool current = false;      // its salts are the log header's
};

// Hands each frame header of the log in `file` to `visit`, in order, up to a frame the file does not hold
// whole (a truncated tail: the walk ends before it) or one of page 0; `page_size` is set to the log
// header's first. False when the header does not read as a log's.
template <typename Visit>
bool for_each_wal_frame(uni::fileio& file, std::uint32_t& page_size, Visit visit) {
    std::uint8_t header[kWalHeaderSize] = {};
    if (!read_file_exact(file, 0, kWalHeaderSize, header) ||
        !wal_header_valid(header, sizeof header, &page_size))
        return false;
    const std::uint64_t file_size = file.size();
    const std::uint64_t frame_size = static_cast<std::uint64_t>(page_size) + kWalFrameHeaderSize;
    std::uint8_t frame[kWalFrameHeaderSize] = {};
    // Only the frame headers are read: on a descriptor each alone, not the pages between them.
    const bool direct = file.descriptor >= 0 && !file.in_memory;
    for (std::uint64_t f = kWalHeaderSize; f < file_size && frame_size <= file_size - f; f += frame_size) {
        if (direct ? uni::read_shared(file, frame, kWalFrameHeaderSize, f) != kWalFrameHeaderSize
                   : !read_file_exact(file, f, kWalFrameHeaderSize, frame))
            break;
        const byte_view fb(frame, sizeof frame);
        wal_frame_head head;
        head.offset = f;
        (void)read_be32(fb, kWalFramePageOffset, &head.page);
        (void)read_be32(fb, kWalFrameCommitOffset, &head.commit);
        if (head.page == 0) break;
        head.current = std::memcmp(frame + kWalFrameSaltOffset, header + kWalSaltOffset, kWalSaltLength) == 0;
        visit(head);
    }
    return true;
}

}  // namespace

bool wal_magic_and_version_valid(const std::uint8_t* header, std::size_t length) {
    if (header == nullptr || length < kWalHeaderSize) return false;
    const byte_view b(header, length);
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    if (!read_be32(b, kWalMagicOffset, &magic) || !read_be32(b, kWalVersionOffset, &version)) return false;
    return (magic == kWalMagicLittleEndian || magic == kWalMagicBigEndian) && version != 0;
}

int wal_header_valid(const std::uint8_t* header, std::size_t length, std::uint32_t* page_size) {
    if (!wal_magic_and_version_valid(header, length)) return 0;
    std::uint32_t stored = 0;
    if (!read_be32(byte_view(header, length), kWalPageSizeOffset, &stored)) return 0;
    const std::uint32_t size = page_size_from_wide_field(stored);
    if (size == 0) return 0;
    if (page_size) *page_size = size;
    return 1;
}

namespace {

// The frames of the log in `file` sorted as parse_wal_file sorts them, with the pages of the last commit
// (as wal_committed_pages counts them) and the most pages the database had; no page is read. False when the
// header fails.
bool sort_wal_frames(wal_frame_map& valid, region_map& superseded, std::uint32_t& page_size,
                     std::uint64_t& committed_pages, std::uint64_t& db_pages, uni::fileio& file) {
    valid.clear();
    superseded.clear();
    committed_pages = 0;
    db_pages = 0;
    wal_frame_map pending;               // page -> frame of the transaction not yet committed
    std::vector<std::uint64_t> foreign;  // frames whose salts differ from the header's
    const bool log = for_each_wal_frame(file, page_size, [&](const wal_frame_head& frame) {
        const std::uint64_t f = frame.offset;
        const std::uint32_t page = frame.page;
        const std::uint32_t commit = frame.commit;
        db_pages = std::max<std::uint64_t>(db_pages, std::max(page, commit));
        if (frame.current) {
            if (commit != 0) committed_pages = commit;
            // A page written again inside one transaction: the later frame is the newer version, the
            // earlier one is superseded (neither may be lost).
            auto it = pending.find(page);
            if (it != pending.end()) {
                supersede(superseded, it->second, page_size);
                it->second = f;
            } else {
                pending.emplace(page, f);
            }
            if (commit != 0) {
                for (const auto& entry : pending) {
                    auto old = valid.find(entry.first);
                    if (old != valid.end()) {
                        supersede(superseded, old->second, page_size);
                        old->second = entry.second;
                    } else {
                        valid.emplace(entry.first, entry.second);
                    }
                }
                pending.clear();
            }
        } else {
            foreign.push_back(f);
            if (commit != 0) {
                for (const auto& entry : pending) supersede(superseded, entry.second, page_size);
                pending.clear();
                for (std::uint64_t off : foreign) supersede(superseded, off, page_size);
                foreign.clear();
            }
        }
    });
    if (!log) return false;
    for (const auto& entry : pending) supersede(superseded, entry.second, page_size);
    for (std::uint64_t off : foreign) supersede(superseded, off, page_size);
    return true;
}

}  // namespace

namespace {

// Frames whose slack one helper collects at a time.
constexpr std::size_t kSlackGroupFrames = 64;
// Fewer valid frames than this are read on the calling thread alone.
constexpr std::size_t kSlackHelpersFrom = 1024;

// The slack of every valid frame's page image into `slack`, read by up to `threads` helper threads (on a
// file open on a descriptor) a group of frames at a time; the regions are the same with any number.
void collect_valid_slack(region_map& slack, const wal_frame_map& valid, std::uint32_t page_size,
                         std::uint64_t db_pages, uni::fileio& file, unsigned threads) {
    if (threads == 0 || valid.size() < kSlackHelpersFrom || file.descriptor < 0 || file.in_memory) {
        std::vector<std::uint8_t> image(page_size);
        for (const auto& entry : valid) {
            const std::uint64_t image_offset = entry.second + kWalFrameHeaderSize;
            if (read_file_exact(file, image_offset, page_size, image.data()))
                (void)collect_page_slack(slack, image.data(), static_cast<std::int32_t>(page_size),
                                         image_offset, true, db_pages);
        }
        return;
    }
    struct group {
        std::vector<std::uint64_t> offsets;  // of the page images
    };
    const uni::fileio& shared = file;
    ordered_stage<group, region_map> stage(
        4 * static_cast<std::size_t>(threads),
        [&shared, page_size, db_pages] {
            auto image = std::make_shared<std::vector<std::uint8_t>>(page_size);
            return [&shared, page_size, db_pages, image](group& in, region_map& out) {
                out.clear();
                for (const std::uint64_t offset : in.offsets) {
                    if (uni::read_shared(shared, image->data(), page_size, offset) == page_size)
                        (void)collect_page_slack(out, image->data(), static_cast<std::int32_t>(page_size),
                                                 offset, true, db_pages);
                }
            };
        },
        [&slack](group&, region_map& out) {
            for (const auto& r : out) slack.emplace(r.first, r.second);
        });
    stage.start(threads);
    group* filling = nullptr;
    for (const auto& entry : valid) {
        if (filling == nullptr) {
            filling = &stage.next();
            filling->offsets.clear();
        }
        filling->offsets.push_back(entry.second + kWalFrameHeaderSize);
        if (filling->offsets.size() == kSlackGroupFrames) {
            stage.submit();
            filling = nullptr;
        }
    }
    if (filling != nullptr && !filling->offsets.empty()) stage.submit();
    stage.finish_and_stop();
}

}  // namespace

int parse_wal_file(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   uni::fileio& file, unsigned threads) {
    overwritten.clear();
    slack.clear();
    std::uint32_t page_size = 0;
    std::uint64_t committed_pages = 0;
    std::uint64_t db_pages = 0;  // the most pages the database had: a bound for child page numbers
    if (!sort_wal_frames(valid, superseded, page_size, committed_pages, db_pages, file)) return 0;
    for (const auto& entry : valid) overwritten.emplace((entry.first - 1) * page_size, page_size);
    collect_valid_slack(slack, valid, page_size, db_pages, file, threads);
    return !valid.empty() || !superseded.empty() ? 1 : 0;
}

int map_wal_commits(wal_frame_map& valid, std::uint64_t& committed_pages, uni::fileio& file) {
    region_map superseded;
    std::uint32_t page_size = 0;
    std::uint64_t db_pages = 0;
    if (!sort_wal_frames(valid, superseded, page_size, committed_pages, db_pages, file)) {
        valid.clear();
        committed_pages = 0;
        return 0;
    }
    return !valid.empty() || !superseded.empty() ? 1 : 0;
}

std::uint64_t wal_committed_pages(uni::fileio& file) {
    std::uint32_t page_size = 0;
    std::uint64_t pages = 0;
    (void)for_each_wal_frame(file, page_size, [&pages](const wal_frame_head& frame) {
        if (frame.commit != 0 && frame.current) pages = frame.commit;
    });
    return pages;
}

int parse_wal_path(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   const std::string& path) {
    if (path.empty()) return 0;
    uni::fileio file;
    if (!file.open(path, false, false, false)) return 0;
    const int result = parse_wal_file(overwritten, valid, superseded, slack, file);
    file.close();
    return result;
}
