#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_options.h"
#include "cli/terminal_view.h"

namespace korvan::testing {
namespace {

ParsedCommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CliOptionsTest, ReadsEveryOptionInBothForms) {
    const ParsedCommandLine parsed =
        Parse({"--dir", "/p", "--programmer=atmel-byteblaster", "--port", "3", "--baud=28800", "--speed", "Fastest",
               "--chip", "AT89S52", "--simulate=/tmp/chip", "--sim-chip=AT89S51", "--port-log", "/tmp/log",
               "--timeout=5"});
    ASSERT_EQ(parsed.error, "");
    const CliOptions& options = parsed.options;
    EXPECT_EQ(options.dir, "/p");
    EXPECT_EQ(options.programmerType, 2);
    ASSERT_EQ(options.ports.size(), 1U);
    EXPECT_EQ(options.ports[0].comPort, 3);
    EXPECT_EQ(options.baudIndex, 2);
    EXPECT_EQ(options.downloadSpeed, 2);
    EXPECT_EQ(options.chip, "AT89S52");
    EXPECT_TRUE(options.simulate);
    EXPECT_EQ(options.simulateFile, "/tmp/chip");
    EXPECT_EQ(options.simChips, std::vector<std::string>{"AT89S51"});
    EXPECT_EQ(options.portLog, "/tmp/log");
    EXPECT_EQ(options.timeoutSeconds, 5);
    EXPECT_FALSE(options.HasSequence());
}

TEST(CliOptionsTest, PortTakesANumberOrAPath) {
    const CliOptions sites = Parse({"--port", "/dev/pts/7", "--port", "2"}).options;
    ASSERT_EQ(sites.ports.size(), 2U);
    EXPECT_EQ(sites.ports[0].path, "/dev/pts/7");
    EXPECT_FALSE(sites.ports[0].comPort.has_value());
    EXPECT_EQ(sites.ports[1].comPort, 2);
    EXPECT_EQ(sites.SiteCount(), 2);
    EXPECT_NE(Parse({"--port", "5"}).error, "");
    EXPECT_NE(Parse({"--port", ""}).error, "");
    EXPECT_EQ(Parse({"--programmer", "0"}).options.programmerType, 0);
    EXPECT_EQ(Parse({"--programmer", "Ferrow"}).options.programmerType, 1);
}

TEST(CliOptionsTest, StepsBecomePendingOperations) {
    const ParsedCommandLine parsed =
        Parse({"verify", "open", "fw.hex", "erase", "check", "write", "encrypt", "read", "lock", "2", "save", "r.bin"});
    ASSERT_EQ(parsed.error, "");
    const PendingSteps expected{.open = true, .check = true, .erase = true, .write = true, .read = true,
                                .verify = true, .encrypt = true};
    EXPECT_EQ(parsed.options.steps, expected);
    EXPECT_EQ(parsed.options.openFile, "fw.hex");
    EXPECT_EQ(parsed.options.lockLevel, 2);
    EXPECT_EQ(parsed.options.saveFile, "r.bin");

    const ParsedCommandLine autoRun = Parse({"open", "fw.hex", "auto"});
    ASSERT_EQ(autoRun.error, "");
    EXPECT_TRUE(autoRun.options.autoCommand);
    EXPECT_FALSE(autoRun.options.steps.Any());
    EXPECT_EQ(autoRun.options.openFile, "fw.hex");
}

TEST(CliOptionsTest, BadUsageHasAOneLineReason) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus"},
             {"--baud", "1200"},
             {"--speed", "slow"},
             {"--programmer", "usb"},
             {"--dir"},
             {"flash"},
             {"open"},
             {"lock", "4"},
             {"lock", "x"},
             {"lock"},
             {"auto", "erase"},
             {"--sim-chip", "X"},
             {"--timeout", "0"},
             {"--help=yes"},
             {"--sites", "2", "check"},
             {"--simulate", "--sites", "0"},
             {"--simulate", "--sites", "2", "--port", "1", "--port", "2"},
             {"--simulate", "--sim-chip", "A", "--sim-chip", "B", "check"},
             {"--sim-pace", "check"},
             {"--serial-number", "0x10:2:le", "open", "a.hex", "write"},
             {"--serial-number", "0x10:2:le", "--serial-counter", "c", "open", "a.hex", "verify"},
             {"--serial-number", "0x10:9:le", "--serial-counter", "c", "open", "a.hex", "write"},
             {"--serial-counter", "c", "check"},
             {"--serial-number", "0x10:2:le", "--serial-counter", "c", "--serial-start", "-1", "open", "a.hex",
              "write"},
             {"--store", "host=db", "check"},
             {"--store", "host=db", "--job", "j", "--serial-number", "0x10:2:le", "--serial-counter", "c", "open",
              "a.hex", "write"},
             {"--spool", "s", "check"},
             {"--json", "--list-chips"},
             {"--list-ports", "--json"},
             {"--json", "--help"},
             {"--json", "--version"}}) {
        const ParsedCommandLine parsed = Parse(args);
        EXPECT_NE(parsed.error, "") << args[0];
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
}

