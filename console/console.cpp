#include "console/console.h"

#include <algorithm>
#include <cstdio>

#include "engine/event_code.h"

namespace korvan {
namespace {

constexpr std::array<Button, kButtonCount> kAllButtons = {
    Button::Check, Button::Open,  Button::Save,    Button::Erase, Button::Write,
    Button::Read,  Button::Verify, Button::Auto, Button::Encrypt, Button::WriteBit};

// The bar position for `position` of `total` bytes. The caption counts from 0 to total - 1,
// so a one-byte transfer has no range to divide by: it is either not started or done. Blocks
// of 16 bytes can end past the total; the bar stops at full.
int ProgressPercent(int position, int total) {
    if (total <= 1) {
        return position > 0 ? 100 : 0;
    }
    const long long percent = static_cast<long long>(position) * 100 / (total - 1);
    return static_cast<int>(std::clamp(percent, 0LL, 100LL));
}

// "LABEL: last/final" as byte indexes: the last byte transferred and the last one to come,
// never below 0 nor past the end (a block can end past the total, and nothing may be to come).
std::string ProgressCaption(const char* label, int position, int total) {
    const int last = std::max(total - 1, 0);
    char caption[64];
    // The caption is shown upper-cased: "Writing: %04x/%04x" reads WRITING: 002F/003F.
    std::snprintf(caption, sizeof caption, "%s: %04X/%04X", label, static_cast<unsigned>(std::clamp(position - 1, 0, last)),
                  static_cast<unsigned>(last));
    return caption;
}

}  // namespace

Console::Console(ProgrammerManager& manager, View& view, Timer& timer)
    : manager_(manager), view_(view), timer_(timer) {}

void Console::InitControls(const std::optional<InfoSave>& record) {
    // The grid starts with the first-start values so that it always shows what will be used.
    ShowListSetting(SettingItem::ProgrammerType, settings_.programmerType(), "Tamblin Serial");
    ShowListSetting(SettingItem::Port, settings_.comPort() - 1, "COM 1");
    ShowListSetting(SettingItem::BaudRate, settings_.baudIndex(), "9600");
    ShowListSetting(SettingItem::DownloadSpeed, settings_.downloadSpeed(), "Normal");
    for (SettingItem item : {SettingItem::AutoCheck, SettingItem::SoundOn, SettingItem::HotKeys}) {
        view_.ShowSettingValue(item, "True");
    }
    for (Button button : kAllButtons) {
        view_.ShowAutoState(button, AutoState(button));
    }
    view_.LoadBuffer1View(manager_.Buffer1());
    view_.LoadBuffer2View(manager_.Buffer2());
    view_.SetLockBitNames({"Lock Bit-1", "Lock Bit-2", "Lock Bit-3"});
    view_.SelectLockBit(2);
    view_.ShowProgress(false);
    ApplySettings(record);
    SetButtonsIdle(1);
}

int Console::StartProgrammer(EventSink& sink, BackendFactory& factory) {
    sink_ = &sink;
    factory_ = &factory;
    manager_.SetComPort(settings_.comPort());
    manager_.SetBaudIndex(settings_.baudIndex());
    const int result = manager_.Init(sink, settings_.programmerType(), settings_.downloadSpeed(), factory);
    manager_.LoadChipList();
    std::vector<std::string> names;
    for (const ChipRecord& record : manager_.catalogue().records()) {
        names.push_back(record.name);
    }
    view_.SetChipNames(names);
    view_.SelectChip(settings_.record().chipIndex);
    return result;
}

void Console::ShowPage(int page) {
    currentPage_ = page;
    view_.ShowPage(page);
}

void Console::AddStatus(const std::string& text) {
    if (currentPage_ != StatusPage) {
        ShowPage(StatusPage);
    }
    view_.InsertStatusLine(lineCounter_, text);
    view_.SelectStatusLine(lineCounter_);
    ++lineCounter_;
    if (!IsFrameLine(text)) {
        lastLine_ = text;
    }
}

void Console::Ended() {
    if (outstanding_ > 0) {
        --outstanding_;
    }
}

void Console::ShowTransferProgress(const char* label) {
    const int position = manager_.position;
    const int total = manager_.total;
    view_.ShowProgress(true);
    view_.SetProgressText(ProgressCaption(label, position, total));
    view_.SetProgressPos(ProgressPercent(position, total));
}

void Console::FinishTransfer(const char* caption) {
    view_.SetProgressPos(100);
    view_.SetProgressText(caption);
    view_.RepaintProgress();
}

void Console::IdentificationReport() {
    const Signature signature = manager_.signature();
    char line[160];
    std::snprintf(line, sizeof line, "Programmer: Chip(Code: %02x %02x %02x).", signature[0], signature[1],
                  signature[2]);
    AddStatus(line);
    if (const ChipRecord* chip = manager_.CurrentChip()) {
        std::snprintf(line, sizeof line, " - ROM Size: %dK Bytes. Programming Voltage: %.2fV.",
                      static_cast<int>(chip->romSizeKiB), static_cast<double>(chip->programmingVoltage));
        AddStatus(chip->name + line);
    }
}

void Console::Handle(const Report& report) {
    if (DroppedAfterStop(report)) {
        return;
    }
    if (settling_) {
        held_.push_back(report);
        return;
    }
    if (const int* code = std::get_if<int>(&report)) {
        HandleEvent(*code);
    } else {
        view_.ShowMessage(std::get<Message>(report));
    }
}

void Console::EndSettling() {
    settling_ = false;
    while (!settling_ && !held_.empty()) {
        const Report report = std::move(held_.front());
        held_.pop_front();
        Handle(report);
    }
}

namespace {

// Events that add one line and end the running step.
struct StepEnding {
    int code;
    const char* line;
    int success;
    int notify;
};

constexpr std::array<StepEnding, 7> kStepEndings = {{
    {SerialNotInitialized, "Serial Not Initialized.", 0, 1},
    {ProgrammerReady, "Programmer: Ready.", 1, 0},
    {ProgrammerUnusable, "Programmer: Unusable.", 0, 1},
    {DataReceivedError, "Data Received Error.", 0, 1},
    {EraseDone, "Programmer: Erase Done.", 1, 1},
    {LockBitDone, "Programmer: Write Lock Bit Done.", 1, 1},
    {ProgrammerError, "Programmer: Error.", 0, 1},
}};

}  // namespace

void Console::HandleEvent(int code) {
    const auto ending = std::find_if(kStepEndings.begin(), kStepEndings.end(),
                                     [code](const StepEnding& candidate) { return candidate.code == code; });
    if (ending != kStepEndings.end()) {
        AddStatus(ending->line);
        Ended();
        ContinueSequence(ending->success, ending->notify);
        return;
    }
    switch (code) {
        case SerialInitFailed:
        case ParallelInitFailed:
            ReportInitFailure(code);
            return;
        case SerialInitDone:
            initReported_ = true;
            AddStatus("Initialize Serial Port Done.");
            runningStep_ = "ready";
            Started();
            manager_.CheckReady(Chip());
            return;
        case ParallelInitDone:
            initReported_ = true;
            AddStatus("Initialize Parallel Port Done.");
            return;
        case WriteStarted:
            AddStatus("Programmer: Starts Writing.");
            AddStatus("Write " + std::to_string(manager_.UsedLength(manager_.Buffer1().data(), kImageSize)) +
                      " Bytes...");
            return;
        case WritingProgress:
            ShowTransferProgress("WRITING");
            return;
        case WriteDone:
            EndWrite();
            return;
        case ProgrammingError:
            AddStatus("Programmer: Programming Error.");
            // A back-end that probes after a write ends the run with the probe's answer.
            if (!manager_.BackendProbesAfterWrite()) {
                Ended();
            }
            ContinueSequence(0, 1);
            return;
        case ReadStarted:
            AddStatus("Programmer: Start Reading.");
            return;
        case ReadingProgress:
            ShowTransferProgress("READING");
            return;
        case ReadDone:
            EndRead();
            return;
        case ChipIdentified:
            journal_.SetSignature(manager_.signature());
            view_.SelectChip(manager_.currentChipIndex());
            IdentificationReport();
            Ended();
            ContinueSequence(RequiredChipFound() ? 1 : 0, 1);
            return;
        case ChipNotDetected:
            ReportChipNotDetected();
            return;
        default:
            // Unassigned codes: 8 is ignored, anything outside the table ends a sequence.
            if (code < 0 || code > kLastEventCode) {
                ContinueSequence(0, 1);
            }
            return;
    }
}

void Console::ReportInitFailure(int code) {
    initReported_ = true;
    AddStatus(code == SerialInitFailed ? "Initialize Serial Port Failed." : "Initialize Parallel Port Failed.");
    const std::string detail = manager_.initFailureDetail();
    if (!detail.empty()) {
        AddStatus(detail);
    }
    ContinueSequence(0, 1);
}

void Console::EndWrite() {
    AddStatus("Programmer: Writing Done.");
    FinishTransfer("Programming Done");
    ++writeCounter_;
    // A back-end that probes after a write has that answer still to come, and refuses
    // commands until then: every step still pending goes on from ProgrammerReady.
    const bool probesAfterWrite = manager_.BackendProbesAfterWrite();
    if (!probesAfterWrite) {
        Ended();
    }
    if (pending_.Any() && probesAfterWrite) {
        return;
    }
    ContinueSequence(1, 1);
}

void Console::EndRead() {
    AddStatus("Programmer: Reading Done.");
    FinishTransfer("Reading Done");
    view_.LoadBuffer2View(manager_.Buffer2());
    AddStatus("Data in Buffer2.");
    const int success = verifyFlag_ ? VerifyBuffers() : blankCheck_ ? ReportBlank() : 1;
    Ended();
    ContinueSequence(success, 1);
}

int Console::ReportBlank() {
    blankCheck_ = false;
    const ChipRecord* chip = manager_.CurrentChip();
    const std::size_t rom = chip != nullptr ? std::min(chip->RomBytes(), kImageSize) : kImageSize;
    const Image& read = manager_.Buffer2();
    const auto programmed = std::find_if(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(rom),
                                         [](std::uint8_t byte) { return byte != kBlank; });
    if (programmed == read.begin() + static_cast<std::ptrdiff_t>(rom)) {
        AddStatus("Chip is blank.");
        return 1;
    }
    char line[64];
    std::snprintf(line, sizeof line, "Chip is not blank: first programmed byte at 0x%04X.",
                  static_cast<unsigned>(programmed - read.begin()));
    AddStatus(line);
    return 0;
}

// Chips that share a signature cannot be told apart: the one required is taken for the one found.
bool Console::RequiredChipFound() {
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
        view_.SelectChip(*requiredChip_);
        return true;
    }
    AddStatus("Chip in socket is " + found->name + ", not " + catalogue[required].name + ".");
    // The chip the operator holds to stays selected; the run's record names the one found.
    view_.SelectChip(*requiredChip_);
    return false;
}

