#include "console/job_record.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace korvan {
namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::string> Keys(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    return keys;
}

TEST(JobRecord, EveryFieldReadsBackInOrder) {
    JobRecord record;
    record.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 17h + 26min + 14s + 123456us;
    record.host = "bench-3";
    record.korvan = "0.1.0";
    record.site = 2;
    record.port = "/dev/ttyUSB1";
    record.programmer = "USB ISP";
    record.chip = "AT89S52";
    record.signature = Signature{0x1E, 0x52, 0x06};
    record.imagePath = "/fw/blink \"v2\".hex";
    record.image = DigestImage(Bytes("123456789"));
    record.serial = 18446744073709551615U;
    record.steps = {{"erase", StepResult::Ok, 120}, {"write", StepResult::Ok, 3400}, {"verify", StepResult::Failed, 7}};
    record.mismatches = 3;
    record.ok = false;
    record.failure = "Verify failed at 0x0010";

    const std::string line = JobRecordJson(record);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const Json json = Json::parse(line);
    EXPECT_EQ(Keys(json), (std::vector<std::string>{"time", "host", "korvan", "site", "port", "programmer", "chip",
                                                    "signature", "image", "serial", "serial_text", "steps",
                                                    "mismatches", "result", "failure"}));
    EXPECT_EQ(json["time"], "2026-12-07T17:26:14.123Z");
    EXPECT_EQ(json["host"], "bench-3");
    EXPECT_EQ(json["korvan"], "0.1.0");
    EXPECT_EQ(json["site"], 2);
    EXPECT_EQ(json["port"], "/dev/ttyUSB1");
    EXPECT_EQ(json["programmer"], "USB ISP");
    EXPECT_EQ(json["chip"], "AT89S52");
    EXPECT_EQ(json["signature"], "1e 52 06");
    EXPECT_EQ(Keys(json["image"]), (std::vector<std::string>{"path", "bytes", "crc32", "sha256"}));
    EXPECT_EQ(json["image"]["path"], "/fw/blink \"v2\".hex");
    EXPECT_EQ(json["image"]["bytes"], 9);
    EXPECT_EQ(json["image"]["crc32"], "cbf43926");
    EXPECT_EQ(json["image"]["sha256"], "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225");
    EXPECT_EQ(json["serial"].get<std::uint64_t>(), 18446744073709551615U);
    EXPECT_EQ(json["serial_text"], "18446744073709551615");
    ASSERT_EQ(json["steps"].size(), 3U);
    EXPECT_EQ(Keys(json["steps"][0]), (std::vector<std::string>{"name", "result", "ms"}));
    EXPECT_EQ(json["steps"][1], Json::parse(R"({"name":"write","result":"ok","ms":3400})"));
    EXPECT_EQ(json["steps"][2], Json::parse(R"({"name":"verify","result":"failed","ms":7})"));
    EXPECT_EQ(json["mismatches"], 3);
    EXPECT_EQ(json["result"], "failed");
    EXPECT_EQ(json["failure"], "Verify failed at 0x0010");
}

TEST(JobRecord, UnsetFieldsAreNullAndTimeIsUtcMilliseconds) {
    JobRecord record;
    record.time = std::chrono::system_clock::now();
    record.image = DigestImage({});
    record.steps = {{"lock", StepResult::NotRun, 0}};
    record.ok = true;
    record.imagePath = "/fw/\xFF\xFE.hex";  // not UTF-8: the record must still be written

    const Json json = Json::parse(JobRecordJson(record));
    EXPECT_TRUE(std::regex_match(json["time"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z)")))
        << json["time"];
    EXPECT_TRUE(json["signature"].is_null());
    EXPECT_TRUE(json["serial"].is_null());
    EXPECT_TRUE(json["failure"].is_null());
    EXPECT_EQ(json["steps"][0]["result"], "not run");
    EXPECT_EQ(json["result"], "ok");
    EXPECT_EQ(json["image"]["bytes"], 0);
    EXPECT_EQ(json["image"]["crc32"], "00000000");
    EXPECT_EQ(json["image"]["sha256"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(json["image"]["path"].get<std::string>().substr(0, 4), "/fw/");
    EXPECT_EQ(json["image"]["path_bytes"], "2f66772ffffe2e686578");
    EXPECT_FALSE(Json::parse(JobRecordJson(JobRecord{})).at("image").contains("path_bytes"));
}

// A reservation is the number, the mark and who took it when; a number past 2^53, which
// readers holding numbers as doubles would change, is given as text too.
TEST(JobRecord, ReservationsAndNumbersPastDoublePrecision) {
    const auto time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 18h + 52min + 10s + 412ms;
    EXPECT_EQ(ReservationJson(9007199254740992U, time, "line3", 4),
              R"({"serial":9007199254740992,"reserved":true,"time":"2026-12-07T18:52:10.412Z","host":"line3","site":4})");
    const Json past = Json::parse(ReservationJson(9007199254740993U, time, "line3", 4));
    EXPECT_EQ(Keys(past), (std::vector<std::string>{"serial", "serial_text", "reserved", "time", "host", "site"}));
    EXPECT_EQ(past["serial_text"], "9007199254740993");
    JobRecord record;
    record.serial = 9007199254740992U;
    EXPECT_FALSE(Json::parse(JobRecordJson(record)).contains("serial_text"));
}

}  // namespace
}  // namespace korvan
