#include "io/fileio.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fileio_test_support.h"
#include "io/file_overlay.h"
#include "io/fileio_output.h"
#include "platform/path_text.h"

namespace {

using fileio_test::pattern;
using fileio_test::read_file;
using fileio_test::temp_folder;
using fileio_test::write_file;

std::vector<std::uint8_t> bytes_of(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

TEST(FileioOpen, fifo_and_socket_are_refused_without_leaking_a_descriptor) {
    temp_folder dir("fileio_open");
    ASSERT_TRUE(dir.ok());
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string sock = dir.file("sock");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);

    const int before = fileio_test::open_descriptor_count();
    uni::fileio f;
    EXPECT_EQ(f.open(fifo, false, false, false), 0);
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(f.open(sock, false, false, false), 0);
    EXPECT_EQ(uni::open_descriptor(fifo, O_RDONLY, 0), -1);
    EXPECT_EQ(uni::open_descriptor(std::string(), O_RDONLY, 0), -1);
    EXPECT_EQ(fileio_test::open_descriptor_count(), before);
    close(s);
}

TEST(FileioOpen, folder_opens_read_only_but_offers_nothing_to_read) {
    temp_folder dir("fileio_folder");
    ASSERT_TRUE(dir.ok());
    uni::fileio f;
    ASSERT_EQ(f.open(dir.path(), false, false, false), 1);
    EXPECT_TRUE(f.is_open());
    // A folder given where a database is expected must fail at the first read, not loop or yield junk.
    EXPECT_EQ(f.size(), 0u);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(f.read_range(out, 100, 0), 0);
    std::uint8_t buf[16];
    std::uint32_t len = sizeof(buf);
    EXPECT_EQ(f.read_at(buf, &len, 0), 0);
    int calls = 0;
    auto cb = [](uni::fileio*, void* ctx, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint64_t) {
        ++*static_cast<int*>(ctx);
        return 0;
    };
    EXPECT_EQ(f.scan_chunks(cb, &calls, 4096, 0, 0), 1);
    EXPECT_EQ(calls, 0);
}

TEST(FileioOpen, write_without_truncate_needs_an_existing_file_and_the_path_constructor_truncates) {
    temp_folder dir("fileio_write");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("out.txt");
    uni::fileio f;
    EXPECT_EQ(f.open(p, true, false, false), 0);
    EXPECT_FALSE(f.is_open());
    // A failed open keeps the write flag and the path.
    EXPECT_TRUE(f.write_access);
    EXPECT_EQ(f.path, path_to_wide(p));
    ASSERT_TRUE(write_file(p, "0123456789"));
    ASSERT_EQ(f.open(p, true, false, false), 1);
    EXPECT_EQ(f.size(), 10u);
    f.close();

    uni::fileio g(p, true, false, false);
    ASSERT_TRUE(g.is_open());
    EXPECT_EQ(g.size(), 0u);
    EXPECT_EQ(fileio_test::file_size(p), 0);

    uni::fileio missing(dir.file("nope/x"), false, false, false);
    EXPECT_FALSE(missing.is_open());
    EXPECT_TRUE(missing.path.empty());  // the constructor leaves the reset state on failure
    EXPECT_FALSE(missing.write_access);
}

TEST(FileioOpen, trailing_separators_are_removed_and_non_utf8_names_open) {
    temp_folder dir("fileio_names");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("data\xff.bin");
    ASSERT_TRUE(write_file(p, "abc"));
    uni::fileio f;
    ASSERT_EQ(f.open(p + "//\\", false, false, false), 1);
    EXPECT_EQ(f.size(), 3u);
    EXPECT_EQ(wide_to_path(f.path), p);
    f.close();
    // The wide form of a name with byte 0xFF names the same file again.
    uni::fileio w(path_to_wide(p), false, false, false);
    ASSERT_TRUE(w.is_open());
    EXPECT_EQ(w.size(), 3u);
    EXPECT_EQ(f.open(std::string(), false, false, false), 0);
    EXPECT_EQ(f.open(std::wstring(), false, false, false), 0);
    ASSERT_EQ(f.open(std::string("//"), false, false, false), 1);
    EXPECT_EQ(f.path, L"/");
    EXPECT_EQ(f.open(std::string("\\"), false, false, false), 0);  // nothing left to open
}

TEST(FileioOpen, reopening_sends_buffered_output_to_the_first_file) {
    temp_folder dir("fileio_reopen");
    ASSERT_TRUE(dir.ok());
    const std::string a = dir.file("a.txt");
    const std::string b = dir.file("b.txt");
    ASSERT_TRUE(write_file(b, "other"));
    uni::fileio f(a, true, true, false);
    ASSERT_TRUE(f.is_open());
    std::ostream* out = f.open_output_stream();
    ASSERT_NE(out, nullptr);
    *out << "first report";
    ASSERT_EQ(f.open(b, false, false, false), 1);
    EXPECT_EQ(read_file(a), "first report");
    EXPECT_EQ(f.stream, nullptr);
    EXPECT_EQ(f.size(), 5u);
}

TEST(FileioOpen, open_memory_on_an_open_file_closes_it_first) {
    temp_folder dir("fileio_mem_reopen");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("x");
    const int before = fileio_test::open_descriptor_count();
    uni::fileio f(p, true, false, false);
    ASSERT_TRUE(f.is_open());
    *f.open_output_stream() << "kept";
    ASSERT_EQ(f.open_memory(8, false, false), 1);
    EXPECT_EQ(fileio_test::open_descriptor_count(), before);
    EXPECT_EQ(read_file(p), "kept");
    EXPECT_TRUE(f.in_memory);
    EXPECT_EQ(f.size(), 8u);
    EXPECT_EQ(f.descriptor, -1);
    // Descriptor opens refuse a memory-mode object.
    EXPECT_EQ(f.open(p, false, false, false), 0);
    EXPECT_EQ(f.open_append(p, false), 0);
}

TEST(FileioRead, read_at_clips_at_the_size_and_fails_at_or_past_it) {
    temp_folder dir("fileio_read_at");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    const std::string data = pattern(1000);
    ASSERT_TRUE(write_file(p, data));
    uni::fileio disk(p, false, false, false);
    uni::fileio mem(bytes_of(data), false, false);
    for (uni::fileio* f : {&disk, &mem}) {
        std::vector<std::uint8_t> buf(64, 0xEE);
        std::uint32_t len = 64;
        ASSERT_EQ(f->read_at(buf.data(), &len, 980), 1);
        EXPECT_EQ(len, 20u);
        EXPECT_EQ(buf[0], static_cast<std::uint8_t>(980 & 0xFF));
        EXPECT_EQ(buf[19], static_cast<std::uint8_t>(999 & 0xFF));
        EXPECT_EQ(buf[20], 0xEE);  // nothing written past the clipped length
        len = 1;
        EXPECT_EQ(f->read_at(buf.data(), &len, 1000), 0);
        len = 0xFFFFFFFFu;
        EXPECT_EQ(f->read_at(buf.data(), &len, std::numeric_limits<std::uint64_t>::max()), 0);
        // Offsets with the top bit set must not pass a signed comparison.
        len = 4;
        EXPECT_EQ(f->read_at(buf.data(), &len, 0x8000000000000000ull), 0);
        len = 0xFFFFFFFFu;  // a length that would wrap a 32-bit offset sum
        ASSERT_EQ(f->read_at(buf.data(), &len, 999), 1);
        EXPECT_EQ(len, 1u);
        std::uint64_t len64 = 0x100000000ull;
        EXPECT_EQ(f->read_at64(buf.data(), &len64, 0), 0);
        EXPECT_EQ(len64, 0x100000000ull);
        len64 = 10;
        ASSERT_EQ(f->read_at64(buf.data(), &len64, 995), 1);
        EXPECT_EQ(len64, 5u);
        len64 = 10;
        EXPECT_EQ(f->read_at64(buf.data(), &len64, 5000), 0);
        EXPECT_EQ(len64, 0u);
    }
}

TEST(FileioRead, positioned_read_clips_at_the_size_in_every_mode_and_keeps_what_a_short_file_gives) {
    temp_folder dir("fileio_positioned");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    const std::string data = pattern(1000);
    ASSERT_TRUE(write_file(p, data));
    uni::fileio disk(p, false, false, false);
    uni::fileio mem(bytes_of(data), false, false);
    auto pieces = std::make_shared<uni::file_overlay>();
    const int source = pieces->add_source(disk.descriptor);
    ASSERT_TRUE(source >= 0 && pieces->lay(0, 1000, source, 0));
    pieces->size = 1000;
    uni::fileio over;
    ASSERT_EQ(over.open_overlay(pieces), 1);
    const struct {
        std::uint64_t offset, length, got;
    } cases[] = {{0, 16, 16}, {980, 64, 20}, {999, 1, 1}, {1000, 1, 0}, {0x8000000000000000ull, 4, 0}};
    for (const uni::fileio* f : {&disk, &mem, &over}) {
        for (const auto& c : cases) {
            std::vector<std::uint8_t> out(c.length + 1, 0xEE);
            std::uint64_t got = 99;
            ASSERT_TRUE(f->positioned_read(out.data(), c.length, c.offset, &got)) << c.offset;
            ASSERT_EQ(got, c.got) << c.offset;
            EXPECT_EQ(std::string(out.begin(), out.begin() + got),
                      data.substr(std::min<std::uint64_t>(c.offset, 1000), got));
            EXPECT_EQ(out[got], 0xEE) << c.offset;  // nothing written past what arrived
        }
    }
    // Another writer cuts the file after it was measured: what is left arrives.
    ASSERT_EQ(truncate(p.c_str(), 990), 0);
    std::uint8_t out[64];
    std::uint64_t got = 0;
    ASSERT_TRUE(disk.positioned_read(out, sizeof out, 980, &got));
    EXPECT_EQ(got, 10u);
    // A descriptor that cannot be read gives nothing and fails.
    uni::fileio unreadable;
    unreadable.adopt_descriptor(::open(p.c_str(), O_WRONLY), p);
    ASSERT_EQ(unreadable.size(), 990u);
    EXPECT_FALSE(unreadable.positioned_read(out, sizeof out, 0, &got));
    EXPECT_EQ(got, 0u);
}

TEST(FileioRead, small_reads_in_any_order_give_the_files_bytes) {
    // Pages read in order go through the read window; reads that go back, jump ahead, straddle the window's
    // end or reach the file's end must give the same bytes.
    temp_folder dir("fileio_window");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    const std::size_t size = uni::fileio::kReadWindow * 2 + 5000;
    const std::string data = pattern(size);
    ASSERT_TRUE(write_file(p, data));
    uni::fileio f(p, false, false, false);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> reads;
    for (std::uint64_t at = 0; at + 4096 <= size; at += 4096) reads.push_back({at, 4096});
    reads.insert(reads.end(), {{100, 50},
                               {100, 60},
                               {uni::fileio::kReadWindow - 10, 20},
                               {uni::fileio::kReadWindow + 10, 4096},
                               {uni::fileio::kReadWindow * 2 - 7, 16},
                               {size - 30, 4096},
                               {3, 9}});
    for (const auto& r : reads) {
        std::vector<std::uint8_t> buf(r.second, 0xEE);
        std::uint32_t len = r.second;
        ASSERT_EQ(f.read_at(buf.data(), &len, r.first), 1) << r.first;
        const std::size_t want = std::min<std::size_t>(r.second, size - r.first);
        ASSERT_EQ(len, want) << r.first;
        EXPECT_EQ(std::string(buf.begin(), buf.begin() + want), data.substr(r.first, want)) << r.first;
    }
}

TEST(FileioRead, read_range_clips_keeps_vector_on_zero_count_and_stops_when_the_file_shrinks) {
    temp_folder dir("fileio_range");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    const std::string data = pattern(5000);
    ASSERT_TRUE(write_file(p, data));
    uni::fileio disk(p, false, false, false);
    uni::fileio mem(bytes_of(data), false, false);
    for (uni::fileio* f : {&disk, &mem}) {
        std::vector<std::uint8_t> out = {1, 2, 3};
        ASSERT_EQ(f->read_range(out, 0, 10), 1);
        EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3}));
        ASSERT_EQ(f->read_range(out, 100, 4950), 1);
        ASSERT_EQ(out.size(), 50u);
        EXPECT_EQ(std::string(out.begin(), out.end()), data.substr(4950));
        EXPECT_EQ(f->read_range(out, 1, 5000), 0);
        ASSERT_EQ(f->read_range(out, std::numeric_limits<std::uint64_t>::max(), 4999), 1);
        EXPECT_EQ(out.size(), 1u);
        std::string text;
        ASSERT_EQ(f->read_range_string(text, 3, 256), 1);
        EXPECT_EQ(text, std::string("\x00\x01\x02", 3));
    }
    EXPECT_EQ(mem.tell(), 259u);  // ranged reads move the memory position

    // Another writer truncates the file after it was measured: only what arrives is kept.
    ASSERT_EQ(truncate(p.c_str(), 1200), 0);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(disk.read_range(out, 4000, 1000), 1);
    EXPECT_EQ(out.size(), 200u);
    EXPECT_EQ(std::string(out.begin(), out.end()), data.substr(1000, 200));
}

