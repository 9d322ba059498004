#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include "app/property_grid.h"

namespace korvan {
namespace {

// The settings grid's shape: a list, a port list, a device path and a switch.
struct SampleGrid {
    PropertyGrid grid;
    int programmer = grid.AddCategory("Programmer");
    int baud = grid.AddListItem(programmer, "Baud Rate", "Select Tamblin Baud Rate.", {"9600", "19200", "28800"});
    int device = grid.AddEditableItem(programmer, "Device", "The device COM 1 opens.", {"/dev/ttyS0", "/dev/ttyUSB0"});
    int system = grid.AddCategory("System");
    int sound = grid.AddBoolItem(system, "Sound On", "Sound Notification.", true);

    SampleGrid() { grid.ExpandAll(); }
    QTreeWidget* tree() { return grid.findChild<QTreeWidget*>(); }
    QComboBox* editor() { return tree()->findChild<QComboBox*>(); }
};

}  // namespace

class PropertyGridTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void buildsItemsAndTheProgramSetsValuesSilently() {
        SampleGrid sample;
        QSignalSpy changes(&sample.grid, &PropertyGrid::valueChanged);
        QCOMPARE(QList<int>({sample.programmer, sample.baud, sample.device, sample.system, sample.sound}),
                 QList<int>({0, 1, 2, 3, 4}));
        QCOMPARE(sample.grid.AddListItem(sample.baud, "Nested", "", {}), -1);
        QCOMPARE(sample.grid.Caption(sample.baud), QString("Baud Rate"));
        QCOMPARE(sample.grid.ChosenIndex(sample.baud), -1);
        QCOMPARE(sample.grid.ValueText(sample.baud), QString());
        QCOMPARE(sample.grid.ValueText(sample.sound), QString("True"));

        // The program's text may differ from the entry it chose.
        sample.grid.SetValueText(sample.baud, "19200 baud");
        sample.grid.SetChosenIndex(sample.baud, 1);
        sample.grid.SetEntries(sample.baud, {"9600", "19200", "28800", "57600"});
        sample.grid.SetValueText(sample.sound, "False");
        QCOMPARE(sample.grid.ValueText(sample.baud), QString("19200 baud"));
        QCOMPARE(sample.grid.ChosenIndex(sample.baud), 1);
        QCOMPARE(sample.grid.Entries(sample.baud).size(), 4);
        QCOMPARE(sample.grid.ValueText(sample.sound), QString("False"));
        sample.grid.SetChosenIndex(sample.baud, 9);
        QCOMPARE(sample.grid.ChosenIndex(sample.baud), -1);
        sample.grid.SetCustomColors(QColor(182, 189, 210), Qt::black, QColor(182, 189, 210), QColor(233, 243, 247),
                                    Qt::black, Qt::gray);
        QCOMPARE(changes.count(), 0);

