#include "notifications/report_timeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "report_records.h"
#include "test_run.h"

namespace {

using namespace report_records;

const char* const kL2tHeader =
    "date/"
    "time,timezone,MACB,source,sourcetype,type,user,host,short,desc,version,filename,inode,notes,format,"
    "extra";

std::vector<std::string> columns(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = line.find(',', start);
        out.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

class TimelineForms : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("TZ", "UTC", 1); }
};

TEST_F(TimelineForms, LibraryRecordGivesArrivalAndExpiryEvents) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "/c/wpn.db", "-csvl2t"}));
    options.db_path = "/c/wpn.db";
    set_full_masks(options);
    add_handler(options, 4, "Contoso.Mail_1a!App", "Contoso.Mail");
    const notification_record n = notification(1, 4, "toast", "<toast>hi, there</toast>");
    std::ostringstream os;
    ASSERT_EQ(write_notification_l2t(os, options, n, &options.store.handlers[0]), 1);
    const std::vector<std::string> out = lines_of(os.str());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], kL2tHeader);
    EXPECT_FALSE(options.header_on);
    const std::vector<std::string> b = columns(out[1]);
    const std::vector<std::string> c = columns(out[2]);
    ASSERT_EQ(b.size(), 16u);
    ASSERT_EQ(c.size(), 16u);
    EXPECT_EQ(b[0], " 2020-12-11 19:11:35.902");
    EXPECT_EQ(b[1], "UTC");
    EXPECT_EQ(b[2], "...B");
    EXPECT_EQ(b[3], "SELK_DB");
    EXPECT_EQ(b[4], "PushNotification artifact");
    EXPECT_EQ(b[5], "ArrivalTime");
    EXPECT_EQ(b[8], "Contoso.Mail (toast)");
    EXPECT_EQ(b[9], "<toast>hi  there</toast>");  // the comma cannot add a column
    EXPECT_EQ(b[13], "PrimaryID: Contoso.Mail_1a!App");
    EXPECT_EQ(b[15], "db: /c/wpn.db");
    EXPECT_EQ(c[2], "..C.");
    EXPECT_EQ(c[5], "ExpiryTime");

    // The header is written once per run.
    std::ostringstream second;
    ASSERT_EQ(write_notification_l2t(second, options, n, &options.store.handlers[0]), 1);
    EXPECT_EQ(lines_of(second.str()).size(), 2u);
}

TEST_F(TimelineForms, EqualTimesMergeIntoOneLine) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "d.db", "-csvl2t"}));
    set_full_masks(options);
    notification_record n = notification(1, 4, "toast", "p");
    n.expiry_time = n.arrival_time;
    std::ostringstream os;
    write_notification_l2t(os, options, n, nullptr);
    const std::vector<std::string> out = lines_of(os.str());
    ASSERT_EQ(out.size(), 2u);
    const std::vector<std::string> cols = columns(out[1]);
    EXPECT_EQ(cols[2], "..CB");
    EXPECT_EQ(cols[5], "ExpiryTime; ArrivalTime");
}

TEST_F(TimelineForms, RecoveredWalRecordNamesItsSourceAndTheLog) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "/c/wpn.db", "-csvl2t"}));
    options.db_path = "/c/wpn.db";
    set_full_masks(options);
    const notification_record n = recovered(notification(1, 4, "toast", "p"), kSourceCarveWal, 0x2000);
    std::ostringstream os;
    write_notification_l2t(os, options, n, nullptr);
    const std::vector<std::string> out = lines_of(os.str());
    ASSERT_EQ(out.size(), 3u);
    const std::vector<std::string> cols = columns(out[1]);
    ASSERT_EQ(cols.size(), 16u);
    EXPECT_EQ(cols[4], "PushNotification artifact [recovered data]");
    EXPECT_EQ(cols[8], "toast");  // no handler: the type alone
    EXPECT_EQ(cols[13], "");
    EXPECT_EQ(cols[15], "{\"source\":\"carve wal\"; \"offset\":\"0x00002000\"}; db: /c/wpn.db-wal");
}

TEST_F(TimelineForms, HiddenTypeAndZeroTimes) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "d.db", "-csvl2t"}));
    notification_record n = notification(1, 4, "toast", "p");
    n.column_mask = 0x3ef;  // Type (bit 4) not in the record's table
    n.arrival_time = 0;
    n.expiry_time = 0;
    std::ostringstream os;
    ASSERT_EQ(write_notification_l2t(os, options, n, nullptr), 1);
    // No event, but the pending header is still written.
    EXPECT_EQ(os.str(), std::string(kL2tHeader) + "\n");

    n.arrival_time = kArrival;
    std::ostringstream one;
    write_notification_l2t(one, options, n, nullptr);
    const std::vector<std::string> cols = columns(lines_of(one.str()).at(0));
    EXPECT_EQ(cols[8], "");
    EXPECT_EQ(cols[9], "p");
    EXPECT_EQ(cols[13], "");
}

TEST_F(TimelineForms, BodyfileLineCarriesTheArrivalTimeAsBirth) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "d.db", "-bodyfile"}));
    set_full_masks(options);
    add_handler(options, 4, "Contoso.Mail_1a!App", "Contoso.Mail");
    const notification_record n = notification(1, 4, "toast", "a|b");
    std::ostringstream os;
    ASSERT_EQ(write_notification_bodyfile(os, options, n, &options.store.handlers[0]), 1);
    const std::vector<std::string> out = lines_of(os.str());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0],
              "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time");
    EXPECT_EQ(out[1],
              "0|PushNotification artifact; Type: toast; PrimaryID: Contoso.Mail_1a!App; Payload: "
              "a;b|1||0|0|0|0|0|0|"
              "1607713895");
}

