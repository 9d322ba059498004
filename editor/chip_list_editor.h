#pragma once

#include <QAbstractTableModel>
#include <QMainWindow>
#include <string>
#include <vector>

#include "engine/catalogue_edit.h"

class QLabel;
class QTableView;

namespace korvan {

// The records of a chip catalogue being edited, one row each, columns Name, Code, ROM (KiB),
// Voltage and Signature. Cells edit in place; a value the catalogue reader could not use is
// refused, the record keeps its old value and problemChanged names the field.
class ChipListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ChipListModel(QObject* parent = nullptr);

    // Replaces every row; the list then counts as saved.
    void SetRecords(std::vector<ChipRecord> records);
    const std::vector<ChipRecord>& records() const { return records_; }
    bool modified() const { return modified_; }
    void MarkSaved() { modified_ = false; }

    // Appends a valid placeholder chip to be edited; returns its row.
    int AddRecord();
    // Moves a row one place up (-1) or down (+1); false at either end.
    bool MoveRecord(int row, int step);
    void RemoveRecord(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // Why the last edit was refused; empty after an accepted one.
    void problemChanged(const QString& problem);

private:
    std::vector<ChipRecord> records_;
    bool modified_ = false;
};

// "Tessaly": edits ChipList.chip of a program directory and saves it atomically. Closing with
// unsaved changes asks first.
class ChipListEditor final : public QMainWindow {
    Q_OBJECT
public:
    // Reads the catalogue at `readPath` and saves it to `savePath` (the same file unless the
    // program directory is not the user's to write).
    ChipListEditor(const std::string& readPath, const std::string& savePath, QWidget* parent = nullptr);

    ChipListModel& model() { return model_; }
    QTableView* table() const { return table_; }
    // What the status line shows: the last refusal or save result.
    QString statusText() const;
    const std::string& path() const { return path_; }

    // Reads the file again, dropping unsaved changes.
    void Reload();
    // False, with the reason shown, when a record is refused or the file cannot be written.
    bool Save();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AddToolButtons();
    void AddChip();
    void MoveSelected(int step);
    void RemoveSelected();
    int SelectedRow() const;
    void SelectRow(int row);
    void ShowStatus(const QString& text);
    // Asks whether unsaved changes may be saved or dropped; false to keep the window open.
    bool MayClose();

    std::string path_;
    std::string savePath_;
    ChipListModel model_;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace korvan
