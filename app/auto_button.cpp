#include "app/auto_button.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "app/operation_icons.h"

namespace korvan {

namespace {

constexpr QSize kIconSize(32, 32);
constexpr int kIconInset = 4;  // between the face's edge and the picture, and the picture and the text
// Between the ticked box of a marked button and the face's right edge: the bare face beside it stays in sight.
constexpr int kAutoMarkInset = 16;

}  // namespace

AutoButton::AutoButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void AutoButton::SetupButton(bool autoCapable, bool usesStatusIcons, int idleIcon, int runningIcon) {
    autoCapable_ = autoCapable;
    usesStatusIcons_ = usesStatusIcons;
    idleIcon_ = idleIcon;
    runningIcon_ = runningIcon;
    if (const QWidget* owner = parentWidget()) setFont(owner->font());
    setIconSize(kIconSize);
    normalCaption_ = text();
    if (autoCapable) autoCaption_ = QStringLiteral("(Auto) ") + normalCaption_;
    faceColour_ = palette().color(QPalette::Button);
    if (usesStatusIcons) {
        SetStatusIcon(0);
    } else if (idleIcon != 0) {
        ShowIcon(idleIcon);
    }
}

void AutoButton::SetStatusIcon(int status) {
    status_ = status;
    const int id = status != 0 ? runningIcon_ : idleIcon_;
    if (id != 0) ShowIcon(id);
}

void AutoButton::SetAutoState(bool on) {
    autoState_ = on;
    setText(on ? autoCaption_ : normalCaption_);
    QFont caption = font();
    caption.setBold(on);
    setFont(caption);
    ShowFace(on ? LighterFace(faceColour_) : faceColour_);
}

QColor AutoButton::shownFaceColour() const { return palette().color(QPalette::Button); }

void AutoButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool overButton = rect().contains(event->position().toPoint());
    if (event->button() == Qt::RightButton && autoCapable_ && overButton) emit autoToggleRequested();
    QPushButton::mouseReleaseEvent(event);
}

// A context-menu event from the mouse comes between the press and the release, which then
// toggles; one from the keyboard (the menu key) toggles at once. Other buttons pass it on to
// the window, whose menu opens.
void AutoButton::contextMenuEvent(QContextMenuEvent* event) {
    if (!autoCapable_) {
        event->ignore();
        return;
    }
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) emit autoToggleRequested();
}

void AutoButton::keyPressEvent(QKeyEvent* event) {
    if (autoCapable_ && event->key() == Qt::Key_Space && event->modifiers() == Qt::ShiftModifier) {
        emit autoToggleRequested();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// The style's face and focus frame, then the picture at the left edge and the caption centred
// in the room beside it: the pictures of a column of buttons line up whatever their captions.
void AutoButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    DrawLabel(painter, option);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

void AutoButton::DrawLabel(QStylePainter& painter, const QStyleOptionButton& option) const {
    QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (option.state & (QStyle::State_Sunken | QStyle::State_On)) {
        room.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    const bool enabled = option.state & QStyle::State_Enabled;
    if (autoState_) room = DrawAutoMark(painter, option, room);
    if (!option.icon.isNull()) {
        const QRect place(QPoint(room.left() + kIconInset, room.center().y() - option.iconSize.height() / 2),
                          option.iconSize);
        const QPixmap picture = option.icon.pixmap(option.iconSize, devicePixelRatioF(),
                                                   enabled ? QIcon::Normal : QIcon::Disabled);
        painter.drawItemPixmap(place, Qt::AlignCenter, picture);
        room.setLeft(place.right() + 1 + kIconInset);
    }
    painter.drawItemText(room, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, option.palette,
                         enabled, option.text, QPalette::ButtonText);
}

QRect AutoButton::DrawAutoMark(QStylePainter& painter, const QStyleOptionButton& option, QRect room) const {
    QStyleOptionButton box;
    box.QStyleOption::operator=(option);
    box.state = (option.state & QStyle::State_Enabled) | QStyle::State_On;
    const int side = style()->pixelMetric(QStyle::PM_IndicatorWidth, &box, this);
    box.rect = QRect(room.right() - kAutoMarkInset - side, room.center().y() - side / 2, side, side);
    painter.drawPixmap(box.rect.topLeft(), AutoMarkPicture(box));
    room.setRight(box.rect.left() - kIconInset);
    return room;
}

// The style draws the ticked box with gradients at every paint of every marked button: it is
// drawn once for each look (size, state, palette) and then taken from the cache.
QPixmap AutoButton::AutoMarkPicture(const QStyleOptionButton& box) const {
    const qreal ratio = devicePixelRatioF();
    QString key = QStringLiteral("korvan-auto-mark-%1-%2-%3").arg(box.rect.width()).arg(static_cast<int>(box.state)).arg(ratio);
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Text, QPalette::Window, QPalette::Button,
                                           QPalette::Highlight, QPalette::Shadow}) {
        key += QLatin1Char('-') + QString::number(box.palette.color(role).rgba(), 16);
    }
    QPixmap picture;
    if (QPixmapCache::find(key, &picture)) {
        return picture;
    }
    picture = QPixmap(box.rect.size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QStyleOptionButton atOrigin = box;
    atOrigin.rect.moveTo(0, 0);
    QPainter painter(&picture);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &atOrigin, &painter, this);
    painter.end();
    QPixmapCache::insert(key, picture);
    return picture;
}

void AutoButton::ShowIcon(int id) {
    setIcon(MakeOperationIcon(id));
    shownIcon_ = id;
}

void AutoButton::ShowFace(const QColor& colour) {
    QPalette face = palette();
    face.setColor(QPalette::Button, colour);
    setPalette(face);
}

QColor LighterFace(const QColor& face) {
    // The colour word 0x00BBGGRR: a channel that passes 0xFF carries into the next one up.
    const quint32 word = quint32(face.red()) | quint32(face.green()) << 8 | quint32(face.blue()) << 16;
    const quint32 lighter = word + 0x0F0F0F;
    return QColor(int(lighter & 0xFF), int(lighter >> 8 & 0xFF), int(lighter >> 16 & 0xFF));
}

}  // namespace korvan
