// The command-file SQL pull: tables described by "!cmd," records with "-sqlite_select" are selected
// through the SQLite binding and printed through the delimited row model, one typed cell per column.
#include <algorithm>
#include <cstdio>

#include "aux/packed_cmds.h"
#include "common/case_conv.h"
#include "common/text_numbers.h"
#include "io/cmd_params.h"
#include "io/option_lookup.h"
#include "notifications/row_render.h"
#include "notifications/sql_pull_types.h"
#include "sqlite_binding/sql_names.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "time/qm_time.h"

namespace {

// The printer's column kinds.
enum column_kind : int {
    kind_text = 1,
    kind_guid = 2,
    kind_filetime = 3,
    kind_unixtime = 4,
    kind_dostime = 5,
    kind_value = 7,
    kind_json = 8,
    kind_binary = 9,
    kind_md5 = 10,
    kind_sha1 = 11,
    kind_bool = 12,
};

int kind_of(const std::string& type) {
    static const struct {
        const char* name;
        int kind;
    } kKinds[] = {{"string", kind_text},    {"text", kind_text},         {"value", kind_value},
                  {"guid", kind_guid},      {"filetime", kind_filetime}, {"unixtime", kind_unixtime},
                  {"timet", kind_unixtime}, {"dostime", kind_dostime},   {"md5", kind_md5},
                  {"sha1", kind_sha1},      {"binary", kind_binary},     {"bool", kind_bool},
                  {"json", kind_json}};
    for (const auto& k : kKinds) {
        if (type == k.name) return k.kind;
    }
    return kind_text;
}

bool is_time_kind(int kind) { return kind == kind_filetime || kind == kind_unixtime || kind == kind_dostime; }

// A DOS date and time packed as one number, date in the high 16 bits and time in the low 16 (the FAT
// layout), read as UTC; 0 when it is not a valid date.
std::uint64_t dos_value_to_filetime(std::uint64_t value) {
    const unsigned short words[2] = {static_cast<unsigned short>((value >> 16) & 0xFFFF),
                                     static_cast<unsigned short>(value & 0xFFFF)};
    const qm::time t(words, true);
    return t.valid ? t.filetime : 0;
}

std::uint64_t number_of(const std::string& text) {
    std::uint64_t v = 0;
    if (!string_to_u64(text, &v)) v = 0;
    return v;
}

// Appends the header cells of one column; returns its kind.
void add_header_cells(std::vector<qm_variant_lite>& header, const std::string& name, int kind,
                      std::uint32_t width, const cmd_params& options) {
    const bool padded = !options.no_whitespace;
    auto widen = [&](qm_variant_lite& cell) {
        if (padded && cell.text.size() > cell.width) cell.width = cell.text.size();
    };
    if (is_time_kind(kind)) {
        if (options.pair_datetime) {
            header.emplace_back(name, options.date_format.size() + 1 + options.time_format.size());
            widen(header.back());
        } else {
            header.emplace_back(name + " [date]", options.date_format.size());
            widen(header.back());
            header.emplace_back(name + " [time]", options.time_format.size());
            widen(header.back());
        }
        return;
    }
    unsigned long long w = width;
    if (kind == kind_guid) w = width + 20ull;
    if (kind == kind_md5 || kind == kind_sha1 || kind == kind_binary) w = 2ull * width;
    header.emplace_back(name, w);
    widen(header.back());
}

// Sets one value into the row at *cell by its column kind and moves *cell past the cells it took.
void set_value(variant_row& row, int& cell, int kind, const std::string& value, bool paired) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
    const int length = static_cast<int>(std::min<std::size_t>(value.size(), 0x7FFFFFFF));
    switch (kind) {
        case kind_value:
            row.set_u64(cell, number_of(value), 8, 0);
            ++cell;
            return;
        case kind_guid:
            row.set_bytes(cell, bytes, std::min(length, 16), 27, 0);
            ++cell;
            return;
        case kind_filetime:
            cell += row.set_u64(cell, number_of(value), paired ? 13 : 12, 0);
            return;
        case kind_unixtime:
            cell += row.set_u64(cell, number_of(value), paired ? 16 : 15, 0);
            return;
        case kind_dostime:
            // Shown as the FILETIME of the DOS date and time; it takes its own cells like every time column.
            cell += row.set_u64(cell, dos_value_to_filetime(number_of(value)), paired ? 13 : 12, 0);
            return;
        case kind_md5:
        case kind_sha1:
        case kind_binary:
            row.set_bytes(cell, bytes, length, 28, 0);
            ++cell;
            return;
        default:
            row.set_string(cell, value, 11, 0);
            ++cell;
            return;
    }
}

}  // namespace

// ---------------------------------------------------------------- generic_sql_table

bool generic_sql_table::build_from_fields(std::vector<std::string> fields) {
    clear();
    if (fields.empty() || !take_option_flag("-sqlite_select", fields, false) ||
        !take_option_value("-name", name, fields))
        return false;
    (void)take_option_value("-comment", comment, fields);
    for (const std::string& f : fields) {
        const std::size_t bar = f.find('|');
        if (bar == std::string::npos) {
            column_names.push_back(f);
            column_types.push_back("text");
        } else {
            std::string type = f.substr(bar + 1);
            column_names.push_back(f.substr(0, bar));
            column_types.push_back(string_to_lower(type));
        }
    }
    statement = "select ";
    for (std::size_t i = 0; i < column_names.size(); ++i) {
        if (i > 0) statement += ",";
        statement += sql_quote_backquoted(column_names[i]);
    }
    statement += " from " + sql_quote_bracketed(name) + ";";
    column_widths.assign(column_names.size(), 0);
    return !statement.empty();
}

