#include "notifications/report_delimited.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "report_records.h"
#include "test_run.h"

namespace {

using namespace report_records;

std::vector<std::string> header_labels(const test_run& options) {
    std::vector<std::string> labels;
    for (const qm_variant_lite& cell : options.header_fields) labels.push_back(cell.text);
    return labels;
}

TEST(DelimitedHeader, PlainColumnsAndWidths) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "/evidence/wpndatabase.db"}));
    options.db_path = "/evidence/wpndatabase.db";
    build_delimited_header_template(options);
    const std::vector<std::string> expected = {"Notification ArrivalTime",
                                               "Notification ExpiryTime",
                                               "Handler CreatedTime",
                                               "Handler ModifiedTime",
                                               "PushChannel CreatedTime",
                                               "PushChannel ExpiryTime",
                                               "Type",
                                               "Source of Notification",
                                               "Misc data",
                                               "DB",
                                               "Payload",
                                               "PushChannel Uri"};
    EXPECT_EQ(header_labels(options), expected);
    const std::vector<qm_variant_lite>& h = options.header_fields;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(h[i].width, 24u) << i;
        EXPECT_EQ(h[i].type, 16) << i;
    }
    EXPECT_EQ(h[6].width, 5u);
    EXPECT_EQ(h[7].width, 22u);
    EXPECT_EQ(h[8].width, 12u);
    EXPECT_EQ(h[9].width, options.db_path.size());
    EXPECT_EQ(h[10].width, 36u);
    EXPECT_EQ(h[11].width, 15u);

    const delimited_columns c = delimited_column_positions(false, false);
    EXPECT_EQ(c.misc_data, 8);
    EXPECT_EQ(c.db, 9);
    EXPECT_EQ(c.channel_uri, 11);
    EXPECT_EQ(c.order, -1);
    EXPECT_EQ(c.settings, -1);
}

TEST(DelimitedHeader, AllFieldsAndSettingsGiveTwentyFiveColumns) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "x.db", "-all_fields", "-incl_settings", "-incl_slack"}));
    build_delimited_header_template(options);
    const std::vector<std::string> labels = header_labels(options);
    ASSERT_EQ(labels.size(), 25u);
    EXPECT_EQ(labels[8], "Order");
    EXPECT_EQ(labels[10], "HandlerId");
    EXPECT_EQ(labels[11], "ActivityId");
    EXPECT_EQ(labels[16], "Misc data");
    EXPECT_EQ(labels[19], "Handler PrimaryId");
    EXPECT_EQ(labels[20], "Handler WNSId");
    EXPECT_EQ(labels[24], "Settings");
    EXPECT_EQ(options.header_fields[16].width, 73u);  // slack recovery widens the source text
    EXPECT_EQ(options.header_fields[19].width, 89u);
    EXPECT_EQ(options.header_fields[24].width, 50u);
    // Every label fits its column.
    for (const qm_variant_lite& cell : options.header_fields) {
        if (cell.text != "DB") {
            EXPECT_LE(cell.text.size(), cell.width) << cell.text;
        }
    }

    const delimited_columns c = delimited_column_positions(true, true);
    EXPECT_EQ(c.payload_type, 15);
    EXPECT_EQ(c.db, 21);
    EXPECT_EQ(c.settings, 24);
}

TEST(DelimitedHeader, CsvHasNoWidths) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "x.db", "-csv"}));
    build_delimited_header_template(options);
    for (const qm_variant_lite& cell : options.header_fields) EXPECT_EQ(cell.width, 0u) << cell.text;
    std::ostringstream os;
    ASSERT_EQ(write_delimited_header(os, options), 1);
    EXPECT_EQ(
        os.str(),
        "Notification ArrivalTime,Notification ExpiryTime,Handler CreatedTime,Handler ModifiedTime,"
        "PushChannel CreatedTime,PushChannel ExpiryTime,Type,Source of Notification,Misc data,DB,Payload,"
        "PushChannel Uri\n");
    EXPECT_FALSE(options.header_on);
}

// Renders one row in "-csv" form (no padding) and returns its cells.
std::vector<std::string> csv_row(test_run& options, const notification_record& n, const handler_entry* h,
                                 const channel_entry* c) {
    std::ostringstream header;
    write_delimited_header(header, options);
    std::ostringstream os;
    EXPECT_EQ(write_delimited_row(os, report_view(options), n, h, c), 1);
    std::vector<std::string> cells;
    std::string text = os.str();
    EXPECT_FALSE(text.empty());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(',', start);
        cells.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return cells;
}

