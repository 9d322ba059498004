#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>

#include "tests/serial/serial_rig.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using std::chrono::milliseconds;
using Events = std::vector<int>;

constexpr std::uint8_t kCode4K = 0x21;

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + 3) % 251);
    }
    return bytes;
}

Events Repeat(int code, std::size_t times) { return Events(times, code); }

Events Concat(std::initializer_list<Events> parts) {
    Events all;
    for (const Events& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// --- Typical exchanges -------------------------------------------------------------------

TEST(SerialExchange, StartUpProbeIsAnsweredReady) {
    SerialRig rig;
    ASSERT_EQ(rig.Init(), 1);
    EXPECT_EQ(rig.events.Next(1), Events{SerialInitDone});
    EXPECT_FALSE(rig.programmer().ready());  // not ready until the probe is answered
    rig.manager.CheckReady(0);
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerReady});
    EXPECT_TRUE(rig.programmer().ready());
    const auto traffic = rig.sim.HostTraffic();
    ASSERT_EQ(traffic.size(), 1U);
    ExpectCommand(traffic[0], 0x00, kCode4K);
    EXPECT_TRUE(rig.messages.CaptionedTexts().empty());
}

TEST(SerialExchange, CheckIdentifiesTheChipInTheSocket) {
    SerialRig rig(1);  // the socket holds the 8 KiB chip
    rig.StartUp(0);
    rig.manager.ReadSignature(0);
    EXPECT_EQ(rig.events.Next(1), Events{ChipIdentified});
    EXPECT_EQ(rig.manager.signature(), (Signature{0x1E, 0x52, 0x06}));
    EXPECT_EQ(rig.manager.currentChipIndex(), 1);
    ExpectCommand(rig.sim.HostTraffic().at(0), 0x01, kCode4K);
}

TEST(SerialExchange, UnknownSignatureIsNotDetected) {
    SerialRig rig;
    rig.sim.Stop();
    ChipRecord stranger = TestChips()[0];
    stranger.signature = {0x12, 0x34, 0x56};
    sim::SimulatedSerialProgrammer other(stranger);
    ASSERT_TRUE(other.Start().ok);
    rig.factory.devices.Set(1, other.DevicePath());
    rig.StartUp();
    rig.manager.ReadSignature(0);
    EXPECT_EQ(rig.events.Next(1), Events{ChipNotDetected});
    EXPECT_EQ(rig.manager.signature(), (Signature{0x12, 0x34, 0x56}));
}

TEST(SerialExchange, EraseBlanksTheChip) {
    SerialRig rig(0, {.eraseDuration = milliseconds(200)});
    rig.sim.LoadFlash(Pattern(4096));
    rig.StartUp();
    const auto start = std::chrono::steady_clock::now();
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{EraseDone});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(190));
    const Bytes flash = rig.sim.Flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](auto b) { return b == 0xFF; }));
    ExpectCommand(rig.sim.HostTraffic().at(0), 0x02, kCode4K);
}

TEST(SerialExchange, WriteOf40BytesSendsThreeBlocksThenAProbe) {
    SerialRig rig;
    rig.StartUp();
    const Bytes data = Pattern(40);
    std::copy(data.begin(), data.end(), rig.manager.Buffer1().begin());
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(6),
              Concat({{WriteStarted}, Repeat(WritingProgress, 3), {WriteDone, ProgrammerReady}}));
    EXPECT_EQ(rig.manager.total, 40);
    EXPECT_EQ(rig.events.LastProgress(), (Progress{WritingProgress, 48, 40}));

    const auto traffic = rig.sim.HostTraffic();
    ASSERT_EQ(traffic.size(), 5U);
    ExpectCommand(traffic[0], 0x03, kCode4K);
    for (std::size_t block = 0; block < 3; ++block) {
        ExpectCommand(traffic[1 + block], 0x07, kCode4K);
        for (std::size_t i = 0; i < 16; ++i) {
            const std::size_t address = block * 16 + i;
            EXPECT_EQ(traffic[1 + block][2 + i], address < 40 ? data[address] : 0xFF);
        }
    }
    ExpectCommand(traffic[4], 0x00, kCode4K);
    const Bytes flash = rig.sim.Flash();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin()));
    EXPECT_EQ(flash[40], 0xFF);
}

