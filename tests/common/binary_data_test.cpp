#include "common/binary_data.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <utility>

namespace {

using bytes = std::vector<unsigned char>;

bytes sequence(std::size_t n, unsigned char first) {
    bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(first + i);
    return v;
}

std::string view_text(const qm::binary_data& buf, std::uint32_t start, std::uint32_t length,
                      std::uint64_t base = 0) {
    std::ostringstream os;
    buf.output_view(os, start, length, base);
    return os.str();
}

// UTF-16LE bytes of an ASCII text.
std::string utf16le(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

// A fresh folder under the build tree's test folder.
std::string make_temp_dir() {
    std::string tmpl = std::string(SELK_TEST_TMP) + "/binary_data_XXXXXX";
    if (!mkdtemp(&tmpl[0])) return std::string();
    return tmpl;
}

const std::string kAbcdeRow = "41 42 43 44 45 " + std::string(34, ' ') + " ABCDE\n";

TEST(BinaryDataView, five_bytes_by_view_flags) {
    const unsigned char five[] = {'A', 'B', 'C', 'D', 'E'};
    qm::binary_data buf(five, 5, true);
    EXPECT_EQ(buf.get_view_flags(), 2u);
    EXPECT_EQ(view_text(buf, 0, 16), "41 42 43 44 45 \n");
    buf.set_view_flags(3);
    EXPECT_EQ(view_text(buf, 0, 16), kAbcdeRow);
    buf.set_view_flags(0);
    EXPECT_EQ(view_text(buf, 0, 16), "");
    buf.set_view_flags(8);
    EXPECT_EQ(view_text(buf, 0, 16), "ABCDE");
    buf.set_view_flags(4);
    EXPECT_EQ(view_text(buf, 0, 16), "");
    buf.set_view_flags(1 | 4);
    EXPECT_EQ(view_text(buf, 0, 16, 0x1000), "0000 1000:  ABCD E\n");
    buf.set_view_flags(8 | 4);
    EXPECT_EQ(view_text(buf, 1, 16, 0x1000), "0000 1000:  BCDE\n");
}

TEST(BinaryDataView, range_is_clamped_to_the_buffer) {
    const bytes forty = sequence(40, 0x30);
    qm::binary_data big(forty, true);
    big.set_view_flags(3);
    EXPECT_EQ(view_text(big, 16, 16), "40 41 42 43 44 45 46 47  48 49 4a 4b 4c 4d 4e 4f  @ABCDEFGHIJKLMNO\n");
    qm::binary_data small(forty.data(), 20, true);
    small.set_view_flags(3);
    EXPECT_EQ(view_text(small, 16, 16), "40 41 42 43 " + std::string(37, ' ') + " @ABC\n");
    EXPECT_EQ(view_text(small, 20, 16), "");
    EXPECT_EQ(view_text(small, 4000000000u, 4000000000u), "");
    EXPECT_EQ(view_text(small, 19, 0xffffffffu), "43 " + std::string(46, ' ') + " C\n");
}

TEST(BinaryDataView, hex_rows_with_addresses_grow_groups_for_high_addresses) {
    const bytes row = sequence(16, 0x30);
    qm::binary_data buf(row, false);
    buf.set_view_flags(2 | 4);
    const std::string body = "30 31 32 33 34 35 36 37  38 39 3a 3b 3c 3d 3e 3f  0123456789:;<=>?\n";
    EXPECT_EQ(view_text(buf, 0, 16, 0x10), "0000 0010:  " + body);
    EXPECT_EQ(view_text(buf, 0, 16, 0x100000010ULL), "0001 0000 0010:  " + body);
    EXPECT_EQ(view_text(buf, 0, 16, 0x1000000000010ULL), "0001 0000 0000 0010:  " + body);
    // Nine bytes: the extra blank stands before the ninth pair.
    EXPECT_EQ(view_text(buf, 0, 9, 0),
              "0000 0000:  30 31 32 33 34 35 36 37  38 " + std::string(21, ' ') + " 012345678\n");
}

TEST(BinaryDataView, rows_advance_address_by_sixteen) {
    const bytes data = sequence(20, 0x61);
    qm::binary_data buf(data, true);
    buf.set_view_flags(2 | 4);
    const std::string text = view_text(buf, 0, 20, 0xfff8);
    EXPECT_EQ(text.substr(0, 12), "0000 fff8:  ");
    const std::size_t second = text.find('\n') + 1;
    EXPECT_EQ(text.substr(second, 12), "0001 0008:  ");
    EXPECT_EQ(text.substr(text.size() - 5), "qrst\n");
}

TEST(BinaryDataView, plain_hex_breaks_lines_by_buffer_position) {
    const bytes data = sequence(20, 0);
    qm::binary_data buf(data, true);
    EXPECT_EQ(view_text(buf, 10, 10), "0a 0b 0c 0d 0e 0f \n10 11 12 13 \n");
    qm::binary_data sixteen(data.data(), 16, true);
    EXPECT_EQ(view_text(sixteen, 0, 16), "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n\n");
}

TEST(BinaryDataView, text_lines_wrap_at_48_spaced_or_64_plain) {
    const bytes data(70, 'x');
    qm::binary_data buf(data, true);
    buf.set_view_flags(8 | 4);
    const std::string plain = view_text(buf, 0, 70, 0);
    EXPECT_EQ(plain, "0000 0000:  " + std::string(64, 'x') + "\n0000 0040:  " + std::string(6, 'x') + "\n");
    buf.set_view_flags(1 | 4);
    const std::string spaced = view_text(buf, 0, 70, 0);
    const std::string group = "xxxx";
    const std::string first = "0000 0000:  " + group + " " + group + " " + group + " " + group + "   " +
                              group + " " + group + " " + group + " " + group + "   " + group + " " + group +
                              " " + group + " " + group + "\n";
    EXPECT_EQ(spaced, first + "0000 0030:  " + group + " " + group + " " + group + " " + group + "   " +
                          group + " xx\n");
}

TEST(BinaryDataView, text_line_address_above_16_mb_shows_each_bit_once) {
    // The upper group is bits 32-47, as in the hex rows, so no bit of the address is shown twice.
    const bytes data{'a'};
    qm::binary_data buf(data, true);
    buf.set_view_flags(1 | 4);
    EXPECT_EQ(view_text(buf, 0, 1, 0x12345678), "1234 5678:  a\n");
    EXPECT_EQ(view_text(buf, 0, 1, 0x100000000ULL), "0001 0000 0000:  a\n");
}

TEST(BinaryDataView, caller_stream_state_is_restored) {
    const bytes data = sequence(20, 0x41);
    qm::binary_data buf(data, true);
    for (std::uint16_t flags : {2, 3, 6, 5, 8}) {
        buf.set_view_flags(flags);
        std::ostringstream os;
        os << std::dec << std::left << std::setfill('*');
        const std::ios_base::fmtflags before = os.flags();
        buf.output_view(os, 0, 20, 0x10);
        EXPECT_EQ(os.flags(), before) << flags;
        EXPECT_EQ(os.fill(), '*') << flags;
        os.str("");
        os << std::setw(4) << 10;
        EXPECT_EQ(os.str(), "10**") << flags;
    }
    // A field width the caller set before the view is neither used by the view nor lost.
    buf.set_view_flags(2);
    std::ostringstream os;
    os << std::setw(6);
    buf.output_view(os, 0, 1, 0);
    EXPECT_EQ(os.str(), "41 \n");
    os << 7;
    EXPECT_EQ(os.str(), "41 \n     7");
}

TEST(BinaryDataWholeView, dispatch_by_hex_and_addresses) {
    const bytes data = sequence(5, 0x41);
    qm::binary_data buf(data, true);
    std::ostringstream os;
    buf.set_view_flags(0);
    buf.output_whole_view(os);
    EXPECT_EQ(os.str(), "ABCDE");
    os.str("");
    buf.set_view_flags(4);
    buf.output_whole_view(os);
    EXPECT_EQ(os.str(), "0000 0000:  ABCD E\n");
    os.str("");
    buf.set_view_flags(2 | 1);
    buf.output_whole_view(os);
    EXPECT_EQ(os.str(), "41 42 43 44 45 \n");
    os.str("");
    buf.set_view_flags(2 | 4);
    buf.output_whole_view(os);
    EXPECT_EQ(os.str(), "0000 0000:  " + kAbcdeRow);
}

TEST(BinaryDataEdit, owning_buffer_changes) {
    qm::binary_data buf(8, 0x11);
    EXPECT_EQ(buf.get_size(), 8u);
    EXPECT_EQ(buf.erase(4, 10), 1);
    EXPECT_EQ(buf.get_size(), 4u);
    EXPECT_EQ(buf.erase(4, 1), 0);
    const unsigned char more[] = {1, 2, 3};
    EXPECT_EQ(buf.append(more, 3), 1);
    EXPECT_EQ(buf.append(nullptr, 3), 0);
    EXPECT_EQ(buf.push_back(9), 1);
    EXPECT_EQ(buf.get_size(), 8u);
    EXPECT_EQ(buf[3], 0x11);
    EXPECT_EQ(buf[4], 1);
    EXPECT_EQ(*buf.get_ptr(7), 9);
    EXPECT_EQ(buf.erase(1, 2), 1);
    EXPECT_EQ(buf[1], 0x11);
    EXPECT_EQ(buf[2], 1);
    EXPECT_EQ(buf.erase(0, 0xffffffffu), 1);
    EXPECT_EQ(buf.get_size(), 0u);
    EXPECT_EQ(buf.data(), nullptr);
    EXPECT_EQ(buf.push_back(5), 1);
    EXPECT_EQ(buf.clear(), 1);
    EXPECT_EQ(buf.get_size(), 0u);
    qm::binary_data zeros(3);
    EXPECT_EQ(zeros[2], 0);
    qm::binary_data none(0u, 7);
    EXPECT_EQ(none.get_size(), 0u);
}

TEST(BinaryDataEdit, referring_buffer_refuses_changes_and_sees_callers_bytes) {
    unsigned char caller[] = {1, 2, 3};
    qm::binary_data ref(caller, 3, false);
    EXPECT_FALSE(ref.owns_data());
    EXPECT_EQ(ref.clear(), 0);
    EXPECT_EQ(ref.append(caller, 1), 0);
    EXPECT_EQ(ref.push_back(1), 0);
    EXPECT_EQ(ref.erase(0, 1), 0);
    EXPECT_EQ(ref.get_size(), 3u);
    caller[1] = 0x42;
    EXPECT_EQ(ref[1], 0x42);
    qm::binary_data copy(caller, 3, true);
    caller[1] = 0;
    EXPECT_EQ(copy[1], 0x42);
    qm::binary_data empty_ref(nullptr, 5, false);
    EXPECT_TRUE(empty_ref.owns_data());
    EXPECT_EQ(empty_ref.get_size(), 0u);
    qm::binary_data empty_vec(bytes{}, false);
    EXPECT_EQ(empty_vec.get_size(), 0u);
    EXPECT_EQ(empty_vec.push_back(1), 1);
}

TEST(BinaryDataAccessDeathTest, index_past_end_stops_the_program) {
    const bytes data{1, 2};
    qm::binary_data buf(data, true);
    EXPECT_DEATH((void)buf[2], "index < m_num_data");
    EXPECT_DEATH((void)buf.get_ptr(100), "index < m_num_data");
    qm::binary_data empty;
    EXPECT_DEATH((void)empty[0], "index < m_num_data");
}

TEST(BinaryDataFile, read_file_range_and_failures) {
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/ten.bin";
    {
        std::ofstream f(path, std::ios::binary);
        f << "0123456789";
    }
    qm::binary_data buf;
    ASSERT_EQ(buf.read_file(path, 2, 5), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), buf.get_size()), "23456");
    ASSERT_EQ(buf.read_file(path, 8, 100), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), buf.get_size()), "89");
    EXPECT_EQ(buf.read_file(path, 10, 1), 0);
    EXPECT_EQ(buf.read_file(dir + "/missing", 0, 1), 0);
    EXPECT_EQ(buf.read_file(dir, 0, 1), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), buf.get_size()), "89");
    ASSERT_EQ(buf.read_file(path, 0, 0), 1);
    EXPECT_EQ(buf.get_size(), 0u);

    const unsigned char caller[] = {1};
    qm::binary_data ref(caller, 1, false);
    EXPECT_EQ(ref.read_file(path, 0, 4), 0);
    EXPECT_EQ(ref.get_size(), 1u);

    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST(BinaryDataFile, write_view_to_file_replaces_contents) {
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/view.txt";
    {
        std::ofstream f(path);
        f << "old contents that are longer than the view";
    }
    const bytes data = sequence(3, 0x61);
    qm::binary_data buf(data, true);
    ASSERT_EQ(buf.write_view_to_file(path), 1);
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "61 62 63 \n");
    EXPECT_EQ(buf.write_view_to_file(dir + "/no/such/folder/x"), 0);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

