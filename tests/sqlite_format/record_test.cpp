#include "sqlite_format/record.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/json_record.h"
#include "evidence_open.h"
#include "sqlite_format/format.h"
#include "sqlite_format/table_schema.h"
#include "time/qm_time.h"

namespace {

using bytes = std::vector<std::uint8_t>;
using u32s = std::vector<std::uint32_t>;
constexpr text_encoding kUtf8 = text_encoding::utf8;
constexpr text_encoding kUtf16le = text_encoding::utf16le;

TEST(RecordHeader, CodesAndSizesOfEverySerialType) {
    // Header: size 13, then types 0-9, 12 (empty blob) and 15 (1-byte text).
    const bytes h = {13, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 15};
    std::uint32_t hs = 0;
    u32s codes, sizes;
    ASSERT_EQ(decode_record_header(&hs, codes, sizes, h.data(), h.size()), 1);
    EXPECT_EQ(hs, 13u);
    EXPECT_EQ(codes,
              (u32s{kColNull, 2, 2, 2, 2, 2, 2, kColReal, kColConst0, kColConst1, kColBlob, kColText}));
    EXPECT_EQ(sizes, (u32s{0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 1}));
}

TEST(RecordHeader, ReservedSerialTypesRefuseTheRecord) {
    // SQLite never writes types 10 and 11: a header holding one, anywhere, is no record.
    const bytes cases[] = {{3, 1, 10}, {3, 11, 1}, {4, 1, 15, 10}};
    for (const bytes& h : cases) {
        std::uint32_t hs = 7, used = 7;
        u32s codes = {1}, sizes = {1};
        EXPECT_EQ(decode_record_header(&hs, codes, sizes, h.data(), h.size()), 0);
        EXPECT_EQ(hs, 0u);
        EXPECT_TRUE(codes.empty() && sizes.empty());
        const std::uint32_t types = static_cast<std::uint32_t>(h.size() - 1);
        EXPECT_EQ(decode_record_header_n(&used, codes, sizes, h.data() + 1, types, types), 0);
        EXPECT_EQ(used, 0u);
        EXPECT_TRUE(codes.empty() && sizes.empty());
    }
}

TEST(RecordHeader, MultiByteTypesStopAtTheHeaderEnd) {
    // A 2-byte text type (0x81 0x01 = 129: 58 bytes) and a blob of 300 bytes (type 612 = 0x84 0x64).
    const bytes h = {5, 0x81, 0x01, 0x84, 0x64, 1, 1};
    std::uint32_t hs;
    u32s codes, sizes;
    ASSERT_EQ(decode_record_header(&hs, codes, sizes, h.data(), h.size()), 1);
    EXPECT_EQ(codes, (u32s{kColText, kColBlob}));
    EXPECT_EQ(sizes, (u32s{58, 300}));
}

TEST(RecordHeader, DamagedHeadersFailOrStopCleanly) {
    std::uint32_t hs = 9;
    u32s codes = {1}, sizes = {1};
    EXPECT_EQ(decode_record_header(&hs, codes, sizes, nullptr, 4), 0);
    EXPECT_TRUE(codes.empty());
    const bytes only_size = {1};
    EXPECT_EQ(decode_record_header(&hs, codes, sizes, only_size.data(), only_size.size()), 0);
    const bytes negative = {0x88, 0x80, 0x80, 0x80, 0x00};  // header size 2^31: negative as 32 bits
    EXPECT_EQ(decode_record_header(&hs, codes, sizes, negative.data(), negative.size()), 0);
    // A header running past the payload reads the types that are there.
    const bytes cut = {100, 1, 1, 0x81};
    ASSERT_EQ(decode_record_header(&hs, codes, sizes, cut.data(), cut.size()), 1);
    EXPECT_EQ(hs, 100u);
    EXPECT_EQ(codes.size(), 2u);  // the cut varint at the end is not a type
    // A negative serial type ends the header there.
    const bytes neg_type = {7, 1, 0x88, 0x80, 0x80, 0x80, 0x00};
    ASSERT_EQ(decode_record_header(&hs, codes, sizes, neg_type.data(), neg_type.size()), 1);
    EXPECT_EQ(codes.size(), 1u);
    // Truncation sweep: every prefix of a good header reads without passing its end.
    const bytes good = {6, 1, 0x81, 0x01, 9, 12, 42};
    for (std::size_t n = 1; n <= good.size(); ++n) {
        const bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        const int r = decode_record_header(&hs, codes, sizes, part.data(), part.size());
        EXPECT_EQ(r, n >= 2 ? 1 : 0) << n;
        EXPECT_LE(codes.size(), 4u);
    }
}

TEST(RecordHeaderN, ReadsExactlyTheCountGiven) {
    const bytes b = {1, 0x81, 0x01, 9, 0x81};
    std::uint32_t used = 0;
    u32s codes, sizes;
    ASSERT_EQ(decode_record_header_n(&used, codes, sizes, b.data(), b.size(), 3), 1);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(codes, (u32s{2, kColText, kColConst1}));
    EXPECT_EQ(sizes, (u32s{1, 58, 0}));
    EXPECT_EQ(decode_record_header_n(&used, codes, sizes, b.data(), b.size(), 4), 0);  // the 4th is cut
    EXPECT_TRUE(codes.empty());
    EXPECT_EQ(decode_record_header_n(&used, codes, sizes, b.data(), b.size(), 0), 0);
    EXPECT_EQ(decode_record_header_n(&used, codes, sizes, nullptr, 5, 1), 0);
    EXPECT_EQ(decode_record_header_n(&used, codes, sizes, b.data(), 0, 1), 0);
}

TEST(RecordHeader, CodeAndSizeOfLargeSerialTypes) {
    std::uint32_t code, size;
    serial_type_code_and_size(0xFFFFFFFFFFull, &code, &size);
    EXPECT_EQ(code, kColText);
    EXPECT_EQ(size, 0xFFFFFFFFu);  // clipped, never wrapped
    for (const std::uint64_t reserved : {10u, 11u}) {
        serial_type_code_and_size(reserved, &code, &size);
        EXPECT_EQ(code, 0u);  // no column kind: never decoded
        EXPECT_EQ(size, serial_type_size(reserved));
    }
}

TEST(RowData, ClearEmptiesEverything) {
    base_rowdata r;
    r.codes = {1};
    r.sizes = {0};
    r.times[0] = 1;
    r.blobs[0] = {1};
    r.values = {""};
    base_rowdata copy = r;
    r.clear();
    EXPECT_TRUE(r.codes.empty() && r.sizes.empty() && r.times.empty() && r.blobs.empty() && r.values.empty());
    EXPECT_EQ(copy.blobs.at(0), (bytes{1}));
}

// ---- Whole records.

bytes record_of(const std::vector<bytes>& types, const bytes& body) {
    bytes header;
    for (const bytes& t : types) header.insert(header.end(), t.begin(), t.end());
    bytes out;
    out.push_back(static_cast<std::uint8_t>(header.size() + 1));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(RecordPayload, SmallRecordAndItsConsumedCount) {
    const bytes p = {0x03, 0x01, 0x08, 0x2A};
    base_rowdata row;
    std::uint32_t used = 0;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8), 1);
    EXPECT_EQ(row.values, (std::vector<std::string>{"42", "0"}));
    EXPECT_EQ(row.codes, (u32s{kColInteger, kColConst0}));
    EXPECT_EQ(used, 4u);
}

