#include "cli/cli_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "cli/cli_loop.h"
#include "cli/terminal_view.h"
#include "console/port_map.h"
#include "engine/catalogue.h"
#include "engine/catalogue_edit.h"
#include "engine/program_dir.h"
#include "engine/programmer_manager.h"
#include "isp/hardware_port.h"
#include "isp/pin_map.h"
#include "programmers/programmer_factory.h"
#include "programmers/programmer_types.h"
#include "serial/serial_devices.h"
#include "serial/serial_port.h"

namespace korvan {
namespace {

constexpr const char* kProgramName = "korvan-cli";
// Commands other than an erase are answered by the programmer's controller at once.
constexpr std::chrono::seconds kCommandAnswerTimeout{3};
// The loop gives up on a silent back-end this much later than the programmer's own time-out,
// so that the back-end's report of a silent programmer comes first.
constexpr std::chrono::seconds kSilenceMargin{10};

std::string Prefixed(const std::string& line) { return std::string(kProgramName) + ": " + line; }

// `--chip auto`: whatever chip Check identifies is used, as in the window.
constexpr const char* kAnyChip = "auto";

std::optional<int> ResolveChip(const ChipCatalogue& catalogue, const std::string& text) {
    const std::optional<std::size_t> index = catalogue.Resolve(text);
    return index ? std::optional<int>(static_cast<int>(*index)) : std::nullopt;
}

int ListChips(const ChipCatalogue& catalogue, const std::string& path, std::ostream& out, std::ostream& err) {
    if (catalogue.empty()) {
        err << Prefixed("no chips in " + path) << '\n';
        return kExitFailure;
    }
    for (std::size_t index = 0; index < catalogue.size(); ++index) {
        out << DescribeChip(index, catalogue[index]) << '\n';
    }
    return kExitSuccess;
}

// The COM numbers as Korvan.ini maps them, then every serial device present, then the
// parallel ports.
int ListPorts(const std::string& iniPath, std::ostream& out, std::ostream& err) {
    const PortMapRead ports = ReadPortMap(iniPath);
    for (const std::string& problem : ports.problems) {
        err << Prefixed(problem) << '\n';
    }
    for (int port = kFirstComPort; port <= kLastComPort; ++port) {
        const std::string path = ports.map.Device(port);
        std::error_code error;
        out << "COM " << port << "  " << path << (std::filesystem::exists(path, error) ? "" : "  (not present)")
            << '\n';
    }
    for (const std::string& device : ListSerialDevices()) {
        out << "TTY   " << device << '\n';
    }
    for (const ParportDevice& port : ListParportDevices(PortSearch{})) {
        out << "LPT   " << port.devicePath;
        if (port.base >= 0) {
            out << "  0x" << std::hex << port.base << std::dec;
        }
        out << '\n';
    }
    return kExitSuccess;
}

// One command line's run: the composition, start-up as the window starts, then the steps.
class CliRun {
public:
    CliRun(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressOnTerminal)
        : options_(options), out_(out), err_(err), progressOnTerminal_(progressOnTerminal) {}

    int Run();

private:
    // Each step returns nothing when the run goes on, or the exit status that ends it.
    using Step = std::optional<int>;

    Step ResolveProgramDirectory();
    Step ResolveEffectiveSettings();
    Step ResolveChips();
    Step BuildComposition();
    Step StartUp();
    Step RunSequence();
    Step AwaitCommand();
    Step WriteLockBits();
    Step SaveBuffer2();
    int Finish(int status);

    ProgrammerOptions MakeProgrammerOptions() const;
    std::string FerrowDirectory() const { return KeptFileDirectory(settingsDir_, dir_, kFerrowIniName); }
    void DescribeSetup();
    // Handles reports and timer tasks until `done`, the run is interrupted or the back-end
    // stays silent too long.
    Step Pump(const std::function<bool()>& done);
    bool Idle() const;
    Step Failed(const std::string& line, int status = kExitFailure);
    void TellFailure();
    void TellFactoryErrors();

    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    const bool progressOnTerminal_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();