TEST(SerialExchange, ReadOf4KiBChipTakes256Blocks) {
    SerialRig rig;
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.StartUp();
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(258),
              Concat({{ReadStarted}, Repeat(ReadingProgress, 256), {ReadDone}}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.manager.Buffer2().begin()));
    EXPECT_EQ(rig.manager.Buffer2()[4096], 0xFF);
    EXPECT_TRUE(rig.programmer().ready());

    const auto traffic = rig.WaitTraffic(258);
    ASSERT_EQ(traffic.size(), 258U);
    ExpectCommand(traffic[0], 0x04, kCode4K);
    EXPECT_TRUE(std::all_of(traffic.begin() + 1, traffic.end() - 1,
                            [](const Bytes& b) { return b == Bytes{0x01}; }));
    EXPECT_EQ(traffic.back(), Bytes{0x00});
}

TEST(SerialExchange, LockBitsCarryTheLevel) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.WriteLockBits(0, 2);
    EXPECT_EQ(rig.events.Next(1), Events{LockBitDone});
    const auto traffic = rig.sim.HostTraffic();
    ExpectCommand(traffic.at(0), 0x05, kCode4K);
    EXPECT_EQ(traffic[0][2], 2);
    EXPECT_EQ(rig.sim.lockLevel(), 2);
}

// --- Edge cases --------------------------------------------------------------------------

TEST(SerialEdge, BlankImageWritesNoBlockButStillProbes) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(3), (Events{WriteStarted, WriteDone, ProgrammerReady}));
    const auto traffic = rig.sim.HostTraffic();
    ASSERT_EQ(traffic.size(), 2U);
    ExpectCommand(traffic[0], 0x03, kCode4K);
    ExpectCommand(traffic[1], 0x00, kCode4K);
}

TEST(SerialEdge, SeventeenBytesTakeTwoBlocks) {
    SerialRig rig;
    rig.StartUp();
    const Bytes data = Pattern(17);
    std::copy(data.begin(), data.end(), rig.manager.Buffer1().begin());
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(5), (Events{WriteStarted, WritingProgress, WritingProgress,
                                          WriteDone, ProgrammerReady}));
    const auto traffic = rig.sim.HostTraffic();
    ASSERT_EQ(traffic.size(), 4U);
    EXPECT_EQ(traffic[2][2], data[16]);
    EXPECT_TRUE(std::all_of(traffic[2].begin() + 3, traffic[2].end(), [](auto b) { return b == 0xFF; }));
}

TEST(SerialEdge, VerifyAfterWriteReadsOnlyTheWrittenLength) {
    SerialRig rig;
    rig.StartUp();
    const Bytes data = Pattern(40);
    std::copy(data.begin(), data.end(), rig.manager.Buffer1().begin());
    rig.manager.WriteChip(0);
    ASSERT_EQ(rig.events.Next(6).back(), ProgrammerReady);
    rig.sim.ClearTraffic();
    rig.manager.keepLength = 1;
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(5), Concat({{ReadStarted}, Repeat(ReadingProgress, 3), {ReadDone}}));
    EXPECT_EQ(rig.WaitTraffic(5).size(), 5U);  // start, three requests, stop
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.manager.Buffer2().begin()));
    EXPECT_EQ(rig.manager.Buffer2()[48], 0xFF);
}

TEST(SerialEdge, NextCommandRightAfterWriteDoneIsAccepted) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.Buffer1()[0] = 0x00;
    rig.manager.WriteChip(0);
    ASSERT_EQ(rig.events.Next(3), (Events{WriteStarted, WritingProgress, WriteDone}));
    rig.manager.WriteLockBits(0, 3);  // as an Auto run goes on to Encrypt at once
    Events rest = rig.events.Next(1);
    if (rest == Events{ProgrammerReady}) {  // the probe's answer may come first or be purged
        rest = rig.events.Next(1);
    }
    EXPECT_EQ(rest, Events{LockBitDone});
    EXPECT_EQ(rig.sim.lockLevel(), 3);
}

