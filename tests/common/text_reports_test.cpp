#include "common/text_reports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>

namespace {

using strings = std::vector<std::string>;

std::unique_ptr<std::uint8_t[]> exact(const std::string& text, std::size_t n) {
    std::unique_ptr<std::uint8_t[]> p(new std::uint8_t[n == 0 ? 1 : n]);
    std::memcpy(p.get(), text.data(), n);
    return p;
}

std::string zone_text(const std::map<std::string, std::string>& zone, bool annotate) {
    std::ostringstream os;
    write_zone_info(os, zone, annotate);
    return os.str();
}

TEST(WriteZoneInfo, entries_and_zone_names) {
    EXPECT_EQ(zone_text({}, true), "");
    EXPECT_EQ(zone_text({{"ZoneId", "3"}}, true), "zone_info={\"ZoneId\":\"3 [internet]\"}");
    EXPECT_EQ(zone_text({{"ZoneId", "3"}}, false), "zone_info={\"ZoneId\":\"3\"}");
    EXPECT_EQ(zone_text({{"ZoneId", "7"}}, true), "zone_info={\"ZoneId\":\"7\"}");
    EXPECT_EQ(zone_text({{"ZoneId", "none"}}, true), "zone_info={\"ZoneId\":\"none\"}");
    EXPECT_EQ(zone_text({{"zoneid", "1"}}, true), "zone_info={\"zoneid\":\"1\"}");
    EXPECT_EQ(
        zone_text({{"ZoneIdEx", "0"}, {"HostUrl", "http://a/"}, {"ReferrerUrl", ""}}, true),
        "zone_info={\"HostUrl\":\"http://a/\";\"ReferrerUrl\":\"\";\"ZoneIdEx\":\"0 [local machine]\"}");
    EXPECT_EQ(zone_text({{"ZoneId", "4"}, {"a", "b"}}, true),
              "zone_info={\"ZoneId\":\"4 [untrusted]\";\"a\":\"b\"}");
}

TEST(WriteBytesOrStrings, hex_mode) {
    std::ostringstream os;
    auto p = exact("\x0a\xff", 2);
    EXPECT_EQ(write_bytes_or_strings(os, p.get(), 2, false, 0, ","), 1);
    EXPECT_EQ(os.str(), "0a ff");
    os << 255;  // the stream stays in hex
    EXPECT_EQ(os.str(), "0a ffff");
    EXPECT_EQ(write_bytes_or_strings(os, nullptr, 2, false, 0, ","), 0);
    EXPECT_EQ(write_bytes_or_strings(os, p.get(), 0, false, 0, ","), 0);
}

TEST(WriteBytesOrStrings, strings_in_order_of_kind_or_offset) {
    // "abcd" at 0, UTF-16 "wxyz" at 5, "efgh" at 14.
    const std::string mixed = std::string("abcd\1") + std::string("w\0x\0y\0z\0\1", 9) + "efgh";
    auto p = exact(mixed, mixed.size());
    std::ostringstream os;
    EXPECT_EQ(write_bytes_or_strings(os, p.get(), static_cast<std::uint32_t>(mixed.size()), true, 4, "|"), 1);
    EXPECT_EQ(os.str(), "abcd|wxyz|efgh");

    // Both kinds at offset 0: the ASCII string first.
    auto tie = exact(std::string("a\0b", 3), 3);
    std::ostringstream os1;
    EXPECT_EQ(write_bytes_or_strings(os1, tie.get(), 3, true, 1, "|"), 1);
    EXPECT_EQ(os1.str(), "a|a|b");

    const std::string ascii_only = std::string("abcd\0\1efgh", 10);
    auto q = exact(ascii_only, ascii_only.size());
    std::ostringstream os2;
    EXPECT_EQ(write_bytes_or_strings(os2, q.get(), 10, true, 4, ", "), 1);
    EXPECT_EQ(os2.str(), "abcd, efgh");

    // Nothing long enough; a length below the minimum; the buffer ending one byte early.
    std::ostringstream os3;
    EXPECT_EQ(write_bytes_or_strings(os3, q.get(), 10, true, 5, ","), 0);
    EXPECT_EQ(write_bytes_or_strings(os3, q.get(), 3, true, 4, ","), 0);
    auto r = exact(ascii_only, 9);
    EXPECT_EQ(write_bytes_or_strings(os3, r.get(), 9, true, 4, ","), 1);
    EXPECT_EQ(os3.str(), "abcd");
}

TEST(FindPrefixedLines, separators_case_and_all) {
    const struct {
        std::string text;
        const char* prefix;
        bool all;
        int result;
        strings lines;
    } cases[] = {
        {"Host: a\r\nhost: b\r\nX: c\r\n", "HOST:", true, 1, {"Host: a", "host: b"}},
        {"Host: a\r\nhost: b\r\n", "host:", false, 1, {"Host: a"}},
        {"a\nkey=1\nkey=2", "KEY", true, 1, {"key=1", "key=2"}},
        // CR LF decides when present: a lone LF stays inside a line.
        {"k1\nk2\r\nk3", "k", true, 1, {"k1\nk2", "k3"}},
        {"key only, no line end", "key", true, 0, {}},
        {"ab\nc\n", "abc", true, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // The buffer's last byte (the terminator place) is not part of the text.
        const std::string buffer = c.text + '\0';
        auto p = exact(buffer, buffer.size());
        strings out{"kept"};
        EXPECT_EQ(
            find_prefixed_lines(p.get(), static_cast<std::uint32_t>(buffer.size()), c.prefix, out, c.all),
            c.result);
        strings expected{"kept"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(out, expected);
    }
    strings out;
    const std::uint8_t b[2] = {'\n', 0};
    EXPECT_EQ(find_prefixed_lines(nullptr, 2, "a", out, true), 0);
    EXPECT_EQ(find_prefixed_lines(b, 0, "a", out, true), 0);
    EXPECT_EQ(find_prefixed_lines(b, 2, nullptr, out, true), 0);
    // Without its final byte the text "k\n" loses the line end and matches nothing.
    auto q = exact("k\n", 2);
    EXPECT_EQ(find_prefixed_lines(q.get(), 2, "k", out, true), 0);
}

TEST(StringMultisetDifference, removes_all_equal_and_keeps_duplicates) {
    strings out{"first"};
    EXPECT_EQ(string_multiset_difference({"x", "y", "y", "z"}, {"y"}, out, false), 1);
    EXPECT_EQ(out, (strings{"first", "x", "z"}));
    out.clear();
    string_multiset_difference({"b", "B", "a", "a"}, {"c"}, out, false);
    EXPECT_EQ(out, (strings{"B", "a", "a", "b"}));
    out.clear();
    string_multiset_difference({"Y", "y", "X"}, {"y"}, out, true);
    EXPECT_EQ(out, (strings{"x"}));
    out.clear();
    string_multiset_difference({"Y", "X"}, {"y"}, out, false);
    EXPECT_EQ(out, (strings{"X", "Y"}));
}

}  // namespace