        // The rows are made when the grid is first shown, with every value set before.
        QVERIFY(sample.tree() == nullptr);
        sample.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sample.grid));
        QVERIFY(sample.tree() != nullptr && sample.tree()->isVisible());
        QTreeWidgetItem* programmer = sample.tree()->topLevelItem(0);
        QCOMPARE(programmer->text(0), QString("Programmer"));
        QVERIFY(programmer->isExpanded());
        QCOMPARE(programmer->child(0)->text(1), QString("19200 baud"));
        QCOMPARE(sample.tree()->topLevelItem(1)->child(0)->text(1), QString("False"));
        QCOMPARE(sample.tree()->topLevelItem(1)->child(0)->background(1).color(), QColor(233, 243, 247));
        // ... and follow the program's values from then on.
        sample.grid.SetValueText(sample.baud, "28800 baud");
        QCOMPARE(programmer->child(0)->text(1), QString("28800 baud"));
        QCOMPARE(changes.count(), 0);
    }

    void operatorEditsReportEachChangeOnce() {
        SampleGrid sample;
        QSignalSpy changes(&sample.grid, &PropertyGrid::valueChanged);
        sample.grid.SetValueText(sample.baud, "9600 baud");
        sample.grid.SetChosenIndex(sample.baud, 0);

        // Picking the entry already chosen still replaces the program's text.
        sample.grid.ChooseEntry(sample.baud, 0);
        QCOMPARE(sample.grid.ValueText(sample.baud), QString("9600"));
        sample.grid.ChooseEntry(sample.baud, 0);
        sample.grid.ChooseEntry(sample.baud, 2);
        sample.grid.ChooseEntry(sample.baud, 3);
        QCOMPARE(sample.grid.ChosenIndex(sample.baud), 2);
        QCOMPARE(sample.grid.ValueText(sample.baud), QString("28800"));

        sample.grid.Toggle(sample.sound);
        QCOMPARE(sample.grid.ValueText(sample.sound), QString("False"));

        sample.grid.EnterText(sample.device, " /dev/ttyACM0 ");
        QCOMPARE(sample.grid.ValueText(sample.device), QString("/dev/ttyACM0"));
        QCOMPARE(sample.grid.ChosenIndex(sample.device), -1);
        sample.grid.EnterText(sample.device, "/dev/ttyUSB0");
        QCOMPARE(sample.grid.ChosenIndex(sample.device), 1);
        sample.grid.EnterText(sample.device, "");
        sample.grid.EnterText(sample.baud, "300");
        QCOMPARE(sample.grid.ValueText(sample.baud), QString("28800"));

        QCOMPARE(changes.count(), 5);
        const QList<int> items = {sample.baud, sample.baud, sample.sound, sample.device, sample.device};
        for (int call = 0; call < changes.count(); ++call) {
            QCOMPARE(changes.at(call).at(0).toInt(), items.at(call));
        }
    }

    void descriptionFollowsTheSelection() {
        SampleGrid sample;
        sample.grid.resize(360, 260);
        sample.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sample.grid));
        sample.grid.SelectItem(sample.baud);
        QCOMPARE(sample.grid.SelectedItem(), sample.baud);
        QCOMPARE(sample.grid.ShownDescription(), QString("Select Tamblin Baud Rate."));

        sample.tree()->setFocus();
        QTest::keyClick(sample.tree(), Qt::Key_Down);
        QCOMPARE(sample.grid.SelectedItem(), sample.device);
        QCOMPARE(sample.grid.ShownDescription(), QString("The device COM 1 opens."));
        QTest::keyClick(sample.tree(), Qt::Key_Down);
        QCOMPARE(sample.grid.SelectedItem(), sample.system);
        QCOMPARE(sample.grid.ShownDescription(), QString());
    }

    void keyboardAndMouseOpenTheInPlaceEditors() {
        SampleGrid sample;
        QSignalSpy changes(&sample.grid, &PropertyGrid::valueChanged);
        sample.grid.resize(360, 260);
        sample.grid.show();
        QVERIFY(QTest::qWaitForWindowActive(&sample.grid));
        sample.grid.SetChosenIndex(sample.baud, 0);
        sample.grid.SelectItem(sample.baud);
        sample.tree()->setFocus();

        QTest::keyClick(sample.tree(), Qt::Key_F4);
        QTRY_VERIFY(sample.editor() != nullptr && sample.editor()->view()->isVisible());
        QTest::keyClick(sample.editor()->view(), Qt::Key_Down);
        QTest::keyClick(sample.editor()->view(), Qt::Key_Return);
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toInt(), sample.baud);
        QCOMPARE(sample.grid.ChosenIndex(sample.baud), 1);
        QCOMPARE(sample.grid.ValueText(sample.baud), QString("19200"));
        QTRY_VERIFY(sample.editor() == nullptr);
        // The offscreen platform leaves no window active once a popup has closed.
        sample.grid.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sample.grid));

        // A typed device path ends with Enter; Escape leaves the value alone.
        QTest::keyClick(sample.tree(), Qt::Key_Down);
        QTest::keyClick(sample.tree(), Qt::Key_Return);
        QTRY_VERIFY(sample.editor() != nullptr && sample.editor()->lineEdit() != nullptr &&
                    sample.editor()->lineEdit()->hasFocus());
        sample.editor()->lineEdit()->selectAll();
        QTest::keyClicks(sample.editor()->lineEdit(), "/dev/ttyUSB3");
        QTest::keyClick(sample.editor()->lineEdit(), Qt::Key_Return);
        QTRY_COMPARE(changes.count(), 2);
        QCOMPARE(sample.grid.ValueText(sample.device), QString("/dev/ttyUSB3"));
        QTRY_VERIFY(sample.editor() == nullptr);

        sample.tree()->setFocus();
        QTest::keyClick(sample.tree(), Qt::Key_Space);
        QTRY_VERIFY(sample.editor() != nullptr && sample.editor()->lineEdit() != nullptr &&
                    sample.editor()->lineEdit()->hasFocus());
        QTest::keyClicks(sample.editor()->lineEdit(), "x");
        QTest::keyClick(sample.editor()->lineEdit(), Qt::Key_Escape);
        QTRY_VERIFY(sample.editor() == nullptr);
        QCOMPARE(sample.grid.ValueText(sample.device), QString("/dev/ttyUSB3"));
        QCOMPARE(changes.count(), 2);

        // A click on a switch's value drops its list down.
        QTreeWidgetItem* soundRow = sample.tree()->topLevelItem(1)->child(0);
        const QRect valueCell = sample.tree()->visualItemRect(soundRow).adjusted(
            sample.tree()->columnViewportPosition(1), 0, 0, 0);
        QTest::mouseClick(sample.tree()->viewport(), Qt::LeftButton, {}, valueCell.center());
        QTRY_VERIFY(sample.editor() != nullptr && sample.editor()->view()->isVisible());
        QTest::keyClick(sample.editor()->view(), Qt::Key_Down);
        QTest::keyClick(sample.editor()->view(), Qt::Key_Return);
        QTRY_COMPARE(changes.count(), 3);
        QCOMPARE(changes.at(2).at(0).toInt(), sample.sound);
        QCOMPARE(sample.grid.ValueText(sample.sound), QString("False"));
    }

    // The row the keys act on stands out in the highlight colour while the grid has the focus,
    // keeps a quieter mark without it, and the other rows keep the grid's own colours.
    void theCurrentRowIsPlainWithTheFocusAndMarkedQuietlyWithout() {
        SampleGrid sample;
        const QColor lines(182, 189, 210);
        const QColor valueBack(233, 243, 247);
        sample.grid.SetCustomColors(lines, Qt::black, lines, valueBack, Qt::black, Qt::gray);
        sample.grid.resize(400, 300);
        sample.grid.show();
        sample.grid.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sample.grid));
        QTreeWidget& tree = *sample.tree();
        QTreeWidgetItem* programmer = tree.topLevelItem(0);
        QTreeWidgetItem* baud = programmer->child(0);
        QTreeWidgetItem* device = programmer->child(1);
        // Near the right of the row, inside the focus frame: the value cell (or a category's spanned
        // caption), clear of text.
        const auto rowColor = [&tree](QTreeWidgetItem* row) {
            const QRect cell = tree.visualItemRect(row);
            return tree.viewport()->grab().toImage().pixelColor(cell.right() - 10, cell.center().y());
        };
        const QColor highlight = tree.palette().color(QPalette::Active, QPalette::Highlight);
        QVERIFY(highlight != valueBack && highlight != lines);

        // Coming in with the keyboard makes the first row current without selecting it.
        tree.setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(tree.hasFocus());
        QCOMPARE(rowColor(programmer), highlight);
        QCOMPARE(rowColor(baud), valueBack);
        QTest::keyClick(&tree, Qt::Key_Down);
        QTest::keyClick(&tree, Qt::Key_Down);
        QCOMPARE(sample.grid.SelectedItem(), sample.device);
        QCOMPARE(rowColor(device), highlight);
        QCOMPARE(rowColor(baud), valueBack);
        QCOMPARE(rowColor(programmer), lines);

        tree.clearFocus();
        QTRY_VERIFY(!tree.hasFocus());
        const QColor quiet = rowColor(device);
        QVERIFY2(quiet != valueBack && quiet != highlight, qPrintable(quiet.name()));
        QCOMPARE(rowColor(baud), valueBack);
        QCOMPARE(rowColor(tree.topLevelItem(1)), lines);
    }
};

}  // namespace korvan

QTEST_MAIN(korvan::PropertyGridTest)
#include "property_grid_test.moc"
