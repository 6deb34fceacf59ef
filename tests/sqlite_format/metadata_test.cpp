#include "sqlite_format/metadata.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite_format/record.h"

namespace {

// A record that keeps what its fillers were handed.
class recording_record : public sqlite_metadata {
  public:
    using sqlite_metadata::populate_record;
    using sqlite_metadata::populate_record_ex;
    int calls = 0;
    int ex_calls = 0;
    std::vector<std::string> got;
    std::vector<unsigned> got_flags;
    std::uint64_t got_offset = 0, got_mask = 0;
    int got_minimum = 0;
    unsigned got_source = 0;
    int result = 1;

    void keep(int count, char** values, std::vector<unsigned>& sizes, std::uint64_t off, std::uint64_t mask,
              int minimum, unsigned source) {
        got.clear();
        for (int i = 0; i < count; ++i)
            got.push_back(values[i] ? std::string(values[i], sizes[i]) : std::string());
        got_offset = off;
        got_mask = mask;
        got_minimum = minimum;
        got_source = source;
    }
    int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool, std::uint64_t off,
                        std::uint64_t mask, int minimum, unsigned source) override {
        ++calls;
        keep(count, values, sizes, off, mask, minimum, source);
        return result;
    }
    int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                           std::vector<unsigned>& flags, bool, std::uint64_t off, std::uint64_t mask,
                           int minimum, unsigned source) override {
        ++ex_calls;
        keep(count, values, sizes, off, mask, minimum, source);
        got_flags = flags;
        return result;
    }
};

table_schema three_field_schema() {
    table_schema s;
    std::uint32_t pos;
    EXPECT_EQ(parse_table_schema(s, &pos, "create table t ([Id] int, [Payload] blob, [Type] text)", 0, 0), 1);
    for (std::size_t i = 0; i < s.fields.size(); ++i) {
        s.fields[i].present = 1;
        s.fields[i].column_bit = std::uint64_t{1} << i;
    }
    return s;
}

