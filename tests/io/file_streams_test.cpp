#include "io/file_streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fileio_test_support.h"

namespace {

using fileio_test::read_file;
using fileio_test::temp_folder;
using fileio_test::write_file;

uni::utf16le_name utf16_name(const std::u16string& s) {
    uni::utf16le_name n;
    for (char16_t c : s) {
        n.bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        n.bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return n;
}

TEST(FileStreams, wide_name_creates_the_file_named_by_its_utf8_form) {
    temp_folder dir("file_streams_wide");
    ASSERT_TRUE(dir.ok());
    const std::wstring wide = std::wstring(dir.path().begin(), dir.path().end()) + L"/r\u00e9sum\u00e9.txt";
    {
        uni::ofstream out(wide, std::ios_base::out);
        ASSERT_TRUE(out.is_open());
        out << "hello";
    }
    EXPECT_EQ(read_file(dir.file("r\xc3\xa9sum\xc3\xa9.txt")), "hello");
    uni::ifstream in(wide, std::ios_base::in);
    ASSERT_TRUE(in.is_open());
    std::string word;
    in >> word;
    EXPECT_EQ(word, "hello");
}

TEST(FileStreams, wide_and_utf16_open_always_truncate) {
    temp_folder dir("file_streams_trunc");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file("t.txt");
    ASSERT_TRUE(write_file(p, "old contents"));
    uni::ofstream out(p, std::ios_base::app);
    out << "+";
    out.close();
    EXPECT_EQ(read_file(p), "old contents+");
    out.open(std::wstring(p.begin(), p.end()));
    ASSERT_TRUE(out.is_open());
    out << "new";
    out.close();
    EXPECT_EQ(read_file(p), "new");

    ASSERT_TRUE(write_file(p, "old again"));
    std::u16string name16(p.begin(), p.end());
    out.open(utf16_name(name16));
    ASSERT_TRUE(out.is_open());
    out << "16";
    out.close();
    EXPECT_EQ(read_file(p), "16");
}

TEST(FileStreams, byte_vector_names_and_bad_utf16_names) {
    temp_folder dir("file_streams_bytes");
    ASSERT_TRUE(dir.ok());
    const std::string p = dir.file(
        "\xff"
        "raw.txt");  // not UTF-8: the bytes are used as they are
    const std::vector<std::uint8_t> name(p.begin(), p.end());
    {
        uni::ofstream out(name, std::ios_base::out);
        ASSERT_TRUE(out.is_open());
        out << "bytes";
    }
    EXPECT_EQ(read_file(p), "bytes");
    uni::ifstream in(name, std::ios_base::in);
    EXPECT_TRUE(in.is_open());
    in.close();
    in.open(utf16_name(std::u16string(p.begin(), p.end())), std::ios_base::in);
    // Byte 0xFF went in as the UTF-16 unit U+00FF, which is the character ÿ, not the byte: no such file.
    EXPECT_FALSE(in.is_open());

    uni::utf16le_name one_byte;
    one_byte.bytes = {0x41};
    EXPECT_EQ(uni::narrow_file_name(one_byte), "");
    uni::ofstream bad(one_byte, std::ios_base::out);
    EXPECT_FALSE(bad.is_open());
    EXPECT_TRUE(bad.fail());
    uni::ifstream empty_name(std::vector<std::uint8_t>{}, std::ios_base::in);
    EXPECT_FALSE(empty_name.is_open());
}

TEST(FileStreams, name_conversions_and_marker_class) {
    EXPECT_EQ(uni::narrow_file_name(std::wstring(L"a\u00e9")), "a\xc3\xa9");
    EXPECT_EQ(uni::narrow_file_name(utf16_name(u"x\U0001F600")), "x\xf0\x9f\x98\x80");
    uni::ofstream closed;
    EXPECT_FALSE(closed.is_open());
    uni::ifstream closed_in;
    EXPECT_FALSE(closed_in.is_open());
    uni::utf8_locale marker;
    EXPECT_EQ(marker.first, 0u);
    EXPECT_EQ(marker.second, 0u);
    EXPECT_EQ(uni::file_streams_newline, "\n");
    EXPECT_TRUE(uni::file_streams_empty.empty());
}

}  // namespace
