#include "engine/event_code.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Auto toggles all off: each test marks what it needs.
InfoSave NoToggles(int programmerType) {
    InfoSave record = FirstStartInfoSave();
    record.programmerType = programmerType;
    record.autoCheck = 0;
    record.autoOpen = record.autoErase = record.autoWrite = record.autoRead = record.autoVerify =
        record.autoEncrypt = 0;
    return record;
}

TEST_F(ConsoleTest, AutoRunsEveryMarkedStepInOrderOneEventAtATime) {
    InfoSave record = FirstStartInfoSave();
    record.programmerType = 1;
    record.autoCheck = 1;
    record.autoEncrypt = 1;  // with Erase, Write and Verify of the first-start values
    Start(1, record);
    dir.Write("fw.bin", std::string("\x02\x33\x7A", 3));
    console.SelectImageFile(dir.file("fw.bin"));
    console.AddStatus("old line");

    console.OnAuto();
    // The Status list starts again; the load ran at once and the probe went out.
    EXPECT_EQ(view.lines.front(), "Read " + dir.file("fw.bin") + " Buffer1(3 Bytes).");
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    EXPECT_TRUE(view.IsEnabled(Button::Erase));  // the probe leaves the controls enabled

    Post(ProgrammerReady);
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)", "ReadSignature(11)"));
    manager.SetSignature({0x12, 0x34, 0x56});
    manager.IdentifyChip();
    Pump();
    // The identified chip is the one the later steps use.
    EXPECT_EQ(calls().back(), "EraseChip(13)");
    EXPECT_FALSE(view.IsEnabled(Button::Erase));
    EXPECT_EQ(view.Icon(Button::Erase), 1);
    // The erase settles for 100 ms: its answer waits, in order, until then.
    EXPECT_TRUE(console.settling());
    Post(EraseDone);
    Advance(std::chrono::milliseconds(99));
    EXPECT_EQ(calls().back(), "EraseChip(13)");
    Advance(std::chrono::milliseconds(1));
    EXPECT_FALSE(console.settling());
    EXPECT_EQ(calls().back(), "WriteChip(13)");
    Post(WriteStarted);
    Post(WriteDone);
    EXPECT_EQ(calls().back(), "ReadChip(13)");
    EXPECT_EQ(manager.keepLength, 1);
    EXPECT_TRUE(console.verifyFlag());
    manager.Buffer2()[0] = 0x02;
    manager.Buffer2()[1] = 0x33;
    manager.Buffer2()[2] = 0x7A;
    Post(ReadDone);
    EXPECT_EQ(calls().back(), "WriteLockBits(13,3)");
    EXPECT_TRUE(view.IsEnabled(Button::Erase));  // enabled again while the lock bits are written
    EXPECT_EQ(view.successes, 0);

    Post(LockBitDone);
    EXPECT_EQ(view.successes, 1);
    EXPECT_EQ(view.failures, 0);
    EXPECT_EQ(calls().size(), 6U);
    EXPECT_EQ(console.outstanding(), 0);
    EXPECT_FALSE(console.failed());
}

TEST_F(ConsoleTest, SerialWriteWaitsForTheReadyReplyBeforeAPendingVerify) {
    InfoSave record = NoToggles(0);
    record.autoWrite = record.autoVerify = 1;
    Start(0, record);
    console.OnAuto();
    Post(ProgrammerReady);
    ASSERT_EQ(calls().back(), "WriteChip(11)");
    Post(WriteDone);
    EXPECT_EQ(calls().back(), "WriteChip(11)");
    EXPECT_EQ(console.outstanding(), 1);  // the write's own probe
    Post(ProgrammerReady);
    EXPECT_EQ(calls().back(), "ReadChip(11)");
    EXPECT_EQ(manager.keepLength, 1);
}

TEST_F(ConsoleTest, ARunningSerialWriteWaitsForItsProbeWhateverTheSettingsNowSay) {
    InfoSave record = NoToggles(0);
    record.autoWrite = record.autoVerify = 1;
    Start(0, record);
    // Another programmer chosen and saved: it takes effect only at the next start.
    console.ChooseSetting(SettingItem::ProgrammerType, FerrowIspType);
    console.SettingsToSave().Write();
    console.OnAuto();
    Post(ProgrammerReady);
    Post(WriteDone);
    EXPECT_EQ(calls().back(), "WriteChip(11)");
    Post(ProgrammerReady);
    EXPECT_EQ(calls().back(), "ReadChip(11)");
}

