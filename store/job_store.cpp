#include "store/job_store.h"

#include <openssl/rand.h>

#include <array>
#include <cstdio>

#include "store/postgres_store.h"

namespace korvan {
namespace {

// One station: the counter file under its lock; the job log is the record.
class FileJobStore final : public JobStore {
public:
    explicit FileJobStore(JobStoreSettings settings) : settings_(std::move(settings)) {}

    TakenSerialNumber NextNumber(std::uint64_t start) override {
        return PeekSerialNumber(settings_.counterPath, start);
    }

    TakenSerialNumber TakeNumber(std::uint64_t start, std::uint64_t max, const NumberTaker& taker) override {
        return TakeSerialNumber(settings_.counterPath, start, max, taker.wait);
    }

    std::string KeepRecord(const std::string&) override { return {}; }

    JobTotalsRead Totals() override { return {}; }

private:
    const JobStoreSettings settings_;
};

}  // namespace

std::unique_ptr<JobStore> OpenJobStore(const JobStoreSettings& settings) {
    if (settings.url.empty()) {
        return std::make_unique<FileJobStore>(settings);
    }
    return OpenPostgresStore(settings);
}

std::string DescribeNumberSource(const JobStoreSettings& settings) {
    if (settings.url.empty()) {
        return settings.counterPath;
    }
    return "job " + settings.job + " on " + DescribeServer(settings.url);
}

std::string NewRunId() {
    std::array<unsigned char, 16> bytes{};
    // Without the system's random source no id is unique; the run then cannot be stored.
    if (::RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        return {};
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string id;
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", bytes[index]);
        id += digits;
        if (index == 3 || index == 5 || index == 7 || index == 9) {
            id += '-';
        }
    }
    return id;
}

}  // namespace korvan
