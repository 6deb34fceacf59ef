// What the carver walks whole of a database state because no sound link of that state reaches it: the
// pages the tree check's owners (page_claims.h) leave to nobody, that no overflow chain of any tree's cell
// reaches and that the format does not set aside, each where the state's bytes of it lie (the main file,
// or the log's committed frame of it); and the pages a tree keeps, which the carver never walks whole as
// free whatever a damaged free list says.
#pragma once

#include <cstdint>
#include <vector>

#include "sqlite_format/page_claims.h"
#include "sqlite_format/tree_verdict.h"

class database_source;
enum class database_view : std::uint8_t;

struct state_reach {
    std::vector<std::uint64_t> main;  // main-file offsets of the pages no walk reaches whose bytes lie there
    std::vector<std::uint64_t> frames;  // log offsets of the committed frames that hold such pages
    // Non-zero for each page a tree keeps (its b-tree or overflow pages) whose state's bytes are the main
    // file's.
    page_values kept{0};
    std::uint64_t pages = 0;  // the pages judged
};

// The reach of view `view` of `source`: `verdict`'s owners where it judged that view, else those of a check
// of its own of the trees `trees` (all as trees no form reads). Every tree page is read in page order for
// its cells' overflow chains, each followed while its pages are nobody's and read as no b-tree page; a page
// a walk took unread that reads as no b-tree page counts as unreached. Pages the state reads from a hot
// journal's page images are none of its main-file pages (the journal's images are walked whole). 1 when it
// ran, 0 when the view has no bytes or page size. Memory that runs out is thrown.
int reach_state(state_reach& out, const database_source& source, const database_verdict* verdict,
                database_view view, const std::vector<listed_tree>& trees);
