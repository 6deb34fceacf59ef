// The four notification record kinds: which value goes to which column under a mask, the refusals, the
// GUID and byte-column rules with their tags, the derived application name and the handler dates.
#include "notifications/records.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// Owns the values of one row and hands them out as the char** the fillers take; values may hold zero
// bytes, and `null_at` marks SQL NULLs.
class row {
  public:
    explicit row(std::vector<std::string> values, std::vector<bool> null_at = {})
        : values_(std::move(values)), null_at_(std::move(null_at)) {
        null_at_.resize(values_.size(), false);
        for (std::size_t i = 0; i < values_.size(); ++i) {
            ptrs_.push_back(null_at_[i] ? nullptr : &values_[i][0]);
            sizes_.push_back(static_cast<unsigned>(values_[i].size()));
        }
    }
    int count() const { return static_cast<int>(values_.size()); }
    char** values() { return ptrs_.data(); }
    std::vector<unsigned>& sizes() { return sizes_; }

  private:
    std::vector<std::string> values_;
    std::vector<bool> null_at_;
    std::vector<char*> ptrs_;
    std::vector<unsigned> sizes_;
};

std::uint64_t bits(std::initializer_list<int> positions) {
    std::uint64_t m = 0;
    for (int p : positions) m |= 1ull << p;
    return m;
}

std::string guid_bytes(const _16_byte_block& b) {
    return std::string(reinterpret_cast<const char*>(b.bytes()), 16);
}

TEST(NotificationRecord, MaskedColumnsTakeTheValuesInOrder) {
    row r({"42", "68", "<toast>hi</toast>"});
    notification_record n;
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), no_sizes, false, 0, bits({0, 2, 5}), 3, 1), 1);
    EXPECT_EQ(n.order, 42u);
    EXPECT_EQ(n.id, 0u);
    EXPECT_EQ(n.handler_id, 68u);
    EXPECT_EQ(n.payload, "<toast>hi</toast>");
    EXPECT_EQ(n.type, "");
    EXPECT_EQ(n.payload_type, "xml");
}

TEST(NotificationRecord, EveryColumnOfAFullRowLandsInItsField) {
    const std::string guid("0123456789abcdef", 16);
    row r({"1", "2", "3", guid, "toast", "p", "t", "g", "100", "200", "5", "Xml", "0x10", "1"});
    notification_record n;
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), no_sizes, false, 0, 16383, 14, 1), 1);
    EXPECT_EQ(n.order, 1u);
    EXPECT_EQ(n.id, 2u);
    EXPECT_EQ(n.handler_id, 3u);
    EXPECT_EQ(guid_bytes(n.activity_id), guid);
    EXPECT_EQ(n.type, "toast");
    EXPECT_EQ(n.payload, "p");
    EXPECT_EQ(n.tag, "t");
    EXPECT_EQ(n.group, "g");
    EXPECT_EQ(n.expiry_time, 100u);
    EXPECT_EQ(n.arrival_time, 200u);
    EXPECT_EQ(n.data_version, 5u);
    EXPECT_EQ(n.payload_type, "Xml");
    EXPECT_EQ(n.boot_id, 16u);
    EXPECT_EQ(n.expires_on_reboot, 1u);
}

TEST(NotificationRecord, RowsShortOfTheMinimumAndNullRowsAreRefused) {
    row r({"1", "2"});
    notification_record n;
    std::vector<unsigned> no_sizes;
    EXPECT_EQ(n.populate_record(r.count(), r.values(), no_sizes, true, 0x40, bits({0, 1, 2}), 3, 3), 0);
    EXPECT_EQ(n.populate_record(3, nullptr, no_sizes, true, 0x40, bits({0, 1, 2}), 3, 3), 0);
    // A refused row leaves the record untouched, base part included.
    EXPECT_EQ(n.order, 0u);
    EXPECT_EQ(n.record_offset, 0u);
    EXPECT_EQ(n.flags, 0u);
}

TEST(NotificationRecord, ValuesRunningOutLeaveTheLaterColumnsEmpty) {
    row r({"7", "8"});
    notification_record n;
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), no_sizes, false, 0, bits({0, 1, 2, 4}), 2, 1), 1);
    EXPECT_EQ(n.order, 7u);
    EXPECT_EQ(n.id, 8u);
    EXPECT_EQ(n.handler_id, 0u);
    EXPECT_EQ(n.type, "");
}

