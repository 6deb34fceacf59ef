// The four file-system style times of one record (Modified, Accessed, metadata Changed, Born: "MACB")
// with their labels and any further events, and the grouping that turns them into timeline events: one
// macb_output per distinct time, carrying the letters of the MACB times that share it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "time/macb_output.h"

struct macb_input {
    std::uint64_t times[4];                   // modified, accessed, changed, born, in the unit of `kind`
    std::string labels[4];                    // label of each of the four times
    std::string description;                  // the record's own text, used when a time has no label
    std::uint32_t kind;                       // qm::type_time of `times`; 1 after clear
    std::uint64_t user_value;                 // the caller's value, copied into every output
    std::vector<std::uint64_t> event_times;   // further events: FILETIME of each
    std::vector<std::string> event_texts[3];  // three texts per further event
    std::vector<unsigned char> event_used;    // 1 once an event was merged into an output

    macb_input();
    // The four times 0, the five texts emptied, kind 1, user_value 0, the events emptied.
    void clear();
    void set_labels(const std::string& m, const std::string& a, const std::string& c, const std::string& b);
    // "Last Modified", "Last Access", "Metadata Changed", "Created".
    void set_default_labels();
    // Stores the values and the kind unchanged.
    void set_times_raw(std::uint64_t m, std::uint64_t a, std::uint64_t c, std::uint64_t b,
                       std::uint32_t kind);
    // Stores the four times as Unix seconds and sets kind 8. Kinds 1 (FILETIME), 2 (Chrome), 4 (Firefox)
    // and 0x40000 (Safari) are converted one by one; a zero value, a value the kind rejects, and a time
    // before 1970-01-01 give 0. Kind 8 is stored unchanged; any other kind changes nothing.
    void set_times(std::uint64_t m, std::uint64_t a, std::uint64_t c, std::uint64_t b, std::uint32_t kind);
    // Events already held at this FILETIME each get every non-empty text appended to their own text of
    // that position ("; " between) unless they already contain it; else a new event is appended.
    void add_event(std::uint64_t filetime, const std::string& t1, const std::string& t2,
                   const std::string& t3);
};

// One output per group of equal valid times (M, A, C, B order, with the events at the same FILETIME):
// flag text such as "M..B", a description built from the labels (or the record's description and the
// letters), and the events' texts; keyed by the raw value of the group's first time. Events that joined
// no group give their own output with the flag text "..C.", keyed by their FILETIME. `kind` is the kind
// of in.times. `flags` is accepted for callers and not used.
void build_macb_outputs(std::multimap<std::uint64_t, macb_output>& out, const macb_input& in,
                        std::uint32_t kind, std::uint64_t flags);
