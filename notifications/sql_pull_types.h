// Tables described by a command file for the generic SQL pull: what to select and what came back.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class cmd_params;
class sqlite_wrapper;

// One described table: the statement built from its columns and the rows a run returned.
// The tool's options hold an empty pull and never fill it. The operations that build, run and print a
// table are defined with the command-file pull in aux/sql_pull.cpp (library selk_aux, which sits above
// the tool); the tool never calls them.
class generic_sql_table {
  public:
    generic_sql_table();
    generic_sql_table(const generic_sql_table& other);
    generic_sql_table& operator=(const generic_sql_table& other);
    ~generic_sql_table();

    // Empties every field.
    void clear();
    // True when the table can be run: a name, a statement and at least one column.
    bool valid() const;

    // sqlite3_exec row callback form.
    typedef int (*row_callback)(void* context, int count, char** values, char** names);

    // Clears, then fills the table from one command record's UTF-8 fields: "-sqlite_select" must be
    // there, "-name" gives the table, "-comment" the comment, every other field is a column ("name" or
    // "name|type", the type lower-cased). Names are quoted safely in the statement. True when built.
    bool build_from_fields(std::vector<std::string> fields);
    // Runs the statement on the wrapper's open connection with `callback` (add_row by default) and this
    // table as context. On failure error_text holds the library's message (with the statement appended
    // unless the message says "already exists"). True on success.
    bool run(sqlite_wrapper* wrapper, row_callback callback = &generic_sql_table::add_row);
    // Row callback: appends the row (NULL as empty text) and widens column_widths; a result column beyond
    // the described ones is kept but widens nothing. 1 (stop) when the table is missing or not valid.
    static int add_row(void* context, int count, char** values, char** names);
    // "SQL statement: ..." and, when there are rows, the header (while the options' header is pending)
    // and every row through the row model, one typed cell per column type.
    void print(std::ostream& os, cmd_params& options) const;

    std::string name;                            // database table name ("-name")
    std::string comment;                         // "-comment"; may be empty
    std::string statement;                       // SELECT built from the columns
    std::vector<std::string> column_names;       // one per column
    std::vector<std::string> column_types;       // lower case, "text" when none was given
    std::vector<std::uint32_t> column_widths;    // longest value seen per column, in bytes
    std::vector<std::vector<std::string>> rows;  // one text per result column, per row
    std::string error_text;                      // error of the last failed run
};

// The tables of one command file, in file order.
class generic_sql_pull {
  public:
    generic_sql_pull();

    // True when there is at least one table and every table is valid.
    bool valid() const;
    // Empties the list.
    void clear();

    // Loads the "!cmd," records of a command file that carry "-sqlite_select" and a "-name" value, one
    // table each. True when at least one table was added.
    bool load_from_command_file(const std::string& path);
    // Runs every table ("probs with select ..." on standard error for each failure). False, running
    // nothing, when the pull is empty or not valid; else true when at least one table ran.
    bool run_all(sqlite_wrapper* wrapper);
    // Prints every table after a dashed line, each with its own header.
    void print_all(std::ostream& os, cmd_params& options) const;

    std::vector<generic_sql_table> tables;  // in file order
};