std::string strip(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b);
}

TEST(DelimitedRow, JoinedRecordFillsEveryColumn) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "/cases/wpn.db", "-csv", "-incl_settings"}));
    options.db_path = "/cases/wpn.db";
    set_full_masks(options);
    add_handler(options, 7, "Contoso.Mail_1a2b!App", "Contoso.Mail");
    add_channel(options, 7, "https://wns/token");
    add_setting(options, 7, "s:toast", 1);
    notification_record n = notification(5, 7, "toast", "<toast/>");
    const std::vector<std::string> cells =
        csv_row(options, n, &options.store.handlers[0], &options.store.push_channels[0]);
    ASSERT_EQ(cells.size(), 13u);
    EXPECT_EQ(strip(cells[0]), "2020-12-11 19:11:35.902");
    EXPECT_EQ(strip(cells[1]), "2020-12-11 19:12:35.902");
    EXPECT_EQ(cells[2], "");  // the handler's date texts were never read
    EXPECT_EQ(strip(cells[4]), "2020-12-11 19:11:35.902");
    EXPECT_EQ(strip(cells[5]), "2020-12-11 19:12:35.902");
    EXPECT_EQ(cells[6], "toast");
    EXPECT_EQ(cells[7], "Contoso.Mail");
    EXPECT_EQ(cells[8], "{\"src\":\"sqlite lib\"}");
    EXPECT_EQ(cells[9], "/cases/wpn.db");
    EXPECT_EQ(cells[10], "<toast/>");
    EXPECT_EQ(cells[11], "https://wns/token");
    EXPECT_EQ(cells[12], "[\"s:toast\":\"1\"]");
}

TEST(DelimitedRow, MissingJoinsAndZeroValuesLeaveCellsEmpty) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "d.db", "-csv", "-all_fields", "-incl_settings"}));
    options.db_path = "d.db";
    set_full_masks(options);
    notification_record n = notification(0, 0, "", "");
    n.arrival_time = 0;
    n.payload_type.clear();
    const std::vector<std::string> cells = csv_row(options, n, nullptr, nullptr);
    ASSERT_EQ(cells.size(), 25u);
    EXPECT_EQ(cells[0], "");
    EXPECT_EQ(cells[6], "");
    EXPECT_EQ(cells[7], "");
    // Order, Id and HandlerId print even when 0, because the table has those columns.
    EXPECT_EQ(cells[8], "0");
    EXPECT_EQ(cells[9], "1000");
    EXPECT_EQ(cells[10], "0");
    EXPECT_EQ(cells[11], "");  // all-zero GUID
    EXPECT_EQ(cells[14], "");  // DataVersion 0
    EXPECT_EQ(cells[21], "d.db");
    EXPECT_EQ(cells[24], "");  // no handler: no settings brackets

    // Without the Order column in the record's table the cell stays empty.
    n.column_mask &= ~std::uint64_t{1};
    options.header_on = true;
    const std::vector<std::string> again = csv_row(options, n, nullptr, nullptr);
    EXPECT_EQ(again[8], "");
}

TEST(DelimitedRow, EachMaskBitBlanksOnlyItsOwnCell) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "m.db", "-csv", "-all_fields"}));
    options.db_path = "m.db";
    set_full_masks(options);
    notification_record n = notification(5, 7, "toast", "<toast/>");
    const std::uint64_t full = n.column_mask;
    options.header_on = true;
    const std::vector<std::string> all = csv_row(options, n, nullptr, nullptr);
    const delimited_columns c = delimited_column_positions(true, false);
    ASSERT_EQ(all[c.order], "5");
    ASSERT_EQ(all[c.id], "1005");
    ASSERT_EQ(all[c.handler_id], "7");
    for (const auto& bit : {std::pair<int, int>{0, c.order}, {1, c.id}, {2, c.handler_id}}) {
        n.column_mask = full & ~(std::uint64_t{1} << bit.first);
        options.header_on = true;
        std::vector<std::string> expected = all;
        expected[static_cast<std::size_t>(bit.second)].clear();
        EXPECT_EQ(csv_row(options, n, nullptr, nullptr), expected) << "bit " << bit.first;
    }
}

