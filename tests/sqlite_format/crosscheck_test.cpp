#include "sqlite_format/crosscheck.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/digest.h"

namespace {

using bytes = std::vector<std::uint8_t>;

TEST(HeaderPattern, FromRawHeaderBytes) {
    const bytes h = {8, 1, 1, 1, 0x81, 0x01, 23, 0};
    struct Case {
        const char* name;
        bytes header;
        std::size_t length;
        std::uint64_t mask;
        std::uint32_t code;
        bool with_size;
        bool result;
        bytes out;
    };
    const Case cases[] = {
        {"types only", h, 8, 0, 0, false, true, {0x31, 0x2D, 0x10}},
        {"mask, code and size",
         h,
         8,
         0x100000004ull,
         0x01020304,
         true,
         true,
         {3, 4, 3, 2, 1, 8, 0x31, 0x2D, 0x10}},
        {"header longer than the bytes given", {10, 1, 13, 12}, 4, 0, 0, false, true, {0x11, 0x1D, 0x1C}},
        {"a varint cut by the end stops the read", {9, 1, 0x81}, 3, 0, 0, false, false, {0x11}},
        {"header size under the length", {2, 1, 1}, 3, 0, 0, false, false, {}},
        {"one byte is not a pattern", {2, 1}, 2, 0, 0, false, false, {0x11}},
        {"no bytes", {}, 0, 1, 1, true, false, {}},
    };
    for (const Case& c : cases) {
        bytes out = {0xEE};
        EXPECT_EQ(build_header_pattern(out, c.header.empty() ? nullptr : c.header.data(), c.length, c.mask,
                                       c.code, c.with_size),
                  c.result)
            << c.name;
        EXPECT_EQ(out, c.out) << c.name;
    }
}

sqlite_metadata make_record(std::uint64_t rowid, std::uint64_t fp, const bytes& header = {4, 1, 23, 12}) {
    sqlite_metadata r;
    r.table_kind = 4;
    r.column_mask = 0x0102030405ull;
    r.signature_text = "id-pa";
    r.header_bytes = header;
    r.rowid = rowid;
    r.fingerprint[0] = fp;
    r.value_text = "v" + std::to_string(rowid) + "_" + std::to_string(fp);
    return r;
}

TEST(HeaderPattern, PatternTextsByKind) {
    sqlite_metadata r = make_record(7, 0x0807060504030201ull);
    r.fingerprint[1] = 0x100f0e0d0c0b0a09ull;
    std::string out = "stale";
    EXPECT_EQ(record_pattern_text(out, r, 1), "04_01_17_0c");
    EXPECT_EQ(record_pattern_text(out, r, 2), "03_05_04_03_02_04_08_03_0f_00_11_1d_1c");
    EXPECT_EQ(record_pattern_text(out, r, 3), "000007_01_02_03_04_05_06_07_08_09_0a_0b_0c_0d_0e_0f_10");
    EXPECT_EQ(record_pattern_text(out, r, 4),
              "0305040302040803"
              "0f00");
    EXPECT_EQ(record_pattern_text(out, r, 5), "");
    r.header_bytes = {3, 0x81};  // no pattern can be built: kind 2 falls back to kind 1
    EXPECT_EQ(record_pattern_text(out, r, 2), "03_81");
    r.header_bytes.clear();
    EXPECT_EQ(record_pattern_text(out, r, 1), "");
    EXPECT_EQ(record_pattern_text(out, r, 2), "");
    EXPECT_EQ(record_pattern_text(out, sqlite_metadata(), 4), "");  // prefix of one byte only
}

std::string guid_of(const std::string& text) {
    _16_byte_block d;
    EXPECT_EQ(compute_digest16(text.data(), static_cast<std::uint32_t>(text.size()), d), 1);
    return d.to_string(false);
}

TEST(HeaderPattern, SignatureDigestOverTheCountedFields) {
    table_schema s;
    for (const char* n : {"Id", "Name", "Payload"}) {
        table_field f;
        f.name = n;
        s.fields.push_back(f);
    }
    sqlite_metadata r;
    set_signature_digest(r, s);
    EXPECT_EQ(r.signature_digest_text, guid_of("sz;id;name;payload"));
    s.column_mask = 0x5;  // two bits: the first two fields
    for (table_field& f : s.fields) f.name_lower = "x" + f.name;
    set_signature_digest(r, s);
    EXPECT_EQ(r.signature_digest_text, guid_of("sz;xId;xName"));
    s.column_mask = 0x7;  // all fields counted: all used
    set_signature_digest(r, s);
    EXPECT_EQ(r.signature_digest_text, guid_of("sz;xId;xName;xPayload"));
    table_schema empty;
    set_signature_digest(r, empty);
    EXPECT_EQ(r.signature_digest_text, guid_of("sz;xId;xName;xPayload"));
}

TEST(Crosscheck, FilingRefusalsAndGroups) {
    diags_map m;
    make_diags_containers(m, {{1, "notification"}, {2, "handler"}});
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m.at(2).name, "handler");
    sqlite_metadata no_mask = make_record(1, 0);
    no_mask.column_mask = 0;
    EXPECT_EQ(add_record_to_crosscheck(m, make_record(1, 0), 0, 1, 2), 0);
    EXPECT_EQ(add_record_to_crosscheck(m, make_record(1, 0), 1, 4, 2), 0);
    EXPECT_EQ(add_record_to_crosscheck(m, no_mask, 1, 2, 4), 0);
    EXPECT_EQ(add_record_to_crosscheck(m, make_record(1, 0, {}), 1, 1, 2), 0);
    EXPECT_EQ(add_record_to_crosscheck(m, no_mask, 1, 1, 4), 1);  // list 1 needs no mask
    EXPECT_EQ(add_record_to_crosscheck(m, make_record(2, 0), 1, 2, 4), 1);
    EXPECT_EQ(add_record_to_crosscheck(m, make_record(2, 0, {5, 1, 23, 12, 0}), 1, 2, 4), 1);
    EXPECT_EQ(add_record_to_crosscheck(m, make_record(3, 0), 9, 3, 1), 1);  // an unknown key gets a container
    const diags_container& t = m.at(1);
    EXPECT_EQ(t.counts[0], 1u);
    EXPECT_EQ(t.counts[1], 2u);
    EXPECT_EQ(t.rowids[1], (std::set<std::uint64_t>{2}));
    ASSERT_EQ(t.groups.size(), 2u);  // kind 4: by prefix, so the two mask shapes differ
    std::string key;
    const sqlite_metadata_ex& g = t.groups.find(record_pattern_text(key, make_record(2, 0), 4))->second;
    EXPECT_EQ(g.lists[1].size(), 2u);
    EXPECT_EQ(g.rowids[1].at(2), (std::vector<std::uint64_t>{0, 1}));
    EXPECT_EQ(g.patterns.size(), 2u);
    EXPECT_EQ(g.header_lengths, (std::map<std::uint64_t, std::uint64_t>{{4, 1}, {5, 1}}));
    EXPECT_EQ(m.at(9).counts[2], 1u);
    EXPECT_TRUE(m.at(9).name.empty());
}

