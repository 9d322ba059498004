#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "tests/isp/isp_rig.h"

namespace korvan::testing {
namespace {

using Codes = std::vector<int>;

std::vector<int> Repeated(int code, int times, int last) {
    std::vector<int> codes(static_cast<std::size_t>(times), code);
    codes.push_back(last);
    return codes;
}

void FillBuffer1(ProgrammerManager& manager, int count) {
    for (int i = 0; i < count; ++i) {
        manager.Buffer1()[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 1);
    }
}

int ProgrammingEntries(const sim::SimulatedTarget& target) {
    int entries = 0;
    for (const auto& instruction : target.instructions()) {
        entries += instruction[0] == 0xAC && instruction[1] == 0x53 ? 1 : 0;
    }
    return entries;
}

struct ProgrammerTest : ::testing::Test {
    // Ferrow ISP with the default map: OE is pin 2, disabled high.
    IspRig rig{RigOptions{.programmerType = 1, .speed = 2, .chip = kS51}};

    void RunToEnd(int finalCode) {
        ASSERT_TRUE(rig.events.WaitFor(finalCode));
        rig.WaitIdle();
        EXPECT_FALSE(rig.programmer->busy());
        EXPECT_TRUE(rig.port->PinLevel(2)) << "OE back at its disable level";
        EXPECT_FALSE(rig.port->target().inProgrammingMode());
    }
};

TEST_F(ProgrammerTest, InitOpensThePortAndEnablesTheLatch) {
    EXPECT_EQ(rig.initResult, 1);
    EXPECT_EQ(rig.events.Codes(), Codes{ParallelInitDone});
    EXPECT_TRUE(rig.port->PinLevel(17));
    EXPECT_EQ(rig.lines->pinMap(), kFerrowDefaultMap);
    EXPECT_TRUE(rig.messages.Texts().empty());
}

TEST_F(ProgrammerTest, CheckReadyAnswersFromThePortAndTheAlgorithm) {
    rig.events.Clear();
    rig.manager.CheckReady(kS51);
    rig.manager.CheckReady(kC51);
    EXPECT_EQ(rig.events.Codes(), (Codes{ProgrammerReady, ProgrammerUnusable}));
}

TEST_F(ProgrammerTest, WriteOf31BytesPostsThreeProgressEvents) {
    FillBuffer1(rig.manager, 31);
    rig.events.Clear();
    rig.manager.WriteChip(kS51);
    RunToEnd(WriteDone);
    EXPECT_EQ(rig.events.Codes(), Repeated(WritingProgress, 3, WriteDone));
    EXPECT_EQ(rig.manager.total.load(), 31);
    EXPECT_EQ(rig.events.LastProgress(), (Progress{WritingProgress, 30, 31}));
    const auto flash = rig.port->target().flash();
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 31, rig.manager.Buffer1().begin()));
    EXPECT_EQ(flash[31], 0xFF);
    EXPECT_EQ(ProgrammingEntries(rig.port->target()), 2);
}

TEST_F(ProgrammerTest, ReadOfA4KiBChipPosts274ProgressEvents) {
    std::vector<std::uint8_t> content(4096);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    }
    rig.port->target().LoadFlash(0, content);
    rig.events.Clear();
    rig.manager.ReadChip(kS51);
    RunToEnd(ReadDone);
    EXPECT_EQ(rig.events.Codes(), Repeated(ReadingProgress, 274, ReadDone));
    EXPECT_EQ(rig.manager.total.load(), 4096);
    EXPECT_EQ(rig.events.LastProgress(), (Progress{ReadingProgress, 4095, 4096}));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), rig.manager.Buffer2().begin()));
    EXPECT_EQ(rig.manager.Buffer2()[4096], 0xFF);
}

