#include "notifications/l2t_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

// 2020-12-11 19:11:35.902 UTC and one minute later, as FILETIME.
constexpr std::uint64_t kArrival = 132521874959020000ULL;
constexpr std::uint64_t kExpiry = kArrival + 600000000ULL;

class L2tOutputTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TZ", "UTC", 1); }

    // The tool's settings for "-csvl2t": "," separator, ',' replaced by ' ', one date/time column.
    static cmd_params l2t_options() {
        cmd_params o;
        o.tool_name = "selk";
        o.separator = ",";
        o.value_char = ',';
        o.value_char_replacement = ' ';
        o.pair_datetime = true;
        o.source_type = "PushNotification artifact";
        return o;
    }

    static macb_output event(std::uint64_t t, const char* macb, const char* type, const char* source) {
        return macb_output(t, macb, type, source, nullptr, nullptr, nullptr, nullptr, qm::type_filetime);
    }

    static std::vector<std::string> lines_of(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) out.push_back(line);
        return out;
    }

    static std::vector<std::string> columns_of(const std::string& line) {
        std::vector<std::string> out;
        std::string cell;
        std::istringstream in(line);
        while (std::getline(in, cell, ',')) out.push_back(cell);
        if (!line.empty() && line.back() == ',') out.push_back("");
        return out;
    }
};

class failing_buf : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(L2tOutputTest, event_constructor_keeps_valid_times_only) {
    macb_output ev(kArrival, "B", "ArrivalTime", "SELK_DB", "f", "u", "seven", "x", qm::type_filetime);
    EXPECT_EQ(ev.valid, 1);
    EXPECT_EQ(ev.kind, 1u);
    EXPECT_EQ(ev.filetime, kArrival);
    EXPECT_EQ(ev.macb, "B");
    EXPECT_EQ(ev.unprinted_text, "seven");
    macb_output unix_ev(1607713895ULL, "M", nullptr, "s", nullptr, nullptr, nullptr, nullptr, qm::type_unix);
    EXPECT_EQ(unix_ev.filetime, 132521874950000000ULL);
    EXPECT_EQ(unix_ev.kind, 1u);
    EXPECT_TRUE(unix_ev.type_text.empty());
    macb_output bad(0, "B", "t", "s", nullptr, nullptr, nullptr, nullptr, qm::type_filetime);
    EXPECT_EQ(bad.valid, 0);
    EXPECT_TRUE(bad.macb.empty());
    EXPECT_TRUE(bad.source.empty());
}

TEST_F(L2tOutputTest, same_time_and_source_merge_into_one_line) {
    cmd_params o = l2t_options();
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    macb_output b = event(kArrival, "B", "ArrivalTime", "SELK_DB");
    macb_output c = event(kArrival, "C", "ExpiryTime", "SELK_DB");
    EXPECT_EQ(ctx.insert_event(b), 1);
    EXPECT_EQ(ctx.insert_event(c), 1);
    ASSERT_EQ(ctx.events.size(), 1u);
    bool pending = false;
    std::ostringstream os;
    EXPECT_EQ(write_log2timeline_events(pending, os, ctx), 1);
    const std::vector<std::string> cols = columns_of(lines_of(os.str()).at(0));
    ASSERT_EQ(cols.size(), 16u);
    EXPECT_EQ(cols[2], "..CB");
    EXPECT_EQ(cols[5], "ExpiryTime; ArrivalTime");

    // The same event again sets the same letter and adds no text.
    macb_output again = event(kArrival, "b", "ArrivalTime", "SELK_DB");
    EXPECT_EQ(ctx.insert_event(again), 1);
    EXPECT_EQ(again.macb, "B");
    const macb_output& stored = ctx.events.begin()->second;
    EXPECT_EQ(stored.macb, "..CB");
    EXPECT_EQ(stored.letter_texts[3], "ArrivalTime");
}

