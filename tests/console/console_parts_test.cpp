// The console's parts through their own interfaces, where a fault would hide behind the facade.
#include "console/image_files.h"
#include "console/report_gate.h"
#include "console/run_recorder.h"
#include "console/status_presenter.h"
#include "engine/event_code.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;

// A report handled while held ones are let through can start another pause (an erase in a
// sequence): what follows it waits for that pause, in order.
TEST(ReportGateTest, AHeldReportThatPausesAgainHoldsTheRest) {
    TimerQueue::Clock::time_point now{};
    TimerQueue timer{[&now] { return now; }};
    std::vector<int> delivered;
    ReportGate* gateInUse = nullptr;
    ReportGate gate(timer, [&](const Report& report) {
        const int code = std::get<int>(report);
        delivered.push_back(code);
        if (code == EraseDone) {
            gateInUse->HoldFor(std::chrono::milliseconds(100));
        }
    });
    gateInUse = &gate;

    gate.Pass(Report(ReadStarted));
    gate.HoldFor(std::chrono::milliseconds(100));
    gate.Pass(Report(EraseDone));
    gate.Pass(Report(ReadDone));
    gate.Pass(Report(WriteDone));
    EXPECT_THAT(delivered, ElementsAre(ReadStarted));

    now += std::chrono::milliseconds(100);
    timer.RunDue();
    EXPECT_THAT(delivered, ElementsAre(ReadStarted, EraseDone));
    EXPECT_TRUE(gate.holding());

    now += std::chrono::milliseconds(100);
    timer.RunDue();
    EXPECT_THAT(delivered, ElementsAre(ReadStarted, EraseDone, ReadDone, WriteDone));
    EXPECT_FALSE(gate.holding());
}

// Lines given in one batch are counted, so the next line goes in after them; a frame or a
// batch never becomes the line a failed run is recorded with; emptying starts again at 0.
TEST(StatusPresenterTest, CountsBatchesAndKeepsTheLastLineThatSaysSomething) {
    RecordingView view;
    StatusPresenter status(view);
    status.AddStatus("first");
    status.AddLines({"a", "b"});
    status.AddStatus("-----frame-----");
    EXPECT_EQ(status.lineCount(), 4);
    EXPECT_EQ(view.selectedLine, 3);
    EXPECT_EQ(status.lastLine(), "first");
    EXPECT_THAT(view.lines, ElementsAre("first", "a", "b", "-----frame-----"));

    status.Clear();
    status.AddStatus("again");
    EXPECT_EQ(view.selectedLine, 0);
    EXPECT_THAT(view.lines, ElementsAre("again"));
    EXPECT_THAT(view.pages, ElementsAre(StatusPage));  // brought to the front once
}

TEST(StatusPresenterTest, TransferCaptionCountsByteIndexesAndTheBarStopsAtFull) {
    RecordingView view;
    StatusPresenter status(view);
    status.ShowTransfer("WRITING", 0x30, 0x40);
    EXPECT_EQ(view.progressText, "WRITING: 002F/003F");
    status.ShowTransfer("READING", 0x50, 0x40);  // a block ending past the total
    EXPECT_EQ(view.progressText, "READING: 003F/003F");
    status.ShowTransfer("READING", 1, 1);
    EXPECT_EQ(view.progressText, "READING: 0000/0000");
    EXPECT_THAT(view.progressPositions, ElementsAre(76, 100, 100));
}

// Hands every step ending to the test.
class RecordingSequence : public SequenceControl {
public:
    void ContinueSequence(bool success, bool notify) override { endings.emplace_back(success, notify); }
    void SetButtonsIdle(bool idle) override { idles.push_back(idle); }
    std::vector<std::pair<bool, bool>> endings;
    std::vector<bool> idles;
};

class ImageFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::uint8_t> catalogue = EncodeCatalogue(TestChips());
        manager.catalogue().Parse(catalogue);
        manager.SelectChip(0);  // "Small": 4 KiB of ROM
        manager.Buffer2().fill(kBlank);
    }
    ProgrammerManager manager;
    RecordingView view;
    StatusPresenter status{view};
    RunRecorder recorder;
    RecordingSequence sequence;
    Buffers buffers{manager.Buffer1(), manager.Buffer2()};
    ImageFiles files{manager, buffers, view, status, recorder, sequence};
};

// The blank check looks at the whole ROM, its last byte included, and at nothing past it.
TEST_F(ImageFilesTest, BlankCheckReachesTheLastRomByteAndNoFurther) {
    manager.Buffer2()[0x1000] = 0x00;
    EXPECT_TRUE(files.ReportBlank(true));
    EXPECT_TRUE(files.ReportBlank(false));
    manager.Buffer2()[0x0FFF] = 0x00;
    EXPECT_FALSE(files.ReportBlank(true));
    EXPECT_THAT(view.lines, ElementsAre("Chip is blank.", "Chip reads blank (a locked chip reads the same).",
                                        "Chip is not blank: first programmed byte at 0x0FFF."));
}