TEST(FileioRead, memory_reads_never_pass_the_buffer_even_when_the_size_is_stale) {
    uni::fileio f;
    ASSERT_EQ(f.open_memory(100, true, false), 1);
    // A caller resizes the buffer directly and forgets refresh_size.
    f.buffer.resize(10);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(f.read_range(out, 100, 0), 1);
    EXPECT_EQ(out.size(), 10u);
    EXPECT_EQ(f.read_range(out, 5, 50), 0);
    std::uint8_t buf[100];
    std::uint32_t len = 100;
    ASSERT_EQ(f.read_at(buf, &len, 2), 1);
    EXPECT_EQ(len, 8u);
    EXPECT_EQ(f.refresh_size(), 10u);
    EXPECT_EQ(f.size(), 10u);
}

TEST(FileioRead, sequential_reads_follow_the_position) {
    temp_folder dir("fileio_seq");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    ASSERT_TRUE(write_file(p, "abcdefghij"));
    uni::fileio disk(p, false, false, false);
    uni::fileio mem(bytes_of("abcdefghij"), false, false);
    ASSERT_EQ(mem.seek(0), 0);
    for (uni::fileio* f : {&disk, &mem}) {
        char buf[8] = {};
        std::uint32_t len = 4;
        ASSERT_EQ(f->read(buf, &len), 1);
        EXPECT_EQ(std::string(buf, len), "abcd");
        len = 8;
        ASSERT_EQ(f->read(buf, &len), 1);
        EXPECT_EQ(std::string(buf, len), "efghij");
        len = 0;
        EXPECT_EQ(f->read(buf, &len), 1);
    }
}