TEST(SerialEdge, ProbeDuringADataPhaseIsRefusedAndTheReadGoesOn) {
    SerialRig rig(0, {.baud = 57600});  // paced: the read takes most of a second
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.StartUp();
    rig.manager.ReadChip(0);
    ASSERT_EQ(rig.events.Next(2), (Events{ReadStarted, ReadingProgress}));
    rig.manager.CheckReady(0);
    const Events rest = rig.events.Next(257);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), ProgrammerUnusable), 1);
    EXPECT_EQ(rest.back(), ReadDone);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.manager.Buffer2().begin()));
}

TEST(SerialEdge, StrayReadyReplyDuringAReadDoesNotLetACommandIn) {
    SerialRig rig;
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.sim.SetFaults({.dropReadBlock = 3, .dropReadBlockTimes = 1});  // a 500 ms gap
    rig.StartUp();
    rig.manager.ReadChip(0);
    ASSERT_EQ(rig.events.Next(4), Concat({{ReadStarted}, Repeat(ReadingProgress, 3)}));
    ASSERT_EQ(rig.WaitTraffic(5).size(), 5U);  // block 3 asked for: the worker waits for it
    rig.sim.SendRaw(Bytes(18, 0x00));
    ASSERT_EQ(rig.events.Next(1), Events{ProgrammerReady});
    rig.manager.EraseChip(0);
    const Events rest = rig.events.Next(255);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), ProgrammerUnusable), 1);
    EXPECT_EQ(rest.back(), ReadDone);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.manager.Buffer2().begin()));
    EXPECT_EQ(rig.sim.eraseCount(), 0);
}

TEST(SerialEdge, CommandBeforeFirstReadyIsRefused) {
    SerialRig rig;
    ASSERT_EQ(rig.Init(), 1);
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(2), (Events{SerialInitDone, ProgrammerUnusable}));
    EXPECT_TRUE(rig.sim.HostTraffic().empty());
}

TEST(SerialEdge, RetriedReadBlockIsStoredInPlace) {
    SerialRig rig;
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.sim.SetFaults({.dropReadBlock = 5, .dropReadBlockTimes = 1});
    rig.StartUp();
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(258).back(), ReadDone);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.manager.Buffer2().begin()));
    const auto traffic = rig.WaitTraffic(259);
    ASSERT_EQ(traffic.size(), 259U);
    EXPECT_EQ(traffic[6], Bytes{0x01});  // the request for block 5 ...
    EXPECT_EQ(traffic[7], Bytes{0xFF});  // ... asked again, not skipped
    EXPECT_EQ(traffic[8], Bytes{0x01});
}

TEST(SerialEdge, DataBlockReplyOutsideAReadIsIgnored) {
    SerialRig rig;
    rig.StartUp();
    Bytes stray(18, 0x00);
    stray[0] = 0x06;
    // A Ready reply behind it: whatever the stray block caused is posted before that.
    Bytes strayThenReady = stray;
    strayThenReady.resize(36, 0x00);
    rig.sim.SendRaw(strayThenReady);
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerReady});
    EXPECT_TRUE(rig.programmer().ready());
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{EraseDone});
}

TEST(SerialEdge, EmptyKeptLengthReadStopsTheProgrammerAndStaysUsable) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.keepLength = 1;
    rig.manager.total = 0;
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(2), (Events{ReadStarted, ReadDone}));
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{EraseDone});
}

TEST(SerialEdge, LockedChipRefusesProgrammingAndHidesItsContents) {
    SerialRig rig;
    rig.sim.LoadFlash(Pattern(4096));
    rig.sim.SetLockLevel(2);
    rig.StartUp();
    rig.manager.Buffer1()[0] = 0x00;
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(3), (Events{WriteStarted, ProgrammingError, ProgrammerReady}));
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(258).back(), ReadDone);
    EXPECT_TRUE(std::all_of(rig.manager.Buffer2().begin(), rig.manager.Buffer2().end(),
                            [](auto b) { return b == 0xFF; }));
}

// --- Failure table -----------------------------------------------------------------------

