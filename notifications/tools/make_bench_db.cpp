// Writes a large notification database for timing runs: handlers with settings and one push channel for
// most of them, then `count` toast, tile and badge notifications, one in twenty deleted again with
// secure_delete off so that "-incl_slack" and "-carve" have free space to read; with a payload size and a
// page size, one notification more whose payload is that long, on pages of that size, for peak memory; with
// "handlers" and a number, that many handlers, each with two settings and one push channel (large handler
// tables, for the memory of the joins). The content is fixed by the arguments alone, so two runs give the
// same file.
// Usage: selk_make_bench_db <output file> <count> [<payload bytes> <page size> | handlers <handlers>]. An
// existing file is replaced.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "notifications/tools/windows_schema.h"

namespace {

constexpr int kHandlers = 150;
constexpr int kDeleteEvery = 20;
// 2021-03-01 09:00:00 UTC as FILETIME ticks.
constexpr std::int64_t kBaseFiletime = (1614589200LL + 11644473600LL) * 10000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

const char* const kWords[] = {"meeting", "invoice", "photo",  "update", "reminder", "download", "friend",
                              "weather", "storage", "backup", "order",  "delivery", "message",  "call"};

// A small deterministic generator (64-bit LCG): the same count gives the same database.
struct lcg {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state >> 33);
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }
};

std::string words(lcg& r, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i != 0) s += ' ';
        s += kWords[r.below(sizeof kWords / sizeof kWords[0])];
    }
    return s;
}

bool exec(sqlite3* db, const std::string& sql) { return notification_tools::exec(db, sql, "bench database"); }

// A prepared statement that is finalized when it goes out of scope.
struct statement {
    sqlite3_stmt* st = nullptr;
    statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) st = nullptr;
    }
    ~statement() { sqlite3_finalize(st); }
    statement(const statement&) = delete;
    statement& operator=(const statement&) = delete;
    bool step() {
        const bool ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        return ok;
    }
};

// The handler tables: how many handlers, settings of each, and whether every handler has a push channel
// (else three in four do).
struct handler_shape {
    int handlers = kHandlers;
    int settings = 4;
    bool every_channel = false;
};

