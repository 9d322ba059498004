#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/cli/cli_fixture.h"
#include "tests/support/lock_holder.h"

namespace korvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A run that would wait for ever is killed after this and fails its test.
const std::string kHangGuard = "timeout -s KILL 60 ";

class CliHostileFilesTest : public CliRunTest {
protected:
    std::string Program() const { return BuiltProgramDir() + "korvan-cli --dir " + dir.dir() + " --timeout 20 "; }

    // Starts korvan-cli with `arguments` in the background, standard output and error into
    // the files "out" and "err".
    pid_t Start(const std::string& arguments) {
        dir.Write("out", "");
        dir.Write("err", "");
        const std::string command =
            "exec " + Program() + arguments + " >" + dir.file("out") + " 2>" + dir.file("err") + " </dev/null";
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }

    // True once the file `name` holds `text`, false when it does not within a generous deadline.
    bool AwaitText(const std::string& name, const std::string& text) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (dir.Read(name).find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= giveUp) {
                return false;
            }
            ::poll(nullptr, 0, 10);
        }
        return true;
    }

    std::string steps() const { return " open " + dir.file("fw.hex") + " erase write verify"; }
};

// A FIFO nobody reads as the log, the counter or the saved file ends the run with a line
// naming it, instead of waiting in open() for ever.
TEST_F(CliHostileFilesTest, FifosAreRefusedNotWaitedOn) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string refused = fifo + ": it is a FIFO, not a regular file";

    const CliResult log = Shell(kHangGuard + Program() + "--simulate --log " + fifo + steps() + " >" +
                                dir.file("stdout") + " 2>" + dir.file("stderr") + " </dev/null");
    EXPECT_EQ(log.status, 1);
    EXPECT_THAT(log.err, HasSubstr(refused));

    const CliResult counter = Cli("--simulate --serial-number 0x0FF0:2:le --serial-counter " + fifo + steps());
    EXPECT_EQ(counter.status, 1);
    EXPECT_THAT(counter.err, HasSubstr(refused));
    EXPECT_THAT(counter.lines, Not(::testing::Contains("Programmer: Erase Done.")));

    const CliResult save = Shell(kHangGuard + Program() + "--simulate read save " + fifo + " >" + dir.file("stdout") +
                                 " 2>" + dir.file("stderr") + " </dev/null");
    EXPECT_EQ(save.status, 1);
    EXPECT_THAT(save.err, HasSubstr(fifo));
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// Another run holding the counter's or the log's lock: the run says once that it waits, and a
// signal ends it at once as an interruption, with no number taken and no record written.
TEST_F(CliHostileFilesTest, SignalEndsTheWaitForAHeldLock) {
    const std::string counter = dir.file("serial.txt");
    const std::string log = dir.file("job.log");
    const std::string production =
        "--simulate --log " + log + " --serial-number 0x0FF0:2:le --serial-counter " + counter + steps();
    struct Case {
        std::string locked;
        std::string waitingFor;
        int signal;
    };
    for (const Case& c : {Case{counter + ".lock", counter, SIGINT}, Case{log, log, SIGTERM}}) {
        dir.Write("serial.txt", "500\n");
        dir.Write("job.log", "");
        LockHolder holder(c.locked);
        ASSERT_TRUE(holder.held());
        const pid_t run = Start(production);
        const std::string waiting = "Waiting for " + c.waitingFor + ": another run holds it.\n";
        ASSERT_TRUE(AwaitText("err", waiting)) << dir.Read("err");
        const auto signalled = std::chrono::steady_clock::now();
        ::kill(run, c.signal);
        int status = 0;
        ASSERT_EQ(::waitpid(run, &status, 0), run);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(2500));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
        const std::string err = dir.Read("err");
        EXPECT_EQ(err.find(waiting), err.rfind(waiting)) << "said more than once:\n" << err;
        EXPECT_THAT(err, HasSubstr("interrupted"));
        // Held counter: no number taken, and the run's record says why it ended. Held log: the
        // number was taken just before its reservation had to wait, and nothing is logged.
        const std::vector<nlohmann::json> logged = JsonLines(Lines(dir.Read("job.log")));
        if (c.locked == log) {
            EXPECT_TRUE(logged.empty());
            EXPECT_EQ(dir.Read("serial.txt"), "501\n");
        } else {
            ASSERT_EQ(logged.size(), 1U);
            EXPECT_EQ(logged[0]["serial"], nullptr);
            EXPECT_EQ(logged[0]["failure"], "Serial Number Not Taken: interrupted while waiting for " + counter);
            EXPECT_EQ(dir.Read("serial.txt"), "500\n");
        }
    }
}

