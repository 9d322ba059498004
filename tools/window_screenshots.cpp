// Pictures of the main window for the README: the window on the simulated serial programmer
// runs the sample firmware through an Auto job, then each page is saved as a PNG.
//   window_screenshots OUTPUT_DIR SAMPLE_IMAGE
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "console/console.h"
#include "console/info_save.h"
#include "engine/catalogue.h"
#include "engine/program_dir.h"

namespace {

constexpr int kDeadlineMs = 60000;
constexpr const char* kPageNames[] = {"buffer1", "buffer2", "status", "settings"};

bool Idle(korvan::Console& console) {
    return console.initReported() && console.outstanding() == 0 && !console.settling() &&
           console.CommandEnabled(korvan::Button::Auto);
}

// Runs the event loop until `done`; false when the deadline passed first.
template <typename Done>
bool RunUntil(Done done) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > kDeadlineMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvan"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_screenshots OUTPUT_DIR SAMPLE_IMAGE\n");
        return 2;
    }
    const std::filesystem::path output = std::filesystem::absolute(argv[1]);
    const std::string sample = std::filesystem::absolute(argv[2]).string();
    std::filesystem::create_directories(output);

    // A program directory of its own, so the pictures show first-start settings.
    const std::filesystem::path home = output / "program";
    std::filesystem::create_directories(home);
    std::filesystem::copy_file(korvan::ProgramDirectory() + "ChipList.chip", home / "ChipList.chip",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(home / korvan::kSettingsFileName);
    korvan::ChipCatalogue catalogue;
    catalogue.Load((home / "ChipList.chip").string());
    const std::size_t chip = catalogue.Resolve("AT89C52").value_or(0);
    korvan::InfoSave record = korvan::FirstStartInfoSave();
    record.chipIndex = static_cast<std::int32_t>(chip);
    korvan::WriteInfoSave((home / korvan::kSettingsFileName).string(), record);

    korvan::WindowSetup setup;
    setup.programDir = home.string() + "/";
    setup.programmer.programDir = setup.programDir;
    setup.programmer.simulate = true;
    setup.programmer.simulatedChip = catalogue[chip];
    korvan::MainWindow window(std::move(setup));
    window.show();
    window.Start();
    korvan::Console& console = window.console();
    if (!RunUntil([&] { return Idle(console); })) {
        std::fprintf(stderr, "window_screenshots: the simulated programmer did not start\n");
        return 1;
    }
    // The picture shows a path of no machine: the sample is opened by a relative name.
    std::filesystem::create_directories(home / "firmware");
    std::filesystem::copy_file(sample, home / "firmware" / "sample.hex", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(home);
    console.OnOpen("firmware/sample.hex");
    // Enter, as the operator starts Auto: the result banner and the counters follow the run.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    if (!RunUntil([&] { return Idle(console); }) || console.failed()) {
        std::fprintf(stderr, "window_screenshots: the Auto job did not finish well\n");
        return 1;
    }
    for (int page = 0; page < 4; ++page) {
        console.ShowPage(page);
        QCoreApplication::processEvents();
        const std::filesystem::path file = output / (std::string("page-") + std::to_string(page) + "-" +
                                                     kPageNames[page] + ".png");
        if (!window.grab().save(QString::fromStdString(file.string()))) {
            std::fprintf(stderr, "window_screenshots: cannot write %s\n", file.c_str());
            return 1;
        }
        std::printf("%s\n", file.c_str());
    }
    std::filesystem::current_path(output);
    std::filesystem::remove_all(home);
    return 0;
}