void Console::ReportChipNotDetected() {
    const Signature signature = manager_.signature();
    journal_.SetSignature(signature);
    char line[80];
    std::snprintf(line, sizeof line, "Programmer:Chip Not Detected(Code: %02x %02x %02x).", signature[0], signature[1],
                  signature[2]);
    AddStatus(line);
    Ended();
    ContinueSequence(0, 1);
}

void Console::SetButtonsIdle(int idle) {
    // A file the worker still reads keeps the commands off, whatever else ends meanwhile.
    const bool enabled = idle != 0 && !loadPending_;
    for (Button button : kAllButtons) {
        view_.SetStatusIcon(button, 0);
        enabled_[Index(button)] = enabled;
        view_.SetButtonEnabled(button, enabled);
    }
    view_.EnableSelections(enabled);
    if (idle != 0) {
        pending_ = PendingSteps{};
    }
}

void Console::ContinueSequence(int success, int notify) {
    if (success == 0) {
        RecordFailure();
        failed_ = true;
        if (notify != 0) {
            view_.NotifyFailure();
        }
        SetButtonsIdle(1);
        SequenceOver();
        return;
    }
    if (StartNextStep()) {
        return;
    }
    journal_.EndStep(true);
    SetButtonsIdle(1);
    if (notify != 0) {
        view_.NotifySuccess();
    }
    SequenceOver();
}