// A file-size limit reached by the log's record fails the run naming the log, instead of
// killing it with SIGXFSZ half way through the line.
TEST_F(CliHostileFilesTest, FileSizeLimitFailsTheRunAndKeepsTheLogWhole) {
    const std::string record = "{\"time\":\"2026-12-07T18:52:10.412Z\",\"serial\":1,\"result\":\"ok\"}\n";
    dir.Write("job.log", record);
    dir.Write("serial.txt", "99\n");
    // The limit holds for korvan-cli alone; its output goes through pipes, which it does not bound.
    const std::string limited = "{ { prlimit --fsize=" + std::to_string(record.size() + 16) + " " + Program() +
                                "--simulate --json --log " + dir.file("job.log") + " --serial-number 0x0FF0:2:le " +
                                "--serial-counter " + dir.file("serial.txt") + steps() +
                                "; echo \"exit $?\" >&2; } 2>&1 1>&3 | cat >" + dir.file("stderr") + "; } 3>&1 | cat >" +
                                dir.file("stdout");
    const CliResult run = Shell(kHangGuard + "sh -c '" + limited + "'");
    const std::string notWritten = "Job Log Not Written: cannot append to " + dir.file("job.log") + ": File too large";
    EXPECT_THAT(run.err, HasSubstr("exit 1\n"));
    EXPECT_THAT(run.err, HasSubstr("korvan-cli: " + notWritten));
    ASSERT_FALSE(run.lines.empty());
    const nlohmann::json shown = nlohmann::json::parse(run.lines.back());
    EXPECT_EQ(shown["result"], "failed");
    EXPECT_EQ(shown["failure"], notWritten);
    EXPECT_EQ(dir.Read("job.log"), record);
    EXPECT_EQ(dir.Read("serial.txt"), "100\n");

    // A counter whose next number does not fit under the limit stays as it was.
    const std::string tight = "{ prlimit --fsize=3 " + Program() + "--simulate --serial-number 0x0FF0:2:le " +
                              "--serial-counter " + dir.file("serial.txt") + steps() +
                              " 2>&1 >/dev/null; echo \"exit $?\"; } | cat >" + dir.file("stdout");
    Shell(kHangGuard + "sh -c '" + tight + "'");
    const std::string tightSaid = dir.Read("stdout");
    EXPECT_THAT(tightSaid, HasSubstr("exit 1\n"));
    EXPECT_THAT(tightSaid, HasSubstr("cannot write " + dir.file("serial.txt") + ": File too large"));
    EXPECT_EQ(dir.Read("serial.txt"), "100\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
    }
}

