#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/isp/isp_rig.h"

namespace korvan::testing {
namespace {

using Lines = std::vector<std::string>;
using Instruction = std::array<std::uint8_t, 4>;

IspAlgorithm& AlgorithmOf(IspRig& rig) {
    IspAlgorithm* algorithm = rig.programmer->FindAlgorithm(kIsp4ByteAlgorithmCode);
    EXPECT_NE(algorithm, nullptr);
    return *algorithm;
}

std::uint8_t LogValue(const std::string& line) { return static_cast<std::uint8_t>(std::stoul(line.substr(4), nullptr, 16)); }

TEST(IspLineLayer, LatchWritesFollowEachLineChangeByDownloadSpeed) {
    const std::array<Lines, 3> sckLow = {{
        {"W C 0x01", "W C 0x01", "W C 0x09"},  // Normal: LE enable, then disable
        {"W C 0x01", "W C 0x01"},              // Fast: LE enable
        {"W C 0x01"},                          // Fastest: none
    }};
    const std::array<Lines, 3> misoRead = {{
        {"W C 0x01", "W C 0x09", "R S 0x78"},
        {"W C 0x01", "R S 0x78"},
        {"R S 0x78"},
    }};
    for (int speed = 0; speed < 3; ++speed) {
        IspRig rig({.programmerType = 1, .speed = speed});
        EXPECT_EQ(rig.TakeLog(), Lines{"W C 0x00"}) << "Init drives LE (pin 17) high once";
        rig.lines->SetSck(0);
        EXPECT_EQ(rig.TakeLog(), sckLow[static_cast<std::size_t>(speed)]) << speed;
        EXPECT_NE(rig.lines->ReadMiso(), 0);
        EXPECT_EQ(rig.TakeLog(), misoRead[static_cast<std::size_t>(speed)]) << speed;
    }
}

TEST(IspLineLayer, UnknownSpeedsBehaveAsNormal) {
    IspRig rig({.programmerType = 1, .speed = 7});
    rig.TakeLog();
    rig.lines->SetMosi(0);
    EXPECT_EQ(rig.TakeLog().size(), 3U);
}

TEST(IspLineLayer, AFourByteInstructionCosts132_264Or396Accesses) {
    const std::array<std::size_t, 3> expected = {396, 264, 132};
    for (int type = 1; type <= 3; ++type) {
        for (int speed = 0; speed < 3; ++speed) {
            IspRig rig({.programmerType = type, .speed = speed});
            AlgorithmOf(rig).EnterProgramming();
            rig.TakeLog();
            AlgorithmOf(rig).ReadByte(0);
            const Lines lines = rig.TakeLog();
            EXPECT_EQ(lines.size(), expected[static_cast<std::size_t>(speed)]) << type << "/" << speed;
            const auto reads = std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] == 'R'; });
            EXPECT_EQ(reads, 32) << "one status read per bit, nothing else is read";
        }
    }
}

// Atmel ByteBlaster: MOSI is data bit 0, SCK is pin 1 (control bit 0, inverted).
TEST(IspLineLayer, TransferShiftsMsbFirstAndSamplesMisoWhileSckIsHigh) {
    IspRig rig({.programmerType = 2, .speed = 2});
    AlgorithmOf(rig).EnterProgramming();
    rig.TakeLog();
    auto& transmit = rig.lines->transmitBuffer();
    transmit = {0x28, 0x01, 0x00, 0x00};
    rig.lines->Transfer(4);

    std::uint8_t data = 0;
    bool sckHigh = false;
    std::vector<int> mosiAtRisingEdge;
    for (const std::string& line : rig.TakeLog()) {
        if (line.starts_with("W D")) {
            EXPECT_FALSE(sckHigh) << "MOSI changes only while SCK is low";
            data = LogValue(line);
        } else if (line.starts_with("W C")) {
            const bool high = (LogValue(line) & 0x01) == 0;
            if (high && !sckHigh) {
                mosiAtRisingEdge.push_back(data & 0x01);
            }
            sckHigh = high;
        } else {
            EXPECT_TRUE(sckHigh) << "MISO is sampled after the rising edge";
        }
    }
    EXPECT_FALSE(sckHigh) << "SCK rests low after the transfer";
    ASSERT_EQ(mosiAtRisingEdge.size(), 32U);
    std::array<std::uint8_t, 4> sent{};
    for (std::size_t bit = 0; bit < 32; ++bit) {
        sent[bit / 8] = static_cast<std::uint8_t>((sent[bit / 8] << 1) | mosiAtRisingEdge[bit]);
    }
    EXPECT_EQ(sent, (std::array<std::uint8_t, 4>{0x28, 0x01, 0x00, 0x00}));
    const auto& receive = rig.lines->receiveBuffer();
    EXPECT_EQ(receive[1], 0x28);  // the chip echoes the previous byte
    EXPECT_EQ(receive[2], 0x01);
    EXPECT_EQ(receive[3], 0x51);
}

