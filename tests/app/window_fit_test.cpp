// The window on a small screen at twice the scale: everything an operator needs stays reachable.
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/auto_button.h"
#include "app/caption_progress.h"
#include "app/main_window.h"
#include "engine/catalogue.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kScreenWidth = 1600;
constexpr int kScreenHeight = 900;

class WindowFitTest : public QObject {
    Q_OBJECT
private slots:
    void aLowScreenAtDoubleScaleStillReachesAutoAndTheProgressBar() {
        korvan::testing::TempDir dir;
        std::filesystem::copy_file(korvan::testing::BuiltProgramDir() + "ChipList.chip", dir.file("ChipList.chip"));
        korvan::ChipCatalogue catalogue;
        catalogue.Load(dir.file("ChipList.chip"));
        korvan::WindowSetup setup;
        setup.programDir = dir.dir();
        setup.programmer.programDir = dir.dir();
        setup.programmer.simulate = true;
        setup.programmer.simulatedChip = catalogue[0];
        korvan::MainWindow window(std::move(setup));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QRect screen = window.screen()->availableGeometry();
        QCOMPARE(window.screen()->devicePixelRatio(), 2.0);
        QCOMPARE(screen.height(), kScreenHeight / 2);
        QVERIFY2(window.minimumSize().height() <= screen.height(), qPrintable(QString::number(window.minimumHeight())));
        QVERIFY2(window.minimumSize().width() <= screen.width(), qPrintable(QString::number(window.minimumWidth())));
        QVERIFY2(window.height() <= screen.height() && window.width() <= screen.width(),
                 qPrintable(QStringLiteral("%1 x %2").arg(window.width()).arg(window.height())));

        // The progress bar is in sight; the Auto button is, once its column is scrolled to it.
        const korvan::WindowControls& controls = window.controls();
        const QRect progress(controls.progress->mapTo(&window, QPoint(0, 0)), controls.progress->size());
        QVERIFY(window.rect().contains(progress));
        korvan::AutoButton* autoRun = controls.button(korvan::Button::Auto);
        QScrollArea* column = nullptr;
        for (QWidget* up = autoRun->parentWidget(); up != nullptr && column == nullptr; up = up->parentWidget()) {
            column = qobject_cast<QScrollArea*>(up);
        }
        QVERIFY(column != nullptr);
        column->ensureWidgetVisible(autoRun);
        const QRect autoPlace(autoRun->mapTo(column->viewport(), QPoint(0, 0)), autoRun->size());
        QVERIFY2(column->viewport()->rect().contains(autoPlace),
                 qPrintable(QStringLiteral("Auto at %1,%2 %3 x %4 in a viewport of %5 x %6")
                                .arg(autoPlace.x()).arg(autoPlace.y()).arg(autoPlace.width()).arg(autoPlace.height())
                                .arg(column->viewport()->width()).arg(column->viewport()->height())));
        const QRect viewport(column->viewport()->mapTo(&window, QPoint(0, 0)), column->viewport()->size());
        QVERIFY(window.rect().contains(viewport));
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    const std::filesystem::path config = std::filesystem::temp_directory_path() / ("korvan-window-fit-" + std::to_string(::getpid()) + ".json");
    std::ofstream(config) << R"({"screens": [{"name": "low", "width": )" << kScreenWidth << R"(, "height": )"
                          << kScreenHeight << R"(, "logicalDpi": 96, "logicalBaseDpi": 96}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.string().c_str());
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    WindowFitTest test;
    const int failures = QTest::qExec(&test, argc, argv);
    std::filesystem::remove(config);
    return failures;
}

#include "window_fit_test.moc"
