#include "notifications/row_model.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "notifications/row_render.h"
#include "sqlite_binding/data_log.h"

namespace {

// 2020-12-11 19:11:35.902 UTC as FILETIME.
constexpr std::uint64_t kArrival = 132521874959020000ULL;

class RowModelTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TZ", "UTC", 1); }

    // Options with a template of the given widths (text cells), header already written.
    static cmd_params options_with(const std::vector<unsigned long long>& widths) {
        cmd_params o;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            o.header_fields.emplace_back("c" + std::to_string(i), widths[i]);
        }
        o.header_on = false;
        return o;
    }

    static std::string render(variant_row& row, cmd_params& o) {
        std::ostringstream os;
        EXPECT_EQ(write_variant_row(os, row, o), 1);
        return os.str();
    }
};

// A stream whose every write fails, as on a full disk.
class failing_buf : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(RowModelTest, init_refuses_zero_and_over_255_cells) {
    variant_row none(0, true);
    EXPECT_EQ(none.valid, 0u);
    EXPECT_TRUE(none.fields.empty());
    variant_row too_many(256, true);
    EXPECT_EQ(too_many.valid, 0u);
    EXPECT_EQ(too_many.count, 0u);
    variant_row full = make_variant_row(255, true);
    ASSERT_EQ(full.valid, 1u);
    ASSERT_EQ(full.fields.size(), 255u);
    for (const qm_variant_lite& cell : full.fields) {
        EXPECT_EQ(cell.type, 11);
        EXPECT_TRUE(cell.text.empty());
    }
    variant_row flagged = make_variant_row(2, false, kCellQuote);
    EXPECT_EQ(flagged.row_flags, kCellQuote);
    flagged.set_text(0, "x", 0);
    EXPECT_EQ(flagged.fields[0].text, "\"x\"");
}

// JSON-looking texts are quoted too: their bare double quotes would break a strict CSV reader.
TEST_F(RowModelTest, quoting_wraps_every_text_json_objects_included) {
    variant_row row(5, true);
    row.set_text(0, "{\"a\":1}", kCellQuote);
    row.set_text(1, "ab", kCellQuote);
    row.set_string(2, "{\"", 11, kCellQuote);  // two characters: not a JSON object text
    row.set_wide_string(3, L"{\"k\"}", 11, kCellQuote);
    row.set_string(4, "say \"hi\", bye", 11, kCellQuote);
    EXPECT_EQ(row.fields[0].text, "\"{\"\"a\"\":1}\"");
    EXPECT_EQ(row.fields[1].text, "\"ab\"");
    // A double quote inside a quoted text is doubled, so a CSV reader ends the cell where it ends.
    EXPECT_EQ(row.fields[2].text, "\"{\"\"\"");
    EXPECT_EQ(row.fields[3].text, "\"{\"\"k\"\"}\"");
    EXPECT_EQ(row.fields[4].text, "\"say \"\"hi\"\", bye\"");
}

TEST_F(RowModelTest, two_slot_setter_blanks_the_next_cell_only_when_it_exists) {
    variant_row row(4, true);
    row.set_text(3, "keep", 0);
    EXPECT_EQ(row.set_u64(3, kArrival, 12, 0), 1);
    EXPECT_EQ(row.fields[3].type, 12);
    row.set_u64(3, 5, 4, 0);
    EXPECT_EQ(row.set_u64(2, kArrival, 12, 0), 2);
    EXPECT_EQ(row.fields[3].type, 0);
    EXPECT_EQ(row.fields[3].value, 0u);
    EXPECT_EQ(row.set_u64(1, 7, 4, 0), 1);
}

TEST_F(RowModelTest, bad_index_or_type_leaves_cells_untouched) {
    variant_row row(2, true);
    row.set_text(0, "a", 0);
    EXPECT_EQ(row.set_u64(-1, 1, 4, 0), 1);
    EXPECT_EQ(row.set_u64(2, 1, 4, 0), 1);
    EXPECT_EQ(row.set_u64(0, 1, 32, 0), 1);
    EXPECT_EQ(row.fields[0].text, "a");
    EXPECT_EQ(row.fields[0].type, 11);
    EXPECT_EQ(row.set_stream_text(5, std::ostringstream("1"), 4, 0), 0);
    EXPECT_EQ(row.set_time_text(9, kArrival, 13, 0, nullptr), -1);
    variant_row invalid;
    EXPECT_EQ(invalid.set_text(0, "x", 0), 1);
    EXPECT_TRUE(invalid.fields.empty());
}

