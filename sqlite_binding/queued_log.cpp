#include "sqlite_binding/queued_log.h"

#include <time.h>

#include <algorithm>

#include "common/encoding.h"
#include "common/path_split.h"
#include "io/cmd_params.h"
#include "io/file_stats.h"
#include "time/qm_time.h"
#include "time/time_text.h"

namespace {

constexpr std::uint64_t kMaskNotes = 0x8000;
constexpr std::uint64_t kAllColumns = ~0ull;

// The schema of a log-record table: metaref, then the columns of the mask in table order.
bool build_record_schema(schema_t& schema, std::uint64_t mask) {
    if (mask == 0) return false;
    schema.push_back("metaref", "integer");
    for (const log_record_column& c : log_record_columns()) {
        if ((mask & c.mask_bit) != 0) schema.push_back(c.name, c.type);
    }
    if ((mask & kLogMaskAttributeColumns) != 0) {
        // One column per extended-attribute name; this system reads none, so there is nothing to build on.
        std::set<std::string> attribute_names;
        clear_map_header(attribute_names);
        if (attribute_names.empty()) return false;
        for (const std::string& n : attribute_names) schema.push_back(n, "varchar");
    }
    return schema.fields.size() > 1;
}

bool build_schema_from_columns(schema_t& schema, const std::vector<std::string>& columns) {
    if (columns.empty()) return false;
    for (const std::string& c : columns) schema.push_back(c, "varchar");
    return true;
}

// Folder and name of a queued record: a folder keeps its whole path and no name; every folder path ends
// in '/'.
void split_record_path(sqlite_log_record& r) {
    if (r.is_folder) {
        r.folder_path = r.name;
        r.file_name.clear();
        r.size = 0;
    } else {
        split_path(r.name, r.folder_path, r.file_name);
    }
    if (!r.folder_path.empty() && r.folder_path.back() != '/') r.folder_path.push_back('/');
}

// The attributes of a record with runs of one name merged, their values joined by ';'.
std::vector<std::pair<std::string, std::string>> merged_attributes(const log_record& r) {
    std::vector<std::pair<std::string, std::string>> out;
    const std::size_t n = std::min(r.attribute_names.size(), r.attribute_values.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (!out.empty() && out.back().first == r.attribute_names[i]) {
            out.back().second += ";" + r.attribute_values[i];
        } else {
            out.emplace_back(r.attribute_names[i], r.attribute_values[i]);
        }
    }
    return out;
}

// A record filled from the status of `path`; its extended attributes are read when the table name is
// empty or the record asks for them (this system reads none).
void set_from_path(sqlite_log_record& r, const std::string& path, const std::string& table) {
    (void)fill_file_stats_narrow(r, path, "");
    if (r.name.empty()) r.name = path;
    if (!table.empty() && r.read_extended_attributes == 0) return;
    std::vector<std::string> names;
    std::vector<std::string> values;
    clear_two_lists(names, values, path);
    if (names.empty()) return;
    r.source_flags |= 0x80;
    r.has_attributes = 1;
    r.attribute_names = names;
    r.attribute_values = values;
}

}  // namespace

sqlite_log::sqlite_log() : last_run_key_(0) { init(); }

void sqlite_log::init() {
    tables_ready = false;
    schemas.clear();
    column_masks.clear();
    pending_records.clear();
    pending_custom_rows.clear();
    date_format = date_time_format();
    (void)parse_date_time_format(date_format, "yyyy-mm-dd", "hh:mm:ss", true);
}

sqlite_log::~sqlite_log() {
    if (!pending_records.empty() || !pending_custom_rows.empty()) flush_all();
    if (!is_open) return;
    for (const auto& s : schemas) {
        if (s.second.run_key == 0) continue;  // no run row was written for the table
        const std::uint64_t last = get_last_rowid(s.first);
        if (last == 0) set_row_data_start(s.second.run_key, 0);
        set_row_data_end(s.second.run_key, last, true);
    }
}

// ---------------------------------------------------------------- registration

