#include "console/production.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "console/console.h"
#include "data/profile.h"
#include "store/job_store.h"

namespace korvan {
namespace {

constexpr const char* kProductionSection = "Production";
constexpr std::size_t kMaxValueChars = 4096;

std::optional<std::uint64_t> ParseNumber(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end) {
        return std::nullopt;
    }
    return value;
}

std::string Resolve(const std::string& path, const std::string& baseDir) {
    if (path.empty() || std::filesystem::path(path).is_absolute()) {
        return path;
    }
    return (std::filesystem::path(baseDir) / path).string();
}

}  // namespace

JobStoreSettings StoreSettings(const ProductionOptions& options) {
    JobStoreSettings settings;
    settings.url = options.storeUrl;
    settings.job = options.job;
    settings.spoolPath = options.spoolPath;
    settings.counterPath = options.serial ? options.serial->counterPath : std::string();
    settings.logPath = options.jobLogPath;
    return settings;
}

std::string SerialNumberingProblem(const ProductionOptions& options) {
    if (!options.serial) {
        return {};
    }
    const TakenSerialNumber next = OpenJobStore(StoreSettings(options))->NextNumber(options.serial->start);
    if (!next.number) {
        return next.error;
    }
    return EncodeSerialNumber(options.serial->placement, *next.number).error;
}

ProductionRead ReadProductionSettings(const std::string& iniPath, const std::string& baseDir) {
    ProductionRead read;
    const auto value = [&](const char* key) {
        return profile::ReadString(iniPath, kProductionSection, key, "", kMaxValueChars);
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
    const std::string placementText = value("SerialNumber");
    if (placementText.empty()) {
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
    if (serial.counterPath.empty() && read.options.storeUrl.empty()) {
        read.problems.push_back("SerialNumber needs SerialCounter, the file that keeps the next number");
        return read;
    }
    if (const std::string start = value("SerialStart"); !start.empty()) {
        const std::optional<std::uint64_t> number = ParseNumber(start);
        if (!number) {
            read.problems.push_back("SerialStart: '" + start + "' is not a number");
            return read;
        }
        serial.start = *number;
    }
    serial.overwrite = value("SerialOverwrite") == "1";
    read.options.serial = serial;
    return read;
}

ProductionLine::ProductionLine(ProductionOptions options, JobSite site, const ProgrammerManager& manager)
    : options_(std::move(options)),
      site_(std::move(site)),
      manager_(manager),
      store_(OpenJobStore(StoreSettings(options_))) {}

const std::string& ProductionLine::RunId() {
    if (runId_.empty()) {
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

RunObserver::Stamp ProductionLine::StampImage(Image& image) {
    if (!options_.serial) {
        return {};
    }
    const SerialNumbering& serial = *options_.serial;
    const TakenSerialNumber taken =
        store_->TakeNumber(serial.start, MaxSerialNumber(serial.placement), {RunId(), HostName(), site_.site});
    if (!taken.number) {
        return {std::nullopt, {}, "Serial Number Not Taken: " + taken.error};
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

JobRecord ProductionLine::MakeRecord(const RunOutcome& outcome) {
    JobRecord record;
    record.time = outcome.began;
    record.host = HostName();
    record.korvan = kProgramVersion;
    record.site = site_.site;
    record.port = site_.port;
    record.programmer = site_.programmer;
    if (const ChipRecord* chip = manager_.CurrentChip()) {
        record.chip = chip->name;
    }
    record.signature = outcome.signature;
    record.imagePath = outcome.imagePath;
    const Image& image = manager_.Buffer1();
    const int used = manager_.UsedLength(image.data(), image.size());
    record.image = DigestImage(std::span(image.data(), static_cast<std::size_t>(std::max(used, 0))));
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
    lastRecord_ = MakeRecord(outcome);
    runId_.clear();
    const std::string error = store_->KeepRecord(JobRecordJson(*lastRecord_));
    if (error.empty()) {
        return {};
    }
    return (options_.storeUrl.empty() ? "Job Log Not Written: " : "Job Record Not Stored: ") + error;
}

}  // namespace korvan
