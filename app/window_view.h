#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "app/window_controls.h"
#include "console/view.h"

class QWidget;

namespace korvan {

class Notifier;
class SettingsGridItems;

// The console's view drawn into the main window's controls. Every call comes on the window
// thread and returns at once: message boxes are opened without waiting for them.
class WindowView final : public View {
public:
    // `chosenEntry` tells the list entry the settings have chosen for an item, -1 for none;
    // `soundOn` whether the notifications may sound.
    WindowView(QWidget& window, const WindowControls& controls, SettingsGridItems& settingsItems,
               std::function<int(SettingItem)> chosenEntry, std::function<bool()> soundOn);
    ~WindowView() override;

    void ShowMessage(const Message& message) override;
    void OfferIgnoringChecksums(const Message& refusal, const std::string& path) override;
    // What "Open anyway, ignoring checksums" does with the refused file's path.
    void SetOpenIgnoringChecksums(std::function<void(const std::string&)> open) { openIgnoringChecksums_ = std::move(open); }
    // Called when the commands have been turned on or off together, as at a run's start and end:
    // a run may end from the worker's answer as well as from a report.
    void SetCommandsSwitched(std::function<void()> switched) { commandsSwitched_ = std::move(switched); }
    // The box shown last while it is open; null when none is.
    QMessageBox* openBox() const { return openBox_; }

    void InsertStatusLine(int index, const std::string& text) override;
    void InsertStatusLines(int firstIndex, std::vector<std::string> lines) override;
    void SelectStatusLine(int index) override;
    void ClearStatusLines() override;
    void ShowPage(int page) override;

    void ShowProgress(bool visible) override;
    void SetProgressText(const std::string& text) override;
    void SetProgressPos(int percent) override;
    void RepaintProgress() override;

    void SetButtonEnabled(Button button, bool enabled) override;
    void SetStatusIcon(Button button, int status) override;
    void ShowAutoState(Button button, bool on) override;
    void EnableSelections(bool enabled) override;

    void SetChipNames(const std::vector<ChipRecord>& chips) override;
    void SelectChip(int index) override;
    void SetLockBitNames(const std::vector<std::string>& names) override;
    void SelectLockBit(int index) override;

    void SetTitle(const std::string& title) override;
    void ShowSettingValue(SettingItem item, const std::string& text) override;

    void NotifySuccess() override;
    void NotifyFailure() override;

    // Boxes opened so far and the text of the last one: what the window tests look at.
    int messagesShown() const { return messagesShown_; }

private:
    QMessageBox* OpenBox(const Message& message);
    // The console's title, followed by the counters once a run was counted: in sight on every
    // page and in the task bar.
    void ShowTitle();

    QWidget& window_;
    const WindowControls& controls_;
    SettingsGridItems& settingsItems_;
    std::function<int(SettingItem)> chosenEntry_;
    std::function<bool()> soundOn_;
    std::unique_ptr<Notifier> notifier_;
    std::function<void(const std::string&)> openIgnoringChecksums_;
    std::function<void()> commandsSwitched_;
    QPointer<QMessageBox> openBox_;
    int messagesShown_ = 0;
    QString lastLine_;  // the last status line that is no frame: what a failure names
    QString consoleTitle_;
};

}  // namespace korvan