const std::array<Console::SequenceStep, 9>& Console::SequenceOrder() {
    static constexpr std::array<SequenceStep, 9> kOrder = {{
        {&PendingSteps::open, &Console::StartOpen, "open"},
        {&PendingSteps::readyProbe, &Console::StartReadyProbe, "ready"},
        {&PendingSteps::check, &Console::StartCheck, "check"},
        {&PendingSteps::erase, &Console::StartErase, "erase"},
        {&PendingSteps::blank, &Console::StartBlankCheck, "blank"},
        {&PendingSteps::write, &Console::StartWrite, "write"},
        {&PendingSteps::read, &Console::StartRead, "read"},
        {&PendingSteps::verify, &Console::StartVerify, "verify"},
        {&PendingSteps::encrypt, &Console::StartEncrypt, "encrypt"},
    }};
    return kOrder;
}

bool Console::StartNextStep() {
    for (const SequenceStep& step : SequenceOrder()) {
        if (pending_.*step.pending) {
            pending_.*step.pending = false;
            runningStep_ = step.name;
            if (journal_.open()) {
                journal_.StartStep(step.name);
            }
            (this->*step.start)();
            return true;
        }
    }
    return false;
}

void Console::RecordFailure() {
    if (!journal_.open()) {
        return;
    }
    journal_.EndStep(false);
    journal_.Fail(lastLine_);
    for (const SequenceStep& step : SequenceOrder()) {
        if (pending_.*step.pending) {
            journal_.NotRun(step.name);
        }
    }
}

