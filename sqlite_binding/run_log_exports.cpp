#include "sqlite_binding/run_log_exports.h"

#include <algorithm>
#include <sstream>

#include "common/formatters.h"
#include "common/split_join.h"
#include "common/text_numbers.h"
#include "io/console.h"
#include "io/portable_dir_ops.h"
#include "sqlite_binding/run_log_db.h"
#include "sqlite_format/schema_reader.h"

namespace {

// Rows of a run counted as unlimited for the own table walk.
constexpr std::int64_t kAllRows = -1;

std::string blanks_to_underscores(std::string text) {
    replace_char(text, ' ', '_', false);
    return text;
}

// The text after the last '/', the whole text when there is none.
std::string base_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens an export file: emptied when this export has not opened it yet, else appended to. `opened`
// remembers the files of one export.
bool open_export_file(uni::fileio& file, const std::string& path, std::set<std::string>& opened) {
    if (opened.count(path) != 0) return file.open_append(path, false) == 1;
    if (file.open(path, true, false, true) != 1) return false;
    opened.insert(path);
    return true;
}

// The run table and the tables below it, as the own reader lists them from the schema table.
struct db_tables {
    uni::fileio file;                            // the database, read-only
    std::uint32_t page_size = 0;                 // from its header
    std::map<std::string, std::uint64_t> roots;  // table name -> file offset of its root page
};

bool read_tables(db_tables& db, const std::string& path) {
    std::vector<std::string> names;
    std::vector<std::string> sqls;
    std::vector<std::uint32_t> roots;
    std::uint8_t wal_image = 0;
    if (!read_master_table(names, sqls, roots, db.file, db.page_size, path, wal_image) || db.page_size == 0)
        return false;
    for (std::size_t i = 0; i < names.size() && i < roots.size(); ++i) {
        if (roots[i] == 0) continue;  // views and triggers have no b-tree
        db.roots.emplace(names[i], static_cast<std::uint64_t>(roots[i] - 1) * db.page_size);
    }
    return true;
}

// The rows of a run's rowid range. The table walk may hand back neighbours of the range that share a
// leaf page with it, so the range is applied here as well.
bool read_run_rows(std::vector<table_record>& out, db_tables& db, std::uint64_t root,
                   const sqlite_metadata_row& run, std::vector<sqlite_artifact>* interiors) {
    std::vector<table_record> rows;
    const std::int64_t count = static_cast<std::int64_t>(run.row_data_end - run.row_data_start);
    const int ok = interiors != nullptr
                       ? extract_table_records_ex(rows, db.file, root, db.page_size, run.row_data_start,
                                                  count, false, false, text_encoding::utf8, *interiors)
                       : extract_table_records(rows, db.file, root, db.page_size, run.row_data_start, count,
                                               false, false, text_encoding::utf8);
    out.clear();
    if (!ok) return false;
    for (table_record& r : rows) {
        if (r.rowid >= run.row_data_start && r.rowid <= run.row_data_end) out.push_back(std::move(r));
    }
    return !out.empty();
}

bool run_has_rows(const sqlite_metadata_row& run) {
    return run.row_data_end != 0 && run.row_data_start <= run.row_data_end;
}

std::string notes_tail(const std::string& notes) {
    return notes.size() < 10 ? std::string() : notes.substr(9);
}

}  // namespace

// ---------------------------------------------------------------- sql_file_results

sql_file_results::sql_file_results() : current_key(0), first_row(true) {}

sql_file_results::~sql_file_results() {
    if (output) output->close();
}

std::string generic_export_file_name(const std::string& folder, const sqlite_metadata_row& run,
                                     std::uint64_t key) {
    const std::string base = run.file.empty() ? std::string("_") : blanks_to_underscores(base_name(run.file));
    return folder + "/" + run.toolname + "_" + base + "_" + blanks_to_underscores(run.artifact_type) + "_" +
           std::to_string(key) + "." + (run.separator.empty() ? "txt" : "csv");
}

int sql_file_results::sql_generic_data_cb(void* context, int count, char** values, char** /*names*/) {
    auto* self = static_cast<sql_file_results*>(context);
    if (self == nullptr || self->runs.empty() || self->folder.empty() || count != 2 || values == nullptr)
        return -1;
    std::uint64_t key = 0;
    if (values[0] == nullptr || !cstr_to_u64(values[0], &key)) key = 0;
    if (key != self->current_key || !self->output) {
        const auto run = self->runs.find(key);
        if (run == self->runs.end()) return -1;
        if (self->output) self->output->close();
        self->output.reset(new uni::fileio());
        const std::string path = generic_export_file_name(self->folder, run->second, key);
        const bool again = std::find(self->files.begin(), self->files.end(), path) != self->files.end();
        // A run whose rows come back after another run's continues its file rather than starting it over.
        const int opened =
            again ? self->output->open_append(path, false) : self->output->open(path, true, false, true);
        if (opened != 1) {
            self->output.reset();
            return -1;
        }
        self->current_file = path;
        self->current_key = key;
        if (!again) {
            self->files.push_back(path);
            self->output->printf("%s\n", run->second.col_hdrs.c_str());
        }
    }
    self->output->printf("%s\n", values[1] != nullptr ? values[1] : "");
    return 0;
}

