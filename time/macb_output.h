// One timeline event of the report side: a time with its MACB letters and texts. The time library builds
// these from a record's four MACB times; the log2timeline writer merges and prints them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "time/qm_time.h"

struct macb_output {
    std::uint32_t kind;                     // qm::type_time of the time; 1 after clear
    std::uint64_t filetime;                 // the event's time as FILETIME (or raw value); 0 after clear
    qm::time event_time;                    // the time as a qm::time
    std::string macb;                       // MACB text, "...." with letters at M, A, C, B
    std::string type_text;                  // what this time is (for example the column holding it)
    std::uint64_t user_value;               // the caller's value carried along; 0 after clear
    std::vector<std::string> letter_texts;  // type texts gathered under M, A, C, B
    std::string source;                     // source text, the key when events merge
    std::string filename;
    std::string user;
    std::string unprinted_text;  // stored with the event, never printed
    std::string extra;
    std::uint8_t valid;  // 1 when the time converted to a valid qm::time; 0 after clear

    macb_output();
    // An event of (time, kind): cleared, then, when the time is valid, the time as FILETIME (kind 1,
    // valid 1) and every text whose pointer is not null. An invalid time leaves the event cleared.
    macb_output(unsigned long long time, const char* macb_text, const char* type, const char* source_text,
                const char* filename_text, const char* user_text, const char* unprinted,
                const char* extra_text, qm::type_time time_kind);
    macb_output(const macb_output& other);
    macb_output& operator=(const macb_output& other) = default;
    ~macb_output();

    // Kind 1, times and value 0, every text and the vector emptied, the time cleared, valid 0.
    void clear();
};
