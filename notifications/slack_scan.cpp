#include "notifications/slack_scan.h"

#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "io/console.h"
#include "io/fileio.h"
#include "notifications/database_state.h"
#include "notifications/recovered.h"
#include "platform/threads.h"
#include "sqlite_format/carver.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/wal.h"

namespace {

// Loose pages are walked in the page size Windows uses for the notification database.
constexpr std::uint32_t kChunkPageSize = 4096;
// A write-ahead-log header at the start of a file of loose pages: the log's magic and version, and a
// page-size field as loose_wal_page_size_field takes it. Looser than wal_header_valid on purpose: the
// pages are walked in 4096-byte steps whatever size it states.
bool is_wal_header(const std::uint8_t* h, std::size_t length) {
    return wal_magic_and_version_valid(h, length) && loose_wal_page_size_field(h, length);
}

// What a slack scan of the run carves: every recognised row of at least one column, its texts checked and
// read in the encoding the schema's texts read in (the one the live rows are read in).
carve_options slack_carve_options(const selk_run& run, bool keep, bool carve) {
    carve_options scan;
    scan.classify = recogniser_for(run.options.recogniser_switches, run.layout.texts);
    scan.keep = keep;
    scan.min_columns = 1;
    scan.max_columns = 1;
    scan.valid_frames = carve;
    scan.progress = run.options.show_progress;
    // Notifications, the many, are decoded again when printed: only handlers and push channels carry values.
    scan.deferred_kinds = kTableNotification;
    scan.threads = run.threads.carvers;
    return scan;
}

// Points `scan` at `stage`: its records are sorted into the stage chunk by chunk, and its files stay open
// with the stage's references.
void carve_into_stage(carve_options& scan, recovered_stage& stage, bool verify) {
    stage.files = std::make_shared<carved_files>();
    scan.files = stage.files;
    scan.sink = recovered_stage_sink(stage, verify);
}

}  // namespace

int scan_slack_records(const std::string& path, bool keep, std::uint64_t, std::uint32_t, int carve,
                       selk_run* run) {
    return scan_slack_records(path, keep, carve != 0, run);
}

int scan_slack_records(const std::string& path, bool keep, bool carve, selk_run* run) {
    if (path.empty() || run == nullptr) return 0;
    database_source source;
    (void)source.open(path);
    return scan_slack_records(source, keep, carve, run);
}

int scan_slack_records(const database_source& source, bool keep, bool carve, selk_run* run,
                       std::shared_ptr<const database_verdict> verdict) {
    if (source.path().empty() || run == nullptr) return 0;
    if (!keep) run->store.notifications.clear();
    std::vector<recovered_record> results;
    recovered_stage stage;
    begin_recovered_stage(stage, *run);
    carve_options scan = slack_carve_options(*run, keep, carve);
    scan.verdict = std::move(verdict);
    carve_into_stage(scan, stage, run->options.verify != 0);
    if (!carve_database(results, source, scan)) return 0;
    merge_recovered_records(stage, *run);
    return 1;
}

slack_scan_task::~slack_scan_task() {
    if (thread_.joinable()) thread_.join();
}

bool slack_scan_task::start(const database_source& source, bool carve, const selk_run& run,
                            std::shared_ptr<const database_verdict> verdict) {
    if (started_ || source.path().empty() || run.options.show_progress || run.threads.scan == 0) return false;
    carve_options scan = slack_carve_options(run, false, carve);
    scan.verdict = std::move(verdict);
    begin_recovered_stage(stage_, run);
    carve_into_stage(scan, stage_, run.options.verify != 0);
    carved_ = carving_.get_future();
    // The driver's source outlives the thread: it is joined before the source closes.
    const database_source* database = &source;
    const bool running = platform_start_thread(
        thread_,
        [this, database, scan = std::move(scan)] {
            std::vector<recovered_record> kept;  // the sink takes every record: this stays empty
            carving_.set_value(carve_database(kept, *database, scan));
        },
        [this](std::exception_ptr e) { carving_.set_exception(std::move(e)); });
    if (!running) return false;
    started_ = true;
    return true;
}

int slack_scan_task::finish(selk_run* run) {
    if (!started_) return 0;
    const int carved = carved_.get();
    if (thread_.joinable()) thread_.join();
    if (run == nullptr) return 0;
    run->store.notifications.clear();
    if (!carved) return 0;
    merge_recovered_records(stage_, *run);
    return 1;
}

int parse_chunk_file(selk_run* run, std::string& path) {
    if (run == nullptr || path.empty()) return 0;
    run->clear_after_each_iteration();
    path = input_path_opened(run->options, path);
    run->db_path = path;

    // The file stays open with the records' references until they are printed.
    const std::shared_ptr<carved_files> files = std::make_shared<carved_files>();
    files->main_path = path;
    uni::fileio& file = files->main;
    if (!file.open(path, false, false, false)) return 0;
    std::uint8_t header[kDbHeaderSize] = {};
    std::uint32_t got = kDbHeaderSize;
    if (!file.read_at(header, &got, 0)) return 0;

    // A file shorter than a log header cannot be one; its bytes are still walked as a page.
    const bool wal = got >= kWalHeaderSize && is_wal_header(header, kWalHeaderSize);
    // A file that starts with a database header says in which UTF-16 order its texts would be stored; loose
    // pages do not, so a text is tried in both. Either way each record's texts are read as its checked ones
    // read: no schema says what the header's field is worth.
    const database_header facts = decode_database_header(header, got);
    const std::uint32_t utf16 = facts.length == kDbHeaderSize && facts.magic
                                    ? utf16_orders_for(facts.texts)
                                    : kUtf16LittleEndian | kUtf16BigEndian;
    const std::uint64_t size = file.size();
    const std::uint64_t start = wal ? kWalHeaderSize : 0;
    region_map regions;
    if (size > start) regions.emplace(start, size - start);

    if (run->options.show_progress) error_printf("analyzing %s\n", path.c_str());
    run->layout.schemas[kSchemaNotification].column_mask = kNotificationMask10;
    run->layout.schemas[kSchemaNotification].column_count = 10;
    run->layout.join_columns[kSchemaNotification] = 10;

    recovered_stage stage;
    begin_recovered_stage(stage, *run);
    stage.files = files;
    std::vector<recovered_record> results;
    page_walk_options walk;
    walk.sink = recovered_stage_sink(stage, run->options.verify != 0);
    walk.deferred_kinds = kTableNotification;
    walk.threads = run->threads.carvers;
    walk.classify = recogniser_for(run->options.recogniser_switches, utf16);
    walk.source_code = kSourceCarveBlob;
    walk.page_size = kChunkPageSize;
    walk.frame_flag = wal;
    walk.progress = run->options.show_progress;
    if (!walk_db_pages(results, regions, file, walk)) {
        error_printf("problem finding proper signatures to parse\n");
        return 0;
    }
    merge_recovered_records(stage, *run);
    return 1;
}