TEST(NotificationRecord, FillStoresFlagOffsetAndSourceKeepingTheLowFlagBits) {
    row r({"1"});
    notification_record n;
    n.flags = 3;
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), no_sizes, true, 0x1f40, 1, 1, 12), 1);
    EXPECT_EQ(n.recovered, 1u);
    EXPECT_EQ(n.record_offset, 0x1f40u);
    EXPECT_EQ(n.source_code(), 12u);
    EXPECT_EQ(n.flags & 3u, 3u);
}

TEST(NotificationRecord, ShortGuidStaysZeroAndTheNextColumnTakesTheNextValue) {
    row r({std::string(15, 'x'), "toast"});
    notification_record n;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), r.sizes(), false, 0, bits({3, 4}), 2, 1), 1);
    EXPECT_EQ(guid_bytes(n.activity_id), std::string(16, '\0'));
    EXPECT_EQ(n.type, "toast");
}

TEST(NotificationRecord, GuidWithZeroBytesIsKeptWholeWhenItsSizeIsGiven) {
    const std::string guid("\x00\x01\x00\x02\x00\x00\x00\x03\x04\x00\x05\x00\x00\x06\x00\x07", 16);
    row r({guid});
    notification_record n;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), r.sizes(), false, 0, bits({3}), 1, 1), 1);
    EXPECT_EQ(guid_bytes(n.activity_id), guid);
    // Without sizes the value reads as a text that ends at its first zero byte: too short for a GUID.
    notification_record m;
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(m.populate_record(r.count(), r.values(), no_sizes, false, 0, bits({3}), 1, 1), 1);
    EXPECT_EQ(guid_bytes(m.activity_id), std::string(16, '\0'));
}

TEST(NotificationRecord, PayloadIsCleanedToOneLine) {
    row r({"<toast>\r\n   <visual>\t<text>a</text></visual>\n</toast>"});
    notification_record n;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), r.sizes(), false, 0, bits({5}), 1, 1), 1);
    EXPECT_EQ(n.payload, "<toast><visual><text>a</text></visual></toast>");
}

TEST(NotificationRecord, PayloadStoppingAtAZeroByteIsTagged) {
    // The zero byte is far from the end: the value is damaged.
    row damaged({std::string("<badge value=\"1\"/>\0garbage", 26)});
    notification_record n;
    ASSERT_EQ(
        n.populate_record(damaged.count(), damaged.values(), damaged.sizes(), false, 0, bits({5}), 1, 1), 1);
    EXPECT_EQ(n.payload, "<badge value=\"1\"/> [corrupted data detected]");

    // Exactly 4 bytes after the text: the place of a cell's overflow page number.
    row overflow_pointer({std::string("<toast>abc", 10) + std::string("\0\0\x01\x02", 4)});
    notification_record o;
    ASSERT_EQ(o.populate_record(overflow_pointer.count(), overflow_pointer.values(), overflow_pointer.sizes(),
                                false, 0, bits({5}), 1, 2),
              1);
    EXPECT_EQ(o.payload, "<toast>abc [possible overflow page not parsed]");

    // A value without a zero byte gets no tag.
    row clean({"<toast/>"});
    notification_record c;
    ASSERT_EQ(c.populate_record(clean.count(), clean.values(), clean.sizes(), false, 0, bits({5}), 1, 1), 1);
    EXPECT_EQ(c.payload, "<toast/>");
}

TEST(NotificationRecord, OverflowFlagTagsPayloadTagAndGroup) {
    row r({std::string("<toast>\0", 8), "tag", "grp", "toast"});
    std::vector<unsigned> flags = {kColumnOverflowFlag, kColumnOverflowFlag, kColumnOverflowFlag,
                                   kColumnOverflowFlag};
    notification_record n;
    ASSERT_EQ(
        n.populate_record_ex(r.count(), r.values(), r.sizes(), flags, false, 0, bits({5, 6, 7, 11}), 4, 3),
        1);
    // The overflow tag takes the place of the stop tag.
    EXPECT_EQ(n.payload, "<toast> [overflow page]");
    EXPECT_EQ(n.tag, "tag [overflow page]");
    EXPECT_EQ(n.group, "grp [overflow page]");
    EXPECT_EQ(n.payload_type, "toast");

    std::vector<unsigned> clear_flags = {0, 0, 0, 0};
    notification_record m;
    ASSERT_EQ(
        m.populate_record_ex(r.count(), r.values(), r.sizes(), clear_flags, false, 0, bits({5, 6, 7}), 3, 3),
        1);
    EXPECT_EQ(m.tag, "tag");
}

