// The bit-banged adapters on their twins: the wiring file, the wire decoded back into
// instructions, the batching that saves round trips, the diagnostics, and the real libftdi
// and libgpiod paths as far as a machine without the hardware goes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "data/read_file.h"
#include "isp/libftdi_device.h"
#include "isp/libgpiod_chip.h"
#include "tests/isp/adapter_rig.h"

namespace korvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Codes = std::vector<int>;

IspInstruction Instruction(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) { return {a, b, c, d}; }

std::size_t CountOpcode(const std::vector<IspInstruction>& instructions, std::uint8_t opcode) {
    return static_cast<std::size_t>(std::count_if(instructions.begin(), instructions.end(),
                                                  [&](const IspInstruction& i) { return i[0] == opcode; }));
}

TEST(AdapterWiring, DefaultsNamesAndLevelsFromTheFile) {
    TempDir dir;
    EXPECT_EQ(LoadAdapterWiring(AdapterKind::Ftdi, dir.dir()).wiring, kFtdiDefaultWiring);
    EXPECT_EQ(LoadAdapterWiring(AdapterKind::Gpio, dir.dir()).wiring, kGpioDefaultWiring);

    dir.Write(kAdapterIniName,
              "[FTDI]\nMOSI=ADBUS5\nMISO=d6\nSCK=7\nRST Level=0\n"
              "[GPIO]\nMOSI=GPIO20\nMISO = 19 \nSCK=21\nRST=4\nMISO Level=0\n");
    const LoadedWiring ftdi = LoadAdapterWiring(AdapterKind::Ftdi, dir.dir());
    ASSERT_TRUE(ftdi.usable()) << ftdi.faults.front();
    EXPECT_EQ(ftdi.wiring, (AdapterWiring{.mosi = {5, 1}, .miso = {6, 1}, .sck = {7, 1}, .rst = {4, 0}}));
    const LoadedWiring gpio = LoadAdapterWiring(AdapterKind::Gpio, dir.dir());
    ASSERT_TRUE(gpio.usable()) << gpio.faults.front();
    EXPECT_EQ(gpio.wiring, (AdapterWiring{.mosi = {20, 1}, .miso = {19, 0}, .sck = {21, 1}, .rst = {4, 1}}));
}

TEST(AdapterWiring, TheExampleFileShippedIsTheDefaults) {
    TempDir dir;
    dir.Write(kAdapterIniName, ReadWholeFile(std::string(KORVAN_SOURCE_DIR) + "docs/IspAdapters.ini").text);
    const LoadedWiring ftdi = LoadAdapterWiring(AdapterKind::Ftdi, dir.dir());
    const LoadedWiring gpio = LoadAdapterWiring(AdapterKind::Gpio, dir.dir());
    EXPECT_TRUE(ftdi.usable() && gpio.usable());
    EXPECT_EQ(ftdi.wiring, kFtdiDefaultWiring);
    EXPECT_EQ(gpio.wiring, kGpioDefaultWiring);
}

TEST(AdapterWiring, EveryFaultNamesFileKeyAndValue) {
    TempDir dir;
    dir.Write(kAdapterIniName, "[FTDI]\nMOSI=D8\nSCK Level=2\nRST=D1\n[GPIO]\nSCK=GPIO-3\n");
    const LoadedWiring ftdi = LoadAdapterWiring(AdapterKind::Ftdi, dir.dir());
    const std::string path = dir.file(kAdapterIniName);
    EXPECT_THAT(ftdi.faults,
                ::testing::ElementsAre(path + ": [FTDI] MOSI=D8 is not a pin D0 to D7 (ADBUS0 to ADBUS7).",
                                       path + ": [FTDI] SCK Level=2 is not a level (0 low, 1 high).",
                                       path + ": [FTDI] MISO and RST are both on D1."));
    const LoadedWiring gpio = LoadAdapterWiring(AdapterKind::Gpio, dir.dir());
    EXPECT_THAT(gpio.faults, ::testing::ElementsAre(path + ": [GPIO] SCK=GPIO-3 is not a GPIO line offset (0 or more)."));
}

TEST(AdapterWiring, UnusableWiringFailsInitWithABoxAndDrivesNothing) {
    AdapterRig rig({.ini = "[FTDI]\nMISO=D0\n"});
    EXPECT_EQ(rig.initResult, 0);
    EXPECT_EQ(rig.events.Codes(), Codes{ParallelInitFailed});
    const std::vector<Message> shown = rig.messages.Messages();
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown[0].text, "The wiring in IspAdapters.ini cannot be used.");
    EXPECT_THAT(shown[0].detail, HasSubstr("[FTDI] MOSI and MISO are both on D0."));
    EXPECT_EQ(rig.ftdi->roundTrips, 0U);
    rig.manager.ReadSignature(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ProgrammerUnusable));
}

