#include "io/line_counter.h"

#include <algorithm>

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
    if (taken > 0) lines_ += static_cast<std::uint64_t>(std::count(text, text + taken, '\n'));
    return taken;
}

int line_counting_buffer::sync() { return target_ != nullptr ? target_->pubsync() : -1; }

line_counting_output::line_counting_output(std::ostream& target)
    : std::ostream(nullptr), buffer_(target.rdbuf()) {
    rdbuf(&buffer_);
}
