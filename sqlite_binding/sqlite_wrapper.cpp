#include "sqlite_binding/sqlite_wrapper.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>

#include "common/byte_search.h"
#include "common/path_split.h"
#include "io/portable_dir_ops.h"

sqlite_entry_points sqlite_api = {};

namespace {

// Wrappers whose bind is in force. The table is filled when the first binds and cleared when the last
// unbinds, so one wrapper's unbind never leaves another with null entry points.
std::mutex g_bind_mutex;
int g_bind_count = 0;

void fill_entry_points() {
    sqlite_api.exec = &sqlite3_exec;
    sqlite_api.open = &sqlite3_open;
    sqlite_api.open_v2 = &sqlite3_open_v2;
    sqlite_api.close = &sqlite3_close;
    sqlite_api.prepare_v2 = &sqlite3_prepare_v2;
    sqlite_api.bind_blob = &sqlite3_bind_blob;
    sqlite_api.bind_double = &sqlite3_bind_double;
    sqlite_api.bind_int = &sqlite3_bind_int;
    sqlite_api.bind_int64 = &sqlite3_bind_int64;
    sqlite_api.bind_text = &sqlite3_bind_text;
    sqlite_api.step = &sqlite3_step;
    sqlite_api.finalize = &sqlite3_finalize;
    sqlite_api.column_count = &sqlite3_column_count;
    sqlite_api.column_name = &sqlite3_column_name;
    sqlite_api.column_type = &sqlite3_column_type;
    sqlite_api.column_bytes = &sqlite3_column_bytes;
    sqlite_api.column_int64 = &sqlite3_column_int64;
    sqlite_api.column_double = &sqlite3_column_double;
    sqlite_api.column_text = &sqlite3_column_text;
    sqlite_api.column_blob = &sqlite3_column_blob;
    sqlite_api.last_insert_rowid = &sqlite3_last_insert_rowid;
    sqlite_api.errmsg = &sqlite3_errmsg;
    sqlite_api.reset = &sqlite3_reset;
    sqlite_api.clear_bindings = &sqlite3_clear_bindings;
}

// ---------------------------------------------------------------- opening evidence

// The path the library itself would use: symbolic links resolved (its companions lie beside the target),
// else the path made absolute.
std::string absolute_path(const std::string& path) {
    if (char* real = realpath(path.c_str(), nullptr)) {
        const std::string resolved = real;
        std::free(real);
        return resolved;
    }
    if (!path.empty() && path[0] == '/') return path;
    std::string cwd;
    std::vector<char> buf(4096);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return path;
        buf.resize(buf.size() * 2);
    }
    cwd = buf.data();
    if (cwd.empty() || cwd.back() != '/') cwd.push_back('/');
    return cwd + path;
}

// Size of a regular file; false when it does not exist or is not a regular file.
bool regular_file_size(const std::string& path, std::uint64_t* size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// Opens evidence for reading without touching its access time where the system allows it.
int open_evidence(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd;
}

bool readable_evidence(const std::string& path) {
    const int fd = open_evidence(path);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// A journal SQLite would roll back: non-empty with a non-zero first byte (a zeroed header marks a
// journal whose transaction already committed).
bool is_hot_journal(const std::string& path) {
    std::uint64_t size = 0;
    if (!regular_file_size(path, &size) || size == 0) return false;
    const int fd = open_evidence(path);
    if (fd < 0) return false;
    unsigned char first = 0;
    const ssize_t n = pread(fd, &first, 1, 0);
    close(fd);
    return n == 1 && first != 0;
}

bool copy_file(const std::string& from, const std::string& to) {
    const int in = open_evidence(from);
    if (in < 0) return false;
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        close(in);
        return false;
    }
    std::vector<char> buf(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t n = read(in, buf.data(), buf.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = write(out, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    close(in);
    if (close(out) != 0) ok = false;
    return ok;
}

// ---- private copies that must not outlive the run

// The folders of the private copies that exist now, in storage a signal handler may read (it must not
// allocate): Ctrl-C or SIGTERM would otherwise leave a copy of the evidence in the temporary folder.
constexpr int kCopySlots = 8;
constexpr std::size_t kCopyDirMax = 4096;
struct copy_slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 holds a live folder
    char dir[kCopyDirMax] = {};
};
copy_slot g_copy_slots[kCopySlots];
// What the copy folder can hold: the copy and every companion the library may make beside it.
const char* const kCopyNames[] = {"evidence.db", "evidence.db-wal", "evidence.db-journal", "evidence.db-shm"};

std::mutex g_copy_failure_mutex;
std::string g_copy_failure;  // why the last private copy could not be made; taken by the caller

void note_copy_failure(const std::string& text) {
    std::lock_guard<std::mutex> guard(g_copy_failure_mutex);
    g_copy_failure = text;
}

// Removes the known files of every live copy folder, then the folder; only calls that are safe in a
// signal handler.
void remove_live_copies() {
    for (copy_slot& slot : g_copy_slots) {
        if (slot.state.load() != 2) continue;
        char path[kCopyDirMax + 32];
        const std::size_t n = std::strlen(slot.dir);
        for (const char* name : kCopyNames) {
            std::memcpy(path, slot.dir, n);
            path[n] = '/';
            const std::size_t m = std::strlen(name);
            std::memcpy(path + n + 1, name, m + 1);
            ::unlink(path);
        }
        ::rmdir(slot.dir);
    }
}

void remove_copies_and_reraise(int signal_number) {
    remove_live_copies();
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// Once: the copies go on every signal whose default action ends the process (SIGPIPE: a reader of the
// report that went away; SIGXFSZ: a report past the file size limit; SIGQUIT, the alarms and the user
// signals), where nobody else handles it, and at exit(). Faults of the program itself (SIGSEGV and its
// kin) are left as they are: the process is in no state to trust.
void guard_copies_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                                  SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR}) {
            struct sigaction current {};
            if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = remove_copies_and_reraise;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal_number, &action, nullptr);
        }
        std::atexit(remove_live_copies);
    });
}

