#include "console/production.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "console/console.h"
#include "data/job_log.h"
#include "data/profile.h"
#include "data/read_file.h"
#include "data/serial_counter.h"
#include "data/text.h"
#include "engine/program_dir.h"
#include "store/job_store.h"

namespace korvan {
namespace {

constexpr const char* kProductionSection = "Production";

std::string Resolve(const std::string& path, const std::string& baseDir) {
    if (path.empty() || std::filesystem::path(path).is_absolute()) {
        return path;
    }
    return (std::filesystem::path(baseDir) / path).string();
}

// Empty when a file can be made in the folder of `realPath`; else why not, naming `what`.
std::string FolderProblem(const std::string& realPath, const std::string& what) {
    std::filesystem::path folder = std::filesystem::path(realPath).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "cannot write " + what + ": folder " + folder.string() + ": " + std::strerror(errno);
    }
    return {};
}

// A job log is empty or starts with a record (or a reservation) of ours; anything else is
// someone else's file, which the log must not be appended to.
bool HoldsJobRecords(int fd) {
    constexpr std::size_t kLongestFirstLine = 64 * 1024;
    std::string head(kLongestFirstLine, '\0');
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    if (got <= 0) {
        return got == 0;
    }
    head.resize(static_cast<std::size_t>(got));
    const std::size_t end = head.find('\n');
    if (end == std::string::npos) {
        return false;
    }
    const nlohmann::json first = nlohmann::json::parse(head.substr(0, end), nullptr, false);
    return first.is_object() && first.contains("time") && first.contains("serial");
}

}  // namespace

JobStoreSettings StoreSettings(const ProductionOptions& options) {
    JobStoreSettings settings;
    settings.url = options.storeUrl;
    settings.job = options.job;
    settings.spoolPath = options.spoolPath;
    settings.counterPath = options.serial ? options.serial->counterPath : std::string();
    return settings;
}

std::string SerialNumberingProblem(const SerialNumbering& serial) {
    const TakenSerialNumber next = PeekSerialNumber(serial.counterPath, serial.start);
    if (!next.number) {
        return next.error;
    }
    if (const std::string problem = EncodeSerialNumber(serial.placement, *next.number).error; !problem.empty()) {
        return problem;
    }
    // The counter is left holding the number after the one given.
    if (*next.number == std::numeric_limits<std::uint64_t>::max()) {
        return "serial number counter " + serial.counterPath + " has no number after " + std::to_string(*next.number);
    }
    // The counter is replaced by a new file beside it, under a lock file beside it.
    const std::string realPath = RealFilePath(serial.counterPath);
    return FolderProblem(realPath, "the serial number counter " + serial.counterPath);
}

std::string JobLogProblem(const std::string& path) {
    const std::string named = "the job log " + path;
    const RegularFile file = OpenRegularFile(path, O_RDONLY);
    if (file.error == ENOENT) {
        return FolderProblem(RealFilePath(path), named);
    }
    if (file.fd < 0) {
        return "cannot use " + named + ": " + file.reason;
    }
    const bool ours = HoldsJobRecords(file.fd);
    ::close(file.fd);
    if (!ours) {
        return "will not write into " + path + ": it is not a job log (its first line is not a job record)";
    }
    if (::access(path.c_str(), W_OK) != 0) {
        return "cannot write " + named + ": " + std::strerror(errno);
    }
    return {};
}

std::string ProductionProblem(const ProductionOptions& options) {
    if (const std::string problem = LocalProductionProblem(options); !problem.empty()) {
        return problem;
    }
    return options.storeUrl.empty() ? std::string() : NumberSourceProblem(options);
}

std::string LocalProductionProblem(const ProductionOptions& options) {
    const bool logged = !options.jobLogPath.empty();
    if (logged && options.serial && RealFilePath(options.jobLogPath) == RealFilePath(options.serial->counterPath)) {
        return "the job log and the serial number counter are one file, " + options.jobLogPath;
    }
    if (logged) {
        if (const std::string problem = JobLogProblem(options.jobLogPath); !problem.empty()) {
            return problem;
        }
    }
    return options.storeUrl.empty() ? NumberSourceProblem(options) : std::string();
}

std::string NumberSourceProblem(const ProductionOptions& options) {
    if (!options.serial) {
        return {};
    }
    if (options.storeUrl.empty()) {
        return SerialNumberingProblem(*options.serial);
    }
    const TakenSerialNumber next = OpenJobStore(StoreSettings(options))->NextNumber(options.serial->start);
    if (!next.number) {
        return next.error;
    }
    return EncodeSerialNumber(options.serial->placement, *next.number).error;
}

