// The notification database's schema exactly as Windows stores it, and what the generators of the sample and
// benchmark databases share: running a statement and writing a fresh file.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <string>

namespace notification_tools {

inline const char* const kSchema[] = {
    "CREATE TABLE [NotificationHandler] ( [RecordId] INTEGER PRIMARY KEY, [PrimaryId] TEXT NOT NULL COLLATE "
    "NOCASE, [WNSId] TEXT COLLATE NOCASE, [HandlerType] TEXT, [WNFEventName] INT64, [SystemDataPropertySet] "
    "BLOB, "
    "[CreatedTime] DATETIME, [ModifiedTime] DATETIME, [ParentId] TEXT COLLATE NOCASE, [ContainerSid] TEXT "
    "COLLATE "
    "NOCASE);",
    "CREATE UNIQUE INDEX [byHandlerName] ON [NotificationHandler] ([PrimaryId]);",
    "CREATE TABLE [HandlerSettings]( [HandlerId] INTEGER CONSTRAINT[SettingsToHandler] "
    "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [SettingKey] TEXT NOT "
    "NULL, "
    "[Value] INT, CONSTRAINT[] PRIMARY KEY([SettingKey], [HandlerId]) ON CONFLICT REPLACE);",
    "CREATE INDEX [bySetting] ON[HandlerSettings] ([SettingKey], [Value]);",
    "CREATE TABLE [Notification]( [Order] INTEGER NOT NULL PRIMARY KEY, [Id] INTEGER NOT NULL, [HandlerId] "
    "INTEGER "
    "CONSTRAINT[NotificationToHandler] REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON "
    "UPDATE "
    "CASCADE, [ActivityId] GUID,[Type] TEXT NOT NULL, [Payload] BLOB, [Tag] TEXT, [Group] TEXT, [ExpiryTime] "
    "INT64, "
    "[ArrivalTime] INT64, [DataVersion] INT64 DEFAULT '0', [PayloadType] TEXT NOT NULL, [BootId] INT64 "
    "DEFAULT '0', "
    "[ExpiresOnReboot] BOOLEAN DEFAULT 'FALSE', UNIQUE([Id]) ON CONFLICT REPLACE);",
    "CREATE INDEX [notificationById] ON [Notification] ([Id]);",
    "CREATE INDEX [notificationByApp] ON [Notification] ([HandlerId]);",
    "CREATE INDEX [notificationByActivityId] ON [Notification] ([ActivityId]);",
    "CREATE INDEX [notificationByAppByType] ON [Notification] ([HandlerId], [Type]);",
    "CREATE INDEX [notificationByTagGroup] ON [Notification] ([HandlerId], [Type], [Group], [Tag]);",
    "CREATE INDEX [notificationByType] ON [Notification] ([Type]);",
    "CREATE INDEX [notificationExpired] ON [Notification] ([ExpiryTime] DESC);",
    "CREATE TABLE [WNSPushChannel]( [ChannelId] TEXT NOT NULL, [HandlerId] INTEGER "
    "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [Uri] TEXT, "
    "[ExpiryTime] "
    "INT64, [CreatedTime] INT64, [DeviceVersion] INT64 DEFAULT '0', CONSTRAINT[] PRIMARY KEY([ChannelId]) ON "
    "CONFLICT REPLACE);",
    "CREATE INDEX [channelByApp] ON [WNSPushChannel] ([HandlerId]);",
    "CREATE INDEX [channelExpired] ON [WNSPushChannel] ([ExpiryTime] DESC);",
    "CREATE TABLE [Metadata]( [Key] TEXT, [Value] INT64, CONSTRAINT[] PRIMARY KEY([Key]) ON CONFLICT "
    "REPLACE);",
    "CREATE TABLE [NotificationData]( [NotificationId] INTEGER CONSTRAINT[DataToNotification] "
    "REFERENCES[Notification]([Id]) ON DELETE CASCADE ON UPDATE CASCADE, [Key] TEXT NOT NULL, [Value] TEXT, "
    "CONSTRAINT[] PRIMARY KEY([Key], [NotificationId]) ON CONFLICT REPLACE);",
    "CREATE TABLE [HandlerAssets]( [HandlerId] INTEGER CONSTRAINT[AssetsToHandler] "
    "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [AssetKey] TEXT NOT "
    "NULL, "
    "[AssetValue] TEXT, CONSTRAINT[] PRIMARY KEY([AssetKey], [HandlerId]) ON CONFLICT REPLACE);",
    "CREATE TABLE [TransientTable]( [OfflineCacheCount] INTEGER, [NotificationId] INTEGER "
    "CONSTRAINT[TransientToNotification] REFERENCES[Notification]([Id]) ON DELETE CASCADE ON UPDATE CASCADE, "
    "[OfflineBundleId] TEXT, [ServerCacheRollover] BOOLEAN DEFAULT 'FALSE', [CrossDeviceMatchId] TEXT, "
    "[SuppressPopup] BOOLEAN DEFAULT 'FALSE', [IsMirroringDisabled] BOOLEAN DEFAULT 'FALSE', [RecurrenceId] "
    "GUID, "
    "[MessageId] GUID, [Priority] INTEGER NOT NULL, [CV] TEXT);",
};

// Runs one statement; on failure names it and the library's error after `label` on standard error.
inline bool exec(sqlite3* db, const std::string& sql, const char* label) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
    std::fprintf(stderr, "%s: %s: %s\n", label, sql.c_str(), error != nullptr ? error : "error");
    sqlite3_free(error);
    return false;
}

// Replaces the file at path (and its journal) with a new database that `fill` writes. 0 on success, 1 on
// failure (the half-written file is removed).
inline int write_new_database(const std::string& path, const char* label,
                              const std::function<bool(sqlite3*)>& fill) {
    std::remove(path.c_str());
    std::remove((path + "-journal").c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "%s: cannot create %s\n", label, path.c_str());
        sqlite3_close(db);
        return 1;
    }
    const bool ok = fill(db);
    if (sqlite3_close(db) != SQLITE_OK || !ok) {
        std::remove(path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace notification_tools
