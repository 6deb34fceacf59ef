#include "sqlite_binding/evidence_vfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "io/db_companions.h"
#include "io/evidence.h"
#include "io/fileio.h"
#include "platform/positioned_read.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/journal.h"

namespace {

constexpr char kVfsName[] = "selk-evidence";
constexpr std::uint64_t kBlock = 4096;  // the unit in which written bytes are kept

// The bytes the databases open now keep in memory for what the library wrote (evidence_vfs_bytes_held).
std::atomic<std::uint64_t> g_bytes_held{0};

// Opens evidence read-only without touching its access time where the system allows it (its owner, or
// root); O_NONBLOCK keeps a named pipe from holding the open. -1 unless it is a regular file that opens.
int open_evidence(const char* path, std::uint64_t* size) {
    const int fd = uni::open_keeping_access_time(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

// A read-only descriptor that blocks written by reference read from; closed with the last of them.
struct shared_descriptor {
    explicit shared_descriptor(int descriptor) : fd(descriptor) {}
    ~shared_descriptor() {
        if (fd >= 0) ::close(fd);
    }
    shared_descriptor(const shared_descriptor&) = delete;
    shared_descriptor& operator=(const shared_descriptor&) = delete;
    int fd;
};

// Reads `n` bytes at `offset` of `fd`; past its end zeros (the file shrank since it was opened).
bool read_fully(int fd, unsigned char* out, std::uint64_t n, std::uint64_t offset) {
    std::uint64_t done = 0;
    if (platform_read_at(fd, out, n, offset, &done) != 0) return false;
    std::memset(out + done, 0, n - done);
    return true;
}

// One file as the library sees it: the evidence's bytes under the blocks the library wrote, which are
// kept in memory (only those written), or, where a block written is a copy of another evidence file's bytes
// (the original pages a rollback writes back from its journal), as a reference to where those bytes lie.
// Nothing ever reaches the file.
class file_image {
  public:
    // With `counted`, the blocks it keeps count in the bytes the open databases hold.
    explicit file_image(bool counted = false) : counted_(counted) {}
    ~file_image() { forget(); }
    file_image(const file_image&) = delete;
    file_image& operator=(const file_image&) = delete;

    // The evidence at `path`; false (the image stays absent) when it is not a regular file that opens.
    bool attach(const char* path) {
        forget();
        std::uint64_t size = 0;
        fd_ = open_evidence(path, &size);
        if (fd_ < 0) return false;
        exists_ = true;
        size_ = evidence_end_ = size;
        return true;
    }
    // The evidence of descriptor `fd`, a duplicate the image now owns; false (the image stays absent, `fd`
    // closed) when it is not a regular file.
    bool attach_descriptor(int fd) {
        forget();
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        fd_ = fd;
        exists_ = true;
        size_ = evidence_end_ = static_cast<std::uint64_t>(st.st_size);
        return true;
    }
    // An empty file in memory only: the library made it, or made it again after deleting it.
    void create() {
        forget();
        exists_ = true;
    }
    // The library deleted the file: absent from now on, its written blocks gone.
    void forget() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        exists_ = false;
        size_ = evidence_end_ = 0;
        const std::size_t before = blocks_.size();
        blocks_.clear();
        tally(before);
        copies_.clear();
    }

    // A descriptor of the evidence that stays open for references to it; null for a file in memory only.
    std::shared_ptr<shared_descriptor> share() const {
        if (fd_ < 0) return nullptr;
        const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return nullptr;
        try {
            return std::make_shared<shared_descriptor>(fd);
        } catch (const std::bad_alloc&) {
            ::close(fd);
            return nullptr;
        }
    }

    bool exists() const { return exists_; }
    std::uint64_t size() const { return size_; }

    // As a file read: past the end the rest is zeros and the result SQLITE_IOERR_SHORT_READ.
    int read(void* out, int amount, std::uint64_t offset) const {
        auto* dst = static_cast<unsigned char*>(out);
        const std::uint64_t want = static_cast<std::uint64_t>(amount);
        const std::uint64_t have = offset >= size_ ? 0 : std::min(want, size_ - offset);
        const std::uint64_t end = offset + have;
        std::uint64_t pos = offset;
        auto block = blocks_.lower_bound(offset / kBlock);
        auto copy = copies_.lower_bound(offset / kBlock);
        while (pos < end) {
            const std::uint64_t next_block = block == blocks_.end() ? UINT64_MAX : block->first;
            const std::uint64_t next_copy = copy == copies_.end() ? UINT64_MAX : copy->first;
            const std::uint64_t index = std::min(next_block, next_copy);
            const std::uint64_t written_from =
                index == UINT64_MAX ? end : std::min(end, std::max(pos, index * kBlock));
            if (pos < written_from) {
                if (!read_under(dst + (pos - offset), written_from - pos, pos)) return SQLITE_IOERR_READ;
                pos = written_from;
                continue;
            }
            const std::uint64_t in = pos - index * kBlock;
            const std::uint64_t n = std::min(kBlock - in, end - pos);
            if (index == next_block) {
                std::memcpy(dst + (pos - offset), block->second.get() + in, n);
                ++block;
            } else {
                if (!read_fully(copy->second.file->fd, dst + (pos - offset), n, copy->second.offset + in))
                    return SQLITE_IOERR_READ;
                ++copy;
            }
            pos += n;
        }
        if (have == want) return SQLITE_OK;
        std::memset(dst + have, 0, want - have);
        return SQLITE_IOERR_SHORT_READ;
    }

    // Writes whole blocks that are a copy of the bytes of `file` from `from` on: kept as references to them.
    // False (nothing written) unless the write is of whole blocks.
    bool write_copy(int amount, std::uint64_t offset, const std::shared_ptr<shared_descriptor>& file,
                    std::uint64_t from) {
        if (file == nullptr || amount <= 0 || amount % kBlock != 0 || offset % kBlock != 0) return false;
        const std::size_t before = blocks_.size();
        try {
            for (std::uint64_t k = 0; k < static_cast<std::uint64_t>(amount) / kBlock; ++k) {
                const std::uint64_t index = offset / kBlock + k;
                copies_[index] = copied_block{file, from + k * kBlock};
                blocks_.erase(index);
            }
        } catch (const std::bad_alloc&) {
            tally(before);
            return false;  // the copies made stand for the bytes they copy: the caller writes all in memory
        }
        tally(before);
        size_ = std::max(size_, offset + static_cast<std::uint64_t>(amount));
        return true;
    }

    int write(const void* data, int amount, std::uint64_t offset) {
        const auto* src = static_cast<const unsigned char*>(data);
        const std::uint64_t end = offset + static_cast<std::uint64_t>(amount);
        for (std::uint64_t pos = offset; pos < end;) {
            const std::uint64_t index = pos / kBlock;
            const std::uint64_t in = pos - index * kBlock;
            const std::uint64_t n = std::min(kBlock - in, end - pos);
            unsigned char* block = block_for_write(index);
            if (block == nullptr) return SQLITE_IOERR_WRITE;
            std::memcpy(block + in, src + (pos - offset), n);
            pos += n;
        }
        size_ = std::max(size_, end);
        return SQLITE_OK;
    }

    void truncate(std::uint64_t size) {
        if (size < size_) {
            evidence_end_ = std::min(evidence_end_, size);
            const std::size_t before = blocks_.size();
            blocks_.erase(blocks_.lower_bound((size + kBlock - 1) / kBlock), blocks_.end());
            tally(before);
            copies_.erase(copies_.lower_bound((size + kBlock - 1) / kBlock), copies_.end());
            // Bytes past the end read as zeros should the file grow again.
            if (size % kBlock != 0 && copies_.count(size / kBlock) != 0) (void)block_for_write(size / kBlock);
            const auto partial = blocks_.find(size / kBlock);
            if (partial != blocks_.end())
                std::memset(partial->second.get() + size % kBlock, 0, kBlock - size % kBlock);
        }
        size_ = size;
    }

  private:
    // What lies under the written blocks: the evidence's bytes up to where they still count, then zeros.
    bool read_under(unsigned char* out, std::uint64_t n, std::uint64_t offset) const {
        const std::uint64_t from_file = offset >= evidence_end_ ? 0 : std::min(n, evidence_end_ - offset);
        if (!read_fully(fd_, out, from_file, offset)) return false;
        std::memset(out + from_file, 0, n - from_file);
        return true;
    }

    // The block at `index`, made from what lay there when first written; null when out of memory or
    // unreadable.
    unsigned char* block_for_write(std::uint64_t index) {
        const auto found = blocks_.find(index);
        if (found != blocks_.end()) return found->second.get();
        std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlock]);
        if (block == nullptr) return nullptr;
        const auto copy = copies_.find(index);
        // A block written in part takes its other bytes from what the library sees there now.
        if (copy != copies_.end()
                ? !read_fully(copy->second.file->fd, block.get(), kBlock, copy->second.offset)
                : !read_under(block.get(), kBlock, index * kBlock))
            return nullptr;
        try {
            unsigned char* made = blocks_.emplace(index, std::move(block)).first->second.get();
            tally(blocks_.size() - 1);
            if (copy != copies_.end()) copies_.erase(copy);
            return made;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    // Tells the bytes the open databases hold how many blocks this one keeps now, where there were `before`.
    void tally(std::size_t before) const {
        if (!counted_) return;
        const std::size_t now = blocks_.size();
        if (now >= before)
            g_bytes_held.fetch_add((now - before) * kBlock);
        else
            g_bytes_held.fetch_sub((before - now) * kBlock);
    }

    const bool counted_;              // its blocks count in g_bytes_held
    int fd_ = -1;                     // the evidence, read-only; -1 for a file in memory only
    bool exists_ = false;             // false once the library deleted it, or when it is not there
    std::uint64_t size_ = 0;          // the size the library sees
    std::uint64_t evidence_end_ = 0;  // the evidence's bytes count below this (its size, or a truncation)
    std::map<std::uint64_t, std::unique_ptr<unsigned char[]>> blocks_;  // written blocks by index
    struct copied_block {
        std::shared_ptr<shared_descriptor> file;
        std::uint64_t offset = 0;
    };
    std::map<std::uint64_t, copied_block> copies_;  // blocks written as copies of evidence bytes, by index
};

// A companion the library finds by name beside the database: the source's file of it (`lent_fd`, a duplicate;
// -1: absent), attached when first asked about. Its path is never opened.
struct companion {
    std::string path;
    const char* key = nullptr;  // the name the library passes for it (its own buffer, compared by address)
    file_image image{true};
    bool looked = false;
    int lent_fd = -1;

    companion() = default;
    ~companion() {
        if (lent_fd >= 0) ::close(lent_fd);
    }
    companion(const companion&) = delete;
    companion& operator=(const companion&) = delete;

    file_image& get() {
        if (!looked && lent_fd >= 0) (void)image.attach_descriptor(lent_fd);
        lent_fd = -1;
        looked = true;
        return image;
    }
};

// A duplicate of `fd`, or -1.
int duplicate(int fd) { return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

// The files of one open of the database: the main file and its companions. A connection uses its library
// from one thread at a time, so its files need no lock of their own.
struct evidence_group {
    file_image database{true};
    companion journal;
    companion wal;
    int wal_handles = 0;  // open handles on the log
    // The journal's last read of whole blocks (a rollback reads each original page just before it writes it
    // back), with a descriptor of the journal that outlives its deletion.
    std::uint64_t journal_read_offset = 0;
    int journal_read_amount = 0;
    std::shared_ptr<shared_descriptor> journal_bytes;
    std::vector<unsigned char> scratch;                 // the journal's bytes a write is compared with
    std::vector<std::unique_ptr<unsigned char[]>> shm;  // the log's index, by region
};

}  // namespace

// One registered VFS: its own copy of the methods under a name of its own, the default VFS it hands the rest
// to, the database it reads, and the files of each open of it (the library opens the main file once per
// connection, and once more for a database attached under another name).
struct evidence_vfs::instance {
    sqlite3_vfs vfs;
    std::string name;
    sqlite3_vfs* base = nullptr;
    const database_source* source = nullptr;
    bool registered = false;
    std::mutex groups_mutex;  // connections on several threads may open and close files through it
    std::vector<std::shared_ptr<evidence_group>> groups;  // the opens of the main file not yet closed
};

namespace {

evidence_vfs::instance& instance_of(sqlite3_vfs* vfs) {
    return *static_cast<evidence_vfs::instance*>(vfs->pAppData);
}

// The group and companion a name of the library stands for among the files open through `vfs`: by the
// address the library names it by, else by its text; none for another name.
struct companion_ref {
    std::shared_ptr<evidence_group> group;
    companion* file = nullptr;
};

companion_ref find_companion(evidence_vfs::instance& vfs, const char* name) {
    std::lock_guard<std::mutex> guard(vfs.groups_mutex);
    for (int by_text = 0; by_text < 2 && name != nullptr; ++by_text) {
        for (const std::shared_ptr<evidence_group>& group : vfs.groups) {
            for (companion* c : {&group->journal, &group->wal}) {
                if (by_text ? c->path == name : c->key == name) return {group, c};
            }
        }
    }
    return {};
}

// What the library holds for one open file: `file` is laid out in the memory it gave (szOsFile).
struct file_handle {
    evidence_vfs::instance* vfs = nullptr;  // the VFS it was opened through
    std::shared_ptr<evidence_group> group;  // the database's files, for the database and its companions
    std::unique_ptr<file_image> own;        // a file of no open database (temporary files, a super-journal)
    file_image* image = nullptr;
    bool database = false;  // the main file, which owns the group's entry
    bool wal = false;
};

struct evidence_file {
    sqlite3_file base;  // first: the library sees this part
    file_handle* handle;
};

file_handle& handle_of(sqlite3_file* file) { return *reinterpret_cast<evidence_file*>(file)->handle; }

sqlite3_vfs* base_vfs(sqlite3_vfs* vfs) { return instance_of(vfs).base; }

// ---------------------------------------------------------------- file methods

int file_close(sqlite3_file* file) {
    auto* f = reinterpret_cast<evidence_file*>(file);
    file_handle* h = f->handle;
    f->handle = nullptr;
    if (h->wal) --h->group->wal_handles;
    if (h->database) {
        std::vector<std::shared_ptr<evidence_group>>& groups = h->vfs->groups;
        std::lock_guard<std::mutex> guard(h->vfs->groups_mutex);
        groups.erase(std::remove(groups.begin(), groups.end(), h->group), groups.end());
    }
    delete h;
    return SQLITE_OK;
}

int file_read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
    file_handle& h = handle_of(file);
    if (h.group != nullptr && h.image == &h.group->journal.image && amount > 0 &&
        static_cast<std::uint64_t>(amount) % kBlock == 0) {
        h.group->journal_read_offset = static_cast<std::uint64_t>(offset);
        h.group->journal_read_amount = amount;
    }
    return h.image->read(out, amount, static_cast<std::uint64_t>(offset));
}

// A page the rollback writes back into the database is the journal's original page, just read: kept as a
// reference to the journal's bytes when they are the very bytes written (compared, never assumed).
bool write_journal_copy(file_handle& h, const void* data, int amount, std::uint64_t offset) {
    evidence_group& g = *h.group;
    if (!h.database || amount != g.journal_read_amount || g.journal_read_amount == 0) return false;
    g.journal_read_amount = 0;
    if (g.journal_bytes == nullptr) g.journal_bytes = g.journal.image.share();
    if (g.journal_bytes == nullptr) return false;
    try {
        g.scratch.resize(static_cast<std::size_t>(amount));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!read_fully(g.journal_bytes->fd, g.scratch.data(), static_cast<std::uint64_t>(amount),
                    g.journal_read_offset) ||
        std::memcmp(g.scratch.data(), data, static_cast<std::size_t>(amount)) != 0)
        return false;
    return h.image->write_copy(amount, offset, g.journal_bytes, g.journal_read_offset);
}

int file_write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    file_handle& h = handle_of(file);
    if (h.group != nullptr && write_journal_copy(h, data, amount, static_cast<std::uint64_t>(offset)))
        return SQLITE_OK;
    return h.image->write(data, amount, static_cast<std::uint64_t>(offset));
}

int file_truncate(sqlite3_file* file, sqlite3_int64 size) {
    handle_of(file).image->truncate(static_cast<std::uint64_t>(size));
    return SQLITE_OK;
}

int file_sync(sqlite3_file*, int) { return SQLITE_OK; }

int file_size(sqlite3_file* file, sqlite3_int64* size) {
    *size = static_cast<sqlite3_int64>(handle_of(file).image->size());
    return SQLITE_OK;
}

// No lock is taken: nobody else sees what this connection's library writes. One is refused: the exclusive
// lock a closing connection takes to fold the log into the database, work that would only cost memory.
int file_lock(sqlite3_file* file, int level) {
    const file_handle& h = handle_of(file);
    if (level == SQLITE_LOCK_EXCLUSIVE && h.database && h.group->wal_handles > 0) return SQLITE_BUSY;
    return SQLITE_OK;
}

int file_unlock(sqlite3_file*, int) { return SQLITE_OK; }

int file_check_reserved_lock(sqlite3_file*, int* reserved) {
    *reserved = 0;
    return SQLITE_OK;
}

int file_control(sqlite3_file*, int, void*) { return SQLITE_NOTFOUND; }

int file_sector_size(sqlite3_file*) { return 4096; }

int file_device_characteristics(sqlite3_file*) { return 0; }

int file_shm_map(sqlite3_file* file, int region, int region_size, int extend, void volatile** out) {
    *out = nullptr;
    file_handle& h = handle_of(file);
    if (!h.database || region < 0 || region_size <= 0) return SQLITE_IOERR_SHMMAP;
    std::vector<std::unique_ptr<unsigned char[]>>& shm = h.group->shm;
    const std::size_t index = static_cast<std::size_t>(region);
    if (index >= shm.size()) {
        if (!extend) return SQLITE_OK;
        try {
            while (shm.size() <= index) shm.emplace_back(new unsigned char[region_size]());
        } catch (const std::bad_alloc&) {
            return SQLITE_NOMEM;
        }
    }
    *out = shm[index].get();
    return SQLITE_OK;
}

int file_shm_lock(sqlite3_file*, int, int, int) { return SQLITE_OK; }

// Only its own connection maps the index, one thread at a time; a lock taken and released still orders
// memory as the library asks.
void file_shm_barrier(sqlite3_file*) {
    static std::mutex barrier;
    std::lock_guard<std::mutex> guard(barrier);
}

int file_shm_unmap(sqlite3_file* file, int) {
    file_handle& h = handle_of(file);
    if (h.database) h.group->shm.clear();
    return SQLITE_OK;
}

const sqlite3_io_methods kFileMethods = {
    2,  // with shared memory, without memory mapping: every read is a pread
    file_close,
    file_read,
    file_write,
    file_truncate,
    file_sync,
    file_size,
    file_lock,
    file_unlock,
    file_check_reserved_lock,
    file_control,
    file_sector_size,
    file_device_characteristics,
    file_shm_map,
    file_shm_lock,
    file_shm_barrier,
    file_shm_unmap,
    nullptr,
    nullptr,
};

// ---------------------------------------------------------------- VFS methods

// Fills `h` for the main file the library opens through `vfs`, whatever name it gives: the source's
// database, with the source's log and journal as its companions (one the source lacks is absent), each read
// through a duplicate of the source's descriptor. SQLITE_CANTOPEN when the source has no database file and
// none is to be made.
int open_main_file(file_handle& h, const char* name, int flags, evidence_vfs::instance& vfs) {
    auto group = std::make_shared<evidence_group>();
    const evidence& files = vfs.source->files();
    group->journal.lent_fd = duplicate(files.journal_descriptor());
    group->wal.lent_fd = duplicate(files.wal_descriptor());
    if (!group->database.attach_descriptor(duplicate(files.database_descriptor()))) {
        if ((flags & SQLITE_OPEN_CREATE) == 0) return SQLITE_CANTOPEN;
        group->database.create();
    }
    group->journal.key = sqlite3_filename_journal(name);
    group->wal.key = sqlite3_filename_wal(name);
    group->journal.path = group->journal.key != nullptr ? group->journal.key : "";
    group->wal.path = group->wal.key != nullptr ? group->wal.key : "";
    h.group = group;
    h.image = &group->database;
    h.database = true;
    std::lock_guard<std::mutex> guard(vfs.groups_mutex);
    vfs.groups.push_back(group);
    return SQLITE_OK;
}

// Fills `h` for the file the library opens; SQLITE_CANTOPEN when it is not there and not to be made.
int open_handle(file_handle& h, const char* name, int flags, evidence_vfs::instance& vfs) {
    const bool create = (flags & SQLITE_OPEN_CREATE) != 0;
    h.vfs = &vfs;
    if (name != nullptr && (flags & SQLITE_OPEN_MAIN_DB) != 0) return open_main_file(h, name, flags, vfs);
    const companion_ref ref = (flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_WAL)) != 0
                                  ? find_companion(vfs, name)
                                  : companion_ref{};
    if (ref.file != nullptr) {
        file_image& image = ref.file->get();
        if (!image.exists()) {
            if (!create) return SQLITE_CANTOPEN;
            image.create();
        }
        h.group = ref.group;
        h.image = &image;
        h.wal = ref.file == &ref.group->wal;
        if (h.wal) ++h.group->wal_handles;
        return SQLITE_OK;
    }
    // Temporary files live in memory; any other file is read where it lies and written in memory. A
    // super-journal that is there but cannot be read (judge_journal's "unknown", said by the program) reads
    // as empty: the rollback before it stands, as the own reader reads it.
    h.own = std::make_unique<file_image>();
    h.image = h.own.get();
    if (name == nullptr || (flags & SQLITE_OPEN_DELETEONCLOSE) != 0) {
        h.own->create();
    } else if (!h.own->attach(name)) {
        if (!create && (flags & SQLITE_OPEN_SUPER_JOURNAL) == 0) return SQLITE_CANTOPEN;
        h.own->create();
    }
    return SQLITE_OK;
}