void register_copy(const std::string& dir) {
    if (dir.size() >= kCopyDirMax) return;
    guard_copies_once();
    for (copy_slot& slot : g_copy_slots) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slot.dir, dir.c_str(), dir.size() + 1);
        slot.state.store(2);
        return;
    }
}

void unregister_copy(const std::string& dir) {
    for (copy_slot& slot : g_copy_slots) {
        int expected = 2;
        if (!slot.state.compare_exchange_strong(expected, 1)) continue;
        if (dir == slot.dir) {
            slot.dir[0] = '\0';
            slot.state.store(0);
            return;
        }
        slot.state.store(2);
    }
}

// Removes every entry of a flat folder we made, then the folder.
void remove_flat_folder(const std::string& dir) {
    if (dir.empty()) return;
    unregister_copy(dir);
    if (DIR* d = opendir(dir.c_str())) {
        std::vector<std::string> names;
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        for (const std::string& n : names) unlink((dir + "/" + n).c_str());
    }
    rmdir(dir.c_str());
}

// Copies the database and the companions that hold uncommitted or unapplied state into a new private
// folder; `copy` receives the path of the copied database. False (nothing left behind) on any failure.
bool make_private_copy(const std::string& db, bool with_wal, bool with_journal, std::string* dir,
                       std::string* copy) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = (tmp != nullptr && tmp[0] != '\0') ? tmp : "/tmp";
    std::string templ = folder;
    if (templ.back() != '/') templ.push_back('/');
    templ += "selk-evidence-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    // The handlers are in place before the folder exists, so no signal can find a copy they do not know.
    guard_copies_once();
    if (mkdtemp(buf.data()) == nullptr) {
        note_copy_failure("the temporary folder " + folder + " cannot hold a private copy of the evidence (" +
                          std::strerror(errno) + "); set TMPDIR to a usable folder");
        return false;
    }
    *dir = buf.data();
    register_copy(*dir);
    *copy = *dir + "/evidence.db";
    errno = 0;
    bool ok = copy_file(db, *copy);
    if (ok && with_wal) ok = copy_file(db + "-wal", *copy + "-wal");
    if (ok && with_journal) ok = copy_file(db + "-journal", *copy + "-journal");
    if (!ok) {
        note_copy_failure("the private copy of the evidence in " + folder + " could not be made (" +
                          std::strerror(errno != 0 ? errno : EIO) + ")");
        remove_flat_folder(*dir);
        dir->clear();
        copy->clear();
    }
    return ok;
}

}  // namespace

std::string take_private_copy_failure() {
    std::lock_guard<std::mutex> guard(g_copy_failure_mutex);
    std::string text;
    text.swap(g_copy_failure);
    return text;
}