// The store takes the counter file's place: numbers need either, never both.
TEST(CliOptionsTest, StoreGivesTheNumbersOfItsJob) {
    const ParsedCommandLine parsed = Parse({"--store=postgresql://db/line", "--job", "board-7", "--spool", "s.jsonl",
                                            "--serial-number", "0x10:2:le", "open", "a.hex", "write"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.storeUrl, "postgresql://db/line");
    EXPECT_EQ(parsed.options.job, "board-7");
    EXPECT_EQ(parsed.options.spoolPath, "s.jsonl");
    EXPECT_EQ(Parse({"--store", "host=db", "check"}).error, "--store needs --job, the job's name in the store");
}

TEST(CliOptionsTest, ShortFlagsAndTheReasonForAnUnknownOption) {
    EXPECT_EQ(Parse({"-q"}).options.verbosity, Verbosity::Quiet);
    EXPECT_EQ(Parse({"--verbose"}).options.verbosity, Verbosity::Verbose);
    EXPECT_TRUE(Parse({"-h"}).options.help);
    EXPECT_TRUE(Parse({"-V"}).options.version);
    // Unknown, not "needs a value", even as the last word.
    EXPECT_EQ(Parse({"--bogus"}).error, "unknown option --bogus");
    EXPECT_EQ(Parse({"-Z", "check"}).error, "unknown option -Z");
    EXPECT_EQ(Parse({"--chip"}).error, "--chip needs a value");
    EXPECT_EQ(Parse({"-q=1"}).error, "-q takes no value");
    EXPECT_EQ(Parse({"read", "save", "r.bin"}).error, "");
    EXPECT_EQ(Parse({"verify", "read"}).error, "verify needs an image: give open FILE first");
}

TEST(TerminalViewTest, ProgressGoesToTheTerminalOnlyWhenAskedFor) {
    std::ostringstream out;
    std::ostringstream err;
    {
        TerminalOutput output(out, err, true);
        TerminalView view(output);
        view.ShowProgress(true);
        view.SetProgressText("WRITING: 000F/0010");
        view.SetProgressPos(100);
        view.InsertStatusLine(0, "Programmer: Writing Done.");
        view.ShowMessage({"Please Select Programmer!"});
    }
    EXPECT_EQ(out.str(), "Programmer: Writing Done.\n");
    EXPECT_EQ(err.str(), "\rWRITING: 000F/0010 100%\033[K\r\033[KPlease Select Programmer!\n");

    std::ostringstream quietErr;
    TerminalOutput quietOutput(out, quietErr, false);
    TerminalView quiet(quietOutput);
    quiet.ShowProgress(true);
    quiet.SetProgressText("READING: 0000/0FFF");
    quiet.SetProgressPos(0);
    quiet.RepaintProgress();
    EXPECT_EQ(quietErr.str(), "");
}

TEST(TerminalViewTest, SitesShareTheStreamsLineByLineAndJsonThrottlesProgress) {
    std::ostringstream out;
    std::ostringstream err;
    SharedStreams streams(out, err);
    SiteOutput site(streams, "2 /dev/ttyUSB1");
    TerminalView siteView(site);
    siteView.InsertStatusLine(0, "Programmer: Erase Done.");
    siteView.ShowProgress(true);
    siteView.SetProgressPos(40);
    siteView.ShowMessage({"Please Select Chip!"});
    EXPECT_EQ(out.str(), "[2 /dev/ttyUSB1] Programmer: Erase Done.\n");
    EXPECT_EQ(err.str(), "[2 /dev/ttyUSB1] Please Select Chip!\n");

    std::ostringstream json;
    SharedStreams jsonStreams(json, err);
    JsonOutput jsonOutput(jsonStreams, 3, "3 simulated");
    TerminalView jsonView(jsonOutput);
    jsonView.InsertStatusLine(0, "Say \"ok\"");
    jsonView.ShowProgress(true);
    jsonView.SetProgressText("WRITING: 0000/1FFF");
    for (int percent = 1; percent <= 100; ++percent) {
        jsonView.SetProgressPos(percent);  // far quicker than one interval: one object only
    }
    EXPECT_EQ(json.str(), "{\"site\":3,\"line\":\"Say \\\"ok\\\"\"}\n"
                          "{\"site\":3,\"progress\":1,\"text\":\"WRITING: 0000/1FFF\"}\n");
}

TEST(TerminalViewTest, QuietKeepsTheLineThatEndedTheFirstFailure) {
    std::ostringstream out;
    std::ostringstream err;
    TerminalOutput output(out, err, true);
    TerminalView view(output, /*quiet=*/true);
    view.InsertStatusLines(0, {"    00001 - ADDR:0000  WRITE:11  READ:02"});
    view.InsertStatusLine(1, "Total 1 Bytes Wrong!");
    view.InsertStatusLine(2, "-------------------Verification Done------------------");
    view.NotifyFailure();
    view.InsertStatusLine(3, "Programmer: Ready.");
    view.NotifyFailure();
    view.ShowProgress(true);
    view.SetProgressPos(50);
    EXPECT_EQ(view.failureLine(), "Total 1 Bytes Wrong!");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
}

TEST(CliOptionsTest, ImageFormatAndChecksumOptions) {
    const ParsedCommandLine defaults = Parse({"open", "app.ihx", "write"});
    ASSERT_EQ(defaults.error, "");
    EXPECT_EQ(defaults.options.imageFiles.format, ImageFormat::ByName);
    EXPECT_FALSE(defaults.options.imageFiles.hex.ignoreChecksums);

    const ParsedCommandLine set = Parse({"--format", "HEX", "--ignore-checksums", "open", "app", "write"});
    ASSERT_EQ(set.error, "");
    EXPECT_EQ(set.options.imageFiles.format, ImageFormat::Hex);
    EXPECT_TRUE(set.options.imageFiles.hex.ignoreChecksums);
    EXPECT_EQ(Parse({"--format=bin"}).options.imageFiles.format, ImageFormat::Binary);

    EXPECT_EQ(Parse({"--format", "ihx"}).error, "--format takes hex or bin");
    EXPECT_EQ(Parse({"--format"}).error, "--format needs a value");
    EXPECT_EQ(Parse({"--ignore-checksums=yes"}).error, "--ignore-checksums takes no value");
    EXPECT_NE(UsageText().find("--format hex|bin"), std::string::npos);
    EXPECT_NE(UsageText().find("--ignore-checksums"), std::string::npos);
}

}  // namespace
}  // namespace korvan::testing
