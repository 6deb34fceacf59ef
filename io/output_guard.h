// Keeping a run's own output files off its evidence: which files reading a database may touch, and an
// output file held open, unemptied, until it has been checked against them. Paths are compared by where
// they really lead (path_target.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The files that reading the database `input` may touch or that lie beside it: the database and its
// "-wal", "-journal" and "-shm" companions, each as spelled, without trailing separators, and beside the
// file that the path reaches (path_target). No entry twice.
std::vector<std::string> evidence_family(const std::string& input);

// The member of evidence_family(input) that writing `output` would write over or create: the same
// target path, or the same device and inode as an existing member. Empty when none. Opens nothing.
std::string family_member_at(const std::string& output, const std::string& input);

// True when the two paths reach one file: the same target path, or the same device and inode. False
// when either is empty.
bool paths_reach_same_file(const std::string& a, const std::string& b);

// Where a file the run writes lies, to be compared with many inputs: the file an open reaches (empty for a
// file known only by its descriptor), and its device and inode when it exists.
struct output_place {
    std::string target;
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};
// For each of `places`, the member of evidence_family(input) that writing there would write over or create,
// as family_member_at finds it, into the entry of `members` at the same index (resized to match) where that
// entry is still empty. Each member's target and identity are looked up once for all places. Opens nothing.
void family_members_at(const std::vector<output_place>& places, const std::string& input,
                       std::vector<std::string>& members);

// One output file of a run, held open and not yet emptied.
struct held_output {
    std::string spelled;       // the path as given
    std::string target;        // path_target(spelled): the file that is held
    int descriptor = -1;       // open for writing (and reading where allowed); -1 when not held
    bool readable = false;     // the descriptor can also read
    bool created = false;      // this run created the file
    std::uint64_t device = 0;  // identity of the held file
    std::uint64_t inode = 0;
    bool regular = false;  // a regular file (only those are emptied and examined)

    held_output() = default;
    held_output(const held_output&) = delete;
    held_output& operator=(const held_output&) = delete;
    ~held_output();
};

// Opens out.spelled for writing at its target, without truncating and without following a link there;
// a missing file is created (mode 0644 less the umask). 1, or 0 (errno says why) with nothing held.
int hold_output(held_output& out);
// Holds the file behind an open descriptor (standard output) when it is a regular file: its identity, and
// a descriptor of its own that can read its first bytes. 1 when held; 0 for anything else (nothing held).
int hold_open_file(held_output& out, int descriptor);
// True when the held file is the existing file at `path`.
bool held_output_is(const held_output& out, const std::string& path);
// The place of a held file: its target and identity.
output_place place_of_held(const held_output& out);
// True when the held file is one this run may write over although an input names it: the run created it,
// or it is a readable regular file that holds nothing, begins with `banner` (the first bytes of a report of
// the tool), or begins as a diagnostics log (every line of its first block begins with "->" or is empty).
bool held_earlier_output(const held_output& out, const std::string& banner);
// What an existing held file holds that only evidence holds, by its first bytes: "a SQLite database",
// "a write-ahead log", "a rollback journal"; null when nothing of that kind (or it cannot be read).
const char* held_evidence_header(const held_output& out);
// True when the path's last name ends in "-shm", the name of the shared-memory file beside a database.
bool named_like_shared_memory(const std::string& path);
// The existing file (not a folder) that `path` lies or would lie beside as its "-wal", "-journal" or "-shm"
// companion: the path without that ending, when it exists; empty otherwise. Such a file changes how the
// library reads the one beside it, and is read with it.
std::string file_beside_as_companion(const std::string& path);
// The path of the file open on `descriptor`, as the system names it; empty when that is no path (a pipe,
// a socket, a file that was removed).
std::string descriptor_target(int descriptor);
// Points the descriptor at /dev/null (closes it where that cannot be opened): nothing written to it any more
// reaches the file it was open on.
void silence_descriptor(int descriptor);
// Empties a held regular file and lets go of it. 1, or 0 when emptying fails.
int empty_held_output(held_output& out);
// Lets go of a held file, removing it again when this run created it.
void drop_held_output(held_output& out);
