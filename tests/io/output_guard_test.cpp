#include "io/output_guard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "io/db_companions.h"

namespace {

class output_guard_test : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/output_guard_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        char real[PATH_MAX];
        ASSERT_NE(realpath(templ.c_str(), real), nullptr);
        dir_ = real;
    }
    void TearDown() override {
        const std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
    }
    std::string at(const std::string& name) const { return dir_ + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(at(name), std::ios::binary) << bytes;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string dir_;
};

TEST_F(output_guard_test, a_relative_output_is_compared_where_it_leads) {
    write("f.db", "x");
    ASSERT_EQ(symlink("f.db-journal", at("dangling").c_str()), 0);
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof(saved)), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    const std::string member = family_member_at("dangling", "./f.db/");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(member, "./f.db-journal");
}

TEST_F(output_guard_test, family_members_by_name_link_and_identity) {
    write("e.db", "SQLite format 3");
    ASSERT_EQ(link(at("e.db").c_str(), at("hard").c_str()), 0);
    ASSERT_EQ(symlink("e.db", at("soft.db").c_str()), 0);
    // (output, input, member it reaches; empty for none)
    const std::vector<std::vector<std::string>> cases = {
        {at("e.db"), at("e.db"), at("e.db")},
        {at("hard"), at("e.db"), at("e.db")},
        {at("e.db-shm"), at("e.db"), at("e.db-shm")},
        {at("e.db-wal"), at("soft.db"), at("e.db-wal")},  // the library's companions lie beside the target
        {at("soft.db-wal"), at("soft.db"), at("soft.db-wal")},
        {at("e.db-journal") + "/", at("e.db"), at("e.db-journal")},
        {at("e.db.txt"), at("e.db"), ""},
        {at("e.db-wal"), "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(family_member_at(c[0], c[1]), c[2]) << c[0] << " | " << c[1];
    EXPECT_TRUE(paths_reach_same_file(at("hard"), at("soft.db")));
    EXPECT_TRUE(paths_reach_same_file(at("new.txt"), dir_ + "/./new.txt/"));
    EXPECT_FALSE(paths_reach_same_file(at("new.txt"), at("e.db")));
    // (path, the existing file it would lie beside as its companion)
    const std::vector<std::pair<std::string, std::string>> beside = {
        {at("e.db-journal"), at("e.db")},
        {at("e.db-wal/"), at("e.db")},
        {at("e.db-shm"), at("e.db")},
        {at("x.db-wal"), ""},
        {at("-wal"), ""},
    };
    for (const auto& b : beside) EXPECT_EQ(file_beside_as_companion(b.first), b.second) << b.first;
    EXPECT_TRUE(named_like_shared_memory(at("e.db-shm/")));
    EXPECT_FALSE(named_like_shared_memory(at("e.db-shm.txt")));
    // Companions lie beside the file a link leads to, as the library finds them, however the path is spelled.
    ASSERT_EQ(mkdir(at("links").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../soft.db", at("links/chain.db").c_str()), 0);
    for (const std::string& spelled :
         {at("e.db"), at("soft.db"), at("links/chain.db"), dir_ + "/links/../soft.db"}) {
        const db_companions c = companions_of(spelled);
        EXPECT_EQ(c.database, at("e.db")) << spelled;
        EXPECT_EQ(c.wal, at("e.db-wal")) << spelled;
        EXPECT_EQ(c.journal, at("e.db-journal")) << spelled;
        EXPECT_EQ(c.shm, at("e.db-shm")) << spelled;
    }
    EXPECT_TRUE(companions_of("").wal.empty());
}

TEST_F(output_guard_test, held_output_is_checked_before_it_is_emptied) {
    const std::string header_of_log("\x37\x7f\x06\x82\x00\x2d\xe2\x18", 8);
    const std::string header_of_journal("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
    // (name, bytes, what the header says; null for nothing of evidence)
    const std::vector<std::tuple<std::string, std::string, const char*>> cases = {
        {"db", std::string("SQLite format 3\0rest", 20), "a SQLite database"},
        {"log", header_of_log, "a write-ahead log"},
        {"journal", header_of_journal, "a rollback journal"},
        {"text", "SQLite format 3 but text", nullptr},
        {"short", "SQL", nullptr},
    };
    for (const auto& c : cases) {
        write(std::get<0>(c), std::get<1>(c));
        held_output held;
        held.spelled = at(std::get<0>(c));
        ASSERT_EQ(hold_output(held), 1) << std::get<0>(c);
        EXPECT_FALSE(held.created);
        const char* kind = held_evidence_header(held);
        EXPECT_EQ(kind == nullptr ? std::string("none") : std::string(kind),
                  std::get<2>(c) == nullptr ? std::string("none") : std::string(std::get<2>(c)));
        EXPECT_EQ(read(held.target), std::get<1>(c));  // holding changed nothing
        EXPECT_TRUE(held_output_is(held, held.spelled));
        drop_held_output(held);
        EXPECT_EQ(read(at(std::get<0>(c))), std::get<1>(c));  // an existing file stays
    }

    // A file the hold created goes again when the run is refused; emptied once accepted.
    held_output fresh;
    fresh.spelled = at("new.txt");
    ASSERT_EQ(hold_output(fresh), 1);
    EXPECT_TRUE(fresh.created);
    drop_held_output(fresh);
    EXPECT_NE(access(at("new.txt").c_str(), F_OK), 0);
    held_output kept;
    kept.spelled = at("text");
    ASSERT_EQ(hold_output(kept), 1);
    EXPECT_EQ(empty_held_output(kept), 1);
    EXPECT_EQ(read(at("text")), "");
    EXPECT_TRUE(held_output_is(kept, at("text")));

    held_output nowhere;
    nowhere.spelled = at("no/such/folder/r.txt");
    EXPECT_EQ(hold_output(nowhere), 0);
    EXPECT_EQ(nowhere.descriptor, -1);
}

TEST_F(output_guard_test, only_an_empty_file_or_an_earlier_output_may_be_written_over) {
    // (bytes, may be written over although an input names it)
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", true},
        {"selk - 1.0.0\n\"command line: selk -db a.db\"\n\n", true},
        {"->selk -pipe\n->3 records found\n\n->0 secs", true},
        {"->selk -pipe\n-", true},  // the block read may end after a line's first '-'
        {"->selk -pipe\nplain text\n", false},
        {"-> first\n-x\n", false},
        {"selk -", false},
        {"notes\n", false},
        {std::string("\0\0\0\0", 4), false},
        {std::string("SQLite format 3\0", 16), false},
    };
    for (const auto& c : cases) {
        write("f", c.first);
        held_output held;
        held.spelled = at("f");
        ASSERT_EQ(hold_output(held), 1);
        EXPECT_EQ(held_earlier_output(held, "selk - "), c.second) << c.first;
        drop_held_output(held);
        EXPECT_EQ(read(at("f")), c.first);
    }
    // A log whose first lines fill the block read is told by them.
    write("long.log", "->" + std::string(5000, 'x') + "\nplain\n");
    held_output long_log;
    long_log.spelled = at("long.log");
    ASSERT_EQ(hold_output(long_log), 1);
    EXPECT_TRUE(held_earlier_output(long_log, "selk - "));
    // The run's own new file may be written; a file held for writing only cannot be told.
    held_output fresh;
    fresh.spelled = at("new.txt");
    ASSERT_EQ(hold_output(fresh), 1);
    EXPECT_TRUE(held_earlier_output(fresh, "selk - "));
    held_output unread;
    unread.descriptor = -1;
    EXPECT_FALSE(held_earlier_output(unread, "selk - "));
}

TEST_F(output_guard_test, many_places_are_compared_with_an_input_at_once) {
    write("e.db", "SQLite format 3");
    write("e.db-wal", "log");
    write("other", "x");
    ASSERT_EQ(link(at("e.db-wal").c_str(), at("hard-wal").c_str()), 0);
    auto place_of = [](const std::string& target, bool exists) {
        output_place place;
        place.target = target;
        struct stat st;
        if (exists && stat(target.c_str(), &st) == 0) {
            place.exists = true;
            place.device = static_cast<std::uint64_t>(st.st_dev);
            place.inode = static_cast<std::uint64_t>(st.st_ino);
        }
        return place;
    };
    output_place by_identity = place_of(at("hard-wal"), true);
    by_identity.target.clear();  // known by its descriptor alone
    const std::vector<output_place> places = {place_of(at("e.db"), true), by_identity,
                                              place_of(at("e.db-journal"), false),
                                              place_of(at("other"), true), place_of(at("missing"), false)};
    std::vector<std::string> members;
    family_members_at(places, at("e.db") + "/", members);
    const std::vector<std::string> expected = {at("e.db") + "/", at("e.db-wal"), at("e.db-journal"), "", ""};
    EXPECT_EQ(members, expected);
    // A member named already stays; an empty input names none.
    family_members_at(places, at("other"), members);
    EXPECT_EQ(members[0], at("e.db") + "/");
    EXPECT_EQ(members[3], at("other"));
    std::vector<std::string> none;
    family_members_at(places, "", none);
    EXPECT_EQ(none, std::vector<std::string>(places.size()));
}

TEST_F(output_guard_test, a_silenced_descriptor_writes_no_more_to_its_file) {
    write("err.txt", "kept");
    const int fd = open(at("err.txt").c_str(), O_WRONLY | O_APPEND);
    ASSERT_NE(fd, -1);
    EXPECT_EQ(descriptor_target(fd), at("err.txt"));
    silence_descriptor(fd);
    EXPECT_EQ(descriptor_target(fd), "/dev/null");
    EXPECT_EQ(::write(fd, "more", 4), 4);
    close(fd);
    EXPECT_EQ(read(at("err.txt")), "kept");
    // A removed file, and a pipe, have no path.
    const int gone = open(at("gone").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_NE(gone, -1);
    ASSERT_EQ(unlink(at("gone").c_str()), 0);
    EXPECT_EQ(descriptor_target(gone), "");
    close(gone);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_EQ(descriptor_target(ends[1]), "");
    close(ends[0]);
    close(ends[1]);
}

}  // namespace
