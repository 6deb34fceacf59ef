// One entry of a file-name filter list: a name pattern, a folder, a stream part or a byte signature.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A single filter entry as built from one item of a "-filter", "-filter_skip" or "-filter_sig" value.
// The matching rules that read these fields live with the list tests (io/filename_filter.h).
class filename_filter {
  public:
    // Empty texts and signature, offset 0, every flag false.
    filename_filter();
    filename_filter(const filename_filter& other);
    filename_filter& operator=(const filename_filter& other);
    ~filename_filter();

    // Back to the state of a new entry: length 0, texts and signature emptied, offset 0, flags false.
    void clear();

    std::uint32_t path_text_length;       // length of path_text; 0 means no folder condition
    std::wstring path_text;               // lower-case text the file's folder must contain ("-filter_path")
    std::wstring pattern;                 // the list item as written (lower-case)
    std::wstring name_text;               // name part without its '*'; for a folder entry the folder text
    std::wstring stream_text;             // part after the first ':' without its '*'
    std::vector<std::uint8_t> signature;  // bytes that must stand in the file
    std::uint64_t signature_offset;       // file offset of signature
    bool is_folder;                       // name_text begins with '/'
    bool match_all;                       // matches every name
    bool name_ends_with;                  // the name part began with '*'
    bool name_starts_with;                // the name part ended with '*'
    bool has_stream;                      // the item holds ':'
    bool any_stream;                      // the stream part is "*"
    bool stream_ends_with;                // the stream part began with '*'
    bool stream_starts_with;              // the stream part ended with '*'
};
