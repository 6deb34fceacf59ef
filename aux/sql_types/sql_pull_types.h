// Tables described by a command file for the generic SQL pull: what to select and what came back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One described table: the statement built from its columns and the rows a run returned.
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

    std::string name;                                // database table name ("-name")
    std::string comment;                             // "-comment"; may be empty
    std::string statement;                           // SELECT built from the columns
    std::vector<std::string> column_names;           // one per column
    std::vector<std::string> column_types;           // lower case, "text" when none was given
    std::vector<std::uint32_t> column_widths;        // longest value seen per column, in bytes
    std::vector<std::vector<std::string>> rows;      // one text per result column, per row
    std::string error_text;                          // error of the last failed run
};

// The tables of one command file, in file order.
class generic_sql_pull {
public:
    generic_sql_pull();

    // True when there is at least one table and every table is valid.
    bool valid() const;
    // Empties the list.
    void clear();

    std::vector<generic_sql_table> tables;  // in file order
};
