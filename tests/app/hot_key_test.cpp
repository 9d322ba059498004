// The hot key: its dialog driven by key presses and clicks, the window's registration around
// it, and the key's arrival running the Auto sequence on the simulated cable.
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/auto_button.h"
#include "app/hot_key.h"
#include "app/hot_key_dialog.h"
#include "app/main_window.h"
#include "app/property_grid.h"
#include "app/settings_grid_items.h"
#include "app/status_list.h"
#include "app/window_view.h"
#include "console/console.h"
#include "console/info_save.h"
#include "data/profile.h"
#include "engine/catalogue.h"
#include "tests/support/temp_dir.h"

using korvan::Button;
using korvan::HotKeyDialog;
using korvan::SettingItem;

namespace {

constexpr int kDeadlineMs = 30000;

// Stands in for the desktop: writes down each call and lets the test press the key.
class RecordingGrab final : public korvan::HotKeyGrab {
public:
    RecordingGrab(QStringList& calls, bool grants) : calls_(calls), grants_(grants) {}

    bool Register(std::uint8_t code, std::uint8_t modifiers) override {
        calls_ << QStringLiteral("Register %1 %2").arg(QChar(code)).arg(modifiers);
        return grants_;
    }
    void Unregister() override { calls_ << QStringLiteral("Unregister"); }
    void Press() const { Arrived(); }

private:
    QStringList& calls_;
    bool grants_;
};

class HotKeyTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void theDialogShowsTheBytesAndMakesThemFromKeyPresses();
    void theDialogRefusesAMissingKeyAndCancelKeepsTheOldOne();
    void theGridSwitchEditsTheKeyAndRegistersItAgainEitherWay();
    void startUpRegistersOnlyWhenWantedAndAFailureIsNotUndone();
    void theHotKeyRunsAutoOnlyWhileTheControlsAreEnabled();
    void theX11GrabSucceedsOnlyOnAnX11Display();

private:
    void StartWindow(const korvan::InfoSave& record, bool grants);
    void WaitUntilIdle();
    bool HasLine(const std::string& text) const;
    HotKeyDialog* OpenDialog() const;
    int ItemId(SettingItem item) const { return window_->settingsItems().ItemId(item); }

    std::unique_ptr<korvan::testing::TempDir> dir_;
    std::unique_ptr<korvan::MainWindow> window_;
    QStringList calls_;
    RecordingGrab* grab_ = nullptr;  // owned by the window
};

void HotKeyTest::init() {
    dir_ = std::make_unique<korvan::testing::TempDir>();
    std::filesystem::copy_file(korvan::testing::BuiltProgramDir() + "ChipList.chip", dir_->file("ChipList.chip"));
    calls_.clear();
}

void HotKeyTest::cleanup() {
    window_.reset();
    dir_.reset();
}

// The Ferrow cable on a simulated AT89S52, with `record` as Korvan.ini.
void HotKeyTest::StartWindow(const korvan::InfoSave& record, bool grants) {
    korvan::ChipCatalogue catalogue;
    catalogue.Load(dir_->file("ChipList.chip"));
    const std::size_t chip = catalogue.Resolve("AT89S52").value_or(0);
    korvan::InfoSave saved = record;
    saved.programmerType = 1;
    saved.chipIndex = static_cast<std::int32_t>(chip);
    korvan::WriteInfoSave(dir_->file("Korvan.ini"), saved);
    korvan::WindowSetup setup;
    setup.programDir = dir_->dir();
    setup.programmer.programDir = dir_->dir();
    setup.programmer.simulate = true;
    setup.programmer.simulatedChip = catalogue[chip];
    setup.hotKeyGrab = [this, grants] {
        auto grab = std::make_unique<RecordingGrab>(calls_, grants);
        grab_ = grab.get();
        return grab;
    };
    window_ = std::make_unique<korvan::MainWindow>(std::move(setup));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    window_->Start();
}

void HotKeyTest::WaitUntilIdle() {
    korvan::Console& console = window_->console();
    QTRY_VERIFY_WITH_TIMEOUT(console.initReported() && console.outstanding() == 0 && !console.settling() &&
                                 console.CommandEnabled(Button::Auto),
                             kDeadlineMs);
}

bool HotKeyTest::HasLine(const std::string& text) const {
    const korvan::StatusListModel& lines = window_->controls().status->lines();
    for (int row = 0; row < lines.rowCount(); ++row) {
        if (lines.Line(row) == text) {
            return true;
        }
    }
    return false;
}

HotKeyDialog* HotKeyTest::OpenDialog() const {
    auto* dialog = window_->findChild<HotKeyDialog*>();
    return dialog != nullptr && dialog->isVisible() ? dialog : nullptr;
}

