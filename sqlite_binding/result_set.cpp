#include "sqlite_binding/result_set.h"

namespace {

const char kColumnSeparator[] = " | ";

// How the stepping selects turn a column of a row into text.
enum class null_text { zero, empty };

struct column_rules {
    null_text null_as;   // NULL becomes "0" or empty text
    bool float_as_text;  // a float is taken as the library's text of it
    bool other_as_text;  // a type code outside 1-5 is taken as the library's text
};

std::string bytes_text(const void* p, int n) {
    if (p == nullptr || n <= 0) return std::string();
    return std::string(static_cast<const char*>(p), static_cast<std::size_t>(n));
}

std::string column_as_text(sqlite3_stmt* stmt, int i, const column_rules& rules) {
    // The type is read before anything converts the value; the pointer before its length.
    const int type = sqlite_api.column_type(stmt, i);
    switch (type) {
        case SQLITE_INTEGER:
            return std::to_string(static_cast<long long>(sqlite_api.column_int64(stmt, i)));
        case SQLITE_FLOAT:
            if (!rules.float_as_text) {
                std::ostringstream os;
                os << sqlite_api.column_double(stmt, i);
                return os.str();
            }
            break;
        case SQLITE_TEXT:
            break;
        case SQLITE_BLOB: {
            const void* p = sqlite_api.column_blob(stmt, i);
            return bytes_text(p, sqlite_api.column_bytes(stmt, i));
        }
        case SQLITE_NULL:
            return rules.null_as == null_text::zero ? std::string("0") : std::string();
        default:
            if (!rules.other_as_text) return std::string();
            break;
    }
    const void* p = sqlite_api.column_text(stmt, i);
    return bytes_text(p, sqlite_api.column_bytes(stmt, i));
}

bool api_ready_for_selects() {
    return sqlite_api.prepare_v2 != nullptr && sqlite_api.step != nullptr && sqlite_api.finalize != nullptr &&
           sqlite_api.column_count != nullptr && sqlite_api.column_name != nullptr &&
           sqlite_api.column_type != nullptr && sqlite_api.column_bytes != nullptr &&
           sqlite_api.column_int64 != nullptr && sqlite_api.column_double != nullptr &&
           sqlite_api.column_text != nullptr && sqlite_api.column_blob != nullptr;
}

// The shared stepping loop. `on_row` receives each row's texts and the statement (for names).
template <typename OnRow>
bool step_rows(sqlite3* connection, const std::string& sql, const column_rules& rules, OnRow on_row) {
    if (connection == nullptr || !api_ready_for_selects()) return false;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite_api.prepare_v2(connection, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return false;
    if (stmt == nullptr) return true;  // nothing to run (blanks or a comment)
    std::vector<std::string> row;
    while (sqlite_api.step(stmt) == SQLITE_ROW) {
        const int n = sqlite_api.column_count(stmt);
        row.clear();
        row.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
        for (int i = 0; i < n; ++i) row.push_back(column_as_text(stmt, i, rules));
        on_row(row, stmt, n);
    }
    sqlite_api.finalize(stmt);
    return true;
}

void append_names(std::vector<std::string>& names, sqlite3_stmt* stmt, int n) {
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite_api.column_name(stmt, i);
        names.emplace_back(name != nullptr ? name : "");
    }
}

}  // namespace

// ---------------------------------------------------------------- sql_results

sql_results::sql_results() : output(nullptr), run_map(nullptr), header_written(false), already_exists(false) {
    clear();
}

void sql_results::clear() {
    column_types.clear();
    column_names.clear();
    rows.clear();
    rowids.clear();
    errors.str(std::string());
    errors.clear();
    output = nullptr;
    run_map = nullptr;
    header_written = false;
    already_exists = false;
}

int sql_results_row_cb(void* context, int count, char** values, char** names) {
    auto* results = static_cast<sql_results*>(context);
    if (results == nullptr) return 0;
    std::ostream* out = results->output;
    const bool take_names = out == nullptr ? results->column_names.empty() : !results->header_written;
    if (take_names) {
        for (int i = 0; i < count; ++i) {
            const char* name = names != nullptr ? names[i] : nullptr;
            if (out != nullptr && i > 0) *out << kColumnSeparator;
            if (name != nullptr) {
                if (out != nullptr) *out << name;
                results->column_names.emplace_back(name);
            } else {
                results->column_names.emplace_back();
            }
        }
        if (out != nullptr) {
            results->header_written = true;
            *out << '\n';
        }
    }
    std::vector<std::string> row;
    for (int i = 0; i < count; ++i) {
        const char* value = values != nullptr ? values[i] : nullptr;
        if (out != nullptr) {
            if (i > 0) *out << kColumnSeparator;
            if (value != nullptr) *out << value;
        } else {
            row.emplace_back(value != nullptr ? value : "");
        }
    }
    if (out != nullptr) {
        *out << '\n';
    } else {
        results->rows.push_back(std::move(row));
    }
    return 0;
}

