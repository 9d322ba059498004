#include "console/production.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "console/console.h"
#include "data/job_log.h"
#include "data/profile.h"
#include "data/serial_counter.h"

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

std::string SerialNumberingProblem(const SerialNumbering& serial) {
    const TakenSerialNumber next = PeekSerialNumber(serial.counterPath, serial.start);
    if (!next.number) {
        return next.error;
    }
    return EncodeSerialNumber(serial.placement, *next.number).error;
}

ProductionRead ReadProductionSettings(const std::string& iniPath, const std::string& baseDir) {
    ProductionRead read;
    const auto value = [&](const char* key) {
        return profile::ReadString(iniPath, kProductionSection, key, "", kMaxValueChars);
    };
    read.options.jobLogPath = Resolve(value("JobLog"), baseDir);
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
    if (serial.counterPath.empty()) {
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

ProductionLine::ProductionLine(ProductionOptions options, JobSite site)
    : options_(std::move(options)), site_(std::move(site)) {}

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
        TakeSerialNumber(serial.counterPath, serial.start, MaxSerialNumber(serial.placement));
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

JobRecord ProductionLine::MakeRecord(const RunOutcome& outcome) const {
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
    return record;
}

std::string ProductionLine::RunEnded(const RunOutcome& outcome) {
    lastRecord_ = MakeRecord(outcome);
    if (options_.jobLogPath.empty()) {
        return {};
    }
    const std::string error = AppendLogLine(options_.jobLogPath, JobRecordJson(*lastRecord_));
    return error.empty() ? std::string() : "Job Log Not Written: " + error;
}

}  // namespace korvan
