#include "notifications/sql_pull_types.h"

#include <gtest/gtest.h>

namespace {

generic_sql_table make_table() {
    generic_sql_table t;
    t.name = "Notification";
    t.comment = "toasts";
    t.statement = "select `Id` from Notification;";
    t.column_names = {"Id"};
    t.column_types = {"int"};
    t.column_widths = {3};
    t.rows = {{"1"}, {"22"}};
    t.error_text = "none";
    return t;
}

TEST(generic_sql_table, valid_needs_name_statement_and_a_column) {
    generic_sql_table t = make_table();
    EXPECT_TRUE(t.valid());
    t.column_names.clear();
    EXPECT_FALSE(t.valid());
    t = make_table();
    t.statement.clear();
    EXPECT_FALSE(t.valid());
    t = make_table();
    t.name.clear();
    EXPECT_FALSE(t.valid());
}

TEST(generic_sql_table, copy_and_clear_cover_every_field) {
    const generic_sql_table src = make_table();
    generic_sql_table copy(src);
    generic_sql_table assigned;
    assigned = src;
    for (const generic_sql_table* t : {&copy, &assigned}) {
        EXPECT_EQ(t->name, src.name);
        EXPECT_EQ(t->comment, src.comment);
        EXPECT_EQ(t->statement, src.statement);
        EXPECT_EQ(t->column_names, src.column_names);
        EXPECT_EQ(t->column_types, src.column_types);
        EXPECT_EQ(t->column_widths, src.column_widths);
        EXPECT_EQ(t->rows, src.rows);
        EXPECT_EQ(t->error_text, src.error_text);
    }
    copy.clear();
    EXPECT_TRUE(copy.name.empty() && copy.comment.empty() && copy.statement.empty());
    EXPECT_TRUE(copy.column_names.empty() && copy.column_types.empty() && copy.column_widths.empty());
    EXPECT_TRUE(copy.rows.empty() && copy.error_text.empty());
    EXPECT_FALSE(copy.valid());
}

TEST(generic_sql_pull, valid_only_when_non_empty_and_every_table_valid) {
    generic_sql_pull pull;
    EXPECT_FALSE(pull.valid());
    pull.tables.push_back(make_table());
    EXPECT_TRUE(pull.valid());
    generic_sql_table bad = make_table();
    bad.column_names.clear();
    pull.tables.push_back(bad);
    EXPECT_FALSE(pull.valid());
    pull.clear();
    EXPECT_TRUE(pull.tables.empty());
    EXPECT_FALSE(pull.valid());
}

}  // namespace
