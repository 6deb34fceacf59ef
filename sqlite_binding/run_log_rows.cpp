#include "sqlite_binding/run_log_rows.h"

#include "common/text_numbers.h"
#include "time/clock_tz.h"

namespace {

std::uint64_t to_u64(const std::string& text) {
    std::uint64_t v = 0;
    if (!string_to_u64(text, &v)) v = 0;
    return v;
}

}  // namespace

// ---------------------------------------------------------------- sqlite_metadata_row

sqlite_metadata_row::sqlite_metadata_row() { clear(); }

void sqlite_metadata_row::clear() {
    runtime = get_current_time().filetime;
    chunk = 0;
    parent = 0;
    cmdline.clear();
    gen_hdrs.clear();
    col_hdrs.clear();
    col_types.clear();
    number_data_columns = true;
    keep_long_column_names = false;
    extra_args.clear();
    host.clear();
    user.clear();
    file.clear();
    file_other.clear();
    output_option = 261;
    separator.clear();
    notes.clear();
    toolname.clear();
    artifact_type.clear();
    data_tbl_name.clear();
    row_data_start = 0;
    row_data_end = 0;
    column_list.clear();
}

bool sqlite_metadata_row::assign_from_strings(const std::vector<std::string>& texts, bool keep_current) {
    if (!keep_current) clear();
    if (texts.size() != kRunTableColumnCount) return false;
    runtime = to_u64(texts[0]);
    chunk = to_u64(texts[1]);
    parent = to_u64(texts[2]);
    cmdline = texts[3];
    gen_hdrs = texts[4];
    col_hdrs = texts[5];
    col_types = texts[6];
    extra_args = texts[7];
    host = texts[8];
    user = texts[9];
    file = texts[10];
    file_other = texts[11];
    output_option = to_u64(texts[12]);
    separator = texts[13];
    notes = texts[14];
    toolname = texts[15];
    artifact_type = texts[16];
    data_tbl_name = texts[17];
    row_data_start = to_u64(texts[18]);
    row_data_end = to_u64(texts[19]);
    return true;
}

bool sqlite_metadata_row::assign_from_cstrings(const std::vector<std::string>& names, int count,
                                               char** texts) {
    clear();
    if (count < 0 || texts == nullptr || names.size() != kRunTableColumnCount ||
        static_cast<std::size_t>(count) != kRunTableColumnCount)
        return false;
    std::vector<std::string> values;
    for (int i = 0; i < count; ++i) values.emplace_back(texts[i] != nullptr ? texts[i] : "");
    return assign_from_strings(values, true);
}

// ---------------------------------------------------------------- sqlite_generic_data_row

sqlite_generic_data_row::sqlite_generic_data_row() { clear(); }

void sqlite_generic_data_row::clear() {
    metaref = val1 = val2 = val3 = val4 = val5 = 0;
    str1.clear();
    str2.clear();
    desired_output.clear();
    extra_text_1.clear();
    extra_text_2.clear();
    values.clear();
}

bool sqlite_generic_data_row::assign_from_strings(const std::vector<std::string>& texts) {
    clear();
    if (texts.size() != kGenericDataColumnCount) return false;
    metaref = to_u64(texts[0]);
    val1 = to_u64(texts[1]);
    val2 = to_u64(texts[2]);
    val3 = to_u64(texts[3]);
    val4 = to_u64(texts[4]);
    val5 = to_u64(texts[5]);
    str1 = texts[6];
    str2 = texts[7];
    desired_output = texts[8];
    return true;
}

// ---------------------------------------------------------------- sqlite_ref_row

sqlite_ref_row::sqlite_ref_row() : last_rowid(0), last_update(0) {}

// ---------------------------------------------------------------- schema_t

schema_t::schema_t() : run_key(0) { clear(); }

void schema_t::clear() {
    name.clear();
    fields.clear();
    fields.reserve(100);
    field_order.clear();
    run_key = 0;
}

void schema_t::push_back(const std::string& field_name, const std::string& declared_type) {
    fields.emplace_back(field_name, declared_type);
}

std::uint32_t schema_t::get_field_order(const std::string& field_name) const {
    if (field_order.empty() || field_name.empty()) return 0;
    const auto it = field_order.find(field_name);
    return it == field_order.end() ? 0 : it->second;
}

// ---------------------------------------------------------------- queued log records

sqlite_log_record::sqlite_log_record() : copied(0), read_extended_attributes(0) {}

sqlite_log_record_custom::sqlite_log_record_custom() = default;

sqlite_log_record_custom::sqlite_log_record_custom(const std::string& table) : table_name(table) {}

sqlite_log_record_custom::sqlite_log_record_custom(const std::string& table,
                                                   const std::vector<std::string>& texts)
    : table_name(table), values(texts) {}

void sqlite_log_record_custom::clear() {
    table_name.clear();
    values.clear();
}

bool sqlite_log_record_custom::set_values(const std::vector<std::string>& texts) {
    values.clear();
    if (texts.empty()) return false;
    values = texts;
    return true;
}
