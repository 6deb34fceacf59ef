// Recognising notification, handler and push-channel headers in raw bytes, and sorting carved records into
// the record vectors.
#include "notifications/recovered.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "notifications/records.h"
#include "notifications/selk_options.h"
#include "recovery_fixtures.h"
#include "sqlite_format/carved_values.h"
#include "test_run.h"

namespace {

using namespace recovery_fixtures;

std::vector<recovered_record> classify(const std::vector<std::uint8_t>& bytes, std::uint64_t base = 0,
                                       const test_run* options = nullptr) {
    std::vector<recovered_record> out;
    classify_recovered_record(out, bytes.data(), static_cast<std::uint32_t>(bytes.size()), base, 0, options);
    return out;
}

std::uint32_t kind_of(const recovered_record& c) { return c.table_kind; }
std::uint32_t count_of(const recovered_record& c) { return c.column_count; }

// ---------------------------------------------------------------------------------------------
// The scan.

TEST(ClassifyRecoveredRecord, ShortNullAndZeroBuffersYieldNothing) {
    std::vector<recovered_record> out(1);
    const std::vector<std::uint8_t> rec = cell(record(notification_cols("toast", "<toast/>")), 5);
    // 28 bytes of a real header are still too few.
    EXPECT_EQ(classify_recovered_record(out, rec.data(), 28, 0, 0, nullptr), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(classify_recovered_record(out, nullptr, 4096, 0, 0, nullptr), 0);
    const std::vector<std::uint8_t> zeros(4096, 0);
    EXPECT_TRUE(classify(zeros).empty());
}

TEST(ClassifyRecoveredRecord, WindowsNotificationRowIsFoundWithAllFourteenColumns) {
    const std::vector<std::uint8_t> rec = record(notification_cols("toast", payload_for(1)));
    const std::vector<std::uint8_t> buf = padded(cell(rec, 9), 40);
    const std::vector<recovered_record> out = classify(buf, 0x2000);
    ASSERT_EQ(out.size(), 1u);
    const recovered_record& c = out[0];
    // The payload size takes two bytes and the rowid one; the header-length byte follows.
    EXPECT_EQ(c.position, 40u + 2 + 1 + 1);
    EXPECT_EQ(c.record_offset, 0x2000u + c.position);
    EXPECT_EQ(kind_of(c), kTableNotification);
    EXPECT_EQ(count_of(c), 14u);
    EXPECT_EQ(c.carried, kNotificationMask14);
    EXPECT_EQ(c.prefix_flag, 0u);
    // A buffer at file offset 0 gives no record offset; the position still locates the header.
    const std::vector<recovered_record> at_zero = classify(buf, 0);
    ASSERT_EQ(at_zero.size(), 1u);
    EXPECT_EQ(at_zero[0].record_offset, 0u);
    EXPECT_EQ(at_zero[0].position, c.position);
}

TEST(ClassifyRecoveredRecord, OnlyTileToastAndBadgeTypesAreNotifications) {
    for (const std::string type : {"toast", "tile", "badge", "toastGeneric"}) {
        const std::vector<std::uint8_t> buf = padded(record(notification_cols(type, "<x/>")), 33);
        EXPECT_EQ(classify(buf).size(), 1u) << type;
    }
    for (const std::string type : {"email", "Toast", "tost"}) {
        const std::vector<std::uint8_t> buf = padded(record(notification_cols(type, "<x/>")), 33);
        EXPECT_TRUE(classify(buf).empty()) << type;
    }
}

TEST(ClassifyRecoveredRecord, IdsAndHandlersStoredAsConstantsAreAccepted) {
    // Id 1 and HandlerId 1 are stored as the constants (types 9); Id 0 as type 8.
    for (int id_const : {0, 1}) {
        std::vector<column> cols = notification_cols("toast", "<toast/>", 7, const_col(1));
        cols[1] = const_col(id_const);
        const std::vector<recovered_record> out = classify(padded(record(cols), 33));
        ASSERT_EQ(out.size(), 1u) << id_const;
        EXPECT_EQ(out[0].carried, kNotificationMask14);
    }
    // A HandlerId of type 3 (a 3-byte integer, as every id from 32,768 is stored) is taken too.
    std::vector<column> cols = notification_cols("toast", "<toast/>");
    cols[2] = {3, {0, 0x80, 0}};
    EXPECT_EQ(classify(padded(record(cols), 33)).size(), 1u);
}

TEST(ClassifyRecoveredRecord, EveryIntegerSerialTypeIsTakenInEachIntegerColumn) {
    const struct {
        std::vector<column> row;
        std::size_t at;
        std::uint64_t mask;
    } cases[] = {
        // Id, HandlerId, ExpiryTime, ArrivalTime, DataVersion, BootId, ExpiresOnReboot.
        {notification_cols("toast", "<toast/>"), 1, kNotificationMask14},
        {notification_cols("toast", "<toast/>"), 2, kNotificationMask14},
        {notification_cols("toast", "<toast/>"), 8, kNotificationMask14},
        {notification_cols("toast", "<toast/>"), 9, kNotificationMask14},
        {notification_cols("toast", "<toast/>"), 10, kNotificationMask14},
        {notification_cols("toast", "<toast/>"), 12, kNotificationMask14},
        {notification_cols("toast", "<toast/>"), 13, kNotificationMask14},
        // WNFEventName.
        {handler_cols("Microsoft.Edge"), 4, kHandlerMask10},
        // HandlerId, ExpiryTime, CreatedTime, DeviceVersion.
        {push_channel_cols("1;abcdef"), 1, kPushChannelMask6},
        {push_channel_cols("1;abcdef"), 3, kPushChannelMask6},
        {push_channel_cols("1;abcdef"), 4, kPushChannelMask6},
        {push_channel_cols("1;abcdef"), 5, kPushChannelMask6},
    };
    // The bytes of each serial type's value, 7 (a real) among them.
    const std::size_t kSizes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
    for (const auto& k : cases) {
        for (std::uint64_t type : {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
            std::vector<column> row = k.row;
            row[k.at] = {type, std::vector<std::uint8_t>(kSizes[type], 0x01)};
            const std::vector<recovered_record> out = classify(padded(cell(record(row), 3), 30));
            const bool taken = out.size() == 1 && out[0].carried == k.mask && out[0].prefix_flag == 0;
            EXPECT_EQ(taken, type != 7) << "column " << k.at << " of mask " << k.mask << ", type " << type;
        }
    }
}

TEST(ClassifyRecoveredRecord, ShortTimesNeedAChannelIdentifier) {
    // An index entry of the settings (key, HandlerId, rowid) reads as a push channel of short times whose
    // identifier is empty; one that names a channel is one.
    for (const std::string channel : {"", "1;abcdef"}) {
        const std::vector<column> row = {
            text_col(channel), int8_col(4), text_col("s:toast"), const_col(1), {2, {0x01, 0x05}}};
        EXPECT_EQ(classify(padded(record(row), 30)).size(), channel.empty() ? 0u : 1u) << channel;
    }
}

TEST(ClassifyRecoveredRecord, ShorterLayoutsGetTheirOwnMasks) {
    const std::vector<column> full = notification_cols("badge", "<badge value=\"3\"/>");
    const struct {
        std::size_t columns;
        std::uint64_t mask;
    } cases[] = {{10, kNotificationMask10}, {11, kNotificationMask11}, {12, kNotificationMask12}};
    for (const auto& k : cases) {
        const std::vector<column> cols(full.begin(), full.begin() + static_cast<long>(k.columns));
        const std::vector<recovered_record> out = classify(padded(cell(record(cols), 3), 50));
        ASSERT_EQ(out.size(), 1u) << k.columns;
        EXPECT_EQ(out[0].carried, k.mask);
        EXPECT_EQ(count_of(out[0]), k.columns);
        EXPECT_EQ(out[0].prefix_flag, 0u) << k.columns;
    }
}

TEST(ClassifyRecoveredRecord, OverwrittenHeaderLengthMarksTheCandidateTruncated) {
    // A freeblock's size field has replaced the header-length byte.
    const std::vector<std::uint8_t> rec = record(notification_cols("toast", payload_for(2)), 0xA0);
    const std::vector<recovered_record> out = classify(padded(rec, 64));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].carried, kNotificationMask14);
    EXPECT_EQ(out[0].prefix_flag, 1u);
    EXPECT_EQ(count_of(out[0]), 14u);
    // Ten columns whose header-length byte says otherwise are taken as the ten-column layout, truncated.
    std::vector<column> cols = notification_cols("toast", "<toast/>");
    cols.resize(10);
    const std::vector<recovered_record> ten = classify(padded(record(cols, 0x30), 64));
    ASSERT_EQ(ten.size(), 1u);
    EXPECT_EQ(ten[0].carried, kNotificationMask10);
    EXPECT_EQ(ten[0].prefix_flag, 1u);
}

TEST(ClassifyRecoveredRecord, HeaderAtTheVeryStartReadsNothingBeforeTheBuffer) {
    // The serial type of Order is the buffer's first byte: there is no header-length byte to read.
    const std::vector<std::uint8_t> rec = record(notification_cols("toast", payload_for(3)));
    const std::vector<std::uint8_t> no_length(rec.begin() + 1, rec.end());
    EXPECT_TRUE(classify(no_length).empty());
    // With only the header-length byte before it, the record is found at position 1.
    const std::vector<recovered_record> out = classify(rec);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].position, 1u);
}