template <typename Build>
bool sqlite_log::register_table(bool& existed, const std::string& table, std::uint64_t mask,
                                bool columns_form, Build build) {
    existed = false;
    if (!schemas.emplace(table, schema_t()).second) {
        existed = true;
        if (columns_form) tables_ready = true;
        return true;
    }
    schema_t schema;
    // A table that cannot be built is not registered at all, so a later registration starts afresh.
    if (!build(schema)) {
        schemas.erase(table);
        return false;
    }
    schema.name = table;
    for (std::size_t i = 0; i < schema.fields.size(); ++i)
        schema.field_order[schema.fields[i].first] = static_cast<std::uint32_t>(i + 1);
    schemas[table] = schema;
    column_masks[table] = mask;
    sql_results results;
    if (!query_rows(sql_create_log_table(schema), results)) {
        if (results.already_exists) {
            existed = true;
            if (columns_form) tables_ready = true;
            return true;
        }
        schemas.erase(table);
        column_masks.erase(table);
        return false;
    }
    sqlite_ref_row ref;
    ref.table_name = table;
    ref.last_rowid = 0;
    if (!insert_ref_row(ref)) update_ref_row(table, 0);
    pending_records[table].reserve(kQueueReserve);
    if (columns_form) tables_ready = true;
    return true;
}

bool sqlite_log::create_record_table(bool& existed, const std::string& table, std::uint64_t mask) {
    return register_table(existed, table, mask, false,
                          [&](schema_t& s) { return build_record_schema(s, mask); });
}

bool sqlite_log::create_table_from_columns(bool& existed, const std::string& table,
                                           const std::vector<std::string>& columns) {
    existed = false;
    if (columns.empty()) return false;
    return register_table(existed, table, kLogMaskColumnList, true,
                          [&](schema_t& s) { return build_schema_from_columns(s, columns); });
}

bool sqlite_log::create_table_from_names(bool& existed, const std::string& table,
                                         const std::set<std::string>& names) {
    existed = false;
    if (names.empty()) return false;
    const std::vector<std::string> sorted(names.begin(), names.end());
    return register_table(existed, table, kAllColumns, false,
                          [&](schema_t& s) { return build_schema_from_columns(s, sorted); });
}

// ---------------------------------------------------------------- open

bool sqlite_log::open(const std::string& path, cmd_params* options,
                      const std::map<std::string, std::uint64_t>* masks, bool write_run_rows) {
    if (db != nullptr) close_db();
    reset_state();
    init();
    if (path.empty()) return false;
    if (!open_read_write(0, path, "")) return false;
    const struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
    if (!ref_table_created) ref_table_created = create_ref_table();
    if (!run_table_created) run_table_created = create_run_table();
    if (masks != nullptr) {
        for (const auto& m : *masks) {
            bool existed = false;
            // A table that cannot be registered is the caller's to handle; nothing here ends the process.
            if (!create_record_table(existed, m.first, m.second)) return false;
            if (existed) {
                const std::uint64_t max = get_max_rowid(m.first);
                if (max != 0) update_ref_row(m.first, max);
            }
        }
    }
    if (options == nullptr) {
        tables_ready = true;
        return true;
    }
    if (write_run_rows) {
        for (auto& s : schemas) {
            sqlite_metadata_row row;
            std::uint64_t runtime = 0;
            build_run_row(row, runtime, *options, s.second, get_last_rowid(s.first));
            // Run rows made within one clock tick would share their key, and closing one would close the
            // other.
            if (runtime <= last_run_key_) runtime = row.runtime = last_run_key_ + 1;
            if (insert_run_row(row)) {
                s.second.run_key = runtime;
                last_run_key_ = runtime;
            }
        }
    }
    if (options->date_format.empty()) {
        if (options->format_word.flags != 0) {
            date_format = options->format_word;
            date_format.flags |= dtf_paired;
            date_format.flags &= ~dtf_fraction_mask;
        }
    } else {
        date_time_format parsed;
        if (parse_date_time_format(parsed, options->date_format, options->time_format, true))
            date_format = parsed;
    }
    tables_ready = true;
    return true;
}

// ---------------------------------------------------------------- queueing

bool sqlite_log::add_log_record(const std::string& table, const std::string& path, std::uint64_t copied,
                                log_record* record) {
    AutoLock guard(&lock);
    if (!tables_ready || schemas.empty()) return false;
    const auto mask = column_masks.find(table);
    if (mask == column_masks.end()) return false;
    sqlite_log_record r;
    r.table_name = table;
    r.copied = copied;
    r.read_extended_attributes = mask->second & kLogMaskReadAttributes;
    if (record != nullptr) {
        static_cast<log_record&>(r) = *record;
        record->clear();
        if (r.name.empty()) r.name = path;
    } else {
        set_from_path(r, path, table);
    }
    split_record_path(r);
    auto& queue = pending_records[table];
    queue.push_back(r);
    if (queue.size() > kFlushThreshold) flush_all();
    return true;
}

