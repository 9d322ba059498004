#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <set>
#include <vector>

#include "app/difference_bar.h"
#include "app/hex_view.h"

namespace korvan {

class HexViewTest : public QObject {
    Q_OBJECT

private:
    // A shown view of `length` zero bytes, `height` pixels high, with the keyboard focus.
    std::unique_ptr<HexView> ShownView(std::size_t length, int height = 200) {
        auto view = std::make_unique<HexView>();
        const std::vector<std::uint8_t> zeros(length, 0);
        view->SetData(zeros.data(), zeros.size());
        view->resize(view->sizeHint().width(), height);
        view->show();
        view->activateWindow();
        view->setFocus();
        if (!QTest::qWaitForWindowExposed(view.get())) QTest::qFail("the view was never shown", __FILE__, __LINE__);
        return view;
    }

    static QPoint CellCentre(const HexView& view, std::size_t rowInSight, int cell) {
        const int cellWidth = view.fontMetrics().horizontalAdvance(QLatin1Char('0'));
        const int rowHeight = view.fontMetrics().height();
        return {HexView::kMarginPixels + cell * cellWidth + cellWidth / 2,
                static_cast<int>(rowInSight) * rowHeight + rowHeight / 2};
    }

private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void typingOverwritesDigitsAndCharacters() {
        auto view = ShownView(64);
        QSignalSpy edited(view.get(), &HexView::bytesEdited);
        view->SetCursorOffset(0x10);
        QTest::keyClicks(view.get(), "A5");
        std::vector<std::uint8_t> expected(64, 0);
        expected[0x10] = 0xA5;
        QCOMPARE(view->Data(), expected);
        QCOMPARE(view->CursorOffset(), std::size_t{0x11});
        QCOMPARE(edited.count(), 2);
        QTest::keyClicks(view.get(), "g-");  // not hexadecimal digits
        QCOMPARE(view->Data(), expected);
        QCOMPARE(edited.count(), 2);
        QTest::keyClicks(view.get(), "c");  // lower case counts; the low digit stays
        QCOMPARE(view->Data()[0x11], std::uint8_t{0xC0});
        QTest::keyClick(view.get(), Qt::Key_Tab);  // to the characters, at the high digit's byte
        QTest::keyClicks(view.get(), "Hi");
        QTest::keyClick(view.get(), Qt::Key_Tab);
        QTest::keyClicks(view.get(), "7");
        QCOMPARE(view->Data()[0x11], std::uint8_t{'H'});
        QCOMPARE(view->Data()[0x12], std::uint8_t{'i'});
        QCOMPARE(view->Data()[0x13], std::uint8_t{0x70});
        QCOMPARE(edited.count(), 6);
    }