TEST_F(ProgrammerTest, AByteThatNeverProgramsStopsTheWriteThere) {
    IspRig failing({.programmerType = 1, .speed = 2, .target = {.failingAddress = 20}});
    FillBuffer1(failing.manager, 40);
    failing.events.Clear();
    failing.manager.WriteChip(kS51);
    ASSERT_TRUE(failing.events.WaitFor(ProgrammingError));
    failing.WaitIdle();
    EXPECT_EQ(failing.events.Codes(), Repeated(WritingProgress, 2, ProgrammingError));
    EXPECT_EQ(failing.events.LastProgress(), (Progress{WritingProgress, 15, 40}));
    const auto flash = failing.port->target().flash();
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 20, failing.manager.Buffer1().begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 20, flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(failing.port->PinLevel(2));
    EXPECT_FALSE(failing.port->target().inProgrammingMode());
    EXPECT_FALSE(failing.programmer->busy());
}

TEST_F(ProgrammerTest, EmptyBuffer1WritesNothingAndEntersProgrammingTwice) {
    rig.events.Clear();
    rig.manager.WriteChip(kS51);
    RunToEnd(WriteDone);
    EXPECT_EQ(rig.events.Codes(), Codes{WriteDone});
    EXPECT_EQ(rig.manager.total.load(), 0);
    EXPECT_EQ(ProgrammingEntries(rig.port->target()), 2);
    EXPECT_EQ(rig.port->target().instructions().size(), 2U);
}

