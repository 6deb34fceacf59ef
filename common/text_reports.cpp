#include "common/text_reports.h"

#include <iomanip>
#include <set>

#include "common/byte_search.h"
#include "common/case_conv.h"
#include "common/int_parsers.h"

namespace {

const char* const kZoneNames[] = {" [local machine]", " [intranet]", " [trusted]", " [internet]",
                                  " [untrusted]"};
constexpr std::uint32_t kZoneCount = 5;

// The zone's name for an annotated entry, or null.
const char* zone_name(const std::string& key, const std::string& value) {
    if (key.compare(0, 6, "ZoneId") != 0) return nullptr;
    std::uint32_t zone = 0;
    if (!cstr_to_uint(value.c_str(), &zone) || zone >= kZoneCount) return nullptr;
    return kZoneNames[zone];
}

struct found_string {
    std::string text;
    std::uint64_t offset;
};

std::vector<found_string> paired(const std::vector<std::string>& strings,
                                 const std::vector<std::uint64_t>& offsets) {
    std::vector<found_string> out;
    for (std::size_t i = 0; i < strings.size() && i < offsets.size(); ++i)
        out.push_back({strings[i], offsets[i]});
    return out;
}

void write_joined(std::ostream& os, const std::vector<found_string>& list, const std::string& separator) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) os << separator;
        os << list[i].text;
    }
}

bool begins_with_nocase(const std::string& line, const std::string& lowered_prefix) {
    if (line.size() < lowered_prefix.size()) return false;
    std::string head = line.substr(0, lowered_prefix.size());
    return string_to_lower(head) == lowered_prefix;
}

}  // namespace

void write_zone_info(std::ostream& os, const std::map<std::string, std::string>& zone, bool annotate) {
    if (zone.empty()) return;
    os << "zone_info"
       << "={";
    bool first = true;
    for (const auto& entry : zone) {
        if (!first) os << ";";
        first = false;
        os << '"' << entry.first << '"' << ":" << '"' << entry.second;
        const char* name = annotate ? zone_name(entry.first, entry.second) : nullptr;
        if (name != nullptr) os << name;
        os << '"';
    }
    os << "}";
}

int write_bytes_or_strings(std::ostream& os, const std::uint8_t* bytes, std::uint32_t length, bool strings,
                           std::uint32_t min_length, const std::string& separator) {
    if (bytes == nullptr || length == 0) return 0;
    if (!strings) {
        os << std::hex << std::right << std::setfill('0');
        for (std::uint32_t i = 0; i < length; ++i) {
            if (i > 0) os << ' ';
            os << std::setw(2) << static_cast<unsigned>(bytes[i]);
        }
        return 1;
    }
    if (length < min_length) return 0;
    std::vector<std::string> texts;
    std::vector<std::uint64_t> offsets;
    extract_ascii_strings(bytes, length, min_length, texts, offsets, false, false);
    const std::vector<found_string> ascii = paired(texts, offsets);
    extract_utf16_words(bytes, length, min_length, texts, offsets, false, false);
    const std::vector<found_string> utf16 = paired(texts, offsets);
    if (ascii.empty() && utf16.empty()) return 0;
    if (utf16.empty()) {
        write_joined(os, ascii, separator);
    } else if (ascii.empty()) {
        write_joined(os, utf16, separator);
    } else {
        // Merge by offset; at equal offsets the ASCII string comes first.
        std::vector<found_string> merged;
        std::size_t i = 0, j = 0;
        while (i < ascii.size() || j < utf16.size()) {
            if (j == utf16.size() || (i < ascii.size() && ascii[i].offset <= utf16[j].offset)) {
                merged.push_back(ascii[i++]);
            } else {
                merged.push_back(utf16[j++]);
            }
        }
        write_joined(os, merged, separator);
    }
    return 1;
}

int find_prefixed_lines(const std::uint8_t* buffer, std::uint32_t length, const char* prefix,
                        std::vector<std::string>& out, bool all) {
    if (buffer == nullptr || length == 0 || prefix == nullptr) return 0;
    const std::string text(reinterpret_cast<const char*>(buffer), length - 1);
    std::string separator;
    if (text.find("\r\n") != std::string::npos) {
        separator = "\r\n";
    } else if (text.find('\n') != std::string::npos) {
        separator = "\n";
    } else {
        return 0;
    }
    std::string wanted = prefix;
    string_to_lower(wanted);
    bool matched = false;
    std::size_t start = 0;
    // An empty tail after the last separator is no line.
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (begins_with_nocase(line, wanted)) {
            out.push_back(line);
            matched = true;
            if (!all) break;
        }
        start = end == text.size() ? end : end + separator.size();
    }
    return matched ? 1 : 0;
}

int string_multiset_difference(const std::vector<std::string>& a, const std::vector<std::string>& b,
                               std::vector<std::string>& out, bool nocase) {
    std::multiset<std::string> left;
    for (std::string s : a) left.insert(nocase ? string_to_lower(s) : s);
    for (std::string s : b) left.erase(nocase ? string_to_lower(s) : s);
    out.insert(out.end(), left.begin(), left.end());
    return 1;
}
