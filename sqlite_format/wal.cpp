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

// The only format version the library reads; a log of another whose header checksum holds is refused.
constexpr std::uint32_t kWalFormatVersion = 3007000;
constexpr std::size_t kWalHeaderChecksumOffset = 24;  // BE32 pair over the header's first 24 bytes
constexpr std::size_t kWalFrameChecksumOffset = 16;   // BE32 pair, chained from the frame before
constexpr std::size_t kWalFrameSummedBytes = 8;       // of a frame header, what its checksum covers
constexpr std::uint64_t kWalReadBlock = 262144;       // bytes of whole frames read at once

// Maps a frame that is not committed (nothing where the caller does not ask for them: null).
void supersede(region_map* superseded, std::uint64_t frame_offset, std::uint32_t page_size) {
    if (superseded != nullptr) superseded->emplace(frame_offset + kWalFrameHeaderSize, page_size);
}

bool stored_checksum_is(const std::uint8_t* at, const std::uint32_t (&sum)[2]) {
    std::uint32_t first = 0, second = 0;
    const byte_view b(at, 8);
    return read_be32(b, 0, &first) && read_be32(b, 4, &second) && first == sum[0] && second == sum[1];
}

// One frame of a log, as its header tells it.
struct wal_frame_head {
    std::uint64_t offset = 0;  // of the frame header in the log
    std::uint32_t page = 0;
    std::uint32_t commit = 0;  // the database's pages after a commit frame, else 0
    // Inside the prefix the library takes: this frame and every one before it has a page number, the
    // header's salts and the checksum chained from the frame before.
    bool valid = false;
};

