#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvan {

// What a set of runs came to.
struct RunTally {
    std::size_t runs = 0;
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::string first;  // the time the first run began, as its record says; empty: no run
    std::string last;
};

// A number taken by a run that left no record: the run was killed (or its record waits in a spool).
struct UnfinishedRun {
    std::uint64_t serial = 0;
    std::string host;
    int site = 0;
    std::string time;
};

// Numbers from..to inside the range used that no record holds.
struct SerialGap {
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    std::vector<UnfinishedRun> unfinished;  // the runs that took some of them
};

struct StationTally {
    std::string host;
    int site = 0;
    RunTally tally;
};

struct JobReport {
    std::string job;  // "-" for records that name no job
    RunTally tally;
    std::optional<std::uint64_t> firstSerial;  // the lowest and highest numbers taken
    std::optional<std::uint64_t> lastSerial;
    std::vector<SerialGap> gaps;
    std::vector<StationTally> stations;             // by host, then site
    std::map<std::string, std::size_t> failedSteps;  // the step each failed run failed at ("-": none)
    std::map<std::string, std::size_t> failureLines;
};

struct ReportFilter {
    std::string job;    // empty: every job
    std::string since;  // UTC, "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]"; empty: all
};

struct BuiltReport {
    std::vector<JobReport> jobs;       // by name
    std::vector<std::string> problems;  // lines that are no record, one line each
};

// `lines` as a job log holds them: run records, and {"serial":N,"reserved":true,...} for each
// number taken.
BuiltReport BuildReport(const std::vector<std::string>& lines, const ReportFilter& filter);

// For people: one block a job. For a line controller: one JSON object a job, one a line.
std::string ReportText(const std::vector<JobReport>& jobs);
std::string ReportJson(const std::vector<JobReport>& jobs);

// Empty when `since` is a date the report can filter by; else why not.
std::string SinceProblem(const std::string& since);

}  // namespace korvan
