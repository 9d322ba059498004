// How long the window takes from the start of main to shown and idle: the controls built,
// the settings applied, the simulated programmer started and its first reports handled.
// Process start-up before main (exec, dynamic loading) is not in it.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "console/console.h"
#include "engine/catalogue.h"
#include "engine/program_dir.h"

namespace {

qint64 StartOnce(const std::string& programDir, const korvan::ChipRecord& chip, QElapsedTimer& clock) {
    korvan::WindowSetup setup;
    setup.programDir = programDir;
    setup.programmer.programDir = programDir;
    setup.programmer.simulate = true;
    setup.programmer.simulatedChip = chip;
    korvan::MainWindow window(std::move(setup));
    window.show();
    window.Start();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return -1;
    }
    korvan::Console& console = window.console();
    while (!console.initReported() || console.outstanding() != 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    QCoreApplication::processEvents();
    return clock.elapsed();
}

}  // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const std::string dir = korvan::ProgramDirectory();
    korvan::ChipCatalogue catalogue;
    catalogue.Load(dir + "ChipList.chip");
    if (catalogue.empty()) {
        std::fprintf(stderr, "window_start_bench: no ChipList.chip in %s\n", dir.c_str());
        return 1;
    }
    const qint64 first = StartOnce(dir, catalogue[0], clock);
    std::printf("window shown and idle, first start in this process: %lld ms (platform %s)\n",
                static_cast<long long>(first), qgetenv("QT_QPA_PLATFORM").constData());
    constexpr int kRuns = 10;
    qint64 best = INT64_MAX;
    for (int run = 0; run < kRuns; ++run) {
        clock.restart();
        best = std::min(best, StartOnce(dir, catalogue[0], clock));
    }
    std::printf("window shown and idle, best of %d later starts: %lld ms\n", kRuns, static_cast<long long>(best));
    return first < 0 ? 1 : 0;
}
