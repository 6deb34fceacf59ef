// Command records: each an ordered list of text fields (a command and its arguments) with a schedule and
// label block. Records come from a packed table of string pointers, from a command text of "!cmd," lines
// or from command-line tokens; fields that begin with a "!" directive ("!run-", "!repeat-", "!timeout-",
// "!dir-", "!name-", "!comment-", "!spawn-", "!custom-") fill the block and leave the field list. The list
// can be written back as command lines, a schedule listing or a C source table, or printed.
//
// Fields are wide strings (one code point per element); the narrow operations take and give UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Markers of a packed table, recognised by address only: entry 0 of a table is the record-start marker,
// entry 1 the terminator; a record is the start marker followed by its fields up to a null pointer, the
// next start marker or the terminator. A table written by write_c_table uses these two.
extern const char g_record_start_char[];
extern const char g_cmd_terminator_char[];

// Run time meaning "never".
constexpr std::uint64_t kRunNever = ~0ull;

class PackedCmds {
  public:
    // Loaders; each starts from the cleared state and loads once. is_loaded() tells whether it worked.
    // A packed table of narrow (UTF-8) or, with `wide`, wide C strings; null leaves the list empty. The
    // table must end with its terminator marker: the walk has no other end.
    PackedCmds(const void* const* table, bool wide);
    // A command file (UTF-8 or wide path, at most 16 MiB read) or a byte buffer of command text.
    PackedCmds(const std::string& path, bool ensure_name);
    PackedCmds(const std::wstring& path, bool ensure_name);
    PackedCmds(const std::vector<std::uint8_t>& text, bool ensure_name);
    // The same, cutting the first element of each tag out of every line first.
    PackedCmds(const std::vector<std::uint8_t>& text, const std::vector<std::string>& tags, bool ensure_name);
    PackedCmds(const std::wstring& path, const std::vector<std::string>& tags, bool ensure_name);
    // Token lists ("!cmd" starts a record); with split_lines each token is first split at ','.
    explicit PackedCmds(const std::vector<std::string>& tokens);
    explicit PackedCmds(const std::vector<std::wstring>& tokens);
    PackedCmds(const std::vector<std::wstring>& tokens, bool split_lines);
    PackedCmds(const std::vector<std::string>& tokens, bool split_lines);
    PackedCmds(const std::vector<std::wstring>& tokens, const std::vector<std::wstring>& tags,
               bool split_lines);

    // --- the list (record numbers from 0; an out-of-range number gives false or 0 and changes nothing)
    int record_count() const { return static_cast<int>(records_.size()); }
    bool is_loaded() const { return loaded_; }
    // Empties every list, max_fields 0, not loaded.
    void clear();
    bool get_fields(int n, std::vector<std::wstring>& out) const;
    bool get_fields(int n, std::vector<std::string>& out) const;
    std::size_t field_count(int n) const;
    // Record n's field pointers (valid until the records change) and their number.
    bool get_field_pointers(int n, std::size_t& count, const wchar_t* const*& pointers) const;
    bool get_attributes(int n, std::uint64_t& run_time, std::uint64_t& repeat_interval,
                        std::uint32_t& timeout, std::wstring& dir, std::wstring& name, std::wstring& comment,
                        std::wstring& spawn, std::wstring& custom) const;
    bool get_attributes(int n, std::uint64_t& run_time, std::uint64_t& repeat_interval,
                        std::uint32_t& timeout, std::string& dir, std::string& name, std::string& comment,
                        std::string& spawn, std::string& custom) const;
    // Overwrites record n's block; the run and repeat texts stay.
    bool set_attributes(int n, std::uint64_t run_time, std::uint64_t repeat_interval, std::uint32_t timeout,
                        const std::wstring& dir, const std::wstring& name, const std::wstring& comment,
                        const std::wstring& spawn, const std::wstring& custom);
    bool set_attributes(int n, std::uint64_t run_time, std::uint64_t repeat_interval, std::uint32_t timeout,
                        const std::string& dir, const std::string& name, const std::string& comment,
                        const std::string& spawn, const std::string& custom);
    // Run time never, no repeat.
    bool reset_schedule(int n);
    // True when some record's run time (signed) is below t; a record set to never is never due.
    bool any_due_before(std::int64_t t) const;

    // Takes the directive fields out of `fields` (the narrow form trims every field) and appends one entry
    // to each attribute list. False for an empty list (default entries are appended all the same).
    bool parse_directives(std::vector<std::wstring>& fields);
    bool parse_directives(std::vector<std::string>& fields);

