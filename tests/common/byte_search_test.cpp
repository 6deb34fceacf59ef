#include "common/byte_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <random>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;

bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

TEST(PatternSearch, MatchesNeverOverlapAndCarryTheBase) {
    const bytes b = text("aaaa");
    const bytes p = text("aa");
    std::vector<std::uint64_t> offs;
    for (bool skip : {false, true}) {
        ASSERT_EQ(find_all_byte_pattern(b.data(), b.size(), p.data(), p.size(), offs, 0, skip, false), 1);
        EXPECT_EQ(offs, (std::vector<std::uint64_t>{0, 2})) << skip;
        ASSERT_EQ(find_all_byte_pattern(b.data(), b.size(), p.data(), p.size(), offs, 1000, skip, true), 1);
        EXPECT_EQ(offs, (std::vector<std::uint64_t>{1000}));
    }
    const bytes longp = text("aaaaa");
    offs = {5};
    EXPECT_EQ(find_all_byte_pattern(b.data(), b.size(), longp.data(), longp.size(), offs, 0, false, false),
              0);
    EXPECT_TRUE(offs.empty());
    EXPECT_EQ(find_all_byte_pattern(nullptr, 4, p.data(), p.size(), offs, 0, false, false), 0);
    EXPECT_EQ(find_all_byte_pattern(b.data(), b.size(), p.data(), 0, offs, 0, false, false), 0);
}

TEST(PatternSearch, BothMethodsAgreeOnRandomData) {
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) {
        bytes hay(1 + rng() % 200);
        for (auto& c : hay) c = static_cast<std::uint8_t>('a' + rng() % 3);
        bytes pat(1 + rng() % 4);
        for (auto& c : pat) c = static_cast<std::uint8_t>('a' + rng() % 3);
        std::vector<std::uint64_t> a, b;
        find_all_byte_pattern(hay.data(), hay.size(), pat.data(), pat.size(), a, 0, false, false);
        find_all_byte_pattern(hay.data(), hay.size(), pat.data(), pat.size(), b, 0, true, false);
        ASSERT_EQ(a, b);
        for (std::uint64_t o : a) ASSERT_EQ(std::memcmp(hay.data() + o, pat.data(), pat.size()), 0);
    }
}

TEST(PatternSearch, FirstLastAndVariants) {
    const bytes b = text("xxabcxxabcxx");
    const bytes p = text("abc");
    std::uint64_t off = 0;
    EXPECT_EQ(find_first_byte_pattern(b.data(), b.size(), p, off, 10, true), 1);
    EXPECT_EQ(off, 12u);
    EXPECT_EQ(find_byte_pattern_first(b.data(), b.size(), "abc", 3, off, false), 1);
    EXPECT_EQ(off, 2u);
    EXPECT_EQ(find_pattern_horspool(off, b.data(), b.size(), p.data(), p.size()), 1);
    EXPECT_EQ(off, 2u);
    std::vector<std::uint32_t> o32;
    EXPECT_EQ(find_all_byte_pattern_u32(b.data(), 12, p.data(), 3, o32, false, false), 1);
    EXPECT_EQ(o32, (std::vector<std::uint32_t>{2, 7}));
    std::vector<std::uint64_t> all;
    EXPECT_EQ(find_all_byte_pattern_vec(b.data(), b.size(), p, all, 0, true), 1);
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(find_last_byte_pattern(b.data(), b.size(), p.data(), 3, 12, off), 1);
    EXPECT_EQ(off, 7u);
    EXPECT_EQ(find_last_byte_pattern(b.data(), b.size(), p.data(), 3, 4, off), 0);  // 7 lies 5 from the end
    EXPECT_EQ(find_last_byte_pattern(b.data(), b.size(), p.data(), 3, 5, off), 1);
    const bytes tail = text("xxabc");
    EXPECT_EQ(find_last_byte_pattern(tail.data(), tail.size(), p.data(), 3, 100, off), 1);
    EXPECT_EQ(off, 2u);  // a window ending at the very end counts
    EXPECT_EQ(find_last_byte_pattern(tail.data(), tail.size(), p.data(), 3, 0, off), 0);
}

TEST(PatternSearch, AlignedAndAnyPattern) {
    bytes b(64, 0);
    std::memcpy(b.data() + 16, "KEY", 3);
    std::memcpy(b.data() + 21, "KEY", 3);
    std::memcpy(b.data() + 40, "ZZ", 2);
    std::vector<std::uint64_t> offs = {99};
    const bytes key = text("KEY");
    EXPECT_EQ(find_aligned_byte_pattern(offs, b.data(), b.size(), key.data(), 3, 0, 8, false), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{99, 16}));  // not emptied; 21 is not aligned
    offs.clear();
    EXPECT_EQ(find_aligned_byte_pattern(offs, b.data(), b.size(), key.data(), 3, 8, 16, false), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{16, 21}));  // every position of the block at 16
    EXPECT_EQ(find_aligned_byte_pattern(offs, b.data(), b.size(), key.data(), 3, 0, 0, false), 0);
    std::vector<std::uint32_t> idx;
    EXPECT_EQ(find_any_pattern(offs, idx, b.data(), b.size(), {text("ZZ"), key}, 0, 8, false), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{16, 40}));
    EXPECT_EQ(idx, (std::vector<std::uint32_t>{1, 0}));
    EXPECT_EQ(find_any_pattern(offs, idx, b.data(), b.size(), {text("ZZ"), key}, 0, 8, true), 1);
    EXPECT_EQ(offs.size(), 1u);
}

