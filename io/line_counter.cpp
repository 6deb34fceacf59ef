#include "io/line_counter.h"

#include <cstring>

line_counting_buffer::int_type line_counting_buffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (target_ == nullptr ||
        traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)), traits_type::eof()))
        return traits_type::eof();
    if (traits_type::to_char_type(c) == '\n') ++lines_;
    return c;
}

std::streamsize line_counting_buffer::xsputn(const char* text, std::streamsize count) {
    if (target_ == nullptr || count <= 0) return 0;
    // Only what the target took counts.
    const std::streamsize taken = target_->sputn(text, count);
    // memchr runs through a batch of rows many bytes at a time: the count costs the reading thread little.
    const char* const end = text + (taken > 0 ? taken : 0);
    for (const char* at = text; at < end;) {
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        if (found == nullptr) break;
        ++lines_;
        at = static_cast<const char*>(found) + 1;
    }
    return taken;
}

int line_counting_buffer::sync() { return target_ != nullptr ? target_->pubsync() : -1; }

line_counting_output::line_counting_output(std::ostream& target)
    : std::ostream(nullptr), buffer_(target.rdbuf()) {
    rdbuf(&buffer_);
}
