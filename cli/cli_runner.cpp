#include "cli/cli_runner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "cli/cli_loop.h"
#include "cli/run_output.h"
#include "cli/site_run.h"
#include "console/port_map.h"
#include "data/read_file.h"
#include "engine/catalogue.h"
#include "engine/catalogue_edit.h"
#include "engine/program_dir.h"
#include "programmers/programmer_files.h"
#include "programmers/programmer_types.h"
#include "store/postgres_store.h"

namespace korvan {
namespace {

constexpr const char* kProgramName = "korvan-cli";

std::string Prefixed(const std::string& line) { return std::string(kProgramName) + ": " + line; }

// `--chip auto`: whatever chip Check identifies is used, as in the window.
constexpr const char* kAnyChip = "auto";

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

// The COM numbers as Korvan.ini maps them, then every serial device present, the parallel
// ports, the FTDI devices and the GPIO chips.
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
    const PortListing present = ListProgrammerPorts();
    for (const std::string& device : present.serialDevices) {
        out << "TTY   " << device << '\n';
    }
    for (const ParportDevice& port : present.parallelPorts) {
        out << "LPT   " << port.devicePath;
        if (port.base >= 0) {
            out << "  0x" << std::hex << port.base << std::dec;
        }
        out << '\n';
    }
    for (const FtdiListing& device : present.ftdiDevices) {
        out << "FTDI  " << device.port << "  " << device.description << '\n';
    }
    for (const GpioChipListing& chip : present.gpioChips) {
        out << "GPIO  " << chip.path << "  " << chip.label << " (" << chip.lines << " lines)\n";
    }
    return kExitSuccess;
}

// Reads what every site shares, once. Returns nothing when the sites may start, or the
// exit status that ends the command line (its reason written to `err`).
class JobReader {
public:
    JobReader(const CliOptions& options, CliJob& job, std::ostream& out, std::ostream& err)
        : options_(options), job_(job), out_(out), err_(err) {}

    std::optional<int> Read() {
        for (Step (JobReader::*step)() : {&JobReader::ResolveProgramDirectory, &JobReader::Listings,
                                          &JobReader::ResolveEffectiveSettings, &JobReader::CheckPorts,
                                          &JobReader::ResolveChip,
                                          &JobReader::ResolveProduction}) {
            if (Step end = (this->*step)()) {
                return end;
            }
        }
        return std::nullopt;
    }

private:
    using Step = std::optional<int>;

    Step Failed(const std::string& line, int status = kExitFailure) {
        err_ << Prefixed(line) << '\n';
        return status;
    }

    Step ResolveProgramDirectory() {
        job_.dir = ProgramDirectory(options_.dir);
        if (const std::string problem = ProgramDirectoryProblem(job_.dir); !problem.empty()) {
            return Failed(problem, kExitUsage);
        }
        job_.settingsDir = SettingsDirectory(job_.dir);
        job_.cataloguePath = KeptFileDirectory(job_.settingsDir, job_.dir, kChipListName) + kChipListName;
        const std::pair<std::string, std::size_t> keptFiles[] = {
            {job_.cataloguePath, SIZE_MAX}, {job_.settingsDir + kSettingsFileName, kSettingsFileLimit}};
        for (const auto& [path, limit] : keptFiles) {
            if (const std::string problem = KeptFileProblem(path, limit); !problem.empty()) {
                return Failed(problem);
            }
        }
        job_.catalogue.Load(job_.cataloguePath);
        return std::nullopt;
    }

    Step Listings() {
        if (options_.listChips) {
            return ListChips(job_.catalogue, job_.cataloguePath, out_, err_);
        }
        if (options_.listPorts) {
            return ListPorts(job_.settingsDir + kSettingsFileName, out_, err_);
        }
        return std::nullopt;
    }

    // Options override the stored record; the record itself is never written back.
    Step ResolveEffectiveSettings() {
        job_.record = ReadInfoSave(job_.settingsDir + kSettingsFileName);
        if (options_.programmerType || options_.baudIndex || options_.downloadSpeed) {
            InfoSave changed = job_.record.value_or(FirstStartInfoSave());
            changed.programmerType = options_.programmerType.value_or(changed.programmerType);
            changed.baudIndex = options_.baudIndex.value_or(changed.baudIndex);
            changed.downloadSpeed = options_.downloadSpeed.value_or(changed.downloadSpeed);
            job_.record = changed;
        }
        job_.effective = job_.record.value_or(FirstStartInfoSave());
        job_.ports = ReadPortMap(job_.settingsDir + kSettingsFileName).map;
        if (job_.effective.programmerType == FerrowIspType) {
            const std::string ferrow = PinMapPath(job_.settingsDir, job_.dir);
            if (const std::string problem = KeptFileProblem(ferrow); !problem.empty()) {
                return Failed(problem);
            }
        }
        return std::nullopt;
    }

