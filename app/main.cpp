// korvan: the main window.
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_options.h"
#include "console/info_save.h"
#include "engine/catalogue.h"
#include "engine/program_dir.h"
#include "engine/programmer_manager.h"
#include "programmers/programmer_files.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& line, int status) {
    std::fprintf(stderr, "korvan: %s\n", line.c_str());
    return status;
}

// The chip in the simulated socket: the one asked for, else the one selected last, else the
// catalogue's first.
std::optional<korvan::ChipRecord> SimulatedChip(const korvan::WindowOptions& options, const korvan::WindowSetup& setup,
                                                std::string& problem) {
    korvan::ChipCatalogue catalogue;
    const std::string path =
        korvan::KeptFileDirectory(setup.settingsDir, setup.programDir, korvan::kChipListName) + korvan::kChipListName;
    catalogue.Load(path);
    if (catalogue.empty()) {
        problem = "no chips in " + path + " to simulate";
        return std::nullopt;
    }
    std::optional<std::size_t> index;
    if (options.simChip) {
        index = catalogue.Resolve(*options.simChip);
        if (!index) {
            problem = "no chip '" + *options.simChip + "' in " + path;
            return std::nullopt;
        }
    } else if (const auto record = korvan::ReadInfoSave(setup.settingsDir + korvan::kSettingsFileName);
               record && record->chipIndex >= 0 && static_cast<std::size_t>(record->chipIndex) < catalogue.size()) {
        index = static_cast<std::size_t>(record->chipIndex);
    }
    return catalogue[index.value_or(0)];
}

}  // namespace

int main(int argc, char* argv[]) {
    // A file-size limit fails the write that reaches it (EFBIG) instead of killing the window.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help" || arg == "-V" || arg == "--version") {
            const korvan::ParsedWindowOptions early = korvan::ParseWindowOptions({arg});
            std::fputs(early.options.help ? korvan::WindowUsageText().c_str() : "korvan 2.3\n", stdout);
            return 0;
        }
    }
    if (const std::string problem = korvan::DisplayProblem(); !problem.empty()) {
        return Fail(problem, kExitFailure);
    }
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("Korvan"));
    QApplication::setApplicationVersion(QStringLiteral("2.3"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    const QStringList remaining = QApplication::arguments().mid(1);
    args.clear();
    for (const QString& arg : remaining) {
        args.push_back(arg.toStdString());
    }
    const korvan::ParsedWindowOptions parsed = korvan::ParseWindowOptions(args);
    if (!parsed.error.empty()) {
        return Fail(parsed.error + " (korvan --help lists the options)", kExitUsage);
    }
    const korvan::WindowOptions& options = parsed.options;

    korvan::WindowSetup setup;
    setup.programDir = korvan::ProgramDirectory(options.dir);
    if (const std::string problem = korvan::ProgramDirectoryProblem(setup.programDir); !problem.empty()) {
        return Fail(problem, kExitUsage);
    }
    setup.settingsDir = korvan::SettingsDirectory(setup.programDir);
    setup.programmer.programDir = korvan::PinMapDirectory(setup.settingsDir, setup.programDir);
    setup.programmer.adapterDir = korvan::AdapterWiringDirectory(setup.settingsDir, setup.programDir);
    setup.programmer.portLogPath = options.portLog;
    if (setup.programmer.portLogPath.empty()) {
        if (const char* log = std::getenv("KORVAN_PORT_LOG"); log != nullptr) {
            setup.programmer.portLogPath = log;
        }
    }
    if (options.simulate) {
        std::string problem;
        const std::optional<korvan::ChipRecord> chip = SimulatedChip(options, setup, problem);
        if (!chip) {
            return Fail(problem, kExitUsage);
        }
        setup.programmer.simulate = true;
        setup.programmer.simulatedChip = *chip;
        setup.programmer.simulatedChipFile = options.simulateFile;
        if (options.simulatePace) {
            const auto record = korvan::ReadInfoSave(setup.settingsDir + korvan::kSettingsFileName);
            const int baud = std::clamp(record ? record->baudIndex : 0, 0, static_cast<int>(korvan::kBaudTable.size()) - 1);
            setup.programmer.simulatedPaceBaud = korvan::kBaudTable[static_cast<std::size_t>(baud)];
        }
    }
    if (!options.imageFile.empty()) {
        setup.imageFile = std::filesystem::absolute(options.imageFile).string();
    }

    korvan::MainWindow window(std::move(setup));
    window.show();
    // The settings and the back-end start once the window is on the screen.
    QTimer::singleShot(0, &window, [&window] { window.Start(); });
    return QApplication::exec();
}
