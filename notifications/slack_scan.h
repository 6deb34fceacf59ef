// The two drivers of record recovery: the slack scan of a database (its free space, its "-wal" or
// "-journal" companion) and the parser of a file of loose pages; both recognise notification, handler
// and push-channel rows in the raw bytes and sort them into the store of the run.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "notifications/recovered.h"
#include "sqlite_format/carver.h"

class database_source;
class selk_run;
struct database_verdict;

// Carves the database `source` and its companion (carve_database; the valid frames of the log only with
// `carve`) and adds what is recognised to the run's store. Unless `keep` is set the notification
// vector is emptied first. The tree check's `verdict` (when given) says who owns each page. 1 when the scan
// found records, 0 for an empty path, no run, or nothing recovered.
int scan_slack_records(const database_source& source, bool keep, bool carve, selk_run* run,
                       std::shared_ptr<const database_verdict> verdict = nullptr);
// The same of a source opened from `path`.
int scan_slack_records(const std::string& path, bool keep, bool carve, selk_run* run);
// The same with two values in the middle that are not read.
int scan_slack_records(const std::string& path, bool keep, std::uint64_t unused_a, std::uint32_t unused_b,
                       int carve, selk_run* run);

// A slack scan carved on a thread of its own while the tables are read, its outcome a std::future. Its
// records reach the store only in finish(), after the tables' rows are in the report, so the report is the
// one a scan after the tables gives. The thread also sorts the records, against copies of the run's schemas,
// which the reading of the tables leaves as they are. With progress output on the scan stays where it was:
// its status lines would otherwise fall among the table reading's messages.
class slack_scan_task {
  public:
    slack_scan_task() = default;
    ~slack_scan_task();
    slack_scan_task(const slack_scan_task&) = delete;
    slack_scan_task& operator=(const slack_scan_task&) = delete;

    // Starts carving `source` as scan_slack_records(source, false, carve, &run, verdict) would; false
    // (nothing started) with progress output on, or when no thread can be made. Starts at most once. The
    // source must stay open until finish().
    bool start(const database_source& source, bool carve, const selk_run& run,
               std::shared_ptr<const database_verdict> verdict = nullptr);
    bool started() const { return started_; }
    // Waits for the carving, then empties the run's notification vector and adds what was recognised, as
    // scan_slack_records does; its result. An error of the carving is thrown here.
    int finish(selk_run* run);

  private:
    std::thread thread_;
    bool started_ = false;
    std::promise<int> carving_;  // set by the thread: whether the carving found records, or its error
    std::future<int> carved_;
    recovered_stage stage_;  // the records sorted as they are carved
};

// Walks the whole file at `path` (environment references expanded in place; it becomes the run's
// db_path) as 4096-byte pages with no database header, recognising records under source 4; a
// write-ahead-log header is skipped and every frame read past its frame header. The run is cleared
// for a new database first. 1 when records were found; 0 for no run, an empty path, a file that
// cannot be opened or read, or no record found ("problem finding proper signatures to parse" on standard
// error).
int parse_chunk_file(selk_run* run, std::string& path);