void sqlite_log::queue_custom(const std::string& table, const std::vector<std::string>& texts) {
    auto& queue = pending_custom_rows[table];
    if (queue.capacity() < kQueueReserve) queue.reserve(kQueueReserve);
    queue.emplace_back(table, texts);
    if (queue.size() > kFlushThreshold) flush_all();
}

bool sqlite_log::add_custom_rows(const std::string& table,
                                 const std::vector<std::vector<std::string>>& rows) {
    AutoLock guard(&lock);
    if (!tables_ready || schemas.empty() || rows.empty() || column_masks.count(table) == 0) return false;
    for (const auto& row : rows) queue_custom(table, row);
    return true;
}

bool sqlite_log::add_custom_row(const std::string& table, const std::vector<std::string>& texts) {
    AutoLock guard(&lock);
    if (!tables_ready || schemas.empty() || texts.empty() || column_masks.count(table) == 0) return false;
    queue_custom(table, texts);
    return true;
}

// ---------------------------------------------------------------- writing

std::string sqlite_log::date_text(std::uint64_t value, std::uint64_t kind) const {
    // The file layer marks seconds too large for 32 bits with kind 16; they are still seconds.
    const qm::type_time k = kind == qm::type_unix_ms ? qm::type_unix : static_cast<qm::type_time>(kind);
    const qm::time t(static_cast<unsigned long long>(value), k);
    if (!t.valid) return std::string();
    std::string date;
    std::string time;
    format_date_time_by_format(date, time, t, date_format);
    return date.empty() ? std::string() : date + " " + time;
}

void sqlite_log::bind_record(sqlite3_stmt* stmt, const schema_t& schema, std::uint64_t mask,
                             sqlite_log_record& r) {
    auto param = [&](const char* column, std::uint64_t bit) -> int {
        if ((mask & bit) == 0) return 0;
        return static_cast<int>(schema.get_field_order(column));
    };
    auto bind_text = [&](int p, const std::string& text) {
        if (p > 0) bind_text_copy(stmt, p, text);
    };
    auto bind_number = [&](int p, std::uint64_t v) {
        if (p > 0) bind_u64(stmt, p, v);
    };
    bind_text(param("path", 0x1), r.is_folder ? r.name : r.folder_path);
    if (r.is_folder) bind_number(param("is_dir", 0x8), 1);
    if (!r.is_folder) {
        const std::size_t dot = r.file_name.rfind('.');
        if (dot != std::string::npos && dot + 1 < r.file_name.size())
            bind_text(param("extension", 0x4), r.file_name.substr(dot + 1));
    }
    bind_number(param("size", 0x10), r.size);
    bind_text(param("name", 0x2), r.file_name);
    const struct {
        const char* column;
        std::uint64_t bit;
        std::uint64_t value;
    } kTimes[] = {{"modified", 0x20, r.modify_time},
                  {"created", 0x40, r.birth_time},
                  {"metachanged", 0x80, r.change_time},
                  {"accessed", 0x100, r.access_time}};
    for (const auto& t : kTimes) {
        const int p = param(t.column, t.bit);
        if (p == 0) continue;
        const std::string text = date_text(t.value, r.time_kind);
        if (!text.empty()) bind_text(p, text);
    }
    bind_number(param("mode", 0x200), r.mode);
    bind_number(param("inode", 0x800), r.inode);
    bind_number(param("seqnum", 0x1000), r.sequence);
    bind_number(param("copied", 0x400), r.copied);
    if (r.raw_read != 0) bind_number(param("ntfsraw", 0x2000), r.raw_read);
    bind_number(param("offset", 0x4000), r.offset);
    bind_number(param("source", 0x10000), r.source_flags);

    const auto attributes = merged_attributes(r);
    if (attributes.empty()) {
        if (!r.notes.empty()) bind_text(param("notes", kMaskNotes), r.notes);
        return;
    }
    if ((mask & kMaskNotes) != 0) {
        std::string text = "extra_attributes={";
        for (std::size_t i = 0; i < attributes.size(); ++i) {
            if (i > 0) text += ";";
            text += "\"" + attributes[i].first + "\":\"" + attributes[i].second + "\"";
        }
        text += "}";
        if (!r.notes.empty()) text += ";notes={\"" + r.notes + "\"}";
        r.notes = text;
        bind_text(param("notes", kMaskNotes), r.notes);
        return;
    }
    for (const auto& a : attributes) {
        const int p = static_cast<int>(schema.get_field_order(a.first));
        if (p > 0) bind_text_copy(stmt, p, a.second);
    }
}