std::string report(const diags_container& t, const std::string& error = "", bool flag = true) {
    std::ostringstream os;
    write_crosscheck_report(os, t, error, flag);
    return os.str();
}

TEST(Crosscheck, ReportPassedPhasesWithAValueMismatch) {
    diags_map m;
    make_diags_containers(m, {{1, "notification"}});
    add_record_to_crosscheck(m, make_record(1, 10), 1, 1, 4);
    add_record_to_crosscheck(m, make_record(2, 20), 1, 1, 4);
    add_record_to_crosscheck(m, make_record(1, 10), 1, 2, 4);
    add_record_to_crosscheck(m, make_record(2, 21), 1, 2, 4);
    add_record_to_crosscheck(m, make_record(2, 21), 1, 2, 4);
    add_record_to_crosscheck(m, make_record(1, 10), 1, 3, 4);
    const std::string indent23(23, ' '), indent21(21, ' ');
    EXPECT_EQ(
        report(m.at(1)),
        "// notification         : Phase 1: Passed: carve option ID'd the same records that SQL Select "
        "option "
        "did.\n" +
            indent23 + "Carve option parsed 1 exta records over SQL Select opton.\n" + indent23 +
            "Signature option can be improved.\n" + indent21 +
            ": Phase 2: Passed: Ordering of fields consistent.\n" + indent21 +
            ": Phase 3: Warning: Quick look comparison of values between each record of parsers found 1 "
            "mismatches.\n" +
            indent23 + "+ [1 : 1]\n" + indent23 + "# [2 : v2_20 : v2_21]\n" + indent23 +
            "> [2-2-1] : [2-3-1]\n" + indent23 +
            "* [2-3-1] : [0305040302040803"
            "0f00] : [4-6] : [sehtlahape 11_1d_1c]\n");
    // Without the flag nothing is indented and the name is not written.
    const std::string plain = report(m.at(1), "", false);
    EXPECT_EQ(plain.substr(0, 16), "Phase 1: Passed:");
    EXPECT_NE(plain.find("\n: Phase 2: Passed"), std::string::npos);
}

