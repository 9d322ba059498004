#include "app/last_file_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

namespace korvan {

LastFileDialog::LastFileDialog(const std::string& programDir, QWidget* parent)
    : QFileDialog(parent), recentFiles_(programDir) {
    // Qt's own dialog: the platform's cannot take the list.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters({QStringLiteral("Intel Hex File(*.hex)"), QStringLiteral("Binary File(*.bin)"),
                    QStringLiteral("All Files(*)")});
    setDefaultSuffix(QStringLiteral("hex"));
    setWindowTitle(QStringLiteral("Open"));
    AddRecentList();
    connect(this, &QFileDialog::fileSelected, this, &LastFileDialog::OnFileSelected);
}

void LastFileDialog::AddRecentList() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    recentList_ = new QListWidget(this);
    recentList_->setObjectName(QStringLiteral("recentFiles"));
    recentList_->setMinimumHeight(recentList_->fontMetrics().height() * 6);
    auto* caption = new QLabel(QStringLiteral("Recent Files"), this);
    caption->setBuddy(recentList_);
    if (grid != nullptr) {
        const int row = grid->rowCount();
        grid->addWidget(caption, row, 0, 1, grid->columnCount());
        grid->addWidget(recentList_, row + 1, 0, 1, grid->columnCount());
    }
    connect(recentList_, &QListWidget::itemDoubleClicked, this, &LastFileDialog::OnRecentDoubleClicked);
}

void LastFileDialog::OpenWithRecentFiles() {
    recentFiles_.LoadList();
    FillRecentList();
    open();
}

void LastFileDialog::FillRecentList() {
    recentList_->clear();
    for (const std::string& entry : recentFiles_.entries()) {
        recentList_->insertItem(0, QString::fromStdString(entry));
    }
}

void LastFileDialog::OnFileSelected(const QString& file) { Choose(file.toStdString()); }

void LastFileDialog::OnRecentDoubleClicked(QListWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    const std::string path = item->text().toStdString();
    QDialog::done(QDialog::Accepted);  // closes without choosing the file the dialog has selected
    Choose(path);
}

void LastFileDialog::Choose(const std::string& path) {
    recentFiles_.AddPath(path);
    recentFiles_.SaveList();
    emit pathChosen(QString::fromStdString(recentFiles_.GetSelectedPath()));
}

}  // namespace korvan
