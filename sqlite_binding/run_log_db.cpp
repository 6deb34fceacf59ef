#include "sqlite_binding/run_log_db.h"

#include "common/formatters.h"
#include "common/split_join.h"
#include "common/text_ops.h"
#include "time/clock_tz.h"

const char kRunTableDefaultName[] = "metadata";
const char kRefTableDefaultName[] = "ref";
const char kGenericDataTableName[] = "generic_data";
const char kDefaultDataTableName[] = "data";

namespace {

std::string join_placeholders(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ",";
        out += "?";
    }
    return out;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& run_table_columns() {
    static const std::vector<std::pair<std::string, std::string>> kColumns = {
        {"runtime", "integer"},        {"chunk", "integer"},         {"parent", "integer"},
        {"cmdline", "varchar"},        {"gen_hdrs", "varchar"},      {"col_hdrs", "varchar"},
        {"col_types", "varchar"},      {"extra_args", "varchar"},    {"host", "varchar"},
        {"user", "varchar"},           {"file", "varchar"},          {"file_other", "varchar"},
        {"output_option", "integer"},  {"separator", "varchar"},     {"notes", "varchar"},
        {"toolname", "varchar"},       {"artifact_type", "varchar"}, {"data_tbl_name", "varchar"},
        {"row_data_start", "integer"}, {"row_data_end", "integer"},
    };
    return kColumns;
}

const std::vector<log_record_column>& log_record_columns() {
    static const std::vector<log_record_column> kColumns = {
        {0x1, "path", "varchar"},     {0x2, "name", "varchar"},         {0x4, "extension", "varchar"},
        {0x8, "is_dir", "integer"},   {0x10, "size", "integer"},        {0x20, "modified", "varchar"},
        {0x40, "created", "varchar"}, {0x80, "metachanged", "varchar"}, {0x100, "accessed", "varchar"},
        {0x200, "mode", "varchar"},   {0x800, "inode", "integer"},      {0x1000, "seqnum", "integer"},
        {0x400, "copied", "integer"}, {0x2000, "ntfsraw", "integer"},   {0x4000, "offset", "integer"},
        {0x8000, "notes", "varchar"}, {0x10000, "source", "varchar"},
    };
    return kColumns;
}

// ---------------------------------------------------------------- reference table

std::string sql_create_ref_table(const std::string& ref_table) {
    return "create table `" + ref_table + "` (" + "`table_name` varchar primary key  not null" +
           ", `last_rowid` integer" + ", `last_update` integer" + ");";
}

std::string sql_insert_ref_row(const std::string& ref_table) {
    return "insert into `" + ref_table + "` (" + "`table_name`,`last_rowid`,`last_update`)" + " values(" +
           join_placeholders(3) + ");";
}

std::string sql_update_ref_row(const std::string& ref_table) {
    return "update `" + ref_table + "` set `last_rowid`=?, `last_update`=?" + " where table_name=?;";
}

std::string sql_select_last_rowid(const std::string& ref_table, const std::string& table) {
    return "select `last_rowid` from " + ref_table + " where table_name='" + table + "';";
}

std::string sql_select_ref_rows(const std::string& ref_table) {
    return "select `table_name`, `last_rowid` from " + ref_table + ";";
}

// ---------------------------------------------------------------- run table

std::string sql_create_run_table(const std::string& run_table) {
    std::string sql = "create table `" + run_table + "` (";
    bool first = true;
    for (const auto& c : run_table_columns()) {
        if (!first) sql += ", ";
        sql += "`" + c.first + "` " + c.second;
        first = false;
    }
    return sql + ");";
}

std::string sql_insert_run_row(const std::string& run_table) {
    std::string sql = "insert into `" + run_table + "` (";
    bool first = true;
    for (const auto& c : run_table_columns()) {
        if (!first) sql += ",";
        sql += "`" + c.first + "`";
        first = false;
    }
    return sql + ")" + " values(" + join_placeholders(run_table_columns().size()) + ");";
}

std::string sql_update_run_row(const std::string& run_table, std::uint64_t runtime) {
    std::string sql = "update `" + run_table + "` set ";
    const auto& cols = run_table_columns();
    for (std::size_t i = 0; i + 1 < cols.size(); ++i) {  // every column but row_data_end
        if (i > 0) sql += ", ";
        sql += "`" + cols[i].first + "`=?";
    }
    return sql + " where runtime='" + std::to_string(runtime) + "';";
}

std::string sql_set_row_data_start(const std::string& run_table) {
    return "update `" + run_table + "` set `row_data_start`=?" + " where runtime=?;";
}

std::string sql_set_row_data_end(const std::string& run_table) {
    return "update `" + run_table + "` set `row_data_end`=?" + " where runtime=?;";
}

std::string sql_select_run_row(const std::string& run_table, std::uint64_t runtime) {
    return "select `runtime` from " + run_table + " where runtime='" + std::to_string(runtime) + "';";
}

std::string sql_select_row_data_end(const std::string& run_table, std::uint64_t runtime) {
    return "select `row_data_end` from " + run_table + " where runtime='" + std::to_string(runtime) + "';";
}

std::string sql_select_run_rows(const std::string& run_table) { return "select * from " + run_table + ";"; }

// ---------------------------------------------------------------- data tables

std::string sql_create_generic_data() {
    return std::string("create table [") + kGenericDataTableName + "] (" + "`metaref` integer" +
           ", `val1` integer" + ", `val2` integer" + ", `val3` integer" + ", `val4` integer" +
           ", `val5` integer" + ", `str1` varchar" + ", `str2` varchar" + ", `desired_output` varchar" + ");";
}

std::string sql_insert_generic_data() {
    return std::string("insert into `") + kGenericDataTableName + "` (" +
           "`metaref`,`val1`,`val2`,`val3`,`val4`,`val5`,`str1`,`str2`,`desired_output`)" + " values(" +
           join_placeholders(kGenericDataColumnCount) + ");";
}

std::string sql_create_named_data_table(const std::string& table, const std::vector<std::string>& columns) {
    std::string sql = "create table [" + table + "] (" + "[metaref] integer, ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += columns[i] + " " + "varchar";
    }
    return sql + ");";
}