void record_row(void* context, std::uint32_t row_start, std::uint32_t end) {
    static_cast<std::vector<std::pair<std::uint32_t, std::uint32_t>>*>(context)->emplace_back(row_start, end);
}

TEST(HexRowRenderers, progress_runs_after_every_row) {
    const bytes data = sequence(40, 0);
    qm::binary_data buf(data, false);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;
    std::ostringstream os;
    hex_rows_to_stream(os, buf, 4, 100, 0, false, record_row, &calls);
    EXPECT_EQ(calls, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{4, 40}, {20, 40}, {36, 40}}));
    const std::string rows = os.str();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3);
    EXPECT_EQ(rows.substr(0, 6), "04 05 ");
    calls.clear();
    std::string text;
    hex_rows_to_string(text, data.data(), 40, 0, 17, 0, true, record_row, &calls);
    EXPECT_EQ(calls, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 17}, {16, 17}}));
    EXPECT_EQ(text.substr(text.rfind("0000 0010:  ")), "0000 0010:  10 " + std::string(46, ' ') + " .\n");
}

TEST(HexRowRenderers, string_form_address_groups) {
    const unsigned char one[] = {'z'};
    const std::string tail = "7a " + std::string(46, ' ') + " z\n";
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0x10, true), "0000 0010:  " + tail);
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0x500000000ULL, true), "5 0000 0000:  " + tail);
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0xab00000000ULL, true), "ab 0000 0000:  " + tail);
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0x10000000000ULL, true), "0100 0000 0000:  " + tail);
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0x2000000000000ULL, true), "0002 0000 0000 0000:  " + tail);
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0x10, false), tail);
    std::string out = "> ";
    hex_rows_to_string(out, one, 1, 0, 1, 0, false);
    EXPECT_EQ(out, "> " + tail);
    std::ostringstream os;
    hex_rows_string_to_stream(os, one, 1, 0x500000000ULL, true);
    EXPECT_EQ(os.str(), "5 0000 0000:  " + tail);
    EXPECT_EQ(hex_rows_as_string(nullptr, 5, 0, 5, 0, true), "");
    EXPECT_EQ(hex_rows_as_string(one, 1, 0, 1, 0, true, nullptr, nullptr), "0000 0000:  " + tail);
}