TEST(DelimitedRow, GuidAndRecoveredSources) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "w.db", "-csv", "-all_fields", "-incl_slack"}));
    options.db_path = "w.db";
    set_full_masks(options);
    notification_record n = recovered(notification(1, 2, "tile", "<tile/>"), kSourceWalSlack, 0x3000);
    const unsigned char guid[16] = {0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                                    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    n.activity_id.set(guid);
    std::vector<std::string> cells = csv_row(options, n, nullptr, nullptr);
    ASSERT_EQ(cells.size(), 24u);
    EXPECT_EQ(cells[11], "12345678-1234-5678-0102-030405060708");
    EXPECT_EQ(cells[16], "{\"src\":\"wal file slack in valid page\"; \"record offset\":\"0x3000\"}");
    EXPECT_EQ(cells[21], "w.db-wal");

    notification_record j = recovered(notification(1, 2, "tile", "<tile/>"), kSourceCarveJournal, 0x3000);
    cells = csv_row(options, j, nullptr, nullptr);
    EXPECT_EQ(cells[21], "w.db");
    // The flag decides, not the code: a library record never gets the "-wal" suffix.
    notification_record lib = notification(1, 2, "tile", "<tile/>");
    lib.flags = kSourceCarveWal << kSourceShift;
    EXPECT_EQ(record_db_text(lib, "w.db"), "w.db");
    EXPECT_EQ(record_db_text(recovered(lib, kSourceCarveWal, 0), "w.db"), "w.db-wal");
}

TEST(DelimitedRow, PaddedRowsLineUpUnderTheHeader) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "/x/y.db"}));
    options.db_path = "/x/y.db";
    set_full_masks(options);
    add_handler(options, 3, "App_1!App", "App");
    notification_record n = notification(1, 3, "badge", "<badge value=\"2\"/>");
    std::ostringstream os;
    ASSERT_EQ(write_delimited_header(os, options), 1);
    ASSERT_EQ(write_delimited_row(os, report_view(options), n, &options.store.handlers[0], nullptr), 1);
    const std::vector<std::string> out = lines_of(os.str());
    ASSERT_EQ(out.size(), 2u);
    // Each separator of the header stands where the row's stands, up to the source texts that may overflow.
    std::size_t h = 0, r = 0;
    for (int i = 0; i < 8; ++i) {
        h = out[0].find(" | ", h + 1);
        r = out[1].find(" | ", r + 1);
        ASSERT_NE(h, std::string::npos);
        EXPECT_EQ(h, r) << "separator " << i;
    }
}

// One record of RFC 4180 text: fields split at `sep`; a field that begins with a double quote runs to the
// quote that is not doubled ("" inside gives one quote) and must be followed by `sep` or the end; any other
// field is taken as it stands, quotes included, as common readers do. False for a malformed record.
bool read_csv_record(const std::string& line, char sep, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) return false;
                if (line[i] == '"' && (i + 1 >= line.size() || line[i + 1] != '"')) break;
                if (line[i] == '"') ++i;
                field += line[i];
            }
            ++i;
            if (i < line.size() && line[i] != sep) return false;
        } else {
            while (i < line.size() && line[i] != sep) field += line[i++];
        }
        fields.push_back(field);
        if (i >= line.size()) return true;
        ++i;
    }
}

