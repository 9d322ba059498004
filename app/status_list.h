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

// The list itself: rows of one height, so the view never measures every line; selecting a
// line scrolls it into sight at the same cost however long the list is.
class StatusList : public QListView {
    Q_OBJECT
public:
    explicit StatusList(QWidget* parent = nullptr);

    StatusListModel& lines() { return model_; }
    const StatusListModel& lines() const { return model_; }
    // Selects row `index` and scrolls to it; nothing for a row that does not exist.
    void Select(int index);
    int SelectedRow() const;

private:
    StatusListModel model_;
};

}  // namespace korvan
