#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "console/event_queue.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "programmers/programmer_factory.h"
#include "programmers/programmer_types.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::chrono::seconds kDeadline{10};

// The next event code, skipping messages; the results reported are taken as the console
// takes them. -1 when no code came before the deadline.
// The next report with an event code; the results before it go to `manager`.
std::optional<Report> NextCodedReport(EventQueue& queue, ProgrammerManager& manager) {
    const auto giveUp = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (std::optional<Report> report = queue.WaitPop(std::chrono::milliseconds(100))) {
            if (ReportCode(*report)) {
                return report;
            }
            manager.TakeResult(*report);
        }
    }
    return std::nullopt;
}

int NextEvent(EventQueue& queue, ProgrammerManager& manager) {
    const std::optional<Report> report = NextCodedReport(queue, manager);
    return report ? *ReportCode(*report) : -1;
}

class ProgrammerFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager.SetProgramDirectory(BuiltProgramDir());
        ASSERT_TRUE(manager.LoadChipList());
    }

    // A simulated programmer of any type with this chip in its socket.
    ProgrammerOptions Simulated(const std::string& chipName) {
        ProgrammerOptions options;
        options.programDir = BuiltProgramDir();
        options.adapterDir = BuiltProgramDir();
        options.simulate = true;
        const std::optional<std::size_t> index = manager.catalogue().FindByName(chipName);
        EXPECT_TRUE(index.has_value()) << chipName;
        chipIndex = static_cast<int>(index.value_or(0));
        options.simulatedChip = manager.catalogue()[index.value_or(0)];
        return options;
    }

    EventQueue queue;  // outlives the manager, whose back-end posts into it
    ProgrammerManager manager;
    int chipIndex = 0;
    TempDir dir;
};

// Both front ends name a run's port with this one label, and a job record keeps it.
TEST(PortLabelTest, NamesWhatEachProgrammerWorksThrough) {
    EXPECT_EQ(PortLabel(SerialProgrammerType, false, "", "/dev/ttyS3"), "/dev/ttyS3");
    EXPECT_EQ(PortLabel(SerialProgrammerType, false, "/dev/ttyUSB0", "/dev/ttyS3"), "/dev/ttyUSB0");
    EXPECT_EQ(PortLabel(SerialProgrammerType, true, "/dev/ttyUSB0", "/dev/ttyS3"), "simulated");
    for (int cable = 1; cable <= 3; ++cable) {
        EXPECT_EQ(PortLabel(cable, false, "", "/dev/ttyS0"), "parallel port");
        EXPECT_EQ(PortLabel(cable, false, "/dev/parport1", "/dev/ttyS0"), "/dev/parport1");
    }
    EXPECT_EQ(PortLabel(FtdiUsbType, false, "", "/dev/ttyS0"), "ftdi");
    EXPECT_EQ(PortLabel(FtdiUsbType, false, "ftdi:0403:6014", "/dev/ttyS0"), "ftdi:0403:6014");
    EXPECT_EQ(PortLabel(LinuxGpioType, false, "", "/dev/ttyS0"), "/dev/gpiochip0");
}

TEST_F(ProgrammerFactoryTest, EveryTypeHasANameAndBuildsOnItsSimulator) {
    for (const ProgrammerTypeInfo& info : kProgrammerTypes) {
        SCOPED_TRACE(info.title);
        EXPECT_EQ(ProgrammerTypeByName(info.commandName), info.type);
        EXPECT_EQ(FindProgrammerType(info.type), &info);

        ProgrammerFactory factory(Simulated(info.type == SerialProgrammerType ? "AT89C52" : "AT89S52"));
        ASSERT_EQ(factory.Prepare(), "");
        ASSERT_EQ(manager.Init(queue, info.type, 0, factory), 1);
        const bool serial = info.type == SerialProgrammerType;
        EXPECT_EQ(NextEvent(queue, manager), serial ? SerialInitDone : ParallelInitDone);
        EXPECT_EQ(IsIspCable(info.type) != IsIspAdapter(info.type), !serial);

        // Ready, and the simulated chip answers with its own signature.
        manager.CheckReady(chipIndex);
        EXPECT_EQ(NextEvent(queue, manager), ProgrammerReady);
        manager.ReadSignature(chipIndex);
        EXPECT_EQ(NextEvent(queue, manager), ChipIdentified);
        EXPECT_EQ(manager.catalogue()[static_cast<std::size_t>(manager.currentChipIndex())].name,
                  serial ? "AT89C52" : "AT89S52");

        manager.ShutdownBackend();
        factory.Finish();
        EXPECT_THAT(factory.errors(), ElementsAre());
    }
    EXPECT_EQ(ProgrammerTypeByName("Atmel-ByteBlaster"), 2);
    EXPECT_EQ(ProgrammerTypeByName("usb"), std::nullopt);
    EXPECT_EQ(ProgrammerTypeByName("GPIO"), 5);
    EXPECT_EQ(FindProgrammerType(6), nullptr);
}