bool run_commands(sql_results* results, sqlite_wrapper* wrapper, const std::vector<std::string>& commands,
                  sql_row_callback callback) {
    if (wrapper == nullptr || commands.empty() || results == nullptr) return false;
    if (sqlite_api.exec == nullptr || sqlite_api.last_insert_rowid == nullptr) return false;
    for (const std::string& command : commands) {
        char* error = nullptr;
        const int rc = sqlite_api.exec(wrapper->db, command.c_str(), callback, results, &error);
        if (rc == SQLITE_OK) {
            sqlite_free_error_text(error);
            results->rowids.push_back(static_cast<std::uint64_t>(sqlite_api.last_insert_rowid(wrapper->db)));
            continue;
        }
        const std::string message = error != nullptr ? error : "";
        sqlite_free_error_text(error);
        if (message.find("already exists") != std::string::npos) {
            results->already_exists = true;
            results->errors << message << '\n';
        } else {
            results->errors << "Cmd Used: " << command << '\n' << " Error: " << message << '\n';
        }
        return false;
    }
    return true;
}

bool select_table_columns(sqlite_wrapper* wrapper, std::vector<std::vector<std::string>>& rows,
                          std::vector<std::string>& columns, const std::string& table) {
    if (wrapper == nullptr || !wrapper->is_open || table.empty()) return false;
    rows.clear();
    std::string sql = "select";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += i == 0 ? " " : ",";
        if (i == 0 && columns[i] == "*") {
            sql += "*";
        } else {
            sql += "`" + columns[i] + "`";
        }
    }
    sql += " from [" + table + "];";
    sql_results results;
    if (!run_commands(&results, wrapper, std::vector<std::string>{sql}, sql_results_row_cb)) return false;
    if (results.rows.empty()) return false;
    rows.assign(results.rows.size(), std::vector<std::string>());
    if (results.column_names.size() > columns.size()) columns.resize(results.column_names.size());
    const std::size_t n = columns.size();
    for (std::size_t r = 0; r < results.rows.size(); ++r) {
        // A row of another width than asked for is left empty rather than misaligned.
        if (results.rows[r].size() == n) rows[r] = results.rows[r];
    }
    for (std::size_t i = 0; i < n && i < results.column_names.size(); ++i)
        columns[i] = results.column_names[i];
    return true;
}

bool select_rows_to_callback(void* context, std::uint32_t flag, std::uint64_t a, std::uint64_t b,
                             sqlite3* connection, const std::string& sql, select_row_fn fn) {
    const column_rules rules{null_text::zero, false, false};
    return step_rows(connection, sql, rules, [&](std::vector<std::string>& row, sqlite3_stmt*, int) {
        if (fn != nullptr) fn(context, row, flag, a, b);
    });
}

bool select_rows_with_names_to_callback(void* context, std::uint32_t flag, std::uint64_t a, std::uint64_t b,
                                        sqlite3* connection, const std::string& sql, select_named_row_fn fn,
                                        bool float_as_text) {
    const column_rules rules{null_text::empty, float_as_text, false};
    std::vector<std::string> names;
    return step_rows(connection, sql, rules, [&](std::vector<std::string>& row, sqlite3_stmt* stmt, int n) {
        if (names.empty()) append_names(names, stmt, n);
        if (fn != nullptr) fn(context, row, names, flag, a, b);
    });
}

bool select_all_rows(std::vector<std::vector<std::string>>& rows, sqlite3* connection,
                     const std::string& sql) {
    if (connection == nullptr) return false;
    rows.clear();
    const column_rules rules{null_text::zero, false, false};
    return step_rows(connection, sql, rules,
                     [&](std::vector<std::string>& row, sqlite3_stmt*, int) { rows.push_back(row); });
}

void select_all_rows_with_names(std::vector<std::vector<std::string>>& rows, std::vector<std::string>& names,
                                sqlite3* connection, const std::string& sql) {
    if (connection == nullptr || sql.empty()) return;
    rows.clear();
    names.clear();
    const column_rules rules{null_text::empty, true, true};
    step_rows(connection, sql, rules, [&](std::vector<std::string>& row, sqlite3_stmt* stmt, int n) {
        rows.push_back(row);
        if (names.empty() && n > 0) append_names(names, stmt, n);
    });
}

void print_results(const sql_results& results, std::ostream& os) {
    static const char kDigits[] = "0123456789abcdef";
    for (const std::string& name : results.column_names) os << name << kColumnSeparator;
    os << '\n' << '\n';
    for (const std::vector<std::string>& row : results.rows) {
        for (std::size_t i = 0; i < results.column_names.size() && i < row.size(); ++i) {
            if (i < results.column_types.size() && results.column_types[i] == 3) {
                for (unsigned char c : row[i]) os << kDigits[c >> 4] << kDigits[c & 0x0F] << ' ';
            } else {
                os << row[i];
            }
            os << kColumnSeparator;
        }
        os << '\n';
    }
}

bool build_schema_query(std::stringstream& os) {
    os.str(std::string());
    os.clear();
    os << "select" << ' ' << "`sql`" << ' ' << "from sqlite_master where" << ' ' << "type="
       << "'table'" << ';';
    return true;
}
