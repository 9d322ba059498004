#include "engine/event_code.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;

struct SimpleEvent {
    int code;
    const char* line;
    bool failure;  // ends a sequence with the failure notification
};

class SimpleEventTest : public ConsoleTest, public ::testing::WithParamInterface<SimpleEvent> {};

// Events that print one line and end the running step: a failure drops the rest of the
// sequence; a success goes on with the next pending step.
TEST_P(SimpleEventTest, PrintsItsLineAndEndsTheStep) {
    const SimpleEvent event = GetParam();
    Start(1);
    console.OnErase();
    ASSERT_THAT(calls(), ElementsAre("EraseChip(11)"));
    EXPECT_FALSE(view.IsEnabled(Button::Write));

    Post(event.code);
    EXPECT_TRUE(view.lines.empty());  // held while the erase settles
    Advance(kEraseSettleTime);

    EXPECT_THAT(view.lines, ElementsAre(event.line));
    EXPECT_TRUE(view.IsEnabled(Button::Write));
    EXPECT_EQ(view.failures, event.failure ? 1 : 0);
    EXPECT_EQ(console.failed(), event.failure);
    EXPECT_EQ(console.outstanding(), 0);
    EXPECT_FALSE(console.pending().Any());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SimpleEventTest,
    ::testing::Values(SimpleEvent{SerialNotInitialized, "Serial Not Initialized.", true},
                      SimpleEvent{ProgrammerUnusable, "Programmer: Unusable.", true},
                      SimpleEvent{DataReceivedError, "Data Received Error.", true},
                      SimpleEvent{EraseDone, "Programmer: Erase Done.", false},
                      SimpleEvent{ProgrammingError, "Programmer: Programming Error.", true},
                      SimpleEvent{LockBitDone, "Programmer: Write Lock Bit Done.", false},
                      SimpleEvent{ProgrammerError, "Programmer: Error.", true}));

TEST_F(ConsoleTest, AFailureWithADetailPrintsItOnceUnderItsLine) {
    Start(1);
    console.OnErase();
    Post(Finished{ProgrammerError, "Check the target's power."});
    Advance(kEraseSettleTime);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Error.", "Check the target's power."));
    EXPECT_EQ(view.failures, 1);

    view.ForgetLines();
    console.OnErase();
    Post(ProgrammerError);
    Advance(kEraseSettleTime);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Error."));

    view.ForgetLines();
    console.OnErase();
    Post(EraseDone);
    Advance(kEraseSettleTime);
    console.OnErase();
    Post(Finished{DataReceivedError, "The programmer gave no answer within 1000 ms."});
    Advance(kEraseSettleTime);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Erase Done.", "Data Received Error.",
                                        "The programmer gave no answer within 1000 ms."));
}

TEST_F(ConsoleTest, SerialStartUpReportsInitThenProbesTheSelectedChip) {
    console.InitControls(std::nullopt);
    console.StartProgrammer(queue, factory);
    console.SelectChip(2);
    Pump();
    EXPECT_THAT(view.lines, ElementsAre("Korvan v2.3", "Initialize Serial Port Done."));
    EXPECT_THAT(calls(), ElementsAre("CheckReady(13)"));
    EXPECT_TRUE(console.initReported());
    EXPECT_EQ(console.outstanding(), 1);

    Post(ProgrammerReady);
    EXPECT_EQ(view.lines.back(), "Programmer: Ready.");
    EXPECT_EQ(console.outstanding(), 0);
    EXPECT_EQ(view.successes, 0);  // a Ready reply finishes without notification
    EXPECT_EQ(view.failures, 0);
    EXPECT_TRUE(view.IsEnabled(Button::Auto));
}

TEST_F(ConsoleTest, InitFailureAddsTheDetailItsReportCarries) {
    Start(1);
    Post(Finished{SerialInitFailed, "/dev/ttyS0: permission denied"});
    Post(Finished{ParallelInitFailed, "No parallel port found."});
    EXPECT_THAT(view.lines, ElementsAre("Initialize Serial Port Failed.", "/dev/ttyS0: permission denied",
                                        "Initialize Parallel Port Failed.", "No parallel port found."));
    EXPECT_EQ(view.failures, 2);

    // A failure without a detail adds its own line only, whatever an earlier one said.
    view.ForgetLines();
    Post(Finished{ParallelInitFailed, ""});
    Post(SerialInitFailed);
    EXPECT_THAT(view.lines, ElementsAre("Initialize Parallel Port Failed.", "Initialize Serial Port Failed."));
}

TEST_F(ConsoleTest, ParallelInitDoneStartsNothing) {
    InfoSave record = FirstStartInfoSave();
    record.programmerType = 1;
    console.InitControls(record);
    console.StartProgrammer(queue, factory);
    Pump();
    EXPECT_THAT(view.lines, ElementsAre("Korvan v2.3", "Initialize Parallel Port Done."));
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(console.initReported());
    EXPECT_EQ(console.outstanding(), 0);
}

