#include "editor/chip_list_editor.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace korvan {
namespace {

constexpr ChipField kColumns[kChipFieldCount] = {ChipField::kName, ChipField::kChipCode, ChipField::kRomSize,
                                                 ChipField::kVoltage, ChipField::kSignature};
constexpr const char* kColumnTitles[kChipFieldCount] = {"Name", "Code", "ROM (KiB)", "Voltage", "Signature"};

ChipRecord NewChip() {
    ChipRecord record;
    record.name = "New chip";
    record.chipCode = 2;
    record.romSizeKiB = 4;
    record.programmingVoltage = 5.0F;
    return record;
}

QString DisplayText(const ChipRecord& record, ChipField field) {
    if (field == ChipField::kVoltage) {
        return QString::number(static_cast<double>(record.programmingVoltage), 'f', 2);
    }
    return QString::fromStdString(FormatChipField(record, field));
}

}  // namespace

ChipListModel::ChipListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ChipListModel::SetRecords(std::vector<ChipRecord> records) {
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
    modified_ = false;
}

int ChipListModel::AddRecord() {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    records_.push_back(NewChip());
    endInsertRows();
    modified_ = true;
    return row;
}

bool ChipListModel::MoveRecord(int row, int step) {
    const int target = row + step;
    if (row < 0 || row >= rowCount() || target < 0 || target >= rowCount() || step == 0) {
        return false;
    }
    // Qt names the destination as the row the moved one goes before.
    beginMoveRows({}, row, row, {}, step > 0 ? target + 1 : target);
    std::swap(records_[static_cast<std::size_t>(row)], records_[static_cast<std::size_t>(target)]);
    endMoveRows();
    modified_ = true;
    return true;
}

void ChipListModel::RemoveRecord(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    beginRemoveRows({}, row, row);
    records_.erase(records_.begin() + row);
    endRemoveRows();
    modified_ = true;
}

int ChipListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int ChipListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kChipFieldCount; }

QVariant ChipListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const ChipRecord& record = records_[static_cast<std::size_t>(index.row())];
    const ChipField field = kColumns[index.column()];
    if (role == Qt::EditRole) {
        return QString::fromStdString(FormatChipField(record, field));
    }
    return DisplayText(record, field);
}

QVariant ChipListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section < kChipFieldCount ? QString(kColumnTitles[section]) : QVariant();
    }
    return section;  // the catalogue index the main program selects the chip by
}

Qt::ItemFlags ChipListModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool ChipListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    ChipRecord& record = records_[static_cast<std::size_t>(index.row())];
    const ChipField field = kColumns[index.column()];
    if (const auto problem = ParseChipField(value.toString().toStdString(), field, record)) {
        emit problemChanged(QString::fromStdString("Chip " + std::to_string(index.row()) + ": " + problem->message));
        return false;
    }
    modified_ = true;
    emit dataChanged(index, index);
    emit problemChanged({});
    return true;
}

ChipListEditor::ChipListEditor(const std::string& readPath, const std::string& savePath, QWidget* parent)
    : QMainWindow(parent), path_(readPath), savePath_(savePath) {
    setWindowTitle("Tessaly");
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    table_ = new QTableView(central);
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    status_ = new QLabel(central);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    setCentralWidget(central);
    AddToolButtons();
    connect(&model_, &ChipListModel::problemChanged, this, &ChipListEditor::ShowStatus);
    Reload();
    resize(640, 420);
}

void ChipListEditor::AddToolButtons() {
    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](const char* title) {
        auto* button = new QPushButton(title, centralWidget());
        buttons->addWidget(button);
        return button;
    };
    connect(addButton("Add"), &QPushButton::clicked, this, &ChipListEditor::AddChip);
    connect(addButton("Edit"), &QPushButton::clicked, this, [this] {
        if (table_->currentIndex().isValid()) {
            table_->edit(table_->currentIndex());
        }
    });
    connect(addButton("Move Up"), &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(addButton("Move Down"), &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(addButton("Remove"), &QPushButton::clicked, this, &ChipListEditor::RemoveSelected);
    buttons->addStretch();
    connect(addButton("Save"), &QPushButton::clicked, this, &ChipListEditor::Save);
    static_cast<QVBoxLayout*>(centralWidget()->layout())->insertLayout(0, buttons);
}

QString ChipListEditor::statusText() const { return status_->text(); }

void ChipListEditor::Reload() {
    ChipCatalogue catalogue;
    const bool read = catalogue.Load(path_);
    model_.SetRecords(catalogue.records());
    ShowStatus(read ? QString("%1 chips in %2").arg(catalogue.size()).arg(QString::fromStdString(path_))
                    : QString("No %1: Save makes it").arg(QString::fromStdString(path_)));
}

bool ChipListEditor::Save() {
    if (const std::string problem = SaveChipCatalogue(savePath_, model_.records()); !problem.empty()) {
        ShowStatus(QString::fromStdString("Not saved: " + problem));
        return false;
    }
    model_.MarkSaved();
    path_ = savePath_;  // the saved copy is the one read from now on
    ShowStatus(QString("Saved %1 chips to %2").arg(model_.rowCount()).arg(QString::fromStdString(path_)));
    return true;
}

void ChipListEditor::closeEvent(QCloseEvent* event) {
    if (MayClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool ChipListEditor::MayClose() {
    if (!model_.modified()) {
        return true;
    }
    const auto answer = QMessageBox::question(this, "Tessaly", "Save the changes to the chip list?",
                                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                              QMessageBox::Save);
    if (answer == QMessageBox::Save) {
        return Save();
    }
    return answer == QMessageBox::Discard;
}

void ChipListEditor::AddChip() {
    const int row = model_.AddRecord();
    SelectRow(row);
    table_->edit(model_.index(row, 0));
}

void ChipListEditor::MoveSelected(int step) {
    const int row = SelectedRow();
    if (model_.MoveRecord(row, step)) {
        SelectRow(row + step);
    }
}

void ChipListEditor::RemoveSelected() {
    const int row = SelectedRow();
    model_.RemoveRecord(row);
    SelectRow(std::min(row, model_.rowCount() - 1));
}

int ChipListEditor::SelectedRow() const { return table_->currentIndex().isValid() ? table_->currentIndex().row() : -1; }

void ChipListEditor::SelectRow(int row) {
    if (row >= 0) {
        table_->setCurrentIndex(model_.index(row, 0));
    }
}

void ChipListEditor::ShowStatus(const QString& text) { status_->setText(text); }

}  // namespace korvan
