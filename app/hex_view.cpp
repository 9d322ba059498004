#include "app/hex_view.h"

#include <QFontDatabase>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace korvan {

namespace {

constexpr int kRowsInSizeHint = 16;
// Bright enough to find a single differing byte at a glance, light enough for black digits.
const QColor kMarkBackground(0xFF, 0x8A, 0x80);
const QColor kMarkText(Qt::black);
// Edited bytes not yet taken: dark blue digits, readable on the base and the mark colour.
const QColor kEditedText(0x00, 0x3C, 0xC8);

int HexDigitValue(QChar character) {
    const char16_t c = character.unicode();
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    UpdateScrollBars();
}

void HexView::SetModel(const BufferModel* model) {
    observerToken_ = std::make_shared<HexView*>(this);
    model_ = model;
    if (model_ != nullptr) {
        model_->AddObserver(
            [token = std::weak_ptr<HexView*>(observerToken_)](BufferModel::Change change) {
                if (const std::shared_ptr<HexView*> view = token.lock()) {
                    (*view)->ModelChanged(change);
                }
            });
    }
    ModelChanged(BufferModel::Change::Replaced);
}

void HexView::ModelChanged(BufferModel::Change change) {
    switch (change) {
        case BufferModel::Change::Replaced:
            cursor_ = 0;
            lowNibble_ = false;
            UpdateAddressDigits();
            UpdateScrollBars();
            emit differencesChanged(DifferenceCount());
            emit editsChanged(HasEdits());
            break;
        case BufferModel::Change::Edits: emit editsChanged(HasEdits()); break;
        case BufferModel::Change::Differences: emit differencesChanged(DifferenceCount()); break;
        case BufferModel::Change::Bytes: break;
    }
    viewport()->update();
}

void HexView::SetAddressBase(std::uint32_t base) {
    addressBase_ = base;
    UpdateAddressDigits();
    UpdateScrollBars();
    viewport()->update();
}

void HexView::SetBytesPerRow(int count) {
    layout_.bytesPerRow = std::max(count, 1);
    UpdateScrollBars();
    ScrollToCursor();
    viewport()->update();
}

void HexView::SetRowWidthFollowsView(bool follows) {
    rowWidthFollowsView_ = follows;
    FitRowWidth();
}

void HexView::FitRowWidth() {
    if (!rowWidthFollowsView_) return;
    constexpr int kWideRow = 16;
    constexpr int kNarrowRow = 8;
    HexLayout wide = layout_;
    wide.bytesPerRow = kWideRow;
    const int wideWidth = wide.RowCells() * CellWidth() + 2 * kMarginPixels;
    const int count = viewport()->width() >= wideWidth ? kWideRow : kNarrowRow;
    if (count != layout_.bytesPerRow) SetBytesPerRow(count);
}

void HexView::AskForAddress() {
    auto* ask = new QInputDialog(this);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowTitle(QStringLiteral("Go to Address"));
    ask->setLabelText(QStringLiteral("Address (hexadecimal):"));
    ask->setTextValue(QString::fromStdString(AddressText(static_cast<std::uint32_t>(addressBase_ + cursor_), layout_.addressDigits)));
    connect(ask, &QInputDialog::textValueSelected, this, [this](const QString& text) { GoToAddress(text); });
    ask->open();
}

bool HexView::GoToAddress(const QString& address) {
    QString digits = address.trimmed();
    if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) digits = digits.mid(2);
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (!ok || value < addressBase_ || value - addressBase_ >= ByteCount()) return false;
    SetCursorOffset(static_cast<std::size_t>(value - addressBase_));
    return true;
}

void HexView::SetCursorOffset(std::size_t offset) {
    cursor_ = ByteCount() == 0 ? 0 : std::min(offset, ByteCount() - 1);
    lowNibble_ = false;
    ScrollToCursor();
    viewport()->update();
}

