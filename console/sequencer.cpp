#include "console/sequencer.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace korvan {
namespace {

constexpr std::array<Button, kButtonCount> kAllButtons = {
    Button::Check, Button::Open,  Button::Save,    Button::Erase, Button::Write,
    Button::Read,  Button::Verify, Button::Auto, Button::Encrypt, Button::WriteBit};

}  // namespace

void Sequencer::Ended() {
    if (outstanding_ > 0) {
        --outstanding_;
    }
}

void Sequencer::SelectChip(int index) {
    chip_ = index >= 0 && static_cast<std::size_t>(index) < manager_.catalogue().size() ? index : -1;
    view_.SelectChip(chip_);
}

void Sequencer::SelectLockBit(int index) {
    constexpr int kLockBitLevels = 3;
    lockBit_ = index >= 0 && index < kLockBitLevels ? index : -1;
    view_.SelectLockBit(lockBit_);
}

void Sequencer::ProbeReady() {
    runningStep_ = "ready";
    Started();
    manager_.CheckReady(chip_);
}

void Sequencer::SetButtonsIdle(bool idle) {
    if (idle) {
        pending_ = PendingSteps{};  // first, so a view told of the buttons finds the sequence over
    }
    EnableButtons(idle);
}

void Sequencer::EnableButtons(bool on) {
    // A file the worker still reads keeps the commands off, whatever else ends meanwhile.
    const bool enabled = on && !files_.loadPending();
    for (Button button : kAllButtons) {
        view_.SetStatusIcon(button, 0);
        enabled_[static_cast<std::size_t>(button)] = enabled;
        view_.SetButtonEnabled(button, enabled);
    }
    view_.EnableSelections(enabled);
}

void Sequencer::ContinueSequence(bool success, bool notify) {
    if (!success) {
        RecordFailure();
        failed_ = true;
        if (notify) {
            view_.NotifyFailure();
        }
        SetButtonsIdle(true);
        SequenceOver();
        return;
    }
    if (StartNextStep()) {
        return;
    }
    recorder_.EndStep(true);
    SetButtonsIdle(true);
    if (notify) {
        view_.NotifySuccess();
    }
    SequenceOver();
}

const std::array<Sequencer::SequenceStep, 9>& Sequencer::SequenceOrder() {
    static constexpr std::array<SequenceStep, 9> kOrder = {{
        {&PendingSteps::open, &Sequencer::StartOpen, "open"},
        {&PendingSteps::readyProbe, &Sequencer::StartReadyProbe, "ready"},
        {&PendingSteps::check, &Sequencer::StartCheck, "check"},
        {&PendingSteps::erase, &Sequencer::StartErase, "erase"},
        {&PendingSteps::blank, &Sequencer::StartBlankCheck, "blank"},
        {&PendingSteps::write, &Sequencer::StartWrite, "write"},
        {&PendingSteps::read, &Sequencer::StartRead, "read"},
        {&PendingSteps::verify, &Sequencer::StartVerify, "verify"},
        {&PendingSteps::encrypt, &Sequencer::StartEncrypt, "encrypt"},
    }};
    return kOrder;
}

bool Sequencer::StartNextStep() {
    for (const SequenceStep& step : SequenceOrder()) {
        if (pending_.*step.pending) {
            pending_.*step.pending = false;
            runningStep_ = step.name;
            recorder_.StartStep(step.name);
            (this->*step.start)();
            return true;
        }
    }
    return false;
}

void Sequencer::RecordFailure() { recorder_.RecordFailure(status_.lastLine(), StepNames(pending_)); }

void Sequencer::RecordNotStarted(const std::string& line, const PendingSteps& steps) {
    recorder_.RecordFailure(line, StepNames(steps));
}

std::vector<const char*> Sequencer::StepNames(const PendingSteps& steps) {
    std::vector<const char*> names;
    for (const SequenceStep& step : SequenceOrder()) {
        if (steps.*step.pending) {
            names.push_back(step.name);
        }
    }
    return names;
}

void Sequencer::SequenceOver() {
    if (!recorder_.keepsRunsOpen() && outstanding_ == 0) {
        CloseRun({});
    }
}

void Sequencer::CloseRun(const std::string& failure) {
    if (!recorder_.open()) {
        return;
    }
    const ChipRecord* chip = manager_.CurrentChip();
    const Image& image = manager_.Buffer1();
    const auto used = static_cast<std::size_t>(std::max(manager_.UsedLength(image.data(), image.size()), 0));
    recorder_.Close(failure, files_.imagePath(), chip != nullptr ? chip->name : std::string(),
                    DigestImage(std::span(image.data(), used)), [this](const std::string& problem) {
                        if (!problem.empty()) {
                            status_.AddStatus(problem);
                            failed_ = true;
                            view_.NotifyFailure();
                        }
                    });
}

