#include "editor/chip_list_editor.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "tests/support/temp_dir.h"

namespace korvan {

class ChipListEditorTest : public QObject {
    Q_OBJECT

private:
    static ChipRecord Chip(const std::string& name, int romKiB) {
        ChipRecord record;
        record.name = name;
        record.chipCode = 1;
        record.romSizeKiB = romKiB;
        record.programmingVoltage = 12.0F;
        record.signature = {0x1E, static_cast<std::uint8_t>(romKiB), 0xFF};
        return record;
    }

    static QStringList Names(const ChipListModel& model) {
        QStringList names;
        for (int row = 0; row < model.rowCount(); ++row) names << model.index(row, 0).data().toString();
        return names;
    }

    static void Click(ChipListEditor& editor, const QString& title) {
        for (QPushButton* button : editor.findChildren<QPushButton*>()) {
            if (button->text() == title) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        QFAIL(qPrintable("no button " + title));
    }

private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void addEditReorderRemoveSaveAndReload() {
        testing::TempDir dir;
        QCOMPARE(SaveChipCatalogue(dir.file("ChipList.chip"), {Chip("A", 4), Chip("B", 8), Chip("C", 20)}), "");
        ChipListEditor editor(dir.file("ChipList.chip"), dir.file("ChipList.chip"));
        ChipListModel& model = editor.model();
        QCOMPARE(Names(model), (QStringList{"A", "B", "C"}));
        QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "ROM (KiB)");
        QCOMPARE(model.index(1, 3).data().toString(), "12.00");
        QCOMPARE(model.index(1, 4).data().toString(), "1E 08 FF");
        QVERIFY(!model.modified());

        Click(editor, "Add");
        QCOMPARE(model.rowCount(), 4);
        QVERIFY(model.modified());
        QCOMPARE(editor.table()->currentIndex().row(), 3);

        // A value the main program could not use is refused and the record keeps its own.
        QVERIFY(!model.setData(model.index(3, 2), "65", Qt::EditRole));
        QVERIFY2(editor.statusText().contains("ROM size must be 1 to 64 KiB"), qPrintable(editor.statusText()));
        QCOMPARE(model.records()[3].romSizeKiB, 4);
        QVERIFY(!model.setData(model.index(3, 0), "A name that is too long", Qt::EditRole));
        QVERIFY(editor.statusText().contains("name must have 1 to 19 characters"));
        QCOMPARE(model.records()[3].name, "New chip");
        QVERIFY(model.setData(model.index(3, 0), "AT89S8253", Qt::EditRole));
        QVERIFY(model.setData(model.index(3, 4), "1e 73 2", Qt::EditRole));
        QCOMPARE(editor.statusText(), "");

        Click(editor, "Move Up");
        QCOMPARE(Names(model), (QStringList{"A", "B", "AT89S8253", "C"}));
        QCOMPARE(editor.table()->currentIndex().row(), 2);
        editor.table()->setCurrentIndex(model.index(0, 0));
        Click(editor, "Move Up");  // already first: stays
        Click(editor, "Move Down");
        Click(editor, "Remove");  // "A", now second
        QCOMPARE(Names(model), (QStringList{"B", "AT89S8253", "C"}));

        Click(editor, "Save");
        QVERIFY2(!model.modified(), qPrintable(editor.statusText()));
        ChipListEditor reopened(dir.file("ChipList.chip"), dir.file("ChipList.chip"));
        QCOMPARE(Names(reopened.model()), (QStringList{"B", "AT89S8253", "C"}));
        QCOMPARE(reopened.model().index(1, 4).data().toString(), "1E 73 02");
    }

    void saveRefusesARecordReadFromADamagedFile() {
        testing::TempDir dir;
        ChipRecord damaged = Chip("D", 4);
        damaged.romSizeKiB = 0;
        const std::vector<std::uint8_t> bytes = EncodeCatalogue({damaged});
        dir.Write("ChipList.chip", std::string(bytes.begin(), bytes.end()));
        const std::string before = dir.Read("ChipList.chip");
        ChipListEditor editor(dir.file("ChipList.chip"), dir.file("ChipList.chip"));
        QVERIFY(!editor.Save());
        QVERIFY2(editor.statusText().contains("chip 1: ROM size"), qPrintable(editor.statusText()));
        QCOMPARE(dir.Read("ChipList.chip"), before);
    }
};

}  // namespace korvan

QTEST_MAIN(korvan::ChipListEditorTest)
#include "chip_list_editor_test.moc"
