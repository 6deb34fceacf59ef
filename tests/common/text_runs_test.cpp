#include "common/text_runs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/formatters.h"
#include "common/text_rewrite.h"

namespace {

// Texts whose rewrites turn on a byte's neighbour: line breaks in every pairing, C1 controls and their lead
// byte alone or doubled, other control bytes, quotes and separators.
const char* const kTexts[] = {
    "", "plain text", "a\r\nb", "\r", "\n", "\r\r\n", "\n\r\n", "\n\n\r", "\r\n\r", "x\xC2\x85y", "\xC2",
    "end\xC2", "\xC2\xC2\x9B", "\xC2\r\xC2\n", "\x1b[31m\x7f\x01\t", "\xC3\xA9 caf\xC3\xA9 \xC2\xA0",
    "\"quoted\" \"\" a,b | c", "a|b||c,,d",
    "long enough to pass whole words\x01 of eight bytes\xC2\x85, a \x7f far from others, \r\n and on",
    // Characters of two to four bytes, whole, cut short, or not UTF-8 at all.
    "\xE6\x97\xA5 \xF0\x9F\x98\x80 \xE6\x97\r\xF0\x9F\x98\n\x82\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xFF",
    "\xE6\x97",
    "a run of eight-byte words \xF0\x9F\x98\x80 with a lone \x82 among them \xE6\x97\xA5 \xC2\x9B end"};

// `text` handed to `sink` in the pieces `cuts` makes of it (each cut a place where a piece ends).
void put_in_pieces(text_sink& sink, const std::string& text, const std::vector<std::size_t>& cuts) {
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        sink.put(text.data() + from, cut - from);
        from = cut;
    }
    sink.put(text.data() + from, text.size() - from);
}

// Every way of handing `text` on: whole, a byte at a time, and cut once at each place.
std::vector<std::vector<std::size_t>> cuttings(const std::string& text) {
    std::vector<std::vector<std::size_t>> all = {{}};
    std::vector<std::size_t> bytes;
    for (std::size_t i = 1; i < text.size(); ++i) {
        bytes.push_back(i);
        all.push_back({i});
    }
    all.push_back(bytes);
    return all;
}

TEST(TextPieces, EachRewriteGivesWhatItsWholeTextCounterpartGivesWhereverThePiecesAreCut) {
    for (const char* t : kTexts) {
        const std::string text = t;
        std::string shown = text;
        show_control_bytes(shown);
        std::string replaced = text;
        replace_char(replaced, '|', ';', false);
        std::string quoted;
        append_quoted_cell(quoted, text);
        for (const std::vector<std::size_t>& cuts : cuttings(text)) {
            const std::string at = "\"" + text + "\" cut " + std::to_string(cuts.size());
            std::string out;
            string_text_sink to_string(out);
            control_byte_sink controls(to_string);
            put_in_pieces(controls, text, cuts);
            controls.end();
            EXPECT_EQ(out, shown) << at;

            out.clear();
            char_replace_sink replace(to_string, '|', ';');
            put_in_pieces(replace, text, cuts);
            EXPECT_EQ(out, replaced) << at;

            out = "\"";
            quote_doubling_sink doubling(to_string);
            put_in_pieces(doubling, text, cuts);
            out += '"';
            EXPECT_EQ(out, quoted) << at;

            out.clear();
            last_byte_dropping_sink dropping(to_string);
            put_in_pieces(dropping, text, cuts);
            EXPECT_EQ(out, text.substr(0, text.empty() ? 0 : text.size() - 1)) << at;

            for (const std::string separator : {",", " | ", "||"}) {
                text_facts_sink facts(separator, "\"\r\n");
                put_in_pieces(facts, text, cuts);
                EXPECT_EQ(facts.length(), text.size()) << at;
                EXPECT_EQ(facts.first(), text.empty() ? '\0' : text.front()) << at;
                EXPECT_EQ(facts.last(), text.empty() ? '\0' : text.back()) << at;
                EXPECT_EQ(facts.holds_separator(), text.find(separator) != std::string::npos)
                    << at << " " << separator;
                EXPECT_EQ(facts.holds_any(), text.find_first_of("\"\r\n") != std::string::npos) << at;
            }
        }
    }
}

TEST(TextPieces, AStreamSinkWritesEveryPieceInOrderOnceFlushed) {
    std::ostringstream os;
    const std::string large(40000, 'L');
    {
        stream_text_sink sink(os);
        sink.put("small ");
        sink.put(large);
        sink.put('!');
        counting_sink counted(sink);
        counted.put("tail", 4);
        EXPECT_EQ(counted.count(), 4u);
        sink.flush();
        EXPECT_EQ(os.str(), "small " + large + "!tail");
        sink.put("held");
    }
    EXPECT_EQ(os.str(), "small " + large + "!tailheld");
}

}  // namespace
