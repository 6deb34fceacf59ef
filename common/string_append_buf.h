// A stream buffer that appends what is written to a string, which may change between writes: a formatter
// thread writes each batch's rows into that batch's text through one ostream.
#pragma once

#include <streambuf>
#include <string>

class string_append_buf : public std::streambuf {
  public:
    void target(std::string* text) { text_ = text; }

  protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        text_->push_back(traits_type::to_char_type(ch));
        return ch;
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        text_->append(data, static_cast<std::size_t>(count));
        return count;
    }

  private:
    std::string* text_ = nullptr;
};
