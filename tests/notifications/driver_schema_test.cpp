// The selk executable on databases whose schema table is hard to read: schema rows that continue on overflow
// pages, and a header whose text encoding contradicts the stored texts. Each test runs selk as a process and
// checks which rows it prints as live, what it says on standard error and its exit status.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
using driver_checks::data_rows;
using selk_process::run;

// A notification database as the examiner's trials make it: `count` notifications (Order 200 on, payload
// "<toast>row N</toast>") on pages of `page_size` bytes, every third deleted with secure delete off, and the
// handlers of the deleted ones (kDeletedHandlers) deleted after them. With
// `comment` the Notification CREATE TABLE text carries a comment of that many bytes right after its opening
// parenthesis, so that the text that names the columns lies on the row's overflow pages. `encoding` is the
// database's text encoding; `reserved` the bytes reserved at the end of every page; with `pad` each payload
// carries that many more bytes after its row number.
struct db_shape {
    int page_size = 4096;
    int count = 200;
    std::size_t comment = 0;
    const char* encoding = "UTF-8";
    int reserved = 0;
    std::size_t pad = 0;
};

// The handlers the deleted notifications name, row i's the (i / 3) % 2-th (the live ones name 68).
struct handler_row {
    int record_id;
    const char* primary_id;
};
const handler_row kDeletedHandlers[] = {{70, "App.70"}, {71, "App.71"}};
const handler_row& deleted_handler(int i) { return kDeletedHandlers[(i / 3) % 2]; }

void make_examiner_db(const std::string& path, const db_shape& shape) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=" + std::to_string(shape.page_size) + "; PRAGMA encoding='" +
                     shape.encoding + "';");
    int reserved = shape.reserved;
    if (reserved != 0) {
        ASSERT_EQ(sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved), SQLITE_OK);
    }
    std::string notification = fx::notification_table_sql();
    if (shape.comment != 0) {
        const std::string opening = "CREATE TABLE [Notification](";
        notification.insert(opening.size(), " /*" + std::string(shape.comment, 'c') + "*/");
    }
    fx::exec(db, fx::handler_table_sql());
    fx::exec(db, fx::settings_table_sql());
    fx::exec(db, notification);
    fx::exec(db, fx::push_channel_table_sql());
    fx::exec(db, "BEGIN;");
    // WNFEventName an 8-byte integer, as Windows writes it; each cell below the one before. The first
    // deleted, 72, is freed first: the free block's header takes the start of its cell, and each later one
    // merges into that block, its cell left whole.
    for (const handler_row& h : kDeletedHandlers)
        fx::exec(
            db,
            "INSERT INTO NotificationHandler(RecordId, PrimaryId, HandlerType, WNFEventName, CreatedTime, "
            "ModifiedTime) VALUES(" +
                std::to_string(h.record_id) + ", '" + h.primary_id +
                "', 'app', 4739405412543054709, '2020-12-11 19:09:13', '2020-12-11 19:09:13');");
    fx::exec(db, "INSERT INTO NotificationHandler(RecordId, PrimaryId) VALUES(72, 'x');");
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    for (int i = 0; i < shape.count; ++i)
        fx::insert_notification(db, 200 + i, 300 + i, (200 + i) % 3 == 0 ? deleted_handler(i).record_id : 68,
                                "toast",
                                "<toast>row " + std::to_string(i) + std::string(shape.pad, 'p') + "</toast>");
    fx::exec(db,
             "COMMIT; DELETE FROM Notification WHERE [Order] % 3 = 0; DELETE FROM NotificationHandler WHERE "
             "RecordId = 72; DELETE FROM NotificationHandler WHERE RecordId = 71; DELETE FROM "
             "NotificationHandler WHERE RecordId = 70;");
    sqlite3_close(db);
}

// The rows of `count` that the library shows after the deletes.
std::set<int> live_rows(int count) {
    std::set<int> live;
    for (int i = 0; i < count; ++i)
        if ((200 + i) % 3 != 0) live.insert(i);
    return live;
}

