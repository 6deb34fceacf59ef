#include "time/keyname_filter.h"

keyname_filter::keyname_filter(const keyname_filter& other)
    : key_path(other.key_path),
      value_name(other.value_name),
      reserved_number(other.reserved_number),
      is_set(other.is_set),
      reserved_count(other.reserved_count),
      digit_count(other.digit_count),
      pairs(other.pairs),
      sort_texts(other.sort_texts),
      extra_text(other.extra_text) {
    for (int i = 0; i < 8; ++i) flags[i] = other.flags[i];
}

keyname_filter::~keyname_filter() = default;

void keyname_filter::clear() {
    key_path.clear();
    value_name.clear();
    reserved_number = -1;
    for (int i = 0; i < 8; ++i) flags[i] = 0;
    is_set = false;
    reserved_count = 0;
    digit_count = 0;
    pairs.clear();
    sort_texts.clear();
    extra_text.clear();
}

std::uint64_t keyname_filter::flag_word() const {
    std::uint64_t w = 0;
    for (int i = 7; i >= 0; --i) w = (w << 8) | flags[i];
    return w;
}

void keyname_filter::set_flag(unsigned bit) {
    if (bit < 64) flags[bit / 8] = static_cast<std::uint8_t>(flags[bit / 8] | (1u << (bit % 8)));
}
