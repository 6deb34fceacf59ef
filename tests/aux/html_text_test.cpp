#include "aux/html_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using tokens = std::vector<std::string>;

const std::uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

class HtmlFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/html_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir_ = templ;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string dir_;
};

TEST(HtmlText, tokenizer_keeps_raw_blocks_whole_and_drops_open_tails) {
    const struct {
        std::string text;
        bool trim;
        tokens expected;
    } cases[] = {
        {"<pre>a < b</pre><P>x</P>rest", true, {"<pre>", "a < b", "</pre>", "<P>", "x", "</P>"}},
        {"<% if (a>b) %>x<?php ?>", true, {"", "<% if (a>b) %>", "x", "<?php ?>"}},
        {"<script>if (a<b) x();</script>", true, {"<script>", "if (a<b) x();", "</script>"}},
        {"text<a href=\"x", true, {"text"}},
        {" <b> x </b>", false, {" ", "<b>", " x ", "</b>"}},
    };
    for (const auto& c : cases) {
        tokens out;
        tokenize_markup(bytes_of(c.text), c.text.size(), out, c.trim);
        EXPECT_EQ(out, c.expected) << c.text;
    }
    tokens none;
    EXPECT_FALSE(tokenize_markup(bytes_of("plain"), 5, none, true));

    const std::uint16_t wide[] = {'<', 'b', '>', 'x', '<', '/', 'b', '>'};
    std::vector<std::wstring> w;
    ASSERT_TRUE(tokenize_markup_w(wide, sizeof wide, w));
    EXPECT_EQ(w, (std::vector<std::wstring>{L"", L"<b>", L"x", L"</b>"}));
}

TEST(HtmlText, normaliser_lowercases_and_quotes_values) {
    tokens p = {"<IMG SRC=Pic.PNG ALT = 'A'>", "Text Stays", "<?XML Version=1?>", "<A  HREF=\"Mixed Case\">"};
    ASSERT_TRUE(normalize_tags(p));
    EXPECT_EQ(p, (tokens{"<img src=\"Pic.png\" alt='A'>", "Text Stays", "<?XML Version=1?>",
                         "<a href=\"Mixed Case\">"}));
    std::vector<std::wstring> w = {L"<B Class=X>"};
    ASSERT_TRUE(normalize_tags_w(w));
    EXPECT_EQ(w[0], L"<b class=\"X\">");
    tokens empty;
    EXPECT_FALSE(normalize_tags(empty));
}

TEST_F(HtmlFiles, html_becomes_marked_text_with_capped_headings_and_open_tags_ending_at_the_end) {
    const std::string html =
        "<h2>Head</h2><h2147483647>Big</h2147483647><head><p>P <b>b <i>i</i></b></p>"
        "<ol><li>one<li>two</ol><ul><li>u</ul><IMG SRC=a.png ALT=\"A\"><img alt=\"only\">"
        "<blockquote>q</blockquote><pre>x < y</pre><sup>s</sup><br/>end<a href=\"open";
    const std::string in = write("in.html", html);
    const std::string out = dir_ + "/out.txt";
    EXPECT_EQ(html_file_to_text(in.c_str(), out.c_str()), 0);
    const std::string converted =
        "==Head========Big======\nP _b *i*_1. one2. two*u[a.png, A][, only][\"q\"][%%]^s^// end";
    const std::string copy =
        "<h2>Head</h2><h2147483647>Big</h2147483647><head><p>P <b>b "
        "<i>i</i></b></p><ol><li>one<li>two</ol><ul><li>u</ul>"
        "<img src=\"a.png\" alt=\"A\"><img alt=\"only\"><blockquote>q</blockquote><pre>x < "
        "y</pre><sup>s</sup>"
        "<br/>end";
    EXPECT_EQ(read(out), converted + copy);

    const std::string missing = dir_ + "/none.txt";
    EXPECT_EQ(html_file_to_text((dir_ + "/absent.html").c_str(), missing.c_str()), 0);
    EXPECT_EQ(read(missing), "");
}

TEST(HtmlText, attribute_values_with_offsets) {
    const struct {
        std::string tag;
        const char* name;
        bool found;
        std::string value;
        std::uint64_t offset;
        std::uint64_t size;
    } cases[] = {
        {"<a href=\"u\r\nv\">", "href", true, "uv", 7, 6},
        {"<a HREF = 'x'>", "href", true, "x", 8, 4},
        {"<a href=x y>", "href", true, "x", 7, 1},
        {"<a href=x>", "href", false, "", 0, 0},
        {"<link hreflang=\"en\">", "href", true, "en", 14, 4},
        {"<a href=\"open", "href", false, "", 0, 0},
        {"<a title=\"t\">", "href", false, "", 0, 0},
        {"<a href", "href", false, "", 0, 0},
    };
    for (const auto& c : cases) {
        string_offset_size out("stale", 9, 9);
        EXPECT_EQ(find_attribute_with_offset(c.tag, 100, c.tag.size(), c.name, out), c.found) << c.tag;
        EXPECT_EQ(out.text, c.value) << c.tag;
        EXPECT_EQ(out.offset, c.found ? 100 + c.offset : 0) << c.tag;
        EXPECT_EQ(out.size, c.size) << c.tag;
    }
    string_offset_size out;
    EXPECT_FALSE(find_attribute_with_offset("<a x=1 >", 0, 8, std::string(257, 'x'), out));
}

