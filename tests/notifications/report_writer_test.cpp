#include "notifications/report_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "report_records.h"
#include "test_run.h"

namespace {

using namespace report_records;

// Every printed row of a "-csv" run, without the header line.
std::vector<std::string> printed_rows(test_run& options, std::vector<notification_record>& records) {
    std::ostringstream os;
    write_records(os, options, records);
    std::vector<std::string> out = lines_of(os.str());
    if (!out.empty()) out.erase(out.begin());
    return out;
}

class ReportWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ASSERT_TRUE(parse(options, {"-db", "w.db", "-csv", "-incl_slack"}));
        options.db_path = "w.db";
        set_full_masks(options);
    }
    test_run options;
};

TEST_F(ReportWriter, EmptyVectorPrintsNothingNotEvenTheHeader) {
    std::vector<notification_record> none;
    std::ostringstream os;
    write_records(os, options, none);
    EXPECT_EQ(os.str(), "");
    EXPECT_TRUE(options.header_on);
}

TEST_F(ReportWriter, RecoveredDuplicatesAreDroppedWithinTheirFileFamily) {
    std::vector<notification_record> records = {
        recovered(notification(1, 0, "toast", "first"), kSourceMainSlack, 0x1400),
        recovered(notification(2, 0, "toast", "again"), kSourceMainSlack, 0x1400),
        recovered(notification(3, 0, "toast", "carved"), kSourceCarveMain, 0x1400),
        recovered(notification(4, 0, "toast", "from wal"), kSourceWalValid, 0x1400),
        recovered(notification(5, 0, "toast", "wal again"), kSourceWalSlack, 0x1400),
        recovered(notification(6, 0, "toast", "no offset"), kSourceMainSlack, 0),
        recovered(notification(7, 0, "toast", "no offset"), kSourceMainSlack, 0),
    };
    const std::vector<std::string> rows = printed_rows(options, records);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_NE(rows[0].find(",first,"), std::string::npos);
    EXPECT_NE(rows[1].find(",from wal,"), std::string::npos);
    EXPECT_NE(rows[2].find(",no offset,"), std::string::npos);
    EXPECT_NE(rows[3].find(",no offset,"), std::string::npos);
}

// Rows of the log whose frame offsets equal the offsets of rows of the main file (its overwritten pages, its
// free space, the own walk) are other rows: each prints once, written as a vector or one by one.
TEST_F(ReportWriter, LogRowsAtTheOffsetsOfMainFileRowsEachPrintOnce) {
    struct offset_case {
        unsigned first, second;  // source codes of two rows at one offset
        std::size_t printed;
    };
    const offset_case cases[] = {
        {kSourceWalOverwrites, kSourceWalSuperseded, 2}, {kSourceWalOverwrites, kSourceWalSlack, 2},
        {kSourceWalSlack, kSourceWalOverwrites, 2},      {kSourceWalOverwrites, kSourceWalValid, 2},
        {kSourceCarveMainFromWal, kSourceWalSlack, 2},   {kSourceMainSlack, kSourceWalSuperseded, 2},
        {kSourceWalOverwrites, kSourceWalOverwrites, 1}, {kSourceWalOverwrites, kSourceMainSlack, 1},
        {kSourceWalSuperseded, kSourceWalSlack, 1},      {kSourceCarveMainFromWal, kSourceWalOverwrites, 1},
    };
    for (const offset_case& c : cases) {
        for (const std::uint64_t offset : {std::uint64_t{0x1038}, std::uint64_t{0x40001FF0}}) {
            std::vector<notification_record> records = {
                recovered(notification(1, 0, "toast", "one"), c.first, offset),
                recovered(notification(2, 0, "toast", "two"), c.second, offset)};
            // Each run starts with the header due.
            test_run whole, one_by_one;
            for (test_run* run : {&whole, &one_by_one}) {
                ASSERT_TRUE(parse(*run, {"-db", "w.db", "-csv", "-incl_slack"}));
                run->db_path = "w.db";
                set_full_masks(*run);
            }
            EXPECT_EQ(printed_rows(whole, records).size(), c.printed) << c.first << " " << c.second;
            std::ostringstream os;
            record_writer writer(os, one_by_one);
            for (notification_record& n : records) EXPECT_TRUE(writer.write(n));
            EXPECT_EQ(lines_of(os.str()).size(), 1 + c.printed) << c.first << " " << c.second;
        }
    }
}

