// Where every field that the reader takes from the disk stands: the database header, the b-tree page
// header, the free-list trunk page, the write-ahead-log header and frame header, and the rollback
// journal header. Offsets are in bytes from the start of the structure; multi-byte fields are
// big-endian unless said otherwise. This file is the one place that states them.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Database header: the first 100 bytes of page 1.

constexpr std::size_t kDbHeaderSize = 100;         // the header; page 1's b-tree header follows it
constexpr std::size_t kDbMagicLength = 15;         // "SQLite format 3" (the zero at 15 is not compared)
constexpr std::size_t kDbPageSizeOffset = 16;      // BE16 page size; 1 stands for 65536
constexpr std::size_t kDbWriteVersionOffset = 18;  // u8 file format write version: 1 legacy, 2 WAL
constexpr std::size_t kDbReadVersionOffset = 19;   // u8 file format read version: 1 legacy, 2 WAL
constexpr std::uint8_t kDbWalVersion = 2;
constexpr std::size_t kDbReservedOffset = 20;          // u8 bytes reserved at the end of every page
constexpr std::size_t kDbPayloadFractionsOffset = 21;  // u8 x 3: max and min embedded, leaf payload fraction
constexpr std::size_t kDbFreelistTrunkOffset = 32;     // BE32 first free-list trunk page, 0 = none
constexpr std::size_t kDbSchemaFormatOffset = 44;      // BE32 schema format number: 1 to 4
constexpr std::size_t kDbLargestRootOffset = 52;       // BE32 largest root page with auto-vacuum, else 0
constexpr std::size_t kDbTextEncodingOffset = 56;      // BE32 text encoding, one of the values below
constexpr std::uint64_t kLockByteOffset = 0x40000000;  // the page holding this byte is never used
constexpr std::uint32_t kPointerMapEntrySize = 5;      // one pointer-map entry: type byte and BE32 parent
constexpr std::size_t kPage1MinSize = 112;             // database header + a leaf page header + margin
constexpr std::uint32_t kMinPageSize = 512;            // the smallest page size the format allows
constexpr std::uint32_t kMaxPageSize = 65536;          // the largest page size the format allows
constexpr std::uint32_t kMinUsableSize = 480;  // the fewest bytes a page may keep past its reserved ones

// The count of pages in the file, valid only where the change counter it was written for is the file's.
constexpr std::size_t kDbChangeCounterOffset = 24;  // BE32 change counter of the file
constexpr std::size_t kDbPageCountOffset = 28;      // BE32 pages in the file
constexpr std::size_t kDbValidForOffset = 92;       // BE32 change counter the page count was written for

extern const char kSqliteMagic[];  // "SQLite format 3"

// How a database stores its texts: the values of its header's text encoding field.
enum class text_encoding : std::uint8_t { utf8 = 1, utf16le = 2, utf16be = 3 };

// ---------------------------------------------------------------------------------------------
// B-tree page header, from its own start (offset 100 on page 1, 0 elsewhere).

constexpr std::size_t kPageTypeOffset = 0;        // u8: 2, 5, 10, 13
constexpr std::size_t kFirstFreeblockOffset = 1;  // BE16 first freeblock, 0 = none
constexpr std::size_t kCellCountOffset = 3;       // BE16 number of cells
constexpr std::size_t kContentStartOffset = 5;    // BE16 start of the cell content area
constexpr std::size_t kFragmentedOffset = 7;      // u8 fragmented free bytes (the tree check counts them)
constexpr std::size_t kRightChildOffset = 8;      // BE32 right-most child, interior pages only
constexpr std::size_t kLeafHeaderSize = 8;        // header of a leaf page; the cell pointers follow
constexpr std::size_t kInteriorHeaderSize = 12;   // header of an interior page; the cell pointers follow
constexpr std::size_t kChildPointerSize = 4;      // BE32 left child at the start of an interior cell
constexpr std::size_t kOverflowPointerSize = 4;   // BE32 first overflow page after a cell's local payload

