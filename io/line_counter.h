// An output stream that passes every character straight on to another stream's buffer and counts the line
// breaks among them: the lines a report got, whatever road each took to it (a row written on its own, a
// batch of rows formatted on a thread, a recovered record).
#pragma once

#include <cstdint>
#include <ostream>
#include <streambuf>

// Keeps no characters: each goes on to `target` at once, and a failed hand-over fails the write.
class line_counting_buffer : public std::streambuf {
  public:
    // Does not own `target`.
    explicit line_counting_buffer(std::streambuf* target) : target_(target) {}
    // The line breaks handed on so far.
    std::uint64_t lines() const { return lines_; }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    std::streambuf* target_;
    std::uint64_t lines_ = 0;
};

// The std::ostream over a line_counting_buffer into `target`'s buffer; `target` must outlive it.
class line_counting_output : public std::ostream {
  public:
    explicit line_counting_output(std::ostream& target);
    line_counting_output(const line_counting_output&) = delete;
    line_counting_output& operator=(const line_counting_output&) = delete;

    std::uint64_t lines() const { return buffer_.lines(); }

  private:
    line_counting_buffer buffer_;
};
