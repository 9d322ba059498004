// The production line's record of each run, as the window keeps it: on a worker thread, while
// the window's thread may ask for the last one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "console/production.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::StartsWith;

RunOutcome PassedRun() {
    RunOutcome outcome;
    outcome.chip = "AT89C52";
    outcome.serial = 700;
    outcome.steps = {{"write", StepResult::Ok, 5}};
    return outcome;
}

std::vector<nlohmann::json> LogRecords(const std::string& text) {
    std::vector<nlohmann::json> records;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        records.push_back(nlohmann::json::parse(line));
    }
    return records;
}

TEST(ProductionLine, TheLastRecordCanBeAskedForWhileAnotherThreadKeepsTheRecords) {
    TempDir dir;
    ProductionOptions options;
    options.jobLogPath = dir.file("job.log");
    ProductionLine line(options, JobSite{2, "/dev/ttyUSB0", "serial"});
    EXPECT_FALSE(line.lastRecord().has_value());

    RunOutcome failed = PassedRun();
    failed.ok = false;
    failed.failure = "Programmer: Error.";
    std::thread keeper([&] {
        line.RunEnded(PassedRun());
        line.RunEnded(failed);
    });
    std::optional<JobRecord> last;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((!(last = line.lastRecord()) || last->ok) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::yield();
    }
    keeper.join();

    ASSERT_TRUE(last.has_value());
    EXPECT_FALSE(last->ok);
    EXPECT_EQ(last->failure, "Programmer: Error.");
    EXPECT_EQ(last->site, 2);
    EXPECT_EQ(last->port, "/dev/ttyUSB0");
    EXPECT_EQ(last->chip, "AT89C52");
    EXPECT_EQ(last->serial, 700U);
    EXPECT_EQ(line.lastLogProblem(), "");
    const std::vector<nlohmann::json> records = LogRecords(dir.Read("job.log"));
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].at("result"), "ok");
    EXPECT_EQ(records[1].at("result"), "failed");
}

// The record shown beside the log must not say the run went well when the log lost it.
TEST(ProductionLine, ARunWhoseRecordTheLogCouldNotTakeIsShownAsFailed) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("job.log"));
    ProductionOptions options;
    options.jobLogPath = dir.file("job.log");
    ProductionLine line(options, JobSite{});

    const std::string problem = line.RunEnded(PassedRun());
    EXPECT_THAT(problem, StartsWith("Job Log Not Written: "));
    EXPECT_EQ(line.lastLogProblem(), problem);
    const std::optional<JobRecord> last = line.lastRecord();
    ASSERT_TRUE(last.has_value());
    EXPECT_FALSE(last->ok);
    EXPECT_EQ(last->failure, problem);
}

}  // namespace
}  // namespace korvan::testing