TEST_F(ProgrammerTest, EraseWaitsHalfASecondAndEmptiesTheChip) {
    const std::vector<std::uint8_t> seed(64, 0x00);
    rig.port->target().LoadFlash(0, seed);
    rig.events.Clear();
    rig.sleeper->Clear();
    rig.manager.EraseChip(kS51);
    RunToEnd(EraseDone);
    EXPECT_EQ(rig.events.Codes(), Codes{EraseDone});
    EXPECT_EQ(rig.sleeper->Waits(), (std::vector<int>{10, 10, 500}));
    const auto flash = rig.port->target().flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(ProgrammerTest, SignatureReadIdentifiesTheChip) {
    rig.manager.SelectChip(kC51);
    rig.events.Clear();
    rig.manager.ReadSignature(kS52);
    RunToEnd(ChipIdentified);
    EXPECT_EQ(rig.events.Codes(), Codes{ChipIdentified});
    EXPECT_EQ(rig.manager.signature(), (Signature{0x1E, 0x51, 0x06}));
    EXPECT_EQ(rig.manager.currentChipIndex(), kS51);
}

TEST_F(ProgrammerTest, LockBitsLevelThreeLocksTheChip) {
    rig.events.Clear();
    rig.manager.WriteLockBits(kS51, 3);
    RunToEnd(LockBitDone);
    EXPECT_EQ(rig.events.Codes(), Codes{LockBitDone});
    EXPECT_EQ(rig.port->target().lockBits(), 0x07);
}

TEST_F(ProgrammerTest, ReadWithKeepLengthCoversOnlyTheLastWrite) {
    FillBuffer1(rig.manager, 100);
    rig.manager.WriteChip(kS51);
    RunToEnd(WriteDone);
    rig.manager.keepLength = 1;
    rig.events.Clear();
    rig.manager.ReadChip(kS51);
    RunToEnd(ReadDone);
    EXPECT_EQ(rig.manager.total.load(), 100);
    EXPECT_EQ(rig.events.Count(ReadingProgress), 7);
    EXPECT_TRUE(std::equal(rig.manager.Buffer2().begin(), rig.manager.Buffer2().begin() + 100,
                           rig.manager.Buffer1().begin()));
    EXPECT_EQ(rig.manager.Buffer2()[100], 0xFF);
}

// Entry: four line changes and Programming Enable; erase: one instruction; exit: three changes.
TEST(IspProgrammer, AnEraseRunCostsItsLinesAndInstructionsPlusTheOeWrites) {
    constexpr std::size_t kEraseRunAccesses = 4 + 132 + 132 + 3;
    for (int type = 1; type <= 3; ++type) {
        IspRig rig({.programmerType = type, .speed = 2});
        rig.TakeLog();
        rig.manager.EraseChip(kS51);
        ASSERT_TRUE(rig.events.WaitFor(EraseDone));
        rig.WaitIdle();
        const std::size_t oeWrites = type == 1 ? 2 : 0;  // the ByteBlasters have no OE line
        EXPECT_EQ(rig.TakeLog().size(), kEraseRunAccesses + oeWrites) << type;
    }
}

TEST(IspProgrammer, ReadOfAChipWithoutRomReadsNothing) {
    IspRig rig({.chip = kEmptyRom});
    rig.events.Clear();
    rig.manager.ReadChip(kEmptyRom);
    ASSERT_TRUE(rig.events.WaitFor(ReadDone));
    rig.WaitIdle();
    EXPECT_EQ(rig.events.Codes(), Codes{ReadDone});
    EXPECT_EQ(rig.manager.total.load(), 0);
    EXPECT_FALSE(rig.programmer->busy());
    EXPECT_FALSE(rig.port->target().inProgrammingMode());
}

TEST_F(ProgrammerTest, AChipWithoutAlgorithmTouchesNoLine) {
    rig.TakeLog();
    rig.events.Clear();
    rig.manager.ReadSignature(kC51);
    rig.manager.EraseChip(kC51);
    rig.manager.WriteChip(kC51);
    rig.manager.ReadChip(kC51);
    rig.manager.WriteLockBits(kC51, 1);
    rig.WaitIdle();
    EXPECT_EQ(rig.events.Codes(), Codes(5, ProgrammerError));
    EXPECT_TRUE(rig.TakeLog().empty());
    EXPECT_FALSE(rig.programmer->busy());
}

// Holds the worker inside the erase wait until released.
class GateSleeper final : public Sleeper {
public:
    void Sleep(std::chrono::milliseconds duration) override {
        if (duration.count() != 500) {
            return;
        }
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    bool WaitUntilEntered() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return entered_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

struct GatedRig {
    GatedRig() {
        WriteTestCatalogue(dir);
        manager.SetProgramDirectory(dir.dir());
        manager.LoadChipList();
        auto simulated = sim::SimulatedParallelPort::ForCable(2, dir.dir(), TestChips()[kS51]);
        port = simulated.get();
        OneBackendFactory factory(std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(std::move(simulated)),
                                                                  IspOptions{.sleeper = gate}));
        events.results = &manager;
        manager.Init(events, 2, 2, factory);
        programmer = static_cast<IspProgrammer*>(manager.backend());
    }
    // A failed test must not leave the worker held in the gate.
    ~GatedRig() { gate->Open(); }
    TempDir dir;
    RecordingEvents events;
    std::shared_ptr<GateSleeper> gate = std::make_shared<GateSleeper>();
    ProgrammerManager manager;
    sim::SimulatedParallelPort* port = nullptr;
    IspProgrammer* programmer = nullptr;
};

TEST(IspProgrammer, ARequestWhileBusyIsRefusedAndCheckReadyStillAnswers) {
    GatedRig rig;
    rig.events.Clear();
    rig.manager.EraseChip(kS51);
    rig.manager.WriteChip(kS51);  // refused at once: busy is taken before the worker starts
    ASSERT_TRUE(rig.gate->WaitUntilEntered());
    rig.manager.ReadChip(kS51);
    rig.manager.CheckReady(kS51);
    EXPECT_TRUE(rig.programmer->busy());
    EXPECT_EQ(rig.events.Codes(), (Codes{ProgrammerUnusable, ProgrammerUnusable, ProgrammerReady}));
    rig.gate->Open();
    ASSERT_TRUE(rig.events.WaitFor(EraseDone));
    rig.programmer->WaitForWorker();
    EXPECT_EQ(rig.events.Count(EraseDone), 1);
    EXPECT_EQ(rig.port->target().eraseCount(), 1);
}

TEST(IspProgrammer, DestructionWaitsForARunningWorker) {
    GatedRig rig;
    rig.manager.EraseChip(kS51);
    ASSERT_TRUE(rig.gate->WaitUntilEntered());
    std::thread opener([&rig] { rig.gate->Open(); });
    rig.manager.ShutdownBackend();
    opener.join();
    EXPECT_TRUE(rig.events.WaitFor(EraseDone));
}

// Run a thread first: a sanitizer starts a helper thread of its own with the first one.
int ThreadsInProcess() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                          std::filesystem::directory_iterator{}));
}

