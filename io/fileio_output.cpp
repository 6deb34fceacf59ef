#include "io/fileio_output.h"

namespace uni {

namespace {

// The constructors take an int size; a negative one widens with its sign and so cannot be allocated.
std::uint64_t widen_size(int size) { return static_cast<std::uint64_t>(static_cast<std::int64_t>(size)); }

}  // namespace

// ---------------------------------------------------------------- file target

fileio_ostream::fileio_ostream(fileio* target_file, int size)
    : streambuf_generic_output<char>(widen_size(size)), target(nullptr), attached(false) {
    if (!ready) return;
    target = target_file;
    attached = target_file != nullptr && target_file->is_open();
}

fileio_ostream::~fileio_ostream() { flush(); }

std::uint32_t fileio_ostream::generic_write(const char* data, std::uint32_t count) {
    if (target == nullptr) return 0xFFFFFFFFu;
    return target->write(data, count) == 1 ? count : 0xFFFFFFFFu;
}

fileio_output::fileio_output(fileio* target, int size)
    : std::ostream(nullptr), buf(target, size), open(false) {
    if (buf.is_attached()) {
        rdbuf(&buf);
        open = true;
    }
}

fileio_output::~fileio_output() { close(); }

void fileio_output::close() {
    if (!open) return;
    flush();
    open = false;
}

fileio_output* fileio::open_output_stream() {
    if (!is_open()) return nullptr;
    drop_stream();
    fileio_output* made = nullptr;
    try {
        made = new fileio_output(this, kOutputStreamBuffer);
    } catch (const std::exception&) {
        return nullptr;
    }
    stream.reset(made);
    return made;
}

// ---------------------------------------------------------------- another stream as target

stream_forward_buffer::stream_forward_buffer(std::ostream* target_stream, int size)
    : streambuf_generic_output<char>(widen_size(size)), target(target_stream) {}

stream_forward_buffer::~stream_forward_buffer() { flush(); }

std::uint32_t stream_forward_buffer::generic_write(const char* data, std::uint32_t count) {
    if (target == nullptr) return 0xFFFFFFFFu;
    target->write(data, static_cast<std::streamsize>(count));
    return target->fail() ? 0xFFFFFFFFu : count;
}

stream_forward_output::stream_forward_output(std::ostream* target, int size)
    : std::ostream(nullptr), buf(target, size) {
    if (buf.is_ready()) rdbuf(&buf);
}

stream_forward_output::~stream_forward_output() = default;

// ---------------------------------------------------------------- byte-sum target

fileio_stats::fileio_stats() : byte_sum(0) {}

fileio_stats::~fileio_stats() { close(); }

int fileio_stats::add(const void* data, std::uint32_t count) {
    if (data == nullptr || count == 0) return 0;
    const std::uint8_t* p = static_cast<const std::uint8_t*>(data);
    for (std::uint32_t i = 0; i < count; ++i) byte_sum += p[i];
    return 1;
}

fileio_stats_output* fileio_stats::open_output_stream() {
    close();
    try {
        stream.reset(new fileio_stats_output(this, fileio::kOutputStreamBuffer));
    } catch (const std::exception&) {
        stream.reset();
        return nullptr;
    }
    return stream.get();
}

void fileio_stats::close() {
    if (!stream) return;
    stream->flush();
    stream.reset();
}

void fileio_stats::flush_stream() {
    if (stream) stream->flush();
}

void fileio_stats::reset() {
    stream.reset();
    byte_sum = 0;
}

fileio_stats_ostream::fileio_stats_ostream(fileio_stats* target_sink, int size)
    : streambuf_generic_output<char>(widen_size(size)), target(nullptr), attached(false) {
    if (!ready) return;
    target = target_sink;
    attached = true;
}

fileio_stats_ostream::~fileio_stats_ostream() { flush(); }

std::uint32_t fileio_stats_ostream::generic_write(const char* data, std::uint32_t count) {
    if (data == nullptr || count == 0 || target == nullptr) return 0xFFFFFFFFu;
    target->add(data, count);
    return count;
}

fileio_stats_output::fileio_stats_output(fileio_stats* target, int size)
    : std::ostream(nullptr), buf(target, size), open(false) {
    if (buf.is_attached()) {
        rdbuf(&buf);
        open = true;
    }
}

fileio_stats_output::~fileio_stats_output() { close(); }

void fileio_stats_output::close() {
    if (!open) return;
    flush();
    open = false;
}

}  // namespace uni