    void cursorStaysInsideTheImage() {
        auto view = ShownView(64);
        view->SetCursorOffset(62);
        QTest::keyClicks(view.get(), "123456");
        QCOMPARE(view->Data()[62], std::uint8_t{0x12});
        QCOMPARE(view->Data()[63], std::uint8_t{0x56});  // typed over again at the end
        QCOMPARE(view->CursorOffset(), std::size_t{63});
        QTest::keyClick(view.get(), Qt::Key_Right);
        QTest::keyClick(view.get(), Qt::Key_Down);
        QCOMPARE(view->CursorOffset(), std::size_t{63});
        QTest::keyClick(view.get(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(view->CursorOffset(), std::size_t{0});
        QTest::keyClick(view.get(), Qt::Key_Up);
        QCOMPARE(view->CursorOffset(), std::size_t{0});
        QTest::keyClick(view.get(), Qt::Key_Down);
        QTest::keyClick(view.get(), Qt::Key_End);
        QCOMPARE(view->CursorOffset(), std::size_t{15});
        QTest::keyClick(view.get(), Qt::Key_Home);
        QCOMPARE(view->CursorOffset(), std::size_t{8});
        QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view->CursorOffset(), std::size_t{63});
    }

    void pagingScrollsTheCursorIntoSight() {
        auto view = ShownView(65536);
        QScrollBar* rows = view->verticalScrollBar();
        const int wholeRows = view->viewport()->height() / view->fontMetrics().height();
        QCOMPARE(rows->maximum(), 8192 - wholeRows);
        QTest::keyClick(view.get(), Qt::Key_PageDown);
        QCOMPARE(view->CursorOffset(), std::size_t(8 * wholeRows));
        QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(rows->value(), rows->maximum());
        view->SetCursorOffset(0x100);
        QCOMPARE(rows->value(), 0x100 / 8);
    }

    void clickPlacesTheCursorOnTheDigitUnderIt() {
        auto view = ShownView(65536);
        view->verticalScrollBar()->setValue(100);
        const HexLayout& layout = view->layout();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(*view, 2, layout.HexColumn(3) + 1));
        QCOMPARE(view->CursorOffset(), std::size_t{102 * 8 + 3});
        QTest::keyClicks(view.get(), "7");  // the low digit was clicked: typing still starts at the high one
        QCOMPARE(view->Data()[102 * 8 + 3], std::uint8_t{0x70});
        QTest::keyClicks(view.get(), "5");
        QCOMPARE(view->Data()[102 * 8 + 3], std::uint8_t{0x75});
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(*view, 0, layout.CharColumn(7)));
        QCOMPARE(view->CursorOffset(), std::size_t{100 * 8 + 7});
        QTest::keyClicks(view.get(), "Z");
        QCOMPARE(view->Data()[100 * 8 + 7], std::uint8_t{'Z'});
    }

