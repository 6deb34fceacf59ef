#include "common/variant.h"

#include <gtest/gtest.h>

namespace {

void expect_reset(const qm_variant_lite& c) {
    EXPECT_EQ(c.type, 0);
    EXPECT_EQ(c.max_length, 20);
    EXPECT_EQ(c.flags, 0u);
    EXPECT_EQ(c.width, 0u);
    EXPECT_EQ(c.extra, 0u);
    EXPECT_TRUE(c.bytes.empty());
    EXPECT_TRUE(c.text.empty());
    EXPECT_EQ(c.value, 0u);
    EXPECT_TRUE(c.values.empty());
}

void expect_same(const qm_variant_lite& a, const qm_variant_lite& b) {
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.value, b.value);
    EXPECT_EQ(a.values, b.values);
}

TEST(VariantCell, DefaultAndClearedCellsAreReset) {
    qm_variant_lite d;
    expect_reset(d);
    qm_variant_lite c(std::string("abc"), 9, 16, 0x8000);
    c.extra = 4;
    c.max_length = 3;
    c.values = {1, 2};
    c.bytes = {1};
    c.value = 5;
    c.clear();
    expect_reset(c);
}

TEST(VariantCell, ConstructorsSetTypeAndPayload) {
    qm_variant_lite u8(static_cast<std::uint8_t>(0xFF));
    EXPECT_EQ(u8.type, 1);
    EXPECT_EQ(u8.value, 255u);
    qm_variant_lite u16(static_cast<std::uint16_t>(0xFFFF));
    EXPECT_EQ(u16.type, 2);
    EXPECT_EQ(u16.value, 0xFFFFu);
    qm_variant_lite u32(static_cast<std::uint32_t>(0xFFFFFFFFu));
    EXPECT_EQ(u32.type, 4);
    EXPECT_EQ(u32.value, 0xFFFFFFFFu);
    qm_variant_lite u64(0x123456789ull, 13);
    EXPECT_EQ(u64.type, 13);
    EXPECT_EQ(u64.value, 0x123456789ull);
    qm_variant_lite t(std::string("hello"));
    EXPECT_EQ(t.type, 11);
    EXPECT_EQ(t.text, "hello");
    EXPECT_EQ(t.max_length, 20);

    qm_variant_lite label(std::string("abc"), 12);
    EXPECT_EQ(label.type, 0);
    EXPECT_EQ(label.flags, 0x80u);
    EXPECT_EQ(label.width, 12u);
    EXPECT_EQ(label.value, 0u);
    qm_variant_lite typed(std::string("abc"), 12, 16, 0x8000);
    EXPECT_EQ(typed.type, 16);
    EXPECT_EQ(typed.flags, 0x8080u);

    const unsigned char raw[3] = {0xde, 0xad, 0x01};
    qm_variant_lite b(raw, 3, 28);
    EXPECT_EQ(b.type, 28);
    EXPECT_EQ(b.bytes, (std::vector<unsigned char>{0xde, 0xad, 0x01}));
    qm_variant_lite none(nullptr, 4, 28);
    EXPECT_TRUE(none.bytes.empty());
}

TEST(VariantCell, CopiesAreDeep) {
    qm_variant_lite a(std::string("text"), 7, 30, 2);
    a.bytes = {1, 2, 3};
    a.values = {9, 8};
    a.extra = 77;
    qm_variant_lite b(a);
    a.text[0] = 'X';
    a.bytes[0] = 0;
    a.values[0] = 0;
    EXPECT_EQ(b.text, "text");
    EXPECT_EQ(b.bytes[0], 1);
    EXPECT_EQ(b.values[0], 9u);
    EXPECT_EQ(b.extra, 77u);
    qm_variant_lite c;
    c = b;
    b.text.clear();
    EXPECT_EQ(c.text, "text");
    EXPECT_EQ(c.flags, 0x82u);
    qm_variant_lite& same = c;
    c = same;  // self-assignment keeps the cell
    EXPECT_EQ(c.text, "text");
}

