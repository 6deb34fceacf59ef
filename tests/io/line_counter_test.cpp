#include "io/line_counter.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

// Every road into the stream reaches the target unchanged, and each line break is counted once.
TEST(line_counting_output, counts_the_line_breaks_it_passes_on) {
    std::ostringstream target;
    line_counting_output counted(target);
    counted << "header\n" << 42 << '\n';
    counted.write("a\nb\n\nc", 6);
    counted.put('\n');
    counted.flush();
    EXPECT_TRUE(counted.good());
    EXPECT_EQ(target.str(), "header\n42\na\nb\n\nc\n");
    EXPECT_EQ(counted.lines(), 6u);
}

// A target that takes `room` characters, then refuses.
class filling_buffer : public std::streambuf {
  public:
    explicit filling_buffer(std::size_t room) : room_(room) {}
    std::string taken;

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()) || taken.size() >= room_)
            return traits_type::eof();
        taken += traits_type::to_char_type(c);
        return c;
    }

  private:
    std::size_t room_;
};

// A target that refuses fails the counting stream, and only what it took is counted.
TEST(line_counting_output, a_refusing_target_fails_the_write) {
    filling_buffer full(6);
    std::ostream target(&full);
    line_counting_output counted(target);
    counted << "ab\ncd\nef\n";
    EXPECT_TRUE(counted.bad());
    EXPECT_EQ(full.taken, "ab\ncd\n");
    EXPECT_EQ(counted.lines(), 2u);
}

}  // namespace
