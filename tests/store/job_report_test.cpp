#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "store/job_report.h"

namespace korvan::testing {
namespace {

std::string Run(const std::string& job, const std::string& time, const std::string& host, int site,
                std::optional<int> serial, const std::string& failedStep = {}, const std::string& failure = {}) {
    nlohmann::ordered_json record = {{"time", time}, {"host", host}, {"site", site}};
    record["serial"] = serial ? nlohmann::ordered_json(*serial) : nlohmann::ordered_json(nullptr);
    record["steps"] = {{{"name", "erase"}, {"result", "ok"}, {"ms", 200}},
                       {{"name", failedStep.empty() ? "write" : failedStep},
                        {"result", failedStep.empty() ? "ok" : "failed"},
                        {"ms", 30}}};
    record["result"] = failure.empty() ? "ok" : "failed";
    record["failure"] = failure.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(failure);
    if (!job.empty()) {
        record["job"] = job;
    }
    return record.dump();
}

// A log as two stations left it: a failure at write and one at verify, a run killed after
// taking 103, a number (105) no run took here, and an older job without a name.
std::vector<std::string> BuiltLog() {
    return {
        Run("A", "2026-12-07T08:00:00.000Z", "st1", 1, 101),
        Run("A", "2026-12-07T08:00:01.000Z", "st1", 2, 102, "write", "Programmer: Write Error."),
        R"({"serial":103,"reserved":true,"job":"A","time":"2026-12-07T08:00:02.000Z","host":"st2","site":1})",
        R"({"serial":104,"reserved":true,"job":"A","time":"2026-12-07T08:00:03.000Z","host":"st2","site":1})",
        Run("A", "2026-12-07T08:00:03.000Z", "st2", 1, 104),
        Run("A", "2026-12-07T09:30:00.000Z", "st2", 1, 106, "verify", "Verify Failed!"),
        Run("A", "2026-12-07T09:31:00.000Z", "st2", 1, 107, "verify", "Verify Failed!"),
        Run("A", "2026-12-07T09:32:00.000Z", "st1", 1, std::nullopt, "", ""),
        "not json at all",
        Run("", "2026-12-06T10:00:00.000Z", "st9", 3, std::nullopt),
    };
}

TEST(JobReportTest, CountsYieldGapsAndFailuresByJobAndStation) {
    const BuiltReport report = BuildReport(BuiltLog(), {});
    EXPECT_THAT(report.problems, ::testing::ElementsAre("not a record: not json at all"));
    ASSERT_EQ(report.jobs.size(), 2U);
    EXPECT_EQ(report.jobs[1].job, "A");
    EXPECT_EQ(ReportText(report.jobs),
              "Job -: runs 1, passed 1, failed 0, yield 100.0%, first 2026-12-06T10:00:00.000Z, last "
              "2026-12-06T10:00:00.000Z\n"
              "  serial numbers: none\n"
              "  station         site  runs   passed  failed  yield   first                    last\n"
              "  st9             3     1      1       0       100.0%  2026-12-06T10:00:00.000Z 2026-12-06T10:00:00.000Z\n"
              "Job A: runs 6, passed 3, failed 3, yield 50.0%, first 2026-12-07T08:00:00.000Z, last "
              "2026-12-07T09:32:00.000Z\n"
              "  serial numbers: 101-107, gaps: 2\n"
              "    103: 103 taken by st2 site 1 at 2026-12-07T08:00:02.000Z, no record\n"
              "    105: no run took them here\n"
              "  station         site  runs   passed  failed  yield   first                    last\n"
              "  st1             1     2      2       0       100.0%  2026-12-07T08:00:00.000Z 2026-12-07T09:32:00.000Z\n"
              "  st1             2     1      0       1       0.0%    2026-12-07T08:00:01.000Z 2026-12-07T08:00:01.000Z\n"
              "  st2             1     3      1       2       33.3%   2026-12-07T08:00:03.000Z 2026-12-07T09:31:00.000Z\n"
              "  failed at verify: 2\n"
              "  failed at write: 1\n"
              "  failed with \"Programmer: Write Error.\": 1\n"
              "  failed with \"Verify Failed!\": 2\n");
}

TEST(JobReportTest, FiltersByJobAndTimeAndSpeaksJson) {
    const BuiltReport since = BuildReport(BuiltLog(), {"A", "2026-12-07T09:00"});
    ASSERT_EQ(since.jobs.size(), 1U);
    const nlohmann::json json = nlohmann::json::parse(ReportJson(since.jobs));
    EXPECT_EQ(json["job"], "A");
    EXPECT_EQ(json["runs"], 3);
    EXPECT_EQ(json["passed"], 1);
    EXPECT_DOUBLE_EQ(json["yield"].get<double>(), 1.0 / 3.0);
    EXPECT_EQ(json["serials"], nlohmann::json::parse(R"({"first":106,"last":107,"gaps":[]})"));
    EXPECT_EQ(json["failed_steps"], nlohmann::json::parse(R"({"verify":2})"));
    EXPECT_EQ(json["stations"].size(), 2U);
    EXPECT_EQ(json["stations"][1]["host"], "st2");
    EXPECT_EQ(json["stations"][1]["failed"], 2);

    const nlohmann::json gaps = nlohmann::json::parse(ReportJson(BuildReport(BuiltLog(), {"A", ""}).jobs))["serials"]["gaps"];
    EXPECT_EQ(gaps, nlohmann::json::parse(R"([{"from":103,"to":103,"unfinished":[
        {"serial":103,"host":"st2","site":1,"time":"2026-12-07T08:00:02.000Z"}]},{"from":105,"to":105,"unfinished":[]}])"));
    EXPECT_EQ(SinceProblem("2026-12-07"), "");
    EXPECT_EQ(SinceProblem("2026-12-07T09:00:30"), "");
    EXPECT_NE(SinceProblem("7/12/2026"), "");
    EXPECT_NE(SinceProblem("2026-12-07 09:00"), "");
}

}  // namespace
}  // namespace korvan::testing