bool sqlite_api_bound() {
    const void* const* entries = reinterpret_cast<const void* const*>(&sqlite_api);
    static_assert(sizeof(sqlite_entry_points) == 24 * sizeof(void*), "24 entry points");
    for (int i = 0; i < 24; ++i) {
        if (entries[i] == nullptr) return false;
    }
    return true;
}

void sqlite_free_error_text(char* text) {
    if (text != nullptr) sqlite3_free(text);
}

std::string uri_encode_path(const std::string& path) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        if (c <= 0x20 || c >= 0x7F || c == '%' || c == '?' || c == '#') {
            out.push_back('%');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

// ---------------------------------------------------------------- qm_libload_base

qm_libload_base::qm_libload_base() : handle(nullptr) {}

qm_libload_base::~qm_libload_base() {
    if (handle != nullptr) dlclose(handle);
}

void* qm_libload_base::open_library(const std::string& path) {
    if (path.empty()) return nullptr;
    return dlopen(path.c_str(), RTLD_LAZY);
}

void* qm_libload_base::get_symbol(void* library_handle, const std::string& name) {
    if (name.empty()) return nullptr;
    return dlsym(library_handle, name.c_str());
}

bool qm_libload_base::close_handle(void* library_handle) {
    if (library_handle == nullptr) return false;
    return dlclose(library_handle) == 0;
}

bool qm_libload_base::is_loaded() const { return handle != nullptr; }

void qm_libload_base::reset() {
    handle = nullptr;
    library_path.clear();
}

bool qm_libload_base::close_library() {
    if (handle == nullptr) return false;
    return dlclose(handle) == 0;
}

bool qm_libload_base::load(const std::string& path) {
    if (handle != nullptr) return true;
    handle = open_library(path);
    if (bind(handle)) {
        library_path = path;
        return true;
    }
    if (handle != nullptr) dlclose(handle);
    unbind();
    return false;
}

bool qm_libload_base::scan_library_names(std::set<std::string>& names, std::int32_t max_size,
                                         std::size_t min_length, bool letter_first) {
    names.clear();
    std::ifstream in(library_path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return false;
    const std::uint64_t size = static_cast<std::uint64_t>(end);
    if (size > 4294967296ull || max_size < 0 || size > static_cast<std::uint64_t>(max_size)) return false;
    std::vector<std::uint8_t> buf;
    try {
        buf.resize(static_cast<std::size_t>(size));
    } catch (...) {
        return false;
    }
    in.seekg(0, std::ios::beg);
    if (size > 0 && !in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(size)))
        return false;
    in.close();
    std::vector<std::string> runs;
    std::vector<std::uint64_t> offsets;
    if (!extract_ascii_strings(buf.data(), buf.size(), min_length, runs, offsets, false, false)) return false;
    static const char kExcluded[] = " :/\"')([]<>*#.~$|";
    for (const std::string& r : runs) {
        if (r.empty()) continue;
        if (letter_first) {
            const char c = r[0];
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) continue;
        }
        if (r.find_first_of(kExcluded) != std::string::npos) continue;
        names.insert(r);
    }
    return !names.empty();
}

// ---------------------------------------------------------------- sqlite_wrapper

sqlite_wrapper::sqlite_wrapper()
    : is_open(false), read_only(false), db(nullptr), run_id(0), holds_binding_(false) {}

sqlite_wrapper::~sqlite_wrapper() {
    close_and_unload();
    // A wrapper whose open failed still holds no connection, but may hold its binding; release it so the
    // table is not left bound on behalf of an object that no longer exists.
    if (holds_binding_) sqlite_wrapper::unbind();
    remove_private_copy();
    db_path.clear();
}

bool sqlite_wrapper::bind(void* /*library_handle*/) {
    std::lock_guard<std::mutex> guard(g_bind_mutex);
    if (!holds_binding_) {
        holds_binding_ = true;
        ++g_bind_count;
    }
    if (g_bind_count == 1 || !sqlite_api_bound()) fill_entry_points();
    return true;
}

bool sqlite_wrapper::unbind() {
    handle = nullptr;
    std::lock_guard<std::mutex> guard(g_bind_mutex);
    if (holds_binding_) {
        holds_binding_ = false;
        --g_bind_count;
    }
    if (g_bind_count <= 0) {
        g_bind_count = 0;
        sqlite_api = sqlite_entry_points{};
    }
    return false;
}

void sqlite_wrapper::reset_connection_fields() {
    is_open = false;
    read_only = false;
    db = nullptr;
    db_path.clear();
    run_id = 0;
}

