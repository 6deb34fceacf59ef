#include "io/diags_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "fileio_test_support.h"
#include "io/null_stream.h"

namespace {

class diags_stream_test : public ::testing::Test {
  protected:
    void open(std::uint32_t level) {
        ASSERT_TRUE(dir_.ok());
        options_.diagnostics_path = dir_.file("log.txt");
        options_.diagnostics = new std::ofstream(options_.diagnostics_path, std::ios::out | std::ios::trunc);
        options_.diagnostics_on = true;
        options_.log_level = level;
    }
    std::string contents() const { return fileio_test::read_file(dir_.file("log.txt")); }

    fileio_test::temp_folder dir_{"diags_stream"};
    cmd_params options_;
};

TEST_F(diags_stream_test, records_by_level_redaction_arguments_and_position) {
    write_log_line_at_level(options_, 0, "off");  // no log yet: nothing, no crash
    open(2);
    write_log_line_at_level(options_, 3, "level three");
    write_log_line_at_level(options_, 2, "level two");
    write_log_line_redacted(options_, "user=bob pw=bob", "bob", "***");
    write_log_line_redacted(options_, "kept", "", "x");
    write_log_line_redacted(options_, "kept too", "absent", "x");
    write_log_arguments(&options_, {"selk", "-db", "a b.db", "x"});
    write_log_arguments(&options_, {});
    write_log_arguments(nullptr, {"x"});
    write_log_position(&options_, "pos", 5, 0, 0);
    write_log_position(&options_, "pos", 0x1234, 0x20000, 7);
    write_log_position(&options_, nullptr, 1, 1, 1);
    EXPECT_EQ(contents(),
              "->level two\n->user=*** pw=***\n->kept\n->kept too\n->selk -db \"a b.db\" \"x\"\n"
              "->pos: 0x05\n->pos: 0x1234/0x20000 [7]\n");
}

TEST_F(diags_stream_test, housekeeping_and_close) {
    EXPECT_EQ(close_diagnostics(options_), 1);  // log off: nothing changes
    EXPECT_EQ(options_.diagnostics, nullptr);
    open(0);
    options_.diagnostics->setstate(std::ios::failbit);
    clear_diagnostics_state(options_);
    EXPECT_TRUE(options_.diagnostics->good());
    write_log_line_at_level(options_, 0, "a");
    flush_diagnostics(options_);
    EXPECT_EQ(contents(), "->a\n");
    EXPECT_EQ(close_diagnostics(options_), 1);
    EXPECT_EQ(options_.diagnostics, nullptr);
    EXPECT_FALSE(options_.diagnostics_on);
    flush_diagnostics(options_);
    write_log_line_at_level(options_, 0, "after close");
    EXPECT_EQ(contents(), "->a\n");
}

TEST_F(diags_stream_test, log_buffer_null_and_scratch_streams) {
    std::ostream& n = log_stream_or_null(options_);
    EXPECT_EQ(&n, &null_out);
    std::ostream& s1 = log_stream_or_scratch(options_);
    s1 << "left over";
    std::ostream& s2 = log_stream_or_scratch(options_);
    EXPECT_EQ(&s1, &s2);
    EXPECT_TRUE(static_cast<std::ostringstream&>(s2).str().empty());
    cmd_params buffered(0, true);
    ASSERT_NE(buffered.log_buffer, nullptr);
    EXPECT_EQ(&log_stream_or_null(buffered), buffered.log_buffer);
    EXPECT_EQ(&log_stream_or_scratch(buffered), buffered.log_buffer);
}

struct call_log {
    int calls = 0;
    std::string text;
    std::uint64_t number = 0;
    std::uint32_t code = 0;
    log_record* record = nullptr;
};

std::uint64_t record_call(void* context, const std::string& text, std::uint64_t number, void* code,
                          log_record* record, std::uint64_t reserved) {
    call_log& log = *static_cast<call_log*>(context);
    ++log.calls;
    log.text = text;
    log.number = number;
    log.code = *static_cast<std::uint32_t*>(code);
    log.record = record;
    return 100 + reserved;
}

TEST_F(diags_stream_test, run_log_callbacks_and_clear) {
    call_log log;
    EXPECT_EQ(run_log_notify(options_, "t", 1), kRunLogNotCalled);  // off
    options_.run_log_callback = record_call;
    options_.run_log_callback_context = &log;
    EXPECT_EQ(run_log_notify(options_, "t", 1), kRunLogNotCalled);  // set but not on
    options_.run_log_callback_on = true;
    EXPECT_EQ(run_log_notify(options_, "", 1), kRunLogNotCalled);
    EXPECT_EQ(log.calls, 0);

    EXPECT_EQ(run_log_notify(options_, "one", 7), 100u);
    EXPECT_EQ(log.code, 1u);
    EXPECT_EQ(log.number, 7u);
    EXPECT_EQ(run_log_notify_code2(options_, "two", 8), 100u);
    EXPECT_EQ(log.code, 2u);
    EXPECT_EQ(run_log_notify_end(options_), 100u);
    EXPECT_EQ(log.code, 4u);
    EXPECT_TRUE(log.text.empty());
    EXPECT_EQ(log.number, 0u);

    EXPECT_EQ(run_log_notify_record(options_, "rec", 9, 0x55), 100u);
    EXPECT_EQ(log.code, 0x55u);
    EXPECT_EQ(log.record, nullptr);  // an empty record is not handed over
    options_.run_log.inode = 12;
    run_log_notify_record(options_, "rec", 9, 1);
    EXPECT_EQ(log.record, &options_.run_log);
    options_.run_log.inode = 0;
    options_.run_log.raw_read = 1;
    run_log_notify_record(options_, "rec", 9, 1);
    EXPECT_EQ(log.record, &options_.run_log);
    EXPECT_EQ(run_log_notify_record(options_, "", 9, 1), kRunLogNotCalled);
    EXPECT_EQ(log.calls, 6);

    options_.run_log.name = "p";
    options_.run_log.source_flags = 8;
    options_.run_log.attribute_names = {"a"};
    clear_run_log(options_);
    EXPECT_TRUE(options_.run_log.name.empty());
    EXPECT_EQ(options_.run_log.raw_read, 0);
    EXPECT_EQ(options_.run_log.source_flags, 0u);
    EXPECT_TRUE(options_.run_log.attribute_names.empty());
}

}  // namespace
