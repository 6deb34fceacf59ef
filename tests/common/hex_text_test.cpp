#include "common/hex_text.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <locale>
#include <sstream>

namespace {

const unsigned char kAb[] = {0x00, 0xAB};

TEST(BytesToHex, separator_and_prefix_go_between_and_before_bytes) {
    std::string out;
    EXPECT_EQ(bytes_to_hex(out, kAb, 2, ": ", true), 1);
    EXPECT_EQ(out, "0x00: 0xab");
    EXPECT_EQ(bytes_to_hex(out, kAb, 2, "", false), 1);
    EXPECT_EQ(out, "00ab");
    EXPECT_EQ(bytes_to_hex(out, kAb, 1, "-", false), 1);
    EXPECT_EQ(out, "00");
}

TEST(BytesToHex, null_or_empty_input_fails_and_leaves_output) {
    std::string out = "keep";
    EXPECT_EQ(bytes_to_hex(out, nullptr, 2, "", false), 0);
    EXPECT_EQ(bytes_to_hex(out, kAb, 0, "", false), 0);
    EXPECT_EQ(bytes_to_hex(out, kAb, -3, "", false), 0);
    EXPECT_EQ(out, "keep");
}

TEST(ByteVectorToHex, clears_output_and_joins_without_prefix) {
    std::string out = "old";
    EXPECT_EQ(byte_vector_to_hex(out, {}, ":", true), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(byte_vector_to_hex(out, {0x0f, 0xf0}, ":", true), 1);
    EXPECT_EQ(out, "0x0f:0xf0");
    EXPECT_EQ(byte_vector_to_hex_string({0x01, 0x23, 0xff}, "-"), "01-23-ff");
    EXPECT_EQ(byte_vector_to_hex_string({}, "-"), "");
    std::ostringstream os;
    write_byte_vector_hex({0xde, 0xad}, os);
    EXPECT_EQ(os.str(), "de ad");
}

TEST(BytesToHexSpaced, blanks_only_between_bytes) {
    const unsigned char b[] = {1, 0xa0, 0xff};
    std::string out = "x";
    EXPECT_EQ(bytes_to_hex_spaced(out, b, 3, true), "01 a0 ff");
    EXPECT_EQ(bytes_to_hex_spaced(out, b, 3, false), "01a0ff");
    EXPECT_EQ(bytes_to_hex_spaced(out, nullptr, 3, true), "");
    out = "x";
    EXPECT_EQ(bytes_to_hex_spaced(out, b, 0, true), "");
}

TEST(Hex16ToStream, writes_sixteen_pairs_and_leaves_stream_in_hex_zero_fill) {
    unsigned char b[16];
    for (int i = 0; i < 16; ++i) b[i] = static_cast<unsigned char>(i * 17);
    std::ostringstream os;
    hex16_to_stream(b, os);
    EXPECT_EQ(os.str(), "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff");
    // The stream keeps the state the helper left: hex, right-aligned, fill '0'.
    os << std::setw(4) << 10;
    EXPECT_EQ(os.str().substr(47), "000a");
    std::ostringstream line;
    hex16_line_to_stream(b, line);
    EXPECT_EQ(line.str(), os.str().substr(0, 47) + "\n");
}

TEST(HexDumpAppend, seventeen_bytes_give_full_line_and_padded_partial_line) {
    unsigned char b[17];
    for (int i = 0; i < 17; ++i) b[i] = static_cast<unsigned char>('A' + i);
    b[3] = 0x01;
    b[4] = 0x7f;
    std::string out = ">";
    EXPECT_EQ(hex_dump_append(out, b, 17, false), 1);
    const std::string first = "41 42 43 01 7f 46 47 48 49 4a 4b 4c 4d 4e 4f 50   ABC..FGHIJKLMNOP\n";
    const std::string second = "51 " + std::string(45, ' ') + "  Q";
    EXPECT_EQ(out, ">" + first + second);
}

TEST(HexDumpAppend, final_newline_also_follows_full_last_line) {
    unsigned char b[16] = {};
    std::string out;
    EXPECT_EQ(hex_dump_append(out, b, 16, true), 1);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.substr(out.size() - 2), "\n\n");
    std::string untouched = "u";
    EXPECT_EQ(hex_dump_append(untouched, nullptr, 16, true), 0);
    EXPECT_EQ(hex_dump_append(untouched, b, 0, true), 0);
    EXPECT_EQ(untouched, "u");
}

TEST(NumberToText, width_zero_is_chosen_by_magnitude) {
    std::string out;
    EXPECT_EQ(number_to_text(out, 0, true, 0), "0x00");
    EXPECT_EQ(number_to_text(out, 254, true, 0), "0xfe");
    EXPECT_EQ(number_to_text(out, 255, true, 0), "0x00ff");
    EXPECT_EQ(number_to_text(out, 65534, true, 0), "0xfffe");
    EXPECT_EQ(number_to_text(out, 65535, true, 0), "0x00ffff");
    EXPECT_EQ(number_to_text(out, 16777214, true, 0), "0xfffffe");
    EXPECT_EQ(number_to_text(out, 16777215, true, 0), "0x00ffffff");
    EXPECT_EQ(number_to_text(out, 0x123456789ULL, true, 0), "0x123456789");
}

TEST(NumberToText, explicit_width_and_decimal) {
    std::string out;
    EXPECT_EQ(number_to_text(out, 5, true, 3), "0x005");
    EXPECT_EQ(number_to_text(out, 0xabcdef, true, 2), "0xabcdef");
    EXPECT_EQ(number_to_text(out, 18446744073709551615ULL, false, 4), "18446744073709551615");
    EXPECT_EQ(number_to_text(out, 7, false, 0), "7");
}

TEST(PrepareNumberStream, sets_base_fill_and_pending_width) {
    std::ostringstream os;
    std::string prefix;
    EXPECT_EQ(prepare_number_stream(prefix, os, true, 4), "0x");
    os << 26 << '|' << 26;
    EXPECT_EQ(os.str(), "001a|1a");
    std::ostringstream dec;
    EXPECT_EQ(prepare_number_stream(prefix, dec, false, 5), "");
    dec << 42;
    EXPECT_EQ(dec.str(), "   42");
}

TEST(Fixed2ToText, two_digits_after_point) {
    std::string out;
    EXPECT_EQ(fixed2_to_text(out, 3.14159), "3.14");
    EXPECT_EQ(fixed2_to_text(out, 2.0), "2.00");
    EXPECT_EQ(fixed2_to_text(out, -0.5), "-0.50");
}

// A global locale with digit grouping and a decimal comma must not reach report numbers.
struct grouping_comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(NumberText, ignores_global_locale_grouping) {
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new grouping_comma));
    std::string out;
    EXPECT_EQ(number_to_text(out, 1234567, false, 0), "1234567");
    EXPECT_EQ(fixed2_to_text(out, 1234.5), "1234.50");
    EXPECT_EQ(seconds_to_text(out, 1000u * 86400u), "1000 days");
    EXPECT_EQ(parse_u64("1234", std::ios_base::dec), 1234u);
    std::locale::global(saved);
}

