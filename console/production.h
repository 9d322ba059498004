#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console/job_record.h"
#include "console/run_journal.h"
#include "data/file_lock.h"
#include "data/serial_number.h"
#include "store/job_store.h"

namespace korvan {

// The per-chip number placed before each write, taken from a counter file.
struct SerialNumbering {
    SerialNumberPlacement placement;
    std::string counterPath;
    std::uint64_t start = 1;  // the first number when the counter file does not exist yet
    bool overwrite = false;   // the number may cover bytes the image programs
};

struct ProductionOptions {
    std::string jobLogPath;  // empty: no log
    std::optional<SerialNumbering> serial;
    std::string storeUrl;   // a PostgreSQL server keeps the numbers and records; empty: the files
    std::string job;        // the job's name, in every record; required with storeUrl
    std::string spoolPath;  // records the server cannot take wait here
};

// Where `options` take numbers from and keep records in.
JobStoreSettings StoreSettings(const ProductionOptions& options);

// Who ran a job, for its record.
struct JobSite {
    int site = 1;
    std::string port;
    std::string programmer;  // the programmer type's name
};

// Empty when the next number the counter gives fits the placement and the counter can be
// advanced past it; else why not. Checked before a run, so that a number that cannot be placed
// stops it before anything is written.
std::string SerialNumberingProblem(const SerialNumbering& serial);

// As SerialNumberingProblem, from where `options` take their numbers: the counter file, or the
// store's server, whose being out of reach is then the reason.
std::string NumberSourceProblem(const ProductionOptions& options);

// Empty when `path` can be the job log: a regular file that is empty or holds job records
// and can be written, or a new file in a folder that can be written. Else why not.
std::string JobLogProblem(const std::string& path);

// Everything about the log and the counter that would stop a run part way, found before it
// starts: the log, the number source, and a log that is the counter itself.
std::string ProductionProblem(const ProductionOptions& options);
// As ProductionProblem, leaving the store's server out: the window asks it at each run instead
// (ProductionLine::StartProblem), as the server may be away at start-up and back later.
std::string LocalProductionProblem(const ProductionOptions& options);

// The window's production settings: Korvan.ini, section Production, keys JobLog,
// SerialNumber (ADDR:BYTES:FORMAT), SerialCounter, SerialStart, SerialOverwrite (0/1), Store (a
// PostgreSQL connection string, which then keeps the numbers), Job and Spool.
// Relative paths are taken from `baseDir`. Every problem is one line naming the key.
struct ProductionRead {
    ProductionOptions options;
    std::vector<std::string> problems;
};
ProductionRead ReadProductionSettings(const std::string& iniPath, const std::string& baseDir);

// The keys above, in that order, and the longest value each may have.
inline constexpr std::array<const char*, 8> kProductionKeys = {
    "JobLog", "SerialNumber", "SerialCounter", "SerialStart", "SerialOverwrite", "Store", "Job", "Spool"};
inline constexpr std::size_t kMaxProductionValueChars = 4096;

// As ReadProductionSettings, with each key's text from `value` (empty: not set): the rules a
// front end checks an edit of the section with before keeping it.
ProductionRead ParseProductionSettings(const std::function<std::string(const char* key)>& value,
                                       const std::string& baseDir);

// How a front end takes part in a wait for the counter's or the job log's lock, which lasts
// at most LockWait's limit: what ends it at once (an interruption), and where the one line
// saying that another run holds the file goes. Both are called on the waiting thread; either
// may be empty.
struct WaitHooks {
    std::function<bool()> cancelled;
    std::function<void(const std::string& line)> tell;
};

// One site's production run: stamps each chip's serial number before its write, and keeps a
// record of each run, appended to the job log when there is one. Each number taken is logged
// at once as reserved, before the run that uses it goes on.
class ProductionLine final : public RunObserver {
public:
    ProductionLine(ProductionOptions options, JobSite site);

    std::string ImageProblem(const Image& image, std::size_t romBytes) override;
    // The store's server is reached, and its next number fits the placement.
    std::string StartProblem() override;
    Stamp StampImage(Image& image) override;
    std::string RunEnded(const RunOutcome& outcome) override;

    void SetWaitHooks(WaitHooks hooks) { waitHooks_ = std::move(hooks); }

    // The record of the last run that ended; none before the first. Any thread may ask: the
    // records are kept on the thread that runs RunEnded (a worker, in the window).
    std::optional<JobRecord> lastRecord() const;
    // Why the last run's record could not be logged; empty when it was, or there is no log.
    std::string lastLogProblem() const;
    // `kept` is called after each run's record went to the store (or its spool), on the thread
    // that keeps the records.
    void SetRecordKept(std::function<void()> kept) { recordKept_ = std::move(kept); }
    // The job's totals from the store; on the thread that keeps the records.
    JobTotalsRead ReadTotals() { return store_->Totals(); }

private:
    JobRecord MakeRecord(const RunOutcome& outcome);
    const std::string& RunId();
    TakenSerialNumber TakeNumber(const SerialNumbering& serial);
    // Appends `line` to the job log, if there is one; empty, or the status line saying why not.
    std::string LogLine(const std::string& line) const;
    // Keeps the record in the store beside the log; empty, or the status line saying why not.
    std::string StoreRecord(const std::string& record);
    // The wait for the lock of `file`, as the front end's hooks allow.
    LockWait WaitFor(const std::string& file) const;

    const ProductionOptions options_;
    const JobSite site_;
    const std::unique_ptr<JobStore> store_;
    std::string runId_;  // the run's key, made when it takes a number or ends
    mutable std::mutex lastRunLock_;  // guards the two below
    std::optional<JobRecord> lastRecord_;
    std::string lastLogProblem_;
    std::function<void()> recordKept_;
    WaitHooks waitHooks_;
};

}  // namespace korvan
