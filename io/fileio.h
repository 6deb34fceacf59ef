// The file object: one object through which the system reads and writes bytes, whether they live in a
// file, on a raw device or in a memory buffer. Every operation answers with a plain success value (1 or 0,
// a position or -1 for the seeks) and never throws; a failed operation leaves the object usable.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_status.h"

namespace uni {

class fileio_output;
class file_overlay;

class fileio {
  public:
    // Called for every window of scan_chunks: (file, context, bytes, length, overlap with the next window,
    // offset of the window in the file). Its result is ignored.
    using chunk_callback = int (*)(fileio* file, void* context, const std::uint8_t* data,
                                   std::uint32_t length, std::uint32_t overlap, std::uint64_t offset);

    // Bytes of a read-only file read at once when small reads follow each other through it.
    static constexpr std::uint32_t kReadWindow = 262144;
    // Buffer of the output stream that open_output_stream attaches.
    static constexpr int kOutputStreamBuffer = 262144;

    fileio();
    // Opens `path` (narrow path bytes) as open() does with truncate set: a file opened for writing is always
    // created or truncated. `flag` is accepted and does not influence the opening.
    fileio(const std::string& path, bool write, bool text_mode, bool flag);
    // The same with a wide path.
    fileio(const std::wstring& path, bool write, bool text_mode, bool flag);
    // Memory mode over a copy of `bytes`, positioned at its end (as open_memory_copy).
    fileio(const std::vector<std::uint8_t>& bytes, bool write, bool text_mode);
    virtual ~fileio();

    fileio(const fileio&) = delete;
    fileio& operator=(const fileio&) = delete;

    // --- opening and closing ---
    // Opens a path (narrow path bytes, or wide). Read-only unless `write`; with `write` the file must exist
    // unless `truncate` (which creates it, mode 0644 less the umask, or empties it). Trailing '/' and '\'
    // are removed. An open descriptor is closed first (an attached stream is flushed into it before).
    // Refuses FIFOs and sockets. 1 or 0; after a failure the object is closed but keeps `write_access` and
    // `path`.
    int open(const std::string& path, bool write, bool text_mode, bool truncate);
    int open(const std::wstring& path, bool write, bool text_mode, bool truncate);
    // As open() with the narrow path converted to wide first; 0 for an empty path.
    int open_wide(const std::string& path, bool write, bool text_mode, bool truncate);
    // Opens for appending (created when missing, mode 0644 less the umask) and moves to the end. 1 or 0.
    int open_append(const std::string& path, bool text_mode);
    // As open_append with a wide path, without moving to the end.
    int open_append_wide(const std::wstring& path, bool text_mode);
    // Memory mode with `size` zero bytes. Anything open is closed first. 1, or 0 when allocation fails.
    int open_memory(std::uint32_t size, bool write, bool text_mode);
    // Memory mode over a copy of `bytes`, `position` at its end. Anything open is closed first. 1 or 0.
    int open_memory_copy(const std::vector<std::uint8_t>& bytes, bool write, bool text_mode);
    // A reader of its own over the file `other` has open (closed first): read-only, on a duplicate of its
    // descriptor (an overlay is shared), with its path and the size it measured; no read window is shared
    // and the file position is never used, so that threads may each read through one. 1, or 0 when `other`
    // is not open on a descriptor or an overlay, or the descriptor cannot be duplicated.
    int open_duplicate(const fileio& other);
    // Takes `fd` (a read-only descriptor of `narrow_path`, closed first) as if open() had opened it; its size
    // is measured as open() measures it.
    void adopt_descriptor(int fd, const std::string& narrow_path);
    // Overlay mode: a read-only file assembled from pieces of other files (file_overlay.h), read where the
    // pieces lie; positioned at 0. Anything open is closed first. 1, or 0 for a null overlay.
    int open_overlay(std::shared_ptr<const file_overlay> pieces);
    // Flushes and destroys an attached stream, closes the descriptor or empties the buffer, and returns
    // every field to the reset state.
    void close();
    // The reset state without closing the descriptor (for a descriptor that was handed elsewhere). An
    // attached stream is destroyed; what it still held cannot reach the file and is dropped.
    void reset();

