#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/job_record.h"
#include "console/run_journal.h"
#include "data/serial_number.h"
#include "engine/programmer_manager.h"
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

// Empty when the next number the counter (or the store) gives fits the placement; else why not,
// the server that cannot be reached among the reasons. Checked before a run, so that a number
// that cannot be placed stops it before anything is written.
std::string SerialNumberingProblem(const ProductionOptions& options);

// The window's production settings: Korvan.ini, section Production, keys JobLog,
// SerialNumber (ADDR:BYTES:FORMAT), SerialCounter, SerialStart, SerialOverwrite (0/1), Store (a
// PostgreSQL connection string, which then keeps the numbers), Job and Spool.
// Relative paths are taken from `baseDir`. Every problem is one line naming the key.
struct ProductionRead {
    ProductionOptions options;
    std::vector<std::string> problems;
};
ProductionRead ReadProductionSettings(const std::string& iniPath, const std::string& baseDir);

// One site's production run: stamps each chip's serial number before its write, and keeps a
// record of each run, appended to the job log when there is one.
class ProductionLine final : public RunObserver {
public:
    ProductionLine(ProductionOptions options, JobSite site, const ProgrammerManager& manager);

    std::string ImageProblem(const Image& image, std::size_t romBytes) override;
    Stamp StampImage(Image& image) override;
    std::string RunEnded(const RunOutcome& outcome) override;

    // The record of the last run that ended; none before the first.
    const std::optional<JobRecord>& lastRecord() const { return lastRecord_; }

private:
    JobRecord MakeRecord(const RunOutcome& outcome);
    const std::string& RunId();

    const ProductionOptions options_;
    const JobSite site_;
    const ProgrammerManager& manager_;
    const std::unique_ptr<JobStore> store_;
    std::string runId_;  // the run's key, made when it takes a number or ends
    std::optional<JobRecord> lastRecord_;
};

}  // namespace korvan