bool fill_handlers(sqlite3* db, lcg& r, const handler_shape& shape) {
    statement h(
        db,
        "INSERT INTO NotificationHandler(RecordId, PrimaryId, WNSId, HandlerType, WNFEventName, CreatedTime, "
        "ModifiedTime) VALUES(?, ?, ?, ?, ?, ?, ?);");
    statement s(db, "INSERT INTO HandlerSettings(HandlerId, SettingKey, Value) VALUES(?, ?, ?);");
    statement c(
        db,
        "INSERT INTO WNSPushChannel(ChannelId, HandlerId, Uri, ExpiryTime, CreatedTime, DeviceVersion) "
        "VALUES(?, ?, ?, ?, ?, 0);");
    if (h.st == nullptr || s.st == nullptr || c.st == nullptr) return false;
    static const char* const kSettings[] = {"s:toast", "s:banner", "s:lock", "s:sound"};
    for (int id = 1; id <= shape.handlers; ++id) {
        const std::string primary = "Vendor" + std::to_string(id) + "." + words(r, 1) + "_8wekyb3d8bbwe!App";
        char created[32];
        std::snprintf(created, sizeof created, "2021-02-%02d %02d:%02d:%02d", 1 + id % 28, id % 24, id % 60,
                      (id * 7) % 60);
        sqlite3_bind_int(h.st, 1, id);
        sqlite3_bind_text(h.st, 2, primary.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(h.st, 3, ("wns-" + std::to_string(id)).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(h.st, 4, id % 3 == 0 ? "app:desktop" : "app:immersive", -1, SQLITE_STATIC);
        sqlite3_bind_int64(h.st, 5, 0x41c64e6da3bc0075LL + id);
        sqlite3_bind_text(h.st, 6, created, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(h.st, 7, created, -1, SQLITE_TRANSIENT);
        if (!h.step()) return false;
        for (int k = 0; k < shape.settings; ++k) {
            sqlite3_bind_int(s.st, 1, id);
            sqlite3_bind_text(s.st, 2, kSettings[k], -1, SQLITE_STATIC);
            sqlite3_bind_int(s.st, 3, static_cast<int>(r.below(2)));
            if (!s.step()) return false;
        }
        // One channel per handler at most, so that the shell's join gives one row per notification as selk
        // does.
        if (id % 4 == 0 && !shape.every_channel) continue;
        const std::string uri = "https://db5p.notify.windows.com/?token=AwYAAAB" + std::to_string(r.next());
        sqlite3_bind_text(c.st, 1, ("chan-" + std::to_string(id)).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(c.st, 2, id);
        sqlite3_bind_text(c.st, 3, uri.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(c.st, 4, kBaseFiletime + 30 * 86400 * kTicksPerSecond);
        sqlite3_bind_int64(c.st, 5, kBaseFiletime - id * 3600 * kTicksPerSecond);
        if (!c.step()) return false;
    }
    return true;
}

std::string payload_of(const char* type, lcg& r) {
    if (type[0] == 'b') return "<badge value=\"" + std::to_string(r.below(100)) + "\"/>";
    if (type[1] == 'i')
        return "<tile><visual version=\"2\"><binding template=\"TileWide310x150Text04\"><text id=\"1\">" +
               words(r, 2 + static_cast<int>(r.below(4))) + "</text></binding></visual></tile>";
    return "<toast launch=\"app\"><visual><binding template=\"ToastGeneric\"><text>" + words(r, 2) +
           "</text><text>" + words(r, 1 + static_cast<int>(r.below(5))) +
           "</text></binding></visual></toast>";
}

bool fill_notifications(sqlite3* db, lcg& r, long count, int handlers) {
    statement n(db,
                "INSERT INTO Notification([Order], Id, HandlerId, ActivityId, Type, Payload, Tag, [Group], "
                "ExpiryTime, "
                "ArrivalTime, DataVersion, PayloadType, BootId, ExpiresOnReboot) VALUES(?, ?, ?, ?, ?, ?, ?, "
                "?, ?, ?, "
                "1, 'Xml', 0, 'FALSE');");
    if (n.st == nullptr) return false;
    for (long i = 1; i <= count; ++i) {
        const std::uint32_t pick = r.below(10);
        const char* type = pick < 7 ? "toast" : pick < 9 ? "tile" : "badge";
        const std::string payload = payload_of(type, r);
        unsigned char activity[16];
        for (unsigned char& b : activity) b = static_cast<unsigned char>(r.next());
        const std::int64_t arrival = kBaseFiletime + i * 37 * kTicksPerSecond + r.below(1000) * 10000LL;
        sqlite3_bind_int64(n.st, 1, i);
        sqlite3_bind_int64(n.st, 2, 1000000 + i);
        sqlite3_bind_int(n.st, 3, 1 + static_cast<int>(r.below(static_cast<std::uint32_t>(handlers))));
        sqlite3_bind_blob(n.st, 4, activity, 16, SQLITE_TRANSIENT);
        sqlite3_bind_text(n.st, 5, type, -1, SQLITE_STATIC);
        sqlite3_bind_blob(n.st, 6, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(n.st, 7, ("t" + std::to_string(i % 1000)).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(n.st, 8, ("g" + std::to_string(i % 7)).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(n.st, 9, arrival + 3 * 86400 * kTicksPerSecond);
        sqlite3_bind_int64(n.st, 10, arrival);
        if (!n.step()) return false;
    }
    return true;
}

// One toast whose payload is `bytes` long (its text words over and over), two rows after the others, so that
// the benchmark's deletes of every third row leave it.
bool add_large_payload(sqlite3* db, long count, long bytes) {
    statement n(db,
                "INSERT INTO Notification([Order], Id, HandlerId, Type, Payload, Tag, [Group], ExpiryTime, "
                "ArrivalTime, DataVersion, PayloadType, BootId, ExpiresOnReboot) VALUES(?, ?, 1, 'toast', ?, "
                "'large', 'g1', ?, ?, 1, 'Xml', 0, 'FALSE');");
    if (n.st == nullptr) return false;
    const std::string head = "<toast launch=\"app\"><visual><binding template=\"ToastGeneric\"><text>";
    const std::string tail = "</text></binding></visual></toast>";
    std::string payload = head;
    lcg r;
    while (payload.size() + tail.size() < static_cast<std::size_t>(bytes)) payload += words(r, 8) + ", ";
    payload.resize(static_cast<std::size_t>(bytes) - tail.size());
    payload += tail;
    sqlite3_bind_int64(n.st, 1, count + 2);
    sqlite3_bind_int64(n.st, 2, 1000000 + count + 2);
    sqlite3_bind_blob(n.st, 3, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(n.st, 4, kBaseFiletime + 3 * 86400 * kTicksPerSecond);
    sqlite3_bind_int64(n.st, 5, kBaseFiletime);
    return n.step();
}

bool fill(sqlite3* db, long count, long payload_bytes, long page_size, const handler_shape& shape) {
    if (!exec(db, "PRAGMA page_size=" + std::to_string(page_size) + ";") ||
        !exec(db, "PRAGMA secure_delete=OFF;") || !exec(db, "PRAGMA journal_mode=DELETE;"))
        return false;
    for (const char* sql : notification_tools::kSchema) {
        if (!exec(db, sql)) return false;
    }
    lcg r;
    if (!exec(db, "BEGIN;") || !fill_handlers(db, r, shape) ||
        !fill_notifications(db, r, count, shape.handlers) ||
        !exec(db, "INSERT INTO Metadata([Key], Value) VALUES('Version', 3);") || !exec(db, "COMMIT;"))
        return false;
    // Scattered deletes leave their rows in free blocks of pages that stay in use.
    if (!exec(db, "DELETE FROM Notification WHERE [Order] % " + std::to_string(kDeleteEvery) + " = 7;"))
        return false;
    return payload_bytes == 0 || add_large_payload(db, count, payload_bytes);
}

// The number `text` reads as; -1 when it is none.
long number_of(const char* text) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return end == text || *end != '\0' || n < 0 ? -1 : n;
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool tables = argc == 5 && std::string(argv[3]) == "handlers";
    const long count = argc == 3 || argc == 5 ? number_of(argv[2]) : -1;
    const long payload = argc == 5 && !tables ? number_of(argv[3]) : 0;
    const long page_size = argc == 5 && !tables ? number_of(argv[4]) : 4096;
    handler_shape shape;
    if (tables) {
        const long handlers = number_of(argv[4]);
        shape.handlers = handlers >= 1 && handlers <= (1L << 24) ? static_cast<int>(handlers) : -1;
        shape.settings = 2;
        shape.every_channel = true;
    }
    // The library takes page sizes of powers of two from 512 to 65536, and values of up to 1 GB.
    const bool page_ok = page_size >= 512 && page_size <= 65536 && (page_size & (page_size - 1)) == 0;
    if (count < 0 || payload < 0 || payload > (1L << 30) || !page_ok || shape.handlers < 1) {
        std::fprintf(stderr, "usage: %s <output file> <count> [<payload bytes> <page size> | handlers <n>]\n",
                     argc > 0 ? argv[0] : "selk_make_bench_db");
        return 2;
    }
    return notification_tools::write_new_database(
        argv[1], "bench database", [=](sqlite3* db) { return fill(db, count, payload, page_size, shape); });
}
