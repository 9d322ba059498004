#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/chip_state.h"
#include "sim/parallel/simulated_target.h"
#include "sim/serial/simulated_serial_programmer.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::ChipState;

const ChipRecord kChip4K{"TEST4K", 0x21, 4, 5.0F, {0x1E, 0x51, 0x06}};
const ChipRecord kChip8K{"TEST8K", 0x22, 8, 5.0F, {0x1E, 0x52, 0x06}};
const ChipRecord kOther4K{"OTHER4K", 0x23, 4, 5.0F, {0x1E, 0x41, 0x02}};

std::vector<std::string> Names(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

ChipState Programmed(std::size_t size) {
    ChipState state{Bytes(size, 0xFF), 0x03};
    for (std::size_t i = 0; i < size; i += 7) {
        state.flash[i] = static_cast<std::uint8_t>(i);
    }
    return state;
}

TEST(ChipStateFile, MissingFileIsCreatedBlankThenKeepsWhatIsSaved) {
    TempDir dir;
    const std::string path = dir.file("chip.state");
    {
        sim::ChipStateFile file;
        ChipState state;
        ASSERT_TRUE(file.Open(path, kChip4K, state).ok);
        EXPECT_EQ(state.flash, Bytes(4096, 0xFF));
        EXPECT_EQ(state.lockBits, 0);
        EXPECT_EQ(dir.Read("chip.state").substr(0, 8), "KORVCHIP");
        ASSERT_TRUE(file.Save(Programmed(4096)).ok);
        ASSERT_TRUE(file.Save(Programmed(4096)).ok);
    }
    EXPECT_EQ(Names(dir), std::vector<std::string>{"chip.state"}) << "nothing left aside";
    // Through a symbolic link: the file it names is replaced, the link stays.
    std::filesystem::create_directory(dir.path() / "kept");
    std::filesystem::create_symlink(path, dir.path() / "kept" / "link.state");
    sim::ChipStateFile again;
    ChipState state;
    ASSERT_TRUE(again.Open(dir.file("kept/link.state"), kChip4K, state).ok);
    EXPECT_EQ(state.flash, Programmed(4096).flash);
    EXPECT_EQ(state.lockBits, 0x03);
    state.lockBits = 0x07;
    ASSERT_TRUE(again.Save(state).ok);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "kept" / "link.state"));
    EXPECT_EQ(static_cast<std::uint8_t>(dir.Read("chip.state")[19]), 0x07);
}

TEST(ChipStateFile, AnythingElseIsRefusedWithItsReasonAndLeftAsItWas) {
    TempDir dir;
    Bytes good = sim::ChipStateFile::Encode(kChip4K, Programmed(4096));
    const auto asText = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    Bytes flipped = good;
    flipped[100] ^= 0x01;
    Bytes newer = good;
    newer[8] = 2;
    const Bytes cut(good.begin(), good.end() - 10);
    const struct {
        std::string name;
        std::string content;
        std::string reason;
    } cases[] = {
        {"app.hex", ":020000040000FA\n:10000000020030\n", "is an Intel HEX file, not a simulated chip's state"},
        {"notes.txt", "hello", "is not a simulated chip's state file"},
        {"empty.state", "", "is empty, not a simulated chip's state"},
        {"flipped.state", asText(flipped), "is damaged: its checksum does not match"},
        {"cut.state", asText(cut), "is damaged: 4114 bytes long where its chip needs 4124"},
        {"newer.state", asText(newer), "is a chip state file of version 2, which this program cannot read"},
        {"large.state", asText(sim::ChipStateFile::Encode(kChip8K, {})), "holds a chip of 8192 bytes, not 4096 as TEST4K"},
        {"other.state", asText(sim::ChipStateFile::Encode(kOther4K, {})),
         "holds a chip with signature 1E 41 02, not TEST4K (1E 51 06)"},
    };
    for (const auto& each : cases) {
        dir.Write(each.name, each.content);
        sim::ChipStateFile file;
        ChipState state;
        const sim::SimResult opened = file.Open(dir.file(each.name), kChip4K, state);
        EXPECT_FALSE(opened.ok) << each.name;
        EXPECT_EQ(opened.message, dir.file(each.name) + " " + each.reason + "; left untouched.");
        EXPECT_FALSE(file.isOpen());
        EXPECT_TRUE(file.Save(Programmed(4096)).ok) << "a refused file is never written";
        EXPECT_EQ(dir.Read(each.name), each.content) << each.name;
    }

    std::filesystem::create_directory(dir.path() / "folder");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    sim::ChipStateFile file;
    ChipState state;
    EXPECT_EQ(file.Open(dir.file("folder"), kChip4K, state).message,
              dir.file("folder") + " is a directory, not a chip state file.");
    EXPECT_EQ(file.Open(dir.file("fifo"), kChip4K, state).message,
              dir.file("fifo") + " is not a regular file, so it cannot be a chip state file.");
    EXPECT_EQ(file.Open(dir.file("no-such-folder/chip.state"), kChip4K, state).message,
              "Cannot write the chip state file " + dir.file("no-such-folder/chip.state") +
                  ": No such file or directory.");
}

TEST(ChipStateFile, SecondRunIsRefusedUntilTheFirstReleasesTheFile) {
    TempDir dir;
    const std::string path = dir.file("chip.state");
    sim::ChipStateFile first;
    ChipState state;
    ASSERT_TRUE(first.Open(path, kChip4K, state).ok);
    sim::ChipStateFile second;
    EXPECT_EQ(second.Open(path, kChip4K, state).message,
              path + " is in use by another run of the simulator.");
    // A save replaces the file by another one; that one is held as well.
    ASSERT_TRUE(first.Save(Programmed(4096)).ok);
    EXPECT_FALSE(second.Open(path, kChip4K, state).ok);
    first.Close();
    ASSERT_TRUE(second.Open(path, kChip4K, state).ok);
    EXPECT_EQ(state.flash, Programmed(4096).flash);
}

// Both simulators keep their chip in the same file format, and hold it while they run.
TEST(SimulatorChipFiles, OneSimulatorReadsWhatTheOtherKeptAndWaitsForItsRelease) {
    TempDir dir;
    const std::string path = dir.file("chip.state");
    const Bytes programmed = Programmed(4096).flash;
    {
        sim::SimulatedSerialProgrammer programmer(kChip4K, {.chipFile = path});
        ASSERT_TRUE(programmer.Start().ok);
        programmer.LoadFlash(programmed);
        programmer.SetLockLevel(2);
        sim::SimulatedTarget target(kChip4K, {.chipFile = path});
        EXPECT_EQ(target.chipFileError(), path + " is in use by another run of the simulator.");
        EXPECT_TRUE(programmer.Stop().ok);
    }
    sim::SimulatedTarget target(kChip4K, {.chipFile = path});
    EXPECT_EQ(target.chipFileError(), "");
    EXPECT_TRUE(std::equal(programmed.begin(), programmed.end(), target.flash().begin()));
    EXPECT_EQ(target.lockBits(), 0x03);

    sim::SimulatedSerialProgrammer refused(kChip4K, {.chipFile = path});
    const sim::SimResult started = refused.Start();
    EXPECT_EQ(started.message, path + " is in use by another run of the simulator.");
    EXPECT_TRUE(refused.DevicePath().empty());
}

}  // namespace
}  // namespace korvan::testing