TEST(VariantPack, RecordLayoutsAndLengths) {
    std::vector<unsigned char> out;
    ASSERT_EQ(pack_bytes(qm_variant_lite(std::string("")), out), 1);
    EXPECT_EQ(out, (std::vector<unsigned char>{11, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    out.clear();
    pack_bytes(qm_variant_lite(static_cast<std::uint16_t>(0x1234)), out);
    EXPECT_EQ(out, (std::vector<unsigned char>{2, 0, 0, 0, 0, 0, 0x34, 0x12}));

    out.clear();
    qm_variant_lite label(std::string("ignored"), 0x0102, 27, 1);
    pack_bytes(label, out);  // a header label carries only its width
    EXPECT_EQ(out, (std::vector<unsigned char>{27, 0, 0x81, 0, 0, 0, 0x02, 0x01, 0, 0}));

    struct {
        int type;
        std::size_t length;
    } cases[] = {{0, 6}, {1, 7}, {2, 8}, {3, 10}, {26, 10}, {8, 14}, {24, 14}, {21, 14}, {27, 22}, {28, 10}};
    for (const auto& c : cases) {
        out.clear();
        ASSERT_EQ(pack_bytes(qm_variant_lite(5ull, c.type), out), 1) << c.type;
        EXPECT_EQ(out.size(), c.length) << c.type;
    }
}

TEST(VariantPack, RefusedCodesAppendNothing) {
    std::vector<unsigned char> out{0xAA};
    for (int code : {5, 6, 7, 9, 10, 14, 19, 20, 32, 1000}) {
        EXPECT_EQ(pack_bytes(qm_variant_lite(1ull, code), out), 0) << code;
    }
    EXPECT_EQ(out.size(), 1u);
    std::vector<unsigned char> bad{9, 0, 0, 0, 0, 0, 1, 2, 3, 4};
    qm_variant_lite c(std::string("x"));
    EXPECT_EQ(unpack_bytes(c, bad, 0), 0);
    expect_reset(c);
}

TEST(VariantPack, EveryPayloadClassRoundTrips) {
    std::vector<qm_variant_lite> cells;
    cells.emplace_back();                                    // empty
    cells.emplace_back(static_cast<std::uint8_t>(0xFE));     // 1 byte
    cells.emplace_back(static_cast<std::uint16_t>(0xBEEF));  // 2 bytes
    cells.emplace_back(static_cast<std::uint32_t>(0xCAFEF00Du));
    cells.emplace_back(0xFFFFFFFFFFFFFFFFull, 8);
    cells.emplace_back(0x1122334455667788ull, 22);
    cells.emplace_back(std::string("hello, world"));
    cells.emplace_back(std::string("thirty"), 0, 30, 0);  // width flag: width only
    cells.back().flags = 0;
    cells.emplace_back(std::string(""), 0, 31, 0);
    cells.back().flags = 0;
    cells.back().text = "thirty-one";
    const unsigned char g[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    cells.emplace_back(g, 16, 27);
    cells.emplace_back(g, 5, 29);
    cells.emplace_back(std::string(""), 18);  // header label: its width only
    qm_variant_lite list(7ull, 17);
    list.flags = qm_variant_lite::kListFlags;
    list.values = {1, 2, 0xFFFFFFFFFFull};
    cells.push_back(list);
    cells.emplace_back(static_cast<std::uint8_t>(3));  // short record last

    std::vector<unsigned char> packed;
    ASSERT_EQ(pack_variant_list(packed, cells, false), 1);
    std::vector<qm_variant_lite> back;
    ASSERT_EQ(unpack_variant_list(back, packed, false), 1);
    ASSERT_EQ(back.size(), cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        SCOPED_TRACE(i);
        expect_same(back[i], cells[i]);
    }
}

TEST(VariantPack, LabelTextIsNotSerialised) {
    std::vector<unsigned char> packed;
    pack_bytes(qm_variant_lite(std::string("name"), 40), packed);
    qm_variant_lite c;
    ASSERT_EQ(unpack_bytes(c, packed, 0), 10);
    EXPECT_EQ(c.width, 40u);
    EXPECT_TRUE(c.text.empty());
}

TEST(VariantPack, ShortGuidIsPaddedToSixteen) {
    const unsigned char g[3] = {0xA, 0xB, 0xC};
    std::vector<unsigned char> packed;
    pack_bytes(qm_variant_lite(g, 3, 27), packed);
    ASSERT_EQ(packed.size(), 22u);
    qm_variant_lite c;
    ASSERT_EQ(unpack_bytes(c, packed, 0), 22);
    std::vector<unsigned char> expect(16, 0);
    expect[0] = 0xA;
    expect[1] = 0xB;
    expect[2] = 0xC;
    EXPECT_EQ(c.bytes, expect);
}

TEST(VariantUnpack, TruncationSweepNeverReadsPastTheEnd) {
    std::vector<qm_variant_lite> cells;
    cells.emplace_back(std::string("truncate me"));
    const unsigned char raw[4] = {1, 2, 3, 4};
    cells.emplace_back(raw, 4, 28);
    cells.emplace_back(42ull, 12);
    qm_variant_lite list(1ull, 8);
    list.flags = qm_variant_lite::kListFlags;
    list.values = {5, 6};
    cells.push_back(list);
    for (const auto& cell : cells) {
        std::vector<unsigned char> full;
        ASSERT_EQ(pack_bytes(cell, full), 1);
        for (std::size_t n = 0; n < full.size(); ++n) {
            std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
            qm_variant_lite c(std::string("stale"));
            EXPECT_EQ(unpack_bytes(c, cut, 0), 0) << "type " << cell.type << " length " << n;
            expect_reset(c);
        }
        qm_variant_lite c;
        EXPECT_EQ(unpack_bytes(c, full, 0), static_cast<int>(full.size()));
    }
}

TEST(VariantUnpack, OffsetsAndHostileLengths) {
    std::vector<unsigned char> in{0xFF, 0xFF, 4, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    qm_variant_lite c;
    EXPECT_EQ(unpack_bytes(c, in, 2), 10);
    EXPECT_EQ(c.type, 4);
    EXPECT_EQ(c.value, 0x12345678u);
    EXPECT_EQ(unpack_bytes(c, in, 100), 0);
    EXPECT_EQ(unpack_bytes(c, in, 0xFFFFFFFFu), 0);
    // A text length far beyond the input is refused.
    std::vector<unsigned char> text{11, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a'};
    EXPECT_EQ(unpack_bytes(c, text, 0), 0);
    // A list count beyond the input is refused.
    std::vector<unsigned char> list{8, 0, 0, 0x40, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(unpack_bytes(c, list, 0), 0);
}

TEST(VariantList, AppendAndStopAtBadRecord) {
    std::vector<unsigned char> packed{0x55};
    std::vector<qm_variant_lite> cells{qm_variant_lite(std::string("a")), qm_variant_lite(std::string("b"))};
    ASSERT_EQ(pack_variant_list(packed, cells, true), 1);
    EXPECT_EQ(packed[0], 0x55);
    ASSERT_EQ(pack_variant_list(packed, cells, false), 1);
    EXPECT_EQ(packed.size(), 22u);
    EXPECT_EQ(pack_variant_list(packed, {}, false), 0);
    EXPECT_TRUE(packed.empty());

    pack_variant_list(packed, cells, false);
    packed.push_back(5);  // a record of a code with no payload form
    packed.insert(packed.end(), {0, 0, 0, 0, 0, 0, 0});
    std::vector<qm_variant_lite> out{qm_variant_lite(std::string("keep"))};
    ASSERT_EQ(unpack_variant_list(out, packed, true), 1);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].text, "keep");
    EXPECT_EQ(out[2].text, "b");
    EXPECT_EQ(unpack_variant_list(out, {}, false), 0);
    EXPECT_TRUE(out.empty());
}

}  // namespace