constexpr std::uint8_t kPageIndexInterior = 2;
constexpr std::uint8_t kPageTableInterior = 5;
constexpr std::uint8_t kPageIndexLeaf = 10;
constexpr std::uint8_t kPageTableLeaf = 13;

// ---------------------------------------------------------------------------------------------
// Free-list trunk page and overflow page.

constexpr std::size_t kTrunkNextOffset = 0;    // BE32 next trunk page, 0 = last
constexpr std::size_t kTrunkCountOffset = 4;   // BE32 number of leaf page numbers that follow
constexpr std::size_t kTrunkLeavesOffset = 8;  // BE32 leaf page numbers, one after another
constexpr std::size_t kOverflowLinkSize = 4;   // BE32 next overflow page at the start of an overflow page

// ---------------------------------------------------------------------------------------------
// Write-ahead log ("-wal"): a 32-byte header, then frames of a 24-byte header and one page image.

constexpr std::size_t kWalHeaderSize = 32;                   // the log header
constexpr std::size_t kWalMagicOffset = 0;                   // BE32 magic, one of the two below
constexpr std::uint32_t kWalMagicLittleEndian = 0x377F0682;  // BE32 at 0: checksums little-endian
constexpr std::uint32_t kWalMagicBigEndian = 0x377F0683;     // BE32 at 0: checksums big-endian
constexpr std::size_t kWalVersionOffset = 4;                 // BE32 format version, never 0
constexpr std::size_t kWalPageSizeOffset = 8;                // BE32 page size, 65536 written as is
constexpr std::size_t kWalSaltOffset = 16;                   // salt-1 then salt-2, compared as they stand
constexpr std::size_t kWalSaltLength = 8;                    // both salts
constexpr std::size_t kWalFrameHeaderSize = 24;              // the header before each page image
constexpr std::size_t kWalFramePageOffset = 0;               // BE32 page number, 0 ends the log
constexpr std::size_t kWalFrameCommitOffset = 4;  // BE32 database size in pages on a commit frame, else 0
constexpr std::size_t kWalFrameSaltOffset = 8;    // the salts of the header the frame was written under

// ---------------------------------------------------------------------------------------------
// Rollback journal ("-journal"): one or more segments, each a header at a multiple of the sector size
// and the page records after it; the first header's sector begins at 0.

constexpr std::uint8_t kJournalMagic0 = 0xD9;  // first two bytes of a journal header's magic
constexpr std::uint8_t kJournalMagic1 = 0xD5;
constexpr std::uint8_t kJournalMagic[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
constexpr std::size_t kJournalMagicLength = 8;  // the magic, all zero in a journal not yet synced
constexpr std::size_t kJournalRecordCountOffset =
    8;  // BE32 records of the segment; 0 not yet synced, -1 to the end
constexpr std::size_t kJournalNonceOffset = 12;         // BE32 checksum nonce
constexpr std::size_t kJournalInitialSizeOffset = 16;   // BE32 database size in pages before the transaction
constexpr std::size_t kJournalSectorSizeOffset = 20;    // BE32 sector size: the size of each segment header
constexpr std::size_t kJournalPageSizeOffset = 24;      // BE32 page size
constexpr std::size_t kJournalHeaderFields = 28;        // the fields above
constexpr std::size_t kJournalFirstRecordOffset = 512;  // the first page record of a 512-byte sector
constexpr std::uint32_t kJournalMinSectorSize = 32;
constexpr std::uint32_t kJournalMaxSectorSize = 65536;
constexpr std::size_t kJournalPageNumberSize = 4;      // BE32 page number before each page image
constexpr std::size_t kJournalRecordOverhead = 8;      // page number before the image, checksum after it
constexpr std::uint32_t kJournalChecksumStride = 200;  // the checksum adds every 200th byte of the page
