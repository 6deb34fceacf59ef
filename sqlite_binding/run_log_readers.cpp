#include "sqlite_binding/run_log_readers.h"

#include <cstdio>
#include <sstream>

#include "common/formatters.h"
#include "common/split_join.h"
#include "common/text_numbers.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "io/cmd_params.h"
#include "io/console.h"
#include "io/fileio_output.h"
#include "io/portable_dir_ops.h"
#include "sqlite_binding/run_log_db.h"
#include "sqlite_binding/run_log_exports.h"
#include "sqlite_binding/sql_names.h"

namespace {

std::string notes_tail(const std::string& notes) {
    return notes.size() < 10 ? std::string() : notes.substr(9);
}

// Rows of a select with their NULL cells told apart from empty ones and blobs kept whole.
struct dump_rows {
    std::vector<std::string> names;              // column names of the first row
    std::vector<std::vector<std::string>> rows;  // cell bytes
    std::vector<std::vector<bool>> nulls;        // true for an SQL NULL
    std::vector<unsigned> sizes;                 // byte lengths of the current row (exec_with_lengths)
};

int dump_row_cb(void* context, int count, char** values, char** names) {
    auto* d = static_cast<dump_rows*>(context);
    if (d->names.empty()) {
        for (int i = 0; i < count; ++i)
            d->names.emplace_back(names != nullptr && names[i] != nullptr ? names[i] : "");
    }
    std::vector<std::string> row;
    std::vector<bool> null;
    for (int i = 0; i < count; ++i) {
        const char* v = values != nullptr ? values[i] : nullptr;
        const std::size_t k = static_cast<std::size_t>(i);
        const std::size_t n = k < d->sizes.size() ? d->sizes[k] : 0;
        row.emplace_back(v != nullptr ? std::string(v, n) : std::string());
        null.push_back(v == nullptr);
    }
    d->rows.push_back(std::move(row));
    d->nulls.push_back(std::move(null));
    return 0;
}

bool needs_hex(const std::string& cell) {
    for (unsigned char c : cell) {
        if (c < 0x20 || c == 0x7F || c >= 0x80) return true;
    }
    return false;
}

void write_hex_cell(std::ostream& out, const std::string& cell) {
    static const char kDigits[] = "0123456789abcdef";
    out << "hex={";
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(cell[i]);
        if (i > 0) out << ' ';
        out << kDigits[c >> 4] << kDigits[c & 0x0F];
    }
    out << "}";
}

}  // namespace

// ---------------------------------------------------------------- readers

int read_run_row_cb(void* context, int count, char** values, char** names) {
    auto* results = static_cast<sql_results*>(context);
    if (results == nullptr || results->run_map == nullptr) return 1;
    if (results->column_names.empty()) {
        for (int i = 0; i < count; ++i) {
            results->column_names.emplace_back(names != nullptr && names[i] != nullptr ? names[i] : "");
        }
    }
    if (results->column_names.empty()) return 1;
    sqlite_metadata_row row;
    if (!row.assign_from_cstrings(results->column_names, count, values)) return 1;
    results->run_map->emplace(row.runtime, row);
    return 0;
}

bool sqlite3_adt::read_run_rows(std::map<std::uint64_t, sqlite_metadata_row>& out) {
    out.clear();
    if (!is_open) return false;
    sql_results results;
    results.run_map = &out;
    if (!run_commands(&results, this, std::vector<std::string>{sql_select_run_rows(run_table_name)},
                      read_run_row_cb))
        return false;
    return !out.empty();
}

bool sqlite3_adt::list_ref_tables(std::vector<std::string>& out) {
    out.clear();
    if (!is_open) return false;
    sql_results results;
    if (!query_rows(sql_select_ref_rows(ref_table_name), results)) return false;
    for (const auto& row : results.rows) {
        if (!row.empty()) out.push_back(row[0]);
    }
    return !out.empty();
}

