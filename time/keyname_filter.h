// One key-name filter entry: a key path and the "!" modifiers that say how matching keys are shown. The
// parser that fills it belongs to the auxiliary components; the time library reads the key-path-set flag
// and the modifier word to pick a time kind.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Modifier bits of keyname_filter's flag word that select a time kind.
enum keyname_filter_time_bits : unsigned {
    knf_bit_tf = 3,    // "!TF": FILETIME
    knf_bit_tu = 4,    // "!TU": Unix seconds
    knf_bit_ts = 8,    // "!TS": SYSTEMTIME
    knf_bit_taa = 9,   // "!TAA": Safari seconds
    knf_bit_th = 10,   // "!TH": HFS+ seconds
    knf_bit_tc = 11,   // "!TC": Chrome microseconds
    knf_bit_tmz = 12,  // "!TMZ": Firefox microseconds
    knf_bit_13 = 13,   // read as FILETIME as well
};

struct keyname_filter {
    std::string key_path;                              // the line with its recognised modifiers removed
    std::string value_name;                            // bracketed value name of "!AFN(", "!CFN(" or "!CT"
    std::int64_t reserved_number = -1;                 // -1 when cleared; not used by the parser
    std::uint8_t flags[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // modifier bits; byte 0 holds bits 0-7
    bool is_set = false;                               // a line was parsed into this entry
    std::uint32_t reserved_count = 0;                  // 0 when cleared; not used by the parser
    std::uint32_t digit_count = 0;                     // count given after a counting modifier
    std::map<std::string, std::string> pairs;          // name/value pairs of "!S(" forms
    std::vector<std::string> sort_texts;               // texts of "!SR(" forms, in order
    std::string extra_text;                            // text of "!SC(" or the value part of "!CT"

    keyname_filter() = default;
    keyname_filter(const keyname_filter& other);
    keyname_filter& operator=(const keyname_filter& other) = default;
    ~keyname_filter();

    // Empties the texts, map and list, reserved_number -1, every flag byte, is_set and both counts 0.
    void clear();
    // Parses one filter line (changed in place): records every "!" modifier found, removes it and keeps
    // the rest, trimmed, as key_path; sets is_set. Always true. Defined with the auxiliary components
    // (aux/keyname_parser.cpp), which a caller of parse links.
    bool parse(std::string& line);
    // The Library sub-path of the bit mask that `text` gives as a number (cstr_to_u64); empty when the
    // text is not a number. Defined with parse.
    static std::string get_common_path(const std::string& text);

    // The eight flag bytes read as one little-endian 64-bit word.
    std::uint64_t flag_word() const;
    bool has_flag(unsigned bit) const { return bit < 64 && ((flag_word() >> bit) & 1u) != 0; }
    void set_flag(unsigned bit);
};
