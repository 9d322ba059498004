#include "app/window_controls.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <vector>

#include "app/auto_button.h"
#include "app/caption_progress.h"
#include "app/difference_bar.h"
#include "app/focus_ring.h"
#include "app/hex_view.h"
#include "app/operation_icons.h"
#include "app/operator_panel.h"
#include "app/property_grid.h"
#include "app/status_list.h"

namespace korvan {
namespace {

struct ButtonSetup {
    Button button;
    const char* caption;
    bool autoCapable;
    bool usesStatusIcons;
    OperationIcon idleIcon;
    int runningIcon;
};

// In set-up order.
constexpr ButtonSetup kButtonSetups[] = {
    {Button::Open, "Open", true, true, OperationIcon::Open, 0},
    {Button::Save, "Save", false, false, OperationIcon::Save, 0},
    {Button::Erase, "Erase", true, true, OperationIcon::Erase, static_cast<int>(OperationIcon::EraseRunning)},
    {Button::Write, "Write", true, true, OperationIcon::Write, static_cast<int>(OperationIcon::WriteRunning)},
    {Button::Read, "Read", true, true, OperationIcon::Read, static_cast<int>(OperationIcon::ReadRunning)},
    {Button::Verify, "Verify", true, true, OperationIcon::Verify, static_cast<int>(OperationIcon::VerifyRunning)},
    {Button::Encrypt, "Encrypt", true, true, OperationIcon::Encrypt, 0},
    {Button::Auto, "Run all selected (Auto) actions", false, true, OperationIcon::Auto, 0},
};

// Operation buttons stand as tall as their 32 x 32 picture needs.
constexpr int kOperationButtonHeight = 40;

AutoButton* MakeButton(QWidget& window, const char* caption) {
    auto* button = new AutoButton(QString::fromUtf8(caption), &window);
    button->setAutoDefault(false);
    return button;
}

QWidget* OperationRule(QWidget& window) {
    auto* row = new QWidget(&window);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Operation"), row));
    auto* rule = new QFrame(row);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule, 1);
    return row;
}

// A wheel turned over a list that does not have the focus changes nothing: the operator
// scrolling past the chip list must not pick another chip.
class WheelNeedsFocus final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel) {
            return false;
        }
        const auto* list = qobject_cast<QWidget*>(watched);
        return list != nullptr && !list->hasFocus();
    }
};

// The chip-list editor's link is one stop in the Tab order, and Space or Enter follows it. (A
// label that lets the keyboard reach its links takes Tab for walking through them instead.)
class FollowLinkByKey final : public QObject {
public:
    FollowLinkByKey(QLabel& label, QString link) : QObject(&label), label_(label), link_(std::move(link)) {
        label.setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        label.setFocusPolicy(Qt::StrongFocus);
        label.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &label_ || event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::NoModifier && key->modifiers() != Qt::KeypadModifier) {
            return false;
        }
        switch (key->key()) {
            case Qt::Key_Space:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                emit label_.linkActivated(link_);
                return true;
            default:
                return false;
        }
    }

private:
    QLabel& label_;
    QString link_;
};

// The column scrolls when the screen is too low for it (a large scale factor on a small
// screen): every button stays within reach whatever the window's height. It is always as wide
// as its content, which grows when the buttons get their pictures and bold marks.
class ColumnScrollArea final : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override { return WithBar(widget()->sizeHint()); }
    QSize minimumSizeHint() const override {
        constexpr int kRowsAtLeast = 3;  // a few buttons in sight, the rest scrolled to
        return {WithBar(widget()->minimumSizeHint()).width(), kRowsAtLeast * fontMetrics().height() * 3};
    }

private:
    QSize WithBar(QSize content) const { return {content.width() + verticalScrollBar()->sizeHint().width(), content.height()}; }
};

QScrollArea* ScrollingColumn(QWidget& window, QVBoxLayout* column) {
    auto* area = new ColumnScrollArea(&window);
    auto* content = new QWidget(area);
    content->setLayout(column);
    // Room for the focus ring at the sides of the buttons.
    column->setContentsMargins(2, 0, 2, 0);
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);  // Tab goes to the buttons in it, which it scrolls into sight
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    return area;
}

// Tab goes down the column as it reads, top to bottom, then to the panel's button, the page
// tabs and the controls of the page shown. (QWidget::setTabOrder ignores a widget that takes
// no focus.)
void SetTabOrder(const WindowControls& controls) {
    std::vector<QWidget*> order = {
        controls.chips,
        controls.button(Button::Check),
        controls.exitButton,
        controls.helpButton,
        controls.chipListLink,
        controls.button(Button::Open),
        controls.button(Button::Save),
        controls.button(Button::Erase),
        controls.blankButton,
        controls.button(Button::Write),
        controls.button(Button::Read),
        controls.button(Button::Verify),
        controls.button(Button::Encrypt),
        controls.button(Button::Auto),
        controls.stopButton,
        controls.panel->resetButton(),
        controls.pages->tabBar(),
        controls.buffer1,
    };
    // The difference bar's buttons stand above Buffer2's view.
    const QList<QPushButton*> differenceButtons = controls.differences->findChildren<QPushButton*>();
    order.insert(order.end(), differenceButtons.begin(), differenceButtons.end());
    // The settings grid's controls are made when its page is first shown: they come last.
    order.insert(order.end(), {controls.buffer2, controls.status});
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

}  // namespace