TEST_F(ProgrammerFactoryTest, UnknownTypeGivesNoBackEndAndSaysWhy) {
    ProgrammerFactory factory(Simulated("AT89C52"));
    EXPECT_EQ(factory.Create(7), nullptr);
    EXPECT_THAT(factory.errors(), ElementsAre("there is no programmer type 7"));
}

// One chip-state file: what one adapter writes, another reads back, and a parallel cable too.
TEST_F(ProgrammerFactoryTest, AChipWrittenThroughOneAdapterReadsBackThroughTheOthers) {
    const auto runOn = [&](int type, bool write) {
        ProgrammerOptions options = Simulated("AT89S52");
        options.simulatedChipFile = dir.file("chip.sim");
        ProgrammerFactory factory(options);
        EXPECT_EQ(factory.Prepare(), "");
        EXPECT_EQ(manager.Init(queue, type, 2, factory), 1);
        EXPECT_EQ(NextEvent(queue, manager), ParallelInitDone);
        if (write) {
            for (std::size_t address = 0; address < 300; ++address) {
                manager.Buffer1()[address] = static_cast<std::uint8_t>(address * 11);
            }
            manager.WriteChip(chipIndex);
        } else {
            manager.keepLength = 1;
            manager.ReadChip(chipIndex);
        }
        int code = NextEvent(queue, manager);
        while (code == WritingProgress || code == ReadingProgress) {
            code = NextEvent(queue, manager);
        }
        manager.ShutdownBackend();
        factory.Finish();
        EXPECT_THAT(factory.errors(), ElementsAre());
        return code;
    };
    ASSERT_EQ(runOn(FtdiUsbType, true), WriteDone);
    for (const int type : {LinuxGpioType, AtmelByteBlasterType}) {
        std::fill(manager.Buffer2().begin(), manager.Buffer2().end(), 0xFF);
        ASSERT_EQ(runOn(type, false), ReadDone) << type;
        EXPECT_TRUE(std::equal(manager.Buffer1().begin(), manager.Buffer1().begin() + 300, manager.Buffer2().begin()))
            << type;
    }
}

TEST_F(ProgrammerFactoryTest, AnFtdiPortNameThatNamesNoDeviceIsRefused) {
    ProgrammerOptions options = Simulated("AT89S52");
    options.simulate = false;
    options.devicePath = "ftdi:zz:1";
    ProgrammerFactory factory(options);
    EXPECT_EQ(factory.Create(FtdiUsbType), nullptr);
    EXPECT_THAT(factory.errors(), ElementsAre("ftdi:zz:1 names no FTDI device: give ftdi, ftdi:SERIAL or "
                                              "ftdi:VID:PID[:SERIAL] (VID and PID in hex)"));
}

TEST_F(ProgrammerFactoryTest, PrepareRefusesWhatCannotBeUsedBeforeAnythingIsSent) {
    ProgrammerOptions unwritableLog = Simulated("AT89S52");
    unwritableLog.portLogPath = dir.file("no/such/dir/port.log");
    EXPECT_THAT(ProgrammerFactory(unwritableLog).Prepare(),
                HasSubstr("Cannot write the port log " + dir.file("no/such/dir/port.log") + ": No such file"));

    ProgrammerOptions chipFileIsADirectory = Simulated("AT89S52");
    std::filesystem::create_directory(dir.file("chip.sim"));
    chipFileIsADirectory.simulatedChipFile = dir.file("chip.sim");
    EXPECT_EQ(ProgrammerFactory(chipFileIsADirectory).Prepare(),
              "the simulated chip file " + dir.file("chip.sim") + " is not a regular file");
}