TEST(RecordPayload, HeaderLongerThanThePayloadFails) {
    bytes p(50, 1);
    p[0] = 0x81;
    p[1] = 0x48;  // header size 200
    base_rowdata row;
    std::uint32_t used = 7;
    EXPECT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8), 0);
    EXPECT_EQ(used, 0u);
    EXPECT_TRUE(row.values.empty());
    // An unreadable header is a success with nothing decoded.
    const bytes none = {0x80};
    EXPECT_EQ(decode_record_payload(row, &used, nullptr, none.data(), none.size(), 0, 0, false, true, kUtf8),
              1);
    EXPECT_EQ(used, 0u);
    EXPECT_TRUE(row.codes.empty());
}

TEST(RecordPayload, IntegersAreSignedBigEndian) {
    const bytes p = record_of({{2}, {1}, {1}}, {0xFF, 0xFE, 0xFF, 0x7F});
    base_rowdata row;
    std::uint32_t used;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8), 1);
    ASSERT_EQ(row.values.size(), 3u);
    EXPECT_EQ(row.values[0], "-2");
    EXPECT_EQ(row.values[1], "-1");  // a stored -1 in one byte
    EXPECT_EQ(row.values[2], "127");
    EXPECT_EQ(used, p.size());
    // The values-only decode gives the same texts.
    std::vector<std::string> values;
    u32s codes, sizes;
    ASSERT_EQ(decode_record_values(values, codes, sizes, p.data(), p.size(), true, kUtf8), 1);
    EXPECT_EQ(values, row.values);
    // A reserved type 10 after them: no value is made up from its bytes; the record decodes as nothing.
    const bytes reserved = record_of({{2}, {1}, {10}}, {0xFF, 0xFE, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, reserved.data(), reserved.size(), 0, 0, false, true,
                                    kUtf8),
              1);
    EXPECT_TRUE(row.values.empty() && row.codes.empty());
    EXPECT_EQ(used, 0u);
}