WindowControls BuildWindowControls(QWidget& window) {
    WindowControls controls;
    controls.chips = new QComboBox(&window);
    controls.chips->setMaxVisibleItems(20);
    controls.chips->setMinimumContentsLength(10);
    controls.chips->setAccessibleName(QStringLiteral("Chip"));
    controls.chips->setFocusPolicy(Qt::StrongFocus);  // a wheel turned over it does not take the focus
    controls.chips->installEventFilter(new WheelNeedsFocus(controls.chips));
    controls.lockBits = new QComboBox(&window);
    controls.lockBits->hide();

    for (const ButtonSetup& setup : kButtonSetups) {
        AutoButton* button = MakeButton(window, setup.caption);
        button->setMinimumHeight(kOperationButtonHeight);
        controls.buttons[static_cast<std::size_t>(setup.button)] = button;
    }
    controls.buttons[static_cast<std::size_t>(Button::Check)] = MakeButton(window, "Check");
    controls.buttons[static_cast<std::size_t>(Button::WriteBit)] = MakeButton(window, "Write Bit");
    controls.button(Button::WriteBit)->hide();
    controls.blankButton = MakeButton(window, "Blank");
    controls.blankButton->setMinimumHeight(kOperationButtonHeight);
    controls.stopButton = new QPushButton(QStringLiteral("Stop"), &window);
    controls.stopButton->setAutoDefault(false);
    controls.stopButton->setEnabled(false);
    controls.stopButton->setMinimumHeight(kOperationButtonHeight);
    controls.exitButton = new QPushButton(QStringLiteral("EXIT Program"), &window);
    controls.helpButton = new QPushButton(QStringLiteral("Help"), &window);
    controls.exitButton->setAutoDefault(false);
    controls.helpButton->setAutoDefault(false);
    controls.chipListLink = new QLabel(QStringLiteral("<a href=\"#chip-list\">Edit Chip List...</a>"), &window);
    new FollowLinkByKey(*controls.chipListLink, QStringLiteral("#chip-list"));
    controls.chipListLink->setToolTip(QStringLiteral("Opens the chip-list editor"));
    controls.chipListLink->setMargin(2);  // the focus ring goes round the text, not over it

    controls.pages = new QTabWidget(&window);
    // The tabs take the focus in their own place in the Tab order: the widget round them would
    // be a second stop handing the focus to them.
    controls.pages->setFocusProxy(nullptr);
    controls.pages->setFocusPolicy(Qt::NoFocus);
    controls.buffer1 = new HexView(controls.pages);
    auto* buffer2Page = new QWidget(controls.pages);
    controls.buffer2 = new HexView(buffer2Page);
    controls.differences = new DifferenceBar(*controls.buffer2, *controls.buffer1, buffer2Page);
    auto* buffer2Layout = new QVBoxLayout(buffer2Page);
    buffer2Layout->setContentsMargins(0, 0, 0, 0);
    buffer2Layout->setSpacing(2);
    buffer2Layout->addWidget(controls.differences);
    buffer2Layout->addWidget(controls.buffer2, 1);
    controls.status = new StatusList(controls.pages);
    controls.grid = new PropertyGrid(controls.pages);
    controls.buffer1->SetRowWidthFollowsView(true);
    controls.buffer2->SetRowWidthFollowsView(true);
    controls.buffer1->setAccessibleName(QStringLiteral("Buffer1"));
    controls.buffer2->setAccessibleName(QStringLiteral("Buffer2"));
    controls.status->setAccessibleName(QStringLiteral("Status"));
    controls.grid->setAccessibleName(QStringLiteral("Settings"));
    controls.pages->addTab(controls.buffer1, QStringLiteral("Buffer1"));
    controls.pages->addTab(buffer2Page, QStringLiteral("Buffer2"));
    controls.pages->addTab(controls.status, QStringLiteral("Status"));
    controls.pages->addTab(controls.grid, QStringLiteral("Settings"));

    controls.progress = new CaptionProgress(&window);
    QSizePolicy keepPlace = controls.progress->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);  // the column does not jump when it shows
    controls.progress->setSizePolicy(keepPlace);

    auto* column = new QVBoxLayout;
    auto* top = new QGridLayout;
    top->addWidget(controls.chips, 0, 0);
    top->addWidget(controls.button(Button::Check), 0, 1);
    top->addWidget(controls.exitButton, 1, 0);
    top->addWidget(controls.helpButton, 1, 1);
    top->addWidget(controls.chipListLink, 2, 0, 1, 2, Qt::AlignRight);
    top->setColumnStretch(0, 1);
    column->addLayout(top);
    column->addWidget(OperationRule(window));
    for (Button button : {Button::Open, Button::Save, Button::Erase}) {
        column->addWidget(controls.button(button));
    }
    column->addWidget(controls.blankButton);
    for (Button button : {Button::Write, Button::Read, Button::Verify, Button::Encrypt}) {
        column->addWidget(controls.button(button));
    }
    column->addSpacing(kOperationButtonHeight / 3);
    column->addWidget(controls.button(Button::Auto));
    column->addWidget(controls.stopButton);
    column->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(ScrollingColumn(window, column), 1);
    left->addWidget(controls.progress);
    controls.panel = new OperatorPanel(&window);
    auto* right = new QVBoxLayout;
    right->addWidget(controls.panel);
    right->addWidget(controls.pages, 1);
    auto* layout = new QHBoxLayout(&window);
    layout->addLayout(left);
    layout->addLayout(right, 1);
    SetTabOrder(controls);
    controls.focusRing = new FocusRing(window);
    return controls;
}

}  // namespace korvan