void sqlite_wrapper::remove_private_copy() {
    if (private_copy_dir_.empty()) return;
    remove_flat_folder(private_copy_dir_);
    private_copy_dir_.clear();
}

bool sqlite_wrapper::open_db(sqlite3** connection, const std::string& path, bool read_only_flag) {
    read_only = read_only_flag;
    if (connection == nullptr) return false;
    *connection = nullptr;
    if (sqlite_api.open_v2 == nullptr || sqlite_api.open == nullptr || sqlite_api.close == nullptr)
        return false;
    int rc = SQLITE_CANTOPEN;
    // A connection is used by one thread at a time: the library need not lock it around every call, which
    // costs a lock per value read.
    const int single_thread = SQLITE_OPEN_NOMUTEX;
    if (read_only_flag) {
        remove_private_copy();
        const std::string target = absolute_path(path);
        std::uint64_t wal_size = 0;
        const bool wal_there = regular_file_size(target + "-wal", &wal_size) && wal_size > 0;
        // A log that cannot be read is left out of the copy, so that the main file's rows are still read (the
        // caller names the log); opened where it lies, the library would look for the log beside it.
        const bool with_wal = wal_there && readable_evidence(target + "-wal");
        const bool with_journal = is_hot_journal(target + "-journal");
        if (!wal_there && !with_journal) {
            // Nothing pending beside the file: read it as it stands, with no lock and no companion file.
            const std::string uri = "file://" + uri_encode_path(target) + "?immutable=1";
            rc = sqlite_api.open_v2(uri.c_str(), connection,
                                    SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | single_thread, nullptr);
        } else {
            // The log or journal must be applied to show the committed state, which would change the evidence
            // and its companions: apply it to a private copy instead.
            std::string copy;
            if (make_private_copy(target, with_wal, with_journal, &private_copy_dir_, &copy)) {
                const std::string uri = "file://" + uri_encode_path(copy);
                rc = sqlite_api.open_v2(uri.c_str(), connection,
                                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | single_thread, nullptr);
            }
        }
    } else {
        rc = sqlite_api.open(path.c_str(), connection);
    }
    if (rc == SQLITE_OK) return true;
    if (*connection != nullptr) sqlite_api.close(*connection);
    *connection = nullptr;
    remove_private_copy();
    return false;
}

bool sqlite_wrapper::open_read_only(const std::string& path, const std::string& /*extra_text*/) {
    if (is_open && db != nullptr) close_db();
    reset_connection_fields();
    if (!path.empty()) {
        db_path = path;
        if (file_exists(db_path) && bind(nullptr)) {
            if (open_db(&db, db_path, true)) is_open = true;
        }
    }
    if (is_open) return true;
    close_db();
    close_library();
    unbind();
    return false;
}

bool sqlite_wrapper::open_read_write(std::uint64_t /*extra_value*/, const std::string& path,
                                     const std::string& /*extra_text*/) {
    if (is_open && db != nullptr) close_db();
    reset_connection_fields();
    if (!path.empty()) {
        db_path = path;
        std::string folder;
        std::string name;
        if (split_path(db_path, folder, name)) make_directory_path(folder);
        if (bind(nullptr)) {
            if (open_db(&db, db_path, false)) is_open = true;
        }
    }
    if (is_open) return true;
    close_db();
    unbind();
    return false;
}

void sqlite_wrapper::close_db() {
    if (db == nullptr || sqlite_api.close == nullptr) return;
    sqlite_api.close(db);
    reset_connection_fields();
    remove_private_copy();
}

void sqlite_wrapper::close_and_unload() {
    if (!is_open || db == nullptr || sqlite_api.close == nullptr) return;
    close_db();
    unbind();
    reset_connection_fields();
}

// ---------------------------------------------------------------- exec_with_lengths