TEST(RecordPayload, TimesInIntegersAndTexts) {
    // 2015-06-01 00:00:00 UTC as FILETIME: 130775904000000000.
    const std::uint64_t ft = 130775904000000000ull;
    bytes body;
    for (int i = 7; i >= 0; --i) body.push_back(static_cast<std::uint8_t>(ft >> (8 * i)));
    const std::string digits = std::to_string(ft);  // 18 characters
    body.insert(body.end(), digits.begin(), digits.end());
    const std::string short_digits = digits.substr(0, 16);
    body.insert(body.end(), short_digits.begin(), short_digits.end());
    body.push_back(0x05);
    const bytes p = record_of(
        {{6}, {static_cast<std::uint8_t>(13 + 2 * 18)}, {static_cast<std::uint8_t>(13 + 2 * 16)}, {1}}, body);
    base_rowdata row;
    std::uint32_t used;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, true, true, kUtf8), 1);
    ASSERT_EQ(row.values.size(), 4u);
    EXPECT_EQ(row.codes[0], kColInteger | kColTimeFlag | (qm::type_filetime << kColTimeKindShift));
    EXPECT_EQ(row.times.at(0), ft);
    EXPECT_EQ(row.values[0], digits + " [2015-06-01 00:00:00.000]");
    EXPECT_EQ(row.codes[1] & kColTimeFlag, kColTimeFlag);
    EXPECT_EQ(row.values[1], digits + " [2015-06-01 00:00:00.000]");
    EXPECT_EQ(row.codes[2], kColText);  // 16 characters are not examined
    EXPECT_EQ(row.values[2], short_digits);
    EXPECT_EQ(row.codes[3], kColInteger);  // below the smallest value examined
    EXPECT_EQ(row.times.size(), 2u);
    // Without annotation the value keeps its plain text but the time is still noted.
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8), 1);
    EXPECT_EQ(row.values[0], digits);
    EXPECT_EQ(row.times.at(0), ft);
    // Values only: the same texts, no time noted.
    const std::vector<std::string> plain_values = row.values;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8, true),
              1);
    EXPECT_EQ(row.values, plain_values);
    EXPECT_TRUE(row.times.empty());
    EXPECT_EQ(row.codes[0], kColInteger);
}

