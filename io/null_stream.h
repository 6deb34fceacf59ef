// An output stream that discards everything, so that code written against an output stream can run with
// its output switched off.
#pragma once

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

// Counts every character as written and stores nothing; writes never fail.
class null_out_buf : public std::streambuf {
  public:
    null_out_buf() = default;
    ~null_out_buf() override = default;

  protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type c) override;
};

class null_out_stream : public std::ostream {
  public:
    null_out_stream();
    ~null_out_stream() override;

    null_out_stream(const null_out_stream&) = delete;
    null_out_stream& operator=(const null_out_stream&) = delete;

  private:
    null_out_buf buf;  // the discarding buffer this stream is bound to
};

// Program-wide objects of this unit, built before main in this order.
extern const std::string null_stream_newline;  // "\n"
extern const std::string null_stream_empty;    // ""
extern std::ostringstream null_stream_text;    // an empty output text stream
extern null_out_stream null_out;               // the program-wide discarding stream