TEST_F(RowModelTest, integers_follow_the_hex_switch_and_flag_bits) {
    cmd_params o = options_with({0, 0, 0, 0});
    o.no_whitespace = true;
    o.separator = "|";
    variant_row row(4, true);
    row.set_u64(0, 255, 1, 0);
    row.set_u64(1, 255, 1, kCellDecimal);
    row.set_u64(2, 16, 4, kCellHexDec);
    row.set_u64(3, 0, 4, kCellZeroBlank);
    EXPECT_EQ(render(row, o), "0xff|255|0x00000010 [16]|\n");
    EXPECT_EQ(row.fields[3].type, 11);  // the zero-blank cell became an empty text
    o.base16 = false;
    variant_row dec(1, true);
    dec.set_u64(0, 255, 1, 0);
    EXPECT_EQ(render(dec, o), "255\n");
}

TEST_F(RowModelTest, padded_integers_take_the_template_width) {
    cmd_params o = options_with({6, 8});
    o.separator = "|";
    variant_row row(2, true);
    row.set_u64(0, 42, 4, kCellDecimal);
    row.set_u64(1, 42, 4, kCellHex | kCellArrow);
    EXPECT_EQ(render(row, o), "    42|->0x002a\n");
}

TEST_F(RowModelTest, hex_bytes_are_shortened_to_the_column) {
    std::vector<unsigned char> bytes;
    for (unsigned char b = 0; b < 20; ++b) bytes.push_back(b);
    cmd_params o = options_with({12});
    variant_row row(1, true);
    row.set_bytes(0, bytes.data(), 10, 28, 0);
    EXPECT_EQ(render(row, o), "00 01 02 ...\n");

    cmd_params wide = options_with({0});
    variant_row all(1, true);
    all.set_byte_vector(0, bytes, 28, 0);
    EXPECT_EQ(render(all, wide), "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 ...\n");

    variant_row raw(1, true);
    raw.set_bytes(0, bytes.data(), 3, 29, 0);
    EXPECT_EQ(render(raw, wide), "000102\n");

    // A column too narrow for even one byte and its blank still shows the first byte.
    cmd_params narrow = options_with({3});
    variant_row tiny(1, true);
    tiny.set_bytes(0, bytes.data(), 4, 28, 0);
    EXPECT_EQ(render(tiny, narrow), "00 ...\n");
}

TEST_F(RowModelTest, zero_filetime_prints_blank_date_and_time) {
    cmd_params o = options_with({0, 0});
    o.separator = "|";
    variant_row row(2, true);
    row.set_u64(0, 0, 12, 0);
    EXPECT_EQ(render(row, o), " |  \n");
    o.no_whitespace = true;
    o.padded_separator = false;
    EXPECT_EQ(render(row, o), "|\n");
    // One column: an empty cell, not a lone joining blank.
    variant_row one(2, true);
    one.set_u64(0, 0, 13, 0);
    one.set_u64(1, 0, 16, 0);
    EXPECT_EQ(render(one, o), "|\n");
}

TEST_F(RowModelTest, valid_times_print_in_one_or_two_columns) {
    cmd_params o = options_with({10, 12, 23});
    o.separator = "|";
    variant_row row(3, true);
    EXPECT_EQ(row.set_u64(0, kArrival, 12, 0), 2);
    row.set_u64(2, kArrival, 13, kCellNoSubSecond);
    EXPECT_EQ(render(row, o), "2020-12-11| 19:11:35.902| 2020-12-11 19:11:35    \n");

    // A two-slot cell in the last position prints only its date and the separator.
    cmd_params last = options_with({0});
    last.no_whitespace = true;
    last.separator = ",";
    variant_row single(1, true);
    single.set_u64(0, kArrival, 12, 0);
    EXPECT_EQ(render(single, last), "2020-12-11,\n");

    // Unix seconds never show sub-second digits.
    variant_row unix_row(1, true);
    unix_row.set_u64(0, 1607713895, 16, 0);
    EXPECT_EQ(render(unix_row, last), "2020-12-11 19:11:35\n");
}

