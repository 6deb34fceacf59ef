#include "time/macb_output.h"

macb_output::macb_output() : kind(1), filetime(0), user_value(0), valid(0) { clear(); }

macb_output::macb_output(unsigned long long time, const char* macb_text, const char* type,
                         const char* source_text, const char* filename_text, const char* user_text,
                         const char* unprinted, const char* extra_text, qm::type_time time_kind)
    : kind(1), filetime(0), user_value(0), valid(0) {
    clear();
    const qm::time t(time, time_kind);
    if (!t.valid) return;
    event_time = t;
    filetime = t.filetime;
    kind = 1;
    valid = 1;
    if (macb_text != nullptr) macb = macb_text;
    if (type != nullptr) type_text = type;
    if (source_text != nullptr) source = source_text;
    if (filename_text != nullptr) filename = filename_text;
    if (user_text != nullptr) user = user_text;
    if (unprinted != nullptr) unprinted_text = unprinted;
    if (extra_text != nullptr) extra = extra_text;
}

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