TEST_F(L2tOutputTest, different_sources_stay_apart_in_insertion_order) {
    cmd_params o = l2t_options();
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    macb_output one = event(kArrival, "B", "ArrivalTime", "second");
    macb_output two = event(kArrival, "B", "ArrivalTime", "first");
    macb_output early = event(kArrival - 10000000ULL, "M", "Mod", "z");
    ctx.insert_event(one);
    ctx.insert_event(two);
    ctx.insert_event(early);
    bool pending = false;
    std::ostringstream os;
    write_log2timeline_events(pending, os, ctx);
    const std::vector<std::string> lines = lines_of(os.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(columns_of(lines[0])[3], "z");
    EXPECT_EQ(columns_of(lines[0])[2], "M...");
    EXPECT_EQ(columns_of(lines[1])[3], "second");
    EXPECT_EQ(columns_of(lines[2])[3], "first");
}

TEST_F(L2tOutputTest, refused_events_leave_the_map_unchanged) {
    log2timeline_context_ex ctx;
    macb_output x = event(kArrival, "x", "t", "s");
    EXPECT_EQ(ctx.insert_event(x), 0);
    macb_output no_source = event(kArrival, "M", "t", "");
    EXPECT_EQ(ctx.insert_event(no_source), 0);
    macb_output no_macb = event(kArrival, "", "t", "s");
    EXPECT_EQ(ctx.insert_event(no_macb), 0);
    macb_output zero;
    zero.source = "s";
    zero.macb = "M";
    EXPECT_EQ(ctx.insert_event(zero), 0);
    // Not marked valid: the time is read as FILETIME; year 1601 is not a valid time.
    macb_output early;
    early.filetime = 5;
    early.source = "s";
    early.macb = "A";
    EXPECT_EQ(ctx.insert_event(early), 0);
    EXPECT_TRUE(ctx.events.empty());
    macb_output raw;
    raw.filetime = kArrival;
    raw.source = "s";
    raw.macb = "m";
    EXPECT_EQ(ctx.insert_event(raw), 1);
    EXPECT_EQ(ctx.events.begin()->second.macb, "M...");
    EXPECT_EQ(ctx.events.begin()->second.valid, 1);
}

TEST_F(L2tOutputTest, commas_inside_texts_cannot_add_columns) {
    cmd_params o = l2t_options();
    o.user_name = "u,ser";
    o.host_name = "ho,st";
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    ctx.source = "SELK_DB";
    ctx.short_text = "app, (toast)";
    ctx.desc = "<toast a=\"1,2\"/>";
    ctx.notes = "PrimaryID: a,b";
    ctx.filename = "file,name";
    ctx.extra = "db: /tmp/x,y.db";
    macb_output ev(kArrival, "B", "ArrivalTime", "SELK_DB", "ev,file", nullptr, nullptr, "ev,extra",
                   qm::type_filetime);
    ctx.insert_event(ev);
    bool pending = true;
    std::ostringstream os;
    write_log2timeline_events(pending, os, ctx);
    const std::vector<std::string> lines = lines_of(os.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ','), 15);
    const std::vector<std::string> cols = columns_of(lines[1]);
    EXPECT_EQ(cols[6], "u ser");
    EXPECT_EQ(cols[7], "ho st");
    EXPECT_EQ(cols[8], "app  (toast)");
    EXPECT_EQ(cols[11], "ev file");
    EXPECT_EQ(cols[15], "ev extra");
    EXPECT_EQ(ctx.short_text, "app  (toast)");  // the context keeps the change
}

TEST_F(L2tOutputTest, whole_line_and_header_of_the_tool) {
    cmd_params o = l2t_options();
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    ctx.source = "SELK_DB";
    ctx.short_text = "app (toast)";
    ctx.desc = "<toast/>";
    ctx.notes = "PrimaryID: p";
    ctx.extra = "db: /tmp/n.db";
    macb_output b = event(kArrival, "B", "ArrivalTime", ctx.source.c_str());
    macb_output c = event(kExpiry, "C", "ExpiryTime", ctx.source.c_str());
    ctx.insert_event(b);
    ctx.insert_event(c);
    bool& pending = o.header_on;
    std::ostringstream os;
    EXPECT_EQ(write_log2timeline_events(pending, os, ctx), 1);
    EXPECT_FALSE(o.header_on);
    EXPECT_EQ(
        os.str(),
        "date/time,timezone,MACB,source,sourcetype,type,user,host,short,desc,version,filename,inode,notes,"
        "format,extra\n"
        " 2020-12-11 19:11:35.902,UTC,...B,SELK_DB,PushNotification artifact,ArrivalTime,,,app (toast),"
        "<toast/>,2,,,PrimaryID: p,selk (quillmar),db: /tmp/n.db\n"
        " 2020-12-11 19:12:35.902,UTC,..C.,SELK_DB,PushNotification artifact,ExpiryTime,,,app (toast),"
        "<toast/>,2,,,PrimaryID: p,selk (quillmar),db: /tmp/n.db\n");
    // The header goes out once per output.
    std::ostringstream second;
    write_log2timeline_events(pending, second, ctx);
    EXPECT_EQ(lines_of(second.str()).size(), 2u);
}

