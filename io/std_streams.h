// Standard input read one line at a time (the base of the path source for "-pipe") and standard output
// written straight to its descriptor.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace uni {

class stdin_stream {
  public:
    static constexpr std::uint32_t kLineBuffer = 4096;

    // Ready when standard input exists and the line buffer could be allocated.
    explicit stdin_stream(bool flag);
    virtual ~stdin_stream();

    stdin_stream(const stdin_stream&) = delete;
    stdin_stream& operator=(const stdin_stream&) = delete;

    // Next line (at most 4,095 bytes) into `line`; with `strip`, trailing CR and LF are removed. False at the
    // end of input, on error and when not ready.
    virtual bool read(std::string& line, bool strip);
    // As the narrow form, decoded as a path: UTF-8 sequences become their characters and any other byte is
    // kept in its escaped path form, so a line that names a file always names it again.
    virtual bool read(std::wstring& line, bool strip);
    // As the narrow form into bytes.
    bool read_bytes(std::vector<std::uint8_t>& line, bool strip);
    // One fgets into the caller's buffer of *length bytes; *length becomes the length of what arrived.
    bool read_raw(char* out, std::uint32_t* length);
    // Waits up to two seconds for standard input to become readable.
    bool wait_for_input();
    // Releases the line buffer and clears the buffer, the input stream and `ready`.
    void clear();
    // Forgets the buffer, input stream and counters without releasing anything.
    void reset();

    bool is_ready() const { return ready; }

  protected:
    // Reads the next line into the line buffer.
    bool next_line();

    char* line_buffer;             // kLineBuffer bytes, owned
    std::FILE* input;              // standard input
    bool ready;                    // input present and buffer allocated
    bool flag;                     // the constructor's argument
    std::uint32_t buffer_length;   // length handed to fgets
    std::uint32_t second_counter;  // 0 at construction
};

class stdout_stream {
  public:
    explicit stdout_stream(bool flag);
    virtual ~stdout_stream();

    stdout_stream(const stdout_stream&) = delete;
    stdout_stream& operator=(const stdout_stream&) = delete;

    // Writes all `count` bytes to the descriptor of standard output (short writes are continued). False
    // when not ready, for null data or a count of 0 or less, or when a write fails.
    bool write(const void* data, std::int32_t count);
    bool write(const std::string& text);
    bool write(const std::vector<std::uint8_t>& bytes);
    // A wide text goes out as its UTF-8 form.
    bool write(const std::wstring& text);
    void reset();

    bool is_ready() const { return ready; }

  private:
    int descriptor;         // descriptor of standard output; -1 when absent
    std::FILE* output;      // standard output
    bool ready;             // standard output present
    bool flag;              // the constructor's argument
    std::uint32_t counter;  // 0 at construction
};

}  // namespace uni