TEST(RecordPayload, RealsCutRealsAndUnixSecondTimes) {
    const bytes one = {0x3F, 0xF8, 0, 0, 0, 0, 0, 0};  // 1.5
    const bytes p = record_of({{7}}, one);
    base_rowdata row;
    std::uint32_t used;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8), 1);
    std::string expect;
    double_to_text(expect, 8, 1.5);
    EXPECT_EQ(row.values, (std::vector<std::string>{expect}));
    EXPECT_TRUE(row.times.empty());
    const bytes cut(p.begin(), p.begin() + 2 + 5);  // a real cut to 5 bytes
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, cut.data(), cut.size(), 0, 0, false, true, kUtf8),
              1);
    EXPECT_EQ(row.values, (std::vector<std::string>{"NaN"}));
    EXPECT_EQ(used, cut.size());
    // 1 500 000 000.25 Unix seconds (2017-07-14) is recognised as a time.
    const double secs = 1500000000.25;
    std::uint64_t bits;
    std::memcpy(&bits, &secs, 8);
    bytes b;
    for (int i = 7; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    const bytes t = record_of({{7}}, b);
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, t.data(), t.size(), 0, 0, true, true, kUtf8), 1);
    EXPECT_EQ(row.codes[0], kColReal | kColTimeFlag | (qm::type_unix << kColTimeKindShift));
    EXPECT_NE(row.values[0].find(" [2017-07-14 02:40:00.250]"), std::string::npos) << row.values[0];
}

TEST(RecordPayload, BlobsRawOrAsAHexView) {
    bytes b16(16), b17(17);
    for (std::size_t i = 0; i < 17; ++i) b17[i] = static_cast<std::uint8_t>('A' + i);
    std::copy(b17.begin(), b17.begin() + 16, b16.begin());
    const bytes p16 = record_of({{12 + 32}}, b16);
    const bytes p17 = record_of({{12 + 34}}, b17);
    base_rowdata row;
    std::uint32_t used;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p16.data(), p16.size(), 0, 0, false, false, kUtf8),
              1);
    EXPECT_EQ(row.blobs.at(0), b16);
    const std::string v16 = row.values[0];
    EXPECT_EQ(v16.find(" ..."), std::string::npos);
    EXPECT_EQ(v16.find('\n'), std::string::npos);
    EXPECT_EQ(v16.substr(0, 6), "41 42 ");
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p17.data(), p17.size(), 0, 0, false, false, kUtf8),
              1);
    EXPECT_EQ(row.values[0], v16 + " ...");
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p17.data(), p17.size(), 0, 0, false, true, kUtf8),
              1);
    EXPECT_EQ(row.values[0], std::string(b17.begin(), b17.end()));
    // Values only: the same bytes, no blob kept apart.
    ASSERT_EQ(
        decode_record_payload(row, &used, nullptr, p17.data(), p17.size(), 0, 0, false, true, kUtf8, true),
        1);
    EXPECT_EQ(row.values[0], std::string(b17.begin(), b17.end()));
    EXPECT_TRUE(row.blobs.empty());
    // A blob shorter than 16 bytes in the hex view reads only its own bytes.
    const bytes p3 = record_of({{12 + 6}}, {1, 2, 3});
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p3.data(), p3.size(), 0, 0, false, false, kUtf8), 1);
    EXPECT_EQ(row.values[0].substr(0, 9), "01 02 03 ");
}

TEST(RecordPayload, ValuesCutByTheEndOfThePayload) {
    // Types: text of 10, integer of 4, blob of 4, NULL; only 6 bytes of data.
    const bytes p = record_of({{13 + 20}, {4}, {12 + 8}, {0}}, {'a', 'b', 'c', 'd', 'e', 'f'});
    base_rowdata row;
    std::uint32_t used;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf8), 1);
    EXPECT_EQ(row.values, (std::vector<std::string>{"abcdef", "0", "", ""}));
    EXPECT_EQ(row.blobs.at(2).size(), 0u);
    EXPECT_EQ(used, p.size());
    EXPECT_EQ(row.sizes, (u32s{10, 4, 4, 0}));
}

TEST(RecordPayload, Utf16TextStopsAtAZeroUnit) {
    const bytes p = record_of({{13 + 12}}, {'h', 0, 'i', 0, 0, 0});
    base_rowdata row;
    std::uint32_t used;
    ASSERT_EQ(decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, false, true, kUtf16le), 1);
    EXPECT_EQ(row.values, (std::vector<std::string>{"hi"}));
    EXPECT_EQ(used, p.size());
}