TEST(ClassifyRecoveredRecord, SeveralRecordsInOneBufferComeBackInOrder) {
    std::vector<std::uint8_t> buf(24, 0);
    for (int i = 1; i <= 3; ++i) {
        const std::vector<std::uint8_t> c = cell(record(notification_cols("toast", payload_for(i))), i);
        buf.insert(buf.end(), c.begin(), c.end());
    }
    buf.resize(buf.size() + 32, 0);
    const std::vector<recovered_record> out = classify(buf);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_LT(out[0].position, out[1].position);
    EXPECT_LT(out[1].position, out[2].position);
}

TEST(ClassifyRecoveredRecord, KeepAppendsAndOtherwiseTheVectorIsEmptiedFirst) {
    const std::vector<std::uint8_t> buf = padded(record(notification_cols("toast", "<toast/>")), 33);
    std::vector<recovered_record> out(2);
    EXPECT_EQ(
        classify_recovered_record(out, buf.data(), static_cast<std::uint32_t>(buf.size()), 0, 1, nullptr), 1);
    EXPECT_EQ(out.size(), 3u);
    EXPECT_EQ(
        classify_recovered_record(out, buf.data(), static_cast<std::uint32_t>(buf.size()), 0, 0, nullptr), 1);
    EXPECT_EQ(out.size(), 1u);
    const std::vector<std::uint8_t> zeros(64, 0);
    EXPECT_EQ(classify_recovered_record(out, zeros.data(), 64, 0, 1, nullptr), 0);
    EXPECT_EQ(out.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Handlers and push channels.

TEST(ClassifyRecoveredRecord, WindowsHandlerRowIsFoundWithTenColumns) {
    const std::vector<std::uint8_t> rec = record(handler_cols("Microsoft.Windows.Photos_8wekyb3d8bbwe!App"));
    const std::vector<std::uint8_t> c = cell(rec, 12);
    const std::vector<recovered_record> out = classify(padded(c, 30));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(kind_of(out[0]), kTableHandler);
    EXPECT_EQ(out[0].carried, kHandlerMask10);
    EXPECT_EQ(count_of(out[0]), 10u);
    EXPECT_EQ(out[0].prefix_flag, 0u);
    // After the cell prefix (payload size and rowid) and the header-length byte.
    EXPECT_EQ(out[0].position, 30u + (c.size() - rec.size()) + 1);
}

TEST(ClassifyRecoveredRecord, HandlerLayoutsOfNineColumnsAreRecognised) {
    std::vector<column> nine = handler_cols("Windows.SystemToast.Calling");
    nine.resize(9);
    std::vector<recovered_record> out = classify(padded(record(nine), 30));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].carried, kHandlerMask9);
    // The older layout with an empty secondary identifier after PrimaryId.
    std::vector<column> secondary = handler_cols("_some_handler");
    secondary.insert(secondary.begin() + 2, text_col(""));
    secondary.resize(9);
    out = classify(padded(record(secondary), 30));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].carried, kHandlerMaskSecondary);
}