// Hands each frame header of the log in `file` to `visit`, in order, up to a frame the file does not hold
// whole (a truncated tail: the walk ends before it); `page_size` is set to the log header's first. The
// first frame that fails (or a header whose checksum or version fails) ends the valid prefix, as the
// library's recovery of the log ends it: the frames after it are still visited. False when the header does
// not read as a log's.
template <typename Visit>
bool for_each_wal_frame(uni::fileio& file, std::uint32_t& page_size, Visit visit) {
    std::uint8_t header[kWalHeaderSize] = {};
    if (!read_file_exact(file, 0, kWalHeaderSize, header) ||
        !wal_header_valid(header, sizeof header, &page_size))
        return false;
    const byte_view hb(header, sizeof header);
    std::uint32_t magic = 0, version = 0;
    (void)read_be32(hb, kWalMagicOffset, &magic);
    (void)read_be32(hb, kWalVersionOffset, &version);
    const bool big_endian = magic == kWalMagicBigEndian;
    std::uint32_t sum[2] = {0, 0};
    wal_checksum(sum, header, kWalHeaderChecksumOffset, big_endian);
    bool valid = stored_checksum_is(header + kWalHeaderChecksumOffset, sum) && version == kWalFormatVersion;

    const std::uint64_t file_size = file.size();
    const std::uint64_t frame_size = static_cast<std::uint64_t>(page_size) + kWalFrameHeaderSize;
    // Every page is read for its checksum: whole frames a block at a time, straight into the block.
    const std::uint64_t block_frames = std::max<std::uint64_t>(1, kWalReadBlock / frame_size);
    std::vector<std::uint8_t> block(block_frames * frame_size);
    for (std::uint64_t f = kWalHeaderSize; f < file_size && frame_size <= file_size - f;) {
        const std::uint64_t whole = (file_size - f) / frame_size;
        std::uint32_t got = static_cast<std::uint32_t>(std::min(whole, block_frames) * frame_size);
        if (!file.read_at(block.data(), &got, f) || got < frame_size) break;
        for (const std::uint8_t* frame = block.data(); got >= frame_size;
             frame += frame_size, got -= static_cast<std::uint32_t>(frame_size), f += frame_size) {
            const byte_view fb(frame, kWalFrameHeaderSize);
            wal_frame_head head;
            head.offset = f;
            (void)read_be32(fb, kWalFramePageOffset, &head.page);
            (void)read_be32(fb, kWalFrameCommitOffset, &head.commit);
            if (valid) {
                valid = head.page != 0 && std::memcmp(frame + kWalFrameSaltOffset, header + kWalSaltOffset,
                                                      kWalSaltLength) == 0;
                if (valid) {
                    wal_checksum(sum, frame, kWalFrameSummedBytes, big_endian);
                    wal_checksum(sum, frame + kWalFrameHeaderSize, page_size, big_endian);
                    valid = stored_checksum_is(frame + kWalFrameChecksumOffset, sum);
                }
            }
            head.valid = valid;
            visit(head);
        }
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

// A 32-bit word of the log's checksum, in the word order its magic gives.
template <bool BigEndian>
std::uint32_t sum_word(const std::uint8_t* p) {
    if (BigEndian)
        return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
    return p[0] | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// The linear map that summing `steps` pairs of words lays on the sum it starts from: one pair takes (s1, s2)
// to (s1 + s2 + x0, s1 + 2 s2 + x0 + x1), so n pairs give M^n (s1, s2) plus what they give from {0, 0}, with
// M = [[1, 1], [1, 2]] (all arithmetic modulo 2^32).
struct sum_map {
    std::uint32_t a = 1, b = 0, c = 0, d = 1;  // s1' = a s1 + b s2; s2' = c s1 + d s2
    sum_map then(const sum_map& m) const {
        return {m.a * a + m.b * c, m.a * b + m.b * d, m.c * a + m.d * c, m.c * b + m.d * d};
    }
};

sum_map map_of_steps(std::size_t steps) {
    sum_map power{1, 1, 1, 2}, out;
    for (; steps != 0; steps >>= 1, power = power.then(power))
        if ((steps & 1) != 0) out = out.then(power);
    return out;
}

// The sum over whole pairs from `p` to `end`. A page is summed as two halves at once, each from {0, 0}, and
// joined through the map of a half: two chains of additions the processor runs side by side.
template <bool BigEndian>
void sum_pairs(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p, const std::uint8_t* end) {
    const std::size_t pairs = static_cast<std::size_t>(end - p) / 8;
    if (pairs >= 64) {
        const std::size_t half = pairs / 2;
        const std::uint8_t* q = p + half * 8;
        std::uint32_t a1 = 0, a2 = 0, b1 = 0, b2 = 0;
        for (const std::uint8_t* const stop = q; p != stop; p += 8, q += 8) {
            a1 += sum_word<BigEndian>(p) + a2;
            b1 += sum_word<BigEndian>(q) + b2;
            a2 += sum_word<BigEndian>(p + 4) + a1;
            b2 += sum_word<BigEndian>(q + 4) + b1;
        }
        const sum_map m = map_of_steps(half);
        std::uint32_t t1 = m.a * s1 + m.b * s2 + a1, t2 = m.c * s1 + m.d * s2 + a2;
        s1 = m.a * t1 + m.b * t2 + b1;
        s2 = m.c * t1 + m.d * t2 + b2;
        p = q;
    }
    for (; p != end; p += 8) {
        s1 += sum_word<BigEndian>(p) + s2;
        s2 += sum_word<BigEndian>(p + 4) + s1;
    }
}

}  // namespace

void wal_checksum(std::uint32_t (&sum)[2], const std::uint8_t* data, std::size_t length, bool big_endian) {
    const std::uint8_t* const end = data + (length & ~static_cast<std::size_t>(7));
    if (big_endian)
        sum_pairs<true>(sum[0], sum[1], data, end);
    else
        sum_pairs<false>(sum[0], sum[1], data, end);
}

namespace {

// The frames of the log in `file` sorted as parse_wal_file sorts them, with the pages of the last commit
// (as wal_committed_pages counts them) and the most pages the database had. False when the header fails.
bool sort_wal_frames(wal_frame_map& valid, region_map* superseded, std::uint32_t& page_size,
                     std::uint64_t& committed_pages, std::uint64_t& db_pages, uni::fileio& file) {
    valid.clear();
    if (superseded != nullptr) superseded->clear();
    committed_pages = 0;
    db_pages = 0;
    wal_frame_map pending;  // page -> frame of the transaction not yet committed
    const bool log = for_each_wal_frame(file, page_size, [&](const wal_frame_head& frame) {
        const std::uint64_t f = frame.offset;
        const std::uint32_t page = frame.page;
        const std::uint32_t commit = frame.commit;
        db_pages = std::max<std::uint64_t>(db_pages, std::max(page, commit));
        // Past the valid prefix nothing counts, whatever its salts or checksums: carved, never laid.
        if (!frame.valid) {
            supersede(superseded, f, page_size);
            return;
        }
        // A page written again inside one transaction: the later frame is the newer version, the earlier
        // one is superseded (neither may be lost).
        auto it = pending.find(page);
        if (it != pending.end()) {
            supersede(superseded, it->second, page_size);
            it->second = f;
        } else {
            pending.emplace(page, f);
        }
        if (commit == 0) return;
        committed_pages = commit;
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
    });
    if (!log) return false;
    // The frames after the last commit of the prefix: a transaction that never committed.
    for (const auto& entry : pending) supersede(superseded, entry.second, page_size);
    return true;
}

}  // namespace

namespace {

// Frames whose slack one helper collects at a time.
constexpr std::size_t kSlackGroupFrames = 64;
// Fewer valid frames than this are read on the calling thread alone.
constexpr std::size_t kSlackHelpersFrom = 1024;

// The slack of every valid frame's page image into `slack` (up to `usable` bytes of each; 0: the whole page),
// read by up to `threads` helper threads (on a file open on a descriptor) a group of frames at a time; the
// regions are the same with any number.
void collect_valid_slack(region_map& slack, const wal_frame_map& valid, std::uint32_t page_size,
                         std::uint64_t db_pages, uni::fileio& file, unsigned threads, std::uint32_t usable) {
    if (threads == 0 || valid.size() < kSlackHelpersFrom || file.descriptor < 0 || file.in_memory) {
        std::vector<std::uint8_t> image(page_size);
        for (const auto& entry : valid) {
            const std::uint64_t image_offset = entry.second + kWalFrameHeaderSize;
            if (read_file_exact(file, image_offset, page_size, image.data()))
                (void)collect_page_slack(slack, image.data(), static_cast<std::int32_t>(page_size),
                                         image_offset, true, db_pages, usable);
        }
        return;
    }
    struct group {
        std::vector<std::uint64_t> offsets;  // of the page images
        void clear() { offsets.clear(); }
    };
    const uni::fileio& shared = file;
    ordered_stage<group, region_map> stage(
        4 * static_cast<std::size_t>(threads), kSlackGroupFrames,
        [&shared, page_size, db_pages, usable] {
            auto image = std::make_shared<std::vector<std::uint8_t>>(page_size);
            return [&shared, page_size, db_pages, usable, image](group& in, region_map& out) {
                out.clear();
                for (const std::uint64_t offset : in.offsets) {
                    if (uni::read_shared(shared, image->data(), page_size, offset) == page_size)
                        (void)collect_page_slack(out, image->data(), static_cast<std::int32_t>(page_size),
                                                 offset, true, db_pages, usable);
                }
            };
        },
        [&slack](group&, region_map& out) {
            for (const auto& r : out) slack.emplace(r.first, r.second);
        });
    stage.start(threads);
    for (const auto& entry : valid)
        stage.add([&entry](group& g) { g.offsets.push_back(entry.second + kWalFrameHeaderSize); });
    stage.end();
}

}  // namespace

int sort_wal_log(wal_sort& out, uni::fileio& file, bool every_frame) {
    out = wal_sort();
    out.every_frame = every_frame;
    out.read = sort_wal_frames(out.valid, every_frame ? &out.superseded : nullptr, out.page_size,
                               out.committed_pages, out.db_pages, file);
    return out.read && (!out.valid.empty() || !out.superseded.empty()) ? 1 : 0;
}

void map_wal_regions(region_map& overwritten, region_map& slack, const wal_sort& sort, uni::fileio& file,
                     unsigned threads, std::uint8_t reserved) {
    overwritten.clear();
    slack.clear();
    for (const auto& entry : sort.valid)
        overwritten.emplace((entry.first - 1) * sort.page_size, sort.page_size);
    const std::uint32_t usable = sort.page_size > reserved ? sort.page_size - reserved : 0;
    collect_valid_slack(slack, sort.valid, sort.page_size, sort.db_pages, file, threads, usable);
}

int parse_wal_file(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   uni::fileio& file, unsigned threads) {
    overwritten.clear();
    slack.clear();
    wal_sort sort;
    const int sorted = sort_wal_log(sort, file);
    valid.swap(sort.valid);
    superseded.swap(sort.superseded);
    if (!sort.read) return 0;
    sort.valid.clear();
    for (const auto& entry : valid) overwritten.emplace((entry.first - 1) * sort.page_size, sort.page_size);
    collect_valid_slack(slack, valid, sort.page_size, sort.db_pages, file, threads, 0);
    return sorted;
}

int map_wal_commits(wal_frame_map& valid, std::uint64_t& committed_pages, uni::fileio& file) {
    region_map superseded;
    std::uint32_t page_size = 0;
    std::uint64_t db_pages = 0;
    if (!sort_wal_frames(valid, &superseded, page_size, committed_pages, db_pages, file)) {
        valid.clear();
        committed_pages = 0;
        return 0;
    }
    return !valid.empty() || !superseded.empty() ? 1 : 0;
}

std::uint64_t wal_committed_pages(uni::fileio& file) {
    wal_frame_map valid;
    std::uint64_t pages = 0;
    (void)map_wal_commits(valid, pages, file);
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