bool HexView::GoToNextDifference() {
    const std::optional<std::size_t> next = model_ != nullptr ? model_->NextDifference(cursor_) : std::nullopt;
    if (next) SetCursorOffset(*next);
    return next.has_value();
}

bool HexView::GoToPreviousDifference() {
    const std::optional<std::size_t> previous = model_ != nullptr ? model_->PreviousDifference(cursor_) : std::nullopt;
    if (previous) SetCursorOffset(*previous);
    return previous.has_value();
}

QSize HexView::sizeHint() const {
    const int frame = 2 * frameWidth();
    const int width = layout_.RowCells() * CellWidth() + 2 * kMarginPixels + verticalScrollBar()->sizeHint().width();
    return {width + frame, kRowsInSizeHint * RowHeight() + frame};
}

int HexView::CellWidth() const { return std::max(fontMetrics().horizontalAdvance(QLatin1Char('0')), 1); }

int HexView::RowHeight() const { return std::max(fontMetrics().height(), 1); }

int HexView::WholeRowsInSight() const { return std::max(viewport()->height() / RowHeight(), 1); }

std::size_t HexView::TopRow() const { return static_cast<std::size_t>(verticalScrollBar()->value()); }

void HexView::UpdateAddressDigits() {
    const std::uint64_t highest = std::uint64_t{addressBase_} + std::max<std::size_t>(ByteCount(), 1) - 1;
    int digits = 4;
    while (digits < 8 && (highest >> (4 * digits)) != 0) ++digits;
    layout_.addressDigits = digits;
}

void HexView::UpdateScrollBars() {
    const int rows = layout_.RowCount(ByteCount());
    const int wholeRows = WholeRowsInSight();
    verticalScrollBar()->setRange(0, std::max(rows - wholeRows, 0));
    verticalScrollBar()->setPageStep(wholeRows);
    verticalScrollBar()->setSingleStep(1);

    const int contentWidth = layout_.RowCells() * CellWidth() + 2 * kMarginPixels;
    horizontalScrollBar()->setRange(0, std::max(contentWidth - viewport()->width(), 0));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(CellWidth());
}

void HexView::ScrollToCursor() {
    const std::size_t row = layout_.RowOf(cursor_);
    const std::size_t top = TopRow();
    const auto wholeRows = static_cast<std::size_t>(WholeRowsInSight());
    if (row < top) {
        verticalScrollBar()->setValue(static_cast<int>(row));
    } else if (row >= top + wholeRows) {
        verticalScrollBar()->setValue(static_cast<int>(row + 1 - wholeRows));
    }
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    const int rowHeight = RowHeight();
    const auto rows = static_cast<std::size_t>(layout_.RowCount(ByteCount()));
    const RowSpan span = VisibleRows(static_cast<int>(TopRow()) * rowHeight, viewport()->height(), rowHeight, rows);
    for (std::size_t i = 0; i < span.count; ++i) {
        PaintRow(painter, span.first + i, static_cast<int>(i) * rowHeight);
    }
    lastPaintedRows_ = span.count;
}

void HexView::PaintRow(QPainter& painter, std::size_t row, int top) const {
    const int left = kMarginPixels - horizontalScrollBar()->value();
    const auto perRow = static_cast<std::size_t>(layout_.bytesPerRow);
    const std::size_t first = row * perRow;
    const auto address = static_cast<std::uint32_t>(addressBase_ + first);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(left, top + fontMetrics().ascent(),
                     QString::fromStdString(AddressText(address, layout_.addressDigits)));
    const std::size_t end = std::min(first + perRow, ByteCount());
    for (std::size_t offset = first; offset < end; ++offset) PaintByte(painter, offset, left, top);
}

