#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_loop.h"
#include "cli/cli_options.h"
#include "cli/run_output.h"
#include "cli/terminal_view.h"
#include "console/console.h"
#include "console/info_save.h"
#include "console/port_map.h"
#include "console/production.h"
#include "engine/catalogue.h"
#include "engine/programmer_manager.h"
#include "programmers/programmer_factory.h"

namespace korvan {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What every site of one command line shares: the directories, the catalogue, the settings
// in effect and the chip to program. Read once, before any site starts; read-only after.
struct CliJob {
    std::string dir;
    std::string settingsDir;  // Korvan.ini; dir itself unless dir is not writable
    std::string cataloguePath;
    ChipCatalogue catalogue;
    std::optional<InfoSave> record;  // with the options that override it
    InfoSave effective = FirstStartInfoSave();
    std::optional<int> chosenChip;
    PortMap ports;  // the device behind each COM number, as the window reads it
    ProductionOptions production;
};

// One site: its port, its port log and, when simulating, the chip in its socket and the file
// that keeps it.
struct SiteSetup {
    int number = 1;
    PortChoice port;
    std::string label;  // the port, as the site's lines and record name it
    ChipRecord simulatedChip;
    std::string simulatedChipFile;
    std::string portLogPath;  // empty: none
};

// One programmer running the command line's steps: its own loop, back-end, manager and
// console, all on the thread that calls Run.
class SiteRun {
public:
    SiteRun(const CliOptions& options, const CliJob& job, SiteSetup setup, RunOutput& output);
    ~SiteRun();
    SiteRun(const SiteRun&) = delete;
    SiteRun& operator=(const SiteRun&) = delete;

    // Start-up as the window starts, then the steps. Returns the exit status.
    int Run();
    // Any thread: stops the run because of `signal`.
    void Interrupt(int signal) { loop_.Interrupt(signal); }

    const SiteSetup& setup() const { return setup_; }
    // The record of the run; none when it ended before its console was built.
    std::optional<JobRecord> record() const;
    std::chrono::steady_clock::duration took() const { return took_; }

private:
    // Each step returns nothing when the run goes on, or the exit status that ends it.
    using Step = std::optional<int>;

    Step BuildComposition();
    Step StartUp();
    Step RunSequence();
    Step AwaitCommand();
    Step WriteLockBits();
    Step SaveBuffer2();
    int Finish(int status);

    ProgrammerOptions MakeProgrammerOptions() const;
    std::optional<InfoSave> SiteRecord() const;
    std::string FerrowDirectory() const;
    void DescribeSetup();
    void RecordNotStarted(const std::string& line);
    // Handles reports and timer tasks until `done`, the run is interrupted or the back-end
    // stays silent too long.
    Step Pump(const std::function<bool()>& done);
    bool Idle() const;
    Step Failed(const std::string& line, int status = kExitFailure);
    void TellFailure();
    void TellFactoryErrors();
    // The line that ended a failed run, for its record.
    std::string FailureLine() const;

    const CliOptions& options_;
    const CliJob& job_;
    const SiteSetup setup_;
    RunOutput& output_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::duration took_{};

    // Built in this order and torn down in reverse: the loop's queue outlives the manager,
    // whose back-end threads post into it, and the simulator outlives the back-end.
    CliLoop loop_;
    std::unique_ptr<ProgrammerFactory> factory_;
    std::unique_ptr<ProgrammerManager> manager_;
    std::unique_ptr<TerminalView> view_;
    std::unique_ptr<ProductionLine> production_;
    std::unique_ptr<Console> console_;

    bool failureTold_ = false;
    std::string ownFailure_;  // the command line's own line that ended the run
    std::size_t factoryErrorsTold_ = 0;
};

}  // namespace korvan
