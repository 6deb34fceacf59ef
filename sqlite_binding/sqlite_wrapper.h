// The binding to the SQLite library: a small loader base (`qm_libload_base`) and `sqlite_wrapper`, which
// fills the process-wide table of 24 SQLite entry points and holds one database connection; and the read of
// a query's rows, each handed to a typed handler (exec_rows) or in the sqlite3_exec callback form
// (exec_with_lengths, which goes through it).
//
// The library is linked into the program, so binding stores the addresses of the linked functions and
// never looks a symbol up. Every call into SQLite made by the binding and its users goes through the
// table `sqlite_api`.
//
// Evidence is opened through the evidence VFS (evidence_vfs.h): the library applies a "-wal" or rolls a
// hot "-journal" back as it reads, so the rows read are exactly the committed state, and whatever it
// writes for that stays in memory: no file is made or changed, beside the evidence or anywhere else.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class database_source;
class evidence_vfs;

// The SQLite entry points, in table order (entry 1 is exec). All null until a wrapper binds; null again
// once the last bound wrapper unbinds.
struct sqlite_entry_points {
    int (*exec)(sqlite3*, const char*, int (*)(void*, int, char**, char**), void*, char**);  // 1
    int (*open)(const char*, sqlite3**);                                                     // 2
    int (*open_v2)(const char*, sqlite3**, int, const char*);                                // 3
    int (*close)(sqlite3*);                                                                  // 4
    int (*prepare_v2)(sqlite3*, const char*, int, sqlite3_stmt**, const char**);             // 5
    int (*bind_blob)(sqlite3_stmt*, int, const void*, int, void (*)(void*));                 // 6
    int (*bind_double)(sqlite3_stmt*, int, double);                                          // 7
    int (*bind_int)(sqlite3_stmt*, int, int);                                                // 8
    int (*bind_int64)(sqlite3_stmt*, int, sqlite3_int64);                                    // 9
    int (*bind_text)(sqlite3_stmt*, int, const char*, int, void (*)(void*));                 // 10
    int (*step)(sqlite3_stmt*);                                                              // 11
    int (*finalize)(sqlite3_stmt*);                                                          // 12
    int (*column_count)(sqlite3_stmt*);                                                      // 13
    const char* (*column_name)(sqlite3_stmt*, int);                                          // 14
    int (*column_type)(sqlite3_stmt*, int);                                                  // 15
    int (*column_bytes)(sqlite3_stmt*, int);                                                 // 16
    sqlite3_int64 (*column_int64)(sqlite3_stmt*, int);                                       // 17
    double (*column_double)(sqlite3_stmt*, int);                                             // 18
    const unsigned char* (*column_text)(sqlite3_stmt*, int);                                 // 19
    const void* (*column_blob)(sqlite3_stmt*, int);                                          // 20
    sqlite3_int64 (*last_insert_rowid)(sqlite3*);                                            // 21
    const char* (*errmsg)(sqlite3*);                                                         // 22
    int (*reset)(sqlite3_stmt*);                                                             // 23
    int (*clear_bindings)(sqlite3_stmt*);                                                    // 24
};

// The one table of the process, shared by every wrapper.
extern sqlite_entry_points sqlite_api;

// True when every entry of sqlite_api is set; false when every entry is null or only some are.
bool sqlite_api_bound();

// Releases an error text that sqlite3_exec handed back (sqlite3_free); nothing for null.
void sqlite_free_error_text(char* text);

// Loader base: holds a library opened at run time. Binding its functions is the subclass's part.
class qm_libload_base {
  public:
    qm_libload_base();
    // Closes a held handle.
    virtual ~qm_libload_base();
    qm_libload_base(const qm_libload_base&) = delete;
    qm_libload_base& operator=(const qm_libload_base&) = delete;

    // Binds the library's functions from a handle (null when the library is linked in).
    virtual bool bind(void* library_handle) = 0;
    // Forgets the functions and the handle (without closing it).
    virtual bool unbind() = 0;

    // dlopen of a non-empty path with RTLD_LAZY; null for an empty path or a failed dlopen.
    static void* open_library(const std::string& path);
    // dlsym of a non-empty name on the handle; null otherwise.
    static void* get_symbol(void* library_handle, const std::string& name);
    // dlclose of a non-null handle; true when dlclose returned 0; false for null.
    static bool close_handle(void* library_handle);

    // True while a handle is held.
    bool is_loaded() const;
    // Forgets the handle without closing it and empties library_path.
    void reset();
    // dlclose of the held handle (which keeps its value); false when none is held.
    bool close_library();
    // Opens the library and binds it; true at once when a handle is already held. On failure a handle
    // that was opened is closed once and the binding is undone.
    bool load(const std::string& path);
    // The identifier-like runs of printable ASCII (at least min_length long) found in the file at
    // library_path, in `names`. False when the file cannot be read, exceeds 4 GiB or max_size, or yields
    // no name.
    bool scan_library_names(std::set<std::string>& names, std::int32_t max_size, std::size_t min_length,
                            bool letter_first);

