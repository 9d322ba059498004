#include "console/job_record.h"

#include <limits.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace korvan {
namespace {

using Json = nlohmann::ordered_json;

std::string Iso8601Utc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto inMs = floor<milliseconds>(time);
    const auto inSeconds = floor<seconds>(inMs);
    const std::time_t seconds = system_clock::to_time_t(inSeconds);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03uZ", static_cast<unsigned>((inMs - inSeconds).count()) % 1000);
    return std::string(date) + fraction;
}

std::string HexBytes(std::span<const std::uint8_t> bytes, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += (i == 0 ? "" : separator);
        text += digits;
    }
    return text;
}

std::string StepResultName(StepResult result) {
    switch (result) {
    case StepResult::Ok:
        return "ok";
    case StepResult::Failed:
        return "failed";
    case StepResult::NotRun:
        return "not run";
    }
    return "not run";
}

bool IsUtf8(const std::string& text) {
    try {
        static_cast<void>(Json(text).dump());
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// Common JSON readers hold numbers as doubles, exact only up to 2^53: a larger serial number
// is given as text too.
void AddSerial(Json& json, std::optional<std::uint64_t> serial) {
    constexpr std::uint64_t kLargestExactInDouble = std::uint64_t{1} << 53;
    json["serial"] = serial ? Json(*serial) : Json(nullptr);
    if (serial && *serial > kLargestExactInDouble) {
        json["serial_text"] = std::to_string(*serial);
    }
}

Json ImageJson(const JobRecord& record) {
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(record.image.crc32));
    Json image;
    image["path"] = record.imagePath;
    // The readable path has the stray bytes replaced; the bytes themselves stay recoverable.
    if (!IsUtf8(record.imagePath)) {
        image["path_bytes"] = HexBytes({reinterpret_cast<const std::uint8_t*>(record.imagePath.data()),
                                        record.imagePath.size()},
                                       "");
    }
    image["bytes"] = record.image.bytes;
    image["crc32"] = crc;
    image["sha256"] = record.image.sha256;
    return image;
}

Json StepsJson(const std::vector<JobStep>& steps) {
    Json list = Json::array();
    for (const JobStep& step : steps) {
        Json entry;
        entry["name"] = step.name;
        entry["result"] = StepResultName(step.result);
        entry["ms"] = step.ms;
        list.push_back(std::move(entry));
    }
    return list;
}

}  // namespace

ImageDigest DigestImage(std::span<const std::uint8_t> bytes) {
    ImageDigest digest;
    digest.bytes = bytes.size();
    digest.crc32 = static_cast<std::uint32_t>(::crc32_z(::crc32_z(0, nullptr, 0), bytes.data(), bytes.size()));
    unsigned char sha[EVP_MAX_MD_SIZE];
    unsigned int shaLength = 0;
    // SHA-256 over memory fails only when OpenSSL cannot allocate; the record then shows none.
    if (::EVP_Digest(bytes.data(), bytes.size(), sha, &shaLength, ::EVP_sha256(), nullptr) == 1) {
        digest.sha256 = HexBytes({sha, shaLength}, "");
    }
    return digest;
}

std::string JobRecordJson(const JobRecord& record) {
    Json json;
    json["time"] = Iso8601Utc(record.time);
    json["host"] = record.host;
    json["korvan"] = record.korvan;
    json["site"] = record.site;
    json["port"] = record.port;
    json["programmer"] = record.programmer;
    json["chip"] = record.chip;
    json["signature"] = record.signature ? Json(HexBytes(*record.signature, " ")) : Json(nullptr);
    json["image"] = ImageJson(record);
    AddSerial(json, record.serial);
    json["steps"] = StepsJson(record.steps);
    json["mismatches"] = record.mismatches;
    json["result"] = record.ok ? "ok" : "failed";
    json["failure"] = record.failure ? Json(*record.failure) : Json(nullptr);
    if (!record.job.empty()) {
        json["job"] = record.job;
        json["run"] = record.runId;
    }
    // Paths and port names are bytes, not always UTF-8; a stray byte must not lose the record.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ReservationJson(std::uint64_t serial, std::chrono::system_clock::time_point time, const std::string& host,
                            int site, const std::string& job, const std::string& runId) {
    Json json;
    AddSerial(json, serial);
    json["reserved"] = true;
    json["time"] = Iso8601Utc(time);
    json["host"] = host;
    json["site"] = site;
    if (!job.empty()) {
        json["job"] = job;
        json["run"] = runId;
    }
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

}  // namespace korvan
