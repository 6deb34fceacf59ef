#include "sqlite_format/crosscheck.h"

#include <cstring>
#include <iomanip>
#include <sstream>

#include "common/case_conv.h"
#include "common/digest.h"
#include "sqlite_format/format.h"
#include "sqlite_format/metadata.h"

namespace {

std::string hex_joined(const std::vector<std::uint8_t>& bytes, const char* separator) {
    std::ostringstream os;
    os << std::hex << std::setfill('0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) os << separator;
        os << std::setw(2) << static_cast<unsigned>(bytes[i]);
    }
    return os.str();
}

}  // namespace

bool build_header_pattern(std::vector<std::uint8_t>& out, const std::uint8_t* header, std::size_t length,
                          std::uint64_t mask, std::uint32_t code, bool with_size) {
    out.clear();
    if (header == nullptr || length == 0 || header[0] < length) return false;
    const std::uint32_t low = static_cast<std::uint32_t>(mask);
    if (low != 0) {
        unsigned bit = 0;
        while (((low >> bit) & 1u) == 0) ++bit;
        out.push_back(static_cast<std::uint8_t>(bit + 1));
    }
    if (code != 0)
        for (unsigned i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(code >> (8 * i)));
    if (with_size) out.push_back(header[0]);
    // The header may claim more bytes than were given: read only those given.
    const std::vector<std::uint8_t> pattern = compress_serial_types(stored_serial_types(header, length));
    out.insert(out.end(), pattern.begin(), pattern.end());
    return out.size() > 1;
}

std::string& record_pattern_text(std::string& out, const sqlite_metadata& record, int kind) {
    out.clear();
    std::vector<std::uint8_t> prefix, full;
    switch (kind) {
        case 4:
            if (record_pattern(prefix, full, record)) out = hex_joined(prefix, "");
            break;
        case 2:
            if (record.header_bytes.empty()) break;
            record_pattern(prefix, full, record);
            out = full.empty() ? hex_joined(record.header_bytes, "_") : hex_joined(full, "_");
            break;
        case 1:
            out = hex_joined(record.header_bytes, "_");
            break;
        case 3: {
            std::vector<std::uint8_t> fingerprint(16);
            std::memcpy(fingerprint.data(), record.fingerprint, 16);
            std::ostringstream os;
            os << std::hex << std::setfill('0') << std::setw(6) << record.rowid << "_"
               << hex_joined(fingerprint, "_");
            out = os.str();
            break;
        }
        default:
            break;
    }
    return out;
}

void set_signature_digest(sqlite_metadata& record, const table_schema& schema) {
    if (schema.fields.empty()) return;
    const std::size_t fields = schema.fields.size();
    const int counted = count_bits60(schema.column_mask);
    const std::size_t used = counted > 0 && static_cast<std::size_t>(counted) < fields
                                 ? static_cast<std::size_t>(counted)
                                 : fields;
    // Schemas built by hand may lack the lower-cased names; the names are then lowered here.
    const bool lower_here = schema.fields[0].name_lower.empty();
    std::string text = "sz";
    for (std::size_t i = 0; i < used; ++i) {
        std::string name = lower_here ? schema.fields[i].name : schema.fields[i].name_lower;
        if (lower_here) string_to_lower(name);
        text += ";" + name;
    }
    _16_byte_block digest;
    if (compute_digest16(text.data(), static_cast<std::uint32_t>(text.size()), digest))
        record.signature_digest_text = digest.to_string(false);
}

void make_diags_containers(diags_map& out, const std::map<std::uint64_t, std::string>& names) {
    out.clear();
    for (const auto& n : names) out.emplace(n.first, diags_container(n.first, n.second));
}

int add_record_to_crosscheck(diags_map& containers, const sqlite_metadata& record, std::uint64_t table_key,
                             unsigned list, int pattern_kind) {
    if (table_key == 0 || list < 1 || list > 3) return 0;
    if (list != 1 && record.column_mask == 0) return 0;
    if ((pattern_kind == 1 || pattern_kind == 2) && record.header_bytes.empty()) return 0;
    sqlite_metadata_ex group(record, list, pattern_kind);
    record_pattern_text(group.pattern_text, record, pattern_kind);

    auto it = containers.find(table_key);
    if (it == containers.end())
        it = containers.emplace(table_key, diags_container(table_key, std::string())).first;
    diags_container& table = it->second;
    const unsigned slot = list - 1;
    ++table.counts[slot];
    table.rowids[slot].insert(record.rowid);

    auto existing = table.groups.find(group.pattern_text);
    if (existing == table.groups.end()) {
        table.groups.emplace(group.pattern_text, group);
        return 1;
    }
    sqlite_metadata_ex& g = existing->second;
    g.lists[slot].push_back(record);
    g.rowids[slot][record.rowid].push_back(g.lists[slot].size() - 1);
    g.patterns.insert(group.patterns.begin(), group.patterns.end());
    ++g.header_lengths[record.header_bytes.size()];
    return 1;
}

