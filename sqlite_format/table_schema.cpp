#include "sqlite_format/table_schema.h"

#include <cctype>
#include <set>

#include "common/case_conv.h"
#include "common/split_join.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "sqlite_format/format.h"

void table_field::clear() {
    definition.clear();
    name.clear();
    name_lower.clear();
    type_class = 0;
    constraints = 0;
    default_value.clear();
    optional = 0;
    present = 0;
    column_bit = 0;
    user_value = 0;
}

void table_schema::clear() {
    name.clear();
    fields.clear();
    index_flag = 0;
    column_mask = 0;
    column_count = 0;
    field_map.clear();
    without_rowid = 0;
    rowid_alias = kNoRowidAlias;
    signature_digest.clear();
    signature_digest_text.clear();
}

int table_schema::min_fields() const {
    int n = static_cast<int>(fields.size());
    for (const table_field& f : fields) {
        const bool optional_field =
            f.default_value.empty() ? f.optional != 0 : (f.default_value != "0" && f.default_value != "1");
        if (optional_field) --n;
    }
    return n;
}

void table_schema::output_schema_fields_abbreviations(std::ostream& os, int chars_per_field) const {
    output_schema_fields_abbreviations(os, chars_per_field, column_mask);
}

void table_schema::output_schema_fields_abbreviations(std::ostream& os, int chars_per_field,
                                                      std::uint64_t mask) const {
    if (fields.empty()) return;
    const int bits = count_bits60(mask);
    const std::size_t count = (bits > 0 && static_cast<std::size_t>(bits) < fields.size())
                                  ? static_cast<std::size_t>(bits)
                                  : fields.size();
    const bool use_written_name = fields[0].name_lower.empty();
    const std::size_t n = chars_per_field > 0 ? static_cast<std::size_t>(chars_per_field) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& src = use_written_name ? fields[i].name : fields[i].name_lower;
        if (i) os << "-";
        os << src.substr(0, n);
    }
}

namespace {

// Erases the first occurrence of `what`; true when found.
bool erase_once(std::string& s, const std::string& what) {
    const std::size_t at = s.find(what);
    if (at == std::string::npos) return false;
    s.erase(at, what.size());
    return true;
}

void erase_chars(std::string& s, const char* chars) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (!std::char_traits<char>::find(chars, std::char_traits<char>::length(chars), c)) out.push_back(c);
    s.swap(out);
}

bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

// An item that opens with the keyword CONSTRAINT names a table constraint, whether its name is
// bracketed ("CONSTRAINT[pk] ...") or not ("CONSTRAINT pk ...").
bool is_table_constraint(const std::string& item) {
    std::string head = item.substr(0, 11);
    string_to_lower(head);
    if (head.compare(0, 10, "constraint") != 0) return false;
    if (head.size() == 10) return true;
    const unsigned char next = static_cast<unsigned char>(head[10]);
    return !(std::isalnum(next) || next == '_');
}

std::uint32_t classify_type(const std::string& rest, bool guid_as_blob) {
    if (contains(rest, "text") || contains(rest, "varchar") || contains(rest, "current_timestamp"))
        return kFieldText;
    if (contains(rest, "int") || contains(rest, "long")) return kFieldInteger;
    if (contains(rest, "blob")) return kFieldBlob;
    if (contains(rest, "guid")) return guid_as_blob ? kFieldBlob : kFieldText;
    if (contains(rest, "numeric") || contains(rest, "date") || contains(rest, "bool") ||
        contains(rest, "decimal"))
        return kFieldNumeric;
    if (contains(rest, "real") || contains(rest, "float") || contains(rest, "double")) return kFieldReal;
    return 0;
}

// Takes the constraints out of the lower-cased rest of a column definition.
void read_constraints(table_field& f, std::string& rest) {
    if (erase_once(rest, "primary key")) f.constraints |= kFieldPrimaryKey;
    if (contains(rest, " key")) erase_once(rest, "key");
    if (erase_once(rest, "not null")) f.constraints |= kFieldNotNull;
    if (erase_once(rest, "autoincrement")) f.constraints |= kFieldAutoincrement;
    const std::size_t at = rest.find("default");
    if (at != std::string::npos) {
        f.constraints |= kFieldDefault;
        // DEFAULT as the last word leaves the value empty.
        f.default_value = at + 8 <= rest.size() ? rest.substr(at + 8) : std::string();
        erase_once(rest, "default");
        if (!f.default_value.empty()) erase_once(rest, f.default_value);
        erase_chars(f.default_value, "`'\"");
    }
}

// One token of SQL text, as far as the test for the rowid's column needs them: a word (lower-cased), a
// quoted or bracketed name (its quotes taken off), a literal, a parenthesized span (its inner text), a comma
// or another character.
struct sql_token {
    enum class kind { word, name, literal, group, comma, other };
    kind type;
    std::string text;
};

// The end (just past the closing quote) of the quoted span opening at `at` ("...", `...`, '...' with the
// quote doubled inside, or [...]); npos when it does not close.
std::size_t quoted_end(const std::string& text, std::size_t at) {
    const char close = text[at] == '[' ? ']' : text[at];
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] != close) continue;
        if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return std::string::npos;
}