    // --- writing back
    // Every field between double quotes, joined by one blank.
    bool record_as_quoted_line(int n, std::wstring& out) const;
    bool record_as_quoted_line(int n, std::string& out) const;
    // "!cmd", the non-empty directives, then ", \"field\"" for each field other than "!cmd".
    bool record_as_command_line(int n, std::wstring& out) const;
    bool record_as_command_line(int n, std::string& out) const;
    // The list as a C table of records; false when there are none.
    bool write_c_table(std::ostream& os) const;
    bool write_c_table() const;
    // One "!cmd, ..." line with its run and repeat parts per record (and the run time in hexadecimal on
    // standard output); false when there are no records.
    bool write_schedule_listing(std::ostream& os) const;
    // The listing into a new file; false when it cannot be opened; true for an empty list.
    bool save_schedule_listing(const std::string& path) const;
    // Every record to standard output, fields as UTF-8; false when there are none.
    bool print_records() const;

    // The n-th record of a packed table (narrow or wide alike): its first field pointer and field count.
    // True when the count is not 0.
    static bool find_packed_record(const void* const* table, int n, std::size_t& count,
                                   const void* const*& first);

    // --- loaders that append (use them on a new or cleared list)
    // "!cmd," lines of a UTF-8 text; a caller's hive replaces the "-hive" value and `extra` is appended to
    // every record; with ensure_name every record gets a "-name". False for an empty text.
    bool load_command_text(const std::string& text, const std::string& hive,
                           const std::vector<std::string>& extra, bool ensure_name);
    bool load_command_text_with_elements(const std::string& text, const std::string& hive,
                                         const std::vector<std::string>& tags,
                                         const std::vector<std::string>& extra, bool ensure_name);
    // Clears, reads the file and loads it; true on success.
    bool load_command_file(const std::string& path, const std::string& hive,
                           const std::vector<std::string>& extra, bool ensure_name);
    // Replaces the list with the records of a token list; equal records are kept once. False when no token
    // is "!cmd".
    bool load_tokens(const std::vector<std::wstring>& tokens);
    bool load_token_lines(const std::vector<std::wstring>& tokens, bool split_lines);
    bool load_token_lines_with_elements(const std::vector<std::wstring>& tokens,
                                        const std::vector<std::wstring>& tags, bool split_lines);

    // Splitting helpers: at ',' with trimming, empty parts dropped.
    static bool split_command_line(const wchar_t* text, std::vector<std::wstring>& out);
    static bool split_command_line_with_elements(const wchar_t* text, const std::vector<std::wstring>& tags,
                                                 std::vector<std::wstring>& out);
    static bool split_fields(const std::string& text, std::vector<std::string>& out);

  private:
    bool valid_index(int n) const { return n >= 0 && static_cast<std::size_t>(n) < records_.size(); }
    // The table loader of the packed-table constructor.
    void load_table(const void* const* table, bool wide);
    // The command-text parse; `tags` (null for the plain form) are cut out of each line first.
    bool load_lines(const std::string& text, const std::string& hive, const std::vector<std::string>* tags,
                    const std::vector<std::string>& extra, bool ensure_name);
    // Appends one record from the fields of a "!cmd," line (shared by both command-text loaders).
    void add_command_record(std::vector<std::string>& fields, const std::vector<std::string>& kept,
                            const std::string& hive, const std::vector<std::string>& extra, bool ensure_name);
    // Trims every field and rebuilds every pointer list.
    void finish_records(bool trim);
    void rebuild_pointers();
    // The directive parse of one field; false when the field is not a directive.
    bool apply_directive(const std::wstring& trimmed, std::size_t index);

    std::vector<std::vector<std::wstring>> records_;           // fields of each record, directives removed
    std::vector<std::vector<const wchar_t*>> field_pointers_;  // views into records_, rebuilt on load
    std::vector<std::wstring> run_texts_;          // "now", "never", "MM/DD/YYYY::HH:MM:SS" or empty
    std::vector<std::uint64_t> run_times_;         // FILETIME; 0 now; kRunNever never
    std::vector<std::wstring> repeat_texts_;       // "daily", "weekly", "monthly", as written, or empty
    std::vector<std::uint64_t> repeat_intervals_;  // 100-ns units; 0 no repeat
    std::vector<std::uint32_t> timeouts_;          // "!timeout-" value; 0 none
    std::vector<std::wstring> dirs_;               // "!dir-"
    std::vector<std::wstring> names_;              // "!name-"
    std::vector<std::wstring> comments_;           // "!comment-"
    std::vector<std::wstring> spawns_;             // "!spawn-"
    std::vector<std::wstring> customs_;            // "!custom-"
    std::uint64_t max_fields_ = 0;                 // widest record of a packed table
    bool loaded_ = false;                          // a loader succeeded
};
