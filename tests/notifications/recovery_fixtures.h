// Helpers for the recovery tests: rows written the way Windows writes them (empty Tag and Group text,
// blob payloads, 64-bit WNF names, constant-0 defaults), and hand-built records for the recognisers.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"

namespace recovery_fixtures {

using notification_fixtures::exec;

constexpr std::int64_t kArrival = 132521873530000000LL;  // 2020-12-11 19:09:13 as FILETIME
constexpr std::int64_t kWnfName = 0x41C64E6DA3BC0075LL;  // a WNF state name as handlers carry it

// A toast payload that tells rows apart.
inline std::string payload_for(int n) {
    return "<toast launch=\"n" + std::to_string(n) +
           "\"><visual><binding template=\"ToastGeneric\"><text>Message number " + std::to_string(n) +
           "</text></binding></visual></toast>";
}

// One notification row as Windows stores it; `handler_id` from 1.
inline void insert_notification(sqlite3* db, int order, int id, int handler_id, const std::string& type,
                                const std::string& payload) {
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "INSERT INTO Notification([Order], Id, HandlerId, ActivityId, Type, Payload, Tag, [Group], "
        "ExpiryTime, "
        "ArrivalTime, DataVersion, PayloadType, BootId, ExpiresOnReboot) "
        "VALUES(?, ?, ?, ?, ?, ?, '', '', ?, ?, 0, 'Xml', 0, 0);";
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    const std::uint8_t activity[16] = {
        0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
        0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, static_cast<std::uint8_t>(order)};
    sqlite3_bind_int(st, 1, order);
    sqlite3_bind_int(st, 2, id);
    sqlite3_bind_int(st, 3, handler_id);
    sqlite3_bind_blob(st, 4, activity, 16, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, type.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 6, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 7, kArrival + 864000000000LL * order);
    sqlite3_bind_int64(st, 8, kArrival + order);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
}

inline void insert_handler(sqlite3* db, int record_id, const std::string& primary_id) {
    exec(db, "INSERT INTO NotificationHandler VALUES(" + std::to_string(record_id) + ", '" + primary_id +
                 "', NULL, 'app:desktop', " + std::to_string(kWnfName) +
                 ", NULL, '2020-12-11 19:09:13', '2020-12-11 19:10:14', NULL, NULL);");
}

inline void insert_push_channel(sqlite3* db, const std::string& channel, int handler_id) {
    exec(db, "INSERT INTO WNSPushChannel VALUES('" + channel + "', " + std::to_string(handler_id) +
                 ", 'https://db5.notify.windows.com/?token=abc', " + std::to_string(kArrival + 1) + ", " +
                 std::to_string(kArrival) + ", 0);");
}

// ---------------------------------------------------------------------------------------------
// Hand-built records.

// One column: its serial type and content bytes.
struct column {
    std::uint64_t type;
    std::vector<std::uint8_t> bytes;
};

inline void put_varint(std::vector<std::uint8_t>& out, std::uint64_t v) {
    std::uint8_t tmp[9];
    int n = 0;
    do {
        tmp[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0 && n < 9);
    for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(tmp[i] | (i > 0 ? 0x80 : 0)));
}

inline column null_col() { return {0, {}}; }
inline column const_col(int v) { return {v == 0 ? 8u : 9u, {}}; }
inline column int8_col(std::uint8_t v) { return {1, {v}}; }
inline column int64_col(std::uint64_t v) {
    column c{6, {}};
    for (int i = 7; i >= 0; --i) c.bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return c;
}
inline column text_col(const std::string& s) {
    return {13 + 2 * s.size(), std::vector<std::uint8_t>(s.begin(), s.end())};
}
inline column blob_col(const std::string& s) {
    return {12 + 2 * s.size(), std::vector<std::uint8_t>(s.begin(), s.end())};
}

// A record: header-length byte (or `header_byte` when not negative), serial types, then the bodies.
inline std::vector<std::uint8_t> record(const std::vector<column>& cols, int header_byte = -1) {
    std::vector<std::uint8_t> types;
    for (const column& c : cols) put_varint(types, c.type);
    std::vector<std::uint8_t> out;
    out.push_back(
        static_cast<std::uint8_t>(header_byte >= 0 ? header_byte : static_cast<int>(types.size() + 1)));
    out.insert(out.end(), types.begin(), types.end());
    for (const column& c : cols) out.insert(out.end(), c.bytes.begin(), c.bytes.end());
    return out;
}

// A table-leaf cell: payload size, rowid, record.
inline std::vector<std::uint8_t> cell(const std::vector<std::uint8_t>& rec, std::uint64_t rowid) {
    std::vector<std::uint8_t> out;
    put_varint(out, rec.size());
    put_varint(out, rowid);
    out.insert(out.end(), rec.begin(), rec.end());
    return out;
}

// The 14 columns of a notification row as Windows writes it.
inline std::vector<column> notification_cols(const std::string& type, const std::string& payload,
                                             std::uint8_t id = 7, column handler = int8_col(3)) {
    return {null_col(),
            int8_col(id),
            handler,
            blob_col(std::string(16, '\x42')),
            text_col(type),
            blob_col(payload),
            text_col(""),
            text_col(""),
            int64_col(kArrival + 1),
            int64_col(kArrival),
            const_col(0),
            text_col("Xml"),
            const_col(0),
            const_col(0)};
}

// The 10 columns of a handler row as Windows writes it.
inline std::vector<column> handler_cols(const std::string& primary_id) {
    return {null_col(),
            text_col(primary_id),
            null_col(),
            text_col("app:desktop"),
            int64_col(kWnfName),
            null_col(),
            text_col("2020-12-11 19:09:13"),
            text_col("2020-12-11 19:10:14"),
            null_col(),
            null_col()};
}

// The 6 columns of a push-channel row.
inline std::vector<column> push_channel_cols(const std::string& channel, std::uint8_t handler = 4) {
    return {
        text_col(channel),       int8_col(handler),   text_col("https://db5.notify.windows.com/?token=abc"),
        int64_col(kArrival + 1), int64_col(kArrival), const_col(0)};
}

// `prefix` zero bytes, then `bytes`, then `suffix` zero bytes. Sized once and copied into place: growing a
// short vector by a range insert makes GCC 12 at -O3 report a false -Warray-bounds.
inline std::vector<std::uint8_t> padded(const std::vector<std::uint8_t>& bytes, std::size_t prefix,
                                        std::size_t suffix = 16) {
    std::vector<std::uint8_t> out(prefix + bytes.size() + suffix, 0);
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(prefix));
    return out;
}

}  // namespace recovery_fixtures