// The end (just past the matching parenthesis) of the span opening at `at`; npos when it does not close.
std::size_t group_end(const std::string& text, std::size_t at) {
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '[' || c == '"' || c == '`' || c == '\'') {
            const std::size_t end = quoted_end(text, i);
            if (end == std::string::npos) return end;
            i = end - 1;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i + 1;
        }
    }
    return std::string::npos;
}

bool word_char(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

// The tokens of `text`; comments are skipped, and an unclosed quote or parenthesis ends the text.
std::vector<sql_token> sql_tokens(const std::string& text) {
    std::vector<sql_token> out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        std::size_t end = i + 1;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            end = c == '-' ? text.find('\n', i) : text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + (c == '-' ? 1 : 2);
            continue;
        }
        if (c == '[' || c == '"' || c == '`' || c == '\'') {
            end = quoted_end(text, i);
            if (end == std::string::npos) break;
            std::string inner = text.substr(i + 1, end - i - 2);
            out.push_back({c == '\'' ? sql_token::kind::literal : sql_token::kind::name, inner});
        } else if (c == '(') {
            end = group_end(text, i);
            if (end == std::string::npos) break;
            out.push_back({sql_token::kind::group, text.substr(i + 1, end - i - 2)});
        } else if (word_char(static_cast<unsigned char>(c))) {
            while (end < text.size() && word_char(static_cast<unsigned char>(text[end]))) ++end;
            std::string word = text.substr(i, end - i);
            out.push_back({sql_token::kind::word, string_to_lower(word)});
        } else {
            out.push_back({c == ',' ? sql_token::kind::comma : sql_token::kind::other, std::string(1, c)});
        }
        i = end;
    }
    return out;
}

// The comma-separated items of a token list.
std::vector<std::vector<sql_token>> sql_items(const std::vector<sql_token>& tokens) {
    std::vector<std::vector<sql_token>> items(1);
    for (const sql_token& t : tokens) {
        if (t.type == sql_token::kind::comma)
            items.emplace_back();
        else
            items.back().push_back(t);
    }
    return items;
}

bool is_word(const std::vector<sql_token>& item, std::size_t at, const char* word) {
    return at < item.size() && item[at].type == sql_token::kind::word && item[at].text == word;
}

// A name as SQLite compares names: in any case.
bool names_a_column(const sql_token& t) {
    return t.type == sql_token::kind::word || t.type == sql_token::kind::name;
}
std::string lowered(std::string text) { return string_to_lower(text); }

// An item that opens with one of the words of a table constraint is one.
bool opens_table_constraint(const std::vector<sql_token>& item) {
    for (const char* word : {"constraint", "primary", "unique", "check", "foreign"})
        if (is_word(item, 0, word)) return true;
    return false;
}

// The words that end a column's type and open its constraints.
bool opens_column_constraint(const sql_token& t) {
    static const std::set<std::string> kWords = {"constraint", "primary",   "not",     "null",
                                                 "unique",     "check",     "default", "collate",
                                                 "references", "generated", "as"};
    return t.type == sql_token::kind::word && kWords.count(t.text) != 0;
}

}  // namespace

bool declares_without_rowid(const std::string& sql_lower) {
    return sql_lower.find("without rowid") != std::string::npos;
}

std::size_t rowid_alias_column(const std::string& statement) {
    const std::vector<sql_token> head = sql_tokens(statement);
    std::size_t list = 0;
    while (list < head.size() && head[list].type != sql_token::kind::group) ++list;
    if (list == head.size()) return kNoRowidAlias;
    for (std::size_t i = list + 1; i < head.size(); ++i)
        if (is_word(head, i, "without") && is_word(head, i + 1, "rowid")) return kNoRowidAlias;
    std::vector<bool> integer;  // each column's type is exactly INTEGER
    std::vector<std::string> names;
    std::size_t keyed = kNoRowidAlias;  // the column declared PRIMARY KEY
    bool descending = false;
    std::string table_key;  // the one column of a table constraint PRIMARY KEY(...)
    int keys = 0;
    for (const std::vector<sql_token>& item : sql_items(sql_tokens(head[list].text))) {
        if (item.empty()) continue;
        if (opens_table_constraint(item)) {
            for (std::size_t i = 0; i + 2 < item.size(); ++i) {
                if (!is_word(item, i, "primary") || !is_word(item, i + 1, "key") ||
                    item[i + 2].type != sql_token::kind::group)
                    continue;
                ++keys;
                const auto terms = sql_items(sql_tokens(item[i + 2].text));
                if (terms.size() == 1 && !terms[0].empty() && names_a_column(terms[0][0]))
                    table_key = lowered(terms[0][0].text);
            }
            continue;
        }
        std::size_t i = 1;
        while (i < item.size() && !opens_column_constraint(item[i])) ++i;
        // A type quoted in any way is the same type.
        integer.push_back(i == 2 && item[1].type != sql_token::kind::group &&
                          lowered(item[1].text) == "integer");
        names.push_back(lowered(item[0].text));
        for (; i + 1 < item.size(); ++i) {
            if (!is_word(item, i, "primary") || !is_word(item, i + 1, "key")) continue;
            ++keys;
            keyed = names.size() - 1;
            descending = is_word(item, i + 2, "desc");
        }
    }
    // SQLite refuses a table with two primary keys; one of several columns has no column of the rowid.
    if (keys != 1) return kNoRowidAlias;
    if (keyed != kNoRowidAlias) return integer[keyed] && !descending ? keyed : kNoRowidAlias;
    for (std::size_t c = 0; c < names.size(); ++c)
        if (!table_key.empty() && names[c] == table_key) return integer[c] ? c : kNoRowidAlias;
    return kNoRowidAlias;
}

