#include "app/last_file_dialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "app/focus_ring.h"

namespace korvan {

LastFileDialog::LastFileDialog(const RecentFiles& recentFiles, QWidget* parent)
    : QFileDialog(parent), recentFiles_(recentFiles) {
    // Qt's own dialog: the platform's cannot take the list.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters({QStringLiteral("Intel Hex File(*.hex)"), QStringLiteral("Binary File(*.bin)"),
                    QStringLiteral("All Files(*)")});
    setDefaultSuffix(QStringLiteral("hex"));
    setWindowTitle(QStringLiteral("Open"));
    nameField_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    AddRecentList();
    new FocusRing(*this);
    connect(this, &QFileDialog::fileSelected, this, [this](const QString& file) { emit pathChosen(file); });
    connect(this, &QFileDialog::currentChanged, this, [this] { recentHighlighted_ = false; });
    if (nameField_ != nullptr) {
        connect(nameField_, &QLineEdit::textEdited, this, [this] { recentHighlighted_ = false; });
    }
}

void LastFileDialog::AddRecentList() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    recentList_ = new QListWidget(this);
    recentList_->setObjectName(QStringLiteral("recentFiles"));
    recentList_->setAccessibleName(QStringLiteral("Recent Files"));
    recentList_->setMinimumHeight(recentList_->fontMetrics().height() * 6);
    auto* caption = new QLabel(QStringLiteral("&Recent Files"), this);
    caption->setBuddy(recentList_);
    if (grid != nullptr) {
        const int row = grid->rowCount();
        grid->addWidget(caption, row, 0, 1, grid->columnCount());
        grid->addWidget(recentList_, row + 1, 0, 1, grid->columnCount());
    }
    recentList_->installEventFilter(this);
    connect(recentList_, &QListWidget::currentItemChanged, this, &LastFileDialog::OnRecentHighlighted);
    connect(recentList_, &QListWidget::itemDoubleClicked, this, &LastFileDialog::ChooseRecent);
}

void LastFileDialog::OpenWithRecentFiles() {
    FillRecentList();
    recentHighlighted_ = false;
    // The file chosen last time is no choice yet.
    ClearFileSelection();
    if (nameField_ != nullptr) {
        nameField_->clear();
    }
    open();
}

// The dialog's file views add a name put in the name field to what they had selected: left
// selected, an earlier file would be taken together with it.
void LastFileDialog::ClearFileSelection() {
    for (QAbstractItemView* files : findChildren<QAbstractItemView*>()) {
        if (files != recentList_ && files->selectionModel() != nullptr) {
            files->clearSelection();
        }
    }
}

void LastFileDialog::FillRecentList() {
    const QSignalBlocker quiet(recentList_);  // refilling highlights nothing for the operator
    recentList_->clear();
    for (const std::string& entry : recentFiles_.entries()) {
        recentList_->insertItem(0, QString::fromStdString(entry));
    }
}

void LastFileDialog::OnRecentHighlighted(QListWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    if (nameField_ != nullptr) {
        ClearFileSelection();
        nameField_->setText(item->text());
    }
    recentHighlighted_ = true;
}

void LastFileDialog::accept() {
    if (recentHighlighted_ && recentList_->currentItem() != nullptr) {
        ChooseRecent(recentList_->currentItem());
        return;
    }
    QFileDialog::accept();
}

void LastFileDialog::done(int result) {
    if (nameField_ != nullptr && nameField_->completer() != nullptr) {
        nameField_->completer()->popup()->hide();
    }
    QFileDialog::done(result);
}

void LastFileDialog::ChooseRecent(QListWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    const QString path = item->text();
    done(QDialog::Accepted);  // closes without choosing the file the dialog has selected
    emit pathChosen(path);
}

// Enter on a highlighted entry takes it even when the name field holds a file that no longer
// exists (for which the dialog's own Open button stays off): the load then says so.
bool LastFileDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == recentList_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && recentList_->currentItem() != nullptr) {
            ChooseRecent(recentList_->currentItem());
            return true;
        }
    }
    return QFileDialog::eventFilter(watched, event);
}

}  // namespace korvan