TEST_F(L2tOutputTest, date_time_layout_follows_whitespace_and_pairing) {
    cmd_params o = l2t_options();
    o.no_whitespace = true;
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    macb_output ev = event(kArrival, "B", "ArrivalTime", "s");
    ctx.insert_event(ev);
    bool pending = false;
    std::ostringstream os;
    write_log2timeline_events(pending, os, ctx);
    EXPECT_EQ(os.str().substr(0, 24), "2020-12-11 19:11:35.902,");

    log2timeline_context_ex two;  // defaults: two columns, no padding
    two.padded = 1;
    macb_output ev2 = event(kArrival, "B", "ArrivalTime", "s");
    two.insert_event(ev2);
    two.lower_macb = 1;
    bool hdr = true;
    std::ostringstream os2;
    write_log2timeline_events(hdr, os2, two);
    const std::vector<std::string> lines = lines_of(os2.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 19), "date,time,timezone,");
    EXPECT_EQ(lines[1].substr(0, 35), "2020-12-11, 19:11:35.902,UTC,...b,s");
    EXPECT_EQ(two.format, "-csvl2t");
}

TEST_F(L2tOutputTest, settings_come_from_the_options) {
    log2timeline_context ctx;
    ctx.set_from_options(nullptr);
    EXPECT_EQ(ctx.options, nullptr);
    EXPECT_EQ(ctx.separator, ",");
    cmd_params o = l2t_options();
    o.base16 = false;
    o.user_name = "alice";
    o.host_name = "box";
    ctx.set_from_options(&o);
    EXPECT_EQ(ctx.options, &o);
    EXPECT_EQ(ctx.ext_hex, 0);
    EXPECT_EQ(ctx.sourcetype, "PushNotification artifact");
    EXPECT_EQ(ctx.format, "selk (quillmar)");
    EXPECT_EQ(ctx.user, "alice");
    EXPECT_EQ(ctx.host, "box");
    EXPECT_EQ(ctx.one_column, 1);
    EXPECT_EQ(ctx.padded, 1);
    EXPECT_EQ(ctx.replace_from, ',');
    EXPECT_EQ(ctx.run_log, nullptr);
    ctx.clear();
    EXPECT_EQ(ctx.time_zone, "UTC");
    EXPECT_EQ(ctx.version, 2u);
    EXPECT_EQ(ctx.options, nullptr);
}

TEST_F(L2tOutputTest, inode_and_extended_columns) {
    log2timeline_context_ex ctx;
    format_value_hex_or_dec(ctx, 4096);
    EXPECT_EQ(ctx.inode, "4096");
    ctx.ext_hex = 1;
    format_value_hex_or_dec(ctx, 4096);
    EXPECT_EQ(ctx.inode, "0x00001000");

    ctx.set_extended_values(2, 0xffffffffffffULL, 9, 3, 100, "txt", nullptr);
    EXPECT_EQ(ctx.ext_on, 1u);
    EXPECT_EQ(ctx.parent_inode, 5u);
    EXPECT_EQ(ctx.parent_seqnum, 0u);
    ctx.clusters = "c1";
    ctx.set_extended_values(2, 0x20, 9, 3, 100, nullptr, nullptr);
    EXPECT_EQ(ctx.extension, "txt");
    EXPECT_EQ(ctx.clusters, "c1");
    ctx.header_info = {0x0a, 0xff};
    macb_output ev = event(kArrival, "M", "t", "s");
    ctx.insert_event(ev);
    bool pending = true;
    std::ostringstream os;
    write_log2timeline_events(pending, os, ctx);
    const std::vector<std::string> lines = lines_of(os.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(",extra,ref count,extension,size data,inode seqnum,parent inode,parent seqnum,"
                            "clusters,header info"),
              std::string::npos);
    const std::string tail = ",0x0002,txt,0x000064,0x0003,0x00000020,0x0009,c1,0a ff ";
    EXPECT_EQ(lines[1].substr(lines[1].size() - tail.size()), tail);
    ctx.ext_hex = 0;
    std::ostringstream dec;
    write_log2timeline_events(pending, dec, ctx);
    const std::string dec_tail = ",2,txt,100,3,32,9,c1, a ff ";
    const std::string line = lines_of(dec.str()).at(0);
    EXPECT_EQ(line.substr(line.size() - dec_tail.size()), dec_tail);
}

