#include "app/property_grid.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace korvan {
namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kCaptionColumn = 0;
constexpr int kValueColumn = 1;
constexpr int kIndentation = 14;
const QStringList kBoolEntries = {"True", "False"};

QString BoolText(bool value) { return value ? kBoolEntries[0] : kBoolEntries[1]; }

}  // namespace

// Paints the cells with grid lines and builds the in-place drop-downs. What an editor holds is
// handed to `commit` as the picked entry's index and the combo's text; the grid decides what
// that changes.
class PropertyGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    std::function<QComboBox*(QWidget* parent, int item)> makeEditor;
    std::function<void(int item, int index, const QString& text)> commit;
    QColor lines;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(lines);
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        if (index.column() == kCaptionColumn && index.parent().isValid()) {
            painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height() + 4, option.fontMetrics.height() + 8));
        return size;
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        if (index.column() != kValueColumn || !makeEditor) {
            return nullptr;
        }
        return makeEditor(parent, index.siblingAtColumn(kCaptionColumn).data(kIdRole).toInt());
    }

    // The editor is filled when it is made.
    void setEditorData(QWidget*, const QModelIndex&) const override {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        auto* combo = qobject_cast<QComboBox*>(editor);
        if (combo != nullptr && commit) {
            commit(index.siblingAtColumn(kCaptionColumn).data(kIdRole).toInt(), combo->currentIndex(),
                   combo->currentText());
        }
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        editor->setGeometry(option.rect.adjusted(0, 0, 0, -1));
    }

protected:
    // The current row is the one the keys act on, and the grid's own colours would hide the
    // style's selection and focus marks: while the tree has the focus the row is painted in the
    // highlight colours, otherwise its own colours take a tint of the highlight.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const auto* view = qobject_cast<const QAbstractItemView*>(option->widget);
        if (view == nullptr || view->currentIndex().siblingAtColumn(kCaptionColumn) != index.siblingAtColumn(kCaptionColumn)) {
            return;
        }
        const QColor highlight = option->palette.color(QPalette::Active, QPalette::Highlight);
        if (view->hasFocus()) {
            option->backgroundBrush = highlight;
            option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Active, QPalette::HighlightedText));
        } else {
            option->backgroundBrush = Tinted(option->backgroundBrush.color(), highlight);
        }
    }

private:
    // A third of the way from `base` to `tint`: plain beside the focused row's full colour.
    static QColor Tinted(const QColor& base, const QColor& tint) {
        const auto mix = [](int from, int to) { return from + (to - from) / 3; };
        return QColor(mix(base.red(), tint.red()), mix(base.green(), tint.green()), mix(base.blue(), tint.blue()));
    }
};

namespace {

// Fills the indentation with the line colour, as the margin of a property sheet, and draws a
// small plus or minus box beside each category.
class GridTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

    QColor margin;
    QColor sign;
    QColor boxFill;

protected:
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override {
        painter->fillRect(rect, margin);
        if (index.parent().isValid() || model()->rowCount(index) == 0) {
            return;
        }
        const int side = 9;
        const QRect box(rect.right() - kIndentation + (kIndentation - side) / 2, rect.center().y() - side / 2, side,
                        side);
        painter->save();
        painter->setPen(sign);
        painter->setBrush(boxFill);
        painter->drawRect(box);
        const QPoint centre = box.center();
        painter->drawLine(centre.x() - 2, centre.y(), centre.x() + 2, centre.y());
        if (!isExpanded(index)) {
            painter->drawLine(centre.x(), centre.y() - 2, centre.x(), centre.y() + 2);
        }
        painter->restore();
    }
};

}  // namespace

PropertyGrid::PropertyGrid(QWidget* parent) : QWidget(parent) {
    const QPalette system = palette();
    colors_ = {system.color(QPalette::Button), system.color(QPalette::ButtonText), system.color(QPalette::Mid),
               system.color(QPalette::Base), system.color(QPalette::Text),
               system.color(QPalette::Disabled, QPalette::Text)};
}

