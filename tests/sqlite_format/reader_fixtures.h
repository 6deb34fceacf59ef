// Helpers for the reader tests: a unique temporary folder, database files written with the SQLite
// library, whole-file reads and writes, and hand-built page bytes.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "evidence_open.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/layout.h"

namespace reader_fixtures {

// The text encoding the tests' databases are written in unless they say otherwise.
constexpr text_encoding kUtf8 = text_encoding::utf8;

// A fresh folder under SELK_TEST_TMP, removed with its files at the end of the test.
class temp_dir {
  public:
    temp_dir() {
        std::string tmpl = std::string(SELK_TEST_TMP) + "/h7_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
    }
    ~temp_dir() {
        if (!path_.empty()) {
            std::string cmd = "rm -rf '" + path_ + "'";
            if (std::system(cmd.c_str()) != 0) {
            }
        }
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The database at `path` opened once, as a run opens it, for the readers that take a source (opened whatever
// its bytes are; a file that does not open leaves it empty but for the path).
inline std::shared_ptr<database_source> open_source(const std::string& path) {
    auto source = std::make_shared<database_source>();
    (void)source->open(path);
    return source;
}

inline std::vector<std::uint8_t> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool write_all(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline bool copy_file(const std::string& from, const std::string& to) {
    return write_all(to, read_all(from));
}

// Runs SQL on an open connection; fails the test on an error.
inline void exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << (err ? err : "");
    sqlite3_free(err);
}

inline sqlite3* open_db(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

// Creates a database with the given page size (secure delete off, so deleted content stays) and
// runs `sql` on it.
inline void make_db(const std::string& path, int page_size, const std::string& sql) {
    sqlite3* db = open_db(path);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA secure_delete=OFF; PRAGMA page_size=" + std::to_string(page_size) +
                 "; PRAGMA auto_vacuum=NONE; PRAGMA journal_mode=DELETE;");
    exec(db, sql);
    sqlite3_close(db);
}

// Rows of a query as text; NULL becomes the empty text.
inline std::vector<std::vector<std::string>> query(const std::string& path, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    if (open_readonly_for_test(path, &db) != SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                int n = sqlite3_column_bytes(st, i);
                row.emplace_back(
                    t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n)) : "");
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

inline void put_be16(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    b[off] = static_cast<std::uint8_t>(v >> 8);
    b[off + 1] = static_cast<std::uint8_t>(v);
}

inline void put_be32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    b[off] = static_cast<std::uint8_t>(v >> 24);
    b[off + 1] = static_cast<std::uint8_t>(v >> 16);
    b[off + 2] = static_cast<std::uint8_t>(v >> 8);
    b[off + 3] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t get_be32(const std::vector<std::uint8_t>& b, std::size_t off) {
    return (std::uint32_t(b[off]) << 24) | (std::uint32_t(b[off + 1]) << 16) |
           (std::uint32_t(b[off + 2]) << 8) | b[off + 3];
}

inline std::uint32_t get_be16(const std::vector<std::uint8_t>& b, std::size_t off) {
    return (std::uint32_t(b[off]) << 8) | b[off + 1];
}

// A zeroed page with a b-tree header: type, first freeblock, cell count, content start.
inline std::vector<std::uint8_t> page_with_header(std::size_t size, std::uint8_t type,
                                                  std::uint32_t first_freeblock, std::uint32_t cells,
                                                  std::uint32_t content_start) {
    std::vector<std::uint8_t> p(size, 0);
    p[0] = type;
    put_be16(p, 1, first_freeblock);
    put_be16(p, 3, cells);
    put_be16(p, 5, content_start);
    return p;
}

// Lays the cells of the page at `page` in `b` (its type set) one after another from page offset `at`, cell i
// of sizes[i] bytes, and points its cell pointers at them, so that they cover those bytes as a sound page's
// cells do. A table leaf's cell is a payload size, rowid 0 and the payload's zeros (4 to 16386 bytes); on
// other pages (and for a size of 0) each is the smallest, zeros: 4 bytes on a leaf, 5 on an interior page.
// Returns the page offset past the last.
inline std::size_t lay_cells(std::vector<std::uint8_t>& b, std::size_t page, std::size_t at,
                             const std::vector<std::size_t>& sizes) {
    const std::uint8_t type = b.at(page);
    const std::size_t pointers = page + (type == 2 || type == 5 ? 12 : 8);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        put_be16(b, pointers + 2 * i, static_cast<std::uint32_t>(at));
        std::size_t size = type == 2 || type == 5 ? 5 : 4;
        if (type == 13 && sizes[i] != 0) {
            size = sizes[i];
            const std::size_t payload = size - 2 <= 127 ? size - 2 : size - 3;
            if (payload > 127) b.at(page + at++) = static_cast<std::uint8_t>(0x80 | (payload >> 7));
            b.at(page + at) = static_cast<std::uint8_t>(payload & 0x7F);
            size = payload + 2;
        }
        at += size;
    }
    return at;
}

inline bool fixture_exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace reader_fixtures
