// Helpers for the notification tests: a unique temporary folder, notification databases written with the
// SQLite library (the tables as Windows creates them), whole-file reads, and a snapshot of a folder so a
// test can show that reading left the evidence alone.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace notification_fixtures {

// The four tables exactly as the Windows notification database declares them.
inline const char* notification_table_sql() {
    return "CREATE TABLE [Notification]( [Order] INTEGER NOT NULL PRIMARY KEY, [Id] INTEGER NOT NULL, "
           "[HandlerId] "
           "INTEGER CONSTRAINT[NotificationToHandler] REFERENCES[NotificationHandler]([RecordId]) ON DELETE "
           "CASCADE ON "
           "UPDATE CASCADE, [ActivityId] GUID,[Type] TEXT NOT NULL, [Payload] BLOB, [Tag] TEXT, [Group] "
           "TEXT, "
           "[ExpiryTime] INT64, [ArrivalTime] INT64, [DataVersion] INT64 DEFAULT '0', [PayloadType] TEXT NOT "
           "NULL, "
           "[BootId] INT64 DEFAULT '0', [ExpiresOnReboot] BOOLEAN DEFAULT 'FALSE', UNIQUE([Id]) ON CONFLICT "
           "REPLACE);";
}
inline const char* handler_table_sql() {
    return "CREATE TABLE [NotificationHandler] ( [RecordId] INTEGER PRIMARY KEY, [PrimaryId] TEXT NOT NULL "
           "COLLATE "
           "NOCASE, [WNSId] TEXT COLLATE NOCASE, [HandlerType] TEXT, [WNFEventName] INT64, "
           "[SystemDataPropertySet] "
           "BLOB, [CreatedTime] DATETIME, [ModifiedTime] DATETIME, [ParentId] TEXT COLLATE NOCASE, "
           "[ContainerSid] "
           "TEXT COLLATE NOCASE);";
}
inline const char* push_channel_table_sql() {
    return "CREATE TABLE [WNSPushChannel]( [ChannelId] TEXT NOT NULL, [HandlerId] INTEGER "
           "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [Uri] TEXT, "
           "[ExpiryTime] "
           "INT64, [CreatedTime] INT64, [DeviceVersion] INT64 DEFAULT '0', CONSTRAINT[] PRIMARY "
           "KEY([ChannelId]) ON "
           "CONFLICT REPLACE);";
}
inline const char* settings_table_sql() {
    return "CREATE TABLE [HandlerSettings]( [HandlerId] INTEGER CONSTRAINT[SettingsToHandler] "
           "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [SettingKey] "
           "TEXT NOT "
           "NULL, [Value] INT, CONSTRAINT[] PRIMARY KEY([SettingKey], [HandlerId]) ON CONFLICT REPLACE);";
}

// A fresh folder under SELK_TEST_TMP (its name may carry a suffix), removed with its files at the end.
class temp_dir {
  public:
    explicit temp_dir(const std::string& suffix = "") {
        ::mkdir(SELK_TEST_TMP, 0755);
        std::string tmpl = std::string(SELK_TEST_TMP) + "/h12_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) == nullptr) return;
        base_ = buf.data();
        path_ = base_;
        if (!suffix.empty()) {
            path_ = base_ + "/" + suffix;
            if (::mkdir(path_.c_str(), 0755) != 0) path_.clear();
        }
    }
    ~temp_dir() {
        if (base_.empty()) return;
        ::chmod(path_.c_str(), 0755);
        const std::string cmd = "rm -rf '" + base_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string base_;
    std::string path_;
};

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

inline bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Runs SQL on an open connection; fails the test on an error.
inline void exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (err != nullptr ? err : "");
    sqlite3_free(err);
}

// Opens (creating) a database for writing; the caller closes it.
inline sqlite3* open_db(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        ADD_FAILURE() << "cannot create " << path;
        sqlite3_close(db);
        return nullptr;
    }
    exec(db, "PRAGMA secure_delete=OFF;");
    return db;
}

// Creates the notification tables (without the push-channel table when `with_push` is clear).
inline void create_tables(sqlite3* db, bool with_push = true) {
    exec(db, handler_table_sql());
    exec(db, settings_table_sql());
    exec(db, notification_table_sql());
    if (with_push) exec(db, push_channel_table_sql());
}

// Inserts one handler row.
inline void insert_handler(sqlite3* db, int record_id, const std::string& primary_id,
                           const std::string& created = "2020-12-11 19:09:13") {
    exec(
        db,
        "INSERT INTO NotificationHandler(RecordId, PrimaryId, WNSId, HandlerType, WNFEventName, CreatedTime, "
        "ModifiedTime) VALUES(" +
            std::to_string(record_id) + ", '" + primary_id + "', NULL, 'app:desktop', 7, '" + created +
            "', '" + created + "');");
}

// Inserts one notification row with the payload bound as a blob of exactly its bytes and an optional
// ActivityId blob.
inline void insert_notification(sqlite3* db, int order, int id, int handler_id, const std::string& type,
                                const std::string& payload, const std::vector<std::uint8_t>& activity_id = {},
                                std::int64_t arrival = 132521873530000000LL) {
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "INSERT INTO Notification([Order], Id, HandlerId, ActivityId, Type, Payload, Tag, [Group], "
        "ExpiryTime, "
        "ArrivalTime, PayloadType) VALUES(?, ?, ?, ?, ?, ?, 'tag1', 'group1', ?, ?, 'Xml');";
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_bind_int(st, 1, order);
    sqlite3_bind_int(st, 2, id);
    sqlite3_bind_int(st, 3, handler_id);
    if (activity_id.empty())
        sqlite3_bind_null(st, 4);
    else
        sqlite3_bind_blob(st, 4, activity_id.data(), static_cast<int>(activity_id.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, type.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 6, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 7, arrival + 864000000000LL);
    sqlite3_bind_int64(st, 8, arrival);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
}

// Size, modification time and bytes of every entry of a folder, to show that nothing changed.
struct folder_snapshot {
    std::map<std::string, std::vector<std::uint8_t>> bytes;
    std::map<std::string, std::int64_t> mtimes;

    static folder_snapshot take(const std::string& folder) {
        folder_snapshot s;
        DIR* d = ::opendir(folder.c_str());
        if (d == nullptr) return s;
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string full = folder + "/" + name;
            struct stat st;
            if (::stat(full.c_str(), &st) != 0) continue;
            s.bytes[name] = read_all(full);
            s.mtimes[name] = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        }
        ::closedir(d);
        return s;
    }
    bool operator==(const folder_snapshot& o) const { return bytes == o.bytes && mtimes == o.mtimes; }
};

}  // namespace notification_fixtures
