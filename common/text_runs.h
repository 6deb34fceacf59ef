// A text handed on in pieces, for a value too long to copy: whoever holds its bytes hands them to a sink
// piece by piece, and the rewrites a report makes of a whole text (text_rewrite.h, formatters.h) are made
// here piece by piece, each passing what it makes to the next sink. A text of any length then goes to the
// report with buffers of a fixed size. Each rewrite gives, over the whole text, exactly what its whole-text
// counterpart gives, wherever the pieces are cut.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

// Takes a text in pieces, in order.
class text_sink {
  public:
    virtual ~text_sink() = default;
    // The next `n` bytes of the text (none for 0).
    virtual void put(const char* bytes, std::size_t n) = 0;
    void put(const std::string& text) { put(text.data(), text.size()); }
    void put(char c) { put(&c, 1); }
};

// Hands a text to a sink in pieces; may be asked more than once, giving the same text each time.
class text_source {
  public:
    virtual ~text_source() = default;
    virtual void put_to(text_sink& out) const = 0;
};

// Appends what it is given to a string.
class string_text_sink : public text_sink {
  public:
    explicit string_text_sink(std::string& out) : out_(out) {}
    void put(const char* bytes, std::size_t n) override { out_.append(bytes, n); }
    using text_sink::put;

  private:
    std::string& out_;
};

// Writes what it is given to a stream, through a buffer of its own so that small pieces cost no write each;
// flush() (or the destructor) writes what is held.
class stream_text_sink : public text_sink {
  public:
    explicit stream_text_sink(std::ostream& os) : os_(os) {}
    ~stream_text_sink() override { flush(); }
    stream_text_sink(const stream_text_sink&) = delete;
    stream_text_sink& operator=(const stream_text_sink&) = delete;
    void put(const char* bytes, std::size_t n) override;
    using text_sink::put;
    void flush();

  private:
    static constexpr std::size_t kBuffer = 16384;
    std::ostream& os_;
    char buffer_[kBuffer];
    std::size_t used_ = 0;
};

// Passes the text on with every control byte and every byte that is not valid UTF-8 made visible, as
// show_control_bytes does to a whole text. Bytes that may pair with the next (CR, LF, the first bytes of a
// UTF-8 character cut by the piece's end) are held back until the next piece tells: end() hands on what is
// held, once the text is over.
class control_byte_sink : public text_sink {
  public:
    explicit control_byte_sink(text_sink& next) : next_(next) {}
    void put(const char* bytes, std::size_t n) override;
    using text_sink::put;
    void end();

  private:
    // The rewrite of the held CR or LF followed by `next` (-1 for the end of the text); true when `next`
    // was taken with it.
    bool release_line_break(int next);
    // The held bytes of a UTF-8 character completed from the `n` bytes at `bytes` (none at the end of the
    // text): how many of them were taken; the bytes stay held while the character is still cut.
    std::size_t release_character(const unsigned char* bytes, std::size_t n);
    // One character (`n` bytes: a valid one, or one byte that is not) as the whole text writes it.
    void put_character(const unsigned char* bytes, std::size_t n);

    text_sink& next_;
    unsigned char held_[4] = {};  // the bytes held back: a CR or LF, or the start of a UTF-8 character
    std::size_t held_count_ = 0;
};

// Passes the text on with every `from` byte replaced by `to`, as replace_char does (case sensitive).
class char_replace_sink : public text_sink {
  public:
    char_replace_sink(text_sink& next, char from, char to) : next_(next), from_(from), to_(to) {}
    void put(const char* bytes, std::size_t n) override;
    using text_sink::put;

  private:
    text_sink& next_;
    const char from_;
    const char to_;
};

// Passes the text on with every double quote doubled: the inside of append_quoted_cell's quotes.
class quote_doubling_sink : public text_sink {
  public:
    explicit quote_doubling_sink(text_sink& next) : next_(next) {}
    void put(const char* bytes, std::size_t n) override;
    using text_sink::put;

  private:
    text_sink& next_;
};

// Passes the text on but for its last byte, which end() drops.
class last_byte_dropping_sink : public text_sink {
  public:
    explicit last_byte_dropping_sink(text_sink& next) : next_(next) {}
    void put(const char* bytes, std::size_t n) override;
    using text_sink::put;

  private:
    text_sink& next_;
    int held_ = -1;  // the last byte given, or -1
};

// Passes the text on, counting its bytes.
class counting_sink : public text_sink {
  public:
    explicit counting_sink(text_sink& next) : next_(next) {}
    void put(const char* bytes, std::size_t n) override {
        count_ += n;
        next_.put(bytes, n);
    }
    using text_sink::put;
    std::size_t count() const { return count_; }

  private:
    text_sink& next_;
    std::size_t count_ = 0;
};

// Takes nothing on: learns what a cell of the text it is given needs to know of it before it is written.
class text_facts_sink : public text_sink {
  public:
    // `separator`: the text whose presence is asked (none when empty); `any_of`: bytes whose presence is
    // asked (none when empty).
    explicit text_facts_sink(const std::string& separator, const std::string& any_of = std::string())
        : separator_(separator), any_of_(any_of) {}
    void put(const char* bytes, std::size_t n) override;
    using text_sink::put;

    std::size_t length() const { return length_; }
    char first() const { return first_; }  // the first byte; 0 for an empty text
    char last() const { return last_; }    // the last byte; 0 for an empty text
    bool holds_separator() const { return holds_separator_; }
    bool holds_any() const { return holds_any_; }

  private:
    const std::string separator_;
    const std::string any_of_;
    std::string tail_;  // the last bytes given, one fewer than the separator has, for a match across pieces
    std::size_t length_ = 0;
    char first_ = 0;
    char last_ = 0;
    bool holds_separator_ = false;
    bool holds_any_ = false;
};
