// Buffered output streams over a file object: report text produced with operator<< collects in one large
// buffer and goes to the target only when the buffer is full or the stream is destroyed, so a report costs
// few system calls. `sync` (std::endl, flush) deliberately moves nothing.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "io/fileio.h"

namespace uni {

// Collects output in a buffer of a fixed size and hands each full buffer to generic_write. The put area
// spans the first size - 1 bytes; the character that does not fit goes into the last byte, so every full
// hand-over is exactly the buffer size.
template <class CharT, class Traits = std::char_traits<CharT>>
class streambuf_generic_output : public std::basic_streambuf<CharT, Traits> {
  public:
    using int_type = typename Traits::int_type;

    // Allocates `size` characters, zero-filled. On allocation failure (or a size of 0) the stream is not
    // ready and can write nothing.
    explicit streambuf_generic_output(std::uint64_t size);
    // Releases the buffer without flushing: derived classes flush in their own destructors, while their
    // generic_write can still be reached.
    ~streambuf_generic_output() override = default;

    streambuf_generic_output(const streambuf_generic_output&) = delete;
    streambuf_generic_output& operator=(const streambuf_generic_output&) = delete;

    // Hands what is buffered to generic_write. 0 on success (also when not ready), -1 on failure.
    virtual int flush();
    // Takes `count` characters; returns how many it took, or 0xFFFFFFFF on failure.
    virtual std::uint32_t generic_write(const CharT* data, std::uint32_t count) = 0;

    bool is_ready() const { return ready; }

  protected:
    int sync() override { return flush(); }
    int_type overflow(int_type c) override;

    std::uint64_t buffer_size;  // characters asked for at construction; 0 when allocation failed
    std::vector<CharT> buf;     // the output buffer
    bool ready;                 // the buffer exists
};

// Sends full buffers into a file object (appended at its end).
class fileio_ostream : public streambuf_generic_output<char> {
  public:
    // A negative size is widened with its sign and so fails to allocate. `attached` is set when `target`
    // was open at construction.
    fileio_ostream(fileio* target, int size);
    ~fileio_ostream() override;

    std::uint32_t generic_write(const char* data, std::uint32_t count) override;
    bool is_attached() const { return attached; }

  protected:
    // Deliberately nothing: flushes of the ostream must not cost a system call per line.
    int sync() override { return 0; }

  private:
    fileio* target;  // not owned; null when the buffer could not be allocated
    bool attached;   // target was open at construction
};

// The std::ostream over a fileio_ostream. When the buffer is not attached it stays bad and drops insertions.
class fileio_output : public std::ostream {
  public:
    fileio_output(fileio* target, int size);
    // close(), then the member buffer's destruction writes the buffered bytes into the file object.
    ~fileio_output() override;

    fileio_output(const fileio_output&) = delete;
    fileio_output& operator=(const fileio_output&) = delete;

    // Flushes the ostream (moving nothing) and marks the stream closed; the buffer keeps its bytes.
    void close();
    bool is_stream_open() const { return open; }
    const fileio_ostream& buffer() const { return buf; }

  private:
    fileio_ostream buf;  // the buffer; destroyed after the ostream part is done with it
    bool open;           // connected to `buf`
};

// Sends full buffers on to another stream. A report that goes to standard output collects in one large
// buffer, so its rows cost one write of that stream per buffer instead of one per row.
class stream_forward_buffer : public streambuf_generic_output<char> {
  public:
    // Does not own `target`; a null target makes every write fail.
    stream_forward_buffer(std::ostream* target, int size);
    // Hands the rest on.
    ~stream_forward_buffer() override;

    std::uint32_t generic_write(const char* data, std::uint32_t count) override;

  protected:
    int sync() override { return 0; }

  private:
    std::ostream* target;  // not owned
};

// The std::ostream over a stream_forward_buffer; bad from the start when the buffer could not be had.
class stream_forward_output : public std::ostream {
  public:
    stream_forward_output(std::ostream* target, int size);
    ~stream_forward_output() override;

    stream_forward_output(const stream_forward_output&) = delete;
    stream_forward_output& operator=(const stream_forward_output&) = delete;

