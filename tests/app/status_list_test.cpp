#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "app/status_list.h"

namespace korvan {

class StatusListTest : public QObject {
    Q_OBJECT

private:
    static std::vector<std::string> Numbered(int count) {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i) lines.push_back("line " + std::to_string(i));
        return lines;
    }

    static QStringList Shown(const StatusListModel& model) {
        QStringList lines;
        for (int row = 0; row < model.rowCount(); ++row) lines << model.data(model.index(row), Qt::DisplayRole).toString();
        return lines;
    }

private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void insertsKeepTheirPlaces() {
        StatusListModel model;
        model.Insert(0, "b");
        model.Insert(0, "a");
        model.Insert(99, "d");  // past the end: appended
        model.Insert(2, "c");
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.InsertMany(1, {"x", "y"});
        QCOMPARE(Shown(model), (QStringList{"a", "x", "y", "b", "c", "d"}));
        QCOMPARE(inserted.count(), 1);  // one change for the whole batch
        QCOMPARE(inserted.front().at(1).toInt(), 1);
        QCOMPARE(inserted.front().at(2).toInt(), 2);
        model.InsertMany(0, {});
        QCOMPARE(inserted.count(), 1);

        model.Insert(-5, "Grüße \u00b5C");  // before the start: first
        QCOMPARE(model.data(model.index(0), Qt::DisplayRole).toString(), QString::fromUtf8("Grüße \u00b5C"));
        QVERIFY(!model.data(model.index(0), Qt::EditRole).isValid());
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    void selectScrollsTheLineIntoSight() {
        StatusList list;
        list.resize(300, 200);
        list.lines().InsertMany(0, Numbered(1000));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        list.Select(999);
        QCOMPARE(list.SelectedRow(), 999);
        QCOMPARE(list.currentIndex().row(), 999);
        const QModelIndex last = list.lines().index(999);
        QVERIFY(list.viewport()->rect().contains(list.visualRect(last)));
        QCOMPARE(list.indexAt(list.visualRect(last).center()), last);
        QCOMPARE(list.verticalScrollBar()->value(), list.verticalScrollBar()->maximum());

        list.Select(1000);  // no such line: nothing changes
        list.Select(-1);
        QCOMPARE(list.SelectedRow(), 999);

        list.Select(10);
        QVERIFY(list.viewport()->rect().contains(list.visualRect(list.lines().index(10))));
        QCOMPARE(list.verticalScrollBar()->value(), 10);
    }

    void keyboardAndMouseSelectLines() {
        StatusList list;
        list.resize(300, 200);
        list.lines().InsertMany(0, Numbered(500));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setFocus();
        list.Select(499);
        QTest::keyClick(&list, Qt::Key_Up);
        QCOMPARE(list.SelectedRow(), 498);
        QTest::keyClick(&list, Qt::Key_Home);
        QCOMPARE(list.SelectedRow(), 0);
        QCOMPARE(list.verticalScrollBar()->value(), 0);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.lines().index(3)).center());
        QCOMPARE(list.SelectedRow(), 3);
    }

    void newLinesAfterTheLastKeepTheSelectionInSight() {
        StatusList list;
        list.resize(300, 120);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        for (int i = 0; i < 40; ++i) {
            list.lines().Insert(i, "Programmer: Ready.");
            list.Select(i);
            QApplication::processEvents();
        }
        const QModelIndex newest = list.lines().index(39);
        QCOMPARE(list.SelectedRow(), 39);
        QVERIFY(list.viewport()->rect().contains(list.visualRect(newest)));
    }
};

}  // namespace korvan

QTEST_MAIN(korvan::StatusListTest)
#include "status_list_test.moc"
