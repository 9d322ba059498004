#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::HasSubstr;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::size_t Occurrences(const std::string& text, const std::string& word) {
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

// Every value of the first column the test's own query returns, in order.
std::vector<std::string> Column(const std::string& url, const std::string& sql) {
    PGconn* connection = ::PQconnectdb(url.c_str());
    PGresult* result = ::PQexec(connection, sql.c_str());
    std::vector<std::string> values;
    for (int row = 0; ::PQresultStatus(result) == PGRES_TUPLES_OK && row < ::PQntuples(result); ++row) {
        values.emplace_back(::PQgetvalue(result, row, 0));
    }
    ::PQclear(result);
    ::PQfinish(connection);
    return values;
}

std::vector<std::string> Range(int first, int last) {
    std::vector<std::string> numbers;
    for (int number = first; number <= last; ++number) {
        numbers.push_back(std::to_string(number));
    }
    return numbers;
}

// korvan-cli on the simulator against a server of the test's own.
class StoreCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (server.binariesMissing()) {
            GTEST_SKIP() << "PostgreSQL server tests skipped: " << server.problem();
        }
        ASSERT_EQ(server.problem(), "");
        url = server.CreateDatabase("line");
        ASSERT_NE(url, "");
        std::filesystem::copy_file(BuiltProgramDir() + "ChipList.chip", dir.file("ChipList.chip"));
        dir.Write("fw.hex", ":0300300002337A1E\r\n:0400000002003000CA\r\n:00000001FF\r\n");
    }

    // `report` and `store` come first, before any option.
    std::string Cli(const std::string& arguments, const std::string& name) const {
        const bool command = arguments.rfind("report", 0) == 0 || arguments.rfind("store", 0) == 0;
        return "exec " + BuiltProgramDir() + "korvan-cli " + (command ? "" : "--dir " + dir.dir() + " ") + arguments +
               " >" +
               dir.file(name + ".out") + " 2>" + dir.file(name + ".err") + " </dev/null";
    }

    pid_t Start(const std::string& arguments, const std::string& name) const {
        const std::string command = Cli(arguments, name);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }

    static int Wait(pid_t child) {
        int status = 0;
        return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Run(const std::string& arguments, const std::string& name) const { return Wait(Start(arguments, name)); }

    std::string Store() const { return " --store '" + url + "' --job board-7 --spool " + dir.file("spool"); }

    PostgresServer server;
    TempDir dir;
    std::string url;
};

// 8 processes of 4 sites each take numbers from one job at once: each number once, with no gap,
// one record each in the store and in the log, and both give the same report.
TEST_F(StoreCliTest, ThirtyTwoSitesAtOnceTakeEachNumberOnce) {
    constexpr int kProcesses = 8;
    const std::string job = "--simulate --sites 4 --log " + dir.file("job.log") + Store() +
                            " --serial-number 0x0FF0:2:be --serial-start 1 open " + dir.file("fw.hex") +
                            " erase write verify";
    std::vector<pid_t> children;
    for (int process = 0; process < kProcesses; ++process) {
        children.push_back(Start(job, "run" + std::to_string(process)));
    }
    for (int process = 0; process < kProcesses; ++process) {
        EXPECT_EQ(Wait(children[static_cast<std::size_t>(process)]), 0)
            << dir.Read("run" + std::to_string(process) + ".err");
    }
    const std::vector<std::string> all = Range(1, 4 * kProcesses);
    EXPECT_EQ(Column(url, "SELECT serial FROM korvan_run WHERE job = 'board-7' ORDER BY serial"), all);
    EXPECT_EQ(Column(url, "SELECT serial FROM korvan_serial WHERE job = 'board-7' ORDER BY serial"), all);
    EXPECT_EQ(Column(url, "SELECT count(DISTINCT run_id) FROM korvan_run"), std::vector<std::string>{"32"});
    std::set<std::uint64_t> logged;
    std::set<std::string> runs;
    for (const std::string& line : Lines(dir.Read("job.log"))) {
        const nlohmann::json record = nlohmann::json::parse(line);
        EXPECT_EQ(record["job"], "board-7");
        logged.insert(record["serial"].get<std::uint64_t>());
        runs.insert(record["run"].get<std::string>());
    }
    EXPECT_EQ(logged.size(), 32U);
    EXPECT_EQ(*logged.rbegin(), 32U);
    EXPECT_EQ(runs.size(), 32U);

    ASSERT_EQ(Run("report --store '" + url + "'", "store-report"), 0) << dir.Read("store-report.err");
    ASSERT_EQ(Run("report --log " + dir.file("job.log") + " --job board-7", "log-report"), 0);
    EXPECT_EQ(dir.Read("store-report.out"), dir.Read("log-report.out"));
    EXPECT_THAT(dir.Read("store-report.out"),
                ::testing::StartsWith("Job board-7: runs 32, passed 32, failed 0, yield 100.0%, first "));
    EXPECT_THAT(dir.Read("store-report.out"), HasSubstr("  serial numbers: 1-32, gaps: 0\n"));
    ASSERT_EQ(Run("report --json --store '" + url + "' --job board-7", "json-report"), 0);
    EXPECT_EQ(nlohmann::json::parse(dir.Read("json-report.out"))["stations"].size(), 4U);  // one host, 4 sites
}

