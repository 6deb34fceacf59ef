// Recognising notification, handler and push-channel rows in raw bytes (free blocks, page slack,
// journal and log page images, loose pages), and sorting the records carved from them into the
// store of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notifications/records.h"
#include "notifications/recovered_list.h"
#include "sqlite_format/carver.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/signatures.h"
#include "sqlite_format/table_schema.h"

class selk_options;
class selk_run;

// Column masks of the row layouts the recognisers know (bit i = column i of the record kind).
constexpr std::uint64_t kNotificationMask10 = 1023;   // columns 0-9
constexpr std::uint64_t kNotificationMask11 = 2047;   // columns 0-10
constexpr std::uint64_t kNotificationMask12 = 4095;   // columns 0-11
constexpr std::uint64_t kNotificationMask14 = 16383;  // columns 0-13: the rows Windows writes
constexpr std::uint64_t kHandlerMaskSecondary = 511;  // columns 0-8, with the secondary identifier
constexpr std::uint64_t kHandlerMask9 = 1019;         // columns 0, 1, 3-9
constexpr std::uint64_t kHandlerMask10 = 2043;        // columns 0, 1, 3-10: the rows Windows writes
constexpr std::uint64_t kPushChannelMask5 = 31;       // columns 0-4
constexpr std::uint64_t kPushChannelMask6 = 63;       // columns 0-5

// Bits of selk_options::recogniser_switches.
constexpr std::int64_t kRecogniseNotifications = 1;
constexpr std::int64_t kRecogniseHandlers = 2;
constexpr std::int64_t kRecognisePushChannels = 4;

// Scans `length` bytes of `buffer` for record headers of the three tables enabled by `switches`
// (kRecognise* bits) and appends one candidate per header: `position` the first serial type's index in
// the buffer (the header-length byte stands before it), `record_offset` base_offset + position (0 when
// base_offset is 0), `table_kind` the table whose header it recognised, `column_count` the number of serial
// types of that header (modulo 256), `carried` the column mask, and `prefix_flag` 1 when the stored
// header-length byte disagreed with the header found (the record's start was overwritten, so no rowid is
// looked for behind it). A text the recognisers check is taken as its bytes or else as UTF-16 in the orders
// of `utf16` (kUtf16* bits). `texts` says how the candidate's texts are stored: in `database` where that is
// given (the database's encoding, as its schema reads), else in the encoding its checked texts read in
// (a handler's two date texts then may have the length of either). Unless `keep` is non-zero `out` is
// emptied first. 1 when `out` grew, else 0 (also for a null buffer or fewer than 29 bytes). Reads nothing
// outside the buffer.
int recognise_record_headers(std::vector<recovered_record>& out, const std::uint8_t* buffer,
                             std::uint32_t length, std::uint64_t base_offset, std::uint32_t keep,
                             std::int64_t switches, std::uint32_t utf16 = kUtf16LittleEndian,
                             std::optional<text_encoding> database = std::nullopt);

// recognise_record_headers with the recogniser switches of `options` (all three when it is null).
int classify_recovered_record(std::vector<recovered_record>& out, const std::uint8_t* buffer,
                              std::uint32_t length, std::uint64_t base_offset, std::uint32_t keep,
                              const selk_options* options);

// The page walker's classifier for a run with these recogniser switches, its texts checked in the UTF-16
// orders of `utf16` where their bytes are not text, each candidate's texts stored as they read.
candidate_finder recogniser_for(std::int64_t switches, std::uint32_t utf16 = kUtf16LittleEndian);
// The same for the free space of a database whose texts are stored in `database`: every candidate's are.
candidate_finder recogniser_for(std::int64_t switches, text_encoding database);

// Turns each carved record of table kind 1, 2 or 4 into a record of its class appended to the run's
// store (notification: its Order takes the rowid; handler: its RecordId takes the rowid and is indexed; push
// channel: indexed by handler). Each record is sorted against a
// schema of its table that starts as the run's and is rebuilt for the record's column mask when it differs;
// the run's schemas stay as they are. Records of other kinds and rows the record refuses are left out. 0 for
// no records or no run, else 1.
int add_recovered_records(const std::vector<recovered_record>& records, selk_run* run);

// Carved records sorted as add_recovered_records sorts them, kept apart from the run until they are
// merged into it. The sorting rebuilds schemas of its own, which start as the run's (fixed while the
// database is read), so it may run on another thread while the run's tables are read. Notifications carved
// from a file (their values left undecoded) are kept as references to it; the rest whole.
struct recovered_stage {
    table_schema schemas[3];  // notification, handler, push channel: the sorting's own, as it leaves them
    bool used[3] = {false, false, false};  // a record of the schema's table was sorted
    schema_signature signatures[3];        // of the three schemas
    recovered_notifications notifications;
    std::vector<notification_handler_record> handlers;
    std::vector<wns_push_channel_record> push_channels;
    std::shared_ptr<carved_files> files;  // of the carve being sorted: where references point
    // The list's index of the notification schema as the last reference left it; -1 once the schema may have
    // changed since (the list's comparison of whole schemas is then made again).
    std::int64_t reference_schema = -1;
};
// Starts the stage's schemas as the run's three (the stage emptied first).
void begin_recovered_stage(recovered_stage& stage, const selk_run& run);
// Sorts `records` into `stage` against its schemas (`verify`: the options' verify switch). A notification
// whose values the walk deferred becomes a reference to `file`, one of stage.files.
void sort_recovered_records(const std::vector<recovered_record>& records, bool verify, recovered_stage& stage,
                            uni::fileio* file = nullptr);
// A sink for a walk or carve whose records are sorted into `stage` as they come; stage.files must hold the
// files it walks (carve_options::files), which then stay open with the stage's references.
record_sink recovered_stage_sink(recovered_stage& stage, bool verify);
// Appends the staged records to the run's store and indexes them, as add_recovered_records does; the report's
// joins then count the columns of the schemas the records were sorted with (table_layout::join_columns).
void merge_recovered_records(recovered_stage& stage, selk_run& run);

// Rebuild `schema` (cleared first) for one of the masks above: one field per set bit, marked present and
// carrying its bit. With `verify` each field also gets its column name and the schema a signature digest
// of the table's name and those names. 1, or 0 (schema left empty) for a mask the table does not know.
int match_notification_record(table_schema& schema, std::uint64_t mask, bool verify);
int match_handler_record(table_schema& schema, std::uint64_t mask, bool verify);
int match_push_channel_record(table_schema& schema, std::uint64_t mask, bool verify);
