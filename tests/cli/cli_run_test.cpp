#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "console/info_save.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A pseudo-terminal nobody answers on: the port opens, commands go unanswered.
class SilentPty {
public:
    SilentPty() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slave_ = ptsname(master_);
        }
    }
    ~SilentPty() {
        if (master_ >= 0) {
            close(master_);
        }
    }
    SilentPty(const SilentPty&) = delete;
    SilentPty& operator=(const SilentPty&) = delete;
    const std::string& slave() const { return slave_; }

private:
    int master_;
    std::string slave_;
};

TEST_F(CliRunTest, SerialSimulatorRunsTheDemoSequence) {
    const CliResult run = Cli("--simulate open " + dir.file("fw.hex") + " check erase write verify encrypt");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.lines,
                ElementsAre("Korvan v2.3", "Initialize Serial Port Done.", "Programmer: Ready.",
                            "Read " + dir.file("fw.hex") + " Buffer1(53 Bytes).", "Programmer: Ready.",
                            "Programmer: Chip(Code: 1e 51 ff).",
                            "AT89C51 - ROM Size: 4K Bytes. Programming Voltage: 12.00V.", "Programmer: Erase Done.",
                            "Programmer: Starts Writing.", "Write 51 Bytes...", "Programmer: Writing Done.",
                            "Programmer: Ready.", "Programmer: Start Reading.", "Programmer: Reading Done.",
                            "Data in Buffer2.", "-------------------Verification Starts------------------",
                            "All Data Matched!", "-------------------Verification Done------------------",
                            "Programmer: Write Lock Bit Done."));
    EXPECT_EQ(run.err, "");  // no terminal: no progress line
}

TEST_F(CliRunTest, SerialWriteThenLockBitsWaitsForTheWritesProbe) {
    for (int run = 0; run < 3; ++run) {
        const CliResult result = Cli("--simulate open " + dir.file("fw.hex") + " write encrypt");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_THAT(result.lines, ::testing::Not(::testing::Contains("Programmer: Unusable.")));
        EXPECT_EQ(result.lines.back(), "Programmer: Write Lock Bit Done.");
    }
}

TEST_F(CliRunTest, ParallelSimulatorWithPortLog) {
    const CliResult run = Cli("--simulate --programmer ferrow --chip AT89S52 --port-log " + dir.file("port.log") +
                        " open " + dir.file("fw.hex") + " erase write verify save " + dir.file("r.bin"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.lines,
                ElementsAre("Korvan v2.3", "Initialize Parallel Port Done.",
                            "Read " + dir.file("fw.hex") + " Buffer1(53 Bytes).", "Programmer: Ready.",
                            // The named chip is identified before the erase, though no check was asked.
                            "Programmer: Chip(Code: 1e 52 06).",
                            "AT89S52 - ROM Size: 8K Bytes. Programming Voltage: 5.00V.",
                            "Programmer: Erase Done.", "Programmer: Writing Done.", "Programmer: Reading Done.",
                            "Data in Buffer2.", "-------------------Verification Starts------------------",
                            "All Data Matched!", "-------------------Verification Done------------------",
                            "Buffer2 has " + dir.file("r.bin") + "(51 Bytes)."));
    EXPECT_EQ(std::filesystem::file_size(dir.file("r.bin")), 51U);
    EXPECT_THAT(dir.Read("port.log"), HasSubstr("W D "));
}

// A script that names its chip stops when another is in the socket; blank proves an erase.
TEST_F(CliRunTest, NamedChipIsGuardedAndBlankProvesTheErase) {
    const std::string image = " open " + dir.file("fw.hex");
    const CliResult wrong = Cli("--simulate --chip AT89C52 --sim-chip AT89C2051" + image + " check erase write");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.lines.back(), "Chip in socket is AT89C2051, not AT89C52.");
    EXPECT_THAT(wrong.lines, ::testing::Not(::testing::Contains("Programmer: Erase Done.")));
    const CliResult any = Cli("--simulate --chip auto --sim-chip AT89C2051" + image + " check erase write");
    EXPECT_EQ(any.status, 0) << any.err;

    const std::string chip = " --simulate=" + dir.file("blank.sim");
    const CliResult proven = Cli(chip + image + " erase blank write verify");
    EXPECT_EQ(proven.status, 0) << proven.err;
    EXPECT_THAT(proven.lines, ::testing::Contains("Chip is blank."));
    const CliResult programmed = Cli(chip + " blank");
    EXPECT_EQ(programmed.status, 1);
    EXPECT_EQ(programmed.lines.back(), "Chip is not blank: first programmed byte at 0x0000.");
}