TEST(ClassifyRecoveredRecord, HandlerIdentifiersMustLookLikeOne) {
    for (const std::string id : {"Microsoft.Edge", "WindowsApp", "_x", "ab.cd", "12345678-abcd", "x8wekyx"}) {
        EXPECT_EQ(classify(padded(record(handler_cols(id)), 30)).size(), 1u) << id;
    }
    for (const std::string id : {"abc", "1234567-abcd", "calling"}) {
        EXPECT_TRUE(classify(padded(record(handler_cols(id)), 30)).empty()) << id;
    }
    // A handler whose header-length byte was overwritten is not taken.
    EXPECT_TRUE(classify(padded(record(handler_cols("Microsoft.Edge"), 0x55), 30)).empty());
}

TEST(ClassifyRecoveredRecord, PushChannelRowsOfFiveAndSixColumns) {
    std::vector<recovered_record> out = classify(padded(cell(record(push_channel_cols("1;abcdef")), 2), 30));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(kind_of(out[0]), kTablePushChannel);
    EXPECT_EQ(out[0].carried, kPushChannelMask6);
    EXPECT_EQ(count_of(out[0]), 6u);
    EXPECT_EQ(out[0].prefix_flag, 0u);
    std::vector<column> five = push_channel_cols("1;abcdef");
    five.resize(5);
    out = classify(padded(record(five), 30));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].carried, kPushChannelMask5);
}