TEST_F(RowModelTest, time_lists_are_joined) {
    cmd_params o = options_with({0});
    o.no_whitespace = true;
    qm_variant_lite source;
    source.values = {kArrival, kArrival + 600000000ULL};
    variant_row row(1, true);
    EXPECT_EQ(row.set_u64_list(0, source, 13, kCellTimeList), 1);
    EXPECT_EQ(row.fields[0].value, kArrival);
    EXPECT_EQ(render(row, o), "2020-12-11 19:11:35.902; 2020-12-11 19:12:35.902\n");
    variant_row last(2, true);
    EXPECT_EQ(last.set_u64_list(0, source, 12, kCellListLast), 2);
    EXPECT_EQ(last.fields[0].value, kArrival + 600000000ULL);
    qm_variant_lite empty;
    EXPECT_EQ(last.set_u64_list(0, empty, 19, 0), 1);
    EXPECT_EQ(last.fields[0].values, std::vector<unsigned long long>{0});
}

TEST_F(RowModelTest, replacement_changes_the_rows_own_cell) {
    cmd_params o = options_with({0});
    o.no_whitespace = true;
    variant_row row(1, true);
    row.set_string(0, "a|b|c", 11, 0);
    EXPECT_EQ(render(row, o), "a;b;c\n");
    EXPECT_EQ(row.fields[0].text, "a;b;c");
    o.csv = true;
    row.set_string(0, "l1\nl2", 11, 0);
    EXPECT_EQ(render(row, o), "l1[LF]l2\n");
}

TEST_F(RowModelTest, text_cut_centre_and_alignment) {
    cmd_params o = options_with({9, 9, 6});
    o.separator = "|";
    variant_row row(3, true);
    row.set_string(0, "abc", 11, kCellCentre);
    row.set_string(1, "xy", 11, kCellRight);
    row.set_string(2, "0123456789012345678901234", 11, kCellCut);
    EXPECT_EQ(render(row, o), "   abc   |       xy|01234567890123456789\n");
}

// A text handed on in pieces of `piece` bytes.
struct text_in_pieces : text_source {
    std::string text;
    std::size_t piece = 1;
    void put_to(text_sink& out) const override {
        for (std::size_t at = 0; at < text.size(); at += piece)
            out.put(text.data() + at, std::min(piece, text.size() - at));
    }
};

