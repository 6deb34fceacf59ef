// The selk executable on databases whose schema table is hard to read: schema rows that continue on overflow
// pages, and a header whose text encoding contradicts the stored texts. Each test runs selk as a process and
// checks which rows it prints as live, what it says on standard error and its exit status.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <set>
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
// "<toast>row N</toast>") on pages of `page_size` bytes, every third deleted with secure delete off. With
// `comment` the Notification CREATE TABLE text carries a comment of that many bytes right after its opening
// parenthesis, so that the text that names the columns lies on the row's overflow pages. `encoding` is the
// database's text encoding.
struct db_shape {
    int page_size = 4096;
    int count = 200;
    std::size_t comment = 0;
    const char* encoding = "UTF-8";
};

void make_examiner_db(const std::string& path, const db_shape& shape) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=" + std::to_string(shape.page_size) + "; PRAGMA encoding='" +
                     shape.encoding + "';");
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
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    for (int i = 0; i < shape.count; ++i)
        fx::insert_notification(db, 200 + i, 300 + i, 68, "toast",
                                "<toast>row " + std::to_string(i) + "</toast>");
    fx::exec(db, "COMMIT; DELETE FROM Notification WHERE [Order] % 3 = 0;");
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

// The numbers of `wanted` that `got` lacks, as a text ("" when none).
std::string lacking(const std::set<int>& wanted, const std::set<int>& got) {
    std::string text;
    for (const int n : wanted)
        if (got.count(n) == 0) text += " " + std::to_string(n);
    return text;
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

// A header whose text encoding contradicts the texts of the schema table is damage: the run says so and exits
// 255. The own reader reads the schema (and then the tables) in the encoding in which its rows read as tables
// and indexes, so "-carve" and "-incl_slack" still print every live row as a live row; and the pages of the
// tables' trees are told from free ones by their root page numbers, whatever the texts read as, so no live
// row comes back as a recovered "main db slack" row: those are the ones the sound database gives. The library
// reads the header's encoding and cannot read the schema. A database stored in UTF-16be, which the own reader
// does not read, is said as such.
TEST(SelkSchema, HeaderTextEncodingAgainstTheStoredTexts) {
    struct encoding_case {
        const char* stored;   // the database's own encoding
        std::uint8_t header;  // the text encoding field written over its header's
        std::string said;     // on standard error; empty: nothing
        bool live_read;       // "-carve" and "-incl_slack" print every live row as a live row
        int status;           // of each form
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
        {"UTF-16be", 3,
         "none of the 7 rows of its schema table reads as a table or index, in UTF-8 or in UTF-16le "
         "(the text encoding in its header is 3, UTF-16be)",
         false, 255},
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
            // The library reads the header's encoding: where that contradicts the texts, the default form
            // prints no row and "-incl_slack" reads the notifications with the own reader.
            const bool library = c.status == 0 && std::string(f.form) != "-carve";
            const std::set<int> printed = rows_from(r.out, library ? "sqlite lib" : "carve main");
            if (!library && (*f.form == '\0' || !c.live_read)) {
                EXPECT_TRUE(printed.empty());
                continue;
            }
            EXPECT_EQ(lacking(live, printed), "") << "live rows not printed as live";
        }
    }
}