TEST(IspLineLayer, TransferIsBoundToTheBuffers) {
    IspRig rig({.programmerType = 1, .speed = 2});
    rig.TakeLog();
    rig.lines->Transfer(50);
    EXPECT_EQ(rig.TakeLog().size(), 10U * 33U);
    rig.lines->Transfer(-1);
    EXPECT_TRUE(rig.TakeLog().empty());
}

TEST(Isp4ByteAlgorithm, InstructionBytesWithKeptBytesStartingAtZero) {
    IspRig rig({.programmerType = 1, .speed = 2, .target = {.writeCycleReads = 0}});
    IspAlgorithm& algorithm = AlgorithmOf(rig);
    const auto& sent = rig.port->target().instructions();

    algorithm.EnterProgramming();
    EXPECT_EQ(rig.sleeper->Waits(), (std::vector<int>{10, 10}));
    Signature signature{};
    algorithm.ReadSignatureBytes(signature);
    EXPECT_EQ(signature, (Signature{0x1E, 0x51, 0x06}));
    algorithm.ChipErase();
    EXPECT_EQ(algorithm.ReadByte(0x12345), 0xFF);
    EXPECT_EQ(algorithm.WriteByte(0xA5, 0x10203), 1);
    algorithm.EnterProgramming();
    EXPECT_EQ(sent, (std::vector<Instruction>{
                        {0xAC, 0x53, 0x00, 0x00},
                        {0x28, 0x00, 0x00, 0x00},
                        {0x28, 0x01, 0x00, 0x00},
                        {0x28, 0x02, 0x00, 0x00},
                        {0xAC, 0x80, 0x00, 0x00},
                        {0x20, 0x23, 0x45, 0x00},
                        {0x40, 0x02, 0x03, 0xA5},
                        {0x20, 0x02, 0x03, 0xA5},
                        {0xAC, 0x53, 0x03, 0xA5},
                    }));
    EXPECT_EQ(rig.sleeper->Waits(), (std::vector<int>{10, 10, 500, 10, 10}));
    EXPECT_EQ(rig.port->target().flash()[0x0203], 0xA5);
}

TEST(Isp4ByteAlgorithm, WriteBytePollsThroughTheWriteCycle) {
    IspRig rig({.programmerType = 1, .speed = 2, .target = {.writeCycleReads = 3}});
    IspAlgorithm& algorithm = AlgorithmOf(rig);
    algorithm.EnterProgramming();
    EXPECT_EQ(algorithm.WriteByte(0x3C, 7), 1);
    EXPECT_EQ(rig.port->target().instructions().size(), 1U + 1U + 4U) << "three busy answers, then the value";
}

TEST(Isp4ByteAlgorithm, WriteByteGivesUpAfterExactlyAThousandReads) {
    IspRig rig({.programmerType = 1, .speed = 2, .target = {.misoStuckHigh = true}});
    IspAlgorithm& algorithm = AlgorithmOf(rig);
    algorithm.EnterProgramming();
    EXPECT_EQ(algorithm.WriteByte(0x12, 0), 0);
    const auto& sent = rig.port->target().instructions();
    ASSERT_EQ(sent.size(), 1U + 1U + 1000U);
    EXPECT_EQ(sent.back()[0], 0x20);
    EXPECT_EQ(algorithm.WriteByte(0xFF, 1), 1) << "0xFF reads back at once from a high MISO";
    EXPECT_EQ(sent.size(), 1002U + 2U);
}

