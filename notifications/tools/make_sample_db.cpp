// Writes a small notification database with the schema Windows uses and synthetic rows: handlers with
// their settings and push channels, and toast, tile and badge notifications, some of them deleted again
// with secure_delete off so that their bytes stay in the page's free space for "-incl_slack" to recover.
// Usage: selk_make_sample_db <output file>. An existing file is replaced.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "notifications/tools/windows_schema.h"

namespace {

using notification_tools::kSchema;

// FILETIME ticks of a Unix time.
std::int64_t filetime_of(std::int64_t unix_seconds) { return (unix_seconds + 11644473600LL) * 10000000LL; }

// 2021-03-01 09:00:00 UTC.
constexpr std::int64_t kBaseUnix = 1614589200;

struct handler_row {
    int record_id;
    const char* primary_id;
    const char* handler_type;
    const char* created;
};

const handler_row kHandlers[] = {
    {130, "Microsoft.WindowsStore_8wekyb3d8bbwe!App", "app:immersive", "2021-02-27 08:15:02"},
    {131, "Contoso.Mail_1a2b3c4d5e6f7!App", "app:immersive", "2021-02-28 17:40:11"},
    {132, "windows.immersivecontrolpanel_cw5n1h2txyewy!microsoft.windows.immersivecontrolpanel",
     "app:desktop", "2021-02-26 12:00:45"},
    {133, "Microsoft.SkyDrive.Desktop", "app:desktop", "2021-02-25 22:31:09"},
};

struct notification_row {
    int order;
    int id;
    int handler_id;
    const char* type;
    std::string payload;
    const char* tag;
    const char* group;
    std::int64_t arrival_offset;  // seconds after kBaseUnix
};

std::string toast(const std::string& title, const std::string& body) {
    return "<toast launch=\"sample\"><visual><binding template=\"ToastGeneric\"><text>" + title +
           "</text><text>" + body + "</text></binding></visual></toast>";
}

std::string tile(const std::string& text) {
    return "<tile><visual version=\"2\"><binding template=\"TileWide310x150Text04\" "
           "fallback=\"TileWideText04\">"
           "<text id=\"1\">" +
           text + "</text></binding></visual></tile>";
}

std::string badge(int value) { return "<badge value=\"" + std::to_string(value) + "\"/>"; }

std::vector<notification_row> notification_rows() {
    return {
        {1001, 2001, 131, "toast", toast("New message", "Lunch on Friday? The usual place at noon."), "m1",
         "inbox", 60},
        {1002, 2002, 131, "badge", badge(3), "", "", 75},
        {1003, 2003, 130, "toast", toast("Update available", "Three apps were updated overnight."), "u1",
         "store", 300},
        {1004, 2004, 132, "toast", toast("Storage Sense", "Free up space by deleting temporary files."), "s1",
         "sys", 900},
        {1005, 2005, 130, "tile", tile("Top free apps this week"), "t1", "", 1200},
        {1006, 2006, 133, "toast", toast("Files synced", "Your files are up to date."), "o1", "sync", 1500},
        {1007, 2007, 131, "toast", toast("Meeting moved", "The planning meeting is now at 3 PM in room 4."),
         "m2", "inbox", 1800},
        {1008, 2008, 131, "tile", tile("2 unread messages"), "t2", "", 1860},
        {1009, 2009, 133, "badge", badge(1), "", "", 2400},
        {1010, 2010, 132, "toast", toast("Wi-Fi", "Connected to network Guest-5G."), "w1", "sys", 3000},
    };
}

// Rows removed after the inserts; their bytes stay behind in the page's free space.
const int kDeletedOrders[] = {1003, 1007, 1009};

bool exec(sqlite3* db, const std::string& sql) {
    return notification_tools::exec(db, sql, "sample database");
}

bool insert_handler(sqlite3* db, const handler_row& h) {
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "INSERT INTO NotificationHandler(RecordId, PrimaryId, WNSId, HandlerType, WNFEventName, CreatedTime, "
        "ModifiedTime) VALUES(?, ?, ?, ?, ?, ?, ?);";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return false;
    const std::string wns = std::string("wns-") + std::to_string(h.record_id);
    sqlite3_bind_int(st, 1, h.record_id);
    sqlite3_bind_text(st, 2, h.primary_id, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, wns.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, h.handler_type, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 5, 0x41c64e6da3bc0075LL + h.record_id);
    sqlite3_bind_text(st, 6, h.created, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 7, h.created, -1, SQLITE_TRANSIENT);
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    return ok;
}

bool insert_notification(sqlite3* db, const notification_row& n) {
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "INSERT INTO Notification([Order], Id, HandlerId, ActivityId, Type, Payload, Tag, [Group], "
        "ExpiryTime, "
        "ArrivalTime, DataVersion, PayloadType, BootId, ExpiresOnReboot) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, 1, "
        "'Xml', 0, 'FALSE');";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) return false;
    unsigned char activity[16];
    for (int i = 0; i < 16; ++i) activity[i] = static_cast<unsigned char>(n.order * 7 + i * 13);
    const std::int64_t arrival = filetime_of(kBaseUnix + n.arrival_offset);
    sqlite3_bind_int(st, 1, n.order);
    sqlite3_bind_int(st, 2, n.id);
    sqlite3_bind_int(st, 3, n.handler_id);
    sqlite3_bind_blob(st, 4, activity, 16, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, n.type, -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 6, n.payload.data(), static_cast<int>(n.payload.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 7, n.tag, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 8, n.group, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 9, arrival + 3 * 86400 * 10000000LL);
    sqlite3_bind_int64(st, 10, arrival);
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    return ok;
}

bool fill(sqlite3* db) {
    if (!exec(db, "PRAGMA page_size=4096;") || !exec(db, "PRAGMA secure_delete=OFF;") ||
        !exec(db, "PRAGMA journal_mode=DELETE;"))
        return false;
    for (const char* sql : kSchema) {
        if (!exec(db, sql)) return false;
    }
    if (!exec(db, "BEGIN;")) return false;
    for (const handler_row& h : kHandlers) {
        if (!insert_handler(db, h)) return false;
    }
    const std::string settings =
        "INSERT INTO HandlerSettings(HandlerId, SettingKey, Value) VALUES"
        "(130, 's:toast', 1), (130, 's:banner', 1), (130, 's:lock', 0),"
        "(131, 's:toast', 1), (131, 's:sound', 1), (131, 's:badge', 7),"
        "(132, 's:toast', 1), (133, 's:toast', 0);";
    if (!exec(db, settings)) return false;
    const std::string channels =
        "INSERT INTO WNSPushChannel(ChannelId, HandlerId, Uri, ExpiryTime, CreatedTime, DeviceVersion) VALUES"
        "('chan-131', 131, 'https://db5p.notify.windows.com/?token=AwYAAAB1sample', " +
        std::to_string(filetime_of(kBaseUnix + 30 * 86400)) + ", " +
        std::to_string(filetime_of(kBaseUnix - 3600)) +
        ", 0),"
        "('chan-130', 130, 'https://db5p.notify.windows.com/?token=AwYAAAB2sample', " +
        std::to_string(filetime_of(kBaseUnix + 30 * 86400)) + ", " +
        std::to_string(filetime_of(kBaseUnix - 7200)) + ", 0);";
    if (!exec(db, channels)) return false;
    for (const notification_row& n : notification_rows()) {
        if (!insert_notification(db, n)) return false;
    }
    if (!exec(db, "INSERT INTO Metadata([Key], Value) VALUES('Version', 3);")) return false;
    if (!exec(db, "COMMIT;")) return false;
    for (int order : kDeletedOrders) {
        if (!exec(db, "DELETE FROM Notification WHERE [Order] = " + std::to_string(order) + ";"))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argc > 0 ? argv[0] : "selk_make_sample_db");
        return 2;
    }
    return notification_tools::write_new_database(argv[1], "sample database", fill);
}