TEST(SerialFailure, MissingDeviceFailsInitAndEveryCommand) {
    SerialRig rig;
    rig.factory.devices.Set(1, "/dev/korvan-no-such-tty");
    EXPECT_EQ(rig.Init(), 0);
    EXPECT_EQ(rig.events.Next(1), Events{SerialInitFailed});
    EXPECT_NE(rig.events.DetailOf(SerialInitFailed).find("/dev/korvan-no-such-tty"), std::string::npos);
    EXPECT_NE(rig.events.DetailOf(SerialInitFailed).find("No such device"), std::string::npos);
    rig.manager.CheckReady(0);
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(2), (Events{SerialNotInitialized, SerialNotInitialized}));
    EXPECT_TRUE(rig.messages.CaptionedTexts().empty());
}

TEST(SerialFailure, BaudIndexOutsideTheTableLeavesThePortClosedSilently) {
    SerialRig rig;
    rig.manager.SetBaudIndex(4);
    EXPECT_EQ(rig.Init(), 0);
    rig.manager.ReadSignature(0);
    EXPECT_EQ(rig.events.Next(1), Events{SerialNotInitialized});  // the only event: none from Init
    EXPECT_EQ(rig.events.size(), 1U);
    EXPECT_TRUE(rig.sim.HostTraffic().empty());
    EXPECT_TRUE(rig.events.DetailOf(SerialInitFailed).empty());
}

TEST(SerialFailure, PortHeldByAnotherProgramIsBusy) {
    SerialRig rig;
    rig.StartUp();
    SerialRig second;
    second.factory.devices.Set(1, rig.sim.DevicePath());
    EXPECT_EQ(second.Init(), 0);
    EXPECT_EQ(second.events.Next(1), Events{SerialInitFailed});
    EXPECT_NE(second.events.DetailOf(SerialInitFailed).find("Another program holds the port"), std::string::npos);
}

TEST(SerialFailure, RegularFileIsNotASerialDevice) {
    TempDir dir;
    dir.Write("not-a-port", "data");
    SerialRig rig;
    rig.factory.devices.Set(1, dir.file("not-a-port"));
    EXPECT_EQ(rig.Init(), 0);
    EXPECT_EQ(rig.events.Next(1), Events{SerialInitFailed});
    EXPECT_NE(rig.events.DetailOf(SerialInitFailed).find("not a serial device"), std::string::npos);
}

TEST(SerialFailure, CommandWhileAnswerOutstandingSendsNothing) {
    SerialRig rig;
    rig.StartUp();
    rig.sim.SetFaults({.silent = true});
    rig.manager.ReadSignature(0);
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerUnusable});
    EXPECT_EQ(rig.WaitTraffic(1).size(), 1U);
}

TEST(SerialFailure, ShortReplyIsADataErrorAfterOneSecond) {
    SerialRig rig;
    rig.StartUp();
    rig.sim.SetFaults({.replyLength = 5});
    const auto start = std::chrono::steady_clock::now();
    rig.manager.ReadSignature(0);
    EXPECT_EQ(rig.events.Next(1), Events{DataReceivedError});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(950));
    EXPECT_LT(took, milliseconds(1800));
    EXPECT_FALSE(rig.programmer().ready());
    rig.manager.EraseChip(0);  // needs a probe first
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerUnusable});
    rig.sim.SetFaults({});
    rig.manager.CheckReady(0);
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerReady});
}

TEST(SerialFailure, LoneByteOutsideADataPhaseIsADataError) {
    SerialRig rig;
    rig.StartUp();
    rig.sim.SendRaw({0x01});
    EXPECT_EQ(rig.events.Next(1), Events{DataReceivedError});
    EXPECT_FALSE(rig.programmer().ready());
}

TEST(SerialFailure, UnansweredWriteBlockAbandonsTheWrite) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.Buffer1()[40] = 0x00;
    rig.sim.SetFaults({.silentWriteBlock = 1});
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(3), (Events{WriteStarted, WritingProgress, DataReceivedError}));
    EXPECT_EQ(rig.events.DetailOf(DataReceivedError), "The programmer gave no answer within 1000 ms.");
    EXPECT_TRUE(rig.programmer().ready());
    EXPECT_FALSE(rig.programmer().busy());
    EXPECT_EQ(rig.programmer().transport().replyLength(), 18U);  // back to whole frames
    EXPECT_EQ(rig.sim.HostTraffic().size(), 3U);  // start and two blocks, no probe
}