ProductionRead ReadProductionSettings(const std::string& iniPath, const std::string& baseDir) {
    // A settings file that is there but cannot be read would look like one without numbering.
    if (const std::string problem = KeptFileProblem(iniPath); !problem.empty()) {
        ProductionRead read;
        read.problems.push_back(problem);
        return read;
    }
    return ParseProductionSettings(
        [&iniPath](const char* key) {
            return profile::ReadString(iniPath, kProductionSection, key, "", kMaxProductionValueChars + 1);
        },
        baseDir);
}

ProductionRead ParseProductionSettings(const std::function<std::string(const char* key)>& given,
                                       const std::string& baseDir) {
    ProductionRead read;
    bool overlong = false;
    const auto value = [&](const char* key) {
        std::string text = given(key);
        if (text.size() > kMaxProductionValueChars) {
            read.problems.push_back(std::string(key) + ": longer than " + std::to_string(kMaxProductionValueChars) +
                                    " characters");
            overlong = true;
        }
        return text;
    };
    read.options.jobLogPath = Resolve(value("JobLog"), baseDir);
    read.options.storeUrl = value("Store");
    read.options.job = value("Job");
    read.options.spoolPath = Resolve(value("Spool"), baseDir);
    if (!read.options.storeUrl.empty() && read.options.job.empty()) {
        read.problems.push_back("Store needs Job, the job's name in the store");
        read.options.storeUrl.clear();
    }
    if (!read.options.storeUrl.empty() && read.options.spoolPath.empty()) {
        read.options.spoolPath = Resolve(kDefaultSpoolName, baseDir);
    }
    // A start that is no number is refused even while numbering is off, as the command line
    // refuses it: turning numbering on later must not meet a value accepted earlier.
    const std::string start = value("SerialStart");
    std::optional<std::uint64_t> startNumber;
    if (!overlong && !start.empty() && !(startNumber = ParseWhole<std::uint64_t>(start))) {
        read.problems.push_back("SerialStart: '" + start + "' is not a number");
        return read;
    }
    const std::string placementText = value("SerialNumber");
    if (overlong || placementText.empty()) {
        return read;
    }
    const ParsedPlacement placement = ParseSerialNumberPlacement(placementText);
    if (!placement.placement) {
        read.problems.push_back("SerialNumber: " + placement.error);
        return read;
    }
    SerialNumbering serial;
    serial.placement = *placement.placement;
    serial.counterPath = Resolve(value("SerialCounter"), baseDir);
    serial.overwrite = value("SerialOverwrite") == "1";
    if (overlong) {
        return read;
    }
    if (serial.counterPath.empty() && read.options.storeUrl.empty()) {
        read.problems.push_back("SerialNumber needs SerialCounter, the file that keeps the next number");
        return read;
    }
    if (startNumber) {
        serial.start = *startNumber;
    }
    read.options.serial = serial;
    return read;
}

ProductionLine::ProductionLine(ProductionOptions options, JobSite site)
    : options_(std::move(options)), site_(std::move(site)), store_(OpenJobStore(StoreSettings(options_))) {}

// Only runs of a named job carry an id: a record without a job is exactly as it always was.
const std::string& ProductionLine::RunId() {
    if (runId_.empty() && !options_.job.empty()) {
        runId_ = NewRunId();
    }
    return runId_;
}

std::string ProductionLine::ImageProblem(const Image& image, std::size_t romBytes) {
    if (!options_.serial) {
        return {};
    }
    const SerialNumberPlacement& placement = options_.serial->placement;
    // A number past the chip's ROM would be recorded as placed but never written.
    if (placement.address + static_cast<std::size_t>(placement.bytes) > romBytes) {
        return "Serial Number Not Placed: " + DescribePlacement(placement) + " lies beyond the chip's " +
               std::to_string(romBytes) + " bytes";
    }
    const std::string problem = SerialAreaProblem(placement, image, options_.serial->overwrite);
    return problem.empty() ? problem : "Serial Number Not Placed: " + problem;
}