namespace {

// Appends one result row to the table; `sizes` (when given) are the byte lengths of the values, so a
// blob with zero bytes inside is kept whole.
int append_row(generic_sql_table* table, int count, char** values, const std::vector<unsigned>* sizes) {
    if (table == nullptr || !table->valid()) return 1;
    std::vector<std::string> row;
    for (int i = 0; i < count; ++i) {
        const char* v = values != nullptr ? values[i] : nullptr;
        const std::size_t k = static_cast<std::size_t>(i);
        if (v == nullptr) {
            row.emplace_back();
        } else if (sizes != nullptr && k < sizes->size()) {
            row.emplace_back(v, (*sizes)[k]);
        } else {
            row.emplace_back(v);
        }
        if (k < table->column_widths.size() && row.back().size() > table->column_widths[k])
            table->column_widths[k] =
                static_cast<std::uint32_t>(std::min<std::size_t>(row.back().size(), 0xFFFFFFFFu));
    }
    table->rows.push_back(std::move(row));
    return 0;
}

struct sized_rows {
    generic_sql_table* table;     // receives the rows
    std::vector<unsigned> sizes;  // byte lengths of the current row
};

int add_sized_row(void* context, int count, char** values, char** /*names*/) {
    auto* ctx = static_cast<sized_rows*>(context);
    return append_row(ctx->table, count, values, &ctx->sizes);
}

}  // namespace

bool generic_sql_table::run(sqlite_wrapper* wrapper, row_callback callback) {
    if (wrapper == nullptr || !valid() || statement.empty()) return false;
    if (wrapper->db == nullptr || sqlite_api.exec == nullptr) {
        error_text = "no open database [Prob calling cmd: " + statement + "]";
        return false;
    }
    int rc = SQLITE_OK;
    std::string message;
    if (callback == &generic_sql_table::add_row) {
        // The rows are collected with their byte lengths: through plain C texts a blob would end at its
        // first zero byte, and a GUID or digest column would lose its value.
        sized_rows ctx{this, {}};
        rc = exec_with_lengths(wrapper->db, statement, &add_sized_row, &ctx, &ctx.sizes, &message);
    } else {
        char* error = nullptr;
        rc = sqlite_api.exec(wrapper->db, statement.c_str(), callback, this, &error);
        message = error != nullptr ? error : "";
        sqlite_free_error_text(error);
    }
    if (rc == SQLITE_OK) return true;
    error_text = message;
    if (message.find("already exists") == std::string::npos)
        error_text += " [Prob calling cmd: " + statement + "]";
    return false;
}

int generic_sql_table::add_row(void* context, int count, char** values, char** /*names*/) {
    return append_row(static_cast<generic_sql_table*>(context), count, values, nullptr);
}

void generic_sql_table::print(std::ostream& os, cmd_params& options) const {
    if (!valid()) return;
    os << "SQL statement: " << statement << "\n";
    if (rows.empty()) return;
    const std::size_t columns = rows.front().size();
    std::vector<int> kinds(columns, kind_text);
    if (options.header_on) {
        options.header_fields.clear();
        if (column_names.size() != column_types.size()) return;
        for (std::size_t i = 0; i < columns; ++i) {
            // A result column beyond the described ones prints as text under an empty label.
            const bool described = i < column_names.size();
            kinds[i] = described ? kind_of(column_types[i]) : kind_text;
            add_header_cells(options.header_fields, described ? column_names[i] : std::string(), kinds[i],
                             described && i < column_widths.size() ? column_widths[i] : 0, options);
        }
        write_header_row(os, options);
    }
    if (options.bodyfile || options.csvgen) return;
    const std::size_t cells = options.header_fields.size();
    const unsigned flags = options.quoted_csv_fields ? 0x8000u : 0u;
    for (const auto& values : rows) {
        variant_row row =
            make_variant_row(static_cast<unsigned>(std::min<std::size_t>(cells, 255)), false, flags);
        int cell = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            set_value(row, cell, i < kinds.size() ? kinds[i] : kind_text, values[i], options.pair_datetime);
        }
        write_variant_row(os, row, options);
    }
}

// ---------------------------------------------------------------- generic_sql_pull

bool generic_sql_pull::load_from_command_file(const std::string& path) {
    clear();
    const PackedCmds cmds(path, false);
    for (int r = 0; r < cmds.record_count(); ++r) {
        std::vector<std::string> fields;
        std::string table_name;
        if (!cmds.get_fields(r, fields) || !has_option("-sqlite_select", fields, false) ||
            !get_option_value("-name", table_name, fields, false))
            continue;
        tables.emplace_back();
        if (!tables.back().build_from_fields(fields)) tables.pop_back();
    }
    return !tables.empty();
}

bool generic_sql_pull::run_all(sqlite_wrapper* wrapper) {
    if (wrapper == nullptr || tables.empty() || !valid()) return false;
    bool any = false;
    for (generic_sql_table& t : tables) {
        if (t.run(wrapper)) {
            any = true;
        } else {
            std::fprintf(stderr, "probs with select %s\n", t.statement.c_str());
        }
    }
    return any;
}

void generic_sql_pull::print_all(std::ostream& os, cmd_params& options) const {
    for (const generic_sql_table& t : tables) {
        options.header_on = true;
        os << " " << std::string(67, '-') << " \n";
        t.print(os, options);
    }
}
