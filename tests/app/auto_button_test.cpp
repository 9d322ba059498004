#include "app/auto_button.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

#include <memory>

#include "app/operation_icons.h"

using korvan::AutoButton;
using korvan::LighterFace;
using korvan::OperationIcon;

namespace {


// A window whose own menu counts the context-menu events that reach it.
class MenuWindow : public QWidget {
public:
    int menus = 0;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override {
        ++menus;
        event->accept();
    }
};

// A right click as X11 delivers it: press, the context-menu event, release.
void X11RightClick(AutoButton& button) {
    const QPoint at = button.rect().center();
    QTest::mousePress(&button, Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, button.mapToGlobal(at));
    QApplication::sendEvent(&button, &menu);
    QTest::mouseRelease(&button, Qt::RightButton, {}, at);
}

// Part of the operation column of the main window, set up as the window does.
struct OperationColumn {
    OperationColumn() {
        QPalette face = window.palette();
        face.setColor(QPalette::Button, QColor(0x80, 0x80, 0x80));  // mid grey: a lighter face shows
        window.setPalette(face);
        auto* column = new QVBoxLayout(&window);
        for (AutoButton* button : {open, save, erase, write, autoRun, check}) {
            button->setFixedSize(190, 40);
            column->addWidget(button);
        }
        using Toggle = AutoButton::AutoToggle;
        using Follows = AutoButton::FollowsStatus;
        open->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Open);
        save->SetupButton(Toggle::No, Follows::No, OperationIcon::Save);
        erase->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Erase, OperationIcon::EraseRunning);
        write->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Write, OperationIcon::WriteRunning);
        autoRun->SetupButton(Toggle::No, Follows::Yes, OperationIcon::Auto);
        check->SetupButton(Toggle::No, Follows::No);
        // The owner's answer to a right click, as the window gives it.
        for (AutoButton* button : {open, save, erase, write, autoRun, check}) {
            QObject::connect(button, &AutoButton::autoToggleRequested, button,
                             [button] { button->SetAutoState(!button->autoState()); });
        }
    }

    MenuWindow window;
    AutoButton* open = new AutoButton("Open", &window);
    AutoButton* save = new AutoButton("Save", &window);
    AutoButton* erase = new AutoButton("Erase", &window);
    AutoButton* write = new AutoButton("Write", &window);
    AutoButton* autoRun = new AutoButton("Run all selected (Auto) actions", &window);
    AutoButton* check = new AutoButton("Check", &window);
};

std::unique_ptr<OperationColumn> ShownColumn() {
    auto column = std::make_unique<OperationColumn>();
    column->window.show();
    return column;
}

// A spot of bare face: right of the caption, away from the edge and its shading.
QRgb FacePixel(AutoButton& button) {
    const QImage image = button.grab().toImage();
    return image.pixel(image.width() - 8, image.height() / 2);
}

QImage PicturePart(AutoButton& button) { return button.grab().toImage().copy(0, 0, 44, button.height()); }

}  // namespace

class AutoButtonTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void setupTakesTheCaptionFaceAndPicture() {
        OperationColumn column;
        QCOMPARE(column.write->normalCaption(), QString("Write"));
        QCOMPARE(column.write->faceColour(), QColor(0x80, 0x80, 0x80));
        QCOMPARE(column.write->iconSize(), QSize(32, 32));
        QVERIFY(!column.write->autoState());
        QVERIFY(column.write->commandEnabled());
        QVERIFY(column.write->shownIcon() == OperationIcon::Write);
        QVERIFY(column.save->shownIcon() == OperationIcon::Save);
        QVERIFY(!column.check->shownIcon());
        QVERIFY(column.check->icon().isNull());
    }

    void rightClicksToggleTheAutoMarkOfWrite() {
        auto column = ShownColumn();
        QVERIFY(QTest::qWaitForWindowExposed(&column->window));
        AutoButton& write = *column->write;
        QSignalSpy requests(&write, &AutoButton::autoToggleRequested);
        const QRgb plainFace = FacePixel(write);

        QTest::mouseClick(&write, Qt::RightButton);
        QCOMPARE(requests.count(), 1);
        QVERIFY(write.autoState());
        QCOMPARE(write.text(), QString("(Auto) Write"));
        QCOMPARE(write.shownFaceColour(), QColor(0x8f, 0x8f, 0x8f));
        QVERIFY(qGray(FacePixel(write)) > qGray(plainFace));

        QTest::mouseClick(&write, Qt::RightButton);
        QCOMPARE(requests.count(), 2);
        QVERIFY(!write.autoState());
        QCOMPARE(write.text(), QString("Write"));
        QCOMPARE(write.shownFaceColour(), QColor(0x80, 0x80, 0x80));
        QCOMPARE(FacePixel(write), plainFace);
    }

    void leftClickStillClicksAndRightReleaseElsewhereIsNoToggle() {
        auto column = ShownColumn();
        QVERIFY(QTest::qWaitForWindowExposed(&column->window));
        AutoButton& write = *column->write;
        QSignalSpy requests(&write, &AutoButton::autoToggleRequested);
        QSignalSpy clicks(&write, &AutoButton::clicked);

        QTest::mouseClick(&write, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QTest::mousePress(&write, Qt::RightButton);
        QTest::mouseRelease(&write, Qt::RightButton, {}, QPoint(20, write.height() + 10));  // over the next button
        QCOMPARE(requests.count(), 0);
        QCOMPARE(write.text(), QString("Write"));
    }

    void rightClicksChangeNothingOnButtonsThatAreNotAutoCapable() {
        auto column = ShownColumn();
        QVERIFY(QTest::qWaitForWindowExposed(&column->window));
        for (AutoButton* button : {column->save, column->check, column->autoRun}) {
            QSignalSpy requests(button, &AutoButton::autoToggleRequested);
            const QString caption = button->text();
            QTest::mouseClick(button, Qt::RightButton);
            QCOMPARE(requests.count(), 0);
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->shownFaceColour(), button->faceColour());
        }
    }

    void aRightClickAsX11DeliversItTogglesOnceAndOtherButtonsKeepTheWindowMenu() {
        auto column = ShownColumn();
        QVERIFY(QTest::qWaitForWindowExposed(&column->window));
        AutoButton& write = *column->write;
        QSignalSpy requests(&write, &AutoButton::autoToggleRequested);
        X11RightClick(write);
        QCOMPARE(requests.count(), 1);
        QVERIFY(write.autoState());
        QCOMPARE(column->window.menus, 0);  // no menu opened to take the release
        X11RightClick(write);
        QVERIFY(!write.autoState());

        for (AutoButton* button : {column->save, column->check, column->autoRun}) {
            const int menus = column->window.menus;
            X11RightClick(*button);
            QCOMPARE(column->window.menus, menus + 1);
            QVERIFY(!button->autoState());
        }
    }

    void theKeyboardTogglesTheFocusedButtonAndTheMarkIsPlainToSee() {
        auto column = ShownColumn();
        QVERIFY(QTest::qWaitForWindowExposed(&column->window));
        AutoButton& erase = *column->erase;
        erase.setFocus();
        QSignalSpy clicks(&erase, &AutoButton::clicked);
        const QImage plain = erase.grab().toImage();

        QTest::keyClick(&erase, Qt::Key_Space, Qt::ShiftModifier);
        QVERIFY(erase.autoState());
        QCOMPARE(clicks.count(), 0);
        QVERIFY(erase.font().bold());
        // Beyond the lighter face: the marked button's pixels differ from the plain one's by
        // more than the face colour (the bold caption and the ticked box).
        const QImage marked = erase.grab().toImage();
        int changed = 0;
        for (int y = 0; y < marked.height(); ++y) {
            for (int x = 0; x < marked.width(); ++x) {
                const QRgb before = plain.pixel(x, y);
                const QRgb after = marked.pixel(x, y);
                changed += qAbs(qGray(after) - qGray(before)) > 40 ? 1 : 0;
            }
        }
        QVERIFY2(changed > 60, qPrintable(QString::number(changed)));

        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, erase.rect().center(), erase.mapToGlobal(erase.rect().center()));
        QApplication::sendEvent(&erase, &menuKey);
        QVERIFY(!erase.autoState());
        QVERIFY(!erase.font().bold());
        QTest::keyClick(&erase, Qt::Key_Space);  // plain Space still clicks
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!erase.autoState());

        column->save->setFocus();
        QTest::keyClick(column->save, Qt::Key_Space, Qt::ShiftModifier);
        QVERIFY(!column->save->autoState());
    }

    void statusSwitchesToTheRunningPictureOnlyWhereThereIsOne() {
        auto column = ShownColumn();
        QVERIFY(QTest::qWaitForWindowExposed(&column->window));
        AutoButton& erase = *column->erase;
        const QImage idle = PicturePart(erase);
        erase.SetStatusIcon(1);
        QCOMPARE(erase.status(), 1);
        QVERIFY(erase.shownIcon() == OperationIcon::EraseRunning);
        QVERIFY(PicturePart(erase) != idle);
        erase.SetStatusIcon(0);
        QVERIFY(erase.shownIcon() == OperationIcon::Erase);
        QCOMPARE(PicturePart(erase), idle);

        for (AutoButton* button : {column->open, column->autoRun}) {
            const std::optional<OperationIcon> picture = button->shownIcon();
            const QImage before = PicturePart(*button);
            button->SetStatusIcon(1);
            QCOMPARE(button->status(), 1);
            QVERIFY(button->shownIcon() == picture);
            QCOMPARE(PicturePart(*button), before);
        }
    }

    void lighterFaceAddsToTheColourWordWithItsCarries() {
        QCOMPARE(LighterFace(QColor(0x10, 0x20, 0x30)), QColor(0x1f, 0x2f, 0x3f));
        QCOMPARE(LighterFace(QColor(0xef, 0xef, 0xef)), QColor(0xfe, 0xfe, 0xfe));
        QCOMPARE(LighterFace(QColor(0xf1, 0x00, 0x00)), QColor(0x00, 0x10, 0x0f));  // red carries into green
        QCOMPARE(LighterFace(QColor(0x00, 0xf5, 0x00)), QColor(0x0f, 0x04, 0x10));  // green into blue
        QCOMPARE(LighterFace(QColor(0x00, 0x00, 0xf1)), QColor(0x0f, 0x0f, 0x00));  // blue's carry is lost
        QCOMPARE(LighterFace(QColor(0xff, 0xff, 0xff)), QColor(0x0e, 0x0f, 0x0f));
    }
};

QTEST_MAIN(AutoButtonTest)
#include "auto_button_test.moc"
