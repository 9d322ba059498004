#include "engine/programmer_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/event_code.h"
#include "engine/program_dir.h"
#include "tests/engine/test_chips.h"

namespace korvan {
namespace {

struct Call {
    std::string operation;
    std::uint8_t chipCode;
    int level;
    bool operator==(const Call&) const = default;
};

class RecordingSink final : public EventSink {
public:
    void Post(Report report) override {
        if (const int* code = std::get_if<int>(&report)) {
            codes.push_back(*code);
        } else if (Message* message = std::get_if<Message>(&report)) {
            messages.push_back(std::move(*message));
        }
    }
    std::vector<int> codes;
    std::vector<Message> messages;
};

class FakeBackend final : public Backend {
public:
    explicit FakeBackend(std::vector<Call>& calls, int initResult) : calls_(calls), initResult_(initResult) {}
    bool Init(ProgrammerManager& /*manager*/) override {
        calls_.push_back({"Init", 0, 0});
        return initResult_ != 0;
    }
    void CheckReady(std::uint8_t code) override { calls_.push_back({"CheckReady", code, 0}); }
    void ReadSignature(std::uint8_t code) override { calls_.push_back({"ReadSignature", code, 0}); }
    void EraseChip(std::uint8_t code) override { calls_.push_back({"EraseChip", code, 0}); }
    void WriteChip(std::uint8_t code) override { calls_.push_back({"WriteChip", code, 0}); }
    void ReadChip(std::uint8_t code) override { calls_.push_back({"ReadChip", code, 0}); }
    void WriteLockBits(std::uint8_t code, int level) override { calls_.push_back({"WriteLockBits", code, level}); }
    void Stop() override { calls_.push_back({"Stop", 0, 0}); }
    bool ProbesAfterWrite() const override { return false; }

private:
    std::vector<Call>& calls_;
    int initResult_;
};

class FakeFactory final : public BackendFactory {
public:
    std::unique_ptr<Backend> Create(int programmerType) override {
        createdTypes.push_back(programmerType);
        return std::make_unique<FakeBackend>(calls, 1);
    }
    std::vector<int> createdTypes;
    std::vector<Call> calls;
};

class ManagerTest : public ::testing::Test {
protected:
    void UseChips(const std::vector<ChipRecord>& chips) { manager.catalogue().Parse(EncodeCatalogue(chips)); }