TEST_F(L2tOutputTest, date_range_and_line_breaks) {
    cmd_params o = l2t_options();
    o.sqlite_off = false;  // "-sqlite" given, but no run log is open: lines keep their breaks
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    macb_output b = event(kArrival, "B", "ArrivalTime", "s");
    macb_output c = event(kExpiry, "C", "ExpiryTime", "s");
    ctx.insert_event(b);
    ctx.insert_event(c);
    ctx.date_start = kExpiry;
    ctx.date_end = kExpiry;
    bool pending = false;
    std::ostringstream os;
    write_log2timeline_events(pending, os, ctx);
    const std::string text = os.str();
    EXPECT_EQ(lines_of(text).size(), 1u);
    EXPECT_NE(text.find("..C."), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(L2tOutputTest, an_open_run_log_takes_the_header_and_the_lines) {
    const std::string path =
        std::string(SELK_TEST_TMP) + "/l2t_output_" + std::to_string(::getpid()) + "/log.db";
    sqlite_data_log log;
    sqlite_metadata_row run;
    ASSERT_TRUE(log.open(0, path, run, "", true));
    cmd_params o = l2t_options();
    o.sqlite_on = true;
    o.sqlite_off = false;
    set_options_data_log(&o, &log);
    log2timeline_context_ex ctx;
    ctx.set_from_options(&o);
    EXPECT_EQ(ctx.run_log, &log);
    ctx.filename = "n.db";
    macb_output ev = event(kArrival, "B", "ArrivalTime", "SELK_DB");
    ctx.insert_event(ev);
    std::ostringstream os;
    EXPECT_EQ(write_log2timeline_events(o.header_on, os, ctx), 1);
    EXPECT_EQ(os.str(), "");
    EXPECT_FALSE(o.header_on);
    EXPECT_EQ(log.run_row.gen_hdrs, "date|null|null|null|null|MACB|artifact|output");
    EXPECT_EQ(log.run_row.col_hdrs.substr(0, 19), "date/time,timezone,");
    EXPECT_EQ(log.run_row.file, "n.db");
    ASSERT_EQ(log.pending_row_count(), 1);
    const sqlite_generic_data_row& row = log.pending_rows[0];
    EXPECT_EQ(row.val1, kArrival);
    EXPECT_EQ(row.str1, "...B");
    EXPECT_EQ(row.str2, "PushNotification artifact");
    EXPECT_NE(row.desired_output.back(), '\n');
    set_options_data_log(&o, nullptr);
    log.clear_pending();
}

TEST_F(L2tOutputTest, failed_output_is_reported) {
    failing_buf buf;
    std::ostream os(&buf);
    log2timeline_context_ex ctx;
    macb_output ev = event(kArrival, "B", "ArrivalTime", "s");
    ctx.insert_event(ev);
    bool pending = true;
    EXPECT_EQ(write_log2timeline_events(pending, os, ctx), 0);
}

TEST_F(L2tOutputTest, single_record_writer_uses_the_macb_input) {
    cmd_params o = l2t_options();
    log2timeline_context ctx;
    ctx.set_from_options(&o);
    ctx.source = "SELK_DB";
    ctx.desc = "line1\nline2";
    ctx.extra = "a,b";
    ctx.macb.set_labels("Last Modified", "Last Access", "ExpiryTime", "ArrivalTime");
    ctx.macb.set_times_raw(kArrival, 0, 0, kArrival, qm::type_filetime);
    bool pending = false;
    std::ostringstream os;
    EXPECT_EQ(write_log2timeline_events_alt(pending, os, ctx), 1);
    const std::vector<std::string> lines = lines_of(os.str());
    ASSERT_EQ(lines.size(), 1u);
    const std::vector<std::string> cols = columns_of(lines[0]);
    ASSERT_EQ(cols.size(), 16u);
    EXPECT_EQ(cols[0], " 2020-12-11 19:11:35.902");
    EXPECT_EQ(cols[2], "M..B");
    EXPECT_EQ(cols[3], "SELK_DB");
    EXPECT_EQ(cols[9], "line1[LF]line2");
    EXPECT_EQ(cols[15], "a b");
}

}  // namespace