TEST_F(TimelineForms, EachMaskBitBlanksOnlyItsOwnText) {
    // Type is column 4 of the table, Payload column 5: without one, only its own text goes.
    struct form {
        const char* option;
        bool l2t;
    };
    for (const form& f : {form{"-csvl2t", true}, form{"-bodyfile", false}}) {
        auto render = [&f](int cleared_bit) {
            test_run options;
            EXPECT_TRUE(parse(options, {"-db", "d.db", f.option}));
            options.db_path = "d.db";
            set_full_masks(options);
            add_handler(options, 4, "Contoso.Mail_1a!App", "Contoso.Mail");
            notification_record n = notification(1, 4, "toast", "<toast>p</toast>");
            if (cleared_bit >= 0) n.column_mask &= ~(std::uint64_t{1} << cleared_bit);
            std::ostringstream os;
            if (f.l2t)
                write_notification_l2t(os, options, n, &options.store.handlers[0]);
            else
                write_notification_bodyfile(os, options, n, &options.store.handlers[0]);
            return lines_of(os.str());
        };
        const std::vector<std::string> all = render(-1);
        ASSERT_EQ(all.size(), f.l2t ? 3u : 2u) << f.option;
        for (int bit : {4, 5}) {
            std::vector<std::string> expected = all;
            for (std::size_t i = 1; i < expected.size(); ++i) {
                std::string& line = expected[i];
                const std::string piece = f.l2t
                                              ? (bit == 4 ? " (toast)" : "<toast>p</toast>")
                                              : (bit == 4 ? "Type: toast; " : "; Payload: <toast>p</toast>");
                const std::size_t at = line.find(piece);
                ASSERT_NE(at, std::string::npos) << line;
                line.erase(at, piece.size());
            }
            EXPECT_EQ(render(bit), expected) << f.option << " bit " << bit;
        }
    }
}

TEST_F(TimelineForms, BodyfileRecoveredWithoutHandlerAndZeroTime) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "d.db", "-bodyfile"}));
    set_full_masks(options);
    options.header_on = false;
    notification_record n = recovered(notification(1, 4, "tile", "<tile/>"), kSourceMainSlack, 0x1000);
    n.arrival_time = 0;
    std::ostringstream os;
    ASSERT_EQ(write_notification_bodyfile(os, options, n, nullptr), 1);
    // The inode field holds the Order and the offset, in decimal, as mactime takes it.
    EXPECT_EQ(
        os.str(),
        "0|Recovered Data; PushNotification artifact; Type: tile; Payload: <tile/>|1-4096||0|0|0|0|0|0|0\n");
}

// One writer reused from row to row (as the report and each formatter thread use it) writes each row as a
// writer of its own does: nothing of a row stays for the next.
TEST_F(TimelineForms, OneWriterGivesEachRowAsAWriterOfItsOwn) {
    for (const std::vector<std::string>& form : {std::vector<std::string>{"-csvl2t"},
                                                 {"-csvl2t", "-enable_quoted_csv_fields"},
                                                 {"-csvl2t", "-csv_separator", ";", "-no_whitespace"},
                                                 {"-bodyfile"}}) {
        test_run options;
        std::vector<std::string> words = {"-db", "/c/wpn.db"};
        words.insert(words.end(), form.begin(), form.end());
        ASSERT_TRUE(parse(options, words));
        options.db_path = "/c/wpn.db";
        set_full_masks(options);
        add_handler(options, 4, "Contoso.Mail_1a!App", "Contoso, Mail");
        std::vector<notification_record> rows = {
            notification(1, 4, "toast", "<toast>hi, \"there\"\n</toast>"),
            recovered(notification(2, 9, "tile", "p;q|r"), kSourceCarveWal, 0x2000),
            notification(3, 4, "badge", ""),
            recovered(notification(4, 4, "toast", "x"), kSourceMainSlack, 0x3000),
            notification(5, 9, "toast", "y")};
        rows[2].column_mask &= ~column_bit(kNotificationType);
        rows[2].expiry_time = rows[2].arrival_time;
        rows[3].arrival_time = 0;
        rows[4].column_mask &= ~(column_bit(kNotificationPayload) | column_bit(kNotificationType));
        rows[4].expiry_time = 0;
        const auto handler = [&options](const notification_record& n) {
            return n.handler_id == 4 ? &options.store.handlers[0] : nullptr;
        };

        std::ostringstream each;
        for (const notification_record& n : rows) {
            if (options.bodyfile)
                ASSERT_EQ(write_notification_bodyfile(each, options, n, handler(n)), 1);
            else
                ASSERT_EQ(write_notification_l2t(each, options, n, handler(n)), 1);
        }
        const report_view report(options);
        timeline_row_writer writer(report);
        bool header_pending = true;
        std::ostringstream one;
        for (const notification_record& n : rows)
            ASSERT_EQ(writer.write(one, report, header_pending, n, handler(n)), 1);
        EXPECT_FALSE(header_pending);
        EXPECT_EQ(one.str(), each.str()) << form[0];
        EXPECT_EQ(lines_of(one.str()).size(), options.bodyfile ? 6u : 8u) << form[0];
    }
}

}  // namespace
