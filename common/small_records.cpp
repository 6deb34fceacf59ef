#include "common/small_records.h"

#include "common/encoding.h"

byte_list_record::byte_list_record() { reset(); }

void byte_list_record::reset() {
    version = 1;
    word = 0;
    value_a = 0;
    value_b = 0;
    bytes_a.clear();
    bytes_b.clear();
    bytes_c.clear();
    byte_lists.clear();
    texts.clear();
    total_a = 0;
    total_b = 0;
}

void zero_three_words(std::uint64_t* words) {
    if (words == nullptr) return;
    words[0] = words[1] = words[2] = 0;
}

int invoke_text_callback(text_callback_holder& holder, const std::string& message, const std::wstring& text,
                         std::uint64_t /*ignored*/) {
    if (message.empty() || !holder.callback_enabled || holder.callback == nullptr) return -1;
    const std::string converted[1] = {wstring_to_utf8(text)};
    void* extra = holder.pass_extra || holder.pass_extra_alt ? holder.callback_extra : nullptr;
    return holder.callback(holder.callback_context, message, converted, converted + 1, extra, 0);
}
