#include "sqlite_binding/data_log.h"

#include <time.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "common/host_facts.h"
#include "common/split_join.h"
#include "common/text_numbers.h"
#include "common/text_rewrite.h"
#include "io/diags_log.h"
#include "time/clock_tz.h"

namespace {

std::uint64_t now_filetime() { return get_current_time().filetime; }

std::uint64_t text_to_u64(const std::string& text) {
    std::uint64_t v = 0;
    if (!string_to_u64(text, &v)) v = 0;
    return v;
}

// Run data logs by the options they were set up for (cmd_params has no field of its own for it).
std::mutex g_options_log_mutex;
std::map<const cmd_params*, sqlite_data_log*>& options_logs() {
    static std::map<const cmd_params*, sqlite_data_log*> logs;
    return logs;
}

void forget_options_log(const sqlite_data_log* log) {
    std::lock_guard<std::mutex> guard(g_options_log_mutex);
    auto& logs = options_logs();
    for (auto it = logs.begin(); it != logs.end();) {
        it = it->second == log ? logs.erase(it) : std::next(it);
    }
}

// The cell texts of one named-table row: its own values, else its line split at '|'.
std::vector<std::string> row_cells(const sqlite_generic_data_row& row) {
    if (!row.values.empty()) return row.values;
    std::vector<std::string> cells;
    split_string(row.desired_output, '|', cells, false, true, false);
    return cells;
}

}  // namespace

// ---------------------------------------------------------------- sqlite3_adt

sqlite3_adt::sqlite3_adt()
    : run_table_name(kRunTableDefaultName),
      ref_table_name(kRefTableDefaultName),
      ref_table_created(false),
      run_table_created(false),
      tables_ready(false) {
    reset_state();
}

sqlite3_adt::~sqlite3_adt() = default;

void sqlite3_adt::reset_state() {
    is_open = false;
    read_only = false;
    db = nullptr;
    db_path.clear();
    run_id = 0;
    run_table_name = kRunTableDefaultName;
    ref_table_name = kRefTableDefaultName;
    ref_table_created = false;
    run_table_created = false;
}

bool sqlite3_adt::exec_statement(const std::string& sql) {
    if (db == nullptr || sqlite_api.exec == nullptr) return false;
    char* error = nullptr;
    const int rc = sqlite_api.exec(db, sql.c_str(), nullptr, nullptr, &error);
    sqlite_free_error_text(error);
    return rc == SQLITE_OK;
}

bool sqlite3_adt::query_rows(const std::string& sql, sql_results& results) {
    return run_commands(&results, this, std::vector<std::string>{sql}, sql_results_row_cb);
}

bool sqlite3_adt::query_first_value(const std::string& sql, std::string& value) {
    value.clear();
    sql_results results;
    if (!query_rows(sql, results) || results.rows.empty() || results.rows[0].empty()) return false;
    value = results.rows[0][0];
    return true;
}

sqlite3_stmt* sqlite3_adt::prepare(const std::string& sql) {
    if (db == nullptr || sqlite_api.prepare_v2 == nullptr) return nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite_api.prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        if (stmt != nullptr) sqlite_api.finalize(stmt);
        return nullptr;
    }
    return stmt;
}