TEST(HexRowRenderers, run_of_one_value_prints_one_line) {
    const bytes zeros(10, 0);
    std::ostringstream os;
    EXPECT_EQ(hex_rows_or_run(os, zeros, 2, 0x1234), 1);
    EXPECT_EQ(os.str(), "0x001234 : value 0x00 : 0x08 bytes\n");
    const bytes many(0x123, 0xee);
    std::ostringstream big;
    EXPECT_EQ(hex_rows_or_run(big, many, 0, 0x12345678), 1);
    EXPECT_EQ(big.str(), "0x12345678 : value 0xee : 0x123 bytes\n");
    const bytes mixed{1, 1, 2};
    std::ostringstream rows;
    EXPECT_EQ(hex_rows_or_run(rows, mixed, 0, 0), 1);
    EXPECT_EQ(rows.str(), "0000 0000:  01 01 02 " + std::string(40, ' ') + " ...\n");
    std::ostringstream same_tail;
    EXPECT_EQ(hex_rows_or_run(same_tail, mixed, 2, 0), 1);
    EXPECT_EQ(same_tail.str(), "0x000000 : value 0x02 : 0x01 bytes\n");
}

TEST(HexRowRenderers, start_outside_vector_fails_without_throwing) {
    const bytes data{1, 2};
    std::ostringstream os;
    EXPECT_EQ(hex_rows_or_run(os, data, 2, 0), 0);
    EXPECT_EQ(hex_rows_or_run(os, data, 0xffffffffu, 0), 0);
    EXPECT_EQ(hex_rows_or_run(os, bytes{}, 0, 0), 0);
    EXPECT_EQ(os.str(), "");
}