int exec_with_lengths(sqlite3* db, const std::string& sql, int (*callback)(void*, int, char**, char**),
                      void* context, std::vector<unsigned>* sizes, std::string* error_text, bool borrow) {
    static char no_bytes[1] = {'\0'};  // an empty borrowed value
    if (error_text != nullptr) error_text->clear();
    if (db == nullptr || sqlite_api.prepare_v2 == nullptr) {
        if (error_text != nullptr) *error_text = "library not bound or no connection";
        return SQLITE_MISUSE;
    }
    const char* rest = sql.c_str();
    int rc = SQLITE_OK;
    std::vector<std::string> cells;
    std::vector<std::string> names;
    std::vector<char*> value_ptrs;
    std::vector<char*> name_ptrs;
    std::vector<unsigned> lengths;
    std::vector<long long> lent_integers;
    while (rc == SQLITE_OK && rest != nullptr && *rest != '\0') {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        rc = sqlite_api.prepare_v2(db, rest, -1, &stmt, &tail);
        if (rc != SQLITE_OK) break;
        rest = tail;
        if (stmt == nullptr) continue;  // blanks or a comment
        // The names and the buffers of a statement are set up once and reused for every row.
        bool prepared_row = false;
        for (;;) {
            const int step = sqlite_api.step(stmt);
            if (step == SQLITE_DONE) break;
            if (step != SQLITE_ROW) {
                rc = step;
                break;
            }
            if (callback == nullptr) continue;
            const int n = sqlite_api.column_count(stmt);
            if (!prepared_row || static_cast<std::size_t>(n) != cells.size()) {
                cells.assign(static_cast<std::size_t>(n), std::string());
                names.assign(static_cast<std::size_t>(n), std::string());
                value_ptrs.assign(static_cast<std::size_t>(n), nullptr);
                name_ptrs.assign(static_cast<std::size_t>(n), nullptr);
                lengths.assign(static_cast<std::size_t>(n), 0);
                lent_integers.assign(static_cast<std::size_t>(n), 0);
                for (int i = 0; i < n; ++i) {
                    const char* name = sqlite_api.column_name(stmt, i);
                    if (name == nullptr) continue;
                    names[static_cast<std::size_t>(i)] = name;
                    name_ptrs[static_cast<std::size_t>(i)] = &names[static_cast<std::size_t>(i)][0];
                }
                prepared_row = true;
            }
            for (int i = 0; i < n; ++i) {
                const std::size_t k = static_cast<std::size_t>(i);
                const int type = sqlite_api.column_type(stmt, i);
                if (type == SQLITE_NULL) {
                    value_ptrs[k] = nullptr;
                    lengths[k] = 0;
                    continue;
                }
                if (type == SQLITE_INTEGER && borrow) {
                    lent_integers[k] = sqlite_api.column_int64(stmt, i);
                    value_ptrs[k] = reinterpret_cast<char*>(&lent_integers[k]);
                    lengths[k] = kLentInteger;
                    continue;
                }
                if (type == SQLITE_INTEGER) {
                    // The decimal text the library would give, written without its conversion.
                    char digits[24];
                    const long long v = sqlite_api.column_int64(stmt, i);
                    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v);
                    cells[k].assign(digits, static_cast<std::size_t>(r.ptr - digits));
                    lengths[k] = static_cast<unsigned>(cells[k].size());
                    value_ptrs[k] = &cells[k][0];
                    continue;
                }
                // Pointer first, then the length, as the library asks; the copy is zero-terminated, so a
                // value read as C text by the callback never runs past its bytes.
                const void* p = type == SQLITE_BLOB
                                    ? sqlite_api.column_blob(stmt, i)
                                    : static_cast<const void*>(sqlite_api.column_text(stmt, i));
                const int len = sqlite_api.column_bytes(stmt, i);
                if (borrow) {
                    lengths[k] = len > 0 && p != nullptr ? static_cast<unsigned>(len) : 0u;
                    value_ptrs[k] =
                        lengths[k] != 0 ? const_cast<char*>(static_cast<const char*>(p)) : no_bytes;
                    continue;
                }
                if (p != nullptr && len > 0)
                    cells[k].assign(static_cast<const char*>(p), static_cast<std::size_t>(len));
                else
                    cells[k].clear();
                lengths[k] = len > 0 ? static_cast<unsigned>(len) : 0u;
                value_ptrs[k] = &cells[k][0];
            }
            if (sizes != nullptr) *sizes = lengths;
            int stop = 0;
            try {
                stop = callback(context, n, value_ptrs.data(), name_ptrs.data());
            } catch (...) {
                // The callback's exception (out of memory) ends the query: the statement is not left open.
                sqlite_api.finalize(stmt);
                throw;
            }
            if (stop != 0) {
                rc = SQLITE_ABORT;
                break;
            }
        }
        sqlite_api.finalize(stmt);
    }
    if (rc != SQLITE_OK && error_text != nullptr) {
        *error_text = rc == SQLITE_ABORT ? "query aborted" : sqlite_api.errmsg(db);
    }
    return rc;
}