// A cell handed on in pieces prints as the whole text in the row's cell does, in every layout the cells of
// a report take: padded or not, quoted, its value character replaced, a field quoted where it must be.
TEST_F(RowModelTest, a_streamed_text_cell_prints_as_its_whole_text_does) {
    struct layout {
        const char* separator;
        bool no_whitespace;
        char value_char;  // replaced by ';'
        std::uint32_t row_flags;
        bool multiline;
        bool sqlite_on;  // no run log open: the text is made whole
    };
    const layout kLayouts[] = {{" | ", false, '|', 0, false, false},     {",", true, ',', 0, false, false},
                               {",", true, 0, kCellQuote, false, false}, {" ", false, 0, 0, false, false},
                               {",", true, 0, 0, true, false},           {" | ", false, '|', 0, false, true}};
    const char* const kTexts[] = {"",
                                  "plain",
                                  "a,b",
                                  "\"opens",
                                  "ends\"",
                                  "\"\"",
                                  "x | y",
                                  "pipe|end|",
                                  "sp ace",
                                  "\x01\xC2\x85\r\n\t\xC2",
                                  "a text longer than its column"};
    for (const layout& l : kLayouts) {
        for (const char* t : kTexts) {
            for (const std::size_t piece : {1, 3, 100}) {
                cmd_params o = options_with({3, 12, 2});
                o.separator = l.separator;
                o.no_whitespace = l.no_whitespace;
                o.value_char = l.value_char;
                o.value_char_replacement = ';';
                o.multiline = l.multiline;
                o.sqlite_on = l.sqlite_on;
                variant_row whole(3, true), streamed(3, true), both(3, true);
                for (variant_row* row : {&whole, &streamed, &both}) {
                    row->row_flags = l.row_flags;
                    row->set_string(0, "a", 11, 0);
                    if (row != &both) row->set_string(2, "z,", 11, 0);
                }
                if (*t != '\0') whole.set_string(1, t, 11, 0);
                text_in_pieces text;
                text.text = t;
                text.piece = piece;
                streamed_text_cell cell;
                cell.index = 1;
                cell.text = &text;
                row_buffers buffers;
                std::ostringstream want, got;
                EXPECT_EQ(write_variant_row(want, whole, o, o.header_fields, buffers), 1);
                EXPECT_EQ(write_variant_row(got, streamed, o, o.header_fields, buffers, cell), 1);
                EXPECT_EQ(got.str(), want.str()) << "[" << l.separator << "] \"" << t << "\" " << piece;
                // Two cells of a row in pieces, the last one too.
                text_in_pieces last;
                last.text = "z,";
                last.piece = piece;
                const streamed_text_cell cells[] = {cell, {2, 0, &last}};
                std::ostringstream two;
                EXPECT_EQ(write_variant_row(two, both, o, o.header_fields, buffers, cells, 2), 1);
                EXPECT_EQ(two.str(), want.str()) << "[" << l.separator << "] \"" << t << "\" " << piece;
            }
        }
    }
}