TEST(ClassifyRecoveredRecord, PushChannelWithOverwrittenHeaderNeedsAChannelIdentifier) {
    std::vector<recovered_record> out = classify(padded(record(push_channel_cols("2;9f8e7d"), 0x61), 30));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].prefix_flag, 1u);
    // Read for five columns the identifier would start one byte early, on DeviceVersion's serial type.
    EXPECT_EQ(out[0].carried, kPushChannelMask6);
    EXPECT_TRUE(classify(padded(record(push_channel_cols("chan1"), 0x61), 30)).empty());
}

TEST(ClassifyRecoveredRecord, RecogniserSwitchesChooseTheTables) {
    std::vector<std::uint8_t> buf(16, 0);
    for (const std::vector<std::uint8_t>& r :
         {record(notification_cols("toast", "<toast/>")), record(handler_cols("Microsoft.Edge")),
          record(push_channel_cols("1;abc"))}) {
        const std::vector<std::uint8_t> c = cell(r, 1);
        buf.insert(buf.end(), c.begin(), c.end());
    }
    buf.resize(buf.size() + 32, 0);
    test_run options;
    EXPECT_EQ(classify(buf, 0, &options).size(), 3u);
    const struct {
        std::int64_t switches;
        std::uint32_t kind;
    } cases[] = {{kRecogniseNotifications, kTableNotification},
                 {kRecogniseHandlers, kTableHandler},
                 {kRecognisePushChannels, kTablePushChannel}};
    for (const auto& k : cases) {
        options.recogniser_switches = k.switches;
        const std::vector<recovered_record> out = classify(buf, 0, &options);
        ASSERT_EQ(out.size(), 1u) << k.switches;
        EXPECT_EQ(kind_of(out[0]), k.kind);
    }
    options.recogniser_switches = 0;
    EXPECT_TRUE(classify(buf, 0, &options).empty());
}