// Three sites on the simulator, the middle one with the wrong chip in its socket: it stops at
// the identification while the others program their chips, each with its own serial number.
TEST_F(CliRunTest, SeveralSitesRunAtOnceAndAFailingOneStopsNoOther) {
    const CliResult run = Cli("--simulate=" + dir.file("chip.sim") +
                              " --sites 3 --chip AT89C51 --sim-chip AT89C51 --sim-chip AT89C2051 --sim-chip AT89C51"
                              " --log " + dir.file("job.log") + " --serial-number 0x0FF0:2:be --serial-counter " +
                              dir.file("counter") + " --serial-start 7 open " + dir.file("fw.hex") +
                              " check erase write verify");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_THAT(run.lines, ::testing::Contains("[2 simulated] Chip in socket is AT89C2051, not AT89C51."));
    EXPECT_EQ(run.err, "[2 simulated] korvan-cli: Chip in socket is AT89C2051, not AT89C51.\n");
    for (const char* site : {"[1 simulated] ", "[3 simulated] "}) {
        EXPECT_THAT(run.lines, ::testing::Contains(std::string(site) + "All Data Matched!"));
    }
    ASSERT_GE(run.lines.size(), 4U);
    const std::vector<std::string> summary(run.lines.end() - 4, run.lines.end());
    EXPECT_THAT(summary[0], ::testing::StartsWith("Site  Port"));
    EXPECT_THAT(summary[2], ::testing::MatchesRegex("2 +simulated +failed +AT89C2051 +- +[0-9.]+ s"));

    std::map<int, nlohmann::json> records;
    std::map<int, std::uint64_t> reserved;
    for (const nlohmann::json& line : JsonLines(Lines(dir.Read("job.log")))) {
        const int site = line["site"].get<int>();
        if (line.contains("reserved")) {
            EXPECT_FALSE(records.contains(site)) << "site " << site << " reserved after its record";
            reserved[site] = line["serial"].get<std::uint64_t>();
        } else {
            records[site] = line;
        }
    }
    ASSERT_EQ(records.size(), 3U);
    EXPECT_EQ(reserved.size(), 2U);
    EXPECT_EQ(records[2]["result"], "failed");
    EXPECT_EQ(records[2]["failure"], "Chip in socket is AT89C2051, not AT89C51.");
    EXPECT_TRUE(records[2]["serial"].is_null());
    EXPECT_EQ(records[2]["steps"][3], nlohmann::json({{"name", "erase"}, {"result", "not run"}, {"ms", 0}}));
    std::set<std::uint64_t> serials;
    for (const int site : {1, 3}) {
        EXPECT_EQ(records[site]["result"], "ok");
        EXPECT_EQ(records[site]["signature"], "1e 51 ff");
        EXPECT_EQ(records[site]["mismatches"], 0);
        serials.insert(records[site]["serial"].get<std::uint64_t>());
        EXPECT_EQ(reserved[site], records[site]["serial"].get<std::uint64_t>());
        EXPECT_THAT(summary[static_cast<std::size_t>(site)],
                    ::testing::MatchesRegex(std::to_string(site) + " +simulated +ok +AT89C51 +" +
                                            records[site]["serial"].dump() + " +[0-9.]+ s"));
    }
    EXPECT_EQ(serials, (std::set<std::uint64_t>{7, 8}));
    EXPECT_EQ(std::stoull(dir.Read("counter")), 9U);

    // The number is on the chip, big-endian at 0x0FF0.
    const std::uint64_t first = records[1]["serial"].get<std::uint64_t>();
    ASSERT_EQ(Cli("--simulate=" + dir.file("chip-1.sim") + " read save " + dir.file("site1.bin")).status, 0);
    const std::string flash = dir.Read("site1.bin");
    ASSERT_GE(flash.size(), 0x0FF2U);
    EXPECT_EQ(flash.substr(0x0FF0, 2), std::string({'\0', static_cast<char>(first)}));
}

