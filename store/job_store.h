#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "data/file_lock.h"
#include "data/serial_counter.h"

namespace korvan {

// The spool's name beside Korvan.ini, unless another is named.
inline constexpr const char* kDefaultSpoolName = "Korvan.spool";

// Where a job's numbers come from and where its run records go. One station: a counter file
// and a job log. Several stations: a PostgreSQL server every station shares.
struct JobStoreSettings {
    std::string url;        // a libpq connection string; empty: the files
    std::string job;        // the job's name in the store; required with `url`
    std::string spoolPath;  // records the server could not take wait here
    std::string counterPath;  // the files: the counter; empty: no numbers
};

// Who takes a number, so that a number taken by a run that never ended can be explained.
struct NumberTaker {
    std::string runId;
    std::string host;
    int site = 1;
    LockWait wait;  // for the counter file's lock
};

// A job's runs as the store holds them, every station's.
struct JobTotals {
    std::uint64_t runs = 0;
    std::uint64_t passed = 0;
};
struct JobTotalsRead {
    std::optional<JobTotals> totals;  // none from the files, which hold no station's but this one's
    std::string error;                // why the store could not tell them
};

// Each site holds its own store: a store is used by one thread at a time.
class JobStore {
public:
    virtual ~JobStore() = default;

    // The number the next take would give, without taking it; the error says why none can be
    // taken (the server cannot be reached, the counter cannot be read).
    virtual TakenSerialNumber NextNumber(std::uint64_t start) = 0;
    // Takes the next number, `start` when the job has none yet; one above `max` is refused.
    // Once it returns a number, that number is never given again.
    virtual TakenSerialNumber TakeNumber(std::uint64_t start, std::uint64_t max, const NumberTaker& taker) = 0;
    // Keeps the record of a run that ended beside the job log (which every store's production
    // line appends to): the log's JSON object on one line, naming its job and run id ("job",
    // "run") when a server keeps it. Empty, or why it is lost.
    virtual std::string KeepRecord(const std::string& recordJson) = 0;
    virtual JobTotalsRead Totals() = 0;
};

// The files' store, or the server's when `settings.url` is set. Nothing is opened yet: the
// server is first reached by the first call that needs it.
std::unique_ptr<JobStore> OpenJobStore(const JobStoreSettings& settings);

// Where the numbers come from, for a status line: the counter file, or the job on its server
// (never the password).
std::string DescribeNumberSource(const JobStoreSettings& settings);

// A new random (version 4) UUID, lower-case, with hyphens.
std::string NewRunId();

}  // namespace korvan