// Data that ends exactly at the ROM's end fits; one byte more does not, and ends the step.
TEST_F(ImageFilesTest, ImageFitsUpToTheRomsLastByte) {
    ClearImage(manager.Buffer1());
    manager.Buffer1()[0x0FFF] = 0x12;
    EXPECT_TRUE(files.ImageFitsChip(0));
    EXPECT_TRUE(sequence.endings.empty());
    manager.Buffer1()[0x1000] = 0x34;
    EXPECT_FALSE(files.ImageFitsChip(0));
    EXPECT_THAT(view.lines, ElementsAre("Image data reaches 0x1000 (4097 bytes); the Small holds 4096 bytes."));
    EXPECT_THAT(sequence.endings, ElementsAre(std::make_pair(false, true)));
    EXPECT_TRUE(files.ImageFitsChip(2));  // 64 KiB holds it
}

// Keeps each run's outcome; stamps 7, 8, ... at address 0.
class OutcomeObserver : public RunObserver {
public:
    std::string ImageProblem(const Image&, std::size_t) override { return {}; }
    std::string StartProblem() override { return {}; }
    Stamp StampImage(Image& image) override {
        image[0] = static_cast<std::uint8_t>(next);
        return {next++, "stamped", {}};
    }
    std::uint64_t next = 7;
    std::string RunEnded(const RunOutcome& outcome) override {
        outcomes.push_back(outcome);
        return {};
    }
    std::vector<RunOutcome> outcomes;
};

// A verification's count of wrong bytes reaches the run's record, whatever else fails.
TEST_F(ImageFilesTest, MismatchCountReachesTheRunRecord) {
    OutcomeObserver observer;
    recorder.SetObserver(&observer);
    recorder.Begin();
    recorder.StartStep("verify");
    ClearImage(manager.Buffer1());
    manager.Buffer1()[0x10] = 0x01;
    manager.Buffer1()[0x20] = 0x02;
    manager.Buffer2()[0x20] = 0x02;
    manager.Buffer2()[0x30] = 0x03;
    EXPECT_FALSE(files.VerifyBuffers());
    recorder.RecordFailure(status.lastLine(), {"encrypt"});
    std::vector<std::string> problems;
    recorder.Close({}, "image.hex", "Small", DigestImage({}),
                   [&problems](const std::string& problem) { problems.push_back(problem); });
    EXPECT_THAT(problems, ElementsAre(""));
    ASSERT_EQ(observer.outcomes.size(), 1U);
    const RunOutcome& outcome = observer.outcomes.front();
    EXPECT_EQ(outcome.mismatches, 2U);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.failure, "Total 2 Bytes Wrong!");
    EXPECT_EQ(outcome.imagePath, "image.hex");
    EXPECT_EQ(outcome.chip, "Small");
    ASSERT_EQ(outcome.steps.size(), 2U);
    EXPECT_EQ(outcome.steps[0].result, StepResult::Failed);
    EXPECT_EQ(outcome.steps[1].name, "encrypt");
    EXPECT_EQ(outcome.steps[1].result, StepResult::NotRun);
}

// Holds every job until the test lets the worker run.
class ManualWorker : public Worker {
public:
    void Run(std::function<void()> work, std::function<void()> done) override {
        jobs.emplace_back(std::move(work), std::move(done));
    }
    void RunAll() {
        for (auto& [work, done] : std::exchange(jobs, {})) {
            work();
            done();
        }
    }
    std::vector<std::pair<std::function<void()>, std::function<void()>>> jobs;
};

// With a worker, the stamp and the record wait for it: nothing is placed or kept before, and
// the serial number it took still reaches the run's record.
TEST(RunRecorderTest, StampAndRecordAreMadeByTheWorkerInTheirOrder) {
    ManualWorker worker;
    OutcomeObserver observer;
    RunRecorder recorder;
    recorder.SetObserver(&observer);
    recorder.SetWorker(&worker);
    recorder.Begin();
    Image image{};
    std::vector<std::uint8_t> placed;
    recorder.Stamp(image, [&](const RunObserver::Stamp& stamp, const Image& stamped) {
        EXPECT_EQ(stamp.line, "stamped");
        placed.push_back(stamped[0]);
    });
    EXPECT_TRUE(placed.empty());
    EXPECT_EQ(image[0], 0);  // the caller's bytes change only when it places the stamp
    worker.RunAll();
    EXPECT_THAT(placed, ElementsAre(7));

    recorder.Close({}, "", "", {}, [](const std::string&) {});
    EXPECT_TRUE(observer.outcomes.empty());
    ASSERT_EQ(worker.jobs.size(), 1U);
    worker.RunAll();
    ASSERT_EQ(observer.outcomes.size(), 1U);
    EXPECT_EQ(observer.outcomes.front().serial, 7U);
}

}  // namespace
}  // namespace korvan::testing
