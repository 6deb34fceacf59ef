#include "io/cmd_params.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "io/diags_log.h"

namespace {

std::string temp_dir() {
    static const std::string dir = [] {
        std::string templ = std::string(SELK_TEST_TMP) + "/cmd_params_XXXXXX";
        char* made = mkdtemp(&templ[0]);
        return made != nullptr ? std::string(made) : std::string(SELK_TEST_TMP);
    }();
    return dir;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void open_log(cmd_params& o, const std::string& path, std::uint32_t level) {
    o.diagnostics_path = path;
    o.diagnostics = new std::ofstream(path, std::ios::out | std::ios::trunc);
    o.diagnostics_on = true;
    o.log_level = level;
}

TEST(cmd_params, fresh_object_has_the_documented_defaults) {
    const cmd_params o(7, false);
    EXPECT_EQ(o.owner, 7u);
    EXPECT_EQ(o.date_format, "yyyy-mm-dd");
    EXPECT_EQ(o.time_format, "hh:mm:ss.xxx");
    EXPECT_EQ(o.format_word.flags, 0u);
    EXPECT_EQ(o.format_word.min_year, 1900);
    EXPECT_EQ(o.format_word.max_year, 2600);
    EXPECT_EQ(o.separator, " | ");
    EXPECT_EQ(o.value_char, '|');
    EXPECT_EQ(o.value_char_replacement, ';');
    EXPECT_TRUE(o.base16);
    EXPECT_TRUE(o.verbose);
    EXPECT_TRUE(o.show_progress);
    EXPECT_TRUE(o.sqlite_off);
    EXPECT_TRUE(o.header_on);
    EXPECT_TRUE(o.padded_separator);
    EXPECT_EQ(o.cpu_instance, -1);
    EXPECT_EQ(o.reserved_count, 16u);
    EXPECT_TRUE(o.reserved_flag_2);
    EXPECT_FALSE(o.no_whitespace);
    EXPECT_FALSE(o.csv || o.csvl2t || o.csvgen || o.bodyfile || o.xml || o.multiline);
    EXPECT_FALSE(o.diagnostics_on);
    EXPECT_EQ(o.diagnostics, nullptr);
    EXPECT_EQ(o.log_buffer, nullptr);
    EXPECT_EQ(o.log_level, 0u);
    EXPECT_TRUE(o.command_line.empty());
    EXPECT_TRUE(o.include_filters.empty());
    EXPECT_FALSE(o.start_time_set);
    EXPECT_FALSE(o.stop_time_set);
    EXPECT_EQ(o.stop_filetime, 0u);
}

TEST(cmd_params, log_buffer_is_made_on_request_and_emptied_by_reset_log_state) {
    cmd_params o(0, true);
    ASSERT_NE(o.log_buffer, nullptr);
    *o.log_buffer << "text";
    o.log_counter = 5;
    o.log_texts[2] = "x";
    o.log_words[1] = 9;
    o.log_text_2 = "y";
    o.reset_log_state();
    EXPECT_EQ(o.log_buffer->str(), "");
    EXPECT_EQ(o.log_counter, 0u);
    EXPECT_TRUE(o.log_texts[2].empty());
    EXPECT_EQ(o.log_words[1], 0u);
    EXPECT_TRUE(o.log_text_2.empty());
}

TEST(cmd_params, reset_keeps_the_log_streams_and_log_texts) {
    const std::string path = temp_dir() + "/reset.log";
    cmd_params o(3, true);
    open_log(o, path, 2);
    o.csv = true;
    o.separator = ",";
    o.log_texts[0] = "kept";
    o.log_words[0] = 4;
    o.owner = 3;
    o.reset();
    EXPECT_FALSE(o.diagnostics_on);
    ASSERT_NE(o.diagnostics, nullptr);
    EXPECT_TRUE(o.diagnostics->is_open());
    EXPECT_NE(o.log_buffer, nullptr);
    EXPECT_EQ(o.log_texts[0], "kept");
    EXPECT_EQ(o.log_words[0], 4u);
    EXPECT_EQ(o.owner, 3u);
    EXPECT_FALSE(o.csv);
    EXPECT_EQ(o.separator, " | ");
    EXPECT_EQ(o.log_level, 0u);
}

TEST(cmd_params, copy_leaves_out_the_fields_that_are_not_carried) {
    cmd_params src(11, false);
    src.quoted_csv_fields = true;
    src.threads = 4;
    src.reserved_word_5 = 8;
    src.reserved_word_8 = 9;
    src.log_texts[0] = "first";
    src.log_texts[1] = "second";
    src.log_words[0] = 2;
    src.csvl2t = true;
    src.separator = ",";
    src.out_file = "/tmp/x";
    src.aliases["a"] = "b";
    src.include_filters.resize(2);
    src.start_time_set = true;
    src.start_filetime = 123;
    src.run_log_callback_on = true;
    const cmd_params copy(src);
    EXPECT_EQ(copy.owner, 11u);
    EXPECT_FALSE(copy.quoted_csv_fields);
    EXPECT_EQ(copy.threads, 0);
    EXPECT_EQ(copy.reserved_word_5, 0u);
    EXPECT_EQ(copy.reserved_word_8, 0u);
    EXPECT_EQ(copy.log_texts[0], "first");
    EXPECT_TRUE(copy.log_texts[1].empty());
    EXPECT_EQ(copy.log_words[0], 0u);
    EXPECT_TRUE(copy.csvl2t);
    EXPECT_EQ(copy.separator, ",");
    EXPECT_EQ(copy.out_file, "/tmp/x");
    EXPECT_EQ(copy.aliases.at("a"), "b");
    EXPECT_EQ(copy.include_filters.size(), 2u);
    EXPECT_TRUE(copy.start_time_set);
    EXPECT_EQ(copy.start_filetime, 123u);
    EXPECT_TRUE(copy.run_log_callback_on);
    EXPECT_EQ(copy.log_buffer, nullptr);
}

TEST(cmd_params, copy_opens_its_own_log_and_keeps_what_the_source_wrote) {
    const std::string path = temp_dir() + "/copy.log";
    cmd_params src(0, true);
    src.command_line = "prog -diags copy.log -l3";
    open_log(src, path, 3);
    write_log_line(src, "from source");
    {
        cmd_params copy(src);
        EXPECT_TRUE(copy.diagnostics_on);
        ASSERT_NE(copy.diagnostics, nullptr);
        EXPECT_NE(copy.diagnostics, src.diagnostics);
        EXPECT_EQ(copy.log_level, 3u);
        ASSERT_NE(copy.log_buffer, nullptr);
        EXPECT_NE(copy.log_buffer, src.log_buffer);
        write_log_line(copy, "from copy");
    }
    EXPECT_EQ(read_file(path), "->from source\n->prog -diags copy.log -l3\n->from copy\n");
}

TEST(cmd_params, copy_whose_log_cannot_open_stays_without_log) {
    cmd_params src;
    const std::string path = temp_dir() + "/gone/sub.log";
    src.diagnostics_path = path;
    src.diagnostics = new std::ofstream(temp_dir() + "/real.log");
    src.diagnostics_on = true;
    src.log_level = 2;
    const cmd_params copy(src);
    EXPECT_FALSE(copy.diagnostics_on);
    EXPECT_EQ(copy.diagnostics, nullptr);
    EXPECT_TRUE(copy.diagnostics_path.empty());
    EXPECT_EQ(copy.log_level, 0u);
}

TEST(cmd_params, assignment_replaces_the_targets_streams_and_ignores_itself) {
    const std::string path = temp_dir() + "/assign.log";
    cmd_params src(5, false);
    src.command_line = "cmd";
    open_log(src, path, 2);
    cmd_params target(1, true);
    target.csv = true;
    target = src;
    EXPECT_EQ(target.owner, 5u);
    EXPECT_EQ(target.log_buffer, nullptr);
    EXPECT_TRUE(target.diagnostics_on);
    EXPECT_FALSE(target.csv);
    cmd_params& same = target;
    target = same;
    EXPECT_TRUE(target.diagnostics_on);
    EXPECT_EQ(target.owner, 5u);
}

TEST(cmd_params, alias_file_resolves_ignoring_case) {
    cmd_params o;
    o.aliases["c:\\x\\a.db"] = "/cases/a.db";
    std::string out;
    EXPECT_EQ(o.resolve_alias_path(out, "C:\\X\\A.DB"), "/cases/a.db");
    EXPECT_EQ(out, "/cases/a.db");
}

TEST(cmd_params, alias_path_replaces_only_the_aliased_part) {
    cmd_params o;
    o.alias_paths["c:\\data"] = "/mnt/data";
    std::string out;
    const std::string& r = o.resolve_alias_path(out, "C:\\Data\\sub\\f.db");
    EXPECT_EQ(r, "/mnt/data\\sub\\f.db");
    EXPECT_EQ(&r, &out);
    // A key as long as the path does not apply.
    EXPECT_EQ(o.resolve_alias_path(out, "C:\\Data"), "C:\\Data");
    EXPECT_TRUE(out.empty());
}

TEST(cmd_params, alias_paths_are_tried_from_the_greatest_key_and_drop_what_precedes) {
    cmd_params o;
    o.alias_paths["c:\\a"] = "/one";
    o.alias_paths["c:\\a\\b"] = "/two";
    std::string out;
    EXPECT_EQ(o.resolve_alias_path(out, "X:C:\\A\\B\\f"), "/two\\f");
    const std::string path;
    EXPECT_EQ(&o.resolve_alias_path(out, path), &path);
}

TEST(cmd_params, no_alias_returns_the_path_itself) {
    const cmd_params o;
    std::string out = "stale";
    const std::string path = "/x/y";
    EXPECT_EQ(&o.resolve_alias_path(out, path), &path);
    EXPECT_TRUE(out.empty());
}

}  // namespace
