#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/settings_grid_items.h"
#include "app/window_controls.h"
#include "console/recent_files.h"
#include "engine/event_sink.h"
#include "programmers/programmer_factory.h"

class QFileDialog;

namespace korvan {

class HotKeyDialog;
class Console;
class HotKeyGrab;
class LastFileDialog;
class ProductionLine;
struct ProductionEditAnswer;
struct ProductionSection;
class ProgrammerManager;
struct ChipRecord;
class WindowReports;
class WindowTimer;
class WindowView;
class WindowWorker;

// What the window is started with.
struct WindowSetup {
    std::string programDir;  // ends in "/"
    // Where Korvan.ini and LastFile.ini are kept, ending in "/"; programDir when empty.
    std::string settingsDir;
    ProgrammerOptions programmer;
    // An image file loaded at start as Open loads it; empty: none.
    std::string imageFile;
    // Makes the system-wide hot key; empty for the X11 grab.
    std::function<std::unique_ptr<HotKeyGrab>()> hotKeyGrab;
};

// The main window: one more view of the console. It builds the controls, hands clicks and
// grid edits to the console, and takes the console's reports on its own thread. Nothing here
// waits: dialogs and boxes open without a nested event loop, pauses are timers.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(WindowSetup setup, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up after the controls exist: settings (the COM port map among them), the production
    // settings, then the back-end (whose first reports arrive later through the event loop), the
    // chip list and the saved chip.
    void Start();

    Console& console() { return *console_; }
    const WindowControls& controls() const { return controls_; }
    const SettingsGridItems& settingsItems() const { return settingsItems_; }
    const WindowView& view() const { return *view_; }
    // Null until the first Open or Save.
    LastFileDialog* openDialog() const { return openDialog_; }
    QFileDialog* saveDialog() const { return saveDialog_; }
    QFileDialog* statusDialog() const { return statusDialog_; }
    // The question before cutting a running operation off, while it is open.
    QMessageBox* stopQuestion() const { return stopQuestion_; }
    // Problems the programmer composition met (a simulator that did not start ...).
    std::vector<std::string> programmerErrors() const { return factory_ ? factory_->errors() : std::vector<std::string>{}; }

    void ShowAboutBox();

    // On: catches the hot key of the settings; off: lets go of it (only when it was caught).
    void EnableHotKey(bool on);
    bool hotKeyRegistered() const { return hotKeyRegistered_; }
    bool chipLocked() const { return lockChip_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectButtons();
    void ConnectSettings();
    // A command from a button, a key or the hot key: the run starts on the panel.
    void OnOperation(Button button);
    void RunCommand(Button button);
    void OnOpenClicked();
    void OnSaveClicked();
    void SaveChosen(const QString& path);
    void OnSettingChanged(int item);
    void EditHotKey();
    void OnHotKeyEdited(const HotKeyDialog& dialog, int result);
    void OnExitClicked();
    void OnHelpClicked();
    void StartChipListEditor();
    void AddAboutAction();
    void AddChipListAction();
    void ShowBox(const QString& text, const QString& detail);
    // What follows the operator's yes to stopping the running operation.
    enum class AfterStop { Stay, Close, Exit };
    // Asks whether to cut the running operation off; on yes, stops it and does `after`.
    void AskToStop(AfterStop after);
    void StopAnd(AfterStop after);
    // The window's size at start: the classic layout's, within the screen's free area.
    void FitToScreen();
    // The window's switches kept beside the record (Blank's Auto mark, Lock Chip), and
    // [Production] ExpectChip, which selects its chip and locks it.
    void ReadChipLock();
    // Before a chip command: the chip the run must find in the socket, when Lock Chip is on.
    void ApplyChipLock();
    // Korvan.ini: the record and the port map (the console's), and the window's own switches.
    void SaveAllSettings();
    // Recent Files: the loaded file becomes the newest entry; LastFile.ini is written by the worker.
    void RememberLoadedFile(const std::string& path);
    // One report from the back-end: the console handles it, then the panel shows what it
    // changed (the chip identified, a chip that reads blank after its lock, the serial number).
    void HandleReport(const Report& report);
    void ShowIdentifiedChip();
    // Stop is on exactly while an operation runs.
    void RefreshStop();
    void OnBlankClicked();
    void SetAutoBlank(bool on);
    // The panel's image line: the loaded image's figures, and whether the selected chip holds it.
    void ShowLoadedImage(const std::string& path);
    void ShowImageLine();
    void FollowChipInImageLine();
    // The chip the next command runs for; null when none is selected.
    const ChipRecord* SelectedChip() const;
    // Ctrl+O, Ctrl+S, F5, Ctrl+Tab and Ctrl+Shift+Tab.
    void AddShortcuts();
    // Ctrl+Tab (1) and Ctrl+Shift+Tab (-1): the next or the previous page, round.
    void StepPage(int step);
    // Ctrl+S: the Status list on the Status page, Buffer2 on the others.
    void OnSaveShortcut();
    void SaveStatusList();
    void StatusListChosen(const QString& path);
    // Serial numbers and job records for every run, as Korvan.ini's Production section asks:
    // read from the file at start, or as an edit's answer left it.
    void StartProduction();
    void StartProduction(const ProductionSection& section);
    // The Production section on the Settings page; an edit there, checked and saved on the
    // worker; the section as the last answered edit left it, taken up before the next run.
    void ShowProductionSettings();
    void OnProductionEdited(const char* key);
    void ShowProductionEditAnswer(const char* key, const ProductionEditAnswer& answer);
    void TakeUpProductionChange();
    // [Production] ExpectChip: selects its chip and turns Lock Chip on.
    void ReadExpectChip();
    void TakeUpExpectChip(const std::string& expected);

    WindowSetup setup_;
    WindowControls controls_;
    SettingsGridItems settingsItems_;
    std::unique_ptr<WindowView> view_;
    WindowReports* reports_ = nullptr;  // a child object: posted reports die with it
    std::unique_ptr<WindowTimer> timer_;
    std::unique_ptr<ProgrammerFactory> factory_;
    std::unique_ptr<ProgrammerManager> manager_;
    std::unique_ptr<ProductionLine> production_;  // observes console_'s runs, so outlives it
    std::unique_ptr<Console> console_;
    std::unique_ptr<WindowWorker> worker_;  // reads large files, keeps records and settings; its callbacks use console_
    std::optional<RecentFiles> recentFiles_;  // the Open dialog's list, read once at start
    LastFileDialog* openDialog_ = nullptr;
    QFileDialog* saveDialog_ = nullptr;
    QFileDialog* statusDialog_ = nullptr;
    bool settingsSaved_ = false;
    bool leaving_ = false;        // the operator agreed to cut an operation off to leave
    bool lockChip_ = false;
    bool lockChipChosen_ = false;  // the operator changed the switch in this session
    bool lockWritten_ = false;     // a lock-bit write ended since the last check
    bool autoBlank_ = false;
    std::shared_ptr<const ProductionSection> productionEdited_;  // an answered edit's section not yet taken up
    std::optional<int> expectedChip_;  // [Production] ExpectChip's catalogue index
    QString imageName_;                          // the loaded image's file name; empty: none loaded
    const ChipRecord* imageLineChip_ = nullptr;  // the chip the image line was made for
    QPointer<QMessageBox> stopQuestion_;
    std::unique_ptr<HotKeyGrab> hotKey_;
    bool hotKeyRegistered_ = false;
};

}  // namespace korvan
