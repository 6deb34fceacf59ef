#include "notifications/schema_tables.h"

#include <cstring>
#include <vector>

#include "io/console.h"
#include "io/diags_log.h"
#include "notifications/database_state.h"
#include "notifications/table_damage.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/schema_reader.h"

namespace {

// Why the schema table of a file with a database header could not be read, as far as the header tells it
// apart from damage to the schema's pages: a page size the format cannot have, a file shorter than a page
// or than the pages its header counts, a file longer than those pages whose length they fill at another
// page size.
std::string schema_unread_reason(const database_header& header, std::uint64_t file_size) {
    const std::uint32_t page_size = header.page_size;
    const std::string size = std::to_string(file_size) + " bytes";
    if (page_size == 0)
        return "the page size in its header (" + std::to_string(header.page_size_field) +
               ") is not a valid page size";
    if (file_size < page_size)
        return "the file holds " + size + ", less than one page of " + std::to_string(page_size) + " bytes";
    // The page count is kept up to date only where the counter it is valid for is the file's change counter.
    if (!header.count_current) return "its schema table cannot be read";
    const std::uint32_t pages = header.counted_pages;
    const std::uint64_t counted = static_cast<std::uint64_t>(pages) * page_size;
    if (file_size < counted) return cut_short_text(file_size, pages, page_size);
    // Cutting a file short never makes it longer: pages that fill it exactly are the pages it was written
    // with.
    const std::uint64_t fits = file_size % pages == 0 ? file_size / pages : 0;
    if (file_size > counted && fits <= kMaxPageSize &&
        page_size_from_field(static_cast<std::uint32_t>(fits)) != 0)
        return "the page size in its header (" + std::to_string(page_size) + ") does not fit the file: its " +
               std::to_string(pages) + " pages in " + size + " are pages of " + std::to_string(fits) +
               " bytes";
    return "its schema table cannot be read";
}

// Why no row of a schema table of which `encoding.rows` rows were read gives a table or index: their texts
// read in no encoding the own reader knows.
std::string schema_texts_unread_reason(const schema_text_encoding& encoding) {
    const std::string header = std::to_string(encoding.header) + ", " + text_encoding_name(encoding.header);
    return "none of the " + std::to_string(encoding.rows) + " rows of its schema table reads as a table or " +
           "index, in UTF-8, in UTF-16le or in UTF-16be (the text encoding in its header is " + header + ")";
}

}  // namespace

bool read_database_header(const selk_run& run, const database_source& source, uni::fileio& file,
                          database_header& header, std::string& why) {
    const bool progress = run.options.show_progress;
    const std::string& path = source.path();
    if (!source.files().open_database(file)) {
        if (progress) error_printf("prob accessing file %s\n", path.c_str());
        why = "it cannot be opened";
        return false;
    }
    if (source.header().length < kDbHeaderSize) {
        if (progress) error_printf("prob accessing file %s\n", path.c_str());
        why = "the file holds " + std::to_string(file.size()) + " bytes, less than a database header";
        return false;
    }
    database_view view = database_view::file;
    if (run.options.switches[kSwitchCarve] && source.journal_rolls_back() &&
        source.open_view(database_view::own, file)) {
        view = database_view::own;
        if (source.header_of(view).length < kDbHeaderSize) {
            if (progress) error_printf("prob accessing file %s\n", path.c_str());
            why = "the database header cannot be read with its journal";
            return false;
        }
    }
    header = source.header_of(view);
    if (!header.magic) {
        if (progress) error_printf("prob processing file %s\n", path.c_str());
        why = "not a SQLite database";
        return false;
    }
    return true;
}

bool find_tables(selk_run& database_run, const database_source& source, uni::fileio& file,
                 const database_header& header, std::uint8_t& wal_image, std::string& why) {
    selk_run* run = &database_run;
    // 0 for a page size the format cannot have: the schema read below then refuses the file.
    run->layout.page_size = header.page_size;
    run->layout.reserved = header.reserved;

    std::vector<std::string> names;
    std::vector<std::string> sqls;
    std::vector<std::uint32_t> roots;
    const std::uint64_t file_size = file.size();  // a failed read of the log's image leaves `file` closed
    schema_text_encoding encoding;
    if (!read_master_table(names, sqls, roots, file, run->layout.page_size, source.path(), wal_image,
                           &encoding, &source)) {
        write_log_line(run->options, "prob parsing sqlite schema");
        why = encoding.rows != 0 ? schema_texts_unread_reason(encoding)
                                 : schema_unread_reason(header, file_size);
        return false;
    }
    run->layout.texts = encoding.encoding;
    if (encoding.against_header) say_encoding_against_header(*run, encoding);

    run->layout.tree_roots = roots;
    run->layout.tree_names = names;

    const bool with_settings = run->options.switches[kSwitchSettings] != 0;
    const int wanted = with_settings ? 4 : 3;
    bool named[4] = {false, false, false, false};  // the schema table lists the table
    for (int t = 0; t < wanted; ++t) {
        const std::size_t i =
            find_table_schema(run->layout.schemas[t], names, sqls, run->layout.table_names[t]);
        if (i >= roots.size()) continue;  // not listed
        named[t] = true;
        table_root& root = run->layout.roots[t];
        root.page = roots[i];
        root.offset = roots[i] != 0 ? static_cast<std::uint64_t>(run->layout.page_size) * (roots[i] - 1) : 0;
    }

    for (const int t : {kSchemaNotification, kSchemaHandler}) {
        if (!run->layout.schemas[t].fields.empty()) continue;
        write_log_line(run->options, "prob finding schemas that should be present");
        const std::string& table = run->layout.table_names[t];
        why = named[t] ? "the schema of table " + table + " cannot be parsed"
                       : "its schema lists no table " + table;
        return false;
    }
    return true;
}