void Sequencer::StartOpen() { files_.LoadImageFile(); }

void Sequencer::StartReadyProbe() { ProbeReady(); }

void Sequencer::StartCheck() {
    Started();
    manager_.ReadSignature(chip_);
}

void Sequencer::StartErase() {
    SetButtonsIdle(false);
    // An image that cannot be written must not cost the chip its contents first.
    if (pending_.write) {
        TakeBuffer1Edits();
        if (!ImageWritable()) {
            return;
        }
    }
    view_.SetStatusIcon(Button::Erase, 1);
    Started();
    manager_.EraseChip(chip_);
    erasedSinceLock_ = true;
    // The programmer is given a moment after the erase command before anything else.
    gate_.HoldFor(kEraseSettleTime);
}

void Sequencer::TakeBuffer1Edits() {
    if (buffers_.buffer1.TakeEdits()) {
        buffers_.buffer2.ClearDifferences();  // they compared Buffer1 as it was
    }
}

// The stamp (a serial number taken from a file) is part of the write: the write is sent once
// it is placed.
void Sequencer::StartWrite() {
    SetButtonsIdle(false);
    TakeBuffer1Edits();
    if (!ImageWritable()) {
        return;
    }
    Started();
    recorder_.Stamp(manager_.Buffer1(), [this](const RunObserver::Stamp& stamp, const Image& stamped) {
        Ended();
        if (!ShowStamp(stamp)) {
            return;
        }
        manager_.Buffer1() = stamped;
        buffers_.buffer1.Refresh();
        // The chip now gets Buffer1 as it is: no edit waits for a write, and the chip no
        // longer holds what Buffer2 was compared with.
        buffers_.buffer1.MarkWritten();
        buffers_.buffer2.ClearDifferences();
        view_.SetStatusIcon(Button::Write, 1);
        Started();
        manager_.WriteChip(chip_);
    });
}

bool Sequencer::ImageWritable() {
    if (!files_.ImageFitsChip(chip_)) {
        return false;
    }
    const ChipRecord* chip = SelectedRecord(manager_.catalogue(), chip_);
    const std::string problem = recorder_.ImageProblem(manager_.Buffer1(), chip != nullptr ? chip->RomBytes() : kImageSize);
    if (problem.empty()) {
        return true;
    }
    status_.AddStatus(problem);
    ContinueSequence(false, true);
    return false;
}

bool Sequencer::ShowStamp(const RunObserver::Stamp& stamp) {
    if (!stamp.error.empty()) {
        status_.AddStatus(stamp.error);
        ContinueSequence(false, true);
        return false;
    }
    if (!stamp.line.empty()) {
        status_.AddStatus(stamp.line);
    }
    if (stamp.serial) {
        lastSerial_ = stamp.serial;
    }
    return true;
}

void Sequencer::StartRead() { StartReadBack(Button::Read, ReadPurpose::Show); }

void Sequencer::StartVerify() { StartReadBack(Button::Verify, ReadPurpose::Verify); }

// A blank check reads the whole chip, as Read does, and judges it when the read is done.
void Sequencer::StartBlankCheck() { StartReadBack(Button::Read, ReadPurpose::BlankCheck); }

// A verification after a write in this run reads back only what was written.
void Sequencer::StartReadBack(Button button, ReadPurpose purpose) {
    SetButtonsIdle(false);
    view_.SetStatusIcon(button, 1);
    purpose_ = purpose;
    manager_.keepLength = purpose == ReadPurpose::Verify && writeCounter_ != 0 ? 1 : 0;
    Started();
    manager_.ReadChip(chip_);
}

void Sequencer::StartEncrypt() {
    SetButtonsIdle(false);
    Started();
    manager_.WriteLockBits(chip_, 3);
    erasedSinceLock_ = false;
    // Encrypt is always last: enabling again drops nothing that is still pending.
    SetButtonsIdle(true);
}

bool Sequencer::WriteEnded() {
    ++writeCounter_;
    // A back-end that probes after a write has that answer still to come, and refuses
    // commands until then: every step still pending goes on from ProgrammerReady.
    const bool probesAfterWrite = manager_.BackendProbesAfterWrite();
    if (!probesAfterWrite) {
        Ended();
    }
    return !(pending_.Any() && probesAfterWrite);
}

bool Sequencer::JudgeRead() {
    const ReadPurpose purpose = std::exchange(purpose_, ReadPurpose::Show);
    switch (purpose) {
        case ReadPurpose::Verify:
            return files_.VerifyBuffers();
        case ReadPurpose::BlankCheck:
            return files_.ReportBlank(erasedSinceLock_);
        case ReadPurpose::Show:
            break;
    }
    return true;
}

int Sequencer::VerifyBuffers() {
    if (purpose_ == ReadPurpose::Verify) {
        purpose_ = ReadPurpose::Show;
    }
    return files_.VerifyBuffers() ? 1 : 0;
}