int vfs_open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
    auto* f = reinterpret_cast<evidence_file*>(file);
    f->base.pMethods = nullptr;  // the library calls no close for a failed open
    f->handle = nullptr;
    try {
        auto h = std::make_unique<file_handle>();
        const int rc = open_handle(*h, name, flags, instance_of(vfs));
        if (rc != SQLITE_OK) return rc;
        f->handle = h.release();
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    // Writable as far as the library knows (a hot journal is rolled back only then): the writes stay here.
    if (out_flags != nullptr) *out_flags = flags;
    f->base.pMethods = &kFileMethods;
    return SQLITE_OK;
}

// A companion the library deletes is gone for this connection only; no file is ever removed.
int vfs_delete(sqlite3_vfs* vfs, const char* name, int) {
    const companion_ref ref = find_companion(instance_of(vfs), name);
    if (ref.file != nullptr) {
        ref.file->image.forget();
        ref.file->looked = true;
    }
    return SQLITE_OK;
}

// As the library's own answer for a file: "exists" means there with at least one byte. Whether a file of no
// open database exists (the super-journal a hot journal names, the journals it lists) is the own readers'
// answer too (the source's verdict on its journal, else super_journal_exists), so that the library and they
// take a journal for hot alike.
int vfs_access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    const companion_ref ref = find_companion(instance_of(vfs), name);
    bool there = false;
    std::uint64_t size = 0;
    if (ref.file != nullptr) {
        const file_image& image = ref.file->get();
        there = image.exists();
        size = image.size();
    } else if (name != nullptr && flags == SQLITE_ACCESS_EXISTS) {
        const journal_verdict& journal = instance_of(vfs).source->journal();
        *result = !journal.super_journal.empty() && journal.super_journal == name
                      ? journal.hotness != journal_hotness::not_hot
                      : super_journal_exists(name);
        return SQLITE_OK;
    } else if (name != nullptr) {
        const int fd = open_evidence(name, &size);
        there = fd >= 0;
        if (there) ::close(fd);
    }
    *result = there && (flags != SQLITE_ACCESS_EXISTS || size > 0) ? 1 : 0;
    return SQLITE_OK;
}