  private:
    stream_forward_buffer buf;  // destroyed after the ostream part, handing on what it holds
};

class fileio_stats_output;

// A sink that keeps no bytes and adds up their values (each 0 to 255).
class fileio_stats {
  public:
    fileio_stats();
    virtual ~fileio_stats();

    fileio_stats(const fileio_stats&) = delete;
    fileio_stats& operator=(const fileio_stats&) = delete;

    // Adds the values of `count` bytes; 0 for a null pointer or a count of 0.
    int add(const void* data, std::uint32_t count);
    // Attaches a 262,144-byte stream and returns it; null when allocation fails. Owned by this object.
    fileio_stats_output* open_output_stream();
    // Flushes the attached stream into byte_sum and destroys it.
    void close();
    // Flushes the attached stream as an ostream (which moves nothing).
    void flush_stream();
    // Zeroes the fields. An attached stream is destroyed first, so its bytes are counted and then cleared.
    void reset();

    std::uint64_t byte_sum;                       // sum of every byte's value
    std::unique_ptr<fileio_stats_output> stream;  // the attached stream, or null
};

class fileio_stats_ostream : public streambuf_generic_output<char> {
  public:
    fileio_stats_ostream(fileio_stats* target, int size);
    ~fileio_stats_ostream() override;

    std::uint32_t generic_write(const char* data, std::uint32_t count) override;
    bool is_attached() const { return attached; }

  protected:
    int sync() override { return 0; }

  private:
    fileio_stats* target;  // not owned
    bool attached;         // the buffer exists and the target was given
};

class fileio_stats_output : public std::ostream {
  public:
    fileio_stats_output(fileio_stats* target, int size);
    ~fileio_stats_output() override;

    fileio_stats_output(const fileio_stats_output&) = delete;
    fileio_stats_output& operator=(const fileio_stats_output&) = delete;

    void close();
    bool is_stream_open() const { return open; }

  private:
    fileio_stats_ostream buf;
    bool open;
};

// ---- template members ----

template <class CharT, class Traits>
streambuf_generic_output<CharT, Traits>::streambuf_generic_output(std::uint64_t size)
    : buffer_size(0), ready(false) {
    // A size of 0 would leave no reserved last byte for overflow to store into.
    if (size == 0) return;
    try {
        if (size > buf.max_size()) return;
        buf.assign(static_cast<std::size_t>(size), CharT());
    } catch (const std::exception&) {
        return;
    }
    buffer_size = size;
    ready = true;
    this->setp(buf.data(), buf.data() + (buf.size() - 1));
}

template <class CharT, class Traits>
int streambuf_generic_output<CharT, Traits>::flush() {
    if (!ready) return 0;
    return Traits::eq_int_type(overflow(Traits::eof()), Traits::eof()) ? -1 : 0;
}

template <class CharT, class Traits>
typename streambuf_generic_output<CharT, Traits>::int_type streambuf_generic_output<CharT, Traits>::overflow(
    int_type c) {
    if (!ready) return Traits::eof();
    const bool is_eof = Traits::eq_int_type(c, Traits::eof());
    CharT* end = this->pptr();
    if (!is_eof) {
        // pptr never passes epptr, which is the reserved last character, so this store is in the buffer.
        *end = Traits::to_char_type(c);
        ++end;
    }
    const std::ptrdiff_t n = end - this->pbase();
    if (n > 0) {
        std::uint64_t written = 0;
        const std::uint64_t total = static_cast<std::uint64_t>(n);
        while (written < total) {
            const std::uint64_t left = total - written;
            const std::uint32_t ask = left > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(left);
            const std::uint32_t r = generic_write(this->pbase() + written, ask);
            // A target that takes nothing (or claims more than it was given) would loop forever or run past
            // the buffer: both count as a failed write.
            if (r == 0xFFFFFFFFu || r == 0 || r > ask) return Traits::eof();
            written += r;
        }
    }
    this->setp(buf.data(), buf.data() + (buf.size() - 1));
    return is_eof ? int_type(0) : Traits::not_eof(c);
}

}  // namespace uni