TEST(FtdiAdapter, TheWireCarriesEachInstructionInOneRoundTrip) {
    AdapterRig rig;
    ASSERT_EQ(rig.initResult, 1);
    const std::uint64_t afterInit = rig.ftdi->roundTrips;
    rig.manager.ReadSignature(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ChipIdentified));
    rig.programmer->WaitForWorker();
    EXPECT_EQ(rig.Instructions(),
              (std::vector<IspInstruction>{Instruction(0xAC, 0x53, 0, 0), Instruction(0x28, 0, 0, 0),
                                           Instruction(0x28, 1, 0, 0), Instruction(0x28, 2, 0, 0)}));
    // Four line changes to enter, four instructions, three line changes to leave.
    EXPECT_EQ(rig.ftdi->roundTrips - afterInit, 4U + 4U + 3U);
    EXPECT_THAT(rig.manager.enableAnswer(), ::testing::EndsWith(" ac 53 69"));
}

TEST(FtdiAdapter, ReadsTakeFortyBytesToARoundTrip) {
    AdapterRig rig;
    std::vector<std::uint8_t> contents(8192);
    for (std::size_t i = 0; i < contents.size(); ++i) {
        contents[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    }
    rig.target->LoadFlash(0, contents);
    const std::uint64_t before = rig.ftdi->roundTrips;
    rig.manager.ReadChip(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ReadDone));
    rig.programmer->WaitForWorker();
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), rig.manager.Buffer2().begin()));
    // Entering (four line changes and Programming Enable), 205 batches, leaving.
    EXPECT_EQ(rig.ftdi->roundTrips - before, 4U + 1U + (8192U + 39U) / 40U + 3U);
    const std::vector<int> codes = rig.events.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), ReadingProgress), (8192 + 14) / 15);
}

TEST(FtdiAdapter, WritesGoOutWithTheirReadBacksThirteenToARoundTrip) {
    AdapterRig rig;
    FillPattern(rig.manager, 600);
    const std::uint64_t before = rig.ftdi->roundTrips;
    rig.manager.WriteChip(kS52);
    ASSERT_TRUE(rig.events.WaitFor(WriteDone));
    rig.programmer->WaitForWorker();
    EXPECT_TRUE(std::equal(rig.manager.Buffer1().begin(), rig.manager.Buffer1().begin() + 600, rig.target->flash().begin()));
    const std::vector<IspInstruction> wire = rig.Instructions();
    EXPECT_EQ(CountOpcode(wire, 0x40), 600U) << "no byte written twice";
    EXPECT_EQ(CountOpcode(wire, 0x20), 1200U) << "two read-backs span a write cycle at 200,000 bytes a second";
    // Entering twice (the run, then the write), 47 batches, leaving.
    EXPECT_EQ(rig.ftdi->roundTrips - before, 4U + 1U + 4U + 1U + (600U + 12U) / 13U + 3U);
}

TEST(FtdiAdapter, AByteNoReadBackConfirmsIsWrittenAgainAloneBeforeTheRunFails) {
    AdapterRig rig({.target = {.failingAddress = 13}});
    FillPattern(rig.manager, 40);
    rig.manager.WriteChip(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ProgrammingError));
    rig.programmer->WaitForWorker();
    const std::vector<IspInstruction> wire = rig.Instructions();
    EXPECT_EQ(std::count(wire.begin(), wire.end(), Instruction(0x40, 0, 13, rig.manager.Buffer1()[13])), 2);
    const auto readsOf13 = std::count_if(wire.begin(), wire.end(),
                                         [](const IspInstruction& i) { return i[0] == 0x20 && i[2] == 13; });
    EXPECT_EQ(readsOf13, 2 + kWritePollLimit);
    EXPECT_EQ(CountOpcode(wire, 0x40), 13U + 13U + 1U) << "bytes 0..12, 13..25, then 13 alone";
}