// The server stops in the middle of a run: the numbers already taken stay taken, the finished
// runs' records wait in the spool and are sent once when it is back; while it is away a run that
// needs a number is refused before anything is touched.
TEST_F(StoreCliTest, ServerStoppedInTheMiddleOfARun) {
    dir.Write("big.bin", std::string(4096, '\x5A'));
    const std::string numbers = " --serial-number 0x0FFC:4:ascii --serial-overwrite --serial-start 1";
    const pid_t child = Start("--simulate --sim-pace --sites 4" + Store() + numbers + " open " + dir.file("big.bin") +
                                  " erase write verify",
                              "paced");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Occurrences(dir.Read("paced.out"), "] Serial Number ") < 4 && std::chrono::steady_clock::now() < giveUp) {
        ::poll(nullptr, 0, 10);
    }
    ASSERT_TRUE(server.Stop(true));
    EXPECT_EQ(Wait(child), 0) << dir.Read("paced.err");
    const std::string paced = dir.Read("paced.out");
    ASSERT_EQ(Occurrences(paced, "All Data Matched!"), 4U) << "the server stopped too late to tell";
    std::set<std::uint64_t> spooled;
    for (const std::string& line : Lines(dir.Read("spool"))) {
        spooled.insert(nlohmann::json::parse(line)["serial"].get<std::uint64_t>());
    }
    EXPECT_EQ(spooled, (std::set<std::uint64_t>{1, 2, 3, 4}));

    EXPECT_EQ(Run("--simulate" + Store() + numbers + " open " + dir.file("big.bin") + " erase write", "refused"), 1);
    EXPECT_EQ(dir.Read("refused.out"), "");  // not even started
    const std::string reason = dir.Read("refused.err");
    EXPECT_THAT(reason, HasSubstr("korvan-cli: cannot reach the job store on " + server.socketDir() + ":" +
                                  std::to_string(server.port()) + "/line: "));
    EXPECT_THAT(reason, HasSubstr("No such file or directory"));
    EXPECT_THAT(reason, ::testing::Not(HasSubstr(server.password())));

    ASSERT_TRUE(server.Start());
    const std::string flush = "store flush --store '" + url + "' --spool " + dir.file("spool");
    ASSERT_EQ(Run(flush, "flush"), 0) << dir.Read("flush.err");
    EXPECT_EQ(dir.Read("flush.out"), "4 records sent, 0 waiting in " + dir.file("spool") + "\n");
    ASSERT_EQ(Run(flush, "again"), 0);
    EXPECT_EQ(dir.Read("again.out"), "0 records sent, 0 waiting in " + dir.file("spool") + "\n");
    EXPECT_EQ(Column(url, "SELECT serial FROM korvan_run ORDER BY serial"), Range(1, 4));

    // The crash may have set the job's sequence forward: the numbers it skipped are given to no
    // one, and the report says no run took them rather than blaming a run.
    EXPECT_EQ(Run("--simulate" + Store() + numbers + " open " + dir.file("big.bin") + " erase write", "next"), 0)
        << dir.Read("next.err");
    const std::string next = dir.Read("next.out");
    const std::size_t at = next.find("Serial Number ");
    ASSERT_NE(at, std::string::npos) << next;
    const std::uint64_t given = std::stoull(next.substr(at + 14));
    EXPECT_GT(given, 4U);
    ASSERT_EQ(Run("report --store '" + url + "' --job board-7", "after-crash"), 0);
    const std::string report = dir.Read("after-crash.out");
    EXPECT_THAT(report, HasSubstr("  serial numbers: 1-" + std::to_string(given)));
    if (given > 5) {
        EXPECT_THAT(report, HasSubstr("    5-" + std::to_string(given - 1) + ": no run took them here\n"));
    }
}

}  // namespace
}  // namespace korvan::testing