// The path the library names the database and its companions by: the file the path reaches, as every
// reader of the program finds it.
int vfs_full_pathname(sqlite3_vfs*, const char* name, int size, char* out) {
    try {
        std::string full = companions_of(name).database;
        if (full.empty()) full = name;
        if (full.size() + 1 > static_cast<std::size_t>(size)) return SQLITE_CANTOPEN;
        std::memcpy(out, full.c_str(), full.size() + 1);
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

// The rest is the default VFS's.
void* vfs_dl_open(sqlite3_vfs* vfs, const char* name) { return base_vfs(vfs)->xDlOpen(base_vfs(vfs), name); }
void vfs_dl_error(sqlite3_vfs* vfs, int n, char* out) { base_vfs(vfs)->xDlError(base_vfs(vfs), n, out); }
void (*vfs_dl_sym(sqlite3_vfs* vfs, void* lib, const char* symbol))(void) {
    return base_vfs(vfs)->xDlSym(base_vfs(vfs), lib, symbol);
}
void vfs_dl_close(sqlite3_vfs* vfs, void* lib) { base_vfs(vfs)->xDlClose(base_vfs(vfs), lib); }
int vfs_randomness(sqlite3_vfs* vfs, int n, char* out) {
    return base_vfs(vfs)->xRandomness(base_vfs(vfs), n, out);
}
int vfs_sleep(sqlite3_vfs* vfs, int micro) { return base_vfs(vfs)->xSleep(base_vfs(vfs), micro); }
int vfs_current_time(sqlite3_vfs* vfs, double* now) {
    return base_vfs(vfs)->xCurrentTime(base_vfs(vfs), now);
}
int vfs_last_error(sqlite3_vfs* vfs, int n, char* out) {
    return base_vfs(vfs)->xGetLastError(base_vfs(vfs), n, out);
}
int vfs_current_time_int64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    sqlite3_vfs* base = base_vfs(vfs);
    if (base->iVersion >= 2 && base->xCurrentTimeInt64 != nullptr) return base->xCurrentTimeInt64(base, now);
    double days = 0;
    const int rc = base->xCurrentTime(base, &days);
    *now = static_cast<sqlite3_int64>(days * 86400000.0);
    return rc;
}

const sqlite3_vfs kVfsTemplate = {
    2,                      // iVersion
    sizeof(evidence_file),  // szOsFile
    kLibraryMaxPathname,    // mxPathname
    nullptr,                // pNext
    kVfsName,               // zName
    nullptr,                // pAppData: the instance, set when registered
    vfs_open,
    vfs_delete,
    vfs_access,
    vfs_full_pathname,
    vfs_dl_open,
    vfs_dl_error,
    vfs_dl_sym,
    vfs_dl_close,
    vfs_randomness,
    vfs_sleep,
    vfs_current_time,
    vfs_last_error,
    vfs_current_time_int64,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

std::uint64_t evidence_vfs_bytes_held() { return g_bytes_held.load(); }

evidence_vfs::evidence_vfs(const database_source& source) : instance_(std::make_unique<instance>()) {
    static std::atomic<std::uint64_t> made{0};
    instance& v = *instance_;
    v.source = &source;
    v.base = sqlite3_vfs_find(nullptr);
    if (v.base == nullptr) return;
    v.name = std::string(kVfsName) + "-" + std::to_string(made.fetch_add(1));
    v.vfs = kVfsTemplate;
    v.vfs.zName = v.name.c_str();
    v.vfs.pAppData = &v;
    v.registered = sqlite3_vfs_register(&v.vfs, 0) == SQLITE_OK;
}

evidence_vfs::~evidence_vfs() {
    if (instance_->registered) (void)sqlite3_vfs_unregister(&instance_->vfs);
}

const char* evidence_vfs::name() const { return instance_->registered ? instance_->name.c_str() : nullptr; }
