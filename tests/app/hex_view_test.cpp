#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "app/difference_bar.h"
#include "app/hex_view.h"

namespace korvan {

// A buffer and a view of it, wired as the window wires them: the view's requests change the
// buffer, whose changes the view shows.
struct ShownBuffer {
    explicit ShownBuffer(std::uint8_t fill = 0, int height = 200) {
        image.fill(fill);
        view.SetModel(&model);
        QObject::connect(&view, &HexView::editRequested, &view,
                         [this](quint32 address, const std::vector<std::uint8_t>& bytes) { model.Edit(address, bytes); });
        QObject::connect(&view, &HexView::undoRequested, &view, [this] { model.Undo(); });
        QObject::connect(&view, &HexView::redoRequested, &view, [this] { model.Redo(); });
        view.resize(view.sizeHint().width(), height);
        view.show();
        view.activateWindow();
        view.setFocus();
        if (!QTest::qWaitForWindowExposed(&view)) QTest::qFail("the view was never shown", __FILE__, __LINE__);
    }
    Image image{};
    BufferModel model{image};
    HexView view;
};

class HexViewTest : public QObject {
    Q_OBJECT

private:
    static QPoint CellCentre(const HexView& view, std::size_t rowInSight, int cell) {
        const int cellWidth = view.fontMetrics().horizontalAdvance(QLatin1Char('0'));
        const int rowHeight = view.fontMetrics().height();
        return {HexView::kMarginPixels + cell * cellWidth + cellWidth / 2,
                static_cast<int>(rowInSight) * rowHeight + rowHeight / 2};
    }

    // Pixels of the byte's two digits drawn in the edited bytes' blue (row 0 in sight).
    static int BluePixelsOfByte(HexView& view, int column) {
        const int cellWidth = view.fontMetrics().horizontalAdvance(QLatin1Char('0'));
        const QRect digits(HexView::kMarginPixels + view.layout().HexColumn(column) * cellWidth, 0, 2 * cellWidth,
                           view.fontMetrics().height());
        const QImage shot = view.viewport()->grab(digits).toImage();
        int blue = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                blue += pixel.blue() > pixel.red() + 80 ? 1 : 0;
            }
        }
        return blue;
    }