void HexView::PaintByte(QPainter& painter, std::size_t offset, int left, int top) const {
    const int cell = CellWidth();
    const int height = RowHeight();
    const int baseline = top + fontMetrics().ascent();
    const int column = layout_.ColumnOf(offset);
    const QRect hexRect(left + layout_.HexColumn(column) * cell, top, 2 * cell, height);
    const QRect charRect(left + layout_.CharColumn(column) * cell, top, cell, height);
    const bool marked = model_->IsMarked(offset);
    if (marked) {
        painter.fillRect(hexRect, kMarkBackground);
        painter.fillRect(charRect, kMarkBackground);
    }
    const bool atCursor = offset == cursor_;
    if (atCursor) {
        // A filled block where typing goes, a frame round the same byte in the other part.
        const QRect nibbleRect(hexRect.left() + (lowNibble_ ? cell : 0), top, cell, height);
        const QRect typingRect = inCharacters_ ? charRect : nibbleRect;
        const QRect otherRect = inCharacters_ ? hexRect : charRect;
        if (hasFocus()) {
            painter.fillRect(typingRect, palette().color(QPalette::Highlight));
        } else {
            painter.setPen(palette().color(QPalette::Highlight));
            painter.drawRect(typingRect.adjusted(0, 0, -1, -1));
        }
        painter.setPen(palette().color(QPalette::Text));
        painter.drawRect(otherRect.adjusted(0, 0, -1, -1));
    }
    const QColor textColour = model_->IsUnwritten(offset) ? kEditedText : marked ? kMarkText : palette().color(QPalette::Text);
    const std::uint8_t byte = model_->At(offset);
    const bool typingHere = atCursor && hasFocus();
    if (typingHere && !inCharacters_) {
        const QString digits = QString::fromStdString(AddressText(byte, 2));
        for (int nibble = 0; nibble < 2; ++nibble) {
            const bool highlighted = lowNibble_ == (nibble == 1);
            painter.setPen(highlighted ? palette().color(QPalette::HighlightedText) : textColour);
            painter.drawText(hexRect.left() + nibble * cell, baseline, digits.mid(nibble, 1));
        }
    } else {
        painter.setPen(textColour);
        painter.drawStaticText(hexRect.topLeft(), DigitsText(byte));
    }
    painter.setPen(typingHere && inCharacters_ ? palette().color(QPalette::HighlightedText) : textColour);
    painter.drawStaticText(charRect.topLeft(), CharacterText(byte));
}

void HexView::PrepareByteTexts() const {
    if (!byteTexts_.empty()) return;
    byteTexts_.reserve(512);
    for (int value = 0; value < 256; ++value) {
        byteTexts_.emplace_back(QString::fromStdString(AddressText(static_cast<std::uint32_t>(value), 2)));
    }
    for (int value = 0; value < 256; ++value) {
        byteTexts_.emplace_back(QString(QLatin1Char(PrintableChar(static_cast<std::uint8_t>(value)))));
    }
    for (QStaticText& text : byteTexts_) {
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), font());
    }
}

const QStaticText& HexView::DigitsText(std::uint8_t byte) const {
    PrepareByteTexts();
    return byteTexts_[byte];
}

const QStaticText& HexView::CharacterText(std::uint8_t byte) const {
    PrepareByteTexts();
    return byteTexts_[256u + byte];
}

void HexView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_G && event->modifiers() == Qt::ControlModifier) {
        AskForAddress();
        event->accept();
        return;
    }
    if (ByteCount() != 0 && (HistoryForKey(*event) || MoveForKey(*event) || TypeForKey(*event))) {
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool HexView::HistoryForKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Z && modifiers == Qt::ControlModifier) {
        emit undoRequested();
        return true;
    }
    const bool redo = (event.key() == Qt::Key_Y && modifiers == Qt::ControlModifier) ||
                      (event.key() == Qt::Key_Z && modifiers == (Qt::ControlModifier | Qt::ShiftModifier));
    if (redo) emit redoRequested();
    return redo;
}