// Standard output holds nothing but JSON: status lines, then each site's record, the same
// object the job log keeps.
TEST_F(CliRunTest, JsonOutputIsOneObjectALine) {
    const CliResult run = Cli("--simulate --sites 2 --json --log " + dir.file("job.log") + " open " +
                              dir.file("fw.hex") + " erase write verify");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<nlohmann::json> objects = JsonLines(run.lines);
    ASSERT_GE(objects.size(), 4U);
    std::set<int> sitesSeen;
    for (std::size_t index = 0; index + 2 < objects.size(); ++index) {
        ASSERT_TRUE(objects[index].contains("line") || objects[index].contains("progress")) << objects[index];
        sitesSeen.insert(objects[index]["site"].get<int>());
    }
    EXPECT_EQ(sitesSeen, (std::set<int>{1, 2}));
    EXPECT_THAT(run.lines, ::testing::Contains(R"({"site":2,"line":"Programmer: Writing Done."})"));
    std::vector<std::string> records(run.lines.end() - 2, run.lines.end());
    std::vector<std::string> logged = Lines(dir.Read("job.log"));
    std::sort(records.begin(), records.end());
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(records, logged);  // the same text as the log
    for (const nlohmann::json& record : JsonLines(records)) {
        EXPECT_EQ(record["result"], "ok");
        EXPECT_EQ(record["image"]["path"], dir.file("fw.hex"));
        EXPECT_EQ(record["image"]["bytes"], 51);
        EXPECT_EQ(record["steps"].size(), 5U);  // open, ready, erase, write, verify
    }
}

// A number that cannot be placed stops the run before anything is erased, and takes no number.
TEST_F(CliRunTest, SerialNumbersThatCannotBePlacedStopTheRunBeforeTheChipIsTouched) {
    const std::string steps = " open " + dir.file("fw.hex") + " check erase write";
    const std::string counter = " --serial-counter " + dir.file("counter");
    const CliResult tooLarge = Cli("--simulate --serial-number 0x0FF0:1:bcd --serial-start 100" + counter + steps);
    EXPECT_EQ(tooLarge.status, 1);
    EXPECT_THAT(tooLarge.lines, ::testing::IsEmpty());
    EXPECT_EQ(tooLarge.err, "korvan-cli: serial number 100 does not fit in 1 BCD byte\n");

    const CliResult pastRom = Cli("--simulate --sim-chip AT89C2051 --serial-number 0x0FF0:2:be" + counter + steps);
    EXPECT_EQ(pastRom.status, 1);
    EXPECT_EQ(pastRom.lines.back(), "Serial Number Not Placed: 0x0FF0:2:be lies beyond the chip's 2048 bytes");
    EXPECT_THAT(pastRom.lines, ::testing::Not(::testing::Contains("Programmer: Erase Done.")));

    const CliResult programmed = Cli("--simulate --serial-number 0x0030:2:le" + counter + steps);
    EXPECT_EQ(programmed.status, 1);
    EXPECT_THAT(programmed.lines.back(), HasSubstr("would overwrite programmed data at 0x0030"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("counter")));
}

// As README gives it: the numbers reserved that no run's record carries.
constexpr const char* kUnfinishedNumbersQuery =
    "[.[] | select(.reserved) | .serial] - [.[] | select(.reserved | not) | .serial]";