TEST(HtmlText, links_keep_their_first_offset_in_the_buffer) {
    const std::string buf =
        "<p><a href=\"http://x/1\">a</a> <img src='i.png'> <A HREF = \"http://x/1\">dup</A> <b>";
    link_map links;
    ASSERT_TRUE(extract_links_with_offsets(bytes_of(buf), buf.size(), links));
    ASSERT_EQ(links.size(), 2u);
    const auto first = links.at("http://x/1");
    EXPECT_EQ(buf.substr(static_cast<std::size_t>(first.first), static_cast<std::size_t>(first.second)),
              "\"http://x/1\"");
    const auto img = links.at("i.png");
    EXPECT_EQ(buf.substr(static_cast<std::size_t>(img.first), static_cast<std::size_t>(img.second)),
              "'i.png'");

    std::vector<std::string> src, href, all;
    EXPECT_TRUE(collect_src_values(bytes_of(buf), buf.size(), src));
    EXPECT_TRUE(collect_href_values(bytes_of(buf), buf.size(), href));
    EXPECT_TRUE(collect_link_values(bytes_of(buf), buf.size(), all));
    EXPECT_EQ(src, (std::vector<std::string>{"i.png"}));
    EXPECT_EQ(href, (std::vector<std::string>{"http://x/1", "http://x/1"}));
    EXPECT_EQ(all, (std::vector<std::string>{"http://x/1", "i.png", "http://x/1"}));
}

TEST(HtmlText, attribute_and_element_readers_stay_within_the_tag) {
    std::string v, n;
    const std::string img = "<img src=\"a.png\" alt=\"\">";
    EXPECT_TRUE(attribute_value_quoted(img.data(), img.size(), "src", v));
    EXPECT_EQ(v, "a.png");
    EXPECT_TRUE(attribute_value_quoted(img.data(), img.size(), "alt", v));
    EXPECT_EQ(v, "");
    EXPECT_FALSE(attribute_value_quoted(img.data(), 12, "src", v));  // closing quote beyond the length

    const std::string tag = "<a x=\"1\" y = \"2=3\" z=\"4\">";
    EXPECT_TRUE(nth_attribute(tag.data(), tag.size(), 2, n, v));
    EXPECT_EQ(n, "y");
    EXPECT_EQ(v, "2=3");
    EXPECT_TRUE(nth_attribute(tag.data(), tag.size(), 3, n, v));
    EXPECT_EQ(n + v, "z4");
    EXPECT_FALSE(nth_attribute(tag.data(), tag.size(), 4, n, v));
    EXPECT_FALSE(nth_attribute("< a x=\"1\">", 10, 1, n, v));
    EXPECT_FALSE(nth_attribute("<a x=\"1\"", 8, 1, n, v));

    const std::string el = "<p><b class=\"k\">bold</b>";
    EXPECT_TRUE(element_text(el.data(), el.size(), "b", v));
    EXPECT_EQ(v, "bold");
    EXPECT_FALSE(element_text(el.data(), el.size() - 1, "b", v));
}

TEST(HtmlText, escapes_and_table_replacement) {
    std::string out;
    const std::string text = "a\x7f\tb<\r\n";
    ASSERT_TRUE(replace_by_table(text.data(), text.size(), {"<", ""}, {"&lt;", "never"}, out, false, true));
    EXPECT_EQ(out, "a%7f%09b&lt;\r\n");
    EXPECT_FALSE(replace_by_table(text.data(), text.size(), {"<"}, {}, out, false, false));
    EXPECT_FALSE(replace_by_table(nullptr, 3, {"<"}, {"x"}, out, false, false));

    EXPECT_EQ(escape_markup_chars("A<B & C>\xe9"), "A&lt;B &amp; C&gt;%e9");
    EXPECT_EQ(escape_markup_chars_w(L"x<Y>&"), L"x&lt;Y&gt;&amp;");
    html_escape_text(out, "<a href='x'>\r\n\"&\"");
    EXPECT_EQ(out, "&lt;a href=&#39;x&#39;&gt;<br />&quot;&amp;&quot;");
}

TEST_F(HtmlFiles, script_stripping_and_text_removal_rewrite_files) {
    const std::string page = write("page.html", "a<script>x()</script>b<SCRIPT src=\"s\"/>c and more text");
    const std::string copy = dir_ + "/copy.html";
    EXPECT_EQ(strip_script_elements_file(page.c_str(), copy.c_str(), false), 1);
    EXPECT_EQ(read(copy), "abc and more text");
    EXPECT_EQ(strip_script_elements_file(page.c_str(), nullptr, true), 1);
    EXPECT_EQ(read(page), "abc and more text");
    EXPECT_EQ(strip_script_elements_file((dir_ + "/absent").c_str(), nullptr, false), 0);

    const std::string notes = write("notes.txt", "aXbxc");
    EXPECT_TRUE(remove_text_from_file(notes, "x", true));
    EXPECT_EQ(read(notes), "abc");

    char buffer[] = "hello world";
    EXPECT_TRUE(erase_first_in_buffer(buffer, "O W", true));
    EXPECT_STREQ(buffer, "hellorld");
    EXPECT_FALSE(erase_first_in_buffer(buffer, "zz", false));
    EXPECT_FALSE(erase_first_in_buffer(nullptr, "a", false));
}

}  // namespace