TEST(SourceLabels, KnownCodesAndGaps) {
    // Every code a reader or the carver stamps, the label the report prints for it and the file it names:
    // 'm' the database itself, 'w' the write-ahead log, '-' another file.
    struct source_case {
        unsigned code;
        const char* label;
        char file;
    };
    const source_case cases[] = {
        {1, "sqlite lib", 'm'},
        {2, "main db slack", 'm'},
        {3, "carve main", 'm'},
        {4, "carve blob", '-'},
        {6, "main db page to be overwritten from wal", 'm'},
        {7, "wal file page superceded by new page", 'w'},
        {8, "wal file slack in valid page", 'w'},
        {9, "wal file valid page", 'w'},
        {10, "carve wal", 'w'},
        {11, "carve journal", '-'},
        {12, "carve main from wal data", 'm'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(record_source_label(c.code), c.label) << c.code;
        EXPECT_EQ(source_in_main_db(c.code), c.file == 'm') << c.code;
        EXPECT_EQ(source_in_wal(c.code), c.file == 'w') << c.code;
        sqlite_metadata r;
        r.flags = c.code << kSourceShift;
        std::ostringstream os;
        r.output_extra_data(os, "", true, false, false, true);
        EXPECT_NE(os.str().find(std::string("\"src\":\"") + c.label + "\""), std::string::npos) << os.str();
    }
    for (const unsigned gap : {0u, 5u, 13u}) {
        EXPECT_EQ(record_source_label(gap), "") << gap;
        EXPECT_FALSE(source_in_main_db(gap) || source_in_wal(gap)) << gap;
    }
}

TEST(RecordBase, ResetAndCopy) {
    sqlite_metadata r;
    EXPECT_EQ(r.identifier, -1);
    r.identifier = 4;
    r.rowid = 9;
    r.header_bytes = {1, 2};
    r.signature_text = "id-pa";
    sqlite_metadata copy = r;
    EXPECT_EQ(copy.rowid, 9u);
    EXPECT_EQ(copy.header_bytes, r.header_bytes);
    r.reset();
    EXPECT_EQ(r.identifier, -1);
    EXPECT_EQ(r.rowid, 0u);
    EXPECT_TRUE(r.header_bytes.empty());
    EXPECT_TRUE(r.signature_text.empty());
    std::vector<unsigned> sizes;
    EXPECT_EQ(r.populate_record(0, nullptr, sizes, false, 0, 0, 0, 0), 0);  // the base refuses every row
}

TEST(RecordBase, ExtraDataText) {
    sqlite_metadata r;
    r.flags = kSourceCarveMain << kSourceShift;
    r.record_offset = 0x1f40;
    r.truncated = 1;
    r.rowid = 12;
    std::ostringstream os;
    r.output_extra_data(os, "n", true, true, true, true);
    EXPECT_EQ(
        os.str(),
        "{n={\"src\":\"carve main\"; \"record offset\":\"0x1f40\"; \"truncated\":\"true\"; \"rowid\":12}}");
    r.record_offset = 0;
    r.truncated = 0;
    std::ostringstream bare;
    r.output_extra_data(bare, "", false, true, true, false);
    EXPECT_EQ(bare.str(), "\"rowid\":12");
    r.record_offset = 0x123456;
    std::ostringstream big;
    big << std::hex;
    r.output_extra_data(big, "", false, true, false, false);
    big << 255;
    EXPECT_EQ(big.str(), "\"record offset\":\"0x123456\"255");  // no zero fill; left in decimal
    std::ostringstream rowid;
    r.output_rowid_data(rowid, "", false);
    EXPECT_EQ(rowid.str(), "={\"rowid\":12}");
    std::ostringstream braced;
    r.output_rowid_data(braced, "x", true);
    EXPECT_EQ(braced.str(), "{x={\"rowid\":12}}");
}

TEST(Stamping, FromSchemaRowAndTableRecord) {
    table_schema s = three_field_schema();
    sqlite_metadata r;
    r.column_mask = 0x10;
    set_metadata_from_schema(r, 0, 2, s);
    EXPECT_EQ(r.column_mask, 0x10u);  // a zero mask keeps the record's
    EXPECT_EQ(r.table_kind, 2u);
    EXPECT_EQ(r.signature_text, "id-pa-ty");
    EXPECT_EQ(r.signature_digest_text, s.signature_digest_text);
    set_metadata_from_schema(r, 0x7, 1, s);
    EXPECT_EQ(r.column_mask, 0x7u);

    recovered_record row;
    row.header_bytes = {4, 1, 13, 15};
    row.rowid = 77;
    row.truncated = 1;
    sqlite_metadata a;
    a.rowid = 5;
    set_metadata_from_row_artifact(a, row, 0, 1, s);
    EXPECT_EQ(a.header_bytes, row.header_bytes);
    EXPECT_EQ(a.rowid, 77u);
    EXPECT_EQ(a.truncated, 1);
    row.rowid = 0;
    row.header_bytes.clear();
    row.truncated = 0;
    set_metadata_from_row_artifact(a, row, 0, 1, s);
    EXPECT_EQ(a.rowid, 77u);  // a zero rowid and empty header keep the record's
    EXPECT_EQ(a.header_bytes.size(), 4u);
    EXPECT_EQ(a.truncated, 0);

    table_record t({"a"}, 3, 0);
    t.header_bytes = {2, 1};
    sqlite_metadata b;
    set_metadata_from_table_record(b, t, 1, 4, s);
    EXPECT_EQ(b.rowid, 3u);
    EXPECT_EQ(b.header_bytes, t.header_bytes);
    EXPECT_EQ(b.table_kind, 4u);
}

TEST(Populate, FromStringsHandsEveryColumnInOrder) {
    recording_record r;
    EXPECT_EQ(populate_record_from_strings(r, {"1", "", "toast"}, false, 0x40, 0x7, 3), 1);
    EXPECT_EQ(r.got, (std::vector<std::string>{"1", "", "toast"}));
    EXPECT_EQ(r.got_offset, 0x40u);
    EXPECT_EQ(r.got_mask, 0x7u);
    EXPECT_EQ(r.got_minimum, 3);
    EXPECT_EQ(r.got_source, 3u);
    EXPECT_EQ(populate_record_from_strings(r, {}, false, 0, 0, 1), 0);
    EXPECT_EQ(r.calls, 1);
    r.result = 0x102;
    EXPECT_EQ(populate_record_from_strings(r, {"x"}, false, 0, 0, 1), 2);  // the result as a byte
}

TEST(Populate, MappedOrdersByFieldBitAndReusesTheMap) {
    table_schema s = three_field_schema();
    // Columns arrive as the query returned them; bits say which role each field has.
    s.fields[0].column_bit = 4;
    s.fields[1].column_bit = 1;
    s.fields[2].column_bit = 2;
    recording_record r;
    ASSERT_EQ(populate_record_mapped(r, {"id", "payload", "type"}, false, 8, 0, 1, s), 1);
    EXPECT_EQ(r.got, (std::vector<std::string>{"payload", "type", "id"}));
    EXPECT_EQ(r.got_mask, 7u);
    EXPECT_EQ(s.column_mask, 7u);
    EXPECT_EQ(s.column_count, 3u);
    // Same mask and count: the map is used as it stands, even after the fields change.
    s.fields[0].present = 0;
    ASSERT_EQ(populate_record_mapped(r, {"a", "b", "c"}, false, 8, 7, 1, s), 1);
    EXPECT_EQ(r.got, (std::vector<std::string>{"b", "c", "a"}));
    // A different count rebuilds it from the fields marked present.
    ASSERT_EQ(populate_record_mapped(r, {"a", "b"}, false, 8, 7, 1, s), 1);
    EXPECT_EQ(r.got, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(r.got_mask, 3u);
    EXPECT_EQ(s.column_count, 2u);
    // One column more than the schema has fields: refused without a call.
    const int before = r.calls;
    EXPECT_EQ(populate_record_mapped(r, {"a", "b", "c", "d"}, false, 8, 7, 1, s), 0);
    EXPECT_EQ(r.calls, before);
}

TEST(Populate, MappedKeepsTheTopByteOfTheStoredMask) {
    table_schema s = three_field_schema();
    s.column_mask = 0x0100000000000000ull;
    recording_record r;
    ASSERT_EQ(populate_record_mapped(r, {"a", "b", "c"}, false, 0, 0, 1, s), 1);
    EXPECT_EQ(r.got_mask, 0x0100000000000007ull);
    // No field present: all columns in order with the hint.
    table_schema none = three_field_schema();
    for (auto& f : none.fields) f.present = 0;
    ASSERT_EQ(populate_record_mapped(r, {"a", "b"}, false, 0, 0x30, 1, none), 1);
    EXPECT_EQ(r.got, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(r.got_mask, 0x30u);
}

TEST(Populate, RecoveredRowsUseTheExtendedFillerWithColumnFlags) {
    table_schema s = three_field_schema();
    recovered_record row;
    row.values = {"1", "<toast/>", "toast"};
    row.record_offset = 0x2000;
    row.flags = kSourceMainSlack << kSourceShift;
    row.carried = 7;
    recording_record r;
    ASSERT_EQ(populate_record_from_row(r, row, false, s), 1);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.got_source, kSourceMainSlack);
    EXPECT_EQ(r.got_offset, 0x2000u);
    row.column_flags = {0, kColumnOverflowFlag, 0};
    row.carried = 0x107;
    ASSERT_EQ(populate_record_from_row(r, row, false, s), 1);
    EXPECT_EQ(r.ex_calls, 1);
    EXPECT_EQ(r.got_flags, (std::vector<unsigned>{0, kColumnOverflowFlag, 0}));
    EXPECT_EQ(r.got_mask, 0x107u);  // the record's own mask value
    row.values.push_back("extra");
    row.values.push_back("more");
    EXPECT_EQ(populate_record_from_row(r, row, false, s), 0);

    recording_record u;
    row.values = {"z", "y"};
    ASSERT_EQ(populate_record_from_row_unmapped(u, row, false), 1);
    EXPECT_EQ(u.ex_calls, 1);
    EXPECT_EQ(u.got, (std::vector<std::string>{"z", "y"}));
    EXPECT_EQ(u.got_minimum, 2);
    row.column_flags.clear();
    ASSERT_EQ(populate_record_from_row_unmapped(u, row, false), 1);
    EXPECT_EQ(u.calls, 1);
}

TEST(OutputHelpers, ColumnTextsLabelsAndPrefixes) {
    std::string t = "x";
    EXPECT_EQ(constant_column_text(t, kColNull), 1);
    EXPECT_EQ(t, "");
    EXPECT_EQ(constant_column_text(t, kColConst1 | 0x100), 1);
    EXPECT_EQ(t, "1");
    EXPECT_EQ(constant_column_text(t, kColInteger), 0);

    std::ostringstream os;
    write_column_type_label(os, kColInteger, 4);
    write_column_type_label(os, kColInteger | kColTimeFlag | (1u << kColTimeKindShift), 8);
    write_column_type_label(os, kColText, 123);
    write_column_type_label(os, kColReal, 8);
    write_column_type_label(os, 9, 2);
    os << std::setw(3) << 1;
    EXPECT_EQ(os.str(), "valu:004time:008strg:123real:008unkn:0021  ");

    std::ostringstream hex;
    write_hex_value(hex, 0xFFFFFFFFFFFFFFFEull);
    hex << ",";
    write_hex_value(hex, 0x123456789ull);
    hex << "," << 10;
    EXPECT_EQ(hex.str(), "fffffffe,123456789,10");

    std::ostringstream pr;
    write_printable_prefix(pr,
                           std::string("a\x01"
                                       "bcdef",
                                       7),
                           3);
    pr << "|";
    const std::uint8_t bin[] = {0x00, 0x01, 0xFF};
    write_printable_or_hex(pr, bin, 3);
    pr << "|";
    const std::uint8_t txt[] = {'h', 0x00, 'i'};
    write_printable_or_hex(pr, txt, 3);
    EXPECT_EQ(pr.str(), "abc|00 01 ff |hi");

    const std::uint8_t digits[] = {1, 2, 3, 9};
    EXPECT_EQ(match_digit_text(digits, 4, "123"), 3u);
    EXPECT_EQ(match_digit_text(digits, 2, "123"), 0u);
    EXPECT_EQ(match_digit_text(digits, 4, "124"), 0u);

    std::ostringstream ind;
    ind << std::setfill('*');
    write_record_indent(ind, 3);
    ind << std::setw(2) << 5;
    EXPECT_EQ(ind.str(), "   *5");

    sqlite_metadata m;
    std::ostringstream tr;
    write_trunc_state(m, tr);
    m.truncated = 1;
    write_trunc_state(m, tr);
    EXPECT_EQ(tr.str(), "oktrunc");

    std::ostringstream lp;
    EXPECT_EQ(write_letter_pairs(lp, {1, 0, 0, 0, 0, 4, 8, 3, 15, 0}, 4), 1);
    EXPECT_EQ(lp.str(), "idpa");
    EXPECT_EQ(write_letter_pairs(lp, {1, 0, 0, 0, 0, 4, 8, 3, 15, 0}, 1), 0);
    EXPECT_EQ(write_letter_pairs(lp, {1, 0, 0, 0, 0, 0, 8, 3}, 2), 0);
    std::ostringstream cut;
    EXPECT_EQ(write_letter_pairs(cut, {1, 0, 0, 0, 0, 200, 8, 3}, 2), 1);  // a count past the end stops there
    EXPECT_EQ(cut.str(), "id");
}

}  // namespace
