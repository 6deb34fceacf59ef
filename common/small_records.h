// Small records of the library: a record of byte lists with its reset, zeroing three words, and the
// call of a registered text callback. (Opening the diagnostics log by path is open_diagnostics_log in
// io/diags_open.h, beside the option model it belongs to.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Byte lists, texts and counters gathered for one item.
struct byte_list_record {
    byte_list_record();
    // version 1; every other number 0; every vector emptied.
    void reset();

    std::uint16_t version;                              // record version, 1
    std::uint16_t word;                                 // a caller's word
    std::uint32_t value_a;                              // a caller's value
    std::uint32_t value_b;                              // a caller's value
    std::vector<std::uint8_t> bytes_a;                  // first byte list
    std::vector<std::uint8_t> bytes_b;                  // second byte list
    std::vector<std::uint8_t> bytes_c;                  // third byte list
    std::vector<std::vector<std::uint8_t>> byte_lists;  // further byte lists
    std::vector<std::string> texts;                     // texts
    std::uint64_t total_a;                              // a caller's total
    std::uint64_t total_b;                              // a caller's total
};

// Sets the three words at `words` to 0; nothing for a null pointer.
void zero_three_words(std::uint64_t* words);

// The callback of text_callback_holder: (context, message, the converted texts [first, last), the extra
// record or null, a word that is always 0) -> the callback's result.
using text_callback_fn = int (*)(void* context, const std::string& message, const std::string* first,
                                 const std::string* last, void* extra, std::uint64_t reserved);

// A registered text callback and what it is handed back.
struct text_callback_holder {
    bool callback_enabled = false;        // the callback is in use
    text_callback_fn callback = nullptr;  // the callback (not owned)
    void* callback_context = nullptr;     // handed back unchanged (not owned)
    void* callback_extra = nullptr;       // the caller's record, handed over on request (not owned)
    bool pass_extra = false;              // either flag asks for callback_extra to be passed
    bool pass_extra_alt = false;
};

// -1 when message is empty, the callback is not enabled or null. Else the wide text is converted to UTF-8
// and the callback is called with the context, the message, the range holding that one text, the extra
// record (when either pass flag is set, else null) and 0; returns its result. `ignored` is not used.
int invoke_text_callback(text_callback_holder& holder, const std::string& message, const std::wstring& text,
                         std::uint64_t ignored);
