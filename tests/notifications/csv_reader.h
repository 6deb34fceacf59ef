// A small RFC 4180 reader for the tests: records of fields split at one separator character, fields between
// double quotes with their quotes doubled inside, line ends LF or CR LF. Strict mode refuses a double quote
// inside an unquoted field (as a strict reader does); lenient mode keeps it as text (as Python's csv does).
#pragma once

#include <string>
#include <vector>

namespace csv_reader {

using record = std::vector<std::string>;

// Reads `text` into records; false (with `error` saying where) when it is not well-formed.
inline bool read(const std::string& text, char sep, bool strict, std::vector<record>& out,
                 std::string& error) {
    out.clear();
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        record rec;
        for (;;) {
            std::string field;
            if (i < n && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= n) {
                        error = "quoted field not closed in record " + std::to_string(out.size() + 1);
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += text[i++];
                }
                if (i < n && text[i] != sep && text[i] != '\n' &&
                    !(text[i] == '\r' && i + 1 < n && text[i + 1] == '\n')) {
                    error = "text after a closing quote in record " + std::to_string(out.size() + 1);
                    return false;
                }
            } else {
                while (i < n && text[i] != sep && text[i] != '\n' &&
                       !(text[i] == '\r' && i + 1 < n && text[i + 1] == '\n')) {
                    if (text[i] == '"' && strict) {
                        error = "bare double quote in record " + std::to_string(out.size() + 1);
                        return false;
                    }
                    field += text[i++];
                }
            }
            rec.push_back(field);
            if (i < n && text[i] == sep) {
                ++i;
                continue;
            }
            break;
        }
        if (i < n && text[i] == '\r') ++i;
        if (i < n && text[i] == '\n') ++i;
        out.push_back(rec);
    }
    return true;
}

}  // namespace csv_reader