TEST(FileioSeek, descriptor_and_memory_positions) {
    temp_folder dir("fileio_seek");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    ASSERT_TRUE(write_file(p, pattern(100)));
    uni::fileio disk(p, false, false, false);
    EXPECT_EQ(disk.seek(40), 40);
    EXPECT_EQ(disk.seek_relative(5), 45);
    EXPECT_EQ(disk.tell(), 45u);
    EXPECT_EQ(disk.seek_from_end(10), 90);
    EXPECT_EQ(disk.seek(-1), -1);

    uni::fileio mem;
    ASSERT_EQ(mem.open_memory(4, false, false), 1);
    EXPECT_EQ(mem.seek_from_end(10), 0);
    EXPECT_EQ(mem.seek_from_end(1), 3);
    EXPECT_EQ(mem.seek(5), -1);
    EXPECT_EQ(mem.seek(4), 4);
    EXPECT_EQ(mem.seek_relative(1), -1);
    EXPECT_EQ(mem.seek_relative(-3), -3);
    EXPECT_EQ(mem.tell(), 1u);
    EXPECT_EQ(mem.seek_relative(-2), -1);
    EXPECT_EQ(mem.tell(), 1u);

    uni::fileio closed;
    EXPECT_EQ(closed.seek(0), -1);
    EXPECT_EQ(closed.seek_relative(0), -1);
    EXPECT_EQ(closed.seek_from_end(0), -1);
    EXPECT_EQ(closed.size(), 0u);
    EXPECT_EQ(closed.query_size(), 0u);
}