// Chips that share a signature cannot be told apart: the one required is taken for the one found.
bool Sequencer::RequiredChipFound() {
    if (!requiredChip_) {
        return true;
    }
    const ChipCatalogue& catalogue = manager_.catalogue();
    const auto required = static_cast<std::size_t>(*requiredChip_);
    const ChipRecord* found = manager_.CurrentChip();
    if (required >= catalogue.size() || found == nullptr) {
        return true;  // nothing to compare: the chip operations report it themselves
    }
    if (found->signature == catalogue[required].signature) {
        manager_.SelectChip(*requiredChip_);
        SelectChip(*requiredChip_);
        return true;
    }
    status_.AddStatus("Chip in socket is " + found->name + ", not " + catalogue[required].name + ".");
    // The chip the operator holds to stays selected; the run's record names the one found.
    view_.SelectChip(*requiredChip_);
    return false;
}

void Sequencer::RunCommand(bool PendingSteps::*step, Button button) {
    if (!CommandEnabled(button) || Refused()) {
        return;
    }
    SetButtonsIdle(true);
    pending_.*step = true;
    StartSequence();
}

void Sequencer::OnAuto() {
    if (!CommandEnabled(Button::Auto) || Refused()) {
        return;
    }
    SetButtonsIdle(true);
    status_.Clear();
    pending_.open = settings_.AutoState(Button::Open);
    pending_.check = settings_.SwitchValue(SettingItem::AutoCheck) != 0;
    pending_.blank = autoBlank_;
    pending_.erase = settings_.AutoState(Button::Erase);
    pending_.write = settings_.AutoState(Button::Write);
    pending_.read = false;
    pending_.verify = settings_.AutoState(Button::Verify);
    pending_.encrypt = settings_.AutoState(Button::Encrypt);
    pending_.readyProbe = true;
    StartSequence();
}

void Sequencer::RunSteps(PendingSteps steps) {
    if (!CommandEnabled(Button::Auto) || Refused()) {
        return;
    }
    SetButtonsIdle(true);
    pending_ = steps;
    pending_.readyProbe = true;
    StartSequence();
}

bool Sequencer::Refused() {
    if (refusal_.empty()) {
        return false;
    }
    status_.AddStatus(refusal_);
    view_.ShowMessage(Message("Chip commands are off until the Production settings are fixed.", kDefaultCaption,
                              refusal_));
    return true;
}

void Sequencer::StartSequence() {
    // A required chip is identified before anything erases or writes it, asked or not.
    if (requiredChip_ && (pending_.erase || pending_.write)) {
        pending_.check = true;
    }
    erasedSinceLock_ = false;
    if (!pending_.write) {
        BeginRun();
        ContinueSequence(true, true);
        return;
    }
    EnableButtons(false);  // until the answer, which may come from the worker
    Started();
    recorder_.CheckStart([this, check = ++startChecks_](const std::string& problem) {
        if (check != startChecks_ || !pending_.write) {
            return;  // stopped by the operator meanwhile
        }
        Ended();
        if (!problem.empty()) {
            status_.AddStatus(problem);
            view_.NotifyFailure();
            SetButtonsIdle(true);
            return;
        }
        EnableButtons(true);
        BeginRun();
        ContinueSequence(true, true);
    });
}

void Sequencer::OnWriteBit() {
    if (!CommandEnabled(Button::WriteBit) || lockBit_ < 0 || Refused()) {
        return;
    }
    BeginRun();
    runningStep_ = "lock";
    recorder_.StartStep("lock");
    Started();
    manager_.WriteLockBits(chip_, lockBit_ + 1);
    erasedSinceLock_ = false;
}

namespace {

// What the Status list says of a step cut off.
std::string CutOffLine(const std::string& step) {
    static constexpr std::array<std::pair<const char*, const char*>, 9> kLines = {{
        {"write", "Write cut off: the chip is incomplete."},
        {"erase", "Erase cut off: the chip may be partly erased."},
        {"lock", "Lock-bit write cut off: the lock bits may not be set."},
        {"encrypt", "Encrypt cut off: the lock bits may not be set."},
        {"read", "Read cut off."},
        {"verify", "Verify cut off."},
        {"blank", "Blank check cut off."},
        {"check", "Check cut off."},
        {"ready", "Ready probe cut off."},
    }};
    for (const auto& [name, line] : kLines) {
        if (step == name) {
            return line;
        }
    }
    return "Operation cut off.";
}

}  // namespace

void Sequencer::CutOff() {
    status_.AddStatus(CutOffLine(runningStep_));
    status_.AddStatus("Stopped by the operator.");
    outstanding_ = 0;
    view_.ShowProgress(false);
    ContinueSequence(false, true);  // the run's record names the steps not run
}

}  // namespace korvan