void PropertyGrid::BuildControls() {
    if (tree_ != nullptr) {
        return;
    }
    BuildTree();
    BuildDescriptionPanel();
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(tree_);
    splitter->addWidget(descriptionPanel_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(4);
    splitter->setSizes({300, 4 * fontMetrics().height()});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    for (std::size_t id = 0; id < items_.size(); ++id) {
        AddRow(items_[id], static_cast<int>(id));
    }
    ApplyColors();
    if (expandAll_) {
        tree_->expandAll();
    }
    if (isVisible()) {  // made while being shown: in place at once, not at the next layout pass
        splitter->show();
        layout->activate();
    }
    ResizeCaptionColumn();
}

void PropertyGrid::AddRow(Entry& entry, int id) {
    if (entry.kind == Kind::Category) {
        entry.row = new QTreeWidgetItem(tree_, {entry.caption});
        entry.row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        entry.row->setFirstColumnSpanned(true);
        QFont bold = tree_->font();
        bold.setBold(true);
        entry.row->setFont(kCaptionColumn, bold);
    } else {
        entry.row = new QTreeWidgetItem(items_[static_cast<std::size_t>(entry.category)].row, {entry.caption, entry.value});
        entry.row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        entry.row->setToolTip(kCaptionColumn, entry.description);
    }
    entry.row->setData(kCaptionColumn, kIdRole, id);
}

void PropertyGrid::BuildTree() {
    tree_ = new GridTree(this);
    tree_->setColumnCount(2);
    tree_->setHeaderHidden(true);
    tree_->setIndentation(kIndentation);
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->header()->setStretchLastSection(true);
    tree_->installEventFilter(this);

    delegate_ = new PropertyGridDelegate(tree_);
    delegate_->makeEditor = [this](QWidget* parent, int item) { return MakeEditor(parent, item); };
    delegate_->commit = [this](int item, int index, const QString& text) { Commit(item, index, text); };
    tree_->setItemDelegate(delegate_);

    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] {
        ShowDescription();
        tree_->viewport()->update();  // the tree repaints one cell of each row; the mark is on both
    });
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row, int column) {
        if (column == kValueColumn) {
            OpenEditor(Id(row));
        }
    });
    connect(tree_, &QTreeWidget::itemExpanded, this, [this] { ResizeCaptionColumn(); });
}

void PropertyGrid::BuildDescriptionPanel() {
    descriptionPanel_ = new QWidget(this);
    descriptionPanel_->setAutoFillBackground(true);
    descriptionPanel_->setBackgroundRole(QPalette::Window);
    descriptionCaption_ = new QLabel(descriptionPanel_);
    QFont bold = descriptionCaption_->font();
    bold.setBold(true);
    descriptionCaption_->setFont(bold);
    description_ = new QLabel(descriptionPanel_);
    description_->setWordWrap(true);
    description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(descriptionPanel_);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(descriptionCaption_);
    layout->addWidget(description_, 1);
}

int PropertyGrid::AddCategory(const QString& caption) {
    const int id = static_cast<int>(items_.size());
    items_.push_back({Kind::Category, -1, caption, QString(), QString(), QStringList(), -1, nullptr});
    if (tree_ != nullptr) {
        AddRow(items_.back(), id);
        PaintRow(items_.back());
    }
    return id;
}

int PropertyGrid::AddListItem(int category, const QString& caption, const QString& description,
                              const QStringList& entries) {
    return AddItem(category, Kind::List, caption, description, entries, QString());
}

int PropertyGrid::AddBoolItem(int category, const QString& caption, const QString& description, bool value) {
    return AddItem(category, Kind::Bool, caption, description, kBoolEntries, BoolText(value));
}

int PropertyGrid::AddEditableItem(int category, const QString& caption, const QString& description,
                                  const QStringList& entries, Blank blank) {
    const int id = AddItem(category, Kind::Editable, caption, description, entries, QString());
    if (Entry* entry = FindValueItem(id)) {
        entry->blank = blank;
    }
    return id;
}

int PropertyGrid::AddItem(int category, Kind kind, const QString& caption, const QString& description,
                          const QStringList& entries, const QString& value) {
    const Entry* parent = Find(category);
    if (parent == nullptr || parent->kind != Kind::Category) {
        return -1;
    }
    const int id = static_cast<int>(items_.size());
    const int chosen = kind == Kind::Bool ? static_cast<int>(entries.indexOf(value)) : -1;
    items_.push_back({kind, category, caption, value, description, entries, chosen, nullptr});
    if (tree_ != nullptr) {
        AddRow(items_.back(), id);
        PaintRow(items_.back());
        ResizeCaptionColumn();
    }
    return id;
}

void PropertyGrid::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    BuildControls();
    if (captionColumnStale_) {
        ResizeCaptionColumn();
    }
}

void PropertyGrid::ExpandAll() {
    expandAll_ = true;
    if (tree_ != nullptr) {
        tree_->expandAll();
        ResizeCaptionColumn();
    }
}

QString PropertyGrid::Caption(int item) const {
    const Entry* entry = Find(item);
    return entry != nullptr ? entry->caption : QString();
}

QString PropertyGrid::ValueText(int item) const {
    const Entry* entry = FindValueItem(item);
    return entry != nullptr ? entry->value : QString();
}

void PropertyGrid::SetValue(Entry& entry, const QString& text) {
    entry.value = text;
    if (entry.row != nullptr) {
        entry.row->setText(kValueColumn, text);
    }
}

