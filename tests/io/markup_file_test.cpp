#include "io/markup_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class MarkupFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/markup_file_XXXXXX";
        char* made = mkdtemp(&templ[0]);
        ASSERT_NE(made, nullptr);
        dir_ = made;
    }
    void TearDown() override {
        for (const std::string& f : made_files_) std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string write_file(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        made_files_.push_back(path);
        return path;
    }
    std::string read_file(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string path(const std::string& name) {
        made_files_.push_back(dir_ + "/" + name);
        return dir_ + "/" + name;
    }
    std::string dir_;
    std::vector<std::string> made_files_;
};

std::string utf16le(const std::string& ascii, bool bom) {
    std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST_F(MarkupFile, narrow_file_stripped_to_output_path) {
    const std::string in = write_file("in.html", "<p>a<script src=x>alert(1)</script>b</p> and the rest");
    const std::string out = path("out.html");
    EXPECT_EQ(strip_markup_elements_in_file(in.c_str(), out.c_str(), "SCRIPT"), 1);
    EXPECT_EQ(read_file(out), "<p>ab</p> and the rest");
    EXPECT_EQ(read_file(in), "<p>a<script src=x>alert(1)</script>b</p> and the rest");
}

TEST_F(MarkupFile, null_output_overwrites_input) {
    const std::string in = write_file("same.html", "keep<b>drop</b>this text");
    EXPECT_EQ(strip_markup_elements_in_file(in.c_str(), nullptr, "b"), 1);
    EXPECT_EQ(read_file(in), "keepthis text");
}

TEST_F(MarkupFile, utf16_file_with_bom) {
    const std::string in = write_file("in16.xml", utf16le("x<tag a=1>y</TAG>z and more", true));
    const std::string out = path("out16.xml");
    EXPECT_EQ(strip_markup_elements_in_file(in.c_str(), out.c_str(), "tag"), 1);
    EXPECT_EQ(read_file(out), utf16le("xz and more", true));
}

TEST_F(MarkupFile, failures) {
    const std::string missing = dir_ + "/does_not_exist";
    EXPECT_EQ(strip_markup_elements_in_file(missing.c_str(), nullptr, "b"), 0);
    const std::string in = write_file("x.html", "<b>x</b>");
    EXPECT_EQ(strip_markup_elements_in_file(nullptr, nullptr, "b"), 0);
    EXPECT_EQ(strip_markup_elements_in_file(in.c_str(), nullptr, nullptr), 0);
    const std::string bad_out = dir_ + "/no_such_dir/out";
    EXPECT_EQ(strip_markup_elements_in_file(in.c_str(), bad_out.c_str(), "b"), 0);
}

}  // namespace
