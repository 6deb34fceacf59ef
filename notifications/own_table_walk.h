// The tables of one database read with the own reader, each table's b-tree walked from its root page: the
// handlers, push channels and settings become records of the run's store, the notifications go to the row
// pipeline as they are read. The "-carve" form reads every table so; the library's form reads so a table
// the tree check finds damaged, and the rest of a table whose read the library broke off.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/fileio.h"

class app_name_widening;
struct row_reader;
struct table_checks;
struct tree_verdict;

// The own-reader branch ("-carve"; `source_code` kSourceCarveMain, or kSourceCarveMainFromWal for the log's
// image): what the library would refuse in the header and the log beside the file said first, then what the
// tree check of the same bytes found (`checks`), then each table's b-tree walked from its root page, the
// notifications last, each handed to the pipeline as it is read.
void read_tables_with_own_reader(row_reader& reader, uni::fileio& file, unsigned source_code,
                                 const std::uint64_t masks[4], const table_checks& checks);

// One of the handlers, push channels and settings (schema slot `slot`) walked with the own reader, its rows
// records of `source_code`, the verdict's damage said with what the walk skips.
void read_table_with_own_reader(row_reader& reader, uni::fileio& file, int slot, unsigned source_code,
                                std::uint64_t mask, const tree_verdict& verdict);

// The notification table walked with the own reader, each row handed to the pipeline as it is read, the
// verdict's damage said with what the walk skips. While a handler's name is longer than the padded name
// column, a first walk finds the column's width from the records the pipeline makes of the rows.
void read_notifications_with_own_reader(row_reader& reader, uni::fileio& file, unsigned source_code,
                                        std::uint64_t mask, const tree_verdict& verdict);

// Where the library broke off the notification table in the read that finds the width of the padded name
// column: the rows of the own walk of the state the library reads widen it too (the walk's filler is left
// set in the pipeline). The library's rows and the rest read_rest_with_own_reader reads are then all
// counted.
void widen_with_own_walk(row_reader& reader, std::uint64_t mask, app_name_widening& widening);

// The rest of a table whose read the library broke off, as the own reader walks the state the library reads:
// the rows the library did not give, found by where it
// stopped among the rowids `library` it gave, in its order, become records of the own walk ("carve main");
// the pages the walk skips are said as "-carve" says them, with `why` (when not empty) before them.
void read_rest_with_own_reader(row_reader& reader, std::uint32_t table_type, std::uint64_t mask,
                               const std::vector<std::int64_t>& library, const std::string& why);
