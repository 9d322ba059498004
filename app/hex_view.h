#pragma once

#include <QAbstractScrollArea>
#include <QStaticText>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/hex_layout.h"
#include "console/buffer_model.h"

class QPainter;

namespace korvan {

// A whole memory image, `bytesPerRow` bytes a row with their address and characters. Only
// the rows in sight are painted, so a 64 KiB image scrolls as fast as a short one.
//
// It shows a buffer model and holds no bytes of its own. The operator edits in place: a click
// puts the cursor on a byte, ready for its high digit; arrows, Page Up/Down, Home/End (Ctrl for
// the whole image) move the cursor; hexadecimal digits overwrite the byte under the cursor
// nibble by nibble in the hexadecimal part, any printable character overwrites it in the
// character part; Tab switches between the parts; Ctrl+Z takes an edit back, Ctrl+Y or
// Ctrl+Shift+Z makes it again. Each edit, undo and redo is asked of the model's owner
// (editRequested, undoRequested, redoRequested); the view shows what the model then holds.
//
// Bytes the model marks as differing from a comparison have a coloured background, and the
// cursor moves from one to the next; bytes edited since the last write show in another colour.
class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    // Blank pixels left of the address column.
    static constexpr int kMarginPixels = 4;

    // The buffer shown (not owned; null: none). It must outlive the view or be replaced first.
    void SetModel(const BufferModel* model);
    const BufferModel* model() const { return model_; }
    void SetAddressBase(std::uint32_t base);
    void SetBytesPerRow(int count);
    // 16 bytes a row whenever the view is wide enough for them, 8 otherwise.
    void SetRowWidthFollowsView(bool follows);
    // Ctrl+G: asks for an address (hexadecimal) and moves the cursor there.
    void AskForAddress();
    // Moves the cursor to `address` (hexadecimal text, with or without 0x); false when it is
    // no address of the view.
    bool GoToAddress(const QString& address);
    const HexLayout& layout() const { return layout_; }

    std::size_t CursorOffset() const { return cursor_; }
    // Moves the cursor and scrolls it into sight.
    void SetCursorOffset(std::size_t offset);

    // The model's comparison marks and edits, none without a model.
    std::size_t DifferenceCount() const { return model_ != nullptr ? model_->DifferenceCount() : 0; }
    bool HasMarks() const { return model_ != nullptr && model_->HasMarks(); }
    bool HasEdits() const { return model_ != nullptr && model_->HasUnwrittenEdits(); }
    // Moves the cursor to the next (previous) marked byte after (before) it, wrapping round;
    // false when nothing is marked.
    bool GoToNextDifference();
    bool GoToPreviousDifference();

    // Rows painted by the last paint: the test of "only what is in sight".
    std::size_t lastPaintedRows() const { return lastPaintedRows_; }

    // Wide enough for a whole row beside the vertical scroll bar.
    QSize sizeHint() const override;

signals:
    // The operator typed over the bytes from `address` (an offset into the model) on.
    void editRequested(quint32 address, std::vector<std::uint8_t> bytes);
    void undoRequested();
    void redoRequested();
    void differencesChanged(std::size_t count);
    void editsChanged(bool hasEdits);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab switches between the two parts instead of leaving the view.
    bool focusNextPrevChild(bool next) override;
    void changeEvent(QEvent* event) override;

private:
    int CellWidth() const;
    int RowHeight() const;
    int WholeRowsInSight() const;
    std::size_t TopRow() const;
    void UpdateAddressDigits();
    void UpdateScrollBars();
    void ScrollToCursor();
    void PaintRow(QPainter& painter, std::size_t row, int top) const;
    void PaintByte(QPainter& painter, std::size_t offset, int left, int top) const;
    // The two digits and the character of every byte value, laid out once per font.
    void PrepareByteTexts() const;
    const QStaticText& DigitsText(std::uint8_t byte) const;
    const QStaticText& CharacterText(std::uint8_t byte) const;
    std::size_t ByteCount() const { return model_ != nullptr ? model_->size() : 0; }
    void ModelChanged(BufferModel::Change change);
    bool HistoryForKey(const QKeyEvent& event);
    bool MoveForKey(const QKeyEvent& event);
    bool TypeForKey(const QKeyEvent& event);
    void EditNibble(int value);
    void EditCharacter(std::uint8_t value);
    void FitRowWidth();
    void MoveCursor(std::ptrdiff_t delta);

    const BufferModel* model_ = nullptr;
    // Tells this view of the model's changes while both live.
    std::shared_ptr<HexView*> observerToken_;
    HexLayout layout_;
    std::uint32_t addressBase_ = 0;
    std::size_t cursor_ = 0;
    bool lowNibble_ = false;
    bool inCharacters_ = false;
    std::size_t lastPaintedRows_ = 0;
    bool rowWidthFollowsView_ = false;
    mutable std::vector<QStaticText> byteTexts_;  // digits of 0..255, then their characters
};

}  // namespace korvan