private slots:
    void initTestCase() { QApplication::setStyle("Fusion"); }

    void typingOverwritesDigitsAndCharacters() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        const BufferModel& model = shown.model;
        QSignalSpy edited(view, &HexView::editRequested);
        view->SetCursorOffset(0x10);
        QTest::keyClicks(view, "A5");
        QCOMPARE(model.At(0x10), std::uint8_t{0xA5});
        QCOMPARE(model.At(0x0F), std::uint8_t{0x00});
        QCOMPARE(model.At(0x11), std::uint8_t{0x00});
        QCOMPARE(view->CursorOffset(), std::size_t{0x11});
        QCOMPARE(edited.count(), 2);
        QCOMPARE(edited.at(1).at(0).value<quint32>(), quint32{0x10});
        QTest::keyClicks(view, "g-");  // not hexadecimal digits
        QCOMPARE(model.At(0x11), std::uint8_t{0x00});
        QCOMPARE(edited.count(), 2);
        QTest::keyClicks(view, "c");  // lower case counts; the low digit stays
        QCOMPARE(model.At(0x11), std::uint8_t{0xC0});
        QTest::keyClick(view, Qt::Key_Tab);  // to the characters, at the high digit's byte
        QTest::keyClicks(view, "Hi");
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClicks(view, "7");
        QCOMPARE(model.At(0x11), std::uint8_t{'H'});
        QCOMPARE(model.At(0x12), std::uint8_t{'i'});
        QCOMPARE(model.At(0x13), std::uint8_t{0x70});
        QCOMPARE(edited.count(), 6);
    }

    // The image's first and last bytes take edits like any other; the cursor never leaves it.
    void cursorStaysInsideTheImage() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        view->SetCursorOffset(0xFFFE);
        QTest::keyClicks(view, "123456");
        QCOMPARE(shown.model.At(0xFFFE), std::uint8_t{0x12});
        QCOMPARE(shown.model.At(0xFFFF), std::uint8_t{0x56});  // typed over again at the end
        QCOMPARE(view->CursorOffset(), std::size_t{0xFFFF});
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->CursorOffset(), std::size_t{0xFFFF});
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(view->CursorOffset(), std::size_t{0});
        QTest::keyClick(view, Qt::Key_Up);
        QTest::keyClick(view, Qt::Key_Left);
        QCOMPARE(view->CursorOffset(), std::size_t{0});
        QTest::keyClicks(view, "9");
        QCOMPARE(shown.model.At(0), std::uint8_t{0x90});
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(view->CursorOffset(), std::size_t{15});
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(view->CursorOffset(), std::size_t{8});
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view->CursorOffset(), std::size_t{0xFFFF});
    }

    void pagingScrollsTheCursorIntoSight() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        QScrollBar* rows = view->verticalScrollBar();
        const int wholeRows = view->viewport()->height() / view->fontMetrics().height();
        QCOMPARE(rows->maximum(), 8192 - wholeRows);
        QTest::keyClick(view, Qt::Key_PageDown);
        QCOMPARE(view->CursorOffset(), std::size_t(8 * wholeRows));
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(rows->value(), rows->maximum());
        view->SetCursorOffset(0x100);
        QCOMPARE(rows->value(), 0x100 / 8);
    }

    void clickPlacesTheCursorOnTheDigitUnderIt() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        view->verticalScrollBar()->setValue(100);
        const HexLayout& layout = view->layout();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(*view, 2, layout.HexColumn(3) + 1));
        QCOMPARE(view->CursorOffset(), std::size_t{102 * 8 + 3});
        QTest::keyClicks(view, "7");  // the low digit was clicked: typing still starts at the high one
        QCOMPARE(shown.model.At(102 * 8 + 3), std::uint8_t{0x70});
        QTest::keyClicks(view, "5");
        QCOMPARE(shown.model.At(102 * 8 + 3), std::uint8_t{0x75});
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(*view, 0, layout.CharColumn(7)));
        QCOMPARE(view->CursorOffset(), std::size_t{100 * 8 + 7});
        QTest::keyClicks(view, "Z");
        QCOMPARE(shown.model.At(100 * 8 + 7), std::uint8_t{'Z'});
    }

    // A load or read replaces the buffer: the view starts over at its first byte, without marks.
    void aReplacedBufferResetsCursorAndMarks() {
        ShownBuffer shown(0x11);
        HexView* view = &shown.view;
        Image reference{};
        shown.model.MarkDifferences(reference);
        QVERIFY(view->HasMarks());
        view->SetCursorOffset(0x300);
        QTest::keyClicks(view, "4");
        QVERIFY(view->HasEdits());
        const int scrolled = view->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        QSignalSpy marks(view, &HexView::differencesChanged);
        QSignalSpy edits(view, &HexView::editsChanged);
        shown.image.fill(0x22);
        shown.model.Replaced();
        QCOMPARE(view->CursorOffset(), std::size_t{0});
        QCOMPARE(view->verticalScrollBar()->value(), scrolled);  // the scroll position is kept
        QCOMPARE(shown.model.At(0x300), std::uint8_t{0x22});
        QCOMPARE(view->DifferenceCount(), std::size_t{0});
        QVERIFY(!view->HasMarks() && !view->HasEdits());
        QCOMPARE(marks.count(), 1);
        QCOMPARE(marks.front().front().value<std::size_t>(), std::size_t{0});
        QCOMPARE(edits.count(), 1);
        QCOMPARE(edits.front().front().toBool(), false);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);  // the history went with the old image
        QCOMPARE(shown.model.At(0x300), std::uint8_t{0x22});
    }

    void marksExactlyTheDifferingBytesAndWalksThemRound() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        Image reference{};
        reference[0] = 0x80;
        reference[3] = 1;
        reference[40] = 0xFF;
        reference[0xFFFF] = 2;
        QSignalSpy changed(view, &HexView::differencesChanged);
        shown.model.MarkDifferences(reference);
        QCOMPARE(view->DifferenceCount(), std::size_t{4});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.front().front().value<std::size_t>(), std::size_t{4});

        std::vector<std::size_t> visited;
        for (int i = 0; i < 5; ++i) {
            QVERIFY(view->GoToNextDifference());
            visited.push_back(view->CursorOffset());
        }
        QCOMPARE(visited, (std::vector<std::size_t>{3, 40, 0xFFFF, 0, 3}));
        view->SetCursorOffset(0);
        QVERIFY(view->GoToPreviousDifference());
        QCOMPARE(view->CursorOffset(), std::size_t{0xFFFF});  // wrapped back from the first
        shown.model.ClearDifferences();
        QVERIFY(!view->GoToNextDifference());
        QVERIFY(!view->HasMarks());
    }

    void differenceBarCountsAndMoves() {
        QWidget page;
        auto* layout = new QVBoxLayout(&page);
        Image image2{};
        Image image1{};
        BufferModel buffer2Model(image2);
        BufferModel buffer1Model(image1);
        auto* view = new HexView(&page);
        auto* buffer1 = new HexView(&page);
        view->SetModel(&buffer2Model);
        buffer1->SetModel(&buffer1Model);
        for (auto [shown, model] : {std::pair{view, &buffer2Model}, std::pair{buffer1, &buffer1Model}}) {
            QObject::connect(shown, &HexView::editRequested, shown,
                             [model](quint32 address, const std::vector<std::uint8_t>& bytes) { model->Edit(address, bytes); });
            QObject::connect(shown, &HexView::undoRequested, shown, [model] { model->Undo(); });
        }
        auto* bar = new DifferenceBar(*view, *buffer1, &page);
        layout->addWidget(bar);
        layout->addWidget(view);
        layout->addWidget(buffer1);
        page.show();
        QVERIFY(bar->isHidden());

        Image reference{};
        reference[9] = reference[20] = 1;
        buffer2Model.MarkDifferences(reference);
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
        // makes a byte differ marks it; undoing it counts back.
        view->setFocus();
        view->SetCursorOffset(9);
        QTest::keyClicks(view, QStringLiteral("01"));
        QVERIFY(!buffer2Model.IsMarked(9));
        QCOMPARE(summary->text(), QStringLiteral("1 byte differs from Buffer1"));
        view->SetCursorOffset(5);
        QTest::keyClicks(view, QStringLiteral("7"));
        QVERIFY(buffer2Model.IsMarked(5));
        QCOMPARE(view->DifferenceCount(), std::size_t{2});
        QTest::keyClicks(view, QStringLiteral("0"));  // 0x70 still differs: counted once
        QCOMPARE(view->DifferenceCount(), std::size_t{2});
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(summary->text(), QStringLiteral("1 byte differs from Buffer1"));
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(summary->text(), QStringLiteral("2 bytes differ from Buffer1"));

        buffer2Model.MarkDifferences(image2);
        QVERIFY(!bar->isHidden());
        QCOMPARE(summary->text(), QStringLiteral("No difference from Buffer1"));
        // Edits in Buffer1 are not in it until a write: no claim of no difference.
        buffer1->setFocus();
        QTest::keyClicks(buffer1, QStringLiteral("A"));
        QVERIFY(buffer1->HasEdits() && buffer1Model.IsUnwritten(0) && !buffer1Model.IsUnwritten(1));
        QCOMPARE(summary->text(), QStringLiteral("Buffer1 has edits not yet written"));
        QCOMPARE(DifferenceBar::Summary(3, true), QStringLiteral("3 bytes differ from Buffer1; Buffer1 has edits not yet written"));
        QCOMPARE(DifferenceBar::Summary(1, false), QStringLiteral("1 byte differs from Buffer1"));
        QTest::keyClick(buffer1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(summary->text(), QStringLiteral("No difference from Buffer1"));
        QTest::keyClicks(buffer1, QStringLiteral("B"));
        buffer1Model.TakeEdits();  // a write
        buffer1Model.MarkWritten();
        QCOMPARE(summary->text(), QStringLiteral("No difference from Buffer1"));
        buffer2Model.ClearDifferences();
        QVERIFY(bar->isHidden());
    }

    // Ctrl+Z takes a typed byte back whole, colour included; Ctrl+Y and Ctrl+Shift+Z make it again.
    void undoAndRedoKeysWalkTheHistory() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        QSignalSpy edits(view, &HexView::editsChanged);
        QCOMPARE(BluePixelsOfByte(*view, 2), 0);  // the cursor is elsewhere: no blue at all
        view->SetCursorOffset(2);
        QTest::keyClicks(view, "C3");
        QCOMPARE(shown.model.At(2), std::uint8_t{0xC3});
        QCOMPARE(edits.count(), 1);
        QVERIFY(BluePixelsOfByte(*view, 2) > 0);  // an edit not yet written
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(shown.model.At(2), std::uint8_t{0x00});
        QVERIFY(!view->HasEdits());
        QCOMPARE(edits.count(), 2);
        QCOMPARE(BluePixelsOfByte(*view, 2), 0);
        QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(shown.model.At(2), std::uint8_t{0xC3});
        QVERIFY(view->HasEdits());
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shown.model.At(2), std::uint8_t{0xC3});
        // Ctrl with another letter is no edit and no history step.
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(shown.model.At(view->CursorOffset()), std::uint8_t{0x00});
        QVERIFY(shown.model.CanUndo() && !shown.model.CanRedo());
    }

    void paintsOnlyTheRowsInSight() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        const auto bound = static_cast<std::size_t>(view->viewport()->height() / view->fontMetrics().height() + 2);
        view->viewport()->repaint();
        QVERIFY(view->lastPaintedRows() > 0);
        QVERIFY2(view->lastPaintedRows() <= bound, qPrintable(QString::number(view->lastPaintedRows())));
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        view->viewport()->repaint();
        QVERIFY(view->lastPaintedRows() > 0);
        QVERIFY(view->lastPaintedRows() <= bound);
    }

    // Each digit replaces its own half of the byte and keeps the other.
    void eachDigitReplacesOnlyItsHalfOfAByte() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        shown.image[4] = 0xA5;
        shown.model.Replaced();
        view->SetCursorOffset(4);
        QTest::keyClicks(view, "7");
        QCOMPARE(shown.model.At(4), std::uint8_t{0x75});
        QTest::keyClicks(view, "1");
        QCOMPARE(shown.model.At(4), std::uint8_t{0x71});
        QCOMPARE(shown.model.At(5), std::uint8_t{0x00});
    }

    // With one difference, and the cursor on it, both directions come back to it.
    void aSingleDifferenceUnderTheCursorIsFoundBothWays() {
        ShownBuffer shown;
        HexView* view = &shown.view;
        Image reference{};
        reference[20] = 1;
        shown.model.MarkDifferences(reference);
        view->SetCursorOffset(20);
        QVERIFY(view->GoToNextDifference());
        QCOMPARE(view->CursorOffset(), std::size_t{20});
        QVERIFY(view->GoToPreviousDifference());
        QCOMPARE(view->CursorOffset(), std::size_t{20});
        view->SetCursorOffset(0xFFFF);
        QVERIFY(view->GoToNextDifference());  // wraps round to it
        QCOMPARE(view->CursorOffset(), std::size_t{20});
    }
};

}  // namespace korvan

QTEST_MAIN(korvan::HexViewTest)
#include "hex_view_test.moc"
