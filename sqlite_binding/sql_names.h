// Table and column names placed into SQL text. Names read from a database or a command file are not
// trusted: each is written between quote characters with any of those characters inside doubled, so a
// name can never end the identifier early and add SQL of its own.
#pragma once

#include <string>

// "`" + name + "`" with every '`' inside doubled.
std::string sql_quote_backquoted(const std::string& name);
// "[" + name + "]"; a name holding ']' is written backquoted instead, because SQLite has no escape inside
// brackets (a doubled ']' would only be refused, and the table could not be read at all).
std::string sql_quote_bracketed(const std::string& name);
// "'" + text + "'" with every '\'' inside doubled.
std::string sql_quote_single(const std::string& text);