TEST_F(ConsoleTest, SerialWriteWaitsForTheReadyReplyBeforeAnyPendingStep) {
    InfoSave record = NoToggles(0);
    record.autoWrite = record.autoEncrypt = 1;
    Start(0, record);
    console.OnAuto();
    Post(ProgrammerReady);
    Post(WriteDone);
    EXPECT_EQ(calls().back(), "WriteChip(11)");
    Post(ProgrammerReady);
    EXPECT_EQ(calls().back(), "WriteLockBits(11,3)");

    // With nothing left the write finishes at once, with its notification.
    console.OnWrite();
    Post(WriteDone);
    EXPECT_EQ(view.successes, 1);
    EXPECT_EQ(console.outstanding(), 2);  // the lock bits and the write's probe
}

TEST_F(ConsoleTest, VerifyOnlyKeepsTheWrittenLengthOnlyAfterAWrite) {
    InfoSave record = NoToggles(1);
    record.autoVerify = 1;
    Start(1, record);
    manager.keepLength = 1;
    console.OnAuto();
    Post(ProgrammerReady);
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)", "ReadChip(11)"));
    EXPECT_EQ(manager.keepLength, 0);  // no write since start: the whole ROM

    Post(ReadDone);
    EXPECT_EQ(view.failures, 0);
    console.OnWrite();
    Post(WriteDone);
    console.OnAuto();
    Post(ProgrammerReady);
    EXPECT_EQ(calls().back(), "ReadChip(11)");
    EXPECT_EQ(manager.keepLength, 1);
}

TEST_F(ConsoleTest, ProbeOnlyAutoFinishesWithoutNotification) {
    Start(1, NoToggles(1));
    console.OnAuto();
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    Post(ProgrammerReady);
    EXPECT_THAT(view.lines, ElementsAre("Programmer: Ready."));
    EXPECT_EQ(view.successes, 0);
    EXPECT_EQ(view.failures, 0);
    EXPECT_FALSE(console.pending().Any());
}

TEST_F(ConsoleTest, ChipNotDetectedStopsAutoBeforeTheErase) {
    InfoSave record = NoToggles(1);
    record.autoCheck = record.autoErase = record.autoWrite = 1;
    Start(1, record);
    console.OnAuto();
    Post(ProgrammerReady);
    manager.SetSignature({1, 2, 3});
    manager.IdentifyChip();
    Pump();
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)", "ReadSignature(11)"));
    EXPECT_EQ(view.failures, 1);
    EXPECT_FALSE(console.pending().Any());
    EXPECT_TRUE(view.IsEnabled(Button::Erase));
}

TEST_F(ConsoleTest, VerificationDifferencesEndTheSequenceAsAFailure) {
    InfoSave record = NoToggles(1);
    record.autoVerify = record.autoEncrypt = 1;
    Start(1, record);
    manager.Buffer1()[0x30] = 0x02;
    console.OnAuto();
    Post(ProgrammerReady);
    Post(ReadDone);
    EXPECT_EQ(view.failures, 1);
    EXPECT_EQ(calls().back(), "ReadChip(11)");  // no lock bits after a failed verify
    EXPECT_FALSE(console.verifyFlag());
}

TEST_F(ConsoleTest, FailedOpenStepEndsAuto) {
    InfoSave record = NoToggles(1);
    record.autoOpen = record.autoErase = 1;
    Start(1, record);
    console.OnAuto();
    EXPECT_THAT(view.lines, ElementsAre("Open File."));
    EXPECT_THAT(calls(), IsEmpty());
    EXPECT_EQ(view.failures, 1);
}

TEST_F(ConsoleTest, EncryptSendsLevelThreeAndWriteBitTheSelectedLevel) {
    Start(1);
    console.OnEncrypt();
    EXPECT_THAT(calls(), ElementsAre("WriteLockBits(11,3)"));
    Post(LockBitDone);
    EXPECT_EQ(view.successes, 1);

    console.SelectLockBit(0);
    EXPECT_EQ(view.lockBitSelection, 0);  // the console's choice is shown
    console.OnWriteBit();
    EXPECT_EQ(calls().back(), "WriteLockBits(11,1)");
    EXPECT_TRUE(view.IsEnabled(Button::Write));  // Write Bit leaves the controls enabled
    Post(LockBitDone);
    EXPECT_EQ(view.successes, 2);

    // Only the three levels can be chosen; without one Write Bit does nothing.
    console.SelectLockBit(2);
    console.OnWriteBit();
    EXPECT_EQ(calls().back(), "WriteLockBits(11,3)");
    Post(LockBitDone);
    const std::size_t callsBefore = calls().size();
    console.SelectLockBit(3);
    EXPECT_EQ(console.lockBitSelection(), -1);
    EXPECT_EQ(view.lockBitSelection, -1);
    console.OnWriteBit();
    EXPECT_EQ(calls().size(), callsBefore);
}