// A run killed in the middle of its write has used its number: the next run goes on after it.
TEST_F(CliRunTest, KilledRunNeverGivesItsSerialNumberAgain) {
    std::string image(4096, '\x5A');
    dir.Write("big.bin", image);
    const std::string serial = " --serial-number 0x0FFC:4:ascii --serial-overwrite --serial-counter " +
                               dir.file("counter") + " --serial-start 41 --log " + dir.file("job.log");
    const std::string program = BuiltProgramDir() + "korvan-cli";
    const std::string command = "exec " + program + " --dir " + dir.dir() + " --simulate --sim-pace" + serial +
                                " open " + dir.file("big.bin") + " erase write >" + dir.file("killed") + " 2>&1";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (dir.Read("killed").find("Programmer: Starts Writing.") == std::string::npos &&
           std::chrono::steady_clock::now() < giveUp) {
        poll(nullptr, 0, 10);
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_THAT(dir.Read("killed"), HasSubstr("Serial Number 41 at 0x0FFC."));
    EXPECT_EQ(dir.Read("killed").find("Writing Done"), std::string::npos) << "killed too late to tell";
    EXPECT_EQ(std::stoull(dir.Read("counter")), 42U);

    const CliResult next = Cli("--simulate" + serial + " open " + dir.file("big.bin") + " erase write verify");
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_THAT(next.lines, ::testing::Contains("Serial Number 42 at 0x0FFC."));
    // The killed run left its reservation and no record; the next one left both.
    const std::vector<nlohmann::json> logged = JsonLines(Lines(dir.Read("job.log")));
    ASSERT_EQ(logged.size(), 3U);
    EXPECT_EQ(logged[0]["serial"], 41);
    EXPECT_EQ(logged[0]["reserved"], true);
    EXPECT_EQ(logged[1]["serial"], 42);
    EXPECT_EQ(logged[1]["reserved"], true);
    EXPECT_EQ(logged[2]["serial"], 42);
    EXPECT_EQ(logged[2]["result"], "ok");
    // README's query lists the numbers taken but never finished.
    const CliResult unfinished = Shell("jq -s -c '" + std::string(kUnfinishedNumbersQuery) + "' " +
                                       dir.file("job.log") + " >" + dir.file("stdout") + " 2>" + dir.file("stderr"));
    EXPECT_EQ(unfinished.status, 0) << unfinished.err;
    EXPECT_THAT(unfinished.lines, ElementsAre("[41]"));
}

TEST_F(CliRunTest, SimulatedChipFileKeepsTheChipBetweenRuns) {
    const std::string chip = " --simulate=" + dir.file("chip.sim");
    ASSERT_EQ(Cli(chip + " open " + dir.file("fw.hex") + " erase write").status, 0);
    const CliResult same = Cli(chip + " open " + dir.file("fw.hex") + " verify");
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_THAT(same.lines, ::testing::Contains("All Data Matched!"));

    const CliResult different = Cli(chip + " open " + dir.file("other.bin") + " read verify");
    EXPECT_EQ(different.status, 1);
    EXPECT_THAT(different.lines, ::testing::Contains("    00001 - ADDR:0000  WRITE:11  READ:02"));
    EXPECT_THAT(different.lines, ::testing::Contains("Total 7 Bytes Wrong!"));
}

TEST_F(CliRunTest, SimulatedCableChipFileIsKeptOrItsFailureReported) {
    const std::string cable = " --programmer atmel-byteblaster --chip AT89S51 --simulate=";
    ASSERT_EQ(Cli(cable + dir.file("s51.sim") + " open " + dir.file("fw.hex") + " erase write").status, 0);
    const CliResult again = Cli(cable + dir.file("s51.sim") + " open " + dir.file("fw.hex") + " verify");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.lines, ::testing::Contains("All Data Matched!"));

    // A chip that could not be kept, or a file that is no chip's state, stops the run before
    // anything is written; the file is left as it was.
    const CliResult unkept = Cli(cable + dir.file("no/dir/s51.sim") + " open " + dir.file("fw.hex") + " erase write");
    EXPECT_EQ(unkept.status, 1);
    EXPECT_THAT(unkept.lines, ::testing::Not(::testing::Contains("Programmer: Writing Done.")));
    EXPECT_THAT(unkept.err, HasSubstr("Cannot write the chip state file"));
    const std::string image = dir.Read("fw.hex");
    const CliResult foreign = Cli(cable + dir.file("fw.hex") + " open " + dir.file("fw.hex") + " erase write");
    EXPECT_EQ(foreign.status, 1);
    EXPECT_THAT(foreign.err, HasSubstr("is an Intel HEX file, not a simulated chip's state"));
    EXPECT_EQ(dir.Read("fw.hex"), image);
}