    std::string dir_;
    std::string settingsDir_;  // Korvan.ini; dir_ itself unless dir_ is not writable
    std::string cataloguePath_;
    ChipCatalogue catalogue_;
    std::optional<InfoSave> record_;
    InfoSave effective_ = FirstStartInfoSave();
    std::optional<int> chosenChip_;
    ChipRecord simulatedChip_;

    // Built in this order and torn down in reverse: the loop's queue outlives the manager,
    // whose back-end threads post into it, and the simulator outlives the back-end.
    std::unique_ptr<CliLoop> loop_;
    std::unique_ptr<ProgrammerFactory> factory_;
    std::unique_ptr<ProgrammerManager> manager_;
    std::unique_ptr<TerminalView> view_;
    std::unique_ptr<Console> console_;

    bool failureTold_ = false;
    std::size_t factoryErrorsTold_ = 0;
};

int CliRun::Run() {
    if (Step end = ResolveProgramDirectory()) {
        return *end;
    }
    if (options_.listChips) {
        return ListChips(catalogue_, cataloguePath_, out_, err_);
    }
    if (options_.listPorts) {
        return ListPorts(settingsDir_ + kSettingsFileName, out_, err_);
    }
    if (Step end = ResolveEffectiveSettings()) {
        return *end;
    }
    if (Step end = ResolveChips()) {
        return *end;
    }
    if (Step end = BuildComposition()) {
        return *end;
    }
    // The console is built: options for how it reads image files are handed to it here.
    for (Step (CliRun::*step)() : {&CliRun::StartUp, &CliRun::RunSequence, &CliRun::WriteLockBits,
                                   &CliRun::SaveBuffer2}) {
        if (Step end = (this->*step)()) {
            return Finish(*end);
        }
    }
    return Finish(kExitSuccess);
}

CliRun::Step CliRun::ResolveProgramDirectory() {
    dir_ = ProgramDirectory(options_.dir);
    if (const std::string problem = ProgramDirectoryProblem(dir_); !problem.empty()) {
        return Failed(problem, kExitUsage);
    }
    settingsDir_ = SettingsDirectory(dir_);
    constexpr const char* kChipListName = "ChipList.chip";
    cataloguePath_ = KeptFileDirectory(settingsDir_, dir_, kChipListName) + kChipListName;
    for (const std::string& path : {cataloguePath_, settingsDir_ + kSettingsFileName}) {
        if (const std::string problem = KeptFileProblem(path); !problem.empty()) {
            return Failed(problem);
        }
    }
    catalogue_.Load(cataloguePath_);
    return std::nullopt;
}

// Options override the stored record; the record itself is never written back.
CliRun::Step CliRun::ResolveEffectiveSettings() {
    record_ = ReadInfoSave(settingsDir_ + kSettingsFileName);
    if (options_.programmerType || options_.comPort || options_.baudIndex || options_.downloadSpeed) {
        InfoSave changed = record_.value_or(FirstStartInfoSave());
        changed.programmerType = options_.programmerType.value_or(changed.programmerType);
        changed.comPort = options_.comPort.value_or(changed.comPort);
        changed.baudIndex = options_.baudIndex.value_or(changed.baudIndex);
        changed.downloadSpeed = options_.downloadSpeed.value_or(changed.downloadSpeed);
        record_ = changed;
    }
    effective_ = record_.value_or(FirstStartInfoSave());
    if (effective_.programmerType == FerrowIspType) {
        if (const std::string problem = KeptFileProblem(FerrowDirectory() + kFerrowIniName); !problem.empty()) {
            return Failed(problem);
        }
    }
    return std::nullopt;
}

// The chip to select and, when simulating, the chip in the simulated socket.
CliRun::Step CliRun::ResolveChips() {
    if (options_.chip && *options_.chip != kAnyChip) {
        chosenChip_ = ResolveChip(catalogue_, *options_.chip);
        if (!chosenChip_) {
            return Failed("no chip '" + *options_.chip + "' in " + cataloguePath_, kExitUsage);
        }
    }
    if (!options_.simulate) {
        return std::nullopt;
    }
    if (catalogue_.empty()) {
        return Failed("no chips in " + cataloguePath_ + " to simulate");
    }
    std::optional<int> socket = chosenChip_;
    if (options_.simChip) {
        socket = ResolveChip(catalogue_, *options_.simChip);
        if (!socket) {
            return Failed("no chip '" + *options_.simChip + "' in " + cataloguePath_, kExitUsage);
        }
    }
    const int index = socket.value_or(effective_.chipIndex);
    simulatedChip_ =
        catalogue_[index >= 0 && static_cast<std::size_t>(index) < catalogue_.size() ? static_cast<std::size_t>(index)
                                                                                      : 0];
    return std::nullopt;
}

ProgrammerOptions CliRun::MakeProgrammerOptions() const {
    ProgrammerOptions programmer;
    programmer.programDir = FerrowDirectory();
    programmer.devicePath = options_.portPath.value_or("");
    // The window reads the same map from the same file: a COM number opens the same device.
    programmer.comPortDevices = ReadPortMap(settingsDir_ + kSettingsFileName).map.devices;
    programmer.portLogPath = options_.portLog;
    const std::chrono::seconds timeout(options_.timeoutSeconds);
    programmer.answerTimeouts = {std::min<std::chrono::milliseconds>(kCommandAnswerTimeout, timeout), timeout};
    programmer.simulate = options_.simulate;
    programmer.simulatedChip = simulatedChip_;
    programmer.simulatedChipFile = options_.simulateFile;
    return programmer;
}

CliRun::Step CliRun::BuildComposition() {
    // First: it blocks SIGINT and SIGTERM, which every thread started later inherits.
    loop_ = std::make_unique<CliLoop>();
    factory_ = std::make_unique<ProgrammerFactory>(MakeProgrammerOptions());
    if (const std::string problem = factory_->Prepare(); !problem.empty()) {
        return Failed(problem);
    }
    manager_ = std::make_unique<ProgrammerManager>();
    manager_->SetProgramDirectory(dir_);
    manager_->SetSettingsDirectory(settingsDir_);
    view_ = std::make_unique<TerminalView>(out_, err_, progressOnTerminal_, options_.verbosity == Verbosity::Quiet);
    console_ = std::make_unique<Console>(*manager_, *view_, loop_->timer());
    console_->SetImageFileOptions(options_.imageFiles);
    if (options_.verbosity == Verbosity::Verbose) {
        DescribeSetup();
    }
    return std::nullopt;
}

void CliRun::DescribeSetup() {
    view_->PrintError(Prefixed("program directory " + dir_));
    if (settingsDir_ != dir_) {
        view_->PrintError(Prefixed("settings directory " + settingsDir_));
    }
    const ProgrammerTypeInfo* type = FindProgrammerType(effective_.programmerType);
    std::string programmer = type != nullptr ? type->title : "programmer type " + std::to_string(effective_.programmerType);
    if (options_.simulate) {
        programmer += ", simulated, with " + simulatedChip_.name + " in the socket";
        if (!options_.simulateFile.empty()) {
            programmer += " (kept in " + options_.simulateFile + ")";
        }
    } else if (options_.portPath) {
        programmer += " on " + *options_.portPath;
    } else if (effective_.programmerType == SerialProgrammerType) {
        programmer += " on COM" + std::to_string(effective_.comPort);
    }
    view_->PrintError(Prefixed(programmer));
    if (!options_.portLog.empty()) {
        view_->PrintError(Prefixed("port log " + options_.portLog));
    }
}

// As the window starts; the first step waits, as an operator's first click would, until
// the start-up reports have been handled.
CliRun::Step CliRun::StartUp() {
    console_->InitControls(record_);
    console_->StartProgrammer(*loop_, *factory_);
    if (const std::vector<std::string> errors = factory_->errors(); !errors.empty()) {
        TellFactoryErrors();
        return kExitFailure;
    }
    if (chosenChip_) {
        view_->SelectChip(*chosenChip_);
    }
    // A script that names its chip must not have another part programmed behind its back.
    console_->RequireChip(chosenChip_);
    const bool initEventComing = manager_->backend() != nullptr &&
                                 (manager_->programmerType() != SerialProgrammerType || manager_->BaudRate() != 0);
    if (Step end = Pump([&] { return (console_->initReported() || !initEventComing) && Idle(); })) {
        return end;
    }
    return console_->failed() ? Step(kExitFailure) : std::nullopt;
}

CliRun::Step CliRun::RunSequence() {
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
CliRun::Step CliRun::AwaitCommand() {
    if (Step end = Pump([&] { return Idle(); })) {
        return end;
    }
    return console_->failed() ? Step(kExitFailure) : std::nullopt;
}

CliRun::Step CliRun::WriteLockBits() {
    if (!options_.lockLevel) {
        return std::nullopt;
    }
    view_->SelectLockBit(*options_.lockLevel - 1);
    console_->OnWriteBit();
    return AwaitCommand();
}

CliRun::Step CliRun::SaveBuffer2() {
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

// The back-end stops before the simulator, so the chip file is written whole.
int CliRun::Finish(int status) {
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
    if (options_.verbosity == Verbosity::Verbose) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started_;
        char line[64];
        std::snprintf(line, sizeof line, "exit status %d after %.2f s", status, took.count());
        view_->PrintError(Prefixed(line));
    }
    return status;
}

CliRun::Step CliRun::Pump(const std::function<bool()>& done) {
    const auto silence = std::chrono::seconds(options_.timeoutSeconds) + kSilenceMargin;
    switch (loop_->RunUntil(
        done, [&](const Report& report) { console_->Handle(report); }, [&] { view_->Flush(); }, silence)) {
        case CliLoop::Outcome::Done:
            return std::nullopt;
        case CliLoop::Outcome::Silent:
            return Failed("no answer from the programmer within " + std::to_string(silence.count()) + " s");
        case CliLoop::Outcome::Interrupted:
            break;
    }
    view_->EndProgressLine();
    return Failed("interrupted", 128 + loop_->signal());
}

bool CliRun::Idle() const {
    return console_->outstanding() == 0 && !console_->pending().Any() && !console_->settling();
}

CliRun::Step CliRun::Failed(const std::string& line, int status) {
    if (view_) {
        view_->PrintError(Prefixed(line));
    } else {
        err_ << Prefixed(line) << '\n';
    }
    failureTold_ = true;
    return status;
}

// The line that ended a failed sequence goes to standard error too, unless a message with
// its reason has just said it there.
void CliRun::TellFailure() {
    if (failureTold_) {
        return;
    }
    const std::string line = view_->failureLine();
    if (line.empty() || line == view_->lastMessageText()) {
        return;
    }
    Failed(line);
}

void CliRun::TellFactoryErrors() {
    const std::vector<std::string> errors = factory_->errors();
    for (std::size_t index = factoryErrorsTold_; index < errors.size(); ++index) {
        view_->PrintError(Prefixed(errors[index]));
    }
    factoryErrorsTold_ = errors.size();
    failureTold_ = true;
}

}  // namespace

int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressOnTerminal) {
    if (options.help) {
        out << UsageText();
        return kExitSuccess;
    }
    if (options.version) {
        out << kProgramTitle << '\n';
        return kExitSuccess;
    }
    return CliRun(options, out, err, progressOnTerminal).Run();
}

}  // namespace korvan