void PropertyGrid::SetValueText(int item, const QString& text) {
    Entry* entry = FindValueItem(item);
    if (entry == nullptr) {
        return;
    }
    SetValue(*entry, text);
    if (entry->kind == Kind::Bool) {
        entry->chosen = static_cast<int>(kBoolEntries.indexOf(text));
    }
}

int PropertyGrid::ChosenIndex(int item) const {
    const Entry* entry = FindValueItem(item);
    return entry != nullptr ? entry->chosen : -1;
}

void PropertyGrid::SetChosenIndex(int item, int index) {
    Entry* entry = FindValueItem(item);
    if (entry != nullptr && entry->kind != Kind::Bool) {
        entry->chosen = index >= 0 && index < entry->entries.size() ? index : -1;
    }
}

QStringList PropertyGrid::Entries(int item) const {
    const Entry* entry = Find(item);
    return entry != nullptr ? entry->entries : QStringList();
}

void PropertyGrid::SetEntries(int item, const QStringList& entries) {
    Entry* entry = FindValueItem(item);
    if (entry != nullptr && entry->kind != Kind::Bool) {
        entry->entries = entries;
    }
}

QString PropertyGrid::Description(int item) const {
    const Entry* entry = Find(item);
    return entry != nullptr ? entry->description : QString();
}

void PropertyGrid::SetCustomColors(const QColor& back, const QColor& categoryText, const QColor& lines,
                                   const QColor& valueBack, const QColor& valueText, const QColor& disabledText) {
    colors_ = {back, categoryText, lines, valueBack, valueText, disabledText};
    if (tree_ != nullptr) {
        ApplyColors();
    }
}

void PropertyGrid::ApplyColors() {
    const auto& [back, categoryText, lines, valueBack, valueText, disabledText] = colors_;
    QPalette treePalette = tree_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        // Below the last row the grid shows its own background; the rows paint their cells.
        treePalette.setColor(group, QPalette::Base, back);
        treePalette.setColor(group, QPalette::Text, valueText);
        treePalette.setColor(group, QPalette::Window, back);
    }
    treePalette.setColor(QPalette::Disabled, QPalette::Base, back);
    treePalette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    tree_->setPalette(treePalette);

    QPalette panelPalette = descriptionPanel_->palette();
    panelPalette.setColor(QPalette::Window, back);
    panelPalette.setColor(QPalette::WindowText, categoryText);
    panelPalette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    descriptionPanel_->setPalette(panelPalette);

    auto* tree = static_cast<GridTree*>(tree_);
    tree->margin = lines;
    tree->sign = categoryText;
    tree->boxFill = valueBack;
    delegate_->lines = lines;
    for (const Entry& entry : items_) {
        PaintRow(entry);
    }
    tree_->viewport()->update();
}

void PropertyGrid::SelectItem(int item) {
    BuildControls();
    if (const Entry* entry = Find(item)) {
        tree_->setCurrentItem(entry->row, kCaptionColumn);
    }
}

int PropertyGrid::SelectedItem() const { return tree_ != nullptr ? Id(tree_->currentItem()) : -1; }

QString PropertyGrid::ShownDescription() const { return description_ != nullptr ? description_->text() : QString(); }

void PropertyGrid::ChooseEntry(int item, int index) {
    const Entry* entry = FindValueItem(item);
    if (entry != nullptr && index >= 0 && index < entry->entries.size()) {
        Change(item, index, entry->entries[index]);
    }
}

void PropertyGrid::EnterText(int item, const QString& text) {
    const Entry* entry = FindValueItem(item);
    const QString typed = text.trimmed();
    if (entry != nullptr && entry->kind == Kind::Editable && (!typed.isEmpty() || entry->blank == Blank::Allowed)) {
        Change(item, static_cast<int>(entry->entries.indexOf(typed)), typed);
    }
}

void PropertyGrid::Toggle(int item) {
    const Entry* entry = FindValueItem(item);
    if (entry != nullptr && entry->kind == Kind::Bool) {
        ChooseEntry(item, entry->value == kBoolEntries[0] ? 1 : 0);
    }
}

void PropertyGrid::Change(int item, int index, const QString& text) {
    Entry& entry = items_[static_cast<std::size_t>(item)];
    if (entry.chosen == index && entry.value == text) {
        return;
    }
    entry.chosen = index;
    SetValue(entry, text);
    emit valueChanged(item);
}

void PropertyGrid::Commit(int item, int index, const QString& text) {
    const Entry* entry = FindValueItem(item);
    if (entry != nullptr && entry->kind == Kind::Editable) {
        EnterText(item, text);
    } else {
        ChooseEntry(item, index);
    }
}

