#include "cli/cli_runner.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "cli/cli_backends.h"
#include "cli/terminal_view.h"
#include "console/event_queue.h"
#include "engine/catalogue.h"
#include "engine/program_dir.h"
#include "engine/programmer_manager.h"
#include "isp/hardware_port.h"
#include "serial/serial_port.h"

namespace korvan {
namespace {

constexpr const char* kProgramName = "korvan-cli";

// A catalogue index given as a number, or the first entry of that name.
std::optional<int> ResolveChip(const ChipCatalogue& catalogue, const std::string& text) {
    int index = -1;
    const char* end = text.data() + text.size();
    if (const auto [last, error] = std::from_chars(text.data(), end, index); error == std::errc() && last == end) {
        if (index >= 0 && static_cast<std::size_t>(index) < catalogue.size()) {
            return index;
        }
        return std::nullopt;
    }
    if (const std::optional<std::size_t> found = catalogue.FindByName(text)) {
        return static_cast<int>(*found);
    }
    return std::nullopt;
}

int ListChips(const ChipCatalogue& catalogue, const std::string& path, std::ostream& out, std::ostream& err) {
    if (catalogue.empty()) {
        err << kProgramName << ": no chips in " << path << '\n';
        return kExitFailure;
    }
    for (std::size_t index = 0; index < catalogue.size(); ++index) {
        const ChipRecord& chip = catalogue[index];
        char line[96];
        std::snprintf(line, sizeof line, "%3zu  %-19s %3dK  %5.2fV  %02x %02x %02x", index, chip.name.c_str(),
                      static_cast<int>(chip.romSizeKiB), static_cast<double>(chip.programmingVoltage),
                      chip.signature[0], chip.signature[1], chip.signature[2]);
        out << line << '\n';
    }
    return kExitSuccess;
}

int ListPorts(std::ostream& out) {
    const SerialDeviceMap devices;
    for (int port = 1; port <= 4; ++port) {
        const std::string path = devices.DevicePath(port);
        std::error_code error;
        out << "COM " << port << "  " << path << (std::filesystem::exists(path, error) ? "" : "  (not present)")
            << '\n';
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
    const std::string dir = ProgramDirectory(options.dir);
    const std::string cataloguePath = dir + "ChipList.chip";
    ChipCatalogue catalogue;
    catalogue.Load(cataloguePath);
    if (options.listChips) {
        return ListChips(catalogue, cataloguePath, out, err);
    }
    if (options.listPorts) {
        return ListPorts(out);
    }

    // Options override the stored record; the record itself is never written back.
    std::optional<InfoSave> record = ReadInfoSave(dir + kSettingsFileName);
    if (options.programmerType || options.comPort || options.baudIndex || options.downloadSpeed) {
        InfoSave changed = record.value_or(FirstStartInfoSave());
        changed.programmerType = options.programmerType.value_or(changed.programmerType);
        changed.comPort = options.comPort.value_or(changed.comPort);
        changed.baudIndex = options.baudIndex.value_or(changed.baudIndex);
        changed.downloadSpeed = options.downloadSpeed.value_or(changed.downloadSpeed);
        record = changed;
    }
    const InfoSave effective = record.value_or(FirstStartInfoSave());

    std::optional<int> chosenChip;
    if (options.chip) {
        chosenChip = ResolveChip(catalogue, *options.chip);
        if (!chosenChip) {
            err << kProgramName << ": no chip '" << *options.chip << "' in " << cataloguePath << '\n';
            return kExitUsage;
        }
    }
    BackendSetup setup;
    setup.programDir = dir;
    setup.comPort = effective.comPort;
    setup.portPath = options.portPath;
    setup.portLog = options.portLog;
    setup.simulate = options.simulate;
    setup.simChipFile = options.simulateFile;
    if (options.simulate) {
        if (catalogue.empty()) {
            err << kProgramName << ": no chips in " << cataloguePath << " to simulate\n";
            return kExitFailure;
        }
        std::optional<int> socket = chosenChip;
        if (options.simChip) {
            socket = ResolveChip(catalogue, *options.simChip);
            if (!socket) {
                err << kProgramName << ": no chip '" << *options.simChip << "' in " << cataloguePath << '\n';
                return kExitUsage;
            }
        }
        const int index = socket.value_or(effective.chipIndex);
        setup.simChip = catalogue[index >= 0 && static_cast<std::size_t>(index) < catalogue.size()
                                      ? static_cast<std::size_t>(index)
                                      : 0];
    }

    // The queue outlives the manager, whose back-end threads post into it until joined.
    EventQueue queue;
    TimerQueue timer;
    CliBackendFactory factory(setup);
    ProgrammerManager manager;
    TerminalView view(out, err, progressOnTerminal);
    Console console(manager, view, timer);
    console.SetImageFileOptions(options.imageFiles);
    manager.SetProgramDirectory(dir);

    const auto finish = [&](int status) {
        view.EndProgressLine();
        view.Flush();
        manager.ShutdownBackend();
        factory.StopSimulator();
        if (!factory.error().empty() && status == kExitSuccess) {
            view.PrintError(std::string(kProgramName) + ": " + factory.error());
            return kExitFailure;
        }
        return status;
    };
    const std::chrono::seconds silence(options.timeoutSeconds);
    // Handles reports and timer tasks until `done`; false when the back-end stayed silent
    // too long.
    const auto pumpUntil = [&](const std::function<bool()>& done) {
        auto silentSince = TimerQueue::Clock::now();
        for (;;) {
            timer.RunDue();
            while (const std::optional<Report> report = queue.TryPop()) {
                console.Handle(*report);
                silentSince = TimerQueue::Clock::now();
            }
            if (done()) {
                return true;
            }
            view.Flush();
            const auto now = TimerQueue::Clock::now();
            if (now - silentSince >= silence) {
                view.PrintError(std::string(kProgramName) + ": no answer from the programmer within " +
                                std::to_string(options.timeoutSeconds) + " s");
                return false;
            }
            const auto wakeUp = std::min(silentSince + silence, timer.NextDue().value_or(silentSince + silence));
            if (const std::optional<Report> report =
                    queue.WaitPop(std::chrono::ceil<std::chrono::milliseconds>(std::max(wakeUp - now, TimerQueue::Clock::duration::zero())))) {
                console.Handle(*report);
                silentSince = TimerQueue::Clock::now();
            }
        }
    };
    const auto idle = [&] {
        return console.outstanding() == 0 && !console.pending().Any() && !console.settling();
    };

    console.InitControls(record);
    console.StartProgrammer(queue, factory);
    if (!factory.error().empty()) {
        view.PrintError(std::string(kProgramName) + ": " + factory.error());
        return finish(kExitFailure);
    }
    if (chosenChip) {
        view.SelectChip(*chosenChip);
    }

    // As an operator's first click: only once the start-up reports have been handled.
    const bool initEventComing = manager.backend() != nullptr &&
                                 (manager.programmerType() != SerialProgrammerType || manager.BaudRate() != 0);
    if (!pumpUntil([&] { return (console.initReported() || !initEventComing) && idle(); })) {
        return finish(kExitFailure);
    }
    if (console.failed()) {
        return finish(kExitFailure);
    }

    if (options.openFile) {
        console.SelectImageFile(*options.openFile);
    }
    if (options.HasSequence()) {
        if (options.autoCommand) {
            console.OnAuto();
        } else {
            console.RunSteps(options.steps);
        }
        if (!pumpUntil(idle) || console.failed()) {
            return finish(kExitFailure);
        }
    }
    if (options.lockLevel) {
        view.SelectLockBit(*options.lockLevel - 1);
        console.OnWriteBit();
        if (!pumpUntil(idle) || console.failed()) {
            return finish(kExitFailure);
        }
    }
    if (options.saveFile) {
        switch (console.OnSave(*options.saveFile)) {
            case SaveOutcome::Saved:
                break;
            case SaveOutcome::CannotCreate:
                view.PrintError(std::string(kProgramName) + ": cannot create " + *options.saveFile);
                return finish(kExitFailure);
            default:
                return finish(kExitFailure);
        }
    }
    return finish(kExitSuccess);
}

}  // namespace korvan
