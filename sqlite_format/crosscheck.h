// Cross-check of the three ways a table can be read: through the SQLite library ("SQL Select", list 1),
// by walking its b-tree with the own reader ("carve", list 2) and by recognising records from their header
// signatures ("signature", list 3). Records are filed per table and grouped by the shape of their record
// headers; the report says, in three phases, whether the ways found the same rowids, whether the field
// order is consistent and whether the values agree. A facility for checking the parsers against each
// other; the tool's own runs do not call it.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "sqlite_format/artifacts.h"
#include "sqlite_format/table_schema.h"

// The cross-check containers of a run, one per table key.
using diags_map = std::map<std::uint64_t, diags_container>;

// A compressed header pattern from the raw record header at `header`: the index of the lowest set bit of
// the mask's low 32 bits + 1 (when any is set), the code's 4 bytes least significant first (when
// non-zero), the header-size byte (with `with_size`), then the compressed serial types read from the
// second byte. The header-size byte must be at least `length`; serial types are read only within both the
// header size and `length`, stopping at the first that does not decode. False (out empty) for no bytes or
// a header size under `length`; else true when out holds more than one byte.
bool build_header_pattern(std::vector<std::uint8_t>& out, const std::uint8_t* header, std::size_t length,
                          std::uint64_t mask, std::uint32_t code, bool with_size);

// The pattern text of a record: kind 1 its stored header bytes as hex joined by "_"; kind 2 its prefix and
// header pattern the same way (kind 1 when the pattern cannot be built; empty without header bytes); kind
// 3 the rowid as 6 hex digits, "_" and the 16 fingerprint bytes joined by "_"; kind 4 the prefix bytes as
// hex with nothing between (empty when the prefix cannot be built). Any other kind gives the empty text.
std::string& record_pattern_text(std::string& out, const sqlite_metadata& record, int kind);

// The record's signature digest text: the GUID form of the digest of "sz" and ";" + each lower-cased field
// name, over the fields the schema's mask counts (all when it counts none or all). Unchanged without fields.
void set_signature_digest(sqlite_metadata& record, const table_schema& schema);

// One empty container per (key, name); out is cleared first.
void make_diags_containers(diags_map& out, const std::map<std::uint64_t, std::string>& names);

// Files a record of list 1, 2 or 3 under its table key: counts it, keeps its rowid, and adds it to the
// group of its pattern text (a new group when there is none). 0 for a key of 0, a list outside 1-3, a
// record of list 2 or 3 without a column mask, or (pattern kinds 1 and 2) a record without header bytes.
int add_record_to_crosscheck(diags_map& containers, const sqlite_metadata& record, std::uint64_t table_key,
                             unsigned list, int pattern_kind);

// Writes the three phases and the summary of one table. With `report_flag` the first line opens with
// "// " and the name in 20 characters, continuation lines are indented by 23 and later phase lines by 21.
// `error_text` is the table's error text (empty when none). Returns the number of value mismatches found.
int write_crosscheck_report(std::ostream& os, const diags_container& table, const std::string& error_text,
                            bool report_flag);

// Merges the header patterns of a group into per-position alternatives. One pattern goes into `out_set`
// as it is; several are merged in their sorted order into texts (run length and classes in hex, then one
// letter of the cycle a, f, b, e per position), a pattern that does not fit starting the next text. Both
// outputs are cleared first. 1 when either output holds anything.
int generalise_patterns(const sqlite_metadata_ex& group, std::set<_special_sorted_pattern>& out_set,
                        std::vector<std::string>& texts);