TEST(Crosscheck, ReportSpecialFailedWarningAndMixedOrder) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint64_t, unsigned>> records;  // rowid, list
        std::string error;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"nothing from the library, only signatures",
         {{1, 3}, {2, 3}},
         "",
         {"Phase 1: Special Case: SQL Select option parsed 0 records. [Mostly likely - Separate table (not "
          "in db "
          "schema) found in slack outside of normal data]\n",
          "Signature option parsed 2 records.\n", "Phase 2: Passed", "> [0-0-2] : [0-0-2]"},
         {"Phase 3"}},
        {"nothing from the library, with an error",
         {{1, 2}},
         "no such table",
         {"parsed 0 records. Error detected: [no such table].\n",
          "Carve option parsed 1 records. Signature option parsed 0 records.\n", "Phase 2"},
         {"Mostly likely", "Phase 3"}},
        {"carve short",
         {{1, 1}, {2, 1}, {3, 1}, {1, 2}},
         "",
         {"Phase 1: Failed: carve option did not ID'd the same records that SQL Select option did (short 2 "
          "records).",
          "> [3-1-0]"},
         {"Phase 2", "Phase 3"}},
        {"same count, other rowids",
         {{1, 1}, {2, 1}, {1, 2}, {3, 2}},
         "",
         {"Phase 1: Warning: [diff routine problem]: SQL Select rowids: 2, Carve option rowids: 2.\n",
          "Signature option can be improved.",
          "Phase 3: Passed: Quick look comparison of values between each "
          "record of parsers found no mismatches.\n",
          "+ [0 : 0]"},
         {}},
    };
    for (const Case& c : cases) {
        diags_map m;
        make_diags_containers(m, {{1, "t"}});
        for (const auto& r : c.records) add_record_to_crosscheck(m, make_record(r.first, 0), 1, r.second, 4);
        const std::string text = report(m.at(1), c.error);
        for (const std::string& p : c.present)
            EXPECT_NE(text.find(p), std::string::npos) << c.name << ": " << p;
        for (const std::string& a : c.absent)
            EXPECT_EQ(text.find(a), std::string::npos) << c.name << ": " << a;
    }
    // Two groups whose field orders differ in the same number of letters.
    diags_map m;
    make_diags_containers(m, {{1, "t"}});
    add_record_to_crosscheck(m, make_record(1, 0), 1, 1, 4);
    sqlite_metadata other = make_record(1, 0);
    other.signature_text = "pa-id";
    add_record_to_crosscheck(m, other, 1, 2, 4);
    EXPECT_NE(
        report(m.at(1)).find(": Phase 2: Warning: Ordering of fields mixed in parsing results [caution using "
                             "signature-based parsing].\n"),
        std::string::npos);
}

TEST(Crosscheck, GeneralisedPatterns) {
    const auto group_of = [](const std::vector<bytes>& patterns) {
        sqlite_metadata_ex g;
        for (const bytes& p : patterns) g.patterns.insert(_special_sorted_pattern(p));
        return g;
    };
    std::set<_special_sorted_pattern> set;
    std::vector<std::string> texts{"stale"};
    EXPECT_EQ(generalise_patterns(group_of({}), set, texts), 0);
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(generalise_patterns(group_of({{0x11, 0x1D}}), set, texts), 1);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_TRUE(texts.empty());
    // Same run lengths: the classes merge; the letters start at (0x1c + 7) mod 4 = 3 ('e').
    EXPECT_EQ(generalise_patterns(group_of({{0x11, 0x1D}, {0x11, 0x1C}}), set, texts), 1);
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(texts, (std::vector<std::string>{"11e1cda"}));
    // A longer pattern whose two runs add up to one position joins; a shorter one opens its own text.
    EXPECT_EQ(generalise_patterns(group_of({{0x21, 0x1D}, {0x11, 0x11, 0x1D}, {0x13}}), set, texts), 1);
    EXPECT_EQ(texts, (std::vector<std::string>{"13b", "21e1da"}));
    // A longer pattern that runs out while a position still needs two runs does not join.
    EXPECT_EQ(generalise_patterns(group_of({{0x11, 0x21, 0x31}, {0x11, 0x11, 0x11, 0x21}}), set, texts), 1);
    EXPECT_EQ(texts.size(), 2u);
}

}  // namespace
