#include <gtest/gtest.h>

#include <vector>

#include "tests/isp/isp_rig.h"

namespace korvan::testing {
namespace {

const ChipRecord kChip = TestChips()[kS51];

// Default Ferrow map: RST pin 16 (control 0x04), LE pin 17 (control 0x08, inverted), OE pin 2 (data 0x01, enabled low).
TEST(SimulatedCable, FerrowLatchPassesLinesOnlyWhileLeIsEnabled) {
    sim::SimulatedParallelPort port(1, kFerrowDefaultMap, kChip);
    port.WriteControl(0x0C);  // RST high, LE low: held
    EXPECT_FALSE(port.target().inProgrammingMode());
    port.WriteControl(0x04);  // LE high: passes
    EXPECT_TRUE(port.target().inProgrammingMode());
    port.WriteControl(0x0C);
    port.WriteControl(0x08);  // RST low behind a closed latch
    EXPECT_TRUE(port.target().inProgrammingMode());
    port.WriteControl(0x00);
    EXPECT_FALSE(port.target().inProgrammingMode());
}

TEST(SimulatedCable, FerrowOutputBufferOffReleasesTheTarget) {
    sim::SimulatedParallelPort port(1, kFerrowDefaultMap, kChip);
    port.WriteControl(0x04);
    EXPECT_TRUE(port.target().inProgrammingMode());
    port.WriteData(0x01);  // OE at its disable level
    EXPECT_FALSE(port.target().inProgrammingMode());
    EXPECT_TRUE(port.PinLevel(2));
    port.WriteData(0x00);
    EXPECT_TRUE(port.target().inProgrammingMode());
}

TEST(SimulatedCable, ByteBlastersWireStraightThroughWithPortInversions) {
    sim::SimulatedParallelPort atmel(2, kAtmelByteBlasterMap, kChip);
    atmel.WriteControl(0x00);  // pin 17 high: RST high
    EXPECT_TRUE(atmel.target().inProgrammingMode());
    atmel.WriteControl(0x08);
    EXPECT_FALSE(atmel.target().inProgrammingMode());
    EXPECT_EQ(atmel.ReadStatus(), 0x78) << "idle inputs float high";

    sim::SimulatedParallelPort altera(3, kAlteraByteBlasterMap, kChip);
    altera.WriteData(0x02);  // pin 3: RST high
    EXPECT_TRUE(altera.target().inProgrammingMode());
    EXPECT_TRUE(altera.PinLevel(11));
    EXPECT_EQ(altera.ReadStatus() & 0x80, 0) << "pin 11 high reads as status bit 7 clear";
    EXPECT_EQ(altera.reads(), 1U);
    EXPECT_EQ(altera.writes(), 1U);
}

TEST(SimulatedChip, ProgrammingOnlyClearsBitsAndEraseSetsThemAgain) {
    IspRig rig({.logAccesses = false});
    IspAlgorithm& chip = *rig.programmer->FindAlgorithm(2);
    chip.EnterProgramming();
    EXPECT_EQ(chip.WriteByte(0xF0, 5), 1);
    EXPECT_EQ(chip.WriteByte(0x0F, 5), 0) << "a 0 bit cannot become 1 without an erase";
    EXPECT_EQ(rig.port->target().flash()[5], 0x00);
    chip.ChipErase();
    EXPECT_EQ(chip.ReadByte(5), 0xFF);
    EXPECT_EQ(rig.port->target().eraseCount(), 1);
    EXPECT_EQ(chip.WriteByte(0x0F, 5), 1);
    EXPECT_EQ(chip.ReadByte(4096 + 5), 0x0F) << "addresses wrap at the chip's size";
}

TEST(SimulatedChip, LockBitsBlockProgrammingThenReadingUntilErase) {
    IspRig rig({.logAccesses = false});
    IspAlgorithm& chip = *rig.programmer->FindAlgorithm(2);
    const std::vector<std::uint8_t> seed = {0x11, 0x22};
    rig.port->target().LoadFlash(0, seed);
    chip.EnterProgramming();
    chip.WriteLockLevel(1);
    EXPECT_EQ(chip.WriteByte(0x00, 0), 0);
    EXPECT_EQ(chip.ReadByte(1), 0x22);
    chip.EnterProgramming();
    chip.WriteLockLevel(2);
    EXPECT_EQ(chip.ReadByte(1), 0xFF);
    Signature signature{};
    chip.ReadSignatureBytes(signature);
    EXPECT_EQ(signature, kChip.signature);
    chip.ChipErase();
    EXPECT_EQ(rig.port->target().lockBits(), 0);
    EXPECT_EQ(chip.WriteByte(0x33, 1), 1);
}

TEST(SimulatedChip, FaultsShowAsTheHostWouldSeeThem) {
    {
        IspRig rig({.target = {.noChip = true}, .logAccesses = false});
        IspAlgorithm& chip = *rig.programmer->FindAlgorithm(2);
        chip.EnterProgramming();
        Signature signature{};
        chip.ReadSignatureBytes(signature);
        EXPECT_EQ(signature, (Signature{0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(chip.WriteByte(0x00, 0), 0);
        EXPECT_EQ(rig.port->target().flash()[0], 0xFF);
    }
    {
        IspRig rig({.target = {.failingAddress = 3}, .logAccesses = false});
        IspAlgorithm& chip = *rig.programmer->FindAlgorithm(2);
        chip.EnterProgramming();
        EXPECT_EQ(chip.WriteByte(0x12, 2), 1);
        EXPECT_EQ(chip.WriteByte(0x12, 3), 0);
        EXPECT_EQ(rig.port->target().flash()[3], 0xFF);
    }
}

TEST(SimulatedChip, ChipFileKeepsTheChipBetweenRuns) {
    TempDir keep;
    const std::string file = keep.file("chip.bin");
    {
        IspRig rig({.target = {.chipFile = file}, .logAccesses = false});
        IspAlgorithm& chip = *rig.programmer->FindAlgorithm(2);
        chip.EnterProgramming();
        chip.WriteByte(0xAB, 100);
        chip.WriteLockLevel(1);
        chip.ExitProgramming();
        EXPECT_TRUE(rig.port->target().chipFileError().empty());
    }
    IspRig again({.target = {.chipFile = file}, .logAccesses = false});
    EXPECT_EQ(again.port->target().chipFileError(), "");
    EXPECT_EQ(again.port->target().flash()[100], 0xAB);
    EXPECT_EQ(again.port->target().lockBits(), 0x01);

    keep.Write("short.bin", "abc");
    {
        IspRig damaged({.target = {.chipFile = keep.file("short.bin")}, .logAccesses = false});
        EXPECT_EQ(damaged.port->target().chipFileError(),
                  keep.file("short.bin") + " is not a simulated chip's state file; left untouched.");
        IspAlgorithm& chip = *damaged.programmer->FindAlgorithm(2);
        chip.EnterProgramming();
        chip.WriteByte(0x00, 0);
        chip.ExitProgramming();
    }
    EXPECT_EQ(keep.Read("short.bin"), "abc") << "a refused file is never written";
}

}  // namespace
}  // namespace korvan::testing