TEST(SerialFailure, GarbledWriteAnswerAbandonsTheWrite) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.Buffer1()[0] = 0x00;
    rig.sim.SetFaults({.garbleWriteBlock = 0});
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(2), (Events{WriteStarted, DataReceivedError}));
    EXPECT_EQ(rig.events.DetailOf(DataReceivedError), "");  // an answer came: nothing timed out
    EXPECT_TRUE(rig.programmer().ready());
}

TEST(SerialFailure, RejectedBlockProbesAndReportsProgrammingError) {
    SerialRig rig;
    rig.StartUp();
    rig.manager.Buffer1()[100] = 0x00;
    rig.sim.SetFaults({.rejectWriteBlock = 2});
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(5), (Events{WriteStarted, WritingProgress, WritingProgress,
                                          ProgrammingError, ProgrammerReady}));
    // The third block, from 0x0020 on, is the one refused.
    EXPECT_EQ(rig.events.DetailOf(ProgrammingError), "At 0x0020: the programmer refused the block of 16 bytes.");
    const auto traffic = rig.sim.HostTraffic();
    ASSERT_EQ(traffic.size(), 5U);
    ExpectCommand(traffic.back(), 0x00, kCode4K);
}

TEST(SerialFailure, TwiceMissingReadBlockStopsTheRead) {
    SerialRig rig;
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.sim.SetFaults({.dropReadBlock = 3, .dropReadBlockTimes = 2});
    rig.StartUp();
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(5), Concat({{ReadStarted}, Repeat(ReadingProgress, 3),
                                          {DataReceivedError}}));
    EXPECT_EQ(rig.events.DetailOf(DataReceivedError), "The programmer gave no answer within 500 ms.");
    const auto traffic = rig.WaitTraffic(7);  // start, four requests, a repeat, the stop
    ASSERT_EQ(traffic.size(), 7U);
    EXPECT_EQ((Bytes{traffic[traffic.size() - 3][0], traffic[traffic.size() - 2][0],
                     traffic.back()[0]}),
              (Bytes{0x01, 0xFF, 0x00}));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 48, rig.manager.Buffer2().begin()));
    EXPECT_EQ(rig.manager.Buffer2()[48], 0xFF);
    EXPECT_TRUE(rig.programmer().ready());
}

TEST(SerialFailure, BrokenReadBlockIsAskedForAgainAndStoredInPlace) {
    SerialRig rig;
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.sim.SetFaults({.breakReadBlock = 5});
    rig.StartUp();
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(258, std::chrono::seconds(10)),
              Concat({{ReadStarted}, Repeat(ReadingProgress, 256), {ReadDone}}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.manager.Buffer2().begin()));
    const auto traffic = rig.WaitTraffic(259);
    ASSERT_EQ(traffic.size(), 259U);
    EXPECT_EQ(traffic[6], Bytes{0x01});  // the request for block 5 ...
    EXPECT_EQ(traffic[7], Bytes{0xFF});  // ... answered cut short, so asked for again
    EXPECT_EQ(traffic[8], Bytes{0x01});
}

TEST(SerialFailure, BrokenReadBlockTwiceEndsTheReadOnceAndLeavesItReady) {
    SerialRig rig;
    const Bytes data = Pattern(4096);
    rig.sim.LoadFlash(data);
    rig.sim.SetFaults({.breakReadBlock = 3, .breakReadBlockTimes = 2});
    rig.StartUp();
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(5, std::chrono::seconds(10)),
              Concat({{ReadStarted}, Repeat(ReadingProgress, 3), {DataReceivedError}}));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 48, rig.manager.Buffer2().begin()));
    EXPECT_EQ(rig.manager.Buffer2()[48], 0xFF);
    // The second cut-short block is read after the worker gave up on it. It must neither
    // end the read a second time nor leave the back-end not ready.
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{EraseDone});
    const auto traffic = rig.WaitTraffic(8);
    ASSERT_EQ(traffic.size(), 8U);  // start, four requests, a repeat, the stop, the erase
    EXPECT_EQ((Bytes{traffic[4][0], traffic[5][0], traffic[6][0]}), (Bytes{0x01, 0xFF, 0x00}));
    ExpectCommand(traffic[7], 0x02, kCode4K);
}

