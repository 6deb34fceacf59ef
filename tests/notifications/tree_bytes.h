// Byte-level helpers for the tests of damaged trees: big-endian fields and varints of a file's bytes, a
// table's root page, an interior page's links and the rowids below a page, and selk's "-csv -all_fields"
// report of a database in each reading form with its live rows.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "selk_process.h"

namespace tree_bytes {

using selk_process::run;
using selk_process::split;

inline std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b.at(at)) << 24) | (std::uint32_t(b.at(at + 1)) << 16) |
           (std::uint32_t(b.at(at + 2)) << 8) | b.at(at + 3);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline std::size_t be16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (b.at(at) << 8) | b.at(at + 1);
}

// The varint at `at`: its value, and its length in *length.
inline std::uint64_t varint(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t* length) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 9; ++i) {
        const std::uint8_t c = b.at(at + i);
        if (i == 8) {
            *length = 9;
            return (v << 8) | c;
        }
        v = (v << 7) | (c & 0x7f);
        if (c < 0x80) {
            *length = i + 1;
            return v;
        }
    }
    return v;
}

// The root page of a table, as the schema table lists it.
inline std::uint32_t root_of(const std::string& path, const std::string& table) {
    sqlite3* db = nullptr;
    std::uint32_t root = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        const std::string sql = "SELECT rootpage FROM sqlite_master WHERE name = '" + table + "';";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return root;
}

// The file offset of the rowid of cell `i` of the table leaf at file offset `leaf`; its varint's size in
// *length.
inline std::size_t rowid_at(const std::vector<std::uint8_t>& b, std::size_t leaf, std::size_t i,
                            std::size_t* length) {
    const std::size_t cell = leaf + be16(b, leaf + 8 + 2 * i);
    (void)varint(b, cell, length);
    const std::size_t at = cell + *length;
    (void)varint(b, at, length);
    return at;
}

// The cells of every live row of a "-csv -all_fields" report ("sqlite lib" or "carve main"), in order.
inline std::vector<std::vector<std::string>> live_rows(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& row : driver_checks::data_rows(out)) {
        std::vector<std::string> cells = split(row, ",");
        if (cells.size() < 17) continue;
        if (cells[16].find("\"sqlite lib\"") != std::string::npos ||
            cells[16].find("\"carve main\"") != std::string::npos)
            rows.push_back(std::move(cells));
    }
    return rows;
}

// The Order of every live row of a "-csv -all_fields" report, in order.
inline std::vector<std::string> live_orders(const std::string& out) {
    std::vector<std::string> orders;
    for (const std::vector<std::string>& cells : live_rows(out)) orders.push_back(cells[8]);
    return orders;
}

inline const std::vector<std::vector<std::string>> kForms = {{}, {"-carve"}, {"-incl_slack"}};

inline std::string form_name(const std::vector<std::string>& form) {
    return form.empty() ? "library" : form[0];
}

// selk's "-csv -all_fields" report of `db` in `form`.
inline selk_process::result run_form(const std::string& db, const std::vector<std::string>& form) {
    std::vector<std::string> args = {"-db", db, "-quiet", "-csv", "-all_fields"};
    args.insert(args.end(), form.begin(), form.end());
    return run(args);
}

// The Orders of the notification table, in rowid order.
inline std::vector<std::string> orders_of(const std::string& path) {
    std::vector<std::string> orders;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT [Order] FROM Notification ORDER BY [Order];", -1, &st, nullptr) ==
            SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                orders.push_back(std::to_string(sqlite3_column_int64(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return orders;
}

// An interior page's links, as the file offsets of their child page numbers (the right child's last), and
// the pages they name; its cells' keys (of a table).
struct interior_links {
    std::vector<std::size_t> at;
    std::vector<std::uint32_t> child;
    std::vector<std::uint64_t> keys;
};
inline interior_links links_of(const std::vector<std::uint8_t>& b, std::uint32_t page, std::size_t page_size,
                               bool table = true) {
    interior_links out;
    const std::size_t p = (page - 1) * page_size;
    EXPECT_TRUE(b.at(p) == 5 || b.at(p) == 2) << "page " << page << " is an interior page";
    for (std::size_t i = 0; i < be16(b, p + 3); ++i) {
        const std::size_t cell = p + be16(b, p + 12 + 2 * i);
        out.at.push_back(cell);
        out.child.push_back(be32(b, cell));
        std::size_t length = 0;
        if (table) out.keys.push_back(varint(b, cell + 4, &length));
    }
    out.at.push_back(p + 8);
    out.child.push_back(be32(b, p + 8));
    return out;
}

// The rowids of the table rows below `page`.
inline std::set<std::uint64_t> rowids_below(const std::vector<std::uint8_t>& b, std::uint32_t page,
                                            std::size_t page_size) {
    std::set<std::uint64_t> rowids;
    std::vector<std::uint32_t> pages = {page};
    while (!pages.empty()) {
        const std::uint32_t at = pages.back();
        pages.pop_back();
        const std::size_t p = (at - 1) * page_size;
        if (b.at(p) == 5) {
            const interior_links l = links_of(b, at, page_size);
            pages.insert(pages.end(), l.child.begin(), l.child.end());
            continue;
        }
        for (std::size_t i = 0; i < be16(b, p + 3); ++i) {
            std::size_t length = 0;
            rowids.insert(varint(b, rowid_at(b, p, i, &length), &length));
        }
    }
    return rowids;
}

}  // namespace tree_bytes