TEST(HexRowRenderers, vector_and_byte_forms) {
    const bytes data = sequence(18, 0x41);
    std::ostringstream vec;
    hex_rows_of_vector(vec, data, 16, 0x20);
    EXPECT_EQ(vec.str(), "0000 0020:  51 52 " + std::string(43, ' ') + " QR\n");
    std::ostringstream plain;
    hex_rows_of_bytes(plain, data.data(), 18, 17, 0, false);
    EXPECT_EQ(plain.str(), "52 " + std::string(46, ' ') + " R\n");
    std::ostringstream none;
    hex_rows_of_bytes(none, nullptr, 18, 0, 0, true);
    EXPECT_EQ(none.str(), "");
}

TEST(HexRowRenderers, utf16_rows_end_with_crlf) {
    const bytes data = sequence(17, 0x41);
    qm::binary_data buf(data, false);
    std::ostringstream os;
    hex_rows_utf16(os, buf, 1, 17, 0x100);
    const std::string first =
        "0000 0100:  42 43 44 45 46 47 48 49  4a 4b 4c 4d 4e 4f 50 51  BCDEFGHIJKLMNOPQ";
    EXPECT_EQ(os.str(), utf16le(first) + utf16le("\r\n"));
}

TEST(HexRowRenderers, text_raw_and_plain_helpers) {
    const bytes data(100, 'k');
    qm::binary_data buf(data, false);
    std::ostringstream one;
    text_row_with_address(one, buf, 0, 100, 0, false);
    EXPECT_EQ(one.str(), "0000 0000:  " + std::string(64, 'k') + "\n");
    std::ostringstream all;
    text_rows_with_address(all, buf, 90, 100, 0x5a, false);
    EXPECT_EQ(all.str(), "0000 005a:  " + std::string(10, 'k') + "\n");
    std::ostringstream raw;
    raw_bytes_to_stream(raw, buf, 98, 5);
    EXPECT_EQ(raw.str(), "kk");
    std::ostringstream hex;
    plain_hex_to_stream(hex, buf, 95, 2);
    EXPECT_EQ(hex.str(), "6b \n6b \n");
    std::ostringstream nothing;
    plain_hex_to_stream(nothing, buf, 100, 5);
    raw_bytes_to_stream(nothing, buf, 100, 5);
    text_rows_with_address(nothing, buf, 100, 5, 0, true);
    EXPECT_EQ(nothing.str(), "");
}

}  // namespace