std::string ProductionLine::StartProblem() {
    if (!options_.serial || options_.storeUrl.empty()) {
        return {};
    }
    const TakenSerialNumber next = store_->NextNumber(options_.serial->start);
    if (!next.number) {
        return "Serial Number Not Taken: " + next.error;
    }
    const std::string problem = EncodeSerialNumber(options_.serial->placement, *next.number).error;
    return problem.empty() ? problem : "Serial Number Not Placed: " + problem;
}

RunObserver::Stamp ProductionLine::StampImage(Image& image) {
    if (!options_.serial) {
        return {};
    }
    const SerialNumbering& serial = *options_.serial;
    const TakenSerialNumber taken = TakeNumber(serial);
    if (!taken.number) {
        return {std::nullopt, {}, "Serial Number Not Taken: " + taken.error};
    }
    // Kept at once, so that a run killed from here on still leaves its number accounted for.
    if (const std::string problem = LogLine(ReservationJson(*taken.number, std::chrono::system_clock::now(),
                                                            HostName(), site_.site, options_.job, RunId()));
        !problem.empty()) {
        return {taken.number, {}, problem};
    }
    const EncodedSerialNumber encoded = EncodeSerialNumber(serial.placement, *taken.number);
    if (!encoded.error.empty()) {
        return {taken.number, {}, "Serial Number Not Placed: " + encoded.error};
    }
    std::copy(encoded.bytes.begin(), encoded.bytes.end(), image.begin() + serial.placement.address);
    char line[96];
    std::snprintf(line, sizeof line, "Serial Number %llu at 0x%04X.", static_cast<unsigned long long>(*taken.number),
                  static_cast<unsigned>(serial.placement.address));
    return {taken.number, line, {}};
}

TakenSerialNumber ProductionLine::TakeNumber(const SerialNumbering& serial) {
    const std::uint64_t max = MaxSerialNumber(serial.placement);
    return store_->TakeNumber(serial.start, max, {RunId(), HostName(), site_.site, WaitFor(serial.counterPath)});
}

LockWait ProductionLine::WaitFor(const std::string& file) const {
    LockWait wait;
    wait.cancelled = waitHooks_.cancelled;
    if (waitHooks_.tell) {
        wait.waiting = [tell = waitHooks_.tell, file] { tell(WaitingForLockLine(file)); };
    }
    return wait;
}

JobRecord ProductionLine::MakeRecord(const RunOutcome& outcome) {
    JobRecord record;
    record.time = outcome.began;
    record.host = HostName();
    record.korvan = kProgramVersion;
    record.site = site_.site;
    record.port = site_.port;
    record.programmer = site_.programmer;
    record.chip = outcome.chip;
    record.signature = outcome.signature;
    record.imagePath = outcome.imagePath;
    record.image = outcome.image;
    record.serial = outcome.serial;
    record.steps = outcome.steps;
    record.mismatches = outcome.mismatches;
    record.ok = outcome.ok;
    record.failure = outcome.failure;
    record.job = options_.job;
    record.runId = RunId();
    return record;
}

std::string ProductionLine::RunEnded(const RunOutcome& outcome) {
    JobRecord record = MakeRecord(outcome);
    runId_.clear();
    const std::string json = JobRecordJson(record);
    std::string problem = LogLine(json);
    if (const std::string stored = StoreRecord(json); !stored.empty()) {
        problem += (problem.empty() ? "" : "; ") + stored;
    }
    // The record shown beside the log must not say the run went well when its logging failed.
    if (!problem.empty() && record.ok) {
        record.ok = false;
        record.failure = problem;
    }
    {
        std::lock_guard guard(lastRunLock_);
        lastRecord_ = std::move(record);
        lastLogProblem_ = problem;
    }
    if (recordKept_) {
        recordKept_();
    }
    return problem;
}

std::optional<JobRecord> ProductionLine::lastRecord() const {
    std::lock_guard guard(lastRunLock_);
    return lastRecord_;
}

std::string ProductionLine::lastLogProblem() const {
    std::lock_guard guard(lastRunLock_);
    return lastLogProblem_;
}

std::string ProductionLine::LogLine(const std::string& line) const {
    if (options_.jobLogPath.empty()) {
        return {};
    }
    const std::string error = AppendLogLine(options_.jobLogPath, line, WaitFor(options_.jobLogPath));
    return error.empty() ? std::string() : "Job Log Not Written: " + error;
}

std::string ProductionLine::StoreRecord(const std::string& record) {
    const std::string error = store_->KeepRecord(record);
    return error.empty() ? std::string() : "Job Record Not Stored: " + error;
}

}  // namespace korvan