bool HexView::MoveForKey(const QKeyEvent& event) {
    const auto perRow = static_cast<std::ptrdiff_t>(layout_.bytesPerRow);
    const auto perPage = perRow * WholeRowsInSight();
    const bool wholeImage = event.modifiers() & Qt::ControlModifier;
    const auto column = static_cast<std::ptrdiff_t>(layout_.ColumnOf(cursor_));
    switch (event.key()) {
    case Qt::Key_Left: MoveCursor(-1); return true;
    case Qt::Key_Right: MoveCursor(1); return true;
    case Qt::Key_Up: MoveCursor(-perRow); return true;
    case Qt::Key_Down: MoveCursor(perRow); return true;
    case Qt::Key_PageUp: MoveCursor(-perPage); return true;
    case Qt::Key_PageDown: MoveCursor(perPage); return true;
    case Qt::Key_Home:
        if (wholeImage) SetCursorOffset(0); else MoveCursor(-column);
        return true;
    case Qt::Key_End:
        if (wholeImage) SetCursorOffset(ByteCount() - 1); else MoveCursor(perRow - 1 - column);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        inCharacters_ = !inCharacters_;
        lowNibble_ = false;
        viewport()->update();
        return true;
    default: return false;
    }
}

bool HexView::TypeForKey(const QKeyEvent& event) {
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = event.text();
    if (text.size() != 1) return false;
    const QChar typed = text.front();
    if (inCharacters_) {
        if (typed.unicode() < 0x20 || typed.unicode() >= 0x7F) return false;
        EditCharacter(static_cast<std::uint8_t>(typed.unicode()));
        return true;
    }
    const int value = HexDigitValue(typed);
    if (value < 0) return false;
    EditNibble(value);
    return true;
}

void HexView::EditNibble(int value) {
    const std::uint8_t byte = model_->At(cursor_);
    const auto nibble = static_cast<std::uint8_t>(value);
    const auto typed = lowNibble_ ? static_cast<std::uint8_t>((byte & 0xF0) | nibble)
                                  : static_cast<std::uint8_t>((nibble << 4) | (byte & 0x0F));
    emit editRequested(static_cast<quint32>(cursor_), {typed});
    if (!lowNibble_) {
        lowNibble_ = true;
        viewport()->update();
    } else {
        MoveCursor(1);  // also back to the high digit, on the last byte too
    }
}

void HexView::EditCharacter(std::uint8_t value) {
    emit editRequested(static_cast<quint32>(cursor_), {value});
    MoveCursor(1);
}

void HexView::MoveCursor(std::ptrdiff_t delta) {
    const auto last = static_cast<std::ptrdiff_t>(ByteCount()) - 1;
    const auto target = std::clamp(static_cast<std::ptrdiff_t>(cursor_) + delta, std::ptrdiff_t{0}, std::max(last, std::ptrdiff_t{0}));
    SetCursorOffset(static_cast<std::size_t>(target));
}

void HexView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const int fromLeft = at.x() - kMarginPixels + horizontalScrollBar()->value();
    if (fromLeft < 0 || at.y() < 0) return;
    const auto hit = layout_.HitTest(fromLeft / CellWidth());
    if (!hit) return;
    const std::size_t row = TopRow() + static_cast<std::size_t>(at.y() / RowHeight());
    const std::size_t offset = row * static_cast<std::size_t>(layout_.bytesPerRow) + static_cast<std::size_t>(hit->column);
    if (offset >= ByteCount()) return;
    SetCursorOffset(offset);
    if (hit->part != HexLayout::Part::Address) inCharacters_ = hit->part == HexLayout::Part::Characters;
    lowNibble_ = false;  // typing after a click replaces the whole byte, whichever digit was hit
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    FitRowWidth();
    UpdateScrollBars();
}

void HexView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void HexView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

bool HexView::focusNextPrevChild(bool) { return false; }

void HexView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    byteTexts_.clear();
    UpdateScrollBars();
    viewport()->update();
}

}  // namespace korvan
