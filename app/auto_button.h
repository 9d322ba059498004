#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>

class QStyleOptionButton;
class QStylePainter;

namespace korvan {

// An operation button. One that is auto capable is marked for the Auto sequence by a right
// click, the context-menu key or Shift+Space while it has the focus: its caption gets "(Auto) "
// in front and turns bold, a ticked box shows at its right and its face turns lighter. The
// owner decides: the button asks with autoToggleRequested and shows the answer with SetAutoState.
//
// X11 delivers a right click as press, context-menu event, release: the button takes the
// context-menu event itself, so no menu of the window opens and takes the release.
//
// It can show an idle and a running picture, switched with SetStatusIcon, and carries a
// command-enabled flag that the commands consult.
class AutoButton : public QPushButton {
    Q_OBJECT
public:
    explicit AutoButton(const QString& caption, QWidget* parent = nullptr);

    // Once, after the button has its caption and parent: takes the parent's font and the
    // face colour; shows the idle icon (or the fixed one when status icons are not used).
    void SetupButton(bool autoCapable, bool usesStatusIcons, int idleIcon, int runningIcon);
    void SetStatusIcon(int status);
    void SetAutoState(bool on);

    bool autoCapable() const { return autoCapable_; }
    bool autoState() const { return autoState_; }
    int status() const { return status_; }
    // The icon id shown now, 0 for none.
    int shownIcon() const { return shownIcon_; }
    QColor faceColour() const { return faceColour_; }
    QColor shownFaceColour() const;
    const QString& normalCaption() const { return normalCaption_; }

    bool commandEnabled() const { return commandEnabled_; }
    void SetCommandEnabled(bool enabled) { commandEnabled_ = enabled; }

signals:
    // A right click on an auto-capable button: the owner should flip the auto state.
    void autoToggleRequested();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawLabel(QStylePainter& painter, const QStyleOptionButton& option) const;
    // The ticked box of a marked button; the room left for the caption.
    QRect DrawAutoMark(QStylePainter& painter, const QStyleOptionButton& option, QRect room) const;
    QPixmap AutoMarkPicture(const QStyleOptionButton& box) const;
    void ShowIcon(int id);
    void ShowFace(const QColor& colour);

    QColor faceColour_;
    bool autoState_ = false;
    int status_ = 0;
    QString autoCaption_;
    QString normalCaption_;
    bool usesStatusIcons_ = false;
    int runningIcon_ = 0;
    int idleIcon_ = 0;
    bool autoCapable_ = false;
    bool commandEnabled_ = true;
    int shownIcon_ = 0;
};

// The lighter face of a marked button: 15 more of each of red, green and blue, as the colour
// word adds 0x0F0F0F (a channel at 0xF1 or above carries into the next, as the word does).
QColor LighterFace(const QColor& face);

}  // namespace korvan
