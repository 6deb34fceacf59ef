#include "notifications/table_queries.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "notification_db_fixtures.h"
#include "sqlite_format/table_schema.h"

using namespace notification_fixtures;

TEST(SchemaChecks, RealTablesGiveTheirFullMasks) {
    table_schema n, h, p, s;
    std::uint32_t end = 0;
    ASSERT_EQ(parse_table_schema(n, &end, notification_table_sql(), 0, 1), 1);
    ASSERT_EQ(parse_table_schema(h, &end, handler_table_sql(), 0, 1), 1);
    ASSERT_EQ(parse_table_schema(p, &end, push_channel_table_sql(), 0, 1), 1);
    ASSERT_EQ(parse_table_schema(s, &end, settings_table_sql(), 0, 1), 1);
    EXPECT_EQ(check_notification_schema(n), 16383u);
    EXPECT_EQ(check_handler_schema(h), 2043u);
    EXPECT_EQ(check_push_channel_schema(p), 63u);
    EXPECT_EQ(check_handler_settings_schema(s), 7u);
    // The first three mark their fields and keep the mask; the settings check leaves that to its caller.
    EXPECT_EQ(n.column_mask, 16383u);
    EXPECT_EQ(n.fields[7].name, "Group");
    EXPECT_EQ(n.fields[7].present, 1);
    EXPECT_EQ(n.fields[7].column_bit, 1u << 7);
    EXPECT_EQ(h.fields[2].name, "WNSId");
    EXPECT_EQ(h.fields[2].column_bit, 1u << 3);
    EXPECT_EQ(s.column_mask, 0u);
    EXPECT_EQ(s.fields[0].present, 0);
}

TEST(SchemaChecks, NamesCompareWithoutCaseAndOtherTablesGiveZero) {
    table_schema t;
    std::uint32_t end = 0;
    ASSERT_EQ(parse_table_schema(t, &end,
                                 "create table NOTIFICATION (ORDER integer, payload blob, extra text)", 0, 1),
              1);
    EXPECT_EQ(check_notification_schema(t), (1u << 0) | (1u << 5));
    EXPECT_EQ(t.fields[2].present, 0);
    EXPECT_EQ(check_handler_schema(t), 0u);

    table_schema unknown_columns;
    ASSERT_EQ(parse_table_schema(unknown_columns, &end, "create table wnspushchannel (a text, b int)", 0, 1),
              1);
    EXPECT_EQ(check_push_channel_schema(unknown_columns), 0u);
}

TEST(SelectQuery, QuotesEveryColumnName) {
    std::stringstream q;
    q << "stale";
    ASSERT_EQ(build_select_query(q, kTableNotification, 16383), 1);
    EXPECT_EQ(
        q.str(),
        "select "
        "`Order`,`Id`,`HandlerId`,`ActivityId`,`Type`,`Payload`,`Tag`,`Group`,`ExpiryTime`,`ArrivalTime`,"
        "`DataVersion`,`PayloadType`,`BootId`,`ExpiresOnReboot` from notification;");
    ASSERT_EQ(build_select_query(q, kTableHandler, 2043), 1);
    EXPECT_EQ(q.str(),
              "select `RecordId`,`PrimaryId`,`WNSId`,`HandlerType`,`WNFEventName`,`SystemDataPropertySet`,"
              "`CreatedTime`,`ModifiedTime`,`ParentId`,`ContainerSid` from notificationhandler;");
    ASSERT_EQ(build_select_query(q, kTableHandlerSettings, 5), 1);
    EXPECT_EQ(q.str(), "select `HandlerId`,`Value` from handlersettings;");
    ASSERT_EQ(build_select_query(q, kTablePushChannel, 63), 1);
    EXPECT_EQ(q.str(),
              "select `ChannelId`,`HandlerId`,`Uri`,`ExpiryTime`,`CreatedTime`,`DeviceVersion` from "
              "wnspushchannel;");
    EXPECT_EQ(build_select_query(q, 3, 1), 0);
    EXPECT_EQ(build_select_query(q, 0, 1), 0);
}
