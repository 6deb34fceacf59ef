#include "sqlite_format/table_schema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/digest.h"

namespace {

std::vector<std::string> names_of(const table_schema& s) {
    std::vector<std::string> out;
    for (const table_field& f : s.fields) out.push_back(f.name_lower);
    return out;
}

std::string signature_of(const table_schema& s) {
    std::string sig = "sz";
    for (const table_field& f : s.fields) sig += ";" + f.name_lower;
    return sig;
}

std::string guid_of(const std::string& text) {
    _16_byte_block b;
    EXPECT_EQ(compute_digest16(text.data(), static_cast<std::uint32_t>(text.size()), b), 1);
    return b.to_string(false);
}

TEST(ParseTableSchema, BracketedNamesTypesAndConstraints) {
    table_schema s;
    std::uint32_t pos = 0;
    const std::string sql =
        "CREATE TABLE [Notification] ([Id] INTEGER PRIMARY KEY AUTOINCREMENT, [Payload] BLOB)";
    ASSERT_EQ(parse_table_schema(s, &pos, sql, 0, 0), 1);
    EXPECT_EQ(pos, 12u);
    EXPECT_EQ(s.name, "Notification");
    ASSERT_EQ(s.fields.size(), 2u);
    EXPECT_EQ(s.fields[0].name, "Id");
    EXPECT_EQ(s.fields[0].name_lower, "id");
    EXPECT_EQ(s.fields[0].type_class, kFieldInteger);
    EXPECT_EQ(s.fields[0].constraints, kFieldPrimaryKey | kFieldAutoincrement);
    EXPECT_EQ(s.fields[0].definition, "[Id] INTEGER PRIMARY KEY AUTOINCREMENT");
    EXPECT_EQ(s.fields[1].type_class, kFieldBlob);
    EXPECT_EQ(s.signature_digest_text, guid_of("sz;id;payload"));
    EXPECT_EQ(s.signature_digest_text.size(), 36u);
}

TEST(ParseTableSchema, TableConstraintsAreNotColumns) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(parse_table_schema(s, &pos, "create table t (a, b text, primary key (a))", 0, 0), 1);
    ASSERT_EQ(s.fields.size(), 2u);
    EXPECT_EQ(s.fields[0].name, "a");
    EXPECT_EQ(s.fields[0].type_class, kFieldText);  // untyped: text by default
    EXPECT_EQ(s.fields[1].type_class, kFieldText);
    // CONSTRAINT items, bracketed or not, with or without a name.
    ASSERT_EQ(parse_table_schema(
                  s, &pos,
                  "CREATE TABLE x (k TEXT, v INT, CONSTRAINT pk PRIMARY KEY (k), CONSTRAINT[] UNIQUE (v),"
                  " constraint_id INT, CONSTRAINT [c2] CHECK (v > 0))",
                  0, 0),
              1);
    EXPECT_EQ(names_of(s), (std::vector<std::string>{"k", "v", "constraint_id"}));
    ASSERT_EQ(
        parse_table_schema(s, &pos, "CREATE TABLE y (a INT, FOREIGN KEY (a) REFERENCES z, UNIQUE (a))", 0, 0),
        1);
    EXPECT_EQ(names_of(s), (std::vector<std::string>{"a"}));
}

TEST(ParseTableSchema, DefaultsAndMinimumFieldCount) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(
        parse_table_schema(
            s, &pos, "create table t (a int, c int default 1, d int default '7', e text not null)", 0, 0),
        1);
    ASSERT_EQ(s.fields.size(), 4u);
    EXPECT_EQ(s.fields[1].constraints, kFieldDefault);
    EXPECT_EQ(s.fields[1].default_value, "1");
    EXPECT_EQ(s.fields[1].type_class, kFieldInteger);
    EXPECT_EQ(s.fields[2].default_value, "7");
    EXPECT_EQ(s.fields[3].constraints, kFieldNotNull);
    EXPECT_EQ(s.min_fields(), 3);  // d (default 7) is optional
    s.fields[0].optional = 1;
    EXPECT_EQ(s.min_fields(), 2);
    s.fields[1].optional = 1;  // a default of 0 or 1 keeps a field mandatory
    EXPECT_EQ(s.min_fields(), 2);
}

TEST(ParseTableSchema, DefaultAsTheLastWordGivesAnEmptyDefault) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(parse_table_schema(s, &pos, "create table t (a int default, b text DEFAULT)", 0, 0), 1);
    ASSERT_EQ(s.fields.size(), 2u);
    EXPECT_EQ(s.fields[0].constraints, kFieldDefault);
    EXPECT_EQ(s.fields[0].default_value, "");
    EXPECT_EQ(s.fields[0].type_class, kFieldInteger);
    EXPECT_EQ(s.fields[1].default_value, "");
}

