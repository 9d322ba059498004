#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/job_store.h"

namespace korvan {

// The version of the tables this program keeps; an older store is brought up to it on first use.
inline constexpr int kStoreSchemaVersion = 2;

// A job store on a PostgreSQL server. The first call that needs the server connects and, when
// the tables are missing or older, creates or migrates them. A record the server cannot take
// is appended to the spool file and sent with the next record that reaches it.
std::unique_ptr<JobStore> OpenPostgresStore(const JobStoreSettings& settings);

// The statements that bring the tables from `version - 1` to `version` (1 to kStoreSchemaVersion).
const char* StoreMigration(int version);

// The server a connection string names, as "HOST:PORT/DATABASE" (never the password).
std::string DescribeServer(const std::string& url);

// The connection string as it may be shown on a screen: its password, if any, as "***".
std::string WithoutPassword(const std::string& url);
// `shown`, edited from WithoutPassword(`saved`), with `saved`'s password back where "***" stands.
std::string WithSavedPassword(const std::string& shown, const std::string& saved);

struct SpoolFlush {
    std::size_t sent = 0;  // records the server took (a record it already held counts too)
    std::size_t left = 0;  // records still waiting in the spool
    std::string error;     // why some were left; empty when none were
};
// Sends every record waiting in the spool; the spool is emptied once all of them are stored.
SpoolFlush FlushSpool(const std::string& url, const std::string& spoolPath);

struct StoredLines {
    // Each run's record, as the job log holds it, then each number taken by a run that left no
    // record: {"serial":N,"reserved":true,"job":...,"time":...,"host":...,"site":N,"run":...}.
    std::vector<std::string> lines;
    std::string error;
};
// The records of `job` (every job when empty) since `since` (UTC, ISO 8601; empty: all).
StoredLines ReadStoredRuns(const std::string& url, const std::string& job, const std::string& since);

}  // namespace korvan