TEST(RecordPayload, TraceListsEveryColumn) {
    const bytes p = {0x04, 0x01, 0x08, 0x00, 0x2A};
    base_rowdata row;
    std::uint32_t used;
    std::ostringstream os;
    ASSERT_EQ(decode_record_payload(row, &used, &os, p.data(), p.size(), 0, 0x1234, false, true, kUtf8), 1);
    EXPECT_EQ(os.str(),
              "00001234 : header size  : 0x4, data sizes [val:1, cst0:0, null:0]\n"
              "val:0x01 : 42\ncst:0x00 : 0\nnul:0x00 : -\n\n");
}

TEST(RecordPayload, RandomBytesNeverReadPastThePayload) {
    std::mt19937 rng(99);
    for (int i = 0; i < 5000; ++i) {
        bytes p(1 + rng() % 64);
        for (auto& c : p) c = static_cast<std::uint8_t>(rng());
        p[0] = static_cast<std::uint8_t>(rng() % 20);
        base_rowdata row;
        std::uint32_t used = 0;
        if (decode_record_payload(row, &used, nullptr, p.data(), p.size(), 0, 0, rng() % 2, rng() % 2,
                                  static_cast<text_encoding>(1 + rng() % 3))) {
            EXPECT_LE(used, p.size());
            EXPECT_LE(row.values.size(), row.codes.size());
        }
    }
}

// ---- Every cell of real databases, compared with what the SQLite library returns.

std::string temp_dir() {
    std::string dir = std::string(SELK_TEST_TMP) + "/record_test_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    return dir;
}

void exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

struct library_row {
    std::vector<std::string> values;
};

