#include "cli/site_run.h"

#include <algorithm>
#include <cstdio>

#include "engine/program_dir.h"
#include "programmers/programmer_files.h"
#include "programmers/programmer_types.h"

namespace korvan {
namespace {

constexpr const char* kProgramName = "korvan-cli";
// Commands other than an erase are answered by the programmer's controller at once.
constexpr std::chrono::seconds kCommandAnswerTimeout{3};
// The loop gives up on a silent back-end this much later than the programmer's own time-out,
// so that the back-end's report of a silent programmer comes first.
constexpr std::chrono::seconds kSilenceMargin{10};

std::string Prefixed(const std::string& line) { return std::string(kProgramName) + ": " + line; }

}  // namespace

SiteRun::SiteRun(const CliOptions& options, const CliJob& job, SiteSetup setup, RunOutput& output)
    : options_(options), job_(job), setup_(std::move(setup)), output_(output) {}

SiteRun::~SiteRun() = default;

std::optional<JobRecord> SiteRun::record() const {
    return production_ ? production_->lastRecord() : std::nullopt;
}

int SiteRun::Run() {
    started_ = std::chrono::steady_clock::now();
    if (Step end = BuildComposition()) {
        return Finish(*end);
    }
    for (Step (SiteRun::*step)() :
         {&SiteRun::StartUp, &SiteRun::RunSequence, &SiteRun::WriteLockBits, &SiteRun::SaveBuffer2}) {
        if (Step end = (this->*step)()) {
            return Finish(*end);
        }
    }
    return Finish(kExitSuccess);
}

std::string SiteRun::FerrowDirectory() const { return PinMapDirectory(job_.settingsDir, job_.dir); }

// The site's COM number overrides the stored one; the record itself is never written back.
std::optional<InfoSave> SiteRun::SiteRecord() const {
    if (!setup_.port.comPort) {
        return job_.record;
    }
    InfoSave changed = job_.record.value_or(FirstStartInfoSave());
    changed.comPort = *setup_.port.comPort;
    return changed;
}

ProgrammerOptions SiteRun::MakeProgrammerOptions() const {
    ProgrammerOptions programmer;
    programmer.programDir = FerrowDirectory();
    programmer.adapterDir = AdapterWiringDirectory(job_.settingsDir, job_.dir);
    programmer.devicePath = setup_.port.path;
    // The window reads the same map from the same file: a COM number opens the same device.
    programmer.comPortDevices = job_.ports.devices;
    programmer.portLogPath = setup_.portLogPath;
    const std::chrono::seconds timeout(options_.timeoutSeconds);
    programmer.answerTimeouts = {std::min<std::chrono::milliseconds>(kCommandAnswerTimeout, timeout), timeout};
    programmer.simulate = options_.simulate;
    programmer.simulatedChip = setup_.simulatedChip;
    programmer.simulatedChipFile = setup_.simulatedChipFile;
    if (options_.simulatePace) {
        const int baud = std::clamp(job_.effective.baudIndex, 0, static_cast<int>(kBaudTable.size()) - 1);
        programmer.simulatedPaceBaud = kBaudTable[static_cast<std::size_t>(baud)];
    }
    return programmer;
}

SiteRun::Step SiteRun::BuildComposition() {
    factory_ = std::make_unique<ProgrammerFactory>(MakeProgrammerOptions());
    view_ = std::make_unique<TerminalView>(output_, options_.verbosity == Verbosity::Quiet);
    manager_ = std::make_unique<ProgrammerManager>();
    manager_->SetProgramDirectory(job_.dir);
    manager_->SetSettingsDirectory(job_.settingsDir);
    const ProgrammerTypeInfo* type = FindProgrammerType(job_.effective.programmerType);
    production_ = std::make_unique<ProductionLine>(
        job_.production, JobSite{setup_.number, setup_.label, type != nullptr ? type->commandName : ""});
    // A signal ends a wait for the counter's or the log's lock at once.
    production_->SetWaitHooks({[this] { return loop_.signal() != 0; }, [this](const std::string& line) { view_->PrintError(line); }});
    console_ = std::make_unique<Console>(*manager_, *view_, loop_.timer());
    console_->SetImageFileOptions(options_.imageFiles);
    console_->SetRunObserver(production_.get());
    // One command line is one run, from start-up to its last step.
    console_->KeepRunsOpen();
    console_->BeginRun();
    if (options_.verbosity == Verbosity::Verbose) {
        DescribeSetup();
    }
    if (const std::string problem = factory_->Prepare(); !problem.empty()) {
        RecordNotStarted(problem);
        return Failed(problem);
    }
    return std::nullopt;
}

// A site that ends before its programmer starts still records the chip, the image and the
// steps it was asked for.
void SiteRun::RecordNotStarted(const std::string& line) {
    if (manager_->catalogue().empty()) {
        manager_->catalogue() = job_.catalogue;
    }
    if (job_.chosenChip) {
        manager_->SelectChip(*job_.chosenChip);
    }
    if (options_.openFile) {
        console_->SelectImageFile(*options_.openFile);
    }
    console_->RecordNotStarted(line, options_.steps);
}

void SiteRun::DescribeSetup() {
    view_->PrintError(Prefixed("program directory " + job_.dir));
    if (job_.settingsDir != job_.dir) {
        view_->PrintError(Prefixed("settings directory " + job_.settingsDir));
    }
    const InfoSave& settings = job_.effective;
    const ProgrammerTypeInfo* type = FindProgrammerType(settings.programmerType);
    std::string programmer = type != nullptr ? type->title : "programmer type " + std::to_string(settings.programmerType);
    if (options_.simulate) {
        programmer += ", simulated, with " + setup_.simulatedChip.name + " in the socket";
        if (!setup_.simulatedChipFile.empty()) {
            programmer += " (kept in " + setup_.simulatedChipFile + ")";
        }
    } else if (!setup_.port.path.empty()) {
        programmer += " on " + setup_.port.path;
    } else if (settings.programmerType == SerialProgrammerType) {
        programmer += " on COM" + std::to_string(setup_.port.comPort.value_or(settings.comPort));
    }
    view_->PrintError(Prefixed(programmer));
    if (!setup_.portLogPath.empty()) {
        view_->PrintError(Prefixed("port log " + setup_.portLogPath));
    }
}

// As the window starts; the first step waits, as an operator's first click would, until
// the start-up reports have been handled.
SiteRun::Step SiteRun::StartUp() {
    console_->InitControls(SiteRecord());
    console_->UseCatalogue(job_.catalogue);
    console_->StartProgrammer(loop_, *factory_);
    if (const std::vector<std::string> errors = factory_->errors(); !errors.empty()) {
        TellFactoryErrors();
        RecordNotStarted(errors.back());
        return kExitFailure;
    }
    if (job_.chosenChip) {
        console_->SelectChip(*job_.chosenChip);
    }
    // A script that names its chip must not have another part programmed behind its back.
    console_->RequireChip(job_.chosenChip);
    const bool initEventComing = manager_->backend() != nullptr &&
                                 (manager_->programmerType() != SerialProgrammerType || manager_->BaudRate() != 0);
    if (Step end = Pump([&] { return (console_->initReported() || !initEventComing) && Idle(); })) {
        return end;
    }
    if (console_->failed()) {
        RecordNotStarted(FailureLine());
        return kExitFailure;
    }
    return std::nullopt;
}

SiteRun::Step SiteRun::RunSequence() {
    if (options_.openFile) {
        console_->SelectImageFile(*options_.openFile);
    }
    if (!options_.HasSequence()) {
        return std::nullopt;
    }
    if (options_.autoCommand) {
        console_->OnAuto();
    } else {
        console_->RunSteps(options_.steps);
    }
    return AwaitCommand();
}

// Handles reports until the command just given has ended.
SiteRun::Step SiteRun::AwaitCommand() {
    if (Step end = Pump([&] { return Idle(); })) {
        return end;
    }
    return console_->failed() ? Step(kExitFailure) : std::nullopt;
}

SiteRun::Step SiteRun::WriteLockBits() {
    if (!options_.lockLevel) {
        return std::nullopt;
    }
    console_->SelectLockBit(*options_.lockLevel - 1);
    console_->OnWriteBit();
    return AwaitCommand();
}

SiteRun::Step SiteRun::SaveBuffer2() {
    if (!options_.saveFile) {
        return std::nullopt;
    }
    switch (console_->OnSave(*options_.saveFile)) {
        case SaveOutcome::Saved:
            return std::nullopt;
        case SaveOutcome::CannotCreate:
            return Failed("cannot create " + *options_.saveFile);
        case SaveOutcome::WriteFailed:
            return Failed("Save Error.: " + *options_.saveFile + " could not be written whole");
        case SaveOutcome::NotEnabled:
            break;
    }
    return Failed("Save is not enabled");
}

// The back-end stops before the simulator, so the chip file is written whole; the record is
// kept last, with everything that went wrong, before the run is reported.
int SiteRun::Finish(int status) {
    view_->EndProgressLine();
    view_->Flush();
    manager_->ShutdownBackend();
    factory_->Finish();
    if (status == kExitFailure) {
        TellFailure();
    }
    if (factory_->errors().size() > factoryErrorsTold_) {
        TellFactoryErrors();
        status = status == kExitSuccess ? kExitFailure : status;
    }
    console_->CloseRun(status == kExitSuccess ? std::string() : FailureLine());
    if (console_->failed() && status == kExitSuccess) {
        status = kExitFailure;
    }
    if (const std::string problem = production_->lastLogProblem(); !problem.empty()) {
        view_->PrintError(Prefixed(problem));
    }
    // A signal that ended the wait for the log's lock makes an interrupted run.
    if (status == kExitFailure && loop_.signal() != 0) {
        status = 128 + loop_.signal();
    }
    view_->Flush();
    took_ = std::chrono::steady_clock::now() - started_;
    if (options_.verbosity == Verbosity::Verbose) {
        if (const std::string answer = manager_->enableAnswer(); !answer.empty()) {
            view_->PrintError(Prefixed("programming enable answered " + answer));
        }
        const std::chrono::duration<double> seconds = took_;
        char line[64];
        std::snprintf(line, sizeof line, "exit status %d after %.2f s", status, seconds.count());
        view_->PrintError(Prefixed(line));
    }
    return status;
}

std::string SiteRun::FailureLine() const {
    if (!ownFailure_.empty()) {
        return ownFailure_;
    }
    const std::vector<std::string> errors = factory_->errors();
    return errors.empty() ? view_->failureLine() : errors.back();
}

SiteRun::Step SiteRun::Pump(const std::function<bool()>& done) {
    const auto silence = std::chrono::seconds(options_.timeoutSeconds) + kSilenceMargin;
    switch (loop_.RunUntil(
        done, [&](const Report& report) { console_->Handle(report); }, [&] { view_->Flush(); }, silence)) {
        case CliLoop::Outcome::Done:
            return std::nullopt;
        case CliLoop::Outcome::Silent:
            return Failed("no answer from the programmer within " + std::to_string(silence.count()) + " s");
        case CliLoop::Outcome::Interrupted:
            break;
    }
    view_->EndProgressLine();
    return Failed("interrupted", 128 + loop_.signal());
}

bool SiteRun::Idle() const {
    return console_->outstanding() == 0 && !console_->pending().Any() && !console_->settling();
}

SiteRun::Step SiteRun::Failed(const std::string& line, int status) {
    view_->PrintError(Prefixed(line));
    if (ownFailure_.empty()) {
        ownFailure_ = line;
    }
    failureTold_ = true;
    return status;
}

// The line that ended a failed sequence goes to standard error too, unless a message with
// its reason has just said it there.
void SiteRun::TellFailure() {
    if (failureTold_) {
        return;
    }
    const std::string line = view_->failureLine();
    if (line.empty() || line == view_->lastMessageText()) {
        return;
    }
    view_->PrintError(Prefixed(line));
    failureTold_ = true;
}

void SiteRun::TellFactoryErrors() {
    const std::vector<std::string> errors = factory_->errors();
    for (std::size_t index = factoryErrorsTold_; index < errors.size(); ++index) {
        view_->PrintError(Prefixed(errors[index]));
    }
    factoryErrorsTold_ = errors.size();
    failureTold_ = true;
}

}  // namespace korvan