TEST_F(RowModelTest, guid_cells) {
    cmd_params o = options_with({0, 0});
    o.no_whitespace = true;
    o.separator = ",";
    const unsigned char guid[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                    0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    variant_row row(2, true);
    row.set_bytes(0, guid, 16, 27, 0);
    row.set_bytes(1, guid, 8, 27, 0);
    EXPECT_EQ(render(row, o), "00112233-4455-6677-8899-aabbccddeeff,\n");
}

TEST_F(RowModelTest, stream_text_parses_numbers_or_keeps_text) {
    variant_row row(3, true);
    std::ostringstream num("4096");
    EXPECT_EQ(row.set_stream_text(0, num, 8, 0), 1);
    EXPECT_EQ(row.fields[0].value, 4096u);
    std::stringstream text("a\r\nb");
    EXPECT_EQ(row.set_stream_text(1, text, 11, kCellFlatten), 1);
    EXPECT_EQ(row.fields[1].text, "a[CRLF]b");
    EXPECT_EQ(row.set_stream_text(2, num, 27, 0), 0);
    EXPECT_EQ(row.fields[2].type, 0);
}

TEST_F(RowModelTest, time_text_and_safari_doubles) {
    variant_row row(3, true);
    EXPECT_EQ(row.set_time_text(0, kArrival, 13, 0, nullptr), 1);
    EXPECT_EQ(row.fields[0].type, 11);
    EXPECT_EQ(row.fields[0].text, "2020-12-11 19:11:35.902");
    EXPECT_EQ(row.set_time_text(1, kArrival, 12, 0, nullptr), -1);
    EXPECT_EQ(row.fields[1].type, 0);
    EXPECT_EQ(row.set_time_text(1, 7, 4, 0, nullptr), -1);
    EXPECT_EQ(row.fields[1].value, 7u);
    EXPECT_EQ(row.set_time_text(2, 0, 13, 0, nullptr), 1);
    EXPECT_EQ(row.fields[2].type, 13);  // invalid time: value and type as stored

    variant_row safari(2, true);
    EXPECT_EQ(safari.set_double(0, 22, 0, 0.0), 1);
    EXPECT_EQ(safari.fields[0].type, 13);
    EXPECT_EQ(safari.fields[0].value, 126227808000000000ULL);  // 2001-01-01
    EXPECT_EQ(safari.set_double(0, 21, 0, 0.0), 2);
    EXPECT_EQ(safari.fields[0].type, 12);
    EXPECT_EQ(safari.set_double(1, 4, 0, -1.0), 1);
    EXPECT_EQ(safari.fields[1].value, UINT64_MAX);
    EXPECT_EQ(safari.set_double(1, 4, 0, 1e30), 1);
    EXPECT_EQ(safari.fields[1].value, UINT64_MAX);
}

TEST_F(RowModelTest, text_by_header_converts_by_template_type) {
    std::vector<qm_variant_lite> header;
    header.emplace_back("t", 24, 13, 0);
    header.emplace_back("g", 36, 27, 0);
    header.emplace_back("h", 10, 28, 0);
    header.emplace_back("cb", 10, 11, kCellTextCallback1);
    variant_row row(5, true);
    EXPECT_EQ(row.set_text_by_header(0, std::to_string(kArrival), header, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(row.fields[0].text, std::to_string(kArrival) + ": 2020-12-11 19:11:35.902");
    EXPECT_EQ(row.fields[0].width, 24u);
    const std::string guid("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16);
    row.set_text_by_header(1, guid, header, nullptr, nullptr, nullptr);
    EXPECT_EQ(row.fields[1].text, "00112233-4455-6677-8899-aabbccddeeff");
    row.set_text_by_header(2, "AB", header, nullptr, nullptr, nullptr);
    EXPECT_EQ(row.fields[2].text, "41 42");
    auto upper = [](std::string& out, const std::string& in) {
        out = "<" + in + ">";
        return 1;
    };
    row.set_text_by_header(3, "v", header, nullptr, upper, nullptr);
    EXPECT_EQ(row.fields[3].text, "<v>");
    EXPECT_EQ(row.set_text_by_header(4, "x", header, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(row.set_text_by_header(-1, "x", header, nullptr, nullptr, nullptr), -1);
    row.set_text_by_header(0, "not a number", header, nullptr, nullptr, nullptr);
    EXPECT_EQ(row.fields[0].text, "not a number");
}

TEST_F(RowModelTest, header_is_written_once_and_centred) {
    cmd_params o;
    o.header_fields.emplace_back("ab", 6);
    o.header_fields.emplace_back("time", 8, 13, 0);
    o.separator = "|";
    variant_row row(2, true);
    row.set_string(0, "x", 11, 0);
    std::ostringstream os;
    write_variant_row(os, row, o);
    write_variant_row(os, row, o);
    EXPECT_FALSE(o.header_on);
    EXPECT_EQ(os.str(), "  ab  |   time  \nx     |        \nx     |        \n");
}

TEST_F(RowModelTest, extra_cells_beyond_the_template_print_unpadded) {
    cmd_params o = options_with({4});
    o.separator = "|";
    variant_row row(3, true);
    row.set_string(0, "a", 11, 0);
    row.set_string(1, "b", 11, 0);
    row.set_u64(2, 3, 4, kCellDecimal);
    EXPECT_EQ(render(row, o), "a   |b|3\n");
}

TEST_F(RowModelTest, multiline_labels_share_one_width) {
    cmd_params o;
    o.header_fields.emplace_back("ab", 0);
    o.header_fields.emplace_back("abcd", 0);
    o.header_fields.emplace_back("abcde", 0);
    variant_row row(3, true);
    row.set_string(0, "1", 11, 0);
    row.set_string(1, "2|x", 11, 0);
    row.set_string(2, "3", 11, 0);
    std::ostringstream os;
    EXPECT_EQ(write_variant_row_multiline(os, row, o), 1);
    EXPECT_EQ(os.str(), "ab:    1\nabcd:  2|x\nabcde: 3\n");
    std::ostringstream again;
    write_variant_row(again, row, o);
    EXPECT_EQ(again.str(), "ab:    1\nabcd:  2|x\nabcde: 3\n");  // labels prepared once only
}

TEST_F(RowModelTest, rows_keep_their_line_break_without_an_open_run_log) {
    cmd_params o = options_with({0});
    o.no_whitespace = true;
    o.sqlite_on = true;  // "-sqlite" given, but no run log was ever opened
    o.sqlite_off = false;
    variant_row row(1, true);
    row.set_string(0, "r", 11, 0);
    EXPECT_EQ(render(row, o), "r\n");

    // A log that is set but not open takes nothing: the row still reaches the stream.
    sqlite_data_log closed;
    set_options_data_log(&o, &closed);
    o.header_on = true;
    std::ostringstream os;
    EXPECT_EQ(write_variant_row(os, row, o), 1);
    EXPECT_EQ(os.str(), "c0\nr\n");
    EXPECT_EQ(closed.pending_row_count(), 0);
    set_options_data_log(&o, nullptr);
}

TEST_F(RowModelTest, an_open_run_log_takes_rows_and_their_generic_header) {
    const std::string dir = std::string(SELK_TEST_TMP) + "/row_model_" + std::to_string(::getpid());
    const std::string path = dir + "/runlog.db";
    sqlite_data_log log;
    sqlite_metadata_row run;
    ASSERT_TRUE(log.open(0, path, run, "", true));
    cmd_params o = options_with({0, 0});
    o.no_whitespace = true;
    o.separator = "|";
    o.sqlite_on = true;
    o.sqlite_off = false;
    o.source_type = "artifact";
    o.header_on = true;
    set_options_data_log(&o, &log);
    std::ostringstream hdr;
    EXPECT_EQ(write_header_row(hdr, o), 1);
    EXPECT_EQ(hdr.str(), "");
    EXPECT_FALSE(o.header_on);
    EXPECT_EQ(log.run_row.col_hdrs, "c0|c1");
    EXPECT_EQ(log.run_row.artifact_type, "artifact");
    variant_row row(2, true);
    row.set_u64(0, 77, 4, 1 | kCellDecimal);
    row.set_string(1, "txt", 11, 32);
    std::ostringstream os;
    EXPECT_EQ(write_variant_row(os, row, o), 1);
    EXPECT_EQ(os.str(), "");
    ASSERT_EQ(log.pending_row_count(), 1);
    EXPECT_EQ(log.pending_rows[0].desired_output, "77|txt");
    EXPECT_EQ(log.pending_rows[0].val1, 77u);
    EXPECT_EQ(log.pending_rows[0].str1, "txt");
    set_options_data_log(&o, nullptr);
    log.clear_pending();
}

TEST_F(RowModelTest, invalid_rows_render_nothing_and_lists_skip_them) {
    cmd_params o = options_with({0});
    variant_row invalid;
    std::ostringstream os;
    EXPECT_EQ(write_variant_row(os, invalid, o), 1);
    EXPECT_EQ(os.str(), "");
    std::vector<variant_row> rows;
    rows.emplace_back(1, true);
    rows.emplace_back();
    rows.emplace_back(1, true);
    rows[0].set_string(0, "a", 11, 0);
    rows[2].set_string(0, "b", 11, 0);
    o.no_whitespace = true;
    EXPECT_EQ(write_variant_rows(os, rows, o), 1);
    EXPECT_EQ(os.str(), "a\nb\n");
    invalid.clear();
    EXPECT_EQ(invalid.valid, 0u);
    rows[0].clear();
    EXPECT_EQ(rows[0].fields.size(), 1u);
    EXPECT_EQ(rows[0].fields[0].type, 0);
}

TEST_F(RowModelTest, failed_output_is_reported) {
    failing_buf buf;
    std::ostream os(&buf);
    cmd_params o = options_with({0});
    variant_row row(1, true);
    row.set_string(0, "lost", 11, 0);
    EXPECT_EQ(write_variant_row(os, row, o), 0);
    o.header_on = true;
    std::ostream os2(&buf);
    EXPECT_EQ(write_header_row(os2, o), 0);
}

TEST_F(RowModelTest, write_row_uses_the_rows_own_widths) {
    variant_row row(3, false);
    row.fields[0] = qm_variant_lite("a", 5);
    row.fields[1] = qm_variant_lite("when", 6, 13, 0);
    row.fields[2] = qm_variant_lite("z", 0);
    std::ostringstream os;
    EXPECT_EQ(variant_row::write_row(os, row, ",", true, false), 1);
    EXPECT_EQ(os.str(), "  a  ,  when ,z\n");
    std::ostringstream flat;
    variant_row::write_row(flat, row, ",", false, true);
    EXPECT_EQ(flat.str(), "a,when,z\n");
}

}  // namespace