TEST_F(CliRunTest, FailuresEndTheRunWithStatusOne) {
    const CliResult missing = Cli("--simulate open " + dir.file("none.hex") + " erase");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines.back(), "File Open Error.");

    dir.Write("bad.hex", ":0100000055 \n:00000001FF\n");
    const CliResult bad = Cli("--simulate open " + dir.file("bad.hex") + " write");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.lines.back(), "Hex File Conversion Error.");
    EXPECT_THAT(bad.err, HasSubstr("*.Hex"));

    const CliResult noPort = Cli("--port " + dir.file("no-such-tty") + " check");
    EXPECT_EQ(noPort.status, 1);
    ASSERT_GE(noPort.lines.size(), 3U);
    EXPECT_EQ(noPort.lines[1], "Initialize Serial Port Failed.");
    EXPECT_THAT(noPort.lines[2], HasSubstr("no-such-tty"));

    const CliResult noSave = Cli("--simulate read save " + dir.file("no/dir/r.bin"));
    EXPECT_EQ(noSave.status, 1);
    EXPECT_THAT(noSave.err, HasSubstr("cannot create"));
}

TEST_F(CliRunTest, SilentProgrammerFailsTheStartUpProbe) {
    const SilentPty pty;
    ASSERT_FALSE(pty.slave().empty());
    const CliResult run = Cli("--port " + pty.slave() + " erase");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.lines, ElementsAre("Korvan v2.3", "Initialize Serial Port Done.", "Data Received Error."));
}

TEST_F(CliRunTest, SettingsComeFromKorvanIniWhichIsNeverWritten) {
    InfoSave record = FirstStartInfoSave();
    record.programmerType = 3;
    record.chipIndex = 12;  // AT89S52 in the shipped catalogue
    record.autoCheck = 1;
    record.autoOpen = record.autoErase = record.autoWrite = record.autoVerify = 0;
    record.autoEncrypt = 0;
    ASSERT_TRUE(WriteInfoSave(dir.file("Korvan.ini"), record));
    const std::string before = dir.Read("Korvan.ini");

    const CliResult run = Cli("--simulate auto lock 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.lines, ElementsAre("Selected Altera ByteBlaster Programmer", "Korvan v2.3",
                                       "Initialize Parallel Port Done.", "Programmer: Ready.",
                                       "Programmer: Chip(Code: 1e 52 06).",
                                       "AT89S52 - ROM Size: 8K Bytes. Programming Voltage: 5.00V.",
                                       "Programmer: Write Lock Bit Done."));
    EXPECT_EQ(dir.Read("Korvan.ini"), before);
}

TEST_F(CliRunTest, UsageErrorsAndListings) {
    const CliResult bad = Cli("--baud 1200 check");
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.lines.empty());
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);

    EXPECT_EQ(Cli("--chip NOPE check").status, 2);
    EXPECT_EQ(Cli("auto erase").status, 2);

    const CliResult chips = Cli("--list-chips");
    EXPECT_EQ(chips.status, 0);
    EXPECT_THAT(chips.lines, ::testing::Contains(HasSubstr("AT89S52")));

    dir.Write("Korvan.ini", "[Ports]\r\nCOM2=/dev/ttyUSB9\r\n");
    const CliResult ports = Cli("--list-ports");
    EXPECT_EQ(ports.status, 0);
    EXPECT_THAT(ports.lines, ::testing::Contains(HasSubstr("COM 1  /dev/ttyS0")));
    EXPECT_THAT(ports.lines, ::testing::Contains("COM 2  /dev/ttyUSB9  (not present)"));

    const CliResult help = Cli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.lines.front(), HasSubstr("usage: korvan-cli"));
}

TEST_F(CliRunTest, LostStandardOutputIsAFailure) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::string command = BuiltProgramDir() + "korvan-cli --dir " + dir.dir() + " --simulate check >/dev/full 2>" +
                                dir.file("stderr") + " </dev/null";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_THAT(dir.Read("stderr"), HasSubstr("cannot write standard output"));
}