TEST_F(ProgrammerFactoryTest, PortLogRecordsTheCableOrReportsALostWrite) {
    // Identifies the chip on a cable logged to `logPath`; returns what the composition reported.
    const auto identifyLoggedTo = [&](const std::string& logPath) {
        ProgrammerOptions options = Simulated("AT89S52");
        options.portLogPath = logPath;
        ProgrammerFactory factory(options);
        EXPECT_EQ(factory.Prepare(), "");
        EXPECT_EQ(manager.Init(queue, FerrowIspType, 2, factory), 1);
        EXPECT_EQ(NextEvent(queue, manager), ParallelInitDone);
        manager.ReadSignature(chipIndex);
        EXPECT_EQ(NextEvent(queue, manager), ChipIdentified);
        manager.ShutdownBackend();
        factory.Finish();
        return factory.errors();
    };
    EXPECT_THAT(identifyLoggedTo(dir.file("port.log")), ElementsAre());
    EXPECT_THAT(dir.Read("port.log"), HasSubstr("W D 0x"));

    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    EXPECT_THAT(identifyLoggedTo("/dev/full"), ElementsAre(HasSubstr("Cannot write the port log /dev/full")));
}

TEST_F(ProgrammerFactoryTest, SerialDeviceServesEveryComPortWithTheGivenAnswerTimeouts) {
    // A pseudo-terminal nobody answers on.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ProgrammerOptions options;
    options.devicePath = ptsname(master);
    options.answerTimeouts = {std::chrono::milliseconds(200), std::chrono::milliseconds(400)};
    ProgrammerFactory factory(options);
    ASSERT_EQ(factory.Prepare(), "");
    manager.SetComPort(3);
    ASSERT_EQ(manager.Init(queue, SerialProgrammerType, 0, factory), 1);
    EXPECT_EQ(NextEvent(queue, manager), SerialInitDone);

    const auto asked = std::chrono::steady_clock::now();
    manager.CheckReady(0);
    EXPECT_EQ(NextEvent(queue, manager), DataReceivedError);
    // Well below the 3 s a command waits by default.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(2000));
    manager.ShutdownBackend();
    close(master);
}

TEST_F(ProgrammerFactoryTest, EachComPortOpensTheDeviceItIsMappedTo) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ProgrammerOptions options;
    options.comPortDevices = {dir.file("ttyUSB7"), "", ptsname(master), ""};
    ProgrammerFactory factory(options);

    manager.SetComPort(3);
    ASSERT_EQ(manager.Init(queue, SerialProgrammerType, 0, factory), 1);
    EXPECT_EQ(NextEvent(queue, manager), SerialInitDone);
    manager.ShutdownBackend();

    manager.SetComPort(1);
    manager.Init(queue, SerialProgrammerType, 0, factory);
    const std::optional<Report> failed = NextCodedReport(queue, manager);
    ASSERT_TRUE(failed.has_value());
    const Finished* ending = std::get_if<Finished>(&*failed);
    ASSERT_NE(ending, nullptr);
    EXPECT_EQ(ending->code, SerialInitFailed);
    EXPECT_THAT(ending->detail, HasSubstr("Cannot open " + dir.file("ttyUSB7") + " (COM1)"));
    manager.ShutdownBackend();

    // A device named for the run serves every COM number, whatever the map says.
    options.devicePath = ptsname(master);
    ProgrammerFactory overridden(options);
    ASSERT_EQ(manager.Init(queue, SerialProgrammerType, 0, overridden), 1);
    EXPECT_EQ(NextEvent(queue, manager), SerialInitDone);
    manager.ShutdownBackend();
    close(master);
}

}  // namespace
}  // namespace korvan::testing
