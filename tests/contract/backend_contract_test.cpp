// Every back-end, real on its simulator or scripted, holds to one contract: how it starts,
// how each operation ends, what it does while busy, and how it stops and is replaced.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "engine/catalogue.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "programmers/programmer_factory.h"
#include "tests/contract/scripted_backend.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// An 8 KiB ISP-class chip: both simulators and the scripted back-end take it.
ChipRecord ContractChip() { return ChipRecord{"AT89S52", 2, 8, 5.0F, {0x1E, 0x52, 0x06}}; }

// Enough for a write to be caught in the middle, little enough for the suite under TSan.
constexpr std::size_t kDataBytes = 1024;

bool IsEnding(int code) {
    switch (code) {
        case ProgrammerReady:
        case ProgrammerUnusable:
        case DataReceivedError:
        case SerialNotInitialized:
        case EraseDone:
        case WriteDone:
        case ProgrammingError:
        case ReadDone:
        case LockBitDone:
        case ProgrammerError:
        case ChipIdentified:
        case ChipNotDetected:
            return true;
        default:
            return false;
    }
}

bool IsInit(int code) {
    return code == SerialInitDone || code == SerialInitFailed || code == ParallelInitDone || code == ParallelInitFailed;
}

std::size_t ThreadCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

// What differs between the back-ends: how one is built. The real ones come from the same
// composition the front ends use, on their simulators, with the chip kept in a file.
template <int Type>
class OnSimulator final : public BackendFactory {
public:
    static constexpr int kType = Type;
    explicit OnSimulator(const TempDir& dir) : composition_(Options(dir)) {}
    std::unique_ptr<Backend> Create(int type) override {
        std::unique_ptr<Backend> backend = composition_.Create(type);
        EXPECT_TRUE(composition_.errors().empty()) << composition_.errors().front();
        return backend;
    }
    // Stops the simulator beside the back-end.
    void Finish() { composition_.Finish(); }

private:
    static ProgrammerOptions Options(const TempDir& dir) {
        ProgrammerOptions options;
        options.programDir = dir.dir();
        options.adapterDir = dir.dir();
        options.simulate = true;
        options.simulatedChip = ContractChip();
        options.simulatedChipFile = dir.file("chip");
        return options;
    }
    ProgrammerFactory composition_;
};
using SerialOnSimulator = OnSimulator<SerialProgrammerType>;
using IspOnSimulator = OnSimulator<AtmelByteBlasterType>;
using FtdiOnSimulator = OnSimulator<FtdiUsbType>;
using GpioOnSimulator = OnSimulator<LinuxGpioType>;

class Scripted final : public BackendFactory {
public:
    static constexpr int kType = FerrowIspType;
    explicit Scripted(const TempDir& /*dir*/) : chip_(std::make_shared<Image>()) { ClearImage(*chip_); }
    std::unique_ptr<Backend> Create(int /*type*/) override { return std::make_unique<ScriptedBackend>(chip_); }
    void Finish() {}

private:
    std::shared_ptr<Image> chip_;
};

template <typename Factory>
class BackendContract : public ::testing::Test {
protected:
    BackendContract() : factory(dir) {
        manager.catalogue().Parse(EncodeCatalogue({ContractChip()}));
        manager.SetProgramDirectory(dir.dir());
        manager.SetComPort(1);
        manager.SetBaudIndex(3);
        manager.SelectChip(0);
        for (std::size_t address = 0; address < kDataBytes; ++address) {
            manager.Buffer1()[address] = static_cast<std::uint8_t>(address * 7);
        }
    }

    // The fastest download speed: the contract does not depend on it, and the suite runs under TSan.
    int Init() { return manager.Init(events, Factory::kType, 2, factory); }
    // Runs `operation` and waits for the number of endings the contract gives it.
    void RunToEnd(const std::function<void()>& operation, std::size_t endings = 1) {
        const std::size_t before = Endings();
        operation();
        ASSERT_TRUE(events.WaitForCount(IsEnding, before + endings)) << "no ending";
    }
    std::size_t WriteEndings() const { return manager.BackendProbesAfterWrite() ? 2 : 1; }
    std::size_t Endings() const {
        const std::vector<int> codes = events.Codes();
        return static_cast<std::size_t>(std::count_if(codes.begin(), codes.end(), IsEnding));
    }

    TempDir dir;
    RecordingEvents events;
    Factory factory;
    ProgrammerManager manager;
};