TEST(ParseTableSchema, TypeClassesByFirstMatchingWord) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(
        parse_table_schema(s, &pos,
                           "create table t (a bigint, b datetime, c varchar(255), d real, e double precision,"
                           " f boolean, g guid, h long, i numeric(10,2), j float, k current_timestamp)",
                           0, 0),
        1);
    const std::uint32_t expect[] = {kFieldInteger, kFieldNumeric, kFieldText, kFieldReal,
                                    kFieldReal,    kFieldNumeric, kFieldText, kFieldInteger,
                                    kFieldNumeric, kFieldReal,    kFieldText};
    ASSERT_EQ(s.fields.size(), 11u);
    for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(s.fields[i].type_class, expect[i]) << s.fields[i].name;
    ASSERT_EQ(parse_table_schema(s, &pos, "create table t (g guid)", 0, 1), 1);
    EXPECT_EQ(s.fields[0].type_class, kFieldBlob);
}

TEST(ParseTableSchema, FlagsAndFailures) {
    table_schema s;
    std::uint32_t pos = 9;
    ASSERT_EQ(parse_table_schema(s, &pos, "CREATE TABLE w (k TEXT PRIMARY KEY, v) WITHOUT ROWID", 0, 0), 1);
    EXPECT_EQ(s.without_rowid, 1);
    EXPECT_EQ(parse_table_schema(s, &pos, "create index i on t(a)", 0, 0), 0);
    EXPECT_EQ(s.index_flag, 1u);
    EXPECT_TRUE(s.fields.empty());
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(parse_table_schema(s, &pos, "", 0, 0), 0);
    EXPECT_EQ(parse_table_schema(s, &pos, "create table t", 0, 0), 0);
    EXPECT_EQ(parse_table_schema(s, &pos, "create table t (a] int)", 0, 0), 0);  // "]" without "["
    EXPECT_EQ(parse_table_schema(s, &pos, "create table t (primary key)", 0, 0), 0);
    EXPECT_EQ(parse_table_schema(s, &pos, "create table t (a int)", 500, 0), 0);  // start past the end
    // The keyword is searched from the start position.
    ASSERT_EQ(parse_table_schema(s, &pos, "xx create table t (a int)", 3, 0), 1);
    EXPECT_EQ(pos, 15u);
}

TEST(ParseTableSchema, RepeatedUntypedNameDroppedOnlyAfterATypedOne) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(parse_table_schema(s, &pos, "create table t (a int, a, b, b)", 0, 0), 1);
    EXPECT_EQ(names_of(s), (std::vector<std::string>{"a", "b", "b"}));
}

TEST(ParseTableSchema, FieldAbbreviations) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(parse_table_schema(s, &pos, "create table t ([Id] int, [Payload] blob, [Type] text)", 0, 0), 1);
    std::ostringstream os;
    s.output_schema_fields_abbreviations(os, 2);
    EXPECT_EQ(os.str(), "id-pa-ty");
    s.column_mask = 0x3;  // two bits: only the first two fields
    std::ostringstream two;
    s.output_schema_fields_abbreviations(two, 2);
    EXPECT_EQ(two.str(), "id-pa");
    table_schema empty;
    std::ostringstream none;
    empty.output_schema_fields_abbreviations(none, 2);
    EXPECT_EQ(none.str(), "");
}

// The four tables of the notification database, exactly as Windows stores them.
struct known_table {
    const char* sql;
    const char* name;
    const char* signature;
};