    // --- state ---
    bool is_open() const;
    bool is_valid() const;
    // `file_size` when open, else 0.
    std::uint64_t size() const;
    // Measures the contents afresh (memory: the buffer's length; descriptor: the end offset, or block
    // count times block size for a raw device; 0 for a folder). 0 when not open. Does not store it.
    std::uint64_t query_size();
    // query_size(), stored into `file_size` and returned.
    std::uint64_t refresh_size();
    // Status of the open object into `record`: memory mode gives a cleared record with the size; 1 or 0.
    int get_stat(stat_record* record);
    // Current position: memory `position`, else the descriptor's; 0 when not open.
    std::uint64_t tell();

    // --- positioning: each gives the new position (seek_relative: the offset argument) or -1 ---
    std::int64_t seek(std::int64_t offset);
    std::int64_t seek_relative(std::int64_t offset);
    std::int64_t seek_from_end(std::int64_t count);

    // --- reading; every read is clipped to `file_size` and never passes the end of memory ---
    // The positioned read every other read is built on: up to `length` bytes at `offset` into `out`, read
    // where the mode keeps them (descriptor, memory, overlay). It changes nothing in the object (no read
    // window, no position), so any number of threads may call it on one object while no one writes to it.
    // *got receives the bytes that arrived: `length` clipped to the size, fewer only when the file gave no
    // more (a descriptor's file shrank since it was measured, or a read failed after some bytes: those are
    // kept, as a damaged medium's readable part); 0 at or past the end and when not open. False only when a
    // read failed before any byte arrived (*got 0; an overlay's read is whole or nothing). Nothing is
    // written past `out + length`.
    bool positioned_read(void* out, std::uint64_t length, std::uint64_t offset, std::uint64_t* got) const;
    // positioned_read of up to *length bytes, which *length then receives, through the read window (see
    // window_read). Fails (0) when the offset is at or past the size, or as positioned_read fails.
    int read_at(void* buffer, std::uint32_t* length, std::uint64_t offset);
    // As read_at with a 64-bit length; a length above 0xFFFFFFFF fails with *length untouched; on any other
    // failure *length becomes 0.
    int read_at64(void* buffer, std::uint64_t* length, std::uint64_t offset);
    // Reads `count` bytes at `offset` into `out` (resized; shrunk to what arrived). 0 when the offset is at
    // or past the size, or as positioned_read fails (`out` then empty); a count of 0 succeeds and leaves
    // `out` as it was. A short read is still a success.
    int read_range(std::vector<std::uint8_t>& out, std::uint64_t count, std::uint64_t offset);
    // read_range into a string.
    int read_range_string(std::string& out, std::uint64_t count, std::uint64_t offset);
    // Sequential read at the current position (memory mode honours and advances `position`).
    int read(void* buffer, std::uint32_t* length);
    // Reads from `start` in windows of `chunk_length` bytes that repeat `overlap` bytes of the one before,
    // calling `callback` for each. 1 after the scan, 0 when not open or allocation fails.
    int scan_chunks(chunk_callback callback, void* context, std::uint32_t chunk_length, std::uint32_t overlap,
                    std::uint64_t start);

    // --- writing: every write is whole or a failure (0); a descriptor's size follows its end ---
    int write(const void* data, std::uint32_t length);
    int write_bytes(const std::vector<std::uint8_t>& bytes);
    int write_fill(std::uint8_t value, std::uint32_t count);
    int write_at(const void* data, std::uint32_t length, std::int64_t offset);
    int write_bytes_at(const std::vector<std::uint8_t>& bytes, std::int64_t offset);
    int append_stream(const std::ostringstream& text);
    int append_stream(const std::stringstream& text);
    int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Descriptor: truncates or extends the file (`file_size` is left until refresh_size). Memory: resizes the
    // buffer (new bytes zero), size follows, position 0. Nothing when not open.
    void set_length(std::uint64_t length);

    // --- streams ---
    // Attaches a buffered output stream (262,144 bytes) and returns it; null when not open. The object owns
    // it: close() flushes it into the file and destroys it. The stream is made with the buffers that carry
    // it (fileio_output.cpp).
    fileio_output* open_output_stream();
    // Flushes the attached stream as an ostream (which does not move bytes to the file); -1 in every case.
    int flush_stream();

