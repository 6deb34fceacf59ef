#include "notifications/bodyfile_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <streambuf>
#include <string>

namespace {

class failing_buf : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

const char kHeader[] =
    "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time\n";

TEST(BodyfileOutputTest, default_context_prints_eleven_zero_fields) {
    bodyfile_v3_context ctx;
    EXPECT_EQ(ctx.time_zone, "UTC");
    EXPECT_EQ(ctx.macb.kind, 8u);
    bool pending = false;
    std::ostringstream os;
    EXPECT_EQ(write_bodyfile_record(pending, os, ctx), 1);
    EXPECT_EQ(os.str(), "0||0||0|0|0|0|0|0|0\n");
}

TEST(BodyfileOutputTest, times_print_in_bodyfile_order) {
    bodyfile_v3_context ctx;
    ctx.macb.set_times(1, 2, 3, 4, 8);
    ctx.md5 = "d41d8cd98f00b204e9800998ecf8427e";
    ctx.inode = "12";
    ctx.mode = "r/rrwxrwxrwx";
    ctx.uid = 501;
    ctx.gid = 20;
    ctx.size = 4096;
    bool pending = false;
    std::ostringstream os;
    write_bodyfile_record(pending, os, ctx);
    EXPECT_EQ(os.str(), "d41d8cd98f00b204e9800998ecf8427e||12|r/rrwxrwxrwx|501|20|4096|2|1|3|4\n");
}

TEST(BodyfileOutputTest, filetime_birth_becomes_unix_seconds) {
    bodyfile_v3_context ctx;
    ctx.macb.set_times(0, 0, 0, 132521874959020000ULL, 1);  // 2020-12-11 19:11:35.902
    bool pending = false;
    std::ostringstream os;
    write_bodyfile_record(pending, os, ctx);
    EXPECT_EQ(os.str(), "0||0||0|0|0|0|0|0|1607713895\n");
}

TEST(BodyfileOutputTest, bars_inside_texts_cannot_add_fields) {
    bodyfile_v3_context ctx;
    ctx.name = "Recovered Data; Payload: a|b|c";
    ctx.mode = "x|y";
    bool pending = false;
    std::ostringstream os;
    write_bodyfile_record(pending, os, ctx);
    EXPECT_EQ(os.str(), "0|Recovered Data; Payload: a;b;c|0|x;y|0|0|0|0|0|0|0\n");
    EXPECT_EQ(ctx.name, "Recovered Data; Payload: a;b;c");
}

TEST(BodyfileOutputTest, header_only_before_the_first_line) {
    cmd_params o;
    o.sqlite_off = false;  // "-sqlite" given, no run log open: lines keep their breaks
    bodyfile_v3_context first;
    first.options = &o;
    bodyfile_v3_context second;
    second.options = &o;
    second.name = "n";
    std::ostringstream os;
    write_bodyfile_record(o.header_on, os, first);
    EXPECT_FALSE(o.header_on);
    write_bodyfile_record(o.header_on, os, second);
    EXPECT_EQ(os.str(), std::string(kHeader) + "0||0||0|0|0|0|0|0|0\n0|n|0||0|0|0|0|0|0|0\n");
    first.clear();
    EXPECT_EQ(first.options, nullptr);
}

TEST(BodyfileOutputTest, an_open_run_log_takes_the_header_and_the_line) {
    const std::string path =
        std::string(SELK_TEST_TMP) + "/bodyfile_output_" + std::to_string(::getpid()) + "/log.db";
    sqlite_data_log log;
    sqlite_metadata_row run;
    ASSERT_TRUE(log.open(0, path, run, "", true));
    cmd_params o;
    o.sqlite_off = false;
    o.source_type = "PushNotification artifact";
    bodyfile_v3_context ctx;
    ctx.options = &o;
    ctx.run_log = &log;
    ctx.name = "n";
    ctx.macb.set_times(10, 20, 30, 40, 8);
    std::ostringstream os;
    EXPECT_EQ(write_bodyfile_record(o.header_on, os, ctx), 1);
    EXPECT_EQ(os.str(), "");
    EXPECT_EQ(log.run_row.col_hdrs + "\n", kHeader);
    EXPECT_EQ(log.run_row.artifact_type, "PushNotification artifact");
    ASSERT_EQ(log.pending_row_count(), 1);
    const sqlite_generic_data_row& row = log.pending_rows[0];
    EXPECT_EQ(row.desired_output, "0|n|0||0|0|0|20|10|30|40");
    EXPECT_EQ(row.val1, 10u);
    EXPECT_EQ(row.val2, 20u);
    EXPECT_EQ(row.val3, 30u);
    EXPECT_EQ(row.val4, 40u);
    EXPECT_EQ(row.str1, "n");
    EXPECT_EQ(row.str2, "PushNotification artifact");
    log.clear_pending();
}

TEST(BodyfileOutputTest, failed_output_is_reported) {
    failing_buf buf;
    std::ostream os(&buf);
    bodyfile_v3_context ctx;
    bool pending = true;
    EXPECT_EQ(write_bodyfile_record(pending, os, ctx), 0);
    EXPECT_FALSE(pending);
}

}  // namespace