const known_table kNotificationTables[] = {
    {"CREATE TABLE [NotificationHandler] ( [RecordId] INTEGER PRIMARY KEY, [PrimaryId] TEXT NOT NULL COLLATE "
     "NOCASE, [WNSId] TEXT COLLATE NOCASE, [HandlerType] TEXT, [WNFEventName] INT64, [SystemDataPropertySet] "
     "BLOB, "
     "[CreatedTime] DATETIME, [ModifiedTime] DATETIME, [ParentId] TEXT COLLATE NOCASE, [ContainerSid] TEXT "
     "COLLATE "
     "NOCASE)",
     "NotificationHandler",
     "sz;recordid;primaryid;wnsid;handlertype;wnfeventname;systemdatapropertyset;createdtime;modifiedtime;"
     "parentid;"
     "containersid"},
    {"CREATE TABLE [HandlerSettings]( [HandlerId] INTEGER CONSTRAINT[SettingsToHandler] "
     "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [SettingKey] TEXT NOT "
     "NULL, "
     "[Value] INT, CONSTRAINT[] PRIMARY KEY([SettingKey], [HandlerId]) ON CONFLICT REPLACE)",
     "HandlerSettings", "sz;handlerid;settingkey;value"},
    {"CREATE TABLE [Notification]( [Order] INTEGER NOT NULL PRIMARY KEY, [Id] INTEGER NOT NULL, [HandlerId] "
     "INTEGER "
     "CONSTRAINT[NotificationToHandler] REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON "
     "UPDATE "
     "CASCADE, [ActivityId] GUID,[Type] TEXT NOT NULL, [Payload] BLOB, [Tag] TEXT, [Group] TEXT, "
     "[ExpiryTime] INT64, "
     "[ArrivalTime] INT64, [DataVersion] INT64 DEFAULT '0', [PayloadType] TEXT NOT NULL, [BootId] INT64 "
     "DEFAULT '0', "
     "[ExpiresOnReboot] BOOLEAN DEFAULT 'FALSE', UNIQUE([Id]) ON CONFLICT REPLACE)",
     "Notification",
     "sz;order;id;handlerid;activityid;type;payload;tag;group;expirytime;arrivaltime;dataversion;payloadtype;"
     "bootid;"
     "expiresonreboot"},
    {"CREATE TABLE [WNSPushChannel]( [ChannelId] TEXT NOT NULL, [HandlerId] INTEGER "
     "REFERENCES[NotificationHandler]([RecordId]) ON DELETE CASCADE ON UPDATE CASCADE, [Uri] TEXT, "
     "[ExpiryTime] "
     "INT64, [CreatedTime] INT64, [DeviceVersion] INT64 DEFAULT '0', CONSTRAINT[] PRIMARY KEY([ChannelId]) "
     "ON "
     "CONFLICT REPLACE)",
     "WNSPushChannel", "sz;channelid;handlerid;uri;expirytime;createdtime;deviceversion"},
};

TEST(ParseTableSchema, TheNotificationDatabaseTables) {
    for (const known_table& t : kNotificationTables) {
        table_schema s;
        std::uint32_t pos;
        ASSERT_EQ(parse_table_schema(s, &pos, t.sql, 0, 0), 1) << t.name;
        EXPECT_EQ(s.name, t.name);
        EXPECT_EQ(signature_of(s), t.signature);
        EXPECT_EQ(s.signature_digest_text, guid_of(t.signature));
        EXPECT_EQ(s.without_rowid, 0);
    }
    table_schema n;
    std::uint32_t pos;
    ASSERT_EQ(parse_table_schema(n, &pos, kNotificationTables[2].sql, 0, 0), 1);
    EXPECT_EQ(n.fields[0].constraints, kFieldNotNull | kFieldPrimaryKey);
    EXPECT_EQ(n.fields[3].type_class, kFieldText);  // GUID without the blob flag
    EXPECT_EQ(n.fields[10].default_value, "0");
    EXPECT_EQ(n.fields[11].default_value, "");
    EXPECT_EQ(n.fields[13].type_class, kFieldNumeric);
    EXPECT_EQ(n.fields[13].default_value, "false");
    for (const char* index : {"CREATE UNIQUE INDEX [byHandlerName] ON [NotificationHandler] ([PrimaryId])",
                              "CREATE INDEX [bySetting] ON[HandlerSettings] ([SettingKey], [Value])"}) {
        EXPECT_EQ(parse_table_schema(n, &pos, index, 0, 0), 0) << index;
        EXPECT_TRUE(n.fields.empty());
    }
}

TEST(ParseTableSchema, ArbitraryTextNeverCrashes) {
    std::mt19937 rng(7);
    const std::string alphabet = "()[],\" 'abcdefgkprtyin";
    for (int i = 0; i < 2000; ++i) {
        std::string sql = "create table ";
        const std::size_t n = rng() % 80;
        for (std::size_t k = 0; k < n; ++k) sql.push_back(alphabet[rng() % alphabet.size()]);
        for (const std::string& word :
             {std::string(" default"), std::string(" primary key"), std::string(" key")})
            if (rng() % 3 == 0) sql.insert(rng() % sql.size(), word);
        table_schema s;
        std::uint32_t pos;
        const int r = parse_table_schema(s, &pos, sql, 0, static_cast<std::uint8_t>(rng() % 2));
        // Success always means a column; a failure may leave the columns read before it.
        if (r == 1) {
            EXPECT_FALSE(s.fields.empty()) << sql;
        }
    }
}