// Holds the worker at its first progress event until the test is about to stop it, so the run
// is still far from its end when the stop comes.
class ProgressGate {
public:
    explicit ProgressGate(int progressCode) : progressCode_(progressCode) {}
    void OnPost(int code) {
        if (code != progressCode_) {
            return;
        }
        std::unique_lock lock(mutex_);
        reached_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    bool WaitReached() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return reached_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    int progressCode_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool released_ = false;
};

// As a closing program, or a changed programmer type, does while a long run is under way.
TEST(IspProgrammer, AStopDuringAWriteOrReadEndsItAtOnceAndLeavesNothingBehind) {
    for (const int progress : {WritingProgress, ReadingProgress}) {
        ProgressGate gate(progress);  // outlives the rig and its worker
        IspRig rig({.programmerType = 1, .speed = 0, .chip = kS52});
        FillBuffer1(rig.manager, 8192);
        std::thread([] {}).join();
        const int threadsBefore = ThreadsInProcess();
        rig.events.onPost = [&gate](int code) { gate.OnPost(code); };
        rig.events.Clear();
        if (progress == WritingProgress) {
            rig.manager.WriteChip(kS52);
        } else {
            rig.manager.ReadChip(kS52);
        }
        if (!gate.WaitReached()) {
            gate.Release();
            FAIL() << "no progress event";
        }

        const auto started = std::chrono::steady_clock::now();
        gate.Release();
        rig.programmer->Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
        EXPECT_EQ(ThreadsInProcess(), threadsBefore) << "the worker has ended";
        // Progress is reported before each stretch: the transfer stopped at or after it.
        const int reported = rig.events.LastProgress().done;
        EXPECT_LT(reported, 8192);
        EXPECT_EQ(rig.events.Count(WriteDone) + rig.events.Count(ReadDone) + rig.events.Count(ProgrammingError), 0);
        EXPECT_FALSE(rig.programmer->busy());
        ASSERT_TRUE(rig.atClose->closed) << "the port is let go";
        EXPECT_FALSE(rig.atClose->inProgrammingMode);
        EXPECT_TRUE(rig.atClose->oeLevel) << "OE back at its disable level";
        if (progress == WritingProgress) {
            // Written up to where it stopped, nothing after.
            const auto& flash = rig.atClose->flash;
            const auto stoppedAt = std::mismatch(flash.begin(), flash.begin() + 8192, rig.manager.Buffer1().begin()).first;
            EXPECT_GE(stoppedAt - flash.begin(), reported);
            EXPECT_LT(stoppedAt - flash.begin(), 8192);
            EXPECT_TRUE(std::all_of(stoppedAt, flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
        } else {
            // A read that was stopped reports no bytes.
            const Image& read = rig.manager.Buffer2();
            EXPECT_TRUE(std::all_of(read.begin(), read.end(), [](std::uint8_t b) { return b == 0xFF; }));
        }

        // Stopped for good: nothing starts and nothing more is posted, however often it is asked.
        const std::size_t postedBefore = rig.events.Codes().size();
        rig.programmer->Stop();
        rig.manager.EraseChip(kS52);
        rig.manager.CheckReady(kS52);
        rig.manager.WriteLockBits(kS52, 1);
        EXPECT_EQ(ThreadsInProcess(), threadsBefore);
        rig.manager.ShutdownBackend();
        EXPECT_EQ(rig.events.Codes().size(), postedBefore);
    }
}

// The manager starting over (a reconnected cable, a changed type) on the chip the stopped
// back-end left.
TEST(IspProgrammer, ANewBackEndStartsOnTheSamePortRightAfterAStop) {
    TempDir keep;
    const sim::TargetOptions target{.chipFile = keep.file("chip.bin")};
    IspRig rig({.programmerType = 1, .speed = 2, .target = target});
    FillBuffer1(rig.manager, 40);
    rig.manager.WriteChip(kS51);
    ASSERT_TRUE(rig.events.WaitFor(WriteDone));
    rig.programmer->Stop();
    ASSERT_TRUE(rig.atClose->closed);

    auto again = sim::SimulatedParallelPort::ForCable(1, rig.dir.dir(), TestChips()[kS51], target);
    OneBackendFactory factory(std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(std::move(again)),
                                                              IspOptions{.sleeper = rig.sleeper}));
    rig.events.Clear();
    EXPECT_EQ(rig.manager.Init(rig.events, 1, 2, factory), 1);
    rig.manager.keepLength = 1;
    rig.manager.ReadChip(kS51);
    ASSERT_TRUE(rig.events.WaitFor(ReadDone));
    EXPECT_EQ(rig.events.Codes(), (Codes{ParallelInitDone, ReadingProgress, ReadingProgress, ReadingProgress, ReadDone}));
    EXPECT_TRUE(std::equal(rig.manager.Buffer2().begin(), rig.manager.Buffer2().begin() + 40,
                           rig.manager.Buffer1().begin()));
}

TEST(IspProgrammer, ANewRequestOnTheFinalEventStartsCleanly) {
    IspRig rig({.programmerType = 3, .speed = 1});
    FillBuffer1(rig.manager, 16);
    for (int run = 0; run < 5; ++run) {
        rig.events.Clear();
        rig.manager.WriteChip(kS51);
        ASSERT_TRUE(rig.events.WaitFor(WriteDone));
        EXPECT_FALSE(rig.programmer->busy());
    }
    rig.WaitIdle();
    EXPECT_EQ(rig.events.Codes(), Repeated(WritingProgress, 2, WriteDone));
}

TEST(IspProgrammer, AWrongCableReadsNoSignature) {
    IspRig rig({.programmerType = 3, .speed = 2, .cableType = 2});
    rig.events.Clear();
    rig.manager.ReadSignature(kS51);
    ASSERT_TRUE(rig.events.WaitFor(ChipNotDetected));
    rig.WaitIdle();
    EXPECT_EQ(rig.events.Codes(), Codes{ChipNotDetected});
}

TEST(IspProgrammer, NoPortShowsTheMessageAndTheReasonButStillRuns) {
    TempDir empty;
    TempDir dir;
    RecordingEvents events;
    RecordingMessages messages;
    ProgrammerManager manager;
    events.messages = &messages;
    events.results = &manager;
    manager.SetProgramDirectory(dir.dir());
    WriteTestCatalogue(dir);
    manager.LoadChipList();
    IspOptions options;
    options.sleeper = std::make_shared<RecordingSleeper>();
    const PortSearch search{.procParportDir = empty.file("proc"), .devDir = empty.file("dev"), .allowDirectIo = false};
    OneBackendFactory factory(std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(nullptr, search), options));
    EXPECT_EQ(manager.Init(events, 1, 2, factory), 0);
    EXPECT_EQ(events.Codes(), Codes{ParallelInitFailed});
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Initialize I/O Port Failed!"});
    EXPECT_EQ(events.DetailOf(ParallelInitFailed).rfind("No parallel port found", 0), 0U)
        << events.DetailOf(ParallelInitFailed);

    manager.CheckReady(kS51);
    manager.ReadSignature(kS51);
    ASSERT_TRUE(events.WaitFor(ChipNotDetected));
    EXPECT_EQ(events.Codes(), (Codes{ParallelInitFailed, ProgrammerUnusable, ChipNotDetected}));
    EXPECT_EQ(manager.signature(), (Signature{0xFF, 0xFF, 0xFF}));
}

TEST(IspProgrammer, PortLogFromTheOptions) {
    TempDir logs;
    const auto runWith = [&](const std::string& logPath) {
        std::string error;
        std::shared_ptr<std::ostream> log = OpenPortLog(logPath, error);
        EXPECT_TRUE(log) << error;
        TempDir dir;
        RecordingEvents events;
        RecordingMessages messages;
        events.messages = &messages;
        ProgrammerManager manager;
        manager.SetProgramDirectory(dir.dir());
        IspOptions options{.portLog = log, .sleeper = std::make_shared<RecordingSleeper>()};
        auto lines = std::make_unique<ParallelPortLines>(
            std::make_unique<sim::SimulatedParallelPort>(2, kAtmelByteBlasterMap, TestChips()[kS51]));
        ParallelPortLines* driven = lines.get();
        OneBackendFactory factory(std::make_unique<IspProgrammer>(std::move(lines), options));
        EXPECT_EQ(manager.Init(events, 2, 2, factory), 1);
        driven->ReadMiso();
        manager.ShutdownBackend();
        return messages.Texts();
    };
    EXPECT_TRUE(runWith(logs.file("option.log")).empty());
    EXPECT_EQ(logs.Read("option.log"), "W D 0x00\nR S 0x78\n");
}

// A FerrowIsp.ini the cable cannot work with is named at start-up, not found out by a chip
// that is never detected.
TEST(IspProgrammer, AnUnusablePinMapFailsInitAndDrivesNoLine) {
    IspRig rig({.programmerType = 1, .speed = 2, .ferrowIni = "[Pin Control]\nSCK=14\n"});
    EXPECT_EQ(rig.initResult, 0);
    EXPECT_EQ(rig.events.Codes(), Codes{ParallelInitFailed});
    const std::string path = rig.dir.file("FerrowIsp.ini");
    const Message expected{"The pin map in FerrowIsp.ini cannot be used.", "Ferrow ISP",
                           path + ": MOSI (by default) and SCK are both on pin 14."};
    EXPECT_EQ(rig.messages.Messages(), std::vector<Message>{expected});
    EXPECT_NE(rig.events.DetailOf(ParallelInitFailed).find(path), std::string::npos)
        << rig.events.DetailOf(ParallelInitFailed);

    rig.events.Clear();
    rig.manager.CheckReady(kS51);
    rig.manager.ReadSignature(kS51);
    rig.manager.WriteChip(kS51);
    rig.WaitIdle();
    EXPECT_EQ(rig.events.Codes(), Codes(3, ProgrammerUnusable));
    EXPECT_TRUE(rig.TakeLog().empty());
}

TEST(IspProgrammer, APinMapValueThatIsNotANumberIsReportedAndItsDefaultWorks) {
    IspRig rig({.programmerType = 1, .speed = 2, .ferrowIni = "[Pin Control]\nMISO=fifteen\n"});
    EXPECT_EQ(rig.initResult, 1);
    EXPECT_EQ(rig.events.Codes(), Codes{ParallelInitDone});
    const std::vector<Message> shown = rig.messages.Messages();
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown[0].detail,
              rig.dir.file("FerrowIsp.ini") + ": [Pin Control] MISO=fifteen is not a number; the default 15 is used instead.");
    rig.events.Clear();
    rig.manager.ReadSignature(kS51);
    ASSERT_TRUE(rig.events.WaitFor(ChipIdentified));
}

}  // namespace
}  // namespace korvan::testing
