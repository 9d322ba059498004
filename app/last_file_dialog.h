#pragma once

#include <QFileDialog>
#include <string>

#include "console/recent_files.h"

class QListWidget;
class QListWidgetItem;

namespace korvan {

// The open dialog with a "Recent Files" list below it, newest first. A file chosen either way
// becomes the newest entry of LastFile.ini, and pathChosen hands it on. Each opening reloads
// the list from the file, so it is the only store between openings.
class LastFileDialog final : public QFileDialog {
    Q_OBJECT
public:
    LastFileDialog(const std::string& programDir, QWidget* parent);

    // Reloads the list and opens the dialog without waiting for it.
    void OpenWithRecentFiles();

    QListWidget* recentList() const { return recentList_; }
    const RecentFiles& recentFiles() const { return recentFiles_; }

signals:
    void pathChosen(const QString& path);

private:
    void AddRecentList();
    void FillRecentList();
    void OnFileSelected(const QString& file);
    void OnRecentDoubleClicked(QListWidgetItem* item);
    void Choose(const std::string& path);

    RecentFiles recentFiles_;
    QListWidget* recentList_ = nullptr;
};

}  // namespace korvan