TEST(Isp4ByteAlgorithm, LockLevelsSendTheirInstructionsWithFreshEntries) {
    const std::array<std::vector<std::uint8_t>, 4> acSecondBytes = {{
        {},
        {0xE1},
        {0xE1, 0x53, 0xE2},
        {0xE1, 0x53, 0xE2, 0x53, 0xE3},
    }};
    const std::array<std::vector<int>, 4> waits = {{{}, {1}, {1, 10, 10, 1}, {1, 10, 10, 1, 10, 10, 1}}};
    const std::array<std::uint8_t, 4> lockBits = {0x00, 0x01, 0x03, 0x07};
    for (int level = 0; level <= 3; ++level) {
        IspRig rig({.programmerType = 2, .speed = 1});
        IspAlgorithm& algorithm = AlgorithmOf(rig);
        algorithm.EnterProgramming();
        rig.sleeper->Clear();
        EXPECT_EQ(algorithm.WriteLockLevel(level), 1);
        std::vector<std::uint8_t> seen;
        for (const Instruction& instruction : rig.port->target().instructions()) {
            EXPECT_EQ(instruction[0], 0xAC);
            seen.push_back(instruction[1]);
        }
        seen.erase(seen.begin());  // the first Programming Enable
        const auto index = static_cast<std::size_t>(level);
        EXPECT_EQ(seen, acSecondBytes[index]) << level;
        EXPECT_EQ(rig.sleeper->Waits(), waits[index]) << level;
        EXPECT_EQ(rig.port->target().lockBits(), lockBits[index]) << level;
    }
}

TEST(Isp4ByteAlgorithm, ExitProgrammingLeavesRstLowAndMosiSckHigh) {
    for (int type = 1; type <= 3; ++type) {
        IspRig rig({.programmerType = type, .speed = 0});
        IspAlgorithm& algorithm = AlgorithmOf(rig);
        algorithm.EnterProgramming();
        EXPECT_TRUE(rig.port->target().inProgrammingMode()) << type;
        EXPECT_TRUE(rig.port->target().programmingEnabled()) << type;
        algorithm.ExitProgramming();
        const PinMap& map = rig.lines->pinMap();
        EXPECT_FALSE(rig.port->PinLevel(map.rst)) << type;
        EXPECT_TRUE(rig.port->PinLevel(map.mosi)) << type;
        EXPECT_TRUE(rig.port->PinLevel(map.sck)) << type;
        EXPECT_FALSE(rig.port->target().inProgrammingMode()) << type;
    }
}

TEST(Isp4ByteAlgorithm, EveryCableAndSpeedProgramsAndReadsTheChip) {
    for (int type = 1; type <= 3; ++type) {
        for (int speed = 0; speed < 3; ++speed) {
            IspRig rig({.programmerType = type, .speed = speed, .logAccesses = false});
            IspAlgorithm& algorithm = AlgorithmOf(rig);
            algorithm.EnterProgramming();
            Signature signature{};
            algorithm.ReadSignatureBytes(signature);
            EXPECT_EQ(signature, (Signature{0x1E, 0x51, 0x06})) << type << "/" << speed;
            for (std::uint32_t address = 0; address < 24; ++address) {
                const auto value = static_cast<std::uint8_t>(0x5A ^ (address * 37));
                EXPECT_EQ(algorithm.WriteByte(value, address), 1) << type << "/" << speed << " @" << address;
            }
            for (std::uint32_t address = 0; address < 24; ++address) {
                EXPECT_EQ(algorithm.ReadByte(address), static_cast<std::uint8_t>(0x5A ^ (address * 37)));
                EXPECT_EQ(rig.port->target().flash()[address], static_cast<std::uint8_t>(0x5A ^ (address * 37)));
            }
            algorithm.ExitProgramming();
        }
    }
}

TEST(Isp4ByteAlgorithm, FerrowMapFromTheIniDrivesLatchAndOutputEnable) {
    const std::string ini =
        "[Pin Control]\nMOSI=3\nMISO=13\nSCK=4\nRST=5\nLE=6\nOE=7\n"
        "[Lock Control(LE)]\nEnable=0\nDisable=1\n[Output Control(OE)]\nEnable=1\nDisable=0\n";
    for (int speed = 0; speed < 3; ++speed) {
        IspRig rig({.programmerType = 1, .speed = speed, .logAccesses = false, .ferrowIni = ini});
        EXPECT_EQ(rig.lines->pinMap().mosi, 3);
        IspAlgorithm& algorithm = AlgorithmOf(rig);
        Signature signature{};
        algorithm.EnterProgramming();
        algorithm.ReadSignatureBytes(signature);
        EXPECT_EQ(signature, (Signature{0xFF, 0xFF, 0xFF})) << "output buffer still off";
        EXPECT_FALSE(rig.port->target().inProgrammingMode());

        rig.lines->port().SetPin(7, 1);
        algorithm.EnterProgramming();
        algorithm.ReadSignatureBytes(signature);
        EXPECT_EQ(signature, (Signature{0x1E, 0x51, 0x06})) << speed;
        EXPECT_EQ(algorithm.WriteByte(0x42, 3), 1);
        EXPECT_EQ(rig.port->target().flash()[3], 0x42);
    }
}

}  // namespace
}  // namespace korvan::testing
