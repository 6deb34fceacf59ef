#include "io/path_source.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "io/cmd_params.h"
#include "io/filename_filter.h"
#include "platform/path_text.h"
#include "portable_dir_test_support.h"

namespace {

using pdir_test::raw_listing;
using pdir_test::temp_tree;

const std::string kOddName = "\xFF.db";  // not UTF-8: must come back byte for byte

// root: a.db, b.txt, 0xFF.db, loop -> . ; sub1: c.db, deeper/ (d.db, back -> ../..) ; sub2: e.db
bool build_tree(const temp_tree& t) {
    return t.file("a.db") && t.file("b.txt") && t.file(kOddName) && t.link(".", "loop") && t.dir("sub1") &&
           t.file("sub1/c.db") && t.dir("sub1/deeper") && t.file("sub1/deeper/d.db") &&
           t.link("../..", "sub1/deeper/back") && t.dir("sub2") && t.file("sub2/e.db");
}

// A link whose target is a folder.
bool is_folder_link(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The documented order, computed from readdir independently of the walk: a folder's files in reverse
// listing order (links to folders left out), then its sub-folders depth first, the last listed first, down to
// `limit` levels.
void expected_walk(const std::string& folder, std::uint32_t level, std::uint32_t limit,
                   std::vector<std::string>& out) {
    const std::vector<pdir_test::raw_entry> entries = raw_listing(folder);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (!it->is_dir && !is_folder_link(folder + "/" + it->name)) out.push_back(folder + "/" + it->name);
    }
    if (level + 1 > limit) return;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->is_dir) expected_walk(folder + "/" + it->name, level + 1, limit, out);
    }
}

// The files the walk hands out; the folder links it tells of ("path -> target") into `links` when given.
std::vector<std::string> walk(const std::string& folder, std::uint32_t depth,
                              const std::vector<filename_filter>& filters = {},
                              std::set<std::string>* links = nullptr) {
    qmportdir::stdin_stream_ex stream(nullptr);
    if (links != nullptr)
        stream.on_folder_link = [links](const std::string& link, const std::string& target) {
            links->insert(link + " -> " + target);
        };
    std::vector<std::string> out;
    if (!stream.init_to_enumdir(folder, depth, filters)) return out;
    std::string path;
    // A cap far above the tree's size turns an endless walk into a failure instead of a hang.
    while (out.size() < 1000 && stream.read(path, true)) out.push_back(path);
    return out;
}

std::set<std::string> as_set(const std::vector<std::string>& v) {
    return std::set<std::string>(v.begin(), v.end());
}

TEST(PathSourceWalk, depths_0_1_2_yield_the_expected_paths_in_order_without_entering_link_loops) {
    temp_tree t("ps_walk");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(build_tree(t));
    const std::string r = t.root();
    // The links to folders are told of, not handed out as files.
    const std::set<std::string> level0 = {r + "/a.db", r + "/b.txt", r + "/" + kOddName};
    std::set<std::string> level1 = level0;
    level1.insert({r + "/sub1/c.db", r + "/sub2/e.db"});
    std::set<std::string> level2 = level1;
    level2.insert({r + "/sub1/deeper/d.db"});

    std::set<std::string> links0, links2;
    const std::vector<std::string> w0 = walk(r, 0, {}, &links0);
    const std::vector<std::string> w1 = walk(r, 1);
    const std::vector<std::string> w2 = walk(r, 2, {}, &links2);
    EXPECT_EQ(links0, (std::set<std::string>{r + "/loop -> ."}));
    EXPECT_EQ(links2, (std::set<std::string>{r + "/loop -> .", r + "/sub1/deeper/back -> ../.."}));
    EXPECT_EQ(as_set(w0), level0);
    EXPECT_EQ(as_set(w1), level1);
    EXPECT_EQ(as_set(w2), level2);
    EXPECT_EQ(w2.size(), level2.size());  // nothing twice

    for (std::uint32_t depth : {0u, 1u, 2u}) {
        std::vector<std::string> want;
        expected_walk(r, 0, depth, want);
        EXPECT_EQ(walk(r, depth), want) << "depth " << depth;
    }
    // The links "loop" and "back" point back up the tree; a deep walk still ends with the same files.
    EXPECT_EQ(walk(r, 1000), w2);
    EXPECT_EQ(walk(r, 0xFFFFFFFFu), w2);
}

