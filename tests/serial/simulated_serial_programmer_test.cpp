#include <gtest/gtest.h>

#include <algorithm>

#include "tests/serial/serial_rig.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using Events = std::vector<int>;

TEST(SimulatedSerialProgrammer, ChipWrittenInOneRunReadsBackInTheNext) {
    TempDir dir;
    const std::string chipFile = dir.file("chip.bin");
    {
        SerialRig rig(0, {.chipFile = chipFile});
        rig.StartUp();
        rig.manager.Buffer1()[0] = 0x12;
        rig.manager.Buffer1()[4095] = 0x34;
        rig.manager.WriteChip(0);
        ASSERT_EQ(rig.events.Next(259).back(), ProgrammerReady);
        rig.manager.WriteLockBits(0, 1);
        ASSERT_EQ(rig.events.Next(1), Events{LockBitDone});
    }
    sim::SimulatedSerialProgrammer reopened(TestChips()[0], {.chipFile = chipFile});
    ASSERT_TRUE(reopened.Start().ok);
    const Bytes flash = reopened.Flash();
    EXPECT_EQ(flash[0], 0x12);
    EXPECT_EQ(flash[1], 0xFF);
    EXPECT_EQ(flash[4095], 0x34);
    EXPECT_EQ(reopened.lockLevel(), 1);
}

TEST(SimulatedSerialProgrammer, RefusesAChipFileOfAnotherChipOrFormat) {
    TempDir dir;
    const std::string chipFile = dir.file("chip.bin");
    {
        sim::SimulatedSerialProgrammer small(TestChips()[0], {.chipFile = chipFile});
        ASSERT_TRUE(small.Start().ok);
        small.LoadFlash(Bytes{0x00});
    }
    sim::SimulatedSerialProgrammer large(TestChips()[1], {.chipFile = chipFile});
    const sim::SimResult started = large.Start();
    EXPECT_FALSE(started.ok);
    EXPECT_NE(started.message.find("4096 bytes, not 8192"), std::string::npos);
    // As `--simulate=app.hex` would name it: refused, and the image kept as it was.
    dir.Write("app.hex", ":0100000000FF\n:00000001FF\n");
    sim::SimulatedSerialProgrammer image(TestChips()[0], {.chipFile = dir.file("app.hex")});
    EXPECT_EQ(image.Start().message, dir.file("app.hex") +
                                         " is an Intel HEX file, not a simulated chip's state; left untouched.");
    EXPECT_TRUE(image.Stop().ok);
    EXPECT_EQ(dir.Read("app.hex"), ":0100000000FF\n:00000001FF\n");
}

TEST(SimulatedSerialProgrammer, ProgrammingOnlyClearsBitsAndIsVerified) {
    SerialRig rig;
    Bytes programmed(16, 0x0F);
    rig.sim.LoadFlash(programmed);
    rig.StartUp();
    rig.manager.Buffer1()[0] = 0xF0;  // needs bits set back to 1: only an erase does that
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(3), (Events{WriteStarted, ProgrammingError, ProgrammerReady}));
    EXPECT_EQ(rig.sim.Flash()[0], 0x00);
    rig.manager.EraseChip(0);
    ASSERT_EQ(rig.events.Next(1), Events{EraseDone});
    rig.manager.WriteChip(0);
    EXPECT_EQ(rig.events.Next(4),
              (Events{WriteStarted, WritingProgress, WriteDone, ProgrammerReady}));
    EXPECT_EQ(rig.sim.Flash()[0], 0xF0);
    EXPECT_EQ(rig.sim.eraseCount(), 1);
}

TEST(SimulatedSerialProgrammer, PacedRepliesTakeTheirLineTime) {
    SerialRig rig(0, {.baud = 9600});
    rig.StartUp();
    const auto start = std::chrono::steady_clock::now();
    rig.manager.CheckReady(0);
    ASSERT_EQ(rig.events.Next(1), Events{ProgrammerReady});
    // 18 bytes of 10 bits at 9600 baud: 18.75 ms.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(18));
}

}  // namespace
}  // namespace korvan::testing
