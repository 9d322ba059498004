#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/settings_grid_items.h"
#include "app/window_controls.h"
#include "console/recent_files.h"
#include "programmers/programmer_factory.h"

class QFileDialog;

namespace korvan {

class CHotKeyDialog;
class Console;
class HotKeyGrab;
class LastFileDialog;
class ProductionLine;
class ProgrammerManager;
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

    void ShowAboutBox();

    // 1 catches the hot key of the settings, 0 lets go of it (only when it was caught).
    void EnableHotKey(int on);
    bool hotKeyRegistered() const { return hotKeyRegistration_ != 0; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectButtons();
    void ConnectSettings();
    void OnOperation(Button button);
    void OnOpenClicked();
    void OnSaveClicked();
    void SaveChosen(const QString& path);
    void OnSettingChanged(int item);
    void EditHotKey();
    void OnHotKeyEdited(const CHotKeyDialog& dialog, int result);
    void OnExitClicked();
    void OnHelpClicked();
    void StartChipListEditor();
    void AddAboutAction();
    void AddChipListAction();
    void ShowBox(const QString& text, const QString& detail);
    // Serial numbers and job records for every run, as Korvan.ini's Production section asks.
    void StartProduction();

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
    std::unique_ptr<WindowWorker> worker_;  // reads large files; its callbacks use console_
    LastFileDialog* openDialog_ = nullptr;
    QFileDialog* saveDialog_ = nullptr;
    bool settingsSaved_ = false;
    std::unique_ptr<HotKeyGrab> hotKey_;
    int hotKeyRegistration_ = 0;
};

}  // namespace korvan