// The row numbers of the report rows whose source is `source` and whose Type reads "toast" (a row whose texts
// were read in the wrong encoding does not).
std::set<int> rows_from(const std::string& out, const std::string& source) {
    std::set<int> found;
    for (const std::string& row : data_rows(out)) {
        const std::size_t at = row.find("<toast>row ");
        if (row.find("{\"src\":\"" + source + "\"") == std::string::npos ||
            row.find("| toast ") == std::string::npos || at == std::string::npos)
            continue;
        found.insert(std::atoi(row.c_str() + at + 11));
    }
    return found;
}

// Each report row recovered from the main file's free space ("main db slack"), whatever its Type reads, as
// its record offset and payload row number.
std::set<std::string> slack_rows(const std::string& out) {
    std::set<std::string> found;
    const std::string key = "\"record offset\":\"";
    for (const std::string& row : data_rows(out)) {
        const std::size_t offset = row.find(key);
        if (row.find("{\"src\":\"main db slack\"") == std::string::npos || offset == std::string::npos)
            continue;
        const std::size_t start = offset + key.size();
        const std::size_t at = row.find("<toast>row ");
        found.insert(
            row.substr(start, row.find('"', start) - start) + " row " +
            (at == std::string::npos ? std::string("?") : std::to_string(std::atoi(row.c_str() + at + 11))));
    }
    return found;
}

// The members of `wanted` that `got` lacks, as a text ("" when none).
template <typename T>
std::string lacking(const std::set<T>& wanted, const std::set<T>& got) {
    std::ostringstream text;
    for (const T& n : wanted)
        if (got.count(n) == 0) text << ' ' << n;
    return text.str();
}

// The label each form gives a live row.
struct form_case {
    const char* form;  // the switch, or "" for the default form
    const char* live;  // the source label of a live row
};

const form_case kForms[] = {{"", "sqlite lib"},
                            {"-carve", "carve main"},
                            {"-incl_slack", "sqlite lib"},
                            {"-parse_chunk", "carve blob"}};

std::vector<std::string> arguments(const std::string& db, const char* form) {
    std::vector<std::string> args{"-db", db, "-quiet"};
    if (*form != '\0') args.push_back(form);
    return args;
}

}  // namespace

// A schema row whose record does not fit on its page (pages of 512 bytes, or a CREATE TABLE text longer than
// a page) is read whole, overflow pages and all, wherever the schema is read: every form prints every live
// row as a live row and exits 0.
TEST(SelkSchema, SchemaRowsOnOverflowPagesAreReadWhole) {
    struct shape_case {
        const char* name;
        db_shape shape;
    };
    const shape_case cases[] = {
        {"pages of 512 bytes", {512, 300, 0, "UTF-8"}},
        {"a CREATE TABLE text past its 4096-byte page", {4096, 200, 4500, "UTF-8"}},
    };
    for (const shape_case& c : cases) {
        fx::temp_dir dir;
        const std::string db = dir.file("overflow.db");
        make_examiner_db(db, c.shape);
        const std::set<int> live = live_rows(c.shape.count);
        for (const form_case& f : kForms) {
            SCOPED_TRACE(std::string(c.name) + ", form \"" + f.form + "\"");
            const selk_process::result r = run(arguments(db, f.form));
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(lacking(live, rows_from(r.out, f.live)), "") << "live rows not printed as live";
        }
    }
}

// The live rows of a "-csv -all_fields" report (the library's or the own reader's) as
// "Order|Type|Tag|Payload" in Order, and the others, the recovered ones, as "Id|Type|Tag|Handler PrimaryId".
void report_rows(const std::string& out, std::vector<std::string>& live, std::set<std::string>& recovered) {
    for (const std::string& row : data_rows(out)) {
        const std::vector<std::string> cells = selk_process::split(row, ",");
        if (cells.size() < 23) continue;
        if (cells[16].find("\"sqlite lib\"") == std::string::npos &&
            cells[16].find("\"carve main\"") == std::string::npos)
            recovered.insert(cells[9] + "|" + cells[6] + "|" + cells[12] + "|" + cells[19]);
        else
            live.push_back(cells[8] + "|" + cells[6] + "|" + cells[12] + "|" + cells[22]);
    }
    std::sort(live.begin(), live.end());
}