void Console::SequenceOver() {
    if (!keepRunsOpen_ && outstanding_ == 0) {
        CloseRun();
    }
}

void Console::BeginRun() {
    if (!journal_.open()) {
        journal_.Begin();
    }
}

void Console::CloseRun(const std::string& failure) {
    if (!journal_.open()) {
        return;
    }
    if (!failure.empty()) {
        journal_.EndStep(false);
        journal_.Fail(failure);
    }
    journal_.SetImagePath(imagePath_);
    const RunOutcome& outcome = journal_.Close();
    if (observer_ == nullptr) {
        return;
    }
    if (const std::string problem = observer_->RunEnded(outcome); !problem.empty()) {
        AddStatus(problem);
        failed_ = true;
        view_.NotifyFailure();
    }
}

void Console::StartOpen() { LoadImageFile(); }

void Console::StartReadyProbe() {
    Started();
    manager_.CheckReady(Chip());
}

void Console::StartCheck() {
    Started();
    manager_.ReadSignature(Chip());
}

void Console::StartErase() {
    SetButtonsIdle(0);
    // An image that cannot be written must not cost the chip its contents first.
    if (pending_.write) {
        TakeBuffer1FromView();
        if (!ImageWritable()) {
            return;
        }
    }
    view_.SetStatusIcon(Button::Erase, 1);
    Started();
    manager_.EraseChip(Chip());
    // The programmer is given a moment after the erase command before anything else.
    settling_ = true;
    timer_.After(kEraseSettleTime, [this] { EndSettling(); });
}

void Console::TakeBuffer1FromView() {
    const std::vector<std::uint8_t> edited = view_.Buffer1ViewBytes();
    std::copy_n(edited.begin(), std::min(edited.size(), kImageSize), manager_.Buffer1().begin());
}

void Console::StartWrite() {
    SetButtonsIdle(0);
    TakeBuffer1FromView();
    if (!ImageWritable() || !StampImage()) {
        return;
    }
    view_.SetStatusIcon(Button::Write, 1);
    Started();
    manager_.WriteChip(Chip());
}

bool Console::ImageWritable() {
    if (!ImageFitsChip()) {
        return false;
    }
    if (observer_ == nullptr) {
        return true;
    }
    const ChipRecord* chip = SelectedChip();
    const std::string problem = observer_->ImageProblem(manager_.Buffer1(), chip != nullptr ? chip->RomBytes() : kImageSize);
    if (problem.empty()) {
        return true;
    }
    AddStatus(problem);
    ContinueSequence(0, 1);
    return false;
}

bool Console::StampImage() {
    if (observer_ == nullptr) {
        return true;
    }
    const RunObserver::Stamp stamp = observer_->StampImage(manager_.Buffer1());
    if (stamp.serial) {
        journal_.SetSerial(*stamp.serial);
    }
    if (!stamp.error.empty()) {
        AddStatus(stamp.error);
        ContinueSequence(0, 1);
        return false;
    }
    if (!stamp.line.empty()) {
        AddStatus(stamp.line);
    }
    return true;
}

void Console::StartRead() { StartReadBack(Button::Read, ReadPurpose::Show); }

void Console::StartVerify() { StartReadBack(Button::Verify, ReadPurpose::Verify); }

// A blank check reads the whole chip, as Read does, and judges it when the read is done.
void Console::StartBlankCheck() { StartReadBack(Button::Read, ReadPurpose::BlankCheck); }

