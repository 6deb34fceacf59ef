// A read-only file assembled from pieces of other files: the state a log or a hot journal gives a database,
// read where its bytes lie (the database, the log's frames, the journal's original pages) instead of copied
// whole into memory. Bytes no piece covers read as zeros, as in an image that was zero-filled first.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace uni {

class file_overlay {
  public:
    file_overlay() = default;
    ~file_overlay();
    file_overlay(const file_overlay&) = delete;
    file_overlay& operator=(const file_overlay&) = delete;

    // Takes the file open on `descriptor` (a file object's `descriptor`) as a source of pieces: a duplicate
    // of it, so the overlay outlives the file. The source's number, or -1 for a descriptor below 0 (a file
    // object in memory or over an overlay has -1) or one that cannot be duplicated. Memory that runs out is
    // thrown (std::bad_alloc).
    int add_source(int descriptor);
    // Lays `length` bytes of source `source` from `from` at `at`, over whatever lay there (source -1: zeros).
    // False for a source it does not have. Memory that runs out is thrown (std::bad_alloc): the overlay is
    // then no longer whole and must be dropped, and a state without its pieces must not pass for the state.
    bool lay(std::uint64_t at, std::uint64_t length, int source, std::uint64_t from);
    // Lays the first `length` bytes of `other` at the same offsets, its sources taken as sources of this
    // one: a state built over another (a log's frames over a journal's rollback). False when a source cannot
    // be taken. Memory that runs out is thrown, as by lay.
    bool lay_overlay(const file_overlay& other, std::uint64_t length);
    // Reads `length` bytes at `offset`: each piece from its source (zeros where the source has no bytes any
    // more), zeros elsewhere. False when a source cannot be read. Positioned reads only: any number of
    // threads may read one overlay.
    bool read(std::uint8_t* out, std::uint64_t length, std::uint64_t offset) const;

    std::uint64_t size = 0;  // the size the assembled file has

  private:
    struct piece {
        int source = 0;
        std::uint64_t from = 0;
        std::uint64_t length = 0;
    };
    std::vector<int> sources_;            // duplicated descriptors, closed with the overlay
    std::map<std::uint64_t, piece> map_;  // by offset in the assembled file; never overlapping
};

}  // namespace uni