// A table is found in a schema table's listing by its name in any case; of two entries so named the one
// whose statement reads wins, and a table not listed leaves the schema as it was.
TEST(FindTableSchema, FirstEntryThatReadsByNameInAnyCase) {
    const std::vector<std::string> names = {"Other", "NOTIFICATION", "notification", "Broken", "broken"};
    const std::vector<std::string> sqls = {"CREATE TABLE Other(a INT)", "CREATE VIEW v AS SELECT 1",
                                           "CREATE TABLE Notification(id INT, payload BLOB)",
                                           "CREATE TABLE Broken", "CREATE INDEX i ON t(x)"};
    struct lookup_case {
        const char* name;
        std::size_t index;       // the entry found
        std::size_t fields;      // columns of the schema found
        const char* first_name;  // its first column's name ("kept": the schema left as it was)
    };
    const std::vector<lookup_case> cases = {
        {"other", 0, 1, "a"},
        {"Notification", 2, 2, "id"},
        {"broken", 3, 0, ""},
        {"missing", kNoTableSchema, 1, "kept"},
    };
    for (const lookup_case& c : cases) {
        table_schema schema;
        table_field kept;
        kept.name = "kept";
        schema.fields.push_back(kept);
        EXPECT_EQ(find_table_schema(schema, names, sqls, c.name), c.index) << c.name;
        ASSERT_EQ(schema.fields.size(), c.fields) << c.name;
        EXPECT_EQ(schema.fields.empty() ? std::string() : schema.fields[0].name, c.first_name) << c.name;
    }
}

// The column of the table `sql` creates (as "t") in which the library gives a row inserted with rowid 77 and
// nothing else: the rowid's column. kNoRowidAlias when no column reads 77 or the table takes no rowid.
std::size_t library_rowid_column(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    std::size_t found = kNoRowidAlias;
    if (sqlite3_open(":memory:", &db) == SQLITE_OK &&
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "INSERT INTO t(rowid) VALUES(77)", nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT * FROM t", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            if (sqlite3_column_type(st, i) == SQLITE_INTEGER && sqlite3_column_int64(st, i) == 77)
                found = static_cast<std::size_t>(i);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return found;
}

// The column that stands for the rowid is the one the library gives the rowid in, wherever it stands and
// however its key is written; a key of another type, of DESC order on the column or of two columns has none.
TEST(RowidAliasColumn, TheColumnTheLibraryGivesTheRowidIn) {
    const struct {
        const char* sql;
        std::size_t column;
    } cases[] = {
        {"CREATE TABLE t(a TEXT, [b] INTEGER PRIMARY KEY, c)", 1},
        {"CREATE TABLE t(a, b 'integer' CONSTRAINT [pk] PRIMARY KEY ASC ON CONFLICT REPLACE)", 1},
        {"CREATE TABLE t(a, \"b c\" INTEGER, PRIMARY KEY(\"b c\" DESC))", 1},
        {"CREATE TABLE t(a TEXT DEFAULT 'primary key', /* b INTEGER PRIMARY KEY, */ c INTEGER -- ,\n"
         " PRIMARY KEY, d REFERENCES p(x))",
         1},
        {"CREATE TABLE t(a INTEGER PRIMARY KEY DESC, b)", kNoRowidAlias},
        {"CREATE TABLE t(a INT PRIMARY KEY, b)", kNoRowidAlias},
        {"CREATE TABLE t(a INTEGER(10) PRIMARY KEY, b)", kNoRowidAlias},
        {"CREATE TABLE t(a INTEGER, b INTEGER, PRIMARY KEY(a, b))", kNoRowidAlias},
        {"CREATE TABLE t(a INTEGER PRIMARY KEY, b) WITHOUT ROWID", kNoRowidAlias},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(library_rowid_column(c.sql), c.column) << c.sql;
        EXPECT_EQ(rowid_alias_column(c.sql), c.column) << c.sql;
    }
    table_schema s;
    std::uint32_t pos = 0;
    ASSERT_EQ(parse_table_schema(s, &pos, cases[0].sql, 0, 0), 1);
    EXPECT_EQ(s.rowid_alias, 1u);
}

TEST(TableTypes, ClearAndRecordConstruction) {
    table_schema s;
    std::uint32_t pos;
    ASSERT_EQ(parse_table_schema(s, &pos, "create table t (a int) without rowid", 0, 0), 1);
    s.field_map[1] = 0;
    s.column_mask = 5;
    s.clear();
    EXPECT_TRUE(s.name.empty());
    EXPECT_TRUE(s.fields.empty());
    EXPECT_TRUE(s.field_map.empty());
    EXPECT_EQ(s.without_rowid, 0);
    EXPECT_EQ(s.column_mask, 0u);
    EXPECT_TRUE(s.signature_digest_text.empty());
    const table_record r({"x", "y"}, 12, 0x1f40);
    EXPECT_EQ(r.values.size(), 2u);
    EXPECT_EQ(r.rowid, 12u);
    EXPECT_EQ(r.record_offset, 0x1f40u);
    EXPECT_EQ(r.position, 0u);
    table_record copy = r;
    EXPECT_EQ(copy.values, r.values);
    table_field f;
    f.name = "n";
    f.column_bit = 4;
    f.clear();
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(f.column_bit, 0u);
}

}  // namespace