// Standard descriptors closed by the caller are opened on /dev/null, so nothing the run opens
// (the simulator's pseudo-terminal) takes their number.
TEST_F(CliRunTest, ClosedStandardDescriptorsAreNotReused) {
    const std::string run = BuiltProgramDir() + "korvan-cli --dir " + dir.dir() + " --simulate open " +
                            dir.file("fw.hex") + " erase write verify";
    const CliResult noStdout = Shell(run + " >&- 2>" + dir.file("stderr") + " </dev/null");
    EXPECT_EQ(noStdout.status, 0) << noStdout.err;
    EXPECT_EQ(noStdout.err, "");

    const CliResult noneAtAll = Shell(run + " >&- 2>&- <&-");
    EXPECT_EQ(noneAtAll.status, 0);

    const CliResult noStderr = Shell(BuiltProgramDir() + "korvan-cli --dir " + dir.dir() + " --simulate open " +
                                     dir.file("none.hex") + " erase >" + dir.file("stdout") + " 2>&- <&-");
    EXPECT_EQ(noStderr.status, 1);
    EXPECT_EQ(noStderr.lines.back(), "File Open Error.");
}

// The status lines stay on standard output; the line that ended a failed run also goes to
// standard error, with its reason, once.
TEST_F(CliRunTest, TheLineThatEndedAFailedRunGoesToStandardError) {
    const CliResult missing = Cli("--simulate open " + dir.file("none.hex") + " erase");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines.back(), "File Open Error.");
    EXPECT_EQ(missing.err, "File Open Error.\n" + dir.file("none.hex") + ": No such file or directory\n");

    std::filesystem::create_directory(dir.file("folder.bin"));
    const CliResult folder = Cli("--simulate open " + dir.file("folder.bin") + " erase");
    EXPECT_EQ(folder.status, 1);
    EXPECT_THAT(folder.err, HasSubstr(dir.file("folder.bin") + ": it is a directory, not a file"));

    const CliResult noPort = Cli("--port " + dir.file("no-such-tty") + " check");
    EXPECT_EQ(noPort.status, 1);
    EXPECT_THAT(noPort.err, HasSubstr("korvan-cli: Cannot open " + dir.file("no-such-tty")));

    ASSERT_EQ(Cli("--simulate=" + dir.file("chip.sim") + " open " + dir.file("fw.hex") + " erase write").status, 0);
    const CliResult wrong = Cli("--simulate=" + dir.file("chip.sim") + " open " + dir.file("other.bin") + " read verify");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.lines.back(), "-------------------Verification Done------------------");
    EXPECT_EQ(wrong.err, "korvan-cli: Total 7 Bytes Wrong!\n");
}

// Bytes written over programmed ones without an erase cannot take (bits only clear): the line
// after "Programmer: Programming Error." says where, as far as the back-end knows; the run's
// failing line, on standard error and in the job record, stays the error line.
TEST_F(CliRunTest, AProgrammingErrorSaysWhereUnderItsLine) {
    struct Case {
        std::string programmer;
        std::string where;
    };
    for (const Case& each : {Case{"", "At 0x0000: the programmer refused the block of 16 bytes."},
                             Case{" --programmer ferrow --chip AT89S52", "At 0x0000: expected 0x11, read 0x00."}}) {
        const std::string chip = dir.file("chip.sim");
        std::filesystem::remove(chip);
        const std::string simulated = "--simulate=" + chip + each.programmer;
        ASSERT_EQ(Cli(simulated + " open " + dir.file("fw.hex") + " erase write").status, 0) << each.programmer;
        std::filesystem::remove(dir.file("job.log"));
        const CliResult over = Cli(simulated + " --log " + dir.file("job.log") + " open " + dir.file("other.bin") + " write");
        EXPECT_EQ(over.status, 1) << each.programmer;
        const auto error = std::find(over.lines.begin(), over.lines.end(), "Programmer: Programming Error.");
        ASSERT_NE(error, over.lines.end()) << each.programmer;
        ASSERT_NE(error + 1, over.lines.end()) << each.programmer;
        EXPECT_EQ(*(error + 1), each.where);
        EXPECT_EQ(over.err, "korvan-cli: Programmer: Programming Error.\n") << each.programmer;
        const auto records = JsonLines(Lines(dir.Read("job.log")));
        ASSERT_EQ(records.size(), 1U) << each.programmer;
        EXPECT_EQ(records[0]["failure"], "Programmer: Programming Error.") << each.programmer;
    }
}

