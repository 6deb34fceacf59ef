#include "sqlite_binding/sqlite_wrapper.h"

#include <dlfcn.h>

#include <charconv>
#include <fstream>
#include <mutex>
#include <new>

#include "common/byte_search.h"
#include "common/path_split.h"
#include "io/db_companions.h"
#include "io/portable_dir_ops.h"
#include "sqlite_binding/evidence_vfs.h"
#include "sqlite_format/database_source.h"

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

// Settings of every connection to evidence: no statement writes, and every cell is checked against its
// page before it is read, so that a damaged page gives the same error every time instead of whatever lies
// past the page. The library's result; `failure` says which it refused.
int configure_evidence_connection(sqlite3* db, std::string* failure) {
    for (const char* pragma : {"PRAGMA query_only=ON;", "PRAGMA cell_size_check=ON;"}) {
        char* error = nullptr;
        const int rc = sqlite_api.exec(db, pragma, nullptr, nullptr, &error);
        if (rc == SQLITE_OK) continue;
        *failure = std::string("the library refused ") + pragma + " (" +
                   (error != nullptr ? error : sqlite_api.errmsg(db)) + ")";
        sqlite_free_error_text(error);
        return rc;
    }
    return SQLITE_OK;
}

}  // namespace

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
        // Evidence goes through the evidence VFS, which keeps whatever the library writes in memory (see
        // evidence_vfs.h). The library must be free to write for a hot journal to be rolled back; the
        // statements of the connection may not.
        if (source_ != nullptr) vfs_ = std::make_unique<evidence_vfs>(*source_);
        const char* vfs = vfs_ ? vfs_->name() : nullptr;
        if (vfs == nullptr) {
            open_failure = "the library refused the reader of evidence";
        } else {
            rc = sqlite_api.open_v2(companions_of(path).database.c_str(), connection,
                                    SQLITE_OPEN_READWRITE | single_thread, vfs);
            if (rc == SQLITE_OK) rc = configure_evidence_connection(*connection, &open_failure);
        }
    } else {
        rc = sqlite_api.open(path.c_str(), connection);
    }
    if (rc == SQLITE_OK) return true;
    if (*connection != nullptr) sqlite_api.close(*connection);
    *connection = nullptr;
    vfs_.reset();
    // Memory that ran out is no file the library cannot open: the run says it ran out.
    if (rc == SQLITE_NOMEM) throw std::bad_alloc();
    return false;
}

bool sqlite_wrapper::open_read_only(const std::string& path, const std::string& /*extra_text*/) {
    return open_evidence(path, nullptr);
}

bool sqlite_wrapper::open_read_only(const std::string& path, const database_source& source) {
    return open_evidence(path, &source);
}

bool sqlite_wrapper::open_evidence(const std::string& path, const database_source* source) {
    if (is_open && db != nullptr) close_db();
    release_source();
    reset_connection_fields();
    open_failure.clear();
    if (!path.empty()) {
        db_path = path;
        // A source given stands for the path whatever became of it since it was opened.
        source_ = source;
        if (source_ == nullptr && file_exists(db_path)) {
            owned_source_ = std::make_unique<database_source>();
            if (owned_source_->open(db_path)) source_ = owned_source_.get();
        }
        if (source_ != nullptr && bind(nullptr)) {
            if (open_db(&db, db_path, true)) is_open = true;
        }
    }
    if (is_open) return true;
    close_db();
    close_library();
    unbind();
    release_source();
    return false;
}

void sqlite_wrapper::release_source() {
    vfs_.reset();
    owned_source_.reset();
    source_ = nullptr;
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
    // The connection's VFS goes with it, and the source it read.
    release_source();
}

void sqlite_wrapper::close_and_unload() {
    if (!is_open || db == nullptr || sqlite_api.close == nullptr) return;
    close_db();
    unbind();
    reset_connection_fields();
}

// ---------------------------------------------------------------- exec_with_lengths

namespace {

// One row as exec_with_lengths hands it to its callback: a pointer, a length and a name per column, in
// storage set up once per statement and reused for every row.
class row_values {
  public:
    std::size_t size() const { return cells_.size(); }

    // Sized for the `n` columns of `stmt`, with their names.
    void prepare(sqlite3_stmt* stmt, int n) {
        const std::size_t count = static_cast<std::size_t>(n);
        cells_.assign(count, std::string());
        names_.assign(count, std::string());
        value_ptrs_.assign(count, nullptr);
        name_ptrs_.assign(count, nullptr);
        lengths_.assign(count, 0);
        lent_integers_.assign(count, 0);
        types_.assign(count, SQLITE_NULL);
        for (int i = 0; i < n; ++i) {
            const char* name = sqlite_api.column_name(stmt, i);
            if (name == nullptr) continue;
            names_[static_cast<std::size_t>(i)] = name;
            name_ptrs_[static_cast<std::size_t>(i)] = &names_[static_cast<std::size_t>(i)][0];
        }
    }

    // The values of the row `stmt` stands on; with `borrow` text and blobs point into the library's buffers
    // and integers are lent as their 8 bytes.
    void fill(sqlite3_stmt* stmt, int n, bool borrow) {
        for (int i = 0; i < n; ++i) fill_value(stmt, i, borrow);
    }