namespace {

// One position of a merged pattern: its run length and the type classes seen there.
struct merged_position {
    unsigned run;
    std::set<unsigned> classes;
};

std::vector<merged_position> open_list(const std::vector<std::uint8_t>& p) {
    std::vector<merged_position> list;
    for (std::uint8_t b : p)
        list.push_back({static_cast<unsigned>(b >> 4), {static_cast<unsigned>(b & 0xF)}});
    return list;
}

bool join_same_length(std::vector<merged_position>& list, const std::vector<std::uint8_t>& p) {
    for (std::size_t i = 0; i < p.size(); ++i)
        if (list[i].run != static_cast<unsigned>(p[i] >> 4)) return false;
    for (std::size_t i = 0; i < p.size(); ++i) list[i].classes.insert(p[i] & 0xF);
    return true;
}

// A longer pattern fits when each position either matches one of its runs or stands for the next two runs
// together, the classes being known already. Every index is checked against both lengths.
bool fits_longer(const std::vector<merged_position>& list, const std::vector<std::uint8_t>& p) {
    std::size_t j = 0;
    for (const merged_position& pos : list) {
        if (j >= p.size()) return false;
        const unsigned run = p[j] >> 4, cls = p[j] & 0xF;
        if (pos.run == run && pos.classes.count(cls)) {
            ++j;
            continue;
        }
        if (j + 1 >= p.size()) return false;
        const unsigned run2 = p[j + 1] >> 4, cls2 = p[j + 1] & 0xF;
        if (pos.run != run + run2 || !pos.classes.count(cls) || !pos.classes.count(cls2)) return false;
        j += 2;
    }
    return j == p.size();
}

std::string write_list(const std::vector<merged_position>& list, unsigned& letter) {
    static const char kLetters[4] = {'a', 'f', 'b', 'e'};
    std::ostringstream os;
    os << std::hex;
    for (const merged_position& pos : list) {
        os << pos.run;
        for (unsigned c : pos.classes) os << c;
        os << kLetters[letter++ % 4];
    }
    return os.str();
}

}  // namespace

int generalise_patterns(const sqlite_metadata_ex& group, std::set<_special_sorted_pattern>& out_set,
                        std::vector<std::string>& texts) {
    out_set.clear();
    texts.clear();
    if (group.patterns.empty()) return 0;
    if (group.patterns.size() == 1) {
        out_set.insert(*group.patterns.begin());
        return 1;
    }
    const std::vector<std::uint8_t>& first = group.patterns.begin()->bytes;
    unsigned letter = first.empty() ? 3u : (first.back() + 7u) % 4u;
    std::vector<merged_position> list;
    bool open = false;
    for (const _special_sorted_pattern& sp : group.patterns) {
        const std::vector<std::uint8_t>& p = sp.bytes;
        if (open) {
            if (p.size() == list.size() && join_same_length(list, p)) continue;
            if (p.size() > list.size() && fits_longer(list, p)) continue;
            texts.push_back(write_list(list, letter));
        }
        list = open_list(p);
        open = true;
    }
    if (open) texts.push_back(write_list(list, letter));
    return out_set.empty() && texts.empty() ? 0 : 1;
}

namespace {

// Lines of one table's report: the first opens with the table's name, later phases are indented by 21
// and followed by ": ", continuation lines are indented by 23 (all only with the report flag).
class report_writer {
  public:
    report_writer(std::ostream& os, const std::string& name, bool flag) : os_(os), name_(name), flag_(flag) {}

    void first_phase(const std::string& text) {
        if (flag_) {
            const std::ios::fmtflags flags = os_.flags();
            const char fill = os_.fill(' ');
            os_ << "// " << std::left << std::setw(20) << name_ << " : ";
            os_.fill(fill);
            os_.flags(flags);
        }
        os_ << text << "\n";
    }
    void phase(const std::string& text) {
        write_record_indent(os_, flag_ ? 21 : 0);
        os_ << ": " << text << "\n";
    }
    void more(const std::string& text) {
        write_record_indent(os_, flag_ ? 23 : 0);
        os_ << text << "\n";
    }