std::string sql_insert_named_data(const std::string& table, const std::vector<std::string>& columns) {
    std::string sql = "insert into `" + table + "` (" + "[metaref], ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += columns[i];
    }
    return sql + ") " + "values(" + "?," + join_placeholders(columns.size()) + ");";
}

std::string sql_create_log_table(const schema_t& schema) {
    std::string sql = "create table `" + schema.name + "` (";
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += "`" + schema.fields[i].first + "` " + schema.fields[i].second;
    }
    return sql + ");";
}

std::string sql_insert_log_rows(const schema_t& schema) {
    std::string sql = "insert into `" + schema.name + "` (";
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += "`" + schema.fields[i].first + "`";
    }
    return sql + ") values(" + join_placeholders(schema.fields.size()) + ");";
}

std::string sql_select_max_rowid(const std::string& table) { return "select MAX(rowid) from " + table + ";"; }
std::string sql_select_data_table(const std::string& table) { return "select * from [" + table + "];"; }
std::string sql_select_export_columns(const std::string& table) {
    return "select `metaref`,`desired_output` from " + table + ";";
}
std::string sql_dump_table(const std::string& table) { return "select * from '" + table + "';"; }

// ---------------------------------------------------------------- column names

std::string clean_data_column_name(const std::string& name, bool keep_long) {
    std::string out = name;
    if (!keep_long && out.size() >= 9) out.resize(8);
    remove_char(out, '[');
    remove_char(out, ']');
    remove_char(out, '#');
    trim_whitespace(out);
    replace_char(out, ' ', '_', false);
    return out;
}

void bracket_data_columns(std::vector<std::string>& columns, bool keep_long, bool number) {
    if (columns.empty() || columns[0].find('[') != std::string::npos) return;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string clean = clean_data_column_name(columns[i], keep_long);
        columns[i] = "[" + (number ? std::to_string(i + 1) + "-" : std::string()) + clean + "]";
    }
}

std::vector<std::string> data_columns_from_headers(const std::string& col_hdrs, bool keep_long, bool number) {
    std::vector<std::string> names;
    split_string(col_hdrs, '|', names, true, true, false);
    for (std::string& n : names) n = clean_data_column_name(n, keep_long);
    bracket_data_columns(names, keep_long, number);
    return names;
}

// ---------------------------------------------------------------- ticks

std::uint64_t row_tick_counter::next() { return next_at(get_current_time().filetime); }

std::uint64_t row_tick_counter::next_at(std::uint64_t filetime) {
    if (filetime == last_) {
        ++count_;
        return filetime + count_;
    }
    last_ = filetime;
    count_ = 0;
    return filetime;
}
