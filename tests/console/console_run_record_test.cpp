#include "engine/event_code.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

// Stamps a number at 0x10 and keeps every run's outcome; what it refuses is set by the test.
class RecordingObserver : public RunObserver {
public:
    std::string ImageProblem(const Image&, std::size_t romBytes) override {
        romSizes.push_back(romBytes);
        return imageProblem;
    }
    std::string StartProblem() override {
        ++startChecks;
        return startProblem;
    }
    Stamp StampImage(Image& image) override {
        if (!stampError.empty()) {
            return {std::nullopt, {}, stampError};
        }
        image[0x10] = static_cast<std::uint8_t>(next);
        return {next++, "Serial Number " + std::to_string(next - 1) + ".", {}};
    }
    std::string RunEnded(const RunOutcome& outcome) override {
        outcomes.push_back(outcome);
        return recordProblem;
    }

    std::string imageProblem;
    std::string startProblem;
    int startChecks = 0;
    std::string stampError;
    std::string recordProblem;
    std::uint64_t next = 5;
    std::vector<std::size_t> romSizes;
    std::vector<RunOutcome> outcomes;
};

std::vector<std::pair<std::string, StepResult>> Steps(const RunOutcome& outcome) {
    std::vector<std::pair<std::string, StepResult>> steps;
    for (const JobStep& step : outcome.steps) {
        steps.emplace_back(step.name, step.result);
    }
    return steps;
}

class ConsoleRunTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        console.SetRunObserver(&observer);
    }
    RecordingObserver observer;
};

// A serial write ends with the programmer's probe: the run, and its record, end only then.
TEST_F(ConsoleRunTest, EachCommandIsOneRunRecordedAfterItsLastAnswer) {
    Start(0);
    console.OnWrite();
    EXPECT_EQ(manager.Buffer1()[0x10], 5);
    EXPECT_EQ(view.lines.front(), "Serial Number 5.");
    Post(WriteDone);
    EXPECT_EQ(view.successes, 1);
    EXPECT_TRUE(observer.outcomes.empty());
    Post(ProgrammerReady);
    ASSERT_EQ(observer.outcomes.size(), 1U);
    const RunOutcome& write = observer.outcomes[0];
    EXPECT_TRUE(write.ok);
    EXPECT_EQ(write.serial, 5U);
    EXPECT_THAT(Steps(write), ElementsAre(std::pair{std::string("write"), StepResult::Ok}));

    console.OnCheck();
    manager.SetSignature({0xAB, 0x0C, 0x5D});
    Post(ChipNotDetected);
    ASSERT_EQ(observer.outcomes.size(), 2U);
    const RunOutcome& check = observer.outcomes[1];
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.failure, "Programmer:Chip Not Detected(Code: ab 0c 5d).");
    EXPECT_EQ(check.signature, (Signature{0xAB, 0x0C, 0x5D}));
    EXPECT_FALSE(check.serial.has_value());
}

// What the observer refuses stops the run before the chip is erased; the steps after the
// refusal are recorded as not run.
TEST_F(ConsoleRunTest, RefusedImageOrNumberStopsTheRunBeforeTheChipIsTouched) {
    Start(1);
    observer.imageProblem = "Serial number area 0x0010..0x0011 holds programmed bytes.";
    console.RunSteps(PendingSteps{.erase = true, .write = true, .verify = true});
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    Post(ProgrammerReady);
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));  // no erase
    EXPECT_THAT(observer.romSizes, ElementsAre(4096U));  // the selected chip's
    ASSERT_EQ(observer.outcomes.size(), 1U);
    EXPECT_EQ(observer.outcomes[0].failure, observer.imageProblem);
    EXPECT_THAT(Steps(observer.outcomes[0]),
                ElementsAre(std::pair{std::string("ready"), StepResult::Ok},
                            std::pair{std::string("erase"), StepResult::Failed},
                            std::pair{std::string("write"), StepResult::NotRun},
                            std::pair{std::string("verify"), StepResult::NotRun}));

    observer.imageProblem.clear();
    observer.stampError = "Serial number not taken: cannot read /x/counter: Permission denied";
    console.OnWrite();
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    ASSERT_EQ(observer.outcomes.size(), 2U);
    EXPECT_EQ(observer.outcomes[1].failure, observer.stampError);
    EXPECT_EQ(view.lines.back(), observer.stampError);
}

// A run that writes asks the observer first, at every such run: while it refuses, nothing reaches
// the programmer and no run is recorded; the next run asks again and goes ahead once it agrees.
// A run that writes nothing does not ask.
TEST_F(ConsoleRunTest, ARunThatWritesIsRefusedAtItsStartWhileItsNumbersCannotBeHad) {
    Start(1);
    observer.startProblem = "Serial Number Not Taken: cannot reach the job store on db:5432/line: Connection refused";
    console.RunSteps(PendingSteps{.erase = true, .write = true, .verify = true});
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(view.lines.back(), observer.startProblem);
    EXPECT_EQ(view.failures, 1);
    EXPECT_TRUE(observer.outcomes.empty());
    EXPECT_EQ(console.outstanding(), 0);
    EXPECT_TRUE(console.CommandEnabled(Button::Write));

    console.OnRead();
    EXPECT_THAT(calls(), ElementsAre("ReadChip(11)"));
    EXPECT_EQ(observer.startChecks, 1);
    Post(ReadDone);
    ASSERT_EQ(observer.outcomes.size(), 1U);

    observer.startProblem.clear();
    console.OnWrite();
    EXPECT_EQ(observer.startChecks, 2);
    EXPECT_THAT(calls(), ElementsAre("ReadChip(11)", "WriteChip(11)"));
    EXPECT_EQ(manager.Buffer1()[0x10], 5);
}

// A record that cannot be kept makes a run that succeeded a failure, and says why.
TEST_F(ConsoleRunTest, RecordThatCannotBeKeptFailsTheRun) {
    Start(1);
    observer.recordProblem = "Job Log Not Written: cannot write /full/job.log: No space left on device";
    console.OnEncrypt();
    Post(LockBitDone);
    EXPECT_EQ(view.lines.back(), observer.recordProblem);
    EXPECT_TRUE(console.failed());
    EXPECT_EQ(view.failures, 1);
    ASSERT_EQ(observer.outcomes.size(), 1U);
    EXPECT_TRUE(observer.outcomes[0].ok);
}

// A front end that keeps the run open records start-up, the sequence and the lock bits as one.
TEST_F(ConsoleRunTest, FrontEndKeepsSeveralCommandsAsOneRun) {
    console.KeepRunsOpen();
    console.BeginRun();
    Start(1);
    console.RunSteps(PendingSteps{.erase = true});
    Post(ProgrammerReady);
    Advance(kEraseSettleTime);
    Post(EraseDone);
    console.SelectLockBit(1);
    console.OnWriteBit();
    Post(LockBitDone);
    EXPECT_TRUE(observer.outcomes.empty());
    console.CloseRun("interrupted");
    ASSERT_EQ(observer.outcomes.size(), 1U);
    EXPECT_EQ(observer.outcomes[0].failure, "interrupted");
    EXPECT_THAT(observer.outcomes[0].steps,
                ElementsAre(Field(&JobStep::name, "ready"), Field(&JobStep::name, "erase"),
                            Field(&JobStep::name, "lock")));
}

}  // namespace
}  // namespace korvan::testing