bool sqlite3_adt::read_ref_table(std::map<std::string, std::uint64_t>& out) {
    out.clear();
    if (!is_open) return false;
    sql_results results;
    if (!query_rows(sql_select_ref_rows(ref_table_name), results)) return false;
    for (const auto& row : results.rows) {
        if (row.size() < 2) continue;
        std::uint64_t last = 0;
        if (!string_to_u64(row[1], &last)) last = 0;
        out.emplace(row[0], last);
    }
    return !out.empty();
}

bool exec_statements(void* context, sqlite_wrapper* wrapper, const std::vector<std::string>& statements,
                     sql_row_callback callback) {
    // The library is linked in, so no loader handle is ever held: a bound table and an open connection are
    // what a statement needs.
    if (wrapper == nullptr || statements.empty() || context == nullptr || !sqlite_api_bound() ||
        wrapper->db == nullptr)
        return false;
    for (const std::string& sql : statements) {
        char* error = nullptr;
        const int rc = sqlite_api.exec(wrapper->db, sql.c_str(), callback, context, &error);
        sqlite_free_error_text(error);
        if (rc != SQLITE_OK) return false;
    }
    return true;
}

// ---------------------------------------------------------------- exports

bool collect_data_outputs(sqlite3_adt* log, std::vector<std::string>& out, const std::string& folder) {
    if (log == nullptr || !log->is_open) return false;
    sql_file_results results;
    results.folder = folder;
    sql_results runs;
    runs.run_map = &results.runs;
    if (!run_commands(&runs, log, std::vector<std::string>{sql_select_run_rows(log->run_table_name)},
                      read_run_row_cb))
        return false;
    if (!make_directory_path(folder)) return false;
    std::vector<std::string> tables;
    if (!log->list_ref_tables(tables)) return false;
    for (const std::string& table : tables) {
        // The run table holds no data lines; its select would fail and end the export before any table.
        if (table == log->run_table_name) continue;
        const std::size_t before = results.files.size();
        const bool failed =
            !exec_statements(&results, log, {sql_select_export_columns(sql_quote_bracketed(table))},
                             sql_file_results::sql_generic_data_cb);
        out.insert(out.end(), results.files.begin() + static_cast<std::ptrdiff_t>(before),
                   results.files.end());
        if (failed) break;
    }
    if (results.output) results.output->close();
    // A table without the two export columns (a named data table) ends the loop as any failure does; what
    // was written before stays, and only an export that wrote nothing reports failure.
    return !results.files.empty();
}

int data_table_row_to_csv(void* context, int count, char** values, char** /*names*/) {
    auto* ctx = static_cast<sql_data_table_to_fileio*>(context);
    if (ctx == nullptr || ctx->output == nullptr || count < 1 || values == nullptr) return 1;
    const std::uint64_t n = ++ctx->row_counter;
    const auto owner = ctx->runs.lower_bound(n);
    if (owner == ctx->runs.end()) return 1;
    const sqlite_metadata_row& run = owner->second;
    std::string sep = "|";
    bool cleaning = false;
    if (ctx->options != nullptr && ctx->options->separator != "|") {
        sep = ctx->options->separator;
        cleaning = ctx->options->value_char != 0;
    }
    const std::size_t value_count = static_cast<std::size_t>(count) - 1;
    if (ctx->header_pending) {
        split_string(run.col_hdrs, '|', ctx->header_names, false, true, false);
        ctx->header_count = ctx->header_names.size();
        std::ostringstream header;
        if (cleaning) {
            for (std::size_t i = 0; i < ctx->header_names.size(); ++i)
                header << (i > 0 ? sep : "") << ctx->header_names[i];
        } else {
            header << run.col_hdrs;
        }
        for (std::size_t m = ctx->header_count; m < value_count; ++m) header << sep;
        header << sep << "tool used" << sep << "orig runtime" << sep << "artifact type" << sep;
        if (!run.extra_args.empty()) header << "extra args" << sep;
        header << "csv src" << sep << "artifact src"
               << "\n";
        ctx->output->append_stream(header);
        ctx->header_pending = false;
    }
    std::ostringstream line;
    for (int i = 1; i < count; ++i) {
        std::string v = values[i] != nullptr ? values[i] : "";  // NULL cells are empty fields
        if (cleaning) replace_char(v, ctx->options->value_char, ctx->options->value_char_replacement, false);
        line << v << sep;
    }
    line << run.toolname << sep << notes_tail(run.notes) << sep << run.artifact_type << sep;
    if (!run.extra_args.empty()) line << run.extra_args << sep;
    line << run.file_other << sep << run.file << "\n";
    ctx->output->append_stream(line);
    return 0;
}