TEST(DelimitedRow, QuotedCsvRowsParseToTheHeaderColumnCount) {
    const std::string db = "/cases/a,b \"x\".db";
    const std::string payload = "<toast launch=\"a,b\"><text>Hi, \"you\"</text></toast>";
    for (const bool all_fields : {false, true}) {
        test_run options;
        std::vector<std::string> words = {"-db", db, "-csv", "-enable_quoted_csv_fields", "-incl_settings"};
        if (all_fields) words.push_back("-all_fields");
        ASSERT_TRUE(parse(options, words));
        options.db_path = db;
        set_full_masks(options);
        add_handler(options, 7, "Contoso,Mail_1!App", "Contoso, Ltd");
        add_channel(options, 7, "https://wns/?a=1,b=2");
        add_setting(options, 7, "s:toast", 1);
        std::vector<notification_record> records = {notification(1, 7, "toast", payload),
                                                    notification(2, 7, "tile", "line one,\r\nline \"two\""),
                                                    notification(3, 9, "badge", "")};
        records[0].tag = "t,1";
        records[0].group = "\"g\"";
        std::ostringstream os;
        ASSERT_EQ(write_delimited_header(os, options), 1);
        for (notification_record& n : records) {
            const handler_entry* h = n.handler_id == 7 ? &options.store.handlers[0] : nullptr;
            ASSERT_EQ(write_delimited_row(os, report_view(options), n, h,
                                          h != nullptr ? &options.store.push_channels[0] : nullptr),
                      1);
        }
        const std::vector<std::string> out = lines_of(os.str());
        ASSERT_EQ(out.size(), 1 + records.size());
        std::vector<std::string> head, cells;
        ASSERT_TRUE(read_csv_record(out[0], ',', head));
        ASSERT_EQ(head.size(), all_fields ? 25u : 13u);
        const delimited_columns c = delimited_column_positions(all_fields, true);
        for (std::size_t r = 1; r < out.size(); ++r) {
            ASSERT_TRUE(read_csv_record(out[r], ',', cells)) << out[r];
            EXPECT_EQ(cells.size(), head.size()) << out[r];
        }
        // The first row's texts come back whole; the JSON-like source text is quoted like every other.
        ASSERT_TRUE(read_csv_record(out[1], ',', cells));
        ASSERT_EQ(cells.size(), head.size());
        EXPECT_EQ(cells[c.payload], payload);
        EXPECT_EQ(cells[c.app_name], "Contoso, Ltd");
        EXPECT_EQ(cells[c.db], db);
        EXPECT_EQ(cells[c.channel_uri], "https://wns/?a=1,b=2");
        EXPECT_EQ(cells[c.settings], "[\"s:toast\":\"1\"]");
        EXPECT_EQ(cells[c.misc_data], "{\"src\":\"sqlite lib\"}");
        EXPECT_NE(out[1].find(",\"{\"\"src\"\":\"\"sqlite lib\"\"}\","), std::string::npos) << out[1];
        if (all_fields) {
            EXPECT_EQ(cells[c.tag], "t,1");
            EXPECT_EQ(cells[c.group], "\"g\"");
            EXPECT_EQ(cells[c.primary_id], "Contoso,Mail_1!App");
        }
    }
}

TEST(SettingsText, NonZeroSettingsInIndexOrder) {
    test_run options;
    ASSERT_TRUE(parse(options, {"-db", "s.db", "-csv", "-incl_settings"}));
    set_full_masks(options);
    add_handler(options, 9, "A_1!App", "A");
    // Settings are indexed before and after another handler's, as a table holds them.
    add_setting(options, 9, "a", 1);
    add_setting(options, 4, "other", 5);
    add_setting(options, 9, "b", 0);
    add_setting(options, 9, "c", 7);
    const notification_store& store = options.store;
    EXPECT_EQ(store.settings_text(9), "\"a\":\"1\"; \"c\":\"7\"");
    EXPECT_EQ(store.settings_text(4), "\"other\":\"5\"");
    // A row is written from a view of a run it cannot change, and shows the text as built.
    const selk_run& run = options;
    notification_record n = notification(1, 9, "toast", "<toast/>");
    const std::vector<std::string> cells = csv_row(options, n, &store.handlers[0], nullptr);
    EXPECT_EQ(cells[delimited_column_positions(false, true).settings], "[\"a\":\"1\"; \"c\":\"7\"]");
    std::ostringstream os;
    EXPECT_EQ(write_delimited_row(os, report_view(run), n, &store.handlers[0], nullptr), 1);
    EXPECT_NE(os.str().find(",[\"a\":\"1\"; \"c\":\"7\"]"), std::string::npos) << os.str();
}

TEST(SettingsText, EmptyCases) {
    test_run options;
    add_handler(options, 1, "A", "A");
    add_handler(options, 2, "B", "B");
    EXPECT_EQ(options.store.settings_text(1), "");
    add_setting(options, 1, "zero", 0);
    EXPECT_EQ(options.store.settings_text(1), "");
    // Another handler's settings are not this one's, and an id of no handler has none.
    add_setting(options, 2, "late", 3);
    EXPECT_EQ(options.store.settings_text(1), "");
    EXPECT_EQ(options.store.settings_text(2), "\"late\":\"3\"");
    EXPECT_EQ(options.store.settings_text(3), "");
    // A new database starts without them.
    options.store.clear();
    EXPECT_EQ(options.store.settings_text(2), "");
}

}  // namespace
