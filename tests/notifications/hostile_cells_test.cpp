// Hostile cell contents through every output form and both quoting modes: each report is read back with an
// RFC 4180 reader at the run's separator, every record must have the header's column count, and every cell
// must read back as the stored text in its visible form. No raw control byte may reach the output.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "csv_reader.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;

constexpr std::int64_t kArrival = 132521873530000000LL;  // 2020-12-11 19:09:13 UTC
constexpr std::int64_t kHour = 36000000000LL;

// A stored text and how every form must show it (line breaks and control bytes as visible text); a payload
// loses its TAB, CR and LF when it is read, so it shows without them.
struct hostile {
    const char* name;
    std::string stored;
    std::string shown;
    std::string payload_shown;
};

const std::vector<hostile>& hostile_cells() {
    static const std::vector<hostile> cells = {
        {"separators", "a,b;c|d\te", "a,b;c|d[0x09]e", "a,b;c|de"},
        {"leading quote", "\"quoted\" start", "\"quoted\" start", "\"quoted\" start"},
        {"brace, not JSON", "{launch:a,b} <toast/>", "{launch:a,b} <toast/>", "{launch:a,b} <toast/>"},
        {"JSON", "{\"k\":\"x,y\"}", "{\"k\":\"x,y\"}", "{\"k\":\"x,y\"}"},
        {"lone CR", "cr\rmid", "cr[CR]mid", "crmid"},
        {"line breaks", "lf\nmid\r\nend\rx", "lf[LF]mid[CRLF]end[CR]x", "lfmidendx"},
        {"ESC and DEL", "esc\x1b[2Jclear\x7f", "esc[0x1B][2Jclear[0x7F]", "esc[0x1B][2Jclear[0x7F]"},
        {"not UTF-8", "bytes \xff\xfe\xc3 end", "bytes [0xFF][0xFE][0xC3] end",
         "bytes [0xFF][0xFE][0xC3] end"},
        {"C1 control",
         "csi\xc2\x9b"
         "2J caf\xc3\xa9",
         "csi[U+009B]2J caf\xc3\xa9", "csi[U+009B]2J caf\xc3\xa9"},
        // A cell that is the separator and nothing else (with -csv_separator ";"), one that opens with a
        // quote and holds no blank (with -csv_separator " "), and a quoted word.
        {"the separator alone", ";", ";", ";"},
        {"leading quote, no blank", "\"g", "\"g", "\"g"},
        {"quoted word", "\"g\"", "\"g\"", "\"g\""},
    };
    return cells;
}

// The database's own name carries a separator, a line break and ESC too.
const char* const kDbName = "host,ile;\n\x1b.db";
const char* const kDbShown = "host,ile;[LF][0x1B].db";

void bind_text(sqlite3_stmt* st, int i, const std::string& text) {
    sqlite3_bind_text(st, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Handler, push channel and notification i each hold hostile cell i in their texts.
void make_hostile_db(const std::string& path) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::create_tables(db);
    sqlite3_stmt* handler = nullptr;
    sqlite3_stmt* channel = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db,
                           "INSERT INTO NotificationHandler(RecordId, PrimaryId, HandlerType, WNFEventName, "
                           "CreatedTime, ModifiedTime) VALUES(?, ?, 'app:desktop', 7, '2020-12-11 19:09:13', "
                           "'2020-12-11 19:09:13');",
                           -1, &handler, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "INSERT INTO WNSPushChannel VALUES(?, ?, ?, 132524465530000000, "
                                 "132521873530000000, 0);",
                                 -1, &channel, nullptr),
              SQLITE_OK);
    sqlite3_stmt* texts = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE Notification SET Tag = ?, [Group] = ? WHERE [Order] = ?;", -1,
                                 &texts, nullptr),
              SQLITE_OK);
    const std::vector<hostile>& cells = hostile_cells();
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const int i = static_cast<int>(k) + 1;
        sqlite3_bind_int(handler, 1, i);
        bind_text(handler, 2, cells[k].stored);
        EXPECT_EQ(sqlite3_step(handler), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_reset(handler);
        bind_text(channel, 1, "chan-" + std::to_string(i));
        sqlite3_bind_int(channel, 2, i);
        bind_text(channel, 3, cells[k].stored);
        EXPECT_EQ(sqlite3_step(channel), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_reset(channel);
        fx::insert_notification(db, i, 100 + i, i, "toast", cells[k].stored, {}, kArrival + i * kHour);
        bind_text(texts, 1, cells[k].stored);
        bind_text(texts, 2, cells[k].stored);
        sqlite3_bind_int(texts, 3, i);
        EXPECT_EQ(sqlite3_step(texts), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_reset(texts);
    }
    sqlite3_finalize(texts);
    sqlite3_finalize(handler);
    sqlite3_finalize(channel);
    sqlite3_close(db);
}

std::string replaced(std::string text, char from, char to) {
    if (from != 0) std::replace(text.begin(), text.end(), from, to);
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos) return std::string();
    return text.substr(a, text.find_last_not_of(' ') - a + 1);
}

