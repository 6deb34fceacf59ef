// The smaller pieces of the output layer: the MACB letter context that records which of the M, A, C, B
// times of three timestamp sets (written "si", "fn", "fn8.3") fall on one instant, the merging of times
// into such contexts, the generic NTFS-style timeline writer that prints them as delimited rows, and the
// source and offset text of a recovered record.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "notifications/l2t_output.h"
#include "notifications/row_render.h"

// Timestamp sets, as the letter setters and the merge number them.
constexpr int kMacbSetSi = 1;
constexpr int kMacbSetFn = 2;
constexpr int kMacbSetFn83 = 3;

// Which letters of the three timestamp sets one instant carries.
class macb_context {
  public:
    macb_context();
    macb_context(const macb_context& other);
    macb_context& operator=(const macb_context& other) = default;
    ~macb_context();

    // Letters "....", set bytes 0, name sets and further texts emptied.
    void clear();

    void set_si_m();
    void set_si_a();
    void set_si_c();
    void set_si_b();
    void set_fn_m();
    void set_fn_a();
    void set_fn_c();
    void set_fn_b();
    void set_fn83_m();
    void set_fn83_a();
    void set_fn83_c();
    void set_fn83_b();
    // By set number (1 si, 2 fn, 3 fn8.3); other numbers change nothing.
    void set_m(int set);
    void set_a(int set);
    void set_c(int set);
    void set_b(int set);

    std::string si;  // "...." with 'm', 'a', 'c', 'b' at positions 0-3 once set
    std::string fn;
    std::string fn83;
    std::uint8_t si_set;  // 1 once a letter of the set was placed
    std::uint8_t fn_set;
    std::uint8_t fn83_set;
    std::set<std::string> names;      // $FN names
    std::set<std::string> names_8_3;  // $FN 8.3 names
    std::string text1;
    std::string text2;

  private:
    // Places letter `letter` at position `pos` of a set's letters and marks the set.
    void place(int set, std::size_t pos, char letter);
};

// "si:[....]", "; fn:[....]" (with the fn switch), "; fn8.3[....]" (with the fn8.3 switch), each only for
// a set that holds a letter; a line break at the end with the switch when anything was written.
void write_macb_summary(const macb_context& ctx, std::ostream& os, bool line_break, bool fn83, bool fn);

// Merges the non-zero times of one set into the map: a new entry holds only that letter; an existing one
// gets the letter added. The text (may be null) goes to the entry's names, or its 8.3 names with
// second_set.
void merge_macb_events(std::map<std::uint64_t, macb_context>& map, int set, std::uint64_t m, std::uint64_t a,
                       std::uint64_t c, std::uint64_t b, const wchar_t* text, bool second_set);

// The generic timeline writer: while the header is pending, rebuilds the options' header template for the
// timeline columns and writes it; then one row per entry in range (and one per name of its two name sets)
// through the delimited row model. Needs the options the context was set from (set_from_options); 0
// without them or when the output stream failed, else 1.
int write_generic_csv_header(bool& header_pending, std::ostream& os,
                             std::map<std::uint64_t, macb_context>& map, log2timeline_context& ctx);

// The source and offset text of a recovered record: "source":"<label>", then, for a non-zero offset,
// "; " and "offset":"<offset>" ("0x" and at least 8 hex digits with hex, else decimal), in braces when
// asked.
std::string output_json_src_offset(unsigned int source_code, unsigned long long offset, bool hex,
                                   bool braces);