    void* handle;              // library handle from dlopen; null when none is held
    std::string library_path;  // path that load opened; empty otherwise
};

// The SQLite binding with one connection.
class sqlite_wrapper : public qm_libload_base {
  public:
    sqlite_wrapper();
    // close_and_unload, then the base part closes a held handle.
    ~sqlite_wrapper() override;

    // Stores the addresses of the 24 linked SQLite functions in sqlite_api; the handle is not used.
    // Always true.
    bool bind(void* library_handle) override;
    // Forgets the handle; this wrapper's binding ends, and sqlite_api becomes null when no other wrapper
    // still holds a binding. Always false.
    bool unbind() override;
    // Opens (creating it and the folders above it when missing) a database for reading and writing.
    // extra_value and extra_text are accepted and not used. The result is the new is_open.
    virtual bool open_read_write(std::uint64_t extra_value, const std::string& path,
                                 const std::string& extra_text);
    // Opens an existing database as evidence (see the file comment), with no statement allowed to write and
    // every cell checked against its page. extra_text is not used. The result is the new is_open; on
    // failure nothing stays open or bound.
    virtual bool open_read_only(const std::string& path, const std::string& extra_text);
    // The same, reading the database and its companions through `source` (opened once for the database's
    // read: its descriptors are duplicated, no path is opened again), which must stay open while the
    // connection does. The path form opens a source of its own from `path`.
    bool open_read_only(const std::string& path, const database_source& source);

    // The common open step: sets read_only, opens `path` into *connection; on failure the half-open
    // connection is closed once, *connection is null and the result false; std::bad_alloc when the library
    // ran out of memory.
    bool open_db(sqlite3** connection, const std::string& path, bool read_only_flag);
    // Closes the connection (result ignored) and resets the five connection fields; nothing when no
    // connection is held or the table is not bound.
    void close_db();
    // close_db and unbind, for an open wrapper; nothing otherwise.
    void close_and_unload();

    bool is_open;          // a connection opened by this object is usable
    bool read_only;        // the mode of the last open attempt
    sqlite3* db;           // the connection; null when none
    std::string db_path;   // the path being opened or open, as the caller gave it
    std::uint64_t run_id;  // the run-log classes' current run key; 0 after every open attempt and close
    // Why the last open_read_only failed, where there is more to say than that the file would not open
    // (the library refused a setting of the connection); empty otherwise.
    std::string open_failure;

  private:
    // Resets the five connection fields.
    void reset_connection_fields();
    // open_read_only of `source`, or of a source of its own opened from `path` when null.
    bool open_evidence(const std::string& path, const database_source* source);
    // Drops the connection's VFS and the source it read.
    void release_source();

    bool holds_binding_;                             // this object's bind is in force
    const database_source* source_ = nullptr;        // the database the connection reads, while one is open
    std::unique_ptr<database_source> owned_source_;  // the path form's own source
    std::unique_ptr<evidence_vfs> vfs_;              // the connection's VFS, which reads source_
};

// Runs `sql` (one or more statements) on `db` as sqlite3_exec does, through the entry points, calling
// `callback` (the sqlite3_exec callback form) once per row. Before each call `sizes` (when non-null)
// receives the byte length of every value, so a blob or text with zero bytes inside reaches the callback
// whole: each value is a private, zero-terminated copy of exactly that many bytes (null for SQL NULL).
// A non-zero callback result stops the run with SQLITE_ABORT. Returns the SQLite result code; on failure
// `error_text` (when non-null) receives the library's message.
// With `borrow` the text and blob values are not copied: they point into the library's buffers, valid only
// until the callback returns, and a blob is not zero-terminated, so the callback must read every value by
// its size. An integer is lent as its 8 bytes (a native long long) with the size kLentInteger, for the
// callback to turn into decimal text where it needs it.
constexpr unsigned kLentInteger = 0xFFFFFFFEu;
int exec_with_lengths(sqlite3* db, const std::string& sql, int (*callback)(void*, int, char**, char**),
                      void* context, std::vector<unsigned>* sizes, std::string* error_text,
                      bool borrow = false);

// One row as the binding hands it on: `count` values (null for SQL NULL), the byte length of each in
// `sizes`, the columns' names, and the library's type of each value (SQLITE_INTEGER, SQLITE_FLOAT,
// SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL) in `types`. Valid only while the handler it is given to runs.
struct sql_row {
    int count;
    char** values;
    char** names;
    const std::vector<unsigned>& sizes;
    const std::vector<int>& types;
};
// What a read does with each row it gives: true to go on, false to stop it (the read then ends with
// SQLITE_ABORT).
using sql_row_handler = std::function<bool(const sql_row&)>;

// exec_with_lengths with a typed handler in place of the sqlite3_exec callback form and its context: the
// same statements, values, result and error text. An empty handler only steps over the rows.
int exec_rows(sqlite3* db, const std::string& sql, const sql_row_handler& each, std::string* error_text,
              bool borrow = false);
