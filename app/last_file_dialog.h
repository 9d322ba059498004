#pragma once

#include <QFileDialog>

#include "console/recent_files.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace korvan {

// The open dialog with a "Recent Files" list below it, newest first. Highlighting an entry
// (a click, the arrow keys) puts its path in the name field, and Open or Enter then takes it;
// a double-click takes it at once. pathChosen hands the path on; only a path whose load
// worked enters the list, so a file that cannot be loaded never does. The list is the
// window's, kept in memory and written to LastFile.ini by its worker: each opening shows it
// as it is, even while that write still waits its turn.
class LastFileDialog final : public QFileDialog {
    Q_OBJECT
public:
    LastFileDialog(const RecentFiles& recentFiles, QWidget* parent);

    // Fills the list and opens the dialog without waiting for it.
    void OpenWithRecentFiles();

    QListWidget* recentList() const { return recentList_; }

    void accept() override;
    // Closes the name field's completion list with the dialog: left open, it would take the
    // next click and the next Enter meant for the window.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void pathChosen(const QString& path);

private:
    void AddRecentList();
    void FillRecentList();
    void ClearFileSelection();
    void OnRecentHighlighted(QListWidgetItem* item);
    void ChooseRecent(QListWidgetItem* item);

    const RecentFiles& recentFiles_;
    QListWidget* recentList_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    // The highlighted recent entry is what Open takes, until the operator picks or types
    // another name.
    bool recentHighlighted_ = false;
};

}  // namespace korvan