sql_data_table_to_fileio::sql_data_table_to_fileio()
    : row_counter(0), output(nullptr), reserved(0), header_pending(true), header_count(0), options(nullptr) {}

// ---------------------------------------------------------------- carved exports

int export_generic_data_carved(const std::string& folder, const std::string& db_path) {
    db_tables db;
    if (!read_tables(db, db_path)) return 0;
    const auto meta = db.roots.find(kRunTableDefaultName);
    const auto data = db.roots.find(kGenericDataTableName);
    if (meta == db.roots.end() || data == db.roots.end()) return 0;
    std::vector<table_record> run_rows;
    if (!extract_table_records(run_rows, db.file, meta->second, db.page_size, 0, kAllRows, false, false,
                               text_encoding::utf8))
        return 0;
    if (!make_directory_path(folder)) return 0;
    std::set<std::string> opened;
    for (const table_record& r : run_rows) {
        sqlite_metadata_row run;
        if (!run.assign_from_strings(r.values, false) || !run_has_rows(run)) continue;
        // The rowid range of a run of another data table says nothing about "generic_data".
        if (run.data_tbl_name != kGenericDataTableName) continue;
        std::vector<table_record> rows;
        if (!read_run_rows(rows, db, data->second, run, nullptr)) continue;
        std::string path = folder.empty() ? std::string() : folder + "/";
        path += blanks_to_underscores(run.toolname) + "_";
        if (!run.file.empty()) path += blanks_to_underscores(base_name(run.file)) + "_";
        path += blanks_to_underscores(run.artifact_type) + "_" + std::to_string(run.runtime) + ".txt";
        uni::fileio out;
        if (!open_export_file(out, path, opened)) continue;
        out.printf("%s\n", run.col_hdrs.c_str());
        for (const table_record& row : rows) {
            sqlite_generic_data_row line;
            if (line.assign_from_strings(row.values)) out.printf("%s\n", line.desired_output.c_str());
        }
        out.close();
    }
    return 0;
}

bool export_data_tables_carved(const std::string& folder, const std::string& db_path, bool verbose) {
    db_tables db;
    if (!read_tables(db, db_path)) return false;
    const auto meta = db.roots.find(kRunTableDefaultName);
    if (meta == db.roots.end()) return false;
    const std::uint64_t meta_root = meta->second;
    db.roots.erase(kRunTableDefaultName);
    db.roots.erase(kRefTableDefaultName);
    if (db.roots.empty()) return false;
    if (verbose) status_printf(40, "reading in metadata table...");
    std::vector<table_record> run_rows;
    if (!extract_table_records(run_rows, db.file, meta_root, db.page_size, 0, kAllRows, false, false,
                               text_encoding::utf8))
        return false;
    if (!make_directory_path(folder)) return false;

    std::set<std::string> opened;
    uni::fileio out;
    std::string file_table;      // the data table whose file is open
    std::string interior_table;  // the data table whose interior pages are in `interiors`
    std::vector<sqlite_artifact> interiors;
    const int n = static_cast<int>(run_rows.size());
    for (int k = 0; k < n; ++k) {
        if (verbose) status_printf(40, "processing entry %d of %d...", k + 1, n);
        sqlite_metadata_row run;
        if (!run.assign_from_strings(run_rows[static_cast<std::size_t>(k)].values, false) ||
            !run_has_rows(run))
            continue;
        const auto table = db.roots.find(run.data_tbl_name);
        if (table == db.roots.end()) continue;
        if (run.data_tbl_name != interior_table) {
            interiors.clear();
            interior_table = run.data_tbl_name;
        }
        std::vector<table_record> rows;
        if (!read_run_rows(rows, db, table->second, run, &interiors)) continue;
        if (run.data_tbl_name != file_table || !out.is_open()) {
            out.close();
            file_table = run.data_tbl_name;
            const std::string path =
                (folder.empty() ? std::string() : folder + "/") + run.data_tbl_name + ".csv";
            if (!open_export_file(out, path, opened)) continue;
            if (out.query_size() == 0) {
                std::ostringstream header;
                std::vector<std::string> names;
                split_string(run.col_hdrs, '|', names, false, true, false);
                header << run.col_hdrs;
                const std::size_t values = rows.front().values.size();
                for (std::size_t m = names.size(); m + 1 < values; ++m) header << "|";
                header << "|tool used|orig runtime|artifact type|";
                if (!run.extra_args.empty()) header << "extra args|";
                header << "\n";
                out.append_stream(header);
            }
        }
        std::string suffix = run.toolname + "|" + notes_tail(run.notes) + "|" + run.artifact_type + "|";
        if (!run.extra_args.empty()) suffix += run.extra_args + "|";
        for (const table_record& row : rows) {
            std::ostringstream line;
            for (std::size_t v = 1; v < row.values.size(); ++v) line << row.values[v] << "|";
            line << suffix << "\n";
            out.append_stream(line);
        }
    }
    out.close();
    if (verbose) clear_status_line();
    return true;
}
