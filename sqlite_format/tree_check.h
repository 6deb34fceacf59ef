// One structural check of the b-trees of a database, which every form of the tool takes before it reads a
// table: the library does not see most damage to a tree (a child that is page 1 or a page of another tree,
// a loop, rowids out of order, an overflow chain that loops or ends early, a payload length nothing can hold)
// and reads on, printing foreign or repeated rows; the own walk is told by it what it must not read. It reads
// cell pointers, rowid and payload-length varints and overflow links, never a value.
//
// Every link of every tree and every entry of the free list is first read as a claim on the page it names,
// and a page that two name goes to the claim it fits, by the order between kinds page_claims.h writes down;
// only then are the trees walked, each depth first from its right-most child back to its first, as PRAGMA
// quick_check walks one: the schema table's first, then those of the tables the run reads (the list's order,
// their overflow pages included), then the free list, then the other trees. A link to a page another link
// keeps is its own structure's damage, whichever the walk met first: the owner of a page is its keeper, not
// whoever reached it first; neither the free list nor a tree no form reads takes a page of a table that is
// read: its link there is its own damage, kept in the verdict's foreign links. It also tells each cell the
// library would read past the end of its page (a pointer past the page, a pointer array, payload length,
// rowid, payload or child page number that runs past it): the library reads on into whatever follows the page
// in its memory, which differs from run to run. Passing the check says that none of this damage was found,
// not that the rows are sound: a cell pointer into its page's header or pointer array or repeated, a cell
// count larger than the page holds whose pointer array still lies in it, or a page that is no b-tree page are
// left to the readers, which stop or skip there and say so (the library reads those inside the page, as they
// stand).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/page_claims.h"
#include "sqlite_format/tree_verdict.h"

// "the file is cut short: it holds X bytes where its header counts P pages of S bytes": the one wording of a
// file shorter than its header says.
std::string cut_short_text(std::uint64_t bytes, std::uint64_t pages, std::uint32_t page_size);

// Checks the trees of `view` of `source` (its page size, reserved bytes, pages and free list as the source
// decoded the header of that view): every b-tree of `trees` for its links, and those with `rows` down to
// their cells, whose leaves up to `threads` threads may check (the verdict is the same with any number).
// Whatever it keeps per page it keeps densely only for the pages whose bytes are there: a page count the file
// claims costs nothing. Returns 1 when it ran (`out.view` is then `view`); 0 when the view has no bytes or no
// valid page size (`out` then holds no verdict). Memory that runs out is thrown (std::bad_alloc), never taken
// for a verdict.
int check_database_trees(database_verdict& out, const database_source& source, database_view view,
                         const std::vector<listed_tree>& trees, unsigned threads = 0);