    // --- text, dump and range-copy operations (fileio_text.cpp) ---
    // Called by read_text_lines for each batch: (file, context, the batch's lines, how many of them to take,
    // file offset of the block the batch came from). Its result is ignored.
    using lines_callback = int (*)(fileio* file, void* context, std::vector<std::string>& lines,
                                   std::uint64_t take, std::uint64_t offset);
    // Bytes per block of read_all_lines; a longer line makes the block grow (see read_all_lines).
    static constexpr std::uint32_t kLineBlock = 65536;
    // Bytes per block of read_text_lines.
    static constexpr std::uint32_t kTextBlock = 1048576;
    // Chunk of the range copies when none is given.
    static constexpr std::uint32_t kCopyChunk = 0x400000;

    // Appends a hex dump of `length` bytes, each line "0x" + address (6 hex digits at least) + " : " + 16
    // bytes "xx " + the bytes as characters; CR LF line ends in text mode, else LF. 0 when not open or the
    // pointer is null; 1 for length 0 (nothing written); else the result of the append.
    int write_hex_dump(const std::uint8_t* data, std::uint32_t length, std::uint64_t start);
    int write_hex_dump(const std::vector<std::uint8_t>& bytes, std::uint64_t start);
    // Appends each string followed by CR LF; a failing write stops. 1 when at least one line was written.
    int write_lines(const std::vector<std::string>& lines);
    // Appends the lines of the block of *length bytes at `offset` (CR, LF, CR LF and LF CR each end a line;
    // lines trimmed, empty ones skipped). A block that reaches the end is the last one and its tail is a
    // line; otherwise *length becomes the bytes up to and including the last line break (0 when it holds
    // none), so that the next block starts at the unfinished line. 0 when not open, the offset is past the
    // size, the length is 0 or nothing could be read.
    int read_lines_at(std::vector<std::string>& out, std::uint32_t* length, std::uint64_t offset);
    // Every line of the file (out emptied first), read in blocks of kLineBlock. A block that holds no line
    // break doubles until it does or reaches the end, so a long line comes out whole; past 64 MiB without a
    // break the block is taken as a line of its own so that the reading always moves on. True when at least
    // one line was read.
    bool read_all_lines(std::vector<std::string>& out);
    // Reads a text file (text_mode required) in blocks of kTextBlock and hands its lines to `callback` batch
    // by batch. With detect_mark a leading FF FE makes the file UTF-16LE (converted to UTF-8; a surrogate
    // pair or a unit split between blocks is carried over) and a leading EF BB BF is dropped. With a line
    // limit other than -1, reading stops once that many lines were handed over. With progress, "percent done
    // %d" status lines, cleared at the end. 0 when not open or not in text mode; else 1 (an empty file calls
    // nothing).
    int read_text_lines(lines_callback callback, void* context, bool trim, bool skip_empty, bool progress,
                        std::int64_t line_limit, bool detect_mark);
    // Copies `count` bytes (negative: to the end) from `offset` to the stream or to `destination` at
    // dest_offset, in chunks of `chunk` bytes (0: kCopyChunk). A range that passes the end copies what
    // exists; *copied (when given) receives the bytes copied. 0 when not open, the offset lies past the end,
    // the position cannot be set or the size is 0 (copy_range_to also for a count of 0); else 1, also when a
    // read or write stopped the loop early (*copied then tells how far it came).
    int copy_range_to_stream(std::ostream& os, std::uint64_t offset, std::int64_t count, std::uint32_t chunk,
                             bool progress, std::uint64_t* copied = nullptr);
    int copy_range_to(fileio& destination, std::uint64_t offset, std::int64_t count,
                      std::uint64_t dest_offset, std::uint32_t chunk, bool progress,
                      std::uint64_t* copied = nullptr);

    // --- whole-object utilities ---
    // Writes the whole memory buffer to `path` (created or truncated). 1 or 0.
    int save_to_file(const std::string& path);
    // Copies the bytes from the current position to the end into `destination`. 1 or 0.
    int copy_to(const std::wstring& destination, bool append, bool create_when_empty);
    int copy_to(const std::string& destination, bool append, bool create_when_empty);
    // Applies an octal permission text ("644") to the open file. 1 or 0 (1 in memory mode).
    int set_permissions(const std::string& text);
    // Lists the "Zone.Identifier" companion of the open file when one exists; true when the list is not
    // empty.
    bool list_alternate_streams(std::vector<std::string>& out);
    // Opens `path` read-only, then as above.
    bool list_alternate_streams(std::vector<std::string>& out, const std::string& path);