TEST(ValueSearch, StridesAndWidths) {
    std::uint32_t words[3] = {1, 2, 0xCAFEBABE};
    std::vector<std::uint64_t> offs;
    EXPECT_EQ(find_u32_values(offs, words, 12, 0xCAFEBABE, 4, false), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{8}));
    EXPECT_EQ(find_u32_values(offs, words, 12, 0xCAFEBABE, 3, false), 0);  // cut to 0 whole words
    EXPECT_EQ(find_u32_values(offs, words, 11, 0xCAFEBABE, 4, false), 0);  // the last word is not whole
    std::uint16_t units[4] = {7, 9, 7, 7};
    EXPECT_EQ(find_u16_values(offs, units, 8, 7, 3), 1);  // stride 3 is cut to 2
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{0, 4, 6}));
    std::uint64_t q[2] = {5, 6};
    EXPECT_EQ(find_u64_values(offs, q, 16, 6, 8, true), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{8}));
    bytes raw(20, 0);
    const std::uint64_t v = 0x1122334455667788ull;
    std::memcpy(raw.data() + 4, &v, 8);
    EXPECT_EQ(find_u64_values_at_4(offs, raw.data(), raw.size(), v, false), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{4}));
    std::vector<std::vector<std::uint64_t>> multi;
    EXPECT_EQ(find_u32_values_multi(multi, words, 12, {2, 3, 1}, 4, false), 1);
    EXPECT_EQ(multi, (std::vector<std::vector<std::uint64_t>>{{4}, {}, {0}}));
    EXPECT_EQ(find_u64_values_multi(multi, q, 16, {9}, 8, false), 0);
}

TEST(ValueSearch, NonZeroBlocksAndNonEmptyEntries) {
    bytes b(1300, 0);
    b[600] = 1;
    b[1299] = 2;
    std::vector<std::uint64_t> offs;
    EXPECT_EQ(find_nonzero_blocks(offs, b.data(), b.size(), 100, false, 4096), 1);
    EXPECT_EQ(offs, (std::vector<std::uint64_t>{4096 + 512, 4096 + 1024}));  // 100 means 512
    EXPECT_EQ(find_nonzero_blocks(offs, b.data(), b.size(), 0, true, 0), 1);
    EXPECT_EQ(offs.size(), 1u);
    std::vector<std::uint32_t> idx;
    const std::vector<std::list<int>> records = {{}, {1}, {}, {2, 3}};
    EXPECT_EQ(indices_of_nonempty_entries(nullptr, idx, records), 1);
    EXPECT_EQ(idx, (std::vector<std::uint32_t>{1, 3}));
}

TEST(Strings, AsciiRunsWithOffsets) {
    const bytes b = {0, ' ', ' ', 'a', 'b', 'c', 'd', 0, 'x', 'y', 0};
    std::vector<std::string> s;
    std::vector<std::uint64_t> o;
    EXPECT_EQ(extract_ascii_strings(b.data(), b.size(), 4, s, o, false, false), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"abcd"}));
    EXPECT_EQ(o, (std::vector<std::uint64_t>{3}));
    EXPECT_EQ(extract_ascii_strings(nullptr, 4, 1, s, o, false, false), 0);
    EXPECT_EQ(extract_ascii_strings(b.data(), 0, 1, s, o, false, false), 0);

    const bytes c = {'-', '-', 'o', 'k', '\t', 'y', 'e', 's'};
    EXPECT_EQ(extract_ascii_strings(c.data(), c.size(), 2, s, o, false, true), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"ok", "yes"}));
    EXPECT_EQ(o, (std::vector<std::uint64_t>{2, 5}));
    EXPECT_EQ(extract_ascii_strings(c.data(), c.size(), 2, s, o, true, false), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"--ok\tyes"}));

    const bytes blanks = {'\r', '\n', '\r', '\n', 0, 'a', 'b'};
    EXPECT_EQ(extract_ascii_strings(blanks.data(), blanks.size(), 2, s, o, true, false), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"ab"}));  // a run of line breaks alone is dropped

    EXPECT_EQ(extract_ascii_strings_at(b.data(), b.size(), 2, s, o, 100, false, false), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"abcd", "xy"}));
    EXPECT_EQ(o, (std::vector<std::uint64_t>{103, 108}));
    EXPECT_EQ(extract_ascii_strings_at(b.data(), b.size(), 2, s, o, 0, true, false), 1);
    EXPECT_EQ(s.size(), 4u);  // appended
}

TEST(Strings, Utf16Runs) {
    bytes b(10, 0xFF);
    for (char ch : std::string("ab")) {
        b.push_back(static_cast<std::uint8_t>(ch));
        b.push_back(0);
    }
    b.push_back(0xFF);
    std::vector<std::string> s;
    std::vector<std::uint64_t> o;
    EXPECT_EQ(extract_utf16_strings(b.data(), b.size(), 2, s, o, 0, false, false), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"ab"}));
    EXPECT_EQ(o, (std::vector<std::uint64_t>{10}));
    EXPECT_EQ(extract_utf16_strings(b.data(), b.size(), 2, s, o, 500, true, false), 1);
    EXPECT_EQ(o, (std::vector<std::uint64_t>{10, 510}));
    const bytes w = {'.', 0, 'h', 0, 'i', 0};
    EXPECT_EQ(extract_utf16_words(w.data(), w.size(), 2, s, o, false, true), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"hi"}));
    EXPECT_EQ(o, (std::vector<std::uint64_t>{2}));
    // A text that ends the buffer on its first byte is still read no further than the buffer.
    const bytes odd = {'a', 0, 'b', 0, 'c'};
    EXPECT_EQ(extract_utf16_words(odd.data(), odd.size(), 1, s, o, false, false), 1);
    EXPECT_EQ(s, (std::vector<std::string>{"ab"}));
}

}  // namespace