// A value is read no further than its stated length, as when the library lends a blob with no zero byte
// after it: as a number, as a text, and as a Tag left where the reader holds it.
TEST(NotificationRecord, ValuesAreReadNoFurtherThanTheirLength) {
    row r({"17999", "toastXYZ", "tagXYZ", "grpXYZ"});
    r.sizes() = {2, 5, 3, 3};
    notification_record n;
    n.payload_reference_from = 3;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), r.sizes(), false, 0, bits({2, 4, 6, 7}), 4, 1), 1);
    EXPECT_EQ(n.handler_id, 17u);
    EXPECT_EQ(n.type, "toast");
    ASSERT_NE(n.large_tag.bytes, nullptr);
    EXPECT_EQ(std::string(n.large_tag.bytes, n.large_tag.size), "tag");
    EXPECT_TRUE(n.tag.empty());
    EXPECT_EQ(std::string(n.large_group.bytes, n.large_group.size), "grp");
}

TEST(NotificationRecord, ClearCopyAndAssignmentCoverEveryField) {
    row r({"9", std::string("0123456789abcdef", 16), "payload"});
    notification_record n;
    ASSERT_EQ(n.populate_record(r.count(), r.values(), r.sizes(), true, 0x2000, bits({1, 3, 5}), 3, 3), 1);
    n.rowid = 77;
    notification_record copy(n);
    EXPECT_EQ(copy.id, 9u);
    EXPECT_EQ(guid_bytes(copy.activity_id), "0123456789abcdef");
    EXPECT_EQ(copy.payload, "payload");
    EXPECT_EQ(copy.rowid, 77u);
    EXPECT_EQ(copy.source_code(), 3u);
    notification_record assigned;
    assigned = n;
    EXPECT_EQ(assigned.record_offset, 0x2000u);
    EXPECT_EQ(assigned.payload, "payload");

    n.clear();
    EXPECT_EQ(n.id, 0u);
    EXPECT_EQ(guid_bytes(n.activity_id), std::string(16, '\0'));
    EXPECT_EQ(n.payload, "");
    EXPECT_EQ(n.payload_type, "xml");
}

TEST(NotificationRecord, FillsThroughTheBaseClass) {
    row r({"5"});
    notification_record n;
    sqlite_metadata& base = n;
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(base.populate_record(r.count(), r.values(), no_sizes, false, 0, 1, 1, 1), 1);
    EXPECT_EQ(n.order, 5u);
}

TEST(HandlerRecord, DerivedApplicationNames) {
    EXPECT_EQ(derive_app_name("Microsoft.Windows.Photos_8wekyb3d8bbwe!App"), "Microsoft.Windows.Photos");
    EXPECT_EQ(derive_app_name("Publisher!Second"), "Second");
    EXPECT_EQ(derive_app_name("Microsoft_Office_Outlook"), "Microsoft_Office");
    EXPECT_EQ(derive_app_name("Windows.SystemToast.Calling"), "Windows.SystemToast.Calling");
    // A "_" after the "!" does not count.
    EXPECT_EQ(derive_app_name("Name!Second_part"), "Second_part");
    EXPECT_EQ(derive_app_name("a_b!c_d"), "a");
    EXPECT_EQ(derive_app_name(""), "");
}

