#include "sqlite_binding/sql_names.h"

namespace {

std::string quote_with(const std::string& name, char open, char close) {
    std::string out;
    out.reserve(name.size() + 2);
    out.push_back(open);
    for (char c : name) {
        out.push_back(c);
        if (c == close) out.push_back(c);
    }
    out.push_back(close);
    return out;
}

}  // namespace

std::string sql_quote_backquoted(const std::string& name) { return quote_with(name, '`', '`'); }
std::string sql_quote_bracketed(const std::string& name) {
    if (name.find(']') != std::string::npos) return sql_quote_backquoted(name);
    return quote_with(name, '[', ']');
}
std::string sql_quote_single(const std::string& text) { return quote_with(text, '\'', '\''); }
