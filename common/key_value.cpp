#include "common/key_value.h"

#include "common/case_conv.h"
#include "common/text_ops.h"
#include "common/tokenizers.h"

namespace {

constexpr std::size_t npos = std::string::npos;

// End of the value that starts at `start` in the lower-cased text, or npos when no separator follows.
std::size_t value_end(const std::string& lowered, std::size_t start) {
    const std::size_t comma_quote = lowered.find(",\"", start);
    if (comma_quote != npos) {
        if (comma_quote > start && lowered[comma_quote - 1] == '}') return comma_quote - 1;
        return comma_quote;
    }
    const std::size_t comma = lowered.find(',', start);
    if (comma != npos) {
        // A quoted value holding the comma runs through its closing quote.
        const std::size_t open_quote = lowered.find('"', start);
        if (open_quote != npos && open_quote < comma) {
            const std::size_t close_quote = lowered.find('"', open_quote + 1);
            if (close_quote != npos && close_quote > comma) return close_quote + 1;
        }
        return comma;
    }
    return lowered.find('}', start);
}

std::string lower_copy(const std::string& s) {
    std::string c = s;
    string_to_lower(c);
    return c;
}

}  // namespace

void init_month_name_map(std::map<std::string, int>& months) {
    if (!months.empty()) return;
    static const char* const kNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                           "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) months[kNames[i]] = i + 1;
}

int parse_key_value_lines(std::map<std::string, std::string>& out, const std::vector<std::uint8_t>& bytes) {
    out.clear();
    if (bytes.empty()) return 0;
    std::vector<std::string> lines;
    split_byte_lines(bytes, lines);
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        if (eq == npos) continue;
        out.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return out.empty() ? 0 : 1;
}

int split_json_objects(std::vector<std::string>& out, const std::string& text) {
    out.clear();
    const std::size_t first_bracket = text.find('[');
    const std::size_t first_brace = text.find('{');
    if (first_bracket == npos || (first_brace != npos && first_brace < first_bracket)) {
        out.push_back(text);
        return 1;
    }
    if (first_brace == npos) return 0;
    std::size_t opens = 0;
    std::size_t closes = 0;
    std::size_t start = 0;
    for (std::size_t i = first_brace; i < text.size(); ++i) {
        if (text[i] == '{') {
            if (opens == 0) start = i;
            ++opens;
        } else if (text[i] == '}') {
            if (opens == 0) continue;  // a stray closing brace opens nothing
            ++closes;
            if (opens == closes) {
                out.push_back(text.substr(start, i - start + 1));
                opens = closes = 0;
            }
        }
    }
    return out.empty() ? 0 : 1;
}

int extract_json_values(std::vector<std::string>& out, const std::vector<std::string>& keys,
                        const std::string& json) {
    out.clear();
    if (json.empty() || keys.empty()) return 0;
    out.assign(keys.size(), std::string());
    const std::string lowered = lower_copy(json);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].empty()) continue;
        const std::string quoted = "\"" + lower_copy(keys[k]) + "\"";
        std::size_t pos = 0;
        while (pos < lowered.size()) {
            const std::size_t hit = lowered.find(quoted, pos);
            if (hit == npos) break;
            const std::size_t colon = lowered.find(':', hit);
            if (colon == npos) {
                pos = hit + 1;
                continue;
            }
            const std::size_t start = colon + 1;
            const std::size_t end = value_end(lowered, start);
            if (end == npos || end < start) {
                pos = start;
                continue;
            }
            std::string value = json.substr(start, end - start);
            strip_quotes(value);
            out[k] = value;
            break;
        }
    }
    return 1;
}

int extract_json_array_values(std::vector<std::string>& out, const std::vector<std::string>& keys,
                              const std::string& json) {
    out.clear();
    if (json.empty() || keys.empty()) return 0;
    out.assign(keys.size(), std::string());
    const std::string lowered = lower_copy(json);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].empty()) continue;
        const std::string quoted = "\"" + lower_copy(keys[k]) + "\"";
        std::size_t pos = 0;
        while (pos < lowered.size()) {
            const std::size_t hit = lowered.find(quoted, pos);
            if (hit == npos) break;
            pos = hit + 1;
            const std::size_t colon = lowered.find(':', hit);
            if (colon == npos || colon - hit > quoted.size() + 2) continue;
            const std::size_t open = lowered.find('[', colon);
            if (open == npos || open - colon > 3) continue;
            const std::size_t close = lowered.find(']', open);
            if (close == npos) continue;
            const std::size_t brace = lowered.rfind('}', close);
            if (brace == npos || brace < open || close - brace > 6) continue;
            out[k] = json.substr(open, close - open + 1);
            break;
        }
    }
    return 1;
}

int read_json_objects(std::vector<json_object>& out, const std::vector<std::string>& keys,
                      const std::string& text) {
    out.clear();
    std::vector<std::string> objects;
    split_json_objects(objects, text);
    for (const std::string& object_text : objects) {
        out.emplace_back();
        json_object& obj = out.back();
        if (extract_json_values(obj.values, keys, object_text)) {
            obj.names = keys;
            for (std::size_t i = 0; i < keys.size(); ++i)
                obj.index[lower_copy(keys[i])] = static_cast<std::uint32_t>(i);
        }
    }
    return out.empty() ? 0 : 1;
}

void write_quoted_pairs(std::ostream& os, const std::map<std::string, std::string>& pairs, char separator) {
    bool first = true;
    for (const auto& kv : pairs) {
        if (!first) os << separator << ' ';
        first = false;
        os << '"' << kv.first << "\":\"" << kv.second << '"';
    }
}
