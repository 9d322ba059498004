#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/catalogue.h"

namespace korvan {

enum class StepResult { Ok, Failed, NotRun };

struct JobStep {
    std::string name;  // "open", "ready", "check", "erase", "blank", "write", "read", "verify", "encrypt", "lock"
    StepResult result = StepResult::NotRun;
    std::int64_t ms = 0;
};

struct ImageDigest {
    std::size_t bytes = 0;  // the bytes used: up to the last one that is not 0xFF
    std::uint32_t crc32 = 0;
    std::string sha256;  // 64 lower-case hex digits
};

// Checksums of the first `bytes.size()` bytes, by zlib and OpenSSL.
ImageDigest DigestImage(std::span<const std::uint8_t> bytes);

// One run of one site, as the job log keeps it.
struct JobRecord {
    std::chrono::system_clock::time_point time;
    std::string host;
    std::string korvan;  // the program's version
    int site = 1;
    std::string port;
    std::string programmer;  // the programmer type's name
    std::string chip;        // the catalogue name
    std::optional<Signature> signature;
    std::string imagePath;
    ImageDigest image;
    std::optional<std::uint64_t> serial;
    std::vector<JobStep> steps;
    std::size_t mismatches = 0;
    bool ok = false;
    std::optional<std::string> failure;  // the status line that ended the run
    std::string job;    // the job's name; empty: none, and no job or run id in the JSON
    std::string runId;  // a UUID, the run's key in a shared store
};

// The record as one line of JSON, without the newline:
// {"time":"2026-12-07T17:26:14.123Z","host":...,"signature":"1e 52 06"|null,
//  "image":{"path":...,"bytes":N,"crc32":"8 hex digits","sha256":"..."},"serial":N|null,
//  "steps":[{"name":"erase","result":"ok"|"failed"|"not run","ms":N}],"mismatches":N,
//  "result":"ok"|"failed","failure":"..."|null[,"job":"...","run":"UUID"]}
std::string JobRecordJson(const JobRecord& record);

// The line the job log gets the moment a run takes a serial number, before the run goes on:
// {"serial":N,"reserved":true,"time":"...","host":"...","site":N[,"job":"...","run":"UUID"]}. A number with this line and
// no record of a run was taken by a run that never finished.
std::string ReservationJson(std::uint64_t serial, std::chrono::system_clock::time_point time, const std::string& host,
                            int site, const std::string& job = {}, const std::string& runId = {});

// The name of this machine, for the record.
std::string HostName();

}  // namespace korvan
