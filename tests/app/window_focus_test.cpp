// The keyboard's way round the window: Tab walks the controls as they read, and the focus ring
// is round whichever control has the focus.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/auto_button.h"
#include "app/difference_bar.h"
#include "app/focus_ring.h"
#include "app/hex_view.h"
#include "app/main_window.h"
#include "app/operator_panel.h"
#include "app/property_grid.h"
#include "app/status_list.h"
#include "engine/catalogue.h"
#include "tests/app/window_probe.h"
#include "tests/support/temp_dir.h"

using korvan::Button;

namespace {

QByteArray Describe(const QWidget* widget) {
    if (widget == nullptr) {
        return "nothing";
    }
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    const QString name = button != nullptr ? button->text() : widget->accessibleName();
    return QByteArray(widget->metaObject()->className()) + " '" + name.toUtf8() + "'";
}

QByteArray Describe(const std::vector<QWidget*>& widgets) {
    QByteArray text;
    for (const QWidget* widget : widgets) {
        text += "\n    " + Describe(widget);
    }
    return text;
}

}  // namespace

class WindowFocusTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tabWalksTheMainPageInReadingOrderWithTheRingRoundEachControl();
    void aHexViewKeepsTabAndCtrlTabLeavesItForThePageTabs();

private:
    // Presses Tab (or Shift+Tab) on the focused control until the focus is back where it
    // started; the controls it stopped at, each once, in order.
    std::vector<QWidget*> WalkRound(Qt::KeyboardModifiers modifiers);
    // The ring surrounds the focused control, every side of it that is in sight.
    void CheckRingRound(QWidget* control);

    std::unique_ptr<korvan::testing::TempDir> dir_;
    std::unique_ptr<korvan::MainWindow> window_;
};

void WindowFocusTest::init() {
    dir_ = std::make_unique<korvan::testing::TempDir>();
    std::filesystem::copy_file(korvan::testing::BuiltProgramDir() + "ChipList.chip", dir_->file("ChipList.chip"));
    korvan::ChipCatalogue catalogue;
    catalogue.Load(dir_->file("ChipList.chip"));
    korvan::WindowSetup setup;
    setup.programDir = dir_->dir();
    setup.programmer.programDir = dir_->dir();
    setup.programmer.simulate = true;
    setup.programmer.simulatedChip = catalogue[0];
    window_ = std::make_unique<korvan::MainWindow>(std::move(setup));
    korvan::testing::ShowAndStart(*window_);
    korvan::testing::WaitUntilIdle(*window_);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void WindowFocusTest::cleanup() {
    window_.reset();
    dir_.reset();
}

std::vector<QWidget*> WindowFocusTest::WalkRound(Qt::KeyboardModifiers modifiers) {
    QWidget* const start = QApplication::focusWidget();
    std::vector<QWidget*> stops{start};
    for (int press = 0; press < 60; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        QWidget* focused = QApplication::focusWidget();
        if (focused == start) {
            return stops;
        }
        stops.push_back(focused);
        CheckRingRound(focused);
    }
    return stops;  // never came back: the comparison shows where it went
}

void WindowFocusTest::CheckRingRound(QWidget* control) {
    const korvan::FocusRing* ring = window_->controls().focusRing;
    QVERIFY2(ring->target() == control, Describe(ring->target()) + " instead of " + Describe(control));
    QVERIFY(ring->isVisible());
    QRect inSight(control->mapTo(window_.get(), QPoint()), control->size());
    for (QWidget* ancestor = control->parentWidget(); ancestor != window_.get(); ancestor = ancestor->parentWidget()) {
        inSight &= QRect(ancestor->mapTo(window_.get(), QPoint()), ancestor->size());
    }
    QVERIFY2(ring->geometry().contains(inSight), Describe(control));
    // A ring, not a cover: the control's middle is not under it.
    QVERIFY2(!ring->mask().contains(ring->mapFrom(window_.get(), inSight.center())), Describe(control));
}

void WindowFocusTest::tabWalksTheMainPageInReadingOrderWithTheRingRoundEachControl() {
    const korvan::WindowControls& controls = window_->controls();
    QCOMPARE(controls.pages->currentWidget(), controls.status);  // the page shown at start
    controls.chips->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), controls.chips);
    CheckRingRound(controls.chips);

    // Stop is off while nothing runs: Tab passes it by.
    const std::vector<QWidget*> expected = {
        controls.chips,
        controls.button(Button::Check),
        controls.exitButton,
        controls.helpButton,
        controls.chipListLink,
        controls.button(Button::Open),
        controls.button(Button::Save),
        controls.button(Button::Erase),
        controls.blankButton,
        controls.button(Button::Write),
        controls.button(Button::Read),
        controls.button(Button::Verify),
        controls.button(Button::Encrypt),
        controls.button(Button::Auto),
        controls.panel->resetButton(),
        controls.pages->tabBar(),
        controls.status,
    };
    const std::vector<QWidget*> forward = WalkRound(Qt::NoModifier);
    QVERIFY2(forward == expected, "Tab stopped at:" + Describe(forward));

    // Shift+Tab walks the same way back.
    std::vector<QWidget*> backward = WalkRound(Qt::ShiftModifier);
    std::reverse(backward.begin() + 1, backward.end());
    QVERIFY2(backward == expected, "Shift+Tab stopped at:" + Describe(backward));

    // The link is followed from the keyboard as a button is pressed.
    QSignalSpy followed(controls.chipListLink, &QLabel::linkActivated);
    QTest::keyClick(controls.chipListLink, Qt::Key_Space);
    QCOMPARE(followed.count(), 1);

    // On the Settings page the grid follows the tabs; the ring leaves a page that is left.
    controls.pages->setCurrentWidget(controls.grid);
    controls.pages->tabBar()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(controls.pages->tabBar(), Qt::Key_Tab);
    QVERIFY2(controls.grid->isAncestorOf(QApplication::focusWidget()), Describe(QApplication::focusWidget()));
    CheckRingRound(QApplication::focusWidget());
    controls.pages->setCurrentWidget(controls.status);
    QVERIFY(controls.focusRing->target() == nullptr || controls.focusRing->target()->isVisible());
    QVERIFY(!controls.focusRing->isVisible() || controls.focusRing->target() == QApplication::focusWidget());
}

