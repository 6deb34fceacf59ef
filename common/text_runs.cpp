#include "common/text_runs.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/text_rewrite.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void put_escape(text_sink& out, const char* opening, unsigned char code) {
    char text[8];
    const std::size_t n = std::strlen(opening);
    std::memcpy(text, opening, n);
    text[n] = kHex[code >> 4];
    text[n + 1] = kHex[code & 0xF];
    text[n + 2] = ']';
    out.put(text, n + 3);
}

}  // namespace

void stream_text_sink::put(const char* bytes, std::size_t n) {
    if (used_ + n > kBuffer) flush();
    if (n >= kBuffer) {
        os_.write(bytes, static_cast<std::streamsize>(n));
        return;
    }
    std::memcpy(buffer_ + used_, bytes, n);
    used_ += n;
}

void stream_text_sink::flush() {
    if (used_ != 0) os_.write(buffer_, static_cast<std::streamsize>(used_));
    used_ = 0;
}

bool control_byte_sink::release_line_break(int next) {
    const unsigned char held = held_[0];
    held_count_ = 0;
    // CR LF is taken before LF CR, so that CR LF CR gives "[CRLF]" and a CR on its own, as a whole text does.
    if (held == '\r') {
        if (next == '\n') {
            next_.put("[CRLF]", 6);
            return true;
        }
        next_.put("[CR]", 4);
        return false;
    }
    if (next == '\r') {
        next_.put("[LFCR]", 6);
        return true;
    }
    next_.put("[LF]", 4);
    return false;
}

void control_byte_sink::put_character(const unsigned char* bytes, std::size_t n) {
    if (n == 1) {
        put_escape(next_, "[0x", bytes[0]);
    } else if (n == 2 && bytes[0] == 0xC2 && bytes[1] < 0xA0) {
        put_escape(next_, "[U+00", bytes[1]);
    } else {
        next_.put(reinterpret_cast<const char*>(bytes), n);
    }
}

std::size_t control_byte_sink::release_character(const unsigned char* bytes, std::size_t n) {
    const std::size_t had = held_count_;
    unsigned char joined[4];
    std::memcpy(joined, held_, had);
    const std::size_t taken = std::min(n, sizeof joined - had);
    if (taken != 0) std::memcpy(joined + had, bytes, taken);
    const int length = utf8_sequence_length(joined, had + taken);
    if (length < 0 && n != 0) {
        // Still cut: every byte given is held (fewer than the character needs).
        std::memcpy(held_ + had, bytes, taken);
        held_count_ = had + taken;
        return taken;
    }
    held_count_ = 0;
    if (length > 0) {
        put_character(joined, static_cast<std::size_t>(length));
        return static_cast<std::size_t>(length) - had;
    }
    // No character: each held byte on its own (the lead, then continuation bytes that no lead opens).
    for (std::size_t k = 0; k < had; ++k) put_character(joined + k, 1);
    return 0;
}

void control_byte_sink::put(const char* text, std::size_t n) {
    const unsigned char* const bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    if (held_count_ != 0) {
        if (n == 0) return;
        if (held_[0] == '\r' || held_[0] == '\n') {
            i = release_line_break(bytes[0]) ? 1 : 0;
        } else {
            i = release_character(bytes, n);
            if (held_count_ != 0) return;
        }
    }
    std::size_t run = i;  // where the bytes not yet handed on begin
    while (i < n) {
        // The next byte that does not pass as it is, found as a whole text's rewrite finds it.
        i += first_byte_to_show(text + i, n - i);
        if (i == n) break;
        if (i > run) next_.put(text + run, i - run);
        const unsigned char c = bytes[i];
        if (c >= 0x80) {
            const int length = utf8_sequence_length(bytes + i, n - i);
            if (length < 0) {
                // Cut by the piece's end: held until the next piece completes it or tells it is none.
                std::memcpy(held_, bytes + i, n - i);
                held_count_ = n - i;
                return;
            }
            const std::size_t k = length > 0 ? static_cast<std::size_t>(length) : 1;
            put_character(bytes + i, k);
            i += k;
        } else if (c == '\r' || c == '\n') {
            held_[0] = c;
            held_count_ = 1;
            if (i + 1 == n) return;
            i += release_line_break(bytes[i + 1]) ? 2 : 1;
        } else {
            put_escape(next_, "[0x", c);
            ++i;
        }
        run = i;
    }
    if (n > run) next_.put(text + run, n - run);
}

void control_byte_sink::end() {
    if (held_count_ == 0) return;
    if (held_[0] == '\r' || held_[0] == '\n')
        (void)release_line_break(-1);
    else
        (void)release_character(nullptr, 0);
}

void char_replace_sink::put(const char* bytes, std::size_t n) {
    if (from_ == to_) {
        next_.put(bytes, n);
        return;
    }
    const char* p = bytes;
    const char* const end = bytes + n;
    while (p < end) {
        const void* hit = std::memchr(p, from_, static_cast<std::size_t>(end - p));
        if (hit == nullptr) break;
        const char* at = static_cast<const char*>(hit);
        if (at > p) next_.put(p, static_cast<std::size_t>(at - p));
        next_.put(to_);
        p = at + 1;
    }
    if (p < end) next_.put(p, static_cast<std::size_t>(end - p));
}

void quote_doubling_sink::put(const char* bytes, std::size_t n) {
    const char* p = bytes;
    const char* const end = bytes + n;
    while (p < end) {
        const void* hit = std::memchr(p, '"', static_cast<std::size_t>(end - p));
        if (hit == nullptr) break;
        const char* at = static_cast<const char*>(hit) + 1;
        next_.put(p, static_cast<std::size_t>(at - p));
        next_.put('"');
        p = at;
    }
    if (p < end) next_.put(p, static_cast<std::size_t>(end - p));
}

void last_byte_dropping_sink::put(const char* bytes, std::size_t n) {
    if (n == 0) return;
    if (held_ >= 0) next_.put(static_cast<char>(held_));
    next_.put(bytes, n - 1);
    held_ = static_cast<unsigned char>(bytes[n - 1]);
}

void text_facts_sink::put(const char* bytes, std::size_t n) {
    if (n == 0) return;
    if (length_ == 0) first_ = bytes[0];
    last_ = bytes[n - 1];
    length_ += n;
    const std::string_view piece(bytes, n);
    if (!holds_any_ && !any_of_.empty()) holds_any_ = piece.find_first_of(any_of_) != std::string_view::npos;
    if (holds_separator_ || separator_.empty()) return;
    const std::size_t keep = separator_.size() - 1;
    // A separator that begins in the bytes before this piece and ends in it.
    if (!tail_.empty()) {
        const std::string across = tail_ + std::string(bytes, std::min(n, keep));
        holds_separator_ = across.find(separator_) != std::string::npos;
    }
    if (!holds_separator_) holds_separator_ = piece.find(separator_) != std::string_view::npos;
    if (n >= keep) {
        tail_.assign(bytes + n - keep, keep);
    } else {
        tail_.append(bytes, n);
        if (tail_.size() > keep) tail_.erase(0, tail_.size() - keep);
    }
}
