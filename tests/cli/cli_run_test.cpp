#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "console/info_save.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct CliResult {
    int status = -1;
    std::vector<std::string> lines;  // standard output
    std::string err;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Runs the built korvan-cli with a program directory of its own.
class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(BuiltProgramDir() + "ChipList.chip", dir.file("ChipList.chip"));
        dir.Write("fw.hex", ":0300300002337A1E\r\n:0400000002003000CA\r\n:00000001FF\r\n");
        dir.Write("other.bin", std::string("\x11\x22\x33\x44", 4));
    }

    CliResult Cli(const std::string& arguments) {
        const std::string command = BuiltProgramDir() + "korvan-cli --dir " + dir.dir() + " --timeout 20 " + arguments +
                                    " >" + dir.file("stdout") + " 2>" + dir.file("stderr") + " </dev/null";
        const int raw = std::system(command.c_str());
        CliResult run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.lines = Lines(dir.Read("stdout"));
        run.err = dir.Read("stderr");
        return run;
    }

    TempDir dir;
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
                            "Programmer: Erase Done.", "Programmer: Writing Done.", "Programmer: Reading Done.",
                            "Data in Buffer2.", "-------------------Verification Starts------------------",
                            "All Data Matched!", "-------------------Verification Done------------------",
                            "Buffer2 has " + dir.file("r.bin") + "(51 Bytes)."));
    EXPECT_EQ(std::filesystem::file_size(dir.file("r.bin")), 51U);
    EXPECT_THAT(dir.Read("port.log"), HasSubstr("W D "));
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

    // The chip cannot be kept: the run itself succeeds, but the operator must hear of it.
    const CliResult unkept = Cli(cable + dir.file("no/dir/s51.sim") + " open " + dir.file("fw.hex") + " erase write");
    EXPECT_EQ(unkept.status, 1);
    EXPECT_THAT(unkept.lines, ::testing::Contains("Programmer: Writing Done."));
    EXPECT_THAT(unkept.err, HasSubstr("Cannot write the chip file"));
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
    // A pseudo-terminal nobody answers on: the port opens, the probe goes unanswered.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const CliResult run = Cli("--port " + slave + " erase");
    close(master);
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

    const CliResult ports = Cli("--list-ports");
    EXPECT_EQ(ports.status, 0);
    EXPECT_THAT(ports.lines, ::testing::Contains(HasSubstr("COM 1  ")));

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

}  // namespace
}  // namespace korvan::testing
