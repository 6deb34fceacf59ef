#include "notifications/timeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "notifications/row_run_log.h"

namespace {

constexpr std::uint64_t kT = 132521874959020000ULL;  // 2020-12-11 19:11:35.902

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

std::string summary(const macb_context& ctx, bool line_break, bool fn83, bool fn) {
    std::ostringstream os;
    write_macb_summary(ctx, os, line_break, fn83, fn);
    return os.str();
}

TEST(TimelineTest, summary_shows_the_sets_asked_for) {
    macb_context ctx;
    EXPECT_EQ(summary(ctx, true, true, true), "");
    ctx.set_si_m();
    ctx.set_si_b();
    ctx.set_fn_a();
    EXPECT_EQ(summary(ctx, false, true, false), "si:[m..b]");
    ctx.set_fn83_c();
    EXPECT_EQ(summary(ctx, true, true, true), "si:[m..b]; fn:[.a..]; fn8.3[..c.]\n");
    macb_context fn_only;
    fn_only.set_c(kMacbSetFn);
    fn_only.set_b(4);  // not a set: ignored
    fn_only.set_m(0);
    EXPECT_EQ(summary(fn_only, false, true, true), "fn:[..c.]");
    EXPECT_EQ(fn_only.si_set, 0);
    macb_context copy(ctx);
    copy.clear();
    EXPECT_EQ(copy.si, "....");
    EXPECT_EQ(ctx.si, "m..b");
}

TEST(TimelineTest, merge_gathers_letters_per_instant) {
    std::map<std::uint64_t, macb_context> map;
    merge_macb_events(map, kMacbSetSi, kT, kT, 0, 0, nullptr, false);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map[kT].si, "ma..");
    EXPECT_EQ(map[kT].si_set, 1);
    merge_macb_events(map, kMacbSetFn, 0, 0, kT, kT + 1, L"file.txt", false);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map[kT].fn, "..c.");
    EXPECT_EQ(map[kT].si, "ma..");
    EXPECT_EQ(map[kT].names.count("file.txt"), 1u);
    EXPECT_EQ(map[kT + 1].fn, "...b");
    EXPECT_EQ(map[kT + 1].si_set, 0);
    EXPECT_EQ(map[kT + 1].names.count("file.txt"), 1u);
    merge_macb_events(map, kMacbSetFn83, kT + 1, 0, 0, 0, L"FILE~1.TXT", true);
    EXPECT_EQ(map[kT + 1].fn83, "m...");
    EXPECT_EQ(map[kT + 1].names_8_3.count("FILE~1.TXT"), 1u);
}

TEST(TimelineTest, source_and_offset_text) {
    EXPECT_EQ(output_json_src_offset(2, 0, true, true), "{\"source\":\"main db slack\"}");
    EXPECT_EQ(output_json_src_offset(3, 4096, true, false),
              "\"source\":\"carve main\"; \"offset\":\"0x00001000\"");
    EXPECT_EQ(output_json_src_offset(10, 8192, false, true),
              "{\"source\":\"carve wal\"; \"offset\":\"8192\"}");
    EXPECT_EQ(output_json_src_offset(3, 0x123456789ULL, true, false),
              "\"source\":\"carve main\"; \"offset\":\"0x123456789\"");
}

TEST(TimelineTest, generic_header_zeroes_its_numbers) {
    generic_hdr hdr;
    EXPECT_EQ(hdr.event_time | hdr.spare_numbers[0] | hdr.spare_numbers[1] | hdr.spare_numbers[2] |
                  hdr.spare_numbers[3],
              0u);
    EXPECT_TRUE(hdr.str1.empty());
    EXPECT_TRUE(hdr.str2.empty());
}

TEST(TimelineTest, generic_writer_prints_header_entries_and_names) {
    setenv("TZ", "UTC", 1);
    log2timeline_context ctx;
    std::map<std::uint64_t, macb_context> map;
    bool pending = true;
    std::ostringstream none;
    EXPECT_EQ(write_generic_csv_header(pending, none, map, ctx), 0);  // no options
    EXPECT_TRUE(none.str().empty());

    cmd_params o;
    o.no_whitespace = true;
    o.padded_separator = false;
    o.separator = ",";
    o.pair_datetime = true;
    ctx.set_from_options(&o);
    ctx.inode = "42";
    ctx.notes = "file";
    ctx.extension = "txt";
    ctx.ref_count = 1;
    ctx.filename = "/x/file.txt";
    merge_macb_events(map, kMacbSetSi, kT, kT, kT, kT, nullptr, false);
    merge_macb_events(map, kMacbSetFn, kT, 0, 0, kT, L"file.txt", false);
    merge_macb_events(map, kMacbSetSi, kT + 10000000ULL, 0, 0, 0, nullptr, false);
    ctx.date_start = 1;
    ctx.date_end = kT;  // the second instant lies outside the range
    std::ostringstream os;
    EXPECT_EQ(write_generic_csv_header(pending, os, map, ctx), 1);
    EXPECT_FALSE(pending);
    EXPECT_FALSE(o.header_on);
    const std::vector<std::string> lines = lines_of(os.str());
    ASSERT_EQ(lines.size(), 4u);  // header, the entry, its name row and the empty text of the other set
    EXPECT_EQ(
        lines[0],
        "mft entry,mft seqnum,parent mft,par seqnum,type,ext,ref,size data,date/time-utc,MACB,data type,"
        "other info,name,path,various data types");
    EXPECT_EQ(
        lines[1],
        "42,0x00000000,0x00000000,0x00000000,file,txt,1,0x00000000,2020-12-11 19:11:35.902,si:[macb],,,,,");
    EXPECT_EQ(lines[2],
              "42,0x00000000,0x00000000,0x00000000,file,txt,1,0x00000000,2020-12-11 19:11:35.902,fn:[m..b],,,"
              "file.txt,/x/file.txt,");
    const std::string tail = ",, (FN 8.3),/x/file.txt,";
    ASSERT_GE(lines[3].size(), tail.size());
    EXPECT_EQ(lines[3].substr(lines[3].size() - tail.size()), tail);
}

}  // namespace
