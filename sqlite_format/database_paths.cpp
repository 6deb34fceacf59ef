#include "sqlite_format/database_paths.h"

#include "io/fileio.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"

namespace {

// True when `database` (the file a path reaches, links followed) is named as a "-wal", "-journal" or "-shm"
// companion.
bool names_a_companion(const std::string& database) {
    return path_ends_with(database, "-journal") || path_ends_with(database, "-wal") ||
           path_ends_with(database, "-shm");
}

}  // namespace

int check_db_file_header(uni::fileio& file, db_header_bytes& header, const std::string& path) {
    header.fill(0);
    if (path.empty()) return 0;
    database_source source;
    if (!source.open(path) || !source.files().open_database(file) || !check_db_file_header(file, header)) {
        file.close();
        return 0;
    }
    return 1;
}

int read_db_page_params(uni::fileio& file, std::uint64_t* file_size, std::uint32_t* page_size,
                        std::uint8_t* reserved, const std::string& path) {
    if (file_size) *file_size = 0;
    if (page_size) *page_size = 0;
    db_header_bytes bytes{};
    if (!check_db_file_header(file, bytes, path)) return 0;
    const database_header header = decode_database_header(bytes);
    if (page_size) *page_size = header.page_size;
    if (reserved) *reserved = header.reserved;
    if (file_size) *file_size = file.size();
    return 1;
}

int map_db_free_space(region_map& out, const std::string& path) {
    out.clear();
    database_source source;
    if (path.empty() || !source.open(path) || names_a_companion(source.files().names().database)) return 0;
    uni::fileio file;
    db_header_bytes header{};
    if (!source.files().open_database(file) || !check_db_file_header(file, header)) return 0;
    return map_db_pages(out, file, header) != 0 ? 1 : 0;
}