TEST_F(CliRunTest, OptionsBehaveAsUsersOfOtherToolsExpect) {
    const CliResult none = Shell(BuiltProgramDir() + "korvan-cli >" + dir.file("stdout") + " 2>" + dir.file("stderr"));
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.lines.empty());
    EXPECT_THAT(none.err, ::testing::StartsWith("usage: korvan-cli"));

    const CliResult help = Cli("-h");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.lines.front(), HasSubstr("usage: korvan-cli"));
    EXPECT_THAT(Cli("-V").lines, ElementsAre("Korvan v2.3"));

    for (const std::string unknown : {"--bogus", "-x", "--bogus=1"}) {
        const CliResult run = Cli("--simulate " + unknown + " check");
        EXPECT_EQ(run.status, 2) << unknown;
        EXPECT_THAT(run.err, HasSubstr("unknown option " + unknown.substr(0, unknown.find('=')))) << unknown;
    }
    for (const std::string noImage : {"write", "erase write", "check verify"}) {
        const CliResult run = Cli("--simulate " + noImage);
        EXPECT_EQ(run.status, 2) << noImage;
        EXPECT_THAT(run.err, HasSubstr("needs an image")) << noImage;
        EXPECT_TRUE(run.lines.empty()) << noImage;
    }

    const std::string job = "--simulate open " + dir.file("fw.hex") + " erase write verify";
    const CliResult normal = Cli(job);
    ASSERT_EQ(normal.status, 0) << normal.err;
    const CliResult quiet = Cli("-q " + job);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.lines.empty());
    EXPECT_EQ(quiet.err, "");
    const CliResult quietFailure = Cli("--quiet --simulate open " + dir.file("none.hex") + " erase");
    EXPECT_EQ(quietFailure.status, 1);
    EXPECT_TRUE(quietFailure.lines.empty());
    EXPECT_THAT(quietFailure.err, HasSubstr("File Open Error."));

    const CliResult verbose = Cli("-v " + job);
    EXPECT_EQ(verbose.status, 0);
    EXPECT_EQ(verbose.lines, normal.lines);
    EXPECT_THAT(verbose.err, HasSubstr("korvan-cli: program directory " + dir.dir()));
    EXPECT_THAT(verbose.err, HasSubstr("Tamblin Serial, simulated"));
    EXPECT_THAT(verbose.err, HasSubstr("exit status 0 after"));
}

TEST_F(CliRunTest, TimeoutBoundsTheWaitForAnAnswer) {
    const SilentPty pty;
    ASSERT_FALSE(pty.slave().empty());
    const auto started = std::chrono::steady_clock::now();
    const CliResult run = Cli("--port " + pty.slave() + " --timeout 1 erase");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.lines, ElementsAre("Korvan v2.3", "Initialize Serial Port Done.", "Data Received Error."));
    // A command waits 3 s by default; --timeout 1 cuts it to 1 s.
    EXPECT_LT(took, std::chrono::milliseconds(2800));
    EXPECT_EQ(Cli("--timeout 0 check").status, 2);
    EXPECT_EQ(Cli("--timeout 99999 check").status, 2);
}

TEST_F(CliRunTest, PortLogThatCannotBeWrittenFailsTheRun) {
    const std::string cable = "--simulate --programmer ferrow --chip AT89S52 ";
    const CliResult unwritable = Cli(cable + "--port-log " + dir.file("no/dir/port.log") + " check");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.lines.empty());  // found before anything is sent
    EXPECT_THAT(unwritable.err, HasSubstr("Cannot write the port log " + dir.file("no/dir/port.log")));

    if (std::filesystem::exists("/dev/full")) {
        const CliResult full = Cli(cable + "--port-log /dev/full open " + dir.file("fw.hex") + " erase write");
        EXPECT_EQ(full.status, 1);
        EXPECT_THAT(full.lines, ::testing::Contains("Programmer: Writing Done."));
        EXPECT_THAT(full.err, HasSubstr("Cannot write the port log /dev/full"));
    }

    const CliResult fromEnvironment = Shell("KORVAN_PORT_LOG=" + dir.file("env.log") + " " + BuiltProgramDir() +
                                            "korvan-cli --dir " + dir.dir() + " " + cable + "check >" +
                                            dir.file("stdout") + " 2>" + dir.file("stderr"));
    EXPECT_EQ(fromEnvironment.status, 0) << fromEnvironment.err;
    EXPECT_THAT(dir.Read("env.log"), HasSubstr("W D 0x"));
}