void HotKeyTest::theDialogShowsTheBytesAndMakesThemFromKeyPresses() {
    HotKeyDialog dialog('K', 6);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("请输入热键"));
    QVERIFY(!dialog.shiftBox()->isChecked());
    QVERIFY(dialog.ctrlBox()->isChecked());
    QVERIFY(dialog.altBox()->isChecked());
    QCOMPARE(dialog.keyField()->text(), QStringLiteral("K"));
    QCOMPARE(dialog.focusWidget(), dialog.shiftBox());
    for (korvan::AutoButton* button : {dialog.okButton(), dialog.cancelButton()}) {
        QVERIFY(!button->autoCapable());
        QVERIFY(!button->shownIcon());
    }

    // Ctrl + Shift and a lower-case "a": the field shows "A", one character only.
    dialog.keyField()->clear();
    QTest::keyClick(dialog.keyField(), 'a');
    QTest::keyClick(dialog.keyField(), 'b');
    QCOMPARE(dialog.keyField()->text(), QStringLiteral("A"));
    QTest::mouseClick(dialog.shiftBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.altBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(dialog.keyCode(), std::uint8_t{0x41});
    QCOMPARE(dialog.modifiers(), std::uint8_t{5});

    // Reopened with what OK gave, it shows exactly those boxes.
    HotKeyDialog again(dialog.keyCode(), dialog.modifiers());
    QVERIFY(again.shiftBox()->isChecked());
    QVERIFY(again.ctrlBox()->isChecked());
    QVERIFY(!again.altBox()->isChecked());
    QCOMPARE(again.keyField()->text(), QStringLiteral("A"));
}

void HotKeyTest::theDialogRefusesAMissingKeyAndCancelKeepsTheOldOne() {
    HotKeyDialog dialog(0, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.keyField()->text(), QString());
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = dialog.findChild<QMessageBox*>()) != nullptr && box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("请输入键值!"));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(dialog.isVisible());
    box->button(QMessageBox::Ok)->click();

    // A bare key (no modifier) is allowed; Enter in the field is OK.
    QTest::keyClick(dialog.keyField(), '7');
    QTest::keyClick(dialog.keyField(), Qt::Key_Return);
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(dialog.keyCode(), std::uint8_t{'7'});
    QCOMPARE(dialog.modifiers(), std::uint8_t{0});

    HotKeyDialog cancelled('K', 6);
    cancelled.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cancelled));
    cancelled.keyField()->clear();
    QTest::keyClick(cancelled.keyField(), 'z');
    QTest::mouseClick(cancelled.shiftBox(), Qt::LeftButton);
    QTest::mouseClick(cancelled.cancelButton(), Qt::LeftButton);
    QCOMPARE(cancelled.result(), static_cast<int>(QDialog::Rejected));
    QCOMPARE(cancelled.keyCode(), std::uint8_t{'K'});
    QCOMPARE(cancelled.modifiers(), std::uint8_t{6});
}

void HotKeyTest::theGridSwitchEditsTheKeyAndRegistersItAgainEitherWay() {
    StartWindow(korvan::FirstStartInfoSave(), true);
    WaitUntilIdle();
    QCOMPARE(calls_, QStringList{QStringLiteral("Register K 6")});
    korvan::PropertyGrid& grid = *window_->controls().grid;
    const int hotKeys = ItemId(SettingItem::HotKeys);

    grid.Toggle(hotKeys);  // False: only the switch changes
    QCOMPARE(grid.ValueText(hotKeys), QStringLiteral("False"));
    QCOMPARE(window_->console().settings().SwitchValue(SettingItem::HotKeys), 0);
    QCOMPARE(calls_.size(), 1);
    QVERIFY(OpenDialog() == nullptr);

    grid.Toggle(hotKeys);  // True: let go, edit, catch again
    QCOMPARE(calls_.last(), QStringLiteral("Unregister"));
    HotKeyDialog* dialog = OpenDialog();
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    dialog->keyField()->clear();
    QTest::keyClick(dialog->keyField(), 'q');
    QTest::mouseClick(dialog->shiftBox(), Qt::LeftButton);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QCOMPARE(calls_.last(), QStringLiteral("Register Q 7"));
    QCOMPARE(window_->console().settings().hotKeyCode(), std::uint8_t{'Q'});
    QCOMPARE(window_->console().settings().hotKeyModifiers(), std::uint8_t{7});
    QTRY_VERIFY(window_->findChild<HotKeyDialog*>() == nullptr);  // deleted once closed

    grid.Toggle(hotKeys);
    grid.Toggle(hotKeys);
    dialog = OpenDialog();
    QVERIFY(dialog != nullptr);
    QTest::mouseClick(dialog->altBox(), Qt::LeftButton);
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    QCOMPARE(calls_, (QStringList{"Register K 6", "Unregister", "Register Q 7", "Unregister", "Register Q 7"}));

    QVERIFY(window_->close());
    window_.reset();  // what closing keeps is in Korvan.ini once the window is gone
    const std::optional<korvan::InfoSave> saved = korvan::ReadInfoSave(dir_->file("Korvan.ini"));
    QVERIFY(saved.has_value());
    QCOMPARE(saved->hotKeysOn, 1);
    QCOMPARE(saved->hotKeyCode, std::uint8_t{'Q'});
    QCOMPARE(saved->hotKeyModifiers, std::uint8_t{7});
    QCOMPARE(calls_.last(), QStringLiteral("Unregister"));
    QCOMPARE(calls_.size(), 6);
}