std::map<std::int64_t, library_row> select_all(const std::string& path, int columns) {
    std::map<std::int64_t, library_row> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(open_readonly_for_test(path, &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT rowid, * FROM t", -1, &st, nullptr), SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW) {
        library_row r;
        for (int c = 1; c <= columns; ++c) {
            switch (sqlite3_column_type(st, c)) {
                case SQLITE_NULL:
                    r.values.push_back("");
                    break;
                case SQLITE_INTEGER:
                    r.values.push_back(std::to_string(sqlite3_column_int64(st, c)));
                    break;
                case SQLITE_FLOAT: {
                    std::string s;
                    double_to_text(s, 8, sqlite3_column_double(st, c));
                    r.values.push_back(s);
                    break;
                }
                case SQLITE_TEXT:
                    r.values.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
                    break;
                default: {
                    const auto* b = static_cast<const char*>(sqlite3_column_blob(st, c));
                    r.values.push_back(
                        std::string(b ? b : "", static_cast<std::size_t>(sqlite3_column_bytes(st, c))));
                }
            }
        }
        out[sqlite3_column_int64(st, 0)] = r;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void compare_every_cell(const std::string& path, int columns, text_encoding encoding) {
    std::ifstream in(path, std::ios::binary);
    const bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(file.size(), 8192u);
    const std::map<std::int64_t, library_row> expected = select_all(path, columns);
    std::size_t seen = 0;
    for (std::size_t off = 4096; off + 4096 <= file.size(); off += 4096) {
        sqlite_page page;
        if (!bind_sqlite_page(page, file.data() + off, 4096, 4096, 0) || page.header[0] != 13) continue;
        for (const auto& entry : page.cells) {
            const cell_metadata& c = entry.second;
            ASSERT_EQ(c.overflow, 0);
            const std::size_t start = c.cell_offset + c.payload_size_length + c.rowid_length;
            base_rowdata row;
            std::uint32_t used;
            ASSERT_EQ(decode_record_payload(row, &used, nullptr, file.data() + off + start, c.payload_size, 0,
                                            0, false, true, encoding),
                      1);
            EXPECT_EQ(used, c.payload_size);
            const auto it = expected.find(static_cast<std::int64_t>(c.rowid));
            ASSERT_NE(it, expected.end()) << c.rowid;
            EXPECT_EQ(row.values, it->second.values) << "rowid " << c.rowid;
            ++seen;
        }
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(RealDatabase, EveryCellDecodesToWhatTheLibraryReturns) {
    for (const text_encoding encoding : {kUtf8, kUtf16le, text_encoding::utf16be}) {
        const std::string name = text_encoding_label(encoding);
        const std::string path = temp_dir() + "/" + name + ".db";
        std::remove(path.c_str());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        exec(db, "PRAGMA secure_delete=OFF; PRAGMA page_size=4096;");
        exec(db, "PRAGMA encoding='" + name + "';");
        exec(db, "CREATE TABLE t(a, b, c, d);");
        exec(db, "BEGIN;");
        const char* values[] = {"NULL",
                                "0",
                                "1",
                                "-1",
                                "-5",
                                "127",
                                "128",
                                "-129",
                                "32767",
                                "32768",
                                "-8388609",
                                "8388608",
                                "2147483647",
                                "-2147483649",
                                "140737488355327",
                                "140737488355328",
                                "-9223372036854775808",
                                "9223372036854775807",
                                "1.5",
                                "-0.125",
                                "3.14159265358979",
                                "1e300",
                                "130775904000000000",
                                "'text'",
                                "''",
                                "'h\xC3\xA9llo w\xC3\xB6rld'",
                                "x''",
                                "x'00ff10'",
                                "zeroblob(40)",
                                "'2020-12-11 19:09:13'"};
        const std::size_t n = sizeof values / sizeof values[0];
        for (std::size_t i = 0; i < n; ++i)
            exec(db, std::string("INSERT INTO t VALUES(") + values[i] + ", " + values[(i + 3) % n] + ", " +
                         values[(i + 7) % n] + ", " + values[(i + 11) % n] + ");");
        for (int i = 0; i < 200; ++i)
            exec(db, "INSERT INTO t VALUES(" + std::to_string(i * 7919 - 500000) + ", 'row " +
                         std::to_string(i) + "', randomblob(" + std::to_string(i % 50) + "), " +
                         std::to_string(i) + ".25);");
        exec(db, "COMMIT;");
        sqlite3_close(db);
        compare_every_cell(path, 4, encoding);
    }
}

TEST(RealDatabase, TheFixtureSchemaParsesToTheNotificationTables) {
    const std::string path = std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db";
    std::ifstream in(path, std::ios::binary);
    if (!in) GTEST_SKIP() << "the notification database fixture is absent: " << path;
    const bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(file.size(), 4096u);
    std::map<std::string, std::string> signatures;
    for (std::size_t off = 0; off + 4096 <= file.size(); off += 4096) {
        sqlite_page page;
        if (!bind_sqlite_page(page, file.data() + off, 4096, 4096, 0) || page.header[0] != 13) continue;
        for (const auto& entry : page.cells) {
            const cell_metadata& c = entry.second;
            if (c.overflow || c.payload_size_length == 0) continue;
            base_rowdata row;
            std::uint32_t used;
            const std::size_t start = off + c.cell_offset + c.payload_size_length + c.rowid_length;
            if (start + c.payload_size > file.size()) continue;
            ASSERT_EQ(decode_record_payload(row, &used, nullptr, file.data() + start, c.payload_size, 0, 0,
                                            false, true, page.encoding),
                      1);
            if (row.values.size() < 5 || row.values[0] != "table") continue;
            table_schema s;
            std::uint32_t pos;
            ASSERT_EQ(parse_table_schema(s, &pos, row.values[4], 0, 0), 1) << row.values[4];
            std::string sig = "sz";
            for (const table_field& f : s.fields) sig += ";" + f.name_lower;
            signatures[s.name] = sig;
        }
    }
    EXPECT_EQ(signatures["Notification"],
              "sz;order;id;handlerid;activityid;type;payload;tag;group;expirytime;arrivaltime;dataversion;"
              "payloadtype;"
              "bootid;expiresonreboot");
    EXPECT_EQ(
        signatures["NotificationHandler"],
        "sz;recordid;primaryid;wnsid;handlertype;wnfeventname;systemdatapropertyset;createdtime;modifiedtime;"
        "parentid;containersid");
    EXPECT_EQ(signatures["WNSPushChannel"],
              "sz;channelid;handlerid;uri;expirytime;createdtime;deviceversion");
    EXPECT_EQ(signatures["HandlerSettings"], "sz;handlerid;settingkey;value");
}

}  // namespace
