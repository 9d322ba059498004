// The window with its job in a store shared with other stations, on a real server.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/main_window.h"
#include "app/operator_panel.h"
#include "console/info_save.h"
#include "data/profile.h"
#include "engine/catalogue.h"
#include "store/job_store.h"
#include "tests/app/window_probe.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

using korvan::Button;

namespace {

constexpr int kDeadlineMs = korvan::testing::kWindowDeadlineMs;

// A finished run of job board-7 kept by another station.
std::string OtherStationsRecord(bool passed) {
    const nlohmann::ordered_json record = {
        {"time", "2026-12-07T18:52:10.412Z"}, {"host", "line4"}, {"korvan", "2.3"}, {"site", 1},
        {"port", "simulated"}, {"programmer", "serial"}, {"chip", "AT89C52"}, {"signature", "1e 52 ff"},
        {"image", {{"path", "app.hex"}, {"bytes", 4096}, {"crc32", "6b0f4ac2"}, {"sha256", "9c1d"}}},
        {"serial", nullptr}, {"steps", nlohmann::ordered_json::array()}, {"mismatches", 0},
        {"result", passed ? "ok" : "failed"},
        {"failure", passed ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json("Programmer: Write Error.")},
        {"job", "board-7"}, {"run", korvan::NewRunId()}};
    return record.dump();
}

class WindowStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aRunWhileTheServerIsAwayIsRefusedUntouchedAndTheNextRunTriesAgain();

private:
    void StartWindow(const std::vector<std::pair<std::string, std::string>>& production);
    void WaitUntilIdle() { korvan::testing::WaitUntilIdle(*window_); }
    bool HasLine(const std::string& text) const { return korvan::testing::HasLine(*window_, text); }
    QByteArray StatusText() const { return korvan::testing::StatusText(*window_); }

    std::unique_ptr<korvan::testing::PostgresServer> server_;
    std::unique_ptr<korvan::testing::TempDir> dir_;
    std::unique_ptr<korvan::MainWindow> window_;
};

void WindowStoreTest::init() {
    server_ = std::make_unique<korvan::testing::PostgresServer>();
    if (server_->binariesMissing()) {
        QSKIP(("PostgreSQL server tests skipped: " + server_->problem()).c_str());
    }
    QCOMPARE(server_->problem(), std::string());
    dir_ = std::make_unique<korvan::testing::TempDir>();
    std::filesystem::copy_file(korvan::testing::BuiltProgramDir() + "ChipList.chip", dir_->file("ChipList.chip"));
}

void WindowStoreTest::cleanup() {
    window_.reset();
    dir_.reset();
    server_.reset();
}

// The serial programmer's simulated AT89C52, with Korvan.ini's first-start record and `production`.
void WindowStoreTest::StartWindow(const std::vector<std::pair<std::string, std::string>>& production) {
    korvan::ChipCatalogue catalogue;
    catalogue.Load(dir_->file("ChipList.chip"));
    const std::size_t chip = catalogue.Resolve("AT89C52").value_or(0);
    korvan::InfoSave record = korvan::FirstStartInfoSave();
    record.chipIndex = static_cast<std::int32_t>(chip);
    const std::string ini = dir_->file("Korvan.ini");
    korvan::WriteInfoSave(ini, record);
    for (const auto& [key, value] : production) {
        QVERIFY(korvan::profile::WriteString(ini, "Production", key, value));
    }
    window_ = std::make_unique<korvan::MainWindow>(korvan::testing::SimulatedWindow(dir_->dir(), catalogue[chip]));
    korvan::testing::ShowAndStart(*window_);
}

// The server is away when the window starts and at its first run: that run is refused before
// the chip is erased, with the server and the reason, and leaves no record; once the server is
// back the next run takes its number from it. The panel then shows the job's totals, the other
// station's runs among them, beside the window's own counters.
void WindowStoreTest::aRunWhileTheServerIsAwayIsRefusedUntouchedAndTheNextRunTriesAgain() {
    const std::string url = server_->CreateDatabase("line");
    QVERIFY(!url.empty());
    korvan::JobStoreSettings settings;
    settings.url = url;
    settings.job = "board-7";
    const std::unique_ptr<korvan::JobStore> otherStation = korvan::OpenJobStore(settings);
    QCOMPARE(otherStation->KeepRecord(OtherStationsRecord(true)), std::string());
    QCOMPARE(otherStation->KeepRecord(OtherStationsRecord(false)), std::string());
    dir_->Write("app.bin", std::string(4096, '\x5A'));
    QVERIFY(server_->Stop());

    StartWindow({{"Store", url}, {"Job", "board-7"}, {"Spool", "Korvan.spool"}, {"SerialNumber", "0x1FF0:4:bcd"},
                 {"SerialStart", "500"}});
    WaitUntilIdle();
    const int startWidth = window_->width();
    korvan::OperatorPanel& panel = *window_->controls().panel;
    QTRY_COMPARE_WITH_TIMEOUT(panel.jobTotalsText(), QStringLiteral("Job board-7, all stations: not read"),
                              kDeadlineMs);
    window_->console().SelectImageFile(dir_->file("app.bin"));
    QTest::keyClick(window_.get(), Qt::Key_Return);
    const std::string refusal = "Serial Number Not Taken: cannot reach the job store on " + server_->socketDir() +
                                ":" + std::to_string(server_->port()) + "/line: ";
    QTRY_VERIFY2_WITH_TIMEOUT(HasLine(refusal), StatusText(), kDeadlineMs);
    WaitUntilIdle();
    QVERIFY2(!HasLine("Programmer: Erase ") && !HasLine("Programmer: Starts Writing."), StatusText());
    QVERIFY(panel.detailText().startsWith(QString::fromStdString(refusal)));
    QVERIFY2(!window_->controls().stopButton->isEnabled(), "Stop stays on after the refusal");
    // The refusal, longer than the window is wide, wraps in the panel rather than widening the window.
    QVERIFY2(window_->minimumSizeHint().width() <= startWidth && window_->width() == startWidth,
             qPrintable(QStringLiteral("%1 -> %2, needing %3")
                            .arg(startWidth).arg(window_->width()).arg(window_->minimumSizeHint().width())));

    QVERIFY(server_->Start());
    QTest::keyClick(window_.get(), Qt::Key_Return);
    QTRY_VERIFY2_WITH_TIMEOUT(HasLine("All Data Matched!"), StatusText(), kDeadlineMs);
    WaitUntilIdle();
    QVERIFY2(HasLine("Serial Number 500 at 0x1FF0."), StatusText());
    // The refused run left no record: the other station's two and this one.
    QTRY_COMPARE_WITH_TIMEOUT(panel.jobTotalsText(),
                              QStringLiteral("Job board-7, all stations: Runs 3  Passed 2  Failed 1  Yield 66.7%"),
                              kDeadlineMs);
    QCOMPARE(panel.countersText(), QStringLiteral("Passed 1  Failed 1  Yield 50.0%"));
}

}  // namespace

QTEST_MAIN(WindowStoreTest)
#include "window_store_test.moc"