TEST_F(ConsoleTest, WriteReportsUsedLengthAndProgressCaptions) {
    Start(1);
    manager.Buffer1()[0] = 0x02;
    manager.Buffer1()[16] = 0x7A;  // 17 bytes to write
    console.OnWrite();
    ASSERT_THAT(calls(), ElementsAre("WriteChip(11)"));
    EXPECT_EQ(view.Icon(Button::Write), 1);

    Post(WriteStarted);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Starts Writing.", "Write 17 Bytes..."));

    view.pages.clear();
    Post(Progress{WritingProgress, 16, 17});
    EXPECT_TRUE(view.progressVisible);
    EXPECT_EQ(view.progressText, "WRITING: 000F/0010");
    EXPECT_EQ(view.progressPositions.back(), 100);
    EXPECT_TRUE(view.pages.empty());  // progress never switches pages

    Post(Progress{WritingProgress, 32, 17});
    EXPECT_EQ(view.progressText, "WRITING: 0010/0010");  // blocks of 16 can end past the total
    EXPECT_EQ(view.progressPositions.back(), 100);

    Post(WriteDone);
    EXPECT_EQ(view.lines.back(), "Programmer: Writing Done.");
    EXPECT_EQ(view.progressText, "Programming Done");
    EXPECT_EQ(view.progressPositions.back(), 100);
    EXPECT_EQ(view.repaints, 1);
    EXPECT_EQ(console.writeCounter(), 1);
    EXPECT_EQ(view.successes, 1);
}

TEST_F(ConsoleTest, ReadProgressUsesTheReadCaptionAndNeverDividesByZero) {
    Start(1);
    Post(Progress{ReadingProgress, 48, 64});
    EXPECT_EQ(view.progressText, "READING: 002F/003F");
    EXPECT_EQ(view.progressPositions.back(), 76);

    Post(Progress{ReadingProgress, 0, 1});
    EXPECT_EQ(view.progressPositions.back(), 0);
    Post(Progress{ReadingProgress, 16, 1});
    EXPECT_EQ(view.progressText, "READING: 0000/0000");
    EXPECT_EQ(view.progressPositions.back(), 100);

    Post(Progress{WritingProgress, 0, 0});
    EXPECT_EQ(view.progressText, "WRITING: 0000/0000");  // nothing to come: no negative index
    EXPECT_EQ(view.progressPositions.back(), 0);
    EXPECT_TRUE(view.lines.empty());
}

TEST_F(ConsoleTest, ReadDoneLoadsTheBuffer2ViewAndContinues) {
    Start(1);
    console.SelectChip(1);
    console.OnRead();
    EXPECT_THAT(calls(), ElementsAre("ReadChip(12)"));
    EXPECT_EQ(manager.keepLength, 0);
    manager.Buffer2()[5] = 0x42;
    ASSERT_TRUE(console.EditBuffer2(6, {0x00}));  // the read replaces it
    Post(ReadStarted);
    Post(ReadDone);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Start Reading.", "Programmer: Reading Done.", "Data in Buffer2."));
    EXPECT_EQ(console.buffer2().At(5), 0x42);
    EXPECT_EQ(console.buffer2().At(6), kBlank);
    EXPECT_FALSE(console.buffer2().CanUndo());
    EXPECT_EQ(view.progressText, "Reading Done");
    EXPECT_EQ(view.successes, 1);
    EXPECT_EQ(view.failures, 0);
}

TEST_F(ConsoleTest, IdentificationSelectsTheChipAndReportsCatalogueValues) {
    Start(1);
    console.OnCheck();
    ASSERT_THAT(calls(), ElementsAre("ReadSignature(11)"));
    manager.SetSignature({0xAB, 0x0C, 0x5D});
    ASSERT_EQ(manager.IdentifyChip(), 1);
    Pump();
    EXPECT_EQ(view.chipSelection, 1);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Chip(Code: ab 0c 5d).",
                                        "Marked - ROM Size: 8K Bytes. Programming Voltage: 5.00V."));
    EXPECT_EQ(view.successes, 1);
}

TEST_F(ConsoleTest, UnknownChipReportsItsSignatureAndFails) {
    Start(1);
    console.OnCheck();
    manager.SetSignature({0x00, 0xFE, 0x0A});
    ASSERT_EQ(manager.IdentifyChip(), 0);
    Pump();
    EXPECT_THAT(view.lines, ElementsAre("Programmer:Chip Not Detected(Code: 00 fe 0a)."));
    EXPECT_EQ(view.chipSelection, 0);
    EXPECT_EQ(view.failures, 1);
}

TEST_F(ConsoleTest, UnassignedCodes) {
    Start(1);
    console.OnErase();
    Advance(kEraseSettleTime);
    Post(8);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_FALSE(view.IsEnabled(Button::Erase));  // code 8 changes nothing
    Post(21);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(view.failures, 1);
    EXPECT_TRUE(view.IsEnabled(Button::Erase));
    Post(-3);
    EXPECT_EQ(view.failures, 2);
}

TEST_F(ConsoleTest, StatusLinesBringTheStatusPageToTheFront) {
    Start(1);
    console.ShowPage(Buffer1Page);
    view.pages.clear();
    console.AddStatus("one");
    console.AddStatus("two");
    EXPECT_THAT(view.pages, ElementsAre(StatusPage));
    EXPECT_EQ(console.currentPage(), StatusPage);
    EXPECT_EQ(view.selectedLine, console.lineCount() - 1);
}

TEST_F(ConsoleTest, FirstStatusLineOfAStartShowsTheStatusPage) {
    console.InitControls(std::nullopt);
    EXPECT_THAT(view.pages, ElementsAre(StatusPage));
    EXPECT_THAT(view.lines, ElementsAre("Korvan v2.3"));
    EXPECT_THAT(view.lockBitNames, ElementsAre("Lock Bit-1", "Lock Bit-2", "Lock Bit-3"));
    EXPECT_EQ(view.lockBitSelection, 2);
    EXPECT_EQ(console.lockBitSelection(), 2);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_TRUE(view.IsEnabled(Button::Auto));
}

}  // namespace
}  // namespace korvan::testing