// The notifications the library reads in `path`, as report_rows gives the live rows.
std::vector<std::string> library_rows(const std::string& path) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT [Order], Type, Tag, Payload FROM Notification", -1, &st, nullptr) ==
            SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < 3; ++i)
                row += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i))) + "|";
            row.append(static_cast<const char*>(sqlite3_column_blob(st, 3)),
                       static_cast<std::size_t>(sqlite3_column_bytes(st, 3)));
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Every valid layout is read as the library reads it: pages of 512 to 4096 bytes with 0, 32 or 200 bytes
// reserved at their end, schema rows and payloads on overflow pages, texts in each encoding. In every form
// the live rows are the library's, Order, Type, Tag and Payload, and the slack scan and the walk of the
// file's pages recover every deleted row whose cell the deletes left in the file (on 1 KiB pages the
// library's rebalancing writes over them), its texts as stored, joined to its deleted handler, which comes
// back too.
TEST(SelkSchema, EveryValidLayoutReadsAsTheLibraryReadsIt) {
    struct layout_case {
        const char* name;
        db_shape shape;
        bool deleted_kept;  // the deleted rows' cells are still in the file
    };
    const layout_case cases[] = {
        {"512-byte pages, 32 reserved, schema rows on overflow pages", {512, 125, 0, "UTF-8", 32, 0}, true},
        {"1 KiB pages, 32 reserved, payloads on overflow pages", {1024, 160, 0, "UTF-8", 32, 1500}, false},
        // Chains counted in usable bytes: in whole pages the 5 KB payloads would need a page fewer.
        {"1 KiB pages, 200 reserved, payloads on overflow pages", {1024, 6, 0, "UTF-8", 200, 5000}, false},
        {"4 KiB pages, 32 reserved, CREATE TABLE text and payloads on overflow pages",
         {4096, 100, 4500, "UTF-8", 32, 9000},
         true},
        {"UTF-16le, 512-byte pages, 32 reserved", {512, 75, 0, "UTF-16le", 32, 0}, true},
        {"UTF-16be", {4096, 75, 0, "UTF-16be", 0, 0}, true},
        {"UTF-16be, 1 KiB pages, 32 reserved, payloads on overflow pages",
         {1024, 120, 0, "UTF-16be", 32, 1500},
         false},
    };
    for (const layout_case& c : cases) {
        fx::temp_dir dir;
        const std::string db = dir.file("layout.db");
        make_examiner_db(db, c.shape);
        const std::vector<std::string> expected = library_rows(db);
        ASSERT_EQ(expected.size(), live_rows(c.shape.count).size()) << c.name;
        // As report_rows gives them; a Tag after a payload that goes on in overflow pages is not in the cell.
        const std::string tag = c.shape.pad == 0 ? "tag1" : " [overflow page]";
        std::set<std::string> deleted;
        for (int i = 0; i < c.shape.count; ++i)
            if ((200 + i) % 3 == 0)
                deleted.insert(std::to_string(300 + i) + "|toast|" + tag + "|" +
                               deleted_handler(i).primary_id);
        // Its pages without page 1: loose pages say nothing of how their texts are stored.
        std::vector<std::uint8_t> pages = fx::read_all(db);
        pages.erase(pages.begin(), pages.begin() + c.shape.page_size);
        ASSERT_TRUE(fx::write_all(dir.file("pages.bin"), pages));
        for (const std::string form : {"", "-carve", "-incl_slack", "-parse_chunk", "loose pages"}) {
            SCOPED_TRACE(std::string(c.name) + ", form \"" + form + "\"");
            const bool walk = form == "-parse_chunk" || form == "loose pages";
            std::vector<std::string> args = form == "loose pages"
                                                ? arguments(dir.file("pages.bin"), "-parse_chunk")
                                                : arguments(db, form.c_str());
            args.insert(args.end(), {"-csv", "-all_fields"});
            const selk_process::result r = run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            std::vector<std::string> live;
            std::set<std::string> recovered;
            report_rows(r.out, live, recovered);
            if (!walk) {
                EXPECT_EQ(live, expected);
            }
            if (c.deleted_kept && (walk || form == "-incl_slack")) {
                EXPECT_EQ(lacking(deleted, recovered), "") << "deleted rows not recovered";
            }
        }
    }
}