using Backends = ::testing::Types<SerialOnSimulator, IspOnSimulator, FtdiOnSimulator, GpioOnSimulator, Scripted>;
TYPED_TEST_SUITE(BackendContract, Backends);

TYPED_TEST(BackendContract, InitPostsOneInitEventAndEveryOperationEndsOnce) {
    ASSERT_EQ(this->Init(), 1);
    ASSERT_TRUE(this->events.WaitForCount(IsInit, 1));
    ProgrammerManager& manager = this->manager;

    std::size_t expected = 0;
    const auto run = [&](const std::function<void()>& operation, std::size_t endings) {
        expected += endings;
        this->RunToEnd(operation, endings);
    };
    run([&] { manager.CheckReady(0); }, 1);
    run([&] { manager.ReadSignature(0); }, 1);
    run([&] { manager.EraseChip(0); }, 1);
    run([&] { manager.WriteChip(0); }, this->WriteEndings());
    run([&] { manager.ReadChip(0); }, 1);
    run([&] { manager.WriteLockBits(0, 1); }, 1);
    // One more round trip: anything a past operation still had to say has arrived by now.
    run([&] { manager.CheckReady(0); }, 1);

    const std::vector<int> codes = this->events.Codes();
    EXPECT_EQ(std::count_if(codes.begin(), codes.end(), IsInit), 1) << ::testing::PrintToString(codes);
    EXPECT_EQ(this->Endings(), expected) << ::testing::PrintToString(codes);
    EXPECT_NE(std::find(codes.begin(), codes.end(), ChipIdentified), codes.end());
    EXPECT_TRUE(std::equal(manager.Buffer1().begin(), manager.Buffer1().begin() + kDataBytes, manager.Buffer2().begin()));
}

TYPED_TEST(BackendContract, AnOperationWhileBusyIsRefusedAndTheRunningOneStillEnds) {
    ASSERT_EQ(this->Init(), 1);
    ProgrammerManager& manager = this->manager;
    this->RunToEnd([&] { manager.CheckReady(0); });
    this->RunToEnd([&] { manager.EraseChip(0); });

    manager.WriteChip(0);
    manager.EraseChip(0);
    ASSERT_TRUE(this->events.WaitFor(ProgrammerUnusable));
    ASSERT_TRUE(this->events.WaitFor(WriteDone));
    const std::vector<int> codes = this->events.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), EraseDone), 1) << "the refused erase ran";
    EXPECT_EQ(std::count(codes.begin(), codes.end(), ProgrammingError), 0);
}

TYPED_TEST(BackendContract, StopDuringAWriteIsQuickLeavesNoThreadAndPostsNothingAfter) {
    // A sanitizer starts a thread of its own along with the process's first thread: let it.
    std::thread([] {}).join();
    const std::size_t threadsBefore = ThreadCount();
    ASSERT_EQ(this->Init(), 1);
    ProgrammerManager& manager = this->manager;
    this->RunToEnd([&] { manager.CheckReady(0); });
    manager.WriteChip(0);
    ASSERT_TRUE(this->events.WaitFor(WritingProgress));

    const auto started = std::chrono::steady_clock::now();
    manager.backend()->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, seconds(1));
    const std::size_t postedAtStop = this->events.size();
    manager.backend()->Stop();  // again: nothing happens
    this->factory.Finish();
    EXPECT_EQ(ThreadCount(), threadsBefore);
    // Nothing is expected, so a short look is all there is to wait for.
    EXPECT_FALSE(this->events.WaitForCount([](int) { return true; }, postedAtStop + 1, milliseconds(200)));
}

TYPED_TEST(BackendContract, AStoppedBackEndIsReplacedByANewOneOnTheSamePort) {
    ASSERT_EQ(this->Init(), 1);
    ProgrammerManager& manager = this->manager;
    this->RunToEnd([&] { manager.CheckReady(0); });
    this->RunToEnd([&] { manager.WriteChip(0); }, this->WriteEndings());

    ASSERT_EQ(this->Init(), 1);  // the manager stops the first one and starts another
    ASSERT_TRUE(this->events.WaitForCount(IsInit, 2));
    this->RunToEnd([&] { manager.CheckReady(0); });
    this->RunToEnd([&] { manager.ReadChip(0); });
    EXPECT_EQ(this->events.Codes().back(), ReadDone);
    // The chip the first back-end wrote is the one the second reads.
    EXPECT_TRUE(std::equal(manager.Buffer1().begin(), manager.Buffer1().begin() + kDataBytes, manager.Buffer2().begin()));
}

}  // namespace
}  // namespace korvan::testing