// A log that is someone else's file, or the counter itself, or that could not be written, and
// a counter with no number after its next: each is refused before the chip is touched.
TEST_F(CliHostileFilesTest, LogsAndCountersThatCannotBeKeptAreRefusedFirst) {
    dir.Write("s.txt", "5\n");
    const std::string hex = dir.Read("fw.hex");
    const std::string counter = " --serial-number 0:8:le --serial-overwrite --serial-counter ";
    struct Case {
        std::string arguments;
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"--log " + dir.file("fw.hex"),
         "will not write into " + dir.file("fw.hex") + ": it is not a job log (its first line is not a job record)"},
        {"--log " + dir.file("s.txt") + counter + dir.file("s.txt"),
         "the job log and the serial number counter are one file, " + dir.file("s.txt")},
        {"--log /dev/null", "cannot use the job log /dev/null: it is a device, not a regular file"},
        {"--log " + dir.file("missing/job.log"),
         "cannot write the job log " + dir.file("missing/job.log") + ": folder " + dir.file("missing") +
             ": No such file or directory"},
        {counter + dir.file("new.txt") + " --serial-start 18446744073709551615",
         "serial number counter " + dir.file("new.txt") + " has no number after 18446744073709551615"},
    };
    for (const Case& c : cases) {
        const CliResult run = Cli("--simulate " + c.arguments + steps());
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_EQ(run.err, "korvan-cli: " + c.refusal + "\n") << c.arguments;
        EXPECT_THAT(run.lines, ::testing::IsEmpty()) << c.arguments;
    }
    EXPECT_EQ(dir.Read("fw.hex"), hex);
    EXPECT_EQ(dir.Read("s.txt"), "5\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.txt")));

    // A log of ours, reservations and records, is appended to.
    dir.Write("job.log", R"({"serial":3,"reserved":true,"time":"2026-12-07T18:52:10.412Z","host":"h","site":1})" "\n");
    const CliResult ours = Cli("--simulate --log " + dir.file("job.log") + steps());
    EXPECT_EQ(ours.status, 0) << ours.err;
    EXPECT_EQ(Lines(dir.Read("job.log")).size(), 2U);
}

// One programmer named twice would get two sites' commands on one wire; a simulated site opens
// no port, whatever --port says, and its record says so.
TEST_F(CliHostileFilesTest, SitesArePortsOfTheirOwn) {
    dir.Write("ttyX", "");
    std::filesystem::create_symlink(dir.file("ttyX"), dir.file("programmer"));
    const CliResult twice = Cli("--port " + dir.file("ttyX") + " --port " + dir.file("programmer") + " check");
    EXPECT_EQ(twice.status, 2);
    EXPECT_EQ(twice.err, "korvan-cli: --port " + dir.file("ttyX") + " and --port " + dir.file("programmer") +
                             " are the same port, " + std::filesystem::canonical(dir.file("ttyX")).string() + "\n");
    EXPECT_THAT(twice.lines, ::testing::IsEmpty());

    const CliResult simulated = Cli("--simulate --port /dev/ttyS9 --json open " + dir.file("fw.hex") + " write");
    EXPECT_EQ(simulated.status, 0) << simulated.err;
    ASSERT_FALSE(simulated.lines.empty());
    EXPECT_EQ(nlohmann::json::parse(simulated.lines.back())["port"], "simulated");
}

// A site that cannot start (its port cannot be opened, its chip file is a FIFO) still records the
// chip asked for, the image and each step as not run.
TEST_F(CliHostileFilesTest, SitesThatCannotStartStillLeaveTheirRecord) {
    const std::string fifo = dir.file("chip.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--port " + dir.file("no-such-tty"), "Cannot open " + dir.file("no-such-tty")},
        {"--simulate=" + fifo, "the simulated chip file " + fifo + " is not a regular file"},
    };
    for (const auto& [where, failure] : cases) {
        dir.Write("job.log", "");
        const CliResult run = Shell(kHangGuard + Program() + where + " --chip AT89C52 --log " + dir.file("job.log") +
                                    " open " + dir.file("fw.hex") + " check erase write >" + dir.file("stdout") +
                                    " 2>" + dir.file("stderr") + " </dev/null");
        EXPECT_EQ(run.status, 1) << where;
        const std::vector<nlohmann::json> logged = JsonLines(Lines(dir.Read("job.log")));
        ASSERT_EQ(logged.size(), 1U) << where;
        const nlohmann::json& record = logged[0];
        EXPECT_EQ(record["chip"], "AT89C52");
        EXPECT_EQ(record["image"]["path"], dir.file("fw.hex"));
        EXPECT_THAT(record["failure"].get<std::string>(), ::testing::StartsWith(failure));
        std::vector<std::string> steps;
        for (const nlohmann::json& step : record["steps"]) {
            EXPECT_EQ(step["result"], "not run");
            steps.push_back(step["name"]);
        }
        EXPECT_THAT(steps, ::testing::ElementsAre("open", "check", "erase", "write"));
    }
}

}  // namespace
}  // namespace korvan::testing