// A header whose text encoding contradicts the texts of the schema table is damage: the run says so and exits
// 255. The own reader reads the schema (and then the tables) in the encoding in which its rows read as tables
// and indexes, so every form still prints every live row as a live row (the default form once the library
// breaks off); and the pages of the
// tables' trees are told from free ones by their root page numbers, whatever the texts read as, so no live
// row comes back as a recovered "main db slack" row: those are the ones the sound database gives. The library
// reads the header's encoding and cannot read the schema. A schema whose rows read as no table or index in
// any encoding (their type texts overwritten) is said as such.
TEST(SelkSchema, HeaderTextEncodingAgainstTheStoredTexts) {
    struct encoding_case {
        const char* stored;    // the database's own encoding
        std::uint8_t header;   // the text encoding field written over its header's
        std::string said;      // on standard error; empty: nothing
        bool live_read;        // "-carve" and "-incl_slack" print every live row as a live row
        int status;            // of each form
        bool damaged = false;  // the schema rows' type texts ("table", "index") are overwritten
    };
    const std::string against = "the texts of its schema table read only as ";
    const encoding_case cases[] = {
        {"UTF-8", 3,
         "the text encoding in its header is 3 (UTF-16be), but " + against +
             "UTF-8: its schema and tables are read as UTF-8",
         true, 255},
        {"UTF-8", 2,
         "the text encoding in its header is 2 (UTF-16le), but " + against +
             "UTF-8: its schema and tables are read as UTF-8",
         true, 255},
        {"UTF-16le", 1,
         "the text encoding in its header is 1 (UTF-8), but " + against +
             "UTF-16le: its schema and tables are read as UTF-16le",
         true, 255},
        {"UTF-16le", 2, "", true, 0},
        {"UTF-16be", 1,
         "the text encoding in its header is 1 (UTF-8), but " + against +
             "UTF-16be: its schema and tables are read as UTF-16be",
         true, 255},
        {"UTF-8", 1,
         "none of the 7 rows of its schema table reads as a table or index, in UTF-8, in UTF-16le or in "
         "UTF-16be (the text encoding in its header is 1, UTF-8)",
         false, 255, true},
    };
    const std::set<int> live = live_rows(200);
    for (const encoding_case& c : cases) {
        fx::temp_dir dir;
        const std::string sound = dir.file("sound.db");
        db_shape shape;
        shape.encoding = c.stored;
        make_examiner_db(sound, shape);
        std::vector<std::uint8_t> bytes = fx::read_all(sound);
        ASSERT_GT(bytes.size(), 60u);
        bytes[59] = c.header;  // the low byte of the big-endian field at offset 56
        for (const std::string word : {"table", "index"}) {
            for (auto at = bytes.begin();
                 c.damaged && (at = std::search(at, bytes.end(), word.begin(), word.end())) != bytes.end();)
                *at++ = 'X';
        }
        const std::string damaged = dir.file("encoding.db");
        ASSERT_TRUE(fx::write_all(damaged, bytes));
        const std::set<std::string> sound_slack = slack_rows(run(arguments(sound, "-carve")).out);
        for (const form_case& f : {kForms[0], kForms[1], kForms[2]}) {
            SCOPED_TRACE(std::string(c.stored) + " under header encoding " + std::to_string(c.header) +
                         ", form \"" + f.form + "\"");
            const selk_process::result r = run(arguments(damaged, f.form));
            EXPECT_EQ(r.status, c.status) << r.err;
            if (!c.said.empty())
                EXPECT_NE(r.err.find(c.said + "\n"), std::string::npos) << r.err;
            else
                EXPECT_EQ(r.err, "");
            std::string extra;
            for (const std::string& row : slack_rows(r.out))
                if (sound_slack.count(row) == 0) extra += " " + row;
            EXPECT_EQ(extra, "") << "recovered rows the sound database does not give";
            // The library reads the header's encoding: where that contradicts the texts, it breaks off and
            // every form reads the notifications with the own reader.
            const bool library = c.status == 0 && std::string(f.form) != "-carve";
            const std::set<int> printed = rows_from(r.out, library ? "sqlite lib" : "carve main");
            if (!library && !c.live_read) {
                EXPECT_TRUE(printed.empty());
                continue;
            }
            EXPECT_EQ(lacking(live, printed), "") << "live rows not printed as live";
        }
    }
}