    // Two sites on one programmer would interleave their commands on one wire.
    Step CheckPorts() {
        if (options_.simulate) {
            return std::nullopt;
        }
        std::map<std::string, std::string> named;  // the real device, as the command line named it
        for (const PortChoice& port : options_.ports) {
            const int comPort = port.comPort.value_or(job_.effective.comPort);
            const std::string given = port.path.empty() ? std::to_string(comPort) : port.path;
            const std::string device = RealFilePath(port.path.empty() ? job_.ports.Device(comPort) : port.path);
            const auto [previous, added] = named.emplace(device, given);
            if (!added) {
                return Failed("--port " + previous->second + " and --port " + given + " are the same port, " + device,
                              kExitUsage);
            }
        }
        return std::nullopt;
    }

    Step ResolveChip() {
        if (options_.chip && *options_.chip != kAnyChip) {
            job_.chosenChip = ResolveChip(job_.catalogue, *options_.chip);
            if (!job_.chosenChip) {
                return Failed("no chip '" + *options_.chip + "' in " + job_.cataloguePath, kExitUsage);
            }
        }
        if (options_.simulate && job_.catalogue.empty()) {
            return Failed("no chips in " + job_.cataloguePath + " to simulate");
        }
        for (const std::string& name : options_.simChips) {
            if (!ResolveChip(job_.catalogue, name)) {
                return Failed("no chip '" + name + "' in " + job_.cataloguePath, kExitUsage);
            }
        }
        return std::nullopt;
    }

    // A log or a number that could not be kept stops the job before any chip is touched; a
    // server that cannot be reached stops it too, when it must give the numbers.
    Step ResolveProduction() {
        ProductionOptions& production = job_.production;
        production.jobLogPath = options_.logPath;
        production.storeUrl = options_.storeUrl;
        production.job = options_.job;
        production.spoolPath = options_.spoolPath;
        if (!production.storeUrl.empty()) {
            if (production.spoolPath.empty()) {
                production.spoolPath = job_.settingsDir + kDefaultSpoolName;
            }
            SendSpooledRecords();
        }
        if (options_.serialNumber) {
            SerialNumbering serial;
            serial.placement = *options_.serialNumber;
            serial.counterPath = options_.serialCounter;
            serial.start = options_.serialStart.value_or(1);
            serial.overwrite = options_.serialOverwrite;
            production.serial = serial;
        }
        if (const std::string problem = ProductionProblem(production); !problem.empty()) {
            return Failed(problem);
        }
        return std::nullopt;
    }

    // Records an earlier run left in the spool go first; those the server still cannot take wait on.
    void SendSpooledRecords() {
        const SpoolFlush flush = FlushSpool(job_.production.storeUrl, job_.production.spoolPath);
        if (flush.left > 0) {
            err_ << Prefixed(std::to_string(flush.left) + " records wait in " + job_.production.spoolPath + ": " +
                             flush.error)
                 << '\n';
        }
    }

    static std::optional<int> ResolveChip(const ChipCatalogue& catalogue, const std::string& text) {
        const std::optional<std::size_t> index = catalogue.Resolve(text);
        return index ? std::optional<int>(static_cast<int>(*index)) : std::nullopt;
    }

