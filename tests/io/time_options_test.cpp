#include "io/time_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "time/ntp_time.h"

namespace {

class time_options_test : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        std::string templ = std::string(SELK_TEST_TMP) + "/time_options_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        path_ = templ + "/log.txt";
    }

    void open_log() {
        options_.diagnostics = new std::ofstream(path_);
        options_.diagnostics_on = true;
    }

    std::string log() const {
        std::ifstream in(path_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // A rule for the second Sunday of March, 02:00, to the first Sunday of November, 02:00.
    static zone_rule us_rule() {
        zone_rule z;
        z.dst_start = {0, 3, 2, 2, 0, 0, 0, 0};
        z.dst_end = {0, 11, 1, 2, 0, 0, 0, 0};
        return z;
    }

    cmd_params options_;
    std::string path_;
};

TEST_F(time_options_test, profile_line_needs_a_start_and_an_open_log) {
    write_profile_line(12345, options_, "x");
    open_log();
    write_profile_line(0, options_, "x");
    EXPECT_EQ(log(), "");
    std::uint64_t start = 0;
    set_current_ntp_time(&start);
    ASSERT_NE(start, 0u);
    write_profile_line(start, options_, "");
    write_profile_line(start, options_, "parse");
    EXPECT_TRUE(std::regex_match(
        log(), std::regex("->Profile: [0-9.e+-]+ secs\n->\\[parse\\] Profile: [0-9.e+-]+ secs\n")))
        << log();
}

TEST_F(time_options_test, dst_transitions_use_the_options_format_without_fraction) {
    // 2021-06-01 as FILETIME: 2021 has 1 March on a Monday, so the second Sunday is 14 March.
    const std::uint64_t june_2021 = 132669792000000000ull;
    std::ostringstream start_text;
    write_zone_dst_start(us_rule(), start_text, options_, june_2021);
    EXPECT_EQ(start_text.str(), "2021-03-14 02:00:00");
    std::ostringstream end_text;
    write_zone_dst_end(us_rule(), end_text, options_, june_2021);
    EXPECT_EQ(end_text.str(), "2021-11-07 02:00:00");
    EXPECT_EQ(options_.format_word.flags, 0u);  // the options are not changed
    options_.date_format = "mm/dd/yyyy";
    std::ostringstream other;
    write_zone_dst_start(us_rule(), other, options_, june_2021);
    EXPECT_EQ(other.str(), "03/14/2021 02:00:00");
}

TEST_F(time_options_test, bad_rule_writes_nothing) {
    zone_rule z = us_rule();
    z.dst_start.resize(7);
    std::ostringstream os;
    write_zone_dst_start(z, os, options_, 132669792000000000ull);
    EXPECT_EQ(os.str(), "");
}

}  // namespace