void HotKeyTest::startUpRegistersOnlyWhenWantedAndAFailureIsNotUndone() {
    korvan::InfoSave record = korvan::FirstStartInfoSave();
    record.hotKeysOn = 0;
    StartWindow(record, true);
    QVERIFY(calls_.isEmpty());
    QVERIFY(!window_->hotKeyRegistered());
    window_.reset();
    QVERIFY(calls_.isEmpty());

    // Refused by the desktop: nothing is reported and nothing is let go at the end, even with
    // the dialog still open.
    StartWindow(korvan::FirstStartInfoSave(), false);
    WaitUntilIdle();
    QCOMPARE(calls_, QStringList{QStringLiteral("Register K 6")});
    QVERIFY(!window_->hotKeyRegistered());
    QCOMPARE(window_->view().messagesShown(), 0);
    const int hotKeys = ItemId(SettingItem::HotKeys);
    window_->controls().grid->Toggle(hotKeys);
    window_->controls().grid->Toggle(hotKeys);
    QVERIFY(OpenDialog() != nullptr);
    window_.reset();
    QCOMPARE(calls_, QStringList{QStringLiteral("Register K 6")});
}

void HotKeyTest::theHotKeyRunsAutoOnlyWhileTheControlsAreEnabled() {
    korvan::InfoSave record = korvan::FirstStartInfoSave();
    record.autoOpen = 0;
    record.autoWrite = 0;
    record.autoVerify = 0;  // Auto: the check and an erase
    StartWindow(record, true);
    WaitUntilIdle();

    QTest::mouseClick(window_->controls().button(Button::Read), Qt::LeftButton);
    QVERIFY(!window_->console().CommandEnabled(Button::Auto));
    grab_->Press();
    QTRY_VERIFY_WITH_TIMEOUT(HasLine("Programmer: Reading Done."), kDeadlineMs);
    WaitUntilIdle();
    QVERIFY(!HasLine("Programmer: Erase Done."));

    grab_->Press();
    QTRY_VERIFY_WITH_TIMEOUT(HasLine("Programmer: Erase Done."), kDeadlineMs);
    WaitUntilIdle();
    QVERIFY(!HasLine("Programmer: Reading Done."));  // Auto began with a clean list
    QVERIFY(!window_->console().failed());
}

// On the offscreen platform there is nothing to grab; on an X server (run the test under
// xvfb-run with QT_QPA_PLATFORM=xcb) the grab is made and let go, and a combination another
// client holds is refused.
void HotKeyTest::theX11GrabSucceedsOnlyOnAnX11Display() {
    const bool onX11 = QGuiApplication::platformName() == QStringLiteral("xcb");
    std::unique_ptr<korvan::HotKeyGrab> grab = korvan::MakeX11HotKeyGrab();
    QCOMPARE(grab->Register('K', 6), onX11);
    grab->Unregister();
    grab->Unregister();
    QCOMPARE(grab->Register('7', 0), onX11);
    if (!onX11) {
        return;
    }
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    QVERIFY(xcb_connection_has_error(other) == 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(symbols, 'q');
    QVERIFY(keycodes != nullptr);
    const xcb_void_cookie_t held = xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_CONTROL, keycodes[0],
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    QVERIFY(xcb_request_check(other, held) == nullptr);
    std::free(keycodes);
    xcb_key_symbols_free(symbols);
    QVERIFY(!grab->Register('Q', 4));
    QVERIFY(grab->Register('Q', 2));  // Alt+Q is still free
    xcb_disconnect(other);
}

}  // namespace

QTEST_MAIN(HotKeyTest)
#include "hot_key_test.moc"
