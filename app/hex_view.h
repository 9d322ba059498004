#pragma once

#include <QAbstractScrollArea>
#include <QStaticText>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/hex_layout.h"

class QPainter;

namespace korvan {

// A whole memory image, `bytesPerRow` bytes a row with their address and characters. Only
// the rows in sight are painted, so a 64 KiB image scrolls as fast as a short one.
//
// The operator edits in place: a click puts the cursor on a byte, ready for its high digit; arrows, Page Up/Down, Home/End (Ctrl for the whole image) move
// the cursor; hexadecimal digits overwrite the byte under the cursor nibble by nibble in the
// hexadecimal part, any printable character overwrites it in the character part; Tab switches
// between the parts. The view keeps its own copy of the bytes.
//
// After a comparison it can mark the bytes that differ from a reference, count them and move
// the cursor from one difference to the next; an edit marks or unmarks its byte again.
//
// Bytes the operator edited since the view was loaded show in another colour until the
// owner takes them (ClearEdits).
class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    // Blank pixels left of the address column.
    static constexpr int kMarginPixels = 4;

    // Copies the bytes; the cursor and the marks are cleared, the scroll position kept.
    void SetData(const std::uint8_t* bytes, std::size_t length);
    const std::vector<std::uint8_t>& Data() const { return bytes_; }
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

    // Marks every byte that differs from `reference` (bytes beyond its end differ).
    void MarkDifferences(const std::vector<std::uint8_t>& reference);
    void ClearDifferences();
    std::size_t DifferenceCount() const { return differenceCount_; }
    // True from a comparison until the marks are cleared, even when nothing differed.
    bool HasMarks() const { return !marks_.empty(); }
    bool IsMarked(std::size_t offset) const;
    // Moves the cursor to the next (previous) marked byte after (before) it, wrapping round;
    // false when nothing is marked.
    bool GoToNextDifference();
    bool GoToPreviousDifference();

    bool HasEdits() const { return editCount_ > 0; }
    bool IsEdited(std::size_t offset) const { return offset < edited_.size() && edited_[offset] != 0; }
    void ClearEdits();

    // Rows painted by the last paint: the test of "only what is in sight".
    std::size_t lastPaintedRows() const { return lastPaintedRows_; }

    // Wide enough for a whole row beside the vertical scroll bar.
    QSize sizeHint() const override;

signals:
    // The operator changed a byte.
    void bytesEdited();
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
    bool MoveForKey(const QKeyEvent& event);
    bool TypeForKey(const QKeyEvent& event);
    void EditNibble(int value);
    void EditCharacter(std::uint8_t value);
    void FitRowWidth();
    void MoveCursor(std::ptrdiff_t delta);
    // After the byte at `offset` changed: its edit flag and its difference mark.
    void NoteEdit(std::size_t offset);

    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> marks_;  // one flag a byte: a byte each keeps the comparison loop fast
    std::size_t differenceCount_ = 0;
    std::vector<std::uint8_t> reference_;  // what the marks compare with
    std::vector<std::uint8_t> edited_;  // one flag a byte, empty before the first edit
    std::size_t editCount_ = 0;
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