TEST(HandlerRecord, FullRowWithDatesAndDerivedName) {
    row r({"68", "Microsoft.Windows.Photos_8wekyb3d8bbwe!App", "wns", "app:desktop", "0x41c64e6da3bc0075",
           "props\r\n  more", "2020-12-11 19:09:13", "not a date", "parent", "S-1-15"});
    notification_handler_record h;
    ASSERT_EQ(h.populate_record(r.count(), r.values(), r.sizes(), false, 0, 2043, 10, 1), 1);
    EXPECT_EQ(h.record_id, 68u);
    EXPECT_EQ(h.primary_id, "Microsoft.Windows.Photos_8wekyb3d8bbwe!App");
    EXPECT_EQ(h.secondary_id, "");
    EXPECT_EQ(h.wns_id, "wns");
    EXPECT_EQ(h.handler_type, "app:desktop");
    EXPECT_EQ(h.wnf_event_name, 0x41c64e6da3bc0075ull);
    EXPECT_EQ(h.system_data_property_set, "propsmore");
    EXPECT_EQ(h.created_time, "2020-12-11 19:09:13");
    // 2020-12-11 19:09:13 UTC.
    EXPECT_EQ(h.created_filetime, 132521873530000000ull);
    EXPECT_EQ(h.modified_time, "not a date");
    EXPECT_EQ(h.modified_filetime, 0u);
    EXPECT_EQ(h.parent_id, "parent");
    EXPECT_EQ(h.container_sid, "S-1-15");
    EXPECT_EQ(h.app_name, "Microsoft.Windows.Photos");
}

TEST(HandlerRecord, SecondIdentifierNamesTheApplicationOnlyWhenTheFirstGaveNone) {
    row empty_first({"1", "", "Other_x"});
    notification_handler_record a;
    ASSERT_EQ(
        a.populate_record(empty_first.count(), empty_first.values(), empty_first.sizes(), false, 0, 7, 3, 1),
        1);
    EXPECT_EQ(a.app_name, "Other");

    row both({"1", "First_x", "Other_x"});
    notification_handler_record b;
    ASSERT_EQ(b.populate_record(both.count(), both.values(), both.sizes(), false, 0, 7, 3, 1), 1);
    EXPECT_EQ(b.app_name, "First");
    EXPECT_EQ(b.secondary_id, "Other_x");
}

TEST(HandlerRecord, ByteColumnGetsTheStopTag) {
    row r({std::string("ab\0cdefgh", 9)});
    notification_handler_record h;
    ASSERT_EQ(h.populate_record(r.count(), r.values(), r.sizes(), false, 0, bits({6}), 1, 1), 1);
    EXPECT_EQ(h.system_data_property_set, "ab [corrupted data detected]");
}

TEST(HandlerRecord, ClearAndCopy) {
    row r({"3", "App_1", "", "", "", "", "2021-01-02 03:04:05"});
    notification_handler_record h;
    ASSERT_EQ(
        h.populate_record(r.count(), r.values(), r.sizes(), false, 0, bits({0, 1, 3, 4, 5, 6, 7}), 7, 1), 1);
    notification_handler_record c(h);
    EXPECT_EQ(c.app_name, "App");
    EXPECT_NE(c.created_filetime, 0u);
    h.clear();
    EXPECT_EQ(h.record_id, 0u);
    EXPECT_EQ(h.created_filetime, 0u);
    EXPECT_EQ(h.app_name, "");
    EXPECT_EQ(h.created_time, "");
}

// The FILETIME of a UTC date and time, worked out apart from the code under test.
std::uint64_t utc_filetime(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return (static_cast<std::uint64_t>(::timegm(&tm)) + 11644473600ull) * 10000000ull +
           static_cast<std::uint64_t>(ms) * 10000ull;
}