void sqlite3_adt::bind_text_copy(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite_api.bind_text(stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void sqlite3_adt::bind_u64(sqlite3_stmt* stmt, int index, std::uint64_t value) {
    sqlite_api.bind_int64(stmt, index, static_cast<sqlite3_int64>(value));
}

bool sqlite3_adt::finish_transaction(bool ok) {
    if (ok && exec_statement("END TRANSACTION")) return true;
    // A failed insert or commit must not leave the transaction open with part of the batch in it.
    exec_statement("ROLLBACK");
    return false;
}

bool sqlite3_adt::create_ref_table() {
    if (!is_open) return false;
    sql_results results;
    return query_rows(sql_create_ref_table(ref_table_name), results) || results.already_exists;
}

bool sqlite3_adt::insert_ref_row(sqlite_ref_row& row) {
    if (!is_open) return false;
    sqlite3_stmt* stmt = prepare(sql_insert_ref_row(ref_table_name));
    if (stmt == nullptr) return false;
    if (!exec_statement("BEGIN TRANSACTION")) {
        sqlite_api.finalize(stmt);
        return false;
    }
    bind_text_copy(stmt, 1, row.table_name);
    bind_u64(stmt, 2, row.last_rowid);
    row.last_update = now_filetime();
    bind_u64(stmt, 3, row.last_update);
    const bool stepped = sqlite_api.step(stmt) == SQLITE_DONE;
    sqlite_api.finalize(stmt);
    return finish_transaction(stepped);
}

bool sqlite3_adt::update_ref_row(const std::string& table, std::uint64_t last_rowid) {
    if (!is_open) return false;
    sqlite3_stmt* stmt = prepare(sql_update_ref_row(ref_table_name));
    if (stmt == nullptr) return false;
    if (last_rowid == 0) last_rowid = static_cast<std::uint64_t>(sqlite_api.last_insert_rowid(db));
    bind_u64(stmt, 1, last_rowid);
    bind_u64(stmt, 2, now_filetime());
    bind_text_copy(stmt, 3, table);
    const bool stepped = sqlite_api.step(stmt) == SQLITE_DONE;
    sqlite_api.finalize(stmt);
    return stepped;
}

std::uint64_t sqlite3_adt::get_last_rowid(const std::string& table) {
    std::uint64_t v = 0;
    find_last_rowid(v, table);
    return v;
}

bool sqlite3_adt::find_last_rowid(std::uint64_t& out, const std::string& table) {
    out = 0;
    if (!is_open) return false;
    std::string value;
    if (!query_first_value(sql_select_last_rowid(ref_table_name, table), value)) return false;
    out = text_to_u64(value);
    return true;
}

bool sqlite3_adt::create_run_table() {
    if (!is_open) return false;
    sql_results results;
    if (!query_rows(sql_create_run_table(run_table_name), results)) return results.already_exists;
    sqlite_ref_row ref;
    ref.table_name = run_table_name;
    ref.last_rowid = 0;
    if (!insert_ref_row(ref)) update_ref_row(run_table_name, 0);
    return true;
}

bool sqlite3_adt::insert_run_row(sqlite_metadata_row& row) {
    if (!is_open) return false;
    sqlite3_stmt* stmt = prepare(sql_insert_run_row(run_table_name));
    if (stmt == nullptr) return false;
    if (!exec_statement("BEGIN TRANSACTION")) {
        sqlite_api.finalize(stmt);
        return false;
    }
    const std::uint64_t ints[] = {row.runtime, row.chunk, row.parent};
    int p = 1;
    for (std::uint64_t v : ints) bind_u64(stmt, p++, v);
    const std::string* texts1[] = {&row.cmdline,   &row.gen_hdrs,   &row.col_hdrs,
                                   &row.col_types, &row.extra_args, &row.host,
                                   &row.user,      &row.file,       &row.file_other};
    for (const std::string* t : texts1) bind_text_copy(stmt, p++, *t);
    bind_u64(stmt, p++, row.output_option);
    const std::string* texts2[] = {&row.separator, &row.notes, &row.toolname, &row.artifact_type,
                                   &row.data_tbl_name};
    for (const std::string* t : texts2) bind_text_copy(stmt, p++, *t);
    bind_u64(stmt, p++, row.row_data_start);
    bind_u64(stmt, p++, row.row_data_end);
    const bool stepped = sqlite_api.step(stmt) == SQLITE_DONE;
    sqlite_api.finalize(stmt);
    const bool ok = finish_transaction(stepped);
    if (ok) update_ref_row(run_table_name, 0);
    return ok;
}

bool sqlite3_adt::update_run_row(std::uint64_t old_runtime, std::uint64_t new_runtime,
                                 const sqlite_metadata_row& row) {
    if (!is_open) return false;
    sqlite3_stmt* stmt = prepare(sql_update_run_row(run_table_name, old_runtime));
    if (stmt == nullptr) return false;
    int p = 1;
    bind_u64(stmt, p++, new_runtime);
    bind_u64(stmt, p++, row.chunk);
    bind_u64(stmt, p++, row.parent);
    const std::string* texts1[] = {&row.cmdline,   &row.gen_hdrs,   &row.col_hdrs,
                                   &row.col_types, &row.extra_args, &row.host,
                                   &row.user,      &row.file,       &row.file_other};
    for (const std::string* t : texts1) bind_text_copy(stmt, p++, *t);
    bind_u64(stmt, p++, row.output_option);
    const std::string* texts2[] = {&row.separator, &row.notes, &row.toolname, &row.artifact_type,
                                   &row.data_tbl_name};
    for (const std::string* t : texts2) bind_text_copy(stmt, p++, *t);
    bind_u64(stmt, p++, row.row_data_start);
    const bool stepped = sqlite_api.step(stmt) == SQLITE_DONE;
    sqlite_api.finalize(stmt);
    return stepped;
}

bool sqlite3_adt::set_row_data_start(std::uint64_t runtime, std::uint64_t value) {
    if (!is_open) return false;
    sqlite3_stmt* stmt = prepare(sql_set_row_data_start(run_table_name));
    if (stmt == nullptr) return false;
    bind_u64(stmt, 1, value);
    bind_u64(stmt, 2, runtime);
    const bool stepped = sqlite_api.step(stmt) == SQLITE_DONE;
    sqlite_api.finalize(stmt);
    return stepped;
}

bool sqlite3_adt::set_row_data_end(std::uint64_t runtime, std::uint64_t value, bool keep_zero) {
    if (!is_open) return false;
    sqlite3_stmt* stmt = prepare(sql_set_row_data_end(run_table_name));
    if (stmt == nullptr) return false;
    if (value == 0 && !keep_zero) value = static_cast<std::uint64_t>(sqlite_api.last_insert_rowid(db));
    bind_u64(stmt, 1, value);
    bind_u64(stmt, 2, runtime);
    const bool stepped = sqlite_api.step(stmt) == SQLITE_DONE;
    sqlite_api.finalize(stmt);
    return stepped;
}

bool sqlite3_adt::run_row_exists(std::uint64_t runtime) {
    if (!is_open) return false;
    std::string value;
    return query_first_value(sql_select_run_row(run_table_name, runtime), value);
}

std::uint64_t sqlite3_adt::get_row_data_end(std::uint64_t runtime) {
    if (!is_open) return 0;
    std::string value;
    if (!query_first_value(sql_select_row_data_end(run_table_name, runtime), value)) return 0;
    return text_to_u64(value);
}

std::uint64_t sqlite3_adt::get_max_rowid(const std::string& table) {
    if (!is_open) return 0;
    std::string value;
    if (!query_first_value(sql_select_max_rowid(table), value)) return 0;
    return text_to_u64(value);
}

bool sqlite3_adt::generic_sql_select(std::vector<std::string>& names,
                                     std::vector<std::vector<std::string>>& rows, const std::string& sql,
                                     cmd_params* options) {
    names.clear();
    rows.clear();
    if (sql.empty()) return false;
    sql_results results;
    if (!query_rows(sql, results)) {
        write_log_line_checked(options, "sqlite3_adt::generic_sql_select: prob calling sql_transaction");
        write_log_line_checked(options, results.errors.str());
        return false;
    }
    if (results.rows.empty()) {
        write_log_line_checked(options, "sqlite3_adt::generic_sql_select: no rows returned");
        return false;
    }
    names = results.column_names;
    rows = results.rows;
    return true;
}

// ---------------------------------------------------------------- sqlite_data_log

sqlite_data_log::sqlite_data_log() = default;

sqlite_data_log::~sqlite_data_log() {
    forget_options_log(this);
    std::size_t left = 0;
    {
        AutoLock guard(&lock_);
        if (!pending_rows.empty() && !flush_data_rows()) left = pending_rows.size();
    }
    // The rows cannot be handed back from a destructor; at least say that they were not written.
    if (left > 0) std::fprintf(stderr, "run log: %zu pending rows could not be written\n", left);
}

void sqlite_data_log::set_gen_hdrs(const char* text) {
    if (is_open && text != nullptr) run_row.gen_hdrs = text;
}
void sqlite_data_log::set_col_hdrs(const char* text) {
    if (is_open && text != nullptr) run_row.col_hdrs = text;
}
void sqlite_data_log::set_file(const char* text) {
    if (is_open && text != nullptr) run_row.file = text;
}
void sqlite_data_log::set_file_other(const char* text) {
    if (is_open && text != nullptr) run_row.file_other = text;
}
void sqlite_data_log::set_notes(const char* text) {
    if (is_open && text != nullptr) run_row.notes = text;
}
void sqlite_data_log::set_artifact_type(const char* text) {
    if (is_open && text != nullptr) run_row.artifact_type = text;
}

int sqlite_data_log::queue_row(const std::string& line, std::uint64_t val1, std::uint64_t val2,
                               const std::string& str1, const std::string& str2, std::uint64_t val3,
                               std::uint64_t val4, std::uint64_t val5) {
    AutoLock guard(&lock_);
    pending_row.clear();
    pending_row.val1 = val1;
    pending_row.val2 = val2;
    pending_row.val3 = val3;
    pending_row.val4 = val4;
    pending_row.val5 = val5;
    pending_row.str1 = str1;
    pending_row.str2 = str2;
    pending_row.desired_output = line;
    pending_rows.push_back(pending_row);
    return 0;
}

int sqlite_data_log::add_data_row(const std::string& line, std::uint64_t val1, std::uint64_t val2,
                                  const std::string& str1, const std::string& str2, std::uint64_t val3,
                                  std::uint64_t val4, std::uint64_t val5) {
    return queue_row(line, val1, val2, str1, str2, val3, val4, val5);
}
int sqlite_data_log::add_data_row(const std::ostringstream& line, std::uint64_t val1, std::uint64_t val2,
                                  const std::string& str1, const std::string& str2, std::uint64_t val3,
                                  std::uint64_t val4, std::uint64_t val5) {
    return queue_row(line.str(), val1, val2, str1, str2, val3, val4, val5);
}
int sqlite_data_log::add_data_row(const std::stringstream& line, std::uint64_t val1, std::uint64_t val2,
                                  const std::string& str1, const std::string& str2, std::uint64_t val3,
                                  std::uint64_t val4, std::uint64_t val5) {
    return queue_row(line.str(), val1, val2, str1, str2, val3, val4, val5);
}

int sqlite_data_log::add_data_row_ex(const std::string& line, const sqlite_generic_data_row& prepared) {
    return queue_row(line, prepared.val1, prepared.val2, prepared.str1, prepared.str2, prepared.val3,
                     prepared.val4, prepared.val5);
}
int sqlite_data_log::add_data_row_ex(const std::ostringstream& line,
                                     const sqlite_generic_data_row& prepared) {
    return add_data_row_ex(line.str(), prepared);
}
int sqlite_data_log::add_data_row_ex(const std::stringstream& line, const sqlite_generic_data_row& prepared) {
    return add_data_row_ex(line.str(), prepared);
}

bool sqlite_data_log::add_text_lines(const std::string& text, std::uint64_t val1, std::uint64_t val2,
                                     const std::string& str1) {
    std::vector<std::string> lines;
    if (text.empty() || text.size() > 0xFFFFFFFFu) return false;
    split_lines(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::uint32_t>(text.size()),
                lines);
    if (lines.empty()) return false;
    AutoLock guard(&lock_);
    for (const std::string& line : lines) {
        pending_row.clear();
        pending_row.val1 = val1;
        pending_row.val2 = val2;
        pending_row.str1 = str1;
        pending_row.desired_output = line;
        pending_rows.push_back(pending_row);
    }
    return true;
}

bool sqlite_data_log::add_table_record_row(std::uint64_t metaref, const std::vector<std::string>& values,
                                           cmd_params* options) {
    if (options == nullptr || !options->sqlite_on) return false;
    sqlite_data_log* log = get_options_data_log(options);
    if (log == nullptr || !log->is_open) return false;
    AutoLock guard(&log->lock_);
    log->pending_row.clear();
    log->pending_row.metaref = metaref;
    log->pending_row.values = values;
    log->pending_rows.push_back(log->pending_row);
    return true;
}

int sqlite_data_log::pending_row_count() {
    AutoLock guard(&lock_);
    return static_cast<int>(pending_rows.size());
}

void sqlite_data_log::clear_pending() {
    AutoLock guard(&lock_);
    pending_rows.clear();
    pending_row.clear();
}

void sqlite_data_log::reset() {
    // Forgetting an open connection would leak it; close it first.
    if (db != nullptr) close_db();
    qm_libload_base::reset();
    reset_state();
    run_row.clear();
    clear_pending();
}

bool sqlite_data_log::open(std::uint64_t value, const std::string& path, sqlite_metadata_row& row,
                           const std::string& extra, bool generic) {
    if (is_open && db != nullptr) close_db();
    reset();
    if (!open_read_write(value, path, extra)) return false;
    // The default name goes into the row before it is copied, so the table created is the table written.
    if (generic) {
        row.data_tbl_name = kGenericDataTableName;
    } else if (row.data_tbl_name.empty()) {
        row.data_tbl_name = kDefaultDataTableName;
    }
    run_row = row;
    is_open = true;
    // A named table without column headers yet is created on the first write instead.
    create_data_table(value, row);
    return true;
}

bool sqlite_data_log::prepare_column_list() {
    if (run_row.column_list.empty()) {
        if (run_row.col_hdrs.empty()) return false;
        run_row.column_list = data_columns_from_headers(run_row.col_hdrs, run_row.keep_long_column_names,
                                                        run_row.number_data_columns);
    } else {
        bracket_data_columns(run_row.column_list, run_row.keep_long_column_names,
                             run_row.number_data_columns);
    }
    return !run_row.column_list.empty();
}

bool sqlite_data_log::create_data_table(std::uint64_t /*runtime*/, const sqlite_metadata_row& row) {
    if (!is_open) return false;
    const struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
    if (!ref_table_created) ref_table_created = create_ref_table();
    if (!run_table_created) run_table_created = create_run_table();
    std::uint64_t last = 0;
    if (find_last_rowid(last, row.data_tbl_name)) return true;
    std::string sql;
    if (row.data_tbl_name == kGenericDataTableName) {
        sql = sql_create_generic_data();
    } else {
        if (!prepare_column_list()) return false;
        sql = sql_create_named_data_table(row.data_tbl_name, run_row.column_list);
    }
    sql_results results;
    if (!query_rows(sql, results)) return false;
    sqlite_ref_row ref;
    ref.table_name = row.data_tbl_name;
    ref.last_rowid = 0;
    insert_ref_row(ref);
    return true;
}

bool sqlite_data_log::write_data_rows(std::uint64_t runtime,
                                      const std::vector<sqlite_generic_data_row>& rows) {
    if (!is_open || rows.empty()) return false;
    if (!run_row_exists(runtime)) {
        sqlite_metadata_row copy = run_row;
        copy.runtime = runtime;
        copy.row_data_start = 1;
        copy.row_data_end = 0;
        if (!insert_run_row(copy)) return false;
    }
    const std::string& table = run_row.data_tbl_name;
    std::uint64_t last = 0;
    if (!find_last_rowid(last, table)) {
        sqlite_metadata_row copy = run_row;
        copy.runtime = runtime;
        if (!create_data_table(runtime, copy)) return false;
        run_row.runtime = runtime;
        update_run_row(runtime, runtime, run_row);
    }
    if (runtime == 0) {
        runtime = now_filetime();
        run_row.runtime = runtime;
        run_row.row_data_start = get_last_rowid(table) + 1;
        update_run_row(0, runtime, run_row);
    }
    const bool generic = table == kGenericDataTableName;
    std::string sql;
    if (generic) {
        sql = sql_insert_generic_data();
    } else {
        if (!prepare_column_list()) return false;
        sql = sql_insert_named_data(table, run_row.column_list);
    }
    // Whether the run had rows before this batch: its first-row reference is set from the batch if not.
    const bool first_batch_of_run = get_row_data_end(runtime) == 0;
    sqlite3_stmt* stmt = prepare(sql);
    if (stmt == nullptr) return false;
    if (!exec_statement("BEGIN TRANSACTION")) {
        sqlite_api.finalize(stmt);
        return false;
    }
    bool ok = true;
    std::uint64_t first_rowid = 0;
    const std::size_t columns = generic ? 0 : run_row.column_list.size();
    for (const sqlite_generic_data_row& row : rows) {
        bind_u64(stmt, 1, runtime);
        if (generic) {
            bind_u64(stmt, 2, row.val1);
            bind_u64(stmt, 3, row.val2);
            bind_u64(stmt, 4, row.val3);
            bind_u64(stmt, 5, row.val4);
            bind_u64(stmt, 6, row.val5);
            bind_text_copy(stmt, 7, row.str1);
            bind_text_copy(stmt, 8, row.str2);
            bind_text_copy(stmt, 9, row.desired_output);
        } else {
            const std::vector<std::string> cells = row_cells(row);
            for (std::size_t j = 0; j < columns; ++j) {
                const int index = static_cast<int>(j) + 2;
                if (j < cells.size()) {
                    bind_text_copy(stmt, index, cells[j]);
                } else {
                    sqlite_api.bind_int64(stmt, index, 0);
                }
            }
        }
        if (sqlite_api.step(stmt) != SQLITE_DONE) {
            ok = false;
            break;
        }
        if (first_rowid == 0) first_rowid = static_cast<std::uint64_t>(sqlite_api.last_insert_rowid(db));
        sqlite_api.clear_bindings(stmt);
        sqlite_api.reset(stmt);
    }
    const std::uint64_t rowid = static_cast<std::uint64_t>(sqlite_api.last_insert_rowid(db));
    sqlite_api.finalize(stmt);
    if (!finish_transaction(ok)) return false;
    update_ref_row(table, rowid);
    if (first_batch_of_run) set_row_data_start(runtime, first_rowid);
    set_row_data_end(runtime, rowid, false);
    return true;
}

bool sqlite_data_log::flush_data_rows() {
    AutoLock guard(&lock_);
    if (!write_data_rows(run_id, pending_rows)) return false;
    clear_pending();
    return true;
}

bool sqlite_data_log::flush_data_rows_min(int n) {
    AutoLock guard(&lock_);
    if (static_cast<long long>(pending_rows.size()) < static_cast<long long>(n)) return false;
    return flush_data_rows();
}

bool sqlite_data_log::commit_run(bool continue_run) {
    AutoLock guard(&lock_);
    if (!pending_rows.empty()) {
        if (!write_data_rows(run_id, pending_rows)) return false;
        clear_pending();
    }
    return start_run(run_id, continue_run);
}

bool sqlite_data_log::start_run(std::uint64_t old_runtime, bool continue_run) {
    if (!is_open) return false;
    std::uint64_t fresh = now_filetime();
    // Never reuse or go back to an earlier key: runs started within one clock tick still get distinct keys.
    if (fresh <= old_runtime) fresh = old_runtime + 1;
    run_id = fresh;
    if (continue_run && old_runtime != 0) {
        run_row.chunk = 1;
        if (run_row.parent == 0) run_row.parent = old_runtime;
    } else {
        run_row.chunk = 0;
        run_row.parent = 0;
    }
    const std::string& table = run_row.data_tbl_name;
    if (get_row_data_end(old_runtime) != 0) {
        run_row.row_data_start = get_last_rowid(table) + 1;
        run_row.row_data_end = 0;
        run_row.runtime = fresh;
        insert_run_row(run_row);
    } else {
        run_row.chunk = 0;
        run_row.parent = 0;
        run_row.row_data_start = get_last_rowid(table) + 1;
        run_row.runtime = fresh;
        update_run_row(old_runtime, fresh, run_row);
    }
    return true;
}

// ---------------------------------------------------------------- options

sqlite_data_log* get_options_data_log(const cmd_params* options) {
    std::lock_guard<std::mutex> guard(g_options_log_mutex);
    const auto& logs = options_logs();
    const auto it = logs.find(options);
    return it == logs.end() ? nullptr : it->second;
}

void set_options_data_log(const cmd_params* options, sqlite_data_log* log) {
    if (options == nullptr) return;
    std::lock_guard<std::mutex> guard(g_options_log_mutex);
    if (log == nullptr) {
        options_logs().erase(options);
    } else {
        options_logs()[options] = log;
    }
}

void sqlite_metadata_row::fill_from_options(const cmd_params& options) {
    clear();
    cmdline = options.command_line;
    host = options.host_name.empty() ? get_host_name() : options.host_name;
    user = options.user_name;
    if (options.csv) {
        output_option = 258;
    } else if (options.csvl2t) {
        output_option = 259;
    } else if (options.bodyfile) {
        output_option = 260;
    } else if (options.xml) {
        output_option = 257;
    }
    separator = options.separator;
    toolname = options.tool_name;
    artifact_type = options.source_type;
}

void build_run_row(sqlite_metadata_row& row, std::uint64_t& runtime, const cmd_params& options,
                   const schema_t& schema, std::uint64_t last_rowid) {
    row.fill_from_options(options);
    row.row_data_start = last_rowid + 1;
    os_version_info info;
    get_os_version_info(info, get_executable_path());
    if (row.gen_hdrs.empty()) row.gen_hdrs = "not used";
    if (row.col_hdrs.empty() || row.col_types.empty()) {
        std::string names;
        std::string types;
        for (std::size_t i = 0; i < schema.fields.size(); ++i) {
            if (i > 0) {
                names += options.separator;
                types += options.separator;
            }
            names += schema.fields[i].first;
            types += schema.fields[i].second;
        }
        if (row.col_hdrs.empty()) row.col_hdrs = names;
        if (row.col_types.empty()) row.col_types = types;
    }
    if (row.host.empty()) row.host = !info.node_name.empty() ? info.node_name : get_host_name();
    if (row.file.empty()) {
        if (!options.out_file.empty()) {
            row.file = options.out_file + " [output]";
        } else if (!options.out_dir.empty()) {
            row.file = options.out_dir + " [output]";
        } else if (!options.enumdir_folder.empty()) {
            row.file = options.enumdir_folder + " [folder analyzed]";
        }
    }
    if (row.file_other.empty() && options.compressed) row.file_other = "gzip requested";
    if (row.notes.empty()) row.notes = info.version;
    if (row.data_tbl_name.empty()) row.data_tbl_name = schema.name;
    runtime = row.runtime;
}

// ---------------------------------------------------------------- header texts

void write_bodyfile_header(std::ostream& os) {
    os << "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time";
}

void write_log2timeline_header(std::ostream& os, const std::string& separator, bool extended, bool together) {
    static const char* const kColumns[] = {"timezone", "MACB",  "source", "sourcetype", "type",
                                           "user",     "host",  "short",  "desc",       "version",
                                           "filename", "inode", "notes",  "format",     "extra"};
    static const char* const kExtended[] = {"ref count",    "extension",     "size data", "inode seqnum",
                                            "parent inode", "parent seqnum", "clusters",  "header info"};
    // A label that holds the separator (a '/' or a blank one) is quoted as a cell holding it is.
    const auto label = [&](const char* text) {
        std::string word = text;
        if (cell_needs_quotes(word, separator, false)) quote_cell(word);
        os << word;
    };
    if (together) {
        label("date/time");
    } else {
        label("date");
        os << separator;
        label("time");
    }
    for (const char* c : kColumns) {
        os << separator;
        label(c);
    }
    if (extended) {
        for (const char* c : kExtended) {
            os << separator;
            label(c);
        }
    }
}