TEST(PrintedOffsets, EachOffsetIsNewOnceAlsoAcrossGrowth) {
    // Offsets a page apart and their neighbours, many times the first table's size; every byte of a few
    // pages, in falling order (more than a stretch holds in a list); the ends of the number range.
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t page = 1; page <= 3000; ++page) {
        offsets.push_back(page * 4096);
        offsets.push_back(page * 4096 + 1);
    }
    for (std::uint64_t page : {5000u, 5002u})
        for (std::uint64_t at = 4096; at-- > 0;) offsets.push_back(page * 4096 + at);
    for (std::uint64_t far :
         {std::uint64_t{0}, ~std::uint64_t{0}, ~std::uint64_t{0} - 4096, std::uint64_t{1} << 63})
        offsets.push_back(far);
    printed_offsets seen;
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::uint64_t offset : offsets) EXPECT_EQ(seen.insert(offset), pass == 0) << offset;
        // Out of order: an early offset again.
        EXPECT_FALSE(seen.insert(offsets[5]));
    }
    EXPECT_TRUE(seen.insert(5001 * 4096 + 7));
}

TEST_F(ReportWriter, LibraryRecordsAreNeverDeduplicatedAndEachCallStartsAfresh) {
    std::vector<notification_record> records = {notification(1, 0, "toast", "a"),
                                                notification(2, 0, "toast", "b")};
    records[0].record_offset = records[1].record_offset = 0x2000;
    EXPECT_EQ(printed_rows(options, records).size(), 2u);

    // The slack records of a second call are not suppressed by those of the first.
    std::vector<notification_record> slack = {
        recovered(notification(3, 0, "toast", "s"), kSourceMainSlack, 0x2000)};
    std::ostringstream first, second;
    write_records(first, options, slack);
    write_records(second, options, slack);
    EXPECT_EQ(lines_of(first.str()).size(), 1u);
    EXPECT_EQ(lines_of(second.str()).size(), 1u);
}

TEST_F(ReportWriter, JoinsHandlerAndFirstChannelIndependently) {
    add_handler(options, 7, "Contoso_1!App", "Contoso");
    add_channel(options, 9, "https://first");
    add_channel(options, 9, "https://second");
    // Identifier 9 has a channel but no handler; 7 has a handler but no channel.
    std::vector<notification_record> records = {notification(1, 9, "toast", "p9"),
                                                notification(2, 7, "toast", "p7")};
    const std::vector<std::string> rows = printed_rows(options, records);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[0].find(",https://first"), std::string::npos);
    EXPECT_EQ(rows[0].find("Contoso"), std::string::npos);
    EXPECT_NE(rows[1].find(",Contoso,"), std::string::npos);
    EXPECT_EQ(rows[1].find("https://"), std::string::npos);

    // A table without masked columns joins nothing. Entries added after a join are joined too, the first
    // of an id still first.
    EXPECT_NE(join_handler(report_view(options), records[1]), nullptr);
    options.layout.join_columns[kSchemaHandler] = 0;
    EXPECT_EQ(join_handler(report_view(options), records[1]), nullptr);
    options.layout.join_columns[kSchemaHandler] = kHandlerColumns;
    add_handler(options, 7, "Later_1!App", "Later");
    add_handler(options, 3, "Fabrikam_1!App", "Fabrikam");
    const notification_record third = notification(3, 3, "toast", "p3");
    ASSERT_NE(join_handler(report_view(options), third), nullptr);
    EXPECT_EQ(join_handler(report_view(options), third)->app_name(), "Fabrikam");
    EXPECT_EQ(join_handler(report_view(options), records[1])->app_name(), "Contoso");
    ASSERT_NE(join_push_channel(report_view(options), records[0]), nullptr);
    EXPECT_EQ(join_push_channel(report_view(options), records[0])->uri(), "https://first");
}

TEST(ReportWriterForms, BodyfileWinsOverLog2timeline) {
    ::setenv("TZ", "UTC", 1);
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "w.db", "-bodyfile"}));
    set_full_masks(options);
    options.csvl2t = true;
    std::vector<notification_record> records = {notification(1, 0, "toast", "p")};
    std::ostringstream os;
    write_records(os, options, records);
    const std::vector<std::string> out = lines_of(os.str());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].rfind("md5|name|", 0), 0u);
    EXPECT_EQ(out[1].substr(out[1].size() - 11), "|1607713895");
}

TEST(ReportWriterForms, PerTableBranchCreatesEmptyFilesAndPrintsNothing) {
    notification_fixtures::temp_dir dir;
    ASSERT_FALSE(dir.path().empty());
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "w.db"}));
    options.switches[kSwitchPerTableFiles] = 1;
    options.out_file = dir.file("report");
    std::vector<notification_record> records = {notification(1, 0, "toast", "p")};
    std::ostringstream os;
    write_records(os, options, records);
    EXPECT_EQ(os.str(), "");
    for (const char* suffix : {".notification.csv", ".notification_handler.csv", ".push_channel.csv"}) {
        struct stat st;
        ASSERT_EQ(::stat((options.out_file + suffix).c_str(), &st), 0) << suffix;
        EXPECT_EQ(st.st_size, 0) << suffix;
    }
    // Without a results file name nothing is created.
    options.out_file.clear();
    write_records(os, options, records);
    EXPECT_EQ(os.str(), "");
}

}  // namespace