void PropertyGrid::OpenEditor(int item) {
    const Entry* entry = FindValueItem(item);
    if (entry == nullptr) {
        return;
    }
    BuildControls();
    tree_->setCurrentItem(entry->row, kValueColumn);
    tree_->editItem(entry->row, kValueColumn);
    auto* combo = qobject_cast<QComboBox*>(tree_->indexWidget(tree_->currentIndex()));
    if (combo == nullptr) {
        return;
    }
    combo->setFocus();
    if (!combo->isEditable()) {
        combo->showPopup();
    }
}

QComboBox* PropertyGrid::MakeEditor(QWidget* parent, int item) {
    const Entry* found = FindValueItem(item);
    if (found == nullptr) {
        return nullptr;
    }
    const Entry& entry = *found;
    auto* combo = new QComboBox(parent);
    combo->setFrame(false);
    QPalette cell = combo->palette();
    cell.setColor(QPalette::Base, colors_.valueBack);
    cell.setColor(QPalette::Text, colors_.valueText);
    combo->setPalette(cell);
    combo->addItems(entry.entries);
    combo->setCurrentIndex(entry.chosen);
    const auto finish = [this, combo] {
        emit delegate_->commitData(combo);
        emit delegate_->closeEditor(combo, QAbstractItemDelegate::NoHint);
    };
    // Queued: the key that ended the edit travels on to the tree when the line edit is done
    // with it, and must find the editor still open rather than open a new one.
    if (entry.kind == Kind::Editable) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setEditText(entry.value);
        // Typing ends with Enter; picking from the drop-down ends at once.
        connect(combo->lineEdit(), &QLineEdit::returnPressed, combo, finish, Qt::QueuedConnection);
        connect(
            combo, &QComboBox::activated, combo,
            [combo, finish](int index) {
                combo->setEditText(combo->itemText(index));
                finish();
            },
            Qt::QueuedConnection);
    } else {
        connect(combo, &QComboBox::activated, combo, finish, Qt::QueuedConnection);
    }
    return combo;
}

bool PropertyGrid::eventFilter(QObject* watched, QEvent* event) {
    const bool editing = tree_->indexWidget(tree_->currentIndex()) != nullptr;
    if (watched != tree_ || event->type() != QEvent::KeyPress || editing) {
        return QWidget::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_F4 && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space) {
        return QWidget::eventFilter(watched, event);
    }
    const Entry* entry = Find(SelectedItem());
    if (entry == nullptr) {
        return QWidget::eventFilter(watched, event);
    }
    if (entry->kind == Kind::Category) {
        entry->row->setExpanded(!entry->row->isExpanded());
    } else {
        OpenEditor(SelectedItem());
    }
    return true;
}

void PropertyGrid::ShowDescription() {
    const int item = SelectedItem();
    descriptionCaption_->setText(Caption(item));
    description_->setText(Description(item));
}

void PropertyGrid::PaintRow(const Entry& entry) {
    if (entry.kind == Kind::Category) {
        entry.row->setBackground(kCaptionColumn, colors_.lines);
        entry.row->setForeground(kCaptionColumn, colors_.categoryText);
        return;
    }
    for (int column : {kCaptionColumn, kValueColumn}) {
        entry.row->setBackground(column, colors_.valueBack);
        entry.row->setForeground(column, colors_.valueText);
    }
}

// Each item added or category opened would measure every caption again: while the grid is
// hidden (built at start on a page not in sight) that waits until it is shown.
void PropertyGrid::ResizeCaptionColumn() {
    if (!isVisible()) {
        captionColumnStale_ = true;
        return;
    }
    captionColumnStale_ = false;
    tree_->resizeColumnToContents(kCaptionColumn);
    tree_->setColumnWidth(kCaptionColumn, tree_->columnWidth(kCaptionColumn) + 2 * fontMetrics().averageCharWidth());
}

const PropertyGrid::Entry* PropertyGrid::Find(int item) const {
    return item >= 0 && static_cast<std::size_t>(item) < items_.size() ? &items_[static_cast<std::size_t>(item)]
                                                                         : nullptr;
}

PropertyGrid::Entry* PropertyGrid::FindValueItem(int item) {
    return const_cast<Entry*>(std::as_const(*this).FindValueItem(item));
}

const PropertyGrid::Entry* PropertyGrid::FindValueItem(int item) const {
    const Entry* entry = Find(item);
    return entry != nullptr && entry->kind != Kind::Category ? entry : nullptr;
}

int PropertyGrid::Id(const QTreeWidgetItem* row) {
    return row != nullptr ? row->data(kCaptionColumn, kIdRole).toInt() : -1;
}

}  // namespace korvan
