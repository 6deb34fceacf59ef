#include "io/diags_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

class diags_log_test : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/diags_log_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        path_ = templ + "/log.txt";
    }

    void open(std::uint32_t level) {
        options_.diagnostics_path = path_;
        options_.diagnostics = new std::ofstream(path_, std::ios::out | std::ios::trunc);
        options_.diagnostics_on = true;
        options_.log_level = level;
    }

    // Records are flushed one by one, so the file holds every record already written.
    std::string contents() const {
        std::ifstream in(path_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    cmd_params options_;
    std::string path_;
};

TEST_F(diags_log_test, nothing_is_written_without_a_log) {
    write_log_line(options_, "a");
    write_log_line_checked(&options_, "a");
    write_log_list(options_, {"a", "b"});
    const std::uint8_t bytes[2] = {1, 2};
    write_log_hex_dump(options_, bytes, 2, 0);
    diag_printf(&options_, "%d", 1);
    diag_printf_ex(options_, "%d", 1);
    diag_printf_tagged(options_, "t", "s", "%d", 1);
    std::ifstream in(path_);
    EXPECT_FALSE(in.good());
}

TEST_F(diags_log_test, plain_and_checked_lines) {
    open(0);
    write_log_line(options_, "");
    write_log_line_checked(&options_, "");
    write_log_line_checked(nullptr, "x");
    write_log_line_checked(&options_, "checked");
    std::ostringstream os;
    os << "stream " << 5;
    write_log_line_from_stream(options_, os);
    write_log_line_from_stream_checked(nullptr, os);
    std::stringstream ss;
    ss << "ss";
    write_log_line_from_stream_checked(&options_, ss);
    EXPECT_EQ(contents(), "->\n->checked\n->stream 5\n->ss\n");
}

TEST_F(diags_log_test, levels_gate_the_level_writers) {
    open(2);
    diag_printf_at_level(options_, 3, "three %s", "x");
    diag_printf_at_level(options_, 2, "two %s", "x");
    std::ostringstream os;
    os << "lvl";
    write_log_line_from_stream_at_level(options_, 3, os);
    write_log_line_from_stream_at_level(options_, 1, os);
    const std::uint8_t bytes[1] = {0x41};
    write_log_hex_dump_at_level(options_, 3, bytes, 1, 0);
    EXPECT_EQ(contents(), "->two x\n->lvl\n");
    options_.log_level = 3;
    diag_printf_at_level(options_, 3, "now");
    EXPECT_EQ(contents(), "->two x\n->lvl\n->now\n");
}

TEST_F(diags_log_test, lists_and_tagged_records) {
    open(0);
    write_log_list(options_, {"a", "", "b"});
    diag_printf_tagged(options_, "tag", "suffix", "n=%d", 4);
    diag_printf_tagged(options_, nullptr, nullptr, "bare");
    diag_printf_list(options_, {"x", "y"}, "found %d", 2);
    diag_printf(&options_, "%s-%s", "p", "q");
    diag_printf_ex(options_, "%05d", 42);
    EXPECT_EQ(contents(), "->a; ; b\n->tag : n=4: suffix\n->bare\n->found 2: x;y\n->p-q\n->00042\n");
}

// A path or value with control bytes never puts them raw into the log; a hex dump keeps its own lines.
TEST_F(diags_log_test, control_bytes_of_texts_and_arguments_are_shown) {
    open(0);
    write_log_line(options_, "new\nline\x1b.db");
    write_log_list(options_, {"a\tb", "c"});
    diag_printf(&options_, "path %s", "x\r\ny\x7f");
    diag_printf_list(options_, {"p\x1b"}, "n=%d", 1);
    EXPECT_EQ(contents(), "->new[LF]line[0x1B].db\n->a[0x09]b; c\n->path x[CRLF]y[0x7F]\n->n=1: p[0x1B]\n");
}

TEST_F(diags_log_test, formatted_text_keeps_at_most_format_length_plus_254) {
    open(0);
    const std::string big(1000, 'z');
    diag_printf_ex(options_, "%s", big.c_str());
    EXPECT_EQ(contents(), "->" + std::string(2 + 254, 'z') + "\n");
}

TEST_F(diags_log_test, hex_dump_of_twenty_bytes) {
    open(0);
    std::uint8_t bytes[20];
    for (int i = 0; i < 20; ++i) bytes[i] = static_cast<std::uint8_t>(0x41 + i);
    bytes[3] = 0x0a;
    write_log_hex_dump(options_, bytes, 20, 0x100);
    const std::string expected =
        "->[0x14]\n"
        "0x00000100 : 41 42 43 0a 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50   ABC.EFGHIJKLMNOP\n"
        "0x00000110 : 51 52 53 54 " +
        std::string(36, ' ') + "  QRST\n\n";
    EXPECT_EQ(contents(), expected);
}

TEST_F(diags_log_test, hex_dump_of_sixteen_bytes_ends_with_the_next_row_header) {
    open(0);
    std::uint8_t bytes[16] = {};
    write_log_hex_dump(options_, bytes, 16, 0);
    EXPECT_EQ(contents(),
              "->[0x10]\n0x00000000 : 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00   ................\n"
              "0x00000010 : \n");
}

TEST_F(diags_log_test, hex_dump_refuses_null_and_non_positive_counts) {
    open(0);
    const std::uint8_t bytes[1] = {1};
    write_log_hex_dump(options_, nullptr, 4, 0);
    write_log_hex_dump(options_, bytes, 0, 0);
    write_log_hex_dump(options_, bytes, -5, 0);
    EXPECT_EQ(contents(), "");
}

}  // namespace