    const CliOptions& options_;
    CliJob& job_;
    std::ostream& out_;
    std::ostream& err_;
};

// A file of each site's own, beside the one named: "chip.sim" is "chip-2.sim" for site 2.
std::string SiteFile(const std::string& file, int site, int sites) {
    if (file.empty() || sites == 1) {
        return file;
    }
    const std::filesystem::path path(file);
    return (path.parent_path() / (path.stem().string() + "-" + std::to_string(site) + path.extension().string()))
        .string();
}

// How a site's lines and record name its port.
std::string SiteLabel(const CliOptions& options, const CliJob& job, const PortChoice& port) {
    return PortLabel(job.effective.programmerType, options.simulate, port.path,
                     job.ports.Device(port.comPort.value_or(job.effective.comPort)));
}

std::vector<SiteSetup> SiteSetups(const CliOptions& options, const CliJob& job) {
    const int sites = options.SiteCount();
    std::vector<SiteSetup> setups;
    for (int number = 1; number <= sites; ++number) {
        SiteSetup setup;
        setup.number = number;
        const auto index = static_cast<std::size_t>(number - 1);
        if (index < options.ports.size()) {
            setup.port = options.ports[index];
        }
        setup.label = SiteLabel(options, job, setup.port);
        setup.portLogPath = SiteFile(options.portLog, number, sites);
        if (options.simulate) {
            std::optional<int> socket = job.chosenChip;
            if (!options.simChips.empty()) {
                const std::string& name = options.simChips[std::min(index, options.simChips.size() - 1)];
                socket = static_cast<int>(*job.catalogue.Resolve(name));
            }
            const int chip = socket.value_or(job.effective.chipIndex);
            setup.simulatedChip =
                job.catalogue[chip >= 0 && static_cast<std::size_t>(chip) < job.catalogue.size()
                                  ? static_cast<std::size_t>(chip)
                                  : 0];
            setup.simulatedChipFile = SiteFile(options.simulateFile, number, sites);
        }
        setups.push_back(std::move(setup));
    }
    return setups;
}

std::unique_ptr<RunOutput> SiteOutputFor(const CliOptions& options, const SiteSetup& setup, SharedStreams& streams,
                                         std::ostream& out, std::ostream& err, bool progressOnTerminal) {
    if (options.json) {
        return std::make_unique<JsonOutput>(streams, setup.number, std::to_string(setup.number) + " " + setup.label);
    }
    if (options.SiteCount() > 1) {
        return std::make_unique<SiteOutput>(streams, std::to_string(setup.number) + " " + setup.label);
    }
    return std::make_unique<TerminalOutput>(out, err, progressOnTerminal && options.verbosity != Verbosity::Quiet);
}

// Runs every site on its own thread and waits for all of them, passing SIGINT and SIGTERM on.
std::vector<int> RunSites(const std::vector<std::unique_ptr<SiteRun>>& runs, StopSignals& signals) {
    const int finishedFd = ::eventfd(0, EFD_CLOEXEC);
    std::vector<int> statuses(runs.size(), kExitFailure);
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < runs.size(); ++index) {
        threads.emplace_back([&, index] {
            statuses[index] = runs[index]->Run();
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(finishedFd, &one, sizeof one);
        });
    }
    std::uint64_t finished = 0;
    while (finished < runs.size()) {
        std::array<pollfd, 2> watched{{{finishedFd, POLLIN, 0}, {signals.fd(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            continue;
        }
        if ((watched[1].revents & POLLIN) != 0) {
            if (const int signal = signals.Take(); signal != 0) {
                for (const auto& run : runs) {
                    run->Interrupt(signal);
                }
            }
        }
        std::uint64_t count = 0;
        if ((watched[0].revents & POLLIN) != 0 && ::read(finishedFd, &count, sizeof count) == sizeof count) {
            finished += count;
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ::close(finishedFd);
    return statuses;
}

std::string ResultText(int status) {
    if (status == kExitSuccess) {
        return "ok";
    }
    return status > 128 ? "interrupted" : "failed";
}

// One line a site: its result, chip, serial number and time.
void PrintSummary(const std::vector<std::unique_ptr<SiteRun>>& runs, const std::vector<int>& statuses,
                  std::ostream& out) {
    char line[256];
    out << "Site  Port                  Result       Chip          Serial        Time\n";
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const SiteRun& run = *runs[index];
        const std::optional<JobRecord> record = run.record();
        const std::string chip = record && !record->chip.empty() ? record->chip : "-";
        const std::string serial = record && record->serial ? std::to_string(*record->serial) : "-";
        const std::chrono::duration<double> took = run.took();
        std::snprintf(line, sizeof line, "%-5d %-21s %-12s %-13s %-13s %.2f s", run.setup().number,
                      run.setup().label.c_str(), ResultText(statuses[index]).c_str(), chip.c_str(), serial.c_str(),
                      took.count());
        out << line << '\n';
    }
}

// An interrupted site's status beats a failure, which beats success. Usage is refused before
// any site runs.
int CombinedStatus(const std::vector<int>& statuses) {
    return *std::max_element(statuses.begin(), statuses.end(), [](int left, int right) {
        const auto rank = [](int status) { return status > 128 ? 129 : status; };
        return rank(left) < rank(right);
    });
}

int RunJob(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressOnTerminal) {
    CliJob job;
    if (const std::optional<int> end = JobReader(options, job, out, err).Read()) {
        return *end;
    }
    // First: it blocks SIGINT and SIGTERM, which every thread started later inherits.
    StopSignals signals;
    SharedStreams streams(out, err);
    const std::vector<SiteSetup> setups = SiteSetups(options, job);
    std::vector<std::unique_ptr<RunOutput>> outputs;
    std::vector<std::unique_ptr<SiteRun>> runs;
    for (const SiteSetup& setup : setups) {
        outputs.push_back(SiteOutputFor(options, setup, streams, out, err, progressOnTerminal));
        runs.push_back(std::make_unique<SiteRun>(options, job, setup, *outputs.back()));
    }
    const std::vector<int> statuses = RunSites(runs, signals);
    if (options.json) {
        for (const auto& run : runs) {
            if (const std::optional<JobRecord> record = run->record()) {
                out << JobRecordJson(*record) << '\n';
            }
        }
    } else if (runs.size() > 1) {
        PrintSummary(runs, statuses, out);
    }
    return CombinedStatus(statuses);
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
    return RunJob(options, out, err, progressOnTerminal);
}

}  // namespace korvan