int parse_table_schema(table_schema& schema, std::uint32_t* keyword_end, const std::string& statement,
                       std::uint32_t start, std::uint8_t guid_as_blob) {
    schema.clear();
    *keyword_end = 0;
    if (statement.empty()) return 0;
    std::string lower = statement;
    string_to_lower(lower);
    static const std::string kCreateTable = "create table";
    const std::size_t kw = start <= lower.size() ? lower.find(kCreateTable, start) : std::string::npos;
    if (kw == std::string::npos) {
        if (contains(lower, "create index ")) schema.index_flag = 1;
        return 0;
    }
    const std::size_t after = kw + kCreateTable.size();
    const std::size_t open = statement.find('(', after);
    if (open == std::string::npos) return 0;
    *keyword_end = static_cast<std::uint32_t>(after);
    schema.name = statement.substr(after, open - after);
    trim_whitespace(schema.name);
    erase_chars(schema.name, "[]\"");
    if (declares_without_rowid(lower)) schema.without_rowid = 1;
    schema.rowid_alias = rowid_alias_column(statement.substr(kw));

    std::string columns;
    if (!get_parenthesized(statement, columns)) return 0;
    // Lengths such as (255) and parenthesized defaults go with their parentheses; a list without any
    // parenthesis is kept as it is.
    std::string flat;
    if (remove_parenthesized(columns, flat)) columns.swap(flat);
    std::vector<std::string> items;
    if (!split_string(columns, ',', items, true, true, false)) return 0;

    std::set<std::string> seen;
    for (const std::string& item : items) {
        if (is_table_constraint(item)) continue;
        table_field f;
        f.definition = item;
        std::string rest;
        const std::size_t close = item.find(']');
        if (close != std::string::npos) {
            const std::size_t open_b = item.find('[');
            if (open_b == std::string::npos) return 0;
            // The name lies between the first "[" and the first "]"; a "]" before the "[" gives no name.
            f.name = open_b < close ? item.substr(open_b + 1, close - open_b - 1) : std::string();
            rest = item.substr(close + 1);
        } else {
            const std::size_t blank = item.find(' ');
            f.name = item.substr(0, blank);
            std::string lname = f.name;
            string_to_lower(lname);
            if (lname == "primary" || lname == "foreign" || lname == "unique") continue;
            rest = blank == std::string::npos ? std::string() : item.substr(blank + 1);
        }
        f.name_lower = f.name;
        string_to_lower(f.name_lower);
        string_to_lower(rest);
        trim_whitespace(rest);
        read_constraints(f, rest);
        f.type_class = classify_type(rest, guid_as_blob != 0);
        if (f.type_class != 0) {
            seen.insert(f.name);
        } else if (!f.name.empty() && !contains(f.name, "(") && !contains(f.name, ")") &&
                   !seen.count(f.name)) {
            f.type_class = kFieldText;
        } else {
            continue;
        }
        schema.fields.push_back(f);
    }

    std::string signature = "sz";
    bool named = false;
    for (const table_field& f : schema.fields) {
        if (f.name_lower.empty()) continue;
        signature += ";" + f.name_lower;
        named = true;
    }
    if (named && compute_digest16(signature.data(), static_cast<std::uint32_t>(signature.size()),
                                  schema.signature_digest))
        schema.signature_digest_text = schema.signature_digest.to_string(false);
    return schema.fields.empty() ? 0 : 1;
}

std::size_t find_table_schema(table_schema& schema, const std::vector<std::string>& names,
                              const std::vector<std::string>& statements, const std::string& name) {
    std::string wanted = name;
    string_to_lower(wanted);
    std::size_t first = kNoTableSchema;
    std::size_t parsed = kNoTableSchema;
    std::uint32_t keyword_end = 0;
    std::string listed;
    for (std::size_t i = 0; i < names.size() && i < statements.size(); ++i) {
        listed = names[i];
        if (string_to_lower(listed) != wanted) continue;
        // A schema table that names a table twice is damaged: the entry that reads wins.
        parse_table_schema(schema, &keyword_end, statements[i], 0, 1);
        if (!schema.fields.empty()) return i;
        parsed = i;
        if (first == kNoTableSchema) first = i;
    }
    if (first != parsed) parse_table_schema(schema, &keyword_end, statements[first], 0, 1);
    return first;
}