  private:
    std::ostream& os_;
    const std::string& name_;
    bool flag_;
};

std::string str(std::uint64_t n) { return std::to_string(n); }

// Phase 1. Returns how many later phases run: 2 (both), 1 (phase 2 only) or 0.
int write_phase1(report_writer& w, const diags_container& t, const std::string& error_text) {
    const std::uint64_t r1 = t.rowids[0].size(), r2 = t.rowids[1].size(), r3 = t.rowids[2].size();
    const std::uint32_t c1 = t.counts[0], c2 = t.counts[1], c3 = t.counts[2];
    if (r1 == 0) {
        std::string text = "Phase 1: Special Case: SQL Select option parsed 0 records. ";
        if (!error_text.empty()) {
            text += "Error detected: [" + error_text + "].";
        } else if (r2 == 0 && r3 > 0) {
            text +=
                "[Mostly likely - Separate table (not in db schema) found in slack outside of normal data]";
        }
        w.first_phase(text);
        if (r2 == 0 && r3 > 0) w.more("Signature option parsed " + str(r3) + " records.");
        if (r2 > 0)
            w.more("Carve option parsed " + str(r2) + " records. Signature option parsed " + str(r3) +
                   " records.");
        return 1;
    }
    if (r1 > r2) {
        w.first_phase(
            "Phase 1: Failed: carve option did not ID'd the same records that SQL Select option did (short " +
            str(r1 - r2) + " records).");
        return 0;
    }
    if (t.rowids[0] != t.rowids[1]) {
        w.first_phase("Phase 1: Warning: [diff routine problem]: SQL Select rowids: " + str(r1) +
                      ", Carve option rowids: " + str(r2) + ".");
    } else {
        w.first_phase("Phase 1: Passed: carve option ID'd the same records that SQL Select option did.");
        if (c1 < c2) w.more("Carve option parsed " + str(c2 - c1) + " exta records over SQL Select opton.");
    }
    if (c2 > c3) w.more("Signature option can be improved.");
    return 2;
}

void write_phase2(report_writer& w, const diags_container& t) {
    bool first = true, consistent = true;
    std::string kept;
    for (const auto& g : t.groups) {
        std::ostringstream letters;
        write_letter_pairs(letters, g.second.prefix, 4);
        const std::string r = letters.str();
        if (first) {
            kept = r;
            first = false;
        } else if (r.size() == kept.size()
                       ? r != kept
                       : r.find(kept) == std::string::npos && kept.find(r) == std::string::npos) {
            consistent = false;
        }
    }
    w.phase(
        consistent
            ? "Phase 2: Passed: Ordering of fields consistent."
            : "Phase 2: Warning: Ordering of fields mixed in parsing results [caution using signature-based "
              "parsing].");
}

int write_phase3(report_writer& w, const diags_container& t) {
    struct mismatch {
        std::uint64_t rowid;
        const sqlite_metadata* a;
        const sqlite_metadata* b;
    };
    std::vector<mismatch> found;
    for (const auto& g : t.groups) {
        const sqlite_metadata_ex& x = g.second;
        for (const auto& r : x.rowids[0]) {
            const auto other = x.rowids[1].find(r.first);
            if (other == x.rowids[1].end() || r.second.empty() || other->second.empty()) continue;
            const std::uint64_t i = r.second.front(), k = other->second.front();
            if (i >= x.lists[0].size() || k >= x.lists[1].size()) continue;
            const sqlite_metadata& a = x.lists[0][i];
            const sqlite_metadata& b = x.lists[1][k];
            if (a.fingerprint[0] != b.fingerprint[0] || a.fingerprint[1] != b.fingerprint[1])
                found.push_back({r.first, &a, &b});
        }
    }
    if (found.empty()) {
        w.phase(
            "Phase 3: Passed: Quick look comparison of values between each record of parsers found no "
            "mismatches.");
        w.more("+ [0 : 0]");
        return 0;
    }
    const std::size_t shown = found.size() < 2 ? found.size() : 2;
    w.phase("Phase 3: Warning: Quick look comparison of values between each record of parsers found " +
            str(found.size()) + " mismatches.");
    w.more("+ [" + str(found.size()) + " : " + str(shown) + "]");
    for (std::size_t i = 0; i < shown; ++i)
        w.more("# [" + str(found[i].rowid) + " : " + found[i].a->value_text + " : " + found[i].b->value_text +
               "]");
    return static_cast<int>(found.size());
}

std::string generalised_text(const sqlite_metadata_ex& g) {
    std::set<_special_sorted_pattern> single;
    std::vector<std::string> texts;
    if (!generalise_patterns(g, single, texts)) return "";
    if (!single.empty()) return "sehtlahape " + hex_joined(single.begin()->bytes, "_");
    std::string out = "isislahais";
    for (const std::string& t : texts) out += " " + t;
    return out;
}

void write_summary(report_writer& w, const diags_container& t) {
    w.more("> [" + str(t.rowids[0].size()) + "-" + str(t.rowids[1].size()) + "-" + str(t.rowids[2].size()) +
           "] : [" + str(t.counts[0]) + "-" + str(t.counts[1]) + "-" + str(t.counts[2]) + "]");
    for (const auto& g : t.groups) {
        const sqlite_metadata_ex& x = g.second;
        std::string lengths;
        for (const auto& h : x.header_lengths) {
            if (!lengths.empty()) lengths += "; ";
            lengths += str(h.first) + "-" + str(h.second);
        }
        w.more("* [" + str(x.lists[0].size()) + "-" + str(x.lists[1].size()) + "-" + str(x.lists[2].size()) +
               "] : [" + x.pattern_text + "] : [" + lengths + "] : [" + generalised_text(x) + "]");
    }
}

}  // namespace

int write_crosscheck_report(std::ostream& os, const diags_container& table, const std::string& error_text,
                            bool report_flag) {
    report_writer w(os, table.name, report_flag);
    const int later = write_phase1(w, table, error_text);
    int mismatches = 0;
    if (later >= 1) write_phase2(w, table);
    if (later >= 2) mismatches = write_phase3(w, table);
    write_summary(w, table);
    return mismatches;
}
