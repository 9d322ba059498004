#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <string>
#include <vector>

namespace korvan {

// The Status list's lines. Inserting a batch is one model change, so sixty thousand
// verification lines arrive as one.
class StatusListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // `index` past the end appends.
    void Insert(int index, const std::string& line);
    void InsertMany(int firstIndex, std::vector<std::string> lines);
    void Clear();
    const std::string& Line(int row) const { return lines_[static_cast<std::size_t>(row)]; }

private:
    int Clamp(int index) const;

    std::vector<std::string> lines_;
};

// The list itself, lines selectable as a range: rows of one height, so the view never measures every line; selecting a
// line scrolls it into sight at the same cost however long the list is.
//
// A list view lays out every row again after each insertion, even with uniform sizes; here
// the geometry is plain arithmetic on the row number instead, so adding a line costs the same
// at ten lines and at sixty thousand. The scroll bar counts rows.
class StatusList : public QListView {
    Q_OBJECT
public:
    explicit StatusList(QWidget* parent = nullptr);

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;

    StatusListModel& lines() { return model_; }
    const StatusListModel& lines() const { return model_; }
    // Selects row `index` and scrolls to it; nothing for a row that does not exist.
    void Select(int index);
    int SelectedRow() const;
    // The selected lines, in list order, one a line; all lines, for saving the list.
    QString SelectedText() const;
    QString AllText() const;

signals:
    // The operator asked to save the list to a file (its context menu).
    void saveRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Ctrl+C copies the selected lines.
    void keyPressEvent(QKeyEvent* event) override;
    // Copy and Save, instead of the window's menu.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

private:
    int RowHeight() const;
    int TopRow() const;
    int WholeRowsInSight() const;
    int RowAt(int y) const;
    QStyleOptionViewItem OptionForRow(const QStyleOptionViewItem& base, const QModelIndex& index) const;

    StatusListModel model_;
    mutable int rowHeight_ = 0;  // measured on the first line, then the same for all
};

}  // namespace korvan