TEST(FtdiAdapter, NoEchoEndsTheRunWithWhatToCheckAndTheBytesReceived) {
    // MOSI and MISO swapped in the cable.
    AdapterWiring swapped = kFtdiDefaultWiring;
    std::swap(swapped.mosi, swapped.miso);
    AdapterRig rig({.cable = swapped});
    rig.manager.EraseChip(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ProgrammerError));
    rig.programmer->WaitForWorker();
    EXPECT_EQ(rig.events.Codes(), (Codes{ParallelInitDone, ProgrammerError}));
    EXPECT_THAT(rig.events.DetailOf(ProgrammerError),
                StartsWith("The target did not answer Programming Enable. Check, in this order: the target's power; "
                           "its oscillator"));
    EXPECT_NE(rig.manager.enableAnswer(), "00 ac 53 69");
    EXPECT_EQ(rig.target->eraseCount(), 0);
    EXPECT_FALSE(rig.target->inProgrammingMode());
}

TEST(FtdiAdapter, TheResetLevelComesFromTheWiring) {
    AdapterRig inverted({.ini = "[FTDI]\nRST Level=0\n"});
    inverted.manager.ReadSignature(kS52);
    ASSERT_TRUE(inverted.events.WaitFor(ChipIdentified));

    // The program thinks RST is inverted; the cable is straight.
    AdapterRig mismatched({.ini = "[FTDI]\nRST Level=0\n", .cable = kFtdiDefaultWiring});
    mismatched.manager.ReadSignature(kS52);
    ASSERT_TRUE(mismatched.events.WaitFor(ProgrammerError));
}

TEST(FtdiAdapter, ThePortLogHoldsEveryExchangeBothWays) {
    AdapterRig rig;
    rig.manager.ReadSignature(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ChipIdentified));
    rig.programmer->WaitForWorker();
    std::istringstream log(rig.log->str());
    std::size_t out = 0;
    std::size_t in = 0;
    for (std::string line; std::getline(log, line);) {
        out += line.starts_with("FTDI > ") ? 1 : 0;
        in += line.starts_with("FTDI < ") ? 1 : 0;
    }
    EXPECT_EQ(out, rig.ftdi->roundTrips);
    EXPECT_EQ(in, out);
    // Programming Enable: 64 bytes, and one more for the last sample.
    // Programming Enable's first byte, 0xAC, on MOSI (D0) with SCK (D3) and RST (D4).
    EXPECT_THAT(rig.log->str(), HasSubstr("FTDI > 11 19 10 18 11 19 10 18 11 19 11 19 10 18 10 18 "));
}

TEST(GpioAdapter, TheLinesCarryTheInstructionsAtNinetySevenCallsEach) {
    AdapterRig rig({.kind = AdapterKind::Gpio, .chip = kS51});
    ASSERT_EQ(rig.initResult, 1);
    std::vector<std::uint8_t> contents(4096, 0x5A);
    rig.target->LoadFlash(0, contents);
    rig.manager.ReadSignature(kS51);
    ASSERT_TRUE(rig.events.WaitFor(ChipIdentified));
    rig.programmer->WaitForWorker();
    EXPECT_EQ(rig.manager.signature(), (Signature{0x1E, 0x51, 0x06}));
    EXPECT_EQ(rig.Instructions().front(), Instruction(0xAC, 0x53, 0, 0));

    const std::uint64_t before = rig.gpio->systemCalls;
    rig.manager.ReadChip(kS51);
    ASSERT_TRUE(rig.events.WaitFor(ReadDone));
    rig.programmer->WaitForWorker();
    EXPECT_EQ(rig.manager.Buffer2()[4095], 0x5A);
    // Per instruction: each of 32 bits sets SCK low with MOSI, sets SCK high, reads MISO;
    // then SCK low, which the next instruction's first bit (0 in Read Code Byte) keeps.
    const std::uint64_t calls = rig.gpio->systemCalls - before;
    EXPECT_EQ(calls / 4096, 96U) << calls;
    EXPECT_THAT(rig.log->str(), HasSubstr("GPIO set 10=0 11=1 25=1\nGPIO get 9=1\n"));
}

TEST(GpioAdapter, WritesPollUntilTheChipAnswers) {
    AdapterRig rig({.kind = AdapterKind::Gpio, .chip = kS51});
    FillPattern(rig.manager, 100);
    rig.manager.WriteChip(kS51);
    ASSERT_TRUE(rig.events.WaitFor(WriteDone));
    rig.programmer->WaitForWorker();
    EXPECT_TRUE(std::equal(rig.manager.Buffer1().begin(), rig.manager.Buffer1().begin() + 100, rig.target->flash().begin()));
    const std::vector<IspInstruction> wire = rig.Instructions();
    EXPECT_EQ(CountOpcode(wire, 0x40), 100U);
    // 422 us of write cycle at 97 calls of 2 us per read-back: the third one answers.
    EXPECT_EQ(CountOpcode(wire, 0x20), 300U);
}

