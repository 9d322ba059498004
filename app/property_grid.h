#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QComboBox;
class QEvent;
class QShowEvent;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvan {

class PropertyGridDelegate;

// A property grid: categories of items, each a caption and a value, with the selected item's
// description below. Three kinds of item:
//   - list: the value is picked from a drop-down list; the item keeps the chosen index, and
//     its value text may differ from the entry (the program can set both);
//   - true/false: the value text is "True" or "False";
//   - editable list: a drop-down that also takes typed text (a device path).
// A change made by the operator emits valueChanged; changes made by the program do not.
// The grid keeps its items itself and makes the controls that show them when it is first
// shown (or an item is selected or edited), so a window starts without them.
class PropertyGrid : public QWidget {
    Q_OBJECT
public:
    explicit PropertyGrid(QWidget* parent = nullptr);

    // Ids are small integers handed out in order of creation.
    int AddCategory(const QString& caption);
    int AddListItem(int category, const QString& caption, const QString& description, const QStringList& entries);
    int AddBoolItem(int category, const QString& caption, const QString& description, bool value);
    // An item whose blank text is a value of its own (a setting turned off) takes Blank::Allowed;
    // the others keep their value when the text typed is blank.
    enum class Blank { Refused, Allowed };
    int AddEditableItem(int category, const QString& caption, const QString& description, const QStringList& entries,
                        Blank blank = Blank::Refused);
    void ExpandAll();

    QString Caption(int item) const;
    QString ValueText(int item) const;
    void SetValueText(int item, const QString& text);
    // -1 while no entry is chosen.
    int ChosenIndex(int item) const;
    void SetChosenIndex(int item, int index);
    QStringList Entries(int item) const;
    // Replaces a list's entries; the chosen index and the value text stay.
    void SetEntries(int item, const QStringList& entries);
    QString Description(int item) const;

    // Background, category text, line colour, value background, value text, read-only text.
    void SetCustomColors(const QColor& back, const QColor& categoryText, const QColor& lines,
                         const QColor& valueBack, const QColor& valueText, const QColor& disabledText);

    void SelectItem(int item);
    int SelectedItem() const;
    QString ShownDescription() const;

    // What an operator does, for tests and keyboard users alike: pick entry `index` of a list
    // item, type a text into an editable one, or flip a true/false item.
    void ChooseEntry(int item, int index);
    void EnterText(int item, const QString& text);
    void Toggle(int item);

signals:
    void valueChanged(int item);

protected:
    void showEvent(QShowEvent* event) override;
    // F4, Enter or Space open the selected item's editor, or fold a category.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Kind { Category, List, Bool, Editable };
    struct Entry {
        Kind kind = Kind::Category;
        int category = -1;  // the category an item is in; -1 for a category
        QString caption;
        QString value;
        QString description;
        QStringList entries;
        int chosen = -1;
        QTreeWidgetItem* row = nullptr;  // null until the controls are made
        Blank blank = Blank::Refused;
    };
    struct Colors {
        QColor back;
        QColor categoryText;
        QColor lines;
        QColor valueBack;
        QColor valueText;
        QColor disabledText;
    };

    // The tree with a row for each item, the description panel and the colours.
    void BuildControls();
    void BuildTree();
    void BuildDescriptionPanel();
    void AddRow(Entry& entry, int id);
    void ApplyColors();
    // The value text shown, in the entry and in its row once that exists.
    static void SetValue(Entry& entry, const QString& text);
    int AddItem(int category, Kind kind, const QString& caption, const QString& description,
                const QStringList& entries, const QString& value);
    void OpenEditor(int item);
    QComboBox* MakeEditor(QWidget* parent, int item);
    // What an editor held when it closed: the entry picked and the text shown.
    void Commit(int item, int index, const QString& text);
    // The operator's change; emits valueChanged when the value differs.
    void Change(int item, int index, const QString& text);
    void ShowDescription();
    void PaintRow(const Entry& entry);
    void ResizeCaptionColumn();
    // Null for an id no item has; FindValueItem also for a category.
    const Entry* Find(int item) const;
    const Entry* FindValueItem(int item) const;
    Entry* FindValueItem(int item);
    static int Id(const QTreeWidgetItem* row);

    QTreeWidget* tree_ = nullptr;
    PropertyGridDelegate* delegate_ = nullptr;
    QWidget* descriptionPanel_ = nullptr;
    QLabel* descriptionCaption_ = nullptr;
    QLabel* description_ = nullptr;
    std::vector<Entry> items_;
    Colors colors_;
    bool expandAll_ = false;           // ExpandAll came before the rows were made
    bool captionColumnStale_ = false;  // captions changed while hidden
};

}  // namespace korvan