template <typename Queue, typename BindRows>
bool sqlite_log::write_queue(const std::string& table, const schema_t& schema, Queue& queue,
                             BindRows bind_rows) {
    sqlite3_stmt* stmt = prepare(sql_insert_log_rows(schema));
    if (stmt == nullptr) return false;
    exec_statement("BEGIN TRANSACTION");
    bind_rows(stmt);
    const std::uint64_t rowid = static_cast<std::uint64_t>(sqlite_api.last_insert_rowid(db));
    // A failed commit is rolled back, so the rows kept in the queue are not written twice later.
    const bool committed = finish_transaction(true);
    sqlite_api.finalize(stmt);
    if (!committed) return false;
    update_ref_row(table, rowid);
    queue.clear();
    queue.reserve(kQueueReserve);
    return true;
}

bool sqlite_log::flush_log_records(const std::string& table) {
    if (!tables_ready || pending_records.empty() || schemas.empty()) return false;
    const auto queue = pending_records.find(table);
    const auto schema = schemas.find(table);
    const auto mask = column_masks.find(table);
    if (queue == pending_records.end() || queue->second.empty() || schema == schemas.end() ||
        schema->second.fields.size() < 2 || mask == column_masks.end())
        return false;
    return write_queue(table, schema->second, queue->second, [&](sqlite3_stmt* stmt) {
        for (sqlite_log_record& r : queue->second) {
            if (r.name.empty()) continue;
            bind_u64(stmt, 1, ticks_.next());
            if (r.is_folder && !r.folder_wanted) continue;
            bind_record(stmt, schema->second, mask->second, r);
            sqlite_api.step(stmt);
            sqlite_api.clear_bindings(stmt);
            sqlite_api.reset(stmt);
        }
    });
}

bool sqlite_log::flush_custom_rows(const std::string& table) {
    if (!tables_ready || pending_custom_rows.empty() || schemas.empty()) return false;
    const auto queue = pending_custom_rows.find(table);
    const auto schema = schemas.find(table);
    if (queue == pending_custom_rows.end() || queue->second.empty() || schema == schemas.end() ||
        schema->second.fields.size() < 2 || column_masks.count(table) == 0)
        return false;
    // As many texts as the first row has, and never more than the columns after the tick.
    const std::size_t texts = std::min(queue->second.front().values.size(), schema->second.fields.size() - 1);
    return write_queue(table, schema->second, queue->second, [&](sqlite3_stmt* stmt) {
        for (const sqlite_log_record_custom& row : queue->second) {
            bind_u64(stmt, 1, ticks_.next());
            for (std::size_t i = 0; i < texts && i < row.values.size(); ++i)
                bind_text_copy(stmt, static_cast<int>(i) + 2, row.values[i]);
            sqlite_api.step(stmt);
            sqlite_api.clear_bindings(stmt);
            sqlite_api.reset(stmt);
        }
    });
}

bool sqlite_log::flush_all() {
    AutoLock guard(&lock);
    if (!tables_ready || (pending_records.empty() && pending_custom_rows.empty())) return false;
    for (const auto& q : pending_records) flush_log_records(q.first);
    for (const auto& q : pending_custom_rows) flush_custom_rows(q.first);
    return true;
}

int sqlite_log::log_command(sqlite_log* log, const char* table, const void* second,
                            const std::uint64_t* copied, log_record* record, const int* command) {
    if (log == nullptr) return -1;
    if (command == nullptr) {
        if (table == nullptr || second == nullptr) return -1;
        return log->add_log_record(table, static_cast<const char*>(second), copied != nullptr ? *copied : 0,
                                   record)
                   ? 0
                   : -1;
    }
    switch (*command) {
        case 1:
            if (table == nullptr || second == nullptr) return -1;
            return log->add_custom_rows(table,
                                        *static_cast<const std::vector<std::vector<std::string>>*>(second))
                       ? 0
                       : -1;
        case 2:
            if (table == nullptr || second == nullptr) return -1;
            return log->add_custom_row(table, *static_cast<const std::vector<std::string>*>(second)) ? 0 : -1;
        case 4:
            log->flush_all();
            return -1;
        default:
            return -1;
    }
}