void WindowFocusTest::aHexViewKeepsTabAndCtrlTabLeavesItForThePageTabs() {
    const korvan::WindowControls& controls = window_->controls();
    // Buffer2 differs from an image of zeros in every byte: the difference bar shows.
    dir_->Write("zeros.bin", std::string(4096, '\0'));
    window_->console().OnOpen(dir_->file("zeros.bin"));
    QTRY_VERIFY_WITH_TIMEOUT(
        korvan::testing::HasLine(*window_, "Read " + dir_->file("zeros.bin") + " Buffer1(4096 Bytes)."),
        korvan::testing::kWindowDeadlineMs);
    window_->console().VerifyBuffers();
    controls.pages->setCurrentWidget(controls.buffer2->parentWidget());
    QTRY_VERIFY(controls.differences->isVisible());
    controls.pages->tabBar()->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), controls.pages->tabBar());
    // Buffer2's page: the difference bar's buttons, then the view under them.
    const QList<QPushButton*> differenceButtons = controls.differences->findChildren<QPushButton*>();
    QCOMPARE(differenceButtons.size(), 2);
    for (QWidget* next : {static_cast<QWidget*>(differenceButtons[0]), static_cast<QWidget*>(differenceButtons[1]),
                          static_cast<QWidget*>(controls.buffer2)}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget() == next, Describe(QApplication::focusWidget()));
        CheckRingRound(next);
    }
    // Tab switches the view's columns; Ctrl+Tab takes the next page with the focus on its tab.
    QTest::keyClick(controls.buffer2, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), controls.buffer2);
    QTest::keyClick(controls.buffer2, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(controls.pages->currentWidget(), controls.status);
    QCOMPARE(QApplication::focusWidget(), controls.pages->tabBar());
    CheckRingRound(controls.pages->tabBar());
    QTest::keyClick(controls.pages->tabBar(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(controls.pages->currentWidget(), controls.buffer2->parentWidget());
    QCOMPARE(QApplication::focusWidget(), controls.pages->tabBar());
}

QTEST_MAIN(WindowFocusTest)
#include "window_focus_test.moc"