bool export_data_tables_to_csv(sqlite3_adt* log, std::uint64_t /*unused*/, const std::string& folder,
                               bool follow, cmd_params* options) {
    if (log == nullptr || !log->is_open || folder.empty()) return false;
    std::map<std::uint64_t, sqlite_metadata_row> runs;
    if (!log->read_run_rows(runs)) return false;
    std::multimap<std::string, const sqlite_metadata_row*> by_table;
    for (const auto& r : runs) by_table.emplace(r.second.data_tbl_name, &r.second);
    std::map<std::string, std::uint64_t> ref;
    if (!log->read_ref_table(ref)) return false;
    if (!make_directory_path(folder)) return false;
    for (const auto& entry : ref) {
        const std::string& table = entry.first;
        if (table == log->run_table_name) continue;
        if (options != nullptr && options->verbose) status_printf(40, "analyzing %s\n", table.c_str());
        std::string id;
        const std::string path = folder + "/" + sanitize_to_identifier(id, table) + ".csv";
        uni::fileio file(path, true, false, true);
        if (!file.is_open()) {
            error_printf("prob opening %s for output, skipping this data table\n", path.c_str());
            continue;
        }
        sql_data_table_to_fileio ctx;
        ctx.table_name = table;
        ctx.output = &file;
        ctx.options = follow ? options : nullptr;
        const auto range = by_table.equal_range(table);
        for (auto it = range.first; it != range.second; ++it)
            ctx.runs.emplace(it->second->row_data_end, *it->second);
        // A row that no run owns stops this table's select; the rows before it stay in the file.
        (void)exec_statements(&ctx, log, {"select * from " + sql_quote_bracketed(table) + ";"},
                              data_table_row_to_csv);
        file.close();
    }
    if (options != nullptr) clear_status_line_if_enabled(*options);
    return true;
}

bool dump_table(sqlite3_adt* log, std::ostream& out, const std::string& table, cmd_params& options,
                bool raw) {
    if (log == nullptr || !log->is_open || table.empty()) return false;
    dump_rows d;
    if (exec_with_lengths(log->db, "select * from " + sql_quote_single(table) + ";", dump_row_cb, &d,
                          &d.sizes, nullptr) != SQLITE_OK ||
        d.rows.empty())
        return false;
    const std::string& sep = options.separator;
    const bool quoted = options.quoted_csv_fields;
    for (std::size_t i = 0; i < d.names.size(); ++i) out << (i > 0 ? sep : "") << d.names[i];
    out << "\n";
    for (std::size_t r = 0; r < d.rows.size(); ++r) {
        for (std::size_t c = 0; c < d.rows[r].size(); ++c) {
            if (c > 0) out << sep;
            if (d.nulls[r][c]) continue;
            std::string cell = d.rows[r][c];
            flatten_line_endings(cell);
            if (!raw && needs_hex(cell)) {
                write_hex_cell(out, cell);
            } else if (quoted && !(cell.size() >= 3 && cell[0] == '{' && cell[1] == '"')) {
                out << '"' << cell << '"';
            } else {
                out << cell;
            }
        }
        out << "\n";
    }
    return static_cast<bool>(out);
}

bool dump_table_to_file(sqlite3_adt* log, const std::string& path, const std::string& table,
                        std::uint64_t /*unused*/, cmd_params& options) {
    if (log == nullptr || !log->is_open || path.empty() || table.empty()) return false;
    uni::fileio file(path, true, false, true);
    if (!file.is_open()) {
        error_printf("prob accessing %s, aborting\n", path.c_str());
        return false;
    }
    std::ostream* stream = file.open_output_stream();
    const bool ok = stream != nullptr && dump_table(log, *stream, table, options, true);
    if (ok) clear_status_line_if_enabled(options);
    file.close();
    return ok;
}