// The report without the banner block (banner, command-line echo, blank line).
std::string report_body(const std::string& out) {
    const std::size_t at = out.find("\n\n");
    return at == std::string::npos ? std::string() : out.substr(at + 2);
}

// The first raw control byte other than a line end and the separator (a C1 control in UTF-8 as its second
// byte), or -1.
int raw_control_byte(const std::string& text, char sep) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (text[i] == sep || text[i] == '\n') continue;
        if (c < 0x20 || c == 0x7f) return c;
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0xc2 && next >= 0x80 && next <= 0x9f) return next;
    }
    return -1;
}

enum class layout { rows, l2t, bodyfile };

struct form_case {
    const char* name;
    std::vector<std::string> args;
    layout kind;
    char sep;   // the separator a reader splits at
    char from;  // the character the form replaces inside values (0: none)
    char to;
    bool strict;  // quoted mode: no bare double quote may stand in an unquoted field
    bool trim;    // the padded form: cells carry blanks around them
};

// A FILETIME as the reports print it with the default formats.
std::string time_text(std::int64_t filetime) {
    const std::time_t t = static_cast<std::time_t>(filetime / 10000000 - 11644473600LL);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(text) + ".000";
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(hostile_cells, every_form_reads_back_whole) {
    const std::vector<form_case> forms = {
        {"default", {"-all_fields"}, layout::rows, '|', '|', ';', false, true},
        {"default ;", {"-all_fields", "-csv_separator", ";"}, layout::rows, ';', 0, 0, false, true},
        {"default unpadded", {"-all_fields", "-no_whitespace"}, layout::rows, '|', '|', ';', false, false},
        {"default unpadded quoted",
         {"-all_fields", "-no_whitespace", "-enable_quoted_csv_fields"},
         layout::rows,
         '|',
         0,
         0,
         true,
         false},
        {"csv", {"-csv", "-all_fields"}, layout::rows, ',', ',', ' ', false, false},
        {"csv quoted",
         {"-csv", "-all_fields", "-enable_quoted_csv_fields"},
         layout::rows,
         ',',
         0,
         0,
         true,
         false},
        {"csv ;", {"-csv", "-all_fields", "-csv_separator", ";"}, layout::rows, ';', 0, 0, false, false},
        {"csv ; quoted",
         {"-csv", "-all_fields", "-csv_separator", ";", "-enable_quoted_csv_fields"},
         layout::rows,
         ';',
         0,
         0,
         true,
         false},
        {"csv |", {"-csv", "-all_fields", "-csv_separator", "|"}, layout::rows, '|', '|', ';', false, false},
        // Separators that time cells and header words hold themselves.
        {"default :", {"-all_fields", "-csv_separator", ":"}, layout::rows, ':', 0, 0, false, true},
        {"default blank", {"-all_fields", "-csv_separator", " "}, layout::rows, ' ', 0, 0, false, true},
        {"csv :", {"-csv", "-all_fields", "-csv_separator", ":"}, layout::rows, ':', 0, 0, false, false},
        {"csv : quoted",
         {"-csv", "-all_fields", "-csv_separator", ":", "-enable_quoted_csv_fields"},
         layout::rows,
         ':',
         0,
         0,
         true,
         false},
        {"csv blank", {"-csv", "-all_fields", "-csv_separator", " "}, layout::rows, ' ', 0, 0, false, false},
        {"csvl2t :", {"-csvl2t", "-csv_separator", ":"}, layout::l2t, ':', 0, 0, false, false},
        {"csvl2t blank", {"-csvl2t", "-csv_separator", " "}, layout::l2t, ' ', 0, 0, false, false},
        // The header label "date/time" holds it.
        {"csvl2t /", {"-csvl2t", "-csv_separator", "/"}, layout::l2t, '/', 0, 0, false, false},
        {"csv tab", {"-csv", "-all_fields", "-csv_separator", "tab"}, layout::rows, '\t', 0, 0, false, false},
        {"csvl2t", {"-csvl2t"}, layout::l2t, ',', ',', ' ', false, false},
        {"csvl2t quoted", {"-csvl2t", "-enable_quoted_csv_fields"}, layout::l2t, ',', 0, 0, true, false},
        {"csvl2t ;", {"-csvl2t", "-csv_separator", ";"}, layout::l2t, ';', 0, 0, false, false},
        {"csvl2t | quoted",
         {"-csvl2t", "-csv_separator", "|", "-enable_quoted_csv_fields"},
         layout::l2t,
         '|',
         0,
         0,
         true,
         false},
        {"bodyfile", {"-bodyfile"}, layout::bodyfile, '|', '|', ';', false, false},
    };
    fx::temp_dir dir;
    const std::string db = dir.file(kDbName);
    make_hostile_db(db);
    const std::string db_shown = dir.file(kDbShown);
    const std::vector<hostile>& cells = hostile_cells();

    for (const form_case& f : forms) {
        SCOPED_TRACE(f.name);
        std::vector<std::string> args = {"-db", db, "-quiet"};
        args.insert(args.end(), f.args.begin(), f.args.end());
        const selk_process::result r = selk_process::run(args);
        ASSERT_TRUE(r.started);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(raw_control_byte(r.out, f.sep), -1) << "a raw control byte reached the output";
        const std::string body = report_body(r.out);

        std::vector<std::string> want_a, got_a, want_b, got_b, want_db, got_db;
        if (f.kind == layout::bodyfile) {
            // Not CSV: its readers split at every '|'.
            for (const std::string& line : selk_process::lines(body)) {
                if (line.empty()) continue;
                std::vector<std::string> fields;
                std::size_t from = 0;
                for (std::size_t at; (at = line.find('|', from)) != std::string::npos; from = at + 1)
                    fields.push_back(line.substr(from, at - from));
                fields.push_back(line.substr(from));
                ASSERT_EQ(fields.size(), 11u) << line;
                if (fields[1] != "name") got_a.push_back(fields[1]);
            }
            for (const hostile& h : cells) {
                want_a.push_back(
                    "PushNotification artifact; Type: toast; PrimaryID: " + replaced(h.shown, '|', ';') +
                    "; Payload: " + replaced(h.payload_shown, '|', ';'));
            }
            EXPECT_EQ(sorted(got_a), sorted(want_a));
            continue;
        }

        std::vector<csv_reader::record> records;
        std::string error;
        ASSERT_TRUE(csv_reader::read(body, f.sep, f.strict, records, error)) << error << "\n" << body;
        ASSERT_FALSE(records.empty());
        const csv_reader::record& header = records[0];
        auto column = [&](const std::string& label) {
            for (std::size_t i = 0; i < header.size(); ++i)
                if (trimmed(header[i]) == label) return static_cast<int>(i);
            ADD_FAILURE() << "no column " << label;
            return -1;
        };
        for (std::size_t i = 1; i < records.size(); ++i)
            ASSERT_EQ(records[i].size(), header.size()) << "record " << i << " of " << f.name;
        auto cell = [&](const csv_reader::record& rec, int i) {
            return i < 0    ? std::string()
                   : f.trim ? trimmed(rec[static_cast<std::size_t>(i)])
                            : rec[static_cast<std::size_t>(i)];
        };

        if (f.kind == layout::rows) {
            ASSERT_EQ(records.size(), cells.size() + 1);
            const int order = column("Order"), primary = column("Handler PrimaryId"),
                      payload = column("Payload"), uri = column("PushChannel Uri"), dbcol = column("DB"),
                      tag = column("Tag"), group = column("Group"),
                      arrival = column("Notification ArrivalTime");
            for (std::size_t i = 1; i < records.size(); ++i) {
                const int k = std::atoi(cell(records[i], order).c_str()) - 1;
                ASSERT_TRUE(k >= 0 && k < static_cast<int>(cells.size())) << cell(records[i], order);
                const hostile& h = cells[static_cast<std::size_t>(k)];
                const std::string want = replaced(h.shown, f.from, f.to);
                SCOPED_TRACE(h.name);
                EXPECT_EQ(cell(records[i], primary), want);
                EXPECT_EQ(cell(records[i], payload), replaced(h.payload_shown, f.from, f.to));
                EXPECT_EQ(cell(records[i], uri), want);
                EXPECT_EQ(cell(records[i], tag), want);
                EXPECT_EQ(cell(records[i], group), want);
                EXPECT_EQ(cell(records[i], dbcol), replaced(db_shown, f.from, f.to));
                EXPECT_EQ(trimmed(cell(records[i], arrival)), time_text(kArrival + (k + 1) * kHour));
            }
        } else {
            // Two events (arrival, expiry) per notification.
            ASSERT_EQ(records.size(), 2 * cells.size() + 1);
            const int desc = column("desc"), notes = column("notes"), extra = column("extra"),
                      when = column("date/time");
            std::vector<std::string> want_times, got_times;
            for (std::size_t i = 1; i < records.size(); ++i) {
                got_a.push_back(cell(records[i], desc));
                got_b.push_back(cell(records[i], notes));
                got_db.push_back(cell(records[i], extra));
                got_times.push_back(trimmed(cell(records[i], when)));
            }
            for (std::size_t k = 0; k < cells.size(); ++k) {
                const hostile& h = cells[k];
                for (int twice = 0; twice < 2; ++twice) {
                    want_a.push_back(replaced(h.payload_shown, f.from, f.to));
                    want_b.push_back(replaced("PrimaryID: " + h.shown, f.from, f.to));
                    want_db.push_back(replaced("db: " + db_shown, f.from, f.to));
                }
                // Arrival and expiry (a day later).
                const std::int64_t arrival = kArrival + static_cast<std::int64_t>(k + 1) * kHour;
                want_times.push_back(time_text(arrival));
                want_times.push_back(time_text(arrival + 864000000000LL));
            }
            EXPECT_EQ(sorted(got_a), sorted(want_a));
            EXPECT_EQ(sorted(got_b), sorted(want_b));
            EXPECT_EQ(sorted(got_db), sorted(want_db));
            EXPECT_EQ(sorted(got_times), sorted(want_times));
        }
    }
}

// Messages that name a path show its control bytes as text; the status line's own clearing stays.
TEST(hostile_cells, messages_show_control_bytes_of_paths) {
    fx::temp_dir dir;
    const std::string missing = dir.file("no\x1b[2Jsuch\nfile.db");
    const selk_process::result r = selk_process::run({"-db", missing});
    ASSERT_TRUE(r.started);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no[0x1B][2Jsuch[LF]file.db"), std::string::npos) << r.err;
    std::string err = r.err;
    for (std::size_t at; (at = err.find("\x1b[2K")) != std::string::npos;) err.erase(at, 4);
    EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
    EXPECT_EQ(err.find("such\nfile"), std::string::npos) << err;
}

// mactime reads every bodyfile line, hostile names included, each at its arrival time.
TEST(hostile_cells, bodyfile_reads_in_mactime) {
    if (std::system("command -v mactime >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mactime (Debian package sleuthkit) is not installed";
    fx::temp_dir dir;
    const std::string db = dir.file("hostile.db");
    make_hostile_db(db);
    const selk_process::result r = selk_process::run({"-db", db, "-quiet", "-bodyfile"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string body_path = dir.file("body.txt");
    std::ofstream(body_path, std::ios::binary) << report_body(r.out);
    const std::string timeline = dir.file("timeline.csv");
    ASSERT_EQ(
        std::system(("mactime -b '" + body_path + "' -d -z UTC > '" + timeline + "' 2>/dev/null").c_str()),
        0);
    std::ifstream in(timeline, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // mactime -d writes CSV itself: its last column is the name, each line one event of a bodyfile line.
    std::vector<csv_reader::record> records;
    std::string error;
    ASSERT_TRUE(csv_reader::read(text, ',', false, records, error)) << error << "\n" << text;
    // Each name's birth ("...b") event at its notification's arrival time.
    std::vector<std::string> births;
    for (std::size_t i = 1; i < records.size(); ++i)
        if (records[i].size() == 8 && records[i][2] == "...b")
            births.push_back(records[i][0] + " " + records[i][7]);
    const std::vector<hostile>& cells = hostile_cells();
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const hostile& h = cells[k];
        SCOPED_TRACE(h.name);
        const std::time_t unix_time = static_cast<std::time_t>(
            (kArrival + static_cast<std::int64_t>(k + 1) * kHour) / 10000000 - 11644473600LL);
        std::tm tm{};
        ASSERT_NE(gmtime_r(&unix_time, &tm), nullptr);
        char date[64];
        ASSERT_GT(std::strftime(date, sizeof date, "%a %b %d %Y %H:%M:%S", &tm), 0u);
        const std::string birth = std::string(date) + " PushNotification artifact; Type: toast; PrimaryID: " +
                                  replaced(h.shown, '|', ';') +
                                  "; Payload: " + replaced(h.payload_shown, '|', ';');
        EXPECT_NE(std::find(births.begin(), births.end(), birth), births.end()) << birth << "\n" << text;
    }
}

// A handler's time text that names no date prints no time in any form, where the conversion alone would roll
// it into a real date, for the rows the library reads, those of the own walk of -carve and those recovered
// from free space; a note says each text once (a handler recovered from free space too), with its column, and
// the exit status stays 0, also where the notifications are read twice for the name column's width. A real
// date in each form read prints as it always did; an empty text and NULL print nothing and say nothing.
TEST(hostile_cells, handler_times_that_name_no_date_print_no_time) {
    struct time_case {
        std::string stored;
        bool null;
        std::string shown;  // in the rows' time cells
        bool noted;
    };
    const std::vector<time_case> cases = {
        {"2021-02-29 12:00:00", false, "", true},
        {"0000-00-00 00:00:00", false, "", true},
        {"2020-02-30 25:61:61", false, "", true},
        {"1999-12-31 24:00:00", false, "", true},
        {"2021-06-31", false, "", true},
        {"2021-00-10", false, "", true},
        {"2021-01-01 10:00:60", false, "", true},
        {"10:00:60", false, "", true},
        {"2021-01-01 65546:00:00", false, "", true},
        {"2021-13-45 10:00:00", false, "", true},
        {"2021-02-30\x1b[2J 10:00:00", false, "", true},
        {"2020-02-29 23:59:59", false, "2020-02-29 23:59:59.000", false},
        {"2021-06-30", false, "2021-06-30 00:00:00.000", false},
        {"21-06-30 10:00", false, "2021-06-30 10:00:00.000", false},
        {"2021-06-30T10:00:00", false, "2021-06-30 10:00:00.000", false},
        {"2021-06-30 10:00:00.123", false, "2021-06-30 10:00:00.123", false},
        {"2021-6-3 1:2:3", false, "2021-06-03 01:02:03.000", false},
        {"2021-06-30 10:00 pm", false, "2021-06-30 22:00:00.000", false},
        {"", false, "", false},
        {"", true, "", false},
    };
    // A handler deleted with its notification, both recovered from free space: their rowid and length take
    // two bytes each, so the free block's own four bytes leave their record headers whole.
    const int deleted = 999;
    const std::string deleted_text = "2021-04-31 08:00:00";
    fx::temp_dir dir;
    const std::string db = dir.file("times.db");
    sqlite3* h = fx::open_db(db);
    ASSERT_NE(h, nullptr);
    fx::create_tables(h);
    sqlite3_stmt* handler = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(h,
                           "INSERT INTO NotificationHandler(RecordId, PrimaryId, HandlerType, CreatedTime, "
                           "ModifiedTime) VALUES(?1, ?2, 'app:desktop', ?3, ?3);",
                           -1, &handler, nullptr),
        SQLITE_OK);
    std::string notes;
    // The deleted handler first: its cell is then one of the page's free blocks, not its unused gap.
    const std::string long_name = "Contoso.AVeryLongApplicationName_8wekyb3d8bbwe!App";
    for (std::size_t k = 0; k <= cases.size(); ++k) {
        const time_case* c = k == 0 ? nullptr : &cases[k - 1];
        const int id = k == 0 ? deleted : static_cast<int>(k);
        sqlite3_bind_int(handler, 1, id);
        // A name longer than the padded name column: the notifications are then read twice.
        bind_text(handler, 2, k <= 1 ? long_name + long_name : "App");
        if (c != nullptr && c->null)
            sqlite3_bind_null(handler, 3);
        else
            bind_text(handler, 3, c != nullptr ? c->stored : deleted_text);
        EXPECT_EQ(sqlite3_step(handler), SQLITE_DONE) << sqlite3_errmsg(h);
        sqlite3_reset(handler);
        fx::insert_notification(h, id, 1000 + id, k == 0 ? 1 : id, "toast",
                                k == 0 ? "<toast>" + long_name + long_name + "</toast>" : "<toast/>");
        if (c == nullptr || !c->noted) continue;
        std::string shown = c->stored;
        for (std::size_t at; (at = shown.find('\x1b')) != std::string::npos;) shown.replace(at, 1, "[0x1B]");
        for (const char* column : {"CreatedTime", "ModifiedTime"})
            notes += "note: " + db + ": " + column + " \"" + shown + "\" of handler " + std::to_string(id) +
                     " names no real date and time: no time is printed for it\n";
    }
    sqlite3_finalize(handler);
    sqlite3_close(h);
    h = fx::open_db(db);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "DELETE FROM Notification WHERE [Order] = " + std::to_string(deleted) +
                    "; DELETE FROM NotificationHandler WHERE RecordId = " + std::to_string(deleted) + ";");
    sqlite3_close(h);
    // The recovered handler is named where it lies: its RecordId went with its cell.
    const std::string said = " names no real date and time: no time is printed for it";
    const std::string deleted_at = "\" of handler 0 (\"main db slack\", record offset 0x";
    struct form {
        std::vector<std::string> args;
        char sep;        // 0: the rows' cells are not read
        bool recovered;  // the deleted handler and its notification come back
    };
    const std::vector<form> forms = {
        {{}, '|', false},          {{"-csv"}, ',', false},          {{"-csvl2t"}, 0, false},
        {{"-bodyfile"}, 0, false}, {{"-csv", "-carve"}, ',', true}, {{"-csv", "-incl_slack"}, ',', true},
    };
    for (const form& f : forms) {
        std::vector<std::string> args = {"-db", db, "-quiet"};
        args.insert(args.end(), f.args.begin(), f.args.end());
        SCOPED_TRACE(args.back());
        const selk_process::result r = selk_process::run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.err.substr(0, notes.size()), notes);
        std::vector<std::string> more = selk_process::lines(r.err.substr(notes.size()));
        ASSERT_EQ(more.size(), f.recovered ? 2u : 0u) << r.err;
        for (std::size_t i = 0; i < more.size(); ++i) {
            const std::string start = "note: " + db + ": " + (i == 0 ? "Created" : "Modified") + "Time \"" +
                                      deleted_text + deleted_at;
            EXPECT_EQ(more[i].rfind(start, 0), 0u) << more[i];
            EXPECT_EQ(more[i].find(")" + said, start.size()), more[i].size() - said.size() - 1) << more[i];
        }
        if (f.sep == 0) continue;
        std::vector<csv_reader::record> records;
        std::string error;
        ASSERT_TRUE(csv_reader::read(report_body(r.out), f.sep, false, records, error)) << error;
        ASSERT_EQ(records.size(), cases.size() + (f.recovered ? 2 : 1)) << r.out;
        std::vector<int> at;
        for (const char* label :
             {"Handler CreatedTime", "Handler ModifiedTime", "Misc data", "Source of Notification"}) {
            at.push_back(
                static_cast<int>(std::find_if(records[0].begin(), records[0].end(),
                                              [&](const std::string& c) { return trimmed(c) == label; }) -
                                 records[0].begin()));
            ASSERT_LT(at.back(), static_cast<int>(records[0].size())) << label;
        }
        for (std::size_t i = 1; i < records.size(); ++i) {
            ASSERT_EQ(records[i].size(), records[0].size()) << i;
            const bool recovered = records[i][at[2]].find("record offset") != std::string::npos &&
                                   records[i][at[2]].find("carve main") == std::string::npos;
            // The recovered notification is handler 1's, and joined with it.
            const time_case& c = cases[recovered ? 0 : i - 1];
            SCOPED_TRACE(c.stored);
            if (recovered) {
                EXPECT_EQ(trimmed(records[i][at[3]]), "Contoso.AVeryLongApplicationName");
            }
            EXPECT_EQ(trimmed(records[i][at[0]]), c.shown);
            EXPECT_EQ(trimmed(records[i][at[1]]), c.shown);
        }
    }
    // The progress switch does not silence the notes.
    const selk_process::result r = selk_process::run({"-db", db, "-csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(notes), std::string::npos) << r.err;
}

// A record recovered from the write-ahead log whose texts hold the separator keeps the header's column count.
TEST(hostile_cells, recovered_row_holding_the_separator) {
    fx::temp_dir dir;
    const std::string live = dir.file("live.db");
    sqlite3* db = fx::open_db(live);
    ASSERT_NE(db, nullptr);
    fx::exec(db,
             "PRAGMA secure_delete=OFF; PRAGMA page_size=4096; PRAGMA journal_mode=WAL; "
             "PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(db);
    fx::insert_handler(db, 1, "Contoso!Mail;App");
    for (int i = 1; i <= 20; ++i)
        fx::insert_notification(db, i, 100 + i, 1, "toast",
                                "<toast><text>a;b " + std::to_string(i) + "</text></toast>");
    fx::exec(db, "DELETE FROM Notification WHERE [Order] % 2 = 0;");
    const std::string copy = dir.file("wal.db");
    ASSERT_TRUE(fx::copy_file(live, copy));
    ASSERT_TRUE(fx::copy_file(live + "-wal", copy + "-wal"));
    sqlite3_close(db);

    const selk_process::result r =
        selk_process::run({"-db", copy, "-quiet", "-incl_slack", "-csv", "-csv_separator", ";"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<csv_reader::record> records;
    std::string error;
    ASSERT_TRUE(csv_reader::read(report_body(r.out), ';', false, records, error)) << error;
    ASSERT_GT(records.size(), 11u) << r.out;  // the 10 live rows and at least one recovered
    auto column = [&](const char* label) {
        std::size_t i = 0;
        while (i < records[0].size() && records[0][i] != label) ++i;
        return i;
    };
    const std::size_t misc = column("Misc data"), payload = column("Payload"),
                      primary = column("Source of Notification");
    ASSERT_LT(misc, records[0].size());
    ASSERT_LT(payload, records[0].size());
    ASSERT_LT(primary, records[0].size());
    int recovered = 0;
    for (std::size_t i = 1; i < records.size(); ++i) {
        ASSERT_EQ(records[i].size(), records[0].size()) << "record " << i << "\n" << r.out;
        if (records[i][misc].find("record offset") == std::string::npos) continue;
        ++recovered;
        // The recovered texts read back whole, separator and all.
        const std::string& text = records[i][payload];
        EXPECT_EQ(text.rfind("<toast><text>a;b ", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 15), "</text></toast>") << text;
        EXPECT_EQ(records[i][primary], "Mail;App");
    }
    EXPECT_GT(recovered, 0) << r.out;
}

}  // namespace
