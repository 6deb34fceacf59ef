#include "io/command_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fileio_test_support.h"

namespace {

using fileio_test::temp_folder;
using fileio_test::write_file;
using commands_t = std::vector<std::vector<std::string>>;

struct Case {
    const char* name;
    std::string text;
    bool keep_newlines;
    bool result;
    commands_t commands;
};

TEST(CommandTemplate, CommandsArgumentsAndWords) {
    temp_folder dir("cmdtpl");
    ASSERT_TRUE(dir.ok());
    const Case cases[] = {
        {"argument then words",
         "<!cmd> run <!arg=db>x.db</!arg> -v </!cmd>",
         false,
         true,
         {{" run <!arg=db>x.db</!arg> -v ", "db", "x.db", "run", "-v"}}},
        {"quotes leave names and words",
         "<!cmd><!arg=\"n'm\">v w</!arg> \"a b\" c</!cmd>",
         false,
         true,
         {{"<!arg=\"n'm\">v w</!arg> \"a b\" c", "nm", "v w", "a b", "c"}}},
        {"unclosed argument drops the raw text",
         "<!cmd>run <!arg=db>x.db -v</!cmd>",
         false,
         true,
         {{"run", "<!arg=db>x.db", "-v"}}},
        {"unclosed argument drops the value before it",
         "<!cmd><!arg=a>1</!arg> <!arg=b>2 go</!cmd>",
         false,
         true,
         {{"<!arg=a>1</!arg> <!arg=b>2 go", "a", "<!arg=b>2", "go"}}},
        {"a '>' past the closing tag names nothing",
         "<!cmd>go <!arg=db x.db</!arg> now</!cmd>",
         false,
         true,
         {{"go <!arg=db x.db</!arg> now", "go", "now"}}},
        {"lines become one line of words",
         "<!cmd>a\r\n\tb\nc</!cmd>",
         false,
         true,
         {{"a b c", "a", "b", "c"}}},
        {"kept newlines stay inside words", "<!cmd>a\nb c</!cmd>", true, true, {{"a\nb c", "a\nb", "c"}}},
        {"a command with only its raw text is emptied",
         "<!cmd>   </!cmd><!cmd>x</!cmd>",
         false,
         true,
         {{}, {"x", "x"}}},
        {"an unclosed command ends the reading", "<!cmd>a</!cmd> <!cmd>b <!cmd>c", false, true, {{"a", "a"}}},
        {"no command", "just text </!cmd>", false, false, {}},
        {"never closed", "<!cmd>never closed", false, false, {}},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("t.txt");
        ASSERT_TRUE(write_file(path, c.text));
        commands_t got = {{"stale"}};
        EXPECT_EQ(parse_command_template(got, path, c.keep_newlines), c.result) << c.name;
        EXPECT_EQ(got, c.commands) << c.name;
    }
    commands_t got = {{"stale"}};
    EXPECT_FALSE(parse_command_template(got, dir.file("missing.txt"), false));
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(parse_command_template(got, "", false));
}

}  // namespace