TEST(ParseU64, base_comes_from_flags) {
    EXPECT_EQ(parse_u64("ff", std::ios_base::hex), 255u);
    EXPECT_EQ(parse_u64("17", std::ios_base::oct), 15u);
    EXPECT_EQ(parse_u64("18446744073709551615", std::ios_base::dec), 18446744073709551615ULL);
    EXPECT_EQ(parse_u64("12", std::ios_base::dec | std::ios_base::showbase), 12u);
    EXPECT_EQ(parse_u64("zz", std::ios_base::hex), 0u);
    // No base bit: the stream takes the base from the prefix.
    EXPECT_EQ(parse_u64("0x1f", std::ios_base::fmtflags()), 31u);
    EXPECT_EQ(parse_u64("017", std::ios_base::fmtflags()), 15u);
    EXPECT_EQ(parse_u64("", std::ios_base::dec), 0u);
    EXPECT_EQ(parse_u64_wide(L"1A", std::ios_base::hex), 26u);
    EXPECT_EQ(parse_u64_wide(L"99", std::ios_base::dec), 99u);
    EXPECT_EQ(parse_u64_wide(L"no", std::ios_base::dec), 0u);
}

TEST(SecondsToText, parts_plurals_and_special_values) {
    std::string out = "x";
    EXPECT_EQ(seconds_to_text(out, 61), "1 min 1 sec");
    EXPECT_EQ(seconds_to_text(out, 3600), "1 hour");
    EXPECT_EQ(seconds_to_text(out, 90061), "1 day 1 hour 1 min 1 sec");
    EXPECT_EQ(seconds_to_text(out, 172800), "2 days");
    EXPECT_EQ(seconds_to_text(out, 172799), "1 day 23 hours 59 mins 59 secs");
    EXPECT_EQ(seconds_to_text(out, 2), "2 secs");
    EXPECT_EQ(seconds_to_text(out, 0), "");
    out = "x";
    EXPECT_EQ(seconds_to_text(out, 4294967295u), "");
    EXPECT_EQ(seconds_to_text(out, 4294967294u), "49710 days 6 hours 28 mins 14 secs");
}

TEST(MonthAbbreviation, twelve_names_else_empty) {
    EXPECT_EQ(month_abbreviation(1), "Jan");
    EXPECT_EQ(month_abbreviation(5), "May");
    EXPECT_EQ(month_abbreviation(12), "Dec");
    EXPECT_EQ(month_abbreviation(0), "");
    EXPECT_EQ(month_abbreviation(13), "");
    EXPECT_EQ(month_abbreviation(-1), "");
}

