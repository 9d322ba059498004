#include "app/window_view.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include "app/auto_button.h"
#include "app/caption_progress.h"
#include "app/difference_bar.h"
#include "app/notifier.h"
#include "app/operator_panel.h"
#include "app/property_grid.h"
#include "app/settings_grid_items.h"
#include "app/status_list.h"
#include "console/console.h"

namespace korvan {
namespace {

// The platform whose message sounds stand in for the tones (major version 4) is never the
// one this runs on.
constexpr bool kOldPlatform = false;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

void FillCombo(QComboBox& combo, const std::vector<std::string>& names) {
    combo.clear();
    for (const std::string& name : names) {
        combo.addItem(FromUtf8(name));
    }
}

}  // namespace

WindowView::WindowView(QWidget& window, const WindowControls& controls, SettingsGridItems& settingsItems,
                       std::function<int(SettingItem)> chosenEntry, std::function<bool()> soundOn)
    : window_(window),
      controls_(controls),
      settingsItems_(settingsItems),
      chosenEntry_(std::move(chosenEntry)),
      soundOn_(std::move(soundOn)),
      notifier_(std::make_unique<Notifier>(std::make_unique<AudioTonePlayer>(),
                                           [&window] { QApplication::alert(&window); }, kOldPlatform)),
      consoleTitle_(window.windowTitle()) {
    QObject::connect(controls_.panel, &OperatorPanel::countersChanged, &window_, [this] { ShowTitle(); });
}

WindowView::~WindowView() = default;

QMessageBox* WindowView::OpenBox(const Message& message) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, FromUtf8(message.caption), FromUtf8(message.text),
                                QMessageBox::Ok, &window_);
    if (!message.detail.empty()) {
        box->setInformativeText(FromUtf8(message.detail));
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    ++messagesShown_;
    openBox_ = box;
    return box;
}

void WindowView::ShowMessage(const Message& message) {
    OpenBox(message)->open();  // returns at once: the reports behind it go on being handled
}

void WindowView::OfferIgnoringChecksums(const Message& refusal, const std::string& path) {
    QMessageBox* box = OpenBox(refusal);
    QPushButton* anyway = box->addButton(QStringLiteral("Open anyway, ignoring checksums"), QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Ok);
    QObject::connect(anyway, &QPushButton::clicked, &window_, [this, path] {
        if (openIgnoringChecksums_) {
            openIgnoringChecksums_(path);
        }
    });
    box->open();
}

void WindowView::InsertStatusLine(int index, const std::string& text) {
    controls_.status->lines().Insert(index, text);
    if (!IsFrameLine(text)) {
        lastLine_ = FromUtf8(text);
    }
}

void WindowView::InsertStatusLines(int firstIndex, std::vector<std::string> lines) {
    controls_.status->lines().InsertMany(firstIndex, std::move(lines));
}

void WindowView::SelectStatusLine(int index) { controls_.status->Select(index); }

void WindowView::ClearStatusLines() { controls_.status->lines().Clear(); }

void WindowView::ShowPage(int page) {
    if (page >= 0 && page < controls_.pages->count()) {
        controls_.pages->setCurrentIndex(page);
    }
}

void WindowView::ShowProgress(bool visible) { controls_.progress->setVisible(visible); }

void WindowView::SetProgressText(const std::string& text) { controls_.progress->SetText(FromUtf8(text)); }

void WindowView::SetProgressPos(int percent) { controls_.progress->SetPos(percent); }

void WindowView::RepaintProgress() { controls_.progress->update(); }

void WindowView::SetButtonEnabled(Button button, bool enabled) {
    AutoButton* control = controls_.button(button);
    control->SetCommandEnabled(enabled);
    control->setEnabled(enabled);
    if (button == Button::Auto) {  // Blank runs when Auto may
        controls_.blankButton->SetCommandEnabled(enabled);
        controls_.blankButton->setEnabled(enabled);
        if (commandsSwitched_) {
            commandsSwitched_();
        }
    }
}

void WindowView::SetStatusIcon(Button button, int status) { controls_.button(button)->SetStatusIcon(status); }

void WindowView::ShowAutoState(Button button, bool on) { controls_.button(button)->SetAutoState(on); }

void WindowView::EnableSelections(bool enabled) {
    controls_.chips->setEnabled(enabled);
    controls_.lockBits->setEnabled(enabled);
}

void WindowView::SetChipNames(const std::vector<ChipRecord>& chips) {
    controls_.chips->clear();
    for (const ChipRecord& chip : chips) {
        controls_.chips->addItem(FromUtf8(chip.name));
    }
}

void WindowView::SelectChip(int index) {
    controls_.chips->setCurrentIndex(index >= 0 && index < controls_.chips->count() ? index : -1);
}


void WindowView::SetLockBitNames(const std::vector<std::string>& names) { FillCombo(*controls_.lockBits, names); }

void WindowView::SelectLockBit(int index) {
    controls_.lockBits->setCurrentIndex(index >= 0 && index < controls_.lockBits->count() ? index : -1);
}

void WindowView::SetTitle(const std::string& title) {
    consoleTitle_ = FromUtf8(title);
    ShowTitle();
}

void WindowView::ShowTitle() {
    const OperatorPanel& panel = *controls_.panel;
    window_.setWindowTitle(panel.passed() + panel.failed() == 0
                               ? consoleTitle_
                               : consoleTitle_ + QStringLiteral("  -  ") + panel.countersText());
}

void WindowView::ShowSettingValue(SettingItem item, const std::string& text) {
    const int chosen = chosenEntry_(item);
    if (chosen >= 0) {
        controls_.grid->SetChosenIndex(settingsItems_.ItemId(item), chosen);
    }
    settingsItems_.ShowValue(item, text);
}

void WindowView::NotifySuccess() {
    controls_.panel->RunPassed();
    notifier_->Notify(NotificationEvent::Success, soundOn_());
}

void WindowView::NotifyFailure() {
    controls_.panel->RunFailed(lastLine_);
    notifier_->Notify(NotificationEvent::Failure, soundOn_());
}

}  // namespace korvan