TEST(FileioWrite, memory_writes_append_overwrite_and_never_leave_gaps) {
    uni::fileio f(bytes_of("abcd"), true, false);
    ASSERT_EQ(f.write_at("XY", 2, 100), 1);  // beyond the end: appended, no gap
    EXPECT_EQ(std::string(f.buffer.begin(), f.buffer.end()), "abcdXY");
    EXPECT_EQ(f.size(), 6u);
    ASSERT_EQ(f.write_at("12345", 5, 4), 1);  // overwrites the tail and appends the rest
    EXPECT_EQ(std::string(f.buffer.begin(), f.buffer.end()), "abcd12345");
    EXPECT_EQ(f.tell(), 9u);
    ASSERT_EQ(f.write_at("Q", 1, 1), 1);  // inside: size unchanged
    EXPECT_EQ(std::string(f.buffer.begin(), f.buffer.end()), "aQcd12345");
    EXPECT_EQ(f.size(), 9u);
    EXPECT_EQ(f.tell(), 2u);
    EXPECT_EQ(f.write_at("Q", 1, -1), 0);
    ASSERT_EQ(f.write("!", 1), 1);
    EXPECT_EQ(f.size(), 10u);
    EXPECT_EQ(f.write_bytes({}), 0);
    EXPECT_EQ(f.write("x", 0), 1);
    EXPECT_EQ(f.write(nullptr, 3), 0);
    EXPECT_EQ(f.write_fill('z', 0), 0);
    ASSERT_EQ(f.write_fill('z', 3), 1);
    ASSERT_EQ(f.printf("%d-%s", 7, "ok"), 1);
    std::ostringstream text;
    text << "[end]";
    ASSERT_EQ(f.append_stream(text), 1);
    EXPECT_EQ(f.append_stream(std::ostringstream()), 1);
    EXPECT_EQ(std::string(f.buffer.begin(), f.buffer.end()), "aQcd12345!zzz7-ok[end]");
    f.set_length(3);
    EXPECT_EQ(std::string(f.buffer.begin(), f.buffer.end()), "aQc");
    EXPECT_EQ(f.tell(), 0u);
    f.set_length(5);
    EXPECT_EQ(f.buffer, (std::vector<std::uint8_t>{'a', 'Q', 'c', 0, 0}));
}

