// Leaf pages decoded on several threads reach the consumer as one thread would hand them over.
#include "sqlite_format/page_parallel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/file_map.h"
#include "thread_start_failure.h"

namespace {

using namespace reader_fixtures;

// A leaf's rows as rowid and values.
std::string page_text(const leaf_rows& page) {
    std::string text = page.fault.empty()
                           ? std::string()
                           : "fault at " + std::to_string(page.offset) + ": " + page.fault + "\n";
    for (std::size_t i = 0; i < page.count; ++i) {
        text += std::to_string(page.rows[i].rowid);
        for (const std::string& v : page.rows[i].values) text += "|" + v;
        text += "\n";
    }
    return text;
}

// Each leaf's rows, in the order the consumer got them.
std::vector<std::string> consumed(uni::fileio& file, const std::vector<std::uint64_t>& leaves,
                                  const leaf_page_options& leaf, unsigned threads, std::size_t stop_after) {
    std::vector<std::string> got;
    std::size_t pages = 0;
    const int ran = decode_leaf_rows_in_order(file, leaves, leaf, threads, [&](leaf_rows& page) {
        // A slow start: the threads fill every place of the ring and wait for room.
        if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        got.push_back(page_text(page));
        return ++pages < stop_after;
    });
    EXPECT_EQ(ran, threads < 2 ? 0 : 1);
    return got;
}

// A table of many leaves, its leaf offsets (one of them past the end of the file), and each leaf's rows as
// one thread decodes them.
struct leaf_table {
    temp_dir dir;
    uni::fileio file;
    std::vector<std::uint64_t> leaves;
    leaf_page_options leaf{1024, nullptr};
    std::vector<std::string> one;

    void make() {
        const std::string path = dir.file("leaves.db");
        std::string sql = "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT); BEGIN;";
        for (int i = 1; i <= 4000; ++i)
            sql += "INSERT INTO t VALUES(" + std::to_string(i) + ", '" +
                   std::string(static_cast<std::size_t>(i % 300), 'v') + "');";
        sql += "COMMIT;";
        ASSERT_NO_FATAL_FAILURE(make_db(path, 1024, sql));
        ASSERT_TRUE(file.open(path, false, false, false));
        std::vector<sqlite_artifact> interiors;
        std::map<std::uint64_t, sqlite_artifact> unused;
        const std::uint64_t root =
            (std::stoull(query(path, "SELECT rootpage FROM sqlite_master;")[0][0]) - 1) * 1024;
        ASSERT_EQ(collect_btree_interior_pages(interiors, unused, file, root, 1024, true, kUtf8), 1);
        for (const sqlite_artifact& node : interiors)
            for (const auto& cell : node.cells) leaves.push_back((child_page_of(cell.second) - 1) * 1024);
        ASSERT_GT(leaves.size(), 300u);  // many more groups of pages than the threads may hold decoded
        // One page that cannot be read (past the end of the file) is handed on with its fault, not stopped
        // at.
        leaves.insert(leaves.begin() + 100, file.size() + 4096);
        leaf = leaf_page_options(1024, &file);
        leaf.values_only = true;
        std::vector<std::uint8_t> buf(1024);
        leaf_rows page;
        leaf_row_buffers buffers;
        for (const std::uint64_t offset : leaves) {
            page.offset = offset;
            if (!read_file_exact(file, offset, 1024, buf.data())) {
                page.count = 0;
                page.fault = "cannot be read";
            } else {
                page.count = decode_leaf_rows(page.rows, buffers, buf.data(), offset, leaf);
                page.fault = buffers.fault;
            }
            if (page.count != 0 || !page.fault.empty()) one.push_back(page_text(page));
        }
        ASSERT_EQ(one.size(), leaves.size());
        ASSERT_EQ(one[100], "fault at " + std::to_string(file.size() + 4096) + ": cannot be read\n");
    }
};

TEST(DecodeLeafRowsInOrder, ThreadsHandOverThePagesOfOneThreadAndStopWhenAsked) {
    leaf_table t;
    ASSERT_NO_FATAL_FAILURE(t.make());
    const std::vector<std::string> serial = consumed(t.file, t.leaves, t.leaf, 0, SIZE_MAX);
    ASSERT_TRUE(serial.empty());  // fewer than two threads: the caller decodes
    for (const unsigned threads : {2u, 3u, 6u}) {
        EXPECT_EQ(consumed(t.file, t.leaves, t.leaf, threads, SIZE_MAX), t.one) << threads;
        // A consumer that stops gets nothing more, whichever thread decoded ahead.
        const std::vector<std::string> stopped = consumed(t.file, t.leaves, t.leaf, threads, 37);
        EXPECT_EQ(stopped, std::vector<std::string>(t.one.begin(), t.one.begin() + 37)) << threads;
    }
}

// A thread that cannot start leaves its pages to the threads that did (or to the caller): every page is
// handed on as one thread gives it; a decoding thread that fails, or a consumer that throws, ends the walk
// with that exception once the threads are joined.
TEST(DecodeLeafRowsInOrder, FailuresOfThreadsAndConsumersReachTheCaller) {
    leaf_table t;
    ASSERT_NO_FATAL_FAILURE(t.make());
    constexpr unsigned kThreads = 3;
    for (int n = 1; n <= static_cast<int>(kThreads); ++n) {
        for (const thread_start_outcome how : {thread_start_outcome::refuse, thread_start_outcome::fail}) {
            thread_start_failure::scope hook(n, how);
            std::vector<std::string> got;
            bool threw = false;
            int ran = -1;
            try {
                ran = decode_leaf_rows_in_order(t.file, t.leaves, t.leaf, kThreads, [&got](leaf_rows& page) {
                    got.push_back(page_text(page));
                    return true;
                });
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            const bool refused = how == thread_start_outcome::refuse;
            EXPECT_EQ(ran, refused ? 1 : -1) << n;
            EXPECT_EQ(threw, !refused) << n;
            if (refused) {
                EXPECT_EQ(got, t.one) << n;
            }
            // What was handed on before the failure is what one thread gives.
            ASSERT_LE(got.size(), t.one.size());
            EXPECT_EQ(got, std::vector<std::string>(t.one.begin(), t.one.begin() + got.size())) << n;
        }
    }
    std::size_t pages = 0;
    EXPECT_THROW(decode_leaf_rows_in_order(t.file, t.leaves, t.leaf, kThreads,
                                           [&pages](leaf_rows&) -> bool {
                                               if (++pages == 40) throw std::runtime_error("consumer failed");
                                               return true;
                                           }),
                 std::runtime_error);
    EXPECT_EQ(pages, 40u);
}

}  // namespace