// A verification after a write in this run reads back only what was written.
void Console::StartReadBack(Button button, ReadPurpose purpose) {
    SetButtonsIdle(0);
    view_.SetStatusIcon(button, 1);
    verifyFlag_ = purpose == ReadPurpose::Verify;
    blankCheck_ = purpose == ReadPurpose::BlankCheck;
    manager_.keepLength = verifyFlag_ && writeCounter_ != 0 ? 1 : 0;
    Started();
    manager_.ReadChip(Chip());
}

void Console::StartEncrypt() {
    SetButtonsIdle(0);
    Started();
    manager_.WriteLockBits(Chip(), 3);
    // Encrypt is always last: enabling again drops nothing that is still pending.
    SetButtonsIdle(1);
}

void Console::SetAutoState(Button button, bool on) {
    if (!SettingsModel::AutoCapable(button)) {
        return;
    }
    settings_.SetAutoState(button, on);
    view_.ShowAutoState(button, on);
}

void Console::StartCommand(bool PendingSteps::*step, Button button) {
    if (!CommandEnabled(button)) {
        return;
    }
    SetButtonsIdle(1);
    BeginRun();
    pending_.*step = true;
    ContinueSequence(1, 1);
}

void Console::OnCheck() { StartCommand(&PendingSteps::check, Button::Check); }
void Console::OnErase() { StartCommand(&PendingSteps::erase, Button::Erase); }
void Console::OnWrite() { StartCommand(&PendingSteps::write, Button::Write); }
void Console::OnRead() { StartCommand(&PendingSteps::read, Button::Read); }
void Console::OnVerify() { StartCommand(&PendingSteps::verify, Button::Verify); }
void Console::OnEncrypt() { StartCommand(&PendingSteps::encrypt, Button::Encrypt); }
void Console::OnBlank() { StartCommand(&PendingSteps::blank, Button::Auto); }

void Console::OnAuto() {
    if (!CommandEnabled(Button::Auto)) {
        return;
    }
    SetButtonsIdle(1);
    view_.ClearStatusLines();
    lineCounter_ = 0;
    pending_.open = AutoState(Button::Open);
    pending_.check = settings_.SwitchValue(SettingItem::AutoCheck) != 0;
    pending_.erase = AutoState(Button::Erase);
    pending_.blank = autoBlank_;
    pending_.write = AutoState(Button::Write);
    pending_.read = false;
    pending_.verify = AutoState(Button::Verify);
    pending_.encrypt = AutoState(Button::Encrypt);
    pending_.readyProbe = true;
    BeginRun();
    ContinueSequence(1, 1);
}

void Console::RunSteps(PendingSteps steps) {
    if (!CommandEnabled(Button::Auto)) {
        return;
    }
    SetButtonsIdle(1);
    pending_ = steps;
    pending_.readyProbe = true;
    BeginRun();
    ContinueSequence(1, 1);
}

void Console::OnWriteBit() {
    const int selection = view_.LockBitSelection();
    if (!CommandEnabled(Button::WriteBit) || selection < 0 || selection > 2) {
        return;
    }
    BeginRun();
    runningStep_ = "lock";
    journal_.StartStep("lock");
    Started();
    manager_.WriteLockBits(Chip(), selection + 1);
}

namespace {

// Posted after a stopped back-end's last report: everything before it is dropped.
constexpr int kStopMarker = -1000;

// What the Status list says of a step cut off.
std::string CutOffLine(const std::string& step) {
    static const std::array<std::pair<const char*, const char*>, 9> kLines = {{
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

void Console::StopOperation(bool restart) {
    if (!Busy()) {
        return;
    }
    manager_.ShutdownBackend();
    AddStatus(CutOffLine(runningStep_));
    AddStatus("Stopped by the operator.");
    outstanding_ = 0;
    settling_ = false;
    held_.clear();
    failed_ = true;
    RecordFailure();
    pending_ = PendingSteps{};
    CloseRun();
    view_.ShowProgress(false);
    view_.NotifyFailure();
    SetButtonsIdle(1);
    droppingReports_ = true;  // until the marker, when there is one: what the stopped back-end still had on its way
    if (restart && sink_ != nullptr && factory_ != nullptr) {
        sink_->PostEvent(kStopMarker);
        manager_.Init(*sink_, settings_.programmerType(), settings_.downloadSpeed(), *factory_);
    }
}

bool Console::DroppedAfterStop(const Report& report) {
    if (!droppingReports_) {
        return false;
    }
    if (const int* code = std::get_if<int>(&report); code != nullptr && *code == kStopMarker) {
        droppingReports_ = false;
    }
    return true;
}

}  // namespace korvan