    RecordingSink sink;
    FakeFactory factory;
    ProgrammerManager manager;
};

TEST_F(ManagerTest, ImagesStartBlank) {
    EXPECT_EQ(manager.Buffer1()[0], 0xFF);
    EXPECT_EQ(manager.Buffer1()[kImageSize - 1], 0xFF);
    EXPECT_EQ(manager.Buffer2()[12345], 0xFF);
    EXPECT_EQ(manager.UsedLength(manager.Buffer1().data(), kImageSize), 0);
}

TEST_F(ManagerTest, UsedLengthBoundaries) {
    UseChips({TestChip("4k", 1, 4, {1, 1, 1}), TestChip("8k", 1, 8, {2, 2, 2})});
    Image& image = manager.Buffer1();

    image[0] = 0x00;
    EXPECT_EQ(manager.UsedLength(image.data(), kImageSize), 1);

    manager.SelectChip(0);
    image[8191] = 0x12;
    EXPECT_EQ(manager.UsedLength(image.data(), kImageSize), 4096);  // cut to the 4 KiB chip

    ClearImage(image);
    manager.SelectChip(1);
    image[4095] = 0x12;
    EXPECT_EQ(manager.UsedLength(image.data(), kImageSize), 4096);
    EXPECT_EQ(manager.total, 0);  // measuring stores nothing

    // 0xFF inside the data counts; only the trailing run is dropped.
    image[100] = 0xFF;
    image[4094] = 0xFF;
    EXPECT_EQ(manager.UsedLength(image.data(), kImageSize), 4096);
    EXPECT_EQ(manager.UsedLength(image.data(), 0), 0);
}

TEST_F(ManagerTest, UsedLengthWithOutOfRangeRomSizeStaysInsideTheImage) {
    UseChips({TestChip("huge", 1, 100000, {1, 1, 1}), TestChip("negative", 1, -1, {2, 2, 2})});
    Image& image = manager.Buffer1();
    image[kImageSize - 1] = 0;
    manager.SelectChip(0);
    EXPECT_EQ(manager.UsedLength(image.data(), kImageSize), 65536);
    manager.SelectChip(1);
    EXPECT_EQ(manager.UsedLength(image.data(), kImageSize), 0);
}

TEST_F(ManagerTest, OperationsPassTheSelectedChipCode) {
    UseChips({TestChip("a", 0x11, 4, {1, 1, 1}), TestChip("b", 0x22, 4, {2, 2, 2})});
    ASSERT_EQ(manager.Init(sink, FerrowIspType, 2, factory), 1);
    EXPECT_EQ(manager.downloadSpeed(), 2);
    manager.CheckReady(1);
    manager.ReadSignature(0);
    manager.EraseChip(1);
    manager.WriteChip(1);
    manager.ReadChip(0);
    manager.WriteLockBits(1, 3);
    const std::vector<Call> expected = {{"Init", 0, 0},          {"CheckReady", 0x22, 0}, {"ReadSignature", 0x11, 0},
                                        {"EraseChip", 0x22, 0},  {"WriteChip", 0x22, 0},  {"ReadChip", 0x11, 0},
                                        {"WriteLockBits", 0x22, 3}};
    EXPECT_EQ(factory.calls, expected);
    EXPECT_EQ(manager.currentChipIndex(), 1);
    EXPECT_TRUE(sink.codes.empty());
}

TEST_F(ManagerTest, SelectChipTakesNegativeIndexAsZero) {
    UseChips({TestChip("a", 0x11, 4, {1, 1, 1}), TestChip("b", 0x22, 4, {2, 2, 2})});
    manager.SelectChip(1);
    const ChipRecord* chip = manager.SelectChip(-1);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->name, "a");
    EXPECT_EQ(manager.currentChipIndex(), 0);
}

TEST_F(ManagerTest, ReadChipClearsBuffer2EvenWithoutAChip) {
    manager.Buffer2().fill(0x00);
    ASSERT_EQ(manager.Init(sink, SerialProgrammerType, 0, factory), 1);
    manager.ReadChip(0);  // empty catalogue: no record to take a chip code from
    EXPECT_EQ(manager.Buffer2()[0], 0xFF);
    EXPECT_EQ(manager.Buffer2()[kImageSize - 1], 0xFF);
    EXPECT_EQ(sink.codes, std::vector<int>{ProgrammerError});
}

TEST_F(ManagerTest, MissingRecordOrBackendEndsEveryOperationWithAFailureEvent) {
    UseChips({TestChip("a", 0x11, 4, {1, 1, 1})});
    ASSERT_EQ(manager.Init(sink, SerialProgrammerType, 0, factory), 1);
    manager.CheckReady(5);
    manager.EraseChip(5);
    manager.WriteLockBits(5, 1);
    EXPECT_EQ(sink.codes, (std::vector<int>{ProgrammerUnusable, ProgrammerError, ProgrammerError}));

    ProgrammerManager noBackend;
    noBackend.catalogue().Parse(EncodeCatalogue({TestChip("a", 0x11, 4, {1, 1, 1})}));
    RecordingSink otherSink;
    EXPECT_EQ(noBackend.Init(otherSink, 7, 0, factory), 0);
    noBackend.WriteChip(0);
    EXPECT_EQ(otherSink.codes, std::vector<int>{ProgrammerError});
    EXPECT_EQ(factory.createdTypes, std::vector<int>{SerialProgrammerType});  // none for type 7
}

TEST_F(ManagerTest, BaudIndexOutsideTheTableGivesNoBaudRate) {
    manager.SetBaudIndex(4);
    EXPECT_EQ(manager.BaudRate(), 0);
    manager.SetBaudIndex(-1);
    EXPECT_EQ(manager.BaudRate(), 0);

    manager.SetBaudIndex(3);
    EXPECT_EQ(manager.BaudRate(), 57600);
}

TEST_F(ManagerTest, IdentifyChipSelectsTheFirstMatchBeforePosting) {
    UseChips({TestChip("a", 1, 4, {0x01, 0x02, 0x03}), TestChip("b", 1, 8, {0x12, 0x34, 0x56}),
              TestChip("c", 1, 8, {0x12, 0x34, 0x56})});
    ASSERT_EQ(manager.Init(sink, SerialProgrammerType, 0, factory), 1);
    manager.SetSignature({0x12, 0x34, 0x56});
    EXPECT_EQ(manager.IdentifyChip(), 1);
    EXPECT_EQ(manager.currentChipIndex(), 1);
    ASSERT_NE(manager.CurrentChip(), nullptr);
    EXPECT_EQ(manager.CurrentChip()->name, "b");

    manager.SetSignature({0xAB, 0x0C, 0x5D});
    EXPECT_EQ(manager.IdentifyChip(), 0);
    EXPECT_EQ(manager.currentChipIndex(), 1);  // a miss leaves the selection alone
    EXPECT_EQ(sink.codes, (std::vector<int>{ChipIdentified, ChipNotDetected}));
}

// An all-zero answer is still an answer (a target that is not there answers so), and each
// answer replaces the last, bytes in the order they came.
TEST_F(ManagerTest, TheEnableAnswerIsEmptyUntilOneComesThenTheLastInHex) {
    EXPECT_EQ(manager.enableAnswer(), "");
    manager.SetEnableAnswer({0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(manager.enableAnswer(), "00 00 00 00");
    manager.SetEnableAnswer({0xFF, 0xAC, 0x53, 0x69});
    EXPECT_EQ(manager.enableAnswer(), "ff ac 53 69");
}

TEST(EventCodes, HaveTheirFixedNumbers) {
    EXPECT_EQ(ParallelInitDone, 4);
    EXPECT_EQ(EraseDone, 9);
    EXPECT_EQ(ChipNotDetected, 20);
    EXPECT_STREQ(EventName(WriteDone), "WriteDone");
    EXPECT_STREQ(EventName(8), "Event8");
    EXPECT_STREQ(EventName(21), "EventUnassigned");
}

TEST(ProgramDirectory, OverrideThenEnvironmentThenExecutable) {
    EXPECT_EQ(ProgramDirectory("/opt/korvan"), "/opt/korvan/");
    EXPECT_EQ(ProgramDirectory("/opt/korvan//"), "/opt/korvan/");
    ::setenv("KORVAN_HOME", "/srv/line3", 1);
    EXPECT_EQ(ProgramDirectory(), "/srv/line3/");
    ::unsetenv("KORVAN_HOME");
    const std::string own = ProgramDirectory();
    EXPECT_EQ(own.back(), '/');
    EXPECT_NE(own, "./");
}

}  // namespace
}  // namespace korvan