    // --- fields ---
    int descriptor;           // POSIX descriptor; -1 when none is open
    std::uint64_t file_size;  // size as last measured; every read is clipped to it
    bool write_access;        // opened for writing
    bool opened;              // a descriptor was opened successfully
    bool text_mode;           // third open flag; read by the text-line and dump writers only
    std::wstring path;        // the path opened, without trailing separators
    std::vector<std::uint8_t>
        buffer;      // the contents in memory mode; callers may resize it, then refresh_size()
    bool in_memory;  // memory mode: every read and write goes to `buffer`
    std::shared_ptr<const file_overlay> overlay;  // overlay mode: every read goes to it; nothing is written
    std::uint64_t position;                       // memory-mode position
    std::unique_ptr<std::ostream> stream;         // the attached output stream (a fileio_output), or null

  private:
    // A cache in front of positioned_read for a read-only file on a descriptor: serves a small read (already
    // clipped to the size) from the window the last reads went through, filling the window when the read
    // follows on from the one before, so that a scan of pages costs one system call per window instead of one
    // per page, while reads that jump about go to the file as they are. False when the read is to go to
    // positioned_read directly.
    bool window_read(void* out, std::uint32_t length, std::uint64_t offset);
    // Bytes that can be read from `offset` on: to `file_size`, in memory never past the buffer; 0 at or past
    // the end and when not open. Every read clips with it.
    std::uint64_t readable_from(std::uint64_t offset) const;

    std::vector<std::uint8_t> read_window_;  // bytes of the file from window_offset_ on
    std::uint64_t window_offset_ = 0;
    std::uint64_t window_fill_ = 0;    // bytes of read_window_ that hold file content
    std::uint64_t last_read_end_ = 0;  // offset just after the last read, 0 before the first

    // Fields to the reset state; releases nothing.
    void set_reset_state();
    // Flushes and destroys an attached stream (its bytes go into this object while it is still open).
    void drop_stream();
    // Closes an open descriptor and resets, as step 3 of the opens does.
    void close_for_reopen();
    // Writes all `length` bytes at the descriptor's position; false on error or when nothing more goes.
    bool write_all(const void* data, std::uint64_t length);
    // Size after a descriptor write: the end lseek reports.
    void update_size_after_write();
    // Memory-mode positioned write.
    int memory_write_at(const std::uint8_t* data, std::uint64_t length, std::uint64_t offset);
    // Readable length of memory contents: never beyond the buffer, whatever `file_size` says.
    std::uint64_t memory_limit() const;
    int open_appending(const std::string& narrow_path, const std::wstring& wide_path, bool text_mode);
};

// Opens `path` with `flags` plus O_NONBLOCK and `mode`; -1 for an empty path, on failure, and for FIFOs
// and sockets (whose descriptor is closed again). A read-only open keeps the file's access time
// (open_keeping_access_time).
int open_descriptor(const std::string& path, int flags, unsigned int mode);
int open_descriptor(const std::wstring& path, int flags, unsigned int mode);
// ::open of `path` with `flags` and `mode` that leaves the file's access time as it is where the system
// allows that (O_NOATIME: the file's owner or a privileged user), and opens it as usual elsewhere. The
// descriptor, or -1 with errno set.
int open_keeping_access_time(const std::string& path, int flags, unsigned int mode = 0);
// Status of a descriptor into `record` (identity, times and size cleared first). 0 or -1.
int stat_descriptor(int descriptor, stat_record* record);
// Clears the identity, times and size fields of `record`; nothing for null.
void clear_stat_record(stat_record* record);

// Reads up to `length` bytes at `offset` of `file` with its positioned_read, which threads may share (no
// read window); the bytes that arrived (0 also when the read failed).
std::uint32_t read_shared(const fileio& file, std::uint8_t* out, std::uint32_t length, std::uint64_t offset);

// Removes trailing '/' and '\' from a path; a path made only of separators that begins with '/' keeps one
// '/', since it names the root folder. Returns the path.
std::string& strip_path_separators(std::string& path);
std::wstring& strip_path_separators(std::wstring& path);

}  // namespace uni