    // Hands the row to `each`; false when it stops the read.
    bool call(const sql_row_handler& each, int n) {
        return each(sql_row{n, value_ptrs_.data(), name_ptrs_.data(), lengths_, types_});
    }

  private:
    void fill_value(sqlite3_stmt* stmt, int i, bool borrow) {
        static char no_bytes[1] = {'\0'};  // an empty borrowed value
        const std::size_t k = static_cast<std::size_t>(i);
        const int type = sqlite_api.column_type(stmt, i);
        types_[k] = type;
        if (type == SQLITE_NULL) {
            value_ptrs_[k] = nullptr;
            lengths_[k] = 0;
            return;
        }
        if (type == SQLITE_INTEGER && borrow) {
            lent_integers_[k] = sqlite_api.column_int64(stmt, i);
            value_ptrs_[k] = reinterpret_cast<char*>(&lent_integers_[k]);
            lengths_[k] = kLentInteger;
            return;
        }
        if (type == SQLITE_INTEGER) {
            // The decimal text the library would give, written without its conversion.
            char digits[24];
            const long long v = sqlite_api.column_int64(stmt, i);
            const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v);
            cells_[k].assign(digits, static_cast<std::size_t>(r.ptr - digits));
            lengths_[k] = static_cast<unsigned>(cells_[k].size());
            value_ptrs_[k] = &cells_[k][0];
            return;
        }
        // Pointer first, then the length, as the library asks; the copy is zero-terminated, so a value read
        // as C text by the callback never runs past its bytes.
        const void* p = type == SQLITE_BLOB ? sqlite_api.column_blob(stmt, i)
                                            : static_cast<const void*>(sqlite_api.column_text(stmt, i));
        const int len = sqlite_api.column_bytes(stmt, i);
        if (borrow) {
            lengths_[k] = len > 0 && p != nullptr ? static_cast<unsigned>(len) : 0u;
            value_ptrs_[k] = lengths_[k] != 0 ? const_cast<char*>(static_cast<const char*>(p)) : no_bytes;
            return;
        }
        if (p != nullptr && len > 0)
            cells_[k].assign(static_cast<const char*>(p), static_cast<std::size_t>(len));
        else
            cells_[k].clear();
        lengths_[k] = len > 0 ? static_cast<unsigned>(len) : 0u;
        value_ptrs_[k] = &cells_[k][0];
    }

    std::vector<std::string> cells_;
    std::vector<std::string> names_;
    std::vector<char*> value_ptrs_;
    std::vector<char*> name_ptrs_;
    std::vector<unsigned> lengths_;
    std::vector<long long> lent_integers_;
    std::vector<int> types_;
};

// Steps `stmt` to its end, each row handed to `each` (none: the rows are only stepped over). SQLITE_OK at
// the end, SQLITE_ABORT when the handler stopped it, else the library's error.
int run_statement(sqlite3_stmt* stmt, row_values& row, const sql_row_handler& each, bool borrow) {
    bool prepared = false;  // the names of this statement's columns are read
    for (;;) {
        const int step = sqlite_api.step(stmt);
        if (step == SQLITE_DONE) return SQLITE_OK;
        if (step != SQLITE_ROW) return step;
        if (!each) continue;
        const int n = sqlite_api.column_count(stmt);
        if (!prepared || static_cast<std::size_t>(n) != row.size()) {
            row.prepare(stmt, n);
            prepared = true;
        }
        row.fill(stmt, n, borrow);
        if (!row.call(each, n)) return SQLITE_ABORT;
    }
}

}  // namespace

int exec_with_lengths(sqlite3* db, const std::string& sql, int (*callback)(void*, int, char**, char**),
                      void* context, std::vector<unsigned>* sizes, std::string* error_text, bool borrow) {
    sql_row_handler each;
    if (callback != nullptr) {
        each = [callback, context, sizes](const sql_row& row) {
            if (sizes != nullptr) *sizes = row.sizes;
            return callback(context, row.count, row.values, row.names) == 0;
        };
    }
    return exec_rows(db, sql, each, error_text, borrow);
}

int exec_rows(sqlite3* db, const std::string& sql, const sql_row_handler& each, std::string* error_text,
              bool borrow) {
    if (error_text != nullptr) error_text->clear();
    if (db == nullptr || sqlite_api.prepare_v2 == nullptr) {
        if (error_text != nullptr) *error_text = "library not bound or no connection";
        return SQLITE_MISUSE;
    }
    const char* rest = sql.c_str();
    int rc = SQLITE_OK;
    row_values row;
    while (rc == SQLITE_OK && rest != nullptr && *rest != '\0') {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        rc = sqlite_api.prepare_v2(db, rest, -1, &stmt, &tail);
        if (rc != SQLITE_OK) break;
        rest = tail;
        if (stmt == nullptr) continue;  // blanks or a comment
        try {
            rc = run_statement(stmt, row, each, borrow);
        } catch (...) {
            // The callback's exception (out of memory) ends the query: the statement is not left open.
            sqlite_api.finalize(stmt);
            throw;
        }
        sqlite_api.finalize(stmt);
    }
    if (rc != SQLITE_OK && error_text != nullptr) {
        *error_text = rc == SQLITE_ABORT ? "query aborted" : sqlite_api.errmsg(db);
    }
    return rc;
}