TEST(WriteOffsetLine, numbers_then_padded_label_and_value) {
    std::ostringstream os;
    EXPECT_EQ(write_offset_line(os, 0x1f, 0x2a0, 8, "name", "value"), 5u);
    EXPECT_EQ(os.str(), "0x01f : 0002a0 : name:   value\n");
    // The stream keeps hex and left alignment.
    os << std::setw(4) << 255 << '|';
    EXPECT_EQ(os.str().substr(31), "ff  |");
}

TEST(WritePositionLine, sum_first_then_offset_without_prefix) {
    std::ostringstream os;
    EXPECT_EQ(write_position_line(os, 0x10, 0x1000, 3, "label", ""), 0u);
    EXPECT_EQ(os.str(), "0x001010 : 010 : label:\n");
    std::ostringstream wide;
    write_position_line(wide, 0x1234, 0x12345678, 0, "a", "b");
    EXPECT_EQ(wide.str(), "0x123468ac : 1234 : a:b\n");
}

TEST(WriteNameAndRange, same_hex_on_both_sides_and_nothing_for_null) {
    std::ostringstream os;
    write_name_and_range(os, "pos", 0x1f);
    EXPECT_EQ(os.str(), "pos: 0x1f/0x1f");
    std::ostringstream none;
    write_name_and_range(none, nullptr, 1);
    EXPECT_EQ(none.str(), "");
}

TEST(EraseStreamTail, truncate_drops_trailing_separator) {
    std::ostringstream os;
    os << "a, b, ";
    EXPECT_EQ(erase_stream_tail(os, 2, true), 1);
    EXPECT_EQ(os.str(), "a, b");
    os << "!";
    EXPECT_EQ(os.str(), "a, b!");
}

TEST(EraseStreamTail, keeps_nul_bytes_inside_the_text) {
    std::ostringstream os;
    os << "a" << '\0' << "b; ";
    EXPECT_EQ(erase_stream_tail(os, 2, true), 1);
    EXPECT_EQ(os.str(), std::string("a\0b", 3));
}

TEST(EraseStreamTail, without_truncate_later_output_overwrites) {
    std::ostringstream os;
    os << "abcdef";
    EXPECT_EQ(erase_stream_tail(os, 3, false), 1);
    EXPECT_EQ(os.str(), "abcdef");
    os << "XY";
    EXPECT_EQ(os.str(), "abcXYf");
}

TEST(EraseStreamTail, more_than_written_goes_to_start) {
    std::ostringstream os;
    os << "ab";
    EXPECT_EQ(erase_stream_tail(os, 10, true), 1);
    EXPECT_EQ(os.str(), "");
    std::stringstream ss;
    ss << "xyz";
    EXPECT_EQ(erase_stream_tail(ss, 1, true), 1);
    EXPECT_EQ(ss.str(), "xy");
}

TEST(EraseStreamTail, failed_stream_or_negative_count_changes_nothing) {
    std::ostringstream os;
    os << "abc";
    EXPECT_EQ(erase_stream_tail(os, -1, true), 0);
    EXPECT_EQ(os.str(), "abc");
    os.setstate(std::ios_base::failbit);
    EXPECT_EQ(erase_stream_tail(os, 1, true), 0);
    EXPECT_EQ(os.str(), "abc");
}

TEST(EraseStreamTailWide, same_rules_for_wide_streams) {
    std::wostringstream os;
    os << L"x; y; ";
    EXPECT_EQ(erase_stream_tail_wide(os, 2, true), 1);
    EXPECT_EQ(os.str(), L"x; y");
    std::wstringstream ss;
    ss << L"abc";
    EXPECT_EQ(erase_stream_tail_wide(ss, 5, false), 1);
    ss << L"Z";
    EXPECT_EQ(ss.str(), L"Zbc");
    os.setstate(std::ios_base::badbit);
    EXPECT_EQ(erase_stream_tail_wide(os, 1, true), 0);
}

TEST(RewindStream, moves_back_without_truncating) {
    std::ostringstream os;
    os << "12345";
    EXPECT_EQ(stream_position(os), 5u);
    EXPECT_EQ(rewind_stream(os, 2), 1);
    EXPECT_EQ(stream_position(os), 3u);
    os << "x";
    EXPECT_EQ(os.str(), "123x5");
    std::wostringstream wos;
    wos << L"ab";
    EXPECT_EQ(rewind_stream_wide(wos, 9), 1);
    wos << L"c";
    EXPECT_EQ(wos.str(), L"cb");
    os.setstate(std::ios_base::failbit);
    EXPECT_EQ(rewind_stream(os, 1), 0);
    EXPECT_EQ(stream_position(os), 0u);
}

TEST(StreamPosition, untellable_stream_gives_zero) {
    std::ostream no_buffer(nullptr);
    EXPECT_EQ(stream_position(no_buffer), 0u);
    EXPECT_EQ(rewind_stream(no_buffer, 1), 0);
}

}  // namespace