TEST_F(ConsoleTest, CommandsDoNothingWhileDisabled) {
    Start(1);
    console.OnWrite();
    ASSERT_THAT(calls(), ElementsAre("WriteChip(11)"));
    console.OnErase();
    console.OnCheck();
    console.OnAuto();
    console.OnWriteBit();
    console.RunSteps(PendingSteps{.erase = true});
    dir.Write("x.bin", "abc");
    console.OnOpen(dir.file("x.bin"));
    EXPECT_EQ(console.OnSave(dir.file("out.bin")), SaveOutcome::NotEnabled);
    EXPECT_THAT(calls(), ElementsAre("WriteChip(11)"));
    EXPECT_THAT(view.lines, IsEmpty());
    EXPECT_TRUE(view.title.empty());
}

// Edits wait beside Buffer1 until a write takes them; then they count as written.
TEST_F(ConsoleTest, WriteStepTakesTheOperatorsEdits) {
    Start(1);
    ASSERT_TRUE(console.EditBuffer1(0x100, {0x5A}));
    EXPECT_EQ(manager.Buffer1()[0x100], kBlank);
    EXPECT_EQ(console.buffer1().At(0x100), 0x5A);
    EXPECT_TRUE(console.buffer1().HasUnwrittenEdits());
    console.OnWrite();
    EXPECT_EQ(manager.Buffer1()[0x100], 0x5A);
    EXPECT_FALSE(console.buffer1().HasUnwrittenEdits());

    // An edit running past the last address keeps the bytes that fit and leaves the rest alone.
    Post(WriteDone);
    manager.Buffer1()[0x200] = 0x11;
    ASSERT_TRUE(console.EditBuffer1(0xFFFE, {0x00, 0x01, 0x02, 0x03}));
    EXPECT_FALSE(console.EditBuffer1(0x10000, {0x00}));
    console.OnWrite();
    EXPECT_EQ(manager.Buffer1()[0xFFFE], 0x00);
    EXPECT_EQ(manager.Buffer1()[0xFFFF], 0x01);
    EXPECT_EQ(manager.Buffer1()[0x100], 0x5A);
    EXPECT_EQ(manager.Buffer1()[0x200], 0x11);
}

// An erase alone leaves the edits waiting. Before an erase that a write follows they are
// taken, so that a refused image costs the chip nothing; Buffer2's marks, made against the
// old Buffer1, go; the edits count as written once the write begins.
TEST_F(ConsoleTest, EditsAreTakenBeforeTheEraseOfAWrite) {
    Start(1);
    console.VerifyBuffers();
    ASSERT_TRUE(console.buffer2().HasMarks());
    console.EditBuffer1(0x10, {0x00});
    console.RunSteps(PendingSteps{.erase = true});
    Post(ProgrammerReady);
    Advance(kEraseSettleTime);
    Post(EraseDone);
    EXPECT_EQ(manager.Buffer1()[0x10], kBlank);
    EXPECT_TRUE(console.buffer2().HasMarks());

    calls().clear();
    console.RunSteps(PendingSteps{.erase = true, .write = true});
    Post(ProgrammerReady);
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)", "EraseChip(11)"));
    EXPECT_EQ(manager.Buffer1()[0x10], 0x00);
    EXPECT_FALSE(console.buffer2().HasMarks());
    EXPECT_TRUE(console.buffer1().HasUnwrittenEdits());
    Advance(kEraseSettleTime);
    Post(EraseDone);
    EXPECT_EQ(calls().back(), "WriteChip(11)");
    EXPECT_FALSE(console.buffer1().HasUnwrittenEdits());
}

