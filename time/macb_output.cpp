#include "time/macb_output.h"

macb_output::macb_output() : kind(1), filetime(0), user_value(0), valid(0) { clear(); }

macb_output::macb_output(const macb_output& other)
    : kind(other.kind),
      filetime(other.filetime),
      event_time(other.event_time),
      macb(other.macb),
      type_text(other.type_text),
      user_value(other.user_value),
      letter_texts(other.letter_texts),
      source(other.source),
      filename(other.filename),
      user(other.user),
      unprinted_text(other.unprinted_text),
      extra(other.extra),
      valid(other.valid) {}

macb_output::~macb_output() = default;

void macb_output::clear() {
    kind = 1;
    event_time.clear();
    filetime = 0;
    user_value = 0;
    macb.clear();
    type_text.clear();
    letter_texts.clear();
    source.clear();
    filename.clear();
    user.clear();
    unprinted_text.clear();
    extra.clear();
    valid = 0;
}