TEST(SerialFailure, ErrorReplyIsAProgrammerError) {
    SerialRig rig;
    rig.StartUp();
    rig.sim.SetFaults({.errorReplyToCommand = 0x02});
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerError});
    EXPECT_TRUE(rig.programmer().ready());
}

TEST(SerialFailure, UnknownReplyMakesReadyWithoutAnEvent) {
    SerialRig rig;
    rig.StartUp();
    rig.sim.SetFaults({.replyCodeOverride = 0x42});
    rig.manager.EraseChip(0);
    ASSERT_TRUE(rig.WaitUntil([&] { return rig.programmer().ready(); }))
        << "the unknown reply did not make the back-end ready";
    rig.sim.SetFaults({});
    // Accepted only because the unknown reply made the back-end ready; an event of that
    // reply would have been posted before the answer to this command.
    rig.manager.ReadSignature(0);
    EXPECT_EQ(rig.events.Next(1), Events{ChipIdentified});
    EXPECT_EQ(rig.events.size(), 3U);
    EXPECT_EQ(rig.sim.eraseCount(), 1);
}

TEST(SerialFailure, SilentProgrammerTimesOutAndAProbeRecovers) {
    SerialRig rig(0, {}, {.command = milliseconds(300), .erase = milliseconds(600)});
    rig.StartUp();
    rig.sim.SetFaults({.silentToCommand = 0x02});
    const auto start = std::chrono::steady_clock::now();
    rig.manager.EraseChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{DataReceivedError});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(590));
    EXPECT_FALSE(rig.programmer().ready());
    rig.manager.CheckReady(0);
    EXPECT_EQ(rig.events.Next(1), Events{ProgrammerReady});
    // The answered probe leaves no deadline behind: none fires within twice its length.
    EXPECT_EQ(rig.events.Next(1, milliseconds(600)), Events{});
}

TEST(SerialFailure, TimeOutsSetAfterStartGovernTheNextCommand) {
    SerialRig rig(0, {}, {.command = milliseconds(300), .erase = milliseconds(300)});
    rig.StartUp();
    rig.sim.SetFaults({.silentToCommand = 0x01});
    auto start = std::chrono::steady_clock::now();
    rig.manager.ReadSignature(0);
    EXPECT_EQ(rig.events.Next(1), Events{DataReceivedError});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(290));

    rig.programmer().SetAnswerTimeouts({.command = milliseconds(1000), .erase = milliseconds(300)});
    rig.sim.SetFaults({.silentToCommand = 0x00});
    start = std::chrono::steady_clock::now();
    rig.manager.CheckReady(0);
    EXPECT_EQ(rig.events.Next(1), Events{DataReceivedError});
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(990));

    rig.sim.SetFaults({});
    rig.manager.CheckReady(0);
    ASSERT_EQ(rig.events.Next(1), Events{ProgrammerReady});
    // Write start may erase first: it waits the erase time-out, here the shorter one.
    rig.sim.SetFaults({.silentToCommand = 0x03});
    start = std::chrono::steady_clock::now();
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(1), Events{DataReceivedError});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, milliseconds(290));
    EXPECT_LT(waited, milliseconds(990));
}

TEST(SerialFailure, HangUpDuringWriteEndsInADataError) {
    SerialRig rig;
    rig.StartUp();
    std::fill_n(rig.manager.Buffer1().begin(), 1024, 0x00);
    rig.sim.SetFaults({.disconnectAfterBlocks = 10});
    rig.manager.WriteChip(0);
    const Events events = rig.events.Next(12);
    EXPECT_EQ(events, Concat({{WriteStarted}, Repeat(WritingProgress, 10), {DataReceivedError}}));
    EXPECT_TRUE(rig.sim.disconnected());
    // The monitor's read, or a write that met the hang-up first, shows the error box.
    const auto texts = rig.messages.CaptionedTexts();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
        return text.starts_with("Application Error|WARNING:  ") &&
               text.find("Input/output error\nPort: 1\n") != std::string::npos;
    }));
}