TEST(GpioAdapter, AnEmptySocketGetsNoEcho) {
    AdapterRig rig({.kind = AdapterKind::Gpio, .target = {.noChip = true}});
    rig.manager.ReadSignature(kS52);
    ASSERT_TRUE(rig.events.WaitFor(ProgrammerError));
    rig.programmer->WaitForWorker();
    EXPECT_EQ(rig.manager.enableAnswer(), "ff ff ff ff");
}

TEST(AdapterDevices, PortNamesChooseTheFtdiDevice) {
    const std::optional<FtdiSelector> first = ParseFtdiPort("ftdi");
    ASSERT_TRUE(first);
    EXPECT_EQ(DescribeSelector(*first), "0403:6001/6010/6011/6014");
    const std::optional<FtdiSelector> serial = ParseFtdiPort("ftdi:A50285BI");
    ASSERT_TRUE(serial);
    EXPECT_EQ(DescribeSelector(*serial), "0403:6001/6010/6011/6014, serial A50285BI");
    const std::optional<FtdiSelector> ids = ParseFtdiPort("ftdi:403:6015:X1");
    ASSERT_TRUE(ids);
    EXPECT_EQ(DescribeSelector(*ids), "0403:6015, serial X1");
    EXPECT_FALSE(ParseFtdiPort("ftdi:0403:60g1"));
    EXPECT_FALSE(ParseFtdiPort("/dev/ttyUSB0"));
    EXPECT_FALSE(ParseFtdiPort("ftdi:1:2:3:4"));
}

TEST(AdapterDevices, AMissingDeviceSaysWhatWasLookedForAndWhatToCheck) {
    LibftdiDevice ftdi(*ParseFtdiPort("ftdi:1d50:6015:NOSUCH"));
    const std::string failure = ftdi.Open(0x19);
    EXPECT_THAT(failure, StartsWith("No FTDI device 1d50:6015, serial NOSUCH could be opened ("));
    EXPECT_THAT(failure, HasSubstr("cable is plugged in, that the ftdi_sio driver does not hold it, that the udev rule "
                                   "60-korvan-ftdi.rules is installed and that you are in the plugdev group."));
    std::array<std::uint8_t, 2> in{};
    EXPECT_FALSE(ftdi.Exchange(std::array<std::uint8_t, 2>{1, 2}, in));

    TempDir dir;
    LibgpiodChip missing(dir.file("gpiochip7"));
    EXPECT_EQ(missing.Open({10, 11, 25}, {}, 9), "The GPIO chip " + dir.file("gpiochip7") +
                                                     " cannot be opened: No such file or directory: check the name "
                                                     "(korvan-cli --list-ports lists the chips) and that you are in "
                                                     "the gpio group.");
    EXPECT_EQ(missing.GetInput(), -1);

    sim::SimulatedGpioChip twin(kGpioDefaultWiring, TestChips()[kS51]);
    EXPECT_EQ(twin.Open({10, 11, 60}, {}, 9),
              "The GPIO chip simulated gpiochip has no line 60 (it has 54): check the wiring in IspAdapters.ini.");
}

TEST(AdapterDevices, AFailedOpenShowsItsBoxAndTheLine) {
    TempDir dir;
    RecordingEvents events;
    RecordingMessages messages;
    events.messages = &messages;
    ProgrammerManager manager;
    manager.SetProgramDirectory(dir.dir());
    auto lines = std::make_unique<BitBangLines>(AdapterKind::Gpio,
                                                std::make_unique<GpioBank>(std::make_unique<LibgpiodChip>(dir.file("gpiochip0"))));
    OneBackendFactory factory(std::make_unique<IspProgrammer>(std::move(lines)));
    EXPECT_EQ(manager.Init(events, LinuxGpioType, 2, factory), 0);
    EXPECT_EQ(events.Codes(), Codes{ParallelInitFailed});
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Initialize GPIO Lines Failed!"});
    EXPECT_THAT(events.DetailOf(ParallelInitFailed), StartsWith("The GPIO chip " + dir.file("gpiochip0") + " cannot be opened"));
    EXPECT_TRUE(ListGpioChips(dir.dir()).empty());
}

}  // namespace
}  // namespace korvan::testing