// The chip a run requires must be the one in the socket; an entry of the same signature counts.
TEST_F(ConsoleTest, RequiredChipStopsTheSequenceWhenAnotherIsIdentified) {
    Start(1);
    console.RequireChip(0);  // "Small"
    console.RunSteps(PendingSteps{.check = true, .erase = true});
    Post(ProgrammerReady);
    manager.SetSignature({0x12, 0x34, 0x56});  // "Large"
    manager.IdentifyChip();
    Pump();
    EXPECT_EQ(view.lines.back(), "Chip in socket is Large, not Small.");
    EXPECT_EQ(calls().back(), "ReadSignature(11)");  // nothing erased
    EXPECT_EQ(view.failures, 1);

    std::vector<ChipRecord> chips = TestChips();
    chips.push_back(ChipRecord{"Small-B", 14, 4, 5.0F, {0x1E, 0x51, 0x06}});
    manager.catalogue().Parse(EncodeCatalogue(chips));
    view.SetChipNames(chips);
    console.RequireChip(3);
    console.RunSteps(PendingSteps{.check = true, .erase = true});
    Post(ProgrammerReady);
    manager.SetSignature({0x1E, 0x51, 0x06});
    manager.IdentifyChip();  // finds "Small" first
    Pump();
    EXPECT_EQ(calls().back(), "EraseChip(14)");
    EXPECT_EQ(view.chipSelection, 3);
}

// Blank reads the whole chip after the erase and passes only when every ROM byte is 0xFF.
TEST_F(ConsoleTest, BlankStepJudgesTheWholeRom) {
    Start(1);
    console.RunSteps(PendingSteps{.erase = true, .blank = true});
    Post(ProgrammerReady);
    Post(EraseDone);
    Advance(kEraseSettleTime);
    EXPECT_EQ(calls().back(), "ReadChip(11)");
    EXPECT_EQ(manager.keepLength, 0);
    Post(ReadDone);
    EXPECT_EQ(view.lines.back(), "Chip is blank.");
    EXPECT_EQ(view.successes, 1);

    console.RunSteps(PendingSteps{.blank = true});
    Post(ProgrammerReady);
    manager.Buffer2()[0x0123] = 0x00;  // as read from the chip
    manager.Buffer2()[0x2000] = 0x00;  // beyond the 4 KiB chip: not its concern
    Post(ReadDone);
    EXPECT_EQ(view.lines.back(), "Chip is not blank: first programmed byte at 0x0123.");
    EXPECT_EQ(view.failures, 1);

    // Without an erase in the same sequence, or after a lock, all 0xFF may be a locked chip.
    ClearImage(manager.Buffer2());
    console.RunSteps(PendingSteps{.blank = true});
    Post(ProgrammerReady);
    Post(ReadDone);
    EXPECT_EQ(view.lines.back(), "Chip reads blank (a locked chip reads the same).");
    EXPECT_EQ(view.successes, 2);
}

// A required chip is identified before an erase or a write, though the steps did not ask.
TEST_F(ConsoleTest, RequiredChipIsCheckedBeforeItIsErasedOrWritten) {
    Start(1);
    console.RequireChip(2);
    console.RunSteps(PendingSteps{.erase = true});
    Post(ProgrammerReady);
    EXPECT_EQ(calls().back(), "ReadSignature(11)");
    manager.SetSignature({0x1E, 0x51, 0x06});
    manager.IdentifyChip();  // "Small", not "Large"
    Pump();
    EXPECT_THAT(calls(), ::testing::Not(::testing::Contains(::testing::StartsWith("EraseChip"))));
    EXPECT_EQ(view.lines.back(), "Chip in socket is Small, not Large.");
}

TEST_F(ConsoleTest, RunStepsProbesFirstAndKeepsTheStatusList) {
    Start(1);
    console.AddStatus("kept");
    console.RunSteps(PendingSteps{.erase = true, .read = true});
    EXPECT_THAT(calls(), ElementsAre("CheckReady(11)"));
    Post(ProgrammerReady);
    Post(EraseDone);
    Advance(kEraseSettleTime);
    EXPECT_EQ(calls().back(), "ReadChip(11)");
    EXPECT_FALSE(console.verifyFlag());
    Post(ReadDone);
    EXPECT_EQ(view.lines.front(), "kept");
    EXPECT_EQ(view.successes, 1);
    EXPECT_EQ(console.outstanding(), 0);
}

TEST_F(ConsoleTest, SetButtonsIdleResetsIconsAndSelections) {
    Start(1);
    console.OnErase();
    EXPECT_FALSE(view.selectionsEnabled);
    EXPECT_EQ(view.Icon(Button::Erase), 1);
    console.SetButtonsIdle(1);
    EXPECT_TRUE(view.selectionsEnabled);
    EXPECT_EQ(view.Icon(Button::Erase), 0);
    for (int button = 0; button < kButtonCount; ++button) {
        EXPECT_TRUE(console.CommandEnabled(static_cast<Button>(button)));
    }
}

}  // namespace
}  // namespace korvan::testing