TEST(PathSourceWalk, files_come_out_reversed_and_a_deeper_level_is_not_listed) {
    temp_tree t("ps_order");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("a") && t.file("b") && t.file("c") && t.dir("x") && t.file("x/in_x") && t.dir("x/y") &&
                t.file("x/y/in_y"));
    std::vector<std::string> listed;
    for (const auto& e : raw_listing(t.root())) {
        if (!e.is_dir) listed.push_back(t.root() + "/" + e.name);
    }
    std::reverse(listed.begin(), listed.end());
    EXPECT_EQ(walk(t.root(), 0), listed);

    std::vector<std::string> want = listed;
    want.push_back(t.root() + "/x/in_x");  // every file of start first, then those of x, none of y
    EXPECT_EQ(walk(t.root(), 1), want);
    // A trailing separator on the start folder changes nothing.
    EXPECT_EQ(walk(t.root() + "/", 1), want);
}

TEST(PathSourceWalk, missing_start_folder_and_empty_folder_text) {
    temp_tree t("ps_missing");
    ASSERT_TRUE(t.ok());
    qmportdir::stdin_stream_ex stream(nullptr);
    EXPECT_FALSE(stream.init_to_enumdir(std::string(), 2, {}));
    EXPECT_FALSE(stream.in_enumdir_mode());
    ASSERT_TRUE(stream.init_to_enumdir(t.at("nope"), 2, {}));
    EXPECT_TRUE(stream.in_enumdir_mode());
    EXPECT_EQ(stream.get_level_limit(), 2u);
    std::string out = "kept";
    EXPECT_FALSE(stream.read(out, true));
    EXPECT_EQ(out, "kept");  // a failed walk read leaves the text as it was
    std::wstring wide;
    EXPECT_FALSE(stream.read(wide, true));
}

TEST(PathSourceWalk, a_second_init_starts_over) {
    temp_tree a("ps_again_a");
    temp_tree b("ps_again_b");
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_TRUE(a.file("one") && a.file("two") && b.file("three"));
    qmportdir::stdin_stream_ex stream(nullptr);
    ASSERT_TRUE(stream.init_to_enumdir(a.root(), 0, {}));
    std::string path;
    ASSERT_TRUE(stream.read(path, true));
    ASSERT_TRUE(stream.init_to_enumdir(b.root(), 0, {}));
    ASSERT_TRUE(stream.read(path, true));
    EXPECT_EQ(path, b.root() + "/three");
    EXPECT_FALSE(stream.read(path, true));
}

// The files a walk hands out, each followed by a NUL, then for each folder it could not list "?" + folder +
// ": "
// + why, each followed by a NUL: run as "nobody" in a child process when the test runs as root (for whom
// no mode bits refuse a listing).
std::string walk_telling_unlisted(const std::string& folder, std::uint32_t depth) {
    const auto walk_into = [&](std::string& out) {
        qmportdir::stdin_stream_ex stream(nullptr);
        std::string told;
        stream.on_unlisted_folder = [&told](const std::string& f, const std::string& why) {
            told += "?" + f + ": " + why + std::string(1, '\0');
        };
        if (!stream.init_to_enumdir(folder, depth, {})) return;
        std::string path;
        while (out.size() < 100000 && stream.read(path, true)) out += path + std::string(1, '\0');
        out += told;
    };
    std::string out;
    if (geteuid() != 0) {
        walk_into(out);
        return out;
    }
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        close(fds[0]);
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(2);
        walk_into(out);
        const bool written = write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
        _exit(written ? 0 : 3);
    }
    close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the walk as nobody failed";
    return out;
}

// A folder that cannot be listed is told to the caller with the reason, and the walk goes on with the rest.
TEST(PathSourceWalk, an_unreadable_folder_is_told_and_passed_over) {
    temp_tree t("ps_locked");
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(chmod(t.root().c_str(), 0755), 0);  // so that "nobody" may enter the tree
    ASSERT_TRUE(t.dir("locked") && t.file("locked/hidden") && t.dir("open") && t.file("open/seen") &&
                t.file("top"));
    ASSERT_EQ(chmod(t.at("locked").c_str(), 0), 0);
    struct walk_case {
        std::string start;
        std::set<std::string> files;
        std::string told;
    };
    const std::string refused = ": Permission denied";
    const std::vector<walk_case> cases = {
        {t.root(), {t.at("top"), t.at("open/seen")}, "?" + t.at("locked") + refused},
        {t.at("locked"), {}, "?" + t.at("locked") + refused},
    };
    for (const walk_case& c : cases) {
        const std::string out = walk_telling_unlisted(c.start, 1);
        std::set<std::string> files;
        std::vector<std::string> told;
        for (std::size_t at = 0, nul; (nul = out.find('\0', at)) != std::string::npos; at = nul + 1) {
            const std::string item = out.substr(at, nul - at);
            if (!item.empty() && item[0] == '?')
                told.push_back(item);
            else
                files.insert(item);
        }
        EXPECT_EQ(files, c.files) << c.start << ": " << out;
        EXPECT_EQ(told, std::vector<std::string>{c.told}) << c.start;
    }
}