// SIGINT or SIGTERM while the programmer is asked: the run ends at once with 128 + signal.
TEST_F(CliRunTest, SignalsEndTheRunAndSayInterrupted) {
    for (const int signal : {SIGINT, SIGTERM}) {
        const SilentPty pty;
        ASSERT_FALSE(pty.slave().empty());
        int output[2];
        ASSERT_EQ(pipe(output), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, dir.file("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        const std::string program = BuiltProgramDir() + "korvan-cli";
        const std::string dirArg = dir.dir();
        const std::string port = pty.slave();
        std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--dir"),
                                   const_cast<char*>(dirArg.c_str()),  const_cast<char*>("--port"),
                                   const_cast<char*>(port.c_str()),    const_cast<char*>("erase"),
                                   nullptr};
        pid_t child = -1;
        ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);

        // The probe is sent once the port is open; it stays unanswered for 3 s.
        std::string seen;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (seen.find("Initialize Serial Port Done.\n") == std::string::npos &&
               std::chrono::steady_clock::now() < giveUp) {
            pollfd readable{output[0], POLLIN, 0};
            char chunk[256];
            if (poll(&readable, 1, 100) > 0) {
                const ssize_t count = read(output[0], chunk, sizeof chunk);
                if (count <= 0) {
                    break;
                }
                seen.append(chunk, static_cast<std::size_t>(count));
            }
        }
        const auto signalled = std::chrono::steady_clock::now();
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(output[0]);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(2500));
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_THAT(seen, HasSubstr("Initialize Serial Port Done."));
        EXPECT_EQ(dir.Read("stderr"), "korvan-cli: interrupted\n");
    }
}

// Every file of the program directory that cannot be read gives one line naming it and the
// reason, and the run stops before anything is sent.
TEST_F(CliRunTest, ProgramDirectoryProblemsAreNamed) {
    const CliResult missing = Shell(BuiltProgramDir() + "korvan-cli --dir " + dir.file("missing") +
                                    " --simulate check >" + dir.file("stdout") + " 2>" + dir.file("stderr"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "korvan-cli: the program directory " + dir.file("missing") + "/ does not exist\n");

    std::filesystem::create_directory(dir.file("Korvan.ini"));
    const CliResult settings = Cli("--simulate check");
    EXPECT_EQ(settings.status, 1);
    EXPECT_TRUE(settings.lines.empty());
    EXPECT_EQ(settings.err, "korvan-cli: cannot read " + dir.file("Korvan.ini") + ": Is a directory\n");
    std::filesystem::remove(dir.file("Korvan.ini"));

    std::filesystem::create_directory(dir.file("FerrowIsp.ini"));
    const CliResult pins = Cli("--simulate --programmer ferrow --chip AT89S52 check");
    EXPECT_EQ(pins.status, 1);
    EXPECT_EQ(pins.err, "korvan-cli: cannot read " + dir.file("FerrowIsp.ini") + ": Is a directory\n");
    std::filesystem::remove(dir.file("FerrowIsp.ini"));

    std::filesystem::create_directory(dir.file("state"));
    const CliResult state = Cli("--simulate=" + dir.file("state") + " --programmer atmel-byteblaster check");
    EXPECT_EQ(state.status, 1);
    EXPECT_THAT(state.err, HasSubstr(dir.file("state") + " is not a regular file"));

    std::filesystem::remove(dir.file("ChipList.chip"));
    std::filesystem::create_directory(dir.file("ChipList.chip"));
    const CliResult catalogue = Cli("--simulate check");
    EXPECT_EQ(catalogue.status, 1);
    EXPECT_EQ(catalogue.err, "korvan-cli: cannot read " + dir.file("ChipList.chip") + ": Is a directory\n");
    EXPECT_EQ(Cli("--list-chips").status, 1);
}

}  // namespace
}  // namespace korvan::testing