TEST(SerialFailure, HangUpDuringReadEndsInADataError) {
    SerialRig rig;
    rig.sim.SetFaults({.disconnectAfterBlocks = 20});
    rig.StartUp();
    rig.manager.ReadChip(0);
    EXPECT_EQ(rig.events.Next(22),
              Concat({{ReadStarted}, Repeat(ReadingProgress, 20), {DataReceivedError}}));
}

std::size_t ThreadsOfThisProcess() {
    const std::filesystem::path tasks("/proc/self/task");
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(tasks), {}));
}

TEST(SerialStop, StopDuringAWriteEndsEveryThreadAtOnceAndFreesThePort) {
    SerialRig rig(1);
    const std::size_t threadsBefore = ThreadsOfThisProcess();  // the simulator's included
    rig.StartUp(1);
    std::fill_n(rig.manager.Buffer1().begin(), 8192, 0x00);
    // Block 1 is never answered, so no answer is on its way when the stop comes.
    rig.sim.SetFaults({.silentWriteBlock = 1});
    rig.manager.WriteChip(1);
    ASSERT_EQ(rig.events.Next(2), (Events{WriteStarted, WritingProgress}));
    ASSERT_EQ(rig.WaitTraffic(3).size(), 3U);  // the worker waits for block 1's answer
    SerialProgrammer& programmer = rig.programmer();

    const auto start = std::chrono::steady_clock::now();
    programmer.Stop();
    // Well inside the second the worker would otherwise wait for the answer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(500));
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
    EXPECT_FALSE(rig.factory.createdPort->monitorRunning());
    EXPECT_FALSE(rig.factory.createdPort->isOpen());
    const std::size_t postedBeforeStopReturned = rig.events.size();
    programmer.Stop();
    programmer.CheckReady(0x22);  // a stopped back-end sends and posts nothing

    // The same device, at once, from a new back-end.
    RecordingEvents events;
    SerialFactory factory;
    factory.devices.Set(1, rig.sim.DevicePath());
    ProgrammerManager next;
    events.results = &next;
    next.catalogue().Parse(EncodeCatalogue(TestChips()));
    next.SetComPort(1);
    next.SetBaudIndex(3);
    ASSERT_EQ(next.Init(events, SerialProgrammerType, 0, factory), 1);
    next.CheckReady(0);
    EXPECT_EQ(events.Next(2), (Events{SerialInitDone, ProgrammerReady}));
    next.ReadChip(1);
    EXPECT_EQ(events.Next(514).back(), ReadDone);
    EXPECT_EQ(rig.events.size(), postedBeforeStopReturned);
    const auto traffic = rig.sim.HostTraffic();
    ASSERT_GT(traffic.size(), 3U);
    ExpectCommand(traffic[3], 0x00, kCode4K);  // after the two blocks, the new back-end's probe
    const auto& readBack = next.Buffer2();
    EXPECT_TRUE(std::all_of(readBack.begin(), readBack.begin() + 16, [](auto b) { return b == 0x00; }));
    EXPECT_TRUE(std::all_of(readBack.begin() + 16, readBack.begin() + 8192,
                            [](auto b) { return b == 0xFF; }));
}

TEST(SerialFailure, ShutdownDuringAReadJoinsPromptly) {
    auto rig = std::make_unique<SerialRig>(1, sim::SerialSimOptions{.baud = 9600});
    rig->StartUp();
    rig->manager.ReadChip(1);
    EXPECT_EQ(rig->events.Next(2), (Events{ReadStarted, ReadingProgress}));
    const auto start = std::chrono::steady_clock::now();
    rig->manager.ShutdownBackend();
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1500));
    rig.reset();
}

}  // namespace
}  // namespace korvan::testing