// A time text whose fields name no date that exists gives no time, where the conversion alone would roll it
// into a real one; a real date in each form read keeps the value it always had.
TEST(HandlerRecord, TimeTextsThatNameNoDateGiveNoTime) {
    struct time_case {
        const char* text;
        bool real;
        std::uint64_t filetime;
    };
    const std::vector<time_case> cases = {
        {"2021-02-29 12:00:00", false, 0},
        {"0000-00-00 00:00:00", false, 0},
        {"2020-02-30 25:61:61", false, 0},
        {"1999-12-31 24:00:00", false, 0},
        {"2021-06-31", false, 0},
        {"2021-00-10", false, 0},
        {"2021-01-01 10:00:60", false, 0},
        {"2021-01-01 10:60:00", false, 0},
        {"2021-01-01 13:00 pm", false, 0},
        // Fields the conversion would keep 16 bits of: 65546 hours read as 10.
        {"2021-01-01 65546:00:00", false, 0},
        {"70000-01-01", false, 0},
        {"10:00:60", false, 0},
        {"2021-13-45 10:00:00", false, 0},
        {"not a date", false, 0},
        {"", false, 0},
        {"2020-02-29 23:59:59", true, utc_filetime(2020, 2, 29, 23, 59, 59)},
        {"2021-06-30", true, utc_filetime(2021, 6, 30, 0, 0, 0)},
        {"2021-06-30 ", true, utc_filetime(2021, 6, 30, 0, 0, 0)},
        {"21-06-30 10:00", true, utc_filetime(2021, 6, 30, 10, 0, 0)},
        {"2021-06-30T10:00:00", true, utc_filetime(2021, 6, 30, 10, 0, 0)},
        {"2021-06-30 10:00:00.123", true, utc_filetime(2021, 6, 30, 10, 0, 0, 123)},
        {"2021-6-3 1:2:3", true, utc_filetime(2021, 6, 3, 1, 2, 3)},
        {"2021-06-30 10:00 pm", true, utc_filetime(2021, 6, 30, 22, 0, 0)},
        {"2021-06-30 12:00:00 am", true, utc_filetime(2021, 6, 30, 0, 0, 0)},
        {"2021-12-31 23:59:59", true, utc_filetime(2021, 12, 31, 23, 59, 59)},
        // A real time whose milliseconds round up to the next second.
        {"2021-06-30 10:00:59.9996", true, utc_filetime(2021, 6, 30, 10, 1, 0)},
        // A real date with no value to print keeps the verdict apart from the value.
        {"1601-01-01 00:00:00", true, 0},
    };
    for (const time_case& c : cases) {
        std::uint64_t filetime = 1;
        EXPECT_EQ(handler_time_filetime(c.text, filetime), c.real) << c.text;
        EXPECT_EQ(filetime, c.filetime) << c.text;
        row r({"1", "App_1", "", "", "", "", c.text, c.text});
        notification_handler_record h;
        ASSERT_EQ(h.populate_record(r.count(), r.values(), r.sizes(), false, 0,
                                    bits({0, 1, 3, 4, 5, 6, 7, 8}), 8, 1),
                  1);
        EXPECT_EQ(h.created_filetime, c.filetime) << c.text;
        EXPECT_EQ(h.modified_filetime, c.filetime) << c.text;
    }
}

TEST(PushChannelRecord, FillsItsSixColumns) {
    row r({"chan", "68", "https://x", "100", "200", "3"});
    wns_push_channel_record p;
    EXPECT_EQ(p.handler_id, 0u);
    ASSERT_EQ(p.populate_record(r.count(), r.values(), r.sizes(), false, 0, 63, 6, 1), 1);
    EXPECT_EQ(p.channel_id, "chan");
    EXPECT_EQ(p.handler_id, 68u);
    EXPECT_EQ(p.uri, "https://x");
    EXPECT_EQ(p.expiry_time, 100u);
    EXPECT_EQ(p.created_time, 200u);
    EXPECT_EQ(p.device_version, 3u);
    wns_push_channel_record copy;
    copy = p;
    EXPECT_EQ(copy.uri, "https://x");
}

TEST(SettingsRecord, FillsThroughEitherFiller) {
    row r({"68", "s:toast", "1"}, {false, false, false});
    handler_settings_record s;
    std::vector<unsigned> no_sizes;
    std::vector<unsigned> no_flags;
    // Without the values' kinds the value is an integer, as populate_record takes it.
    ASSERT_EQ(s.populate_record_ex(r.count(), r.values(), no_sizes, no_flags, false, 0, 7, 3, 1), 1);
    EXPECT_EQ(s.value, 1u);
    EXPECT_EQ(s.kind, setting_kind::integer);
    s = handler_settings_record();
    ASSERT_EQ(s.populate_record(r.count(), r.values(), no_sizes, false, 0, 7, 3, 1), 1);
    EXPECT_EQ(s.handler_id, 68u);
    EXPECT_EQ(s.setting_key, "s:toast");
    EXPECT_EQ(s.value, 1u);
    EXPECT_EQ(s.populate_record(r.count(), r.values(), no_sizes, false, 0, 7, 4, 1), 0);
}

TEST(SettingsRecord, NullValuesReadAsEmpty) {
    row r({"", "", ""}, {true, true, true});
    handler_settings_record s;
    s.setting_key = "old";
    std::vector<unsigned> no_sizes;
    ASSERT_EQ(s.populate_record(r.count(), r.values(), no_sizes, false, 0, 7, 3, 1), 1);
    EXPECT_EQ(s.handler_id, 0u);
    EXPECT_EQ(s.setting_key, "");
}

}  // namespace
