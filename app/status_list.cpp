#include "app/status_list.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <iterator>

namespace korvan {

int StatusListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant StatusListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const std::string& line = lines_[static_cast<std::size_t>(index.row())];
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

void StatusListModel::Insert(int index, const std::string& line) {
    const int row = Clamp(index);
    beginInsertRows(QModelIndex(), row, row);
    lines_.insert(lines_.begin() + row, line);
    endInsertRows();
}

void StatusListModel::InsertMany(int firstIndex, std::vector<std::string> lines) {
    if (lines.empty()) return;
    const int first = Clamp(firstIndex);
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
    lines_.insert(lines_.begin() + first, std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    endInsertRows();
}

void StatusListModel::Clear() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

int StatusListModel::Clamp(int index) const { return std::clamp(index, 0, rowCount()); }

StatusList::StatusList(QWidget* parent) : QListView(parent) {
    setModel(&model_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QRect StatusList::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != &model_) return {};
    return {0, (index.row() - TopRow()) * RowHeight(), viewport()->width(), RowHeight()};
}

QModelIndex StatusList::indexAt(const QPoint& point) const {
    const int row = RowAt(point.y());
    return row >= 0 && row < model_.rowCount() ? model_.index(row) : QModelIndex();
}

void StatusList::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) return;
    executeDelayedItemsLayout();  // a line inserted just now widens the scroll range first
    const int row = index.row();
    const int top = TopRow();
    const int wholeRows = WholeRowsInSight();
    switch (hint) {
    case PositionAtTop: verticalScrollBar()->setValue(row); break;
    case PositionAtBottom: verticalScrollBar()->setValue(row - wholeRows + 1); break;
    case PositionAtCenter: verticalScrollBar()->setValue(row - wholeRows / 2); break;
    case EnsureVisible:
        if (row < top) {
            verticalScrollBar()->setValue(row);
        } else if (row >= top + wholeRows) {
            verticalScrollBar()->setValue(row - wholeRows + 1);
        }
        break;
    }
}

// Nothing to measure row by row: only the scroll bars follow the row count.
void StatusList::doItemsLayout() { QAbstractItemView::doItemsLayout(); }

void StatusList::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    const int rows = model_.rowCount();
    const int last = std::min(TopRow() + WholeRowsInSight() + 1, rows);
    for (int row = std::max(TopRow(), 0); row < last; ++row) {
        const QModelIndex index = model_.index(row);
        const QStyleOptionViewItem option = OptionForRow(base, index);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

QStyleOptionViewItem StatusList::OptionForRow(const QStyleOptionViewItem& base, const QModelIndex& index) const {
    QStyleOptionViewItem option = base;
    option.rect = visualRect(index);
    if (selectionModel()->isSelected(index)) option.state |= QStyle::State_Selected;
    if (hasFocus() && index == currentIndex()) option.state |= QStyle::State_HasFocus;
    return option;
}

void StatusList::scrollContentsBy(int dx, int dy) { viewport()->scroll(dx, dy * RowHeight()); }

void StatusList::updateGeometries() {
    const int wholeRows = WholeRowsInSight();
    verticalScrollBar()->setRange(0, std::max(model_.rowCount() - wholeRows, 0));
    verticalScrollBar()->setPageStep(wholeRows);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

int StatusList::horizontalOffset() const { return 0; }

int StatusList::verticalOffset() const { return TopRow() * RowHeight(); }

QModelIndex StatusList::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const int rows = model_.rowCount();
    if (rows == 0) return {};
    const int current = currentIndex().isValid() ? currentIndex().row() : 0;
    int target = current;
    switch (action) {
    case MoveUp:
    case MovePrevious: target = current - 1; break;
    case MoveDown:
    case MoveNext: target = current + 1; break;
    case MovePageUp: target = current - WholeRowsInSight(); break;
    case MovePageDown: target = current + WholeRowsInSight(); break;
    case MoveHome: target = 0; break;
    case MoveEnd: target = rows - 1; break;
    case MoveLeft:
    case MoveRight: break;
    }
    return model_.index(std::clamp(target, 0, rows - 1));
}

void StatusList::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) {
    const int rows = model_.rowCount();
    if (rows == 0) return;
    const QRect area = rect.normalized();
    const int first = std::clamp(RowAt(area.top()), 0, rows - 1);
    const int last = std::clamp(RowAt(area.bottom()), 0, rows - 1);
    selectionModel()->select(QItemSelection(model_.index(first), model_.index(last)), flags);
}

QRegion StatusList::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int top = TopRow();
    const int bottom = top + WholeRowsInSight();
    for (const QItemSelectionRange& range : selection) {
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first > last) continue;
        region += QRect(0, (first - top) * RowHeight(), viewport()->width(), (last - first + 1) * RowHeight());
    }
    return region;
}

int StatusList::RowHeight() const {
    if (rowHeight_ > 0) return rowHeight_;
    if (model_.rowCount() == 0) return std::max(fontMetrics().height(), 1);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex first = model_.index(0);
    rowHeight_ = std::max(itemDelegateForIndex(first)->sizeHint(option, first).height(), 1);
    return rowHeight_;
}

int StatusList::TopRow() const { return verticalScrollBar()->value(); }

int StatusList::WholeRowsInSight() const { return std::max(viewport()->height() / RowHeight(), 1); }

int StatusList::RowAt(int y) const { return y < 0 ? -1 : TopRow() + y / RowHeight(); }

void StatusList::Select(int index) {
    if (index < 0 || index >= model_.rowCount()) return;
    const QModelIndex line = model_.index(index);
    selectionModel()->setCurrentIndex(line, QItemSelectionModel::ClearAndSelect);
    scrollTo(line);
}

QString StatusList::SelectedText() const {
    QModelIndexList selected = selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& line : selected) {
        lines << QString::fromStdString(model_.Line(line.row()));
    }
    return lines.join(QLatin1Char('\n'));
}

QString StatusList::AllText() const {
    QString text;
    for (int row = 0; row < model_.rowCount(); ++row) {
        text += QString::fromStdString(model_.Line(row)) + QLatin1Char('\n');
    }
    return text;
}

void StatusList::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(SelectedText());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void StatusList::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QStringLiteral("&Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(selectionModel()->hasSelection());
    QAction* save = menu->addAction(QStringLiteral("&Save Status List..."));
    save->setShortcut(QKeySequence::Save);
    connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(SelectedText()); });
    connect(save, &QAction::triggered, this, &StatusList::saveRequested);
    menu->popup(event->globalPos());  // without waiting: the reports go on being handled
    event->accept();
}

int StatusList::SelectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

}  // namespace korvan