    void setDataTakesACopyAndClearsMarks() {
        auto view = ShownView(16);
        std::vector<std::uint8_t> source(16, 0x11);
        view->SetData(source.data(), source.size());
        view->MarkDifferences(std::vector<std::uint8_t>(16, 0));
        QVERIFY(view->HasMarks());
        QSignalSpy changed(view.get(), &HexView::differencesChanged);
        view->SetData(source.data(), source.size());
        source[0] = 0x22;
        QCOMPARE(view->Data()[0], std::uint8_t{0x11});
        QCOMPARE(view->DifferenceCount(), std::size_t{0});
        QVERIFY(!view->HasMarks());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.front().front().value<std::size_t>(), std::size_t{0});
    }

    void marksExactlyTheDifferingBytesAndWalksThemRound() {
        auto view = ShownView(64);
        std::vector<std::uint8_t> reference(60, 0);  // shorter: bytes 60..63 differ too
        reference[3] = 1;
        reference[40] = 0xFF;
        QSignalSpy changed(view.get(), &HexView::differencesChanged);
        view->MarkDifferences(reference);
        const std::set<std::size_t> expected{3, 40, 60, 61, 62, 63};
        for (std::size_t offset = 0; offset < 64; ++offset) {
            QCOMPARE(view->IsMarked(offset), expected.count(offset) == 1);
        }
        QCOMPARE(view->DifferenceCount(), expected.size());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.front().front().value<std::size_t>(), expected.size());

        std::vector<std::size_t> visited;
        for (std::size_t i = 0; i < expected.size() + 1; ++i) {
            QVERIFY(view->GoToNextDifference());
            visited.push_back(view->CursorOffset());
        }
        QCOMPARE(visited, (std::vector<std::size_t>{3, 40, 60, 61, 62, 63, 3}));
        QVERIFY(view->GoToPreviousDifference());
        QCOMPARE(view->CursorOffset(), std::size_t{63});  // wrapped back from the first
        view->ClearDifferences();
        QVERIFY(!view->GoToNextDifference());
        QVERIFY(!view->IsMarked(3));
    }

    void differenceBarCountsAndMoves() {
        QWidget page;
        auto* layout = new QVBoxLayout(&page);
        auto* view = new HexView(&page);
        auto* buffer1 = new HexView(&page);
        auto* bar = new DifferenceBar(*view, *buffer1, &page);
        layout->addWidget(bar);
        layout->addWidget(view);
        const std::vector<std::uint8_t> image(32, 0);
        view->SetData(image.data(), image.size());
        page.show();
        QVERIFY(bar->isHidden());

        std::vector<std::uint8_t> reference(32, 0);
        reference[9] = reference[20] = 1;
        view->MarkDifferences(reference);
        QVERIFY(!bar->isHidden());
        auto* summary = bar->findChild<QLabel*>();
        QVERIFY(summary != nullptr);
        QCOMPARE(summary->text(), QStringLiteral("2 bytes differ from Buffer1"));
        QPushButton* next = nullptr;
        QPushButton* previous = nullptr;
        for (QPushButton* button : bar->findChildren<QPushButton*>()) {
            (button->text() == "Next difference" ? next : previous) = button;
        }
        QVERIFY(next != nullptr && previous != nullptr);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(view->CursorOffset(), std::size_t{9});
        QTest::mouseClick(previous, Qt::LeftButton);
        QCOMPARE(view->CursorOffset(), std::size_t{20});

        // An edit that makes a marked byte match takes its mark off and counts again; one that
        // makes a byte differ marks it.
        view->setFocus();
        view->SetCursorOffset(9);
        QTest::keyClicks(view, QStringLiteral("01"));
        QVERIFY(!view->IsMarked(9));
        QCOMPARE(summary->text(), QStringLiteral("1 byte differs from Buffer1"));
        view->SetCursorOffset(5);
        QTest::keyClicks(view, QStringLiteral("7"));
        QVERIFY(view->IsMarked(5));
        QCOMPARE(view->DifferenceCount(), std::size_t{2});
        QTest::keyClicks(view, QStringLiteral("0"));  // 0x70 still differs: counted once
        QCOMPARE(view->DifferenceCount(), std::size_t{2});

        view->MarkDifferences(view->Data());
        QVERIFY(!bar->isHidden());
        QCOMPARE(summary->text(), QStringLiteral("No difference from Buffer1"));
        // Edits in the Buffer1 view are not in Buffer1 yet: no claim of no difference.
        buffer1->SetData(image.data(), image.size());
        buffer1->setFocus();
        QTest::keyClicks(buffer1, QStringLiteral("A"));
        QVERIFY(buffer1->HasEdits() && buffer1->IsEdited(0) && !buffer1->IsEdited(1));
        QCOMPARE(summary->text(), QStringLiteral("Buffer1 has edits not yet written"));
        QCOMPARE(DifferenceBar::Summary(3, true), QStringLiteral("3 bytes differ from Buffer1; Buffer1 has edits not yet written"));
        QCOMPARE(DifferenceBar::Summary(1, false), QStringLiteral("1 byte differs from Buffer1"));
        buffer1->ClearEdits();
        QCOMPARE(summary->text(), QStringLiteral("No difference from Buffer1"));
        view->ClearDifferences();
        QVERIFY(bar->isHidden());
    }

    void paintsOnlyTheRowsInSight() {
        auto view = ShownView(65536, 200);
        const auto bound = static_cast<std::size_t>(view->viewport()->height() / view->fontMetrics().height() + 2);
        view->viewport()->repaint();
        QVERIFY(view->lastPaintedRows() > 0);
        QVERIFY2(view->lastPaintedRows() <= bound, qPrintable(QString::number(view->lastPaintedRows())));
        QTest::keyClick(view.get(), Qt::Key_End, Qt::ControlModifier);
        view->viewport()->repaint();
        QVERIFY(view->lastPaintedRows() > 0);
        QVERIFY(view->lastPaintedRows() <= bound);
    }
};

}  // namespace korvan

QTEST_MAIN(korvan::HexViewTest)
#include "hex_view_test.moc"