TEST(PathSourceWalk, wide_read_gives_the_escaped_form_of_odd_bytes) {
    temp_tree t("ps_wide");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file(kOddName));
    qmportdir::stdin_stream_ex stream(nullptr);
    ASSERT_TRUE(stream.init_to_enumdir(path_to_wide(t.root()), 0, {}));
    std::wstring wide;
    ASSERT_TRUE(stream.read(wide, true));
    EXPECT_EQ(wide.substr(wide.size() - 4), std::wstring(L"\xDCFF.db"));
    EXPECT_EQ(wide_to_path(wide), t.at(kOddName));
    EXPECT_TRUE(pdir_test::exists(wide_to_path(wide)));
}

TEST(PathSourceFilter, include_filters_apply_and_unreadable_signature_files_stay) {
    temp_tree t("ps_filter");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(build_tree(t));
    std::vector<filename_filter> db;
    std::string text = "*.DB";
    ASSERT_TRUE(build_filename_filters(db, text));
    const std::string r = t.root();
    EXPECT_EQ(as_set(walk(r, 2, db)),
              (std::set<std::string>{r + "/a.db", r + "/" + kOddName, r + "/sub1/c.db", r + "/sub2/e.db",
                                     r + "/sub1/deeper/d.db"}));
    // Filtering keeps the walk's order among what passes.
    std::vector<std::string> want;
    for (const std::string& p : walk(r, 2)) {
        if (p.size() > 3 && p.compare(p.size() - 3, 3, ".db") == 0) want.push_back(p);
    }
    EXPECT_EQ(walk(r, 2, db), want);

    std::vector<filename_filter> all;
    text = "abc,*";
    ASSERT_TRUE(build_filename_filters(all, text));
    EXPECT_EQ(walk(r, 2, all), walk(r, 2));

    temp_tree s("ps_sig");
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s.file("x.dat", "SQLite format 3") && s.file("y.dat", "nothing") && s.file("short", "SQ") &&
                s.link("missing_target", "z.dat"));
    filename_filter sig;
    sig.signature = {0x53, 0x51, 0x4C, 0x69};
    sig.signature_offset = 0;
    EXPECT_EQ(as_set(walk(s.root(), 0, {sig})), (std::set<std::string>{s.at("x.dat"), s.at("z.dat")}));
}

TEST(PathSourceFilter, long_path_prefix_rule) {
    qmportdir::stdin_stream_ex stream(nullptr);
    std::wstring p = L"\\\\?\\C:/x.db";
    EXPECT_TRUE(stream.fixup_directory_or_file(p, false));
    EXPECT_EQ(p, L"C:/x.db");
    p = L"\\\\?\\C";  // 5 characters: the shortest that loses its prefix
    EXPECT_TRUE(stream.fixup_directory_or_file(p, false));
    EXPECT_EQ(p, L"C");
    p = L"\\\\?\\";  // 4 characters: stays
    EXPECT_TRUE(stream.fixup_directory_or_file(p, true));
    EXPECT_EQ(p, L"\\\\?\\");
    const std::wstring tail(50, L'a');
    p = L"\\\\?\\" + tail;
    EXPECT_TRUE(stream.fixup_directory_or_file(p, false));
    EXPECT_EQ(p, tail);
    const std::wstring global = L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\x.db";
    ASSERT_GT(global.size(), 46u);
    p = global;
    EXPECT_TRUE(stream.fixup_directory_or_file(p, false));
    EXPECT_EQ(p, global);
    // The same text within 46 characters loses its prefix even with "global" after it.
    p = L"\\\\?\\globalroot\\x.db";
    EXPECT_TRUE(stream.fixup_directory_or_file(p, false));
    EXPECT_EQ(p, L"globalroot\\x.db");
}

TEST(PathSourceFilter, options_given_at_construction_apply_until_an_init_forgets_them) {
    temp_tree t("ps_opts");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.file("old.db"));
    cmd_params options;
    options.start_time_set = true;
    options.start_unix_seconds = 0xFFFFFFF0u;  // the file is older than the start of the window
    qmportdir::stdin_stream_ex stream(&options);
    std::wstring path = path_to_wide(t.at("old.db"));
    EXPECT_FALSE(stream.fixup_directory_or_file(path, false));
    EXPECT_TRUE(stream.fixup_directory_or_file(path, true));  // folders are never filtered
    ASSERT_TRUE(stream.init_to_enumdir(t.root(), 0, {}));
    std::string out;
    ASSERT_TRUE(stream.read(out, true));
    EXPECT_EQ(out, t.at("old.db"));
}

// Standard input is the file at `path` for the rest of the process.
bool stdin_from(const std::string& path) { return std::freopen(path.c_str(), "r", stdin) != nullptr; }