TEST(FileioWrite, descriptor_writes_and_sizes) {
    temp_folder dir("fileio_dwrite");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("w");
    uni::fileio f(p, true, false, false);
    ASSERT_TRUE(f.is_open());
    ASSERT_EQ(f.write("hello", 5), 1);
    EXPECT_EQ(f.size(), 5u);
    ASSERT_EQ(f.write_at("J", 1, 0), 1);
    ASSERT_EQ(f.write_bytes(bytes_of(" world")), 1);
    ASSERT_EQ(f.write_bytes_at(bytes_of("W"), 6), 1);
    ASSERT_EQ(f.write_fill('.', 1), 1);
    ASSERT_EQ(f.write_fill('!', 3), 1);
    ASSERT_EQ(f.printf(" %05.1f", 2.25), 1);
    EXPECT_EQ(f.printf(nullptr), 0);
    EXPECT_EQ(read_file(p), "Jello World.!!! 002.2");
    EXPECT_EQ(f.size(), 21u);
    EXPECT_EQ(f.write_bytes({}), 0);
    EXPECT_EQ(f.write("x", 0), 1);
    f.set_length(4);
    EXPECT_EQ(f.size(), 21u);  // kept until refreshed
    EXPECT_EQ(f.refresh_size(), 4u);
    EXPECT_EQ(read_file(p), "Jell");
    stat_record st;
    ASSERT_EQ(f.get_stat(&st), 1);
    EXPECT_EQ(st.size, 4u);
    EXPECT_EQ(st.mode & 0xF000u, 0x8000u);
}

