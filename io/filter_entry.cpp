#include "io/filter_entry.h"

filename_filter::filename_filter()
    : path_text_length(0),
      signature_offset(0),
      is_folder(false),
      match_all(false),
      name_ends_with(false),
      name_starts_with(false),
      has_stream(false),
      any_stream(false),
      stream_ends_with(false),
      stream_starts_with(false) {
    clear();
}

filename_filter::filename_filter(const filename_filter& other) = default;

filename_filter& filename_filter::operator=(const filename_filter& other) {
    if (this != &other) {
        path_text_length = other.path_text_length;
        path_text = other.path_text;
        pattern = other.pattern;
        name_text = other.name_text;
        stream_text = other.stream_text;
        signature = other.signature;
        signature_offset = other.signature_offset;
        is_folder = other.is_folder;
        match_all = other.match_all;
        name_ends_with = other.name_ends_with;
        name_starts_with = other.name_starts_with;
        has_stream = other.has_stream;
        any_stream = other.any_stream;
        stream_ends_with = other.stream_ends_with;
        stream_starts_with = other.stream_starts_with;
    }
    return *this;
}

filename_filter::~filename_filter() = default;

void filename_filter::clear() {
    path_text_length = 0;
    path_text.clear();
    pattern.clear();
    name_text.clear();
    stream_text.clear();
    signature.clear();
    signature_offset = 0;
    is_folder = false;
    match_all = false;
    name_ends_with = false;
    name_starts_with = false;
    has_stream = false;
    any_stream = false;
    stream_ends_with = false;
    stream_starts_with = false;
}