TEST(PathSourcePipe, piped_list_gives_the_walked_paths_and_long_lines_come_whole) {
    temp_tree t("ps_pipe");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(build_tree(t));
    const std::vector<std::string> walked = walk(t.root(), 2);
    ASSERT_EQ(walked.size(), 6u);  // the two links to folders are not handed out
    std::string listing;
    for (std::size_t i = 0; i < walked.size(); ++i) listing += walked[i] + (i % 2 == 0 ? "\n" : "\r\n");
    const std::string long_line(5000, 'p');
    listing += long_line + "\n";
    listing += "last-without-newline";
    temp_tree f("ps_pipe_in");
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.file("list", listing));
    ASSERT_TRUE(stdin_from(f.at("list")));

    qmportdir::stdin_stream_ex stream(nullptr);
    ASSERT_TRUE(stream.init_to_stdin(true));
    EXPECT_FALSE(stream.in_enumdir_mode());
    std::vector<std::string> piped;
    std::string line;
    for (std::size_t i = 0; i < walked.size() && stream.read(line, true); ++i) piped.push_back(line);
    EXPECT_EQ(piped, walked);
    ASSERT_TRUE(stream.read(line, true));
    EXPECT_EQ(line, long_line);
    ASSERT_TRUE(stream.read(line, false));
    EXPECT_EQ(line, "last-without-newline");
    EXPECT_FALSE(stream.read(line, true));
    EXPECT_TRUE(line.empty());
}

TEST(PathSourcePipe, untrimmed_and_wide_reads_of_piped_lines) {
    temp_tree f("ps_pipe_w");
    ASSERT_TRUE(f.ok());
    const std::string odd = f.at(kOddName);
    ASSERT_TRUE(f.file("list", odd + "\r\n" + odd + "\n"));
    ASSERT_TRUE(stdin_from(f.at("list")));
    qmportdir::stdin_stream_ex stream(nullptr);
    ASSERT_TRUE(stream.init_to_stdin(false));
    std::string line;
    ASSERT_TRUE(stream.read(line, false));
    EXPECT_EQ(line, odd + "\r\n");
    std::wstring wide;
    ASSERT_TRUE(stream.read(wide, true));
    EXPECT_EQ(wide, path_to_wide(odd));
    EXPECT_FALSE(stream.read(wide, true));
}

// A child process whose standard input is the read end of a pipe reads every path with the stream and
// writes them, each followed by a NUL, to `result`; the parent writes `listing` into the pipe.
bool read_through_pipe(const std::string& listing, const std::string& result) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(fds[1]);
        if (dup2(fds[0], 0) < 0) _exit(2);
        close(fds[0]);
        // Earlier tests of this process pointed stdin at files; start it afresh on descriptor 0.
        if (std::freopen("/dev/stdin", "r", stdin) == nullptr) _exit(5);
        std::FILE* out = std::fopen(result.c_str(), "wb");
        if (out == nullptr) _exit(3);
        qmportdir::stdin_stream_ex stream(nullptr);
        if (!stream.init_to_stdin(true)) _exit(4);
        std::string line;
        while (stream.read(line, true)) {
            std::fwrite(line.data(), 1, line.size(), out);
            std::fputc('\0', out);
        }
        std::fclose(out);
        _exit(0);
    }
    close(fds[0]);
    // Written in small pieces so that lines reach the reader split across pipe writes.
    bool written = true;
    for (std::size_t at = 0; at < listing.size() && written; at += 7) {
        const std::string piece = listing.substr(at, 7);
        written = write(fds[1], piece.data(), piece.size()) == static_cast<ssize_t>(piece.size());
    }
    close(fds[1]);
    int status = 0;
    if (waitpid(child, &status, 0) != child) return false;
    return written && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(PathSourcePipe, a_real_pipe_into_a_child_process_gives_the_same_paths) {
    temp_tree t("ps_realpipe");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(build_tree(t));
    const std::vector<std::string> walked = walk(t.root(), 2);
    ASSERT_EQ(walked.size(), 6u);  // the two links to folders are not handed out
    std::string listing;
    // Either line end ends a path.
    for (std::size_t i = 0; i < walked.size(); ++i) listing += walked[i] + (i % 2 == 0 ? "\r\n" : "\n");
    listing += std::string(5000, 'q') + "\n";
    temp_tree f("ps_realpipe_out");
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(read_through_pipe(listing, f.at("result")));
    const std::string raw = pdir_test::read_all(f.at("result"));
    std::vector<std::string> got;
    std::size_t start = 0;
    for (std::size_t nul = raw.find('\0'); nul != std::string::npos; nul = raw.find('\0', start)) {
        got.push_back(raw.substr(start, nul - start));
        start = nul + 1;
    }
    std::vector<std::string> want = walked;
    want.push_back(std::string(5000, 'q'));
    EXPECT_EQ(got, want);
}

}  // namespace