TEST(FileioWrite, a_failed_write_is_reported_as_a_failure) {
    uni::fileio full;
    // /dev/full accepts the open and fails every write with "no space".
    if (full.open(std::string("/dev/full"), true, false, false) != 1)
        GTEST_SKIP() << "/dev/full is not available";
    EXPECT_EQ(full.write("abc", 3), 0);
    EXPECT_EQ(full.write_bytes(bytes_of("abc")), 0);
    EXPECT_EQ(full.write_at("abc", 3, 0), 0);
    EXPECT_EQ(full.printf("%s", "abc"), 0);

    uni::fileio closed;
    EXPECT_EQ(closed.write("abc", 3), 0);
    EXPECT_EQ(closed.write_at("abc", 3, 0), 0);
    EXPECT_EQ(closed.printf("x"), 0);
    std::ostringstream empty;
    EXPECT_EQ(closed.append_stream(empty), 0);
    closed.set_length(10);  // nothing happens
    EXPECT_FALSE(closed.is_open());
}

TEST(FileioWrite, a_read_only_object_never_changes_the_file) {
    temp_folder dir("fileio_readonly");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("evidence.db");
    ASSERT_TRUE(write_file(p, "original"));
    uni::fileio f(p, false, false, false);
    ASSERT_TRUE(f.is_open());
    EXPECT_FALSE(f.write_access);
    EXPECT_EQ(f.write("x", 1), 0);
    EXPECT_EQ(f.write_at("x", 1, 0), 0);
    f.set_length(2);
    EXPECT_EQ(read_file(p), "original");
}

TEST(FileioWrite, append_mode_adds_at_the_end) {
    temp_folder dir("fileio_append");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("log");
    ASSERT_TRUE(write_file(p, "one\n"));
    uni::fileio f;
    ASSERT_EQ(f.open_append(p + "/", true), 1);
    EXPECT_EQ(f.tell(), 4u);
    EXPECT_TRUE(f.write_access);
    ASSERT_EQ(f.write("two\n", 4), 1);
    f.close();
    ASSERT_EQ(f.open_append(dir.file("new"), false), 1);  // created when missing
    EXPECT_EQ(f.size(), 0u);
    f.close();
    EXPECT_EQ(read_file(p), "one\ntwo\n");
    EXPECT_EQ(f.open_append(std::string(), false), 0);
}

struct window {
    std::uint64_t offset;
    std::uint32_t length;
    std::uint32_t overlap;
    std::string bytes;
    bool operator==(const window& o) const {
        return offset == o.offset && length == o.length && overlap == o.overlap && bytes == o.bytes;
    }
};

