#include "sqlite_format/signatures.h"

#include <gtest/gtest.h>

namespace {

using bytes_t = std::vector<std::uint8_t>;

TEST(typed_varints, forward_text_and_blob_rules) {
    const bytes_t two_byte_text = {0x81, 0x01};
    EXPECT_EQ(2u, match_typed_varints_fwd(two_byte_text.data(), 2, 1, true));
    EXPECT_EQ(0u, match_typed_varints_fwd(two_byte_text.data(), 2, 1, false));  // odd: not a blob
    const bytes_t small_odd = {0x0B};
    EXPECT_EQ(0u, match_typed_varints_fwd(small_odd.data(), 1, 1, true));  // 11 cannot be a text type
    const bytes_t blobs = {0x0C, 0x20, 0x81, 0x00};
    EXPECT_EQ(4u, match_typed_varints_fwd(blobs.data(), 4, 3, false));
    EXPECT_EQ(0u, match_typed_varints_fwd(blobs.data(), 3, 3, false));  // the third is cut
    EXPECT_EQ(0u, match_typed_varints_fwd(nullptr, 3, 1, false));
}

TEST(typed_varints, backward_walk_stays_inside_the_bytes) {
    // [hdr 0x05] [0x17 text] [0x81 0x01 text]: walk back from the last byte.
    const bytes_t b = {0x05, 0x17, 0x81, 0x01};
    const std::uint8_t* last = b.data() + 3;
    EXPECT_EQ(-2, match_typed_varints_bwd(last, 3, 1, true));  // the byte before 0x81
    EXPECT_EQ(-3, match_typed_varints_bwd(last, 3, 2, true));  // the byte before 0x17
    EXPECT_EQ(0, match_typed_varints_bwd(last, 3, 3, true));   // 0x05 is not a text type
    EXPECT_EQ(-3, match_typed_varints_bwd(last, 2, 2, true));  // may begin at the first byte given
    EXPECT_EQ(0, match_typed_varints_bwd(last, 1, 2, true));   // 0x17 is out of reach
    EXPECT_EQ(-3, skip_varints_bwd(last, 3, 2));
    EXPECT_EQ(0, skip_varints_bwd(last, 1, 2));
    // A lone 0x01 cannot be a text type unless a continuation byte stands before it.
    const bytes_t lone = {0x00, 0x01};
    EXPECT_EQ(0, match_typed_varints_bwd(lone.data() + 1, 1, 1, true));
}

TEST(header_signature, forward_digits_and_typed_alternatives) {
    const char* patterns[] = {"1-", "1-"};
    const bytes_t hdr = {0x01, 0x17};
    EXPECT_EQ(2u, match_header_signature_fwd(hdr.data(), 2, 2, 0, patterns));
    const bytes_t hdr2 = {0x17, 0x01};
    EXPECT_EQ(2u, match_header_signature_fwd(hdr2.data(), 2, 2, 0, patterns));
    const bytes_t bad = {0x02, 0x17};
    EXPECT_EQ(0u, match_header_signature_fwd(bad.data(), 2, 2, 0, patterns));
    EXPECT_EQ(1u, match_header_signature_fwd(hdr.data() + 1, 1, 2, 1, patterns));  // from the second column
    EXPECT_EQ(0u, match_header_signature_fwd(hdr.data(), 1, 2, 0, patterns));      // too few bytes
    const char* hexed[] = {"x1b", "x81"};
    const bytes_t hx = {0x1B, 0x81, 0x01};
    EXPECT_EQ(3u, match_header_signature_fwd(hx.data(), 3, 2, 0, hexed));
    const char* zero[] = {"x0"};
    const bytes_t z = {0x00};
    EXPECT_EQ(0u, match_header_signature_fwd(z.data(), 1, 1, 0, zero));
    EXPECT_EQ(2u, match_header_signature(hdr.data(), 2, {"1", "-"}));
    EXPECT_EQ(0u, match_header_signature(hdr.data(), 2, {"-", "1"}));
}

TEST(header_signature, backward_reaches_the_header_size_byte) {
    // Record header: size 4, then text(5 bytes) 0x17, integer 0x01, blob 0x81 0x00.
    const bytes_t hdr = {0x05, 0x17, 0x01, 0x81, 0x00};
    const char* patterns[] = {"-", "1", "+"};
    const std::uint8_t* last = hdr.data() + 4;
    EXPECT_EQ(-4, match_header_signature_bwd(last, 4, 3, 2, patterns));
    EXPECT_EQ(hdr[0], last[-4]);
    EXPECT_EQ(0, match_header_signature_bwd(last, 3, 3, 2, patterns));  // the size byte is out of reach
    const char* wrong[] = {"+", "1", "+"};
    EXPECT_EQ(0, match_header_signature_bwd(last, 4, 3, 2, wrong));
    EXPECT_EQ(0, match_header_signature_bwd(last, 1, 3, 2, patterns));  // fewer bytes than the column index
}

TEST(masks, character_classes) {
    std::string out;
    const std::string hex = "0A1b";
    EXPECT_EQ(1, text_passes_mask(out, reinterpret_cast<const std::uint8_t*>(hex.data()), 4, kTextHexDigit));
    EXPECT_EQ(hex, out);
    const std::string not_hex = "0A1g";
    EXPECT_EQ(0,
              text_passes_mask(out, reinterpret_cast<const std::uint8_t*>(not_hex.data()), 4, kTextHexDigit));
    EXPECT_TRUE(out.empty());
    const std::string lines = "ab\tc\n";
    EXPECT_EQ(0,
              text_passes_mask(out, reinterpret_cast<const std::uint8_t*>(lines.data()), 5, kTextPrintable));
    EXPECT_EQ(1, text_passes_mask(out, reinterpret_cast<const std::uint8_t*>(lines.data()), 5,
                                  kTextPrintable | kTextExemptBreaks));
    const std::string upper = "abC";
    EXPECT_EQ(0,
              text_passes_mask(out, reinterpret_cast<const std::uint8_t*>(upper.data()), 3, kTextLowerAlpha));
    const bytes_t utf16 = {'t', 0, 'o', 0, 'a', 0, 's', 0, 't', 0};
    EXPECT_EQ(0, text_passes_mask(out, utf16.data(), 10, kTextPrintable));
    EXPECT_EQ(1, utf16_text_passes_mask(out, utf16.data(), 10, kTextPrintable));
    EXPECT_EQ("toast", out);
    const std::string six = "abcdef!x";
    EXPECT_EQ(1, text_prefix_passes_mask(out, reinterpret_cast<const std::uint8_t*>(six.data()), 4, 8,
                                         kTextLowerAlpha));
    EXPECT_EQ("abcdef", out);
    EXPECT_EQ(0, text_prefix_passes_mask(out, reinterpret_cast<const std::uint8_t*>(six.data()), 7, 8,
                                         kTextLowerAlpha));
    EXPECT_TRUE(out.empty());
}

// A record: header [size, serial types...] then the body.
bytes_t record(const bytes_t& types, const std::string& body) {
    bytes_t r;
    r.push_back(static_cast<std::uint8_t>(types.size() + 1));
    for (std::uint8_t t : types) r.push_back(t);
    for (char c : body) r.push_back(static_cast<std::uint8_t>(c));
    return r;
}

TEST(column_text, reads_and_checks_a_column) {
    // integer(1), const 0 (type 8), zero-length blob (type 12), text "toast" (0x17)
    const bytes_t r = record({0x01, 0x08, 0x0C, 0x17}, std::string("\x07", 1) + "toast");
    std::string out;
    EXPECT_EQ(1, get_column_text_checked(out, r.data(), static_cast<std::uint32_t>(r.size()), 3, 64,
                                         kTextLowerAlpha, 0, false, false));
    EXPECT_EQ("toast", out);
    // A given header size is used as is.
    EXPECT_EQ(1, get_column_text_checked(out, r.data(), static_cast<std::uint32_t>(r.size()), 3, 64,
                                         kTextLowerAlpha, 5, false, false));
    EXPECT_EQ("toast", out);
    // The wrong class, the wrong kind and a too-small maximum all fail.
    EXPECT_EQ(0, get_column_text_checked(out, r.data(), static_cast<std::uint32_t>(r.size()), 3, 64,
                                         kTextHexDigit, 0, false, false));
    EXPECT_EQ(0, get_column_text_checked(out, r.data(), static_cast<std::uint32_t>(r.size()), 3, 64,
                                         kTextLowerAlpha, 0, true, false));
    EXPECT_EQ(0, get_column_text_checked(out, r.data(), static_cast<std::uint32_t>(r.size()), 3, 4,
                                         kTextLowerAlpha, 0, false, false));
    EXPECT_EQ(1, get_column_text_checked(out, r.data(), static_cast<std::uint32_t>(r.size()), 3, 4,
                                         kTextLowerAlpha, 0, false, true));
    EXPECT_EQ("toas", out);
}

TEST(column_text, cut_values_with_truncation) {
    // text of 10 bytes (0x21) of which 7 are present: "abcdef!"
    const bytes_t r = record({0x21}, "abcdef!");
    const bytes_t longer = record({0x21}, "abcdef!xy");
    std::string out;
    const auto n = static_cast<std::uint32_t>(r.size());
    EXPECT_EQ(0, get_column_text_checked(out, r.data(), n, 0, 64, kTextPrintable, 0, false, false));
    EXPECT_EQ(1, get_column_text_checked(out, r.data(), n, 0, 64, kTextPrintable, 0, false, true));
    EXPECT_EQ("abcdef!", out);
    // Lower-case only: the '!' fails the plain reader, the prefix reader keeps six characters.
    EXPECT_EQ(0, get_column_text_checked(out, r.data(), n, 0, 64, kTextLowerAlpha, 0, false, true));
    EXPECT_EQ(1, get_column_text_checked_ex(out, longer.data(), static_cast<std::uint32_t>(longer.size()), 0,
                                            4, 7, kTextLowerAlpha, 0, false, true));
    EXPECT_EQ("abcdef", out);
    EXPECT_EQ(0, get_column_text_checked_ex(out, longer.data(), static_cast<std::uint32_t>(longer.size()), 0,
                                            7, 7, kTextLowerAlpha, 0, false, true));
}

TEST(column_text, every_prefix_of_a_record_is_read_safely) {
    const bytes_t full =
        record({0x01, 0x17, 0x81, 0x0F}, std::string("\x07", 1) + "toast" + std::string(65, 'z'));
    for (std::uint32_t len = 0; len <= full.size(); ++len) {
        bytes_t r(full.begin(), full.begin() + len);
        std::string out;
        get_column_text_checked_ex(out, r.empty() ? nullptr : r.data(), len, 2, 1, 100, kTextLowerAlpha, 0,
                                   false, true);
        std::uint32_t pos = 0, size = 0;
        std::uint8_t cut = 0;
        if (locate_column(&pos, &size, &cut, r.empty() ? nullptr : r.data(), len, 2)) {
            EXPECT_LE(pos + size, len);
        }
        count_serial_types(r.empty() ? nullptr : r.data(), len);
    }
    std::string out;
    EXPECT_EQ(1, get_column_text_checked(out, full.data(), static_cast<std::uint32_t>(full.size()), 2, 100,
                                         kTextLowerAlpha, 0, false, false));
    EXPECT_EQ(std::string(65, 'z'), out);
}

TEST(record_layout, locate_and_count) {
    const bytes_t r = record({0x01, 0x17, 0x0E}, std::string("\x07", 1) + "toast" + "x");
    std::uint32_t pos = 0, size = 0;
    std::uint8_t cut = 9;
    ASSERT_EQ(1, locate_column(&pos, &size, &cut, r.data(), static_cast<std::uint32_t>(r.size()), 1));
    EXPECT_EQ(5u, pos);
    EXPECT_EQ(5u, size);
    EXPECT_EQ(0, cut);
    ASSERT_EQ(1, locate_column(&pos, &size, &cut, r.data(), static_cast<std::uint32_t>(r.size()) - 3, 1));
    EXPECT_EQ(1, cut);
    EXPECT_EQ(3u, size);
    EXPECT_EQ(3u, count_serial_types(r.data(), 4));
}

TEST(record_layout, reserved_types_place_no_later_column) {
    // Serial types 10 and 11 have no size: a column behind one is neither read nor located.
    for (std::uint8_t reserved : {0x0A, 0x0B}) {
        const bytes_t r = record({reserved, 0x17}, std::string(11, 'q') + "toast");
        const auto n = static_cast<std::uint32_t>(r.size());
        std::string out;
        std::uint32_t pos = 0, size = 0;
        std::uint8_t cut = 0;
        EXPECT_EQ(0, get_column_text_checked(out, r.data(), n, 1, 64, kTextLowerAlpha, 0, false, true))
            << +reserved;
        EXPECT_EQ(0, locate_column(&pos, &size, &cut, r.data(), n, 1)) << +reserved;
        EXPECT_EQ(0, locate_column(&pos, &size, &cut, r.data(), n, 0)) << +reserved;
    }
}

TEST(record_length, payload_size_before_the_rowid) {
    // payload size 9, rowid 0x81 0x02, then the record: header 3 [0x01 0x17] body 1 + 5 bytes
    const bytes_t cell = {0x09, 0x81, 0x02, 0x03, 0x01, 0x17, 0x07, 't', 'o', 'a', 's', 't'};
    std::uint64_t payload = 0, length = 0;
    EXPECT_EQ(1, check_record_length_bwd(&payload, &length, cell.data() + 3, 9, 3));
    EXPECT_EQ(9u, payload);
    EXPECT_EQ(9u, length);
    EXPECT_EQ(0, check_record_length_bwd(&payload, &length, cell.data() + 3, 9, 1));
    bytes_t wrong = cell;
    wrong[0] = 0x0A;
    EXPECT_EQ(0, check_record_length_bwd(&payload, &length, wrong.data() + 3, 9, 3));
}

}  // namespace
