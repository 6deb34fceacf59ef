#include "io/fileio_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileio_test_support.h"

namespace {

using fileio_test::read_file;
using fileio_test::temp_folder;

constexpr int kBuf = 262144;

// Records every hand-over; can be told to fail or to take nothing.
class recording_output : public uni::streambuf_generic_output<char> {
  public:
    explicit recording_output(std::uint64_t size) : streambuf_generic_output<char>(size) {}
    ~recording_output() override { flush(); }
    std::uint32_t generic_write(const char* data, std::uint32_t count) override {
        calls.push_back(count);
        if (fail) return 0xFFFFFFFFu;
        if (take_nothing) return 0;
        if (take_at_most != 0 && count > take_at_most) count = take_at_most;
        received.append(data, count);
        return count;
    }
    std::vector<std::uint32_t> calls;
    std::string received;
    bool fail = false;
    bool take_nothing = false;
    std::uint32_t take_at_most = 0;
};

TEST(GenericOutput, full_buffers_are_handed_over_whole_and_the_rest_on_flush) {
    recording_output buf(8);
    std::ostream os(&buf);
    os << "abcdefg";  // seven bytes fill the put area
    EXPECT_TRUE(buf.calls.empty());
    os << "h";  // the eighth goes into the reserved byte and the whole buffer leaves
    EXPECT_EQ(buf.calls, (std::vector<std::uint32_t>{8}));
    os << "ijklmnopqrstuvwxyz";
    EXPECT_EQ(buf.calls, (std::vector<std::uint32_t>{8, 8, 8}));
    EXPECT_EQ(buf.flush(), 0);
    EXPECT_EQ(buf.calls, (std::vector<std::uint32_t>{8, 8, 8, 2}));
    EXPECT_EQ(buf.received, "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(buf.flush(), 0);  // nothing left: no further hand-over
    EXPECT_EQ(buf.calls.size(), 4u);
}

TEST(GenericOutput, partial_takes_are_repeated_until_all_has_gone) {
    recording_output buf(10);
    buf.take_at_most = 3;
    std::ostream os(&buf);
    os << "0123456789";
    EXPECT_EQ(buf.received, "0123456789");
    EXPECT_EQ(buf.calls, (std::vector<std::uint32_t>{10, 7, 4, 1}));
}

TEST(GenericOutput, failing_or_stalled_targets_make_the_stream_bad_without_looping) {
    recording_output failing(4);
    failing.fail = true;
    std::ostream a(&failing);
    a << "abcdef";
    EXPECT_TRUE(a.bad());
    EXPECT_EQ(failing.flush(), -1);
    failing.fail = false;
    failing.take_nothing = true;  // a target that accepts nothing must not be asked forever
    EXPECT_EQ(failing.flush(), -1);
    failing.take_nothing = false;
    failing.calls.clear();
    EXPECT_EQ(failing.flush(), 0);

    recording_output none(0);  // no room for the reserved byte: never ready
    EXPECT_FALSE(none.is_ready());
    std::ostream b(&none);
    b << "x";
    EXPECT_TRUE(b.bad());
    EXPECT_TRUE(none.calls.empty());
    EXPECT_EQ(none.flush(), 0);
}

TEST(FileioOutput, one_write_per_full_buffer_and_none_before) {
    temp_folder dir("fileio_output_full");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("r");
    uni::fileio f(p, true, true, false);
    std::ostream* out = f.open_output_stream();
    ASSERT_NE(out, nullptr);
    *out << std::string(kBuf - 1, 'a');
    EXPECT_EQ(fileio_test::file_size(p), 0);
    *out << 'b';
    EXPECT_EQ(fileio_test::file_size(p), kBuf);  // exactly one write of the whole buffer
    *out << "c" << std::endl;
    out->flush();
    EXPECT_EQ(fileio_test::file_size(p), kBuf);  // flush and endl move nothing
    f.close();
    const std::string got = read_file(p);
    EXPECT_EQ(got, std::string(kBuf - 1, 'a') + "bc\n");
}

TEST(FileioOutput, a_600_kb_report_arrives_whole_in_three_writes) {
    temp_folder dir("fileio_output_600k");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("report.txt");
    std::string report;
    for (int i = 0; report.size() < 600 * 1024; ++i) report += "record " + std::to_string(i) + " | value\n";
    report.resize(600 * 1024);
    uni::fileio f;
    ASSERT_EQ(f.open(p, true, true, true), 1);
    std::ostream* out = f.open_output_stream();
    ASSERT_NE(out, nullptr);
    for (std::size_t at = 0; at < report.size(); at += 1000) *out << report.substr(at, 1000);
    // Two full buffers have gone; the rest waits for close.
    EXPECT_EQ(fileio_test::file_size(p), 2 * kBuf);
    EXPECT_TRUE(out->good());
    f.close();
    EXPECT_EQ(fileio_test::file_size(p), static_cast<std::int64_t>(report.size()));
    EXPECT_EQ(read_file(p), report);
}

TEST(FileioOutput, stream_over_a_closed_file_drops_everything) {
    uni::fileio closed;
    EXPECT_EQ(closed.open_output_stream(), nullptr);
    EXPECT_EQ(closed.stream, nullptr);
    {
        uni::fileio_output out(&closed, kBuf);
        EXPECT_FALSE(out.is_stream_open());
        EXPECT_FALSE(out.buffer().is_attached());
        out << "dropped";
        EXPECT_TRUE(out.bad());
    }
    uni::fileio_output negative(&closed, -1);  // widened with its sign: cannot be allocated
    EXPECT_FALSE(negative.buffer().is_ready());
    negative << "x";
    EXPECT_TRUE(negative.bad());
}

TEST(FileioOutput, failed_file_write_makes_the_stream_bad) {
    uni::fileio full;
    if (full.open(std::string("/dev/full"), true, false, false) != 1)
        GTEST_SKIP() << "/dev/full is not available";
    uni::fileio_output out(&full, 16);
    ASSERT_TRUE(out.is_stream_open());
    out << std::string(40, 'x');
    EXPECT_TRUE(out.bad());
}

TEST(FileioOutput, stream_close_keeps_the_bytes_for_the_buffers_destruction) {
    temp_folder dir("fileio_output_close");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("r");
    uni::fileio f(p, true, true, false);
    {
        uni::fileio_output out(&f, 64);
        out << "kept";
        out.close();
        EXPECT_FALSE(out.is_stream_open());
        EXPECT_EQ(read_file(p), "");
    }
    EXPECT_EQ(read_file(p), "kept");
}

TEST(FileioStats, sums_byte_values_through_its_stream) {
    uni::fileio_stats stats;
    uni::fileio_stats_output* out = stats.open_output_stream();
    ASSERT_NE(out, nullptr);
    *out << "abc" << std::flush;
    EXPECT_EQ(stats.byte_sum, 0u);  // flush moves nothing
    stats.flush_stream();
    EXPECT_EQ(stats.byte_sum, 0u);
    stats.close();
    EXPECT_EQ(stats.byte_sum, 294u);
    EXPECT_EQ(stats.stream, nullptr);

    const unsigned char high[] = {0xFF, 0x80};
    EXPECT_EQ(stats.add(high, 2), 1);
    EXPECT_EQ(stats.byte_sum, 294u + 255u + 128u);
    EXPECT_EQ(stats.add(nullptr, 2), 0);
    EXPECT_EQ(stats.add(high, 0), 0);

    ASSERT_NE(stats.open_output_stream(), nullptr);
    *stats.stream << "z";
    stats.reset();
    EXPECT_EQ(stats.byte_sum, 0u);
    EXPECT_EQ(stats.stream, nullptr);
    {
        uni::fileio_stats other;
        *other.open_output_stream() << std::string(kBuf + 10, '\x01');
        EXPECT_EQ(other.byte_sum, static_cast<std::uint64_t>(kBuf));  // one full hand-over so far
    }
}

}  // namespace