TEST(ClassifyRecoveredRecord, RandomBytesNeverReadOutsideTheBuffer) {
    // Headers cut at every length, at every position near both ends (the sanitizers watch the reads).
    const std::vector<std::uint8_t> recs[] = {record(notification_cols("toast", payload_for(5))),
                                              record(handler_cols("Microsoft.Edge")),
                                              record(push_channel_cols("1;abc"))};
    for (const std::vector<std::uint8_t>& rec : recs) {
        for (std::size_t cut = 1; cut <= rec.size(); ++cut) {
            for (std::size_t lead = 0; lead < 3; ++lead) {
                std::vector<std::uint8_t> buf(lead, 0x81);
                buf.insert(buf.end(), rec.begin(), rec.begin() + static_cast<long>(cut));
                std::vector<recovered_record> out;
                classify_recovered_record(out, buf.data(), static_cast<std::uint32_t>(buf.size()), 0, 0,
                                          nullptr);
                for (const recovered_record& c : out) EXPECT_LT(c.position, buf.size());
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Schemas for masks.

TEST(MatchRecordSchemas, KnownMasksBuildOneFieldPerBit) {
    table_schema s;
    ASSERT_EQ(match_notification_record(s, kNotificationMask12, false), 1);
    ASSERT_EQ(s.fields.size(), 12u);
    EXPECT_EQ(s.column_mask, kNotificationMask12);
    for (std::size_t i = 0; i < s.fields.size(); ++i) {
        EXPECT_EQ(s.fields[i].column_bit, 1ull << i);
        EXPECT_EQ(s.fields[i].present, 1u);
        EXPECT_TRUE(s.fields[i].name.empty());
    }
    EXPECT_TRUE(s.signature_digest_text.empty());
    ASSERT_EQ(match_handler_record(s, kHandlerMask9, false), 1);
    ASSERT_EQ(s.fields.size(), 9u);
    EXPECT_EQ(s.fields[2].column_bit, 1ull << 3);  // bit 2 is not part of the Windows layout
    ASSERT_EQ(match_push_channel_record(s, kPushChannelMask5, false), 1);
    EXPECT_EQ(s.fields.size(), 5u);
}

TEST(MatchRecordSchemas, UnknownMasksLeaveAnEmptySchema) {
    table_schema s;
    ASSERT_EQ(match_notification_record(s, kNotificationMask14, false), 1);
    EXPECT_EQ(match_notification_record(s, 511, false), 0);
    EXPECT_TRUE(s.fields.empty());
    EXPECT_EQ(s.column_mask, 0u);
    EXPECT_EQ(match_handler_record(s, 2047, false), 0);
    EXPECT_EQ(match_push_channel_record(s, 127, false), 0);
    EXPECT_EQ(match_push_channel_record(s, 0, false), 0);
}

TEST(MatchRecordSchemas, VerifyNamesTheFieldsAndSignsTheLayout) {
    table_schema a, b, c;
    ASSERT_EQ(match_notification_record(a, kNotificationMask14, true), 1);
    EXPECT_EQ(a.fields[5].name, "Payload");
    EXPECT_EQ(a.fields[5].name_lower, "payload");
    EXPECT_EQ(a.fields[13].name, "ExpiresOnReboot");
    EXPECT_EQ(a.signature_digest_text.size(), 36u);
    ASSERT_EQ(match_notification_record(b, kNotificationMask14, true), 1);
    EXPECT_EQ(a.signature_digest_text, b.signature_digest_text);
    ASSERT_EQ(match_notification_record(c, kNotificationMask12, true), 1);
    EXPECT_NE(a.signature_digest_text, c.signature_digest_text);
    ASSERT_EQ(match_handler_record(c, kHandlerMask10, true), 1);
    EXPECT_EQ(c.fields[2].name, "WNSId");
}

// ---------------------------------------------------------------------------------------------
// Sorting into the vectors.

// A carved record as the page walker builds it from a candidate.
recovered_record carved(std::uint32_t kind, std::uint64_t mask, const std::vector<std::string>& values,
                        std::uint64_t rowid, unsigned source = kSourceMainSlack) {
    recovered_record r;
    r.values = values;
    r.column_flags.assign(values.size(), 3);
    r.rowid = rowid;
    r.record_offset = 0x1000 + rowid;
    r.flags = source << kSourceShift;
    r.table_kind = kind;
    r.column_count = static_cast<std::uint8_t>(values.size());
    r.carried = mask;
    return r;
}

std::vector<std::string> notification_values(const std::string& handler, const std::string& payload) {
    return {"",
            "101",
            handler,
            std::string(16, 'A'),
            "toast",
            payload,
            "",
            "",
            "132521873530000001",
            "132521873530000000",
            "0",
            "Xml",
            "0",
            "0"};
}

TEST(AddRecoveredRecords, EmptyInputOrNoOptionsGivesZero) {
    test_run options;
    EXPECT_EQ(add_recovered_records({}, &options), 0);
    EXPECT_EQ(
        add_recovered_records({carved(1, kNotificationMask14, notification_values("3", "<t/>"), 4)}, nullptr),
        0);
}

TEST(AddRecoveredRecords, NotificationsTakeTheRowidAndReferTheirHandler) {
    test_run options;
    std::vector<recovered_record> rows = {
        carved(1, kNotificationMask14, notification_values("3", payload_for(1)), 17),
        carved(1, kNotificationMask14, notification_values("5", payload_for(2)), 0)};
    rows[1].truncated = 1;
    EXPECT_EQ(add_recovered_records(rows, &options), 1);
    ASSERT_EQ(options.store.notifications.size(), 2u);
    const notification_record n = recovered(options)[0];
    EXPECT_EQ(n.order, 17u);
    EXPECT_EQ(n.rowid, 17u);
    EXPECT_EQ(n.id, 101u);
    EXPECT_EQ(n.handler_id, 3u);
    EXPECT_EQ(n.type, "toast");
    EXPECT_EQ(n.payload, payload_for(1));
    EXPECT_EQ(n.payload_type, "Xml");
    EXPECT_EQ(n.arrival_time, 132521873530000000u);
    EXPECT_EQ(n.source_code(), kSourceMainSlack);
    EXPECT_EQ(n.record_offset, 0x1000u + 17);
    EXPECT_EQ(n.table_kind, kTableNotification);
    EXPECT_EQ(n.column_mask, kNotificationMask14);
    EXPECT_EQ(recovered(options)[1].order, 0u);
    EXPECT_EQ(recovered(options)[1].truncated, 1u);
    EXPECT_EQ(recovered(options)[1].handler_id, 5u);
    // The run's schemas stay as they were; the joins count the columns the records were sorted with.
    EXPECT_EQ(options.layout.schemas[kSchemaNotification].column_mask, 0u);
    EXPECT_EQ(options.layout.join_columns[kSchemaNotification], 14u);
    EXPECT_EQ(options.layout.join_columns[kSchemaHandler], 0u);
}

TEST(AddRecoveredRecords, SchemaIsRebuiltWhenTheMaskChanges) {
    test_run options;
    std::vector<std::string> ten = notification_values("3", "<toast/>");
    ten.resize(10);
    std::vector<recovered_record> rows = {
        carved(1, kNotificationMask10, ten, 2),
        carved(1, kNotificationMask14, notification_values("4", "<tile/>"), 3)};
    rows[1].values[4] = "tile";
    add_recovered_records(rows, &options);
    ASSERT_EQ(options.store.notifications.size(), 2u);
    EXPECT_EQ(recovered(options)[0].column_mask, kNotificationMask10);
    EXPECT_EQ(recovered(options)[0].payload_type, "xml");  // column 11 was not in the row
    EXPECT_EQ(recovered(options)[1].column_mask, kNotificationMask14);
    EXPECT_EQ(recovered(options)[1].payload_type, "Xml");
    EXPECT_TRUE(options.layout.schemas[kSchemaNotification].fields.empty());
    EXPECT_EQ(options.layout.join_columns[kSchemaNotification], 14u);
}

TEST(AddRecoveredRecords, HandlersAndPushChannelsAreIndexed) {
    test_run options;
    const std::vector<std::string> handler = {"",
                                              "Microsoft.Windows.Photos_8wekyb3d8bbwe!App",
                                              "",
                                              "app:desktop",
                                              "7",
                                              "",
                                              "2020-12-11 19:09:13",
                                              "2020-12-11 19:10:14",
                                              "",
                                              ""};
    const std::vector<std::string> channel = {
        "1;abc", "9", "https://x", "132521873530000001", "132521873530000000", "0"};
    const std::vector<recovered_record> rows = {carved(2, kHandlerMask10, handler, 9),
                                                carved(4, kPushChannelMask6, channel, 2),
                                                carved(2, kHandlerMask10, handler, 9)};
    add_recovered_records(rows, &options);
    ASSERT_EQ(options.store.handlers.size(), 2u);
    EXPECT_EQ(options.store.handlers[0].record_id, 9u);
    EXPECT_EQ(options.store.handlers[0].primary_id(), "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
    EXPECT_EQ(options.store.handlers[0].wns_id(), "");
    EXPECT_EQ(options.store.handlers[0].handler_type(), "app:desktop");
    EXPECT_EQ(options.store.handlers[0].created_time(), "2020-12-11 19:09:13");
    EXPECT_EQ(options.store.handlers[0].source_code(), kSourceMainSlack);
    EXPECT_EQ(options.store.handlers[0].record_offset, 0x1000u + 9);
    // The first handler of an id keeps the index.
    EXPECT_EQ(options.store.handler_for(9), &options.store.handlers[0]);
    ASSERT_EQ(options.store.push_channels.size(), 1u);
    EXPECT_EQ(options.store.push_channels[0].channel_id(), "1;abc");
    EXPECT_EQ(options.store.push_channels[0].handler_id, 9u);
    EXPECT_EQ(options.store.push_channel_for(9), &options.store.push_channels[0]);
}

TEST(AddRecoveredRecords, OtherKindsAndRowsTooWideForTheirMaskAreLeftOut) {
    test_run options;
    std::vector<std::string> eleven = notification_values("3", "<toast/>");
    eleven.resize(11);
    const std::vector<recovered_record> rows = {carved(8, 7, {"1", "s:toast", "1"}, 1),
                                                carved(1, kNotificationMask10, eleven, 1),
                                                carved(1, 12345, notification_values("3", "<toast/>"), 1)};
    EXPECT_EQ(add_recovered_records(rows, &options), 1);
    EXPECT_TRUE(options.store.notifications.empty());
    EXPECT_TRUE(options.store.settings.empty());
}

TEST(AddRecoveredRecords, TruncatedColumnsOfACarvedRowAreTagged) {
    // Columns the body no longer covered carry the truncation mark from the value decoder.
    test_run options;
    recovered_record r = carved(1, kNotificationMask14, notification_values("3", "<toast><text>cut"), 0);
    r.column_flags[5] |= kColTruncatedMark;
    r.truncated = 1;
    add_recovered_records({r}, &options);
    ASSERT_EQ(options.store.notifications.size(), 1u);
    EXPECT_EQ(recovered(options)[0].payload.rfind("<toast><text>cut", 0), 0u);
    EXPECT_NE(recovered(options)[0].payload.find(kTagOverflowPage), std::string::npos);
}

TEST(AddRecoveredRecords, VerifyGivesTheRecordsTheLayoutDigest) {
    test_run options;
    options.verify = 1;
    add_recovered_records({carved(1, kNotificationMask14, notification_values("3", "<toast/>"), 1)},
                          &options);
    ASSERT_EQ(options.store.notifications.size(), 1u);
    table_schema expected;
    match_notification_record(expected, kNotificationMask14, true);
    EXPECT_EQ(recovered(options)[0].signature_digest_text, expected.signature_digest_text);
    EXPECT_FALSE(recovered(options)[0].signature_text.empty());
}

}  // namespace
