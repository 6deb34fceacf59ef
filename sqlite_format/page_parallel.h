// Table leaf pages decoded on several threads and handed on in their order: a table of many leaves is read
// with the machine's cores while its rows still come out as a walk of one thread gives them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sqlite_format/btree.h"

namespace uni {
class fileio;
}

// Below this many leaves a table is decoded on the calling thread: threads would cost more than they save.
constexpr std::size_t kParallelLeafPages = 64;

// Receives the artifacts of one leaf page (parse_table_page's output, non-empty); false stops the walk.
using leaf_page_consumer = std::function<bool(artifact_map&)>;

// Reads the pages at the file offsets `offsets` of `file` and decodes each with parse_table_page (as a page
// of its own, with `options`; overflow chains are followed through a handle of each thread's own, whatever
// `options.file` says) on `threads` threads, each reading through a handle of its own on the file; `consume`
// gets the artifacts of each page that read and decoded, in the order of `offsets`, on the calling thread
// (an ordered_stage of groups of pages). At most a few groups per thread are in flight at any time. Returns 0
// without handing anything on when this cannot be done (a file in memory, a file that cannot be opened again,
// fewer than two threads): the caller then decodes the pages itself. Otherwise 1; where a thread cannot be
// started fewer threads (or the calling thread) decode the same pages. An exception of `consume`, or the
// failure of a decoding thread (out of memory), is thrown here once the threads are joined.
int decode_leaf_pages_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                               const leaf_page_options& options, unsigned threads,
                               const leaf_page_consumer& consume);

// One leaf's rows as decode_leaf_rows gives them: the first `count` of `rows`. The storage belongs to the
// stage's slot of the page's group and is filled again with a later page once the consumer returns.
struct leaf_rows {
    std::vector<table_record> rows;
    std::size_t count = 0;
    std::uint64_t offset = 0;  // the page's file offset
    std::string fault;         // why the page was not read as a leaf (decode_leaf_rows); empty when it was
    std::vector<dropped_cell> dropped;  // its cells skipped or cut short (decode_leaf_rows)
};
using leaf_rows_consumer = std::function<bool(leaf_rows&)>;

// The same as decode_leaf_pages_in_order, each page decoded with decode_leaf_rows instead; `consume` gets
// each page that gave rows, has a fault (a page that did not read: "cannot be read") or dropped cells.
int decode_leaf_rows_in_order(uni::fileio& file, const std::vector<std::uint64_t>& offsets,
                              const leaf_page_options& options, unsigned threads,
                              const leaf_rows_consumer& consume);