int record_window(uni::fileio*, void* ctx, const std::uint8_t* data, std::uint32_t length,
                  std::uint32_t overlap, std::uint64_t offset) {
    static_cast<std::vector<window>*>(ctx)->push_back(
        {offset, length, overlap, std::string(reinterpret_cast<const char*>(data), length)});
    return 0;
}

TEST(FileioScan, overlapping_windows_cover_the_file) {
    temp_folder dir("fileio_scan");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("d");
    ASSERT_TRUE(write_file(p, "0123456789"));
    uni::fileio disk(p, false, false, false);
    uni::fileio mem(bytes_of("0123456789"), false, false);
    const std::vector<window> expected = {
        {0, 4, 1, "0123"}, {3, 4, 1, "3456"}, {6, 4, 1, "6789"}, {9, 1, 0, "9"}};
    for (uni::fileio* f : {&disk, &mem}) {
        std::vector<window> seen;
        ASSERT_EQ(f->scan_chunks(record_window, &seen, 4, 1, 0), 1);
        EXPECT_EQ(seen, expected);

        // A chunk longer than what is left: one window, no overlap.
        seen.clear();
        ASSERT_EQ(f->scan_chunks(record_window, &seen, 100, 50, 2), 1);
        EXPECT_EQ(seen, (std::vector<window>{{2, 8, 0, "23456789"}}));

        // An overlap as long as the chunk would never advance: it is dropped.
        seen.clear();
        ASSERT_EQ(f->scan_chunks(record_window, &seen, 5, 5, 0), 1);
        EXPECT_EQ(seen, (std::vector<window>{{0, 5, 0, "01234"}, {5, 5, 0, "56789"}}));

        seen.clear();
        ASSERT_EQ(f->scan_chunks(record_window, &seen, 4, 0, 10), 1);
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(f->scan_chunks(nullptr, &seen, 4, 0, 0), 0);
    }
    uni::fileio closed;
    std::vector<window> seen;
    EXPECT_EQ(closed.scan_chunks(record_window, &seen, 4, 0, 0), 0);
}

TEST(FileioClose, close_writes_the_streams_bytes_before_the_descriptor_closes) {
    temp_folder dir("fileio_close");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("r");
    const int before = fileio_test::open_descriptor_count();
    {
        uni::fileio f(p, true, true, false);
        std::ostream* out = f.open_output_stream();
        ASSERT_NE(out, nullptr);
        *out << "line one" << std::endl;
        EXPECT_EQ(read_file(p), "");  // endl does not reach the file
        f.close();
        EXPECT_EQ(read_file(p), "line one\n");
        EXPECT_FALSE(f.is_open());
        EXPECT_EQ(f.stream, nullptr);
        EXPECT_TRUE(f.path.empty());
        EXPECT_EQ(f.open_output_stream(), nullptr);

        uni::fileio g(p, true, true, false);
        *g.open_output_stream() << "by destructor";
    }
    EXPECT_EQ(read_file(p), "by destructor");
    EXPECT_EQ(fileio_test::open_descriptor_count(), before);
}

TEST(FileioState, memory_mode_status_and_reset) {
    uni::fileio f;
    EXPECT_FALSE(f.is_open());
    EXPECT_FALSE(f.is_valid());
    stat_record st;
    EXPECT_EQ(f.get_stat(&st), 0);
    ASSERT_EQ(f.open_memory(12, false, true), 1);
    EXPECT_TRUE(f.is_open());
    EXPECT_TRUE(f.is_valid());
    EXPECT_TRUE(f.text_mode);
    st.inode = 5;
    ASSERT_EQ(f.get_stat(&st), 1);
    EXPECT_EQ(st.size, 12u);
    EXPECT_EQ(st.inode, 0u);
    EXPECT_EQ(f.query_size(), 12u);
    f.close();
    EXPECT_FALSE(f.in_memory);
    EXPECT_TRUE(f.buffer.empty());
    EXPECT_FALSE(f.text_mode);
}

}  // namespace
